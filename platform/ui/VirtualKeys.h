// Key codes of the class library's key events (the Windows virtual-key numbers, so the
// engine's progress codes and stored key numbers keep their meaning) and the shift-state set.
#pragma once

#include <cstdint>

enum : uint16_t {
  VK_LBUTTON = 0x01, VK_RBUTTON = 0x02, VK_CANCEL = 0x03, VK_MBUTTON = 0x04,
  VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D,
  VK_SHIFT = 0x10, VK_CONTROL = 0x11, VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14,
  VK_HANGUL = 0x15, VK_HANJA = 0x19, VK_ESCAPE = 0x1B, VK_SPACE = 0x20,
  VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24,
  VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
  VK_SELECT = 0x29, VK_PRINT = 0x2A, VK_EXECUTE = 0x2B, VK_SNAPSHOT = 0x2C,
  VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_HELP = 0x2F,
  // '0'..'9' are 0x30..0x39 and 'A'..'Z' 0x41..0x5A, as their characters.
  VK_LWIN = 0x5B, VK_RWIN = 0x5C, VK_APPS = 0x5D,
  VK_NUMPAD0 = 0x60, VK_NUMPAD9 = 0x69, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B,
  VK_SEPARATOR = 0x6C, VK_SUBTRACT = 0x6D, VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F,
  VK_F1 = 0x70, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8, VK_F9, VK_F10, VK_F11,
  VK_F12,
  VK_NUMLOCK = 0x90, VK_SCROLL = 0x91,
};

// Shift state of key and mouse events.
using TShiftState = unsigned;
enum : unsigned {
  ssShift = 1u << 0,
  ssAlt = 1u << 1,
  ssCtrl = 1u << 2,
  ssLeft = 1u << 3,
  ssRight = 1u << 4,
  ssMiddle = 1u << 5,
  ssDouble = 1u << 6,
};
// Only the keyboard modifiers of a shift state.
constexpr TShiftState KeyModifiers(TShiftState s) { return s & (ssShift | ssAlt | ssCtrl); }

// The input-method switch, and the small input-method manager that it and the Hangul grid
// talk to.
//
// The manager stands in for the system's input-method manager: each window has an input
// context with a conversion status (bit 0, IME_CMODE_NATIVE, is Hangul input) and a
// composition string (code page 949 bytes, two per Hangul syllable). Qt offers no way to
// switch a Korean input method between Hangul and Latin, so the conversion status is a stored
// value with no effect on the desktop's input method; compositions are real: Qt's
// input-method events on a widget set its window's composition, and a composition set from
// the program is sent to the window's widget as an input-method event, so an edit shows it
// inline.
//
// TIMEControl switches the application's context between Hangul and Latin input. Creating
// one switches to Latin; assigning IMEMode afterwards (as a form does with its stored value)
// applies that. GUI thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/core/Classes.h"

// ---- The input-method manager -------------------------------------------------------------

using HIMC = uintptr_t;  // an input context; 0 is none

enum : uint32_t {
  IME_CMODE_NATIVE = 0x0001,
  // Composition message flags: the composition or the result string changed.
  GCS_COMPSTR = 0x0008,
  GCS_RESULTSTR = 0x0800,
  // Composition string setting.
  SCS_SETSTR = 0x0009,
  // Context activation flags: the input method shows its own composition window.
  ISC_SHOWUICOMPOSITIONWINDOW = 0x80000000u,
  ISC_SHOWUIALL = 0xC000000Fu,
};

// Message numbers the composition layer delivers to the controls' input-method handling.
enum : uint32_t {
  WM_IME_SETCONTEXT = 0x0281,
  WM_IME_COMPOSITION = 0x010F,
};

// One input-method message as a control's handling sees it.
struct TImeMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  uint32_t LParam = 0;
};

class IInputMethodManager {
 public:
  virtual ~IInputMethodManager();
  // The input context of a window (0 when it has none); every one taken is released.
  virtual HIMC GetContext(intptr_t Window) = 0;
  virtual void ReleaseContext(intptr_t Window, HIMC Context) = 0;
  virtual bool GetConversionStatus(HIMC Context, uint32_t& Conversion, uint32_t& Sentence) = 0;
  virtual bool SetConversionStatus(HIMC Context, uint32_t Conversion, uint32_t Sentence) = 0;
  // The composition (GCS_COMPSTR) or result (GCS_RESULTSTR) string in bytes: with BufLen 0 its
  // length, else the bytes copied (at most BufLen); negative when the context is bad.
  virtual int GetCompositionString(HIMC Context, uint32_t Index, char* Buf, int BufLen) = 0;
  // SCS_SETSTR: the context's composition becomes Comp; the reading string is not kept.
  virtual bool SetCompositionString(HIMC Context, uint32_t Index, const char* Comp, int CompLen,
                                    const char* Read, int ReadLen) = 0;
};

// The stand-in manager: one process-wide conversion status (the application's input method)
// and a composition and context flags per window. Windows are TWinControl handles; 0 is the
// application. Tests install their own instance to look at what was asked or to make the
// status calls fail.
class TInputMethodRecorder : public IInputMethodManager {
 public:
  HIMC GetContext(intptr_t Window) override;
  void ReleaseContext(intptr_t Window, HIMC Context) override;
  bool GetConversionStatus(HIMC Context, uint32_t& Conversion, uint32_t& Sentence) override;
  bool SetConversionStatus(HIMC Context, uint32_t Conversion, uint32_t Sentence) override;
  int GetCompositionString(HIMC Context, uint32_t Index, char* Buf, int BufLen) override;
  bool SetCompositionString(HIMC Context, uint32_t Index, const char* Comp, int CompLen,
                            const char* Read, int ReadLen) override;

  // ---- the layer's side: what Qt's events tell about a window
  // The composition and result strings of a window's latest input-method event.
  void SetWindowStrings(intptr_t Window, const std::string& Composition, const std::string& Result);
  const std::string& Composition(intptr_t Window) const;
  // The context flags a window settled on when it was activated (ISC_SHOWUIALL until then).
  void SetContextFlags(intptr_t Window, uint32_t Flags) { FWindows[Window].ContextFlags = Flags; }
  uint32_t ContextFlags(intptr_t Window) const;

  // No input method: contexts are 0 and every status call fails.
  bool NoInputMethod = false;
  // The status calls fail (a context is still handed out).
  bool FailStatus = false;
  uint32_t Conversion = 0;
  uint32_t Sentence = 0;
  int GetContextCalls = 0;
  int ReleaseCalls = 0;
  int SetStatusCalls = 0;

 private:
  struct WindowState {
    std::string Composition;
    std::string Result;
    uint32_t ContextFlags = ISC_SHOWUIALL;
  };
  std::map<intptr_t, WindowState> FWindows;
};

// Installs a manager (nullptr restores the process default) and returns the one it replaced.
IInputMethodManager* SetInputMethodManager(IInputMethodManager* Manager);
IInputMethodManager& InputMethodManager();
// The process default, for the Qt side of the layer.
TInputMethodRecorder& DefaultInputMethodRecorder();

// The window that stands for the application in input-method calls.
constexpr intptr_t ApplicationWindow = 0;

// ---- The switch ---------------------------------------------------------------------------

// The platform's edits have their own TIMEMode (the edit's wished-for mode); this one is the
// switch's, kept apart in its unit's namespace.
namespace IMEContr {
enum TIMEMode : uint8_t { isHanguel = 0, isEnglish = 1 };
}  // namespace IMEContr
using IMEContr::isEnglish;
using IMEContr::isHanguel;

class TIMEControl : public TComponent {
 public:
  using TIMEMode = IMEContr::TIMEMode;
  explicit TIMEControl(TComponent* AOwner);

  TIMEMode IMEMode() const { return FIMEMode; }
  // Switches the application's input to Hangul or Latin; the mode is kept even when no
  // input method answers.
  void SetIMEMode(TIMEMode Value);

 private:
  TIMEMode FIMEMode = isEnglish;
};

// Start-up picture support: the two screen cursors of the display components (the hand,
// 14000, and the drag cursor, 14001; 32 x 32 monochrome pictures of our own with their hot
// spots) and the icon clipboard format, registered with the picture container for TIcon so
// that pasting icons yields a TIcon and copying one offers the format.
//
// Both registrations run once when the program starts. GUI thread only.
#pragma once

#include <string>

#include "components/CursorsIcon.h"
#include "platform/gfx/Bitmap.h"
#include "platform/ui/Controls.h"

constexpr TCursor crHandCursor = 14000;
constexpr TCursor crDragCursor = 14001;

// A cursor of the screen's table: its resource name, a 32 x 32 black-and-white picture, its
// mask (black where the cursor is drawn, white where the screen shows through) and its hot
// spot.
struct TScreenCursor {
  std::string ResourceName;
  TBitmap Picture;
  TBitmap Mask;
  TPoint HotSpot{0, 0};
};

// The cursor registered under that number, or nullptr.
const TScreenCursor* ScreenCursor(TCursor Cursor);
// Loads the program's cursor resource of that name into the screen's table; false when the
// program has no such resource.
bool LoadScreenCursor(TCursor Cursor, const std::string& ResourceName);
// Runs the start-up registrations (again harmless).
void RegisterCursorsAndIconFormat();

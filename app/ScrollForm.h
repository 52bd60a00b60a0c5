// TScrollForm: the auto-scrolling reader. Shows the current note's body over the whole main
// window, white on blue, and moves it upwards one pixel per tick of Timer1, for reading aloud
// or from a distance. A modal dialog of the main window, created at start-up and living to
// exit; the main window opens it with Scroll Lock and does not save the note first (the
// reader only reads what the body editor shows).
//
// Pace: the tick interval in milliseconds; Down halves it (faster, down to 5), Up doubles it
// (slower); 1500 or more is a pause. The reader opens at the pace it was left at (1499, one
// pixel per tick, the first time; a pause is opened running again). Page Up / Page Down move
// by a window's height; the text never scrolls past the point where its end is on screen.
// Esc, Scroll Lock or a click closes it; closing stops the timer.
//
// Lines are cut or padded to a width from the window's width (a fifth of it, in bytes), on
// character boundaries. GUI thread only.
#pragma once

#include "platform/core/Classes.h"
#include "platform/core/Timers.h"
#include "platform/ui/Forms.h"

class TScrollForm : public TForm {
 public:
  explicit TScrollForm(TComponent* AOwner);

  TTimer* Timer1;

  // Where the reader stands, in pixels and milliseconds.
  int ScrollOffset = 0;     // how far the text has moved up; 0 at the top
  int ScrollEndOffset = 0;  // the offset at which the end was last drawn; 0: not yet
  int ScrollPace = 1499;    // the tick interval; kScrollPaused stops the movement

  static constexpr int kScrollPaused = 1500;
  static constexpr int kScrollFastest = 5;

  void FormActivate(TObject* Sender);
  void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void FormClick(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void Timer1Timer(TObject* Sender);
  // Draws the body at ScrollOffset and clears what lies below its end.
  void AllDisp();

  // Line height and characters per line of the current font and window.
  int LineHeight() const;
  int LineWidth() const;

 private:
  void FillBlue();
  // The body's lines, taken at opening: the editor cannot change while the reader is up, and
  // asking it for each line on every tick would cost the whole text each time.
  TStringList FLines;
};

extern TScrollForm* ScrollForm;

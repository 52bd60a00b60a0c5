// A long operation in progress on the GUI thread: an engine call that reports progress (a tag
// build, a pack copy, a merge) or a walk of the program over many records.
//
// The program has one thread, so nothing repaints while such an operation works unless the
// operation itself lets the windows have a turn. TLongOperation is the one place that does:
//
//   TLongOperation busy;                        // from here on the user's input is dropped
//   for (...) {
//     ... one step of the work ...
//     TLongOperation::Progress(Gauge1, pct);    // the gauge moves, the windows repaint
//   }
//                                               // destruction: input reaches the windows again
//
// Contract:
// - While at least one TLongOperation lives, keys, mouse presses and releases, wheel turns,
//   context menus, drops and the window system's close requests aimed at the windows that were
//   open when the outermost one began are dropped: the user cannot start a second command
//   inside the first. Windows opened meanwhile (a message box the operation shows) take input
//   as usual. Paints, timers and the program's own events still run.
// - Pump() (and Progress(), and the core's ProcessMessages() while an operation is in
//   progress, which is how the engine's progress handlers repaint) runs the waiting events at a
//   bounded rate: at most once per kPumpIntervalMs, so a walk may report every record without
//   spending its time on repaints. Pump(true) runs them now.
// - When the outermost operation ends, the input that arrived meanwhile is dropped too, so a
//   click made during the operation does not start a command afterwards.
// - Operations nest; only the outermost begins and ends the blocking. Not copyable.
// - The key-downs the engine sends to a hooked window (its progress reports) are delivered at
//   once, inside an operation of their own when none is in progress.
//
// GUI thread only. Without a Qt application object everything here does nothing but count.
#pragma once

class TGauge;

class TLongOperation {
 public:
  static constexpr int kPumpIntervalMs = 30;

  TLongOperation();
  ~TLongOperation();
  TLongOperation(const TLongOperation&) = delete;
  TLongOperation& operator=(const TLongOperation&) = delete;

  // True while an operation is in progress.
  static bool InProgress();
  // Lets the windows repaint and the timers run (user input stays dropped), unless the last
  // turn was less than kPumpIntervalMs ago and Force is off. Outside an operation it runs the
  // waiting events at once, input included, as the message loop would.
  static void Pump(bool Force = false);
  // Sets Gauge's Progress (when Gauge is given), then Pump().
  static void Progress(TGauge* Gauge, int Position);

 private:
  bool FOutermost = false;
};

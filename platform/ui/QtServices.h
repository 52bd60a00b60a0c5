// The Qt implementations of the core's message-box and message-loop services, which the
// application object installs: message boxes as QMessageBox with the Korean button texts,
// the message loop as Qt's event loop (a bounded turn without user input while a long
// operation is in progress, LongOperation.h), and the receiver of key-downs sent to a window,
// which hands them to the window's key handling at once.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "platform/core/Services.h"
#include "platform/core/Timers.h"

class QTimer;

namespace orv {

class QtMessageBoxService : public IMessageBoxService {
 public:
  int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) override;
};

class QtMessageLoopService : public IMessageLoopService {
 public:
  void ProcessMessages() override;
  void Terminate() override;
};

// Window timers as QTimers; ticks run from the message loop.
class QtTimerService : public ITimerService {
 public:
  ~QtTimerService() override;
  TTimerId StartTimer(unsigned IntervalMs, std::function<void()> OnTick) override;
  void StopTimer(TTimerId Id) override;

 private:
  std::map<TTimerId, QTimer*> FTimers;
  TTimerId FNext = 1;
};

// Installs all three, the screen cursor and the key-down receiver (a sent key reaches the
// control whose Handle() is Window through its form's preview and its OnKeyDown; a destroyed
// window gets nothing). RemoveQtServices restores the defaults where they are still installed.
void InstallQtServices();
void RemoveQtServices();
QtMessageBoxService& QtMessageBoxes();
QtMessageLoopService& QtMessageLoop();
QtTimerService& QtTimers();

}  // namespace orv

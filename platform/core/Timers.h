// Window timers without a window system: the TTimer component and the timer service it runs
// on. The UI layer installs a service whose ticks come from its message loop; until then (and
// in tests, through TFakeServices) a manual service stands in, whose time moves only when
// Advance is called, so timed behaviour is tested without waiting.
//
// Ticks run on the GUI thread, from the message loop, never inside the call that starts the
// timer. A timer that is stopped from its own tick handler does not tick again.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/core/Classes.h"

using TTimerId = uint64_t;

class ITimerService {
 public:
  virtual ~ITimerService();
  // Starts a repeating timer; the first tick comes IntervalMs after the start.
  virtual TTimerId StartTimer(unsigned IntervalMs, std::function<void()> OnTick) = 0;
  virtual void StopTimer(TTimerId Id) = 0;
};

// Virtual time: Advance(ms) runs every tick that falls due, in time order.
class TManualTimerService : public ITimerService {
 public:
  TTimerId StartTimer(unsigned IntervalMs, std::function<void()> OnTick) override;
  void StopTimer(TTimerId Id) override;

  void Advance(uint64_t Ms);
  uint64_t NowMs() const { return FNow; }
  int ActiveCount() const { return static_cast<int>(FTimers.size()); }
  bool IsActive(TTimerId Id) const { return FTimers.count(Id) != 0; }

 private:
  struct Timer {
    unsigned Interval;
    uint64_t Due;
    std::function<void()> OnTick;
  };
  std::map<TTimerId, Timer> FTimers;
  uint64_t FNow = 0;
  TTimerId FNext = 1;
};

// Installs a timer service (nullptr: the built-in manual one); returns the previous one.
ITimerService* SetTimerService(ITimerService* Service);
ITimerService& TimerService();

// The timer component: ticks every Interval ms while Enabled, Interval > 0 and OnTimer is
// assigned. Changing any of them restarts the count.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* AOwner = nullptr);
  ~TTimer() override;

  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  unsigned Interval() const { return FInterval; }
  void SetInterval(unsigned Value);
  const TNotifyEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TNotifyEvent Value);

  // True while the service has a running timer for this component.
  bool Running() const { return FId != 0; }

 protected:
  virtual void Timer();

 private:
  void UpdateTimer();

  bool FEnabled = true;
  unsigned FInterval = 1000;
  TNotifyEvent FOnTimer;
  TTimerId FId = 0;
  ITimerService* FService = nullptr;
};

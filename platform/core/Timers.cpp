// Timer component and the manual timer service.
#include "platform/core/Timers.h"

#include <memory>
#include <utility>

ITimerService::~ITimerService() = default;

TTimerId TManualTimerService::StartTimer(unsigned IntervalMs, std::function<void()> OnTick) {
  TTimerId id = FNext++;
  unsigned interval = IntervalMs == 0 ? 1 : IntervalMs;
  FTimers[id] = Timer{interval, FNow + interval, std::move(OnTick)};
  return id;
}

void TManualTimerService::StopTimer(TTimerId Id) { FTimers.erase(Id); }

void TManualTimerService::Advance(uint64_t Ms) {
  const uint64_t end = FNow + Ms;
  for (;;) {
    // The earliest due timer; ties go to the one started first.
    TTimerId next = 0;
    uint64_t due = end + 1;
    for (auto& [id, t] : FTimers)
      if (t.Due < due) {
        due = t.Due;
        next = id;
      }
    if (next == 0) break;
    FNow = due;
    auto it = FTimers.find(next);
    it->second.Due = due + it->second.Interval;
    // Copy: the handler may stop or restart this very timer.
    std::function<void()> tick = it->second.OnTick;
    if (tick) tick();
  }
  FNow = end;
}

namespace {

ITimerService* gService = nullptr;

TManualTimerService& BuiltIn() {
  static auto* s = new TManualTimerService();  // outlives every timer component
  return *s;
}

}  // namespace

ITimerService* SetTimerService(ITimerService* Service) {
  return std::exchange(gService, Service);
}

ITimerService& TimerService() { return gService ? *gService : BuiltIn(); }

TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
  FEnabled = false;
  UpdateTimer();
}

void TTimer::SetEnabled(bool Value) {
  if (StoreChanged(FEnabled, Value)) UpdateTimer();
}

void TTimer::SetInterval(unsigned Value) {
  if (StoreChanged(FInterval, Value)) UpdateTimer();
}

void TTimer::SetOnTimer(TNotifyEvent Value) {
  FOnTimer = std::move(Value);
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (FId != 0) {
    // Stop on the service that started it, even if another was installed meanwhile.
    FService->StopTimer(FId);
    FId = 0;
    FService = nullptr;
  }
  if (FEnabled && FInterval > 0 && FOnTimer) {
    FService = &TimerService();
    FId = FService->StartTimer(FInterval, [this] { Timer(); });
  }
}

void TTimer::Timer() {
  if (FOnTimer) {
    TNotifyEvent handler = FOnTimer;  // the handler may replace or clear the event
    handler(this);
  }
}

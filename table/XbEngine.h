// The process-wide binding to the engine library "XBENG61.DLL": loading it on first need,
// binding its entry points by name, reporting a missing or incomplete library, the start-up
// collation call, and the one guarded gateway through which the table layer calls the engine.
//
// Contract:
// - XbApi holds one function pointer per engine name. It is filled by LoadEngine only when
//   every one of the 179 names is bound, and emptied again when the library is released, so
//   it never holds an address into a library that is not loaded.
// - Nothing calls XbApi directly: XbCall answers neutrally (0, 0.0, nullptr, nothing done)
//   while the engine is not loaded, so no unbound entry point is ever called.
// - A failed load shows "Unable to load required Xb DLL: XBENG61.DLL" and asks the
//   application to end; every later EnsureEngineLoaded tries again.
// - The extra entry points (the capacity form of GetBlob, the gauge poster hook and the index
//   fault report) are bound when the library has them; a library without them still counts
//   as loaded.
//
// GUI thread only; the flags are plain booleans.
#pragma once

#include <type_traits>

#include "engine/include/xbeng61.h"

// One function pointer per engine name; the pointer types are those of the prototypes.
struct XbEntryPoints {
#define ORV_XB_SLOT(name) decltype(&::name) name = nullptr;
  XB_ENTRY_POINTS(ORV_XB_SLOT)
  XB_EXTRA_ENTRY_POINTS(ORV_XB_SLOT)
#undef ORV_XB_SLOT
};

// The bound entry points; empty while the engine is not loaded.
extern XbEntryPoints XbApi;

// The holder of the engine library: exactly one exists, created at start-up without loading
// anything and destroyed at exit, which releases the library.
class TXbEngine {
 public:
  TXbEngine() = default;
  TXbEngine(const TXbEngine&) = delete;
  TXbEngine& operator=(const TXbEngine&) = delete;
  ~TXbEngine();

  // Loads and binds; true when the library is usable. Shows the load-failure box and asks
  // the application to end when it is not.
  bool LoadEngine();
  // Releases the library (a failure while releasing is swallowed).
  void UnloadEngine();

  bool Loaded = false;
  void* Handle = nullptr;
};

// The one holder.
TXbEngine& XbEngine();

// Makes sure the engine library is loaded; callers go on whatever the outcome.
void EnsureEngineLoaded();
// The engine-loaded switch that EnsureEngineLoaded keeps.
bool EngineLoadedSwitch();
// Releases the library and clears the switch, so the next EnsureEngineLoaded loads afresh.
// Program exit does this through the holder; tests use it between cases.
void ReleaseEngine();

// Sets the engine's character order to the plain byte order (system property 1101).
void SetSortTable();

// True when the engine is loaded and its entry points can be called.
inline bool XbEngineReady() { return XbEngine().Loaded; }

// Calls one bound entry point, or answers with the neutral value of its result type while
// the engine is not loaded (or the slot is empty): XbCall(&XbEntryPoints::xb_RecNo).
template <typename Fn, typename... A>
inline auto XbCall(Fn XbEntryPoints::*slot, A... args) -> std::invoke_result_t<Fn, A...> {
  using R = std::invoke_result_t<Fn, A...>;
  Fn fn = XbEngineReady() ? XbApi.*slot : nullptr;
  if (fn == nullptr) {
    if constexpr (std::is_void_v<R>)
      return;
    else
      return R{};
  }
  return fn(args...);
}

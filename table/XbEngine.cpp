// The engine library binding: the holder, the entry-point table, the load-failure report and
// the start-up collation call.
#include "table/XbEngine.h"

#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"

XbEntryPoints XbApi;

namespace {

const char kEngineLibrary[] = "XBENG61.DLL";
const char kEngineLoadFailure[] = "Unable to load required Xb DLL: XBENG61.DLL";

bool gEngineLoadedSwitch = false;

// The engine hands its progress codes to this routine while it works; they reach the hooked
// window's key handling at once, so its gauge moves during the operation, not after it.
void SendGaugeKey(XbPtr window, uint16_t keyCode) { SendKeyDown(window, keyCode); }

// Binds every name of the table in order into a scratch copy; the first missing name ends
// the binding with the assertion error the caller catches.
void BindAll(TLibHandle handle, XbEntryPoints& into) {
  ILibraryLoader& loader = LibraryLoader();
  int line = 0;
#define ORV_XB_BIND(name)                                                            \
  {                                                                                  \
    ++line;                                                                          \
    void* address = loader.Symbol(handle, #name);                                    \
    Assert(address != nullptr, "", "XBENG61", line);                                 \
    into.name = reinterpret_cast<decltype(into.name)>(address);                      \
  }
  XB_ENTRY_POINTS(ORV_XB_BIND)
#undef ORV_XB_BIND
  // Our own additions are optional: an engine without them is still complete.
#define ORV_XB_BIND_EXTRA(name) \
  into.name = reinterpret_cast<decltype(into.name)>(loader.Symbol(handle, #name));
  XB_EXTRA_ENTRY_POINTS(ORV_XB_BIND_EXTRA)
#undef ORV_XB_BIND_EXTRA
}

}  // namespace

TXbEngine& XbEngine() {
  static TXbEngine holder;
  return holder;
}

TXbEngine::~TXbEngine() {
  if (Loaded) UnloadEngine();
}

bool TXbEngine::LoadEngine() {
  if (Loaded) return true;
  // There are no critical-error dialogs to suppress here: a missing library is simply a
  // failed open, reported below.
  ILibraryLoader& loader = LibraryLoader();
  Handle = loader.Open(kEngineLibrary);
  Loaded = false;
  if (Handle != nullptr) {
    try {
      XbEntryPoints bound;
      BindAll(Handle, bound);
      XbApi = bound;
      Loaded = true;
      // The string convention every later call assumes.
      XbApi.xb_SetStringType(1);
      if (XbApi.xb_SetGaugePoster != nullptr) XbApi.xb_SetGaugePoster(&SendGaugeKey);
    } catch (...) {
      // A partial binding is no binding: release the library so nothing can reach it.
      XbApi = XbEntryPoints{};
      Loaded = false;
      try {
        loader.Close(Handle);
      } catch (...) {
      }
      Handle = nullptr;
    }
  }
  if (!Loaded) {
    MessageBox(kEngineLoadFailure, ErrorCaption(), MB_OK | MB_ICONERROR);
    RequestTerminate();
  }
  return Loaded;
}

void TXbEngine::UnloadEngine() {
  if (Loaded) {
    if (XbApi.xb_SetGaugePoster != nullptr) XbApi.xb_SetGaugePoster(nullptr);
    XbApi = XbEntryPoints{};
    try {
      LibraryLoader().Close(Handle);
    } catch (...) {
    }
  }
  Handle = nullptr;
  Loaded = false;
}

void EnsureEngineLoaded() {
  if (gEngineLoadedSwitch) return;
  gEngineLoadedSwitch = XbEngine().LoadEngine();
}

bool EngineLoadedSwitch() { return gEngineLoadedSwitch; }

void ReleaseEngine() {
  XbEngine().UnloadEngine();
  gEngineLoadedSwitch = false;
}

void SetSortTable() {
  // The identity order: keys sort by raw byte value, so two-byte Korean text sorts by its
  // code page bytes, after every ASCII key.
  unsigned char order[256];
  for (int i = 0; i < 256; ++i) order[i] = static_cast<unsigned char>(i);
  EnsureEngineLoaded();
  XbCall(&XbEntryPoints::xb_SysProp, XbShort{1101}, reinterpret_cast<XbPtr>(order));
}

// The add-on library loaders: bind by name, report a missing library, release at exit; and
// the connection's SQL add-on hook and stream codec, which start as them.
#include "remote/XbAddOns.h"

#include <vector>

#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"

namespace {

// Where the add-ons can be had; deliberately no vendor's address.
const char kAddOnSource[] = "the engine's distribution";

std::string MissingText(const std::string& library, const std::string& what) {
  return "Missing required " + library + ".\r\r" + what + "\rVisit " + kAddOnSource +
         " to get your copy.";
}

void ClearEntries(TXbSqlAddOn& a) { static_cast<TXbSqlEntryPoints&>(a) = TXbSqlEntryPoints{}; }
void ClearEntries(TXbCryptAddOn& a) {
#define ORV_ZIP_CLEAR(name) a.name = nullptr;
  XBZIP_ENTRY_POINTS(ORV_ZIP_CLEAR)
#undef ORV_ZIP_CLEAR
}

// A name the library lacks: nothing of it stays bound, and the unit's assertion error is raised.
template <typename AddOn>
[[noreturn]] void MissingName(AddOn& addOn, const char* unit, int line) {
  ClearEntries(addOn);
  LibraryLoader().Close(addOn.Handle);
  addOn.Handle = nullptr;
  AssertionFailed("", unit, line);
}

// Binds each name in order into addOn; a missing one ends the binding.
#define ORV_BIND_NAME(name)                                              \
  {                                                                      \
    ++line;                                                              \
    void* address = LibraryLoader().Symbol(addOn.Handle, #name);         \
    if (address == nullptr) MissingName(addOn, unit, line);              \
    addOn.name = reinterpret_cast<decltype(addOn.name)>(address);        \
  }

void Bind(TXbSqlAddOn& addOn, const char* unit) {
  int line = 0;
  DLL_SQL_ENTRY_POINTS(ORV_BIND_NAME)
}

void Bind(TXbCryptAddOn& addOn, const char* unit) {
  int line = 0;
  XBZIP_ENTRY_POINTS(ORV_BIND_NAME)
}

#undef ORV_BIND_NAME

template <typename AddOn>
void LoadAddOn(AddOn& addOn, const char* library, const char* unit, const char* what) {
  if (addOn.Loaded) return;
  addOn.Handle = LibraryLoader().Open(library);
  if (addOn.Handle != nullptr) {
    Bind(addOn, unit);
    addOn.Loaded = true;
  }
  if (!addOn.Loaded) {
    MessageBox(MissingText(library, what), ErrorCaption(), MB_OK | MB_ICONERROR);
    RequestTerminate();
  }
}

template <typename AddOn>
void UnloadAddOn(AddOn& addOn) {
  if (addOn.Loaded) {
    try {
      LibraryLoader().Close(addOn.Handle);
    } catch (...) {
    }
  }
  ClearEntries(addOn);
  addOn.Handle = nullptr;
  addOn.Loaded = false;
}

// Program exit releases what was loaded.
template <typename AddOn>
struct Holder {
  AddOn addOn;
  ~Holder() { UnloadAddOn(addOn); }
};

// The sink of the compression add-on: appends to the stream, refusing beyond the payload limit.
struct StreamSink {
  TStream* Dest;
  int64_t Written = 0;
};

int32_t WriteToStream(void* Sink, const void* Data, int32_t Length) {
  auto* s = static_cast<StreamSink*>(Sink);
  s->Written += Length;
  if (s->Written > TXbConnection::kMaxPayload) return 1;
  // No exception may unwind through the add-on's frames.
  try {
    s->Dest->WriteBuffer(Data, Length);
  } catch (...) {
    return 1;
  }
  return 0;
}

// Runs one of the add-on's stream calls from the whole of Source into Dest.
void RunCodec(decltype(&::CompressStream) Call, TStream& Source, TStream& Dest) {
  if (!XbCryptAddOn().Loaded || Call == nullptr) throw Exception("No stream compression available");
  const int64_t size = Source.Size();
  if (size < 0 || size > TXbConnection::kMaxPayload) throw Exception("Payload too large to compress");
  std::vector<char> data(static_cast<size_t>(size));
  Source.SetPosition(0);
  if (size > 0) Source.ReadBuffer(data.data(), size);
  StreamSink sink{&Dest};
  if (Call(data.data(), static_cast<int32_t>(size), &WriteToStream, &sink) != XBZIP_OK)
    throw Exception("Damaged compressed payload");
}

}  // namespace

TXbSqlAddOn& XbSqlAddOn() {
  static Holder<TXbSqlAddOn> holder;
  return holder.addOn;
}

TXbCryptAddOn& XbCryptAddOn() {
  static Holder<TXbCryptAddOn> holder;
  return holder.addOn;
}

void LoadSqlEngine() {
  LoadAddOn(XbSqlAddOn(), "RavavaDIV61.DLL", "IntSQL", "Xb SQL is a SQL add-on engine for Xb.");
}

void LoadCryptEngine() {
  LoadAddOn(XbCryptAddOn(), "ZavuraDadiz.DLL", "IntCrypt", "Xb Crypt is a add-on engine for Xb.");
}

void UnloadSqlEngine() { UnloadAddOn(XbSqlAddOn()); }

void UnloadCryptEngine() { UnloadAddOn(XbCryptAddOn()); }

TXbLoadSqlAddOn& XbSqlAddOnHook() {
  static TXbLoadSqlAddOn hook = []() -> const TXbSqlEntryPoints* {
    LoadSqlEngine();
    return XbSqlAddOn().Loaded ? &XbSqlAddOn() : nullptr;
  };
  return hook;
}

TXbStreamCodec& XbStreamCodec() {
  static TXbStreamCodec codec{
      [] { LoadCryptEngine(); },
      [](TStream& Source, TStream& Dest) { RunCodec(XbCryptAddOn().CompressStream, Source, Dest); },
      [](TStream& Source, TStream& Dest) { RunCodec(XbCryptAddOn().UnCompressStream, Source, Dest); },
  };
  return codec;
}

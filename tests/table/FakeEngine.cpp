// The recording engine stand-in: generated stubs for every name, a few hand-written ones.
#include "FakeEngine.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

TFakeEngine* TFakeEngine::Current = nullptr;

namespace {

enum FakeName {
#define ORV_FAKE_ENUM(name) k_##name,
  XB_ENTRY_POINTS(ORV_FAKE_ENUM) XB_EXTRA_ENTRY_POINTS(ORV_FAKE_ENUM)
#undef ORV_FAKE_ENUM
};

const char* const kNames[] = {
#define ORV_FAKE_NAME(name) #name,
    XB_ENTRY_POINTS(ORV_FAKE_NAME) XB_EXTRA_ENTRY_POINTS(ORV_FAKE_NAME)
#undef ORV_FAKE_NAME
};

template <typename T>
std::string Arg(T v) {
  if constexpr (std::is_same_v<T, const char*>) {
    return v ? "\"" + std::string(v) + "\"" : std::string("null");
  } else if constexpr (std::is_floating_point_v<T>) {
    char b[32];
    std::snprintf(b, sizeof b, "%g", v);
    return b;
  } else if constexpr (std::is_integral_v<T>) {
    return std::to_string(static_cast<long long>(v));
  } else {
    return v ? "ptr" : "null";
  }
}

template <typename R>
R Result(const char* name) {
  TFakeEngine& e = *TFakeEngine::Current;
  if constexpr (std::is_void_v<R>) {
    return;
  } else if constexpr (std::is_same_v<R, const char*>) {
    auto it = e.Texts.find(name);
    return it == e.Texts.end() ? nullptr : it->second.c_str();
  } else if constexpr (std::is_floating_point_v<R>) {
    auto it = e.Doubles.find(name);
    return it == e.Doubles.end() ? R{} : static_cast<R>(it->second);
  } else if constexpr (std::is_integral_v<R>) {
    auto it = e.Ints.find(name);
    return it == e.Ints.end() ? R{} : static_cast<R>(it->second);
  } else {
    return R{};
  }
}

template <int I, typename Fn>
struct Stub;
template <int I, typename R, typename... A>
struct Stub<I, R (*)(A...)> {
  static R Call(A... a) {
    TFakeEngine::Current->Record(kNames[I], {Arg(a)...});
    return Result<R>(kNames[I]);
  }
};

// The hand-written ones: results that are buffers or need memory handling.
XbLong FakeSysProp(XbShort code, XbPtr value) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_SysProp", {Arg(code), code == 1101 ? std::string("table") : Arg(value)});
  if (code == 1101 && value != 0) e.CollationTable.assign(reinterpret_cast<const char*>(value), 256);
  return Result<XbLong>("xb_SysProp");
}

char* FakeGetMemo(const char* field, XbShort width) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_GetMemo", {Arg(field), Arg(width)});
  if (!e.HasMemo) return nullptr;
  char* block = new char[e.Memo.size() + 1];
  std::memcpy(block, e.Memo.c_str(), e.Memo.size() + 1);
  ++e.MemoBlocksOut;
  return block;
}

void FakeMemDealloc(void* block) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_MemDealloc", {Arg(block)});
  if (block) {
    delete[] static_cast<char*>(block);
    --e.MemoBlocksOut;
  }
}

void FakeGetRecord(void* image) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_GetRecord", {Arg(image)});
  std::memcpy(image, e.RecordBytes.data(), e.RecordBytes.size());
}

void FakePutRecord(const void* image) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_PutRecord", {Arg(image)});
  e.RecordBytes.assign(static_cast<const char*>(image), e.RecordBytes.size());
}

// The unsafe form: writes the whole blob, whatever the buffer.
XbLong FakeGetBlob(const char* field, void* buffer) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_GetBlob", {Arg(field), Arg(buffer)});
  std::memcpy(buffer, e.Blob.data(), e.Blob.size());
  return static_cast<XbLong>(e.Blob.size());
}

XbLong FakeGetBlobEx(const char* field, void* buffer, XbLong capacity) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_GetBlobEx", {Arg(field), Arg(buffer), Arg(capacity)});
  const size_t n = std::min(e.Blob.size(), static_cast<size_t>(capacity));
  std::memcpy(buffer, e.Blob.data(), n);
  return static_cast<XbLong>(n);
}

XbLong FakeGetBlobLength(const char* field) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_GetBlobLength", {Arg(field)});
  return static_cast<XbLong>(e.Blob.size());
}

void FakeSetGaugePoster(XbGaugePoster poster) {
  TFakeEngine& e = *TFakeEngine::Current;
  e.Record("xb_SetGaugePoster", {poster ? "fn" : "null"});
  e.GaugePoster = poster;
}

}  // namespace

TFakeEngine::TFakeEngine() { Current = this; }
TFakeEngine::~TFakeEngine() {
  if (Current == this) Current = nullptr;
}

std::map<std::string, void*> TFakeEngine::Symbols(const std::set<std::string>& Omit,
                                                  bool Extras) const {
  std::map<std::string, void*> table;
#define ORV_FAKE_SYM(name) \
  table[#name] = reinterpret_cast<void*>(&Stub<k_##name, decltype(&::name)>::Call);
  XB_ENTRY_POINTS(ORV_FAKE_SYM)
  if (Extras) {
    XB_EXTRA_ENTRY_POINTS(ORV_FAKE_SYM)
  }
#undef ORV_FAKE_SYM
  table["xb_SysProp"] = reinterpret_cast<void*>(&FakeSysProp);
  table["xb_GetMemo"] = reinterpret_cast<void*>(&FakeGetMemo);
  table["xb_MemDealloc"] = reinterpret_cast<void*>(&FakeMemDealloc);
  table["xb_GetRecord"] = reinterpret_cast<void*>(&FakeGetRecord);
  table["xb_PutRecord"] = reinterpret_cast<void*>(&FakePutRecord);
  table["xb_GetBlob"] = reinterpret_cast<void*>(&FakeGetBlob);
  table["xb_GetBlobLength"] = reinterpret_cast<void*>(&FakeGetBlobLength);
  if (Extras) {
    table["xb_GetBlobEx"] = reinterpret_cast<void*>(&FakeGetBlobEx);
    table["xb_SetGaugePoster"] = reinterpret_cast<void*>(&FakeSetGaugePoster);
  }
  for (const std::string& name : Omit) table.erase(name);
  return table;
}

void TFakeEngine::Record(const char* Name, std::vector<std::string> Args) {
  std::string call = std::string(Name) + "(";
  for (size_t i = 0; i < Args.size(); ++i) call += (i ? ", " : "") + Args[i];
  Calls.push_back(call + ")");
}

std::vector<std::string> TFakeEngine::CallsOf(const std::string& Name) const {
  std::vector<std::string> out;
  for (const std::string& c : Calls)
    if (Name.empty() || c.compare(0, Name.size() + 1, Name + "(") == 0) out.push_back(c);
  return out;
}

int TFakeEngine::Count(const std::string& Name) const {
  return static_cast<int>(CallsOf(Name).size());
}

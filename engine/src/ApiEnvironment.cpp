// The environment entry points: process-wide settings, system properties, the gauge hook,
// version and error level.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/include/xbeng61.h"
#include "engine/src/ApiText.h"
#include "engine/src/WorkArea.h"

namespace {

struct Environment {
  bool translate = false;
  bool turboRead = false;
  int stringType = 1;
  int errorLevel = 1;
  XbPtr errorFunc = 0;
  bool optimisticBuffer = false;
  std::string password;
  std::string udfPath;
  std::string userDelimiter;
  XbPtr gaugeWindow = 0;
  XbPtr gaugeFunc = 0;
  XbGaugePoster poster = nullptr;
  int lastPercent = 0;
  std::chrono::steady_clock::time_point lastPost;
  int spanFrom = 0, spanTo = 100;  // see ProgressSpan
};

Environment& Env() {
  static Environment e;
  return e;
}

}  // namespace

namespace xbe {

void ReportProgress(int percent) {
  Environment& e = Env();
  if (!e.gaugeWindow || !e.poster) return;
  if (percent < 1) percent = 1;
  if (percent > 100) percent = 100;
  percent = e.spanFrom + (e.spanTo - e.spanFrom) * percent / 100;
  if (percent < 1) percent = 1;
  if (percent == e.lastPercent) return;
  e.lastPercent = percent;
  e.lastPost = std::chrono::steady_clock::now();
  e.poster(e.gaugeWindow, XB_GAUGE_CODE(percent));
}

void ProgressBeat() {
  Environment& e = Env();
  if (!e.gaugeWindow || !e.poster || e.lastPercent < 1) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - e.lastPost < std::chrono::milliseconds(kBeatMs)) return;
  e.lastPost = now;
  e.poster(e.gaugeWindow, XB_GAUGE_CODE(e.lastPercent));
}

BackgroundJobs::~BackgroundJobs() {
  if (!running_.valid()) return;
  try {
    running_.get();
  } catch (...) {
  }
}

void BackgroundJobs::Start(std::function<void()> job) {
  Wait();
  Environment& e = Env();
  if (!e.gaugeWindow || !e.poster) {
    job();
    return;
  }
  running_ = std::async(std::launch::async, std::move(job));
}

void BackgroundJobs::Wait() {
  if (!running_.valid()) return;
  // A beat that throws leaves the job to the destructor, which waits for it.
  while (running_.wait_for(std::chrono::milliseconds(kBeatMs / 2)) != std::future_status::ready) ProgressBeat();
  running_.get();
}

void WhileBeating(std::function<void()> job) {
  BackgroundJobs jobs;
  jobs.Start(std::move(job));
  jobs.Wait();
}

ProgressSpan::ProgressSpan(int from, int to) {
  Environment& e = Env();
  from_ = e.spanFrom;
  to_ = e.spanTo;
  const int width = to_ - from_;
  e.spanFrom = from_ + width * std::clamp(from, 0, 100) / 100;
  e.spanTo = from_ + width * std::clamp(to, 0, 100) / 100;
}

ProgressSpan::~ProgressSpan() {
  Environment& e = Env();
  e.spanFrom = from_;
  e.spanTo = to_;
}

}  // namespace xbe

extern "C" {

XBAPI void xb_SetDeleted(XbShort on) { xbe::Settings().deletedHidden = on != 0; }
XBAPI void xb_SetCentury(XbShort on) { xbe::Settings().century = on != 0; }
XBAPI void xb_SetDateFormat(XbShort code) { xbe::Settings().dateFormat = code; }
XBAPI XbShort xb_GetDateFormat(void) { return static_cast<XbShort>(xbe::Settings().dateFormat); }
XBAPI void xb_SetEpoch(XbShort year) { xbe::Settings().epoch = year; }
XBAPI void xb_SetExact(XbShort on) { xbe::Settings().exact = on != 0; }
XBAPI void xb_SetSoftSeek(XbShort on) { xbe::Settings().softSeek = on != 0; }
// Tables and callers both hold code page 949 text, so there is nothing to translate.
XBAPI void xb_SetTranslate(XbShort on) { Env().translate = on != 0; }
XBAPI void xb_SetTurboRead(XbShort on) { Env().turboRead = on != 0; }
XBAPI void xb_SetStringType(XbShort type) { Env().stringType = type; }
XBAPI void xb_SetPassword(const char* password) { Env().password = xbe::Str(password); }
XBAPI XbShort xb_IsEncrypted(XbShort) { return 0; }
XBAPI XbShort xb_ErrorLevel(XbShort level) {
  XbShort previous = static_cast<XbShort>(Env().errorLevel);
  Env().errorLevel = level;
  return previous;
}
XBAPI void xb_SetErrorFunc(XbPtr func) { Env().errorFunc = func; }
XBAPI const char* xb_Version(void) { return "XBENG 6.10.08 64-bit"; }
XBAPI void xb_SetMemoBlockSize(XbShort size) {
  if (size > 0) xbe::Settings().memoBlockSize = size;
}

XBAPI XbLong xb_SysProp(XbShort code, XbPtr value) {
  xbe::EngineSettings& s = xbe::Settings();
  xbe::OrderHooks* hooks = xbe::CurrentHooks();
  switch (code) {
    case 1101:  // collation table: 256 bytes at value
      if (!value) return 0;
      std::memcpy(s.collation, reinterpret_cast<const void*>(value), 256);
      return 1;
    case 1102:  // the collation table copied out to 256 bytes at value, for the SQL add-on
      if (!value) return 0;
      std::memcpy(reinterpret_cast<void*>(value), s.collation, 256);
      return 1;
    case 1006:
      return s.deletedHidden ? 1 : 0;
    case 1009:
      Env().optimisticBuffer = value != 0;
      return Env().optimisticBuffer ? 1 : 0;
    case 1008:
      return Env().optimisticBuffer ? 1 : 0;
    case 1003: {
      XbLong previous = s.wholeKeySeek ? 1 : 0;
      s.wholeKeySeek = value != 0;
      return previous;
    }
    case 1002:
      return s.wholeKeySeek ? 1 : 0;
    case 3000:
      return hooks ? hooks->OrderCount() : 0;
    case 3002:
      return hooks && hooks->ActiveOrderDescending() ? 1 : 0;
    default:
      return 0;
  }
}

XBAPI void xb_SetGaugeHook(XbPtr window) {
  Env().gaugeWindow = window;
  Env().lastPercent = 0;
}
XBAPI void xb_SetGaugePoster(XbGaugePoster poster) { Env().poster = poster; }
XBAPI void xb_SetGaugeFunc(XbPtr func) { Env().gaugeFunc = func; }
XBAPI void xb_FinalizeSession(void) { xbe::Session::Get().CloseAll(); }
XBAPI void xb_SetUDFPath(const char* path) { Env().udfPath = xbe::Str(path); }
XBAPI const char* xb_GetUDFPath(void) { return xbe::Ret(Env().udfPath); }
XBAPI void xb_SetUserDelimiter(const char* delimiter) { Env().userDelimiter = xbe::Str(delimiter); }

}  // extern "C"

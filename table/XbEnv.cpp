// The engine environment component: settings pushed to the engine and the table server.
#include "table/XbEnv.h"

#include "platform/core/SysUtils.h"
#include "remote/XbConnection.h"
#include "remote/XbQuery.h"
#include "table/XbDispatch.h"
#include "table/XbEngine.h"
#include "table/XbSearch.h"

namespace {

using E = XbEntryPoints;

XbShort Flag(bool v) { return v ? -1 : 0; }

struct DateStyle {
  char separator;
  const char* shortFormat;
};

// SQL queries take the first environment's settings.
[[maybe_unused]] const bool gQueryEnvironmentHook = [] {
  XbQueryEnvironmentHook() = [](TXbQueryEnvironment& Settings) {
    TXbSearchObject search;
    TXbEnv* env = search.FindFirst<TXbEnv>();
    if (env == nullptr) return false;
    Settings.Century = env->Century();
    Settings.Deleted = env->Deleted();
    Settings.MemoBlockSize = env->MemoBlockSize();
    return true;
  };
  return true;
}();

}  // namespace

XbShort XbDateFormatCode(TXbDateFrmt Format) {
  return Format == dfWinDefault ? XbShort{99} : static_cast<XbShort>(Format);
}

TXbEnv::TXbEnv(TComponent* AOwner) : TComponent(AOwner) {}

TXbEnv::~TXbEnv() {
  if (FXbConnection) FXbConnection->RemoveFreeNotification(this);
}

void TXbEnv::SetXbConnection(TXbConnection* Value) {
  if (Value == FXbConnection) return;
  if (FXbConnection) FXbConnection->RemoveFreeNotification(this);
  FXbConnection = Value;
  if (FXbConnection) FXbConnection->FreeNotification(this);
}

void TXbEnv::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FXbConnection) FXbConnection = nullptr;
}

template <typename Local, typename Server>
bool TXbEnv::Send(Local local, Server server) {
  if (FApplyTo == 0) return false;
  if ((FApplyTo & atServer) && FXbConnection && FXbConnection->Active()) server(*FXbConnection);
  if (FApplyTo & atLocal) {
    EnsureEngineLoaded();
    local();
  }
  return true;
}

void TXbEnv::SetCentury(bool Value) {
  if (!Send([&] { XbCall(&E::xb_SetCentury, Flag(Value)); },
            [&](TXbConnection& c) { c.SetCentury(Flag(Value)); }))
    return;
  FCentury = Value;
  AdjustCenturyFormat();
  RefreshTables();
}

void TXbEnv::AdjustCenturyFormat() {
  std::string& f = FormatSettings.ShortDateFormat;
  const size_t four = f.find("yyyy");
  if (FCentury) {
    const size_t two = f.find("yy");
    if (two != std::string::npos && four == std::string::npos) f.replace(two, 2, "yyyy");
  } else if (four != std::string::npos) {
    f.replace(four, 4, "yy");
  }
}

void TXbEnv::SetDateFormat(TXbDateFrmt Value) {
  const XbShort code = XbDateFormatCode(Value);
  if (!Send([&] { XbCall(&E::xb_SetDateFormat, code); },
            [&](TXbConnection& c) { c.SetDateFormat(code); }))
    return;
  FDateFormat = Value;
  DateStyle style{'/', "m/d/yy"};
  switch (Value) {
    case dfAmerican: style = {'/', "mm/dd/yy"}; break;
    case dfAnsi: style = {'.', "yy.mm.dd"}; break;
    case dfBritish:
    case dfFrench: style = {'/', "dd/mm/yy"}; break;
    case dfGerman: style = {'.', "dd.mm.yy"}; break;
    case dfItalian:
    case dfSpanish: style = {'-', "dd-mm-yy"}; break;
    case dfWinDefault: {
      // The system locale's own date style.
      const TFormatSettings& system = SystemFormatSettings();
      FormatSettings.DateSeparator = system.DateSeparator;
      FormatSettings.ShortDateFormat = system.ShortDateFormat;
      break;
    }
  }
  if (Value != dfWinDefault) {
    FormatSettings.DateSeparator = style.separator;
    FormatSettings.ShortDateFormat = style.shortFormat;
  }
  if (FCentury)
    SetCentury(FCentury);
  else
    RefreshTables();
}

void TXbEnv::SetDeleted(bool Value) {
  if (FApplyTo == 0) return;
  FDeleted = Value;
  Send([&] { XbCall(&E::xb_SetDeleted, Flag(Value)); },
       [&](TXbConnection& c) { c.SetDeleted(Flag(Value)); });
  RefreshTables();
}

void TXbEnv::SetEpoch(int Value) {
  if (FApplyTo == 0) return;
  if (Value == 0)
    Value = 1900;
  else if (Value < 100)
    Value = 100;
  else if (Value > 2999)
    Value = 2999;
  FEpoch = Value;
  const XbShort year = static_cast<XbShort>(Value);
  Send([&] { XbCall(&E::xb_SetEpoch, year); }, [&](TXbConnection& c) { c.SetEpoch(year); });
}

void TXbEnv::SetExact(bool Value) {
  if (Value == FExact) return;
  if (Send([&] { XbCall(&E::xb_SetExact, Flag(Value)); },
           [&](TXbConnection& c) { c.SetExact(Flag(Value)); }))
    FExact = Value;
}

void TXbEnv::SetSoftSeek(bool Value) {
  if (Value == FSoftSeek) return;
  if (Send([&] { XbCall(&E::xb_SetSoftSeek, Flag(Value)); },
           [&](TXbConnection& c) { c.SetSoftSeek(Flag(Value)); }))
    FSoftSeek = Value;
}

void TXbEnv::SetLockTimeOut(int Value) {
  if (Value == FLockTimeOut) return;
  if (Send([&] { XbCall(&E::xb_SetLockTimeout, static_cast<XbShort>(Value)); },
           [&](TXbConnection& c) { c.SetLockTimeOut(Value); }))
    FLockTimeOut = Value;
}

void TXbEnv::SetMemoBlockSize(uint16_t Value) {
  if (Value == FMemoBlockSize) return;
  const XbShort size = static_cast<XbShort>(Value);
  if (Send([&] { XbCall(&E::xb_SetMemoBlockSize, size); },
           [&](TXbConnection& c) { c.SetMemoBlockSize(size); }))
    FMemoBlockSize = Value;
}

bool TXbEnv::OptimisticBuffer() const { return (FApplyTo & atLocal) ? FOptimisticBuffer : false; }

void TXbEnv::SetOptimisticBuffer(bool Value) {
  if (!(FApplyTo & atLocal)) return;
  EnsureEngineLoaded();
  XbCall(&E::xb_SysProp, XbShort{1009}, static_cast<XbPtr>(Flag(Value)));
  FOptimisticBuffer = XbCall(&E::xb_SysProp, XbShort{1008}, XbPtr{0}) != 0;
}

void TXbEnv::RefreshTables() {
  if (!AutoRefresh) return;
  TXbSearchObject search;
  const auto isTable = TXbSearchObject::IsA<TXbDispatch>;
  for (TComponent* c = search.FindFirst(isTable); c; c = search.FindNext(isTable)) {
    TXbDispatch* table = dynamic_cast<TXbDispatch*>(c);
    if (table && table->DispatchActive()) table->RefreshFromEnvironment();
  }
}

void TXbEnv::Loaded() {
  TComponent::Loaded();
  if (FApplyTo == atLocal) EnsureEngineLoaded();
}

TXbEnv* FindXbEnv() {
  TXbSearchObject search;
  return search.FindFirst<TXbEnv>();
}

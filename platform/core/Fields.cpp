// The TField family, field and index definitions, and the native date forms.
#include "platform/core/Fields.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/core/Cp949.h"
#include "platform/core/DataSet.h"
#include "platform/core/DbConsts.h"
#include "platform/core/NumberText.h"

using namespace dbconsts;

// ---- Types and dates ------------------------------------------------------------------------

const char* FieldTypeName(TFieldType t) {
  static const char* const names[] = {
      "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency",
      "BCD", "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo",
      "Graphic", "FmtMemo", "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar",
      "WideString", "Largeint", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob",
      "Variant", "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd"};
  return t <= ftFMTBcd ? names[t] : "Unknown";
}

bool IsBlobType(TFieldType t) {
  return (t >= ftBlob && t <= ftTypedBinary) || t == ftOraBlob || t == ftOraClob;
}

int32_t DateToDayNumber(TDateTime Value) {
  return static_cast<int32_t>(std::trunc(Value)) + DateDelta;
}

TDateTime DayNumberToDate(int32_t DayNumber) {
  return static_cast<TDateTime>(DayNumber - DateDelta);
}

int32_t TimeToMSecs(TDateTime Value) {
  double f = std::fabs(Value - std::trunc(Value));
  auto ms = static_cast<int32_t>(std::lround(f * MSecsPerDay));
  return ms >= 86400000 ? 86399999 : ms;
}

double DateTimeToMSecs(TDateTime Value) {
  return static_cast<double>(DateToDayNumber(Value)) * MSecsPerDay + TimeToMSecs(Value);
}

TDateTime MSecsToDateTime(double MSecs) {
  double day = std::floor(MSecs / MSecsPerDay);
  double frac = (MSecs - day * MSecsPerDay) / MSecsPerDay;
  double date = day - DateDelta;
  // Before 30 December 1899 the time of day is added away from zero, as TDateTime keeps it.
  return date < 0 ? date - frac : date + frac;
}

namespace {

// Splits a display format into its ';' sections, quotes respected.
std::vector<std::string> FormatSections(std::string_view f) {
  std::vector<std::string> out(1);
  char quote = 0;
  for (char c : f) {
    if (quote) {
      if (c == quote) quote = 0;
      out.back() += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
      out.back() += c;
    } else if (c == ';') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

bool IsPicture(char c) { return c == '0' || c == '#' || c == '.' || c == ','; }

// Literal text of a format piece: quotes removed.
std::string Literal(std::string_view s) {
  std::string out;
  char quote = 0;
  for (char c : s) {
    if (quote) {
      if (c == quote) quote = 0; else out += c;
    } else if (c == '\'' || c == '"') {
      quote = c;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FormatNumber(std::string_view Format, double Value) {
  std::vector<std::string> sections = FormatSections(Format);
  std::string section = sections[0];
  bool signInFormat = false;
  if (Value < 0 && sections.size() >= 2 && !sections[1].empty()) {
    section = sections[1];
    signInFormat = true;
  } else if (Value == 0 && sections.size() >= 3 && !sections[2].empty()) {
    section = sections[2];
  }
  // The picture is the run from the first to the last picture character outside quotes.
  size_t first = std::string::npos, last = std::string::npos;
  char quote = 0;
  for (size_t i = 0; i < section.size(); ++i) {
    char c = section[i];
    if (quote) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (IsPicture(c)) {
      if (first == std::string::npos) first = i;
      last = i;
    }
  }
  if (first == std::string::npos) return Literal(section);
  std::string prefix = Literal(std::string_view(section).substr(0, first));
  std::string suffix = Literal(std::string_view(section).substr(last + 1));
  std::string_view pic = std::string_view(section).substr(first, last - first + 1);
  size_t dot = pic.find('.');
  std::string_view intPic = pic.substr(0, dot);
  std::string_view decPic = dot == std::string::npos ? std::string_view() : pic.substr(dot + 1);
  int minInt = 0, minDec = 0, maxDec = 0;
  bool thousands = false;
  for (char c : intPic) {
    if (c == '0') ++minInt;
    if (c == ',') thousands = true;
  }
  for (char c : decPic) {
    if (c == '0') ++minDec, ++maxDec;
    if (c == '#') ++maxDec;
  }
  double a = std::fabs(Value);
  std::string digits = numtext::Fixed(a, maxDec);
  size_t p = digits.find('.');
  std::string ip = p == std::string::npos ? digits : digits.substr(0, p);
  std::string dp = p == std::string::npos ? std::string() : digits.substr(p + 1);
  while (static_cast<int>(dp.size()) > minDec && !dp.empty() && dp.back() == '0') dp.pop_back();
  bool zero = ip.find_first_not_of('0') == std::string::npos &&
              dp.find_first_not_of('0') == std::string::npos;
  if (ip == "0") ip.clear();
  while (static_cast<int>(ip.size()) < minInt) ip.insert(ip.begin(), '0');
  if (thousands && ip.size() > 3) {
    std::string grouped;
    size_t n = ip.size();
    for (size_t i = 0; i < n; ++i) {
      grouped += ip[i];
      size_t rest = n - 1 - i;
      if (rest > 0 && rest % 3 == 0) grouped += FormatSettings.ThousandSeparator;
    }
    ip = grouped;
  }
  std::string number = ip;
  if (!dp.empty()) number += FormatSettings.DecimalSeparator + dp;
  if (number.empty()) number = "0";
  std::string sign = (Value < 0 && !signInFormat && !zero) ? "-" : "";
  return sign + prefix + number + suffix;
}

// ---- TField -----------------------------------------------------------------------------

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  if (FDataSet) FDataSet->FFields->Remove(this);
}

void TField::SetDataSet(TDataSet* ADataSet) {
  if (ADataSet == FDataSet) return;
  if (FDataSet) FDataSet->CheckInactive();
  if (ADataSet) {
    ADataSet->CheckInactive();
    if (!FFieldName.empty() && ADataSet->FindField(FFieldName))
      DatabaseError(::Format(SDuplicateFieldName, FFieldName.c_str()), ADataSet);
  }
  if (FDataSet) FDataSet->FFields->Remove(this);
  FDataSet = ADataSet;
  if (FDataSet) FDataSet->FFields->Add(this);
}

void TField::SetFieldName(const std::string& Value) {
  if (Value == FFieldName) return;
  if (FDataSet) {
    FDataSet->CheckInactive();
    TField* other = FDataSet->FindField(Value);
    if (other && other != this)
      DatabaseError(::Format(SDuplicateFieldName, Value.c_str()), FDataSet);
  }
  FFieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
  if (Value == FFieldKind) return;
  CheckInactive();
  FFieldKind = Value;
}

void TField::SetSize(int Value) {
  if (Value == FSize) return;
  CheckInactive();
  FSize = Value < 0 ? 0 : Value;
}

void TField::CheckInactive() const {
  if (FDataSet) FDataSet->CheckInactive();
}

int TField::Index() const { return FDataSet ? FDataSet->FFields->IndexOf(this) : -1; }

bool TField::IsNull() { return !GetData(nullptr); }

bool TField::CanModify() {
  return !ReadOnly && FFieldKind == fkData && FDataSet && FDataSet->CanModify();
}

bool TField::GetData(void* Buffer) {
  if (FValidating) {
    if (!FValidateBuffer) return false;
    if (Buffer && DataSize() > 0) std::memcpy(Buffer, FValidateBuffer, static_cast<size_t>(DataSize()));
    return true;
  }
  if (!FDataSet) DatabaseError(::Format(SFieldNoDataSet, FFieldName.c_str()));
  return FDataSet->GetFieldData(this, Buffer);
}

void TField::SetData(const void* Buffer) {
  if (!FDataSet) DatabaseError(::Format(SFieldNoDataSet, FFieldName.c_str()));
  FDataSet->SetFieldData(this, Buffer);
}

void TField::Validate(const void* Buffer) {
  if (!OnValidate) return;
  TFieldNotifyEvent handler = OnValidate;
  FValidating = true;
  FValidateBuffer = Buffer;
  try {
    handler(this);
  } catch (...) {
    FValidating = false;
    FValidateBuffer = nullptr;
    throw;
  }
  FValidating = false;
  FValidateBuffer = nullptr;
}

void TField::Change() {
  if (OnChange) {
    TFieldNotifyEvent handler = OnChange;
    handler(this);
  }
}

void TField::FocusControl() {
  if (!FDataSet) return;
  TField* field = this;
  FDataSet->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(&field));
}

std::string TField::Text() {
  if (OnGetText) {
    std::string s;
    TFieldGetTextEvent handler = OnGetText;
    handler(this, s, false);
    return s;
  }
  return GetText(false);
}

std::string TField::DisplayText() {
  if (OnGetText) {
    std::string s;
    TFieldGetTextEvent handler = OnGetText;
    handler(this, s, true);
    return s;
  }
  return GetText(true);
}

void TField::SetText(const std::string& Value) {
  if (OnSetText) {
    TFieldSetTextEvent handler = OnSetText;
    handler(this, Value);
  } else {
    SetAsString(Value);
  }
}

void TField::AccessError(const char* TypeName) const {
  DatabaseError(::Format(SFieldAccessError, DisplayName().c_str(), TypeName));
}

void TField::RangeError(const std::string& Value, const std::string& Min,
                        const std::string& Max) const {
  DatabaseError(::Format(SFieldRangeError, Value.c_str(), DisplayName().c_str(), Min.c_str(),
                         Max.c_str()));
}

std::string TField::GetAsString() { AccessError("String"); }
int TField::GetAsInteger() { AccessError("Integer"); }
double TField::GetAsFloat() { AccessError("Float"); }
bool TField::GetAsBoolean() { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() { AccessError("DateTime"); }
Variant TField::GetAsVariant() { AccessError("Variant"); }
void TField::SetAsString(const std::string&) { AccessError("String"); }
void TField::SetAsInteger(int) { AccessError("Integer"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
void TField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) Clear(); else SetAsString(Value.AsString());
}

// ---- TStringField ---------------------------------------------------------------------

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  SetSize(20);
}

std::string TStringField::GetAsString() {
  std::vector<char> buf(static_cast<size_t>(DataSize()) + 1, '\0');
  if (!GetData(buf.data())) return std::string();
  return std::string(buf.data(), strnlen(buf.data(), static_cast<size_t>(Size())));
}

void TStringField::SetAsString(const std::string& Value) {
  std::string v = cp949::Cut(Value, static_cast<size_t>(Size()));
  std::vector<char> buf(static_cast<size_t>(DataSize()), '\0');
  std::memcpy(buf.data(), v.data(), v.size());
  SetData(buf.data());
}

int TStringField::GetAsInteger() { return StrToInt(Trim(GetAsString())); }
double TStringField::GetAsFloat() { return StrToFloat(Trim(GetAsString())); }
TDateTime TStringField::GetAsDateTime() { return StrToDateTime(Trim(GetAsString())); }

bool TStringField::GetAsBoolean() {
  std::string s = GetAsString();
  return !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y');
}

Variant TStringField::GetAsVariant() {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}

void TStringField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) Clear(); else SetAsString(Value.AsString());
}

// ---- Integer fields ---------------------------------------------------------------------

TIntegerField::TIntegerField(TComponent* AOwner)
    : TIntegerField(AOwner, ftInteger, std::numeric_limits<int32_t>::min(),
                    std::numeric_limits<int32_t>::max()) {}

TIntegerField::TIntegerField(TComponent* AOwner, TFieldType Type, int64_t Low, int64_t High)
    : TNumericField(AOwner), FLow(Low), FHigh(High) {
  SetDataType(Type);
}

bool TIntegerField::ReadValue(int64_t& Value) {
  int32_t v = 0;
  if (!GetData(&v)) return false;
  Value = v;
  return true;
}

void TIntegerField::WriteValue(int64_t Value) {
  auto v = static_cast<int32_t>(Value);
  SetData(&v);
}

int TIntegerField::GetAsInteger() {
  int64_t v = 0;
  return ReadValue(v) ? static_cast<int>(v) : 0;
}

std::string TIntegerField::GetAsString() {
  int64_t v = 0;
  return ReadValue(v) ? IntToStr(v) : std::string();
}

Variant TIntegerField::GetAsVariant() {
  int64_t v = 0;
  if (!ReadValue(v)) return Variant::Null();
  return Variant(static_cast<long long>(v));
}

std::string TIntegerField::GetText(bool DisplayText) {
  int64_t v = 0;
  if (!ReadValue(v)) return std::string();
  const std::string& fmt = DisplayText || EditFormat.empty() ? DisplayFormat : EditFormat;
  return fmt.empty() ? IntToStr(v) : FormatNumber(fmt, static_cast<double>(v));
}

void TIntegerField::SetAsInteger(int Value) {
  int64_t low = FLow, high = FHigh;
  if (MinValue != 0 || MaxValue != 0) {
    low = std::max(low, MinValue);
    high = std::min(high, MaxValue);
  }
  if (Value < low || Value > high) RangeError(IntToStr(Value), IntToStr(low), IntToStr(high));
  WriteValue(Value);
}

void TIntegerField::SetAsString(const std::string& Value) {
  std::string t = Trim(Value);
  if (t.empty()) {
    Clear();
    return;
  }
  int64_t v;
  if (!TryStrToInt64(t, v)) DatabaseError(::Format(SInvalidIntegerValue, Value.c_str(), DisplayName().c_str()));
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    RangeError(t, IntToStr(FLow), IntToStr(FHigh));
  SetAsInteger(static_cast<int>(v));
}

void TIntegerField::SetAsFloat(double Value) {
  double r = std::nearbyint(Value);
  if (!(r >= std::numeric_limits<int>::min() && r <= std::numeric_limits<int>::max()))
    RangeError(FloatToStr(Value), IntToStr(FLow), IntToStr(FHigh));
  SetAsInteger(static_cast<int>(r));
}

void TIntegerField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) {
    Clear();
  } else if (Value.VarType() == varString) {
    SetAsString(Value.AsString());
  } else {
    int64_t v = Value.AsInt64();
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
      RangeError(IntToStr(v), IntToStr(FLow), IntToStr(FHigh));
    SetAsInteger(static_cast<int>(v));
  }
}

TSmallintField::TSmallintField(TComponent* AOwner)
    : TIntegerField(AOwner, ftSmallint, -32768, 32767) {}

bool TSmallintField::ReadValue(int64_t& Value) {
  int16_t v = 0;
  if (!GetData(&v)) return false;
  Value = v;
  return true;
}

void TSmallintField::WriteValue(int64_t Value) {
  auto v = static_cast<int16_t>(Value);
  SetData(&v);
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner, ftWord, 0, 65535) {}

bool TWordField::ReadValue(int64_t& Value) {
  uint16_t v = 0;
  if (!GetData(&v)) return false;
  Value = v;
  return true;
}

void TWordField::WriteValue(int64_t Value) {
  auto v = static_cast<uint16_t>(Value);
  SetData(&v);
}

// ---- TFloatField ------------------------------------------------------------------------

TFloatField::TFloatField(TComponent* AOwner) : TFloatField(AOwner, ftFloat) {}
TFloatField::TFloatField(TComponent* AOwner, TFieldType Type) : TNumericField(AOwner) {
  SetDataType(Type);
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner, ftCurrency) {
  Currency = true;
}

double TFloatField::GetAsFloat() {
  double v = 0;
  return GetData(&v) ? v : 0.0;
}

int TFloatField::GetAsInteger() {
  double v = GetAsFloat();
  double r = std::nearbyint(v);
  if (!(r >= std::numeric_limits<int>::min() && r <= std::numeric_limits<int>::max()))
    RangeError(FloatToStr(v), IntToStr(std::numeric_limits<int>::min()),
               IntToStr(std::numeric_limits<int>::max()));
  return static_cast<int>(r);
}

std::string TFloatField::GetAsString() {
  double v = 0;
  if (!GetData(&v)) return std::string();
  return FloatToStr(v);
}

Variant TFloatField::GetAsVariant() {
  double v = 0;
  if (!GetData(&v)) return Variant::Null();
  return Variant(v);
}

std::string TFloatField::GetText(bool DisplayText) {
  double v = 0;
  if (!GetData(&v)) return std::string();
  const std::string& fmt = DisplayText || EditFormat.empty() ? DisplayFormat : EditFormat;
  if (!fmt.empty()) return FormatNumber(fmt, v);
  if (Currency) return FloatToStrFixed(v, 2);
  std::string s = numtext::General(v, Precision > 0 && Precision < 18 ? Precision : 15);
  for (char& c : s)
    if (c == '.') c = FormatSettings.DecimalSeparator;
  return s;
}

void TFloatField::SetAsFloat(double Value) {
  if ((MinValue != 0 || MaxValue != 0) && (Value < MinValue || Value > MaxValue))
    RangeError(FloatToStr(Value), FloatToStr(MinValue), FloatToStr(MaxValue));
  SetData(&Value);
}

void TFloatField::SetAsString(const std::string& Value) {
  std::string t = Trim(Value);
  if (t.empty()) {
    Clear();
    return;
  }
  double v;
  if (!TryStrToFloat(t, v)) DatabaseError(::Format(SInvalidFloatValue, Value.c_str(), DisplayName().c_str()));
  SetAsFloat(v);
}

void TFloatField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) Clear();
  else if (Value.VarType() == varString) SetAsString(Value.AsString());
  else SetAsFloat(Value.AsFloat());
}

// ---- TBooleanField ----------------------------------------------------------------------

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBoolean); }

void TBooleanField::SetDisplayValues(const std::string& Value) {
  size_t p = Value.find(';');
  std::string t = p == std::string::npos ? Value : Value.substr(0, p);
  std::string f = p == std::string::npos ? std::string() : Value.substr(p + 1);
  if (t.empty() && f.empty()) {
    t = "True";
    f = "False";
  }
  FDisplayValues = Value;
  FTrueText = t;
  FFalseText = f;
}

bool TBooleanField::GetAsBoolean() {
  int16_t v = 0;
  return GetData(&v) && v != 0;
}

std::string TBooleanField::GetAsString() {
  int16_t v = 0;
  if (!GetData(&v)) return std::string();
  return v != 0 ? FTrueText : FFalseText;
}

Variant TBooleanField::GetAsVariant() {
  int16_t v = 0;
  if (!GetData(&v)) return Variant::Null();
  return Variant(v != 0);
}

int TBooleanField::DefaultWidth() const {
  return static_cast<int>(std::max(FTrueText.size(), FFalseText.size()));
}

void TBooleanField::SetAsBoolean(bool Value) {
  int16_t v = Value ? -1 : 0;
  SetData(&v);
}

void TBooleanField::SetAsString(const std::string& Value) {
  std::string t = Trim(Value);
  if (t.empty()) {
    Clear();
    return;
  }
  auto begins = [&t](const std::string& full) {
    return !full.empty() && t.size() <= full.size() && SameText(full.substr(0, t.size()), t);
  };
  if (begins(FTrueText)) SetAsBoolean(true);
  else if (begins(FFalseText)) SetAsBoolean(false);
  else DatabaseError(::Format(SInvalidBoolValue, Value.c_str(), DisplayName().c_str()));
}

void TBooleanField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) Clear();
  else if (Value.VarType() == varString) SetAsString(Value.AsString());
  else SetAsBoolean(Value.AsBoolean());
}

// ---- Date and time fields -----------------------------------------------------------------

TDateTimeField::TDateTimeField(TComponent* AOwner) : TDateTimeField(AOwner, ftDateTime) {}
TDateTimeField::TDateTimeField(TComponent* AOwner, TFieldType Type) : TField(AOwner) {
  SetDataType(Type);
}
TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner, ftDate) {}
TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner, ftTime) {}

TDateTime TDateTimeField::DataToDateTime(const void* Data) const {
  double ms;
  std::memcpy(&ms, Data, sizeof ms);
  return MSecsToDateTime(ms);
}
void TDateTimeField::DateTimeToData(TDateTime Value, void* Data) const {
  double ms = DateTimeToMSecs(Value);
  std::memcpy(Data, &ms, sizeof ms);
}
bool TDateTimeField::DataIsValid(const void* Data) const {
  double ms;
  std::memcpy(&ms, Data, sizeof ms);
  return ms >= MSecsPerDay;
}
std::string TDateTimeField::DefaultFormat() const {
  return FormatSettings.ShortDateFormat + " " + FormatSettings.LongTimeFormat;
}
TDateTime TDateTimeField::ParseText(const std::string& Text) const { return StrToDateTime(Text); }

TDateTime TDateField::DataToDateTime(const void* Data) const {
  int32_t d;
  std::memcpy(&d, Data, sizeof d);
  return DayNumberToDate(d);
}
void TDateField::DateTimeToData(TDateTime Value, void* Data) const {
  int32_t d = DateToDayNumber(Value);
  std::memcpy(Data, &d, sizeof d);
}
bool TDateField::DataIsValid(const void* Data) const {
  int32_t d;
  std::memcpy(&d, Data, sizeof d);
  return d >= 1;
}
std::string TDateField::DefaultFormat() const { return FormatSettings.ShortDateFormat; }
TDateTime TDateField::ParseText(const std::string& Text) const { return StrToDate(Text); }

TDateTime TTimeField::DataToDateTime(const void* Data) const {
  int32_t ms;
  std::memcpy(&ms, Data, sizeof ms);
  return ms / MSecsPerDay;
}
void TTimeField::DateTimeToData(TDateTime Value, void* Data) const {
  int32_t ms = TimeToMSecs(Value);
  std::memcpy(Data, &ms, sizeof ms);
}
std::string TTimeField::DefaultFormat() const { return FormatSettings.LongTimeFormat; }
TDateTime TTimeField::ParseText(const std::string& Text) const { return StrToTime(Text); }

TDateTime TDateTimeField::GetAsDateTime() {
  alignas(8) char buf[16] = {};
  if (!GetData(buf)) return 0.0;
  return DataToDateTime(buf);
}

Variant TDateTimeField::GetAsVariant() {
  alignas(8) char buf[16] = {};
  if (!GetData(buf)) return Variant::Null();
  return Variant::FromDateTime(DataToDateTime(buf));
}

std::string TDateTimeField::GetText(bool DisplayText) {
  alignas(8) char buf[16] = {};
  if (!GetData(buf) || !DataIsValid(buf)) return std::string();
  const std::string fmt = DisplayText && !DisplayFormat.empty() ? DisplayFormat : DefaultFormat();
  return FormatDateTime(fmt, DataToDateTime(buf));
}

void TDateTimeField::SetAsDateTime(TDateTime Value) {
  alignas(8) char buf[16] = {};
  DateTimeToData(Value, buf);
  SetData(buf);
}

void TDateTimeField::SetAsString(const std::string& Value) {
  std::string t = Trim(Value);
  if (t.empty()) {
    Clear();
    return;
  }
  TDateTime d;
  try {
    d = ParseText(t);
  } catch (EConvertError&) {
    DatabaseError(::Format(SInvalidDateValue, Value.c_str(), DisplayName().c_str()));
  }
  SetAsDateTime(d);
}

void TDateTimeField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) Clear();
  else if (Value.VarType() == varString) SetAsString(Value.AsString());
  else SetAsDateTime(Value.AsDateTime());
}

// ---- Blob fields ----------------------------------------------------------------------------

TBlobField::TBlobField(TComponent* AOwner) : TBlobField(AOwner, ftBlob) {}
TBlobField::TBlobField(TComponent* AOwner, TFieldType Type) : TField(AOwner) {
  SetDataType(Type);
}
TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner, ftMemo) {}
TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner, ftGraphic) {}

std::unique_ptr<TStream> TBlobField::OpenStream(TBlobStreamMode Mode) {
  TDataSet* ds = DataSet();
  if (!ds) DatabaseError(::Format(SFieldNoDataSet, FieldName().c_str()));
  std::unique_ptr<TStream> s = ds->CreateBlobStream(this, Mode);
  if (!s) DatabaseError(::Format(SBlobStreamMissing, DisplayName().c_str()), ds);
  return s;
}

std::string TBlobField::GetAsString() {
  std::unique_ptr<TStream> s = OpenStream(bmRead);
  int64_t n = s->Size();
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  s->SetPosition(0);
  if (n > 0) s->ReadBuffer(out.data(), n);
  return out;
}

void TBlobField::SetAsString(const std::string& Value) {
  std::unique_ptr<TStream> s = OpenStream(bmWrite);
  s->SetSize(0);
  if (!Value.empty()) s->WriteBuffer(Value.data(), static_cast<int64_t>(Value.size()));
}

int64_t TBlobField::BlobSize() { return OpenStream(bmRead)->Size(); }

Variant TBlobField::GetAsVariant() {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}

void TBlobField::SetAsVariant(const Variant& Value) {
  if (Value.IsNullOrEmpty()) Clear(); else SetAsString(Value.AsString());
}

std::string TBlobField::GetText(bool DisplayText) {
  if (!DisplayText) return GetAsString();
  bool present = !IsNull();
  switch (DataType()) {
    case ftMemo:
    case ftFmtMemo: return present ? "(MEMO)" : "(memo)";
    case ftGraphic: return present ? "(GRAPHIC)" : "(graphic)";
    default: return present ? "(BLOB)" : "(blob)";
  }
}

void TBlobField::LoadFromStream(TStream& Stream) {
  std::unique_ptr<TStream> s = OpenStream(bmWrite);
  s->SetSize(0);
  Stream.SetPosition(0);
  s->CopyFrom(Stream, 0);
}

void TBlobField::SaveToStream(TStream& Stream) {
  std::unique_ptr<TStream> s = OpenStream(bmRead);
  s->SetPosition(0);
  if (s->Size() > 0) Stream.CopyFrom(*s, 0);
}

void TBlobField::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(f);
}

void TBlobField::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

TField* CreateFieldOfType(TFieldType Type, TComponent* Owner) {
  switch (Type) {
    case ftString:
    case ftFixedChar: return new TStringField(Owner);
    case ftSmallint: return new TSmallintField(Owner);
    case ftInteger:
    case ftAutoInc: return new TIntegerField(Owner);
    case ftWord: return new TWordField(Owner);
    case ftBoolean: return new TBooleanField(Owner);
    case ftFloat: return new TFloatField(Owner);
    case ftCurrency: return new TCurrencyField(Owner);
    case ftDate: return new TDateField(Owner);
    case ftTime: return new TTimeField(Owner);
    case ftDateTime: return new TDateTimeField(Owner);
    case ftBlob: return new TBlobField(Owner);
    case ftMemo:
    case ftFmtMemo: return new TMemoField(Owner);
    case ftGraphic: return new TGraphicField(Owner);
    default: return nullptr;
  }
}

// ---- TFields ----------------------------------------------------------------------------

TField* TFields::Fields(int Index) const {
  if (Index < 0 || Index >= Count()) DatabaseError(SFieldIndexError, FDataSet);
  return FList[static_cast<size_t>(Index)];
}

TField* TFields::FindField(std::string_view FieldName) const {
  for (TField* f : FList)
    if (SameText(f->FieldName(), FieldName)) return f;
  return nullptr;
}

TField* TFields::FieldByName(std::string_view FieldName) const {
  TField* f = FindField(FieldName);
  if (!f) DatabaseError(::Format(SFieldNotFound, std::string(FieldName).c_str()), FDataSet);
  return f;
}

int TFields::IndexOf(const TField* Field) const {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i] == Field) return static_cast<int>(i);
  return -1;
}

void TFields::Remove(TField* Field) {
  int i = IndexOf(Field);
  if (i >= 0) FList.erase(FList.begin() + i);
}

// ---- Field definitions ------------------------------------------------------------------

TField* TFieldDef::CreateField(TComponent* Owner) {
  TField* f = CreateFieldOfType(DataType, Owner);
  if (!f) return nullptr;
  try {
    f->SetFieldName(Name);
    if (DataType == ftString || DataType == ftFixedChar || IsBlobType(DataType)) f->SetSize(Size);
    f->Required = Required;
    if (Precision > 0)
      if (auto* ff = dynamic_cast<TFloatField*>(f)) ff->Precision = Precision;
    if (FCollection && FCollection->DataSet()) f->SetDataSet(FCollection->DataSet());
  } catch (...) {
    delete f;
    throw;
  }
  return f;
}

// ---- Definition lists ---------------------------------------------------------------------

template <class TDef>
void TDefinitions<TDef>::Clear() {
  FItems.clear();
  Updated = false;
}

template <class TDef>
TDef* TDefinitions<TDef>::Items(int Index) const {
  if (Index < 0 || Index >= Count()) DatabaseError(SFieldIndexError, FDataSet);
  return FItems[static_cast<size_t>(Index)].get();
}

template <class TDef>
int TDefinitions<TDef>::IndexOf(std::string_view Name) const {
  for (size_t i = 0; i < FItems.size(); ++i)
    if (SameText(FItems[i]->Name, Name)) return static_cast<int>(i);
  return -1;
}

template <class TDef>
TDef* TDefinitions<TDef>::FindOrRaise(std::string_view Name, const char* NotFound) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseError(::Format(NotFound, std::string(Name).c_str()), FDataSet);
  return FItems[static_cast<size_t>(i)].get();
}

template class TDefinitions<TFieldDef>;
template class TDefinitions<TIndexDef>;

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size,
                           bool Required) {
  if (Name.empty()) DatabaseError(SFieldNameMissing, FDataSet);
  if (IndexOf(Name) >= 0) DatabaseError(::Format(SDuplicateFieldName, Name.c_str()), FDataSet);
  auto d = std::make_unique<TFieldDef>();
  d->Name = Name;
  d->DataType = DataType;
  d->Size = Size;
  d->Required = Required;
  d->FieldNo = Count() + 1;
  d->FCollection = this;
  FItems.push_back(std::move(d));
  return FItems.back().get();
}

TFieldDef* TFieldDefs::Find(std::string_view Name) const { return FindOrRaise(Name, SFieldNotFound); }

void TFieldDefs::Update() {
  if (!Updated && FDataSet) FDataSet->InitFieldDefs();
}

// ---- Index definitions ------------------------------------------------------------------

TIndexDef* TIndexDefs::Add(const std::string& Name, const std::string& Fields,
                           TIndexOptions Options) {
  if (IndexOf(Name) >= 0) DatabaseError(::Format(SDuplicateIndexName, Name.c_str()), FDataSet);
  auto d = std::make_unique<TIndexDef>();
  d->Name = Name;
  if (Options & ixExpression) d->Expression = Fields; else d->Fields = Fields;
  d->Options = Options;
  d->FCollection = this;
  FItems.push_back(std::move(d));
  return FItems.back().get();
}

TIndexDef* TIndexDefs::Find(std::string_view Name) const { return FindOrRaise(Name, SIndexNotFound); }

std::vector<std::string> SplitFieldNames(const std::string& FieldNames) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t p = FieldNames.find(';', start);
    std::string part = Trim(
        FieldNames.substr(start, p == std::string::npos ? std::string::npos : p - start));
    if (!part.empty()) out.push_back(part);
    if (p == std::string::npos) break;
    start = p + 1;
  }
  return out;
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const {
  std::vector<std::string> wanted = SplitFieldNames(Fields);
  if (wanted.empty()) return nullptr;
  for (const auto& d : FItems) {
    if (CaseInsensitive && !(d->Options & ixCaseInsensitive)) continue;
    if (d->Options & ixExpression) continue;
    std::vector<std::string> have = SplitFieldNames(d->Fields);
    if (have.size() < wanted.size()) continue;
    bool match = true;
    for (size_t i = 0; i < wanted.size() && match; ++i) match = SameText(have[i], wanted[i]);
    if (match) return d.get();
  }
  return nullptr;
}

void TIndexDefs::Update() {
  if (!Updated && FDataSet) FDataSet->UpdateIndexDefs();
}

// ---- Parameters ---------------------------------------------------------------------------

TParam::TParam(TParams* AParams, const std::string& AName, TFieldType ADataType,
               TParamType AParamType)
    : Name(AName), DataType(ADataType), ParamType(AParamType), FParams(AParams) {}

void TParam::SetValue(const Variant& V) {
  if (DataType == ftUnknown) {
    switch (V.VarType()) {
      case varBoolean: DataType = ftBoolean; break;
      case varInteger: DataType = ftInteger; break;
      case varDouble: DataType = ftFloat; break;
      case varDate: DataType = ftDateTime; break;
      case varString: DataType = ftString; break;
      default: break;
    }
  }
  FValue = V;
  Bound = !V.IsEmpty();
}

void TParam::Set(TFieldType Type, const Variant& V) {
  DataType = Type;
  FValue = V;
  Bound = true;
}

void TParam::Assign(const TParam& Source) {
  Name = Source.Name;
  DataType = Source.DataType;
  ParamType = Source.ParamType;
  Bound = Source.Bound;
  FValue = Source.FValue;
}

namespace {

enum class ParamForm { Text, Int16, UInt16, Bool, Int32, Date, Time, Double, DateTime, Bcd,
                       TimeStamp, Bytes, None };

ParamForm FormOf(const TParam& p) {
  switch (p.DataType) {
    case ftString:
    case ftMemo:
    case ftFixedChar:
    case ftADT: return ParamForm::Text;
    case ftSmallint: return ParamForm::Int16;
    case ftWord: return ParamForm::UInt16;
    case ftBoolean: return ParamForm::Bool;
    case ftInteger:
    case ftAutoInc: return ParamForm::Int32;
    case ftDate: return ParamForm::Date;
    case ftTime: return ParamForm::Time;
    case ftFloat:
    case ftCurrency: return ParamForm::Double;
    case ftDateTime: return ParamForm::DateTime;
    case ftBCD:
    case ftFMTBcd: return ParamForm::Bcd;
    case ftTimeStamp: return ParamForm::TimeStamp;
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob: return ParamForm::Bytes;
    case ftCursor:
    case ftArray:
    case ftReference:
    case ftDataSet: return ParamForm::None;
    case ftUnknown: DatabaseError(::Format(SUnknownFieldType, p.Name.c_str()));
    default: DatabaseError(::Format(SUnsupportedFieldType, p.Name.c_str()));
  }
}

// Packed decimal digits: integer digits, then the decimal places.
void EncodeBcd(double v, unsigned char* out) {
  std::memset(out, 0, 34);
  if (!std::isfinite(v)) throw EConvertError("Value out of range for a decimal number");
  std::string s = numtext::Fixed(std::fabs(v), 15);
  size_t dot = s.find('.');
  std::string ip = s.substr(0, dot), fp = dot == std::string::npos ? "" : s.substr(dot + 1);
  while (!fp.empty() && fp.back() == '0') fp.pop_back();
  size_t nz = ip.find_first_not_of('0');
  ip = nz == std::string::npos ? std::string() : ip.substr(nz);
  if (ip.size() > 64) throw EConvertError("Value out of range for a decimal number");
  if (ip.size() + fp.size() > 64) fp.resize(64 - ip.size());
  if (fp.size() > 63) fp.resize(63);
  std::string digits = ip + fp;
  if (digits.empty()) digits = "0";
  bool negative = v < 0 && digits.find_first_not_of('0') != std::string::npos;
  out[0] = static_cast<unsigned char>(digits.size());
  out[1] = static_cast<unsigned char>((negative ? 0x80 : 0) | fp.size());
  for (size_t i = 0; i < digits.size(); ++i) {
    auto d = static_cast<unsigned char>(digits[i] - '0');
    out[2 + i / 2] |= (i % 2 == 0) ? static_cast<unsigned char>(d << 4) : d;
  }
}

double DecodeBcd(const unsigned char* in) {
  int precision = std::min<int>(in[0], 64);
  int places = in[1] & 0x3F;
  double v = 0;
  for (int i = 0; i < precision; ++i) {
    unsigned char b = in[2 + i / 2];
    v = v * 10 + ((i % 2 == 0) ? (b >> 4) : (b & 0x0F));
  }
  v /= std::pow(10.0, places);
  return (in[1] & 0x80) ? -v : v;
}

template <class T>
void Put(char* b, size_t off, T v) {
  std::memcpy(b + off, &v, sizeof v);
}
template <class T>
T Get(const char* b, size_t off) {
  T v;
  std::memcpy(&v, b + off, sizeof v);
  return v;
}

}  // namespace

int TParam::GetDataSize() const {
  switch (FormOf(*this)) {
    case ParamForm::Text: return static_cast<int>(AsString().size()) + 1;
    case ParamForm::Int16:
    case ParamForm::UInt16:
    case ParamForm::Bool: return 2;
    case ParamForm::Int32:
    case ParamForm::Date:
    case ParamForm::Time: return 4;
    case ParamForm::Double:
    case ParamForm::DateTime: return 8;
    case ParamForm::Bcd: return 34;
    case ParamForm::TimeStamp: return 16;
    case ParamForm::Bytes: return static_cast<int>(AsString().size());
    case ParamForm::None: return 0;
  }
  return 0;
}

void TParam::GetData(void* Buffer) const {
  auto* b = static_cast<char*>(Buffer);
  auto range = [this](int v, int low, int high) {
    if (v < low || v > high)
      DatabaseError(::Format(SFieldRangeError, IntToStr(v).c_str(), Name.c_str(),
                             IntToStr(low).c_str(), IntToStr(high).c_str()));
    return v;
  };
  switch (FormOf(*this)) {
    case ParamForm::Text: {
      std::string s = AsString();
      std::memcpy(b, s.data(), s.size());
      b[s.size()] = '\0';
      break;
    }
    case ParamForm::Int16: Put(b, 0, static_cast<int16_t>(range(AsInteger(), -32768, 32767))); break;
    case ParamForm::UInt16: Put(b, 0, static_cast<uint16_t>(range(AsInteger(), 0, 65535))); break;
    case ParamForm::Bool: Put(b, 0, static_cast<int16_t>(AsBoolean() ? -1 : 0)); break;
    case ParamForm::Int32: Put(b, 0, static_cast<int32_t>(AsInteger())); break;
    case ParamForm::Date: Put(b, 0, DateToDayNumber(AsDateTime())); break;
    case ParamForm::Time: Put(b, 0, TimeToMSecs(AsDateTime())); break;
    case ParamForm::Double: Put(b, 0, AsFloat()); break;
    case ParamForm::DateTime: Put(b, 0, DateTimeToMSecs(AsDateTime())); break;
    case ParamForm::Bcd: EncodeBcd(AsFloat(), reinterpret_cast<unsigned char*>(b)); break;
    case ParamForm::TimeStamp: {
      int y, m, d, h, n, s, ms;
      TDateTime v = AsDateTime();
      DecodeDate(v, y, m, d);
      DecodeTime(v, h, n, s, ms);
      Put(b, 0, static_cast<int16_t>(y));
      Put(b, 2, static_cast<uint16_t>(m));
      Put(b, 4, static_cast<uint16_t>(d));
      Put(b, 6, static_cast<uint16_t>(h));
      Put(b, 8, static_cast<uint16_t>(n));
      Put(b, 10, static_cast<uint16_t>(s));
      Put(b, 12, static_cast<uint32_t>(ms));
      break;
    }
    case ParamForm::Bytes: {
      std::string s = AsString();
      std::memcpy(b, s.data(), s.size());
      break;
    }
    case ParamForm::None: break;
  }
}

void TParam::SetData(const void* Buffer, int Size) {
  const auto* b = static_cast<const char*>(Buffer);
  ParamForm form = FormOf(*this);
  int need = form == ParamForm::Text || form == ParamForm::Bytes || form == ParamForm::None
                 ? 0
                 : GetDataSize();
  if (Size < need || (Size > 0 && !b))
    DatabaseError(::Format(SParamDataShort, Name.c_str(), need, Size));
  Variant v;
  switch (form) {
    case ParamForm::Text:
      v = Variant(std::string(b ? b : "", b ? strnlen(b, static_cast<size_t>(Size)) : 0));
      break;
    case ParamForm::Int16: v = Variant(int{Get<int16_t>(b, 0)}); break;
    case ParamForm::UInt16: v = Variant(int{Get<uint16_t>(b, 0)}); break;
    case ParamForm::Bool: v = Variant(Get<int16_t>(b, 0) != 0); break;
    case ParamForm::Int32: v = Variant(int{Get<int32_t>(b, 0)}); break;
    case ParamForm::Date: v = Variant::FromDateTime(DayNumberToDate(Get<int32_t>(b, 0))); break;
    case ParamForm::Time: v = Variant::FromDateTime(Get<int32_t>(b, 0) / MSecsPerDay); break;
    case ParamForm::Double: v = Variant(Get<double>(b, 0)); break;
    case ParamForm::DateTime: v = Variant::FromDateTime(MSecsToDateTime(Get<double>(b, 0))); break;
    case ParamForm::Bcd: v = Variant(DecodeBcd(reinterpret_cast<const unsigned char*>(b))); break;
    case ParamForm::TimeStamp: {
      TDateTime d = 0, t = 0;
      if (!TryEncodeDate(Get<int16_t>(b, 0), Get<uint16_t>(b, 2), Get<uint16_t>(b, 4), d) ||
          !TryEncodeTime(Get<uint16_t>(b, 6), Get<uint16_t>(b, 8), Get<uint16_t>(b, 10),
                         static_cast<int>(Get<uint32_t>(b, 12) % 1000), t))
        DatabaseError(::Format(SInvalidDateValue, "", Name.c_str()));
      v = Variant::FromDateTime(d < 0 ? d - t : d + t);
      break;
    }
    case ParamForm::Bytes: v = Variant(std::string(b ? b : "", static_cast<size_t>(b ? Size : 0))); break;
    case ParamForm::None: v = Variant::Null(); break;
  }
  FValue = v;
  Bound = true;
}

TParam* TParams::CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType) {
  FItems.push_back(std::make_unique<TParam>(this, Name, DataType, ParamType));
  return FItems.back().get();
}

TParam* TParams::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(::Format(SListIndexError, Index));
  return FItems[static_cast<size_t>(Index)].get();
}

TParam* TParams::FindParam(std::string_view Name) const {
  for (const auto& p : FItems)
    if (SameText(p->Name, Name)) return p.get();
  return nullptr;
}

TParam* TParams::ParamByName(std::string_view Name) const {
  TParam* p = FindParam(Name);
  if (!p) DatabaseError(::Format(SParameterNotFound, std::string(Name).c_str()));
  return p;
}

void TParams::Assign(const TParams& Source) {
  if (&Source == this) return;
  FItems.clear();
  for (const auto& p : Source.FItems)
    CreateParam(p->DataType, p->Name, p->ParamType)->Assign(*p);
}

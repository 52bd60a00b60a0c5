// TXbConnection's command set: one request per engine operation (see XbConnection.h). Each
// operation encodes its arguments into the payload of its own command code, sends it, and
// decodes the reply into the engine's kind of result.
//
// Failures: an operation that raises inside (a transport report without OnError, a reply
// that does not convert, a missing or short reply stream) reports ("XbConnection." + name,
// name) and answers its zero result. Silent operations report nothing; quiet ones report but
// never let the report raise.
#include <algorithm>
#include <cstring>

#include "remote/XbCommon.h"
#include "remote/XbConnection.h"

namespace {

std::string YN(bool b) { return b ? "Y" : "N"; }
// A fixed-width text field: a longer text is cut, so later fields stay in place.
std::string T(const std::string& s, int w) { return FixedField(s, w); }

int64_t Hex(const std::string& reply) {
  int64_t v = 0;
  if (!TryHexToInt(reply, v)) throw EConvertError("'" + reply + "' is not a valid integer value");
  return v;
}

int64_t Dec(const std::string& reply) {
  int64_t v = 0;
  if (!TryDecToInt(reply, v)) throw EConvertError("'" + reply + "' is not a valid integer value");
  return v;
}

double Float(const std::string& reply) {
  double v = 0;
  if (!TryStrToFloat(Trim(reply), v))
    throw EConvertError("'" + reply + "' is not a valid floating point value");
  return v;
}

XbShort Bool16(bool b) { return b ? XbShort(-1) : XbShort(0); }

// The reply stream of a stream request, or a failure when none came.
TMemoryStream& Need(TMemoryStream* s) {
  if (s == nullptr) throw Exception("No reply stream");
  return *s;
}

// An xBase record is at most this long (the header's 16-bit record length).
constexpr int64_t kMaxRecordSize = 65535;

// Exactly 10 bytes: a field name inside a stream payload.
std::string Name10(const std::string& s) { return FixedField(s, 10); }

}  // namespace

std::string TXbConnection::Xmit(const char* Code, const std::string& Payload) {
  return std::string(ClientXmit(Code, Payload, true));
}

// ---- one request each ---------------------------------------------------------------------

std::string TXbConnection::Alias(XbShort WorkArea) {
  return Op<std::string>("Alias", {}, [&] { return Xmit("0530", std::to_string(WorkArea)); });
}

XbLong TXbConnection::AppendBlank() {
  return Op<XbLong>("AppendBlank", 0, [&] { return static_cast<XbLong>(Hex(Xmit("0473", ""))); });
}

XbShort TXbConnection::AppendFrom(const std::string& SourceFile, XbShort TableTypeCode,
                                  const std::string& Condition) {
  return Op<XbShort>(
      "AppendFrom", 0,
      [&] {
        return Bool16(Xmit("0474", T(SourceFile, 255) + T(std::to_string(TableTypeCode), 10) +
                                       T(Condition, 255)) == "Y");
      },
      rpSilent);
}

XbShort TXbConnection::Bof() {
  return Op<XbShort>("Bof", 0, [&] { return Bool16(Xmit("0476", "") == "Y"); });
}

void TXbConnection::Close() {
  Op<int>("Close", 0, [&] { Xmit("0523", ""); return 0; });
}

void TXbConnection::CloseIndexes() {
  Guarded<int>("CloseIndexes", "CloseIndexes", rpReport, 0, [&] { Xmit("0533", ""); return 0; });
}

void TXbConnection::Commit() {
  Op<int>("Commit", 0, [&] { Xmit("0511", ""); return 0; });
}

XbShort TXbConnection::CopyFile(const std::string& TargetFile) {
  return Op<XbShort>("CopyFile", 0, [&] { return Bool16(Xmit("0535", T(TargetFile, 255)) == "Y"); });
}

XbLong TXbConnection::Count() {
  return Op<XbLong>("Count", 0, [&] { return static_cast<XbLong>(Dec(Xmit("0516", ""))); });
}

XbShort TXbConnection::CreateExec() {
  return Op<XbShort>("CreateExec", 0, [&] { return Bool16(Xmit("0559", "") == "Y"); });
}

void TXbConnection::CreateField(const std::string& Name, const std::string& Type, XbShort Width,
                                XbShort Decimals) {
  Op<int>("CreateField", 0, [&] {
    Xmit("0560", T(Name, 10) + T(Type, 10) + T(std::to_string(Width), 10) +
                     T(std::to_string(Decimals), 10));
    return 0;
  });
}

XbShort TXbConnection::CreateNew(const std::string& DatabaseName, const std::string& FileName,
                                 XbShort TableTypeCode, XbShort FieldCount) {
  return Op<XbShort>("CreateNew", 0, [&] {
    return static_cast<XbShort>(Dec(Xmit("0562", T(DatabaseName, 255) +
                                                     T(ExtractFileName(FileName), 255) +
                                                     HexField(TableTypeCode, 1) +
                                                     HexField(FieldCount, 8))));
  });
}

std::string TXbConnection::DBFilter() {
  return Op<std::string>("DBFilter", {}, [&] { return Xmit("0539", ""); });
}

void TXbConnection::Delete() {
  Op<int>("Delete", 0, [&] { Xmit("0477", ""); return 0; });
}

XbShort TXbConnection::Deleted() {
  return Op<XbShort>("Deleted", 0, [&] { return Bool16(Xmit("0478", "") == "Y"); });
}

XbShort TXbConnection::Eof() {
  return Op<XbShort>("Eof", 0, [&] { return Bool16(Xmit("0479", "") == "Y"); }, rpSilent);
}

XbShort TXbConnection::EvalLogical(const std::string& Expression) {
  return Op<XbShort>("EvalLogical", 0, [&] { return Bool16(Xmit("0543", Expression) == "Y"); });
}

double TXbConnection::EvalNumeric(const std::string& Expression) {
  return Op<double>("EvalNumeric", 0.0, [&] { return Float(Xmit("0544", Expression)); });
}

std::string TXbConnection::EvalString(const std::string& Expression) {
  return Op<std::string>("EvalString", {}, [&] { return Xmit("0545", Expression); });
}

XbShort TXbConnection::EvalTest(const std::string& Expression) {
  return Op<XbShort>("EvalTest", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0546", Trim(Expression)))); });
}

XbShort TXbConnection::FieldDecimals(const std::string& FieldName) {
  return Op<XbShort>("FieldDecimals", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0611", FieldName))); });
}

std::string TXbConnection::FieldName(XbShort FieldNumber) {
  return Op<std::string>("FieldName", {}, [&] {
    return Xmit("0612", std::to_string(static_cast<uint16_t>(FieldNumber)));
  });
}

XbShort TXbConnection::FieldOffset(const std::string& FieldName) {
  return Op<XbShort>("FieldOffset", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0614", FieldName))); });
}

std::string TXbConnection::FieldType(const std::string& FieldName) {
  return Op<std::string>("FieldType", {}, [&] { return Xmit("0615", FieldName); });
}

XbShort TXbConnection::FieldWidth(const std::string& FieldName) {
  return Op<XbShort>("FieldWidth", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0616", FieldName))); });
}

bool TXbConnection::FileExists(const std::string& DatabaseName, const std::string& FileName) {
  if (DatabaseName.empty() || FileName.empty()) return false;
  return Op<bool>("FileExists", false, [&] {
    return Xmit("0054", T(DatabaseName, 255) + T(ExtractFileName(FileName), 255)) == "Y";
  });
}

XbShort TXbConnection::Flock() {
  return Op<XbShort>("Flock", 0, [&] { return Bool16(Xmit("0547", "") == "Y"); }, rpSilent);
}

XbShort TXbConnection::Found() {
  return Op<XbShort>("Found", 0, [&] { return Bool16(Xmit("0548", "") == "Y"); });
}

XbLong TXbConnection::GetBlob(const std::string& FieldName, void* Buffer, XbLong Capacity) {
  return Op<XbLong>("GetBlob", 0, [&] {
    TMemoryStream* s = ClientStreamReceive("0480", FieldName);
    if (s == nullptr) return XbLong(0);
    // Never more than the caller's buffer holds.
    const int64_t n = std::min<int64_t>(s->Size(), Capacity > 0 ? Capacity : 0);
    if (n > 0 && Buffer != nullptr) std::memcpy(Buffer, s->Memory(), static_cast<size_t>(n));
    return static_cast<XbLong>(Buffer != nullptr ? n : 0);
  });
}

XbLong TXbConnection::GetBlobLength(const std::string& FieldName) {
  return Op<XbLong>("GetBlobLength", 0,
                    [&] { return static_cast<XbLong>(Dec(Xmit("0481", FieldName))); });
}

std::string TXbConnection::GetDateString(const std::string& FieldName) {
  return Op<std::string>("GetDateString", {}, [&] { return Xmit("0484", FieldName); });
}

double TXbConnection::GetDouble(const std::string& FieldName) {
  return Op<double>("GetDouble", 0.0, [&] { return Float(Xmit("0485", FieldName)); });
}

XbShort TXbConnection::GetInteger(const std::string& FieldName) {
  return Op<XbShort>("GetInteger", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0486", FieldName))); });
}

XbLong TXbConnection::GetLong(const std::string& FieldName) {
  return Op<XbLong>("GetLong", 0, [&] { return static_cast<XbLong>(Dec(Xmit("0488", FieldName))); });
}

std::string TXbConnection::GetMemo(const std::string& FieldName, XbShort LineWidth) {
  return Op<std::string>("GetMemo", {}, [&] {
    return Xmit("0489", HexField(0, 8) + HexField(static_cast<uint16_t>(LineWidth), 8) + FieldName);
  });
}

void TXbConnection::GetRecord(void* Image, XbLong RecordSize) {
  Op<int>("GetRecord", 0, [&] {
    TMemoryStream& s = Need(ClientStreamReceive("0515", ""));
    if (RecordSize <= 0 || Image == nullptr) return 0;
    if (s.Size() < RecordSize) throw Exception("Short record");
    std::memcpy(Image, s.Memory(), static_cast<size_t>(RecordSize));
    return 0;
  });
}

std::string TXbConnection::GetScope(XbShort Which) {
  return Op<std::string>("GetScope", {}, [&] { return Xmit("0550", std::to_string(Which)); });
}

std::string TXbConnection::GetString(const std::string& FieldName) {
  return Op<std::string>("GetString", {}, [&] { return Xmit("0491", FieldName); });
}

std::string TXbConnection::GetTrimString(const std::string& FieldName) {
  return Op<std::string>("GetTrimString", {}, [&] { return Xmit("0492", FieldName); });
}

XbLong TXbConnection::Go(XbLong RecNo) {
  return Op<XbLong>("Go", 0, [&] { return static_cast<XbLong>(Hex(Xmit("0493", HexField(RecNo, 8)))); });
}

void TXbConnection::GoBottom() {
  Op<int>("GoBottom", 0, [&] { Xmit("0494", ""); return 0; });
}

void TXbConnection::GoTop() {
  Op<int>("GoTop", 0, [&] { Xmit("0495", ""); return 0; });
}

std::string TXbConnection::IndexCondition() {
  return Op<std::string>("IndexCondition", {}, [&] { return Xmit("0552", ""); }, rpSilent);
}

std::string TXbConnection::IndexKey() {
  return Op<std::string>("IndexKey", {}, [&] { return Xmit("0554", ""); });
}

std::string TXbConnection::IndexKeyField() {
  return Op<std::string>("IndexKeyField", {}, [&] { return Xmit("0555", ""); });
}

std::string TXbConnection::IndexName(XbShort Order) {
  return Op<std::string>("IndexName", {}, [&] { return Xmit("0525", std::to_string(Order)); });
}

XbShort TXbConnection::IndexOpen(const std::string& FileName) {
  return Op<XbShort>("IndexOpen", 0, [&] {
    return static_cast<XbShort>(Dec(Xmit("0620", T(DataPath, 255) + T(FileName, 255))));
  });
}

XbShort TXbConnection::IndexOrd() {
  return Op<XbShort>("IndexOrd", 0, [&] { return static_cast<XbShort>(Dec(Xmit("0526", ""))); });
}

XbShort TXbConnection::IndexTag(const std::string& FileName, const std::string& TagName,
                                const std::string& Expression, XbShort Option, XbLong Descend,
                                const std::string& Condition) {
  return Op<XbShort>(
      "IndexTag", 0,
      [&] {
        return static_cast<XbShort>(
            Dec(Xmit("0564", T(FileName, 255) + T(TagName, 255) + T(Expression, 255) +
                                 T(std::to_string(Option), 10) + YN(Descend != 0) +
                                 T(Condition, 255))));
      },
      rpSilent);
}

XbShort TXbConnection::IndexType() {
  return Op<XbShort>("IndexType", 0, [&] { return static_cast<XbShort>(Dec(Xmit("0553", ""))); });
}

XbShort TXbConnection::IsEncrypted(XbShort Which) {
  return Op<XbShort>("IsEncrypted", 0,
                     [&] { return Bool16(Xmit("0578", std::to_string(Which)) == "Y"); });
}

void TXbConnection::OrderPosSet(double Position) {
  Op<int>("OrderPosSet", 0, [&] { Xmit("0558", FloatToStr(Position)); return 0; });
}

XbLong TXbConnection::PutBlob(const std::string& FieldName, const void* Data, XbLong Length) {
  return Op<XbLong>("PutBlob", 0, [&] {
    const XbLong n = Data != nullptr && Length > 0 ? Length : 0;
    FRequestStream.Clear();
    const std::string head = Name10(FieldName) + HexField(n, 8);
    FRequestStream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    if (n > 0) FRequestStream.WriteBuffer(Data, n);
    ClientStreamSendReceive("0498");
    return static_cast<XbLong>(Hex(Xmit("0624", "")));
  });
}

void TXbConnection::PutRecord(const void* Image, XbLong RecordSize) {
  Op<int>("PutRecord", 0, [&] {
    FRequestStream.Clear();
    if (Image != nullptr && RecordSize > 0) FRequestStream.WriteBuffer(Image, RecordSize);
    ClientStreamSendReceive("0499");
    FRequestStream.Clear();
    return 0;
  });
}

XbLong TXbConnection::QueryRowCount(const std::string& Expression, XbLong& RecCount) {
  return Op<XbLong>("QueryRowCount", 0, [&] {
    const std::string r = Trim(Xmit("0646", Expression));
    if (r.size() < 16) throw EConvertError("Short reply");
    const XbLong rows = static_cast<XbLong>(Hex(r.substr(0, 8)));
    RecCount = static_cast<XbLong>(Hex(r.substr(8, 8)));
    return rows;
  });
}

XbLong TXbConnection::QueryRecCount() {
  return Op<XbLong>("QueryRecCount", 0, [&] { return static_cast<XbLong>(Dec(Xmit("0519", ""))); });
}

XbShort TXbConnection::QueryTest(const std::string& Expression) {
  return Op<XbShort>("QueryTest", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0570", Expression))); });
}

void TXbConnection::Recall() {
  Op<int>("Recall", 0, [&] { Xmit("0569", ""); return 0; });
}

XbLong TXbConnection::RecCount() {
  return Op<XbLong>("RecCount", 0, [&] { return static_cast<XbLong>(Dec(Xmit("0470", ""))); });
}

XbLong TXbConnection::RecNo() {
  return Op<XbLong>("RecNo", 0, [&] { return static_cast<XbLong>(Dec(Xmit("0500", ""))); });
}

void TXbConnection::Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value) {
  // No guard of its own: a transport failure reaches the caller as the transport's report.
  FRequestStream.Clear();
  std::string data = Name10(FieldName) + HexField(static_cast<uint16_t>(ReplaceType), 4);
  const char* v = static_cast<const char*>(Value);
  if (v != nullptr) {
    switch (static_cast<uint16_t>(ReplaceType)) {
      case 1: case 2: case 32: data.append(v, 4); break;
      case 8: data.append(v, 8); break;
      case 128: data.append(v, 1); break;
      case 1024: case 1025: case 3072: data.append(v); break;
      // A date text is at most eleven characters and need not be terminated.
      case 1056: data.append(v, strnlen(v, 11)); break;
      default: break;
    }
  }
  FRequestStream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
  ClientStreamSendReceive("0501");
}

XbShort TXbConnection::Rlock(XbLong RecNo) {
  return Op<XbShort>("Rlock", 0, [&] { return Bool16(Xmit("0502", std::to_string(RecNo)) == "Y"); });
}

XbShort TXbConnection::Seek(const std::string& Key) {
  return Op<XbShort>(
      "Seek", 0,
      [&] {
        const std::string r = Xmit("0503", Key);
        return Bool16(!r.empty() && r[0] == 'Y');
      },
      rpSilent);
}

XbShort TXbConnection::Select(XbShort WorkArea) {
  if (WorkArea == CurrentWorkArea) return CurrentWorkArea;
  return Op<XbShort>("Select", 0, [&] {
    const XbShort previous = CurrentWorkArea;
    Xmit("0504", HexField(WorkArea, 4));
    // Only a request that went through selects: after a lost link the next Select asks again.
    if (!GetActive()) return XbShort(0);
    CurrentWorkArea = WorkArea;
    return previous;
  });
}

XbShort TXbConnection::SetOrder(XbShort Order) {
  return Op<XbShort>("SetOrder", 0,
                     [&] { return static_cast<XbShort>(Dec(Xmit("0507", HexField(Order, 4)))); });
}

void TXbConnection::SetPassword(const std::string& Password) {
  Op<int>("SetPassword", 0, [&] { ClientXmit("0566", Password, false); return 0; });
}

XbShort TXbConnection::SetScope(const std::string& Low, const std::string& High) {
  return Op<XbShort>("SetScope", 0, [&] {
    return Bool16(Xmit("0567", HexField(static_cast<int64_t>(Low.size()), 4) +
                                   HexField(static_cast<int64_t>(High.size()), 4) + T(Low, 255) +
                                   T(High, 255)) == "Y");
  });
}

void TXbConnection::SetTranslate(XbShort On) {
  Op<int>("SetTranslate", 0, [&] { ClientXmit("0587", YN(On != 0), false); return 0; });
}

void TXbConnection::SetTurboRead(XbShort On) {
  if (!Active()) return;
  Op<int>("SetTurboRead", 0, [&] { Xmit("0576", YN(On != 0)); return 0; });
}

void TXbConnection::Skip(XbLong Count) {
  Op<int>("Skip", 0, [&] { Xmit("0509", HexField(Count, 8)); return 0; });
}

XbLong TXbConnection::SysProp(XbShort Code, XbPtr Value) {
  if (!Active()) return 0;
  const int id = Code;
  std::string value;
  switch (id) {
    case 1001: case 1003: case 1009: case 1303:
      value = (Value & 0xFF) != 0 ? "Y" : "N";
      break;
    case 1107: case 1305:
      value = Value == 1 ? "1" : "0";
      break;
    case 1302:
      value = "0";
      break;
    case 2000: case 3002: case 3004:
      value = HexField(static_cast<int64_t>(Value), 8);
      break;
    default:
      break;
  }
  std::string reply;
  try {
    reply = Xmit("0563", HexField(id, 8) + value);
  } catch (...) {
    ReportError("XbConnection.SysProp", "SysProp");
    return 0;
  }
  int64_t r = 0;
  if (!TryHexToInt(reply, r)) {
    ReportError("XbConnection.SysProp", "Converting data");
    return 0;
  }
  return static_cast<XbLong>(r);
}

XbShort TXbConnection::TagArea(const std::string& TagName) {
  return Op<XbShort>("TagArea", 0, [&] { return static_cast<XbShort>(Dec(Xmit("0517", TagName))); });
}

std::string TXbConnection::TagName(XbShort Order) {
  return Op<std::string>("TagName", {}, [&] { return Xmit("0518", HexField(Order, 4)); });
}

void TXbConnection::Unlock(XbLong RecNo) {
  Op<int>("Unlock", 0, [&] { Xmit("0510", HexField(RecNo, 8)); return 0; });
}

XbShort TXbConnection::UseEx(const std::string& FileName, const std::string& Alias,
                             XbShort OpenMode, XbShort TableTypeCode, XbLong CommitLevel) {
  std::string reply;
  try {
    reply = Trim(Xmit("0467", T(FileName, 255) + T(Alias, 255) + std::to_string(OpenMode) +
                                  std::to_string(TableTypeCode) + std::to_string(CommitLevel)));
  } catch (...) {
    ReportError("XbConnection.Use", "Use");
    return 0;
  }
  int64_t area = 0;
  if (!TryHexToInt(reply, area)) {
    ReportError("XbConnection.UseEx", "UseEx");
    return 0;
  }
  CurrentWorkArea = static_cast<XbShort>(area);
  return static_cast<XbShort>(area);
}

std::string TXbConnection::EngineVersion() {
  return Guarded<std::string>("XbConnection.Version", "Version", rpReport, {},
                              [&] { return Xmit("0618", ""); });
}

XbShort TXbConnection::WorkArea(const std::string& Alias) {
  return Op<XbShort>("WorkArea", 0, [&] { return static_cast<XbShort>(Dec(Xmit("0571", Alias))); });
}

// ---- environment --------------------------------------------------------------------------

void TXbConnection::SetCentury(XbShort On) {
  if (!Active()) return;
  Op<int>("SetCentury", 0, [&] { Xmit("0556", YN(On != 0)); return 0; }, rpQuiet);
}

void TXbConnection::SetDateFormat(XbShort Code) {
  Op<int>("SetDateFormat", 0, [&] { Xmit("0557", HexField(static_cast<uint16_t>(Code), 8)); return 0; });
}

void TXbConnection::SetDeleted(XbShort On) {
  if (!Active()) return;
  Op<int>("SetDeleted", 0, [&] { Xmit("0508", YN(On != 0)); return 0; }, rpQuiet);
}

XbLong TXbConnection::SetEpoch(XbShort Year) {
  if (!Active()) return 0;
  return Op<XbLong>(
      "SetEpoch", 0, [&] { return static_cast<XbLong>(Dec(Xmit("0593", HexField(Year, 8)))); },
      rpQuiet);
}

void TXbConnection::SetExact(XbShort On) {
  if (!Active()) return;
  Op<int>("SetExact", 0, [&] { Xmit("0506", YN(On != 0)); return 0; });
}

void TXbConnection::SetSoftSeek(XbShort On) {
  if (!Active()) return;
  Op<int>("SetSoftSeek", 0, [&] { Xmit("0505", YN(On != 0)); return 0; }, rpSilent);
}

void TXbConnection::SetLockTimeOut(XbLong Seconds) {
  Op<int>("SetLockTimeOut", 0, [&] { ClientXmit("0577", std::to_string(Seconds), false); return 0; });
}

XbLong TXbConnection::SetMemoBlockSize(XbShort Size) {
  if (!Active()) return 0;
  return Op<XbLong>("SetMemoBlockSize", 0, [&] {
    return static_cast<XbLong>(Hex(Xmit("0594", T(std::to_string(Size), 10))));
  });
}

// ---- table open, structure, block fetch ---------------------------------------------------

void TXbConnection::Use(const TXbUseRequest& Request, TXbUseReply& Reply, TIndexDefs& IndexDefs) {
  Reply = TXbUseReply{};
  IndexDefs.Clear();
  Guarded<int>("XbConnection.Use", "Use", rpReport, 0, [&] {
    const std::string payload =
        T(Request.DatabaseName, 255) + T(ExtractFileName(Request.FileName), 255) +
        std::to_string(Request.OpenMode) + std::to_string(Request.TableTypeCode) +
        T(Request.Password, 255) + YN(Request.TurboRead) + T(Request.IndexName, 255) +
        HexField(Request.Epoch, 4) + HexField(static_cast<uint16_t>(Request.DateFormatCode), 4) +
        HexField(Request.MemoBlockSize, 4) + YN(Request.Deleted) + YN(Request.Century) +
        YN(Request.SoftSeek) + YN(Request.Exact) + YN(Request.OEMTranslate) +
        YN(Request.EnvApplies) + std::to_string(Request.CommitLevel);
    const std::string r = Xmit("0469", payload);
    // Every field is checked against the reply's length before it is read.
    auto field = [&](size_t pos1, size_t len) {
      if (r.size() < pos1 - 1 + len) throw EConvertError("Short reply");
      return r.substr(pos1 - 1, len);
    };
    // The sizes are checked before any of them is kept: the table sizes its record image
    // and every fetch slot by them.
    const int64_t workArea = Hex(field(1, 4));
    const int64_t recCount = Hex(field(5, 8));
    const int64_t fieldCount = Hex(field(13, 8));
    const int64_t recordSize = Hex(field(21, 8));
    if (recordSize > kMaxRecordSize || recCount > 0x7FFFFFFF || fieldCount >= kMaxRecordSize ||
        (recordSize > 0 && fieldCount >= recordSize))
      throw EConvertError("Damaged table description");
    Reply.WorkArea = static_cast<XbShort>(workArea);
    CurrentWorkArea = Reply.WorkArea;
    Reply.RecCount = static_cast<XbLong>(recCount);
    Reply.EngineFieldCount = static_cast<int>(fieldCount);
    Reply.RecordSize = static_cast<XbLong>(recordSize);
    Reply.TableEncrypted = Bool16(field(29, 1) == "Y");
    Reply.IndexConditionText = TrimRight(field(30, 255));
    Reply.CurrentOrder = static_cast<XbLong>(Hex(field(285, 4)));
    const int64_t n = Hex(field(289, 4));
    const int64_t l = Hex(field(293, 8));
    if (n * 1026 > l || 300 + l + 8 > static_cast<int64_t>(r.size()))
      throw EConvertError("Damaged index descriptors");
    const size_t tail = 301 + static_cast<size_t>(l);
    Reply.ErrorNumber = static_cast<XbLong>(Hex(field(tail, 8)));
    if (Reply.ErrorNumber != 0) {
      Reply.ErrorText = r.substr(tail - 1 + 8);
      return 0;
    }
    for (int64_t i = 0; i < n; ++i) {
      const std::string d = r.substr(300 + static_cast<size_t>(i) * 1026, 1026);
      const std::string name = Trim(d.substr(0, 255));
      const std::string fields = Trim(d.substr(255, 255));
      TIndexOptions options = 0;
      const TIndexOptions flags[6] = {ixPrimary, ixUnique, ixDescending, ixCaseInsensitive,
                                      ixExpression, ixNonMaintained};
      for (int k = 0; k < 6; ++k)
        if (d[static_cast<size_t>(1020 + k)] == '1') options |= flags[k];
      TIndexDef* def = IndexDefs.Add(name, fields, 0);
      def->Options = options;
      def->Source = Trim(d.substr(510, 255));
      if (options & ixExpression) def->Expression = Trim(d.substr(765, 255));
    }
    return 0;
  });
}

std::string TXbConnection::GetStructure() {
  return Op<std::string>("GetStructure", {}, [&] {
    ClientStreamReceive("0581", "");
    return std::string(static_cast<const char*>(FReplyStream.Memory()),
                       static_cast<size_t>(FReplyStream.Size()));
  });
}

XbShort TXbConnection::TraverseTable(XbLong& FetchBlockCount, XbShort BofPending,
                                     XbShort EofPending, XbShort EOFAction, XbShort GetMode,
                                     XbShort LastGetMode, std::vector<char>& RecordImage,
                                     XbLong RecordSize, XbLong FetchCount, XbLong CurrentRecNo,
                                     std::vector<TFetchSlot>& FetchSlots) {
  FetchBlockCount = 0;
  return Guarded<XbShort>(
      "XbConnection.TraverseTable", "Make sure DatabaseName is set to a valid alias.", rpReport,
      0, [&] {
        TMemoryStream& s = Need(ClientStreamReceive(
            "0626", YN(BofPending != 0) + YN(EofPending != 0) + std::to_string(EOFAction) +
                        std::to_string(GetMode) + std::to_string(LastGetMode) +
                        HexField(FetchCount, 8) + HexField(CurrentRecNo, 8)));
        const std::string r(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
        if (r.size() < 8) throw EConvertError("Short reply");
        const int64_t count = Hex(r.substr(0, 8));
        const size_t size = static_cast<size_t>(RecordSize > 0 ? RecordSize : 0);
        const size_t row = 17 + size;
        // A block never holds more rows than were asked for or than the reply carries.
        if (count > static_cast<int64_t>(FetchSlots.size()) || count > FetchCount ||
            8 + static_cast<size_t>(count) * row > r.size())
          throw EConvertError("Damaged fetch block");
        XbShort status = 0;
        RecordImage.resize(size);
        for (int64_t i = 0; i < count; ++i) {
          const size_t at = 8 + static_cast<size_t>(i) * row;
          int64_t st = 0;
          if (!TryDecToInt(r.substr(at, 1), st)) throw EConvertError("Damaged fetch block");
          TFetchSlot& slot = FetchSlots[static_cast<size_t>(i)];
          slot.Status = static_cast<uint8_t>(st);
          slot.RecNo = static_cast<XbLong>(Hex(r.substr(at + 1, 8)));
          slot.OrderPosition = static_cast<XbLong>(Hex(r.substr(at + 9, 8)));
          std::copy(r.begin() + static_cast<std::ptrdiff_t>(at + 17),
                    r.begin() + static_cast<std::ptrdiff_t>(at + row), RecordImage.begin());
          slot.Image = RecordImage;
          status = static_cast<XbShort>(st);
          FetchBlockCount = static_cast<XbLong>(i + 1);
        }
        return status;
      });
}

// ---- server procedures --------------------------------------------------------------------

TMemoryStream* TXbConnection::SetDLLProcName(const std::string& DatabaseName,
                                             const std::string& ProcName) {
  if (ProcName.empty() || !Active()) return nullptr;
  return Op<TMemoryStream*>("SetDLLProcName", nullptr, [&] {
    return ClientStreamReceive("0044", FixedField(DatabaseName, 255) + FixedField(ProcName, 255));
  });
}

TMemoryStream* TXbConnection::ExecProc() {
  if (!Active()) {
    ReportError("XbConnection.ExecProc", "XbConnection not connected");
    return nullptr;
  }
  return Op<TMemoryStream*>("ExecProc", nullptr, [&] { return ClientStreamSendReceive("0042"); });
}

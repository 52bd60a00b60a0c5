// TXbConnection without its transport: the connection is never active, so every operation
// gives the failure result that a failed request gives.
#include "remote/XbConnection.h"

TXbConnection::TXbConnection(TComponent* AOwner) : TComponent(AOwner) {}
TXbConnection::~TXbConnection() = default;

bool TXbConnection::Active() const { return false; }

std::string TXbConnection::Alias(XbShort) { return {}; }
XbLong TXbConnection::AppendBlank() { return 0; }
XbShort TXbConnection::AppendFrom(const std::string&, XbShort, const std::string&) { return 0; }
XbShort TXbConnection::Bof() { return 0; }
void TXbConnection::Close() {}
void TXbConnection::CloseIndexes() {}
void TXbConnection::Commit() {}
XbShort TXbConnection::CopyFile(const std::string&) { return 0; }
XbLong TXbConnection::Count() { return 0; }
XbShort TXbConnection::CreateExec() { return 0; }
void TXbConnection::CreateField(const std::string&, const std::string&, XbShort, XbShort) {}
XbShort TXbConnection::CreateNew(const std::string&, const std::string&, XbShort, XbShort) {
  return 0;
}
std::string TXbConnection::DBFilter() { return {}; }
void TXbConnection::Delete() {}
XbShort TXbConnection::Deleted() { return 0; }
XbShort TXbConnection::Eof() { return 0; }
XbShort TXbConnection::EvalLogical(const std::string&) { return 0; }
double TXbConnection::EvalNumeric(const std::string&) { return 0.0; }
std::string TXbConnection::EvalString(const std::string&) { return {}; }
XbShort TXbConnection::EvalTest(const std::string&) { return 0; }
XbShort TXbConnection::FieldDecimals(const std::string&) { return 0; }
std::string TXbConnection::FieldName(XbShort) { return {}; }
XbShort TXbConnection::FieldOffset(const std::string&) { return 0; }
std::string TXbConnection::FieldType(const std::string&) { return {}; }
XbShort TXbConnection::FieldWidth(const std::string&) { return 0; }
bool TXbConnection::FileExists(const std::string&, const std::string&) { return false; }
XbShort TXbConnection::Flock() { return 0; }
XbShort TXbConnection::Found() { return 0; }
XbLong TXbConnection::GetBlob(const std::string&, void*, XbLong) { return 0; }
XbLong TXbConnection::GetBlobLength(const std::string&) { return 0; }
std::string TXbConnection::GetDateString(const std::string&) { return {}; }
double TXbConnection::GetDouble(const std::string&) { return 0.0; }
XbShort TXbConnection::GetInteger(const std::string&) { return 0; }
XbLong TXbConnection::GetLong(const std::string&) { return 0; }
std::string TXbConnection::GetMemo(const std::string&, XbShort) { return {}; }
void TXbConnection::GetRecord(void*, XbLong) {}
std::string TXbConnection::GetScope(XbShort) { return {}; }
std::string TXbConnection::GetString(const std::string&) { return {}; }
std::string TXbConnection::GetTrimString(const std::string&) { return {}; }
XbLong TXbConnection::Go(XbLong) { return 0; }
void TXbConnection::GoBottom() {}
void TXbConnection::GoTop() {}
std::string TXbConnection::IndexCondition() { return {}; }
std::string TXbConnection::IndexKey() { return {}; }
std::string TXbConnection::IndexKeyField() { return {}; }
std::string TXbConnection::IndexName(XbShort) { return {}; }
XbShort TXbConnection::IndexOpen(const std::string&) { return 0; }
XbShort TXbConnection::IndexOrd() { return 0; }
XbShort TXbConnection::IndexTag(const std::string&, const std::string&, const std::string&, XbShort,
                                XbLong, const std::string&) {
  return 0;
}
XbShort TXbConnection::IndexType() { return 0; }
XbShort TXbConnection::IsEncrypted(XbShort) { return 0; }
void TXbConnection::OrderPosSet(double) {}
XbLong TXbConnection::PutBlob(const std::string&, const void*, XbLong) { return 0; }
void TXbConnection::PutRecord(const void*, XbLong) {}
XbLong TXbConnection::QueryRowCount(const std::string&, XbLong&) { return 0; }
XbLong TXbConnection::QueryRecCount() { return 0; }
XbShort TXbConnection::QueryTest(const std::string&) { return 0; }
void TXbConnection::Recall() {}
XbLong TXbConnection::RecCount() { return 0; }
XbLong TXbConnection::RecNo() { return 0; }
void TXbConnection::Replace(const std::string&, XbShort, const void*) {}
XbShort TXbConnection::Rlock(XbLong) { return 0; }
XbShort TXbConnection::Seek(const std::string&) { return 0; }
XbShort TXbConnection::Select(XbShort WorkArea) {
  // The area already selected needs no request and answers itself.
  return WorkArea == CurrentWorkArea ? CurrentWorkArea : 0;
}
XbShort TXbConnection::SetOrder(XbShort) { return 0; }
void TXbConnection::SetPassword(const std::string&) {}
XbShort TXbConnection::SetScope(const std::string&, const std::string&) { return 0; }
void TXbConnection::SetTranslate(XbShort) {}
void TXbConnection::SetTurboRead(XbShort) {}
void TXbConnection::Skip(XbLong) {}
XbLong TXbConnection::SysProp(XbShort, XbPtr) { return 0; }
XbShort TXbConnection::TagArea(const std::string&) { return 0; }
std::string TXbConnection::TagName(XbShort) { return {}; }
void TXbConnection::Unlock(XbLong) {}
XbShort TXbConnection::UseEx(const std::string&, const std::string&, XbShort, XbShort, XbLong) {
  return 0;
}
std::string TXbConnection::EngineVersion() { return {}; }
XbShort TXbConnection::WorkArea(const std::string&) { return 0; }

void TXbConnection::SetCentury(XbShort) {}
void TXbConnection::SetDateFormat(XbShort) {}
void TXbConnection::SetDeleted(XbShort) {}
XbLong TXbConnection::SetEpoch(XbShort) { return 0; }
void TXbConnection::SetExact(XbShort) {}
void TXbConnection::SetSoftSeek(XbShort) {}
void TXbConnection::SetLockTimeOut(XbLong) {}
XbLong TXbConnection::SetMemoBlockSize(XbShort) { return 0; }

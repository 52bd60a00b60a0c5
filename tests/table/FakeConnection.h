// A recording table-server connection: every operation is recorded as "Name(arg, ...)" and
// answers from the Ints / Doubles / Texts maps by name (0, 0.0 or "" when absent).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "remote/XbConnection.h"

class TRecordingConnection : public TXbConnection {
 public:
  using TXbConnection::TXbConnection;

  bool IsActive = true;
  std::vector<std::string> Calls;
  std::map<std::string, int64_t> Ints;
  std::map<std::string, double> Doubles;
  std::map<std::string, std::string> Texts;
  // QueryRowCount's second reply field.
  XbLong QueryCount = 0;

  bool Active() const override { return IsActive; }

  std::string Alias(XbShort a) override { return T("Alias", a); }
  XbLong AppendBlank() override { return I<XbLong>("AppendBlank"); }
  XbShort AppendFrom(const std::string& f, XbShort t, const std::string& c) override {
    return I<XbShort>("AppendFrom", f, t, c);
  }
  XbShort Bof() override { return I<XbShort>("Bof"); }
  void Close() override { Rec("Close"); }
  void CloseIndexes() override { Rec("CloseIndexes"); }
  void Commit() override { Rec("Commit"); }
  XbShort CopyFile(const std::string& f) override { return I<XbShort>("CopyFile", f); }
  XbLong Count() override { return I<XbLong>("Count"); }
  XbShort CreateExec() override { return I<XbShort>("CreateExec"); }
  void CreateField(const std::string& n, const std::string& t, XbShort w, XbShort d) override {
    Rec("CreateField", n, t, w, d);
  }
  XbShort CreateNew(const std::string& db, const std::string& f, XbShort t, XbShort n) override {
    return I<XbShort>("CreateNew", db, f, t, n);
  }
  std::string DBFilter() override { return T("DBFilter"); }
  void Delete() override { Rec("Delete"); }
  XbShort Deleted() override { return I<XbShort>("Deleted"); }
  XbShort Eof() override { return I<XbShort>("Eof"); }
  XbShort EvalLogical(const std::string& e) override { return I<XbShort>("EvalLogical", e); }
  double EvalNumeric(const std::string& e) override { return D("EvalNumeric", e); }
  std::string EvalString(const std::string& e) override { return T("EvalString", e); }
  XbShort EvalTest(const std::string& e) override { return I<XbShort>("EvalTest", e); }
  XbShort FieldDecimals(const std::string& f) override { return I<XbShort>("FieldDecimals", f); }
  std::string FieldName(XbShort n) override { return T("FieldName", n); }
  XbShort FieldOffset(const std::string& f) override { return I<XbShort>("FieldOffset", f); }
  std::string FieldType(const std::string& f) override { return T("FieldType", f); }
  XbShort FieldWidth(const std::string& f) override { return I<XbShort>("FieldWidth", f); }
  bool FileExists(const std::string& db, const std::string& f) override {
    return I<int>("FileExists", db, f) != 0;
  }
  XbShort Flock() override { return I<XbShort>("Flock"); }
  XbShort Found() override { return I<XbShort>("Found"); }
  XbLong GetBlob(const std::string& f, void*, XbLong cap) override {
    return I<XbLong>("GetBlob", f, cap);
  }
  XbLong GetBlobLength(const std::string& f) override { return I<XbLong>("GetBlobLength", f); }
  std::string GetDateString(const std::string& f) override { return T("GetDateString", f); }
  double GetDouble(const std::string& f) override { return D("GetDouble", f); }
  XbShort GetInteger(const std::string& f) override { return I<XbShort>("GetInteger", f); }
  XbLong GetLong(const std::string& f) override { return I<XbLong>("GetLong", f); }
  std::string GetMemo(const std::string& f, XbShort w) override { return T("GetMemo", f, w); }
  void GetRecord(void*, XbLong size) override { Rec("GetRecord", size); }
  std::string GetScope(XbShort w) override { return T("GetScope", w); }
  std::string GetString(const std::string& f) override { return T("GetString", f); }
  std::string GetTrimString(const std::string& f) override { return T("GetTrimString", f); }
  XbLong Go(XbLong r) override { return I<XbLong>("Go", r); }
  void GoBottom() override { Rec("GoBottom"); }
  void GoTop() override { Rec("GoTop"); }
  std::string IndexCondition() override { return T("IndexCondition"); }
  std::string IndexKey() override { return T("IndexKey"); }
  std::string IndexKeyField() override { return T("IndexKeyField"); }
  std::string IndexName(XbShort o) override { return T("IndexName", o); }
  XbShort IndexOpen(const std::string& f) override { return I<XbShort>("IndexOpen", f); }
  XbShort IndexOrd() override { return I<XbShort>("IndexOrd"); }
  XbShort IndexTag(const std::string& f, const std::string& t, const std::string& e, XbShort o,
                   XbLong d, const std::string& c) override {
    return I<XbShort>("IndexTag", f, t, e, o, d, c);
  }
  XbShort IndexType() override { return I<XbShort>("IndexType"); }
  XbShort IsEncrypted(XbShort w) override { return I<XbShort>("IsEncrypted", w); }
  void OrderPosSet(double p) override { Rec("OrderPosSet", p); }
  XbLong PutBlob(const std::string& f, const void*, XbLong n) override {
    return I<XbLong>("PutBlob", f, n);
  }
  void PutRecord(const void*, XbLong size) override { Rec("PutRecord", size); }
  XbLong QueryRowCount(const std::string& e, XbLong& count) override {
    count = QueryCount;
    return I<XbLong>("QueryRowCount", e);
  }
  XbLong QueryRecCount() override { return I<XbLong>("QueryRecCount"); }
  XbShort QueryTest(const std::string& e) override { return I<XbShort>("QueryTest", e); }
  void Recall() override { Rec("Recall"); }
  XbLong RecCount() override { return I<XbLong>("RecCount"); }
  XbLong RecNo() override { return I<XbLong>("RecNo"); }
  void Replace(const std::string& f, XbShort t, const void*) override { Rec("Replace", f, t); }
  XbShort Rlock(XbLong r) override { return I<XbShort>("Rlock", r); }
  XbShort Seek(const std::string& k) override { return I<XbShort>("Seek", k); }
  XbShort Select(XbShort a) override { return I<XbShort>("Select", a); }
  XbShort SetOrder(XbShort o) override { return I<XbShort>("SetOrder", o); }
  void SetPassword(const std::string& p) override { Rec("SetPassword", p); }
  XbShort SetScope(const std::string& l, const std::string& h) override {
    return I<XbShort>("SetScope", l, h);
  }
  void SetTranslate(XbShort on) override { Rec("SetTranslate", on); }
  void SetTurboRead(XbShort on) override { Rec("SetTurboRead", on); }
  void Skip(XbLong n) override { Rec("Skip", n); }
  XbLong SysProp(XbShort c, XbPtr v) override { return I<XbLong>("SysProp", c, v); }
  XbShort TagArea(const std::string& t) override { return I<XbShort>("TagArea", t); }
  std::string TagName(XbShort o) override { return T("TagName", o); }
  void Unlock(XbLong r) override { Rec("Unlock", r); }
  XbShort UseEx(const std::string& f, const std::string& a, XbShort m, XbShort t,
                XbLong c) override {
    return I<XbShort>("UseEx", f, a, m, t, c);
  }
  std::string EngineVersion() override { return T("EngineVersion"); }
  XbShort WorkArea(const std::string& a) override { return I<XbShort>("WorkArea", a); }

  void SetCentury(XbShort on) override { Rec("SetCentury", on); }
  void SetDateFormat(XbShort code) override { Rec("SetDateFormat", code); }
  void SetDeleted(XbShort on) override { Rec("SetDeleted", on); }
  XbLong SetEpoch(XbShort y) override { return I<XbLong>("SetEpoch", y); }
  void SetExact(XbShort on) override { Rec("SetExact", on); }
  void SetSoftSeek(XbShort on) override { Rec("SetSoftSeek", on); }
  void SetLockTimeOut(XbLong s) override { Rec("SetLockTimeOut", s); }
  XbLong SetMemoBlockSize(XbShort s) override { return I<XbLong>("SetMemoBlockSize", s); }

 private:
  static std::string Str(const std::string& s) { return "\"" + s + "\""; }
  static std::string Str(double v) { return std::to_string(v); }
  template <typename N>
  static std::string Str(N v) {
    return std::to_string(static_cast<long long>(v));
  }
  template <typename... A>
  void Rec(const char* name, const A&... a) {
    std::string call = std::string(name) + "(";
    bool first = true;
    ((call += (first ? "" : ", ") + Str(a), first = false), ...);
    Calls.push_back(call + ")");
  }
  template <typename R, typename... A>
  R I(const char* name, const A&... a) {
    Rec(name, a...);
    auto it = Ints.find(name);
    return it == Ints.end() ? R{} : static_cast<R>(it->second);
  }
  template <typename... A>
  double D(const char* name, const A&... a) {
    Rec(name, a...);
    auto it = Doubles.find(name);
    return it == Doubles.end() ? 0.0 : it->second;
  }
  template <typename... A>
  std::string T(const char* name, const A&... a) {
    Rec(name, a...);
    auto it = Texts.find(name);
    return it == Texts.end() ? std::string() : it->second;
  }
};

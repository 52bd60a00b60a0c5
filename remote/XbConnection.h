// TXbConnection: the client of a remote table server. A table whose AccessMethod is amServer
// sends each of its engine operations here instead of to the engine library, and an
// environment whose ApplyTo holds atServer sends its settings here.
//
// Contract:
// - One member per engine operation, named after the entry point without "xb_", taking the
//   arguments in the engine's order and answering with the same kind of result: 16-bit flags
//   are -1 or 0, numbers as the engine gives them, texts as owned strings.
// - Every operation answers its failure result (0, 0.0, false, "" or nothing done) when the
//   request cannot be carried out; nothing here raises for a failed request.
// - The operations are virtual so that the table layer's tests can put a recording connection
//   in its place. The socket transport and the command encoding of each member are not in
//   this build yet: until they are, the connection is never active and every operation gives
//   its failure result without sending anything.
// - SetGaugeHook, SetStringType and MemDealloc have no server counterpart and do nothing.
//
// Not thread-safe: a connection lives on the GUI thread, and every call blocks it.
#pragma once

#include <cstdint>
#include <string>

#include "engine/include/xbeng61.h"
#include "platform/core/Classes.h"

class TXbConnection : public TComponent {
 public:
  explicit TXbConnection(TComponent* AOwner = nullptr);
  ~TXbConnection() override;

  // True while the socket to the server is open.
  virtual bool Active() const;

  // The DatabaseName of the table that assigned it last; the server resolves index files
  // and relative names against it.
  std::string DataPath;

  // The work area selected last on this connection; Select skips a request for it.
  XbShort CurrentWorkArea = 0;

  // ---- table operations, in the table layer's call order
  virtual std::string Alias(XbShort WorkArea);
  virtual XbLong AppendBlank();
  virtual XbShort AppendFrom(const std::string& SourceFile, XbShort TableTypeCode,
                             const std::string& Condition);
  virtual XbShort Bof();
  virtual void Close();
  virtual void CloseIndexes();
  virtual void Commit();
  virtual XbShort CopyFile(const std::string& TargetFile);
  virtual XbLong Count();
  virtual XbShort CreateExec();
  virtual void CreateField(const std::string& Name, const std::string& Type, XbShort Width,
                           XbShort Decimals);
  // The table's DatabaseName and the file name without its folder; no alias is sent.
  virtual XbShort CreateNew(const std::string& DatabaseName, const std::string& FileName,
                            XbShort TableTypeCode, XbShort FieldCount);
  virtual std::string DBFilter();
  virtual void Delete();
  virtual XbShort Deleted();
  virtual XbShort Eof();
  virtual XbShort EvalLogical(const std::string& Expression);
  virtual double EvalNumeric(const std::string& Expression);
  virtual std::string EvalString(const std::string& Expression);
  virtual XbShort EvalTest(const std::string& Expression);
  virtual XbShort FieldDecimals(const std::string& FieldName);
  virtual std::string FieldName(XbShort FieldNumber);
  virtual XbShort FieldOffset(const std::string& FieldName);
  virtual std::string FieldType(const std::string& FieldName);
  virtual XbShort FieldWidth(const std::string& FieldName);
  // False without a request when either text is empty.
  virtual bool FileExists(const std::string& DatabaseName, const std::string& FileName);
  virtual XbShort Flock();
  virtual XbShort Found();
  // Delivers at most Capacity bytes of the blob into Buffer; returns the bytes delivered.
  virtual XbLong GetBlob(const std::string& FieldName, void* Buffer, XbLong Capacity);
  virtual XbLong GetBlobLength(const std::string& FieldName);
  virtual std::string GetDateString(const std::string& FieldName);
  virtual double GetDouble(const std::string& FieldName);
  virtual XbShort GetInteger(const std::string& FieldName);
  virtual XbLong GetLong(const std::string& FieldName);
  virtual std::string GetMemo(const std::string& FieldName, XbShort LineWidth);
  // Copies RecordSize bytes of the current record into Image.
  virtual void GetRecord(void* Image, XbLong RecordSize);
  virtual std::string GetScope(XbShort Which);
  virtual std::string GetString(const std::string& FieldName);
  virtual std::string GetTrimString(const std::string& FieldName);
  // Returns the record's position in the active order.
  virtual XbLong Go(XbLong RecNo);
  virtual void GoBottom();
  virtual void GoTop();
  virtual std::string IndexCondition();
  virtual std::string IndexKey();
  virtual std::string IndexKeyField();
  virtual std::string IndexName(XbShort Order);
  virtual XbShort IndexOpen(const std::string& FileName);
  virtual XbShort IndexOrd();
  virtual XbShort IndexTag(const std::string& FileName, const std::string& TagName,
                           const std::string& Expression, XbShort Option, XbLong Descend,
                           const std::string& Condition);
  virtual XbShort IndexType();
  virtual XbShort IsEncrypted(XbShort Which);
  void MemDealloc(void*) {}
  virtual void OrderPosSet(double Position);
  virtual XbLong PutBlob(const std::string& FieldName, const void* Data, XbLong Length);
  // Sends RecordSize bytes of Image as the current record.
  virtual void PutRecord(const void* Image, XbLong RecordSize);
  // Sets the server's query; returns the record number after it and stores the table's new
  // record count in RecCount.
  virtual XbLong QueryRowCount(const std::string& Expression, XbLong& RecCount);
  virtual XbLong QueryRecCount();
  virtual XbShort QueryTest(const std::string& Expression);
  virtual void Recall();
  virtual XbLong RecCount();
  virtual XbLong RecNo();
  virtual void Replace(const std::string& FieldName, XbShort ReplaceType, const void* Value);
  virtual XbShort Rlock(XbLong RecNo);
  virtual XbShort Seek(const std::string& Key);
  // Returns the work area selected before; nothing is sent for the one already selected.
  virtual XbShort Select(XbShort WorkArea);
  void SetGaugeHook(XbPtr) {}
  virtual XbShort SetOrder(XbShort Order);
  virtual void SetPassword(const std::string& Password);
  virtual XbShort SetScope(const std::string& Low, const std::string& High);
  void SetStringType(XbShort) {}
  virtual void SetTranslate(XbShort On);
  virtual void SetTurboRead(XbShort On);
  virtual void Skip(XbLong Count);
  virtual XbLong SysProp(XbShort Code, XbPtr Value);
  virtual XbShort TagArea(const std::string& TagName);
  virtual std::string TagName(XbShort Order);
  virtual void Unlock(XbLong RecNo);
  virtual XbShort UseEx(const std::string& FileName, const std::string& Alias, XbShort OpenMode,
                        XbShort TableTypeCode, XbLong CommitLevel);
  virtual std::string EngineVersion();
  virtual XbShort WorkArea(const std::string& Alias);

  // ---- environment settings (sent only while active)
  virtual void SetCentury(XbShort On);
  virtual void SetDateFormat(XbShort Code);
  virtual void SetDeleted(XbShort On);
  virtual XbLong SetEpoch(XbShort Year);
  virtual void SetExact(XbShort On);
  virtual void SetSoftSeek(XbShort On);
  virtual void SetLockTimeOut(XbLong Seconds);
  virtual XbLong SetMemoBlockSize(XbShort Size);
};

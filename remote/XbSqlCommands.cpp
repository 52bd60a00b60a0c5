// TXbConnection's SQL statement commands "0800" to "0808" (see XbConnection.h, XbQuery.h).
// Every fixed-width field of a stream payload is exactly its width; replies are checked
// against their length before they are read.
#include <algorithm>

#include "remote/XbCommon.h"
#include "remote/XbConnection.h"
#include "remote/XbQuery.h"
#include "remote/XbServerDLL.h"

namespace {

std::string YN(bool b) { return b ? "Y" : "N"; }

// Statement handles travel as their low 16 bits.
std::string HandleField(int32_t Handle) { return HexField(static_cast<uint16_t>(Handle), 8); }

int64_t HexOf(const std::string& s) {
  int64_t v = 0;
  if (!TryHexToInt(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
  return v;
}

std::string Bytes(TMemoryStream& s) {
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

// A local statement whose add-on could not be loaded (the loader has shown its box).
const char kNoSqlAddOn[] = "Missing required RavavaDIV61.DLL.";

// The bound add-on, loading it on first need; nullptr when it is missing.
const TXbSqlEntryPoints* SqlAddOn() {
  return XbSqlAddOnHook() ? XbSqlAddOnHook()() : nullptr;
}

// The add-on's entries past the prepare: only reached with a handle it gave.
const TXbSqlEntryPoints& LoadedSqlAddOn() {
  const TXbSqlEntryPoints* a = SqlAddOn();
  if (a == nullptr) throw Exception(kNoSqlAddOn);
  return *a;
}

// The add-on reports a statement's progress here; the connection's handler hears it.
void SqlProgress(void* Data, int32_t Status, int32_t Minimum, int32_t Maximum, int32_t Position) {
  auto* c = static_cast<TXbConnection*>(Data);
  // Nothing may unwind through the add-on's frames.
  try {
    if (c->OnServerProgress)
      c->OnServerProgress(c, static_cast<TxProgressStatus>(Status), Minimum, Maximum, Position);
  } catch (...) {
  }
}

// A data block the add-on handed back, as the reply stream.
TMemoryStream* IntoReply(TMemoryStream& Reply, const char* Data, int32_t Length) {
  Reply.Clear();
  if (Data != nullptr && Length > 0) Reply.WriteBuffer(Data, Length);
  Reply.SetPosition(0);
  return &Reply;
}

}  // namespace

int32_t TXbConnection::sql_Prepare(int AccessMethod, const std::string& DatabaseName,
                                   const TXbTables& TableNames, bool Century,
                                   const std::string& DateFormat, bool SetDeleted,
                                   int MemoBlockSize, const TParams* Params, bool ReadOnly,
                                   int TableType, const std::string& Password, bool OEMTranslate,
                                   int CommitLevel, int& ErrorNo, std::string& Msg) {
  ErrorNo = 0;
  Msg.clear();
  int32_t handle = 0;
  try {
    int tableCount = 0;
    const std::string tables = TableNames.TablesBlock(tableCount);
    const TXbSqlEntryPoints* addOn = AccessMethod != 1 ? SqlAddOn() : nullptr;
    std::string path;
    if (AccessMethod != 1) {
      // Trimmed, with its delimiter: a folder name typed with a blank after it is the folder.
      path = ResolveDataPath();
      path = IncludeTrailingPathDelimiter(Trim(path.substr(0, path.size() - 1)));
      if (!DirectoryExists(path)) {
        Msg = "No such DataBaseName: " + path;
        return 0;
      }
      if (addOn == nullptr) {
        Msg = kNoSqlAddOn;
        return 0;
      }
      SqlPath = path;
    }
    TMemoryStream params;
    try {
      WriteParamBlock(Params, params);
    } catch (const EParamAllocation& e) {
      ReportError("XbConnection.sql_Prepare", "Allocating memory of " + std::to_string(e.Size) + " size");
      return 0;
    }
    if (AccessMethod != 1) {
      int32_t h = 0, error = 0;
      const char* m = addOn->dll_sql_Prepare(
          this, &h, &SqlProgress, this, static_cast<int16_t>(TableType), Password.c_str(),
          OEMTranslate ? -1 : 0, tableCount, tables.data(), static_cast<int32_t>(tables.size()),
          path.c_str(), SetDeleted ? -1 : 0, Century ? -1 : 0, MemoBlockSize, DateFormat.c_str(),
          params.Memory(), static_cast<int32_t>(params.Size()), ReadOnly ? -1 : 0,
          static_cast<int16_t>(CommitLevel), &error);
      ErrorNo = error;
      Msg = m != nullptr ? m : "";
      return h;
    }
    const std::string head =
        FixedField(DatabaseName, 255) + YN(Century) + FixedField(DateFormat, 10) +
        YN(SetDeleted) + YN(ReadOnly) + HexField(MemoBlockSize, 8) + HexField(TableType, 1) +
        FixedField(Password, 255) + YN(OEMTranslate) + HexField(tableCount, 8) +
        HexField(CommitLevel, 1) + HexField(static_cast<int64_t>(tables.size()), 8) + tables;
    FRequestStream.Clear();
    FRequestStream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    if (params.Size() > 0) FRequestStream.WriteBuffer(params.Memory(), params.Size());
    FRequestStream.SetPosition(0);
    TMemoryStream* reply = ClientStreamSendReceive("0800");
    if (reply == nullptr) throw Exception("No reply stream");
    const std::string r = Bytes(*reply);
    if (r.size() < 16) throw EConvertError("Short reply");
    handle = static_cast<int32_t>(HexOf(r.substr(0, 8)));
    ErrorNo = static_cast<int>(HexOf(r.substr(8, 8)));
    Msg = r.substr(16);
  } catch (...) {
    ReportError("XbConnection.sql_Prepare", "sql_Prepare");
    return 0;
  }
  return handle;
}

void TXbConnection::sql_OpenSQL(int AccessMethod, int32_t Handle, const std::string& SQLText,
                                std::string& Msg, int& ErrorNo, int& RowSize, int& FieldCount,
                                int& RowCount) {
  Msg.clear();
  ErrorNo = RowSize = FieldCount = RowCount = 0;
  Guarded<int>("XbConnection.sql_OpenSQL", "sql_OpenSQL", rpReport, 0, [&] {
    if (AccessMethod != 1) {
      int32_t rows = 0, fields = 0, size = 0, error = 0;
      const char* m = LoadedSqlAddOn().dll_sql_OpenSQL(Handle, SQLText.c_str(), &rows, &fields, &size, &error);
      Msg = m != nullptr ? m : "";
      RowCount = rows, FieldCount = fields, RowSize = size, ErrorNo = error;
      return 0;
    }
    const std::string r = Xmit("0802", HandleField(Handle) + Trim(SQLText));
    if (r.size() < 32) throw EConvertError("Short reply");
    RowCount = static_cast<int>(HexOf(r.substr(0, 8)));
    FieldCount = static_cast<int>(HexOf(r.substr(8, 8)));
    RowSize = static_cast<int>(HexOf(r.substr(16, 8)));
    ErrorNo = static_cast<int>(HexOf(r.substr(24, 8)));
    Msg = r.substr(32);
    return 0;
  });
}

TMemoryStream* TXbConnection::sql_GetStructure(int AccessMethod, int32_t Handle) {
  return Guarded<TMemoryStream*>("XbConnection.sql_GetStructure", "sql_GetStructure", rpReport,
                                 nullptr, [&]() -> TMemoryStream* {
    if (AccessMethod != 1) {
      const char* data = nullptr;
      int32_t length = 0;
      LoadedSqlAddOn().dll_sql_GetStructure(Handle, &data, &length);
      return IntoReply(FReplyStream, data, length);
    }
    ClientStreamReceive("0806", HandleField(Handle));
    FReplyStream.SetPosition(0);
    return &FReplyStream;
  });
}

TMemoryStream* TXbConnection::sql_GetRecord(int AccessMethod, int32_t Handle, int TotalRows,
                                            int FetchCount, int FirstRow) {
  return Guarded<TMemoryStream*>("XbConnection.sql_GetRecord", "sql_GetRecord", rpReport,
                                 nullptr, [&]() -> TMemoryStream* {
    const int rows = TotalRows - FirstRow < FetchCount ? TotalRows - FirstRow + 1 : FetchCount;
    if (AccessMethod != 1) {
      const char* data = nullptr;
      int32_t reserved = 0, length = 0;
      LoadedSqlAddOn().dll_sql_GetRecord(Handle, &data, FirstRow, rows, &reserved, &length);
      return IntoReply(FReplyStream, data, length);
    }
    return ClientStreamReceive("0807", HandleField(Handle) + HexField(FirstRow, 8) +
                                           HexField(rows, 8));
  });
}

TMemoryStream* TXbConnection::sql_ReadBlobData(int AccessMethod, int32_t Handle, int FieldIndex,
                                               int Row) {
  return Guarded<TMemoryStream*>("XbConnection.sql_ReadBlobData", "sql_ReadBlobData", rpReport,
                                 nullptr, [&]() -> TMemoryStream* {
    if (AccessMethod != 1) {
      const char* data = nullptr;
      int32_t length = 0;
      LoadedSqlAddOn().dll_sql_ReadBlobData(Handle, &data, Row, FieldIndex, &length);
      return IntoReply(FReplyStream, data, length);
    }
    return ClientStreamReceive("0808", HandleField(Handle) + HexField(Row, 8) +
                                           HexField(FieldIndex, 8));
  });
}

void TXbConnection::sql_CloseSQL(int AccessMethod, int32_t Handle) {
  Guarded<int>("XbConnection.sql_CloseSQL", "sql_CloseSQL", rpReport, 0, [&] {
    int32_t unused = 0;
    if (AccessMethod == 1) Xmit("0804", HandleField(Handle));
    else LoadedSqlAddOn().dll_sql_CloseSQL(Handle, &unused);
    return 0;
  });
}

void TXbConnection::sql_UnPrepare(int AccessMethod, int32_t Handle) {
  Guarded<int>("XbConnection.sql_UnPrepare", "sql_UnPrepare", rpReport, 0, [&] {
    int32_t unused = 0;
    if (AccessMethod == 1) Xmit("0801", HandleField(Handle));
    else LoadedSqlAddOn().dll_sql_UnPrepareSQL(Handle, &unused);
    return 0;
  });
}

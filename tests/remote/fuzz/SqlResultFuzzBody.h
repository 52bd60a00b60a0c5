// One fuzz input for the SQL query dataset's result blocks: the bytes are what an SQL add-on
// hands back (the open's counts, the structure text, the blocks of rows and a blob value),
// served by a stand-in add-on on the local route while the query opens, walks every row,
// reads every field and blob, locates, edits in memory and closes. A hostile result may only
// end in EXbQueryError; anything else, a crash, a hang or a huge allocation is a finding.
// Shared by the libFuzzer harness and the corpus replay test; the caller installs the fake
// services.
//
// Input: row count, field count, row size (3 x int32 little-endian), then length-prefixed
// parts (uint16 little-endian length, then the bytes): the structure text, the blob value,
// and the blocks of rows, one per fetch (the last one again when they run out).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "remote/XbConnection.h"
#include "remote/XbQuery.h"

namespace sqlresultfuzz {

struct Served {
  int32_t Rows = 0, Fields = 0, RowSize = 0;
  std::string Structure, Blob;
  std::vector<std::string> Blocks;
  size_t NextBlock = 0;
};

inline Served*& Current() {
  static Served* s = nullptr;
  return s;
}

inline const char* FuzzPrepare(void*, int32_t* handle, XbSqlProgress, void*, int16_t, const char*, int16_t,
                                          int32_t, const char*, int32_t, const char*, int16_t, int16_t, int32_t,
                                          const char*, const void*, int32_t, int16_t, int16_t, int32_t* errorNo) {
  *handle = 7;
  *errorNo = 0;
  return "";
}
inline const char* FuzzOpen(int32_t, const char*, int32_t* rows, int32_t* fields, int32_t* size,
                                       int32_t* errorNo) {
  *rows = Current()->Rows, *fields = Current()->Fields, *size = Current()->RowSize, *errorNo = 0;
  return "";
}
inline void FuzzStructure(int32_t, const char** data, int32_t* length) {
  *data = Current()->Structure.data();
  *length = static_cast<int32_t>(Current()->Structure.size());
}
inline void FuzzRecord(int32_t, const char** data, int32_t, int32_t, int32_t* reserved, int32_t* length) {
  Served& s = *Current();
  *reserved = 0;
  if (s.Blocks.empty()) {
    *data = nullptr, *length = 0;
    return;
  }
  const std::string& b = s.Blocks[s.NextBlock < s.Blocks.size() ? s.NextBlock++ : s.Blocks.size() - 1];
  *data = b.data();
  *length = static_cast<int32_t>(b.size());
}
inline void FuzzBlob(int32_t, const char** data, int32_t, int32_t, int32_t* length) {
  *data = Current()->Blob.data();
  *length = static_cast<int32_t>(Current()->Blob.size());
}
inline void FuzzClose(int32_t, int32_t* result) { *result = 0; }

inline const TXbSqlEntryPoints& Entries() {
  static const TXbSqlEntryPoints e = [] {
    TXbSqlEntryPoints x;
    x.dll_sql_Prepare = FuzzPrepare;
    x.dll_sql_OpenSQL = FuzzOpen;
    x.dll_sql_GetStructure = FuzzStructure;
    x.dll_sql_GetRecord = FuzzRecord;
    x.dll_sql_ReadBlobData = FuzzBlob;
    x.dll_sql_CloseSQL = FuzzClose;
    x.dll_sql_UnPrepareSQL = FuzzClose;
    return x;
  }();
  return e;
}

inline bool Parse(const uint8_t* Data, size_t Size, Served& S) {
  if (Size < 12) return false;
  std::memcpy(&S.Rows, Data, 4);
  std::memcpy(&S.Fields, Data + 4, 4);
  std::memcpy(&S.RowSize, Data + 8, 4);
  size_t at = 12;
  auto part = [&](std::string& Out) {
    if (Size - at < 2) return false;
    const size_t n = Data[at] | (Data[at + 1] << 8);
    at += 2;
    if (n > Size - at) return false;
    Out.assign(reinterpret_cast<const char*>(Data + at), n);
    at += n;
    return true;
  };
  if (!part(S.Structure) || !part(S.Blob)) return false;
  for (std::string b; part(b);) S.Blocks.push_back(b);
  return true;
}

inline void RunSqlResult(const uint8_t* Data, size_t Size) {
  Served served;
  if (Size > (1 << 16) || !Parse(Data, Size, served)) return;
  // A result within the limits but of millions of rows only costs its row list (16 bytes a
  // row, zero-filled); such claims are left out so the runs go to the parsing.
  if (served.Rows > (1 << 16) && served.Rows <= TXbQuery::kMaxRows) return;
  Current() = &served;
  TXbLoadSqlAddOn saved = XbSqlAddOnHook();
  XbSqlAddOnHook() = [] { return &Entries(); };
  {
    TXbQuery q;
    q.SetDatabaseName("/");
    q.SetSQL("select");
    q.SetFetchCount(3);
    try {
      q.Open();
      int steps = 0;
      for (q.First(); !q.Eof() && steps < 40; q.Next(), ++steps)
        for (int i = 0; i < q.Fields().Count(); ++i) (void)q.Fields().Fields(i)->AsString();
      q.Last();
      q.Prior();
      q.SetRecNo(2);
      if (q.Fields().Count() > 0 && q.Fields().Fields(0)->DataType() == ftString)
        (void)q.Locate(q.Fields().Fields(0)->FieldName(), Variant(std::string("x")), loPartialKey);
      if (!q.IsEmpty()) {
        q.Delete();
        q.First();
        if (!q.IsEmpty()) {
          q.Edit();
          q.Post();
        }
      }
      q.Append();
      q.Post();
      (void)q.RecordCount();
      q.Close();
    } catch (const EXbQueryError&) {
    }
  }
  XbSqlAddOnHook() = saved;
  Current() = nullptr;
}

}  // namespace sqlresultfuzz

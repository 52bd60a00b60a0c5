// Fuzz inputs for the table and memo readers, through the engine's entry points over an
// in-memory file system. RunDbf: the bytes are a .dbf file, beside a sound memo file whose
// entries its records may name. RunMemo: the bytes are a .smt memo file, beside a sound
// table whose records name blocks all over it (and past it). Each is opened read-only and
// shared; every record is visited both ways and every field read in all its forms, memo
// fields too; in the writable open every field is written, a record appended, deleted and
// recalled, the table packed, and everything read again. Nothing may read past a record or
// an entry, take memory the file cannot justify, loop for ever or crash. Shared by the
// libFuzzer harnesses and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"
#include "engine/src/DbfFile.h"
#include "engine/src/MemoFile.h"
#include "tests/engine/fuzz/MemFs.h"

namespace xbefuzz {

constexpr const char* kFuzzDbf = "/fuzz/x.dbf";
constexpr const char* kFuzzMemo = "/fuzz/x.smt";

// Every field of every record, bounded however many records the header claims.
inline void ReadTable() {
  constexpr int kSteps = 2000;
  const int fields = xb_FieldCount();
  std::vector<std::string> names;
  for (int i = 1; i <= fields; ++i) names.emplace_back(xb_FieldName(static_cast<XbShort>(i)));
  char blob[4096];
  auto readRecord = [&] {
    (void)xb_Deleted();
    for (const std::string& n : names) {
      const char* f = n.c_str();
      (void)xb_FieldType(f);
      (void)xb_GetString(f);
      (void)xb_GetTrimString(f);
      (void)xb_GetLong(f);
      (void)xb_GetDouble(f);
      (void)xb_GetLogical(f);
      (void)xb_GetDateString(f);
      (void)xb_GetDateJulian(f);
      (void)xb_GetByte(f, 1);
      (void)xb_Empty(f);
      (void)xb_IsNull(f);
      (void)xb_EvalTest(f);
      (void)xb_EvalString(f);
      if (char* m = xb_GetMemo(f, 0)) xb_MemDealloc(m);
      (void)xb_GetBlobLength(f);
      (void)xb_GetBlobEx(f, blob, sizeof blob);
    }
  };
  int steps = 0;
  for (xb_GoTop(); !xb_Eof() && steps < kSteps; xb_Skip(1), ++steps) readRecord();
  steps = 0;
  for (xb_GoBottom(); !xb_Bof() && steps < kSteps; xb_Skip(-1), ++steps) (void)xb_GetString(names.empty() ? "" : names[0].c_str());
  const XbLong count = xb_RecCount();
  (void)xb_Count();
  for (XbLong r : {XbLong{-1}, XbLong{0}, XbLong{1}, count / 2, count, count + 1}) {
    xb_Go(r);
    readRecord();
  }
}

// Writes a value of its own kind into every field of the current record.
inline void WriteRecord() {
  static const std::string blob(300, '\x5A');
  for (int i = 1; i <= xb_FieldCount(); ++i) {
    const std::string n = xb_FieldName(static_cast<XbShort>(i));
    const std::string t = xb_FieldType(n.c_str());
    switch (t.empty() ? 'C' : t[0]) {
      case 'N': case 'F': xb_PutDouble(n.c_str(), 12.5); break;
      case 'D': xb_PutDateString(n.c_str(), "20240131"); break;
      case 'L': xb_PutLogical(n.c_str(), -1); break;
      case 'I': xb_PutLong(n.c_str(), 7); break;
      case 'M': xb_PutMemo(n.c_str(), "\xB0\xA1 memo"); break;
      case 'B': case 'G': case 'P': (void)xb_PutBlob(n.c_str(), blob.data(), static_cast<XbLong>(blob.size())); break;
      default: xb_PutString(n.c_str(), "ab"); break;
    }
  }
  xb_Commit();
}

inline void WriteTable() {
  xb_GoTop();
  for (int i = 0; i < 3 && !xb_Eof(); ++i, xb_Skip(1)) WriteRecord();
  xb_AppendBlank();
  WriteRecord();
  xb_Delete();
  xb_Commit();
  xb_Recall();
  xb_Commit();
  xb_Pack();
}

// The table in fs opened read-only, then shared with writes; the file system is the engine's
// for the run only.
inline void RunTable(MemFs& fs) {
  xbe::SetFileSystem(&fs);
  for (XbShort mode : {XbShort{XB_OPEN_READONLY}, XbShort{XB_OPEN_SHARED}}) {
    if (xb_UseEx(kFuzzDbf, "", mode, XB_TT_NSX, 0) <= 0) continue;
    ReadTable();
    if (mode == XB_OPEN_SHARED) {
      WriteTable();
      ReadTable();
    }
    xb_Close();
  }
  xb_CloseAll();
  xbe::SetFileSystem(nullptr);
}

// A sound memo file of 64-byte blocks with entries at blocks 8, 9 and 10-11 (texts, a blob).
inline const std::string& SoundMemo() {
  static const std::string bytes = [] {
    MemFs fs;
    xbe::SetFileSystem(&fs);
    xbe::MemoFile::Create(kFuzzMemo, 64);
    if (auto m = xbe::MemoFile::Open(kFuzzMemo, true, nullptr)) {
      (void)m->Write("first", 5, xbe::MemoFile::kText);
      (void)m->Write("\xB0\xA1\xB0\xA2", 4, xbe::MemoFile::kText);
      const std::string blob(100, '\x01');
      (void)m->Write(blob.data(), blob.size(), xbe::MemoFile::kBinary);
    }
    xbe::SetFileSystem(nullptr);
    return fs.files[kFuzzMemo];
  }();
  return bytes;
}

// A sound table whose memo fields (text, blob, and a binary 4-byte reference) name blocks at
// the start of a memo file, in its middle, far past any file and past what ten digits hold.
inline const std::string& SoundTableOfMemoRefs() {
  static const std::string bytes = [] {
    std::vector<xbe::FieldDesc> fields = {{"NAME", 'C', 1, 8, 0}, {"BODY", 'M', 9, 10, 0},
                                          {"PIC", 'B', 19, 10, 0}, {"SMALL", 'M', 29, 4, 0}};
    const std::vector<uint32_t> refs = {0, 1, 2, 7, 8, 9, 10, 11, 12, 16, 64, 1000, 0x7FFFFFFF, 0xFFFFFFFF};
    std::string records;
    for (size_t i = 0; i < refs.size(); ++i) {
      const uint32_t other = refs[refs.size() - 1 - i];
      records += ' ' + std::string("rec") + std::to_string(i + 10) + "   ";
      records += xbe::EncodeMemoRef(refs[i], 10) + xbe::EncodeMemoRef(other, 10) + xbe::EncodeMemoRef(refs[i], 4);
    }
    records += ' ' + std::string("digits  ") + "9999999999" + "-000000001" + "    ";
    const int32_t count = static_cast<int32_t>(refs.size() + 1);
    return xbe::DbfFile::BuildHeader(fields, true, count) + records + '\x1A';
  }();
  return bytes;
}

inline void RunDbf(const uint8_t* data, std::size_t size) {
  MemFs fs;
  fs.files[kFuzzDbf].assign(reinterpret_cast<const char*>(data), size);
  fs.files[kFuzzMemo] = SoundMemo();
  RunTable(fs);
}

inline void RunMemo(const uint8_t* data, std::size_t size) {
  MemFs fs;
  fs.files[kFuzzDbf] = SoundTableOfMemoRefs();
  fs.files[kFuzzMemo].assign(reinterpret_cast<const char*>(data), size);
  RunTable(fs);
  // The memo file's own reads and writes, block by block, with no table in between.
  fs.files[kFuzzMemo].assign(reinterpret_cast<const char*>(data), size);
  xbe::SetFileSystem(&fs);
  if (auto m = xbe::MemoFile::Open(kFuzzMemo, true, nullptr)) {
    std::string out;
    uint32_t type = 0;
    for (uint32_t b = 0; b < 48; ++b) {
      (void)m->Read(b, &out, &type);
      (void)m->Length(b);
      (void)m->BlocksOf(b);
    }
    std::vector<uint32_t> blocks;
    if (m->WriteMany({"a", std::string(700, 'b'), ""}, xbe::MemoFile::kText, &blocks))
      for (uint32_t b : blocks) m->Free({b, m->BlocksOf(b)});
    const xbe::MemoExtent e = m->Write("again", 5, xbe::MemoFile::kText);
    if (e.block) (void)m->Read(e.block, &out);
  }
  xbe::SetFileSystem(nullptr);
}

}  // namespace xbefuzz

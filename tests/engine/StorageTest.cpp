// Storage behaviour of the engine through its C interface: navigation and visibility, note
// files, memos, creation rules, damaged files, value codes, paths, open modes, pack.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/src/FileIo.h"
#include "helpers/NoteFixture.h"
#include "helpers/WriteHookFs.h"

namespace {

using xbtest::EngineTest;

// A table of `n` records, NAME = "R<n>", with the given records deleted.
void MakeNamed(const std::string& path, int n, std::vector<int> deleted) {
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_CDX, 1), 0);
  xb_CreateField("NAME", "C", 10, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  XbShort wa = xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0);
  ASSERT_GT(wa, 0);
  for (int i = 1; i <= n; ++i) {
    xb_AppendBlank();
    xb_PutString("NAME", ("R" + std::to_string(i)).c_str());
    xb_Commit();
  }
  for (int r : deleted) {
    xb_Go(r);
    xb_Delete();
  }
  xb_Close();
}

struct NavCase {
  bool hideDeleted;
  const char* ops;  // T top, B bottom, G<n> go, S<n> skip; comma separated
  XbLong recNo;
  bool bof;
  bool eof;
};

void RunOps(const char* ops) {
  std::stringstream ss(ops);
  std::string op;
  while (std::getline(ss, op, ',')) {
    if (op == "T") xb_GoTop();
    else if (op == "B") xb_GoBottom();
    else if (op[0] == 'G') xb_Go(std::stoi(op.substr(1)));
    else if (op[0] == 'S') xb_Skip(std::stoi(op.substr(1)));
  }
}

TEST_F(EngineTest, NavigationFollowsVisibilityAndTheEndRules) {
  // Record 1 stands for the deleted header, 4 a deleted note, 6 a deleted last note.
  std::string path = Path("nav.dbf");
  MakeNamed(path, 6, {1, 4, 6});
  const NavCase cases[] = {
      {true, "T", 2, false, false},
      {true, "B", 5, false, false},
      {true, "T,S-1", 2, true, false},
      {true, "T,S1", 3, false, false},
      {true, "T,S1,S1", 5, false, false},
      {true, "T,S3", 7, false, true},
      {true, "B,S1", 7, false, true},
      {true, "B,S1,S-1", 5, false, false},
      {true, "G1", 1, false, false},
      {true, "G1,S1", 2, false, false},
      {true, "G1,S-1", 2, true, false},
      {true, "G99", 7, false, true},
      {true, "G99,S-1", 5, false, false},
      {true, "T,S-5", 2, true, false},
      {false, "T", 1, false, false},
      {false, "B", 6, false, false},
      {false, "T,S-1", 1, true, false},
      {false, "T,S3", 4, false, false},
      {false, "B,S1", 7, false, true},
  };
  XbShort wa = xb_UseEx(path.c_str(), "NAV", XB_OPEN_SHARED, XB_TT_CDX, 0);
  ASSERT_GT(wa, 0);
  for (const NavCase& c : cases) {
    xb_SetDeleted(c.hideDeleted ? -1 : 0);
    RunOps(c.ops);
    SCOPED_TRACE(std::string(c.ops) + (c.hideDeleted ? " deleted hidden" : " deleted shown"));
    EXPECT_EQ(xb_RecNo(), c.recNo);
    EXPECT_EQ(xb_Bof() != 0, c.bof);
    EXPECT_EQ(xb_Eof() != 0, c.eof);
  }
  xb_SetDeleted(-1);
  EXPECT_EQ(xb_RecCount(), 6);
  EXPECT_EQ(xb_Count(), 3);
  xb_Go(1);
  EXPECT_NE(xb_Deleted(), 0);
  // At EOF the record is the blank phantom.
  xb_Go(99);
  EXPECT_STREQ(xb_GetString("NAME"), "          ");
}

TEST_F(EngineTest, EmptyViewSetsBothEnds) {
  std::string path = Path("empty.dbf");
  MakeNamed(path, 0, {});
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  for (const char* ops : {"T", "B", "T,S-1", "T,S1"}) {
    RunOps(ops);
    EXPECT_EQ(xb_RecNo(), 1) << ops;
    EXPECT_NE(xb_Bof(), 0) << ops;
    EXPECT_NE(xb_Eof(), 0) << ops;
  }
  xb_Close();
  std::string all = Path("alldeleted.dbf");
  MakeNamed(all, 2, {1, 2});
  xb_SetDeleted(-1);
  ASSERT_GT(xb_UseEx(all.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  xb_GoTop();
  EXPECT_EQ(xb_RecNo(), 3);
  EXPECT_NE(xb_Bof(), 0);
  EXPECT_NE(xb_Eof(), 0);
}

TEST_F(EngineTest, NoteFileIsCreatedWrittenReopenedAndReadBack) {
  std::string path = Path("orvel.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  EXPECT_TRUE(std::filesystem::exists(Path("orvel.smt")));
  std::string title = xbtest::Hangul(30);  // 60 bytes: exactly the width of tit1
  {
    XbShort wa = xb_UseEx(path.c_str(), "ORVEL", XB_OPEN_SHARED, XB_TT_NSX, 0);
    ASSERT_GT(wa, 0);
    xb_AppendBlank();  // the header record
    xb_PutString("tit1", "Title1  Title2  ");
    xb_PutString("tit2", "description");
    xb_Commit();
    xb_Delete();
    xb_AppendBlank();
    ASSERT_NE(xb_Rlock(xb_RecNo()), 0);
    xb_PutString("TIT1", title.c_str());
    xb_PutString("tit2", (xbtest::Hangul(20) + "x").c_str());  // 41 bytes: cut to 40
    xb_PutString("chk", "v");
    xb_PutString("type", " ");
    xb_PutMemo("mmm", "body\r\nline 2");
    xb_Commit();
    xb_Unlock(xb_RecNo());
    xb_Close();
  }
  XbShort wa = xb_UseEx((dir_ + "\\ORVEL").c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0);
  ASSERT_GT(wa, 0);
  EXPECT_STREQ(xb_Alias(wa), "ORVEL");
  EXPECT_EQ(xb_FieldCount(), 10);
  const char* names[] = {"MMM", "KNO", "CHK", "LOCK", "TYPE", "BIBLE", "TIT1", "TIT2", "TIT3", "TIT4"};
  const int widths[] = {10, 12, 1, 1, 1, 4, 60, 40, 40, 60};
  int offset = 2;
  for (int i = 0; i < 10; ++i) {
    EXPECT_STREQ(xb_FieldName(static_cast<XbShort>(i + 1)), names[i]);
    EXPECT_EQ(xb_FieldWidth(names[i]), widths[i]);
    EXPECT_EQ(xb_FieldOffset(names[i]), offset);
    offset += widths[i];
  }
  EXPECT_STREQ(xb_FieldType("mmm"), "M");
  EXPECT_EQ(xb_RecSize(), offset - 1);
  EXPECT_EQ(xb_RecCount(), 2);
  xb_SetDeleted(-1);
  xb_GoTop();
  EXPECT_EQ(xb_RecNo(), 2);
  EXPECT_EQ(std::string(xb_GetString("tit1")), title);
  EXPECT_EQ(std::string(xb_GetTrimString("tit2")), xbtest::Hangul(20));
  EXPECT_STREQ(xb_GetTrimString("chk"), "v");
  char* body = xb_GetMemo("mmm", 0);
  EXPECT_STREQ(body, "body\r\nline 2");
  xb_MemDealloc(body);
  xb_Go(1);
  EXPECT_NE(xb_Deleted(), 0);
  EXPECT_STREQ(xb_GetTrimString("tit1"), "Title1  Title2");
  // Files that independent tools read: dBASE header with the memo flag and code page 949.
  std::string bytes = ReadFile(path);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xF5);
  EXPECT_EQ(static_cast<unsigned char>(bytes[29]), 0x79);
  EXPECT_EQ(bytes.back(), '\x1A');
}

TEST_F(EngineTest, LargeHangulMemoRoundTripsAndRewritesReuseBlocks) {
  std::string path = Path("memo.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0), 0);
  std::string body = xbtest::Hangul(60000);
  ASSERT_EQ(body.size(), 120000u);
  xb_AppendBlank();
  xb_Replace("mmm", XB_RT_MEMO, body.c_str());
  xb_Commit();
  xb_GoTop();
  EXPECT_EQ(xb_GetBlobLength("mmm"), 120000);
  char* got = xb_GetMemo("mmm", 0);
  EXPECT_TRUE(std::string(got) == body);
  xb_MemDealloc(got);
  // The capacity-taking read never writes past the caller's buffer.
  std::vector<char> small(100, 'z');
  EXPECT_EQ(xb_GetBlobEx("mmm", small.data(), 90), 90);
  EXPECT_EQ(small[90], 'z');
  EXPECT_EQ(std::memcmp(small.data(), body.data(), 90), 0);

  // Rewrites: the second fits in the blocks the first freed, so the file stops growing.
  std::string smt = Path("memo.smt");
  std::string shorter = xbtest::Hangul(50000);
  xb_Replace("mmm", XB_RT_MEMO, shorter.c_str());
  xb_Commit();
  auto afterFirst = std::filesystem::file_size(smt);
  for (int i = 0; i < 3; ++i) {
    xb_Replace("mmm", XB_RT_MEMO, (i % 2 ? shorter : body).c_str());
    xb_Commit();
  }
  EXPECT_EQ(std::filesystem::file_size(smt), afterFirst);
  got = xb_GetMemo("mmm", 0);
  EXPECT_TRUE(std::string(got) == body);
  xb_MemDealloc(got);

  // Pack reclaims what is no longer referenced.
  xb_Pack();
  EXPECT_LT(std::filesystem::file_size(smt), afterFirst);
  xb_GoTop();
  EXPECT_EQ(xb_GetBlobLength("mmm"), 120000);
  // A null memo value clears the field.
  xb_Replace("mmm", XB_RT_MEMO, nullptr);
  xb_Commit();
  EXPECT_EQ(xb_GetBlobLength("mmm"), 0);
  EXPECT_NE(xb_Empty("mmm"), 0);
}

TEST_F(EngineTest, BlobsKeepExactBytes) {
  std::string path = Path("blob.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_CDX, 2), 0);
  xb_CreateField("PIC", "B", 10, 0);
  xb_CreateField("NAME", "C", 8, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  std::string data("\0\x01\xFF\0tail", 8);
  xb_AppendBlank();
  EXPECT_EQ(xb_PutBlob("PIC", data.data(), 8), 8);
  xb_Commit();
  xb_GoTop();
  EXPECT_EQ(xb_GetBlobLength("PIC"), 8);
  char out[8];
  EXPECT_EQ(xb_GetBlob("PIC", out), 8);
  EXPECT_EQ(std::string(out, 8), data);
  std::string copy = Path("blob.bin");
  EXPECT_EQ(xb_BlobToFile("PIC", copy.c_str()), 8);
  EXPECT_EQ(ReadFile(copy), data);
  xb_Replace("PIC", XB_RT_FILEBLOB, (dir_ + "/BLOB.BIN").c_str());  // found ignoring case
  EXPECT_EQ(xb_GetBlobLength("PIC"), 8);
}

TEST_F(EngineTest, CreationRules) {
  struct FieldCase {
    const char* name;
    const char* type;
    int width;
    bool ok;
  } cases[] = {
      {"TIT1", "C", 60, true},      {"mmm", "m", 10, true},        {"ABCDEFGHIJ", "C", 5, true},
      {"ABCDEFGHIJK", "C", 5, false}, {"1ST", "C", 5, false},      {"", "C", 5, false},
      {"NAME", "C", 0, false},      {"NAME", "X", 5, false},       {"NAME", "CC", 5, false},
      {"AMOUNT", "n", 8, true},     {"DAY", "d", 3, true},         {"BIG", "C", 255, false},
  };
  for (const FieldCase& c : cases) {
    std::string path = Path(std::string("t_") + std::to_string(&c - cases) + ".dbf");
    ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_CDX, 1), 0);
    xb_CreateField(c.name, c.type, static_cast<XbShort>(c.width), 0);
    EXPECT_EQ(xb_CreateExec() != 0, c.ok) << c.name << " " << c.type << " " << c.width;
    xb_Close();
  }
  // A second field of the same name, more fields than announced, an existing target.
  std::string dup = Path("dup.dbf");
  xb_CreateNew(dup.c_str(), "", XB_TT_CDX, 2);
  xb_CreateField("A", "C", 1, 0);
  xb_CreateField("a", "C", 1, 0);
  EXPECT_EQ(xb_CreateExec(), 0);
  std::string over = Path("over.dbf");
  xb_CreateNew(over.c_str(), "", XB_TT_CDX, 1);
  xb_CreateField("A", "C", 1, 0);
  xb_CreateField("B", "C", 1, 0);
  EXPECT_EQ(xb_CreateExec(), 0);
  std::string exists = Path("t_0.dbf");
  std::string before = ReadFile(exists);
  xb_CreateNew(exists.c_str(), "", XB_TT_CDX, 1);
  xb_CreateField("OTHER", "C", 3, 0);
  EXPECT_EQ(xb_CreateExec(), 0);
  EXPECT_EQ(ReadFile(exists), before);
  // CreateField without CreateNew does nothing.
  xb_Select(200);
  xb_CreateField("A", "C", 1, 0);
  EXPECT_EQ(xb_CreateExec(), 0);
}

// A small valid table whose bytes the damage cases change.
std::string SmallTable(const std::string& path) {
  MakeNamed(path, 2, {});
  return xbtest::EngineTest::ReadFile(path);
}

TEST_F(EngineTest, DamagedTablesFailToOpenCleanly) {
  std::string path = Path("bad.dbf");
  const std::string good = SmallTable(path);
  struct Damage {
    const char* what;
    std::string (*apply)(std::string);
  } cases[] = {
      {"empty file", [](std::string) { return std::string(); }},
      {"truncated header", [](std::string s) { return s.substr(0, 20); }},
      {"header length beyond file", [](std::string s) { s[8] = '\xFF'; s[9] = '\x7F'; return s; }},
      {"header length too small", [](std::string s) { s[8] = 10; s[9] = 0; return s; }},
      {"record length zero", [](std::string s) { s[10] = 0; s[11] = 0; return s; }},
      {"field wider than record", [](std::string s) { s[32 + 16] = '\xFF'; return s; }},
      {"field width zero", [](std::string s) { s[32 + 16] = 0; return s; }},
      {"no terminator", [](std::string s) { s[64] = 'X'; return s; }},
      {"empty field name", [](std::string s) { s[32] = 0; return s; }},
  };
  for (const Damage& d : cases) {
    WriteFile(path, d.apply(good));
    EXPECT_LE(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0) << d.what;
    xb_CloseAll();
  }
  // Opened under another table type, a table still finds the memo file it was made with.
  std::string typed = Path("typed.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(typed));
  EXPECT_GT(xb_UseEx(typed.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  xb_CloseAll();
  // A table whose memo file is missing does not open without it.
  std::string note = Path("nomemo.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(note));
  std::filesystem::remove(Path("nomemo.smt"));
  EXPECT_LE(xb_UseEx(note.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
}

TEST_F(EngineTest, DamagedMemoReferencesReadAsEmpty) {
  std::string path = Path("memo.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  xb_PutMemo("mmm", "hello");
  xb_Commit();
  xb_AppendBlank();
  xb_PutMemo("mmm", "second");
  xb_Commit();
  xb_Close();
  std::string dbf = ReadFile(path);
  int header = static_cast<unsigned char>(dbf[8]) | (static_cast<unsigned char>(dbf[9]) << 8);
  int rec = static_cast<unsigned char>(dbf[10]) | (static_cast<unsigned char>(dbf[11]) << 8);
  std::memcpy(&dbf[header + 1], " 99999999", 9);  // record 1: block beyond the file
  WriteFile(path, dbf);
  // Record 2: its entry claims a length far beyond the memo file.
  std::string smt = ReadFile(Path("memo.smt"));
  int block = std::stoi(dbf.substr(header + rec + 1, 10));
  smt[block * 64 + 4] = '\x7F';
  WriteFile(Path("memo.smt"), smt);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (XbLong r : {1, 2}) {
    xb_Go(r);
    EXPECT_EQ(xb_GetBlobLength("mmm"), 0) << r;
    char* m = xb_GetMemo("mmm", 0);
    EXPECT_STREQ(m, "") << r;
    xb_MemDealloc(m);
  }
}

TEST_F(EngineTest, RecordCountComesFromTheFileSize) {
  std::string path = Path("count.dbf");
  const std::string good = SmallTable(path);
  std::string claimsMore = good;
  claimsMore[4] = 50;  // a header written before data that never came
  WriteFile(path, claimsMore);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  EXPECT_EQ(xb_RecCount(), 2);
  xb_GoBottom();
  EXPECT_EQ(xb_RecNo(), 2);
  xb_Close();
  std::string claimsLess = good;
  claimsLess[4] = 1;  // data written, header not yet
  claimsLess.pop_back();  // and no end-of-file byte either
  WriteFile(path, claimsLess);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  EXPECT_EQ(xb_RecCount(), 2);
  xb_AppendBlank();
  EXPECT_EQ(xb_RecNo(), 3);
  xb_Close();
  EXPECT_EQ(ReadFile(path)[4], 3);
}

TEST_F(EngineTest, ReplaceCodesStoreTheFieldForm) {
  std::string path = Path("types.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_CDX, 6), 0);
  xb_CreateField("N", "N", 8, 2);
  xb_CreateField("S", "N", 3, 0);
  xb_CreateField("D", "D", 8, 0);
  xb_CreateField("L", "L", 1, 0);
  xb_CreateField("C", "C", 6, 0);
  xb_CreateField("I", "I", 4, 0);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  xb_AppendBlank();
  int32_t twelve = 12, i32 = -70000, julian = 2451545, big = 1234;
  double dbl = 3.14159;
  unsigned char yes = 1;
  struct Case {
    const char* field;
    XbShort code;
    const void* value;
    const char* stored;
  } cases[] = {
      {"N", XB_RT_DOUBLE, &dbl, "    3.14"},
      {"N", XB_RT_TEXT, "12.5", "   12.50"},
      {"S", XB_RT_INT16, &twelve, " 12"},
      {"S", XB_RT_INT32, &big, " 12"},  // does not fit: the stored value stays
      {"D", XB_RT_JULIAN, &julian, "20000101"},
      {"D", XB_RT_TEXT, "19991231", "19991231"},
      {"D", XB_RT_DATETEXT, "02/29/2024 10:00", "20240229"},
      {"D", XB_RT_DATETEXT, "02/30/2024", "        "},
      {"L", XB_RT_BOOLBYTE, &yes, "T"},
      {"L", XB_RT_TEXT, "n", "F"},
      {"C", XB_RT_TEXT, "abcdefgh", "abcdef"},
      {"C", XB_RT_TEXT2, "ab", "ab    "},
      {"C", XB_RT_TEXT, nullptr, "      "},
  };
  for (const Case& c : cases) {
    xb_Replace(c.field, c.code, c.value);
    EXPECT_STREQ(xb_GetString(c.field), c.stored) << c.field << " code " << c.code;
  }
  xb_Replace("I", XB_RT_INT16, &i32);  // code 1 carries 32 bits too
  xb_Commit();
  xb_GoTop();
  EXPECT_EQ(xb_GetLong("I"), -70000);
  EXPECT_EQ(xb_GetInteger("S"), 12);
  EXPECT_EQ(xb_GetLogical("L"), 0);
  EXPECT_EQ(xb_GetDateJulian("D"), 0);
  xb_Replace("D", XB_RT_JULIAN, &julian);
  EXPECT_EQ(xb_GetDateJulian("D"), 2451545);
  EXPECT_STREQ(xb_GetDateString("D"), "01/01/2000");
  xb_SetDateFormat(4);
  xb_SetCentury(0);
  EXPECT_STREQ(xb_GetDateString("D"), "01.01.00");
  EXPECT_DOUBLE_EQ(xb_GetDouble("N"), 12.5);
  // Unknown fields and closed work areas answer neutrally.
  EXPECT_STREQ(xb_GetString("NOPE"), "");
  xb_Replace("NOPE", XB_RT_TEXT, "x");
  xb_Select(77);
  EXPECT_EQ(xb_RecCount(), 0);
  EXPECT_STREQ(xb_GetString("N"), "");
  xb_GoTop();
  xb_Skip(1);
  EXPECT_NE(xb_Eof(), 0);
}

TEST_F(EngineTest, PutRecordKeepsTheStoredMemoReference) {
  std::string path = Path("put.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  xb_PutMemo("mmm", "the body");
  xb_Commit();
  std::vector<char> image(xb_RecSize());
  xb_GetRecord(image.data());
  std::memset(image.data() + 1, '9', 10);  // a stray memo reference
  std::memcpy(image.data() + xb_FieldOffset("TIT1") - 1, "new title", 9);
  image[0] = '*';
  xb_PutRecord(image.data());
  xb_Go(1);
  EXPECT_NE(xb_Deleted(), 0);
  EXPECT_STREQ(xb_GetTrimString("TIT1"), "new title");
  char* m = xb_GetMemo("mmm", 0);
  EXPECT_STREQ(m, "the body");
  xb_MemDealloc(m);
}

TEST_F(EngineTest, OpenModesRefuseWhatWouldConflict) {
  std::string path = Path("modes.dbf");
  MakeNamed(path, 1, {});
  XbShort shared = xb_UseEx(path.c_str(), "A", XB_OPEN_SHARED, XB_TT_CDX, 0);
  ASSERT_GT(shared, 0);
  EXPECT_LE(xb_UseEx(path.c_str(), "B", XB_OPEN_EXCLUSIVE, XB_TT_CDX, 0), 0);
  EXPECT_LE(xb_UseEx(path.c_str(), "a", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);  // alias in use
  XbShort second = xb_UseEx(path.c_str(), "C", XB_OPEN_SHARED, XB_TT_CDX, 0);
  EXPECT_GT(second, 0);
  EXPECT_EQ(xb_WorkArea("c"), second);
  xb_CloseAll();
  XbShort excl = xb_UseEx((dir_ + "/MODES.DBF").c_str(), "X", XB_OPEN_EXCLUSIVE, XB_TT_CDX, 0);
  ASSERT_GT(excl, 0);
  EXPECT_EQ(xb_OpenMode(), XB_OPEN_EXCLUSIVE);
  EXPECT_LE(xb_UseEx(path.c_str(), "Y", XB_OPEN_SHARED, XB_TT_CDX, 0), 0);
  EXPECT_LE(xb_UseEx(path.c_str(), "Z", XB_OPEN_READONLY, XB_TT_CDX, 0), 0);
  xb_Close();
  XbShort ro = xb_UseEx(path.c_str(), "R", XB_OPEN_READONLY, XB_TT_CDX, 0);
  ASSERT_GT(ro, 0);
  xb_GoTop();
  xb_PutString("NAME", "changed");
  xb_Commit();
  xb_AppendBlank();
  EXPECT_EQ(xb_RecCount(), 1);
  xb_Go(1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "R1");
}

std::vector<uint16_t> g_codes;

TEST_F(EngineTest, PackRemovesDeletedRecordsAndReportsProgress) {
  std::string path = Path("pack.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0), 0);
  for (int i = 1; i <= 300; ++i) {
    xb_AppendBlank();
    xb_PutString("TIT1", ("note " + std::to_string(i)).c_str());
    xb_PutMemo("mmm", ("body " + std::to_string(i)).c_str());
    xb_Commit();
    if (i % 3 == 0) xb_Delete();
  }
  g_codes.clear();
  xb_SetGaugePoster([](XbPtr window, uint16_t code) {
    EXPECT_EQ(window, 42);
    g_codes.push_back(code);
  });
  xb_SetGaugeHook(42);
  xb_Pack();
  xb_SetGaugeHook(0);
  EXPECT_EQ(xb_RecCount(), 200);
  ASSERT_FALSE(g_codes.empty());
  for (uint16_t c : g_codes) {
    EXPECT_NE(c & 0x7000, 0);
    int percent = static_cast<int16_t>(-static_cast<int16_t>(c));
    EXPECT_GE(percent, 1);
    EXPECT_LE(percent, 100);
  }
  EXPECT_EQ(g_codes.back(), XB_GAUGE_CODE(100));
  xb_GoTop();
  int n = 0;
  for (; !xb_Eof(); xb_Skip(1)) {
    ++n;
    int i = std::stoi(std::string(xb_GetTrimString("TIT1")).substr(5));
    EXPECT_NE(i % 3, 0);
    char* m = xb_GetMemo("mmm", 0);
    EXPECT_EQ(std::string(m), "body " + std::to_string(i));
    xb_MemDealloc(m);
  }
  EXPECT_EQ(n, 200);
  // No work files are left behind.
  for (auto& e : std::filesystem::directory_iterator(dir_))
    EXPECT_EQ(e.path().string().find('$'), std::string::npos) << e.path();
  xb_Zap();
  EXPECT_EQ(xb_RecCount(), 0);
  xb_Close();
  // Pack needs the table to itself.
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  xb_Delete();
  xb_Pack();
  EXPECT_EQ(xb_RecCount(), 1);
}

TEST_F(EngineTest, FailedWritesAreReportedAndLeaveTheStoredData) {
  std::string path = Path("fail.dbf");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  xb_PutMemo("mmm", "kept");
  xb_Commit();
  xb_Close();
  xbtest::WriteHookFs memoFails(".smt", xbtest::FailEveryWrite());
  xbe::SetFileSystem(&memoFails);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_GoTop();
  EXPECT_EQ(xb_PutBlob("mmm", "lost", 4), 0);
  xb_Commit();
  char* m = xb_GetMemo("mmm", 0);
  EXPECT_STREQ(m, "kept");
  xb_MemDealloc(m);
  xb_Close();
  xbtest::WriteHookFs dbfFails(".dbf", xbtest::FailEveryWrite());
  xbe::SetFileSystem(&dbfFails);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_GoTop();
  xb_AppendBlank();
  EXPECT_EQ(xb_RecCount(), 1);
  EXPECT_EQ(xb_RecNo(), 1);
  xb_PutString("TIT1", "never stored");
  xb_Commit();
  EXPECT_STREQ(xb_GetTrimString("TIT1"), "");
  xb_Close();
  xbe::SetFileSystem(nullptr);
}

}  // namespace

namespace {

using xbtest::EngineTest;

TEST_F(EngineTest, SystemPropertiesAndEnvironment) {
  unsigned char order[256];
  for (int i = 0; i < 256; ++i) order[i] = static_cast<unsigned char>(255 - i);
  EXPECT_NE(xb_SysProp(1101, reinterpret_cast<XbPtr>(order)), 0);
  EXPECT_EQ(xbe::Settings().collation[0], 255);
  EXPECT_EQ(xb_SysProp(1101, 0), 0);
  xb_SetDeleted(-1);
  EXPECT_NE(xb_SysProp(1006, 0), 0);
  xb_SetDeleted(0);
  EXPECT_EQ(xb_SysProp(1006, 0), 0);
  xb_SysProp(1009, 1);
  EXPECT_NE(xb_SysProp(1008, 0), 0);
  xb_SysProp(1009, 0);
  EXPECT_EQ(xb_SysProp(1008, 0), 0);
  EXPECT_EQ(xb_SysProp(1003, 1), 0);  // returns the setting it replaced
  EXPECT_NE(xb_SysProp(1002, 0), 0);
  EXPECT_TRUE(xbe::Settings().wholeKeySeek);
  EXPECT_EQ(xb_SysProp(3000, 0), 0);  // no table, no orders
  EXPECT_EQ(xb_SysProp(3002, 0), 0);
  EXPECT_EQ(xb_SysProp(4242, 7), 0);
  // A value argument carries a whole pointer.
  static_assert(sizeof(XbPtr) == sizeof(void*));
  xb_SetDateFormat(99);
  EXPECT_EQ(xb_GetDateFormat(), 99);
  EXPECT_EQ(xb_ErrorLevel(0), 1);
  EXPECT_EQ(xb_ErrorLevel(1), 0);
  EXPECT_STRNE(xb_Version(), "");
  EXPECT_EQ(xb_IsEncrypted(0), 0);
  // Gauge codes go out only while a window is hooked and a poster installed.
  static int posts;
  posts = 0;  // (a repeated run counts afresh)
  xb_SetGaugePoster([](XbPtr, uint16_t) { ++posts; });
  xbe::ReportProgress(50);
  EXPECT_EQ(posts, 0);
  xb_SetGaugeHook(7);
  xbe::ReportProgress(0);  // reported as 1, never 0
  xbe::ReportProgress(1);  // a repeat is dropped
  xbe::ReportProgress(50);
  EXPECT_EQ(posts, 2);
}

// A stretch of work that does not move the gauge still gives the gauge window its turn: a beat
// posts the last percentage again, and a wait on the disk runs on a thread of its own while the
// caller's thread goes on beating (or on working, for a job handed off as a copy goes).
std::vector<uint16_t> g_beatCodes;
std::vector<std::thread::id> g_beatThreads;
std::atomic<int> g_beatPosts{0};

TEST_F(EngineTest, StretchesThatDoNotMoveTheGaugeStillGiveTheWindowItsTurn) {
  g_beatCodes.clear();
  g_beatThreads.clear();
  g_beatPosts = 0;
  xb_SetGaugePoster([](XbPtr, uint16_t code) {
    g_beatCodes.push_back(code);
    g_beatThreads.push_back(std::this_thread::get_id());
    ++g_beatPosts;
  });
  const std::thread::id here = std::this_thread::get_id();
  // No window hooked: no beat goes out, and a job runs on the caller's thread.
  std::thread::id ranOn;
  xbe::WhileBeating([&] { ranOn = std::this_thread::get_id(); });
  EXPECT_EQ(ranOn, here);
  xbe::ProgressBeat();
  EXPECT_TRUE(g_beatCodes.empty());

  xb_SetGaugeHook(7);
  xbe::ProgressBeat();  // nothing reported yet: nothing to repeat
  EXPECT_TRUE(g_beatCodes.empty());
  xbe::ReportProgress(40);
  std::this_thread::sleep_for(std::chrono::milliseconds(xbe::kBeatMs + 5));
  xbe::ProgressBeat();
  EXPECT_EQ(g_beatCodes, (std::vector<uint16_t>{XB_GAUGE_CODE(40), XB_GAUGE_CODE(40)}));

  const auto waitFor = [](const std::function<bool()>& done) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done() && std::chrono::steady_clock::now() < give_up) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
  };
  // The job ends only once a beat has reached the window, which only the caller's thread sends.
  const int before = g_beatPosts;
  bool beaten = false;
  xbe::WhileBeating([&] {
    ranOn = std::this_thread::get_id();
    beaten = waitFor([&] { return g_beatPosts > before; });
  });
  EXPECT_NE(ranOn, here);
  EXPECT_TRUE(beaten);
  // Handed-off jobs: Start returns while its job still runs, and the next one waits for it.
  std::atomic<bool> released{false};
  bool sawRelease = false;
  std::vector<int> order;  // touched by the jobs alone, one at a time
  {
    xbe::BackgroundJobs jobs;
    jobs.Start([&] {
      sawRelease = waitFor([&] { return released.load(); });
      order.push_back(1);
    });
    released = true;  // reached only because Start did not wait for the job
    jobs.Start([&] { order.push_back(2); });
    jobs.Wait();
  }
  EXPECT_TRUE(sawRelease);
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  for (std::thread::id t : g_beatThreads) EXPECT_EQ(t, here);
  for (uint16_t c : g_beatCodes) EXPECT_EQ(c, XB_GAUGE_CODE(40)) << "a beat never moves the gauge";
  EXPECT_THROW(xbe::WhileBeating([] { throw std::runtime_error("disk gone"); }), std::runtime_error);
}

}  // namespace

namespace {

using xbtest::EngineTest;

// Every storage call on an unused work area, and with null arguments on an open one,
// answers neutrally instead of crashing.
void CallEverything() {
  char buf[64] = {};
  xb_GoTop();
  xb_GoBottom();
  xb_Go(3);
  xb_Skip(-2);
  xb_Delete();
  xb_Recall();
  xb_AppendBlank();
  xb_Append();
  xb_GetRecord(nullptr);
  xb_PutRecord(nullptr);
  xb_Commit();
  xb_Replace(nullptr, XB_RT_TEXT, nullptr);
  xb_Replace("NAME", XB_RT_DOUBLE, nullptr);
  xb_Replace("NAME", XB_RT_FILEBLOB, "/nonexistent/file");
  xb_PutString(nullptr, nullptr);
  xb_PutMemo(nullptr, nullptr);
  xb_PutDateString("NAME", nullptr);
  EXPECT_STREQ(xb_GetString(nullptr), "");
  EXPECT_STREQ(xb_GetTrimString("NOPE"), "");
  EXPECT_EQ(xb_GetLong(nullptr), 0);
  EXPECT_EQ(xb_GetDouble(nullptr), 0.0);
  EXPECT_STREQ(xb_FieldType(nullptr), "");
  EXPECT_STREQ(xb_FieldName(0), "");
  EXPECT_STREQ(xb_FieldName(999), "");
  EXPECT_EQ(xb_FieldNum(nullptr), 0);
  EXPECT_EQ(xb_GetByte("NAME", 999), 0);
  char* m = xb_GetMemo(nullptr, 0);
  EXPECT_STREQ(m, "");
  xb_MemDealloc(m);
  EXPECT_EQ(xb_GetBlob(nullptr, buf), 0);
  EXPECT_EQ(xb_GetBlobEx("NAME", nullptr, 10), 0);
  EXPECT_EQ(xb_PutBlob("NAME", nullptr, 5), 0);
  EXPECT_EQ(xb_BlobToFile(nullptr, nullptr), 0);
  xb_Unlock(0);
  xb_Pack();
  xb_Zap();
  xb_CreateField(nullptr, nullptr, 0, 0);
}

TEST_F(EngineTest, NeutralAnswersInsteadOfCrashes) {
  xb_Select(123);
  CallEverything();
  EXPECT_EQ(xb_RecNo(), 0);
  EXPECT_NE(xb_Eof(), 0);
  EXPECT_STREQ(xb_Alias(123), "");
  EXPECT_EQ(xb_Rlock(1), 0);
  EXPECT_EQ(xb_Select(0), 123);  // out of range: the selection stays
  EXPECT_EQ(xb_Select(251), 123);
  EXPECT_LE(xb_UseEx(nullptr, nullptr, 0, 0, 0), 0);
  EXPECT_LE(xb_UseEx(Path("missing").c_str(), nullptr, 0, 0, 0), 0);
  EXPECT_EQ(xb_CreateNew(nullptr, nullptr, 3, 1), 0);
  std::string path = Path("neutral.dbf");
  MakeNamed(path, 1, {});
  ASSERT_GT(xb_UseEx(path.c_str(), nullptr, XB_OPEN_SHARED, 0, 0), 0);
  CallEverything();
  xb_Go(1);
  EXPECT_STREQ(xb_GetTrimString("NAME"), "R1");
}

}  // namespace

namespace {

using xbtest::EngineTest;

// Random damage to a note file and its memo file: opening and reading never crashes, loops
// or reads past what the files hold.
TEST_F(EngineTest, RandomlyDamagedNoteFilesAreReadSafely) {
  std::string path = Path("fuzz.dbf");
  std::string smt = Path("fuzz.smt");
  ASSERT_TRUE(xbtest::CreateNoteFile(path));
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  for (int i = 0; i < 6; ++i) {
    xb_AppendBlank();
    xb_PutString("TIT1", xbtest::Hangul(i * 5).c_str());
    xb_PutMemo("MMM", xbtest::Hangul(40 * i + 1).c_str());
    xb_Commit();
  }
  xb_Close();
  const std::string dbf0 = ReadFile(path), smt0 = ReadFile(smt);
  uint64_t state = 12345;
  auto next = [&]() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  };
  for (int round = 0; round < 300; ++round) {
    std::string dbf = dbf0, memo = smt0;
    int flips = 1 + next() % 6;
    for (int k = 0; k < flips; ++k) {
      std::string& target = next() % 2 ? dbf : memo;
      // Mostly the headers, where damage matters most.
      size_t limit = next() % 4 ? std::min<size_t>(target.size(), 600) : target.size();
      target[next() % limit] = static_cast<char>(next());
    }
    if (next() % 8 == 0) dbf.resize(next() % dbf.size());
    if (next() % 8 == 0) memo.resize(next() % memo.size());
    WriteFile(path, dbf);
    WriteFile(smt, memo);
    if (xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) continue;
    int steps = 0;
    for (xb_GoTop(); !xb_Eof() && steps < 100; xb_Skip(1), ++steps) {
      xb_GetTrimString("TIT1");
      XbLong n = xb_GetBlobLength("MMM");
      std::vector<char> blob(static_cast<size_t>(std::max<XbLong>(n, 1)));
      EXPECT_LE(xb_GetBlobEx("MMM", blob.data(), static_cast<XbLong>(blob.size())), n);
      char* m = xb_GetMemo("MMM", 0);
      if (std::string(xb_FieldType("MMM")) == "M") {
        EXPECT_LE(std::strlen(m), static_cast<size_t>(n));
      }
      xb_MemDealloc(m);
    }
    EXPECT_LT(steps, 100) << "round " << round;
    xb_Close();
  }
}

}  // namespace

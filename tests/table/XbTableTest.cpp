// Table dataset over the real engine: open and close, field definitions of note files,
// note-file creation, record translation, field reads, delete, bookmarks and Julian days.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "NoteFileFixture.h"
#include "platform/core/Fields.h"
#include "platform/core/Services.h"
#include "platform/core/Streams.h"
#include "support/CommaLocale.h"
#include "table/XbEnv.h"

using namespace notefile;

namespace {

using E = XbEntryPoints;

// Puts raw bytes into one field of the engine's current record and writes it.
void PokeField(TXbTable& T, const std::string& Field, const std::string& Bytes) {
  T.SelectWorkArea();
  T.xb_Go(T.RecNo());
  T.xb_GetRecord();
  const int offset = T.xb_FieldOffset(Field) - 1;
  std::string padded = Bytes;
  padded.resize(static_cast<size_t>(T.xb_FieldWidth(Field)), ' ');
  std::memcpy(T.RecordImage.data() + offset, padded.data(), padded.size());
  T.xb_PutRecord();
  T.xb_Commit();
}

// The bytes of one field of the engine's current record.
std::string StoredBytes(TXbTable& T, const std::string& Field) {
  T.SelectWorkArea();
  T.xb_GetRecord();
  const size_t offset = static_cast<size_t>(T.xb_FieldOffset(Field) - 1);
  return std::string(T.RecordImage.data() + offset, static_cast<size_t>(T.xb_FieldWidth(Field)));
}

}  // namespace

class XbTableTest : public NoteTableTest {};

// Both title widths open with fields of the stored widths, in engine order, and closing
// leaves nothing open in the engine.
TEST_F(XbTableTest, NoteFileOpensWithItsFieldsAndCloses) {
  for (int width : {40, 60}) {
    SCOPED_TRACE(width);
    const std::string file = CreateNoteFile("w" + std::to_string(width), width, {{"first", "b"}});
    TTestTable& t = OpenNote(file);
    ASSERT_GT(t.WorkArea, 0);
    EXPECT_TRUE(t.CursorOpen);
    const char* names[] = {"MMM", "KNO", "CHK", "LOCK", "TYPE", "BIBLE", "TIT1", "TIT2", "TIT3", "TIT4"};
    ASSERT_EQ(t.FieldDefs().Count(), 10);
    ASSERT_EQ(t.FieldCount(), 10);
    for (int i = 0; i < 10; ++i) {
      EXPECT_EQ(t.FieldDefs()[i]->Name, names[i]);
      EXPECT_EQ(t.FieldDefs()[i]->FieldNo, i + 1);
    }
    EXPECT_EQ(t.FieldDefs()[0]->DataType, ftMemo);
    EXPECT_EQ(t.FieldByName("tit1")->Size(), width);
    EXPECT_EQ(t.FieldByName("TIT2")->Size(), 40);
    EXPECT_EQ(t.FieldByName("TIT4")->Size(), width);
    EXPECT_EQ(t.FieldInfos[6].Width, width);
    EXPECT_EQ(t.RecordSize, 1 + 10 + 12 + 1 + 1 + 1 + 4 + width + 40 + 40 + width);
    // Positioned on the first visible note: the header is hidden.
    EXPECT_EQ(t.RecNo(), 2);
    EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "first");
    const std::string alias = t.xb_Alias(t.WorkArea);
    t.Close();
    EXPECT_EQ(t.WorkArea, 0);
    EXPECT_FALSE(t.CursorOpen);
    EXPECT_EQ(XbCall(&E::xb_WorkArea, alias.c_str()), 0);
  }
}

// Asking for the definitions of a closed table opens it for that and closes it again; a
// table name without extension finds the file whatever the letter case on disk.
TEST_F(XbTableTest, DefinitionsOfAClosedTableAndNamesWithoutExtension) {
  CreateNoteFile("plain", 40);
  TTestTable& t = NewTable();
  t.SetTableType(ttXBNSX);
  t.SetTableName(folder.Path + "/PLAIN");
  t.FieldDefs().Update();
  EXPECT_EQ(t.FieldDefs().Count(), 10);
  EXPECT_EQ(t.WorkArea, 0);
  t.Open();
  EXPECT_GT(t.WorkArea, 0);
  EXPECT_EQ(t.FullTableFileName(), folder.Path + "/PLAIN.DBF");
}

TEST_F(XbTableTest, OpenRefusals) {
  TTestTable& nameless = NewTable();
  nameless.SetName("NoteTable");
  EXPECT_EQ(XbMessage([&] { nameless.Open(); }), "NoteTable : Missing TableName property");
  EXPECT_FALSE(nameless.Active());

  TTestTable& missing = NewTable();
  missing.SetTableName(folder.Path + "/none.dbf");
  EXPECT_EQ(XbMessage([&] { missing.Open(); }),
            "Table, file or directory does not exist.\rFile: " + folder.Path + "/none.dbf");
  EXPECT_EQ(missing.LastErrorMessage,
            "Table, file or directory does not exist.\rFile: " + folder.Path + "/none.dbf");
  EXPECT_FALSE(missing.Active());
  EXPECT_EQ(missing.WorkArea, 0);
}

// An open refused after the engine had opened the file (two fields of one name; an extra
// index file that is not there) leaves nothing open: the table name can change, no file stays
// open, and the next open of a good file works, as often as it happens.
TEST_F(XbTableTest, AFailedOpenLeavesTheTableClosed) {
  const std::string twice = CreateTable("twice", {{"AAA", "C", 5}, {"BBB", "C", 5}}, {{"x", "y"}});
  {
    // The second field's name becomes the first's.
    std::fstream f(twice, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(64);
    f.write("AAA", 3);
  }
  const std::string good = CreateNoteFile("good", 40, {{"note", "body"}});
  auto openFiles = [] {
    std::size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) n += e.exists() ? 1 : 0;
    return n;
  };
  struct Case {
    const char* what;
    std::string file;
    std::string extraIndex;
  };
  const Case cases[] = {{"two fields of one name", twice, ""}, {"a missing extra index", good, "gone.nsx"}};
  const std::size_t before = openFiles();
  TTestTable& t = NewTable();
  t.SetTableType(ttXBNSX);
  for (int round = 0; round < 2; ++round) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      t.ExtraIndexes().Clear();
      if (!c.extraIndex.empty()) t.ExtraIndexes().Add(c.extraIndex);
      t.SetTableName(c.file);
      EXPECT_ANY_THROW(t.Open());
      EXPECT_FALSE(t.Active());
      EXPECT_EQ(t.WorkArea, 0);
      EXPECT_ANY_THROW(t.FieldDefs().Update());
      EXPECT_EQ(t.WorkArea, 0);
      EXPECT_EQ(openFiles(), before);
    }
  }
  t.ExtraIndexes().Clear();
  t.SetTableName(good);
  t.Open();
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "note");
  t.Close();
  EXPECT_EQ(openFiles(), before);
}

// The first environment of the application is copied at every open and applied to the
// engine: here deleted records are shown, so the header is the first record.
TEST_F(XbTableTest, EnvironmentSnapshotAtOpen) {
  const std::string file = CreateNoteFile("env", 40, {{"a", ""}});
  TComponent module;
  auto* env = new TXbEnv(&module);
  env->SetEpoch(1950);
  env->SetDeleted(false);
  SetDeletedHidden(true);
  RegisterDataModule(&module);
  struct Unregister {
    TComponent* m;
    ~Unregister() { UnregisterDataModule(m); }
  } unregister{&module};
  TTestTable& t = OpenNote(file);
  EXPECT_TRUE(t.EnvApplies);
  EXPECT_EQ(t.EnvSnapshot.Epoch, 1950);
  EXPECT_FALSE(t.EnvSnapshot.Deleted);
  EXPECT_EQ(t.ErrorFunc, -1);
  EXPECT_EQ(t.RecNo(), 1);
  int year = 0, month = 0, day = 0;
  DecodeDate(Date(), year, month, day);
  EXPECT_EQ(FormatSettings.TwoDigitYearCenturyWindow, (year - 1950) % 100);
  t.Close();
  env->SetApplyTo(0);  // no longer for local tables: the next open takes the defaults
  t.Open();
  EXPECT_FALSE(t.EnvApplies);
  EXPECT_EQ(t.EnvSnapshot.Epoch, 1980);
}

// The file store's new-file routine: header record 1 deleted with the labels, then an empty
// first note; the new file opens on that note.
TEST_F(XbTableTest, NoteFileCreation) {
  const std::string file = CreateNoteFile("made", 60, {{"", ""}});
  TTestTable& t = OpenNote(file);
  EXPECT_EQ(t.RecCount(), 2);
  EXPECT_EQ(t.RecNo(), 2);
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "");
  SetDeletedHidden(false);
  t.SetRecNo(1);
  EXPECT_EQ(t.RecNo(), 1);
  EXPECT_NE(t.xb_Deleted(), 0);
  EXPECT_EQ(t.GetTrimString("TIT1"), "Title1  Title2  Title3  Title4");
  EXPECT_EQ(t.GetString("TIT2"), "test notes" + std::string(30, ' '));
}

TEST_F(XbTableTest, CreationRefusals) {
  TTestTable& t = NewTable();
  EXPECT_EQ(XbMessage([&] { t.CreateField("TIT1", "C", 10, 0); }),
            "Must call CreateNew before CreateField");
  EXPECT_EQ(XbMessage([&] { t.CreateExec(); }), "Must call CreateNew before CreateExec");
  ASSERT_TRUE(t.CreateNew(PathOf("refuse"), XB_TT_NSX, 2));
  EXPECT_LT(t.WorkArea, 0);
  struct Case {
    const char* name;
    const char* type;
    XbShort length;
    const char* message;
  } cases[] = {
      {"", "C", 10, "Invalid field name. Field names must begin with a letter"},
      {"1TIT", "C", 10, "Invalid field name. Field names must begin with a letter"},
      {"TIT1", "", 10, "Invalid field type"},
      {"TIT1", "C", 0, "Invalid field length."},
  };
  for (const Case& c : cases)
    EXPECT_EQ(XbMessage([&] { t.CreateField(c.name, c.type, c.length, 0); }), c.message) << c.name;
  t.CreateField("TIT1", "C", 10, 0);
  EXPECT_EQ(t.CreateExec(), -1);
  EXPECT_EQ(t.WorkArea, 0);
  EXPECT_TRUE(FileExists(PathOf("refuse")));
}

// Stored bytes and what the buffer makes of them; then the stored bytes after another
// field of the same record was edited and posted.
TEST_F(XbTableTest, RecordTranslation) {
  const std::string file = CreateTable("kinds", {{"NAME", "C", 10}, {"SMALL", "N", 4},
                                                  {"AMOUNT", "N", 8, 2}, {"FLAG", "L", 1},
                                                  {"DAY", "D", 8}, {"OTHER", "C", 5}},
                                        {});
  struct Case {
    const char* field;
    const char* stored;
    bool null;
    double number;        // numeric and logical (1 / 0) fields
    const char* text;     // string and date fields (date as yyyymmdd, "" for day number 0)
  } cases[] = {
      {"NAME", "abc  ", false, 0, "abc"},
      {"NAME", "", false, 0, ""},
      {"SMALL", "  12", false, 12, nullptr},
      {"SMALL", "12  ", false, 12, nullptr},
      {"SMALL", "    ", true, 0, nullptr},
      {"SMALL", "ab  ", true, 0, nullptr},
      {"AMOUNT", "    3.14", false, 3.14, nullptr},
      {"AMOUNT", "3,5     ", false, 3.5, nullptr},
      {"AMOUNT", "1,234.50", false, 1234.5, nullptr},
      {"FLAG", "T", false, 1, nullptr},
      {"FLAG", "Y", false, 1, nullptr},
      {"FLAG", "y", false, 0, nullptr},
      {"FLAG", "F", false, 0, nullptr},
      {"FLAG", " ", true, 0, nullptr},
      {"DAY", "20230115", false, 0, "20230115"},
      {"DAY", "20230230", false, 0, ""},
      {"DAY", "        ", true, 0, nullptr},
  };
  TTestTable& t = OpenNote(file);
  EXPECT_EQ(t.FieldByName("SMALL")->DataType(), ftSmallint);  // N 4.0
  EXPECT_EQ(t.FieldByName("AMOUNT")->DataType(), ftFloat);
  EXPECT_EQ(static_cast<TFloatField*>(t.FieldByName("AMOUNT"))->DisplayFormat, "0.00");
  for (const Case& k : cases) {
    SCOPED_TRACE(std::string(k.field) + " [" + k.stored + "]");
    t.AppendBlank();
    t.FieldByName("OTHER")->SetAsString("x");
    t.Commit();
    PokeField(t, k.field, k.stored);
    t.Refresh();
    TField* f = t.FieldByName(k.field);
    EXPECT_EQ(f->IsNull(), k.null);
    if (!k.null) {
      if (f->DataType() == ftString) {
        EXPECT_EQ(f->AsString(), k.text);
      } else if (f->DataType() == ftDate) {
        int32_t day = -1;
        ASSERT_TRUE(f->GetData(&day));
        if (*k.text == '\0') {
          EXPECT_EQ(day, 0);
        } else {
          EXPECT_EQ(FormatDateTime("yyyymmdd", f->AsDateTime()), k.text);
        }
      } else if (f->DataType() == ftBoolean) {
        EXPECT_EQ(f->AsBoolean(), k.number != 0);
      } else {
        EXPECT_DOUBLE_EQ(f->AsFloat(), k.number);
      }
    }
    // Editing another field keeps these bytes as stored.
    t.Edit();
    t.FieldByName("OTHER")->SetAsString("y");
    t.Post();
    std::string expected = k.stored;
    expected.resize(static_cast<size_t>(t.FieldWidth(k.field)), ' ');
    EXPECT_EQ(Raw(t, k.field), expected);
    EXPECT_EQ(TrimRight(Raw(t, "OTHER")), "y");
  }
}

TEST_F(XbTableTest, NumbersWrittenToTheRecord) {
  const std::string file =
      CreateTable("nums", {{"NUM", "N", 3}, {"AMOUNT", "N", 7, 2}, {"DAY", "D", 8}}, {});
  TTestTable& t = OpenNote(file);
  t.AppendBlank();
  t.FieldByName("NUM")->SetAsInteger(12);
  t.FieldByName("AMOUNT")->SetAsFloat(-3.456);
  t.FieldByName("DAY")->SetAsDateTime(EncodeDate(2024, 2, 29));
  t.Commit();
  EXPECT_EQ(Raw(t, "NUM"), " 12");
  EXPECT_EQ(Raw(t, "AMOUNT"), "  -3.46");
  EXPECT_EQ(Raw(t, "DAY"), "20240229");

  // A refused post keeps the edit and its record lock: the user fixes the value and posts
  // again, and no one else can have written the record meanwhile.
  t.Edit();
  t.FieldByName("NUM")->SetAsInteger(1234);
  EXPECT_EQ(XbMessage([&] { t.Post(); }), "Translate error. Value out of bounds");
  EXPECT_EQ(t.State(), dsEdit);
  EXPECT_EQ(LockCount(t), 1);
  t.FieldByName("NUM")->SetAsInteger(123);
  t.Post();
  EXPECT_EQ(LockCount(t), 0);
  EXPECT_EQ(Raw(t, "NUM"), "123");
  t.Edit();
  t.FieldByName("NUM")->SetAsInteger(1234);
  EXPECT_EQ(XbMessage([&] { t.Post(); }), "Translate error. Value out of bounds");
  t.Cancel();
  EXPECT_EQ(LockCount(t), 0);
  EXPECT_EQ(Raw(t, "NUM"), "123");

  // A refused insert leaves the file as it was: no record, deleted or not, is appended.
  const XbLong records = t.RecCount();
  t.AppendBlank();
  t.FieldByName("NUM")->SetAsInteger(5000);
  EXPECT_EQ(XbMessage([&] { t.Commit(); }), "Translate error. Value out of bounds");
  EXPECT_EQ(t.RecCount(), records);
  t.FieldByName("NUM")->SetAsInteger(50);
  t.Commit();
  EXPECT_EQ(t.RecCount(), records + 1);
  EXPECT_EQ(Raw(t, "NUM"), " 50");
  EXPECT_EQ(LockCount(t), 0);
}

// Under a comma-decimal locale (a German desktop) numbers still cross with a point, and a
// stored number reads the same through the table as through the engine.
TEST_F(XbTableTest, NumbersKeepTheirPointUnderACommaLocale) {
  commalocale::Scope german;
  if (!german) GTEST_SKIP() << german.Why();
  const std::string file = CreateTable("amounts", {{"NAME", "C", 10}, {"AMOUNT", "N", 10, 2}}, {});
  TTestTable& t = OpenNote(file);
  t.AppendBlank();
  t.FieldByName("AMOUNT")->SetAsFloat(1234.5);
  t.Commit();
  EXPECT_EQ(Raw(t, "AMOUNT"), "   1234.50");
  t.Refresh();
  t.First();
  EXPECT_DOUBLE_EQ(t.FieldByName("AMOUNT")->AsFloat(), 1234.5) << "the value is not lost";
  // What the user sees follows the display settings, not the process locale.
  auto* amount = dynamic_cast<TFloatField*>(t.FieldByName("AMOUNT"));
  ASSERT_NE(amount, nullptr);
  EXPECT_EQ(amount->AsString(), "1234.5");
  amount->DisplayFormat = "#,##0.00";
  EXPECT_EQ(amount->DisplayText(), "1,234.50");

  notes.clear();

  // Stored numbers as other writers left them, put straight into the file.
  struct Case {
    const char* stored;
    double value;
  } cases[] = {{"  1,234.50", 1234.5}, {"      2,25", 2.25}, {"     -0.75", -0.75}};
  std::string previous = "   1234.50";
  for (const Case& c : cases) {
    std::string bytes = ReadFileBytes(file);
    const std::size_t at = bytes.find(previous);
    ASSERT_NE(at, std::string::npos) << previous;
    bytes.replace(at, previous.size(), c.stored);
    WriteFileBytes(file, bytes);
    previous = c.stored;
    TTestTable& r = OpenNote(file);
    r.First();
    EXPECT_DOUBLE_EQ(r.FieldByName("AMOUNT")->AsFloat(), c.value) << c.stored;
    r.SelectWorkArea();
    EXPECT_DOUBLE_EQ(r.xb_GetDouble("AMOUNT"), c.value) << "the engine reads " << c.stored << " alike";
    notes.clear();
  }
}

// A field type the dataset cannot show gets no field, and the fields after it still find
// their own bytes; I fields are binary integers.
TEST_F(XbTableTest, FieldNumbersAndBinaryIntegers) {
  const std::string file = CreateTable(
      "mixed", {{"NAME", "C", 5}, {"RATE", "F", 8, 2}, {"COUNT", "I", 4}, {"LAST", "C", 5}}, {});
  {
    TXbDispatch d;
    d.WorkArea = d.xb_UseEx(file, "MIXED", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
    ASSERT_GT(d.WorkArea, 0);
    d.SelectWorkArea();
    d.xb_AppendBlank();
    const double rate = 1.5;
    const int32_t count = 70000;
    d.xb_Replace("RATE", XB_RT_DOUBLE, &rate);
    d.xb_Replace("COUNT", XB_RT_INT32, &count);
    d.xb_Replace("LAST", XB_RT_TEXT, "zz");
    d.xb_Commit();
    d.xb_Close();
  }
  TTestTable& t = OpenNote(file);
  ASSERT_EQ(t.FieldDefs().Count(), 3);
  EXPECT_EQ(t.FieldByName("LAST")->FieldNo(), 4);
  EXPECT_EQ(t.FieldByName("LAST")->AsString(), "zz");
  EXPECT_EQ(t.FieldByName("COUNT")->AsInteger(), 70000);
  t.Edit();
  t.FieldByName("LAST")->SetAsString("yy");
  t.FieldByName("COUNT")->SetAsInteger(70001);
  t.Post();
  t.SelectWorkArea();
  EXPECT_DOUBLE_EQ(t.xb_GetDouble("RATE"), 1.5);
  EXPECT_EQ(t.xb_GetLong("COUNT"), 70001);
  EXPECT_EQ(t.GetTrimString("LAST"), "yy");

  // An I field left empty, or emptied, is binary zero: four blanks read as 538976288
  // in other tools.
  t.Append();
  t.FieldByName("NAME")->SetAsString("new");
  t.Post();
  EXPECT_EQ(StoredBytes(t, "COUNT"), std::string(4, '\0'));
  t.First();
  t.Edit();
  t.FieldByName("COUNT")->Clear();
  t.Post();
  EXPECT_EQ(StoredBytes(t, "COUNT"), std::string(4, '\0'));
  t.SelectWorkArea();
  t.xb_AppendBlank();
  EXPECT_EQ(StoredBytes(t, "COUNT"), std::string(4, '\0'));
}

// Index definitions come from the engine's orders when the table opens.
TEST_F(XbTableTest, IndexDefinitions) {
  const std::string file = CreateNoteFile("tags", 40, {{"a", ""}});
  {
    TTestTable& t = OpenNote(file, true);
    ASSERT_NE(t.IndexTag("", "TIT1", "tit1", 0, false, ""), 0);
    ASSERT_NE(t.IndexTag("", "UP2", "UPPER(TIT2)", 0, true, ""), 0);
    t.Close();
  }
  TTestTable& t = OpenNote(file);
  TIndexDefs& defs = t.IndexDefs();
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs[0]->Name, "TIT1");
  EXPECT_EQ(defs[0]->Fields, "TIT1");
  EXPECT_EQ(defs[0]->Options, 0u);
  EXPECT_EQ(UpperCase(defs[0]->Source), "TAGS.NSX");
  EXPECT_EQ(defs[1]->Name, "UP2");
  EXPECT_EQ(defs[1]->Fields, "");
  EXPECT_EQ(defs[1]->Expression, "UPPER(TIT2)");
  EXPECT_EQ(defs[1]->Options, ixCaseInsensitive | ixExpression | ixDescending);
  EXPECT_EQ(t.IndexName, "");  // natural order still
}

// A copy of the open table under another name, appended back with a condition.
TEST_F(XbTableTest, CopyAppendAndCount) {
  const std::string file = CreateNoteFile("source", 40, {{"a", "body a"}, {"b", ""}});
  TTestTable& t = OpenNote(file, true);
  const std::string copy = PathOf("copy");
  EXPECT_EQ(t.CopyFile(copy), -1);
  EXPECT_TRUE(FileExists(copy));
  EXPECT_EQ(t.Count(), 2);  // the deleted header is not counted while hidden
  EXPECT_EQ(t.AppendFrom(copy, XB_TT_NSX, "TIT1 = \"a\""), -1);
  EXPECT_EQ(t.RecCount(), 4);
  t.Last();
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "a");
  EXPECT_EQ(t.FieldByName("MMM")->AsString(), "body a");
  EXPECT_EQ(t.DBFilter(), "");
  t.Query("TIT1 = \"b\"");
  EXPECT_EQ(t.DBFilter(), "TIT1 = \"b\"");
  TTestTable& closed = NewTable();
  EXPECT_EQ(closed.CopyFile(copy), 0);
  EXPECT_EQ(closed.AppendFrom(copy, XB_TT_NSX, ""), 0);
  EXPECT_EQ(closed.DBFilter(), "");
}

TEST_F(XbTableTest, FieldReads) {
  const std::string file = CreateNoteFile("reads", 40, {{"abc", ""}});
  TTestTable& t = OpenNote(file);
  EXPECT_EQ(t.GetString("TIT1"), "abc" + std::string(37, ' '));
  EXPECT_EQ(t.GetTrimString("TIT1"), "abc");
  EXPECT_EQ(t.FieldWidth("TIT3"), 40);
  TTestTable& closed = NewTable();
  EXPECT_EQ(closed.Flock(), 0);
  EXPECT_EQ(closed.GetString("TIT1"), "");
  EXPECT_EQ(closed.Count(), 0);
}

// With deleted records hidden the delete moves on (to the new last record after the last);
// shown, the deleted record stays current.
TEST_F(XbTableTest, DeleteRule) {
  const std::string file = CreateNoteFile("del", 40, {{"a", ""}, {"b", ""}, {"c", ""}});
  TTestTable& t = OpenNote(file);
  t.Last();
  EXPECT_EQ(t.RecNo(), 4);
  t.Delete();
  EXPECT_EQ(t.RecNo(), 3);
  EXPECT_EQ(t.FieldByName("TIT1")->AsString(), "b");
  t.First();
  t.Delete();
  EXPECT_EQ(t.RecNo(), 3);

  SetDeletedHidden(false);
  t.Refresh();
  t.SetRecNo(3);
  t.Delete();
  EXPECT_EQ(t.RecNo(), 3);
  t.SelectWorkArea();
  EXPECT_NE(t.xb_Deleted(), 0);
}

// Bookmarks go back to their record; in an order they compare by key (numbers as numbers,
// text with quotes by the engine's order), reversed in a descending order, and equal keys
// by record number.
TEST_F(XbTableTest, Bookmarks) {
  const std::string file = CreateTable("marks", {{"NAME", "C", 10}, {"NUM", "N", 5}}, {});
  TTestTable& t = OpenNote(file, true);
  const std::vector<std::pair<std::string, int>> rows = {
      {"b\"q", 9}, {"a", 10}, {"b\"q", 100}, {"c", 9}};
  for (const auto& r : rows) {
    t.AppendBlank();
    t.FieldByName("NAME")->SetAsString(r.first);
    t.FieldByName("NUM")->SetAsInteger(r.second);
    t.Commit();
  }
  auto markOf = [&](int recNo) {
    t.SetRecNo(recNo);
    return t.GetBookmark();
  };
  const TBookmark m1 = markOf(1), m2 = markOf(2), m3 = markOf(3), m4 = markOf(4);
  t.GotoBookmark(m2);
  EXPECT_EQ(t.FieldByName("NAME")->AsString(), "a");
  EXPECT_EQ(t.CompareBookmarks(m1, m2), -1);
  EXPECT_EQ(t.CompareBookmarks(m2, TBookmark()), 2);

  ASSERT_NE(t.IndexTag("", "NUMS", "NUM", 0, false, ""), 0);
  EXPECT_EQ(t.CompareBookmarks(m1, m2), -1);  // 9 before 10
  EXPECT_EQ(t.CompareBookmarks(m4, m1), 1);   // equal keys: record numbers
  ASSERT_NE(t.IndexTag("", "NAMES", "NAME", 0, false, ""), 0);
  EXPECT_EQ(t.CompareBookmarks(m1, m2), 1);
  EXPECT_EQ(t.CompareBookmarks(m1, m3), -1);
  EXPECT_EQ(t.CompareBookmarks(m3, m4), -1);
  ASSERT_NE(t.IndexTag("", "NAMESD", "NAME", 0, true, ""), 0);
  EXPECT_EQ(t.CompareBookmarks(m1, m2), -1);
  EXPECT_EQ(t.CompareBookmarks(m1, m3), -1);  // equal keys stay in record order
}

// Defaults of a new table component, and the settings that depend on the table type.
TEST(XbTableRoutines, DefaultsAndTypeSettings) {
  TFakeServices services;
  TXbTable t;
  EXPECT_EQ(t.TableType(), ttXBFOX);
  EXPECT_EQ(t.AccessMethod, amLocal);
  EXPECT_EQ(t.EOFAction, eaMoveLast);
  EXPECT_EQ(t.SequencedCount, scRawCount);
  EXPECT_EQ(t.FetchCount(), 50);
  EXPECT_EQ(t.FetchBlockCount, -1);
  EXPECT_EQ(t.CachedRecCount, -1);
  EXPECT_EQ(t.OrderPosition, -1);
  EXPECT_EQ(t.ErrorFunc, -1);
  EXPECT_EQ(t.WorkArea, 0);
  EXPECT_TRUE(t.Sequenced());
  EXPECT_EQ(t.DefaultIndexExtension(), ".CDX");
  t.SetTableType(ttXBNTX);
  EXPECT_FALSE(t.Sequenced());
  EXPECT_EQ(t.DefaultIndexExtension(), ".NTX");
  t.SetTableType(ttXBNSX_DBT);
  EXPECT_TRUE(t.Sequenced());
  EXPECT_EQ(t.DefaultIndexExtension(), ".NSX");
  struct Code {
    TXbTableType type;
    XbShort code;
  } codes[] = {{ttXBNTX, 1}, {ttXBFOX, 2}, {ttXBNSX, 3}, {ttXBNSX_DBT, 4}, {ttXBNONE, 2}};
  for (const Code& c : codes) EXPECT_EQ(EngineTableCode(c.type), c.code);
}

TEST(XbTableRoutines, JulianDays) {
  struct Case {
    double julian;
    int y, m, d;
  } cases[] = {
      {1721426, 1, 1, 1},      {2451545, 2000, 1, 1},  {2451604, 2000, 2, 29},
      {2451605, 2000, 3, 1},   {2451910, 2000, 12, 31}, {2451911, 2001, 1, 1},
      {2460000.75, 2023, 2, 24},
  };
  for (const Case& c : cases) {
    int y = 0, m = 0, d = 0;
    DecodeDate(TXbTable::JulianDayToDate(c.julian), y, m, d);
    EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d) << c.julian;
  }
  EXPECT_EQ(TXbTable::JulianDayToDate(0), 0.0);
  EXPECT_EQ(TXbTable::JulianDayToDate(1e100), 0.0);
}

TEST(XbTableRoutines, KeyFieldsOfExpression) {
  struct Case {
    const char* expression;
    const char* fields;
  } cases[] = {
      {"UPPER(NAME)+DTOS(DAY)", "NAME;DAY"},
      {"LEFT(TIT1,10)", "TIT1"},
      {"STR(NUM,5)+NAME", "NUM;NAME"},
      {"tit1", "tit1"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(TXbTable::KeyFieldsOfExpression(c.expression), c.fields) << c.expression;
}

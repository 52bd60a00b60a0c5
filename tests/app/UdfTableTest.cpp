// The shared table routines of unit Udf on a real settings table and note file: the locked
// writes, the integer write and its lock on a failed conversion, the header guard, labels,
// file look-up and note-file creation.
#include "NoteBookFixture.h"


#include "app/Udf.h"
#include "support/ForkedLockHolder.h"
#include "platform/core/Cp949.h"
#include "table/XbEngine.h"

using cp949::K;

namespace nbtest {
namespace {

class UdfTableTest : public NoteBookTest {
 protected:
  void SetUp() override {
    NoteBookTest::SetUp();
    PlaceShippedFiles(data.Path());
  }
  // Locks held by the table's work area.
  static XbLong Locks(TXbTable& t) {
    t.SelectWorkArea();
    return XbCall(&XbEntryPoints::xb_LockCount);
  }
};

TEST_F(UdfTableTest, LockedWritesReachTheFileAndReleaseTheirLock) {
  auto t = OpenTable(data.Path(), "condb20.dbf");
  EXPECT_TRUE(ReplaceLocked(*t, "fname", "x.dbf"));
  EXPECT_TRUE(ReplacePosted(*t, "font3", K("굴림")));
  EXPECT_EQ(Locks(*t), 0);
  // 300 bytes of Hangul: at most 255 bytes are written, never half a syllable.
  std::string longText;
  for (int i = 0; i < 150; ++i) longText += K("가");
  EXPECT_TRUE(ReplaceLocked(*t, "fname", longText));
  t->Close();
  EXPECT_EQ(Trim(ReadField(data.Path(), "condb20.dbf", 1, "font3")), K("굴림"));
  const std::string stored = Trim(ReadField(data.Path(), "condb20.dbf", 1, "fname"));
  EXPECT_EQ(stored.size() % 2, 0u);
  EXPECT_TRUE(cp949::IsCharBoundary(stored, stored.size()));

  // Into a 40-byte title: 39 bytes and a blank, not a lone lead byte.
  std::string title = "a";
  for (int i = 0; i < 21; ++i) title += K("나");
  auto notes = OpenTable(data.Path(), "orvel27c.dbf");
  notes->SetRecNo(2);
  EXPECT_TRUE(ReplaceLocked(*notes, "tit2", title));
  EXPECT_EQ(notes->GetString("tit2"), title.substr(0, 39) + " ");
}

TEST_F(UdfTableTest, IntegerWrite) {
  struct Case {
    const char* text;
    int want;
  } cases[] = {{"1,2", 12}, {"", 0}, {"7  ", 7}, {"-3", -3}};
  auto t = OpenTable(data.Path(), "condb20.dbf");
  for (const Case& c : cases) {
    EXPECT_TRUE(ReplaceLockedInt(*t, "utab1", c.text)) << c.text;
    EXPECT_EQ(t->GetLong("utab1"), c.want) << "'" << c.text << "'";
  }
  EXPECT_THROW(ReplaceLockedInt(*t, "utab1", "abc"), EConvertError);
  EXPECT_EQ(Locks(*t), 0) << "a failed conversion releases the record";
  EXPECT_EQ(t->GetLong("utab1"), -3);
}

TEST_F(UdfTableTest, ARefusedLockShowsTheMessageAndWritesNothing) {
  auto t = OpenTable(data.Path(), "condb20.dbf");
  TXbEnv quick;  // refusals at once, not after the usual wait
  quick.SetLockTimeOut(0);
  // Another copy of the program holds the settings record.
  TForkedLockHolder other(data.Path() + "/condb20.dbf", 1);
  ASSERT_TRUE(other.Holding());
  const std::string before = t->GetString("fname");
  EXPECT_FALSE(ReplaceLocked(*t, "fname", "other.dbf"));
  EXPECT_FALSE(ReplacePosted(*t, "fname", "other.dbf"));
  EXPECT_FALSE(ReplaceLockedInt(*t, "utab1", "5"));
  other.Release();
  ASSERT_EQ(fake.Boxes.size(), 3u);
  for (const TMessageBoxCall& b : fake.Boxes) EXPECT_EQ(b.Text, kRecordLockFailed);
  t->Close();
  quick.SetLockTimeOut(1);
  EXPECT_EQ(ReadField(data.Path(), "condb20.dbf", 1, "fname"), before);
}

TEST_F(UdfTableTest, HeaderGuardHidesTheHeaderAgainEvenWhenAnErrorUnwinds) {
  auto t = OpenTable(data.Path(), "orvel27c.dbf");
  TXbEnv env;
  env.SetDeleted(true);
  t->GoTop();
  ASSERT_EQ(t->RecNo(), 2) << "the header is hidden";
  {
    THeaderRecord h(env, *t, heGoBottom);
    EXPECT_EQ(t->RecNo(), 1);
    EXPECT_FALSE(env.Deleted());
    h.Leave();
  }
  EXPECT_TRUE(env.Deleted());
  EXPECT_EQ(t->RecNo(), t->RecCount());
  try {
    THeaderRecord h(env, *t);
    t->GetString("no_such_field");
    FAIL() << "an unknown field raises";
  } catch (const Exception&) {
  }
  EXPECT_TRUE(env.Deleted());
  EXPECT_NE(t->RecNo(), 1);
}

TEST(NoteFileNames, LabelsAndLookUp) {
  const auto labels = HeaderLabels(K("제  목") + "  " + "AB");
  EXPECT_EQ(labels[0], K("제  목") + "  ");
  EXPECT_EQ(labels[1], "AB");
  EXPECT_EQ(labels[2], "");
  EXPECT_EQ(JoinLabels({K("가나다"), "ABCDEFGHIJ", "", "x"}), K("가나다") + "  ABCDEFGH        x       ");
  EXPECT_EQ(JoinLabels({K("가나다라마"), "", "", ""}).substr(0, 8), K("가나다라"));
  EXPECT_EQ(NoteDataFileName("  MyNotes "), "MyNotes.dbf") << "the name keeps the letter case typed";
}

TEST_F(UdfTableTest, FilesAreFoundWhateverTheirLetterCase) {
  EXPECT_EQ(FindFileNoCase(data.Path(), "CONDB20.DBF"), "condb20.dbf");
  EXPECT_EQ(FindFileNoCase(data.Path(), "ffdb.dbf"), "FFDB.DBF");
  EXPECT_EQ(FindFileNoCase(data.Path(), "none.dbf"), "");
  // A settings file left in upper case is not replaced by the shipped one.
  ASSERT_TRUE(RenameFile(data.Path() + "/condb20.dbf", data.Path() + "/CONDB20.DBF"));
  WriteFields(data.Path(), "CONDB20.DBF", 1, {{"fname", "orvel058.dbf"}});
  std::FILE* f = std::fopen((data.Path() + "/condb20._db").c_str(), "wb");
  std::fclose(f);
  PlaceShippedFiles(data.Path());
  EXPECT_TRUE(data.Has("condb20._db"));
  EXPECT_FALSE(data.Has("condb20.dbf"));
}

TEST_F(UdfTableTest, CreatingANoteFile) {
  auto settings = OpenTable(data.Path(), "condb20.dbf");
  TXbTable work;
  work.SetTableType(ttXBNSX);
  work.SetOEMTranslate(true);
  ASSERT_TRUE(CreateNoteFile(work, *settings, data.Path(), " Diary ", JoinLabels({"a", "b", "c", "d"}), K("일기장")));
  // The name keeps the letter case typed.
  EXPECT_TRUE(data.Has("Diary.dbf"));
  EXPECT_TRUE(data.Has("Diary.smt"));
  EXPECT_EQ(Trim(settings->GetString("fname")), "Diary.dbf");
  auto t = OpenTable(data.Path(), "diary.dbf");
  EXPECT_EQ(t->RecCount(), 2) << "the header and one empty note";
  EXPECT_EQ(t->FieldCount(), 10);
  t->SetRecNo(1);
  EXPECT_EQ(Trim(t->GetString("tit2")), K("일기장"));
  EXPECT_EQ(t->GetString("tit1").substr(0, 9), "a       b");
  t->Close();

  // Taken in another letter case is taken.
  EXPECT_FALSE(CreateNoteFile(work, *settings, data.Path(), "DIARY", "", ""));
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, "DIARY.dbf" + K(" 파일이 이미 있습니다."));
  EXPECT_FALSE(data.Has("DIARY.dbf"));
}

// The header is reached by its record number whatever order is in force: a title order that
// puts another note first must never make a header write land in a note.
TEST_F(UdfTableTest, HeaderGuardReachesRecordOneInATitleOrder) {
  auto t = OpenTable(data.Path(), "orvel27c.dbf");
  TXbEnv env;
  env.SetDeleted(true);
  ASSERT_GT(t->IndexTag("", "TIT2", "tit2", 0, false, ""), 0);
  t->GoTop();
  ASSERT_NE(t->RecNo(), 2) << "the title order must put another note first for this test";
  const std::string description = ReadField(data.Path(), "orvel27c.dbf", 1, "tit2");
  {
    THeaderRecord h(env, *t);
    EXPECT_EQ(t->RecNo(), 1);
    EXPECT_EQ(t->GetString("tit2"), description);
  }
  EXPECT_TRUE(env.Deleted());
}

}  // namespace
}  // namespace nbtest

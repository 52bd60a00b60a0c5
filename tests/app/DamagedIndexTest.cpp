// The note book on a damaged index: a note file whose index lost its tag definitions opens
// with its four title tags made again (each a whole order of the notes), and an order the
// engine had to give up is told in the window's own words when the error reaches the loop.
#include "NoteBookFixture.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>

#include "app/IndexDlg.h"
#include "table/XbError.h"

using cp949::K;

namespace nbtest {

namespace {

const std::vector<TNote> kNotes = {
    {"delta", "b", "z", "k"}, {"bravo", "a", "x", "m"}, {"echo", "c", "y", "l"}, {"alpha", "d", "w", "n"},
};

class DamagedIndexTest : public NoteBookTest {};

TEST_F(DamagedIndexTest, AnIndexWithoutReadableDefinitionsGetsItsTitleTagsBack) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
  } cases[] = {
      {"cut to 100 bytes", [](std::string& f) { f.resize(100); }},
      {"garbage in the tag directory",
       [](std::string& f) {
         std::mt19937 rng(5);
         for (std::size_t i = 128; i < 128 + 64 * 2; ++i) f[i] = static_cast<char>(rng());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* ext : {".dbf", ".smt", ".nsx"}) fs::remove(fs::path(data.Path()) / (std::string("notes") + ext));
    UseNoteFile(data.Path(), kNotes, " ");
    {
      auto t = OpenTable(data.Path(), "notes.dbf");
      t->IndexTag("", "TIT1", "tit1", 0, false, "");
      t->IndexTag("", "TIT2", "tit2", 0, false, "");
    }
    const fs::path nsx = fs::path(data.Path()) / "notes.nsx";
    std::string bytes;
    {
      std::ifstream in(nsx, std::ios::binary);
      bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    c.damage(bytes);
    {
      std::ofstream out(nsx, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    Start();
    EXPECT_TRUE(fake.Boxes.empty()) << (fake.Boxes.empty() ? "" : fake.Boxes[0].Text);
    TXbTable& notes = *MainForm->NoteTable;
    ASSERT_TRUE(notes.Active());
    EXPECT_FALSE(notes.IndexTagsLost);
    // The window shows the notes in their entry order, as after any opening.
    EXPECT_EQ(notes.IndexOrd(), 0);
    EXPECT_EQ(MainForm->NoteTable->Tag, 0);
    for (int n = 1; n <= 4; ++n) {
      const std::string tag = "TIT" + std::to_string(n), field = "tit" + std::to_string(n);
      ASSERT_TRUE(MainForm->IsTag(tag)) << tag;
      std::vector<std::string> want;
      for (const TNote& note : kNotes) want.push_back(std::vector<std::string>{note.tit1, note.tit2, note.tit3, note.tit4}[n - 1]);
      std::sort(want.begin(), want.end());
      notes.SetOrder(notes.TagArea(tag));
      std::vector<std::string> got;
      for (notes.First(); !notes.Eof(); notes.Next()) got.push_back(Trim(notes.GetString(field)));
      EXPECT_EQ(got, want) << tag;
    }
    DestroyProgramForms();
  }
}

TEST_F(DamagedIndexTest, AnOrderGivenUpIsToldInTheWindowsWords) {
  UseNoteFile(data.Path(), kNotes, " ");
  Start();
  try {
    throw EXbError(std::string(TXbTable::kIndexGivenUp) + "TIT1");
  } catch (...) {
    HandleException();
  }
  try {
    throw EXbError("Scope Set failed");
  } catch (...) {
    HandleException();
  }
  ASSERT_EQ(fake.Boxes.size(), 2u);
  EXPECT_EQ(fake.Boxes[0].Text, K("색인 파일이 손상되어 이 순서로는 보여 드릴 수 없습니다.\r\n입력순으로 보여 드립니다."));
  EXPECT_EQ(fake.Boxes[1].Text, "Scope Set failed.") << "other errors are shown as before";
}

}  // namespace
}  // namespace nbtest

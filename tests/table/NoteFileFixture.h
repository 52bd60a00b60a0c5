// Test fixture for the table dataset over the real engine: note files built the way the
// application builds them (ten fields, header record 1 kept deleted), the shared locked
// field write, and small raw-record helpers for translation cases.
//
//   std::string file = CreateNoteFile("notes", 60, {{"first", "body one"}, {"second", ""}});
//   TXbTable& t = OpenNote(file);    // shared, ttXBNSX, OEMTranslate
//
// Deleted records are hidden (the application's normal state) unless a test says otherwise.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "KeyTableFixture.h"

namespace notefile {

struct Note {
  std::string Title1;
  std::string Body;
};

// The table with its protected read slot opened up for the navigation cases.
class TTestTable : public TXbTable {
 public:
  using TXbTable::TXbTable;
  using TXbTable::GetRecord;
  using TXbTable::TempBuffer;
  TGetResult ReadCurrent() { return GetRecord(TempBuffer(), gmCurrent, false); }
};

inline void SetDeletedHidden(bool Hidden) {
  XbCall(&XbEntryPoints::xb_SetDeleted, static_cast<XbShort>(Hidden ? -1 : 0));
}

// The shared locked write of one text field: lock the current record, put the field in edit
// state, commit, unlock. False (and nothing written) when the lock is refused.
inline bool ReplaceLocked(TXbTable& Table, const std::string& Field, const std::string& Text) {
  const XbLong recNo = Table.RecNo();
  if (Table.Rlock(recNo) == 0) return false;
  char buffer[256] = {};
  std::strncpy(buffer, Text.c_str(), sizeof buffer - 1);
  Table.Edit();
  Table.Replace(Field, XB_RT_TEXT, buffer);
  Table.Commit();
  Table.Unlock(recNo);
  return true;
}

// The key tests' fixture (real engine beside the tests, a temporary folder, deleted records
// hidden) with note files on top.
class NoteTableTest : public keytable::KeyTableTest {
 protected:
  void TearDown() override {
    notes.clear();
    SetDeletedHidden(false);
    keytable::KeyTableTest::TearDown();
  }

  std::string PathOf(const std::string& Name) const { return folder.Path + "/" + Name + ".dbf"; }

  TTestTable& NewTable() {
    notes.push_back(std::make_unique<TTestTable>());
    return *notes.back();
  }

  // A table component on File, opened (shared unless Exclusive).
  TTestTable& OpenNote(const std::string& File, bool Exclusive = false) {
    TTestTable& t = NewTable();
    t.SetTableType(ttXBNSX);
    t.SetOEMTranslate(true);
    t.SetTableName(File);
    t.SetExclusive(Exclusive);
    t.Open();
    return t;
  }

  // Creates a note file as the file store does: the ten fields (tit1 and tit4 TitleWidth
  // wide), header record 1 with labels and description, deleted; then one record per note.
  std::string CreateNoteFile(const std::string& Name, int TitleWidth,
                             const std::vector<Note>& Notes = {}) {
    const std::string file = PathOf(Name);
    TTestTable& t = NewTable();
    EXPECT_TRUE(t.CreateNew(file, XB_TT_NSX, 10));
    const XbShort wide = static_cast<XbShort>(TitleWidth);
    t.CreateField("mmm", "m", 10, 0);
    t.CreateField("kno", "C", 12, 0);
    t.CreateField("chk", "C", 1, 0);
    t.CreateField("lock", "C", 1, 0);
    t.CreateField("type", "C", 1, 0);
    t.CreateField("bible", "C", 4, 0);
    t.CreateField("tit1", "C", wide, 0);
    t.CreateField("tit2", "C", 40, 0);
    t.CreateField("tit3", "C", 40, 0);
    t.CreateField("tit4", "C", wide, 0);
    EXPECT_EQ(t.CreateExec(), -1);
    EXPECT_EQ(t.WorkArea, 0);

    t.SetTableType(ttXBNSX);
    t.SetTableName(file);
    t.Open();
    t.AppendBlank();
    t.Commit();
    EXPECT_TRUE(ReplaceLocked(t, "tit1", "Title1  Title2  Title3  Title4  "));
    EXPECT_TRUE(ReplaceLocked(t, "tit2", "test notes"));
    t.Commit();
    t.Delete();
    for (const Note& n : Notes) {
      t.AppendBlank();
      t.FieldByName("TIT1")->SetAsString(n.Title1);
      t.FieldByName("TYPE")->SetAsString(" ");
      if (!n.Body.empty()) t.FieldByName("MMM")->SetAsString(n.Body);
      t.Commit();
    }
    t.Close();
    notes.pop_back();
    return file;
  }

  // Engine-level helpers on an open table's current record.
  static std::string Raw(TXbTable& T, const std::string& Field) {
    T.SelectWorkArea();
    return T.xb_GetString(Field);
  }
  static XbLong LockCount(TXbTable& T) {
    T.SelectWorkArea();
    return XbCall(&XbEntryPoints::xb_LockCount);
  }

  std::vector<std::unique_ptr<TTestTable>> notes;
};

}  // namespace notefile

// Fixture of the note book tests: a temporary data folder holding the shipped default files
// (the current folder while the test runs), small builders and readers of note files and of
// the settings table, and the program's forms started on that folder with every dialog,
// message box, shell call and sound answered or recorded by the test.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "app/MainForm.h"
#include "app/ModalRunner.h"
#include "app/NoteFile.h"
#include "app/Program.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/FakeServices.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/FakeDialogs.h"
#include "platform/ui/Forms.h"
#include "table/XbEnv.h"
#include "table/XbTable.h"

namespace nbtest {

namespace fs = std::filesystem;

// A table of the data folder, opened for a test's own reads and writes (deleted records
// visible, so record 1 is the header).
inline std::unique_ptr<TXbTable> OpenTable(const std::string& folder, const std::string& name) {
  TXbEnv env;  // the engine's switch is process-wide
  env.SetDeleted(false);
  auto t = std::make_unique<TXbTable>();
  t->SetTableType(ttXBNSX);
  t->SetOEMTranslate(true);
  t->SetDatabaseName(folder);
  t->SetTableName(name);
  t->Open();
  return t;
}

// Writes fields of record recNo of a table (each under its record lock).
inline void WriteFields(const std::string& folder, const std::string& name, int recNo,
                        const std::map<std::string, std::string>& values) {
  auto t = OpenTable(folder, name);
  t->SetRecNo(recNo);
  for (const auto& [field, value] : values) ASSERT_TRUE(ReplaceLocked(*t, field, value)) << field;
  t->Close();
}

inline std::string ReadField(const std::string& folder, const std::string& name, int recNo,
                             const std::string& field) {
  auto t = OpenTable(folder, name);
  t->SetRecNo(recNo);
  return t->GetString(field);
}

// A record of a note file as it lies on disk: the deletion mark, the mark fields as stored,
// the titles without trailing blanks, the body.
struct TNoteRecord {
  bool deleted = false;
  std::string chk;
  std::string tit[4];
  std::string type;
  std::string lock;
  std::string body;
  bool operator==(const TNoteRecord& o) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const TNoteRecord& r) {
  return os << (r.deleted ? "[deleted] " : "") << "chk '" << r.chk << "' | " << r.tit[0] << " | " << r.tit[1]
            << " | " << r.tit[2] << " | " << r.tit[3] << " | " << r.type << " | lock '" << r.lock << "' | "
            << r.body;
}

// Every record of a note file, in physical order: record 1 (the header) first.
inline std::vector<TNoteRecord> ReadRecords(const std::string& folder, const std::string& name) {
  auto t = OpenTable(folder, name);
  std::vector<TNoteRecord> out;
  for (XbLong r = 1; r <= t->RecCount(); ++r) {
    t->SetRecNo(static_cast<int>(r));
    t->SelectWorkArea();
    TNoteRecord rec;
    rec.deleted = t->xb_Deleted() != 0;
    rec.chk = t->GetString("chk");
    for (int i = 0; i < 4; ++i) rec.tit[i] = StrRTrim(t->GetString("tit" + std::to_string(i + 1)));
    rec.type = t->GetString("type");
    rec.lock = t->GetString("lock");
    rec.body = t->FieldByName("MMM")->AsString();
    out.push_back(rec);
  }
  return out;
}

// A note of a test file; what a test leaves out is empty.
struct TNote {
  std::string tit1 = {}, tit2 = {}, tit3 = {}, tit4 = {}, body = {};
};

// A note file with tit1 and tit4 of the given widths: the header (labels, description, link
// folder, lock) as record 1, deleted, then the notes.
inline void MakeNoteFile(const std::string& folder, const std::string& name, int titleWidth,
                         const std::string& labels, const std::string& description,
                         const std::string& linkPath, const std::string& lock,
                         const std::vector<TNote>& notes) {
  TXbTable t;
  ASSERT_TRUE(t.CreateNew(folder + "/" + name, kNoteTableTypeCode, 10));
  for (const TNoteFieldDef& f : kNoteFields) {
    const bool wide = std::string(f.Name) == "tit1" || std::string(f.Name) == "tit4";
    t.CreateField(f.Name, f.Type, static_cast<XbShort>(wide ? titleWidth : f.Length), 0);
  }
  ASSERT_NE(t.CreateExec(), 0);
  t.SetTableType(ttXBNSX);
  t.SetOEMTranslate(true);
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.Open();
  t.AppendBlank();
  t.Commit();
  ReplaceLocked(t, "tit1", labels);
  ReplaceLocked(t, "tit2", description);
  ReplaceLocked(t, "tit3", linkPath);
  ReplaceLocked(t, "lock", lock);
  t.Delete();
  for (const TNote& n : notes) {
    t.AppendBlank();
    t.Commit();
    ReplaceLocked(t, "chk", " ");
    ReplaceLocked(t, "type", " ");
    ReplaceLocked(t, "tit1", n.tit1);
    ReplaceLocked(t, "tit2", n.tit2);
    ReplaceLocked(t, "tit3", n.tit3);
    ReplaceLocked(t, "tit4", n.tit4);
    t.Edit();
    t.Replace("mmm", 3072, n.body.c_str());
    t.Commit();
  }
  t.Close();
}

// Makes "notes.dbf" (labels T1..T4, tit1 and tit4 60 wide) the current note file of the data
// folder; the notes become records 2, 3, ...
inline void UseNoteFile(const std::string& folder, const std::vector<TNote>& notes, const std::string& lock) {
  PlaceShippedFiles(folder);
  MakeNoteFile(folder, "notes.dbf", 60, JoinLabels({"T1", "T2", "T3", "T4"}), "desc", "", lock, notes);
  WriteFields(folder, "condb20.dbf", 1, {{"d2", "0270"}, {"fname", "notes.dbf"}});
}

// A data folder with the shipped files under their shipped names (and the help page); the
// current folder while it lives.
class TDataFolder {
 public:
  explicit TDataFolder(const std::string& tag) {
    FPath = (fs::temp_directory_path() / ("orv_app_" + tag + "_" + std::to_string(::getpid()))).string();
    fs::remove_all(FPath);
    fs::create_directories(FPath);
    fs::copy(fs::path(ORV_BINARY_DIR) / "share", FPath, fs::copy_options::recursive);
    FOld = fs::current_path();
    fs::current_path(FPath);
  }
  ~TDataFolder() {
    std::error_code ec;
    fs::current_path(FOld, ec);
    fs::remove_all(FPath, ec);
  }
  const std::string& Path() const { return FPath; }
  bool Has(const std::string& name) const { return fs::exists(fs::path(FPath) / name); }

 private:
  std::string FPath;
  fs::path FOld;
};

class NoteBookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.Loader.PointAtFolder(std::string(ORV_BINARY_DIR) + "/bin");
    oldHook = SetModalHook([this](TCustomForm* f) {
      shown.push_back(f->Name());
      f->SetModalResult(answer ? answer(*f) : mrCancel);
    });
  }
  void TearDown() override {
    DestroyProgramForms();
    SetModalHook(oldHook);
  }

  // Creates the forms in their order and shows the main window (its first activation).
  void Start() {
    CreateProgramForms(*Application);
    ASSERT_NE(MainForm, nullptr);
    MainForm->Show();
    Application->ProcessMessages();
  }
  // Closes the main window as the user does, then frees the forms.
  void Close() {
    MainForm->Close();
    Application->ProcessMessages();
    DestroyProgramForms();
  }

  // With the environment variable `envName` naming a PNG file (under Xvfb, QT_QPA_PLATFORM=xcb)
  // the main window is grabbed from the screen into it, after the pending timers have run.
  void GrabMainWindowIfAsked(const char* envName) {
    const char* out = std::getenv(envName);
    if (!out) return;
    for (int i = 0; i < 30; ++i) {
      Application->ProcessMessages();
      fake.Timers.Advance(100);
      ::usleep(20000);
    }
    QWidget* w = MainForm->Widget();
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect r = w->frameGeometry();
    QPixmap shot = screen->grabWindow(0, r.x(), r.y(), r.width(), r.height());
    if (shot.isNull() || QGuiApplication::platformName() == "offscreen") shot = w->grab();
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(out)));
  }

  std::string Settings(const std::string& field) {
    return ReadField(data.Path(), "condb20.dbf", 1, field);
  }

  TDataFolder data{::testing::UnitTest::GetInstance()->current_test_info()->name()};
  TFakeServices fake;
  TFakeDialogs dialogs;
  std::vector<std::string> shown;  // names of the dialogs shown, in order
  std::function<TModalResult(TCustomForm&)> answer;
  TModalHook oldHook;
};

}  // namespace nbtest

// bench_batch [notes=100000] [command ...]: the note book's batch commands on a generated note
// file, run through the program's forms on an offscreen display, beside the same work in
// SQLite (WAL, synchronous=NORMAL) on the same rows.
//
// Commands (all when none is named): tag (keyword tagging), vmark (V mark all), vclear (V mark
// clear all), merge (file-store merge into an empty file), merge4 (the same into a file with
// the four title tags), print (list print of all notes to PDF), browse (a title search in
// title order: Ctrl+Home, Ctrl+End, Page Down), pack (pack in title order), bodies (the batch
// code "9615": every plain body stored again as the body editor gives it back, from the first
// note on).
//
// Every command runs in a child process of its own on a fresh copy of the note file, so its
// peak memory (ru_maxrss from wait4) is its own; keyword tagging ends the program by design.
// Per command the line shows the wall time, the longest stall of the GUI thread (the longest
// gap of a 5 ms timer, which only fires while the windows get their events), the progress
// updates seen (gauge values and status-bar texts that changed between two such turns) and
// the peak memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/ConvForm.h"
#include "app/FileForm.h"
#include "app/FindForm.h"
#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/NoteFile.h"
#include "app/PrnList.h"
#include "app/Program.h"
#include "app/UdfTable.h"
#include "bench/engine/NoteGen.h"
#include "platform/core/Services.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/Printers.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/FakeDialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Gauges.h"
#include "platform/ui/StdCtrls.h"
#include "table/XbEngine.h"

#ifdef ORV_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Layout of the generated records (NoteGen): the offset of chk and the record size.
constexpr int kChkOffset = 1 + 10 + 12;
constexpr int kRecordSize = 1 + 10 + 12 + 1 + 1 + 1 + 4 + 60 + 40 + 40 + 60;
// The title searches of the browse command: one syllable, in about 2% of the notes, and two
// syllables together, in about one note of 100,000.
const char* const kSearchWords[2] = {"\xB0\xA1", "\xB0\xA1\xB3\xAA"};  // 가, 가나
const char* const kSqlSearchBytes[2] = {"X'B0A1'", "X'B0A1B3AA'"};
constexpr int kPageRows = 20;
constexpr int kPageDowns = 5;

// Child results travel to the parent as one line through a pipe.
struct TResult {
  std::string line;
  long peakKb = 0;
  bool ok = false;
};

TResult RunChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    close(fds[0]);
    std::string out;
    try {
      out = body();
    } catch (const std::exception& e) {
      out = std::string("FAILED: ") + e.what();
    }
    (void)!write(fds[1], out.data(), out.size());
    close(fds[1]);
    std::fflush(stdout);
    _exit(0);
  }
  close(fds[1]);
  TResult r;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) r.line.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  struct rusage use {};
  wait4(pid, &status, 0, &use);
  r.peakKb = use.ru_maxrss;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!r.ok) r.line += " (child died)";
  return r;
}

void CopyNoteFiles(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& e : fs::directory_iterator(from))
    if (e.is_regular_file() && e.path().extension() != ".sqlite" && e.path().extension() != ".sqlite-wal" &&
        e.path().extension() != ".sqlite-shm")
      fs::copy_file(e.path(), to / e.path().filename(), fs::copy_options::overwrite_existing);
}

// Calls Each with every raw record of a data file after the header record; false when the
// file is not of the generated layout.
template <class F>
bool EachRecord(const fs::path& dbf, F&& Each) {
  std::ifstream in(dbf, std::ios::binary);
  char head[32];
  if (!in.read(head, 32)) return -1;
  const uint32_t count = static_cast<uint8_t>(head[4]) | static_cast<uint8_t>(head[5]) << 8 |
                         static_cast<uint8_t>(head[6]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(head[7])) << 24;
  const uint16_t headerSize = static_cast<uint8_t>(head[8]) | static_cast<uint8_t>(head[9]) << 8;
  const uint16_t recSize = static_cast<uint8_t>(head[10]) | static_cast<uint8_t>(head[11]) << 8;
  if (recSize != kRecordSize) return false;
  in.seekg(headerSize);
  std::vector<char> rec(recSize);
  for (uint32_t i = 0; i < count && in.read(rec.data(), recSize); ++i)
    if (i > 0) Each(rec.data());
  return true;
}

// The marked notes of a data file (the header record excluded).
long CountMarked(const fs::path& dbf) {
  long marked = 0;
  const bool ok = EachRecord(dbf, [&](const char* rec) { marked += rec[0] != '*' && rec[kChkOffset] == 'v'; });
  return ok ? marked : -1;
}

// A digest of every note's title 4, to compare the keyword tagging of two builds.
std::string Tit4Digest(const fs::path& dbf) {
  constexpr int kTit4Offset = kRecordSize - 60;
  uint64_t h = 1469598103934665603ull;
  long tagged = 0;
  EachRecord(dbf, [&](const char* rec) {
    tagged += rec[kTit4Offset] != ' ';
    for (int k = 0; k < 60; ++k) h = (h ^ static_cast<unsigned char>(rec[kTit4Offset + k])) * 1099511628211ull;
  });
  char out[96];
  std::snprintf(out, sizeof out, "tagged %ld, title-4 digest %016llx", tagged, static_cast<unsigned long long>(h));
  return out;
}

// A digest of every note's body as the engine reads it back, to compare the re-stored bodies
// of two builds.
std::string BodyDigest(const std::string& folder, const std::string& name) {
  TXbTable t;
  t.SetTableType(ttXBNSX);
  t.SetDatabaseName(folder);
  t.SetTableName(name);
  t.Open();
  t.SelectWorkArea();
  uint64_t h = 1469598103934665603ull;
  long bodies = 0;
  for (t.xb_GoTop(); t.xb_Eof() == 0; t.xb_Skip(1)) {
    const std::string body = t.xb_GetMemo("mmm");
    bodies += !body.empty();
    for (unsigned char c : body) h = (h ^ c) * 1099511628211ull;
    h = (h ^ 0x100) * 1099511628211ull;
  }
  t.Close();
  char out[96];
  std::snprintf(out, sizeof out, "bodies %ld, body digest %016llx", bodies, static_cast<unsigned long long>(h));
  return out;
}

// Message boxes answered at once (Yes to every question), without the fake message loop, so
// the windows really get their turns.
class TBenchBoxes : public IMessageBoxService {
 public:
  int MessageBox(const std::string& Text, const std::string&, unsigned Flags) override {
    Texts.push_back(Text);
    const unsigned kind = Flags & 0x0F;
    return kind == MB_YESNO || kind == MB_YESNOCANCEL ? IDYES : IDOK;
  }
  std::vector<std::string> Texts;
};

// The GUI thread as the user sees it: a 5 ms timer notes the longest gap between two of its
// turns and the progress shown (gauges and status bars) that changed between two turns.
class TStallMeter {
 public:
  TStallMeter() {
    FTimer.setTimerType(Qt::PreciseTimer);
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] { Tick(); });
    FTimer.start();
  }
  void Begin() {
    FMeasuring = true;
    FLast = Clock::now();
    FLongest = 0;
    FUpdates = 0;
    FShown = Snapshot();
  }
  void End() {
    Tick();
    FMeasuring = false;
  }
  double LongestMs() const { return FLongest * 1000.0; }
  int Updates() const { return FUpdates; }

 private:
  static void Collect(TComponent* c, std::string& out) {
    if (auto* g = dynamic_cast<TGauge*>(c)) out += "g" + std::to_string(g->Visible() ? g->Progress() : -1) + ";";
    // The print dialogs name the page in hand in a label of their own.
    if (auto* l = dynamic_cast<TLabel*>(c); l && l->Name() == "StatusLabel1") out += l->Caption() + ";";
    if (auto* s = dynamic_cast<TStatusBar*>(c)) {
      out += s->SimpleText() + ";";
      for (int i = 0; i < s->Panels().Count(); ++i) out += s->Panels()[i].Text() + ";";
    }
    for (int i = 0; i < c->ComponentCount(); ++i) Collect(c->Components(i), out);
  }
  static std::string Snapshot() {
    std::string s;
    if (Application) Collect(Application, s);
    return s;
  }
  void Tick() {
    if (!FMeasuring) return;
    const auto now = Clock::now();
    FLongest = std::max(FLongest, std::chrono::duration<double>(now - FLast).count());
    FLast = now;
    std::string shown = Snapshot();
    if (shown != FShown) {
      ++FUpdates;
      FShown = std::move(shown);
    }
  }
  QTimer FTimer;
  bool FMeasuring = false;
  Clock::time_point FLast;
  double FLongest = 0;
  int FUpdates = 0;
  std::string FShown;
};

// The program on the note file `fname` of the current folder, its forms created and shown.
class TProgram {
 public:
  explicit TProgram(const std::string& fname) {
    FOldBoxes = SetMessageBoxService(&Boxes);
    EnsureEngineLoaded();
    SetModalHook([this](TCustomForm* f) {
      if (FPending) {
        auto act = std::move(FPending);
        FPending = nullptr;
        act(f);
      }
    });
    const std::string folder = fs::current_path().string();
    PlaceShippedFiles(folder);
    {
      TXbTable settings;
      settings.SetTableType(ttXBNSX);
      settings.SetDatabaseName(folder);
      settings.SetTableName("condb20.dbf");
      settings.Open();
      ReplaceLocked(settings, "d2", "0270");
      ReplaceLocked(settings, "fname", fname);
      settings.Close();
    }
    CreateProgramForms(FApp);
    MainForm->Show();
    FApp.ProcessMessages();
  }
  ~TProgram() {
    DestroyProgramForms();
    SetModalHook(nullptr);
    SetMessageBoxService(FOldBoxes);
  }
  // The next modal showing runs act with the dialog that shows.
  void OnNextModal(std::function<void(TCustomForm*)> act) { FPending = std::move(act); }
  bool Active() const { return MainForm && MainForm->NoteTable->Active(); }

  // Times Action as the user sees it: wall time, longest stall, progress updates.
  std::string Timed(const char* name, const std::function<std::string()>& action) {
    FApp.ProcessMessages();
    Meter.Begin();
    const auto t0 = Clock::now();
    std::string extra = action();
    const double s = Seconds(t0);
    Meter.End();
    char line[512];
    std::snprintf(line, sizeof line, "%-8s %9.3f s  stall %8.1f ms  progress %5d", name, s, Meter.LongestMs(),
                  Meter.Updates());
    return line + (extra.empty() ? "" : "  " + extra);
  }

  // The application object first: the meter's timer needs it.
  TApplication FApp;
  TBenchBoxes Boxes;
  TStallMeter Meter;

 private:
  TFakeDialogs FDialogs;
  IMessageBoxService* FOldBoxes = nullptr;
  std::function<void(TCustomForm*)> FPending;
};

std::string BoxesSeen(const TBenchBoxes& b) {
  std::string s;
  for (const std::string& t : b.Texts) s += " [" + cp949::ToUtf8(t) + "]";
  return s.empty() ? s : "boxes:" + s;
}

// A key as the user gives it, up to the window showing its result (the paints included).
void SendKey(QWidget* w, int key, Qt::KeyboardModifiers mods) {
  QKeyEvent press(QEvent::KeyPress, key, mods);
  QKeyEvent release(QEvent::KeyRelease, key, mods);
  QApplication::sendEvent(w, &press);
  QApplication::sendEvent(w, &release);
  QApplication::processEvents();
}

// ---- the commands in the program ----------------------------------------------------------

std::string ConvRun(const char* name, const std::function<void()>& choose) {
  TProgram p("bench.dbf");
  if (!p.Active()) return std::string(name) + " FAILED: the note file did not open";
  std::string line = p.Timed(name, [&] {
    p.OnNextModal([&](TCustomForm*) {
      ConvForm->FormActivate(ConvForm);
      choose();
    });
    MainForm->ConvBtnClick(MainForm);
    return std::string();
  });
  return line + "  " + BoxesSeen(p.Boxes);
}

std::string Vmark(bool mark) {
  std::string line = ConvRun(mark ? "vmark" : "vclear", [&] {
    (mark ? ConvForm->Rc1 : ConvForm->Rc4)->SetChecked(true);
    ConvForm->BitBtn1->Click();
  });
  return line + "  marked after: " + std::to_string(CountMarked("bench.dbf"));
}

// A maintenance code of the batch dialog from the first note on, timed; Result reads what it
// stored once the program is done with the note file.
std::string CodeRun(const char* name, const char* code, const std::function<std::string()>& result) {
  TProgram p("bench.dbf");
  if (!p.Active()) return std::string(name) + " FAILED: the note file did not open";
  MainForm->NoteTable->GoTop();
  std::string line = p.Timed(name, [&] {
    p.OnNextModal([&](TCustomForm*) {
      ConvForm->FormActivate(ConvForm);
      ConvForm->Edit2->SetText(code);
      ConvForm->Edit2Exit(ConvForm->Edit2);
    });
    MainForm->ConvBtnClick(MainForm);
    return std::string();
  });
  MainForm->NoteTable->Close();
  return line + "  " + result() + "  " + BoxesSeen(p.Boxes);
}

std::string Tagging() {
  return CodeRun("tag", "5820417736", [] { return Tit4Digest("bench.dbf"); });
}

std::string Bodies() {
  return CodeRun("bodies", "9615", [] { return BodyDigest(fs::current_path().string(), "bench.dbf"); });
}

std::string Merge(bool tagged) {
  const char* name = tagged ? "merge4" : "merge";
  TProgram p("tgt.dbf");
  if (!p.Active()) return std::string(name) + " FAILED: the target did not open";
  if (tagged)
    for (int n = 1; n <= 4; ++n)
      if (!IndexDlg->MakeIndex(*MainForm->NoteTable, "TIT" + std::to_string(n), "tit" + std::to_string(n)))
        return std::string(name) + " FAILED: tag build";
  std::string count;
  std::string line = p.Timed(name, [&] {
    p.OnNextModal([&](TCustomForm*) {
      FileForm->FormActivate(FileForm);
      for (int i = 0; i < FileForm->ListBox1->Items().Count(); ++i)
        if (LineMemoName(FileForm->ListBox1->Items()[i]) == "bench.smt") FileForm->ListBox1->SetItemIndex(i);
      FileForm->Button3->Click();
      for (int i = 0; i < FileForm->ListBox1->Items().Count(); ++i)
        if (LineMemoName(FileForm->ListBox1->Items()[i]) == "tgt.smt")
          count = "target count:" + FileForm->ListBox1->Items()[i].substr(56);
    });
    MainForm->FileBtnClick(MainForm);
    return std::string();
  });
  return line + "  " + count + "  " + BoxesSeen(p.Boxes);
}

std::string Print() {
  TProgram p("bench.dbf");
  if (!p.Active()) return "print FAILED: the note file did not open";
  int pages = 0;
  std::string line = p.Timed("print", [&] {
    p.OnNextModal([&](TCustomForm*) {
      PrnList->FormActivate(PrnList);
      PrnList->SpeedButton2->Click();
      pages = PrnList->PageCount();
    });
    MainForm->PrnListBtnClick(MainForm);
    return std::string();
  });
  const fs::path pdf = fs::path(TPrinter::FallbackOutputFile());
  std::error_code ec;
  const double mb = static_cast<double>(fs::file_size(pdf, ec)) / 1e6;
  // The pages the PDF holds, as a reader counts them.
  int pdfPages = 0;
  if (!ec) {
    if (FILE* info = popen(("pdfinfo '" + pdf.string() + "' 2>/dev/null").c_str(), "r")) {
      char buf[256];
      while (std::fgets(buf, sizeof buf, info))
        if (std::strncmp(buf, "Pages:", 6) == 0) pdfPages = std::atoi(buf + 6);
      pclose(info);
    }
  }
  // Well formed as the strict reader sees it (poppler's tools recover from a broken object).
  std::string syntax = "no PDF";
  if (!ec) {
    int warnings = 0;
    bool clean = false;
    if (FILE* check = popen(("qpdf --check '" + pdf.string() + "' 2>&1").c_str(), "r")) {
      char buf[512];
      while (std::fgets(buf, sizeof buf, check)) {
        warnings += std::strstr(buf, "WARNING") != nullptr;
        clean = clean || std::strstr(buf, "No syntax or stream encoding errors found") != nullptr;
      }
      clean = pclose(check) == 0 && clean && warnings == 0;
    }
    syntax = clean ? "well formed" : std::to_string(warnings) + " warnings";
  }
  // A copy to look at afterwards, when one is asked for.
  if (const char* keep = std::getenv("BENCH_BATCH_KEEP_PDF"); keep && *keep && !ec)
    fs::copy_file(pdf, keep, fs::copy_options::overwrite_existing, ec);
  char tail[200];
  std::snprintf(tail, sizeof tail, "  pages %d, PDF %.1f MB of %d pages (qpdf: %s)", pages, ec ? 0.0 : mb, pdfPages,
                syntax.c_str());
  return line + tail;
}

std::string Browse() {
  TProgram p("bench.dbf");
  if (!p.Active()) return "browse FAILED: the note file did not open";
  TXbTable& t = *MainForm->NoteTable;
  std::string out = p.Timed("sort2", [&] {
    MainForm->SortBtnClick(2);
    return std::string("(setup: the TIT2 tag)");
  });
  for (const char* word : kSearchWords) {
    out += "\n" + p.Timed("search", [&] {
      p.OnNextModal([&](TCustomForm*) {
        FindForm->FormActivate(FindForm);
        FindForm->RBtn1->SetChecked(true);
        FindForm->NewRbtn->SetChecked(true);
        FindForm->Edit0->SetText(word);
        FindForm->Button2->Click();
      });
      MainForm->FindDlgShow();
      return "(setup) " + cp949::ToUtf8(word) + ": hits " + std::to_string(t.QueryRecCount()) + ", order " +
             std::to_string(t.Tag);
    });
    QWidget* grid = MainForm->DBGrid1->Widget();
    MainForm->DBGrid1->SetFocus();
    struct Key {
      const char* name;
      int key;
      Qt::KeyboardModifiers mods;
    } keys[] = {{"ctrl+home", Qt::Key_Home, Qt::ControlModifier},
                {"ctrl+end", Qt::Key_End, Qt::ControlModifier},
                {"ctrl+home", Qt::Key_Home, Qt::ControlModifier}};
    for (const Key& k : keys)
      out += "\n" + p.Timed(k.name, [&] {
        SendKey(grid, k.key, k.mods);
        return "at record " + std::to_string(t.RecNo());
      });
    for (int i = 0; i < kPageDowns; ++i)
      out += "\n" + p.Timed("pgdn", [&] {
        SendKey(grid, Qt::Key_PageDown, Qt::NoModifier);
        return "at record " + std::to_string(t.RecNo());
      });
  }
  return out + "  " + BoxesSeen(p.Boxes);
}

std::string Pack() {
  TProgram p("bench.dbf");
  if (!p.Active()) return "pack FAILED: the note file did not open";
  IndexDlg->FormActivate(IndexDlg);
  std::string out = p.Timed("sort2", [&] {
    return std::string(IndexDlg->MakeIndex(*MainForm->NoteTable, "TIT2", "tit2") ? "(setup: the TIT2 tag)"
                                                                                     : "FAILED");
  });
  out += "\n" + p.Timed("pack", [&] { return std::string(IndexDlg->NotePack() ? "" : "FAILED"); });
  return out + "  notes after: " + std::to_string(MainForm->NoteTable->RecCount() - 1) + "  " + BoxesSeen(p.Boxes);
}

// ---- the same work in SQLite -----------------------------------------------------------------

#ifdef ORV_HAVE_SQLITE
const char* const kColumns =
    "(mmm BLOB, kno BLOB, chk BLOB, lock BLOB, type BLOB, bible BLOB, tit1 BLOB, tit2 BLOB, tit3 BLOB, tit4 BLOB)";

void Exec(sqlite3* db, const std::string& sql) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
    std::string m = err ? err : "?";
    sqlite3_free(err);
    throw std::runtime_error(sql.substr(0, 40) + ": " + m);
  }
}

sqlite3* OpenSql(const fs::path& file) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) throw std::runtime_error("sqlite open");
  Exec(db, "PRAGMA journal_mode=WAL");
  Exec(db, "PRAGMA synchronous=NORMAL");
  return db;
}

std::string SqlLoad(const fs::path& file, long long notes) {
  const auto t0 = Clock::now();
  sqlite3* db = OpenSql(file);
  Exec(db, std::string("CREATE TABLE notes ") + kColumns);
  Exec(db, "BEGIN");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO notes VALUES (?,?,?,'','','',?,?,?,?)", -1, &st, nullptr);
  auto bind = [&](int i, const std::string& s) { sqlite3_bind_blob(st, i, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT); };
  for (long long i = 1; i <= notes; ++i) {
    const notegen::Note n = notegen::MakeNote(1, i);
    bind(1, n.body);
    bind(2, "");
    bind(3, std::string(1, n.chk));
    bind(4, n.tit1);
    bind(5, n.tit2);
    bind(6, n.tit3);
    bind(7, n.tit4);
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  Exec(db, "CREATE INDEX notes_tit2 ON notes(tit2)");
  Exec(db, "COMMIT");
  sqlite3_close(db);
  char line[128];
  std::snprintf(line, sizeof line, "sqlite   load %.3f s (rows and the tit2 index)", Seconds(t0));
  return line;
}

std::string SqlTimed(const char* name, sqlite3* db, const std::string& sql) {
  const auto t0 = Clock::now();
  Exec(db, sql);
  char line[160];
  std::snprintf(line, sizeof line, "  sqlite %-26s %9.3f s", name, Seconds(t0));
  return line;
}

std::string SqlMerge(sqlite3* db, bool indexed) {
  Exec(db, "DROP TABLE IF EXISTS t2");
  Exec(db, std::string("CREATE TABLE t2 ") + kColumns);
  if (indexed)
    for (int n = 1; n <= 4; ++n)
      Exec(db, "CREATE INDEX t2_tit" + std::to_string(n) + " ON t2(tit" + std::to_string(n) + ")");
  std::string line = SqlTimed(indexed ? "INSERT..SELECT, 4 indexes" : "INSERT..SELECT", db, "INSERT INTO t2 SELECT * FROM notes");
  Exec(db, "DROP TABLE t2");
  return line;
}

std::string SqlWhere(const char* bytes) {
  std::string w = "(";
  for (int n = 1; n <= 4; ++n)
    w += std::string(n > 1 ? " OR " : "") + "instr(tit" + std::to_string(n) + ", " + bytes + ")";
  return w + ")";
}

std::string SqlBrowse(sqlite3* db, const char* bytes) {
  const std::string kSqlWhere = SqlWhere(bytes);
  std::string out;
  auto page = [&](const char* name, const std::string& sql, std::string* lastTitle, long long* lastRow) {
    sqlite3_stmt* st = nullptr;
    const auto t0 = Clock::now();
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) throw std::runtime_error(sqlite3_errmsg(db));
    if (lastTitle) {
      sqlite3_bind_blob(st, 1, lastTitle->data(), static_cast<int>(lastTitle->size()), SQLITE_TRANSIENT);
      sqlite3_bind_blob(st, 2, lastTitle->data(), static_cast<int>(lastTitle->size()), SQLITE_TRANSIENT);
      sqlite3_bind_int64(st, 3, *lastRow);
    }
    std::string title;
    long long row = 0;
    int rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      title.assign(static_cast<const char*>(sqlite3_column_blob(st, 1)), sqlite3_column_bytes(st, 1));
      row = sqlite3_column_int64(st, 0);
      ++rows;
    }
    sqlite3_finalize(st);
    char line[160];
    std::snprintf(line, sizeof line, "\n  sqlite %-26s %9.3f ms (%d rows)", name, Seconds(t0) * 1000, rows);
    out += line;
    if (lastTitle && rows > 0) {
      *lastTitle = title;
      *lastRow = row;
    }
    return std::make_pair(title, row);
  };
  const std::string cols = "SELECT rowid, tit2 FROM notes WHERE ";
  const std::string limit = " LIMIT " + std::to_string(kPageRows);
  auto [title, row] = page("first page", cols + kSqlWhere + " ORDER BY tit2, rowid" + limit, nullptr, nullptr);
  page("last page", cols + kSqlWhere + " ORDER BY tit2 DESC, rowid DESC" + limit, nullptr, nullptr);
  for (int i = 0; i < kPageDowns; ++i)
    page("next page", cols + kSqlWhere + " AND (tit2 > ? OR (tit2 = ? AND rowid > ?)) ORDER BY tit2, rowid" + limit,
         &title, &row);
  return out;
}

// The SQLite counterpart of a command, in its own child on a copy of the loaded database.
std::string SqlFor(const std::string& command, const fs::path& base, const fs::path& work) {
  fs::create_directories(work);
  fs::copy_file(base, work / "notes.sqlite", fs::copy_options::overwrite_existing);
  sqlite3* db = OpenSql(work / "notes.sqlite");
  std::string line;
  if (command == "vmark") line = SqlTimed("UPDATE chk='v'", db, "UPDATE notes SET chk='v'");
  if (command == "vclear") line = SqlTimed("UPDATE chk=' '", db, "UPDATE notes SET chk=' '");
  if (command == "merge") line = SqlMerge(db, false);
  if (command == "merge4") line = SqlMerge(db, true);
  if (command == "pack") line = SqlTimed("VACUUM", db, "VACUUM");
  if (command == "browse")
    for (const char* bytes : kSqlSearchBytes) line += SqlBrowse(db, bytes);
  sqlite3_close(db);
  return line;
}
#endif


}  // namespace

int main(int argc, char** argv) {
  const long long notes = argc > 1 ? std::atoll(argv[1]) : 100000;
  std::vector<std::string> commands;
  for (int i = 2; i < argc; ++i) commands.push_back(argv[i]);
  if (commands.empty()) commands = {"vmark", "vclear", "merge", "merge4", "print", "browse", "pack", "bodies", "tag"};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);

  const fs::path root = fs::temp_directory_path() / ("orv_bench_batch_" + std::to_string(::getpid()));
  const fs::path base = root / "base";
  fs::remove_all(root);
  fs::create_directories(base);
  for (const auto& e : fs::directory_iterator(fs::path(ORV_BINARY_DIR) / "share"))
    if (e.is_regular_file()) fs::copy_file(e.path(), base / e.path().filename());
  auto t0 = Clock::now();
  if (!notegen::GenerateNoteFileApart((base / "bench.dbf").string(), notes) ||
      !notegen::GenerateNoteFileApart((base / "tgt.dbf").string(), 0)) {
    std::fprintf(stderr, "bench_batch: cannot write the note files\n");
    return 1;
  }
  std::printf("bench_batch: %lld notes, %.1f MB data file, generated in %.1f s\n", notes,
              static_cast<double>(fs::file_size(base / "bench.dbf")) / 1e6, Seconds(t0));
#ifdef ORV_HAVE_SQLITE
  const fs::path sqlBase = root / "notes.sqlite";
  std::printf("%s\n", RunChild([&] { return SqlLoad(sqlBase, notes); }).line.c_str());
#endif
  std::fflush(stdout);

  bool allOk = true;
  for (const std::string& command : commands) {
    const fs::path work = root / command;
    CopyNoteFiles(base, work);
    TResult r = RunChild([&]() -> std::string {
      fs::current_path(work);
      if (command == "vmark" || command == "vclear") return Vmark(command == "vmark");
      if (command == "tag") return Tagging();
      if (command == "bodies") return Bodies();
      if (command == "merge" || command == "merge4") return Merge(command == "merge4");
      if (command == "print") return Print();
      if (command == "browse") return Browse();
      if (command == "pack") return Pack();
      return command + ": no such command";
    });
    std::printf("%s  peak %.0f MB\n", r.line.c_str(), static_cast<double>(r.peakKb) / 1024.0);
    allOk = allOk && r.ok && r.line.find("FAILED") == std::string::npos;
    std::fflush(stdout);
    fs::remove_all(work);
#ifdef ORV_HAVE_SQLITE
    if (command != "tag" && command != "print" && command != "bodies") {
      TResult s = RunChild([&] { return SqlFor(command, sqlBase, root / ("sql_" + command)); });
      std::printf("%s  peak %.0f MB\n", s.line.c_str(), static_cast<double>(s.peakKb) / 1024.0);
      std::fflush(stdout);
      fs::remove_all(root / ("sql_" + command));
    }
#endif
  }
  std::error_code ec;
  fs::remove_all(root, ec);
  return allOk ? 0 : 1;
}

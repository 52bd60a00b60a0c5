// Storage figures of the engine beside SQLite holding the same notes: full sequential read
// of all titles, appends with commit, open and go to the last record.
// Usage: bench_storage [notes=1000000] [folder=/tmp] [synced appends=10000]
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "bench/engine/NoteGen.h"
#include "engine/include/xbeng61.h"

namespace {

double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double Best(int runs, const std::function<void()>& f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(f));
  return best;
}

void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

void Exec(sqlite3* db, const char* sql) { Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql); }

const char* kInsert = "INSERT INTO notes(mmm,chk,tit1,tit2,tit3,tit4) VALUES(?,?,?,?,?,?)";

void BindNote(sqlite3_stmt* st, const notegen::Note& n) {
  sqlite3_bind_text(st, 1, n.body.data(), static_cast<int>(n.body.size()), SQLITE_STATIC);
  sqlite3_bind_text(st, 2, &n.chk, 1, SQLITE_STATIC);
  sqlite3_bind_text(st, 3, n.tit1.data(), static_cast<int>(n.tit1.size()), SQLITE_STATIC);
  sqlite3_bind_text(st, 4, n.tit2.data(), static_cast<int>(n.tit2.size()), SQLITE_STATIC);
  sqlite3_bind_text(st, 5, n.tit3.data(), static_cast<int>(n.tit3.size()), SQLITE_STATIC);
  sqlite3_bind_text(st, 6, n.tit4.data(), static_cast<int>(n.tit4.size()), SQLITE_STATIC);
}

void Row(const char* what, double engine, double sqlite, const char* unit) {
  std::printf("  %-44s engine %10.3f %s   sqlite %10.3f %s   (%.2fx)\n", what, engine, unit, sqlite, unit,
              sqlite / engine);
}

// Appends `count` notes with a commit after each, to both stores; returns {engine, sqlite} s.
std::pair<double, double> Appends(const std::string& dbf, const std::string& sqlitePath, int count,
                                  bool durable, bool rollbackJournal = false) {
  double engine = Seconds([&] {
    XbShort wa = xb_UseEx(dbf.c_str(), "APP", XB_OPEN_SHARED, XB_TT_NSX, durable ? 1 : 0);
    if (wa <= 0) std::exit(1);
    for (int i = 0; i < count; ++i) {
      notegen::Note n = notegen::MakeNote(7, i);
      xb_AppendBlank();
      xb_PutString("TIT1", n.tit1.c_str());
      xb_PutString("TIT2", n.tit2.c_str());
      xb_PutString("TIT3", n.tit3.c_str());
      xb_PutString("TIT4", n.tit4.c_str());
      xb_PutMemo("MMM", n.body.c_str());
      xb_Commit();
    }
    xb_Close();
  });
  sqlite3* db = nullptr;
  sqlite3_open(sqlitePath.c_str(), &db);
  Exec(db, durable ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL");
  if (rollbackJournal) Exec(db, "PRAGMA journal_mode=DELETE");
  sqlite3_stmt* st = nullptr;
  Check(sqlite3_prepare_v2(db, kInsert, -1, &st, nullptr), db, "prepare");
  double lite = Seconds([&] {
    for (int i = 0; i < count; ++i) {
      notegen::Note n = notegen::MakeNote(7, i);
      BindNote(st, n);
      Check(sqlite3_step(st), db, "insert");
      sqlite3_reset(st);
    }
  });
  sqlite3_finalize(st);
  sqlite3_close(db);
  return {engine, lite};
}

}  // namespace

int main(int argc, char** argv) {
  long long notes = argc > 1 ? std::atoll(argv[1]) : 1000000;
  std::string folder = argc > 2 ? argv[2] : "/tmp";
  int durableAppends = argc > 3 ? std::atoi(argv[3]) : 10000;
  std::string dir = folder + "/orv_bench_storage_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  std::string dbf = dir + "/notes.dbf";
  std::string lite = dir + "/notes.sqlite";

  std::printf("bench_storage: %lld notes of the note layout, files in %s\n", notes, dir.c_str());
  double gen = Seconds([&] {
    if (!notegen::GenerateNoteFile(dbf, notes, 1)) std::exit(1);
  });
  sqlite3* db = nullptr;
  sqlite3_open(lite.c_str(), &db);
  Exec(db, "PRAGMA journal_mode=WAL");
  Exec(db,
       "CREATE TABLE notes(id INTEGER PRIMARY KEY, mmm TEXT, kno TEXT, chk TEXT, lock TEXT, type TEXT,"
       " bible TEXT, tit1 TEXT, tit2 TEXT, tit3 TEXT, tit4 TEXT)");
  double load = Seconds([&] {
    Exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, kInsert, -1, &st, nullptr), db, "prepare");
    for (long long i = 1; i <= notes; ++i) {
      notegen::Note n = notegen::MakeNote(1, i);
      BindNote(st, n);
      Check(sqlite3_step(st), db, "load");
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
  });
  sqlite3_close(db);
  std::printf("  set-up: note file written in %.2f s (%.0f MB dbf + %.0f MB smt), sqlite loaded in %.2f s (%.0f MB)\n",
              gen, std::filesystem::file_size(dbf) / 1e6, std::filesystem::file_size(dir + "/notes.smt") / 1e6, load,
              std::filesystem::file_size(lite) / 1e6);

  // Full sequential read of every note's four titles.
  size_t engineBytes = 0, liteBytes = 0;
  long long engineRows = 0, liteRows = 0;
  double readEngine = Best(3, [&] {
    engineBytes = 0;
    engineRows = 0;
    XbShort wa = xb_UseEx(dbf.c_str(), "RD", XB_OPEN_SHARED, XB_TT_NSX, 0);
    if (wa <= 0) std::exit(1);
    xb_SetDeleted(-1);
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
      engineBytes += std::strlen(xb_GetTrimString("TIT1")) + std::strlen(xb_GetTrimString("TIT2")) +
                     std::strlen(xb_GetTrimString("TIT3")) + std::strlen(xb_GetTrimString("TIT4"));
      ++engineRows;
    }
    xb_Close();
  });
  sqlite3_open_v2(lite.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  double readLite = Best(3, [&] {
    liteBytes = 0;
    liteRows = 0;
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT tit1,tit2,tit3,tit4 FROM notes ORDER BY id", -1, &st, nullptr), db, "select");
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < 4; ++c) {
        sqlite3_column_text(st, c);
        liteBytes += sqlite3_column_bytes(st, c);
      }
      ++liteRows;
    }
    sqlite3_finalize(st);
  });
  sqlite3_close(db);
  if (engineRows != liteRows || engineBytes != liteBytes)
    std::printf("  !! stores differ: %lld/%zu rows/bytes against %lld/%zu\n", engineRows, engineBytes, liteRows, liteBytes);
  Row("full sequential read of all titles", readEngine, readLite, "s ");

  // Open and go to the last record, averaged.
  constexpr int kOpens = 200;
  double openEngine = Seconds([&] {
                        for (int i = 0; i < kOpens; ++i) {
                          xb_UseEx(dbf.c_str(), "OP", XB_OPEN_SHARED, XB_TT_NSX, 0);
                          xb_GoBottom();
                          engineBytes += std::strlen(xb_GetTrimString("TIT1"));
                          xb_Close();
                        }
                      }) / kOpens;
  double openLite = Seconds([&] {
                      for (int i = 0; i < kOpens; ++i) {
                        sqlite3_open_v2(lite.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
                        sqlite3_stmt* st = nullptr;
                        sqlite3_prepare_v2(db, "SELECT tit1 FROM notes ORDER BY id DESC LIMIT 1", -1, &st, nullptr);
                        if (sqlite3_step(st) == SQLITE_ROW) liteBytes += sqlite3_column_bytes(st, 0);
                        sqlite3_finalize(st);
                        sqlite3_close(db);
                      }
                    }) / kOpens;
  Row("open + go to the last record (mean)", openEngine * 1e3, openLite * 1e3, "ms");

  auto [appendEngine, appendLite] = Appends(dbf, lite, 100000, false);
  Row("100k appends, commit each (crash-safe)", appendEngine, appendLite, "s ");
  if (durableAppends > 0) {
    auto [durEngine, durLite] = Appends(dbf, lite, durableAppends, true);
    char what[64];
    std::snprintf(what, sizeof what, "%dk appends, commit each, synced to disk", durableAppends / 1000);
    Row(what, durEngine, durLite, "s ");
    // The rollback journal flushes several times per insert: a tenth of the count will do.
    auto [durEngine2, durLite2] = Appends(dbf, lite, std::max(1, durableAppends / 10), true, true);
    std::snprintf(what, sizeof what, "  %d of them against sqlite's rollback journal", std::max(1, durableAppends / 10));
    Row(what, durEngine2, durLite2, "s ");
  }
  std::printf("  (crash-safe: engine commit level 0 against sqlite WAL synchronous=NORMAL;\n"
              "   synced: engine commit level 1, fdatasync of memo and table per commit, against\n"
              "   synchronous=FULL in WAL mode, then in sqlite's default rollback-journal mode)\n");
  std::filesystem::remove_all(dir);
  return 0;
}

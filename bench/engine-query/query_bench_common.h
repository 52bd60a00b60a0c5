// Shared set-up of the query, index and seek benchmarks: the 1M-note file of the storage
// benchmarks' generator and an SQLite database holding the same rows, both kept in a folder
// so the three programs reuse them (warm cache, same machine, one run after another).
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/engine/NoteGen.h"
#include "engine/include/xbeng61.h"

namespace qbench {

inline double Seconds(const std::function<void()>& f) {
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

inline double Best(int runs, const std::function<void()>& f) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) best = std::min(best, Seconds(f));
  return best;
}

inline void Check(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

inline void Exec(sqlite3* db, const char* sql) { Check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql); }

inline void Row(const char* what, double engine, double sqlite, const char* unit) {
  std::printf("  %-46s engine %10.4f %s   sqlite %10.4f %s   (%.2fx)\n", what, engine, unit, sqlite, unit,
              sqlite / engine);
}

struct Files {
  std::string dbf, sqlite;
  long long notes = 0;
};

// Makes (or reuses) the note file and the SQLite copy of the same notes in folder.
inline Files Prepare(int argc, char** argv, const char* program) {
  Files f;
  f.notes = argc > 1 ? std::atoll(argv[1]) : 1000000;
  std::string folder = argc > 2 ? argv[2] : "/tmp/orv_bench_query";
  std::filesystem::create_directories(folder);
  f.dbf = folder + "/notes" + std::to_string(f.notes) + ".dbf";
  f.sqlite = folder + "/notes" + std::to_string(f.notes) + ".sqlite";
  std::string stamp = f.sqlite + ".done";
  std::printf("%s: %lld notes of the note layout, files in %s\n", program, f.notes, folder.c_str());
  if (std::filesystem::exists(stamp) && std::filesystem::exists(f.dbf)) return f;
  std::filesystem::remove(f.sqlite);
  std::filesystem::remove(folder + "/notes" + std::to_string(f.notes) + ".nsx");
  double gen = Seconds([&] {
    if (!notegen::GenerateNoteFile(f.dbf, f.notes, 1)) std::exit(1);
  });
  sqlite3* db = nullptr;
  sqlite3_open(f.sqlite.c_str(), &db);
  Exec(db, "PRAGMA journal_mode=WAL");
  Exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, chk TEXT, tit1 TEXT, tit2 TEXT, tit3 TEXT, tit4 TEXT, mmm TEXT)");
  double load = Seconds([&] {
    Exec(db, "BEGIN");
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "INSERT INTO notes(id,chk,tit1,tit2,tit3,tit4,mmm) VALUES(?,?,?,?,?,?,?)", -1, &st,
                             nullptr),
          db, "prepare");
    for (long long i = 1; i <= f.notes; ++i) {
      notegen::Note n = notegen::MakeNote(1, i);
      sqlite3_bind_int64(st, 1, i + 1);  // record numbers: the header is record 1
      sqlite3_bind_text(st, 2, &n.chk, 1, SQLITE_TRANSIENT);
      // Titles padded as the .dbf holds them, so both sides search the same bytes.
      std::string t1 = n.tit1, t2 = n.tit2, t3 = n.tit3, t4 = n.tit4;
      t1.resize(60, ' '), t2.resize(40, ' '), t3.resize(40, ' '), t4.resize(60, ' ');
      sqlite3_bind_text(st, 3, t1.data(), 60, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 4, t2.data(), 40, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 5, t3.data(), 40, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 6, t4.data(), 60, SQLITE_TRANSIENT);
      sqlite3_bind_text(st, 7, n.body.data(), static_cast<int>(n.body.size()), SQLITE_TRANSIENT);
      Check(sqlite3_step(st), db, "load");
      sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    Exec(db, "COMMIT");
  });
  sqlite3_close(db);
  std::printf("  set-up: note file %.2f s, sqlite load %.2f s\n", gen, load);
  std::FILE* s = std::fopen(stamp.c_str(), "w");
  if (s) std::fclose(s);
  return f;
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace qbench

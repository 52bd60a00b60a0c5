// SELECT with a WHERE on a title over 1M notes, and an ORDER BY of its result, through the SQL
// query dataset's local route (TXbQuery -> SQL add-on -> engine), beside SQLite holding the
// same notes (titles without their padding) in its own file, once with the bodies in the rows
// and once without them. Each figure is the median of several runs: a TXbQuery open (prepare,
// run, hold the result) and a walk over every row reading its fields, against SQLite
// preparing, stepping and reading the same columns.
// Usage: bench_sql_query [notes=1000000] [folder=/tmp/orv_bench_query]
#include <cstdio>
#include <filesystem>

#include "bench/engine-query/query_bench_common.h"
#include "platform/core/Services.h"
#include "remote/XbQuery.h"
#include "table/XbEngine.h"
#include "table/XbTable.h"

namespace {

constexpr int kRuns = 5;

std::string Trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// SQLite's own copy of the notes, titles as the add-on shows them, with an index on tit2.
// With Bodies false the bodies are left out, as the note file keeps them in its memo file
// apart from the records: the scan then reads no more than the engine's does.
std::string NativeCopy(const qbench::Files& f, bool Bodies) {
  const std::string path = f.sqlite + (Bodies ? ".trimmed" : ".titles");
  const std::string stamp = path + ".done";
  if (std::filesystem::exists(stamp)) return path;
  std::filesystem::remove(path);
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  qbench::Exec(db, "CREATE TABLE notes(id INTEGER PRIMARY KEY, chk TEXT, tit1 TEXT, tit2 TEXT, tit3 TEXT, tit4 TEXT, mmm TEXT)");
  qbench::Exec(db, "BEGIN");
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO notes VALUES(?,?,?,?,?,?,?)", -1, &st, nullptr);
  for (long long i = 1; i <= f.notes; ++i) {
    const notegen::Note n = notegen::MakeNote(1, i);
    sqlite3_bind_int64(st, 1, i + 1);
    sqlite3_bind_text(st, 2, &n.chk, 1, SQLITE_TRANSIENT);
    const std::string none;
    const std::string* t[] = {&n.tit1, &n.tit2, &n.tit3, &n.tit4, Bodies ? &n.body : &none};
    for (int k = 0; k < 5; ++k) sqlite3_bind_text(st, 3 + k, t[k]->data(), static_cast<int>(t[k]->size()), SQLITE_TRANSIENT);
    qbench::Check(sqlite3_step(st), db, "load");
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  qbench::Exec(db, "COMMIT");
  qbench::Exec(db, "CREATE INDEX tit2 ON notes(tit2)");
  sqlite3_close(db);
  std::FILE* s = std::fopen(stamp.c_str(), "w");
  if (s) std::fclose(s);
  return path;
}

struct Figures {
  double open = 0, walk = 0;
  long long rows = 0;
};

// TXbQuery on the local route: the open, then every row with its fields read.
Figures ThroughQuery(const std::string& Folder, const std::string& Sql, const std::vector<std::string>& Values) {
  std::vector<double> opens, walks;
  Figures f;
  for (int r = 0; r < kRuns; ++r) {
    TXbQuery q;
    q.TableType = 2;  // the note files' type (NSX)
    q.SetDatabaseName(Folder);
    q.SetSQL(Sql);
    for (size_t i = 0; i < Values.size(); ++i)
      q.Params().CreateParam(ftString, "v" + std::to_string(i + 1), ptInput)->SetAsString(Values[i]);
    opens.push_back(qbench::Seconds([&] { q.Open(); }));
    long long rows = 0;
    walks.push_back(qbench::Seconds([&] {
      for (q.First(); !q.Eof(); q.Next(), ++rows)
        for (int i = 0; i < q.Fields().Count(); ++i) (void)q.Fields().Fields(i)->AsString();
    }));
    f.rows = rows;
  }
  f.open = qbench::Median(opens);
  f.walk = qbench::Median(walks);
  return f;
}

Figures Native(sqlite3* Db, const std::string& Sql, const std::vector<std::string>& Values) {
  std::vector<double> runs;
  Figures f;
  for (int r = 0; r < kRuns; ++r) {
    long long rows = 0;
    runs.push_back(qbench::Seconds([&] {
      sqlite3_stmt* st = nullptr;
      qbench::Check(sqlite3_prepare_v2(Db, Sql.c_str(), -1, &st, nullptr), Db, "prepare");
      for (size_t i = 0; i < Values.size(); ++i)
        sqlite3_bind_text(st, static_cast<int>(i) + 1, Values[i].data(), static_cast<int>(Values[i].size()),
                          SQLITE_TRANSIENT);
      while (sqlite3_step(st) == SQLITE_ROW) {
        ++rows;
        for (int i = 0; i < sqlite3_column_count(st); ++i) (void)sqlite3_column_text(st, i);
      }
      sqlite3_finalize(st);
    }));
    f.rows = rows;
  }
  f.open = qbench::Median(runs);
  return f;
}

void Report(const char* What, const Figures& q, const Figures& n, const Figures& t) {
  std::printf("  %s\n", What);
  std::printf("    TXbQuery local: open %8.4f s + walk %8.4f s = %8.4f s, %lld rows\n", q.open, q.walk,
              q.open + q.walk, q.rows);
  std::printf("    native SQLite : %8.4f s, %lld rows   (query / native %.2fx)\n", n.open, n.rows,
              (q.open + q.walk) / n.open);
  std::printf("    native, titles only: %8.4f s, %lld rows   (query / native %.2fx)\n", t.open, t.rows,
              (q.open + q.walk) / t.open);
}

}  // namespace

int main(int argc, char** argv) {
  qbench::Files files = qbench::Prepare(argc, argv, "bench_sql_query");
  const std::string folder = std::filesystem::path(files.dbf).parent_path().string();
  const std::string table = std::filesystem::path(files.dbf).stem().string();
  const std::string native = NativeCopy(files, true);
  const std::string titles = NativeCopy(files, false);

  EnsureEngineLoaded();
  SetSortTable();
  {
    // The tag the equality on tit2 can use.
    TXbTable t;
    t.SetTableType(ttXBNSX);
    t.SetTableName(files.dbf);
    t.SetExclusive(true);
    t.Open();
    if (t.TagArea("TIT2") == 0) t.IndexTag(std::string(), "TIT2", "tit2", 0, false, std::string());
    t.Close();
  }
  const notegen::Note middle = notegen::MakeNote(1, files.notes / 2);
  const std::string tit2 = Trimmed(middle.tit2), tit3 = Trimmed(middle.tit3);

  sqlite3* db = nullptr;
  sqlite3_open(native.c_str(), &db);
  sqlite3* tdb = nullptr;
  sqlite3_open(titles.c_str(), &tdb);
  std::printf("  %lld notes; the machine is shared, figures are medians of %d runs\n", files.notes, kRuns);

  // Each statement through the query, then natively over both copies.
  auto side = [&](const char* What, const std::string& Sql, const std::string& NativeSql,
                  const std::vector<std::string>& Values) {
    const Figures q = ThroughQuery(folder, Sql, Values);
    Report(What, q, Native(db, NativeSql, Values), Native(tdb, NativeSql, Values));
  };
  side("scan: select tit1, tit2 where tit3 = :v1 (no tag on tit3)",
       "select tit1, tit2 from " + table + " where tit3 = :v1", "select tit1, tit2 from notes where tit3 = ?1", {tit3});
  side("tag: select tit1, tit3 where tit2 = :v1 (tag TIT2; SQLite's index on tit2)",
       "select tit1, tit3 from " + table + " where tit2 = :v1", "select tit1, tit3 from notes where tit2 = ?1", {tit2});
  side("the same through a scan: where +tit2 = :v1 (the tag and the index not used)",
       "select tit1, tit3 from " + table + " where +tit2 = :v1", "select tit1, tit3 from notes where +tit2 = ?1", {tit2});
  // Titles whose first syllable has one lead byte: about one note in 25, sorted.
  side("order by: select tit1, tit2 where tit3 >= :v1 and tit3 < :v2 order by tit1",
       "select tit1, tit2 from " + table + " where tit3 >= :v1 and tit3 < :v2 order by tit1",
       "select tit1, tit2 from notes where tit3 >= ?1 and tit3 < ?2 order by tit1", {"\xB0", "\xB1"});
  sqlite3_close(tdb);
  sqlite3_close(db);
  return 0;
}

// Building tag TIT1 over 1M notes beside SQLite's CREATE INDEX; order switches; and the
// pack of the sort dialog (a copy of every visible note in tit2 order, bodies included)
// beside SQLite's CREATE TABLE ... AS SELECT ... ORDER BY, and the storage pack.
// Usage: bench_index [notes=1000000] [folder=/tmp/orv_bench_query]
#include "bench/engine-query/query_bench_common.h"

int main(int argc, char** argv) {
  qbench::Files files = qbench::Prepare(argc, argv, "bench_index");
  xb_SetDeleted(-1);
  XbShort wa = xb_UseEx(files.dbf.c_str(), "IX", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
  if (wa <= 0) return 1;
  XbShort order = 0;
  double build = qbench::Best(3, [&] { order = xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr); });
  if (order <= 0) return 1;
  xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr);

  sqlite3* db = nullptr;
  sqlite3_open(files.sqlite.c_str(), &db);
  double liteBuild = qbench::Best(3, [&] {
    qbench::Exec(db, "DROP INDEX IF EXISTS i_tit1");
    qbench::Exec(db, "CREATE INDEX i_tit1 ON notes(tit1)");
  });
  qbench::Exec(db, "CREATE INDEX IF NOT EXISTS i_tit2 ON notes(tit2)");
  qbench::Row("build tag TIT1 / CREATE INDEX over tit1", build, liteBuild, "s");

  // Order switches alone, keeping the record; then each followed by the first 20 notes: the
  // first pass of each order alone (cold: its pages and records are read for the first time),
  // then the mean of many warm ones, as bench_seek times its seeks.
  const int switches = 2000;
  xb_Go(500000);
  double bare = qbench::Seconds([&] {
    for (int i = 0; i < switches * 10; ++i) xb_SetOrder(static_cast<XbShort>(1 + i % 2));
  }) / (switches * 10);
  std::printf("  %-46s engine %10.4f us   (record kept: %s)\n", "SetOrder switch alone", bare * 1e6,
              xb_RecNo() == 500000 ? "yes" : "no");
  auto switchAndWalk = [](int i) {
    xb_SetOrder(static_cast<XbShort>(1 + i % 2));
    xb_GoTop();
    for (int k = 0; k < 20; ++k) xb_Skip(1);
  };
  double cold = qbench::Seconds([&] {
    for (int i = 0; i < 2; ++i) switchAndWalk(i);
  }) / 2;
  double sw = qbench::Seconds([&] {
    for (int i = 0; i < switches; ++i) switchAndWalk(i);
  }) / switches;
  sqlite3_stmt* byTit1 = nullptr;
  sqlite3_stmt* byTit2 = nullptr;
  qbench::Check(sqlite3_prepare_v2(db, "SELECT id FROM notes ORDER BY tit1 LIMIT 21", -1, &byTit1, nullptr), db, "p1");
  qbench::Check(sqlite3_prepare_v2(db, "SELECT id FROM notes ORDER BY tit2 LIMIT 21", -1, &byTit2, nullptr), db, "p2");
  auto liteSwitch = [&](int i) {
    sqlite3_stmt* st = i % 2 ? byTit2 : byTit1;
    while (sqlite3_step(st) == SQLITE_ROW) {
    }
    sqlite3_reset(st);
  };
  double liteCold = qbench::Seconds([&] {
    for (int i = 0; i < 2; ++i) liteSwitch(i);
  }) / 2;
  double liteSw = qbench::Seconds([&] {
    for (int i = 0; i < switches; ++i) liteSwitch(i);
  }) / switches;
  sqlite3_finalize(byTit1);
  sqlite3_finalize(byTit2);
  qbench::Row("SetOrder switch + first 20 notes, first time", cold * 1e6, liteCold * 1e6, "us");
  qbench::Row("SetOrder switch + first 20 notes", sw * 1e6, liteSw * 1e6, "us");

  // The sort dialog's pack: the notes copied in tit2 order with their bodies.
  xb_SetOrder(xb_TagArea("TIT2"));
  std::string copy = files.dbf + ".packed.dbf";
  double pack = qbench::Seconds([&] {
    if (xb_CopyFile(copy.c_str()) == 0) std::exit(1);
  });
  double litePack = qbench::Seconds([&] {
    qbench::Exec(db, "DROP TABLE IF EXISTS packed");
    qbench::Exec(db, "CREATE TABLE packed AS SELECT * FROM notes ORDER BY tit2");
  });
  qbench::Exec(db, "DROP TABLE IF EXISTS packed");
  qbench::Row("pack copy in tit2 order (bodies included)", pack, litePack, "s");
  xb_Close();
  sqlite3_close(db);
  // The storage pack with the tags rebuilt, on the copy (the bench file keeps its header).
  if (xb_UseEx(copy.c_str(), "PK", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0) <= 0) return 1;
  xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr);
  xb_IndexTag(nullptr, "TIT2", "tit2", 0, 0, nullptr);
  double storagePack = qbench::Seconds([&] { xb_Pack(); });
  std::printf("  %-46s engine %10.4f s   (%d tags rebuilt)\n", "xb_Pack of the copy, every record rewritten",
              storagePack, xb_TagCount());
  xb_Close();
  std::filesystem::remove(files.dbf + ".packed.nsx");
  std::filesystem::remove(copy);
  std::filesystem::remove(files.dbf + ".packed.smt");
  return 0;
}

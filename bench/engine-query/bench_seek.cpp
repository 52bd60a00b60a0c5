// Warm seeks on tag TIT1 over 1M notes beside SQLite's indexed lookup of the same keys:
// median and mean time per seek.
// Usage: bench_seek [notes=1000000] [folder=/tmp/orv_bench_query] [seeks=100000]
#include <random>

#include "bench/engine-query/query_bench_common.h"

int main(int argc, char** argv) {
  qbench::Files files = qbench::Prepare(argc, argv, "bench_seek");
  int seeks = argc > 3 ? std::atoi(argv[3]) : 100000;
  xb_SetDeleted(-1);
  XbShort wa = xb_UseEx(files.dbf.c_str(), "SK", XB_OPEN_SHARED, XB_TT_NSX, 0);
  if (wa <= 0) return 1;
  if (xb_TagArea("TIT1") == 0) {
    xb_Close();
    xb_UseEx(files.dbf.c_str(), "SK", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
    xb_IndexTag(nullptr, "TIT1", "tit1", 0, 0, nullptr);
    xb_Close();
    wa = xb_UseEx(files.dbf.c_str(), "SK", XB_OPEN_SHARED, XB_TT_NSX, 0);
  }
  xb_SetOrder(xb_TagArea("TIT1"));
  std::mt19937_64 rng(42);
  std::vector<std::string> keys;
  for (int i = 0; i < seeks; ++i) {
    notegen::Note n = notegen::MakeNote(1, static_cast<int64_t>(rng() % static_cast<uint64_t>(files.notes)) + 1);
    keys.push_back(n.tit1.substr(0, std::min<std::size_t>(n.tit1.size(), 8)));
  }
  long found = 0;
  for (const std::string& k : keys) found += xb_Seek(k.c_str()) != 0;  // warm
  std::vector<double> times;
  times.reserve(keys.size());
  found = 0;
  for (const std::string& k : keys) {
    auto t0 = std::chrono::steady_clock::now();
    found += xb_Seek(k.c_str()) != 0;
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  double mean = 0;
  for (double t : times) mean += t;
  mean /= static_cast<double>(times.size());
  double median = qbench::Median(times);
  xb_Close();

  sqlite3* db = nullptr;
  sqlite3_open(files.sqlite.c_str(), &db);
  qbench::Exec(db, "CREATE INDEX IF NOT EXISTS i_tit1 ON notes(tit1)");
  sqlite3_stmt* st = nullptr;
  qbench::Check(sqlite3_prepare_v2(db, "SELECT id FROM notes WHERE tit1 >= ?1 ORDER BY tit1 LIMIT 1", -1, &st, nullptr),
                db, "prepare");
  auto liteSeek = [&](const std::string& k) {
    sqlite3_bind_blob(st, 1, k.data(), static_cast<int>(k.size()), SQLITE_STATIC);
    bool hit = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_reset(st);
    return hit;
  };
  for (const std::string& k : keys) liteSeek(k);  // warm
  std::vector<double> liteTimes;
  liteTimes.reserve(keys.size());
  for (const std::string& k : keys) {
    auto t0 = std::chrono::steady_clock::now();
    liteSeek(k);
    liteTimes.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  double liteMean = 0;
  for (double t : liteTimes) liteMean += t;
  liteMean /= static_cast<double>(liteTimes.size());
  sqlite3_finalize(st);
  sqlite3_close(db);
  std::printf("  %ld of %zu seeks found their key\n", found, keys.size());
  qbench::Row("warm seek, median", median * 1e6, qbench::Median(liteTimes) * 1e6, "us");
  qbench::Row("warm seek, mean", mean * 1e6, liteMean * 1e6, "us");
  return 0;
}

// The title query of the seek panel over 1M notes, beside SQLite's instr() over the same rows
// and a plain byte scan of the .dbf (grep -c -F) as the speed of light; then QueryRecCount.
// Usage: bench_query [notes=1000000] [folder=/tmp/orv_bench_query]
#include <sys/resource.h>

#include <cstring>
#include <fstream>

#include "bench/engine-query/query_bench_common.h"

int main(int argc, char** argv) {
  qbench::Files files = qbench::Prepare(argc, argv, "bench_query");
  // A two-syllable word from the middle of the file, so it certainly occurs.
  std::string word;
  for (long long i = files.notes / 2; word.empty() && i <= files.notes; ++i) {
    notegen::Note n = notegen::MakeNote(1, i);
    if (n.tit1.size() >= 4 && static_cast<unsigned char>(n.tit1[0]) >= 0xB0) word = n.tit1.substr(0, 4);
  }
  std::string second;
  {
    notegen::Note n = notegen::MakeNote(1, files.notes / 3);
    for (std::size_t p = 0; p + 2 <= n.tit2.size(); p += 2)
      if (static_cast<unsigned char>(n.tit2[p]) >= 0xB0) {
        second = n.tit2.substr(p, 2);
        break;
      }
  }
  std::string expr = "at(\"" + word + "\",tit1+tit2+tit3+tit4)>0 ";
  std::string expr2 = "at(\"" + word.substr(0, 2) + "\",tit1+tit2+tit3+tit4)>0 .and. at(\"" + second +
                      "\",tit1+tit2+tit3+tit4)>0 ";

  xb_SetDeleted(-1);
  XbShort wa = xb_UseEx(files.dbf.c_str(), "Q", XB_OPEN_SHARED, XB_TT_NSX, 0);
  if (wa <= 0) return 1;
  long long hits = 0, hits2 = 0;
  double engine = qbench::Best(5, [&] {
    xb_Query(expr.c_str());
    hits = xb_QueryRecCount();
  });
  double engine2 = qbench::Best(5, [&] {
    xb_Query(expr2.c_str());
    hits2 = xb_QueryRecCount();
  });
  xb_Query(expr.c_str());
  const int calls = 100000;
  double countCall = qbench::Seconds([&] {
    for (int i = 0; i < calls; ++i) (void)xb_QueryRecCount();
  }) / calls;
  xb_Query("");
  xb_Close();

  sqlite3* db = nullptr;
  sqlite3_open(files.sqlite.c_str(), &db);
  long long liteHits = 0, liteHits2 = 0;
  auto countWhere = [&](const char* sql, const std::vector<std::string>& binds) {
    sqlite3_stmt* st = nullptr;
    qbench::Check(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), db, "prepare");
    for (std::size_t i = 0; i < binds.size(); ++i)
      sqlite3_bind_blob(st, static_cast<int>(i + 1), binds[i].data(), static_cast<int>(binds[i].size()), SQLITE_STATIC);
    qbench::Check(sqlite3_step(st), db, "query");
    long long n = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return n;
  };
  double lite = qbench::Best(5, [&] {
    liteHits = countWhere("SELECT count(*) FROM notes WHERE instr(CAST(tit1||tit2||tit3||tit4 AS BLOB), ?1) > 0", {word});
  });
  double lite2 = qbench::Best(5, [&] {
    liteHits2 = countWhere(
        "SELECT count(*) FROM notes WHERE instr(CAST(tit1||tit2||tit3||tit4 AS BLOB), ?1) > 0"
        " AND instr(CAST(tit1||tit2||tit3||tit4 AS BLOB), ?2) > 0",
        {word.substr(0, 2), second});
  });
  sqlite3_close(db);

  // The speed of light: one byte scan of the whole .dbf for the word.
  std::string pattern = files.dbf + ".pattern";
  {
    std::ofstream p(pattern, std::ios::binary);
    p << word << "\n";
  }
  std::string cmd = "LC_ALL=C grep -c -F -a -f '" + pattern + "' '" + files.dbf + "' > /dev/null";
  double grepUser = 1e300;
  double grep = qbench::Best(5, [&] {
    rusage before{}, after{};
    getrusage(RUSAGE_CHILDREN, &before);
    if (std::system(cmd.c_str()) < 0) std::exit(1);
    getrusage(RUSAGE_CHILDREN, &after);
    double user = (after.ru_utime.tv_sec - before.ru_utime.tv_sec) + (after.ru_utime.tv_usec - before.ru_utime.tv_usec) / 1e6;
    grepUser = std::min(grepUser, user);
  });

  // SQLite compares bytes (the titles as blobs): it also counts hits that straddle syllables.
  std::printf("  word of 2 syllables: engine %lld hits (character-correct), sqlite %lld byte hits\n", hits, liteHits);
  qbench::Row("query at(word,tit1+tit2+tit3+tit4)>0", engine, lite, "s");
  std::printf("  two words .and.: engine %lld hits, sqlite %lld hits\n", hits2, liteHits2);
  qbench::Row("query of two words joined by .and.", engine2, lite2, "s");
  // The .dbf holds no line breaks, so grep grows one 230 MB line buffer: most of its wall
  // time is the kernel's; its user time is the scan itself.
  std::printf("  %-46s grep   %10.4f s   (user time %.4f s; engine / grep %.2fx)\n",
              "byte scan of the .dbf (grep -c -F)", grep, grepUser, engine / grep);
  std::printf("  %-46s engine %10.4f us per call\n", "QueryRecCount after the query", countCall * 1e6);
  return 0;
}

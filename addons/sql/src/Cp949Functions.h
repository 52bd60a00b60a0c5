// SQL text functions that count, cut, search and compare characters, redefined for code page
// 949 text: SQLite's own read text as UTF-8 and would split or match across two-byte
// characters. LIKE and GLOB patterns match whole characters (LIKE ignores case of single-byte
// letters only), and length, substr, instr, replace, trim, ltrim, rtrim, upper and lower count
// and cut characters. Blobs keep SQLite's byte semantics.
#pragma once

#include <sqlite3.h>

#include <string_view>

namespace xbsql {

// Registers the functions on Db; false when SQLite refused one.
bool RegisterCp949Functions(sqlite3* Db);

// The matchers, also for tests: LIKE with an escape character (0 for none) and GLOB.
bool LikeMatch(std::string_view Pattern, std::string_view Text, std::string_view Escape);
bool GlobMatch(std::string_view Pattern, std::string_view Text);

}  // namespace xbsql

// Generator of note files in the application's layout, for benchmarks: record 1 the deleted
// header, then `notes` notes with random code page 949 titles and short memo bodies. The
// same seed gives the same notes, so other stores can be filled with identical rows.
#pragma once

#include <cstdint>
#include <string>

namespace notegen {

struct Note {
  std::string tit1, tit2, tit3, tit4;  // blank-trimmed, within 60/40/40/60 bytes
  std::string body;
  char chk = ' ';
};

// Note number i (1-based) of the series `seed`.
Note MakeNote(uint64_t seed, int64_t i);

// Writes path (.dbf) and its .smt memo file in bulk; false on failure. Replaces files of
// those names.
bool GenerateNoteFile(const std::string& path, int64_t notes, uint64_t seed = 1);

// The same in a child process: the generator has an engine of its own, which must not share
// the caller's work areas.
bool GenerateNoteFileApart(const std::string& path, int64_t notes, uint64_t seed = 1);

}  // namespace notegen

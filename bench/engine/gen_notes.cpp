// gen_notes FILE.dbf [notes] [seed]: writes a note file of the application's layout.
#include <cstdio>
#include <cstdlib>

#include "bench/engine/NoteGen.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gen_notes FILE.dbf [notes=1000000] [seed=1]\n");
    return 2;
  }
  long long notes = argc > 2 ? std::atoll(argv[2]) : 1000000;
  unsigned long long seed = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1;
  if (!notegen::GenerateNoteFile(argv[1], notes, seed)) {
    std::fprintf(stderr, "gen_notes: cannot write %s\n", argv[1]);
    return 1;
  }
  std::printf("%s: %lld notes and the header record\n", argv[1], notes);
  return 0;
}

// Bulk note-file writer: builds records and memo entries in memory and writes them in large
// chunks through the engine's own file and memo code.
#include "bench/engine/NoteGen.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "engine/src/DbfFile.h"
#include "engine/src/MemoFile.h"

namespace notegen {
namespace {

uint64_t Mix(uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

// Random text of at most `bytes` bytes: Hangul syllables of the KS X 1001 range and, now
// and then, a short ASCII word.
std::string Text(uint64_t& state, size_t bytes) {
  std::string s;
  size_t target = bytes / 2 + (Mix(state++) % (bytes / 2 + 1));
  while (s.size() + 2 <= target) {
    uint64_t r = Mix(state++);
    if (r % 7 == 0 && s.size() + 5 <= target) {
      s += static_cast<char>('A' + r % 26);
      s += static_cast<char>('a' + (r >> 8) % 26);
      s += static_cast<char>('0' + (r >> 16) % 10);
      s += ' ';
      continue;
    }
    s += static_cast<char>(0xB0 + (r >> 8) % 25);
    s += static_cast<char>(0xA1 + (r >> 16) % 94);
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::vector<xbe::FieldDesc> NoteFields() {
  const struct {
    const char* name;
    char type;
    int width;
  } layout[] = {{"MMM", 'M', 10}, {"KNO", 'C', 12},  {"CHK", 'C', 1},   {"LOCK", 'C', 1},  {"TYPE", 'C', 1},
                {"BIBLE", 'C', 4}, {"TIT1", 'C', 60}, {"TIT2", 'C', 40}, {"TIT3", 'C', 40}, {"TIT4", 'C', 60}};
  std::vector<xbe::FieldDesc> fields;
  int off = 1;
  for (const auto& l : layout) {
    xbe::FieldDesc f;
    f.name = l.name;
    f.type = l.type;
    f.width = l.width;
    f.offset = off;
    off += l.width;
    fields.push_back(f);
  }
  return fields;
}

void Put(std::string& rec, const xbe::FieldDesc& f, const std::string& v) {
  std::memcpy(rec.data() + f.offset, v.data(), std::min<size_t>(v.size(), f.width));
}

}  // namespace

Note MakeNote(uint64_t seed, int64_t i) {
  uint64_t state = Mix(seed * 0x100000001B3ull + static_cast<uint64_t>(i));
  Note n;
  n.tit1 = Text(state, 60);
  n.tit2 = Text(state, 40);
  n.tit3 = Text(state, 40);
  n.tit4 = Text(state, 60);
  n.body = Text(state, 40 + Mix(state) % 200);
  n.chk = Mix(state + 1) % 5 == 0 ? 'v' : ' ';
  return n;
}

bool GenerateNoteFile(const std::string& path, int64_t notes, uint64_t seed) {
  std::vector<xbe::FieldDesc> fields = NoteFields();
  std::string memoPath = xbe::CompanionPath(path, ".smt");
  xbe::Fs().Remove(path);
  if (!xbe::MemoFile::Create(memoPath, 64)) return false;
  std::string error;
  std::unique_ptr<xbe::MemoFile> memo = xbe::MemoFile::Open(memoPath, true, &error);
  std::unique_ptr<xbe::File> dbf = xbe::Fs().Open(path, true, true, false);
  if (!memo || !dbf) return false;
  std::string header = xbe::DbfFile::BuildHeader(fields, true, static_cast<int32_t>(notes + 1));
  int recSize = 1;
  for (const auto& f : fields) recSize += f.width;
  int64_t pos = 0;
  if (!dbf->WriteAt(pos, header.data(), header.size())) return false;
  pos += header.size();

  std::string rec(recSize, ' ');
  rec[0] = '*';  // record 1: the header, kept deleted
  Put(rec, fields[6], "Title 1 Title 2 Title 3 Title 4 ");
  Put(rec, fields[7], "benchmark notes");
  std::string chunk = rec;
  constexpr int64_t kBatch = 20000;
  std::vector<Note> batch;
  std::vector<std::string> bodies;
  std::vector<uint32_t> blocks;
  for (int64_t first = 1; first <= notes; first += kBatch) {
    int64_t last = std::min(notes, first + kBatch - 1);
    batch.clear();
    bodies.clear();
    for (int64_t i = first; i <= last; ++i) {
      batch.push_back(MakeNote(seed, i));
      bodies.push_back(batch.back().body);
    }
    if (!memo->WriteMany(bodies, xbe::MemoFile::kText, &blocks)) return false;
    for (size_t k = 0; k < batch.size(); ++k) {
      std::fill(rec.begin(), rec.end(), ' ');
      const Note& n = batch[k];
      Put(rec, fields[0], xbe::EncodeMemoRef(blocks[k], 10));
      Put(rec, fields[2], std::string(1, n.chk));
      Put(rec, fields[6], n.tit1);
      Put(rec, fields[7], n.tit2);
      Put(rec, fields[8], n.tit3);
      Put(rec, fields[9], n.tit4);
      chunk += rec;
    }
    if (!dbf->WriteAt(pos, chunk.data(), chunk.size())) return false;
    pos += chunk.size();
    chunk.clear();
  }
  chunk += '\x1A';
  return dbf->WriteAt(pos, chunk.data(), chunk.size()) && dbf->Sync() && memo->Sync();
}

bool GenerateNoteFileApart(const std::string& path, int64_t notes, uint64_t seed) {
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) _exit(GenerateNoteFile(path, notes, seed) ? 0 : 1);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace notegen

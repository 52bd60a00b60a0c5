// The B+tree index file on its own, over (key, record number) pairs: bulk build, inserts and
// removes against a model, order of equal keys, prefix bounds, ordinals, several tags in one
// file, a second reader seeing a writer's changes, and a half-written file not trusted.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>
#include <unistd.h>

#include "engine/src/IndexFile.h"

namespace {

using xbe::IndexFile;
using xbe::IndexStamp;
using xbe::TagInfo;

std::string TempPath(const char* name) {
  auto dir = std::filesystem::temp_directory_path() / ("orv_idx_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

TagInfo Def(const char* name, int keyLen, bool desc = false) {
  TagInfo t;
  t.name = name;
  t.expression = "tit1";
  t.keyLen = keyLen;
  t.descending = desc;
  return t;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string Key(int v, int len) {
  std::string k = std::to_string(v);
  k.insert(0, static_cast<std::size_t>(len) - k.size(), '0');
  return k;
}

using Model = std::set<std::pair<std::string, int32_t>>;

// Walks the tag both ways and checks it against the model, ordinals included.
void ExpectMatches(IndexFile& f, int slot, const Model& model) {
  std::vector<std::pair<std::string, int32_t>> fwd;
  int kl = f.Tag(slot).keyLen;
  uint32_t ord = 0;
  for (auto p = f.First(slot); p.Valid(); p = f.Next(slot, p)) {
    fwd.emplace_back(std::string(f.KeyAt(slot, p), static_cast<std::size_t>(kl)), f.RecAt(slot, p));
    ASSERT_EQ(f.Ordinal(slot, p), ord);
    auto q = f.AtOrdinal(slot, ord);
    ASSERT_EQ(f.RecAt(slot, q), f.RecAt(slot, p));
    ++ord;
  }
  ASSERT_EQ(fwd.size(), model.size());
  EXPECT_TRUE(std::equal(fwd.begin(), fwd.end(), model.begin()));
  std::size_t back = 0;
  for (auto p = f.Last(slot); p.Valid(); p = f.Prev(slot, p)) ++back;
  EXPECT_EQ(back, model.size());
  EXPECT_EQ(f.Entries(slot), model.size());
}

TEST(IndexFileTest, BulkBuildThenRandomEditsMatchTheModel) {
  std::string path = TempPath("a.nsx");
  auto f = IndexFile::Create(path, {});
  ASSERT_TRUE(f);
  const int kl = 6;
  Model model;
  std::vector<std::string> keys;
  std::mt19937 rng(7);
  for (int r = 1; r <= 5000; ++r) model.emplace(Key(static_cast<int>(rng() % 700), kl), r);  // many equal keys
  std::string flat;
  std::vector<int32_t> recs;
  for (auto& [k, r] : model) flat += k, recs.push_back(r);
  int slot = f->BuildTag(Def("TIT1", kl), flat.data(), recs.data(), recs.size(), {});
  ASSERT_EQ(slot, 0);
  ExpectMatches(*f, slot, model);

  ASSERT_TRUE(f->Begin());
  for (int i = 0; i < 6000; ++i) {
    std::string k = Key(static_cast<int>(rng() % 900), kl);
    int32_t r = static_cast<int32_t>(rng() % 7000 + 1);
    if (rng() % 3 == 0 && !model.empty()) {
      auto it = model.lower_bound({k, r});
      if (it == model.end()) it = model.begin();
      ASSERT_TRUE(f->Remove(slot, it->first.data(), it->second));
      model.erase(it);
    } else {
      ASSERT_TRUE(f->Insert(slot, k.data(), r));
      model.emplace(k, r);
    }
  }
  ASSERT_TRUE(f->Insert(slot, model.begin()->first.data(), model.begin()->second));  // present: no-op
  ASSERT_TRUE(f->End(nullptr));
  ExpectMatches(*f, slot, model);

  // The same file read afresh gives the same tree.
  auto again = IndexFile::Open(path, false);
  ASSERT_TRUE(again);
  ExpectMatches(*again, 0, model);
}

TEST(IndexFileTest, LowerBoundByPrefixAndRecord) {
  auto f = IndexFile::Create(TempPath("b.nsx"), {});
  std::string flat = "aa  ab  ab  ab  b   ";  // keys of 4 bytes
  int32_t recs[] = {9, 2, 5, 8, 1};
  int slot = f->BuildTag(Def("K", 4), flat.data(), recs, 5, {});
  ASSERT_GE(slot, 0);
  struct {
    const char* prefix;
    uint32_t rec;
    int32_t want;  // record of the entry found, 0 = none
  } cases[] = {{"ab", 0, 2}, {"ab", 3, 5}, {"ab", UINT32_MAX, 1}, {"a", 0, 9}, {"ac", 0, 1}, {"c", 0, 0}, {"", 0, 9}};
  for (auto& c : cases) {
    auto p = f->LowerBound(slot, c.prefix, static_cast<int>(std::strlen(c.prefix)), c.rec);
    EXPECT_EQ(p.Valid() ? f->RecAt(slot, p) : 0, c.want) << c.prefix << " " << c.rec;
  }
}

TEST(IndexFileTest, SeveralTagsDescendingAndReplacementKeepSlots) {
  std::string path = TempPath("c.nsx");
  auto f = IndexFile::Create(path, {});
  std::string flat = "a b c ";
  int32_t recs[] = {1, 2, 3};
  ASSERT_EQ(f->BuildTag(Def("TIT1", 2), flat.data(), recs, 3, {}), 0);
  std::string rev = "c b a ";
  int32_t rrecs[] = {3, 2, 1};
  ASSERT_EQ(f->BuildTag(Def("TIT2", 2, true), rev.data(), rrecs, 3, {}), 1);
  EXPECT_EQ(f->RecAt(1, f->First(1)), 3);
  ASSERT_TRUE(f->Begin());
  ASSERT_TRUE(f->Insert(1, "bb", 4));  // between c and b in descending order
  ASSERT_TRUE(f->End(nullptr));
  std::vector<int32_t> order;
  for (auto p = f->First(1); p.Valid(); p = f->Next(1, p)) order.push_back(f->RecAt(1, p));
  EXPECT_EQ(order, (std::vector<int32_t>{3, 4, 2, 1}));
  // Rebuilding TIT1 keeps it in slot 0; the freed pages are reused, so the file stays small.
  for (int round = 0; round < 5; ++round) ASSERT_EQ(f->BuildTag(Def("TIT1", 2), flat.data(), recs, 3, {}), 0);
  EXPECT_EQ(f->FindTag("TIT2"), 1);
  EXPECT_LE(std::filesystem::file_size(path), 10u * IndexFile::kPageSize);
  ASSERT_TRUE(f->DeleteTag(0));
  EXPECT_EQ(f->FindTag("TIT2"), 0);
}

TEST(IndexFileTest, SecondReaderSeesWritesAndHalfWrittenFileIsDamaged) {
  std::string path = TempPath("d.nsx");
  IndexStamp stamp;
  stamp.recSize = 231;
  auto w = IndexFile::Create(path, stamp);
  std::string flat = "a b ";
  int32_t recs[] = {1, 2};
  ASSERT_EQ(w->BuildTag(Def("T", 2), flat.data(), recs, 2, stamp), 0);
  auto r = IndexFile::Open(path, false);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->Stamp().recSize, 231u);
  EXPECT_EQ(r->Entries(0), 2u);
  ASSERT_TRUE(w->Begin());
  ASSERT_TRUE(w->Insert(0, "c ", 3));
  ASSERT_TRUE(w->End(nullptr));
  r->Sync();
  EXPECT_EQ(r->Entries(0), 3u);
  EXPECT_EQ(r->RecAt(0, r->Last(0)), 3);

  // A writer that stops after setting its flag (as a killed process would) leaves a file
  // that nobody trusts.
  ASSERT_TRUE(w->Begin());
  w.reset();  // the destructor finishes the transaction cleanly...
  r->Sync();
  EXPECT_FALSE(r->Damaged());
  {
    FILE* fp = std::fopen(path.c_str(), "r+b");  // ...so set the flag by hand, as a crash leaves it
    std::fseek(fp, 32, SEEK_SET);
    std::fputc(1, fp);
    std::fclose(fp);
  }
  auto late = IndexFile::Open(path, true);
  ASSERT_TRUE(late);
  EXPECT_TRUE(late->Damaged());
  EXPECT_FALSE(late->First(0).Valid());
  ASSERT_TRUE(late->Reset(stamp));
  EXPECT_FALSE(late->Damaged());
  EXPECT_EQ(late->TagCount(), 0);
}

TEST(IndexFileTest, ForeignOrTruncatedFilesAreRefused) {
  std::string path = TempPath("e.nsx");
  {
    FILE* fp = std::fopen(path.c_str(), "wb");
    std::fputs("not an index at all", fp);
    std::fclose(fp);
  }
  EXPECT_FALSE(IndexFile::Open(path, true));
  auto f = IndexFile::Create(path, {});
  std::string flat(5000 * 8, 'x');
  std::vector<int32_t> recs(5000);
  for (int i = 0; i < 5000; ++i) recs[static_cast<std::size_t>(i)] = i + 1;
  ASSERT_EQ(f->BuildTag(Def("T", 8), flat.data(), recs.data(), recs.size(), {}), 0);
  f.reset();
  std::filesystem::resize_file(path, 3 * IndexFile::kPageSize);
  auto g = IndexFile::Open(path, true);
  ASSERT_TRUE(g);
  EXPECT_TRUE(g->Damaged());
}

// A page whose bytes do not fit what it must be is reported as a fault and never read past,
// whatever field is damaged: every walk, seek and placement stays within the page.
TEST(IndexFileTest, DamagedPagesAreFaultsNeverReadPast) {
  std::string path = TempPath("g.nsx");
  {
    auto f = IndexFile::Create(path, {});
    std::string flat;
    std::vector<int32_t> recs;
    for (int i = 0; i < 900; ++i) flat += Key(i, 10), recs.push_back(i + 1);
    ASSERT_EQ(f->BuildTag(Def("T", 10), flat.data(), recs.data(), recs.size(), {}), 0);
  }
  const std::string good = ReadFileBytes(path);
  // Page 1 is the definition, 2..5 the leaves (291 entries at most), 6 the root branch.
  struct Case {
    const char* what;
    std::size_t at;
    std::string bytes;
  };
  const Case cases[] = {
      {"leaf count past the capacity", 3 * 4096 + 2, std::string("\xA0\x0F", 2)},
      {"branch count past the capacity", 6 * 4096 + 2, std::string("\xFF\x00", 2)},
      {"leaf typed as a branch", 4 * 4096, std::string(1, '\x02')},
      {"unknown page type", 2 * 4096, std::string(1, '\x09')},
      {"page naming another", 5 * 4096 + 12, std::string("\x63\x00\x00\x00", 4)},
      {"child beyond the file", 6 * 4096 + 16 + 22 + 14, std::string("\x00\x10\x00\x00", 4)},
      {"leaf chain into itself", 3 * 4096 + 4, std::string("\x03\x00\x00\x00", 4)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bad = good;
    bad.replace(c.at, c.bytes.size(), c.bytes);
    WriteFileBytes(path, bad);
    auto f = IndexFile::Open(path, false);
    ASSERT_TRUE(f);
    f->ClearFault();
    std::size_t seen = 0;
    for (auto p = f->First(0); p.Valid() && seen < 2000; p = f->Next(0, p)) ++seen;
    for (auto p = f->Last(0); p.Valid() && seen < 4000; p = f->Prev(0, p)) ++seen;
    std::string probe = Key(450, 10);
    (void)f->RecAt(0, f->LowerBound(0, probe.data(), 10, 0));
    (void)f->RecAt(0, f->AtOrdinal(0, 600));
    EXPECT_LE(seen, 1800u);  // never more than the file holds: no loop
    EXPECT_TRUE(f->Faulted());
  }
}

}  // namespace

// A damaged index never shows a wrong list. Each kind of damage is done to the .nsx of a
// tagged note table (the .dbf untouched); the table is then opened read-only, shared (with
// writes) and read-only again, and every tag walked both ways and sought, each answer held
// against a scan of the .dbf (DamageFuzzBody.h). A damage whose tag definitions can still be
// read must leave every tag answering rightly, with nothing to report, and the shared open
// must leave a whole file behind; one that takes the definitions must be reported.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "engine/src/IndexFile.h"
#include "tests/engine/fuzz/DamageFuzzBody.h"

namespace {

using xbefuzz::DamageOutcome;
using xbefuzz::kDamageNsx;
using xbe::IndexFile;

constexpr std::size_t kPage = IndexFile::kPageSize;

uint32_t Le32(const std::string& f, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(f[at + i]);
  return v;
}
void SetLe32(std::string& f, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * i));
}
uint32_t Be32(const std::string& f, std::size_t at) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v = v << 8 | static_cast<uint8_t>(f[at + i]);
  return v;
}
void SetBe32(std::string& f, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) f[at + i] = static_cast<char>(v >> (8 * (3 - i)));
}

// Where things lie in the sound index: a tag's directory entry, root, definition page and
// leaves in their order.
struct Layout {
  std::string nsx;
  std::size_t Entry(int tag) const { return 128 + 64 * static_cast<std::size_t>(tag); }
  uint32_t Root(int tag) const { return Le32(nsx, Entry(tag) + 12); }
  uint32_t Height(int tag) const { return Le32(nsx, Entry(tag) + 16); }
  uint32_t DefPage(int tag) const { return Le32(nsx, Entry(tag) + 24); }
  int KeyLen(int tag) const { return static_cast<uint8_t>(nsx[Entry(tag) + 28]) | static_cast<uint8_t>(nsx[Entry(tag) + 29]) << 8; }
  std::vector<uint32_t> Leaves(int tag) const {
    uint32_t page = Root(tag);
    for (uint32_t h = Height(tag); h > 1; --h) page = Le32(nsx, page * kPage + 16 + KeyLen(tag) + 4);  // first child
    std::vector<uint32_t> leaves;
    for (; page != 0 && leaves.size() < 1000; page = Le32(nsx, page * kPage + 4)) leaves.push_back(page);
    return leaves;
  }
  int Count(uint32_t page) const { return static_cast<uint8_t>(nsx[page * kPage + 2]) | static_cast<uint8_t>(nsx[page * kPage + 3]) << 8; }
  std::size_t EntryAt(int tag, uint32_t page, int slot) const {
    return page * kPage + 16 + static_cast<std::size_t>(slot) * static_cast<std::size_t>(KeyLen(tag) + 4);
  }
  std::size_t RecAt(int tag, uint32_t page, int slot) const { return EntryAt(tag, page, slot) + static_cast<std::size_t>(KeyLen(tag)); }
  // A branch entry's child and count fields.
  std::size_t ChildAt(int tag, uint32_t page, int slot) const {
    return page * kPage + 16 + static_cast<std::size_t>(slot) * static_cast<std::size_t>(KeyLen(tag) + 12) + KeyLen(tag) + 4;
  }
};
enum { kTit1, kAll, kDown, kMarked, kNum };

struct Case {
  const char* what;
  bool definitionsKept;  // the damage leaves every tag definition readable
  std::function<void(const Layout&, std::string&)> damage;
};

std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

const Case kCases[] = {
    {"a leaf entry names record 0", true,
     [](const Layout& l, std::string& f) { SetBe32(f, l.RecAt(kTit1, l.Leaves(kTit1)[1], 5), 0); }},
    {"a leaf entry names a record past the table", true,
     [](const Layout& l, std::string& f) { SetBe32(f, l.RecAt(kTit1, l.Leaves(kTit1)[1], 5), xbefuzz::kDamageNotes + 9); }},
    {"a leaf entry names another record", true,
     [](const Layout& l, std::string& f) {
       const uint32_t leaf = l.Leaves(kAll)[4];
       SetBe32(f, l.RecAt(kAll, leaf, 3), Be32(f, l.RecAt(kAll, l.Leaves(kAll)[9], 2)));
     }},
    {"a leaf entry names the next record of the same key", true,
     [](const Layout& l, std::string& f) {
       // Blank titles: the first leaf of TIT1 starts with a run of equal keys.
       const uint32_t leaf = l.Leaves(kTit1)[0];
       SetBe32(f, l.RecAt(kTit1, leaf, 0), Be32(f, l.RecAt(kTit1, leaf, 1)));
     }},
    {"a key changed that keeps the order", true,
     [](const Layout& l, std::string& f) {
       // Entry i takes the key of entry i - 1 where their keys differ: still rising with its
       // record number, but no longer its record's key.
       const uint32_t leaf = l.Leaves(kTit1)[2];
       const int kl = l.KeyLen(kTit1);
       for (int i = 1; i + 1 < l.Count(leaf); ++i) {
         const std::size_t a = l.EntryAt(kTit1, leaf, i - 1), b = l.EntryAt(kTit1, leaf, i);
         if (f.compare(a, kl, f, b, kl) != 0 && Be32(f, b + kl) > Be32(f, a + kl)) {
           f.replace(b, kl, f.substr(a, kl));
           return;
         }
       }
     }},
    {"a leaf holds fewer entries", true,
     [](const Layout& l, std::string& f) { f[l.Leaves(kAll)[5] * kPage + 2] = static_cast<char>(l.Count(l.Leaves(kAll)[5]) - 6); }},
    {"the last leaf holds fewer entries", true,
     [](const Layout& l, std::string& f) { f[l.Leaves(kTit1).back() * kPage + 2] = static_cast<char>(l.Count(l.Leaves(kTit1).back()) - 1); }},
    {"a leaf holds more entries", true,
     [](const Layout& l, std::string& f) { f[l.Leaves(kDown)[1] * kPage + 2] = static_cast<char>(l.Count(l.Leaves(kDown)[1]) + 2); }},
    {"a leaf of random bytes", true,
     [](const Layout& l, std::string& f) { f.replace(l.Leaves(kAll)[7] * kPage, kPage, RandomBytes(kPage, 7)); }},
    {"a leaf linked to itself", true,
     [](const Layout& l, std::string& f) { SetLe32(f, l.Leaves(kTit1)[3] * kPage + 4, l.Leaves(kTit1)[3]); }},
    {"a leaf chain skipping one leaf both ways", true,
     [](const Layout& l, std::string& f) {
       const std::vector<uint32_t> leaves = l.Leaves(kAll);
       SetLe32(f, leaves[3] * kPage + 4, leaves[5]);
       SetLe32(f, leaves[5] * kPage + 8, leaves[3]);
     }},
    {"a branch child pointing at another leaf", true,
     [](const Layout& l, std::string& f) {
       const uint32_t branch = Le32(f, l.ChildAt(kAll, l.Root(kAll), 0));  // a branch above leaves
       SetLe32(f, l.ChildAt(kAll, branch, 2), Le32(f, l.ChildAt(kAll, branch, 3)));
     }},
    {"a branch count changed", true,
     [](const Layout& l, std::string& f) {
       const std::size_t at = l.ChildAt(kTit1, l.Root(kTit1), 1) + 4;
       SetLe32(f, at, Le32(f, at) + 3);
     }},
    {"one tag's root named by another", true,
     [](const Layout& l, std::string& f) { SetLe32(f, l.Entry(kMarked) + 12, l.Root(kDown)); }},
    {"a tag's entry count changed", true,
     [](const Layout& l, std::string& f) { SetLe32(f, l.Entry(kNum) + 20, Le32(f, l.Entry(kNum) + 20) - 1); }},
    {"the write flag left set", true, [](const Layout&, std::string& f) { SetLe32(f, 32, 1); }},
    {"the stamp of another table", true, [](const Layout&, std::string& f) { SetLe32(f, 40, Le32(f, 40) + 1); }},
    {"cut after the definitions of every tag", true,
     [](const Layout& l, std::string& f) {
       uint32_t last = 0;
       for (int t = kTit1; t <= kNum; ++t) last = std::max(last, l.DefPage(t));
       f.resize((last + 1) * kPage);
     }},
    {"a huge page count", true, [](const Layout&, std::string& f) { SetLe32(f, 16, 0xFFFFFFFFu); }},
    {"a huge tag count", true, [](const Layout&, std::string& f) { SetLe32(f, 36, 1000); }},
    {"one tag fewer counted", true, [](const Layout&, std::string& f) { SetLe32(f, 36, 4); }},
    {"a tag's key length changed", true, [](const Layout& l, std::string& f) { f[l.Entry(kDown) + 28] = 39; }},
    {"cut to nothing", false, [](const Layout&, std::string& f) { f.clear(); }},
    {"cut to 100 bytes", false, [](const Layout&, std::string& f) { f.resize(100); }},
    {"cut in half", false, [](const Layout&, std::string& f) { f.resize(f.size() / 2); }},
    {"random bytes", false, [](const Layout&, std::string& f) { f = RandomBytes(f.size(), 11); }},
    {"garbage in the tag directory", false,
     [](const Layout&, std::string& f) { f.replace(128, 64 * 5, RandomBytes(64 * 5, 13)); }},
    {"a tag definition damaged", false,
     [](const Layout& l, std::string& f) { f[l.DefPage(kDown) * kPage + 18] ^= 0x01; }},
};

TEST(IndexDamageTest, EveryOrderEqualsTheScanOrTheDamageIsReported) {
  Layout sound{xbefuzz::SoundDamageFiles().nsx};
  ASSERT_EQ(sound.Height(kAll), 3u) << "the long key's tree is three levels deep";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    std::string nsx = sound.nsx;
    c.damage(sound, nsx);
    ASSERT_NE(nsx, sound.nsx);
    const DamageOutcome out = xbefuzz::JudgeDamage(nsx);
    EXPECT_EQ(out.verdict, "");
    // Nothing is ever given up: what cannot be repaired is served from a rebuilt copy.
    EXPECT_EQ(out.faults & XB_INDEX_REFUSED, 0);
    if (!c.definitionsKept) {
      EXPECT_NE(out.faults & XB_INDEX_LOST, 0) << "lost definitions go unreported";
      continue;
    }
    EXPECT_EQ(out.faults, 0);
    // The shared open walked every tag: what it met is repaired for good, and the file it
    // left is whole down to every record number.
    xbefuzz::MemFs fs;
    fs.files[kDamageNsx] = out.nsx;
    xbe::SetFileSystem(&fs);
    auto f = IndexFile::Open(kDamageNsx, false);
    ASSERT_TRUE(f);
    EXPECT_TRUE(f->Trusted());
    EXPECT_EQ(f->TagCount(), 5);
    f->SetRecordCount([](bool) { return xbefuzz::kDamageNotes + 1; });
    for (int slot = 0; slot < f->TagCount(); ++slot) {
      std::size_t n = 0;
      for (auto p = f->First(slot); p.Valid() && n <= f->Entries(slot); p = f->Next(slot, p)) ++n;
      EXPECT_EQ(n, f->Entries(slot)) << f->Tag(slot).name;
    }
    EXPECT_FALSE(f->Faulted());
    f.reset();
    xbe::SetFileSystem(nullptr);
  }
}

}  // namespace

// Damage of a tagged note table's index, judged by what the engine answers. A sound table of
// a few hundred notes is made once with five tags (a plain title; a long key over the four
// titles and two more fields, whose tree is three levels deep; a descending one; one with a
// condition; a numeric one). Each input is a list of damage done to a copy of its .nsx (the
// .dbf stays as it is): bytes set, bits flipped, the file cut, pages copied, swapped or
// zeroed, page header fields, entry record numbers, branch children and counts, header and
// tag directory fields. The table is then opened read-only, shared (with a record written
// and one appended) and read-only again, and every tag is walked forward and backward and
// sought, each answer compared with a scan of the .dbf. Every answer must be the scan's, or
// the engine must have said why not: a tag gone with XB_INDEX_LOST, a walk ended with
// XB_INDEX_REFUSED (and the order then 0). Shared by the libFuzzer harness and the corpus
// replay test.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/include/xbeng61.h"
#include "engine/src/Contract.h"
#include "tests/engine/fuzz/MemFs.h"
#include "tests/engine/helpers/NoteLayout.h"

namespace xbefuzz {

constexpr const char* kDamageDbf = "/damage/notes.dbf";
constexpr const char* kDamageNsx = "/damage/notes.nsx";
constexpr const char* kDamageSmt = "/damage/notes.smt";
constexpr int kDamageNotes = 320;

struct DamageTag {
  const char* name;
  const char* expression;
  const char* condition;  // null: none
  bool descending;
  bool numeric;
};

inline const std::vector<DamageTag>& DamageTags() {
  static const std::vector<DamageTag> tags = {
      {"TIT1", "tit1", nullptr, false, false},
      {"ALL", "tit1+tit2+tit3+tit4+kno+bible", nullptr, false, false},
      {"DOWN", "tit2", nullptr, true, false},
      {"MARKED", "tit3", "chk = \"v\"", false, false},
      {"NUM", "val(kno)", nullptr, false, true},
  };
  return tags;
}

// The sound table's three files, made once in a file system of their own.
struct DamageFiles {
  std::string dbf, smt, nsx;
};

inline const DamageFiles& SoundDamageFiles() {
  static const DamageFiles files = [] {
    MemFs fs;
    xbe::SetFileSystem(&fs);
    xbe::Settings() = xbe::EngineSettings();
    xbtest::CreateNoteFile(kDamageDbf);
    xb_UseEx(kDamageDbf, "", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
    static const char* const words[] = {"meeting", "\xB0\xA1\xB3\xAA", "plan", "todo", "\xB4\xD9\xB6\xF3", "idea", "list"};
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; };
    for (int i = 0; i < kDamageNotes; ++i) {
      xb_AppendBlank();
      // Titles repeat (equal keys lie in record order), some are blank.
      const std::string t1 = i % 13 == 0 ? "" : std::string(words[next() % 7]) + " " + std::to_string(next() % 60);
      xb_PutString("tit1", t1.c_str());
      xb_PutString("tit2", (std::string(words[next() % 7]) + std::to_string(next() % 9)).c_str());
      xb_PutString("tit3", (std::string(words[next() % 7]) + std::to_string(next() % 200)).c_str());
      xb_PutString("tit4", std::to_string(next()).c_str());
      xb_PutString("kno", std::to_string(static_cast<int>(next() % 500) - 100).c_str());
      xb_PutString("bible", std::to_string(next() % 10000).c_str());
      xb_PutString("chk", next() % 3 == 0 ? "v" : " ");
      xb_Commit();
      if (i % 37 == 5) xb_Delete();
    }
    for (const DamageTag& t : DamageTags()) xb_IndexTag(nullptr, t.name, t.expression, 0, t.descending ? -1 : 0, t.condition);
    xb_Close();
    xbe::SetFileSystem(nullptr);
    return DamageFiles{fs.files[kDamageDbf], fs.files[kDamageSmt], fs.files[kDamageNsx]};
  }();
  return files;
}

// ---- damage ---------------------------------------------------------------------------------

class DamageReader {
 public:
  DamageReader(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool More() const { return at_ < size_; }
  uint32_t U8() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t U16() { return U8() | U8() << 8; }
  uint32_t U32() { return U16() | U16() << 16; }

 private:
  const uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

inline void Put32Le(std::string& f, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    if (at + i < f.size()) f[at + i] = static_cast<char>(v >> (8 * i));
}

inline void Put32Be(std::string& f, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    if (at + i < f.size()) f[at + i] = static_cast<char>(v >> (8 * (3 - i)));
}

// A value for a number field: small ones near the truth, or any.
inline uint32_t DamageValue(DamageReader& in, uint32_t near) {
  const uint32_t kind = in.U8() % 4;
  if (kind == 0) return in.U8();
  if (kind == 1) return near + (in.U8() % 9) - 4;
  if (kind == 2) return 1 + in.U16() % (kDamageNotes + 4);
  return in.U32();
}

// Up to eight kinds of damage from the input, applied to the index file's bytes.
inline void ApplyDamage(const uint8_t* data, std::size_t size, std::string& nsx) {
  constexpr std::size_t kPage = 4096;
  static const int keyLens[] = {60, 216, 40, 40, 8};
  DamageReader in(data, size);
  for (int op = 0; op < 8 && in.More() && !nsx.empty(); ++op) {
    const std::size_t pages = std::max<std::size_t>(1, nsx.size() / kPage);
    const uint32_t kind = in.U8() % 10;
    switch (kind) {
      case 0: {  // bytes set
        std::size_t at = in.U32() % nsx.size();
        for (uint32_t n = 1 + in.U8() % 16; n > 0 && at < nsx.size(); --n) nsx[at++] = static_cast<char>(in.U8());
        break;
      }
      case 1: {  // a bit flipped
        const std::size_t at = in.U32() % nsx.size();
        nsx[at] = static_cast<char>(nsx[at] ^ (1 << (in.U8() % 8)));
        break;
      }
      case 2:  // cut short
        nsx.resize(in.U32() % (nsx.size() + 1));
        break;
      case 3:    // a page copied over another
      case 9: {  // or two swapped
        const std::size_t a = in.U16() % pages, b = in.U16() % pages;
        if ((a + 1) * kPage > nsx.size() || (b + 1) * kPage > nsx.size() || a == b) break;
        std::string pa = nsx.substr(a * kPage, kPage);
        if (kind == 9) nsx.replace(a * kPage, kPage, nsx.substr(b * kPage, kPage));
        nsx.replace(b * kPage, kPage, pa);
        break;
      }
      case 4: {  // a range zeroed
        const std::size_t at = in.U32() % nsx.size();
        const std::size_t n = std::min<std::size_t>(1 + in.U16() % 8192, nsx.size() - at);
        std::fill(nsx.begin() + static_cast<std::ptrdiff_t>(at), nsx.begin() + static_cast<std::ptrdiff_t>(at + n), '\0');
        break;
      }
      case 5: {  // a page header field: type, count, next, previous, own number
        const std::size_t page = 1 + in.U16() % pages;
        const std::size_t base = page * kPage;
        if (base + 16 > nsx.size()) break;
        switch (in.U8() % 5) {
          case 0: nsx[base] = static_cast<char>(1 + in.U8() % 4); break;
          case 1: {
            const uint32_t count = static_cast<uint8_t>(nsx[base + 2]) | static_cast<uint8_t>(nsx[base + 3]) << 8;
            const uint32_t v = DamageValue(in, count);
            nsx[base + 2] = static_cast<char>(v);
            nsx[base + 3] = static_cast<char>(v >> 8);
            break;
          }
          case 2: Put32Le(nsx, base + 4, DamageValue(in, static_cast<uint32_t>(page))); break;
          case 3: Put32Le(nsx, base + 8, DamageValue(in, static_cast<uint32_t>(page))); break;
          default: Put32Le(nsx, base + 12, DamageValue(in, static_cast<uint32_t>(page))); break;
        }
        break;
      }
      case 6: {  // the record number of a leaf entry
        const std::size_t page = 1 + in.U16() % pages;
        const int kl = keyLens[in.U8() % 5];
        const std::size_t at = page * kPage + 16 + (in.U8() % (4080 / (kl + 4))) * static_cast<std::size_t>(kl + 4) + kl;
        Put32Be(nsx, at, DamageValue(in, kDamageNotes));
        break;
      }
      case 7: {  // a header field, or a field of a tag's directory entry
        const uint32_t which = in.U8() % 12;
        static const std::size_t header[] = {16, 20, 32, 36, 68};
        if (which < 5) {
          Put32Le(nsx, header[which], DamageValue(in, static_cast<uint32_t>(pages)));
        } else {
          const std::size_t entry = 128 + (in.U8() % 6) * 64;
          static const std::size_t field[] = {0, 12, 16, 20, 24, 28, 30};
          const std::size_t at = entry + field[which - 5];
          if (which - 5 >= 5) {
            if (at < nsx.size()) nsx[at] = static_cast<char>(in.U8());
          } else {
            Put32Le(nsx, at, DamageValue(in, 3));
          }
        }
        break;
      }
      default: {  // a branch entry's child or count
        const std::size_t page = 1 + in.U16() % pages;
        const int kl = keyLens[in.U8() % 5];
        const std::size_t entry = page * kPage + 16 + (in.U8() % 16) * static_cast<std::size_t>(kl + 12);
        Put32Le(nsx, entry + kl + 4 + 4 * (in.U8() % 2), DamageValue(in, 20));
        break;
      }
    }
  }
}

// ---- judging --------------------------------------------------------------------------------

struct Want {
  std::string key;  // text tags: the key; numeric ones: empty
  double value = 0;
  XbLong rec = 0;
};

// The fields of each record, read once per open in natural order.
struct ScanRow {
  XbLong rec = 0;
  std::string tit1, tit2, tit3, tit4, kno, bible, chk;
};

inline std::vector<ScanRow> ScanTable() {
  std::vector<ScanRow> rows;
  xb_SetOrder(0);
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    ScanRow r;
    r.rec = xb_RecNo();
    r.tit1 = xb_GetString("tit1");
    r.tit2 = xb_GetString("tit2");
    r.tit3 = xb_GetString("tit3");
    r.tit4 = xb_GetString("tit4");
    r.kno = xb_GetString("kno");
    r.bible = xb_GetString("bible");
    r.chk = xb_GetString("chk");
    rows.push_back(std::move(r));
  }
  return rows;
}

// The tag's entries as the .dbf says they must be, in the tag's order: its key built from the
// fields here, not by the engine's expressions.
inline std::vector<Want> Expected(const DamageTag& t, const std::vector<ScanRow>& rows) {
  const std::string name = t.name;
  std::vector<Want> want;
  for (const ScanRow& r : rows) {
    if (t.condition && r.chk != "v") continue;
    Want w;
    w.rec = r.rec;
    if (name == "TIT1") w.key = r.tit1;
    if (name == "ALL") w.key = r.tit1 + r.tit2 + r.tit3 + r.tit4 + r.kno + r.bible;
    if (name == "DOWN") w.key = r.tit2;
    if (name == "MARKED") w.key = r.tit3;
    if (t.numeric) w.value = std::strtod(r.kno.c_str(), nullptr);
    want.push_back(std::move(w));
  }
  std::stable_sort(want.begin(), want.end(), [&](const Want& a, const Want& b) {
    if (t.numeric) return a.value < b.value;
    return t.descending ? a.key > b.key : a.key < b.key;
  });
  return want;
}

// What the opens of a damaged index came to.
struct DamageOutcome {
  std::string verdict;  // "" when every answer was the scan's or was explained
  int faults = 0;       // the XB_INDEX_* bits the engine reported, over all opens
  std::string nsx;      // the index file as the last open left it
};

// Judges one open of the table.
inline std::string JudgeOpen(XbShort mode, int& reported) {
  if (xb_UseEx(kDamageDbf, "", mode, XB_TT_NSX, 0) <= 0) return "the table did not open";
  xb_SetDeleted(0);
  // A loss reported by an earlier open stays true: the rebuild it led to kept the tags left.
  int faults = reported | xb_IndexFault();
  std::string verdict;
  const std::vector<ScanRow> rows = ScanTable();
  for (const DamageTag& t : DamageTags()) {
    const std::vector<Want> want = Expected(t, rows);
    const std::string name = t.name;
    XbShort order = xb_TagArea(t.name);
    faults |= xb_IndexFault();
    if (order == 0) {
      if (!(faults & (XB_INDEX_LOST | XB_INDEX_REFUSED))) verdict = name + ": tag gone without a word";
      if (!verdict.empty()) break;
      continue;
    }
    xb_SetOrder(order);
    // An answer that differs from the scan stands only when the engine gave the order up.
    auto explained = [&](const std::string& what) {
      faults |= xb_IndexFault();
      if ((faults & XB_INDEX_REFUSED) && xb_IndexOrd() == 0) return true;
      verdict = name + ": " + what;
      return false;
    };
    auto inOrder = [&] { return xb_IndexOrd() != 0 && name == xb_TagName(xb_IndexOrd()); };
    std::vector<XbLong> fwd;
    for (xb_GoTop(); !xb_Eof() && fwd.size() <= want.size() + 2; xb_Skip(1)) fwd.push_back(xb_RecNo());
    bool same = fwd.size() == want.size() && inOrder();
    for (std::size_t i = 0; same && i < fwd.size(); ++i) same = fwd[i] == want[i].rec;
    if (!same) {
      if (explained("walked forward " + std::to_string(fwd.size()) + " of " + std::to_string(want.size())))
        continue;
      break;
    }
    std::vector<XbLong> back;
    xb_GoBottom();
    while (!xb_Eof() && back.size() <= want.size() + 2) {
      back.push_back(xb_RecNo());
      const XbLong before = xb_RecNo();
      xb_Skip(-1);
      if (xb_Bof() || xb_RecNo() == before) break;
    }
    same = back.size() == want.size() && inOrder();
    for (std::size_t i = 0; same && i < back.size(); ++i) same = back[i] == want[want.size() - 1 - i].rec;
    if (!same) {
      if (explained("walked backward " + std::to_string(back.size()) + " of " + std::to_string(want.size())))
        continue;
      break;
    }
    // Seeks: whole keys, leading parts, keys made longer, keys that are not there.
    std::vector<std::string> texts;
    for (std::size_t i = 0; i < want.size(); i += 1 + want.size() / 8) {
      if (t.numeric) {
        texts.push_back(std::to_string(static_cast<long long>(want[i].value)));
        texts.push_back(std::to_string(static_cast<long long>(want[i].value) + 1000));
      } else {
        texts.push_back(want[i].key);
        texts.push_back(want[i].key.substr(0, 3));
        texts.push_back(want[i].key + "XY");
        texts.push_back(want[i].key.substr(0, 5) + "\x7F");
      }
    }
    for (const std::string& text : texts) {
      if (text.empty()) continue;
      const bool found = xb_Seek(text.c_str()) != 0;
      XbLong expect = 0;
      for (const Want& w : want) {
        const bool hit = t.numeric ? w.value == std::strtod(text.c_str(), nullptr)
                                   : text.size() <= w.key.size() && w.key.compare(0, text.size(), text) == 0;
        if (hit) {
          expect = w.rec;
          break;
        }
      }
      if (found != (expect != 0) || (found && xb_RecNo() != expect) || !inOrder()) {
        if (!explained("seek of [" + text + "] found " + std::to_string(found ? xb_RecNo() : 0) + ", the table " +
                       std::to_string(expect)))
          break;
        break;
      }
    }
    if (!verdict.empty()) break;
  }
  reported |= faults | xb_IndexFault();
  xb_Close();
  return verdict;
}

// What a shared open writes: a note's titles changed, and a note appended.
inline void WriteSomeNotes() {
  if (xb_UseEx(kDamageDbf, "", XB_OPEN_SHARED, XB_TT_NSX, 0) <= 0) return;
  xb_SetOrder(xb_TagArea("TIT1"));
  xb_Go(kDamageNotes / 3);
  if (xb_Rlock(xb_RecNo())) {
    xb_PutString("tit1", "changed title");
    xb_PutString("tit2", "changed");
    xb_PutString("chk", "v");
    xb_Commit();
    xb_Unlock(0);
  }
  xb_AppendBlank();
  xb_PutString("tit1", "appended");
  xb_PutString("kno", "77");
  xb_Commit();
  xb_Unlock(0);
  xb_Close();
}

// The damaged index judged read-only (which must leave the file as it was), shared with
// writes, and read-only again.
inline DamageOutcome JudgeDamage(const std::string& nsx) {
  const DamageFiles& sound = SoundDamageFiles();
  MemFs fs;
  fs.files[kDamageDbf] = sound.dbf;
  fs.files[kDamageSmt] = sound.smt;
  fs.files[kDamageNsx] = nsx;
  xbe::SetFileSystem(&fs);
  xbe::Settings() = xbe::EngineSettings();
  xb_SetLockTimeout(0);
  DamageOutcome out;
  out.verdict = JudgeOpen(XB_OPEN_READONLY, out.faults);
  if (out.verdict.empty() && fs.files[kDamageNsx] != nsx) out.verdict = "a read-only open wrote the index";
  if (out.verdict.empty()) out.verdict = JudgeOpen(XB_OPEN_SHARED, out.faults);
  if (out.verdict.empty()) {
    WriteSomeNotes();
    out.verdict = JudgeOpen(XB_OPEN_READONLY, out.faults);
  }
  xb_CloseAll();
  out.nsx = fs.files[kDamageNsx];
  xbe::Settings() = xbe::EngineSettings();
  xbe::SetFileSystem(nullptr);
  return out;
}

inline std::string RunDamage(const uint8_t* data, std::size_t size) {
  std::string nsx = SoundDamageFiles().nsx;
  ApplyDamage(data, size, nsx);
  return JudgeDamage(nsx).verdict;
}

}  // namespace xbefuzz

// One fuzz input for the .nsx index reader: the bytes are an index file, held in an
// in-memory file system. It is opened read-only and writable; every tag is walked both ways,
// sought, counted and placed by ordinal; then keys are inserted and removed, a tag is
// rebuilt and one deleted, and the file is walked again. Nothing may read or write past a
// page, loop for ever or crash, whatever the bytes. Shared by the libFuzzer harness and the
// corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/src/IndexFile.h"
#include "tests/engine/fuzz/MemFs.h"

namespace xbefuzz {

// Walks, seeks and places by ordinal in every tag; bounded however the file links its pages.
inline void ReadEverything(xbe::IndexFile& f) {
  constexpr int kSteps = 3000;
  for (int slot = 0; slot < f.TagCount(); ++slot) {
    const int kl = f.Tag(slot).keyLen;
    std::string firstKey;
    int steps = 0;
    for (auto p = f.First(slot); p.Valid() && steps < kSteps; p = f.Next(slot, p), ++steps) {
      const char* k = f.KeyAt(slot, p);
      if (k && firstKey.empty()) firstKey.assign(k, static_cast<std::size_t>(kl));
      (void)f.RecAt(slot, p);
      if (steps % 97 == 0) (void)f.Ordinal(slot, p);
    }
    steps = 0;
    for (auto p = f.Last(slot); p.Valid() && steps < kSteps; p = f.Prev(slot, p), ++steps) (void)f.KeyAt(slot, p);
    for (const std::string& key : {firstKey, std::string(static_cast<std::size_t>(kl), '\0'),
                                   std::string(static_cast<std::size_t>(kl), '\xFF'), std::string("m")}) {
      if (key.empty()) continue;
      auto p = f.LowerBound(slot, key.data(), static_cast<int>(key.size()), 0);
      (void)f.RecAt(slot, p);
      p = f.LowerBound(slot, key.data(), static_cast<int>(key.size()), UINT32_MAX);
      (void)f.KeyAt(slot, f.Prev(slot, p));
    }
    for (uint32_t ord : {0u, 1u, f.Entries(slot) / 2, f.Entries(slot) - 1, f.Entries(slot)})
      (void)f.RecAt(slot, f.AtOrdinal(slot, ord));
  }
}

inline void RunNsx(const uint8_t* data, std::size_t size) {
  MemFs fs;
  const std::string path = "/fuzz/x.nsx";
  fs.files[path].assign(reinterpret_cast<const char*>(data), size);
  xbe::SetFileSystem(&fs);
  for (bool writable : {false, true}) {
    auto f = xbe::IndexFile::Open(path, writable);
    if (!f) continue;
    (void)f->Sync();
    (void)f->Validate();
    ReadEverything(*f);
    if (!writable) continue;
    // Writes into whatever the file holds: refused or done, never past a page.
    if (f->Begin()) {
      for (int slot = 0; slot < f->TagCount(); ++slot) {
        std::string key(static_cast<std::size_t>(f->Tag(slot).keyLen), 'k');
        for (int32_t r = 1; r <= 40; ++r) {
          key[0] = static_cast<char>('a' + r % 26);
          (void)f->Insert(slot, key.data(), r);
        }
        for (int32_t r = 1; r <= 40; r += 3) {
          key[0] = static_cast<char>('a' + r % 26);
          (void)f->Remove(slot, key.data(), r);
        }
      }
      (void)f->End(nullptr);
    }
    ReadEverything(*f);
    if (f->TagCount() > 0) {
      xbe::TagInfo def = f->Tag(0);
      std::string keys(static_cast<std::size_t>(def.keyLen) * 3, 'z');
      int32_t recs[3] = {1, 2, 3};
      (void)f->BuildTag(def, keys.data(), recs, 3, f->Stamp());
      (void)f->DeleteTag(f->TagCount() - 1);
    }
    ReadEverything(*f);
  }
  xbe::SetFileSystem(nullptr);
}

}  // namespace xbefuzz

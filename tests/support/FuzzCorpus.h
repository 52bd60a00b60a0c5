// Replays a fuzz harness's saved corpus in the tests, so every input it ever kept stays
// harmless: Run gets each file of tests/<Folder> in turn; the number of files is returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

inline int ReplayCorpus(const std::string& Folder, const std::function<void(const uint8_t*, size_t)>& Run) {
  const std::filesystem::path dir = std::filesystem::path(ORV_SOURCE_DIR) / "tests" / Folder;
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Run(reinterpret_cast<const uint8_t*>(data.data()), data.size());
    ++count;
  }
  return count;
}

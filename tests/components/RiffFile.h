// RIFF files built byte by byte, for the tests and benchmarks of animated cursors: a chunk
// (identifier, length, data, pad byte) and the file around the chunks.
#pragma once

#include <cstdint>
#include <string>

#include "LittleEndian.h"

inline std::string Chunk(const char* id, const std::string& data) {
  std::string s(id, 4);
  Put32(s, static_cast<uint32_t>(data.size()));
  s += data;
  if (data.size() & 1) s += '\0';
  return s;
}

inline std::string Riff(const std::string& chunks, const char* form = "ACON") {
  std::string s = "RIFF";
  Put32(s, static_cast<uint32_t>(chunks.size() + 4));
  return s + form + chunks;
}

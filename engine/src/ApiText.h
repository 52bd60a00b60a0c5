// Text passing of the C interface: a null argument is "", and returned text lives in a
// per-thread ring of buffers until later calls on that thread reuse it.
#pragma once

#include <string>
#include <string_view>

namespace xbe {

inline std::string Str(const char* s) { return s ? std::string(s) : std::string(); }

inline const char* Ret(std::string_view s) {
  thread_local std::string ring[8];
  thread_local unsigned next = 0;
  std::string& slot = ring[next++ % 8];
  slot = s;
  return slot.c_str();
}

}  // namespace xbe

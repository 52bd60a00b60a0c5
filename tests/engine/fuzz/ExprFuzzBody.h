// One fuzz input for the expression compiler: compile it over the note layout, then evaluate
// it every way on a filled record, a blank record and the EOF position. Shared by the
// libFuzzer harness and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/src/Expr.h"
#include "tests/engine/ExprTestSource.h"

namespace xbefuzz {

// The note layout and three fields of the other types.
inline const std::vector<xbe::FieldDesc>& NoteFields() {
  static const xbetest::MemSource source({{"MMM", 'M', 10, 0}, {"KNO", 'C', 12, 0}, {"CHK", 'C', 1, 0},
                                          {"LOCK", 'C', 1, 0}, {"TYPE", 'C', 1, 0}, {"BIBLE", 'C', 4, 0},
                                          {"TIT1", 'C', 60, 0}, {"TIT2", 'C', 40, 0}, {"TIT3", 'C', 40, 0},
                                          {"TIT4", 'C', 60, 0}, {"NUM", 'N', 8, 0}, {"DAY", 'D', 8, 0},
                                          {"OK", 'L', 1, 0}});
  return source.Fields();
}

inline void RunExpression(const uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto& fields = NoteFields();
  int recSize = fields.back().offset + fields.back().width;
  std::string filled(static_cast<std::size_t>(recSize), ' ');
  for (std::size_t i = 1; i < filled.size(); ++i) filled[i] = static_cast<char>(0xB0 + i % 7);
  std::string blank(static_cast<std::size_t>(recSize), ' ');
  for (bool exact : {false, true}) {
    xbe::CompileOptions o;
    o.exact = exact;
    auto e = xbe::CompiledExpr::Compile(text, fields, o);
    if (!e) continue;
    std::string key(static_cast<std::size_t>(e->KeyWidth()), '\0');
    for (const char* img : {filled.c_str(), blank.c_str(), static_cast<const char*>(nullptr)}) {
      xbe::EvalContext c{img, 1, nullptr};
      (void)e->Logical(c);
      (void)e->Numeric(c);
      (void)e->Date(c);
      (void)e->String(c);
      (void)e->Text(c);
      e->Key(c, key.data());
    }
    (void)e->SeekKey(text);
  }
}

}  // namespace xbefuzz

// Code page 949 text functions for the add-on's SQLite connections (see Cp949Functions.h).
#include "addons/sql/src/Cp949Functions.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Cp949.h"

namespace xbsql {

namespace {

constexpr size_t kMaxPattern = 50000;  // as SQLite's own limit on LIKE and GLOB patterns

size_t Len(std::string_view s, size_t i) { return cp949::CharLength(s, i); }

// A character as one number: its byte, or lead * 256 + trail.
uint32_t CodeAt(std::string_view s, size_t i, size_t n) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  return n == 2 ? (b(i) << 8) | b(i + 1) : b(i);
}

unsigned char Fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }

bool SameChar(std::string_view a, size_t i, size_t an, std::string_view b, size_t j, size_t bn,
              bool foldCase) {
  if (an != bn) return false;
  if (an == 1) {
    const auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[j]);
    return foldCase ? Fold(x) == Fold(y) : x == y;
  }
  return a.compare(i, an, b, j, bn) == 0;
}

// One pattern element at p: how far it reaches (pe) and whether it matches the text character
// at t. Kind: 0 literal, 1 any sequence, 2 any one character.
struct Element {
  int kind = 0;
  size_t begin = 0, length = 0;  // the literal or the class text
  size_t end = 0;
  bool isClass = false;
};

// The element of a LIKE pattern at p; false when an escape stands at the end.
bool LikeElement(std::string_view pat, size_t p, std::string_view esc, Element& e) {
  const size_t n = Len(pat, p);
  if (!esc.empty() && pat.compare(p, n, esc) == 0) {
    const size_t lit = p + n;
    if (lit >= pat.size()) return false;
    e = {0, lit, Len(pat, lit), lit + Len(pat, lit), false};
    return true;
  }
  if (n == 1 && pat[p] == '%') e = {1, p, 1, p + 1, false};
  else if (n == 1 && pat[p] == '_') e = {2, p, 1, p + 1, false};
  else e = {0, p, n, p + n, false};
  return true;
}

// The element of a GLOB pattern at p; false for a class without its closing bracket.
bool GlobElement(std::string_view pat, size_t p, Element& e) {
  const size_t n = Len(pat, p);
  if (n == 1 && pat[p] == '*') e = {1, p, 1, p + 1, false};
  else if (n == 1 && pat[p] == '?') e = {2, p, 1, p + 1, false};
  else if (n == 1 && pat[p] == '[') {
    size_t q = p + 1;
    if (q < pat.size() && pat[q] == '^') ++q;
    if (q < pat.size() && pat[q] == ']') ++q;  // a leading ']' is a member
    while (q < pat.size() && pat[q] != ']') q += Len(pat, q);
    if (q >= pat.size()) return false;
    e = {0, p + 1, q - p - 1, q + 1, true};
  } else {
    e = {0, p, n, p + n, false};
  }
  return true;
}

bool InClass(std::string_view cls, std::string_view text, size_t t, size_t tn) {
  size_t i = 0;
  bool negate = false;
  if (i < cls.size() && cls[i] == '^') negate = true, ++i;
  const uint32_t c = CodeAt(text, t, tn);
  bool found = false;
  while (i < cls.size()) {
    const size_t n = Len(cls, i);
    const uint32_t low = CodeAt(cls, i, n);
    i += n;
    // "a-z" is a range unless the '-' is the last member.
    if (i + 1 < cls.size() && cls[i] == '-') {
      const size_t m = Len(cls, i + 1);
      const uint32_t high = CodeAt(cls, i + 1, m);
      if (c >= low && c <= high) found = true;
      i += 1 + m;
    } else if (c == low) {
      found = true;
    }
  }
  return found != negate;
}

// Wildcard matching with the last-star backtrack: linear for patterns with one '%' or '*',
// never worse than pattern x text.
template <class Next, class Matches>
bool Match(std::string_view pat, std::string_view text, Next next, Matches matches) {
  size_t p = 0, t = 0;
  size_t starP = std::string_view::npos, starT = 0;
  Element e;
  while (t < text.size()) {
    const size_t tn = Len(text, t);
    if (p < pat.size()) {
      if (!next(p, e)) return false;
      if (e.kind == 1) {
        starP = e.end;
        starT = t;
        p = e.end;
        continue;
      }
      if (e.kind == 2 || matches(e, t, tn)) {
        p = e.end;
        t += tn;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    starT += Len(text, starT);
    t = starT;
    p = starP;
  }
  while (p < pat.size()) {
    if (!next(p, e) || e.kind != 1) return false;
    p = e.end;
  }
  return true;
}

std::string_view TextOf(sqlite3_value* v) {
  const char* z = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return z ? std::string_view(z, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  return false;
}

void ResultText(sqlite3_context* c, std::string_view s) {
  sqlite3_result_text64(c, s.data(), s.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Byte offsets of the character starts of s, and its end.
std::vector<size_t> Starts(std::string_view s) {
  std::vector<size_t> at;
  for (size_t i = 0; i < s.size(); i += Len(s, i)) at.push_back(i);
  at.push_back(s.size());
  return at;
}

void LikeFn(sqlite3_context* c, int argc, sqlite3_value** argv) {
  std::string_view esc;
  if (argc == 3) {
    esc = TextOf(argv[2]);
    if (esc.empty() || Len(esc, 0) != esc.size()) {
      sqlite3_result_error(c, "ESCAPE expression must be a single character", -1);
      return;
    }
  }
  if (AnyNull(2, argv)) return;
  const std::string_view pat = TextOf(argv[0]);
  if (pat.size() > kMaxPattern) {
    sqlite3_result_error(c, "LIKE or GLOB pattern too complex", -1);
    return;
  }
  sqlite3_result_int(c, LikeMatch(pat, TextOf(argv[1]), esc) ? 1 : 0);
}

void GlobFn(sqlite3_context* c, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  const std::string_view pat = TextOf(argv[0]);
  if (pat.size() > kMaxPattern) {
    sqlite3_result_error(c, "LIKE or GLOB pattern too complex", -1);
    return;
  }
  sqlite3_result_int(c, GlobMatch(pat, TextOf(argv[1])) ? 1 : 0);
}

void LengthFn(sqlite3_context* c, int, sqlite3_value** argv) {
  switch (sqlite3_value_type(argv[0])) {
    case SQLITE_NULL: return;
    case SQLITE_BLOB: sqlite3_result_int64(c, sqlite3_value_bytes(argv[0])); return;
    default: sqlite3_result_int64(c, static_cast<sqlite3_int64>(cp949::CharCount(TextOf(argv[0]))));
  }
}

// SQLite's substr rules, counting characters of text and bytes of blobs.
void SubstrFn(sqlite3_context* c, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return;
  const bool blob = sqlite3_value_type(argv[0]) == SQLITE_BLOB;
  std::string_view s;
  if (blob) {
    const void* z = sqlite3_value_blob(argv[0]);
    s = std::string_view(static_cast<const char*>(z), static_cast<size_t>(sqlite3_value_bytes(argv[0])));
  } else {
    s = TextOf(argv[0]);
  }
  const std::vector<size_t> starts = blob ? std::vector<size_t>() : Starts(s);
  const int64_t len = blob ? static_cast<int64_t>(s.size()) : static_cast<int64_t>(starts.size() - 1);
  int64_t p1 = sqlite3_value_int64(argv[1]);
  int64_t p2 = len + 1;
  bool negP2 = false;
  if (argc == 3) {
    p2 = sqlite3_value_int64(argv[2]);
    if (p2 < 0) p2 = -p2, negP2 = true;
  }
  if (p1 < 0) {
    p1 += len;
    if (p1 < 0) {
      p2 += p1;
      if (p2 < 0) p2 = 0;
      p1 = 0;
    }
  } else if (p1 > 0) {
    --p1;
  } else if (p2 > 0) {
    --p2;
  }
  if (negP2) {
    p1 -= p2;
    if (p1 < 0) {
      p2 += p1;
      p1 = 0;
    }
  }
  if (p1 > len) p1 = len;
  if (p2 > len - p1) p2 = len - p1;
  if (blob) {
    sqlite3_result_blob64(c, s.data() + p1, static_cast<sqlite3_uint64>(p2), SQLITE_TRANSIENT);
  } else {
    const size_t b = starts[static_cast<size_t>(p1)], e = starts[static_cast<size_t>(p1 + p2)];
    ResultText(c, s.substr(b, e - b));
  }
}

void InstrFn(sqlite3_context* c, int, sqlite3_value** argv) {
  if (AnyNull(2, argv)) return;
  if (sqlite3_value_type(argv[0]) == SQLITE_BLOB && sqlite3_value_type(argv[1]) == SQLITE_BLOB) {
    const auto* h = static_cast<const char*>(sqlite3_value_blob(argv[0]));
    const auto* n = static_cast<const char*>(sqlite3_value_blob(argv[1]));
    const std::string_view hay(h ? h : "", static_cast<size_t>(sqlite3_value_bytes(argv[0])));
    const std::string_view needle(n ? n : "", static_cast<size_t>(sqlite3_value_bytes(argv[1])));
    const size_t at = hay.find(needle);
    sqlite3_result_int64(c, at == std::string_view::npos ? 0 : static_cast<sqlite3_int64>(at) + 1);
    return;
  }
  const std::string_view hay = TextOf(argv[0]);
  const size_t at = cp949::Find(hay, TextOf(argv[1]));
  sqlite3_result_int64(c, at == std::string_view::npos
                              ? 0
                              : static_cast<sqlite3_int64>(cp949::CharCount(hay.substr(0, at))) + 1);
}

void ReplaceFn(sqlite3_context* c, int, sqlite3_value** argv) {
  if (AnyNull(3, argv)) return;
  const std::string_view s = TextOf(argv[0]), from = TextOf(argv[1]), to = TextOf(argv[2]);
  if (from.empty()) {
    ResultText(c, s);
    return;
  }
  std::string out;
  size_t at = 0;
  for (size_t hit; (hit = cp949::Find(s, from, at)) != std::string_view::npos; at = hit + from.size()) {
    out.append(s.substr(at, hit - at));
    out.append(to);
  }
  out.append(s.substr(at));
  ResultText(c, out);
}

// trim, ltrim, rtrim: bit 1 trims the left, bit 2 the right.
template <int Sides>
void TrimFn(sqlite3_context* c, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return;
  const std::string_view s = TextOf(argv[0]);
  const std::string_view set = argc == 2 ? TextOf(argv[1]) : std::string_view(" ");
  const std::vector<size_t> cs = Starts(set);
  auto inSet = [&](size_t i, size_t n) {
    for (size_t k = 0; k + 1 < cs.size(); ++k)
      if (SameChar(s, i, n, set, cs[k], cs[k + 1] - cs[k], false)) return true;
    return false;
  };
  const std::vector<size_t> starts = Starts(s);
  size_t first = 0, last = starts.size() - 1;
  if (Sides & 1)
    while (first < last && inSet(starts[first], starts[first + 1] - starts[first])) ++first;
  if (Sides & 2)
    while (last > first && inSet(starts[last - 1], starts[last] - starts[last - 1])) --last;
  ResultText(c, s.substr(starts[first], starts[last] - starts[first]));
}

template <bool Upper>
void CaseFn(sqlite3_context* c, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return;
  const std::string_view s = TextOf(argv[0]);
  ResultText(c, Upper ? cp949::Upper(s) : cp949::Lower(s));
}

}  // namespace

bool LikeMatch(std::string_view Pattern, std::string_view Text, std::string_view Escape) {
  return Match(
      Pattern, Text, [&](size_t p, Element& e) { return LikeElement(Pattern, p, Escape, e); },
      [&](const Element& e, size_t t, size_t tn) {
        return SameChar(Pattern, e.begin, e.length, Text, t, tn, true);
      });
}

bool GlobMatch(std::string_view Pattern, std::string_view Text) {
  return Match(
      Pattern, Text, [&](size_t p, Element& e) { return GlobElement(Pattern, p, e); },
      [&](const Element& e, size_t t, size_t tn) {
        return e.isClass ? InClass(Pattern.substr(e.begin, e.length), Text, t, tn)
                         : SameChar(Pattern, e.begin, e.length, Text, t, tn, false);
      });
}

bool RegisterCp949Functions(sqlite3* Db) {
  struct Fn {
    const char* name;
    int args;
    void (*f)(sqlite3_context*, int, sqlite3_value**);
  };
  const Fn fns[] = {
      {"like", 2, LikeFn},          {"like", 3, LikeFn},           {"glob", 2, GlobFn},
      {"length", 1, LengthFn},      {"substr", 2, SubstrFn},       {"substr", 3, SubstrFn},
      {"substring", 2, SubstrFn},   {"substring", 3, SubstrFn},    {"instr", 2, InstrFn},
      {"replace", 3, ReplaceFn},    {"trim", 1, TrimFn<3>},        {"trim", 2, TrimFn<3>},
      {"ltrim", 1, TrimFn<1>},      {"ltrim", 2, TrimFn<1>},       {"rtrim", 1, TrimFn<2>},
      {"rtrim", 2, TrimFn<2>},      {"upper", 1, CaseFn<true>},    {"lower", 1, CaseFn<false>},
  };
  for (const Fn& f : fns)
    if (sqlite3_create_function_v2(Db, f.name, f.args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, f.f,
                                   nullptr, nullptr, nullptr) != SQLITE_OK)
      return false;
  return true;
}

}  // namespace xbsql

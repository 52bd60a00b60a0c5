// The xBase expression compiler and evaluator (see Expr.h): a tokenizer, a recursive-descent
// parser with a depth limit, and a tree of statically typed nodes.
#include "engine/src/Expr.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/src/Collation.h"
#include "engine/src/FieldCodec.h"
#include "platform/core/Cp949.h"
#include "platform/core/NumberText.h"

namespace xbe {

// ---- dates ------------------------------------------------------------------------------

static bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

static int DaysInMonth(int y, int m) {
  static const int d[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : d[m - 1];
}

int32_t DayNumber(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) return 0;
  int a = (14 - month) / 12;
  int y = year + 4800 - a;
  int m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void DayToDate(int32_t jdn, int& year, int& month, int& day) {
  if (jdn <= 0) {
    year = month = day = 0;
    return;
  }
  int64_t a = static_cast<int64_t>(jdn) + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  month = static_cast<int>(m + 3 - 12 * (m / 10));
  year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

std::string DayToDtos(int32_t n) {
  if (n <= 0) return std::string(8, ' ');
  int y, m, d;
  DayToDate(n, y, m, d);
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m, d);
  return std::string(buf, 8);
}

int32_t DtosToDay(std::string_view s) {
  if (s.size() < 8) return 0;
  int v[8];
  for (int i = 0; i < 8; ++i) {
    if (s[i] < '0' || s[i] > '9') return 0;
    v[i] = s[i] - '0';
  }
  return DayNumber(v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3], v[4] * 10 + v[5], v[6] * 10 + v[7]);
}

// Reads a date typed in the engine's date format: the digit groups in the format's order.
static int32_t ParseDateText(std::string_view s) {
  int groups[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int g = 0;
  bool in = false;
  for (char ch : s) {
    if (ch >= '0' && ch <= '9') {
      if (!in && g >= 3) return 0;
      in = true;
      if (digits[g] >= 4) return 0;
      groups[g] = groups[g] * 10 + (ch - '0');
      ++digits[g];
    } else if (in) {
      in = false;
      ++g;
    }
  }
  if (in) ++g;
  if (g != 3) return 0;
  int code = Settings().dateFormat;
  int y, m, d, yDigits;
  if (code == 1) {  // ANSI yy.mm.dd
    y = groups[0], m = groups[1], d = groups[2], yDigits = digits[0];
  } else if (code >= 2 && code <= 6) {  // day first
    d = groups[0], m = groups[1], y = groups[2], yDigits = digits[2];
  } else {  // American and the default: month first
    m = groups[0], d = groups[1], y = groups[2], yDigits = digits[2];
  }
  if (yDigits <= 2) {
    int epoch = Settings().epoch;
    int century = epoch / 100 * 100;
    y += century;
    if (y < epoch) y += 100;
  }
  return DayNumber(y, m, d);
}

static std::string DayToDateText(int32_t n) {
  const EngineSettings& st = Settings();
  int width = st.century ? 10 : 8;
  if (n <= 0) return std::string(static_cast<std::size_t>(width), ' ');
  int y, m, d;
  DayToDate(n, y, m, d);
  int yy = st.century ? y : y % 100;
  const char* yf = st.century ? "%04d" : "%02d";
  char ys[8];
  std::snprintf(ys, sizeof ys, yf, yy);
  char buf[32];
  switch (st.dateFormat) {
    case 1: std::snprintf(buf, sizeof buf, "%s.%02d.%02d", ys, m, d); break;
    case 2:
    case 3: std::snprintf(buf, sizeof buf, "%02d/%02d/%s", d, m, ys); break;
    case 4: std::snprintf(buf, sizeof buf, "%02d.%02d.%s", d, m, ys); break;
    case 5:
    case 6: std::snprintf(buf, sizeof buf, "%02d-%02d-%s", d, m, ys); break;
    default: std::snprintf(buf, sizeof buf, "%02d/%02d/%s", m, d, ys); break;
  }
  return buf;
}

static int32_t Today() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return DayNumber(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
}

// ---- helpers ----------------------------------------------------------------------------

// The first place of needle (two bytes or more) in hay[from..], or npos. Its first two bytes
// are tested sixteen places at a time: a query tests every note's titles this way, and in
// Korean text the first byte alone (a lead byte) matches too often to be a filter.
static std::size_t FindBytes(std::string_view hay, std::size_t from, std::string_view needle) {
  const std::size_t m = needle.size();
  if (hay.size() < m || from > hay.size() - m) return std::string_view::npos;
  const std::size_t last = hay.size() - m;  // the last place a match can begin
  const char* h = hay.data();
  const char n0 = needle[0], n1 = needle[1];
  auto matchesAt = [&](std::size_t i) {
    return h[i] == n0 && h[i + 1] == n1 && std::memcmp(h + i + 2, needle.data() + 2, m - 2) == 0;
  };
  std::size_t i = from;
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(n0), second = _mm_set1_epi8(n1);
  // Both loads stay inside hay: bytes i .. i+16.
  for (; i <= last && i + 17 <= hay.size(); i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + i + 1));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, second))));
    for (; mask != 0; mask &= mask - 1) {
      const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
      if (at > last) return std::string_view::npos;
      if (matchesAt(at)) return at;
    }
  }
#endif
  for (; i <= last; ++i)
    if (matchesAt(i)) return i;
  return std::string_view::npos;
}

std::size_t FindCharAligned(std::string_view hay, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > hay.size()) return std::string_view::npos;
  std::size_t from = 0;
  std::size_t walk = 0;  // a character start at or before every candidate still to test
  while (from + needle.size() <= hay.size()) {
    std::size_t c;
    if (needle.size() == 1) {
      const void* hit = std::memchr(hay.data() + from, needle[0], hay.size() - from);
      if (!hit) return std::string_view::npos;
      c = static_cast<std::size_t>(static_cast<const char*>(hit) - hay.data());
    } else {
      c = FindBytes(hay, from, needle);
      if (c == std::string_view::npos) return c;
    }
    while (walk < c) walk += cp949::CharLength(hay, walk);
    if (walk == c) {
      std::size_t end = c + needle.size();
      std::size_t q = c;
      while (q < end) q += cp949::CharLength(hay, q);
      if (q == end) return c;
    }
    from = c + 1;
  }
  return std::string_view::npos;
}

void EncodeNumberKey(double v, char* out) {
  if (v == 0) v = 0;  // one key for -0 and 0
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  if (bits & 0x8000000000000000ull)
    bits = ~bits;
  else
    bits |= 0x8000000000000000ull;
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<char>(bits & 0xFF);
    bits >>= 8;
  }
}

static std::string FormatStr(double v, int len, int dec) {
  if (len < 1) len = 1;
  if (len > 255) len = 255;
  if (dec < 0) dec = 0;
  if (dec > len) dec = len;
  std::string out;
  if (!numtext::Fixed(v, len, dec, out)) return std::string(static_cast<std::size_t>(len), '*');
  return out;
}

static std::string FormatNumber(double v) { return numtext::Plain(v); }

static std::string_view RTrim(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}
static std::string_view LTrim(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return s.substr(i);
}

static constexpr int kMaxString = 65535;

static int ClampLen(double v) {
  if (!(v > 0)) return 0;
  if (v > kMaxString) return kMaxString;
  return static_cast<int>(v);
}

// ---- nodes ------------------------------------------------------------------------------

class ExprNode {
 public:
  explicit ExprNode(ExprType t, int w = 0) : type(t), width(w) {}
  virtual ~ExprNode() = default;
  virtual std::string_view Str(const EvalContext&) { return {}; }
  virtual double Num(const EvalContext&) { return 0; }
  virtual bool Log(const EvalContext&) { return false; }
  virtual int32_t Dat(const EvalContext&) { return 0; }
  // A character value that is one stretch of the record image (a field, or adjacent fields
  // added together) says where, so concatenations of it cost nothing.
  virtual bool Span(int&, int&) const { return false; }
  ExprType type;
  int width;  // static width of a character value
};

using NodePtr = std::unique_ptr<ExprNode>;

class StrLit : public ExprNode {
 public:
  explicit StrLit(std::string v) : ExprNode(ExprType::Char, static_cast<int>(v.size())), v_(std::move(v)) {}
  std::string_view Str(const EvalContext&) override { return v_; }
 private:
  std::string v_;
};
class NumLit : public ExprNode {
 public:
  explicit NumLit(double v) : ExprNode(ExprType::Numeric), v_(v) {}
  double Num(const EvalContext&) override { return v_; }
  double v_;
};
class LogLit : public ExprNode {
 public:
  explicit LogLit(bool v) : ExprNode(ExprType::Logical), v_(v) {}
  bool Log(const EvalContext&) override { return v_; }
 private:
  bool v_;
};

class FieldNode : public ExprNode {
 public:
  FieldNode(ExprType t, const FieldDesc& f, int index)
      : ExprNode(t, t == ExprType::Char ? (f.type == 'M' ? 10 : f.width) : 0),
        off_(f.offset), len_(f.width), kind_(f.type), index_(index) {}
  std::string_view Bytes(const EvalContext& c) const {
    if (!c.image) return {};
    return std::string_view(c.image + off_, static_cast<std::size_t>(len_));
  }
  std::string_view Str(const EvalContext& c) override {
    if (kind_ == 'M' || kind_ == 'G' || kind_ == 'B' || kind_ == 'P') {
      memo_ = (c.source && c.image) ? c.source->ReadMemo(index_, c.image) : std::string();
      return memo_;
    }
    if (!c.image) return std::string_view(blanks_.assign(static_cast<std::size_t>(len_), ' '));
    return Bytes(c);
  }
  bool Span(int& off, int& len) const override {
    if (type != ExprType::Char || kind_ == 'M' || kind_ == 'G' || kind_ == 'B' || kind_ == 'P') return false;
    off = off_;
    len = len_;
    return true;
  }
  double Num(const EvalContext& c) override {
    if (!c.image) return 0;
    if (kind_ == 'I' && len_ == 4) {
      int32_t v;
      std::memcpy(&v, c.image + off_, 4);
      return v;
    }
    return xbe::ParseNumber(Bytes(c));
  }
  int32_t Dat(const EvalContext& c) override { return c.image ? DtosToDay(Bytes(c)) : 0; }
  bool Log(const EvalContext& c) override {
    if (!c.image || len_ < 1) return false;
    char ch = c.image[off_];
    return ch == 'T' || ch == 't' || ch == 'Y' || ch == 'y';
  }
 private:
  int off_, len_;
  char kind_;
  int index_;
  std::string memo_, blanks_;
};

class ConcatNode : public ExprNode {
 public:
  ConcatNode(NodePtr a, NodePtr b) : ExprNode(ExprType::Char, a->width + b->width), a_(std::move(a)), b_(std::move(b)) {
    int o1, l1, o2, l2;
    if (a_->Span(o1, l1) && b_->Span(o2, l2) && o1 + l1 == o2) {
      spanOff_ = o1;
      spanLen_ = l1 + l2;
    }
  }
  bool Span(int& off, int& len) const override {
    if (spanOff_ < 0) return false;
    off = spanOff_;
    len = spanLen_;
    return true;
  }
  std::string_view Str(const EvalContext& c) override {
    if (spanOff_ >= 0 && c.image) return std::string_view(c.image + spanOff_, static_cast<std::size_t>(spanLen_));
    std::string_view x = a_->Str(c);
    buf_.assign(x.data(), x.size());
    std::string_view y = b_->Str(c);
    buf_.append(y.data(), y.size());
    return buf_;
  }
 private:
  NodePtr a_, b_;
  int spanOff_ = -1, spanLen_ = 0;
  std::string buf_;
};

// Left - right on strings: the left side's trailing blanks move to the end.
class StrMinusNode : public ExprNode {
 public:
  StrMinusNode(NodePtr a, NodePtr b) : ExprNode(ExprType::Char, a->width + b->width), a_(std::move(a)), b_(std::move(b)) {}
  std::string_view Str(const EvalContext& c) override {
    std::string_view x = a_->Str(c);
    std::string_view t = RTrim(x);
    std::size_t blanks = x.size() - t.size();
    buf_.assign(t.data(), t.size());
    std::string_view y = b_->Str(c);
    buf_.append(y.data(), y.size());
    buf_.append(blanks, ' ');
    return buf_;
  }
 private:
  NodePtr a_, b_;
  std::string buf_;
};

class ArithNode : public ExprNode {
 public:
  ArithNode(char op, NodePtr a, NodePtr b, ExprType t) : ExprNode(t), op_(op), a_(std::move(a)), b_(std::move(b)) {}
  double Num(const EvalContext& c) override {
    if (a_->type == ExprType::Date && b_->type == ExprType::Date) {  // date - date
      int32_t x = a_->Dat(c), y = b_->Dat(c);
      return (x && y) ? static_cast<double>(x) - y : 0;
    }
    double x = a_->Num(c), y = b_->Num(c);
    switch (op_) {
      case '+': return x + y;
      case '-': return x - y;
      case '*': return x * y;
      case '/': return y == 0 ? 0 : x / y;
      case '%': return y == 0 ? 0 : std::fmod(x, y);
      case '^': return std::pow(x, y);
    }
    return 0;
  }
  int32_t Dat(const EvalContext& c) override {  // date +/- days
    bool dateLeft = a_->type == ExprType::Date;
    int32_t d = dateLeft ? a_->Dat(c) : b_->Dat(c);
    if (d == 0) return 0;
    double n = dateLeft ? b_->Num(c) : a_->Num(c);
    double r = op_ == '+' ? d + n : d - n;
    // A day count that is not a number (infinity less infinity) is no day either.
    if (!(r >= 1 && r <= 5373484)) return 0;
    return static_cast<int32_t>(r);
  }
 private:
  char op_;
  NodePtr a_, b_;
};

class NegNode : public ExprNode {
 public:
  explicit NegNode(NodePtr a) : ExprNode(ExprType::Numeric), a_(std::move(a)) {}
  double Num(const EvalContext& c) override { return -a_->Num(c); }
 private:
  NodePtr a_;
};

enum class Cmp { Eq, ExactEq, Ne, Lt, Le, Gt, Ge, Contains };

static bool CmpResult(Cmp op, int d) {
  switch (op) {
    case Cmp::Eq:
    case Cmp::ExactEq: return d == 0;
    case Cmp::Ne: return d != 0;
    case Cmp::Lt: return d < 0;
    case Cmp::Le: return d <= 0;
    case Cmp::Gt: return d > 0;
    case Cmp::Ge: return d >= 0;
    case Cmp::Contains: return false;
  }
  return false;
}

class CompareNode : public ExprNode {
 public:
  CompareNode(Cmp op, NodePtr a, NodePtr b, const CompileOptions& o)
      : ExprNode(ExprType::Logical), op_(op), a_(std::move(a)), b_(std::move(b)), exact_(o.exact),
        coll_(CollationIsIdentity(o.collation) ? nullptr : o.collation) {}
  bool Log(const EvalContext& c) override {
    switch (a_->type) {
      case ExprType::Char: return StrCompare(c);
      case ExprType::Numeric: {
        double x = a_->Num(c), y = b_->Num(c);
        return CmpResult(op_, x < y ? -1 : (x > y ? 1 : 0));
      }
      case ExprType::Date: {
        int32_t x = a_->Dat(c), y = b_->Dat(c);
        return CmpResult(op_, x < y ? -1 : (x > y ? 1 : 0));
      }
      case ExprType::Logical: {
        bool x = a_->Log(c), y = b_->Log(c);
        return CmpResult(op_, x == y ? 0 : (x ? 1 : -1));
      }
      default: return false;
    }
  }
 private:
  bool StrCompare(const EvalContext& c) {
    // Each side's view lives in its own subtree's buffers or the image: no copy needed.
    std::string_view x = a_->Str(c);
    std::string_view y = b_->Str(c);
    if (op_ == Cmp::Contains) return !x.empty() && FindCharAligned(y, x) != std::string_view::npos;
    if (op_ == Cmp::ExactEq) return x.size() == y.size() && CollateBytes(U(x), U(y), x.size(), coll_) == 0;
    int d;
    if (exact_) {
      d = CollateCompare(RTrim(x), RTrim(y), coll_);
    } else if (y.size() <= x.size() && CollateBytes(U(x), U(y), y.size(), coll_) == 0) {
      d = 0;  // with EXACT off the left side only has to begin with the right
    } else {
      d = CollateCompare(x, y, coll_);
      if (d == 0) d = -1;  // left is a proper prefix of a longer right side
    }
    return CmpResult(op_, d);
  }
  static const unsigned char* U(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }
  Cmp op_;
  NodePtr a_, b_;
  bool exact_;
  const unsigned char* coll_;
};

class LogicNode : public ExprNode {
 public:
  LogicNode(char op, NodePtr a, NodePtr b) : ExprNode(ExprType::Logical), op_(op), a_(std::move(a)), b_(std::move(b)) {}
  bool Log(const EvalContext& c) override {
    if (op_ == '!') return !a_->Log(c);
    if (op_ == '&') return a_->Log(c) && b_->Log(c);
    return a_->Log(c) || b_->Log(c);
  }
 private:
  char op_;
  NodePtr a_, b_;
};

enum class Fn {
  At, Upper, Lower, Left, Right, Substr, Trim, Ltrim, Alltrim, Str, Val, Dtos, Ctod, Stod, Date, Dtoc,
  Deleted, Recno, Reccount, Iif, Len, Space, Descend, Empty, Year, Month, Day, Int, Abs, Round, Max,
  Min, Replicate, Chr, Asc, Padr, Padl
};

class FuncNode : public ExprNode {
 public:
  FuncNode(Fn fn, ExprType t, std::vector<NodePtr> args) : ExprNode(t), fn_(fn), args_(std::move(args)) {}

  std::string_view Str(const EvalContext& c) override {
    switch (fn_) {
      case Fn::Upper: {
        std::string_view v = A(0, c);
        buf_.assign(v.data(), v.size());
        cp949::UpperInPlace(buf_.data(), buf_.size());
        return buf_;
      }
      case Fn::Lower: buf_ = cp949::Lower(A(0, c)); return buf_;
      case Fn::Left: {
        int n = ClampLen(args_[1]->Num(c));
        std::string_view v = A(0, c);
        return Keep(v.substr(0, static_cast<std::size_t>(n)));
      }
      case Fn::Right: {
        int n = ClampLen(args_[1]->Num(c));
        std::string_view v = A(0, c);
        if (static_cast<std::size_t>(n) >= v.size()) return Keep(v);
        return Keep(v.substr(v.size() - static_cast<std::size_t>(n)));
      }
      case Fn::Substr: {
        std::string_view v = A(0, c);
        double s = args_[1]->Num(c);
        std::size_t from;
        if (s >= 1)
          from = s > static_cast<double>(v.size()) ? v.size() : static_cast<std::size_t>(s) - 1;
        else if (s < 0)
          from = -s >= static_cast<double>(v.size()) ? 0 : v.size() - static_cast<std::size_t>(-s);
        else
          from = 0;
        std::size_t n = v.size() - from;
        if (args_.size() > 2) n = std::min(n, static_cast<std::size_t>(ClampLen(args_[2]->Num(c))));
        return Keep(v.substr(from, n));
      }
      case Fn::Trim: return Keep(RTrim(A(0, c)));
      case Fn::Ltrim: return Keep(LTrim(A(0, c)));
      case Fn::Alltrim: return Keep(LTrim(RTrim(A(0, c))));
      case Fn::Str: {
        int len = args_.size() > 1 ? ClampLen(args_[1]->Num(c)) : 10;
        int dec = args_.size() > 2 ? ClampLen(args_[2]->Num(c)) : 0;
        buf_ = FormatStr(args_[0]->Num(c), len, dec);
        return buf_;
      }
      case Fn::Dtos: buf_ = DayToDtos(args_[0]->Dat(c)); return buf_;
      case Fn::Dtoc: buf_ = DayToDateText(args_[0]->Dat(c)); return buf_;
      case Fn::Iif: return Keep(args_[0]->Log(c) ? args_[1]->Str(c) : args_[2]->Str(c));
      case Fn::Space: buf_.assign(static_cast<std::size_t>(ClampLen(args_[0]->Num(c))), ' '); return buf_;
      case Fn::Descend: {
        std::string_view v = A(0, c);
        buf_.resize(v.size());
        for (std::size_t i = 0; i < v.size(); ++i) buf_[i] = static_cast<char>(255 - static_cast<unsigned char>(v[i]));
        return buf_;
      }
      case Fn::Replicate: {
        std::string v(A(0, c));
        int n = ClampLen(args_[1]->Num(c));
        buf_.clear();
        if (!v.empty())
          for (int i = 0; i < n && buf_.size() + v.size() <= static_cast<std::size_t>(kMaxString); ++i) buf_ += v;
        return buf_;
      }
      case Fn::Chr: {
        // The code is taken modulo 256, also for numbers beyond any integer.
        const double v = args_[0]->Num(c);
        const int code = std::isfinite(v) ? static_cast<int>(std::fmod(std::trunc(v), 256.0)) : 0;
        buf_.assign(1, static_cast<char>(code & 0xFF));
        return buf_;
      }
      case Fn::Padr:
      case Fn::Padl: {
        std::string v(A(0, c));
        std::size_t n = static_cast<std::size_t>(ClampLen(args_[1]->Num(c)));
        char fill = ' ';
        if (args_.size() > 2) {
          std::string_view f = args_[2]->Str(c);
          if (!f.empty()) fill = f[0];
        }
        if (v.size() >= n)
          buf_ = fn_ == Fn::Padr ? v.substr(0, n) : v.substr(v.size() - n);
        else if (fn_ == Fn::Padr)
          buf_ = v + std::string(n - v.size(), fill);
        else
          buf_ = std::string(n - v.size(), fill) + v;
        return buf_;
      }
      default: return {};
    }
  }

  double Num(const EvalContext& c) override {
    switch (fn_) {
      case Fn::At: {
        std::string_view needle = A(0, c);
        if (needle.empty()) return 0;
        std::size_t p = FindCharAligned(args_[1]->Str(c), needle);
        return p == std::string_view::npos ? 0 : static_cast<double>(p + 1);
      }
      case Fn::Val: return numtext::ReadLeading(A(0, c));
      case Fn::Recno: return c.recNo;
      case Fn::Reccount: return c.source ? c.source->RecordCount() : 0;
      case Fn::Iif: return args_[0]->Log(c) ? args_[1]->Num(c) : args_[2]->Num(c);
      case Fn::Len: return static_cast<double>(A(0, c).size());
      case Fn::Descend:
        return args_[0]->type == ExprType::Date ? -static_cast<double>(args_[0]->Dat(c)) : -args_[0]->Num(c);
      case Fn::Year:
      case Fn::Month:
      case Fn::Day: {
        int y, m, d;
        DayToDate(args_[0]->Dat(c), y, m, d);
        return fn_ == Fn::Year ? y : (fn_ == Fn::Month ? m : d);
      }
      case Fn::Int: return std::trunc(args_[0]->Num(c));
      case Fn::Abs: return std::fabs(args_[0]->Num(c));
      case Fn::Round: {
        double v = args_[0]->Num(c);
        double p = std::pow(10.0, args_.size() > 1 ? std::trunc(args_[1]->Num(c)) : 0);
        if (!std::isfinite(p) || p == 0) return v;
        return std::round(v * p) / p;
      }
      case Fn::Max: return std::max(args_[0]->Num(c), args_[1]->Num(c));
      case Fn::Min: return std::min(args_[0]->Num(c), args_[1]->Num(c));
      case Fn::Asc: {
        std::string_view v = A(0, c);
        return v.empty() ? 0 : static_cast<unsigned char>(v[0]);
      }
      default: return 0;
    }
  }

  bool Log(const EvalContext& c) override {
    switch (fn_) {
      case Fn::Deleted: return c.image && c.image[0] == '*';
      case Fn::Iif: return args_[0]->Log(c) ? args_[1]->Log(c) : args_[2]->Log(c);
      case Fn::Descend: return !args_[0]->Log(c);
      case Fn::Empty: {
        const NodePtr& a = args_[0];
        switch (a->type) {
          case ExprType::Char: {
            std::string_view v = a->Str(c);
            for (char ch : v)
              if (ch != ' ' && ch != '\t' && ch != '\r' && ch != '\n' && ch != 0) return false;
            return true;
          }
          case ExprType::Numeric: return a->Num(c) == 0;
          case ExprType::Date: return a->Dat(c) == 0;
          case ExprType::Logical: return !a->Log(c);
          default: return true;
        }
      }
      default: return false;
    }
  }

  int32_t Dat(const EvalContext& c) override {
    switch (fn_) {
      case Fn::Ctod: return ParseDateText(A(0, c));
      case Fn::Stod: return DtosToDay(A(0, c));
      case Fn::Date: return Today();
      case Fn::Iif: return args_[0]->Log(c) ? args_[1]->Dat(c) : args_[2]->Dat(c);
      default: return 0;
    }
  }

 private:
  std::string_view A(std::size_t i, const EvalContext& c) { return args_[i]->Str(c); }
  // Slices of an argument's value stay views: every node owns its buffers and no other
  // argument's evaluation touches them.
  static std::string_view Keep(std::string_view v) { return v; }
  Fn fn_;
  std::vector<NodePtr> args_;
  std::string buf_;
};

// ---- tokenizer and parser ---------------------------------------------------------------

enum class Tok { End, Str, Num, Ident, LParen, RParen, Comma, Op, True, False, Error };

struct Token {
  Tok kind = Tok::End;
  std::string text;  // operator spelling (upper case), identifier, or string value
  double num = 0;
};

static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
static bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }

class ExprParser {
 public:
  ExprParser(std::string_view s, const std::vector<FieldDesc>& fields, const CompileOptions& o, std::vector<int>& used)
      : s_(s), fields_(fields), opt_(o), used_(used) {
    Next();
  }

  NodePtr ParseAll() {
    NodePtr n = ParseOr();
    if (!n || cur_.kind != Tok::End) return nullptr;
    return n;
  }

 private:
  static constexpr int kMaxDepth = 100;

  void Next() { cur_ = Lex(); }

  Token Lex() {
    Token t;
    while (p_ < s_.size() && (s_[p_] == ' ' || s_[p_] == '\t' || s_[p_] == '\r' || s_[p_] == '\n')) ++p_;
    if (p_ >= s_.size()) return t;
    char c = s_[p_];
    if (c == '"' || c == '\'' || c == '[') {
      char close = c == '[' ? ']' : c;
      std::size_t e = s_.find(close, p_ + 1);
      if (e == std::string_view::npos) {
        t.kind = Tok::Error;
        return t;
      }
      t.kind = Tok::Str;
      t.text.assign(s_.substr(p_ + 1, e - p_ - 1));
      p_ = e + 1;
      return t;
    }
    if ((c >= '0' && c <= '9') || (c == '.' && p_ + 1 < s_.size() && s_[p_ + 1] >= '0' && s_[p_ + 1] <= '9')) {
      std::size_t b = p_;
      while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9') ++p_;
      if (p_ < s_.size() && s_[p_] == '.' && p_ + 1 < s_.size() && s_[p_ + 1] >= '0' && s_[p_ + 1] <= '9') {
        ++p_;
        while (p_ < s_.size() && s_[p_] >= '0' && s_[p_] <= '9') ++p_;
      }
      t.kind = Tok::Num;
      t.num = numtext::ReadLeading(s_.substr(b, p_ - b));
      return t;
    }
    if (c == '.') {  // .T. .F. .AND. .OR. .NOT.
      std::size_t e = s_.find('.', p_ + 1);
      if (e != std::string_view::npos && e - p_ <= 4) {
        std::string w = cp949::Upper(s_.substr(p_ + 1, e - p_ - 1));
        if (w == "T" || w == "Y") t.kind = Tok::True;
        else if (w == "F" || w == "N") t.kind = Tok::False;
        else if (w == "AND" || w == "OR" || w == "NOT") t.kind = Tok::Op, t.text = "." + w + ".";
        else t.kind = Tok::Error;
        p_ = e + 1;
        return t;
      }
      t.kind = Tok::Error;
      return t;
    }
    if (IsIdentStart(c)) {
      std::size_t b = p_;
      while (p_ < s_.size() && IsIdentChar(s_[p_])) ++p_;
      t.kind = Tok::Ident;
      t.text = cp949::Upper(s_.substr(b, p_ - b));
      return t;
    }
    ++p_;
    switch (c) {
      case '(': t.kind = Tok::LParen; return t;
      case ')': t.kind = Tok::RParen; return t;
      case ',': t.kind = Tok::Comma; return t;
      default: break;
    }
    std::string two;
    if (p_ < s_.size()) two = std::string{c, s_[p_]};
    static const char* const twos[] = {"<>", "!=", "<=", ">=", "==", "**", "->"};
    for (const char* o : twos)
      if (two == o) {
        ++p_;
        t.kind = Tok::Op;
        t.text = o;
        return t;
      }
    if (std::strchr("+-*/%^=<>#$!", c)) {
      t.kind = Tok::Op;
      t.text.assign(1, c);
      return t;
    }
    t.kind = Tok::Error;
    return t;
  }

  bool IsOp(const char* o) const { return cur_.kind == Tok::Op && cur_.text == o; }

  struct Depth {
    explicit Depth(int& d) : d_(d) { ++d_; }
    ~Depth() { --d_; }
    int& d_;
  };

  NodePtr ParseOr() {
    Depth g(depth_);
    if (depth_ > kMaxDepth) return nullptr;
    NodePtr l = ParseAnd();
    while (l && IsOp(".OR.")) {
      Next();
      NodePtr r = ParseAnd();
      if (!r || l->type != ExprType::Logical || r->type != ExprType::Logical) return nullptr;
      l = std::make_unique<LogicNode>('|', std::move(l), std::move(r));
    }
    return l;
  }

  NodePtr ParseAnd() {
    NodePtr l = ParseNot();
    while (l && IsOp(".AND.")) {
      Next();
      NodePtr r = ParseNot();
      if (!r || l->type != ExprType::Logical || r->type != ExprType::Logical) return nullptr;
      l = std::make_unique<LogicNode>('&', std::move(l), std::move(r));
    }
    return l;
  }

  NodePtr ParseNot() {
    if (IsOp(".NOT.") || IsOp("!")) {
      Depth g(depth_);
      if (depth_ > kMaxDepth) return nullptr;
      Next();
      NodePtr a = ParseNot();
      if (!a || a->type != ExprType::Logical) return nullptr;
      return std::make_unique<LogicNode>('!', std::move(a), nullptr);
    }
    return ParseRel();
  }

  NodePtr ParseRel() {
    NodePtr l = ParseAdd();
    while (l && cur_.kind == Tok::Op) {
      Cmp op;
      const std::string& o = cur_.text;
      if (o == "=") op = Cmp::Eq;
      else if (o == "==") op = Cmp::ExactEq;
      else if (o == "<>" || o == "#" || o == "!=") op = Cmp::Ne;
      else if (o == "<") op = Cmp::Lt;
      else if (o == "<=") op = Cmp::Le;
      else if (o == ">") op = Cmp::Gt;
      else if (o == ">=") op = Cmp::Ge;
      else if (o == "$") op = Cmp::Contains;
      else break;
      Next();
      NodePtr r = ParseAdd();
      if (!r || l->type != r->type || l->type == ExprType::Invalid) return nullptr;
      if (op == Cmp::Contains && l->type != ExprType::Char) return nullptr;
      if (l->type == ExprType::Logical && op != Cmp::Eq && op != Cmp::Ne && op != Cmp::ExactEq) return nullptr;
      l = std::make_unique<CompareNode>(op, std::move(l), std::move(r), opt_);
    }
    return l;
  }

  NodePtr ParseAdd() {
    NodePtr l = ParseMul();
    while (l && (IsOp("+") || IsOp("-"))) {
      char op = cur_.text[0];
      Next();
      NodePtr r = ParseMul();
      if (!r) return nullptr;
      ExprType a = l->type, b = r->type;
      if (a == ExprType::Char && b == ExprType::Char) {
        if (l->width + r->width > kMaxString) return nullptr;
        if (op == '+') l = std::make_unique<ConcatNode>(std::move(l), std::move(r));
        else l = std::make_unique<StrMinusNode>(std::move(l), std::move(r));
      } else if (a == ExprType::Numeric && b == ExprType::Numeric) {
        l = std::make_unique<ArithNode>(op, std::move(l), std::move(r), ExprType::Numeric);
      } else if (a == ExprType::Date && b == ExprType::Numeric) {
        l = std::make_unique<ArithNode>(op, std::move(l), std::move(r), ExprType::Date);
      } else if (op == '+' && a == ExprType::Numeric && b == ExprType::Date) {
        l = std::make_unique<ArithNode>(op, std::move(l), std::move(r), ExprType::Date);
      } else if (op == '-' && a == ExprType::Date && b == ExprType::Date) {
        l = std::make_unique<ArithNode>(op, std::move(l), std::move(r), ExprType::Numeric);
      } else {
        return nullptr;
      }
    }
    return l;
  }

  NodePtr ParseMul() {
    NodePtr l = ParsePow();
    while (l && (IsOp("*") || IsOp("/") || IsOp("%"))) {
      char op = cur_.text[0];
      Next();
      NodePtr r = ParsePow();
      if (!r || l->type != ExprType::Numeric || r->type != ExprType::Numeric) return nullptr;
      l = std::make_unique<ArithNode>(op, std::move(l), std::move(r), ExprType::Numeric);
    }
    return l;
  }

  NodePtr ParsePow() {
    NodePtr l = ParseUnary();
    while (l && (IsOp("^") || IsOp("**"))) {
      Next();
      NodePtr r = ParseUnary();
      if (!r || l->type != ExprType::Numeric || r->type != ExprType::Numeric) return nullptr;
      l = std::make_unique<ArithNode>('^', std::move(l), std::move(r), ExprType::Numeric);
    }
    return l;
  }

  NodePtr ParseUnary() {
    if (IsOp("-") || IsOp("+")) {
      Depth g(depth_);
      if (depth_ > kMaxDepth) return nullptr;
      bool neg = cur_.text[0] == '-';
      Next();
      NodePtr a = ParseUnary();
      if (!a || a->type != ExprType::Numeric) return nullptr;
      return neg ? std::make_unique<NegNode>(std::move(a)) : std::move(a);
    }
    return ParsePrimary();
  }

  NodePtr ParsePrimary() {
    Depth g(depth_);
    if (depth_ > kMaxDepth) return nullptr;
    switch (cur_.kind) {
      case Tok::Str: {
        if (cur_.text.size() > static_cast<std::size_t>(kMaxString)) return nullptr;
        auto n = std::make_unique<StrLit>(std::move(cur_.text));
        Next();
        return n;
      }
      case Tok::Num: {
        auto n = std::make_unique<NumLit>(cur_.num);
        Next();
        return n;
      }
      case Tok::True:
      case Tok::False: {
        auto n = std::make_unique<LogLit>(cur_.kind == Tok::True);
        Next();
        return n;
      }
      case Tok::LParen: {
        Next();
        NodePtr n = ParseOr();
        if (!n || cur_.kind != Tok::RParen) return nullptr;
        Next();
        return n;
      }
      case Tok::Ident: {
        std::string name = std::move(cur_.text);
        Next();
        if (cur_.kind == Tok::LParen) return ParseCall(name);
        if (IsOp("->")) {  // alias->field: the alias names this table
          Next();
          if (cur_.kind != Tok::Ident) return nullptr;
          name = std::move(cur_.text);
          Next();
        }
        return FieldRef(name);
      }
      default: return nullptr;
    }
  }

  NodePtr FieldRef(const std::string& upperName) {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
      if (cp949::Upper(fields_[i].name) != upperName) continue;
      const FieldDesc& f = fields_[i];
      ExprType t;
      switch (f.type) {
        case 'C': case 'M': case 'G': case 'B': case 'P': t = ExprType::Char; break;
        case 'N': case 'F': case 'I': t = ExprType::Numeric; break;
        case 'D': t = ExprType::Date; break;
        case 'L': t = ExprType::Logical; break;
        default: return nullptr;
      }
      used_.push_back(static_cast<int>(i));
      return std::make_unique<FieldNode>(t, f, static_cast<int>(i));
    }
    return nullptr;
  }

  struct FnSpec {
    const char* name;
    Fn fn;
    int minArgs, maxArgs;
    const char* argTypes;  // C N D L, or * for any, per argument
    ExprType result;       // Invalid: same as the argument that decides it
  };

  NodePtr ParseCall(const std::string& name) {
    Next();  // past "("
    std::vector<NodePtr> args;
    if (cur_.kind != Tok::RParen) {
      for (;;) {
        NodePtr a = ParseOr();
        if (!a) return nullptr;
        args.push_back(std::move(a));
        if (args.size() > 8) return nullptr;
        if (cur_.kind == Tok::Comma) {
          Next();
          continue;
        }
        break;
      }
    }
    if (cur_.kind != Tok::RParen) return nullptr;
    Next();
    return MakeCall(name, std::move(args));
  }

  static bool TypeFits(char want, ExprType t) {
    switch (want) {
      case 'C': return t == ExprType::Char;
      case 'N': return t == ExprType::Numeric;
      case 'D': return t == ExprType::Date;
      case 'L': return t == ExprType::Logical;
      case '*': return t != ExprType::Invalid;
    }
    return false;
  }

  static int ConstInt(const NodePtr& n, int fallback) {
    if (auto* lit = dynamic_cast<NumLit*>(n.get())) return ClampLen(lit->v_);
    return fallback;
  }

  NodePtr MakeCall(const std::string& name, std::vector<NodePtr> args) {
    static const FnSpec specs[] = {
        {"AT", Fn::At, 2, 2, "CC", ExprType::Numeric},
        {"UPPER", Fn::Upper, 1, 1, "C", ExprType::Char},
        {"LOWER", Fn::Lower, 1, 1, "C", ExprType::Char},
        {"LEFT", Fn::Left, 2, 2, "CN", ExprType::Char},
        {"RIGHT", Fn::Right, 2, 2, "CN", ExprType::Char},
        {"SUBSTR", Fn::Substr, 2, 3, "CNN", ExprType::Char},
        {"TRIM", Fn::Trim, 1, 1, "C", ExprType::Char},
        {"RTRIM", Fn::Trim, 1, 1, "C", ExprType::Char},
        {"LTRIM", Fn::Ltrim, 1, 1, "C", ExprType::Char},
        {"ALLTRIM", Fn::Alltrim, 1, 1, "C", ExprType::Char},
        {"STR", Fn::Str, 1, 3, "NNN", ExprType::Char},
        {"VAL", Fn::Val, 1, 1, "C", ExprType::Numeric},
        {"DTOS", Fn::Dtos, 1, 1, "D", ExprType::Char},
        {"DTOC", Fn::Dtoc, 1, 1, "D", ExprType::Char},
        {"CTOD", Fn::Ctod, 1, 1, "C", ExprType::Date},
        {"STOD", Fn::Stod, 1, 1, "C", ExprType::Date},
        {"DATE", Fn::Date, 0, 0, "", ExprType::Date},
        {"DELETED", Fn::Deleted, 0, 0, "", ExprType::Logical},
        {"RECNO", Fn::Recno, 0, 0, "", ExprType::Numeric},
        {"RECCOUNT", Fn::Reccount, 0, 0, "", ExprType::Numeric},
        {"IIF", Fn::Iif, 3, 3, "L**", ExprType::Invalid},
        {"LEN", Fn::Len, 1, 1, "C", ExprType::Numeric},
        {"SPACE", Fn::Space, 1, 1, "N", ExprType::Char},
        {"DESCEND", Fn::Descend, 1, 1, "*", ExprType::Invalid},
        {"EMPTY", Fn::Empty, 1, 1, "*", ExprType::Logical},
        {"YEAR", Fn::Year, 1, 1, "D", ExprType::Numeric},
        {"MONTH", Fn::Month, 1, 1, "D", ExprType::Numeric},
        {"DAY", Fn::Day, 1, 1, "D", ExprType::Numeric},
        {"INT", Fn::Int, 1, 1, "N", ExprType::Numeric},
        {"ABS", Fn::Abs, 1, 1, "N", ExprType::Numeric},
        {"ROUND", Fn::Round, 1, 2, "NN", ExprType::Numeric},
        {"MAX", Fn::Max, 2, 2, "NN", ExprType::Numeric},
        {"MIN", Fn::Min, 2, 2, "NN", ExprType::Numeric},
        {"REPLICATE", Fn::Replicate, 2, 2, "CN", ExprType::Char},
        {"CHR", Fn::Chr, 1, 1, "N", ExprType::Char},
        {"ASC", Fn::Asc, 1, 1, "C", ExprType::Numeric},
        {"PADR", Fn::Padr, 2, 3, "CNC", ExprType::Char},
        {"PADL", Fn::Padl, 2, 3, "CNC", ExprType::Char},
    };
    const FnSpec* spec = nullptr;
    for (const FnSpec& s : specs)
      if (name == s.name) spec = &s;
    if (!spec) return nullptr;
    int n = static_cast<int>(args.size());
    if (n < spec->minArgs || n > spec->maxArgs) return nullptr;
    for (int i = 0; i < n; ++i)
      if (!TypeFits(spec->argTypes[i], args[static_cast<std::size_t>(i)]->type)) return nullptr;
    ExprType result = spec->result;
    if (spec->fn == Fn::Iif) {
      if (args[1]->type != args[2]->type) return nullptr;
      result = args[1]->type;
    } else if (spec->fn == Fn::Descend) {
      result = args[0]->type == ExprType::Date ? ExprType::Numeric : args[0]->type;
    }
    int width = 0;
    auto argw = [&](int i) { return args[static_cast<std::size_t>(i)]->width; };
    switch (spec->fn) {
      case Fn::Upper: case Fn::Lower: case Fn::Trim: case Fn::Ltrim: case Fn::Alltrim: case Fn::Descend:
        width = argw(0);
        break;
      case Fn::Left: case Fn::Right: width = std::min(argw(0), ConstInt(args[1], argw(0))); break;
      case Fn::Substr: {
        int start = ConstInt(args[1], 1);
        int rest = std::max(0, argw(0) - std::max(start, 1) + 1);
        width = n > 2 ? std::min(rest, ConstInt(args[2], rest)) : rest;
        break;
      }
      case Fn::Str: width = n > 1 ? ConstInt(args[1], 10) : 10; break;
      case Fn::Dtos: width = 8; break;
      case Fn::Dtoc: width = Settings().century ? 10 : 8; break;
      case Fn::Iif: width = std::max(argw(1), argw(2)); break;
      case Fn::Space: width = ConstInt(args[0], 0); break;
      case Fn::Replicate: width = std::min(kMaxString, argw(0) * ConstInt(args[1], 1)); break;
      case Fn::Chr: width = 1; break;
      case Fn::Padr: case Fn::Padl: width = ConstInt(args[1], argw(0)); break;
      default: break;
    }
    auto node = std::make_unique<FuncNode>(spec->fn, result, std::move(args));
    node->width = width;
    return node;
  }

  std::string_view s_;
  std::size_t p_ = 0;
  const std::vector<FieldDesc>& fields_;
  CompileOptions opt_;
  std::vector<int>& used_;
  Token cur_;
  int depth_ = 0;
};

// ---- CompiledExpr -----------------------------------------------------------------------

CompiledExpr::~CompiledExpr() = default;

std::unique_ptr<CompiledExpr> CompiledExpr::Compile(std::string_view text, const std::vector<FieldDesc>& fields,
                                                    const CompileOptions& options) {
  if (text.size() > 64 * 1024) return nullptr;
  std::unique_ptr<CompiledExpr> e(new CompiledExpr());
  ExprParser p(text, fields, options, e->fieldsUsed_);
  e->root_ = p.ParseAll();
  if (!e->root_) return nullptr;
  e->type_ = e->root_->type;
  switch (e->type_) {
    case ExprType::Char: e->keyWidth_ = e->root_->width; break;
    case ExprType::Numeric: case ExprType::Date: e->keyWidth_ = 8; break;
    case ExprType::Logical: e->keyWidth_ = 1; break;
    default: return nullptr;
  }
  return e;
}

bool CompiledExpr::Logical(const EvalContext& c) { return type_ == ExprType::Logical && root_->Log(c); }
double CompiledExpr::Numeric(const EvalContext& c) { return type_ == ExprType::Numeric ? root_->Num(c) : 0; }
std::string_view CompiledExpr::String(const EvalContext& c) {
  return type_ == ExprType::Char ? root_->Str(c) : std::string_view();
}
int32_t CompiledExpr::Date(const EvalContext& c) { return type_ == ExprType::Date ? root_->Dat(c) : 0; }

std::string CompiledExpr::Text(const EvalContext& c) {
  switch (type_) {
    case ExprType::Char: return std::string(root_->Str(c));
    case ExprType::Numeric: return FormatNumber(root_->Num(c));
    case ExprType::Date: return DayToDtos(root_->Dat(c));
    case ExprType::Logical: return root_->Log(c) ? "T" : "F";
    default: return std::string();
  }
}

void CompiledExpr::Key(const EvalContext& c, char* out) {
  switch (type_) {
    case ExprType::Char: {
      std::string_view v = root_->Str(c);
      std::size_t w = static_cast<std::size_t>(keyWidth_);
      std::size_t n = v.size() < w ? v.size() : w;
      std::memcpy(out, v.data(), n);
      if (n < w) std::memset(out + n, ' ', w - n);
      break;
    }
    case ExprType::Numeric: EncodeNumberKey(root_->Num(c), out); break;
    case ExprType::Date: std::memcpy(out, DayToDtos(root_->Dat(c)).data(), 8); break;
    case ExprType::Logical: out[0] = root_->Log(c) ? 'T' : 'F'; break;
    default: break;
  }
}

std::string CompiledExpr::SeekKey(std::string_view text) const {
  switch (type_) {
    case ExprType::Char:
      return std::string(text.substr(0, std::min(text.size(), static_cast<std::size_t>(keyWidth_))));
    case ExprType::Numeric: {
      std::string k(8, '\0');
      EncodeNumberKey(xbe::ParseNumber(text), k.data());
      return k;
    }
    case ExprType::Date: return std::string(text.substr(0, std::min<std::size_t>(text.size(), 8)));
    case ExprType::Logical: {
      std::string_view t = LTrim(text);
      if (!t.empty() && t[0] == '.') t.remove_prefix(1);
      bool on = !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
      return on ? "T" : "F";
    }
    default: return std::string();
  }
}

ExprType TestExpression(std::string_view text, const std::vector<FieldDesc>& fields) {
  CompileOptions o;
  auto e = CompiledExpr::Compile(text, fields, o);
  return e ? e->Type() : ExprType::Invalid;
}

std::string KeyFieldsOfExpression(std::string_view expression) {
  std::string s(expression);
  s += '+';
  std::string out, tok;
  bool inParen = false;
  auto flush = [&] {
    bool keep = !tok.empty() && tok.find_first_of("=<>$#") == std::string::npos && !(tok[0] >= '0' && tok[0] <= '9');
    if (keep) {
      if (!out.empty()) out += ';';
      out += cp949::Upper(tok);
    }
    tok.clear();
  };
  for (char ch : s) {
    if (ch == '(') {
      tok.clear();
      inParen = true;
    } else if (ch == ')') {
      inParen = false;
      flush();
    } else if (ch == '+' || ch == '-') {
      flush();
    } else if (ch == ',' && inParen) {
      flush();
    } else if (ch == ' ') {
      continue;
    } else {
      tok += ch;
    }
  }
  return out;
}

}  // namespace xbe

// Field value conversions shared by every get and put entry point.
#include "engine/src/FieldCodec.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/NumberText.h"

namespace xbe {
namespace {

bool ValidDate(int y, int m, int d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= days[m - 1] + (m == 2 && leap ? 1 : 0);
}

// Separator and the order of day, month and year per format code.
struct DateShape {
  char sep;
  const char* order;  // "MDY", "YMD", "DMY"
};

DateShape ShapeOf(int code) {
  switch (code) {
    case 1:
      return {'.', "YMD"};
    case 2:
    case 3:
      return {'/', "DMY"};
    case 4:
      return {'.', "DMY"};
    case 5:
    case 6:
      return {'-', "DMY"};
    default:
      return {'/', "MDY"};
  }
}

}  // namespace

int32_t JulianOf(int y, int m, int d) {
  if (!ValidDate(y, m, d)) return 0;
  int a = (14 - m) / 12;
  int64_t yy = y + 4800 - a;
  int mm = m + 12 * a - 3;
  return static_cast<int32_t>(d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045);
}

std::string DateOfJulian(int32_t j) {
  if (j < 1721426 || j > 5373484) return "";
  int64_t a = j + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  int day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  int month = static_cast<int>(m + 3 - 12 * (m / 10));
  int year = static_cast<int>(100 * b + d - 4800 + m / 10);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", year, month, day);
  return buf;
}

int32_t JulianOfStored(const std::string& s) {
  if (s.size() < 8) return 0;
  int v[3] = {0, 0, 0};
  const int len[3] = {4, 2, 2};
  size_t p = 0;
  for (int k = 0; k < 3; ++k) {
    for (int i = 0; i < len[k]; ++i, ++p) {
      if (s[p] < '0' || s[p] > '9') return 0;
      v[k] = v[k] * 10 + (s[p] - '0');
    }
  }
  return JulianOf(v[0], v[1], v[2]);
}

std::string FormatDate(const std::string& s, int code, bool century) {
  DateShape shape = ShapeOf(code);
  bool blank = s.find_first_not_of(' ') == std::string::npos || s.size() < 8;
  std::string y = blank ? std::string(4, ' ') : s.substr(0, 4);
  std::string m = blank ? "  " : s.substr(4, 2);
  std::string d = blank ? "  " : s.substr(6, 2);
  if (!century) y = y.substr(2);
  std::string out;
  for (const char* o = shape.order; *o; ++o) {
    if (!out.empty()) out += shape.sep;
    out += *o == 'Y' ? y : *o == 'M' ? m : d;
  }
  return out;
}

std::string ParseDate(const std::string& text, int code, int epoch) {
  std::string t = text;
  while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
  size_t start = t.find_first_not_of(' ');
  if (start == std::string::npos) return "";
  t = t.substr(start);
  bool digitsOnly = t.size() == 8 && t.find_first_not_of("0123456789") == std::string::npos;
  int y = 0, m = 0, d = 0;
  if (digitsOnly) {
    y = std::atoi(t.substr(0, 4).c_str());
    m = std::atoi(t.substr(4, 2).c_str());
    d = std::atoi(t.substr(6, 2).c_str());
  } else {
    int parts[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int k = 0;
    for (char c : t) {
      if (c >= '0' && c <= '9') {
        if (k > 2) return "";
        parts[k] = parts[k] * 10 + (c - '0');
        ++digits[k];
      } else if (digits[k] > 0) {
        ++k;
      }
      if (k == 3) break;
    }
    DateShape shape = ShapeOf(code);
    int yDigits = 0;
    for (int i = 0; i < 3; ++i) {
      char o = shape.order[i];
      if (o == 'Y') {
        y = parts[i];
        yDigits = digits[i];
      } else if (o == 'M') {
        m = parts[i];
      } else {
        d = parts[i];
      }
    }
    if (yDigits <= 2) {
      y += (epoch / 100) * 100;
      if (y < epoch) y += 100;
    }
  }
  if (!ValidDate(y, m, d)) return "";
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", y, m, d);
  return buf;
}

bool FormatNumber(double value, int width, int decimals, std::string* out) {
  return width >= 1 && numtext::Fixed(value, width, decimals, *out);
}

double ParseNumber(std::string_view text) {
  double v = 0;
  return numtext::ReadStored(text, v) ? v : numtext::ReadLeading(text);
}

}  // namespace xbe

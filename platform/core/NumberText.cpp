// Locale-independent number text over std::to_chars / std::from_chars (NumberText.h).
#include "platform/core/NumberText.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace numtext {

std::string Fixed(double v, int decimals) {
  if (!std::isfinite(v)) return std::string();
  if (decimals < 0) decimals = 0;
  // The largest double has 309 digits before the point.
  std::string buf(static_cast<std::size_t>(decimals) + 320, '\0');
  auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return std::string();
  buf.resize(static_cast<std::size_t>(end - buf.data()));
  return buf;
}

std::string General(double v, int precision) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, precision < 1 ? 1 : precision);
  return ec == std::errc() ? std::string(buf, end) : std::string();
}

bool Fixed(double v, int width, int decimals, std::string& out) {
  if (!std::isfinite(v)) return false;
  std::string t = Fixed(v, decimals);
  if (t.empty() || static_cast<int>(t.size()) > width) return false;
  out.assign(static_cast<std::size_t>(width) - t.size(), ' ');
  out += t;
  return true;
}

std::string Plain(double v) {
  if (!std::isfinite(v)) return "0";
  if (std::fabs(v) < 1e15 && v == std::floor(v)) return Fixed(v, 0);
  std::string t = Fixed(v, 10);
  while (!t.empty() && t.back() == '0') t.pop_back();
  if (!t.empty() && t.back() == '.') t.pop_back();
  return t;
}

bool ReadStored(std::string_view text, double& v) {
  std::size_t b = 0, e = text.size();
  while (b < e && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  std::string t(text.substr(b, e - b));
  if (t.empty()) return false;
  const std::size_t comma = t.find(',');
  if (comma != std::string::npos) {
    if (t.find(',', comma + 1) == std::string::npos && t.find('.') == std::string::npos) {
      t[comma] = '.';  // a decimal comma
    } else {
      std::string digits;
      for (char c : t)
        if (c != ',') digits += c;
      t = digits;
    }
  }
  const char* first = t.data();
  const char* last = t.data() + t.size();
  if (*first == '+') ++first;
  double r = 0;
  auto [ptr, ec] = std::from_chars(first, last, r, std::chars_format::general);
  if (ec != std::errc() || ptr != last || !std::isfinite(r)) return false;
  v = r;
  return true;
}

double ReadLeading(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && text[i] == '+') ++i;
  double r = 0;
  auto [ptr, ec] = std::from_chars(text.data() + i, text.data() + text.size(), r, std::chars_format::general);
  if (ec != std::errc() || !std::isfinite(r)) return 0;
  return r;
}

}  // namespace numtext

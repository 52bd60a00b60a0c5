// Code page 949 <-> UTF-8 over iconv, with per-thread descriptors. Nothing here raises: the
// engine, which builds this file in, must not see an exception of the class library.
#include "platform/core/TextCodec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>

namespace cp949 {
namespace {

class Descriptor {
 public:
  Descriptor(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Descriptor() {
    if (ok()) iconv_close(cd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

Descriptor& ToUtf8Cd() {
  thread_local Descriptor cd("UTF-8", "CP949");
  return cd;
}

Descriptor& FromUtf8Cd() {
  thread_local Descriptor cd("CP949", "UTF-8");
  return cd;
}

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// Converts as much as converts; returns false with *stop at the offending input byte.
bool Run(iconv_t cd, std::string_view in, std::string& out, std::size_t& stop) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // initial state
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buf[1024];
  while (left > 0) {
    char* dst = buf;
    std::size_t room = sizeof buf;
    std::size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      stop = in.size() - left;
      return false;
    }
  }
  char* dst = buf;
  std::size_t room = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buf, static_cast<std::size_t>(dst - buf));
  stop = in.size();
  return true;
}

// The code point of the UTF-8 sequence at s[i] and its length in *n, or -1 when the
// sequence is broken, overlong, a surrogate or beyond U+10FFFF.
long DecodeUtf8(std::string_view s, std::size_t i, std::size_t* n = nullptr) {
  unsigned char c = static_cast<unsigned char>(s[i]);
  if (n != nullptr) *n = 1;
  if (c < 0x80) return c;
  int more = (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
  if (more < 0 || i + static_cast<std::size_t>(more) >= s.size()) return -1;
  long cp = c & (0x3F >> more);
  for (int k = 1; k <= more; ++k) {
    unsigned char t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
    if ((t & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (t & 0x3F);
  }
  static const long kLeast[4] = {0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  if (n != nullptr) *n = static_cast<std::size_t>(more) + 1;
  return cp;
}

bool Convert(std::string_view utf8, std::string& out, std::string* failure) {
  Descriptor& cd = FromUtf8Cd();
  out.clear();
  if (!cd.ok()) {
    if (failure != nullptr) *failure = "no code page 949 converter on this system";
    return false;
  }
  std::size_t stop = 0;
  if (Run(cd.get(), utf8, out, stop)) return true;
  if (failure != nullptr) {
    char name[32];
    long cp = stop < utf8.size() ? DecodeUtf8(utf8, stop) : -1;
    if (cp >= 0)
      std::snprintf(name, sizeof name, "U+%04lX", static_cast<unsigned long>(cp));
    else
      std::snprintf(name, sizeof name, "byte 0x%02X",
                    stop < utf8.size() ? static_cast<unsigned char>(utf8[stop]) : 0u);
    *failure = name;
  }
  return false;
}

}  // namespace

std::string ToUtf8(std::string_view text) {
  Descriptor& cd = ToUtf8Cd();
  std::string out;
  out.reserve(text.size() * 3 / 2);
  if (!cd.ok()) {
    // Without a converter only ASCII is known; the rest is shown as not converting.
    for (char c : text) {
      if (static_cast<unsigned char>(c) < 0x80) out += c;
      else out += kReplacement;
    }
    return out;
  }
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t stop = 0;
    if (Run(cd.get(), text.substr(pos), out, stop)) break;
    // One replacement per byte that does not convert, then go on after it.
    out += kReplacement;
    pos += stop + 1;
  }
  return out;
}

bool TryToUtf8(std::string_view text, std::string& out) {
  Descriptor& cd = ToUtf8Cd();
  if (!cd.ok()) return false;
  std::string tmp;
  std::size_t stop = 0;
  if (!Run(cd.get(), text, tmp, stop)) return false;
  out = std::move(tmp);
  return true;
}

bool TryFromUtf8(std::string_view utf8, std::string& out) {
  std::string tmp;
  if (!Convert(utf8, tmp, nullptr)) return false;
  out = std::move(tmp);
  return true;
}

bool TryFromUtf8(std::string_view utf8, std::string& out, std::string& failure) {
  std::string tmp;
  if (!Convert(utf8, tmp, &failure)) return false;
  out = std::move(tmp);
  return true;
}

bool IsUtf8(std::string_view text) {
  for (std::size_t i = 0, n = 0; i < text.size(); i += n)
    if (DecodeUtf8(text, i, &n) < 0) return false;
  return true;
}

}  // namespace cp949

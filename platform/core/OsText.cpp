// Program text (code page 949) at the edge of the operating system (OsText.h).
#include "platform/core/OsText.h"

#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/Cp949.h"
#include "platform/core/TextCodec.h"

namespace ostext {
namespace {

std::string CodesetOfEnvironment() {
  if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
    std::string codeset = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
    return codeset;
  }
  // A locale that is not installed still names its codeset: "ko_KR.UTF-8@euro".
  for (const char* var : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* v = std::getenv(var);
    if (v == nullptr || *v == '\0') continue;
    std::string name = v;
    std::size_t dot = name.find('.');
    if (dot == std::string::npos) return std::string();
    return name.substr(dot + 1, name.find('@', dot) - dot - 1);
  }
  return std::string();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Is text valid CP949 from end to end?
bool IsCp949(std::string_view text) {
  std::string ignored;
  return cp949::TryToUtf8(text, ignored);
}

}  // namespace

Encoding EncodingOfCodeset(std::string_view codeset) {
  std::string c;
  for (char ch : codeset)
    if (ch != '-' && ch != '_') c += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return c == "EUCKR" || c == "CP949" || c == "UHC" ? Encoding::Cp949 : Encoding::Utf8;
}

Encoding SystemEncoding() {
  static const Encoding encoding = EncodingOfCodeset(CodesetOfEnvironment());
  return encoding;
}

std::string ToSystem(std::string_view programText) {
  std::string out;
  if (IsAscii(programText)) return std::string(programText);
  if (SystemEncoding() == Encoding::Utf8 && cp949::TryToUtf8(programText, out)) return out;
  return std::string(programText);
}

bool ProgramName(std::string_view systemName, std::string& programText) {
  if (IsAscii(systemName)) {
    programText.assign(systemName);
    return true;
  }
  if (SystemEncoding() == Encoding::Utf8 && cp949::IsUtf8(systemName))
    return cp949::TryFromUtf8(systemName, programText);
  if (!IsCp949(systemName)) return false;
  programText.assign(systemName);
  return true;
}

std::string SystemPath(std::string_view programPath) {
  std::string whole = ToSystem(programPath);
  if (whole == programPath || Exists(whole)) return whole;
  // Part by part: the converted form where it exists or where neither form does, the raw
  // bytes where only they do. CP949 trail bytes are never '/', so the split is exact.
  std::string out;
  std::size_t i = 0;
  while (i <= programPath.size()) {
    std::size_t j = programPath.find('/', i);
    if (j == std::string_view::npos) j = programPath.size();
    const std::string_view part = programPath.substr(i, j - i);
    const std::string converted = ToSystem(part);
    if (converted != part && !Exists(out + converted) && Exists(out + std::string(part)))
      out += part;
    else
      out += converted;
    if (j < programPath.size()) out += '/';
    i = j + 1;
  }
  return out;
}

namespace {

// The name with "?" for what has no CP949 form; the first such character in *first.
std::string Shown(std::string_view systemName, std::string* first) {
  std::string shown;
  const bool utf8 = SystemEncoding() == Encoding::Utf8 && cp949::IsUtf8(systemName);
  for (std::size_t i = 0; i < systemName.size();) {
    std::size_t n = 1;
    if (utf8) {
      // A lead byte and its continuation bytes.
      while (i + n < systemName.size() && (static_cast<unsigned char>(systemName[i + n]) & 0xC0) == 0x80) ++n;
    } else {
      n = cp949::CharLength(systemName, i);
    }
    const std::string_view one = systemName.substr(i, n);
    std::string converted, failure;
    if (utf8 ? cp949::TryFromUtf8(one, converted, failure) : IsCp949(one)) {
      shown += utf8 ? converted : std::string(one);
    } else {
      shown += '?';
      if (first->empty()) {
        char b[16];
        std::snprintf(b, sizeof b, "byte 0x%02X", static_cast<unsigned char>(one[0]));
        *first = utf8 ? failure : std::string(b);
      }
    }
    i += n;
  }
  return shown;
}

}  // namespace

std::string ShownName(std::string_view systemName) {
  std::string first;
  return Shown(systemName, &first);
}

std::string TextFromSystem(std::string_view systemText) { return ShownName(systemText); }

std::string ErrorText(int errnum) {
  char buf[256];
  // The GNU form: the text may be a constant of its own rather than buf.
  const char* text = strerror_r(errnum, buf, sizeof buf);
  return TextFromSystem(text ? text : "");
}

std::string NameMessage(std::string_view systemName) {
  std::string first;
  const std::string shown = Shown(systemName, &first);
  std::string middle, end;
  cp949::TryFromUtf8("\" : 이 이름에는 한글 코드(CP949)로 나타낼 수 없는 글자(", middle);
  cp949::TryFromUtf8(")가 있어 쓸 수 없습니다.", end);
  return "\"" + shown + middle + first + end;
}

bool TextFromFile(std::string_view fileBytes, std::string& programText, std::string& failure) {
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  const bool bom = fileBytes.substr(0, kBom.size()) == kBom;
  if (bom) fileBytes.remove_prefix(kBom.size());
  if (bom || cp949::IsUtf8(fileBytes)) return cp949::TryFromUtf8(fileBytes, programText, failure);
  programText.assign(fileBytes);
  return true;
}

std::string TextToFile(std::string_view programText) {
  return SystemEncoding() == Encoding::Utf8 ? cp949::ToUtf8(programText) : std::string(programText);
}

}  // namespace ostext

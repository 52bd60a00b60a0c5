// The link routines of the note body (LinkScan.h).
#include "app/LinkScan.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "app/Udf.h"
#include "platform/core/Cp949.h"
#include "platform/core/OsText.h"
#include "platform/core/SysUtils.h"

namespace fs = std::filesystem;

namespace {

// How far the scan looks either way of the caret.
constexpr int kScanReach = 50;

bool Contains(const std::string& hay, const char* needle) { return hay.find(needle) != std::string::npos; }

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::string Slashes(std::string text) {
  std::replace(text.begin(), text.end(), '\\', '/');
  return text;
}

// Launchers and programs the desktop would start rather than show (p as the system names it).
bool IsProgramType(const fs::path& p) {
  static const char* const kTypes[] = {".exe", ".com", ".bat", ".cmd", ".pif", ".scr", ".msi",
                                       ".vbs", ".jar", ".sh", ".desktop", ".appimage"};
  const std::string ext = cp949::Lower(p.extension().string());
  for (const char* t : kTypes)
    if (ext == t) return true;
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH));
}

}  // namespace

TLinkScan ScanLink(ILinkBody& Body, int P) {
  const int length = Body.Length();
  auto underlined = [&](int k) { return k >= 0 && k < length && Body.Underlined(k, 1); };

  int s = P - kScanReach - 1;
  for (int k = P; k >= P - kScanReach; --k)
    if (!underlined(k)) {
      s = k;
      break;
    }
  int e = P + kScanReach + 1;
  for (int k = P + 2; k <= P + kScanReach; ++k)
    if (!underlined(k)) {
      e = k;
      break;
    }

  TLinkScan r;
  // The run's last two characters decide whether the character at e is taken in too; the
  // trim drops it when it is a blank.
  const bool tailUnderlined = e - 2 >= 0 && e <= length && Body.Underlined(e - 2, 2);
  r.SelStart = s;
  r.SelLength = tailUnderlined ? e - s + 1 : e - s;
  const int from = std::max(s, 0);
  const int to = std::min(s + r.SelLength, length);
  r.Link = to > from ? StrAllTrim(Body.Text(from, to - from)) : std::string();
  if (s + static_cast<int>(r.Link.size()) - 2 < P) {
    r.Result = TLinkScan::lsPastEnd;
    r.Caret = std::max(0, s + static_cast<int>(r.Link.size()));
    return r;
  }
  r.Result = r.Link.empty() ? TLinkScan::lsNone : TLinkScan::lsLink;
  return r;
}

TLinkKind ClassifyLink(const std::string& Text) {
  const std::string t = StrAllTrim(Text);
  if (t.empty()) return lkNone;
  if (Contains(t, ".") && Contains(t, "@")) return lkMail;
  const std::string lower = cp949::Lower(t);
  // Secure pages are web pages too, not file names.
  if (Contains(t, ".") && (Contains(lower, "http:") || Contains(lower, "https:") || Contains(lower, "www.")))
    return lkWeb;
  return lkFile;
}

bool IsWebAddress(const std::string& Text) {
  const std::string lower = cp949::Lower(StrAllTrim(Text));
  return StartsWith(lower, "http:") || StartsWith(lower, "https:") || StartsWith(lower, "www.");
}

std::string WordAtCaret(const std::string& Text, int Caret) {
  const int n = static_cast<int>(Text.size());
  const int p = std::clamp(Caret, 0, n);
  int from = p;
  while (from > 0 && Text[static_cast<std::size_t>(from - 1)] != ' ') --from;
  int to = p;
  while (to < n && Text[static_cast<std::size_t>(to)] != ' ') ++to;
  return StrAllTrim(Text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(to - from)));
}

bool FileLinkText(const std::string& Path, const std::string& LinkDir, std::string& Rel) {
  std::string dir = Slashes(LinkDir);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  const std::string path = Slashes(Path);
  // The folder's name must end at a separator: "/notes/a" is no folder of "/notes/ab/x".
  if (dir.empty() || path.size() <= dir.size() + 1) return false;
  const std::size_t cut = dir == "/" ? 1 : dir.size() + 1;
  if (cp949::Upper(path.substr(0, dir.size())) != cp949::Upper(dir)) return false;
  if (dir != "/" && path[dir.size()] != '/') return false;
  Rel = path.substr(cut);
  if (Rel.empty() || Rel.back() == '/') return false;
  if (Rel.find('/') != std::string::npos) Rel = "/" + Rel;
  return true;
}

TFileLinkCheck ResolveFileLink(const std::string& LinkDir, const std::string& Text, std::string& Full) {
  std::error_code ec;
  // Folder and link are program text: they are resolved under the names the system has.
  const std::string dir = Slashes(StrAllTrim(LinkDir));
  const fs::path base = fs::weakly_canonical(fs::path(ostext::SystemPath(dir)), ec);
  if (ec || base.empty()) return flOutside;
  const fs::path link = fs::path(Slashes(StrAllTrim(Text))).relative_path();
  const fs::path target =
      fs::weakly_canonical(fs::path(ostext::SystemPath(IncludeTrailingPathDelimiter(dir) + link.string())), ec);
  if (ec) return flOutside;
  const fs::path rel = target.lexically_relative(base);
  if (rel.empty() || *rel.begin() == "..") return flOutside;
  if (IsProgramType(target)) return flProgram;
  // A link that leads to a name without a CP949 form is not opened under another name.
  if (!ostext::ProgramName(target.string(), Full)) {
    Full = ostext::NameMessage(target.string());
    return flUnnamed;
  }
  return flOk;
}

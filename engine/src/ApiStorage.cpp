// The storage entry points of the engine's C interface: tables, creation, navigation,
// records, fields, memos and blobs, locks. Each works on the selected work area; on an
// unused one it answers neutrally (0, "", nothing).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "engine/include/xbeng61.h"
#include "engine/src/ApiText.h"
#include "engine/src/FieldCodec.h"
#include "engine/src/FileIo.h"
#include "engine/src/WorkArea.h"
#include "platform/core/Cp949.h"
#include "platform/core/NumberText.h"

using xbe::Session;
using xbe::WorkArea;

namespace {

WorkArea* Cur() { return Session::Get().Current(); }

// Field index of a name on the current work area; -1 when either is missing.
int FieldOf(WorkArea* w, const char* name) {
  if (!w || !name) return -1;
  return w->FieldIndex(name);
}

XbShort Flag(bool b) { return b ? -1 : 0; }

std::string WithDbfExtension(const char* fileName) {
  std::string p = xbe::Str(fileName);
  for (char& c : p)
    if (c == '\\') c = '/';
  while (!p.empty() && p.back() == ' ') p.pop_back();
  if (xbe::FileOf(p).empty()) return "";  // no file name at all
  if (xbe::ExtensionOf(p).empty()) p += ".dbf";
  return xbe::ResolvePath(p);
}

std::string DefaultAlias(const std::string& path) {
  std::string f = xbe::FileOf(path);
  std::string e = xbe::ExtensionOf(path);
  return cp949::Upper(f.substr(0, f.size() - e.size()));
}

// ---- field values -------------------------------------------------------------------------

double NumberOf(WorkArea* w, int f) {
  const xbe::FieldDesc& d = w->Fields()[f];
  std::string raw = w->Raw(f);
  switch (d.type) {
    case 'I': {
      const unsigned char* p = reinterpret_cast<const unsigned char*>(raw.data());
      return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
    }
    case 'L':
      return (raw[0] == 'T' || raw[0] == 't' || raw[0] == 'Y' || raw[0] == 'y') ? 1.0 : 0.0;
    case 'D':
      return xbe::JulianOfStored(raw);
    case 'M':
    case 'B':
    case 'G':
    case 'P':
      return 0.0;
    default:
      return xbe::ParseNumber(raw);
  }
}

std::string TextOf(WorkArea* w, int f) {
  const xbe::FieldDesc& d = w->Fields()[f];
  if (w->IsMemoField(f)) {
    std::string s;
    w->ReadMemoField(f, &s);
    return s;
  }
  if (d.type == 'I') return std::to_string(static_cast<int32_t>(NumberOf(w, f)));
  return w->Raw(f);
}

bool PutNumber(WorkArea* w, int f, double v);

bool PutText(WorkArea* w, int f, const std::string& text) {
  const xbe::FieldDesc& d = w->Fields()[f];
  switch (d.type) {
    case 'N':
    case 'F': {
      if (text.find_first_not_of(' ') == std::string::npos) return w->SetRaw(f, "");
      return PutNumber(w, f, xbe::ParseNumber(text));
    }
    case 'I':
      return PutNumber(w, f, xbe::ParseNumber(text));
    case 'D': {
      const xbe::EngineSettings& s = xbe::Settings();
      return w->SetRaw(f, xbe::ParseDate(text, s.dateFormat, s.epoch));
    }
    case 'L': {
      size_t k = text.find_first_not_of(' ');
      char c = k == std::string::npos ? ' ' : text[k];
      char v = (c == 'T' || c == 't' || c == 'Y' || c == 'y') ? 'T'
               : (c == 'F' || c == 'f' || c == 'N' || c == 'n') ? 'F' : ' ';
      return w->SetRaw(f, std::string(1, v));
    }
    case 'M':
    case 'B':
    case 'G':
    case 'P':
      return w->WriteMemoField(f, text.data(), text.size(),
                               d.type == 'M' ? xbe::MemoFile::kText : xbe::MemoFile::kBinary);
    default:
      // Never half a two-byte character at the end of a cut title.
      return w->SetRaw(f, cp949::Cut(text, d.width));
  }
}

bool PutNumber(WorkArea* w, int f, double v) {
  const xbe::FieldDesc& d = w->Fields()[f];
  switch (d.type) {
    case 'N':
    case 'F': {
      std::string s;
      // A value that does not fit is refused; the stored value stays.
      if (!xbe::FormatNumber(v, d.width, d.decimals, &s)) return false;
      return w->SetRaw(f, s);
    }
    case 'I': {
      if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) return false;
      uint32_t i = static_cast<uint32_t>(static_cast<int32_t>(v));
      std::string s(4, '\0');
      for (int k = 0; k < 4; ++k) s[k] = static_cast<char>((i >> (8 * k)) & 0xFF);
      return w->SetRaw(f, s);
    }
    case 'L':
      return w->SetRaw(f, v != 0 ? "T" : "F");
    case 'D':
      return w->SetRaw(f, xbe::DateOfJulian(static_cast<int32_t>(v)));
    default: {
      const bool whole = v == std::floor(v) && std::fabs(v) < 1e15;
      return PutText(w, f, numtext::Fixed(v, whole ? 0 : (d.decimals > 0 ? d.decimals : 6)));
    }
  }
}

// The empty memo text is shared and never freed, so a caller that does not give back an
// empty result leaks nothing.
char g_emptyMemo[1] = {0};

char* AllocText(const std::string& s) {
  if (s.empty()) return g_emptyMemo;
  char* p = static_cast<char*>(std::malloc(s.size() + 1));
  if (!p) return g_emptyMemo;
  std::memcpy(p, s.data(), s.size());
  p[s.size()] = 0;
  return p;
}

bool ValidFieldName(const std::string& n) {
  if (n.empty() || n.size() > 10) return false;
  if (!std::isalpha(static_cast<unsigned char>(n[0]))) return false;
  for (char c : n)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

}  // namespace

extern "C" {

// ---- tables -------------------------------------------------------------------------------

XBAPI XbShort xb_UseEx(const char* fileName, const char* alias, XbShort openMode, XbShort tableType,
                       XbLong commitLevel) {
  std::string path = WithDbfExtension(fileName);
  if (xbe::FileOf(path).empty()) return 0;
  std::string a = cp949::Upper(xbe::Str(alias));
  if (a.empty()) a = DefaultAlias(path);
  Session& s = Session::Get();
  if (s.FindAlias(a)) return 0;
  int mode = openMode == 1 || openMode == 2 ? openMode : 0;
  int type = tableType >= 1 && tableType <= 4 ? tableType : 2;
  std::unique_ptr<WorkArea> w = WorkArea::Open(path, a, mode, type, commitLevel);
  if (!w) return 0;
  return static_cast<XbShort>(s.Install(std::move(w)));
}

XBAPI XbShort xb_Use(const char* fileName, const char* alias, XbShort openMode) {
  return xb_UseEx(fileName, alias, openMode, XB_TT_CDX, 0);
}

XBAPI void xb_Close(void) { Session::Get().CloseArea(Session::Get().CurrentNumber()); }
XBAPI void xb_CloseAll(void) { Session::Get().CloseAll(); }
XBAPI XbShort xb_Select(XbShort workArea) { return static_cast<XbShort>(Session::Get().Select(workArea)); }
XBAPI XbShort xb_WorkArea(const char* alias) {
  return static_cast<XbShort>(Session::Get().FindAlias(xbe::Str(alias)));
}
XBAPI const char* xb_Alias(XbShort workArea) {
  WorkArea* w = Session::Get().Area(workArea);
  return xbe::Ret(w ? w->Alias() : "");
}
XBAPI const char* xb_BaseName(XbShort workArea) {
  WorkArea* w = Session::Get().Area(workArea);
  return xbe::Ret(w ? w->Path() : "");
}
XBAPI XbShort xb_OpenMode(void) {
  WorkArea* w = Cur();
  return static_cast<XbShort>(w ? w->OpenMode() : 0);
}

// ---- creation -----------------------------------------------------------------------------

XBAPI XbShort xb_CreateNewEx(const char* fileName, const char* alias, XbShort tableType, XbShort fieldCount,
                             XbShort memoBlockSize) {
  std::string path = WithDbfExtension(fileName);
  if (xbe::FileOf(path).empty() || fieldCount < 1 || fieldCount > 1024) return 0;
  xbe::CreationJob job;
  job.path = path;
  job.alias = xbe::Str(alias);
  job.tableType = tableType >= 1 && tableType <= 4 ? tableType : 2;
  job.fieldCount = fieldCount;
  job.memoBlockSize = memoBlockSize;
  return static_cast<XbShort>(Session::Get().StartJob(std::move(job)));
}

XBAPI XbShort xb_CreateNew(const char* fileName, const char* alias, XbShort tableType, XbShort fieldCount) {
  return xb_CreateNewEx(fileName, alias, tableType, fieldCount, 0);
}

XBAPI void xb_CreateField(const char* name, const char* type, XbShort width, XbShort decimals) {
  xbe::CreationJob* job = Session::Get().Job(Session::Get().CurrentNumber());
  if (!job) return;
  std::string n = xbe::Str(name);
  while (!n.empty() && n.back() == ' ') n.pop_back();
  std::string t = xbe::Str(type);
  xbe::FieldDesc f;
  f.name = cp949::Upper(n);
  f.type = t.size() == 1 ? static_cast<char>(std::toupper(static_cast<unsigned char>(t[0]))) : '?';
  f.width = width;
  f.decimals = 0;
  bool ok = ValidFieldName(n) && static_cast<int>(job->fields.size()) < job->fieldCount;
  for (const xbe::FieldDesc& g : job->fields)
    if (g.name == f.name) ok = false;
  switch (f.type) {
    case 'C':
      ok = ok && width >= 1 && width <= 254;
      break;
    case 'N':
    case 'F':
      ok = ok && width >= 1 && width <= 20 && decimals >= 0 && (decimals == 0 || decimals <= width - 2);
      f.decimals = decimals;
      break;
    case 'D':
      f.width = 8;
      break;
    case 'L':
      f.width = 1;
      break;
    case 'I':
      f.width = 4;
      break;
    case 'M':
    case 'B':
    case 'G':
    case 'P':
      f.width = 10;
      break;
    default:
      ok = false;
  }
  if (!ok) {
    job->failed = true;
    return;
  }
  job->fields.push_back(f);
}

XBAPI XbLong xb_CreateExec(void) {
  Session& s = Session::Get();
  int n = s.CurrentNumber();
  xbe::CreationJob* job = s.Job(n);
  if (!job) return 0;
  xbe::CreationJob j = *job;
  s.EndJob(n);
  if (j.failed || j.fields.empty() || xbe::Fs().Exists(j.path)) return 0;
  bool memo = false;
  int off = 1;
  for (xbe::FieldDesc& f : j.fields) {
    f.offset = off;
    off += f.width;
    if (f.type == 'M' || f.type == 'B' || f.type == 'G' || f.type == 'P') memo = true;
  }
  if (off > 65535) return 0;
  std::string memoPath;
  if (memo) {
    // The memo file comes first: a table must never exist without its memo file.
    memoPath = xbe::CompanionPath(j.path, xbe::MemoExtension(j.tableType));
    int bs = j.memoBlockSize > 0 ? j.memoBlockSize : xbe::Settings().memoBlockSize;
    if (!xbe::MemoFile::Create(memoPath, bs)) return 0;
  }
  if (xbe::DbfFile::Create(j.path, j.fields, memo)) return -1;
  if (memo) xbe::Fs().Remove(memoPath);
  return 0;
}

XBAPI void xb_Pack(void) {
  if (WorkArea* w = Cur()) w->Pack();
}
XBAPI void xb_Zap(void) {
  if (WorkArea* w = Cur()) w->Zap();
}

// ---- navigation and records ---------------------------------------------------------------

XBAPI void xb_GoTop(void) {
  if (WorkArea* w = Cur()) w->GoTop();
}
XBAPI void xb_GoBottom(void) {
  if (WorkArea* w = Cur()) w->GoBottom();
}
XBAPI void xb_Go(XbLong recNo) {
  if (WorkArea* w = Cur()) w->Go(recNo);
}
XBAPI void xb_Skip(XbLong count) {
  if (WorkArea* w = Cur()) w->Skip(count);
}
XBAPI XbShort xb_Bof(void) {
  WorkArea* w = Cur();
  return Flag(w ? w->Bof() : true);
}
XBAPI XbShort xb_Eof(void) {
  WorkArea* w = Cur();
  return Flag(w ? w->Eof() : true);
}
XBAPI XbLong xb_RecNo(void) {
  WorkArea* w = Cur();
  return w ? w->CurrentRecNo() : 0;
}
XBAPI XbLong xb_RecCount(void) {
  WorkArea* w = Cur();
  return w ? w->RefreshCount() : 0;
}
XBAPI XbLong xb_Count(void) {
  WorkArea* w = Cur();
  return w ? w->CountVisible() : 0;
}
XBAPI XbLong xb_RecSize(void) {
  WorkArea* w = Cur();
  return w ? w->RecSize() : 0;
}
XBAPI XbShort xb_Deleted(void) {
  WorkArea* w = Cur();
  return Flag(w && w->CurrentDeleted());
}
XBAPI void xb_Delete(void) {
  if (WorkArea* w = Cur()) w->Delete();
}
XBAPI void xb_Recall(void) {
  if (WorkArea* w = Cur()) w->Recall();
}
XBAPI void xb_AppendBlankEx(XbShort commit) {
  WorkArea* w = Cur();
  if (w && w->AppendBlank() && commit) w->Commit();
}
XBAPI void xb_AppendBlank(void) { xb_AppendBlankEx(0); }
XBAPI void xb_AppendEx(XbShort commit) { xb_AppendBlankEx(commit); }
XBAPI void xb_Append(void) { xb_AppendBlankEx(0); }
XBAPI void xb_GetRecord(void* image) {
  WorkArea* w = Cur();
  if (w && image) w->GetRecord(image);
}
XBAPI void xb_PutRecord(const void* image) {
  if (WorkArea* w = Cur()) w->PutRecord(image);
}
XBAPI void xb_Commit(void) {
  if (WorkArea* w = Cur()) w->Commit();
}
XBAPI void xb_CommitLevel(XbLong level) {
  if (WorkArea* w = Cur()) w->SetCommitLevel(level);
}
XBAPI XbLong xb_GetCommitLevel(void) {
  WorkArea* w = Cur();
  return w ? w->CommitLevel() : 0;
}

// ---- fields -------------------------------------------------------------------------------

XBAPI XbShort xb_FieldCount(void) {
  WorkArea* w = Cur();
  return static_cast<XbShort>(w ? w->Fields().size() : 0);
}
XBAPI const char* xb_FieldName(XbShort n) {
  WorkArea* w = Cur();
  if (!w || n < 1 || n > static_cast<int>(w->Fields().size())) return xbe::Ret("");
  return xbe::Ret(w->Fields()[n - 1].name);
}
XBAPI XbShort xb_FieldNum(const char* name) {
  WorkArea* w = Cur();
  return static_cast<XbShort>(FieldOf(w, name) + 1);
}
XBAPI const char* xb_FieldType(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  return xbe::Ret(f < 0 ? "" : std::string(1, w->Fields()[f].type));
}
XBAPI XbShort xb_FieldWidth(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  return static_cast<XbShort>(f < 0 ? 0 : w->Fields()[f].width);
}
XBAPI XbShort xb_FieldDecimals(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  return static_cast<XbShort>(f < 0 ? 0 : w->Fields()[f].decimals);
}
XBAPI XbShort xb_FieldOffset(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  return static_cast<XbShort>(f < 0 ? 0 : w->Fields()[f].offset + 1);
}

XBAPI const char* xb_GetString(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  return xbe::Ret(f < 0 ? "" : TextOf(w, f));
}
XBAPI const char* xb_GetTrimString(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return xbe::Ret("");
  const xbe::FieldDesc& d = w->Fields()[f];
  if (w->IsMemoField(f) || d.type == 'I') return xbe::Ret(TextOf(w, f));
  std::string_view v = w->RawView(f);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\0')) v.remove_suffix(1);
  return xbe::Ret(v);
}
XBAPI XbLong xb_GetLong(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return 0;
  double v = std::trunc(NumberOf(w, f));
  return static_cast<XbLong>(std::clamp(v, -2147483648.0, 2147483647.0));
}
XBAPI XbShort xb_GetInteger(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return 0;
  return static_cast<XbShort>(std::clamp(std::trunc(NumberOf(w, f)), -32768.0, 32767.0));
}
XBAPI double xb_GetDouble(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  return f < 0 ? 0.0 : NumberOf(w, f);
}
XBAPI XbShort xb_GetLogical(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return 0;
  char c = w->Raw(f)[0];
  return Flag(c == 'T' || c == 't' || c == 'Y' || c == 'y');
}
XBAPI const char* xb_GetDateString(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || w->Fields()[f].type != 'D') return xbe::Ret("");
  const xbe::EngineSettings& s = xbe::Settings();
  return xbe::Ret(xbe::FormatDate(w->Raw(f), s.dateFormat, s.century));
}
XBAPI XbLong xb_GetDateJulian(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || w->Fields()[f].type != 'D') return 0;
  return xbe::JulianOfStored(w->Raw(f));
}
XBAPI XbShort xb_GetByte(const char* name, XbShort position) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || position < 1 || position > w->Fields()[f].width) return 0;
  return static_cast<unsigned char>(w->Raw(f)[position - 1]);
}
XBAPI XbShort xb_Empty(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return 0;
  const xbe::FieldDesc& d = w->Fields()[f];
  if (w->IsMemoField(f)) return Flag(w->MemoLength(f) == 0);
  std::string raw = w->Raw(f);
  bool blank = raw.find_first_not_of(' ') == std::string::npos;
  switch (d.type) {
    case 'N':
    case 'F':
    case 'I':
      return Flag(blank || NumberOf(w, f) == 0);
    case 'L':
      return Flag(blank || NumberOf(w, f) == 0);
    default:
      return Flag(blank);
  }
}

XBAPI void xb_Replace(const char* name, XbShort replaceType, const void* value) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return;
  const xbe::FieldDesc& d = w->Fields()[f];
  switch (static_cast<uint16_t>(replaceType)) {
    // Both integer codes carry a 32-bit integer, as the table layer passes it.
    case XB_RT_INT16:
    case XB_RT_INT32:
      if (value) PutNumber(w, f, *static_cast<const int32_t*>(value));
      break;
    case XB_RT_DOUBLE:
      if (value) PutNumber(w, f, *static_cast<const double*>(value));
      break;
    case XB_RT_JULIAN:
      if (value) {
        int32_t j = *static_cast<const int32_t*>(value);
        if (d.type == 'D')
          w->SetRaw(f, xbe::DateOfJulian(j));
        else
          PutNumber(w, f, j);
      }
      break;
    case XB_RT_BOOLBYTE:
      if (value) {
        bool on = *static_cast<const unsigned char*>(value) != 0;
        if (d.type == 'L')
          w->SetRaw(f, on ? "T" : "F");
        else
          PutNumber(w, f, on ? 1 : 0);
      }
      break;
    case XB_RT_TEXT:
    case XB_RT_TEXT2:
      PutText(w, f, xbe::Str(static_cast<const char*>(value)));
      break;
    case XB_RT_DATETEXT:
      if (value) {
        const char* p = static_cast<const char*>(value);
        std::string t(p, strnlen(p, 11));
        const xbe::EngineSettings& s = xbe::Settings();
        w->SetRaw(f, xbe::ParseDate(t, s.dateFormat, s.epoch));
      }
      break;
    case XB_RT_MEMO: {
      std::string t = xbe::Str(static_cast<const char*>(value));
      if (w->IsMemoField(f))
        w->WriteMemoField(f, value ? t.data() : nullptr, t.size(), xbe::MemoFile::kText);
      else
        PutText(w, f, t);
      break;
    }
    case XB_RT_FILEBLOB: {
      if (!value || !w->IsMemoField(f)) break;
      std::unique_ptr<xbe::File> in = xbe::Fs().Open(xbe::ResolvePath(static_cast<const char*>(value)), false, false, false);
      const int64_t size = in ? in->Size() : -1;
      if (size < 0) break;
      std::string data(static_cast<std::size_t>(size), '\0');
      const ssize_t got = in->ReadAt(0, data.data(), data.size());
      if (got < 0) break;
      data.resize(static_cast<std::size_t>(got));
      w->WriteMemoField(f, data.data(), data.size(),
                        d.type == 'M' ? xbe::MemoFile::kText : xbe::MemoFile::kBinary);
      break;
    }
    default:
      if (value && !w->IsMemoField(f))
        w->SetRaw(f, std::string(static_cast<const char*>(value), d.width));
      break;
  }
}

XBAPI void xb_PutString(const char* name, const char* value) { xb_Replace(name, XB_RT_TEXT, value ? value : ""); }
XBAPI void xb_PutDateString(const char* name, const char* value) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return;
  const xbe::EngineSettings& s = xbe::Settings();
  w->SetRaw(f, xbe::ParseDate(xbe::Str(value), s.dateFormat, s.epoch));
}
XBAPI void xb_PutInteger(const char* name, XbShort value) {
  int32_t v = value;
  xb_Replace(name, XB_RT_INT32, &v);
}
XBAPI void xb_PutLong(const char* name, XbLong value) { xb_Replace(name, XB_RT_INT32, &value); }
XBAPI void xb_PutLogical(const char* name, XbShort value) {
  unsigned char b = value ? 1 : 0;
  xb_Replace(name, XB_RT_BOOLBYTE, &b);
}
XBAPI void xb_PutDouble(const char* name, double value) { xb_Replace(name, XB_RT_DOUBLE, &value); }

// ---- memos and blobs ----------------------------------------------------------------------

XBAPI char* xb_GetMemo(const char* name, XbShort lineWidth) {
  (void)lineWidth;  // lines are never re-wrapped: the body keeps its own line breaks
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0) return g_emptyMemo;
  return AllocText(TextOf(w, f));
}
XBAPI void xb_PutMemo(const char* name, const char* text) { xb_Replace(name, XB_RT_MEMO, text); }

XBAPI XbLong xb_GetBlobLength(const char* name) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || !w->IsMemoField(f)) return 0;
  return static_cast<XbLong>(std::min<int64_t>(w->MemoLength(f), 0x7FFFFFFF));
}
XBAPI XbLong xb_GetBlobEx(const char* name, void* buffer, XbLong capacity) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || !w->IsMemoField(f) || !buffer || capacity <= 0) return 0;
  std::string data;
  if (!w->ReadMemoField(f, &data)) return 0;
  size_t n = std::min<size_t>(data.size(), static_cast<size_t>(capacity));
  std::memcpy(buffer, data.data(), n);
  return static_cast<XbLong>(n);
}
XBAPI XbLong xb_GetBlob(const char* name, void* buffer) {
  return xb_GetBlobEx(name, buffer, xb_GetBlobLength(name));
}
XBAPI XbLong xb_PutBlob(const char* name, const void* data, XbLong length) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || !w->IsMemoField(f) || length < 0 || (length > 0 && !data)) return 0;
  uint32_t type = w->Fields()[f].type == 'M' ? xbe::MemoFile::kText : xbe::MemoFile::kBinary;
  if (!w->WriteMemoField(f, data, static_cast<size_t>(length), type)) return 0;
  return length;
}
XBAPI XbLong xb_BlobToFile(const char* name, const char* fileName) {
  WorkArea* w = Cur();
  int f = FieldOf(w, name);
  if (f < 0 || !w->IsMemoField(f)) return 0;
  std::string data;
  if (!w->ReadMemoField(f, &data)) return 0;
  std::string path = xbe::ResolvePath(xbe::Str(fileName));
  std::unique_ptr<xbe::File> out = xbe::Fs().Open(path, true, true, false);
  if (!out || !out->WriteAt(0, data.data(), data.size())) return 0;
  return static_cast<XbLong>(data.size());
}
XBAPI void* xb_MemAlloc(XbLong size) { return size > 0 ? std::calloc(1, static_cast<size_t>(size)) : nullptr; }
XBAPI void xb_MemDealloc(void* block) {
  if (block && block != g_emptyMemo) std::free(block);
}
XBAPI void* xb_MemRealloc(void* block, XbLong size) {
  if (block == g_emptyMemo) block = nullptr;
  return size > 0 ? std::realloc(block, static_cast<size_t>(size)) : nullptr;
}

// ---- locks --------------------------------------------------------------------------------

XBAPI XbShort xb_Rlock(XbLong recNo) {
  WorkArea* w = Cur();
  return Flag(w && w->Rlock(recNo));
}
XBAPI XbShort xb_Flock(void) {
  WorkArea* w = Cur();
  return Flag(w && w->Flock());
}
XBAPI void xb_Unlock(XbLong recNo) {
  if (WorkArea* w = Cur()) w->Unlock(recNo);
}
XBAPI XbShort xb_Locked(XbLong recNo) {
  WorkArea* w = Cur();
  return Flag(w && w->Locked(recNo));
}
XBAPI XbLong xb_LockCount(void) {
  WorkArea* w = Cur();
  return w ? w->LockCount() : 0;
}
XBAPI const char* xb_DBRlockList(void) {
  WorkArea* w = Cur();
  return xbe::Ret(w ? w->LockList() : "");
}
XBAPI void xb_SetLockTimeout(XbShort seconds) { xbe::Settings().lockTimeoutSeconds = seconds < 0 ? 0 : seconds; }

}  // extern "C"

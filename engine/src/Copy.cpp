// Copying between tables: the visible records of the current table into a new one (in the
// active order, with their memo contents), appending another table's records, text exports
// and structure copies. All of it is built on the engine's own entry points, so visibility,
// memo handling and index upkeep are exactly those of every other caller.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"
#include "engine/src/ApiText.h"
#include "engine/src/Contract.h"
#include "engine/src/DbfFile.h"
#include "engine/src/MemoFile.h"
#include "engine/src/Expr.h"
#include "engine/src/FieldCodec.h"
#include "engine/src/FileIo.h"
#include "engine/src/Order.h"
#include "engine/src/WorkArea.h"

namespace {

using xbe::FieldDesc;

bool IsMemo(char type) { return type == 'M' || type == 'B' || type == 'G' || type == 'P'; }

const char* MemoExt(int tableType) {
  switch (tableType) {
    case XB_TT_NTX:
    case XB_TT_NSX_DBT: return ".dbt";
    case XB_TT_NSX: return ".smt";
    default: return ".fpt";
  }
}

const char* IndexExt(int tableType) {
  return tableType == XB_TT_NSX || tableType == XB_TT_NSX_DBT ? ".nsx" : ".cdx";
}

std::string TablePath(const char* fileName) {
  std::string path = xbe::ResolvePath(xbe::Str(fileName));
  if (!xbe::FileOf(path).empty() && xbe::ExtensionOf(path).empty()) path += ".dbf";
  return xbe::ResolvePath(path);
}

// The selected work area's number (selecting 0 changes nothing and reports it).
XbShort Selected() { return xb_Select(0); }

// Removes a table's files so a copy can take the name.
void RemoveTable(const std::string& path, int tableType) {
  xbe::Fs().Remove(path);
  xbe::Fs().Remove(xbe::CompanionPath(path, MemoExt(tableType)));
  xbe::Fs().Remove(xbe::CompanionPath(path, IndexExt(tableType)));
}

// Creates an empty table with these fields; leaves the selection as it was.
bool CreateTable(const std::string& path, int tableType, const std::vector<FieldDesc>& fields) {
  XbShort keep = Selected();
  bool ok = xb_CreateNew(path.c_str(), "", static_cast<XbShort>(tableType), static_cast<XbShort>(fields.size())) > 0;
  if (ok) {
    for (const FieldDesc& f : fields) {
      char type[2] = {f.type, 0};
      xb_CreateField(f.name.c_str(), type, static_cast<XbShort>(f.width), static_cast<XbShort>(f.decimals));
    }
    ok = xb_CreateExec() != 0;
  }
  xb_Select(keep);
  return ok;
}

// Opens a table in a free work area under a private alias; returns the work area, 0 when refused.
XbShort OpenPrivate(const std::string& path, const char* aliasStem, XbShort mode, int tableType) {
  XbShort keep = Selected();
  XbShort wa = 0;
  for (int i = 0; i < 100 && wa <= 0; ++i) {
    std::string alias = std::string(aliasStem) + std::to_string(i);
    if (xb_WorkArea(alias.c_str()) != 0) continue;
    wa = xb_UseEx(path.c_str(), alias.c_str(), mode, static_cast<XbShort>(tableType), 0);
    break;
  }
  if (wa <= 0) xb_Select(keep);
  return wa > 0 ? wa : 0;
}

void CloseArea(XbShort wa, XbShort back) {
  xb_Select(wa);
  xb_Close();
  xb_Select(back);
}

// Puts the value of a source field into a destination field of another shape.
void ConvertField(const FieldDesc& from, const char* src, const FieldDesc& to, char* dst) {
  std::string_view v(src + from.offset, static_cast<std::size_t>(from.width));
  char* out = dst + to.offset;
  std::size_t w = static_cast<std::size_t>(to.width);
  if (from.type == to.type && from.width == to.width && from.decimals == to.decimals) {
    std::memcpy(out, v.data(), w);
    return;
  }
  std::memset(out, ' ', w);
  if ((to.type == 'N' || to.type == 'F') && (from.type == 'N' || from.type == 'F' || from.type == 'C')) {
    std::string number;
    if (xbe::FormatNumber(xbe::ParseNumber(v), to.width, to.decimals, &number))
      std::memcpy(out, number.data(), number.size());
    return;
  }
  if (to.type == 'C' || to.type == from.type) {
    std::size_t n = std::min(w, v.size());
    if (to.type == 'C' && from.type == 'C') n = std::min(n, static_cast<std::size_t>(to.width));
    std::memcpy(out, v.data(), n);
  }
}

}  // namespace

extern "C" {

XBAPI XbLong xb_CopyFile(const char* fileName) {
  xbe::Orders* o = xbe::CurrentOrders();
  xbe::RecordSource* t = xbe::CurrentTable();
  if (!o || !t) return 0;
  std::string target = TablePath(fileName);
  if (xbe::FileOf(target).empty() || target == xbe::ResolvePath(o->DbfPath())) return 0;
  const int type = o->TableType();
  const std::vector<FieldDesc> fields = t->Fields();
  const int recSize = xb_RecSize();
  bool hasMemo = false;
  for (const FieldDesc& f : fields) hasMemo = hasMemo || IsMemo(f.type);
  RemoveTable(target, type);  // a copy overwrites its target
  // The new table is written in bulk: it is nobody else's yet, and nothing is renamed over a
  // note file until the whole copy stands. Everything that waits on the disk (creating the
  // files, handing batches to it, the final syncs) touches only the copy's own files and
  // buffers, and runs while the gauge beats.
  std::string memoPath = hasMemo ? xbe::CompanionPath(target, MemoExt(type)) : std::string();
  const int memoBlockSize = xbe::Settings().memoBlockSize;
  std::string header = xbe::DbfFile::BuildHeader(fields, hasMemo, 0);
  std::unique_ptr<xbe::MemoFile> memo;
  std::unique_ptr<xbe::File> out;
  bool created = false;
  xbe::WhileBeating([&] {
    std::string err;
    if (hasMemo && !xbe::MemoFile::Create(memoPath, memoBlockSize)) return;
    memo = hasMemo ? xbe::MemoFile::Open(memoPath, true, &err) : nullptr;
    out = xbe::Fs().Open(target, true, true, true);
    created = out && (!hasMemo || memo) && out->WriteAt(0, header.data(), header.size());
  });
  if (!created) {
    out.reset();
    memo.reset();
    RemoveTable(target, type);
    return 0;
  }
  const int64_t dataStart = static_cast<int64_t>(header.size());
  int64_t written = 0;
  bool ok = true;
  // A batch goes to the disk beside the work on the next one, from a buffer of its own.
  std::string batch, writing;
  std::atomic<bool> writesOk{true};
  xbe::BackgroundJobs disk;
  struct Pending {
    std::size_t record;  // index in the batch
    int field;
  };
  std::vector<Pending> textRefs, binRefs;
  std::vector<std::string> texts, bins;
  auto putRef = [&](std::size_t record, int field, uint32_t block) {
    const FieldDesc& f = fields[static_cast<std::size_t>(field)];
    char* at = batch.data() + record * static_cast<std::size_t>(recSize) + f.offset;
    std::memset(at, ' ', static_cast<std::size_t>(f.width));
    if (block == 0) return;
    if (f.width == 4) {
      for (int k = 0; k < 4; ++k) at[k] = static_cast<char>((block >> (8 * k)) & 0xFF);
    } else {
      std::string d = std::to_string(block);
      if (d.size() <= static_cast<std::size_t>(f.width)) std::memcpy(at + f.width - d.size(), d.data(), d.size());
    }
  };
  auto flush = [&] {
    std::vector<uint32_t> blocks;
    if (!texts.empty()) {
      ok = memo->WriteMany(texts, xbe::MemoFile::kText, &blocks) && ok;
      for (std::size_t i = 0; ok && i < textRefs.size(); ++i) putRef(textRefs[i].record, textRefs[i].field, blocks[i]);
    }
    if (!bins.empty()) {
      ok = memo->WriteMany(bins, xbe::MemoFile::kBinary, &blocks) && ok;
      for (std::size_t i = 0; ok && i < binRefs.size(); ++i) putRef(binRefs[i].record, binRefs[i].field, blocks[i]);
    }
    std::size_t records = batch.size() / static_cast<std::size_t>(recSize);
    disk.Wait();  // the batch before is written: its buffer is free
    writing.swap(batch);
    const int64_t at = dataStart + written * recSize;
    if (ok)
      disk.Start([&, at] {
        if (!out->WriteAt(at, writing.data(), writing.size())) writesOk = false;
        // Flushed as it goes: one flush of the whole copy at the end stalls the gauge window.
        out->WriteBack();
        if (memo) memo->WriteBack();
      });
    written += static_cast<int64_t>(records);
    batch.clear();
    texts.clear(), bins.clear(), textRefs.clear(), binRefs.clear();
  };
  XbLong keep = xb_RecNo();
  const int32_t total = std::max<int32_t>(1, t->RecordCount());
  int32_t done = 0;
  int lastPercent = 0;
  for (xb_GoTop(); ok && writesOk && !xb_Eof(); xb_Skip(1)) {
    const char* image = t->CurrentImage();
    std::size_t record = batch.size() / static_cast<std::size_t>(recSize);
    batch.append(image, static_cast<std::size_t>(recSize));
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (!IsMemo(fields[i].type)) continue;
      std::string text = t->ReadMemo(static_cast<int>(i), image);
      bool binary = fields[i].type != 'M';
      (binary ? binRefs : textRefs).push_back({record, static_cast<int>(i)});
      (binary ? bins : texts).push_back(std::move(text));
    }
    // Small enough that a flush does not keep the gauge window from its turn for long.
    if (batch.size() >= (2u << 20)) flush();
    int percent = static_cast<int>(std::min<int64_t>(99, int64_t(++done) * 100 / total));
    if (percent > lastPercent) xbe::ReportProgress(lastPercent = percent);
    xbe::ProgressBeat();
  }
  flush();
  disk.Wait();
  ok = ok && writesOk;
  header = xbe::DbfFile::BuildHeader(fields, hasMemo, static_cast<int32_t>(written));
  // Durable before it is reported done: the pack renames the copy over the note file next.
  xbe::WhileBeating([&] {
    ok = ok && out->WriteAt(0, header.data(), header.size()) &&
         out->WriteAt(dataStart + written * recSize, "\x1A", 1) && out->Sync() && (!memo || memo->Sync());
  });
  out.reset();
  memo.reset();
  xb_Go(keep);
  if (!ok) {
    RemoveTable(target, type);
    return 0;
  }
  xbe::ReportProgress(100);
  return 1;
}

XBAPI XbLong xb_AppendFrom(const char* fileName, XbShort tableType, const char* condition) {
  xbe::RecordSource* dt = xbe::CurrentTable();
  xbe::Orders* dOrders = xbe::CurrentOrders();
  if (!dt || !dOrders) return 0;
  XbShort dst = Selected();
  std::string source = TablePath(fileName);
  // Appending a table to itself would read its own new records back without end.
  if (source == xbe::ResolvePath(dOrders->DbfPath())) return 0;
  int type = tableType >= 1 && tableType <= 4 ? static_cast<int>(tableType) : static_cast<int>(XB_TT_CDX);
  XbShort src = OpenPrivate(source, "XBAPPEND", XB_OPEN_READONLY, type);
  if (src == 0) return 0;
  xbe::RecordSource* st = xbe::CurrentTable();
  xbe::Orders* so = xbe::CurrentOrders();
  xb_SetOrder(0);  // natural order, whatever the source's own index offers
  std::unique_ptr<xbe::CompiledExpr> cond;
  std::string condText = xbe::Str(condition);
  if (condText.find_first_not_of(' ') != std::string::npos) {
    cond = xbe::CompiledExpr::Compile(condText, st->Fields(), so ? so->Options(true) : xbe::CompileOptions());
    if (!cond || cond->Type() != xbe::ExprType::Logical) {
      CloseArea(src, dst);
      return 0;
    }
  }
  const std::vector<FieldDesc> dstFields = dt->Fields();
  const std::vector<FieldDesc> srcFields = st->Fields();
  std::vector<int> map(dstFields.size(), -1);
  for (std::size_t i = 0; i < dstFields.size(); ++i) map[i] = st->FieldIndex(dstFields[i].name);
  const int32_t total = std::max<int32_t>(1, st->RecordCount());
  const int32_t last = st->RecordCount();  // records others append meanwhile are not taken
  xbe::WorkArea* target = xbe::Session::Get().Area(dst);
  if (!target) {
    CloseArea(src, dst);
    return 0;
  }
  // The records go in batches of whole records. A merge of at least a sixteenth of the
  // target's size has its tags rebuilt once at the end instead of every key inserted on its
  // own: each random insert costs a page write, a rebuild a small part of one per entry.
  constexpr std::size_t kBatchRecords = 2048;
  constexpr int64_t kRebuildFraction = 16;
  const bool rebuildTags = static_cast<int64_t>(last) * kRebuildFraction >= static_cast<int64_t>(target->RecordCount());
  // The gauge: the appends, then the rebuild of the tags (when there is one) in the second half.
  const int appendShare = rebuildTags && dOrders->OrderCount() > 0 ? 30 : 99;
  std::optional<xbe::ProgressSpan> rebuildSpan;
  bool started = false;
  auto fill = [&](xbe::WorkArea::BulkBatch& batch) {
    xb_Select(src);
    if (!started) {
      xb_GoTop();
      started = true;
    }
    int32_t n = 0;
    for (; n < static_cast<int32_t>(kBatchRecords) && !xb_Eof() && st->CurrentRecNo() <= last; xb_Skip(1)) {
      const char* s = st->CurrentImage();
      int32_t r = st->CurrentRecNo();
      if (cond && !cond->Logical({s, r, st})) continue;
      const std::size_t at = batch.images.size();
      batch.images.append(static_cast<std::size_t>(target->RecSize()), ' ');
      char* image = batch.images.data() + at;
      for (const FieldDesc& f : dstFields)
        if (f.type == 'I') std::memset(image + f.offset, 0, static_cast<std::size_t>(f.width));
      image[0] = s[0] == '*' ? '*' : ' ';
      for (std::size_t i = 0; i < dstFields.size(); ++i) {
        if (map[i] < 0) continue;
        const FieldDesc& from = srcFields[static_cast<std::size_t>(map[i])];
        if (IsMemo(dstFields[i].type)) {
          if (IsMemo(from.type)) batch.memos.push_back({n, static_cast<int>(i), st->ReadMemo(map[i], s)});
          continue;
        }
        ConvertField(from, s, dstFields[i], image);
      }
      ++n;
      xbe::ReportProgress(static_cast<int>(std::min<int64_t>(appendShare, int64_t(r) * appendShare / total)));
    }
    xb_Select(dst);
    if (n == 0) rebuildSpan.emplace(appendShare, 99);  // what follows the last batch
    return n > 0;
  };
  const bool ok = target->AppendBulk(fill, rebuildTags) >= 0;
  rebuildSpan.reset();
  CloseArea(src, dst);
  xb_Commit();
  if (!ok) return 0;
  xbe::ReportProgress(100);
  return 1;
}

// Visible records as text lines: fixed-width fields when no delimiter is given, else
// trimmed values separated by the delimiter with character fields in double quotes.
XBAPI XbLong xb_CopyFileText(const char* fileName, const char* delimiter) {
  xbe::RecordSource* t = xbe::CurrentTable();
  if (!t) return 0;
  std::string path = xbe::ResolvePath(xbe::Str(fileName));
  if (xbe::FileOf(path).empty()) return 0;
  if (xbe::ExtensionOf(path).empty()) path += ".txt";
  xbe::Fs().Remove(path);
  std::unique_ptr<xbe::File> out = xbe::Fs().Open(path, true, true, false);
  if (!out) return 0;
  std::string delim = xbe::Str(delimiter);
  const std::vector<FieldDesc> fields = t->Fields();
  XbLong keep = xb_RecNo();
  std::string buf;
  int64_t pos = 0;
  bool ok = true;
  for (xb_GoTop(); !xb_Eof() && ok; xb_Skip(1)) {
    const char* img = t->CurrentImage();
    bool first = true;
    for (const FieldDesc& f : fields) {
      if (IsMemo(f.type)) continue;
      std::string_view v(img + f.offset, static_cast<std::size_t>(f.width));
      if (delim.empty()) {
        buf.append(v);
        continue;
      }
      if (!first) buf += delim[0];
      first = false;
      std::size_t b = v.find_first_not_of(' ');
      std::size_t e = v.find_last_not_of(' ');
      std::string_view trimmed = b == std::string_view::npos ? std::string_view() : v.substr(b, e - b + 1);
      if (f.type == 'C') {
        buf += '"';
        buf.append(trimmed);
        buf += '"';
      } else {
        buf.append(trimmed);
      }
    }
    buf += "\r\n";
    if (buf.size() > (1 << 20)) {
      ok = out->WriteAt(pos, buf.data(), buf.size());
      pos += static_cast<int64_t>(buf.size());
      buf.clear();
    }
  }
  ok = ok && out->WriteAt(pos, buf.data(), buf.size());
  xb_Go(keep);
  return ok ? 1 : 0;
}

XBAPI XbLong xb_CopyStructure(const char* fileName, XbShort tableType) {
  xbe::Orders* o = xbe::CurrentOrders();
  xbe::RecordSource* t = xbe::CurrentTable();
  if (!o || !t) return 0;
  std::string target = TablePath(fileName);
  if (xbe::FileOf(target).empty() || target == xbe::ResolvePath(o->DbfPath())) return 0;
  int type = tableType >= 1 && tableType <= 4 ? tableType : o->TableType();
  RemoveTable(target, type);
  return CreateTable(target, type, t->Fields()) ? 1 : 0;
}

// A table describing the current one's fields: FIELD_NAME, FIELD_TYPE, FIELD_LEN, FIELD_DEC.
XBAPI XbLong xb_CopyStructureExtended(const char* fileName) {
  xbe::Orders* o = xbe::CurrentOrders();
  xbe::RecordSource* t = xbe::CurrentTable();
  if (!o || !t) return 0;
  std::string target = TablePath(fileName);
  if (xbe::FileOf(target).empty() || target == xbe::ResolvePath(o->DbfPath())) return 0;
  const std::vector<FieldDesc> fields = t->Fields();
  std::vector<FieldDesc> layout(4);
  layout[0].name = "FIELD_NAME", layout[0].type = 'C', layout[0].width = 10;
  layout[1].name = "FIELD_TYPE", layout[1].type = 'C', layout[1].width = 1;
  layout[2].name = "FIELD_LEN", layout[2].type = 'N', layout[2].width = 3;
  layout[3].name = "FIELD_DEC", layout[3].type = 'N', layout[3].width = 3;
  RemoveTable(target, XB_TT_CDX);
  if (!CreateTable(target, XB_TT_CDX, layout)) return 0;
  XbShort src = Selected();
  XbShort dst = OpenPrivate(target, "XBSTRUCT", XB_OPEN_EXCLUSIVE, XB_TT_CDX);
  if (dst == 0) return 0;
  for (const FieldDesc& f : fields) {
    xb_AppendBlank();
    char type[2] = {f.type, 0};
    xb_PutString("FIELD_NAME", f.name.c_str());
    xb_PutString("FIELD_TYPE", type);
    xb_PutLong("FIELD_LEN", f.width);
    xb_PutLong("FIELD_DEC", f.decimals);
  }
  xb_Commit();
  CloseArea(dst, src);
  return 1;
}

// Creates a table from a structure table as xb_CopyStructureExtended writes it.
XBAPI XbLong xb_CreateFrom(const char* fileName, const char* structFile, XbShort tableType) {
  std::string target = TablePath(fileName);
  std::string layoutPath = TablePath(structFile);
  if (xbe::FileOf(target).empty() || target == layoutPath || xbe::Fs().Exists(target)) return 0;
  XbShort back = Selected();
  XbShort wa = OpenPrivate(layoutPath, "XBLAYOUT", XB_OPEN_READONLY, XB_TT_CDX);
  if (wa == 0) return 0;
  std::vector<FieldDesc> fields;
  xb_SetOrder(0);
  for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
    FieldDesc f;
    f.name = xb_GetTrimString("FIELD_NAME");
    std::string type = xb_GetTrimString("FIELD_TYPE");
    f.type = type.empty() ? '?' : type[0];
    f.width = xb_GetLong("FIELD_LEN");
    f.decimals = xb_GetLong("FIELD_DEC");
    if (!f.name.empty()) fields.push_back(f);
  }
  CloseArea(wa, back);
  if (fields.empty()) return 0;
  int type = tableType >= 1 && tableType <= 4 ? static_cast<int>(tableType) : static_cast<int>(XB_TT_CDX);
  return CreateTable(target, type, fields) ? 1 : 0;
}

}  // extern "C"

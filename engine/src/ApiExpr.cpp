// Entry points of expressions, queries and filters: the Eval calls on the current record, the
// query snapshot, the filter, query bits, roll-your-own filters and Locate.
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "engine/include/xbeng61.h"
#include "engine/src/ApiText.h"
#include "engine/src/Contract.h"
#include "engine/src/Expr.h"
#include "engine/src/FileIo.h"
#include "engine/src/Order.h"

namespace {

using xbe::CompiledExpr;
using xbe::CurrentOrders;
using xbe::CurrentTable;
using xbe::ExprType;
using xbe::Orders;

const std::vector<xbe::FieldDesc>& NoFields() {
  static const std::vector<xbe::FieldDesc> none;
  return none;
}

// Compiles over the current table's fields (none when no table is selected).
std::unique_ptr<CompiledExpr> CompileHere(const char* text, bool forQuery) {
  xbe::RecordSource* t = CurrentTable();
  Orders* o = CurrentOrders();
  xbe::CompileOptions opt;
  if (o) {
    opt = o->Options(forQuery);
  } else {
    opt.exact = xbe::Settings().exact;
  }
  return CompiledExpr::Compile(xbe::Str(text), t ? t->Fields() : NoFields(), opt);
}

xbe::EvalContext Here() {
  xbe::RecordSource* t = CurrentTable();
  if (!t) return {};
  return {t->CurrentImage(), t->CurrentRecNo(), t};
}

// Roll-your-own filters: record bitmaps the caller holds by handle.
struct RyoFilter {
  std::vector<uint8_t> bits;
};
std::set<RyoFilter*>& Filters() {
  static std::set<RyoFilter*> all;
  return all;
}
RyoFilter* FilterOf(XbPtr handle) {
  auto* f = reinterpret_cast<RyoFilter*>(handle);
  return Filters().count(f) ? f : nullptr;
}

}  // namespace

extern "C" {

XBAPI XbShort xb_EvalTest(const char* expression) {
  auto e = CompileHere(expression, false);
  return static_cast<XbShort>(e ? static_cast<int>(e->Type()) : 0);
}

XBAPI XbShort xb_EvalLogical(const char* expression) {
  auto e = CompileHere(expression, false);
  return e && e->Type() == ExprType::Logical && e->Logical(Here()) ? -1 : 0;
}

XBAPI double xb_EvalNumeric(const char* expression) {
  auto e = CompileHere(expression, false);
  return e && e->Type() == ExprType::Numeric ? e->Numeric(Here()) : 0.0;
}

XBAPI const char* xb_EvalString(const char* expression) {
  auto e = CompileHere(expression, false);
  return xbe::Ret(e ? e->Text(Here()) : std::string());
}

XBAPI XbLong xb_Query(const char* expression) {
  Orders* o = CurrentOrders();
  if (!o) return 0;
  std::string text = xbe::Str(expression);
  bool clearing = text.find_first_not_of(' ') == std::string::npos;
  if (!o->SetQuery(text)) return 0;  // not a logical expression: the old query stays
  if (clearing) return xb_RecNo();
  xb_GoTop();
  return xb_Eof() ? 0 : xb_RecNo();
}

XBAPI XbShort xb_QueryTest(const char* expression) {
  auto e = CompileHere(expression, true);
  return e && e->Type() == ExprType::Logical ? 1 : 0;
}

XBAPI XbLong xb_QueryRecCount(void) {
  Orders* o = CurrentOrders();
  if (o) return o->QueryCount();
  xbe::RecordSource* t = CurrentTable();
  return t ? t->RecordCount() : 0;
}

XBAPI void xb_QuerySetExact(XbShort on) {
  if (Orders* o = CurrentOrders()) o->SetQueryExact(on != 0);
}

XBAPI const char* xb_DBFilter(void) {
  Orders* o = CurrentOrders();
  if (!o) return "";
  return xbe::Ret(o->QueryActive() ? o->QueryText() : o->FilterText());
}

XBAPI void xb_SetFilter(const char* expression) {
  if (Orders* o = CurrentOrders()) o->SetFilter(xbe::Str(expression));
}

XBAPI XbShort xb_GetQueryBit(XbLong recNo) {
  Orders* o = CurrentOrders();
  return o && o->QueryBit(recNo) ? -1 : 0;
}

XBAPI void xb_SetQueryBit(XbLong recNo, XbShort on) {
  if (Orders* o = CurrentOrders()) o->SetQueryBit(recNo, on != 0);
}

// direction 0: the first match from the top; above 0: the next after the current record;
// below 0: the one before it. A miss leaves the record pointer where it was.
XBAPI XbShort xb_Locate(const char* expression, XbShort direction) {
  xbe::RecordSource* t = CurrentTable();
  if (!t) return 0;
  auto e = CompileHere(expression, true);
  if (!e || e->Type() != ExprType::Logical) return 0;
  XbLong start = xb_RecNo();
  if (direction == 0)
    xb_GoTop();
  else
    xb_Skip(direction > 0 ? 1 : -1);
  for (;;) {
    if (xb_Eof() || (direction < 0 && xb_Bof() && !e->Logical(Here()))) break;
    if (e->Logical(Here())) return -1;
    XbLong before = xb_RecNo();
    xb_Skip(direction < 0 ? -1 : 1);
    if (xb_RecNo() == before) break;
  }
  xb_Go(start);
  return 0;
}

// Queries and filters here never name another table, so there is no foreign alias to give.
XBAPI const char* xb_FilterAlias(void) { return ""; }

// The engine never shows a window: there is no filter dialog to offer.
XBAPI XbShort xb_FilterDlg(XbPtr) { return 0; }

XBAPI XbPtr xb_RYOFilterCreate(void) {
  xbe::RecordSource* t = CurrentTable();
  auto* f = new RyoFilter;
  f->bits.assign(static_cast<std::size_t>(t ? std::max<int32_t>(0, t->RecordCount()) : 0), 0);
  Filters().insert(f);
  return reinterpret_cast<XbPtr>(f);
}

XBAPI void xb_RYOFilterDestroy(XbPtr filter) {
  RyoFilter* f = FilterOf(filter);
  if (!f) return;
  Filters().erase(f);
  delete f;
}

XBAPI void xb_RYOFilterActivate(XbPtr filter) {
  Orders* o = CurrentOrders();
  RyoFilter* f = FilterOf(filter);
  if (o && f) o->ActivateBits(f->bits);
}

XBAPI XbPtr xb_RYOFilterCopy(void) {
  Orders* o = CurrentOrders();
  xbe::RecordSource* t = CurrentTable();
  if (!o || !t) return 0;
  auto* f = new RyoFilter;
  int32_t n = std::max<int32_t>(0, t->RecordCount());
  f->bits.resize(static_cast<std::size_t>(n));
  for (int32_t r = 1; r <= n; ++r) f->bits[static_cast<std::size_t>(r - 1)] = o->QueryBit(r) ? 1 : 0;
  Filters().insert(f);
  return reinterpret_cast<XbPtr>(f);
}

XBAPI XbShort xb_RYOFilterGetBit(XbPtr filter, XbLong recNo) {
  RyoFilter* f = FilterOf(filter);
  if (!f || recNo < 1 || static_cast<std::size_t>(recNo) > f->bits.size()) return 0;
  return f->bits[static_cast<std::size_t>(recNo - 1)] ? -1 : 0;
}

XBAPI void xb_RYOFilterSetBit(XbPtr filter, XbLong recNo, XbShort on) {
  RyoFilter* f = FilterOf(filter);
  if (!f || recNo < 1 || recNo > 0x7FFFFFF) return;
  if (f->bits.size() < static_cast<std::size_t>(recNo)) f->bits.resize(static_cast<std::size_t>(recNo), 0);
  f->bits[static_cast<std::size_t>(recNo - 1)] = on ? 1 : 0;
}

XBAPI XbShort xb_RYOFilterSave(XbPtr filter, const char* fileName) {
  RyoFilter* f = FilterOf(filter);
  if (!f) return 0;
  std::unique_ptr<xbe::File> out = xbe::Fs().Open(xbe::ResolvePath(xbe::Str(fileName)), true, true, false);
  if (!out) return 0;
  std::string data = "ORVRYO1\n";
  data.append(reinterpret_cast<const char*>(f->bits.data()), f->bits.size());
  return out->WriteAt(0, data.data(), data.size()) ? -1 : 0;
}

XBAPI XbShort xb_RYOFilterRestore(XbPtr filter, const char* fileName) {
  RyoFilter* f = FilterOf(filter);
  if (!f) return 0;
  std::unique_ptr<xbe::File> in = xbe::Fs().Open(xbe::ResolvePath(xbe::Str(fileName)), false, false, false);
  if (!in) return 0;
  int64_t size = in->Size();
  if (size < 8 || size > (int64_t(1) << 31)) return 0;
  std::string data(static_cast<std::size_t>(size), '\0');
  if (in->ReadAt(0, data.data(), data.size()) != size || data.compare(0, 8, "ORVRYO1\n") != 0) return 0;
  f->bits.assign(data.begin() + 8, data.end());
  for (auto& b : f->bits) b = b ? 1 : 0;
  return -1;
}

}  // extern "C"

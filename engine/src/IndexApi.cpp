// Entry points of index tags, orders, seek, scopes and order positions; each works on the
// selected work area's Orders and answers neutrally when no table is selected.
#include <string>

#include "engine/include/xbeng61.h"
#include "engine/src/ApiText.h"
#include "engine/src/Contract.h"
#include "engine/src/Expr.h"
#include "engine/src/FileIo.h"
#include "engine/src/Order.h"

namespace {

using xbe::CurrentOrders;
using xbe::Orders;

XbShort Flag(bool b) { return b ? -1 : 0; }

// A text of the single character code 0 counts as not given, like an empty one.
std::string Given(const char* s) {
  std::string t = xbe::Str(s);
  if (t.size() == 1 && t[0] == '\0') t.clear();
  return t;
}

}  // namespace

extern "C" {

XBAPI XbShort xb_IndexTag(const char* fileName, const char* tagName, const char* expression, XbShort option,
                          XbLong descend, const char* condition) {
  Orders* o = CurrentOrders();
  if (!o) return 0;
  std::string expr = Given(expression);
  if (expr.empty() || xbe::TestExpression(expr, o->Table().Fields()) == xbe::ExprType::Invalid) return 0;
  return static_cast<XbShort>(o->IndexTag(Given(fileName), Given(tagName), expr, option, descend != 0, Given(condition)));
}

// A single-tag index file named after the file.
XBAPI XbShort xb_Index(const char* fileName, const char* expression, XbShort option, XbLong descend,
                       const char* condition) {
  std::string file = Given(fileName);
  std::string base = xbe::FileOf(file);
  std::size_t dot = base.find('.');
  if (dot != std::string::npos) base.resize(dot);
  if (base.size() > 10) base.resize(10);
  if (file.empty() || base.empty()) return 0;
  return xb_IndexTag(file.c_str(), base.c_str(), expression, option, descend, condition);
}

XBAPI XbShort xb_IndexOpen(const char* fileName) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->IndexOpen(Given(fileName)) : 0);
}

XBAPI void xb_IndexClose(XbShort order) {
  if (Orders* o = CurrentOrders()) o->IndexClose(order);
}

XBAPI void xb_CloseIndexes(void) {
  if (Orders* o = CurrentOrders()) o->CloseIndexes();
}

// The record pointer stays where it is; only the order of the walk changes.
XBAPI XbShort xb_SetOrder(XbShort order) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->SetOrder(order) : 0);
}

XBAPI XbShort xb_IndexOrd(void) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->ActiveOrder() : 0);
}

XBAPI XbShort xb_IndexFault(void) {
  xbe::OrderHooks* h = xbe::CurrentHooks();
  return static_cast<XbShort>(h ? h->TakeIndexFaults() : 0);
}

XBAPI const char* xb_IndexName(XbShort order) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? o->IndexName(order) : std::string());
}

XBAPI const char* xb_IndexKey(void) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? o->KeyExpression() : std::string());
}

XBAPI const char* xb_IndexKeyField(void) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? xbe::KeyFieldsOfExpression(o->KeyExpression()) : std::string());
}

XBAPI const char* xb_IndexCondition(void) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? o->Condition() : std::string());
}

XBAPI XbShort xb_IndexType(void) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->IndexType() : 0);
}

XBAPI XbShort xb_IndexFlip(void) {
  Orders* o = CurrentOrders();
  return Flag(o && o->FlipActive());
}

XBAPI XbShort xb_TagArea(const char* tagName) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->TagArea(xbe::Str(tagName)) : 0);
}

XBAPI const char* xb_TagName(XbShort order) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? o->TagName(order) : std::string());
}

XBAPI XbShort xb_TagCount(void) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->OrderCount() : 0);
}

XBAPI XbShort xb_TagDelete(const char* tagName) {
  Orders* o = CurrentOrders();
  return Flag(o && o->TagDelete(xbe::Str(tagName)));
}

// "TAG;key expression;condition" of an order (0: the active one).
XBAPI const char* xb_TagInfo(XbShort order) {
  Orders* o = CurrentOrders();
  if (!o) return "";
  int n = order == 0 ? o->ActiveOrder() : order;
  if (n < 1 || n > o->OrderCount()) return "";
  int keep = o->ActiveOrder();
  bool flipped = o->Flipped();
  o->SetOrder(n);
  std::string info = o->TagName(n) + ";" + o->KeyExpression() + ";" + o->Condition();
  if (keep != n) o->SetOrder(keep);
  if (flipped && keep == n && !o->Flipped()) o->FlipActive();
  return xbe::Ret(info);
}

XBAPI void xb_Reindex(void) {
  if (Orders* o = CurrentOrders()) o->Reindex();
}

// Sets the walking direction of the active order (non-zero: descending); returns the
// previous one as -1 or 0.
XBAPI XbLong xb_Descend(XbLong on) {
  Orders* o = CurrentOrders();
  if (!o || o->ActiveOrder() == 0) return 0;
  bool before = o->ActiveOrderDescending();
  if (before != (on != 0)) o->FlipActive();
  return before ? -1 : 0;
}

XBAPI XbShort xb_KeyAdd(const char* tagName) {
  Orders* o = CurrentOrders();
  return Flag(o && o->KeyAdd(xbe::Str(tagName), true));
}

XBAPI XbShort xb_KeyDrop(const char* tagName) {
  Orders* o = CurrentOrders();
  return Flag(o && o->KeyAdd(xbe::Str(tagName), false));
}

XBAPI XbShort xb_RYOKeyAdd(const char* tagName, const char* key, XbLong recNo) {
  Orders* o = CurrentOrders();
  return Flag(o && o->RyoKey(xbe::Str(tagName), xbe::Str(key), recNo, true));
}

XBAPI XbShort xb_RYOKeyDrop(const char* tagName, const char* key, XbLong recNo) {
  Orders* o = CurrentOrders();
  return Flag(o && o->RyoKey(xbe::Str(tagName), xbe::Str(key), recNo, false));
}

XBAPI const char* xb_KeyData(void) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? o->CurrentKey() : std::string());
}

XBAPI XbShort xb_KeyLength(void) {
  Orders* o = CurrentOrders();
  return static_cast<XbShort>(o ? o->KeyLength() : 0);
}

XBAPI XbShort xb_Seek(const char* key) {
  Orders* o = CurrentOrders();
  return Flag(o && o->Seek(xbe::Str(key), false));
}

XBAPI XbShort xb_SeekBin(const void* key, XbShort length) {
  Orders* o = CurrentOrders();
  if (!o || !key || length < 0) return 0;
  return Flag(o->Seek(std::string(static_cast<const char*>(key), static_cast<std::size_t>(length)), true));
}

XBAPI XbShort xb_Found(void) {
  Orders* o = CurrentOrders();
  return Flag(o && o->Found());
}

XBAPI XbShort xb_SetScope(const char* low, const char* high) {
  Orders* o = CurrentOrders();
  return Flag(o && o->SetScope(xbe::Str(low), xbe::Str(high)));
}

XBAPI const char* xb_GetScope(XbShort which) {
  Orders* o = CurrentOrders();
  return xbe::Ret(o ? o->Scope(which) : std::string());
}

XBAPI double xb_OrderPosGet(void) {
  Orders* o = CurrentOrders();
  xbe::RecordSource* t = xbe::CurrentTable();
  if (!o || !t) return 0.0;
  return o->PositionOf(t->CurrentRecNo());
}

XBAPI void xb_OrderPosSet(double position) {
  Orders* o = CurrentOrders();
  if (!o) return;
  XbLong r = o->RecordAt(position);
  if (r > 0) xb_Go(r);
}

XBAPI XbLong xb_OrderRecNo(double position) {
  Orders* o = CurrentOrders();
  return o ? o->RecordAt(position) : 0;
}

// Relations between work areas are not kept: a child is never moved behind the caller's
// back, so the call reports that nothing was set.
XBAPI XbShort xb_SetRelation(const char*, const char*) { return 0; }

}  // extern "C"

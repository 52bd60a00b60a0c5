// The add-on's binding to the engine library: the entry points it reads tables with, loaded at
// run time from beside the add-on (the same library instance the program has loaded), and the
// guard that leaves the engine's selection and deleted-record setting as a call found them.
#pragma once

#include <string>

#include "engine/include/xbeng61.h"

namespace xbsql {

#define XBSQL_ENGINE_NAMES(X)                                                                  \
  X(xb_UseEx) X(xb_Close) X(xb_Select) X(xb_GoTop) X(xb_Skip) X(xb_Eof) X(xb_RecNo)            \
  X(xb_RecCount) X(xb_RecSize) X(xb_GetRecord) X(xb_FieldCount) X(xb_FieldName)                \
  X(xb_FieldType) X(xb_FieldWidth) X(xb_FieldDecimals) X(xb_FieldOffset) X(xb_GetBlobLength)   \
  X(xb_GetBlobEx) X(xb_TagCount) X(xb_TagInfo) X(xb_SetOrder) X(xb_SetScope) X(xb_SysProp)    \
  X(xb_SetDeleted) X(xb_IndexOpen) X(xb_IndexType)

struct EngineLink {
#define XBSQL_SLOT(name) decltype(&::name) name = nullptr;
  XBSQL_ENGINE_NAMES(XBSQL_SLOT)
#undef XBSQL_SLOT
};

// The bound engine, loaded on first need; nullptr (and Error says why) when it cannot be had.
const EngineLink* Engine(std::string& Error);

// Engine system property that copies the 256-byte character order into a buffer.
constexpr XbShort kReadCollation = 1102;
// Engine system property that answers whether deleted records are hidden.
constexpr XbShort kDeletedHidden = 1006;

// For the length of one add-on call: deleted records hidden or shown as the statement says,
// and afterwards the program's own selection and setting back in place.
class EngineScope {
 public:
  EngineScope(const EngineLink& E, bool HideDeleted);
  ~EngineScope();
  EngineScope(const EngineScope&) = delete;
  EngineScope& operator=(const EngineScope&) = delete;

 private:
  const EngineLink& FEngine;
  XbShort FSelected;
  bool FWasHidden;
};

}  // namespace xbsql

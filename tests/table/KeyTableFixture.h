// Test fixture for the table dataset's key work (orders, scopes, seeks, queries, locks,
// master/detail): the real engine library beside the tests, and small tables written
// straight through the engine-call layer, so a test's file exists before any TXbTable
// touches it.
//
//   TableFile f = CreateTable("notes", {{"TIT1", "C", 10}}, {{"hdr"}, {"b"}}, true);
//   auto t = OpenTable(f.Path);   // shared, ttXBNSX
//
// With Header set, record 1 is marked deleted, as in the application's note files.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"
#include "platform/core/FakeServices.h"
#include "platform/core/Fields.h"
#include "platform/core/SysUtils.h"
#include "table/XbDispatch.h"
#include "table/XbEngine.h"
#include "table/XbTable.h"

namespace keytable {

struct Folder {
  Folder() {
    char tmpl[] = "/tmp/orv-keys-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    Path = dir ? dir : "";
  }
  ~Folder() {
    if (!Path.empty()) std::filesystem::remove_all(Path);
  }
  std::string Path;
};

struct ColumnDef {
  std::string Name;
  std::string Type;
  XbShort Width;
  XbShort Decimals = 0;
};

// One value per field, as text; dates as "yyyymmdd" (empty for no date), and an empty text
// leaves a field blank.
using Row = std::vector<std::string>;

// The Julian day number of a "yyyymmdd" date, as the engine's date code takes it.
inline int32_t JulianOf(const std::string& Yyyymmdd) {
  const TDateTime d = EncodeDate(StrToInt(Yyyymmdd.substr(0, 4)), StrToInt(Yyyymmdd.substr(4, 2)),
                                 StrToInt(Yyyymmdd.substr(6, 2)));
  return DateToDayNumber(d) + 1721425;
}

class KeyTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseEngine();
    services.Loader.PointAtFolder(std::string(ORV_BINARY_DIR) + "/bin");
    EnsureEngineLoaded();
    ASSERT_TRUE(XbEngineReady());
    SetSortTable();
    XbCall(&XbEntryPoints::xb_SetDeleted, XbShort{-1});
    XbCall(&XbEntryPoints::xb_SetSoftSeek, XbShort{0});
  }
  void TearDown() override {
    tables.clear();
    XbCall(&XbEntryPoints::xb_SetSoftSeek, XbShort{0});
    ReleaseEngine();
  }

  // Writes Folder/Name.dbf (memo and no index) with Fields and Rows.
  std::string CreateTable(const std::string& Name, const std::vector<ColumnDef>& Fields,
                          const std::vector<Row>& Rows, bool Header = false,
                          const std::string& Sub = "") {
    std::string dir = folder.Path;
    if (!Sub.empty()) {
      dir += "/" + Sub;
      std::filesystem::create_directories(dir);
    }
    const std::string file = dir + "/" + Name + ".dbf";
    TXbDispatch d;
    const XbShort handle =
        d.xb_CreateNew(file, "MAKE", XB_TT_NSX, static_cast<XbShort>(Fields.size()));
    EXPECT_NE(handle, 0) << file;
    d.xb_Select(handle);
    for (const ColumnDef& f : Fields) d.xb_CreateField(f.Name, f.Type, f.Width, f.Decimals);
    EXPECT_EQ(d.xb_CreateExec(), -1);
    d.xb_Close();
    d.WorkArea = d.xb_UseEx(file, "MAKE", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
    EXPECT_GT(d.WorkArea, 0);
    d.SelectWorkArea();
    for (const Row& row : Rows) {
      d.xb_AppendBlank();
      for (std::size_t i = 0; i < row.size() && i < Fields.size(); ++i) {
        if (row[i].empty()) continue;
        if (Fields[i].Type == "D") {
          const int32_t j = JulianOf(row[i]);
          d.xb_Replace(Fields[i].Name, XB_RT_JULIAN, &j);
        } else if (Fields[i].Type == "M") {
          d.xb_Replace(Fields[i].Name, XB_RT_MEMO, row[i].c_str());
        } else {
          d.xb_Replace(Fields[i].Name, XB_RT_TEXT, row[i].c_str());
        }
      }
      d.xb_Commit();
    }
    if (Header && !Rows.empty()) {
      d.xb_Go(1);
      d.xb_Delete();
      d.xb_Commit();
    }
    d.xb_Close();
    return file;
  }

  // A table component on File, opened (shared unless Exclusive).
  TXbTable& OpenTable(const std::string& File, bool Exclusive = false, bool Open = true) {
    tables.push_back(std::make_unique<TXbTable>());
    TXbTable& t = *tables.back();
    t.SetTableType(ttXBNSX);
    t.SetTableName(File);
    t.SetExclusive(Exclusive);
    if (Open) t.Open();
    return t;
  }

  // The trimmed TIT1 of every record in view, first to last, through the dataset.
  static std::vector<std::string> Titles(TXbTable& t, const std::string& Field = "TIT1") {
    std::vector<std::string> seen;
    t.First();
    while (!t.Eof()) {
      seen.push_back(TrimRight(t.FieldByName(Field)->AsString()));
      t.Next();
    }
    return seen;
  }

  // The message of the EXbError that Action raises, or "" when it raises none.
  template <typename F>
  static std::string XbMessage(F&& Action) {
    try {
      Action();
    } catch (const EXbError& e) {
      return e.Message;
    }
    return std::string();
  }

  TFakeServices services;
  Folder folder;
  std::vector<std::unique_ptr<TXbTable>> tables;
};

}  // namespace keytable

// The engine binding: load once, report a missing or incomplete library every time it is
// needed, never call into a library that is not bound, and the real engine library.
#include <dlfcn.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "EngineFixture.h"
#include "remote/XbAddOns.h"
#include "table/XbDispatch.h"

namespace {

const char kLoadFailure[] = "Unable to load required Xb DLL: XBENG61.DLL";

// A fresh empty folder, removed with everything in it at the end of the test.
struct TempFolder {
  TempFolder() {
    char tmpl[] = "/tmp/orv-table-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    Path = dir ? dir : "";
  }
  ~TempFolder() {
    if (!Path.empty()) std::filesystem::remove_all(Path);
  }
  std::string Path;
};

// Every dispatch answer while nothing is bound is the neutral one.
void ExpectNeutralAnswers() {
  TXbDispatch table;
  EXPECT_EQ(table.xb_Rlock(1), 0);
  EXPECT_EQ(table.xb_RecCount(), 0);
  EXPECT_EQ(table.xb_GetMemo("MMM"), "");
  EXPECT_EQ(table.xb_Version(), "");
  EXPECT_EQ(table.xb_UseEx("x.dbf", "X", 0, 3, 0), 0);
  table.xb_GoTop();
  EXPECT_EQ(table.CurrentRecNo, 1);
}

}  // namespace

TEST_F(EngineTest, MissingLibraryIsReportedOnEveryAttempt) {
  TempFolder empty;
  services.Loader.PointAtFolder(empty.Path);
  EnsureEngineLoaded();
  EnsureEngineLoaded();
  ASSERT_EQ(services.Boxes.size(), 2u);
  for (const TMessageBoxCall& box : services.Boxes) {
    EXPECT_EQ(box.Text, kLoadFailure);
    EXPECT_EQ(box.Flags, unsigned(MB_OK | MB_ICONERROR));
  }
  EXPECT_EQ(services.TerminateRequests, 2);
  EXPECT_TRUE(TerminateRequested());
  EXPECT_FALSE(EngineLoadedSwitch());
  EXPECT_FALSE(XbEngineReady());
  ExpectNeutralAnswers();
}

TEST_F(EngineTest, LibraryWithoutTheLastNameCountsAsNotLoaded) {
  LoadFake({"xb_GetDateFormat"});
  EXPECT_FALSE(XbEngineReady());
  EXPECT_FALSE(EngineLoadedSwitch());
  ASSERT_EQ(services.Boxes.size(), 1u);
  EXPECT_EQ(services.Boxes[0].Text, kLoadFailure);
  EXPECT_EQ(services.TerminateRequests, 1);
  // The half-bound library was released and nothing in it was called.
  EXPECT_EQ(services.Loader.OpenHandles(), 0);
  EXPECT_TRUE(engine.Calls.empty());
  ExpectNeutralAnswers();
  EXPECT_TRUE(engine.Calls.empty());
  EnsureEngineLoaded();
  EXPECT_EQ(services.Boxes.size(), 2u);
}

TEST_F(EngineTest, LoadsOnceAndSortTableOnlySendsTheCollation) {
  LoadFake();
  EnsureEngineLoaded();
  EXPECT_TRUE(XbEngineReady());
  EXPECT_TRUE(EngineLoadedSwitch());
  EXPECT_EQ(services.Loader.Opened.size(), 1u);
  EXPECT_TRUE(services.Boxes.empty());
  EXPECT_EQ(services.TerminateRequests, 0);
  EXPECT_EQ(engine.CallsOf(),
            (std::vector<std::string>{"xb_SetStringType(1)", "xb_SetGaugePoster(fn)"}));

  engine.Clear();
  SetSortTable();
  EXPECT_EQ(services.Loader.Opened.size(), 1u);
  EXPECT_EQ(engine.CallsOf(), (std::vector<std::string>{"xb_SysProp(1101, table)"}));
  ASSERT_EQ(engine.CollationTable.size(), 256u);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(static_cast<unsigned char>(engine.CollationTable[i]), i) << "byte " << i;
}

TEST_F(EngineTest, SortTableLoadsTheEngineWhenNeeded) {
  services.Loader.AddLibrary("XBENG61.DLL", engine.Symbols());
  SetSortTable();
  EXPECT_TRUE(XbEngineReady());
  EXPECT_EQ(engine.Count("xb_SysProp"), 1);
}

TEST_F(EngineTest, GaugeCodesAreSentToTheHookedWindow) {
  LoadFake();
  ASSERT_NE(engine.GaugePoster, nullptr);
  engine.GaugePoster(0x4242, XB_GAUGE_CODE(40));
  ASSERT_EQ(services.SentKeys.size(), 1u);
  EXPECT_EQ(services.SentKeys[0].Window, 0x4242);
  EXPECT_EQ(services.SentKeys[0].Key, uint16_t(-40));
  EXPECT_NE(services.SentKeys[0].Key & 0x7000, 0);
}

TEST_F(EngineTest, LibraryWithoutOurExtrasStillLoads) {
  LoadFake({}, false);
  EXPECT_TRUE(XbEngineReady());
  EXPECT_EQ(XbApi.xb_GetBlobEx, nullptr);
  EXPECT_EQ(engine.CallsOf(), (std::vector<std::string>{"xb_SetStringType(1)"}));
}

TEST_F(EngineTest, ReleaseFreesTheLibraryAndTheNextNeedLoadsAgain) {
  LoadFake();
  ReleaseEngine();
  EXPECT_FALSE(XbEngineReady());
  EXPECT_EQ(services.Loader.OpenHandles(), 0);
  EXPECT_EQ(XbApi.xb_RecNo, nullptr);
  engine.Clear();
  ExpectNeutralAnswers();
  EXPECT_TRUE(engine.Calls.empty());
  EnsureEngineLoaded();
  EXPECT_TRUE(XbEngineReady());
  EXPECT_EQ(services.Loader.Opened.size(), 2u);
}

// The add-on libraries: a missing one shows its own box; one that lacks a name raises.
TEST_F(EngineTest, AddOnLoaders) {
  TempFolder empty;
  services.Loader.PointAtFolder(empty.Path);
  LoadSqlEngine();
  ASSERT_EQ(services.Boxes.size(), 1u);
  EXPECT_EQ(services.Boxes[0].Text,
            "Missing required RavavaDIV61.DLL.\r\rXb SQL is a SQL add-on engine for Xb.\r"
            "Visit the engine's distribution to get your copy.");
  EXPECT_EQ(services.TerminateRequests, 1);
  EXPECT_FALSE(XbSqlAddOn().Loaded);

  static int dummy;
  TFakeLibraryLoader::TSymbolTable crypt = {{"CompressStream", &dummy},
                                            {"UnCompressStream", &dummy},
                                            {"SetCompressionPassword", &dummy}};
  services.Loader.AddLibrary("ZavuraDadiz.DLL", crypt);
  EXPECT_THROW(LoadCryptEngine(), EAssertionFailed);
  EXPECT_FALSE(XbCryptAddOn().Loaded);
  EXPECT_EQ(services.Loader.OpenHandles(), 0);

  crypt["SetCompressionLevel"] = &dummy;
  services.Loader.AddLibrary("ZavuraDadiz.DLL", crypt);
  LoadCryptEngine();
  LoadCryptEngine();
  EXPECT_TRUE(XbCryptAddOn().Loaded);
  EXPECT_EQ(reinterpret_cast<void*>(XbCryptAddOn().SetCompressionLevel), static_cast<void*>(&dummy));
  UnloadCryptEngine();
  EXPECT_FALSE(XbCryptAddOn().Loaded);
  EXPECT_EQ(services.Loader.OpenHandles(), 0);
}

// The real engine library next to the test program: it loads when it exports every name,
// and takes the load-failure path when it does not.
TEST_F(EngineTest, RealEngineLibrary) {
  const std::string bin = std::string(ORV_BINARY_DIR) + "/bin";
  const std::string path = bin + "/libxbeng61.so";
  void* probe = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(probe, nullptr) << "the engine library is built beside the tests: " << path;
  int missing = 0;
#define ORV_PROBE(name) missing += dlsym(probe, #name) == nullptr ? 1 : 0;
  XB_ENTRY_POINTS(ORV_PROBE)
#undef ORV_PROBE
  dlclose(probe);

  services.Loader.PointAtFolder(bin);
  EnsureEngineLoaded();
  if (missing > 0) {
    EXPECT_FALSE(XbEngineReady()) << missing << " names missing";
    ASSERT_EQ(services.Boxes.size(), 1u);
    EXPECT_EQ(services.Boxes[0].Text, kLoadFailure);
    return;
  }
  ASSERT_TRUE(XbEngineReady());
  EXPECT_TRUE(services.Boxes.empty());
  SetSortTable();
  TXbDispatch table;
  EXPECT_FALSE(table.xb_Version().empty());

  // A note-file-like table through the local route: argument orders and results agree
  // with the real library.
  TempFolder folder;
  const std::string file = folder.Path + "/orvel.dbf";
  XbShort creating = table.xb_CreateNew(file, "ORVEL", XB_TT_NSX, 2);
  ASSERT_NE(creating, 0);
  table.xb_CreateField("TIT1", "C", 20, 0);
  table.xb_CreateField("MMM", "M", 10, 0);
  EXPECT_EQ(table.xb_CreateExec(), -1);
  table.xb_Close();
  EXPECT_EQ(table.FileExists(file), -1);

  table.WorkArea = table.xb_UseEx(file, "ORVEL", XB_OPEN_SHARED, XB_TT_NSX, 0);
  ASSERT_GT(table.WorkArea, 0);
  table.SelectWorkArea();
  EXPECT_EQ(table.xb_Alias(table.WorkArea), "ORVEL");
  EXPECT_EQ(table.xb_WorkArea("ORVEL"), table.WorkArea);
  EXPECT_EQ(table.xb_FieldType("TIT1"), "C");
  EXPECT_EQ(table.xb_FieldWidth("TIT1"), 20);
  table.xb_AppendBlank();
  EXPECT_EQ(table.CurrentRecNo, 1);
  EXPECT_EQ(table.CachedRecCount, 1);
  EXPECT_EQ(table.xb_Rlock(1), -1);
  const char title[] = "\xb0\xa1\xb3\xaa note";  // two Hangul syllables, then ASCII
  table.xb_Replace("TIT1", XB_RT_TEXT, title);
  table.xb_Replace("MMM", XB_RT_MEMO, "first body");
  table.xb_Commit();
  table.xb_Unlock(0);
  table.xb_GoTop();
  EXPECT_EQ(table.xb_RecNo(), 1);
  EXPECT_EQ(table.xb_GetTrimString("TIT1"), title);
  EXPECT_EQ(table.xb_GetString("TIT1").size(), 20u);
  EXPECT_EQ(table.xb_GetMemo("MMM"), "first body");
  table.RecordSize = XbCall(&XbEntryPoints::xb_RecSize);
  EXPECT_EQ(table.RecordSize, 1 + 20 + 10);
  table.xb_GetRecord();
  EXPECT_EQ(std::string(table.RecordImage.data() + 1, 2), "\xb0\xa1");
  EXPECT_EQ(table.xb_Eof(), 0);
  table.xb_Skip(1);
  EXPECT_EQ(table.xb_Eof(), -1);
  table.xb_Close();
}

// With the plain byte order, keys with bytes above 0x7F sort after every ASCII key, and
// among themselves by their bytes.
TEST_F(EngineTest, SortTableGivesByteOrderKeys) {
  services.Loader.PointAtFolder(std::string(ORV_BINARY_DIR) + "/bin");
  TXbDispatch table;
  // Start from another order, so that the byte order below is SetSortTable's doing.
  unsigned char reversed[256];
  for (int i = 0; i < 256; ++i) reversed[i] = static_cast<unsigned char>(255 - i);
  table.xb_SysProp(1101, reinterpret_cast<XbPtr>(reversed));
  ASSERT_TRUE(XbEngineReady());
  SetSortTable();
  EXPECT_EQ(services.Loader.Opened.size(), 1u);

  TempFolder folder;
  const std::string file = folder.Path + "/keys.dbf";
  ASSERT_NE(table.xb_CreateNew(file, "KEYS", XB_TT_NSX, 1), 0);
  table.xb_CreateField("TIT1", "C", 10, 0);
  ASSERT_EQ(table.xb_CreateExec(), -1);
  table.xb_Close();
  table.WorkArea = table.xb_UseEx(file, "KEYS", XB_OPEN_EXCLUSIVE, XB_TT_NSX, 0);
  ASSERT_GT(table.WorkArea, 0);
  table.SelectWorkArea();
  const std::vector<std::string> keys = {"\xb0\xa1", "b", "~", "\x81\x41", "A", "z", "\xc7\xd1"};
  for (const std::string& k : keys) {
    table.xb_AppendBlank();
    table.xb_Replace("TIT1", XB_RT_TEXT, k.c_str());
    table.xb_Commit();
  }
  ASSERT_EQ(table.xb_IndexTag("", "TIT1", "TIT1", 0, false, ""), 1);
  EXPECT_EQ(table.CurrentOrder, 1);
  std::vector<std::string> seen;
  for (table.xb_GoTop(); !table.xb_Eof(); table.xb_Skip(1))
    seen.push_back(table.xb_GetTrimString("TIT1"));
  EXPECT_EQ(seen, (std::vector<std::string>{"A", "b", "z", "~", "\x81\x41", "\xb0\xa1",
                                            "\xc7\xd1"}));
  table.xb_Close();
}

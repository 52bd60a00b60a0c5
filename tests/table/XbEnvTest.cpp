// The engine environment (setter routes, defaults, date formats, table refresh), the
// database list and alias folders, and the walk over data modules and forms.
#include <gtest/gtest.h>

#include <functional>

#include "EngineFixture.h"
#include "FakeConnection.h"
#include "table/XbDatabase.h"
#include "table/XbDispatch.h"
#include "table/XbEnv.h"
#include "table/XbSearch.h"

namespace {

using Calls = std::vector<std::string>;

// A table as the environment and the walk see it.
class TTestTable : public TComponent, public TXbDispatch {
 public:
  using TComponent::TComponent;
  bool Active = false;
  int Refreshes = 0;
  bool DispatchActive() const override { return Active; }
  void RefreshFromEnvironment() override { ++Refreshes; }
};
class TTestTableDescendant : public TTestTable {
 public:
  using TTestTable::TTestTable;
};

class TTestFrame : public TComponent {
 public:
  using TComponent::TComponent;
  bool IsFrame() const override { return true; }
};

class EnvTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    saved = FormatSettings;
    services.Loader.AddLibrary("XBENG61.DLL", engine.Symbols());
  }
  void TearDown() override {
    FormatSettings = saved;
    EngineTest::TearDown();
  }
  TFormatSettings saved;
};

struct SetterCase {
  const char* what;
  std::function<void(TXbEnv&)> write;
  Calls engineCalls;
  Calls serverCalls;
  // True when the env holds the written value.
  std::function<bool(const TXbEnv&)> stored;
};

const std::vector<SetterCase>& SetterCases() {
  static const std::vector<SetterCase> cases = {
      {"Century", [](TXbEnv& e) { e.SetCentury(false); }, {"xb_SetCentury(0)"},
       {"SetCentury(0)"}, [](const TXbEnv& e) { return !e.Century(); }},
      {"DateFormat applies Century again",
       [](TXbEnv& e) { e.SetDateFormat(dfGerman); },
       {"xb_SetDateFormat(4)", "xb_SetCentury(-1)"}, {"SetDateFormat(4)", "SetCentury(-1)"},
       [](const TXbEnv& e) { return e.DateFormat() == dfGerman; }},
      {"DateFormat code is the ordinal", [](TXbEnv& e) { e.SetDateFormat(dfAmerican); },
       {"xb_SetDateFormat(0)", "xb_SetCentury(-1)"}, {"SetDateFormat(0)", "SetCentury(-1)"},
       [](const TXbEnv& e) { return e.DateFormat() == dfAmerican; }},
      {"Deleted", [](TXbEnv& e) { e.SetDeleted(true); }, {"xb_SetDeleted(-1)"},
       {"SetDeleted(-1)"}, [](const TXbEnv& e) { return e.Deleted(); }},
      {"Epoch", [](TXbEnv& e) { e.SetEpoch(2000); }, {"xb_SetEpoch(2000)"}, {"SetEpoch(2000)"},
       [](const TXbEnv& e) { return e.Epoch() == 2000; }},
      {"Exact", [](TXbEnv& e) { e.SetExact(true); }, {"xb_SetExact(-1)"}, {"SetExact(-1)"},
       [](const TXbEnv& e) { return e.Exact(); }},
      {"SoftSeek", [](TXbEnv& e) { e.SetSoftSeek(true); }, {"xb_SetSoftSeek(-1)"},
       {"SetSoftSeek(-1)"}, [](const TXbEnv& e) { return e.SoftSeek(); }},
      {"LockTimeOut", [](TXbEnv& e) { e.SetLockTimeOut(5); }, {"xb_SetLockTimeout(5)"},
       {"SetLockTimeOut(5)"}, [](const TXbEnv& e) { return e.LockTimeOut() == 5; }},
      {"MemoBlockSize", [](TXbEnv& e) { e.SetMemoBlockSize(512); },
       {"xb_SetMemoBlockSize(512)"}, {"SetMemoBlockSize(512)"},
       [](const TXbEnv& e) { return e.MemoBlockSize() == 512; }},
  };
  return cases;
}

}  // namespace

TEST_F(EnvTest, Defaults) {
  TXbEnv env;
  EXPECT_EQ(env.ApplyTo(), TXbApplyTo(atLocal));
  EXPECT_EQ(env.XbConnection(), nullptr);
  EXPECT_TRUE(env.AutoRefresh);
  EXPECT_TRUE(env.Century());
  EXPECT_EQ(env.DateFormat(), dfWinDefault);
  EXPECT_FALSE(env.Deleted());
  EXPECT_EQ(env.Epoch(), 1980);
  EXPECT_FALSE(env.Exact());
  EXPECT_FALSE(env.SoftSeek());
  EXPECT_EQ(env.LockTimeOut(), 1);
  EXPECT_EQ(env.MemoBlockSize(), 64);
  EXPECT_FALSE(env.OptimisticBuffer());
  EXPECT_EQ(env.ErrorFunc(), -1);
  EXPECT_FALSE(env.CountNeedsRefresh());
  EXPECT_EQ(env.ErrorLevel(), 0);
  // Creating the component loads nothing.
  EXPECT_TRUE(services.Loader.Opened.empty());
}

TEST_F(EnvTest, SettersFollowApplyTo) {
  struct Route {
    const char* what;
    TXbApplyTo applyTo;
    bool connectionActive;
    bool local, server, stores;
  };
  const Route routes[] = {
      {"local", atLocal, true, true, false, true},
      {"server", atServer, true, false, true, true},
      {"both", atLocal | atServer, true, true, true, true},
      {"server, not connected", atServer, false, false, false, true},
      {"nowhere", 0, true, false, false, false},
  };
  for (const SetterCase& c : SetterCases()) {
    for (const Route& r : routes) {
      SCOPED_TRACE(std::string(c.what) + " / " + r.what);
      TRecordingConnection connection;
      connection.IsActive = r.connectionActive;
      TXbEnv env;
      env.SetApplyTo(r.applyTo);
      env.SetXbConnection(&connection);
      EnsureEngineLoaded();
      engine.Clear();
      c.write(env);
      EXPECT_EQ(engine.Calls, r.local ? c.engineCalls : Calls{});
      EXPECT_EQ(connection.Calls, r.server ? c.serverCalls : Calls{});
      EXPECT_EQ(c.stored(env), r.stores);
    }
  }
}

TEST_F(EnvTest, ALocalSetterLoadsTheEngine) {
  TXbEnv env;
  env.SetExact(true);
  EXPECT_TRUE(XbEngineReady());
  EXPECT_EQ(engine.CallsOf("xb_SetExact"), Calls{"xb_SetExact(-1)"});
}

TEST_F(EnvTest, EpochIsClamped) {
  const std::pair<int, int> cases[] = {{0, 1900},     {50, 100},   {-5, 100},  {99, 100},
                                       {100, 100},    {1990, 1990}, {2999, 2999}, {3000, 2999}};
  TXbEnv env;
  EnsureEngineLoaded();
  for (auto [written, kept] : cases) {
    SCOPED_TRACE(written);
    engine.Clear();
    env.SetEpoch(written);
    EXPECT_EQ(env.Epoch(), kept);
    EXPECT_EQ(engine.CallsOf(), Calls{"xb_SetEpoch(" + std::to_string(kept) + ")"});
  }
}

TEST_F(EnvTest, UnchangedValuesAreSentOnlyBySomeSetters) {
  TXbEnv env;
  env.SetSoftSeek(true);
  env.SetSoftSeek(true);
  env.SetExact(false);
  env.SetLockTimeOut(1);
  env.SetMemoBlockSize(64);
  env.SetCentury(true);
  env.SetDeleted(false);
  env.SetEpoch(1980);
  EXPECT_EQ(engine.CallsOf(), (Calls{"xb_SetStringType(1)", "xb_SetGaugePoster(fn)",
                                     "xb_SetSoftSeek(-1)", "xb_SetCentury(-1)",
                                     "xb_SetDeleted(0)", "xb_SetEpoch(1980)"}));
}

TEST_F(EnvTest, DateFormatsSetTheShortDateFormat) {
  struct Case {
    TXbDateFrmt format;
    bool century;
    char separator;
    const char* shortFormat;
  };
  const Case cases[] = {
      {dfAmerican, false, '/', "mm/dd/yy"}, {dfAnsi, true, '.', "yyyy.mm.dd"},
      {dfBritish, false, '/', "dd/mm/yy"},  {dfFrench, true, '/', "dd/mm/yyyy"},
      {dfGerman, true, '.', "dd.mm.yyyy"},  {dfItalian, false, '-', "dd-mm-yy"},
      {dfSpanish, true, '-', "dd-mm-yyyy"},
      {dfWinDefault, false, SystemFormatSettings().DateSeparator,
       SystemFormatSettings().ShortDateFormat.c_str()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shortFormat);
    TXbEnv env;
    env.SetCentury(c.century);
    engine.Clear();
    env.SetDateFormat(c.format);
    EXPECT_EQ(FormatSettings.DateSeparator, c.separator);
    EXPECT_EQ(FormatSettings.ShortDateFormat, c.shortFormat);
    EXPECT_EQ(engine.CallsOf("xb_SetDateFormat"),
              Calls{"xb_SetDateFormat(" + std::to_string(c.format == dfWinDefault ? 99 : c.format) +
                    ")"});
  }
}

TEST_F(EnvTest, CenturyWidensAndNarrowsTheYearInPlace) {
  TXbEnv env;
  FormatSettings.ShortDateFormat = "yyyy/mm/dd";
  env.SetCentury(false);
  EXPECT_EQ(FormatSettings.ShortDateFormat, "yy/mm/dd");
  env.SetCentury(true);
  EXPECT_EQ(FormatSettings.ShortDateFormat, "yyyy/mm/dd");
  env.SetCentury(true);
  EXPECT_EQ(FormatSettings.ShortDateFormat, "yyyy/mm/dd");
}

TEST_F(EnvTest, OptimisticBufferIsLocalOnly) {
  engine.Ints["xb_SysProp"] = 1;
  TXbEnv env;
  env.SetOptimisticBuffer(true);
  EXPECT_TRUE(env.OptimisticBuffer());
  EXPECT_EQ(engine.CallsOf("xb_SysProp"), (Calls{"xb_SysProp(1009, -1)", "xb_SysProp(1008, 0)"}));

  TRecordingConnection connection;
  TXbEnv remote;
  remote.SetApplyTo(atServer);
  remote.SetXbConnection(&connection);
  engine.Clear();
  remote.SetOptimisticBuffer(true);
  EXPECT_FALSE(remote.OptimisticBuffer());
  EXPECT_TRUE(engine.Calls.empty());
  EXPECT_TRUE(connection.Calls.empty());
  // The flag reads false as soon as the local route is gone.
  env.SetApplyTo(atServer);
  EXPECT_FALSE(env.OptimisticBuffer());
}

TEST_F(EnvTest, LoadedStepLoadsTheEngineOnlyForTheLocalRouteAlone) {
  TComponent form;
  TXbEnv* both = new TXbEnv(&form);
  both->SetApplyTo(atLocal | atServer);
  form.BeginLoading();
  form.EndLoading();
  EXPECT_FALSE(XbEngineReady());
  new TXbEnv(&form);
  form.BeginLoading();
  form.EndLoading();
  EXPECT_TRUE(XbEngineReady());
}

TEST_F(EnvTest, VisibleRecordChangesRefreshActiveTables) {
  TComponent form;
  RegisterForm(&form);
  TXbEnv* env = new TXbEnv(&form);
  TTestTable* open = new TTestTable(&form);
  TTestTable* closed = new TTestTable(&form);
  TTestTableDescendant* derived = new TTestTableDescendant(&form);
  open->Active = derived->Active = true;

  env->SetDeleted(true);
  env->SetCentury(false);
  env->SetDateFormat(dfGerman);  // Century is off: one refresh of its own
  env->SetEpoch(2000);           // no refresh
  env->SetSoftSeek(true);        // no refresh
  EXPECT_EQ(open->Refreshes, 3);
  EXPECT_EQ(derived->Refreshes, 3);
  EXPECT_EQ(closed->Refreshes, 0);

  env->AutoRefresh = false;
  env->SetDeleted(false);
  EXPECT_EQ(open->Refreshes, 3);
}

TEST_F(EnvTest, ARemovedConnectionIsForgotten) {
  TComponent form;
  TXbEnv env;
  TRecordingConnection* connection = new TRecordingConnection(&form);
  env.SetXbConnection(connection);
  delete connection;
  EXPECT_EQ(env.XbConnection(), nullptr);
  env.SetApplyTo(atServer);
  env.SetDeleted(true);  // nothing left to reach
  EXPECT_TRUE(env.Deleted());
}

TEST(XbSearchObject, WalksModulesThenFormsOnce) {
  TComponent module, form, other;
  RegisterDataModule(&module);
  RegisterForm(&form);
  RegisterForm(&other);
  TTestTable* inModule = new TTestTable(&module);
  new TComponent(&form);
  TTestTable* first = new TTestTable(&form);
  TTestFrame* frame = new TTestFrame(&form);
  TTestTable* inFrame1 = new TTestTable(frame);
  TTestTable* inFrame2 = new TTestTableDescendant(frame);
  TTestTable* second = new TTestTable(&form);
  TTestTable* onOther = new TTestTable(&other);

  TXbSearchObject search;
  std::vector<TTestTable*> found;
  for (TTestTable* t = search.FindFirst<TTestTable>(); t; t = search.FindNext<TTestTable>())
    found.push_back(t);
  EXPECT_EQ(found, (std::vector<TTestTable*>{inModule, first, inFrame1, inFrame2, second,
                                              onOther}));
  EXPECT_EQ(search.FindNext<TTestTable>(), nullptr);
  EXPECT_EQ(search.FindNext<TTestTable>(), nullptr);
  // FindFirst starts over.
  EXPECT_EQ(search.FindFirst<TTestTable>(), inModule);
  EXPECT_EQ(search.FindFirst<TXbEnv>(), nullptr);
}

TEST(XbSearchObject, ThreeTablesModuleFirst) {
  TComponent module, form;
  RegisterDataModule(&module);
  RegisterForm(&form);
  TTestTable* a = new TTestTable(&form);
  TTestTable* b = new TTestTable(&form);
  TTestTable* m = new TTestTable(&module);
  TXbSearchObject search;
  EXPECT_EQ(search.FindFirst<TTestTable>(), m);
  EXPECT_EQ(search.FindNext<TTestTable>(), a);
  EXPECT_EQ(search.FindNext<TTestTable>(), b);
  EXPECT_EQ(search.FindNext<TTestTable>(), nullptr);
}

TEST(XbDatabase, ListAndAliases) {
  TapdbStringList& list = GetDatabaseList();
  const int before = list.Count();
  TComponent module;
  RegisterDataModule(&module);
  TXbDatabase* notes = new TXbDatabase(&module);
  notes->DataPathAlias = "Notes";
  notes->DataPath = "/data/notes";
  TXbDatabase* work = new TXbDatabase(&module);
  work->DataPathAlias = "WORK";
  EXPECT_EQ(list.Count(), before + 2);
  EXPECT_EQ(list.IndexOf(notes), before);

  EXPECT_EQ(FindDatabase("NOTES", false), notes);
  EXPECT_EQ(FindDatabase("notes", true), notes);
  EXPECT_EQ(FindDatabase("none", false), nullptr);

  EXPECT_EQ(ResolveDatabaseFolder("NOTES", notes), "/data/notes/");
  EXPECT_EQ(ResolveDatabaseFolder("/srv/x", notes), "/srv/x/");
  EXPECT_EQ(ResolveDatabaseFolder("C:\\DATA\\", nullptr), "C:\\DATA\\/");
  EXPECT_EQ(ResolveDatabaseFolder("WORK", work), IncludeTrailingPathDelimiter(GetCurrentDir()));
  EXPECT_EQ(ResolveDatabaseFolder("", nullptr), IncludeTrailingPathDelimiter(GetCurrentDir()));

  delete notes;
  EXPECT_EQ(list.IndexOf(notes), -1);
  EXPECT_EQ(list.Count(), before + 1);
  EXPECT_EQ(FindDatabase("notes", true), nullptr);

  try {
    list.Destroy();
    ADD_FAILURE() << "the list was destroyed";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Cannot manually destroy a TapdbStringList");
  }
}

// Application services: the fake's recording, the library loader, the exception display,
// the module and form registry, and timers.
#include <gtest/gtest.h>

#include <fstream>

#include "platform/core/Classes.h"
#include "platform/core/FakeServices.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Timers.h"

namespace {

TEST(Services, FakeRecordsBoxesAndAnswersFromItsQueue) {
  TFakeServices fake;
  fake.Answers = {IDYES, IDNO};
  EXPECT_EQ(MessageBox("q1", "cap", MB_YESNO | MB_ICONQUESTION), IDYES);
  EXPECT_EQ(MessageBox("q2", "cap", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBox("q3", "cap", MB_OK), IDOK);  // empty queue
  ASSERT_EQ(fake.Boxes.size(), 3u);
  EXPECT_EQ(fake.Boxes[0].Text, "q1");
  EXPECT_EQ(fake.Boxes[0].Flags, unsigned(MB_YESNO | MB_ICONQUESTION));

  RequestTerminate();
  EXPECT_TRUE(TerminateRequested());
  EXPECT_EQ(fake.TerminateRequests, 1);
  std::vector<uint16_t> received;
  fake.OnSendKeyDown = [&](intptr_t, uint16_t k) { received.push_back(k); };
  SendKeyDown(42, 0xFFCE);
  EXPECT_EQ(received, std::vector<uint16_t>{0xFFCE}) << "inside the call that sends it";
  ProcessMessages();
  ASSERT_EQ(fake.SentKeys.size(), 1u);
  EXPECT_EQ(fake.SentKeys[0].Key, 0xFFCE);
  EXPECT_EQ(fake.ProcessMessagesCount, 1);
}

TEST(Services, FakeIsUninstalledWithItsLifetime) {
  IMessageBoxService* before = &MessageBoxService();
  {
    TFakeServices fake;
    EXPECT_EQ(&MessageBoxService(), static_cast<IMessageBoxService*>(&fake));
    RequestTerminate();
  }
  EXPECT_EQ(&MessageBoxService(), before);
  EXPECT_FALSE(TerminateRequested());
}

TEST(Services, CautiousAnswersChangeNothing) {
  EXPECT_EQ(CautiousAnswer(MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(CautiousAnswer(MB_YESNO), IDNO);
  EXPECT_EQ(CautiousAnswer(MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(CautiousAnswer(MB_OKCANCEL), IDCANCEL);
}

TEST(Services, LibraryNamesMapToSharedObjects) {
  EXPECT_EQ(MapLibraryName("XBENG61.DLL"), "libxbeng61.so");
  EXPECT_EQ(MapLibraryName("RavavaDIV61.DLL"), "libravavadiv61.so");
  EXPECT_EQ(MapLibraryName("libm.so.6"), "libm.so.6");
  EXPECT_EQ(MapLibraryName("Zip32"), "libzip32.so");
  EXPECT_EQ(MapLibraryName("/opt/x/libq.so"), "/opt/x/libq.so");
  EXPECT_FALSE(ProgramFolder().empty());
  EXPECT_EQ(ProgramFolder().back(), '/');
}

int Twice(int x) { return 2 * x; }

TEST(Services, FakeLoaderServesSymbolTablesAndFolders) {
  TFakeServices fake;
  fake.Loader.AddLibrary("XBENG61.DLL", {{"xb_Twice", reinterpret_cast<void*>(&Twice)}});
  TLibHandle h = LibraryLoader().Open("xbeng61.dll");
  ASSERT_NE(h, nullptr);
  auto fn = reinterpret_cast<int (*)(int)>(LibraryLoader().Symbol(h, "xb_Twice"));
  ASSERT_NE(fn, nullptr);
  EXPECT_EQ(fn(21), 42);
  EXPECT_EQ(LibraryLoader().Symbol(h, "xb_Missing"), nullptr);
  LibraryLoader().Close(h);
  EXPECT_EQ(fake.Loader.OpenHandles(), 0);

  // An empty folder: the load fails and says why.
  fake.Loader.PointAtFolder(::testing::TempDir());
  EXPECT_EQ(LibraryLoader().Open("NOSUCH61.DLL"), nullptr);
  EXPECT_FALSE(LibraryLoader().LastError().empty());
  EXPECT_EQ(fake.Loader.Opened.back(), "NOSUCH61.DLL");
}

TEST(Services, DlLoaderLooksInItsFoldersOnly) {
  // A file that is no library: found in the folder, refused by the system loader.
  std::string dir = ::testing::TempDir();
  { std::ofstream(dir + "libbroken61.so") << "not an ELF file"; }
  TDlLibraryLoader loader({dir}, false);
  EXPECT_EQ(loader.Open("BROKEN61.DLL"), nullptr);
  EXPECT_FALSE(loader.LastError().empty());
  EXPECT_EQ(loader.Open("ABSENT61.DLL"), nullptr);
  DeleteFile(dir + "libbroken61.so");

  // The system search finds a real library and its exports.
  TDlLibraryLoader system({}, true);
  TLibHandle m = system.Open("libm.so.6");
  ASSERT_NE(m, nullptr) << system.LastError();
  auto cosine = reinterpret_cast<double (*)(double)>(system.Symbol(m, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(system.Symbol(m, "xb_Nothing"), nullptr);
  EXPECT_FALSE(system.LastError().empty());
  system.Close(m);
}

TEST(Services, ExceptionsReachingTheLoopAreShownExceptAbort) {
  TFakeServices fake;
  SetApplicationTitle("Orvelane");
  struct Case {
    std::exception_ptr ex;
    std::string shown;  // "" = no box
  } cases[] = {
      {std::make_exception_ptr(EDatabaseError("Table is not open")), "Table is not open."},
      {std::make_exception_ptr(EConvertError("Done.")), "Done."},
      {std::make_exception_ptr(Exception("Really?")), "Really?"},
      {std::make_exception_ptr(EAbort()), ""},
      {std::make_exception_ptr(std::runtime_error("boom")), "boom."},
      {std::make_exception_ptr(EFOpenError("Cannot open file \"a\"")), "Cannot open file \"a\""},
      {std::make_exception_ptr(42), "Unknown exception."},
      {std::make_exception_ptr(EDatabaseError("")), "EDatabaseError"},  // never an empty box
  };
  for (const auto& c : cases) {
    fake.Boxes.clear();
    try {
      std::rethrow_exception(c.ex);
    } catch (...) {
      HandleException();
    }
    if (c.shown.empty()) {
      EXPECT_TRUE(fake.Boxes.empty());
    } else {
      ASSERT_EQ(fake.Boxes.size(), 1u) << c.shown;
      EXPECT_EQ(fake.Boxes[0].Text, c.shown);
      EXPECT_EQ(fake.Boxes[0].Caption, "Orvelane");
      EXPECT_EQ(fake.Boxes[0].Flags, unsigned(MB_OK | MB_ICONSTOP));
    }
  }
  // A handler that throws does not escape.
  SetExceptionHandler([](const std::exception&) { throw 1; });
  try {
    throw Exception("x");
  } catch (...) {
    EXPECT_NO_THROW(HandleException());
  }
  SetExceptionHandler(nullptr);
  SetApplicationTitle("");
}

TEST(Services, RegistryForgetsDestroyedModulesAndForms) {
  auto* module = new TComponent();
  auto* form1 = new TComponent();
  auto* form2 = new TComponent();
  RegisterDataModule(module);
  RegisterForm(form1);
  RegisterForm(form2);
  RegisterForm(form1);  // once only
  ASSERT_EQ(FormCount(), 2);
  MoveForm(form2, 0);
  EXPECT_EQ(Forms(0), form2);
  delete form2;
  ASSERT_EQ(FormCount(), 1);
  EXPECT_EQ(Forms(0), form1);
  EXPECT_EQ(Forms(5), nullptr);
  UnregisterForm(form1);
  EXPECT_EQ(FormCount(), 0);
  delete form1;  // no notice to a registry that let it go
  EXPECT_EQ(DataModules(0), module);
  delete module;
  EXPECT_EQ(DataModuleCount(), 0);
}

TEST(Timers, TicksOnVirtualTimeWhileEnabled) {
  TFakeServices fake;
  TComponent form;
  auto* t = new TTimer(&form);
  int ticks = 0;
  t->SetInterval(1000);
  t->SetEnabled(false);
  t->SetOnTimer([&](TObject*) { ++ticks; });
  fake.Timers.Advance(5000);
  EXPECT_EQ(ticks, 0);
  t->SetEnabled(true);
  fake.Timers.Advance(999);
  EXPECT_EQ(ticks, 0);
  fake.Timers.Advance(2001);
  EXPECT_EQ(ticks, 3);
  // One shot: the handler disables its own timer.
  t->SetOnTimer([&](TObject* s) {
    ++ticks;
    static_cast<TTimer*>(s)->SetEnabled(false);
  });
  fake.Timers.Advance(10000);
  EXPECT_EQ(ticks, 4);
  EXPECT_FALSE(t->Running());
  t->SetEnabled(true);
  EXPECT_EQ(fake.Timers.ActiveCount(), 1);
  delete t;  // freeing the component stops its timer
  EXPECT_EQ(fake.Timers.ActiveCount(), 0);
}

}  // namespace

// The one application object of the note book tests: created before the first test
// (offscreen unless the environment asks for another platform), so every test can build the
// program's real forms. The engine library beside the test program is loaded here once.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Forms.h"
#include "table/XbEngine.h"

namespace {

class AppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "offscreen", 0);
    if (!Application) app_ = new TApplication;
    // Loaded once through the program's own loader, so the tests' fake services (which bring
    // a loader of their own) never own the engine's handle.
    EnsureEngineLoaded();
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  TApplication* app_ = nullptr;
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

}  // namespace

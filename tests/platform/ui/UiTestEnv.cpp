// The one application object of the UI tests: created before the first test (offscreen unless
// the environment asks for another platform), so every test of this executable can build
// real widgets.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Forms.h"

namespace {

class UiEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", getenv("QT_QPA_PLATFORM") ? getenv("QT_QPA_PLATFORM") : "offscreen", 0);
    if (!Application) app_ = new TApplication;
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  TApplication* app_ = nullptr;
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new UiEnvironment);

}  // namespace

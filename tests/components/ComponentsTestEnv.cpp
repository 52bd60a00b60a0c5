// The one application object of the component tests (offscreen unless the environment asks
// for another platform), created before the first test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Forms.h"

namespace {

class ComponentsEnvironment : public ::testing::Environment {
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

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new ComponentsEnvironment);

}  // namespace

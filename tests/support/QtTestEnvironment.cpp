// The one application object of a test program that builds real widgets: created before the
// first test, offscreen unless the environment names another platform (xcb under Xvfb for
// screenshots). Every Qt test program links this file.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Forms.h"

namespace {

class QtTestEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!Application) app_ = new TApplication;
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  TApplication* app_ = nullptr;
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new QtTestEnvironment);

}  // namespace

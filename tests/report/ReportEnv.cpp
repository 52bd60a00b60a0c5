// The one application object of the report tests (offscreen), so previews can build their
// scroll boxes and image controls.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/ui/Forms.h"

namespace {

class ReportEnvironment : public ::testing::Environment {
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

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new ReportEnvironment);

}  // namespace

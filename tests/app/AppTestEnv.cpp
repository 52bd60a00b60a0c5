// The note book tests load the engine library beside the test program once, through the
// program's own loader, so the tests' fake services (which bring a loader of their own) never
// own the engine's handle.
#include <gtest/gtest.h>

#include "table/XbEngine.h"

namespace {

class EngineEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { EnsureEngineLoaded(); }
};

const auto* const kEnv = ::testing::AddGlobalTestEnvironment(new EngineEnvironment);

}  // namespace

// Test fixture: fake services with the fake engine served as "XBENG61.DLL"; the binding is
// released before and after each test so every test starts unloaded.
#pragma once

#include <gtest/gtest.h>

#include "FakeEngine.h"
#include "platform/core/FakeServices.h"
#include "table/XbEngine.h"

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleaseEngine();
    ResetTerminate();
  }
  void TearDown() override { ReleaseEngine(); }

  // Serves the fake engine (minus Omit) and loads it.
  void LoadFake(const std::set<std::string>& Omit = {}, bool Extras = true) {
    services.Loader.AddLibrary("XBENG61.DLL", engine.Symbols(Omit, Extras));
    EnsureEngineLoaded();
  }

  TFakeServices services;
  TFakeEngine engine;
};

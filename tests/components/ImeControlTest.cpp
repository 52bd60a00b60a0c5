// The input-method switch: creation switches to Latin, the mode sets or clears only the
// native bit of the application's conversion status, and a failed switch keeps the mode.
#include <gtest/gtest.h>

#include "components/IMEControl.h"

namespace {

struct ImeFixture : ::testing::Test {
  ImeFixture() { old = SetInputMethodManager(&imm); }
  ~ImeFixture() override { SetInputMethodManager(old); }
  TInputMethodRecorder imm;
  IInputMethodManager* old = nullptr;
};

TEST_F(ImeFixture, CreationSwitchesToLatinAndModesToggleOnlyTheNativeBit) {
  imm.Conversion = IME_CMODE_NATIVE | 0x0008 | 0x0400;
  imm.Sentence = 0x0008;
  TIMEControl ime(nullptr);
  EXPECT_EQ(ime.IMEMode(), isEnglish);
  EXPECT_EQ(imm.Conversion, 0x0008u | 0x0400u);

  ime.SetIMEMode(isHanguel);
  ime.SetIMEMode(isHanguel);
  EXPECT_EQ(ime.IMEMode(), isHanguel);
  EXPECT_EQ(imm.Conversion, IME_CMODE_NATIVE | 0x0008u | 0x0400u);
  EXPECT_EQ(imm.Sentence, 0x0008u);
  // Every context taken is given back.
  EXPECT_EQ(imm.GetContextCalls, 3);
  EXPECT_EQ(imm.ReleaseCalls, 3);
}

TEST_F(ImeFixture, FailedSwitchStillStoresTheMode) {
  for (bool noInputMethod : {false, true}) {
    imm.NoInputMethod = noInputMethod;
    imm.FailStatus = !noInputMethod;
    imm.Conversion = 0;
    TIMEControl ime(nullptr);
    ime.SetIMEMode(isHanguel);
    EXPECT_EQ(ime.IMEMode(), isHanguel);
    EXPECT_EQ(imm.Conversion, 0u);
    EXPECT_EQ(imm.SetStatusCalls, 0);
  }
}

TEST_F(ImeFixture, OwnedSwitchGoesWithItsOwner) {
  TComponent owner(nullptr);
  auto* ime = new TIMEControl(&owner);
  ime->SetName("IMEControl1");
  ime->SetIMEMode(isHanguel);
  EXPECT_EQ(owner.FindComponent("IMEControl1"), ime);
  EXPECT_TRUE(imm.Conversion & IME_CMODE_NATIVE);
}

}  // namespace

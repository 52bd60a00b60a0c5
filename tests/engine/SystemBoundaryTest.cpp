// The engine at the edge of the system: numbers are written and read with '.' under a
// comma-decimal process locale.
#include <gtest/gtest.h>

#include <string>

#include "helpers/NoteFixture.h"
#include "support/CommaLocale.h"

namespace {

using xbtest::EngineTest;

TEST_F(EngineTest, NumbersKeepTheirPointUnderACommaLocale) {
  commalocale::Scope german;
  if (!german) GTEST_SKIP() << german.Why();
  const std::string path = Path("amounts.dbf");
  ASSERT_GT(xb_CreateNew(path.c_str(), "", XB_TT_NSX, 2), 0);
  xb_CreateField("NAME", "C", 10, 0);
  xb_CreateField("AMT", "N", 10, 2);
  ASSERT_NE(xb_CreateExec(), 0);
  xb_Close();
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_AppendBlank();
  const double v = 2.25;
  xb_Replace("AMT", XB_RT_DOUBLE, &v);
  xb_Commit();
  EXPECT_STREQ(xb_GetString("AMT"), "      2.25");
  EXPECT_DOUBLE_EQ(xb_GetDouble("AMT"), 2.25);
  xb_AppendBlank();
  xb_Replace("AMT", XB_RT_TEXT, "1234.5");
  xb_Commit();
  EXPECT_STREQ(xb_GetString("AMT"), "   1234.50");
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("1.5*2"), 3.0);
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("AMT/2"), 617.25);
  EXPECT_DOUBLE_EQ(xb_EvalNumeric("VAL(\"0.5\")"), 0.5);
  EXPECT_STREQ(xb_EvalString("STR(AMT,8,1)"), "  1234.5");
  EXPECT_NE(xb_EvalLogical("AMT > 1234.25 .AND. AMT < 1234.75"), 0) << "a query on decimals";
  xb_Close();

  // A number stored with a thousands separator reads as the table layer reads it.
  std::string bytes = EngineTest::ReadFile(path);
  const std::size_t at = bytes.find("   1234.50");
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, 10, "  1,234.50");
  EngineTest::WriteFile(path, bytes);
  ASSERT_GT(xb_UseEx(path.c_str(), "", XB_OPEN_SHARED, XB_TT_NSX, 0), 0);
  xb_Go(2);
  EXPECT_DOUBLE_EQ(xb_GetDouble("AMT"), 1234.5);
  xb_Close();
}

}  // namespace

// The two blocks of a prepare, read as outside input: every length is checked against what the
// block holds before anything is taken from it.
#include <gtest/gtest.h>

#include <cstring>

#include "addons/sql/src/InputBlocks.h"

namespace {

std::string Pad(const std::string& s, size_t n) { return s + std::string(n - s.size(), ' '); }
std::string Hex8(uint32_t v) {
  char b[12];
  std::snprintf(b, sizeof b, "%08X", v);
  return b;
}
std::string Table(const std::string& Name, const std::string& Alias, char Type, const std::string& Extra) {
  return Pad(Name, 64) + Pad(Alias, 64) + Type + Pad("", 8) + "N" + Hex8(static_cast<uint32_t>(Extra.size())) +
         Extra + "0";
}
template <class T>
std::string Param(const char* Type, const std::string& Name, T Value) {
  std::string data(sizeof Value, '\0');
  std::memcpy(data.data(), &Value, sizeof Value);
  return Hex8(sizeof Value) + Type + "01" + Pad(Name, 20) + data;
}

}  // namespace

TEST(InputBlocksTest, ReadsTablesAndRefusesDamagedBlocks) {
  const std::string good = Table("notes.dbf", "", '2', "extra1.nsx\r\nextra2.nsx\r\n") + Table("b.dbf", "bb", '1', "");
  std::vector<xbsql::TableEntry> t;
  std::string error;
  ASSERT_TRUE(xbsql::ReadTablesBlock(good.data(), good.size(), 2, t, error)) << error;
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0].TableName, "notes.dbf");
  EXPECT_EQ(t[0].EngineType, 3);
  EXPECT_EQ(t[0].ExtraIndexes, (std::vector<std::string>{"extra1.nsx", "extra2.nsx"}));
  EXPECT_EQ(t[1].Alias, "bb");
  EXPECT_EQ(t[1].EngineType, 2);

  std::string longExtra = Table("a.dbf", "", '1', "");
  longExtra.replace(138, 8, "7FFFFFFF");
  std::string badHex = Table("a.dbf", "", 'G', "");
  const struct {
    std::string Block;
    int32_t Count;
  } bad[] = {
      {good.substr(0, good.size() - 1), 2},  // the last commit level missing
      {good, 3},                            // more tables than the block holds
      {good, -1},
      {good, 0x7FFFFFFF},
      {longExtra, 1},                       // extra index text beyond the block
      {badHex, 1},
      {Table("", "x", '1', ""), 1},         // a table without a name
  };
  for (const auto& b : bad) {
    error.clear();
    EXPECT_FALSE(xbsql::ReadTablesBlock(b.Block.data(), b.Block.size(), b.Count, t, error)) << b.Count;
    EXPECT_FALSE(error.empty());
  }
}

TEST(InputBlocksTest, ReadsParametersOfEachKindAndRefusesCutRecords) {
  const std::string text = Hex8(4) + "01" "01" + Pad("NAME", 20) + std::string("abc\0", 4);
  const std::string block = text + Param("03", "N", int32_t{-5}) + Param("06", "F", 2.5) +
                            Param("09", "D", xbsql::DayNumberOf(2024, 2, 29)) + Param("05", "B", int16_t{-1}) +
                            Hex8(0) + "01" "01" + Pad("EMPTY", 20);
  std::vector<xbsql::ParamValue> p;
  std::string error;
  ASSERT_TRUE(xbsql::ReadParamBlock(block.data(), block.size(), p, error)) << error;
  ASSERT_EQ(p.size(), 6u);
  EXPECT_EQ(p[0].Bytes, "abc");
  EXPECT_EQ(p[0].Name, "NAME");
  EXPECT_EQ(p[1].IntValue, -5);
  EXPECT_EQ(p[2].RealValue, 2.5);
  EXPECT_EQ(p[3].Bytes, "2024-02-29");
  EXPECT_EQ(p[4].IntValue, 1);
  EXPECT_EQ(p[5].Type, xbsql::ParamValue::Null);
  for (const std::string& cut : {block.substr(0, block.size() - 1), Hex8(0xFFFFFFF0) + "01" "01" + Pad("X", 20),
                                 std::string("0000000Z") + "01" "01" + Pad("X", 20), text.substr(0, 20)}) {
    EXPECT_FALSE(xbsql::ReadParamBlock(cut.data(), cut.size(), p, error)) << cut;
  }
}

TEST(InputBlocksTest, DatesReadAndWriteOnlyRealDays) {
  std::string text;
  int32_t day = 0;
  ASSERT_TRUE(xbsql::ParseDate("20240229", 8, day));
  ASSERT_TRUE(xbsql::DateText(day, text));
  EXPECT_EQ(text, "2024-02-29");
  ASSERT_TRUE(xbsql::ParseDate("0001-01-01", 10, day));
  EXPECT_EQ(day, 1);
  for (const char* bad : {"20230229", "2024-13-01", "        ", "0000-01-01", "2024-1-01", "2024"})
    EXPECT_FALSE(xbsql::ParseDate(bad, std::strlen(bad), day)) << bad;
  EXPECT_FALSE(xbsql::DateText(0, text));
  EXPECT_FALSE(xbsql::DateText(4000000, text));
}

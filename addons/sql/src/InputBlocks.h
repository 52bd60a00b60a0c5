// The two blocks a prepare hands over, read with every length checked against what the block
// holds: the tables block (the tables a statement names, with their aliases) and the parameter
// block (the statement's parameters as the query dataset encodes them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace xbsql {

struct TableEntry {
  std::string TableName;  // as given, blanks trimmed
  std::string Alias;      // the name the statement uses; the file's base name when empty
  int EngineType = 2;     // the engine's table type code
  std::vector<std::string> ExtraIndexes;
};

// Reads Count entries; false (and Error) when the block is shorter than they need or a field
// does not read as its type.
bool ReadTablesBlock(const char* Data, size_t Size, int32_t Count, std::vector<TableEntry>& Out,
                     std::string& Error);

// The engine's table type code of the class library's table type ordinal (0 NTX, 1 FoxPro,
// 2 NSX, 3 NSX with DBT memo; anything else FoxPro).
int EngineTableType(int Ordinal);

struct ParamValue {
  enum Kind { Null, Integer, Real, Text, Blob } Type = Null;
  std::string Name;
  int64_t IntValue = 0;
  double RealValue = 0;
  std::string Bytes;  // text or blob
};

// Reads parameter records to the end of the block; false (and Error) for a record cut short.
bool ReadParamBlock(const char* Data, size_t Size, std::vector<ParamValue>& Out, std::string& Error);

// Dates: day number 1 is 0001-01-01 (the class library's day count).
int32_t DayNumberOf(int Year, int Month, int Day);
// "YYYY-MM-DD"; false for a day number before 0001-01-01 or after 9999-12-31.
bool DateText(int32_t DayNumber, std::string& Out);
// Reads "YYYY-MM-DD" (or "YYYYMMDD", optionally followed by a time) into a day number.
bool ParseDate(const char* Text, size_t Size, int32_t& DayNumber);

}  // namespace xbsql

// Conversions between field bytes and values: numbers in fixed width, dates as YYYYMMDD,
// Julian day numbers, and date text in the engine's date formats.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xbe {

// Julian day number of a Gregorian date (2000-01-01 is 2451545); 0 for an invalid date.
int32_t JulianOf(int year, int month, int day);
// YYYYMMDD of a Julian day number; "" when out of range.
std::string DateOfJulian(int32_t julian);
// Julian day of stored YYYYMMDD bytes; 0 when blank or not a valid date.
int32_t JulianOfStored(const std::string& yyyymmdd);
// Date text of stored YYYYMMDD in the format (engine codes 0..6, 99 default) and century.
std::string FormatDate(const std::string& yyyymmdd, int formatCode, bool century);
// YYYYMMDD from date text in the format (also accepts YYYYMMDD itself); two-digit years
// fall into the 100 years from epoch. "" for blank or unreadable text.
std::string ParseDate(const std::string& text, int formatCode, int epoch);
// The number right-aligned in width with the decimals ('.' point, whatever the locale);
// false when it does not fit.
bool FormatNumber(double value, int width, int decimals, std::string* out);
// A stored number, read as the table layer reads it (numtext::ReadStored); text that is not
// one whole number gives the number it starts with, or 0.
double ParseNumber(std::string_view text);

}  // namespace xbe

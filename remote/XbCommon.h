// Small helpers shared by the table-server client: the fixed-width text fields and numbers of
// the protocol, and the tick clock of timed reads.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// S followed by Width - length(S) copies of Fill; S is never cut.
std::string PadRight(std::string_view S, int Width, char Fill = ' ');
// A fixed-width text field of the protocol: exactly Width bytes, S cut (never inside a
// two-byte character) or padded with blanks. Every later field keeps its place.
std::string FixedField(std::string_view S, int Width);
// Upper-case hexadecimal, zero-padded to Digits; negative values as 32-bit two's complement.
std::string HexField(int64_t Value, int Digits);
// Reads hexadecimal digits (surrounding blanks allowed); false when S is not one number or
// does not fit 32 bits.
bool TryHexToInt(std::string_view S, int64_t& Value);
// Reads a decimal integer (surrounding blanks allowed); false when S is not one.
bool TryDecToInt(std::string_view S, int64_t& Value);

// Milliseconds since construction. It runs on a steady clock, so a wait that spans midnight
// or a clock change still ends.
class TTickClock {
 public:
  TTickClock() : FStart(std::chrono::steady_clock::now()) {}
  int64_t ElapsedMs() const;
  bool Expired(int64_t Ms) const { return ElapsedMs() >= Ms; }
  bool Started = true;

 private:
  std::chrono::steady_clock::time_point FStart;
};

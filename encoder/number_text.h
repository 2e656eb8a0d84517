#pragma once
// Numbers as the input writes them, kept as their digits: nothing goes through a double, so a
// decimal is written to its field exactly or refused.
#include <cstdint>
#include <string_view>

// A number's text taken apart: sign, the digits before and after the point
// as written, and the power of ten of an E part.
struct NumberText {
  bool negative = false;
  std::string_view integer;
  std::string_view fraction;
  std::int64_t exponent = 0;
  bool hasExponent = false;
};

// Reads `text` as a JSON number, also with a leading "+" or leading zeros
// (CSV cells, external floating point read back). False for anything else.
bool parseNumber(std::string_view text, NumberText &number);

// True when every digit of `number` is zero.
bool isZero(const NumberText &number);

enum class Fit {
  ok,
  tooManyDigits,   // the integer part needs more digits than the item has
  tooManyDecimals, // a nonzero digit stands right of the item's last decimal place
};

// The digits of `number` times 10^scale, written right-aligned with leading
// zeros into exactly `digits` characters of `out`; the sign is the caller's.
// A negative scale drops places (PIC 99PPP), which must then be zeros.
Fit scaledDigits(const NumberText &number, std::int64_t scale, std::int64_t digits, char *out);

// The unsigned integer of ASCII digits (at most 38 of them).
unsigned __int128 digitsValue(const char *digits, std::int64_t count);

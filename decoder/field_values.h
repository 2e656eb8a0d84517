#pragma once
// Field bytes to value text: decimal numbers (zoned, packed, binary, edited), floating point.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "decoder/code_page.h"
#include "record/picture.h"
#include "record/record_model.h"

// How a zoned field carries its sign.
enum class ZonedSign { none, leading, trailing, leadingSeparate, trailingSeparate };

// A signed DISPLAY number's sign as its SIGN clause places it.
inline ZonedSign zonedSignOf(SignForm sign) {
  switch (sign) {
  case SignForm::leading:
    return ZonedSign::leading;
  case SignForm::trailing:
    return ZonedSign::trailing;
  case SignForm::leadingSeparate:
    return ZonedSign::leadingSeparate;
  case SignForm::trailingSeparate:
    return ZonedSign::trailingSeparate;
  default:
    return ZonedSign::none;
  }
}

// Appends the decimal number made of the ASCII digits `digits` scaled by
// 10^-scale (a negative scale appends zeros), with exactly `scale` decimal
// places: "-12.50", "0.05", "1200". Zero is never written with a sign.
void appendDecimal(std::string_view digits, bool negative, int scale, std::string &out);

// The same text for the whole number `magnitude` (negative when
// `negative`) scaled by 10^-scale, written at `out`, which has room for 64
// characters plus the scale's size (it may write past the text's end, within
// that room); returns the end of the text.
char *writeScaled(std::uint64_t magnitude, bool negative, int scale, char *out);
void appendScaled(std::int64_t unscaled, int scale, std::string &out);

// The text of packed decimal `bytes` written as writeScaled writes it, with
// the same room, straight from the digits; nullptr (nothing written) when
// they hold no valid value or for more than 9 bytes or a scale outside 0 to
// 24: decodePacked then.
// `readAhead`: 8 bytes may be read from the field's start (it is not the
// last of its buffer).
char *writePacked(std::string_view bytes, bool isSigned, int scale, char *out,
                  bool readAhead = false);

// The text of zoned decimal `bytes` written as writeScaled writes it, with
// the same room; nullptr (nothing written) for what it leaves to
// zonedWhole: bad bytes, more than 8 bytes, a sign other than none or
// trailing, a scale outside 0 to 15, a code page whose digits are not F0 to F9.
char *writeZoned(std::string_view bytes, ZonedSign sign, int scale, const CodePage &page, char *out,
                 bool readAhead = false);

// A decimal field read as its whole number (value = unscaled * 10^-scale).
enum class WholeRead : std::uint8_t {
  ok,
  invalid, // not a valid value of its kind
  wide     // valid, perhaps, but more digits than an int64 holds: read it as text
};
// Packed decimal of at most 9 bytes (17 digits); wide for longer fields.
WholeRead packedWhole(std::string_view bytes, bool isSigned, std::int64_t &out);
WholeRead unsignedPackedWhole(std::string_view bytes, std::int64_t &out);
// Zoned decimal of at most 18 digits; wide for longer fields.
WholeRead zonedWhole(std::string_view bytes, ZonedSign sign, const CodePage &page,
                     std::int64_t &out);
// Binary: wide only for an unsigned 8-byte value past the int64 range.
WholeRead binaryWhole(std::string_view bytes, bool isSigned, bool littleEndian, std::int64_t &out);

// The readers of a compiled record's values (RecordDecoder), inlined in its
// loop: a whole number from one word of bytes by a few multiplications, no
// loop per digit. Each returns false (`out` unchanged) for what it leaves
// to the readers above, which then tell a bad value from a wide one. They
// assume a little-endian machine: the caller asks.

// The first `n` (1 to 8) bytes at `bytes` as a number, the first lowest;
// `readAhead`: 8 bytes may be read there.
[[gnu::always_inline]] inline std::uint64_t loadLowBytes(const char *bytes, std::size_t n,
                                                         bool readAhead) {
  std::uint64_t x = 0;
  if (readAhead) {
    std::memcpy(&x, bytes, 8);
    return n == 8 ? x : x & ((std::uint64_t{1} << (8 * n)) - 1);
  }
  for (std::size_t i = 0; i < n; ++i)
    x |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return x;
}

// Packed decimal of 1 to 8 bytes given as `top`: its bytes, the first lowest, moved up to end
// at the word's top byte, zeros below them (the direct steps read them so from the 8 bytes
// around the field). False for bad bytes.
[[gnu::always_inline]] inline bool packedTop(std::uint64_t top, bool isSigned, std::int64_t &out) {
  // Big-endian, the last byte lowest: the digits' nibbles in their order, then the sign.
  const std::uint64_t ordered = __builtin_bswap64(top);
  const auto sign = static_cast<unsigned>(ordered) & 0xF;
  const std::uint64_t nibbles = ordered >> 4;
  // A digit nibble above 9 carries into the next when 6 is added to each.
  constexpr std::uint64_t sixes = 0x0666666666666666ULL;
  const bool negative = sign == 0xB || sign == 0xD;
  if ((((nibbles + sixes) ^ nibbles ^ sixes) & 0x1111111111111110ULL) != 0 || sign < 0xA ||
      (negative && !isSigned))
    return false;
  // Nibbles to base-100 bytes, to base-10^4 halfwords, to base-10^8 words.
  std::uint64_t x = (nibbles >> 4 & 0x0F0F0F0F0F0F0F0FULL) * 10 + (nibbles & 0x0F0F0F0F0F0F0F0FULL);
  x = (x >> 8 & 0x00FF00FF00FF00FFULL) * 100 + (x & 0x00FF00FF00FF00FFULL);
  x = (x >> 16 & 0x0000FFFF0000FFFFULL) * 10000 + (x & 0x0000FFFF0000FFFFULL);
  const auto value = static_cast<std::int64_t>((x >> 32) * 100000000 + (x & 0xFFFFFFFFULL));
  out = negative ? -value : value;
  return true;
}

// Packed decimal of 1 to 8 bytes; false for bad bytes (packedWhole's
// invalid) and for 9 bytes or more.
[[gnu::always_inline]] inline bool packedWord(const char *bytes, std::size_t n, bool isSigned,
                                              bool readAhead, std::int64_t &out) {
  if (n == 0 || n > 8)
    return false;
  return packedTop(loadLowBytes(bytes, n, readAhead) << (64 - 8 * n), isSigned, out);
}

// Zoned decimal of 1 to 8 bytes given as packedTop's `top` (the low nibbles the digits,
// leading zeros below them, the high ones the zones), in a code page whose digits are F0 to F9
// (`page`.ebcdicDigits()): `zones` the zone bits each byte must have (all of each present
// byte's but the last's when `trailingSign`), which then is C, D or F; false otherwise.
[[gnu::always_inline]] inline bool zonedTop(std::uint64_t top, std::uint64_t zones,
                                            bool trailingSign, std::int64_t &out) {
  const std::uint64_t digits = top & 0x0F0F0F0F0F0F0F0FULL;
  const auto zone = static_cast<unsigned>(top >> 60);
  if ((top & zones) != zones || ((digits + 0x0606060606060606ULL) & 0xF0F0F0F0F0F0F0F0ULL) != 0 ||
      (trailingSign && zone != 0xC && zone != 0xD && zone != 0xF))
    return false;
  // Digit pairs, then fours, then all eight, the first the most significant.
  std::uint64_t x = digits * (10 * 256 + 1) >> 8;
  x = (x & 0x00FF00FF00FF00FFULL) * (100 * 65536 + 1) >> 16;
  x = (x & 0x0000FFFF0000FFFFULL) * (10000 * (std::uint64_t{1} << 32) + 1) >> 32;
  const auto value = static_cast<std::int64_t>(x & 0xFFFFFFFFULL);
  out = trailingSign && zone == 0xD ? -value : value;
  return true;
}

// Zoned decimal of 1 to 8 bytes, unsigned or with a trailing embedded sign (zonedTop).
[[gnu::always_inline]] inline bool zonedWord(const char *bytes, std::size_t n, bool trailingSign,
                                             bool readAhead, std::int64_t &out) {
  if (n == 0 || n > 8)
    return false;
  const std::uint64_t present = ~std::uint64_t{0} << (64 - 8 * n);
  const std::uint64_t zones =
      0xF0F0F0F0F0F0F0F0ULL & present & (trailingSign ? ~(std::uint64_t{0xF0} << 56) : ~0ULL);
  return zonedTop(loadLowBytes(bytes, n, readAhead) << (64 - 8 * n), zones, trailingSign, out);
}

// Big-endian binary of 2, 4 or 8 bytes (8: signed only, whose every value
// an int64 holds).
[[gnu::always_inline]] inline std::int64_t binaryWord(const char *bytes, std::size_t n,
                                                      bool isSigned) {
  std::uint64_t word = 0;
  if (n == 2) {
    std::uint16_t half = 0;
    std::memcpy(&half, bytes, 2);
    word = __builtin_bswap16(half);
  } else if (n == 4) {
    std::uint32_t full = 0;
    std::memcpy(&full, bytes, 4);
    word = __builtin_bswap32(full);
  } else {
    std::memcpy(&word, bytes, 8);
    word = __builtin_bswap64(word);
  }
  if (isSigned && n < 8)
    return static_cast<std::int64_t>(word << (64 - 8 * n)) >> (64 - 8 * n);
  return static_cast<std::int64_t>(word);
}

// Each returns false, with `out` unchanged, when the bytes are not a valid
// value of their kind.
bool decodePacked(std::string_view bytes, bool isSigned, int scale, std::string &out);
// Packed digits without a sign nibble (COMP-6), a leading 0 nibble when
// the digits are odd in number.
bool decodeUnsignedPacked(std::string_view bytes, int scale, std::string &out);
bool decodeZoned(std::string_view bytes, ZonedSign sign, int scale, const CodePage &page,
                 std::string &out);
// Two's complement (signed) or unsigned, big-endian unless `littleEndian`.
void decodeBinary(std::string_view bytes, bool isSigned, bool littleEndian, int scale,
                  std::string &out);
// 4 or 8 bytes: IBM hexadecimal floating point, or IEEE 754 when `ieee`.
// IEEE: the shortest text that reads back as the same float or double. IBM
// long: the shortest text of the nearest double. IBM short: the shortest text
// that, rounded to the nearest value of a 24-bit hexadecimal fraction, is the
// same value (any exponent: past the IEEE single range too). False for NaN and
// infinity, which JSON cannot hold.
bool decodeFloat(std::string_view bytes, bool ieee, bool littleEndian, std::string &out);
// 8 or 16 bytes of IEEE 754 decimal floating point in the binary integer
// decimal (BID) encoding, as GnuCOBOL stores FLOAT-DECIMAL-16 and -34: the
// coefficient's digits with as many decimal places as the exponent gives
// ("1.50" for 150E-2), or the coefficient and "E" and the exponent when the
// exponent is past +-64 ("15E+300"). False for infinity and NaN.
bool decodeDecimalFloat(std::string_view bytes, bool littleEndian, std::string &out);
// A numeric-edited or external floating-point field read back from its
// characters, checked position by position against the picture's edit
// pattern (its decimal point is a comma when the picture was parsed so).
// Numeric-edited: the exact decimal with the picture's scale (P included);
// all blanks is zero under `blankWhenZero` or when the picture's zero is all
// blanks. External floating point: the mantissa's digits as written (leading
// zeros of its integer part dropped, the point where V or "." stands), "E",
// the exponent as written ("1.50E+02" for "+01.50E+02"). False when the text
// is not one the picture can show.
bool decodeEdited(std::string_view bytes, const ParsedPicture &picture, bool blankWhenZero,
                  const CodePage &page, std::string &out);

// The integer value of a decoded number text ("12", "-3.00"); false when
// it has a nonzero fraction or is out of range.
bool integerOf(std::string_view number, std::int64_t &value);

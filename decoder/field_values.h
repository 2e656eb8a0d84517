#pragma once
// Field bytes to value text: decimal numbers (zoned, packed, binary, edited), floating point.
#include <cstdint>
#include <string>
#include <string_view>

#include "decoder/code_page.h"
#include "record/picture.h"

// How a zoned field carries its sign.
enum class ZonedSign { none, leading, trailing, leadingSeparate, trailingSeparate };

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

#pragma once
// Field bytes to value text: decimal numbers (zoned, packed, binary, edited), floating point.
#include <cstdint>
#include <string>
#include <string_view>

#include "decoder/code_page.h"

// How a zoned field carries its sign.
enum class ZonedSign { none, leading, trailing, leadingSeparate, trailingSeparate };

// Appends the decimal number made of the ASCII digits `digits` scaled by
// 10^-scale (a negative scale appends zeros), with exactly `scale` decimal
// places: "-12.50", "0.05", "1200". Zero is never written with a sign.
void appendDecimal(std::string_view digits, bool negative, int scale, std::string &out);

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
// 4 or 8 bytes: IBM hexadecimal floating point, or IEEE 754 when `ieee`. The
// shortest text that reads back as the same double. False for NaN and
// infinity, which JSON cannot hold.
bool decodeFloat(std::string_view bytes, bool ieee, bool littleEndian, std::string &out);
// 8 or 16 bytes of IEEE 754 decimal floating point in the binary integer
// decimal (BID) encoding, as GnuCOBOL stores FLOAT-DECIMAL-16 and -34: the
// coefficient's digits with as many decimal places as the exponent gives
// ("1.50" for 150E-2), or the coefficient and "E" and the exponent when the
// exponent is past +-64 ("15E+300"). False for infinity and NaN.
bool decodeDecimalFloat(std::string_view bytes, bool littleEndian, std::string &out);
// A numeric-edited or external floating-point field read back from its
// characters; `comma` when the decimal point is a comma (-c).
bool decodeEdited(std::string_view bytes, const CodePage &page, bool comma, std::string &out);

// The integer value of a decoded number text ("12", "-3.00"); false when
// it has a nonzero fraction or is out of range.
bool integerOf(std::string_view number, std::int64_t &value);

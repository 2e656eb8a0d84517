#pragma once
// Values to field bytes, usage by usage: the inverse of the decoder's field readers. Each
// writes exactly its item's bytes or says why the value does not fit; none allocates on the
// way of a valid value.
#include <cstdint>
#include <string_view>

#include "decoder/field_values.h"
#include "encoder/number_text.h"
#include "encoder/text_bytes.h"
#include "record/picture.h"

// Why a number was not written.
enum class NumberFit {
  ok,
  tooManyDigits,   // the integer part needs more digits than the item has
  tooManyDecimals, // more decimal places than the item has
  negative,        // a negative value for an unsigned item
  outOfRange,      // past what the storage holds (binary, floating point, exponent)
};

NumberFit numberFit(Fit fit);

// Zoned decimal: the `count` ASCII digits at `digits`, the sign as `sign`
// places it (EBCDIC zones C/D, F unsigned; ASCII digits, 0x70 + digit when
// negative), the separate sign as "+"/"-" of the code page.
void writeZoned(const char *digits, std::int64_t count, bool negative, bool isSigned,
                ZonedSign sign, const TextBytes &page, char *out);

// Packed decimal into `length` bytes: the digits right-aligned, a leading
// zero nibble to fill, the sign nibble C or D; F (or C when `unsignedC`)
// when the item is unsigned.
void writePacked(const char *digits, std::int64_t count, bool negative, bool isSigned,
                 bool unsignedC, std::int64_t length, char *out);

// Packed digits without sign nibble (COMP-6) into `length` bytes.
void writeUnsignedPacked(const char *digits, std::int64_t count, std::int64_t length, char *out);

// Two's complement (or unsigned) of `magnitude` into `length` bytes,
// big-endian unless `littleEndian`. The caller has checked the range.
void writeBinary(unsigned __int128 magnitude, bool negative, std::int64_t length,
                 bool littleEndian, char *out);

// The largest magnitude `length` bytes hold: 2^(8n-1) for a negative signed
// value, 2^(8n-1) - 1 for a positive one, 2^(8n) - 1 unsigned.
unsigned __int128 binaryLimit(std::int64_t length, bool isSigned, bool negative);

// COMP-1 or COMP-2 (by `length`, 4 or 8): IBM hexadecimal floating point
// rounded to nearest, ties to even, from the exact decimal; or IEEE 754
// (also correctly rounded). outOfRange past the format's largest value; an
// IBM value below its smallest is zero.
NumberFit writeFloat(const NumberText &number, std::int64_t length, bool ieee, bool littleEndian,
                     char *out);

// FLOAT-DECIMAL-16 / -34 (8 or 16 bytes): IEEE 754 decimal in the binary
// integer decimal encoding, the coefficient and exponent as written ("1.50":
// 150E-2), trailing zeros dropped only when the digits would not fit.
NumberFit writeDecimalFloat(const NumberText &number, std::int64_t length, bool littleEndian,
                            char *out);

// A numeric-edited item: the value formatted by the picture's edit pattern
// (insertion, zero suppression, floating insertion, CR/DB and signs, P
// scaling), as IBM edits a MOVE; all blanks for zero under BLANK WHEN ZERO.
NumberFit writeEdited(const NumberText &number, const ParsedPicture &picture,
                      bool blankWhenZero, const TextBytes &page, std::int64_t length, char *out);

// An external floating-point item (+9.99E+99): the mantissa normalised to
// the picture's first digit, unless the input gave it in exponent form with
// the picture's integer digits, which is then kept as written.
NumberFit writeExternalFloat(const NumberText &number, const ParsedPicture &picture,
                             const TextBytes &page, std::int64_t length, char *out);

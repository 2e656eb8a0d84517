#pragma once
// The text of packed and zoned decimal bytes without a division: shared by
// writePacked and writeZoned and inlined into the compiled line's loop,
// where a call per value cost as much as some of the values' own work.
#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "decoder/code_page.h"
#include "decoder/field_values.h"

// writePacked past what packedText spells itself: more than 8 bytes or 15 places.
char *writePackedWide(std::string_view bytes, bool isSigned, int scale, char *out);

namespace digit_text {

// Sixteen decimal digits, one a byte, the most significant in the lowest
// byte (their order in memory): what the writers below spell without a
// division, from whichever encoding gave them.
using Digits16 = unsigned __int128;
// The order in memory is the low bytes first: the writers below need a
// little-endian machine; elsewhere they leave the numbers to the paths before them.
constexpr bool littleEndian = std::endian::native == std::endian::little;

constexpr std::uint64_t everyByte(std::uint8_t b) { return 0x0101010101010101ULL * b; }
constexpr Digits16 wide(std::uint64_t low, std::uint64_t high) {
  return static_cast<Digits16>(high) << 64 | low;
}

// The eight digits of `value` (below 10^8), zero-padded, the first in the
// lowest byte: split into halves, quarters and single digits in parallel
// lanes, by multiplying.
[[gnu::always_inline]] inline std::uint64_t eightDigits(std::uint32_t value) {
  std::uint64_t x = value / 10000 | static_cast<std::uint64_t>(value % 10000) << 32;
  std::uint64_t high = (x * 10486 >> 20) & 0x0000007F0000007FULL; // lanes below 10^4: / 100
  x = high | (x - high * 100) << 16;
  high = (x * 103 >> 10) & 0x000F000F000F000FULL; // lanes below 100: / 10
  return high | (x - high * 10) << 8;
}

// The digits of packed decimal bytes that end at the top byte of `packed`
// (the first byte lowest), the sign nibble left out: each byte's high nibble,
// then its low one, moved up by one byte past the sign.
[[gnu::always_inline]] inline Digits16 packedDigits(std::uint64_t packed) {
#if defined(__SSE2__)
  const __m128i bytes = _mm_cvtsi64_si128(static_cast<long long>(packed));
  const __m128i low = _mm_set1_epi8(0x0F);
  const __m128i digits = _mm_slli_si128(
      _mm_unpacklo_epi8(_mm_and_si128(_mm_srli_epi16(bytes, 4), low), _mm_and_si128(bytes, low)),
      1);
  return wide(static_cast<std::uint64_t>(_mm_cvtsi128_si64(digits)),
              static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(digits, digits))));
#else
  Digits16 out = 0;
  for (int i = 0; i < 8; ++i)
    out |= static_cast<Digits16>((packed >> (8 * i + 4) & 0xF) | (packed >> (8 * i) & 0xF) << 8)
           << (16 * i);
  return out << 8;
#endif
}

// The text of `digits` scaled by 10^-scale (0 to 15) as writeScaled
// spells it, `count` (0 to 16) the digits after their leading zeros: the
// integer part without its leading zeros (one left when it is 0) and the
// places are each one 16-byte store of the shifted digits, whatever their
// lengths; at most 34 bytes written from `out`. Where the text ends depends
// on the count alone, which the callers find faster than the digits: the
// next value's place need not wait for them.
[[gnu::always_inline]] inline char *spellDigits(Digits16 digits, int count, bool negative,
                                                int scale, char *out) {
  const int whole = 16 - scale;
  const int integer = std::max(count - scale, 1);
  *out = '-';
  out += negative && count != 0 ? 1 : 0;
  const Digits16 text = digits | wide(everyByte('0'), everyByte('0'));
  const Digits16 shown = text >> (8 * (whole - integer));
  std::memcpy(out, &shown, 16);
  out += integer;
  if (scale == 0)
    return out;
  *out++ = '.';
  const Digits16 places = text >> (8 * whole);
  std::memcpy(out, &places, 16);
  return out + scale;
}

// spellDigits for eight digits in a word (a scale of 0 to 7): the same
// text with the shifts of one register.
[[gnu::always_inline]] inline char *spellDigits(std::uint64_t digits, int count, bool negative,
                                                int scale, char *out) {
  const int whole = 8 - scale;
  const int integer = std::max(count - scale, 1);
  *out = '-';
  out += negative && count != 0 ? 1 : 0;
  const std::uint64_t text = digits | everyByte('0');
  const std::uint64_t shown = text >> (8 * (whole - integer));
  std::memcpy(out, &shown, 8);
  out += integer;
  if (scale == 0)
    return out;
  *out++ = '.';
  const std::uint64_t places = text >> (8 * whole);
  std::memcpy(out, &places, 8);
  return out + scale;
}

// The decimal digits of `value` (below 10^8), 0 for 0: from its bit length
// and one comparison, not from its digits, so that the text's end is known
// before they are.
[[gnu::always_inline]] inline int eightCount(std::uint32_t value) {
  static constexpr std::uint32_t powers[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
  const int log = (32 - __builtin_clz(value | 1)) * 1233 >> 12; // floor(log10(2^bits))
  return value == 0 ? 0 : log + (value >= powers[log] ? 1 : 0);
}

// writeScaled for a halfword's or fullword's magnitude (below 10^10) and a
// scale of 0 to 7: its low eight digits spelled in one word and the one or
// two above them (a fullword's) put before, where writeScaled would shift
// sixteen digits as one 128-bit number.
template <bool Fullword>
[[gnu::always_inline]] inline char *binaryText(std::uint64_t magnitude, bool negative, int scale,
                                               char *out) {
  *out = '-';
  out += negative ? 1 : 0;
  auto low = static_cast<std::uint32_t>(magnitude);
  int count = 0;
  if constexpr (Fullword) {
    const auto high = static_cast<std::uint32_t>(magnitude / 100000000);
    low = static_cast<std::uint32_t>(magnitude - std::uint64_t{high} * 100000000);
    const int highCount = (high != 0 ? 1 : 0) + (high >= 10 ? 1 : 0);
    const std::uint32_t pair = (high / 10 + '0') | (high % 10 + '0') << 8;
    const std::uint32_t shown = pair >> (8 * (2 - highCount));
    std::memcpy(out, &shown, 2);
    out += highCount;
    // Above eight digits the low eight are all shown, their zeros too.
    count = high != 0 ? 8 : eightCount(low);
  } else {
    count = eightCount(low);
  }
  return spellDigits(eightDigits(low), count, false, scale, out);
}

// The four low bytes of `x` moved to bytes 0, 2, 4 and 6.
[[gnu::always_inline]] inline std::uint64_t spreadBytes(std::uint64_t x) {
  x = (x | x << 16) & 0x0000FFFF0000FFFFULL;
  return (x | x << 8) & 0x00FF00FF00FF00FFULL;
}


// packedText for what the caller has already checked fits: 1 to 8 bytes
// and a scale of 0 to 15, and 1 to 4 bytes with a scale of 0 to 7 when
// `Short` (a compiled step checks once, not per value); nullptr for bad bytes.
template <bool Short>
[[gnu::always_inline]] inline char *packedFitted(const char *bytes, std::size_t n, bool isSigned,
                                                 int scale, char *out, bool readAhead) {
  // The bytes as one number, the first lowest, moved up to end at its
  // top byte; big-endian, the nibbles in their order: the digits, then the sign.
  const std::uint64_t packed = loadLowBytes(bytes, n, readAhead) << (64 - 8 * n);
  const std::uint64_t ordered = __builtin_bswap64(packed);
  const auto sign = static_cast<unsigned>(ordered) & 0xF;
  const std::uint64_t nibbles = ordered >> 4;
  // A digit nibble above 9 carries into the next when 6 is added to each.
  constexpr std::uint64_t sixes = 0x0666666666666666ULL;
  const bool valid =
      (((nibbles + sixes) ^ nibbles ^ sixes) & 0x1111111111111110ULL) == 0 && sign >= 0xA;
  const bool negative = sign == 0xB || sign == 0xD;
  if (!valid || (negative && !isSigned))
    return nullptr;
  const int count = nibbles == 0 ? 0 : (67 - __builtin_clzll(nibbles)) / 4;
  if constexpr (Short) {
    // Seven digits at most: each byte's nibbles spread in one word.
    const std::uint64_t word = packed >> 32;
    const std::uint64_t digits = spreadBytes(word >> 4 & everyByte(0x0F) & 0xFFFFFFFFULL) |
                                 spreadBytes(word & everyByte(0x0F) & 0xFFFFFFFFULL) << 8;
    return spellDigits(digits << 8, count, negative, scale, out);
  } else {
    return spellDigits(packedDigits(packed), count, negative, scale, out);
  }
}

[[gnu::always_inline]] inline char *packedText(std::string_view bytes, bool isSigned, int scale, char *out,
                                               bool readAhead) {
  const std::size_t n = bytes.size();
  if (n == 0 || n > 9 || scale < 0 || scale > 24)
    return nullptr;
  if (littleEndian && n <= 8 && scale <= 15)
    return n <= 4 && scale <= 7
               ? packedFitted<true>(bytes.data(), n, isSigned, scale, out, readAhead)
               : packedFitted<false>(bytes.data(), n, isSigned, scale, out, readAhead);
  return writePackedWide(bytes, isSigned, scale, out);
}

// zonedText for what the caller has already checked fits: 1 to 8 bytes, a
// scale of 0 to 15 (0 to 7 unless `Wide`), digits F0-F9, no sign or a
// trailing one; nullptr for bad bytes.
template <bool Wide>
[[gnu::always_inline]] inline char *zonedFitted(const char *bytes, std::size_t n, bool trailing,
                                                int scale, char *out, bool readAhead) {
  // The bytes moved up to end at the top byte, the first lowest: their low
  // nibbles are the digits in their order, their high ones the zones (F,
  // the last one's C, D or F with a trailing sign).
  const std::uint64_t zoned = loadLowBytes(bytes, n, readAhead) << (64 - 8 * n);
  const std::uint64_t present = ~std::uint64_t{0} << (64 - 8 * n);
  const std::uint64_t digits = zoned & everyByte(0x0F);
  const auto zone = static_cast<unsigned>(zoned >> 60);
  const std::uint64_t zones =
      everyByte(0xF0) & present & (trailing ? ~(std::uint64_t{0xF0} << 56) : ~0ULL);
  const bool negative = trailing && zone == 0xD;
  if ((zoned & zones) != zones || ((digits + everyByte(6)) & everyByte(0xF0)) != 0 ||
      (trailing && zone != 0xC && zone != 0xD && zone != 0xF))
    return nullptr;
  const int count = digits == 0 ? 0 : 8 - __builtin_ctzll(digits) / 8;
  if constexpr (Wide)
    return spellDigits(wide(0, digits), count, negative, scale, out);
  else
    return spellDigits(digits, count, negative, scale, out);
}

// Whether zonedFitted takes a field of `n` bytes and `scale` in `page`.
inline bool zonedFits(std::size_t n, ZonedSign sign, int scale, const CodePage &page) {
  return littleEndian && n != 0 && n <= 8 && scale >= 0 && scale <= 15 && page.ebcdicDigits() &&
         (sign == ZonedSign::none || sign == ZonedSign::trailing);
}

[[gnu::always_inline]] inline char *zonedText(std::string_view bytes, ZonedSign sign, int scale,
                                              const CodePage &page, char *out, bool readAhead) {
  const std::size_t n = bytes.size();
  if (!zonedFits(n, sign, scale, page))
    return nullptr;
  const bool trailing = sign == ZonedSign::trailing;
  return scale <= 7 ? zonedFitted<false>(bytes.data(), n, trailing, scale, out, readAhead)
                    : zonedFitted<true>(bytes.data(), n, trailing, scale, out, readAhead);
}

} // namespace digit_text

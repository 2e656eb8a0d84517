// Decoding of numeric field bytes into exact decimal text.
#include "decoder/field_values.h"
#include "decoder/digit_text.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void appendDecimal(std::string_view digits, bool negative, int scale, std::string &out) {
  std::size_t first = 0;
  while (first < digits.size() && digits[first] == '0')
    ++first;
  digits.remove_prefix(first);
  if (digits.empty()) {
    out += '0';
    if (scale > 0) {
      out += '.';
      out.append(static_cast<std::size_t>(scale), '0');
    }
    return;
  }
  if (negative)
    out += '-';
  if (scale <= 0) {
    out += digits;
    out.append(static_cast<std::size_t>(-scale), '0');
    return;
  }
  const auto places = static_cast<std::size_t>(scale);
  if (digits.size() <= places) {
    out += "0.";
    out.append(places - digits.size(), '0');
    out += digits;
  } else {
    out += digits.substr(0, digits.size() - places);
    out += '.';
    out += digits.substr(digits.size() - places);
  }
}

namespace {

using namespace digit_text;

// "00" to "99": two digits per division when writing a number.
constexpr std::array<char, 200> digitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// A packed byte's two digits as a number 0 to 99; 0xFF when a nibble is no digit.
constexpr std::array<std::uint8_t, 256> packedPairs = [] {
  std::array<std::uint8_t, 256> pairs{};
  for (int b = 0; b < 256; ++b)
    pairs[static_cast<std::size_t>(b)] = (b >> 4) <= 9 && (b & 0xF) <= 9
                                             ? static_cast<std::uint8_t>((b >> 4) * 10 + (b & 0xF))
                                             : 0xFF;
  return pairs;
}();

// The digits of `value`, written backwards so that they end at `end`; returns their start.
char *digitsBefore(std::uint64_t value, char *end) {
  while (value >= 100) {
    const auto pair = static_cast<std::size_t>(value % 100);
    value /= 100;
    end -= 2;
    std::memcpy(end, &digitPairs[2 * pair], 2);
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, &digitPairs[2 * static_cast<std::size_t>(value)], 2);
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

// writeScaled for any scale, with copies of the lengths they need.
char *writeScaledAny(std::uint64_t magnitude, bool negative, int scale, char *out) {
  if (magnitude == 0) {
    *out++ = '0';
    if (scale > 0) {
      *out++ = '.';
      std::memset(out, '0', static_cast<std::size_t>(scale));
      out += scale;
    }
    return out;
  }
  char buffer[24];
  char *const end = buffer + sizeof buffer;
  const char *const first = digitsBefore(magnitude, end);
  const auto count = static_cast<std::size_t>(end - first);
  if (negative)
    *out++ = '-';
  if (scale <= 0) {
    std::memcpy(out, first, count);
    out += count;
    std::memset(out, '0', static_cast<std::size_t>(-scale));
    return out - scale;
  }
  const auto places = static_cast<std::size_t>(scale);
  if (count <= places) {
    *out++ = '0';
    *out++ = '.';
    std::memset(out, '0', places - count);
    out += places - count;
    std::memcpy(out, first, count);
    return out + count;
  }
  std::memcpy(out, first, count - places);
  out += count - places;
  *out++ = '.';
  std::memcpy(out, first + (count - places), places);
  return out + places;
}

// The number of decimal digits of `value` (1 for zero).
int digitCount(std::uint64_t value) {
  static constexpr std::array<std::uint64_t, 20> powers = [] {
    std::array<std::uint64_t, 20> p{};
    p[0] = 1;
    for (std::size_t i = 1; i < p.size(); ++i)
      p[i] = p[i - 1] * 10;
    return p;
  }();
  value |= 1; // the same count, and a bit for the logarithm
  const int log = (64 - __builtin_clzll(value)) * 1233 >> 12; // floor(log10(2^bits))
  return log - (value < powers[static_cast<std::size_t>(log)] ? 1 : 0) + 1;
}

// Writes the last `count` digits of `value` (zeros where it has none) so
// that they end at `end`, two at a time by table; returns their start and
// leaves in `value` what is above them.
char *lastDigits(std::uint64_t &value, int count, char *end) {
  for (; count >= 2; count -= 2) {
    end -= 2;
    std::memcpy(end, &digitPairs[2 * static_cast<std::size_t>(value % 100)], 2);
    value /= 100;
  }
  if (count != 0) {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return end;
}

// writeScaled for a scale of 0 to 24, `count` the digits of `magnitude`:
// the length of the text is known first, and the digits are written from
// its end straight into place, the places, the point, then the integer
// part ("0" when there is none).
char *spellScaled(std::uint64_t magnitude, int count, bool minus, int scale, char *out) {
  const int whole = count > scale ? count - scale : 1;
  char *const end = out + (minus ? 1 : 0) + whole + (scale > 0 ? scale + 1 : 0);
  char *at = lastDigits(magnitude, scale, end);
  if (scale > 0)
    *--at = '.';
  lastDigits(magnitude, whole, at);
  if (minus)
    *out = '-';
  return end;
}

} // namespace

char *writeScaled(std::uint64_t magnitude, bool negative, int scale, char *out) {
  // The same spelling as appendDecimal: zero without a sign, `scale` places.
  if (scale < 0 || scale > 24)
    return writeScaledAny(magnitude, negative, scale, out);
  if (littleEndian && magnitude < 100000000 && scale <= 7)
    return spellDigits(eightDigits(static_cast<std::uint32_t>(magnitude)),
                       magnitude == 0 ? 0 : digitCount(magnitude), negative, scale, out);
  // Up to sixteen digits: two halves spelled by multiplying, no division per pair.
  if (littleEndian && magnitude < 10000000000000000ULL && scale <= 15)
    return spellDigits(wide(eightDigits(static_cast<std::uint32_t>(magnitude / 100000000)),
                            eightDigits(static_cast<std::uint32_t>(magnitude % 100000000))),
                       magnitude == 0 ? 0 : digitCount(magnitude), negative, scale, out);
  return spellScaled(magnitude, digitCount(magnitude), negative && magnitude != 0, scale, out);
}

void appendScaled(std::int64_t unscaled, int scale, std::string &out) {
  const std::size_t start = out.size();
  out.resize(start + 64 + static_cast<std::size_t>(scale < 0 ? -scale : scale));
  const bool negative = unscaled < 0;
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(unscaled) + 1 : static_cast<std::uint64_t>(unscaled);
  char *const end = writeScaled(magnitude, negative, scale, out.data() + start);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

char *writePackedWide(std::string_view bytes, bool isSigned, int scale, char *out) {
  std::int64_t whole = 0;
  if (packedWhole(bytes, isSigned, whole) != WholeRead::ok)
    return nullptr;
  const bool negative = whole < 0;
  const std::uint64_t magnitude =
      negative ? ~static_cast<std::uint64_t>(whole) + 1 : static_cast<std::uint64_t>(whole);
  return spellScaled(magnitude, digitCount(magnitude), negative, scale, out);
}

char *writePacked(std::string_view bytes, bool isSigned, int scale, char *out, bool readAhead) {
  return packedText(bytes, isSigned, scale, out, readAhead);
}

char *writeZoned(std::string_view bytes, ZonedSign sign, int scale, const CodePage &page, char *out,
                 bool readAhead) {
  return zonedText(bytes, sign, scale, page, out, readAhead);
}

WholeRead packedWhole(std::string_view bytes, bool isSigned, std::int64_t &out) {
  const std::size_t n = bytes.size();
  if (n == 0)
    return WholeRead::invalid;
  if (n > 9)
    return WholeRead::wide;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const std::uint8_t pair = packedPairs[static_cast<unsigned char>(bytes[i])];
    if (pair == 0xFF)
      return WholeRead::invalid;
    value = value * 100 + pair;
  }
  const auto last = static_cast<unsigned char>(bytes[n - 1]);
  const unsigned digit = last >> 4;
  const unsigned sign = last & 0xF;
  if (digit > 9 || sign < 0xA)
    return WholeRead::invalid;
  value = value * 10 + digit;
  const bool negative = sign == 0xB || sign == 0xD;
  if (negative && !isSigned)
    return WholeRead::invalid;
  out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  return WholeRead::ok;
}

WholeRead unsignedPackedWhole(std::string_view bytes, std::int64_t &out) {
  if (bytes.empty())
    return WholeRead::invalid;
  if (bytes.size() > 9)
    return WholeRead::wide;
  std::uint64_t value = 0;
  for (const char byte : bytes) {
    const std::uint8_t pair = packedPairs[static_cast<unsigned char>(byte)];
    if (pair == 0xFF)
      return WholeRead::invalid;
    value = value * 100 + pair;
  }
  out = static_cast<std::int64_t>(value);
  return WholeRead::ok;
}

WholeRead binaryWhole(std::string_view bytes, bool isSigned, bool littleEndian, std::int64_t &out) {
  const std::size_t n = bytes.size();
  if (n > 8)
    return WholeRead::wide;
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < n; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  if (isSigned && n > 0 && n < 8 && (value >> (8 * n - 1)) != 0)
    value |= ~std::uint64_t{0} << (8 * n);
  if (!isSigned && value > static_cast<std::uint64_t>(INT64_MAX))
    return WholeRead::wide;
  out = static_cast<std::int64_t>(value);
  return WholeRead::ok;
}

bool decodePacked(std::string_view bytes, bool isSigned, int scale, std::string &out) {
  std::int64_t whole = 0;
  switch (packedWhole(bytes, isSigned, whole)) {
  case WholeRead::ok:
    appendScaled(whole, scale, out);
    return true;
  case WholeRead::invalid:
    return false;
  case WholeRead::wide:
    break;
  }
  // Past 17 digits: digit by digit as text.
  if (bytes.empty())
    return false;
  char digits[64];
  std::size_t count = 0;
  if (bytes.size() * 2 > sizeof digits)
    return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const int high = b >> 4;
    const int low = b & 0xF;
    if (high > 9)
      return false;
    digits[count++] = static_cast<char>('0' + high);
    if (i + 1 < bytes.size()) {
      if (low > 9)
        return false;
      digits[count++] = static_cast<char>('0' + low);
    }
  }
  const int sign = static_cast<unsigned char>(bytes.back()) & 0xF;
  if (sign < 0xA)
    return false;
  const bool negative = sign == 0xB || sign == 0xD;
  if (negative && !isSigned)
    return false;
  appendDecimal(std::string_view(digits, count), negative, scale, out);
  return true;
}

bool decodeUnsignedPacked(std::string_view bytes, int scale, std::string &out) {
  std::int64_t whole = 0;
  switch (unsignedPackedWhole(bytes, whole)) {
  case WholeRead::ok:
    appendScaled(whole, scale, out);
    return true;
  case WholeRead::invalid:
    return false;
  case WholeRead::wide:
    break;
  }
  char digits[64];
  if (bytes.empty() || bytes.size() * 2 > sizeof digits)
    return false;
  std::size_t count = 0;
  for (const char byte : bytes)
    for (const int nibble : {static_cast<unsigned char>(byte) >> 4, byte & 0xF}) {
      if (nibble > 9)
        return false;
      digits[count++] = static_cast<char>('0' + nibble);
    }
  appendDecimal(std::string_view(digits, count), false, scale, out);
  return true;
}

namespace {

// The digit and sign of an embedded-sign byte; false when it is none.
bool embeddedSign(unsigned char b, const CodePage &page, int &digit, bool &negative) {
  if (page.ebcdic()) {
    const int zone = b >> 4;
    digit = b & 0xF;
    negative = zone == 0xD;
    return digit <= 9 && (zone == 0xC || zone == 0xD || zone == 0xF);
  }
  negative = false;
  if (b >= '0' && b <= '9') {
    digit = b - '0';
  } else if (b >= 0x70 && b <= 0x79) { // 'p' to 'y': GnuCOBOL and Micro Focus style
    digit = b - 0x70;
    negative = true;
  } else if (b == '{' || (b >= 'A' && b <= 'I')) {
    digit = b == '{' ? 0 : b - 'A' + 1;
  } else if (b == '}' || (b >= 'J' && b <= 'R')) {
    digit = b == '}' ? 0 : b - 'J' + 1;
    negative = true;
  } else {
    return false;
  }
  return true;
}

} // namespace

WholeRead zonedWhole(std::string_view bytes, ZonedSign sign, const CodePage &page,
                     std::int64_t &out) {
  bool negative = false;
  if (sign == ZonedSign::leadingSeparate || sign == ZonedSign::trailingSeparate) {
    if (bytes.empty())
      return WholeRead::invalid;
    const bool leading = sign == ZonedSign::leadingSeparate;
    const char c = page.ascii(static_cast<unsigned char>(leading ? bytes.front() : bytes.back()));
    if (c != '+' && c != '-')
      return WholeRead::invalid;
    negative = c == '-';
    bytes = leading ? bytes.substr(1) : bytes.substr(0, bytes.size() - 1);
    sign = ZonedSign::none;
  }
  const std::size_t n = bytes.size();
  if (n == 0)
    return WholeRead::invalid;
  if (n > 18)
    return WholeRead::wide;
  // The digits around the sign byte, which is read apart.
  const std::size_t from = sign == ZonedSign::leading ? 1 : 0;
  const std::size_t to = sign == ZonedSign::trailing ? n - 1 : n;
  std::uint64_t value = 0;
  int signDigit = 0;
  if (sign == ZonedSign::leading &&
      !embeddedSign(static_cast<unsigned char>(bytes[0]), page, signDigit, negative))
    return WholeRead::invalid;
  value = static_cast<std::uint64_t>(signDigit);
  for (std::size_t i = from; i < to; ++i) {
    const auto digit =
        static_cast<unsigned>(page.ascii(static_cast<unsigned char>(bytes[i])) - '0');
    if (digit > 9)
      return WholeRead::invalid;
    value = value * 10 + digit;
  }
  if (sign == ZonedSign::trailing) {
    if (!embeddedSign(static_cast<unsigned char>(bytes[n - 1]), page, signDigit, negative))
      return WholeRead::invalid;
    value = value * 10 + static_cast<std::uint64_t>(signDigit);
  }
  out = negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
  return WholeRead::ok;
}

bool decodeZoned(std::string_view bytes, ZonedSign sign, int scale, const CodePage &page,
                 std::string &out) {
  std::int64_t whole = 0;
  switch (zonedWhole(bytes, sign, page, whole)) {
  case WholeRead::ok:
    appendScaled(whole, scale, out);
    return true;
  case WholeRead::invalid:
    return false;
  case WholeRead::wide:
    break;
  }
  // Past 18 digits: digit by digit as text.
  bool negative = false;
  if (sign == ZonedSign::leadingSeparate || sign == ZonedSign::trailingSeparate) {
    if (bytes.empty())
      return false;
    const bool leading = sign == ZonedSign::leadingSeparate;
    const char c = page.ascii(static_cast<unsigned char>(leading ? bytes.front() : bytes.back()));
    if (c != '+' && c != '-')
      return false;
    negative = c == '-';
    bytes = leading ? bytes.substr(1) : bytes.substr(0, bytes.size() - 1);
    sign = ZonedSign::none;
  }
  char digits[64];
  if (bytes.empty() || bytes.size() > sizeof digits)
    return false;
  const std::size_t signAt = sign == ZonedSign::leading    ? 0
                             : sign == ZonedSign::trailing ? bytes.size() - 1
                                                           : bytes.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (i == signAt) {
      int digit = 0;
      if (!embeddedSign(b, page, digit, negative))
        return false;
      digits[i] = static_cast<char>('0' + digit);
    } else {
      const char c = page.ascii(b);
      if (c < '0' || c > '9')
        return false;
      digits[i] = c;
    }
  }
  appendDecimal(std::string_view(digits, bytes.size()), negative, scale, out);
  return true;
}

void decodeBinary(std::string_view bytes, bool isSigned, bool littleEndian, int scale,
                  std::string &out) {
  std::int64_t whole = 0;
  if (binaryWhole(bytes, isSigned, littleEndian, whole) == WholeRead::ok)
    return appendScaled(whole, scale, out);
  std::uint64_t value = 0;
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  bool negative = false;
  if (isSigned && n < 8 && (value >> (8 * n - 1)) != 0)
    value |= ~std::uint64_t{0} << (8 * n);
  if (isSigned && static_cast<std::int64_t>(value) < 0) {
    negative = true;
    value = ~value + 1;
  }
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  appendDecimal(std::string_view(digits, static_cast<std::size_t>(end - digits)), negative, scale,
                out);
}

namespace {

// IBM short floating point (COMP-1): a 24-bit fraction times a power of 16,
// exact in a double but up to 16^63, far past the float range, so float's
// shortest text (or a cast to float) cannot be used. A decimal text stands
// for the value when it rounds to it among the values of a 24-bit hexadecimal
// fraction: strictly between the halfway points to the two neighbours. Those
// points have 26 significant bits, so they are doubles too; rounding a text
// to a double is monotonic, so comparing the text's nearest double with them
// decides it exactly. The shortest such text is then printed as the double
// it reads as, which gives the same digits in the usual spelling.
void appendIbmShort(std::uint64_t fraction, int exponent, bool negative, std::string &out) {
  if (fraction == 0) {
    out += negative ? "-0" : "0";
    return;
  }
  // Unnormalised fractions (a leading zero digit) hold the same value as
  // their normalised form; the neighbours are those of the normalised form.
  while (fraction < 0x100000) {
    fraction <<= 4;
    --exponent;
  }
  const double unit = std::ldexp(1.0, 4 * exponent - 24);
  const double value = static_cast<double>(fraction) * unit;
  // Below the smallest fraction of an exponent the next value down has the
  // next exponent's unit, a sixteenth of this one.
  const double below = value - (fraction == 0x100000 ? unit / 32 : unit / 2);
  const double above = value + unit / 2;
  const auto within = [&](const char *first, const char *last, double &read) {
    std::from_chars(first, last, read);
    return below < read && read < above;
  };
  double shortest = value;
  char text[48];
  for (int digits = 1; digits <= 17; ++digits) {
    // The nearest text of this many digits; below the smallest fraction the
    // interval reaches further up than down, so the next text up may fit
    // when the nearest, below the value, does not.
    char *const start = text + 1;
    char *const end =
        std::to_chars(start, text + sizeof text, value, std::chars_format::scientific, digits - 1)
            .ptr;
    double read = 0;
    if (within(start, end, read)) {
      shortest = read;
      break;
    }
    char *digit = std::find(start, end, 'e') - 1;
    for (; digit >= start && (*digit == '9' || *digit == '.'); --digit)
      if (*digit == '9')
        *digit = '0';
    char *first = start;
    if (digit >= start)
      ++*digit;
    else
      *(first = text) = '1';
    if (within(first, end, read)) {
      shortest = read;
      break;
    }
  }
  if (negative)
    out += '-';
  out.append(text, std::to_chars(text, text + sizeof text, shortest).ptr);
}

} // namespace

bool decodeFloat(std::string_view bytes, bool ieee, bool littleEndian, std::string &out) {
  std::uint64_t raw = 0;
  const std::size_t n = bytes.size();
  for (std::size_t i = 0; i < n; ++i)
    raw = raw << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  char text[32];
  if (ieee) {
    if (n == 4) {
      const auto bits = static_cast<std::uint32_t>(raw);
      float f = 0;
      std::memcpy(&f, &bits, sizeof f);
      if (!std::isfinite(f))
        return false;
      out.append(text, std::to_chars(text, text + sizeof text, f).ptr);
      return true;
    }
    double value = 0;
    std::memcpy(&value, &raw, sizeof value);
    if (!std::isfinite(value))
      return false;
    out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
    return true;
  }
  // IBM hexadecimal: sign, excess-64 exponent of 16, fraction. Every value is
  // finite and within the double range (16^63 is 2^252).
  const int bitsAfter = static_cast<int>(8 * n) - 8;
  const bool negative = (raw >> (8 * n - 1)) & 1;
  const int exponent = static_cast<int>((raw >> bitsAfter) & 0x7F) - 64;
  const std::uint64_t fraction = raw & ((std::uint64_t{1} << bitsAfter) - 1);
  if (n == 4) {
    appendIbmShort(fraction, exponent, negative, out);
    return true;
  }
  double value = std::ldexp(static_cast<double>(fraction), 4 * exponent - bitsAfter);
  if (negative)
    value = -value;
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
  return true;
}

bool decodeDecimalFloat(std::string_view bytes, bool littleEndian, std::string &out) {
  const std::size_t n = bytes.size();
  if (n != 8 && n != 16)
    return false;
  unsigned __int128 raw = 0;
  for (std::size_t i = 0; i < n; ++i)
    raw = raw << 8 | static_cast<unsigned char>(bytes[littleEndian ? n - 1 - i : i]);
  const int bits = static_cast<int>(8 * n);
  // Exponent continuation bits: 8 for decimal64, 12 for decimal128.
  const int continuation = n == 8 ? 8 : 12;
  const int coefficientBits = bits - 1 - 5 - continuation; // 50 or 110 trailing bits
  const bool negative = (raw >> (bits - 1)) & 1;
  const auto combination = static_cast<unsigned>((raw >> (bits - 6)) & 0x1F);
  if ((combination & 0x1E) == 0x1E)
    return false; // infinity or NaN
  const unsigned __int128 one = 1;
  const int exponentBits = continuation + 2;
  int exponent = 0;
  unsigned __int128 coefficient = 0;
  if ((combination & 0x18) == 0x18) {
    // Large form: the exponent after the two 1 bits, the coefficient's top
    // bits 100.
    exponent = static_cast<int>((raw >> (coefficientBits + 1)) & ((one << exponentBits) - 1));
    coefficient = (raw & ((one << (coefficientBits + 1)) - 1)) | (one << (coefficientBits + 3));
  } else {
    exponent = static_cast<int>((raw >> (coefficientBits + 3)) & ((one << exponentBits) - 1));
    coefficient = raw & ((one << (coefficientBits + 3)) - 1);
  }
  exponent -= n == 8 ? 398 : 6176;
  // A coefficient past the format's digits is non-canonical and means zero.
  unsigned __int128 limit = 1;
  for (int i = 0; i < (n == 8 ? 16 : 34); ++i)
    limit *= 10;
  if (coefficient >= limit)
    coefficient = 0;
  char digits[40];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + static_cast<int>(coefficient % 10));
    coefficient /= 10;
  } while (coefficient != 0);
  std::reverse(digits, digits + count);
  const std::string_view text(digits, count);
  if (exponent >= -64 && exponent <= 64) {
    appendDecimal(text, negative, -exponent, out);
    return true;
  }
  appendDecimal(text, negative, 0, out);
  if (text != "0") {
    out += exponent < 0 ? "E-" : "E+";
    out += std::to_string(exponent < 0 ? -exponent : exponent);
  }
  return true;
}

namespace {

// One character position of an edit pattern: CR and DB take two (`part` 0
// and 1); V, P and S take none and are not positions.
struct EditPosition {
  EditKind kind;
  PictureSymbol symbol;
  int part;
};

// Calls `visit` for every character position of `picture`'s edit pattern, in
// order; stops and returns false as soon as it does.
template <typename Visit> bool eachPosition(const ParsedPicture &picture, Visit visit) {
  for (const EditElement &element : picture.edit) {
    if (element.kind == EditKind::assumedPoint || element.kind == EditKind::scaling ||
        element.kind == EditKind::sign)
      continue;
    const int parts =
        element.symbol == PictureSymbol::credit || element.symbol == PictureSymbol::debit ? 2 : 1;
    for (std::int64_t i = 0; i < element.count; ++i)
      for (int part = 0; part < parts; ++part)
        if (!visit(EditPosition{element.kind, element.symbol, part}))
          return false;
  }
  return true;
}

// The character an insertion symbol shows once significance has begun.
char insertionCharacter(PictureSymbol symbol) {
  switch (symbol) {
  case PictureSymbol::space:
    return ' ';
  case PictureSymbol::zeroInsert:
    return '0';
  case PictureSymbol::slash:
    return '/';
  case PictureSymbol::comma:
    return ',';
  case PictureSymbol::period:
    return '.';
  default:
    return 0;
  }
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A sign symbol's character: + shows "+" or "-", - shows " " or "-", CR and
// DB show themselves or blanks, $ itself. Sets `negative` for "-", CR and
// DB; false when `c` is none of the symbol's characters. `pending` carries
// the first half of CR or DB to the second.
bool signCharacter(PictureSymbol symbol, int part, char c, char &pending, bool &negative) {
  switch (symbol) {
  case PictureSymbol::currency:
    return c == '$';
  case PictureSymbol::plus:
  case PictureSymbol::minus:
    if (c == '-') {
      negative = true;
      return true;
    }
    return c == (symbol == PictureSymbol::plus ? '+' : ' ');
  case PictureSymbol::credit:
  case PictureSymbol::debit: {
    const char *shown = symbol == PictureSymbol::credit ? "CR" : "DB";
    if (part == 0) {
      pending = c;
      return c == ' ' || c == shown[0];
    }
    if (pending == ' ')
      return c == ' ';
    negative = true;
    return c == shown[1];
  }
  default:
    return false;
  }
}

// What the picture's zero looks like when no digit position must show a
// digit: all blanks, or with an asterisk all asterisks but the decimal point.
struct SuppressedZero {
  bool possible = true; // no 9 position
  bool asterisk = false;
};

SuppressedZero suppressedZero(const ParsedPicture &picture) {
  SuppressedZero zero;
  for (const EditElement &element : picture.edit) {
    zero.possible = zero.possible && element.kind != EditKind::digit;
    zero.asterisk = zero.asterisk || element.symbol == PictureSymbol::asterisk;
  }
  return zero;
}

// The first and last position of the floating insertion string, the last
// extended over the insertion characters right after it (they take the
// string's symbol or blanks too); -1 when there is none.
void floatingString(const ParsedPicture &picture, std::int64_t &first, std::int64_t &last,
                    PictureSymbol &symbol) {
  first = last = -1;
  std::int64_t at = 0;
  eachPosition(picture, [&](const EditPosition &position) {
    if (position.kind == EditKind::floatingInsertion) {
      if (first < 0) {
        first = at;
        symbol = position.symbol;
      }
      last = at;
    } else if (position.kind == EditKind::simpleInsertion && last == at - 1 && last >= 0) {
      last = at;
    }
    ++at;
    return true;
  });
}

// Reads numeric-edited text by IBM's editing rules, as a MOVE writes it:
// before significance (the first digit shown or the decimal point) digit and
// insertion positions show the fill (blank, or "*" when the picture has an
// asterisk), a floating string blanks and its symbol right before the first
// significant position; from there every digit position shows a digit and
// every insertion position its character. A digit may also stand in a
// suppressed position (a zero an editor chose to show).
bool readNumericEdited(const char *text, std::size_t size, const ParsedPicture &picture,
                       bool blankWhenZero, std::string &out) {
  const SuppressedZero zero = suppressedZero(picture);
  const std::string_view all(text, size);
  const bool allBlank = all.find_first_not_of(' ') == std::string_view::npos;
  if (allBlank && (blankWhenZero || (zero.possible && !zero.asterisk))) {
    appendDecimal("", false, static_cast<int>(picture.scale), out);
    return true;
  }
  if (zero.possible && zero.asterisk) {
    std::size_t at = 0;
    const bool stars = eachPosition(picture, [&](const EditPosition &position) {
      const char c = text[at++];
      return position.kind == EditKind::decimalPoint ? c == insertionCharacter(position.symbol)
                                                     : c == '*';
    });
    if (stars) {
      appendDecimal("", false, static_cast<int>(picture.scale), out);
      return true;
    }
  }
  std::int64_t floatFirst = 0;
  std::int64_t floatLast = 0;
  PictureSymbol floatSymbol = PictureSymbol::other;
  floatingString(picture, floatFirst, floatLast, floatSymbol);
  const char fill = zero.asterisk ? '*' : ' ';
  char digits[256];
  std::size_t count = 0;
  bool significant = false;
  bool symbolShown = false;
  bool negative = false;
  char pending = 0;
  std::int64_t at = 0;
  // A character that may be the floating string's symbol: "$", "+" or "-"
  // ("-" floating shows a blank for a positive value, read as a blank).
  const auto floatingSymbol = [&](char c) {
    if (symbolShown)
      return false;
    char unused = 0;
    if (c == ' ' || !signCharacter(floatSymbol, 0, c, unused, negative))
      return false;
    symbolShown = true;
    return true;
  };
  // Significance begins: a floating string before it must have shown its symbol.
  const auto begin = [&]() {
    if (!significant && floatFirst >= 0 && at > floatFirst && !symbolShown &&
        floatSymbol != PictureSymbol::minus)
      return false;
    significant = true;
    return true;
  };
  const auto digit = [&](char c) {
    if (count == sizeof digits)
      return false;
    digits[count++] = c;
    return true;
  };
  // An S in an edited picture signs it as a zoned number is signed: the
  // last digit carries the sign in its zone ("305.0L" is -305.03).
  std::int64_t overpunched = -1;
  if (picture.sign == PictureSign::s) {
    std::int64_t position = 0;
    eachPosition(picture, [&](const EditPosition &each) {
      if (each.kind == EditKind::digit)
        overpunched = position;
      ++position;
      return true;
    });
  }
  const auto signedDigit = [&](char c) {
    char value = c;
    if (c == '{' || c == '}') {
      value = '0';
      negative = c == '}';
    } else if (c >= 'A' && c <= 'I') {
      value = static_cast<char>('1' + (c - 'A'));
    } else if (c >= 'J' && c <= 'R') {
      value = static_cast<char>('1' + (c - 'J'));
      negative = true;
    }
    return isDigit(value) && begin() && digit(value);
  };
  const bool fits = eachPosition(picture, [&](const EditPosition &position) {
    const char c = text[at];
    const bool inFloat = floatFirst >= 0 && at >= floatFirst && at <= floatLast;
    bool ok = false;
    switch (position.kind) {
    case EditKind::digit:
      ok = at == overpunched ? signedDigit(c) : isDigit(c) && begin() && digit(c);
      break;
    case EditKind::zeroSuppression:
      if (isDigit(c))
        ok = begin() && digit(c);
      else
        ok = !significant && c == fill && digit('0');
      break;
    case EditKind::floatingInsertion: {
      const bool first = at == floatFirst;
      if (significant)
        ok = !first && isDigit(c) && digit(c);
      else if (isDigit(c))
        ok = !first && begin() && digit(c);
      else if (c == ' ')
        ok = !symbolShown && (first || digit('0'));
      else
        ok = floatingSymbol(c) && (first || digit('0'));
      break;
    }
    case EditKind::simpleInsertion:
      if (significant)
        ok = c == insertionCharacter(position.symbol);
      else if (inFloat)
        ok = (c == ' ' && !symbolShown) || floatingSymbol(c);
      else
        ok = c == fill;
      break;
    case EditKind::decimalPoint:
      ok = c == insertionCharacter(position.symbol) && begin();
      break;
    case EditKind::fixedInsertion:
      ok = signCharacter(position.symbol, position.part, c, pending, negative);
      break;
    default:
      break;
    }
    ++at;
    return ok;
  });
  if (!fits || !significant || count != static_cast<std::size_t>(picture.digits))
    return false;
  appendDecimal(std::string_view(digits, count), negative, static_cast<int>(picture.scale), out);
  return true;
}

// Reads external floating-point text (+9(2).9(2)E+9(2)): the mantissa's sign
// (+ shows "+" or "-", - a blank or "-"), its digits with the point, "E",
// the exponent's sign and digits, every position as the picture places it.
bool readExternalFloat(const char *text, const ParsedPicture &picture, std::string &out) {
  std::string integer;
  std::string fraction;
  std::string exponent;
  bool negative = false;
  bool exponentNegative = false;
  bool exponentSigned = false;
  bool afterPoint = false;
  bool afterE = false;
  std::size_t at = 0;
  const bool fits = [&] {
    for (const EditElement &element : picture.edit) {
      // V takes no position but ends the integer digits as "." does.
      if (element.kind == EditKind::assumedPoint) {
        afterPoint = true;
        continue;
      }
      if (element.kind == EditKind::sign || element.kind == EditKind::scaling)
        continue;
      for (std::int64_t i = 0; i < element.count; ++i) {
        const char c = text[at++];
        switch (element.kind) {
        case EditKind::fixedInsertion: {
          if (element.symbol != PictureSymbol::plus && element.symbol != PictureSymbol::minus)
            return false;
          char unused = 0;
          bool minus = false;
          if (!signCharacter(element.symbol, 0, c, unused, minus))
            return false;
          (afterE ? exponentNegative : negative) = minus;
          exponentSigned = exponentSigned || (afterE && c != ' ');
          break;
        }
        case EditKind::digit:
          if (!isDigit(c))
            return false;
          (afterE ? exponent : afterPoint ? fraction : integer) += c;
          break;
        case EditKind::decimalPoint:
          if (afterE || c != insertionCharacter(element.symbol))
            return false;
          afterPoint = true;
          break;
        case EditKind::exponent:
          if (c != 'E' || afterE)
            return false;
          afterE = true;
          break;
        default:
          return false;
        }
      }
    }
    return true;
  }();
  if (!fits || !afterE || exponent.empty() || integer.size() + fraction.size() == 0)
    return false;
  const std::size_t lead = std::min(integer.find_first_not_of('0'), integer.size());
  const bool zero = integer.find_first_not_of('0') == std::string::npos &&
                    fraction.find_first_not_of('0') == std::string::npos;
  if (negative && !zero)
    out += '-';
  out += lead == integer.size() ? std::string_view("0") : std::string_view(integer).substr(lead);
  if (!fraction.empty()) {
    out += '.';
    out += fraction;
  }
  out += 'E';
  if (exponentSigned)
    out += exponentNegative ? '-' : '+';
  out += exponent;
  return true;
}

} // namespace

bool decodeEdited(std::string_view bytes, const ParsedPicture &picture, bool blankWhenZero,
                  const CodePage &page, std::string &out) {
  if (static_cast<std::int64_t>(bytes.size()) != picture.size || bytes.size() > 4096)
    return false;
  char text[4096];
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text[i] = page.ascii(static_cast<unsigned char>(bytes[i]));
    if (text[i] == 0)
      return false;
  }
  if (picture.category == Category::externalFloatingPoint)
    return readExternalFloat(text, picture, out);
  if (picture.category == Category::numericEdited)
    return readNumericEdited(text, bytes.size(), picture, blankWhenZero, out);
  return false;
}

bool integerOf(std::string_view number, std::int64_t &value) {
  const std::size_t point = number.find('.');
  if (point != std::string_view::npos) {
    if (number.find_first_not_of('0', point + 1) != std::string_view::npos)
      return false;
    number = number.substr(0, point);
  }
  const auto result = std::from_chars(number.data(), number.data() + number.size(), value);
  return result.ec == std::errc() && result.ptr == number.data() + number.size();
}

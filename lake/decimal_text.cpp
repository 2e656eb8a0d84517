// Decimal text to scaled whole numbers, digit by digit.
#include "lake/decimal_text.h"

#include <algorithm>

namespace {

// The digits of `text` scaled to `scale` decimals, without sign or point;
// false when it is not a plain decimal number or would lose digits.
bool scaledDigits(std::string_view text, int scale, bool &negative, std::string &digits) {
  negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  std::string_view whole = text.substr(0, point);
  std::string_view fraction = point == std::string_view::npos ? "" : text.substr(point + 1);
  if (whole.empty() && fraction.empty())
    return false;
  digits.clear();
  for (const std::string_view part : {whole, fraction})
    for (const char c : part)
      if (c < '0' || c > '9')
        return false;
  if (scale < 0)
    return false;
  digits.append(whole);
  const auto wanted = static_cast<std::size_t>(scale);
  if (fraction.size() > wanted) {
    // Decimals past the scale must be zeros.
    if (fraction.substr(wanted).find_first_not_of('0') != std::string_view::npos)
      return false;
    fraction = fraction.substr(0, wanted);
  }
  digits.append(fraction);
  digits.append(wanted - fraction.size(), '0');
  const std::size_t first = digits.find_first_not_of('0');
  digits.erase(0, first == std::string::npos ? digits.size() : first);
  if (digits.empty())
    negative = false;
  return true;
}

} // namespace

bool unscaledInt64(std::string_view text, int scale, std::int64_t &out) {
  // The common case, the decoder's own form ([-]digits[.digits]), read in
  // one tight pass without a copy: up to 18 digits, which no scaling of at
  // most 18 places can take past the int64 range.
  {
    const char *at = text.data();
    const char *const end = at + text.size();
    const bool minus = at < end && *at == '-';
    at += minus || (at < end && *at == '+') ? 1 : 0;
    std::uint64_t value = 0;
    const char *const whole = at;
    while (at < end && static_cast<unsigned char>(*at - '0') < 10)
      value = value * 10 + static_cast<unsigned char>(*at++ - '0');
    auto digits = at - whole;
    std::ptrdiff_t places = 0;
    if (at < end && *at == '.') {
      const char *const fraction = ++at;
      while (at < end && static_cast<unsigned char>(*at - '0') < 10)
        value = value * 10 + static_cast<unsigned char>(*at++ - '0');
      places = at - fraction;
      digits += places;
    }
    if (at == end && digits > 0 && digits <= 18 && scale >= 0 && places <= scale &&
        digits - places + scale <= 18) {
      for (auto i = places; i < scale; ++i)
        value *= 10;
      out = minus ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
      return true;
    }
  }
  bool negative = false;
  thread_local std::string digits;
  if (!scaledDigits(text, scale, negative, digits) || digits.size() > 19)
    return false;
  std::uint64_t value = 0;
  for (const char c : digits) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10)
      return false;
    value = value * 10 + digit;
  }
  const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
  if (value > limit)
    return false;
  out = negative ? static_cast<std::int64_t>(~value + 1) : static_cast<std::int64_t>(value);
  return true;
}

bool wholeBytes(std::int64_t whole, std::size_t width, std::string &out) {
  // The bits that differ from the sign, and one sign bit: the fewest bytes.
  const auto bits = static_cast<std::uint64_t>(whole < 0 ? ~whole : whole);
  const int significant = bits == 0 ? 0 : 64 - __builtin_clzll(bits);
  const auto size = static_cast<std::size_t>(significant / 8 + 1);
  if (width != 0 && size > width)
    return false;
  char bytes[8];
  for (int i = 0; i < 8; ++i)
    bytes[i] = static_cast<char>(static_cast<std::uint64_t>(whole) >> (56 - 8 * i));
  const std::size_t pad = width > size ? width - size : 0;
  out.assign(pad, whole < 0 ? '\xFF' : '\0');
  out.append(bytes + 8 - size, size);
  return true;
}

bool unscaledBytes(std::string_view text, int scale, std::size_t width, std::string &out) {
  std::int64_t whole = 0;
  if (unscaledInt64(text, scale, whole))
    return wholeBytes(whole, width, out);
  bool negative = false;
  thread_local std::string digits;
  if (!scaledDigits(text, scale, negative, digits))
    return false;
  // Magnitude in base 256, least significant byte first.
  std::string magnitude;
  for (const char c : digits) {
    unsigned carry = static_cast<unsigned>(c - '0');
    for (char &byte : magnitude) {
      const unsigned v = static_cast<unsigned char>(byte) * 10u + carry;
      byte = static_cast<char>(v & 0xFF);
      carry = v >> 8;
    }
    if (carry != 0)
      magnitude += static_cast<char>(carry);
  }
  if (negative) {
    // Two's complement: invert and add one.
    unsigned carry = 1;
    for (char &byte : magnitude) {
      const unsigned v = (~static_cast<unsigned char>(byte) & 0xFFu) + carry;
      byte = static_cast<char>(v & 0xFF);
      carry = v >> 8;
    }
  }
  const char fill = negative ? '\xFF' : '\0';
  // One sign bit at least: a byte more when the top bit says the other sign.
  if (magnitude.empty() || ((static_cast<unsigned char>(magnitude.back()) & 0x80) != 0) != negative)
    magnitude += fill;
  // The fewest bytes: drop sign bytes the next byte repeats.
  while (magnitude.size() > 1 && magnitude.back() == fill &&
         ((static_cast<unsigned char>(magnitude[magnitude.size() - 2]) & 0x80) != 0) == negative)
    magnitude.pop_back();
  if (width != 0) {
    if (magnitude.size() > width)
      return false;
    magnitude.append(width - magnitude.size(), fill);
  }
  out.assign(magnitude.rbegin(), magnitude.rend());
  return true;
}

// Decimal text to scaled whole numbers, digit by digit.
#include "lake/decimal_text.h"

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

bool unscaledBytes(std::string_view text, int scale, std::size_t width, std::string &out) {
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

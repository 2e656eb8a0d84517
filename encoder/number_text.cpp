// Number text read exactly: JSON number grammar and scaling by powers of ten on the digits.
#include "encoder/number_text.h"

#include <algorithm>
#include <cstring>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool parseNumber(std::string_view text, NumberText &number) {
  number = NumberText{};
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    number.negative = text[i] == '-';
    ++i;
  }
  const std::size_t integerStart = i;
  while (i < text.size() && isDigit(text[i]))
    ++i;
  number.integer = text.substr(integerStart, i - integerStart);
  if (i < text.size() && text[i] == '.') {
    const std::size_t fractionStart = ++i;
    while (i < text.size() && isDigit(text[i]))
      ++i;
    number.fraction = text.substr(fractionStart, i - fractionStart);
    if (number.fraction.empty())
      return false;
  }
  if (number.integer.empty())
    return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
      negative = text[i++] == '-';
    const std::size_t exponentStart = i;
    std::int64_t exponent = 0;
    for (; i < text.size() && isDigit(text[i]); ++i)
      // Past a million the number fits no item either way; the cap keeps
      // the arithmetic below from overflowing.
      exponent = exponent > 1'000'000 ? exponent : exponent * 10 + (text[i] - '0');
    if (i == exponentStart)
      return false;
    number.exponent = negative ? -exponent : exponent;
    number.hasExponent = true;
  }
  if (i != text.size())
    return false;
  if (number.negative && isZero(number))
    number.negative = false;
  return true;
}

bool isZero(const NumberText &number) {
  return number.integer.find_first_not_of('0') == std::string_view::npos &&
         number.fraction.find_first_not_of('0') == std::string_view::npos;
}

Fit scaledDigits(const NumberText &number, std::int64_t scale, std::int64_t digits, char *out) {
  const std::string_view integer = number.integer;
  const std::string_view fraction = number.fraction;
  if (number.exponent == 0 && static_cast<std::int64_t>(fraction.size()) <= scale &&
      scale <= digits) {
    // The usual number, as the decoder writes it: the integer digits, the
    // fraction, zeros for the places it does not write. Loops, not calls:
    // the pieces are a few bytes each.
    std::size_t first = 0;
    while (first < integer.size() && integer[first] == '0')
      ++first;
    const auto whole = static_cast<std::int64_t>(integer.size() - first);
    if (whole > digits - scale)
      return Fit::tooManyDigits;
    char *at = out;
    for (std::int64_t i = whole + scale; i < digits; ++i)
      *at++ = '0';
    for (std::size_t i = first; i < integer.size(); ++i)
      *at++ = integer[i];
    for (const char c : fraction)
      *at++ = c;
    for (std::int64_t i = static_cast<std::int64_t>(fraction.size()); i < scale; ++i)
      *at++ = '0';
    return Fit::ok;
  }
  // Otherwise the digits are the integer part followed by the fraction;
  // positions count in that concatenation.
  const auto integerSize = static_cast<std::int64_t>(integer.size());
  const std::int64_t total = integerSize + static_cast<std::int64_t>(fraction.size());
  std::int64_t first = static_cast<std::int64_t>(
      std::min(integer.find_first_not_of('0'), integer.size()));
  if (first == integerSize)
    first += static_cast<std::int64_t>(std::min(fraction.find_first_not_of('0'), fraction.size()));
  if (first == total) {
    std::memset(out, '0', static_cast<std::size_t>(digits));
    return Fit::ok;
  }
  // The value is these digits times 10^shift once scaled.
  const std::int64_t shift =
      number.exponent - static_cast<std::int64_t>(fraction.size()) + scale;
  std::int64_t end = total;
  if (shift < 0) {
    // The places dropped must all be zeros.
    end = total + shift;
    const std::int64_t from = std::max(end, first);
    if (from < integerSize &&
        integer.find_first_not_of('0', static_cast<std::size_t>(from)) != std::string_view::npos)
      return Fit::tooManyDecimals;
    if (fraction.find_first_not_of('0', static_cast<std::size_t>(std::max<std::int64_t>(
                                               from - integerSize, 0))) != std::string_view::npos)
      return Fit::tooManyDecimals;
  }
  const std::int64_t zeros = shift > 0 ? shift : 0;
  const std::int64_t count = end - first;
  if (count + zeros > digits)
    return Fit::tooManyDigits;
  char *at = out;
  std::memset(at, '0', static_cast<std::size_t>(digits - count - zeros));
  at += digits - count - zeros;
  if (first < integerSize) {
    const std::int64_t part = std::min(end, integerSize) - first;
    std::memcpy(at, integer.data() + first, static_cast<std::size_t>(part));
    at += part;
  }
  if (end > integerSize) {
    const std::int64_t from = std::max(first, integerSize) - integerSize;
    std::memcpy(at, fraction.data() + from, static_cast<std::size_t>(end - integerSize - from));
    at += end - integerSize - from;
  }
  std::memset(at, '0', static_cast<std::size_t>(zeros));
  return Fit::ok;
}

unsigned __int128 digitsValue(const char *digits, std::int64_t count) {
  // Leading zeros first: most binary items hold far fewer digits than 38.
  while (count > 19 && *digits == '0') {
    ++digits;
    --count;
  }
  if (count <= 19) {
    std::uint64_t small = 0;
    for (std::int64_t i = 0; i < count; ++i)
      small = small * 10 + static_cast<unsigned>(digits[i] - '0');
    return small;
  }
  unsigned __int128 value = 0;
  for (std::int64_t i = 0; i < count; ++i)
    value = value * 10 + static_cast<unsigned>(digits[i] - '0');
  return value;
}

// Number text read exactly: JSON number grammar and scaling by powers of ten on the digits.
#include "encoder/number_text.h"

#include <algorithm>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The digit at `i` of the integer digits followed by the fraction digits.
char digitAt(const NumberText &number, std::size_t i) {
  return i < number.integer.size() ? number.integer[i] : number.fraction[i - number.integer.size()];
}

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
  if (isZero(number))
    number.negative = false;
  return true;
}

bool isZero(const NumberText &number) {
  return number.integer.find_first_not_of('0') == std::string_view::npos &&
         number.fraction.find_first_not_of('0') == std::string_view::npos;
}

Fit scaledDigits(const NumberText &number, std::int64_t scale, std::int64_t digits, char *out) {
  const auto total = static_cast<std::int64_t>(number.integer.size() + number.fraction.size());
  std::int64_t first = 0;
  while (first < total && digitAt(number, static_cast<std::size_t>(first)) == '0')
    ++first;
  for (std::int64_t i = 0; i < digits; ++i)
    out[i] = '0';
  if (first == total)
    return Fit::ok;
  // The value is digits x 10^shift once scaled.
  const std::int64_t shift =
      number.exponent - static_cast<std::int64_t>(number.fraction.size()) + scale;
  std::int64_t end = total;
  if (shift < 0) {
    // The places dropped must all be zeros.
    const std::int64_t keep = total + shift;
    for (std::int64_t i = std::max<std::int64_t>(keep, first); i < total; ++i)
      if (digitAt(number, static_cast<std::size_t>(i)) != '0')
        return Fit::tooManyDecimals;
    end = keep;
  }
  const std::int64_t zeros = shift > 0 ? shift : 0;
  if (end - first + zeros > digits)
    return Fit::tooManyDigits;
  char *at = out + digits - zeros - (end - first);
  for (std::int64_t i = first; i < end; ++i)
    *at++ = digitAt(number, static_cast<std::size_t>(i));
  return Fit::ok;
}

unsigned __int128 digitsValue(const char *digits, std::int64_t count) {
  unsigned __int128 value = 0;
  for (std::int64_t i = 0; i < count; ++i)
    value = value * 10 + static_cast<unsigned>(digits[i] - '0');
  return value;
}

// Field bytes from values: zoned, packed, binary, floating point (IBM, IEEE, decimal),
// numeric-edited and external floating-point text.
#include "encoder/field_encoding.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

NumberFit numberFit(Fit fit) {
  switch (fit) {
  case Fit::ok:
    return NumberFit::ok;
  case Fit::tooManyDigits:
    return NumberFit::tooManyDigits;
  case Fit::tooManyDecimals:
    return NumberFit::tooManyDecimals;
  }
  return NumberFit::ok;
}

void writeZoned(const char *digits, std::int64_t count, bool negative, bool isSigned,
                ZonedSign sign, const TextBytes &page, char *out) {
  const bool separate = sign == ZonedSign::leadingSeparate || sign == ZonedSign::trailingSeparate;
  char *at = out;
  if (sign == ZonedSign::leadingSeparate)
    *at++ = page.byte(negative ? '-' : '+');
  if (page.ebcdic()) {
    // Every EBCDIC page has its digits at X'F0' to X'F9'.
    for (std::int64_t i = 0; i < count; ++i)
      at[i] = static_cast<char>(digits[i] | 0xC0);
  } else {
    for (std::int64_t i = 0; i < count; ++i)
      at[i] = page.byte(digits[i]);
  }
  if (sign == ZonedSign::trailingSeparate)
    at[count] = page.byte(negative ? '-' : '+');
  if (!isSigned || separate || count == 0)
    return;
  const std::int64_t signAt = sign == ZonedSign::leading ? 0 : count - 1;
  const int digit = digits[signAt] - '0';
  if (page.ebcdic())
    at[signAt] = static_cast<char>((negative ? 0xD0 : 0xC0) | digit);
  else if (negative)
    at[signAt] = static_cast<char>(0x70 + digit);
}

void writePacked(const char *digits, std::int64_t count, bool negative, bool isSigned,
                 bool unsignedC, std::int64_t length, char *out) {
  // 2 * length - 1 digit nibbles, then the sign; the digits fill them from the right.
  const int sign = !isSigned ? (unsignedC ? 0xC : 0xF) : negative ? 0xD : 0xC;
  std::int64_t nibble = 2 * length - 1; // the sign's
  std::int64_t d = count - 1;
  for (std::int64_t b = length - 1; b >= 0; --b) {
    const int low = nibble == 2 * length - 1 ? sign : d >= 0 ? digits[d--] - '0' : 0;
    const int high = d >= 0 ? digits[d--] - '0' : 0;
    out[b] = static_cast<char>(high << 4 | low);
    nibble -= 2;
  }
}

void writeUnsignedPacked(const char *digits, std::int64_t count, std::int64_t length, char *out) {
  const std::int64_t lead = 2 * length - count;
  const auto digitAt = [&](std::int64_t i) { return i < lead ? 0 : digits[i - lead] - '0'; };
  for (std::int64_t b = 0; b < length; ++b)
    out[b] = static_cast<char>(digitAt(2 * b) << 4 | digitAt(2 * b + 1));
}

void writeBinary(unsigned __int128 magnitude, bool negative, std::int64_t length,
                 bool littleEndian, char *out) {
  unsigned __int128 value = negative ? ~magnitude + 1 : magnitude;
  for (std::int64_t i = 0; i < length; ++i) {
    out[littleEndian ? i : length - 1 - i] = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
}

unsigned __int128 binaryLimit(std::int64_t length, bool isSigned, bool negative) {
  const unsigned bits = static_cast<unsigned>(8 * length);
  const unsigned __int128 one = 1;
  if (!isSigned)
    return (one << bits) - 1;
  return negative ? one << (bits - 1) : (one << (bits - 1)) - 1;
}

namespace {

// An unsigned integer of any size, for rounding a decimal exactly: little-endian 32-bit limbs.
class Big {
public:
  explicit Big(std::uint32_t value = 0) {
    if (value != 0)
      limbs_.push_back(value);
  }
  void multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (std::uint32_t &limb : limbs_) {
      const std::uint64_t product = static_cast<std::uint64_t>(limb) * factor + carry;
      limb = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0)
      limbs_.push_back(static_cast<std::uint32_t>(carry));
  }
  void add(std::uint32_t value) {
    std::uint64_t carry = value;
    for (std::size_t i = 0; i < limbs_.size() && carry != 0; ++i) {
      const std::uint64_t sum = static_cast<std::uint64_t>(limbs_[i]) + carry;
      limbs_[i] = static_cast<std::uint32_t>(sum);
      carry = sum >> 32;
    }
    if (carry != 0)
      limbs_.push_back(static_cast<std::uint32_t>(carry));
  }
  Big shifted(std::int64_t bits) const {
    Big result;
    if (limbs_.empty())
      return result;
    const auto whole = static_cast<std::size_t>(bits / 32);
    const auto part = static_cast<unsigned>(bits % 32);
    result.limbs_.assign(whole, 0);
    std::uint32_t carry = 0;
    for (const std::uint32_t limb : limbs_) {
      result.limbs_.push_back(part == 0 ? limb : limb << part | carry);
      carry = part == 0 ? 0 : limb >> (32 - part);
    }
    if (carry != 0)
      result.limbs_.push_back(carry);
    return result;
  }
  std::int64_t bitLength() const {
    if (limbs_.empty())
      return 0;
    std::int64_t bits = 32 * static_cast<std::int64_t>(limbs_.size() - 1);
    for (std::uint32_t top = limbs_.back(); top != 0; top >>= 1)
      ++bits;
    return bits;
  }
  int compare(const Big &other) const {
    if (limbs_.size() != other.limbs_.size())
      return limbs_.size() < other.limbs_.size() ? -1 : 1;
    for (std::size_t i = limbs_.size(); i-- > 0;)
      if (limbs_[i] != other.limbs_[i])
        return limbs_[i] < other.limbs_[i] ? -1 : 1;
    return 0;
  }
  // this -= other, other not larger.
  void subtract(const Big &other) {
    std::int64_t borrow = 0;
    for (std::size_t i = 0; i < limbs_.size(); ++i) {
      std::int64_t difference = static_cast<std::int64_t>(limbs_[i]) - borrow -
                                (i < other.limbs_.size() ? other.limbs_[i] : 0);
      borrow = difference < 0 ? 1 : 0;
      limbs_[i] = static_cast<std::uint32_t>(difference + (borrow << 32));
    }
    while (!limbs_.empty() && limbs_.back() == 0)
      limbs_.pop_back();
  }

private:
  std::vector<std::uint32_t> limbs_;
};

// 10^count.
Big powerOfTen(std::int64_t count) {
  Big value(1);
  for (std::int64_t i = 0; i < count; ++i)
    value.multiply(10);
  return value;
}

// The significant digits of `number` (no leading zeros) and the power of
// ten they are scaled by.
std::string significant(const NumberText &number, std::int64_t &exponent) {
  std::string digits;
  digits.reserve(number.integer.size() + number.fraction.size());
  digits.append(number.integer);
  digits.append(number.fraction);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  exponent = number.exponent - static_cast<std::int64_t>(number.fraction.size());
  return digits;
}

// Whether numerator < denominator * 16^power.
bool below(const Big &numerator, const Big &denominator, std::int64_t power) {
  return power >= 0 ? numerator.compare(denominator.shifted(4 * power)) < 0
                    : numerator.shifted(-4 * power).compare(denominator) < 0;
}

// The IBM hexadecimal word of a value: sign, excess-64 exponent of 16, a
// fraction of `bits` bits rounded to nearest, ties to even.
NumberFit ibmWord(const NumberText &number, int bits, std::uint64_t &word) {
  std::int64_t exponent = 0;
  std::string digits = significant(number, exponent);
  word = 0;
  if (digits.empty())
    return NumberFit::ok;
  // Outside 16^-65 .. 16^63 the answer is known without big numbers.
  const std::int64_t order = static_cast<std::int64_t>(digits.size()) + exponent;
  if (order > 77)
    return NumberFit::outOfRange;
  if (order < -80)
    return NumberFit::ok;
  Big numerator;
  for (const char c : digits) {
    numerator.multiply(10);
    numerator.add(static_cast<std::uint32_t>(c - '0'));
  }
  for (std::int64_t i = 0; i < exponent; ++i)
    numerator.multiply(10);
  Big denominator = powerOfTen(exponent < 0 ? -exponent : 0);
  // The power of 16 with 16^(k-1) <= value < 16^k.
  std::int64_t k = (numerator.bitLength() - denominator.bitLength()) / 4;
  while (!below(numerator, denominator, k))
    ++k;
  while (below(numerator, denominator, k - 1))
    --k;
  const std::int64_t shift = bits - 4 * k;
  Big dividend = shift >= 0 ? numerator.shifted(shift) : numerator;
  const Big divisor = shift >= 0 ? denominator : denominator.shifted(-shift);
  std::uint64_t fraction = 0;
  for (int b = bits; b >= 0; --b) {
    const Big part = divisor.shifted(b);
    if (dividend.compare(part) >= 0) {
      dividend.subtract(part);
      fraction |= std::uint64_t{1} << b;
    }
  }
  const int half = dividend.shifted(1).compare(divisor);
  if (half > 0 || (half == 0 && (fraction & 1) != 0))
    ++fraction;
  if (fraction == std::uint64_t{1} << bits) {
    fraction >>= 4;
    ++k;
  }
  const std::int64_t biased = k + 64;
  if (biased > 127)
    return NumberFit::outOfRange;
  if (biased < 0)
    return NumberFit::ok;
  word = (number.negative ? std::uint64_t{1} << (bits + 7) : 0) |
         static_cast<std::uint64_t>(biased) << bits | fraction;
  return NumberFit::ok;
}

// The number as C text for strtod: sign, digits, point, exponent.
std::string cText(const NumberText &number) {
  std::string text = number.negative ? "-" : "";
  text.append(number.integer);
  if (!number.fraction.empty()) {
    text += '.';
    text.append(number.fraction);
  }
  text += 'e';
  text += std::to_string(number.exponent);
  return text;
}

void putWord(std::uint64_t word, std::int64_t length, bool littleEndian, char *out) {
  for (std::int64_t i = 0; i < length; ++i) {
    out[littleEndian ? i : length - 1 - i] = static_cast<char>(word & 0xFF);
    word >>= 8;
  }
}

} // namespace

NumberFit writeFloat(const NumberText &number, std::int64_t length, bool ieee, bool littleEndian,
                     char *out) {
  std::uint64_t word = 0;
  if (!ieee) {
    const NumberFit fit = ibmWord(number, length == 4 ? 24 : 56, word);
    if (fit != NumberFit::ok)
      return fit;
  } else if (length == 4) {
    const std::string text = cText(number);
    const float value = std::strtof(text.c_str(), nullptr);
    if (std::isinf(value))
      return NumberFit::outOfRange;
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    word = bits;
  } else {
    const std::string text = cText(number);
    const double value = std::strtod(text.c_str(), nullptr);
    if (std::isinf(value))
      return NumberFit::outOfRange;
    std::memcpy(&word, &value, sizeof word);
  }
  putWord(word, length, littleEndian, out);
  return NumberFit::ok;
}

NumberFit writeDecimalFloat(const NumberText &number, std::int64_t length, bool littleEndian,
                            char *out) {
  const bool wide = length == 16;
  const std::int64_t precision = wide ? 34 : 16;
  const std::int64_t least = wide ? -6176 : -398;
  const std::int64_t most = wide ? 6111 : 369;
  std::int64_t exponent = 0;
  std::string digits = significant(number, exponent);
  if (digits.empty()) {
    // Zero keeps its places ("0.00" is 0E-2) as far as the format reaches.
    exponent = std::clamp(exponent, least, most);
  }
  while (static_cast<std::int64_t>(digits.size()) > precision && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  if (static_cast<std::int64_t>(digits.size()) > precision)
    return NumberFit::tooManyDigits;
  while (exponent > most && !digits.empty() && static_cast<std::int64_t>(digits.size()) < precision) {
    digits += '0';
    --exponent;
  }
  while (exponent < least && !digits.empty() && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  if (exponent > most)
    return NumberFit::outOfRange;
  if (exponent < least)
    return NumberFit::tooManyDecimals;
  const unsigned __int128 coefficient =
      digitsValue(digits.data(), static_cast<std::int64_t>(digits.size()));
  const auto biased = static_cast<unsigned __int128>(exponent - least);
  const unsigned __int128 one = 1;
  const int bits = wide ? 128 : 64;
  // Trailing coefficient bits of the small form: 53 or 113.
  const int small = wide ? 113 : 53;
  unsigned __int128 word = 0;
  if (coefficient < one << small) {
    word = biased << small | coefficient;
  } else {
    // Large form: 11, the exponent, the coefficient less its implied 100 prefix.
    word = (one * 3) << (bits - 3) | biased << (small - 2) | (coefficient - (one << small));
  }
  if (number.negative)
    word |= one << (bits - 1);
  for (std::int64_t i = 0; i < length; ++i) {
    out[littleEndian ? i : length - 1 - i] = static_cast<char>(word & 0xFF);
    word >>= 8;
  }
  return NumberFit::ok;
}

namespace {

// One character position of an edited picture.
struct Position {
  EditKind kind;
  PictureSymbol symbol;
  int part = 0; // 0, or 1 for the second letter of CR and DB
};

// The positions of the edit pattern, in order; V, P and S take none.
int expand(const ParsedPicture &picture, Position *positions, int room) {
  int count = 0;
  for (const EditElement &element : picture.edit) {
    if (element.kind == EditKind::assumedPoint || element.kind == EditKind::scaling ||
        element.kind == EditKind::sign)
      continue;
    const bool twoLetters =
        element.symbol == PictureSymbol::credit || element.symbol == PictureSymbol::debit;
    for (std::int64_t i = 0; i < element.count; ++i)
      for (int part = 0; part < (twoLetters ? 2 : 1); ++part) {
        if (count == room)
          return -1;
        positions[count++] = Position{element.kind, element.symbol, part};
      }
  }
  return count;
}

// What a sign symbol shows for a value of this sign.
char signCharacter(PictureSymbol symbol, bool negative, int part) {
  switch (symbol) {
  case PictureSymbol::plus:
    return negative ? '-' : '+';
  case PictureSymbol::minus:
    return negative ? '-' : ' ';
  case PictureSymbol::credit:
    return negative ? "CR"[part] : ' ';
  case PictureSymbol::debit:
    return negative ? "DB"[part] : ' ';
  case PictureSymbol::currency:
    return '$';
  default:
    return ' ';
  }
}

// The character an insertion symbol stands for where it is shown.
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
    return ' ';
  }
}

bool holdsDigit(const Position &position) {
  return position.kind == EditKind::digit || position.kind == EditKind::zeroSuppression ||
         position.kind == EditKind::floatingInsertion;
}

constexpr int mostPositions = 256;

} // namespace

NumberFit writeEdited(const NumberText &number, const ParsedPicture &picture, bool blankWhenZero,
                      const TextBytes &page, std::int64_t length, char *out) {
  char digits[mostPositions];
  if (picture.digits > mostPositions)
    return NumberFit::outOfRange;
  const Fit fit = scaledDigits(number, picture.scale, picture.digits, digits);
  if (fit != Fit::ok)
    return numberFit(fit);
  const bool zero = isZero(number);
  const bool negative = number.negative && !zero;
  if (negative && picture.sign == PictureSign::none)
    return NumberFit::negative;
  Position positions[mostPositions];
  const int count = expand(picture, positions, mostPositions);
  if (count < 0 || count != length)
    return NumberFit::outOfRange;
  char text[mostPositions];
  if (zero && blankWhenZero) {
    std::memset(out, page.space(), static_cast<std::size_t>(length));
    return NumberFit::ok;
  }
  bool asterisk = false;
  bool allSuppressed = true;
  for (int i = 0; i < count; ++i) {
    asterisk = asterisk || positions[i].symbol == PictureSymbol::asterisk;
    allSuppressed = allSuppressed && positions[i].kind != EditKind::digit;
  }
  if (zero && allSuppressed) {
    // Every digit position suppressed and nothing to show: blanks, or
    // asterisks around the decimal point.
    for (int i = 0; i < count; ++i)
      text[i] = !asterisk ? ' '
                : positions[i].kind == EditKind::decimalPoint
                    ? insertionCharacter(positions[i].symbol)
                    : '*';
  } else {
    // Suppression ends at the first 9, the decimal point or the first
    // nonzero digit; the first floating position holds no digit.
    int start = count;
    int floatingFirst = -1;
    int floatingLast = -1;
    int digit = 0;
    char shown[mostPositions];
    for (int i = 0; i < count; ++i) {
      const Position &position = positions[i];
      if (position.kind == EditKind::floatingInsertion) {
        if (floatingFirst < 0) {
          floatingFirst = floatingLast = i;
          shown[i] = 0;
          continue;
        }
        floatingLast = i;
      }
      shown[i] = holdsDigit(position) ? digits[digit++] : 0;
      if (start == count &&
          (position.kind == EditKind::digit || position.kind == EditKind::decimalPoint ||
           (holdsDigit(position) && shown[i] != '0')))
        start = i;
    }
    // Insertion characters right after a floating string belong to it.
    while (floatingLast >= 0 && floatingLast + 1 < count &&
           positions[floatingLast + 1].kind == EditKind::simpleInsertion)
      ++floatingLast;
    const int symbolAt = floatingFirst >= 0 && start - 1 >= floatingFirst
                             ? std::min(start - 1, floatingLast)
                             : -1;
    const PictureSymbol floating =
        floatingFirst >= 0 ? positions[floatingFirst].symbol : PictureSymbol::other;
    for (int i = 0; i < count; ++i) {
      const Position &position = positions[i];
      char c = ' ';
      if (position.kind == EditKind::fixedInsertion)
        c = signCharacter(position.symbol, negative, position.part);
      else if (i == symbolAt)
        c = signCharacter(floating, negative, 0);
      else if (i < start)
        c = asterisk && position.kind != EditKind::floatingInsertion ? '*' : ' ';
      else if (holdsDigit(position))
        c = shown[i];
      else if (position.kind == EditKind::simpleInsertion || position.kind == EditKind::decimalPoint)
        c = insertionCharacter(position.symbol);
      text[i] = c;
    }
  }
  if (picture.sign == PictureSign::s) {
    // S in an edited picture: the last 9 carries the sign in its zone, as
    // a zoned number's last digit does ("305.0L" for -305.03).
    char *signedDigit = nullptr;
    for (int i = 0; i < count; ++i)
      if (positions[i].kind == EditKind::digit)
        signedDigit = &text[i];
    if (signedDigit == nullptr) {
      if (negative)
        return NumberFit::negative;
    } else if (const char digit = *signedDigit; digit >= '0' && digit <= '9') {
      static constexpr char positiveZones[] = "{ABCDEFGHI";
      static constexpr char negativeZones[] = "}JKLMNOPQR";
      *signedDigit = (negative ? negativeZones : positiveZones)[digit - '0'];
    }
  }
  for (int i = 0; i < count; ++i)
    out[i] = page.byte(text[i]);
  return NumberFit::ok;
}

NumberFit writeExternalFloat(const NumberText &number, const ParsedPicture &picture,
                             const TextBytes &page, std::int64_t length, char *out) {
  // The picture's parts: mantissa sign, integer and fraction digits, the
  // point (shown or not), exponent sign and digits.
  PictureSymbol mantissaSign = PictureSymbol::plus;
  PictureSymbol exponentSign = PictureSymbol::plus;
  std::int64_t integerDigits = 0;
  std::int64_t fractionDigits = 0;
  std::int64_t exponentDigits = 0;
  PictureSymbol point = PictureSymbol::other;
  bool afterPoint = false;
  bool afterE = false;
  for (const EditElement &element : picture.edit) {
    if (element.kind == EditKind::exponent)
      afterE = true;
    else if (element.kind == EditKind::fixedInsertion)
      (afterE ? exponentSign : mantissaSign) = element.symbol;
    else if (element.kind == EditKind::decimalPoint || element.kind == EditKind::assumedPoint) {
      afterPoint = true;
      point = element.kind == EditKind::decimalPoint ? element.symbol : PictureSymbol::other;
    } else if (element.kind == EditKind::digit)
      (afterE ? exponentDigits : afterPoint ? fractionDigits : integerDigits) += element.count;
  }
  const std::int64_t mantissaDigits = integerDigits + fractionDigits;
  if (mantissaDigits > mostPositions || exponentDigits > 18)
    return NumberFit::outOfRange;
  char mantissa[mostPositions];
  std::int64_t exponent = 0;
  if (number.hasExponent && static_cast<std::int64_t>(number.integer.size()) == integerDigits &&
      static_cast<std::int64_t>(number.fraction.size()) <= fractionDigits) {
    // Given in the picture's own shape: kept as written.
    std::memset(mantissa, '0', static_cast<std::size_t>(mantissaDigits));
    // No fraction is an empty view, whose data may be null: no copy then.
    std::copy(number.integer.begin(), number.integer.end(), mantissa);
    std::copy(number.fraction.begin(), number.fraction.end(), mantissa + integerDigits);
    exponent = number.exponent;
  } else {
    std::int64_t scaleExponent = 0;
    std::string digits = significant(number, scaleExponent);
    std::memset(mantissa, '0', static_cast<std::size_t>(mantissaDigits));
    if (!digits.empty()) {
      exponent = static_cast<std::int64_t>(digits.size()) + scaleExponent - integerDigits;
      while (static_cast<std::int64_t>(digits.size()) > mantissaDigits && digits.back() == '0')
        digits.pop_back();
      if (static_cast<std::int64_t>(digits.size()) > mantissaDigits)
        return NumberFit::tooManyDigits;
      std::memcpy(mantissa, digits.data(), digits.size());
    }
  }
  std::int64_t limit = 1;
  for (std::int64_t i = 0; i < exponentDigits; ++i)
    limit *= 10;
  const std::int64_t magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude >= limit)
    return NumberFit::outOfRange;
  const bool zero = isZero(number);
  std::string text;
  text += signCharacter(mantissaSign, number.negative && !zero, 0);
  text.append(mantissa, static_cast<std::size_t>(integerDigits));
  if (point != PictureSymbol::other)
    text += insertionCharacter(point);
  text.append(mantissa + integerDigits, static_cast<std::size_t>(fractionDigits));
  text += 'E';
  text += signCharacter(exponentSign, exponent < 0, 0);
  const std::string power = std::to_string(magnitude);
  text.append(static_cast<std::size_t>(exponentDigits) - power.size(), '0');
  text += power;
  if (static_cast<std::int64_t>(text.size()) != length)
    return NumberFit::outOfRange;
  for (std::size_t i = 0; i < text.size(); ++i)
    out[i] = page.byte(text[i]);
  return NumberFit::ok;
}

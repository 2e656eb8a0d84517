// Packed/zoned pattern parsing, validation, rounding and digit/sign layout of the byte image.
#include "converter/packed_zoned.h"

#include <memory>

namespace {

// The parse state of setPattern.
enum class PatternSymbol { None, Nine, P };

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number as digits and the count of those digits that stand after
// the decimal point.
struct DecimalText {
  bool negative = false;
  std::string digits;
  std::size_t fractionDigits = 0;
};

// Splits "-12.345" into sign, "12345" and 3. A "," is taken as the decimal
// point too, for sources written with DECIMAL-POINT IS COMMA. Leading zeros
// of the integer part carry no value and are dropped, so that 007 fits a
// field of two digits.
bool parseNumber(const std::string &text, DecimalText &number) {
  std::size_t pos = 0;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    number.negative = text[pos] == '-';
    ++pos;
  }
  std::string integer;
  std::string fraction;
  bool pointSeen = false;
  for (; pos < text.size(); ++pos) {
    const char c = text[pos];
    if (isDigit(c))
      (pointSeen ? fraction : integer) += c;
    else if ((c == '.' || c == ',') && !pointSeen)
      pointSeen = true;
    else
      return false;
  }
  if (integer.empty() && fraction.empty())
    return false;
  const std::size_t significant = integer.find_first_not_of('0');
  integer.erase(0, significant == std::string::npos ? integer.size() : significant);
  number.digits = integer + fraction;
  number.fractionDigits = fraction.size();
  return true;
}

// Reads the count of a repetition "(n)" whose "(" stands at `pos`; leaves
// `pos` on the ")". Returns 0 when the count is missing, zero or unclosed.
int readRepetition(const char *pattern, std::size_t &pos) {
  int count = 0;
  std::size_t at = pos + 1;
  for (; isDigit(pattern[at]); ++at) {
    if (count > 100000)
      return 0;
    count = count * 10 + (pattern[at] - '0');
  }
  if (pattern[at] != ')' || at == pos + 1)
    return 0;
  pos = at;
  return count;
}

// Packed decimal: two digits a byte, the sign in the low nibble of the last
// byte (0xC positive, 0xD negative).
class TpzCblPackedHelper : public TpzCblDecimalHelper {
public:
  explicit TpzCblPackedHelper(const TpzCblDecimal &decimal) : TpzCblDecimalHelper(decimal) {}

protected:
  void writeDigit(int digit) override;
  void prepareToWrite(bool negative) override;

private:
  int m_shift = 4; // 4: high nibble, 0: low nibble
};

// Zoned decimal: one digit a byte under a zone (0xF0 EBCDIC, 0x30 ASCII), the
// sign either a separate character or the zone of the first or last digit.
class TpzCblZonedHelper : public TpzCblDecimalHelper {
public:
  // Sets up the zone and the sign marks of the description's encoding and
  // sign position.
  explicit TpzCblZonedHelper(const TpzCblDecimal &decimal);

protected:
  void writeDigit(int digit) override;
  void prepareToWrite(bool negative) override;

private:
  // Index of the byte that carries the sign.
  std::size_t signIndex() const;
  // The lowest image index that holds a digit.
  std::ptrdiff_t firstDigitIndex() const;

  unsigned char m_zone;
  unsigned char m_positive;
  unsigned char m_negative;
};

std::unique_ptr<TpzCblDecimalHelper> makeHelper(const TpzCblDecimal &decimal) {
  if (decimal.getType() == TpzCblDecimal::TypePacked)
    return std::make_unique<TpzCblPackedHelper>(decimal);
  return std::make_unique<TpzCblZonedHelper>(decimal);
}

} // namespace

TpzCblDecimal::TpzCblDecimal(Type type, Sign sign, int digits, int pointLocation, int scale)
    : m_type(type), m_sign(sign), m_unsigned(false), m_encoding(EncodingEbcdic),
      m_pointLocation(pointLocation), m_scale(scale), m_digits(digits) {}

TpzErrorCode TpzCblDecimal::setPattern(const char *pattern) {
  if (!pattern)
    return TpzErrorCode(TpzErrorCode::WrongPattern);
  std::size_t pos = 0;
  m_unsigned = !(pattern[0] == 'S' || pattern[0] == 's');
  if (!m_unsigned)
    pos = 1;
  m_pointLocation = 0;
  m_scale = 0;
  m_digits = 0;
  // Leading mode: the positions being read stand right of the decimal point.
  bool leading = pattern[pos] == 'P' || pattern[pos] == 'p';
  bool trailingP = false;
  int pCount = 0;
  PatternSymbol last = PatternSymbol::None;
  for (; pattern[pos] != '\0'; ++pos) {
    const char c = pattern[pos];
    if (c == '9') {
      if (m_digits > 0 && last != PatternSymbol::Nine && pCount > 0)
        return TpzErrorCode(TpzErrorCode::PatternPInMiddle);
      ++m_digits;
      if (leading)
        ++m_pointLocation;
      last = PatternSymbol::Nine;
    } else if (c == 'P' || c == 'p') {
      if (pCount > 0 && last != PatternSymbol::P)
        return TpzErrorCode(TpzErrorCode::PatternMultiplePGroups);
      if (m_digits > 0 && pCount == 0)
        trailingP = true;
      ++pCount;
      if (leading)
        ++m_pointLocation;
      last = PatternSymbol::P;
    } else if (c == 'V' || c == 'v') {
      if (leading)
        return TpzErrorCode(pCount == 0 ? TpzErrorCode::PatternMultipleV
                                        : TpzErrorCode::WrongPattern);
      leading = true;
      last = PatternSymbol::None;
    } else if (c == '(') {
      const int count = last == PatternSymbol::None ? 0 : readRepetition(pattern, pos);
      if (count == 0)
        return TpzErrorCode(TpzErrorCode::WrongPattern);
      (last == PatternSymbol::P ? pCount : m_digits) += count - 1;
      if (leading)
        m_pointLocation += count - 1;
    } else if (c == 'S' || c == 's') {
      return TpzErrorCode(TpzErrorCode::PatternSNotFirst);
    } else {
      return TpzErrorCode(TpzErrorCode::PatternWrongSymbol);
    }
  }
  m_scale = trailingP ? pCount : -pCount;
  return TpzErrorCode();
}

TpzErrorCode TpzCblDecimal::validate() {
  if (m_type == TypeNotSet)
    return TpzErrorCode(TpzErrorCode::TypeNotSpecified);
  if (m_type != TypePacked && m_type != TypeZoned)
    return TpzErrorCode(TpzErrorCode::WrongType);
  if (m_sign == SignDefault)
    m_sign = m_unsigned ? SignNone : (m_type == TypePacked ? SignPacked : SignTrailing);
  if (m_unsigned != (m_sign == SignNone) || m_sign < SignNone)
    return TpzErrorCode(TpzErrorCode::WrongSignPosition);
  if (m_type == TypeZoned && m_sign >= SignPacked)
    return TpzErrorCode(TpzErrorCode::WrongSignPosition);
  if (m_type == TypePacked && m_sign != SignPacked && m_sign != SignNone)
    return TpzErrorCode(TpzErrorCode::WrongSignPosition);
  if (m_encoding != EncodingEbcdic && m_encoding != EncodingAscii)
    return TpzErrorCode(TpzErrorCode::WrongEncoding);
  if (m_digits < 1)
    return TpzErrorCode(TpzErrorCode::WrongNumberOfDigits);
  if (m_pointLocation < 0)
    return TpzErrorCode(TpzErrorCode::NegativePointLocation);
  if (m_pointLocation == 0 && m_scale < 0)
    return TpzErrorCode(TpzErrorCode::NegativeScaleWithoutPoint);
  if (m_pointLocation >= 1 && m_scale >= 1)
    return TpzErrorCode(TpzErrorCode::PositiveScaleWithPoint);
  if (m_pointLocation > 0 && m_scale < 0 && m_pointLocation != m_digits - m_scale)
    return TpzErrorCode(TpzErrorCode::InconsistentScale);
  if (m_pointLocation > m_digits && m_scale == 0)
    return TpzErrorCode(TpzErrorCode::PointLocationTooBig);
  return TpzErrorCode();
}

TpzErrorCode TpzCblDecimal::convertToCobol(const std::string &number, std::string &image) const {
  // Converting must not resolve this description's default sign behind the
  // caller's back, so an unvalidated description is checked on a copy.
  TpzCblDecimal checked = *this;
  TpzErrorCode rc = checked.validate();
  if (!rc.isSuccess())
    return rc;
  return makeHelper(checked)->convertToCobol(number, image);
}

int TpzCblDecimal::getWidth() const {
  if (m_type == TypePacked)
    return static_cast<int>((m_digits + 1) * 0.5 + 0.5);
  return m_digits + (isSignSeparate() ? 1 : 0);
}

bool TpzCblDecimalHelper::isSignSeparate() const {
  return m_decimal.isSignSeparate() || m_decimal.getType() == TpzCblDecimal::TypePacked;
}

void TpzCblDecimalHelper::numRound(std::string &digits, std::size_t drop) {
  if (drop == 0)
    return;
  if (drop > digits.size()) {
    digits.clear();
    return;
  }
  const bool up = digits[digits.size() - drop] >= '5';
  digits.resize(digits.size() - drop);
  if (!up)
    return;
  std::size_t pos = digits.size();
  while (pos > 0 && digits[pos - 1] == '9')
    digits[--pos] = '0';
  if (pos == 0)
    digits.insert(digits.begin(), '1');
  else
    ++digits[pos - 1];
}

TpzErrorCode TpzCblDecimalHelper::convertToCobol(const std::string &number, std::string &image) {
  DecimalText text;
  if (!parseNumber(number, text))
    return TpzErrorCode(TpzErrorCode::WrongDigit);
  if (text.negative && m_decimal.isUnsigned())
    return TpzErrorCode(TpzErrorCode::NegativeToUnsigned);

  // The field holds the integer F with value = F * 10^exponent; the text
  // holds its digits with value = digits * 10^-fractionDigits.
  const long long exponent =
      static_cast<long long>(m_decimal.getScale() > 0 ? m_decimal.getScale() : 0) -
      m_decimal.getPointLocation();
  const long long textExponent = -static_cast<long long>(text.fractionDigits);
  std::string field = text.digits;
  if (textExponent < exponent)
    numRound(field, static_cast<std::size_t>(exponent - textExponent));
  else
    field.append(static_cast<std::size_t>(textExponent - exponent), '0');

  const std::size_t significant = field.find_first_not_of('0');
  field.erase(0, significant == std::string::npos ? field.size() : significant);
  if (field.size() > static_cast<std::size_t>(m_decimal.getDigits()))
    return TpzErrorCode(TpzErrorCode::NumberTooBig);

  prepareToWrite(text.negative);
  for (auto digit = field.rbegin(); digit != field.rend(); ++digit)
    writeDigit(*digit - '0');
  image = m_image;
  return TpzErrorCode();
}

void TpzCblPackedHelper::prepareToWrite(bool negative) {
  m_image.assign(static_cast<std::size_t>(m_decimal.getWidth()), '\0');
  m_image.back() = static_cast<char>(negative ? 0x0D : 0x0C);
  m_writePos = static_cast<std::ptrdiff_t>(m_image.size()) - 1;
  m_shift = 4;
}

void TpzCblPackedHelper::writeDigit(int digit) {
  if (m_writePos < 0)
    return;
  auto &byte = m_image[static_cast<std::size_t>(m_writePos)];
  byte = static_cast<char>(static_cast<unsigned char>(byte) | (digit << m_shift));
  if (m_shift == 4) {
    m_shift = 0;
    --m_writePos;
  } else {
    m_shift = 4;
  }
}

TpzCblZonedHelper::TpzCblZonedHelper(const TpzCblDecimal &decimal) : TpzCblDecimalHelper(decimal) {
  const bool ascii = encoding() == TpzCblDecimal::EncodingAscii;
  m_zone = ascii ? 0x30 : 0xF0;
  if (isSignSeparate()) {
    m_positive = ascii ? 0x2B : 0x4E;
    m_negative = ascii ? 0x2D : 0x60;
  } else if (sign() != TpzCblDecimal::SignNone) {
    m_positive = ascii ? 0x30 : 0xC0;
    m_negative = ascii ? 0x70 : 0xD0;
  } else {
    m_positive = m_zone;
    m_negative = m_zone;
  }
}

std::size_t TpzCblZonedHelper::signIndex() const {
  const bool first =
      sign() == TpzCblDecimal::SignLeading || sign() == TpzCblDecimal::SignLeadingSeparate;
  return first ? 0 : m_image.size() - 1;
}

std::ptrdiff_t TpzCblZonedHelper::firstDigitIndex() const {
  return sign() == TpzCblDecimal::SignLeadingSeparate ? 1 : 0;
}

void TpzCblZonedHelper::prepareToWrite(bool negative) {
  m_image.assign(static_cast<std::size_t>(m_decimal.getWidth()), static_cast<char>(m_zone));
  const unsigned char mark = negative ? m_negative : m_positive;
  auto &signByte = m_image[signIndex()];
  signByte = static_cast<char>(
      isSignSeparate() ? mark : static_cast<unsigned char>(mark | (signByte & 0x0F)));
  m_writePos = static_cast<std::ptrdiff_t>(m_image.size()) - 1;
  if (sign() == TpzCblDecimal::SignTrailingSeparate)
    --m_writePos;
}

void TpzCblZonedHelper::writeDigit(int digit) {
  if (m_writePos < firstDigitIndex())
    return;
  auto &byte = m_image[static_cast<std::size_t>(m_writePos--)];
  byte = static_cast<char>(static_cast<unsigned char>(byte) | digit);
}

#pragma once
// TpzCblDecimal: packed/zoned field description and decimal text <-> byte image conversion.
#include <cstddef>
#include <cstdint>
#include <string>

#include "converter/decimal_status.h"

// Description of a COBOL packed-decimal or zoned-decimal field and the
// conversion of a decimal text to the field's byte image.
//
// Use: construct, set type, sign and encoding, setPattern, validate, then
// convert; a failure at any step ends the sequence.
class TpzCblDecimal {
public:
  // The numbers of these enumerations are part of the callers' contract.
  enum Type : std::int32_t { TypeNotSet = 0, TypePacked = 1, TypeZoned = 2 };
  enum Sign : std::int32_t {
    SignNone = 0,             // unsigned
    SignLeading = 1,          // embedded in the first byte
    SignTrailing = 2,         // embedded in the last byte
    SignLeadingSeparate = 3,  // a sign character ahead of the digits
    SignTrailingSeparate = 4, // a sign character behind the digits
    SignPacked = 5,           // the sign nibble of a packed field
    SignDefault = 6,          // resolved by validate
  };
  enum Encoding : std::int32_t { EncodingEbcdic = 0, EncodingAscii = 1 };

  // A description with the given layout, signed and with EBCDIC zones.
  TpzCblDecimal(Type type, Sign sign, int digits, int pointLocation, int scale);

  void setType(Type type) { m_type = type; }
  void setSign(Sign sign) { m_sign = sign; }
  void setEncoding(Encoding encoding) { m_encoding = encoding; }
  Type getType() const { return m_type; }
  Sign getSign() const { return m_sign; }
  Encoding getEncoding() const { return m_encoding; }
  bool isUnsigned() const { return m_unsigned; }
  int getPointLocation() const { return m_pointLocation; }
  int getScale() const { return m_scale; }
  int getDigits() const { return m_digits; }

  // Sets unsigned, point location, scale and digits from a picture pattern
  // made of an optional leading S, 9, P, V and repetition counts, such as
  // S9(5)V9(2) or PP99. Returns codes 17 to 22 for malformed patterns; the
  // fields are then partly set and must not be used.
  TpzErrorCode setPattern(const char *pattern);

  // Checks the description (codes 1 to 10) and resolves the default sign:
  // packed nibble for packed, trailing embedded for zoned, none when
  // unsigned.
  TpzErrorCode validate();

  // Converts a decimal number text (an optional sign, digits, an optional
  // "." or ",") to the field's byte image, rounding half up on the magnitude
  // to the field's precision. Digits the field cannot hold give code 13, a
  // negative number for an unsigned field code 12, a text that is no decimal
  // number code 14. An invalid description gives its validate code; this
  // object is not changed.
  TpzErrorCode convertToCobol(const std::string &number, std::string &image) const;

  // The width of the byte image: digits / 2 + 1 for packed; digits, plus one
  // for a separate sign, for zoned.
  int getWidth() const;

  // True for separate signs (3 and 4).
  bool isSignSeparate() const {
    return m_sign == SignLeadingSeparate || m_sign == SignTrailingSeparate;
  }

private:
  Type m_type;
  Sign m_sign;
  bool m_unsigned;
  Encoding m_encoding;
  std::int32_t m_pointLocation;
  std::int32_t m_scale;
  std::int32_t m_digits;
};

// The converter from decimal text to the byte image of one described
// field. The description must have passed validate. Concrete helpers lay out
// the digits and the sign; this base class does the arithmetic.
class TpzCblDecimalHelper {
public:
  explicit TpzCblDecimalHelper(const TpzCblDecimal &decimal) : m_decimal(decimal) {}
  virtual ~TpzCblDecimalHelper() = default;
  TpzCblDecimalHelper(const TpzCblDecimalHelper &) = delete;
  TpzCblDecimalHelper &operator=(const TpzCblDecimalHelper &) = delete;

  // See TpzCblDecimal::convertToCobol.
  TpzErrorCode convertToCobol(const std::string &number, std::string &image);

  TpzCblDecimal::Sign sign() const { return m_decimal.getSign(); }
  TpzCblDecimal::Encoding encoding() const { return m_decimal.getEncoding(); }
  // True for separate signs and for packed fields, whose sign has its own
  // nibble.
  bool isSignSeparate() const;

  // Rounds a digit string half up, dropping its last `drop` digits: when the
  // first dropped digit is 5 or more the kept digits grow by one, a carry
  // over the first digit adding a leading "1". Dropping more digits than the
  // string holds leaves an empty string (zero).
  static void numRound(std::string &digits, std::size_t drop);

protected:
  // Adds the next digit, moving from the least significant position towards
  // the start of the image. Positions beyond the field are not written.
  virtual void writeDigit(int digit) = 0;
  // Starts an image of the field's width holding zero with the given sign.
  virtual void prepareToWrite(bool negative) = 0;

  const TpzCblDecimal &m_decimal;
  std::string m_image;
  std::ptrdiff_t m_writePos = 0;
};

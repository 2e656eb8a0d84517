#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/vextrace.h"
#include "vexcvt/vexfcbl/tpzcbdec.h"

namespace {

using Dec = TpzCblDecimal;

std::string bytes(std::initializer_list<unsigned> values) {
  std::string image;
  for (unsigned v : values)
    image += static_cast<char>(v);
  return image;
}

// A description set up the way the definition creators do it: type, sign and
// encoding first, then the pattern, then validation.
Dec described(Dec::Type type, Dec::Sign sign, const char *pattern, Dec::Encoding encoding = Dec::EncodingEbcdic) {
  Dec decimal(type, sign, 0, 0, 0);
  decimal.setEncoding(encoding);
  EXPECT_TRUE(decimal.setPattern(pattern).isSuccess()) << pattern;
  EXPECT_TRUE(decimal.validate().isSuccess()) << pattern;
  return decimal;
}

std::string encode(const Dec &decimal, const std::string &number) {
  std::string image;
  const TpzErrorCode rc = decimal.convertToCobol(number, image);
  EXPECT_TRUE(rc.isSuccess()) << number << ": " << rc.getString();
  return image;
}

std::string decode(const Dec &decimal, const std::string &image) {
  std::string number;
  const TpzErrorCode rc = decimal.convertFromCobol(image, number);
  EXPECT_TRUE(rc.isSuccess()) << rc.getString();
  return number;
}

int encodeError(const Dec &decimal, const std::string &number) {
  std::string image;
  return decimal.convertToCobol(number, image).getCode();
}

int decodeError(const Dec &decimal, const std::string &image) {
  std::string number;
  return decimal.convertFromCobol(image, number).getCode();
}

TEST(DecimalPattern, LayoutFromPattern) {
  struct Case {
    const char *pattern;
    bool isUnsigned;
    int digits, point, scale;
  } const cases[] = {
      {"S9(5)V9(2)", false, 7, 2, 0}, {"99PP", true, 2, 0, 2},   {"PP99", true, 2, 4, -2},
      {"s9v99", false, 3, 2, 0},      {"9(3)9", true, 4, 0, 0},  {"SVPP9(2)", false, 2, 4, -2},
      {"P(3)9", true, 1, 4, -3},      {"9P(3)", true, 1, 0, 3},  {"99PPV", true, 2, 0, 2},
      {"V999", true, 3, 3, 0},        {"9(12)", true, 12, 0, 0},
  };
  for (const Case &c : cases) {
    Dec decimal(Dec::TypePacked, Dec::SignDefault, 0, 0, 0);
    ASSERT_TRUE(decimal.setPattern(c.pattern).isSuccess()) << c.pattern;
    EXPECT_EQ(decimal.isUnsigned(), c.isUnsigned) << c.pattern;
    EXPECT_EQ(decimal.getDigits(), c.digits) << c.pattern;
    EXPECT_EQ(decimal.getPointLocation(), c.point) << c.pattern;
    EXPECT_EQ(decimal.getScale(), c.scale) << c.pattern;
  }
}

TEST(DecimalPattern, MalformedPatternsGiveTheirCodes) {
  struct Case {
    const char *pattern;
    int code;
  } const cases[] = {
      {"9(0)", 17},       {"V(2)9", 17}, {"9(3", 17},   {"9()", 17}, {"9(A)", 17}, {"PPV99", 17},
      {"S9(3)P(2)9", 18}, {"9P9", 18},   {"9V9V9", 19}, {"VV9", 19}, {"P9P", 20},  {"PP9PP", 20},
      {"99X", 21},        {"9.99", 21},  {"9S", 22},    {"S9S", 22},
  };
  for (const Case &c : cases) {
    Dec decimal(Dec::TypeZoned, Dec::SignDefault, 0, 0, 0);
    EXPECT_EQ(decimal.setPattern(c.pattern).getCode(), c.code) << c.pattern;
  }
  Dec decimal(Dec::TypeZoned, Dec::SignDefault, 0, 0, 0);
  EXPECT_EQ(decimal.setPattern(nullptr).getCode(), 17);
}

TEST(DecimalValidate, FirstFailingCheckDecides) {
  // The constructor makes a signed description with the given layout.
  struct Case {
    int type, sign, encoding, digits, point, scale, code;
  } const cases[] = {
      {0, 6, 0, 3, 0, 0, 1},  {3, 6, 0, 3, 0, 0, 2},  {2, 0, 0, 3, 0, 0, 3}, {2, 5, 0, 3, 0, 0, 3},
      {2, 7, 0, 3, 0, 0, 3},  {1, 2, 0, 3, 0, 0, 3},  {2, 2, 2, 3, 0, 0, 4}, {2, 2, 0, 0, 0, 0, 5},
      {2, 2, 0, 3, -1, 0, 6}, {2, 2, 0, 3, 0, -2, 7}, {2, 2, 0, 3, 1, 2, 8}, {2, 2, 0, 3, 4, -2, 9},
      {2, 2, 0, 3, 4, 0, 10}, {1, 5, 0, 3, 5, -2, 0}, {1, 6, 1, 3, 3, 0, 0}, {2, 4, 0, 3, 3, 0, 0},
      {0, 9, 9, 0, -1, 0, 1},
  };
  for (const Case &c : cases) {
    Dec decimal(static_cast<Dec::Type>(c.type), static_cast<Dec::Sign>(c.sign), c.digits, c.point, c.scale);
    decimal.setEncoding(static_cast<Dec::Encoding>(c.encoding));
    EXPECT_EQ(decimal.validate().getCode(), c.code)
        << "type " << c.type << " sign " << c.sign << " digits " << c.digits << " point " << c.point;
  }
}

TEST(DecimalValidate, DefaultSignFollowsTypeAndSignedness) {
  Dec packed(Dec::TypePacked, Dec::SignDefault, 0, 0, 0);
  ASSERT_TRUE(packed.setPattern("S99").isSuccess());
  ASSERT_TRUE(packed.validate().isSuccess());
  EXPECT_EQ(static_cast<int>(packed.getSign()), 5);

  Dec zoned(Dec::TypeZoned, Dec::SignDefault, 0, 0, 0);
  ASSERT_TRUE(zoned.setPattern("S99").isSuccess());
  ASSERT_TRUE(zoned.validate().isSuccess());
  EXPECT_EQ(static_cast<int>(zoned.getSign()), 2);

  Dec plain(Dec::TypePacked, Dec::SignDefault, 0, 0, 0);
  ASSERT_TRUE(plain.setPattern("99").isSuccess());
  ASSERT_TRUE(plain.validate().isSuccess());
  EXPECT_EQ(static_cast<int>(plain.getSign()), 0);

  // An explicit sign position on an unsigned pattern contradicts it.
  Dec contradiction(Dec::TypeZoned, Dec::SignLeading, 0, 0, 0);
  ASSERT_TRUE(contradiction.setPattern("99").isSuccess());
  EXPECT_EQ(contradiction.validate().getCode(), 3);
}

TEST(DecimalWidth, PackedAndZoned) {
  EXPECT_EQ(Dec(Dec::TypePacked, Dec::SignPacked, 5, 0, 0).getWidth(), 3);
  EXPECT_EQ(Dec(Dec::TypePacked, Dec::SignPacked, 4, 0, 0).getWidth(), 3);
  EXPECT_EQ(Dec(Dec::TypePacked, Dec::SignPacked, 1, 0, 0).getWidth(), 1);
  EXPECT_EQ(Dec(Dec::TypeZoned, Dec::SignTrailing, 4, 0, 0).getWidth(), 4);
  EXPECT_EQ(Dec(Dec::TypeZoned, Dec::SignLeadingSeparate, 4, 0, 0).getWidth(), 5);
  EXPECT_EQ(Dec(Dec::TypeZoned, Dec::SignTrailingSeparate, 4, 0, 0).getWidth(), 5);
}

TEST(DecimalPacked, ImagesOfValues) {
  const Dec fiveTwo = described(Dec::TypePacked, Dec::SignDefault, "S9(3)V99");
  EXPECT_EQ(encode(fiveTwo, "123.45"), bytes({0x12, 0x34, 0x5C}));
  EXPECT_EQ(encode(fiveTwo, "-1.5"), bytes({0x00, 0x15, 0x0D}));
  EXPECT_EQ(encode(fiveTwo, "1.005"), bytes({0x00, 0x10, 0x1C}));
  EXPECT_EQ(encode(fiveTwo, "-1.004"), bytes({0x00, 0x10, 0x0D}));
  EXPECT_EQ(encode(fiveTwo, "0"), bytes({0x00, 0x00, 0x0C}));
  EXPECT_EQ(encode(fiveTwo, "+7"), bytes({0x00, 0x70, 0x0C}));
  EXPECT_EQ(encode(fiveTwo, ".5"), bytes({0x00, 0x05, 0x0C}));
  EXPECT_EQ(encode(fiveTwo, "999.994"), bytes({0x99, 0x99, 0x9C}));
  EXPECT_EQ(encode(fiveTwo, "0012.5"), bytes({0x01, 0x25, 0x0C}));
  // A source written with DECIMAL-POINT IS COMMA keeps its comma in literals.
  EXPECT_EQ(encode(fiveTwo, "12,5"), bytes({0x01, 0x25, 0x0C}));

  const Dec four = described(Dec::TypePacked, Dec::SignDefault, "S9(4)");
  EXPECT_EQ(encode(four, "12"), bytes({0x00, 0x01, 0x2C}));
  EXPECT_EQ(encode(four, "9876"), bytes({0x09, 0x87, 0x6C}));
  EXPECT_EQ(decode(four, bytes({0x09, 0x87, 0x6D})), "-9876");

  // Unsigned packed fields are written with the positive nibble C as well.
  const Dec unsignedThree = described(Dec::TypePacked, Dec::SignDefault, "999");
  EXPECT_EQ(encode(unsignedThree, "42"), bytes({0x04, 0x2C}));
}

TEST(DecimalPacked, ScaledFields) {
  // 99PP holds hundreds: the value is rounded to them.
  const Dec hundreds = described(Dec::TypePacked, Dec::SignDefault, "S99PP");
  EXPECT_EQ(encode(hundreds, "1250"), bytes({0x01, 0x3C}));
  EXPECT_EQ(encode(hundreds, "50"), bytes({0x00, 0x1C}));
  EXPECT_EQ(encode(hundreds, "49.9"), bytes({0x00, 0x0C}));
  EXPECT_EQ(encode(hundreds, "9949"), bytes({0x09, 0x9C}));
  EXPECT_EQ(encodeError(hundreds, "9950"), 13);
  EXPECT_EQ(decode(hundreds, bytes({0x01, 0x2C})), "1200");
  EXPECT_EQ(decode(hundreds, bytes({0x00, 0x0C})), "0");

  // PP99 holds ten-thousandths below one hundredth.
  const Dec small = described(Dec::TypePacked, Dec::SignDefault, "SPP99");
  EXPECT_EQ(encode(small, "0.0012"), bytes({0x01, 0x2C}));
  EXPECT_EQ(encode(small, "-0.00125"), bytes({0x01, 0x3D}));
  EXPECT_EQ(encodeError(small, "0.01"), 13);
  EXPECT_EQ(encodeError(small, "1"), 13);
  EXPECT_EQ(decode(small, bytes({0x01, 0x2C})), "0.0012");
  EXPECT_EQ(decode(small, bytes({0x01, 0x0D})), "-0.001");
  EXPECT_EQ(decode(small, bytes({0x00, 0x0C})), "0");
}

TEST(DecimalPacked, ConversionErrors) {
  const Dec unsignedTwo = described(Dec::TypePacked, Dec::SignDefault, "99");
  EXPECT_EQ(encodeError(unsignedTwo, "-1"), 12);
  EXPECT_EQ(encodeError(unsignedTwo, "123"), 13);
  // Rounding that carries into a new digit overflows as well.
  EXPECT_EQ(encodeError(unsignedTwo, "99.5"), 13);
  for (const char *notANumber : {"", "-", "1.2.3", "1E5", "12a", " 1"})
    EXPECT_EQ(encodeError(unsignedTwo, notANumber), 14) << notANumber;

  // An invalid description reports its validation code and changes nothing.
  Dec unvalidated(Dec::TypeNotSet, Dec::SignDefault, 3, 0, 0);
  EXPECT_EQ(encodeError(unvalidated, "1"), 1);
  EXPECT_EQ(decodeError(unvalidated, bytes({0x00, 0x1C})), 1);
  EXPECT_EQ(static_cast<int>(unvalidated.getSign()), 6);
}

TEST(DecimalPacked, ReadBack) {
  const Dec pointTwo = described(Dec::TypePacked, Dec::SignDefault, "S9(3)V99");
  EXPECT_EQ(decode(pointTwo, encode(pointTwo, "-1.50")), "-1.5");
  EXPECT_EQ(decode(pointTwo, encode(pointTwo, "0")), "0");
  EXPECT_EQ(decode(pointTwo, encode(pointTwo, "100")), "100");
  EXPECT_EQ(decode(pointTwo, bytes({0x12, 0x34, 0x5C})), "123.45");
  EXPECT_EQ(decode(pointTwo, bytes({0x00, 0x00, 0x5F})), "0.05");

  const Dec integer = described(Dec::TypePacked, Dec::SignDefault, "S9(5)");
  EXPECT_EQ(decode(integer, encode(integer, "100")), "100");
  EXPECT_EQ(decode(integer, bytes({0x00, 0x10, 0x0F})), "100");
  EXPECT_EQ(decode(integer, bytes({0x00, 0x10, 0x0B})), "-100");
  EXPECT_EQ(decode(integer, bytes({0x00, 0x10, 0x0A})), "100");

  EXPECT_EQ(decodeError(integer, bytes({0x00, 0x10, 0x05})), 16);
  EXPECT_EQ(decodeError(integer, bytes({0x00, 0x1A, 0x0C})), 14);
  EXPECT_EQ(decodeError(integer, bytes({0x00, 0x10})), 15);
  EXPECT_EQ(decodeError(integer, bytes({0x00, 0x00, 0x10, 0x0C})), 15);
}

TEST(DecimalZoned, EbcdicSignPositions) {
  struct Case {
    Dec::Sign sign;
    const char *pattern;
    const char *number;
    std::string image;
  } const cases[] = {
      {Dec::SignTrailing, "S999", "-12", bytes({0xF0, 0xF1, 0xD2})},
      {Dec::SignTrailing, "S999", "12", bytes({0xF0, 0xF1, 0xC2})},
      {Dec::SignLeading, "S999", "-12", bytes({0xD0, 0xF1, 0xF2})},
      {Dec::SignLeading, "S999", "345", bytes({0xC3, 0xF4, 0xF5})},
      {Dec::SignLeadingSeparate, "S999", "-12", bytes({0x60, 0xF0, 0xF1, 0xF2})},
      {Dec::SignLeadingSeparate, "S999", "12", bytes({0x4E, 0xF0, 0xF1, 0xF2})},
      {Dec::SignTrailingSeparate, "S999", "-12", bytes({0xF0, 0xF1, 0xF2, 0x60})},
      {Dec::SignTrailingSeparate, "S999", "12", bytes({0xF0, 0xF1, 0xF2, 0x4E})},
      {Dec::SignNone, "999", "12", bytes({0xF0, 0xF1, 0xF2})},
      {Dec::SignTrailing, "S9V99", "-1.5", bytes({0xF1, 0xF5, 0xD0})},
  };
  for (const Case &c : cases) {
    const Dec decimal = described(Dec::TypeZoned, c.sign, c.pattern, Dec::EncodingEbcdic);
    EXPECT_EQ(encode(decimal, c.number), c.image) << c.number << " sign " << static_cast<int>(c.sign);
    EXPECT_EQ(decode(decimal, c.image), c.number) << " sign " << static_cast<int>(c.sign);
  }
}

TEST(DecimalZoned, AsciiSignPositions) {
  struct Case {
    Dec::Sign sign;
    const char *number;
    std::string image;
  } const cases[] = {
      {Dec::SignTrailing, "-12", bytes({0x31, 0x72})}, {Dec::SignTrailing, "12", "12"},
      {Dec::SignLeading, "-5", bytes({0x70, 0x35})},   {Dec::SignLeading, "5", "05"},
      {Dec::SignLeadingSeparate, "-12", "-12"},        {Dec::SignLeadingSeparate, "12", "+12"},
      {Dec::SignTrailingSeparate, "12", "12+"},        {Dec::SignTrailingSeparate, "-7", "07-"},
  };
  for (const Case &c : cases) {
    const Dec decimal = described(Dec::TypeZoned, c.sign, "S99", Dec::EncodingAscii);
    EXPECT_EQ(encode(decimal, c.number), c.image) << c.number << " sign " << static_cast<int>(c.sign);
    EXPECT_EQ(decode(decimal, c.image), c.number) << " sign " << static_cast<int>(c.sign);
  }
  const Dec threeDigits = described(Dec::TypeZoned, Dec::SignTrailingSeparate, "S999", Dec::EncodingAscii);
  EXPECT_EQ(encode(threeDigits, "12"), "012+");
  const Dec unsignedField = described(Dec::TypeZoned, Dec::SignDefault, "999", Dec::EncodingAscii);
  EXPECT_EQ(encode(unsignedField, "7"), "007");
  EXPECT_EQ(encodeError(unsignedField, "-1"), 12);
}

TEST(DecimalZoned, ReadingChecksZonesAndSigns) {
  const Dec embedded = described(Dec::TypeZoned, Dec::SignTrailing, "S999");
  // Embedded signs tolerate sign zones on any digit byte.
  EXPECT_EQ(decode(embedded, bytes({0xC1, 0xF2, 0xD3})), "-123");
  EXPECT_EQ(decodeError(embedded, bytes({0xF1, 0xF2, 0xE3})), 16);
  EXPECT_EQ(decodeError(embedded, bytes({0xF1, 0xFA, 0xC3})), 14);
  EXPECT_EQ(decodeError(embedded, bytes({0x31, 0xF2, 0xC3})), 14);
  EXPECT_EQ(decodeError(embedded, bytes({0xF1, 0xC3})), 15);

  const Dec separate = described(Dec::TypeZoned, Dec::SignLeadingSeparate, "S99");
  EXPECT_EQ(decodeError(separate, bytes({0x4F, 0xF1, 0xF2})), 16);
  EXPECT_EQ(decodeError(separate, bytes({0x4E, 0xC1, 0xF2})), 14);
  EXPECT_EQ(decodeError(separate, bytes({0xF1, 0xF2})), 15);

  // Unsigned EBCDIC data may carry the positive zone C and stays positive.
  const Dec plain = described(Dec::TypeZoned, Dec::SignDefault, "99");
  EXPECT_EQ(decode(plain, bytes({0xF4, 0xC2})), "42");
  EXPECT_EQ(decodeError(plain, bytes({0xF4, 0xD2})), 16);

  const Dec asciiPlain = described(Dec::TypeZoned, Dec::SignDefault, "99", Dec::EncodingAscii);
  EXPECT_EQ(decodeError(asciiPlain, bytes({0x34, 0x72})), 16);
  EXPECT_EQ(decode(asciiPlain, "42"), "42");
}

TEST(DecimalRound, HalfUpWithCarry) {
  struct Case {
    const char *digits;
    std::size_t drop;
    const char *rounded;
  } const cases[] = {
      {"12345", 2, "123"}, {"12350", 2, "124"}, {"1995", 1, "200"}, {"995", 1, "100"},
      {"95", 2, "1"},      {"45", 2, ""},       {"5", 2, ""},       {"123", 0, "123"},
  };
  for (const Case &c : cases) {
    std::string digits = c.digits;
    TpzCblDecimalHelper::numRound(digits, c.drop);
    EXPECT_EQ(digits, c.rounded) << c.digits << " drop " << c.drop;
  }
}

TEST(DecimalErrorCode, MessagesAndValueSemantics) {
  const char *const expected[] = {
      "",
      "Type is not specified for packed/zoned.",
      "Wrong type is specified for packed/zoned.",
      "Wrong sign position is specified for packed/zoned.",
      "Wrong encoding is specified for packed/zoned.",
      "Wrong number of digits is specified for packed/zoned.",
      "Negative point location is specified for packed/zoned.",
      "Negative scale can not be specified if point location is 0.",
      "Positive scale can not be specified if point location is not 0.",
      "Wrong value of number of digits, point location or scale.",
      "Too big point location is specified for packed/zoned.",
      "Wrong sign position is specified for packed.",
      "Negative number can not be converted to unsigned packed/zoned.",
      "Number is too big to be converted to packed/zoned.",
      "Packed/zoned contains wrong digit.",
      "Packed/zoned has wrong width.",
      "Packed/zoned contains wrong sign.",
      "Wrong packed/zoned pattern",
      "Packed/zoned pattern contains 'P' in the middle",
      "Packed/zoned pattern contains multiple decimal point symbol ('V')",
      "Packed/zoned pattern contains multiple groups of 'P' symbol",
      "Packed/zoned pattern contains wrong symbol",
      "'S' should be the first symbol of packed/zoned pattern",
  };
  for (int code = 0; code <= 22; ++code) {
    TpzErrorCode rc;
    rc.set(code);
    EXPECT_EQ(rc.getCode(), code);
    EXPECT_EQ(rc.isSuccess(), code == 0);
    EXPECT_EQ(rc.getString(), expected[code]) << code;
  }
  EXPECT_EQ(TpzErrorCode(23).getString(), "");
  EXPECT_EQ(TpzErrorCode(-1).getString(), "");
  EXPECT_FALSE(TpzErrorCode(-1).isSuccess());

  TpzErrorCode original(13);
  TpzErrorCode copy(original);
  original.set(0);
  EXPECT_EQ(copy.getCode(), 13);
  EXPECT_TRUE(original.isSuccess());
  original = copy;
  copy.set(15);
  EXPECT_EQ(original.getCode(), 13);
  EXPECT_EQ(original.getString(), "Number is too big to be converted to packed/zoned.");
}

TEST(DecimalTrace, FullTraceLeavesResultsAlone) {
  auto run = [] {
    std::string results;
    for (const char *pattern : {"S9(3)V99", "SPP99", "9(4)", "9S"}) {
      Dec decimal(Dec::TypePacked, Dec::SignDefault, 0, 0, 0);
      results += std::to_string(decimal.setPattern(pattern).getCode());
      results += std::to_string(decimal.validate().getCode());
      std::string image;
      std::string number;
      results += std::to_string(decimal.convertToCobol("-0.00125", image).getCode()) + image;
      results += std::to_string(decimal.convertFromCobol(image, number).getCode()) + number + "|";
    }
    return results;
  };
  const std::string untraced = run();
  std::ostringstream trace;
  vexTraceSetOutput(&trace);
  vexTraceSetLevel(nullptr, TRC1_DETAIL | TRC1_FLOW | TRC1_ERROR);
  const std::string traced = run();
  vexTraceSetLevel(nullptr, 0);
  vexTraceSetOutput(nullptr);
  EXPECT_EQ(traced, untraced);
  EXPECT_NE(trace.str().find("TpzCblDecimal::setPattern"), std::string::npos);
  EXPECT_NE(trace.str().find("Detail - "), std::string::npos);
}

} // namespace

// Field bytes of every usage against IBM's storage rules, worked out by hand (the floating-point
// words with exact fractions), and the number text the encoder reads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/field_encoding.h"
#include "record/picture.h"
#include "tests/encoder/encoder_support.h"

namespace {

using namespace std::string_literals;

const TextBytes &ebcdic() {
  static const TextBytes page = *TextBytes::open("IBM037");
  return page;
}

const TextBytes &ascii() {
  static const TextBytes page = *TextBytes::open("ASCII");
  return page;
}

NumberText number(const std::string &text) {
  static std::vector<std::string> kept; // the views point into these
  kept.push_back(text);
  NumberText n;
  EXPECT_TRUE(parseNumber(kept.back(), n)) << text;
  return n;
}

TEST(NumberText, ReadsJsonNumbersAndRefusesTheRest) {
  NumberText n;
  ASSERT_TRUE(parseNumber("-0012.50e+3", n));
  EXPECT_TRUE(n.negative);
  EXPECT_EQ(n.integer, "0012");
  EXPECT_EQ(n.fraction, "50");
  EXPECT_EQ(n.exponent, 3);
  ASSERT_TRUE(parseNumber("-0.000", n));
  EXPECT_FALSE(n.negative) << "zero has no sign";
  ASSERT_TRUE(parseNumber("+7", n));
  for (const char *bad : {"", "-", ".5", "5.", "1e", "1e+", "1.2.3", "1-2", "0x10", "12a", " 1"})
    EXPECT_FALSE(parseNumber(bad, n)) << bad;
}

struct ScaleCase {
  const char *text;
  std::int64_t scale;
  std::int64_t digits;
  Fit fit;
  const char *want;
};

TEST(NumberText, ScaledDigitsKeepEveryDigitOrRefuse) {
  const std::vector<ScaleCase> cases = {
      {"123.45", 2, 7, Fit::ok, "0012345"},
      {"123.4", 2, 5, Fit::ok, "12340"},
      {"1.230", 2, 3, Fit::ok, "123"}, // trailing zeros are no places
      {"1.235", 2, 3, Fit::tooManyDecimals, ""},
      {"12345", 0, 4, Fit::tooManyDigits, ""},
      {"0.00012", 5, 2, Fit::ok, "12"},    // PIC PPP99: scale 5, two digits
      {"12000", -3, 2, Fit::ok, "12"},     // PIC 99PPP
      {"12345", -3, 2, Fit::tooManyDecimals, ""},
      {"1.5E+3", 0, 4, Fit::ok, "1500"},
      {"15E-1", 1, 2, Fit::ok, "15"},
      {"0", 2, 3, Fit::ok, "000"},
      {"0.001", 2, 3, Fit::tooManyDecimals, ""},
      {"99999999999999999999999999999999999999", 0, 38, Fit::ok,
       "99999999999999999999999999999999999999"},
  };
  for (const ScaleCase &c : cases) {
    char out[40] = {};
    const Fit fit = scaledDigits(number(c.text), c.scale, c.digits, out);
    EXPECT_EQ(fit, c.fit) << c.text;
    if (fit == Fit::ok) {
      EXPECT_EQ(std::string(out, static_cast<std::size_t>(c.digits)), c.want) << c.text;
    }
  }
}

struct ZonedCase {
  const char *value;
  std::int64_t digits;
  std::int64_t scale;
  bool isSigned;
  ZonedSign sign;
  bool ebcdicPage;
  std::string want; // hex
};

TEST(FieldEncoding, ZonedEverySignFormAndPage) {
  const std::vector<ZonedCase> cases = {
      {"-12.5", 5, 2, true, ZonedSign::trailing, true, "F0 F1 F2 F5 D0"},
      {"7", 3, 0, true, ZonedSign::leading, true, "C0 F0 F7"},
      {"-7", 3, 0, true, ZonedSign::leading, true, "D0 F0 F7"},
      {"-3", 2, 0, true, ZonedSign::trailingSeparate, true, "F0 F3 60"},
      {"3", 2, 0, true, ZonedSign::leadingSeparate, true, "4E F0 F3"},
      {"5", 3, 0, false, ZonedSign::none, true, "F0 F0 F5"},
      {"12", 3, 0, true, ZonedSign::trailing, true, "F0 F1 C2"},
      // ASCII: a negative embedded sign is 0x70 + digit, a positive one the digit.
      {"-12", 2, 0, true, ZonedSign::trailing, false, "31 72"},
      {"12", 2, 0, true, ZonedSign::trailing, false, "31 32"},
      {"-12", 2, 0, true, ZonedSign::leading, false, "71 32"},
      {"-1", 2, 0, true, ZonedSign::trailingSeparate, false, "30 31 2D"},
  };
  for (const ZonedCase &c : cases) {
    char digits[40];
    ASSERT_EQ(scaledDigits(number(c.value), c.scale, c.digits, digits), Fit::ok);
    const bool separate = c.sign == ZonedSign::leadingSeparate || c.sign == ZonedSign::trailingSeparate;
    std::string out(static_cast<std::size_t>(c.digits + (separate ? 1 : 0)), '?');
    writeZoned(digits, c.digits, number(c.value).negative, c.isSigned, c.sign,
               c.ebcdicPage ? ebcdic() : ascii(), out.data());
    EXPECT_EQ(hex(out), c.want) << c.value;
  }
}

TEST(FieldEncoding, PackedAndUnsignedPacked) {
  const auto packed = [](const char *value, std::int64_t digits, std::int64_t scale, bool isSigned,
                         bool unsignedC) {
    char d[40];
    EXPECT_EQ(scaledDigits(number(value), scale, digits, d), Fit::ok);
    std::string out(static_cast<std::size_t>(digits / 2 + 1), '?');
    writePacked(d, digits, number(value).negative, isSigned, unsignedC,
                static_cast<std::int64_t>(out.size()), out.data());
    return hex(out);
  };
  EXPECT_EQ(packed("123.45", 7, 2, true, false), "00 12 34 5C");
  EXPECT_EQ(packed("-1", 4, 0, true, false), "00 00 1D"); // even digits: a zero nibble first
  EXPECT_EQ(packed("-0.01", 9, 2, true, false), "00 00 00 00 1D");
  EXPECT_EQ(packed("42", 3, 0, false, false), "04 2F");
  EXPECT_EQ(packed("42", 3, 0, false, true), "04 2C"); // -packed-sign C
  EXPECT_EQ(packed("999999999999999999", 18, 0, true, false),
            "09 99 99 99 99 99 99 99 99 9C");
  const auto comp6 = [](const char *value, std::int64_t digits, std::int64_t length) {
    char d[40];
    EXPECT_EQ(scaledDigits(number(value), 0, digits, d), Fit::ok);
    std::string out(static_cast<std::size_t>(length), '?');
    writeUnsignedPacked(d, digits, length, out.data());
    return hex(out);
  };
  EXPECT_EQ(comp6("1234", 4, 2), "12 34");
  EXPECT_EQ(comp6("7", 3, 2), "00 07");
}

TEST(FieldEncoding, BinaryTwosComplementAndRanges) {
  const auto binary = [](unsigned long long magnitude, bool negative, std::int64_t length,
                         bool little) {
    std::string out(static_cast<std::size_t>(length), '?');
    writeBinary(magnitude, negative, length, little, out.data());
    return hex(out);
  };
  EXPECT_EQ(binary(1, true, 2, false), "FF FF");
  EXPECT_EQ(binary(16777216, false, 4, false), "01 00 00 00");
  EXPECT_EQ(binary(16777216, false, 4, true), "00 00 00 01");
  EXPECT_EQ(binary(32768, true, 2, false), "80 00");
  EXPECT_EQ(binary(258, false, 3, false), "00 01 02"); // COMP-X of three bytes
  EXPECT_EQ(binaryLimit(2, true, false), 32767u);
  EXPECT_EQ(binaryLimit(2, true, true), 32768u);
  EXPECT_EQ(binaryLimit(2, false, false), 65535u);
  EXPECT_EQ(binaryLimit(8, false, false), ~0ull);
}

struct FloatCase {
  const char *value;
  std::int64_t length;
  bool ieee;
  std::string want;
};

// The IBM words are Python's round(Fraction(value) * 2^bits) placed as the
// format says (sign, excess-64 exponent of 16, fraction), written down once.
TEST(FieldEncoding, FloatingPointExactlyRounded) {
  const std::vector<FloatCase> cases = {
      {"1", 4, false, "41 10 00 00"},
      {"-1.5", 4, false, "C1 18 00 00"},
      {"0.1", 4, false, "40 19 99 9A"},
      {"0.1", 8, false, "40 19 99 99 99 99 99 9A"},
      // 0.3 through a double would give ...CC: rounded from the decimal it is ...CD.
      {"0.3", 8, false, "40 4C CC CC CC CC CC CD"},
      // Half a unit past 1 rounds to even (down), a unit and a half up.
      {"1.000000476837158203125", 4, false, "41 10 00 00"},
      {"1.000001430511474609375", 4, false, "41 10 00 02"},
      {"0", 8, false, "00 00 00 00 00 00 00 00"},
      {"1e-90", 4, false, "00 00 00 00"}, // below the smallest: zero
      {"1.5", 4, true, "3F C0 00 00"},
      {"1.5", 8, true, "3F F8 00 00 00 00 00 00"},
      {"-2", 8, true, "C0 00 00 00 00 00 00 00"},
  };
  for (const FloatCase &c : cases) {
    std::string out(static_cast<std::size_t>(c.length), '?');
    EXPECT_EQ(writeFloat(number(c.value), c.length, c.ieee, false, out.data()), NumberFit::ok);
    EXPECT_EQ(hex(out), c.want) << c.value;
  }
  std::string out(4, '?');
  EXPECT_EQ(writeFloat(number("1e80"), 4, false, false, out.data()), NumberFit::outOfRange);
  EXPECT_EQ(writeFloat(number("1e39"), 4, true, false, out.data()), NumberFit::outOfRange);
  EXPECT_EQ(writeFloat(number("1"), 4, false, true, out.data()), NumberFit::ok);
  EXPECT_EQ(hex(out), "00 00 10 41") << "-byteorder little turns the word";
}

// Binary integer decimal: sign, biased exponent (398 or 6176), coefficient;
// a decimal64 coefficient of 2^53 or more takes the form with the implied 100.
TEST(FieldEncoding, DecimalFloatKeepsTheExponentAsWritten) {
  const std::vector<FloatCase> cases = {
      {"1.50", 8, false, "31 80 00 00 00 00 00 96"},
      {"9999999999999999", 8, false, "6C 73 86 F2 6F C0 FF FF"},
      {"-5E+369", 8, false, "DF E0 00 00 00 00 00 05"},
      {"-1234567.89", 16, false, "B0 3C 00 00 00 00 00 00 00 00 00 00 07 5B CD 15"},
  };
  for (const FloatCase &c : cases) {
    std::string out(static_cast<std::size_t>(c.length), '?');
    EXPECT_EQ(writeDecimalFloat(number(c.value), c.length, false, out.data()), NumberFit::ok);
    EXPECT_EQ(hex(out), c.want) << c.value;
  }
  std::string out(8, '?');
  EXPECT_EQ(writeDecimalFloat(number("12345678901234567"), 8, false, out.data()),
            NumberFit::tooManyDigits);
  EXPECT_EQ(writeDecimalFloat(number("1E+400"), 8, false, out.data()), NumberFit::outOfRange);
}

struct EditedCase {
  const char *picture;
  const char *value;
  const char *want; // nullptr: refused
};

// Numeric editing as IBM describes it; where GnuCOBOL 3.1 agrees, checked
// against its MOVE too (tests/encoder/encode_cobc_crosscheck_test.cpp).
TEST(FieldEncoding, NumericEditing) {
  const std::vector<EditedCase> cases = {
      {"ZZ.ZZ", "0", "     "},       {"ZZ.ZZ", "0.05", "  .05"},
      {"ZZ.ZZ", "7", " 7.00"},       {"ZZZ.99", "0", "   .00"},
      {"$$$.99", "0", "  $.00"},     {"$$$.99", "1.5", " $1.50"},
      {"$$$$.$$", "0", "       "},   {"$$$$.$$", "0.05", "   $.05"},
      {"++++.++", "-1.5", "  -1.50"}, {"++++.++", "123.4", "+123.40"},
      {"----.--", "0.05", "    .05"}, {"----.--", "-0.05", "   -.05"},
      {"**.**", "0", "**.**"},       {"**.**", "0.05", "**.05"},
      {"***.99", "7", "**7.00"},     {"Z,ZZ9.99CR", "-1.5", "    1.50CR"},
      {"Z,ZZ9.99CR", "1200", "1,200.00  "}, {"9(3).99DB", "-12.25", "012.25DB"},
      {"+ZZ9", "-1.5", nullptr},     {"+ZZ9", "-12", "- 12"},
      {"ZZ9-", "-12", " 12-"},       {"ZZ9-", "12", " 12 "},
      {"$$,$$9.99", "7", "    $7.00"}, {"$$,$$9.99", "1200", "$1,200.00"},
      {"ZZBZZ", "123", " 1 23"},     {"$**,**9.99", "1200", "$*1,200.00"},
      {"*(4)", "0", "****"},         {"Z(4)", "0", "    "},
      {"$$$BB9", "123", "$12  3"},   {"$$$BB9", "7", "    $7"},
      {"ZZ9PP", "1200", " 12"},      {"ZZ9PP", "1250", nullptr},
      {"+ZZZ", "0", "    "},         {"ZZ.ZZ-", "-0.01", "  .01-"},
      {"$**.**", "0", "***.**"},     {"-ZZ.ZZ", "-0.01", "-  .01"},
      // Where GnuCOBOL shows the insertion character, IBM blanks it.
      {"ZZ0ZZ", "5", "    5"},       {"ZZ/ZZ", "5", "    5"},
      {"ZZ9", "-5", nullptr},        {"ZZ9", "1000", nullptr},
  };
  for (const EditedCase &c : cases) {
    const ParsedPicture picture = parsePicture(c.picture);
    std::string out(static_cast<std::size_t>(picture.size), '?');
    const NumberFit fit =
        writeEdited(number(c.value), picture, false, ascii(), picture.size, out.data());
    if (c.want == nullptr) {
      EXPECT_NE(fit, NumberFit::ok) << c.picture << " " << c.value;
      continue;
    }
    EXPECT_EQ(fit, NumberFit::ok) << c.picture << " " << c.value;
    EXPECT_EQ(out, c.want) << c.picture << " " << c.value;
  }
  const ParsedPicture zero = parsePicture("99.99");
  std::string out(5, '?');
  ASSERT_EQ(writeEdited(number("0"), zero, true, ebcdic(), 5, out.data()), NumberFit::ok);
  EXPECT_EQ(hex(out), "40 40 40 40 40") << "BLANK WHEN ZERO, in the code page's blank";
  const ParsedPicture comma = parsePicture("ZZ.ZZ9,99", true);
  out.assign(9, '?');
  ASSERT_EQ(writeEdited(number("1234.5"), comma, false, ascii(), 9, out.data()), NumberFit::ok);
  EXPECT_EQ(out, " 1.234,50") << "DECIMAL-POINT IS COMMA";
}

TEST(FieldEncoding, ExternalFloatingPoint) {
  const std::vector<EditedCase> cases = {
      {"+9.99E+99", "123", "+1.23E+02"},
      {"+9.99E+99", "-0.00012", "-1.20E-04"},
      {"+9.99E+99", "1.2E+05", "+1.20E+05"}, // the picture's shape: kept as given
      {"+99.99E+99", "01.5E-03", "+01.50E-03"},
      {"+9.99E+99", "0", "+0.00E+00"},
      {"-9V99E-99", "1.23", " 123E 00"},
      {"+9.99E+99", "123.4", nullptr},  // a fourth digit
      {"+9.99E+99", "1E+150", nullptr}, // the exponent's two digits
  };
  for (const EditedCase &c : cases) {
    const ParsedPicture picture = parsePicture(c.picture);
    std::string out(static_cast<std::size_t>(picture.size), '?');
    const NumberFit fit =
        writeExternalFloat(number(c.value), picture, ascii(), picture.size, out.data());
    if (c.want == nullptr) {
      EXPECT_NE(fit, NumberFit::ok) << c.picture << " " << c.value;
      continue;
    }
    EXPECT_EQ(fit, NumberFit::ok) << c.picture << " " << c.value;
    EXPECT_EQ(out, c.want) << c.picture << " " << c.value;
  }
}

TEST(TextBytes, PaddingJustifiedTruncationAndCodePages) {
  std::string out(4, '?');
  ASSERT_EQ(ebcdic().write("AB", out.data(), 4, false, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "C1 C2 40 40");
  ASSERT_EQ(ebcdic().write("AB", out.data(), 4, true, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "40 40 C1 C2");
  const TextResult tooLong = ebcdic().write("ABCDEF", out.data(), 4, false, false);
  EXPECT_EQ(tooLong.fit, TextFit::tooLong);
  EXPECT_EQ(tooLong.characters, 6);
  ASSERT_EQ(ebcdic().write("ABCDEF", out.data(), 4, false, true).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "C1 C2 C3 C4");
  ASSERT_EQ(ebcdic().write("ABCDEF", out.data(), 4, true, true).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "C3 C4 C5 C6") << "JUSTIFIED keeps the right end";
  const TextResult euro = ebcdic().write("\u20ac", out.data(), 4, false, false);
  EXPECT_EQ(euro.fit, TextFit::unmappable);
  EXPECT_EQ(euro.codePoint, 0x20ACu);
  ASSERT_EQ(TextBytes::open("IBM1140")->write("\u20ac", out.data(), 4, false, false).fit,
            TextFit::ok);
  EXPECT_EQ(hex(out), "9F 40 40 40");
  ASSERT_EQ(ebcdic().write("\u00e9", out.data(), 4, false, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "51 40 40 40");
  EXPECT_EQ(ebcdic().write("\xC3", out.data(), 4, false, false).fit, TextFit::invalidUtf8);
  // UTF-8 data: bytes counted, a character never cut in two.
  const TextBytes utf8 = *TextBytes::open("UTF-8");
  out.assign(3, '?');
  ASSERT_EQ(utf8.write("a\u00e9", out.data(), 3, false, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "61 C3 A9");
  ASSERT_EQ(utf8.write("ab\u00e9", out.data(), 3, false, true).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "61 62 20");
}

TEST(TextBytes, NationalAndDbcs) {
  std::string out(6, '?');
  ASSERT_EQ(writeNational("A\u00e9", out.data(), 6, false, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "00 41 00 E9 00 20");
  out.assign(4, '?');
  ASSERT_EQ(writeNational("\U0001F600", out.data(), 4, false, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "D8 3D DE 00") << "a surrogate pair";
  EXPECT_EQ(writeNational("abc", out.data(), 4, false, false).fit, TextFit::tooLong);
  const std::optional<DbcsBytes> dbcs = DbcsBytes::open("IBM930");
  ASSERT_TRUE(dbcs);
  out.assign(6, '?');
  // U+FF21 FULLWIDTH LATIN CAPITAL LETTER A is X'42C1', the ideographic space X'4040'.
  ASSERT_EQ(dbcs->write("\uff21\u3000", out.data(), 6, false, false).fit, TextFit::ok);
  EXPECT_EQ(hex(out), "42 C1 40 40 40 40");
  EXPECT_EQ(dbcs->write("A", out.data(), 6, false, false).fit, TextFit::notDoubleByte);
}

} // namespace

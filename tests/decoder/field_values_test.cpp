// Byte-level cases of the numeric decoders: packed, zoned, binary, floating point, edited.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "decoder/field_values.h"
#include "decoder/record_values.h"

namespace {

using namespace std::string_literals;

const CodePage &ebcdic() {
  static const CodePage page = *CodePage::open("IBM037");
  return page;
}

const CodePage &ascii() {
  static const CodePage page = *CodePage::open("ASCII");
  return page;
}

// Expected text, or nullopt when the bytes must be refused.
using Want = std::optional<std::string>;

struct PackedCase {
  std::string bytes;
  bool isSigned;
  int scale;
  Want want;
};

TEST(FieldValues, Packed) {
  const std::vector<PackedCase> cases = {
      {"\x12\x34\x5C"s, true, 2, "123.45"},
      {"\x12\x34\x5D"s, true, 2, "-123.45"},
      {"\x12\x34\x5B"s, true, 0, "-12345"}, // B is negative too
      {"\x12\x34\x5A"s, true, 0, "12345"},  // A, E and F are positive
      {"\x12\x34\x5F"s, false, 0, "12345"},
      {"\x00\x00\x0D"s, true, 2, "0.00"}, // negative zero has no sign
      {"\x01\x2C"s, true, 5, "0.00012"},
      {"\x12\x3C"s, true, -3, "123000"}, // PIC 999PPP
      {"\x09\x99\x99\x99\x99\x99\x99\x99\x99\x9D"s, true, 0, "-999999999999999999"},
      {std::string(15, '\x99') + "\x9C", true, 0, std::string(31, '9')},
      {"\x12\x3D"s, false, 0, std::nullopt}, // negative in an unsigned field
      {"\x1A\x3C"s, true, 0, std::nullopt},  // digit nibble A
      {"\xA1\x3C"s, true, 0, std::nullopt},
      {"\x12\x34"s, true, 0, std::nullopt}, // sign nibble 4
      {"\x12\x39"s, true, 0, std::nullopt},
      {""s, true, 0, std::nullopt},
  };
  for (const PackedCase &c : cases) {
    std::string out = "x";
    const bool ok = decodePacked(c.bytes, c.isSigned, c.scale, out);
    EXPECT_EQ(ok, c.want.has_value()) << testing::PrintToString(c.bytes);
    EXPECT_EQ(out, "x" + c.want.value_or("")) << testing::PrintToString(c.bytes);
    // The lines' writer straight from the digits: the same text, or nothing
    // (refused, or left to decodePacked: past 9 bytes, a P scale).
    char room[160];
    const char *const end = writePacked(c.bytes, c.isSigned, c.scale, room);
    const bool direct = c.want && c.bytes.size() <= 9 && c.scale >= 0;
    ASSERT_EQ(end != nullptr, direct) << testing::PrintToString(c.bytes);
    if (direct) {
      EXPECT_EQ(std::string(static_cast<const char *>(room), end), *c.want)
          << testing::PrintToString(c.bytes);
    }
  }
}

// Where a field stops fitting an int64 and is read as text instead: packed
// of 17 digits fits, 19 not; zoned of 18 fits, 19 not; unsigned binary of 8
// bytes past 2^63 - 1 not. Bad bytes are refused whatever their length.
TEST(FieldValues, WholeNumbersAndWhereTheyEnd) {
  std::int64_t whole = 0;
  EXPECT_EQ(packedWhole("\x99\x99\x99\x99\x99\x99\x99\x99\x9D"s, true, whole), WholeRead::ok);
  EXPECT_EQ(whole, -99999999999999999);
  EXPECT_EQ(packedWhole("\x09\x99\x99\x99\x99\x99\x99\x99\x99\x9C"s, true, whole), WholeRead::wide);
  EXPECT_EQ(packedWhole("\x1A\x3C"s, true, whole), WholeRead::invalid);
  EXPECT_EQ(unsignedPackedWhole("\x99\x99\x99\x99\x99\x99\x99\x99\x99"s, whole), WholeRead::ok);
  EXPECT_EQ(whole, 999999999999999999);
  const std::string nines18(18, '\xF9');
  EXPECT_EQ(zonedWhole(nines18.substr(0, 17) + "\xD9", ZonedSign::trailing, ebcdic(), whole),
            WholeRead::ok);
  EXPECT_EQ(whole, -999999999999999999);
  EXPECT_EQ(zonedWhole(nines18 + "\xF9", ZonedSign::none, ebcdic(), whole), WholeRead::wide);
  EXPECT_EQ(zonedWhole("\xF1\x40"s, ZonedSign::none, ebcdic(), whole), WholeRead::invalid);
  EXPECT_EQ(zonedWhole("\x60\xF1\xF2"s, ZonedSign::leadingSeparate, ebcdic(), whole),
            WholeRead::ok);
  EXPECT_EQ(whole, -12);
  EXPECT_EQ(binaryWhole(std::string(8, '\xFF'), false, false, whole), WholeRead::wide);
  EXPECT_EQ(binaryWhole(std::string(8, '\xFF'), true, false, whole), WholeRead::ok);
  EXPECT_EQ(whole, -1);
  EXPECT_EQ(binaryWhole("\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s, false, false, whole), WholeRead::ok);
  EXPECT_EQ(whole, INT64_MAX);
}

// A whole number brought to another scale: exact, or refused.
TEST(FieldValues, Rescale) {
  std::int64_t out = 0;
  ASSERT_TRUE(rescale(1234, 2, 4, out));
  EXPECT_EQ(out, 123400);
  ASSERT_TRUE(rescale(12, -2, 0, out)); // PIC 99PP: 1200
  EXPECT_EQ(out, 1200);
  ASSERT_TRUE(rescale(1200, 2, 0, out));
  EXPECT_EQ(out, 12);
  EXPECT_FALSE(rescale(1234, 2, 0, out)); // 12.34 is no whole number
  EXPECT_FALSE(rescale(INT64_MAX / 5, 0, 1, out));
  ASSERT_TRUE(rescale(-922337203685477580, 0, 1, out));
  EXPECT_EQ(out, -9223372036854775800);
}

struct ZonedCase {
  std::string bytes;
  ZonedSign sign;
  int scale;
  bool onEbcdic;
  Want want;
};

TEST(FieldValues, Zoned) {
  const std::vector<ZonedCase> cases = {
      {"\xF1\xF2\xC3"s, ZonedSign::trailing, 0, true, "123"},
      {"\xF1\xF2\xD3"s, ZonedSign::trailing, 1, true, "-12.3"},
      {"\xF1\xF2\xF3"s, ZonedSign::trailing, 0, true, "123"}, // F: unsigned data
      {"\xF0\xF0\xD0"s, ZonedSign::trailing, 2, true, "0.00"},
      {"\xD1\xF2\xF3"s, ZonedSign::leading, 0, true, "-123"},
      {"\x60\xF1\xF2"s, ZonedSign::leadingSeparate, 0, true, "-12"},
      {"\xF1\xF2\x4E"s, ZonedSign::trailingSeparate, 1, true, "1.2"},
      {"\xF1\xF2"s, ZonedSign::none, -2, true, "1200"},
      {"\xF0\xF0\xF1"s, ZonedSign::none, 4, true, "0.0001"},
      {"\xF1\x40"s, ZonedSign::none, 0, true, std::nullopt},                // a space
      {"\xF1\xA2"s, ZonedSign::trailing, 0, true, std::nullopt},            // zone A
      {"\xF1\xFA"s, ZonedSign::trailing, 0, true, std::nullopt},            // digit A
      {"\xF1\xF2\xF3"s, ZonedSign::leadingSeparate, 0, true, std::nullopt}, // no sign
      {""s, ZonedSign::none, 0, true, std::nullopt},
      {"12s", ZonedSign::trailing, 0, false, "-123"}, // GnuCOBOL style
      {"12C", ZonedSign::trailing, 0, false, "123"},
      {"12L", ZonedSign::trailing, 0, false, "-123"},
      {"12}", ZonedSign::trailing, 0, false, "-120"},
      {"12{", ZonedSign::trailing, 0, false, "120"},
      {"-007", ZonedSign::leadingSeparate, 1, false, "-0.7"},
      {"1 3", ZonedSign::none, 0, false, std::nullopt},
  };
  for (const ZonedCase &c : cases) {
    std::string out;
    const bool ok = decodeZoned(c.bytes, c.sign, c.scale, c.onEbcdic ? ebcdic() : ascii(), out);
    EXPECT_EQ(ok, c.want.has_value()) << testing::PrintToString(c.bytes);
    EXPECT_EQ(out, c.want.value_or("")) << testing::PrintToString(c.bytes);
  }
}

struct BinaryCase {
  std::string bytes;
  bool isSigned;
  bool little;
  int scale;
  std::string want;
};

TEST(FieldValues, Binary) {
  const std::vector<BinaryCase> cases = {
      {"\xFF\xFF"s, true, false, 0, "-1"},
      {"\xFF\xFF"s, false, false, 0, "65535"},
      {"\x80\x00"s, true, false, 0, "-32768"},
      {"\x01\x00"s, true, false, 0, "256"},
      {"\x01\x00"s, true, true, 0, "1"},
      {"\x04\xD2"s, true, false, 2, "12.34"},
      {"\xFF\xFE"s, true, false, 2, "-0.02"},
      {"\x00\x0C"s, false, false, -2, "1200"},
      {"\xFF\xFF\xFF\x85"s, true, false, 0, "-123"},
      {"\x85\xFF\xFF\xFF"s, true, true, 0, "-123"},
      {"\x80\x00\x00\x00\x00\x00\x00\x00"s, true, false, 0, "-9223372036854775808"},
      {std::string(8, '\xFF'), false, false, 0, "18446744073709551615"},
      {"\x7F\xFF\xFF\xFF\xFF\xFF\xFF\xFF"s, true, false, 4, "922337203685477.5807"},
  };
  for (const BinaryCase &c : cases) {
    std::string out;
    decodeBinary(c.bytes, c.isSigned, c.little, c.scale, out);
    EXPECT_EQ(out, c.want) << testing::PrintToString(c.bytes);
  }
}

struct FloatCase {
  std::string bytes;
  bool ieee;
  bool little;
  Want want;
};

TEST(FieldValues, FloatingPoint) {
  const std::vector<FloatCase> cases = {
      {"\x41\x10\x00\x00"s, false, false, "1"},
      {"\xC1\x10\x00\x00"s, false, false, "-1"},
      {"\x42\x64\x00\x00"s, false, false, "100"},
      {"\x40\x80\x00\x00"s, false, false, "0.5"},
      {"\xC2\x7B\x20\x00"s, false, false, "-123.125"},
      {"\x00\x00\x00\x00"s, false, false, "0"},
      {"\x00\x00\x10\x41"s, false, true, "1"},
      {"\x41\x10\x00\x00\x00\x00\x00\x00"s, false, false, "1"},
      {"\x40\x19\x99\x99\x99\x99\x99\x9A"s, false, false, "0.1"},
      {"\x3F\xC0\x00\x00"s, true, false, "1.5"},
      {"\x00\x00\xC0\x3F"s, true, true, "1.5"},
      {"\x3D\xCC\xCC\xCD"s, true, false, "0.1"}, // shortest text of the float, not the double
      {"\x40\x09\x21\xFB\x54\x44\x2D\x18"s, true, false, "3.141592653589793"},
      // IBM short floats past the IEEE single range, and unnormalised: the
      // shortest decimals that round back to the same 24-bit hexadecimal
      // fraction, found apart by exact search (the nearest among those of 1, 2, ...
      // digits; below X'..100000' the next value down is 1/16 unit away).
      {"\x7F\x10\x00\x00"s, false, false, "4.52313e+74"}, // 16^62
      {"\x7F\xFF\xFF\xFF"s, false, false, "7.237005e+75"},
      {"\xFF\xFF\xFF\xFF"s, false, false, "-7.237005e+75"},
      {"\x00\x10\x00\x00"s, false, false, "5.397606e-79"}, // 16^-65
      {"\x00\x00\x00\x01"s, false, false, "5.14756e-85"},
      {"\x7F\x00\x00\x01"s, false, false, "4.313592e+68"},
      {"\x60\xAB\xCD\xEF"s, false, false, "2.2836726e+38"},
      {"\x40\x19\x99\x9A"s, false, false, "0.1"},
      {"\x7F\xF0\x00\x00\x00\x00\x00\x00"s, true, false, std::nullopt},
      {"\xFF\x80\x00\x00"s, true, false, std::nullopt}, // -infinity
      {"\x7F\xC0\x00\x00"s, true, false, std::nullopt},
  };
  for (const FloatCase &c : cases) {
    std::string out;
    const bool ok = decodeFloat(c.bytes, c.ieee, c.little, out);
    EXPECT_EQ(ok, c.want.has_value()) << testing::PrintToString(c.bytes);
    EXPECT_EQ(out, c.want.value_or("")) << testing::PrintToString(c.bytes);
  }
}

TEST(FieldValues, UnsignedPacked) {
  const std::vector<std::pair<std::string, Want>> cases = {
      {"\x01\x23\x45"s, "123.45"}, // PIC 9(5) COMP-6 with V99: the pad nibble first
      {"\x00\x01\x50"s, "1.50"},   {"\x00\x00"s, "0.00"},
      {"\x12\x3C"s, std::nullopt}, // a sign nibble is no digit
      {"\xA1"s, std::nullopt},     {""s, std::nullopt},
  };
  for (const auto &[bytes, want] : cases) {
    std::string out = "x";
    EXPECT_EQ(decodeUnsignedPacked(bytes, 2, out), want.has_value())
        << testing::PrintToString(bytes);
    EXPECT_EQ(out, "x" + want.value_or("")) << testing::PrintToString(bytes);
  }
}

struct DecimalFloatCase {
  std::string bytes;
  bool little;
  Want want;
};

TEST(FieldValues, DecimalFloatingPointBid) {
  const std::vector<DecimalFloatCase> cases = {
      {"\x31\xA0\x00\x00\x00\x00\x00\x0F"s, false, "1.5"},
      {"\x0F\x00\x00\x00\x00\x00\xA0\x31"s, true, "1.5"},
      {"\xB1\x80\x00\x00\x00\x00\x00\x00"s, false, "0.00"}, // negative zero
      // A coefficient of 2^53 or more takes the large form (bits 62-61 set).
      {"\x6C\x73\x86\xF2\x6F\xC0\xFF\xFF"s, false, "9999999999999999"},
      {"\x57\x40\x00\x00\x00\x00\x00\x0F"s, false, "15E+300"},
      {"\xA5\x40\x00\x00\x00\x00\x00\x05"s, false, "-5E-100"},
      // Past 16 digits: non-canonical, read as zero.
      {"\x6C\x77\xFF\xFF\xFF\xFF\xFF\xFF"s, false, "0"},
      {"\x2F\xFE\x31\x4D\xC6\x44\x8D\x93\x38\xC1\x5B\x0A\x00\x00\x00\x00"s, false,
       "1.000000000000000000000000000000000"},
      {"\x30\x41\xED\x09\xBE\xAD\x87\xC0\x37\x8D\x8E\x64\x00\x00\x00\x00"s, false, "0"},
      {"\x78\x00\x00\x00\x00\x00\x00\x00"s, false, std::nullopt}, // infinity
      {"\x7C\x00\x00\x00\x00\x00\x00\x00"s, false, std::nullopt}, // NaN
      {"\x31\xA0\x00\x0F"s, false, std::nullopt},
  };
  for (const DecimalFloatCase &c : cases) {
    std::string out;
    EXPECT_EQ(decodeDecimalFloat(c.bytes, c.little, out), c.want.has_value())
        << testing::PrintToString(c.bytes);
    EXPECT_EQ(out, c.want.value_or("")) << testing::PrintToString(c.bytes);
  }
}

struct EditedCase {
  const char *picture;
  std::string text;
  Want want;
  bool comma = false;
  bool blankWhenZero = false;
};

// Expected values worked by hand from IBM's editing rules: what a MOVE of
// the value to the picture shows, read back; text no MOVE can show is refused.
TEST(FieldValues, EditedReadBackByPicture) {
  const std::vector<EditedCase> cases = {
      {"ZZZ,ZZ9.99-", "  1,234.56-", "-1234.56"},
      {"ZZZ,ZZ9.99-", "      0.05 ", "0.05"},
      {"$Z,ZZ9.99CR", "$1,234.50CR", "-1234.50"},
      {"$Z,ZZ9.99CR", "$1,234.50  ", "1234.50"},
      {"$Z,ZZ9.99CR", "$1,234.50C ", std::nullopt}, // half a CR
      {"ZZZZ9.99DB", "   12.00DB", "-12.00"},
      {"**99.9", "**12.5", "12.5"},
      {"**99.9", " *12.5", std::nullopt}, // blank where the fill is "*"
      {"ZZ9.99", "      ", "0.00", false, true},
      {"ZZ9.99", "      ", std::nullopt}, // no BLANK WHEN ZERO: a 9 shows "0"
      {"ZZ9.99", "  0.00", "0.00"},
      {"ZZ9.99", "1 2.00", std::nullopt}, // blank after significance
      {"ZZ9.99", "012.00", "12.00"},      // a zero shown where it could be blank
      {"ZZ.ZZ", "     ", "0.00"},         // zero with every digit suppressed
      {"**.**", "**.**", "0.00"},
      {"**.**", "*****", std::nullopt},
      {"Z.ZZ9,9", "1.234,5", "1234.5", true},
      {"9(6).99-", "0503529E23", std::nullopt},
      {"9(6).99-", "050352.90-", "-50352.90"},
      {"9909", "1203", "123"},        // the 0 is inserted, not a digit
      {"9909", "1213", std::nullopt}, // ... and must show as 0
      {"99/99/99", "12/31/99", "123199"},
      {"99BB99", "12  34", "1234"},
      {"Z9PPP", " 2", "2000"},
      {"PPPZ9", " 2", "0.00002"},
      {"$$$,$$9.99", "     $5.00", "5.00"},
      {"$$$,$$9.99", " $1,234.56", "1234.56"},
      {"$$$,$$9.99", "$ 1,234.56", std::nullopt}, // the symbol not right before the digits
      {"$$$,$$9.99", "  1,234.56", std::nullopt}, // no symbol at all
      {"++++9.99", "  -12.50", "-12.50"},
      {"++++9.99", "  +12.50", "12.50"},
      {"----.--", "   -.05", "-0.05"},
      {"----.--", "    .05", "0.05"},
      {"+ZZZ9", "-  12", "-12"},
      {"ZZZ9-", "  12-", "-12"},
      {"ZZZ9-", "  12+", std::nullopt},
      {"+9(2).9(2)E+9(2)", "+01.50E+02", "1.50E+02"},
      {"+9(2).9(2)E+9(2)", "-12.50E-03", "-12.50E-03"},
      {"+9(2).9(2)E+9(2)", "01.50E+02 ", std::nullopt}, // sign missing, all shifted
      {"+9(2).9(2)E+9(2)", "+01.50F+02", std::nullopt},
      {"-99.999E-99", " 00.000E 00", "0.000E00"}, // zero, both signs positive
      {"-99.999E-99", "-00.000E 00", "0.000E00"},
      {"-99.999E-99", "+12.345E-01", std::nullopt}, // "-" shows a blank, never "+"
      {"+9V99E+99", "+123E+05", "1.23E+05"},        // V: the point is not shown
      {"+9.99E+99", "+1.23E+5 ", std::nullopt},
      {"+.999E+99", "-.123E-01", "-0.123E-01"},
  };
  for (const EditedCase &c : cases) {
    const ParsedPicture picture = parsePicture(c.picture, c.comma);
    std::string out;
    const bool ok = decodeEdited(c.text, picture, c.blankWhenZero, ascii(), out);
    EXPECT_EQ(ok, c.want.has_value()) << c.picture << " " << c.text;
    EXPECT_EQ(out, c.want.value_or("")) << c.picture << " " << c.text;
  }
}

TEST(FieldValues, EditedReadFromEbcdic) {
  std::string out;
  // +01.50E+02 in IBM037.
  EXPECT_TRUE(decodeEdited("\x4E\xF0\xF1\x4B\xF5\xF0\xC5\x4E\xF0\xF2"s,
                           parsePicture("+9(2).9(2)E+9(2)"), false, ebcdic(), out));
  EXPECT_EQ(out, "1.50E+02");
  // A byte the code page gives no ASCII character for.
  out.clear();
  EXPECT_FALSE(decodeEdited("\xF1\xF2\xFF"s, parsePicture("ZZ9"), false, ebcdic(), out));
}

TEST(FieldValues, IntegerOfDecodedNumbers) {
  std::int64_t value = 0;
  EXPECT_TRUE(integerOf("12", value));
  EXPECT_EQ(value, 12);
  EXPECT_TRUE(integerOf("-3.00", value));
  EXPECT_EQ(value, -3);
  EXPECT_FALSE(integerOf("1.50", value));
  EXPECT_FALSE(integerOf("99999999999999999999", value));
  EXPECT_FALSE(integerOf("1E5", value));
}

} // namespace

// Scaled numbers at each count of digits, both sides of every power of ten,
// against a spelling by std::to_string and a point put in by hand: the
// number's text must not depend on which of the writer's paths (eight
// digits, sixteen, pairs by division) its size takes.
TEST(FieldValues, ScaledAtEveryLength) {
  auto expected = [](std::uint64_t magnitude, bool negative, int scale) {
    std::string digits = std::to_string(magnitude);
    if (scale > 0 && digits.size() <= static_cast<std::size_t>(scale))
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    if (scale > 0)
      digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
    return (negative && magnitude != 0 ? "-" : "") + digits;
  };
  std::vector<std::uint64_t> values = {0, 1, 7, 18446744073709551615ULL};
  for (std::uint64_t power = 10; power <= 10000000000000000000ULL; power *= 10) {
    values.insert(values.end(), {power - 1, power, power + 1, power / 10 * 7 + 3});
    if (power > 1844674407370955161ULL)
      break;
  }
  for (const std::uint64_t value : values)
    for (int scale = 0; scale <= 18; ++scale)
      for (const bool negative : {false, true}) {
        char buffer[96];
        const char *const end = writeScaled(value, negative, scale, buffer);
        EXPECT_EQ(std::string(buffer, static_cast<std::size_t>(end - buffer)), expected(value, negative, scale))
            << value << " scale " << scale;
      }
}

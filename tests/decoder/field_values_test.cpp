// Byte-level cases of the numeric decoders: packed, zoned, binary, floating point, edited.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "decoder/field_values.h"

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
  }
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
      {"\x7F\xF0\x00\x00\x00\x00\x00\x00"s, true, false, std::nullopt},
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
  std::string text;
  bool comma;
  Want want;
};

TEST(FieldValues, EditedReadBackFromAscii) {
  const std::vector<EditedCase> cases = {
      {"  1,234.56-", false, "-1234.56"},
      {"$1,234.50CR", false, "-1234.50"},
      {"    12.00DB", false, "-12.00"},
      {"**12.5", false, "12.5"},
      {"      ", false, "0"}, // BLANK WHEN ZERO
      {"1.234,5", true, "1234.5"},
      {"+1.234E+05", false, "1.234E+05"},
      {"-5.E-02", false, "-5E-02"},
      {"1.5E", false, std::nullopt},
      {"12CX", false, std::nullopt},
      {"1#2", false, std::nullopt},
  };
  for (const EditedCase &c : cases) {
    std::string out;
    const bool ok = decodeEdited(c.text, ascii(), c.comma, out);
    EXPECT_EQ(ok, c.want.has_value()) << c.text;
    EXPECT_EQ(out, c.want.value_or("")) << c.text;
  }
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

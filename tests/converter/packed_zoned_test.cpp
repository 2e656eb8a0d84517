// Tests the packed/zoned encoder: decimal.cases, validation, default sign, rounding, texts.
#include <gtest/gtest.h>

#include <iomanip>
#include <map>
#include <sstream>
#include <string>

#include "converter/packed_zoned.h"
#include "tests/converter/converter_support.h"

namespace {

using Dec = TpzCblDecimal;

std::string hex(const std::string &image) {
  std::ostringstream out;
  for (unsigned char byte : image)
    out << std::uppercase << std::hex << std::setw(2) << std::setfill('0') << int(byte);
  return out.str();
}

// One line of decimal.cases carried out; the result as the file writes it.
std::string run(std::istringstream &line) {
  static const std::map<std::string, Dec::Sign> signs = {
      {"default", Dec::SignDefault},
      {"none", Dec::SignNone},
      {"leading", Dec::SignLeading},
      {"trailing", Dec::SignTrailing},
      {"leading-sep", Dec::SignLeadingSeparate},
      {"trailing-sep", Dec::SignTrailingSeparate}};
  std::string type, sign, encoding, pattern, operation, input;
  line >> type >> sign >> encoding >> pattern >> operation >> std::quoted(input);
  Dec decimal(type == "packed" ? Dec::TypePacked : Dec::TypeZoned, signs.at(sign), 0, 0, 0);
  decimal.setEncoding(encoding == "ascii" ? Dec::EncodingAscii : Dec::EncodingEbcdic);
  TpzErrorCode rc = decimal.setPattern(pattern.c_str());
  if (rc.isSuccess())
    rc = decimal.validate();
  std::string image;
  if (rc.isSuccess() && operation == "pattern")
    return std::to_string(decimal.getDigits()) + "," + std::to_string(decimal.getPointLocation()) +
           "," + std::to_string(decimal.getScale()) +
           (decimal.isUnsigned() ? ",unsigned" : ",signed");
  if (rc.isSuccess() && operation == "encode")
    rc = decimal.convertToCobol(input, image);
  if (!rc.isSuccess())
    return "!" + std::to_string(rc.getCode());
  return operation == "encode" ? hex(image) : "unknown operation " + operation;
}

TEST(Decimal, EveryCaseOfTheTable) {
  std::istringstream file(vexReadFile("tests/converter/data/decimal.cases"));
  int count = 0;
  for (std::string text; std::getline(file, text);) {
    if (text.empty() || text[0] == '#')
      continue;
    std::istringstream line(text);
    const std::string result = run(line);
    std::string expected;
    line >> expected;
    EXPECT_EQ(result, expected) << text;
    ++count;
  }
  EXPECT_GT(count, 80);
}

TEST(Decimal, ValidationReportsTheFirstFailingCheck) {
  // type, sign, encoding, digits, point location, scale, expected code
  const int cases[][7] = {{0, 6, 0, 3, 0, 0, 1},  {3, 6, 0, 3, 0, 0, 2},  {2, 0, 0, 3, 0, 0, 3},
                          {2, 5, 0, 3, 0, 0, 3},  {2, 7, 0, 3, 0, 0, 3},  {1, 2, 0, 3, 0, 0, 3},
                          {2, 2, 2, 3, 0, 0, 4},  {2, 2, 0, 0, 0, 0, 5},  {2, 2, 0, 3, -1, 0, 6},
                          {2, 2, 0, 3, 0, -2, 7}, {2, 2, 0, 3, 1, 2, 8},  {2, 2, 0, 3, 4, -2, 9},
                          {2, 2, 0, 3, 4, 0, 10}, {1, 5, 0, 3, 5, -2, 0}, {1, 6, 1, 3, 3, 0, 0},
                          {2, 4, 0, 3, 3, 0, 0},  {0, 9, 9, 0, -1, 0, 1}};
  for (const auto &c : cases) {
    Dec decimal(static_cast<Dec::Type>(c[0]), static_cast<Dec::Sign>(c[1]), c[3], c[4], c[5]);
    decimal.setEncoding(static_cast<Dec::Encoding>(c[2]));
    EXPECT_EQ(decimal.validate().getCode(), c[6])
        << c[0] << " " << c[1] << " " << c[3] << " " << c[4];
  }
  // A description that did not validate converts nothing.
  Dec unvalidated(Dec::TypeNotSet, Dec::SignDefault, 3, 0, 0);
  std::string out;
  EXPECT_EQ(unvalidated.convertToCobol("1", out).getCode(), 1);
}

TEST(Decimal, DefaultSignAndWidth) {
  for (auto [type, pattern, sign] : {std::tuple{Dec::TypePacked, "S99", 5},
                                     {Dec::TypeZoned, "S99", 2},
                                     {Dec::TypePacked, "99", 0}}) {
    Dec decimal(type, Dec::SignDefault, 0, 0, 0);
    ASSERT_TRUE(decimal.setPattern(pattern).isSuccess() && decimal.validate().isSuccess());
    EXPECT_EQ(static_cast<int>(decimal.getSign()), sign) << pattern;
  }
  EXPECT_EQ(Dec(Dec::TypePacked, Dec::SignPacked, 5, 0, 0).getWidth(), 3);
  EXPECT_EQ(Dec(Dec::TypePacked, Dec::SignPacked, 4, 0, 0).getWidth(), 3);
  EXPECT_EQ(Dec(Dec::TypePacked, Dec::SignPacked, 1, 0, 0).getWidth(), 1);
  EXPECT_EQ(Dec(Dec::TypeZoned, Dec::SignTrailing, 4, 0, 0).getWidth(), 4);
  EXPECT_EQ(Dec(Dec::TypeZoned, Dec::SignLeadingSeparate, 4, 0, 0).getWidth(), 5);
  EXPECT_EQ(Dec(Dec::TypeZoned, Dec::SignTrailingSeparate, 4, 0, 0).getWidth(), 5);
}

TEST(Decimal, RoundingHalfUpWithCarry) {
  const std::tuple<const char *, std::size_t, const char *> cases[] = {
      {"12345", 2, "123"}, {"12350", 2, "124"}, {"1995", 1, "200"}, {"995", 1, "100"},
      {"95", 2, "1"},      {"45", 2, ""},       {"5", 2, ""},       {"123", 0, "123"}};
  for (const auto &[digits, drop, rounded] : cases) {
    std::string text = digits;
    TpzCblDecimalHelper::numRound(text, drop);
    EXPECT_EQ(text, rounded) << digits << " drop " << drop;
  }
}

} // namespace

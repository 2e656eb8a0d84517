// Tests VALUE literals: delimiters, hex, Z and DBCS literals, ALL, figurative constants.
#include <gtest/gtest.h>

#include <string>

#include "converter/value_clauses.h"

namespace {

VexCblValue strValue(const char *literal, bool all = false) {
  VexCblValue value;
  value.setExpandable(all);
  value.setStrValue(literal);
  return value;
}

VexCblValue figConst(int code) {
  VexCblValue value;
  value.setFigConst(code);
  return value;
}

TEST(ValueLiteral, DoubledDelimitersStandForOne) {
  const VexCblValue apostrophe = strValue("'IT''S'");
  EXPECT_EQ(static_cast<int>(apostrophe.getType()), static_cast<int>(VexCblValue::Alphanumeric));
  EXPECT_EQ(apostrophe.getValue(), "IT'S");
  EXPECT_EQ(strValue("\"SAY \"\"HI\"\"\"").getValue(), "SAY \"HI\"");
  // The other delimiter inside a literal is an ordinary character.
  EXPECT_EQ(strValue("\"IT'S\"").getValue(), "IT'S");
  EXPECT_EQ(strValue("''''").getValue(), "'");
  EXPECT_EQ(strValue("''").getValue(), "");
  EXPECT_EQ(strValue("''").getValueImage(3), "");
}

TEST(ValueLiteral, AlphanumericImagesAreNotPaddedOrCut) {
  const VexCblValue ab = strValue("'AB'");
  EXPECT_EQ(ab.getValueImage(5), "AB");
  EXPECT_EQ(ab.getValueImage(-1), "AB");
  EXPECT_EQ(strValue("'ABCDEFG'").getValueImage(3), "ABCDEFG");
  EXPECT_EQ(strValue("'A\\B'").getValueImage(-1), "A\\\\B");
}

TEST(ValueLiteral, AllRepeatsToTheLength) {
  const VexCblValue all = strValue("\"AB\"", true);
  EXPECT_EQ(all.getValueImage(5), "ABABA");
  EXPECT_EQ(all.getValueImage(2), "AB");
  EXPECT_EQ(all.getValueImage(1), "AB");
  EXPECT_EQ(all.getValueImage(-1), "AB");
  // Repetition comes first, then the backslashes are doubled.
  EXPECT_EQ(strValue("'\\'", true).getValueImage(3), "\\\\\\\\\\\\");
}

TEST(ValueLiteral, HexadecimalLiteralsAreEscapes) {
  const VexCblValue hex = strValue("X'00FF'");
  EXPECT_EQ(static_cast<int>(hex.getType()), static_cast<int>(VexCblValue::Hexadecimal));
  EXPECT_EQ(hex.getValue(), "\\h00\\hFF");
  EXPECT_EQ(hex.getUnitLength(), 4u);
  EXPECT_EQ(hex.getValueImage(2), "\\h00\\hFF");
  EXPECT_EQ(hex.getValueImage(5), "\\h00\\hFF");

  EXPECT_EQ(strValue("x\"0a1B\"").getValue(), "\\h0a\\h1B");
  EXPECT_EQ(strValue("X'ABC'").getValue(), "\\hAB\\hC0");
  EXPECT_EQ(strValue("X''").getValueImage(2), "");

  // ALL X"0102" fills three units with whole escapes.
  EXPECT_EQ(strValue("X\"0102\"", true).getValueImage(3), "\\h01\\h02\\h01");
}

TEST(ValueLiteral, NullTerminatedLiterals) {
  const VexCblValue z = strValue("Z'C:\\TMP'", true);
  EXPECT_EQ(static_cast<int>(z.getType()), static_cast<int>(VexCblValue::NullTerminated));
  EXPECT_EQ(z.getValue(), "C:\\TMP");
  EXPECT_FALSE(z.isExpandable());
  EXPECT_EQ(z.getValueImage(10), "C:\\\\TMP\\0");
  EXPECT_EQ(strValue("z\"A\"\"B\"").getValueImage(-1), "A\"B\\0");
}

TEST(ValueLiteral, DbcsAndNationalLiteralsAreKeptAsWritten) {
  const VexCblValue g = strValue("G'AB'");
  EXPECT_EQ(static_cast<int>(g.getType()), static_cast<int>(VexCblValue::Dbcs));
  EXPECT_EQ(g.getValue(), "'AB'");
  EXPECT_EQ(strValue("n\"X\\\"").getValueImage(-1), "\"X\\\"");
}

TEST(ValueLiteral, NumericLiteralsAreNeverRepeated) {
  VexCblValue number;
  number.setExpandable(true);
  number.setNumValue("-12.50");
  EXPECT_EQ(static_cast<int>(number.getType()), static_cast<int>(VexCblValue::Numeric));
  EXPECT_FALSE(number.isExpandable());
  EXPECT_EQ(number.getValueImage(8), "-12.50");

  VexCblValue untouched;
  untouched.setNumValue(nullptr);
  untouched.setStrValue(nullptr);
  EXPECT_EQ(static_cast<int>(untouched.getType()), static_cast<int>(VexCblValue::NoValue));
  EXPECT_EQ(untouched.getValueImage(4), "");
}

TEST(ValueFigurative, FillTheLength) {
  struct Case {
    int code;
    int length;
    const char *image;
  } const cases[] = {
      {131, 3, "000"},   {257, 2, "00"},         {267, 1, "0"},
      {259, 5, "     "}, {260, 3, "   "},        {261, 3, "\\hFF\\hFF\\hFF"},
      {262, 1, "\\hFF"}, {263, 2, "\\h00\\h00"}, {264, -1, "\\h00"},
      {265, 2, "\"\""},  {266, 1, "\""},
  };
  for (const Case &c : cases) {
    const VexCblValue value = figConst(c.code);
    EXPECT_EQ(static_cast<int>(value.getType()), static_cast<int>(VexCblValue::FigurativeConstant))
        << c.code;
    EXPECT_TRUE(value.isExpandable()) << c.code;
    EXPECT_EQ(value.getValueImage(c.length), c.image) << c.code;
  }
  EXPECT_EQ(figConst(261).getUnitLength(), 4u);
}

TEST(ValueFigurative, NullIsASingleZero) {
  const VexCblValue null = figConst(269);
  EXPECT_EQ(static_cast<int>(null.getType()), static_cast<int>(VexCblValue::FigurativeConstant));
  EXPECT_FALSE(null.isExpandable());
  EXPECT_EQ(null.getValueImage(4), "0");
}

TEST(ValueFigurative, UnknownCodeLeavesNoValue) {
  for (int code : {268, 0, 14}) {
    VexCblValue value;
    value.setStrValue("'OLD'");
    EXPECT_FALSE(value.setFigConst(code)) << code;
    EXPECT_EQ(static_cast<int>(value.getType()), static_cast<int>(VexCblValue::NoValue));
    EXPECT_EQ(value.getValueImage(3), "");
  }
  VexCblValue space;
  EXPECT_TRUE(space.setFigConst(259));
}

} // namespace

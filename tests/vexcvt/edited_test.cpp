#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/vexcvt/typemap_support.h"
#include "vexcvt/vexfcbl/vexcbtnm.h"

namespace {

constexpr const char *zeroSymbols =
    "\n\tWarning: The picture contains 0 symbols. \n\tString primitive was generated.";
constexpr const char *beforeZeroSup =
    "\n\tWarning: Symbol before zero suppression sequence. \n\tString primitive was generated.";
constexpr const char *differentSeparators =
    "\n\tWarning: Different group separators. \n\tString primitive was generated.";
constexpr const char *separatorTooLong =
    "\n\tWarning: Group separator is too long. \n\tString primitive was generated.";

struct EditedCase {
  const char *picture;
  std::string markup;
  const char *warning = nullptr; // the one message expected, if any
  bool commaDecimalPoint = false;
};

std::string edited(int width, const char *pad, const char *presentation, const char *pattern,
                   const char *extra = "") {
  std::string markup =
      "<NumberDefinition width=\"" + std::to_string(width) + "\" justification=\"right\"";
  if (pad != nullptr)
    markup += std::string(" padCharacter=\"") + pad + "\"";
  return markup + extra + " textPresentation=\"" + presentation + "\" textPattern=\"" + pattern +
         "\"";
}

std::string fallback(int width) {
  return "<StringDefinition width=\"" + std::to_string(width) +
         "\" justification=\"right\" padCharacter=\"0\"/>";
}

const std::vector<EditedCase> &editedCases() {
  static const std::vector<EditedCase> cases = {
      // Zero suppression with grouping and an explicit point.
      {"ZZ,ZZ9.99", edited(9, " ", "explicitDecimal", "##,##0.00;##,##0.00", "") +
                        " decimalPoint=\".\" groupSeparator=\",\"/>"},
      {"**,**9.99", edited(9, "*", "explicitDecimal", "##,##0.00;##,##0.00") +
                        " decimalPoint=\".\" groupSeparator=\",\"/>"},
      {"Z(3)V99", edited(5, " ", "impliedDecimal", "###;###", " pointLocation=\"2\"") + "/>"},
      {"Z(2)ZV9(2)", edited(5, " ", "impliedDecimal", "###;###", " pointLocation=\"2\"") + "/>"},
      // Floating insertion.
      {"$$$,$$9.99", edited(10, " ", "explicitDecimal", "$##,##0.00;$##,##0.00") +
                         " decimalPoint=\".\" groupSeparator=\",\"/>"},
      {"+++9", edited(4, " ", "digits", "+##0;-##0") + "/>"},
      {"+(3)9", edited(4, " ", "digits", "+##0;-##0") + "/>"},
      {"-(4)9", edited(5, " ", "digits", " ###0;-###0") + "/>"},
      {"----9", edited(5, " ", "digits", " ###0;-###0") + "/>"},
      {"--,--9", edited(6, " ", "digits", " #,##0;-#,##0") + " groupSeparator=\",\"/>"},
      // Fixed signs and currency.
      {"9(5)-", edited(6, nullptr, "digits", "00000 ;00000-") + "/>"},
      {"+9(3)", edited(4, nullptr, "digits", "+000;-000") + "/>"},
      {"-999", edited(4, nullptr, "digits", " 000;-000") + "/>"},
      {"$9(3).99",
       edited(7, nullptr, "explicitDecimal", "$000.00;$000.00") + " decimalPoint=\".\"/>"},
      {"ZZ9.99CR",
       edited(8, " ", "explicitDecimal", "##0.00  ;##0.00CR") + " decimalPoint=\".\"/>"},
      {"ZZ9DB", edited(5, " ", "digits", "##0  ;##0DB") + "/>"},
      // Separators between digits, and insertions outside them.
      {"99/99/99", edited(8, nullptr, "digits", "00,00,00;00,00,00") + " groupSeparator=\"/\"/>"},
      {"999B999", edited(7, nullptr, "digits", "000,000;000,000") + " groupSeparator=\" \"/>"},
      {"9(3)/", edited(4, nullptr, "digits", "000/;000/") + "/>"},
      {"B999", edited(4, nullptr, "digits", " 000; 000") + "/>"},
      // Pictures the pattern cannot express.
      {"9BB9", fallback(4), separatorTooLong},
      {"9//9", fallback(4), separatorTooLong},
      {"9,999/999", fallback(9), differentSeparators},
      {"$ZZ9", fallback(4), beforeZeroSup},
      {"+ZZ9", fallback(4), beforeZeroSup},
      {"9(3)09", fallback(5), zeroSymbols},
      // The user's comma point: stored with "." and "," exchanged, written back.
      {"ZZ.ZZ9,99",
       edited(9, " ", "explicitDecimal", "##,##0.00;##,##0.00") +
           " decimalPoint=\",\" groupSeparator=\".\"/>",
       nullptr, true},
  };
  return cases;
}

TEST(EditedPattern, EveryPictureGivesItsDefinitionAndMessage) {
  for (const EditedCase &c : editedCases()) {
    SCOPED_TRACE(c.picture);
    VexTmItem item;
    item.picture = c.picture;
    const VexTmResult result = vexTmConvert(item, {.commaDecimalPoint = c.commaDecimalPoint});
    EXPECT_FALSE(result.threw);
    EXPECT_EQ(result.markup, c.markup);
    EXPECT_EQ(result.messages, c.warning ? vexTmMessage(c.warning) : "");
  }
}

TEST(EditedPattern, RenderedDefinitionsMatchTheSchema) {
  for (const EditedCase &c : editedCases()) {
    SCOPED_TRACE(c.picture);
    VexTmItem item;
    item.picture = c.picture;
    EXPECT_EQ(
        vexTmSchemaErrors(vexTmConvert(item, {.commaDecimalPoint = c.commaDecimalPoint}).markup),
        "");
  }
}

TEST(EditedPattern, ValueIsIgnoredWithAWarning) {
  VexTmItem item;
  item.picture = "ZZ9.99";
  item.valueKind = VexTmValueKind::number;
  item.value = "1.5";
  const VexTmResult result = vexTmConvert(item);
  EXPECT_EQ(result.messages,
            vexTmMessage("\n\tWarning: VALUE keyword is not supported for numeric-edited items. "
                         "\n\tVALUE was ignored."));
  EXPECT_EQ(result.markup.find("default="), std::string::npos) << result.markup;
}

TEST(EditedPattern, TextNumbersAsStringsTakesPrecedence) {
  VexTmItem item;
  item.picture = "ZZ,ZZ9.99CR";
  const VexTmResult result = vexTmConvert(item, {.textNumbersAsStrings = true});
  EXPECT_EQ(result.markup,
            "<StringDefinition width=\"11\" justification=\"right\" padCharacter=\" \"/>");
  EXPECT_EQ(result.messages, "");
}

TEST(EditedSymbols, ZeroSuppressionSymbolStandsAheadOfTheFirstDigit) {
  EXPECT_EQ(vexCblGetZeroSupSymbol("ZZ9"), 'Z');
  EXPECT_EQ(vexCblGetZeroSupSymbol("**9"), '*');
  // Z is looked for first.
  EXPECT_EQ(vexCblGetZeroSupSymbol("*Z9"), 'Z');
  EXPECT_EQ(vexCblGetZeroSupSymbol("9ZZ"), 0);
  EXPECT_EQ(vexCblGetZeroSupSymbol("ZZZ"), 'Z');
  // The 9 of a repetition count is no digit position.
  EXPECT_EQ(vexCblGetZeroSupSymbol("+(9)Z9"), 'Z');
  EXPECT_EQ(vexCblGetZeroSupSymbol(""), 0);
  EXPECT_EQ(vexCblGetZeroSupSymbol(nullptr), 0);
}

TEST(EditedSymbols, FloatingSymbolFillsTwoPositions) {
  EXPECT_EQ(vexCblGetFloatSymbol("++9"), '+');
  EXPECT_EQ(vexCblGetFloatSymbol("+9"), 0);
  EXPECT_EQ(vexCblGetFloatSymbol("+(2)9"), '+');
  EXPECT_EQ(vexCblGetFloatSymbol("$(12)9"), '$');
  EXPECT_EQ(vexCblGetFloatSymbol("--$$9"), '-');
  EXPECT_EQ(vexCblGetFloatSymbol("$$--9"), '-');
  EXPECT_EQ(vexCblGetFloatSymbol("$,$$9"), '$');
  EXPECT_EQ(vexCblGetFloatSymbol("9++"), 0);
  EXPECT_EQ(vexCblGetFloatSymbol("+++"), '+');
}

TEST(EditedSymbols, InsertionSymbols) {
  for (char c : std::string("$+-/B0,"))
    EXPECT_TRUE(vexCblIsInsertionSymbol(c)) << c;
  for (char c : std::string("9Z*.VCRDS"))
    EXPECT_FALSE(vexCblIsInsertionSymbol(c)) << c;
  EXPECT_FALSE(vexCblIsInsertionSymbol('\0'));
}

} // namespace

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cobol/Tree.h"
#include "platform/vextrace.h"
#include "tests/vexcvt/typemap_support.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexcbcrt.h"
#include "vexcvt/vexfcbl/vexcbctx.h"
#include "vexcvt/vexfcbl/vexcbtnm.h"

namespace {

constexpr const char *invalidItem = "\n\tError: Invalid Cobol item or unknown datatype.";
constexpr const char *noPicture = "\n\tError: Picture is not specified.";
constexpr const char *unknownUsage = "\n\tError: Unknown usage is specified.";
constexpr const char *display1 =
    "\n\tWarning: DISPLAY_1 usage is not supported. \n\tBinary primitive was generated.";
constexpr const char *groupValue =
    "\n\tWarning: VALUE keyword is not supported for group items. \n\tVALUE was ignored.";
constexpr const char *pSymbols =
    "\n\tWarning: The picture contains P symbols. \n\tP symbols were ignored.";
constexpr const char *blankOrNo9 =
    "\n\tWarning: BLANK WHEN ZERO keyword or the picture \n\twithout 9 is not "
    "supported. String primitive was generated.";
constexpr const char *innerSign =
    "\n\tWarning: The number contains inner sign. \n\tBinary primitive was generated.";
constexpr const char *implicitDecimal =
    "\n\tWarning: The binary number is implicit decimal. \n\tThe V symbol is ignored.";
constexpr const char *packed =
    "\n\tWarning: Packed decimal is not supported. \n\tBinary primitive was generated.";
constexpr const char *shortFloat =
    "\n\tWarning: External floating-point items less tha 7 symbols are not "
    "supported. \n\tString primitive was generated.";

constexpr VexTmConfig compat300{.compatLevel = 300};

struct MappingCase {
  const char *title;
  VexTmItem item;
  VexTmConfig config;
  const char *markup; // null: the conversion ends with VexCvtError
  std::vector<const char *> messages;
};

VexTmItem pic(const char *picture, int usage = cwNone, int sign = cwNone) {
  VexTmItem item;
  item.picture = picture;
  item.usage = usage;
  item.sign = sign;
  return item;
}

VexTmItem withNumber(VexTmItem item, const char *literal) {
  item.valueKind = VexTmValueKind::number;
  item.value = literal;
  return item;
}

VexTmItem withString(VexTmItem item, const char *literal) {
  item.valueKind = VexTmValueKind::string;
  item.value = literal;
  return item;
}

VexTmItem withFigurative(VexTmItem item, int code) {
  item.valueKind = VexTmValueKind::figurative;
  item.figurative = code;
  return item;
}

VexTmItem repeated(VexTmItem item) {
  item.all = true;
  return item;
}

VexTmItem flagged(VexTmItem item, bool blankWhenZero, bool justified) {
  item.blankWhenZero = blankWhenZero;
  item.justified = justified;
  return item;
}

VexTmItem inGroup(VexTmItem item, int usage, int sign) {
  item.groupUsage = usage;
  item.groupSign = sign;
  return item;
}

VexTmItem group() {
  VexTmItem item;
  item.isGroup = true;
  return item;
}

void runCases(const std::vector<MappingCase> &cases) {
  for (const MappingCase &c : cases) {
    SCOPED_TRACE(c.title);
    const VexTmResult result = vexTmConvert(c.item, c.config);
    EXPECT_EQ(result.threw, c.markup == nullptr);
    EXPECT_EQ(result.markup, c.markup ? c.markup : "");
    std::string expected;
    for (const char *message : c.messages)
      expected += vexTmMessage(message);
    EXPECT_EQ(result.messages, expected);
  }
}

void validateCases(const std::vector<MappingCase> &cases) {
  for (const MappingCase &c : cases) {
    if (c.markup == nullptr)
      continue;
    SCOPED_TRACE(c.title);
    EXPECT_EQ(vexTmSchemaErrors(vexTmConvert(c.item, c.config).markup), "");
  }
}

const std::vector<MappingCase> &dispatchCases() {
  static const std::vector<MappingCase> cases = {
      {"group", group(), {}, "<GroupDefinition groupType=\"1\"/>", {}},
      {"group with VALUE keeps the group",
       withString(group(), "'A'"),
       {},
       "<GroupDefinition groupType=\"1\"/>",
       {groupValue}},
      {"no picture, no usage", pic(nullptr), {}, nullptr, {invalidItem}},
      {"no picture, DISPLAY-1", pic(nullptr, cwDisplay1), {}, nullptr, {invalidItem}},
      {"no picture, COMP-1",
       pic(nullptr, cwComp0 + 1),
       {},
       "<NumberDefinition binaryPresentation=\"float32\"/>",
       {}},
      {"picture, USAGE from the group",
       inGroup(pic("S9(3)"), cwComp3, cwNone),
       {},
       "<NumberDefinition digits=\"3\" binaryPresentation=\"packedDecimal\"/>",
       {}},
      {"own DISPLAY beats the group's usage",
       inGroup(pic("S9(3)", cwDisplay), cwComp3, cwNone),
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"trailing\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
      {"SIGN from the group",
       inGroup(pic("S9(3)"), cwNone, cwLeadingSeparate),
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"leadingSeparate\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
  };
  return cases;
}

const std::vector<MappingCase> &stringCases() {
  static const std::vector<MappingCase> cases = {
      {"X(5)",
       pic("X(5)"),
       {},
       "<StringDefinition width=\"5\" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"X(5) JUSTIFIED RIGHT",
       flagged(pic("X(5)"), false, true),
       {},
       "<StringDefinition width=\"5\" justification=\"right\" padCharacter=\" \"/>",
       {}},
      {"A(3) DISPLAY",
       pic("A(3)", cwDisplay),
       {},
       "<StringDefinition width=\"3\" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"XXBXX",
       pic("XXBXX"),
       {},
       "<StringDefinition width=\"5\" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"G(4) is a string of 4",
       pic("G(4)"),
       {},
       "<StringDefinition width=\"4\" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"X(4) DISPLAY-1",
       pic("X(4)", cwDisplay1),
       {},
       "<BinaryDefinition width=\"8\"/>",
       {display1}},
      {"N(2) DISPLAY-1",
       pic("N(2)", cwDisplay1),
       {},
       "<BinaryDefinition width=\"4\"/>",
       {display1}},
      {"X(4) COMP", pic("X(4)", cwComputational), {}, nullptr, {unknownUsage}},
      {"X(4) NATIVE", pic("X(4)", cwNative), {}, nullptr, {unknownUsage}},
      {"X(4) in a COMP-3 group",
       inGroup(pic("X(4)"), cwComp3, cwNone),
       {},
       nullptr,
       {unknownUsage}},
  };
  return cases;
}

const std::vector<MappingCase> &binaryCases() {
  static const std::vector<MappingCase> cases = {
      {"S9(4) COMP",
       pic("S9(4)", cwComputational),
       {},
       "<NumberDefinition binaryPresentation=\"int16\"/>",
       {}},
      {"9(4) COMP",
       pic("9(4)", cwComputational),
       {},
       "<NumberDefinition binaryPresentation=\"uint16\"/>",
       {}},
      {"9 COMP-4",
       pic("9", cwComp0 + 4),
       {},
       "<NumberDefinition binaryPresentation=\"uint16\"/>",
       {}},
      {"9(5) BINARY",
       pic("9(5)", cwBinary),
       {},
       "<NumberDefinition binaryPresentation=\"uint32\"/>",
       {}},
      {"S9(9) BINARY",
       pic("S9(9)", cwBinary),
       {},
       "<NumberDefinition binaryPresentation=\"int32\"/>",
       {}},
      {"9(10) COMP-5",
       pic("9(10)", cwComp0 + 5),
       {},
       "<NumberDefinition binaryPresentation=\"uint64\"/>",
       {}},
      {"S9(18) COMP-5",
       pic("S9(18)", cwComp0 + 5),
       {},
       "<NumberDefinition binaryPresentation=\"int64\"/>",
       {}},
      {"9(19) COMP", pic("9(19)", cwComputational), {}, "<NumberDefinition/>", {}},
      {"S9(5)V99 COMP",
       pic("S9(5)V99", cwComputational),
       {},
       "<NumberDefinition binaryPresentation=\"int32\"/>",
       {implicitDecimal}},
      {"COMP without picture", pic(nullptr, cwComputational), {}, nullptr, {noPicture}},
      {"S9(5)V99 COMP-3",
       pic("S9(5)V99", cwComp3),
       {},
       "<NumberDefinition digits=\"7\" pointLocation=\"2\" binaryPresentation=\"packedDecimal\"/>",
       {}},
      {"9(4) PACKED-DECIMAL",
       pic("9(4)", cwPackedDecimal),
       {},
       "<NumberDefinition digits=\"4\" binaryPresentation=\"packedDecimal\"/>",
       {}},
      {"S9(5)V99 COMP-3 at level 300",
       pic("S9(5)V99", cwComp3),
       compat300,
       "<BinaryDefinition width=\"4\"/>",
       {implicitDecimal, packed}},
      {"S9(4) COMP-3 at level 300",
       pic("S9(4)", cwComp3),
       compat300,
       "<BinaryDefinition width=\"3\"/>",
       {packed}},
      {"COMP-3 without picture", pic(nullptr, cwComp3), {}, nullptr, {noPicture}},
      {"INDEX", pic(nullptr, cwIndex), {}, "<NumberDefinition binaryPresentation=\"uint32\"/>", {}},
      {"POINTER",
       pic(nullptr, cwPointer),
       {},
       "<NumberDefinition binaryPresentation=\"uint32\"/>",
       {}},
      {"OBJECT REFERENCE",
       pic(nullptr, cwObjectReference),
       {},
       "<NumberDefinition binaryPresentation=\"uint32\"/>",
       {}},
      {"PROCEDURE-POINTER",
       pic(nullptr, cwProcedurePointer),
       {},
       "<NumberDefinition binaryPresentation=\"uint64\"/>",
       {}},
      {"COMP-1",
       pic(nullptr, cwComp0 + 1),
       {},
       "<NumberDefinition binaryPresentation=\"float32\"/>",
       {}},
      {"COMP-2",
       pic(nullptr, cwComp0 + 2),
       {},
       "<NumberDefinition binaryPresentation=\"float64\"/>",
       {}},
      {"9(4) COMP-X", pic("9(4)", cwCompX), {}, nullptr, {unknownUsage}},
      {"COMP-X without picture", pic(nullptr, cwCompX), {}, nullptr, {unknownUsage}},
      {"9(4) COMP-6", pic("9(4)", cwComp0 + 6), {}, nullptr, {unknownUsage}},
      {"9(4) NATIVE", pic("9(4)", cwNative), {}, nullptr, {unknownUsage}},
      {"999PP COMP at level 300",
       pic("999PP", cwComputational),
       compat300,
       "<NumberDefinition binaryPresentation=\"uint16\"/>",
       {pSymbols}},
  };
  return cases;
}

const std::vector<MappingCase> &displayCases() {
  static const std::vector<MappingCase> cases = {
      {"S9(3) SIGN TRAILING SEPARATE",
       pic("S9(3)", cwNone, cwTrailingSeparate),
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"trailingSeparate\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
      {"S9(3) SIGN TRAILING SEPARATE with -tn",
       pic("S9(3)", cwDisplay, cwTrailingSeparate),
       {.textNumbersAsStrings = true},
       "<StringDefinition width=\"4\" justification=\"right\" padCharacter=\" \"/>",
       {}},
      {"S9(3)",
       pic("S9(3)"),
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"trailing\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
      {"S9(3) SIGN LEADING",
       pic("S9(3)", cwNone, cwLeading),
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"leading\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
      {"9(3)V9",
       pic("9(3)V9"),
       {},
       "<NumberDefinition digits=\"4\" pointLocation=\"1\" textPresentation=\"zonedDecimal\"/>",
       {}},
      {"PPP999",
       pic("PPP999"),
       {},
       "<NumberDefinition digits=\"3\" pointLocation=\"3\" textPresentation=\"zonedDecimal\"/>",
       {}},
      {"999PP",
       pic("999PP"),
       {},
       "<NumberDefinition digits=\"3\" textPresentation=\"zonedDecimal\"/>",
       {}},
      {"PPP999 at level 300",
       pic("PPP999"),
       compat300,
       "<NumberDefinition width=\"3\" justification=\"right\" pointLocation=\"6\" "
       "textPresentation=\"impliedDecimal\" "
       "textPattern=\"0;0\"/>",
       {pSymbols}},
      {"999PP at level 300",
       pic("999PP"),
       compat300,
       "<NumberDefinition width=\"3\" justification=\"right\" textPresentation=\"digits\" "
       "textPattern=\"0;0\"/>",
       {pSymbols}},
      {"S9(3) at level 300",
       pic("S9(3)"),
       compat300,
       "<BinaryDefinition width=\"3\"/>",
       {innerSign}},
      {"S9(3) SIGN LEADING at level 300",
       pic("S9(3)", cwNone, cwLeading),
       compat300,
       "<BinaryDefinition width=\"3\"/>",
       {innerSign}},
      {"9(3) at level 300",
       pic("9(3)"),
       compat300,
       "<NumberDefinition width=\"3\" justification=\"right\" textPresentation=\"digits\" "
       "textPattern=\"0;0\"/>",
       {}},
      {"S9(3) SIGN LEADING SEPARATE at level 300",
       pic("S9(3)", cwNone, cwLeadingSeparate),
       compat300,
       "<NumberDefinition width=\"3\" justification=\"right\" textPresentation=\"digits\" "
       "textPattern=\"+0;-0\"/>",
       {}},
      {"S9(3)V99 SIGN TRAILING SEPARATE at level 300",
       pic("S9(3)V99", cwNone, cwTrailingSeparate),
       compat300,
       "<NumberDefinition width=\"5\" justification=\"right\" pointLocation=\"2\" "
       "textPresentation=\"impliedDecimal\" "
       "textPattern=\"0+;0-\"/>",
       {}},
      {"9(3) BLANK WHEN ZERO",
       flagged(pic("9(3)"), true, false),
       {},
       "<NumberDefinition digits=\"3\" textPresentation=\"zonedDecimal\" blankWhenZero=\"true\"/>",
       {}},
      {"9(3) BLANK WHEN ZERO at level 300",
       flagged(pic("9(3)"), true, false),
       compat300,
       "<StringDefinition width=\"3\" justification=\"right\" padCharacter=\" \"/>",
       {blankOrNo9}},
      {"ZZZ",
       pic("ZZZ"),
       {},
       "<StringDefinition width=\"3\" justification=\"right\" padCharacter=\" \"/>",
       {blankOrNo9}},
      {"ZZZ at level 300",
       pic("ZZZ"),
       compat300,
       "<StringDefinition width=\"3\" justification=\"right\" padCharacter=\" \"/>",
       {blankOrNo9}},
      {"+++ SIGN TRAILING SEPARATE counts the sign",
       pic("+++", cwNone, cwTrailingSeparate),
       {},
       "<StringDefinition width=\"4\" justification=\"right\" padCharacter=\" \"/>",
       {blankOrNo9}},
      {"+9.99E+99",
       pic("+9.99E+99"),
       {},
       "<NumberDefinition width=\"9\" justification=\"right\" padCharacter=\" \" "
       "textPresentation=\"externalFloat\"/>",
       {}},
      {"+9E+99",
       pic("+9E+99"),
       {},
       "<StringDefinition width=\"6\" justification=\"right\" padCharacter=\" \"/>",
       {shortFloat}},
      {"9(3) DISPLAY-1",
       pic("9(3)", cwDisplay1),
       {},
       "<BinaryDefinition width=\"6\"/>",
       {display1}},
      {"S9(3) SIGN LEADING SEPARATE DISPLAY-1",
       pic("S9(3)", cwDisplay1, cwLeadingSeparate),
       {},
       "<BinaryDefinition width=\"8\"/>",
       {display1}},
      {"P symbols draw their warning before a DISPLAY-1 one",
       pic("99P", cwDisplay1),
       compat300,
       "<BinaryDefinition width=\"4\"/>",
       {pSymbols, display1}},
  };
  return cases;
}

const std::vector<MappingCase> &defaultCases() {
  static const std::vector<MappingCase> cases = {
      {"VALUE \"AB\" on X(5) is not padded",
       withString(pic("X(5)"), "\"AB\""),
       {},
       "<StringDefinition width=\"5\" default=\"AB\" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"VALUE SPACES on X(3)",
       withFigurative(pic("X(3)"), cwSpaces),
       {},
       "<StringDefinition width=\"3\" default=\"   \" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"VALUE ALL \"AB\" on X(5)",
       repeated(withString(pic("X(5)"), "'AB'")),
       {},
       "<StringDefinition width=\"5\" default=\"ABABA\" justification=\"none\" padCharacter=\" "
       "\"/>",
       {}},
      {"VALUE HIGH-VALUES on X(2)",
       withFigurative(pic("X(2)"), cwHighValues),
       {},
       "<StringDefinition width=\"2\" default=\"\\hFF\\hFF\" justification=\"none\" "
       "padCharacter=\" \"/>",
       {}},
      {"VALUE +12 on a DISPLAY-1 number",
       withNumber(pic("9(3)", cwDisplay1), "+12"),
       {},
       "<BinaryDefinition width=\"6\" default=\"12\"/>",
       {display1}},
      {"VALUE 12 on 9(3)",
       withNumber(pic("9(3)"), "12"),
       {},
       "<NumberDefinition default=\"12\" digits=\"3\" textPresentation=\"zonedDecimal\"/>",
       {}},
      {"VALUE ZERO on S9(3) COMP-3 keeps the image",
       withFigurative(pic("S9(3)", cwComp3), cwZero),
       {},
       "<NumberDefinition default=\"000\" digits=\"3\" binaryPresentation=\"packedDecimal\"/>",
       {}},
      {"VALUE -123.45 on S9(5)V99 COMP-3 at level 300",
       withNumber(pic("S9(5)V99", cwComp3), "-123.45"),
       compat300,
       "<BinaryDefinition width=\"4\" default=\"\\h00\\h12\\h34\\h5D\"/>",
       {implicitDecimal, packed}},
      {"VALUE 12 on 9(3) COMP-3 at level 300",
       withNumber(pic("9(3)", cwComp3), "12"),
       compat300,
       "<BinaryDefinition width=\"2\" default=\"\\h01\\h2C\"/>",
       {packed}},
      {"VALUE ZERO on S9(3) COMP-3 at level 300",
       withFigurative(pic("S9(3)", cwComp3), cwZero),
       compat300,
       "<BinaryDefinition width=\"2\" default=\"\\h00\\h0C\"/>",
       {packed}},
      {"VALUE -12 on S9(3) at level 300",
       withNumber(pic("S9(3)"), "-12"),
       compat300,
       "<BinaryDefinition width=\"3\" default=\"\\hF0\\hF1\\hD2\"/>",
       {innerSign}},
      {"VALUE -12 on S9(3) at level 300 with -ta",
       withNumber(pic("S9(3)"), "-12"),
       {.packedDefaultAsText = true, .compatLevel = 300},
       "<BinaryDefinition width=\"3\" default=\"\\h30\\h31\\h72\"/>",
       {innerSign}},
      {"VALUE +5 on S9(3) SIGN LEADING at level 300",
       withNumber(pic("S9(3)", cwNone, cwLeading), "+5"),
       compat300,
       "<BinaryDefinition width=\"3\" default=\"\\hC0\\hF0\\hF5\"/>",
       {innerSign}},
      {"VALUE 12 on 9(3) DISPLAY-1 at level 300",
       withNumber(pic("9(3)", cwDisplay1), "12"),
       compat300,
       "<BinaryDefinition width=\"6\" default=\"\\hF0\\hF1\\hF2\"/>",
       {display1}},
      {"VALUE 12345 on S9(3) COMP-3 at level 300",
       withNumber(pic("S9(3)", cwComp3), "12345"),
       compat300,
       nullptr,
       {packed, "Error: Failed to convert default value. Number is too big to be converted to "
                "packed/zoned."}},
      {"VALUE -1 on 9(3) at level 300 in a TRAILING group",
       withNumber(inGroup(pic("9(3)"), cwNone, cwTrailing), "-1"),
       compat300,
       nullptr,
       {innerSign, "Error: Failed to convert default value. Wrong sign position is specified for "
                   "packed/zoned."}},
      {"VALUE SPACES on S9(3) COMP-3 at level 300",
       withFigurative(pic("S9(3)", cwComp3), cwSpaces),
       compat300,
       nullptr,
       {packed, "Error: Failed to convert default value. Packed/zoned contains wrong digit."}},
  };
  return cases;
}

TEST(TypeMapping, Dispatch) { runCases(dispatchCases()); }
TEST(TypeMapping, Strings) { runCases(stringCases()); }
TEST(TypeMapping, BinaryAndPackedNumbers) { runCases(binaryCases()); }
TEST(TypeMapping, DisplayNumbers) { runCases(displayCases()); }
TEST(TypeMapping, DefaultValues) { runCases(defaultCases()); }

TEST(TypeMapping, RenderedDefinitionsMatchTheSchema) {
  validateCases(dispatchCases());
  validateCases(stringCases());
  validateCases(binaryCases());
  validateCases(displayCases());
  validateCases(defaultCases());
}

struct SourceCase {
  const char *entries; // fixed-format lines from column 8; the item is named ITEM
  VexTmConfig config;
  const char *markup; // null: the conversion ends with VexCvtError
  std::vector<const char *> messages;
};

// The same mapping reached the way the converter reaches it: a copybook
// parsed, the entry and its groups extracted, the item converted.
TEST(TypeMappingSource, ParsedEntries) {
  const std::vector<SourceCase> cases = {
      {"01 ITEM PIC S9(4) COMP.", {}, "<NumberDefinition binaryPresentation=\"int16\"/>", {}},
      {"01 ITEM PIC S9(5)V99 USAGE COMPUTATIONAL-3.",
       {},
       "<NumberDefinition digits=\"7\" pointLocation=\"2\" binaryPresentation=\"packedDecimal\"/>",
       {}},
      {"01 ITEM USAGE INDEX.", {}, "<NumberDefinition binaryPresentation=\"uint32\"/>", {}},
      {"01 ITEM COMP-1.", {}, "<NumberDefinition binaryPresentation=\"float32\"/>", {}},
      {"01 ITEM PIC 9(4) COMP-X.", {}, nullptr, {unknownUsage}},
      {"01 ITEM PIC S9(3) SIGN IS TRAILING SEPARATE CHARACTER.",
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"trailingSeparate\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
      {"01 ITEM PIC S9(3) SIGN LEADING SEPARATE.",
       compat300,
       "<NumberDefinition width=\"3\" justification=\"right\" textPresentation=\"digits\" "
       "textPattern=\"+0;-0\"/>",
       {}},
      {"01 ITEM PIC 9(3) BLANK WHEN ZERO.",
       compat300,
       "<StringDefinition width=\"3\" justification=\"right\" padCharacter=\" \"/>",
       {blankOrNo9}},
      {"01 ITEM PIC $$$,$$9.99.",
       {},
       "<NumberDefinition width=\"10\" justification=\"right\" padCharacter=\" \" "
       "textPresentation=\"explicitDecimal\" textPattern=\"$##,##0.00;$##,##0.00\" "
       "decimalPoint=\".\" "
       "groupSeparator=\",\"/>",
       {}},
      {"01 ITEM PIC X(5) JUSTIFIED RIGHT VALUE 'AB'.",
       {},
       "<StringDefinition width=\"5\" default=\"AB\" justification=\"right\" padCharacter=\" \"/>",
       {}},
      {"01 ITEM PIC X(3) VALUE SPACES.",
       {},
       "<StringDefinition width=\"3\" default=\"   \" justification=\"none\" padCharacter=\" \"/>",
       {}},
      {"01 ITEM PIC X(4) USAGE DISPLAY-1.", {}, "<BinaryDefinition width=\"8\"/>", {display1}},
      {"01 ITEM VALUE 'A'.\n   05 F PIC X.",
       {},
       "<GroupDefinition groupType=\"1\"/>",
       {groupValue}},
      {"01 ITEM.\n   05 F PIC X.", {}, "<GroupDefinition groupType=\"1\"/>", {}},
      {"01 ITEM PIC S9(5)V99 COMP-3 VALUE -123.45.",
       compat300,
       "<BinaryDefinition width=\"4\" default=\"\\h00\\h12\\h34\\h5D\"/>",
       {implicitDecimal, packed}},
      {"01 ITEM PIC S9(3) VALUE -12.",
       compat300,
       "<BinaryDefinition width=\"3\" default=\"\\hF0\\hF1\\hD2\"/>",
       {innerSign}},
      {"01 ITEM PIC S9(3) COMP-3 VALUE 12345.",
       compat300,
       nullptr,
       {packed, "Error: Failed to convert default value. Number is too big to be converted to "
                "packed/zoned."}},
      // Usage and sign come down through every enclosing group.
      {"01 REC USAGE COMP-3.\n   05 G.\n      10 ITEM PIC S9(3).",
       {},
       "<NumberDefinition digits=\"3\" binaryPresentation=\"packedDecimal\"/>",
       {}},
      {"01 REC SIGN LEADING SEPARATE.\n   05 G.\n      10 ITEM PIC S9(3).",
       {},
       "<NumberDefinition digits=\"3\" signPosition=\"leadingSeparate\" "
       "textPresentation=\"zonedDecimal\"/>",
       {}},
      // An inherited separate sign reaches the packed encoder too, which has
      // no place for it.
      {"01 REC USAGE COMP-3.\n   05 G SIGN LEADING SEPARATE.\n      10 ITEM PIC S9(3) VALUE -12.",
       compat300,
       nullptr,
       {packed, "Error: Failed to convert default value. Wrong sign position is specified for "
                "packed/zoned."}},
      {"01 ITEM PIC ZZ.ZZ9,99.",
       {.commaDecimalPoint = true},
       "<NumberDefinition width=\"9\" justification=\"right\" padCharacter=\" \" "
       "textPresentation=\"explicitDecimal\" textPattern=\"##,##0.00;##,##0.00\" "
       "decimalPoint=\",\" "
       "groupSeparator=\".\"/>",
       {}},
  };
  for (const SourceCase &c : cases) {
    SCOPED_TRACE(c.entries);
    const VexTmResult result = vexTmConvertSource(c.entries, c.config);
    EXPECT_EQ(result.threw, c.markup == nullptr);
    EXPECT_EQ(result.markup, c.markup ? c.markup : "");
    std::string expected;
    for (const char *message : c.messages)
      expected += vexTmMessage(message);
    EXPECT_EQ(result.messages, expected);
  }
}

// The dispatch never hands a DISPLAY item without picture to the numeric
// creator, but the creator still refuses one.
TEST(TypeMapping, NumberWithoutPictureIsRefused) {
  for (int usage : {int(cwNone), int(cwDisplay), int(cwDisplay1)}) {
    SCOPED_TRACE(usage);
    VexCblGrpContext grp;
    VexCblObjContext item;
    item.usage = usage;
    VexCblReportContext context(vexTmItemName, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_THROW(vexCblCreateNumber(grp, item), VexCvtError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), vexTmMessage(noPicture));
  }
  for (auto create : {vexCblCreateTextNum, vexCblCreateTextExtrFloat, vexCblCreateTextNumEdited}) {
    VexCblGrpContext grp;
    VexCblObjContext item;
    VexCblReportContext context(vexTmItemName, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_THROW(create(grp, item), VexCvtError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), vexTmMessage(noPicture));
  }
}

TEST(TypeMapping, NumericUsagesEndAtTheDisplayOnes) {
  VexCblGrpContext grp;
  VexCblObjContext item;
  auto numeric = [&](int usage) {
    item.usage = usage;
    return vexCblIsNumberByUsage(grp, item);
  };
  for (int usage : {66, 67, 68, 69, 70, 73, 78, 79, 80, 81, 82, 84, 85})
    EXPECT_TRUE(numeric(usage)) << usage;
  for (int usage : {0, 14, 44, 65, 83, 86, 89, 91, 424})
    EXPECT_FALSE(numeric(usage)) << usage;
  // A usage inherited from the group counts like the item's own.
  item.usage = cwNone;
  grp.usage = cwIndex;
  EXPECT_TRUE(vexCblIsNumberByUsage(grp, item));
}

// The full trace of both modules, encoded defaults included, leaves every
// definition and message as it was.
TEST(TypeMapping, TraceChangesNothing) {
  std::vector<VexTmResult> quiet;
  for (const auto *cases : {&binaryCases(), &displayCases(), &defaultCases()})
    for (const MappingCase &c : *cases)
      quiet.push_back(vexTmConvert(c.item, c.config));

  std::ostringstream trace;
  vexTraceSetOutput(&trace);
  vexTraceSetLevel(nullptr, TRC1_DETAIL | TRC1_FLOW | TRC1_ERROR);
  std::size_t index = 0;
  for (const auto *cases : {&binaryCases(), &displayCases(), &defaultCases()})
    for (const MappingCase &c : *cases) {
      SCOPED_TRACE(c.title);
      const VexTmResult traced = vexTmConvert(c.item, c.config);
      EXPECT_EQ(traced.markup, quiet[index].markup);
      EXPECT_EQ(traced.messages, quiet[index].messages);
      ++index;
    }
  vexTraceSetLevel(nullptr, 0);
  vexTraceSetOutput(nullptr);
  EXPECT_NE(trace.str().find("vexCblCreateBinNum"), std::string::npos);
  EXPECT_NE(trace.str().find("Default bytes"), std::string::npos);
}

} // namespace

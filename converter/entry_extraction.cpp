// Reads an entry's tree nodes into its item context; word-code texts of the descriptions.
#include "converter/entry_extraction.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "frontend/tree_text.h"
#include "support/identifier_table.h"

namespace {

// Word codes of the clauses and operators that extraction acts on, beyond
// merely describing them.
constexpr int wordSync = 60;
constexpr int wordSyncLeft = 61;
constexpr int wordSyncRight = 62;
constexpr int wordJustified = 63;
constexpr int wordBlankWhenZero = 64;
constexpr int wordOccurs = 59;
constexpr int wordAll = 154;

// An OCCURS clause that gives a single count stores -1 as its minimum.
constexpr int occursNoMinimum = -1;

struct KeywordText {
  short code;
  const char *text;
};

// The words of the descriptions, searched front to back; the first equal
// code wins.
constexpr std::array<KeywordText, 79> keywordTexts{{
    {cwNative, "NATIVE"},
    {cwRedefines, "REDEFINES"},
    {cwPicture, "PICTURE IS"},
    {cwUsage, "USAGE IS"},
    {cwSign, "SIGN IS"},
    {cwOccurs, "OCCURS"},
    {cwSynchronized, "SYNCHRONIZED"},
    {cwSynchronizedLeft, "SYNCHRONIZED_LEFT"},
    {cwSynchronizedRight, "SYNCHRONIZED_RIGHT"},
    {cwJustified, "JUSTIFIED"},
    {cwBlank, "BLANK WHEN ZERO"},
    {cwValue, "VALUE IS"},
    {cwBinary, "BINARY"},
    {cwComputational, "COMPUTATIONAL"},
    {cwDisplay, "DISPLAY"},
    {cwIndex, "INDEX"},
    {cwPackedDecimal, "PACKED-DECIMAL"},
    {cwComp0, "COMPUTATIONAL-0"},
    {cwComp1, "COMPUTATIONAL-1"},
    {cwComp2, "COMPUTATIONAL-2"},
    {cwComp3, "COMPUTATIONAL-3"},
    {cwComp4, "COMPUTATIONAL-4"},
    {cwComp5, "COMPUTATIONAL-5"},
    {cwComp6, "COMPUTATIONAL-6"},
    {cwComp7, "COMPUTATIONAL-7"},
    {cwComp8, "COMPUTATIONAL-8"},
    {cwComp11, "COMPUTATIONAL-11"},
    {cwComp12, "COMPUTATIONAL-12"},
    {cwCompX, "COMPUTATIONAL-X"},
    {cwPointer, "POINTER"},
    {cwDisplay1, "DISPLAY-1"},
    {cwProcedurePointer, "PROCEDURE-POINTER"},
    {cwObjectReference, "OBJECT REFERENCE"},
    {cwLeading, "LEADING"},
    {cwLeadingSeparate, "LEADING SEPARATE"},
    {cwTrailing, "TRAILING"},
    {cwTrailingSeparate, "TRAILING SEPARATE"},
    {cwSeparate, "SEPARATE"},
    {cwAll, "ALL"},
    {cwSpace, "SPACE"},
    {cwSpaces, "SPACES"},
    {cwHighValue, "HIGH-VALUE"},
    {cwHighValues, "HIGH-VALUES"},
    {cwLowValue, "LOW-VALUE"},
    {cwLowValues, "LOW-VALUES"},
    {cwQuote, "QUOTE"},
    {cwQuotes, "QUOTES"},
    {cwZero, "ZERO"},
    {cwZeros, "ZEROS"},
    {cwZeroes, "ZEROES"},
    {cwAny, "ANY"},
    {cwNull, "NULL"},
    {cwBinaryChar, "BINARY-CHAR"},
    {cwBinaryCharUnsigned, "BINARY-CHAR UNSIGNED"},
    {cwBinaryShort, "BINARY-SHORT"},
    {cwBinaryShortUnsigned, "BINARY-SHORT UNSIGNED"},
    {cwBinaryLong, "BINARY-LONG"},
    {cwBinaryLongUnsigned, "BINARY-LONG UNSIGNED"},
    {cwBinaryDouble, "BINARY-DOUBLE"},
    {cwBinaryDoubleUnsigned, "BINARY-DOUBLE UNSIGNED"},
    {cwFloatShort, "FLOAT-SHORT"},
    {cwFloatLong, "FLOAT-LONG"},
    {cwNational, "NATIONAL"},
    {cwFunctionPointer, "FUNCTION-POINTER"},
    {cwBinaryCLong, "BINARY-C-LONG"},
    {cwBinaryCLongUnsigned, "BINARY-C-LONG UNSIGNED"},
    {cwSignedShort, "SIGNED-SHORT"},
    {cwSignedInt, "SIGNED-INT"},
    {cwSignedLong, "SIGNED-LONG"},
    {cwUnsignedShort, "UNSIGNED-SHORT"},
    {cwUnsignedInt, "UNSIGNED-INT"},
    {cwUnsignedLong, "UNSIGNED-LONG"},
    {cwFloatDecimal16, "FLOAT-DECIMAL-16"},
    {cwFloatDecimal34, "FLOAT-DECIMAL-34"},
    {cwProgramPointer, "PROGRAM-POINTER"},
    {cwCompN, "COMPUTATIONAL-N"},
    {cwBased, "BASED"},
    {cwAnyLength, "ANY LENGTH"},
    {cwUnbounded, "UNBOUNDED"},
}};

// The normalised name of a REDEFINES operand, whatever the prefix flag says.
std::string normalisedName(Tree_Node *reference) {
  if (auto *plain = as_if<tree::name>(reference))
    return IdentText(plain->name);
  if (auto *qualified = as_if<tree::qualification>(reference))
    return IdentText(qualified->name);
  return "";
}

// The description texts of the word codes, by code ("COMPUTATIONAL-3" at
// 73), empty for a code without one: made once from the table above, the
// first entry of a code winning, instead of searching the table and
// measuring the text for each word of each entry.
constexpr std::array<std::string_view, CobolWordCount> keywordTextsByCode = [] {
  std::array<std::string_view, CobolWordCount> byCode{};
  for (const KeywordText &entry : keywordTexts)
    if (entry.code >= 0 && entry.code < CobolWordCount && byCode[entry.code].empty())
      byCode[entry.code] = entry.text;
  return byCode;
}();

void describe(VexCblObjContext &item, int code) {
  if (code >= 0 && code < CobolWordCount)
    item.addToDescription(keywordTextsByCode[static_cast<std::size_t>(code)]);
}

// Texts of any kind, the level's digits and the words of the clauses among
// them, appended where they are: through a std::string each was a copy and
// a strlen of every entry's level.
void describe(VexCblObjContext &item, std::string_view text) { item.addToDescription(text); }

VexCblValue &valueOf(VexCblObjContext &item) {
  if (!item.value)
    item.value = std::make_unique<VexCblValue>();
  return *item.value;
}

void extractFormat1(VexCblConversion &conv, tree::format_1 &entry, VexCblObjContext &item) {
  // Two digits by hand: formatting them took a tenth of the entry's
  // extraction.
  const int number = entry.level_number;
  char level[16];
  std::size_t digits = 2;
  if (number >= 0 && number <= 99) {
    level[0] = static_cast<char>('0' + number / 10);
    level[1] = static_cast<char>('0' + number % 10);
  } else {
    const int written = std::snprintf(level, sizeof level, "%.2d", number);
    digits =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(written, 0)), sizeof level - 1);
  }
  describe(item, std::string_view(level, digits));
  describe(item, item.name);
  vexCblExtractObj(conv, entry.data_clause_l, item);
}

void extractRedefines(VexCblConversion &conv, tree::redefines &clause, VexCblObjContext &item) {
  item.redefinesName = normalisedName(clause.name);
  describe(item, clause.keyword);
  describe(item, item.redefinesName);
  vexCblExtractObj(conv, clause.next, item);
}

// The memo of the picture stored at `stored`, made (and analysed, as the
// definition's making would) when it is not among the last ones read.
const VexCblPictureMemo &pictureMemo(VexCblConversion &conv, tStringRef stored) {
  const bool comma = conv.options.commaDecimalPoint;
  for (const VexCblPictureMemo &memo : conv.pictures)
    if (memo.stored == stored && memo.picture && memo.commaDecimalPoint == comma)
      return memo;
  VexCblPictureMemo &memo = conv.pictures[conv.nextPicture];
  conv.nextPicture = (conv.nextPicture + 1) % conv.pictures.size();
  memo.stored = stored;
  memo.commaDecimalPoint = comma;
  memo.written = StoredText(stored);
  memo.picture.emplace(memo.written.c_str(), conv.options);
  memo.picture->analyze();
  return memo;
}

void extractPicture(VexCblConversion &conv, tree::picture &clause, VexCblObjContext &item) {
  const tStringRef stored = clause.replaced ? clause.value : clause.string;
  if (stored == nullptr) {
    item.picture.emplace("", conv.options);
    describe(item, clause.keyword);
  } else {
    const VexCblPictureMemo &memo = pictureMemo(conv, stored);
    item.picture = memo.picture;
    describe(item, clause.keyword);
    describe(item, memo.written);
  }
  vexCblExtractObj(conv, clause.next, item);
}

void extractUsage(VexCblConversion &conv, tree::usage &clause, VexCblObjContext &item) {
  item.usage = clause.value;
  describe(item, clause.keyword);
  describe(item, clause.value);
  if (clause.native)
    describe(item, "NATIVE");
  vexCblExtractObj(conv, clause.next, item);
}

void extractUsageObjRef(VexCblConversion &conv, tree::usage_obj_ref &clause,
                        VexCblObjContext &item) {
  item.usage = clause.value;
  describe(item, clause.keyword);
  describe(item, clause.value);
  vexCblExtractObj(conv, clause.next, item);
}

void extractSign(VexCblConversion &conv, tree::sign &clause, VexCblObjContext &item) {
  item.sign = clause.value;
  describe(item, clause.keyword);
  describe(item, clause.value);
  vexCblExtractObj(conv, clause.next, item);
}

// The bounds of an OCCURS clause in words: `first`, then " TO " and `second`
// unless it is null, then `last` unless it is null. By hand: snprintf took
// some 700 instructions an OCCURS clause.
std::string occursBounds(int first, const int *second, const char *last) {
  char digits[16];
  std::string text(digits, std::to_chars(digits, digits + sizeof digits, first).ptr);
  if (second != nullptr) {
    text += " TO ";
    text.append(digits, std::to_chars(digits, digits + sizeof digits, *second).ptr);
  }
  if (last != nullptr) {
    text += ' ';
    text += last;
  }
  return text;
}

void extractOccurs(VexCblConversion &conv, tree::occurs &clause, VexCblObjContext &item) {
  describe(item, wordOccurs);
  // The front end caps bounds past 32 bits at INT32_MAX, which is past the limit too.
  if (clause.to > vexCblLargestSize || clause.from > vexCblLargestSize)
    conv.report.error(vexCblMsg::occursTooLarge(vexCblLargestSize));
  if (clause.to == OccursUnbounded) {
    // -lenient: a table without a largest count (its minimum, or 1 when
    // none is written).
    const int lower = clause.from == occursNoMinimum ? 1 : clause.from;
    item.cardinality.set(VexRange(lower, VexRange::unbounded));
    describe(item, occursBounds(lower, nullptr, "TO"));
    describe(item, cwUnbounded);
    describe(item, "TIMES");
    if (clause.depending != nullptr && !is<tree::noexpression>(clause.depending)) {
      item.dependingOn = ReferenceName(clause.depending);
      describe(item, "DEPENDING ON");
      describe(item, item.dependingOn);
    }
  } else if (clause.depending == nullptr || is<tree::noexpression>(clause.depending)) {
    item.cardinality.set(VexRange(clause.to));
    describe(item, occursBounds(static_cast<int>(clause.to), nullptr, "TIMES"));
  } else {
    // A table that depends on an item can shrink to one occurrence when its
    // minimum is not written.
    const int lower = clause.from == occursNoMinimum ? 1 : clause.from;
    item.cardinality.set(VexRange(lower, clause.to));
    item.dependingOn = ReferenceName(clause.depending);
    const int upper = static_cast<int>(clause.to);
    describe(item, occursBounds(lower, &upper, "TIMES"));
    describe(item, "DEPENDING ON");
    describe(item, item.dependingOn);
  }
  vexCblExtractObj(conv, clause.next, item);
}

void extractKeywordClause(VexCblConversion &conv, tree::data_clause &clause,
                          VexCblObjContext &item) {
  switch (clause.keyword) {
  case wordBlankWhenZero:
    item.blankWhenZero = true;
    break;
  case wordJustified:
    item.justified = true;
    break;
  case wordSync:
  case wordSyncLeft:
  case wordSyncRight:
    item.synchronized = true;
    conv.report.message(vexCblMsg::synchronized);
    break;
  default:
    break;
  }
  describe(item, clause.keyword);
  vexCblExtractObj(conv, clause.next, item);
}

void extractValueIs(VexCblConversion &conv, tree::value_is &clause, VexCblObjContext &item) {
  describe(item, clause.keyword);
  vexCblExtractObj(conv, clause.expression, item);
  vexCblExtractObj(conv, clause.next, item);
}

void extractUnary(VexCblConversion &conv, tree::unary &expression, VexCblObjContext &item) {
  if (expression.operator_ == wordAll)
    valueOf(item).setExpandable(true);
  describe(item, expression.operator_);
  vexCblExtractObj(conv, expression.expression, item);
}

void extractInteger(VexCblConversion &, tree::integer &literal, VexCblObjContext &item) {
  const std::string text =
      literal.replaced ? std::to_string(literal.Value) : StoredText(literal.String);
  valueOf(item).setNumValue(text.c_str());
  describe(item, text);
}

void extractReal(VexCblConversion &conv, tree::real &literal, VexCblObjContext &item) {
  const std::string text = StoredText(literal.replaced ? literal.Value : literal.String);
  // Written with a decimal comma (DECIMAL-POINT IS COMMA): the value takes
  // the point, the description keeps the literal as written.
  std::string number = text;
  if (conv.options.commaDecimalPoint)
    std::replace(number.begin(), number.end(), ',', '.');
  valueOf(item).setNumValue(number.c_str());
  describe(item, text);
}

void extractString(VexCblConversion &, tree::string &literal, VexCblObjContext &item) {
  const std::string text = StoredText(literal.replaced ? literal.Value : literal.String);
  valueOf(item).setStrValue(std::string_view(text));
  describe(item, text);
}

void extractFigurative(VexCblConversion &conv, tree::figurative_literal &literal,
                       VexCblObjContext &item) {
  if (!valueOf(item).setFigConst(literal.keyword))
    conv.report.message(vexCblMsg::unknownFigurativeConstant);
  describe(item, literal.keyword);
}

} // namespace

const char *vexCblEntryName(Tree_Node *entry) {
  // Only the entry formats that the walk converts give a name; a COPY entry,
  // a comment or a clause has none.
  if (!is<tree::format_1>(entry) && !is<tree::format_2>(entry) && !is<tree::format_3>(entry) &&
      !is<tree::format_4>(entry))
    return nullptr;
  const auto *format = as<tree::format>(entry);
  return GetCStr(format->replaced ? format->name : format->spelling);
}

void vexCblAheadObjExtr(Tree_Node *entry, VexCblObjContext &item) {
  if (const char *name = vexCblEntryName(entry))
    item.name = name;
}

void vexCblExtractObj(VexCblConversion &conv, Tree_Node *node, VexCblObjContext &item) {
  if (node == nullptr)
    return;
  // Exact kinds: each clause kind derived from data_clause_c has its own
  // handler, and the plain data_clause is the keyword-only clause.
  switch (node->Kind) {
  case tree::format_1::KindNumber:
    return extractFormat1(conv, *as<tree::format_1>(node), item);
  case tree::redefines::KindNumber:
    return extractRedefines(conv, *as<tree::redefines>(node), item);
  case tree::picture::KindNumber:
    return extractPicture(conv, *as<tree::picture>(node), item);
  case tree::usage::KindNumber:
    return extractUsage(conv, *as<tree::usage>(node), item);
  case tree::usage_obj_ref::KindNumber:
    return extractUsageObjRef(conv, *as<tree::usage_obj_ref>(node), item);
  case tree::sign::KindNumber:
    return extractSign(conv, *as<tree::sign>(node), item);
  case tree::occurs::KindNumber:
    return extractOccurs(conv, *as<tree::occurs>(node), item);
  case tree::data_clause::KindNumber:
    return extractKeywordClause(conv, *as<tree::data_clause>(node), item);
  case tree::value_is::KindNumber:
    return extractValueIs(conv, *as<tree::value_is>(node), item);
  case tree::unary::KindNumber:
    return extractUnary(conv, *as<tree::unary>(node), item);
  case tree::integer::KindNumber:
    return extractInteger(conv, *as<tree::integer>(node), item);
  case tree::real::KindNumber:
    return extractReal(conv, *as<tree::real>(node), item);
  case tree::string::KindNumber:
    return extractString(conv, *as<tree::string>(node), item);
  case tree::figurative_literal::KindNumber:
    return extractFigurative(conv, *as<tree::figurative_literal>(node), item);
  default:
    return;
  }
}

namespace {

// The REDEFINES clause an entry starts with; null without one.
const tree::redefines *leadingRedefines(Tree_Node *node) {
  if (auto *declaration = as_if<tree::decl>(node))
    node = declaration->object;
  if (auto *entry = as_if<tree::format_1>(node))
    node = entry->data_clause_l;
  return as_if<tree::redefines>(node);
}

// The identifier ReferenceName spells; 0 when it spells none.
tIdent referenceIdent(const Tree_Node *reference) {
  if (const auto *plain = as_if<tree::name>(reference))
    return plain->replaced ? plain->name : plain->spelling;
  if (const auto *qualified = as_if<tree::qualification>(reference))
    return qualified->replaced ? qualified->name : qualified->spelling;
  return 0;
}

} // namespace

bool vexCblIsRedefining(Tree_Node *node, tIdent name) {
  const tree::redefines *clause = leadingRedefines(node);
  if (clause == nullptr)
    return false;
  // Equal identifiers are equal texts: most entries are redefined by the
  // one after them or by none, and need no text at all.
  const tIdent operand = referenceIdent(clause->name);
  if (operand != 0 && operand == name)
    return true;
  return ReferenceName(clause->name) == GetCStr(name);
}

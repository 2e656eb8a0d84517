#include "converter/entry_extraction.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/trace.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"
#include "converter/conversion_report.h"

namespace {

TRC1_EPB trcBlock{"VEXCBPRS"};

// Word codes of the clauses and operators that extraction acts on, beyond
// merely describing them.
constexpr int wordSync = 60;
constexpr int wordSyncLeft = 61;
constexpr int wordSyncRight = 62;
constexpr int wordJustified = 63;
constexpr int wordBlankWhenZero = 64;
constexpr int wordOccurs = 59;
constexpr int wordAll = 154;

constexpr const char *syncWarning =
    "\n\tWarning: SYNCHRONIZED keyword is not supported. \n\tSYNCHRONIZED was ignored.";

// An OCCURS clause that gives a single count stores -1 as its minimum.
constexpr int occursNoMinimum = -1;

struct KeywordText {
  short code;
  const char *text;
};

// The words of the descriptions, searched front to back; the first equal
// code wins.
constexpr std::array<KeywordText, 52> keywordTexts{{
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
}};

// The text of an identifier; the empty text for none.
std::string identText(tIdent ident) {
  const char *text = GetCStr(ident);
  return text != nullptr ? text : "";
}

// The text of a string-memory record; the empty text for none.
std::string storedText(tStringRef ref) {
  if (ref == nullptr)
    return "";
  const char *text = StGetCStr(ref);
  return text != nullptr ? text : "";
}

// A name as the user should see it: with the include prefix when the scanner
// applied one, else exactly as written (lower case kept).
std::string writtenOrReplaced(tIdent name, tIdent spelling, bool replaced) {
  return identText(replaced ? name : spelling);
}

// The written-or-replaced name of a data reference (a plain or qualified
// name); the empty text for any other expression.
std::string referenceName(Tree_Node *reference) {
  if (auto *plain = as_if<tree::name>(reference))
    return writtenOrReplaced(plain->name, plain->spelling, plain->replaced);
  if (auto *qualified = as_if<tree::qualification>(reference))
    return writtenOrReplaced(qualified->name, qualified->spelling, qualified->replaced);
  return "";
}

// The normalised name of a REDEFINES operand, whatever the prefix flag says.
std::string normalisedName(Tree_Node *reference) {
  if (auto *plain = as_if<tree::name>(reference))
    return identText(plain->name);
  if (auto *qualified = as_if<tree::qualification>(reference))
    return identText(qualified->name);
  return "";
}

void describe(VexCblObjContext &item, int code) {
  item.addToDescription(vexCblTextForCblKeyword(static_cast<short>(code)));
}

void describe(VexCblObjContext &item, const std::string &text) {
  item.addToDescription(text.c_str());
}

VexCblValue &valueOf(VexCblObjContext &item) {
  if (!item.value)
    item.value = std::make_unique<VexCblValue>();
  return *item.value;
}

void extractFormat1(tree::format_1 &entry, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractFormat1");
  char level[16];
  std::snprintf(level, sizeof level, "%.2d", static_cast<int>(entry.level_number));
  describe(item, level);
  describe(item, item.name);
  vexCblExtractObj(entry.data_clause_l, item);
}

void extractRedefines(tree::redefines &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractRedefines");
  item.redefinesName = normalisedName(clause.name);
  VEX_TRACE_DETAIL(trcBlock) << "Redefined item(" << item.redefinesName << ") ";
  describe(item, clause.keyword);
  describe(item, item.redefinesName);
  vexCblExtractObj(clause.next, item);
}

void extractPicture(tree::picture &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractPicture");
  const std::string text = storedText(clause.replaced ? clause.value : clause.string);
  VEX_TRACE_DETAIL(trcBlock) << "Picture(" << text << ") ";
  if (!item.picture)
    item.picture = std::make_unique<VexCblPicture>("");
  item.picture->setPictureVal(text.c_str());
  describe(item, clause.keyword);
  describe(item, text);
  vexCblExtractObj(clause.next, item);
}

void extractUsage(tree::usage &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractUsage");
  item.usage = clause.value;
  describe(item, clause.keyword);
  describe(item, clause.value);
  if (clause.native)
    describe(item, "NATIVE");
  vexCblExtractObj(clause.next, item);
}

void extractUsageObjRef(tree::usage_obj_ref &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractUsageObjRef");
  item.usage = clause.value;
  describe(item, clause.keyword);
  describe(item, clause.value);
  vexCblExtractObj(clause.next, item);
}

void extractSign(tree::sign &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractSign");
  item.sign = clause.value;
  describe(item, clause.keyword);
  describe(item, clause.value);
  vexCblExtractObj(clause.next, item);
}

void extractOccurs(tree::occurs &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractOccurs");
  describe(item, wordOccurs);
  char bounds[64];
  if (clause.depending == nullptr || is<tree::noexpression>(clause.depending)) {
    item.cardinality.set(VexRange(clause.to));
    std::snprintf(bounds, sizeof bounds, "%d TIMES", static_cast<int>(clause.to));
    describe(item, bounds);
  } else {
    // A table that depends on an item can shrink to one occurrence when its
    // minimum is not written.
    const int lower = clause.from == occursNoMinimum ? 1 : clause.from;
    item.cardinality.set(VexRange(lower, clause.to));
    item.dependingOn = referenceName(clause.depending);
    std::snprintf(bounds, sizeof bounds, "%d TO %d TIMES", lower, static_cast<int>(clause.to));
    describe(item, bounds);
    describe(item, "DEPENDING ON");
    describe(item, item.dependingOn);
  }
  VEX_TRACE_DETAIL(trcBlock) << "Cardinality(" << item.cardinality.get().lbound() << ","
                             << item.cardinality.get().ubound() << ") depending on("
                             << item.dependingOn << ") ";
  vexCblExtractObj(clause.next, item);
}

void extractKeywordClause(tree::data_clause &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractKeywordClause");
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
    vexCvtReportMsg(syncWarning);
    break;
  default:
    break;
  }
  describe(item, clause.keyword);
  vexCblExtractObj(clause.next, item);
}

void extractValueIs(tree::value_is &clause, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractValueIs");
  describe(item, clause.keyword);
  vexCblExtractObj(clause.expression, item);
  vexCblExtractObj(clause.next, item);
}

void extractUnary(tree::unary &expression, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractUnary");
  if (expression.operator_ == wordAll)
    valueOf(item).setExpandable(true);
  describe(item, expression.operator_);
  vexCblExtractObj(expression.expression, item);
}

void extractInteger(tree::integer &literal, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractInteger");
  const std::string text =
      literal.replaced ? std::to_string(literal.Value) : storedText(literal.String);
  valueOf(item).setNumValue(text.c_str());
  describe(item, text);
}

void extractReal(tree::real &literal, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractReal");
  const std::string text = storedText(literal.replaced ? literal.Value : literal.String);
  valueOf(item).setNumValue(text.c_str());
  describe(item, text);
}

void extractString(tree::string &literal, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractString");
  const std::string text = storedText(literal.replaced ? literal.Value : literal.String);
  valueOf(item).setStrValue(text.c_str());
  describe(item, text);
}

void extractFigurative(tree::figurative_literal &literal, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "extractFigurative");
  valueOf(item).setFigConst(literal.keyword);
  describe(item, literal.keyword);
}

} // namespace

void vexCblAheadObjExtr(Tree_Node *entry, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblAheadObjExtr");
  // Only the entry formats that the walk converts give a name; a COPY entry,
  // a comment or a clause leaves the context as it is.
  if (!is<tree::format_1>(entry) && !is<tree::format_2>(entry) && !is<tree::format_3>(entry) &&
      !is<tree::format_4>(entry))
    return;
  const auto *format = as<tree::format>(entry);
  item.name = writtenOrReplaced(format->name, format->spelling, format->replaced);
  VEX_TRACE_DETAIL(trcBlock) << "Item name(" << item.name << ") ";
}

void vexCblExtractObj(Tree_Node *node, VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblExtractObj");
  if (node == nullptr)
    return;
  // Exact kinds: each clause kind derived from data_clause has its own
  // handler, and the plain data_clause is the keyword-only clause.
  switch (node->Kind) {
  case tree::format_1::KindNumber:
    return extractFormat1(*as<tree::format_1>(node), item);
  case tree::redefines::KindNumber:
    return extractRedefines(*as<tree::redefines>(node), item);
  case tree::picture::KindNumber:
    return extractPicture(*as<tree::picture>(node), item);
  case tree::usage::KindNumber:
    return extractUsage(*as<tree::usage>(node), item);
  case tree::usage_obj_ref::KindNumber:
    return extractUsageObjRef(*as<tree::usage_obj_ref>(node), item);
  case tree::sign::KindNumber:
    return extractSign(*as<tree::sign>(node), item);
  case tree::occurs::KindNumber:
    return extractOccurs(*as<tree::occurs>(node), item);
  case tree::data_clause::KindNumber:
    return extractKeywordClause(*as<tree::data_clause>(node), item);
  case tree::value_is::KindNumber:
    return extractValueIs(*as<tree::value_is>(node), item);
  case tree::unary::KindNumber:
    return extractUnary(*as<tree::unary>(node), item);
  case tree::integer::KindNumber:
    return extractInteger(*as<tree::integer>(node), item);
  case tree::real::KindNumber:
    return extractReal(*as<tree::real>(node), item);
  case tree::string::KindNumber:
    return extractString(*as<tree::string>(node), item);
  case tree::figurative_literal::KindNumber:
    return extractFigurative(*as<tree::figurative_literal>(node), item);
  default:
    return;
  }
}

bool vexCblIsRedefining(Tree_Node *node, const char *name) {
  VEX_TRACE(trcBlock, "vexCblIsRedefining");
  if (auto *declaration = as_if<tree::decl>(node))
    return VEX_TRACE_RESULT(vexCblIsRedefining(declaration->object, name));
  if (auto *entry = as_if<tree::format_1>(node))
    return VEX_TRACE_RESULT(vexCblIsRedefining(entry->data_clause_l, name));
  auto *clause = as_if<tree::redefines>(node);
  if (clause == nullptr || name == nullptr)
    return VEX_TRACE_RESULT(false);
  return VEX_TRACE_RESULT(referenceName(clause->name) == name);
}

const char *vexCblTextForCblKeyword(short code) {
  VEX_TRACE(trcBlock, "vexCblTextForCblKeyword");
  for (const KeywordText &entry : keywordTexts)
    if (entry.code == code)
      return entry.text;
  return nullptr;
}

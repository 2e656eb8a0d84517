// The data-division grammar: data description entries of every format, their
// clauses in any order, COPY, REPLACE and *INCLURE statements and EXEC blocks
// between entries, RD and CD descriptions, and (start symbol 1) the DATA
// DIVISION with its sections. Entries are declared when they are reduced; the objects of
// REDEFINES and RENAMES are resolved at once against what is declared so far.
//
// Under -lenient the terminals come through LenientTokenFilter
// (frontend/lenient_tokens.h), which delivers the dialect terminals (codes
// above MaxDefaultTerminal) that the rules marked "-lenient" read; the
// default reading never sees them, nor are they ever expected in its
// messages.
//
// Errors: LAC gives the exact set of acceptable terminals for the "expected
// tokens" message. Recovery is at the entry: a broken entry ends at its period
// or at the first terminal that can begin the next entry, so a missing period
// costs one message and not the following entry.

%code requires {
#include <cstdint>

#include "frontend/scanner.h"
#include "frontend/syntax_tree.h"

// A construct's extent: where its first terminal begins and where its last
// terminal begins (the end position of constructs).
struct tSpan {
  tPosition first;
  tPosition last;
};

// An entry's level number and name, as read before its clauses.
struct tEntryHead {
  std::int16_t level;
  tStringRef levelString;
  tIdent name;
  tIdent spelling;
  tPosition pos;   // where the name begins (the level number's position when unnamed)
  tPosition epos1; // where the name ends
  tPosition bpos;  // where the entry begins
  bool replaced;
};

// The descriptions that follow the ordinary entries of a copybook, each kind
// in its own list (newest first until the copybook is reduced).
struct tDescriptions {
  tTree communication;
  tTree report;
};
}

%code provides {
// The parser's scanner interface: the next terminal with its attribute and span.
int yylex(YYSTYPE *value, YYLTYPE *location);
}

%code {
#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "frontend/reference_resolution.h"
#include "frontend/parser.h"
#include "frontend/copied_entries.h"
#include "frontend/copy_replacing.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "frontend/item_length.h"
#include "frontend/keywords.h"
#include "frontend/lenient_tokens.h"
#include "diagnostics/message_store.h"
#include "support/identifier_table.h"
#include "support/run_state.h"
#include "support/string_memory.h"

#define YYLLOC_DEFAULT(Current, Rhs, N)                                                            \
  do {                                                                                             \
    if (N) {                                                                                       \
      (Current).first = YYRHSLOC(Rhs, 1).first;                                                    \
      (Current).last = YYRHSLOC(Rhs, N).last;                                                      \
    } else {                                                                                       \
      (Current).first = (Current).last = YYRHSLOC(Rhs, 0).last;                                    \
    }                                                                                              \
  } while (0)

namespace {

// Pseudo-levels of the descriptions that are declared beside the records.
constexpr int levelCommunication = 95;
// A report name is no data name either; like a CD's it is declared at a
// pseudo-level, one of its own.
constexpr int levelReport = 97;

// Both picture buffers hold at most this many characters.
constexpr std::size_t pictureLimit = 255;

// Longest "expected tokens" text the message store can take.
constexpr std::size_t expectedLimit = 5000;

void appendPicture(std::string &buffer, const char *text) {
  const std::size_t room = pictureLimit - std::min(pictureLimit, buffer.size());
  buffer.append(text, std::min(room, std::strlen(text)));
}

// A repetition's three parts, appended as their concatenation would be.
void appendWritten(std::string &buffer, const char *open, const char *text, const char *close) {
  appendPicture(buffer, open);
  appendPicture(buffer, text);
  appendPicture(buffer, close);
}

// The sections of a DATA DIVISION, as the root node takes them.
struct Sections {
  tTree file = NoTree;
  tTree working = NoTree;
  tTree local = NoTree;
  tTree linkage = NoTree;
  tTree communication = NoTree;
  tTree report = NoTree;
  tSpan span{NoPosition, NoPosition};
  // Where each section begins and ends; a copybook's entries count as the
  // WORKING-STORAGE section spanning the whole copybook.
  tSpan fileSpan{NoPosition, NoPosition};
  tSpan workSpan{NoPosition, NoPosition};
  tSpan localSpan{NoPosition, NoPosition};
  tSpan linkSpan{NoPosition, NoPosition};
  tSpan commSpan{NoPosition, NoPosition};
  tSpan reportSpan{NoPosition, NoPosition};
};

// A terminal of a picture string the fast path read, as far as the picture's
// two texts depend on it.
struct PictureTerminal {
  int code;
  tIdent word;
  tIdent spelling;
  tStringRef text;
  long value;
  bool prefixed;
  bool operator==(const PictureTerminal &) const = default;
};

// A picture string the fast path read, by its terminals, and the texts and
// flag its picture clause took.
struct PictureMemo {
  std::vector<PictureTerminal> terminals;
  tStringRef value = nullptr;
  tStringRef written = nullptr;
  bool replaced = false;
};

// The parser's semantic state: made afresh by Parser2, read by the actions.
struct ParserState {
  int syntaxErrors = 0;
  // Where the last syntax error was found, to tell whether recovery skipped
  // input before the period it resumed at.
  tPosition lastError = NoPosition;
  // The picture being assembled: normalised and written forms.
  std::string pictureValue;
  std::string pictureString;
  tPosition picturePos = NoPosition;
  tPosition pictureEnd = NoPosition;
  bool pictureReplaced = false;
  bool pictureStarted = false;
  // The current terminal, for messages about it.
  int currentCode = 0;
  // The scanner reads COPY or REPLACE operands (begin_replacing was called).
  bool replacingMode = false;
  // Implicit names of the communication description being read.
  int communicationCount = 0;
  // The terminal that chooses the start symbol, handed out first.
  int startToken = 0;
  // The sections of the DATA DIVISION read so far.
  Sections sections;
  // File descriptions in a copybook (start symbol 3) are warned about.
  bool noteFileDescriptions = false;
  // The level of the ordinary entry being read, for REDEFINES by position,
  // and its name, for the warnings about its clauses.
  int entryLevel = 0;
  tIdent entryName = NoIdent;
  // -lenient: the dialect words and literal forms between scanner and parser.
  LenientTokenFilter lenientTokens;
  // Messages name terminals: the code of each symbol kind and the printable
  // name of each code, made on the run's first syntax error.
  std::vector<int> terminalCodes;
  std::vector<std::string> tokenNames;
  // The one node that stands for every absent expression of the run.
  tTree noExpression = NoTree;
  // Entries with a COPY statement after their clauses (format_copy) made so
  // far: only they give finishEntries something to restructure.
  int entryCopies = 0;
  // The parser has just finished an entry (or a COPY among the entries)
  // without reading ahead: the next terminal may begin an entry, which
  // the fast path may then read whole (FAST_ENTRY).
  bool entryStart = false;
  // Off for the tests that compare the two paths.
  bool fastEntries = true;
  int fastEntriesRead = 0;
  std::vector<tFastToken> fastTokens;
  // The pictures the fast path read last, in one of two slots chosen by the
  // hash of their terminals: a copybook spells a few pictures many times,
  // and assembling both texts and looking each up among the shared strings
  // took some 1 300 instructions a picture.
  std::array<PictureMemo, 64> pictureMemos;
  std::vector<PictureTerminal> pictureTerminals;
};
constexpr RunSlot<ParserState> state{RunSlotId::parser};

// --- building blocks of the actions ----------------------------------------

tTree nameNode(const tScanAttribute &a) {
  return mname(a.Position, a.EndPosition, a.Word, a.Spelling, a.Prefixed);
}

// A name that is not a data reference: the resolver leaves it unresolved.
tTree unresolvedName(const tScanAttribute &a) {
  auto *node = mname(a.Position, a.EndPosition, a.Word, a.Spelling, a.Prefixed);
  if (node != nullptr) node->decl = TreeNoReference;
  return node;
}

tTree integerNode(const tScanAttribute &a) {
  return minteger(a.Position, a.EndPosition, static_cast<std::int32_t>(a.Value), a.Text, a.Prefixed);
}

// An integer that the front end computed, as the literal that writes it.
tTree lengthNode(const tSpan &span, long value) {
  const std::string text = std::to_string(value);
  return minteger(span.first, span.last, static_cast<std::int32_t>(value),
                  PutString(text.data(), text.size()), false);
}

tTree realNode(const tScanAttribute &a) {
  return mreal(a.Position, a.EndPosition, a.Text, a.Text, a.Prefixed);
}

tTree stringNode(const tScanAttribute &a) {
  return mstring(a.Position, a.EndPosition, a.Text, a.Text, a.Prefixed);
}

// Singular and plural of a figurative constant share a terminal; the written
// length tells them apart.
tTree figurative(const tScanAttribute &a, std::uint16_t singular, std::uint16_t plural,
                 unsigned long singularLength) {
  const bool isSingular = a.Spelling == NoIdent || LengthIdent(a.Spelling) == singularLength;
  return mfigurative_literal(a.Position, a.EndPosition, isSingular ? singular : plural);
}

// Absent expressions (no DEPENDING ON, no VALUE ...) are one shared node: it
// has no position and nobody changes it (resolution sets its reference to
// none, as it was), and a node per PICTURE cost 40 bytes of every entry.
tTree noExpression() {
  tTree &shared = state().noExpression;
  if (shared == NoTree)
    shared = mnoexpression(NoPosition, NoPosition);
  return shared;
}

tEntryHead makeHead(const tScanAttribute &level, int value, const tScanAttribute *entryName) {
  tEntryHead head{};
  head.level = static_cast<std::int16_t>(value);
  head.levelString = level.Text != nullptr ? level.Text : PutString("", 0);
  head.bpos = level.Position;
  if (entryName != nullptr) {
    head.name = entryName->Word;
    head.spelling = entryName->Spelling;
    head.pos = entryName->Position;
    head.epos1 = entryName->EndPosition;
    head.replaced = entryName->Prefixed;
  } else {
    head.name = NoIdent;
    head.spelling = NoIdent;
    head.pos = level.Position;
    head.epos1 = level.EndPosition;
    head.replaced = false;
  }
  return head;
}

// Declares a finished entry and records the declaration in it.
tTree declareEntry(tTree entry, int level) {
  auto *format = as_if<tree::format>(entry);
  if (format == nullptr) return entry;
  // A declaration keeps no end positions (nothing after the parse reads them).
  format->decl = Declare(level, {format->name, format->pos, NoPosition}, entry, NoPosition);
  return entry;
}

tTree makeFormat1(const tEntryHead &h, tTree clauses, const tPosition &epos) {
  return declareEntry(mformat_1(NoTree, h.level, h.levelString, h.name, h.pos, h.spelling, h.epos1,
                                h.replaced, h.bpos, epos, ReverseTree(clauses)),
                      h.level);
}

// Puts `element` (a list element made with an empty `next`) in front of `list`.
tTree prepend(tTree element, tTree list) {
  if (element == NoTree) return list;
  tTree *next = Tree_Next(element);
  if (next != nullptr) *next = list;
  return element;
}

// --- -lenient: constants and REDEFINES by position --------------------------

// An exact decimal: `digits` scaled by 10 to the power -`scale`.
struct Decimal {
  long long digits = 0;
  int scale = 0;
};

constexpr int maxScale = 18;

bool scaledUp(long long digits, int by, long long &result) {
  result = digits;
  for (int i = 0; i < by; ++i)
    if (__builtin_mul_overflow(result, 10LL, &result))
      return false;
  return true;
}

// Without trailing zeros after the point: 3.0 is the integer 3.
Decimal normalised(Decimal value) {
  while (value.scale > 0 && value.digits % 10 == 0) {
    value.digits /= 10;
    --value.scale;
  }
  return value;
}

// The value of a numeric literal as written: digits, a sign, one decimal
// point (a comma where DECIMAL-POINT IS COMMA made it one).
bool literalValue(const char *text, Decimal &value) {
  value = Decimal{};
  bool negative = false, point = false, digit = false;
  for (const char *c = text; *c != '\0'; ++c) {
    if ((*c == '+' || *c == '-') && c == text) {
      negative = *c == '-';
    } else if ((*c == '.' || *c == ',') && !point) {
      point = true;
    } else if (*c >= '0' && *c <= '9') {
      digit = true;
      if (__builtin_mul_overflow(value.digits, 10LL, &value.digits) ||
          __builtin_add_overflow(value.digits, static_cast<long long>(*c - '0'), &value.digits))
        return false;
      if (point && ++value.scale > maxScale)
        return false;
    } else {
      return false;
    }
  }
  if (negative)
    value.digits = -value.digits;
  return digit;
}

// The value an arithmetic constant expression of numeric literals has,
// exact, with COBOL's precedence; false for anything else (a name, a
// string, a division that leaves a rest within 18 decimal places, a result
// past 18 digits).
bool decimalValue(tTree expression, Decimal &value) {
  if (auto *integer = as_if<tree::integer>(expression)) {
    value = Decimal{integer->Value, 0};
    return true;
  }
  if (auto *real = as_if<tree::real>(expression))
    return real->Value != nullptr && literalValue(StGetCStr(real->Value), value);
  if (auto *parentheses = as_if<tree::parentheses>(expression))
    return decimalValue(parentheses->expression, value);
  auto *binary = as_if<tree::binary>(expression);
  Decimal left, right;
  if (binary == nullptr || !decimalValue(binary->lop, left) || !decimalValue(binary->rop, right))
    return false;
  const int op = binary->operator_ - cwPlus;
  if (op == 0 || op == 1) {
    const int scale = std::max(left.scale, right.scale);
    long long a = 0, b = 0;
    if (!scaledUp(left.digits, scale - left.scale, a) ||
        !scaledUp(right.digits, scale - right.scale, b))
      return false;
    value.scale = scale;
    return !(op == 0 ? __builtin_add_overflow(a, b, &value.digits)
                     : __builtin_sub_overflow(a, b, &value.digits));
  }
  if (op == 2) {
    value.scale = left.scale + right.scale;
    if (__builtin_mul_overflow(left.digits, right.digits, &value.digits))
      return false;
    value = normalised(value);
    return value.scale <= maxScale;
  }
  if (op != 3 || right.digits == 0)
    return false;
  // The fewest decimal places that make the quotient exact.
  for (int places = 0; places <= maxScale; ++places) {
    long long dividend = 0;
    if (!scaledUp(left.digits, places, dividend))
      return false;
    if (dividend % right.digits != 0)
      continue;
    value.digits = dividend / right.digits;
    value.scale = left.scale - right.scale + places;
    if (value.scale < 0) {
      if (!scaledUp(value.digits, -value.scale, value.digits))
        return false;
      value.scale = 0;
    }
    value = normalised(value);
    return value.scale <= maxScale;
  }
  return false;
}

std::string decimalText(const Decimal &value) {
  const std::string digits = std::to_string(value.digits < 0 ? -value.digits : value.digits);
  const std::size_t scale = static_cast<std::size_t>(value.scale);
  std::string text = value.digits < 0 ? "-" : "";
  if (scale == 0)
    return text.append(digits);
  // At least one digit before the point.
  const std::size_t before = digits.size() > scale ? digits.size() - scale : 0;
  text.append(before == 0 ? "0" : digits.substr(0, before)).append(".");
  text.append(scale > digits.size() ? scale - digits.size() : 0, '0');
  return text.append(digits.substr(before));
}

// The literal terminal that stands for the value of a constant, or code 0
// when the value is none that may stand in for a literal.
tToken constantToken(tTree expression) {
  tToken token;
  token.attribute.Word = token.attribute.Spelling = NoIdent;
  Decimal value;
  if (decimalValue(expression, value)) {
    value = normalised(value);
    const std::string text = decimalText(value);
    token.attribute.Text = PutString(text.data(), text.size());
    if (value.scale > 0) {
      token.code = tok::real;
      return token;
    }
    token.code = value.digits >= 1 && value.digits <= 49 ? tok::level_number
                 : value.digits >= 0                     ? tok::unsigned_integer
                                                         : tok::minus_integer;
    token.attribute.Value = static_cast<long>(value.digits);
  } else if (auto *string = as_if<tree::string>(expression)) {
    token.code = tok::string;
    token.attribute.Text = string->Value;
  }
  return token;
}

// A constant (level 78 or CONSTANT, read as level 78): it takes no storage
// and makes no definition; its name stands for its value from here on.
tTree constantEntry(tTree entry) {
  auto *constant = as<tree::format_4>(entry);
  ErrorMessageI(xxConstantEntry, xxWarning, constant->pos, xxIdent, &constant->name);
  const tToken value = constantToken(constant->expression);
  if (value.code != 0)
    state().lenientTokens.defineConstant(constant->name, value);
  return entry;
}

// A signed integer right after an operand of a constant expression is the
// operator and an unsigned operand ("12.35-2"), as compilers read it.
tTree signedOperand(const tSpan &span, tTree left, const tScanAttribute &integer) {
  tScanAttribute magnitude = integer;
  magnitude.Value = integer.Value < 0 ? -integer.Value : integer.Value;
  const std::string digits = std::to_string(magnitude.Value);
  magnitude.Text = PutString(digits.data(), digits.size());
  const std::uint16_t op = integer.Value < 0 || (integer.Text != nullptr && StGetCStr(integer.Text)[0] == '-')
                               ? cwPlus + 1
                               : cwPlus;
  return mbinary(span.first, span.last, left, op, integer.Position, integer.Position,
                 integerNode(magnitude));
}

// LENGTH OF an item in a constant: its storage length, as an integer
// literal; an item whose length cannot be known here leaves the constant
// without a value, with a warning.
tTree lengthOfItem(const tSpan &span, tTree reference) {
  Eval(reference);
  const tree::decl *entry = nullptr;
  if (auto *name = as_if<tree::name>(reference))
    entry = as_if<tree::decl>(name->decl);
  else if (auto *qualified = as_if<tree::qualification>(reference))
    entry = as_if<tree::decl>(qualified->decl);
  long length = 0;
  if (entry == nullptr || !ItemLength(*entry, length)) {
    const tIdent name = entry != nullptr ? entry->name : NoIdent;
    MessageI("LENGTH OF not computed, the constant has no value", xxWarning, span.first, xxIdent,
             &name);
    return noExpression();
  }
  return lengthNode(span, length);
}

tTree lengthOfLiteral(const tScanAttribute &literal) {
  std::string content;
  const char *text = literal.Text != nullptr ? StGetCStr(literal.Text) : "";
  const std::size_t size = literal.Text != nullptr ? LengthSt(literal.Text) : 0;
  // The characters between the delimiters, a doubled delimiter once.
  long length = 0;
  if (size >= 2 && (text[0] == '"' || text[0] == '\''))
    for (std::size_t i = 1; i + 1 < size; ++i, ++length)
      if (text[i] == text[0])
        ++i;
  return lengthNode({literal.Position, literal.Position}, length);
}

tTree lengthOfUsage(const tSpan &span, std::uint16_t usage) {
  long length = 0;
  if (!UsageLength(usage, length)) {
    Message("LENGTH OF a usage sized by its picture not computed, the constant has no value",
            xxWarning, span.first);
    return noExpression();
  }
  return lengthNode(span, length);
}

// COBOL's rule: the object of REDEFINES is the preceding entry of the same
// level. When that entry has the name written, the reference is resolved to
// it, with a warning where the search by name would have found another entry
// or several.
// The entry `entry` redefines, or nothing.
tree::decl *redefinedBy(const tree::decl *entry) {
  const auto *format = as_if<tree::format_1>(entry->object);
  if (format == nullptr)
    return nullptr;
  for (tTree clause = format->data_clause_l; is<tree::data_clause_c>(clause);
       clause = *Tree_Next(clause))
    if (const auto *redefines = as_if<tree::redefines>(clause))
      if (const auto *object = as_if<tree::name>(redefines->name))
        return as_if<tree::decl>(object->decl);
  return nullptr;
}

void redefinesByPosition(tTree object) {
  auto *name = as<tree::name>(object);
  tree::decl *preceding = PrecedingEntryOfLevel(state().entryLevel);
  // Several redefinitions of one item follow it in a row, each naming it:
  // the preceding entry may be another of them.
  for (int hops = 0; preceding != nullptr && preceding->name != name->name && hops < 64; ++hops)
    preceding = redefinedBy(preceding);
  if (preceding == nullptr || preceding->name != name->name)
    return;
  if (Identify(name->name) != preceding || search_count() != 1)
    ErrorMessageI(xxRedefinesByPosition, xxWarning, name->bpos, xxIdent, &name->name);
  name->decl = preceding;
}

// --- pictures --------------------------------------------------------------

void pictureBegin() {
  state().pictureValue.clear();
  state().pictureString.clear();
  state().pictureReplaced = false;
  state().pictureStarted = false;
}

void pictureNote(const tScanAttribute &a) {
  if (!state().pictureStarted) {
    state().picturePos = a.Position;
    state().pictureStarted = true;
  }
  state().pictureEnd = a.EndPosition.Line != 0 ? a.EndPosition : a.Position;
  state().pictureReplaced = state().pictureReplaced || a.Prefixed;
}

// A run of picture symbols: normalised and as written.
void pictureWord(const tScanAttribute &a) {
  pictureNote(a);
  appendPicture(state().pictureValue, GetCStr(a.Word));
  appendPicture(state().pictureString, GetCStr(a.Spelling != NoIdent ? a.Spelling : a.Word));
}

// A number or a literal piece that stands for itself in both forms.
void pictureText(const tScanAttribute &a) {
  pictureNote(a);
  const char *text = a.Text != nullptr ? StGetCStr(a.Text) : "";
  appendPicture(state().pictureValue, text);
  appendPicture(state().pictureString, text);
}

void pictureSymbol(const tScanAttribute &a, const char *symbol) {
  pictureNote(a);
  appendPicture(state().pictureValue, symbol);
  appendPicture(state().pictureString, symbol);
}

// A repetition factor: the value in decimal, and the digits as written.
void pictureRepeat(const tScanAttribute &open, const tScanAttribute &count,
                   const tScanAttribute &close) {
  pictureNote(open);
  pictureNote(count);
  pictureNote(close);
  // Formatted in place: the strings this built were a tenth of an entry's
  // instructions in the parse.
  if (count.Text != nullptr) {
    char normal[24];
    char *end = normal + sizeof normal;
    char *digit = end;
    *--digit = '\0';
    *--digit = ')';
    unsigned long value = count.Value < 0 ? 0UL - static_cast<unsigned long>(count.Value)
                                          : static_cast<unsigned long>(count.Value);
    do {
      *--digit = static_cast<char>('0' + value % 10);
      value /= 10;
    } while (value != 0);
    if (count.Value < 0)
      *--digit = '-';
    *--digit = '(';
    appendPicture(state().pictureValue, digit);
    appendWritten(state().pictureString, "(", StGetCStr(count.Text), ")");
  } else {
    appendWritten(state().pictureValue, "(", GetCStr(count.Word), ")");
    appendWritten(state().pictureString, "(",
                  GetCStr(count.Spelling != NoIdent ? count.Spelling : count.Word), ")");
  }
}

// A copybook repeats a few pictures many times (and writes most of them as
// they are read): their texts are stored once per run.
tTree pictureClause(const tSpan &span, tTree depending) {
  const tStringRef value =
      PutSharedString(state().pictureValue.data(), state().pictureValue.size());
  const tStringRef written =
      PutSharedString(state().pictureString.data(), state().pictureString.size());
  return mpicture(NoTree, span.first, span.last, cwPicture, state().picturePos, state().pictureEnd,
                  value, written, state().pictureReplaced, depending);
}

// --- clauses -----------------------------------------------------------------

tTree plainClause(const tSpan &span, std::uint16_t keyword) {
  return mdata_clause(NoTree, span.first, span.last, keyword);
}

tTree usageClause(const tSpan &span, std::uint16_t value, bool native) {
  return musage(NoTree, span.first, span.last, cwUsage, value, native);
}

// An OCCURS bound past 32 bits is kept as INT32_MAX, not wrapped to a small
// count: the converter refuses any bound that large.
std::int32_t occursBound(const tScanAttribute &integer) {
  return static_cast<std::int32_t>(std::min<long>(integer.Value, INT32_MAX));
}

tTree occursClause(const tSpan &span, const tScanAttribute &first, const tScanAttribute *second) {
  if (second == nullptr)
    return moccurs(NoTree, span.first, span.last, cwOccurs, -1, NoPosition, NoPosition,
                   occursBound(first), first.Position, first.EndPosition, noExpression(),
                   mnoa_de_scending(), mnoidentifier());
  return moccurs(NoTree, span.first, span.last, cwOccurs, occursBound(first), first.Position,
                 first.EndPosition, occursBound(*second), second->Position, second->EndPosition,
                 noExpression(), mnoa_de_scending(), mnoidentifier());
}

// A dialect clause of an entry, reported with the entry's name: the
// converter reads the clause from the entry.
tTree dialectClause(const tSpan &span, std::uint16_t keyword, const char *text) {
  MessageI(text, xxWarning, span.first, xxIdent, &state().entryName);
  return plainClause(span, keyword);
}

void externalName(const tScanAttribute &name) {
  const std::string text = name.Text != nullptr ? StGetCStr(name.Text) : "";
  MessageI("EXTERNAL AS name ignored", xxWarning, name.Position, xxString, text.c_str());
}

// OCCURS [n TO] UNBOUNDED: the upper bound is OccursUnbounded.
tTree unboundedOccurs(const tSpan &span, const tScanAttribute *lower,
                      const tScanAttribute &unbounded, tTree depending, tTree keys, tTree indexed) {
  MessageI("OCCURS UNBOUNDED converted without a largest count", xxWarning, unbounded.Position,
           xxIdent, &state().entryName);
  auto *o = as<tree::occurs>(moccurs(
      NoTree, span.first, span.last, cwOccurs, lower != nullptr ? occursBound(*lower) : -1,
      lower != nullptr ? lower->Position : NoPosition,
      lower != nullptr ? lower->EndPosition : NoPosition, OccursUnbounded, unbounded.Position,
      unbounded.EndPosition, noExpression(), mnoa_de_scending(), mnoidentifier()));
  o->depending = depending;
  o->a_de_scending_l = ReverseTree(keys);
  o->indexed = indexed;
  return o;
}

// --- COPY --------------------------------------------------------------------

// The operands of REPLACING and REPLACE are read with only the replacing
// words reserved, so that pseudo-text such as ==PIC X(4).== arrives as plain
// words and characters. The mode is entered before the terminal after
// REPLACING (or REPLACE) is read, and left once the statement's period has
// been shifted, before the terminal after it is read.
void enterReplacing() {
  if (state().replacingMode) return;
  begin_replacing();
  state().replacingMode = true;
}

void leaveReplacing() {
  if (!state().replacingMode) return;
  state().replacingMode = false;
  end_replacing();
}

tTree copyStatement(const tSpan &span, tTree textName, tTree pairs) {
  leaveReplacing();
  auto *statement = ms_copy(NoTree, span.first, span.last, NoTree, true, textName, cwCopy,
                            ReverseTree(pairs), NoIdent);
  CopyStatementReduced(statement);
  return statement;
}

// A replacing pair; the flags tell which operands were written as pseudo-text.
tTree replacingPair(std::uint16_t mode, tTree find, tTree by) {
  const auto pseudo = [](tTree operand) {
    return Tree_IsType(operand, kpseudo_text) || Tree_IsType(operand, kexpression_l);
  };
  keep_operand_unresolved(find);
  keep_operand_unresolved(by);
  return mcopy_replacing(NoTree, find, by, pseudo(find), pseudo(by), mode);
}

// REPLACE pairs . (and REPLACE OFF ., with no pairs): the text after the
// period is replaced up to the next REPLACE.
tTree replaceStatement(const tSpan &span, tTree pairs) {
  leaveReplacing();
  auto *statement = ms_replace(NoTree, span.first, span.last, NoTree, true, ReverseTree(pairs));
  ReplaceStatementReduced(statement);
  return statement;
}

// In replacing mode OFF is no keyword: REPLACE, one word and the period is
// REPLACE OFF only when the word is OFF. After any other word the period is
// the syntax error it would be in a pair (the word must be followed by BY or
// a qualification); the statement then replaces nothing.
void checkOffWord(const tScanAttribute &word, const tScanAttribute &period) {
  if (word.Word != NoIdent && std::strcmp(GetCStr(word.Word), "OFF") == 0) return;
  ++state().syntaxErrors;
  state().lastError = period.Position;
  ErrorMessage(xxSyntaxError, xxError, period.Position);
  ErrorMessageI(xxTokenFound, xxInformation, period.Position, xxString, yyGetTokenName(tok::Period));
  ErrorMessageI(xxExpectedTokens, xxInformation, period.Position, xxString, "BY IN OF");
}

// *INCLURE member [prefix] [increment]: the member is included; its names
// get the prefix and its level numbers the increment.
tTree inclureStatement(const tSpan &span, tTree member, char prefix, long increment) {
  auto *statement = ms_inclure(NoTree, span.first, span.last, NoTree, true, member, prefix,
                               static_cast<std::int16_t>(increment), NoIdent);
  InclureStatementReduced(statement);
  return statement;
}

// --- the tree root -------------------------------------------------------------


// Entry lists grow at their end as they are read. Until the list is
// finished its value is the newest element, whose `next` leads round to the
// oldest (a ring); an empty list is the end node. A section of a million
// entries built newest first took a pass over every entry to put them in
// source order, a cache miss each.
tTree appendEntry(tTree list, tTree element) {
  if (element == NoTree) return list;
  tTree *next = Tree_Next(element);
  if (is<tree::nodata_description_entry>(list)) {
    *next = element;
  } else {
    tTree *newest = Tree_Next(list);
    *next = *newest;
    *newest = element;
  }
  return element;
}

// Entry lists are finished once: the ring opened at its oldest element and
// ended, then the entries of COPY statements hung below them (a further
// pass over every entry, wanted only after an entry with a COPY in it).
tTree finishEntries(tTree list) {
  if (list == NoTree || is<tree::nodata_description_entry>(list))
    return mnodata_description_entry();
  tTree *newest = Tree_Next(list);
  const tTree oldest = *newest;
  *newest = mnodata_description_entry();
  return state().entryCopies != 0 ? trafo_data_desc(oldest) : oldest;
}

tTree entriesOrNone(tTree list) { return list != NoTree ? list : mnodata_description_entry(); }

void makeRoot(const Sections &s) {
  const tPosition &b = s.span.first;
  const tPosition &e = s.span.last;
  TreeRoot() = mdata_division(
      mnoschema_description(), s.file != NoTree ? s.file : mnofile_description(),
      mnoschema_description(), entriesOrNone(s.working), mnodata_description_entry(),
      entriesOrNone(s.local), entriesOrNone(s.linkage),
      s.communication != NoTree ? s.communication : mnocommunication_description(),
      s.report != NoTree ? s.report : mnoreport_description(), mnoscreen_description(), b,
      NoPosition, NoPosition, s.fileSpan.first, s.fileSpan.last, NoPosition, NoPosition,
      s.workSpan.first, s.workSpan.last, NoPosition, NoPosition, s.localSpan.first,
      s.localSpan.last, s.linkSpan.first, s.linkSpan.last, s.commSpan.first, s.commSpan.last,
      s.reportSpan.first, s.reportSpan.last, NoPosition, NoPosition, e);
}

// Pseudo-level of file and sort-file descriptions, declared beside the
// records like a CD.
constexpr int levelFile = 93;

// An FD or SD: declared at its pseudo-level; the records after it belong to
// the file section, so they are declared below it.
tTree fileHead(std::uint16_t keyword, const tScanAttribute &fdName, const tSpan &span) {
  Section() = dkFile;
  auto *fd = mfile_description(NoTree, keyword, fdName.Word,
                               fdName.Position, fdName.Spelling, fdName.EndPosition,
                               mnofile_clause(), span.last, mnodata_description_entry(),
                               span.first, span.last);
  fd->decl = Declare(levelFile, {fdName.Word, fdName.Position, fdName.EndPosition}, fd, span.last);
  if (state().noteFileDescriptions)
    Message(keyword == cwFd ? "FD description skipped, its records converted"
                            : "SD description skipped, its records converted",
            xxWarning, span.first);
  return fd;
}

tScanAttribute textAsWord(const tScanAttribute &a) {
  tScanAttribute word = a;
  // All bytes: a NUL in a literal must not make it another copybook's name.
  word.Word = a.Text != nullptr ? MakeIdent(StGetCStr(a.Text), LengthSt(a.Text)) : MakeIdent("");
  word.Spelling = word.Word;
  return word;
}

// A copybook name with its library: neither is resolved as a data reference.
tTree copyLibrary(const tSpan &span, const tScanAttribute &text, const tScanAttribute &word,
                  const tScanAttribute &library, bool of) {
  auto *node = mqualification(span.first, span.last, text.Word, text.Spelling, text.Prefixed,
                              word.Position, unresolvedName(library), of, library.Position);
  if (node != nullptr) node->decl = TreeNoReference;
  return node;
}

// One terminal of pseudo-text read as ordinary terminals, as an element of the
// operand's token list: words as names, numbers and literals as literals,
// anything else as text.
tTree pseudoWord(const tSpan &span, const tScanAttribute &a, int code) {
  tTree node;
  switch (code) {
  case tok::name:
  case tok::name_in_area_A:
  case tok::paragraph_name:
    node = unresolvedName(a);
    break;
  case tok::unsigned_integer:
  case tok::level_number:
  case tok::plus_integer:
  case tok::minus_integer:
    node = integerNode(a);
    break;
  case tok::real:
    node = realNode(a);
    break;
  case tok::string:
    node = stringNode(a);
    break;
  default: {
    const char *text = a.Text != nullptr    ? StGetCStr(a.Text)
                       : a.Spelling != NoIdent ? GetCStr(a.Spelling)
                                               : TerminalName(code);
    node = mpseudo_text(span.first, span.last, PutString(text, std::strlen(text)));
    break;
  }
  }
  return mexpression(NoTree, node);
}

// Recovery resumed at `where`; when input had to be skipped to get there,
// say so (the message store does not print it, but keeps the record).
void restartAt(const tPosition &where) {
  // A statement broken inside its operands ends with the recovery.
  leaveReplacing();
  if (where.Line != 0 && Compare(where, state().lastError) != 0)
    ErrorMessage(xxRestartPoint, xxInformation, where);
}


void communicationBegin() { state().communicationCount = 0; }

void communicationItem(const tScanAttribute &item) {
  if (state().communicationCount + 1 >= MaxCdNames) return;
  ++state().communicationCount;
  cd_names()[state().communicationCount] = {item.Word, item.Position, item.EndPosition};
}

// A CD: declared beside the records at its pseudo-level, its implicit record
// at level 1 and its implicit items at level 2; the records after it belong
// to the communication section.
tTree communicationHead(const tScanAttribute &cdName, bool initial, const tSpan &span) {
  Section() = dkCommunication;
  auto *cd = mcommunication_desc(NoTree, cdName.Word, cdName.Position, cdName.Spelling,
                                 cdName.EndPosition, initial, mnodata_description_entry(),
                                 span.first, span.last);
  Declare(levelCommunication, {cdName.Word, cdName.Position, cdName.EndPosition}, cd, span.last);
  cd_names()[0] = {cdName.Word, cdName.Position, cdName.EndPosition};
  Declare_CD(state().communicationCount, cd, span.last);
  return cd;
}

// An RD: declared beside the records at its pseudo-level; the report groups
// after it are declared in the report section, so their 01 entries stand at
// the top beside it.
tTree reportHead(const tScanAttribute &rdName, tTree clauses, const tSpan &span) {
  Section() = dkReport;
  auto *rd = mreport_description(NoTree, rdName.Word, rdName.Position, rdName.Spelling,
                                 rdName.EndPosition, ReverseTree(clauses),
                                 mnoreport_group_description(), span.first, span.last);
  Declare(levelReport, {rdName.Word, rdName.Position, rdName.EndPosition}, rd, span.last);
  return rd;
}

// An RD whose name is missing stands unnamed where its RD was written.
tScanAttribute unnamed(const tScanAttribute &rd) {
  tScanAttribute name = rd;
  name.Word = NoIdent;
  name.Spelling = NoIdent;
  return name;
}

tTree reportGroup(const tEntryHead &h, tTree clauses, const tPosition &epos) {
  auto *group = mreport_group_description(NoTree, h.level, h.name, h.pos, h.spelling, h.epos1,
                                          ReverseTree(clauses), h.bpos, epos);
  if (group != nullptr) group->decl = Declare(h.level, {h.name, h.pos, h.epos1}, group, epos);
  return group;
}

// LINE: `keyword` says how the integer counts: an absolute line (LINE-NUMBER),
// lines after the previous one (PLUS), or an absolute line on the next page
// (NEXT, set by onNextPage).
tTree lineClause(const tSpan &span, std::uint16_t keyword, const tScanAttribute &integer) {
  return mg_line_number(NoTree, span.first, span.last, keyword,
                        static_cast<std::int32_t>(integer.Value), integer.Position,
                        integer.EndPosition);
}

// NEXT GROUP: an absolute line (LINE-NUMBER), PLUS lines, or NEXT PAGE
// (PAGE, without an integer).
tTree nextGroupClause(const tSpan &span, std::uint16_t keyword, const tScanAttribute *integer) {
  if (integer == nullptr)
    return mg_next_group(NoTree, span.first, span.last, keyword, 0, NoPosition, NoPosition);
  return mg_next_group(NoTree, span.first, span.last, keyword,
                       static_cast<std::int32_t>(integer->Value), integer->Position,
                       integer->EndPosition);
}

// "[ON] NEXT PAGE" after LINE n: the line is counted on the next page.
tTree onNextPage(tTree clauses, const tPosition &epos) {
  auto *line = as<tree::g_line_number>(clauses);
  line->keyword = cwNext;
  line->epos = epos;
  return clauses;
}

// A PAGE phrase (HEADING, FIRST DETAIL, LAST DETAIL, FOOTING) with its line.
tTree pagePhrase(std::uint16_t keyword, const tScanAttribute &integer) {
  return mexpression_word(NoTree, integerNode(integer), keyword);
}

void yyerror(YYLTYPE *, const char *);

// --- entries read whole ------------------------------------------------------

// Usages written as one word (the rules usage_word and BINARY without
// NATIVE): their keyword in the tree.
bool singleWordUsage(int code, std::uint16_t &usage) {
  switch (code) {
  case tok::COMPUTATIONAL: usage = cwComputational; return true;
  case tok::DISPLAY: usage = cwDisplay; return true;
  case tok::INDEX: usage = cwIndex; return true;
  case tok::PACKED_DECIMAL: usage = cwPackedDecimal; return true;
  case tok::COMPUTATIONAL_0: usage = cwComp0; return true;
  case tok::COMPUTATIONAL_1: usage = cwComp0 + 1; return true;
  case tok::COMPUTATIONAL_2: usage = cwComp0 + 2; return true;
  case tok::COMPUTATIONAL_3: usage = cwComp0 + 3; return true;
  case tok::COMPUTATIONAL_4: usage = cwComp0 + 4; return true;
  case tok::COMPUTATIONAL_5: usage = cwComp0 + 5; return true;
  case tok::BINARY: usage = cwBinary; return true;
  default: return false;
  }
}

// The picture symbols that stand for themselves (the rule picture_element).
const char *pictureSymbolOf(int code) {
  switch (code) {
  case tok::PlusSign: return "+";
  case tok::MinusSign: return "-";
  case tok::Star: return "*";
  case tok::Slash: return "/";
  case tok::Comma: return ",";
  case tok::picture_dot: return ".";
  default: return nullptr;
  }
}

bool isInteger(int code) { return code == tok::level_number || code == tok::unsigned_integer; }

// The picture clause of the terminals t[from] to t[to - 1], which the fast
// path has found to be a picture string of the forms it takes: made as the
// grammar's actions make it, or, when the same terminals made the last
// picture of their slot, with that picture's texts (the texts are made of
// the terminals' codes, words, spellings, texts and values alone).
tTree fastPictureClause(const std::vector<tFastToken> &t, std::size_t from, std::size_t to,
                        const tSpan &span) {
  std::vector<PictureTerminal> &terminals = state().pictureTerminals;
  terminals.clear();
  std::uint64_t hash = to - from;
  for (std::size_t k = from; k < to; ++k) {
    const tScanAttribute &a = t[k].attribute;
    terminals.push_back({t[k].code, a.Word, a.Spelling, a.Text, a.Value, a.Prefixed});
    hash = (hash ^ static_cast<std::uint64_t>(t[k].code)) * 0x100000001b3ULL;
    hash = (hash ^ a.Word) * 0x100000001b3ULL;
    hash = (hash ^ reinterpret_cast<std::uintptr_t>(a.Text)) * 0x100000001b3ULL;
  }
  hash *= 0x9e3779b97f4a7c15ULL;
  auto &memos = state().pictureMemos;
  PictureMemo *slots[2] = {&memos[hash >> 58], &memos[(hash >> 52) & 63]};
  for (PictureMemo *slot : slots)
    if (slot->value != nullptr && slot->terminals == terminals)
      return mpicture(NoTree, span.first, span.last, cwPicture, t[from].attribute.Position,
                      t[to - 1].attribute.Position, slot->value, slot->written, slot->replaced,
                      noExpression());
  PictureMemo &memo = slots[0]->value == nullptr || slots[1]->value != nullptr ? *slots[0] : *slots[1];
  pictureBegin();
  for (std::size_t k = from; k < to; ++k) {
    const int code = t[k].code;
    const char *symbol = pictureSymbolOf(code);
    if (code == tok::name || code == tok::DB) {
      pictureWord(t[k].attribute);
    } else if (symbol != nullptr) {
      pictureSymbol(t[k].attribute, symbol);
    } else if (code == tok::LParen) {
      pictureRepeat(t[k].attribute, t[k + 1].attribute, t[k + 2].attribute);
      k += 2;
    } else {
      pictureText(t[k].attribute);
    }
  }
  tTree clause = pictureClause(span, noExpression());
  if (const auto *picture = as_if<tree::picture>(clause)) {
    memo.terminals.swap(terminals);
    memo.value = picture->value;
    memo.written = picture->string;
    memo.replaced = picture->replaced;
  }
  return clause;
}

// The grammar's reading of an entry of the terminals `t` (the period last)
// for the entries the fast path takes: level 1 to 49, a name or FILLER,
// then REDEFINES name, PICTURE of words, integers and repetitions, a usage
// of one word (after USAGE [IS] or alone), OCCURS n [TIMES], VALUE [IS]
// literal; or level 88, a name, VALUE/VALUES [IS/ARE] and one literal.
// With `build` false it only tells whether the entry is one of those; with
// `build` true it makes the entry as the grammar's actions make it, through
// the same functions and in the same order.
bool fastEntry(const std::vector<tFastToken> &t, bool build, tTree &entry) {
  const std::size_t last = t.size() - 1;
  const auto code = [&](std::size_t k) { return k < last ? t[k].code : tok::Period; };
  const auto literal = [&](std::size_t k) {
    return t[k].code == tok::string ? stringNode(t[k].attribute) : integerNode(t[k].attribute);
  };
  const auto isLiteral = [&](std::size_t k) { return code(k) == tok::string || isInteger(code(k)); };
  if (t[0].code == tok::Level88) {
    std::size_t k = 3;
    if (code(1) != tok::name || (code(2) != tok::VALUE && code(2) != tok::VALUES))
      return false;
    if (code(k) == tok::IS || code(k) == tok::ARE)
      ++k;
    if (!isLiteral(k) || k + 1 != last)
      return false;
    if (build) {
      const tTree values = prepend(mexpression(NoTree, literal(k)), mnoexpression_l());
      const tTree otherwise = noExpression();
      const tScanAttribute &level = t[0].attribute;
      const tScanAttribute &name = t[1].attribute;
      entry = declareEntry(mformat_3(NoTree, 88, level.Text, name.Word, name.Position, name.Spelling,
                                     name.EndPosition, name.Prefixed, level.Position,
                                     t[last].attribute.Position, ReverseTree(values), otherwise),
                           88);
    }
    return true;
  }
  if (t[0].code != tok::level_number || (code(1) != tok::name && code(1) != tok::FILLER))
    return false;
  tEntryHead head{};
  tTree clauses = NoTree;
  if (build) {
    const tScanAttribute &level = t[0].attribute;
    head = makeHead(level, static_cast<int>(level.Value) + level.Increment, &t[1].attribute);
    state().entryLevel = head.level;
    state().entryName = head.name;
    clauses = mnodata_clause();
  }
  std::size_t i = 2;
  while (i < last) {
    const tScanAttribute &first = t[i].attribute;
    tTree clause = NoTree;
    std::uint16_t usage = 0;
    std::size_t k = i + 1;
    switch (t[i].code) {
    case tok::REDEFINES:
      if (code(k) != tok::name)
        return false;
      if (build) {
        tTree object = nameNode(t[k].attribute);
        Eval(object);
        clause = mredefines(NoTree, first.Position, t[k].attribute.Position, cwRedefines, object);
      }
      break;
    case tok::PICTURE:
      while (code(k) != tok::end_of_picture) {
        if (code(k) == tok::name || code(k) == tok::DB || isInteger(code(k)) ||
            code(k) == tok::plus_integer || code(k) == tok::minus_integer ||
            code(k) == tok::real || pictureSymbolOf(code(k)) != nullptr) {
        } else if (code(k) == tok::LParen && isInteger(code(k + 1)) && code(k + 2) == tok::RParen) {
          k += 2;
        } else {
          return false;
        }
        ++k;
      }
      if (k == i + 1)
        return false;
      if (build)
        clause = fastPictureClause(t, i + 1, k, tSpan{first.Position, t[k].attribute.Position});
      break;
    case tok::USAGE:
      if (code(k) == tok::IS)
        ++k;
      if (!singleWordUsage(code(k), usage))
        return false;
      if (build)
        clause = usageClause(tSpan{first.Position, t[k].attribute.Position}, usage, false);
      break;
    case tok::OCCURS:
      if (!isInteger(code(k)))
        return false;
      if (code(k + 1) == tok::TIMES)
        ++k;
      if (build) {
        const tTree depending = noExpression();
        const tTree keys = mnoa_de_scending();
        const tTree indexed = mnoidentifier();
        clause = occursClause(tSpan{first.Position, t[k].attribute.Position}, t[i + 1].attribute, nullptr);
        auto *o = as<tree::occurs>(clause);
        o->depending = depending;
        o->a_de_scending_l = ReverseTree(keys);
        o->indexed = indexed;
      }
      break;
    case tok::VALUE:
      if (code(k) == tok::IS)
        ++k;
      if (!isLiteral(k))
        return false;
      if (build)
        clause = mvalue_is(NoTree, first.Position, t[k].attribute.Position, cwValue, literal(k));
      break;
    default:
      if (!singleWordUsage(t[i].code, usage))
        return false;
      k = i;
      if (build)
        clause = usageClause(tSpan{first.Position, first.Position}, usage, false);
      break;
    }
    if (k >= last)
      return false;
    if (build)
      clauses = prepend(clause, clauses);
    i = k + 1;
  }
  if (build)
    entry = makeFormat1(head, clauses, t[last].attribute.Position);
  return true;
}

// At the start of an entry: reads the entry whole when the scanner's bytes
// hold one the fast path takes, and moves the scanner past its period.
bool readFastEntry(tTree &entry, tSpan &location) {
  std::vector<tFastToken> &tokens = state().fastTokens;
  std::size_t length = 0;
  if (!PeekEntryLine(tokens, length) || tokens.size() < 3 || !fastEntry(tokens, false, entry))
    return false;
  ConsumeEntryLine(length, tokens.back().attribute);
  fastEntry(tokens, true, entry);
  ++state().fastEntriesRead;
  location.first = tokens.front().attribute.Position;
  location.last = tokens.back().attribute.Position;
  return true;
}

} // namespace
}

%define api.pure full
%define api.token.prefix {T_}
%define api.location.type {tSpan}
%define parse.error custom
%define parse.lac full
%locations
%expect 0

%union {
  tScanAttribute tok;
  tTree tree;
  tEntryHead head;
  tDescriptions descriptions;
  std::uint16_t word;
  bool flag;
}

%token error 400
%token YYUNDEF 401
/* Never scanned: the first terminal of a parse chooses its start symbol. */
%token START_COPYBOOK 402
%token START_DATA_DIVISION 403
%token START_COPYBOOK_WITH_FILES 404
/* Never scanned either: an entry the fast path read whole (readFastEntry). */
%token <tree> FAST_ENTRY 405
/* Terminals: their codes and printable names are those of
   frontend/keywords.def, written in here by the build. */
%terminals_from_keywords_def

%type <tok> data_name entry_name occurs_integer pic_count copy_text inclure_increment

%type <tree> lead_items lead_items_ne lead_item data_entry entry_1 entry_66 entry_78 entry_88
%type <tree> clause_list clause picture_clause usage_clause sign_clause occurs_clause
%type <tree> value_clause opt_depending data_ref literal value_literal figurative_constant
%type <tree> condition_values condition_value condition_literal opt_false
%type <tree> constant_expression constant_term constant_factor length_operand
%type <tree> occurs_depending index_names opt_class_name copy_name
%type <tree> name_list key_phrases key_phrase index_phrase copy_statement opt_thru
%type <tree> opt_replacing replacing_pairs replacing_pair replacing_operand pseudo_words
%type <tree> replacement replace_statement inclure_statement
%type <tree> cd_entry cd_head pseudo_word unit_word
%type <tok> report_integer
%type <tree> rd_entry rd_head report_clauses report_clause control_names page_phrases page_phrase
%type <tree> report_groups report_group group_clauses group_line report_group_clause
%type <tree> type_clause control_ref line_clause next_group_clause sum_clause opt_upon code_value
%type <descriptions> descriptions descriptions_ne
%type <head> entry_1_head report_group_head
%type <word> inclure_prefix usage_word sign_position key_direction affix_mode type_word control_type
%type <flag> opt_separate opt_native opt_signedness
%type <tree> entry_constant

%type <tree> file_descriptions file_descriptions_ne file_description fd_head
%type <tree> cd_entries rd_entries
%type <word> fd_word

%start source

%%

source
  : START_COPYBOOK copybook
  | START_DATA_DIVISION data_division
  | START_COPYBOOK_WITH_FILES copybook_with_files
  ;

/* ---- copybook with file descriptions (start symbol 3) -------------------- */

/* A copybook, or file descriptions with their records, after an optional
   FILE SECTION header: what copybooks cut out of a program's FILE SECTION
   hold. Each header and description is reported as skipped. */
copybook_with_files
  : copybook
  | file_section_header file_descriptions
      {
        Sections &s = state().sections;
        s.file = ReverseTree($2);
        s.span = s.fileSpan = @$;
        makeRoot(s);
      }
  | file_descriptions_ne
      {
        Sections &s = state().sections;
        s.file = ReverseTree($1);
        s.span = s.fileSpan = @$;
        makeRoot(s);
      }
  ;

file_section_header
  : FILE SECTION "."
      {
        Section() = dkFile;
        if (state().noteFileDescriptions)
          Message("FILE SECTION header skipped", xxWarning, @1.first);
      }
  ;

/* ---- DATA DIVISION (start symbol 1) -------------------------------------- */

/* The sections in their fixed order, each optional; file descriptions also
   without the FILE SECTION header. Each header sets the kind of the names
   declared after it. */
data_division
  : opt_data_header file_section working_section local_section linkage_section
    communication_section report_section
      {
        Sections &s = state().sections;
        s.span = @$;
        makeRoot(s);
      }
  ;

/* REPLACE before the header is in force for the whole DATA DIVISION; COPY
   and REPLACE after it (or after the FILE SECTION header) come before any
   entry, a COPY bringing in sections or file descriptions. Their text is
   carried out when they are reduced; they leave no node. */
opt_data_header
  : division_statements
  /* The division begins at its header, REPLACE before it or not. */
  | division_statements DATA DIVISION "." division_statements  { @$.first = @2.first; }
  ;

division_statements
  : %empty
  | division_statements copy_statement
  | division_statements replace_statement
  ;

file_section
  : %empty
  | FILE SECTION "." { Section() = dkFile; } division_statements file_descriptions
      {
        state().sections.file = ReverseTree($6);
        state().sections.fileSpan = @$;
      }
  | file_descriptions_ne
      {
        state().sections.file = ReverseTree($1);
        state().sections.fileSpan = @$;
      }
  ;

file_descriptions
  : %empty                { $$ = mnofile_description(); }
  | file_descriptions_ne
  ;

file_descriptions_ne
  : file_descriptions file_description  { $$ = prepend($2, $1); }
  ;

/* The record entries that follow an FD or SD belong to it. */
file_description
  : fd_head lead_items
      {
        auto *fd = as<tree::file_description>($1);
        fd->data_description_entry_l = finishEntries($2);
        fd->epos = @$.last;
        $$ = $1;
      }
  ;

/* The clauses of a file description say how the file is stored, not what
   its records hold: they are read up to the period and left out. */
fd_head
  : fd_word data_name fd_clauses "."   { $$ = fileHead($1, $2, @$); }
  ;

fd_word
  : FD   { $$ = cwFd; }
  | SD   { $$ = cwSd; }
  ;

fd_clauses
  : %empty
  | fd_clauses unit_word
  ;

working_section
  : %empty
  | WORKING_STORAGE SECTION "." { Section() = dkWorkingStorage; } lead_items
      {
        state().sections.working = finishEntries($5);
        state().sections.workSpan = @$;
      }
  ;

local_section
  : %empty
  | LOCAL_STORAGE SECTION "." { Section() = dkLocalStorage; } lead_items
      {
        state().sections.local = finishEntries($5);
        state().sections.localSpan = @$;
      }
  ;

linkage_section
  : %empty
  | LINKAGE SECTION "." { Section() = dkLinkage; } lead_items
      {
        state().sections.linkage = finishEntries($5);
        state().sections.linkSpan = @$;
      }
  ;

communication_section
  : %empty
  | COMMUNICATION SECTION "." cd_entries
      {
        state().sections.communication = ReverseTree($4);
        state().sections.commSpan = @$;
      }
  ;

cd_entries
  : %empty               { $$ = mnocommunication_description(); }
  | cd_entries cd_entry  { $$ = prepend($2, $1); }
  ;

report_section
  : %empty
  | REPORT SECTION "." { Section() = dkReport; } rd_entries
      {
        state().sections.report = ReverseTree($5);
        state().sections.reportSpan = @$;
      }
  ;

rd_entries
  : %empty               { $$ = mnoreport_description(); }
  | rd_entries rd_entry  { $$ = prepend($2, $1); }
  ;

/* ---- copybook (start symbol 2) ------------------------------------------ */

copybook
  : lead_items_ne descriptions
      {
        Sections s;
        s.working = finishEntries($1);
        s.communication = ReverseTree($2.communication);
        s.report = ReverseTree($2.report);
        s.span = s.workSpan = @$;
        makeRoot(s);
      }
  | descriptions_ne
      {
        Sections s;
        s.communication = ReverseTree($1.communication);
        s.report = ReverseTree($1.report);
        s.span = s.workSpan = @$;
        makeRoot(s);
      }
  ;

/* CDs and RDs in any order, each kind collected in its own list. */
descriptions
  : %empty            { $$ = {mnocommunication_description(), mnoreport_description()}; }
  | descriptions_ne
  ;

descriptions_ne
  : descriptions cd_entry  { $$ = $1; $$.communication = prepend($2, $1.communication); }
  | descriptions rd_entry  { $$ = $1; $$.report = prepend($2, $1.report); }
  ;

lead_items_ne
  : lead_item
      { $$ = appendEntry(mnodata_description_entry(), $1); state().entryStart = yychar == T_YYEMPTY; }
  | lead_items_ne lead_item
      { $$ = appendEntry($1, $2); state().entryStart = yychar == T_YYEMPTY; }
  ;

lead_items
  : %empty                 { $$ = mnodata_description_entry(); }
  | lead_items lead_item
      { $$ = appendEntry($1, $2); state().entryStart = yychar == T_YYEMPTY; }
  ;

lead_item
  : data_entry
  | FAST_ENTRY
  | copy_statement         { $$ = mdata_desc_copy(NoTree, $1); }
  | replace_statement      { $$ = mdata_desc_copy(NoTree, $1); }
  | inclure_statement      { $$ = mdata_desc_copy(NoTree, $1); }
  | EXECUTE                { $$ = NoTree; }
  | EXECUTE "."            { $$ = NoTree; }
  | error "."              { $$ = NoTree; restartAt(@2.first); yyerrok; }
  | error                  { $$ = NoTree; restartAt(yylloc.first); yyerrok; }
  ;

data_entry
  : entry_1
  | entry_66
  | entry_78
  | entry_88
  | entry_constant
  ;

/* ---- ordinary entries ------------------------------------------------------ */

entry_1
  : entry_1_head clause_list "."
      { $$ = makeFormat1($1, $2, @3.last); }
  | entry_1_head clause_list copy_statement
      {
        const tEntryHead &h = $1;
        ++state().entryCopies;
        $$ = declareEntry(mformat_copy(NoTree, h.level, h.levelString, h.name, h.pos, h.spelling,
                                       h.epos1, h.replaced, h.bpos, @3.last, ReverseTree($2),
                                       mnodata_description_entry()),
                          h.level);
      }
  | entry_1_head clause_list error "."
      { $$ = makeFormat1($1, $2, @4.last); restartAt(@4.first); yyerrok; }
  | entry_1_head clause_list error
      { $$ = makeFormat1($1, $2, @2.last); restartAt(yylloc.first); yyerrok; }
  ;

entry_1_head
  : level_number entry_name
      {
        $$ = makeHead($1, static_cast<int>($1.Value) + $1.Increment, $2.Word != NoIdent ? &$2 : nullptr);
        state().entryLevel = $$.level;
        state().entryName = $$.name;
      }
  | "77" entry_name
      {
        $$ = makeHead($1, 77, $2.Word != NoIdent ? &$2 : nullptr);
        state().entryLevel = 77;
        state().entryName = $$.name;
      }
  ;

entry_name
  : %empty        { $$ = tScanAttribute{}; $$.Word = NoIdent; }
  | data_name
  | FILLER
  ;

data_name
  : name
  | name_in_area_A
  ;

clause_list
  : %empty              { $$ = mnodata_clause(); }
  | clause_list clause  { $$ = prepend($2, $1); }
  ;

clause
  : REDEFINES data_name
      {
        tTree object = nameNode($2);
        if (Lenient())
          redefinesByPosition(object);
        Eval(object);
        $$ = mredefines(NoTree, @$.first, @$.last, cwRedefines, object);
      }
  | EXTERNAL               { $$ = plainClause(@$, cwExternal); }
  | IS EXTERNAL            { $$ = plainClause(@$, cwExternal); }
  | GLOBAL                 { $$ = plainClause(@$, cwGlobal); }
  | IS GLOBAL              { $$ = plainClause(@$, cwGlobal); }
  | picture_clause
  | usage_clause
  | sign_clause
  | occurs_clause
  | SYNCHRONIZED           { $$ = plainClause(@$, cwSynchronized); }
  | SYNCHRONIZED LEFT      { $$ = plainClause(@$, cwSynchronizedLeft); }
  | SYNCHRONIZED RIGHT     { $$ = plainClause(@$, cwSynchronizedRight); }
  | JUSTIFIED              { $$ = plainClause(@$, cwJustified); }
  | JUSTIFIED RIGHT        { $$ = plainClause(@$, cwJustified); }
  | BLANK opt_when zero_word { $$ = plainClause(@$, cwBlank); }
  | value_clause
  /* -lenient: IBM's DATE FORMAT (FORMAT stands for both words), read and
     ignored. */
  | FORMAT opt_is data_name
      { ErrorMessage(xxDateFormatIgnored, xxWarning, @1.first); $$ = NoTree; }
  /* -lenient: GnuCOBOL's BASED and ANY LENGTH, kept for the description;
     the external name of EXTERNAL AS and the SPECIAL-NAMES of an item are
     read and dropped. */
  | BASED
      { $$ = dialectClause(@$, cwBased, "BASED item converted at its own size; it takes no storage where it is declared"); }
  | ANY_LENGTH
      { $$ = dialectClause(@$, cwAnyLength, "ANY LENGTH item converted at the length of its picture"); }
  | EXTERNAL AS string
      { externalName($3); $$ = plainClause(@$, cwExternal); }
  | IS EXTERNAL AS string
      { externalName($4); $$ = plainClause(@$, cwExternal); }
  | SPECIAL_NAMES special_register                { $$ = NoTree; }
  | IS SPECIAL_NAMES special_register             { $$ = NoTree; }
  ;

special_register
  : CURSOR
      { Message("SPECIAL-NAMES clause of an item ignored: CURSOR", xxWarning, @1.first); }
  | CRT STATUS
      { Message("SPECIAL-NAMES clause of an item ignored: CRT STATUS", xxWarning, @1.first); }
  ;

opt_when : %empty | WHEN ;
opt_is : %empty | IS ;
opt_on : %empty | ON ;
zero_word : ZERO | ZEROS ;

/* PICTURE: the scanner delivers the character-string in pieces, closed by
   end_of_picture; both forms are assembled while the pieces are shifted. */
picture_clause
  : PICTURE picture_is picture_elements end_of_picture opt_depending
      { $$ = pictureClause(@$, $5); }
  ;

picture_is
  : %empty     { pictureBegin(); }
  | IS         { pictureBegin(); }
  ;

picture_elements
  : picture_element
  | picture_elements picture_element
  ;

picture_element
  : name                 { pictureWord($1); }
  | name_in_area_A       { pictureWord($1); }
  | DB                   { pictureWord($1); }
  | level_number         { pictureText($1); }
  | unsigned_integer     { pictureText($1); }
  | plus_integer         { pictureText($1); }
  | minus_integer        { pictureText($1); }
  | real                 { pictureText($1); }
  | "+"                  { pictureSymbol($1, "+"); }
  | "-"                  { pictureSymbol($1, "-"); }
  | "*"                  { pictureSymbol($1, "*"); }
  | "**"                 { pictureSymbol($1, "**"); }
  | "/"                  { pictureSymbol($1, "/"); }
  | ","                  { pictureSymbol($1, ","); }
  | picture_dot          { pictureSymbol($1, "."); }
  | "(" pic_count ")"    { pictureRepeat($1, $2, $3); }
  ;

pic_count
  : level_number
  | unsigned_integer
  | name
  ;

opt_depending
  : %empty                       { $$ = noExpression(); }
  | DEPENDING opt_on data_ref    { $$ = $3; }
  ;

usage_clause
  : USAGE opt_is usage_word      { $$ = usageClause(@$, $3, false); }
  | USAGE opt_is BINARY opt_native { $$ = usageClause(@$, cwBinary, $4); }
  | usage_word                   { $$ = usageClause(@$, $1, false); }
  | BINARY opt_native            { $$ = usageClause(@$, cwBinary, $2); }
  | USAGE opt_is OBJECT REFERENCE opt_class_name
      { $$ = musage_obj_ref(NoTree, @$.first, @$.last, cwUsage, cwObjectReference, false, $5); }
  | OBJECT REFERENCE opt_class_name
      { $$ = musage_obj_ref(NoTree, @$.first, @$.last, cwUsage, cwObjectReference, false, $3); }
  | USAGE opt_is OBJECT REFERENCE METACLASS opt_of data_name
      { $$ = musage_obj_ref(NoTree, @$.first, @$.last, cwUsage, cwObjectReference, true, unresolvedName($7)); }
  | OBJECT REFERENCE METACLASS opt_of data_name
      { $$ = musage_obj_ref(NoTree, @$.first, @$.last, cwUsage, cwObjectReference, true, unresolvedName($5)); }
  ;

opt_class_name
  : %empty                  { $$ = noExpression(); }
  | data_name               { $$ = unresolvedName($1); }
  ;

opt_of : %empty | OF ;

opt_native
  : %empty   { $$ = false; }
  | NATIVE   { $$ = true; }
  ;

usage_word
  : COMPUTATIONAL      { $$ = cwComputational; }
  | DISPLAY            { $$ = cwDisplay; }
  | INDEX              { $$ = cwIndex; }
  | PACKED_DECIMAL     { $$ = cwPackedDecimal; }
  | COMPUTATIONAL_0    { $$ = cwComp0; }
  | COMPUTATIONAL_1    { $$ = cwComp0 + 1; }
  | COMPUTATIONAL_2    { $$ = cwComp0 + 2; }
  | COMPUTATIONAL_3    { $$ = cwComp0 + 3; }
  | COMPUTATIONAL_4    { $$ = cwComp0 + 4; }
  | COMPUTATIONAL_5    { $$ = cwComp0 + 5; }
  | COMPUTATIONAL_6    { $$ = cwComp0 + 6; }
  | COMPUTATIONAL_7    { $$ = cwComp0 + 7; }
  | COMPUTATIONAL_8    { $$ = cwComp0 + 8; }
  | COMPUTATIONAL_11   { $$ = cwComp11; }
  | COMPUTATIONAL_12   { $$ = cwComp12; }
  | COMPUTATIONAL_X    { $$ = cwCompX; }
  | POINTER            { $$ = cwPointer; }
  | DISPLAY_1          { $$ = cwDisplay1; }
  | PROCEDURE_POINTER  { $$ = cwProcedurePointer; }
  | DB_KEY             { $$ = cwDbKey; }
  | CURSOR             { $$ = cwCursor; }
  /* -lenient: the usages of COBOL 2002/2014 and IBM. */
  | BINARY_CHAR opt_signedness    { $$ = $2 ? cwBinaryCharUnsigned : cwBinaryChar; }
  | BINARY_SHORT opt_signedness   { $$ = $2 ? cwBinaryShortUnsigned : cwBinaryShort; }
  | BINARY_LONG opt_signedness    { $$ = $2 ? cwBinaryLongUnsigned : cwBinaryLong; }
  | BINARY_DOUBLE opt_signedness  { $$ = $2 ? cwBinaryDoubleUnsigned : cwBinaryDouble; }
  | FLOAT_SHORT        { $$ = cwFloatShort; }
  | FLOAT_LONG         { $$ = cwFloatLong; }
  | NATIONAL           { $$ = cwNational; }
  | FUNCTION_POINTER   { $$ = cwFunctionPointer; }
  /* -lenient: the usages of GnuCOBOL and Micro Focus. */
  | BINARY_C_LONG opt_signedness  { $$ = $2 ? cwBinaryCLongUnsigned : cwBinaryCLong; }
  | SIGNED_SHORT       { $$ = cwSignedShort; }
  | SIGNED_INT         { $$ = cwSignedInt; }
  | SIGNED_LONG        { $$ = cwSignedLong; }
  | UNSIGNED_SHORT     { $$ = cwUnsignedShort; }
  | UNSIGNED_INT       { $$ = cwUnsignedInt; }
  | UNSIGNED_LONG      { $$ = cwUnsignedLong; }
  | FLOAT_DECIMAL_16   { $$ = cwFloatDecimal16; }
  | FLOAT_DECIMAL_34   { $$ = cwFloatDecimal34; }
  | PROGRAM_POINTER    { $$ = cwProgramPointer; }
  | COMPUTATIONAL_N    { $$ = cwCompN; }
  ;

/* true: UNSIGNED */
opt_signedness
  : %empty     { $$ = false; }
  | SIGNED     { $$ = false; }
  | UNSIGNED   { $$ = true; }
  ;

sign_clause
  : SIGN opt_is sign_position opt_separate
      { $$ = msign(NoTree, @$.first, @$.last, cwSign, static_cast<std::uint16_t>($3 + ($4 ? 1 : 0))); }
  | sign_position opt_separate
      { $$ = msign(NoTree, @$.first, @$.last, cwSign, static_cast<std::uint16_t>($1 + ($2 ? 1 : 0))); }
  ;

sign_position
  : LEADING    { $$ = cwLeading; }
  | TRAILING   { $$ = cwTrailing; }
  ;

opt_separate
  : %empty                      { $$ = false; }
  | SEPARATE opt_character      { $$ = true; }
  ;

opt_character : %empty | CHARACTER ;

/* OCCURS: the bounds, then DEPENDING, KEY and INDEXED phrases. */
occurs_clause
  : OCCURS occurs_integer opt_times occurs_depending key_phrases index_phrase
      {
        $$ = occursClause(@$, $2, nullptr);
        auto *o = as<tree::occurs>($$);
        o->depending = $4;
        o->a_de_scending_l = ReverseTree($5);
        o->indexed = $6;
      }
  | OCCURS occurs_integer TO occurs_integer opt_times occurs_depending key_phrases index_phrase
      {
        $$ = occursClause(@$, $2, &$4);
        auto *o = as<tree::occurs>($$);
        o->depending = $6;
        o->a_de_scending_l = ReverseTree($7);
        o->indexed = $8;
      }
  /* -lenient: a table without maximum (GnuCOBOL, COBOL 2014). */
  | OCCURS occurs_integer TO UNBOUNDED opt_times occurs_depending key_phrases index_phrase
      {
        $$ = unboundedOccurs(@$, &$2, $4, $6, $7, $8);
      }
  | OCCURS UNBOUNDED opt_times occurs_depending key_phrases index_phrase
      {
        $$ = unboundedOccurs(@$, nullptr, $2, $4, $5, $6);
      }
  ;

occurs_depending
  : %empty                      { $$ = noExpression(); }
  | DEPENDING opt_on data_ref   { $$ = $3; }
  ;

occurs_integer
  : level_number
  | unsigned_integer
  ;

opt_times : %empty | TIMES ;

key_phrases
  : %empty                    { $$ = mnoa_de_scending(); }
  | key_phrases key_phrase    { $$ = prepend($2, $1); }
  ;

key_phrase
  : key_direction opt_key opt_is name_list
      { $$ = ma_de_scending(NoTree, $1, ReverseTree($4)); }
  ;

key_direction
  : ASCENDING     { $$ = cwAscending; }
  | DESCENDING    { $$ = cwDescending; }
  ;

opt_key : %empty | KEY ;

index_phrase
  : %empty                      { $$ = mnoidentifier(); }
  | INDEXED opt_by index_names  { $$ = ReverseTree($3); }
  ;

opt_by : %empty | BY ;

index_names
  : data_name                { $$ = midentifier(mnoidentifier(), unresolvedName($1)); }
  | index_names data_name    { $$ = midentifier($1, unresolvedName($2)); }
  ;

name_list
  : data_ref                 { $$ = midentifier(mnoidentifier(), $1); }
  | name_list data_ref       { $$ = midentifier($1, $2); }
  ;

/* VALUE of an ordinary entry: exactly one literal. */
value_clause
  : VALUE opt_is value_literal
      { $$ = mvalue_is(NoTree, @$.first, @$.last, cwValue, $3); }
  ;

value_literal
  : literal
  | figurative_constant
  | NULL_                    { $$ = mfigurative_literal($1.Position, $1.EndPosition, cwNull); }
  | NULLS                    { $$ = mfigurative_literal($1.Position, $1.EndPosition, cwNull); }
  | ALL literal
      { $$ = munary(@$.first, @$.last, cwAll, $1.Position, $1.EndPosition, $2); }
  | ALL figurative_constant
      { $$ = munary(@$.first, @$.last, cwAll, $1.Position, $1.EndPosition, $2); }
  ;

literal
  : unsigned_integer         { $$ = integerNode($1); }
  | level_number             { $$ = integerNode($1); }
  | plus_integer             { $$ = integerNode($1); }
  | minus_integer            { $$ = integerNode($1); }
  | real                     { $$ = realNode($1); }
  | string                   { $$ = stringNode($1); }
  ;

figurative_constant
  : ZERO          { $$ = mfigurative_literal($1.Position, $1.EndPosition, cwZero); }
  | ZEROS         { $$ = figurative($1, cwZeros, cwZeroes, 5); }
  | SPACE         { $$ = figurative($1, cwSpace, cwSpaces, 5); }
  | HIGH_VALUE    { $$ = figurative($1, cwHighValue, cwHighValues, 10); }
  | LOW_VALUE     { $$ = figurative($1, cwLowValue, cwLowValues, 9); }
  | QUOTE         { $$ = figurative($1, cwQuote, cwQuotes, 5); }
  ;

/* ---- level 66, 78 and 88 -------------------------------------------------- */

entry_66
  : "66" data_name RENAMES data_ref opt_thru "."
      {
        Eval($4);
        Eval($5);
        tIdent name2 = NoIdent, spelling2 = NoIdent;
        tPosition pos2 = NoPosition, epos2 = NoPosition;
        if (auto *n = as_if<tree::name>($5)) {
          name2 = n->name; spelling2 = n->spelling; pos2 = n->bpos; epos2 = n->epos;
        } else if (auto *q = as_if<tree::qualification>($5)) {
          name2 = q->name; spelling2 = q->spelling; pos2 = q->bpos; epos2 = q->pos1;
        }
        $$ = declareEntry(mformat_2(NoTree, 66, $1.Text, $2.Word, $2.Position, $2.Spelling,
                                    $2.EndPosition, $2.Prefixed, $1.Position, @6.last, name2, pos2,
                                    spelling2, epos2, $4, $5),
                          66);
      }
  ;

opt_thru
  : %empty              { $$ = noExpression(); }
  | THROUGH data_ref    { $$ = $2; }
  ;

entry_78
  : "78" data_name VALUE opt_is constant_expression "."
      {
        $$ = declareEntry(mformat_4(NoTree, 78, $1.Text, $2.Word, $2.Position, $2.Spelling,
                                    $2.EndPosition, $2.Prefixed, $1.Position, @6.last, $5),
                          78);
        if (Lenient())
          $$ = constantEntry($$);
      }
  ;

/* 01 NAME [IS GLOBAL] CONSTANT AS literal (only under -lenient): declared as
   a level-78 entry, which takes no storage; clauses before CONSTANT are read
   and dropped. The clause list comes first so that the state after the
   entry's head keeps its one default reduction: an entry broken right after
   its name is then still recovered as an entry. */
entry_constant
  : entry_1_head clause_list CONSTANT constant_global opt_as constant_expression "."
      {
        const tEntryHead &h = $1;
        $$ = constantEntry(declareEntry(mformat_4(NoTree, 78, h.levelString, h.name, h.pos,
                                                  h.spelling, h.epos1, h.replaced, h.bpos,
                                                  @7.last, $6),
                                        78));
      }
  ;

opt_as : %empty | AS ;

/* GLOBAL after CONSTANT, as GnuCOBOL writes it: ignored, as before it. */
constant_global
  : %empty
  | GLOBAL     { ErrorMessage(xxGlobalIgnored, xxWarning, @1.first); }
  | IS GLOBAL  { ErrorMessage(xxGlobalIgnored, xxWarning, @2.first); }
  ;

constant_expression
  : constant_term
  | constant_expression "+" constant_term
      { $$ = mbinary(@$.first, @$.last, $1, cwPlus, $2.Position, $2.EndPosition, $3); }
  | constant_expression "-" constant_term
      { $$ = mbinary(@$.first, @$.last, $1, cwPlus + 1, $2.Position, $2.EndPosition, $3); }
  /* "12.35-2": the scanner reads the sign with the number. */
  | constant_expression plus_integer
      { $$ = signedOperand(@$, $1, $2); }
  | constant_expression minus_integer
      { $$ = signedOperand(@$, $1, $2); }
  ;

constant_term
  : constant_factor
  | constant_term "*" constant_factor
      { $$ = mbinary(@$.first, @$.last, $1, cwPlus + 2, $2.Position, $2.EndPosition, $3); }
  | constant_term "/" constant_factor
      { $$ = mbinary(@$.first, @$.last, $1, cwPlus + 3, $2.Position, $2.EndPosition, $3); }
  ;

constant_factor
  : literal
  | figurative_constant
  | data_ref
  | "(" constant_expression ")"  { $$ = mparentheses(@$.first, @$.last, $2); }
  /* -lenient: the storage length of an item, of a literal or of a usage. */
  | LENGTH opt_of length_operand       { $$ = $3; }
  | BYTE_LENGTH opt_of length_operand  { $$ = $3; }
  ;

length_operand
  : data_ref     { $$ = lengthOfItem(@$, $1); }
  | string       { $$ = lengthOfLiteral($1); }
  | usage_word   { $$ = lengthOfUsage(@$, $1); }
  ;

entry_88
  : "88" data_name value_word opt_is_are condition_values opt_false "."
      {
        $$ = declareEntry(mformat_3(NoTree, 88, $1.Text, $2.Word, $2.Position, $2.Spelling,
                                    $2.EndPosition, $2.Prefixed, $1.Position, @7.last,
                                    ReverseTree($5), $6),
                          88);
      }
  ;

value_word : VALUE | VALUES ;
opt_is_are : %empty | IS | ARE ;

condition_values
  : condition_value                    { $$ = prepend($1, mnoexpression_l()); }
  | condition_values condition_value   { $$ = prepend($2, $1); }
  ;

condition_value
  : condition_literal
      { $$ = mexpression(NoTree, $1); }
  | condition_literal THROUGH condition_literal
      { $$ = mexpression(NoTree, mbinary(@$.first, @$.last, $1, cwThrough, $2.Position, $2.EndPosition, $3)); }
  ;

condition_literal
  : literal
  | figurative_constant
  /* -lenient: NULL in a level-88 entry. */
  | condition_null { $$ = mfigurative_literal($1.Position, $1.EndPosition, cwNull); }
  | ALL literal
      { $$ = munary(@$.first, @$.last, cwAll, $1.Position, $1.EndPosition, $2); }
  | ALL figurative_constant
      { $$ = munary(@$.first, @$.last, cwAll, $1.Position, $1.EndPosition, $2); }
  ;

opt_false
  : %empty                                  { $$ = noExpression(); }
  | when_set_to FALSE opt_is condition_literal { $$ = $4; }
  ;

when_set_to
  : %empty
  | WHEN
  | WHEN SET
  | WHEN SET TO
  | SET TO
  | SET
  ;

/* ---- references ---------------------------------------------------------- */

data_ref
  : data_name              { $$ = nameNode($1); }
  | data_name OF data_ref
      { $$ = mqualification(@$.first, @$.last, $1.Word, $1.Spelling, $1.Prefixed, $2.Position, $3, true, @3.first); }
  | data_name IN data_ref
      { $$ = mqualification(@$.first, @$.last, $1.Word, $1.Spelling, $1.Prefixed, $2.Position, $3, false, @3.first); }
  ;

/* ---- COPY ----------------------------------------------------------------- */

copy_statement
  : COPY copy_name opt_suppress opt_replacing "."
      { $$ = copyStatement(@$, $2, $4); }
  ;

/* The text name, optionally with its library; neither is a data reference. */
copy_name
  : copy_text                { $$ = unresolvedName($1); }
  | copy_text OF copy_text   { $$ = copyLibrary(@$, $1, $2, $3, true); }
  | copy_text IN copy_text   { $$ = copyLibrary(@$, $1, $2, $3, false); }
  ;

copy_text
  : data_name
  | paragraph_name
  | string                { $$ = textAsWord($1); }
  | level_number          { $$ = textAsWord($1); }
  | unsigned_integer      { $$ = textAsWord($1); }
  ;

opt_suppress : %empty | SUPPRESS ;

opt_replacing
  : %empty                                    { $$ = mnocopy_replacing(); }
  | REPLACING replacing_mode replacing_pairs  { $$ = $3; }
  ;

/* Reduced right after REPLACING or REPLACE is shifted, before the scanner
   reads the first operand. */
replacing_mode : %empty { enterReplacing(); } ;

/* ---- REPLACE -------------------------------------------------------------- */

replace_statement
  : REPLACE replacing_mode replacing_pairs "."   { $$ = replaceStatement(@$, $3); }
  | REPLACE replacing_mode data_name "."
      {
        checkOffWord($3, $4);
        $$ = replaceStatement(@$, mnocopy_replacing());
      }
  ;

/* ---- INCLURE -------------------------------------------------------------- */

/* The scanner delivers the member, a one-character prefix as
   illegal_character, the increment, and the line end as ".". */
inclure_statement
  : INCLURE copy_text inclure_prefix inclure_increment "."
      { $$ = inclureStatement(@$, unresolvedName($2), static_cast<char>($3), $4.Value); }
  ;

inclure_prefix
  : %empty               { $$ = ' '; }
  | illegal_character    { $$ = static_cast<unsigned char>($1.Character); }
  ;

inclure_increment
  : %empty               { $$ = tScanAttribute{}; $$.Value = 0; }
  | level_number
  | unsigned_integer
  | plus_integer
  | minus_integer
  ;

replacing_pairs
  : replacing_pair                     { $$ = prepend($1, mnocopy_replacing()); }
  | replacing_pairs replacing_pair     { $$ = prepend($2, $1); }
  ;

/* LEADING and TRAILING are spelled out rather than optional, so that REPLACE
   OFF (a word and the period) needs no decision before its word is read. */
replacing_pair
  : replacing_operand BY replacement         { $$ = replacingPair(cwNone, $1, $3); }
  | affix_mode replacing_operand BY replacement { $$ = replacingPair($1, $2, $4); }
  ;

affix_mode
  : LEADING     { $$ = cwLeading; }
  | TRAILING    { $$ = cwTrailing; }
  ;

/* An operand is pseudo-text, a (qualified) name or a literal. Pseudo-text
   that the scanner delivers raw arrives as one pseudo_text terminal; read as
   ordinary terminals, each word of it becomes one text node. */
replacing_operand
  : "==" pseudo_words "=="     { $$ = ReverseTree($2); }
  | "==" "=="                  { $$ = mpseudo_text(@$.first, @$.last, PutString("", 0)); }
  | data_ref
  | literal
  ;

/* The replacement's pseudo-text is read raw, line ends included: one
   pseudo_text terminal that is written out as it stands. */
replacement
  : "==" pseudo_text_mode pseudo_text "=="   { $$ = mpseudo_text($3.Position, $3.EndPosition, $3.Text); }
  | data_ref
  | literal
  ;

pseudo_text_mode : %empty { start_pseudo_text(); } ;

pseudo_words
  : pseudo_word                { $$ = prepend($1, mnoexpression_l()); }
  | pseudo_words pseudo_word   { $$ = prepend($2, $1); }
  ;

/* Any terminal but the delimiter can stand inside pseudo-text. */
pseudo_word
  : unit_word
  | Period { $$ = pseudoWord(@1, $1, tok::Period); }
  ;

/* Any terminal but the delimiter and the period. */
unit_word
  : name { $$ = pseudoWord(@1, $1, tok::name); }
  | paragraph_name { $$ = pseudoWord(@1, $1, tok::paragraph_name); }
  | unsigned_integer { $$ = pseudoWord(@1, $1, tok::unsigned_integer); }
  | plus_integer { $$ = pseudoWord(@1, $1, tok::plus_integer); }
  | minus_integer { $$ = pseudoWord(@1, $1, tok::minus_integer); }
  | level_number { $$ = pseudoWord(@1, $1, tok::level_number); }
  | real { $$ = pseudoWord(@1, $1, tok::real); }
  | string { $$ = pseudoWord(@1, $1, tok::string); }
  | pseudo_text { $$ = pseudoWord(@1, $1, tok::pseudo_text); }
  | EXECUTE { $$ = pseudoWord(@1, $1, tok::EXECUTE); }
  | illegal_character { $$ = pseudoWord(@1, $1, tok::illegal_character); }
  | INCLURE { $$ = pseudoWord(@1, $1, tok::INCLURE); }
  | ACCESS { $$ = pseudoWord(@1, $1, tok::ACCESS); }
  | ACCESSIBILITY { $$ = pseudoWord(@1, $1, tok::ACCESSIBILITY); }
  | ADDRESS { $$ = pseudoWord(@1, $1, tok::ADDRESS); }
  | ALL { $$ = pseudoWord(@1, $1, tok::ALL); }
  | ALPHABETIC { $$ = pseudoWord(@1, $1, tok::ALPHABETIC); }
  | ALSO { $$ = pseudoWord(@1, $1, tok::ALSO); }
  | ALTERNATE { $$ = pseudoWord(@1, $1, tok::ALTERNATE); }
  | AND { $$ = pseudoWord(@1, $1, tok::AND); }
  | ARE { $$ = pseudoWord(@1, $1, tok::ARE); }
  | ASCENDING { $$ = pseudoWord(@1, $1, tok::ASCENDING); }
  | AT { $$ = pseudoWord(@1, $1, tok::AT); }
  | AUTO { $$ = pseudoWord(@1, $1, tok::AUTO); }
  | AUTO_SKIP { $$ = pseudoWord(@1, $1, tok::AUTO_SKIP); }
  | BACKGROUND_COLOR { $$ = pseudoWord(@1, $1, tok::BACKGROUND_COLOR); }
  | BEEP { $$ = pseudoWord(@1, $1, tok::BEEP); }
  | BELL { $$ = pseudoWord(@1, $1, tok::BELL); }
  | BINARY { $$ = pseudoWord(@1, $1, tok::BINARY); }
  | BLANK { $$ = pseudoWord(@1, $1, tok::BLANK); }
  | BLINK { $$ = pseudoWord(@1, $1, tok::BLINK); }
  | BLOCK { $$ = pseudoWord(@1, $1, tok::BLOCK); }
  | BOTTOM { $$ = pseudoWord(@1, $1, tok::BOTTOM); }
  | BY { $$ = pseudoWord(@1, $1, tok::BY); }
  | CD { $$ = pseudoWord(@1, $1, tok::CD); }
  | CF { $$ = pseudoWord(@1, $1, tok::CF); }
  | CH { $$ = pseudoWord(@1, $1, tok::CH); }
  | CHARACTER { $$ = pseudoWord(@1, $1, tok::CHARACTER); }
  | CHARACTERS { $$ = pseudoWord(@1, $1, tok::CHARACTERS); }
  | CODE { $$ = pseudoWord(@1, $1, tok::CODE); }
  | CODE_SET { $$ = pseudoWord(@1, $1, tok::CODE_SET); }
  | COL { $$ = pseudoWord(@1, $1, tok::COL); }
  | COLUMN { $$ = pseudoWord(@1, $1, tok::COLUMN); }
  | COMMUNICATION { $$ = pseudoWord(@1, $1, tok::COMMUNICATION); }
  | COMPUTATIONAL { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL); }
  | COMPUTATIONAL_0 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_0); }
  | COMPUTATIONAL_1 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_1); }
  | COMPUTATIONAL_11 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_11); }
  | COMPUTATIONAL_12 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_12); }
  | COMPUTATIONAL_2 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_2); }
  | COMPUTATIONAL_3 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_3); }
  | COMPUTATIONAL_4 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_4); }
  | COMPUTATIONAL_5 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_5); }
  | COMPUTATIONAL_6 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_6); }
  | COMPUTATIONAL_7 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_7); }
  | COMPUTATIONAL_8 { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_8); }
  | COMPUTATIONAL_X { $$ = pseudoWord(@1, $1, tok::COMPUTATIONAL_X); }
  | CONTAIN { $$ = pseudoWord(@1, $1, tok::CONTAIN); }
  | CONTAINS { $$ = pseudoWord(@1, $1, tok::CONTAINS); }
  | CONTROL { $$ = pseudoWord(@1, $1, tok::CONTROL); }
  | CONTROLS { $$ = pseudoWord(@1, $1, tok::CONTROLS); }
  | COPY { $$ = pseudoWord(@1, $1, tok::COPY); }
  | COUNT { $$ = pseudoWord(@1, $1, tok::COUNT); }
  | CURRENT { $$ = pseudoWord(@1, $1, tok::CURRENT); }
  | CURSOR { $$ = pseudoWord(@1, $1, tok::CURSOR); }
  | DATA { $$ = pseudoWord(@1, $1, tok::DATA); }
  | DATA_SENSITIVE { $$ = pseudoWord(@1, $1, tok::DATA_SENSITIVE); }
  | DATE { $$ = pseudoWord(@1, $1, tok::DATE); }
  | DB { $$ = pseudoWord(@1, $1, tok::DB); }
  | DB_DESCRIPTIONS { $$ = pseudoWord(@1, $1, tok::DB_DESCRIPTIONS); }
  | DB_KEY { $$ = pseudoWord(@1, $1, tok::DB_KEY); }
  | DBCS { $$ = pseudoWord(@1, $1, tok::DBCS); }
  | DELIMITER { $$ = pseudoWord(@1, $1, tok::DELIMITER); }
  | DEPENDING { $$ = pseudoWord(@1, $1, tok::DEPENDING); }
  | DESCENDING { $$ = pseudoWord(@1, $1, tok::DESCENDING); }
  | DESTINATION { $$ = pseudoWord(@1, $1, tok::DESTINATION); }
  | DETAIL { $$ = pseudoWord(@1, $1, tok::DETAIL); }
  | DICTIONARY { $$ = pseudoWord(@1, $1, tok::DICTIONARY); }
  | DISPLAY { $$ = pseudoWord(@1, $1, tok::DISPLAY); }
  | DISPLAY_1 { $$ = pseudoWord(@1, $1, tok::DISPLAY_1); }
  | DIVISION { $$ = pseudoWord(@1, $1, tok::DIVISION); }
  | DUPLICATES { $$ = pseudoWord(@1, $1, tok::DUPLICATES); }
  | DYNAMIC { $$ = pseudoWord(@1, $1, tok::DYNAMIC); }
  | EMPTY { $$ = pseudoWord(@1, $1, tok::EMPTY); }
  | EMPTY_CHECK { $$ = pseudoWord(@1, $1, tok::EMPTY_CHECK); }
  | END { $$ = pseudoWord(@1, $1, tok::END); }
  | EOL { $$ = pseudoWord(@1, $1, tok::EOL); }
  | EOS { $$ = pseudoWord(@1, $1, tok::EOS); }
  | EQUAL { $$ = pseudoWord(@1, $1, tok::EQUAL); }
  | EQUALS { $$ = pseudoWord(@1, $1, tok::EQUALS); }
  | ERASE { $$ = pseudoWord(@1, $1, tok::ERASE); }
  | ERROR { $$ = pseudoWord(@1, $1, tok::ERROR); }
  | EXCEEDS { $$ = pseudoWord(@1, $1, tok::EXCEEDS); }
  | EXPIRATION { $$ = pseudoWord(@1, $1, tok::EXPIRATION); }
  | EXTERNAL { $$ = pseudoWord(@1, $1, tok::EXTERNAL); }
  | FAILURE { $$ = pseudoWord(@1, $1, tok::FAILURE); }
  | FALSE { $$ = pseudoWord(@1, $1, tok::FALSE); }
  | FD { $$ = pseudoWord(@1, $1, tok::FD); }
  | FEEDBACK { $$ = pseudoWord(@1, $1, tok::FEEDBACK); }
  | FIELD { $$ = pseudoWord(@1, $1, tok::FIELD); }
  | FIELDS { $$ = pseudoWord(@1, $1, tok::FIELDS); }
  | FILE { $$ = pseudoWord(@1, $1, tok::FILE); }
  | FILE_ID { $$ = pseudoWord(@1, $1, tok::FILE_ID); }
  | FILLER { $$ = pseudoWord(@1, $1, tok::FILLER); }
  | FINAL { $$ = pseudoWord(@1, $1, tok::FINAL); }
  | FIRST { $$ = pseudoWord(@1, $1, tok::FIRST); }
  | FIXED { $$ = pseudoWord(@1, $1, tok::FIXED); }
  | FOOTING { $$ = pseudoWord(@1, $1, tok::FOOTING); }
  | FOR { $$ = pseudoWord(@1, $1, tok::FOR); }
  | FOREGROUND_COLOR { $$ = pseudoWord(@1, $1, tok::FOREGROUND_COLOR); }
  | FROM { $$ = pseudoWord(@1, $1, tok::FROM); }
  | FULL { $$ = pseudoWord(@1, $1, tok::FULL); }
  | FUNCTION { $$ = pseudoWord(@1, $1, tok::FUNCTION); }
  | GENERATION { $$ = pseudoWord(@1, $1, tok::GENERATION); }
  | GLOBAL { $$ = pseudoWord(@1, $1, tok::GLOBAL); }
  | GREATER { $$ = pseudoWord(@1, $1, tok::GREATER); }
  | GRID { $$ = pseudoWord(@1, $1, tok::GRID); }
  | GROUP { $$ = pseudoWord(@1, $1, tok::GROUP); }
  | HEADER { $$ = pseudoWord(@1, $1, tok::HEADER); }
  | HEADING { $$ = pseudoWord(@1, $1, tok::HEADING); }
  | HIGH_VALUE { $$ = pseudoWord(@1, $1, tok::HIGH_VALUE); }
  | HIGHLIGHT { $$ = pseudoWord(@1, $1, tok::HIGHLIGHT); }
  | I_O { $$ = pseudoWord(@1, $1, tok::I_O); }
  | ID { $$ = pseudoWord(@1, $1, tok::ID); }
  | IN { $$ = pseudoWord(@1, $1, tok::IN); }
  | INDEX { $$ = pseudoWord(@1, $1, tok::INDEX); }
  | INDEXED { $$ = pseudoWord(@1, $1, tok::INDEXED); }
  | INDICATE { $$ = pseudoWord(@1, $1, tok::INDICATE); }
  | INITIAL { $$ = pseudoWord(@1, $1, tok::INITIAL); }
  | INPUT { $$ = pseudoWord(@1, $1, tok::INPUT); }
  | IS { $$ = pseudoWord(@1, $1, tok::IS); }
  | JUSTIFIED { $$ = pseudoWord(@1, $1, tok::JUSTIFIED); }
  | KEY { $$ = pseudoWord(@1, $1, tok::KEY); }
  | LABEL { $$ = pseudoWord(@1, $1, tok::LABEL); }
  | LABELS { $$ = pseudoWord(@1, $1, tok::LABELS); }
  | LAST { $$ = pseudoWord(@1, $1, tok::LAST); }
  | LD { $$ = pseudoWord(@1, $1, tok::LD); }
  | LEADING { $$ = pseudoWord(@1, $1, tok::LEADING); }
  | LEFT { $$ = pseudoWord(@1, $1, tok::LEFT); }
  | LEFTLINE { $$ = pseudoWord(@1, $1, tok::LEFTLINE); }
  | LENGTH { $$ = pseudoWord(@1, $1, tok::LENGTH); }
  | LENGTH_CHECK { $$ = pseudoWord(@1, $1, tok::LENGTH_CHECK); }
  | LESS { $$ = pseudoWord(@1, $1, tok::LESS); }
  | LIMIT { $$ = pseudoWord(@1, $1, tok::LIMIT); }
  | LIMITS { $$ = pseudoWord(@1, $1, tok::LIMITS); }
  | LINAGE { $$ = pseudoWord(@1, $1, tok::LINAGE); }
  | LINE { $$ = pseudoWord(@1, $1, tok::LINE); }
  | LINES { $$ = pseudoWord(@1, $1, tok::LINES); }
  | LINKAGE { $$ = pseudoWord(@1, $1, tok::LINKAGE); }
  | LOCAL_STORAGE { $$ = pseudoWord(@1, $1, tok::LOCAL_STORAGE); }
  | LOW_VALUE { $$ = pseudoWord(@1, $1, tok::LOW_VALUE); }
  | LOWLIGHT { $$ = pseudoWord(@1, $1, tok::LOWLIGHT); }
  | MATCH { $$ = pseudoWord(@1, $1, tok::MATCH); }
  | MATCHES { $$ = pseudoWord(@1, $1, tok::MATCHES); }
  | MEMBER { $$ = pseudoWord(@1, $1, tok::MEMBER); }
  | MERIT { $$ = pseudoWord(@1, $1, tok::MERIT); }
  | MESSAGE { $$ = pseudoWord(@1, $1, tok::MESSAGE); }
  | METACLASS { $$ = pseudoWord(@1, $1, tok::METACLASS); }
  | MODE { $$ = pseudoWord(@1, $1, tok::MODE); }
  | MULTIPLE { $$ = pseudoWord(@1, $1, tok::MULTIPLE); }
  | NATIVE { $$ = pseudoWord(@1, $1, tok::NATIVE); }
  | NEGATIVE { $$ = pseudoWord(@1, $1, tok::NEGATIVE); }
  | NEXT { $$ = pseudoWord(@1, $1, tok::NEXT); }
  | NO_ECHO { $$ = pseudoWord(@1, $1, tok::NO_ECHO); }
  | NODE { $$ = pseudoWord(@1, $1, tok::NODE); }
  | NOT { $$ = pseudoWord(@1, $1, tok::NOT); }
  | NULL_ { $$ = pseudoWord(@1, $1, tok::NULL_); }
  | NULLS { $$ = pseudoWord(@1, $1, tok::NULLS); }
  | NUMBER { $$ = pseudoWord(@1, $1, tok::NUMBER); }
  | NUMERIC { $$ = pseudoWord(@1, $1, tok::NUMERIC); }
  | OBJECT { $$ = pseudoWord(@1, $1, tok::OBJECT); }
  | OCCURRENCE { $$ = pseudoWord(@1, $1, tok::OCCURRENCE); }
  | OCCURS { $$ = pseudoWord(@1, $1, tok::OCCURS); }
  | OF { $$ = pseudoWord(@1, $1, tok::OF); }
  | OFF { $$ = pseudoWord(@1, $1, tok::OFF); }
  | OFFSET { $$ = pseudoWord(@1, $1, tok::OFFSET); }
  | OMITTED { $$ = pseudoWord(@1, $1, tok::OMITTED); }
  | ON { $$ = pseudoWord(@1, $1, tok::ON); }
  | OR { $$ = pseudoWord(@1, $1, tok::OR); }
  | OUTPUT { $$ = pseudoWord(@1, $1, tok::OUTPUT); }
  | OVERLINE { $$ = pseudoWord(@1, $1, tok::OVERLINE); }
  | OWNER { $$ = pseudoWord(@1, $1, tok::OWNER); }
  | PACKED_DECIMAL { $$ = pseudoWord(@1, $1, tok::PACKED_DECIMAL); }
  | PAD { $$ = pseudoWord(@1, $1, tok::PAD); }
  | PAGE { $$ = pseudoWord(@1, $1, tok::PAGE); }
  | PARTIAL { $$ = pseudoWord(@1, $1, tok::PARTIAL); }
  | PASSWORD { $$ = pseudoWord(@1, $1, tok::PASSWORD); }
  | PF { $$ = pseudoWord(@1, $1, tok::PF); }
  | PH { $$ = pseudoWord(@1, $1, tok::PH); }
  | PICTURE { $$ = pseudoWord(@1, $1, tok::PICTURE); }
  | PLUS { $$ = pseudoWord(@1, $1, tok::PLUS); }
  | POINTER { $$ = pseudoWord(@1, $1, tok::POINTER); }
  | POSITIVE { $$ = pseudoWord(@1, $1, tok::POSITIVE); }
  | PRIVACY { $$ = pseudoWord(@1, $1, tok::PRIVACY); }
  | PROCEDURE_POINTER { $$ = pseudoWord(@1, $1, tok::PROCEDURE_POINTER); }
  | PROCEDURES { $$ = pseudoWord(@1, $1, tok::PROCEDURES); }
  | PROMPT { $$ = pseudoWord(@1, $1, tok::PROMPT); }
  | QUEUE { $$ = pseudoWord(@1, $1, tok::QUEUE); }
  | QUOTE { $$ = pseudoWord(@1, $1, tok::QUOTE); }
  | RANDOM { $$ = pseudoWord(@1, $1, tok::RANDOM); }
  | RD { $$ = pseudoWord(@1, $1, tok::RD); }
  | REALMS { $$ = pseudoWord(@1, $1, tok::REALMS); }
  | RECORD { $$ = pseudoWord(@1, $1, tok::RECORD); }
  | RECORDING { $$ = pseudoWord(@1, $1, tok::RECORDING); }
  | RECORDS { $$ = pseudoWord(@1, $1, tok::RECORDS); }
  | REDEFINES { $$ = pseudoWord(@1, $1, tok::REDEFINES); }
  | REFERENCE { $$ = pseudoWord(@1, $1, tok::REFERENCE); }
  | RELATIVE { $$ = pseudoWord(@1, $1, tok::RELATIVE); }
  | RENAMES { $$ = pseudoWord(@1, $1, tok::RENAMES); }
  | REPLACE { $$ = pseudoWord(@1, $1, tok::REPLACE); }
  | REPLACING { $$ = pseudoWord(@1, $1, tok::REPLACING); }
  | REPORT { $$ = pseudoWord(@1, $1, tok::REPORT); }
  | REPORTS { $$ = pseudoWord(@1, $1, tok::REPORTS); }
  | REQUIRED { $$ = pseudoWord(@1, $1, tok::REQUIRED); }
  | RESET { $$ = pseudoWord(@1, $1, tok::RESET); }
  | REVERSE_VIDEO { $$ = pseudoWord(@1, $1, tok::REVERSE_VIDEO); }
  | RF { $$ = pseudoWord(@1, $1, tok::RF); }
  | RH { $$ = pseudoWord(@1, $1, tok::RH); }
  | RIGHT { $$ = pseudoWord(@1, $1, tok::RIGHT); }
  | SCREEN { $$ = pseudoWord(@1, $1, tok::SCREEN); }
  | SD { $$ = pseudoWord(@1, $1, tok::SD); }
  | SECTION { $$ = pseudoWord(@1, $1, tok::SECTION); }
  | SECURE { $$ = pseudoWord(@1, $1, tok::SECURE); }
  | SELF { $$ = pseudoWord(@1, $1, tok::SELF); }
  | SEPARATE { $$ = pseudoWord(@1, $1, tok::SEPARATE); }
  | SEQUENCE { $$ = pseudoWord(@1, $1, tok::SEQUENCE); }
  | SEQUENTIAL { $$ = pseudoWord(@1, $1, tok::SEQUENTIAL); }
  | SET { $$ = pseudoWord(@1, $1, tok::SET); }
  | SIGN { $$ = pseudoWord(@1, $1, tok::SIGN); }
  | SIZE { $$ = pseudoWord(@1, $1, tok::SIZE); }
  | SOURCE { $$ = pseudoWord(@1, $1, tok::SOURCE); }
  | SPACE { $$ = pseudoWord(@1, $1, tok::SPACE); }
  | STANDARD { $$ = pseudoWord(@1, $1, tok::STANDARD); }
  | STANDARD_1 { $$ = pseudoWord(@1, $1, tok::STANDARD_1); }
  | START { $$ = pseudoWord(@1, $1, tok::START); }
  | STATUS { $$ = pseudoWord(@1, $1, tok::STATUS); }
  | SUB_QUEUE_1 { $$ = pseudoWord(@1, $1, tok::SUB_QUEUE_1); }
  | SUB_QUEUE_2 { $$ = pseudoWord(@1, $1, tok::SUB_QUEUE_2); }
  | SUB_QUEUE_3 { $$ = pseudoWord(@1, $1, tok::SUB_QUEUE_3); }
  | SUB_SCHEMA { $$ = pseudoWord(@1, $1, tok::SUB_SCHEMA); }
  | SUBSCHEMA { $$ = pseudoWord(@1, $1, tok::SUBSCHEMA); }
  | SUCCESS { $$ = pseudoWord(@1, $1, tok::SUCCESS); }
  | SUM { $$ = pseudoWord(@1, $1, tok::SUM); }
  | SUPPRESS { $$ = pseudoWord(@1, $1, tok::SUPPRESS); }
  | SYMBOLIC { $$ = pseudoWord(@1, $1, tok::SYMBOLIC); }
  | SYNCHRONIZED { $$ = pseudoWord(@1, $1, tok::SYNCHRONIZED); }
  | TABLE { $$ = pseudoWord(@1, $1, tok::TABLE); }
  | TENANT { $$ = pseudoWord(@1, $1, tok::TENANT); }
  | TERMINAL { $$ = pseudoWord(@1, $1, tok::TERMINAL); }
  | TEXT { $$ = pseudoWord(@1, $1, tok::TEXT); }
  | THAN { $$ = pseudoWord(@1, $1, tok::THAN); }
  | THROUGH { $$ = pseudoWord(@1, $1, tok::THROUGH); }
  | TIME { $$ = pseudoWord(@1, $1, tok::TIME); }
  | TIMES { $$ = pseudoWord(@1, $1, tok::TIMES); }
  | TO { $$ = pseudoWord(@1, $1, tok::TO); }
  | TOP { $$ = pseudoWord(@1, $1, tok::TOP); }
  | TRAILER { $$ = pseudoWord(@1, $1, tok::TRAILER); }
  | TRAILING { $$ = pseudoWord(@1, $1, tok::TRAILING); }
  | TYPE { $$ = pseudoWord(@1, $1, tok::TYPE); }
  | UNDEFINED { $$ = pseudoWord(@1, $1, tok::UNDEFINED); }
  | UNDERLINE { $$ = pseudoWord(@1, $1, tok::UNDERLINE); }
  | UNEQUAL { $$ = pseudoWord(@1, $1, tok::UNEQUAL); }
  | UPON { $$ = pseudoWord(@1, $1, tok::UPON); }
  | USAGE { $$ = pseudoWord(@1, $1, tok::USAGE); }
  | USER { $$ = pseudoWord(@1, $1, tok::USER); }
  | USING { $$ = pseudoWord(@1, $1, tok::USING); }
  | VALUE { $$ = pseudoWord(@1, $1, tok::VALUE); }
  | VALUES { $$ = pseudoWord(@1, $1, tok::VALUES); }
  | VARIABLE { $$ = pseudoWord(@1, $1, tok::VARIABLE); }
  | VARYING { $$ = pseudoWord(@1, $1, tok::VARYING); }
  | VIRTUAL { $$ = pseudoWord(@1, $1, tok::VIRTUAL); }
  | VIRTUAL_STORAGE { $$ = pseudoWord(@1, $1, tok::VIRTUAL_STORAGE); }
  | VOLUME { $$ = pseudoWord(@1, $1, tok::VOLUME); }
  | WHEN { $$ = pseudoWord(@1, $1, tok::WHEN); }
  | WITH { $$ = pseudoWord(@1, $1, tok::WITH); }
  | WITHIN { $$ = pseudoWord(@1, $1, tok::WITHIN); }
  | WORKING_STORAGE { $$ = pseudoWord(@1, $1, tok::WORKING_STORAGE); }
  | ZERO { $$ = pseudoWord(@1, $1, tok::ZERO); }
  | ZERO_FILL { $$ = pseudoWord(@1, $1, tok::ZERO_FILL); }
  | ZEROS { $$ = pseudoWord(@1, $1, tok::ZEROS); }
  | EqualSign { $$ = pseudoWord(@1, $1, tok::EqualSign); }
  | LessSign { $$ = pseudoWord(@1, $1, tok::LessSign); }
  | GreaterSign { $$ = pseudoWord(@1, $1, tok::GreaterSign); }
  | LParen { $$ = pseudoWord(@1, $1, tok::LParen); }
  | RParen { $$ = pseudoWord(@1, $1, tok::RParen); }
  | PlusSign { $$ = pseudoWord(@1, $1, tok::PlusSign); }
  | NotEqualSign { $$ = pseudoWord(@1, $1, tok::NotEqualSign); }
  | GreaterEqualSign { $$ = pseudoWord(@1, $1, tok::GreaterEqualSign); }
  | LessEqualSign { $$ = pseudoWord(@1, $1, tok::LessEqualSign); }
  | Level66 { $$ = pseudoWord(@1, $1, tok::Level66); }
  | Level77 { $$ = pseudoWord(@1, $1, tok::Level77); }
  | Level78 { $$ = pseudoWord(@1, $1, tok::Level78); }
  | Level88 { $$ = pseudoWord(@1, $1, tok::Level88); }
  | MinusSign { $$ = pseudoWord(@1, $1, tok::MinusSign); }
  | Colon { $$ = pseudoWord(@1, $1, tok::Colon); }
  | Ampersand { $$ = pseudoWord(@1, $1, tok::Ampersand); }
  | Power { $$ = pseudoWord(@1, $1, tok::Power); }
  | Star { $$ = pseudoWord(@1, $1, tok::Star); }
  | Slash { $$ = pseudoWord(@1, $1, tok::Slash); }
  | Comma { $$ = pseudoWord(@1, $1, tok::Comma); }
  | Semicolon { $$ = pseudoWord(@1, $1, tok::Semicolon); }
  | name_in_area_A { $$ = pseudoWord(@1, $1, tok::name_in_area_A); }
  | picture_dot { $$ = pseudoWord(@1, $1, tok::picture_dot); }
  | end_of_picture { $$ = pseudoWord(@1, $1, tok::end_of_picture); }
  ;

/* ---- communication descriptions --------------------------------------- */

/* The record entries that follow a CD belong to it. */
cd_entry
  : cd_head lead_items
      {
        auto *cd = as<tree::communication_desc>($1);
        cd->data_description_entry_l = finishEntries($2);
        cd->epos = @$.last;
        $$ = $1;
      }
  ;

cd_head
  : CD data_name opt_for opt_initial cd_kind cd_clauses "."
      { $$ = communicationHead($2, $<flag>4, @$); }
  ;

opt_for : %empty | FOR ;

opt_initial
  : %empty      { $<flag>$ = false; }
  | INITIAL     { $<flag>$ = true; }
  ;

cd_kind
  : INPUT       { communicationBegin(); }
  | OUTPUT      { communicationBegin(); }
  | I_O         { communicationBegin(); }
  ;

cd_clauses
  : %empty
  | cd_clauses cd_clause
  ;

/* Either phrases naming the implicit items, or the items listed by position. */
cd_clause
  : cd_phrase opt_is data_name       { communicationItem($3); }
  | data_name                        { communicationItem($1); }
  | FILLER                           { communicationItem($1); }
  | DESTINATION TABLE OCCURS occurs_integer opt_times
  | INDEXED opt_by data_name
  ;

cd_phrase
  : SYMBOLIC QUEUE
  | SYMBOLIC SUB_QUEUE_1
  | SYMBOLIC SUB_QUEUE_2
  | SYMBOLIC SUB_QUEUE_3
  | SYMBOLIC SOURCE
  | SYMBOLIC DESTINATION
  | SYMBOLIC TERMINAL
  | MESSAGE DATE
  | MESSAGE TIME
  | MESSAGE COUNT
  | TEXT LENGTH
  | END KEY
  | STATUS KEY
  | ERROR KEY
  | DESTINATION COUNT
  ;


/* ---- report descriptions ------------------------------------------------ */

/* An RD and the report group entries that follow it. */
rd_entry
  : rd_head report_groups
      {
        auto *rd = as<tree::report_description>($1);
        rd->report_group_description_l = ReverseTree($2);
        rd->epos = @$.last;
        $$ = $1;
      }
  ;

rd_head
  : RD data_name report_clauses "."
      { $$ = reportHead($2, $3, @$); }
  | RD data_name report_clauses copy_statement
      { $$ = reportHead($2, prepend(mr_copy(NoTree, @4.first, @4.last, $4), $3), @$); }
  | RD data_name report_clauses error "."
      { $$ = reportHead($2, $3, @$); restartAt(@5.first); yyerrok; }
  | RD data_name report_clauses error
      { $$ = reportHead($2, $3, @3); restartAt(yylloc.first); yyerrok; }
  | RD error "."
      { $$ = reportHead(unnamed($1), mnoreport_clause(), @$); restartAt(@3.first); yyerrok; }
  | RD error
      { $$ = reportHead(unnamed($1), mnoreport_clause(), @1); restartAt(yylloc.first); yyerrok; }
  ;

report_clauses
  : %empty                          { $$ = mnoreport_clause(); }
  | report_clauses report_clause    { $$ = prepend($2, $1); }
  ;

report_clause
  : GLOBAL                          { $$ = mr_global(NoTree, @$.first, @$.last); }
  | IS GLOBAL                       { $$ = mr_global(NoTree, @$.first, @$.last); }
  | CODE opt_is code_value          { $$ = mr_code(NoTree, @$.first, @$.last, $3); }
  | control_word opt_is_are control_names
      { $$ = $3; as<tree::r_control>($$)->bpos = @$.first; }
  | PAGE opt_limit report_integer opt_line_word page_phrases
      {
        $$ = mr_page(NoTree, @$.first, @$.last, static_cast<std::int32_t>($3.Value), $3.Position,
                     $3.EndPosition, ReverseTree($5));
      }
  ;

/* A mnemonic name stands for a code of the implementation, not for data. */
code_value
  : literal
  | data_name                       { $$ = unresolvedName($1); }
  ;

control_word : CONTROL | CONTROLS ;

control_names
  : FINAL                { $$ = mr_control(NoTree, @$.first, @$.last, true, mnoidentifier()); }
  | FINAL name_list      { $$ = mr_control(NoTree, @$.first, @$.last, true, ReverseTree($2)); }
  | name_list            { $$ = mr_control(NoTree, @$.first, @$.last, false, ReverseTree($1)); }
  ;

opt_limit
  : %empty
  | LIMIT opt_is_are
  | LIMITS opt_is_are
  ;

opt_line_word : %empty | LINE | LINES ;

page_phrases
  : %empty                      { $$ = mnoexpression_l(); }
  | page_phrases page_phrase    { $$ = prepend($2, $1); }
  ;

page_phrase
  : HEADING opt_is report_integer        { $$ = pagePhrase(cwHeading, $3); }
  | FIRST DETAIL opt_is report_integer   { $$ = pagePhrase(cwFirst, $4); }
  | LAST DETAIL opt_is report_integer    { $$ = pagePhrase(cwLast, $4); }
  | FOOTING opt_is report_integer        { $$ = pagePhrase(cwFooting, $3); }
  ;

report_integer
  : level_number
  | unsigned_integer
  ;

/* Report group entries: a level number, an optional name, clauses, ".". A
   COPY statement among them has no node of its own and builds none; the
   copied entries follow as they are scanned. */
report_groups
  : %empty                        { $$ = mnoreport_group_description(); }
  | report_groups report_group    { $$ = prepend($2, $1); }
  ;

report_group
  : report_group_head group_clauses "."
      { $$ = reportGroup($1, $2, @3.last); }
  | report_group_head group_line "."
      { $$ = reportGroup($1, $2, @3.last); }
  | report_group_head group_clauses error "."
      { $$ = reportGroup($1, $2, @4.last); restartAt(@4.first); yyerrok; }
  | report_group_head group_line error "."
      { $$ = reportGroup($1, $2, @4.last); restartAt(@4.first); yyerrok; }
  | report_group_head group_clauses error
      { $$ = reportGroup($1, $2, @2.last); restartAt(yylloc.first); yyerrok; }
  | report_group_head group_line error
      { $$ = reportGroup($1, $2, @2.last); restartAt(yylloc.first); yyerrok; }
  | copy_statement         { $$ = NoTree; }
  | replace_statement      { $$ = NoTree; }
  | inclure_statement      { $$ = NoTree; }
  | EXECUTE                { $$ = NoTree; }
  | EXECUTE "."            { $$ = NoTree; }
  | error "."              { $$ = NoTree; restartAt(@2.first); yyerrok; }
  | error                  { $$ = NoTree; restartAt(yylloc.first); yyerrok; }
  ;

report_group_head
  : level_number entry_name
      { $$ = makeHead($1, static_cast<int>($1.Value) + $1.Increment, $2.Word != NoIdent ? &$2 : nullptr); }
  ;

/* "LINE n NEXT PAGE" and "LINE n" followed by "NEXT GROUP" share their first
   terminals after the integer, so a list whose last clause is a bare LINE n
   (group_line) is kept apart until the next terminal shows which it is. */
group_clauses
  : %empty                                { $$ = mnoreport_group_clause(); }
  | group_clauses report_group_clause     { $$ = prepend($2, $1); }
  | group_line report_group_clause        { $$ = prepend($2, $1); }
  | group_line NEXT PAGE       { $$ = onNextPage($1, @$.last); }
  | group_line ON NEXT PAGE    { $$ = onNextPage($1, @$.last); }
  ;

group_line
  : group_clauses LINE opt_number opt_is report_integer
      { $$ = prepend(lineClause({@2.first, @5.last}, cwLineNumber, $5), $1); }
  | group_line LINE opt_number opt_is report_integer
      { $$ = prepend(lineClause({@2.first, @5.last}, cwLineNumber, $5), $1); }
  ;

report_group_clause
  : type_clause
  | line_clause
  | next_group_clause
  | column_word opt_number opt_is report_integer
      {
        $$ = mg_column(NoTree, @$.first, @$.last, static_cast<std::int32_t>($4.Value),
                       $4.Position, $4.EndPosition);
      }
  | PICTURE picture_is picture_elements end_of_picture
      {
        $$ = mg_picture(NoTree, @$.first, @$.last, state().picturePos, state().pictureEnd,
                        PutString(state().pictureValue.data(), state().pictureValue.size()));
      }
  | USAGE opt_is usage_word       { $$ = mg_usage(NoTree, @$.first, @$.last, $3); }
  | USAGE opt_is BINARY           { $$ = mg_usage(NoTree, @$.first, @$.last, cwBinary); }
  | usage_word                    { $$ = mg_usage(NoTree, @$.first, @$.last, $1); }
  | BINARY                        { $$ = mg_usage(NoTree, @$.first, @$.last, cwBinary); }
  | SIGN opt_is sign_position opt_separate
      { $$ = mg_sign(NoTree, @$.first, @$.last, static_cast<std::uint16_t>($3 + ($4 ? 1 : 0))); }
  | sign_position opt_separate
      { $$ = mg_sign(NoTree, @$.first, @$.last, static_cast<std::uint16_t>($1 + ($2 ? 1 : 0))); }
  | JUSTIFIED                     { $$ = mg_justified(NoTree, @$.first, @$.last); }
  | JUSTIFIED RIGHT               { $$ = mg_justified(NoTree, @$.first, @$.last); }
  | BLANK opt_when zero_word      { $$ = mg_blank(NoTree, @$.first, @$.last); }
  | SOURCE opt_is data_ref        { $$ = mg_source(NoTree, @$.first, @$.last, $3); }
  | VALUE opt_is value_literal    { $$ = mg_value(NoTree, @$.first, @$.last, $3); }
  | sum_clause
  | GROUP INDICATE                { $$ = mg_group(NoTree, @$.first, @$.last); }
  ;

opt_number : %empty | NUMBER ;
column_word : COLUMN | COL ;

/* TYPE: the word code tells the group's kind as written (long form or
   abbreviation); control groups name their control, FINAL none. */
type_clause
  : TYPE opt_is type_word
      { $$ = mg_type(NoTree, @$.first, @$.last, $3, noExpression()); }
  | TYPE opt_is control_type control_ref
      { $$ = mg_type(NoTree, @$.first, @$.last, $3, $4); }
  ;

type_word
  : REPORT HEADING    { $$ = cwReportHeading; }
  | RH                { $$ = cwRh; }
  | PAGE HEADING      { $$ = cwPageHeading; }
  | PH                { $$ = cwPh; }
  | DETAIL            { $$ = $1.Spelling != NoIdent && LengthIdent($1.Spelling) == 2 ? cwDe : cwDetail; }
  | PAGE FOOTING      { $$ = cwPageFooting; }
  | PF                { $$ = cwPf; }
  | REPORT FOOTING    { $$ = cwReportFooting; }
  | RF                { $$ = cwRf; }
  ;

control_type
  : CONTROL HEADING   { $$ = cwControlHeading; }
  | CH                { $$ = cwCh; }
  | CONTROL FOOTING   { $$ = cwControlFooting; }
  | CF                { $$ = cwCf; }
  ;

control_ref
  : FINAL             { $$ = noExpression(); }
  | data_ref
  ;

/* LINE PLUS n; the absolute forms are read by group_line. */
line_clause
  : LINE opt_number opt_is PLUS report_integer   { $$ = lineClause(@$, cwPlus, $5); }
  | LINE opt_number opt_is plus_integer          { $$ = lineClause(@$, cwPlus, $4); }
  ;

next_group_clause
  : NEXT GROUP opt_is report_integer        { $$ = nextGroupClause(@$, cwLineNumber, &$4); }
  | NEXT GROUP opt_is PLUS report_integer   { $$ = nextGroupClause(@$, cwPlus, &$5); }
  | NEXT GROUP opt_is plus_integer          { $$ = nextGroupClause(@$, cwPlus, &$4); }
  | NEXT GROUP opt_is NEXT PAGE             { $$ = nextGroupClause(@$, cwPage, nullptr); }
  ;

/* SUM: the summed items, the groups it is computed UPON, and the control
   (or FINAL) at which it is reset. */
sum_clause
  : SUM name_list opt_upon
      { $$ = mg_sum(NoTree, @$.first, @$.last, ReverseTree($2), $3, false, noExpression()); }
  | SUM name_list opt_upon RESET opt_on data_ref
      { $$ = mg_sum(NoTree, @$.first, @$.last, ReverseTree($2), $3, false, $6); }
  | SUM name_list opt_upon RESET opt_on FINAL
      { $$ = mg_sum(NoTree, @$.first, @$.last, ReverseTree($2), $3, true, noExpression()); }
  ;

opt_upon
  : %empty               { $$ = mnoidentifier(); }
  | UPON name_list       { $$ = ReverseTree($2); }
  ;

%%

namespace {

// Code of every symbol kind that is a terminal, so messages can name the
// terminal by its code.
std::vector<int> kindToCode() {
  std::vector<int> codes(YYNTOKENS, -1);
  for (int code = 0; code <= MaxTerminal; ++code) {
    const int kind = YYTRANSLATE(code);
    if (kind != YYSYMBOL_YYUNDEF) codes[static_cast<std::size_t>(kind)] = code;
  }
  return codes;
}

const std::vector<int> &terminalCodes() {
  std::vector<int> &codes = state().terminalCodes;
  if (codes.empty())
    codes = kindToCode();
  return codes;
}

std::vector<std::string> tokenNames() {
  std::vector<std::string> table(MaxTerminal + 1);
  for (int c = 0; c <= MaxTerminal; ++c) {
    const int kind = YYTRANSLATE(c);
    if (kind == YYSYMBOL_YYUNDEF) continue;
    std::string text = yysymbol_name(static_cast<yysymbol_kind_t>(kind));
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
      text = text.substr(1, text.size() - 2);
    table[static_cast<std::size_t>(c)] = text;
  }
  return table;
}

void yyerror(YYLTYPE *location, const char *) {
  // Bison calls this only when its stacks cannot grow.
  ErrorMessageI(xxOutOfMemory, xxFatal, location->first, xxString, "Parser");
}

} // namespace

static int yyreport_syntax_error(const yypcontext_t *context) {
  const tPosition where = yypcontext_location(context)->first;
  ++state().syntaxErrors;
  state().lastError = where;
  ErrorMessage(xxSyntaxError, xxError, where);

  // A long broken input fills the store early; the rest of its errors are
  // only counted, and the expected-token set is the expensive part.
  if (MessageTextsDropped()) {
    ErrorMessageI(xxTokenFound, xxInformation, where, xxString, "");
    ErrorMessageI(xxExpectedTokens, xxInformation, where, xxString, "");
    return 0;
  }
  const int found = terminalCodes()[static_cast<std::size_t>(yypcontext_token(context))];
  const char *foundName = yyGetTokenName(found);
  ErrorMessageI(xxTokenFound, xxInformation, where, xxString, foundName);

  std::vector<yysymbol_kind_t> kinds(YYNTOKENS);
  const int count = yypcontext_expected_tokens(context, kinds.data(), YYNTOKENS);
  std::vector<int> codes;
  for (int i = 0; i < count; ++i) {
    const int code = terminalCodes()[static_cast<std::size_t>(kinds[static_cast<std::size_t>(i)])];
    // FAST_ENTRY is no terminal of the source.
    if (code < 0) continue;
    // The default reading never delivers the dialect terminals, so it never
    // expects them either.
    if (code <= MaxDefaultTerminal || Lenient())
      codes.push_back(code);
  }
  std::sort(codes.begin(), codes.end());
  std::string expected;
  for (int code : codes) {
    const char *name = yyGetTokenName(code);
    const std::size_t added = std::strlen(name) + (expected.empty() ? 0 : 1);
    if (expected.size() + added >= expectedLimit) break;
    if (!expected.empty()) expected += ' ';
    expected += name;
  }
  ErrorMessageI(xxExpectedTokens, xxInformation, where, xxString, expected.c_str());
  return 0;
}

int yylex(YYSTYPE *value, YYLTYPE *location) {
  if (state().startToken != 0) {
    const int start = state().startToken;
    state().startToken = 0;
    value->tok = tScanAttribute{};
    location->first = location->last = NoPosition;
    return start;
  }
  ParserState &parser = state();
  if (parser.entryStart) {
    parser.entryStart = false;
    if (parser.fastEntries && !Lenient() && !parser.replacingMode && ReplacingIdle() &&
        readFastEntry(value->tree, *location)) {
      parser.currentCode = tok::Period;
      return T_FAST_ENTRY;
    }
  }
  if (Lenient() && !parser.replacingMode) {
    const tToken token = parser.lenientTokens.next([] {
      const int code = GetToken();
      return tToken{code, Attribute()};
    });
    value->tok = token.attribute;
    location->first = location->last = token.attribute.Position;
    parser.currentCode = token.code;
    return token.code;
  }
  // The attribute goes onto the parser's stack in one copy, not through a
  // token of its own (two copies of 64 bytes a token).
  const int code = GetToken();
  value->tok = Attribute();
  location->first = location->last = value->tok.Position;
  parser.currentCode = code;
  return code;
}

const char *yyGetTokenName(int code) {
  std::vector<std::string> &names = state().tokenNames;
  if (names.empty())
    names = tokenNames();
  if (code < 0 || code > MaxTerminal || names[static_cast<std::size_t>(code)].empty())
    return "_unknown_";
  return names[static_cast<std::size_t>(code)].c_str();
}

int FastEntriesRead() { return state().fastEntriesRead; }

int Parser2(int start) {
  state() = ParserState{};
  state().startToken = start == 1   ? T_START_DATA_DIVISION
                       : start == 3 ? T_START_COPYBOOK_WITH_FILES
                                    : T_START_COPYBOOK;
  state().noteFileDescriptions = start == 3;
  state().fastEntries = std::getenv("VEXFCBL_NO_FAST_ENTRIES") == nullptr;
  TreeRoot() = NoTree;
  yyparse();
  // A parse that could not recover still leaves a root for the driver.
  if (!Tree_IsType(TreeRoot(), kdata_division)) makeRoot(Sections{});
  return state().syntaxErrors;
}


// The data-division grammar: data description entries of every format, their
// clauses in any order, COPY, REPLACE and *INCLURE statements and EXEC blocks
// between entries, RD and CD descriptions, and (start symbol 1) the DATA
// DIVISION with its sections. Entries are declared when they are reduced; the objects of
// REDEFINES and RENAMES are resolved at once against what is declared so far.
//
// Errors: LAC gives the exact set of acceptable terminals for the "expected
// tokens" message. Recovery is at the entry: a broken entry ends at its period
// or at the first terminal that can begin the next entry, so a missing period
// costs one message and not the following entry.

%code requires {
#include <cstdint>

#include "cobol/Scanner.h"
#include "cobol/Tree.h"

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
#include <cstring>
#include <string>
#include <vector>

#include "cobol/Eval.h"
#include "cobol/Parser.h"
#include "cobol/Trafo.h"
#include "cobol/copy_replacing.h"
#include "cobol/copy.h"
#include "cobol/deftab.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"

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

// Word codes the parser stores that data description entries do not carry.
constexpr std::uint16_t cwThrough = 114;
constexpr std::uint16_t cwOf = 283;
constexpr std::uint16_t cwCopyWord = 280;
constexpr std::uint16_t cwFalse = 467;
constexpr std::uint16_t cwPlusOp = 158;

// Word codes of report descriptions and report group clauses.
constexpr std::uint16_t cwFooting = 95;
constexpr std::uint16_t cwPage = 127;
constexpr std::uint16_t cwHeading = 130;
constexpr std::uint16_t cwFirstDetail = 132;
constexpr std::uint16_t cwDetail = 133;
constexpr std::uint16_t cwLastDetail = 134;
constexpr std::uint16_t cwLineNumber = 135;
constexpr std::uint16_t cwNextPage = 136;
constexpr std::uint16_t cwReportHeading = 139;
constexpr std::uint16_t cwPageHeading = 140;
constexpr std::uint16_t cwControlHeading = 141;
constexpr std::uint16_t cwControlFooting = 142;
constexpr std::uint16_t cwPageFooting = 143;
constexpr std::uint16_t cwReportFooting = 144;
constexpr std::uint16_t cwRH = 145;
constexpr std::uint16_t cwPH = 146;
constexpr std::uint16_t cwCH = 147;
constexpr std::uint16_t cwDE = 148;
constexpr std::uint16_t cwCF = 149;
constexpr std::uint16_t cwPF = 150;
constexpr std::uint16_t cwRF = 151;

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

// The parser's semantic state: set up by BeginParser, read by the actions.
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
};
ParserState state;

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

tTree noExpression() { return mnoexpression(NoPosition, NoPosition); }

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
  format->decl = Declare(level, {format->name, format->pos, format->epos1}, entry, format->epos);
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

// --- pictures --------------------------------------------------------------

void pictureBegin() {
  state.pictureValue.clear();
  state.pictureString.clear();
  state.pictureReplaced = false;
  state.pictureStarted = false;
}

void pictureNote(const tScanAttribute &a) {
  if (!state.pictureStarted) {
    state.picturePos = a.Position;
    state.pictureStarted = true;
  }
  state.pictureEnd = a.EndPosition.Line != 0 ? a.EndPosition : a.Position;
  state.pictureReplaced = state.pictureReplaced || a.Prefixed;
}

// A run of picture symbols: normalised and as written.
void pictureWord(const tScanAttribute &a) {
  pictureNote(a);
  appendPicture(state.pictureValue, GetCStr(a.Word));
  appendPicture(state.pictureString, GetCStr(a.Spelling != NoIdent ? a.Spelling : a.Word));
}

// A number or a literal piece that stands for itself in both forms.
void pictureText(const tScanAttribute &a) {
  pictureNote(a);
  const char *text = a.Text != nullptr ? StGetCStr(a.Text) : "";
  appendPicture(state.pictureValue, text);
  appendPicture(state.pictureString, text);
}

void pictureSymbol(const tScanAttribute &a, const char *symbol) {
  pictureNote(a);
  appendPicture(state.pictureValue, symbol);
  appendPicture(state.pictureString, symbol);
}

// A repetition factor: the value in decimal, and the digits as written.
void pictureRepeat(const tScanAttribute &open, const tScanAttribute &count,
                   const tScanAttribute &close) {
  pictureNote(open);
  pictureNote(count);
  pictureNote(close);
  std::string normal = "(";
  std::string written = "(";
  if (count.Text != nullptr) {
    normal += std::to_string(count.Value);
    written += StGetCStr(count.Text);
  } else {
    normal += GetCStr(count.Word);
    written += GetCStr(count.Spelling != NoIdent ? count.Spelling : count.Word);
  }
  appendPicture(state.pictureValue, (normal + ")").c_str());
  appendPicture(state.pictureString, (written + ")").c_str());
}

tTree pictureClause(const tSpan &span, tTree depending) {
  const tStringRef value = PutString(state.pictureValue.data(), state.pictureValue.size());
  const tStringRef written = PutString(state.pictureString.data(), state.pictureString.size());
  return mpicture(NoTree, span.first, span.last, cwPicture, state.picturePos, state.pictureEnd,
                  value, written, state.pictureReplaced, depending);
}

// --- clauses -----------------------------------------------------------------

tTree plainClause(const tSpan &span, std::uint16_t keyword) {
  return mdata_clause(NoTree, span.first, span.last, keyword);
}

tTree usageClause(const tSpan &span, std::uint16_t value, bool native) {
  return musage(NoTree, span.first, span.last, cwUsage, value, native);
}

tTree occursClause(const tSpan &span, const tScanAttribute &first, const tScanAttribute *second) {
  if (second == nullptr)
    return moccurs(NoTree, span.first, span.last, cwOccurs, -1, NoPosition, NoPosition,
                   static_cast<std::int32_t>(first.Value), first.Position, first.EndPosition,
                   noExpression(), mnoa_de_scending(), mnoidentifier());
  return moccurs(NoTree, span.first, span.last, cwOccurs, static_cast<std::int32_t>(first.Value),
                 first.Position, first.EndPosition, static_cast<std::int32_t>(second->Value),
                 second->Position, second->EndPosition, noExpression(), mnoa_de_scending(),
                 mnoidentifier());
}

// --- COPY --------------------------------------------------------------------

// The operands of REPLACING and REPLACE are read with only the replacing
// words reserved, so that pseudo-text such as ==PIC X(4).== arrives as plain
// words and characters. The mode is entered before the terminal after
// REPLACING (or REPLACE) is read, and left once the statement's period has
// been shifted, before the terminal after it is read.
void enterReplacing() {
  if (state.replacingMode) return;
  begin_replacing();
  state.replacingMode = true;
}

void leaveReplacing() {
  if (!state.replacingMode) return;
  state.replacingMode = false;
  end_replacing();
}

tTree copyStatement(const tSpan &span, tTree textName, tTree pairs) {
  leaveReplacing();
  auto *statement = ms_copy(NoTree, span.first, span.last, NoTree, true, textName, cwCopyWord,
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
  ++state.syntaxErrors;
  state.lastError = period.Position;
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

struct Sections {
  tTree working = NoTree;
  tTree communication = NoTree;
  tTree report = NoTree;
  tSpan span{NoPosition, NoPosition};
};

// Entry lists are finished once: put into source order, then restructured.
tTree finishEntries(tTree list) {
  return trafo_data_desc(ReverseTree(list != NoTree ? list : mnodata_description_entry()));
}

void makeRoot(const Sections &s) {
  const tPosition &b = s.span.first;
  const tPosition &e = s.span.last;
  TreeRoot = mdata_division(
      mnoschema_description(), mnofile_description(), mnoschema_description(),
      s.working != NoTree ? s.working : mnodata_description_entry(), mnodata_description_entry(),
      mnodata_description_entry(), mnodata_description_entry(),
      s.communication != NoTree ? s.communication : mnocommunication_description(),
      s.report != NoTree ? s.report : mnoreport_description(), mnoscreen_description(), b,
      NoPosition, NoPosition, NoPosition, NoPosition, NoPosition, NoPosition, b, e, NoPosition,
      NoPosition, NoPosition, NoPosition, NoPosition, NoPosition, NoPosition, NoPosition,
      NoPosition, NoPosition, NoPosition, NoPosition, e);
}

tScanAttribute textAsWord(const tScanAttribute &a) {
  tScanAttribute word = a;
  word.Word = MakeIdent(a.Text != nullptr ? StGetCStr(a.Text) : "");
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
  if (where.Line != 0 && Compare(where, state.lastError) != 0)
    ErrorMessage(xxRestartPoint, xxInformation, where);
}

int communicationCount = 0;

void communicationBegin() { communicationCount = 0; }

void communicationItem(const tScanAttribute &item) {
  if (communicationCount + 1 >= MaxCdNames) return;
  ++communicationCount;
  cd_names[communicationCount] = {item.Word, item.Position, item.EndPosition};
}

// A CD: declared beside the records at its pseudo-level, its implicit record
// at level 1 and its implicit items at level 2; the records after it belong
// to the communication section.
tTree communicationHead(const tScanAttribute &cdName, bool initial, const tSpan &span) {
  Section = dkCommunication;
  auto *cd = mcommunication_desc(NoTree, cdName.Word, cdName.Position, cdName.Spelling,
                                 cdName.EndPosition, initial, mnodata_description_entry(),
                                 span.first, span.last);
  Declare(levelCommunication, {cdName.Word, cdName.Position, cdName.EndPosition}, cd, span.last);
  cd_names[0] = {cdName.Word, cdName.Position, cdName.EndPosition};
  Declare_CD(communicationCount, cd, span.last);
  return cd;
}

// An RD: declared beside the records at its pseudo-level; the report groups
// after it are declared in the report section, so their 01 entries stand at
// the top beside it.
tTree reportHead(const tScanAttribute &rdName, tTree clauses, const tSpan &span) {
  Section = dkReport;
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
  line->keyword = cwNextPage;
  line->epos = epos;
  return clauses;
}

// A PAGE phrase (HEADING, FIRST DETAIL, LAST DETAIL, FOOTING) with its line.
tTree pagePhrase(std::uint16_t keyword, const tScanAttribute &integer) {
  return mexpression_word(NoTree, integerNode(integer), keyword);
}

void yyerror(YYLTYPE *, const char *);

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
/* Terminals: the codes and printable names of cobol/keywords.def (the
   parser test checks that every one agrees). */
%token <tok> EndOfInput 0 "_EOF_"
%token <tok> name 1 "name"
%token <tok> paragraph_name 2 "paragraph_name"
%token <tok> unsigned_integer 3 "unsigned_integer"
%token <tok> plus_integer 4 "plus_integer"
%token <tok> minus_integer 5 "minus_integer"
%token <tok> level_number 6 "level_number"
%token <tok> real 7 "real"
%token <tok> string 8 "string"
%token <tok> pseudo_text 9 "pseudo_text"
%token <tok> EXECUTE 10 "EXECUTE"
%token <tok> illegal_character 11 "illegal_character"
%token <tok> Period 12 "."
%token <tok> INCLURE 13 "INCLURE"
%token <tok> ACCESS 14 "ACCESS"
%token <tok> ACCESSIBILITY 15 "ACCESSIBILITY"
%token <tok> ADDRESS 16 "ADDRESS"
%token <tok> ALL 17 "ALL"
%token <tok> ALPHABETIC 18 "ALPHABETIC"
%token <tok> ALSO 19 "ALSO"
%token <tok> ALTERNATE 20 "ALTERNATE"
%token <tok> AND 21 "AND"
%token <tok> ARE 22 "ARE"
%token <tok> ASCENDING 23 "ASCENDING"
%token <tok> AT 24 "AT"
%token <tok> AUTO 25 "AUTO"
%token <tok> AUTO_SKIP 26 "AUTO-SKIP"
%token <tok> BACKGROUND_COLOR 27 "BACKGROUND-COLOR"
%token <tok> BEEP 28 "BEEP"
%token <tok> BELL 29 "BELL"
%token <tok> BINARY 30 "BINARY"
%token <tok> BLANK 31 "BLANK"
%token <tok> BLINK 32 "BLINK"
%token <tok> BLOCK 33 "BLOCK"
%token <tok> BOTTOM 34 "BOTTOM"
%token <tok> BY 35 "BY"
%token <tok> CD 36 "CD"
%token <tok> CF 37 "CF"
%token <tok> CH 38 "CH"
%token <tok> CHARACTER 39 "CHARACTER"
%token <tok> CHARACTERS 40 "CHARACTERS"
%token <tok> CODE 41 "CODE"
%token <tok> CODE_SET 42 "CODE-SET"
%token <tok> COL 43 "COL"
%token <tok> COLUMN 44 "COLUMN"
%token <tok> COMMUNICATION 45 "COMMUNICATION"
%token <tok> COMPUTATIONAL 46 "COMPUTATIONAL"
%token <tok> COMPUTATIONAL_0 47 "COMPUTATIONAL-0"
%token <tok> COMPUTATIONAL_1 48 "COMPUTATIONAL-1"
%token <tok> COMPUTATIONAL_11 49 "COMPUTATIONAL-11"
%token <tok> COMPUTATIONAL_12 50 "COMPUTATIONAL-12"
%token <tok> COMPUTATIONAL_2 51 "COMPUTATIONAL-2"
%token <tok> COMPUTATIONAL_3 52 "COMPUTATIONAL-3"
%token <tok> COMPUTATIONAL_4 53 "COMPUTATIONAL-4"
%token <tok> COMPUTATIONAL_5 54 "COMPUTATIONAL-5"
%token <tok> COMPUTATIONAL_6 55 "COMPUTATIONAL-6"
%token <tok> COMPUTATIONAL_7 56 "COMPUTATIONAL-7"
%token <tok> COMPUTATIONAL_8 57 "COMPUTATIONAL-8"
%token <tok> COMPUTATIONAL_X 58 "COMPUTATIONAL-X"
%token <tok> CONTAIN 59 "CONTAIN"
%token <tok> CONTAINS 60 "CONTAINS"
%token <tok> CONTROL 61 "CONTROL"
%token <tok> CONTROLS 62 "CONTROLS"
%token <tok> COPY 63 "COPY"
%token <tok> COUNT 64 "COUNT"
%token <tok> CURRENT 65 "CURRENT"
%token <tok> CURSOR 66 "CURSOR"
%token <tok> DATA 67 "DATA"
%token <tok> DATA_SENSITIVE 68 "DATA-SENSITIVE"
%token <tok> DATE 69 "DATE"
%token <tok> DB 70 "DB"
%token <tok> DB_DESCRIPTIONS 71 "DB-DESCRIPTIONS"
%token <tok> DB_KEY 72 "DB-KEY"
%token <tok> DBCS 73 "DBCS"
%token <tok> DELIMITER 74 "DELIMITER"
%token <tok> DEPENDING 75 "DEPENDING"
%token <tok> DESCENDING 76 "DESCENDING"
%token <tok> DESTINATION 77 "DESTINATION"
%token <tok> DETAIL 78 "DETAIL"
%token <tok> DICTIONARY 79 "DICTIONARY"
%token <tok> DISPLAY 80 "DISPLAY"
%token <tok> DISPLAY_1 81 "DISPLAY-1"
%token <tok> DIVISION 82 "DIVISION"
%token <tok> DUPLICATES 83 "DUPLICATES"
%token <tok> DYNAMIC 84 "DYNAMIC"
%token <tok> EMPTY 85 "EMPTY"
%token <tok> EMPTY_CHECK 86 "EMPTY-CHECK"
%token <tok> END 87 "END"
%token <tok> EOL 88 "EOL"
%token <tok> EOS 89 "EOS"
%token <tok> EQUAL 90 "EQUAL"
%token <tok> EQUALS 91 "EQUALS"
%token <tok> ERASE 92 "ERASE"
%token <tok> ERROR 93 "ERROR"
%token <tok> EXCEEDS 94 "EXCEEDS"
%token <tok> EXPIRATION 95 "EXPIRATION"
%token <tok> EXTERNAL 96 "EXTERNAL"
%token <tok> FAILURE 97 "FAILURE"
%token <tok> FALSE 98 "FALSE"
%token <tok> FD 99 "FD"
%token <tok> FEEDBACK 100 "FEEDBACK"
%token <tok> FIELD 101 "FIELD"
%token <tok> FIELDS 102 "FIELDS"
%token <tok> FILE 103 "FILE"
%token <tok> FILE_ID 104 "FILE-ID"
%token <tok> FILLER 105 "FILLER"
%token <tok> FINAL 106 "FINAL"
%token <tok> FIRST 107 "FIRST"
%token <tok> FIXED 108 "FIXED"
%token <tok> FOOTING 109 "FOOTING"
%token <tok> FOR 110 "FOR"
%token <tok> FOREGROUND_COLOR 111 "FOREGROUND-COLOR"
%token <tok> FROM 112 "FROM"
%token <tok> FULL 113 "FULL"
%token <tok> FUNCTION 114 "FUNCTION"
%token <tok> GENERATION 115 "GENERATION"
%token <tok> GLOBAL 116 "GLOBAL"
%token <tok> GREATER 117 "GREATER"
%token <tok> GRID 118 "GRID"
%token <tok> GROUP 119 "GROUP"
%token <tok> HEADER 120 "HEADER"
%token <tok> HEADING 121 "HEADING"
%token <tok> HIGH_VALUE 122 "HIGH-VALUE"
%token <tok> HIGHLIGHT 123 "HIGHLIGHT"
%token <tok> I_O 124 "I-O"
%token <tok> ID 125 "ID"
%token <tok> IN 126 "IN"
%token <tok> INDEX 127 "INDEX"
%token <tok> INDEXED 128 "INDEXED"
%token <tok> INDICATE 129 "INDICATE"
%token <tok> INITIAL 130 "INITIAL"
%token <tok> INPUT 131 "INPUT"
%token <tok> IS 132 "IS"
%token <tok> JUSTIFIED 133 "JUSTIFIED"
%token <tok> KEY 134 "KEY"
%token <tok> LABEL 135 "LABEL"
%token <tok> LABELS 136 "LABELS"
%token <tok> LAST 137 "LAST"
%token <tok> LD 138 "LD"
%token <tok> LEADING 139 "LEADING"
%token <tok> LEFT 140 "LEFT"
%token <tok> LEFTLINE 141 "LEFTLINE"
%token <tok> LENGTH 142 "LENGTH"
%token <tok> LENGTH_CHECK 143 "LENGTH-CHECK"
%token <tok> LESS 144 "LESS"
%token <tok> LIMIT 145 "LIMIT"
%token <tok> LIMITS 146 "LIMITS"
%token <tok> LINAGE 147 "LINAGE"
%token <tok> LINE 148 "LINE"
%token <tok> LINES 149 "LINES"
%token <tok> LINKAGE 150 "LINKAGE"
%token <tok> LOCAL_STORAGE 151 "LOCAL-STORAGE"
%token <tok> LOW_VALUE 152 "LOW-VALUE"
%token <tok> LOWLIGHT 153 "LOWLIGHT"
%token <tok> MATCH 154 "MATCH"
%token <tok> MATCHES 155 "MATCHES"
%token <tok> MEMBER 156 "MEMBER"
%token <tok> MERIT 157 "MERIT"
%token <tok> MESSAGE 158 "MESSAGE"
%token <tok> METACLASS 159 "METACLASS"
%token <tok> MODE 160 "MODE"
%token <tok> MULTIPLE 161 "MULTIPLE"
%token <tok> NATIVE 162 "NATIVE"
%token <tok> NEGATIVE 163 "NEGATIVE"
%token <tok> NEXT 164 "NEXT"
%token <tok> NO_ECHO 165 "NO-ECHO"
%token <tok> NODE 166 "NODE"
%token <tok> NOT 167 "NOT"
%token <tok> NULL_ 168 "NULL"
%token <tok> NULLS 169 "NULLS"
%token <tok> NUMBER 170 "NUMBER"
%token <tok> NUMERIC 171 "NUMERIC"
%token <tok> OBJECT 172 "OBJECT"
%token <tok> OCCURRENCE 173 "OCCURRENCE"
%token <tok> OCCURS 174 "OCCURS"
%token <tok> OF 175 "OF"
%token <tok> OFF 176 "OFF"
%token <tok> OFFSET 177 "OFFSET"
%token <tok> OMITTED 178 "OMITTED"
%token <tok> ON 179 "ON"
%token <tok> OR 180 "OR"
%token <tok> OUTPUT 181 "OUTPUT"
%token <tok> OVERLINE 182 "OVERLINE"
%token <tok> OWNER 183 "OWNER"
%token <tok> PACKED_DECIMAL 184 "PACKED-DECIMAL"
%token <tok> PAD 185 "PAD"
%token <tok> PAGE 186 "PAGE"
%token <tok> PARTIAL 187 "PARTIAL"
%token <tok> PASSWORD 188 "PASSWORD"
%token <tok> PF 189 "PF"
%token <tok> PH 190 "PH"
%token <tok> PICTURE 191 "PICTURE"
%token <tok> PLUS 192 "PLUS"
%token <tok> POINTER 193 "POINTER"
%token <tok> POSITIVE 194 "POSITIVE"
%token <tok> PRIVACY 195 "PRIVACY"
%token <tok> PROCEDURE_POINTER 196 "PROCEDURE-POINTER"
%token <tok> PROCEDURES 197 "PROCEDURES"
%token <tok> PROMPT 198 "PROMPT"
%token <tok> QUEUE 199 "QUEUE"
%token <tok> QUOTE 200 "QUOTE"
%token <tok> RANDOM 201 "RANDOM"
%token <tok> RD 202 "RD"
%token <tok> REALMS 203 "REALMS"
%token <tok> RECORD 204 "RECORD"
%token <tok> RECORDING 205 "RECORDING"
%token <tok> RECORDS 206 "RECORDS"
%token <tok> REDEFINES 207 "REDEFINES"
%token <tok> REFERENCE 208 "REFERENCE"
%token <tok> RELATIVE 209 "RELATIVE"
%token <tok> RENAMES 210 "RENAMES"
%token <tok> REPLACE 211 "REPLACE"
%token <tok> REPLACING 212 "REPLACING"
%token <tok> REPORT 213 "REPORT"
%token <tok> REPORTS 214 "REPORTS"
%token <tok> REQUIRED 215 "REQUIRED"
%token <tok> RESET 216 "RESET"
%token <tok> REVERSE_VIDEO 217 "REVERSE-VIDEO"
%token <tok> RF 218 "RF"
%token <tok> RH 219 "RH"
%token <tok> RIGHT 220 "RIGHT"
%token <tok> SCREEN 221 "SCREEN"
%token <tok> SD 222 "SD"
%token <tok> SECTION 223 "SECTION"
%token <tok> SECURE 224 "SECURE"
%token <tok> SELF 225 "SELF"
%token <tok> SEPARATE 226 "SEPARATE"
%token <tok> SEQUENCE 227 "SEQUENCE"
%token <tok> SEQUENTIAL 228 "SEQUENTIAL"
%token <tok> SET 229 "SET"
%token <tok> SIGN 230 "SIGN"
%token <tok> SIZE 231 "SIZE"
%token <tok> SOURCE 232 "SOURCE"
%token <tok> SPACE 233 "SPACE"
%token <tok> STANDARD 234 "STANDARD"
%token <tok> STANDARD_1 235 "STANDARD-1"
%token <tok> START 236 "START"
%token <tok> STATUS 237 "STATUS"
%token <tok> SUB_QUEUE_1 238 "SUB-QUEUE-1"
%token <tok> SUB_QUEUE_2 239 "SUB-QUEUE-2"
%token <tok> SUB_QUEUE_3 240 "SUB-QUEUE-3"
%token <tok> SUB_SCHEMA 241 "SUB-SCHEMA"
%token <tok> SUBSCHEMA 242 "SUBSCHEMA"
%token <tok> SUCCESS 243 "SUCCESS"
%token <tok> SUM 244 "SUM"
%token <tok> SUPPRESS 245 "SUPPRESS"
%token <tok> SYMBOLIC 246 "SYMBOLIC"
%token <tok> SYNCHRONIZED 247 "SYNCHRONIZED"
%token <tok> TABLE 248 "TABLE"
%token <tok> TENANT 249 "TENANT"
%token <tok> TERMINAL 250 "TERMINAL"
%token <tok> TEXT 251 "TEXT"
%token <tok> THAN 252 "THAN"
%token <tok> THROUGH 253 "THROUGH"
%token <tok> TIME 254 "TIME"
%token <tok> TIMES 255 "TIMES"
%token <tok> TO 256 "TO"
%token <tok> TOP 257 "TOP"
%token <tok> TRAILER 258 "TRAILER"
%token <tok> TRAILING 259 "TRAILING"
%token <tok> TYPE 260 "TYPE"
%token <tok> UNDEFINED 261 "UNDEFINED"
%token <tok> UNDERLINE 262 "UNDERLINE"
%token <tok> UNEQUAL 263 "UNEQUAL"
%token <tok> UPON 264 "UPON"
%token <tok> USAGE 265 "USAGE"
%token <tok> USER 266 "USER"
%token <tok> USING 267 "USING"
%token <tok> VALUE 268 "VALUE"
%token <tok> VALUES 269 "VALUES"
%token <tok> VARIABLE 270 "VARIABLE"
%token <tok> VARYING 271 "VARYING"
%token <tok> VIRTUAL 272 "VIRTUAL"
%token <tok> VIRTUAL_STORAGE 273 "VIRTUAL-STORAGE"
%token <tok> VOLUME 274 "VOLUME"
%token <tok> WHEN 275 "WHEN"
%token <tok> WITH 276 "WITH"
%token <tok> WITHIN 277 "WITHIN"
%token <tok> WORKING_STORAGE 278 "WORKING-STORAGE"
%token <tok> ZERO 279 "ZERO"
%token <tok> ZERO_FILL 280 "ZERO-FILL"
%token <tok> ZEROS 281 "ZEROS"
%token <tok> EqualSign 282 "="
%token <tok> LessSign 283 "<"
%token <tok> GreaterSign 284 ">"
%token <tok> LParen 285 "("
%token <tok> RParen 286 ")"
%token <tok> PlusSign 287 "+"
%token <tok> NotEqualSign 288 "<>"
%token <tok> GreaterEqualSign 289 ">="
%token <tok> LessEqualSign 290 "<="
%token <tok> Level66 291 "66"
%token <tok> Level77 292 "77"
%token <tok> Level78 293 "78"
%token <tok> Level88 294 "88"
%token <tok> MinusSign 295 "-"
%token <tok> Colon 296 ":"
%token <tok> Ampersand 297 "&"
%token <tok> Power 298 "**"
%token <tok> Star 299 "*"
%token <tok> Slash 300 "/"
%token <tok> PseudoDelimiter 301 "=="
%token <tok> Comma 302 ","
%token <tok> Semicolon 303 ";"
%token <tok> name_in_area_A 304 "name in area A"
%token <tok> picture_dot 305 "picture_dot"
%token <tok> end_of_picture 306 "end_of_picture"
%token <tok> PREC_HIGH 307 "PREC_HIGH"

%type <tok> data_name entry_name occurs_integer pic_count copy_text inclure_increment

%type <tree> lead_items lead_items_ne lead_item data_entry entry_1 entry_66 entry_78 entry_88
%type <tree> clause_list clause picture_clause usage_clause sign_clause occurs_clause
%type <tree> value_clause opt_depending data_ref literal value_literal figurative_constant
%type <tree> condition_values condition_value condition_literal opt_false
%type <tree> constant_expression constant_term constant_factor
%type <tree> occurs_depending index_names opt_class_name copy_name
%type <tree> name_list key_phrases key_phrase index_phrase copy_statement opt_thru
%type <tree> opt_replacing replacing_pairs replacing_pair replacing_operand pseudo_words
%type <tree> replacement replace_statement inclure_statement
%type <tree> cd_entry cd_head pseudo_word
%type <tok> report_integer
%type <tree> rd_entry rd_head report_clauses report_clause control_names page_phrases page_phrase
%type <tree> report_groups report_group group_clauses group_line report_group_clause
%type <tree> type_clause control_ref line_clause next_group_clause sum_clause opt_upon code_value
%type <descriptions> descriptions descriptions_ne
%type <head> entry_1_head report_group_head
%type <word> inclure_prefix usage_word sign_position key_direction affix_mode type_word control_type
%type <flag> opt_separate opt_native

%start copybook

%%

/* ---- copybook (start symbol 2) ------------------------------------------ */

copybook
  : lead_items_ne descriptions
      {
        Sections s;
        s.working = finishEntries($1);
        s.communication = ReverseTree($2.communication);
        s.report = ReverseTree($2.report);
        s.span = @$;
        makeRoot(s);
      }
  | descriptions_ne
      {
        Sections s;
        s.communication = ReverseTree($1.communication);
        s.report = ReverseTree($1.report);
        s.span = @$;
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
  : lead_item              { $$ = prepend($1, mnodata_description_entry()); }
  | lead_items_ne lead_item { $$ = prepend($2, $1); }
  ;

lead_items
  : %empty                 { $$ = mnodata_description_entry(); }
  | lead_items lead_item   { $$ = prepend($2, $1); }
  ;

lead_item
  : data_entry
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
  ;

/* ---- ordinary entries ------------------------------------------------------ */

entry_1
  : entry_1_head clause_list "."
      { $$ = makeFormat1($1, $2, @3.last); }
  | entry_1_head clause_list copy_statement
      {
        const tEntryHead &h = $1;
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
      { $$ = makeHead($1, static_cast<int>($1.Value) + $1.Increment, $2.Word != NoIdent ? &$2 : nullptr); }
  | "77" entry_name
      { $$ = makeHead($1, 77, $2.Word != NoIdent ? &$2 : nullptr); }
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
      }
  ;

constant_expression
  : constant_term
  | constant_expression "+" constant_term
      { $$ = mbinary(@$.first, @$.last, $1, cwPlusOp, $2.Position, $2.EndPosition, $3); }
  | constant_expression "-" constant_term
      { $$ = mbinary(@$.first, @$.last, $1, cwPlusOp + 1, $2.Position, $2.EndPosition, $3); }
  ;

constant_term
  : constant_factor
  | constant_term "*" constant_factor
      { $$ = mbinary(@$.first, @$.last, $1, cwPlusOp + 2, $2.Position, $2.EndPosition, $3); }
  | constant_term "/" constant_factor
      { $$ = mbinary(@$.first, @$.last, $1, cwPlusOp + 3, $2.Position, $2.EndPosition, $3); }
  ;

constant_factor
  : literal
  | figurative_constant
  | data_ref
  | "(" constant_expression ")"  { $$ = mparentheses(@$.first, @$.last, $2); }
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
  : name { $$ = pseudoWord(@1, $1, 1); }
  | paragraph_name { $$ = pseudoWord(@1, $1, 2); }
  | unsigned_integer { $$ = pseudoWord(@1, $1, 3); }
  | plus_integer { $$ = pseudoWord(@1, $1, 4); }
  | minus_integer { $$ = pseudoWord(@1, $1, 5); }
  | level_number { $$ = pseudoWord(@1, $1, 6); }
  | real { $$ = pseudoWord(@1, $1, 7); }
  | string { $$ = pseudoWord(@1, $1, 8); }
  | pseudo_text { $$ = pseudoWord(@1, $1, 9); }
  | EXECUTE { $$ = pseudoWord(@1, $1, 10); }
  | illegal_character { $$ = pseudoWord(@1, $1, 11); }
  | Period { $$ = pseudoWord(@1, $1, 12); }
  | INCLURE { $$ = pseudoWord(@1, $1, 13); }
  | ACCESS { $$ = pseudoWord(@1, $1, 14); }
  | ACCESSIBILITY { $$ = pseudoWord(@1, $1, 15); }
  | ADDRESS { $$ = pseudoWord(@1, $1, 16); }
  | ALL { $$ = pseudoWord(@1, $1, 17); }
  | ALPHABETIC { $$ = pseudoWord(@1, $1, 18); }
  | ALSO { $$ = pseudoWord(@1, $1, 19); }
  | ALTERNATE { $$ = pseudoWord(@1, $1, 20); }
  | AND { $$ = pseudoWord(@1, $1, 21); }
  | ARE { $$ = pseudoWord(@1, $1, 22); }
  | ASCENDING { $$ = pseudoWord(@1, $1, 23); }
  | AT { $$ = pseudoWord(@1, $1, 24); }
  | AUTO { $$ = pseudoWord(@1, $1, 25); }
  | AUTO_SKIP { $$ = pseudoWord(@1, $1, 26); }
  | BACKGROUND_COLOR { $$ = pseudoWord(@1, $1, 27); }
  | BEEP { $$ = pseudoWord(@1, $1, 28); }
  | BELL { $$ = pseudoWord(@1, $1, 29); }
  | BINARY { $$ = pseudoWord(@1, $1, 30); }
  | BLANK { $$ = pseudoWord(@1, $1, 31); }
  | BLINK { $$ = pseudoWord(@1, $1, 32); }
  | BLOCK { $$ = pseudoWord(@1, $1, 33); }
  | BOTTOM { $$ = pseudoWord(@1, $1, 34); }
  | BY { $$ = pseudoWord(@1, $1, 35); }
  | CD { $$ = pseudoWord(@1, $1, 36); }
  | CF { $$ = pseudoWord(@1, $1, 37); }
  | CH { $$ = pseudoWord(@1, $1, 38); }
  | CHARACTER { $$ = pseudoWord(@1, $1, 39); }
  | CHARACTERS { $$ = pseudoWord(@1, $1, 40); }
  | CODE { $$ = pseudoWord(@1, $1, 41); }
  | CODE_SET { $$ = pseudoWord(@1, $1, 42); }
  | COL { $$ = pseudoWord(@1, $1, 43); }
  | COLUMN { $$ = pseudoWord(@1, $1, 44); }
  | COMMUNICATION { $$ = pseudoWord(@1, $1, 45); }
  | COMPUTATIONAL { $$ = pseudoWord(@1, $1, 46); }
  | COMPUTATIONAL_0 { $$ = pseudoWord(@1, $1, 47); }
  | COMPUTATIONAL_1 { $$ = pseudoWord(@1, $1, 48); }
  | COMPUTATIONAL_11 { $$ = pseudoWord(@1, $1, 49); }
  | COMPUTATIONAL_12 { $$ = pseudoWord(@1, $1, 50); }
  | COMPUTATIONAL_2 { $$ = pseudoWord(@1, $1, 51); }
  | COMPUTATIONAL_3 { $$ = pseudoWord(@1, $1, 52); }
  | COMPUTATIONAL_4 { $$ = pseudoWord(@1, $1, 53); }
  | COMPUTATIONAL_5 { $$ = pseudoWord(@1, $1, 54); }
  | COMPUTATIONAL_6 { $$ = pseudoWord(@1, $1, 55); }
  | COMPUTATIONAL_7 { $$ = pseudoWord(@1, $1, 56); }
  | COMPUTATIONAL_8 { $$ = pseudoWord(@1, $1, 57); }
  | COMPUTATIONAL_X { $$ = pseudoWord(@1, $1, 58); }
  | CONTAIN { $$ = pseudoWord(@1, $1, 59); }
  | CONTAINS { $$ = pseudoWord(@1, $1, 60); }
  | CONTROL { $$ = pseudoWord(@1, $1, 61); }
  | CONTROLS { $$ = pseudoWord(@1, $1, 62); }
  | COPY { $$ = pseudoWord(@1, $1, 63); }
  | COUNT { $$ = pseudoWord(@1, $1, 64); }
  | CURRENT { $$ = pseudoWord(@1, $1, 65); }
  | CURSOR { $$ = pseudoWord(@1, $1, 66); }
  | DATA { $$ = pseudoWord(@1, $1, 67); }
  | DATA_SENSITIVE { $$ = pseudoWord(@1, $1, 68); }
  | DATE { $$ = pseudoWord(@1, $1, 69); }
  | DB { $$ = pseudoWord(@1, $1, 70); }
  | DB_DESCRIPTIONS { $$ = pseudoWord(@1, $1, 71); }
  | DB_KEY { $$ = pseudoWord(@1, $1, 72); }
  | DBCS { $$ = pseudoWord(@1, $1, 73); }
  | DELIMITER { $$ = pseudoWord(@1, $1, 74); }
  | DEPENDING { $$ = pseudoWord(@1, $1, 75); }
  | DESCENDING { $$ = pseudoWord(@1, $1, 76); }
  | DESTINATION { $$ = pseudoWord(@1, $1, 77); }
  | DETAIL { $$ = pseudoWord(@1, $1, 78); }
  | DICTIONARY { $$ = pseudoWord(@1, $1, 79); }
  | DISPLAY { $$ = pseudoWord(@1, $1, 80); }
  | DISPLAY_1 { $$ = pseudoWord(@1, $1, 81); }
  | DIVISION { $$ = pseudoWord(@1, $1, 82); }
  | DUPLICATES { $$ = pseudoWord(@1, $1, 83); }
  | DYNAMIC { $$ = pseudoWord(@1, $1, 84); }
  | EMPTY { $$ = pseudoWord(@1, $1, 85); }
  | EMPTY_CHECK { $$ = pseudoWord(@1, $1, 86); }
  | END { $$ = pseudoWord(@1, $1, 87); }
  | EOL { $$ = pseudoWord(@1, $1, 88); }
  | EOS { $$ = pseudoWord(@1, $1, 89); }
  | EQUAL { $$ = pseudoWord(@1, $1, 90); }
  | EQUALS { $$ = pseudoWord(@1, $1, 91); }
  | ERASE { $$ = pseudoWord(@1, $1, 92); }
  | ERROR { $$ = pseudoWord(@1, $1, 93); }
  | EXCEEDS { $$ = pseudoWord(@1, $1, 94); }
  | EXPIRATION { $$ = pseudoWord(@1, $1, 95); }
  | EXTERNAL { $$ = pseudoWord(@1, $1, 96); }
  | FAILURE { $$ = pseudoWord(@1, $1, 97); }
  | FALSE { $$ = pseudoWord(@1, $1, 98); }
  | FD { $$ = pseudoWord(@1, $1, 99); }
  | FEEDBACK { $$ = pseudoWord(@1, $1, 100); }
  | FIELD { $$ = pseudoWord(@1, $1, 101); }
  | FIELDS { $$ = pseudoWord(@1, $1, 102); }
  | FILE { $$ = pseudoWord(@1, $1, 103); }
  | FILE_ID { $$ = pseudoWord(@1, $1, 104); }
  | FILLER { $$ = pseudoWord(@1, $1, 105); }
  | FINAL { $$ = pseudoWord(@1, $1, 106); }
  | FIRST { $$ = pseudoWord(@1, $1, 107); }
  | FIXED { $$ = pseudoWord(@1, $1, 108); }
  | FOOTING { $$ = pseudoWord(@1, $1, 109); }
  | FOR { $$ = pseudoWord(@1, $1, 110); }
  | FOREGROUND_COLOR { $$ = pseudoWord(@1, $1, 111); }
  | FROM { $$ = pseudoWord(@1, $1, 112); }
  | FULL { $$ = pseudoWord(@1, $1, 113); }
  | FUNCTION { $$ = pseudoWord(@1, $1, 114); }
  | GENERATION { $$ = pseudoWord(@1, $1, 115); }
  | GLOBAL { $$ = pseudoWord(@1, $1, 116); }
  | GREATER { $$ = pseudoWord(@1, $1, 117); }
  | GRID { $$ = pseudoWord(@1, $1, 118); }
  | GROUP { $$ = pseudoWord(@1, $1, 119); }
  | HEADER { $$ = pseudoWord(@1, $1, 120); }
  | HEADING { $$ = pseudoWord(@1, $1, 121); }
  | HIGH_VALUE { $$ = pseudoWord(@1, $1, 122); }
  | HIGHLIGHT { $$ = pseudoWord(@1, $1, 123); }
  | I_O { $$ = pseudoWord(@1, $1, 124); }
  | ID { $$ = pseudoWord(@1, $1, 125); }
  | IN { $$ = pseudoWord(@1, $1, 126); }
  | INDEX { $$ = pseudoWord(@1, $1, 127); }
  | INDEXED { $$ = pseudoWord(@1, $1, 128); }
  | INDICATE { $$ = pseudoWord(@1, $1, 129); }
  | INITIAL { $$ = pseudoWord(@1, $1, 130); }
  | INPUT { $$ = pseudoWord(@1, $1, 131); }
  | IS { $$ = pseudoWord(@1, $1, 132); }
  | JUSTIFIED { $$ = pseudoWord(@1, $1, 133); }
  | KEY { $$ = pseudoWord(@1, $1, 134); }
  | LABEL { $$ = pseudoWord(@1, $1, 135); }
  | LABELS { $$ = pseudoWord(@1, $1, 136); }
  | LAST { $$ = pseudoWord(@1, $1, 137); }
  | LD { $$ = pseudoWord(@1, $1, 138); }
  | LEADING { $$ = pseudoWord(@1, $1, 139); }
  | LEFT { $$ = pseudoWord(@1, $1, 140); }
  | LEFTLINE { $$ = pseudoWord(@1, $1, 141); }
  | LENGTH { $$ = pseudoWord(@1, $1, 142); }
  | LENGTH_CHECK { $$ = pseudoWord(@1, $1, 143); }
  | LESS { $$ = pseudoWord(@1, $1, 144); }
  | LIMIT { $$ = pseudoWord(@1, $1, 145); }
  | LIMITS { $$ = pseudoWord(@1, $1, 146); }
  | LINAGE { $$ = pseudoWord(@1, $1, 147); }
  | LINE { $$ = pseudoWord(@1, $1, 148); }
  | LINES { $$ = pseudoWord(@1, $1, 149); }
  | LINKAGE { $$ = pseudoWord(@1, $1, 150); }
  | LOCAL_STORAGE { $$ = pseudoWord(@1, $1, 151); }
  | LOW_VALUE { $$ = pseudoWord(@1, $1, 152); }
  | LOWLIGHT { $$ = pseudoWord(@1, $1, 153); }
  | MATCH { $$ = pseudoWord(@1, $1, 154); }
  | MATCHES { $$ = pseudoWord(@1, $1, 155); }
  | MEMBER { $$ = pseudoWord(@1, $1, 156); }
  | MERIT { $$ = pseudoWord(@1, $1, 157); }
  | MESSAGE { $$ = pseudoWord(@1, $1, 158); }
  | METACLASS { $$ = pseudoWord(@1, $1, 159); }
  | MODE { $$ = pseudoWord(@1, $1, 160); }
  | MULTIPLE { $$ = pseudoWord(@1, $1, 161); }
  | NATIVE { $$ = pseudoWord(@1, $1, 162); }
  | NEGATIVE { $$ = pseudoWord(@1, $1, 163); }
  | NEXT { $$ = pseudoWord(@1, $1, 164); }
  | NO_ECHO { $$ = pseudoWord(@1, $1, 165); }
  | NODE { $$ = pseudoWord(@1, $1, 166); }
  | NOT { $$ = pseudoWord(@1, $1, 167); }
  | NULL_ { $$ = pseudoWord(@1, $1, 168); }
  | NULLS { $$ = pseudoWord(@1, $1, 169); }
  | NUMBER { $$ = pseudoWord(@1, $1, 170); }
  | NUMERIC { $$ = pseudoWord(@1, $1, 171); }
  | OBJECT { $$ = pseudoWord(@1, $1, 172); }
  | OCCURRENCE { $$ = pseudoWord(@1, $1, 173); }
  | OCCURS { $$ = pseudoWord(@1, $1, 174); }
  | OF { $$ = pseudoWord(@1, $1, 175); }
  | OFF { $$ = pseudoWord(@1, $1, 176); }
  | OFFSET { $$ = pseudoWord(@1, $1, 177); }
  | OMITTED { $$ = pseudoWord(@1, $1, 178); }
  | ON { $$ = pseudoWord(@1, $1, 179); }
  | OR { $$ = pseudoWord(@1, $1, 180); }
  | OUTPUT { $$ = pseudoWord(@1, $1, 181); }
  | OVERLINE { $$ = pseudoWord(@1, $1, 182); }
  | OWNER { $$ = pseudoWord(@1, $1, 183); }
  | PACKED_DECIMAL { $$ = pseudoWord(@1, $1, 184); }
  | PAD { $$ = pseudoWord(@1, $1, 185); }
  | PAGE { $$ = pseudoWord(@1, $1, 186); }
  | PARTIAL { $$ = pseudoWord(@1, $1, 187); }
  | PASSWORD { $$ = pseudoWord(@1, $1, 188); }
  | PF { $$ = pseudoWord(@1, $1, 189); }
  | PH { $$ = pseudoWord(@1, $1, 190); }
  | PICTURE { $$ = pseudoWord(@1, $1, 191); }
  | PLUS { $$ = pseudoWord(@1, $1, 192); }
  | POINTER { $$ = pseudoWord(@1, $1, 193); }
  | POSITIVE { $$ = pseudoWord(@1, $1, 194); }
  | PRIVACY { $$ = pseudoWord(@1, $1, 195); }
  | PROCEDURE_POINTER { $$ = pseudoWord(@1, $1, 196); }
  | PROCEDURES { $$ = pseudoWord(@1, $1, 197); }
  | PROMPT { $$ = pseudoWord(@1, $1, 198); }
  | QUEUE { $$ = pseudoWord(@1, $1, 199); }
  | QUOTE { $$ = pseudoWord(@1, $1, 200); }
  | RANDOM { $$ = pseudoWord(@1, $1, 201); }
  | RD { $$ = pseudoWord(@1, $1, 202); }
  | REALMS { $$ = pseudoWord(@1, $1, 203); }
  | RECORD { $$ = pseudoWord(@1, $1, 204); }
  | RECORDING { $$ = pseudoWord(@1, $1, 205); }
  | RECORDS { $$ = pseudoWord(@1, $1, 206); }
  | REDEFINES { $$ = pseudoWord(@1, $1, 207); }
  | REFERENCE { $$ = pseudoWord(@1, $1, 208); }
  | RELATIVE { $$ = pseudoWord(@1, $1, 209); }
  | RENAMES { $$ = pseudoWord(@1, $1, 210); }
  | REPLACE { $$ = pseudoWord(@1, $1, 211); }
  | REPLACING { $$ = pseudoWord(@1, $1, 212); }
  | REPORT { $$ = pseudoWord(@1, $1, 213); }
  | REPORTS { $$ = pseudoWord(@1, $1, 214); }
  | REQUIRED { $$ = pseudoWord(@1, $1, 215); }
  | RESET { $$ = pseudoWord(@1, $1, 216); }
  | REVERSE_VIDEO { $$ = pseudoWord(@1, $1, 217); }
  | RF { $$ = pseudoWord(@1, $1, 218); }
  | RH { $$ = pseudoWord(@1, $1, 219); }
  | RIGHT { $$ = pseudoWord(@1, $1, 220); }
  | SCREEN { $$ = pseudoWord(@1, $1, 221); }
  | SD { $$ = pseudoWord(@1, $1, 222); }
  | SECTION { $$ = pseudoWord(@1, $1, 223); }
  | SECURE { $$ = pseudoWord(@1, $1, 224); }
  | SELF { $$ = pseudoWord(@1, $1, 225); }
  | SEPARATE { $$ = pseudoWord(@1, $1, 226); }
  | SEQUENCE { $$ = pseudoWord(@1, $1, 227); }
  | SEQUENTIAL { $$ = pseudoWord(@1, $1, 228); }
  | SET { $$ = pseudoWord(@1, $1, 229); }
  | SIGN { $$ = pseudoWord(@1, $1, 230); }
  | SIZE { $$ = pseudoWord(@1, $1, 231); }
  | SOURCE { $$ = pseudoWord(@1, $1, 232); }
  | SPACE { $$ = pseudoWord(@1, $1, 233); }
  | STANDARD { $$ = pseudoWord(@1, $1, 234); }
  | STANDARD_1 { $$ = pseudoWord(@1, $1, 235); }
  | START { $$ = pseudoWord(@1, $1, 236); }
  | STATUS { $$ = pseudoWord(@1, $1, 237); }
  | SUB_QUEUE_1 { $$ = pseudoWord(@1, $1, 238); }
  | SUB_QUEUE_2 { $$ = pseudoWord(@1, $1, 239); }
  | SUB_QUEUE_3 { $$ = pseudoWord(@1, $1, 240); }
  | SUB_SCHEMA { $$ = pseudoWord(@1, $1, 241); }
  | SUBSCHEMA { $$ = pseudoWord(@1, $1, 242); }
  | SUCCESS { $$ = pseudoWord(@1, $1, 243); }
  | SUM { $$ = pseudoWord(@1, $1, 244); }
  | SUPPRESS { $$ = pseudoWord(@1, $1, 245); }
  | SYMBOLIC { $$ = pseudoWord(@1, $1, 246); }
  | SYNCHRONIZED { $$ = pseudoWord(@1, $1, 247); }
  | TABLE { $$ = pseudoWord(@1, $1, 248); }
  | TENANT { $$ = pseudoWord(@1, $1, 249); }
  | TERMINAL { $$ = pseudoWord(@1, $1, 250); }
  | TEXT { $$ = pseudoWord(@1, $1, 251); }
  | THAN { $$ = pseudoWord(@1, $1, 252); }
  | THROUGH { $$ = pseudoWord(@1, $1, 253); }
  | TIME { $$ = pseudoWord(@1, $1, 254); }
  | TIMES { $$ = pseudoWord(@1, $1, 255); }
  | TO { $$ = pseudoWord(@1, $1, 256); }
  | TOP { $$ = pseudoWord(@1, $1, 257); }
  | TRAILER { $$ = pseudoWord(@1, $1, 258); }
  | TRAILING { $$ = pseudoWord(@1, $1, 259); }
  | TYPE { $$ = pseudoWord(@1, $1, 260); }
  | UNDEFINED { $$ = pseudoWord(@1, $1, 261); }
  | UNDERLINE { $$ = pseudoWord(@1, $1, 262); }
  | UNEQUAL { $$ = pseudoWord(@1, $1, 263); }
  | UPON { $$ = pseudoWord(@1, $1, 264); }
  | USAGE { $$ = pseudoWord(@1, $1, 265); }
  | USER { $$ = pseudoWord(@1, $1, 266); }
  | USING { $$ = pseudoWord(@1, $1, 267); }
  | VALUE { $$ = pseudoWord(@1, $1, 268); }
  | VALUES { $$ = pseudoWord(@1, $1, 269); }
  | VARIABLE { $$ = pseudoWord(@1, $1, 270); }
  | VARYING { $$ = pseudoWord(@1, $1, 271); }
  | VIRTUAL { $$ = pseudoWord(@1, $1, 272); }
  | VIRTUAL_STORAGE { $$ = pseudoWord(@1, $1, 273); }
  | VOLUME { $$ = pseudoWord(@1, $1, 274); }
  | WHEN { $$ = pseudoWord(@1, $1, 275); }
  | WITH { $$ = pseudoWord(@1, $1, 276); }
  | WITHIN { $$ = pseudoWord(@1, $1, 277); }
  | WORKING_STORAGE { $$ = pseudoWord(@1, $1, 278); }
  | ZERO { $$ = pseudoWord(@1, $1, 279); }
  | ZERO_FILL { $$ = pseudoWord(@1, $1, 280); }
  | ZEROS { $$ = pseudoWord(@1, $1, 281); }
  | EqualSign { $$ = pseudoWord(@1, $1, 282); }
  | LessSign { $$ = pseudoWord(@1, $1, 283); }
  | GreaterSign { $$ = pseudoWord(@1, $1, 284); }
  | LParen { $$ = pseudoWord(@1, $1, 285); }
  | RParen { $$ = pseudoWord(@1, $1, 286); }
  | PlusSign { $$ = pseudoWord(@1, $1, 287); }
  | NotEqualSign { $$ = pseudoWord(@1, $1, 288); }
  | GreaterEqualSign { $$ = pseudoWord(@1, $1, 289); }
  | LessEqualSign { $$ = pseudoWord(@1, $1, 290); }
  | Level66 { $$ = pseudoWord(@1, $1, 291); }
  | Level77 { $$ = pseudoWord(@1, $1, 292); }
  | Level78 { $$ = pseudoWord(@1, $1, 293); }
  | Level88 { $$ = pseudoWord(@1, $1, 294); }
  | MinusSign { $$ = pseudoWord(@1, $1, 295); }
  | Colon { $$ = pseudoWord(@1, $1, 296); }
  | Ampersand { $$ = pseudoWord(@1, $1, 297); }
  | Power { $$ = pseudoWord(@1, $1, 298); }
  | Star { $$ = pseudoWord(@1, $1, 299); }
  | Slash { $$ = pseudoWord(@1, $1, 300); }
  | Comma { $$ = pseudoWord(@1, $1, 302); }
  | Semicolon { $$ = pseudoWord(@1, $1, 303); }
  | name_in_area_A { $$ = pseudoWord(@1, $1, 304); }
  | picture_dot { $$ = pseudoWord(@1, $1, 305); }
  | end_of_picture { $$ = pseudoWord(@1, $1, 306); }
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
  | FIRST DETAIL opt_is report_integer   { $$ = pagePhrase(cwFirstDetail, $4); }
  | LAST DETAIL opt_is report_integer    { $$ = pagePhrase(cwLastDetail, $4); }
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
        $$ = mg_picture(NoTree, @$.first, @$.last, state.picturePos, state.pictureEnd,
                        PutString(state.pictureValue.data(), state.pictureValue.size()));
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
  | RH                { $$ = cwRH; }
  | PAGE HEADING      { $$ = cwPageHeading; }
  | PH                { $$ = cwPH; }
  | DETAIL            { $$ = $1.Spelling != NoIdent && LengthIdent($1.Spelling) == 2 ? cwDE : cwDetail; }
  | PAGE FOOTING      { $$ = cwPageFooting; }
  | PF                { $$ = cwPF; }
  | REPORT FOOTING    { $$ = cwReportFooting; }
  | RF                { $$ = cwRF; }
  ;

control_type
  : CONTROL HEADING   { $$ = cwControlHeading; }
  | CH                { $$ = cwCH; }
  | CONTROL FOOTING   { $$ = cwControlFooting; }
  | CF                { $$ = cwCF; }
  ;

control_ref
  : FINAL             { $$ = noExpression(); }
  | data_ref
  ;

/* LINE PLUS n; the absolute forms are read by group_line. */
line_clause
  : LINE opt_number opt_is PLUS report_integer   { $$ = lineClause(@$, cwPlusOp, $5); }
  | LINE opt_number opt_is plus_integer          { $$ = lineClause(@$, cwPlusOp, $4); }
  ;

next_group_clause
  : NEXT GROUP opt_is report_integer        { $$ = nextGroupClause(@$, cwLineNumber, &$4); }
  | NEXT GROUP opt_is PLUS report_integer   { $$ = nextGroupClause(@$, cwPlusOp, &$5); }
  | NEXT GROUP opt_is plus_integer          { $$ = nextGroupClause(@$, cwPlusOp, &$4); }
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
  static const std::vector<int> codes = kindToCode();
  return codes;
}

void yyerror(YYLTYPE *location, const char *) {
  // Bison calls this only when its stacks cannot grow.
  ErrorMessageI(xxOutOfMemory, xxFatal, location->first, xxString, "Parser");
}

} // namespace

static int yyreport_syntax_error(const yypcontext_t *context) {
  const tPosition where = yypcontext_location(context)->first;
  ++state.syntaxErrors;
  state.lastError = where;
  ErrorMessage(xxSyntaxError, xxError, where);

  const int found = terminalCodes()[static_cast<std::size_t>(yypcontext_token(context))];
  const char *foundName = yyGetTokenName(found);
  ErrorMessageI(xxTokenFound, xxInformation, where, xxString, foundName);

  std::vector<yysymbol_kind_t> kinds(YYNTOKENS);
  const int count = yypcontext_expected_tokens(context, kinds.data(), YYNTOKENS);
  std::vector<int> codes;
  for (int i = 0; i < count; ++i) codes.push_back(terminalCodes()[static_cast<std::size_t>(kinds[static_cast<std::size_t>(i)])]);
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
  const int code = GetToken();
  value->tok = Attribute;
  location->first = Attribute.Position;
  location->last = Attribute.Position;
  state.currentCode = code;
  return code;
}

const char *yyGetTokenName(int code) {
  static const std::vector<std::string> names = [] {
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
  }();
  if (code < 0 || code > MaxTerminal || names[static_cast<std::size_t>(code)].empty())
    return "_unknown_";
  return names[static_cast<std::size_t>(code)].c_str();
}

void BeginParser() {
  state = ParserState{};
  TreeRoot = NoTree;
}

int Parser2(int) {
  BeginParser();
  yyparse();
  // A parse that could not recover still leaves a root for the driver.
  if (!Tree_IsType(TreeRoot, kdata_division)) makeRoot(Sections{});
  return state.syntaxErrors;
}

int Parser() { return Parser2(ParserStartDivision); }

void CloseParser() {
  state.pictureValue = std::string();
  state.pictureString = std::string();
}

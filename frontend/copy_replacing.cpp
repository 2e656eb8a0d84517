// COPY ... REPLACING and REPLACE: the token stage that replaces text in memory.
#include "frontend/copy_replacing.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "diagnostics/message_store.h"
#include "frontend/copy_inclusion.h"
#include "frontend/copy_statement_parser.h"
#include "frontend/keywords.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "support/run_state.h"
#include "support/string_memory.h"

namespace {

enum class Mode { Plain, Leading, Trailing };

enum class Kind { Word, Integer, Real, Literal, Text };

// One token of an operand to find.
struct FindToken {
  Kind kind;
  tIdent word; // Word: the normalised word
  std::string
      text; // Word: normalised text; Integer, Real, Literal: as written; Text: its characters
  std::string written; // the text as written, for output
  tPosition begin;     // NoPosition when the operand does not say
  tPosition end;
  int white; // 1: preceded by white space, 0: not, -1: either
};

struct Pair {
  std::vector<FindToken> find;
  tTree by;
  Mode mode;
};

// A place in the replaced text as it is laid out: the line and column the
// characters would have if the text were written out with the layout of its
// source.
struct Place {
  std::uint32_t line = 1;
  std::uint32_t column = 1;
  auto operator<=>(const Place &) const = default;
};

// How the characters of a piece are reported: at their place moved by these
// amounts, in `file`. A source token is reported exactly where it stands; the
// characters of a replacement keep their offsets from the first token they
// replace, over line ends too.
struct Shift {
  tIdent file = NoIdent;
  int lines = 0;
  int columns = 0;
  bool operator==(const Shift &) const = default;
};

// A source token read for the replaced text, waiting to be matched.
struct WindowToken {
  int code;
  tScanAttribute a;
  bool white;         // preceded by white space
  bool end;           // the end marker
  bool silent;        // not written (the period that the line end of *INCLURE gives)
  std::size_t before; // how it was read: indices into state().modes
  std::size_t after;
};

// One piece of the replaced text: a source token, or the text a pair put in
// place of the tokens it matched.
struct Piece {
  bool replacement = false;
  int code = 0; // source token
  tScanAttribute a{};
  bool silent = false;
  std::size_t readBefore = 0, readAfter = 0; // how it was read: indices into state().modes
  std::string text;        // layout (blanks, line ends), then the piece's own characters
  std::size_t written = 0; // where its own characters begin in `text`
  Place start;             // first character of `text`
  Place own;               // first own character
  Place last;              // last own character
  Place end;               // after the last character
  bool shifts = false;     // `shift` starts at `own` (else the shift before goes on)
  Shift shift;             // for the own characters
  Shift after;             // replacement: for what follows it
};

struct ReplaceState {
  // Reading the affected text.
  bool replacing = false;    // to be read, or being read
  bool readingEnded = false; // its end was reached (or a REPLACE ended it)
  int replacingLevel = 0;
  tIdent file = NoIdent;
  std::vector<Pair> pairs;
  std::vector<WindowToken> window;
  std::size_t first = 0;
  tPosition previousEnd = NoPosition;
  bool suspendedMatch = false;
  // Scan modes, each noted once when it changes: tokens refer to them.
  std::vector<tScanMode> modes;
  // How the tokens read by the COPY-statement parser were read, in order.
  std::vector<std::pair<std::size_t, std::size_t>> readModes;
  // Messages about the affected text: a scan from memory reads some of it
  // again and must not report them twice.
  std::vector<std::pair<tIdent, tPosition>> messages;

  // The layout of the replaced text.
  std::vector<Piece> pieces;
  Place place; // where the next character goes
  std::uint32_t rememberedLine = 0;
  Shift shift; // the shift in force

  // Handing the replaced text to the parser.
  bool serving = false;
  // The copy level the served text stands for: one deeper than the level it
  // was read at (a replaced text is read as a nested text), and deeper than
  // any replaced text it was itself read from. COPY statements in the text
  // nest on top of it, so a copybook that copies itself under REPLACE ends
  // at the nesting limit even though the files it was read from are closed.
  int textLevel = 0;
  std::size_t next = 0; // the next piece to hand over as it is
  bool endChecked = false;
  Place finalPlace;       // the line end that closes the text
  Place endPlace;         // after it
  tScanContext context{}; // in force while the replaced text is parsed
  // The scan from memory.
  bool scanning = false;
  std::size_t scanFirst = 0; // its first piece
  std::size_t fed = 0;       // pieces handed to it so far
  bool finalFed = false;
  bool scanAtLineStart = false; // its first line is a whole line
  std::string carry;            // a line not yet complete
  std::size_t probe = 0;

  // A REPLACE that ended the affected text, to deliver after it.
  bool pending = false;
  WindowToken pendingToken{};
};
constexpr RunSlot<ReplaceState> state{RunSlotId::copyReplacing};

// ---- operands -------------------------------------------------------------

bool isWordText(const std::string &text) {
  if (text.empty())
    return false;
  for (char c : text)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '$'))
      return false;
  return true;
}

std::string normalised(const std::string &text) {
  std::string result = text;
  for (char &c : result) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
    else if (c == '_')
      c = '-';
  }
  return result;
}

// Operators and special characters as pseudo-text holds them.
bool isOperatorText(const std::string &text) {
  static const char *const operators[] = {".",  "=",  "<",  ">",  "(",  ")",  "+",  "-",
                                          ":",  "&",  "*",  "/",  "<>", ">=", "<=", "**",
                                          "66", "77", "78", "88", "==", ",",  ";"};
  for (const char *op : operators)
    if (text == op)
      return true;
  return false;
}

// All bytes of a stored text: literals and pseudo-text may hold NUL bytes,
// which must take part in matching and replacing.
std::string stringText(tStringRef text) {
  return text != nullptr ? std::string(StGetCStr(text), LengthSt(text)) : "";
}

FindToken makeToken(Kind kind, const std::string &text, const std::string &written, tPosition begin,
                    tPosition end) {
  FindToken token{kind, NoIdent, text, written, begin, end, -1};
  if (kind == Kind::Word)
    token.word = MakeIdent(text.c_str());
  return token;
}

FindToken wordToken(tIdent word, tIdent spelling, tPosition begin, tPosition end) {
  std::string text = GetCStr(word);
  FindToken token =
      makeToken(Kind::Word, text, spelling != NoIdent ? GetCStr(spelling) : text, begin, end);
  token.word = word;
  return token;
}

// Pseudo-text read as terminals holds the picture terminals by their names:
// picture_dot stands for ".", end_of_picture for nothing.
FindToken textToken(std::string text, tPosition begin, tPosition end) {
  if (text == TerminalName(tok::picture_dot))
    text.assign(1, '.');
  // The parser gives the begin of a terminal as its end; a one-line text
  // ends where its last character is.
  if (end.Line == 0 || Compare(begin, end) == 0) {
    end = begin;
    if (begin.Line != 0 && !text.empty() && text.find('\n') == std::string::npos)
      end.Column = static_cast<std::uint16_t>(begin.Column + text.size() - 1);
  }
  if (isOperatorText(text))
    return makeToken(Kind::Text, text, text, begin, end);
  if (isWordText(text))
    return makeToken(Kind::Word, normalised(text), text, begin, end);
  return makeToken(Kind::Text, text, text, begin, end);
}

void appendTokens(tTree node, std::vector<FindToken> &tokens);

void appendList(tTree list, std::vector<FindToken> &tokens) {
  for (tTree element = list; auto *e = as_if<tree::expression>(element); element = e->next)
    appendTokens(e->expression, tokens);
}

void appendTokens(tTree node, std::vector<FindToken> &tokens) {
  if (node == NoTree)
    return;
  if (is<tree::expression_l>(node)) {
    appendList(node, tokens);
  } else if (auto *n = as_if<tree::name>(node)) {
    tokens.push_back(wordToken(n->name, n->spelling, n->bpos, n->epos));
  } else if (auto *q = as_if<tree::qualification>(node)) {
    tPosition end = q->pos1.Line != 0 ? q->pos1 : NoPosition;
    if (end.Line != 0)
      end.Column = static_cast<std::uint16_t>(q->bpos.Column + LengthIdent(q->name) - 1);
    tokens.push_back(
        wordToken(q->name, q->spelling, q->bpos, q->bpos.Line == q->pos1.Line ? end : NoPosition));
    const char *word = q->of ? "OF" : "IN";
    tPosition wordEnd = q->pos1;
    if (wordEnd.Line != 0)
      ++wordEnd.Column;
    tokens.push_back(makeToken(Kind::Word, word, word, q->pos1, wordEnd));
    appendTokens(q->qualification, tokens);
  } else if (auto *s = as_if<tree::subscription>(node)) {
    appendTokens(s->qualification, tokens);
    tokens.push_back(makeToken(Kind::Text, "(", "(", s->pos1, s->pos1));
    appendList(s->index_l, tokens);
    tokens.push_back(makeToken(Kind::Text, ")", ")", NoPosition, NoPosition));
  } else if (auto *r = as_if<tree::ref_modification>(node)) {
    appendTokens(r->subscription, tokens);
    tokens.push_back(makeToken(Kind::Text, "(", "(", r->pos0, r->pos0));
    appendList(r->reference_modifier, tokens);
    tokens.push_back(makeToken(Kind::Text, ")", ")", r->pos1, r->pos1));
  } else if (auto *f = as_if<tree::function_call>(node)) {
    tokens.push_back(makeToken(Kind::Word, "FUNCTION", "FUNCTION", f->bpos, NoPosition));
    tokens.push_back(wordToken(f->name, f->spelling, f->pos, f->epos1));
    if (is<tree::expression>(f->expression_l)) {
      tokens.push_back(makeToken(Kind::Text, "(", "(", f->pos1, f->pos1));
      appendList(f->expression_l, tokens);
      tokens.push_back(makeToken(Kind::Text, ")", ")", NoPosition, NoPosition));
    }
  } else if (auto *u = as_if<tree::unary>(node)) {
    std::string words = u->operator_ < CobolWordCount ? cobol_word[u->operator_] : "";
    std::size_t blank = words.find(' ');
    tokens.push_back(
        makeToken(Kind::Word, words.substr(0, blank), words.substr(0, blank), u->pos, NoPosition));
    if (blank != std::string::npos)
      tokens.push_back(makeToken(Kind::Word, words.substr(blank + 1), words.substr(blank + 1),
                                 NoPosition, u->epos1));
    appendTokens(u->expression, tokens);
  } else if (auto *i = as_if<tree::integer>(node)) {
    std::string text = stringText(i->String);
    tokens.push_back(makeToken(Kind::Integer, text, text, i->bpos, i->epos));
  } else if (auto *re = as_if<tree::real>(node)) {
    std::string text = stringText(re->String);
    tokens.push_back(makeToken(Kind::Real, text, text, re->bpos, re->epos));
  } else if (auto *st = as_if<tree::string>(node)) {
    std::string text = stringText(st->String);
    tokens.push_back(makeToken(Kind::Literal, text, text, st->bpos, st->epos));
  } else if (auto *fig = as_if<tree::figurative_literal>(node)) {
    std::string text = fig->keyword < CobolWordCount ? cobol_word[fig->keyword] : "";
    tokens.push_back(makeToken(Kind::Word, text, text, fig->bpos, fig->epos));
  } else if (auto *p = as_if<tree::pseudo_text>(node)) {
    std::string text = stringText(p->Value);
    if (!text.empty() && text != TerminalName(tok::end_of_picture))
      tokens.push_back(textToken(text, p->bpos, p->epos));
  }
}

// The tokens to find for an operand (pseudo-text read as tokens, an
// identifier, a literal or a word), in source order: one per word, literal
// and operator. Qualifiers give "OF" or "IN" words, subscripts and reference
// modifiers their parentheses, ":" and contents, FUNCTION and LENGTH OF their
// words. Pseudo-text elements that hold a word become words, the others text.
std::vector<FindToken> findTokens(tTree operand) {
  std::vector<FindToken> tokens;
  appendTokens(operand, tokens);
  return tokens;
}

// Marks the tokens from the second on: 1 when a token does not begin in the
// column right after the end of the previous one on the same line and file,
// else 0; -1 when a position is not known.
void computeWhiteSpace(std::vector<FindToken> &tokens) {
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const tPosition &end = tokens[i - 1].end;
    const tPosition &begin = tokens[i].begin;
    if (end.Line == 0 || begin.Line == 0) {
      tokens[i].white = -1;
      continue;
    }
    bool adjacent =
        end.File == begin.File && end.Line == begin.Line && begin.Column == end.Column + 1;
    tokens[i].white = adjacent ? 0 : 1;
  }
}

bool isKeyword(int code) { return code >= 14 && code <= 281; }

// The text a token is written as.
std::string tokenText(const WindowToken &t) {
  const tScanAttribute &a = t.a;
  switch (t.code) {
  case tok::name:
  case tok::name_in_area_A:
    // A name that got the include prefix is written with it.
    return GetCStr(a.Prefixed || a.Spelling == NoIdent ? a.Word : a.Spelling);
  case tok::paragraph_name:
    return GetCStr(a.Word);
  case tok::level_number:
    if (a.Increment != 0) {
      char text[16];
      std::snprintf(text, sizeof text, "%02ld", a.Value + a.Increment);
      return text;
    }
    return stringText(a.Text);
  case tok::unsigned_integer:
  case tok::plus_integer:
  case tok::minus_integer:
  case tok::real:
  case tok::string:
  case tok::pseudo_text:
  case tok::Level66:
  case tok::Level77:
  case tok::Level78:
  case tok::Level88:
    return stringText(a.Text);
  case tok::illegal_character:
    return std::string(1, a.Character);
  case tok::picture_dot:
    return ".";
  case tok::end_of_picture:
    return "";
  default:
    break;
  }
  if (isKeyword(t.code))
    return GetCStr(a.Word != NoIdent ? a.Word : MakeIdent(TerminalName(t.code)));
  return TerminalName(t.code);
}

// The text of a replacement that is not pseudo-text.
std::string treeText(tTree node) {
  if (node == NoTree)
    return "";
  if (auto *p = as_if<tree::pseudo_text>(node))
    return stringText(p->Value);
  if (auto *n = as_if<tree::name>(node))
    return GetCStr(n->spelling != NoIdent ? n->spelling : n->name);
  if (auto *q = as_if<tree::qualification>(node))
    return std::string(GetCStr(q->spelling != NoIdent ? q->spelling : q->name)) +
           (q->of ? " OF " : " IN ") + treeText(q->qualification);
  if (auto *i = as_if<tree::integer>(node))
    return stringText(i->String);
  if (auto *r = as_if<tree::real>(node))
    return stringText(r->String);
  if (auto *s = as_if<tree::string>(node))
    return stringText(s->String);
  if (auto *f = as_if<tree::figurative_literal>(node))
    return f->keyword < CobolWordCount ? cobol_word[f->keyword] : "";
  std::vector<FindToken> tokens;
  appendTokens(node, tokens);
  computeWhiteSpace(tokens);
  std::string text;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const FindToken &t = tokens[i];
    bool glued =
        i > 0 && (t.white == 0 ||
                  (t.white < 0 && (t.text == "(" || t.text == ")" || tokens[i - 1].text == "(")));
    if (i > 0 && !glued)
      text += ' ';
    text += t.written;
  }
  return text;
}

std::string withoutDelimiters(const std::string &literal) {
  std::size_t begin = 0;
  if (literal.size() >= 2 && std::isalpha(static_cast<unsigned char>(literal[0])) &&
      (literal[1] == '"' || literal[1] == '\''))
    begin = 1;
  if (begin < literal.size() && (literal[begin] == '"' || literal[begin] == '\'')) {
    char quote = literal[begin];
    ++begin;
    std::size_t end = literal.size();
    if (end > begin && literal[end - 1] == quote)
      --end;
    return literal.substr(begin, end - begin);
  }
  return literal;
}

// ---- matching -------------------------------------------------------------

// The text that LEADING and TRAILING compare: names normalised, numbers and
// literals as written, keywords and operators by their terminal name.
std::string affixText(const WindowToken &t) {
  switch (t.code) {
  case tok::name:
  case tok::paragraph_name:
    return GetCStr(t.a.Word);
  case tok::unsigned_integer:
  case tok::plus_integer:
  case tok::minus_integer:
  case tok::level_number:
  case tok::real:
  case tok::string:
  case tok::pseudo_text:
    return stringText(t.a.Text);
  case tok::illegal_character:
    return std::string(1, t.a.Character);
  default:
    return TerminalName(t.code);
  }
}

// The source token as written, for the part that LEADING or TRAILING keeps.
std::string writtenText(const WindowToken &t) {
  std::string affix = affixText(t);
  if (t.code == tok::name && !t.a.Prefixed && t.a.Spelling != NoIdent) {
    std::string spelling = GetCStr(t.a.Spelling);
    if (spelling.size() == affix.size())
      return spelling;
  }
  return affix;
}

bool isIntegerCode(int code) {
  return code == tok::unsigned_integer || code == tok::plus_integer || code == tok::minus_integer ||
         code == tok::level_number;
}

bool matches(const FindToken &find, const WindowToken &t) {
  switch (find.kind) {
  case Kind::Word:
    if (t.code == tok::name || t.code == tok::paragraph_name)
      return t.a.Word == find.word;
    if (t.code == tok::unsigned_integer || t.code == tok::level_number)
      return stringText(t.a.Text) == find.text;
    return isKeyword(t.code) && t.a.Word == find.word;
  case Kind::Integer:
    return isIntegerCode(t.code) && stringText(t.a.Text) == find.text;
  case Kind::Real:
    return t.code == tok::real && stringText(t.a.Text) == find.text;
  case Kind::Literal:
    if (t.code == tok::string)
      return stringText(t.a.Text) == find.text;
    return t.code == tok::name && GetCStr(t.a.Word) == withoutDelimiters(find.text);
  case Kind::Text:
    if (t.code == tok::illegal_character)
      return find.text.size() == 1 && find.text[0] == t.a.Character;
    if (t.code == tok::Period || t.code == tok::PseudoDelimiter ||
        (t.code >= tok::EqualSign && t.code <= tok::Slash))
      return find.text == TerminalName(t.code);
    return false;
  }
  return false;
}

bool matchesAffix(const FindToken &find, const WindowToken &t, Mode mode, std::size_t &length) {
  const std::string &pattern = find.text;
  std::string text = affixText(t);
  if (pattern.empty() || pattern.size() > text.size())
    return false;
  bool ok = mode == Mode::Leading
                ? text.compare(0, pattern.size(), pattern) == 0
                : text.compare(text.size() - pattern.size(), pattern.size(), pattern) == 0;
  if (ok)
    length = pattern.size();
  return ok;
}

bool isSeparator(const WindowToken &t) {
  return !t.end && (t.code == tok::Comma || t.code == tok::Semicolon);
}

// ---- the layout -------------------------------------------------------------
// The replaced text is laid out as it would be written with the layout of its
// source: a token preceded by white space goes to its source line and column
// as far as the text written before has not passed them, a new source line
// starts a new line. Where the parser sees a piece as a whole this decides
// nothing but the positions of replacement texts; where a piece is scanned
// again, the layout is the text that is scanned.

Piece &newPiece() {
  Piece &piece = state().pieces.emplace_back();
  piece.start = piece.own = piece.last = piece.end = state().place;
  piece.shift = piece.after = state().shift;
  return piece;
}

void put(char c) {
  state().pieces.back().text.push_back(c);
  if (c == '\n') {
    ++state().place.line;
    state().place.column = 1;
  } else if (c == '\t') {
    state().place.column = ((state().place.column - 1) | 7) + 2;
  } else {
    ++state().place.column;
  }
}

void putText(const std::string &text) {
  for (char c : text)
    put(c);
}

void layout(const tPosition &position, bool white) {
  if (!white)
    return;
  put(' ');
  if (position.File != state().shift.file)
    state().rememberedLine = 0;
  if (position.Line != state().rememberedLine && position.Line < state().place.line) {
    put('\n');
    state().rememberedLine = position.Line;
  }
  while (state().place.line < position.Line)
    put('\n');
  while (state().place.column < position.Column)
    put(' ');
}

// Characters from here on are reported relative to `position`.
void shiftTo(const tPosition &position) {
  if (position.Line == 0)
    return;
  state().shift =
      Shift{position.File, static_cast<int>(position.Line) - static_cast<int>(state().place.line),
            static_cast<int>(position.Column) - static_cast<int>(state().place.column)};
}

// The piece's own characters begin: they stand for `position`.
void beginOwn(const tPosition &position) {
  Piece &piece = state().pieces.back();
  shiftTo(position);
  piece.written = piece.text.size();
  piece.own = piece.last = state().place;
  piece.shifts = true;
  piece.shift = piece.after = state().shift;
}

void putOwn(const std::string &text) {
  Piece &piece = state().pieces.back();
  for (char c : text) {
    piece.last = state().place;
    put(c);
  }
}

void endPiece() { state().pieces.back().end = state().place; }

void writeExec(const WindowToken &t) {
  std::string text = "EXEC ";
  text += GetCStr(t.a.Word);
  // The first line is the position marker, which scanning makes anew.
  const tTextLine *line = t.a.Lines != nullptr ? t.a.Lines->next : nullptr;
  for (; line != nullptr; line = line->next)
    text += stringText(line->Value);
  text += "END-EXEC";
  putOwn(text);
}

void writeInclure(const WindowToken &t) {
  // The directive is a line of its own with its "*" in the indicator column.
  if (free_format()) {
    if (state().place.column != 1)
      put('\n');
  } else if (state().place.column != 7) {
    put('\n');
    putText("      ");
  }
  beginOwn(tPosition{t.a.Position.Line, static_cast<std::uint16_t>(t.a.Position.Column - 1),
                     t.a.Position.File});
  putOwn("*INCLURE");
}

void writeToken(const WindowToken &t) {
  Piece &piece = newPiece();
  piece.code = t.code;
  piece.a = t.a;
  piece.silent = t.silent;
  piece.readBefore = t.before;
  piece.readAfter = t.after;
  // The end of a picture and the line end of *INCLURE are no characters:
  // scanning the text again finds them where the text gives them.
  if (!t.silent && t.code != tok::end_of_picture) {
    if (t.code == tok::INCLURE) {
      // The directive's "*" stands in the column before the word.
      tPosition at = t.a.Position;
      if (at.Column > 1)
        --at.Column;
      layout(at, t.white);
      writeInclure(t);
    } else {
      layout(t.a.Position, t.white);
      beginOwn(t.a.Position);
      if (t.code == tok::EXECUTE)
        writeExec(t);
      else
        putOwn(tokenText(t));
    }
  }
  endPiece();
}

void writeReplacement(const Pair &pair, std::size_t end, std::size_t affix) {
  const WindowToken &first = state().window[state().first];
  const WindowToken &last = state().window[end - 1];
  newPiece().replacement = true;
  layout(first.a.Position, first.white);
  beginOwn(first.a.Position);
  std::string text = treeText(pair.by);
  bool affixMode = pair.mode != Mode::Plain && pair.find.size() == 1;
  if (affixMode) {
    if (is<tree::string>(pair.by))
      text = withoutDelimiters(text);
    std::string source = writtenText(first);
    if (pair.mode == Mode::Leading)
      text += source.substr(affix);
    else
      text = source.substr(0, source.size() - affix) + text;
  }
  putOwn(text);
  // What follows is reported relative to the source after the last token
  // replaced.
  tPosition after = last.a.EndPosition.Line != 0 ? last.a.EndPosition : last.a.Position;
  ++after.Column;
  shiftTo(after);
  state().pieces.back().after = state().shift;
  endPiece();
}

// ---- reading the affected text ---------------------------------------------

std::size_t noteMode() {
  tScanMode mode = GetScanMode();
  if (state().modes.empty() || !(state().modes.back() == mode))
    state().modes.push_back(std::move(mode));
  return state().modes.size() - 1;
}

// True from start_replacing until the parser has had the last token of the
// replaced text.
bool replacing_active() { return state().replacing || state().serving; }

// The token reader for the COPY-statement parser while the stage reads the
// affected text (call_copy_pars): Get_Token, noting how each token was read.
int ReplacingReadToken() {
  std::size_t before = noteMode();
  int code = Get_Token();
  state().readModes.emplace_back(before, noteMode());
  return code;
}

void append(int code, const tScanAttribute &a, std::pair<std::size_t, std::size_t> modes,
            bool silent = false) {
  bool white = true;
  const tPosition &p = state().previousEnd;
  if (p.Line != 0 && a.Position.File == p.File && a.Position.Line == p.Line &&
      a.Position.Column == p.Column + 1)
    white = false;
  state().window.push_back(WindowToken{code, a, white, false, silent, modes.first, modes.second});
  // end_of_picture consumes no characters: it does not separate anything.
  if (code != tok::end_of_picture)
    state().previousEnd = a.EndPosition.Line != 0 ? a.EndPosition : a.Position;
}

void appendEnd() {
  WindowToken marker{};
  marker.code = tok::EndOfInput;
  marker.a = Attribute();
  marker.end = true;
  state().window.push_back(marker);
}

void endReading() {
  state().replacingLevel = 0;
  state().readingEnded = true;
}

// Reads the next token of the affected text into the window. COPY and
// INCLURE statements are carried out here, by the COPY-statement parser; a
// REPLACE ends the text.
void fetch() {
  if (state().readingEnded) {
    appendEnd();
    return;
  }
  for (;;) {
    state().readModes.clear();
    int code = ReplacingReadToken();
    if (code == tok::EndOfInput) {
      if (!state().readingEnded && FileDepth() > 0)
        continue; // a copybook included by the affected text ended
      endReading();
      appendEnd();
      return;
    }
    if (code == tok::COPY || code == tok::INCLURE) {
      std::vector<tCopyToken> tokens;
      call_copy_pars(code, tokens, ReplacingReadToken);
      for (std::size_t i = 0; i < tokens.size(); ++i) {
        bool lineEnd =
            code == tok::INCLURE && i + 1 == tokens.size() && tokens[i].code == tok::Period;
        auto modes = i < state().readModes.size() ? state().readModes[i] : state().readModes.back();
        append(tokens[i].code, tokens[i].attribute, modes, lineEnd);
      }
      return;
    }
    if (code == tok::REPLACE) {
      state().pending = true;
      state().pendingToken = WindowToken{code, Attribute(), true, false, false, 0, 0};
      endReading();
      appendEnd();
      return;
    }
    append(code, Attribute(), state().readModes.back());
    return;
  }
}

const WindowToken &at(std::size_t index) {
  while (index >= state().window.size())
    fetch();
  return state().window[index];
}

void drop(std::size_t count) {
  state().first += count;
  if (state().first >= state().window.size()) {
    state().window.clear();
    state().first = 0;
  }
}

// Tries one pair at the first token not yet laid out; on success returns the
// index after the last matched token and the length of a LEADING or TRAILING
// affix.
std::size_t tryPair(const Pair &pair, std::size_t &affix) {
  if (pair.find.empty())
    return 0;
  bool affixMode = pair.mode != Mode::Plain && pair.find.size() == 1;
  std::size_t index = state().first;
  for (std::size_t k = 0; k < pair.find.size(); ++k) {
    bool separator = false;
    if (k > 0) {
      for (;;) {
        const WindowToken &skipped = at(index);
        // The end of a picture string is no text: ==PIC X(4).== matches
        // the picture and the period after it.
        if (!skipped.end && skipped.code == tok::end_of_picture) {
          ++index;
        } else if (isSeparator(skipped)) {
          separator = true;
          ++index;
        } else {
          break;
        }
      }
    }
    const WindowToken &t = at(index);
    if (t.end)
      return 0;
    const FindToken &find = pair.find[k];
    if (k > 0 && find.white >= 0 && (find.white == 1) != (t.white || separator))
      return 0;
    if (affixMode ? !matchesAffix(find, t, pair.mode, affix) : !matches(find, t))
      return 0;
    ++index;
  }
  return index;
}

// Reads the whole affected text and lays it out with the pairs applied.
void readAffectedText() {
  replacing_match() = true;
  stop_at_copy_end() = true;
  for (;;) {
    const WindowToken &t = at(state().first);
    if (t.end)
      break;
    bool replaced = false;
    for (const Pair &pair : state().pairs) {
      std::size_t affix = 0;
      std::size_t end = tryPair(pair, affix);
      if (end != 0) {
        writeReplacement(pair, end, affix);
        drop(end - state().first);
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      writeToken(state().window[state().first]);
      drop(1);
    }
  }
  replacing_match() = false;
  stop_at_copy_end() = false;
  state().window.clear();
  state().first = 0;
  state().replacing = false;
  // The text is closed by a line end.
  state().finalPlace = state().place;
  state().endPlace = Place{state().place.line + 1, 1};
  state().context = GetScanContext();
  state().context.File = state().file;
  state().serving = true;
  state().next = 0;
  state().endChecked = false;
}

// ---- handing the replaced text over ----------------------------------------

// The shift for a character at `place` of the text handed to the scan.
Shift shiftAt(const Place &place) {
  for (std::size_t k = state().fed < state().pieces.size() ? state().fed : state().pieces.size();
       k-- > 0;) {
    const Piece &piece = state().pieces[k];
    if (!piece.shifts || place < piece.own)
      continue;
    return piece.replacement && !(place < piece.end) ? piece.after : piece.shift;
  }
  return Shift{state().file, 0, 0};
}

tPosition placed(const tPosition &position) {
  if (position.Line == 0)
    return position;
  Shift shift = shiftAt(Place{position.Line, position.Column});
  return tPosition{static_cast<std::uint32_t>(static_cast<int>(position.Line) + shift.lines),
                   static_cast<std::uint16_t>(static_cast<int>(position.Column) + shift.columns),
                   shift.file};
}

// A source token the way scanning its written text would give it.
bool passable(const Piece &piece) {
  if (piece.replacement || piece.silent)
    return false;
  const tScanAttribute &a = piece.a;
  switch (piece.code) {
  case tok::EXECUTE: // written as a block, with its lines
  case tok::INCLURE: // written as a line of its own
    return false;
  case tok::string: {
    // A literal cut at a line end or at the text limit reads on.
    std::string text = stringText(a.Text);
    std::size_t open =
        text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) ? 1 : 0;
    return text.size() >= open + 2 && (text[open] == '"' || text[open] == '\'') &&
           text.back() == text[open];
  }
  case tok::name:
    // The include prefix and increment go with the text written; scanning
    // applies those in force for the replaced text.
    return !a.Prefixed &&
           !(state().context.Prefix != ' ' && state().modes[piece.readBefore].prefixNext);
  case tok::level_number:
    return a.Increment == 0 && state().context.Increment == 0;
  default:
    return true;
  }
}

tScanAttribute asRead(const Piece &piece) {
  tScanAttribute a = piece.a;
  // A token read over several lines is written on one.
  if (piece.shifts && a.EndPosition.Line != 0)
    a.EndPosition = tPosition{
        static_cast<std::uint32_t>(static_cast<int>(piece.last.line) + piece.shift.lines),
        static_cast<std::uint16_t>(static_cast<int>(piece.last.column) + piece.shift.columns),
        piece.shift.file};
  // A keyword is written as its normalised word.
  if (isKeyword(piece.code) && a.Word != NoIdent)
    a.Spelling = a.Word;
  return a;
}

// Gives the scan from memory the next lines of the text.
bool feed(std::string &out) {
  for (;;) {
    std::size_t lastEnd = state().carry.rfind('\n');
    if (lastEnd != std::string::npos) {
      std::size_t begin = 0;
      while (begin <= lastEnd) {
        std::size_t end = state().carry.find('\n', begin) + 1;
        std::string line = state().carry.substr(begin, end - begin);
        // Lines are read as the source reader reads them; a first line that
        // begins in the middle was read so up to there.
        if (state().scanAtLineStart)
          NormaliseLine(line);
        state().scanAtLineStart = true;
        out += line;
        begin = end;
      }
      state().carry.erase(0, lastEnd + 1);
      return true;
    }
    if (state().fed < state().pieces.size()) {
      state().carry += state().pieces[state().fed++].text;
    } else if (!state().finalFed) {
      state().carry += '\n';
      state().finalFed = true;
    } else if (!state().carry.empty()) {
      out += state().carry;
      state().carry.clear();
      return true;
    } else {
      return false;
    }
  }
}

// Scans the text from piece `from` on again, from memory: the tokens there
// depend on what comes before them in the replaced text (a replacement, or a
// token read in another mode than the one scanning has reached). Positions
// are those of the layout, which `placed` turns into source positions.
void beginScan(std::size_t from) {
  state().scanning = true;
  state().scanFirst = state().fed = state().probe = from;
  state().finalFed = false;
  state().carry.clear();
  Place origin = from < state().pieces.size() ? state().pieces[from].start : state().finalPlace;
  state().scanAtLineStart = origin.column == 1;
  BeginTextScan(tPosition{origin.line, static_cast<std::uint16_t>(origin.column), state().file},
                state().context, feed);
}

void endScan() {
  EndTextScan();
  state().scanning = false;
}

// True when the scan has come back in step with the source tokens: it stands
// where a piece begins that it would read as it was read, in the mode it was
// read in. The pieces from there on are handed over as they are.
bool backInStep() {
  if (TextScanInFile())
    return false;
  tPosition at = TextScanPosition();
  Place here{at.Line, at.Column};
  while (state().probe < state().pieces.size() && state().pieces[state().probe].start < here)
    ++state().probe;
  for (std::size_t k = state().probe; k < state().pieces.size() && state().pieces[k].start == here;
       ++k) {
    const Piece &piece = state().pieces[k];
    if (passable(piece) && GetScanMode() == state().modes[piece.readBefore]) {
      endScan();
      state().next = k;
      return true;
    }
  }
  return false;
}

void placeAttribute() {
  Attribute().Position = placed(Attribute().Position);
  Attribute().EndPosition = placed(Attribute().EndPosition);
  for (auto *line = const_cast<tTextLine *>(Attribute().Lines); line != nullptr;
       line = line->next) {
    tPosition at = placed(tPosition{static_cast<std::uint32_t>(line->Line), 1, line->filename});
    line->Line = static_cast<int>(at.Line);
    line->filename = at.File;
  }
}

// The next token of the replaced text; false after its last.
bool serve(int &code) {
  for (;;) {
    if (state().scanning) {
      if (backInStep())
        continue;
      code = TextScanToken();
      if (code == tok::EndOfInput) {
        endScan();
        state().next = state().pieces.size();
        state().endChecked = true;
        return false;
      }
      if (!TextScanInFile())
        placeAttribute();
      return true;
    }
    if (state().next == state().pieces.size()) {
      // What is open at the end of the text is closed there.
      if (!state().endChecked) {
        state().endChecked = true;
        if (!ScanModeAtRest(GetScanMode())) {
          beginScan(state().next);
          continue;
        }
      }
      return false;
    }
    const Piece &piece = state().pieces[state().next];
    if (!passable(piece) || !(GetScanMode() == state().modes[piece.readBefore])) {
      beginScan(state().next);
      continue;
    }
    ++state().next;
    SetScanMode(state().modes[piece.readAfter]);
    // Outside a picture, commas and semicolons separate like blanks.
    if (piece.code == tok::Semicolon ||
        (piece.code == tok::Comma && !state().modes[piece.readBefore].commaIsToken))
      continue;
    Attribute() = asRead(piece);
    code = piece.code;
    return true;
  }
}

void endServing() {
  if (state().scanning)
    endScan();
  state().serving = false;
  state().pieces.clear();
  state().modes.clear();
}

void markChild(tTree &child, void *) { keep_operand_unresolved(child); }

} // namespace

bool start_replacing(tIdent file, tTree pairs, bool copy, tPosition where) {
  if (replacing_active()) {
    Message("can not handle nested REPLACING", xxRestriction, where);
    return false;
  }
  const int inherited = ReplacedTextLevel();
  state().pairs.clear();
  for (tTree p = pairs; auto *pair = as_if<tree::copy_replacing>(p); p = pair->next) {
    Pair entry{findTokens(pair->expression_l), pair->by, Mode::Plain};
    computeWhiteSpace(entry.find);
    if (pair->keyword == cwLeading)
      entry.mode = Mode::Leading;
    else if (pair->keyword == cwTrailing)
      entry.mode = Mode::Trailing;
    state().pairs.push_back(std::move(entry));
  }
  state().replacing = true;
  state().readingEnded = false;
  state().replacingLevel = copy ? CopyLevel() : 1;
  state().textLevel = std::max(EffectiveCopyLevel(), inherited) + 1;
  state().file = file;
  state().window.clear();
  state().first = 0;
  state().previousEnd = NoPosition;
  state().modes.clear();
  state().messages.clear();
  state().pieces.clear();
  state().place = Place{};
  state().rememberedLine = 0;
  state().shift = Shift{file, 0, 0};
  return true;
}

// Also after the text is handed out, while no file is open: the parser may
// still reduce a statement of the text.
int ReplacedTextLevel() { return state().serving || CopyLevel() == 0 ? state().textLevel : 0; }

void stop_replacing() {
  if (state().replacing && !state().readingEnded && CopyLevel() == state().replacingLevel)
    endReading();
}

bool ReplacingScanMessage(const char *text, tPosition &position) {
  const tIdent message = MakeIdent(text);
  if (state().scanning && !TextScanInFile()) {
    position = placed(position);
    for (const auto &[reported, at] : state().messages)
      if (reported == message && Compare(at, position) == 0)
        return false;
  } else if (state().replacing) {
    state().messages.emplace_back(message, position);
  }
  return true;
}

int ReplacingGetToken() {
  if (state().pending && !replacing_active()) {
    state().pending = false;
    Attribute() = state().pendingToken.a;
    return state().pendingToken.code;
  }
  if (state().replacing)
    readAffectedText();
  if (!state().serving)
    return Get_Token();
  int code = tok::EndOfInput;
  if (serve(code))
    return code;
  const Shift last = state().shift;
  const Place end = state().endPlace;
  endServing();
  if (FileDepth() > 0) {
    // The replaced text ended inside the file that included it.
    if (state().pending) {
      state().pending = false;
      Attribute() = state().pendingToken.a;
      return state().pendingToken.code;
    }
    return Get_Token();
  }
  // The end of the main file: on the line after the replaced text, as the
  // shift in force at its end gives it.
  ResetScanMode();
  code = Get_Token();
  Attribute().Position = Attribute().EndPosition =
      tPosition{static_cast<std::uint32_t>(static_cast<int>(end.line) + last.lines), 1, last.file};
  return code;
}

bool ReplacingIdle() {
  const ReplaceState &s = state();
  return !s.pending && !s.replacing && !s.serving && !s.scanning;
}

void SuspendReplacing() {
  state().suspendedMatch = replacing_match();
  replacing_match() = false;
}

void ResumeReplacing() { replacing_match() = state().suspendedMatch; }

void ResetReplacing() {
  if (state().scanning)
    EndTextScan();
  state() = ReplaceState{};
}

void keep_operand_unresolved(tTree operand) {
  for (tTree node = operand; node != NoTree;) {
    if (auto *identifier = as_if<tree::identifier_c>(node))
      identifier->decl = TreeNoReference;
    Tree_ForEachChild(node, markChild, nullptr);
    tTree *next = Tree_Next(node);
    node = next != nullptr ? *next : NoTree;
  }
}

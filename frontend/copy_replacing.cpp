// The text replacement of COPY ... REPLACING and REPLACE, in two passes over
// a temporary file that keeps the layout of the source.
#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "frontend/copied_entries.h"
#include "frontend/copy_inclusion.h"
#include "frontend/copy_statement_parser.h"
#include "frontend/keywords.h"
#include "diagnostics/message_store.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

namespace {

// Columns that the second pass may read on a line of the temporary file
// beyond the format's own limit: replacements can make lines longer.
constexpr unsigned SecondPassColumns = 4096;
constexpr std::uint32_t SentinelLine = 999999;
constexpr std::uint16_t SentinelColumn = 65535;

enum class Mode { Plain, Leading, Trailing };

struct Pair {
  std::vector<tReplacingToken> find;
  tTree by;
  Mode mode;
};

// A buffered source token. The end marker stands for the end of the
// replaced text.
struct WindowToken {
  int code;
  tScanAttribute a;
  bool white;  // preceded by white space
  bool end;    // the end marker
  bool silent; // not written (the period that the line end of *INCLURE gives)
};

struct DeltaEntry {
  std::uint32_t line;
  std::uint16_t column;
  tIdent file;
  std::int16_t lineDelta;
  std::int16_t columnDelta;
};

struct ReplaceState {
  bool replacing = false;      // the first pass is to run or running
  bool firstPassEnded = false; // its text ended (sentinel appended)
  bool secondPass = false;
  bool secondPassEnded = false; // the temporary file ended during the last Get_Token
  int replacingLevel = 0;
  int secondPassLevel = 0;
  tIdent file = NoIdent;
  std::vector<Pair> pairs;
  FILE *out = nullptr;
  char tempName[PATH_MAX] = {0};
  std::uint32_t outLine = 1;
  std::uint16_t outColumn = 1;
  std::uint32_t rememberedLine = 0;
  int lineDelta = 0;
  int columnDelta = 0;
  std::vector<WindowToken> window;
  std::size_t first = 0;
  std::vector<DeltaEntry> deltas;
  std::size_t cursor = 0;
  tPosition previousEnd = NoPosition;
  bool pending = false; // a REPLACE that ended a first pass, to deliver again
  WindowToken pendingToken{};
  bool suspendedMatch = false;
  // Scanner messages of the first pass: the second pass reads the same text
  // again from the temporary file and must not report it twice.
  std::vector<std::pair<tIdent, tPosition>> firstPassMessages;
};
ReplaceState state;

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

std::string stringText(tStringRef text) { return text != nullptr ? StGetCStr(text) : ""; }

tReplacingToken makeToken(tReplacingToken::tKind kind, const std::string &text,
                          const std::string &written, tPosition begin, tPosition end) {
  tReplacingToken token{kind, NoIdent, text, written, begin, end, -1};
  if (kind == tReplacingToken::Word)
    token.word = MakeIdent(text.c_str());
  return token;
}

tReplacingToken wordToken(tIdent word, tIdent spelling, tPosition begin, tPosition end) {
  std::string text = GetCStr(word);
  tReplacingToken token = makeToken(tReplacingToken::Word, text,
                                    spelling != NoIdent ? GetCStr(spelling) : text, begin, end);
  token.word = word;
  return token;
}

// Pseudo-text read as terminals holds the picture terminals by their names:
// picture_dot stands for ".", end_of_picture for nothing.
tReplacingToken textToken(std::string text, tPosition begin, tPosition end) {
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
    return makeToken(tReplacingToken::Text, text, text, begin, end);
  if (isWordText(text))
    return makeToken(tReplacingToken::Word, normalised(text), text, begin, end);
  return makeToken(tReplacingToken::Text, text, text, begin, end);
}

void appendTokens(tTree node, std::vector<tReplacingToken> &tokens);

void appendList(tTree list, std::vector<tReplacingToken> &tokens) {
  for (tTree element = list; auto *e = as_if<tree::expression>(element); element = e->next)
    appendTokens(e->expression, tokens);
}

void appendTokens(tTree node, std::vector<tReplacingToken> &tokens) {
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
    tokens.push_back(makeToken(tReplacingToken::Word, word, word, q->pos1, wordEnd));
    appendTokens(q->qualification, tokens);
  } else if (auto *s = as_if<tree::subscription>(node)) {
    appendTokens(s->qualification, tokens);
    tokens.push_back(makeToken(tReplacingToken::Text, "(", "(", s->pos1, s->pos1));
    appendList(s->index_l, tokens);
    tokens.push_back(makeToken(tReplacingToken::Text, ")", ")", NoPosition, NoPosition));
  } else if (auto *r = as_if<tree::ref_modification>(node)) {
    appendTokens(r->subscription, tokens);
    tokens.push_back(makeToken(tReplacingToken::Text, "(", "(", r->pos0, r->pos0));
    appendList(r->reference_modifier, tokens);
    tokens.push_back(makeToken(tReplacingToken::Text, ")", ")", r->pos1, r->pos1));
  } else if (auto *f = as_if<tree::function_call>(node)) {
    tokens.push_back(makeToken(tReplacingToken::Word, "FUNCTION", "FUNCTION", f->bpos, NoPosition));
    tokens.push_back(wordToken(f->name, f->spelling, f->pos, f->epos1));
    if (is<tree::expression>(f->expression_l)) {
      tokens.push_back(makeToken(tReplacingToken::Text, "(", "(", f->pos1, f->pos1));
      appendList(f->expression_l, tokens);
      tokens.push_back(makeToken(tReplacingToken::Text, ")", ")", NoPosition, NoPosition));
    }
  } else if (auto *u = as_if<tree::unary>(node)) {
    std::string words = u->operator_ < CobolWordCount ? cobol_word[u->operator_] : "";
    std::size_t blank = words.find(' ');
    tokens.push_back(makeToken(tReplacingToken::Word, words.substr(0, blank),
                               words.substr(0, blank), u->pos, NoPosition));
    if (blank != std::string::npos)
      tokens.push_back(makeToken(tReplacingToken::Word, words.substr(blank + 1),
                                 words.substr(blank + 1), NoPosition, u->epos1));
    appendTokens(u->expression, tokens);
  } else if (auto *i = as_if<tree::integer>(node)) {
    std::string text = stringText(i->String);
    tokens.push_back(makeToken(tReplacingToken::Integer, text, text, i->bpos, i->epos));
  } else if (auto *re = as_if<tree::real>(node)) {
    std::string text = stringText(re->String);
    tokens.push_back(makeToken(tReplacingToken::Real, text, text, re->bpos, re->epos));
  } else if (auto *st = as_if<tree::string>(node)) {
    std::string text = stringText(st->String);
    tokens.push_back(makeToken(tReplacingToken::Literal, text, text, st->bpos, st->epos));
  } else if (auto *fig = as_if<tree::figurative_literal>(node)) {
    std::string text = fig->keyword < CobolWordCount ? cobol_word[fig->keyword] : "";
    tokens.push_back(makeToken(tReplacingToken::Word, text, text, fig->bpos, fig->epos));
  } else if (auto *p = as_if<tree::pseudo_text>(node)) {
    std::string text = stringText(p->Value);
    if (!text.empty() && text != TerminalName(tok::end_of_picture))
      tokens.push_back(textToken(text, p->bpos, p->epos));
  }
}

// ---- the writer ---------------------------------------------------------

void put(char c) {
  std::fputc(c, state.out);
  if (c == '\n') {
    ++state.outLine;
    state.outColumn = 1;
  } else if (c == '\t') {
    state.outColumn = static_cast<std::uint16_t>(((state.outColumn - 1) | 7) + 2);
  } else {
    ++state.outColumn;
  }
}

void putText(const std::string &text) {
  for (char c : text)
    put(c);
}

// Moves the output to where a token preceded by white space stood in its
// source: a new line when the source line changes, then the source line and
// column as far as the output has not passed them.
void layout(const tPosition &position, bool white) {
  if (!white)
    return;
  put(' ');
  if (position.File != state.deltas.back().file)
    state.rememberedLine = 0;
  if (position.Line != state.rememberedLine && position.Line < state.outLine) {
    put('\n');
    state.rememberedLine = position.Line;
  }
  while (state.outLine < position.Line)
    put('\n');
  while (state.outColumn < position.Column)
    put(' ');
}

// Records where the output stands relative to `position` when that differs
// from what the table already says.
void noteDelta(const tPosition &position) {
  if (position.Line == 0)
    return;
  if (state.outLine + state.lineDelta == position.Line &&
      state.outColumn + state.columnDelta == position.Column &&
      position.File == state.deltas.back().file)
    return;
  state.lineDelta = static_cast<int>(position.Line) - static_cast<int>(state.outLine);
  state.columnDelta = static_cast<int>(position.Column) - static_cast<int>(state.outColumn);
  DeltaEntry entry{state.outLine, state.outColumn, position.File,
                   static_cast<std::int16_t>(state.lineDelta),
                   static_cast<std::int16_t>(state.columnDelta)};
  DeltaEntry &last = state.deltas.back();
  if (last.line == entry.line && last.column == entry.column)
    last = entry;
  else
    state.deltas.push_back(entry);
}

bool isKeyword(int code) { return code >= 14 && code <= 281; }

// The text a token is written as.
std::string tokenText(const WindowToken &t) {
  const tScanAttribute &a = t.a;
  switch (t.code) {
  case tok::name:
  case tok::name_in_area_A:
    // A name that got the include prefix keeps it: the second pass does not
    // apply the prefix again.
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

void writeExec(const WindowToken &t) {
  putText("EXEC ");
  putText(GetCStr(t.a.Word));
  // The first line is the position marker, which the rescan makes anew.
  const tTextLine *line = t.a.Lines != nullptr ? t.a.Lines->next : nullptr;
  for (; line != nullptr; line = line->next)
    putText(stringText(line->Value));
  putText("END-EXEC");
}

void writeInclure(const WindowToken &t) {
  if (free_format) {
    if (state.outColumn != 1)
      put('\n');
  } else if (state.outColumn != 7) {
    put('\n');
    putText("      ");
  }
  noteDelta(tPosition{t.a.Position.Line, static_cast<std::uint16_t>(t.a.Position.Column - 1),
                      t.a.Position.File});
  putText("*INCLURE");
}

void writeToken(const WindowToken &t) {
  if (t.end || t.silent)
    return;
  if (t.code == tok::end_of_picture)
    return;
  if (t.code == tok::INCLURE) {
    // The directive's "*" stands in the column before the word.
    tPosition at = t.a.Position;
    if (at.Column > 1)
      --at.Column;
    layout(at, t.white);
    writeInclure(t);
    return;
  }
  layout(t.a.Position, t.white);
  noteDelta(t.a.Position);
  if (t.code == tok::EXECUTE)
    writeExec(t);
  else
    putText(tokenText(t));
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
  std::vector<tReplacingToken> tokens;
  appendTokens(node, tokens);
  compute_white_space(tokens);
  std::string text;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    const tReplacingToken &t = tokens[i];
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

bool matches(const tReplacingToken &find, const WindowToken &t) {
  switch (find.kind) {
  case tReplacingToken::Word:
    if (t.code == tok::name || t.code == tok::paragraph_name)
      return t.a.Word == find.word;
    if (t.code == tok::unsigned_integer || t.code == tok::level_number)
      return stringText(t.a.Text) == find.text;
    return isKeyword(t.code) && t.a.Word == find.word;
  case tReplacingToken::Integer:
    return isIntegerCode(t.code) && stringText(t.a.Text) == find.text;
  case tReplacingToken::Real:
    return t.code == tok::real && stringText(t.a.Text) == find.text;
  case tReplacingToken::Literal:
    if (t.code == tok::string)
      return stringText(t.a.Text) == find.text;
    return t.code == tok::name && GetCStr(t.a.Word) == withoutDelimiters(find.text);
  case tReplacingToken::Text:
    if (t.code == tok::illegal_character)
      return find.text.size() == 1 && find.text[0] == t.a.Character;
    if (t.code == tok::Period || t.code == tok::PseudoDelimiter ||
        (t.code >= tok::EqualSign && t.code <= tok::Slash))
      return find.text == TerminalName(t.code);
    return false;
  }
  return false;
}

bool matchesAffix(const tReplacingToken &find, const WindowToken &t, Mode mode,
                  std::size_t &length) {
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

void fetch();

const WindowToken &at(std::size_t index) {
  while (index >= state.window.size())
    fetch();
  return state.window[index];
}

// Tries one pair at the first unwritten token; on success returns the index
// after the last matched token and the length of a LEADING or TRAILING affix.
std::size_t tryPair(const Pair &pair, std::size_t &affix) {
  if (pair.find.empty())
    return 0;
  bool affixMode = pair.mode != Mode::Plain && pair.find.size() == 1;
  std::size_t index = state.first;
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
    const tReplacingToken &find = pair.find[k];
    if (k > 0 && find.white >= 0 && (find.white == 1) != (t.white || separator))
      return 0;
    if (affixMode ? !matchesAffix(find, t, pair.mode, affix) : !matches(find, t))
      return 0;
    ++index;
  }
  return index;
}

void writeReplacement(const Pair &pair, std::size_t end, std::size_t affix) {
  const WindowToken &first = state.window[state.first];
  const WindowToken &last = state.window[end - 1];
  layout(first.a.Position, first.white);
  noteDelta(first.a.Position);
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
  putText(text);
  tPosition after = last.a.EndPosition.Line != 0 ? last.a.EndPosition : last.a.Position;
  ++after.Column;
  noteDelta(after);
}

// ---- the first pass -------------------------------------------------------

void append(int code, const tScanAttribute &a, bool silent = false) {
  bool white = true;
  const tPosition &p = state.previousEnd;
  if (p.Line != 0 && a.Position.File == p.File && a.Position.Line == p.Line &&
      a.Position.Column == p.Column + 1)
    white = false;
  state.window.push_back(WindowToken{code, a, white, false, silent});
  // end_of_picture consumes no characters: it does not separate anything.
  if (code != tok::end_of_picture)
    state.previousEnd = a.EndPosition.Line != 0 ? a.EndPosition : a.Position;
}

void appendEnd() {
  WindowToken marker{};
  marker.code = tok::EndOfInput;
  marker.a = Attribute;
  marker.end = true;
  state.window.push_back(marker);
}

// Ends the first pass where it stands: the table gets its sentinel.
void endFirstPass() {
  if (state.firstPassEnded)
    return;
  DeltaEntry sentinel{SentinelLine, SentinelColumn, state.deltas.back().file, 0, 0};
  state.deltas.push_back(sentinel);
  state.replacingLevel = 0;
  state.firstPassEnded = true;
}

// Reads the next token of the replaced text into the window. COPY and
// INCLURE statements are carried out here, by the COPY-statement parser; a
// REPLACE ends the text.
void fetch() {
  if (state.firstPassEnded) {
    appendEnd();
    return;
  }
  for (;;) {
    int code = Get_Token();
    if (code == tok::EndOfInput) {
      if (!state.firstPassEnded && FileDepth() > 0)
        continue; // a copybook included by the replaced text ended
      endFirstPass();
      appendEnd();
      return;
    }
    if (code == tok::COPY || code == tok::INCLURE) {
      std::vector<tCopyToken> tokens;
      call_copy_pars(code, tokens);
      for (std::size_t i = 0; i < tokens.size(); ++i) {
        bool lineEnd =
            code == tok::INCLURE && i + 1 == tokens.size() && tokens[i].code == tok::Period;
        append(tokens[i].code, tokens[i].attribute, lineEnd);
      }
      return;
    }
    if (code == tok::REPLACE) {
      state.pending = true;
      state.pendingToken = WindowToken{code, Attribute, true, false, false};
      endFirstPass();
      appendEnd();
      return;
    }
    append(code, Attribute);
    return;
  }
}

void drop(std::size_t count) {
  state.first += count;
  if (state.first >= state.window.size()) {
    state.window.clear();
    state.first = 0;
  }
}

void removeTemporary() {
  if (state.out != nullptr) {
    std::fclose(state.out);
    state.out = nullptr;
  }
  if (state.tempName[0] != '\0') {
    ::unlink(state.tempName);
    state.tempName[0] = '\0';
  }
}

void runFirstPass() {
  replacing_match = true;
  stop_at_copy_end = true;
  for (;;) {
    const WindowToken &t = at(state.first);
    if (t.end)
      break;
    bool replaced = false;
    for (const Pair &pair : state.pairs) {
      std::size_t affix = 0;
      std::size_t end = tryPair(pair, affix);
      if (end != 0) {
        writeReplacement(pair, end, affix);
        drop(end - state.first);
        replaced = true;
        break;
      }
    }
    if (!replaced) {
      writeToken(state.window[state.first]);
      drop(1);
    }
  }
  put('\n');
  replacing_match = false;
  state.window.clear();
  state.first = 0;
  state.replacing = false;
  std::fclose(state.out);
  state.out = nullptr;
  // The replaced text is scanned as a nested file that names the file it
  // came from; its end comes back as end of input (stop_at_copy_end stays).
  MaxColumn += SecondPassColumns;
  state.secondPass = true;
  state.cursor = 0;
  BeginFile(state.tempName);
  push(state.file);
  state.secondPassLevel = CopyLevel();
}

// ---- the second pass ------------------------------------------------------

bool after(const DeltaEntry &entry, const tPosition &position) {
  return entry.line > position.Line ||
         (entry.line == position.Line && entry.column > position.Column);
}

void mapPosition(tPosition &position) {
  if (position.Line == 0 || state.deltas.empty())
    return;
  if (state.cursor >= state.deltas.size() || after(state.deltas[state.cursor], position))
    state.cursor = 0;
  while (state.cursor + 1 < state.deltas.size() && !after(state.deltas[state.cursor + 1], position))
    ++state.cursor;
  if (state.cursor + 1 >= state.deltas.size()) {
    Message("Scanner: DeltaBuffer overrun", xxFatal, position);
    return;
  }
  const DeltaEntry &entry = state.deltas[state.cursor];
  position.Line = static_cast<std::uint32_t>(static_cast<int>(position.Line) + entry.lineDelta);
  position.Column =
      static_cast<std::uint16_t>(static_cast<int>(position.Column) + entry.columnDelta);
  position.File = entry.file;
}

void mapToken() {
  mapPosition(Attribute.Position);
  mapPosition(Attribute.EndPosition);
  if (Attribute.Lines != nullptr) {
    for (auto *line = const_cast<tTextLine *>(Attribute.Lines); line != nullptr;
         line = line->next) {
      tPosition at{static_cast<std::uint32_t>(line->Line), 1, line->filename};
      mapPosition(at);
      line->Line = static_cast<int>(at.Line);
      line->filename = at.File;
    }
  }
}

void endSecondPass() {
  MaxColumn -= SecondPassColumns;
  removeTemporary();
  state.secondPass = false;
  state.secondPassEnded = true;
  state.secondPassLevel = 0;
}

} // namespace

std::vector<tReplacingToken> ident_2_token_list(tTree operand) {
  std::vector<tReplacingToken> tokens;
  appendTokens(operand, tokens);
  return tokens;
}

void compute_white_space(std::vector<tReplacingToken> &tokens) {
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

bool start_replacing(tIdent file, tTree pairs, bool copy, tPosition where) {
  if (replacing_active()) {
    Message("can not handle nested REPLACING", xxRestriction, where);
    return false;
  }
  const char *directory = std::getenv("TMPDIR");
  if (directory == nullptr || directory[0] == '\0')
    directory = "/tmp";
  int length = std::snprintf(state.tempName, sizeof state.tempName, "%s/vexfcblXXXXXX", directory);
  int fd = length > 0 && static_cast<std::size_t>(length) < sizeof state.tempName
               ? ::mkstemp(state.tempName)
               : -1;
  if (fd < 0 || (state.out = ::fdopen(fd, "w")) == nullptr) {
    if (fd >= 0)
      ::close(fd);
    if (fd >= 0)
      ::unlink(state.tempName);
    state.tempName[0] = '\0';
    MessageI("cannot create the temporary file for REPLACING in", xxFatal, where, xxString,
             directory);
    return false;
  }
  state.pairs.clear();
  for (tTree p = pairs; auto *pair = as_if<tree::copy_replacing>(p); p = pair->next) {
    Pair entry{ident_2_token_list(pair->expression_l), pair->by, Mode::Plain};
    compute_white_space(entry.find);
    if (pair->keyword == cwLeading)
      entry.mode = Mode::Leading;
    else if (pair->keyword == cwTrailing)
      entry.mode = Mode::Trailing;
    state.pairs.push_back(std::move(entry));
  }
  state.replacing = true;
  state.firstPassEnded = false;
  state.replacingLevel = copy ? CopyLevel() : 1;
  state.file = file;
  state.outLine = 1;
  state.outColumn = 1;
  state.rememberedLine = 0;
  state.lineDelta = 0;
  state.columnDelta = 0;
  state.previousEnd = NoPosition;
  state.window.clear();
  state.first = 0;
  state.deltas.clear();
  state.deltas.push_back(DeltaEntry{1, 1, file, 0, 0});
  state.firstPassMessages.clear();
  return true;
}

void stop_replacing() {
  int level = CopyLevel();
  if (state.replacing && !state.firstPassEnded && level == state.replacingLevel)
    endFirstPass();
  else if (state.secondPass && level == state.secondPassLevel)
    endSecondPass();
}

bool replacing_active() { return state.replacing || state.secondPass; }

bool ReplacingScanMessage(const char *text, tPosition &position) {
  const tIdent message = MakeIdent(text);
  if (state.secondPass) {
    mapPosition(position);
    for (const auto &[reported, at] : state.firstPassMessages)
      if (reported == message && Compare(at, position) == 0)
        return false;
  } else if (state.replacing) {
    state.firstPassMessages.emplace_back(message, position);
  }
  return true;
}

int ReplacingGetToken() {
  if (state.pending && !replacing_active()) {
    state.pending = false;
    Attribute = state.pendingToken.a;
    return state.pendingToken.code;
  }
  if (state.replacing)
    runFirstPass();
  for (;;) {
    int code = Get_Token();
    if (state.secondPass) {
      mapToken();
      return code;
    }
    if (!state.secondPassEnded)
      return code;
    state.secondPassEnded = false;
    stop_at_copy_end = false;
    if (code == tok::EndOfInput && FileDepth() > 0) {
      // The replaced text ended inside the file that included it.
      state.deltas.clear();
      if (state.pending) {
        state.pending = false;
        Attribute = state.pendingToken.a;
        return state.pendingToken.code;
      }
      continue;
    }
    // The end of the main file: on the line after the last replaced one.
    if (code == tok::EndOfInput && state.deltas.size() >= 2) {
      state.cursor = 0;
      tPosition end = Attribute.Position;
      if (end.Line >= SentinelLine)
        end.Line = SentinelLine - 1;
      mapPosition(end);
      end.Column = Attribute.Position.Column;
      Attribute.Position = Attribute.EndPosition = end;
    }
    state.deltas.clear();
    return code;
  }
}

void SuspendReplacing() {
  state.suspendedMatch = replacing_match;
  replacing_match = false;
}

void ResumeReplacing() { replacing_match = state.suspendedMatch; }

void ResetReplacing() {
  if (state.secondPass)
    MaxColumn -= SecondPassColumns;
  removeTemporary();
  state.replacing = false;
  state.firstPassEnded = false;
  state.secondPass = false;
  state.secondPassEnded = false;
  state.replacingLevel = 0;
  state.secondPassLevel = 0;
  state.pairs.clear();
  state.window.clear();
  state.first = 0;
  state.deltas.clear();
  state.pending = false;
  state.previousEnd = NoPosition;
  state.firstPassMessages.clear();
}

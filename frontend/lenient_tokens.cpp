// -lenient's token filter: dialect words, constants by value, H literals, & joins.
#include "frontend/lenient_tokens.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "diagnostics/message_store.h"
#include "frontend/source_reader.h"
#include "support/string_memory.h"

namespace {

bool isLevel(int code) {
  return code == tok::level_number || code == tok::Level66 || code == tok::Level77 ||
         code == tok::Level78 || code == tok::Level88;
}

bool isName(int code) { return code == tok::name || code == tok::name_in_area_A; }

bool wordIs(const tToken &token, const char *word) {
  return token.attribute.Word != NoIdent && std::strcmp(GetCStr(token.attribute.Word), word) == 0;
}

// The reserved words an entry of levels 01-49 or 77 may begin its clauses
// with; any other reserved word right after the level number can only be the
// entry's name.
bool beginsClause(int code) {
  switch (code) {
  case tok::FILLER:
  case tok::REDEFINES:
  case tok::EXTERNAL:
  case tok::IS:
  case tok::GLOBAL:
  case tok::PICTURE:
  case tok::USAGE:
  case tok::BINARY:
  case tok::COMPUTATIONAL:
  case tok::COMPUTATIONAL_0:
  case tok::COMPUTATIONAL_1:
  case tok::COMPUTATIONAL_2:
  case tok::COMPUTATIONAL_3:
  case tok::COMPUTATIONAL_4:
  case tok::COMPUTATIONAL_5:
  case tok::COMPUTATIONAL_6:
  case tok::COMPUTATIONAL_7:
  case tok::COMPUTATIONAL_8:
  case tok::COMPUTATIONAL_11:
  case tok::COMPUTATIONAL_12:
  case tok::COMPUTATIONAL_X:
  case tok::DISPLAY:
  case tok::DISPLAY_1:
  case tok::INDEX:
  case tok::PACKED_DECIMAL:
  case tok::POINTER:
  case tok::PROCEDURE_POINTER:
  case tok::DB_KEY:
  case tok::CURSOR:
  case tok::OBJECT:
  case tok::SIGN:
  case tok::LEADING:
  case tok::TRAILING:
  case tok::OCCURS:
  case tok::SYNCHRONIZED:
  case tok::JUSTIFIED:
  case tok::BLANK:
  case tok::VALUE:
  case tok::COPY:
  case tok::REPLACE:
  case tok::EXECUTE:
    return true;
  default:
    return false;
  }
}

// A reserved word delivered as its own terminal (not a name, literal or
// punctuation).
bool isReservedWord(const tToken &token) {
  return token.attribute.Word != NoIdent && token.code <= MaxDefaultTerminal &&
         KeywordToken(token.attribute.Word) == token.code;
}

// Where a reference to an entry stands: a reserved word that an entry took
// as its name is that name here too.
bool takesReference(int code) {
  switch (code) {
  case tok::REDEFINES:
  case tok::RENAMES:
  case tok::THROUGH:
  case tok::DEPENDING:
  case tok::ON:
  case tok::OF:
  case tok::IN:
    return true;
  default:
    return false;
  }
}

// Where the name of a constant stands for its value.
bool takesLiteral(int code) {
  switch (code) {
  case tok::OCCURS:
  case tok::TO:
  case tok::VALUE:
  case tok::VALUES:
  case tok::IS:
  case tok::ARE:
  case tok::THROUGH:
  case tok::AS:
  case tok::CONSTANT:
  case tok::PlusSign:
  case tok::MinusSign:
  case tok::Star:
  case tok::Slash:
    return true;
  default:
    return false;
  }
}

// A literal terminal: in the value list of a level-88 entry another value
// may follow it.
bool isLiteral(int code) {
  return code == tok::string || code == tok::unsigned_integer || code == tok::level_number ||
         code == tok::plus_integer || code == tok::minus_integer || code == tok::real;
}

struct DialectWord {
  const char *word;
  int code;
};

// The usages of COBOL 2002/2014, IBM, GnuCOBOL and Micro Focus, by their
// words.
constexpr DialectWord usageWords[] = {
    {"BINARY-CHAR", tok::BINARY_CHAR},
    {"BINARY-SHORT", tok::BINARY_SHORT},
    {"BINARY-LONG", tok::BINARY_LONG},
    {"BINARY-DOUBLE", tok::BINARY_DOUBLE},
    {"FLOAT-SHORT", tok::FLOAT_SHORT},
    {"FLOAT-LONG", tok::FLOAT_LONG},
    {"NATIONAL", tok::NATIONAL},
    {"FUNCTION-POINTER", tok::FUNCTION_POINTER},
    {"BINARY-C-LONG", tok::BINARY_C_LONG},
    {"SIGNED-SHORT", tok::SIGNED_SHORT},
    {"SIGNED-INT", tok::SIGNED_INT},
    {"SIGNED-LONG", tok::SIGNED_LONG},
    {"UNSIGNED-SHORT", tok::UNSIGNED_SHORT},
    {"UNSIGNED-INT", tok::UNSIGNED_INT},
    {"UNSIGNED-LONG", tok::UNSIGNED_LONG},
    {"FLOAT-DECIMAL-16", tok::FLOAT_DECIMAL_16},
    {"FLOAT-DECIMAL-34", tok::FLOAT_DECIMAL_34},
    {"PROGRAM-POINTER", tok::PROGRAM_POINTER},
    {"COMP-N", tok::COMPUTATIONAL_N},
    {"COMPUTATIONAL-N", tok::COMPUTATIONAL_N},
    // GnuCOBOL's other names of BINARY-LONG and BINARY-DOUBLE (4 and 8 bytes).
    {"BINARY-INT", tok::BINARY_LONG},
    {"BINARY-LONG-LONG", tok::BINARY_DOUBLE},
};

bool isBinaryDialectUsage(int code) {
  return code == tok::BINARY_CHAR || code == tok::BINARY_SHORT || code == tok::BINARY_LONG ||
         code == tok::BINARY_DOUBLE || code == tok::BINARY_C_LONG;
}

// Usages the default reading knows as keywords but cannot convert; under
// -lenient they are read as GnuCOBOL and Micro Focus store them.
bool isDialectKeywordUsage(int code) {
  return code == tok::COMPUTATIONAL_X || code == tok::COMPUTATIONAL_6 ||
         code == tok::COMPUTATIONAL_0;
}

// The content of a literal written with quotes or apostrophes, doubled
// delimiters made single; false for any other form.
bool plainContent(std::string_view text, std::string &content) {
  if (text.size() < 2 || (text[0] != '\'' && text[0] != '"') || text.back() != text[0])
    return false;
  const char delimiter = text[0];
  for (std::size_t i = 1; i + 1 < text.size(); ++i) {
    content += text[i];
    if (text[i] == delimiter)
      ++i;
  }
  return true;
}

// The hexadecimal digits of X'..' or X"..", upper case; false for any other
// form.
bool hexDigits(std::string_view text, std::string &digits) {
  if (text.size() < 3 || std::toupper(static_cast<unsigned char>(text[0])) != 'X' ||
      (text[1] != '\'' && text[1] != '"') || text.back() != text[1])
    return false;
  for (std::size_t i = 2; i + 1 < text.size(); ++i)
    digits += static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
  if (digits.size() % 2 != 0)
    digits += '0';
  return true;
}

std::string hexOf(const std::string &bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += digits[byte >> 4];
    hex += digits[byte & 0xF];
  }
  return hex;
}

tPosition endOf(const tToken &token) {
  return token.attribute.EndPosition.Line != 0 ? token.attribute.EndPosition
                                               : token.attribute.Position;
}

// The word as written; the normalised word when the scanner kept no spelling.
std::string spellingOf(const tToken &token) {
  return GetCStr(token.attribute.Spelling != NoIdent ? token.attribute.Spelling
                                                     : token.attribute.Word);
}

tStringRef stored(const std::string &text) { return PutString(text.data(), text.size()); }

std::string_view textOf(const tToken &token) {
  return token.attribute.Text != nullptr
             ? std::string_view(StGetCStr(token.attribute.Text), LengthSt(token.attribute.Text))
             : std::string_view();
}

// The literal terminal for the text a directive gave a constant (a quoted
// literal, with its X, Z ... prefix, or a number); false for other text.
bool directiveLiteral(const std::string &text, tToken &token) {
  token.attribute.Word = token.attribute.Spelling = NoIdent;
  const std::size_t quote = text.find_first_of("'\"");
  if (quote != std::string::npos && quote <= 1 && text.size() >= quote + 2 &&
      text.back() == text[quote]) {
    token.code = tok::string;
    token.attribute.Text = stored(text);
    return true;
  }
  std::size_t i = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  std::size_t digits = 0, points = 0;
  for (std::size_t k = i; k < text.size(); ++k) {
    if (std::isdigit(static_cast<unsigned char>(text[k])))
      ++digits;
    else if (text[k] == '.')
      ++points;
    else
      return false;
  }
  if (digits == 0 || points > 1)
    return false;
  token.attribute.Text = stored(text);
  if (points == 1) {
    token.code = tok::real;
    return true;
  }
  const long value = std::strtol(text.c_str(), nullptr, 10);
  token.attribute.Value = value;
  token.code = text[0] == '+'              ? tok::plus_integer
               : text[0] == '-'            ? tok::minus_integer
               : value >= 1 && value <= 49 ? tok::level_number
                                           : tok::unsigned_integer;
  return true;
}

} // namespace

bool LenientTokenFilter::isConstant(tIdent name) const {
  return constants_.count(name) != 0 || DirectiveConstant(GetCStr(name)) != nullptr;
}

void LenientTokenFilter::defineConstant(tIdent name, const tToken &value) {
  constants_[name] = value;
}

tToken LenientTokenFilter::pull(const Source &source) {
  if (pending_.empty())
    return source();
  tToken token = pending_.front();
  pending_.pop_front();
  return token;
}

// B'0101', GnuCOBOL's boolean literal, as the unsigned integer its bits
// make (up to 63 of them); false for any other form.
bool booleanValue(std::string_view text, long &value) {
  if (text.size() < 3 || text.size() > 65 || (text[0] != '\'' && text[0] != '"') ||
      text.back() != text[0])
    return false;
  value = 0;
  for (const char bit : text.substr(1, text.size() - 2)) {
    if (bit != '0' && bit != '1')
      return false;
    value = value << 1 | (bit - '0');
  }
  return true;
}

// H'..' as the hexadecimal literal it stands for, B'..' as the number its
// bits make: the name H or B (or h, b) with a literal right behind it.
tToken LenientTokenFilter::literalAt(const Source &source, tToken token) {
  if (!isName(token.code) || (!wordIs(token, "H") && !wordIs(token, "B")))
    return token;
  tToken after = pull(source);
  const tPosition end = endOf(token);
  std::string content;
  const std::string_view text = textOf(after);
  if (after.code != tok::string || after.attribute.Position.Line != end.Line ||
      after.attribute.Position.Column != end.Column + 1 || text.empty() ||
      (text[0] != '\'' && text[0] != '"')) {
    pending_.push_front(after);
    return token;
  }
  if (wordIs(token, "B")) {
    long value = 0;
    if (!booleanValue(text, value)) {
      pending_.push_front(after);
      return token;
    }
    ErrorMessageI(xxBooleanLiteral, xxWarning, token.attribute.Position, xxString,
                  (spellingOf(token) + std::string(text)).c_str());
    after.code = value >= 1 && value <= 49 ? tok::level_number : tok::unsigned_integer;
    after.attribute.Value = value;
    after.attribute.Text = stored(std::to_string(value));
    after.attribute.Position = token.attribute.Position;
    return after;
  }
  ErrorMessageI(xxHexLiteralH, xxWarning, token.attribute.Position, xxString,
                std::string(text).c_str());
  after.attribute.Text = stored("X" + std::string(text));
  after.attribute.Position = token.attribute.Position;
  return after;
}

// 'AB' & X'00' & ...: one literal of the parts' characters, written as
// X'..' when any part is hexadecimal (the other parts' characters taken as
// their bytes). A part that is neither form ends the joining where it stands.
tToken LenientTokenFilter::joinLiterals(const Source &source, tToken first) {
  std::string bytes;
  std::string digits;
  bool hex = hexDigits(textOf(first), digits);
  if (!hex && !plainContent(textOf(first), bytes))
    return first;
  std::string hexParts = digits;
  bool joined = false;
  for (;;) {
    tToken ampersand = pull(source);
    if (ampersand.code != tok::Ampersand) {
      pending_.push_front(ampersand);
      break;
    }
    tToken part = literalAt(source, pull(source));
    // A constant's name stands for its literal here too (CAT & "& " & DOG).
    if (isName(part.code) && isConstant(part.attribute.Word))
      substituteConstant(part);
    std::string partBytes;
    std::string partDigits;
    const bool partHex = part.code == tok::string && hexDigits(textOf(part), partDigits);
    if (part.code != tok::string || (!partHex && !plainContent(textOf(part), partBytes))) {
      pending_.push_front(part);
      pending_.push_front(ampersand);
      break;
    }
    if (!joined)
      ErrorMessage(xxLiteralsJoined, xxWarning, first.attribute.Position);
    joined = true;
    if (partHex && !hex) {
      hexParts = hexOf(bytes);
      hex = true;
    }
    if (hex)
      hexParts += partHex ? partDigits : hexOf(partBytes);
    else
      bytes += partBytes;
    first.attribute.EndPosition = part.attribute.EndPosition;
  }
  if (!joined)
    return first;
  if (hex) {
    first.attribute.Text = stored("X'" + hexParts + "'");
    return first;
  }
  std::string text = "'";
  for (char c : bytes) {
    text += c;
    if (c == '\'')
      text += c;
  }
  first.attribute.Text = stored(text + "'");
  return first;
}

// Inside a picture the scanner delivers a hyphenated name in pieces (NAME,
// "-", LEN); a repetition factor that is a constant's name is put together
// from the pieces written without a gap before it is looked up.
void LenientTokenFilter::pictureConstant(const Source &source, tToken &token) {
  std::string word = GetCStr(token.attribute.Word);
  std::deque<tToken> pieces;
  tPosition end = endOf(token);
  for (;;) {
    tToken piece = pull(source);
    pieces.push_back(piece);
    const bool adjacent = piece.attribute.Position.Line == end.Line &&
                          piece.attribute.Position.Column == end.Column + 1;
    // A piece may be a reserved word (MAX-LINES comes as MAX, "-", LINES).
    const bool isWord = piece.attribute.Word != NoIdent && piece.code != tok::MinusSign &&
                        piece.code != tok::RParen;
    if (!adjacent || (piece.code != tok::MinusSign && !isWord && piece.code != tok::level_number &&
                      piece.code != tok::unsigned_integer))
      break;
    word += piece.code == tok::MinusSign ? std::string("-")
            : isWord                     ? std::string(GetCStr(piece.attribute.Word))
                                         : std::string(textOf(piece));
    end = endOf(piece);
  }
  // The last piece read is not part of the name.
  pending_.push_front(pieces.back());
  pieces.pop_back();
  tToken joined = token;
  joined.code = tok::name;
  joined.attribute.Word = MakeIdent(word.c_str());
  joined.attribute.EndPosition = end;
  // A repetition factor is a positive integer; a constant of another value
  // leaves the name, as an unknown one does.
  if (isConstant(joined.attribute.Word) && substituteConstant(joined, true)) {
    token = joined;
    return;
  }
  while (!pieces.empty()) {
    pending_.push_front(pieces.back());
    pieces.pop_back();
  }
}

bool LenientTokenFilter::substituteConstant(tToken &token, bool integerOnly) const {
  // A level-78 constant of the program first, then one a directive defined.
  tToken value;
  auto found = constants_.find(token.attribute.Word);
  if (found != constants_.end()) {
    value = found->second;
  } else {
    const std::string *literal = DirectiveConstant(GetCStr(token.attribute.Word));
    if (literal == nullptr || !directiveLiteral(*literal, value))
      return false;
  }
  if (integerOnly && value.code != tok::level_number && value.code != tok::unsigned_integer)
    return false;
  ErrorMessageI(xxConstantUsed, xxWarning, token.attribute.Position, xxIdent,
                &token.attribute.Word);
  value.attribute.Position = token.attribute.Position;
  value.attribute.EndPosition = token.attribute.EndPosition;
  value.attribute.Prefixed = token.attribute.Prefixed;
  token = value;
  return true;
}

// The GnuCOBOL clause words among an entry's clauses: BASED, ANY LENGTH,
// UNBOUNDED after OCCURS or TO, SPECIAL-NAMES and CRT after it, BYTE-LENGTH
// in a constant. Not where an entry is referred to, where they are names.
bool LenientTokenFilter::clauseWord(const Source &source, tToken &token) {
  if (takesReference(previous_))
    return false;
  if (wordIs(token, "BASED")) {
    token.code = tok::BASED;
  } else if (wordIs(token, "UNBOUNDED") && (previous_ == tok::OCCURS || previous_ == tok::TO)) {
    token.code = tok::UNBOUNDED;
  } else if (wordIs(token, "SPECIAL-NAMES")) {
    token.code = tok::SPECIAL_NAMES;
  } else if (wordIs(token, "CRT") && previous_ == tok::SPECIAL_NAMES) {
    token.code = tok::CRT;
  } else if (wordIs(token, "BYTE-LENGTH") && (constantEntry_ || entryLevel_ == tok::Level78)) {
    token.code = tok::BYTE_LENGTH;
  } else if (wordIs(token, "ANY")) {
    tToken after = pull(source);
    if (after.code != tok::LENGTH) {
      pending_.push_front(after);
      return false;
    }
    token.code = tok::ANY_LENGTH;
    token.attribute.EndPosition = endOf(after);
  } else {
    return false;
  }
  return true;
}

tToken LenientTokenFilter::next(const Source &source) {
  tToken token = pull(source);
  const bool entryName = previousBeginsEntry_;

  if (inPicture_) {
    if (token.code == tok::end_of_picture)
      inPicture_ = false;
    else if (previous_ == tok::LParen && token.attribute.Word != NoIdent)
      pictureConstant(source, token);
  } else if (entryName) {
    if (isReservedWord(token) &&
        (previous_ == tok::Level88 ? token.code != tok::VALUE && token.code != tok::VALUES
                                   : previous_ == tok::Level66 || previous_ == tok::Level78 ||
                                         !beginsClause(token.code))) {
      ErrorMessageI(xxReservedWordAsName, xxWarning, token.attribute.Position, xxIdent,
                    &token.attribute.Word);
      token.code = tok::name;
      namesTaken_.insert(token.attribute.Word);
    }
  } else if (isReservedWord(token) && takesReference(previous_) &&
             namesTaken_.count(token.attribute.Word) != 0) {
    ErrorMessageI(xxReservedWordAsName, xxWarning, token.attribute.Position, xxIdent,
                  &token.attribute.Word);
    token.code = tok::name;
  } else if (isName(token.code)) {
    if (wordIs(token, "CONSTANT") &&
        ((isName(previous_) && isLevel(beforePrevious_)) || previous_ == tok::GLOBAL)) {
      token.code = tok::CONSTANT;
      constantEntry_ = true;
    } else if (wordIs(token, "AS") && (previous_ == tok::CONSTANT || previous_ == tok::EXTERNAL ||
                                       (previous_ == tok::GLOBAL && constantEntry_))) {
      token.code = tok::AS;
    } else if (inEntry_ && clauseWord(source, token)) {
    } else if ((wordIs(token, "SIGNED") || wordIs(token, "UNSIGNED")) &&
               isBinaryDialectUsage(previous_)) {
      token.code = wordIs(token, "SIGNED") ? tok::SIGNED : tok::UNSIGNED;
    } else if ((takesLiteral(previous_) || (entryLevel_ == tok::Level88 && isLiteral(previous_))) &&
               isConstant(token.attribute.Word)) {
      substituteConstant(token);
    } else {
      for (const DialectWord &usage : usageWords)
        if (wordIs(token, usage.word)) {
          ErrorMessageI(xxDialectUsage, xxWarning, token.attribute.Position, xxIdent,
                        &token.attribute.Word);
          token.code = usage.code;
          break;
        }
    }
  } else if (isDialectKeywordUsage(token.code)) {
    ErrorMessageI(xxDialectUsage, xxWarning, token.attribute.Position, xxIdent,
                  &token.attribute.Word);
  } else if (token.code == tok::GLOBAL && isName(previous_) && beforePrevious_ == tok::Level78) {
    ErrorMessage(xxGlobalIgnored, xxWarning, token.attribute.Position);
    return next(source);
  } else if (token.code == tok::DATE) {
    // DATE FORMAT is one terminal: DATE alone is no clause, so the default
    // grammar never had to expect it.
    tToken after = pull(source);
    if (isName(after.code) && wordIs(after, "FORMAT")) {
      after.code = tok::FORMAT;
      after.attribute.Position = token.attribute.Position;
      token = after;
    } else {
      pending_.push_front(after);
    }
  } else if ((token.code == tok::NULL_ || token.code == tok::NULLS) &&
             entryLevel_ == tok::Level88) {
    ErrorMessage(xxNullCondition, xxWarning, token.attribute.Position);
    token.code = tok::condition_null;
  }

  if (!inPicture_ && !entryName) {
    token = literalAt(source, token);
    if (token.code == tok::string)
      token = joinLiterals(source, token);
  }
  if (token.code == tok::PICTURE)
    inPicture_ = true;

  previousBeginsEntry_ = isLevel(token.code) &&
                         (previous_ == 0 || previous_ == tok::Period || previous_ == tok::EXECUTE);
  if (previousBeginsEntry_) {
    entryLevel_ = token.code;
    inEntry_ = true;
    constantEntry_ = false;
  } else if (token.code == tok::Period) {
    inEntry_ = false;
  }
  beforePrevious_ = previous_;
  previous_ = token.code;
  return token;
}

// The division filter of program files and the >> directives, both read line by line before
// scanning.
#include "frontend/program_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Splits `text` into upper-case words at blanks, commas, semicolons and
// periods, up to `limit` words; "*>" ends the text. `column` receives the
// column of the first word.
// `written`, when given, receives the words as written.
std::vector<std::string> splitWords(const char *text, unsigned length, unsigned start,
                                    std::size_t limit, unsigned &column,
                                    std::vector<std::string> *written = nullptr) {
  std::vector<std::string> words;
  std::string word;
  std::string asWritten;
  column = 0;
  const auto endWord = [&] {
    if (word.empty())
      return;
    words.push_back(std::move(word));
    if (written != nullptr)
      written->push_back(std::move(asWritten));
    word.clear();
    asWritten.clear();
  };
  for (unsigned i = start; i < length && words.size() < limit; ++i) {
    const char c = text[i];
    if (c == '*' && i + 1 < length && text[i + 1] == '>')
      break;
    if (isBlank(c) || c == ',' || c == ';' || c == '.') {
      endWord();
      continue;
    }
    if (word.empty() && words.empty())
      column = i + 1;
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    asWritten += c;
  }
  if (words.size() < limit)
    endWord();
  return words;
}

// A word as written, its quotes dropped (a program name, a defined value).
std::string unquoted(std::string word) {
  if (word.size() >= 2 && (word.front() == '"' || word.front() == '\'') &&
      word.back() == word.front())
    return word.substr(1, word.size() - 2);
  return word;
}

// Where the directive of a raw line begins (the first '>' of ">>"), or -1.
// After blanks in any format; in the fixed format also after a sequence area
// that holds something.
int directiveStart(const char *line, unsigned length, bool freeFormat) {
  for (int from : {0, 6}) {
    if (from == 6 && freeFormat)
      break;
    unsigned i = static_cast<unsigned>(from);
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
      ++i;
    if (i + 1 < length && line[i] == '>' && line[i + 1] == '>')
      return static_cast<int>(i);
  }
  return -1;
}

// Where the "$" of a "$SET" or "$DISPLAY" line stands, or -1: first on the
// line in any column (in the fixed format also in the indicator column, or
// first after the sequence area).
int dollarStart(const char *line, unsigned length, bool freeFormat) {
  for (unsigned from : {0u, 6u}) {
    if (from == 6 && freeFormat)
      break;
    unsigned i = from;
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
      ++i;
    if (i >= length || line[i] != '$')
      continue;
    for (const char *word : {"SET", "DISPLAY"}) {
      const unsigned size = static_cast<unsigned>(std::strlen(word));
      if (i + 1 + size > length)
        continue;
      bool same = true;
      for (unsigned k = 0; k < size && same; ++k)
        same = std::toupper(static_cast<unsigned char>(line[i + 1 + k])) == word[k];
      if (same && (i + 1 + size == length || isBlank(line[i + 1 + size])))
        return static_cast<int>(i);
    }
  }
  return -1;
}

// The words of a directive as written, from `start`: a literal (with the
// letters written before its quote) is one word, blanks inside it
// included; words end at blanks, commas and semicolons; "*>" ends the text,
// and a period that ends the last word is dropped.
std::vector<std::string> directiveTokens(const char *text, unsigned length, unsigned start) {
  std::vector<std::string> tokens;
  std::string token;
  for (unsigned i = start; i < length; ++i) {
    const char c = text[i];
    if (c == '*' && i + 1 < length && text[i + 1] == '>')
      break;
    if (c == '"' || c == '\'') {
      token += c;
      for (++i; i < length && text[i] != '\n'; ++i) {
        token += text[i];
        if (text[i] == c) {
          if (i + 1 < length && text[i + 1] == c) {
            token += c;
            ++i;
            continue;
          }
          break;
        }
      }
      continue;
    }
    if (isBlank(c) || c == ',' || c == ';') {
      if (!token.empty())
        tokens.push_back(std::move(token));
      token.clear();
      continue;
    }
    token += c;
  }
  if (!token.empty())
    tokens.push_back(std::move(token));
  if (!tokens.empty() && tokens.back().size() > 1 && tokens.back().back() == '.' &&
      tokens.back().front() != '"' && tokens.back().front() != '\'')
    tokens.back().pop_back();
  return tokens;
}

std::string upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The format an option SOURCEFORMAT"FREE", SOURCEFORMAT (FIXED) ... names:
// the rest of `tokens[i]` after the option's name, or else the next token
// (then `i` moves past it); upper case, without quotes or parentheses.
std::string sourceFormatOption(const std::vector<std::string> &tokens, std::size_t &i) {
  std::string value = tokens[i].substr(std::strlen("SOURCEFORMAT"));
  if (value.empty() && i + 1 < tokens.size())
    value = tokens[++i];
  std::string format;
  for (char c : value)
    if (c != '"' && c != '\'' && c != '(' && c != ')')
      format += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return format;
}

} // namespace

bool SourceDirectives::take(const char *line, unsigned length, unsigned lineNumber,
                            bool &freeFormat, std::vector<SourceNote> &notes) {
  const int dollar = dollarStart(line, length, freeFormat);
  if (dollar >= 0) {
    if (reading())
      setLine(line, length, static_cast<unsigned>(dollar), lineNumber, freeFormat, notes);
    return true;
  }
  const int start = directiveStart(line, length, freeFormat);
  if (start < 0)
    return !reading();
  unsigned column = 0;
  std::vector<std::string> words =
      splitWords(line, length, static_cast<unsigned>(start) + 2, 16, column);
  const std::vector<std::string> tokens =
      directiveTokens(line, length, static_cast<unsigned>(start) + 2);
  column = static_cast<unsigned>(start) + 1;
  // ">> SOURCE" and ">>SOURCE" alike.
  const std::size_t noted = notes.size();
  // A branch directive belongs to the text around its >>IF.
  const std::string name = words.empty() ? std::string() : words[0];
  const bool branch = name == "ELSE" || name == "ELIF" || name == "ELSE-IF" || name == "END-IF";
  const bool wasReading = branch ? !branches_.empty() && branches_.back().outerTaking : reading();
  directive(words, tokens, lineNumber, column, freeFormat, notes);
  if (announce_ && notes.size() == noted && wasReading && !words.empty())
    notes.push_back({lineNumber, column, "directive >>" + words[0] + " honoured"});
  return true;
}

// A "$SET" line: SOURCEFORMAT switches the format, CONSTANT name literal
// defines a constant; the other options choose dialects and listings, which
// change no record. "$DISPLAY" shows a text while compiling.
void SourceDirectives::setLine(const char *line, unsigned length, unsigned start,
                               unsigned lineNumber, bool &freeFormat,
                               std::vector<SourceNote> &notes) {
  const unsigned column = start + 1;
  const std::vector<std::string> tokens = directiveTokens(line, length, start + 1);
  const std::string name = upper(tokens.front());
  if (name != "SET") {
    notes.push_back({lineNumber, column, "directive $" + name + " skipped"});
    return;
  }
  bool honoured = false;
  bool constant = false;
  const std::size_t noted = notes.size();
  for (std::size_t i = 1; i < tokens.size(); ++i) {
    const std::string option = upper(tokens[i]);
    if (option.rfind("SOURCEFORMAT", 0) == 0) {
      const std::string format = sourceFormatOption(tokens, i);
      if (format != "FREE" && format != "FIXED")
        continue;
      freeFormat = format == "FREE";
      honoured = true;
      if (announce_)
        notes.push_back({lineNumber, column, "directive $SET SOURCEFORMAT honoured"});
    } else if (option == "CONSTANT" && i + 2 < tokens.size()) {
      if (defineConstant(upper(tokens[i + 1]), tokens[i + 2], false, lineNumber, column, "$SET",
                         notes))
        constant = true;
      honoured = true;
      i += 2;
    }
  }
  if (constant && announce_)
    notes.push_back({lineNumber, column, "directive $SET CONSTANT honoured"});
  if (!honoured && notes.size() == noted)
    notes.push_back({lineNumber, column, "directive $SET skipped"});
}

// A constant keeps its first definition unless OVERRIDE replaces it, as
// GnuCOBOL and Micro Focus read it; false when the definition is skipped.
bool SourceDirectives::defineConstant(const std::string &name, const std::string &literal,
                                      bool override, unsigned lineNumber, unsigned column,
                                      const char *directive, std::vector<SourceNote> &notes) {
  bool defined = constants_.count(name) != 0;
  for (const Definition &definition : pending_)
    if (definition.name == name)
      defined = !definition.literal.empty();
  if (defined && !override) {
    notes.push_back(
        {lineNumber, column,
         std::string("directive ") + directive + " of a defined constant skipped: " + name});
    return false;
  }
  pending_.push_back({name, literal});
  return true;
}

void SourceDirectives::adoptConstants() {
  for (Definition &definition : pending_)
    if (definition.literal.empty())
      constants_.erase(definition.name);
    else
      constants_[definition.name] = std::move(definition.literal);
  pending_.clear();
}

const std::string *SourceDirectives::constant(const std::string &name) const {
  auto found = constants_.find(name);
  return found == constants_.end() ? nullptr : &found->second;
}

void SourceDirectives::directive(const std::vector<std::string> &words,
                                 const std::vector<std::string> &tokens, unsigned lineNumber,
                                 unsigned column, bool &freeFormat,
                                 std::vector<SourceNote> &notes) {
  const std::string name = words.empty() ? std::string() : words[0];
  if (name == "IF") {
    bool known = true;
    const bool value = reading() && condition(words, 1, known);
    if (reading() && !known)
      notes.push_back(
          {lineNumber, column, "directive condition not evaluated, first branch taken"});
    const bool taking = reading() && (value || !known);
    branches_.push_back({taking, taking, reading()});
    return;
  }
  if (name == "ELIF" || name == "ELSE-IF" || name == "ELSE") {
    if (branches_.empty()) {
      notes.push_back({lineNumber, column, "directive >>" + name + " without >>IF skipped"});
      return;
    }
    Branch &branch = branches_.back();
    bool value = true;
    bool known = true;
    if (name != "ELSE" && branch.outerTaking && !branch.taken)
      value = condition(words, 1, known);
    branch.taking = branch.outerTaking && !branch.taken && value && known;
    branch.taken = branch.taken || branch.taking;
    return;
  }
  if (name == "END-IF") {
    if (branches_.empty())
      notes.push_back({lineNumber, column, "directive >>END-IF without >>IF skipped"});
    else
      branches_.pop_back();
    return;
  }
  if (!reading())
    return;
  if (name == "SOURCE") {
    std::size_t i = 1;
    if (i < words.size() && words[i] == "FORMAT")
      ++i;
    if (i < words.size() && words[i] == "IS")
      ++i;
    if (i < words.size() && (words[i] == "FREE" || words[i] == "FIXED")) {
      freeFormat = words[i] == "FREE";
      return;
    }
    notes.push_back({lineNumber, column, "directive >>SOURCE without FREE or FIXED skipped"});
    return;
  }
  if (name == "DEFINE") {
    // DEFINE [CONSTANT] name [AS] value [OVERRIDE]; the value may be OFF,
    // or PARAMETER: given on the compiler's command line, so none here.
    std::size_t i = 1;
    const bool constant = i < tokens.size() && upper(tokens[i]) == "CONSTANT";
    if (constant)
      ++i;
    if (i >= tokens.size()) {
      notes.push_back({lineNumber, column, "directive >>DEFINE without a name skipped"});
      return;
    }
    const std::string defined = upper(tokens[i++]);
    if (i < tokens.size() && upper(tokens[i]) == "AS")
      ++i;
    const std::string value = i < tokens.size() ? tokens[i] : std::string();
    if (upper(value) == "OFF" || upper(value) == "PARAMETER") {
      defined_.erase(defined);
      pending_.push_back({defined, ""});
      return;
    }
    defined_[defined] = unquoted(upper(value));
    const bool override = i + 1 < tokens.size() && upper(tokens[i + 1]) == "OVERRIDE";
    if (constant && !value.empty())
      defineConstant(defined, value, override, lineNumber, column, ">>DEFINE", notes);
    return;
  }
  if (name == "SET") {
    // SET CONSTANT name [AS] literal; SET SOURCEFORMAT ... as $SET has it.
    std::size_t i = 1;
    const std::string option = i < tokens.size() ? upper(tokens[i]) : std::string();
    if (option == "CONSTANT" && i + 2 < tokens.size()) {
      const std::size_t value = upper(tokens[i + 2]) == "AS" ? i + 3 : i + 2;
      if (value < tokens.size()) {
        defineConstant(upper(tokens[i + 1]), tokens[value], false, lineNumber, column, ">>SET",
                       notes);
        return;
      }
    }
    if (option.rfind("SOURCEFORMAT", 0) == 0) {
      const std::string format = sourceFormatOption(tokens, i);
      if (format == "FREE" || format == "FIXED") {
        freeFormat = format == "FREE";
        return;
      }
    }
  }
  notes.push_back({lineNumber, column, "directive >>" + name + " skipped"});
}

bool SourceDirectives::condition(const std::vector<std::string> &words, std::size_t from,
                                 bool &known) const {
  known = true;
  if (from >= words.size()) {
    known = false;
    return false;
  }
  const std::string &name = words[from];
  std::size_t i = from + 1;
  if (i < words.size() && words[i] == "IS")
    ++i;
  bool negated = false;
  if (i < words.size() && words[i] == "NOT") {
    negated = true;
    ++i;
  }
  if (i + 1 == words.size() && words[i] == "DEFINED")
    return (defined_.count(name) != 0) != negated;
  if (i < words.size() && (words[i] == "=" || words[i] == "EQUAL")) {
    ++i;
    if (i < words.size() && words[i] == "TO")
      ++i;
    auto found = defined_.find(name);
    if (i + 1 == words.size() && found != defined_.end())
      return (found->second == unquoted(words[i])) != negated;
  }
  known = false;
  return false;
}

void ProgramFilter::beginProgram(unsigned lineNumber) {
  if (content_ || !units_[static_cast<std::size_t>(current_)].name.empty()) {
    ProgramUnit unit{"", lineNumber};
    // A nested program is in the scope of its container's SPECIAL-NAMES.
    if (!open_.empty())
      unit.decimalPointComma = units_[static_cast<std::size_t>(open_.back())].decimalPointComma;
    units_.push_back(unit);
    current_ = static_cast<int>(units_.size()) - 1;
  } else {
    units_[static_cast<std::size_t>(current_)].line = lineNumber;
  }
  if (open_.empty() || open_.back() != current_)
    open_.push_back(current_);
  content_ = false;
  decimalPointWords_ = 0;
}

// Follows a REPLACE statement from `from` to its period (one outside
// pseudo-text and literals); true when the statement goes on after the line.
bool ProgramFilter::replaceStatement(const char *line, unsigned length, unsigned from) {
  char quote = 0;
  for (unsigned i = from; i < length; ++i) {
    const char c = line[i];
    if (quote != 0) {
      if (c == quote)
        quote = 0;
    } else if (c == '=' && i + 1 < length && line[i + 1] == '=') {
      pseudoText_ = !pseudoText_;
      ++i;
    } else if (pseudoText_) {
      continue;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '*' && i + 1 < length && line[i + 1] == '>') {
      break;
    } else if (c == '.' && (i + 1 == length || isBlank(line[i + 1]))) {
      return false;
    }
  }
  return true;
}

// DECIMAL-POINT IS COMMA among the clauses of SPECIAL-NAMES, in any order
// with the others (CURSOR IS, CRT STATUS IS ...) and over any lines.
void ProgramFilter::specialNames(const std::vector<std::string> &words) {
  for (const std::string &word : words) {
    if (word == "DECIMAL-POINT") {
      decimalPointWords_ = 1;
    } else if (decimalPointWords_ == 1 && word == "IS") {
      decimalPointWords_ = 2;
    } else {
      if (decimalPointWords_ != 0 && word == "COMMA")
        units_[static_cast<std::size_t>(current_)].decimalPointComma = true;
      decimalPointWords_ = 0;
    }
  }
}

namespace {

bool isDivisionName(const std::string &word) {
  return word == "IDENTIFICATION" || word == "ID" || word == "ENVIRONMENT" || word == "DATA" ||
         word == "PROCEDURE";
}

// The ENVIRONMENT DIVISION has sections of its own (CONFIGURATION,
// INPUT-OUTPUT); only a data section's header ends it.
bool isDataSectionName(const std::string &word) {
  static const char *const names[] = {
      "FILE", "WORKING-STORAGE", "LOCAL-STORAGE", "LINKAGE", "COMMUNICATION", "REPORT", "SCREEN"};
  return std::any_of(std::begin(names), std::end(names),
                     [&](const char *name) { return word == name; });
}

// Sections whose entries describe no records: they are skipped.
bool isSkippedSection(const std::string &word) { return word == "SCREEN" || word == "REPORT"; }

} // namespace

// A division or section header whose first word is `first`; false when the
// words are no header. `kept` receives whether the line is delivered.
bool ProgramFilter::header(const std::string &first, bool division, bool section,
                           unsigned lineNumber, unsigned column, std::vector<SourceNote> &notes,
                           bool &kept) {
  const bool ours = current_ == wanted_;
  kept = false;
  if (division && (first == "IDENTIFICATION" || first == "ID")) {
    beginProgram(lineNumber);
    headerOpen_ = true;
    part_ = Part::heading;
    return true;
  }
  if (division && (first == "ENVIRONMENT" || first == "PROCEDURE")) {
    headerOpen_ = false;
    content_ = true;
    part_ = first == "PROCEDURE" ? Part::closed : Part::heading;
    return true;
  }
  if (division && first == "DATA") {
    headerOpen_ = false;
    content_ = true;
    part_ = Part::data;
    kept = ours;
    return true;
  }
  if (!section)
    return false;
  if (part_ == Part::heading && isDataSectionName(first))
    part_ = Part::data;
  if (part_ != Part::data && part_ != Part::skipped)
    return false;
  headerOpen_ = false;
  if (isSkippedSection(first)) {
    if (ours && part_ != Part::skipped)
      notes.push_back({lineNumber, column, first + " SECTION skipped"});
    part_ = Part::skipped;
    return true;
  }
  part_ = Part::data;
  content_ = true;
  kept = ours;
  return true;
}

bool ProgramFilter::keep(const char *line, unsigned length, unsigned lineNumber, bool freeFormat,
                         std::vector<SourceNote> &notes) {
  if (units_.empty()) {
    units_.push_back({"", lineNumber});
    current_ = 0;
  }
  const bool ours = current_ == wanted_;
  if (replacing_) {
    replacing_ = replaceStatement(line, length, 0);
    return replaceKept_;
  }
  // Comment and continuation lines of the fixed format carry no header.
  const bool comment = !freeFormat && length > 0 && line[0] != ' ' && line[0] != '\t';
  unsigned column = 0;
  std::vector<std::string> written;
  const std::vector<std::string> words =
      comment ? std::vector<std::string>() : splitWords(line, length, 0, 64, column, &written);
  if (words.empty() && !comment && periodNext_ && std::memchr(line, '.', length) != nullptr) {
    periodNext_ = false;
    return false;
  }
  if (words.empty())
    return part_ == Part::data && ours;
  periodNext_ = false;
  if (nameNext_) {
    units_[static_cast<std::size_t>(current_)].name = unquoted(written[0]);
    nameNext_ = false;
    return false;
  }
  const std::string &first = words[0];
  const bool startsData = !content_ && !headerOpen_ && part_ == Part::data &&
                          units_[static_cast<std::size_t>(current_)].name.empty();
  // Outside the data, text of a comment entry (REMARKS ...) may begin with
  // the word: a REPLACE statement has pseudo-text or is REPLACE OFF.
  const bool replaceStatementLine =
      first == "REPLACE" && (part_ == Part::data || words.size() == 1 || words[1] == "OFF" ||
                             std::string(line, length).find("==") != std::string::npos);
  if (replaceStatementLine) {
    // Compiler-directing text in force for what follows, the later
    // programs' DATA DIVISIONs included. Before any program it is no text
    // of a program of its own.
    replaceKept_ = wanted_ > current_ ||
                   (wanted_ == current_ && (part_ == Part::data || part_ == Part::heading));
    if (part_ == Part::data && !startsData)
      content_ = true;
    pseudoText_ = false;
    replacing_ = replaceStatement(line, length, column - 1);
    return replaceKept_;
  }
  if (!pendingHeader_.empty()) {
    const std::string held = pendingHeader_;
    pendingHeader_.clear();
    if (first == "DIVISION" || first == "SECTION") {
      bool kept = false;
      // The header's first word was not delivered, so neither is the rest:
      // a DATA DIVISION header may be left out, and the other headers are
      // never delivered.
      header(held, first == "DIVISION", first == "SECTION", pendingLine_, pendingColumn_, notes,
             kept);
      // The header's period may stand on a line of its own after it.
      periodNext_ = std::memchr(line, '.', length) == nullptr;
      return false;
    }
  }
  const bool division = words.size() >= 2 && words[1] == "DIVISION";
  const bool section = words.size() >= 2 && words[1] == "SECTION";
  const bool period = std::memchr(line, '.', length) != nullptr;
  if (words.size() == 1 && !period &&
      (isDivisionName(first) || (part_ == Part::data && isSkippedSection(first)))) {
    pendingHeader_ = first;
    pendingLine_ = lineNumber;
    pendingColumn_ = column;
    return false;
  }
  if (words.size() == 1 && !period && part_ == Part::heading && isDataSectionName(first) &&
      !isSkippedSection(first)) {
    // A data section header split after its name: the parser reads both
    // lines, so this one begins the DATA DIVISION.
    part_ = Part::data;
    content_ = true;
    return ours;
  }
  bool kept = false;
  if (header(first, division, section, lineNumber, column, notes, kept))
    return kept;
  // A user-defined function is a program unit with data of its own.
  if (first == "PROGRAM-ID" || first == "FUNCTION-ID") {
    if (!headerOpen_)
      beginProgram(lineNumber);
    headerOpen_ = false;
    content_ = true;
    if (words.size() >= 2)
      units_[static_cast<std::size_t>(current_)].name = unquoted(written[1]);
    else
      nameNext_ = true;
    part_ = Part::heading;
    return false;
  }
  headerOpen_ = false;
  if (first == "END" && words.size() >= 2 && (words[1] == "PROGRAM" || words[1] == "FUNCTION")) {
    if (!open_.empty())
      open_.pop_back();
    part_ = Part::closed;
    return false;
  }
  if (part_ == Part::heading)
    specialNames(words);
  if (part_ != Part::data)
    return false;
  content_ = true;
  return ours;
}

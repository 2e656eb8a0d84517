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

// Where a "$SET" line's "$" stands, or -1: in the indicator column of the
// fixed format, or first on a free-format line.
int setStart(const char *line, unsigned length, bool freeFormat) {
  unsigned i = 0;
  if (freeFormat) {
    while (i < length && (line[i] == ' ' || line[i] == '\t'))
      ++i;
  } else {
    i = 6;
  }
  if (i + 4 > length || line[i] != '$')
    return -1;
  for (unsigned k = 0; k < 3; ++k)
    if (std::toupper(static_cast<unsigned char>(line[i + 1 + k])) != "SET"[k])
      return -1;
  return i + 4 == length || isBlank(line[i + 4]) ? static_cast<int>(i) : -1;
}

// The source format a "$SET" line's options choose: SOURCEFORMAT"FREE",
// SOURCEFORMAT "FIXED", SOURCEFORMAT(FREE) ...; empty when they choose none.
std::string setSourceFormat(const char *line, unsigned length, unsigned from) {
  std::string text(line + from, line + length);
  for (char &c : text)
    c = c == '"' || c == '\'' || c == '(' || c == ')'
            ? ' '
            : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  unsigned column = 0;
  const std::vector<std::string> words =
      splitWords(text.c_str(), static_cast<unsigned>(text.size()), 0, 64, column);
  for (std::size_t i = 0; i + 1 < words.size(); ++i)
    if (words[i] == "SOURCEFORMAT")
      return words[i + 1];
  return "";
}

} // namespace

bool SourceDirectives::take(const char *line, unsigned length, unsigned lineNumber,
                            bool &freeFormat, std::vector<SourceNote> &notes) {
  const int set = setStart(line, length, freeFormat);
  if (set >= 0) {
    if (!reading())
      return true;
    const unsigned column = static_cast<unsigned>(set) + 1;
    const std::string format = setSourceFormat(line, length, static_cast<unsigned>(set) + 4);
    if (format == "FREE" || format == "FIXED") {
      freeFormat = format == "FREE";
      if (announce_)
        notes.push_back({lineNumber, column, "directive $SET SOURCEFORMAT honoured"});
    } else {
      // Other options choose dialects and listings, which change no record.
      notes.push_back({lineNumber, column, "directive $SET skipped"});
    }
    return true;
  }
  const int start = directiveStart(line, length, freeFormat);
  if (start < 0)
    return !reading();
  unsigned column = 0;
  std::vector<std::string> words =
      splitWords(line, length, static_cast<unsigned>(start) + 2, 16, column);
  column = static_cast<unsigned>(start) + 1;
  // ">> SOURCE" and ">>SOURCE" alike.
  const std::size_t noted = notes.size();
  // A branch directive belongs to the text around its >>IF.
  const std::string name = words.empty() ? std::string() : words[0];
  const bool branch = name == "ELSE" || name == "ELIF" || name == "ELSE-IF" || name == "END-IF";
  const bool wasReading = branch ? !branches_.empty() && branches_.back().outerTaking : reading();
  directive(words, lineNumber, column, freeFormat, notes);
  if (announce_ && notes.size() == noted && wasReading && !words.empty())
    notes.push_back({lineNumber, column, "directive >>" + words[0] + " honoured"});
  return true;
}

void SourceDirectives::directive(const std::vector<std::string> &words, unsigned lineNumber,
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
    std::size_t i = 1;
    if (i < words.size() && words[i] == "CONSTANT")
      ++i;
    if (i >= words.size()) {
      notes.push_back({lineNumber, column, "directive >>DEFINE without a name skipped"});
      return;
    }
    const std::string &defined = words[i];
    if (i + 1 < words.size() && words[i + 1] == "OFF") {
      defined_.erase(defined);
      return;
    }
    std::string value;
    if (i + 2 < words.size() && words[i + 1] == "AS")
      value = unquoted(words[i + 2]);
    defined_[defined] = value;
    return;
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
    units_.push_back({"", lineNumber});
    current_ = static_cast<int>(units_.size()) - 1;
  } else {
    units_[static_cast<std::size_t>(current_)].line = lineNumber;
  }
  content_ = false;
}

bool ProgramFilter::keep(const char *line, unsigned length, unsigned lineNumber, bool freeFormat,
                         std::vector<SourceNote> &notes) {
  if (units_.empty()) {
    units_.push_back({"", lineNumber});
    current_ = 0;
  }
  const bool ours = current_ == wanted_;
  // Comment and continuation lines of the fixed format carry no header.
  const bool comment = !freeFormat && length > 0 && line[0] != ' ' && line[0] != '\t';
  unsigned column = 0;
  std::vector<std::string> written;
  const std::vector<std::string> words =
      comment ? std::vector<std::string>() : splitWords(line, length, 0, 3, column, &written);
  if (words.empty())
    return part_ == Part::data && ours;
  if (nameNext_) {
    units_[static_cast<std::size_t>(current_)].name = unquoted(written[0]);
    nameNext_ = false;
    return false;
  }
  const bool division = words.size() >= 2 && words[1] == "DIVISION";
  const std::string &first = words[0];
  if (division && (first == "IDENTIFICATION" || first == "ID")) {
    beginProgram(lineNumber);
    headerOpen_ = true;
    part_ = Part::heading;
    return false;
  }
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
  if (division && (first == "ENVIRONMENT" || first == "PROCEDURE")) {
    content_ = true;
    part_ = first == "PROCEDURE" ? Part::closed : Part::heading;
    return false;
  }
  if (division && first == "DATA") {
    content_ = true;
    part_ = Part::data;
    return ours;
  }
  if (first == "END" && words.size() >= 2 && (words[1] == "PROGRAM" || words[1] == "FUNCTION")) {
    part_ = Part::closed;
    return false;
  }
  // The ENVIRONMENT DIVISION has sections of its own (CONFIGURATION,
  // INPUT-OUTPUT); only a data section's header ends it.
  static const char *const dataSections[] = {
      "FILE", "WORKING-STORAGE", "LOCAL-STORAGE", "LINKAGE", "COMMUNICATION", "REPORT", "SCREEN"};
  const bool section = words.size() >= 2 && words[1] == "SECTION";
  if (section && part_ == Part::heading &&
      std::any_of(std::begin(dataSections), std::end(dataSections),
                  [&](const char *name) { return first == name; }))
    part_ = Part::data;
  if (section && (part_ == Part::data || part_ == Part::screen)) {
    if (first == "SCREEN") {
      if (ours && part_ != Part::screen)
        notes.push_back({lineNumber, column, "SCREEN SECTION skipped"});
      part_ = Part::screen;
      return false;
    }
    part_ = Part::data;
  }
  if (part_ != Part::data)
    return false;
  content_ = true;
  return ours;
}

#pragma once
// Whole programs as text: which lines of a program file belong to the DATA
// DIVISION being read, and the compiler directives that shape the source.
//
// Both work on lines before the scanner sees them, so that what they skip
// (IDENTIFICATION, ENVIRONMENT and PROCEDURE DIVISION, SCREEN SECTION, the
// false branch of a >>IF) never draws a syntax error and never expands a
// COPY. A skipped line comes back empty, so every position stays the
// position in the file.
#include <map>
#include <string>
#include <vector>

// A warning about a line, reported by the scanner with the file's identity.
struct SourceNote {
  unsigned line;
  unsigned column;
  std::string text;
};

// One program of a program file, in the order the programs begin; nested
// programs count as programs of their own. A DATA DIVISION with no program
// header before it is a program without a name.
struct ProgramUnit {
  std::string name; // the PROGRAM-ID as written; empty without one
  unsigned line;    // where the program (or its text) begins
  // SPECIAL-NAMES of the program (or of a program it is nested in) say
  // DECIMAL-POINT IS COMMA.
  bool decimalPointComma = false;
};

// Compiler directives: lines that begin with ">>" (after blanks, or after a
// fixed-format sequence area). >>SOURCE [FORMAT] [IS] FREE|FIXED switches the
// format from the next line on; >>DEFINE records a name (and its value);
// >>IF / >>ELSE / >>END-IF keep the branch that a condition over defined
// names selects; any other directive is skipped with a warning. "$SET" lines
// ("$" in the indicator column, or first on the line in any column) switch
// the format with SOURCEFORMAT"FREE" or "FIXED"; other $SET options are
// skipped with a warning, and so are "$DISPLAY" lines. Constants for the
// program text: >>DEFINE CONSTANT name [AS] literal, >>SET CONSTANT name
// literal and $SET CONSTANT name literal.
class SourceDirectives {
public:
  // Reads the raw physical `line` (`length` characters, newline included).
  // True when the line is a directive or lies in a branch not taken: it is
  // then delivered empty. A format switch sets `freeFormat`.
  bool take(const char *line, unsigned length, unsigned lineNumber, bool &freeFormat,
            std::vector<SourceNote> &notes);

  // Every directive that is honoured is also noted ("directive >>NAME
  // honoured"), for a reading that must say what it relaxed.
  void announce(bool on) { announce_ = on; }

  // The literal, as written, that a directive made the constant `name`
  // (upper case) stand for; null when no directive defined it.
  const std::string *constant(const std::string &name) const;

  // Constants defined (or removed) by lines read since they were last
  // adopted. They count only once adopted: the scanner adopts them when it
  // has scanned every line before the directive, so that a constant
  // redefined later in the text keeps its value where it was used before.
  bool constantsPending() const { return !pending_.empty(); }
  void adoptConstants();

private:
  struct Branch {
    bool taking;      // this branch's lines are read
    bool taken;       // some branch of this >>IF has been read
    bool outerTaking; // the enclosing branch is read
  };
  bool reading() const { return branches_.empty() || branches_.back().taking; }
  void directive(const std::vector<std::string> &words, const std::vector<std::string> &tokens,
                 unsigned lineNumber, unsigned column, bool &freeFormat,
                 std::vector<SourceNote> &notes);
  void setLine(const char *line, unsigned length, unsigned start, unsigned lineNumber,
               bool &freeFormat, std::vector<SourceNote> &notes);
  bool defineConstant(const std::string &name, const std::string &literal, bool override,
                      unsigned lineNumber, unsigned column, const char *directive,
                      std::vector<SourceNote> &notes);
  // The value of an >>IF condition; false in `known` when it cannot be
  // evaluated.
  bool condition(const std::vector<std::string> &words, std::size_t from, bool &known) const;

  std::map<std::string, std::string> defined_;
  std::map<std::string, std::string> constants_;
  struct Definition {
    std::string name;
    std::string literal; // empty: the name is no constant any more
  };
  std::vector<Definition> pending_;
  std::vector<Branch> branches_;
  bool announce_ = false;
};

// The division filter of a program file: follows the division and section
// headers and keeps the lines of the DATA DIVISION of one program.
class ProgramFilter {
public:
  // `wanted`: the index of the program whose DATA DIVISION is kept; -1 keeps
  // nothing and only outlines the file.
  explicit ProgramFilter(int wanted) : wanted_(wanted) {}

  // Reads the normalised `line` (indicator in column 1 in the fixed format).
  // True when it belongs to the wanted DATA DIVISION. A SCREEN SECTION or
  // REPORT SECTION of the wanted program is skipped with one warning in
  // `notes`. A division header may be split after its first word ("DATA" on
  // one line, "DIVISION." on the next). A REPLACE statement outside a DATA
  // DIVISION (before the first program, between programs, in a heading or
  // PROCEDURE DIVISION) is kept for every program whose DATA DIVISION comes
  // after it, as it is in force for the text that follows.
  bool keep(const char *line, unsigned length, unsigned lineNumber, bool freeFormat,
            std::vector<SourceNote> &notes);

  // The programs seen so far; at least one once a line has been read.
  const std::vector<ProgramUnit> &units() const { return units_; }

private:
  // heading: IDENTIFICATION or ENVIRONMENT DIVISION, where a data section
  // header may still begin the DATA DIVISION (its header is optional);
  // closed: PROCEDURE DIVISION or after END PROGRAM, where nothing does;
  // skipped: a SCREEN or REPORT SECTION.
  enum class Part { data, heading, closed, skipped };
  void beginProgram(unsigned lineNumber);
  bool header(const std::string &first, bool division, bool section, unsigned lineNumber,
              unsigned column, std::vector<SourceNote> &notes, bool &kept);
  bool replaceStatement(const char *line, unsigned length, unsigned from);
  void specialNames(const std::vector<std::string> &words);

  int wanted_;
  Part part_ = Part::data;
  std::vector<ProgramUnit> units_;
  // The program that the lines now read belong to.
  int current_ = -1;
  // Programs begun and not yet ended by END PROGRAM, the innermost last.
  std::vector<int> open_;
  // The current program has shown text of its own: a program header after
  // it begins another program.
  bool content_ = false;
  // An IDENTIFICATION DIVISION header began the current program, so the
  // PROGRAM-ID that follows names it instead of beginning another one.
  bool headerOpen_ = false;
  // PROGRAM-ID ended its line before the name.
  bool nameNext_ = false;
  // The first word of a header stood alone on its line; the header is
  // complete when the next line begins with DIVISION (or SECTION).
  std::string pendingHeader_;
  unsigned pendingLine_ = 0;
  unsigned pendingColumn_ = 0;
  // A split header ended without its period, which a line of its own may
  // still hold.
  bool periodNext_ = false;
  // Inside a REPLACE statement read outside the DATA DIVISION: its lines
  // are kept (or not) as its first one was; `pseudoText_` while between
  // "==" delimiters, where a period ends nothing.
  bool replacing_ = false;
  bool replaceKept_ = false;
  bool pseudoText_ = false;
  // Words of DECIMAL-POINT IS COMMA read so far in SPECIAL-NAMES.
  int decimalPointWords_ = 0;
};

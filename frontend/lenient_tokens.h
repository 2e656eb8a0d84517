#pragma once
// -lenient's token filter: the words and literal forms of the dialects that
// compilers accept, turned into the terminals the grammar reads them by.
#include <deque>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "frontend/scanner.h"

// One terminal with its attributes, as the scanner delivers it.
struct tToken {
  int code = 0;
  tScanAttribute attribute{};
};

// Sits between the scanner and the parser under -lenient. Every change it
// makes is reported as a Warning at the token it changed; a copybook that
// uses none of these forms gets its tokens unchanged. What it does:
// - after the level number that begins an entry, a reserved word the entry
//   cannot begin with is the entry's name (05 EMPTY, 88 MATCH), and so is
//   that word later where an entry is referred to (after REDEFINES,
//   RENAMES, THROUGH, DEPENDING ON, OF, IN);
// - CONSTANT after an entry's name, AS after CONSTANT, the usages BINARY-CHAR
//   ... FUNCTION-POINTER and BINARY-C-LONG ... COMP-N (SIGNED or UNSIGNED
//   after the BINARY- ones), DATE
//   FORMAT (one terminal, FORMAT), and NULL in a level-88 entry
//   (condition_null) become their own terminals;
// - the keywords COMP-X, COMP-6 and COMP-0 pass with a warning: the
//   converter reads them only under -lenient;
// - inside an entry, GnuCOBOL's clause words BASED, ANY LENGTH (one
//   terminal), UNBOUNDED (after OCCURS or TO), SPECIAL-NAMES (and CRT after
//   it), BYTE-LENGTH (in a constant) and AS after EXTERNAL or after GLOBAL
//   in a constant become their terminals;
// - GLOBAL after the name of a level-78 entry is dropped;
// - the name of a constant (or of one that >>DEFINE CONSTANT, >>SET
//   CONSTANT or $SET CONSTANT defined) where a literal may stand (after OCCURS, TO,
//   VALUE, IS, THROUGH, AS, an arithmetic operator, "(" inside a picture, or
//   a value of a level-88 entry) becomes its value;
// - H'..' becomes the literal X'..', B'..' (bits) the unsigned integer
//   they make, and literals joined by & become one.
// The filter reads at most two terminals ahead, and only after a literal,
// after H or after DATE, where the parser would read the next one anyway.
class LenientTokenFilter {
public:
  using Source = std::function<tToken()>;

  // The next terminal for the parser, reading from `source` as needed.
  tToken next(const Source &source);

  // Records the constant `name` with the literal terminal that stands for
  // its value (unsigned_integer, level_number, minus_integer, real or
  // string). A later definition of the name replaces the earlier.
  void defineConstant(tIdent name, const tToken &value);

private:
  tToken pull(const Source &source);
  tToken literalAt(const Source &source, tToken token);
  tToken joinLiterals(const Source &source, tToken first);
  void pictureConstant(const Source &source, tToken &token);
  bool substituteConstant(tToken &token, bool integerOnly = false) const;
  // A constant of the program (level 78, CONSTANT) or of a directive.
  bool isConstant(tIdent name) const;
  bool clauseWord(const Source &source, tToken &token);

  std::deque<tToken> pending_;
  std::unordered_map<tIdent, tToken> constants_;
  // Reserved words that entries took as their names.
  std::unordered_set<tIdent> namesTaken_;
  int previous_ = 0;
  int beforePrevious_ = 0;
  bool previousBeginsEntry_ = false;
  int entryLevel_ = 0;
  bool inPicture_ = false;
  // Between the level number that begins an entry and its period; the entry
  // is a constant (CONSTANT was read).
  bool inEntry_ = false;
  bool constantEntry_ = false;
};

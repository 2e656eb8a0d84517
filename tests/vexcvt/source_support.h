#pragma once
// Data description entries for converter tests: parsed from copybook text
// through the whole front end as the driver runs it, or, for what plain
// source cannot show in isolation (the include prefix on a name or literal),
// built node by node exactly as the data-division parser builds them.

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>

#include "cobol/Tree.h"
#include "platform/vexdef.h"

// Front-end memory for one test: string memory and identifiers begun, and
// every node, string and identifier released afterwards.
class VexTreeTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
};

// Copybook text through the front end: scanner, parser, declaration table
// and resolution, messages collected. Memory is released after each test.
class VexSourceTest : public ::testing::Test {
protected:
  void TearDown() override;
  // Parses `lines` as fixed-format source from the file "T.cpy", each line
  // given seven leading blanks so that level numbers start in column 8, and
  // resolves the references. Returns the number of Error-class messages;
  // the printed messages are in `messages`.
  int parse(const std::string &lines);
  // The newest declaration of the normalised `name`, or null.
  static tree::decl *declOf(const char *name);
  // The format_1 entry that declared `name`; fails the test when there is
  // none.
  static tree::format_1 *entryOf(const char *name);

  std::string messages;
};

// The name as the scanner interns it: letters upper case, "_" as "-".
tIdent vexTestNormalised(const char *written);

// The position of line `line`, column `column` in the file `file`.
tPosition vexTestPosition(const char *file, unsigned line, unsigned short column);

// An ordinary entry (format_1) under construction. Clauses are added in
// source order.
class VexTestEntry {
public:
  // The level as written ("5", "05", "77") and the name as written; a null
  // name makes an unnamed entry.
  VexTestEntry(const char *level, const char *name);
  // The name carries the include prefix: `prefixed` is the prefixed form,
  // the entry's spelling stays the word as written.
  VexTestEntry &prefixed(const char *prefixedName);
  // Where the name begins.
  VexTestEntry &at(const tPosition &position);

  // REDEFINES with an unqualified name as written (prefixed when given).
  VexTestEntry &redefines(const char *written, const char *prefixedName = nullptr);
  // PICTURE with the character-string as written; `replaced` as the scanner's
  // prefix flag.
  VexTestEntry &picture(const char *written, bool replaced = false);
  VexTestEntry &usage(int code, bool native = false);
  // USAGE OBJECT REFERENCE without a class name.
  VexTestEntry &objectReference();
  VexTestEntry &sign(int code);
  // OCCURS: `from` -1 for a single count; `depending` null for none.
  VexTestEntry &occurs(int from, int to, const char *depending = nullptr);
  // A clause that is nothing but its keyword (SYNCHRONIZED, JUSTIFIED ...).
  VexTestEntry &keyword(int code);
  // VALUE with one literal node (see the literal makers below).
  VexTestEntry &value(tTree literal);

  // The finished entry, clause list in source order.
  tree::format_1 *entry();
  // A declaration whose object is the finished entry.
  tree::decl *declaration();

private:
  int level_;
  tStringRef levelString_;
  tIdent name_;
  tIdent spelling_;
  bool replaced_ = false;
  tPosition position_;
  tTree clauses_;
  tree::format_1 *entry_ = nullptr;
};

// Literals of a VALUE clause, as written: an integer ("-12"), a real, an
// alphanumeric literal with its delimiters, a figurative constant by word
// code, and ALL in front of another literal.
tTree vexTestInteger(const char *written);
tTree vexTestReplacedInteger(const char *written);
tTree vexTestReal(const char *written);
tTree vexTestString(const char *written);
tTree vexTestFigurative(int code);
tTree vexTestAll(tTree literal);

// Prints a range in failure messages as "[low, high]". Giving gtest this
// printer keeps it away from the trace stream's catch-all operator<<.
void PrintTo(const VexRange &range, std::ostream *out);

// Every module's trace at every level, written into a string for the
// lifetime of the object; switched off again afterwards. (Kept out of the
// test files so that they need not include the trace header, whose stream
// operator confuses gtest's value printers.)
class VexTraceCapture {
public:
  VexTraceCapture();
  ~VexTraceCapture();
  VexTraceCapture(const VexTraceCapture &) = delete;
  VexTraceCapture &operator=(const VexTraceCapture &) = delete;
  // The trace lines written so far.
  std::string text() const { return out_.str(); }

private:
  std::ostringstream out_;
};

// Entries read whole from the scanner's bytes (the fast path) against the
// grammar's reading of the same text, which is the oracle: every source is
// parsed with the fast path and without it (VEXFCBL_NO_FAST_ENTRIES), and
// the tree, the declarations, the messages and the error count must be the
// same. The number of entries read whole is what the path's rules give by
// hand: the first entry of a copybook is always the grammar's (nothing is
// finished before it), and a line the rules do not cover is the grammar's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "frontend/front_end.h"
#include "frontend/item_length.h"
#include "frontend/parser.h"
#include "parse_support.h"
#include "tests/cobc_support.h"

namespace {

using FastEntries = ParseTest;

struct Reading {
  int syntaxErrors = 0;
  std::string messages;
  std::string declarations;
  std::string tree;
  int whole = 0;
};

Reading read(const std::string &source, bool fast, bool lenient = false) {
  if (fast)
    unsetenv("VEXFCBL_NO_FAST_ENTRIES");
  else
    setenv("VEXFCBL_NO_FAST_ENTRIES", "1", 1);
  const ParseResult r = ParseCopybook(source, {}, lenient);
  Reading reading{r.syntaxErrors, r.messages, DumpDeclarations(), DumpTree(r.root),
                  FastEntriesRead()};
  unsetenv("VEXFCBL_NO_FAST_ENTRIES");
  return reading;
}

// Parses `source` both ways, expects the same result, and gives the number
// of entries the fast path read whole.
int wholeEntries(const std::string &source, bool lenient = false) {
  const Reading slow = read(source, false, lenient);
  const Reading fast = read(source, true, lenient);
  EXPECT_EQ(slow.whole, 0);
  EXPECT_EQ(fast.syntaxErrors, slow.syntaxErrors);
  EXPECT_EQ(fast.messages, slow.messages);
  EXPECT_EQ(fast.declarations, slow.declarations);
  EXPECT_EQ(fast.tree, slow.tree);
  return fast.whole;
}

struct Case {
  const char *what;
  const char *lines; // after "01  REC." (columns from 8, as Fixed writes them)
  int whole;         // -1: not fixed by the rules (error recovery decides)
};

const Case cases[] = {
    // Entries the path takes.
    {"group", "    05  G.\n        10  F PIC X.", 2},
    {"pictures and repetitions", "    05  A PIC S9(9)V99.\n    05  B PIC X(30).\n    05  C PIC 9.", 3},
    {"usages alone and after USAGE",
     "    05  A PIC S9(4) COMP.\n    05  B PIC S9(7) COMP-3.\n    05  C PIC 9(4) USAGE IS BINARY.\n"
     "    05  D USAGE COMP-1.\n    05  E PIC 9(5) PACKED-DECIMAL.\n    05  F PIC X DISPLAY.",
     6},
    {"OCCURS with and without TIMES", "    05  A PIC X OCCURS 3.\n    05  B PIC 9 OCCURS 12 TIMES.", 2},
    {"REDEFINES", "    05  A PIC X(4).\n    05  B REDEFINES A PIC 9(4).", 2},
    {"REDEFINES of a name not declared", "    05  B REDEFINES NOWHERE PIC 9(4).", 1},
    {"VALUE of an item, with and without IS",
     "    05  A PIC X VALUE 'Y'.\n    05  B PIC 9(3) VALUE IS 120.", 2},
    {"level 88 with each value word",
     "    05  A PIC X.\n        88  A-ON VALUE \"Y\".\n        88  A-OFF VALUES ARE 'N'.\n"
     "        88  A-NUM VALUE IS 7.",
     4},
    {"FILLER", "    05  FILLER PIC X(2).", 1},
    {"a picture spelt again, in other letters' case or with other digits",
     "    05  A PIC X(10).\n    05  B PIC x(10).\n    05  C PIC X(010).\n    05  D PIC X(10).\n"
     "    05  E PIC s9(4)v99.\n    05  F PIC S9(4)V99.\n    05  G PIC x(10).\n"
     "    05  H PIC S9(4)V99.\n    05  I PIC -9.99.\n    05  J PIC -9.99.",
     10},
    {"pictures with editing symbols",
     "    05  A PIC ZZ9.99.\n    05  B PIC 9(3)-.\n    05  C PIC +ZZ,ZZ9.99.\n"
     "    05  D PIC $$,$$9.99DB.\n    05  E PIC -9(3).\n    05  F PIC 99/99/99.\n"
     "    05  G PIC **9.9.",
     7},
    {"clauses in any order, twice", "    05  A COMP-3 PIC S9(5) OCCURS 2 PIC 9.", 1},
    {"lower case and underscores", "    05  low_name pic x(2) comp.", 1},
    {"several entries on one line", "    05  A PIC X.  05  B PIC X.", 2},
    {"blank lines before the entry", "\n\n    05  A PIC X.", 1},
    {"a comment after the period", "    05  A PIC X. *> note", 1},
    // Entries the path leaves to the grammar.
    {"clause the path does not know", "    05  A PIC X(4) SYNC.\n    05  B PIC X JUST.", 0},
    {"a semicolon after the picture", "    05  A PIC 9(3); COMP.", 0},
    {"PICTURE IS", "    05  A PIC IS X.", 0},
    {"picture repetition by a name", "    05  A PIC X(N).", 0},
    {"literal with a doubled delimiter", "    05  A PIC X(3) VALUE 'A''B'.", 0},
    {"figurative constant and hexadecimal literal",
     "    05  A PIC X VALUE SPACE.\n    05  B PIC X VALUE X'41'.", 0},
    {"empty literal", "    05  A PIC X VALUE ''.", -1},
    {"signed and decimal literals", "    05  A PIC S9 VALUE -1.\n    05  B PIC 9V9 VALUE 1.5.", 0},
    {"level 77, 66 and 78", "77  A PIC X.\n66  R RENAMES A.", 0},
    {"level 88 with two values", "    05  A PIC X.\n        88  A-ON VALUE 'Y' 'y'.", 1},
    {"level 88 with a range", "    05  A PIC 9.\n        88  A-LOW VALUE 1 THRU 3.", 1},
    {"an entry over two lines", "    05  A\n          PIC X.", 0},
    {"a tab between the words", "    05  A\tPIC X.", 0},
    {"a comment line before the entry", "      * about A\n    05  A PIC X.", 0},
    {"a name in area A, then one in area B", "05 A PIC X.\n  05  B PIC X.", 1},
    {"a word that is a minus sign after it", "    05  A- PIC X.", -1},
    {"a minus sign before a word", "    05  -A PIC X.", -1},
    {"a paragraph name", "    05  12-34 PIC X.", -1},
    {"NOTE, EXEC and COPY words as names", "    05  NOTE PIC X.\n    05  EXEC PIC X.", -1},
    {"a missing period", "    05  A PIC X\n    05  B PIC X.", -1},
    {"a comma and a semicolon", "    05  A PIC X, COMP.\n    05  B PIC X; COMP.", 0},
    {"OCCURS with DEPENDING", "    05  N PIC 9.\n    05  A PIC X OCCURS 1 TO 5 DEPENDING ON N.", 1},
    {"OCCURS of a special level", "    05  A PIC X OCCURS 88.", -1},
    {"a period not followed by a blank", "    05  A PIC X.05  B PIC X.", -1},
};

TEST_F(FastEntries, TakeTheEntriesTheirRulesCoverAndReadThemAsTheGrammar) {
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const int whole = wholeEntries(Fixed(std::string("01  REC.\n") + c.lines));
    if (c.whole >= 0) {
      EXPECT_EQ(whole, c.whole);
    }
  }
}

// A REPLACE in force, a COPY's text, lenient reading and free format.
TEST_F(FastEntries, StandAsideWhereTheTextIsNotTheFilesOwn) {
  const std::string plain = Fixed("01  REC.\n    05  A PIC X.\n    05  B PIC X.\n");
  EXPECT_EQ(wholeEntries(plain), 2);
  EXPECT_EQ(wholeEntries(plain, true), 0);
  EXPECT_EQ(wholeEntries(Fixed("REPLACE ==A== BY ==Z==.\n01  REC.\n    05  A PIC X.\n"
                               "    05  B PIC X.\n")),
            0);
  EXPECT_GE(wholeEntries(Fixed("01  REC.\n    05  A PIC X.\nREPLACE ==B== BY ==Z==.\n"
                               "    05  B PIC X.\nREPLACE OFF.\n    05  C PIC X.\n")),
            1);
}

TEST_F(FastEntries, ReadFreeFormatProgramsAndCopiedTextAsTheGrammar) {
  FrontEndOptions options;
  options.freeFormat = true;
  // C's name is in area A (columns 1 to 4): the grammar's.
  const std::string source = "01 REC.\n05  A PIC X(2).\n  05 B PIC 9 OCCURS 2 TIMES.\n05 C PIC X.\n";
  setenv("VEXFCBL_NO_FAST_ENTRIES", "1", 1);
  const ParseResult slow = ParseWith(source, options);
  const std::string slowTree = DumpTree(slow.root);
  unsetenv("VEXFCBL_NO_FAST_ENTRIES");
  const ParseResult fast = ParseWith(source, options);
  EXPECT_EQ(DumpTree(fast.root), slowTree);
  EXPECT_EQ(FastEntriesRead(), 2);

  const std::vector<std::pair<std::string, std::string>> books = {
      {"BOOK.cpy", Fixed("    05  C PIC X.\n    05  D PIC X(3).\n")}};
  const std::string copying = Fixed("01  REC.\n    05  A PIC X.\n    COPY BOOK.\n    05  E PIC X.\n");
  setenv("VEXFCBL_NO_FAST_ENTRIES", "1", 1);
  const ParseResult slowCopy = ParseCopybook(copying, books);
  const std::string slowCopyTree = DumpTree(slowCopy.root) + DumpDeclarations() + slowCopy.messages;
  unsetenv("VEXFCBL_NO_FAST_ENTRIES");
  const ParseResult fastCopy = ParseCopybook(copying, books);
  EXPECT_EQ(DumpTree(fastCopy.root) + DumpDeclarations() + fastCopy.messages, slowCopyTree);
  EXPECT_GE(FastEntriesRead(), 1);

  // The DATA DIVISION of a program: its sections' entries too.
  FrontEndOptions whole;
  whole.program = true;
  const std::string programText =
      Fixed("IDENTIFICATION DIVISION.\nPROGRAM-ID. P.\nDATA DIVISION.\nWORKING-STORAGE SECTION.\n"
            "01  W.\n    05  A PIC X.\n    05  B PIC 9(3) COMP-3.\nLINKAGE SECTION.\n"
            "01  L.\n    05  C PIC X(4).\nPROCEDURE DIVISION.\n    GOBACK.\n");
  setenv("VEXFCBL_NO_FAST_ENTRIES", "1", 1);
  const ParseResult slowProgram = ParseWith(programText, whole);
  const std::string slowProgramText = DumpTree(slowProgram.root) + DumpDeclarations();
  unsetenv("VEXFCBL_NO_FAST_ENTRIES");
  const ParseResult fastProgram = ParseWith(programText, whole);
  EXPECT_EQ(DumpTree(fastProgram.root) + DumpDeclarations(), slowProgramText);
  EXPECT_EQ(FastEntriesRead(), 3);
}

// Lengths of items read whole, against GnuCOBOL's in IBM's dialect.
TEST_F(FastEntries, LengthsAgreeWithGnuCobol) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  const std::string items = Fixed("01  REC.\n"
                                  "    05  TXT     PIC X(10).\n"
                                  "    05  PACKED  PIC S9(9)V99 COMP-3.\n"
                                  "    05  CNT     PIC S9(4) COMP OCCURS 3.\n"
                                  "    05  NUM     PIC 9(8).\n"
                                  "    05  ALT     REDEFINES NUM PIC X(8).\n"
                                  "    05  FLAG    PIC X VALUE 'Y'.\n"
                                  "        88  FLAG-ON VALUE 'Y'.\n"
                                  "    05  GRP     OCCURS 2 TIMES.\n"
                                  "        10  B4  PIC 9(9) BINARY.\n"
                                  "        10  FILLER PIC X(3).\n");
  const std::vector<std::string> names = {"REC", "TXT", "PACKED", "CNT", "NUM", "ALT", "GRP", "B4"};
  std::string program = "       IDENTIFICATION DIVISION.\n       PROGRAM-ID. FASTLEN.\n"
                        "       DATA DIVISION.\n       WORKING-STORAGE SECTION.\n" +
                        items + "       PROCEDURE DIVISION.\n";
  for (const std::string &name : names)
    program += "           DISPLAY FUNCTION BYTE-LENGTH(" + name +
               (name == "B4" ? std::string("(1)") : "") + ").\n";
  program += "           GOBACK.\n";
  CobcScratch dir;
  const std::vector<std::string> printed = RunCobol(dir, "fastlen", program, "-std=ibm");
  ASSERT_EQ(printed.size(), names.size());

  const ParseResult parsed = ParseCopybook(items);
  ASSERT_EQ(parsed.syntaxErrors, 0);
  EXPECT_EQ(FastEntriesRead(), 10);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_NE(DeclOf(names[i].c_str()), nullptr);
    long length = -1;
    ASSERT_TRUE(ItemLength(*DeclOf(names[i].c_str()), length));
    EXPECT_EQ(length, std::stol(printed[i]));
  }
}

} // namespace

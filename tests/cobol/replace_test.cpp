// COPY ... REPLACING and REPLACE through the scanner: what matches, what the
// second pass delivers, and where its tokens are said to come from.
#include <gtest/gtest.h>

#include <string>

#include "copy_support.h"

namespace {

CopyRun replacing(const std::string &phrase, const std::string &copybook) {
  return RunCopy(
      {{{"main.cbl", "       COPY CB REPLACING\n           " + phrase + ".\n       01 Z.\n"},
        {"CB.cpy", copybook}}});
}

// The listing between the COPY line and the first terminal of main.cbl after
// it: what the copybook gave.
std::string copied(const CopyRun &run) {
  std::size_t begin = run.tokens.find('\n') + 1;
  std::size_t end = run.tokens.find("main.cbl:", begin);
  return run.tokens.substr(begin, end - begin);
}

} // namespace

TEST(Replace, WordIsReplacedWhereverItStandsButNotInsideALongerWord) {
  CopyRun run = replacing("==XN== BY ==LONGER-NAME==",
                          "           05 XN PIC X.\n           05 XN-1 PIC X(2).\n");
  // The replacement is longer than XN: PIC still reports its own column.
  EXPECT_EQ(copied(run), "CB.cpy:1,12-13 05\n"
                         "CB.cpy:1,15-25 LONGER-NAME\n"
                         "CB.cpy:1,18-20 PIC\n"
                         "CB.cpy:1,22 X\n"
                         "CB.cpy:1,23 end_of_picture\n"
                         "CB.cpy:1,23 .\n"
                         "CB.cpy:2,12-13 05\n"
                         "CB.cpy:2,15-18 XN-1\n"
                         "CB.cpy:2,20-22 PIC\n"
                         "CB.cpy:2,24 X\n"
                         "CB.cpy:2,25 (\n"
                         "CB.cpy:2,26 2\n"
                         "CB.cpy:2,27 )\n"
                         "CB.cpy:2,28 end_of_picture\n"
                         "CB.cpy:2,28 .\n");
  EXPECT_EQ(run.messages, "");
  EXPECT_EQ(run.leftovers, "");
}

TEST(Replace, LeadingAndTrailingReplaceThePartOfTheWord) {
  CopyRun run = replacing("LEADING ==AB== BY ==CD== TRAILING ==REC== BY 'ROW'",
                          "           05 AB-F.\n           05 OLD-REC.\n"
                          "           05 AB.\n           05 XAB-REC-Y.\n");
  // A literal replacement in LEADING or TRAILING mode loses its delimiters;
  // a word that neither begins nor ends so is left alone.
  EXPECT_EQ(copied(run), "CB.cpy:1,12-13 05\n"
                         "CB.cpy:1,15-18 CD-F\n"
                         "CB.cpy:1,19 .\n"
                         "CB.cpy:2,12-13 05\n"
                         "CB.cpy:2,15-21 OLD-ROW\n"
                         "CB.cpy:2,22 .\n"
                         "CB.cpy:3,12-13 05\n"
                         "CB.cpy:3,15-16 CD\n"
                         "CB.cpy:3,17 .\n"
                         "CB.cpy:4,12-13 05\n"
                         "CB.cpy:4,15-23 XAB-REC-Y\n"
                         "CB.cpy:4,24 .\n");
}

TEST(Replace, TwoTokenPatternHonoursTheBlankBetweenItsTokens) {
  CopyRun run =
      replacing("==A B== BY ==AB1== ==C(1)== BY ==C1==", "           05 A B. 05 A   B. 05 A, B.\n"
                                                         "           05 C(1). 05 C (1).\n");
  // A comma separates like a blank; C (1) is not C(1).
  EXPECT_EQ(copied(run), "CB.cpy:1,12-13 05\n"
                         "CB.cpy:1,15-17 AB1\n"
                         "CB.cpy:1,18 .\n"
                         "CB.cpy:1,20-21 05\n"
                         "CB.cpy:1,23-25 AB1\n"
                         "CB.cpy:1,28 .\n"
                         "CB.cpy:1,30-31 05\n"
                         "CB.cpy:1,33-35 AB1\n"
                         "CB.cpy:1,37 .\n"
                         "CB.cpy:2,12-13 05\n"
                         "CB.cpy:2,15-16 C1\n"
                         "CB.cpy:2,19 .\n"
                         "CB.cpy:2,21-22 05\n"
                         "CB.cpy:2,24 C\n"
                         "CB.cpy:2,26 (\n"
                         "CB.cpy:2,27 1\n"
                         "CB.cpy:2,28 )\n"
                         "CB.cpy:2,29 .\n");
}

TEST(Replace, LiteralsOperatorsAndQualifiedNamesMatch) {
  CopyRun run = replacing("=='AB'== BY ==X1== F OF G BY H 3 BY 4 ==(== BY ==[==",
                          "           05 Y VALUE 'AB'. 05 AB.\n"
                          "           05 R REDEFINES F OF G PIC X(3).\n");
  // 'AB' also matches the name AB; 3 matches the level-number integer.
  EXPECT_EQ(copied(run), "CB.cpy:1,12-13 05\n"
                         "CB.cpy:1,15 Y\n"
                         "CB.cpy:1,17-21 VALUE\n"
                         "CB.cpy:1,23-24 X1\n"
                         "CB.cpy:1,27 .\n"
                         "CB.cpy:1,29-30 05\n"
                         "CB.cpy:1,32-33 X1\n"
                         "CB.cpy:1,34 .\n"
                         "CB.cpy:2,12-13 05\n"
                         "CB.cpy:2,15 R\n"
                         "CB.cpy:2,17-25 REDEFINES\n"
                         "CB.cpy:2,27 H\n"
                         "CB.cpy:2,34-36 PIC\n"
                         "CB.cpy:2,38 X\n"
                         "CB.cpy:2,39 end_of_picture\n"
                         "CB.cpy:2,39 [\n"
                         "CB.cpy:2,40 4\n"
                         "CB.cpy:2,41 )\n"
                         "CB.cpy:2,42 .\n");
}

TEST(Replace, ReplacementOverSeveralLinesKeepsTheLaterTokensInPlace) {
  CopyRun run = RunCopy({{{"main.cbl", "       COPY CB REPLACING ==A(1)== BY ==\n"
                                       "          Z1 PIC X.\n"
                                       "           05 Z2==.\n"
                                       "       01 Z.\n"},
                          {"CB.cpy", "           05 A(1). 05 B.\n           05 LAST.\n"}}});
  // Z1 and Z2 are new text, placed after the replaced A(1); what follows
  // reports the line and column it has in the copybook.
  EXPECT_EQ(copied(run), "CB.cpy:1,12-13 05\n"
                         "CB.cpy:2,11-12 Z1\n"
                         "CB.cpy:2,14-16 PIC\n"
                         "CB.cpy:2,18 X\n"
                         "CB.cpy:2,19 end_of_picture\n"
                         "CB.cpy:2,19 .\n"
                         "CB.cpy:3,12-13 05\n"
                         "CB.cpy:3,15-16 Z2\n"
                         "CB.cpy:1,19 .\n"
                         "CB.cpy:1,21-22 05\n"
                         "CB.cpy:1,24 B\n"
                         "CB.cpy:1,25 .\n"
                         "CB.cpy:2,12-13 05\n"
                         "CB.cpy:2,15-18 LAST\n"
                         "CB.cpy:2,19 .\n");
  EXPECT_EQ(run.leftovers, "");
}

TEST(Replace, ReplaceRunsUntilReplaceOff) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n"
                                       "       REPLACE ==PIC X== BY ==PIC 9==.\n"
                                       "       05 B PIC X. 05 C PIC  X.\n"
                                       "       REPLACE OFF.\n"
                                       "       05 D PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 REPLACE\n"
                        "main.cbl:3,8-9 05\n"
                        "main.cbl:3,11 B\n"
                        "main.cbl:3,13-15 PIC\n"
                        "main.cbl:3,17 9\n"
                        "main.cbl:3,18 end_of_picture\n"
                        "main.cbl:3,18 .\n"
                        "main.cbl:3,20-21 05\n"
                        "main.cbl:3,23 C\n"
                        "main.cbl:3,25-27 PIC\n"
                        "main.cbl:3,29 9\n"
                        "main.cbl:3,31 end_of_picture\n"
                        "main.cbl:3,31 .\n"
                        "main.cbl:4,8 REPLACE\n"
                        "main.cbl:5,8-9 05\n"
                        "main.cbl:5,11 D\n"
                        "main.cbl:5,13-15 PIC\n"
                        "main.cbl:5,17 X\n"
                        "main.cbl:5,18 end_of_picture\n"
                        "main.cbl:5,18 .\n"
                        "main.cbl:6,1 _EOF_\n");
  EXPECT_EQ(run.leftovers, "");
}

TEST(Replace, ReplaceAppliesToTheCopybooksItIncludes) {
  CopyRun run = RunCopy({{{"main.cbl", "       REPLACE ==OLD== BY ==NEW==.\n"
                                       "       01 OLD.\n"
                                       "       COPY CB.\n"
                                       "       01 OLD-TOO.\n"},
                          {"CB.cpy", "           05 OLD PIC X.\n"}}});
  // The COPY statement is carried out while the text is replaced and read
  // again from the replaced text without including the copybook twice.
  EXPECT_EQ(run.tokens, "main.cbl:1,8 REPLACE\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11-13 NEW\n"
                        "main.cbl:2,14 .\n"
                        "main.cbl:3,8 COPY -> CB.cpy\n"
                        "CB.cpy:1,12-13 05\n"
                        "CB.cpy:1,15-17 NEW\n"
                        "CB.cpy:1,19-21 PIC\n"
                        "CB.cpy:1,23 X\n"
                        "CB.cpy:1,24 end_of_picture\n"
                        "CB.cpy:1,24 .\n"
                        "main.cbl:4,8-9 01\n"
                        "main.cbl:4,11-17 OLD-TOO\n"
                        "main.cbl:4,18 .\n"
                        "main.cbl:5,1 _EOF_\n");
}

TEST(Replace, NestedReplacingIsRefusedAndTheInnerCopybookIncludedAsItIs) {
  CopyRun run =
      RunCopy({{{"main.cbl", "       COPY OUTER REPLACING ==A== BY ==B==.\n"},
                {"OUTER.cpy", "       01 A.\n       COPY INNER REPLACING ==C== BY ==D==.\n"},
                {"INNER.cpy", "           05 C.\n           05 A.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8 COPY -> OUTER.cpy\n"
                        "OUTER.cpy:1,8-9 01\n"
                        "OUTER.cpy:1,11 B\n"
                        "OUTER.cpy:1,12 .\n"
                        "OUTER.cpy:2,8 COPY -> INNER.cpy\n"
                        "INNER.cpy:1,12-13 05\n"
                        "INNER.cpy:1,15 C\n"
                        "INNER.cpy:1,16 .\n"
                        "INNER.cpy:2,12-13 05\n"
                        "INNER.cpy:2,15 B\n"
                        "INNER.cpy:2,16 .\n"
                        "main.cbl:2,1 _EOF_\n");
  EXPECT_EQ(run.messages, "\"OUTER.cpy\":   2,  8: Restriction can not handle nested REPLACING\n");
  EXPECT_EQ(run.leftovers, "");
}

TEST(Replace, FreeFormatTextIsReplacedToo) {
  CopyFiles files{{{"main.cbl", "COPY CB REPLACING ==X== BY ==Y==.\n01 Z.\n"},
                   {"CB.cpy", "  05 X PIC X(300).\n"}}};
  files.freeFormat = true;
  CopyRun run = RunCopy(files);
  EXPECT_EQ(run.tokens, "main.cbl:1,1 COPY -> CB.cpy\n"
                        "CB.cpy:1,3-4 05\n"
                        "CB.cpy:1,6 Y\n"
                        "CB.cpy:1,8-10 PIC\n"
                        "CB.cpy:1,12 Y\n"
                        "CB.cpy:1,13 (\n"
                        "CB.cpy:1,14-16 300\n"
                        "CB.cpy:1,17 )\n"
                        "CB.cpy:1,18 end_of_picture\n"
                        "CB.cpy:1,18 .\n"
                        "main.cbl:2,1-2 01\n"
                        "main.cbl:2,4 Z\n"
                        "main.cbl:2,5 .\n"
                        "main.cbl:3,1 _EOF_\n");
}
TEST(Replace, CopybookCopyingItselfWhileReplacedStopsAtLevel32) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 LOOP-REC.\n"
                                       "           COPY LOOPER REPLACING ==A== BY ==B==.\n"},
                          {"LOOPER.cpy", "           05 A PIC X.\n           COPY LOOPER.\n"}}});
  // The nested COPY statements are carried out by the first pass, so the
  // limit is reached before any replaced token is delivered.
  EXPECT_TRUE(run.fatal);
  EXPECT_EQ(run.level, 31);
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11-18 LOOP-REC\n"
                        "main.cbl:1,19 .\n"
                        "main.cbl:2,12 COPY -> LOOPER.cpy\n");
  EXPECT_EQ(run.messages, "\"LOOPER.cpy\":   2, 17: Fatal       too many nested COPY's\n");
  EXPECT_EQ(run.leftovers, "");
}

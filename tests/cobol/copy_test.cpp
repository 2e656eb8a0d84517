// COPY, INCLURE and include lines through the scanner: which file each
// terminal comes from, what is reported when a copybook is missing or copies
// itself, and the repair text served in place of a missing copybook.
#include <gtest/gtest.h>

#include <string>

#include "cobol/copy.h"
#include "copy_support.h"

namespace {

// Lines of a listing that mention `text`.
int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

} // namespace

TEST(Copy, CopybookTokensNameTheCopybookAndPositionsReturnAfterIt) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n       COPY CB.\n       01 C.\n"},
                          {"CB.cpy", "           05 B PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 COPY -> CB.cpy\n"
                        "CB.cpy:1,12-13 05\n"
                        "CB.cpy:1,15 B\n"
                        "CB.cpy:1,17-19 PIC\n"
                        "CB.cpy:1,21 X\n"
                        "CB.cpy:1,22 end_of_picture\n"
                        "CB.cpy:1,22 .\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
  EXPECT_EQ(run.messages, "");
  EXPECT_EQ(run.level, 0);
}

TEST(Copy, NestedCopybooksAndTheirSearch) {
  // The bare name wins over the ".cpy" one; a literal names a file with a
  // directory part; the search ignores case.
  CopyRun run = RunCopy({{{"main.cbl", "       COPY OUTER.\n       01 Z.\n"},
                          {"OUTER", "       01 O.\n       COPY 'sub/inner'.\n"},
                          {"OUTER.cpy", "       01 WRONG.\n"},
                          {"sub/inner.CPY", "           05 I PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8 COPY -> OUTER\n"
                        "OUTER:1,8-9 01\n"
                        "OUTER:1,11 O\n"
                        "OUTER:1,12 .\n"
                        "OUTER:2,8 COPY -> sub/inner.CPY\n"
                        "sub/inner.CPY:1,12-13 05\n"
                        "sub/inner.CPY:1,15 I\n"
                        "sub/inner.CPY:1,17-19 PIC\n"
                        "sub/inner.CPY:1,21 X\n"
                        "sub/inner.CPY:1,22 end_of_picture\n"
                        "sub/inner.CPY:1,22 .\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11 Z\n"
                        "main.cbl:2,12 .\n"
                        "main.cbl:3,1 _EOF_\n");
}

TEST(Copy, MissingCopybookIsAnErrorAndTheTextGoesOn) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n       COPY NOPE.\n       01 C.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 COPY -> -\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
  EXPECT_EQ(run.messages, "\"main.cbl\":   2, 13: Error       cannot access include file: NOPE\n");
}

TEST(Copy, MissingCopybookWithRepairServesTheDotLine) {
  CopyFiles files{{{"main.cbl", "       01 A COPY NOPE.\n       01 C.\n"}}};
  files.repair = 1;
  CopyRun run = RunCopy(files);
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,13 COPY -> -\n"
                        "dot:1,10 .\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11 C\n"
                        "main.cbl:2,12 .\n"
                        "main.cbl:3,1 _EOF_\n");
  EXPECT_EQ(count(run.messages, "cannot access include file: NOPE"), 1);
}

TEST(Copy, SelfCopyingCopybookStopsAtLevel32) {
  CopyRun run = RunCopy({{{"main.cbl", "       COPY SELF.\n"},
                          {"SELF.cpy", "           05 S PIC X.\n           COPY SELF.\n"}}});
  EXPECT_TRUE(run.fatal);
  // The main file is level 1; copybooks fill levels 2 to 31.
  EXPECT_EQ(run.level, 31);
  EXPECT_EQ(count(run.tokens, "COPY"), 30);
  EXPECT_EQ(run.messages, "\"SELF.cpy\":   2, 17: Fatal       too many nested COPY's\n");
}

TEST(Copy, IncludeLineOpensTheMemberAsWritten) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n-INC member\n       01 C.\n"},
                          {"member", "           05 M PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "member:1,12-13 05\n"
                        "member:1,15 M\n"
                        "member:1,17-19 PIC\n"
                        "member:1,21 X\n"
                        "member:1,22 end_of_picture\n"
                        "member:1,22 .\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
}

TEST(Copy, InclurePrefixesNamesAndRaisesLevelsOfItsMemberOnly) {
  CopyRun run = RunCopy({{{"main.cbl", "       01 A.\n      *INCLURE MEMBRE X 2\n       01 C.\n"},
                          {"MEMBRE.cpy", "           03 M REDEFINES N PIC X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8-9 01\n"
                        "main.cbl:1,11 A\n"
                        "main.cbl:1,12 .\n"
                        "main.cbl:2,8 INCLURE -> MEMBRE.cpy\n"
                        "MEMBRE.cpy:1,12-13 03 +2\n"
                        "MEMBRE.cpy:1,15 XM +prefix\n"
                        "MEMBRE.cpy:1,17-25 REDEFINES\n"
                        "MEMBRE.cpy:1,27 XN +prefix\n"
                        "MEMBRE.cpy:1,29-31 PIC\n"
                        "MEMBRE.cpy:1,33 X\n"
                        "MEMBRE.cpy:1,34 end_of_picture\n"
                        "MEMBRE.cpy:1,34 .\n"
                        "main.cbl:3,8-9 01\n"
                        "main.cbl:3,11 C\n"
                        "main.cbl:3,12 .\n"
                        "main.cbl:4,1 _EOF_\n");
}

TEST(Copy, BrokenCopyStatementIsASyntaxErrorAndIncludesNothing) {
  CopyRun run =
      RunCopy({{{"main.cbl", "       COPY CB REPLACING ==A== WITH ==B==.\n       01 C.\n"},
                {"CB.cpy", "       01 X.\n"}}});
  EXPECT_EQ(run.tokens, "main.cbl:1,8 COPY -> -\n"
                        "main.cbl:2,8-9 01\n"
                        "main.cbl:2,11 C\n"
                        "main.cbl:2,12 .\n"
                        "main.cbl:3,1 _EOF_\n");
  EXPECT_EQ(run.messages, "\"main.cbl\":   1, 32: Error       found/expected : name/BY\n");
}

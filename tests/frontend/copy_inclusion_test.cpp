// COPY, INCLURE, include lines and REPLACE through the scanner. As data:
// data/copy/NAME.cbl is the main file (main.cbl) with the copybooks of NAME/
// beside it; NAME.tokens is the listing of RunCopy (copy_support.h), then the
// messages, the files left in TMPDIR and the copy-file level left open, each
// when there are any. The options line may say "free" and "repair".
#include <gtest/gtest.h>

#include <string>

#include "frontend/copy_inclusion.h"
#include "copy_support.h"
#include "data_support.h"

TEST(CopyCases, EveryCaseGivesItsListing) {
  const auto cases = DataCases("copy", ".cbl", ".tokens");
  ASSERT_GE(cases.size(), 5u);
  for (const DataCase &c : cases) {
    SCOPED_TRACE(c.name);
    CopyFiles input{{{"main.cbl", c.input}}};
    input.files.insert(input.files.end(), c.files.begin(), c.files.end());
    input.freeFormat = c.options.count("free") != 0;
    input.repair = c.options.count("repair") != 0 ? 1 : 0;
    const CopyRun run = RunCopy(input);
    std::string actual = run.tokens;
    if (!run.messages.empty())
      actual += "-- messages\n" + run.messages;
    if (!run.leftovers.empty())
      actual += "-- left in TMPDIR\n" + run.leftovers;
    if (run.fatal || run.level != 0)
      actual += "-- ended at level " + std::to_string(run.level) + "\n";
    ExpectCase(c, actual);
  }
}

namespace {

int count(const std::string &text, const std::string &what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
    ++n;
  return n;
}

} // namespace

// A copybook that copies itself stops at the last level, whether or not the
// first COPY replaces, and leaves nothing in TMPDIR. Replacing, the nested
// COPY statements are carried out while the replaced text is read, so that
// no terminal of the copybook is delivered.
TEST(Copy, SelfCopyingCopybookStopsAtTheLevelLimit) {
  for (const bool replacing : {false, true}) {
    const CopyRun run =
        RunCopy({{{"main.cbl", replacing ? "       COPY LOOPER REPLACING ==A== BY ==B==.\n"
                                         : "       COPY LOOPER.\n"},
                  {"LOOPER.cpy", "           05 A PIC X.\n           COPY LOOPER.\n"}}});
    EXPECT_TRUE(run.fatal);
    EXPECT_EQ(run.level, MaxCopyLevels - 1);
    EXPECT_EQ(run.messages, "\"LOOPER.cpy\":   2, 17: Fatal       too many nested COPY's\n");
    EXPECT_EQ(run.leftovers, "");
    // Without replacement: the main file's COPY line, then levels 2 to 31
    // with six terminals each and the COPY line of all but the last.
    const int levels = replacing ? 0 : MaxCopyLevels - 2;
    EXPECT_EQ(count(run.tokens, "-> LOOPER.cpy\n"), replacing ? 1 : levels) << run.tokens;
    EXPECT_EQ(count(run.tokens, " A\n"), levels);
    EXPECT_EQ(count(run.tokens, "\n"), replacing ? 1 : 7 * levels) << run.tokens;
  }
}

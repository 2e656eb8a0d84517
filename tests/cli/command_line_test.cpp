#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

VexCmdLine lineOf(std::vector<std::string> args) {
  std::vector<char *> argv{const_cast<char *>("prog")};
  for (std::string &arg : args)
    argv.push_back(arg.data());
  return VexCmdLine(static_cast<int>(argv.size()), argv.data());
}

TEST(VexCmdArgTest, MatchesOnlyTheWholeOptionNameAndTakesTheNextWord) {
  VexCmdArg ns("ns", true, true);
  VexCmdArg flag("c", false, true);
  std::string value = "unchanged";
  for (const char *other : {"-n", "-nsx", "ns", "--ns", "-c", "x"}) {
    VexCmdLine line = lineOf({other, "v"});
    EXPECT_FALSE(ns.read(line, value)) << other;
    EXPECT_STREQ(line.peek(), other) << "nothing consumed";
  }
  EXPECT_EQ(value, "unchanged");
  VexCmdLine line = lineOf({"-c", "-ns", "-c", "-ns", "b"});
  EXPECT_TRUE(flag.read(line, value));
  EXPECT_EQ(value, "unchanged") << "a flag stores no value";
  EXPECT_TRUE(ns.read(line, value));
  EXPECT_EQ(value, "-c") << "a value may look like an option";
  EXPECT_TRUE(ns.read(line, value));
  EXPECT_EQ(value, "b") << "a repeated option is read again: the later value wins";
  EXPECT_TRUE(line.atEnd());
  EXPECT_EQ(line.next(), nullptr);
}

TEST(VexCmdArgDeathTest, MissingValueAndUsageErrorsEndTheProcess) {
  VexCmdError::setUsageText("usage\n");
  VexCmdArg input("i", true, true);
  VexCmdLine line = lineOf({"-i"});
  std::string value;
  EXPECT_EXIT(input.read(line, value), testing::ExitedWithCode(1),
              "^Error: option '-i' needs a value\\.\n$");
  EXPECT_EXIT(VexCmdError::error("compat", VexCmdError::invalidValue), testing::ExitedWithCode(1),
              "^Error: invalid value for option '-compat'\\.\n$");
  EXPECT_EXIT(VexCmdError::error("x", 7), testing::ExitedWithCode(1),
              "^Error: invalid use of option '-x'\\.\n$");
  EXPECT_EXIT(VexCmdError::printUsageAndExit(0), testing::ExitedWithCode(0), "^$");
  EXPECT_EQ(VexUtilityErrorMsg::optUnknownOption("file.cpy"), "unknown option 'file.cpy'.");
}

} // namespace

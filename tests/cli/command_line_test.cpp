// Tests option matching, value consumption, and the missing-value and usage stops.
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
  const VexCmdError errors("usage\n");
  VexCmdArg ns("ns", true);
  VexCmdArg flag("c", false);
  std::string value = "unchanged";
  for (const char *other : {"-n", "-nsx", "ns", "--ns", "-c", "x"}) {
    VexCmdLine line = lineOf({other, "v"});
    EXPECT_FALSE(ns.read(line, value, errors)) << other;
    EXPECT_STREQ(line.peek(), other) << "nothing consumed";
  }
  EXPECT_EQ(value, "unchanged");
  VexCmdLine line = lineOf({"-c", "-ns", "-c", "-ns", "b"});
  EXPECT_TRUE(flag.read(line, value, errors));
  EXPECT_EQ(value, "unchanged") << "a flag stores no value";
  EXPECT_TRUE(ns.read(line, value, errors));
  EXPECT_EQ(value, "-c") << "a value may look like an option";
  EXPECT_TRUE(ns.read(line, value, errors));
  EXPECT_EQ(value, "b") << "a repeated option is read again: the later value wins";
  EXPECT_TRUE(line.atEnd());
  EXPECT_EQ(line.next(), nullptr);
}

// What an option error writes, and the status it ends the program with.
struct Stopped {
  int status = -1;
  std::string out, err;
};
template <class Body> Stopped stopped(Body &&body) {
  Stopped result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  try {
    body();
  } catch (const VexCmdStop &stop) {
    result.status = stop.status;
  }
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

TEST(VexCmdErrorTest, MissingValueAndUsageErrorsStopWithTheUsageText) {
  const VexCmdError errors("usage\n");
  VexCmdArg input("i", true);
  VexCmdLine line = lineOf({"-i"});
  std::string value;
  const Stopped missing = stopped([&] { input.read(line, value, errors); });
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "Error: option '-i' needs a value.\n");
  EXPECT_EQ(missing.out, "usage\n");
  const Stopped invalid = stopped([&] { errors.error("compat", VexCmdError::invalidValue); });
  EXPECT_EQ(invalid.status, 1);
  EXPECT_EQ(invalid.err, "Error: invalid value for option '-compat'.\n");
  EXPECT_EQ(stopped([&] { errors.error("x", 7); }).err, "Error: invalid use of option '-x'.\n");
  const Stopped usage = stopped([&] { errors.printUsageAndStop(0); });
  EXPECT_EQ(usage.status, 0);
  EXPECT_EQ(usage.err, "");
  EXPECT_EQ(usage.out, "usage\n");
  EXPECT_EQ(VexUtilityErrorMsg::optUnknownOption("file.cpy"), "unknown option 'file.cpy'.");
}

} // namespace

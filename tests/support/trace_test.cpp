// Tests the trace: nothing evaluated when off, whole lines, appending, the environment.
#include "support/trace.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

std::string fileText(const std::filesystem::path &path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::filesystem::path scratchFile(const char *name) {
  const auto path = std::filesystem::temp_directory_path() /
                    (std::string(name) + "." + std::to_string(::getpid()));
  std::filesystem::remove(path);
  return path;
}

TEST(Trace, OffEvaluatesNothing) {
  VexTrace trace;
  EXPECT_FALSE(trace.on());
  int evaluated = 0;
  VEX_TRACE(trace) << "never " << ++evaluated;
  EXPECT_EQ(evaluated, 0);
}

TEST(Trace, EachLineEndsWithABreakAndWholeLinesReachTheStream) {
  std::ostringstream out;
  VexTrace trace(out);
  ASSERT_TRUE(trace.on());
  VEX_TRACE(trace) << "entry '"
                   << "A"
                   << "' level " << 5;
  EXPECT_EQ(out.str(), "entry 'A' level 5\n");
  // Safe under an unbraced if/else.
  for (bool first : {true, false})
    if (first)
      VEX_TRACE(trace) << "first";
    else
      VEX_TRACE(trace) << "second";
  EXPECT_EQ(out.str(), "entry 'A' level 5\nfirst\nsecond\n");
  // Moving hands the sink over.
  VexTrace moved = std::move(trace);
  EXPECT_FALSE(trace.on());
  VEX_TRACE(moved) << "moved";
  EXPECT_EQ(out.str(), "entry 'A' level 5\nfirst\nsecond\nmoved\n");
}

TEST(Trace, FileIsAppendedToAndTheEnvironmentIsReadWhenAsked) {
  const auto path = scratchFile("vexfcbl-trace-test");
  {
    VexTrace trace(path.string());
    VEX_TRACE(trace) << "one";
  }
  unsetenv(VexTrace::environmentName);
  EXPECT_FALSE(VexTrace::fromEnvironment().on());
  setenv(VexTrace::environmentName, "", 1);
  EXPECT_FALSE(VexTrace::fromEnvironment().on()) << "empty is off";
  setenv(VexTrace::environmentName, path.c_str(), 1);
  VexTrace fromEnvironment = VexTrace::fromEnvironment();
  unsetenv(VexTrace::environmentName);
  // The trace keeps the file it was made with after the variable is gone.
  VEX_TRACE(fromEnvironment) << "two";
  EXPECT_EQ(fileText(path), "one\ntwo\n");
  std::filesystem::remove(path);
  // A file that cannot be opened leaves the trace off.
  EXPECT_FALSE(VexTrace((path / "no-such-folder" / "x").string()).on());
}

} // namespace

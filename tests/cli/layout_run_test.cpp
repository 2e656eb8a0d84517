// Tests the -layout option: reading it, and a run whose layout cannot be written.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "cli/driver.h"
#include "cli/layout_run.h"

namespace {

VexFcblOptions readLayoutOptions(std::vector<std::string> args) {
  std::vector<char *> argv{const_cast<char *>("vexfcbl")};
  for (std::string &arg : args)
    argv.push_back(arg.data());
  VexCmdLine line(static_cast<int>(argv.size()), argv.data());
  return vexFcblReadOptions(line, VexCmdError("usage\n"));
}

TEST(LayoutOption, TakesTheNextArgumentAndTheLastWins) {
  EXPECT_EQ(readLayoutOptions({"-i", "a.cpy"}).layoutFile, "");
  EXPECT_EQ(readLayoutOptions({"-layout", "-", "-i", "a.cpy"}).layoutFile, "-");
  EXPECT_EQ(readLayoutOptions({"-layout", "x.json", "-i", "a", "-layout", "-i"}).layoutFile, "-i");
}

TEST(LayoutOption, AnUnwritableLayoutFailsTheRunAfterTheDocument) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("vexlayoutrun" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "rec.cpy") << "       01  REC.\n           05  A PIC X(3).\n";
  const VexFcblOptions options = readLayoutOptions(
      {"-i", (dir / "rec.cpy").string(), "-layout", (dir / "missing" / "l.json").string()});
  const VexCvtStatus status = process(options.inputFile, options.frontEnd, options.conversion,
                                      layoutWriter(options.layoutFile, options.conversion));
  EXPECT_EQ(status, VexCvtStatus::failed);
  EXPECT_TRUE(std::filesystem::exists(dir / "rec.gnv"));
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  std::filesystem::remove_all(dir);
}

} // namespace

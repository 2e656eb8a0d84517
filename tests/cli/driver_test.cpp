#include "cli/driver.h"

#include <gtest/gtest.h>

#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "frontend/copied_entries.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "diagnostics/message_store.h"
#include "support/copybook_search.h"
#include "support/memory_pools.h"
#include "tests/converter/converter_support.h"

namespace {

// Reads `args` as the driver does, with a freshly started copybook search,
// looks "rec" up and returns what it found, "(none)" when nothing. The
// configuration is left as the options set it, inside the caller's
// VexScopedOptions.
std::string readOptions(std::vector<std::string> args) {
  std::vector<char *> argv{const_cast<char *>("vexfcbl")};
  for (std::string &arg : args)
    argv.push_back(arg.data());
  VexCmdLine line(static_cast<int>(argv.size()), argv.data());
  free_format = 0;
  MaxColumn = 72;
  NameCheck() = NameCheckMsg() = false;
  InitrMemory();
  Begin_rFsearch(false);
  const std::string input = vexFcblReadOptions(line);
  rReadAllDirs();
  const char *path = rFindFile("rec");
  const std::string found = path != nullptr ? path : "(none)";
  Close_rFsearch();
  CloserMemory();
  EXPECT_TRUE(NameCheck() && NameCheckMsg());
  return input + " " + found;
}

TEST(DriverOptions, OutputNameIsTheInputNameUpToItsLastDot) {
  const std::pair<const char *, const char *> cases[] = {{"cust.cpy", "cust.gnv"},
                                                         {"cust", "cust.gnv"},
                                                         {"a.b/cust", "a.gnv"},
                                                         {"./cust", ".gnv"},
                                                         {"dir/rec.cpy", "dir/rec.gnv"}};
  for (const auto &[input, output] : cases) {
    const VexScopedOptions restored("");
    EXPECT_EQ(readOptions({"-i", input}), std::string(input) + " (none)");
    EXPECT_EQ(VexCblConfig::inst().outputFileName, output) << input;
  }
  const VexScopedOptions restored("");
  readOptions({"-o", "out.xml", "-i", "rec.cpy"});
  EXPECT_EQ(VexCblConfig::inst().outputFileName, "out.xml");
}

TEST(DriverOptions, EveryOptionSetsItsSwitchAndTheLastValueWins) {
  const VexScopedOptions restored("");
  EXPECT_EQ(readOptions({"-f", "-c", "-dnd", "-tn", "-ta", "-r", "-ns", "one", "-ns", "urn:x",
                         "-compat", "0x12c", "-i", "a.cpy", "-i", "in.cbl"}),
            "in.cbl (none)");
  const VexCblConfig &c = VexCblConfig::inst();
  EXPECT_TRUE(free_format && c.commaDecimalPoint && c.noDescription && c.textNumbersAsStrings &&
              c.packedDefaultAsText && c.levelRestrictions);
  EXPECT_EQ(MaxColumn, 256u);
  EXPECT_EQ(c.namespaceName, "urn:x");
  EXPECT_EQ(c.compatLevel, 300);
  for (const char *value : {"300", "0X12C", "0454", "+300"}) {
    readOptions({"-compat", value, "-i", "a"});
    EXPECT_EQ(VexCblConfig::inst().compatLevel, 300) << value;
  }
  free_format = 0;
  MaxColumn = 72;
}

TEST(DriverOptions, CopybookSearchOrder) {
  const VexScopedOptions restored("");
  const VexScratchDir dir;
  const auto touch = [&](const char *name) { dir.write(name, "       01 A PIC X.\n"); };
  touch("rec.cbl");
  EXPECT_EQ(readOptions({"-e", "cbl", "-i", "x"}), "x rec.cbl");
  EXPECT_EQ(readOptions({"-e", ".cbl", "-i", "x"}), "x rec.cbl");
  EXPECT_EQ(readOptions({"-i", "x"}), "x (none)");
  // Extension options are tried from the last given to the first.
  touch("rec.txt");
  EXPECT_EQ(readOptions({"-e", "cbl", "-e", "txt", "-i", "x"}), "x rec.txt");
  EXPECT_EQ(readOptions({"-e", "txt", "-e", "cbl", "-i", "x"}), "x rec.cbl");
  // ".cpy" comes before the extension options, the bare name before both.
  touch("rec.cpy");
  EXPECT_EQ(readOptions({"-e", "cbl", "-i", "x"}), "x rec.cpy");
  touch("rec");
  EXPECT_EQ(readOptions({"-e", "cbl", "-i", "x"}), "x rec");
  // Copy directories are searched in the order given, then the current one.
  std::filesystem::create_directories("d1");
  std::filesystem::create_directories("d2");
  touch("d2/rec.cpy");
  EXPECT_EQ(readOptions({"-d", "d1", "-d", "d2", "-i", "x"}), "x d2/rec.cpy");
  touch("d1/rec.cpy");
  EXPECT_EQ(readOptions({"-d", "d1", "-d", "d2", "-i", "x"}), "x d1/rec.cpy");
  EXPECT_EQ(readOptions({"-d", "d2", "-d", "d1", "-i", "x"}), "x d2/rec.cpy");
}

} // namespace

#include "vexcvt/vexfcbl/vexfcbl.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cobol/Scanner.h"
#include "cobol/Source.h"
#include "cobol/Trafo.h"
#include "cobol/Tree.h"
#include "cobol/copy.h"
#include "cobol/deftab.h"
#include "common/Errors.h"
#include "platform/vextrace.h"
#include "reuse/rFsearch.h"
#include "reuse/rMemory.h"
#include "vexcvt/vexfcbl/vexcbcfg.h"

namespace fs = std::filesystem;

namespace {

// Everything the option reading decides, in one comparable value.
struct Outcome {
  std::string input;
  bool commaDecimalPoint, noDescription, textNumbersAsStrings, packedDefaultAsText;
  std::string namespaceName, outputFileName;
  std::int32_t compatLevel;
  bool levelRestrictions, freeFormat;
  unsigned maxColumn;
  bool nameCheck, nameCheckMsg;
  std::string found;
  bool operator==(const Outcome &) const = default;
};

// Runs the driver's option reading in a fresh working directory that holds
// `files`, with a freshly started copybook search, and looks `lookup` up.
class DriverOptionsTest : public ::testing::Test {
protected:
  void SetUp() override {
    oldDir = fs::current_path();
    workDir = fs::temp_directory_path() /
              ("vexfcbl_options_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(workDir);
    fs::create_directories(workDir);
    fs::current_path(workDir);
  }
  void TearDown() override {
    fs::current_path(oldDir);
    fs::remove_all(workDir);
  }
  static void resetGlobals() {
    VexCblConfig &c = VexCblConfig::inst();
    c.commaDecimalPoint = c.noDescription = c.textNumbersAsStrings = c.packedDefaultAsText = false;
    c.namespaceName.clear();
    c.outputFileName.clear();
    c.compatLevel = 0;
    c.levelRestrictions = false;
    free_format = 0;
    MaxColumn = 72;
    NameCheck = false;
    NameCheckMsg = false;
  }
  static void touch(const std::string &name) { std::ofstream(name) << "       01 A PIC X.\n"; }
  Outcome run(std::vector<std::string> args, const char *lookup = "rec") {
    resetGlobals();
    std::vector<char *> argv{const_cast<char *>("vexfcbl")};
    for (std::string &arg : args)
      argv.push_back(arg.data());
    VexCmdLine line(static_cast<int>(argv.size()), argv.data());
    InitrMemory();
    Begin_rFsearch(false);
    Outcome o{};
    o.input = vexFcblReadOptions(line);
    rReadAllDirs();
    const char *path = rFindFile(lookup);
    o.found = path != nullptr ? path : "(none)";
    Close_rFsearch();
    CloserMemory();
    const VexCblConfig &c = VexCblConfig::inst();
    o.commaDecimalPoint = c.commaDecimalPoint;
    o.noDescription = c.noDescription;
    o.textNumbersAsStrings = c.textNumbersAsStrings;
    o.packedDefaultAsText = c.packedDefaultAsText;
    o.namespaceName = c.namespaceName;
    o.outputFileName = c.outputFileName;
    o.compatLevel = c.compatLevel;
    o.levelRestrictions = c.levelRestrictions;
    o.freeFormat = free_format;
    o.maxColumn = MaxColumn;
    o.nameCheck = NameCheck;
    o.nameCheckMsg = NameCheckMsg;
    return o;
  }
  fs::path oldDir, workDir;
};

TEST(VexReplaceExtTest, CutsAtTheLastDotAnywhere) {
  EXPECT_EQ(vexReplaceExt("cust.cpy", ".gnv"), "cust.gnv");
  EXPECT_EQ(vexReplaceExt("cust", ".gnv"), "cust.gnv");
  EXPECT_EQ(vexReplaceExt("a.b/cust", ".gnv"), "a.gnv");
  EXPECT_EQ(vexReplaceExt("./cust", ".gnv"), ".gnv");
  EXPECT_EQ(vexReplaceExt("dir/rec.cpy", ".gnv"), "dir/rec.gnv");
  EXPECT_EQ(vexReplaceExt("x.tar.gz", ""), "x.tar");
}

TEST_F(DriverOptionsTest, DefaultsAndDerivedOutputName) {
  Outcome o = run({"-i", "dir/rec.cpy"});
  EXPECT_EQ(o.input, "dir/rec.cpy");
  EXPECT_EQ(o.outputFileName, "dir/rec.gnv");
  EXPECT_FALSE(o.commaDecimalPoint || o.noDescription || o.textNumbersAsStrings ||
               o.packedDefaultAsText || o.levelRestrictions || o.freeFormat);
  EXPECT_EQ(o.namespaceName, "");
  EXPECT_EQ(o.compatLevel, 0);
  EXPECT_EQ(o.maxColumn, 72u);
  EXPECT_TRUE(o.nameCheck);
  EXPECT_TRUE(o.nameCheckMsg);
  EXPECT_EQ(run({"-i", "rec"}).outputFileName, "rec.gnv");
  EXPECT_EQ(run({"-i", "cust.cpy"}).outputFileName, "cust.gnv");
  EXPECT_EQ(run({"-i", "a.b/cust"}).outputFileName, "a.gnv");
  EXPECT_EQ(run({"-i", "./cust"}).outputFileName, ".gnv");
  EXPECT_EQ(run({"-o", "out.xml", "-i", "rec.cpy"}).outputFileName, "out.xml");
}

TEST_F(DriverOptionsTest, EveryOptionSetsItsSwitch) {
  Outcome o = run(
      {"-f", "-c", "-dnd", "-tn", "-ta", "-r", "-ns", "urn:x", "-compat", "300", "-i", "in.cbl"});
  EXPECT_TRUE(o.freeFormat);
  EXPECT_EQ(o.maxColumn, 256u);
  EXPECT_TRUE(o.commaDecimalPoint);
  EXPECT_TRUE(o.noDescription);
  EXPECT_TRUE(o.textNumbersAsStrings);
  EXPECT_TRUE(o.packedDefaultAsText);
  EXPECT_TRUE(o.levelRestrictions);
  EXPECT_EQ(o.namespaceName, "urn:x");
  EXPECT_EQ(o.compatLevel, 300);
  EXPECT_EQ(o.input, "in.cbl");
}

TEST_F(DriverOptionsTest, LaterValueOfARepeatedOptionWins) {
  Outcome o =
      run({"-i", "a.cpy", "-ns", "one", "-o", "x.gnv", "-i", "b.cpy", "-ns", "two", "-o", "y.gnv"});
  EXPECT_EQ(o.input, "b.cpy");
  EXPECT_EQ(o.namespaceName, "two");
  EXPECT_EQ(o.outputFileName, "y.gnv");
}

TEST_F(DriverOptionsTest, CompatAcceptsThreeHundredInAnyIntegerNotation) {
  for (const char *value : {"300", "0x12c", "0X12C", "0454", "+300"})
    EXPECT_EQ(run({"-compat", value, "-i", "a"}).compatLevel, 300) << value;
}

using DriverOptionsDeathTest = DriverOptionsTest;

TEST_F(DriverOptionsDeathTest, BadCompatValueEndsTheRun) {
  for (const char *value : {"301", "abc", "", "0x12d"})
    EXPECT_EXIT(run({"-compat", value, "-i", "a"}), testing::ExitedWithCode(1),
                "^Error: invalid value for option '-compat'\\.\n$")
        << value;
}

TEST_F(DriverOptionsDeathTest, MissingInputFile) {
  EXPECT_EXIT(run({}), testing::ExitedWithCode(1), "^Error: Missed input file\\.\n$");
  EXPECT_EXIT(run({"-o", "x.gnv", "-f"}), testing::ExitedWithCode(1),
              "^Error: Missed input file\\.\n$");
}

TEST_F(DriverOptionsDeathTest, UnknownOptionAndUsageRequest) {
  // The unknown-option line and the usage go to the standard output.
  EXPECT_EXIT(run({"-i", "a", "-x"}), testing::ExitedWithCode(1), "^$");
  EXPECT_EXIT(run({"-?", "-x"}), testing::ExitedWithCode(0), "^$");
}

TEST_F(DriverOptionsTest, ExtensionWithAndWithoutDotIsTheSame) {
  touch("rec.cbl");
  EXPECT_EQ(run({"-e", "cbl", "-i", "x"}).found, "rec.cbl");
  EXPECT_EQ(run({"-e", ".cbl", "-i", "x"}).found, "rec.cbl");
  EXPECT_EQ(run({"-i", "x"}).found, "(none)");
}

TEST_F(DriverOptionsTest, SearchOrderOfDirectoriesAndExtensions) {
  touch("rec.cbl");
  touch("rec.txt");
  // Extension options are tried from the last given to the first.
  EXPECT_EQ(run({"-e", "cbl", "-e", "txt", "-i", "x"}).found, "rec.txt");
  EXPECT_EQ(run({"-e", "txt", "-e", "cbl", "-i", "x"}).found, "rec.cbl");
  // ".cpy" comes before the extension options, the bare name before both.
  touch("rec.cpy");
  EXPECT_EQ(run({"-e", "cbl", "-i", "x"}).found, "rec.cpy");
  touch("rec");
  EXPECT_EQ(run({"-e", "cbl", "-i", "x"}).found, "rec");
  // Copy directories are searched in the order given, then the current one.
  fs::create_directories("d1");
  fs::create_directories("d2");
  touch("d2/rec.cpy");
  EXPECT_EQ(run({"-d", "d1", "-d", "d2", "-i", "x"}).found, "d2/rec.cpy");
  touch("d1/rec.cpy");
  EXPECT_EQ(run({"-d", "d1", "-d", "d2", "-i", "x"}).found, "d1/rec.cpy");
  EXPECT_EQ(run({"-d", "d2", "-d", "d1", "-i", "x"}).found, "d2/rec.cpy");
}

TEST_F(DriverOptionsTest, TraceChangesNoResult) {
  fs::create_directories("copy");
  touch("copy/rec.cbl");
  std::vector<std::string> args{"-d", "copy",    "-e",    "cbl", "-f", "-ns",
                                "n",  "-compat", "0x12c", "-r",  "-i", "a.b/cust"};
  Outcome off = run(args);
  std::ostringstream trace;
  vexTraceSetOutput(&trace);
  vexTraceSetLevel(nullptr, TRC1_FLOW | TRC1_DETAIL | TRC1_ERROR);
  Outcome on = run(args);
  vexTraceSetLevel(nullptr, 0);
  vexTraceSetOutput(nullptr);
  EXPECT_EQ(off, on);
  EXPECT_EQ(on.found, "copy/rec.cbl");
  EXPECT_NE(trace.str().find("Output filename(a.gnv)"), std::string::npos) << trace.str();
}

TEST(DriverExitTest, FatalHookUnwindsToTheDriver) {
  vexFcblInstallExits();
  EXPECT_THROW(Errors_Exit(), VexFcblFatalExit);
  EXPECT_THROW(Scanner_Exit(), VexFcblFatalExit);
  EXPECT_THROW(Tree_Exit(), VexFcblFatalExit);
  EXPECT_THROW(Trafo_Exit(), VexFcblFatalExit);
}

} // namespace

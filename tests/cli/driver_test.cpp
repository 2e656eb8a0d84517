// Tests option reading, output names, copybook search order, and runs in one process.
#include "cli/driver.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <regex>

#include "support/copybook_search.h"
#include "tests/converter/converter_support.h"

namespace {

VexFcblOptions readOptions(std::vector<std::string> args) {
  std::vector<char *> argv{const_cast<char *>("vexfcbl")};
  for (std::string &arg : args)
    argv.push_back(arg.data());
  VexCmdLine line(static_cast<int>(argv.size()), argv.data());
  return vexFcblReadOptions(line, VexCmdError("usage\n"));
}

// Reads `args` as the driver does, starts the copybook search they give, looks "rec" up and returns
// what it found,
// "(none)" when nothing.
std::string searched(std::vector<std::string> args) {
  const VexFcblOptions options = readOptions(std::move(args));
  BeginCopybookSearch(options.frontEnd);
  const char *path = rFindFile("rec");
  return path != nullptr ? path : "(none)";
}

TEST(DriverOptions, OutputNameIsTheInputNameUpToItsLastDot) {
  const std::pair<const char *, const char *> cases[] = {{"cust.cpy", "cust.gnv"},
                                                         {"cust", "cust.gnv"},
                                                         {"a.b/cust", "a.gnv"},
                                                         {"./cust", ".gnv"},
                                                         {"dir/rec.cpy", "dir/rec.gnv"}};
  for (const auto &[input, output] : cases) {
    const VexFcblOptions options = readOptions({"-i", input});
    EXPECT_EQ(options.inputFile, input);
    EXPECT_EQ(options.conversion.outputFileName, output) << input;
  }
  EXPECT_EQ(readOptions({"-o", "out.xml", "-i", "rec.cpy"}).conversion.outputFileName, "out.xml");
}

TEST(DriverOptions, EveryOptionSetsItsFieldAndTheLastValueWins) {
  const VexFcblOptions options = readOptions(
      {"-f", "-c", "-dnd", "-tn", "-ta", "-r", "-ns", "one",  "-ns", "urn:x", "-compat", "0x12c",
       "-d", "d1", "-e",   "cbl", "-d",  "d2", "-e",  ".txt", "-i",  "a.cpy", "-i",      "in.cbl"});
  const VexCblConfig &c = options.conversion;
  EXPECT_EQ(options.inputFile, "in.cbl");
  EXPECT_TRUE(c.commaDecimalPoint && c.noDescription && c.textNumbersAsStrings &&
              c.packedDefaultAsText && c.levelRestrictions);
  EXPECT_EQ(c.namespaceName, "urn:x");
  EXPECT_EQ(c.compatLevel, 300);
  EXPECT_EQ(c.outputFileName, "in.gnv");
  EXPECT_TRUE(options.frontEnd.freeFormat);
  EXPECT_EQ(options.frontEnd.copyDirectories, (std::vector<std::string>{"d1", "d2"}));
  EXPECT_EQ(options.frontEnd.copyExtensions, (std::vector<std::string>{".cbl", ".txt"}));
  for (const char *value : {"300", "0X12C", "0454", "+300"})
    EXPECT_EQ(readOptions({"-compat", value, "-i", "a"}).conversion.compatLevel, 300) << value;
  const VexFcblOptions defaults = readOptions({"-i", "a"});
  EXPECT_FALSE(defaults.frontEnd.freeFormat || defaults.conversion.commaDecimalPoint);
  EXPECT_EQ(defaults.conversion.compatLevel, 0);
}

TEST(DriverOptions, CopybookSearchOrder) {
  const VexScratchDir dir;
  const auto touch = [&](const char *name) { dir.write(name, "       01 A PIC X.\n"); };
  touch("rec.cbl");
  EXPECT_EQ(searched({"-e", "cbl", "-i", "x"}), "rec.cbl");
  EXPECT_EQ(searched({"-e", ".cbl", "-i", "x"}), "rec.cbl");
  EXPECT_EQ(searched({"-i", "x"}), "(none)");
  // Extension options are tried from the last given to the first.
  touch("rec.txt");
  EXPECT_EQ(searched({"-e", "cbl", "-e", "txt", "-i", "x"}), "rec.txt");
  EXPECT_EQ(searched({"-e", "txt", "-e", "cbl", "-i", "x"}), "rec.cbl");
  // ".cpy" comes before the extension options, the bare name before both.
  touch("rec.cpy");
  EXPECT_EQ(searched({"-e", "cbl", "-i", "x"}), "rec.cpy");
  touch("rec");
  EXPECT_EQ(searched({"-e", "cbl", "-i", "x"}), "rec");
  // Copy directories are searched in the order given, then the current one.
  std::filesystem::create_directories("d1");
  std::filesystem::create_directories("d2");
  touch("d2/rec.cpy");
  EXPECT_EQ(searched({"-d", "d1", "-d", "d2", "-i", "x"}), "d2/rec.cpy");
  touch("d1/rec.cpy");
  EXPECT_EQ(searched({"-d", "d1", "-d", "d2", "-i", "x"}), "d1/rec.cpy");
  EXPECT_EQ(searched({"-d", "d2", "-d", "d1", "-i", "x"}), "d2/rec.cpy");
}

TEST(DriverOptions, OptionErrorsEndTheRunWithTheirStatus) {
  const VexProgramRun usage = vexRunProgram("", "-?");
  EXPECT_EQ(usage.status, 0);
  EXPECT_EQ(usage.streams.out.rfind("Usage: vexfcbl [options]\n", 0), 0u);
  EXPECT_EQ(usage.streams.err, "");
  const VexProgramRun unknown = vexRunProgram("", "-x");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.streams.out.rfind("Error: unknown option '-x'.\nUsage: ", 0), 0u);
  const VexProgramRun compat = vexRunProgram("", "-compat 301");
  EXPECT_EQ(compat.status, 1);
  EXPECT_EQ(compat.streams.err, "Error: invalid value for option '-compat'.\n");
  EXPECT_EQ(usage.document, "(none)");
}

// --version names the program and the project's version; the revision, when
// present, is the checkout's and so is checked only for its form. --help is
// -?'s text with the further options after it, status 0 both.
TEST(DriverOptions, VersionAndHelpEndTheRunWithStatusZero) {
  const VexProgramRun version = vexRunProgram("", "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(std::regex_match(version.streams.out,
                               std::regex("vexfcbl 1\\.0\\.0( \\(git [0-9a-f]{7,40}\\))?\n")))
      << version.streams.out;
  EXPECT_EQ(version.streams.err, "");
  EXPECT_EQ(vexVersionLine("vexfcbl-decode").rfind("vexfcbl-decode 1.0.0", 0), 0u);

  const VexProgramRun usage = vexRunProgram("", "-?");
  const VexProgramRun help = vexRunProgram("", "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.streams.out.rfind(usage.streams.out, 0), 0u);
  for (const char *option : {"-layout", "-strict", "--help", "--version"})
    EXPECT_NE(help.streams.out.find(std::string("\t") + option + " "), std::string::npos) << option;
  // The batch options check their values; -batch needs -od, not -i.
  for (const char *options :
       {"-batch in -j 0", "-batch in -od o -j 2x", "-batch in", "-batch in -od"})
    EXPECT_EQ(vexRunProgram("", options).status, 1) << options;
  // Only the exact spellings: a near miss is an unknown option.
  EXPECT_EQ(vexRunProgram("", "-version").status, 1);
  EXPECT_EQ(vexRunProgram("", "--versions").status, 1);
}

// ---------------------------------------------------------------------------
// Runs in one process

// One run's files and arguments: the copybooks to write, the arguments, and
// the document it writes.
struct RunCase {
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> args;
  std::string document;
};

struct RunResult {
  std::string out, err, document;
  int status = -1;
};

std::string fileText(const std::filesystem::path &path) {
  if (!std::filesystem::exists(path))
    return "(none)";
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFiles(const VexScratchDir &dir, const RunCase &run) {
  for (const auto &[name, text] : run.files) {
    std::filesystem::create_directories((dir.path() / name).parent_path());
    dir.write(name, text);
  }
}

// `run` by the program build/vexfcbl in a process of its own.
RunResult inOwnProcess(const RunCase &run) {
  const VexScratchDir dir;
  writeFiles(dir, run);
  std::string command = std::string("'") + VEX_BINARY_DIR + "/vexfcbl'";
  for (const std::string &arg : run.args)
    command += " '" + arg + "'";
  command += " >out.txt 2>err.txt";
  const int result = std::system(command.c_str());
  RunResult outcome;
  outcome.status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  outcome.out = fileText(dir.path() / "out.txt");
  outcome.err = fileText(dir.path() / "err.txt");
  outcome.document = fileText(dir.path() / run.document);
  return outcome;
}

// `run` through the program's entry function in this process.
RunResult inThisProcess(const RunCase &run) {
  const VexScratchDir dir;
  writeFiles(dir, run);
  std::vector<std::string> args{"vexfcbl"};
  args.insert(args.end(), run.args.begin(), run.args.end());
  std::vector<char *> argv;
  for (std::string &arg : args)
    argv.push_back(arg.data());
  RunResult outcome;
  const VexStreams streams =
      vexCaptured([&] { outcome.status = vexFcblMain(int(argv.size()), argv.data()); });
  outcome.out = streams.out;
  outcome.err = streams.err;
  outcome.document = fileText(dir.path() / run.document);
  return outcome;
}

// Conversions one after the other in one process give what separate
// processes give: nothing of a run's options, names, messages or
// definitions reaches the next.
TEST(DriverRuns, ThreeRunsInOneProcessEqualSeparateRuns) {
  const RunCase a{{{"PAYREC.cpy", vexReadFile("tests/golden/e2e-mixed-record/files/PAYREC.cpy")}},
                  {"-i", "PAYREC.cpy"},
                  "PAYREC.gnv"};
  // Free format, a copy directory, restrictions, no descriptions, a dotted
  // namespace, a comma decimal point, names that A has as well.
  const RunCase b{{{"B.cpy", "01 PAYMENT-RECORD.\n"
                             "   05 PAY-TYPE PIC X.\n"
                             "      88 PAY-CASH VALUE 'C'.\n"
                             "      88 PAY-CHEQUE VALUE 'Q'.\n"
                             "   05 PAY-DATE PIC 9(8).\n"
                             "   05 PAY-DATE-X REDEFINES PAY-DATE PIC X(8).\n"
                             "   05 PAY-AMOUNT PIC ZZZ.ZZ9,99.\n"
                             "   COPY BMEMBER.\n"},
                   {"books/BMEMBER.cpy", "   05 PAY-NOTE PIC X(20) OCCURS 3.\n"}},
                  {"-r", "-dnd", "-ns", "a.b", "-f", "-c", "-d", "books", "-i", "B.cpy"},
                  "B.gnv"};
  for (const RunCase *run : {&a, &b, &a}) {
    SCOPED_TRACE(run->args.back());
    const RunResult own = inOwnProcess(*run);
    const RunResult here = inThisProcess(*run);
    EXPECT_NE(own.document, "(none)") << own.err;
    EXPECT_EQ(here.status, own.status);
    EXPECT_EQ(here.out, own.out);
    EXPECT_EQ(here.err, own.err);
    EXPECT_EQ(here.document, own.document);
  }
}

// Two programs writing one output at once: the output is always one of the
// two documents whole (writing in place mixed them about one time in six).
TEST(DriverRuns, ConcurrentRunsOnOneOutputNeverMixTheirDocuments) {
  const VexScratchDir dir;
  std::string a, b;
  for (int i = 0; i < 3000; ++i) {
    a += "       01 AREC-" + std::to_string(i) + " PIC X(" + std::to_string(i % 9 + 1) + ").\n";
    b += "       01 BREC-" + std::to_string(i) + " PIC 9(" + std::to_string(i % 9 + 1) + ").\n";
  }
  dir.write("A.cpy", a);
  dir.write("B.cpy", b);
  const std::string program = std::string("'") + VEX_BINARY_DIR + "/vexfcbl'";
  ASSERT_EQ(std::system((program + " -i A.cpy -o A.gnv 2>/dev/null && " + program +
                         " -i B.cpy -o B.gnv 2>/dev/null")
                            .c_str()),
            0);
  const std::string documentA = fileText(dir.path() / "A.gnv");
  const std::string documentB = fileText(dir.path() / "B.gnv");
  for (int round = 0; round < 6; ++round) {
    ASSERT_EQ(std::system((program + " -i A.cpy -o out.gnv 2>/dev/null & " + program +
                           " -i B.cpy -o out.gnv 2>/dev/null; wait")
                              .c_str()),
              0);
    const std::string out = fileText(dir.path() / "out.gnv");
    EXPECT_TRUE(out == documentA || out == documentB) << "round " << round;
  }
}

} // namespace

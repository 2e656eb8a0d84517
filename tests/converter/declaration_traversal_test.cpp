#include <gtest/gtest.h>

#include <fstream>

#include "tests/model/xmllint_support.h"
#include "tests/converter/converter_support.h"
#include "cli/driver.h"

namespace {

struct ProgramRun {
  VexStreams streams;
  int status = 0;
  std::string document; // the written T.gnv; "(none)" without one
};

// The program on `copybook` (written as T.cpy) with `options` and "-i T.cpy".
ProgramRun convert(const std::string &copybook, const std::string &options) {
  const VexScopedOptions restored("");
  const VexScratchDir dir;
  dir.write("T.cpy", copybook);
  std::vector<std::string> args{"vexfcbl"};
  std::istringstream words(options + " -i T.cpy");
  for (std::string word; words >> word;)
    args.push_back(word);
  std::vector<char *> argv;
  for (std::string &arg : args)
    argv.push_back(arg.data());
  ProgramRun run;
  run.streams = vexCaptured([&] { run.status = vexFcblMain(int(argv.size()), argv.data()); });
  run.document = std::filesystem::exists("T.gnv") ? vexReadFile(dir.path() / "T.gnv") : "(none)";
  return run;
}

TEST(Conversion, EveryCaseOfTheTable) {
  for (const VexCase &c : vexReadCases("convert.cases")) {
    SCOPED_TRACE("convert.cases:" + std::to_string(c.line) + " " + c.title);
    const ProgramRun run = convert(vexFixed(c.get("")), c.options);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.streams.out, "");
    EXPECT_EQ(run.streams.err, c.get("stderr"));
    EXPECT_EQ(run.document, c.get("document", "(none)"));
    if (run.document != "(none)") {
      const VexSchemaCheck check = vexValidateText(run.document);
      EXPECT_TRUE(check.valid) << check.output;
    }
  }
}

// The full trace of every module leaves the messages and the document of a
// realistic record as they were.
TEST(Conversion, TraceChangesNoResult) {
  const std::string copybook = vexReadFile("tests/golden/e2e-mixed-record/files/PAYREC.cpy");
  const ProgramRun quiet = convert(copybook, "-r -ns corp");
  std::string trace;
  ProgramRun traced;
  {
    const VexTraceCapture capture;
    traced = convert(copybook, "-r -ns corp");
    trace = capture.text();
  }
  EXPECT_NE(quiet.document, "(none)");
  EXPECT_EQ(traced.document, quiet.document);
  EXPECT_EQ(traced.streams.err, quiet.streams.err);
  EXPECT_EQ(traced.status, quiet.status);
  for (const char *step : {"vexCblTraverseDecl", "vexCblCreateDef", "VexCblPicture"})
    EXPECT_NE(trace.find(step), std::string::npos) << step;
}

// Regression: one call per sibling overflowed the stack on copybooks with
// tens of thousands of entries in one group.
TEST(Conversion, LongSiblingListsDoNotDeepenTheStack) {
  std::string copybook = "01 REC.\n";
  for (int i = 0; i < 50000; ++i)
    copybook += "    05 FILLER PIC X.\n";
  const ProgramRun run = convert(vexFixed(copybook), "");
  EXPECT_EQ(run.status, 0) << run.streams.err;
  EXPECT_NE(run.document.find("<Item name=\"FILLER50000\">"), std::string::npos);
}

} // namespace

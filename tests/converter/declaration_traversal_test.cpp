// Whole program runs over convert.cases; trace changes nothing; long sibling lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "support/trace.h"
#include "tests/converter/converter_support.h"
#include "tests/model/xmllint_support.h"

namespace {

TEST(Conversion, EveryCaseOfTheTable) {
  for (const VexCase &c : vexReadCases("convert.cases")) {
    SCOPED_TRACE("convert.cases:" + std::to_string(c.line) + " " + c.title);
    const VexProgramRun run = vexRunProgram(vexFixed(c.get("")), c.options);
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

// Sets VEXFCBL_TRACE for the object's lifetime.
class TraceFile {
public:
  explicit TraceFile(const std::filesystem::path &path) : path_(path) {
    setenv(VexTrace::environmentName, path.c_str(), 1);
  }
  ~TraceFile() { unsetenv(VexTrace::environmentName); }
  TraceFile(const TraceFile &) = delete;
  TraceFile &operator=(const TraceFile &) = delete;
  std::string text() const {
    std::ifstream in(path_);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

private:
  std::filesystem::path path_;
};

// VEXFCBL_TRACE names every entry converted with what was read from it, its
// definition and its place, appends run after run, and changes no result.
TEST(Conversion, TraceNamesTheItemsConvertedAndChangesNoResult) {
  const std::string copybook = vexReadFile("tests/golden/e2e-mixed-record/files/PAYREC.cpy");
  const VexProgramRun quiet = vexRunProgram(copybook, "-r -ns corp", "PAYREC.cpy");
  const VexScratchDir traceDir;
  const std::filesystem::path tracePath = traceDir.path() / "conversion.trace";
  std::string trace;
  VexProgramRun traced;
  {
    const TraceFile file(tracePath);
    traced = vexRunProgram(copybook, "-r -ns corp", "PAYREC.cpy");
    trace = file.text();
  }
  EXPECT_NE(quiet.document, "(none)");
  EXPECT_EQ(traced.document, quiet.document);
  EXPECT_EQ(traced.streams.err, quiet.streams.err);
  EXPECT_EQ(traced.status, quiet.status);

  EXPECT_EQ(trace.rfind("conversion to 'PAYREC.gnv' namespace 'corp' options: -r -compat 0\n", 0),
            0u)
      << trace;
  for (const char *name :
       {"PAYMENT-RECORD", "PAY-KEY", "PAY-BRANCH", "PAY-SEQ-NO", "PAY-TYPE", "PAY-DATE",
        "PAY-DATE-R", "PAY-YYYY", "PAY-AMOUNT", "PAY-FEE", "PAY-AMOUNT-PRT", "PAY-CURRENCY",
        "PAY-NOTE-COUNT", "PAY-NOTE", "NOTE-TEXT", "PAY-HISTORY", "HIST-COUNT"})
    EXPECT_NE(trace.find("entry '" + std::string(name) + "' level "), std::string::npos) << name;
  for (const char *line :
       {"  read: 05 PAY-AMOUNT PICTURE IS S9(11)V99 USAGE IS COMPUTATIONAL-3\n",
        "  picture 'S9(11)V99': size 13, numeric, digits 13, after V 2\n",
        "  definition: <NumberDefinition digits=\"13\" pointLocation=\"2\" "
        "binaryPresentation=\"packedDecimal\"/>\n",
        "  placed: member 'PAY-AMOUNT'\n",
        "  placed: stand-alone definition 'PAYMENT-RECORD_PAY-DATE', redefined, referred to by "
        "member 'PAY-DATE'\n",
        "  placed: stand-alone definition 'PAYMENT-RECORD_PAY-DATE-R_REDEFINES_PAY-DATE', "
        "redefining 'PAY-DATE'\n",
        "group 'PAYMENT-RECORD': 12 members\n", "export: 3 stand-alone definitions\n",
        "export: document written to 'PAYREC.gnv'\n", "conversion completed\n"})
    EXPECT_NE(trace.find(line), std::string::npos) << line;

  // A second traced conversion appends to the file; without the variable
  // nothing is written.
  {
    const TraceFile file(tracePath);
    vexRunProgram(vexFixed("01 SECOND-REC PIC X."), "");
    const std::string both = file.text();
    EXPECT_EQ(both.rfind(trace, 0), 0u);
    EXPECT_NE(both.find("entry 'SECOND-REC' level 1", trace.size()), std::string::npos);
  }
  const auto size = std::filesystem::file_size(tracePath);
  vexRunProgram(vexFixed("01 THIRD-REC PIC X."), "");
  EXPECT_EQ(std::filesystem::file_size(tracePath), size);
}

// Regression: one call per sibling overflowed the stack on copybooks with
// tens of thousands of entries in one group.
TEST(Conversion, LongSiblingListsDoNotDeepenTheStack) {
  std::string copybook = "01 REC.\n";
  for (int i = 0; i < 50000; ++i)
    copybook += "    05 FILLER PIC X.\n";
  const VexProgramRun run = vexRunProgram(vexFixed(copybook), "");
  EXPECT_EQ(run.status, 0) << run.streams.err;
  EXPECT_NE(run.document.find("<Item name=\"FILLER50000\">"), std::string::npos);
}

} // namespace

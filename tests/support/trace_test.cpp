#include "support/trace.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

namespace {

TRC1_EPB blockA{"TRCTESTA"};
TRC1_EPB blockB{"TRCTESTB"};

// A traced function of the kind the converter writes.
int scaled(int value, const char *label) {
  VEX_TRACE(blockA, "scaled");
  VEX_TRACE_ARGS(blockA) << "value"
                         << "(" << value << ") "
                         << "label"
                         << "(" << label << ") ";
  int result = value * 10;
  VEX_TRACE_DETAIL(blockA) << "Scaled value"
                           << "(" << result << ") ";
  if (value < 0)
    VEX_TRACE_ERROR(blockA) << "negative value";
  return VEX_TRACE_RESULT(result);
}

void otherModule() {
  VEX_TRACE(blockB, "otherModule");
  VEX_TRACE_DETAIL(blockB) << "in B";
}

class TraceTest : public ::testing::Test {
protected:
  void SetUp() override { vexTraceSetOutput(&out); }
  void TearDown() override {
    vexTraceSetLevel(nullptr, 0);
    vexTraceSetOutput(nullptr);
  }
  // The trace so far without source line numbers, which move with this file.
  std::string traced() {
    return std::regex_replace(out.str(), std::regex(R"(^(\w+)\(\d+\): )", std::regex::multiline),
                              "$1: ");
  }
  std::ostringstream out;
};

TEST_F(TraceTest, LevelsSelectComponentsAndLinesButNeverTheResult) {
  const struct {
    const char *component;
    unsigned mask;
    int value;
    const char *expected;
  } rows[] = {
      {nullptr, 0, 4, ""},
      {"TRCTESTA", TRC1_FLOW | TRC1_DETAIL, 4,
       "TRCTESTA: Entry\nTRCTESTA: Args - scaled\nTRCTESTA: Args - value(4) label(NULL) \n"
       "TRCTESTA: Detail - Scaled value(40) \nTRCTESTA: Exit (40)\n"},
      {"TRCTESTA", TRC1_DETAIL, 1, "TRCTESTA: Detail - Scaled value(10) \n"},
      {"TRCTESTA", TRC1_ERROR, -1, "TRCTESTA: !!! Error - negative value\n"},
      {"TRCTESTB", TRC1_DETAIL, 2, "TRCTESTB: Detail - in B\n"},
      {nullptr, TRC1_DETAIL, 2, "TRCTESTA: Detail - Scaled value(20) \nTRCTESTB: Detail - in B\n"},
  };
  EXPECT_EQ(scaled(4, "x"), 40);
  EXPECT_EQ(out.str(), "") << "off until a level is set";
  for (const auto &row : rows) {
    SCOPED_TRACE(row.expected);
    vexTraceSetLevel(nullptr, 0);
    vexTraceSetLevel(row.component, row.mask);
    out.str("");
    EXPECT_EQ(scaled(row.value, nullptr), row.value * 10);
    otherModule();
    EXPECT_EQ(traced(), row.expected);
  }
}

TEST_F(TraceTest, OutputGoesOnlyToTheStreamSet) {
  vexTraceSetLevel(nullptr, TRC1_FLOW | TRC1_DETAIL | TRC1_ERROR);
  std::ostringstream second;
  vexTraceSetOutput(&second);
  scaled(3, "s");
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(second.str().find("Exit (30)"), std::string::npos);
  vexTraceSetOutput(nullptr);
  second.str("");
  scaled(3, "s");
  EXPECT_EQ(second.str(), "");
}

TEST_F(TraceTest, StreamReusedForLinesAndMemoryDumps) {
  vexTraceSetLevel(nullptr, TRC1_DETAIL);
  const char bytes[] = {'A', 'B', 0x01, 0x7f};
  {
    VexTraceStream stream;
    stream.getOs(blockA, 1) << "first" << std::flush;
    stream.getOs(blockA, 2) << "second";
    stream.getOs(blockB, 77, bytes, sizeof bytes) << "Packed" << std::flush;
  }
  EXPECT_EQ(out.str(), "TRCTESTA(1): first\nTRCTESTA(2): second\n"
                       "TRCTESTB(77): Packed\n    0000: 41 42 01 7f" +
                           std::string(36, ' ') + "  |AB..|\n");
}

TEST_F(TraceTest, StringStreamComposesWhetherTraceIsOnOrOff) {
  for (unsigned mask : {0u, TRC1_FLOW | TRC1_DETAIL}) {
    vexTraceSetLevel(nullptr, mask);
    std::string text;
    VexTraceStream stream;
    stream.getOs(text) << "\n\tWarning: " << 12 << ' ' << std::string("x") << "\n" << std::flush;
    EXPECT_EQ(text, "\n\tWarning: 12 x\n");
    EXPECT_EQ(out.str(), "");
  }
}

} // namespace

#include "platform/vextrace.h"

#include <gtest/gtest.h>

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
  std::ostringstream out;
};

TEST_F(TraceTest, OffUntilALevelIsSet) {
  EXPECT_EQ(scaled(4, "x"), 40);
  otherModule();
  EXPECT_EQ(out.str(), "");
}

TEST_F(TraceTest, FlowAndDetailLinesOfOneFunction) {
  vexTraceSetLevel("TRCTESTA", TRC1_FLOW | TRC1_DETAIL);
  EXPECT_EQ(scaled(4, nullptr), 40);
  std::string text = out.str();
  auto entry = text.find("TRCTESTA(");
  auto args = text.find("Args - scaled\n");
  auto values = text.find("Args - value(4) label(NULL) \n");
  auto detail = text.find("Detail - Scaled value(40) \n");
  auto exit = text.find("Exit (40)\n");
  ASSERT_NE(entry, std::string::npos) << text;
  EXPECT_NE(text.find("Entry\n"), std::string::npos) << text;
  ASSERT_NE(args, std::string::npos) << text;
  ASSERT_NE(values, std::string::npos) << text;
  ASSERT_NE(detail, std::string::npos) << text;
  ASSERT_NE(exit, std::string::npos) << text;
  EXPECT_LT(args, values);
  EXPECT_LT(values, detail);
  EXPECT_LT(detail, exit);
  EXPECT_EQ(text.find("!!! Error"), std::string::npos);
}

TEST_F(TraceTest, EachBitControlsItsOwnLines) {
  vexTraceSetLevel("TRCTESTA", TRC1_DETAIL);
  scaled(1, "d");
  std::string text = out.str();
  EXPECT_EQ(text.rfind("TRCTESTA(", 0), 0u) << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << "one line only: " << text;
  EXPECT_NE(text.find("): Detail - Scaled value(10) \n"), std::string::npos) << text;
  out.str("");
  vexTraceSetLevel("TRCTESTA", TRC1_ERROR);
  scaled(-1, "e");
  EXPECT_NE(out.str().find("): !!! Error - negative value\n"), std::string::npos) << out.str();
  EXPECT_EQ(out.str().find("Detail"), std::string::npos);
  EXPECT_EQ(out.str().find("Entry"), std::string::npos);
}

TEST_F(TraceTest, LevelsArePerComponentAndNullMeansAll) {
  vexTraceSetLevel("TRCTESTB", TRC1_DETAIL);
  scaled(2, "a");
  otherModule();
  EXPECT_EQ(out.str().find("TRCTESTA"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("TRCTESTB("), std::string::npos) << out.str();
  out.str("");
  vexTraceSetLevel(nullptr, TRC1_DETAIL);
  scaled(2, "a");
  otherModule();
  EXPECT_NE(out.str().find("TRCTESTA("), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("Detail - in B"), std::string::npos) << out.str();
}

TEST_F(TraceTest, CachedMaskFollowsLaterChanges) {
  vexTraceSetLevel("TRCTESTA", TRC1_FLOW);
  EXPECT_EQ(TRC1_Level(blockA), TRC1_FLOW);
  unsigned long stamp = blockA.stamp;
  EXPECT_EQ(TRC1_Level(blockA), TRC1_FLOW);
  EXPECT_EQ(blockA.stamp, stamp);
  vexTraceSetLevel("TRCTESTA", 0);
  EXPECT_EQ(TRC1_Level(blockA), 0u);
  EXPECT_NE(blockA.stamp, stamp);
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

TEST_F(TraceTest, LineWithMemoryDump) {
  vexTraceSetLevel(nullptr, TRC1_DETAIL);
  const char bytes[] = {'A', 'B', 0x01, 0x7f};
  {
    VexTraceStream stream;
    stream.getOs(blockA, 77, bytes, sizeof bytes) << "Packed" << std::flush;
  }
  EXPECT_EQ(out.str(),
            "TRCTESTA(77): Packed\n    0000: 41 42 01 7f" + std::string(36, ' ') + "  |AB..|\n");
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

TEST_F(TraceTest, StreamReusedForSeveralLines) {
  vexTraceSetLevel(nullptr, TRC1_DETAIL);
  VexTraceStream stream;
  stream.getOs(blockA, 1) << "first" << std::flush;
  stream.getOs(blockA, 2) << "second";
  stream.getOs(blockB, 3) << "third" << std::flush;
  EXPECT_EQ(out.str(), "TRCTESTA(1): first\nTRCTESTA(2): second\nTRCTESTB(3): third\n");
}

} // namespace

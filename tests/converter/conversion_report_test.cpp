#include "converter/conversion_report.h"

#include <gtest/gtest.h>

#include <string>

#include "support/identifier_table.h"
#include "support/string_memory.h"

namespace {

class ReportTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitStringMemory();
    InitIdents();
  }
  void TearDown() override {
    CloseIdents();
    CloseStringMemory();
  }
  static tPosition at(const char *file, std::uint32_t line, std::uint16_t column) {
    return tPosition{line, column, MakeIdent(file)};
  }
  static std::string reported(const std::string &text) {
    testing::internal::CaptureStderr();
    vexCvtReportMsg(text);
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(ReportTest, ContextTextFormats) {
  tPosition cust = at("/src/copy/cust.cpy", 12, 8);
  EXPECT_STREQ(VexCblReportContext("CUST-NAME", &cust).getUserText(),
               "\"cust.cpy\":  12,  8 (CUST-NAME) ");
  tPosition bare = at("rec.cpy", 7, 8);
  EXPECT_STREQ(VexCblReportContext("A", &bare).getUserText(), "\"rec.cpy\":   7,  8 (A) ");
  tPosition wide = at("dir/x", 12345, 1000);
  EXPECT_STREQ(VexCblReportContext(nullptr, &wide).getUserText(), "\"x\":12345,1000");
  EXPECT_STREQ(VexCblReportContext("NAME", nullptr).getUserText(), " (NAME) ");
  tPosition noFile{3, 4, NoIdent};
  EXPECT_STREQ(VexCblReportContext("NAME", &noFile).getUserText(), " (NAME) ");
  EXPECT_STREQ(VexCblReportContext(nullptr, nullptr).getUserText(), "");
}

TEST_F(ReportTest, MessageWithoutContextIsBare) {
  EXPECT_EQ(reported("Warning: Nothing to export. No converted definitions exist."),
            "Warning: Nothing to export. No converted definitions exist.\n");
  testing::internal::CaptureStderr();
  VexCvtReport::inst().msg("no newline", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "no newline");
}

TEST_F(ReportTest, InnermostContextPrefixesTheMessage) {
  tPosition outerPos = at("/src/copy/cust.cpy", 2, 8);
  tPosition innerPos = at("/src/copy/cust.cpy", 7, 12);
  VexCblReportContext outer("CUST-REC", &outerPos);
  EXPECT_EQ(reported("\n\tWarning: RENAMES keyword was ignored."),
            "\"cust.cpy\":   2,  8 (CUST-REC) \n\tWarning: RENAMES keyword was ignored.\n");
  {
    VexCblReportContext inner("CUST-ID", &innerPos);
    EXPECT_EQ(reported("\n\tError: Picture is not specified."),
              "\"cust.cpy\":   7, 12 (CUST-ID) \n\tError: Picture is not specified.\n");
  }
  EXPECT_EQ(reported("X"), "\"cust.cpy\":   2,  8 (CUST-REC) X\n");
  testing::internal::CaptureStderr();
  VexCvtReport::inst().msg("plain", false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "plain");
}

TEST_F(ReportTest, ContextsAreGoneAfterTheirScope) {
  {
    VexCblReportContext first("A", nullptr);
    VexCblReportContext second("B", nullptr);
  }
  EXPECT_EQ(reported("after"), "after\n");
  // An unbalanced deregistration must not underflow the list.
  VexCvtReport::inst().deregisterContext();
  EXPECT_EQ(reported("still"), "still\n");
}

} // namespace

// Tests item context texts, bare messages and the nesting of report contexts.
#include "converter/conversion_report.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/identifier_table.h"
#include "support/string_memory.h"

namespace {

class ReportTest : public ::testing::Test {
protected:
  void SetUp() override { InitIdents(); }
  void TearDown() override { CloseIdents(); }
  static tPosition at(const char *file, std::uint32_t line, std::uint16_t column) {
    return tPosition{line, column, MakeIdent(file)};
  }
  std::string reported(const std::string &text) {
    testing::internal::CaptureStderr();
    report.message(text);
    return testing::internal::GetCapturedStderr();
  }
  VexCvtReport report;
};

TEST_F(ReportTest, ContextTextFormats) {
  tPosition cust = at("/src/copy/cust.cpy", 12, 8);
  EXPECT_STREQ(VexCblReportContext(report, "CUST-NAME", &cust).getUserText(),
               "\"cust.cpy\":  12,  8 (CUST-NAME) ");
  tPosition bare = at("rec.cpy", 7, 8);
  EXPECT_STREQ(VexCblReportContext(report, "A", &bare).getUserText(), "\"rec.cpy\":   7,  8 (A) ");
  tPosition wide = at("dir/x", 12345, 1000);
  EXPECT_STREQ(VexCblReportContext(report, nullptr, &wide).getUserText(), "\"x\":12345,1000");
  EXPECT_STREQ(VexCblReportContext(report, "NAME", nullptr).getUserText(), " (NAME) ");
  tPosition noFile{3, 4, NoIdent};
  EXPECT_STREQ(VexCblReportContext(report, "NAME", &noFile).getUserText(), " (NAME) ");
  EXPECT_STREQ(VexCblReportContext(report, nullptr, nullptr).getUserText(), "");
}

TEST_F(ReportTest, MessageWithoutContextIsBare) {
  EXPECT_EQ(reported("Warning: Nothing to export. No converted definitions exist."),
            "Warning: Nothing to export. No converted definitions exist.\n");
  testing::internal::CaptureStderr();
  report.msg("no newline", true);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "no newline");
}

TEST_F(ReportTest, InnermostContextPrefixesTheMessage) {
  tPosition outerPos = at("/src/copy/cust.cpy", 2, 8);
  tPosition innerPos = at("/src/copy/cust.cpy", 7, 12);
  VexCblReportContext outer(report, "CUST-REC", &outerPos);
  EXPECT_EQ(reported("\n\tWarning: RENAMES keyword was ignored."),
            "\"cust.cpy\":   2,  8 (CUST-REC) \n\tWarning: RENAMES keyword was ignored.\n");
  {
    VexCblReportContext inner(report, "CUST-ID", &innerPos);
    EXPECT_EQ(reported("\n\tError: Picture is not specified."),
              "\"cust.cpy\":   7, 12 (CUST-ID) \n\tError: Picture is not specified.\n");
  }
  EXPECT_EQ(reported("X"), "\"cust.cpy\":   2,  8 (CUST-REC) X\n");
  testing::internal::CaptureStderr();
  report.msg("plain", false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "plain");
}

TEST_F(ReportTest, ContextsAreGoneAfterTheirScope) {
  {
    VexCblReportContext first(report, "A", nullptr);
    VexCblReportContext second(report, "B", nullptr);
  }
  EXPECT_EQ(reported("after"), "after\n");
}

// Each conversion has its own report: a context shows only in messages of
// the report it was made for.
TEST_F(ReportTest, ContextsBelongToTheirReport) {
  VexCvtReport other;
  const VexCblReportContext context(other, "ELSEWHERE", nullptr);
  EXPECT_EQ(reported("mine"), "mine\n");
  testing::internal::CaptureStderr();
  other.message("theirs");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), " (ELSEWHERE) theirs\n");
}

TEST_F(ReportTest, ErrorReportsAndEndsTheItem) {
  const VexCblReportContext context(report, "ITEM", nullptr);
  testing::internal::CaptureStderr();
  EXPECT_THROW(report.error("\n\tError: Picture is not specified."), VexCvtError);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            " (ITEM) \n\tError: Picture is not specified.\n");
}

// Messages held back and written in pieces read as those printed one by one:
// the context before each, the line end after it, a text that holds a NUL
// cut there (its line end with it, as printing a C string cuts it), nothing
// from a silent report.
TEST_F(ReportTest, HeldMessagesReadAsPrintedOnes) {
  for (const bool hold : {false, true}) {
    SCOPED_TRACE(hold ? "held" : "printed");
    std::FILE *file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
      VexCvtReport held;
      held.out = file;
      if (hold)
        held.holdMessages();
      held.message("first");
      {
        const VexCblReportContext context(held, "ITEM", nullptr);
        held.message(std::string("cut\0here", 8));
        held.message("\n\tWarning: second.");
      }
      // Files in turn, a file met again, a path ending in "/" (a file of
      // no name) and a position in no file.
      const tPosition places[] = {at("/src/a.cpy", 1, 8), at("b.cpy", 22, 12),
                                  at("/src/a.cpy", 333, 8), at("dir/", 4, 8),
                                  tPosition{5, 8, NoIdent}};
      for (const tPosition &place : places) {
        const VexCblReportContext context(held, "F", &place);
        held.message("m");
      }
      held.silent = true;
      held.message("never");
      held.silent = false;
      held.message(std::string(70000, 'L'));
      held.message("last");
    }
    std::rewind(file);
    std::string written;
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file))
      written += static_cast<char>(c);
    std::fclose(file);
    EXPECT_EQ(written, "first\n (ITEM) cut (ITEM) \n\tWarning: second.\n"
                       "\"a.cpy\":   1,  8 (F) m\n\"b.cpy\":  22, 12 (F) m\n"
                       "\"a.cpy\": 333,  8 (F) m\n\"\":   4,  8 (F) m\n (F) m\n" +
                           std::string(70000, 'L') + "\nlast\n");
  }
}

} // namespace

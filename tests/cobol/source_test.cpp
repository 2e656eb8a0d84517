// The source line reader: every normalisation step, in both formats.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cobol/Source.h"
#include "tokens_support.h"

namespace {

// Reads every line of `source` through GetLine.
std::vector<std::string> readLines(const std::string &source, bool freeFormat = false) {
  free_format = freeFormat;
  MaxColumn = freeFormat ? 256 : 72;
  file_input = 1;
  std::string path = WriteTempFile(source);
  int handle = BeginSource(path.c_str());
  EXPECT_GT(handle, 2);
  std::vector<std::string> lines;
  char buffer[SourceBufferSize];
  for (int length; (length = GetLine(handle, buffer)) > 0;)
    lines.emplace_back(buffer, static_cast<std::size_t>(length));
  CloseSource(handle);
  return lines;
}

std::string one(const std::string &source, bool freeFormat = false) {
  std::vector<std::string> lines = readLines(source, freeFormat);
  EXPECT_EQ(lines.size(), 1u);
  return lines.empty() ? std::string("<none>") : lines.front();
}

using Lines = std::vector<std::string>;

} // namespace

TEST(SourceFixed, IdentificationAreaIsCut) {
  std::string text72 = "000100     05  A PIC X." + std::string(49, ' ');
  ASSERT_EQ(text72.size(), 72u);
  std::string expected = "           05  A PIC X." + std::string(49, ' ') + "\n";
  EXPECT_EQ(readLines(text72 + "\n" + text72 + "ABCD0001\n" + text72 + "LAST0002"),
            (Lines{expected, expected, expected}));
}

TEST(SourceFixed, IndicatorMovesToColumnOne) {
  EXPECT_EQ(one("000200* comment text\n"), "*       comment text\n");
  EXPECT_EQ(one("000300/ new page\n"), "/       new page\n");
  EXPECT_EQ(one("000400-    'CONTINUED'.\n"), "-          'CONTINUED'.\n");
  EXPECT_EQ(one("000500$SET X\n"), "$      SET X\n");
  EXPECT_EQ(one("      \n"), "      \n"); // six blanks: blank indicator, length kept
  EXPECT_EQ(one("12\n"), "  \n");
  EXPECT_EQ(one("\n"), "\n");
}

TEST(SourceFixed, DebuggingAndLetterIndicatorsDropTheLine) {
  // A dropped line is a single newline so that line numbers stay right.
  EXPECT_EQ(readLines("000100D    05 DBG PIC X.\n000200d    X\n000300A    X\n0004009    X\n"
                      "       01 KEPT.\n"),
            (Lines{"\n", "\n", "\n", "\n", "       01 KEPT.\n"}));
}

TEST(SourceFixed, TabsStopTheSequenceArea) {
  EXPECT_EQ(one("\t05 A PIC X.\n"), "\t05 A PIC X.\n");
  EXPECT_EQ(one("12\t05 A.\n"), "  \t05 A.\n");
  EXPECT_EQ(one("123456\t05 A.\n"), "      \t05 A.\n");
}

TEST(SourceFixed, ProcessAndCblLinesAreUnchanged) {
  EXPECT_EQ(one("PROCESS NOSEQ\n"), "PROCESS NOSEQ\n");
  EXPECT_EQ(one(" cbl apost\n"), " cbl apost\n");
  EXPECT_EQ(one("       CBL\n"), "       CBL\n");
  // A longer word or one beyond column 8 is an ordinary line.
  EXPECT_EQ(one("PROCESSX NOSEQ\n"), "\n"); // "S" in column 7 drops it
  EXPECT_EQ(one("        CBL X\n"), "        CBL X\n");
  EXPECT_EQ(one("000100CBL X\n"), "\n");
}

TEST(SourceFixed, IncludeLinesAreMarked) {
  EXPECT_EQ(one("-INC MEMBER\n"), "+INC MEMBER\n");
  EXPECT_EQ(one("-INCLUDE MEMBER\n"), "+INCLUDE MEMBER\n");
  EXPECT_EQ(one("-inc member\n"), "\n"); // lower case: "e" in column 7
}

TEST(SourceFixed, FormFeeds) {
  EXPECT_EQ(one("      \f* comment\n"), "*       comment\n");
  EXPECT_EQ(one("\f* comment\n", true), "* comment\n");
  EXPECT_EQ(one("\f\n"), " \n");
  EXPECT_EQ(one("123456 05 A.\f\n"), "       05 A. \n");
  EXPECT_EQ(one("      \fX\n"), "       X\n");
}

TEST(SourceFixed, LastLineWithoutNewline) {
  EXPECT_EQ(readLines("       01 A.\n       01 B."), (Lines{"       01 A.\n", "       01 B.\n"}));
  EXPECT_EQ(readLines(""), Lines{});
}

TEST(SourceFree, DebuggingLinesAndLongLines) {
  EXPECT_EQ(readLines("D 05 DBG.\nd X\n\\ X\nDATA.\n* comment\n12345 A\n", true),
            (Lines{"\n", "\n", "\n", "DATA.\n", "* comment\n", "12345 A\n"}));
  std::string longLine(300, 'X');
  EXPECT_EQ(one(longLine + "\n", true), std::string(256, 'X') + "\n");
  EXPECT_EQ(one("-INC MEMBER\n", true), "+INC MEMBER\n");
  EXPECT_EQ(one("\f/ page\n", true), "/ page\n");
}

TEST(SourceRepair, RepairLineIsServedOnce) {
  for (int kind = 1; kind <= 3; ++kind) {
    file_input = 0;
    copy_repair = kind;
    EXPECT_EQ(BeginSource("dot"), 0);
    char buffer[SourceBufferSize];
    int length = GetLine(0, buffer);
    ASSERT_EQ(length, 10);
    EXPECT_EQ(std::string(buffer, 10), kind == 1 ? "         ." : kind == 2 ? "       01." : "       77.");
    EXPECT_EQ(GetLine(0, buffer), 0);
    EXPECT_EQ(copy_repair, 0);
    CloseSource(0);
    EXPECT_EQ(file_input, 1);
  }
}

TEST(SourceHandles, MissingFileAndCloseHook) {
  file_input = 1;
  EXPECT_EQ(BeginSource("/nonexistent/dir/NOFILE.cpy"), -1);
  static int calls = 0;
  CloseSource_Hook = [] { ++calls; };
  std::string path = WriteTempFile("X\n");
  int handle = BeginSource(path.c_str());
  CloseSource(handle);
  CloseSource_Hook = nullptr;
  EXPECT_EQ(calls, 1);
}

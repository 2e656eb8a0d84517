// The source line reader: data/source/NAME.src read line by line must give
// NAME.lines, one line per line read with control characters shown as ^X
// and "$" for the newline (options line: free).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "frontend/source_reader.h"
#include "data_support.h"
#include "tokens_support.h"

namespace {

std::string visible(const char *text, int length) {
  std::string line;
  for (int i = 0; i < length; ++i) {
    const unsigned char ch = static_cast<unsigned char>(text[i]);
    if (ch == '\n')
      line += "$";
    else if (ch < 32 || ch == 127)
      line += std::string("^") + static_cast<char>(ch ^ 64);
    else
      line += static_cast<char>(ch);
  }
  return line + "\n";
}

} // namespace

TEST(SourceCases, EveryCaseGivesItsLines) {
  const auto cases = DataCases("source", ".src", ".lines");
  ASSERT_GE(cases.size(), 10u);
  for (const DataCase &c : cases) {
    SCOPED_TRACE(c.name);
    free_format() = c.options.count("free") != 0;
    MaxColumn() = free_format() ? 256 : 72;
    file_input() = 1;
    const int handle = BeginSource(WriteTempFile(c.input).c_str());
    ASSERT_GT(handle, 2);
    std::string lines;
    char buffer[SourceBufferSize];
    for (int length; (length = GetLine(handle, buffer)) > 0;)
      lines += visible(buffer, length);
    CloseSource(handle);
    ExpectCase(c, lines);
  }
  free_format() = false;
  MaxColumn() = 72;
}

TEST(SourceRepair, RepairLineIsServedOnce) {
  for (int kind = 1; kind <= 3; ++kind) {
    file_input() = 0;
    copy_repair() = kind;
    EXPECT_EQ(BeginSource("dot"), 0);
    char buffer[SourceBufferSize];
    ASSERT_EQ(GetLine(0, buffer), 10);
    EXPECT_EQ(std::string(buffer, 10), kind == 1   ? "         ."
                                       : kind == 2 ? "       01."
                                                   : "       77.");
    EXPECT_EQ(GetLine(0, buffer), 0);
    EXPECT_EQ(copy_repair(), 0);
    CloseSource(0);
    EXPECT_EQ(file_input(), 1);
  }
}

TEST(SourceHandles, MissingFileAndCloseHook) {
  file_input() = 1;
  EXPECT_EQ(BeginSource("/nonexistent/dir/NOFILE.cpy"), -1);
  static int calls = 0;
  CloseSource_Hook() = [] { ++calls; };
  CloseSource(BeginSource(WriteTempFile("X\n").c_str()));
  CloseSource_Hook() = nullptr;
  EXPECT_EQ(calls, 1);
}

// Lines of 80 columns and a form feed every 37th line, sixteen kilobytes:
// the reader's buffer ends inside lines, inside the identification area and
// beside a form feed. Each line comes out by the fixed-format rules: the
// sequence area blank, the indicator (blank) moved to column 1, columns 73
// to 80 cut, and a form feed before text read as a blank.
TEST(SourceLong, LinesAcrossBufferEndsComeOutWhole) {
  std::string input, expected;
  for (int line = 1; line <= 200; ++line) {
    char text[96];
    std::snprintf(text, sizeof text, "           05  F-%06d PIC X(10).", line);
    std::string body = text;
    if (line % 37 == 0)
      body[20] = '\f';
    body.resize(65, '.');
    char sequence[8];
    std::snprintf(sequence, sizeof sequence, "%06d", line);
    input += std::string(sequence) + " " + body + "IDENT" + std::to_string(100 + line) + "\n";
    if (line % 37 == 0)
      body[20] = ' ';
    expected += "       " + body + "$\n";
  }
  ASSERT_GT(input.size(), 16000u);
  MaxColumn() = 72;
  file_input() = 1;
  for (bool fromFile : {true, false}) {
    SCOPED_TRACE(fromFile ? "file" : "text");
    const int handle = fromFile ? BeginSource(WriteTempFile(input).c_str())
                                : BeginSourceText("long.cpy", input);
    ASSERT_GT(handle, 2);
    std::string lines;
    char buffer[SourceBufferSize];
    for (int length; (length = GetLine(handle, buffer)) > 0;)
      lines += visible(buffer, length);
    CloseSource(handle);
    EXPECT_EQ(lines, expected);
  }
}

// A COPY reads a second source between two lines of the first, and the next
// copybook opened after one closed often gets the closed one's handle (the
// lowest free descriptor). Each line must come from the source asked for,
// whichever was read last, and a closed source must never be read again
// under its handle. Free format, so that lines come back as written.
TEST(SourceHandles, InterleavedSourcesEachGiveTheirOwnLines) {
  free_format() = true;
  MaxColumn() = 256;
  file_input() = 1;
  const std::string outerPath = WriteTempFile("A1\nA2\nA3\n");
  const std::string firstPath = WriteTempFile("B1\nB2\n");
  const std::string secondPath = WriteTempFile("C1\nC2\nC3\n");
  char buffer[SourceBufferSize];
  auto next = [&buffer](int handle) {
    const int length = GetLine(handle, buffer);
    return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string("EOF");
  };
  const int outer = BeginSource(outerPath.c_str());
  EXPECT_EQ(next(outer), "A1\n");
  const int first = BeginSource(firstPath.c_str());
  const int text = BeginSourceText("held.cpy", "T1\nT2\n");
  EXPECT_EQ(next(first), "B1\n");
  EXPECT_EQ(next(text), "T1\n");
  EXPECT_EQ(next(outer), "A2\n");
  EXPECT_EQ(next(first), "B2\n");
  CloseSource(first);
  const int second = BeginSource(secondPath.c_str());
  EXPECT_EQ(second, first) << "the descriptor is used again (what this test is about)";
  EXPECT_EQ(next(second), "C1\n");
  EXPECT_EQ(next(text), "T2\n");
  EXPECT_EQ(next(second), "C2\n");
  EXPECT_EQ(next(second), "C3\n");
  EXPECT_EQ(next(second), "EOF");
  CloseSource(second);
  CloseSource(text);
  EXPECT_EQ(next(outer), "A3\n");
  EXPECT_EQ(next(outer), "EOF");
  CloseSource(outer);
  free_format() = false;
  MaxColumn() = 72;
}

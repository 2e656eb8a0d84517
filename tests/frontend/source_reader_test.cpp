// The source line reader: data/source/NAME.src read line by line must give
// NAME.lines, one line per line read with control characters shown as ^X
// and "$" for the newline (options line: free).
#include <gtest/gtest.h>

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

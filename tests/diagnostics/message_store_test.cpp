#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "diagnostics/message_store.h"
#include "diagnostics/position.h"
#include "support/identifier_table.h"
#include "support/bit_sets.h"
#include "support/string_memory.h"
#include "support/memory_pools.h"

namespace {

struct FatalExit : std::runtime_error {
  FatalExit() : std::runtime_error("fatal") {}
};

// What WriteMessages prints, as text.
std::string Printed() {
  char *text = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&text, &size);
  WriteMessages(stream);
  std::fclose(stream);
  std::string result(text, size);
  std::free(text);
  return result;
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

class ErrorsTest : public ::testing::Test {
protected:
  void SetUp() override {
    TearDown();
    InitStringMemory();
    InitIdents();
    BeginErrors();
    StoreMessages(true);
    savedExit = Errors_Exit;
    Errors_Exit = [] { throw FatalExit(); };
    zFile = MakeIdent("Z.cpy");
    aFile = MakeIdent("A.cpy");
  }
  void TearDown() override {
    if (savedExit)
      Errors_Exit = savedExit;
    StoreMessages(false);
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
  }
  tPosition At(tIdent file, std::uint32_t line, std::uint16_t column = 1) {
    return tPosition{line, column, file};
  }
  // What follows "text: " in each printed line.
  std::vector<std::string> Data(const std::string &text) {
    std::vector<std::string> data;
    for (const std::string &line : Lines(Printed()))
      data.push_back(line.substr(line.find(text + ": ") + text.size() + 2));
    return data;
  }

  void (*savedExit)() = nullptr;
  tIdent zFile = NoIdent;
  tIdent aFile = NoIdent;
};

// The cases of data/messages.txt.
TEST_F(ErrorsTest, StoredMessagesPrintAsRecorded) {
  std::ifstream data(std::string(VEX_SOURCE_DIR) + "/tests/diagnostics/data/messages.txt");
  ASSERT_TRUE(data);
  const std::vector<std::string> words = {"Fatal",  "Restriction", "Error",      "Warning",
                                          "Repair", "Note",        "Information"};
  std::string line, what, expected;
  bool expecting = false;
  auto check = [&] {
    std::string printed;
    for (std::string printedLine : Lines(Printed()))
      printed += printedLine.erase(printedLine.find_last_not_of(' ') + 1) + "\n";
    EXPECT_EQ(printed, expected) << what;
  };
  while (std::getline(data, line)) {
    if (line.starts_with("== ")) {
      if (!what.empty())
        check();
      what = line.substr(3);
      expected.clear();
      expecting = false;
      BeginErrors();
      StoreMessages(true);
    } else if (line == "--") {
      expecting = true;
    } else if (!line.empty() && expecting) {
      expected += line + "\n";
    } else if (!line.empty() && line[0] != '#') {
      std::size_t bar = line.find(" | ");
      std::string datum = bar == std::string::npos ? "" : line.substr(bar + 3);
      std::istringstream in(line.substr(0, bar));
      std::string word, file, text;
      std::uint32_t lineNumber = 0;
      std::uint16_t column = 0;
      in >> word >> file >> lineNumber >> column >> std::ws;
      std::getline(in, text);
      auto known = std::find(words.begin(), words.end(), word);
      int cls = known == words.end() ? std::stoi(word) : int(known - words.begin()) + 1;
      tPosition at = file == "-" ? NoPosition : At(MakeIdent(file.c_str()), lineNumber, column);
      int kind = datum.empty() ? xxNone : xxString;
      if (text[0] == '#')
        ErrorMessageI(std::stoi(text.substr(1)), cls, at, kind, datum.c_str());
      else
        MessageI(text.c_str(), cls, at, kind, datum.c_str());
    }
  }
  check();
}

TEST_F(ErrorsTest, ManyEqualPositionsStayInReportOrder) {
  for (int i = 0; i < 200; ++i)
    MessageI("dup", xxWarning, At(zFile, 3, 3), xxInteger, &i);
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 200u);
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(lines[i], "\"Z.cpy\":   3,  3: Warning     dup: " + std::to_string(i));
}

TEST_F(ErrorsTest, GetCountCountsASyntaxErrorOnceAndFilteredMessagesToo) {
  tPosition at = At(zFile, 1, 8);
  ErrorMessage(xxSyntaxError, xxError, at);
  ErrorMessageI(xxTokenFound, xxInformation, at, xxString, "name");
  ErrorMessageI(xxExpectedTokens, xxInformation, at, xxString, "level-number");
  EXPECT_EQ(GetCount(xxError), 1);
  EXPECT_EQ(GetCount(xxInformation), 2);
  ErrorMessage(xxInternalError, xxError, At(zFile, 1, 9));
  EXPECT_EQ(GetCount(xxError), 2);
  EXPECT_EQ(Lines(Printed()).size(), 1u);
  BeginErrors();
  EXPECT_EQ(GetCount(xxError), 0);
  EXPECT_EQ(Printed(), "") << "BeginErrors empties the store as well";
}

TEST_F(ErrorsTest, FullStoreKeeps2499MessagesAndATooManyMessagesRestriction) {
  for (int i = 1; i <= 2600; ++i)
    Message("m", xxWarning, At(zFile, static_cast<std::uint32_t>(i)));
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 2500u);
  EXPECT_EQ(lines[0], "Restriction too many messages");
  EXPECT_EQ(lines[1], "\"Z.cpy\":   1,  1: Warning     m");
  EXPECT_EQ(lines[2499], "\"Z.cpy\":2499,  1: Warning     m");
  EXPECT_EQ(GetCount(xxWarning), 2600);
  EXPECT_EQ(GetCount(xxRestriction), 0) << "the substitute is not a report";
}

TEST_F(ErrorsTest, EveryInformationKindAndMessageCharPrintACopyOfTheDatum) {
  int integer = -42;
  short shortValue = 7;
  long longValue = -1234567890123L;
  unsigned long unsignedValue = 4000000000UL;
  float floatValue = 1.5f;
  bool yes = true, no = false;
  char character = 'Q', text[] = "abc";
  tIdent ident = MakeIdent("CUST-NAME");
  tPosition position = At(aFile, 3, 12);
  tSet set;
  MakeSet(set, 70);
  for (unsigned element : {65, 2, 31})
    Include(set, element);
  const std::pair<int, const void *> reports[] = {
      {xxInteger, &integer},  {xxShort, &shortValue},
      {xxLong, &longValue},   {xxUnsignedLong, &unsignedValue},
      {xxFloat, &floatValue}, {xxBoolean, &yes},
      {xxBoolean, &no},       {xxCharacter, &character},
      {xxString, text},       {xxIdent, &ident},
      {xxSet, &set},          {xxPosition, &position},
      {8, &integer},          {12, &integer}};
  std::uint32_t line = 0;
  for (auto [kind, datum] : reports)
    MessageI("k", xxNote, At(zFile, ++line), kind, datum);
  for (char c : {'A', '#', '\t', ' ', '\xe4'})
    MessageChar("k", xxError, At(zFile, ++line), c);
  // The store holds copies: later changes to the data do not show.
  integer = 0;
  text[0] = 'X';
  Include(set, 50);
  EXPECT_EQ(Data("k"), (std::vector<std::string>{
                           "-42", "7", "-1234567890123", "4000000000", "1.500000e+00", "T", "F",
                           "Q", "abc", "CUST-NAME", "{ 2 31 65}", "\"A.cpy\":   3, 12",
                           "info class: 8", "info class: 12", "A", "#", "\\09", "\\20", "\\e4"}));
  ReleaseSet(set);
}

TEST_F(ErrorsTest, WriteMessagesTwicePrintsTwiceAndStoreMessagesEmpties) {
  ErrorMessage(xxInternalError, xxError, At(zFile, 3, 1));
  ErrorMessage(xxInternalError, xxError, At(zFile, 3, 5));
  Message("note", xxNote, At(zFile, 3, 9));
  std::string first = Printed();
  EXPECT_EQ(first, "\"Z.cpy\":   3,  1: Error       internal error\n"
                   "\"Z.cpy\":   3,  9: Note        note\n");
  EXPECT_EQ(Printed(), first);
  StoreMessages(true);
  EXPECT_EQ(Printed(), "");
  EXPECT_EQ(GetCount(xxError), 2) << "emptying the store keeps the counts";
}

TEST_F(ErrorsTest, DirectModePrintsAtOnceAndFatalCallsTheHookEvenOnAFilteredLine) {
  StoreMessages(false);
  ::testing::internal::CaptureStderr();
  Message("at once", xxWarning, At(zFile, 2, 3));
  ErrorMessage(xxInternalError, xxError, At(zFile, 2, 4));
  ErrorMessage(xxInternalError, xxError, At(zFile, 2, 5));
  EXPECT_THROW(ErrorMessage(xxOutOfMemory, xxFatal, At(zFile, 2, 6)), FatalExit);
  EXPECT_THROW(ErrorMessageI(xxRoutineFailed, xxFatal, NoPosition, xxString, "Trafo.Copy"),
               FatalExit);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\"Z.cpy\":   2,  3: Warning     at once\n"
            "\"Z.cpy\":   2,  4: Error       internal error\n"
            "Fatal       routine failed: Trafo.Copy\n");
}

TEST_F(ErrorsTest, FatalInStoreModePrintsTheStoreThenCallsTheHook) {
  Message("stored before", xxWarning, At(zFile, 9));
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(ErrorMessageI(xxCannotOpenInputFile, xxFatal, At(zFile, 2), xxString, "Scanner"),
               FatalExit);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\"Z.cpy\":   2,  1: Fatal       cannot open input file: Scanner\n"
            "\"Z.cpy\":   9,  1: Warning     stored before\n");
  EXPECT_EQ(GetCount(xxFatal), 1);
  // The module is still usable after the hook left by an exception.
  EXPECT_NO_THROW(Message("after", xxNote, At(zFile, 10)));
  EXPECT_EQ(Lines(Printed()).size(), 3u);
}

TEST(ErrorsExitTest, DefaultHookEndsTheProcessWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ErrorMessage(xxInternalError, xxFatal, NoPosition), ::testing::ExitedWithCode(1),
              "Fatal       internal error");
}

} // namespace

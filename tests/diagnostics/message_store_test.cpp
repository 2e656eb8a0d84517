// Tests the message store: printing, ordering, counts, full store, info kinds, fatal end, runs.
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
#include "support/run_memory.h"
#include "support/run_state.h"

namespace {

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

// A run of its own with the store collecting; Z.cpy is entered before A.cpy.
class ErrorsTest : public ::testing::Test {
protected:
  void SetUp() override {
    StoreMessages(true);
    zFile = MakeIdent("Z.cpy");
    aFile = MakeIdent("A.cpy");
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

  RunState run;
  RunState::Scope scope{run};
  tIdent zFile = NoIdent;
  tIdent aFile = NoIdent;
};

// The cases of data/messages.txt.
TEST_F(ErrorsTest, StoredMessagesPrintAsRecorded) {
  std::ifstream data(std::string(VEX_SOURCE_DIR) + "/tests/diagnostics/data/messages.txt");
  ASSERT_TRUE(data);
  const std::vector<std::string> words = {"Fatal", "Restriction", "Error", "", "",
                                          "",      "Information"};
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
  for (unsigned long i = 0; i < 200; ++i)
    MessageI("dup", xxError, At(zFile, 3, 3), xxUnsignedLong, &i);
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 200u);
  for (unsigned long i = 0; i < 200; ++i)
    ASSERT_EQ(lines[i], "\"Z.cpy\":   3,  3: Error       dup: " + std::to_string(i));
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
    Message("m", xxError, At(zFile, static_cast<std::uint32_t>(i)));
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 2500u);
  EXPECT_EQ(lines[0], "Restriction too many messages");
  EXPECT_EQ(lines[1], "\"Z.cpy\":   1,  1: Error       m");
  EXPECT_EQ(lines[2499], "\"Z.cpy\":2499,  1: Error       m");
  EXPECT_EQ(GetCount(xxError), 2600);
  EXPECT_EQ(GetCount(xxRestriction), 0) << "the substitute is not a report";
}

TEST_F(ErrorsTest, EveryInformationKindAndMessageCharPrintACopyOfTheDatum) {
  unsigned long unsignedValue = 4000000000UL;
  char character = 'Q', text[] = "abc";
  tIdent ident = MakeIdent("CUST-NAME");
  tPosition position = At(aFile, 3, 12);
  const std::pair<int, const void *> reports[] = {{xxUnsignedLong, &unsignedValue},
                                                  {xxCharacter, &character},
                                                  {xxString, text},
                                                  {xxString, nullptr},
                                                  {xxIdent, &ident},
                                                  {xxPosition, &position},
                                                  {xxIdent, nullptr},
                                                  {8, &unsignedValue},
                                                  {12, &unsignedValue}};
  std::uint32_t line = 0;
  for (auto [kind, datum] : reports)
    MessageI("k", xxInformation, At(zFile, ++line), kind, datum);
  for (char c : {'A', '#', '\t', ' ', '\xe4'})
    MessageChar("k", xxError, At(zFile, ++line), c);
  // The store holds copies: later changes to the data do not show.
  unsignedValue = 0;
  text[0] = 'X';
  position.Line = 99;
  // A missing datum prints as the empty text; unknown kinds print their number.
  EXPECT_EQ(Data("k"), (std::vector<std::string>{
                           "4000000000", "Q", "abc", "", "CUST-NAME", "\"A.cpy\":   3, 12", "",
                           "info class: 8", "info class: 12", "A", "#", "\\09", "\\20", "\\e4"}));
}

TEST_F(ErrorsTest, WriteMessagesTwicePrintsTwiceAndStoreMessagesEmpties) {
  ErrorMessage(xxInternalError, xxError, At(zFile, 3, 1));
  ErrorMessage(xxInternalError, xxError, At(zFile, 3, 5));
  Message("note", xxInformation, At(zFile, 3, 9));
  std::string first = Printed();
  EXPECT_EQ(first, "\"Z.cpy\":   3,  1: Error       internal error\n"
                   "\"Z.cpy\":   3,  9: Information note\n");
  EXPECT_EQ(Printed(), first);
  StoreMessages(true);
  EXPECT_EQ(Printed(), "");
  EXPECT_EQ(GetCount(xxError), 2) << "emptying the store keeps the counts";
}

TEST_F(ErrorsTest, DirectModePrintsAtOnceAndFatalEndsTheRunEvenOnAFilteredLine) {
  StoreMessages(false);
  ::testing::internal::CaptureStderr();
  Message("at once", xxInformation, At(zFile, 2, 3));
  ErrorMessage(xxInternalError, xxError, At(zFile, 2, 4));
  ErrorMessage(xxInternalError, xxError, At(zFile, 2, 5));
  EXPECT_THROW(ErrorMessage(xxOutOfMemory, xxFatal, At(zFile, 2, 6)), FatalError);
  EXPECT_THROW(ErrorMessageI(xxRoutineFailed, xxFatal, NoPosition, xxString, "Trafo.Copy"),
               FatalError);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\"Z.cpy\":   2,  3: Information at once\n"
            "\"Z.cpy\":   2,  4: Error       internal error\n"
            "Fatal       routine failed: Trafo.Copy\n");
}

TEST_F(ErrorsTest, FatalInStoreModePrintsTheStoreThenEndsTheRun) {
  Message("stored before", xxError, At(zFile, 9));
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(ErrorMessageI(xxCannotOpenInputFile, xxFatal, At(zFile, 2), xxString, "Scanner"),
               FatalError);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\"Z.cpy\":   2,  1: Fatal       cannot open input file: Scanner\n"
            "\"Z.cpy\":   9,  1: Error       stored before\n");
  EXPECT_EQ(GetCount(xxFatal), 1);
  // The store stays usable: whoever catches may still print it.
  EXPECT_NO_THROW(Message("after", xxInformation, At(zFile, 10)));
  EXPECT_EQ(Lines(Printed()).size(), 3u);
}

TEST_F(ErrorsTest, ExhaustedMemoryIsReportedAsCodeTenWithTheArenasBytes) {
  Message("stored before", xxError, At(zFile, 9));
  RunAllocate(100, 8); // the arena has obtained its first block
  const std::string used = std::to_string(RunArenaBytes());
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(ReportingOutOfMemory([] { throw std::bad_alloc(); }), FatalError);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Fatal       rMemory.Alloc out of memory: " + used + "\n" +
                "\"Z.cpy\":   9,  1: Error       stored before\n");
  EXPECT_NE(used, "0");
  // Without exhaustion the body simply runs.
  bool after = false;
  ReportingOutOfMemory([&] { after = true; });
  EXPECT_TRUE(after);
  EXPECT_EQ(GetCount(xxFatal), 1);
}

// One run's identifiers and messages, printed: texts are entered as
// identifiers, so the message order depends on the numbering.
std::string Conversion(const std::vector<std::string> &files) {
  StoreMessages(true);
  std::string numbers;
  for (const std::string &file : files) {
    tIdent ident = MakeIdent(file.c_str());
    numbers += file + "=" + std::to_string(ident) + " ";
    MessageI("name not declared", xxError, {3, 7, ident}, xxIdent, &ident);
    ErrorMessageI(xxTokenFound, xxInformation, {5, 1, ident}, xxString, "PIC");
    ErrorMessageI(xxExpectedTokens, xxInformation, {5, 1, ident}, xxString, ".");
  }
  Message("previous declaration", xxInformation, NoPosition);
  return numbers + "\n" + Printed() + std::to_string(GetCount(xxError));
}

TEST(RunsTest, EachRunNumbersAndOrdersAsAFreshProcess) {
  const std::vector<std::string> a{"B.cpy", "A.cpy", "B.cpy", "C.cpy"};
  const std::vector<std::string> b{"C.cpy", "X.cpy", "A.cpy", "name not declared"};
  std::string first, second, again;
  {
    RunState run;
    RunState::Scope scope(run);
    first = Conversion(a);
  }
  {
    RunState run;
    RunState::Scope scope(run);
    second = Conversion(b);
  }
  {
    RunState run;
    RunState::Scope scope(run);
    again = Conversion(a);
  }
  EXPECT_EQ(again, first);
  EXPECT_NE(second, first);
  EXPECT_EQ(first.substr(0, first.find('\n')), "B.cpy=3 A.cpy=5 B.cpy=3 C.cpy=6 ");
  // The message text is entered after the first file; in B it is also a file.
  EXPECT_EQ(second.substr(0, second.find('\n')), "C.cpy=3 X.cpy=5 A.cpy=6 name not declared=4 ");
}

TEST(RunsTest, InterleavedRunsKeepTheirOwnState) {
  const std::vector<std::string> a{"B.cpy", "A.cpy"};
  std::string alone;
  {
    RunState run;
    RunState::Scope scope(run);
    alone = Conversion(a);
  }
  RunState one, two;
  {
    RunState::Scope scope(one);
    MakeIdent("B.cpy");
  }
  {
    RunState::Scope scope(two);
    Conversion({"Z.cpy", "B.cpy", "Y.cpy"});
    ErrorMessage(xxInternalError, xxError, NoPosition);
  }
  RunState::Scope scope(one);
  EXPECT_EQ(Conversion(a), alone);
}

} // namespace

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/Position.h"
#include "reuse/Idents.h"
#include "reuse/Sets.h"
#include "reuse/StringM.h"
#include "reuse/rMemory.h"

namespace {

struct FatalExit : std::runtime_error {
  FatalExit() : std::runtime_error("fatal") {}
};

void ThrowingExit() { throw FatalExit(); }

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
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
    InitStringMemory();
    InitIdents();
    BeginErrors();
    StoreMessages(true);
    savedExit = Errors_Exit;
    Errors_Exit = ThrowingExit;
    zFile = MakeIdent("Z.cpy");
    aFile = MakeIdent("A.cpy");
  }
  void TearDown() override {
    Errors_Exit = savedExit;
    StoreMessages(false);
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
  }
  tPosition At(tIdent file, std::uint32_t line, std::uint16_t column) { return tPosition{line, column, file}; }

  void (*savedExit)() = nullptr;
  tIdent zFile = NoIdent;
  tIdent aFile = NoIdent;
};

TEST(PositionTest, OrderIsFileNumberThenLineThenColumn) {
  tPosition a{10, 5, 4};
  EXPECT_EQ(Compare(a, a), 0);
  EXPECT_EQ(Compare(tPosition{99, 99, 3}, a), -1);
  EXPECT_EQ(Compare(tPosition{9, 99, 4}, a), -1);
  EXPECT_EQ(Compare(tPosition{10, 4, 4}, a), -1);
  EXPECT_EQ(Compare(tPosition{10, 6, 4}, a), 1);
  EXPECT_EQ(Compare(tPosition{1, 1, 5}, a), 1);
  EXPECT_EQ(Compare(NoPosition, tPosition{1, 1, 3}), -1);
}

TEST_F(ErrorsTest, PositionIsPrintedQuotedWithAlignedLineAndColumn) {
  tIdent file = MakeIdent("CUSTREC.cpy");
  tIdent name = MakeIdent("CUST-ID");
  MessageI("name not declared", xxError, At(file, 12, 8), xxIdent, &name);
  MessageI("name not declared", xxError, At(file, 12345, 1234), xxIdent, &name);
  EXPECT_EQ(Printed(), "\"CUSTREC.cpy\":  12,  8: Error       name not declared: CUST-ID\n"
                       "\"CUSTREC.cpy\":12345,1234: Error       name not declared: CUST-ID\n");
}

TEST_F(ErrorsTest, StoreSortsByFileNumberLineColumnAndKeepsReportOrderForTies) {
  Message("z5", xxWarning, At(zFile, 5, 1));
  Message("a1", xxWarning, At(aFile, 1, 1));
  Message("z2c3", xxWarning, At(zFile, 2, 3));
  Message("first", xxNote, At(zFile, 2, 1));
  Message("second", xxError, At(zFile, 2, 1));
  Message("third", xxNote, At(zFile, 2, 1));
  Message("none", xxInformation, NoPosition);
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Information none") << "no position: printed bare and sorted first";
  EXPECT_EQ(lines[1], "\"Z.cpy\":   2,  1: Note        first");
  EXPECT_EQ(lines[2], "\"Z.cpy\":   2,  1: Error       second");
  EXPECT_EQ(lines[3], "\"Z.cpy\":   2,  1: Note        third");
  EXPECT_EQ(lines[4], "\"Z.cpy\":   2,  3: Warning     z2c3");
  EXPECT_EQ(lines[5], "\"Z.cpy\":   5,  1: Warning     z5");
  EXPECT_EQ(lines[6], "\"A.cpy\":   1,  1: Warning     a1") << "file order is identifier order";
}

TEST_F(ErrorsTest, ManyEqualPositionsStayInReportOrder) {
  for (int i = 0; i < 200; ++i)
    MessageI("dup", xxWarning, At(zFile, 3, 3), xxInteger, &i);
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 200u);
  for (int i = 0; i < 200; ++i)
    ASSERT_EQ(lines[i], "\"Z.cpy\":   3,  3: Warning     dup: " + std::to_string(i));
}

TEST_F(ErrorsTest, OneCodedMessagePerLineNumberAcrossFiles) {
  ErrorMessage(xxInternalError, xxError, At(zFile, 7, 1));
  Message("text between", xxWarning, At(zFile, 7, 2));
  ErrorMessage(xxOutOfMemory, xxError, At(zFile, 7, 9));
  ErrorMessage(xxCannotOpenInputFile, xxError, At(aFile, 7, 1));
  Message("texts are never filtered", xxWarning, At(aFile, 7, 2));
  ErrorMessage(xxTreeOutOfMemory, xxError, At(aFile, 8, 1));
  ErrorMessage(xxNoText, xxNote, NoPosition);
  ErrorMessage(xxNoText, xxNote, NoPosition);
  EXPECT_EQ(Printed(), "Note        \n"
                       "Note        \n"
                       "\"Z.cpy\":   7,  1: Error       internal error\n"
                       "\"Z.cpy\":   7,  2: Warning     text between\n"
                       "\"A.cpy\":   7,  2: Warning     texts are never filtered\n"
                       "\"A.cpy\":   8,  1: Error       tree out of memory\n");
  EXPECT_EQ(GetCount(xxError), 4) << "filtered messages still count";
}

TEST_F(ErrorsTest, SyntaxErrorPrintsOneFoundExpectedLine) {
  tPosition at = At(zFile, 4, 20);
  ErrorMessage(xxSyntaxError, xxError, at);
  ErrorMessageI(xxTokenFound, xxInformation, at, xxString, "PIC");
  ErrorMessageI(xxExpectedTokens, xxInformation, at, xxString, "name level-number");
  ErrorMessageI(xxRestartPoint, xxInformation, At(zFile, 4, 30), xxNone, nullptr);
  ErrorMessageI(xxTokenInserted, xxRepair, At(zFile, 4, 31), xxString, "name");
  // A second syntax error on the same line is swallowed by the line filter.
  tPosition later = At(zFile, 4, 40);
  ErrorMessage(xxSyntaxError, xxError, later);
  ErrorMessageI(xxTokenFound, xxInformation, later, xxString, "VALUE");
  ErrorMessageI(xxExpectedTokens, xxInformation, later, xxString, ".");
  tPosition next = At(zFile, 5, 8);
  ErrorMessage(xxSyntaxError, xxError, next);
  ErrorMessageI(xxTokenFound, xxInformation, next, xxString, "end of input");
  ErrorMessageI(xxExpectedTokens, xxInformation, next, xxString, ".");
  EXPECT_EQ(Printed(), "\"Z.cpy\":   4, 20: Error       found/expected : PIC/name level-number\n"
                       "\"Z.cpy\":   5,  8: Error       found/expected : end of input/.\n");
  EXPECT_EQ(GetCount(xxError), 3);
  EXPECT_EQ(GetCount(xxInformation), 7);
  EXPECT_EQ(GetCount(xxRepair), 1);
}

TEST_F(ErrorsTest, GetCountIsOneAfterASingleSyntaxErrorAndBeginErrorsResets) {
  tPosition at = At(zFile, 1, 8);
  ErrorMessage(xxSyntaxError, xxError, at);
  ErrorMessageI(xxTokenFound, xxInformation, at, xxString, "name");
  ErrorMessageI(xxExpectedTokens, xxInformation, at, xxString, "level-number");
  EXPECT_EQ(GetCount(xxError), 1);
  BeginErrors();
  EXPECT_EQ(GetCount(xxError), 0);
  EXPECT_EQ(GetCount(xxInformation), 0);
  EXPECT_EQ(Printed(), "") << "BeginErrors empties the store's count as well";
}

TEST_F(ErrorsTest, LongStringInformationIsCutAfterTheWordCrossingColumn26) {
  const char *exact = "abcdefghijklmnopqrstuvwxyz";
  const char *longWord = "abcdefghijklmnopqrstuvwxyzABCDEFGH";
  const char *wordCrossing = "name level-number PICTURE VALUE USAGE";
  const char *blankAt27 = "abcdefghijklmnopqrstuvwxyz X";
  const char *cutInWord = "abcdefghijklmnopqrstuvwxyzABC DEF";
  MessageI("s", xxNote, At(zFile, 1, 1), xxString, exact);
  MessageI("s", xxNote, At(zFile, 2, 1), xxString, longWord);
  MessageI("s", xxNote, At(zFile, 3, 1), xxString, wordCrossing);
  MessageI("s", xxNote, At(zFile, 4, 1), xxString, blankAt27);
  MessageI("s", xxNote, At(zFile, 5, 1), xxString, cutInWord);
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 5u);
  const std::string head = "Note        s: ";
  EXPECT_EQ(lines[0].substr(lines[0].find(head) + head.size()), exact);
  EXPECT_EQ(lines[1].substr(lines[1].find(head) + head.size()), longWord);
  EXPECT_EQ(lines[2].substr(lines[2].find(head) + head.size()), "name level-number PICTURE VALUE ...");
  EXPECT_EQ(lines[3].substr(lines[3].find(head) + head.size()), "abcdefghijklmnopqrstuvwxyz ...");
  EXPECT_EQ(lines[4].substr(lines[4].find(head) + head.size()), "abcdefghijklmnopqrstuvwxyzABC ...");
}

TEST_F(ErrorsTest, FullStoreKeeps2499MessagesAndATooManyMessagesRestriction) {
  for (int i = 1; i <= 2600; ++i)
    Message("m", xxWarning, At(zFile, static_cast<std::uint32_t>(i), 1));
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 2500u);
  EXPECT_EQ(lines[0], "Restriction too many messages");
  EXPECT_EQ(lines[1], "\"Z.cpy\":   1,  1: Warning     m");
  EXPECT_EQ(lines[2499], "\"Z.cpy\":2499,  1: Warning     m");
  EXPECT_EQ(GetCount(xxWarning), 2600);
  EXPECT_EQ(GetCount(xxRestriction), 0) << "the substitute is not a report";
}

TEST_F(ErrorsTest, EveryInformationKindPrintsItsDatum) {
  int integer = -42;
  short shortValue = 7;
  long longValue = -1234567890123L;
  unsigned long unsignedValue = 4000000000UL;
  float floatValue = 1.5f;
  bool yes = true, no = false;
  char character = 'Q';
  char text[] = "abc";
  tIdent ident = MakeIdent("CUST-NAME");
  tPosition position = At(aFile, 3, 12);
  tSet set;
  MakeSet(set, 70);
  Include(set, 65);
  Include(set, 2);
  Include(set, 31);
  int unused = 0;
  std::uint32_t line = 1;
  MessageI("k", xxNote, At(zFile, line++, 1), xxInteger, &integer);
  MessageI("k", xxNote, At(zFile, line++, 1), xxShort, &shortValue);
  MessageI("k", xxNote, At(zFile, line++, 1), xxLong, &longValue);
  MessageI("k", xxNote, At(zFile, line++, 1), xxUnsignedLong, &unsignedValue);
  MessageI("k", xxNote, At(zFile, line++, 1), xxFloat, &floatValue);
  MessageI("k", xxNote, At(zFile, line++, 1), xxBoolean, &yes);
  MessageI("k", xxNote, At(zFile, line++, 1), xxBoolean, &no);
  MessageI("k", xxNote, At(zFile, line++, 1), xxCharacter, &character);
  MessageI("k", xxNote, At(zFile, line++, 1), xxString, text);
  MessageI("k", xxNote, At(zFile, line++, 1), xxIdent, &ident);
  MessageI("k", xxNote, At(zFile, line++, 1), xxSet, &set);
  MessageI("k", xxNote, At(zFile, line++, 1), xxPosition, &position);
  MessageI("k", xxNote, At(zFile, line++, 1), 8, &unused);
  MessageI("k", xxNote, At(zFile, line++, 1), 12, &unused);
  // The store holds copies: later changes to the data do not show.
  integer = 0;
  text[0] = 'X';
  Include(set, 50);
  Exclude(set, 2);
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 14u);
  const std::string head = "Note        k: ";
  std::vector<std::string> data;
  for (const std::string &l : lines)
    data.push_back(l.substr(l.find(head) + head.size()));
  EXPECT_EQ(data[0], "-42");
  EXPECT_EQ(data[1], "7");
  EXPECT_EQ(data[2], "-1234567890123");
  EXPECT_EQ(data[3], "4000000000");
  EXPECT_EQ(data[4], "1.500000e+00");
  EXPECT_EQ(data[5], "T");
  EXPECT_EQ(data[6], "F");
  EXPECT_EQ(data[7], "Q");
  EXPECT_EQ(data[8], "abc");
  EXPECT_EQ(data[9], "CUST-NAME");
  EXPECT_EQ(data[10], "{ 2 31 65}");
  EXPECT_EQ(data[11], "\"A.cpy\":   3, 12");
  EXPECT_EQ(data[12], "info class: 8");
  EXPECT_EQ(data[13], "info class: 12");
  ReleaseSet(set);
}

TEST_F(ErrorsTest, ClassWordsCodeTextsAndUnknownValues) {
  const char *words[] = {"Fatal       ", "Restriction ", "Error       ", "Warning     ",
                         "Repair      ", "Note        ", "Information "};
  StoreMessages(false);
  Errors_Exit = [] {};
  for (int messageClass = xxFatal; messageClass <= xxInformation; ++messageClass) {
    ::testing::internal::CaptureStderr();
    ErrorMessage(xxNoText, messageClass, NoPosition);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), std::string(words[messageClass - 1]) + "\n");
  }
  ::testing::internal::CaptureStderr();
  ErrorMessage(xxFoundExpected, 9, NoPosition);
  ErrorMessage(99, xxWarning, NoPosition);
  ErrorMessage(22, xxWarning, NoPosition);
  ErrorMessage(xxTokenInserted, xxRepair, NoPosition);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Error class: 9 found/expected \n"
            "Warning     error code: 99\n"
            "Warning     file stack underflow (too many calls of CloseFile)\n");
  EXPECT_EQ(GetCount(9), 0);
  EXPECT_EQ(GetCount(xxRepair), 2);
}

TEST_F(ErrorsTest, MessageCharShowsPrintableCharactersAndHexForOthers) {
  MessageChar("illegal character", xxError, At(zFile, 1, 1), 'A');
  MessageChar("illegal character", xxError, At(zFile, 2, 1), '#');
  MessageChar("illegal character", xxError, At(zFile, 3, 1), '\t');
  MessageChar("illegal character", xxError, At(zFile, 4, 1), ' ');
  MessageChar("illegal character", xxError, At(zFile, 5, 1), '\xe4');
  std::vector<std::string> lines = Lines(Printed());
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], "\"Z.cpy\":   1,  1: Error       illegal character: A");
  EXPECT_EQ(lines[1], "\"Z.cpy\":   2,  1: Error       illegal character: #");
  EXPECT_EQ(lines[2], "\"Z.cpy\":   3,  1: Error       illegal character: \\09");
  EXPECT_EQ(lines[3], "\"Z.cpy\":   4,  1: Error       illegal character: \\20");
  EXPECT_EQ(lines[4], "\"Z.cpy\":   5,  1: Error       illegal character: \\e4");
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

TEST_F(ErrorsTest, DirectModePrintsAtOnceToStandardError) {
  StoreMessages(false);
  ::testing::internal::CaptureStderr();
  Message("at once", xxWarning, At(zFile, 2, 3));
  ErrorMessage(xxInternalError, xxError, At(zFile, 2, 4));
  ErrorMessage(xxInternalError, xxError, At(zFile, 2, 5));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\"Z.cpy\":   2,  3: Warning     at once\n"
                                                      "\"Z.cpy\":   2,  4: Error       internal error\n");
}

TEST_F(ErrorsTest, FatalInStoreModePrintsTheStoreThenCallsTheHook) {
  Message("stored before", xxWarning, At(zFile, 9, 1));
  const char *module = "Scanner";
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(ErrorMessageI(xxCannotOpenInputFile, xxFatal, At(zFile, 2, 1), xxString, module), FatalExit);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "\"Z.cpy\":   2,  1: Fatal       cannot open input file: Scanner\n"
            "\"Z.cpy\":   9,  1: Warning     stored before\n");
  EXPECT_EQ(GetCount(xxFatal), 1);
  // The module is still usable after the hook left by an exception.
  EXPECT_NO_THROW(Message("after", xxNote, At(zFile, 10, 1)));
  EXPECT_EQ(Lines(Printed()).size(), 3u);
}

TEST_F(ErrorsTest, FatalInDirectModeCallsTheHookEvenOnAFilteredLine) {
  StoreMessages(false);
  ::testing::internal::CaptureStderr();
  ErrorMessage(xxInternalError, xxError, At(zFile, 6, 1));
  EXPECT_THROW(ErrorMessage(xxOutOfMemory, xxFatal, At(zFile, 6, 2)), FatalExit);
  EXPECT_THROW(ErrorMessageI(xxRoutineFailed, xxFatal, NoPosition, xxString, "Trafo.Copy"), FatalExit);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\"Z.cpy\":   6,  1: Error       internal error\n"
                                                      "Fatal       routine failed: Trafo.Copy\n");
}

TEST(ErrorsExitTest, DefaultHookEndsTheProcessWithStatusOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(ErrorMessage(xxInternalError, xxFatal, NoPosition), ::testing::ExitedWithCode(1),
              "Fatal       internal error");
}

} // namespace

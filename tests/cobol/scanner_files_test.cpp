// The scanner's interfaces to the COPY machinery and the parser: the file
// stack, the hooks, replacing mode, pseudo-text, include directives, fatal
// conditions and inserted terminals.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "cobol/Scanner.h"
#include "cobol/Source.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "reuse/Idents.h"
#include "reuse/rMemory.h"
#include "tokens_support.h"

namespace {

struct ScannerFatal : std::runtime_error {
  ScannerFatal() : std::runtime_error("scanner fatal") {}
};

// Drives the scanner by hand over one main file.
class ScannerSession : public ::testing::Test {
protected:
  void open(const std::string &source, bool freeFormat = false) {
    StartFrontEnd(freeFormat);
    path = WriteTempFile(source);
    BeginFile(path.c_str());
    BeginScanner();
  }
  std::string next(int (*scan)() = GetToken) { return DescribeToken(scan()); }
  std::string rest() {
    std::string listing;
    for (int guard = 0; guard < 1000; ++guard) {
      int terminal = GetToken();
      listing += DescribeToken(terminal) + "\n";
      if (terminal == tok::EndOfInput)
        break;
    }
    return listing;
  }
  void TearDown() override {
    ResetScanner();
    CloserMemory();
    Include_Hook = nullptr;
    GetToken_Hook = nullptr;
    CloseSource_Hook = nullptr;
    Scanner_Exit = nullptr;
    Errors_Exit = savedErrorsExit;
    dialect = StandardDialect;
  }
  std::string path;
  void (*savedErrorsExit)() = Errors_Exit;
};

std::vector<std::string> includes;
int pops = 0;

} // namespace

TEST_F(ScannerSession, NestedFileDeliversItsTokensAtItsPositions) {
  std::string copybook = WriteTempFile("       05 B PIC X.\n", "NESTED.cpy");
  open("       01 A.\n       01 C.\n");
  pops = 0;
  CloseSource_Hook = [] { ++pops; };
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1");
  EXPECT_EQ(next(), "1,11 name in area A A");
  EXPECT_EQ(next(), "1,12 .");
  BeginFile(copybook.c_str());
  EXPECT_EQ(FileDepth(), 2);
  EXPECT_EQ(GetCStr(GetScanContext().File), copybook);
  int terminal = GetToken();
  EXPECT_EQ(DescribeToken(terminal), "1,8-9 level_number 05 =5");
  EXPECT_EQ(GetCStr(Attribute.Position.File), copybook);
  EXPECT_EQ(rest().substr(0, 23), "1,11 name in area A B\n1");
  EXPECT_EQ(pops, 2); // the copybook and then the main file were closed
  EXPECT_EQ(FileDepth(), 0);
}

TEST_F(ScannerSession, StopAtCopyEndReturnsEndOfInputAfterNestedFile) {
  std::string copybook = WriteTempFile("       05 B.\n", "STOP.cpy");
  open("       01 A.\n");
  BeginFile(copybook.c_str());
  stop_at_copy_end = true;
  EXPECT_EQ(next(), "1,8-9 level_number 05 =5");
  EXPECT_EQ(next(), "1,11 name in area A B");
  EXPECT_EQ(next(), "1,12 .");
  EXPECT_EQ(TerminalName(GetToken()), std::string("_EOF_"));
  EXPECT_EQ(FileDepth(), 1);
  EXPECT_EQ(GetCStr(Attribute.Position.File), path);
  stop_at_copy_end = false;
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1");
}

TEST_F(ScannerSession, IncludeLineNamesTheMemberAndYieldsNoTokens) {
  includes.clear();
  Include_Hook = [](tIdent member, tPosition position) {
    includes.push_back(std::string(GetCStr(member)) + "@" + std::to_string(position.Line) + "," +
                       std::to_string(position.Column));
  };
  open("-INC custmem\n       01 A.\n-INCLUDE OTHER.\n");
  EXPECT_EQ(rest(), "2,8-9 level_number 01 =1\n"
                    "2,11 name in area A A\n"
                    "2,12 .\n"
                    "4,1 _EOF_\n");
  EXPECT_EQ(includes, (std::vector<std::string>{"custmem@1,6", "OTHER@3,10"}));
}

TEST_F(ScannerSession, InclureDirectiveAndItsPrefix) {
  open("      *INCLURE MEMBRE X 2\n       01 A.\n");
  EXPECT_EQ(next(), "1,8-14 INCLURE");
  EXPECT_EQ(next(), "1,16-21 name MEMBRE");
  EXPECT_EQ(next(), "1,23 illegal_character X");
  EXPECT_EQ(next(), "1,25 level_number 2 =2");
  EXPECT_EQ(next(), "1,26 .");
  // What the COPY machinery does once the member is open: names after a level
  // number get the prefix, level numbers carry the increment.
  set_inclure_params('X', 2);
  EXPECT_EQ(next(), "2,8-9 level_number 01 =1 +2");
  EXPECT_EQ(next(), "2,11 name in area A XA +prefix (A)");
}

TEST_F(ScannerSession, ReplacingModeKeepsOnlyReplacingKeywords) {
  open("       BY LEADING VALUE PICTURE INCLUDE ==A, B== ALL\n");
  begin_replacing();
  EXPECT_EQ(CurrentScanState(), tScanState::ReplacingOperands);
  EXPECT_EQ(next(), "1,8-9 BY");
  EXPECT_EQ(next(), "1,11-17 LEADING");
  EXPECT_EQ(next(), "1,19-23 name VALUE");
  EXPECT_EQ(next(), "1,25-31 name PICTURE");
  EXPECT_EQ(next(), "1,33-39 name INCLUDE");
  EXPECT_EQ(next(), "1,41-42 ==");
  start_pseudo_text();
  EXPECT_EQ(next(), "1,43-46 pseudo_text A, B");
  EXPECT_EQ(next(), "1,47-48 ==");
  EXPECT_EQ(CurrentScanState(), tScanState::ReplacingOperands);
  end_replacing();
  EXPECT_EQ(CurrentScanState(), tScanState::Normal);
  EXPECT_EQ(next(), "1,50-52 ALL");
}

TEST_F(ScannerSession, PseudoTextKeepsLineEndsAndMayBeEmpty) {
  open("       ====  ==X\n       Y==.\n");
  EXPECT_EQ(next(), "1,8-9 ==");
  start_pseudo_text();
  EXPECT_EQ(next(), "1,10 pseudo_text ");
  EXPECT_EQ(next(), "1,10-11 ==");
  EXPECT_EQ(next(), "1,14-15 ==");
  start_pseudo_text();
  EXPECT_EQ(next(), "1,16-2,8 pseudo_text X\n       Y");
  EXPECT_EQ(next(), "2,9-10 ==");
  EXPECT_EQ(next(), "2,11 .");
}

TEST_F(ScannerSession, SeparatorsAreTerminalsWhileReplacingMatches) {
  open("       A, B; C.\n");
  replacing_match = true;
  EXPECT_EQ(rest(), "1,8 name in area A A\n1,9 ,\n1,11 name in area A B\n1,12 ;\n"
                    "1,14 name C\n1,15 .\n2,1 _EOF_\n");
  replacing_match = false;
}

TEST_F(ScannerSession, GetTokenHookReplacesTheInnerScanner) {
  open("       01 A.\n");
  GetToken_Hook = [] {
    int terminal = Get_Token();
    return terminal == tok::level_number ? tok::Level77 : terminal;
  };
  EXPECT_EQ(TerminalName(GetToken()), std::string("77"));
  GetToken_Hook = nullptr;
  EXPECT_EQ(next(), "1,11 name in area A A");
}

TEST_F(ScannerSession, ErrorAttributeGivesNeutralValuesAtTheCurrentToken) {
  open("           05 A.\n");
  GetToken();
  tScanAttribute inserted;
  ErrorAttribute(tok::minus_integer, inserted);
  EXPECT_EQ(inserted.Position.Line, 1u);
  EXPECT_EQ(inserted.Position.Column, 12);
  EXPECT_EQ(inserted.EndPosition.Line, 0u);
  EXPECT_EQ(inserted.Value, -1);
  EXPECT_STREQ(StGetCStr(inserted.Text), "");
  ErrorAttribute(tok::level_number, inserted);
  EXPECT_EQ(inserted.Value, 1);
  EXPECT_EQ(inserted.Increment, 0);
  ErrorAttribute(tok::name, inserted);
  EXPECT_EQ(inserted.Word, NoIdent);
  EXPECT_EQ(inserted.Spelling, NoIdent);
  ErrorAttribute(tok::illegal_character, inserted);
  EXPECT_EQ(inserted.Character, ' ');
}

TEST_F(ScannerSession, CurrentTokenText) {
  open("           05 cust_name.\n");
  GetToken();
  GetToken();
  char buffer[16];
  EXPECT_EQ(GetWord(buffer, sizeof buffer), 9u);
  EXPECT_STREQ(buffer, "cust_name");
  GetUpper(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "CUST_NAME");
  GetUpperCbl(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "CUST-NAME");
  EXPECT_EQ(GetWord(buffer, 5), 4u);
  EXPECT_STREQ(buffer, "cust");
}

TEST_F(ScannerSession, FileThatCannotBeOpenedIsFatalThroughTheExitHook) {
  open("       01 A.\n");
  Errors_Exit = [] {};
  Scanner_Exit = [] { throw ScannerFatal(); };
  EXPECT_THROW(BeginFile("/nonexistent/dir/MISSING.cpy"), ScannerFatal);
  EXPECT_EQ(GetCount(xxFatal), 1);
  EXPECT_NE(StoredMessages().find("Fatal       cannot open input file: Scanner"), std::string::npos);
  EXPECT_EQ(FileDepth(), 1); // the including file goes on
}

TEST_F(ScannerSession, UnderflowsAreFatal) {
  open("       01 A.\n");
  Errors_Exit = [] {};
  Scanner_Exit = [] { throw ScannerFatal(); };
  EXPECT_THROW(yyPop(), ScannerFatal);
  CloseFile();
  EXPECT_THROW(CloseFile(), ScannerFatal);
  std::string messages = StoredMessages();
  EXPECT_NE(messages.find("Fatal       start stack underflow (too many calls of yyPop): Scanner"),
            std::string::npos);
  EXPECT_NE(messages.find("Fatal       file stack underflow (too many calls of CloseFile): Scanner"),
            std::string::npos);
}

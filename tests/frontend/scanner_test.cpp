// The scanner: token listings as data (data/scanner/NAME.cbl and NAME.tokens,
// whose options line may say free, includes, replacing, pseudo, match; see
// tokens_support.h), and by hand the interfaces the COPY machinery uses.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "frontend/keywords.h"
#include "diagnostics/message_store.h"
#include "data_support.h"
#include "support/identifier_table.h"
#include "support/memory_pools.h"
#include "tokens_support.h"

TEST(ScannerCases, EveryCaseGivesItsListing) {
  const auto cases = DataCases("scanner", ".cbl", ".tokens");
  ASSERT_GE(cases.size(), 30u);
  for (const DataCase &c : cases) {
    SCOPED_TRACE(c.name);
    ScanOptions options;
    options.freeFormat = c.options.count("free") != 0;
    options.listIncludes = c.options.count("includes") != 0;
    options.replacing = c.options.count("replacing") != 0;
    options.pseudoText = c.options.count("pseudo") != 0;
    options.replacingMatch = c.options.count("match") != 0;
    const ScanListing listing = Scan(c.input, options);
    std::string actual = listing.tokens;
    if (!listing.comments.empty())
      actual += "-- comments\n" + listing.comments;
    if (!listing.messages.empty())
      actual += "-- messages\n" + listing.messages;
    ExpectCase(c, actual);
  }
}

namespace {

// Drives the scanner by hand over one main file.
class ScannerSession : public ::testing::Test {
protected:
  void open(const std::string &source) {
    StartFrontEnd(false);
    path = WriteTempFile(source);
    BeginFile(path.c_str());
    BeginScanner();
  }
  std::string next() { return DescribeToken(GetToken()); }
  void TearDown() override {
    ResetScanner();
    CloserMemory();
    CloseSource_Hook = nullptr;
    GetToken_Hook = nullptr;
    stop_at_copy_end = false;
  }
  std::string path;
};

int closes = 0;

} // namespace

TEST_F(ScannerSession, NestedFilesStackAndStopAtTheirEnd) {
  std::string copybook = WriteTempFile("       05 B.\n", "NESTED.cpy");
  open("       01 A.\n       01 C.\n");
  closes = 0;
  CloseSource_Hook = [] { ++closes; };
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1");
  BeginFile(copybook.c_str());
  EXPECT_EQ(FileDepth(), 2);
  EXPECT_EQ(GetCStr(GetScanContext().File), copybook);
  EXPECT_EQ(next(), "1,8-9 level_number 05 =5");
  EXPECT_EQ(GetCStr(Attribute.Position.File), copybook);
  stop_at_copy_end = true;
  EXPECT_EQ(next(), "1,11 name in area A B");
  EXPECT_EQ(next(), "1,12 .");
  EXPECT_EQ(GetToken(), tok::EndOfInput);
  EXPECT_EQ(FileDepth(), 1);
  stop_at_copy_end = false;
  EXPECT_EQ(next(), "1,11 name in area A A"); // the main file resumes after its token
  EXPECT_EQ(GetCStr(Attribute.Position.File), path);
  for (int guard = 0; guard < 10 && GetToken() != tok::EndOfInput; ++guard) {
  }
  EXPECT_EQ(closes, 2);
  EXPECT_EQ(FileDepth(), 0);
}

TEST_F(ScannerSession, InclureParametersPrefixNamesAndRaiseLevels) {
  open("       01 A.\n");
  set_inclure_params('X', 2);
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1 +2");
  EXPECT_EQ(next(), "1,11 name in area A XA +prefix (A)");
}

TEST_F(ScannerSession, GetTokenHookAndTokenText) {
  open("           05 cust_name.\n");
  GetToken_Hook = [] {
    int terminal = Get_Token();
    return terminal == tok::level_number ? tok::Level77 : terminal;
  };
  EXPECT_EQ(TerminalName(GetToken()), std::string("77"));
  GetToken_Hook = nullptr;
  tScanAttribute inserted;
  ErrorAttribute(tok::minus_integer, inserted);
  EXPECT_EQ(inserted.Position.Column, 12);
  EXPECT_EQ(inserted.Value, -1);
  GetToken();
  char buffer[16];
  EXPECT_EQ(GetWord(buffer, sizeof buffer), 9u);
  EXPECT_STREQ(buffer, "cust_name");
  GetUpperCbl(buffer, sizeof buffer);
  EXPECT_STREQ(buffer, "CUST-NAME");
  EXPECT_EQ(GetUpper(buffer, 5), 4u);
  EXPECT_STREQ(buffer, "CUST");
}

TEST_F(ScannerSession, MissingFileAndUnderflowsEndTheRun) {
  open("       01 A.\n");
  EXPECT_THROW(BeginFile("/nonexistent/dir/MISSING.cpy"), FatalError);
  EXPECT_EQ(FileDepth(), 1); // the including file goes on
  EXPECT_THROW(yyPop(), FatalError);
  CloseFile();
  EXPECT_THROW(CloseFile(), FatalError);
  EXPECT_EQ(GetCount(xxFatal), 3);
  EXPECT_EQ(StoredMessages(),
            "Fatal       cannot open input file: Scanner\n"
            "Fatal       start stack underflow (too many calls of yyPop): Scanner\n"
            "Fatal       file stack underflow (too many calls of CloseFile): Scanner\n");
}

// The scanner: token listings as data (data/scanner/NAME.cbl and NAME.tokens,
// whose options line may say free, includes, replacing, pseudo, match; see
// tokens_support.h), and by hand the interfaces the COPY machinery uses.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "data_support.h"
#include "diagnostics/message_store.h"
#include "frontend/keywords.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "support/identifier_table.h"
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
    CloseSource_Hook() = nullptr;
    GetToken_Hook() = nullptr;
    stop_at_copy_end() = false;
  }
  std::string path;
};

int closes = 0;

} // namespace

TEST_F(ScannerSession, NestedFilesStackAndStopAtTheirEnd) {
  std::string copybook = WriteTempFile("       05 B.\n", "NESTED.cpy");
  open("       01 A.\n       01 C.\n");
  closes = 0;
  CloseSource_Hook() = [] { ++closes; };
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1");
  BeginFile(copybook.c_str());
  EXPECT_EQ(FileDepth(), 2);
  EXPECT_EQ(GetCStr(GetScanContext().File), copybook);
  EXPECT_EQ(next(), "1,8-9 level_number 05 =5");
  EXPECT_EQ(GetCStr(Attribute().Position.File), copybook);
  stop_at_copy_end() = true;
  EXPECT_EQ(next(), "1,11 name in area A B");
  EXPECT_EQ(next(), "1,12 .");
  EXPECT_EQ(GetToken(), tok::EndOfInput);
  EXPECT_EQ(FileDepth(), 1);
  stop_at_copy_end() = false;
  EXPECT_EQ(next(), "1,11 name in area A A"); // the main file resumes after its token
  EXPECT_EQ(GetCStr(Attribute().Position.File), path);
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

TEST_F(ScannerSession, GetTokenHookReplacesTheInnerScanner) {
  open("           05 cust_name.\n");
  GetToken_Hook() = [] {
    int terminal = Get_Token();
    return terminal == tok::level_number ? tok::Level77 : terminal;
  };
  EXPECT_EQ(TerminalName(GetToken()), std::string("77"));
  GetToken_Hook() = nullptr;
  EXPECT_EQ(TerminalName(GetToken()), std::string("name"));
  EXPECT_STREQ(GetCStr(Attribute().Word), "CUST-NAME");
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

namespace {

// The pieces a text scan is given, one per call of its `more`.
std::vector<std::string> pieces;

bool nextPiece(std::string &text) {
  if (pieces.empty())
    return false;
  text += pieces.front();
  pieces.erase(pieces.begin());
  return true;
}

std::string scanText(tPosition origin, std::vector<std::string> text) {
  pieces = std::move(text);
  BeginTextScan(origin, GetScanContext(), nextPiece);
  std::string listing;
  for (int guard = 0; guard < 40; ++guard) {
    int terminal = TextScanToken();
    listing += DescribeToken(terminal) + "\n";
    if (terminal == tok::EndOfInput)
      break;
  }
  EndTextScan();
  return listing;
}

} // namespace

// Text in memory is read from where its owner says it stands, in pieces as
// they come, a first line that begins in the middle without the rules of a
// line start; the file then goes on where it stood.
TEST_F(ScannerSession, TextScanReadsMemoryAndLeavesTheFileAsItWas) {
  open("       01 A.\n");
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1");
  EXPECT_EQ(scanText(tPosition{5, 20, NoIdent}, {"*B PIC", "\n       9(3).\n"}),
            "5,20 *\n5,21 name B\n5,23-25 PICTURE PIC\n6,8 level_number 9 =9\n6,9 (\n"
            "6,10 level_number 3 =3\n6,11 )\n6,12 end_of_picture\n6,12 .\n7,1 _EOF_\n");
  // At the start of a line the same "*" makes a comment line.
  EXPECT_EQ(scanText(tPosition{8, 1, NoIdent}, {"*B PIC\n"}), "9,1 _EOF_\n");
  EXPECT_FALSE(TextScanActive());
  EXPECT_EQ(next(), "1,11 name in area A A");
  EXPECT_EQ(GetCStr(Attribute().Position.File), path);
  EXPECT_EQ(next(), "1,12 .");
}

// What is open at the end of a text is closed there as at the end of a file:
// a literal is reported, a picture ends.
TEST_F(ScannerSession, TextScanClosesWhatIsOpenAtItsEnd) {
  open("       01 A.\n");
  const tIdent text = MakeIdent("TEXT");
  EXPECT_EQ(scanText(tPosition{3, 12, text}, {"PIC X"}),
            "3,12-14 PICTURE PIC\n3,16 name X\n3,16 end_of_picture\n3,16 _EOF_\n");
  EXPECT_EQ(scanText(tPosition{4, 12, text}, {"VALUE 'AB"}), "4,12-16 VALUE\n4,21 _EOF_\n");
  EXPECT_EQ(StoredMessages(), "\"TEXT\":   4, 18: Error       unclosed string\n");
}

// A file opened while a text is scanned is read first, with its own
// positions; the text goes on after it.
TEST_F(ScannerSession, FileOpenedDuringATextScanIsReadFirst) {
  std::string copybook = WriteTempFile("       05 B.\n", "INNER.cpy");
  open("       01 A.\n");
  pieces = {"X Y\n"};
  BeginTextScan(tPosition{2, 12, NoIdent}, GetScanContext(), nextPiece);
  EXPECT_EQ(DescribeToken(TextScanToken()), "2,12 name X");
  BeginFile(copybook.c_str());
  EXPECT_TRUE(TextScanInFile());
  EXPECT_EQ(DescribeToken(TextScanToken()), "1,8-9 level_number 05 =5");
  EXPECT_EQ(GetCStr(Attribute().Position.File), copybook);
  EXPECT_EQ(DescribeToken(TextScanToken()), "1,11 name B");
  EXPECT_EQ(DescribeToken(TextScanToken()), "1,12 .");
  EXPECT_EQ(DescribeToken(TextScanToken()), "2,14 name Y");
  EXPECT_FALSE(TextScanInFile());
  EXPECT_EQ(TextScanToken(), tok::EndOfInput);
  EndTextScan();
  EXPECT_EQ(FileDepth(), 1);
  EXPECT_EQ(next(), "1,8-9 level_number 01 =1");
}

// The mode taken between two terminals is how the next characters are read:
// taken after PIC and set again elsewhere, it reads a picture there.
TEST_F(ScannerSession, ScanModeTakenAfterPicReadsAPictureWhereItIsSet) {
  open("       05 A PIC X(2).\n       05 B 9(3).\n");
  const tScanMode rest = GetScanMode();
  EXPECT_TRUE(ScanModeAtRest(rest));
  next();
  next();
  EXPECT_EQ(next(), "1,13-15 PICTURE PIC");
  const tScanMode picture = GetScanMode();
  EXPECT_FALSE(ScanModeAtRest(picture));
  EXPECT_FALSE(picture == rest);
  SetScanMode(rest);
  EXPECT_EQ(next(), "1,17 name X");
  EXPECT_EQ(next(), "1,18 (");
  EXPECT_EQ(next(), "1,19 level_number 2 =2");
  EXPECT_EQ(next(), "1,20 )");
  EXPECT_EQ(next(), "1,21 .");
  next();
  next();
  SetScanMode(picture);
  EXPECT_EQ(next(), "2,13 level_number 9 =9");
  EXPECT_EQ(next(), "2,14 (");
  EXPECT_EQ(next(), "2,15 level_number 3 =3");
}

// DECIMAL-POINT IS COMMA: a comma between digits is the decimal point of one
// literal; before a blank it still separates, and a second one ends the
// literal. Off (as every new scan begins), the comma separates as it always
// did.
TEST_F(ScannerSession, DecimalPointCommaJoinsTheDigitsAroundIt) {
  const char *source = "       88 A VALUES 1,5 -2,25 3, 4 1,2,3.\n";
  open(source);
  DecimalPointComma() = true;
  std::vector<std::string> comma;
  for (int i = 0; i < 10; ++i)
    comma.push_back(next());
  EXPECT_EQ(comma[3], "1,20-22 real 1,5");
  EXPECT_EQ(comma[4], "1,24-28 real -2,25");
  EXPECT_EQ(comma[5], "1,30 level_number 3 =3");
  EXPECT_EQ(comma[6], "1,33 level_number 4 =4");
  EXPECT_EQ(comma[7], "1,35-37 real 1,2");
  EXPECT_EQ(comma[8], "1,39 level_number 3 =3");
  ResetScanner();

  open(source);
  std::vector<std::string> plain;
  for (int i = 0; i < 6; ++i)
    plain.push_back(next());
  EXPECT_EQ(plain[3], "1,20 unsigned_integer 1 =1");
  EXPECT_EQ(plain[4], "1,22 level_number 5 =5");
}

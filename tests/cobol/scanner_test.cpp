// Scanner behaviour as data: each case is a source text and the token
// listing (see tokens_support.h) that it must produce.
#include <gtest/gtest.h>

#include <stdexcept>

#include "cobol/Scanner.h"
#include "cobol/Source.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "reuse/rMemory.h"
#include "tokens_support.h"

namespace {

std::string tokensOf(const std::string &source, bool freeFormat = false) {
  ScanOptions options;
  options.freeFormat = freeFormat;
  return Scan(source, options).tokens;
}

// Fixed-format line: `text` starts in column 8 (area A).
std::string A(const std::string &text) { return "       " + text + "\n"; }

// A full fixed-format line: sequence number, indicator, program text padded
// to column 72, identification area.
std::string Full(const std::string &sequence, char indicator, const std::string &text,
                 const std::string &identification) {
  std::string line = sequence;
  line.resize(6, ' ');
  line += indicator;
  line += text;
  line.resize(72, ' ');
  return line + identification + "\n";
}

} // namespace

TEST(ScannerEntries, FixedFormatEntryWithPicture) {
  EXPECT_EQ(tokensOf(Full("000100", ' ', "    05  CUST-NAME   PIC X(30).", "CUST0001")),
            "1,12-13 level_number 05 =5\n"
            "1,16-24 name CUST-NAME\n"
            "1,28-30 PICTURE PIC\n"
            "1,32 name X\n"
            "1,33 (\n"
            "1,34-35 level_number 30 =30\n"
            "1,36 )\n"
            "1,37 end_of_picture\n"
            "1,37 .\n"
            "2,1 _EOF_\n");
}

TEST(ScannerEntries, NamesInAreaA) {
  // Columns 8 to 11 are area A; a level number there stays a level number,
  // an unsigned integer becomes a name.
  EXPECT_EQ(tokensOf(A("01 REC.") + A("    05 FIELD-A.") + A("FD-X 50.") + A("  100-A.")),
            "1,8-9 level_number 01 =1\n"
            "1,11-13 name in area A REC\n"
            "1,14 .\n"
            "2,12-13 level_number 05 =5\n"
            "2,15-21 name FIELD-A\n"
            "2,22 .\n"
            "3,8-11 name in area A FD-X\n"
            "3,13-14 unsigned_integer 50 =50\n"
            "3,15 .\n"
            "4,10-14 name in area A 100-A\n"
            "4,15 .\n"
            "5,1 _EOF_\n");
  EXPECT_EQ(tokensOf(A("50  100-200")),
            "1,8-9 name in area A 50\n"
            "1,12-18 paragraph_name 100-200\n"
            "2,1 _EOF_\n");
}

TEST(ScannerPictures, NumericPictures) {
  EXPECT_EQ(tokensOf(A("    05 A PIC 9(5)V99.")),
            "1,12-13 level_number 05 =5\n"
            "1,15 name A\n"
            "1,17-19 PICTURE PIC\n"
            "1,21 level_number 9 =9\n"
            "1,22 (\n"
            "1,23 level_number 5 =5\n"
            "1,24 )\n"
            "1,25-27 name V99\n"
            "1,28 end_of_picture\n"
            "1,28 .\n"
            "2,1 _EOF_\n");
  EXPECT_EQ(tokensOf(A("    05 B PICTURE IS 999.99.")),
            "1,12-13 level_number 05 =5\n"
            "1,15 name B\n"
            "1,17-23 PICTURE\n"
            "1,25-26 IS\n"
            "1,28-33 real 999.99\n"
            "1,34 end_of_picture\n"
            "1,34 .\n"
            "2,1 _EOF_\n");
  EXPECT_EQ(tokensOf(A("    05 C PIC S9(4) COMP-3.")),
            "1,12-13 level_number 05 =5\n"
            "1,15 name C\n"
            "1,17-19 PICTURE PIC\n"
            "1,21-22 name S9\n"
            "1,23 (\n"
            "1,24 level_number 4 =4\n"
            "1,25 )\n"
            "1,26 end_of_picture\n"
            "1,27-32 COMPUTATIONAL-3 COMP-3\n"
            "1,33 .\n"
            "2,1 _EOF_\n");
}

TEST(ScannerPictures, EditedPictures) {
  EXPECT_EQ(tokensOf(A("    05 D PIC ZZ.ZZ.")),
            "1,12-13 level_number 05 =5\n"
            "1,15 name D\n"
            "1,17-19 PICTURE PIC\n"
            "1,21-22 name ZZ\n"
            "1,23 picture_dot\n"
            "1,24-25 name ZZ\n"
            "1,26 end_of_picture\n"
            "1,26 .\n"
            "2,1 _EOF_\n");
  // The comma is a terminal only inside the picture string; the one after it
  // separates like a blank.
  EXPECT_EQ(tokensOf(A("    05 E PIC -ZZ,ZZ9.99CR, VALUE 1,5.")),
            "1,12-13 level_number 05 =5\n"
            "1,15 name E\n"
            "1,17-19 PICTURE PIC\n"
            "1,21 -\n"
            "1,22-23 name ZZ\n"
            "1,24 ,\n"
            "1,25-27 name ZZ9\n"
            "1,28-30 real .99\n"
            "1,31-32 name CR\n"
            "1,33 end_of_picture\n"
            "1,35-39 VALUE\n"
            "1,41 unsigned_integer 1 =1\n"
            "1,43 level_number 5 =5\n"
            "1,44 .\n"
            "2,1 _EOF_\n");
  // A picture string ends at the line end; $ runs are words.
  EXPECT_EQ(tokensOf(A("    05 F PIC") + A("        $$,$$9.99+") + A("        VALUE ZERO.")),
            "1,12-13 level_number 05 =5\n"
            "1,15 name F\n"
            "1,17-19 PICTURE PIC\n"
            "2,16-17 name $$\n"
            "2,18 ,\n"
            "2,19-21 name $$9\n"
            "2,22-24 real .99\n"
            "2,25 +\n"
            "2,26 end_of_picture\n"
            "3,16-20 VALUE\n"
            "3,22-25 ZERO\n"
            "3,26 .\n"
            "4,1 _EOF_\n");
}

TEST(ScannerNumbers, LevelNumbersAndIntegers) {
  EXPECT_EQ(tokensOf(A("    49 A OCCURS 1 TO 50 49 0 007 66 77 78 88 880.")),
            "1,12-13 level_number 49 =49\n"
            "1,15 name A\n"
            "1,17-22 OCCURS\n"
            "1,24 level_number 1 =1\n"
            "1,26-27 TO\n"
            "1,29-30 unsigned_integer 50 =50\n"
            "1,32-33 level_number 49 =49\n"
            "1,35 unsigned_integer 0 =0\n"
            "1,37-39 level_number 007 =7\n"
            "1,41-42 66 66\n"
            "1,44-45 77 77\n"
            "1,47-48 78 78\n"
            "1,50-51 88 88\n"
            "1,53-55 unsigned_integer 880 =880\n"
            "1,56 .\n"
            "2,1 _EOF_\n");
}

TEST(ScannerNumbers, PointsAndCommasOutsidePictures) {
  EXPECT_EQ(tokensOf(A("    VALUE 1.5 1,5 12,345 +12 -3 -1.5E3 .5 -,5 1.")),
            "1,12-16 VALUE\n"
            "1,18-20 real 1.5\n"
            "1,22 unsigned_integer 1 =1\n"
            "1,24 level_number 5 =5\n"
            "1,26-27 unsigned_integer 12 =12\n"
            "1,29-31 unsigned_integer 345 =345\n"
            "1,33-35 plus_integer +12 =12\n"
            "1,37-38 minus_integer -3 =-3\n"
            "1,40-45 real -1.5E3\n"
            "1,47-48 real .5\n"
            "1,50 -\n"
            "1,52 level_number 5 =5\n"
            "1,54 level_number 1 =1\n"
            "1,55 .\n"
            "2,1 _EOF_\n");
}

TEST(ScannerNumbers, MalformedRealIsReportedAndStillReal) {
  ScanListing listing = Scan(A("    VALUE 1.2.3."));
  EXPECT_EQ(listing.tokens, "1,12-16 VALUE\n"
                            "1,18-22 real 1.2.3\n"
                            "1,23 .\n"
                            "2,1 _EOF_\n");
  EXPECT_EQ(listing.messages, "\"T.cpy\":   1, 18: Error       error in real number: 1.2.3\n");
}

TEST(ScannerLiterals, DelimitersAndPrefixes) {
  EXPECT_EQ(tokensOf(A("    VALUE 'IT''S' \"SAY \"\"HI\"\"\" 'A\"B' X'0A0B' N'AB' G\"XY\" Z'Z' ''.")),
            "1,12-16 VALUE\n"
            "1,18-24 string 'IT''S'\n"
            "1,26-37 string \"SAY \"\"HI\"\"\"\n"
            "1,39-43 string 'A\"B'\n"
            "1,45-51 string X'0A0B'\n"
            "1,53-57 string N'AB'\n"
            "1,59-63 string G\"XY\"\n"
            "1,65-68 string Z'Z'\n"
            "1,70-71 string ''\n"
            "1,72 .\n"
            "2,1 _EOF_\n");
}

TEST(ScannerLiterals, LiteralReachingColumn72ContinuesOnHyphenLine) {
  // Columns 73-80 are cut; the literal resumes after the quote of the
  // continuation line.
  std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZ!";
  std::string first = Full("000010", ' ', "05 A VALUE '" + letters, "SEQ00010");
  ASSERT_EQ(first.substr(70, 3), "Z!S"); // the literal fills column 72
  EXPECT_EQ(tokensOf(first + "      -    'MORE'.\n"),
            "1,8-9 level_number 05 =5\n"
            "1,11 name in area A A\n"
            "1,13-17 VALUE\n"
            "1,19-2,17 string '" + letters + "MORE'\n"
            "2,18 .\n"
            "3,1 _EOF_\n");
  // A shorter line counts as if blank up to column 72.
  EXPECT_EQ(tokensOf(A("    VALUE \"AB") + "      -    \"CD\".\n"),
            "1,12-16 VALUE\n"
            "1,18-2,15 string \"AB" + std::string(52, ' ') + "CD\"\n"
            "2,16 .\n"
            "3,1 _EOF_\n");
}

TEST(ScannerLiterals, OpenLiteralErrors) {
  ScanListing missing = Scan(A("    VALUE 'ABC") + A("    05 B."));
  EXPECT_EQ(missing.tokens, "1,12-16 VALUE\n"
                            "1,18-21 string 'ABC" + std::string(51, ' ') + "\n"
                            "2,12-13 level_number 05 =5\n"
                            "2,15 name B\n"
                            "2,16 .\n"
                            "3,1 _EOF_\n");
  EXPECT_EQ(missing.messages, "\"T.cpy\":   1, 18: Error       continuation of string expected\n");

  ScanListing unclosed = Scan(A("    VALUE 'ABC"));
  EXPECT_EQ(unclosed.tokens, "1,12-16 VALUE\n"
                             "2,1 _EOF_\n");
  EXPECT_EQ(unclosed.messages, "\"T.cpy\":   1, 18: Error       unclosed string\n");
}

TEST(ScannerContinuation, WordsAndNumbersContinueOnHyphenLine) {
  std::string longName = "CUSTOMER-ADDRESS-LINE-WITH-A-LONG-NAME-THAT-REACHES-COLUMN-SEV";
  std::string first = Full("", ' ', "05 " + longName, "");
  ASSERT_EQ(first.substr(69, 4), "SEV\n"); // the name ends in column 72
  EXPECT_EQ(tokensOf(first + "      -    ENTY-TWO PIC X.\n"),
            "1,8-9 level_number 05 =5\n"
            "1,11-2,19 name in area A " + longName + "ENTY-TWO\n"
            "2,21-23 PICTURE PIC\n"
            "2,25 name X\n"
            "2,26 end_of_picture\n"
            "2,26 .\n"
            "3,1 _EOF_\n");
  std::string digits = Full("", ' ', "    VALUE 12" + std::string(53, '3'), "");
  ASSERT_EQ(digits.size(), 73u);
  EXPECT_EQ(tokensOf(digits + "      -    4.25.\n"),
            "1,12-16 VALUE\n"
            "1,18-2,15 real 12" + std::string(53, '3') + "4.25\n"
            "2,16 .\n"
            "3,1 _EOF_\n");
}

TEST(ScannerComments, CommentLinesNoteAndInlineComments) {
  ScanListing listing =
      Scan("000010* first comment\n" + A("01 A.") + "000030/ new page\n" + A("01 B. *> trailing") +
           A("NOTE the note runs") + A("     up to its period. 01 C."));
  EXPECT_EQ(listing.tokens, "2,8-9 level_number 01 =1\n"
                            "2,11 name in area A A\n"
                            "2,12 .\n"
                            "4,8-9 level_number 01 =1\n"
                            "4,11 name in area A B\n"
                            "4,12 .\n"
                            "6,31-32 level_number 01 =1\n"
                            "6,34 name C\n"
                            "6,35 .\n"
                            "7,1 _EOF_\n");
  EXPECT_EQ(listing.comments, "1: * first comment\n"
                              "3: / new page\n"
                              "4:  trailing\n"
                              "5:  the note runs\n"
                              "6:             up to its period\n");
}

TEST(ScannerComments, DirectivesAndListingControlAreSkipped) {
  EXPECT_EQ(tokensOf("       PROCESS NOSEQ\n      $SET SOURCEFORMAT\n" + A("TITLE 'X' 01 Y.") +
                     A("EJECT SKIP1 SKIP2 SKIP3 01 Z.")),
            "4,32-33 level_number 01 =1\n"
            "4,35 name Z\n"
            "4,36 .\n"
            "5,1 _EOF_\n");
}

TEST(ScannerExec, BlockOverThreeLines) {
  EXPECT_EQ(tokensOf(A("EXEC SQL") + A("    INCLUDE SQLCA") + A("END-EXEC.")),
            "1,8-3,15 EXECUTE SQL [%1,16%|\n|           INCLUDE SQLCA\n|       ]\n"
            "3,16 .\n"
            "4,1 _EOF_\n");
  ScanListing unclosed = Scan(A("01 A.") + A("EXEC CICS") + A("   SEND"));
  EXPECT_EQ(unclosed.tokens, "1,8-9 level_number 01 =1\n"
                             "1,11 name in area A A\n"
                             "1,12 .\n"
                             "4,1 _EOF_\n");
  EXPECT_EQ(unclosed.messages, "\"T.cpy\":   2,  8: Error       unclosed EXEC\n");
}

TEST(ScannerKeywords, SpellingsSynonymsAndNonReservedWords) {
  EXPECT_EQ(tokensOf(A("working_storage Section.") + A("    05 pic x. 05 Pic X.") +
                     A("    COMPUTATIONAL-3 comp-3 CORR OTHERWISE INCLUDE .")),
            "1,8-22 WORKING-STORAGE (working_storage)\n"
            "1,24-30 SECTION (Section)\n"
            "1,31 .\n"
            "2,12-13 level_number 05 =5\n"
            "2,15-17 PICTURE PIC (pic)\n"
            "2,19 name X (x)\n"
            "2,20 end_of_picture\n"
            "2,20 .\n"
            "2,22-23 level_number 05 =5\n"
            "2,25-27 PICTURE PIC (Pic)\n"
            "2,29 name X\n"
            "2,30 end_of_picture\n"
            "2,30 .\n"
            "3,12-26 COMPUTATIONAL-3\n"
            "3,28-33 COMPUTATIONAL-3 COMP-3 (comp-3)\n"
            "3,35-38 name CORR\n"
            "3,40-48 name OTHERWISE\n"
            "3,50-56 COPY INCLUDE\n"
            "3,58 .\n"
            "4,1 _EOF_\n");
}

TEST(ScannerFormats, FreeFormatTabsAndAreaA) {
  EXPECT_EQ(tokensOf("01 REC.\n\t05 A PIC X.\n  05 B.\nD 05 DEBUG.\n*> note\n", true),
            "1,1-2 level_number 01 =1\n"
            "1,4-6 name in area A REC\n"
            "1,7 .\n"
            "2,9-10 level_number 05 =5\n"
            "2,12 name A\n"
            "2,14-16 PICTURE PIC\n"
            "2,18 name X\n"
            "2,19 end_of_picture\n"
            "2,19 .\n"
            "3,3-4 level_number 05 =5\n"
            "3,6 name B\n"
            "3,7 .\n"
            "6,1 _EOF_\n");
  // In fixed format a tab advances to the next multiple of 8 as well, but
  // area A keeps its columns.
  EXPECT_EQ(tokensOf("\t01 A.\n"), "1,9-10 level_number 01 =1\n"
                                   "1,12 name A\n"
                                   "1,13 .\n"
                                   "2,1 _EOF_\n");
}

TEST(ScannerFormats, CarriageReturnLineEnds) {
  EXPECT_EQ(tokensOf("       01 A.\r\n      * note\r\n           05 B VALUE 'X\r\n      -    'Y'.\r\n"),
            "1,8-9 level_number 01 =1\n"
            "1,11 name in area A A\n"
            "1,12 .\n"
            "3,12-13 level_number 05 =5\n"
            "3,15 name B\n"
            "3,17-21 VALUE\n"
            "3,23-4,14 string 'X" + std::string(48, ' ') + "Y'\n"
            "4,15 .\n"
            "5,1 _EOF_\n");
}

TEST(ScannerCharacters, IllegalCharacters) {
  ScanListing listing = Scan(A("    05 A # \x01 \xe9 \t@."));
  EXPECT_EQ(listing.tokens, "1,12-13 level_number 05 =5\n"
                            "1,15 name A\n"
                            "1,17 illegal_character #\n"
                            "1,25 illegal_character @\n"
                            "1,26 .\n"
                            "2,1 _EOF_\n");
  EXPECT_EQ(listing.messages, "\"T.cpy\":   1, 19: Error       illegal character: \\01\n"
                              "\"T.cpy\":   1, 21: Error       illegal character: \\e9\n");
}

TEST(ScannerCharacters, Operators) {
  EXPECT_EQ(tokensOf(A("    = < > ( ) + <> >= <= - : & ** * / == ; ,")),
            "1,12 =\n1,14 <\n1,16 >\n1,18 (\n1,20 )\n1,22 +\n1,24-25 <>\n1,27-28 >=\n"
            "1,30-31 <=\n1,33 -\n1,35 :\n1,37 &\n1,39-40 **\n1,42 *\n1,44 /\n1,46-47 ==\n"
            "2,1 _EOF_\n");
}

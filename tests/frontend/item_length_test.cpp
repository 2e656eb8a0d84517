// Storage lengths for LENGTH OF in constants (-lenient), against the lengths
// GnuCOBOL gives the same items in IBM's dialect, and the items whose length
// the front end must not guess.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/item_length.h"
#include "parse_support.h"
#include "tests/cobc_support.h"

namespace {

using ItemLengths = ParseTest;

// Items whose lengths GnuCOBOL -std=ibm gives as IBM does (no pointers:
// GnuCOBOL on a 64-bit host stores 8 bytes).
const char *const items = "       01  REC.\n"
                          "           05  TXT         PIC X(10).\n"
                          "           05  ZON         PIC S9(5)V99.\n"
                          "           05  SEP         PIC S9(3) SIGN LEADING SEPARATE.\n"
                          "           05  BIN4        PIC S9(4) COMP.\n"
                          "           05  BIN9        PIC 9(9) BINARY.\n"
                          "           05  BIN18       PIC S9(18) COMP-5.\n"
                          "           05  PACKED      PIC S9(7)V99 COMP-3.\n"
                          "           05  EDITED      PIC ZZ,ZZ9.99CR.\n"
                          "           05  FLT         COMP-1.\n"
                          "           05  DBL         COMP-2.\n"
                          "           05  OVER REDEFINES DBL PIC X(8).\n"
                          "           05  TBL OCCURS 3 TIMES.\n"
                          "               10  CELL    PIC X(2).\n"
                          "               10  CNT     PIC 9(3) COMP-3.\n"
                          "           05  NUMS COMP.\n"
                          "               10  N1      PIC 9(2).\n"
                          "               10  N2      PIC 9(6).\n"
                          "       01  OTHER-REC       PIC X(7).\n";

const std::vector<std::string> names = {"REC",   "TXT",    "ZON",    "SEP", "BIN4", "BIN9",
                                        "BIN18", "PACKED", "EDITED", "FLT", "DBL",  "OVER",
                                        "TBL",   "CELL",   "NUMS",   "N1",  "N2",   "OTHER-REC"};

TEST_F(ItemLengths, AgreeWithGnuCobolInIbmsDialect) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  std::string program = "       IDENTIFICATION DIVISION.\n"
                        "       PROGRAM-ID. LENGTHS.\n"
                        "       DATA DIVISION.\n"
                        "       WORKING-STORAGE SECTION.\n";
  program += items;
  program += "       PROCEDURE DIVISION.\n";
  for (const std::string &name : names)
    program += "           DISPLAY FUNCTION BYTE-LENGTH(" + name +
               (name == "CELL" ? std::string("(1)") : std::string()) + ").\n";
  program += "           GOBACK.\n";
  CobcScratch dir;
  const std::vector<std::string> printed = RunCobol(dir, "lengths", program, "-std=ibm");
  ASSERT_EQ(printed.size(), names.size());

  const ParseResult parsed = ParseCopybook(items, {}, true);
  ASSERT_EQ(parsed.syntaxErrors, 0);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const tree::decl *entry = DeclOf(names[i].c_str());
    ASSERT_NE(entry, nullptr);
    long length = -1;
    ASSERT_TRUE(ItemLength(*entry, length));
    EXPECT_EQ(length, std::stol(printed[i]));
  }
}

TEST_F(ItemLengths, UnknownWhereTheFrontEndCannotTell) {
  const ParseResult parsed = ParseCopybook("       01  REC.\n"
                                           "           05  ALIGNED  PIC S9(4) COMP SYNC.\n"
                                           "           05  SIZED    PIC 9(5) COMP-X.\n"
                                           "           05  NOPIC.\n"
                                           "           05  CNT      PIC 9.\n"
                                           "           05  ROWS OCCURS 1 TO UNBOUNDED\n"
                                           "                    DEPENDING ON CNT PIC X.\n",
                                           {}, true);
  ASSERT_EQ(parsed.syntaxErrors, 0);
  long length = -1;
  for (const char *name : {"ALIGNED", "SIZED", "NOPIC", "REC"}) {
    SCOPED_TRACE(name);
    ASSERT_NE(DeclOf(name), nullptr);
    EXPECT_FALSE(ItemLength(*DeclOf(name), length));
  }
  // One occurrence of the unbounded table is known.
  EXPECT_TRUE(ItemLength(*DeclOf("ROWS"), length));
  EXPECT_EQ(length, 1);
}

} // namespace

// Compares packed/zoned images with what the installed GnuCOBOL compiler stores.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "converter/packed_zoned.h"
#include "tests/cobc_support.h"

// Compares the encoder's images with the storage that the installed GnuCOBOL
// compiler gives the same value in a field of the same picture. GnuCOBOL runs
// on ASCII, so zoned fields are checked with ASCII zones; the EBCDIC zones are
// pinned by the byte tests of decimal_test.cpp. P scaling is compared on
// zoned fields only: GnuCOBOL 3.1 stores P-scaled COMP-3 fields wrongly (its
// own VALUE 1200 in S99PP COMP-3 displays as "+<200").

namespace {

namespace fs = std::filesystem;

struct CrossCase {
  const char *picture;
  const char *clauses; // USAGE and SIGN as written in the program
  const char *value;
  TpzCblDecimal::Type type;
  TpzCblDecimal::Sign sign;
};

const CrossCase crossCases[] = {
    {"S9(3)V99", "COMP-3", "123.45", TpzCblDecimal::TypePacked, TpzCblDecimal::SignDefault},
    {"S9(3)V99", "COMP-3", "-1.5", TpzCblDecimal::TypePacked, TpzCblDecimal::SignDefault},
    {"S9(3)V99", "COMP-3", "1.005", TpzCblDecimal::TypePacked, TpzCblDecimal::SignDefault},
    {"S9(3)V99", "COMP-3", "-1.005", TpzCblDecimal::TypePacked, TpzCblDecimal::SignDefault},
    {"S9(4)", "COMP-3", "12", TpzCblDecimal::TypePacked, TpzCblDecimal::SignDefault},
    {"S9(7)", "COMP-3", "-1234567", TpzCblDecimal::TypePacked, TpzCblDecimal::SignDefault},
    {"S999", "", "-12", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignDefault},
    {"S999", "", "345", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignDefault},
    {"S99", "SIGN LEADING", "-5", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignLeading},
    {"S999", "SIGN LEADING SEPARATE", "-12", TpzCblDecimal::TypeZoned,
     TpzCblDecimal::SignLeadingSeparate},
    {"S999", "SIGN TRAILING SEPARATE", "12", TpzCblDecimal::TypeZoned,
     TpzCblDecimal::SignTrailingSeparate},
    {"S9V99", "", "-1.5", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignDefault},
    {"9(3)", "", "7", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignDefault},
    {"S99PP", "", "-1250", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignDefault},
    {"SPP99", "", "0.00125", TpzCblDecimal::TypeZoned, TpzCblDecimal::SignDefault},
};

// An unsigned packed field: GnuCOBOL writes the sign nibble F, this encoder
// writes C as for signed fields. Deliberate: the converter's packed defaults
// have always carried C, and readers of the images accept both.
const CrossCase unsignedPacked = {"9(3)", "COMP-3", "42", TpzCblDecimal::TypePacked,
                                  TpzCblDecimal::SignDefault};

std::string toHex(const std::string &image) {
  static const char digits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char byte : image) {
    hex += digits[byte >> 4];
    hex += digits[byte & 0x0F];
  }
  return hex;
}

std::string encoded(const CrossCase &c) {
  TpzCblDecimal decimal(c.type, c.sign, 0, 0, 0);
  decimal.setEncoding(TpzCblDecimal::EncodingAscii);
  std::string image;
  TpzErrorCode rc = decimal.setPattern(c.picture);
  if (rc.isSuccess())
    rc = decimal.validate();
  if (rc.isSuccess())
    rc = decimal.convertToCobol(c.value, image);
  EXPECT_TRUE(rc.isSuccess()) << c.picture << " " << c.value << ": " << rc.getString();
  return toHex(image);
}

// A fixed-format program that stores every case's value with COMPUTE
// ROUNDED (half away from zero, the encoder's rounding) and displays the
// field's bytes in hex, one line per case.
std::string program(const std::vector<CrossCase> &cases) {
  std::ostringstream cob;
  cob << "       IDENTIFICATION DIVISION.\n"
         "       PROGRAM-ID. XCHECK.\n"
         "       DATA DIVISION.\n"
         "       WORKING-STORAGE SECTION.\n"
         "       01 HEXDIGITS PIC X(16) VALUE \"0123456789ABCDEF\".\n"
         "       01 BYTEVAL PIC 999.\n"
         "       01 HI PIC 99.\n"
         "       01 LO PIC 99.\n"
         "       01 IX PIC 99.\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    cob << "       01 F" << i << " PIC " << cases[i].picture;
    if (*cases[i].clauses)
      cob << "\n           " << cases[i].clauses;
    cob << ".\n       01 X" << i << " REDEFINES F" << i << " PIC X(" << encoded(cases[i]).size() / 2
        << ").\n";
  }
  cob << "       PROCEDURE DIVISION.\n";
  for (std::size_t i = 0; i < cases.size(); ++i) {
    cob << "           COMPUTE F" << i << " ROUNDED = " << cases[i].value << "\n"
        << "           PERFORM VARYING IX FROM 1 BY 1 UNTIL IX > " << encoded(cases[i]).size() / 2
        << "\n"
        << "             COMPUTE BYTEVAL = FUNCTION ORD(X" << i << "(IX:1)) - 1\n"
        << "             DIVIDE BYTEVAL BY 16 GIVING HI REMAINDER LO\n"
        << "             DISPLAY HEXDIGITS(HI + 1:1) HEXDIGITS(LO + 1:1)\n"
        << "               WITH NO ADVANCING\n"
        << "           END-PERFORM\n"
        << "           DISPLAY \" \"\n";
  }
  cob << "           STOP RUN.\n";
  return cob.str();
}

TEST(DecimalCobcCrossCheck, ImagesMatchGnuCobol) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  CobcScratch dir;
  ASSERT_FALSE(dir.path().empty());

  std::vector<CrossCase> cases(std::begin(crossCases), std::end(crossCases));
  cases.push_back(unsignedPacked);
  const std::vector<std::string> lines = RunCobol(dir, "xcheck", program(cases), "");
  ASSERT_EQ(lines.size(), cases.size());

  for (std::size_t i = 0; i + 1 < cases.size(); ++i)
    EXPECT_EQ(encoded(cases[i]), lines[i])
        << "PIC " << cases[i].picture << " " << cases[i].clauses << " VALUE " << cases[i].value;

  const std::string ours = encoded(unsignedPacked);
  const std::string theirs = lines.back();
  ASSERT_EQ(ours.size(), theirs.size());
  EXPECT_EQ(ours.substr(0, ours.size() - 1), theirs.substr(0, theirs.size() - 1));
  EXPECT_EQ(ours.back(), 'C');
  EXPECT_EQ(theirs.back(), 'F');
}

} // namespace

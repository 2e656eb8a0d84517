// The keyword table: identifier numbering, terminal numbering, synonyms,
// words without a terminal and the replacing dialect.
#include <gtest/gtest.h>

#include <string>

#include "cobol/keywords.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "reuse/rMemory.h"

namespace {

class KeywordTable : public ::testing::Test {
protected:
  void SetUp() override {
    InitrMemory();
    InitStringMemory();
    InitIdents();
    init_keywords("vexfcbl");
  }
  void TearDown() override { dialect = StandardDialect; }
  static int token(const char *word) { return KeywordToken(MakeIdent(word)); }
};

} // namespace

TEST_F(KeywordTable, KeywordsTakeTheLowestIdentifiersInOrderOfEntry) {
  tIdent access = MakeIdent("ACCESS");
  EXPECT_EQ(MakeIdent("ACCESSIBILITY"), access + 1);
  EXPECT_EQ(MakeIdent("TITLE"), access + 304); // the 305th and last entry
  EXPECT_EQ(max_keyword, static_cast<std::int32_t>(MakeIdent("TITLE")));
  // A word made after the table is never a keyword.
  tIdent user = MakeIdent("CUST-REC");
  EXPECT_GT(static_cast<std::int64_t>(user), max_keyword);
  EXPECT_EQ(KeywordToken(user), 0);
  EXPECT_FALSE(IsReserved(user));
}

TEST_F(KeywordTable, TerminalsAreNumberedAlphabeticallyFrom14) {
  EXPECT_EQ(token("ACCESS"), 14);
  EXPECT_EQ(token("ACCESSIBILITY"), 15);
  EXPECT_EQ(token("ZEROS"), 281);
  EXPECT_EQ(token("ZERO-FILL"), 280);
  // BACKGROUND-COLOUR has no terminal of its own, so BEEP follows COLOR.
  EXPECT_EQ(token("BEEP"), token("BACKGROUND-COLOR") + 1);
  // COMP ... COMP-X take no codes: COMPUTATIONAL follows COMMUNICATION.
  EXPECT_EQ(token("COMPUTATIONAL"), token("COMMUNICATION") + 1);
  EXPECT_EQ(std::string(TerminalName(token("PICTURE"))), "PICTURE");
  EXPECT_EQ(std::string(TerminalName(token("WORKING-STORAGE"))), "WORKING-STORAGE");
}

TEST_F(KeywordTable, SynonymsYieldTheTerminalOfTheirWord) {
  EXPECT_EQ(token("COMP-3"), token("COMPUTATIONAL-3"));
  EXPECT_EQ(token("COMP"), token("COMPUTATIONAL"));
  EXPECT_EQ(token("PIC"), token("PICTURE"));
  EXPECT_EQ(token("THRU"), token("THROUGH"));
  EXPECT_EQ(token("ZEROES"), token("ZEROS"));
  EXPECT_EQ(token("DE"), token("DETAIL"));
  EXPECT_EQ(token("SPACES"), token("SPACE"));
  EXPECT_NE(token("ZERO"), token("ZEROS"));
  EXPECT_GT(token("COMP-3"), 0);
}

TEST_F(KeywordTable, WordsWithoutTerminalAreReservedButScannedAsNames) {
  for (const char *word : {"CORR", "EOP", "EXEC", "OTHERWISE", "TIMEOUT", "UNIT", "NOTE", "EJECT",
                           "SKIP1", "SKIP2", "SKIP3", "TITLE"}) {
    EXPECT_EQ(token(word), 0) << word;
    EXPECT_TRUE(IsReserved(MakeIdent(word))) << word;
  }
}

TEST_F(KeywordTable, ReplacingDialectKeepsEightWords) {
  dialect = ReplacingDialect;
  for (const char *word : {"ALL", "BY", "FUNCTION", "IN", "LEADING", "LENGTH", "OF", "TRAILING"})
    EXPECT_GT(token(word), 0) << word;
  for (const char *word : {"VALUE", "PICTURE", "PIC", "COPY", "REPLACING", "OCCURS"})
    EXPECT_EQ(token(word), 0) << word;
  EXPECT_FALSE(IsReserved(MakeIdent("NOTE")));
  dialect = StandardDialect;
  EXPECT_GT(token("VALUE"), 0);
}

TEST_F(KeywordTable, PrintableNames) {
  EXPECT_EQ(std::string(TerminalName(0)), "_EOF_");
  EXPECT_EQ(std::string(TerminalName(12)), ".");
  EXPECT_EQ(std::string(TerminalName(288)), "<>");
  EXPECT_EQ(std::string(TerminalName(304)), "name in area A");
  EXPECT_EQ(std::string(TerminalName(307)), "PREC_HIGH");
  EXPECT_EQ(std::string(TerminalName(308)), "_unknown_");
  EXPECT_EQ(std::string(TerminalName(-1)), "_unknown_");
}

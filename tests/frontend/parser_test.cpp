// The parser with declaration and resolution: data/parser/NAME.cbl parsed as
// a copybook (with the copybooks of NAME/ beside it) must give NAME.parse:
// the syntax-error count, the messages, the declaration table and, with the
// option "tree", the syntax tree (see parse_support.h for the formats). The
// option "program" parses it as a program file (-program), "files" as a
// copybook that may hold file descriptions, "lenient" as -lenient does.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "data_support.h"
#include "frontend/front_end.h"
#include "frontend/keywords.h"
#include "frontend/parser.h"
#include "parse_support.h"

namespace {

using ParserCases = ParseTest;

TEST_F(ParserCases, EveryCaseGivesItsTreeAndMessages) {
  const auto cases = DataCases("parser", ".cbl", ".parse");
  ASSERT_GE(cases.size(), 30u);
  for (const DataCase &c : cases) {
    SCOPED_TRACE(c.name);
    FrontEndOptions options;
    options.program = c.options.count("program") != 0;
    options.fileDescriptions = c.options.count("files") != 0;
    options.lenient = c.options.count("lenient") != 0;
    const ParseResult r = options.program || options.fileDescriptions
                              ? ParseWith(c.input, options)
                              : ParseCopybook(c.input, c.files, options.lenient);
    std::string actual = "syntax errors: " + std::to_string(r.syntaxErrors) + "\n";
    if (!r.messages.empty())
      actual += "-- messages\n" + r.messages;
    actual += "-- declarations\n" + DumpDeclarations();
    if (c.options.count("tree") != 0)
      actual += "-- tree\n" + DumpTree(r.root);
    ExpectCase(c, actual);
  }
}

TEST(ParserTokens, EveryTerminalHasTheKeywordTablesName) {
  for (int code = -1; code <= MaxTerminal + 1; ++code)
    EXPECT_STREQ(yyGetTokenName(code), TerminalName(code)) << "terminal " << code;
}

TEST_F(ParserCases, EveryBrokenEntryOfALongCopybookIsReported) {
  std::string source = "01 R.\n";
  for (int i = 0; i < 40; ++i) {
    source += "   05 A" + std::to_string(i) + " PIC X.\n";
    source += "   05 B" + std::to_string(i) + " PIC X VALUE 1 2.\n";
    source += "   05 C" + std::to_string(i) + " XX.\n";
  }
  const ParseResult r = ParseCopybook(Fixed(source));
  EXPECT_EQ(r.syntaxErrors, 80);
  EXPECT_EQ(std::count(r.messages.begin(), r.messages.end(), '\n'), 80);
  // Entries after the broken ones are still declared.
  ASSERT_NE(EntryOf("A39"), nullptr);
  EXPECT_EQ(EntryOf("C39")->level_number, 5);
}

// -lenient changes only what uses a dialect form: a copybook without any,
// broken entries and their recovery included, parses to the same messages
// and declarations.
TEST_F(ParserCases, LenientReadsACopybookWithoutDialectFormsAsTheDefaultDoes) {
  const std::string source = Fixed("01 R.\n"
                                   "   05 A PIC X(4) VALUE 'AB'.\n"
                                   "   05 B PIC X VALUE 1 2.\n"
                                   "   05 C XX.\n"
                                   "   05 D OCCURS 12 TIMES PIC 9.\n"
                                   "   05 E REDEFINES D PIC X(12).\n"
                                   "   05 G.\n"
                                   "      88 G-ON VALUE 'Y'.\n"
                                   "      10 H PIC X.\n"
                                   "77 K PIC S9(4) COMP VALUE -1.\n");
  const ParseResult strict = ParseCopybook(source);
  const std::string strictDeclarations = DumpDeclarations();
  const ParseResult lenient = ParseCopybook(source, {}, true);
  EXPECT_EQ(lenient.syntaxErrors, strict.syntaxErrors);
  EXPECT_EQ(lenient.messages, strict.messages);
  EXPECT_EQ(DumpDeclarations(), strictDeclarations);
  EXPECT_EQ(strict.syntaxErrors, 2);
}

} // namespace

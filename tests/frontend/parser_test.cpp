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

namespace {

// The names of a section's entry list as it hangs in the tree, in list order:
// an entry's name, "(COPY)" for a COPY statement between entries, with the
// entries a COPY inside an entry brought in bracketed after it.
std::string EntryNames(tTree list) {
  std::string names;
  for (tTree node = list; is<tree::data_description_entry>(node); node = *Tree_Next(node)) {
    if (!names.empty())
      names += ' ';
    if (auto *copy = as_if<tree::format_copy>(node))
      names += GetCStr(copy->name) + ("[" + EntryNames(copy->data_description_entry_l) + "]");
    else if (auto *format = as_if<tree::format>(node))
      names += GetCStr(format->name);
    else
      names += "(COPY)";
  }
  return names;
}

// Each section's entries are listed in the order they are written, whatever
// else the section holds: words that begin no entry (which leave no node)
// first, in the middle and last, broken entries, a COPY statement between
// entries (its entries follow it), a COPY inside an entry (its entries below
// it); in a program, a section of one entry and an empty one, whose lists do
// not mix.
TEST_F(ParserCases, EntryListsKeepTheirSourceOrder) {
  const ParseResult copybook =
      ParseCopybook(Fixed("XX.\n"
                          "01 W0 XX.\n"
                          "01 W1 PIC X.\n"
                          "01 W2.\n"
                          "   05 W3 PIC X XX.\n"
                          "   XX.\n"
                          "   05 W4 PIC 9.\n"
                          "COPY INNER.\n"
                          "01 W5 COPY INNER.\n"
                          "77 W6 PIC X.\n"
                          "01 W7 PIC X XX.\n"
                          "XX.\n"),
                    {{"INNER.cpy", Fixed("   05 I1 PIC X.\n   05 I2 PIC X.\n")}});
  ASSERT_NE(copybook.root, nullptr);
  EXPECT_EQ(EntryNames(copybook.root->working_storage_section),
            "W0 W1 W2 W3 W4 (COPY) I1 I2 W5[I1 I2] W6 W7");

  FrontEndOptions options;
  options.program = true;
  const ParseResult program = ParseWith(Fixed("IDENTIFICATION DIVISION.\n"
                                              "PROGRAM-ID. P.\n"
                                              "DATA DIVISION.\n"
                                              "WORKING-STORAGE SECTION.\n"
                                              "01 W1 PIC X.\n"
                                              "01 W2 PIC X.\n"
                                              "LOCAL-STORAGE SECTION.\n"
                                              "LINKAGE SECTION.\n"
                                              "01 L1 PIC X.\n"
                                              "PROCEDURE DIVISION.\n"
                                              "    STOP RUN.\n"),
                                        options);
  ASSERT_NE(program.root, nullptr);
  EXPECT_EQ(program.syntaxErrors, 0);
  EXPECT_EQ(EntryNames(program.root->working_storage_section), "W1 W2");
  EXPECT_EQ(EntryNames(program.root->local_storage_section), "");
  EXPECT_EQ(EntryNames(program.root->linkage_section), "L1");
}

} // namespace

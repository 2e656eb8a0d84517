#include <gtest/gtest.h>

#include <string>

#include "cobol/Parser.h"
#include "cobol/keywords.h"
#include "parse_support.h"
#include "reuse/Idents.h"

namespace {

// The entry's first clause of kind T.
template <class T> T *FirstClause(const char *entry) {
  auto *format = as<tree::format_1>(EntryOf(entry));
  for (tTree clause = format->data_clause_l; is<tree::data_clause>(clause);
       clause = as<tree::data_clause>(clause)->next)
    if (is<T>(clause))
      return as<T>(clause);
  ADD_FAILURE() << "no such clause in " << entry;
  return nullptr;
}

tTree ValueOf(const char *entry) { return FirstClause<tree::value_is>(entry)->expression; }

int FigurativeOf(const char *entry) {
  return as<tree::figurative_literal>(ValueOf(entry))->keyword;
}

std::string NameText(tIdent ident) { return GetCStr(ident); }

using ParserEntries = ParseTest;
using ParserResolution = ParseTest;
using ParserErrors = ParseTest;

// --- the grammar's terminals are those of the keyword table ----------------

TEST(ParserTokens, EveryTerminalHasTheKeywordTablesCodeAndName) {
  for (int code = 0; code <= MaxTerminal; ++code)
    EXPECT_STREQ(yyGetTokenName(code), TerminalName(code)) << "terminal " << code;
  EXPECT_STREQ(yyGetTokenName(MaxTerminal + 1), "_unknown_");
  EXPECT_STREQ(yyGetTokenName(-1), "_unknown_");
}

// --- entries and clauses -----------------------------------------------------

TEST_F(ParserEntries, PackedAmountKeepsBothPictureForms) {
  ParseResult r = ParseCopybook(Fixed("01 REC.\n    05 AMT PIC s9(05)v99 COMP-3.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  auto *amt = as<tree::format_1>(EntryOf("AMT"));
  EXPECT_EQ(amt->level_number, 5);
  EXPECT_EQ(Text(amt->level_string), "05");
  EXPECT_EQ(ClauseKinds(amt), "picture usage");
  auto *pic = as<tree::picture>(amt->data_clause_l);
  EXPECT_EQ(Text(pic->value), "S9(5)V99");
  EXPECT_EQ(Text(pic->string), "s9(05)v99");
  EXPECT_EQ(pic->keyword, cwPicture);
  EXPECT_EQ(pic->pos.Column, 23);
  auto *usage = as<tree::usage>(pic->next);
  EXPECT_EQ(usage->value, cwComp3);
  EXPECT_FALSE(usage->native);
  // The entry runs from its level number to its period.
  EXPECT_EQ(amt->bpos.Column, 12);
  EXPECT_EQ(amt->epos.Column, 39);
  EXPECT_EQ(amt->decl, DeclOf("AMT"));
  EXPECT_EQ(as<tree::decl>(amt->decl)->lower, DeclOf("REC"));
}

TEST_F(ParserEntries, PicturePiecesReassemble) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 A PIC x(05).\n"
                                      "   05 B PICTURE IS ZZ,ZZ9.99-.\n"
                                      "   05 C PIC -9(3)/99.\n"
                                      "   05 D PIC $$$,$$9.99CR.\n"
                                      "   05 E PIC 9(4)db.\n"
                                      "   05 F PIC x(100) DEPENDING ON G.\n"
                                      "   05 G PIC 99.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  struct Case {
    const char *entry, *value, *string;
  } cases[] = {{"A", "X(5)", "x(05)"},        {"B", "ZZ,ZZ9.99-", "ZZ,ZZ9.99-"},
               {"C", "-9(3)/99", "-9(3)/99"}, {"D", "$$$,$$9.99CR", "$$$,$$9.99CR"},
               {"E", "9(4)DB", "9(4)db"},     {"F", "X(100)", "x(100)"}};
  for (const Case &c : cases) {
    auto *pic = FirstClause<tree::picture>(c.entry);
    EXPECT_EQ(Text(pic->value), c.value) << c.entry;
    EXPECT_EQ(Text(pic->string), c.string) << c.entry;
  }
  EXPECT_TRUE(is<tree::noexpression>(FirstClause<tree::picture>("A")->depending));
  auto *depending = as<tree::name>(FirstClause<tree::picture>("F")->depending);
  EXPECT_EQ(NameText(depending->name), "G");
}

TEST_F(ParserEntries, OccursWithAndWithoutDepending) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 N PIC 99.\n"
                                      "   05 T1 OCCURS 10 PIC X.\n"
                                      "   05 T2 OCCURS 1 TO 10 DEPENDING ON N PIC X.\n"
                                      "   05 T3 OCCURS 100 TIMES ASCENDING KEY IS K1 K2\n"
                                      "         INDEXED BY I1 I2.\n"
                                      "      10 K1 PIC X.\n"
                                      "      10 K2 PIC X.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(r.messages, "");
  auto *t1 = FirstClause<tree::occurs>("T1");
  EXPECT_EQ(t1->from, -1);
  EXPECT_EQ(t1->to, 10);
  EXPECT_TRUE(is<tree::noexpression>(t1->depending));
  auto *t2 = FirstClause<tree::occurs>("T2");
  EXPECT_EQ(t2->from, 1);
  EXPECT_EQ(t2->to, 10);
  auto *n = as<tree::name>(t2->depending);
  EXPECT_EQ(NameText(n->name), "N");
  EXPECT_EQ(n->decl, DeclOf("N"));
  auto *t3 = FirstClause<tree::occurs>("T3");
  EXPECT_EQ(t3->to, 100);
  auto *keys = as<tree::a_de_scending>(t3->a_de_scending_l);
  EXPECT_EQ(keys->keyword, cwAscending);
  auto *k1 = as<tree::identifier>(keys->qualification_l);
  EXPECT_EQ(NameText(as<tree::name>(k1->identifier)->name), "K1");
  EXPECT_EQ(NameText(as<tree::name>(as<tree::identifier>(k1->next)->identifier)->name), "K2");
  // Index names are declared by the clause itself, not looked up.
  auto *i1 = as<tree::identifier>(t3->indexed);
  EXPECT_EQ(NameText(as<tree::name>(i1->identifier)->name), "I1");
  EXPECT_EQ(as<tree::name>(i1->identifier)->decl, NoTree);
}

TEST_F(ParserEntries, FigurativeConstantsKeepSingularAndPlural) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 S1 PIC X VALUE SPACE.\n"
                                      "   05 S2 PIC X VALUE SPACES.\n"
                                      "   05 Z0 PIC 9 VALUE ZERO.\n"
                                      "   05 Z1 PIC 9 VALUE ZEROS.\n"
                                      "   05 Z2 PIC 9 VALUE zeroes.\n"
                                      "   05 H1 PIC X VALUE HIGH-VALUE.\n"
                                      "   05 H2 PIC X VALUE HIGH-VALUES.\n"
                                      "   05 L1 PIC X VALUE LOW-VALUE.\n"
                                      "   05 L2 PIC X VALUE LOW-VALUES.\n"
                                      "   05 Q1 PIC X VALUE QUOTE.\n"
                                      "   05 Q2 PIC X VALUE QUOTES.\n"
                                      "   05 P1 POINTER VALUE NULL.\n"
                                      "   05 P2 POINTER VALUE NULLS.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(FigurativeOf("S1"), cwSpace);
  EXPECT_EQ(FigurativeOf("S2"), cwSpaces);
  EXPECT_EQ(FigurativeOf("Z0"), cwZero);
  EXPECT_EQ(FigurativeOf("Z1"), cwZeros);
  EXPECT_EQ(FigurativeOf("Z2"), cwZeroes);
  EXPECT_EQ(FigurativeOf("H1"), cwHighValue);
  EXPECT_EQ(FigurativeOf("H2"), cwHighValues);
  EXPECT_EQ(FigurativeOf("L1"), cwLowValue);
  EXPECT_EQ(FigurativeOf("L2"), cwLowValues);
  EXPECT_EQ(FigurativeOf("Q1"), cwQuote);
  EXPECT_EQ(FigurativeOf("Q2"), cwQuotes);
  EXPECT_EQ(FigurativeOf("P1"), cwNull);
  EXPECT_EQ(FigurativeOf("P2"), cwNull);
}

TEST_F(ParserEntries, ValueLiteralsOfEveryKind) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 A PIC 999 VALUE 123.\n"
                                      "   05 B PIC 99 VALUE 07.\n"
                                      "   05 C PIC S99 VALUE -5.\n"
                                      "   05 D PIC 9V9 VALUE 1.5.\n"
                                      "   05 E PIC X(3) VALUE 'abc'.\n"
                                      "   05 F PIC X(3) VALUE ALL '*'.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(as<tree::integer>(ValueOf("A"))->Value, 123);
  auto *b = as<tree::integer>(ValueOf("B"));
  EXPECT_EQ(b->Value, 7);
  EXPECT_EQ(Text(b->String), "07");
  EXPECT_EQ(as<tree::integer>(ValueOf("C"))->Value, -5);
  EXPECT_EQ(Text(as<tree::real>(ValueOf("D"))->Value), "1.5");
  EXPECT_EQ(Text(as<tree::string>(ValueOf("E"))->Value), "'abc'");
  auto *all = as<tree::unary>(ValueOf("F"));
  EXPECT_EQ(all->operator_, cwAll);
  EXPECT_EQ(Text(as<tree::string>(all->expression)->Value), "'*'");
}

TEST_F(ParserEntries, ClausesInAnyOrderAndRepeated) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 A USAGE IS DISPLAY PIC X(4).\n"
                                      "   05 B VALUE 1 PIC 9 COMP COMP.\n"
                                      "   05 C SIGN IS TRAILING SEPARATE CHARACTER PIC S9\n"
                                      "        SYNC RIGHT JUST BLANK WHEN ZEROS.\n"
                                      "   05 PIC X.\n"
                                      "   05 FILLER PIC X.\n"
                                      "   05 D BINARY NATIVE IS EXTERNAL GLOBAL.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(r.messages, "");
  EXPECT_EQ(ClauseKinds(as<tree::format_1>(EntryOf("A"))), "usage picture");
  EXPECT_EQ(ClauseKinds(as<tree::format_1>(EntryOf("B"))), "value_is picture usage usage");
  auto *c = as<tree::format_1>(EntryOf("C"));
  EXPECT_EQ(ClauseKinds(c), "sign picture data_clause data_clause data_clause");
  EXPECT_EQ(as<tree::sign>(c->data_clause_l)->value, cwTrailingSeparate);
  auto *sync = as<tree::data_clause>(as<tree::data_clause>(c->data_clause_l)->next)->next;
  EXPECT_EQ(as<tree::data_clause>(sync)->keyword, cwSynchronizedRight);
  auto *d = as<tree::format_1>(EntryOf("D"));
  EXPECT_TRUE(as<tree::usage>(d->data_clause_l)->native);
  // The unnamed entry and FILLER are declared like any other.
  tree::decl *r01 = DeclOf("R");
  int children = 0;
  for (tTree child = r01->fields; child != NoTree; child = as<tree::decl>(child)->next)
    ++children;
  EXPECT_EQ(children, 6);
}

TEST_F(ParserEntries, ConditionRenamesAndConstantEntries) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 A PIC X.\n"
                                      "      88 OK VALUES ARE 'Y' 'y' 'A' THRU 'C'\n"
                                      "            WHEN SET TO FALSE 'N'.\n"
                                      "   05 B PIC X.\n"
                                      "66 AB RENAMES A THRU B OF R.\n"
                                      "78 MAXN VALUE 10 * 2 + 1.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(r.messages, "");
  auto *ok = as<tree::format_3>(EntryOf("OK"));
  EXPECT_EQ(ok->level_number, 88);
  int values = 0, ranges = 0;
  for (tTree e = ok->condition_l; is<tree::expression>(e); e = as<tree::expression>(e)->next) {
    ++values;
    if (auto *range = as_if<tree::binary>(as<tree::expression>(e)->expression)) {
      ++ranges;
      EXPECT_EQ(Text(as<tree::string>(range->lop)->Value), "'A'");
      EXPECT_EQ(Text(as<tree::string>(range->rop)->Value), "'C'");
    }
  }
  EXPECT_EQ(values, 3);
  EXPECT_EQ(ranges, 1);
  EXPECT_EQ(Text(as<tree::string>(ok->false_)->Value), "'N'");
  EXPECT_EQ(as<tree::decl>(ok->decl)->lower, DeclOf("A"));

  auto *ab = as<tree::format_2>(EntryOf("AB"));
  EXPECT_EQ(ab->level_number, 66);
  EXPECT_EQ(as<tree::name>(ab->qualification1)->decl, DeclOf("A"));
  EXPECT_EQ(as<tree::qualification>(ab->qualification2)->decl, DeclOf("B"));
  EXPECT_EQ(NameText(ab->name2), "B");
  EXPECT_EQ(as<tree::decl>(ab->decl)->lower, DeclOf("R"));

  auto *maxn = as<tree::format_4>(EntryOf("MAXN"));
  EXPECT_EQ(maxn->level_number, 78);
  EXPECT_TRUE(is<tree::binary>(maxn->expression));
}

TEST_F(ParserEntries, CopyStatementsBetweenAndAtTheEndOfEntries) {
  ParseResult r = ParseCopybook(Fixed("01 S.\n"
                                      "COPY MORE OF LIB SUPPRESS.\n"
                                      "   05 B PIC X.\n"
                                      "01 R COPY RECX.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  auto *s = as<tree::format_1>(r.root->working_storage_section);
  auto *copy = as<tree::data_desc_copy>(s->next);
  auto *statement = as<tree::s_copy>(copy->statement);
  auto *text = as<tree::qualification>(statement->qualification);
  EXPECT_EQ(NameText(text->name), "MORE");
  EXPECT_EQ(NameText(as<tree::name>(text->qualification)->name), "LIB");
  EXPECT_TRUE(text->of);
  EXPECT_TRUE(statement->has_dot);
  auto *b = as<tree::format_1>(copy->next);
  auto *rec = as<tree::format_copy>(b->next);
  EXPECT_EQ(NameText(rec->name), "R");
  EXPECT_EQ(rec->decl, DeclOf("R"));
  EXPECT_TRUE(is<tree::nodata_description_entry>(rec->next));
}

TEST_F(ParserEntries, ExecBlocksBetweenEntriesArePassedOver) {
  ParseResult r = ParseCopybook(Fixed("01 R PIC X.\n"
                                      "EXEC SQL DECLARE T TABLE\n"
                                      "   ( A CHAR(1) ) END-EXEC.\n"
                                      "EXEC SQL INCLUDE SQLCA END-EXEC\n"
                                      "01 S PIC X.\n"));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  auto *rec = as<tree::format_1>(r.root->working_storage_section);
  EXPECT_EQ(as<tree::format_1>(rec->next)->decl, DeclOf("S"));
}

// --- resolution while parsing --------------------------------------------------

TEST_F(ParserResolution, RedefinesOfALaterNameIsNotDeclared) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 A REDEFINES B PIC X.\n"
                                      "   05 B PIC X.\n"));
  EXPECT_EQ(r.syntaxErrors, 0);
  EXPECT_EQ(r.messages, "\"T.cpy\":   2, 26: Error       name not declared: B\n");
}

TEST_F(ParserResolution, AmbiguousRedefinesListsThePossibleDeclarations) {
  ParseResult r = ParseCopybook(Fixed("01 R1.\n"
                                      "   05 B PIC X.\n"
                                      "01 R2.\n"
                                      "   05 B PIC X.\n"
                                      "01 R3.\n"
                                      "   05 C REDEFINES B PIC X.\n"));
  EXPECT_EQ(r.syntaxErrors, 0);
  EXPECT_EQ(r.messages,
            "\"T.cpy\":   6, 26: Error       ambiguous data name: B\n"
            "\"T.cpy\":   6, 26: Information possible declaration: \"T.cpy\":   4, 14\n"
            "\"T.cpy\":   6, 26: Information possible declaration: \"T.cpy\":   2, 14\n");
  auto *redefines = FirstClause<tree::redefines>("C");
  // The later B, which lies under R2.
  EXPECT_EQ(as<tree::decl>(as<tree::name>(redefines->name)->decl)->lower, DeclOf("R2"));
}

TEST_F(ParserResolution, QualifiedDependingTwoLevelsDownAndMissingField) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 G.\n"
                                      "      10 X PIC 99.\n"
                                      "   05 T OCCURS 1 TO 5 DEPENDING ON X OF R PIC X.\n"
                                      "   05 U OCCURS 1 TO 5 DEPENDING ON Y OF R PIC X.\n"));
  EXPECT_EQ(r.syntaxErrors, 0);
  EXPECT_EQ(r.messages, "\"T.cpy\":   5, 43: Error       field not declared: Y\n");
  auto *x = as<tree::qualification>(FirstClause<tree::occurs>("T")->depending);
  EXPECT_EQ(x->decl, DeclOf("X"));
  EXPECT_EQ(as<tree::name>(x->qualification)->decl, DeclOf("R"));
  auto *y = as<tree::qualification>(FirstClause<tree::occurs>("U")->depending);
  EXPECT_EQ(as<tree::decl>(y->decl)->lower, DeclOf("R"));
}

// --- syntax errors and recovery ---------------------------------------------------

TEST_F(ParserErrors, MissingPeriodCostsOneMessageNotTheNextEntry) {
  ParseResult r = ParseCopybook(Fixed("01 R.\n"
                                      "   05 A PIC X\n"
                                      "   05 B PIC X.\n"));
  EXPECT_EQ(r.syntaxErrors, 1);
  EXPECT_EQ(r.messages,
            "\"T.cpy\":   3, 11: Error       found/expected : level_number/. BINARY BLANK ...\n");
  ASSERT_NE(EntryOf("A"), nullptr);
  ASSERT_NE(EntryOf("B"), nullptr);
  EXPECT_EQ(as<tree::decl>(EntryOf("B")->decl)->lower, DeclOf("R"));
}

TEST_F(ParserErrors, ExpectedTokensComeInCodeOrder) {
  ParseResult r = ParseCopybook(Fixed("01 R OCCURS.\n"));
  EXPECT_EQ(r.syntaxErrors, 1);
  EXPECT_EQ(r.messages,
            "\"T.cpy\":   1, 19: Error       found/expected : ./unsigned_integer level_number\n");
}

TEST_F(ParserErrors, RejectedConstructs) {
  struct Case {
    const char *source, *message;
  } cases[] = {
      {"01 R PIC 9 VALUE 1 2.\n",
       "\"T.cpy\":   1, 27: Error       found/expected : level_number/. BINARY BLANK ..."},
      {"01 R.\n   05 A PIC X.\n   05 C REDEFINES A OF R PIC X.\n",
       "\"T.cpy\":   3, 28: Error       found/expected : OF/. BINARY BLANK COMPUTATIONAL ..."},
      {"WORKING-STORAGE SECTION.\n01 R PIC X.\n",
       "\"T.cpy\":   1,  8: Error       found/expected : WORKING-STORAGE/level_number ..."},
      {"", "\"T.cpy\":   1,  1: Error       found/expected : _EOF_/level_number EXECUTE ..."},
      {"01 R.\n   88 C VALUE NULL.\n",
       "\"T.cpy\":   2, 22: Error       found/expected : NULL/unsigned_integer plus_integer ..."},
  };
  for (const Case &c : cases) {
    ParseResult r = ParseCopybook(Fixed(c.source));
    EXPECT_EQ(r.syntaxErrors, 1) << c.source;
    EXPECT_EQ(r.messages, std::string(c.message) + "\n") << c.source;
    ASSERT_NE(r.root, nullptr);
  }
}

TEST_F(ParserErrors, OneLinePrintedPerLineButEveryErrorCounted) {
  ParseResult r = ParseCopybook(Fixed("01 R PIC X VALUE 1 2. 01 S PIC 9 VALUE 3 4.\n"
                                      "01 T PIC X.\n"));
  EXPECT_EQ(r.syntaxErrors, 2);
  EXPECT_EQ(r.messages,
            "\"T.cpy\":   1, 27: Error       found/expected : level_number/. BINARY BLANK ...\n");
  EXPECT_NE(EntryOf("T"), nullptr);
}

TEST_F(ParserErrors, EveryBrokenEntryOfALongCopybookIsReported) {
  std::string source = "01 R.\n";
  for (int i = 0; i < 40; ++i) {
    source += "   05 A" + std::to_string(i) + " PIC X.\n";
    source += "   05 B" + std::to_string(i) + " PIC X VALUE 1 2.\n";
    source += "   05 C" + std::to_string(i) + " XX.\n";
  }
  ParseResult r = ParseCopybook(Fixed(source));
  EXPECT_EQ(r.syntaxErrors, 80);
  std::size_t lines = 0;
  for (char ch : r.messages)
    lines += ch == '\n';
  EXPECT_EQ(lines, 80u);
  // Entries after the broken ones are still declared.
  EXPECT_NE(EntryOf("A39"), nullptr);
  EXPECT_EQ(EntryOf("C39")->level_number, 5);
}

TEST_F(ParserErrors, JunkToTheEndOfInputEndsWithARepairedTree) {
  ParseResult r = ParseCopybook(Fixed("01 R PIC X.\n ) ) ) ( (\n"));
  EXPECT_EQ(r.syntaxErrors, 1);
  ASSERT_NE(r.root, nullptr);
  EXPECT_EQ(NameText(as<tree::format_1>(r.root->working_storage_section)->name), "R");
}

} // namespace

// Report descriptions through real copybook text: the RD and its report
// groups in the tree, their declarations in the report section, and recovery
// from broken report group entries.
#include <gtest/gtest.h>

#include <string>

#include "cobol/deftab.h"
#include "parse_support.h"
#include "reuse/Idents.h"

namespace {

using ReportParse = ParseTest;

std::string Name(tIdent ident) { return ident == NoIdent ? "-" : GetCStr(ident); }

std::string Int(long value) { return std::to_string(value); }

// A reference as written, A or A OF B, marked "?" when Eval left it without a
// declaration; "-" for none.
std::string Ref(tTree node) {
  std::string text = "-";
  if (auto *n = as_if<tree::name>(node))
    text = Name(n->name);
  else if (auto *q = as_if<tree::qualification>(node))
    text = Name(q->name) + " OF " + Ref(q->qualification);
  auto *reference = as_if<tree::identifier_c>(node);
  return reference != nullptr && !is<tree::noexpression>(node) && reference->decl == nullptr
             ? text + "?"
             : text;
}

std::string Refs(tTree list) {
  std::string text;
  for (; is<tree::identifier>(list); list = as<tree::identifier>(list)->next)
    text += (text.empty() ? "" : " ") + Ref(as<tree::identifier>(list)->identifier);
  return text;
}

// One clause with the fields the parser fills: kind(fields).
std::string Clause(tTree c) {
  std::string fields;
  if (auto *t = as_if<tree::g_type>(c))
    fields = Int(t->keyword) + " " + Ref(t->qualification);
  else if (auto *l = as_if<tree::g_line_number>(c))
    fields = Int(l->keyword) + " " + Int(l->integer);
  else if (auto *n = as_if<tree::g_next_group>(c))
    fields = Int(n->keyword) + " " + Int(n->integer);
  else if (auto *col = as_if<tree::g_column>(c))
    fields = Int(col->integer);
  else if (auto *p = as_if<tree::g_picture>(c))
    fields = Text(p->value);
  else if (auto *u = as_if<tree::g_usage>(c))
    fields = Int(u->keyword);
  else if (auto *src = as_if<tree::g_source>(c))
    fields = Ref(src->identifier);
  else if (auto *sum = as_if<tree::g_sum>(c))
    fields = Refs(sum->identifier_l) + " UPON " + Refs(sum->upon) + " RESET " + Ref(sum->reset) +
             (sum->reset_on_final ? " FINAL" : "");
  return std::string(Tree_KindName(c->Kind)) + "(" + fields + ")";
}

// The report groups of `rd`, one line each: level, name, clauses.
std::string Groups(const tree::report_description *rd) {
  std::string text;
  for (tTree g = rd->report_group_description_l; is<tree::report_group_description>(g);
       g = as<tree::report_group_description>(g)->next) {
    auto *group = as<tree::report_group_description>(g);
    text += Int(group->level_number) + " " + Name(group->name) + ":";
    for (tTree c = group->report_group_clause_l; is<tree::report_group_clause>(c);
         c = as<tree::report_group_clause>(c)->next)
      text += " " + Clause(c);
    text += "\n";
  }
  return text;
}

// The declarations from `first` on with their subordinates, indented by
// depth: level, name and kind (implicit level-0 ones left out).
std::string Hierarchy(const tree::decl *first, int depth = 0) {
  std::string text;
  for (auto *d = first; d != nullptr; d = as_if<tree::decl>(d->next)) {
    if (d->level != 0)
      text += std::string(2 * depth, ' ') + Int(d->level) + " " + Name(d->name) + " k" +
              Int(d->kind) + "\n";
    text += Hierarchy(as_if<tree::decl>(d->fields), depth + 1);
  }
  return text;
}

const char *const salesReport = "01 SALES-REC.\n"
                                "   05 REGION PIC X(4).\n"
                                "   05 AMOUNT PIC 9(5)V99.\n"
                                "RD SALES-REPORT\n"
                                "   CONTROLS ARE FINAL REGION\n"
                                "   PAGE LIMIT IS 60 LINES HEADING 1 FIRST DETAIL 5\n"
                                "   LAST DETAIL 55 FOOTING 58.\n"
                                "01 TYPE PH.\n"
                                "   05 LINE 1.\n"
                                "      10 COLUMN 10 PIC X(12) VALUE 'SALES REPORT'.\n"
                                "01 REGION-HEAD TYPE CH REGION LINE PLUS 2.\n"
                                "   05 COL 1 PIC X(4) SOURCE REGION OF SALES-REC.\n"
                                "01 DETAIL-LINE TYPE DE LINE 3 NEXT GROUP PLUS 1.\n"
                                "   05 COLUMN 5 PIC Z(4)9.99 SOURCE AMOUNT GROUP INDICATE.\n"
                                "01 TOTAL-LINE TYPE CONTROL FOOTING FINAL\n"
                                "   LINE NUMBER IS 1 ON NEXT PAGE.\n"
                                "   05 TOTAL COLUMN 5 PIC Z(5)9.99 USAGE DISPLAY\n"
                                "      SUM AMOUNT UPON DETAIL-LINE RESET ON FINAL.\n";

TEST_F(ReportParse, ReportGroupsBuildTheirClausesAndAreDeclaredInTheReportSection) {
  ParseResult r = ParseCopybook(Fixed(salesReport));
  ASSERT_EQ(r.syntaxErrors, 0) << r.messages;
  EXPECT_EQ(r.messages, "");

  auto *rd = as<tree::report_description>(r.root->report_section);
  EXPECT_TRUE(is<tree::noreport_description>(rd->next));
  EXPECT_EQ(Name(rd->name), "SALES-REPORT");
  EXPECT_EQ(rd->bpos.Line, 4u);
  EXPECT_EQ(rd->epos.Line, 18u);

  auto *control = as<tree::r_control>(rd->report_clause_l);
  EXPECT_TRUE(control->final);
  EXPECT_EQ(Refs(control->qualification_l), "REGION");
  auto *page = as<tree::r_page>(control->next);
  EXPECT_EQ(page->integer, 60);
  std::string phrases;
  for (tTree p = page->page_l; is<tree::expression_word>(p); p = as<tree::expression_word>(p)->next)
    phrases += Int(as<tree::expression_word>(p)->keyword) + "=" +
               Int(as<tree::integer>(as<tree::expression_word>(p)->expression)->Value) + " ";
  // HEADING, FIRST DETAIL, LAST DETAIL, FOOTING.
  EXPECT_EQ(phrases, "130=1 132=5 134=55 95=58 ");
  EXPECT_TRUE(is<tree::noreport_clause>(page->next));

  // Every reference is resolved (no "?"). Word codes: 146 PH, 147 CH, 148 DE, 142 CONTROL FOOTING;
  // 135 an absolute line, 158 PLUS, 136 NEXT PAGE; 14 DISPLAY.
  EXPECT_EQ(Groups(rd), "1 -: g_type(146 -)\n"
                        "5 -: g_line_number(135 1)\n"
                        "10 -: g_column(10) g_picture(X(12)) g_value()\n"
                        "1 REGION-HEAD: g_type(147 REGION) g_line_number(158 2)\n"
                        "5 -: g_column(1) g_picture(X(4)) g_source(REGION OF SALES-REC)\n"
                        "1 DETAIL-LINE: g_type(148 -) g_line_number(135 3) g_next_group(158 1)\n"
                        "5 -: g_column(5) g_picture(Z(4)9.99) g_source(AMOUNT) g_group()\n"
                        "1 TOTAL-LINE: g_type(142 -) g_line_number(136 1)\n"
                        "5 TOTAL: g_column(5) g_picture(Z(5)9.99) g_usage(14) "
                        "g_sum(AMOUNT UPON DETAIL-LINE RESET - FINAL)\n");

  // The report name stands at the top at its pseudo-level; report groups of
  // level 01 stand beside it, not under it, all of the report kind (10).
  EXPECT_EQ(Hierarchy(deftab_decls), "1 SALES-REC k0\n"
                                     "  5 REGION k0\n"
                                     "  5 AMOUNT k0\n"
                                     "97 SALES-REPORT k10\n"
                                     "1 - k10\n"
                                     "  5 - k10\n"
                                     "    10 - k10\n"
                                     "1 REGION-HEAD k10\n"
                                     "  5 - k10\n"
                                     "1 DETAIL-LINE k10\n"
                                     "  5 - k10\n"
                                     "1 TOTAL-LINE k10\n"
                                     "  5 TOTAL k10\n");
  auto *total = DeclOf("TOTAL");
  EXPECT_EQ(total->lower, DeclOf("TOTAL-LINE"));
  EXPECT_EQ(as<tree::report_group_description>(total->object)->decl, total);
  EXPECT_TRUE(is<tree::report_description>(DeclOf("SALES-REPORT")->object));
}

// A broken report group entry or RD header costs one message; the entries
// after it are built and declared as if it had been whole.
TEST_F(ReportParse, BrokenReportEntriesCostOneMessageEach) {
  struct Case {
    const char *source, *message, *hierarchy;
  } cases[] = {
      {"RD R.\n"
       "01 TYPE DE LINE X.\n"
       "   05 A COLUMN 1 PIC X SOURCE S.\n"
       "01 B TYPE RF.\n",
       "\"T.cpy\":   3, 24: Error       found/expected : name/unsigned_integer plus_integer ...\n",
       "1 S k0\n97 R k10\n1 - k10\n  5 A k10\n1 B k10\n"},
      {"RD R.\n"
       "01 G TYPE DE.\n"
       "   05 A COLUMN 1 PIC X SOURCE S\n"
       "   05 C COLUMN 3 PIC X SOURCE S.\n",
       "\"T.cpy\":   5, 11: Error       found/expected : level_number/. BINARY BLANK ...\n",
       "1 S k0\n97 R k10\n1 G k10\n  5 A k10\n  5 C k10\n"},
      {"RD R PAGE LIMIT X.\n"
       "01 B TYPE DE.\n"
       "   05 A COLUMN 1 PIC X SOURCE S.\n",
       "\"T.cpy\":   2, 24: Error       found/expected : name/unsigned_integer level_number ...\n",
       "1 S k0\n97 R k10\n1 B k10\n  5 A k10\n"},
      {"RD R.\n"
       "01 G TYPE DE LINE 5 NEXT X.\n"
       "   05 A COLUMN 1 PIC X SOURCE S.\n",
       "\"T.cpy\":   3, 33: Error       found/expected : name/GROUP PAGE\n",
       "1 S k0\n97 R k10\n1 G k10\n  5 A k10\n"},
      {"RD .\n"
       "01 G TYPE DE.\n"
       "   05 A COLUMN 1 PIC X SOURCE S.\n",
       "\"T.cpy\":   2, 11: Error       found/expected : ./name name in area A\n",
       "1 S k0\n97 - k10\n1 G k10\n  5 A k10\n"},
  };
  for (const Case &c : cases) {
    ParseResult r = ParseCopybook(Fixed(std::string("01 S PIC X.\n") + c.source));
    EXPECT_EQ(r.syntaxErrors, 1) << c.source;
    EXPECT_EQ(r.messages, c.message) << c.source;
    EXPECT_EQ(Hierarchy(deftab_decls), c.hierarchy) << c.source;
  }
}

} // namespace

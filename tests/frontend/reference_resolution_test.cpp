// Resolution on hand-built trees where parsed copybooks (data/parser) cannot
// reach, and the restructuring of copied entries.
#include <gtest/gtest.h>

#include <string>

#include "frontend/reference_resolution.h"
#include "frontend/copied_entries.h"
#include "frontend/copy_replacing.h"
#include "frontend/syntax_tree.h"
#include "frontend/declaration_table.h"
#include "diagnostics/message_store.h"
#include "support/string_memory.h"
#include "tree_support.h"

namespace {

using EvalTest = FrontEndTest;

tree::decl *Decl(tTree reference) {
  return as_if<tree::decl>(as<tree::identifier_c>(reference)->decl);
}

// Chains entries in the given order and closes the list with an end node.
tTree List(std::initializer_list<tree::data_description_entry *> entries) {
  tTree list = mnodata_description_entry();
  for (auto it = entries.end(); it != entries.begin();) {
    --it;
    *Tree_Next(*it) = list;
    list = *it;
  }
  return list;
}

class TrafoTest : public FrontEndTest {
protected:
  // 01 REC COPY RECX. in the main file.
  static tree::format_copy *CopyEntry() {
    const tPosition at = At(1, 8, "MAIN.cpy");
    return mformat_copy(NoTree, 1, PutString("01", 2), Id("REC"), at, Id("REC"), at, false, at, at,
                        mnodata_clause(), mnodata_description_entry());
  }
};

TEST_F(EvalTest, SubscriptedItemTakesItsItemsDeclaration) {
  tree::decl *t = DeclareEntry(1, "T", At(1, 8));
  tree::name *item = Ref("T", At(4, 30));
  tree::name *index = Ref("I", At(4, 32));
  auto *s =
      msubscription(At(4, 30), At(4, 34), item, mexpression(mnoexpression_l(), index), At(4, 31));
  Eval(Entry(5, "A", At(4, 12), mvalue_is(mnodata_clause(), At(4, 20), At(4, 34), cwValue, s)));
  EXPECT_EQ(Decl(s), t);
  EXPECT_EQ(Decl(item), t);
  ASSERT_NE(Decl(index), nullptr);
  EXPECT_EQ(Decl(index)->level, 0);
  EXPECT_EQ(Messages(), "\"MAIN.cpy\":   4, 32: Error       name not declared: I\n");
}

// Operands of REPLACING are text to find and to put in place, not data
// references: neither a qualification nor the names in a subscript are looked
// up or declared, even where a name of them is declared.
TEST_F(EvalTest, ReplacingOperandsAreNeitherLookedUpNorDeclared) {
  DeclareEntry(1, "B", At(1, 8));
  tree::name *qualifier = Ref("B", At(2, 30));
  tree::qualification *find = RefOf("A", qualifier, At(2, 25));
  tree::name *item = Ref("C", At(2, 40));
  tree::name *index = Ref("I", At(2, 42));
  auto *by =
      msubscription(At(2, 40), At(2, 43), item, mexpression(mnoexpression_l(), index), At(2, 41));
  keep_operand_unresolved(find);
  keep_operand_unresolved(by);
  Eval(mcopy_replacing(mnocopy_replacing(), find, by, false, false, cwNone));
  for (tree::identifier_c *node :
       {static_cast<tree::identifier_c *>(find), static_cast<tree::identifier_c *>(qualifier),
        static_cast<tree::identifier_c *>(by), static_cast<tree::identifier_c *>(item),
        static_cast<tree::identifier_c *>(index)})
    EXPECT_EQ(node->decl, NoTree);
  EXPECT_EQ(Messages(), "");
}

TEST_F(EvalTest, WithoutNameCheckNothingIsDeclaredOrReported) {
  NameCheck() = false;
  DeclareEntry(1, "R1", At(1, 8));
  DeclareEntry(5, "B", At(2, 12));
  DeclareEntry(1, "R2", At(3, 8));
  tree::decl *b2 = DeclareEntry(5, "B", At(4, 12));
  tree::name *unknown = Ref("UNKNOWN", At(5, 30));
  tree::name *ambiguous = Ref("B", At(6, 30));
  tree::qualification *field = RefOf("Z", Ref("R1", At(7, 35)), At(7, 30));
  Eval(unknown);
  Eval(ambiguous);
  Eval(field);
  EXPECT_EQ(unknown->decl, NoTree);
  EXPECT_EQ(Decl(ambiguous), b2);
  EXPECT_EQ(field->decl, NoTree);
  EXPECT_EQ(Messages(), "");
}

TEST_F(TrafoTest, CopiedEntriesCommentsAndCopyStatementsMoveUnderTheirEntry) {
  tree::format_copy *rec = CopyEntry();
  tree::format_1 *x1 = Entry(5, "X1", At(1, 12, "RECX.cpy"));
  tree::d_comment *comment =
      md_comment(NoTree, mtext(mnotext(), Id("RECX.cpy"), 2, PutString("* note", 6)));
  tTree stmt = ms_copy(mnostatement(), At(3, 12, "RECX.cpy"), At(3, 22, "RECX.cpy"), NoTree, true,
                       Ref("SUB", At(3, 17, "RECX.cpy")), cwNone, mnocopy_replacing(), NoIdent);
  tree::data_desc_copy *nested = mdata_desc_copy(NoTree, stmt);
  tree::format_1 *x2 = Entry(5, "X2", At(4, 12, "RECX.cpy"));
  tree::format_1 *after = Entry(1, "NEXT-REC", At(2, 8, "MAIN.cpy"));
  tTree list = List({rec, x1, comment, nested, x2, after});
  tTree end = after->next;
  EXPECT_EQ(trafo_data_desc(list), list);
  EXPECT_EQ(rec->data_description_entry_l, x1);
  EXPECT_EQ(x1->next, comment);
  EXPECT_EQ(comment->next, nested);
  EXPECT_EQ(nested->next, x2);
  EXPECT_TRUE(is<tree::nodata_description_entry>(x2->next));
  EXPECT_EQ(rec->next, after);
  EXPECT_EQ(after->next, end);
  // A comment without lines belongs to no file and ends the copied entries.
  tree::format_copy *rec2 = CopyEntry();
  tree::d_comment *empty_comment = md_comment(NoTree, mnotext());
  trafo_data_desc(List({rec2, Entry(5, "Y1", At(1, 12, "RECY.cpy")), empty_comment}));
  EXPECT_EQ(rec2->next, empty_comment);
  // A copied entry that is no member (a constant) stays where it is.
  tree::format_copy *rec3 = CopyEntry();
  const tPosition at = At(1, 8, "RECX.cpy");
  tree::format_4 *constant = mformat_4(NoTree, 78, PutString("78", 2), Id("K"), at, Id("K"), at,
                                       false, at, at, mnoexpression(at, at));
  trafo_data_desc(List({rec3, constant}));
  EXPECT_EQ(rec3->next, constant);
  EXPECT_TRUE(is<tree::nodata_description_entry>(rec3->data_description_entry_l));
  EXPECT_EQ(Messages(), "");
}

TEST_F(TrafoTest, RoutineFailuresEndTheRun) {
  tree::format_1 *a = Entry(1, "A", At(1, 8));
  a->next = Ref("STRAY", At(2, 8)); // a node of another kind in the entry list
  EXPECT_THROW(trafo_data_desc(a), FatalError);
  tree::format_copy *rec = CopyEntry(); // the same after copied entries
  tree::format_1 *x1 = Entry(5, "X1", At(1, 12, "RECX.cpy"));
  rec->next = x1;
  x1->next = mnodata_clause();
  EXPECT_THROW(trafo_data_desc(rec), FatalError);
  EXPECT_EQ(Messages(), "Fatal       routine failed: Trafo.trafo_data_desc\n"
                        "Fatal       routine failed: Trafo.get_end_of_copy\n");
  EXPECT_EQ(GetCount(xxFatal), 2);
}

} // namespace

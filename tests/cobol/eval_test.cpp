#include <gtest/gtest.h>

#include <string>

#include "cobol/Eval.h"
#include "cobol/Trafo.h"
#include "cobol/Tree.h"
#include "cobol/deftab.h"
#include "common/Errors.h"
#include "reuse/StringM.h"
#include "tree_support.h"

namespace {

using EvalTest = FrontEndTest;
using TrafoTest = FrontEndTest;

tree::decl *Decl(tTree reference) {
  return as_if<tree::decl>(as<tree::identifier_c>(reference)->decl);
}

tTree Redefines(tTree object, const tPosition &at) {
  return mredefines(mnodata_clause(), at, at, cwRedefines, object);
}

tTree OccursDepending(tTree item, const tPosition &at) {
  return moccurs(mnodata_clause(), at, at, cwOccurs, 1, at, at, 10, at, at, item,
                 mnoa_de_scending(), mnoidentifier());
}

// A data_division node whose WORKING-STORAGE section holds `entries`.
tTree Division(tTree entries) {
  const tPosition p = NoPosition;
  tTree end_s = mnoschema_description();
  return mdata_division(end_s, mnofile_description(), mnoschema_description(), entries,
                        mnodata_description_entry(), mnodata_description_entry(),
                        mnodata_description_entry(), mnocommunication_description(),
                        mnoreport_description(), mnoscreen_description(), p, p, p, p, p, p, p, p, p,
                        p, p, p, p, p, p, p, p, p, p, p, p, p);
}

// Chains entries in the given order and closes the list with an end node.
tTree List(std::initializer_list<tree::data_description_entry *> entries) {
  tTree list = mnodata_description_entry();
  for (auto it = entries.end(); it != entries.begin();) {
    --it;
    (*it)->next = list;
    list = *it;
  }
  return list;
}

TEST_F(EvalTest, UndeclaredNameIsDeclaredOnceAndReportedOnce) {
  tree::decl *rec = DeclareEntry(1, "REC", At(1, 8, "UND.cpy"));
  tree::name *first = Ref("CNT", At(2, 40, "UND.cpy"));
  tree::name *second = Ref("CNT", At(3, 40, "UND.cpy"));
  tree::format_1 *a =
      Entry(5, "A", At(2, 12, "UND.cpy"), OccursDepending(first, At(2, 20, "UND.cpy")));
  tree::format_1 *b =
      Entry(5, "B", At(3, 12, "UND.cpy"), OccursDepending(second, At(3, 20, "UND.cpy")));
  Eval(Division(List({as<tree::format_1>(rec->object), a, b})));

  ASSERT_NE(Decl(first), nullptr);
  EXPECT_EQ(Decl(first), Decl(second));
  EXPECT_EQ(Decl(first)->level, 0);
  EXPECT_EQ(Decl(first)->position.Line, 2u);
  EXPECT_EQ(deftab_decls, Decl(first));
  EXPECT_EQ(Messages(), "\"UND.cpy\":   2, 40: Error       name not declared: CNT\n");
}

TEST_F(EvalTest, RedefinesResolvesAtOnceAgainstEarlierDeclarations) {
  DeclareEntry(1, "R1", At(1, 8, "RED.cpy"));
  DeclareEntry(5, "B", At(2, 12, "RED.cpy"));
  DeclareEntry(1, "R2", At(3, 8, "RED.cpy"));
  tree::decl *b2 = DeclareEntry(5, "B", At(4, 12, "RED.cpy"));
  // 05 A REDEFINES B: the parser resolves the object before A is declared.
  tree::name *object = Ref("B", At(5, 27, "RED.cpy"));
  Eval(object);
  EXPECT_EQ(Decl(object), b2);
  // 05 C REDEFINES LATER, with LATER only declared further down.
  tree::name *later = Ref("LATER", At(6, 27, "RED.cpy"));
  Eval(later);
  tree::decl *implicit = Decl(later);
  DeclareEntry(5, "LATER", At(7, 12, "RED.cpy"));
  // The driver's pass leaves resolved references alone.
  tree::format_1 *a = Entry(5, "A", At(5, 12, "RED.cpy"), Redefines(object, At(5, 17, "RED.cpy")));
  tree::format_1 *c = Entry(5, "C", At(6, 12, "RED.cpy"), Redefines(later, At(6, 17, "RED.cpy")));
  Eval(Division(List({a, c})));
  EXPECT_EQ(Decl(object), b2);
  EXPECT_EQ(Decl(later), implicit);
  EXPECT_EQ(implicit->level, 0);
  EXPECT_EQ(Messages(),
            "\"RED.cpy\":   5, 27: Error       ambiguous data name: B\n"
            "\"RED.cpy\":   5, 27: Information possible declaration: \"RED.cpy\":   4, 12\n"
            "\"RED.cpy\":   5, 27: Information possible declaration: \"RED.cpy\":   2, 12\n"
            "\"RED.cpy\":   6, 27: Error       name not declared: LATER\n");
}

TEST_F(EvalTest, QualifiedReferencesSearchBelowTheQualifier) {
  tree::decl *r = DeclareEntry(1, "R", At(1, 8, "QUA.cpy"));
  DeclareEntry(5, "G", At(2, 12, "QUA.cpy"));
  tree::decl *x = DeclareEntry(10, "X", At(3, 16, "QUA.cpy"));
  DeclareEntry(1, "S", At(4, 8, "QUA.cpy"));
  tree::decl *y_in_s = DeclareEntry(5, "Y", At(5, 12, "QUA.cpy"));

  tree::qualification *found = RefOf("X", Ref("R", At(6, 45, "QUA.cpy")), At(6, 40, "QUA.cpy"));
  tree::qualification *missing = RefOf("Y", Ref("R", At(7, 45, "QUA.cpy")), At(7, 40, "QUA.cpy"));
  tree::qualification *again = RefOf("Y", Ref("R", At(8, 45, "QUA.cpy")), At(8, 40, "QUA.cpy"));
  tree::format_1 *a =
      Entry(5, "A", At(6, 12, "QUA.cpy"), OccursDepending(found, At(6, 20, "QUA.cpy")));
  tree::format_1 *b =
      Entry(5, "B", At(7, 12, "QUA.cpy"), OccursDepending(missing, At(7, 20, "QUA.cpy")));
  tree::format_1 *c =
      Entry(5, "C", At(8, 12, "QUA.cpy"), OccursDepending(again, At(8, 20, "QUA.cpy")));
  Eval(Division(List({a, b, c})));

  EXPECT_EQ(Decl(found), x);
  EXPECT_EQ(Decl(found->qualification), r);
  tree::decl *made = Decl(missing);
  ASSERT_NE(made, nullptr);
  EXPECT_NE(made, y_in_s);
  EXPECT_EQ(made->level, 0);
  EXPECT_EQ(made->lower, r);
  EXPECT_EQ(r->fields, made);
  EXPECT_EQ(Decl(again), made);
  EXPECT_EQ(Messages(), "\"QUA.cpy\":   7, 40: Error       field not declared: Y\n");
}

TEST_F(EvalTest, UndeclaredQualifierIsReportedBeforeItsField) {
  tree::qualification *ref = RefOf("X", Ref("NOREC", At(2, 45, "NQ.cpy")), At(2, 40, "NQ.cpy"));
  Eval(ref);
  tree::decl *qualifier = Decl(ref->qualification);
  ASSERT_NE(qualifier, nullptr);
  EXPECT_EQ(Decl(ref)->lower, qualifier);
  EXPECT_EQ(Messages(), "\"NQ.cpy\":   2, 40: Error       field not declared: X\n"
                        "\"NQ.cpy\":   2, 45: Error       name not declared: NOREC\n");
}

TEST_F(EvalTest, MarkedNamesAreNotLookedUp) {
  tree::name *index_name = Ref("IDX", At(3, 50));
  index_name->decl = TreeNoReference;
  tree::qualification *marked = RefOf("Q", Ref("NOREC", At(3, 60)), At(3, 55));
  as<tree::name>(marked->qualification)->decl = TreeNoReference;
  marked->decl = TreeNoReference;
  Eval(index_name);
  Eval(marked);
  EXPECT_EQ(index_name->decl, NoTree);
  EXPECT_EQ(marked->decl, NoTree);
  EXPECT_EQ(as<tree::name>(marked->qualification)->decl, NoTree);
  EXPECT_EQ(Messages(), "");
  EXPECT_EQ(Identify(Id("IDX")), nullptr);
}

TEST_F(EvalTest, SubscriptedItemTakesItsItemsDeclaration) {
  tree::decl *t = DeclareEntry(1, "T", At(1, 8));
  tree::name *item = Ref("T", At(4, 30));
  tree::name *index = Ref("I", At(4, 32));
  tTree subscripts = mexpression(mnoexpression_l(), index);
  tree::subscription *s = msubscription(At(4, 30), At(4, 34), item, subscripts, At(4, 31));
  tree::value_is *v = mvalue_is(mnodata_clause(), At(4, 20), At(4, 34), cwValue, s);
  tree::format_1 *a = Entry(5, "A", At(4, 12), v);
  Eval(a);
  EXPECT_EQ(Decl(s), t);
  EXPECT_EQ(Decl(item), t);
  ASSERT_NE(Decl(index), nullptr);
  EXPECT_EQ(Decl(index)->level, 0);
  EXPECT_EQ(GetCount(xxError), 1);
}

TEST_F(EvalTest, WithoutNameCheckNothingIsDeclaredOrReported) {
  NameCheck = false;
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

TEST_F(TrafoTest, CopiedEntriesMoveUnderTheirEntry) {
  // 01 REC COPY RECX.   (main file)
  //   05 X1, 05 X2      (from RECX.cpy)
  // 01 NEXT-REC.        (main file)
  const tPosition rec_at = At(1, 8, "MAIN.cpy");
  tree::format_copy *rec =
      mformat_copy(NoTree, 1, PutString("01", 2), Id("REC"), rec_at, Id("REC"), rec_at, false,
                   rec_at, rec_at, mnodata_clause(), mnodata_description_entry());
  tree::format_1 *x1 = Entry(5, "X1", At(1, 12, "RECX.cpy"));
  tree::format_1 *x2 = Entry(5, "X2", At(2, 12, "RECX.cpy"));
  tree::format_1 *after = Entry(1, "NEXT-REC", At(2, 8, "MAIN.cpy"));
  tTree list = List({rec, x1, x2, after});
  tTree end = after->next;

  EXPECT_EQ(trafo_data_desc(list), list);
  EXPECT_EQ(rec->data_description_entry_l, x1);
  EXPECT_EQ(x1->next, x2);
  EXPECT_TRUE(is<tree::nodata_description_entry>(x2->next));
  EXPECT_EQ(rec->next, after);
  EXPECT_EQ(after->next, end);
  EXPECT_EQ(Messages(), "");
}

TEST_F(TrafoTest, CopyStatementsAndCommentsOfTheCopiedFileMoveToo) {
  const tPosition rec_at = At(1, 8, "MAIN.cpy");
  tree::format_copy *rec =
      mformat_copy(NoTree, 1, PutString("01", 2), Id("REC"), rec_at, Id("REC"), rec_at, false,
                   rec_at, rec_at, mnodata_clause(), mnodata_description_entry());
  tree::format_1 *x1 = Entry(5, "X1", At(1, 12, "RECX.cpy"));
  tTree comment_text = mtext(mnotext(), Id("RECX.cpy"), 2, PutString("* note", 6));
  tree::d_comment *comment = md_comment(NoTree, comment_text);
  tTree stmt = ms_copy(mnostatement(), At(3, 12, "RECX.cpy"), At(3, 22, "RECX.cpy"), NoTree, true,
                       Ref("SUB", At(3, 17, "RECX.cpy")), cwNone, mnocopy_replacing(), NoIdent);
  tree::data_desc_copy *nested = mdata_desc_copy(NoTree, stmt);
  tree::d_comment *empty_comment = md_comment(NoTree, mnotext());
  tTree list = List({rec, x1, comment, nested, empty_comment});
  trafo_data_desc(list);
  EXPECT_EQ(rec->data_description_entry_l, x1);
  EXPECT_EQ(x1->next, comment);
  EXPECT_EQ(comment->next, nested);
  EXPECT_TRUE(is<tree::nodata_description_entry>(nested->next));
  // A comment without lines belongs to no file and ends the copied entries.
  EXPECT_EQ(rec->next, empty_comment);
}

TEST_F(TrafoTest, CopyWithoutFollowingEntryStaysAsItIs) {
  const tPosition at = At(1, 8, "MAIN.cpy");
  tTree own_list = mnodata_description_entry();
  tree::format_copy *rec = mformat_copy(NoTree, 1, PutString("01", 2), Id("REC"), at, Id("REC"), at,
                                        false, at, at, mnodata_clause(), own_list);
  tree::format_4 *constant =
      mformat_4(NoTree, 78, PutString("78", 2), Id("K"), At(1, 8, "RECX.cpy"), Id("K"), at, false,
                at, at, mnoexpression(at, at));
  tTree list = List({rec, constant});
  trafo_data_desc(list);
  EXPECT_EQ(rec->next, constant);
  EXPECT_EQ(rec->data_description_entry_l, own_list);
}

TEST_F(TrafoTest, RoutineFailuresGoThroughTheExitHook) {
  // A node of another kind in the entry list.
  const tPosition at = At(1, 8);
  tree::format_1 *a = Entry(1, "A", at);
  a->next = Ref("STRAY", At(2, 8));
  EXPECT_THROW(trafo_data_desc(a), ExitHookCalled);

  // The same after copied entries.
  tree::format_copy *rec =
      mformat_copy(NoTree, 1, PutString("01", 2), Id("REC"), at, Id("REC"), at, false, at, at,
                   mnodata_clause(), mnodata_description_entry());
  tree::format_1 *x1 = Entry(5, "X1", At(1, 12, "RECX.cpy"));
  rec->next = x1;
  x1->next = mnodata_clause();
  EXPECT_THROW(trafo_data_desc(rec), ExitHookCalled);

  EXPECT_EQ(Messages(), "Fatal       routine failed: Trafo.trafo_data_desc\n"
                        "Fatal       routine failed: Trafo.get_end_of_copy\n");
  EXPECT_EQ(GetCount(xxFatal), 2);
}

TEST_F(TrafoTest, FailureWithReturningHookLeavesTheListUsable) {
  Trafo_Exit = [] {};
  tree::format_1 *a = Entry(1, "A", At(1, 8));
  a->next = mnodata_clause();
  EXPECT_EQ(trafo_data_desc(a), a);
  EXPECT_EQ(GetCount(xxFatal), 1);
}

} // namespace

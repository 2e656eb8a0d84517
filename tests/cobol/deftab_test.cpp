#include <gtest/gtest.h>

#include <string>

#include "cobol/Tree.h"
#include "cobol/deftab.h"
#include "common/Errors.h"
#include "tree_support.h"

namespace {

using DeftabTest = FrontEndTest;

tree::decl *Next(const tree::decl *d) { return as_if<tree::decl>(d->next); }
tree::decl *Fields(const tree::decl *d) { return as_if<tree::decl>(d->fields); }
tree::decl *Lower(const tree::decl *d) { return as_if<tree::decl>(d->lower); }
tree::decl *Root() {
  tree::decl *d = deftab_decls;
  while (d->level != 0 || d->name != NoIdent) d = Next(d);
  return d;
}

TEST_F(DeftabTest, LevelsBuildTheHierarchy) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  tree::decl *b = DeclareEntry(5, "B", At(2, 12));
  tree::decl *c = DeclareEntry(10, "C", At(3, 16));
  tree::decl *d = DeclareEntry(5, "D", At(4, 12));
  tree::decl *e = DeclareEntry(1, "E", At(5, 8));

  EXPECT_EQ(deftab_decls, Root());
  EXPECT_EQ(Next(deftab_decls), a);
  EXPECT_EQ(Fields(a), b);
  EXPECT_EQ(Next(b), d);
  EXPECT_EQ(Next(d), nullptr);
  EXPECT_EQ(Fields(b), c);
  EXPECT_EQ(Fields(c), nullptr);
  EXPECT_EQ(Next(a), e);
  EXPECT_EQ(Next(e), nullptr);
  EXPECT_EQ(Lower(c), b);
  EXPECT_EQ(Lower(b), a);
  EXPECT_EQ(Lower(d), a);
  EXPECT_EQ(Lower(a), nullptr);
  EXPECT_EQ(as<tree::format_1>(c->object)->name, Id("C"));
  EXPECT_EQ(c->level, 10);
  EXPECT_EQ(c->kind, 0);
  EXPECT_EQ(Messages(), "");
}

TEST_F(DeftabTest, LevelBetweenOpenLevelsBecomesSiblingOfTheLaterOne) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  tree::decl *b = DeclareEntry(5, "B", At(2, 12));
  tree::decl *c = DeclareEntry(3, "C", At(3, 10));
  tree::decl *d = DeclareEntry(4, "D", At(4, 11));
  tree::decl *e = DeclareEntry(3, "E", At(5, 10));
  EXPECT_EQ(Fields(a), b);
  EXPECT_EQ(Next(b), c);
  EXPECT_EQ(c->level, 3);
  EXPECT_EQ(Lower(c), a);
  EXPECT_EQ(Fields(c), d);
  EXPECT_EQ(Next(c), e);
}

TEST_F(DeftabTest, ConditionNamesGoUnderTheEntryBefore) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  tree::decl *b = DeclareEntry(5, "B", At(2, 12));
  tree::decl *yes = DeclareEntry(88, "B-YES", At(3, 16));
  tree::decl *no = DeclareEntry(88, "B-NO", At(4, 16));
  tree::decl *c = DeclareEntry(5, "C", At(5, 12));
  tree::decl *r2 = DeclareEntry(1, "R2", At(6, 8));
  tree::decl *flag = DeclareEntry(88, "R2-SET", At(7, 12));
  EXPECT_EQ(Fields(b), yes);
  EXPECT_EQ(Next(yes), no);
  EXPECT_EQ(Lower(no), b);
  EXPECT_EQ(Next(b), c);
  EXPECT_EQ(Lower(c), a);
  EXPECT_EQ(Fields(r2), flag);
}

TEST_F(DeftabTest, RenamesFollowsTheRecordsLastMember) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  tree::decl *b = DeclareEntry(5, "B", At(2, 12));
  DeclareEntry(10, "C", At(3, 16));
  tree::decl *x = DeclareEntry(66, "X", At(4, 8));
  tree::decl *y = DeclareEntry(66, "Y", At(5, 8));
  EXPECT_EQ(Next(b), x);
  EXPECT_EQ(Lower(x), a);
  EXPECT_EQ(Next(x), y);
  // A level after the 66 entries continues the record.
  tree::decl *d = DeclareEntry(5, "D", At(6, 12));
  EXPECT_EQ(Next(y), d);
  EXPECT_EQ(Lower(d), a);
}

TEST_F(DeftabTest, IndependentItemsAndConstantsStandAtTheTop) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  DeclareEntry(5, "B", At(2, 12));
  tree::decl *n = DeclareEntry(77, "N", At(3, 8));
  tree::decl *k = DeclareEntry(78, "K", At(4, 8));
  tree::decl *r = DeclareEntry(1, "R", At(5, 8));
  tree::decl *f = DeclareEntry(5, "F", At(6, 12));
  EXPECT_EQ(Next(a), n);
  EXPECT_EQ(Next(n), k);
  EXPECT_EQ(Next(k), r);
  EXPECT_EQ(Lower(n), nullptr);
  EXPECT_EQ(Fields(r), f);
}

TEST_F(DeftabTest, FileRecordsGoUnderTheirDescription) {
  Section = dkFile;
  tree::decl *fd1 = DeclareEntry(93, "F1", At(1, 8));
  tree::decl *r1 = DeclareEntry(1, "R1", At(2, 8));
  tree::decl *x = DeclareEntry(5, "X", At(3, 12));
  tree::decl *ren = DeclareEntry(66, "REN", At(4, 8));
  tree::decl *r2 = DeclareEntry(1, "R2", At(5, 8));
  tree::decl *fd2 = DeclareEntry(93, "F2", At(6, 8));
  tree::decl *r3 = DeclareEntry(1, "R3", At(7, 8));
  EXPECT_EQ(Next(Root()), fd1);
  EXPECT_EQ(Fields(fd1), r1);
  EXPECT_EQ(Lower(r1), fd1);
  EXPECT_EQ(Fields(r1), x);
  EXPECT_EQ(Next(x), ren);
  EXPECT_EQ(Lower(ren), r1);
  EXPECT_EQ(Next(r1), r2);
  EXPECT_EQ(Next(fd1), fd2);
  EXPECT_EQ(Fields(fd2), r3);
  EXPECT_EQ(r3->kind, dkFile);
}

TEST_F(DeftabTest, CommunicationItemsGoUnderTheirDescription) {
  Section = dkCommunication;
  tree::decl *cd = DeclareEntry(95, "CD1", At(1, 8));
  cd_names[0] = {Id("CD1-REC"), At(1, 12), At(1, 19)};
  cd_names[1] = {Id("CD1-QUEUE"), At(2, 12), At(2, 21)};
  cd_names[2] = {Id("CD1-LENGTH"), At(3, 12), At(3, 22)};
  Declare_CD(2, cd->object, At(3, 30));
  tree::decl *rec = Fields(cd);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->name, Id("CD1-REC"));
  EXPECT_EQ(rec->level, 1);
  ASSERT_NE(Fields(rec), nullptr);
  EXPECT_EQ(Fields(rec)->name, Id("CD1-QUEUE"));
  EXPECT_EQ(Next(Fields(rec))->name, Id("CD1-LENGTH"));
  EXPECT_EQ(Next(Fields(rec))->e_pos.Column, 30);
  EXPECT_EQ(Lower(Fields(rec)), rec);
  EXPECT_EQ(rec->kind, dkCommunication);
  // The records of the description follow its implicit record.
  tree::decl *own = DeclareEntry(1, "OWN-REC", At(4, 8));
  EXPECT_EQ(Next(rec), own);
}

TEST_F(DeftabTest, ImplicitDeclarationsGoInFrontOfTheTopLevelList) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  tree::decl *first = Declare(0, {Id("U1"), At(9, 20), At(9, 22)}, NoTree, At(9, 22));
  tree::decl *second = Declare(0, {Id("U2"), At(9, 30), At(9, 32)}, NoTree, At(9, 32));
  tree::decl *b = DeclareEntry(5, "B", At(2, 12));
  EXPECT_EQ(deftab_decls, second);
  EXPECT_EQ(Next(second), first);
  EXPECT_EQ(Next(first), Root());
  EXPECT_EQ(Next(Root()), a);
  EXPECT_EQ(Fields(a), b);
  EXPECT_EQ(Identify(Id("U1")), first);
}

TEST_F(DeftabTest, DuplicateSiblingsAreReportedAndStillDeclared) {
  DeclareEntry(1, "R", At(1, 8, "DUP.cpy"));
  tree::decl *b1 = DeclareEntry(5, "B", At(2, 12, "DUP.cpy"));
  DeclareEntry(10, "C", At(3, 16, "DUP.cpy"));
  tree::decl *b2 = DeclareEntry(5, "B", At(4, 12, "DUP.cpy"));
  // The same name in another group or at another level is no duplicate.
  DeclareEntry(5, "G", At(5, 12, "DUP.cpy"));
  DeclareEntry(10, "C", At(6, 16, "DUP.cpy"));
  // Two records of one name are siblings at the top.
  DeclareEntry(1, "R", At(7, 8, "DUP.cpy"));
  EXPECT_EQ(Next(b1), b2);
  EXPECT_EQ(Identify(Id("B")), b2);
  EXPECT_EQ(Messages(),
            "\"DUP.cpy\":   4, 12: Error       name multiply declared: B\n"
            "\"DUP.cpy\":   4, 12: Information previous declaration: \"DUP.cpy\":   2, 12\n"
            "\"DUP.cpy\":   7,  8: Error       name multiply declared: R\n"
            "\"DUP.cpy\":   7,  8: Information previous declaration: \"DUP.cpy\":   1,  8\n");
  EXPECT_EQ(GetCount(xxError), 2);
}

// The duplicate check looks siblings up through the name's hash chain; the
// declaration it names must still be the first one of the sibling list.
TEST_F(DeftabTest, EveryLaterDuplicateNamesTheFirstSibling) {
  DeclareEntry(1, "R", At(1, 8, "DUP.cpy"));
  DeclareEntry(5, "B", At(2, 12, "DUP.cpy"));
  DeclareEntry(5, "B", At(3, 12, "DUP.cpy"));
  DeclareEntry(5, "B", At(4, 12, "DUP.cpy"));
  EXPECT_EQ(Messages(),
            "\"DUP.cpy\":   3, 12: Error       name multiply declared: B\n"
            "\"DUP.cpy\":   3, 12: Information previous declaration: \"DUP.cpy\":   2, 12\n"
            "\"DUP.cpy\":   4, 12: Error       name multiply declared: B\n"
            "\"DUP.cpy\":   4, 12: Information previous declaration: \"DUP.cpy\":   2, 12\n");
}

TEST_F(DeftabTest, ImplicitDeclarationAtTheTopIsTheFirstSibling) {
  DeclareEntry(1, "R", At(1, 8, "DUP.cpy"));
  DeclareEntry(0, "R", At(2, 20, "DUP.cpy"));
  DeclareEntry(1, "R", At(3, 8, "DUP.cpy"));
  EXPECT_EQ(Messages(),
            "\"DUP.cpy\":   3,  8: Error       name multiply declared: R\n"
            "\"DUP.cpy\":   3,  8: Information previous declaration: \"DUP.cpy\":   2, 20\n");
}

TEST_F(DeftabTest, FillerAndUnnamedEntriesAreNoDuplicates) {
  DeclareEntry(1, "R", At(1, 8));
  tree::decl *f1 = DeclareEntry(5, "FILLER", At(2, 12));
  tree::decl *f2 = DeclareEntry(5, "FILLER", At(3, 12));
  tree::decl *u1 = DeclareEntry(5, "", At(4, 12));
  tree::decl *u2 = DeclareEntry(5, "", At(5, 12));
  EXPECT_EQ(Next(f1), f2);
  EXPECT_EQ(Next(u1), u2);
  EXPECT_EQ(u1->name, NoIdent);
  EXPECT_EQ(Identify(NoIdent), nullptr);
  EXPECT_EQ(search_count, 0);
  EXPECT_EQ(Messages(), "");
}

TEST_F(DeftabTest, NoDuplicateCheckWithoutNameCheck) {
  NameCheck = false;
  DeclareEntry(1, "R", At(1, 8));
  DeclareEntry(5, "B", At(2, 12));
  DeclareEntry(5, "B", At(3, 12));
  EXPECT_EQ(Messages(), "");
}

TEST_F(DeftabTest, IdentifyFindsTheNewestAndReportsAmbiguity) {
  DeclareEntry(1, "R1", At(1, 8, "AMB.cpy"));
  tree::decl *b1 = DeclareEntry(5, "B", At(2, 12, "AMB.cpy"));
  DeclareEntry(1, "R2", At(3, 8, "AMB.cpy"));
  tree::decl *b2 = DeclareEntry(5, "B", At(4, 12, "AMB.cpy"));
  EXPECT_EQ(Identify(Id("B")), b2);
  ASSERT_EQ(search_count, 2);
  EXPECT_EQ(search_result[1], b2);
  EXPECT_EQ(search_result[2], b1);
  EXPECT_EQ(Identify(Id("NOWHERE")), nullptr);
  EXPECT_EQ(search_count, 0);

  Identify(Id("B"));
  report_ambiguity(Id("B"), At(9, 30, "AMB.cpy"));
  EXPECT_EQ(Messages(),
            "\"AMB.cpy\":   9, 30: Error       ambiguous data name: B\n"
            "\"AMB.cpy\":   9, 30: Information possible declaration: \"AMB.cpy\":   4, 12\n"
            "\"AMB.cpy\":   9, 30: Information possible declaration: \"AMB.cpy\":   2, 12\n");
}

TEST_F(DeftabTest, IdentifyCollectsAtMostSixteen) {
  for (unsigned i = 0; i < 20; ++i) {
    Section = static_cast<std::int16_t>(i % 2 == 0 ? 5 : 8);
    Declare(77, {Id("SAME"), At(i + 1, 8), At(i + 1, 12)}, NoTree, At(i + 1, 13));
  }
  tree::decl *found = Identify(Id("SAME"));
  EXPECT_EQ(search_count, 16);
  EXPECT_EQ(found->position.Line, 20u);
  EXPECT_EQ(search_result[16]->position.Line, 5u);
  EXPECT_EQ(found->kind, 8);
}

TEST_F(DeftabTest, IdentifyFieldSearchesTheQualifiersSubtree) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  tree::decl *b = DeclareEntry(5, "B", At(2, 12));
  tree::decl *c = DeclareEntry(10, "C", At(3, 16));
  tree::decl *direct = DeclareEntry(5, "C", At(4, 12));
  tree::decl *other = DeclareEntry(1, "OTHER", At(5, 8));
  tree::decl *deep = DeclareEntry(5, "G", At(6, 12));
  DeclareEntry(10, "H", At(7, 16));
  tree::decl *z = DeclareEntry(15, "Z", At(8, 20));
  // A direct subordinate wins over a deeper one that comes first.
  EXPECT_EQ(IdentifyField(Id("C"), a), direct);
  EXPECT_EQ(IdentifyField(Id("Z"), other), z);
  EXPECT_EQ(IdentifyField(Id("Z"), deep), z);
  EXPECT_EQ(IdentifyField(Id("C"), other), nullptr);
  EXPECT_EQ(IdentifyField(Id("C"), NoTree), nullptr);
  EXPECT_EQ(IdentifyField(NoIdent, a), nullptr);
  EXPECT_EQ(IdentifyField(Id("C"), b), c);
}

TEST_F(DeftabTest, IdentifyFieldFindsTheRmsNamesAnywhere) {
  tree::decl *a = DeclareEntry(1, "A", At(1, 8));
  DeclareEntry(5, "B", At(2, 12));
  tree::decl *sts = DeclareEntry(1, "RMS-STS", At(3, 8));
  DeclareEntry(1, "OTHER-NAME", At(4, 8));
  EXPECT_EQ(IdentifyField(Id("RMS-STS"), a), sts);
  EXPECT_EQ(IdentifyField(Id("OTHER-NAME"), a), nullptr);
}

TEST_F(DeftabTest, QualifiedSearchResolvesEveryNameOfTheReference) {
  tree::decl *r1 = DeclareEntry(1, "R1", At(1, 8));
  tree::decl *g1 = DeclareEntry(5, "G", At(2, 12));
  tree::decl *x1 = DeclareEntry(10, "X", At(3, 16));
  DeclareEntry(1, "R2", At(4, 8));
  DeclareEntry(5, "G", At(5, 12));
  tree::decl *x2 = DeclareEntry(10, "X", At(6, 16));

  // X OF G OF R1: the older of two equal paths.
  tree::name *r = Ref("R1", At(9, 30));
  tree::qualification *g = RefOf("G", r, At(9, 25));
  tree::qualification *x = RefOf("X", g, At(9, 20));
  EXPECT_EQ(IdentifyField2(x), x1);
  EXPECT_EQ(x->decl, x1);
  EXPECT_EQ(g->decl, g1);
  EXPECT_EQ(r->decl, r1);

  // X OF R2 skips a level: the search goes on below R2's members.
  tree::qualification *x_of_r2 = RefOf("X", Ref("R2", At(10, 30)), At(10, 20));
  EXPECT_EQ(IdentifyField2(x_of_r2), x2);

  // X OF G finds the first G in the hierarchy whose subtree has an X.
  tree::qualification *x_of_g = RefOf("X", Ref("G", At(11, 30)), At(11, 20));
  EXPECT_EQ(IdentifyField2(x_of_g), x1);

  tree::qualification *missing = RefOf("Y", Ref("R2", At(12, 30)), At(12, 20));
  EXPECT_EQ(IdentifyField2(missing), nullptr);
  EXPECT_EQ(missing->decl, NoTree);
  EXPECT_EQ(as<tree::name>(missing->qualification)->decl, NoTree);

  // A chain that does not end in a name is no qualified reference.
  tree::qualification *broken = RefOf("X", mnoexpression(At(13, 30), At(13, 30)), At(13, 20));
  EXPECT_EQ(IdentifyField2(broken), nullptr);
}

} // namespace

// The declaration table where parsed copybooks (data/parser) cannot reach:
// file and communication descriptions, implicit declarations among
// duplicates, the search limit and the qualified search itself.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "diagnostics/message_store.h"
#include "frontend/declaration_table.h"
#include "frontend/keywords.h"
#include "frontend/syntax_tree.h"
#include "tree_support.h"

namespace {

// The search honours the reserved dialects (the RMS names), so every test
// starts from the default set whatever an earlier test left behind.
class DeftabTest : public FrontEndTest {
protected:
  void SetUp() override {
    FrontEndTest::SetUp();
    dialect() = DefaultDialects;
  }
};

tree::decl *Next(const tree::decl *d) { return as_if<tree::decl>(d->next); }
tree::decl *Fields(const tree::decl *d) { return as_if<tree::decl>(d->fields); }
tree::decl *Lower(const tree::decl *d) { return as_if<tree::decl>(d->lower); }

TEST_F(DeftabTest, FileRecordsGoUnderTheirDescription) {
  Section() = dkFile;
  tree::decl *fd1 = DeclareEntry(93, "F1", At(1, 8));
  tree::decl *r1 = DeclareEntry(1, "R1", At(2, 8));
  tree::decl *x = DeclareEntry(5, "X", At(3, 12));
  tree::decl *ren = DeclareEntry(66, "REN", At(4, 8));
  tree::decl *r2 = DeclareEntry(1, "R2", At(5, 8));
  tree::decl *fd2 = DeclareEntry(93, "F2", At(6, 8));
  tree::decl *r3 = DeclareEntry(1, "R3", At(7, 8));
  EXPECT_EQ(Fields(fd1), r1);
  EXPECT_EQ(Lower(r1), fd1);
  EXPECT_EQ(Next(x), ren);
  EXPECT_EQ(Lower(ren), r1);
  EXPECT_EQ(Next(r1), r2);
  EXPECT_EQ(Next(fd1), fd2);
  EXPECT_EQ(Fields(fd2), r3);
  EXPECT_EQ(r3->kind, dkFile);
}

TEST_F(DeftabTest, CommunicationItemsGoUnderTheirDescription) {
  Section() = dkCommunication;
  tree::decl *cd = DeclareEntry(95, "CD1", At(1, 8));
  cd_names()[0] = {Id("CD1-REC"), At(1, 12), At(1, 19)};
  cd_names()[1] = {Id("CD1-QUEUE"), At(2, 12), At(2, 21)};
  cd_names()[2] = {Id("CD1-LENGTH"), At(3, 12), At(3, 22)};
  Declare_CD(2, cd->object, At(3, 30));
  tree::decl *rec = Fields(cd);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(rec->name, Id("CD1-REC"));
  ASSERT_NE(Fields(rec), nullptr);
  EXPECT_EQ(Fields(rec)->name, Id("CD1-QUEUE"));
  EXPECT_EQ(Next(Fields(rec))->name, Id("CD1-LENGTH"));
  EXPECT_EQ(Next(Fields(rec))->position.Line, 3u);
  EXPECT_EQ(Next(Fields(rec))->position.Column, 12);
  EXPECT_EQ(Lower(Fields(rec)), rec);
  EXPECT_EQ(rec->kind, dkCommunication);
  // The records of the description follow its implicit record.
  EXPECT_EQ(Next(rec), DeclareEntry(1, "OWN-REC", At(4, 8)));
}

TEST_F(DeftabTest, DuplicateOfAnImplicitDeclarationNamesIt) {
  DeclareEntry(1, "R", At(1, 8, "DUP.cpy"));
  DeclareEntry(0, "R", At(2, 20, "DUP.cpy"));
  DeclareEntry(1, "R", At(3, 8, "DUP.cpy"));
  EXPECT_EQ(Messages(),
            "\"DUP.cpy\":   3,  8: Error       name multiply declared: R\n"
            "\"DUP.cpy\":   3,  8: Information previous declaration: \"DUP.cpy\":   2, 20\n");
  NameCheck() = false;
  DeclareEntry(1, "R", At(4, 8, "DUP.cpy"));
  EXPECT_EQ(GetCount(xxError), 1);
}

// The duplicate check forgets a sibling list once its parent can take no
// more members; these are the lists that can still grow when it does.
TEST_F(DeftabTest, DuplicatesFoundInEveryListThatCanStillGrow) {
  DeclareEntry(1, "R", At(1, 8, "D.cpy"));
  DeclareEntry(5, "G1", At(2, 12, "D.cpy"));
  DeclareEntry(10, "X", At(3, 16, "D.cpy"));
  DeclareEntry(5, "G2", At(4, 12, "D.cpy"));
  // Under another parent: no duplicate of line 3.
  DeclareEntry(10, "X", At(5, 16, "D.cpy"));
  // The record's own list is still open below its later members.
  DeclareEntry(5, "G1", At(6, 12, "D.cpy"));
  // A level between 05 and 10 goes on with the list of line 7.
  DeclareEntry(10, "Y", At(7, 16, "D.cpy"));
  DeclareEntry(7, "Y", At(8, 14, "D.cpy"));
  // A record of the same names after the first one closed.
  DeclareEntry(1, "S", At(9, 8, "D.cpy"));
  DeclareEntry(5, "G1", At(10, 12, "D.cpy"));
  DeclareEntry(10, "X", At(11, 16, "D.cpy"));
  // The top-level list never closes.
  DeclareEntry(1, "R", At(12, 8, "D.cpy"));
  EXPECT_EQ(Messages(),
            "\"D.cpy\":   6, 12: Error       name multiply declared: G1\n"
            "\"D.cpy\":   6, 12: Information previous declaration: \"D.cpy\":   2, 12\n"
            "\"D.cpy\":   8, 14: Error       name multiply declared: Y\n"
            "\"D.cpy\":   8, 14: Information previous declaration: \"D.cpy\":   7, 16\n"
            "\"D.cpy\":  12,  8: Error       name multiply declared: R\n"
            "\"D.cpy\":  12,  8: Information previous declaration: \"D.cpy\":   1,  8\n");
}

// Thousands of records keep thousands of top-level names in the duplicate
// check while the lists inside each record open and close: the check must
// find exactly the duplicates written, in lists of any age.
TEST_F(DeftabTest, DuplicatesFoundAmongThousandsOfRecords) {
  constexpr unsigned Records = 3000;
  std::string expected;
  const auto line = [](unsigned record, unsigned offset) { return record * 10 + offset; };
  const auto place = [](unsigned at, unsigned column) {
    char text[16];
    std::snprintf(text, sizeof text, "%4u,%3u", at, column);
    return std::string(text);
  };
  for (unsigned r = 1; r <= Records; ++r) {
    const std::string record = "R-" + std::to_string(r);
    DeclareEntry(1, record.c_str(), At(line(r, 0), 8, "M.cpy"));
    DeclareEntry(5, "A", At(line(r, 1), 12, "M.cpy"));
    DeclareEntry(10, "X", At(line(r, 2), 16, "M.cpy"));
    DeclareEntry(10, "Y", At(line(r, 3), 16, "M.cpy"));
    DeclareEntry(5, "B", At(line(r, 4), 12, "M.cpy"));
    // The same names under another parent, and in every record: no duplicates.
    DeclareEntry(10, "X", At(line(r, 5), 16, "M.cpy"));
    DeclareEntry(10, "Y", At(line(r, 6), 16, "M.cpy"));
    if (r % 7 == 0) {
      DeclareEntry(5, "A", At(line(r, 7), 12, "M.cpy"));
      expected +=
          "\"M.cpy\":" + place(line(r, 7), 12) + ": Error       name multiply declared: A\n";
      expected += "\"M.cpy\":" + place(line(r, 7), 12) +
                  ": Information previous declaration: \"M.cpy\":" + place(line(r, 1), 12) + "\n";
    }
  }
  // Top-level names stay in the check however many came after them.
  unsigned repeat = 0;
  for (unsigned r : {1u, Records / 2, Records}) {
    const std::string record = "R-" + std::to_string(r);
    const unsigned at = line(Records + 1, ++repeat);
    DeclareEntry(1, record.c_str(), At(at, 8, "M.cpy"));
    expected +=
        "\"M.cpy\":" + place(at, 8) + ": Error       name multiply declared: " + record + "\n";
    expected += "\"M.cpy\":" + place(at, 8) +
                ": Information previous declaration: \"M.cpy\":" + place(line(r, 0), 8) + "\n";
  }
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(GetCount(xxError), static_cast<int>(Records / 7 + 3));
}

TEST_F(DeftabTest, IdentifyCollectsAtMostSixteen) {
  for (unsigned i = 0; i < 20; ++i)
    Declare(77, {Id("SAME"), At(i + 1, 8), At(i + 1, 12)}, NoTree, At(i + 1, 13));
  EXPECT_EQ(Identify(Id("SAME"))->position.Line, 20u);
  EXPECT_EQ(search_count(), 16);
  EXPECT_EQ(search_result()[16]->position.Line, 5u);
}

TEST_F(DeftabTest, QualifiedSearchResolvesEveryNameOfTheReference) {
  tree::decl *r1 = DeclareEntry(1, "R1", At(1, 8));
  tree::decl *g1 = DeclareEntry(5, "G", At(2, 12));
  tree::decl *x1 = DeclareEntry(10, "X", At(3, 16));
  DeclareEntry(1, "R2", At(4, 8));
  DeclareEntry(5, "G", At(5, 12));
  DeclareEntry(10, "X", At(6, 16));
  // X OF G OF R1: the older of two equal paths.
  tree::name *r = Ref("R1", At(9, 30));
  tree::qualification *g = RefOf("G", r, At(9, 25));
  tree::qualification *x = RefOf("X", g, At(9, 20));
  EXPECT_EQ(IdentifyField2(x), x1);
  EXPECT_EQ(g->decl, g1);
  EXPECT_EQ(r->decl, r1);
  // X OF G: the first G in the hierarchy whose subtree has an X.
  EXPECT_EQ(IdentifyField2(RefOf("X", Ref("G", At(11, 30)), At(11, 20))), x1);
  tree::qualification *missing = RefOf("Y", Ref("R2", At(12, 30)), At(12, 20));
  EXPECT_EQ(IdentifyField2(missing), nullptr);
  EXPECT_EQ(as<tree::name>(missing->qualification)->decl, NoTree);
  // A chain that does not end in a name is no qualified reference.
  EXPECT_EQ(IdentifyField2(RefOf("X", mnoexpression(At(13, 30), At(13, 30)), At(13, 20))), nullptr);
}

} // namespace

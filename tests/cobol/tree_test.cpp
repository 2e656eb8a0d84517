#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <set>
#include <vector>

#include "cobol/Tree.h"
#include "common/Errors.h"
#include "reuse/StringM.h"
#include "reuse/rSystem.h"
#include "tree_support.h"

namespace {

using TreeTest = FrontEndTest;

tree::format_2 *Renames(const tPosition &at) {
  return mformat_2(NoTree, 66, PutString("66", 2), MakeIdent("X"), at, MakeIdent("X"), at, false,
                   at, at, NoIdent, NoPosition, NoIdent, NoPosition, mnoexpression(at, at),
                   mnoexpression(at, at));
}

TEST_F(TreeTest, KindTestFollowsTheHierarchy) {
  tTree renames = Renames(At(1, 8));
  EXPECT_TRUE(Tree_IsType(renames, kformat_2));
  EXPECT_TRUE(Tree_IsType(renames, kformat));
  EXPECT_TRUE(Tree_IsType(renames, kdata_description_entry));
  EXPECT_TRUE(Tree_IsType(renames, kdata_description_entry_l));
  EXPECT_FALSE(Tree_IsType(renames, kformat_1));
  EXPECT_FALSE(Tree_IsType(renames, kformat_3));
  EXPECT_FALSE(Tree_IsType(renames, kdata_clause_l));
  for (int kind = 1; kind <= TreeKindCount; ++kind) EXPECT_FALSE(Tree_IsType(NoTree, kind));

  // Every name kind is a reference, an expression, but no literal.
  tTree ref = Ref("N", At(1, 8));
  EXPECT_TRUE(Tree_IsType(ref, kqualification_c));
  EXPECT_TRUE(Tree_IsType(ref, kidentifier_c));
  EXPECT_TRUE(Tree_IsType(ref, kexpression_c));
  EXPECT_FALSE(Tree_IsType(ref, kliteral));
  EXPECT_FALSE(Tree_IsType(ref, kqualification));
}

TEST_F(TreeTest, TypeRangeEndsAtTheLastDescendant) {
  EXPECT_EQ(TypeRange[kdata_description_entry_l], kd_comment);
  EXPECT_EQ(TypeRange[kformat], kformat_copy);
  EXPECT_EQ(TypeRange[kdata_clause], kvalue_is);
  EXPECT_EQ(TypeRange[kexpression_c], kpseudo_text);
  EXPECT_EQ(TypeRange[kidentifier_c], kref_modification);
  EXPECT_EQ(TypeRange[kqualification_c], knoexpression);
  EXPECT_EQ(TypeRange[kcommunication_desc], ki_o);
  EXPECT_EQ(TypeRange[kformat_1], kformat_1);
  EXPECT_EQ(TypeRange[kdecl], kdecl);
}

TEST_F(TreeTest, CheckedCastRefusesOtherKinds) {
  tTree renames = Renames(At(1, 8));
  EXPECT_NE(as_if<tree::format>(renames), nullptr);
  EXPECT_EQ(as_if<tree::format_1>(renames), nullptr);
  EXPECT_EQ(as_if<tree::format_1>(NoTree), nullptr);
  EXPECT_DEATH(as<tree::format_1>(renames), "node of kind format_2 used as format_1");
  EXPECT_DEATH(as<tree::name>(NoTree), "node of kind \\(null\\) used as name");
}

TEST_F(TreeTest, ConstructorArgumentsFollowTheFieldOrder) {
  // 05 AMT PIC s9(05)v99 COMP-3 OCCURS 1 TO 10 DEPENDING ON N.
  const tPosition p = At(3, 12);
  tTree clauses = mnodata_clause();
  clauses =
      mpicture(clauses, At(3, 16), At(3, 29), cwPicture, At(3, 20), At(3, 29),
               PutString("S9(5)V99", 8), PutString("s9(05)v99", 9), false, mnoexpression(p, p));
  clauses = musage(clauses, At(3, 30), At(3, 36), cwUsage, cwComp3, false);
  clauses = moccurs(clauses, At(3, 37), At(3, 70), cwOccurs, 1, At(3, 44), At(3, 45), 10, At(3, 49),
                    At(3, 51), Ref("N", At(3, 65)), mnoa_de_scending(), mnoidentifier());
  clauses = ReverseTree(clauses);
  tree::format_1 *entry = Entry(5, "AMT", p, clauses);

  EXPECT_EQ(entry->Kind, kformat_1);
  EXPECT_EQ(entry->level_number, 5);
  EXPECT_STREQ(StGetCStr(entry->level_string), "05");
  EXPECT_EQ(entry->decl, NoTree);
  auto *picture = as<tree::picture>(entry->data_clause_l);
  EXPECT_EQ(picture->keyword, cwPicture);
  EXPECT_STREQ(StGetCStr(picture->value), "S9(5)V99");
  EXPECT_STREQ(StGetCStr(picture->string), "s9(05)v99");
  EXPECT_EQ(picture->pos.Column, 20);
  EXPECT_EQ(picture->epos1.Column, 29);
  auto *usage = as<tree::usage>(picture->next);
  EXPECT_EQ(usage->value, 73);
  EXPECT_FALSE(usage->native);
  auto *occurs = as<tree::occurs>(usage->next);
  EXPECT_EQ(occurs->from, 1);
  EXPECT_EQ(occurs->to, 10);
  EXPECT_EQ(occurs->pos2.Column, 49);
  EXPECT_EQ(as<tree::name>(occurs->depending)->name, Id("N"));
  EXPECT_EQ(as<tree::name>(occurs->depending)->decl, NoTree);
  EXPECT_TRUE(is<tree::noa_de_scending>(occurs->a_de_scending_l));
  EXPECT_TRUE(is<tree::nodata_clause>(occurs->next));

  tree::decl *d = mdecl(NoTree, Id("AMT"), p, p, p, 5, NoTree, NoTree, entry, NoTree, 5);
  EXPECT_EQ(d->object, entry);
  EXPECT_EQ(d->kind, 5);
  EXPECT_EQ(d->size, 0);
  EXPECT_EQ(d->occurs, 0);
  EXPECT_EQ(d->type, 0);
}

TEST_F(TreeTest, ReverseTreePutsListsIntoSourceOrder) {
  const tPosition p = At(1, 1);
  tTree end = mnodata_description_entry();
  tTree list = end;
  std::vector<tTree> made;
  for (const char *name : {"A", "B", "C"}) {
    list = mformat_4(list, 78, PutString("78", 2), Id(name), p, Id(name), p, false, p, p,
                     mnoexpression(p, p));
    made.push_back(list);
  }
  tTree reversed = ReverseTree(list);
  ASSERT_EQ(reversed, made[0]);
  EXPECT_EQ(as<tree::format_4>(reversed)->next, made[1]);
  EXPECT_EQ(as<tree::format_4>(made[1])->next, made[2]);
  EXPECT_EQ(as<tree::format_4>(made[2])->next, end);

  tTree single = mvalue_is(mnodata_clause(), p, p, cwValue, Ref("V", p));
  tTree single_end = as<tree::value_is>(single)->next;
  EXPECT_EQ(ReverseTree(single), single);
  EXPECT_EQ(as<tree::value_is>(single)->next, single_end);

  EXPECT_EQ(ReverseTree(end), end);
  EXPECT_EQ(ReverseTree(NoTree), NoTree);

  // Declaration chains end in null rather than in an end node.
  tree::decl *first = mdecl(NoTree, Id("D1"), p, p, p, 1, NoTree, NoTree, NoTree, NoTree, 0);
  tree::decl *second = mdecl(first, Id("D2"), p, p, p, 1, NoTree, NoTree, NoTree, NoTree, 0);
  EXPECT_EQ(ReverseTree(second), first);
  EXPECT_EQ(first->next, second);
  EXPECT_EQ(second->next, NoTree);
}

TEST_F(TreeTest, ChildVisitSkipsNextAndReferences) {
  const tPosition p = At(1, 1);
  tTree q1 = Ref("A", p);
  tTree q2 = Ref("B", p);
  tree::format_2 *renames =
      mformat_2(mnodata_description_entry(), 66, PutString("66", 2), Id("X"), p, Id("X"), p, false,
                p, p, NoIdent, NoPosition, NoIdent, NoPosition, q1, q2);
  renames->decl = mdecl(NoTree, Id("X"), p, p, p, 66, NoTree, NoTree, renames, NoTree, 0);
  std::vector<tTree> seen;
  Tree_ForEachChild(
      renames,
      [](tTree &child, void *out) { static_cast<std::vector<tTree> *>(out)->push_back(child); },
      &seen);
  EXPECT_EQ(seen, (std::vector<tTree>{q1, q2}));
  ASSERT_NE(Tree_Next(renames), nullptr);
  EXPECT_EQ(*Tree_Next(renames), renames->next);
  EXPECT_EQ(Tree_Next(q1), nullptr);
}

TEST_F(TreeTest, ArenaHoldsManyNodesAndIsReusedAfterRelease) {
  constexpr int Count = 200000;
  const tPosition p = At(7, 9);
  std::set<std::uintptr_t> addresses;
  std::vector<tree::integer *> nodes;
  nodes.reserve(Count);
  for (int i = 0; i < Count; ++i) {
    tree::integer *node = minteger(p, p, i, nullptr, (i & 1) != 0);
    ASSERT_NE(node, nullptr);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(node) % 8, 0u);
    nodes.push_back(node);
    addresses.insert(reinterpret_cast<std::uintptr_t>(node));
  }
  EXPECT_EQ(addresses.size(), static_cast<std::size_t>(Count));
  // Nodes do not overlap: each still holds what it was made with.
  for (int i = 0; i < Count; ++i) {
    ASSERT_EQ(nodes[i]->Kind, kinteger);
    ASSERT_EQ(nodes[i]->Value, i);
    ASSERT_EQ(nodes[i]->replaced, (i & 1) != 0);
  }
  const unsigned long node_size = (sizeof(tree::integer) + 7) / 8 * 8;
  const unsigned long per_block = 20480 / node_size;
  const unsigned long blocks = (Count + per_block - 1) / per_block;
  // A block holds 20480 bytes of nodes and the link to the previous block.
  EXPECT_EQ(Tree_HeapUsed, blocks * (20480 + sizeof(void *)));

  TreeRoot = nodes.back();
  ReleaseTreeModule();
  EXPECT_EQ(Tree_HeapUsed, 0u);
  EXPECT_EQ(TreeRoot, NoTree);

  tree::name *again = Ref("AGAIN", p);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->name, Id("AGAIN"));
  EXPECT_GT(Tree_HeapUsed, 0u);
}

// Limits the process's address space to what it uses now plus `extra` bytes.
void LimitAddressSpace(unsigned long extra) {
  unsigned long pages = 0;
  if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  const rlim_t limit = pages * 4096 + extra;
  const rlimit rl{limit, limit};
  setrlimit(RLIMIT_AS, &rl);
}

TEST_F(TreeTest, ExhaustedMemoryIsFatalThroughTheExitHook) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of refusing";
#endif
  // The pools report code 10 first; with their hooks returning, the tree
  // reports code 40 and leaves through its own hook, here the initial one.
  EXPECT_EXIT(
      {
        StoreMessages(false);
        Errors_Exit = [] {};
        Reuse_Exit = [] {};
        Tree_Exit = [] { rExit(1); };
        LimitAddressSpace(64UL << 20);
        for (;;) minteger(NoPosition, NoPosition, 0, nullptr, false);
      },
      ::testing::ExitedWithCode(1), "Fatal       tree out of memory: Tree\n$");
}

} // namespace

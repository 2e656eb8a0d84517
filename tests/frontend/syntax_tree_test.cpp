// Tests kind checks and casts, list reversal, child visits, arena reuse, out of memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "frontend/syntax_tree.h"
#include "diagnostics/message_store.h"
#include "support/string_memory.h"
#include "tree_support.h"

namespace {

using TreeTest = FrontEndTest;

tree::format_2 *Renames(const tPosition &at) {
  return mformat_2(NoTree, 66, PutString("66", 2), MakeIdent("X"), at, MakeIdent("X"), at, false,
                   at, at, NoIdent, NoPosition, NoIdent, NoPosition, mnoexpression(at, at),
                   mnoexpression(at, at));
}

TEST_F(TreeTest, KindTestAndCheckedCastFollowTheHierarchy) {
  tTree renames = Renames(At(1, 8));
  EXPECT_TRUE(Tree_IsType(renames, kformat_2));
  EXPECT_TRUE(Tree_IsType(renames, kformat));
  EXPECT_TRUE(Tree_IsType(renames, kdata_description_entry));
  EXPECT_TRUE(Tree_IsType(renames, kdata_description_entry_l));
  EXPECT_FALSE(Tree_IsType(renames, kformat_1));
  EXPECT_FALSE(Tree_IsType(renames, kformat_3));
  EXPECT_FALSE(Tree_IsType(NoTree, kformat));

  // Every name kind is a reference, an expression, but no literal.
  tTree ref = Ref("N", At(1, 8));
  EXPECT_TRUE(Tree_IsType(ref, kqualification_c));
  EXPECT_TRUE(Tree_IsType(ref, kidentifier_c));
  EXPECT_TRUE(Tree_IsType(ref, kexpression_c));
  EXPECT_FALSE(Tree_IsType(ref, kliteral));
  EXPECT_FALSE(Tree_IsType(ref, kqualification));

  EXPECT_NE(as_if<tree::format>(renames), nullptr);
  EXPECT_EQ(as_if<tree::format_1>(renames), nullptr);
  EXPECT_EQ(as_if<tree::format_1>(NoTree), nullptr);
  EXPECT_DEATH(as<tree::format_1>(renames), "node of kind format_2 used as format_1");
  EXPECT_DEATH(as<tree::name>(NoTree), "node of kind \\(null\\) used as name");
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

  EXPECT_EQ(ReverseTree(end), end);
  EXPECT_EQ(ReverseTree(NoTree), NoTree);

  // Declaration chains end in null rather than in an end node.
  tree::decl *first = mdecl(NoTree, Id("D1"), p, p, p, 1, NoTree, NoTree, NoTree, NoTree, 0);
  tree::decl *second = mdecl(first, Id("D2"), p, p, p, 1, NoTree, NoTree, NoTree, NoTree, 0);
  EXPECT_EQ(ReverseTree(second), first);
  EXPECT_EQ(first->next, second);
  EXPECT_EQ(second->next, NoTree);
}

// A clause list mixes kinds whose `next` sits at different offsets (each kind
// keeps it among its own fields): the constructors set it from their first
// argument, Tree_Next finds it in every kind, and ReverseTree restores source
// order across the kinds; the fields beside it keep their values.
TEST_F(TreeTest, ClauseListsOfMixedKindsLinkThroughEachKindsNext) {
  const tPosition p = At(2, 12);
  const tStringRef text = PutString("S9(4)", 5);
  tTree list = mnodata_clause();
  std::vector<tTree> made;
  list = mredefines(list, p, p, cwRedefines, Ref("OTHER", p));
  made.push_back(list);
  list = mpicture(list, p, p, cwPicture, p, p, text, text, true, mnoexpression(p, p));
  made.push_back(list);
  list = musage(list, p, p, cwUsage, cwComp3, true);
  made.push_back(list);
  list = msign(list, p, p, cwSign, cwLeading);
  made.push_back(list);
  list = moccurs(list, p, p, cwOccurs, 2, p, p, 7, p, p, mnoexpression(p, p), mnoa_de_scending(),
                 mnoidentifier());
  made.push_back(list);
  list = mdata_clause(list, p, p, cwJustified);
  made.push_back(list);
  list = mvalue_is(list, p, p, cwValue, mnoexpression(p, p));
  made.push_back(list);
  for (std::size_t i = 1; i < made.size(); ++i)
    ASSERT_EQ(*Tree_Next(made[i]), made[i - 1]) << Tree_KindName(made[i]->Kind);

  tTree ordered = ReverseTree(list);
  std::vector<std::uint16_t> keywords;
  for (tTree clause = ordered; is<tree::data_clause_c>(clause); clause = *Tree_Next(clause))
    keywords.push_back(as<tree::data_clause_c>(clause)->keyword);
  EXPECT_EQ(keywords, (std::vector<std::uint16_t>{cwRedefines, cwPicture, cwUsage, cwSign,
                                                  cwOccurs, cwJustified, cwValue}));
  EXPECT_TRUE(is<tree::nodata_clause>(*Tree_Next(made.back())));
  const auto *picture = as<tree::picture>(made[1]);
  EXPECT_EQ(picture->next, made[2]);
  EXPECT_TRUE(picture->replaced);
  EXPECT_EQ(picture->value, text);
  const auto *usage = as<tree::usage>(made[2]);
  EXPECT_EQ(usage->value, cwComp3);
  EXPECT_TRUE(usage->native);
  const auto *occurs = as<tree::occurs>(made[4]);
  EXPECT_EQ(occurs->from, 2);
  EXPECT_EQ(occurs->to, 7);
}

// The kinds a big copybook makes by the million hold no padding beyond the
// node's 8-byte rounding. Sizes counted by hand from the fields: the kind
// number 1, flags 1, levels and words 2, identifiers 4, positions 12, links,
// children and texts 8.
TEST_F(TreeTest, EntryAndClauseNodesHoldTheirFieldsWithoutPadding) {
  // kind, replaced, level, name, pos, spelling, next, decl, clauses
  EXPECT_EQ(sizeof(tree::format_1), 1u + 1 + 2 + 4 + 12 + 4 + 8 + 8 + 8);
  // the same with conditions and FALSE instead of clauses
  EXPECT_EQ(sizeof(tree::format_3), 1u + 1 + 2 + 4 + 12 + 4 + 8 + 8 + 8 + 8);
  // kind, keyword, replaced, next, value, string, depending: 36 rounded up
  EXPECT_EQ(sizeof(tree::picture), 40u);
  // kind, keyword, value, native, next: 14 rounded up
  EXPECT_EQ(sizeof(tree::usage), 16u);
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

TEST_F(TreeTest, ArenaHoldsManyNodesAndReleaseCountsAfresh) {
  constexpr int Count = 200000;
  const unsigned long before = Tree_HeapUsed(); // the fixture's own nodes
  std::vector<tree::integer *> nodes;
  for (int i = 0; i < Count; ++i)
    nodes.push_back(minteger(At(7, 9), At(7, 9), i, nullptr, (i & 1) != 0));
  // Nodes are aligned and do not overlap: each still holds what it was made with.
  for (int i = 0; i < Count; ++i) {
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(nodes[i]) % 8, 0u);
    ASSERT_EQ(nodes[i]->Value, i);
    ASSERT_EQ(nodes[i]->replaced, (i & 1) != 0);
  }
  // Every node takes its size rounded up to 8 bytes.
  EXPECT_EQ(Tree_HeapUsed() - before, Count * ((sizeof(tree::integer) + 7) / 8 * 8));
  TreeRoot() = nodes.back();
  ReleaseTreeModule();
  EXPECT_EQ(Tree_HeapUsed(), 0u);
  EXPECT_EQ(TreeRoot(), NoTree);
  EXPECT_EQ(Ref("AGAIN", At(7, 9))->name, Id("AGAIN"));
  EXPECT_GT(Tree_HeapUsed(), 0u);
}

// Limits the process's address space to what it uses now plus `extra` bytes.
void LimitAddressSpace(unsigned long extra) {
  unsigned long pages = 0;
  if (std::FILE *statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%lu", &pages) != 1)
      pages = 0;
    std::fclose(statm);
  }
  const rlim_t limit = pages * 4096 + extra;
  const rlimit rl{limit, limit};
  setrlimit(RLIMIT_AS, &rl);
}

TEST_F(TreeTest, ExhaustedMemoryEndsTheRunWithTheOutOfMemoryMessage) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's allocator aborts instead of refusing";
#endif
  // The arena's failure reaches the run's owner, which reports code 10 with
  // the bytes the run had obtained, as the program does.
  EXPECT_EXIT(
      {
        StoreMessages(false);
        LimitAddressSpace(64UL << 20);
        try {
          ReportingOutOfMemory([] {
            for (;;)
              minteger(NoPosition, NoPosition, 0, nullptr, false);
          });
        } catch (const FatalError &) {
          std::exit(1);
        }
      },
      ::testing::ExitedWithCode(1), "^Fatal       rMemory.Alloc out of memory: [0-9]+\n$");
}

} // namespace

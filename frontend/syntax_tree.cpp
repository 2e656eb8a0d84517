// Node arena and constructors, kind names and checks, list reversal, the cobol_word texts.
#include "frontend/syntax_tree.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "diagnostics/message_store.h"
#include "support/run_memory.h"
#include "support/run_state.h"

namespace {

// Checks at compile time that the kinds of frontend/syntax_tree.def are numbered in a
// preorder of their hierarchy, which Tree_IsType relies on: every kind inside
// a kind's range really derives from it, and every base precedes its kinds.
constexpr bool DerivesFrom(int kind, int base) {
  for (int k = kind; k != 0; k = TreeBase[k])
    if (k == base)
      return true;
  return false;
}
constexpr bool NumberedInPreorder() {
  for (int kind = 1; kind <= TreeKindCount; ++kind) {
    if (TreeBase[kind] >= kind)
      return false;
    for (int other = kind + 1; other <= TypeRange[kind]; ++other)
      if (!DerivesFrom(other, kind))
        return false;
  }
  return true;
}
static_assert(NumberedInPreorder(), "node kinds must be numbered in preorder");

constexpr const char *KindNames[TreeKindCount + 1] = {
    "?",
#define TREE_KIND(num, name, base) #name,
#include "frontend/syntax_tree.def"
};

struct TreeState {
  unsigned long heapUsed = 0; // bytes of the nodes made since ReleaseTreeModule
  tTree root = NoTree;
  // The one node of each kind without fields (list ends, absent clauses).
  std::array<tTree, TreeKindCount + 1> fieldless{};
};
constexpr RunSlot<TreeState> state{RunSlotId::syntaxTree};

// Nodes live in the run's arena until the run ends; exhaustion throws
// std::bad_alloc, which the run's owner reports.
void *TreeAlloc(unsigned long size) {
  size = (size + 7) & ~7UL;
  Tree_HeapUsed() += size;
  return RunAllocate(size, 8);
}

template <class T> T *TreeMake() {
  static_assert(alignof(T) <= 8);
  // A node without fields holds nothing but its kind, which never changes:
  // one per run serves every place, where a node each took 8 bytes of
  // every entry (its clause list's end) in a big copybook.
  if constexpr (sizeof(T) == sizeof(Tree_Node)) {
    tTree &shared = state().fieldless[T::KindNumber];
    if (shared == NoTree) {
      shared = new (TreeAlloc(sizeof(T))) T();
      shared->Kind = T::KindNumber;
    }
    return static_cast<T *>(shared);
  }
  void *storage = TreeAlloc(sizeof(T));
  T *node = new (storage) T();
  node->Kind = T::KindNumber;
  return node;
}

// Per-kind accessors generated from frontend/syntax_tree.def.
#define NEXT_SKIP(type, field)
#define NEXT_FIELD(type, field) NEXT_FIELD_##type(field)
#define NEXT_FIELD_link(field) return &node->field;
#define NEXT_FIELD_own_link(field) return &node->field;
#define NEXT_FIELD_base_link(field)
#define NEXT_FIELD_child(field)
#define NEXT_FIELD_ref(field)
#define NEXT_FIELD_later(field)
#define NEXT_FIELD_ident(field)
#define NEXT_FIELD_str(field)
#define NEXT_FIELD_pos(field)
#define NEXT_FIELD_flag(field)
#define NEXT_FIELD_chr(field)
#define NEXT_FIELD_shrt(field)
#define NEXT_FIELD_int32(field)
#define NEXT_FIELD_word(field)
#define NEXT_FIELD_dkind(field)
#define NEXT_FIELD_tflags(field)
#define NEXT_FIELD_unkept_pos(field)
#define NEXT_FIELD_unkept_str(field)

#define CHILD_FIELD(type, field) CHILD_FIELD_##type(field)
#define CHILD_FIELD_link(field)
#define CHILD_FIELD_own_link(field)
#define CHILD_FIELD_base_link(field)
#define CHILD_FIELD_child(field) visit(node->field, context);
#define CHILD_FIELD_ref(field)
#define CHILD_FIELD_later(field)
#define CHILD_FIELD_ident(field)
#define CHILD_FIELD_str(field)
#define CHILD_FIELD_pos(field)
#define CHILD_FIELD_flag(field)
#define CHILD_FIELD_chr(field)
#define CHILD_FIELD_shrt(field)
#define CHILD_FIELD_int32(field)
#define CHILD_FIELD_word(field)
#define CHILD_FIELD_dkind(field)
#define CHILD_FIELD_tflags(field)
#define CHILD_FIELD_unkept_pos(field)
#define CHILD_FIELD_unkept_str(field)

using Visitor = void (*)(tTree &, void *);

#define TREE_KIND(num, name, base)                                                                 \
  tTree *Next_##name([[maybe_unused]] ::tree::name *node) {                                        \
    TREE_FIELDS_##name(NEXT_FIELD, NEXT_FIELD) return nullptr;                                     \
  }                                                                                                \
  void Children_##name([[maybe_unused]] ::tree::name *node, [[maybe_unused]] Visitor visit,        \
                       [[maybe_unused]] void *context) {                                           \
    TREE_FIELDS_##name(CHILD_FIELD, CHILD_FIELD)                                                   \
  }
#include "frontend/syntax_tree.def"

using NextAccessor = tTree *(*)(tTree);
using ChildWalker = void (*)(tTree, Visitor, void *);

constexpr NextAccessor NextAccessors[TreeKindCount + 1] = {
    nullptr,
#define TREE_KIND(num, name, base)                                                                 \
  [](tTree node) { return Next_##name(static_cast<::tree::name *>(node)); },
#include "frontend/syntax_tree.def"
};

constexpr ChildWalker ChildWalkers[TreeKindCount + 1] = {
    nullptr,
#define TREE_KIND(num, name, base)                                                                 \
  [](tTree node, Visitor visit, void *context) {                                                   \
    Children_##name(static_cast<::tree::name *>(node), visit, context);                            \
  },
#include "frontend/syntax_tree.def"
};

bool IsKind(tTree node) {
  return node != nullptr && node->Kind >= 1 && node->Kind <= TreeKindCount;
}

} // namespace

unsigned long &Tree_HeapUsed() { return state().heapUsed; }
tTree &TreeRoot() { return state().root; }

const char *Tree_KindName(int kind) {
  return kind >= 1 && kind <= TreeKindCount ? KindNames[kind] : KindNames[0];
}

void Tree_BadCast(const Tree_Node *node, int expected) {
  std::fprintf(stderr, "Tree: node of kind %s used as %s\n",
               node == nullptr ? "(null)" : Tree_KindName(node->Kind), Tree_KindName(expected));
  std::abort();
}

#define TREE_SET(type, field) TREE_SET_##type(field)
#define TREE_SET_link(field) node->field = field;
#define TREE_SET_own_link(field) node->field = field;
#define TREE_SET_base_link(field)
#define TREE_SET_child(field) node->field = field;
#define TREE_SET_ref(field) node->field = field;
#define TREE_SET_later(field)
#define TREE_SET_ident(field) node->field = field;
#define TREE_SET_str(field) node->field = field;
#define TREE_SET_pos(field) node->field = field;
#define TREE_SET_flag(field) node->field = field;
#define TREE_SET_chr(field) node->field = field;
#define TREE_SET_shrt(field) node->field = field;
#define TREE_SET_int32(field) node->field = field;
#define TREE_SET_word(field) node->field = field;
#define TREE_SET_dkind(field) node->field = field;
#define TREE_SET_tflags(field) node->field = field;
#define TREE_SET_unkept_pos(field)
#define TREE_SET_unkept_str(field)
#define TREE_KIND(num, name, base)                                                                 \
  ::tree::name *m##name(TREE_PARAMS(name)) {                                                       \
    auto *node = TreeMake<::tree::name>();                                                         \
    if (node != nullptr) {                                                                         \
      TREE_FIELDS_##name(TREE_SET, TREE_SET)                                                       \
    }                                                                                              \
    return node;                                                                                   \
  }
#include "frontend/syntax_tree.def"

tTree *Tree_Next(tTree node) { return IsKind(node) ? NextAccessors[node->Kind](node) : nullptr; }

void Tree_ForEachChild(tTree node, Visitor visit, void *context) {
  if (IsKind(node))
    ChildWalkers[node->Kind](node, visit, context);
}

tTree ReverseTree(tTree list) {
  tTree previous = NoTree;
  tTree current = list;
  while (tTree *next = Tree_Next(current)) {
    tTree following = *next;
    *next = previous;
    previous = current;
    current = following;
  }
  if (previous == NoTree)
    return current;
  // `list` is now the last element; it takes over the end node.
  *Tree_Next(list) = current;
  return previous;
}

void ReleaseTreeModule() {
  Tree_HeapUsed() = 0;
  TreeRoot() = NoTree;
}

const char *const cobol_word[CobolWordCount] = {
#define WORD(code, id, text) text,
#include "frontend/word_codes.def"
};
// clang-format on

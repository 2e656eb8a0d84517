#pragma once
// The syntax tree: typed nodes for the DATA DIVISION, its entries, clauses,
// literals and names, and the `decl` nodes of the declaration table. The kinds,
// their numbers and their fields are described once, in frontend/syntax_tree.def.
//
// Nodes come from the run's arena, are trivially destructible, and are
// released all at once when the run ends. Every node starts with
// its kind number; a kind's fields follow those of its base kinds.

#include <array>
#include <cstdint>

#include "diagnostics/position.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

// The head that every node shares: its kind number, 1 to 179.
struct Tree_Node {
  std::uint8_t Kind;
};
using tTree = Tree_Node *;
// The absence of a node.
inline constexpr tTree NoTree = nullptr;

// Value of a reference field (`decl` of a name) that the parser gives to names
// that are not data references (copybook names, index names, class names);
// the resolver (Eval) turns it into null instead of looking the name up.
inline Tree_Node *const TreeNoReference = reinterpret_cast<Tree_Node *>(std::uintptr_t{1});

// C++ types of the field types of frontend/syntax_tree.def.
using TreeField_link = tTree;
using TreeField_own_link = tTree;
using TreeField_child = tTree;
using TreeField_ref = tTree;
using TreeField_later = tTree;
using TreeField_ident = tIdent;
using TreeField_str = tStringRef;
using TreeField_pos = tPosition;
using TreeField_flag = bool;
using TreeField_chr = char;
using TreeField_shrt = std::int16_t;
using TreeField_int32 = std::int32_t;
using TreeField_word = std::uint16_t;
using TreeField_dkind = std::int16_t;
using TreeField_tflags = std::uint8_t;

// Kind numbers: kformat_1 is 62 and so on. kTree_Node (0) is "no base".
inline constexpr std::uint8_t kTree_Node = 0;
#define TREE_KIND(num, name, base) inline constexpr std::uint8_t k##name = num;
#include "frontend/syntax_tree.def"

// The number of node kinds; kind numbers run from 1 to TreeKindCount.
inline constexpr int TreeKindCount = 179;

// The base kind of every kind (0 for kinds without a base).
inline constexpr std::array<std::uint8_t, TreeKindCount + 1> TreeBase = {
    0,
#define TREE_KIND(num, name, base) k##base,
#include "frontend/syntax_tree.def"
};

// TypeRange[K]: the highest kind number in K's subtree. Because the kinds are
// numbered in preorder, K' is K or derived from K exactly when
// K <= K' <= TypeRange[K].
inline constexpr std::array<std::uint8_t, TreeKindCount + 1> TypeRange = [] {
  std::array<std::uint8_t, TreeKindCount + 1> range{};
  for (int kind = TreeKindCount; kind >= 1; --kind) {
    if (range[kind] < kind)
      range[kind] = static_cast<std::uint8_t>(kind);
    const int base = TreeBase[kind];
    if (base != 0 && range[base] < range[kind])
      range[base] = range[kind];
  }
  return range;
}();

// True if the node is not null and its kind is `kind` or derived from it.
inline bool Tree_IsType(const Tree_Node *node, int kind) {
  return node != nullptr && kind <= node->Kind && node->Kind <= TypeRange[kind];
}

// The name of a kind ("format_1"), or "?" for a number that is no kind.
const char *Tree_KindName(int kind);

// One struct per kind, derived from the struct of its base kind. Each carries
// its kind number as KindNumber. They live in their own namespace because the
// kind names (name, string, integer, value ...) are common words.
//
// A kind's own fields are laid out smallest first, whatever their order in
// the table: the bytes after the one-byte kind number and between a base's
// fields and the first pointer take the flags, words and positions instead of
// padding. A big copybook's tree is hundreds of megabytes, so the padding of
// the declared order cost a tenth of the memory (and of the time the kernel
// spends clearing its pages). Code names fields, never relies on their order.
namespace tree {
#define TREE_OWN_SKIP(type, field)
// The size class of each field type, and a member only in its own class.
#define TREE_CLASS_flag 1
#define TREE_CLASS_chr 1
#define TREE_CLASS_tflags 1
#define TREE_CLASS_shrt 2
#define TREE_CLASS_word 2
#define TREE_CLASS_dkind 2
#define TREE_CLASS_ident 4
#define TREE_CLASS_pos 4
#define TREE_CLASS_int32 4
#define TREE_CLASS_link 8
#define TREE_CLASS_own_link 8
#define TREE_CLASS_child 8
#define TREE_CLASS_ref 8
#define TREE_CLASS_later 8
#define TREE_CLASS_str 8
// Fields the node does not keep are in no size class: no member at all.
#define TREE_CLASS_unkept_pos 0
#define TREE_CLASS_unkept_str 0
#define TREE_CLASS_base_link 0
#define TREE_MEMBER_IN(wanted, actual, member) TREE_MEMBER_IN_(wanted, actual, member)
#define TREE_MEMBER_IN_(wanted, actual, member) TREE_MEMBER_IF_##wanted##_##actual(member)
#define TREE_MEMBER_IF_1_1(member) member
#define TREE_MEMBER_IF_1_2(member)
#define TREE_MEMBER_IF_1_4(member)
#define TREE_MEMBER_IF_1_8(member)
#define TREE_MEMBER_IF_2_1(member)
#define TREE_MEMBER_IF_2_2(member) member
#define TREE_MEMBER_IF_2_4(member)
#define TREE_MEMBER_IF_2_8(member)
#define TREE_MEMBER_IF_4_1(member)
#define TREE_MEMBER_IF_4_2(member)
#define TREE_MEMBER_IF_4_4(member) member
#define TREE_MEMBER_IF_4_8(member)
#define TREE_MEMBER_IF_8_1(member)
#define TREE_MEMBER_IF_8_2(member)
#define TREE_MEMBER_IF_8_4(member)
#define TREE_MEMBER_IF_8_8(member) member
#define TREE_MEMBER_IF_1_0(member)
#define TREE_MEMBER_IF_2_0(member)
#define TREE_MEMBER_IF_4_0(member)
#define TREE_MEMBER_IF_8_0(member)
#define TREE_OWN_SIZE1(type, field) TREE_MEMBER_IN(1, TREE_CLASS_##type, TreeField_##type field;)
#define TREE_OWN_SIZE2(type, field) TREE_MEMBER_IN(2, TREE_CLASS_##type, TreeField_##type field;)
#define TREE_OWN_SIZE4(type, field) TREE_MEMBER_IN(4, TREE_CLASS_##type, TreeField_##type field;)
#define TREE_OWN_SIZE8(type, field) TREE_MEMBER_IN(8, TREE_CLASS_##type, TreeField_##type field;)
#define TREE_KIND(num, name, base)                                                                 \
  struct name : base {                                                                             \
    static constexpr std::uint8_t KindNumber = num;                                                \
    TREE_FIELDS_##name(TREE_OWN_SKIP, TREE_OWN_SIZE1) TREE_FIELDS_                                 \
        ##name(TREE_OWN_SKIP, TREE_OWN_SIZE2) TREE_FIELDS_                                         \
        ##name(TREE_OWN_SKIP, TREE_OWN_SIZE4) TREE_FIELDS_##name(TREE_OWN_SKIP, TREE_OWN_SIZE8)    \
  };
#include "frontend/syntax_tree.def"
} // namespace tree

#define TREE_CLASS_CHECK(type)                                                                     \
  static_assert(sizeof(TreeField_##type) == TREE_CLASS_##type &&                                   \
                alignof(TreeField_##type) <= TREE_CLASS_##type);
TREE_CLASS_CHECK(flag)
TREE_CLASS_CHECK(chr)
TREE_CLASS_CHECK(tflags)
TREE_CLASS_CHECK(shrt)
TREE_CLASS_CHECK(word)
TREE_CLASS_CHECK(dkind)
TREE_CLASS_CHECK(ident)
TREE_CLASS_CHECK(int32)
TREE_CLASS_CHECK(link)
TREE_CLASS_CHECK(own_link)
TREE_CLASS_CHECK(child)
TREE_CLASS_CHECK(ref)
TREE_CLASS_CHECK(later)
TREE_CLASS_CHECK(str)
static_assert(alignof(TreeField_pos) == 4);
#undef TREE_CLASS_CHECK

// Reports a failed kind-checked cast (a programming error) and aborts.
[[noreturn]] void Tree_BadCast(const Tree_Node *node, int expected);

// True if the node is of kind T or derived from it.
template <class T> bool is(const Tree_Node *node) { return Tree_IsType(node, T::KindNumber); }

// The node seen as kind T; aborts through Tree_BadCast when it is not of kind T
// (a null node is of no kind).
template <class T> T *as(Tree_Node *node) {
  if (!Tree_IsType(node, T::KindNumber))
    Tree_BadCast(node, T::KindNumber);
  return static_cast<T *>(node);
}
template <class T> const T *as(const Tree_Node *node) {
  if (!Tree_IsType(node, T::KindNumber))
    Tree_BadCast(node, T::KindNumber);
  return static_cast<const T *>(node);
}

// The node seen as kind T, or null when it is not of kind T.
template <class T> T *as_if(Tree_Node *node) {
  return Tree_IsType(node, T::KindNumber) ? static_cast<T *>(node) : nullptr;
}
template <class T> const T *as_if(const Tree_Node *node) {
  return Tree_IsType(node, T::KindNumber) ? static_cast<const T *>(node) : nullptr;
}

// Constructors, one per kind: m<kind name>. Each takes one argument per field
// in the order of frontend/syntax_tree.def, base fields first, except the fields that a
// later phase fills (type `later`: `decl` of `format` and `identifier_c`,
// `deftab` of `data_division`, `decl` of file, report-group and screen
// descriptions), which start null. End nodes and abstract list kinds take no arguments.
// For list elements the first argument is `next`: the parser builds a list by
// passing the list built so far and reverses it once with ReverseTree. Returns
// the new node; exhausted memory throws std::bad_alloc.
//
// The constructors the data-division parser uses most:
//   mformat_1(next, level_number, level_string, name, pos, spelling, epos1,
//             replaced, bpos, epos, data_clause_l)
//   mformat_2(next, level_number, ..., epos, name2, pos2, spelling2, epos2,
//             qualification1, qualification2)
//   mformat_3(next, level_number, ..., epos, condition_l, false_)
//   mformat_4(next, level_number, ..., epos, expression)
//   mformat_copy(next, level_number, ..., epos, data_clause_l,
//                data_description_entry_l)
//   mpicture(next, bpos, epos, keyword, pos, epos1, value, string, replaced,
//            depending)
//   musage(next, bpos, epos, keyword, value, native)
//   moccurs(next, bpos, epos, keyword, from, pos1, epos1, to, pos2, epos2,
//           depending, a_de_scending_l, indexed)
//   mname(bpos, epos, name, spelling, replaced)
//   minteger(bpos, epos, Value, String, replaced)
//   mdecl(next, name, position, end_pos, e_pos, level, fields, lower, object,
//         collision, kind)
#define TREE_DROP_FIRST_(first, ...) __VA_ARGS__
#define TREE_DROP_FIRST(...) TREE_DROP_FIRST_(__VA_ARGS__)
#define TREE_PARAM_link(field) , tTree field
#define TREE_PARAM_base_link(field) , [[maybe_unused]] tTree field
#define TREE_PARAM_own_link(field)
#define TREE_PARAM_child(field) , tTree field
#define TREE_PARAM_ref(field) , tTree field
#define TREE_PARAM_later(field)
#define TREE_PARAM_ident(field) , tIdent field
#define TREE_PARAM_str(field) , tStringRef field
#define TREE_PARAM_pos(field) , const tPosition &field
#define TREE_PARAM_flag(field) , bool field
#define TREE_PARAM_chr(field) , char field
#define TREE_PARAM_shrt(field) , std::int16_t field
#define TREE_PARAM_int32(field) , std::int32_t field
#define TREE_PARAM_word(field) , std::uint16_t field
#define TREE_PARAM_dkind(field) , std::int16_t field
#define TREE_PARAM_tflags(field) , std::uint8_t field
#define TREE_PARAM_unkept_pos(field) , [[maybe_unused]] const tPosition &field
#define TREE_PARAM_unkept_str(field) , [[maybe_unused]] tStringRef field
#define TREE_PARAM(type, field) TREE_PARAM_##type(field)
#define TREE_PARAMS(name) TREE_DROP_FIRST(TREE_FIELDS_##name(TREE_PARAM, TREE_PARAM))
#define TREE_KIND(num, name, base) ::tree::name *m##name(TREE_PARAMS(name));
#include "frontend/syntax_tree.def"

// Reverses a list built front-first: follows `next` while the node is a list
// element (its kind has a `next` field), and returns the last element visited
// as the new first; the end node (the first node of another kind, or null)
// stays at the end. An end node alone is returned as it is.
tTree ReverseTree(tTree list);

// The address of the node's `next` field, or null when its kind has none.
tTree *Tree_Next(tTree node);

// Calls visit(field, context) for each child field of the node, in field
// order, except `next`; reference fields are not visited. Does nothing for null.
void Tree_ForEachChild(tTree node, void (*visit)(tTree &child, void *context), void *context);

// Resets Tree_HeapUsed and TreeRoot. The nodes stay in the run's arena until
// the run ends.
void ReleaseTreeModule();

// Bytes of the nodes made since the last ReleaseTreeModule.
unsigned long &Tree_HeapUsed();

// The root of the tree (a data_division node), set by the parser.
tTree &TreeRoot();

// Word codes: the 16-bit codes under which keyword-valued fields are stored,
// one constant cw<id> each (frontend/word_codes.def). cobol_word[code] is
// the code's text; code 0 is "none", 494 is empty, 495 on are
// usages that -lenient reads.
#define WORD(code, id, text) inline constexpr std::uint16_t cw##id = code;
#include "frontend/word_codes.def"
inline constexpr int CobolWordCount = cwUnbounded + 1;

// The upper bound of OCCURS ... UNBOUNDED (-lenient) in an occurs node.
inline constexpr std::int32_t OccursUnbounded = -2;
extern const char *const cobol_word[CobolWordCount];

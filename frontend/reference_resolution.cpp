// Eval: walks a subtree and resolves names and qualifications; undeclared and ambiguous names.
#include "frontend/reference_resolution.h"

#include <array>
#include <cstdint>

#include "diagnostics/message_store.h"
#include "frontend/declaration_table.h"

namespace {

void Walk(tTree node);

void WalkChild(tTree &child, void *) { Walk(child); }

// The declaration a resolved reference node carries, or null.
tTree DeclOf(tTree reference) {
  auto *node = as_if<tree::identifier_c>(reference);
  return node != nullptr && node->decl != TreeNoReference ? node->decl : NoTree;
}

// An undeclared name: declared at level 0 where it is referenced.
void DeclareImplicitly(tree::identifier_c *node, tIdent name) {
  node->decl = Declare(0, {name, node->bpos, node->epos}, node, node->epos);
  if (NameCheckMsg())
    MessageI("name not declared", xxError, node->bpos, xxIdent, &name);
}

void ResolveUnqualified(tree::identifier_c *node, tIdent name) {
  node->decl = Identify(name);
  if (node->decl == NoTree) {
    if (NameCheck())
      DeclareImplicitly(node, name);
  } else if (NameCheck() && NameCheckMsg() && search_count() >= 2) {
    report_ambiguity(name, node->bpos);
  }
}

// Handles the marker and an earlier resolution; true when nothing is left to do.
bool AlreadyResolved(tree::identifier_c *node) {
  if (node->decl == TreeNoReference) {
    node->decl = NoTree;
    return true;
  }
  return node->decl != NoTree;
}

void ResolveName(tree::name *node) {
  if (!AlreadyResolved(node))
    ResolveUnqualified(node, node->name);
}

void ResolveQualification(tree::qualification *node) {
  Walk(node->qualification);
  if (AlreadyResolved(node))
    return;
  const tTree qualifier = DeclOf(node->qualification);
  node->decl = IdentifyField(node->name, qualifier);
  if (node->decl == NoTree)
    IdentifyField2(node);
  if (node->decl != NoTree || !NameCheck())
    return;
  auto *parent = as_if<tree::decl>(qualifier);
  if (parent == nullptr) {
    // The qualifier stands for no data item, so there is no parent to put
    // the missing field under: look the name up as if it were unqualified.
    ResolveUnqualified(node, node->name);
    return;
  }
  node->decl = DeclareSubordinate({node->name, node->bpos, node->epos}, node, parent);
  if (NameCheckMsg())
    MessageI("field not declared", xxError, node->bpos, xxIdent, &node->name);
}

// A subscripted or reference-modified item denotes what its item denotes.
void ResolveThrough(tree::identifier_c *node, tTree item, tTree rest) {
  Walk(item);
  node->decl = DeclOf(item);
  Walk(rest);
}

void Visit(tTree node) {
  switch (node->Kind) {
  case kdecl:
    return;
  case kname:
    ResolveName(as<tree::name>(node));
    return;
  case kqualification:
    ResolveQualification(as<tree::qualification>(node));
    return;
  case ksubscription: {
    auto *s = as<tree::subscription>(node);
    ResolveThrough(s, s->qualification, s->index_l);
    return;
  }
  case kref_modification: {
    auto *r = as<tree::ref_modification>(node);
    ResolveThrough(r, r->subscription, r->reference_modifier);
    return;
  }
  case kfunction_call: {
    auto *f = as<tree::function_call>(node);
    f->decl = NoTree;
    Walk(f->expression_l);
    return;
  }
  case kidentifier_c:
  case ksubscription_c:
  case kqualification_c:
  case knoexpression:
    as<tree::identifier_c>(node)->decl = NoTree;
    return;
  default:
    Tree_ForEachChild(node, WalkChild, nullptr);
    return;
  }
}

// Whether Visit does anything for a node of each kind: the kinds it
// resolves or clears itself, and those with children, below which a
// reference may sit. Most of an entry's clauses (pictures, usages, plain
// values) are none of these and are passed over without the visit's calls
// (the walk of a million mixed entries: 38.6 ms, then 34 ms; the rest is
// reading the tree's memory).
#define RESOLVE_CHILDREN(type, field) RESOLVE_CHILDREN_##type
#define RESOLVE_CHILDREN_child +1
#define RESOLVE_CHILDREN_link
#define RESOLVE_CHILDREN_own_link
#define RESOLVE_CHILDREN_base_link
#define RESOLVE_CHILDREN_ref
#define RESOLVE_CHILDREN_later
#define RESOLVE_CHILDREN_ident
#define RESOLVE_CHILDREN_str
#define RESOLVE_CHILDREN_pos
#define RESOLVE_CHILDREN_flag
#define RESOLVE_CHILDREN_chr
#define RESOLVE_CHILDREN_shrt
#define RESOLVE_CHILDREN_int32
#define RESOLVE_CHILDREN_word
#define RESOLVE_CHILDREN_dkind
#define RESOLVE_CHILDREN_tflags
#define RESOLVE_CHILDREN_unkept_pos
#define RESOLVE_CHILDREN_unkept_str

constexpr std::array<bool, TreeKindCount + 1> Visited = [] {
  std::array<bool, TreeKindCount + 1> visited{
      false,
#define TREE_KIND(num, name, base) (0 TREE_FIELDS_##name(RESOLVE_CHILDREN, RESOLVE_CHILDREN)) > 0,
#include "frontend/syntax_tree.def"
  };
  for (std::uint8_t kind : {kname, kqualification, ksubscription, kref_modification,
                            kfunction_call, kidentifier_c, ksubscription_c, kqualification_c,
                            knoexpression})
    visited[kind] = true;
  return visited;
}();

// Lists are followed along `next` here rather than by recursion, so a long
// entry list does not deepen the stack.
void Walk(tTree node) {
  while (node != NoTree) {
    if (node->Kind == kdecl)
      return;
    if (Visited[node->Kind])
      Visit(node);
    tTree *next = Tree_Next(node);
    node = next != nullptr ? *next : NoTree;
  }
}

} // namespace

void Eval(tTree node) { Walk(node); }

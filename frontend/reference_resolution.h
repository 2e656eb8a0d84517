#pragma once
// Reference resolution: gives every data reference of a subtree (REDEFINES
// objects, OCCURS DEPENDING ON items, RENAMES operands, KEY and INDEXED BY
// names, names in values and expressions) its declaration from the
// declaration table, and reports the names that are not declared or are
// ambiguous.

#include "frontend/syntax_tree.h"

// Resolves all references in the subtree of `node` (following `next` too),
// setting the `decl` field of each name, qualification, subscription and
// reference-modification node. Declaration nodes are not walked. A reference
// whose `decl` is already set is left as it is; one that holds
// TreeNoReference gets null. With NameCheck on, an undeclared name is
// declared implicitly at level 0 (so later references find it) and, with
// NameCheckMsg, reported as "name not declared" (Error, with the name);
// a name with two or more declarations is reported through report_ambiguity.
// A qualified reference X OF R is looked up under R, then by the full
// qualified search; if still missing, X is declared as a new subordinate of
// R's declaration and "field not declared" (Error, with X) is reported.
//
// The driver calls it once on the data_division node after storing the
// declaration list there; the parser calls it at once on the object of each
// REDEFINES clause and on both operands of each RENAMES entry, so that these
// are resolved against the declarations made up to that point.
void Eval(tTree node);

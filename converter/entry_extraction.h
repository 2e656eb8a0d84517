#pragma once
// Extraction: entry name, clauses and VALUE from the syntax tree into VexCblObjContext.
#include "converter/item_contexts.h"
#include "frontend/syntax_tree.h"
#include "support/identifier_table.h"

class VexCblConversion;

// Sets item.name to the written-or-replaced name of `entry` (the normalised
// name when the include prefix was applied, else the word as written) when
// `entry` is a format_1 to format_4 node; does nothing for any other node or
// none.
void vexCblAheadObjExtr(Tree_Node *entry, VexCblObjContext &item);
// The name vexCblAheadObjExtr gives, null for a node that gives none: the
// identifier table's text, NUL-terminated and kept until the run ends.
const char *vexCblEntryName(Tree_Node *entry);

// Reads `node` into `item`: a format_1 entry with its whole clause list, a
// clause with the clauses behind it, or a VALUE literal. Sets the picture,
// usage, sign, cardinality, DEPENDING ON name, REDEFINES name, value,
// JUSTIFIED and BLANK WHEN ZERO, and adds the entry's words to the
// description. Pictures are read under the conversion's options. Reports the
// SYNCHRONIZED warning for each SYNCHRONIZED clause and the unknown-
// figurative-constant warning through the conversion's report. Other node kinds, and none, change
// nothing.
void vexCblExtractObj(VexCblConversion &conv, Tree_Node *node, VexCblObjContext &item);

// True when the first clause of the entry is REDEFINES and the written-or-
// replaced name of its operand is the text of the identifier `name` exactly.
// Takes a decl node (its entry is examined), a format_1 node or a redefines
// node; anything else, and none, gives false. The text is looked up only
// when the operand is spelled by another identifier: the walk asks this of
// every entry's successor, and the identifier table's entry of a name just
// parsed on the other core is a cache miss.
bool vexCblIsRedefining(Tree_Node *node, tIdent name);

#pragma once
// -lenient: the storage length of a declared item, for constants written as
// LENGTH OF and BYTE-LENGTH OF an item. A constant's value is needed while
// the copybook is parsed (a later picture or OCCURS may use it), before the
// converter or the layout have seen the item, so the length is taken from
// the item's clauses as declared so far.
#include "frontend/syntax_tree.h"

// The storage length in bytes of the item `entry` (a declaration of an
// ordinary entry, with its subordinates), as IBM Enterprise COBOL stores it:
// DISPLAY one byte a position (+1 for a separate sign), PIC N, PIC G and
// DISPLAY-1 two; BINARY, COMP, COMP-4 and COMP-5 2, 4 or 8 bytes for 1-4,
// 5-9 and 10-18 digits; packed decimal digits/2+1; COMP-1 4, COMP-2 8;
// INDEX and the pointers 4, PROCEDURE-POINTER 8; the usages of -lenient by
// their fixed sizes; a group the sum of its members that redefine nothing, a
// table of members by its largest count. An item with OCCURS has the length
// of one occurrence, as LENGTH OF gives it. False when that length cannot be
// known here:
// a group holding an unbounded table, SYNCHRONIZED items (slack bytes), a usage sized by
// more than its digits (COMP-X, COMP-N), an entry without picture or usage.
bool ItemLength(const tree::decl &entry, long &length);

// The storage length of one item of `usage` (a word code) that takes no
// picture (POINTER, BINARY-LONG, COMP-1 ...); false for the other usages.
bool UsageLength(int usage, long &length);

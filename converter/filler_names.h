#pragma once
// vexCblGetUniqName: an item's member name, with numbered FILLER names for unnamed items.
#include <string>

#include "converter/item_contexts.h"

// The definition name of `item` as a member of `grp`: item.name, except that
// an empty name or the exact name "FILLER" becomes "FILLER" followed by the
// group's next filler number (FILLER1, FILLER2, ... counted per group
// context, so the call advances grp's counter). With numberRepeatedNames
// (-lenient), a name that a sibling before it already has gets "_" and its
// number among the siblings of that name: VAR1, VAR1_2, VAR1_3 in document
// order. "_" cannot occur in a COBOL name, so the result cannot be another
// item's name.
std::string vexCblGetUniqName(VexCblGrpContext &grp, const VexCblObjContext &item);

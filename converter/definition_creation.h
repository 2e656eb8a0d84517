#pragma once
#include "model/definition_model.h"

// Definition creation: the one definition of the model that represents a
// data item, chosen by the item's category and effective USAGE, with the
// item's VALUE as its default.

class VexCblConversion;
class VexCblGrpContext;
class VexCvtReport;
class VexCblObjContext;

// Creates the definition of `item` (a member of the group of `grp`): a group,
// string or numeric definition by category, a numeric one by USAGE for an
// item without classifying picture. Then applies the VALUE clause: ignored
// with a warning on groups and numeric-edited items; encoded as packed or
// zoned bytes for a binary stand-in of a numeric item under compatibility
// level 300; otherwise the value image for the picture's size. Reports
// "Invalid Cobol item or unknown datatype." or "Failed to convert default
// value." and throws VexCvtError when the item cannot be converted; errors
// of the creators propagate the same way. The caller owns the returned
// reference; the definition is neither named nor registered.
VexDataDef vexCblCreateDef(VexCblConversion &conv, VexCblGrpContext &grp, VexCblObjContext &item);

// A new group definition of type 1 without members.
VexDataDef vexCblCreateGrp();

// A string definition of the picture's size, blank-padded and right-
// justified when the item is JUSTIFIED; a binary definition of twice the
// size with a warning for USAGE DISPLAY-1. Reports and throws VexCvtError
// for a missing picture or a USAGE other than DISPLAY.
VexDataDef vexCblCreateStr(VexCvtReport &report, VexCblGrpContext &grp, VexCblObjContext &item);

// True when the effective USAGE is a computational, pointer or index usage
// (word codes 66 to 82, 84, 85); false for DISPLAY, NATIVE, DISPLAY-1 and
// none.
bool vexCblIsNumberByUsage(const VexCblGrpContext &grp, const VexCblObjContext &item);

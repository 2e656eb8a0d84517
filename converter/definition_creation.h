#pragma once
// Definition creation: one model definition per item by category and USAGE, VALUE as default.
#include "model/definition_model.h"

// Definition creation: the one definition of the model that represents a
// data item, chosen by the item's category and effective USAGE, with the
// item's VALUE as its default.

class VexCblConversion;
class VexCblGrpContext;
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

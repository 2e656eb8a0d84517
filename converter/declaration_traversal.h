#pragma once
// Declaration traversal: vexCbDeftabDrv (list to exported document) and vexCblTraverseDecl.
#include <string>

#include "converter/item_contexts.h"
#include "frontend/syntax_tree.h"
#include "model/definition_model.h"

// Declaration traversal: walks the declaration hierarchy of the front end and
// turns every data description entry into a definition, placed as a member of
// its group's definition or as a stand-alone definition of the repository.

class VexCblConversion;

// Converts the declaration list starting at `declList` (a `decl` node, or
// null for an empty list) into the conversion's repository, then exports it.
// With an empty list nothing is converted and the export reports that there
// is nothing to export. A VexCvtError of the conversion leaves the function
// before the export, so no document is written; VexError of the model or the
// document helpers propagates as well.
void vexCbDeftabDrv(VexCblConversion &conv, Tree_Node *declList);

// Converts the top-level declarations from `declList` on into the
// conversion's repository without exporting it; the records of a file or
// sort-file description convert as top-level records. For the programs of a
// program file, one list after the other.
void vexCbConvertRecords(VexCblConversion &conv, Tree_Node *declList);

// The top-level entry `entry` of a copybook into the conversion's repository,
// as vexCbConvertRecords converts each of its list: `topLevel` is the
// context of the whole list, kept from one entry to the next (it numbers
// repeated record names). Reads `entry`, its members and the entry after it
// (is it redefined?), nothing else of the tree; asks the processor for the
// memory up to the entry after it ahead of the walk (a hint, not a read).
void vexCbConvertTopLevel(VexCblConversion &conv, VexCblGrpContext &topLevel, tree::decl &entry);

// The context vexCbConvertRecords starts a list's walk with.
VexCblGrpContext vexCbTopLevelContext(const VexCblConversion &conv);

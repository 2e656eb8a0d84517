#pragma once
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

// Converts `decl` and every entry that follows it through `next`, each with
// its members, inside the group described by `parentGrp`. Members are added to
// `parentGroup` in source order (null for the top-level list: the entries go
// to the conversion's repository). Entries that redefine or are redefined
// become stand-alone definitions of the repository, reached from the group
// through a reference; level-66 entries are skipped with the RENAMES warning.
// Every message carries the report context of the entry being converted.
// Errors of the type mapping propagate as VexCvtError.
void vexCblTraverseDecl(VexCblConversion &conv, Tree_Node *decl, VexCblGrpContext &parentGrp,
                        VexGroupDefImpl *parentGroup);

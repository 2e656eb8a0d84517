#pragma once
// Building the record model from the front end's declarations, once per copybook.
#include <vector>

#include "converter/conversion_options.h"
#include "converter/convert.h"
#include "record/record_model.h"

struct Tree_Node;

// Thrown when an item cannot be given storage; the message naming the item
// has been written to the options' message stream.
struct ModelError {};

// The records of the declaration list `entries` (the front end's top-level
// entries, as the converter takes them; the records of a file or sort-file
// description are records like the others), read under `options` (-c,
// -lenient; messages go to options.messages), with the front end's run
// active. Items are named and numbered as the layout shows them; every item
// is placed under IBM's storage rules. Warnings about an item are written
// with its position; an item without storage is reported and ends the build
// with ModelError.
RecordModel buildRecordModel(Tree_Node *entries, const VexCblConfig &options);

// The records of the programs of a program file (-program), in order, each
// program's with its run active, named as the document names them
// (vexCblConvertProgram, converter/convert.h).
RecordModel buildProgramRecordModel(const std::vector<VexProgramPart> &parts,
                                    const VexCblConfig &options);

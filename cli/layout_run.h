#pragma once
// The -layout step of a run: the record layout of the converted entries, written to a file.
#include <string>

#include "converter/conversion_run.h"

// What process does after a completed conversion when -layout names
// `fileName`: builds the record model of the entries under `options`
// (record/model_builder.h) and writes its layout (layout/layout_output.h);
// the records of every program of a program file with `program` (-program),
// named as the document names them. Fails, writing no layout, when an item
// has no storage or the file cannot be written.
VexAfterConversion layoutWriter(const std::string &fileName, const VexCblConfig &options,
                                bool program = false);

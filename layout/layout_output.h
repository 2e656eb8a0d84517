#pragma once
// Writing record layouts from the record model: the JSON document and the text table.
#include <ostream>
#include <string>

#include "record/record_model.h"

// The layout as JSON (schema/layout.schema.json): one entry per record,
// each with its items in source order.
void writeLayoutJson(std::ostream &out, const RecordModel &model);
// The layout as a listing-style table per record: start, end, offset,
// length, level and name indented by depth, picture, usage, occurs.
void writeLayoutTable(std::ostream &out, const RecordModel &model);

// Writes `model` to `fileName`: JSON when the name ends in ".json", the
// record map page (layout/record_map_html.h) when it ends in ".html", the
// table otherwise, the table to the standard output for "-". False, with an
// error on the standard error stream, when the file cannot be written.
bool writeLayoutFile(const std::string &fileName, const RecordModel &model);

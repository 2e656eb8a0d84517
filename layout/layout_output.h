#pragma once
// Writing record layouts: the JSON document and the text table, to a file or the standard output.
#include <ostream>
#include <string>
#include <vector>

#include "layout/record_layout.h"

void writeLayoutJson(std::ostream &out, const std::vector<RecordLayout> &records);
void writeLayoutTable(std::ostream &out, const std::vector<RecordLayout> &records);

// Writes `records` to `fileName`: JSON when the name ends in ".json", the
// table otherwise, the table to the standard output for "-". False, with an
// error on the standard error stream, when the file cannot be written.
bool writeLayoutFile(const std::string &fileName, const std::vector<RecordLayout> &records);

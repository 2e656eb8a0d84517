#pragma once
// The record map: one self-contained HTML page that draws a record model as a bar of bytes
// (fields coloured, groups as bands, OCCURS and REDEFINES marked) and, below it, sample records
// of a data file as hex and values aligned to the map.
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "record/record_model.h"

// One record of a data file as one reading cut it.
struct RecordMapRecord {
  std::int64_t fileOffset = 0;
  std::string bytes;
  std::string record;                              // the record type it was read as
  std::vector<int> invalidItems;                   // model item indices with invalid values
  std::vector<std::pair<int, std::string>> values; // elementary item index -> value text
};

// One way of reading the file (framing, code page), with its first records.
struct RecordMapReading {
  std::string label;
  std::string command;
  std::string codePage;
  double score = 0;
  std::vector<RecordMapRecord> records;
};

struct RecordMapPage {
  std::string title;
  std::vector<RecordMapReading> readings; // none: the copybook's map alone
};

// Writes the page: inline CSS and script only, nothing fetched. Every item
// is an element with data-path, data-offset and data-length; hovering shows
// name, offset, length, picture and usage. With readings, a switch shows one
// reading at a time.
void writeRecordMapHtml(std::ostream &out, const RecordModel &model, const RecordMapPage &page);

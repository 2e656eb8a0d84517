#pragma once
// The choices of one decoding run, as vexfcbl-decode's command line gives them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class RecordFormat { fixed, variable, variableBlocked, lines };
enum class OutputFormat { jsonLines, csv, avro, parquet };

// -when FIELD=VALUE:RECORD
struct SelectionRule {
  std::string field;
  std::string value;
  std::string target;
};

// -range START:END[:FIRST]: the records that begin in [start, end) of the one
// data file; a VB range takes the blocks that begin in it. `firstRecord` is
// the whole-file number of the range's first record, 0 when not given:
// computed for F, 1 (numbered from the range's start) for V, VB and L.
struct ByteRange {
  std::int64_t start = 0;
  std::int64_t end = INT64_MAX;
  long long firstRecord = 0;
};

struct DecodeOptions {
  RecordFormat recordFormat = RecordFormat::fixed;
  long long recordLength = 0; // -lrecl; 0: the record's length
  std::string codePage = "IBM037";
  std::string dbcs;          // -dbcs: the double-byte code page of DISPLAY-1 items
  bool littleEndian = false; // -byteorder little
  bool ieeeFloat = false;    // -float ieee
  std::string record;        // -record
  std::vector<SelectionRule> rules;
  OutputFormat format = OutputFormat::jsonLines;
  bool fillers = false;
  bool trim = false;
  bool strict = false;
  bool commaDecimalPoint = false; // -c
  int jobs = 1;                   // -j: threads for F and L files
  std::optional<ByteRange> range; // -range
  std::int64_t splitSize = 0;     // -splits: print the split plan instead of decoding
  bool quiet = false;             // -q: no progress line, no summary
  bool raw = false;               // -raw: each record's bytes too, for vexfcbl-encode

  // Schemas and data-lake files (lake/).
  std::string schemaFile;     // -schema
  std::string schemaFormat;   // -schema-format json-schema|avro|sql|sql-postgres; empty: by name
  bool sqlArraysJson = false; // -sql-arrays json: OCCURS as JSON columns
  std::string codec;          // -codec; empty: the format's default
  std::int64_t rowGroupBytes = 128 << 20; // -row-group-mb
};

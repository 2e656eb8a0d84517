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

// -child SEGMENT:PARENT: records of SEGMENT belong to the PARENT record before them.
struct ChildLink {
  std::string child;
  std::string parent;
};

// -where FIELD=VALUE[,VALUE...]: a record is kept when FIELD holds one of the values.
struct WhereFilter {
  std::string field;
  std::vector<std::string> values;
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

// -length-map VALUE=LEN: a record whose length field holds VALUE is LEN bytes long.
struct LengthMapEntry {
  std::string value;
  std::int64_t length = 0;
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
  int jobs = 1;                   // -j: threads for F, V, VB and L files
  std::optional<ByteRange> range; // -range
  std::int64_t splitSize = 0;     // -splits: print the split plan instead of decoding
  bool quiet = false;             // -q: no progress line, no summary
  bool raw = false;               // -raw: each record's bytes too, for vexfcbl-encode
  // How records are found (decoder/framing.h).
  bool littleEndianWords = false;        // -rdw little: RDW and BDW lengths
  std::int64_t descriptorAdjust = 0;     // -rdw-adjust: added to each RDW and BDW length
  std::int64_t skipBytes = 0;            // -skip-bytes: per file, before the first record
  std::int64_t skipTrailerBytes = 0;     // -skip-trailer-bytes: per file, after the last
  std::string lengthField;               // -length-field NAME[+|-N]
  std::int64_t lengthAdjust = 0;         // its N
  std::vector<LengthMapEntry> lengthMap; // -length-map
  bool variableOccurs = false;           // -variable-occurs
  std::string headerRecord;              // -header: each file's first record as this record
  std::string trailerRecord;             // -trailer: each file's last record as this record
  std::string headerOutput;              // -header-out: where header and trailer lines go

  // Schemas and data-lake files (lake/).
  std::string schemaFile;     // -schema
  std::string schemaFormat;   // -schema-format json-schema|avro|sql|sql-postgres; empty: by name
  bool sqlArraysJson = false; // -sql-arrays json: OCCURS as JSON columns
  std::string codec;          // -codec; empty: the format's default
  std::int64_t rowGroupBytes = 128 << 20; // -row-group-mb
  // Segments and hierarchies (decoder/segments.h).
  std::string segmentField;        // -segment: the field -when VALUE:NAME reads
  std::vector<ChildLink> children; // -child
  bool ids = false;                // -ids: _record, _segment, _parent on flat records
  // Projection and filters.
  std::vector<std::string> select; // -select: the fields written (groups whole)
  std::vector<WhereFilter> where;  // -where
};

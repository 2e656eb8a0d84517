#pragma once
// VexCblConfig: the command-line choices (-c -dnd -tn -ta -ns -o -compat -r -lenient) the mapping
// reads, and where a caller takes the document and messages.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/source_message.h"

// The choices of one conversion, as the command line gives them. A plain
// value: the caller fills one and hands it to the conversion, which keeps its
// own copy and reads the fields wherever it decides on a mapping.
struct VexCblConfig {
  bool commaDecimalPoint = false;    // -c
  bool noDescription = false;        // -dnd
  bool textNumbersAsStrings = false; // -tn
  bool packedDefaultAsText = false;  // -ta
  std::string namespaceName;         // -ns; empty: no namespace
  std::string outputFileName;        // -o, else derived from the input name; empty: standard output
  std::int32_t compatLevel = 0;      // -compat 300
  bool levelRestrictions = false;    // -r
  // -lenient: constants make no definition, a group whose first subordinate
  // is a condition name stays a group, the dialect usages are mapped.
  bool lenient = false;
  // Where the run's and the converter's messages go, so that conversions in
  // parallel threads each keep their own (-batch); null: nowhere.
  std::FILE *messages = stderr;
  // A caller that keeps the document in memory: the document is put here,
  // whole, when the conversion completes, and no file is written
  // (outputFileName then names it in the trace only); null: a file.
  std::string *document = nullptr;
  // Where the conversion's and the record model's messages are also kept as
  // values; null: not kept.
  std::vector<SourceMessage> *messageValues = nullptr;

  // The level-300 output is kept as it was, wherever it differs.
  static constexpr std::int32_t compat300 = 300;
  bool compat300Output() const { return compatLevel == compat300; }
};

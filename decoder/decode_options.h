#pragma once
// The choices of one decoding run, as vexfcbl-decode's command line gives them.
#include <string>
#include <vector>

enum class RecordFormat { fixed, variable, variableBlocked, lines };
enum class OutputFormat { jsonLines, csv };

// -when FIELD=VALUE:RECORD
struct SelectionRule {
  std::string field;
  std::string value;
  std::string target;
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
};

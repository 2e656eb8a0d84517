#pragma once
// The choices of one encoding run, as vexfcbl-encode's command line gives them.
#include <string>
#include <vector>

#include "decoder/decode_options.h"

enum class InputFormat { jsonLines, csv };

// What fills bytes no value is given for: the OCCURS elements past the last
// one given (-fill), a null value (-null).
enum class FillMode {
  spaces,    // the code page's space in every byte
  zeros,     // a number holds zero in its own format, any other item spaces
  lowValues, // X'00' in every byte
  error,     // -null only: a null value is an error
};

struct EncodeOptions {
  InputFormat format = InputFormat::jsonLines;
  RecordFormat recordFormat = RecordFormat::fixed;
  long long recordLength = 0;       // -lrecl: F and L records padded to it; 0: the longest record
  long long blockSize = 32760;      // -blocksize: VB blocks at most this long, BDW included
  bool littleEndianDescriptors = false; // -rdworder little
  std::string codePage = "IBM037";
  std::string dbcs;
  bool littleEndian = false; // -byteorder little
  bool ieeeFloat = false;    // -float ieee
  std::string record;        // -record: every input object is this record's
  std::vector<SelectionRule> rules;
  bool fillers = false;        // -fillers: FILLER values are read from the input
  bool truncate = false;       // -truncate: text longer than its item is cut
  bool unsignedPackedC = false; // -packed-sign C: unsigned packed items end in C, not F
  FillMode fill = FillMode::spaces;
  FillMode null = FillMode::error;
  bool strict = false;
  bool commaDecimalPoint = false; // -c
  int jobs = 1;
  bool quiet = false;
};

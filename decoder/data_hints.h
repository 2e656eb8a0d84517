#pragma once
// dataHint: when the data does not fit the options, the likely cause and the option to try.
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decode_options.h"
#include "decoder/run_files.h"

// What the run was told about its data.
struct HintSettings {
  RecordFormat format = RecordFormat::fixed;
  std::int64_t recordLength = 0; // the length F records are read with
  std::int64_t layoutLength = 0; // the copybook's longest record
  bool lengthGiven = false;      // -lrecl
  bool ebcdic = true;            // the -codepage is an EBCDIC page
  std::string codePage;          // its name
  // False under -range: the counts are those of a part of the file, so they
  // say nothing of the whole.
  bool wholeFiles = true;
  bool littleEndianWords = false;    // -rdw little
  std::int64_t descriptorAdjust = 0; // -rdw-adjust
};

// The one hint for a run, "hint: ..." without a newline, or empty when the
// data looks as the options say. `files` are the data files with their
// sizes and first bytes (checkDataFiles); `read` and `warned` the records
// read and those with warnings (-1 when nothing was decoded). In order of
// preference, from the first file that shows it: descriptor words of V or
// VB records under another -recfm, V or VB descriptor words in another
// byte order or adjustment than -rdw and -rdw-adjust say, text lines read as F records, ASCII text
// under an EBCDIC code page or EBCDIC under ASCII or UTF-8, an F file whose
// size is not a multiple of the record length; else, when more than half of
// the records have warnings, what to check.
std::string dataHint(const HintSettings &settings, const std::vector<RunInput> &files,
                     long long read, long long warned);

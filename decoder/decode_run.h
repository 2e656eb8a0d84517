#pragma once
// One decoding run: copybook through the front end and the record model, then every data file.
#include <string>
#include <vector>

#include "decoder/decode_options.h"
#include "frontend/front_end.h"

// Decodes `dataFiles` (standard input when empty) with the records of
// `copybook`, writing to `outputFile` (standard output when empty). Returns
// the exit status: 1 when the copybook has errors, a file cannot be read or
// written, or -strict met bad data.
int decodeFiles(const std::string &copybook, const FrontEndOptions &frontEnd,
                const DecodeOptions &options, const std::vector<std::string> &dataFiles,
                const std::string &outputFile);

// The same with the records of several copybooks (-i repeated), all of them
// candidates for -record and -when.
int decodeFiles(const std::vector<std::string> &copybooks, const FrontEndOptions &frontEnd,
                const DecodeOptions &options, const std::vector<std::string> &dataFiles,
                const std::string &outputFile);

#pragma once
// One encoding run: the copybook through the front end and the record model, then every
// input file's records written, framed, into the data file.
#include <string>
#include <vector>

#include "encoder/encode_options.h"
#include "frontend/front_end.h"

// Encodes the records of `inputs` (standard input when empty) with the
// records of `copybook` into `outputFile` (standard output when "-"), which
// appears only when the run completes. Returns the exit status: 1 when the
// copybook has errors, a file cannot be read or written, or -strict met a
// record that cannot be written.
int encodeFiles(const std::string &copybook, const FrontEndOptions &frontEnd,
                const EncodeOptions &options, const std::vector<std::string> &inputs,
                const std::string &outputFile);

#pragma once
// The text of the decoder's options whose values have a syntax of their own
// (-when, -length-field, -length-map, -child, -select, -where), read the same
// way for vexfcbl-decode's command line and the Python keywords. Each reads
// `text` into `options` and returns why it refuses it (no option name), or
// empty when it took it.
#include <string>

#include "decoder/decode_options.h"

// FIELD=VALUE:NAME, or VALUE:NAME for the -segment field.
std::string readWhen(const std::string &text, DecodeOptions &options);
// NAME, NAME+N or NAME-N.
std::string readLengthField(const std::string &text, DecodeOptions &options);
// VALUE=LENGTH,...
std::string readLengthMap(const std::string &text, DecodeOptions &options);
// SEGMENT:PARENT.
std::string readChild(const std::string &text, DecodeOptions &options);
// FIELD,... (names or paths).
std::string readSelect(const std::string &text, DecodeOptions &options);
// FIELD=VALUE,...
std::string readWhere(const std::string &text, DecodeOptions &options);

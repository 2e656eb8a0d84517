#pragma once
// Encoding plans made from copybook text as a run makes them, and one-line encodes.
#include <optional>
#include <string>

#include "encoder/encode_options.h"
#include "encoder/encode_plan.h"

// The plan of `copybook` (fixed-format text), through the front end and the
// record model; an empty plan and a test failure when it does not convert.
EncodePlan planOf(const std::string &copybook, const EncodeOptions &options = {});

// What one JSON line makes: its bytes, or the problems ("PATH: WHAT", one a line).
struct Encoded {
  std::optional<std::string> bytes;
  std::string problems;
};

// Encodes `line` by the general (token tape) reading; `fixedLength` as the
// run gives it (0: the record's own length).
Encoded encodeJson(const EncodePlan &plan, const EncodeOptions &options, const std::string &line,
                   std::int64_t fixedLength = 0);
// The record of a tape made by hand (CSV rows).
class JsonTape;
Encoded encodeTape(const EncodePlan &plan, const EncodeOptions &options, const JsonTape &tape,
                   std::int64_t fixedLength = 0);
// The same line by the reading of lines in the decoder's shape; nothing when
// that reading does not take it.
std::optional<std::string> encodeFast(const EncodePlan &plan, const EncodeOptions &options,
                                      const std::string &line, std::int64_t fixedLength = 0);

// "C1 C2 40": bytes as a test shows them.
std::string hex(const std::string &bytes);

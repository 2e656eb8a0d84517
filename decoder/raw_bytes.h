#pragma once
// -raw: each decoded record carries its bytes, and the bytes of the fields that could not be
// decoded, in base64, so that vexfcbl-encode can write them back as they were.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decoder/decode_plan.h"
#include "decoder/record_decoder.h"

class RawBytes {
public:
  RawBytes(const DecodePlan &plan, bool csv);

  // The CSV header's two more columns, put before its line end.
  void header(std::string &line) const;
  // Adds to the record written at `start` of `text` (its line end last) the
  // record's bytes `data` under _raw and, under _raw_fields keyed
  // "PATH@OFFSET", those of each field `problems` says could not be decoded.
  // CSV: two more cells, the second "PATH@OFFSET=BASE64" items separated by blanks.
  void append(std::string &text, std::size_t start, std::string_view data,
              const std::vector<DecodeProblem> &problems) const;

private:
  bool csv_;
  std::unordered_map<std::string, std::int64_t> lengths_; // elementary fields by path
};

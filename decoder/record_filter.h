#pragma once
// -where: whether a record's field holds one of the values asked for, read before the record is
// decoded.
#include <string>
#include <string_view>

#include "decoder/code_page.h"
#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"

// True for a decimal number as a user writes it: an optional sign, digits,
// an optional point and digits ("12", "-3.50", "+.5").
bool isDecimalText(std::string_view text);

// True when two decimal numbers (isDecimalText) are the same value: "12.50"
// and "12.5", "-0" and "0".
bool sameDecimal(std::string_view a, std::string_view b);

class RecordFilter {
public:
  RecordFilter(const DecodePlan &plan, const DecodeOptions &options, const CodePage &page);

  // True when every -where of `record` (the plan record the data is decoded
  // as; -1 when no -when rule picked one) finds one of its values in
  // `data`. A filter on a field of another record does not apply. Text is
  // compared after code-page conversion without trailing blanks, numbers by
  // value with their picture's scale; a field the record is too short for,
  // or that holds no valid number, matches nothing.
  bool keeps(std::string_view data, int record);

private:
  bool matches(const DecodePlan::Filter &filter, std::string_view data);

  const DecodePlan &plan_;
  bool littleEndian_;
  const CodePage &page_;
  std::string value_;
};

// -where: field values compared as text after the code page, or as decimal numbers.
#include "decoder/record_filter.h"

#include <cctype>

#include "decoder/field_values.h"

namespace {

// A decimal number split for comparison: sign, integer digits without
// leading zeros, fraction digits without trailing zeros.
struct DecimalParts {
  bool negative = false;
  std::string_view whole;
  std::string_view fraction;
};

DecimalParts partsOf(std::string_view text) {
  DecimalParts parts;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    parts.negative = text[0] == '-';
    text.remove_prefix(1);
  }
  const std::size_t point = text.find('.');
  parts.whole = text.substr(0, point);
  parts.fraction = point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
  while (!parts.whole.empty() && parts.whole.front() == '0')
    parts.whole.remove_prefix(1);
  while (!parts.fraction.empty() && parts.fraction.back() == '0')
    parts.fraction.remove_suffix(1);
  if (parts.whole.empty() && parts.fraction.empty())
    parts.negative = false; // -0 is 0
  return parts;
}

} // namespace

bool isDecimalText(std::string_view text) {
  if (!text.empty() && (text[0] == '-' || text[0] == '+'))
    text.remove_prefix(1);
  bool digit = false;
  bool point = false;
  for (const char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c)) != 0)
      digit = true;
    else if (c == '.' && !point)
      point = true;
    else
      return false;
  }
  return digit;
}

bool sameDecimal(std::string_view a, std::string_view b) {
  const DecimalParts x = partsOf(a);
  const DecimalParts y = partsOf(b);
  return x.negative == y.negative && x.whole == y.whole && x.fraction == y.fraction;
}

RecordFilter::RecordFilter(const DecodePlan &plan, const DecodeOptions &options,
                           const CodePage &page)
    : plan_(plan), littleEndian_(options.littleEndian),
      page_(page) {}

bool RecordFilter::keeps(std::string_view data, int record) {
  for (const DecodePlan::Filter &filter : plan_.filters)
    if ((record < 0 || record == filter.record) && !matches(filter, data))
      return false;
  return true;
}

bool RecordFilter::matches(const DecodePlan::Filter &filter, std::string_view data) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(filter.field)];
  if (filter.offset + field.length > static_cast<std::int64_t>(data.size()))
    return false;
  const std::string_view bytes =
      data.substr(static_cast<std::size_t>(filter.offset), static_cast<std::size_t>(field.length));
  value_.clear();
  bool ok = true;
  switch (field.kind) {
  case FieldKind::text: {
    page_.appendText(bytes, value_);
    while (!value_.empty() && value_.back() == ' ')
      value_.pop_back();
    for (const std::string &wanted : filter.values) {
      std::string_view trimmed = wanted;
      while (!trimmed.empty() && trimmed.back() == ' ')
        trimmed.remove_suffix(1);
      if (value_ == trimmed)
        return true;
    }
    return false;
  }
  case FieldKind::zoned:
    ok = decodeZoned(bytes, field.sign, field.scale, page_, value_);
    break;
  case FieldKind::packed:
    ok = decodePacked(bytes, field.isSigned, field.scale, value_);
    break;
  case FieldKind::unsignedPacked:
    ok = decodeUnsignedPacked(bytes, field.scale, value_);
    break;
  case FieldKind::binary:
    decodeBinary(bytes, field.isSigned, littleEndian_, field.scale, value_);
    break;
  case FieldKind::edited:
    ok = field.picture && decodeEdited(bytes, *field.picture, field.blankWhenZero, page_, value_);
    break;
  default:
    return false;
  }
  if (!ok)
    return false;
  for (const std::string &wanted : filter.values)
    if (sameDecimal(value_, wanted))
      return true;
  return false;
}

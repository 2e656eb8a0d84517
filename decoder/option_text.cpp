// The decoder's option values that have a syntax of their own.
#include "decoder/option_text.h"

#include <cctype>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/option_words.h"

std::string readWhen(const std::string &v, DecodeOptions &options) {
  const std::size_t colon = v.rfind(':');
  std::size_t equals = v.find('=');
  if (equals != std::string::npos && (colon == std::string::npos || equals > colon))
    equals = std::string::npos;
  if (equals == 0 || colon == std::string::npos || colon + 1 == v.size())
    return "give FIELD=VALUE:NAME (VALUE:NAME with -segment)";
  const std::size_t value = equals == std::string::npos ? 0 : equals + 1;
  options.rules.push_back({equals == std::string::npos ? "" : v.substr(0, equals),
                           v.substr(value, colon - value), v.substr(colon + 1)});
  return "";
}

std::string readLengthField(const std::string &v, DecodeOptions &options) {
  // NAME, NAME+N or NAME-N; a COBOL name holds '-' but never ends with one.
  const std::size_t sign = v.find_last_of("+-");
  std::optional<long long> adjust = 0;
  std::string name = v;
  if (sign != std::string::npos && sign > 0 && sign + 1 < v.size() &&
      std::isdigit(static_cast<unsigned char>(v[sign + 1])) &&
      v.find_first_not_of("0123456789", sign + 1) == std::string::npos) {
    name = v.substr(0, sign);
    adjust = whole(v.substr(sign + 1), 0, 1LL << 40);
    if (adjust && v[sign] == '-')
      adjust = -*adjust;
  }
  if (name.empty() || name.back() == '-' || name.back() == '+' || !adjust)
    return "give NAME, NAME+N or NAME-N: a numeric field and the bytes to add to its value";
  options.lengthField = name;
  options.lengthAdjust = *adjust;
  return "";
}

std::string readLengthMap(const std::string &v, DecodeOptions &options) {
  std::vector<LengthMapEntry> entries;
  for (const std::string &entry : commaList(v)) {
    const std::size_t equals = entry.rfind('=');
    const std::optional<long long> length =
        equals == std::string::npos ? std::nullopt : whole(entry.substr(equals + 1), 1, INT64_MAX);
    if (equals == 0 || !length)
      return "give VALUE=LENGTH pairs separated by commas, each LENGTH the record's bytes from 1 "
             "up";
    entries.push_back({entry.substr(0, equals), *length});
  }
  options.lengthMap.insert(options.lengthMap.end(), entries.begin(), entries.end());
  return "";
}

std::string readChild(const std::string &v, DecodeOptions &options) {
  const std::size_t colon = v.find(':');
  if (colon == 0 || colon == std::string::npos || colon + 1 == v.size() ||
      v.find(':', colon + 1) != std::string::npos)
    return "give SEGMENT:PARENT, two segment names of -when";
  options.children.push_back({v.substr(0, colon), v.substr(colon + 1)});
  return "";
}

std::string readSelect(const std::string &v, DecodeOptions &options) {
  const std::vector<std::string> names = commaList(v);
  for (const std::string &name : names)
    if (name.empty())
      return "give field names or paths separated by commas";
  options.select.insert(options.select.end(), names.begin(), names.end());
  return "";
}

std::string readWhere(const std::string &v, DecodeOptions &options) {
  const std::size_t equals = v.find('=');
  if (equals == 0 || equals == std::string::npos)
    return "give FIELD=VALUE or FIELD=VALUE,VALUE...";
  options.where.push_back({v.substr(0, equals), commaList(v.substr(equals + 1))});
  return "";
}

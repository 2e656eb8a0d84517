#pragma once
// Option values as the programs and the Python keywords write them: a whole
// number, a comma list. One reading for both, so that `-lrecl 08` and
// `lrecl="08"`, or an empty part of a list, are taken or refused alike.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// A whole decimal number in [low, high], digits only (no sign, no blanks);
// nothing for anything else.
inline std::optional<long long> whole(const std::string &text, long long low, long long high) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
    return std::nullopt;
  errno = 0;
  char *end = nullptr;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n < low || n > high)
    return std::nullopt;
  return n;
}

// The parts of a comma-separated list, empty ones kept.
inline std::vector<std::string> commaList(const std::string &text) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    parts.push_back(text.substr(at, comma == std::string::npos ? std::string::npos : comma - at));
    if (comma == std::string::npos)
      return parts;
    at = comma + 1;
  }
}

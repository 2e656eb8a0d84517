#pragma once
// The values of command-line options as vexfcbl-decode and vexfcbl-encode read
// them: numbers, words from a list, comma lists, and the refusal that names the
// option and why.
#include <strings.h>

#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "support/option_words.h"

// A command line the program cannot run: `text` says which option and why.
struct UsageError {
  std::string text;
};

// --help or --version: the text to print on the standard output.
struct Printed {
  std::string text;
};

[[noreturn]] inline void refuse(const char *option, const std::string &value,
                                const std::string &why) {
  throw UsageError{std::string(option) + " " + value + ": " + why};
}

template <std::size_t N> std::string listed(const char *const (&names)[N]) {
  std::string list;
  for (const char *name : names)
    list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

// A whole decimal number with an optional sign in [low, high].
inline std::optional<long long> signedWhole(const std::string &text, long long low,
                                            long long high) {
  const bool negative = !text.empty() && text[0] == '-';
  const bool sign = !text.empty() && (text[0] == '-' || text[0] == '+');
  const std::optional<long long> n = whole(text.substr(sign ? 1 : 0), 0, LLONG_MAX);
  if (!n || (negative ? -*n : *n) < low || (negative ? -*n : *n) > high)
    return std::nullopt;
  return negative ? -*n : *n;
}

// One of `words`, in any case: the word as listed.
template <std::size_t N>
std::optional<std::string> oneOf(const std::string &text, const char *const (&words)[N]) {
  for (const char *word : words)
    if (::strcasecmp(text.c_str(), word) == 0)
      return std::string(word);
  return std::nullopt;
}

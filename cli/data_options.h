#pragma once
// What vexfcbl-decode and vexfcbl-encode read alike: the shape of their
// option tables, the options that mean the same in both, the reading of the
// arguments and the ending of the program by what that reading threw.
#include <array>
#include <cstdio>
#include <iostream>
#include <span>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/option_values.h"
#include "converter/conversion_messages.h"
#include "decoder/decode_options.h"
#include "diagnostics/fatal_error.h"

template <class Settings> struct DataOption {
  const char *name; // with its "-"
  bool takesValue;
  void (*apply)(const std::string &, Settings &);
};

namespace data_option_words {
inline const char *const recordFormats[] = {"F", "V", "VB", "L"};
inline const char *const byteOrders[] = {"big", "little"};
inline const char *const floatFormats[] = {"ibm", "ieee"};
} // namespace data_option_words

// The options both programs spell alike and give the same meaning: the
// copybook's reading (Settings::frontEnd, Settings::output) and the record's
// (the member `Data` of Settings, the decoder's or the encoder's options).
// A program whose refusal or limits differ keeps that option in its own table.
template <class Settings, auto Data>
constexpr std::array<DataOption<Settings>, 14> sharedDataOptions() {
  using namespace data_option_words;
  return {{
      {"-o", true, [](const std::string &v, Settings &s) { s.output = v; }},
      {"-f", false, [](const std::string &, Settings &s) { s.frontEnd.freeFormat = true; }},
      {"-lenient", false, [](const std::string &, Settings &s) { s.frontEnd.lenient = true; }},
      {"-c", false, [](const std::string &, Settings &s) { (s.*Data).commaDecimalPoint = true; }},
      {"-d", true,
       [](const std::string &v, Settings &s) { s.frontEnd.copyDirectories.push_back(v); }},
      {"-e", true,
       [](const std::string &v, Settings &s) {
         s.frontEnd.copyExtensions.push_back(v.empty() || v[0] != '.' ? "." + v : v);
       }},
      {"-recfm", true,
       [](const std::string &v, Settings &s) {
         const std::optional<std::string> format = oneOf(v, recordFormats);
         if (!format)
           refuse("-recfm", v, "the record format is one of " + listed(recordFormats));
         (s.*Data).recordFormat = *format == "F"    ? RecordFormat::fixed
                                  : *format == "V"  ? RecordFormat::variable
                                  : *format == "VB" ? RecordFormat::variableBlocked
                                                    : RecordFormat::lines;
       }},
      {"-byteorder", true,
       [](const std::string &v, Settings &s) {
         const std::optional<std::string> order = oneOf(v, byteOrders);
         if (!order)
           refuse("-byteorder", v, "one of " + listed(byteOrders));
         (s.*Data).littleEndian = *order == "little";
       }},
      {"-float", true,
       [](const std::string &v, Settings &s) {
         const std::optional<std::string> format = oneOf(v, floatFormats);
         if (!format)
           refuse("-float", v, "one of " + listed(floatFormats));
         (s.*Data).ieeeFloat = *format == "ieee";
       }},
      {"-record", true, [](const std::string &v, Settings &s) { (s.*Data).record = v; }},
      {"-fillers", false, [](const std::string &, Settings &s) { (s.*Data).fillers = true; }},
      {"-strict", false, [](const std::string &, Settings &s) { (s.*Data).strict = true; }},
      {"-q", false, [](const std::string &, Settings &s) { (s.*Data).quiet = true; }},
      {"-j", true,
       [](const std::string &v, Settings &s) {
         const std::optional<long long> n = whole(v, 1, 64);
         if (!n)
           refuse("-j", v, "give a number of threads from 1 to 64");
         (s.*Data).jobs = static_cast<int>(*n);
       }},
  }};
}

// Reads argv into `settings` through the two tables; what is not an option
// is an operand (a data file). --help and --version end the reading with
// their text, whatever follows them.
template <class Settings>
void readDataArguments(int argc, char **argv, const char *program, const char *usage,
                       std::span<const DataOption<Settings>> shared,
                       std::span<const DataOption<Settings>> own, Settings &settings,
                       std::vector<std::string> &operands) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-?" || argument == "--help")
      throw Printed{usage};
    if (argument == "--version")
      throw Printed{vexVersionLine(program)};
    const DataOption<Settings> *option = nullptr;
    for (const std::span<const DataOption<Settings>> table : {own, shared})
      for (const DataOption<Settings> &candidate : table)
        if (option == nullptr && argument == candidate.name)
          option = &candidate;
    if (option != nullptr) {
      if (option->takesValue && i + 1 == argc)
        throw UsageError{argument + " needs a value"};
      option->apply(option->takesValue ? argv[++i] : "", settings);
    } else if (argument.size() > 1 && argument[0] == '-') {
      throw UsageError{"unknown option " + argument + " (--help lists the options)"};
    } else {
      operands.push_back(argument);
    }
  }
}

// Runs a data program's `body` and ends the program by what it threw: the
// help or version text on the standard output, a usage error in one line of
// the program's, the copybook's errors as the front end left them.
template <class Body> int runDataProgram(const char *program, Body body) {
  try {
    return body();
  } catch (const Printed &printed) {
    std::fputs(printed.text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  } catch (const UsageError &error) {
    std::fprintf(stderr, "%s: %s\n", program, error.text.c_str());
    return 1;
  } catch (const FatalError &) {
    std::fflush(stderr);
    std::cerr << vexCblMsg::sourceErrors << std::flush;
    return 1;
  }
}

// vexfcbl-decode: option reading, its messages and the usage text of the record decoder program.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <optional>

#include "cli/command_line.h"
#include "converter/conversion_messages.h"
#include "decoder/code_page.h"
#include "decoder/decode_run.h"
#include "decoder/diagnose.h"
#include "diagnostics/fatal_error.h"

namespace {

const char usageText[] =
    "Usage: vexfcbl-decode -i COPYBOOK [options] [DATAFILE...]\n"
    "Decodes records (standard input without DATAFILE) to JSON Lines or CSV.\n"
    "Options:\n"
    "\t-i input-file      - input COBOL copybook.\n"
    "\t-o output-file     - output file, put in place only when the run\n"
    "\t                     completes. Standard output by default.\n"
    "\t-f                 - Cobol source is freeform.\n"
    "\t-c                 - decimal point is comma.\n"
    "\t-d                 - copy directory; may be repeated.\n"
    "\t-e                 - extension for copybook files; may be repeated.\n"
    "\t-lenient           - read the copybook as vexfcbl -lenient does.\n"
    "\t-recfm F|V|VB|L    - fixed (default), RDW variable, blocked, text lines.\n"
    "\t-lrecl N           - fixed record length; the record's length by default.\n"
    "\t-codepage NAME     - IBM037 (default), IBM1047, IBM273, IBM277, IBM280,\n"
    "\t                     IBM284, IBM285, IBM297, IBM500, IBM1140, ASCII, UTF-8;\n"
    "\t                     also as ibm037, IBM-037, CP037 or 037.\n"
    "\t-dbcs NAME         - DISPLAY-1 code page: IBM930, IBM939, IBM1390,\n"
    "\t                     IBM1399 (needed when the copybook has DISPLAY-1).\n"
    "\t-byteorder big|little - binary and floating-point byte order.\n"
    "\t-float ibm|ieee    - COMP-1/COMP-2 format; IBM hexadecimal by default.\n"
    "\t-record NAME       - decode every data record as this record.\n"
    "\t-when F=V:NAME     - record or REDEFINES alternative NAME when field F\n"
    "\t                     holds V; may be repeated.\n"
    "\t-format jsonl|csv  - output format; jsonl by default.\n"
    "\t-fillers           - include FILLER items.\n"
    "\t-trim              - drop trailing blanks of text.\n"
    "\t-raw               - add each record's bytes (and those of fields not\n"
    "\t                     decoded) in base64, for vexfcbl-encode.\n"
    "\t-strict            - stop with status 1 at the first bad data.\n"
    "\t-q                 - no progress line and no summary.\n"
    "\t-j N               - decode F and L files with N threads (1 to 64);\n"
    "\t                     the output keeps the input order.\n"
    "\t-range S:E[:N]     - only the records that begin in bytes S to E-1 of\n"
    "\t                     the one data file (E empty: to its end); N: the\n"
    "\t                     first one's number in the file (from -splits).\n"
    "\t-splits SIZE       - print ranges S:E[:N] of about SIZE bytes (suffix\n"
    "\t                     K, M or G) that start on records, one a line.\n"
    "\t-diagnose          - instead of decoding, try the framings, code pages\n"
    "\t                     and record types that could give the one DATAFILE\n"
    "\t                     and report the options that fit it best (status 0;\n"
    "\t                     2 when none fits well).\n"
    "\t-sample MB         - -diagnose: megabytes read from the file (4 by\n"
    "\t                     default): its start and three spread-out pieces.\n"
    "\t-diagnose-json FILE - -diagnose: the report as JSON too.\n"
    "\t-diagnose-html FILE - -diagnose: the record map with the first records\n"
    "\t                     of each reading, one self-contained HTML page.\n"
    "\t-?, --help         - print this usage message.\n"
    "\t--version          - print the version.\n";

const char *const codePages[] = {"IBM037", "IBM1047", "IBM273", "IBM277",  "IBM280", "IBM284",
                                 "IBM285", "IBM297",  "IBM500", "IBM1140", "ASCII",  "UTF-8"};

const char *const dbcsPages[] = {"IBM930", "IBM939", "IBM1390", "IBM1399"};

struct Settings {
  std::string copybook;
  std::string output;
  FrontEndOptions frontEnd;
  DecodeOptions decode;
  std::vector<std::string> dataFiles;
  bool diagnose = false; // -diagnose
  bool sampleGiven = false;
  DiagnoseSettings diagnoseSettings;
  DiagnoseOutputs diagnoseOutputs;
};

// A command line the program cannot run: `text` says which option and why.
struct UsageError {
  std::string text;
};

// --help or --version: the text to print on the standard output.
struct Printed {
  std::string text;
};

[[noreturn]] void refuse(const char *option, const std::string &value, const std::string &why) {
  throw UsageError{std::string(option) + " " + value + ": " + why};
}

template <std::size_t N> std::string listed(const char *const (&names)[N]) {
  std::string list;
  for (const char *name : names)
    list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

// A whole decimal number in [low, high]; nothing for anything else.
std::optional<long long> whole(const std::string &text, long long low, long long high) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])))
    return std::nullopt;
  errno = 0;
  char *end = nullptr;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || n < low || n > high)
    return std::nullopt;
  return n;
}

// One of `words`, in any case: the word as listed.
template <std::size_t N>
std::optional<std::string> oneOf(const std::string &text, const char *const (&words)[N]) {
  for (const char *word : words)
    if (::strcasecmp(text.c_str(), word) == 0)
      return std::string(word);
  return std::nullopt;
}

const char *const recordFormats[] = {"F", "V", "VB", "L"};
const char *const byteOrders[] = {"big", "little"};
const char *const floatFormats[] = {"ibm", "ieee"};
const char *const outputFormats[] = {"jsonl", "csv"};

using Apply = void (*)(const std::string &, Settings &);
struct Option {
  const char *name; // with its "-"
  bool takesValue;
  Apply apply;
};

constexpr Option options[] = {
    {"-i", true, [](const std::string &v, Settings &s) { s.copybook = v; }},
    {"-o", true, [](const std::string &v, Settings &s) { s.output = v; }},
    {"-f", false, [](const std::string &, Settings &s) { s.frontEnd.freeFormat = true; }},
    {"-lenient", false, [](const std::string &, Settings &s) { s.frontEnd.lenient = true; }},
    {"-c", false, [](const std::string &, Settings &s) { s.decode.commaDecimalPoint = true; }},
    {"-d", true, [](const std::string &v, Settings &s) { s.frontEnd.copyDirectories.push_back(v); }},
    {"-e", true,
     [](const std::string &v, Settings &s) {
       s.frontEnd.copyExtensions.push_back(v.empty() || v[0] != '.' ? "." + v : v);
     }},
    {"-recfm", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> format = oneOf(v, recordFormats);
       if (!format)
         refuse("-recfm", v, "the record format is one of " + listed(recordFormats));
       s.decode.recordFormat = *format == "F"   ? RecordFormat::fixed
                               : *format == "V" ? RecordFormat::variable
                               : *format == "VB" ? RecordFormat::variableBlocked
                                                 : RecordFormat::lines;
     }},
    {"-lrecl", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 1, INT64_MAX);
       if (!n)
         refuse("-lrecl", v, "give the record length in bytes, a whole number from 1 up");
       s.decode.recordLength = *n;
     }},
    {"-codepage", true,
     [](const std::string &v, Settings &s) {
       s.decode.codePage = knownCodePage(v, codePages);
       if (s.decode.codePage.empty())
         refuse("-codepage", v, "not a code page of this program; one of " + listed(codePages));
     }},
    {"-dbcs", true,
     [](const std::string &v, Settings &s) {
       s.decode.dbcs = knownCodePage(v, dbcsPages);
       if (s.decode.dbcs.empty())
         refuse("-dbcs", v, "not a DISPLAY-1 code page of this program; one of " +
                                listed(dbcsPages));
     }},
    {"-byteorder", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> order = oneOf(v, byteOrders);
       if (!order)
         refuse("-byteorder", v, "one of " + listed(byteOrders));
       s.decode.littleEndian = *order == "little";
     }},
    {"-float", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> format = oneOf(v, floatFormats);
       if (!format)
         refuse("-float", v, "one of " + listed(floatFormats));
       s.decode.ieeeFloat = *format == "ieee";
     }},
    {"-record", true, [](const std::string &v, Settings &s) { s.decode.record = v; }},
    {"-when", true,
     [](const std::string &v, Settings &s) {
       const std::size_t equals = v.find('=');
       const std::size_t colon = v.rfind(':');
       if (equals == std::string::npos || equals == 0 || colon == std::string::npos ||
           colon < equals || colon + 1 == v.size())
         refuse("-when", v, "give FIELD=VALUE:NAME");
       s.decode.rules.push_back(
           {v.substr(0, equals), v.substr(equals + 1, colon - equals - 1), v.substr(colon + 1)});
     }},
    {"-format", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> format = oneOf(v, outputFormats);
       if (!format)
         refuse("-format", v, "one of " + listed(outputFormats));
       s.decode.format = *format == "csv" ? OutputFormat::csv : OutputFormat::jsonLines;
     }},
    {"-fillers", false, [](const std::string &, Settings &s) { s.decode.fillers = true; }},
    {"-trim", false, [](const std::string &, Settings &s) { s.decode.trim = true; }},
    {"-raw", false, [](const std::string &, Settings &s) { s.decode.raw = true; }},
    {"-strict", false, [](const std::string &, Settings &s) { s.decode.strict = true; }},
    {"-q", false, [](const std::string &, Settings &s) { s.decode.quiet = true; }},
    {"-j", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 1, 64);
       if (!n)
         refuse("-j", v, "give a number of threads from 1 to 64");
       s.decode.jobs = static_cast<int>(*n);
     }},
    {"-range", true,
     [](const std::string &v, Settings &s) {
       // START:END[:FIRST], END empty for the end of the file.
       const std::size_t colon = v.find(':');
       const std::size_t second = colon == std::string::npos ? colon : v.find(':', colon + 1);
       const std::string endText =
           colon == std::string::npos ? "" : v.substr(colon + 1, second - colon - 1);
       const std::optional<long long> start =
           whole(colon == std::string::npos ? v : v.substr(0, colon), 0, INT64_MAX);
       const std::optional<long long> end =
           endText.empty() ? std::optional<long long>(INT64_MAX) : whole(endText, 0, INT64_MAX);
       const std::optional<long long> first =
           second == std::string::npos ? std::optional<long long>(0)
                                       : whole(v.substr(second + 1), 1, INT64_MAX);
       if (colon == std::string::npos || !start || !end || !first || *end < *start)
         refuse("-range", v,
                "give START:END or START:END:FIRST, byte offsets with START not beyond END "
                "(END empty: the end of the file) and FIRST the first record's number from 1");
       s.decode.range = ByteRange{*start, *end, *first};
     }},
    {"-splits", true,
     [](const std::string &v, Settings &s) {
       const std::size_t digits = v.find_first_not_of("0123456789");
       const std::string unit = digits == std::string::npos ? "" : v.substr(digits);
       const int shift = unit.empty()  ? 0
                         : unit == "K" ? 10
                         : unit == "M" ? 20
                         : unit == "G" ? 30
                                       : -1;
       const std::optional<long long> n =
           shift < 0 ? std::nullopt : whole(v.substr(0, digits), 1, INT64_MAX >> shift);
       if (!n)
         refuse("-splits", v, "give a size in bytes from 1 up, with K, M or G for 2^10, 2^20, 2^30");
       s.decode.splitSize = *n << shift;
     }},
    // -diagnose and its options.
    {"-diagnose", false, [](const std::string &, Settings &s) { s.diagnose = true; }},
    {"-sample", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 1, 4096);
       if (!n)
         refuse("-sample", v, "give the megabytes to read, a whole number from 1 to 4096");
       s.diagnoseSettings.sampleBytes = *n << 20;
       s.sampleGiven = true;
     }},
    {"-diagnose-json", true, [](const std::string &v, Settings &s) { s.diagnoseOutputs.json = v; }},
    {"-diagnose-html", true, [](const std::string &v, Settings &s) { s.diagnoseOutputs.html = v; }},
};

Settings readSettings(int argc, char **argv) {
  Settings settings;
  // The parse is the decoder's business: its messages are its own.
  settings.frontEnd.startingLine = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "-?" || argument == "--help")
      throw Printed{usageText};
    if (argument == "--version")
      throw Printed{vexVersionLine("vexfcbl-decode")};
    const Option *option = std::find_if(std::begin(options), std::end(options),
                                        [&](const Option &o) { return argument == o.name; });
    if (option != std::end(options)) {
      if (option->takesValue && i + 1 == argc)
        throw UsageError{argument + " needs a value"};
      option->apply(option->takesValue ? argv[++i] : "", settings);
    } else if (argument.size() > 1 && argument[0] == '-') {
      throw UsageError{"unknown option " + argument + " (--help lists the options)"};
    } else {
      settings.dataFiles.push_back(argument);
    }
  }
  if (settings.copybook.empty())
    throw UsageError{"-i COPYBOOK is missing (--help lists the options)"};
  return settings;
}

} // namespace

int main(int argc, char **argv) {
  try {
    const Settings settings = readSettings(argc, argv);
    if (settings.diagnose) {
      if (settings.dataFiles.size() != 1 || settings.dataFiles.front() == "-")
        throw UsageError{"-diagnose needs exactly one data file, not standard input"};
      return diagnoseFile(settings.copybook, settings.frontEnd, settings.decode,
                          settings.dataFiles.front(), settings.diagnoseSettings,
                          settings.diagnoseOutputs);
    }
    if (settings.sampleGiven || !settings.diagnoseOutputs.json.empty() ||
        !settings.diagnoseOutputs.html.empty())
      throw UsageError{"-sample, -diagnose-json and -diagnose-html go with -diagnose"};
    return decodeFiles(settings.copybook, settings.frontEnd, settings.decode, settings.dataFiles,
                       settings.output);
  } catch (const Printed &printed) {
    std::fputs(printed.text.c_str(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  } catch (const UsageError &error) {
    std::fprintf(stderr, "vexfcbl-decode: %s\n", error.text.c_str());
    return 1;
  } catch (const FatalError &) {
    std::fflush(stderr);
    std::cerr << vexCblMsg::sourceErrors << std::flush;
    return 1;
  }
}

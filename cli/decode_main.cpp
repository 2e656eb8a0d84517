// vexfcbl-decode: option reading and usage text of the record decoder program.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>

#include "cli/command_line.h"
#include "converter/conversion_messages.h"
#include "decoder/decode_run.h"
#include "diagnostics/fatal_error.h"

namespace {

const char usageText[] =
    "Usage: vexfcbl-decode -i COPYBOOK [options] [DATAFILE...]\n"
    "Decodes records (standard input without DATAFILE) to JSON Lines or CSV.\n"
    "Options:\n"
    "\t-i input-file      - input COBOL copybook.\n"
    "\t-o output-file     - output file. Standard output by default.\n"
    "\t-f                 - Cobol source is freeform.\n"
    "\t-c                 - decimal point is comma.\n"
    "\t-d                 - copy directory; may be repeated.\n"
    "\t-e                 - extension for copybook files; may be repeated.\n"
    "\t-lenient           - read the copybook as vexfcbl -lenient does.\n"
    "\t-recfm F|V|VB|L    - fixed (default), RDW variable, blocked, text lines.\n"
    "\t-lrecl N           - fixed record length; the record's length by default.\n"
    "\t-codepage NAME     - IBM037 (default), IBM1047, IBM273, IBM277, IBM280,\n"
    "\t                     IBM284, IBM285, IBM297, IBM500, IBM1140, ASCII, UTF-8.\n"
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
    "\t-strict            - stop with status 1 at the first bad data.\n"
    "\t-j N               - decode F and L files with N threads (1 to 64);\n"
    "\t                     the output keeps the input order.\n"
    "\t-range S:E[:N]     - only the records that begin in bytes S to E-1 of\n"
    "\t                     the one data file (E empty: to its end); N: the\n"
    "\t                     first one's number in the file (from -splits).\n"
    "\t-splits SIZE       - print ranges S:E[:N] of about SIZE bytes (suffix\n"
    "\t                     K, M or G) that start on records, one a line.\n"
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
};

using Apply = void (*)(const std::string &, Settings &, const VexCmdError &);
struct Option {
  const char *name;
  bool takesValue;
  Apply apply;
};

constexpr Option options[] = {
    {"i", true, [](const std::string &v, Settings &s, const VexCmdError &) { s.copybook = v; }},
    {"o", true, [](const std::string &v, Settings &s, const VexCmdError &) { s.output = v; }},
    {"f", false,
     [](const std::string &, Settings &s, const VexCmdError &) { s.frontEnd.freeFormat = true; }},
    {"lenient", false,
     [](const std::string &, Settings &s, const VexCmdError &) { s.frontEnd.lenient = true; }},
    {"c", false,
     [](const std::string &, Settings &s, const VexCmdError &) {
       s.decode.commaDecimalPoint = true;
     }},
    {"d", true,
     [](const std::string &v, Settings &s, const VexCmdError &) {
       s.frontEnd.copyDirectories.push_back(v);
     }},
    {"e", true,
     [](const std::string &v, Settings &s, const VexCmdError &) {
       s.frontEnd.copyExtensions.push_back(v.empty() || v[0] != '.' ? "." + v : v);
     }},
    {"recfm", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       if (v == "F")
         s.decode.recordFormat = RecordFormat::fixed;
       else if (v == "V")
         s.decode.recordFormat = RecordFormat::variable;
       else if (v == "VB")
         s.decode.recordFormat = RecordFormat::variableBlocked;
       else if (v == "L")
         s.decode.recordFormat = RecordFormat::lines;
       else
         e.error("recfm", VexCmdError::invalidValue);
     }},
    {"lrecl", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       char *end = nullptr;
       const long long n = std::strtoll(v.c_str(), &end, 10);
       if (v.empty() || *end != '\0' || n <= 0)
         e.error("lrecl", VexCmdError::invalidValue);
       s.decode.recordLength = n;
     }},
    {"codepage", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       for (const char *name : codePages)
         if (v == name)
           return void(s.decode.codePage = v);
       e.error("codepage", VexCmdError::invalidValue);
     }},
    {"dbcs", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       for (const char *name : dbcsPages)
         if (v == name)
           return void(s.decode.dbcs = v);
       e.error("dbcs", VexCmdError::invalidValue);
     }},
    {"byteorder", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       if (v != "big" && v != "little")
         e.error("byteorder", VexCmdError::invalidValue);
       s.decode.littleEndian = v == "little";
     }},
    {"float", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       if (v != "ibm" && v != "ieee")
         e.error("float", VexCmdError::invalidValue);
       s.decode.ieeeFloat = v == "ieee";
     }},
    {"record", true,
     [](const std::string &v, Settings &s, const VexCmdError &) { s.decode.record = v; }},
    {"when", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       const std::size_t equals = v.find('=');
       const std::size_t colon = v.rfind(':');
       if (equals == std::string::npos || equals == 0 || colon == std::string::npos ||
           colon < equals || colon + 1 == v.size())
         e.error("when", VexCmdError::invalidValue);
       s.decode.rules.push_back(
           {v.substr(0, equals), v.substr(equals + 1, colon - equals - 1), v.substr(colon + 1)});
     }},
    {"format", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       if (v != "jsonl" && v != "csv")
         e.error("format", VexCmdError::invalidValue);
       s.decode.format = v == "csv" ? OutputFormat::csv : OutputFormat::jsonLines;
     }},
    {"fillers", false,
     [](const std::string &, Settings &s, const VexCmdError &) { s.decode.fillers = true; }},
    {"trim", false,
     [](const std::string &, Settings &s, const VexCmdError &) { s.decode.trim = true; }},
    {"strict", false,
     [](const std::string &, Settings &s, const VexCmdError &) { s.decode.strict = true; }},
    {"j", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       char *end = nullptr;
       const long n = std::strtol(v.c_str(), &end, 10);
       if (v.empty() || *end != '\0' || n < 1 || n > 64)
         e.error("j", VexCmdError::invalidValue);
       s.decode.jobs = static_cast<int>(n);
     }},
    {"range", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       // START:END[:FIRST], END empty for the end of the file.
       const std::size_t colon = v.find(':');
       const std::size_t second = colon == std::string::npos ? colon : v.find(':', colon + 1);
       const auto number = [](const std::string &text, long long &value) {
         char *end = nullptr;
         value = std::strtoll(text.c_str(), &end, 10);
         return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0])) && *end == '\0';
       };
       ByteRange range;
       long long start = 0;
       long long end = 0;
       const std::string endText = v.substr(colon + 1, second - colon - 1);
       if (colon == std::string::npos || !number(v.substr(0, colon), start) ||
           (!endText.empty() && !number(endText, end)) ||
           (second != std::string::npos && !number(v.substr(second + 1), range.firstRecord)) ||
           (second != std::string::npos && range.firstRecord < 1) ||
           (!endText.empty() && end < start))
         e.error("range", VexCmdError::invalidValue);
       range.start = start;
       if (!endText.empty())
         range.end = end;
       s.decode.range = range;
     }},
    {"splits", true,
     [](const std::string &v, Settings &s, const VexCmdError &e) {
       char *end = nullptr;
       long long n = std::strtoll(v.c_str(), &end, 10);
       const std::string unit = end;
       const int shift = unit.empty()  ? 0
                         : unit == "K" ? 10
                         : unit == "M" ? 20
                         : unit == "G" ? 30
                                       : -1;
       if (v.empty() || !std::isdigit(static_cast<unsigned char>(v[0])) || shift < 0 || n <= 0 ||
           n > (INT64_MAX >> shift))
         e.error("splits", VexCmdError::invalidValue);
       s.decode.splitSize = n << shift;
     }},
    {"-version", false,
     [](const std::string &, Settings &, const VexCmdError &e) {
       e.printAndStop(vexVersionLine("vexfcbl-decode"));
     }},
    {"-help", false,
     [](const std::string &, Settings &, const VexCmdError &e) { e.printUsageAndStop(0); }},
    {"?", false,
     [](const std::string &, Settings &, const VexCmdError &e) { e.printUsageAndStop(0); }},
};

Settings readSettings(VexCmdLine &line, const VexCmdError &errors) {
  std::vector<VexCmdArg> args;
  for (const Option &option : options)
    args.emplace_back(option.name, option.takesValue);
  Settings settings;
  while (!line.atEnd()) {
    std::size_t i = 0;
    std::string value;
    while (i < args.size() && !args[i].read(line, value, errors))
      ++i;
    if (i < args.size()) {
      options[i].apply(value, settings, errors);
      continue;
    }
    const std::string argument = line.peek();
    if (argument.size() > 1 && argument[0] == '-') {
      std::cout << "Error: " << VexUtilityErrorMsg::optUnknownOption(argument) << std::endl;
      errors.printUsageAndStop(1);
    }
    settings.dataFiles.push_back(line.next());
  }
  if (settings.copybook.empty()) {
    std::cout.flush();
    std::cerr << "Error: Missed input file." << std::endl;
    errors.printUsageAndStop(1);
  }
  return settings;
}

} // namespace

int main(int argc, char **argv) {
  const VexCmdError errors(usageText);
  VexCmdLine line(argc, argv);
  try {
    const Settings settings = readSettings(line, errors);
    return decodeFiles(settings.copybook, settings.frontEnd, settings.decode, settings.dataFiles,
                       settings.output);
  } catch (const VexCmdStop &stop) {
    return stop.status;
  } catch (const FatalError &) {
    std::fflush(stderr);
    std::cerr << vexCblMsg::sourceErrors << std::flush;
    return 1;
  }
}

// vexfcbl-encode: option reading, its messages and the usage text of the record encoder program.
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
#include "cli/data_options.h"
#include "cli/option_values.h"
#include "converter/conversion_messages.h"
#include "decoder/code_page.h"
#include "diagnostics/fatal_error.h"
#include "encoder/encode_run.h"

namespace {

const char usageText[] =
    "Usage: vexfcbl-encode -i COPYBOOK [options] [INPUT...] -o DATAFILE\n"
    "Writes the records of JSON Lines or CSV (standard input without INPUT), as\n"
    "vexfcbl-decode shows them, back into a data file.\n"
    "Options:\n"
    "\t-i input-file      - input COBOL copybook.\n"
    "\t-o output-file     - the data file, put in place only when the run\n"
    "\t                     completes; - for the standard output.\n"
    "\t-f                 - Cobol source is freeform.\n"
    "\t-c                 - decimal point is comma.\n"
    "\t-d                 - copy directory; may be repeated.\n"
    "\t-e                 - extension for copybook files; may be repeated.\n"
    "\t-lenient           - read the copybook as vexfcbl -lenient does.\n"
    "\t-format jsonl|csv  - input format; jsonl by default.\n"
    "\t-recfm F|V|VB|L    - fixed (default), RDW variable, blocked, text lines.\n"
    "\t-lrecl N           - F and L record length; the longest record's by default.\n"
    "\t-blocksize N       - VB: the largest block, BDW included (32760).\n"
    "\t-rdworder big|little - byte order of the RDW and BDW lengths (big).\n"
    "\t-codepage NAME     - IBM037 (default), IBM1047, IBM273, IBM277, IBM280,\n"
    "\t                     IBM284, IBM285, IBM297, IBM500, IBM1140, ASCII, UTF-8;\n"
    "\t                     also as ibm037, IBM-037, CP037 or 037.\n"
    "\t-dbcs NAME         - DISPLAY-1 code page: IBM930, IBM939, IBM1390,\n"
    "\t                     IBM1399 (needed when the copybook has DISPLAY-1).\n"
    "\t-byteorder big|little - binary and floating-point byte order.\n"
    "\t-float ibm|ieee    - COMP-1/COMP-2 format; IBM hexadecimal by default.\n"
    "\t-packed-sign F|C   - sign nibble of unsigned packed items; F by default.\n"
    "\t-record NAME       - every input object is this record (its members).\n"
    "\t-when F=V:NAME     - record or REDEFINES alternative NAME when field F\n"
    "\t                     holds V; may be repeated.\n"
    "\t-fillers           - read FILLER values (blanks when not given).\n"
    "\t-truncate          - cut text longer than its item instead of refusing it.\n"
    "\t-fill MODE         - OCCURS elements not given: spaces (default), zeros\n"
    "\t                     or low-values.\n"
    "\t-null MODE         - null values: error (default), spaces, zeros or\n"
    "\t                     low-values.\n"
    "\t-strict            - stop with status 1 at the first record not written.\n"
    "\t-q                 - no summary.\n"
    "\t-j N               - encode with N threads (1 to 64); the output keeps\n"
    "\t                     the input order.\n"
    "\t-?, --help         - print this usage message.\n"
    "\t--version          - print the version.\n";

const char *const codePages[] = {"IBM037", "IBM1047", "IBM273", "IBM277",  "IBM280", "IBM284",
                                 "IBM285", "IBM297",  "IBM500", "IBM1140", "ASCII",  "UTF-8"};

const char *const dbcsPages[] = {"IBM930", "IBM939", "IBM1390", "IBM1399"};

struct Settings {
  std::string copybook;
  std::string output;
  FrontEndOptions frontEnd;
  EncodeOptions encode;
  std::vector<std::string> inputs;
};

const char *const inputFormats[] = {"jsonl", "csv"};
const char *const packedSigns[] = {"F", "C"};
const char *const fillModes[] = {"spaces", "zeros", "low-values"};
const char *const nullModes[] = {"error", "spaces", "zeros", "low-values"};

FillMode fillMode(const std::string &word) {
  return word == "zeros"        ? FillMode::zeros
         : word == "low-values" ? FillMode::lowValues
         : word == "error"      ? FillMode::error
                                : FillMode::spaces;
}

using data_option_words::byteOrders;
using Option = DataOption<Settings>;
constexpr auto sharedOptions = sharedDataOptions<Settings, &Settings::encode>();

constexpr Option options[] = {
    {"-i", true, [](const std::string &v, Settings &s) { s.copybook = v; }},
    {"-format", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> format = oneOf(v, inputFormats);
       if (!format)
         refuse("-format", v, "one of " + listed(inputFormats));
       s.encode.format = *format == "csv" ? InputFormat::csv : InputFormat::jsonLines;
     }},
    {"-lrecl", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 1, INT32_MAX);
       if (!n)
         refuse("-lrecl", v, "give the record length in bytes, a whole number from 1 up");
       s.encode.recordLength = *n;
     }},
    {"-blocksize", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 9, 32760);
       if (!n)
         refuse("-blocksize", v, "give the largest block in bytes, 9 to 32760");
       s.encode.blockSize = *n;
     }},
    {"-rdworder", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> order = oneOf(v, byteOrders);
       if (!order)
         refuse("-rdworder", v, "one of " + listed(byteOrders));
       s.encode.littleEndianDescriptors = *order == "little";
     }},
    {"-codepage", true,
     [](const std::string &v, Settings &s) {
       s.encode.codePage = knownCodePage(v, codePages);
       if (s.encode.codePage.empty())
         refuse("-codepage", v, "not a code page of this program; one of " + listed(codePages));
     }},
    {"-dbcs", true,
     [](const std::string &v, Settings &s) {
       s.encode.dbcs = knownCodePage(v, dbcsPages);
       if (s.encode.dbcs.empty())
         refuse("-dbcs", v,
                "not a DISPLAY-1 code page of this program; one of " + listed(dbcsPages));
     }},
    {"-packed-sign", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> sign = oneOf(v, packedSigns);
       if (!sign)
         refuse("-packed-sign", v, "one of " + listed(packedSigns));
       s.encode.unsignedPackedC = *sign == "C";
     }},
    {"-when", true,
     [](const std::string &v, Settings &s) {
       const std::size_t equals = v.find('=');
       const std::size_t colon = v.rfind(':');
       if (equals == std::string::npos || equals == 0 || colon == std::string::npos ||
           colon < equals || colon + 1 == v.size())
         refuse("-when", v, "give FIELD=VALUE:NAME");
       s.encode.rules.push_back(
           {v.substr(0, equals), v.substr(equals + 1, colon - equals - 1), v.substr(colon + 1)});
     }},
    {"-truncate", false, [](const std::string &, Settings &s) { s.encode.truncate = true; }},
    {"-fill", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> mode = oneOf(v, fillModes);
       if (!mode)
         refuse("-fill", v, "one of " + listed(fillModes));
       s.encode.fill = fillMode(*mode);
     }},
    {"-null", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> mode = oneOf(v, nullModes);
       if (!mode)
         refuse("-null", v, "one of " + listed(nullModes));
       s.encode.null = fillMode(*mode);
     }},
};

Settings readSettings(int argc, char **argv) {
  Settings settings;
  // The parse is the encoder's business: its messages are its own.
  settings.frontEnd.startingLine = false;
  readDataArguments<Settings>(argc, argv, "vexfcbl-encode", usageText, sharedOptions, options,
                              settings, settings.inputs);
  if (settings.copybook.empty())
    throw UsageError{"-i COPYBOOK is missing (--help lists the options)"};
  if (settings.output.empty())
    throw UsageError{"-o DATAFILE is missing: the data file to write (- for the standard output)"};
  return settings;
}

} // namespace

int main(int argc, char **argv) {
  return runDataProgram("vexfcbl-encode", [&] {
    const Settings settings = readSettings(argc, argv);
    return encodeFiles(settings.copybook, settings.frontEnd, settings.encode, settings.inputs,
                       settings.output);
  });
}

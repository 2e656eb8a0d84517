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
#include <span>

#include "cli/command_line.h"
#include "cli/data_options.h"
#include "cli/option_values.h"
#include "converter/conversion_messages.h"
#include "decoder/code_page.h"
#include "decoder/decode_run.h"
#include "decoder/diagnose.h"
#include "decoder/option_text.h"
#include "decoder/run_parts.h"
#include "diagnostics/fatal_error.h"
#include "lake/lake_output.h"

namespace {

const char usageText[] =
    "Usage: vexfcbl-decode -i COPYBOOK [options] [DATAFILE...]\n"
    "Decodes records (standard input without DATAFILE) to JSON Lines, CSV, Avro\n"
    "or Parquet.\n"
    "Options:\n"
    "\t-i input-file      - input COBOL copybook; may be repeated: the records\n"
    "\t                     of all of them are candidates for -record and -when.\n"
    "\t-o output-file     - output file, put in place only when the run\n"
    "\t                     completes. Standard output by default.\n"
    "\t-f                 - Cobol source is freeform.\n"
    "\t-c                 - decimal point is comma.\n"
    "\t-d                 - copy directory; may be repeated.\n"
    "\t-e                 - extension for copybook files; may be repeated.\n"
    "\t-lenient           - read the copybook as vexfcbl -lenient does.\n"
    "\t-recfm F|V|VB|L    - fixed (default), RDW variable, blocked, text lines.\n"
    "\t-lrecl N           - fixed record length; the record's length by default.\n"
    "\t-codepage NAME     - IBM037 (default), IBM1047, IBM273 ... IBM1148 (the\n"
    "\t                     euro pages 1140-1149), 870, 875, 1025 and the other\n"
    "\t                     EBCDIC pages iconv knows, ASCII, UTF-8; also as\n"
    "\t                     ibm037, IBM-037, CP037 or 037. -codepage help\n"
    "\t                     lists them.\n"
    "\t-dbcs NAME         - double-byte page of DISPLAY-1 items and of the text\n"
    "\t                     between shift-out and shift-in in PIC X: IBM930,\n"
    "\t                     933, 935, 937, 939, 1364, 1371, 1388, 1390, 1399\n"
    "\t                     (as iconv offers them; -dbcs help lists them).\n"
    "\t-byteorder big|little - binary and floating-point byte order.\n"
    "\t-float ibm|ieee    - COMP-1/COMP-2 format; IBM hexadecimal by default.\n"
    "\t-record NAME       - decode every data record as this record.\n"
    "\t-when F=V:NAME     - record or REDEFINES alternative NAME when field F\n"
    "\t                     holds V; may be repeated. V:NAME with -segment.\n"
    "\t-segment FIELD     - the field whose value names each record's segment\n"
    "\t                     (-when V:NAME; a segment is a -when's NAME).\n"
    "\t-child SEG:PARENT  - records of segment SEG belong to the PARENT record\n"
    "\t                     before them; may be repeated. The output nests\n"
    "\t                     each parent's children in arrays named by segment\n"
    "\t                     (JSON Lines, Avro, Parquet: a row per root record).\n"
    "\t-ids               - flat records with _record (number), _segment and\n"
    "\t                     _parent (the parent's number, with -child) first.\n"
    "\t-select F,...      - write only these fields (names or paths; groups\n"
    "\t                     whole); the others are not decoded.\n"
    "\t-where F=V,...     - keep only records whose field F holds one of the\n"
    "\t                     values (text after the code page, numbers by\n"
    "\t                     value); may be repeated: all must hold.\n"
    "\t-format jsonl|csv|avro|parquet - output format; jsonl by default. Avro\n"
    "\t                     and Parquet are files: -o, or a pipe or file as the\n"
    "\t                     standard output; decimals are exact. -ids, -child,\n"
    "\t                     -header and -trailer records are in the rows too.\n"
    "\t-fillers           - include FILLER items.\n"
    "\t-trim              - drop trailing blanks of text.\n"
    "\t-raw               - add each record's bytes (and those of fields not\n"
    "\t                     decoded) in base64, for vexfcbl-encode.\n"
    "\t-strict            - stop with status 1 at the first bad data.\n"
    "\t-q                 - no progress line and no summary.\n"
    "\t-j N               - decode F, V, VB and L files with N threads (1 to 64);\n"
    "\t                     the output keeps the input order.\n"
    "\t-range S:E[:N]     - only the records that begin in bytes S to E-1 of\n"
    "\t                     the one data file (E empty: to its end); N: the\n"
    "\t                     first one's number in the file (from -splits).\n"
    "\t-splits SIZE       - print ranges S:E[:N] of about SIZE bytes (suffix\n"
    "\t                     K, M or G) that start on records, one a line.\n"
    "\t-rdw big|little    - byte order of RDW and BDW lengths; big by default.\n"
    "\t-rdw-adjust N      - add N to every RDW and BDW length: 4 when the\n"
    "\t                     lengths leave out the 4-byte word (may be negative).\n"
    "\t-skip-bytes N      - skip N bytes at the start of each file.\n"
    "\t-skip-trailer-bytes N - skip N bytes at the end of each file.\n"
    "\t-length-field NAME[+N|-N] - each record is as long as the value of its\n"
    "\t                     number field NAME, plus or minus N.\n"
    "\t-length-map V=LEN,... - with -length-field: a record whose field holds\n"
    "\t                     V is LEN bytes long.\n"
    "\t-variable-occurs   - F and L records end after the occurrences their\n"
    "\t                     DEPENDING ON counts give.\n"
    "\t-header NAME       - decode each file's first record as record NAME.\n"
    "\t-trailer NAME      - decode each file's last record as record NAME.\n"
    "\t-header-out FILE   - write the -header and -trailer lines (JSON Lines)\n"
    "\t                     to FILE instead of the output.\n"
    "\t-schema FILE       - write the schema of the records this command line\n"
    "\t                     writes (ids, trees, header and trailer records\n"
    "\t                     included); alone (no DATAFILE, no -o) nothing else.\n"
    "\t-schema-format F   - json-schema, avro, sql or sql-postgres; by FILE's\n"
    "\t                     extension (.json, .avsc, .sql) by default.\n"
    "\t-sql-arrays tables|json - OCCURS in SQL as child tables keyed by the\n"
    "\t                     record number (default) or as JSON columns.\n"
    "\t-codec NAME        - Avro: null (default), deflate, snappy; Parquet:\n"
    "\t                     snappy (default), zstd, none.\n"
    "\t-row-group-mb N    - Parquet row groups of about N MiB (default 128).\n"
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

constexpr auto &codePages = decoderCodePages;
constexpr auto &dbcsPages = decoderDbcsPages;
// -codepage help, -dbcs help: the pages iconv converts here, one a line.
std::string availableList(std::span<const char *const> names, bool singleByte) {
  std::string text;
  for (const std::string &name : availableCodePages(names, singleByte))
    text += name + "\n";
  return text;
}

struct Settings {
  std::vector<std::string> copybooks;
  std::string output;
  FrontEndOptions frontEnd;
  DecodeOptions decode;
  std::vector<std::string> dataFiles;
  bool diagnose = false; // -diagnose
  bool sampleGiven = false;
  DiagnoseSettings diagnoseSettings;
  DiagnoseOutputs diagnoseOutputs;
};

const char *const outputFormats[] = {"jsonl", "csv", "avro", "parquet"};
const char *const schemaFormats[] = {"json-schema", "avro", "sql", "sql-postgres"};
const char *const sqlArrays[] = {"tables", "json"};
const char *const avroCodecs[] = {"null", "deflate", "snappy"};
const char *const parquetCodecs[] = {"snappy", "zstd", "none"};

using data_option_words::byteOrders;
using Option = DataOption<Settings>;
constexpr auto sharedOptions = sharedDataOptions<Settings, &Settings::decode>();

constexpr Option options[] = {
    {"-i", true, [](const std::string &v, Settings &s) { s.copybooks.push_back(v); }},
    {"-lrecl", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 1, INT64_MAX);
       if (!n)
         refuse("-lrecl", v, "give the record length in bytes, a whole number from 1 up");
       s.decode.recordLength = *n;
     }},
    {"-codepage", true,
     [](const std::string &v, Settings &s) {
       if (::strcasecmp(v.c_str(), "help") == 0)
         throw Printed{availableList(singleByteCodePages(), true)};
       s.decode.codePage = knownCodePage(v, singleByteCodePages());
       if (s.decode.codePage.empty())
         refuse("-codepage", v,
                "not a code page of this program; -codepage help lists those it reads here");
     }},
    {"-dbcs", true,
     [](const std::string &v, Settings &s) {
       if (::strcasecmp(v.c_str(), "help") == 0)
         throw Printed{availableList(doubleByteCodePages(), false)};
       s.decode.dbcs = knownCodePage(v, doubleByteCodePages());
       if (s.decode.dbcs.empty())
         refuse("-dbcs", v,
                "not a double-byte code page of this program; -dbcs help lists those it reads "
                "here");
     }},
    {"-when", true,
     [](const std::string &v, Settings &s) {
       if (const std::string why = readWhen(v, s.decode); !why.empty())
         refuse("-when", v, why);
     }},
    {"-format", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> format = oneOf(v, outputFormats);
       if (!format)
         refuse("-format", v, "one of " + listed(outputFormats));
       s.decode.format = *format == "csv"       ? OutputFormat::csv
                         : *format == "avro"    ? OutputFormat::avro
                         : *format == "parquet" ? OutputFormat::parquet
                                                : OutputFormat::jsonLines;
     }},
    // Schemas and data-lake files (lake/).
    {"-schema", true,
     [](const std::string &v, Settings &s) {
       if (v.empty())
         refuse("-schema", v, "give the schema file's name");
       s.decode.schemaFile = v;
     }},
    {"-schema-format", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> format = oneOf(v, schemaFormats);
       if (!format)
         refuse("-schema-format", v, "one of " + listed(schemaFormats));
       s.decode.schemaFormat = *format;
     }},
    {"-sql-arrays", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> arrays = oneOf(v, sqlArrays);
       if (!arrays)
         refuse("-sql-arrays", v, "one of " + listed(sqlArrays));
       s.decode.sqlArraysJson = *arrays == "json";
     }},
    {"-codec", true, [](const std::string &v, Settings &s) { s.decode.codec = v; }},
    {"-row-group-mb", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 1, 4096);
       if (!n)
         refuse("-row-group-mb", v, "give a size in MiB from 1 to 4096");
       s.decode.rowGroupBytes = static_cast<std::int64_t>(*n) << 20;
     }},
    {"-trim", false, [](const std::string &, Settings &s) { s.decode.trim = true; }},
    {"-raw", false, [](const std::string &, Settings &s) { s.decode.raw = true; }},
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
       const std::optional<long long> first = second == std::string::npos
                                                  ? std::optional<long long>(0)
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
         refuse("-splits", v,
                "give a size in bytes from 1 up, with K, M or G for 2^10, 2^20, 2^30");
       s.decode.splitSize = *n << shift;
     }},
    {"-rdw", true,
     [](const std::string &v, Settings &s) {
       const std::optional<std::string> order = oneOf(v, byteOrders);
       if (!order)
         refuse("-rdw", v,
                "the byte order of descriptor word lengths, one of " + listed(byteOrders));
       s.decode.littleEndianWords = *order == "little";
     }},
    {"-rdw-adjust", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = signedWhole(v, -65535, 65535);
       if (!n)
         refuse("-rdw-adjust", v,
                "give the bytes to add to each descriptor word's length, a "
                "whole number from -65535 to 65535");
       s.decode.descriptorAdjust = *n;
     }},
    {"-skip-bytes", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 0, INT64_MAX);
       if (!n)
         refuse("-skip-bytes", v, "give the bytes to skip at each file's start, a whole number");
       s.decode.skipBytes = *n;
     }},
    {"-skip-trailer-bytes", true,
     [](const std::string &v, Settings &s) {
       const std::optional<long long> n = whole(v, 0, 1 << 30);
       if (!n)
         refuse("-skip-trailer-bytes", v,
                "give the bytes to skip at each file's end, a whole number up to 1G");
       s.decode.skipTrailerBytes = *n;
     }},
    {"-length-field", true,
     [](const std::string &v, Settings &s) {
       if (const std::string why = readLengthField(v, s.decode); !why.empty())
         refuse("-length-field", v, why);
     }},
    {"-length-map", true,
     [](const std::string &v, Settings &s) {
       if (const std::string why = readLengthMap(v, s.decode); !why.empty())
         refuse("-length-map", v, why);
     }},
    {"-variable-occurs", false,
     [](const std::string &, Settings &s) { s.decode.variableOccurs = true; }},
    {"-segment", true, [](const std::string &v, Settings &s) { s.decode.segmentField = v; }},
    {"-child", true,
     [](const std::string &v, Settings &s) {
       if (const std::string why = readChild(v, s.decode); !why.empty())
         refuse("-child", v, why);
     }},
    {"-ids", false, [](const std::string &, Settings &s) { s.decode.ids = true; }},
    {"-select", true,
     [](const std::string &v, Settings &s) {
       if (const std::string why = readSelect(v, s.decode); !why.empty())
         refuse("-select", v, why);
     }},
    {"-where", true,
     [](const std::string &v, Settings &s) {
       if (const std::string why = readWhere(v, s.decode); !why.empty())
         refuse("-where", v, why);
     }},
    {"-header", true, [](const std::string &v, Settings &s) { s.decode.headerRecord = v; }},
    {"-trailer", true, [](const std::string &v, Settings &s) { s.decode.trailerRecord = v; }},
    {"-header-out", true, [](const std::string &v, Settings &s) { s.decode.headerOutput = v; }},
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

// The lake options that only make sense together.
void checkLakeOptions(DecodeOptions &decode) {
  const bool avro = decode.format == OutputFormat::avro;
  const bool parquet = decode.format == OutputFormat::parquet;
  if (!decode.codec.empty()) {
    if (!avro && !parquet)
      refuse("-codec", decode.codec, "only -format avro and -format parquet are compressed");
    const std::optional<std::string> codec =
        avro ? oneOf(decode.codec, avroCodecs) : oneOf(decode.codec, parquetCodecs);
    if (!codec)
      refuse("-codec", decode.codec,
             std::string(avro ? "Avro" : "Parquet") + " codecs are " +
                 (avro ? listed(avroCodecs) : listed(parquetCodecs)));
    decode.codec = *codec;
  }
  if (decode.raw && (avro || parquet))
    throw UsageError{"-raw adds base64 keys to JSON Lines or CSV, not to Avro or Parquet"};
}

Settings readSettings(int argc, char **argv) {
  Settings settings;
  // The parse is the decoder's business: its messages are its own.
  settings.frontEnd.startingLine = false;
  readDataArguments<Settings>(argc, argv, "vexfcbl-decode", usageText, sharedOptions, options,
                              settings, settings.dataFiles);
  if (settings.copybooks.empty())
    throw UsageError{"-i COPYBOOK is missing (--help lists the options)"};
  if (const std::string conflict = optionConflict(settings.decode); !conflict.empty())
    throw UsageError{conflict};
  checkLakeOptions(settings.decode);
  if (!settings.decode.schemaFile.empty() && settings.decode.schemaFile == settings.output)
    throw UsageError{"-schema " + settings.output + ": the same file as -o"};
  return settings;
}

} // namespace

int main(int argc, char **argv) {
  return runDataProgram("vexfcbl-decode", [&] {
    const Settings settings = readSettings(argc, argv);
    if (settings.diagnose) {
      if (settings.dataFiles.size() != 1 || settings.dataFiles.front() == "-")
        throw UsageError{"-diagnose needs exactly one data file, not standard input"};
      if (settings.copybooks.size() != 1)
        throw UsageError{"-diagnose judges a file against one copybook: give -i once"};
      return diagnoseFile(settings.copybooks.front(), settings.frontEnd, settings.decode,
                          settings.dataFiles.front(), settings.diagnoseSettings,
                          settings.diagnoseOutputs);
    }
    if (settings.sampleGiven || !settings.diagnoseOutputs.json.empty() ||
        !settings.diagnoseOutputs.html.empty())
      throw UsageError{"-sample, -diagnose-json and -diagnose-html go with -diagnose"};
    return decodeFiles(settings.copybooks, settings.frontEnd, settings.decode, settings.dataFiles,
                       settings.output, lakeWriters());
  });
}

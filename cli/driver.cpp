// The program: option table, usage text, output name and the exit status of one run.
#include "cli/driver.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>

#include "cli/layout_run.h"
#include "converter/conversion_messages.h"
#include "converter/conversion_run.h"
#include "diagnostics/fatal_error.h"
#include "support/status_line.h"

namespace {

const char usageText[] = "Usage: vexfcbl [options]\n"
                         "Options:\n"
                         "\t-i input-file    - input COBOL file.\n"
                         "\t-o output-file   - output file with GNV definitions. Optional.\n"
                         "\t-f               - Cobol source is freeform.\n"
                         "\t-ns namespace    - namespace. Optional.\n"
                         "\t-c               - decimal point is comma.\n"
                         "\t-d               - copy directory. This option may be specified \n"
                         "\t                   multiply times.\n"
                         "\t-e               - extension for copybook files. This option may be\n"
                         "\t                   specified multiply times. '.cpy' is default\n"
                         "\t                   extension.\n"
                         "\t-tn              - always generate string for numeric and\n"
                         "\t                   numeric-edited items.\n"
                         "\t-r               - generate restriction list for level 88 items.\n"
                         "\t                   Optional.\n"
                         "\t-compat xxx      - backward version compatibility. Optional.\n"
                         "\t                   Allowed values:\n"
                         "\t        300      - generate string/binary instead of zoned/packed\n"
                         "\t                   decimal numbers.\n"
                         "\t-?               - print this usage message.\n";

// --help: the usage text, then the options that -? does not list.
const char moreUsageText[] =
    "Further options:\n"
    "\t-layout file     - write the record layout to file: JSON when its name\n"
    "\t                   ends with .json, the record map (one HTML page)\n"
    "\t                   with .html, else a text table; '-' is the\n"
    "\t                   standard output.\n"
    "\t-strict          - end with a non-zero status whenever no document is\n"
    "\t                   written: 2 when the source has errors, 3 when the\n"
    "\t                   output file cannot be written, 4 when there is\n"
    "\t                   nothing to export.\n"
    "\t-program         - the input is a whole program (or several), a DATA\n"
    "\t                   DIVISION or sections of one: the records of its\n"
    "\t                   DATA DIVISION are converted, the other divisions\n"
    "\t                   are skipped.\n"
    "\t-lenient         - accept what COBOL compilers accept beyond the\n"
    "\t                   default rules (constants, repeated names, dialect\n"
    "\t                   usages, reserved words as names ...), each with a\n"
    "\t                   warning.\n"
    "\t-batch dir       - convert every file under dir that matches the\n"
    "\t                   pattern, instead of -i; needs -od.\n"
    "\t-od dir          - batch: output folder, mirroring the input tree.\n"
    "\t-pattern glob    - batch: file names to convert; '*.cpy' is default.\n"
    "\t-j n             - batch: conversions run at once; one per core by\n"
    "\t                   default.\n"
    "\t-q               - batch: no progress line (shown on a terminal) and\n"
    "\t                   no summary line.\n"
    "\t--help           - print this help text.\n"
    "\t--version        - print the version.\n";

void setCompat(const std::string &value, VexCblConfig &config, const VexCmdError &errors) {
  std::int32_t level = 0;
  // %i on purpose: 0x12c and 0454 are 300 as well.
  if (std::sscanf(value.c_str(), "%" SCNi32, &level) == 1 && level == VexCblConfig::compat300)
    config.compatLevel = VexCblConfig::compat300;
  else
    errors.error("compat", VexCmdError::invalidValue);
}

std::string withLeadingDot(const std::string &value) {
  return value.empty() || value[0] != '.' ? "." + value : value;
}

// `name` up to (not including) its last "." -- the whole of `name` when it
// holds none, directories included in the search -- followed by `ext`.
std::string replaceExtension(const std::string &name, const char *ext) {
  return name.substr(0, name.rfind('.')) + ext;
}

// One command-line option: its declaration and what it does with its value.
struct Option {
  const char *name;
  bool takesValue;
  void (*apply)(const std::string &value, VexFcblOptions &options, const VexCmdError &errors);
};

// In the order in which an argument is offered to them; "?" must stay last,
// after every real option has declined.
constexpr Option options[] = {
    {"ns", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.namespaceName = v;
     }},
    {"i", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) { o.inputFile = v; }},
    {"o", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.outputFileName = v;
     }},
    {"c", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.commaDecimalPoint = true;
     }},
    {"f", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.frontEnd.freeFormat = true;
     }},
    {"dnd", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.noDescription = true;
     }},
    {"d", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) {
       o.frontEnd.copyDirectories.push_back(v);
     }},
    {"e", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) {
       o.frontEnd.copyExtensions.push_back(withLeadingDot(v));
     }},
    {"tn", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.textNumbersAsStrings = true;
     }},
    {"ta", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.packedDefaultAsText = true;
     }},
    {"compat", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &errors) {
       setCompat(v, o.conversion, errors);
     }},
    {"r", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.conversion.levelRestrictions = true;
     }},
    {"layout", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) { o.layoutFile = v; }},
    {"batch", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &errors) {
       if (v.empty())
         errors.error("batch", VexCmdError::invalidValue);
       o.batch.inputFolder = v;
     }},
    {"od", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &errors) {
       if (v.empty())
         errors.error("od", VexCmdError::invalidValue);
       o.batch.outputFolder = v;
     }},
    {"pattern", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &) { o.batch.pattern = v; }},
    {"j", true,
     [](const std::string &v, VexFcblOptions &o, const VexCmdError &errors) {
       char *end = nullptr;
       const long n = std::strtol(v.c_str(), &end, 10);
       if (v.empty() || *end != '\0' || n < 1 || n > 256)
         errors.error("j", VexCmdError::invalidValue);
       o.batch.jobs = static_cast<unsigned>(n);
     }},
    {"strict", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) { o.strict = true; }},
    {"q", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) { o.batch.quiet = true; }},
    {"program", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.frontEnd.program = true;
     }},
    {"lenient", false,
     [](const std::string &, VexFcblOptions &o, const VexCmdError &) {
       o.frontEnd.lenient = true;
       o.conversion.lenient = true;
     }},
    {"-help", false,
     [](const std::string &, VexFcblOptions &, const VexCmdError &errors) {
       errors.printAndStop(std::string(usageText) + moreUsageText);
     }},
    {"-version", false,
     [](const std::string &, VexFcblOptions &, const VexCmdError &errors) {
       errors.printAndStop(vexVersionLine("vexfcbl"));
     }},
    {"?", false,
     [](const std::string &, VexFcblOptions &, const VexCmdError &errors) {
       errors.printUsageAndStop(0);
     }},
};

// After a fatal front-end message. The message store has printed what it
// collected through stdio; keep the stop message behind it. The run's state
// went with the unwinding.
int vexFcblFatalEnd(bool strict) {
  std::fflush(stderr);
  std::cerr << vexCblMsg::sourceErrors << std::flush;
  return strict ? vexStrictSourceErrors : 1;
}

// The status of a run that converted (status completed): 0 unless -strict
// asks for a non-zero status for a run that wrote no document.
int strictStatus(const VexFcblOptions &options, const VexDocumentOutcome &outcome) {
  if (!options.strict)
    return 0;
  switch (outcome.end) {
  case VexDocumentEnd::written:
    return 0;
  case VexDocumentEnd::sourceErrors:
    return vexStrictSourceErrors;
  case VexDocumentEnd::notWritten:
    std::cerr << "Error: Cannot write output file '" << options.conversion.outputFileName
              << "': " << outcome.reason << "." << std::endl;
    return vexStrictNotWritten;
  case VexDocumentEnd::nothingToExport:
    return vexStrictNothingToExport;
  case VexDocumentEnd::notConverted:
    break;
  }
  return 1;
}

} // namespace

VexFcblOptions vexFcblReadOptions(VexCmdLine &line, const VexCmdError &errors) {
  std::vector<VexCmdArg> args;
  args.reserve(std::size(options));
  for (const Option &option : options)
    args.emplace_back(option.name, option.takesValue);

  VexFcblOptions result;
  while (!line.atEnd()) {
    std::size_t i = 0;
    std::string value;
    while (i < args.size() && !args[i].read(line, value, errors))
      ++i;
    if (i == args.size()) {
      std::cout << "Error: " << VexUtilityErrorMsg::optUnknownOption(line.peek()) << std::endl;
      errors.printUsageAndStop(1);
    }
    options[i].apply(value, result, errors);
  }

  if (!result.batch.inputFolder.empty()) {
    if (result.batch.outputFolder.empty()) {
      std::cout.flush();
      std::cerr << "Error: Missed output folder (-od)." << std::endl;
      errors.printUsageAndStop(1);
    }
    return result;
  }
  if (result.inputFile.empty()) {
    std::cout.flush();
    std::cerr << "Error: Missed input file." << std::endl;
    errors.printUsageAndStop(1);
  }
  if (result.conversion.outputFileName.empty())
    result.conversion.outputFileName = replaceExtension(result.inputFile, ".gnv");
  return result;
}

int vexFcblMain(int argc, char **argv) {
  const VexCmdError errors(usageText);
  VexCmdLine line(argc, argv);
  bool strict = false;
  try {
    const VexFcblOptions options = vexFcblReadOptions(line, errors);
    strict = options.strict;
    if (!options.batch.inputFolder.empty()) {
      VexBatchOptions batch = options.batch;
      batch.progress = !batch.quiet && StatusLine::isTerminal(stderr);
      const VexBatchCounts counts =
          runBatch(batch, options.frontEnd, options.conversion, stderr, stdout);
      return counts.failed == 0 ? 0 : 1;
    }
    const VexAfterConversion after =
        options.layoutFile.empty()
            ? VexAfterConversion()
            : layoutWriter(options.layoutFile, options.conversion, options.frontEnd.program);
    VexDocumentOutcome outcome;
    if (process(options.inputFile, options.frontEnd, options.conversion, after, &outcome) !=
        VexCvtStatus::completed)
      return 1;
    return strictStatus(options, outcome);
  } catch (const VexCmdStop &stop) {
    return stop.status;
  } catch (const FatalError &) {
    return vexFcblFatalEnd(strict);
  } catch (...) {
    return 1;
  }
}

#include "cli/driver.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <iterator>
#include <vector>

#include "converter/conversion_options.h"
#include "converter/conversion_report.h"
#include "diagnostics/message_store.h"
#include "frontend/copied_entries.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "frontend/syntax_tree.h"
#include "support/copybook_search.h"
#include "support/library_error.h"
#include "support/memory_pools.h"
#include "support/run_state.h"
#include "support/trace.h"

int start = 2;

namespace {

TRC1_EPB trcBlock{"VEXFCBL"};

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

constexpr std::int32_t compat300 = 300;

void setCompat(const std::string &value) {
  std::int32_t level = 0;
  // %i on purpose: 0x12c and 0454 are 300 as well.
  if (std::sscanf(value.c_str(), "%" SCNi32, &level) == 1 && level == compat300)
    VexCblConfig::inst().compatLevel = compat300;
  else
    VexCmdError::error("compat", VexCmdError::invalidValue);
}

void addExtension(const std::string &value) {
  std::string extension = value;
  if (extension.empty() || extension[0] != '.')
    extension.insert(0, ".");
  rAddExtension(extension.c_str());
}

// One command-line option: its declaration, what the trace calls it, and what
// it does with its value (the input file name is the driver's own).
struct Option {
  const char *name;
  bool takesValue;
  bool single;
  const char *what;
  void (*apply)(const std::string &value, std::string &input);
};

// In the order in which an argument is offered to them; "?" must stay last,
// after every real option has declined.
constexpr Option options[] = {
    {"ns", true, true, "Namespace switch",
     [](const std::string &v, std::string &) { VexCblConfig::inst().namespaceName = v; }},
    {"i", true, true, "Input filename switch",
     [](const std::string &v, std::string &input) { input = v; }},
    {"o", true, true, "Output filename switch",
     [](const std::string &v, std::string &) { VexCblConfig::inst().outputFileName = v; }},
    {"c", false, true, "Comma decimal point switch",
     [](const std::string &, std::string &) { VexCblConfig::inst().commaDecimalPoint = true; }},
    {"f", false, true, "Free format switch",
     [](const std::string &, std::string &) {
       free_format = 1;
       MaxColumn = 256;
     }},
    {"dnd", false, true, "No description switch",
     [](const std::string &, std::string &) { VexCblConfig::inst().noDescription = true; }},
    {"d", true, false, "Copy directory switch",
     [](const std::string &v, std::string &) { rAddDir(v.c_str(), 0, true); }},
    {"e", true, false, "Copybook extension switch",
     [](const std::string &v, std::string &) { addExtension(v); }},
    {"tn", false, true, "Text numbers as strings switch",
     [](const std::string &, std::string &) { VexCblConfig::inst().textNumbersAsStrings = true; }},
    {"ta", false, true, "Packed default as text switch",
     [](const std::string &, std::string &) { VexCblConfig::inst().packedDefaultAsText = true; }},
    {"compat", true, true, "Compatibility switch",
     [](const std::string &v, std::string &) { setCompat(v); }},
    {"r", false, false, "Level restrictions switch",
     [](const std::string &, std::string &) { VexCblConfig::inst().levelRestrictions = true; }},
    {"?", false, true, "Usage switch",
     [](const std::string &, std::string &) { VexCmdError::printUsageAndExit(0); }},
};

} // namespace

std::string vexReplaceExt(const char *name, const char *ext) {
  VEX_TRACE(trcBlock, "vexReplaceExt");
  VEX_TRACE_ARGS(trcBlock) << "name"
                           << "(" << name << ") "
                           << "ext"
                           << "(" << ext << ") ";
  const char *dot = std::strrchr(name, '.');
  std::string result(name,
                     dot != nullptr ? static_cast<std::size_t>(dot - name) : std::strlen(name));
  result += ext;
  return VEX_TRACE_RESULT(result);
}

void OurExit() {
  // The front end calls this from deep inside the parse; unwinding replaces
  // the jump back to the recovery point in vexFcblMain.
  throw VexFcblFatalExit{};
}

std::string vexFcblReadOptions(VexCmdLine &line) {
  VEX_TRACE(trcBlock, "vexFcblReadOptions");
  std::vector<VexCmdArg> args;
  args.reserve(std::size(options));
  for (const Option &option : options)
    args.emplace_back(option.name, option.takesValue, option.single);

  std::string input;
  while (!line.atEnd()) {
    std::size_t i = 0;
    std::string value;
    while (i < args.size() && !args[i].read(line, value))
      ++i;
    if (i == args.size()) {
      VEX_TRACE_ERROR(trcBlock) << "Unknown option"
                                << "(" << line.peek() << ") ";
      std::cout << "Error: " << VexUtilityErrorMsg::optUnknownOption(line.peek()) << std::endl;
      VexCmdError::printUsageAndExit(1);
    }
    VEX_TRACE_DETAIL(trcBlock) << options[i].what << " optArg"
                               << "(" << value << ") ";
    options[i].apply(value, input);
  }

  // The current directory and the default extensions come after everything
  // the user gave, so the user's choices are tried first.
  rAddDir("./", 0, true);
  rAddExtension(".cpy");
  rAddExtension("");

  if (input.empty()) {
    std::cout.flush();
    std::cerr << "Error: Missed input file." << std::endl;
    VexCmdError::printUsageAndExit(1);
  }
  VexCblConfig &config = VexCblConfig::inst();
  if (config.outputFileName.empty())
    config.outputFileName = vexReplaceExt(input.c_str(), ".gnv");
  VEX_TRACE_DETAIL(trcBlock) << "Output filename"
                             << "(" << config.outputFileName << ") ";

  NameCheckMsg() = true;
  NameCheck() = NameCheckMsg();
  return VEX_TRACE_RESULT(input);
}

int vexFcblMain(int argc, char **argv) {
  VEX_TRACE(trcBlock, "vexFcblMain");
  VEX_TRACE_ARGS(trcBlock) << "VEXFCBL";
  VexCmdError::setUsageText(usageText);
  VexCmdLine line(argc, argv);
  InitrMemory();
  Begin_rFsearch(false);

  // Everything one conversion remembers lives in this run and goes with it.
  RunState run;
  RunState::Scope scope(run);
  int status = 0;
  try {
    free_format = 0;
    start = 2;
    do_copy = true;
    std::string input = vexFcblReadOptions(line);
    rReadAllDirs();
    ReportingOutOfMemory([&] { process(input.c_str()); });
  } catch (const FatalError &) {
    // The message store has printed what it collected through stdio; keep the
    // stop message behind it. Nothing is closed: the front end's state is
    // unknown at this point and the process ends anyway.
    std::fflush(stderr);
    std::cerr << "Error: Cobol source contains errors. Conversion stopped." << std::endl;
    return VEX_TRACE_RESULT(1);
  } catch (const VexError &error) {
    VEX_TRACE_DETAIL(trcBlock) << "VexError catched"
                               << "(" << error.getErrorMessage() << ") ";
    std::cerr << "Error: " << error.getErrorMessage() << std::endl;
    status = 1;
  } catch (const VexCvtError &) {
    VEX_TRACE_DETAIL(trcBlock) << "VexCvtError catched.";
    status = 1;
  } catch (...) {
    VEX_TRACE_DETAIL(trcBlock) << "Unknown exception catched";
    status = 1;
  }
  Close_rFsearch();
  CloserMemory();
  return VEX_TRACE_RESULT(status);
}

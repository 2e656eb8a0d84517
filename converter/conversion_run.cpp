// One run of the whole pipeline: ParseCopybook, then vexCblConvert in the
// front end's run, so that the converter reads its identifiers and tree.
#include "converter/conversion_run.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "converter/conversion_messages.h"
#include "diagnostics/message_store.h"
#include "support/run_state.h"

namespace {

// True when `output` is the file at `path` itself, by device and inode, so
// that another spelling of its name or a link to it is caught as well. An
// output that does not exist yet is no file the run reads.
bool sameFile(const std::string &output, const std::string &path) {
  std::error_code error;
  return !output.empty() && std::filesystem::equivalent(output, path, error) && !error;
}

void say(const std::string &text, std::FILE *stream) {
  if (stream != nullptr)
    std::fputs(text.c_str(), stream);
}

} // namespace

VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options) {
  return process(fileName, frontEnd, options, VexAfterConversion());
}

namespace {

// The front end's runs of the input: one for a copybook; for a program file
// one per program, each program's DATA DIVISION parsed on its own so that
// the names of one program never meet those of another.
// A comma decimal point (-c, or the program's own SPECIAL-NAMES) applies to
// numeric literals only where the reading is a compiler's: under -program
// and -lenient, never in the default reading of a copybook.
std::vector<FrontEndResult> parseInput(const std::string &fileName, const FrontEndOptions &frontEnd,
                                       bool commaOption, std::vector<ProgramUnit> &units) {
  std::vector<FrontEndResult> parsed;
  if (!frontEnd.program) {
    FrontEndOptions copybookOptions = frontEnd;
    copybookOptions.decimalPointComma = frontEnd.lenient && commaOption;
    parsed.push_back(ParseCopybook(fileName, copybookOptions));
    units.push_back({"", 1});
    return parsed;
  }
  units = OutlineProgram(fileName, frontEnd);
  parsed.reserve(units.size());
  for (std::size_t unit = 0; unit < units.size(); ++unit) {
    FrontEndOptions programOptions = frontEnd;
    programOptions.programUnit = static_cast<int>(unit);
    programOptions.startingLine = unit == 0;
    programOptions.decimalPointComma = commaOption || units[unit].decimalPointComma;
    parsed.push_back(ParseCopybook(fileName, programOptions));
  }
  return parsed;
}

} // namespace

VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options, const VexAfterConversion &after,
                     VexDocumentOutcome *outcome) {
  const std::string &output = options.outputFileName;
  if (sameFile(output, fileName)) {
    say(vexCblMsg::outputIsInput(output), options.messages);
    return VexCvtStatus::failed;
  }
  std::vector<ProgramUnit> units;
  std::vector<FrontEndResult> parsed =
      parseInput(fileName, frontEnd, options.commaDecimalPoint, units);
  RunState::Scope scope(parsed.front().run());
  int errors = 0;
  for (const FrontEndResult &part : parsed)
    errors += part.errorCount();
  if (errors != 0) {
    say(vexCblMsg::sourceErrors, options.messages);
    if (outcome != nullptr)
      outcome->end = VexDocumentEnd::sourceErrors;
    return VexCvtStatus::completed;
  }
  // Copybooks are known only now; the document is written at the end of the
  // conversion, so this is still before anything is written.
  for (FrontEndResult &part : parsed)
    for (const std::string &copybook : part.filesRead())
      if (sameFile(output, copybook)) {
        say(vexCblMsg::outputIsCopybook(output, copybook), options.messages);
        return VexCvtStatus::failed;
      }
  std::vector<VexProgramPart> parts;
  for (std::size_t i = 0; i < parsed.size(); ++i)
    parts.push_back(
        {&parsed[i].run(), parsed[i].entries(), units[i].name, units[i].decimalPointComma});
  VexCvtStatus status = VexCvtStatus::failed;
  ReportingOutOfMemory([&] {
    status = frontEnd.program ? vexCblConvertProgram(parts, options, outcome)
                              : vexCblConvert(parts.front().entries, options, outcome);
    if (status == VexCvtStatus::completed && after)
      status = after(parts);
  });
  return status;
}

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

// A program file: each program's DATA DIVISION is parsed in a run of its
// own, so that the names of one program never meet those of another, and
// the records of all of them go into one document.
VexCvtStatus processProgram(const std::string &fileName, const FrontEndOptions &frontEnd,
                            const VexCblConfig &options, const VexAfterConversion &after,
                            VexDocumentOutcome *outcome) {
  const std::vector<ProgramUnit> units = OutlineProgram(fileName, frontEnd);
  std::vector<FrontEndResult> parsed;
  parsed.reserve(units.size());
  int errors = 0;
  for (std::size_t unit = 0; unit < units.size(); ++unit) {
    FrontEndOptions programOptions = frontEnd;
    programOptions.programUnit = static_cast<int>(unit);
    programOptions.announce = unit == 0;
    parsed.push_back(ParseCopybook(fileName, programOptions));
    errors += parsed.back().errorCount();
  }
  if (errors != 0) {
    say(vexCblMsg::sourceErrors, options.messages);
    if (outcome != nullptr)
      outcome->end = VexDocumentEnd::sourceErrors;
    return VexCvtStatus::completed;
  }
  for (FrontEndResult &program : parsed)
    for (const std::string &copybook : program.filesRead())
      if (sameFile(options.outputFileName, copybook)) {
        say(vexCblMsg::outputIsCopybook(options.outputFileName, copybook), options.messages);
        return VexCvtStatus::failed;
      }
  std::vector<VexProgramPart> parts;
  for (std::size_t unit = 0; unit < units.size(); ++unit)
    parts.push_back({&parsed[unit].run(), parsed[unit].entries(), units[unit].name});
  VexCvtStatus status = VexCvtStatus::failed;
  RunState::Scope scope(parsed.front().run());
  ReportingOutOfMemory([&] {
    status = vexCblConvertProgram(parts, options, outcome);
    if (status == VexCvtStatus::completed && after)
      status = after(parts);
  });
  return status;
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
  if (frontEnd.program)
    return processProgram(fileName, frontEnd, options, after, outcome);
  FrontEndResult parsed = ParseCopybook(fileName, frontEnd);
  RunState::Scope scope(parsed.run());
  if (parsed.errorCount() != 0) {
    say(vexCblMsg::sourceErrors, options.messages);
    if (outcome != nullptr)
      outcome->end = VexDocumentEnd::sourceErrors;
    return VexCvtStatus::completed;
  }
  // Copybooks are known only now; the document is written at the end of the
  // conversion, so this is still before anything is written.
  for (const std::string &copybook : parsed.filesRead())
    if (sameFile(output, copybook)) {
      say(vexCblMsg::outputIsCopybook(output, copybook), options.messages);
      return VexCvtStatus::failed;
    }
  VexCvtStatus status = VexCvtStatus::failed;
  ReportingOutOfMemory([&] {
    status = vexCblConvert(parsed.entries(), options, outcome);
    if (status == VexCvtStatus::completed && after)
      status = after({VexProgramPart{&parsed.run(), parsed.entries(), ""}});
  });
  return status;
}

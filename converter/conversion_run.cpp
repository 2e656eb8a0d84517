// One run of the whole pipeline: ParseCopybook, then vexCblConvert in the
// front end's run, so that the converter reads its identifiers and tree.
#include "converter/conversion_run.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

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

VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options, const VexAfterConversion &after,
                     VexDocumentOutcome *outcome) {
  const std::string &output = options.outputFileName;
  if (sameFile(output, fileName)) {
    say(vexCblMsg::outputIsInput(output), options.messages);
    return VexCvtStatus::failed;
  }
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
      status = after(parsed.entries());
  });
  return status;
}

// One run of the whole pipeline: ParseCopybook, then vexCblConvert in the
// front end's run, so that the converter reads its identifiers and tree.
#include "converter/conversion_run.h"

#include <cstdio>

#include "converter/conversion_messages.h"
#include "diagnostics/message_store.h"
#include "support/run_state.h"

VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options) {
  FrontEndResult parsed = ParseCopybook(fileName, frontEnd);
  RunState::Scope scope(parsed.run());
  if (parsed.errorCount() != 0) {
    std::fputs(vexCblMsg::sourceErrors, stderr);
    return VexCvtStatus::completed;
  }
  VexCvtStatus status = VexCvtStatus::failed;
  ReportingOutOfMemory([&] { status = vexCblConvert(parsed.entries(), options); });
  return status;
}

// The converter's entry point: one conversion of a declaration list, its messages and status.
#include "converter/convert.h"

#include <cstdio>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "converter/declaration_traversal.h"
#include "converter/record_pipeline.h"
#include "support/library_error.h"
#include "support/run_state.h"

namespace {

// The options a conversion runs under, first in its trace.
void traceOptions(VexCblConversion &conv) {
  const VexCblConfig &options = conv.options;
  VEX_TRACE(conv.trace) << "conversion to '"
                        << (options.outputFileName.empty() ? std::string("(standard output)")
                                                           : options.outputFileName)
                        << "' namespace '" << options.namespaceName
                        << "' options:" << (options.commaDecimalPoint ? " -c" : "")
                        << (options.noDescription ? " -dnd" : "")
                        << (options.textNumbersAsStrings ? " -tn" : "")
                        << (options.packedDefaultAsText ? " -ta" : "")
                        << (options.levelRestrictions ? " -r" : "") << " -compat "
                        << options.compatLevel;
}

} // namespace

namespace {

// The rest of the conversion `conv`: `convert` fills (or ends filling) its
// repository, which is then exported.
template <typename Convert>
VexCvtStatus endConversion(VexCblConversion &conv, VexDocumentOutcome *outcome,
                           const Convert &convert) {
  const VexCblConfig &options = conv.options;
  try {
    convert(conv);
    conv.repository.doExport(conv.report, conv.trace);
    conv.report.flush();
  } catch (const VexCvtError &) {
    conv.report.flush();
    VEX_TRACE(conv.trace) << "conversion failed on an item";
    return VexCvtStatus::failed;
  } catch (const VexError &error) {
    conv.report.flush();
    VEX_TRACE(conv.trace) << "conversion failed: " << error.getErrorMessage();
    if (options.messages != nullptr)
      std::fprintf(options.messages, "%s%s\n", vexCblMsg::errorPrefix,
                   error.getErrorMessage().c_str());
    if (options.messageValues != nullptr)
      options.messageValues->push_back({"Error", "", 0, 0, "", error.getErrorMessage()});
    return VexCvtStatus::failed;
  }
  VEX_TRACE(conv.trace) << "conversion completed";
  if (outcome != nullptr)
    *outcome = conv.repository.outcome();
  return VexCvtStatus::completed;
}

// One conversion: `convert` fills the repository, which is then exported.
template <typename Convert>
VexCvtStatus runConversion(const VexCblConfig &options, VexDocumentOutcome *outcome,
                           const Convert &convert) {
  if (options.messages != nullptr)
    std::fputs(vexCblMsg::startingConversion, options.messages);
  VexCblConversion conv(options, VexTrace::fromEnvironment());
  conv.report.holdMessages();
  traceOptions(conv);
  return endConversion(conv, outcome, convert);
}

} // namespace

VexCvtStatus vexCblEndConversion(VexCblConversion &conv, VexDocumentOutcome *outcome,
                                 const std::function<void(VexCblConversion &)> &convert) {
  if (conv.options.messages != nullptr)
    std::fputs(vexCblMsg::startingConversion, conv.options.messages);
  return endConversion(conv, outcome, convert);
}

VexCvtStatus vexCblConvert(Tree_Node *declList, const VexCblConfig &options,
                           VexDocumentOutcome *outcome) {
  return runConversion(options, outcome,
                       [&](VexCblConversion &conv) { vexCbConvertRecords(conv, declList); });
}

VexCvtStatus vexCblConvertProgram(const std::vector<VexProgramPart> &parts,
                                  const VexCblConfig &options, VexDocumentOutcome *outcome) {
  return runConversion(options, outcome, [&](VexCblConversion &conv) {
    for (const VexProgramPart &part : parts) {
      RunState::Scope scope(*part.run);
      conv.options.commaDecimalPoint = options.commaDecimalPoint || part.decimalPointComma;
      conv.programRecords.begin(parts.size(), part.name);
      VEX_TRACE(conv.trace) << "program '" << part.name << "'";
      vexCbConvertRecords(conv, part.entries);
    }
  });
}

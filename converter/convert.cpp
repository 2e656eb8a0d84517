// The converter's entry point: one conversion of a declaration list, its messages and status.
#include "converter/convert.h"

#include <cstdio>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "converter/declaration_traversal.h"
#include "support/library_error.h"

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

VexCvtStatus vexCblConvert(Tree_Node *declList, const VexCblConfig &options,
                           VexDocumentOutcome *outcome) {
  if (options.messages != nullptr)
    std::fputs(vexCblMsg::startingConversion, options.messages);
  VexCblConversion conv(options, VexTrace::fromEnvironment());
  traceOptions(conv);
  try {
    vexCbDeftabDrv(conv, declList);
  } catch (const VexCvtError &) {
    VEX_TRACE(conv.trace) << "conversion failed on an item";
    return VexCvtStatus::failed;
  } catch (const VexError &error) {
    VEX_TRACE(conv.trace) << "conversion failed: " << error.getErrorMessage();
    if (options.messages != nullptr)
      std::fprintf(options.messages, "%s%s\n", vexCblMsg::errorPrefix,
                   error.getErrorMessage().c_str());
    return VexCvtStatus::failed;
  }
  VEX_TRACE(conv.trace) << "conversion completed";
  if (outcome != nullptr)
    *outcome = conv.repository.outcome();
  return VexCvtStatus::completed;
}

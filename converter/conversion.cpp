// One conversion's state made from its options: report, registry, repository and trace.
#include "converter/conversion.h"

#include <utility>

namespace {

// An option text, or null when it is empty: the repository tells "none" from
// an empty name.
const char *absentWhenEmpty(const std::string &text) {
  return text.empty() ? nullptr : text.c_str();
}

} // namespace

VexCblConversion::VexCblConversion(const VexCblConfig &given, VexTrace traceTo)
    : options(given), trace(std::move(traceTo)),
      repository(absentWhenEmpty(options.outputFileName), absentWhenEmpty(options.namespaceName),
                 definitions, options.document) {
  report.out = options.messages;
  report.values = options.messageValues;
}

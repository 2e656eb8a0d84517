#include "converter/filler_names.h"

#include "support/trace.h"

namespace {

TRC1_EPB trcBlock{"VEXCBUTL"};

// The word that stands for an unnamed entry, compared exactly: a name such as
// FILLER-X is a real name.
constexpr const char *fillerName = "FILLER";

} // namespace

std::string vexCblGetUniqName(VexCblGrpContext &grp, const VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblGetUniqName");
  if (item.name.empty() || item.name == fillerName)
    return VEX_TRACE_RESULT(fillerName + grp.getFillerNext());
  return VEX_TRACE_RESULT(item.name);
}

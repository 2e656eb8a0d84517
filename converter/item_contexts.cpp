#include "converter/item_contexts.h"

#include "support/trace.h"

namespace {

TRC1_EPB trcBlock{"VEXCBCTX"};

// Room for the clauses of a typical entry, so that building the description
// word by word rarely reallocates.
constexpr std::size_t descriptionReserve = 80;

} // namespace

void VexCblGrpContext::populate(const VexCblGrpContext &parent, const VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "VexCblGrpContext::populate");
  sign = vexCblGetSign(parent, item);
  usage = vexCblGetUsage(parent, item);
  path = parent.path;
  if (!path.empty())
    path += '_';
  path += item.name;
  VEX_TRACE_DETAIL(trcBlock) << "Path(" << path << ") sign(" << sign << ") usage(" << usage << ")";
}

std::string VexCblGrpContext::getFillerNext() {
  VEX_TRACE(trcBlock, "VexCblGrpContext::getFillerNext");
  ++fillerCount;
  return VEX_TRACE_RESULT(std::to_string(fillerCount));
}

VexCblObjContext::VexCblObjContext() {
  VEX_TRACE(trcBlock, "VexCblObjContext::VexCblObjContext");
  description.reserve(descriptionReserve);
}

VexCblObjContext::~VexCblObjContext() = default;

void VexCblObjContext::addToDescription(const char *text) {
  VEX_TRACE(trcBlock, "VexCblObjContext::addToDescription");
  if (text == nullptr || *text == '\0')
    return;
  if (!description.empty())
    description += ' ';
  description += text;
}

int vexCblGetSign(const VexCblGrpContext &grp, const VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblGetSign");
  return VEX_TRACE_RESULT(item.sign != 0 ? item.sign : grp.sign);
}

int vexCblGetUsage(const VexCblGrpContext &grp, const VexCblObjContext &item) {
  VEX_TRACE(trcBlock, "vexCblGetUsage");
  return VEX_TRACE_RESULT(item.usage != 0 ? item.usage : grp.usage);
}

// Group context population (inherited sign, usage, name path), filler counter, descriptions.
#include "converter/item_contexts.h"

namespace {

// Room for the clauses of a typical entry, so that building the description
// word by word rarely reallocates.
constexpr std::size_t descriptionReserve = 80;

} // namespace

void VexCblGrpContext::populate(const VexCblGrpContext &parent, const VexCblObjContext &item) {
  sign = vexCblGetSign(parent, item);
  usage = vexCblGetUsage(parent, item);
  numberRepeatedNames = parent.numberRepeatedNames;
  path = parent.path;
  if (!path.empty())
    path += '_';
  path += item.name;
}

std::string VexCblGrpContext::getFillerNext() {
  ++fillerCount;
  return std::to_string(fillerCount);
}

VexCblObjContext::VexCblObjContext() { description.reserve(descriptionReserve); }

VexCblObjContext::VexCblObjContext(std::string &&room) : description(std::move(room)) {
  description.clear();
  description.reserve(descriptionReserve);
}

VexCblObjContext::~VexCblObjContext() = default;

void VexCblObjContext::addToDescription(const char *text) {
  if (text != nullptr)
    addToDescription(std::string_view(text));
}

void VexCblObjContext::addToDescription(std::string_view text) {
  if (text.empty())
    return;
  if (!description.empty())
    description += ' ';
  description += text;
}

int vexCblGetSign(const VexCblGrpContext &grp, const VexCblObjContext &item) {
  return item.sign != 0 ? item.sign : grp.sign;
}

int vexCblGetUsage(const VexCblGrpContext &grp, const VexCblObjContext &item) {
  return item.usage != 0 ? item.usage : grp.usage;
}

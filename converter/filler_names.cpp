// Member names: an empty or FILLER name becomes FILLER1, FILLER2, ... per group.
#include "converter/filler_names.h"

namespace {

// The word that stands for an unnamed entry, compared exactly: a name such as
// FILLER-X is a real name.
constexpr const char *fillerName = "FILLER";

} // namespace

std::string vexCblGetUniqName(VexCblGrpContext &grp, const VexCblObjContext &item) {
  if (item.name.empty() || item.name == fillerName)
    return fillerName + grp.getFillerNext();
  if (!grp.numberRepeatedNames)
    return item.name;
  const std::int32_t given = ++grp.namesGiven[item.name];
  return given == 1 ? item.name : item.name + "_" + std::to_string(given);
}

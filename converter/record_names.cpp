// Program-file record names: the program's prefix, and a file or section qualifier on a repeat.
#include "converter/record_names.h"

#include "frontend/declaration_table.h"
#include "support/identifier_table.h"

namespace {

// What qualifies a record whose name another record of its program has:
// its file's name, or its section's.
std::string recordQualifier(const tree::decl &decl) {
  if (const auto *file = as_if<tree::decl>(decl.lower))
    return GetCStr(file->name);
  switch (decl.kind) {
  case dkWorkingStorage:
    return "WORKING-STORAGE";
  case dkLocalStorage:
    return "LOCAL-STORAGE";
  case dkLinkage:
    return "LINKAGE";
  case dkCommunication:
    return "COMMUNICATION";
  case dkReport:
    return "REPORT";
  default:
    return "FILE";
  }
}

} // namespace

void VexProgramRecordNames::begin(std::size_t programs, const std::string &program) {
  on = true;
  prefix = programs > 1 && !program.empty() ? program + "_" : "";
  taken.clear();
}

std::string VexProgramRecordNames::name(const tree::decl &decl, const std::string &name) {
  if (name.empty() || name == "FILLER")
    return name;
  std::string result = prefix + name;
  if (!taken.insert(result).second) {
    result += "_" + recordQualifier(decl);
    taken.insert(result);
  }
  return result;
}

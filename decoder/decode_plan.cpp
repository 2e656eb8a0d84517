// Building the decoding plan from the record layouts, and resolving -record and -when.
#include "decoder/decode_plan.h"

#include <algorithm>
#include <map>

namespace {

bool isEdited(const std::string &picture) {
  return picture.find_first_of("XxAaNnGg") == std::string::npos &&
         picture.find_first_of("9Zz*+-$.,") != std::string::npos;
}

FieldKind kindOf(const LayoutItem &item, const DecodeOptions &options) {
  const std::string &usage = item.usage;
  if (usage.empty())
    return FieldKind::group;
  if (usage == "NATIONAL")
    return FieldKind::national;
  if (usage == "DISPLAY-1") {
    if (options.dbcs.empty())
      throw PlanError{"vexfcbl-decode: " + item.path +
                      ": USAGE DISPLAY-1 needs -dbcs IBM930|IBM939|IBM1390|IBM1399\n"};
    return FieldKind::dbcs;
  }
  if (usage == "DISPLAY") {
    if (item.digits)
      return FieldKind::zoned;
    return isEdited(item.picture) ? FieldKind::edited : FieldKind::text;
  }
  if (usage == "COMP-3" || usage == "PACKED-DECIMAL")
    return FieldKind::packed;
  if (usage == "FLOAT-DECIMAL-16" || usage == "FLOAT-DECIMAL-34")
    return FieldKind::decimalFloat;
  if (usage == "COMP-6")
    return FieldKind::unsignedPacked;
  if (usage == "COMP-1" || usage == "COMP-2" || usage == "FLOAT-SHORT" || usage == "FLOAT-LONG")
    return FieldKind::floating;
  if (usage == "BINARY" || usage == "COMP" || usage == "COMP-4" || usage == "COMP-5" ||
      usage == "INDEX" || usage == "POINTER" || usage == "FUNCTION-POINTER" ||
      usage == "BINARY-CHAR" || usage == "BINARY-SHORT" || usage == "BINARY-LONG" ||
      usage == "BINARY-DOUBLE" || usage == "BINARY-C-LONG" || usage == "SIGNED-SHORT" ||
      usage == "SIGNED-INT" || usage == "SIGNED-LONG" || usage == "UNSIGNED-SHORT" ||
      usage == "UNSIGNED-INT" || usage == "UNSIGNED-LONG" || usage == "PROGRAM-POINTER" ||
      usage == "COMP-X" || usage == "COMP-N")
    return FieldKind::binary;
  throw PlanError{"vexfcbl-decode: " + item.path + ": USAGE " + usage + " is not decoded\n"};
}

std::string lastName(const std::string &path) { return path.substr(path.rfind('.') + 1); }

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// A field named `name` (last name or a dotted tail of the path).
int findField(const DecodePlan &plan, const std::string &name) {
  const std::string wanted = upper(name);
  for (std::size_t i = 0; i < plan.fields.size(); ++i) {
    const std::string path = upper(plan.fields[i].path);
    if (path == wanted || (path.size() > wanted.size() &&
                           path.compare(path.size() - wanted.size(), wanted.size(), wanted) == 0 &&
                           path[path.size() - wanted.size() - 1] == '.'))
      return static_cast<int>(i);
  }
  return -1;
}

} // namespace

DecodePlan makeDecodePlan(const std::vector<RecordLayout> &layouts, const DecodeOptions &options) {
  DecodePlan plan;
  std::vector<std::int64_t> absolute;
  for (const RecordLayout &layout : layouts) {
    if (layout.items.empty())
      continue;

    PlanRecord &record = plan.records.emplace_back();
    record.name = layout.name;
    record.length = layout.length;
    std::vector<int> stack; // field indices by depth
    std::map<std::string, int> byPath;
    for (const LayoutItem &item : layout.items) {
      if (item.level == 66 || item.level == 88)
        continue;
      const int index = static_cast<int>(plan.fields.size());
      PlanField field;
      field.path = item.path;
      const bool filler = item.name.empty() || upper(item.name) == "FILLER";
      const std::string name = filler ? "FILLER" : item.name;
      field.name = "\"" + name + "\":";
      field.kind = kindOf(item, options);
      field.length = item.length;
      field.isSigned = item.isSigned.value_or(false);
      field.scale = item.scale.value_or(0);
      field.hidden = !options.fillers && filler;
      if (field.kind == FieldKind::zoned && field.isSigned)
        field.sign = item.signPosition == "leading"
                         ? (item.signSeparate ? ZonedSign::leadingSeparate : ZonedSign::leading)
                         : (item.signSeparate ? ZonedSign::trailingSeparate : ZonedSign::trailing);
      if (item.occurs) {
        field.isArray = true;
        field.minCount = item.occurs->min;
        field.maxCount = item.occurs->max;
        if (!item.occurs->dependingOn.empty()) {
          field.counter = findField(plan, item.occurs->dependingOn);
          if (field.counter < 0)
            throw PlanError{"vexfcbl-decode: " + item.path + ": DEPENDING ON " +
                            item.occurs->dependingOn + " not found\n"};
          plan.fields[static_cast<std::size_t>(field.counter)].isCounter = true;
        }
      }
      stack.resize(static_cast<std::size_t>(item.depth));
      const int parent = stack.empty() ? -1 : stack.back();
      field.insideArray = field.isArray;
      if (parent >= 0) {
        const PlanField &up = plan.fields[static_cast<std::size_t>(parent)];
        field.offset = item.offset - absolute[static_cast<std::size_t>(parent)];
        field.insideArray = field.insideArray || up.insideArray;
        field.hidden = field.hidden || up.hidden;
      }
      if (!item.redefines.empty()) {
        const auto target = byPath.find(item.redefines);
        if (target != byPath.end()) {
          PlanField &base = plan.fields[static_cast<std::size_t>(target->second)];
          base.alternatives = target->second;
          field.alternatives = target->second;
          field.redefining = true;
        }
      }
      byPath[item.path] = index;
      plan.fields.push_back(std::move(field));
      absolute.push_back(item.offset);
      if (parent >= 0)
        plan.fields[static_cast<std::size_t>(parent)].children.push_back(index);
      else
        record.root = index;
      stack.push_back(index);
    }
  }
  if (plan.records.empty())
    throw PlanError{"vexfcbl-decode: the copybook holds no record\n"};
  // Two FILLERs of one group would repeat a JSON key: they take the layout's
  // numbered names (FILLER1, FILLER2); a lone FILLER keeps its plain name.
  for (const PlanField &group : plan.fields) {
    const auto isFiller = [&](int child) {
      return plan.fields[static_cast<std::size_t>(child)].name == "\"FILLER\":";
    };
    if (std::count_if(group.children.begin(), group.children.end(), isFiller) < 2)
      continue;
    for (const int child : group.children)
      if (isFiller(child)) {
        PlanField &field = plan.fields[static_cast<std::size_t>(child)];
        field.name = "\"" + lastName(field.path) + "\":";
      }
  }

  if (!options.record.empty()) {
    const auto chosen = std::find_if(plan.records.begin(), plan.records.end(), [&](const auto &r) {
      return upper(r.name) == upper(options.record);
    });
    if (chosen == plan.records.end())
      throw PlanError{"vexfcbl-decode: -record " + options.record + ": no such record\n"};
    plan.records = {*chosen};
  }
  for (const SelectionRule &rule : options.rules) {
    DecodePlan::Rule resolved;
    resolved.field = findField(plan, rule.field);
    if (resolved.field < 0)
      throw PlanError{"vexfcbl-decode: -when " + rule.field + ": no such field\n"};
    const PlanField &field = plan.fields[static_cast<std::size_t>(resolved.field)];
    if (field.kind == FieldKind::group || field.insideArray)
      throw PlanError{"vexfcbl-decode: -when " + rule.field +
                      ": not an elementary item outside OCCURS\n"};
    resolved.offset = absolute[static_cast<std::size_t>(resolved.field)];
    resolved.value = rule.value;
    for (std::size_t r = 0; r < plan.records.size(); ++r)
      if (upper(plan.records[r].name) == upper(rule.target))
        resolved.record = static_cast<int>(r);
    if (resolved.record < 0) {
      resolved.alternative = findField(plan, rule.target);
      if (resolved.alternative < 0 ||
          plan.fields[static_cast<std::size_t>(resolved.alternative)].alternatives < 0)
        throw PlanError{"vexfcbl-decode: -when " + rule.target +
                        ": neither a record nor a REDEFINES alternative\n"};
    }
    plan.rules.push_back(std::move(resolved));
  }
  return plan;
}

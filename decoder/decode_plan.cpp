// Building the decoding plan from the record model, and resolving -record and -when.
#include "decoder/decode_plan.h"

#include <algorithm>

#include "record/storage.h"

namespace {

FieldKind kindOf(const ModelItem &item, const DecodeOptions &options) {
  if (item.isGroup())
    return FieldKind::group;
  switch (item.usage) {
  case Usage::national:
    return FieldKind::national;
  case Usage::display1:
    if (options.dbcs.empty())
      throw PlanError{"vexfcbl-decode: " + item.path + ": USAGE " + usageName(item.usage) +
                      " needs -dbcs IBM930|IBM939|IBM1390|IBM1399\n"};
    return FieldKind::dbcs;
  case Usage::display:
    switch (item.category) {
    case Category::numeric:
      return FieldKind::zoned;
    case Category::numericEdited:
    case Category::externalFloatingPoint:
      return FieldKind::edited;
    default:
      return FieldKind::text;
    }
  case Usage::comp3:
  case Usage::packedDecimal:
    return FieldKind::packed;
  case Usage::comp6:
    return FieldKind::unsignedPacked;
  case Usage::floatDecimal16:
  case Usage::floatDecimal34:
    return FieldKind::decimalFloat;
  case Usage::comp1:
  case Usage::comp2:
  case Usage::floatShort:
  case Usage::floatLong:
    return FieldKind::floating;
  case Usage::binary:
  case Usage::comp:
  case Usage::comp4:
  case Usage::comp5:
  case Usage::index:
  case Usage::pointer:
  case Usage::functionPointer:
  case Usage::programPointer:
  case Usage::compX:
  case Usage::compN:
  case Usage::comp0:
    return FieldKind::binary;
  default:
    if (isDialectBinary(item.usage))
      return FieldKind::binary;
    throw PlanError{"vexfcbl-decode: " + item.path + ": USAGE " + usageName(item.usage) +
                    " is not decoded\n"};
  }
}

ZonedSign zonedSign(SignForm sign) {
  switch (sign) {
  case SignForm::leading:
    return ZonedSign::leading;
  case SignForm::trailing:
    return ZonedSign::trailing;
  case SignForm::leadingSeparate:
    return ZonedSign::leadingSeparate;
  case SignForm::trailingSeparate:
    return ZonedSign::trailingSeparate;
  default:
    return ZonedSign::none;
  }
}

std::string lastName(const std::string &path) { return path.substr(path.rfind('.') + 1); }

// The field of the first item named `name` that has one; -1 when none.
int findField(const RecordModel &model, const std::vector<int> &fieldOf, const std::string &name) {
  for (const int index : model.findAll(name))
    if (fieldOf[static_cast<std::size_t>(index)] >= 0)
      return fieldOf[static_cast<std::size_t>(index)];
  return -1;
}

} // namespace

DecodePlan makeDecodePlan(const RecordModel &model, const DecodeOptions &options) {
  DecodePlan plan;
  std::vector<std::int64_t> absolute;
  // The field of every item of the model; -1 for level 66 and those not yet planned.
  std::vector<int> fieldOf(model.items.size(), -1);
  for (const ModelRecord &modelRecord : model.records) {
    PlanRecord &record = plan.records.emplace_back();
    record.name = modelRecord.name;
    record.length = modelRecord.length;
    for (int i = modelRecord.root; i < modelRecord.end; ++i) {
      const ModelItem &item = model.items[static_cast<std::size_t>(i)];
      if (item.level == 66)
        continue;
      const int index = static_cast<int>(plan.fields.size());
      PlanField field;
      field.path = item.path;
      field.item = i;
      field.name = "\"" + item.key + "\":";
      field.kind = kindOf(item, options);
      field.length = item.length;
      field.isSigned = item.isSigned.value_or(false);
      if (item.picture && item.picture->category == Category::numeric)
        field.scale = static_cast<int>(item.picture->scale);
      field.hidden = !options.fillers && item.isFiller();
      if (field.kind == FieldKind::zoned)
        field.sign = zonedSign(item.sign);
      if (field.kind == FieldKind::edited) {
        field.picture = item.picture;
        field.blankWhenZero = item.blankWhenZero;
      }
      if (item.occurs) {
        field.isArray = true;
        field.minCount = item.occurs->min;
        field.maxCount = item.occurs->max;
        if (!item.occurs->dependingOnName.empty()) {
          // The count must be read before the table that depends on it.
          const int counter = item.occurs->dependingOn;
          field.counter = counter >= 0 ? fieldOf[static_cast<std::size_t>(counter)] : -1;
          if (field.counter < 0)
            throw PlanError{"vexfcbl-decode: " + item.path + ": DEPENDING ON " +
                            item.occurs->dependingOnName + " not found\n"};
          plan.fields[static_cast<std::size_t>(field.counter)].isCounter = true;
        }
      }
      const int parent = item.parent >= 0 ? fieldOf[static_cast<std::size_t>(item.parent)] : -1;
      field.insideArray = field.isArray;
      if (parent >= 0) {
        const PlanField &up = plan.fields[static_cast<std::size_t>(parent)];
        field.offset = item.offset - absolute[static_cast<std::size_t>(parent)];
        field.insideArray = field.insideArray || up.insideArray;
        field.hidden = field.hidden || up.hidden;
      }
      if (item.area >= 0 && fieldOf[static_cast<std::size_t>(item.area)] >= 0) {
        const int base = fieldOf[static_cast<std::size_t>(item.area)];
        plan.fields[static_cast<std::size_t>(base)].alternatives = base;
        field.alternatives = base;
        field.redefining = true;
      }
      fieldOf[static_cast<std::size_t>(i)] = index;
      plan.fields.push_back(std::move(field));
      absolute.push_back(item.offset);
      if (parent >= 0)
        plan.fields[static_cast<std::size_t>(parent)].children.push_back(index);
      else
        record.root = index;
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
    const int chosen = model.findRecord(options.record);
    if (chosen < 0)
      throw PlanError{"vexfcbl-decode: -record " + options.record + ": no such record\n"};
    plan.records = {plan.records[static_cast<std::size_t>(chosen)]};
  }
  for (const SelectionRule &rule : options.rules) {
    DecodePlan::Rule resolved;
    resolved.field = findField(model, fieldOf, rule.field);
    if (resolved.field < 0)
      throw PlanError{"vexfcbl-decode: -when " + rule.field + ": no such field\n"};
    const PlanField &field = plan.fields[static_cast<std::size_t>(resolved.field)];
    if (field.kind == FieldKind::group || field.insideArray)
      throw PlanError{"vexfcbl-decode: -when " + rule.field +
                      ": not an elementary item outside OCCURS\n"};
    resolved.offset = absolute[static_cast<std::size_t>(resolved.field)];
    resolved.value = rule.value;
    for (std::size_t r = 0; r < plan.records.size(); ++r)
      if (modelKey(plan.records[r].name) == modelKey(rule.target))
        resolved.record = static_cast<int>(r);
    if (resolved.record < 0) {
      resolved.alternative = findField(model, fieldOf, rule.target);
      if (resolved.alternative < 0 ||
          plan.fields[static_cast<std::size_t>(resolved.alternative)].alternatives < 0)
        throw PlanError{"vexfcbl-decode: -when " + rule.target +
                        ": neither a record nor a REDEFINES alternative\n"};
    }
    plan.rules.push_back(std::move(resolved));
  }
  return plan;
}

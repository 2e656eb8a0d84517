// Building the decoding plan from the record model, and resolving -record and -when.
#include "decoder/decode_plan.h"

#include <algorithm>

#include "decoder/record_filter.h"
#include "record/storage.h"

namespace {

// The decoder's kinds are the data forms, but for an external floating-point
// item, which it reads by its picture as an edited one.
constexpr bool sameKind(FieldKind kind, DataForm form) {
  return static_cast<int>(kind) == static_cast<int>(form);
}
static_assert(sameKind(FieldKind::group, DataForm::group) &&
              sameKind(FieldKind::text, DataForm::text) &&
              sameKind(FieldKind::national, DataForm::national) &&
              sameKind(FieldKind::dbcs, DataForm::dbcs) &&
              sameKind(FieldKind::zoned, DataForm::zoned) &&
              sameKind(FieldKind::packed, DataForm::packed) &&
              sameKind(FieldKind::unsignedPacked, DataForm::unsignedPacked) &&
              sameKind(FieldKind::binary, DataForm::binary) &&
              sameKind(FieldKind::floating, DataForm::floating) &&
              sameKind(FieldKind::decimalFloat, DataForm::decimalFloat) &&
              sameKind(FieldKind::edited, DataForm::edited));

FieldKind kindOf(const ModelItem &item, const DecodeOptions &options) {
  const std::optional<DataForm> form = dataFormOf(item);
  if (!form)
    throw PlanError{"vexfcbl-decode: " + item.path + ": USAGE " + usageName(item.usage) +
                    " is not decoded\n"};
  if (*form == DataForm::dbcs && options.dbcs.empty())
    throw PlanError{"vexfcbl-decode: " + item.path + ": USAGE " + usageName(item.usage) +
                    " needs -dbcs IBM930|IBM939|IBM1390|IBM1399\n"};
  return *form == DataForm::externalFloat ? FieldKind::edited : static_cast<FieldKind>(*form);
}

std::string lastName(const std::string &path) { return path.substr(path.rfind('.') + 1); }

// The field of the first item named `name` that has one; -1 when none.
int findField(const RecordModel &model, const std::vector<int> &fieldOf, const std::string &name) {
  for (const int index : model.findAll(name))
    if (fieldOf[static_cast<std::size_t>(index)] >= 0)
      return fieldOf[static_cast<std::size_t>(index)];
  return -1;
}

// The field `name` names for `option` (-segment, -when, -where): an
// elementary item outside OCCURS, read at one offset.
int selectorField(const RecordModel &model, const std::vector<int> &fieldOf, const DecodePlan &plan,
                  const std::string &name, const char *option) {
  const int index = findField(model, fieldOf, name);
  if (index < 0)
    throw PlanError{std::string("vexfcbl-decode: ") + option + " " + name + ": no such field\n"};
  const PlanField &field = plan.fields[static_cast<std::size_t>(index)];
  if (field.kind == FieldKind::group || field.insideArray)
    throw PlanError{std::string("vexfcbl-decode: ") + option + " " + name +
                    ": not an elementary item outside OCCURS\n"};
  return index;
}

std::string keyOf(const PlanField &field) { return field.name.substr(1, field.name.size() - 3); }

// -select: every field not named, not inside a named group and not above a
// named field is skipped; those among them whose size is not fixed, or
// that hold a DEPENDING ON count, are still measured.
void markSelection(const RecordModel &model, const std::vector<int> &fieldOf, DecodePlan &plan,
                   const std::vector<std::string> &names) {
  std::vector<char> kept(plan.fields.size());
  std::vector<int> parentOf(plan.fields.size(), -1);
  for (std::size_t i = 0; i < plan.fields.size(); ++i)
    for (const int child : plan.fields[i].children)
      parentOf[static_cast<std::size_t>(child)] = static_cast<int>(i);
  for (const std::string &name : names) {
    bool found = false;
    for (const int item : model.findAll(name)) {
      const int index = fieldOf[static_cast<std::size_t>(item)];
      if (index < 0)
        continue;
      found = true;
      // The named field with all below it (fields follow their group)...
      const auto inside = [&](std::size_t f) {
        for (int up = static_cast<int>(f); up >= 0; up = parentOf[static_cast<std::size_t>(up)])
          if (up == index)
            return true;
        return false;
      };
      for (std::size_t f = static_cast<std::size_t>(index); f < plan.fields.size() && inside(f);
           ++f)
        kept[f] = 1;
      // ...and the groups above it.
      for (int up = parentOf[static_cast<std::size_t>(index)]; up >= 0;
           up = parentOf[static_cast<std::size_t>(up)])
        kept[static_cast<std::size_t>(up)] = 1;
    }
    if (!found)
      throw PlanError{"vexfcbl-decode: -select " + name + ": no such field\n"};
  }
  // Sizes that vary: a table with a DEPENDING ON count, or a group holding one.
  for (std::size_t i = plan.fields.size(); i-- > 0;) {
    PlanField &field = plan.fields[i];
    field.skipped = kept[i] == 0;
    bool varies = field.counter >= 0 || field.isCounter;
    for (const int child : field.children)
      varies = varies || plan.fields[static_cast<std::size_t>(child)].measured ||
               (plan.fields[static_cast<std::size_t>(child)].counter >= 0) ||
               plan.fields[static_cast<std::size_t>(child)].isCounter;
    field.measured = varies;
  }
}

} // namespace

std::string countRefusal(const ModelItem &table, const std::string &why) {
  return "vexfcbl-decode: " + table.path + ": DEPENDING ON " + table.occurs->dependingOnName +
         " is " + why + ", not a number: the count cannot be read\n";
}

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
        field.sign = zonedSignOf(item.sign);
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
          if (const auto why = notACount(model.items[static_cast<std::size_t>(counter)]))
            throw PlanError{countRefusal(item, *why)};
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
    record.end = static_cast<int>(plan.fields.size());
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
  if (!options.segmentField.empty())
    selectorField(model, fieldOf, plan, options.segmentField, "-segment");
  for (const SelectionRule &rule : options.rules) {
    DecodePlan::Rule resolved;
    if (rule.field.empty() && options.segmentField.empty())
      throw PlanError{"vexfcbl-decode: -when " + rule.value + ":" + rule.target +
                      ": give FIELD=VALUE:NAME, or -segment FIELD for VALUE:NAME\n"};
    const std::string &name = rule.field.empty() ? options.segmentField : rule.field;
    resolved.field = selectorField(model, fieldOf, plan, name, "-when");
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
      resolved.segment = keyOf(plan.fields[static_cast<std::size_t>(resolved.alternative)]);
    } else {
      resolved.segment = plan.records[static_cast<std::size_t>(resolved.record)].name;
    }
    plan.rules.push_back(std::move(resolved));
  }
  if (!options.select.empty())
    markSelection(model, fieldOf, plan, options.select);
  for (const WhereFilter &where : options.where) {
    DecodePlan::Filter filter;
    filter.field = selectorField(model, fieldOf, plan, where.field, "-where");
    filter.offset = absolute[static_cast<std::size_t>(filter.field)];
    for (std::size_t r = 0; r < plan.records.size(); ++r)
      if (filter.field >= plan.records[r].root && filter.field < plan.records[r].end)
        filter.record = static_cast<int>(r);
    if (filter.record < 0)
      throw PlanError{"vexfcbl-decode: -where " + where.field + ": not a field of record " +
                      plan.records.front().name + " (-record)\n"};
    const PlanField &field = plan.fields[static_cast<std::size_t>(filter.field)];
    if (field.kind != FieldKind::text && field.kind != FieldKind::zoned &&
        field.kind != FieldKind::packed && field.kind != FieldKind::unsignedPacked &&
        field.kind != FieldKind::binary && field.kind != FieldKind::edited)
      throw PlanError{"vexfcbl-decode: -where " + where.field +
                      ": not a text or decimal number field\n"};
    for (const std::string &value : where.values)
      if (field.kind != FieldKind::text && !isDecimalText(value))
        throw PlanError{"vexfcbl-decode: -where " + where.field + "=" + value + ": " + field.path +
                        " is a number: give its values as numbers\n"};
    filter.values = where.values;
    plan.filters.push_back(std::move(filter));
  }
  return plan;
}

// Building the encoding plan from the record model, and resolving -record and -when.
#include "encoder/encode_plan.h"

#include <algorithm>

#include "record/storage.h"

namespace {

const std::string prefix = "vexfcbl-encode: ";

EncodeKind kindOf(const ModelItem &item, const EncodeOptions &options) {
  const std::optional<DataForm> form = dataFormOf(item);
  if (!form)
    throw EncodePlanError{prefix + item.path + ": USAGE " + usageName(item.usage) +
                          " is not encoded\n"};
  if (*form == DataForm::dbcs && options.dbcs.empty())
    throw EncodePlanError{prefix + item.path + ": USAGE " + usageName(item.usage) +
                          " needs -dbcs IBM930|IBM939|IBM1390|IBM1399\n"};
  return *form;
}

// "PIC S9(5)V99 COMP-3", "COMP-2", "PIC X(6)": the item as the copybook declares it.
std::string describe(const ModelItem &item) {
  std::string text;
  if (item.picture)
    text = "PIC " + pictureDisplayText(*item.picture);
  const char *usage = usageName(item.usage);
  if (item.usage != Usage::display && *usage != '\0')
    text += (text.empty() ? "" : " ") + std::string(usage);
  return text;
}

std::string lastName(const std::string &path) { return path.substr(path.rfind('.') + 1); }

// The field of the first item named `name` that has one; -1 when none.
int findField(const RecordModel &model, const std::vector<int> &fieldOf, const std::string &name) {
  for (const int index : model.findAll(name))
    if (fieldOf[static_cast<std::size_t>(index)] >= 0)
      return fieldOf[static_cast<std::size_t>(index)];
  return -1;
}

// Fills the elementary facts of `field` from `item`.
void elementary(EncodeField &field, const ModelItem &item) {
  field.isSigned = item.isSigned.value_or(false);
  field.justified = item.justified;
  field.blankWhenZero = item.blankWhenZero;
  if (item.picture) {
    const ParsedPicture &picture = *item.picture;
    const bool numeric = picture.category == Category::numeric ||
                         picture.category == Category::numericEdited ||
                         picture.category == Category::externalFloatingPoint;
    if (numeric) {
      field.digits = picture.digits;
      field.scale = picture.scale;
    }
  }
  switch (field.kind) {
  case EncodeKind::zoned:
    field.sign = field.isSigned ? zonedSignOf(item.sign) : ZonedSign::none;
    break;
  case EncodeKind::binary:
    // TRUNC(STD): BINARY, COMP and COMP-4 hold what their picture's digits
    // say; COMP-5 and the dialect binaries what their bytes hold.
    field.checkDigits =
        item.picture && item.picture->category == Category::numeric &&
        (item.usage == Usage::binary || item.usage == Usage::comp || item.usage == Usage::comp4);
    break;
  case EncodeKind::edited:
  case EncodeKind::externalFloat:
    field.picture = item.picture;
    break;
  default:
    break;
  }
}

} // namespace

EncodePlan makeEncodePlan(const RecordModel &model, const EncodeOptions &options) {
  EncodePlan plan;
  std::vector<std::int64_t> absolute;
  std::vector<int> recordOf;
  // The field of every item of the model; -1 for level 66 and those not yet planned.
  std::vector<int> fieldOf(model.items.size(), -1);
  for (const ModelRecord &modelRecord : model.records) {
    EncodeRecord &record = plan.records.emplace_back();
    record.name = modelRecord.name;
    record.key = modelKey(modelRecord.name);
    record.length = modelRecord.length;
    for (int i = modelRecord.root; i < modelRecord.end; ++i) {
      const ModelItem &item = model.items[static_cast<std::size_t>(i)];
      if (item.level == 66)
        continue;
      const int index = static_cast<int>(plan.fields.size());
      EncodeField field;
      field.path = item.path;
      field.key = item.key;
      field.describe = describe(item);
      field.kind = kindOf(item, options);
      field.length = item.length;
      field.slack = item.slackBefore;
      field.filler = item.isFiller();
      elementary(field, item);
      if (item.occurs) {
        field.isArray = true;
        field.minCount = item.occurs->min;
        field.maxCount = item.occurs->max;
        if (!item.occurs->dependingOnName.empty()) {
          // The count is written before the table that depends on it.
          const int counter = item.occurs->dependingOn;
          field.counter = counter >= 0 ? fieldOf[static_cast<std::size_t>(counter)] : -1;
          if (field.counter < 0)
            throw EncodePlanError{prefix + item.path + ": DEPENDING ON " +
                                  item.occurs->dependingOnName + " not found\n"};
          if (const auto why = notACount(model.items[static_cast<std::size_t>(counter)]))
            throw EncodePlanError{prefix + item.path + ": DEPENDING ON " +
                                  item.occurs->dependingOnName + " is " + *why +
                                  ", not a number: the count cannot be written\n"};
          plan.fields[static_cast<std::size_t>(field.counter)].isCounter = true;
        }
      }
      const int parent = item.parent >= 0 ? fieldOf[static_cast<std::size_t>(item.parent)] : -1;
      field.parent = parent;
      field.insideArray = field.isArray;
      if (parent >= 0) {
        const EncodeField &up = plan.fields[static_cast<std::size_t>(parent)];
        field.offset = item.offset - absolute[static_cast<std::size_t>(parent)];
        field.insideArray = field.insideArray || up.insideArray;
        field.filler = field.filler || up.filler;
      }
      field.hidden = field.filler && !options.fillers;
      if (item.area >= 0 && fieldOf[static_cast<std::size_t>(item.area)] >= 0) {
        const int base = fieldOf[static_cast<std::size_t>(item.area)];
        plan.fields[static_cast<std::size_t>(base)].alternatives = base;
        field.alternatives = base;
        field.redefining = true;
      }
      fieldOf[static_cast<std::size_t>(i)] = index;
      plan.fields.push_back(std::move(field));
      absolute.push_back(item.offset);
      recordOf.push_back(static_cast<int>(plan.records.size() - 1));
      if (parent >= 0)
        plan.fields[static_cast<std::size_t>(parent)].children.push_back(index);
      else
        record.root = index;
    }
  }
  if (plan.records.empty())
    throw EncodePlanError{prefix + "the copybook holds no record\n"};
  // Two FILLERs of one group take the layout's numbered names, as the
  // decoder shows them; a lone FILLER keeps its plain name.
  for (const EncodeField &group : plan.fields) {
    const auto isFiller = [&](int child) {
      return plan.fields[static_cast<std::size_t>(child)].key == "FILLER";
    };
    if (std::count_if(group.children.begin(), group.children.end(), isFiller) < 2)
      continue;
    for (const int child : group.children)
      if (isFiller(child)) {
        EncodeField &field = plan.fields[static_cast<std::size_t>(child)];
        field.key = lastName(field.path);
      }
  }

  if (!options.record.empty()) {
    const int chosen = model.findRecord(options.record);
    if (chosen < 0)
      throw EncodePlanError{prefix + "-record " + options.record + ": no such record\n"};
    plan.records = {plan.records[static_cast<std::size_t>(chosen)]};
  }
  for (const EncodeRecord &record : plan.records)
    plan.longest = std::max(plan.longest, record.length);
  for (const SelectionRule &rule : options.rules) {
    EncodeRule resolved;
    resolved.field = findField(model, fieldOf, rule.field);
    if (resolved.field < 0)
      throw EncodePlanError{prefix + "-when " + rule.field + ": no such field\n"};
    const EncodeField &field = plan.fields[static_cast<std::size_t>(resolved.field)];
    if (field.kind == EncodeKind::group || field.insideArray)
      throw EncodePlanError{prefix + "-when " + rule.field +
                            ": not an elementary item outside OCCURS\n"};
    for (int at = resolved.field; plan.fields[static_cast<std::size_t>(at)].parent >= 0;
         at = plan.fields[static_cast<std::size_t>(at)].parent)
      resolved.chain.insert(resolved.chain.begin(), at);
    const std::string fieldRecordKey = modelKey(
        model.records[static_cast<std::size_t>(recordOf[static_cast<std::size_t>(resolved.field)])]
            .name);
    resolved.value = rule.value;
    for (std::size_t r = 0; r < plan.records.size(); ++r) {
      if (plan.records[r].key == modelKey(rule.target))
        resolved.record = static_cast<int>(r);
      if (plan.records[r].key == fieldRecordKey)
        resolved.fieldRecord = static_cast<int>(r);
    }
    if (resolved.record < 0) {
      resolved.alternative = findField(model, fieldOf, rule.target);
      if (resolved.alternative < 0 ||
          plan.fields[static_cast<std::size_t>(resolved.alternative)].alternatives < 0)
        throw EncodePlanError{prefix + "-when " + rule.target +
                              ": neither a record nor a REDEFINES alternative\n"};
    }
    plan.rules.push_back(std::move(resolved));
  }
  return plan;
}

// The record model and the decoding plan turned into the typed shape of the decoder's lines.
#include "lake/lake_schema.h"

#include <algorithm>

namespace {

// The whole number `digits` (no sign) scaled by 10^-scale, as exact decimal text.
std::string scaled(std::string digits, int scale) {
  if (scale <= 0)
    return digits == "0" ? digits : digits + std::string(static_cast<std::size_t>(-scale), '0');
  if (digits.size() <= static_cast<std::size_t>(scale))
    digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
  digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  return digits;
}

std::string negated(const std::string &text) { return text == "0" ? text : "-" + text; }

// The number of decimal digits of `value`.
int digitCount(unsigned long long value) {
  int count = 1;
  while (value >= 10) {
    value /= 10;
    ++count;
  }
  return count;
}

// Fills precision, scale, bounds and the integer width of a number whose
// stored whole number lies in [-low, high] (low given without its sign)
// and is scaled by 10^-scale.
void number(LakeNode &node, const std::string &low, bool negative, const std::string &high,
            int digits, int scale) {
  node.minimum = negative ? negated(scaled(low, scale)) : "0";
  node.maximum = scaled(high, scale);
  node.scale = std::max(scale, 0);
  node.precision = scale >= 0 ? std::max(digits, scale) : digits - scale;
  if (scale > 0) {
    node.type = LakeType::decimal;
    return;
  }
  // Whole numbers: the smallest two's complement width that holds both bounds.
  const auto fits = [&](const char *bound, const std::string &value) {
    const std::string limit = bound;
    return value.size() < limit.size() || (value.size() == limit.size() && value <= limit);
  };
  const std::string top = node.maximum;
  const std::string bottom = negative ? scaled(low, scale) : "0";
  if (fits("32767", top) && fits("32768", bottom))
    node.bits = 16;
  else if (fits("2147483647", top) && fits("2147483648", bottom))
    node.bits = 32;
  else if (fits("9223372036854775807", top) && fits("9223372036854775808", bottom))
    node.bits = 64;
  node.type = node.bits != 0 ? LakeType::integer : LakeType::decimal;
}

void typeLeaf(LakeNode &node, const PlanField &field, const ModelItem &item,
              const DecodeOptions &options) {
  const int scale = field.scale;
  switch (field.kind) {
  case FieldKind::text:
    node.type = LakeType::text;
    node.maxLength = field.length;
    node.fixedWidth = !options.trim;
    return;
  case FieldKind::national:
  case FieldKind::dbcs:
    node.type = LakeType::text;
    node.maxLength = field.length / 2;
    node.fixedWidth = !options.trim;
    return;
  case FieldKind::zoned: {
    const bool separate =
        field.sign == ZonedSign::leadingSeparate || field.sign == ZonedSign::trailingSeparate;
    const int digits = static_cast<int>(field.length) - (separate ? 1 : 0);
    const std::string nines(static_cast<std::size_t>(digits), '9');
    number(node, nines, field.sign != ZonedSign::none, nines, digits, scale);
    return;
  }
  case FieldKind::packed:
  case FieldKind::unsignedPacked: {
    const int digits = static_cast<int>(field.length) * 2 - (field.kind == FieldKind::packed);
    const std::string nines(static_cast<std::size_t>(digits), '9');
    number(node, nines, field.kind == FieldKind::packed && field.isSigned, nines, digits, scale);
    return;
  }
  case FieldKind::binary: {
    const int bits = static_cast<int>(field.length) * 8;
    const unsigned long long high =
        field.isSigned ? (1ULL << (bits - 1)) - 1 : (bits >= 64 ? ~0ULL : (1ULL << bits) - 1);
    const unsigned long long low = field.isSigned ? 1ULL << (bits - 1) : 0;
    number(node, std::to_string(low), field.isSigned, std::to_string(high),
           digitCount(std::max(high, low)), scale);
    return;
  }
  case FieldKind::floating:
    // An IBM hexadecimal COMP-1 reaches 7.2E+75, past the IEEE single range:
    // only an IEEE single stays a float.
    node.type = field.length == 4 && options.ieeeFloat ? LakeType::float32 : LakeType::float64;
    return;
  case FieldKind::decimalFloat:
    node.type = LakeType::numberText;
    return;
  case FieldKind::edited: {
    if (item.category == Category::externalFloatingPoint || !item.picture) {
      node.type = LakeType::float64;
      return;
    }
    const int digits = static_cast<int>(item.picture->digits);
    const std::string nines(static_cast<std::size_t>(std::max(digits, 1)), '9');
    number(node, nines, true, nines, std::max(digits, 1), static_cast<int>(item.picture->scale));
    return;
  }
  case FieldKind::group:
    return;
  }
}

class Builder {
public:
  Builder(const RecordModel &model, const DecodePlan &plan, const DecodeOptions &options)
      : model_(model), plan_(plan), options_(options) {
    for (const DecodePlan::Rule &rule : plan.rules)
      if (rule.alternative >= 0)
        choosable_.push_back(plan.fields[static_cast<std::size_t>(rule.alternative)].alternatives);
      else
        recordRules_ = true;
  }

  LakeSchema build() {
    LakeSchema schema;
    schema.nodes.emplace_back();
    schema.name = plan_.records.front().name;
    const bool several = plan_.records.size() > 1;
    for (const PlanRecord &record : plan_.records) {
      const int node = add(schema, record.root, "");
      // Without a rule that picks a record, every record is written over the same bytes.
      schema.nodes[static_cast<std::size_t>(node)].optional = several && recordRules_;
      schema.nodes.front().children.push_back(node);
    }
    return schema;
  }

private:
  int add(LakeSchema &schema, int index, const std::string &columnAbove) {
    const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
    LakeNode node;
    node.name = field.name.substr(1, field.name.size() - 3);
    node.field = index;
    const bool top = field.path.find('.') == std::string::npos;
    node.column =
        top || columnAbove.empty() ? (top ? "" : node.name) : columnAbove + "." + node.name;
    node.isArray = field.isArray;
    node.minItems = field.counter >= 0 ? field.minCount : field.maxCount;
    node.maxItems = field.maxCount;
    node.dependingOn = field.counter >= 0;
    // -strict stops at the first bad value, so nothing it writes is null.
    node.nullable = !options_.strict && field.kind != FieldKind::group;
    node.arrayNullable = !options_.strict && node.dependingOn;
    node.optional = field.alternatives >= 0 && std::find(choosable_.begin(), choosable_.end(),
                                                         field.alternatives) != choosable_.end();
    if (field.kind != FieldKind::group)
      typeLeaf(node, field, model_.items[static_cast<std::size_t>(field.item)], options_);
    const auto at = static_cast<int>(schema.nodes.size());
    schema.nodes.push_back(node);
    for (const int child : field.children) {
      if (plan_.fields[static_cast<std::size_t>(child)].hidden)
        continue;
      const int made = add(schema, child, node.column);
      schema.nodes[static_cast<std::size_t>(at)].children.push_back(made);
    }
    return at;
  }

  const RecordModel &model_;
  const DecodePlan &plan_;
  const DecodeOptions &options_;
  std::vector<int> choosable_; // REDEFINES areas a -when rule picks alternatives of
  bool recordRules_ = false;
};

void leaves(const LakeSchema &schema, int index, bool intoArrays, std::vector<int> &out) {
  const LakeNode &node = schema.nodes[static_cast<std::size_t>(index)];
  if (node.type != LakeType::record || (node.isArray && !intoArrays && index != 0)) {
    out.push_back(index);
    return;
  }
  for (const int child : node.children)
    leaves(schema, child, intoArrays, out);
}

} // namespace

LakeSchema makeLakeSchema(const RecordModel &model, const DecodePlan &plan,
                          const DecodeOptions &options) {
  return Builder(model, plan, options).build();
}

void addRecords(LakeSchema &schema, const LakeSchema &other) {
  const int base = static_cast<int>(schema.nodes.size()) - 1;
  for (std::size_t i = 1; i < other.nodes.size(); ++i) {
    LakeNode node = other.nodes[i];
    for (int &child : node.children)
      child += base;
    schema.nodes.push_back(std::move(node));
  }
  LakeNode &line = schema.nodes.front();
  for (const int record : other.nodes.front().children)
    if (std::none_of(line.children.begin(), line.children.end(), [&](int mine) {
          return schema.nodes[static_cast<std::size_t>(mine)].name ==
                 schema.nodes[static_cast<std::size_t>(record + base)].name;
        }))
      line.children.push_back(record + base);
  for (const int record : line.children)
    schema.nodes[static_cast<std::size_t>(record)].optional = true;
}

std::vector<int> lakeLeaves(const LakeSchema &schema, int node, bool intoArrays) {
  std::vector<int> out;
  const LakeNode &start = schema.nodes[static_cast<std::size_t>(node)];
  for (const int child : start.children)
    leaves(schema, child, intoArrays, out);
  return out;
}

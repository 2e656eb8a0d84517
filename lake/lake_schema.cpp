// The record model and the decoding plan turned into the typed shape of the decoder's lines.
#include "lake/lake_schema.h"

#include <algorithm>

#include "decoder/record_sink.h"
#include "decoder/segments.h"

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
    // Every digit the bytes hold (an even picture's first nibble too), but
    // no more than 38: decimal(39) is past what Avro's and Parquet's readers
    // take (DuckDB reads it as a double), and PIC S9(38) holds 38 digits.
    const int digits =
        std::min(38, static_cast<int>(field.length) * 2 - (field.kind == FieldKind::packed));
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

// A rule's value as the decoder compares it: numbers by their digits (+0012 is 12).
std::string comparedValue(const PlanField &field, const std::string &value) {
  if (field.kind == FieldKind::text || value.empty())
    return value;
  std::string digits = value;
  const bool negative = digits[0] == '-';
  if (digits[0] == '-' || digits[0] == '+')
    digits.erase(0, 1);
  digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
  if (digits.empty())
    return "0";
  return negative ? "-" + digits : digits;
}

// The sets of `area`'s alternatives (plan fields) a record can be written
// with: the rules testing one field at one offset pick by their value, so
// a record matches one value's rules per such test, or none; the
// alternatives picked are the union over the tests, and all of them when
// no rule matched. None when there are too many to list.
std::vector<std::vector<int>> alternativeShapes(const DecodePlan &plan, int area,
                                                const std::vector<int> &all) {
  struct Test {
    int field;
    std::int64_t offset;
    std::vector<std::pair<std::string, std::vector<int>>> values;
  };
  std::vector<Test> tests;
  for (const DecodePlan::Rule &rule : plan.rules) {
    if (rule.alternative < 0 ||
        plan.fields[static_cast<std::size_t>(rule.alternative)].alternatives != area)
      continue;
    auto test = std::find_if(tests.begin(), tests.end(), [&](const Test &t) {
      return t.field == rule.field && t.offset == rule.offset;
    });
    if (test == tests.end())
      test = tests.insert(tests.end(), Test{rule.field, rule.offset, {}});
    const std::string value =
        comparedValue(plan.fields[static_cast<std::size_t>(rule.field)], rule.value);
    auto same = std::find_if(test->values.begin(), test->values.end(),
                             [&](const auto &entry) { return entry.first == value; });
    if (same == test->values.end())
      same = test->values.insert(test->values.end(), {value, {}});
    same->second.push_back(rule.alternative);
  }
  // Every combination of one value (or none) per test.
  std::vector<std::vector<int>> picks{{}};
  for (const Test &test : tests) {
    std::vector<std::vector<int>> more;
    for (const std::vector<int> &pick : picks) {
      more.push_back(pick);
      for (const auto &entry : test.values) {
        std::vector<int> with = pick;
        with.insert(with.end(), entry.second.begin(), entry.second.end());
        more.push_back(std::move(with));
      }
    }
    picks = std::move(more);
    // Rules on many fields of one area: the alternatives stay optional
    // members rather than a oneOf of thousands of sets.
    if (picks.size() > 1024)
      return {};
  }
  // No rule matched (the first pick): last, after the rules' own picks.
  std::rotate(picks.begin(), picks.begin() + 1, picks.end());
  picks.back() = all;
  std::vector<std::vector<int>> shapes;
  for (std::vector<int> &pick : picks) {
    std::sort(pick.begin(), pick.end());
    pick.erase(std::unique(pick.begin(), pick.end()), pick.end());
    if (std::find(shapes.begin(), shapes.end(), pick) == shapes.end())
      shapes.push_back(pick);
  }
  return shapes;
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
      // FILLERs without -fillers and the fields -select leaves out are not written.
      if (plan_.fields[static_cast<std::size_t>(child)].hidden ||
          plan_.fields[static_cast<std::size_t>(child)].skipped)
        continue;
      const int made = add(schema, child, node.column);
      schema.nodes[static_cast<std::size_t>(at)].children.push_back(made);
    }
    addChoices(schema, at, field);
    return at;
  }

  // The REDEFINES areas among `field`'s members that rules pick alternatives of.
  void addChoices(LakeSchema &schema, int at, const PlanField &field) const {
    LakeNode &node = schema.nodes[static_cast<std::size_t>(at)];
    std::vector<int> areas;
    for (const int child : field.children) {
      const int area = plan_.fields[static_cast<std::size_t>(child)].alternatives;
      if (area >= 0 && std::find(choosable_.begin(), choosable_.end(), area) != choosable_.end() &&
          std::find(areas.begin(), areas.end(), area) == areas.end())
        areas.push_back(area);
    }
    for (const int area : areas) {
      std::vector<int> all;
      for (const int child : field.children)
        if (plan_.fields[static_cast<std::size_t>(child)].alternatives == area)
          all.push_back(child);
      // Members by plan field; those not written (-select, FILLER) drop out.
      const auto position = [&](int planField) {
        for (std::size_t p = 0; p < node.children.size(); ++p)
          if (schema.nodes[static_cast<std::size_t>(node.children[p])].field == planField)
            return static_cast<int>(p);
        return -1;
      };
      LakeNode::Choice choice;
      for (const int alternative : all)
        if (const int p = position(alternative); p >= 0)
          choice.alternatives.push_back(p);
      for (const std::vector<int> &shape : alternativeShapes(plan_, area, all)) {
        std::vector<int> members;
        for (const int alternative : shape)
          if (const int p = position(alternative); p >= 0)
            members.push_back(p);
        if (std::find(choice.shapes.begin(), choice.shapes.end(), members) == choice.shapes.end())
          choice.shapes.push_back(std::move(members));
      }
      if (!choice.alternatives.empty() && !choice.shapes.empty())
        node.choices.push_back(std::move(choice));
    }
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

int push(LakeSchema &schema, LakeNode node) {
  schema.nodes.push_back(std::move(node));
  return static_cast<int>(schema.nodes.size()) - 1;
}

// A copy of the node at `index` and of everything below it: a tree's
// records are the record's members again, in columns of their own.
int cloned(LakeSchema &schema, int index) {
  LakeNode node = schema.nodes[static_cast<std::size_t>(index)];
  const std::vector<int> children = std::move(node.children);
  node.children.clear();
  const int at = push(schema, std::move(node));
  for (const int child : children) {
    const int made = cloned(schema, child);
    schema.nodes[static_cast<std::size_t>(at)].children.push_back(made);
  }
  return at;
}

// The segments of -when and -child as the lake schema sees them: the
// record each segment's records are written as.
class Segments {
public:
  Segments(const DecodePlan &plan, const DecodeOptions &options) : tree(plan, options) {
    for (std::size_t r = 0; r < plan.rules.size(); ++r) {
      const DecodePlan::Rule &rule = plan.rules[r];
      const auto segment = static_cast<std::size_t>(tree.segmentOfRule(static_cast<int>(r)));
      if (record.size() <= segment)
        record.resize(segment + 1, -1);
      if (record[segment] >= 0)
        continue;
      record[segment] = rule.record;
      // An alternative's segment is written as the record that holds it.
      for (std::size_t p = 0; rule.record < 0 && p < plan.records.size(); ++p)
        if (plan.records[p].root <= rule.alternative && rule.alternative < plan.records[p].end)
          record[segment] = static_cast<int>(p);
    }
  }
  int count() const { return static_cast<int>(record.size()); }

  SegmentTree tree;
  std::vector<int> record; // by segment: the plan record, -1 when none is known
};

// The array of segment `segment`'s records under their parent's: each the
// record's members (copied from `members`, the records' members before any
// array was added) and the arrays of its own child segments, always there.
int segmentArray(LakeSchema &schema, const Segments &segments,
                 const std::vector<std::vector<int>> &members, int segment, bool top) {
  LakeNode node;
  node.name = segments.tree.name(segment);
  node.column = node.name;
  node.field = segmentArrayKey(segment);
  node.isArray = true;
  node.maxItems = -1;
  // At the top, a record without a place is written without its arrays.
  node.optional = top;
  const int at = push(schema, node);
  const int record = segments.record[static_cast<std::size_t>(segment)];
  if (record >= 0)
    for (const int member : members[static_cast<std::size_t>(record)]) {
      const int made = cloned(schema, member);
      schema.nodes[static_cast<std::size_t>(at)].children.push_back(made);
    }
  for (const int child : segments.tree.childrenOf(segment)) {
    const int made = segmentArray(schema, segments, members, child, false);
    schema.nodes[static_cast<std::size_t>(at)].children.push_back(made);
  }
  return at;
}

void addTrees(LakeSchema &schema, const Segments &segments, const std::vector<int> &recordNodes) {
  std::vector<std::vector<int>> members;
  for (const int node : recordNodes)
    members.push_back(schema.nodes[static_cast<std::size_t>(node)].children);
  for (int segment = 0; segment < segments.count(); ++segment) {
    const int record = segments.record[static_cast<std::size_t>(segment)];
    if (record < 0 || segments.tree.parentOf(segment) >= 0)
      continue;
    for (const int child : segments.tree.childrenOf(segment)) {
      const int recordNode = recordNodes[static_cast<std::size_t>(record)];
      const std::vector<int> &have = schema.nodes[static_cast<std::size_t>(recordNode)].children;
      if (std::any_of(have.begin(), have.end(), [&](int index) {
            return schema.nodes[static_cast<std::size_t>(index)].field == segmentArrayKey(child);
          }))
        continue;
      const int made = segmentArray(schema, segments, members, child, true);
      schema.nodes[static_cast<std::size_t>(recordNode)].children.push_back(made);
    }
  }
}

std::int64_t longestSegment(const Segments &segments) {
  std::int64_t longest = 0;
  for (int segment = 0; segment < segments.count(); ++segment)
    longest = std::max(longest, static_cast<std::int64_t>(segments.tree.name(segment).size()));
  return longest;
}

// -ids: the three keys before the records.
void addIds(LakeSchema &schema, const Segments &segments) {
  LakeNode record;
  record.name = record.column = "_record";
  record.field = recordIdKey;
  record.type = LakeType::integer;
  record.bits = 64;
  record.precision = 19;
  record.minimum = "1";
  record.maximum = "9223372036854775807";
  LakeNode parent = record;
  parent.name = parent.column = "_parent";
  parent.field = parentIdKey;
  parent.nullable = true;
  LakeNode segment;
  segment.name = segment.column = "_segment";
  segment.field = segmentIdKey;
  segment.type = LakeType::text;
  segment.maxLength = longestSegment(segments);
  segment.nullable = true;
  const std::vector<int> ids{push(schema, record), push(schema, segment), push(schema, parent)};
  std::vector<int> &line = schema.nodes.front().children;
  line.insert(line.begin(), ids.begin(), ids.end());
}

// The tables' _segment and _parent columns, and the table _parent points to.
void segmentColumns(LakeSchema &schema, const Segments &segments, const DecodePlan &plan,
                    const std::vector<int> &recordNodes) {
  const std::int64_t longest = longestSegment(segments);
  for (std::size_t r = 0; r < recordNodes.size(); ++r) {
    LakeNode &node = schema.nodes[static_cast<std::size_t>(recordNodes[r])];
    node.segmentColumns = true;
    node.segmentLength = longest;
    int parentRecord = -1;
    bool one = true;
    bool any = false;
    for (int segment = 0; segment < segments.count(); ++segment) {
      if (segments.record[static_cast<std::size_t>(segment)] != static_cast<int>(r))
        continue;
      any = true;
      const int parent = segments.tree.parentOf(segment);
      const int above = parent < 0 ? -1 : segments.record[static_cast<std::size_t>(parent)];
      if (above < 0 || (parentRecord >= 0 && above != parentRecord))
        one = false;
      parentRecord = above;
    }
    if (any && one && parentRecord >= 0)
      node.parentTable = plan.records[static_cast<std::size_t>(parentRecord)].name;
  }
}

} // namespace

LakeSchema makeLineSchema(const RecordModel &model, const DecodePlan &plan,
                          const std::vector<const DecodePlan *> &ends,
                          const DecodeOptions &options) {
  LakeSchema schema = makeLakeSchema(model, plan, options);
  if (options.ids || !options.children.empty()) {
    const Segments segments(plan, options);
    const std::vector<int> recordNodes = schema.nodes.front().children;
    segmentColumns(schema, segments, plan, recordNodes);
    if (options.ids)
      addIds(schema, segments);
    else
      addTrees(schema, segments, recordNodes);
  }
  const std::vector<int> bases = endFieldBases(plan, ends);
  for (std::size_t e = 0; e < ends.size(); ++e) {
    LakeSchema end = makeLakeSchema(model, *ends[e], options);
    for (LakeNode &node : end.nodes)
      if (node.field >= 0)
        node.field += bases[e];
    addRecords(schema, end);
  }
  // Header and trailer lines have no ids.
  if (!ends.empty())
    for (const int member : schema.nodes.front().children)
      schema.nodes[static_cast<std::size_t>(member)].optional = true;
  return schema;
}

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

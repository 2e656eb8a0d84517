// Segment names, parent links and the two outputs of a hierarchy: ids and nesting.
#include "decoder/segments.h"

#include <algorithm>

#include "record/record_model.h"

namespace {

void appendQuoted(const std::string &text, std::string &out) {
  // Segment names are COBOL names: no character JSON or CSV must escape.
  out += '"';
  out += text;
  out += '"';
}

} // namespace

SegmentTree::SegmentTree(const DecodePlan &plan, const DecodeOptions &options) {
  const auto find = [this](const std::string &name) {
    for (std::size_t s = 0; s < names_.size(); ++s)
      if (modelKey(names_[s]) == modelKey(name))
        return static_cast<int>(s);
    return -1;
  };
  for (const DecodePlan::Rule &rule : plan.rules) {
    int segment = find(rule.segment);
    if (segment < 0) {
      segment = static_cast<int>(names_.size());
      names_.push_back(rule.segment);
    }
    ruleSegment_.push_back(segment);
  }
  parent_.assign(names_.size(), -1);
  children_.resize(names_.size());
  for (const ChildLink &link : options.children) {
    const int child = find(link.child);
    const int parent = find(link.parent);
    const std::string given = "vexfcbl-decode: -child " + link.child + ":" + link.parent + ": ";
    if (child < 0 || parent < 0)
      throw PlanError{given + (child < 0 ? link.child : link.parent) +
                      " is no segment: name a record or alternative of a -when\n"};
    if (parent_[static_cast<std::size_t>(child)] >= 0)
      throw PlanError{given + link.child + " already has the parent " +
                      names_[static_cast<std::size_t>(parent_[static_cast<std::size_t>(child)])] +
                      "\n"};
    for (int up = parent; up >= 0; up = parent_[static_cast<std::size_t>(up)])
      if (up == child)
        throw PlanError{given + link.child + " would be its own ancestor\n"};
    parent_[static_cast<std::size_t>(child)] = parent;
    children_[static_cast<std::size_t>(parent)].push_back(child);
    linked_ = true;
  }
}

long long ParentStack::place(int segment, long long number, bool &orphan) {
  orphan = false;
  parentSlot_ = -1;
  if (segment < 0) // a record of no segment interrupts no hierarchy
    return -1;
  const int parent = tree_.parentOf(segment);
  if (parent < 0) {
    open_.assign(1, Open{segment, number});
    return -1;
  }
  for (std::size_t i = open_.size(); i-- > 0;)
    if (open_[i].segment == parent) {
      open_.resize(i + 1);
      open_.push_back(Open{segment, number});
      parentSlot_ = static_cast<int>(i);
      return open_[i].number;
    }
  // Its parent is not among the open records: what is open stays open for
  // the records after it.
  orphan = true;
  return -1;
}

void addIds(std::string &line, bool csv, long long number, const std::string *segment,
            long long parent) {
  std::string ids;
  if (!csv)
    ids += "\"_record\":";
  ids += std::to_string(number);
  ids += csv ? "," : ",\"_segment\":";
  if (segment != nullptr && csv)
    ids += *segment;
  else if (segment != nullptr)
    appendQuoted(*segment, ids);
  else if (!csv)
    ids += "null";
  ids += csv ? "," : ",\"_parent\":";
  if (parent >= 0)
    ids += std::to_string(parent);
  else if (!csv)
    ids += "null";
  ids += ',';
  line.insert(csv ? 0 : 1, ids);
}

std::string idColumns() { return "_record,_segment,_parent,"; }

namespace {

// A record of a child segment goes under the nearest open record of its
// parent segment, and the path from the root closes below that record: the
// same for a tree of lines and a tree of values. False (nothing made) when
// no open record is of the parent segment.
template <class Node, class Make>
bool placeUnder(std::vector<Node> &nodes, std::vector<int> &open, int parent, Make make) {
  for (std::size_t i = open.size(); i-- > 0;) {
    const int up = open[i];
    if (nodes[static_cast<std::size_t>(up)].segment == parent) {
      const int index = static_cast<int>(nodes.size());
      nodes.push_back(make());
      nodes[static_cast<std::size_t>(up)].children.push_back(index);
      open.resize(i + 1);
      open.push_back(index);
      return true;
    }
  }
  return false;
}

} // namespace

bool HierarchyWriter::add(int segment, std::string_view line) {
  if (!line.empty() && line.back() == '\n')
    line.remove_suffix(1);
  const auto loose = [&] {
    loose_.emplace_back(line);
    loose_.back() += '\n';
    return false;
  };
  // {"KEY":{...}}: the object of the record, the line's key around it.
  const std::size_t colon = line.find("\":");
  if (segment < 0 || colon == std::string_view::npos || line.size() < colon + 4)
    return loose();
  Node node{segment,
            std::string(line.substr(colon + 2, line.size() - colon - 3)),
            std::string(line.substr(1, colon + 1)),
            {}};
  const int parent = tree_.parentOf(segment);
  if (parent < 0) {
    flush(); // a failure shows at the end of the file
    nodes_.push_back(std::move(node));
    open_.assign(1, 0);
    return true;
  }
  return placeUnder(nodes_, open_, parent, [&] { return std::move(node); }) || loose();
}

void HierarchyWriter::write(int index, std::string &out) const {
  const Node &node = nodes_[static_cast<std::size_t>(index)];
  const std::vector<int> &segments = tree_.childrenOf(node.segment);
  if (segments.empty() || node.object.size() < 2) {
    out += node.object;
    return;
  }
  out.append(node.object, 0, node.object.size() - 1);
  bool first = node.object.size() == 2; // "{}": nothing before the first array
  for (const int segment : segments) {
    if (!first)
      out += ',';
    first = false;
    appendQuoted(tree_.name(segment), out);
    out += ":[";
    bool firstChild = true;
    for (const int child : node.children)
      if (nodes_[static_cast<std::size_t>(child)].segment == segment) {
        if (!firstChild)
          out += ',';
        firstChild = false;
        write(child, out);
      }
    out += ']';
  }
  out += '}';
}

bool HierarchyWriter::flush() {
  std::string text;
  if (!nodes_.empty()) {
    text += '{';
    text += nodes_.front().key;
    write(0, text);
    text += "}\n";
  }
  for (const std::string &line : loose_)
    text += line;
  nodes_.clear();
  open_.clear();
  loose_.clear();
  if (std::fwrite(text.data(), 1, text.size(), out_) != text.size())
    failed_ = true;
  return !failed_;
}

void copyValue(const RecordValues &from, std::uint32_t token, RecordValues &to, int fieldBase) {
  const ValueToken &value = from[token];
  switch (value.type) {
  case ValueType::object:
  case ValueType::array: {
    const std::uint32_t open = to.open(value.type);
    for (std::uint32_t inner = token + 1; inner < value.next; inner = from[inner].next)
      copyValue(from, inner, to, fieldBase);
    to.close(open);
    return;
  }
  case ValueType::key: {
    const int field = from.field(value);
    const std::uint32_t key =
        to.open(ValueType::key, static_cast<std::uint32_t>(field >= 0 ? field + fieldBase : field));
    copyValue(from, token + 1, to, fieldBase);
    to.close(key);
    return;
  }
  case ValueType::string:
  case ValueType::number: {
    std::string &text = to.textBuffer();
    const std::size_t at = text.size();
    text += from.text(value);
    to.appended(value.type, at);
    return;
  }
  case ValueType::scaled:
    to.scaled(from.unscaled(value), from.scale(value));
    return;
  case ValueType::null:
    to.null();
    return;
  }
}

void appendRecord(const RecordValues &from, std::uint32_t token, RecordValues &to, int fieldBase) {
  to.beginRecord();
  const std::uint32_t line = to.record(to.records() - 1);
  for (std::uint32_t key = token + 1; key < from[token].next; key = from[key].next)
    copyValue(from, key, to, fieldBase);
  to.close(line);
}

void appendWithIds(const RecordValues &from, std::uint32_t token, RecordValues &to,
                   long long number, const std::string *segment, long long parent) {
  to.beginRecord();
  const std::uint32_t line = to.record(to.records() - 1);
  const auto idKey = [&](int key, ValueType type, const std::string *text) {
    const std::uint32_t open = to.open(ValueType::key, static_cast<std::uint32_t>(key));
    if (text == nullptr) {
      to.null();
    } else {
      std::string &buffer = to.textBuffer();
      const std::size_t at = buffer.size();
      buffer += *text;
      to.appended(type, at);
    }
    to.close(open);
  };
  const std::string record = std::to_string(number);
  const std::string parentNumber = std::to_string(parent);
  idKey(recordIdKey, ValueType::number, &record);
  idKey(segmentIdKey, ValueType::string, segment);
  idKey(parentIdKey, ValueType::number, parent >= 0 ? &parentNumber : nullptr);
  for (std::uint32_t key = token + 1; key < from[token].next; key = from[key].next)
    copyValue(from, key, to);
  to.close(line);
}

bool ValueHierarchy::add(int segment, const RecordValues &record, RecordValues &out) {
  const std::uint32_t line = record.record(0);
  // {"KEY":{...}}: the record's object under its key, as the line has it.
  const bool shaped = line + 2 < record[line].next && record[line + 1].type == ValueType::key &&
                      record[line + 2].type == ValueType::object;
  const auto hold = [&] {
    appendRecord(record, line, held_);
    return held_.record(held_.records() - 1);
  };
  if (segment < 0 || !shaped) {
    loose_.push_back(hold());
    return false;
  }
  const int parent = tree_.parentOf(segment);
  if (parent < 0) {
    flush(out);
    nodes_.push_back(Node{segment, hold(), {}});
    open_.assign(1, 0);
    return true;
  }
  if (placeUnder(nodes_, open_, parent, [&] { return Node{segment, hold(), {}}; }))
    return true;
  loose_.push_back(hold());
  return false;
}

void ValueHierarchy::writeObject(const Node &node, RecordValues &out) const {
  const std::uint32_t object = node.line + 2;
  const std::uint32_t open = out.open(ValueType::object);
  for (std::uint32_t key = object + 1; key < held_[object].next; key = held_[key].next)
    copyValue(held_, key, out);
  for (const int segment : tree_.childrenOf(node.segment)) {
    const std::uint32_t key =
        out.open(ValueType::key, static_cast<std::uint32_t>(segmentArrayKey(segment)));
    const std::uint32_t array = out.open(ValueType::array);
    for (const int child : node.children)
      if (nodes_[static_cast<std::size_t>(child)].segment == segment)
        writeObject(nodes_[static_cast<std::size_t>(child)], out);
    out.close(array);
    out.close(key);
  }
  out.close(open);
}

void ValueHierarchy::flush(RecordValues &out) {
  if (!nodes_.empty()) {
    const Node &root = nodes_.front();
    out.beginRecord();
    const std::uint32_t line = out.record(out.records() - 1);
    const std::uint32_t key =
        out.open(ValueType::key, static_cast<std::uint32_t>(held_.field(held_[root.line + 1])));
    writeObject(root, out);
    out.close(key);
    out.close(line);
  }
  for (const std::uint32_t line : loose_)
    appendRecord(held_, line, out);
  nodes_.clear();
  open_.clear();
  loose_.clear();
  held_.clear();
}

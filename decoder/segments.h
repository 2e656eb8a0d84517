#pragma once
// Segments and hierarchies: the segment each record is (-segment, -when), the parent each has
// (-child), and the output that shows it: ids on flat records (-ids) or records nested under
// their parents.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/record_values.h"

// Keys of records as values (decoder/record_values.h) that name no plan
// field: -ids' three keys and, in a tree of -child, the array of a
// segment's child records. Negative, so that no plan field is taken for them.
constexpr int recordIdKey = -2;
constexpr int segmentIdKey = -3;
constexpr int parentIdKey = -4;
constexpr int segmentArrayKey(int segment) { return -5 - segment; }

// The segments a run knows (every -when target) and how -child links them.
class SegmentTree {
public:
  // Throws PlanError when a -child names no -when target, gives a segment
  // two parents, or makes a segment its own ancestor.
  SegmentTree(const DecodePlan &plan, const DecodeOptions &options);

  // The segment a -when rule names; -1 for no rule.
  int segmentOfRule(int rule) const {
    return rule < 0 ? -1 : ruleSegment_[static_cast<std::size_t>(rule)];
  }
  const std::string &name(int segment) const { return names_[static_cast<std::size_t>(segment)]; }
  // The parent segment; -1 for a root segment.
  int parentOf(int segment) const { return parent_[static_cast<std::size_t>(segment)]; }
  // The child segments in the order -child gave them.
  const std::vector<int> &childrenOf(int segment) const {
    return children_[static_cast<std::size_t>(segment)];
  }
  // -child was given: records have parents, ranges start at root segments.
  bool linked() const { return linked_; }

private:
  std::vector<std::string> names_;
  std::vector<int> ruleSegment_;
  std::vector<int> parent_;
  std::vector<std::vector<int>> children_;
  bool linked_ = false;
};

// The records of a file that may still be parents: each new record closes
// those deeper than its parent.
class ParentStack {
public:
  explicit ParentStack(const SegmentTree &tree) : tree_(tree) {}

  // Places a record of `segment` (numbered `number`) and returns its
  // parent's number, -1 for a root or unknown segment. `orphan` is set when
  // the segment has a parent segment but no record of it is open.
  long long place(int segment, long long number, bool &orphan);
  // Index into the open records of the parent `place` found last; -1 for none.
  int parentSlot() const { return parentSlot_; }
  void clear() { open_.clear(); }

private:
  struct Open {
    int segment;
    long long number;
  };
  const SegmentTree &tree_;
  std::vector<Open> open_;
  int parentSlot_ = -1;
};

// Appends to `to` the value at `token` of `from` with its members or
// elements; a key's plan field (not the negative keys above) moved up by
// `fieldBase` (the -header and -trailer records' fields, numbered after the
// body's for a writer of values).
void copyValue(const RecordValues &from, std::uint32_t token, RecordValues &to, int fieldBase = 0);

// Appends the record (line object) of `from` at `token` to `to` as a
// record of its own, keys moved up by `fieldBase` as copyValue does.
void appendRecord(const RecordValues &from, std::uint32_t token, RecordValues &to,
                  int fieldBase = 0);

// -ids as values: the record of `from` at `token` appended to `to` as a
// record whose keys `_record`, `_segment` and `_parent` (recordIdKey ...)
// come before its own, as addIds puts them into the line.
void appendWithIds(const RecordValues &from, std::uint32_t token, RecordValues &to,
                   long long number, const std::string *segment, long long parent);

// -ids: `_record`, `_segment` and `_parent` put first into a record's JSON
// line, or as its first three CSV columns; `segment` null (-1 parent:
// null) when unknown.
void addIds(std::string &line, bool csv, long long number, const std::string *segment,
            long long parent);
// The CSV header's first three columns for -ids.
std::string idColumns();

// Nested output (-child without -ids): each root record's line is written
// when the next root or the end of the file comes, with its children under
// their segment names as arrays inside its record object (empty arrays
// for none), to any depth. A record that has no place (a child without its
// parent before it, a record of no segment) is written as a line of its own
// after the tree it came in.
class HierarchyWriter {
public:
  HierarchyWriter(const SegmentTree &tree, std::FILE *out) : tree_(tree), out_(out) {}

  // Takes a record's JSON line (one object with its record's key) of
  // `segment` (-1: none); returns false when it has no parent to go under.
  bool add(int segment, std::string_view line);
  // Writes what is held; false when writing failed, now or for an earlier tree.
  bool flush();

private:
  struct Node {
    int segment;
    std::string object; // the record's object, without the line's key around it
    std::string key;    // the line's record key with quotes and colon
    std::vector<int> children;
  };
  void write(int node, std::string &out) const;

  const SegmentTree &tree_;
  std::FILE *out_;
  std::vector<Node> nodes_; // the tree being gathered, its root first
  std::vector<int> open_;   // the path from the root to the last record
  std::vector<std::string> loose_;
  bool failed_ = false;
};

// HierarchyWriter's trees as values, for a writer of values: the same
// nesting (each child segment's records an array keyed segmentArrayKey
// after the record's own members) and the same records without a place.
class ValueHierarchy {
public:
  explicit ValueHierarchy(const SegmentTree &tree) : tree_(tree) {}

  // Takes the record of `segment` (-1: none) held as the one record of
  // `record`; a new root first appends the tree held to `out`. False when
  // it has no parent to go under.
  bool add(int segment, const RecordValues &record, RecordValues &out);
  // Appends what is held to `out`, a record each: the tree, then the
  // records without a place.
  void flush(RecordValues &out);

private:
  struct Node {
    int segment;
    std::uint32_t line; // the record's object in held_
    std::vector<int> children;
  };
  void writeObject(const Node &node, RecordValues &out) const;

  const SegmentTree &tree_;
  RecordValues held_;
  std::vector<Node> nodes_;
  std::vector<int> open_;
  std::vector<std::uint32_t> loose_;
};

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

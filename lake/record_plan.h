#pragma once
// Flat plans of a writer's leaf operations, one per shape of record: a record whose tokens
// have the structure of one seen before (the same objects, arrays and keys at the same places)
// is written by the operations its first walk recorded, read at fixed token offsets, without
// the walk of the schema (recursion, member search, the node's type at each value). Records of
// another structure (ODO counts, -when records, -child trees) take the walk, and the first few
// shapes are learned from it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "decoder/record_values.h"

// The structure of a record's tokens: every token but the leaf values the writer reads, as it
// was, with its `next` counted from the record's first token.
class RecordShape {
public:
  // The shape of the record at `base` whose leaf values are the tokens at `leaves` (offsets
  // from `base`, noValue for a key the record lacks, which has no token).
  RecordShape(const RecordValues &values, std::uint32_t base,
              const std::vector<std::uint32_t> &leaves) {
    const std::uint32_t end = values[base].next;
    tokens_ = end - base;
    std::vector<bool> leaf(tokens_, false);
    for (const std::uint32_t offset : leaves)
      if (offset != noValue)
        leaf[offset] = true;
    lanes_.resize(tokens_);
    for (std::uint32_t offset = 0; offset < tokens_; ++offset) {
      const ValueToken &token = values[base + offset];
      // A key's value of one token needs no check of its own: the key's `next` bounds it. An
      // array's element does: its own `next` says where the next element is.
      const bool bounded = leaf[offset] && offset > 0 &&
                           values[base + offset - 1].type == ValueType::key &&
                           values[base + offset - 1].next == base + offset + 1;
      const Words mask = bounded        ? Words{0, 0}
                         : leaf[offset] ? Words{nextMask, 0}
                                        : Words{structureMask, atMask};
      Lane &lane = lanes_[offset];
      lane.mask = mask;
      lane.expect = (words(token) - shiftOf(base)) & mask;
    }
  }

  // Whether the record at `base` has this structure, its leaf values of any type.
  bool matches(const RecordValues &values, std::uint32_t base) const {
    if (values[base].next - base != tokens_)
      return false;
    // Every token under its lane's mask, without a branch or a gather: the
    // tokens are read as they lie, two 64-bit words at a time.
    const Words shift = shiftOf(base);
    const ValueToken *token = &values[base];
    Words differ = {0, 0};
    // Four tokens a turn: the loop's own steps were a third of its instructions.
#pragma GCC unroll 4
    for (const Lane &lane : lanes_)
      differ |= ((words(*token++) - shift) & lane.mask) ^ lane.expect;
    return (differ[0] | differ[1]) == 0;
  }

private:
  // A token's two words: the type in the first one's low byte and `next`
  // in its high half, `at` in the second one's low half; compared under a
  // mask, a lane of a vector.
  using Words = std::uint64_t __attribute__((vector_size(16)));
  static_assert(sizeof(ValueToken) == 16 && offsetof(ValueToken, next) == 4 &&
                offsetof(ValueToken, at) == 8);
  static Words words(const ValueToken &token) {
    Words both;
    std::memcpy(&both, &token, sizeof both);
    return both;
  }
  // `next` counted from the record's first token.
  static Words shiftOf(std::uint32_t base) { return Words{std::uint64_t{base} << 32, 0}; }
  static constexpr std::uint64_t nextMask = 0xFFFFFFFF00000000;
  static constexpr std::uint64_t structureMask = nextMask | 0xFF;
  static constexpr std::uint64_t atMask = 0xFFFFFFFF;

  // A token as it was, under its mask: objects, arrays and keys by their
  // type, `next` and `at`; leaf values in arrays by their `next`; leaf
  // values of keys not at all.
  struct Lane {
    Words mask;
    Words expect;
  };
  std::uint32_t tokens_ = 0;
  std::vector<Lane> lanes_;
};

// A writer's plans: the operations (`Op`, the writer's own, with the offset of its token
// from the record's first) of each shape learned.
template <class Op> class RecordPlans {
public:
  struct Plan {
    RecordShape shape;
    std::vector<Op> ops;
    std::size_t room = 0; // what the writer reserves for a record (its own measure)
  };

  // The plan of the record at `base`, or nullptr.
  const Plan *find(const RecordValues &values, std::uint32_t base) {
    if (last_ < plans_.size() && plans_[last_].shape.matches(values, base))
      return &plans_[last_];
    for (std::size_t p = 0; p < plans_.size(); ++p)
      if (p != last_ && plans_[p].shape.matches(values, base)) {
        last_ = p;
        return &plans_[p];
      }
    return nullptr;
  }

  // Whether another shape may still be learned: the operations of the
  // walk then go to learning() (empty: nothing left of a walk that a
  // refusal ended) and learned() makes them a plan.
  bool learns() const { return plans_.size() < maxPlans; }
  std::vector<Op> &learning() {
    learning_.clear();
    return learning_;
  }
  // The plan of the record at `base`, walked with learning(); `leaf(op)`
  // is the offset of the op's token (noValue for none).
  template <class Leaf> Plan &learned(const RecordValues &values, std::uint32_t base, Leaf &&leaf) {
    std::vector<std::uint32_t> leaves;
    leaves.reserve(learning_.size());
    for (const Op &op : learning_)
      leaves.push_back(leaf(op));
    plans_.push_back(Plan{RecordShape(values, base, leaves), std::move(learning_)});
    last_ = plans_.size() - 1;
    learning_.clear();
    return plans_.back();
  }

private:
  // Files of many shapes (trees, ODO counts) keep only the first ones:
  // each record is tried against all of them before it is walked.
  static constexpr std::size_t maxPlans = 8;
  std::vector<Plan> plans_;
  std::size_t last_ = 0;
  std::vector<Op> learning_;
};

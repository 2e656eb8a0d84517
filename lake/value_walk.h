#pragma once
// The decoder's records as values (decoder/record_values.h) walked by the lake writers in the
// order of the schema, and the rules they share with the schemas on where a value may be null.
#include "decoder/record_sink.h"
#include "decoder/record_values.h"
#include "lake/lake_schema.h"

// Whether the lake formats make the value of `node` nullable: an array's
// element (`element`) when bad data can null it; the value or array itself
// when bad data can, or when its key may be missing.
inline bool lakeNullable(const LakeNode &node, bool element) {
  if (element)
    return node.nullable;
  return (node.isArray ? node.arrayNullable : node.nullable) || node.optional;
}

// Walks the members of the object at token `object` in the order of
// `node`'s children: calls `member(child, valueToken)` with noValue for a
// key the record does not have. Keys name their plan field, as the
// schema's nodes do.
template <class Member>
void forEachMember(const LakeSchema &schema, const LakeNode &node, const RecordValues &values,
                   std::uint32_t object, Member &&member) {
  std::uint32_t key = object + 1;
  const std::uint32_t end = values[object].next;
  for (const int child : node.children) {
    std::uint32_t value = noValue;
    if (key < end &&
        values.field(values[key]) == schema.nodes[static_cast<std::size_t>(child)].field) {
      value = key + 1;
      key = values[key].next;
    }
    member(child, value);
  }
}

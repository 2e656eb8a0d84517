#pragma once
// The decoder's JSON Lines read back exactly (numbers stay text) for the lake writers, and the
// rules they share with the schemas on where a value may be null.
#include <string>
#include <string_view>

#include "decoder/record_sink.h"
#include "encoder/json_tape.h"
#include "lake/lake_schema.h"

// Whether the lake formats make the value of `node` nullable: an array's
// element (`element`) when bad data can null it; the value or array itself
// when bad data can, or when its key may be missing.
inline bool lakeNullable(const LakeNode &node, bool element) {
  if (element)
    return node.nullable;
  return (node.isArray ? node.arrayNullable : node.nullable) || node.optional;
}

// Calls `each(tape)` for every line of `lines` read into `tape`; `buffer`
// holds the copy the tape points into. SinkError when a line is no JSON,
// which the decoder never writes.
template <class Each>
void forEachLine(std::string_view lines, std::string &buffer, JsonTape &tape, Each &&each) {
  buffer.assign(lines);
  std::size_t at = 0;
  while (at < buffer.size()) {
    std::size_t end = buffer.find('\n', at);
    if (end == std::string::npos)
      end = buffer.size();
    if (!tape.parse(buffer.data() + at, end - at))
      throw SinkError{"vexfcbl-decode: internal error: a decoded line is no JSON: " + tape.error() +
                      "\n"};
    each(tape);
    at = end + 1;
  }
}

// Walks the members of the object at token `object` in the order of
// `node`'s children: calls `member(child, valueToken)` with noToken for a
// key the line does not have.
template <class Member>
void forEachMember(const LakeSchema &schema, const LakeNode &node, const JsonTape &tape,
                   std::uint32_t object, Member &&member) {
  std::uint32_t key = object + 1;
  const std::uint32_t end = tape[object].next;
  for (const int child : node.children) {
    std::uint32_t value = noToken;
    if (key < end && tape[key].text == schema.nodes[static_cast<std::size_t>(child)].name) {
      value = key + 1;
      key = tape[key].next;
    }
    member(child, value);
  }
}

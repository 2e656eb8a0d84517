#pragma once
// The shape of the records the decoder writes, typed once for every schema and file writer:
// which keys a line holds, which may be absent or null, each value's type, precision and bounds.
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "record/record_model.h"

enum class LakeType {
  record,     // a JSON object: a record or a group
  text,       // a JSON string
  integer,    // whole numbers that fit `bits` (16, 32 or 64) two's complement bits
  decimal,    // exact decimal(precision, scale)
  float32,    // COMP-1 and its kin
  float64,    // COMP-2, external floating point
  numberText, // decimal floating point: a JSON number kept as its text downstream
};

struct LakeNode {
  std::string name;   // the key as the decoder writes it
  std::string column; // its path below the record (groups joined by "."), for SQL
  LakeType type = LakeType::record;
  int field = -1; // the plan field, -1 for the top
  int precision = 0;
  int scale = 0;
  int bits = 0;                 // integer: the smallest of 16, 32, 64 that holds the range
  std::string minimum, maximum; // numbers: the exact bounds as decimal text
  std::int64_t maxLength = 0;   // text: characters
  bool fixedWidth = false;      // text written at its full width (no -trim)
  bool isArray = false;
  std::int64_t minItems = 0;
  std::int64_t maxItems = 0;  // -1: no bound (the records of a segment in a tree)
  bool dependingOn = false;   // the array's length comes from a count
  bool nullable = false;      // the value (an array's elements) may be null: bad data
  bool arrayNullable = false; // the whole array may be null: a count out of range
  bool optional = false;      // the key may be missing: a REDEFINES alternative or a record
                              // that a -when rule may leave out
  std::vector<int> children;
  // REDEFINES alternatives among the children that -when rules pick: each
  // choice lists the alternatives (positions in `children`) and every set
  // of them a line can hold (exactly one set: those the matching rules
  // picked, or all of them when no rule matched).
  struct Choice {
    std::vector<int> alternatives;
    std::vector<std::vector<int>> shapes;
  };
  std::vector<Choice> choices;
  // A body record's table (SQL) under -ids or -child: it takes the
  // columns _segment and _parent, the latter a key of `parentTable` when
  // every segment of the record has a parent segment of that one record.
  bool segmentColumns = false;
  std::string parentTable;
  std::int64_t segmentLength = 0; // the longest segment name
};

struct LakeSchema {
  std::vector<LakeNode> nodes; // nodes[0] is the line: its children are the records
  std::string name;            // the first record's name, for the schema's title
};

// The schema of the lines `plan` (made from `model` with `options`)
// decodes to. Numbers get the precision their bytes can hold (PIC S9(4)
// COMP-3 holds 5 digits and the decoder writes every digit present).
LakeSchema makeLakeSchema(const RecordModel &model, const DecodePlan &plan,
                          const DecodeOptions &options);

// The whole shape of the lines a run writes: the body's records (`plan`),
// -ids' keys _record, _segment and _parent first, -child's trees (each
// segment's record object followed by an array per child segment, as
// the tree's depth asks; at the top, where records without a place are
// written without them, the arrays may be missing), and the records of
// `ends` (-header, -trailer), whose nodes' fields are moved up by
// endFieldBases (decoder/record_sink.h), as the writers of values get them.
LakeSchema makeLineSchema(const RecordModel &model, const DecodePlan &plan,
                          const std::vector<const DecodePlan *> &ends,
                          const DecodeOptions &options);

// Adds the records of `other` to the lines of `schema` (a header or trailer
// record written beside the body's): a line then holds one record of either,
// so no record's key is required.
void addRecords(LakeSchema &schema, const LakeSchema &other);

// The leaf nodes (no record type) below `node`, depth first, skipping the
// contents of arrays when `intoArrays` is false (the arrays themselves are listed).
std::vector<int> lakeLeaves(const LakeSchema &schema, int node, bool intoArrays);

// The node each line's row is: the line's one record, or the line itself
// when it holds several records or one that is a single elementary item
// (01 LINE PIC X(80): the row then has that item as its one column).
inline int rowNodeOf(const LakeSchema &schema) {
  const LakeNode &line = schema.nodes.front();
  if (line.children.size() != 1)
    return 0;
  const int only = line.children.front();
  return schema.nodes[static_cast<std::size_t>(only)].type == LakeType::record ? only : 0;
}

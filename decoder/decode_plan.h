#pragma once
// The decoding plan: the record model turned once into a tree of fields with their decoders.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decoder/decode_options.h"
#include "decoder/field_values.h"
#include "record/record_model.h"

enum class FieldKind {
  group,
  text,
  national,
  dbcs,
  zoned,
  packed,
  unsignedPacked,
  binary,
  floating,
  decimalFloat,
  edited
};

struct PlanField {
  std::string name; // the JSON key, with quotes and colon: "NAME":
  std::string path; // the model's path, for messages
  int item = -1;    // the model item it decodes
  FieldKind kind = FieldKind::group;
  std::int64_t offset = 0; // from the start of the parent
  std::int64_t length = 0; // one occurrence
  std::int64_t minCount = 1;
  std::int64_t maxCount = 1;
  bool isArray = false;
  int counter = -1; // the field holding the DEPENDING ON count
  bool isCounter = false;
  bool isSigned = false;
  int scale = 0;
  ZonedSign sign = ZonedSign::none;
  // Numeric-edited and external floating point: the text is read by its picture.
  std::optional<ParsedPicture> picture;
  bool blankWhenZero = false;
  bool hidden = false;      // FILLER without -fillers
  bool redefining = false;  // occupies the bytes of an earlier sibling
  int alternatives = -1;    // the first field of its REDEFINES alternatives
  bool insideArray = false; // below an OCCURS: not addressable by -when
  // -select: a field outside the selection is not written; when its length
  // or a DEPENDING ON count inside it matters to later fields, it is still
  // read (`measured`), its text thrown away.
  bool skipped = false;
  bool measured = false;
  std::vector<int> children;
};

struct PlanRecord {
  std::string name;
  int root = -1;
  std::int64_t length = 0;
  int end = -1; // one past its last field
};

struct DecodePlan {
  std::vector<PlanField> fields;
  std::vector<PlanRecord> records;
  // Rules resolved: the field read, its value in decoded form, the record
  // (index into records) or the alternative (field index) it picks.
  struct Rule {
    int field = -1;
    int record = -1;
    int fieldRecord = -1; // the record whose layout places the field
    std::int64_t offset = 0;
    std::string value;
    int alternative = -1;
    std::string segment; // the record's or alternative's name, for -ids and -child
  };
  std::vector<Rule> rules;
  // -where resolved: the field, the record whose layout places it, the values.
  struct Filter {
    int field = -1;
    int record = -1;
    std::int64_t offset = 0;
    std::vector<std::string> values;
  };
  std::vector<Filter> filters;
};

// Thrown with the message to print when the options do not fit the copybook.
struct PlanError {
  std::string message;
};

// The plan of every record of `model` (one record with -record), with the
// -when rules (and -segment), -select and -where resolved; PlanError when an option names no field
// or record, or a field cannot be decoded.
// The refusal of a table whose DEPENDING ON names `why` (record/storage
// notACount), as the decoder and -diagnose give it.
std::string countRefusal(const ModelItem &table, const std::string &why);

DecodePlan makeDecodePlan(const RecordModel &model, const DecodeOptions &options);

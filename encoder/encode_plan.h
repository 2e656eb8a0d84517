#pragma once
// The encoding plan: the record model turned once into a tree of fields, each with what
// writing its bytes needs, keyed as the decoder shows them.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "decoder/field_values.h"
#include "encoder/encode_options.h"
#include "record/record_model.h"
#include "record/storage.h"

// The encoder writes every data form as it is.
using EncodeKind = DataForm;

struct EncodeField {
  std::string key;      // the JSON key, as the decoder writes it (FILLER1, FILLER2 when two)
  std::string path;     // the model's path, for messages
  std::string describe; // "PIC S9(5)V99 COMP-3", for messages
  EncodeKind kind = EncodeKind::group;
  std::int64_t offset = 0; // from the start of the parent
  std::int64_t length = 0; // one occurrence
  std::int64_t slack = 0;  // slack bytes before it (SYNCHRONIZED), written as X'00'
  std::int64_t minCount = 1;
  std::int64_t maxCount = 1;
  bool isArray = false;
  int counter = -1; // the field holding the DEPENDING ON count
  bool isCounter = false;
  bool isSigned = false;
  std::int64_t digits = 0; // digit positions of a number
  std::int64_t scale = 0;
  bool checkDigits = false; // binary under TRUNC(STD): the picture's digits bound the value
  ZonedSign sign = ZonedSign::none;
  bool justified = false;
  bool blankWhenZero = false;
  bool filler = false;      // a FILLER, or below one
  bool hidden = false;      // FILLER without -fillers: not in the input, its bytes blank
  bool redefining = false;  // occupies the bytes of an earlier sibling
  int alternatives = -1;    // the first field of its REDEFINES area
  bool insideArray = false; // below an OCCURS
  std::optional<ParsedPicture> picture; // numeric-edited and external floating point
  int parent = -1;
  std::vector<int> children;
};

struct EncodeRecord {
  std::string name; // as written
  std::string key;
  int root = -1;
  std::int64_t length = 0; // every DEPENDING ON at its maximum
};

// -when FIELD=VALUE:NAME resolved: the field read (in the input's values),
// the keys that lead to it from its record's object, and the record or
// REDEFINES alternative chosen.
struct EncodeRule {
  int field = -1;
  int fieldRecord = -1;
  std::vector<int> chain; // the fields from the record's first level down to `field`
  std::string value;
  int record = -1;
  int alternative = -1;
};

struct EncodePlan {
  std::vector<EncodeField> fields;
  std::vector<EncodeRecord> records; // the one of -record alone when given
  std::vector<EncodeRule> rules;
  std::int64_t longest = 0; // the longest record
};

// Thrown with the message to print when the options do not fit the copybook.
struct EncodePlanError {
  std::string message;
};

// The plan of every record of `model` (one record with -record), with the
// -when rules resolved; EncodePlanError when an option names no field or
// record, or an item cannot be encoded.
EncodePlan makeEncodePlan(const RecordModel &model, const EncodeOptions &options);

#pragma once
// The record model: every item of every record of a copybook, typed, with its storage. It is
// the contract between the copybook and the data tools: the -layout writers, the decoder and
// whatever reads records next take their facts from here and from nowhere else.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "record/picture.h"

// Every USAGE the front end reads, the -lenient ones included, as the item
// stores it: PICTURE N under DISPLAY is national, PICTURE G display1, and a
// signed COMP-6 under -lenient comp3 (GnuCOBOL stores it so).
enum class Usage : std::uint8_t {
  none, // a group without USAGE clause, level 66
  display,
  national,
  display1,
  binary,
  comp,
  comp4,
  comp5,
  comp1,
  comp2,
  comp3,
  packedDecimal,
  index,
  pointer,
  procedurePointer,
  objectReference,
  // -lenient: COBOL 2002 and IBM
  binaryChar,
  binaryCharUnsigned,
  binaryShort,
  binaryShortUnsigned,
  binaryLong,
  binaryLongUnsigned,
  binaryDouble,
  binaryDoubleUnsigned,
  floatShort,
  floatLong,
  functionPointer,
  // -lenient: GnuCOBOL and Micro Focus
  binaryCLong,
  binaryCLongUnsigned,
  signedShort,
  signedInt,
  signedLong,
  unsignedShort,
  unsignedInt,
  unsignedLong,
  floatDecimal16,
  floatDecimal34,
  programPointer,
  compX,
  compN,
  comp6,
  // Read by the front end, but no storage is known for them.
  comp0,
  comp7,
  comp8,
  comp11,
  comp12,
  dbKey,
  cursor,
  other, // a word code no USAGE clause gives
};

// The USAGE as the layout shows it ("COMP-3", "BINARY-CHAR" for either
// signedness); empty for none and for the usages without storage.
const char *usageName(Usage usage);

// Where a DISPLAY number keeps its sign. None for an unsigned item and for
// the usages whose format places the sign (binary, packed, floating point):
// `isSigned` of the item says whether they have one.
enum class SignForm : std::uint8_t { none, trailing, leading, trailingSeparate, leadingSeparate };

// A literal of a level-88 entry, by its kind; `text` as the converter stores
// VALUE literals: the content of an alphanumeric literal, a number as
// written, X"C1" as "\hC1", a figurative constant as its character.
struct ConditionLiteral {
  enum class Kind : std::uint8_t {
    number,
    alphanumeric,
    hexadecimal,
    nullTerminated,
    dbcs,
    figurative,
    none, // nothing the converter reads as a value
  };
  Kind kind = Kind::none;
  std::string text;
  bool all = false; // ALL literal
};

struct ConditionValue {
  ConditionLiteral value;
  std::optional<ConditionLiteral> through; // VALUE a THRU b
};

struct Condition {
  std::string name; // as written
  std::vector<ConditionValue> values;
};

struct Occurs {
  std::int64_t min = 1;
  std::int64_t max = 1;
  int dependingOn = -1;        // the counter's item index; -1 for a fixed count
  std::string dependingOnName; // the name the clause writes (first name of a qualified one)
};

// One item. Offsets count from the start of its record, at the first
// occurrence of every enclosing OCCURS; lengths are of one occurrence.
// Indices (parent, members, dependingOn, redefines, ...) are positions in
// RecordModel::items.
struct ModelItem {
  std::string name;     // as written; empty for an unnamed item
  int fillerNumber = 0; // FILLER1, FILLER2 ...: its number among its group's unnamed items
  // Its name as COBOL compares names: upper case, "_" as "-"; FILLER for an
  // unnamed item. JSON keys and name lookups use it.
  std::string key;
  std::string path; // names from the record down, joined by "."
  int level = 0;
  int depth = 0; // 0 for the record itself
  int parent = -1;
  std::vector<int> members; // the members in source order, level 66 included

  Usage usage = Usage::none; // a group's own USAGE clause; none without one
  Category category = Category::group;
  std::optional<ParsedPicture> picture;
  std::optional<bool> isSigned; // numbers only
  SignForm sign = SignForm::none;
  bool synchronized = false;
  bool justified = false;
  bool blankWhenZero = false;
  std::optional<Occurs> occurs;

  // REDEFINES: the item this one names, and the first item of the storage
  // area (the redefined original, also through a chain of redefinitions);
  // -1 without. The area's first item lists the others in `alternatives`.
  // A record that redefines another stands alone at offset 0: its
  // REDEFINES is not recorded.
  int redefines = -1;
  int area = -1;
  std::vector<int> alternatives;

  // Level 66 (an item that takes no storage of its own, category group):
  // the first and the last item renamed (the same for one item).
  int renames = -1;
  int renamesThru = -1;

  std::int64_t offset = 0;
  std::int64_t length = 0;
  std::int64_t slackBefore = 0; // bytes inserted to align a SYNCHRONIZED item
  bool variable = false;        // follows an item whose length depends on a count
  std::vector<Condition> conditions;

  bool isFiller() const { return key == "FILLER"; }
  bool isGroup() const { return category == Category::group; }
};

struct ModelRecord {
  std::string name;
  int root = -1;              // its level-01 (or 77) item
  int end = -1;               // one past its last item
  std::int64_t length = 0;    // every DEPENDING ON at its maximum
  std::int64_t minLength = 0; // every DEPENDING ON at its minimum
};

struct RecordModel {
  std::vector<ModelItem> items; // record by record, each in source order
  std::vector<ModelRecord> records;

  // The items named `name`: the last name of their path, or a dotted tail
  // of it ("HDR.CNT"), compared as COBOL compares names; in model order.
  std::vector<int> findAll(std::string_view name) const;
  // The first of findAll; -1 when none.
  int find(std::string_view name) const;
  // The record named `name`, compared as COBOL compares names; -1 when none.
  int findRecord(std::string_view name) const;
  // Builds the table find() reads; the builder calls it once the items are final.
  void index();

private:
  std::unordered_map<std::string, std::vector<int>> byKey_;
};

// A name as COBOL compares it: upper case, "_" as "-".
std::string modelKey(std::string_view name);

#pragma once
// Item contexts: what a group passes to its members and what is read from one entry.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "converter/pictures.h"
#include "converter/value_clauses.h"
#include "model/definition_model.h"

class VexCblObjContext;

// What both contexts carry: the word codes of a SIGN position and a USAGE
// value (the cobol_word codes of the syntax tree), 0 when not given.
class VexCblContext {
public:
  // Sign and usage 0.
  VexCblContext() = default;
  virtual ~VexCblContext() = default;
  VexCblContext(const VexCblContext &) = default;
  VexCblContext &operator=(const VexCblContext &) = default;
  VexCblContext(VexCblContext &&) = default;
  VexCblContext &operator=(VexCblContext &&) = default;

  // 86 LEADING, 87 LEADING SEPARATE, 88 TRAILING, 89 TRAILING SEPARATE,
  // 90 SEPARATE; 0 for none.
  std::int32_t sign = 0;
  // 14 DISPLAY, 66 BINARY, 67 COMPUTATIONAL, 68 INDEX, 69 PACKED-DECIMAL,
  // 70..78 COMPUTATIONAL-0..8, 79 -11, 80 -12, 81 -X, 82 POINTER,
  // 83 DISPLAY-1, 84 PROCEDURE-POINTER, 85 OBJECT REFERENCE, 91 DB-KEY,
  // 424 CURSOR; 0 for none.
  std::int32_t usage = 0;
};

// What a group passes on to its members: the inherited sign and usage, the
// group's name path and the counter that numbers its unnamed members. One
// per group being walked, on the walk's stack.
class VexCblGrpContext : public VexCblContext {
public:
  // Sign and usage 0, empty path, no member numbered yet.
  VexCblGrpContext() = default;

  // Makes this the context of the group `item` inside `parent`: sign and
  // usage become the effective ones of `item` (its own, else the parent's),
  // and the path becomes the parent's path, "_" when that is not empty, and
  // item.name (the name as written, even when it is FILLER or empty);
  // numberRepeatedNames is the parent's. The filler counter is left as it is.
  void populate(const VexCblGrpContext &parent, const VexCblObjContext &item);

  // Counts one more generated member name in this group and returns the new
  // count in decimal: "1" on the first call, then "2", ...
  std::string getFillerNext();

  // Names of the enclosing groups and this group joined by "_"; empty for the
  // context of the top-level entries.
  std::string path;
  // Member names generated so far in this group.
  std::int32_t fillerCount = 0;
  // -lenient: a member name that repeats a sibling's is numbered; passed on
  // to the member groups by populate.
  bool numberRepeatedNames = false;
  // How often each member name was given out in this group.
  std::unordered_map<std::string, std::int32_t> namesGiven;
};

// Everything read from one data description entry; created fresh for each
// entry, filled by vexCblExtractObj and read by the type mapping. Owns its
// picture and value. Movable, not copyable.
class VexCblObjContext : public VexCblContext {
public:
  // No picture or value, empty texts, not a group, cardinality exactly 1 and
  // not set, no BLANK WHEN ZERO or JUSTIFIED; 80 characters reserved for the
  // description.
  VexCblObjContext();
  // The same, the description written into `room` (emptied; its room kept).
  explicit VexCblObjContext(std::string &&room);
  ~VexCblObjContext() override;
  VexCblObjContext(const VexCblObjContext &) = delete;
  VexCblObjContext &operator=(const VexCblObjContext &) = delete;
  VexCblObjContext(VexCblObjContext &&) = default;
  VexCblObjContext &operator=(VexCblObjContext &&) = default;

  // Appends a blank (unless the description is empty) and `text`; a null or
  // empty text changes nothing.
  void addToDescription(const char *text);
  // The same for a text that may hold NUL bytes, all of them kept.
  void addToDescription(std::string_view text);
  // The name after REDEFINES, empty when the entry redefines nothing.
  const std::string &getRedefinesName() const { return redefinesName; }

  // The PICTURE string; none when the entry has none. In place: most
  // entries have one, and a heap block each was an allocation an entry.
  std::optional<VexCblPicture> picture;
  // The VALUE literal; null when the entry has none.
  std::unique_ptr<VexCblValue> value;
  // The data name as written (or with the include prefix applied); empty for
  // an unnamed entry. The walk extends it for a redefining group.
  std::string name;
  // 1 when the entry's subordinate entries form a group, else 0.
  std::int32_t isGroup = 0;
  // The OCCURS bounds: exactly 1 and not set until an OCCURS clause is read.
  VexHolder<VexRange> cardinality{VexRange(1)};
  // The name of the DEPENDING ON item; empty without one.
  std::string dependingOn;
  // The normalised name after REDEFINES; empty without one.
  std::string redefinesName;
  bool blankWhenZero = false;
  bool justified = false;
  // SYNCHRONIZED (LEFT or RIGHT) was written; only the record layout aligns by it.
  bool synchronized = false;
  // The entry's clauses in words, for the definition's description.
  std::string description;
};

// The effective sign of `item` inside `grp`: item.sign unless it is 0, else
// grp.sign.
int vexCblGetSign(const VexCblGrpContext &grp, const VexCblObjContext &item);

// The effective usage of `item` inside `grp`: item.usage unless it is 0,
// else grp.usage.
int vexCblGetUsage(const VexCblGrpContext &grp, const VexCblObjContext &item);

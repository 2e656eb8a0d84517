#pragma once
// Record layout: the byte offset and storage length of every item of every record.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "converter/conversion_options.h"
#include "converter/convert.h"

struct Tree_Node;

// A level-88 entry under an item: its name and its values as written
// ("1 THRU 5" for a range).
struct LayoutCondition {
  std::string name;
  std::vector<std::string> values;
};

struct LayoutOccurs {
  std::int64_t min = 1;
  std::int64_t max = 1;
  std::string dependingOn; // empty: a fixed count
};

// One entry of a record. Offsets count from the start of the record, at the
// first occurrence of every enclosing OCCURS; lengths are of one occurrence.
struct LayoutItem {
  std::string path; // names from the record down, joined by "."
  std::string name; // as declared; "FILLER" or empty for an unnamed item
  int level = 0;
  int depth = 0; // 0 for the record itself
  std::int64_t offset = 0;
  std::int64_t length = 0;
  std::int64_t slackBefore = 0; // bytes inserted to align a SYNCHRONIZED item
  std::string usage;            // empty for a group without USAGE and for level 66
  std::string picture;
  std::optional<int> digits;
  std::optional<int> scale;
  std::optional<bool> isSigned;
  std::string signPosition; // "leading" or "trailing"; empty when unsigned
  bool signSeparate = false;
  std::optional<LayoutOccurs> occurs;
  std::string redefines; // path of the redefined item
  std::string renames;   // level 66: the first renamed path
  std::string renamesThru;
  bool sync = false;
  bool justified = false;
  bool blankWhenZero = false;
  bool variable = false; // follows an item whose length depends on a count
  std::vector<LayoutCondition> conditions;
};

struct RecordLayout {
  std::string name;
  std::int64_t length = 0;    // every DEPENDING ON at its maximum
  std::int64_t minLength = 0; // every DEPENDING ON at its minimum
  std::int64_t maxLength = 0;
  std::vector<LayoutItem> items;
};

// Thrown when an item has no storage under the layout's rules; what names
// the item has been written to the standard error stream.
struct LayoutError {};

// The records of the declaration list `entries` (the front end's top-level
// entries, as the converter takes them), read under `options` (-c, -compat),
// with the front end's run active.
std::vector<RecordLayout> computeRecordLayouts(Tree_Node *entries, const VexCblConfig &options);

// The records of the programs of a program file (-program), in order, each
// program's with its run active, named as the document names them
// (vexCblConvertProgram, converter/convert.h).
std::vector<RecordLayout> computeProgramLayouts(const std::vector<VexProgramPart> &parts,
                                                const VexCblConfig &options);

// Walks the converter's records and gives every item its offset and storage length.
#include "layout/record_layout.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "converter/declaration_traversal.h"
#include "converter/entry_extraction.h"
#include "converter/filler_names.h"
#include "converter/numeric_definitions.h"
#include "frontend/syntax_tree.h"
#include "support/run_state.h"

namespace {

constexpr int levelRenames = 66;
constexpr int levelConstant = 78;
constexpr int levelCondition = 88;

std::int64_t roundUp(std::int64_t value, std::int64_t boundary) {
  return boundary <= 1 ? value : (value + boundary - 1) / boundary * boundary;
}

// What one entry (all its occurrences) takes in the record.
struct Extent {
  std::int64_t length = 0;   // one occurrence
  std::int64_t totalMax = 0; // all occurrences, every count at its maximum
  std::int64_t totalMin = 0; // all occurrences, every count at its minimum
  std::int64_t align = 1;    // strictest boundary of a SYNCHRONIZED item inside
  bool variable = false;
};

// Storage of an elementary item under its effective usage.
struct Storage {
  std::int64_t length = 0;
  std::int64_t boundary = 1; // natural boundary when SYNCHRONIZED
  const char *usage = "";
  bool known = true;
};

std::int64_t binaryLength(int digits) { return digits <= 4 ? 2 : digits <= 9 ? 4 : 8; }

Storage elementaryStorage(int usage, VexCblPicture *picture, bool separateSign) {
  const int size = picture != nullptr ? picture->size() : 0;
  const bool dbcs = picture != nullptr && picture->analyze() &&
                    picture->picProps()->props().at(VexCblPicProps::DBCS) != 0;
  switch (usage) {
  case 0:
  case cwDisplay:
    if (dbcs)
      return {2L * size, 1,
              picture->getPictureVal().find('N') != std::string::npos ? "NATIONAL" : "DISPLAY-1"};
    return {size + (separateSign ? 1 : 0), 1, "DISPLAY"};
  case cwDisplay1:
    return {2L * size, 1, "DISPLAY-1"};
  case cwBinary:
  case cwComputational:
  case cwComp4:
  case cwComp5: {
    const std::int64_t length = binaryLength(size);
    const char *name = usage == cwBinary          ? "BINARY"
                       : usage == cwComputational ? "COMP"
                       : usage == cwComp4         ? "COMP-4"
                                                  : "COMP-5";
    return {length, length, name, picture != nullptr};
  }
  case cwComp1:
    return {4, 4, "COMP-1"};
  case cwComp2:
    return {8, 8, "COMP-2"};
  case cwPackedDecimal:
  case cwComp3:
    return {size / 2 + 1, 1, usage == cwComp3 ? "COMP-3" : "PACKED-DECIMAL", picture != nullptr};
  case cwIndex:
    return {4, 4, "INDEX"};
  case cwPointer:
    return {4, 4, "POINTER"};
  case cwObjectReference:
    return {4, 4, "OBJECT REFERENCE"};
  case cwProcedurePointer:
    return {8, 8, "PROCEDURE-POINTER"};
  // The usages that only -lenient reads: the binary ones by their fixed
  // size, FLOAT-SHORT and FLOAT-LONG as COMP-1 and COMP-2, FUNCTION-POINTER
  // as IBM stores it (the size of POINTER), NATIONAL two bytes a character.
  case cwBinaryChar:
  case cwBinaryCharUnsigned:
    return {1, 1, "BINARY-CHAR"};
  case cwBinaryShort:
  case cwBinaryShortUnsigned:
    return {2, 2, "BINARY-SHORT"};
  case cwBinaryLong:
  case cwBinaryLongUnsigned:
    return {4, 4, "BINARY-LONG"};
  case cwBinaryDouble:
  case cwBinaryDoubleUnsigned:
    return {8, 8, "BINARY-DOUBLE"};
  case cwFloatShort:
    return {4, 4, "FLOAT-SHORT"};
  case cwFloatLong:
    return {8, 8, "FLOAT-LONG"};
  case cwFunctionPointer:
    return {4, 4, "FUNCTION-POINTER"};
  // GnuCOBOL's C-sized binaries as it stores them on a 64-bit host (C long:
  // 8 bytes), decimal floating point by its width, PROGRAM-POINTER as
  // FUNCTION-POINTER.
  case cwSignedShort:
  case cwUnsignedShort:
    return {2, 2, usage == cwSignedShort ? "SIGNED-SHORT" : "UNSIGNED-SHORT"};
  case cwSignedInt:
  case cwUnsignedInt:
    return {4, 4, usage == cwSignedInt ? "SIGNED-INT" : "UNSIGNED-INT"};
  case cwSignedLong:
  case cwUnsignedLong:
    return {8, 8, usage == cwSignedLong ? "SIGNED-LONG" : "UNSIGNED-LONG"};
  case cwBinaryCLong:
  case cwBinaryCLongUnsigned:
    return {8, 8, "BINARY-C-LONG"};
  case cwFloatDecimal16:
    return {8, 8, "FLOAT-DECIMAL-16"};
  case cwFloatDecimal34:
    return {16, 16, "FLOAT-DECIMAL-34"};
  case cwProgramPointer:
    return {4, 4, "PROGRAM-POINTER"};
  // Sized by the picture (the converter's rule); a signed COMP-6 comes here
  // as COMP-3.
  case cwCompX:
  case cwCompN:
  case cwComp6: {
    const long length = picture != nullptr ? vexCblStorageByPicture(usage, *picture) : 0;
    const char *name = usage == cwCompX ? "COMP-X" : usage == cwCompN ? "COMP-N" : "COMP-6";
    // SYNCHRONIZED aligns only the sizes of C integers, as GnuCOBOL does.
    const bool cSized = usage != cwComp6 && (length == 2 || length == 4 || length == 8);
    return {length, cSized ? length : 1, name, length != 0};
  }
  case cwNational:
    return {2L * size, 1, "NATIONAL", picture != nullptr};
  default:
    return {0, 1, "", false};
  }
}

bool isUnsignedDialectBinary(int usage) {
  return usage == cwBinaryCharUnsigned || usage == cwBinaryShortUnsigned ||
         usage == cwBinaryLongUnsigned || usage == cwBinaryDoubleUnsigned ||
         usage == cwBinaryCLongUnsigned || usage == cwUnsignedShort || usage == cwUnsignedInt ||
         usage == cwUnsignedLong;
}

bool isDialectBinary(int usage) {
  return isUnsignedDialectBinary(usage) || usage == cwBinaryChar || usage == cwBinaryShort ||
         usage == cwBinaryLong || usage == cwBinaryDouble || usage == cwBinaryCLong ||
         usage == cwSignedShort || usage == cwSignedInt || usage == cwSignedLong;
}

const char *usageName(int usage) { return elementaryStorage(usage, nullptr, false).usage; }

int pictureProperty(VexCblPicture &picture, VexCblPicProps::Property key) {
  return picture.analyze() ? picture.picProps()->props().at(key) : 0;
}

// Decimal places: digits after V, or minus the P positions at the right end
// of an integer, or the P positions and digits after an assumed point.
int pictureScale(VexCblPicture &picture) {
  const std::string &text = picture.getPictureVal();
  const int afterV = pictureProperty(picture, VexCblPicProps::DigitsAfterV);
  const int scaling = pictureProperty(picture, VexCblPicProps::P);
  if (scaling == 0)
    return afterV;
  const std::size_t firstP = text.find('P');
  const std::size_t firstDigit = text.find('9');
  const bool trailingP = firstDigit != std::string::npos && firstDigit < firstP;
  return trailingP ? -scaling : afterV + scaling;
}

bool isSeparate(int sign) {
  return sign == cwLeadingSeparate || sign == cwTrailingSeparate || sign == cwSeparate;
}

class LayoutWalk {
public:
  explicit LayoutWalk(const VexCblConfig &options) : conv_(options), lenient_(options.lenient) {
    conv_.report.silent = true;
  }

  // The records of one declaration list, appended to `result`; the records
  // of a file or sort-file description are records like the others.
  void records(Tree_Node *entries, std::vector<RecordLayout> &result) {
    VexCblGrpContext topLevel;
    topLevel.numberRepeatedNames = lenient_;
    records(entries, topLevel, result);
  }

  // A program file's record names (-program), for the program now walked.
  void programNames(std::size_t programs, const std::string &program) {
    conv_.programRecords.begin(programs, program);
  }

private:
  void records(Tree_Node *entries, VexCblGrpContext &topLevel, std::vector<RecordLayout> &result) {
    for (auto *entry = as_if<tree::decl>(entries); entry != nullptr;
         entry = as_if<tree::decl>(entry->next)) {
      if (is<tree::file_description>(entry->object)) {
        records(entry->fields, topLevel, result);
        continue;
      }
      if (entry->level == levelRenames) {
        if (!result.empty()) {
          record_ = &result.back();
          renames(*entry, "", 1);
        }
        continue;
      }
      if (entry->level == levelCondition || (lenient_ && entry->level == levelConstant))
        continue;
      result.emplace_back();
      record_ = &result.back();
      variableSeen_ = false;
      const Extent extent = place(*entry, topLevel, "", 0, 0, "");
      record_->name = record_->items.front().path;
      record_->length = record_->maxLength = extent.length;
      record_->minLength = extent.totalMin;
    }
  }

  // Places `decl` at `at` (before any slack) inside the group `grp`, with its
  // members; pushes its item first so that items stay in source order.
  Extent place(const tree::decl &decl, VexCblGrpContext &grp, const std::string &parentPath,
               int depth, std::int64_t at, const std::string &redefinesPath) {
    VexCblObjContext item;
    item.isGroup = startsGroup(decl, lenient_) ? 1 : 0;
    vexCblAheadObjExtr(decl.object, item);
    const VexCblReportContext report(conv_.report, item.name.c_str(), &decl.position);
    vexCblExtractObj(conv_, decl.object, item);
    if (depth == 0 && conv_.programRecords.on)
      item.name = vexCblProgramRecordName(conv_, decl, item.name);
    // The document names a redefining group after what it redefines too,
    // and that name is not numbered as a FILLER.
    if (item.isGroup && !item.getRedefinesName().empty())
      item.name += "_REDEFINES_" + item.getRedefinesName();
    const std::string name = vexCblGetUniqName(grp, item);

    const std::size_t index = record_->items.size();
    itemIndex_[&decl] = index;
    {
      LayoutItem &out = record_->items.emplace_back();
      out.path = parentPath.empty() ? name : parentPath + "." + name;
      out.name = GetCStr(decl.name) != nullptr ? GetCStr(decl.name) : "";
      out.level = decl.level;
      out.depth = depth;
      out.redefines = redefinesPath;
      out.sync = item.synchronized;
      out.justified = item.justified;
      out.blankWhenZero = item.blankWhenZero;
      out.variable = variableSeen_;
      if (!item.cardinality.hasDefault()) {
        const VexRange &range = item.cardinality.get();
        out.occurs = LayoutOccurs{range.lbound(), range.ubound(), item.dependingOn};
      }
    }
    const std::int64_t minCount =
        item.cardinality.hasDefault() ? 1 : item.cardinality.get().lbound();
    const std::int64_t maxCount =
        item.cardinality.hasDefault() ? 1 : item.cardinality.get().ubound();

    Extent extent;
    std::int64_t offset = at;
    std::int64_t occurrenceMin = 0;
    if (item.isGroup) {
      if (item.usage != 0)
        record_->items[index].usage = usageName(item.usage);
      VexCblGrpContext child;
      child.populate(grp, item);
      // A copy: the members' items move the vector the path lives in.
      const std::string path = record_->items[index].path;
      const Extent members = this->members(decl.fields, child, path, depth + 1, at, index);
      extent.align = members.align;
      // Every occurrence must align its SYNCHRONIZED items as the first
      // does, so an occurrence is padded to the strictest boundary inside.
      extent.length = maxCount > 1 ? roundUp(members.length, members.align) : members.length;
      occurrenceMin = members.totalMin + (extent.length - members.length);
      extent.variable = members.variable;
    } else {
      const int usage =
          vexCblPackedOrUsage(vexCblGetUsage(grp, item), item.picture.get(), lenient_);
      const int sign = vexCblGetSign(grp, item);
      const Storage storage = elementaryStorage(usage, item.picture.get(), isSeparate(sign));
      if (!storage.known) {
        // The one message of the layout's own: the item has no storage to place.
        conv_.report.silent = false;
        conv_.report.error(item.picture ? vexCblMsg::unknownUsage : vexCblMsg::pictureMissing);
      }
      if (item.synchronized && storage.boundary > 1) {
        offset = roundUp(at, storage.boundary);
        extent.align = storage.boundary;
      }
      extent.length = storage.length;
      occurrenceMin = storage.length;
      describeElementary(record_->items[index], item, storage, usage, sign);
      conditions(decl.fields, index);
    }
    LayoutItem &out = record_->items[index];
    out.offset = offset;
    out.slackBefore = offset - at;
    out.length = extent.length;
    extent.totalMax = out.slackBefore + extent.length * maxCount;
    if (!item.dependingOn.empty())
      extent.variable = true;
    extent.totalMin =
        out.slackBefore + occurrenceMin * (item.dependingOn.empty() ? maxCount : minCount);
    if (extent.variable)
      variableSeen_ = true;
    return extent;
  }

  // Places the entries from `first` on as members of a group that starts at
  // `start`; level-88 entries become conditions of item `owner`.
  Extent members(Tree_Node *first, VexCblGrpContext &grp, const std::string &path, int depth,
                 std::int64_t start, std::size_t owner) {
    Extent result;
    std::int64_t cursor = start;
    std::int64_t end = start;
    std::int64_t shrink = 0;
    std::map<std::string, std::pair<std::int64_t, std::string>> placed;
    for (auto *sub = as_if<tree::decl>(first); sub != nullptr; sub = as_if<tree::decl>(sub->next)) {
      if (sub->level == levelCondition) {
        conditions(sub, owner, true);
        continue;
      }
      if (sub->level == levelRenames) {
        renames(*sub, path, depth);
        continue;
      }
      const std::string redefined = redefinedName(*sub);
      const auto target = redefined.empty() ? placed.end() : placed.find(redefined);
      const bool redefines = target != placed.end();
      const std::int64_t at = redefines ? target->second.first : cursor;
      const std::size_t index = record_->items.size();
      const Extent extent =
          place(*sub, grp, path, depth, at, redefines ? target->second.second : std::string());
      const LayoutItem &item = record_->items[index];
      const std::string name = GetCStr(sub->name) != nullptr ? GetCStr(sub->name) : "";
      if (!redefines) {
        placed[name] = {item.offset, item.path};
        cursor = at + extent.totalMax;
        shrink += extent.totalMax - extent.totalMin;
      }
      end = std::max(end, at + extent.totalMax);
      result.align = std::max(result.align, extent.align);
      result.variable = result.variable || extent.variable;
    }
    result.length = end - start;
    result.totalMin = result.length - shrink;
    return result;
  }

  // The name a REDEFINES clause of `decl` names, as the declaration table
  // spells names; empty without one.
  std::string redefinedName(const tree::decl &decl) {
    const auto *entry = as_if<tree::format_1>(decl.object);
    const auto *clause = entry != nullptr ? as_if<tree::redefines>(entry->data_clause_l) : nullptr;
    if (clause == nullptr)
      return "";
    const auto *reference = as_if<tree::identifier_c>(clause->name);
    const auto *target = reference != nullptr ? as_if<tree::decl>(reference->decl) : nullptr;
    if (target == nullptr || GetCStr(target->name) == nullptr)
      return "";
    return GetCStr(target->name);
  }

  // As the converter decides it: under -lenient, condition names before the
  // first member do not count.
  static bool startsGroup(const tree::decl &decl, bool lenient) {
    const auto *first = as_if<tree::decl>(decl.fields);
    while (lenient && first != nullptr && first->level == levelCondition)
      first = as_if<tree::decl>(first->next);
    return first != nullptr && first->level != levelCondition && first->level != levelRenames;
  }

  void describeElementary(LayoutItem &out, VexCblObjContext &item, const Storage &storage,
                          int usage, int sign) {
    out.usage = storage.usage;
    if (isDialectBinary(usage)) {
      out.isSigned = !isUnsignedDialectBinary(usage);
      return;
    }
    if (!item.picture)
      return;
    VexCblPicture &picture = *item.picture;
    out.picture = picture.getPictureVal();
    // An edited picture's 9s and "." are print positions, not digits and a scale.
    if (!vexCblTypeHas(picture.type(), VexCblType::Numeric) ||
        vexCblTypeHas(picture.type(), VexCblType::Edited))
      return;
    out.digits = pictureProperty(picture, VexCblPicProps::Digits);
    out.scale = pictureScale(picture);
    const bool isSigned = pictureProperty(picture, VexCblPicProps::S) > 0;
    out.isSigned = isSigned;
    if (!isSigned || std::string(storage.usage) != "DISPLAY")
      return;
    out.signPosition = sign == cwLeading || sign == cwLeadingSeparate ? "leading" : "trailing";
    out.signSeparate = isSeparate(sign);
  }

  // The level-88 entries from `fields` on (or `fields` alone) under item `owner`.
  void conditions(Tree_Node *fields, std::size_t owner, bool single = false) {
    for (auto *sub = as_if<tree::decl>(fields); sub != nullptr;
         sub = single ? nullptr : as_if<tree::decl>(sub->next)) {
      auto *condition = as_if<tree::format_3>(sub->object);
      if (condition == nullptr)
        continue;
      LayoutCondition out;
      out.name = GetCStr(condition->spelling) != nullptr ? GetCStr(condition->spelling) : "";
      for (Tree_Node *element = condition->condition_l;
           element != nullptr && !is<tree::noexpression_l>(element);) {
        const auto *expression = as_if<tree::expression>(element);
        if (expression == nullptr)
          break;
        if (const auto *range = as_if<tree::binary>(expression->expression))
          out.values.push_back(literalText(range->lop) + " THRU " + literalText(range->rop));
        else
          out.values.push_back(literalText(expression->expression));
        element = expression->next;
      }
      record_->items[owner].conditions.push_back(std::move(out));
    }
  }

  std::string literalText(Tree_Node *literal) {
    VexCblObjContext value;
    vexCblExtractObj(conv_, literal, value);
    if (value.value && value.value->getType() != VexCblValue::NoValue)
      return value.value->getValue();
    return value.description;
  }

  // A level-66 entry: the offset and length of the range it renames.
  void renames(const tree::decl &decl, const std::string &path, int depth) {
    const auto *entry = as_if<tree::format_2>(decl.object);
    if (entry == nullptr)
      return;
    const LayoutItem *from = renamed(entry->qualification1);
    const LayoutItem *thru = renamed(entry->qualification2);
    if (from == nullptr)
      return;
    if (thru == nullptr)
      thru = from;
    const std::string name = GetCStr(entry->spelling) != nullptr ? GetCStr(entry->spelling) : "";
    LayoutItem out;
    out.path = path.empty() ? record_->items.front().path + "." + name : path + "." + name;
    out.level = levelRenames;
    out.depth = depth;
    out.offset = from->offset;
    out.length = std::max(from->offset + from->length, thru->offset + thru->length) - from->offset;
    out.renames = from->path;
    if (thru != from)
      out.renamesThru = thru->path;
    out.variable = variableSeen_;
    record_->items.push_back(std::move(out));
  }

  const LayoutItem *renamed(Tree_Node *reference) {
    const auto *identifier = as_if<tree::identifier_c>(reference);
    if (identifier == nullptr)
      return nullptr;
    const auto found = itemIndex_.find(as_if<tree::decl>(identifier->decl));
    return found == itemIndex_.end() ? nullptr : &record_->items[found->second];
  }

  VexCblConversion conv_;
  bool lenient_;
  RecordLayout *record_ = nullptr;
  std::unordered_map<const tree::decl *, std::size_t> itemIndex_;
  bool variableSeen_ = false;
};

} // namespace

std::vector<RecordLayout> computeRecordLayouts(Tree_Node *entries, const VexCblConfig &options) {
  LayoutWalk walk(options);
  std::vector<RecordLayout> result;
  try {
    walk.records(entries, result);
  } catch (const VexCvtError &) {
    throw LayoutError();
  }
  return result;
}

std::vector<RecordLayout> computeProgramLayouts(const std::vector<VexProgramPart> &parts,
                                                const VexCblConfig &options) {
  LayoutWalk walk(options);
  std::vector<RecordLayout> result;
  try {
    for (const VexProgramPart &part : parts) {
      RunState::Scope scope(*part.run);
      walk.programNames(parts.size(), part.name);
      walk.records(part.entries, result);
    }
  } catch (const VexCvtError &) {
    throw LayoutError();
  }
  return result;
}

// Walks the front end's declarations once: reads every entry's clauses, names and places each item.
#include "record/model_builder.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

#include "converter/conversion_messages.h"
#include "converter/conversion_report.h"
#include "converter/pictures.h"
#include "converter/record_names.h"
#include "converter/value_clauses.h"
#include "frontend/syntax_tree.h"
#include "frontend/tree_text.h"
#include "record/storage.h"
#include "support/run_state.h"

namespace {

constexpr int levelRenames = 66;
constexpr int levelConstant = 78;
constexpr int levelCondition = 88;

// An OCCURS clause that gives a single count stores -1 as its minimum.
constexpr int occursNoMinimum = -1;

struct UsageWord {
  std::uint16_t code;
  Usage usage;
};

constexpr std::array<UsageWord, 48> usageWords{{
    {cwDisplay, Usage::display},
    {cwBinary, Usage::binary},
    {cwComputational, Usage::comp},
    {cwIndex, Usage::index},
    {cwPackedDecimal, Usage::packedDecimal},
    {cwComp0, Usage::comp0},
    {cwComp1, Usage::comp1},
    {cwComp2, Usage::comp2},
    {cwComp3, Usage::comp3},
    {cwComp4, Usage::comp4},
    {cwComp5, Usage::comp5},
    {cwComp6, Usage::comp6},
    {cwComp7, Usage::comp7},
    {cwComp8, Usage::comp8},
    {cwComp11, Usage::comp11},
    {cwComp12, Usage::comp12},
    {cwCompX, Usage::compX},
    {cwPointer, Usage::pointer},
    {cwDisplay1, Usage::display1},
    {cwProcedurePointer, Usage::procedurePointer},
    {cwObjectReference, Usage::objectReference},
    {cwDbKey, Usage::dbKey},
    {cwCursor, Usage::cursor},
    {cwBinaryChar, Usage::binaryChar},
    {cwBinaryCharUnsigned, Usage::binaryCharUnsigned},
    {cwBinaryShort, Usage::binaryShort},
    {cwBinaryShortUnsigned, Usage::binaryShortUnsigned},
    {cwBinaryLong, Usage::binaryLong},
    {cwBinaryLongUnsigned, Usage::binaryLongUnsigned},
    {cwBinaryDouble, Usage::binaryDouble},
    {cwBinaryDoubleUnsigned, Usage::binaryDoubleUnsigned},
    {cwFloatShort, Usage::floatShort},
    {cwFloatLong, Usage::floatLong},
    {cwNational, Usage::national},
    {cwFunctionPointer, Usage::functionPointer},
    {cwBinaryCLong, Usage::binaryCLong},
    {cwBinaryCLongUnsigned, Usage::binaryCLongUnsigned},
    {cwSignedShort, Usage::signedShort},
    {cwSignedInt, Usage::signedInt},
    {cwSignedLong, Usage::signedLong},
    {cwUnsignedShort, Usage::unsignedShort},
    {cwUnsignedInt, Usage::unsignedInt},
    {cwUnsignedLong, Usage::unsignedLong},
    {cwFloatDecimal16, Usage::floatDecimal16},
    {cwFloatDecimal34, Usage::floatDecimal34},
    {cwProgramPointer, Usage::programPointer},
    {cwCompN, Usage::compN},
    {cwNone, Usage::none},
}};

Usage usageOf(int code) {
  for (const UsageWord &word : usageWords)
    if (word.code == code)
      return word.usage;
  return Usage::other;
}

bool isSeparate(int sign) {
  return sign == cwLeadingSeparate || sign == cwTrailingSeparate || sign == cwSeparate;
}

SignForm signForm(int sign) {
  switch (sign) {
  case cwLeading:
    return SignForm::leading;
  case cwLeadingSeparate:
    return SignForm::leadingSeparate;
  case cwTrailingSeparate:
  case cwSeparate:
    return SignForm::trailingSeparate;
  default:
    return SignForm::trailing;
  }
}

// What the clauses of one data description entry say.
struct EntryClauses {
  std::string name; // as written, or with the include prefix applied
  bool hasPicture = false;
  std::string picture;
  int usage = 0; // word codes, 0 when not given
  int sign = 0;
  bool hasOccurs = false;
  std::int64_t minCount = 1;
  std::int64_t maxCount = 1;
  bool occursTooLarge = false;
  bool occursUnbounded = false;
  const tree::decl *dependingOn = nullptr;
  std::string dependingOnName;
  bool synchronized = false;
  bool justified = false;
  bool blankWhenZero = false;
};

void readClause(Tree_Node *clause, EntryClauses &entry) {
  switch (clause->Kind) {
  case tree::picture::KindNumber: {
    const auto &picture = *as<tree::picture>(clause);
    entry.hasPicture = true;
    entry.picture = StoredText(picture.replaced ? picture.value : picture.string);
    break;
  }
  case tree::usage::KindNumber:
    entry.usage = as<tree::usage>(clause)->value;
    break;
  case tree::usage_obj_ref::KindNumber:
    entry.usage = as<tree::usage_obj_ref>(clause)->value;
    break;
  case tree::sign::KindNumber:
    entry.sign = as<tree::sign>(clause)->value;
    break;
  case tree::occurs::KindNumber: {
    const auto &occurs = *as<tree::occurs>(clause);
    entry.hasOccurs = true;
    // The front end caps bounds past 32 bits at INT32_MAX, which is past the limit too.
    entry.occursTooLarge = occurs.to > vexCblLargestSize || occurs.from > vexCblLargestSize;
    entry.occursUnbounded = occurs.to == OccursUnbounded;
    if (occurs.depending == nullptr || is<tree::noexpression>(occurs.depending)) {
      entry.minCount = entry.maxCount = occurs.to;
      entry.dependingOn = nullptr;
      entry.dependingOnName.clear();
    } else {
      // A table that depends on an item can shrink to one occurrence when
      // its minimum is not written.
      entry.minCount = occurs.from == occursNoMinimum ? 1 : occurs.from;
      entry.maxCount = occurs.to;
      entry.dependingOn = ReferencedDecl(occurs.depending);
      entry.dependingOnName = ReferenceName(occurs.depending);
    }
    break;
  }
  case tree::data_clause::KindNumber:
    switch (as<tree::data_clause>(clause)->keyword) {
    case cwSynchronized:
    case cwSynchronizedLeft:
    case cwSynchronizedRight:
      entry.synchronized = true;
      break;
    case cwJustified:
      entry.justified = true;
      break;
    case cwBlank:
      entry.blankWhenZero = true;
      break;
    default:
      break;
    }
    break;
  default:
    break;
  }
}

// The name of any entry format, and the clauses of a format_1 entry.
EntryClauses readEntry(const tree::decl &decl) {
  EntryClauses entry;
  Tree_Node *object = decl.object;
  if (is<tree::format_1>(object) || is<tree::format_2>(object) || is<tree::format_3>(object) ||
      is<tree::format_4>(object)) {
    const auto *format = as<tree::format>(object);
    entry.name = WrittenOrReplaced(format->name, format->spelling, format->replaced);
  }
  if (const auto *format = as_if<tree::format_1>(object))
    for (Tree_Node *clause = format->data_clause_l; is<tree::data_clause_c>(clause);
         clause = *Tree_Next(clause))
      readClause(clause, entry);
  return entry;
}

// A literal of a level-88 entry, classified as VALUE literals are.
ConditionLiteral conditionLiteral(Tree_Node *node) {
  ConditionLiteral literal;
  VexCblValue value;
  if (const auto *all = as_if<tree::unary>(node)) {
    literal.all = all->operator_ == cwAll;
    node = all->expression;
  }
  if (const auto *integer = as_if<tree::integer>(node)) {
    const std::string text =
        integer->replaced ? std::to_string(integer->Value) : StoredText(integer->String);
    value.setNumValue(text.c_str());
  } else if (const auto *real = as_if<tree::real>(node)) {
    value.setNumValue(StoredText(real->replaced ? real->Value : real->String).c_str());
  } else if (const auto *string = as_if<tree::string>(node)) {
    value.setStrValue(
        std::string_view(StoredText(string->replaced ? string->Value : string->String)));
  } else if (const auto *figurative = as_if<tree::figurative_literal>(node)) {
    if (!value.setFigConst(figurative->keyword) && figurative->keyword < CobolWordCount)
      literal.text = cobol_word[figurative->keyword];
  }
  using Kind = ConditionLiteral::Kind;
  switch (value.getType()) {
  case VexCblValue::Numeric:
    literal.kind = Kind::number;
    break;
  case VexCblValue::Alphanumeric:
    literal.kind = Kind::alphanumeric;
    break;
  case VexCblValue::Hexadecimal:
    literal.kind = Kind::hexadecimal;
    break;
  case VexCblValue::NullTerminated:
    literal.kind = Kind::nullTerminated;
    break;
  case VexCblValue::Dbcs:
    literal.kind = Kind::dbcs;
    break;
  case VexCblValue::FigurativeConstant:
    literal.kind = Kind::figurative;
    break;
  default:
    return literal;
  }
  literal.text = value.getValue();
  return literal;
}

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

// What a group passes to its members: the inherited SIGN and USAGE (word
// codes) and the numbering of their names.
struct GroupContext {
  int sign = 0;
  int usage = 0;
  int fillers = 0;
  bool numberRepeatedNames = false; // -lenient
  std::unordered_map<std::string, int> namesGiven;

  // The path name of a member written `name`: FILLER and its number for an
  // unnamed one; under -lenient a name a sibling before it has, with "_" and
  // its count among them.
  std::string memberName(const std::string &name) {
    if (name.empty() || name == "FILLER")
      return "FILLER" + std::to_string(++fillers);
    if (!numberRepeatedNames)
      return name;
    const int given = ++namesGiven[name];
    return given == 1 ? name : name + "_" + std::to_string(given);
  }
};

class ModelWalk {
public:
  explicit ModelWalk(const VexCblConfig &options) : options_(options) {
    report_.out = options.messages;
    report_.values = options.messageValues;
  }

  // The records of one declaration list, appended to the model.
  void records(Tree_Node *entries) {
    GroupContext topLevel;
    topLevel.numberRepeatedNames = options_.lenient;
    records(entries, topLevel);
  }

  // The record names of a program file (-program), for the program now walked.
  void programNames(std::size_t programs, const std::string &program, bool decimalPointComma) {
    programNames_.begin(programs, program);
    // A program's own DECIMAL-POINT IS COMMA reads its pictures as -c does.
    comma_ = options_.commaDecimalPoint || decimalPointComma;
  }

  // Resolves what could only be resolved once every item is placed.
  RecordModel finish() {
    for (const auto &[index, counter] : counters_) {
      const auto found = itemIndex_.find(counter);
      if (found != itemIndex_.end())
        model_.items[index].occurs->dependingOn = found->second;
    }
    model_.index();
    return std::move(model_);
  }

private:
  ModelItem &item(int index) { return model_.items[static_cast<std::size_t>(index)]; }
  int nextIndex() const { return static_cast<int>(model_.items.size()); }

  void records(Tree_Node *entries, GroupContext &topLevel) {
    for (auto *entry = as_if<tree::decl>(entries); entry != nullptr;
         entry = as_if<tree::decl>(entry->next)) {
      if (is<tree::file_description>(entry->object)) {
        records(entry->fields, topLevel);
        continue;
      }
      if (entry->level == levelRenames) {
        if (!model_.records.empty()) {
          ModelRecord &record = model_.records.back();
          renames(*entry, record.root, "", 1);
          record.end = nextIndex();
        }
        continue;
      }
      if (entry->level == levelCondition || (options_.lenient && entry->level == levelConstant))
        continue;
      if (looseLevel(entry->level)) {
        entry = looseRecord(entry, topLevel);
        continue;
      }
      ModelRecord record;
      record.root = recordRoot_ = nextIndex();
      variableSeen_ = false;
      const Extent extent = place(*entry, topLevel, -1, "", 0, 0, -1);
      record.name = item(record.root).path;
      record.length = extent.length;
      record.minLength = extent.totalMin;
      record.end = nextIndex();
      model_.records.push_back(std::move(record));
    }
  }

  // A copybook written to be copied under a record (05 CUST-ID ... 05
  // CUST-NAME ..., no 01) has its entries at the top: they lie one after
  // another in the record that copies them, not each at offset 0.
  static bool looseLevel(int level) { return level >= 2 && level <= 49; }

  // The run of loose entries from `first` (conditions, RENAMES and
  // constants among them) as one record named RECORD (RECORD-2 ... for
  // later runs); returns the run's last entry.
  tree::decl *looseRecord(tree::decl *first, const GroupContext &topLevel) {
    tree::decl *last = first;
    for (auto *next = as_if<tree::decl>(last->next);
         next != nullptr && (looseLevel(next->level) || next->level == levelCondition ||
                             next->level == levelRenames || next->level == levelConstant);
         next = as_if<tree::decl>(next->next))
      last = next;
    ++looseRecords_;
    const std::string name =
        looseRecords_ == 1 ? "RECORD" : "RECORD-" + std::to_string(looseRecords_);
    ModelRecord record;
    record.root = recordRoot_ = nextIndex();
    variableSeen_ = false;
    {
      ModelItem &out = model_.items.emplace_back();
      out.name = name;
      out.key = name;
      out.path = name;
      out.level = 1;
    }
    GroupContext members;
    members.numberRepeatedNames = topLevel.numberRepeatedNames;
    const Extent inside =
        this->members(first, members, record.root, name, 1, 0, as_if<tree::decl>(last->next));
    ModelItem &root = item(record.root);
    root.length = inside.length;
    record.name = name;
    record.length = inside.length;
    record.minLength = inside.totalMin;
    record.end = nextIndex();
    model_.records.push_back(std::move(record));
    return last;
  }

  // As the converter decides it: an entry is a group when it has
  // subordinate entries, unless the first is a condition name or a RENAMES
  // entry; under -lenient condition names before the first member do not count.
  bool startsGroup(const tree::decl &decl) const {
    const auto *first = as_if<tree::decl>(decl.fields);
    while (options_.lenient && first != nullptr && first->level == levelCondition)
      first = as_if<tree::decl>(first->next);
    return first != nullptr && first->level != levelCondition && first->level != levelRenames;
  }

  // Places `decl` at `at` (before any slack) inside the group `grp` (item
  // `parent`, -1 for a record), with its members; its item comes first so
  // that items stay in source order. `redefines`: the item it redefines.
  Extent place(const tree::decl &decl, GroupContext &grp, int parent, const std::string &parentPath,
               int depth, std::int64_t at, int redefines, std::int64_t originalSize = -1) {
    EntryClauses entry = readEntry(decl);
    const VexCblReportContext context(report_, entry.name.c_str(), &decl.position);
    const bool isGroup = startsGroup(decl);
    // An item has one name, its own, wherever the data tools show it; the
    // document's longer names of redefining groups are the document's.
    std::string name = entry.name;
    if (depth == 0 && programNames_.on)
      name = programNames_.name(decl, name);
    const std::string pathName = grp.memberName(name);

    const int index = nextIndex();
    itemIndex_[&decl] = index;
    {
      ModelItem &out = model_.items.emplace_back();
      // The declaration table's spelling of the name is the key.
      const char *declared = GetCStr(decl.name);
      out.name = declared != nullptr ? entry.name : "";
      out.key = declared == nullptr || *declared == '\0' || modelKey(declared) == "FILLER"
                    ? "FILLER"
                    : declared;
      if (name.empty() || name == "FILLER")
        out.fillerNumber = grp.fillers;
      out.path = parentPath.empty() ? pathName : parentPath + "." + pathName;
      out.level = decl.level;
      out.depth = depth;
      out.parent = parent;
      out.redefines = redefines;
      out.synchronized = entry.synchronized;
      out.justified = entry.justified;
      out.blankWhenZero = entry.blankWhenZero;
      out.variable = variableSeen_;
      if (entry.hasOccurs) {
        if (entry.occursTooLarge)
          report_.error(vexCblMsg::occursTooLarge(vexCblLargestSize));
        if (entry.occursUnbounded)
          report_.error(vexCblMsg::occursUnboundedLayout);
        out.occurs = Occurs{entry.minCount, entry.maxCount, -1, entry.dependingOnName};
        if (entry.dependingOn != nullptr)
          counters_.emplace_back(index, entry.dependingOn);
      }
    }
    if (parent >= 0)
      item(parent).members.push_back(index);
    if (redefines >= 0) {
      const int area = item(redefines).area >= 0 ? item(redefines).area : redefines;
      item(index).area = area;
      item(area).alternatives.push_back(index);
    }
    const bool dependsOnCount = entry.hasOccurs && !entry.dependingOnName.empty();
    const std::int64_t minCount = entry.hasOccurs ? entry.minCount : 1;
    const std::int64_t maxCount = entry.hasOccurs ? entry.maxCount : 1;

    Extent extent;
    std::int64_t offset = at;
    std::int64_t occurrenceMin = 0;
    if (isGroup) {
      item(index).category = Category::group;
      item(index).usage = entry.usage != 0 ? usageOf(entry.usage) : Usage::none;
      GroupContext members;
      members.sign = entry.sign != 0 ? entry.sign : grp.sign;
      members.usage = entry.usage != 0 ? entry.usage : grp.usage;
      members.numberRepeatedNames = grp.numberRepeatedNames;
      // A copy: placing the members moves the vector the path lives in.
      const std::string path = item(index).path;
      const Extent inside = this->members(decl.fields, members, index, path, depth + 1, at);
      extent.align = inside.align;
      // Every occurrence must align its SYNCHRONIZED items as the first
      // does, so an occurrence is padded to the strictest boundary inside.
      extent.length = maxCount > 1 ? roundUp(inside.length, inside.align) : inside.length;
      occurrenceMin = inside.totalMin + (extent.length - inside.length);
      extent.variable = inside.variable;
    } else {
      const ItemStorage storage = elementary(index, entry, grp);
      if (!storage.known)
        report_.error(entry.hasPicture ? vexCblMsg::unknownUsage : vexCblMsg::pictureMissing);
      if (entry.synchronized && storage.boundary > 1) {
        offset = roundUp(at, storage.boundary);
        extent.align = storage.boundary;
      }
      extent.length = storage.length;
      occurrenceMin = storage.length;
      conditions(decl.fields, index);
    }
    ModelItem &out = item(index);
    out.offset = offset;
    out.slackBefore = offset - at;
    out.length = extent.length;
    extent.totalMax = out.slackBefore + extent.length * maxCount;
    if (dependsOnCount)
      extent.variable = true;
    extent.totalMin = out.slackBefore + occurrenceMin * (dependsOnCount ? minCount : maxCount);
    if (extent.variable)
      variableSeen_ = true;
    // IBM refuses a redefinition below level 01 that is longer than the
    // storage it redefines; it is laid out, the area growing to hold it.
    if (redefines >= 0 && originalSize >= 0 && extent.totalMax > originalSize)
      report_.message(
          vexCblMsg::redefinesLarger(extent.totalMax, item(item(index).area).name, originalSize));
    return extent;
  }

  // The usage, category, picture, sign and storage of the elementary item
  // `index` read from `entry` inside `grp`.
  ItemStorage elementary(int index, const EntryClauses &entry, const GroupContext &grp) {
    ModelItem &out = item(index);
    const int code = entry.usage != 0 ? entry.usage : grp.usage;
    const int sign = entry.sign != 0 ? entry.sign : grp.sign;
    Usage usage = code == 0 ? Usage::display : usageOf(code);
    if (entry.hasPicture)
      out.picture = parsePicture(entry.picture, comma_);
    const ParsedPicture *picture = out.picture ? &*out.picture : nullptr;
    // GnuCOBOL stores a signed COMP-6 as COMP-3.
    if (options_.lenient && usage == Usage::comp6 && picture != nullptr &&
        picture->sign == PictureSign::s)
      usage = Usage::comp3;
    if (usage == Usage::display && picture != nullptr && picture->category == Category::national)
      usage = Usage::national;
    if (usage == Usage::display && picture != nullptr && picture->category == Category::dbcs)
      usage = Usage::display1;
    out.usage = usage;
    const bool binary = usage == Usage::binary || usage == Usage::comp || usage == Usage::comp4 ||
                        usage == Usage::comp5;
    if (binary && picture != nullptr && picture->size > 18)
      report_.error(vexCblMsg::binaryTooLong(picture->size));
    // SIGN ... SEPARATE, the item's own or its group's, gives a byte to a
    // signed number. A number whose own clause says SEPARATE though its
    // picture lacks the S is laid out with that byte too: the clause says
    // the byte is there (the document describes the item as a number with a
    // separate sign), and the files written by its copybook have it. A
    // group's clause still leaves its unsigned members alone.
    const bool numeric = picture != nullptr && picture->category == Category::numeric;
    const bool unsignedSeparate = numeric && picture->sign != PictureSign::s &&
                                  isSeparate(entry.sign) && usage == Usage::display;
    const bool signedNumber = (numeric && picture->sign == PictureSign::s) || unsignedSeparate;
    const ItemStorage storage = storageOf(usage, picture, signedNumber && isSeparate(sign));
    if (unsignedSeparate)
      report_.message(vexCblMsg::unsignedSeparateSign);
    else if (!signedNumber && isSeparate(entry.sign) && usage == Usage::display)
      report_.message(vexCblMsg::separateSignOfText);

    if (isDialectBinary(usage)) {
      out.category = Category::numeric;
      out.isSigned = !isUnsignedDialectBinary(usage);
      out.picture.reset();
      return storage;
    }
    out.category = categoryOf(usage, picture);
    if (picture == nullptr || picture->category != Category::numeric)
      return storage;
    out.isSigned = signedNumber;
    if (*out.isSigned && usage == Usage::display)
      out.sign = signForm(sign);
    return storage;
  }

  static Category categoryOf(Usage usage, const ParsedPicture *picture) {
    switch (usage) {
    case Usage::display:
      return picture != nullptr ? picture->category : Category::alphanumeric;
    case Usage::national:
      return Category::national;
    case Usage::display1:
      return Category::dbcs;
    case Usage::comp1:
    case Usage::comp2:
    case Usage::floatShort:
    case Usage::floatLong:
    case Usage::floatDecimal16:
    case Usage::floatDecimal34:
      return Category::floatingPoint;
    case Usage::index:
      return Category::index;
    case Usage::pointer:
    case Usage::procedurePointer:
    case Usage::objectReference:
    case Usage::functionPointer:
    case Usage::programPointer:
      return Category::pointer;
    case Usage::binary:
    case Usage::comp:
    case Usage::comp4:
    case Usage::comp5:
    case Usage::comp0:
    case Usage::comp3:
    case Usage::packedDecimal:
    case Usage::compX:
    case Usage::compN:
    case Usage::comp6:
      return Category::numeric;
    default:
      return Category::none;
    }
  }

  // Places the entries from `first` on as members of the group `owner`
  // that starts at `start`; level-88 entries become its conditions. An
  // entry that redefines a sibling, or any redefinition of one, starts where
  // that sibling's storage area starts; the area takes the room of its
  // largest alternative.
  Extent members(Tree_Node *first, GroupContext &grp, int owner, const std::string &path, int depth,
                 std::int64_t start, const tree::decl *stop = nullptr) {
    struct Area {
      std::int64_t original = 0; // its first item, every count at its maximum
      std::int64_t max = 0;      // the largest alternative, every count at its maximum
      std::int64_t min = 0;      // ... at its minimum
    };
    std::map<int, Area> areas; // by the area's first item
    Extent result;
    std::int64_t cursor = start;
    std::int64_t end = start;
    for (auto *sub = as_if<tree::decl>(first); sub != nullptr && sub != stop;
         sub = as_if<tree::decl>(sub->next)) {
      if (sub->level == levelCondition) {
        conditions(sub, owner, true);
        continue;
      }
      if (sub->level == levelRenames) {
        renames(*sub, owner, path, depth);
        continue;
      }
      // A constant takes no storage and ends nothing.
      if (sub->level == levelConstant)
        continue;
      const int target = redefinedSibling(*sub, owner);
      const int area = target < 0               ? nextIndex()
                       : item(target).area >= 0 ? item(target).area
                                                : target;
      const std::int64_t at = target < 0 ? cursor : item(area).offset;
      const Extent extent =
          place(*sub, grp, owner, path, depth, at, target, target < 0 ? -1 : areas[area].original);
      Area &room = areas[area];
      if (target < 0)
        room.original = extent.totalMax;
      room.max = std::max(room.max, extent.totalMax);
      room.min = std::max(room.min, extent.totalMin);
      cursor = std::max(cursor, at + extent.totalMax);
      end = std::max(end, at + extent.totalMax);
      result.align = std::max(result.align, extent.align);
      result.variable = result.variable || extent.variable;
    }
    std::int64_t shrink = 0;
    for (const auto &[first, room] : areas)
      shrink += room.max - room.min;
    result.length = end - start;
    result.totalMin = result.length - shrink;
    return result;
  }

  // The sibling in the group `owner` that a REDEFINES clause of `decl`
  // names; -1 without one.
  int redefinedSibling(const tree::decl &decl, int owner) {
    const auto *entry = as_if<tree::format_1>(decl.object);
    const auto *clause = entry != nullptr ? as_if<tree::redefines>(entry->data_clause_l) : nullptr;
    const tree::decl *target = clause != nullptr ? ReferencedDecl(clause->name) : nullptr;
    const auto found = target != nullptr ? itemIndex_.find(target) : itemIndex_.end();
    if (found == itemIndex_.end() || item(found->second).parent != owner)
      return -1;
    return found->second;
  }

  // The level-88 entries from `fields` on (or `fields` alone) under item `owner`.
  void conditions(Tree_Node *fields, int owner, bool single = false) {
    for (auto *sub = as_if<tree::decl>(fields); sub != nullptr;
         sub = single ? nullptr : as_if<tree::decl>(sub->next)) {
      const auto *condition = as_if<tree::format_3>(sub->object);
      if (condition == nullptr)
        continue;
      Condition out;
      out.name = IdentText(condition->spelling);
      for (Tree_Node *element = condition->condition_l;
           element != nullptr && !is<tree::noexpression_l>(element);) {
        const auto *expression = as_if<tree::expression>(element);
        if (expression == nullptr)
          break;
        ConditionValue value;
        if (const auto *range = as_if<tree::binary>(expression->expression)) {
          value.value = conditionLiteral(range->lop);
          value.through = conditionLiteral(range->rop);
        } else {
          value.value = conditionLiteral(expression->expression);
        }
        out.values.push_back(std::move(value));
        element = expression->next;
      }
      item(owner).conditions.push_back(std::move(out));
    }
  }

  // A level-66 entry inside the group `owner` (a record for one at the top
  // level): the offset and length of the range it renames.
  void renames(const tree::decl &decl, int owner, const std::string &path, int depth) {
    const auto *entry = as_if<tree::format_2>(decl.object);
    if (entry == nullptr)
      return;
    const int from = renamed(entry->qualification1);
    int thru = renamed(entry->qualification2);
    if (from < 0)
      return;
    if (thru < 0)
      thru = from;
    const std::string name = IdentText(entry->spelling);
    ModelItem out;
    out.name = name;
    out.key = modelKey(name);
    out.path = (path.empty() ? item(recordRoot_).path : path) + "." + name;
    out.level = levelRenames;
    out.depth = depth;
    out.parent = owner;
    out.category = Category::group;
    const ModelItem &first = item(from);
    const ModelItem &last = item(thru);
    out.offset = first.offset;
    out.length = std::max(first.offset + first.length, last.offset + last.length) - first.offset;
    out.renames = from;
    out.renamesThru = thru;
    out.variable = variableSeen_;
    const int index = nextIndex();
    model_.items.push_back(std::move(out));
    item(owner).members.push_back(index);
  }

  // The item a level-66 operand names, when it belongs to the record being
  // built; -1 otherwise.
  int renamed(Tree_Node *reference) {
    const tree::decl *target = ReferencedDecl(reference);
    const auto found = target != nullptr ? itemIndex_.find(target) : itemIndex_.end();
    if (found == itemIndex_.end() || found->second < recordRoot_)
      return -1;
    return found->second;
  }

  const VexCblConfig &options_;
  bool comma_ = options_.commaDecimalPoint;
  VexCvtReport report_;
  VexProgramRecordNames programNames_;
  RecordModel model_;
  std::unordered_map<const tree::decl *, int> itemIndex_;
  std::vector<std::pair<int, const tree::decl *>> counters_;
  int recordRoot_ = 0; // first item of the record being built
  bool variableSeen_ = false;
  int looseRecords_ = 0; // records made of loose entries so far
};

} // namespace

RecordModel buildRecordModel(Tree_Node *entries, const VexCblConfig &options) {
  ModelWalk walk(options);
  try {
    walk.records(entries);
  } catch (const VexCvtError &) {
    throw ModelError();
  }
  return walk.finish();
}

RecordModel buildProgramRecordModel(const std::vector<VexProgramPart> &parts,
                                    const VexCblConfig &options) {
  ModelWalk walk(options);
  try {
    for (const VexProgramPart &part : parts) {
      RunState::Scope scope(*part.run);
      walk.programNames(parts.size(), part.name, part.decimalPointComma);
      walk.records(part.entries);
    }
  } catch (const VexCvtError &) {
    throw ModelError();
  }
  return walk.finish();
}

// Walks declarations: extract, create, name, place; REDEFINES stand-alones, 66 skipped, 88 lists.
#include "converter/declaration_traversal.h"

#include <string>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "converter/definition_creation.h"
#include "converter/entry_extraction.h"
#include "converter/filler_names.h"
#include "frontend/declaration_table.h"
#include "support/identifier_table.h"
#include "support/trace.h"

namespace {

// Converts `decl` and every entry that follows it through `next`, each with
// its members, inside the group described by `parentGrp`. Members are added to
// `parentGroup` in source order (null for the top-level list: the entries go
// to the conversion's repository). Entries that redefine or are redefined
// become stand-alone definitions of the repository, reached from the group
// through a reference; level-66 entries are skipped with the RENAMES warning.
// Every message carries the report context of the entry being converted.
// Errors of the type mapping propagate as VexCvtError.
void vexCblTraverseDecl(VexCblConversion &conv, Tree_Node *decl, VexCblGrpContext &parentGrp,
                        VexGroupDefImpl *parentGroup);

constexpr int levelRenames = 66;
constexpr int levelConstant = 78;
constexpr int levelCondition = 88;

// What a member's name and a stand-alone definition's name are made of. The
// stand-alone name is made only for the entries that become one: most
// members never need it, and it is long enough to take an allocation.
struct VexCblEntryNames {
  std::string uniqName;
  // The enclosing groups' path; null at the top level.
  const std::string *path = nullptr;
  std::string defName() const {
    if (path == nullptr)
      return uniqName;
    std::string name;
    name.reserve(path->size() + 1 + uniqName.size());
    name += *path;
    name += '_';
    name += uniqName;
    return name;
  }
};

// An entry is a group when it has subordinate entries, unless the first of
// them is a condition name or a RENAMES entry: those describe the item, they
// do not make it a record.
// Under -lenient condition names before the first member do not count: the
// entry is a group when a member follows them, as compilers read it.
bool vexCblStartsGroup(const tree::decl &decl, bool lenient) {
  const auto *first = as_if<tree::decl>(decl.fields);
  while (lenient && first != nullptr && first->level == levelCondition)
    first = as_if<tree::decl>(first->next);
  if (first == nullptr)
    return false;
  return first->level != levelCondition && first->level != levelRenames;
}

// The values of the level-88 entries below an elementary item, in source
// order. Ranges (THROUGH) and literals that give no value are left out.
VexRestriction vexCblConditionValues(VexCblConversion &conv, Tree_Node *fields) {
  VexRestriction restriction;
  for (auto *sub = as_if<tree::decl>(fields); sub != nullptr; sub = as_if<tree::decl>(sub->next)) {
    const auto *condition = as_if<tree::format_3>(sub->object);
    if (condition == nullptr)
      continue;
    for (Tree_Node *element = condition->condition_l;
         element != nullptr && !is<tree::noexpression_l>(element);) {
      const auto *expression = as_if<tree::expression>(element);
      if (expression == nullptr)
        break;
      VexCblObjContext literal;
      vexCblExtractObj(conv, expression->expression, literal);
      if (literal.value && literal.value->getType() != VexCblValue::NoValue)
        restriction.addValue(literal.value->getValue());
      element = expression->next;
    }
  }
  return restriction;
}

// Restriction lists are an option (-r) and were unknown to the level-300
// output, which must stay as it was.
bool vexCblWantsRestrictions(const VexCblConfig &options) {
  return !options.compat300Output() && options.levelRestrictions;
}

// Names `def` `defName` in the conversion's definition registry and hands it
// to the repository as a stand-alone definition; the definition keeps
// `defName` itself as its name.
void vexCblAddStandalone(VexCblConversion &conv, VexDataDefImpl &def, std::string defName) {
  const VexDataDefId id = conv.definitions.add(defName);
  conv.definitions.registerDef(id, def, std::move(defName));
  conv.repository.addDef(def);
}

// A member item holding `def` itself, with the OCCURS bounds of `item`.
// A DEPENDING ON item is referred to by name even when it is not an earlier
// member of the group: the reference is what the user wrote.
VexGroupItem vexCblMakeMember(VexCblConversion &conv, const VexDataDef &def,
                              const VexCblObjContext &item, std::string uniqName,
                              const VexGroupDefImpl &group) {
  VexGroupItem member = VexGroupItem::create();
  member->setName(std::move(uniqName));
  member->setDefinition(def);
  if (item.cardinality.hasDefault())
    return member;
  if (item.dependingOn.empty()) {
    member->setCardinality(item.cardinality.get());
    return member;
  }
  if (group.findItemIndex(item.dependingOn) < 0)
    conv.report.message(vexCblMsg::countItemNotBefore(item.dependingOn, member->name()));
  member->setCardinality(item.cardinality.get(), VexGroupItemRef(item.dependingOn));
  return member;
}

// A member item that stands for the stand-alone definition `def` (already
// registered), so the group keeps its layout while the redefinitions live
// beside it.
VexGroupItem vexCblMakeReferenceMember(const VexDataDefImpl &def, std::string uniqName) {
  VexGroupItem member = VexGroupItem::create();
  member->setName(std::move(uniqName));
  member->setDefinition(VexRef(def.id()));
  return member;
}

// Places the finished definition of one entry: stand-alone when it redefines
// or is redefined, in the repository at the top level, else as a member.
// The member's name is moved into what takes it last.
void vexCblPlaceDef(VexCblConversion &conv, const VexDataDef &def, const VexCblObjContext &item,
                    VexCblEntryNames &names, bool isRedefined, VexGroupDefImpl *parentGroup) {
  if (!item.getRedefinesName().empty()) {
    vexCblAddStandalone(conv, *def, names.defName());
    const std::string &defName = def->name();
    VEX_TRACE(conv.trace) << "  placed: stand-alone definition '" << defName << "', redefining '"
                          << item.getRedefinesName() << "'";
    vexCblMsg::redefiningStandalone(conv.messageText, defName);
    conv.report.message(conv.messageText);
    return;
  }
  if (isRedefined) {
    vexCblAddStandalone(conv, *def, names.defName());
    const std::string &defName = def->name();
    VEX_TRACE(conv.trace) << "  placed: stand-alone definition '" << defName << "', redefined"
                          << (parentGroup != nullptr ? ", referred to by member '" : "")
                          << (parentGroup != nullptr ? names.uniqName + "'" : "");
    if (parentGroup == nullptr)
      return;
    parentGroup->addItem(vexCblMakeReferenceMember(*def, std::move(names.uniqName)));
    vexCblMsg::redefinedStandalone(conv.messageText, defName);
    conv.report.message(conv.messageText);
    return;
  }
  if (parentGroup == nullptr) {
    vexCblAddStandalone(conv, *def, std::move(names.uniqName));
    VEX_TRACE(conv.trace) << "  placed: stand-alone definition '" << def->name() << "'";
    return;
  }
  VEX_TRACE(conv.trace) << "  placed: member '" << names.uniqName << "'";
  parentGroup->addItem(vexCblMakeMember(conv, def, item, std::move(names.uniqName), *parentGroup));
}

// Converts the members of the group entry `decl` into `group`. A redefining
// group is named after what it redefines as well, so that its stand-alone
// definition cannot be mistaken for the group it overlays.
void vexCblConvertMembers(VexCblConversion &conv, const tree::decl &decl,
                          VexCblGrpContext &parentGrp, VexCblObjContext &item,
                          VexGroupDefImpl &group) {
  VexCblGrpContext child;
  if (!item.getRedefinesName().empty())
    item.name += "_REDEFINES_" + item.getRedefinesName();
  child.populate(parentGrp, item);
  std::size_t members = 0;
  for (auto *entry = as_if<tree::decl>(decl.fields); entry != nullptr;
       entry = as_if<tree::decl>(entry->next))
    ++members;
  group.reserveItems(members);
  vexCblTraverseDecl(conv, decl.fields, child, &group);
}

// The category of an item in words, for the trace.
std::string vexCblCategoryText(VexCblType category) {
  std::string text;
  for (const auto &[bit, word] :
       {std::pair{VexCblType::Group, "group"}, std::pair{VexCblType::Alphabetic, "alphabetic"},
        std::pair{VexCblType::Numeric, "numeric"},
        std::pair{VexCblType::Alphanumeric, "alphanumeric"},
        std::pair{VexCblType::Edited, "edited"}})
    if (vexCblTypeHas(category, bit))
      text += text.empty() ? word : std::string(" ") + word;
  return text.empty() ? "none" : text;
}

// What was read from an entry and what its picture and inherited clauses
// make of it: the first things to look at when an item converted wrongly.
void vexCblTraceEntry(VexCblConversion &conv, const tree::decl &decl, VexCblGrpContext &parentGrp,
                      VexCblObjContext &item) {
  VEX_TRACE(conv.trace) << "entry '" << item.name << "' level " << decl.level << " line "
                        << decl.position.Line << " column " << decl.position.Column
                        << (parentGrp.path.empty() ? "" : " in '" + parentGrp.path + "'");
  VEX_TRACE(conv.trace) << "  read: " << item.description;
  if (item.picture) {
    VexCblPicture &picture = *item.picture;
    const VexCblType category = picture.type();
    const VexCblPicProps *props = picture.picProps();
    VEX_TRACE(conv.trace) << "  picture '" << picture.getPictureVal() << "': size "
                          << picture.size() << ", " << vexCblCategoryText(category)
                          << (props == nullptr ? "" : ", digits ")
                          << (props == nullptr ? 0 : props->props().at(VexCblPicProps::Digits))
                          << ", after V "
                          << (props == nullptr ? 0
                                               : props->props().at(VexCblPicProps::DigitsAfterV));
  }
  VEX_TRACE(conv.trace) << "  effective usage " << vexCblGetUsage(parentGrp, item) << ", sign "
                        << vexCblGetSign(parentGrp, item) << (item.isGroup ? ", group" : "");
}

// Converts one entry with its members and places its definition.
void vexCblConvertEntry(VexCblConversion &conv, const tree::decl &decl, VexCblGrpContext &parentGrp,
                        VexGroupDefImpl *parentGroup) {
  VexCblObjContext item(std::move(conv.spareDescription));
  item.isGroup = vexCblStartsGroup(decl, conv.options.lenient) ? 1 : 0;
  // Messages name the entry as written, also when its record is renamed:
  // the identifier table's text, which lasts the run, without a copy.
  const char *writtenName = vexCblEntryName(decl.object);
  if (writtenName != nullptr)
    item.name = writtenName;
  else
    writtenName = "";
  const VexCblReportContext report(conv.report, writtenName, &decl.position);
  const bool isRedefined = vexCblIsRedefining(decl.next, decl.name);

  // -lenient: a constant has no storage (the front end said so), and a
  // condition name met here has no elementary item to restrict: it heads a
  // group's members or the copybook.
  if (conv.options.lenient && decl.level == levelConstant) {
    VEX_TRACE(conv.trace) << "entry '" << item.name << "' level 78 line " << decl.position.Line
                          << ": constant, skipped";
    return;
  }
  if (conv.options.lenient && decl.level == levelCondition) {
    VEX_TRACE(conv.trace) << "entry '" << item.name << "' level 88 line " << decl.position.Line
                          << ": condition without elementary item, skipped";
    conv.report.message(parentGroup != nullptr ? vexCblMsg::groupConditionIgnored
                                               : vexCblMsg::conditionWithoutItem);
    return;
  }

  if (decl.level == levelRenames) {
    VEX_TRACE(conv.trace) << "entry '" << item.name << "' level 66 line " << decl.position.Line
                          << ": RENAMES, skipped";
    conv.report.message(vexCblMsg::renamesIgnored);
    return;
  }

  vexCblExtractObj(conv, decl.object, item);
  if (parentGroup == nullptr && conv.programRecords.on)
    item.name = conv.programRecords.name(decl, item.name);
  if (conv.trace.on())
    vexCblTraceEntry(conv, decl, parentGrp, item);
  VexDataDef def = vexCblCreateDef(conv, parentGrp, item);
  if (!conv.options.noDescription)
    // The entry's clauses and the period that ends them, in a text sized
    // once: the model keeps the descriptions of a record's members until the
    // record is written (200 000 of them in one flat record).
    def->setDescription(item.description, ".");
  conv.spareDescription = std::move(item.description);

  if (VexGroupDefImpl *group =
          def->isNonGroupDef() ? nullptr : rttiCast<VexGroupDefImpl>(def.getPeer())) {
    vexCblConvertMembers(conv, decl, parentGrp, item, *group);
    VEX_TRACE(conv.trace) << "group '" << item.name << "': " << group->items().size() << " members";
  } else {
    if (decl.fields != nullptr && def->isPrimitiveDef() && vexCblWantsRestrictions(conv.options))
      rttiCast<VexPrimitiveDefImpl>(def.getPeer())
          ->setRestriction(vexCblConditionValues(conv, decl.fields));
    VEX_TRACE(conv.trace)
        << "  definition: "
        << VexMfRdfWriter::fillStanza(*def, conv.definitions).getAttrValue("definition");
  }

  VexCblEntryNames names;
  names.uniqName = vexCblGetUniqName(parentGrp, item);
  names.path = parentGroup == nullptr ? nullptr : &parentGrp.path;
  vexCblPlaceDef(conv, def, item, names, isRedefined, parentGroup);
}

void vexCblTraverseDecl(VexCblConversion &conv, Tree_Node *decl, VexCblGrpContext &parentGrp,
                        VexGroupDefImpl *parentGroup) {
  // A loop rather than a call per sibling: a copybook of many thousand
  // top-level entries must not grow the stack with each one. Each entry's
  // contexts end with its turn, so messages still carry the current entry.
  for (auto *entry = as_if<tree::decl>(decl); entry != nullptr;
       entry = as_if<tree::decl>(entry->next))
    vexCblConvertEntry(conv, *entry, parentGrp, parentGroup);
}

} // namespace

namespace {

// A record's nodes were written by the parsing thread, mostly on the other
// core and just before, so the walk's first touch of each one is a miss; and
// the walk touches them one pointer at a time (a group's members counted, an
// entry's successor looked at for REDEFINES), so the misses came one after
// the other: a tenth of the converting thread's samples on the mixed million
// sat on such loads. The run's arena gives out the nodes and the new names'
// texts in the order they are parsed, so a record's lie between its first
// entry's nodes (just before its declaration) and the next record's
// declaration; asking for all those lines at once lets the misses overlap.
// Only a hint: a node elsewhere is read as it always was.
constexpr std::ptrdiff_t recordHead = 512;
constexpr std::ptrdiff_t recordReach = 1 << 16;
constexpr std::ptrdiff_t cacheLine = 64;

void prefetchRecord(VexCblConversion &conv, const tree::decl &entry) {
  const auto *record = reinterpret_cast<const char *>(&entry);
  const auto *next = reinterpret_cast<const char *>(as_if<tree::decl>(entry.next));
  const char *from = record - recordHead;
  if (conv.prefetchedTo > from && conv.prefetchedTo <= record)
    from = conv.prefetchedTo;
  const char *to = next != nullptr ? next + sizeof(tree::decl) : record + recordReach;
  if (to <= from || to - from > recordReach)
    to = from + recordReach;
  for (const char *line = from; line < to; line += cacheLine)
    __builtin_prefetch(line);
  conv.prefetchedTo = to;
}

} // namespace

void vexCbConvertTopLevel(VexCblConversion &conv, VexCblGrpContext &topLevel, tree::decl &entry) {
  prefetchRecord(conv, entry);
  if (is<tree::file_description>(entry.object))
    vexCblTraverseDecl(conv, entry.fields, topLevel, nullptr);
  else
    vexCblConvertEntry(conv, entry, topLevel, nullptr);
}

VexCblGrpContext vexCbTopLevelContext(const VexCblConversion &conv) {
  VexCblGrpContext topLevel;
  topLevel.numberRepeatedNames = conv.options.lenient;
  return topLevel;
}

void vexCbConvertRecords(VexCblConversion &conv, Tree_Node *declList) {
  VexCblGrpContext topLevel = vexCbTopLevelContext(conv);
  for (auto *entry = as_if<tree::decl>(declList); entry != nullptr;
       entry = as_if<tree::decl>(entry->next))
    vexCbConvertTopLevel(conv, topLevel, *entry);
}

void vexCbDeftabDrv(VexCblConversion &conv, Tree_Node *declList) {
  vexCbConvertRecords(conv, declList);
  conv.repository.doExport(conv.report, conv.trace);
}

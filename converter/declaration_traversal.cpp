#include "converter/declaration_traversal.h"

#include <string>

#include "support/trace.h"
#include "support/identifier_table.h"
#include "converter/definition_repository.h"
#include "converter/conversion_report.h"
#include "converter/conversion_options.h"
#include "converter/definition_creation.h"
#include "converter/entry_extraction.h"
#include "converter/filler_names.h"

namespace {

TRC1_EPB trcBlock{"VEXCBDRV"};

constexpr int levelRenames = 66;
constexpr int levelCondition = 88;
constexpr std::int32_t compat300 = 300;

// What a member's name and a stand-alone definition's name are made of.
struct VexCblEntryNames {
  std::string uniqName;
  std::string defName;
};

// A configured text, or null when it is empty: the repository tells "none"
// from an empty name.
const char *vexCblAbsentWhenEmpty(const std::string &text) {
  VEX_TRACE(trcBlock, "vexCblAbsentWhenEmpty");
  return text.empty() ? nullptr : text.c_str();
}

// An entry is a group when it has subordinate entries, unless the first of
// them is a condition name or a RENAMES entry: those describe the item, they
// do not make it a record.
bool vexCblStartsGroup(const tree::decl &decl) {
  VEX_TRACE(trcBlock, "vexCblStartsGroup");
  const auto *first = as_if<tree::decl>(decl.fields);
  if (first == nullptr)
    return VEX_TRACE_RESULT(false);
  return VEX_TRACE_RESULT(first->level != levelCondition && first->level != levelRenames);
}

// The values of the level-88 entries below an elementary item, in source
// order. Ranges (THROUGH) and literals that give no value are left out.
VexRestriction vexCblConditionValues(Tree_Node *fields) {
  VEX_TRACE(trcBlock, "vexCblConditionValues");
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
      vexCblExtractObj(expression->expression, literal);
      if (literal.value && literal.value->getType() != VexCblValue::NoValue) {
        VEX_TRACE_DETAIL(trcBlock) << "Restriction value"
                                   << "(" << literal.value->getValue() << ") ";
        restriction.addValue(vexToUnicode(literal.value->getValue(), false));
      }
      element = expression->next;
    }
  }
  return restriction;
}

// Restriction lists are an option (-r) and were unknown to the level-300
// output, which must stay as it was.
bool vexCblWantsRestrictions() {
  VEX_TRACE(trcBlock, "vexCblWantsRestrictions");
  const VexCblConfig &config = VexCblConfig::inst();
  return VEX_TRACE_RESULT(config.compatLevel != compat300 && config.levelRestrictions);
}

// Names `def` `defName` in the data-definition registry and hands it to the
// repository as a stand-alone definition.
void vexCblAddStandalone(VexDataDefImpl &def, const std::string &defName) {
  VEX_TRACE(trcBlock, "vexCblAddStandalone");
  VEX_TRACE_ARGS(trcBlock) << "defName"
                           << "(" << defName << ") ";
  VexDataDefDomain &domain = VexDataDefDomain::getInstance();
  domain.registerDef(domain.getId(vexToUnicode(defName, false)), def);
  VexCvtRepository::getInstance()->addDef(&def);
}

// A member item holding `def` itself, with the OCCURS bounds of `item`.
// A DEPENDING ON item is referred to by name even when it is not an earlier
// member of the group: the reference is what the user wrote.
VexGroupItem vexCblMakeMember(const VexDataDef &def, const VexCblObjContext &item,
                              const std::string &uniqName, const VexGroupDefImpl &group) {
  VEX_TRACE(trcBlock, "vexCblMakeMember");
  VexGroupItem member = VexGroupItem::create();
  member->setName(vexToUnicode(uniqName, false));
  member->setDefinition(def);
  if (item.cardinality.hasDefault())
    return member;
  if (item.dependingOn.empty()) {
    member->setCardinality(item.cardinality.get());
    return member;
  }
  const VexString counter = vexToUnicode(item.dependingOn, false);
  if (group.findItemIndex(counter) < 0)
    vexCvtReportMsg("\n\tWarning: cardinality item '" + item.dependingOn +
                    "' specified \n\tfor item '" + uniqName + "' does not preceding the array.");
  member->setCardinality(item.cardinality.get(), VexGroupItemRef(counter));
  return member;
}

// A member item that stands for the stand-alone definition `def` (already
// registered), so the group keeps its layout while the redefinitions live
// beside it.
VexGroupItem vexCblMakeReferenceMember(const VexDataDefImpl &def, const std::string &uniqName) {
  VEX_TRACE(trcBlock, "vexCblMakeReferenceMember");
  VexGroupItem member = VexGroupItem::create();
  member->setName(vexToUnicode(uniqName, false));
  member->setDefinition(VexRef(def.id()));
  return member;
}

// Places the finished definition of one entry: stand-alone when it redefines
// or is redefined, in the repository at the top level, else as a member.
void vexCblPlaceDef(const VexDataDef &def, const VexCblObjContext &item,
                    const VexCblEntryNames &names, bool isRedefined, VexGroupDefImpl *parentGroup) {
  VEX_TRACE(trcBlock, "vexCblPlaceDef");
  VEX_TRACE_ARGS(trcBlock) << "uniqName"
                           << "(" << names.uniqName << ") "
                           << "defName"
                           << "(" << names.defName << ") "
                           << "isRedefined"
                           << "(" << isRedefined << ") ";
  if (!item.getRedefinesName().empty()) {
    vexCblAddStandalone(*def, names.defName);
    vexCvtReportMsg("\n\tWarning: REDEFINES keyword. \n\tStandalone definition '" + names.defName +
                    "' was generated \n\tfor redefining item.");
    return;
  }
  if (isRedefined) {
    vexCblAddStandalone(*def, names.defName);
    if (parentGroup == nullptr)
      return;
    parentGroup->addItem(vexCblMakeReferenceMember(*def, names.uniqName));
    vexCvtReportMsg("\n\tWarning: REDEFINES keyword. \n\tStandalone definition '" + names.defName +
                    "' was generated \n\tfor redefined item.");
    return;
  }
  if (parentGroup == nullptr) {
    vexCblAddStandalone(*def, names.defName);
    return;
  }
  parentGroup->addItem(vexCblMakeMember(def, item, names.uniqName, *parentGroup));
}

// Converts the members of the group entry `decl` into `group`. A redefining
// group is named after what it redefines as well, so that its stand-alone
// definition cannot be mistaken for the group it overlays.
void vexCblConvertMembers(const tree::decl &decl, VexCblGrpContext &parentGrp,
                          VexCblObjContext &item, VexGroupDefImpl &group) {
  VEX_TRACE(trcBlock, "vexCblConvertMembers");
  VexCblGrpContext child;
  if (!item.getRedefinesName().empty())
    item.name += "_REDEFINES_" + item.getRedefinesName();
  child.populate(parentGrp, item);
  vexCblTraverseDecl(decl.fields, child, &group);
}

// Converts one entry with its members and places its definition.
void vexCblConvertEntry(const tree::decl &decl, VexCblGrpContext &parentGrp,
                        VexGroupDefImpl *parentGroup) {
  VEX_TRACE(trcBlock, "vexCblConvertEntry");
  VexCblObjContext item;
  item.isGroup = vexCblStartsGroup(decl) ? 1 : 0;
  vexCblAheadObjExtr(decl.object, item);
  const VexCblReportContext report(item.name.c_str(), &decl.position);
  const bool isRedefined = vexCblIsRedefining(decl.next, GetCStr(decl.name));
  VEX_TRACE_DETAIL(trcBlock) << "Entry"
                             << "(" << item.name << ") "
                             << "level"
                             << "(" << decl.level << ") ";

  if (decl.level == levelRenames) {
    vexCvtReportMsg("\n\tWarning: RENAMES keyword was ignored.");
    return;
  }

  vexCblExtractObj(decl.object, item);
  VexDataDef def = vexCblCreateDef(parentGrp, item);
  if (!VexCblConfig::inst().noDescription)
    def->setDescription(vexToUnicode(item.description + ".", false));

  if (VexGroupDefImpl *group =
          def->isNonGroupDef() ? nullptr : rttiCast<VexGroupDefImpl>(def.getPeer()))
    vexCblConvertMembers(decl, parentGrp, item, *group);
  else if (decl.fields != nullptr && def->isPrimitiveDef() && vexCblWantsRestrictions())
    rttiCast<VexPrimitiveDefImpl>(def.getPeer())
        ->setRestriction(vexCblConditionValues(decl.fields));

  VexCblEntryNames names;
  names.uniqName = vexCblGetUniqName(parentGrp, item);
  names.defName = parentGroup == nullptr ? names.uniqName : parentGrp.path + "_" + names.uniqName;
  vexCblPlaceDef(def, item, names, isRedefined, parentGroup);
}

} // namespace

void vexCbDeftabDrv(Tree_Node *declList) {
  VEX_TRACE(trcBlock, "vexCbDeftabDrv");
  const VexCblConfig &config = VexCblConfig::inst();
  VEX_TRACE_ARGS(trcBlock) << "outputFileName"
                           << "(" << config.outputFileName << ") "
                           << "namespaceName"
                           << "(" << config.namespaceName << ") ";
  VexCvtRepository repository(vexCblAbsentWhenEmpty(config.outputFileName),
                              vexCblAbsentWhenEmpty(config.namespaceName));
  VexCblGrpContext topLevel;
  vexCblTraverseDecl(declList, topLevel, nullptr);
  repository.doExport();
}

void vexCblTraverseDecl(Tree_Node *decl, VexCblGrpContext &parentGrp,
                        VexGroupDefImpl *parentGroup) {
  VEX_TRACE(trcBlock, "vexCblTraverseDecl");
  // A loop rather than a call per sibling: a copybook of many thousand
  // top-level entries must not grow the stack with each one. Each entry's
  // contexts end with its turn, so messages still carry the current entry.
  for (auto *entry = as_if<tree::decl>(decl); entry != nullptr;
       entry = as_if<tree::decl>(entry->next))
    vexCblConvertEntry(*entry, parentGrp, parentGroup);
}

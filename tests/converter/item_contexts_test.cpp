// Tests sign/usage inheritance, group name paths, FILLER numbering and description text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/filler_names.h"
#include "converter/item_contexts.h"

namespace {

constexpr int usageDisplay = 14;
constexpr int usageBinary = 66;
constexpr int usageComp3 = 73;
constexpr int signLeading = 86;
constexpr int signTrailingSeparate = 89;

VexCblObjContext item(const char *name, int usage = 0, int sign = 0) {
  VexCblObjContext context;
  context.name = name;
  context.usage = usage;
  context.sign = sign;
  return context;
}

// The context of the group `groupItem` inside `parent`, as the walk makes it.
VexCblGrpContext group(const VexCblGrpContext &parent, const VexCblObjContext &groupItem) {
  VexCblGrpContext context;
  context.populate(parent, groupItem);
  return context;
}

TEST(ContextInheritance, GroupUsageReachesMembersWithoutTheirOwn) {
  const VexCblGrpContext top;
  const VexCblGrpContext packed = group(top, item("REC", usageComp3));
  EXPECT_EQ(vexCblGetUsage(packed, item("AMOUNT")), usageComp3);
  EXPECT_EQ(vexCblGetUsage(packed, item("TEXT", usageDisplay)), usageDisplay);
  // Outside any group nothing is inherited.
  EXPECT_EQ(vexCblGetUsage(top, item("REC")), 0);
}

TEST(ContextInheritance, NearestEnclosingClauseWins) {
  const VexCblGrpContext top;
  const VexCblGrpContext outer = group(top, item("TOP", usageComp3, signLeading));
  // A middle group without clauses passes the outer values through.
  const VexCblGrpContext plain = group(outer, item("MID"));
  EXPECT_EQ(plain.usage, usageComp3);
  EXPECT_EQ(plain.sign, signLeading);
  EXPECT_EQ(vexCblGetSign(plain, item("LEAF")), signLeading);
  // A middle group with its own clauses overrides them for everything below.
  const VexCblGrpContext own = group(outer, item("MID2", usageBinary, signTrailingSeparate));
  const VexCblGrpContext low = group(own, item("LOW"));
  EXPECT_EQ(vexCblGetUsage(low, item("LEAF")), usageBinary);
  EXPECT_EQ(vexCblGetSign(low, item("LEAF")), signTrailingSeparate);
  EXPECT_EQ(vexCblGetSign(low, item("LEAF", 0, signLeading)), signLeading);
}

TEST(ContextPath, NestedGroupsJoinTheirNames) {
  const VexCblGrpContext top;
  const VexCblGrpContext record = group(top, item("TOP"));
  EXPECT_EQ(record.path, "TOP");
  const VexCblGrpContext mid = group(record, item("MID"));
  const VexCblGrpContext low = group(mid, item("LOW"));
  EXPECT_EQ(low.path, "TOP_MID_LOW");
}

TEST(ContextPath, UnnamedAndFillerGroupsUseTheNameAsWritten) {
  const VexCblGrpContext top;
  VexCblGrpContext record = group(top, item("TOP"));
  // The member name of a FILLER group is numbered, its path is not.
  const VexCblObjContext filler = item("FILLER");
  EXPECT_EQ(vexCblGetUniqName(record, filler), "FILLER1");
  EXPECT_EQ(group(record, filler).path, "TOP_FILLER");
  EXPECT_EQ(group(record, item("")).path, "TOP_");
}

TEST(ContextUniqueName, FillersAreNumberedPerGroupInOrder) {
  const VexCblGrpContext top;
  VexCblGrpContext record = group(top, item("REC"));
  std::vector<std::string> names;
  for (const char *name : {"FILLER", "CUST-ID", "FILLER", "", "FILLER"})
    names.push_back(vexCblGetUniqName(record, item(name)));
  EXPECT_EQ(names,
            (std::vector<std::string>{"FILLER1", "CUST-ID", "FILLER2", "FILLER3", "FILLER4"}));

  // A nested group counts on its own and leaves the outer count alone.
  VexCblGrpContext nested = group(record, item("INNER"));
  EXPECT_EQ(vexCblGetUniqName(nested, item("FILLER")), "FILLER1");
  EXPECT_EQ(vexCblGetUniqName(record, item("FILLER")), "FILLER5");
}

TEST(ContextUniqueName, OnlyTheExactWordFillerIsReplaced) {
  VexCblGrpContext record;
  EXPECT_EQ(vexCblGetUniqName(record, item("FILLER-X")), "FILLER-X");
  EXPECT_EQ(vexCblGetUniqName(record, item("filler")), "filler");
  EXPECT_EQ(vexCblGetUniqName(record, item("FILLERS")), "FILLERS");
  // Equal data names are not made unique.
  EXPECT_EQ(vexCblGetUniqName(record, item("A")), "A");
  EXPECT_EQ(vexCblGetUniqName(record, item("A")), "A");
  EXPECT_EQ(record.fillerCount, 0);
}

TEST(ContextUniqueName, RepeatedNamesAreNumberedPerGroupUnderLenient) {
  VexCblGrpContext record;
  record.numberRepeatedNames = true;
  EXPECT_EQ(vexCblGetUniqName(record, item("VAR1")), "VAR1");
  EXPECT_EQ(vexCblGetUniqName(record, item("FILLER")), "FILLER1");
  EXPECT_EQ(vexCblGetUniqName(record, item("VAR1")), "VAR1_2");
  EXPECT_EQ(vexCblGetUniqName(record, item("FILLER")), "FILLER2");
  EXPECT_EQ(vexCblGetUniqName(record, item("VAR1")), "VAR1_3");
  // The spelling counts: a name written in another case is another name.
  EXPECT_EQ(vexCblGetUniqName(record, item("var1")), "var1");
  // A member group numbers its own members and inherits the choice.
  VexCblObjContext groupItem;
  groupItem.name = "GRP";
  VexCblGrpContext member;
  member.populate(record, groupItem);
  EXPECT_TRUE(member.numberRepeatedNames);
  EXPECT_EQ(vexCblGetUniqName(member, item("VAR1")), "VAR1");
}

TEST(ContextDescription, WordsAreSeparatedBySingleBlanks) {
  VexCblObjContext context;
  context.addToDescription(nullptr);
  context.addToDescription("");
  EXPECT_EQ(context.description, "");
  context.addToDescription("05");
  context.addToDescription("");
  context.addToDescription("AMOUNT");
  context.addToDescription(nullptr);
  context.addToDescription("PICTURE IS");
  EXPECT_EQ(context.description, "05 AMOUNT PICTURE IS");
}

} // namespace

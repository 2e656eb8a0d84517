#include "vexcvt/vexfcbl/vexcbdrv.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "reuse/StringM.h"
#include "tests/vexcvt/source_support.h"
#include "vexcvt/vexcvrep.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexcbcfg.h"

namespace {

constexpr int wordDisplay = 14;
constexpr int wordComp3 = 73;
constexpr int wordThrough = 155;

const char *const file = "REC.cpy";

VexString u(const std::string &text) { return vexToUnicode(text, false); }
std::string bytes(const VexString &text) { return vexToMbcs(text); }

// The declaration of a finished entry, placed at `line` of the test file.
template <typename Entry> tree::decl *declare(Entry &&entry, unsigned line) {
  return entry.at(vexTestPosition(file, line, 8)).declaration();
}

// A level-88 entry with one value per literal, in order.
tree::decl *condition(const char *name, std::initializer_list<tTree> literals, unsigned line) {
  tTree list = mnoexpression_l();
  for (tTree literal : literals)
    list = mexpression(list, literal);
  const tPosition at = vexTestPosition(file, line, 12);
  const std::string level = "88";
  auto *entry = mformat_3(mnodata_description_entry(), 88, PutString(level.data(), level.size()),
                          vexTestNormalised(name), at, MakeIdent(name), at, false, at, at,
                          ReverseTree(list), mnoexpression(NoPosition, NoPosition));
  return mdecl(nullptr, vexTestNormalised(name), at, at, at, 88, nullptr, nullptr, entry, nullptr,
               5);
}

// A level-78 constant entry.
tree::decl *constant(const char *name, tTree value, unsigned line) {
  const tPosition at = vexTestPosition(file, line, 8);
  const std::string level = "78";
  auto *entry = mformat_4(mnodata_description_entry(), 78, PutString(level.data(), level.size()),
                          vexTestNormalised(name), at, MakeIdent(name), at, false, at, at, value);
  return mdecl(nullptr, vexTestNormalised(name), at, at, at, 78, nullptr, nullptr, entry, nullptr,
               5);
}

// Links the entries as siblings in the given order; returns the first.
tree::decl *siblings(std::initializer_list<tree::decl *> entries) {
  tree::decl *previous = nullptr;
  for (tree::decl *entry : entries) {
    if (previous != nullptr)
      previous->next = entry;
    previous = entry;
  }
  return *entries.begin();
}

// Makes the sibling list starting at `first` the subordinate entries of `parent`.
tree::decl *below(tree::decl *parent, tree::decl *first) {
  parent->fields = first;
  for (Tree_Node *entry = first; entry != nullptr; entry = as<tree::decl>(entry)->next)
    as<tree::decl>(entry)->lower = parent;
  return parent;
}

struct WalkRun;
// The names the export reported, in the order of the document.
std::vector<std::string> exported(const WalkRun &run);
std::vector<std::string> exportedNames(const std::string &messages) {
  std::vector<std::string> names;
  const std::string marker = "Info: Definition exported '";
  for (auto at = messages.find(marker); at != std::string::npos;
       at = messages.find(marker, at + 1)) {
    const auto begin = at + marker.size();
    names.push_back(messages.substr(begin, messages.find('\'', begin) - begin));
  }
  return names;
}

// The text of one message about the entry `name` written at `line`.
std::string about(const char *name, unsigned line, const std::string &text) {
  return "\"REC.cpy\":" + std::string(line < 10 ? "   " : "  ") + std::to_string(line) + ",  8 (" +
         name + ") " + text + "\n";
}

std::string redefinedWarning(const std::string &name) {
  return "\n\tWarning: REDEFINES keyword. \n\tStandalone definition '" + name +
         "' was generated \n\tfor redefined item.";
}

std::string redefiningWarning(const std::string &name) {
  return "\n\tWarning: REDEFINES keyword. \n\tStandalone definition '" + name +
         "' was generated \n\tfor redefining item.";
}

// What a walk gave: its messages, those of the export, the document, and
// whether it ended with VexCvtError.
struct WalkRun {
  std::string messages;
  std::string exports;
  std::string document;
  bool threw = false;
};

std::vector<std::string> exported(const WalkRun &run) { return exportedNames(run.exports); }

class TraverseTest : public VexTreeTest {
protected:
  void SetUp() override {
    VexTreeTest::SetUp();
    saved_ = VexCblConfig::inst();
    VexCblConfig &config = VexCblConfig::inst();
    config.outputFileName.clear();
    config.namespaceName.clear();
    config.noDescription = false;
    config.levelRestrictions = false;
    config.compatLevel = 0;
  }
  void TearDown() override {
    VexCblConfig::inst() = saved_;
    VexTreeTest::TearDown();
  }

  // Walks `first` and its siblings as the members of the group `path`
  // (top level when `path` is empty, with `group` null), then exports what
  // reached the repository to the standard output.
  static WalkRun walk(tree::decl *first, const char *path = "", VexGroupDefImpl *group = nullptr) {
    WalkRun run;
    VexCvtRepository repository(nullptr, nullptr);
    VexCblGrpContext context;
    context.path = path;
    testing::internal::CaptureStderr();
    try {
      vexCblTraverseDecl(first, context, group);
    } catch (const VexCvtError &) {
      run.threw = true;
    }
    run.messages = testing::internal::GetCapturedStderr();
    if (run.threw)
      return run;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    repository.doExport();
    std::cout.flush();
    run.document = testing::internal::GetCapturedStdout();
    run.exports = testing::internal::GetCapturedStderr();
    return run;
  }

  // The whole driver on `first`, the document going to the standard output.
  static WalkRun drive(tree::decl *first) {
    WalkRun run;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    try {
      vexCbDeftabDrv(first);
    } catch (const VexCvtError &) {
      run.threw = true;
    }
    std::cout.flush();
    run.document = testing::internal::GetCapturedStdout();
    run.messages = testing::internal::GetCapturedStderr();
    run.exports = run.messages;
    return run;
  }

private:
  VexCblConfig saved_ = VexCblConfig::inst();
};

// A group of the model to walk members into.
VexDefAccessor<VexGroupDefImpl> group() { return VexDefAccessor<VexGroupDefImpl>::create(); }

// ---------------------------------------------------------------------------
// REDEFINES

TEST_F(TraverseTest, RedefinedMemberStaysAsReferenceAndRedefiningOneStandsAlone) {
  auto rec = group();
  tree::decl *a = declare(VexTestEntry("05", "A").picture("X(4)"), 2);
  tree::decl *b = declare(VexTestEntry("05", "B").redefines("A").picture("9(4)"), 3);
  WalkRun run = walk(siblings({a, b}), "REC", rec.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  ASSERT_EQ(rec->items().size(), 1u);
  const VexGroupItemImpl &member = *rec->items()[0];
  EXPECT_EQ(bytes(member.name()), "A");
  EXPECT_FALSE(member.definition());
  EXPECT_EQ(bytes(VexDataDefDomain::getInstance().getName(member.definitionRef())), "REC_A");
  EXPECT_FALSE(member.cardinality().isSet());
  EXPECT_EQ(exported(run), (std::vector<std::string>{"REC_A", "REC_B"}));
  EXPECT_NE(run.messages.find(about("A", 2, redefinedWarning("REC_A"))), std::string::npos)
      << run.messages;
  EXPECT_NE(run.messages.find(about("B", 3, redefiningWarning("REC_B"))), std::string::npos)
      << run.messages;
}

TEST_F(TraverseTest, WholeRecordListsItsStandaloneDefinitionsBeforeItself) {
  tree::decl *rec = declare(VexTestEntry("01", "REC"), 1);
  below(rec, siblings({declare(VexTestEntry("05", "A").picture("X(4)"), 2),
                       declare(VexTestEntry("05", "B").redefines("A").picture("9(4)"), 3)}));
  tree::decl *other = declare(VexTestEntry("01", "OTHER").picture("X"), 4);
  WalkRun run = drive(siblings({rec, other}));

  ASSERT_FALSE(run.threw) << run.messages;
  EXPECT_EQ(exported(run), (std::vector<std::string>{"REC_A", "REC_B", "REC", "OTHER"}));
  EXPECT_NE(run.document.find("<Item name=\"A\" ref=\"REC_A\""), std::string::npos) << run.document;
  EXPECT_EQ(run.document.find("name=\"B\""), std::string::npos) << run.document;
}

TEST_F(TraverseTest, RedefiningGroupIsNamedAfterWhatItRedefines) {
  auto rec = group();
  tree::decl *h = declare(VexTestEntry("05", "H").picture("X(6)"), 2);
  tree::decl *g = declare(VexTestEntry("05", "G").redefines("H"), 3);
  tree::decl *inner = declare(VexTestEntry("10", "G1").picture("X(2)"), 4);
  tree::decl *innerRedefining = declare(VexTestEntry("10", "G2").redefines("G1").picture("99"), 5);
  below(g,
        siblings({inner, innerRedefining, declare(VexTestEntry("10", "G3").picture("X(4)"), 6)}));
  WalkRun run = walk(siblings({h, g}), "REC", rec.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  // The members' stand-alone definitions come first, then the group that
  // holds them; the redefined H comes before both.
  EXPECT_EQ(exported(run), (std::vector<std::string>{"REC_H", "REC_G_REDEFINES_H_G1",
                                                     "REC_G_REDEFINES_H_G2", "REC_G_REDEFINES_H"}));
  EXPECT_NE(run.messages.find(about("G", 3, redefiningWarning("REC_G_REDEFINES_H"))),
            std::string::npos)
      << run.messages;
  ASSERT_EQ(rec->items().size(), 1u);
  EXPECT_EQ(bytes(rec->items()[0]->name()), "H");
}

TEST_F(TraverseTest, TopLevelRedefinitionWarnsOnlyForTheRedefiningRecord) {
  tree::decl *r1 = declare(VexTestEntry("01", "R1").picture("X(8)"), 1);
  tree::decl *r2 = declare(VexTestEntry("01", "R2").redefines("R1").picture("9(8)"), 2);
  WalkRun run = drive(siblings({r1, r2}));

  ASSERT_FALSE(run.threw) << run.messages;
  EXPECT_EQ(exported(run), (std::vector<std::string>{"R1", "R2"}));
  EXPECT_EQ(run.messages.find("redefined item"), std::string::npos) << run.messages;
  EXPECT_NE(run.messages.find(about("R2", 2, redefiningWarning("R2"))), std::string::npos)
      << run.messages;
}

TEST_F(TraverseTest, RedefinitionFurtherDownIsNotSeenFromTheRedefinedEntry) {
  // Only the entry right behind decides whether an entry is redefined.
  auto rec = group();
  tree::decl *a = declare(VexTestEntry("05", "A").picture("X(4)"), 2);
  tree::decl *c = declare(VexTestEntry("05", "C").picture("X(4)"), 3);
  tree::decl *d = declare(VexTestEntry("05", "D").redefines("A").picture("9(4)"), 4);
  WalkRun run = walk(siblings({a, c, d}), "REC", rec.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  ASSERT_EQ(rec->items().size(), 2u);
  EXPECT_TRUE(rec->items()[0]->definition());
  EXPECT_EQ(exported(run), (std::vector<std::string>{"REC_D"}));
}

// ---------------------------------------------------------------------------
// OCCURS and DEPENDING ON

TEST_F(TraverseTest, OccursBecomesTheMemberCardinality) {
  auto rec = group();
  tree::decl *n = declare(VexTestEntry("05", "N").picture("9"), 2);
  tree::decl *fixed = declare(VexTestEntry("05", "T").occurs(-1, 3).picture("X"), 3);
  tree::decl *table = declare(VexTestEntry("05", "V").occurs(1, 9, "N").picture("X"), 4);
  tree::decl *plain = declare(VexTestEntry("05", "P").picture("X"), 5);
  WalkRun run = walk(siblings({n, fixed, table, plain}), "REC", rec.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  ASSERT_EQ(rec->items().size(), 4u);
  EXPECT_FALSE(rec->items()[0]->cardinality().isSet());
  EXPECT_EQ(rec->items()[1]->cardinality().get(), VexRange(3));
  EXPECT_TRUE(rec->items()[1]->countItem().empty());
  EXPECT_EQ(rec->items()[2]->cardinality().get(), VexRange(1, 9));
  EXPECT_EQ(bytes(rec->items()[2]->countItem()), "N");
  EXPECT_FALSE(rec->items()[3]->cardinality().isSet());
  EXPECT_EQ(run.messages.find("cardinality item"), std::string::npos) << run.messages;
}

TEST_F(TraverseTest, DependingOnAnItemOutsideTheGroupWarnsAndKeepsTheReference) {
  auto rec = group();
  // N follows the table, so it is not yet a member when the table is placed.
  tree::decl *table = declare(VexTestEntry("05", "V").occurs(1, 9, "N").picture("X"), 2);
  tree::decl *n = declare(VexTestEntry("05", "N").picture("9"), 3);
  WalkRun run = walk(siblings({table, n}), "REC", rec.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  EXPECT_EQ(run.messages,
            about("V", 2,
                  "\n\tWarning: cardinality item 'N' specified \n\tfor item 'V' does not "
                  "preceding the array."));
  ASSERT_EQ(rec->items().size(), 2u);
  EXPECT_EQ(rec->items()[0]->cardinality().get(), VexRange(1, 9));
  EXPECT_EQ(bytes(rec->items()[0]->countItem()), "N");
}

// ---------------------------------------------------------------------------
// Level 88, 66 and 78

class ConditionTest : public TraverseTest {
protected:
  // STATUS PIC X with the conditions OPEN 'O', CLOSED 'C' and SHUT 'S';
  // returns the string definition it became.
  VexPrimitiveDefImpl *convertStatus() {
    tree::decl *status = declare(VexTestEntry("05", "STATUS").picture("X"), 2);
    below(status, siblings({condition("OPEN", {vexTestString("'O'")}, 3),
                            condition("CLOSED", {vexTestString("'C'")}, 4),
                            condition("SHUT", {vexTestString("'S'")}, 5)}));
    run_ = walk(status, "REC", rec_.getPeer());
    EXPECT_FALSE(run_.threw) << run_.messages;
    if (rec_->items().size() != 1)
      return nullptr;
    return rttiCast<VexPrimitiveDefImpl>(rec_->items()[0]->definition().getPeer());
  }
  VexDefAccessor<VexGroupDefImpl> rec_ = group();
  WalkRun run_;
};

TEST_F(ConditionTest, RestrictionListUnderOptionR) {
  VexCblConfig::inst().levelRestrictions = true;
  VexPrimitiveDefImpl *status = convertStatus();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(status->restriction().values(), (std::vector<VexString>{u("O"), u("C"), u("S")}));
  EXPECT_EQ(run_.messages, "");
}

TEST_F(ConditionTest, NoRestrictionListWithoutOptionR) {
  VexPrimitiveDefImpl *status = convertStatus();
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->restriction().empty());
}

TEST_F(ConditionTest, NoRestrictionListAtCompatibilityLevel300) {
  VexCblConfig::inst().levelRestrictions = true;
  VexCblConfig::inst().compatLevel = 300;
  VexPrimitiveDefImpl *status = convertStatus();
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(status->restriction().empty());
}

TEST_F(ConditionTest, RangesAndSeveralValuesOfOneCondition) {
  VexCblConfig::inst().levelRestrictions = true;
  tree::decl *code = declare(VexTestEntry("05", "CODE").picture("99"), 2);
  tTree range = mbinary(NoPosition, NoPosition, vexTestInteger("10"), wordThrough, NoPosition,
                        NoPosition, vexTestInteger("19"));
  below(code,
        siblings({condition("LOW", {vexTestInteger("1"), vexTestInteger("2")}, 3),
                  condition("TEENS", {range}, 4), condition("TOP", {vexTestInteger("99")}, 5)}));
  WalkRun run = walk(code, "REC", rec_.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  ASSERT_EQ(rec_->items().size(), 1u);
  const auto *def = rttiCast<VexPrimitiveDefImpl>(rec_->items()[0]->definition().getPeer());
  ASSERT_NE(def, nullptr);
  EXPECT_EQ(def->restriction().values(), (std::vector<VexString>{u("1"), u("2"), u("99")}));
}

TEST_F(ConditionTest, ConditionNamesMakeNoMembers) {
  VexPrimitiveDefImpl *status = convertStatus();
  ASSERT_NE(status, nullptr);
  EXPECT_EQ(bytes(rec_->items()[0]->name()), "STATUS");
  EXPECT_EQ(exported(run_), std::vector<std::string>{});
}

TEST_F(ConditionTest, ItemWhoseFirstSubordinateIsAConditionAndHasNoPictureIsInvalid) {
  // The conditions keep the item elementary; without picture or numeric
  // usage it has no type, and what comes after it is not converted.
  tree::decl *flags = declare(VexTestEntry("05", "FLAGS"), 2);
  below(flags, siblings({condition("ON", {vexTestString("'Y'")}, 3),
                         declare(VexTestEntry("10", "F1").picture("X"), 4)}));
  tree::decl *after = declare(VexTestEntry("05", "AFTER").redefines("FLAGS").picture("X"), 5);
  WalkRun run = walk(siblings({flags, after}), "REC", rec_.getPeer());

  EXPECT_TRUE(run.threw);
  EXPECT_EQ(run.messages, about("FLAGS", 2, "\n\tError: Invalid Cobol item or unknown datatype."));
  EXPECT_TRUE(rec_->items().empty());
}

TEST_F(TraverseTest, RenamesEntryIsSkippedWithAWarning) {
  auto rec = group();
  tree::decl *a = declare(VexTestEntry("05", "A").picture("X(4)"), 2);
  tree::decl *renames = declare(VexTestEntry("66", "ALIAS"), 3);
  tree::decl *c = declare(VexTestEntry("05", "C").picture("X"), 4);
  WalkRun run = walk(siblings({a, renames, c}), "REC", rec.getPeer());

  ASSERT_FALSE(run.threw) << run.messages;
  EXPECT_EQ(run.messages, about("ALIAS", 3, "\n\tWarning: RENAMES keyword was ignored."));
  ASSERT_EQ(rec->items().size(), 2u);
  EXPECT_EQ(bytes(rec->items()[1]->name()), "C");
}

TEST_F(TraverseTest, ConstantEntryIsInvalidAndEndsTheConversion) {
  tree::decl *first = declare(VexTestEntry("01", "FIRST").picture("X"), 1);
  tree::decl *max = constant("MAX-COUNT", vexTestInteger("10"), 2);
  WalkRun run = drive(siblings({first, max}));

  EXPECT_TRUE(run.threw);
  EXPECT_EQ(run.messages,
            about("MAX-COUNT", 2, "\n\tError: Invalid Cobol item or unknown datatype."));
  EXPECT_EQ(run.document, "");
}

// ---------------------------------------------------------------------------
// Names, descriptions, contexts

TEST_F(TraverseTest, FillersAreNumberedPerGroupAndRedefinedOnesStandAloneUnderThatName) {
  tree::decl *rec = declare(VexTestEntry("01", "REC"), 1);
  tree::decl *inner = declare(VexTestEntry("05", "INNER"), 4);
  below(inner, siblings({declare(VexTestEntry("10", "FILLER").picture("X"), 5),
                         declare(VexTestEntry("10", nullptr).picture("X"), 6)}));
  below(rec, siblings({declare(VexTestEntry("05", "FILLER").picture("X(2)"), 2),
                       declare(VexTestEntry("05", "FILLER").picture("X(2)"), 3), inner,
                       declare(VexTestEntry("05", "FILLER-X").picture("X"), 7)}));
  WalkRun run = drive(rec);

  ASSERT_FALSE(run.threw) << run.messages;
  for (const char *name : {"FILLER1", "FILLER2", "FILLER-X"})
    EXPECT_NE(run.document.find(std::string("<Item name=\"") + name + "\""), std::string::npos)
        << name << "\n"
        << run.document;
  // The nested group counts again from 1.
  const auto innerAt = run.document.find("<Item name=\"INNER\"");
  ASSERT_NE(innerAt, std::string::npos) << run.document;
  EXPECT_NE(run.document.find("<Item name=\"FILLER1\"", innerAt), std::string::npos);
  EXPECT_NE(run.document.find("<Item name=\"FILLER2\"", innerAt), std::string::npos);
}

TEST_F(TraverseTest, DescriptionRepeatsTheEntryUnlessSwitchedOff) {
  auto rec = group();
  tree::decl *amount =
      declare(VexTestEntry("5", "AMOUNT").picture("S9(7)V99").usage(wordComp3).occurs(-1, 12), 2);
  walk(amount, "REC", rec.getPeer());
  ASSERT_EQ(rec->items().size(), 1u);
  EXPECT_EQ(bytes(rec->items()[0]->definition()->description()),
            "05 AMOUNT PICTURE IS S9(7)V99 USAGE IS COMPUTATIONAL-3 OCCURS 12 TIMES.");

  VexCblConfig::inst().noDescription = true;
  auto again = group();
  tree::decl *name = declare(VexTestEntry("05", "NAME").picture("X(3)").usage(wordDisplay), 3);
  walk(name, "REC", again.getPeer());
  ASSERT_EQ(again->items().size(), 1u);
  EXPECT_TRUE(again->items()[0]->definition()->description().empty());
}

TEST_F(TraverseTest, MessagesCarryTheEntryBeingConverted) {
  // After a group's members, a message about the group's next sibling must
  // name that sibling, not the group's last member.
  tree::decl *rec = declare(VexTestEntry("01", "REC"), 1);
  tree::decl *grp = declare(VexTestEntry("05", "GRP"), 2);
  below(grp, siblings({declare(VexTestEntry("10", "X1").picture("X"), 3),
                       declare(VexTestEntry("10", "X2").redefines("X1").picture("9"), 4)}));
  below(rec, siblings({grp, declare(VexTestEntry("05", "R").picture("X"), 5),
                       declare(VexTestEntry("66", "REN"), 6)}));
  WalkRun run = drive(rec);

  ASSERT_FALSE(run.threw) << run.messages;
  const std::string expected = about("X1", 3, redefinedWarning("REC_GRP_X1")) +
                               about("X2", 4, redefiningWarning("REC_GRP_X2")) +
                               about("REN", 6, "\n\tWarning: RENAMES keyword was ignored.");
  EXPECT_EQ(run.messages.substr(0, expected.size()), expected) << run.messages;
}

TEST_F(TraverseTest, TracingChangesNothing) {
  auto record = [] {
    tree::decl *rec = declare(VexTestEntry("01", "REC"), 1);
    below(rec, siblings({declare(VexTestEntry("05", "A").picture("X(4)"), 2),
                         declare(VexTestEntry("05", "B").redefines("A").picture("9(4)"), 3),
                         declare(VexTestEntry("05", "T").occurs(1, 4, "Z").picture("X"), 4)}));
    return rec;
  };
  WalkRun quiet = drive(record());
  std::string trace;
  WalkRun traced;
  {
    VexTraceCapture capture;
    traced = drive(record());
    trace = capture.text();
  }
  EXPECT_EQ(traced.messages, quiet.messages);
  EXPECT_EQ(traced.document, quiet.document);
  EXPECT_NE(trace.find("vexCblTraverseDecl"), std::string::npos);
  EXPECT_NE(trace.find("defName(REC_B)"), std::string::npos) << trace;
}

TEST_F(TraverseTest, EmptyListExportsNothing) {
  WalkRun run = drive(nullptr);
  ASSERT_FALSE(run.threw);
  EXPECT_EQ(run.messages, "Warning: Nothing to export. No converted definitions exist.\n");
  EXPECT_EQ(run.document, "");
}

TEST_F(TraverseTest, LongSiblingListsDoNotDeepenTheStack) {
  // Regression: one call per sibling overflowed the stack on copybooks with
  // tens of thousands of entries in one group.
  constexpr int count = 200000;
  tree::decl *first = nullptr;
  tree::decl *last = nullptr;
  for (int i = 0; i < count; ++i) {
    tree::decl *entry = VexTestEntry("05", nullptr).picture("X").declaration();
    if (last != nullptr)
      last->next = entry;
    else
      first = entry;
    last = entry;
  }
  auto rec = group();
  WalkRun run = walk(first, "REC", rec.getPeer());
  ASSERT_FALSE(run.threw);
  ASSERT_EQ(rec->items().size(), static_cast<std::size_t>(count));
  EXPECT_EQ(bytes(rec->items().back()->name()), "FILLER" + std::to_string(count));
}

} // namespace

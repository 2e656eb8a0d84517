// The record model of copybooks: typed usages, categories, signs, tables, redefinitions,
// renames and conditions, with offsets and lengths worked out by hand under IBM's rules.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include <nlohmann/json.hpp>

#include "record/storage.h"
#include "tests/record/model_support.h"

namespace {

const char mixed[] = "01  REC.\n"
                     "    05  CNT          PIC S9(4) COMP.\n"
                     "    05  KIND         PIC X.\n"
                     "        88  K-A      VALUE 'A'.\n"
                     "        88  K-NUM    VALUE 1 THRU 5, 9.\n"
                     "        88  K-HEX    VALUE X'C1'.\n"
                     "        88  K-SP     VALUE SPACES.\n"
                     "        88  K-ALL    VALUE ALL '*'.\n"
                     "    05  AMT          PIC S9(5)V99 COMP-3.\n"
                     "    05  ZL           PIC S9(3) SIGN LEADING SEPARATE.\n"
                     "    05  ZT           PIC S9(3).\n"
                     "    05  U3           PIC 9(3).\n"
                     "    05  ED           PIC ZZ9.99-.\n"
                     "    05  BODY.\n"
                     "        10  B-TEXT   PIC X(6).\n"
                     "    05  BODY-NUM REDEFINES BODY PIC 9(6).\n"
                     "    05  FILLER       PIC X(2).\n"
                     "    05  TAB OCCURS 1 TO 5 DEPENDING ON CNT.\n"
                     "        10  T-VAL    PIC X.\n"
                     "        10  FILLER   PIC X.\n"
                     "    66  RN RENAMES KIND THRU AMT.\n"
                     "01  OTHER-REC.\n"
                     "    05  F1           COMP-1.\n"
                     "    05  F2           COMP-2.\n"
                     "    05  IX           INDEX.\n"
                     "    05  PT           POINTER.\n"
                     "    05  NN           PIC N(3).\n"
                     "    05  GG           PIC G(2) DISPLAY-1.\n"
                     "    05  EX           PIC +9.9(3)E+99.\n"
                     "    05  AL           PIC A(3).\n";

TEST(RecordModel, ItemsAreTypedAndPlaced) {
  const BuiltModel built = BuildModel(mixed);
  ASSERT_FALSE(built.failed) << built.messages;
  const RecordModel &model = built.model;
  ASSERT_EQ(model.records.size(), 2u);

  struct Expected {
    const char *path;
    std::int64_t offset, length;
    Usage usage;
    Category category;
  };
  // Binary of 4 digits: 2 bytes; 7 packed digits: 7 / 2 + 1 = 4; a separate
  // sign is a byte of its own; ZZ9.99- takes 7 positions; NATIONAL and
  // DISPLAY-1 two bytes a character; +9.9(3)E+99 ten.
  const Expected expected[] = {
      {"REC", 0, 42, Usage::none, Category::group},
      {"REC.CNT", 0, 2, Usage::comp, Category::numeric},
      {"REC.KIND", 2, 1, Usage::display, Category::alphanumeric},
      {"REC.AMT", 3, 4, Usage::comp3, Category::numeric},
      {"REC.ZL", 7, 4, Usage::display, Category::numeric},
      {"REC.ZT", 11, 3, Usage::display, Category::numeric},
      {"REC.U3", 14, 3, Usage::display, Category::numeric},
      {"REC.ED", 17, 7, Usage::display, Category::numericEdited},
      {"REC.BODY", 24, 6, Usage::none, Category::group},
      {"REC.BODY.B-TEXT", 24, 6, Usage::display, Category::alphanumeric},
      {"REC.BODY-NUM", 24, 6, Usage::display, Category::numeric},
      {"REC.FILLER1", 30, 2, Usage::display, Category::alphanumeric},
      {"REC.TAB", 32, 2, Usage::none, Category::group},
      {"REC.TAB.T-VAL", 32, 1, Usage::display, Category::alphanumeric},
      {"REC.TAB.FILLER1", 33, 1, Usage::display, Category::alphanumeric},
      {"OTHER-REC", 0, 43, Usage::none, Category::group},
      {"OTHER-REC.F1", 0, 4, Usage::comp1, Category::floatingPoint},
      {"OTHER-REC.F2", 4, 8, Usage::comp2, Category::floatingPoint},
      {"OTHER-REC.IX", 12, 4, Usage::index, Category::index},
      {"OTHER-REC.PT", 16, 4, Usage::pointer, Category::pointer},
      {"OTHER-REC.NN", 20, 6, Usage::national, Category::national},
      {"OTHER-REC.GG", 26, 4, Usage::display1, Category::dbcs},
      {"OTHER-REC.EX", 30, 10, Usage::display, Category::externalFloatingPoint},
      {"OTHER-REC.AL", 40, 3, Usage::display, Category::alphabetic},
  };
  for (const Expected &e : expected) {
    SCOPED_TRACE(e.path);
    const ModelItem &item = Item(model, e.path);
    EXPECT_EQ(item.offset, e.offset);
    EXPECT_EQ(item.length, e.length);
    EXPECT_EQ(item.usage, e.usage);
    EXPECT_EQ(item.category, e.category);
  }
  // One to five occurrences of two bytes after 32 fixed ones.
  EXPECT_EQ(model.records[0].length, 42);
  EXPECT_EQ(model.records[0].minLength, 34);
  EXPECT_EQ(model.records[1].name, "OTHER-REC");
  EXPECT_EQ(model.records[1].minLength, 43);
}

TEST(RecordModel, SignsAreTypedByWhereTheyAre) {
  const BuiltModel built = BuildModel(mixed);
  const RecordModel &model = built.model;
  EXPECT_EQ(Item(model, "REC.CNT").isSigned, true);
  EXPECT_EQ(Item(model, "REC.CNT").sign, SignForm::none); // binary: the format places it
  EXPECT_EQ(Item(model, "REC.AMT").isSigned, true);
  EXPECT_EQ(Item(model, "REC.ZL").sign, SignForm::leadingSeparate);
  EXPECT_EQ(Item(model, "REC.ZT").sign, SignForm::trailing);
  EXPECT_EQ(Item(model, "REC.U3").isSigned, false);
  EXPECT_EQ(Item(model, "REC.U3").sign, SignForm::none);
  // An edited picture shows its sign; the item is not a signed number.
  EXPECT_FALSE(Item(model, "REC.ED").isSigned.has_value());
  ASSERT_TRUE(Item(model, "REC.ED").picture.has_value());
  EXPECT_EQ(Item(model, "REC.ED").picture->sign, PictureSign::minus);
  EXPECT_EQ(Item(model, "REC.AMT").picture->scale, 2);
}

TEST(RecordModel, TablesRedefinitionsAndRenamesPointAtTheirItems) {
  const BuiltModel built = BuildModel(mixed);
  const RecordModel &model = built.model;
  const ModelItem &table = Item(model, "REC.TAB");
  ASSERT_TRUE(table.occurs.has_value());
  EXPECT_EQ(table.occurs->min, 1);
  EXPECT_EQ(table.occurs->max, 5);
  EXPECT_EQ(table.occurs->dependingOn, ItemAt(model, "REC.CNT"));
  EXPECT_EQ(table.occurs->dependingOnName, "CNT");
  EXPECT_TRUE(Item(model, "REC.FILLER1").variable == false);

  const int body = ItemAt(model, "REC.BODY");
  const ModelItem &number = Item(model, "REC.BODY-NUM");
  EXPECT_EQ(number.redefines, body);
  EXPECT_EQ(number.area, body);
  EXPECT_EQ(Item(model, "REC.BODY").alternatives, std::vector<int>{ItemAt(model, "REC.BODY-NUM")});

  const ModelItem &renames = Item(model, "REC.RN");
  EXPECT_EQ(renames.level, 66);
  EXPECT_EQ(renames.renames, ItemAt(model, "REC.KIND"));
  EXPECT_EQ(renames.renamesThru, ItemAt(model, "REC.AMT"));
  EXPECT_EQ(renames.offset, 2);
  EXPECT_EQ(renames.length, 5); // KIND, AMT: bytes 2 to 6

  // Parents and members in source order.
  const ModelItem &record = Item(model, "REC");
  ASSERT_FALSE(record.members.empty());
  EXPECT_EQ(record.members.front(), ItemAt(model, "REC.CNT"));
  EXPECT_EQ(Item(model, "REC.TAB.T-VAL").parent, ItemAt(model, "REC.TAB"));
  EXPECT_EQ(Item(model, "REC.TAB.FILLER1").fillerNumber, 1);
  EXPECT_TRUE(Item(model, "REC.TAB.FILLER1").isFiller());
  EXPECT_EQ(Item(model, "REC.TAB.FILLER1").key, "FILLER");
}

// Regression: a redefinition of a redefinition was placed after the area
// and grew the group.
TEST(RecordModel, RedefinitionsOfRedefinitionsShareTheirArea) {
  const BuiltModel built = BuildModel("01  R.\n"
                                      "    05  A  PIC X(10).\n"
                                      "    05  B REDEFINES A PIC X(4).\n"
                                      "    05  C REDEFINES B PIC X(8).\n"
                                      "    05  D REDEFINES A PIC X(6).\n"
                                      "    05  E  PIC X.\n");
  ASSERT_FALSE(built.failed) << built.messages;
  const RecordModel &model = built.model;
  const int a = ItemAt(model, "R.A");
  for (const char *path : {"R.B", "R.C", "R.D"}) {
    EXPECT_EQ(Item(model, path).offset, 0) << path;
    EXPECT_EQ(Item(model, path).area, a) << path;
  }
  EXPECT_EQ(Item(model, "R.C").redefines, ItemAt(model, "R.B"));
  EXPECT_EQ(Item(model, "R.A").alternatives,
            (std::vector<int>{ItemAt(model, "R.B"), ItemAt(model, "R.C"), ItemAt(model, "R.D")}));
  EXPECT_EQ(Item(model, "R.E").offset, 10);
  EXPECT_EQ(model.records[0].length, 11);
}

// Regression: a SYNCHRONIZED binary of 10 to 18 digits was put on a
// multiple of 8. IBM: a fullword, as every binary of 5 digits and more;
// COMP-2 alone on a doubleword.
TEST(RecordModel, SynchronizedItemsTakeIbmsBoundaries) {
  const BuiltModel built = BuildModel("01  S.\n"
                                      "    05  HEAD  PIC X(25).\n"
                                      "    05  BIG   PIC S9(18) COMP SYNC.\n"
                                      "    05  MID   PIC X(3).\n"
                                      "    05  TEN   PIC 9(10) BINARY SYNC.\n"
                                      "    05  X1    PIC X.\n"
                                      "    05  DBL   COMP-2 SYNC.\n"
                                      "    05  X2    PIC X.\n"
                                      "    05  HALF  PIC S9(4) COMP-5 SYNC.\n"
                                      "    05  X3    PIC X.\n"
                                      "    05  PP    PROCEDURE-POINTER SYNC.\n");
  ASSERT_FALSE(built.failed) << built.messages;
  struct Expected {
    const char *path;
    std::int64_t offset, slack;
  };
  for (const Expected &e :
       {Expected{"S.BIG", 28, 3}, Expected{"S.MID", 36, 0}, Expected{"S.TEN", 40, 1},
        Expected{"S.X1", 48, 0}, Expected{"S.DBL", 56, 7}, Expected{"S.X2", 64, 0},
        Expected{"S.HALF", 66, 1}, Expected{"S.X3", 68, 0}, Expected{"S.PP", 72, 3}}) {
    EXPECT_EQ(Item(built.model, e.path).offset, e.offset) << e.path;
    EXPECT_EQ(Item(built.model, e.path).slackBefore, e.slack) << e.path;
  }
  EXPECT_EQ(built.model.records[0].length, 80);
}

// Regression: an unsigned member of a group with SIGN TRAILING SEPARATE took
// a sign byte too.
TEST(RecordModel, AGroupsSeparateSignIsForItsSignedNumbersOnly) {
  const BuiltModel built = BuildModel("01  G-REC.\n"
                                      "    05  G SIGN TRAILING SEPARATE.\n"
                                      "        10  S1  PIC S9(2).\n"
                                      "        10  U1  PIC 9(2).\n"
                                      "        10  X1  PIC X(2).\n"
                                      "        10  E1  PIC Z9.\n"
                                      "    05  L1  PIC S9(2) SIGN LEADING SEPARATE.\n");
  ASSERT_FALSE(built.failed) << built.messages;
  const RecordModel &model = built.model;
  EXPECT_EQ(Item(model, "G-REC.G.S1").length, 3);
  EXPECT_EQ(Item(model, "G-REC.G.S1").sign, SignForm::trailingSeparate);
  EXPECT_EQ(Item(model, "G-REC.G.U1").length, 2);
  EXPECT_EQ(Item(model, "G-REC.G.U1").sign, SignForm::none);
  EXPECT_EQ(Item(model, "G-REC.G.X1").length, 2);
  EXPECT_EQ(Item(model, "G-REC.G.E1").length, 2);
  EXPECT_EQ(Item(model, "G-REC.L1").offset, 9);
  EXPECT_EQ(Item(model, "G-REC.L1").length, 3);
  EXPECT_EQ(model.records[0].length, 12);
  EXPECT_EQ(built.messages, "");
  // An item's own SIGN SEPARATE without S: compilers refuse it, so no COBOL
  // program writes such records; the programs that do follow the clause and
  // write the byte. Laid out with it, signed, and a warning.
  const BuiltModel own = BuildModel("01  R.\n"
                                    "    05  A  PIC 99V99 SIGN LEADING SEPARATE.\n"
                                    "    05  B  PIC X.\n");
  EXPECT_EQ(Item(own.model, "R.A").length, 5);
  EXPECT_EQ(Item(own.model, "R.A").sign, SignForm::leadingSeparate);
  EXPECT_EQ(Item(own.model, "R.B").offset, 5);
  EXPECT_EQ(own.messages, "\"T.cpy\":   2, 16 (A) \n\tWarning: SIGN SEPARATE of an item without "
                          "S in its picture. \n\tIt was laid out as signed, with its sign byte.\n");
}

// Regression: a binary of more than 18 digits was silently 8 bytes.
TEST(RecordModel, ABinaryOfMoreThanEighteenDigitsIsRefusedByName) {
  const BuiltModel eighteen = BuildModel("01  R.\n"
                                         "    05  A  PIC S9(18) COMP-5.\n");
  EXPECT_FALSE(eighteen.failed);
  EXPECT_EQ(Item(eighteen.model, "R.A").length, 8);
  const BuiltModel nineteen = BuildModel("01  R.\n"
                                         "    05  A  PIC X.\n"
                                         "    05  B  PIC 9(17)V99 BINARY.\n");
  EXPECT_TRUE(nineteen.failed);
  EXPECT_EQ(nineteen.messages, "\"T.cpy\":   3, 16 (B) \n\tError: Binary item of 19 digits; "
                               "binary items hold 18 digits at most.\n");
}

TEST(RecordModel, ARedefinitionLargerThanItsStorageIsLaidOutWithAWarning) {
  const BuiltModel built = BuildModel("01  R.\n"
                                      "    05  A  PIC X(4).\n"
                                      "    05  B REDEFINES A PIC X(2).\n"
                                      "    05  C REDEFINES B PIC X(6).\n"
                                      "    05  D  PIC X.\n"
                                      "01  R2 REDEFINES R PIC X(20).\n");
  ASSERT_FALSE(built.failed);
  // C is compared with A, whose storage it takes, not with B; a record may
  // redefine a shorter one.
  EXPECT_EQ(built.messages, "\"T.cpy\":   4, 16 (C) \n\tWarning: The item takes 6 bytes, more "
                            "than the 4 bytes of A, which it redefines.\n");
  EXPECT_EQ(Item(built.model, "R.D").offset, 6);
}

TEST(RecordModel, ConditionValuesAreTyped) {
  const BuiltModel built = BuildModel(mixed);
  const ModelItem &kind = Item(built.model, "REC.KIND");
  ASSERT_EQ(kind.conditions.size(), 5u);
  using Kind = ConditionLiteral::Kind;
  EXPECT_EQ(kind.conditions[0].name, "K-A");
  EXPECT_EQ(kind.conditions[0].values[0].value.kind, Kind::alphanumeric);
  EXPECT_EQ(kind.conditions[0].values[0].value.text, "A");
  const Condition &range = kind.conditions[1];
  ASSERT_EQ(range.values.size(), 2u);
  EXPECT_EQ(range.values[0].value.kind, Kind::number);
  EXPECT_EQ(range.values[0].value.text, "1");
  ASSERT_TRUE(range.values[0].through.has_value());
  EXPECT_EQ(range.values[0].through->text, "5");
  EXPECT_FALSE(range.values[1].through.has_value());
  EXPECT_EQ(kind.conditions[2].values[0].value.kind, Kind::hexadecimal);
  EXPECT_EQ(kind.conditions[2].values[0].value.text, "\\hC1");
  EXPECT_EQ(kind.conditions[3].values[0].value.kind, Kind::figurative);
  EXPECT_EQ(kind.conditions[3].values[0].value.text, " ");
  EXPECT_TRUE(kind.conditions[4].values[0].value.all);
  EXPECT_EQ(kind.conditions[4].values[0].value.text, "*");
}

TEST(RecordModel, NamesAreFoundByTheirTailsAsCobolComparesThem) {
  const BuiltModel built = BuildModel(mixed);
  const RecordModel &model = built.model;
  const int value = ItemAt(model, "REC.TAB.T-VAL");
  EXPECT_EQ(model.find("T-VAL"), value);
  EXPECT_EQ(model.find("tab.t_val"), value);
  EXPECT_EQ(model.find("REC.TAB.T-VAL"), value);
  EXPECT_EQ(model.find("AB.T-VAL"), -1); // a name boundary, not a text tail
  EXPECT_EQ(model.find("NOPE"), -1);
  EXPECT_EQ(model.findAll("FILLER1").size(), 2u);
  EXPECT_EQ(model.findRecord("other-rec"), 1);
  EXPECT_EQ(model.findRecord("REC.CNT"), -1);
}

TEST(RecordModel, LenientUsagesKeepTheirOwnSizeAndSignedness) {
  const BuiltModel built = BuildModel("01  D-REC.\n"
                                      "    05  B-U   BINARY-LONG UNSIGNED.\n"
                                      "    05  B-S   BINARY-SHORT.\n"
                                      "    05  P6    PIC S9(5) COMP-6.\n"
                                      "    05  P6U   PIC 9(5) COMP-6.\n"
                                      "    05  CX    PIC 9(5) COMP-X.\n",
                                      true);
  ASSERT_FALSE(built.failed) << built.messages;
  const RecordModel &model = built.model;
  EXPECT_EQ(Item(model, "D-REC.B-U").usage, Usage::binaryLongUnsigned);
  EXPECT_EQ(Item(model, "D-REC.B-U").isSigned, false);
  EXPECT_EQ(Item(model, "D-REC.B-U").length, 4);
  EXPECT_EQ(Item(model, "D-REC.B-S").isSigned, true);
  EXPECT_EQ(Item(model, "D-REC.B-S").length, 2);
  // GnuCOBOL stores a signed COMP-6 as COMP-3: 5 digits in 3 bytes.
  EXPECT_EQ(Item(model, "D-REC.P6").usage, Usage::comp3);
  EXPECT_EQ(Item(model, "D-REC.P6").length, 3);
  EXPECT_EQ(Item(model, "D-REC.P6U").usage, Usage::comp6);
  EXPECT_EQ(Item(model, "D-REC.P6U").length, 3);
  // 5 digits fit the 7 an unsigned 3-byte integer always holds.
  EXPECT_EQ(Item(model, "D-REC.CX").length, 3);
  EXPECT_STREQ(usageName(Usage::binaryLongUnsigned), "BINARY-LONG");
}

TEST(RecordModel, AnItemWithoutStorageEndsTheBuildNamingIt) {
  const BuiltModel built = BuildModel("01  R.\n"
                                      "    05  A  PIC X.\n"
                                      "    05  B  COMP-7 PIC 9(3).\n");
  EXPECT_TRUE(built.failed);
  EXPECT_EQ(built.messages, "\"T.cpy\":   3, 16 (B) \n\tError: Unknown usage is specified.\n");
}

TEST(StorageRules, BinaryAndPackedLengthsFollowTheDigits) {
  // IBM: binary 1-4 digits a halfword, 5-9 a fullword, 10-18 a doubleword;
  // packed digits / 2 + 1 bytes.
  for (const auto &[digits, bytes] :
       std::vector<std::pair<int, int>>{{1, 2}, {4, 2}, {5, 4}, {9, 4}, {10, 8}, {18, 8}})
    EXPECT_EQ(binaryLength(digits), bytes) << digits;
  const ParsedPicture seven = parsePicture("S9(5)V99");
  EXPECT_EQ(storageOf(Usage::packedDecimal, &seven, false).length, 4);
  const ParsedPicture six = parsePicture("9(6)");
  EXPECT_EQ(storageOf(Usage::comp3, &six, false).length, 4);
  EXPECT_FALSE(storageOf(Usage::comp3, nullptr, false).known);
  EXPECT_EQ(storageOf(Usage::display, &six, true).length, 7);
}

// Regression: the layout schema refused the usage names of the GnuCOBOL
// and Micro Focus usages that -lenient lays out.
TEST(RecordModel, EveryUsageNameTheLayoutWritesIsInItsSchema) {
  std::ifstream in(std::filesystem::path(VEX_SOURCE_DIR) / "schema/layout.schema.json");
  ASSERT_TRUE(in);
  const nlohmann::json schema = nlohmann::json::parse(in);
  std::set<std::string> allowed;
  for (const auto &name : schema["$defs"]["item"]["properties"]["usage"]["enum"])
    allowed.insert(name.get<std::string>());
  for (int usage = 0; usage <= static_cast<int>(Usage::other); ++usage) {
    const std::string name = usageName(static_cast<Usage>(usage));
    EXPECT_TRUE(name.empty() || allowed.count(name) != 0) << name;
  }
}

} // namespace

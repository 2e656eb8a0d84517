#include <gtest/gtest.h>

#include <string>

#include "reuse/Idents.h"
#include "tests/vexcvt/source_support.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexcbctx.h"
#include "vexcvt/vexfcbl/vexcbprs.h"

namespace {

constexpr int wordBinary = 66;
constexpr int wordComp3 = 73;
constexpr int wordLeadingSeparate = 87;

constexpr const char *syncWarning =
    "\n\tWarning: SYNCHRONIZED keyword is not supported. \n\tSYNCHRONIZED was ignored.\n";

// Entries parsed from copybook text, read as the declaration walk reads
// them: the name first, then the clauses.
class ExtractSourceTest : public VexSourceTest {
protected:
  VexCblObjContext extracted(const char *name) {
    VexCblObjContext item;
    tree::format_1 *entry = entryOf(name);
    vexCblAheadObjExtr(entry, item);
    vexCblExtractObj(entry, item);
    return item;
  }
  // What extracting `name` writes on the standard error stream.
  std::string stderrOf(const char *name, VexCblObjContext &item) {
    tree::format_1 *entry = entryOf(name);
    vexCblAheadObjExtr(entry, item);
    testing::internal::CaptureStderr();
    vexCblExtractObj(entry, item);
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(ExtractSourceTest, PackedTableEntryInWords) {
  ASSERT_EQ(parse("01 REC.\n    05 AMOUNT PIC S9(7)V99 COMP-3 OCCURS 12.\n"), 0) << messages;
  const VexCblObjContext item = extracted("AMOUNT");
  EXPECT_EQ(item.description,
            "05 AMOUNT PICTURE IS S9(7)V99 USAGE IS COMPUTATIONAL-3 OCCURS 12 TIMES");
  EXPECT_EQ(item.name, "AMOUNT");
  ASSERT_NE(item.picture, nullptr);
  EXPECT_EQ(item.picture->getPictureVal(), "S9(7)V99");
  EXPECT_EQ(item.usage, wordComp3);
  EXPECT_EQ(item.sign, 0);
  EXPECT_TRUE(item.cardinality.isSet());
  EXPECT_EQ(item.cardinality.get(), VexRange(12));
  EXPECT_EQ(item.dependingOn, "");
  EXPECT_EQ(item.value, nullptr);

  // The group entry has no clauses of its own.
  const VexCblObjContext record = extracted("REC");
  EXPECT_EQ(record.description, "01 REC");
  EXPECT_FALSE(record.cardinality.isSet());
  EXPECT_EQ(record.cardinality.get(), VexRange(1));
}

TEST_F(ExtractSourceTest, DependingOnWithAndWithoutLowerBound) {
  ASSERT_EQ(parse("01 REC.\n"
                  "    05 N PIC 99.\n"
                  "    05 ITEMS PIC X(10) OCCURS 50 TIMES DEPENDING ON N.\n"
                  "    05 RANGED OCCURS 1 TO 50 DEPENDING N PIC X(10).\n"
                  "    05 ROWS OCCURS 3 TO 9 TIMES DEPENDING ON n PIC X.\n"),
            0)
      << messages;
  const VexCblObjContext items = extracted("ITEMS");
  EXPECT_TRUE(items.cardinality.isSet());
  EXPECT_EQ(items.cardinality.get(), VexRange(1, 50));
  EXPECT_EQ(items.dependingOn, "N");
  EXPECT_EQ(items.description, "05 ITEMS PICTURE IS X(10) OCCURS 1 TO 50 TIMES DEPENDING ON N");

  EXPECT_EQ(extracted("RANGED").description,
            "05 RANGED OCCURS 1 TO 50 TIMES DEPENDING ON N PICTURE IS X(10)");

  // The depending item keeps its spelling; a written minimum is kept.
  const VexCblObjContext rows = extracted("ROWS");
  EXPECT_EQ(rows.cardinality.get(), VexRange(3, 9));
  EXPECT_EQ(rows.dependingOn, "n");
  EXPECT_EQ(rows.description, "05 ROWS OCCURS 3 TO 9 TIMES DEPENDING ON n PICTURE IS X");
}

TEST_F(ExtractSourceTest, AllLiteralsAreExpandable) {
  ASSERT_EQ(parse("01 REC.\n"
                  "    05 STARS PIC X(5) VALUE ALL \"AB\".\n"
                  "    05 NOUGHTS PIC 9(3) VALUE IS ALL ZERO.\n"
                  "    05 PLAIN PIC X(2) VALUE 'AB'.\n"),
            0)
      << messages;
  const VexCblObjContext stars = extracted("STARS");
  ASSERT_NE(stars.value, nullptr);
  EXPECT_TRUE(stars.value->isExpandable());
  EXPECT_EQ(stars.value->getType(), VexCblValue::Alphanumeric);
  EXPECT_EQ(stars.value->getValue(), "AB");
  EXPECT_EQ(stars.description, "05 STARS PICTURE IS X(5) VALUE IS ALL \"AB\"");

  const VexCblObjContext noughts = extracted("NOUGHTS");
  ASSERT_NE(noughts.value, nullptr);
  EXPECT_TRUE(noughts.value->isExpandable());
  EXPECT_EQ(noughts.value->getType(), VexCblValue::FigurativeConstant);
  EXPECT_EQ(noughts.description, "05 NOUGHTS PICTURE IS 9(3) VALUE IS ALL ZERO");

  const VexCblObjContext plain = extracted("PLAIN");
  ASSERT_NE(plain.value, nullptr);
  EXPECT_FALSE(plain.value->isExpandable());
}

TEST_F(ExtractSourceTest, LiteralKindsSetTheValue) {
  ASSERT_EQ(parse("01 REC.\n"
                  "    05 GAP PIC X(3) VALUE SPACES.\n"
                  "    05 DELTA PIC S9(3) VALUE -012.\n"
                  "    05 RATE PIC 9V99 VALUE 1.25.\n"
                  "    05 CODE-X PIC X VALUE 'A' VALUE 'B'.\n"),
            0)
      << messages;
  const VexCblObjContext gap = extracted("GAP");
  ASSERT_NE(gap.value, nullptr);
  EXPECT_EQ(gap.value->getType(), VexCblValue::FigurativeConstant);
  EXPECT_EQ(gap.description, "05 GAP PICTURE IS X(3) VALUE IS SPACES");

  const VexCblObjContext delta = extracted("DELTA");
  ASSERT_NE(delta.value, nullptr);
  EXPECT_EQ(delta.value->getType(), VexCblValue::Numeric);
  EXPECT_EQ(delta.value->getValue(), "-012");
  EXPECT_EQ(delta.description, "05 DELTA PICTURE IS S9(3) VALUE IS -012");

  const VexCblObjContext rate = extracted("RATE");
  ASSERT_NE(rate.value, nullptr);
  EXPECT_EQ(rate.value->getType(), VexCblValue::Numeric);
  EXPECT_EQ(rate.value->getValue(), "1.25");

  // Repeated VALUE clauses: one value object, the last literal decides.
  const VexCblObjContext code = extracted("CODE-X");
  ASSERT_NE(code.value, nullptr);
  EXPECT_EQ(code.value->getValue(), "B");
  EXPECT_EQ(code.description, "05 CODE-X PICTURE IS X VALUE IS 'A' VALUE IS 'B'");
}

TEST_F(ExtractSourceTest, SynchronizedWarnsWithTheItemContext) {
  ASSERT_EQ(parse("01 REC.\n    05 COUNTER PIC S9(4) BINARY SYNC.\n"), 0) << messages;
  tree::format_1 *entry = entryOf("COUNTER");
  const VexCblReportContext context("COUNTER", &entry->pos);
  VexCblObjContext item;
  EXPECT_EQ(stderrOf("COUNTER", item), std::string("\"T.cpy\":   2, 15 (COUNTER) ") + syncWarning);
  EXPECT_EQ(item.description, "05 COUNTER PICTURE IS S9(4) USAGE IS BINARY SYNCHRONIZED");
  EXPECT_EQ(item.usage, wordBinary);
  EXPECT_FALSE(item.justified);
  EXPECT_FALSE(item.blankWhenZero);
}

TEST_F(ExtractSourceTest, EverySynchronizedClauseWarnsOnce) {
  ASSERT_EQ(parse("01 PAIR SYNCHRONIZED LEFT PIC X(2) SYNC RIGHT.\n"), 0) << messages;
  VexCblObjContext item;
  EXPECT_EQ(stderrOf("PAIR", item), std::string(syncWarning) + syncWarning);
  EXPECT_EQ(item.description, "01 PAIR SYNCHRONIZED_LEFT PICTURE IS X(2) SYNCHRONIZED_RIGHT");
}

TEST_F(ExtractSourceTest, KeywordClausesSetFlagsOrOnlyDescribe) {
  ASSERT_EQ(parse("01 FLD IS EXTERNAL PIC Z(4)9 BLANK WHEN ZERO\n    GLOBAL JUSTIFIED RIGHT.\n"), 0)
      << messages;
  VexCblObjContext item;
  EXPECT_EQ(stderrOf("FLD", item), "");
  EXPECT_TRUE(item.blankWhenZero);
  EXPECT_TRUE(item.justified);
  // EXTERNAL and GLOBAL have no words of their own.
  EXPECT_EQ(item.description, "01 FLD PICTURE IS Z(4)9 BLANK WHEN ZERO JUSTIFIED");
}

TEST_F(ExtractSourceTest, UsageAndSignWords) {
  ASSERT_EQ(parse("01 REC.\n"
                  "    05 WORD-X BINARY NATIVE SIGN IS LEADING SEPARATE PIC S9(9).\n"
                  "    05 OBJ USAGE OBJECT REFERENCE.\n"
                  "    05 PACKED PIC 9(5) COMP-3 SIGN TRAILING.\n"),
            0)
      << messages;
  const VexCblObjContext word = extracted("WORD-X");
  EXPECT_EQ(word.usage, wordBinary);
  EXPECT_EQ(word.sign, wordLeadingSeparate);
  EXPECT_EQ(word.description,
            "05 WORD-X USAGE IS BINARY NATIVE SIGN IS LEADING SEPARATE PICTURE IS S9(9)");

  const VexCblObjContext reference = extracted("OBJ");
  EXPECT_EQ(reference.usage, 85);
  EXPECT_EQ(reference.description, "05 OBJ USAGE IS OBJECT REFERENCE");

  const VexCblObjContext packed = extracted("PACKED");
  EXPECT_EQ(packed.sign, 88);
  EXPECT_EQ(packed.description,
            "05 PACKED PICTURE IS 9(5) USAGE IS COMPUTATIONAL-3 SIGN IS TRAILING");
}

TEST_F(ExtractSourceTest, LevelNumbersHaveTwoDigitsAtLeast) {
  ASSERT_EQ(parse("01 A.\n    5 B PIC X.\n    05 PIC X.\n77 C PIC 9.\n"), 0) << messages;
  EXPECT_EQ(extracted("B").description, "05 B PICTURE IS X");
  EXPECT_EQ(extracted("C").description, "77 C PICTURE IS 9");
  // An unnamed entry adds no blank for its missing name.
  tree::decl *unnamed = as<tree::decl>(declOf("B")->next);
  VexCblObjContext item;
  vexCblAheadObjExtr(unnamed->object, item);
  vexCblExtractObj(unnamed->object, item);
  EXPECT_EQ(item.name, "");
  EXPECT_EQ(item.description, "05 PICTURE IS X");
}

TEST_F(ExtractSourceTest, WrittenNamesKeepTheirSpelling) {
  ASSERT_EQ(
      parse("01 cust_rec.\n    05 base_id PIC X(4).\n    05 alt_id REDEFINES base_id PIC 9(4).\n"),
      0)
      << messages;
  EXPECT_EQ(extracted("CUST-REC").name, "cust_rec");
  const VexCblObjContext alt = extracted("ALT-ID");
  EXPECT_EQ(alt.name, "alt_id");
  // The redefined name is the normalised one.
  EXPECT_EQ(alt.getRedefinesName(), "BASE-ID");
  EXPECT_EQ(alt.description, "05 alt_id REDEFINES BASE-ID PICTURE IS 9(4)");
  // The picture is described as written and stored normalised.
  EXPECT_EQ(parse("01 small pic x(05).\n"), 0) << messages;
  const VexCblObjContext small = extracted("SMALL");
  EXPECT_EQ(small.description, "01 small PICTURE IS x(05)");
  EXPECT_EQ(small.picture->getPictureVal(), "X(05)");
}

TEST_F(ExtractSourceTest, IsRedefiningLooksAtTheFirstClauseOnly) {
  ASSERT_EQ(parse("01 REC.\n"
                  "    05 BASE PIC X(4).\n"
                  "    05 ALT REDEFINES BASE PIC 9(4).\n"
                  "    05 LATE PIC 9(4) REDEFINES BASE.\n"
                  "    05 low-name PIC X(4).\n"
                  "    05 ALT2 REDEFINES low-name PIC X(4).\n"),
            0)
      << messages;
  EXPECT_TRUE(vexCblIsRedefining(declOf("ALT"), "BASE"));
  EXPECT_TRUE(vexCblIsRedefining(entryOf("ALT"), "BASE"));
  EXPECT_FALSE(vexCblIsRedefining(declOf("ALT"), "OTHER"));
  EXPECT_FALSE(vexCblIsRedefining(declOf("ALT"), nullptr));
  EXPECT_FALSE(vexCblIsRedefining(declOf("LATE"), "BASE"));
  EXPECT_FALSE(vexCblIsRedefining(declOf("BASE"), "BASE"));
  // As the walk asks: the entry after BASE redefines it.
  EXPECT_TRUE(vexCblIsRedefining(declOf("BASE")->next, GetCStr(declOf("BASE")->name)));
  // The comparison is exact, with the name as written.
  EXPECT_TRUE(vexCblIsRedefining(declOf("ALT2"), "low-name"));
  EXPECT_FALSE(vexCblIsRedefining(declOf("ALT2"), "LOW-NAME"));

  EXPECT_FALSE(vexCblIsRedefining(nullptr, "BASE"));
  EXPECT_FALSE(vexCblIsRedefining(as<tree::decl>(declOf("REC")->fields), "REC"));
}

TEST_F(ExtractSourceTest, ClauseListIsConsumedFromAnyClause) {
  ASSERT_EQ(parse("01 HEAD PIC 9(5).\n01 TAIL REDEFINES HEAD COMP-3 PIC 9(5).\n"), 0) << messages;
  auto *clauses = as<tree::data_clause>(entryOf("TAIL")->data_clause_l);
  VexCblObjContext item;
  vexCblExtractObj(clauses->next, item);
  EXPECT_EQ(item.description, "USAGE IS COMPUTATIONAL-3 PICTURE IS 9(5)");
  EXPECT_EQ(item.getRedefinesName(), "");
  EXPECT_EQ(item.usage, wordComp3);
}

// Node-built entries for the include prefix, which plain source cannot carry.
class ExtractTest : public VexTreeTest {
protected:
  static VexCblObjContext extracted(VexTestEntry &entry) {
    VexCblObjContext item;
    vexCblAheadObjExtr(entry.entry(), item);
    vexCblExtractObj(entry.entry(), item);
    return item;
  }
};

TEST_F(ExtractTest, NamesAreWrittenOrPrefixed) {
  VexTestEntry lower("05", "cust_id");
  EXPECT_EQ(extracted(lower).name, "cust_id");
  VexTestEntry prefixed("05", "ID");
  prefixed.prefixed("X-ID");
  EXPECT_EQ(extracted(prefixed).name, "X-ID");

  // The name comes from vexCblAheadObjExtr alone; other nodes leave it.
  VexCblObjContext item;
  item.name = "KEPT";
  vexCblAheadObjExtr(nullptr, item);
  vexCblAheadObjExtr(lower.declaration(), item);
  vexCblAheadObjExtr(vexTestInteger("5"), item);
  EXPECT_EQ(item.name, "KEPT");
  vexCblExtractObj(lower.entry(), item);
  EXPECT_EQ(item.name, "KEPT");
}

TEST_F(ExtractTest, PictureTextFollowsThePrefixFlag) {
  VexTestEntry written("05", "A");
  written.picture("x(05)");
  const VexCblObjContext plain = extracted(written);
  EXPECT_EQ(plain.description, "05 A PICTURE IS x(05)");
  EXPECT_EQ(plain.picture->getPictureVal(), "X(05)");

  VexTestEntry replaced("05", "B");
  replaced.picture("x(05)", true);
  const VexCblObjContext normalised = extracted(replaced);
  EXPECT_EQ(normalised.description, "05 B PICTURE IS X(5)");
  EXPECT_EQ(normalised.picture->getPictureVal(), "X(5)");

  // A second PICTURE replaces the first.
  VexTestEntry twice("05", "C");
  twice.picture("X(2)").picture("9(3)");
  EXPECT_EQ(extracted(twice).picture->getPictureVal(), "9(3)");
}

TEST_F(ExtractTest, IsRedefiningComparesTheWrittenOrPrefixedName) {
  VexTestEntry lower("05", "ALT");
  lower.redefines("base");
  EXPECT_TRUE(vexCblIsRedefining(lower.entry(), "base"));
  EXPECT_FALSE(vexCblIsRedefining(lower.entry(), "BASE"));

  VexTestEntry prefixed("05", "ALT");
  prefixed.redefines("BASE", "P-BASE");
  EXPECT_TRUE(vexCblIsRedefining(prefixed.entry(), "P-BASE"));
  EXPECT_FALSE(vexCblIsRedefining(prefixed.entry(), "BASE"));
}

TEST_F(ExtractTest, TracingChangesNothing) {
  VexTestEntry entry("05", "AMOUNT");
  entry.redefines("BASE").picture("S9(7)V99").usage(wordComp3).occurs(-1, 12, "N");
  entry.value(vexTestAll(vexTestString("'9'")));
  const VexCblObjContext quiet = extracted(entry);

  std::string trace;
  VexCblObjContext traced;
  {
    const VexTraceCapture capture;
    traced = extracted(entry);
    trace = capture.text();
  }
  EXPECT_NE(trace.find("Picture(S9(7)V99)"), std::string::npos);
  EXPECT_EQ(traced.description, quiet.description);
  EXPECT_EQ(traced.cardinality.get(), quiet.cardinality.get());
  EXPECT_EQ(traced.dependingOn, quiet.dependingOn);
  EXPECT_EQ(traced.getRedefinesName(), quiet.getRedefinesName());
  EXPECT_EQ(traced.value->getValue(), quiet.value->getValue());
  EXPECT_EQ(traced.value->isExpandable(), quiet.value->isExpandable());
}

TEST(KeywordText, CodesWithoutDescriptionWords) {
  for (short code : {0, 6, 55, 91, 424, 494})
    EXPECT_EQ(vexCblTextForCblKeyword(code), nullptr) << code;
  EXPECT_STREQ(vexCblTextForCblKeyword(90), "SEPARATE");
  EXPECT_STREQ(vexCblTextForCblKeyword(268), "ANY");
  EXPECT_STREQ(vexCblTextForCblKeyword(44), "NATIVE");
}

} // namespace

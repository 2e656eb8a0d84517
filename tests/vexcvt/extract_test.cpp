#include <gtest/gtest.h>

#include <string>

#include "reuse/Idents.h"
#include "tests/vexcvt/source_support.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexcbctx.h"
#include "vexcvt/vexfcbl/vexcbprs.h"

namespace {

constexpr int wordExternal = 6;
constexpr int wordDisplay = 14;
constexpr int wordGlobal = 55;
constexpr int wordSync = 60;
constexpr int wordSyncLeft = 61;
constexpr int wordSyncRight = 62;
constexpr int wordJustified = 63;
constexpr int wordBlankWhenZero = 64;
constexpr int wordBinary = 66;
constexpr int wordComp3 = 73;
constexpr int wordLeadingSeparate = 87;
constexpr int wordDbKey = 91;
constexpr int wordZero = 131;
constexpr int wordSpaces = 260;
constexpr int wordCursor = 424;

constexpr const char *syncWarning =
    "\n\tWarning: SYNCHRONIZED keyword is not supported. \n\tSYNCHRONIZED was ignored.\n";

class ExtractTest : public VexTreeTest {
protected:
  // The item context of an entry, read as the declaration walk reads it:
  // the name first, then the clauses.
  static VexCblObjContext extracted(VexTestEntry &entry) {
    VexCblObjContext item;
    vexCblAheadObjExtr(entry.entry(), item);
    vexCblExtractObj(entry.entry(), item);
    return item;
  }
  static std::string stderrOf(VexTestEntry &entry, VexCblObjContext &item) {
    testing::internal::CaptureStderr();
    vexCblAheadObjExtr(entry.entry(), item);
    vexCblExtractObj(entry.entry(), item);
    return testing::internal::GetCapturedStderr();
  }
};

TEST_F(ExtractTest, PackedTableEntryInWords) {
  // 05 AMOUNT PIC S9(7)V99 COMP-3 OCCURS 12.
  VexTestEntry entry("05", "AMOUNT");
  entry.picture("S9(7)V99").usage(wordComp3).occurs(-1, 12);
  const VexCblObjContext item = extracted(entry);
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
}

TEST_F(ExtractTest, EntryWithoutOccursKeepsCardinalityUnset) {
  VexTestEntry entry("01", "REC");
  const VexCblObjContext item = extracted(entry);
  EXPECT_EQ(item.description, "01 REC");
  EXPECT_FALSE(item.cardinality.isSet());
  EXPECT_EQ(item.cardinality.get(), VexRange(1));
}

TEST_F(ExtractTest, DependingOnWithAndWithoutLowerBound) {
  VexTestEntry single("05", "LINES");
  single.picture("X(10)").occurs(-1, 50, "N");
  const VexCblObjContext fromOne = extracted(single);
  EXPECT_EQ(fromOne.cardinality.get(), VexRange(1, 50));
  EXPECT_TRUE(fromOne.cardinality.isSet());
  EXPECT_EQ(fromOne.dependingOn, "N");
  EXPECT_EQ(fromOne.description, "05 LINES PICTURE IS X(10) OCCURS 1 TO 50 TIMES DEPENDING ON N");

  VexTestEntry range("05", "LINES");
  range.occurs(1, 50, "N").picture("X(10)");
  EXPECT_EQ(extracted(range).description,
            "05 LINES OCCURS 1 TO 50 TIMES DEPENDING ON N PICTURE IS X(10)");

  // The depending item keeps its spelling; a written minimum is kept.
  VexTestEntry spelled("05", "ROWS");
  spelled.occurs(3, 9, "row_count");
  const VexCblObjContext rows = extracted(spelled);
  EXPECT_EQ(rows.cardinality.get(), VexRange(3, 9));
  EXPECT_EQ(rows.dependingOn, "row_count");
  EXPECT_EQ(rows.description, "05 ROWS OCCURS 3 TO 9 TIMES DEPENDING ON row_count");
}

TEST_F(ExtractTest, AllLiteralsAreExpandable) {
  VexTestEntry text("05", "STARS");
  text.picture("X(5)").value(vexTestAll(vexTestString("\"AB\"")));
  const VexCblObjContext item = extracted(text);
  ASSERT_NE(item.value, nullptr);
  EXPECT_TRUE(item.value->isExpandable());
  EXPECT_EQ(item.value->getType(), VexCblValue::Alphanumeric);
  EXPECT_EQ(item.value->getValue(), "AB");
  EXPECT_EQ(item.description, "05 STARS PICTURE IS X(5) VALUE IS ALL \"AB\"");

  VexTestEntry zeros("05", "NULLS");
  zeros.picture("9(3)").value(vexTestAll(vexTestFigurative(wordZero)));
  const VexCblObjContext figurative = extracted(zeros);
  ASSERT_NE(figurative.value, nullptr);
  EXPECT_TRUE(figurative.value->isExpandable());
  EXPECT_EQ(figurative.value->getType(), VexCblValue::FigurativeConstant);
  EXPECT_EQ(figurative.description, "05 NULLS PICTURE IS 9(3) VALUE IS ALL ZERO");

  // A plain literal is not repeated.
  VexTestEntry plain("05", "NAME");
  plain.value(vexTestString("'AB'"));
  EXPECT_FALSE(extracted(plain).value->isExpandable());
}

TEST_F(ExtractTest, LiteralKindsSetTheValue) {
  VexTestEntry spaces("05", "GAP");
  spaces.picture("X(3)").value(vexTestFigurative(wordSpaces));
  const VexCblObjContext gap = extracted(spaces);
  ASSERT_NE(gap.value, nullptr);
  EXPECT_EQ(gap.value->getType(), VexCblValue::FigurativeConstant);
  EXPECT_EQ(gap.description, "05 GAP PICTURE IS X(3) VALUE IS SPACES");

  VexTestEntry negative("05", "DELTA");
  negative.picture("S9(3)").value(vexTestInteger("-012"));
  const VexCblObjContext delta = extracted(negative);
  EXPECT_EQ(delta.value->getType(), VexCblValue::Numeric);
  EXPECT_EQ(delta.value->getValue(), "-012");
  EXPECT_EQ(delta.description, "05 DELTA PICTURE IS S9(3) VALUE IS -012");

  // A literal that went through the include prefix is written from its value.
  VexTestEntry prefixed("05", "COUNT");
  prefixed.value(vexTestReplacedInteger("007"));
  const VexCblObjContext count = extracted(prefixed);
  EXPECT_EQ(count.value->getValue(), "7");
  EXPECT_EQ(count.description, "05 COUNT VALUE IS 7");

  VexTestEntry real("05", "RATE");
  real.picture("9V99").value(vexTestReal("1.25"));
  const VexCblObjContext rate = extracted(real);
  EXPECT_EQ(rate.value->getType(), VexCblValue::Numeric);
  EXPECT_EQ(rate.value->getValue(), "1.25");

  // Repeated VALUE clauses: one value object, the last literal decides.
  VexTestEntry twice("05", "CODE");
  twice.value(vexTestString("'A'")).value(vexTestString("'B'"));
  const VexCblObjContext code = extracted(twice);
  EXPECT_EQ(code.value->getValue(), "B");
  EXPECT_EQ(code.description, "05 CODE VALUE IS 'A' VALUE IS 'B'");
}

TEST_F(ExtractTest, SynchronizedWarnsWithTheItemContext) {
  VexTestEntry entry("05", "COUNTER");
  entry.picture("S9(4)").usage(wordBinary).keyword(wordSync);
  const tPosition position = vexTestPosition("/src/copy/rec.cpy", 3, 8);
  const VexCblReportContext context("COUNTER", &position);
  VexCblObjContext item;
  EXPECT_EQ(stderrOf(entry, item), std::string("\"rec.cpy\":   3,  8 (COUNTER) ") + syncWarning);
  EXPECT_EQ(item.description, "05 COUNTER PICTURE IS S9(4) USAGE IS BINARY SYNCHRONIZED");
  EXPECT_EQ(item.usage, wordBinary);
  EXPECT_FALSE(item.justified);
  EXPECT_FALSE(item.blankWhenZero);
}

TEST_F(ExtractTest, EverySynchronizedClauseWarnsOnce) {
  VexTestEntry entry("05", "PAIR");
  entry.keyword(wordSyncLeft).picture("X(2)").keyword(wordSyncRight);
  VexCblObjContext item;
  const std::string reported = stderrOf(entry, item);
  EXPECT_EQ(reported, std::string(syncWarning) + syncWarning);
  EXPECT_EQ(item.description, "05 PAIR SYNCHRONIZED_LEFT PICTURE IS X(2) SYNCHRONIZED_RIGHT");
}

TEST_F(ExtractTest, KeywordClausesSetFlagsOrOnlyDescribe) {
  VexTestEntry entry("05", "FIELD");
  entry.keyword(wordExternal)
      .picture("Z(4)9")
      .keyword(wordBlankWhenZero)
      .keyword(wordGlobal)
      .keyword(wordJustified);
  VexCblObjContext item;
  EXPECT_EQ(stderrOf(entry, item), "");
  EXPECT_TRUE(item.blankWhenZero);
  EXPECT_TRUE(item.justified);
  // EXTERNAL and GLOBAL have no words of their own.
  EXPECT_EQ(item.description, "05 FIELD PICTURE IS Z(4)9 BLANK WHEN ZERO JUSTIFIED");
}

TEST_F(ExtractTest, UsageAndSignWords) {
  VexTestEntry native("05", "WORD");
  native.usage(wordBinary, true).sign(wordLeadingSeparate).picture("S9(9)");
  const VexCblObjContext word = extracted(native);
  EXPECT_EQ(word.usage, wordBinary);
  EXPECT_EQ(word.sign, wordLeadingSeparate);
  EXPECT_EQ(word.description,
            "05 WORD USAGE IS BINARY NATIVE SIGN IS LEADING SEPARATE PICTURE IS S9(9)");

  // Usages without a text of their own still set the code.
  VexTestEntry key("05", "KEY");
  key.usage(wordDbKey);
  EXPECT_EQ(extracted(key).usage, wordDbKey);
  EXPECT_EQ(extracted(key).description, "05 KEY USAGE IS");

  VexTestEntry cursor("05", "CUR");
  cursor.usage(wordDisplay).usage(wordCursor);
  EXPECT_EQ(extracted(cursor).usage, wordCursor);

  VexTestEntry object("05", "OBJ");
  object.objectReference();
  const VexCblObjContext reference = extracted(object);
  EXPECT_EQ(reference.usage, 85);
  EXPECT_EQ(reference.description, "05 OBJ USAGE IS OBJECT REFERENCE");
}

TEST_F(ExtractTest, LevelNumbersHaveTwoDigitsAtLeast) {
  VexTestEntry five("5", "A");
  EXPECT_EQ(extracted(five).description, "05 A");
  VexTestEntry standalone("77", "B");
  EXPECT_EQ(extracted(standalone).description, "77 B");
  // An unnamed entry adds no blank for its missing name.
  VexTestEntry unnamed("10", nullptr);
  unnamed.picture("X");
  const VexCblObjContext item = extracted(unnamed);
  EXPECT_EQ(item.name, "");
  EXPECT_EQ(item.description, "10 PICTURE IS X");
}

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

TEST_F(ExtractTest, RedefinesNameIsNormalised) {
  VexTestEntry entry("05", "ALT");
  entry.redefines("base_rec").picture("X(4)");
  const VexCblObjContext item = extracted(entry);
  EXPECT_EQ(item.getRedefinesName(), "BASE-REC");
  EXPECT_EQ(item.description, "05 ALT REDEFINES BASE-REC PICTURE IS X(4)");
}

TEST_F(ExtractTest, IsRedefiningLooksAtTheFirstClauseOnly) {
  VexTestEntry first("05", "ALT");
  first.redefines("BASE").picture("X(4)");
  EXPECT_TRUE(vexCblIsRedefining(first.declaration(), "BASE"));
  EXPECT_TRUE(vexCblIsRedefining(first.entry(), "BASE"));
  EXPECT_FALSE(vexCblIsRedefining(first.declaration(), "OTHER"));
  EXPECT_FALSE(vexCblIsRedefining(first.declaration(), nullptr));

  VexTestEntry later("05", "ALT2");
  later.picture("X(4)").redefines("BASE");
  EXPECT_FALSE(vexCblIsRedefining(later.declaration(), "BASE"));

  EXPECT_FALSE(vexCblIsRedefining(nullptr, "BASE"));
  EXPECT_FALSE(vexCblIsRedefining(vexTestString("'BASE'"), "BASE"));
  VexTestEntry bare("05", "NONE");
  EXPECT_FALSE(vexCblIsRedefining(bare.declaration(), "NONE"));
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

TEST_F(ExtractTest, ClauseListIsConsumedFromAnyClause) {
  VexTestEntry entry("05", "TAIL");
  entry.redefines("HEAD").usage(wordComp3).picture("9(5)");
  auto *clauses = as<tree::data_clause>(entry.entry()->data_clause_l);
  VexCblObjContext item;
  vexCblExtractObj(clauses->next, item);
  EXPECT_EQ(item.description, "USAGE IS COMPUTATIONAL-3 PICTURE IS 9(5)");
  EXPECT_EQ(item.getRedefinesName(), "");
  EXPECT_EQ(item.usage, wordComp3);
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

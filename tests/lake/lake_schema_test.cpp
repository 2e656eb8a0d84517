// Exact decimal text to unscaled integers and bytes, and the types and bounds the lake
// schema gives pictures, against values worked out by hand from IBM's storage rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "decoder/decode_plan.h"
#include "decoder/framing.h"
#include "frontend/front_end.h"
#include "lake/decimal_text.h"
#include "lake/lake_schema.h"
#include "lake/schema_writers.h"
#include "record/model_builder.h"

namespace {

std::string hex(const std::string &bytes) {
  std::string text;
  for (const char c : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
    text += pair;
  }
  return text;
}

TEST(DecimalText, ScaledToWholeNumbers) {
  std::int64_t value = 0;
  ASSERT_TRUE(unscaledInt64("-123.45", 2, value));
  EXPECT_EQ(value, -12345);
  ASSERT_TRUE(unscaledInt64("7", 2, value));
  EXPECT_EQ(value, 700);
  ASSERT_TRUE(unscaledInt64("0.050", 2, value)); // a trailing zero past the scale is no loss
  EXPECT_EQ(value, 5);
  ASSERT_TRUE(unscaledInt64("-9223372036854775808", 0, value));
  EXPECT_EQ(value, INT64_MIN);
  ASSERT_TRUE(unscaledInt64("9223372036854775807", 0, value));
  EXPECT_EQ(value, INT64_MAX);
  // Refused rather than rounded or wrapped.
  EXPECT_FALSE(unscaledInt64("1.234", 2, value));
  EXPECT_FALSE(unscaledInt64("9223372036854775808", 0, value));
  EXPECT_FALSE(unscaledInt64("1e5", 0, value));
  EXPECT_FALSE(unscaledInt64("", 0, value));
  EXPECT_FALSE(unscaledInt64("-", 0, value));
}

TEST(DecimalText, TwosComplementBytes) {
  std::string bytes;
  const auto of = [&](const char *text, int scale, std::size_t width) {
    return unscaledBytes(text, scale, width, bytes) ? hex(bytes) : std::string("refused");
  };
  EXPECT_EQ(of("-1", 0, 0), "FF");
  EXPECT_EQ(of("0", 0, 0), "00");
  EXPECT_EQ(of("-0.00", 2, 0), "00");
  EXPECT_EQ(of("127", 0, 0), "7F");
  EXPECT_EQ(of("128", 0, 0), "0080");
  EXPECT_EQ(of("-128", 0, 0), "80");
  EXPECT_EQ(of("-129", 0, 0), "FF7F");
  EXPECT_EQ(of("2.55", 2, 4), "000000FF");
  EXPECT_EQ(of("-0.02", 2, 3), "FFFFFE");
  EXPECT_EQ(of("65536", 0, 2), "refused");
  // 10^30 and its negation in 13 bytes (hexadecimal digits of 10^30: C9F2C9CD04674EDEA40000000).
  EXPECT_EQ(of("1000000000000000000000000000000", 0, 13), "0C9F2C9CD04674EDEA40000000");
  EXPECT_EQ(of("-1000000000000000000000000000000", 0, 13), "F360D3632FB98B1215C0000000");
  EXPECT_EQ(of("-10000000000000000000000000000.00", 2, 0), "F360D3632FB98B1215C0000000");
}

// Whole numbers handed over by the decoder: the same bytes as their text
// would give (the two's complement values worked out by hand above), and
// the int64 ends.
TEST(DecimalText, WholeNumberBytes) {
  std::string bytes;
  const auto of = [&](std::int64_t whole, std::size_t width) {
    return wholeBytes(whole, width, bytes) ? hex(bytes) : std::string("refused");
  };
  EXPECT_EQ(of(-1, 0), "FF");
  EXPECT_EQ(of(0, 0), "00");
  EXPECT_EQ(of(127, 0), "7F");
  EXPECT_EQ(of(128, 0), "0080");
  EXPECT_EQ(of(-128, 0), "80");
  EXPECT_EQ(of(-129, 0), "FF7F");
  EXPECT_EQ(of(255, 4), "000000FF");
  EXPECT_EQ(of(-2, 3), "FFFFFE");
  EXPECT_EQ(of(65536, 2), "refused");
  EXPECT_EQ(of(INT64_MAX, 0), "7FFFFFFFFFFFFFFF");
  EXPECT_EQ(of(INT64_MIN, 9), "FF8000000000000000");
}

LakeSchema schemaOf(const std::string &copybook, DecodeOptions options = {},
                    const std::string &end = "") {
  const auto file =
      std::filesystem::temp_directory_path() / ("lake-test-" + std::to_string(::getpid()) + ".cpy");
  std::ofstream(file, std::ios::binary) << copybook;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.startingLine = false;
  FrontEndResult parsed = ParseCopybook(file.string(), frontEnd);
  std::filesystem::remove(file);
  RunState::Scope scope(parsed.run());
  EXPECT_EQ(parsed.errorCount(), 0) << copybook;
  const RecordModel model = buildRecordModel(parsed.entries(), VexCblConfig{});
  DecodePlan plan = makeDecodePlan(model, options);
  if (end.empty())
    return makeLakeSchema(model, plan, options);
  // As a run does: without rules the body leaves the end record out.
  DecodeOptions withEnd = options;
  withEnd.headerRecord = end == "-" ? "" : end;
  leaveOutEnds(plan, withEnd);
  // "-": the line without an end record.
  DecodeOptions alone = options;
  alone.record = end == "-" ? "" : end;
  alone.rules.clear();
  const DecodePlan endPlan = makeDecodePlan(model, alone);
  std::vector<const DecodePlan *> ends;
  if (end != "-")
    ends.push_back(&endPlan);
  return makeLineSchema(model, plan, ends, options);
}

std::vector<std::string> names(const LakeSchema &schema, const LakeNode &node) {
  std::vector<std::string> out;
  for (const int child : node.children)
    out.push_back(schema.nodes[static_cast<std::size_t>(child)].name);
  return out;
}

const LakeNode &member(const LakeSchema &schema, const std::string &name) {
  for (const LakeNode &node : schema.nodes)
    if (node.name == name)
      return node;
  ADD_FAILURE() << "no " << name;
  return schema.nodes.front();
}

TEST(LakeSchema, NumbersTakeWhatTheirBytesHold) {
  const LakeSchema schema = schemaOf("       01  R.\n"
                                     "           05  A  PIC S9(4) COMP.\n"
                                     "           05  B  PIC 9(4) COMP.\n"
                                     "           05  C  PIC S9(3)V99 COMP-3.\n"
                                     "           05  D  PIC 99PPP.\n"
                                     "           05  E  PIC SV9(3) SIGN LEADING SEPARATE.\n"
                                     "           05  F  PIC X(10).\n"
                                     "           05  G  PIC S9(18) COMP.\n"
                                     "           05  H  PIC 9(18) COMP.\n"
                                     "           05  J  PIC S9(4) COMP-3.\n");
  struct Expected {
    const char *name;
    LakeType type;
    int precision, scale, bits;
    const char *minimum, *maximum;
  };
  // Halfword binary: -32768..32767; unsigned halfword 0..65535 needs 32 bits; three packed
  // bytes hold 5 digits; 99PPP is 99000 at most; a doubleword unsigned needs 20 digits.
  const Expected expected[] = {
      {"A", LakeType::integer, 5, 0, 16, "-32768", "32767"},
      {"B", LakeType::integer, 5, 0, 32, "0", "65535"},
      {"C", LakeType::decimal, 5, 2, 0, "-999.99", "999.99"},
      {"D", LakeType::integer, 5, 0, 32, "0", "99000"},
      {"E", LakeType::decimal, 3, 3, 0, "-0.999", "0.999"},
      {"G", LakeType::integer, 19, 0, 64, "-9223372036854775808", "9223372036854775807"},
      {"H", LakeType::decimal, 20, 0, 0, "0", "18446744073709551615"},
      {"J", LakeType::integer, 5, 0, 32, "-99999", "99999"},
  };
  for (const Expected &e : expected) {
    const LakeNode &node = member(schema, e.name);
    EXPECT_EQ(node.type, e.type) << e.name;
    EXPECT_EQ(node.precision, e.precision) << e.name;
    EXPECT_EQ(node.scale, e.scale) << e.name;
    EXPECT_EQ(node.bits, e.bits) << e.name;
    EXPECT_EQ(node.minimum, e.minimum) << e.name;
    EXPECT_EQ(node.maximum, e.maximum) << e.name;
  }
  EXPECT_EQ(member(schema, "F").type, LakeType::text);
  EXPECT_EQ(member(schema, "F").maxLength, 10);
}

TEST(LakeSchema, WhatMayBeMissingOrNull) {
  const std::string copybook = "       01  R.\n"
                               "           05  K  PIC X.\n"
                               "           05  N  PIC 9.\n"
                               "           05  T  PIC X(3) OCCURS 1 TO 3 DEPENDING ON N.\n"
                               "           05  U  PIC X(3) OCCURS 2.\n"
                               "           05  V  REDEFINES U PIC 9(6).\n";
  DecodeOptions options;
  const LakeSchema plain = schemaOf(copybook, options);
  // Without -when every alternative is written; bad data nulls values and ODO arrays.
  EXPECT_FALSE(member(plain, "V").optional);
  EXPECT_TRUE(member(plain, "N").nullable);
  EXPECT_TRUE(member(plain, "T").arrayNullable);
  EXPECT_FALSE(member(plain, "U").arrayNullable);
  EXPECT_EQ(member(plain, "T").minItems, 1);
  EXPECT_EQ(member(plain, "U").minItems, 2);
  options.rules.push_back({"K", "A", "V"});
  const LakeSchema picked = schemaOf(copybook, options);
  EXPECT_TRUE(member(picked, "U").optional);
  EXPECT_TRUE(member(picked, "V").optional);
  // -strict stops at the first bad value: nothing written is null.
  options.strict = true;
  const LakeSchema strict = schemaOf(copybook, options);
  EXPECT_FALSE(member(strict, "N").nullable);
  EXPECT_FALSE(member(strict, "T").arrayNullable);
}

TEST(LakeSchema, AlternativesTakeTheSetsTheRulesCanPick) {
  const std::string copybook = "       01  R.\n"
                               "           05  K  PIC X.\n"
                               "           05  M  PIC 9(2).\n"
                               "           05  A  PIC X(4).\n"
                               "           05  B  REDEFINES A PIC 9(4).\n"
                               "           05  C  REDEFINES A PIC S9(7) COMP-3.\n";
  DecodeOptions options;
  // K picks A or B by its value; M=07 and M=7 are one number, so both rules
  // match together and pick B and C. A record matches at most one value per
  // field, so the sets are: A, B, B+C, A+B+C (K=1 with M=7, and no rule).
  options.rules = {{"K", "1", "A"}, {"K", "2", "B"}, {"M", "07", "C"}, {"M", "7", "B"}};
  const LakeSchema schema = schemaOf(copybook, options);
  const LakeNode &record = member(schema, "R");
  ASSERT_EQ(record.choices.size(), 1u);
  const LakeNode::Choice &choice = record.choices.front();
  const auto named = [&](const std::vector<int> &positions) {
    std::string text;
    for (const int p : positions)
      text +=
          schema.nodes[static_cast<std::size_t>(record.children[static_cast<std::size_t>(p)])].name;
    return text;
  };
  EXPECT_EQ(named(choice.alternatives), "ABC");
  std::vector<std::string> shapes;
  for (const std::vector<int> &shape : choice.shapes)
    shapes.push_back(named(shape));
  std::sort(shapes.begin(), shapes.end());
  EXPECT_EQ(shapes, (std::vector<std::string>{"A", "ABC", "B", "BC"}));
  // No rule on the area: no choice, every alternative required.
  EXPECT_TRUE(schemaOf(copybook).nodes[1].choices.empty());
}

TEST(LakeSchema, IdsTreesAndEndRecordsInTheLine) {
  const std::string copybook = "       01  P.\n"
                               "           05  P-K  PIC X.\n"
                               "       01  Q.\n"
                               "           05  Q-K  PIC X.\n"
                               "       01  S.\n"
                               "           05  S-K  PIC X.\n"
                               "           05  S-N  PIC 9.\n"
                               "       01  H.\n"
                               "           05  H-K  PIC X.\n";
  DecodeOptions options;
  options.rules = {{"P-K", "P", "P"}, {"P-K", "Q", "Q"}, {"P-K", "S", "S"}};
  options.segmentField = "P-K";
  options.children = {{"Q", "P"}, {"S", "Q"}};
  const LakeSchema tree = schemaOf(copybook, options, "-");
  const LakeNode &line = tree.nodes.front();
  EXPECT_EQ(names(tree, line), (std::vector<std::string>{"P", "Q", "S", "H"}));
  // P's Q records, each with its S records: three levels, one row.
  const LakeNode &p = member(tree, "P");
  EXPECT_EQ(names(tree, p), (std::vector<std::string>{"P-K", "Q"}));
  const LakeNode &qs = tree.nodes[static_cast<std::size_t>(p.children[1])];
  EXPECT_TRUE(qs.isArray);
  EXPECT_TRUE(qs.optional); // a P record without a place is written without it
  EXPECT_EQ(qs.maxItems, -1);
  EXPECT_EQ(names(tree, qs), (std::vector<std::string>{"Q-K", "S"}));
  const LakeNode &ss = tree.nodes[static_cast<std::size_t>(qs.children[1])];
  EXPECT_FALSE(ss.optional); // inside the tree every record has its arrays
  EXPECT_EQ(names(tree, ss), (std::vector<std::string>{"S-K", "S-N"}));
  // S's own columns are apart from the S record at the top of the line.
  EXPECT_NE(ss.children[0], member(tree, "S").children[0]);
  EXPECT_EQ(member(tree, "S").parentTable, "Q");
  EXPECT_EQ(member(tree, "Q").parentTable, "P");
  EXPECT_EQ(member(tree, "P").parentTable, "");

  options.ids = true;
  const LakeSchema flat = schemaOf(copybook, options, "H");
  EXPECT_EQ(names(flat, flat.nodes.front()),
            (std::vector<std::string>{"_record", "_segment", "_parent", "P", "Q", "S", "H"}));
  // A header line has no ids: every key of the line may be missing.
  EXPECT_TRUE(member(flat, "_record").optional);
  EXPECT_TRUE(member(flat, "_parent").nullable);
  EXPECT_EQ(member(flat, "_segment").maxLength, 1);
  // -when keeps H in the body (plan fields P 0-1, Q 2-3, S 4-6, H 7-8): the
  // header's values take the body's fields, and the line has one H.
  EXPECT_EQ(member(flat, "H").field, 7);
  EXPECT_EQ(member(flat, "H-K").field, 8);
  // Without rules the body leaves H out: the end plan's fields (H at 7-8, as
  // in every plan of this copybook) are numbered after the body's 9.
  const LakeSchema apart = schemaOf(copybook, DecodeOptions{}, "H");
  EXPECT_EQ(names(apart, apart.nodes.front()), (std::vector<std::string>{"P", "Q", "S", "H"}));
  EXPECT_EQ(member(apart, "H").field, 16);
  EXPECT_EQ(member(apart, "H-K").field, 17);
}

TEST(LakeSchema, AvroNamesAndSchemaFileFormats) {
  EXPECT_EQ(avroName("ORD-ID"), "ORD_ID");
  EXPECT_EQ(avroName("1ST-KEY"), "_1ST_KEY");
  SchemaFormat format = SchemaFormat::sql;
  ASSERT_TRUE(schemaFormatOf("a/b.avsc", format));
  EXPECT_EQ(format, SchemaFormat::avro);
  ASSERT_TRUE(schemaFormatOf("x.json", format));
  EXPECT_EQ(format, SchemaFormat::jsonSchema);
  EXPECT_FALSE(schemaFormatOf("x.txt", format));
}

} // namespace

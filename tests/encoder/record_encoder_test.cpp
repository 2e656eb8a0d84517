// Whole records from JSON: keys to fields, OCCURS and DEPENDING ON, REDEFINES, several
// records, FILLER, null, -record, _raw bytes, and the messages of what cannot be written.
// Bytes are worked out by hand, in ASCII where that reads easier.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/base64.h"
#include "tests/encoder/encoder_support.h"

namespace {

using namespace std::string_literals;

EncodeOptions asciiOptions() {
  EncodeOptions options;
  options.codePage = "ASCII";
  return options;
}

const char accounts[] = "       01  ACCT.\n"
                        "           05  ACCT-ID      PIC 9(4).\n"
                        "           05  ACCT-NAME    PIC X(6).\n"
                        "           05  ACCT-BAL     PIC S9(5)V99 COMP-3.\n"
                        "           05  ACCT-RATE    PIC S9(3)V9 SIGN TRAILING.\n"
                        "           05  ACCT-COUNT   PIC S9(4) COMP.\n"
                        "           05  FILLER       PIC X(2).\n";

TEST(RecordEncoder, FieldsByKeyInIbm037) {
  const EncodeOptions options;
  const EncodePlan plan = planOf(accounts, options);
  // The bytes of tests/golden/decode-recfm-f's first record.
  const Encoded e = encodeJson(plan, options,
                               R"({"ACCT":{"ACCT-ID":1,"ACCT-NAME":"ALICE ","ACCT-BAL":123.45,)"
                               R"("ACCT-RATE":-1.5,"ACCT-COUNT":7}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes),
            "F0 F0 F0 F1 C1 D3 C9 C3 C5 40 00 12 34 5C F0 F0 F1 D5 00 07 40 40");
  // Keys in another order, in other letter case and with blanks: the same record.
  const Encoded shuffled = encodeJson(plan, options,
                                      R"({ "acct" : { "ACCT-COUNT" : 7, "acct_rate": -1.50, )"
                                      R"("ACCT-BAL": 12345E-2, "ACCT-NAME": "ALICE", "ACCT-ID": 1 } })");
  ASSERT_TRUE(shuffled.bytes) << shuffled.problems;
  EXPECT_EQ(*shuffled.bytes, *e.bytes);
}

// The reading of lines in the decoder's shape and the general one write the
// same bytes; lines of any other shape are left to the general one.
TEST(RecordEncoder, LineShapedReadingEqualsTheGeneralOne) {
  const char copybook[] = "       01  R.\n"
                          "           05  A     PIC X(3).\n"
                          "           05  FILLER PIC X(2).\n"
                          "           05  N     PIC S9(3)V99 COMP-3.\n"
                          "           05  CNT   PIC 9(2).\n"
                          "           05  T OCCURS 1 TO 3 DEPENDING ON CNT.\n"
                          "               10 E  PIC ZZ9.99.\n"
                          "               10 B  PIC S9(4) COMP.\n"
                          "           05  F     PIC X(2) OCCURS 2.\n";
  const EncodeOptions options = asciiOptions();
  const EncodePlan plan = planOf(copybook, options);
  const std::vector<std::string> lines = {
      R"({"R":{"A":"ab","N":-1.5,"CNT":2,"T":[{"E":1.23,"B":-2},{"E":0,"B":7}],"F":["x","yz"]}})",
      R"({"R":{"A":"a\"\\","N":0,"CNT":1,"T":[{"E":999.99,"B":9999}],"F":["",""]}})",
      R"({"R":{"A":"abc","N":999.99,"CNT":3,"T":[{"E":1,"B":1},{"E":2,"B":2},{"E":3,"B":3}],"F":["q"]}})",
  };
  for (const std::string &line : lines) {
    const Encoded general = encodeJson(plan, options, line, 38);
    ASSERT_TRUE(general.bytes) << general.problems;
    const std::optional<std::string> fast = encodeFast(plan, options, line, 38);
    ASSERT_TRUE(fast) << line;
    EXPECT_EQ(hex(*fast), hex(*general.bytes)) << line;
    const std::optional<std::string> variable = encodeFast(plan, options, line, 0);
    ASSERT_TRUE(variable);
    EXPECT_EQ(*variable, encodeJson(plan, options, line, 0).bytes.value_or("?"));
  }
  // F, 38 bytes: the two elements of T, F right after them, then blanks.
  EXPECT_EQ(hex(*encodeFast(plan, options, lines[0], 38)),
            "61 62 20 20 20 00 15 0D 30 32 20 20 31 2E 32 33 FF FE 20 20 30 2E 30 30 00 07 "
            "78 20 79 7A 20 20 20 20 20 20 20 20");
  for (const std::string line :
       {R"({"R": {"A":"ab"}})", R"({"R":{"A":null}})", R"({"R":{"N":1,"A":"x"}})", "{}",
        R"({"R":{"A":"ab","N":1,"CNT":1,"T":[{"E":1,"B":1}],"F":["a"]},"_raw":"AA=="})"})
    EXPECT_FALSE(encodeFast(plan, options, line)) << line;
}

const char tables[] = "       01  R.\n"
                      "           05  CNT   PIC 9.\n"
                      "           05  T OCCURS 1 TO 3 DEPENDING ON CNT PIC XX.\n"
                      "           05  K     PIC 9 OCCURS 2.\n";

TEST(RecordEncoder, DependingOnCountsAndFixedTables) {
  EncodeOptions options = asciiOptions();
  const EncodePlan plan = planOf(tables, options);
  // The count comes from the array; V records end after the table's last element,
  // and what follows the table follows its last element.
  Encoded e = encodeJson(plan, options, R"({"R":{"T":["ab","c"],"K":[1,2]}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "2abc 12");
  // F records have the table's full room: what follows still follows the
  // elements given, and the rest is -fill.
  e = encodeJson(plan, options, R"({"R":{"CNT":1,"T":["ab"],"K":[3]}})", 9);
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "1ab3     ");
  options.fill = FillMode::zeros;
  e = encodeJson(plan, options, R"({"R":{"CNT":1,"T":["ab"],"K":[3]}})", 9);
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "1ab30    ") << "K[2] holds zero, the table's unused room is blank";
  options.fill = FillMode::lowValues;
  e = encodeJson(plan, options, R"({"R":{"CNT":1,"T":["ab"],"K":[3]}})", 9);
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "1ab3\0\0\0\0\0"s);

  options = asciiOptions();
  const std::vector<std::pair<std::string, std::string>> refused = {
      {R"({"R":{"CNT":3,"T":["ab"],"K":[1,2]}})", "R.T: 1 element, but CNT says 3\n"},
      {R"({"R":{"T":[],"K":[1,2]}})", "R.T: 0 elements, OCCURS 1 TO 3 allows at least 1\n"},
      {R"({"R":{"T":["a","b","c","d"],"K":[1,2]}})",
       "R.T: 4 elements, OCCURS 1 TO 3 allows at most 3\n"},
      {R"({"R":{"T":["a"],"K":[1,2,3]}})", "R.K: 3 elements, OCCURS 2 allows at most 2\n"},
      {R"({"R":{"T":"a","K":[1,2]}})", "R.T: an array (OCCURS 3) is expected, not a string\n"},
      {R"({"R":{"T":["a",7],"K":[1,2]}})", "R.T[2]: a string is expected, not a number\n"},
  };
  for (const auto &[line, problems] : refused) {
    const Encoded r = encodeJson(plan, options, line);
    EXPECT_FALSE(r.bytes) << line;
    EXPECT_EQ(r.problems, problems) << line;
  }
}

const char redefined[] = "       01  R.\n"
                         "           05  KIND  PIC X.\n"
                         "           05  A     PIC X(4).\n"
                         "           05  B REDEFINES A PIC S9(7) COMP-3.\n"
                         "           05  C REDEFINES A.\n"
                         "               10  C1 PIC XX.\n"
                         "               10  C2 PIC 99.\n"
                         "           05  Z     PIC X.\n";

TEST(RecordEncoder, RedefinesWritesTheAlternativeGiven) {
  EncodeOptions options = asciiOptions();
  EncodePlan plan = planOf(redefined, options);
  Encoded e = encodeJson(plan, options, R"({"R":{"KIND":"b","B":-1234567,"Z":"z"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "62 12 34 56 7D 7A");
  e = encodeJson(plan, options, R"({"R":{"KIND":"c","C":{"C1":"xy","C2":5},"Z":"z"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "cxy05z");
  // As the decoder shows a record without -when: every alternative, the
  // ones it could not read null. The one with a value is written.
  e = encodeJson(plan, options, R"({"R":{"KIND":"a","A":"abcd","B":null,"C":null,"Z":"z"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "aabcdz");
  e = encodeJson(plan, options, R"({"R":{"KIND":"a","A":"abcd","C":{"C1":"xy","C2":5},"Z":"z"}})");
  EXPECT_FALSE(e.bytes);
  EXPECT_EQ(e.problems, "R.A: the REDEFINES alternatives A and C share their bytes: give one, or "
                        "-when rules that choose\n");
  e = encodeJson(plan, options, R"({"R":{"KIND":"a","Z":"z"}})");
  EXPECT_EQ(e.problems, "R.A: no value given for it or a REDEFINES alternative\n");

  // -when: the rule's alternative is written, the others are left aside.
  options.rules = {{"KIND", "c", "C"}, {"KIND", "b", "B"}};
  plan = planOf(redefined, options);
  e = encodeJson(plan, options,
                 R"({"R":{"KIND":"c","A":"abcd","B":null,"C":{"C1":"xy","C2":5},"Z":"z"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(*e.bytes, "cxy05z");
  e = encodeJson(plan, options, R"({"R":{"KIND":"b","A":"abcd","Z":"z"}})");
  EXPECT_EQ(e.problems, "R.B: no value given\n");
}

const char twoRecords[] = "       01  HDR.\n"
                          "           05  H-TYPE  PIC X.\n"
                          "           05  H-DATE  PIC 9(6).\n"
                          "       01  DTL.\n"
                          "           05  D-TYPE  PIC X.\n"
                          "           05  D-AMT   PIC S9(3) COMP-3.\n";

TEST(RecordEncoder, SeveralRecordsByTheirKey) {
  EncodeOptions options = asciiOptions();
  EncodePlan plan = planOf(twoRecords, options);
  Encoded e = encodeJson(plan, options, R"({"DTL":{"D-TYPE":"D","D-AMT":-5}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "44 00 5D");
  e = encodeJson(plan, options, R"({"DTL":{"D-TYPE":"D","D-AMT":-5}})", 7);
  ASSERT_TRUE(e.bytes);
  EXPECT_EQ(hex(*e.bytes), "44 00 5D 20 20 20 20") << "F: padded to the longest record";
  e = encodeJson(plan, options, R"({"HDR":{"H-TYPE":"H","H-DATE":1},"DTL":{"D-TYPE":"D","D-AMT":1}})");
  EXPECT_EQ(e.problems, "the object holds the records HDR and DTL: give one, or -when rules that "
                        "choose\n");
  e = encodeJson(plan, options, R"({"TRL":{}})");
  EXPECT_EQ(e.problems, "\"TRL\" names no record of the copybook (HDR, DTL)\n");
  // As the decoder shows every record of a line without -when: a rule chooses.
  options.rules = {{"H-TYPE", "H", "HDR"}, {"H-TYPE", "D", "DTL"}};
  plan = planOf(twoRecords, options);
  e = encodeJson(plan, options,
                 R"({"HDR":{"H-TYPE":"D","H-DATE":null},"DTL":{"D-TYPE":"D","D-AMT":12}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "44 01 2C");
  // -record: the members alone, or under the record's name.
  options = asciiOptions();
  options.record = "dtl";
  plan = planOf(twoRecords, options);
  e = encodeJson(plan, options, R"({"D-TYPE":"X","D-AMT":1})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "58 00 1C");
  e = encodeJson(plan, options, R"({"DTL":{"D-TYPE":"X","D-AMT":1}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "58 00 1C");
  EXPECT_EQ(*encodeFast(plan, options, R"({"D-TYPE":"X","D-AMT":1})"), *e.bytes);
}

TEST(RecordEncoder, FillersNullsAndRefusals) {
  EncodeOptions options = asciiOptions();
  const char copybook[] = "       01  R.\n"
                          "           05  FILLER PIC X(2).\n"
                          "           05  G.\n"
                          "               10  N  PIC S99 COMP-3.\n"
                          "               10  FILLER PIC X.\n"
                          "               10  FILLER PIC 9.\n"
                          "           05  S  PIC X(3).\n";
  EncodePlan plan = planOf(copybook, options);
  Encoded e = encodeJson(plan, options, R"({"R":{"G":{"N":-3},"S":"s"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "20 20 00 3D 20 20 73 20 20") << "FILLERs blank";
  e = encodeJson(plan, options, R"({"R":{"FILLER":"x","G":{"N":1},"S":"s"}})");
  EXPECT_EQ(e.problems, "R: unknown key \"FILLER\" (FILLER values are read with -fillers)\n");
  options.fillers = true;
  plan = planOf(copybook, options);
  e = encodeJson(plan, options, R"({"R":{"FILLER":"xy","G":{"N":1,"FILLER2":7},"S":"s"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "78 79 00 1C 20 37 73 20 20") << "given FILLERs, the others blank";

  options = asciiOptions();
  plan = planOf(copybook, options);
  const std::string nulls = R"({"R":{"G":{"N":null},"S":null}})";
  e = encodeJson(plan, options, nulls);
  EXPECT_EQ(e.problems, "R.G.N: null (-null spaces, zeros or low-values writes it)\n"
                        "R.S: null (-null spaces, zeros or low-values writes it)\n");
  options.null = FillMode::zeros;
  EXPECT_EQ(hex(*encodeJson(plan, options, nulls).bytes), "20 20 00 0C 20 20 20 20 20");
  options.null = FillMode::lowValues;
  EXPECT_EQ(hex(*encodeJson(plan, options, nulls).bytes), "20 20 00 00 20 20 00 00 00");
  options.null = FillMode::spaces;
  EXPECT_EQ(hex(*encodeJson(plan, options, nulls).bytes), "20 20 20 20 20 20 20 20 20");

  options = asciiOptions();
  const std::vector<std::pair<std::string, std::string>> refused = {
      {R"({"R":{"G":{"N":100},"S":"s"}})", "R.G.N: 100 does not fit PIC S99 COMP-3: too many digits\n"},
      {R"({"R":{"G":{"N":1.5},"S":"s"}})",
       "R.G.N: 1.5 does not fit PIC S99 COMP-3: more decimal places than 0\n"},
      {R"({"R":{"G":{"N":"1"},"S":"s"}})", "R.G.N: a number is expected, not a string\n"},
      {R"({"R":{"G":{"N":1},"S":"long"}})",
       "R.S: a text of 4 characters does not fit PIC X(3) (-truncate cuts it)\n"},
      {R"({"R":{"G":{"N":1},"S":"\u20ac"}})", "R.S: the character U+20AC has no byte in ASCII\n"},
      {R"({"R":{"G":{"N":1}}})", "R.S: no value given\n"},
      {R"({"R":{"G":{"N":1,"M":2},"S":"s"}})", "R.G: unknown key \"M\"\n"},
      {R"({"R":{"G":{"N":1},"S":"s","S":"t"}})", "R.S: given twice\n"},
      {R"({"R":{"G":[],"S":"s"}})", "R.G: an object (a group) is expected, not an array\n"},
      {R"([1])", "a line holds one JSON object, not an array\n"},
  };
  for (const auto &[line, problems] : refused) {
    const Encoded r = encodeJson(plan, options, line);
    EXPECT_FALSE(r.bytes) << line;
    EXPECT_EQ(r.problems, problems) << line;
  }
  options.truncate = true;
  e = encodeJson(plan, options, R"({"R":{"G":{"N":1},"S":"long"}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(e.bytes->substr(6), "lon");
}

std::string base64(const std::string &bytes) {
  std::string text;
  appendBase64(bytes, text);
  return text;
}

// _raw: bytes whose values did not change are written back as they were.
TEST(RecordEncoder, RawBytesComeBackWhereValuesDidNotChange) {
  const EncodeOptions options;
  const EncodePlan plan = planOf(accounts, options);
  // An F sign nibble on the packed field, an F zone on the signed zoned
  // one, lower-case letters in the FILLER: valid values, not the preferred forms.
  const std::string odd = "\xF0\xF0\xF0\xF1" "\xC1\xD3\xC9\xC3\xC5\x40" "\x00\x12\x34\x5F"
                          "\xF0\xF0\xF1\xF5" "\x00\x07" "\x81\x82"s;
  const std::string raw = base64(odd);
  const std::string values = R"("ACCT-ID":1,"ACCT-NAME":"ALICE ","ACCT-BAL":123.45,"ACCT-RATE":1.5,)";
  Encoded e = encodeJson(plan, options,
                         R"({"ACCT":{)" + values + R"("ACCT-COUNT":7},"_raw":")" + raw + R"("})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), hex(odd));
  // One value changed: only its bytes are new.
  e = encodeJson(plan, options,
                 R"({"ACCT":{)" + values + R"("ACCT-COUNT":-2},"_raw":")" + raw + R"("})");
  ASSERT_TRUE(e.bytes) << e.problems;
  std::string changed = odd;
  changed.replace(18, 2, "\xFF\xFE");
  EXPECT_EQ(hex(*e.bytes), hex(changed));
  // Bytes that are no value at all (null from the decoder) stay too.
  const std::string bad = "\xF0\xF0\xF0\xF1" "\xC1\xD3\xC9\xC3\xC5\x40" "\xAB\xCD\xEF\x01"
                          "\xF0\xF0\xF1\xD5" "\x00\x07" "\x40\x40"s;
  e = encodeJson(plan, options,
                 R"({"ACCT":{"ACCT-ID":1,"ACCT-NAME":"ALICE ","ACCT-BAL":null,"ACCT-RATE":-1.5,)"
                 R"("ACCT-COUNT":7},"_raw":")" + base64(bad) + R"("})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), hex(bad));
  e = encodeJson(plan, options, R"({"ACCT":{)" + values + R"("ACCT-COUNT":7},"_raw":"A="})");
  EXPECT_EQ(e.problems, "_raw: not the base64 text of the record's bytes\n");
}

// The decoder shows an IBM COMP-1 past float's range as inf: no JSON number,
// but its _raw bytes give it back.
TEST(RecordEncoder, Comp1PastFloatRangeAndNoNonFiniteWords) {
  const EncodeOptions options;
  const EncodePlan plan = planOf("       01  R.\n           05  F  COMP-1.\n", options);
  // X'7FFFFFFF', (1 - 16^-6) * 16^63, past float's largest: the decoder
  // writes the shortest decimal that rounds back to it, which the encoder
  // rounds back to the same word, with or without the record's bytes.
  const std::string huge = "\x7F\xFF\xFF\xFF"s;
  Encoded e = encodeJson(plan, options, R"({"R":{"F":7.237005e+75}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "7F FF FF FF");
  e = encodeJson(plan, options, R"({"R":{"F":7.237005e+75},"_raw":")" + base64(huge) + R"("})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "7F FF FF FF");
  // No decoder line holds inf: it is no number, even beside the bytes.
  e = encodeJson(plan, options, R"({"R":{"F":inf},"_raw":")" + base64(huge) + R"("})");
  EXPECT_EQ(e.problems, "R.F: \"inf\" is not a number\n");
  e = encodeJson(plan, options, R"({"R":{"F":-inf}})");
  EXPECT_EQ(e.problems, "R.F: \"-inf\" is not a number\n");
  e = encodeJson(plan, options, R"({"R":{"F":infinity}})");
  EXPECT_EQ(e.problems, "not JSON: not a JSON value at column 11");
}

TEST(RecordEncoder, RawFieldsWhenATableChangedItsLength) {
  const EncodeOptions options = asciiOptions();
  const char copybook[] = "       01  R.\n"
                          "           05  N     PIC S9(3) COMP-3.\n"
                          "           05  CNT   PIC 9.\n"
                          "           05  T OCCURS 1 TO 3 DEPENDING ON CNT PIC X.\n";
  const EncodePlan plan = planOf(copybook, options);
  // The decoder read N as invalid; a table element was added since, so the
  // record's bytes no longer fit and N's own bytes are taken.
  const std::string raw = base64("\xAB\xCD" "1" "a"s);
  const Encoded e = encodeJson(plan, options,
                               R"({"R":{"N":null,"CNT":2,"T":["a","b"]},"_raw":")" + raw +
                                   R"(","_raw_fields":{"R.N@0":")" + base64("\xAB\xCD"s) + R"("}})");
  ASSERT_TRUE(e.bytes) << e.problems;
  EXPECT_EQ(hex(*e.bytes), "AB CD 32 61 62");
}

} // namespace

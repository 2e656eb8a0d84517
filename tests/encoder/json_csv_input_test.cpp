// The two input readers: JSON into its token tape (escapes, numbers as text, errors with their
// column) and CSV rows in the decoder's shape into the same tape.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder/csv_input.h"
#include "encoder/json_tape.h"
#include "tests/encoder/encoder_support.h"

namespace {

// The tape as text: one token a line, "type text".
std::string tapeText(const JsonTape &tape) {
  static const char *const names[] = {"object", "array", "string", "number", "boolean", "null", "key"};
  std::string text;
  for (std::uint32_t i = 0; i < tape.size(); ++i)
    text += std::string(names[static_cast<int>(tape[i].type)]) + " " + std::string(tape[i].text) +
            "|" + std::to_string(tape[i].next) + "\n";
  return text;
}

TEST(JsonTape, TokensWithTheirEndsAndNumbersAsWritten) {
  std::string line = R"({"A":[1.50,-2E+3],"B":{"C":"x\"\\\/\n\u00e9\ud83d\ude00"},"D":null,"E":true})";
  JsonTape tape;
  ASSERT_TRUE(tape.parse(line.data(), line.size())) << tape.error();
  // Each token with the index after it: a key's is after its value, a
  // container's after its contents.
  EXPECT_EQ(tapeText(tape), "object |13\n"
                            "key A|5\n"
                            "array |5\n"
                            "number 1.50|4\n"
                            "number -2E+3|5\n"
                            "key B|9\n"
                            "object |9\n"
                            "key C|9\n"
                            "string x\"\\/\n\u00e9\U0001F600|9\n"
                            "key D|11\n"
                            "null null|11\n"
                            "key E|13\n"
                            "boolean true|13\n");
}

TEST(JsonTape, RefusesWhatIsNoJsonAndSaysWhere) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({"A":1,})", "a key (a string) is expected at column 8"},
      {R"({"A" 1})", "':' is expected after a key at column 6"},
      {R"({"A":1} x)", "more after the JSON value at column 9"},
      {R"({"A":"open)", "a string without its closing quote at column 6"},
      {R"({"A":"\x"})", "an unknown escape in a string at column 6"},
      {R"({"A":"\ud800"})", "a \\u high surrogate without its low surrogate at column 6"},
      {"{\"A\":\"tab\there\"}", "a control character inside a string (write it as \\u00XX) at column 6"},
      {R"({"A":nul})", "not a JSON value at column 6"},
      {R"({"A":[1,2})", "',' or ']' is expected at column 10"},
      {"", "a value is missing at column 1"},
  };
  for (const auto &[input, message] : cases) {
    std::string line = input;
    JsonTape tape;
    ASSERT_FALSE(tape.parse(line.data(), line.size())) << input;
    EXPECT_EQ(tape.error() + " at column " + std::to_string(tape.column()), message) << input;
  }
}

TEST(CsvInput, RowsWithQuotesAndLineEnds) {
  const std::string data = "a,\"b,\"\"c\"\"\",d\r\n\"two\nlines\",x\nlast";
  const std::size_t first = csvRowEnd(data, false);
  ASSERT_EQ(first, 15u);
  std::string buffer;
  std::vector<std::string_view> cells;
  ASSERT_TRUE(splitCsvRow(std::string_view(data).substr(0, first), buffer, cells));
  EXPECT_EQ(cells, (std::vector<std::string_view>{"a", "b,\"c\"", "d"}));
  const std::string_view rest = std::string_view(data).substr(first);
  const std::size_t second = csvRowEnd(rest, false);
  ASSERT_TRUE(splitCsvRow(rest.substr(0, second), buffer, cells));
  EXPECT_EQ(cells, (std::vector<std::string_view>{"two\nlines", "x"}));
  EXPECT_EQ(csvRowEnd(rest.substr(second), false), std::string_view::npos) << "no line end yet";
  EXPECT_EQ(csvRowEnd(rest.substr(second), true), 4u);
  EXPECT_FALSE(splitCsvRow("\"open", buffer, cells));
}

// A CSV row is encoded as its JSON object would be.
TEST(CsvInput, RowsMakeTheBytesOfTheirJsonObjects) {
  EncodeOptions options;
  options.codePage = "ASCII";
  const char copybook[] = "       01  R.\n"
                          "           05  A     PIC X(3).\n"
                          "           05  B REDEFINES A PIC S9(5) COMP-3.\n"
                          "           05  CNT   PIC 9.\n"
                          "           05  T OCCURS 1 TO 3 DEPENDING ON CNT.\n"
                          "               10  E  PIC 99.\n"
                          "               10  F  PIC X.\n";
  const EncodePlan plan = planOf(copybook, options);
  const std::vector<std::string_view> header = {"A", "B", "CNT", "T[1].E", "T[1].F", "T[2].E",
                                                "T[2].F", "T[3].E", "T[3].F"};
  CsvShape shape(plan, header);
  struct Row {
    std::vector<std::string_view> cells;
    std::string json;
  };
  const std::vector<Row> rows = {
      {{"abc", "", "2", "1", "x", "2", "", "", ""},
       R"({"R":{"A":"abc","CNT":2,"T":[{"E":1,"F":"x"},{"E":2,"F":""}]}})"},
      {{"", "-1234", "1", "7", "y", "", "", "", ""}, R"({"R":{"B":-1234,"CNT":1,"T":[{"E":7,"F":"y"}]}})"},
      // No count: the elements up to the last with a value.
      {{"q", "", "", "1", "a", "2", "b", "", ""},
       R"({"R":{"A":"q","T":[{"E":1,"F":"a"},{"E":2,"F":"b"}]}})"},
  };
  for (const Row &row : rows) {
    JsonTape tape;
    shape.tape(row.cells, tape);
    const Encoded fromCsv = encodeTape(plan, options, tape);
    const Encoded fromJson = encodeJson(plan, options, row.json);
    ASSERT_TRUE(fromJson.bytes) << fromJson.problems;
    ASSERT_TRUE(fromCsv.bytes) << fromCsv.problems << row.json;
    EXPECT_EQ(hex(*fromCsv.bytes), hex(*fromJson.bytes)) << row.json;
  }
  // An empty cell is no number: the decoder's null.
  JsonTape tape;
  shape.tape({"abc", "", "", "", "", "", "", "", ""}, tape);
  EXPECT_EQ(encodeTape(plan, options, tape).problems,
            "R.T: 0 elements, OCCURS 1 TO 3 allows at least 1\n");
  EXPECT_THROW(CsvShape(plan, {"A", "NOPE"}), CsvHeaderError);
  EXPECT_THROW(CsvShape(plan, {"A", "a"}), CsvHeaderError);
}

} // namespace

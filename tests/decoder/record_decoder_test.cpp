// JSON string escapes and CSV quoting of text fields, through a one-field plan.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/record_decoder.h"

namespace {

// One record R holding one text field T of `length` bytes.
DecodePlan textPlan(std::int64_t length) {
  DecodePlan plan;
  PlanField root;
  root.name = "\"R\":";
  root.path = "R";
  root.length = length;
  root.children = {1};
  PlanField text;
  text.name = "\"T\":";
  text.path = "R.T";
  text.kind = FieldKind::text;
  text.length = length;
  plan.fields = {root, text};
  plan.records = {PlanRecord{"R", 0, length}};
  return plan;
}

std::string decodeAs(OutputFormat format, const std::string &data, bool trim = false) {
  const DecodePlan plan = textPlan(static_cast<std::int64_t>(data.size()));
  DecodeOptions options;
  options.format = format;
  options.trim = trim;
  RecordDecoder decoder(plan, options, *CodePage::open("UTF-8"));
  std::string out = decoder.header();
  std::vector<DecodeProblem> problems;
  decoder.decode(data, -1, out, problems);
  EXPECT_TRUE(problems.empty());
  return out;
}

TEST(RecordDecoder, JsonEscapes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "plain"},
      {"a\"b", "a\\\"b"},
      {"back\\slash", "back\\\\slash"},
      {"t\tn\nr\r", "t\\tn\\nr\\r"},
      {std::string("\x01\x1F\x00", 3), "\\u0001\\u001f\\u0000"},
      {"ä/€", "ä/€"}, // neither non-ASCII text nor "/" is escaped
  };
  for (const auto &[data, escaped] : cases)
    EXPECT_EQ(decodeAs(OutputFormat::jsonLines, data), "{\"R\":{\"T\":\"" + escaped + "\"}}\n")
        << testing::PrintToString(data);
}

TEST(RecordDecoder, CsvQuotesOnlyWhenNeeded) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain text", "plain text"},     {"a,b", "\"a,b\""},   {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""}, {"cr\r", "\"cr\r\""}, {"'single'", "'single'"},
  };
  for (const auto &[data, cell] : cases)
    EXPECT_EQ(decodeAs(OutputFormat::csv, data), "T\r\n" + cell + "\r\n")
        << testing::PrintToString(data);
}

TEST(RecordDecoder, TrimDropsTrailingBlanksOnly) {
  EXPECT_EQ(decodeAs(OutputFormat::jsonLines, "  a b  ", true), "{\"R\":{\"T\":\"  a b\"}}\n");
  EXPECT_EQ(decodeAs(OutputFormat::jsonLines, "  a b  ", false), "{\"R\":{\"T\":\"  a b  \"}}\n");
  EXPECT_EQ(decodeAs(OutputFormat::csv, "   ", true), "T\r\n\r\n");
}

} // namespace

// Plans from copybook text and one-line encodes for the encoder's tests.
#include "tests/encoder/encoder_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "decoder/code_page.h"
#include "encoder/json_tape.h"
#include "encoder/record_encoder.h"
#include "encoder/text_bytes.h"
#include "frontend/front_end.h"
#include "record/model_builder.h"

namespace fs = std::filesystem;

EncodePlan planOf(const std::string &copybook, const EncodeOptions &options) {
  const fs::path file =
      fs::temp_directory_path() / ("encoder-test-" + std::to_string(::getpid()) + ".cpy");
  std::ofstream(file, std::ios::binary) << copybook;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.startingLine = false;
  FrontEndResult parsed = ParseCopybook(file.string(), frontEnd);
  fs::remove(file);
  RunState::Scope scope(parsed.run());
  EXPECT_EQ(parsed.errorCount(), 0) << copybook;
  VexCblConfig config;
  config.commaDecimalPoint = options.commaDecimalPoint;
  try {
    return makeEncodePlan(buildRecordModel(parsed.entries(), config), options);
  } catch (const EncodePlanError &error) {
    ADD_FAILURE() << error.message;
  }
  return {};
}

namespace {

struct Pages {
  TextBytes text;
  CodePage page;
};

Pages pagesOf(const EncodeOptions &options) {
  return {*TextBytes::open(options.codePage), *CodePage::open(options.codePage)};
}

} // namespace

Encoded encodeJson(const EncodePlan &plan, const EncodeOptions &options, const std::string &line,
                   std::int64_t fixedLength) {
  std::string text = line;
  JsonTape tape;
  if (!tape.parse(text.data(), text.size()))
    return {std::nullopt,
            "not JSON: " + tape.error() + " at column " + std::to_string(tape.column())};
  return encodeTape(plan, options, tape, fixedLength);
}

Encoded encodeTape(const EncodePlan &plan, const EncodeOptions &options, const JsonTape &tape,
                   std::int64_t fixedLength) {
  const Pages pages = pagesOf(options);
  RecordEncoder encoder(plan, options, pages.text, pages.page, fixedLength);
  Encoded result;
  std::vector<EncodeProblem> problems;
  const std::optional<std::string_view> bytes = encoder.encode(tape, problems);
  for (const EncodeProblem &p : problems)
    result.problems += (p.path.empty() ? "" : p.path + ": ") + p.what + "\n";
  if (bytes)
    result.bytes = std::string(*bytes);
  return result;
}

std::optional<std::string> encodeFast(const EncodePlan &plan, const EncodeOptions &options,
                                      const std::string &line, std::int64_t fixedLength) {
  const Pages pages = pagesOf(options);
  RecordEncoder encoder(plan, options, pages.text, pages.page, fixedLength);
  std::string out = "prefix";
  const std::optional<std::int64_t> length = encoder.encodeLine(line, out, 0);
  if (!length) {
    EXPECT_EQ(out, "prefix") << "a line not taken leaves the buffer as it was";
    return std::nullopt;
  }
  EXPECT_EQ(out.size(), 6 + static_cast<std::size_t>(*length));
  return out.substr(6);
}

std::string hex(const std::string &bytes) {
  std::string text;
  for (const char b : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%s%02X", text.empty() ? "" : " ",
                  static_cast<unsigned char>(b));
    text += pair;
  }
  return text;
}

// The fuzz targets' option byte, file trees and pipeline run in memory.
#include "fuzz/fuzz_support.h"

#include <cctype>

#include "converter/conversion_run.h"

FuzzInput::FuzzInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return;
  flags_ = data[0];
  rest_ = std::string_view(reinterpret_cast<const char *>(data) + 1, size - 1);
}

FuzzOptions FuzzInput::options() const {
  FuzzOptions options;
  options.frontEnd.freeFormat = (flags_ & 0x01) != 0;
  options.frontEnd.messages = nullptr;
  VexCblConfig &c = options.conversion;
  c.messages = nullptr;
  c.levelRestrictions = (flags_ & 0x02) != 0;
  c.noDescription = (flags_ & 0x04) != 0;
  c.commaDecimalPoint = (flags_ & 0x08) != 0;
  c.textNumbersAsStrings = (flags_ & 0x10) != 0;
  if ((flags_ & 0x20) != 0)
    c.compatLevel = VexCblConfig::compat300;
  c.packedDefaultAsText = (flags_ & 0x40) != 0;
  // -ta matters only with -compat 300; without it the bit picks -lenient, so
  // the relaxed reading is fuzzed as well.
  options.frontEnd.lenient = c.lenient = c.packedDefaultAsText && !c.compat300Output();
  if ((flags_ & 0x80) != 0)
    c.namespaceName = "a.b";
  return options;
}

FuzzTree splitTree(std::string_view tree) {
  static constexpr std::string_view marker = "*>FILE ";
  FuzzTree files;
  std::string name;
  std::size_t at = 0;
  for (bool first = true;; first = false) {
    const std::size_t next = tree.find(marker, at);
    const std::string_view text =
        tree.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at);
    if (first)
      files.main = text;
    else
      files.copybooks.push_back({name, std::string(text)});
    if (next == std::string_view::npos)
      break;
    const std::size_t lineEnd = tree.find('\n', next);
    const std::string_view wanted = tree.substr(
        next + marker.size(), lineEnd == std::string_view::npos ? std::string_view::npos
                                                                : lineEnd - next - marker.size());
    name.clear();
    for (char c : wanted)
      if (std::isalnum(static_cast<unsigned char>(c)) && name.size() < 30)
        name += c;
    if (name.empty())
      name = "X";
    name += ".cpy";
    if (lineEnd == std::string_view::npos)
      break;
    at = lineEnd + 1;
  }
  return files;
}

void runPipeline(const std::string &name, std::string_view text, FuzzOptions options,
                 std::vector<CopybookText> copybooks) {
  options.frontEnd.currentDirectory = false;
  // A later copybook of the same name replaces an earlier one, as a file
  // written again would.
  std::vector<CopybookText> latest;
  for (auto copybook = copybooks.rbegin(); copybook != copybooks.rend(); ++copybook) {
    bool seen = false;
    for (const CopybookText &kept : latest)
      seen = seen || kept.name == copybook->name;
    if (!seen)
      latest.push_back(std::move(*copybook));
  }
  options.frontEnd.copybooks = CopybookTable(std::move(latest));
  ParsedInput input =
      parseInputText({name, text}, options.frontEnd, options.conversion.commaDecimalPoint);
  if (input.fatal() || input.errorCount() != 0)
    return;
  std::string document;
  options.conversion.document = &document;
  convertInput(input, options.conversion);
}

// The fuzz targets' scratch folder, option byte and pipeline run.
#include "fuzz/fuzz_support.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <string>

#include "converter/conversion_run.h"
#include "diagnostics/fatal_error.h"

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

FuzzScratch &FuzzScratch::instance() {
  static FuzzScratch scratch;
  return scratch;
}

FuzzScratch::FuzzScratch() {
  std::string pattern = (std::filesystem::temp_directory_path() / "vexfuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    std::abort();
  folder_ = pattern;
}

FuzzScratch::~FuzzScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void FuzzScratch::write(const std::string &name, std::string_view text) const {
  std::ofstream(folder_ / name, std::ios::binary).write(text.data(), std::ssize(text));
}

void FuzzScratch::clear() const {
  for (const auto &entry : std::filesystem::directory_iterator(folder_))
    std::filesystem::remove_all(entry.path());
}

std::string FuzzScratch::writeTree(std::string_view tree) const {
  static constexpr std::string_view marker = "*>FILE ";
  std::string name = "MAIN.cpy";
  std::size_t at = 0;
  for (;;) {
    const std::size_t next = tree.find(marker, at);
    write(name,
          tree.substr(at, next == std::string_view::npos ? std::string_view::npos : next - at));
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
  return "MAIN.cpy";
}

void FuzzScratch::convert(const std::string &name, FuzzOptions options) const {
  options.frontEnd.copyDirectories = {folder_.string()};
  options.conversion.outputFileName = (folder_ / "OUT.gnv").string();
  // Relative names in COPY and the input are read from the folder.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  try {
    process(name, options.frontEnd, options.conversion);
  } catch (const FatalError &) {
    // The program's own way of ending on a fatal message.
  }
  std::filesystem::current_path(previous);
}

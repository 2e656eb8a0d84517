// Reads data-case folders (input, expectation, options line, copybooks); VEX_UPDATE rewrite.
#include "data_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string optionsLine(const DataCase &c) {
  std::string line;
  for (const std::string &option : c.options)
    line += (line.empty() ? "% " : " ") + option;
  return line.empty() ? line : line + "\n";
}

} // namespace

std::vector<DataCase> DataCases(const std::string &folder, const std::string &inputExt,
                                const std::string &expectedExt) {
  std::vector<DataCase> cases;
  const auto dir = std::filesystem::path(VEX_SOURCE_DIR) / "tests/frontend/data" / folder;
  for (const auto &file : std::filesystem::directory_iterator(dir)) {
    if (file.path().extension() != inputExt)
      continue;
    DataCase c;
    c.name = file.path().stem().string();
    c.input = readFile(file.path());
    c.expectedPath = (dir / (c.name + expectedExt)).string();
    c.expected = readFile(c.expectedPath);
    if (c.expected.rfind("% ", 0) == 0) {
      const std::size_t end = c.expected.find('\n');
      std::istringstream words(c.expected.substr(2, end - 2));
      for (std::string word; words >> word;)
        c.options.insert(word);
      c.expected.erase(0, end == std::string::npos ? end : end + 1);
    }
    if (std::filesystem::is_directory(dir / c.name))
      for (const auto &f : std::filesystem::recursive_directory_iterator(dir / c.name))
        if (f.is_regular_file())
          c.files.emplace_back(f.path().lexically_relative(dir / c.name).string(),
                               readFile(f.path()));
    std::sort(c.files.begin(), c.files.end());
    cases.push_back(std::move(c));
  }
  std::sort(cases.begin(), cases.end(),
            [](const DataCase &a, const DataCase &b) { return a.name < b.name; });
  return cases;
}

void ExpectCase(const DataCase &c, const std::string &actual) {
  const char *update = std::getenv("VEX_UPDATE");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(c.expectedPath, std::ios::binary) << optionsLine(c) << actual;
    return;
  }
  EXPECT_EQ(c.expected, actual);
}

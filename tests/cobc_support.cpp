// The cross-check tests' scratch folder and cobc runs.
#include "tests/cobc_support.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

bool CobcInstalled() { return std::system("command -v cobc > /dev/null 2>&1") == 0; }

CobcScratch::CobcScratch() {
  std::string pattern = (fs::temp_directory_path() / "vexcobcXXXXXX").string();
  if (mkdtemp(pattern.data()))
    path_ = pattern;
}

CobcScratch::~CobcScratch() {
  std::error_code ignored;
  if (!path_.empty())
    fs::remove_all(path_, ignored);
}

std::vector<std::string> RunCobol(const CobcScratch &dir, const std::string &name,
                                  const std::string &source, const std::string &flags,
                                  bool keepTrailingBlanks) {
  std::ofstream(dir.path() / (name + ".cob")) << source;
  const std::string in = "cd '" + dir.path().string() + "' && ";
  const std::string compile =
      in + "cobc -x " + flags + " -o " + name + " " + name + ".cob > cobc.log 2>&1";
  std::vector<std::string> lines;
  if (std::system(compile.c_str()) != 0) {
    std::ifstream log(dir.path() / "cobc.log");
    ADD_FAILURE() << "cobc failed:\n"
                  << std::string(std::istreambuf_iterator<char>(log), {}) << "\n"
                  << source;
    return lines;
  }
  FILE *out = popen((in + "./" + name).c_str(), "r");
  if (!out) {
    ADD_FAILURE() << "cannot run the compiled program";
    return lines;
  }
  std::string line;
  std::array<char, 256> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), out)) {
    line += buffer.data();
    if (line.back() != '\n')
      continue; // a line longer than the buffer goes on
    line.pop_back();
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (!keepTrailingBlanks)
      line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(line);
    line.clear();
  }
  EXPECT_EQ(pclose(out), 0);
  return lines;
}

std::string normalNumber(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of(' ') + 1);
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    text.erase(0, 1);
  }
  const std::size_t point = text.find('.');
  std::string whole = text.substr(0, point);
  std::string fraction = point == std::string::npos ? "" : text.substr(point);
  fraction.erase(fraction.find_last_not_of('0') + 1);
  if (fraction == ".")
    fraction.clear();
  whole.erase(0, whole.find_first_not_of('0'));
  if (whole.empty())
    whole = "0";
  const bool zero = whole == "0" && fraction.empty();
  return (negative && !zero ? "-" : "") + whole + fraction;
}


// Reading files back whole.
#include "tests/cli/file_support.h"

#include <fstream>
#include <sstream>

std::string readFile(const std::filesystem::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

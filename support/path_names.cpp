// Base name, directory name and separator replacement of path texts.
#include "support/path_names.h"

#include <algorithm>

std::string rBaseName(const std::string &path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string rDirName(const std::string &path) {
  std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string rReplaceDirSeparator(const std::string &path) {
  std::string result = path;
  std::replace(result.begin(), result.end(), '\\', '/');
  return result;
}

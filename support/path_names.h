#pragma once
// Path helpers of the copybook search (base name, directory name, backslashes).
#include <string>

// Path helpers of the copybook search; "/" is the separator.
std::string rBaseName(const std::string &path); // after the last "/"
std::string rDirName(const std::string &path);  // up to and including the last "/", or ""
// Every backslash replaced by "/".
std::string rReplaceDirSeparator(const std::string &path);

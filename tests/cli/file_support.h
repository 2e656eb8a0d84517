#pragma once
// Files the tests of whole runs read back.
#include <filesystem>
#include <string>

// The bytes of `path`, empty when it cannot be read.
std::string readFile(const std::filesystem::path &path);

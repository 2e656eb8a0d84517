#pragma once
// Cases as data: tests/frontend/data/FOLDER/NAME.IN holds the input and
// NAME.OUT what it must produce. The expectation may start with an options
// line "% word word ...". With VEX_UPDATE=1 in the environment the runners
// rewrite the expectations (options line kept) instead of comparing; read
// every rewritten file before committing it. Files under a folder NAME/ beside
// the case (copybooks) come with it.
#include <set>
#include <string>
#include <utility>
#include <vector>

struct DataCase {
  std::string name;  // NAME
  std::string input; // the bytes of NAME.IN
  std::set<std::string> options;
  std::string expected;     // NAME.OUT without its options line
  std::string expectedPath; // the path of NAME.OUT
  // The files under NAME/: path relative to it and contents, sorted by path.
  std::vector<std::pair<std::string, std::string>> files;
};

// Every case of the folder, sorted by name; a missing expectation is empty.
std::vector<DataCase> DataCases(const std::string &folder, const std::string &inputExt,
                                const std::string &expectedExt);

// Expects `actual` to be the case's expectation, or rewrites it in update mode.
void ExpectCase(const DataCase &c, const std::string &actual);

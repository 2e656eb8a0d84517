#pragma once
// What the fuzz targets share: the options taken from the input's first
// byte, the copybooks of a file tree, and one run of the pipeline in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "converter/conversion_options.h"
#include "frontend/front_end.h"

// The options of one fuzzed run: front-end and conversion switches.
struct FuzzOptions {
  FrontEndOptions frontEnd;
  VexCblConfig conversion;
};

// An input split into its option byte and the rest.
class FuzzInput {
public:
  FuzzInput(const std::uint8_t *data, std::size_t size);
  // Bit 0 -f, 1 -r, 2 -dnd, 3 -c, 4 -tn, 5 -compat 300, 6 -ta, 7 -ns a.b;
  // an empty input has none.
  FuzzOptions options() const;
  std::string_view rest() const { return rest_; }

private:
  std::uint8_t flags_ = 0;
  std::string_view rest_;
};

// A file tree: the main copybook and the copybooks it may COPY.
struct FuzzTree {
  std::string_view main;
  std::vector<CopybookText> copybooks;
};

// Splits `tree` at its "*>FILE NAME" lines: the text before the first is the
// main copybook, each such line starts a copybook named NAME reduced to
// letters and digits (at most 30, "X" when none is left) plus ".cpy"; a
// last such line without a line end starts none.
FuzzTree splitTree(std::string_view tree);

// Runs the pipeline on `text`, named `name`, as the program runs a file, all
// in memory: COPY finds `copybooks` and no directory, the document is kept
// as a string. A fatal front-end end is a normal outcome; anything else
// escapes to the fuzzer as a finding.
void runPipeline(const std::string &name, std::string_view text, FuzzOptions options,
                 std::vector<CopybookText> copybooks = {});

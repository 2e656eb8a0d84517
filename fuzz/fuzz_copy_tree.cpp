// Fuzz target: the input is a small file tree (the main copybook and the
// copybooks it may COPY, separated by lines "*>FILE NAME"), so COPY,
// REPLACING, REPLACE and nesting are fuzzed together; the first byte picks
// the options.
#include <cstddef>
#include <cstdint>
#include <utility>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzInput input(data, size);
  FuzzTree tree = splitTree(input.rest());
  runPipeline("MAIN.cpy", tree.main, input.options(), std::move(tree.copybooks));
  return 0;
}

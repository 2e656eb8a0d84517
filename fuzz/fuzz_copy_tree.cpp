// Fuzz target: the input is a small file tree (the main copybook and the
// copybooks it may COPY, separated by lines "*>FILE NAME"), so COPY,
// REPLACING, REPLACE and nesting are fuzzed together; the first byte picks
// the options.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzScratch &scratch = FuzzScratch::instance();
  FuzzInput input(data, size);
  const FuzzOptions options = input.options();
  scratch.clear();
  const std::string main = scratch.writeTree(input.rest());
  scratch.convert(main, options);
  return 0;
}

// Fuzz target: the input's bytes are a copybook, run through the whole
// pipeline as the program runs it; the first byte picks the options.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzScratch &scratch = FuzzScratch::instance();
  FuzzInput input(data, size);
  const FuzzOptions options = input.options();
  scratch.write("MAIN.cpy", input.rest());
  scratch.convert("MAIN.cpy", options);
  return 0;
}

// Fuzz target: the input's bytes are a program file, run through the whole
// pipeline as `vexfcbl -program` runs it; the first byte picks the options.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzScratch &scratch = FuzzScratch::instance();
  FuzzInput input(data, size);
  FuzzOptions options = input.options();
  options.frontEnd.program = true;
  scratch.write("MAIN.cbl", input.rest());
  scratch.convert("MAIN.cbl", options);
  return 0;
}

// Fuzz target: the input's bytes are a program file, run through the whole
// pipeline as `vexfcbl -program` runs it; the first byte picks the options.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzInput input(data, size);
  FuzzOptions options = input.options();
  options.frontEnd.program = true;
  runPipeline("MAIN.cbl", input.rest(), options);
  return 0;
}

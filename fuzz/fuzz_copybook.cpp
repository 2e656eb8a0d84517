// Fuzz target: the input's bytes are a copybook, run through the whole
// pipeline as the program runs it; the first byte picks the options.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  FuzzInput input(data, size);
  runPipeline("MAIN.cpy", input.rest(), input.options());
  return 0;
}

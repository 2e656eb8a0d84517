// Scans one source file through the front end's scanning entry point and
// reports the throughput.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "frontend/front_end.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_scanner FILE [free]\n");
    return 2;
  }
  const char *path = argv[1];
  FrontEndOptions options;
  options.freeFormat = argc > 2 && std::strcmp(argv[2], "free") == 0;
  options.messages = nullptr;

  auto start = std::chrono::steady_clock::now();
  unsigned long tokens = 0;
  const int errors = ScanCopybook(path, options, [&](int, const tScanAttribute &) { ++tokens; });
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  std::printf("%.1f MB, %lu tokens, %.3f s: %.1f MB/s; messages: %d errors\n", megabytes, tokens,
              seconds, megabytes / seconds, errors);
  return 0;
}

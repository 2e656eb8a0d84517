// Scans one source file through GetToken and reports the throughput.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "frontend/keywords.h"
#include "diagnostics/message_store.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"
#include "support/run_memory.h"
#include "support/run_state.h"

int main(int argc, char **argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_scanner FILE [free]\n");
    return 2;
  }
  const char *path = argv[1];
  free_format = argc > 2 && std::strcmp(argv[2], "free") == 0;
  MaxColumn = free_format ? 256 : 72;
  RunState run;
  RunState::Scope scope(run);
  InitStringMemory();
  InitIdents();
  BeginErrors();
  StoreMessages(true);
  init_keywords(argv[0]);

  auto start = std::chrono::steady_clock::now();
  BeginFile(path);
  BeginScanner();
  unsigned long tokens = 0;
  while (GetToken() != tok::EndOfInput)
    ++tokens;
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  double megabytes = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  std::printf("%.1f MB, %lu tokens, %lu identifiers, %.3f s: %.1f MB/s\n", megabytes, tokens,
              static_cast<unsigned long>(MaxIdent()), seconds, megabytes / seconds);
  std::printf("run arena memory: %zu bytes; messages: %d errors\n", RunArenaBytes(),
              GetCount(xxError));
  CloseScanner();
  CloseIdents();
  CloseStringMemory();
  return 0;
}

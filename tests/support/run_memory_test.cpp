// Tests the run's arena against the standard monotonic arena and the kernel's
// view of the pages its helper thread makes resident.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory_resource>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/run_memory.h"
#include "support/run_state.h"

namespace {

constexpr std::size_t MB = std::size_t{1} << 20;

// Counts what a standard monotonic arena asks of the heap.
class Recorder : public std::pmr::memory_resource {
public:
  std::size_t total = 0;

private:
  void *do_allocate(std::size_t size, std::size_t alignment) override {
    total += size;
    return std::pmr::new_delete_resource()->allocate(size, alignment);
  }
  void do_deallocate(void *block, std::size_t size, std::size_t alignment) override {
    std::pmr::new_delete_resource()->deallocate(block, size, alignment);
  }
  bool do_is_equal(const std::pmr::memory_resource &other) const noexcept override {
    return this == &other;
  }
};

std::size_t threadCount() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

std::size_t residentBytesOfProcess() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0)
      return std::stoul(line.substr(6)) * 1024;
  return 0;
}

struct Mapping {
  char *start;
  char *end;
};

// The mapping that holds `address`, as the kernel lists it.
std::optional<Mapping> mappingOf(const void *address) {
  std::ifstream maps("/proc/self/maps");
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  for (std::string line; std::getline(maps, line);) {
    std::uintptr_t start = 0, end = 0;
    char dash = 0;
    std::istringstream fields(line);
    fields >> std::hex >> start >> dash >> end;
    if (start <= at && at < end)
      return Mapping{reinterpret_cast<char *>(start), reinterpret_cast<char *>(end)};
  }
  return std::nullopt;
}

// Bytes of [from, to) resident, by mincore; both ends on page bounds.
std::size_t residentBytes(char *from, char *to) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> flags((static_cast<std::size_t>(to - from) + page - 1) / page);
  if (flags.empty() || mincore(from, static_cast<std::size_t>(to - from), flags.data()) != 0)
    return 0;
  std::size_t resident = 0;
  for (unsigned char flag : flags)
    resident += (flag & 1) * page;
  return resident;
}

bool kernelPopulates() {
  void *probe = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  const bool ok = probe != MAP_FAILED && madvise(probe, 4096, 23 /* MADV_POPULATE_WRITE */) == 0;
  if (probe != MAP_FAILED)
    munmap(probe, 4096);
  return ok;
}

// The out-of-memory message reports the bytes the arena took: they must be
// those the standard arena takes for the same requests, large and odd ones
// included (a request larger than the next block, zero bytes). Alignments
// stay within a block's own (larger ones depend on where the heap puts it).
TEST(RunMemoryTest, TakesTheBlocksOfTheStandardArena) {
  Recorder recorder;
  std::pmr::monotonic_buffer_resource standard{20480, &recorder};
  std::uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  const std::size_t alignments[] = {1, 2, 8, 16, 4, 8};
  for (int step = 0; step < 40000; ++step) {
    std::size_t size = (next() >> 8) % 300;
    if (step % 997 == 0)
      size = 4096 + (next() >> 8) % 60000;
    if (step % 9001 == 0)
      size = 3 * MB + 17;
    if (step == 31000)
      size = 70 * MB; // more than the next block would be
    const std::size_t alignment = alignments[(next() >> 8) % 6];
    void *ours = RunAllocate(size, alignment);
    (void)standard.allocate(size, alignment);
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(ours) % alignment, 0u) << "step " << step;
    ASSERT_EQ(RunArenaBytes(), recorder.total) << "step " << step << ", " << size << " bytes";
  }
  EXPECT_GT(recorder.total, 100 * MB) << "the sequence reached several large blocks";
}

// The pages of a large block are resident before the allocation point
// reaches them, and only a few megabytes past it: the whole run grows by what
// it was given and that margin, however large the block it is in.
TEST(RunMemoryTest, MakesLargeBlocksResidentJustAheadOfUse) {
  if (!kernelPopulates())
    GTEST_SKIP() << "the kernel does not populate on request";
  const std::size_t before = residentBytesOfProcess();
  // The current block: where the pieces stop following each other, and its
  // size from what the arena took for it.
  char *start = nullptr, *last = nullptr;
  std::size_t blockSize = 0, given = 0;
  while (given < 48 * MB) {
    const std::size_t took = RunArenaBytes();
    char *piece = static_cast<char *>(RunAllocate(64 * 1024, 16));
    if (piece != last + 64 * 1024) {
      start = piece;
      blockSize = RunArenaBytes() - took;
    }
    last = piece;
    given += 64 * 1024;
  }
  RunArenaSettle();
  ASSERT_GE(blockSize, 4 * MB) << "the pieces reached a large block";
  char *point = last + 64 * 1024;
  char *end = start + ((blockSize + 2 * MB - 1) & ~(2 * MB - 1));
  // Nothing here writes to what it was given.
  EXPECT_EQ(residentBytes(start, point), static_cast<std::size_t>(point - start));
  const std::size_t beyond = residentBytes(point, end);
  EXPECT_GT(beyond, 0u);
  EXPECT_LE(beyond, 8 * MB);
  EXPECT_LE(residentBytesOfProcess(), before + given + 8 * MB);
}

// A small run never starts the thread; a large one's thread and blocks go
// with the run, also when an exception ends it.
TEST(RunMemoryTest, ThreadOnlyForLargeRunsAndGoneWithTheRun) {
  const std::size_t threads = threadCount();
  for (int i = 0; i < 2000; ++i)
    (void)RunAllocate(1000, 8); // a level-88 copybook's tree takes about this
  EXPECT_EQ(threadCount(), threads);

  char *last = nullptr;
  std::optional<Mapping> block;
  EXPECT_THROW(
      {
        RunState run;
        RunState::Scope scope(run);
        for (std::size_t given = 0; given < 24 * MB; given += 4096)
          last = static_cast<char *>(RunAllocate(4096, 8));
        RunArenaSettle();
        block = mappingOf(last);
        EXPECT_EQ(threadCount(), threads + 1);
        throw std::runtime_error("the run fails");
      },
      std::runtime_error);
  ASSERT_TRUE(block);
  const std::optional<Mapping> after = mappingOf(last);
  EXPECT_FALSE(after && after->start == block->start && after->end == block->end)
      << "the run's block outlived it";
}

} // namespace

// The run's arena over std::pmr, counting the bytes it took from the heap.
#include "support/run_memory.h"

#include <sys/mman.h>

#include <new>

#include "support/run_state.h"

namespace {

// Large blocks come straight from the system on huge pages where it offers
// them: a big copybook's tree touches hundreds of megabytes once, and the
// faults of ordinary pages cost as much as building the tree.
constexpr std::size_t HugePage = std::size_t{2} << 20;
constexpr std::size_t LargeBlock = 2 * HugePage;

std::size_t roundedToHugePages(std::size_t size) { return (size + HugePage - 1) & ~(HugePage - 1); }

// Counts what the arena takes from the heap, for the out-of-memory message
// and the benchmark's memory figure.
class CountingResource : public std::pmr::memory_resource {
public:
  std::size_t bytes() const { return bytes_; }

private:
  void *do_allocate(std::size_t size, std::size_t alignment) override {
    void *block = nullptr;
    if (size >= LargeBlock && alignment <= HugePage) {
      block = mmap(nullptr, roundedToHugePages(size), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (block == MAP_FAILED)
        throw std::bad_alloc();
      madvise(block, roundedToHugePages(size), MADV_HUGEPAGE);
    } else {
      block = std::pmr::new_delete_resource()->allocate(size, alignment);
    }
    bytes_ += size;
    return block;
  }
  void do_deallocate(void *block, std::size_t size, std::size_t alignment) override {
    if (size >= LargeBlock && alignment <= HugePage)
      munmap(block, roundedToHugePages(size));
    else
      std::pmr::new_delete_resource()->deallocate(block, size, alignment);
  }
  bool do_is_equal(const std::pmr::memory_resource &other) const noexcept override {
    return this == &other;
  }

  std::size_t bytes_ = 0;
};

// The first block is as large as a string block used to be, so that a small
// run asks the heap only once or twice.
constexpr std::size_t FirstBlockSize = 20480;

struct ArenaState {
  CountingResource heap;
  std::pmr::monotonic_buffer_resource arena{FirstBlockSize, &heap};
};

constexpr RunSlot<ArenaState> state{RunSlotId::arena};

} // namespace

std::pmr::memory_resource &RunArena() { return state().arena; }

void *RunAllocate(std::size_t size, std::size_t alignment) {
  return state().arena.allocate(size, alignment);
}

std::size_t RunArenaBytes() { return state().heap.bytes(); }

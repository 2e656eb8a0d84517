// The run's arena: a bump allocator over blocks that grow geometrically, whose
// large blocks a helper thread makes resident a little ahead of their use.
#include "support/run_memory.h"

#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "support/run_state.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace {

// Large blocks come straight from the system on huge pages where it offers
// them: a big copybook's tree touches hundreds of megabytes once, and the
// faults of ordinary pages cost as much as building the tree.
constexpr std::size_t HugePage = std::size_t{2} << 20;
constexpr std::size_t LargeBlock = 2 * HugePage;
// How far past the allocation point a large block's pages are made ready.
// The kernel clears (and a virtual machine's host first backs) every fresh
// page; done on another thread it leaves the converting thread's way, and
// this bound is all it can add to the peak.
constexpr std::size_t Ahead = 2 * HugePage;

std::size_t roundedToHugePages(std::size_t size) { return (size + HugePage - 1) & ~(HugePage - 1); }

bool isLarge(std::size_t size, std::size_t alignment) {
  return size >= LargeBlock && alignment <= HugePage;
}

// Takes blocks from the heap, or for large ones from the system, and counts
// them for the out-of-memory message and the benchmark's memory figure.
class BlockSource {
public:
  std::size_t bytes() const { return bytes_; }

  // A large block's mapping, not yet counted: nothing of it is resident.
  static void *map(std::size_t size) {
    void *block = mmap(nullptr, roundedToHugePages(size), PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED)
      return nullptr;
    madvise(block, roundedToHugePages(size), MADV_HUGEPAGE);
    return block;
  }
  static void unmap(void *block, std::size_t size) { munmap(block, roundedToHugePages(size)); }

  // `mapped`: a large block mapped beforehand for this request, or null.
  void *take(std::size_t size, std::size_t alignment, void *mapped) {
    void *block = mapped;
    if (block == nullptr) {
      block = isLarge(size, alignment)
                  ? map(size)
                  : std::pmr::new_delete_resource()->allocate(size, alignment);
      if (block == nullptr)
        throw std::bad_alloc();
    }
    bytes_ += size;
    return block;
  }
  static void give(void *block, std::size_t size, std::size_t alignment) {
    if (isLarge(size, alignment))
      unmap(block, size);
    else
      std::pmr::new_delete_resource()->deallocate(block, size, alignment);
  }

private:
  std::size_t bytes_ = 0;
};

// Makes ranges of large blocks resident on a thread of its own, in the order
// asked. Started by the first request, so a small run never has it; a kernel
// that refuses the request (before Linux 5.14) or a thread that cannot be
// started leaves every page to its first touch, as before.
class Populator {
public:
  Populator() = default;
  ~Populator() { stop(); }
  Populator(const Populator &) = delete;
  Populator &operator=(const Populator &) = delete;

  void request(char *from, char *to) {
    if (from >= to || refused_.load(std::memory_order_relaxed))
      return;
    {
      std::lock_guard lock(mutex_);
      ranges_.emplace_back(from, to);
    }
    if (!thread_.joinable()) {
      try {
        thread_ = std::thread([this] { run(); });
      } catch (const std::system_error &) {
        refused_ = true;
        std::lock_guard lock(mutex_);
        ranges_.clear();
        return;
      }
    }
    wake_.notify_one();
  }

  // Returns once nothing asked is left to do: a range about to be unmapped
  // must not be touched afterwards.
  void settle() {
    if (!thread_.joinable())
      return;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return ranges_.empty() && !busy_; });
  }

  // Ends the thread after at most one more huge page.
  void stop() {
    if (!thread_.joinable())
      return;
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }

private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || !ranges_.empty(); });
      if (stopping_)
        return;
      auto [from, to] = ranges_.front();
      ranges_.pop_front();
      busy_ = true;
      lock.unlock();
      populate(from, to);
      lock.lock();
      busy_ = false;
      if (ranges_.empty())
        idle_.notify_all();
    }
  }

  void populate(char *from, char *to) {
    while (from < to && !refused_.load(std::memory_order_relaxed)) {
      {
        std::lock_guard lock(mutex_);
        if (stopping_)
          return;
      }
      const std::size_t step = std::min<std::size_t>(HugePage, static_cast<std::size_t>(to - from));
      // Only whole pages can be asked for; the ranges start on page bounds.
      if (madvise(from, (step + 4095) & ~std::size_t{4095}, MADV_POPULATE_WRITE) != 0 &&
          errno != EINTR)
        refused_ = true; // unsupported, or out of memory: first touch as before
      from += step;
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<std::pair<char *, char *>> ranges_;
  bool stopping_ = false;
  bool busy_ = false;
  std::atomic<bool> refused_{false};
  std::thread thread_;
};

// The arena proper. Its blocks are those std::pmr::monotonic_buffer_resource
// would take (the same sizes in the same order, so the bytes the out-of-memory
// message reports do not change), but it knows where its allocation point is.
class Arena : public std::pmr::memory_resource {
public:
  Arena() = default;
  ~Arena() override {
    populator_.stop();
    if (prepared_ != nullptr)
      BlockSource::unmap(prepared_, preparedSize_);
    for (auto it = blocks_.rbegin(); it != blocks_.rend(); ++it)
      BlockSource::give(it->start, it->size, it->alignment);
  }
  Arena(const Arena &) = delete;
  Arena &operator=(const Arena &) = delete;

  std::size_t bytes() const { return source_.bytes(); }
  void settle() { populator_.settle(); }

  // One test on the way of most requests: the end of the block, or the
  // allocation point at which to look ahead, whichever comes first.
  void *take(std::size_t size, std::size_t alignment) {
    const std::uintptr_t at =
        (reinterpret_cast<std::uintptr_t>(current_) + alignment - 1) & ~(alignment - 1);
    const auto bound = reinterpret_cast<std::uintptr_t>(stopAt_);
    if (size != 0 && at <= bound && size <= bound - at) [[likely]] {
      current_ = reinterpret_cast<char *>(at + size);
      return reinterpret_cast<void *>(at);
    }
    return takeAtBound(size, alignment);
  }

private:
  void *do_allocate(std::size_t size, std::size_t alignment) override {
    return take(size, alignment);
  }
  void do_deallocate(void *, std::size_t, std::size_t) override {}
  bool do_is_equal(const std::pmr::memory_resource &other) const noexcept override {
    return this == &other;
  }

  [[gnu::noinline]] void *takeAtBound(std::size_t size, std::size_t alignment) {
    if (size == 0)
      size = 1; // never the same address twice
    // Where std::align would put it, in the block as the standard arena has it.
    const std::uintptr_t at =
        (reinterpret_cast<std::uintptr_t>(current_) + alignment - 1) & ~(alignment - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(end_);
    char *taken = reinterpret_cast<char *>(at);
    if (current_ == nullptr || at > end || size > end - at) {
      newBlock(size, alignment);
      taken = current_;
    }
    current_ = taken + size;
    if (current_ >= signalAt_)
      lookAhead();
    stopAt_ = std::min(end_, signalAt_);
    return taken;
  }

  // The size of the block the arena will ask for next, bookkeeping included.
  static std::size_t blockSize(std::size_t bytes) {
    return (bytes + BookkeepingBytes + 63) & ~std::size_t{63};
  }

  void newBlock(std::size_t size, std::size_t alignment) {
    const std::size_t wanted = blockSize(std::max(size, next_));
    const std::size_t blockAlignment = std::max(alignment, alignof(std::max_align_t));
    void *mapped = nullptr;
    if (prepared_ != nullptr) {
      if (preparedSize_ == wanted && isLarge(wanted, blockAlignment)) {
        mapped = prepared_;
      } else {
        populator_.settle();
        BlockSource::unmap(prepared_, preparedSize_);
      }
      prepared_ = nullptr;
    }
    blocks_.reserve(blocks_.size() + 1);
    char *start = static_cast<char *>(source_.take(wanted, blockAlignment, mapped));
    blocks_.push_back({start, wanted, blockAlignment});
    current_ = start;
    end_ = start + (wanted - BookkeepingBytes);
    next_ = static_cast<std::size_t>(static_cast<float>(next_) * GrowthFactor);
    large_ = isLarge(wanted, blockAlignment);
    mapEnd_ = start + roundedToHugePages(wanted);
    if (large_) {
      // What was prepared of it counts as asked for already.
      asked_ = start + (mapped != nullptr ? preparedAsked_ : 0);
      signalAt_ = start;
    } else if (nextIsLarge()) {
      // A small block's only signal: its end is near and the next is large.
      signalAt_ = end_ - current_ > static_cast<std::ptrdiff_t>(Ahead) ? end_ - Ahead : start;
    } else {
      signalAt_ = NoSignal;
    }
  }

  bool nextIsLarge() const { return isLarge(blockSize(next_), alignof(std::max_align_t)); }

  // The first huge page bound at or after `at`: requests are whole huge
  // pages, which is what a fault on huge pages makes resident anyway.
  static char *hugePageAfter(char *at) {
    return reinterpret_cast<char *>((reinterpret_cast<std::uintptr_t>(at) + HugePage - 1) &
                                    ~(HugePage - 1));
  }

  // Called about once per huge page of a large block, and once near the end
  // of the small block before the first large one.
  void lookAhead() {
    if (large_) {
      char *want = std::min(mapEnd_, hugePageAfter(current_ + Ahead));
      if (want > asked_) {
        populator_.request(asked_, want);
        asked_ = want;
      }
    }
    const std::size_t left = static_cast<std::size_t>(end_ - current_);
    if (left <= Ahead && prepared_ == nullptr && nextIsLarge()) {
      // The next block is mapped now and its first pages made ready, so the
      // switch to it finds them resident too.
      preparedSize_ = blockSize(next_);
      prepared_ = static_cast<char *>(BlockSource::map(preparedSize_));
      if (prepared_ != nullptr) {
        preparedAsked_ = std::min(roundedToHugePages(Ahead - left), roundedToHugePages(preparedSize_));
        populator_.request(prepared_, prepared_ + preparedAsked_);
      }
    }
    signalAt_ = large_ && left > HugePage ? current_ + HugePage : NoSignal;
  }

  // What std::pmr::monotonic_buffer_resource keeps at the end of each block,
  // and its growth: kept so the blocks are the same.
  static constexpr std::size_t BookkeepingBytes = 16;
  static constexpr float GrowthFactor = 1.5f;
  // The first block is as large as a string block used to be, so that a
  // small run asks the heap only once or twice.
  static constexpr std::size_t FirstBlockSize = 20480;
  static inline char *const NoSignal = reinterpret_cast<char *>(UINTPTR_MAX);

  struct Block {
    char *start;
    std::size_t size;
    std::size_t alignment;
  };

  char *current_ = nullptr;
  char *end_ = nullptr;
  // min(end_, signalAt_): past it a request takes the slow way.
  char *stopAt_ = nullptr;
  // The end of the current block's mapping (a large block's whole pages).
  char *mapEnd_ = nullptr;
  std::size_t next_ = FirstBlockSize;
  // The allocation point's crossing of this calls lookAhead.
  char *signalAt_ = NoSignal;
  bool large_ = false;
  // The end of what the populator was asked for in the current large block.
  char *asked_ = nullptr;
  // The next large block, mapped ahead, and how much of it was asked for.
  char *prepared_ = nullptr;
  std::size_t preparedSize_ = 0;
  std::size_t preparedAsked_ = 0;
  BlockSource source_;
  std::vector<Block> blocks_;
  // Last member: stopped before the blocks it works on are given back.
  Populator populator_;
};

constexpr RunSlot<Arena> state{RunSlotId::arena};

} // namespace

std::pmr::memory_resource &RunArena() { return state(); }

void *RunAllocate(std::size_t size, std::size_t alignment) { return state().take(size, alignment); }

std::size_t RunArenaBytes() { return state().bytes(); }

void RunArenaSettle() { state().settle(); }

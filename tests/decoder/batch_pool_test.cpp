// The ring of batches behind -j N: every batch worked once, by a thread or by
// the maker, and taken back in the order it was made, errors included.
#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/batch_pool.h"

namespace {

// A maker as the decoder's run drives the pool: fill while a slot is free,
// write what is done in order, work on a batch itself rather than wait.
struct Maker {
  Maker(std::size_t threads, std::size_t slots, long long batches, long long failEvery = 0)
      : threads(threads), slots(slots), batches(batches), failEvery(failEvery) {}
  std::size_t threads;
  std::size_t slots;
  long long batches;
  long long failEvery;              // the batches whose work throws: every failEvery-th
  std::vector<long long> input;     // per slot: the batch number made into it
  std::vector<long long> output;    // per slot: what its work made of it
  std::vector<std::size_t> workers; // per slot: who worked on it
  std::atomic<int> worked{0};
  std::vector<long long> taken;      // batch numbers, in the order taken back
  std::vector<std::size_t> byWorker; // how many each worker did
  std::vector<long long> failed;     // batch numbers whose error came back

  void run() {
    input.assign(slots, -1);
    output.assign(slots, -1);
    workers.assign(slots, 0);
    byWorker.assign(threads + 1, 0);
    BatchPool pool(threads, slots, [this](std::size_t slot, std::size_t worker) {
      ++worked;
      workers[slot] = worker;
      if (failEvery != 0 && input[slot] % failEvery == 0)
        throw std::runtime_error(std::to_string(input[slot]));
      output[slot] = input[slot] * input[slot];
    });
    long long made = 0;
    const auto takeBack = [&](std::optional<std::size_t> slot) {
      ASSERT_TRUE(slot);
      EXPECT_EQ(output[*slot], input[*slot] * input[*slot]);
      taken.push_back(input[*slot]);
      ++byWorker[workers[*slot]];
      pool.release();
    };
    while (true) {
      try {
        while (const std::optional<std::size_t> slot = pool.done(false))
          takeBack(slot);
        if (made < batches) {
          if (const std::optional<std::size_t> slot = pool.slotToFill()) {
            input[*slot] = made++;
            output[*slot] = -1;
            pool.submit();
            continue;
          }
        }
        if (pool.workOne())
          continue;
        const std::optional<std::size_t> slot = pool.done(true);
        if (!slot)
          break;
        takeBack(slot);
      } catch (const std::runtime_error &error) {
        failed.push_back(std::stoll(error.what()));
        taken.push_back(std::stoll(error.what()));
      }
    }
    EXPECT_EQ(pool.pending(), 0u);
  }
};

TEST(BatchPool, EveryBatchOnceAndInOrderWhoeverWorksOnIt) {
  for (const std::size_t threads : {0u, 1u, 3u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    Maker maker(threads, 2 * threads + 3, 20000);
    maker.run();
    ASSERT_EQ(maker.taken.size(), 20000u);
    for (long long i = 0; i < 20000; ++i)
      ASSERT_EQ(maker.taken[static_cast<std::size_t>(i)], i);
    EXPECT_EQ(maker.worked.load(), 20000);
    // Without threads the maker works on every batch itself.
    if (threads == 0) {
      EXPECT_EQ(maker.byWorker[0], 20000u);
    }
    long long sum = 0;
    for (const std::size_t count : maker.byWorker)
      sum += static_cast<long long>(count);
    EXPECT_EQ(sum, 20000);
  }
}

TEST(BatchPool, AnErrorComesBackAtItsBatchAndTheRestGoOn) {
  for (const std::size_t threads : {0u, 2u}) {
    SCOPED_TRACE("threads " + std::to_string(threads));
    Maker maker(threads, 5, 1000, 97);
    maker.run();
    std::vector<long long> expected;
    for (long long i = 0; i < 1000; i += 97)
      expected.push_back(i);
    EXPECT_EQ(maker.failed, expected);
    ASSERT_EQ(maker.taken.size(), 1000u);
    for (long long i = 0; i < 1000; ++i)
      ASSERT_EQ(maker.taken[static_cast<std::size_t>(i)], i);
  }
}

TEST(BatchPool, DiscardWaitsForEveryBatchInFlight) {
  std::atomic<int> finished{0};
  {
    BatchPool pool(2, 5, [&](std::size_t, std::size_t) {
      volatile long spin = 0;
      for (long i = 0; i < 200000; ++i)
        spin = spin + i;
      ++finished;
    });
    int submitted = 0;
    while (pool.slotToFill()) {
      pool.submit();
      ++submitted;
    }
    EXPECT_EQ(submitted, 5);
    pool.discard();
    EXPECT_EQ(finished.load(), 5);
    EXPECT_EQ(pool.pending(), 0u);
    EXPECT_FALSE(pool.workOne());
  }
}

} // namespace

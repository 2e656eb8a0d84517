#pragma once
// Threads that work on batches of records while one thread makes the batches
// and takes them back in the order it made them (decode_run's -j N).
//
// The batches live in a fixed ring of slots owned by the caller, so memory
// stays at the ring's size however long the input. A slot is free (the
// maker fills it), submitted (a worker takes it, in order), worked on, then
// done (the maker takes it back, in order, and frees it). Only the maker
// calls the members below; the workers run `work`.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class BatchPool {
public:
  // Starts `threads` threads over a ring of `slots` batches (at least one
  // more than the workers, so that one is filled while all are worked on).
  // `work(slot, worker)` does slot `slot` as worker number `worker`: the
  // threads are workers 1 to `threads`, the maker is worker 0 (workOne).
  BatchPool(std::size_t threads, std::size_t slots,
            std::function<void(std::size_t slot, std::size_t worker)> work);
  // Stops the workers after the batches they are working on and joins them.
  ~BatchPool();
  BatchPool(const BatchPool &) = delete;
  BatchPool &operator=(const BatchPool &) = delete;

  // The slot the next batch is to be made in, when it is free.
  std::optional<std::size_t> slotToFill() const;
  // Hands that slot, filled, to the workers.
  void submit();
  // The oldest submitted slot when its batch is done: at once (`wait`
  // false) or after waiting for it; nothing when none is submitted (or, not
  // waiting, it is not done yet). An exception its work threw is thrown here.
  std::optional<std::size_t> done(bool wait);
  // The maker works on the oldest submitted batch no thread has taken, as
  // worker 0, instead of waiting for the threads; false when there is none.
  bool workOne();
  // Frees the slot done() gave.
  void release();
  // Batches submitted and not yet released.
  std::size_t pending() const;
  // Waits for every submitted batch and frees it unread (a run that stops).
  void discard();

private:
  enum class State { free, submitted, working, done };
  void loop(std::size_t worker);
  // Works on `slot`, taken by `worker`, and marks it done (the lock held on
  // entry and on return, not while working).
  void workOn(std::size_t slot, std::size_t worker, std::unique_lock<std::mutex> &lock);

  std::function<void(std::size_t, std::size_t)> work_;
  mutable std::mutex mutex_;
  std::condition_variable ready_;    // a batch was submitted, or the pool stops
  std::condition_variable finished_; // a batch is done
  std::vector<State> states_;
  std::vector<std::exception_ptr> errors_;
  std::size_t filled_ = 0; // batches submitted, ever
  std::size_t taken_ = 0;  // batches a worker took
  std::size_t freed_ = 0;  // batches released
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

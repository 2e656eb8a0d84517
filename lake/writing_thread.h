#pragma once
// A lake writer's writing on a thread of its own, beside the decoding: items (Avro's runs of
// datums, a thread sink's batches of values) handed over with the number of the write call
// they belong to, written in that order, a failure handed back by its call's number, so that
// the run can settle its writes and stand where it stood had the write failed at once. The
// Avro writer and the thread sink share it; what differs between them is a parameter: what is
// admitted in flight, and what the written count says once an item is written.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "decoder/record_sink.h"

// What may be in flight: `bytes` counts the weight of every item not yet written (the one
// being written included) against the limit; `items` counts the items waiting, not the one
// being written.
enum class Admit : std::uint8_t { bytes, items };
// What callsWritten() says once the item of call N is written: `before`, the calls before N
// (a call may be handed over in several items); `through`, N's own too.
enum class Written : std::uint8_t { before, through };

template <class Item> class WritingThread {
public:
  // `write` writes an item on the thread: false when it fails, with `failure` set to the
  // message to end the run with (empty: the writer says it itself); `empty` makes a written
  // item ready for reuse, its room kept.
  WritingThread(Admit admit, std::size_t limit, Written written,
                std::function<bool(Item &, std::string &failure)> write,
                std::function<void(Item &)> empty)
      : admit_(admit), limit_(limit), written_(written), write_(std::move(write)),
        empty_(std::move(empty)), thread_([this] { work(); }) {}
  ~WritingThread() { stop(); }
  WritingThread(const WritingThread &) = delete;
  WritingThread &operator=(const WritingThread &) = delete;

  // Hands `item` over as call `call`'s, weighing `weight` (Admit::bytes), once the items in
  // flight leave room; returns an empty item for the next, a written one's when there is one.
  Item hand(Item &&item, long long call, std::size_t weight) {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] {
      return admit_ == Admit::bytes ? inFlight_ < limit_ : queue_.size() < limit_;
    });
    inFlight_ += weight;
    queue_.push_back(Entry{call, weight, std::move(item)});
    Item next{};
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
    work_.notify_one();
    return next;
  }

  // Waits until every item handed over is written; false (or the SinkError of the failure's
  // message) when one failed.
  bool awaitWrites() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return queue_.empty() && !busy_; });
    if (failedCall_ < 0)
      return true;
    if (!failure_.empty())
      throw SinkError{failure_};
    return false;
  }

  long long failedCall() const {
    const std::lock_guard lock(mutex_);
    return failedCall_;
  }
  long long callsWritten() const { return callsWritten_.load(); }
  bool failed() const { return failedCall() >= 0; }

  // Writes what was handed over, then ends the thread.
  void stop() {
    if (!thread_.joinable())
      return;
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_one();
    thread_.join();
  }

private:
  struct Entry {
    long long call = 0;
    std::size_t weight = 0;
    Item item;
  };

  // The items in the order handed over, until stop(); after a failure the rest are dropped,
  // as the run stopped there.
  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty())
        return;
      Entry entry = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      const bool skip = failedCall_ >= 0;
      lock.unlock();
      std::string failure;
      const bool written = skip || write_(entry.item, failure);
      empty_(entry.item);
      lock.lock();
      if (!written) {
        failedCall_ = entry.call;
        failure_ = std::move(failure);
      }
      inFlight_ -= entry.weight;
      // The run's account of a failed call is kept until it settles.
      if (failedCall_ < 0)
        callsWritten_.store(written_ == Written::before ? entry.call : entry.call + 1);
      spare_.push_back(std::move(entry.item));
      busy_ = false;
      idle_.notify_all();
    }
  }

  const Admit admit_;
  const std::size_t limit_;
  const Written written_;
  const std::function<bool(Item &, std::string &)> write_;
  const std::function<void(Item &)> empty_;
  mutable std::mutex mutex_;
  std::condition_variable work_; // an item was handed over, or stop_
  std::condition_variable idle_; // an item was written
  std::deque<Entry> queue_;
  std::vector<Item> spare_; // written items, their room kept for the next
  std::size_t inFlight_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  long long failedCall_ = -1;
  std::string failure_;
  std::atomic<long long> callsWritten_{0};
  std::thread thread_; // last: it ends before what it uses goes
};

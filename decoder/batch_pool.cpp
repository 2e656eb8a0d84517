// The ring of batches and its workers.
#include "decoder/batch_pool.h"

BatchPool::BatchPool(std::size_t threads, std::size_t slots,
                     std::function<void(std::size_t, std::size_t)> work)
    : work_(std::move(work)), states_(slots, State::free), errors_(slots) {
  threads_.reserve(threads);
  for (std::size_t worker = 1; worker <= threads; ++worker)
    threads_.emplace_back([this, worker] { loop(worker); });
}

BatchPool::~BatchPool() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (std::thread &thread : threads_)
    thread.join();
}

void BatchPool::loop(std::size_t worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    ready_.wait(lock, [this] { return stopping_ || taken_ < filled_; });
    if (stopping_)
      return;
    workOn(taken_++ % states_.size(), worker, lock);
  }
}

void BatchPool::workOn(std::size_t slot, std::size_t worker, std::unique_lock<std::mutex> &lock) {
  states_[slot] = State::working;
  lock.unlock();
  std::exception_ptr error;
  try {
    work_(slot, worker);
  } catch (...) {
    error = std::current_exception();
  }
  lock.lock();
  errors_[slot] = error;
  states_[slot] = State::done;
  // Only the maker waits for finished batches, and only for the oldest:
  // waking it for any other would cost a switch to find it still waiting.
  if (slot == freed_ % states_.size())
    finished_.notify_one();
}

bool BatchPool::workOne() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (taken_ == filled_)
    return false;
  workOn(taken_++ % states_.size(), 0, lock);
  return true;
}

std::optional<std::size_t> BatchPool::slotToFill() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (filled_ - freed_ >= states_.size())
    return std::nullopt;
  return filled_ % states_.size();
}

void BatchPool::submit() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    states_[filled_ % states_.size()] = State::submitted;
    ++filled_;
  }
  ready_.notify_one();
}

std::optional<std::size_t> BatchPool::done(bool wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (freed_ == filled_)
    return std::nullopt;
  const std::size_t slot = freed_ % states_.size();
  if (wait)
    finished_.wait(lock, [&] { return states_[slot] == State::done; });
  else if (states_[slot] != State::done)
    return std::nullopt;
  if (errors_[slot]) {
    const std::exception_ptr error = errors_[slot];
    errors_[slot] = nullptr;
    lock.unlock();
    release();
    std::rethrow_exception(error);
  }
  return slot;
}

void BatchPool::release() {
  const std::lock_guard<std::mutex> lock(mutex_);
  states_[freed_ % states_.size()] = State::free;
  ++freed_;
}

std::size_t BatchPool::pending() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return filled_ - freed_;
}

void BatchPool::discard() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (freed_ < filled_) {
    const std::size_t slot = freed_ % states_.size();
    finished_.wait(lock, [&] { return states_[slot] == State::done; });
    errors_[slot] = nullptr;
    states_[slot] = State::free;
    ++freed_;
  }
}

#pragma once
// DecodeProgress: bytes and records done, speed and time left, on the terminal's status line.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "support/status_line.h"

// Shows how far a run is a few times a second on `line` ("vexfcbl-decode:
// 1.2 GB of 4.0 GB (30%), 12000000 records, 151.3 MB/s, 0:19 left"), from a
// thread of its own that reads what the decoding publishes with at(); the
// decoding itself never waits for it. Nothing at all when the line is
// disabled. The line is erased when the progress goes.
class DecodeProgress {
public:
  // `totalBytes`: the bytes the run will read, -1 when not known (a pipe).
  DecodeProgress(StatusLine &line, std::int64_t totalBytes);
  ~DecodeProgress();
  DecodeProgress(const DecodeProgress &) = delete;
  DecodeProgress &operator=(const DecodeProgress &) = delete;

  // The next bytes published are counted from `position` of a file, after
  // `before` bytes of the files before it.
  void startFile(std::int64_t position, std::int64_t before);
  // The decoding stands at `position` of the current file, `records` read in all.
  void at(std::int64_t position, long long records) {
    position_.store(position, std::memory_order_relaxed);
    records_.store(records, std::memory_order_relaxed);
  }

  // The text of the line, for `done` of `total` bytes (-1: not known) after
  // `seconds`. Exposed for its tests.
  static std::string text(std::int64_t done, std::int64_t total, long long records,
                          double seconds);

private:
  void run();

  StatusLine &line_;
  std::int64_t total_;
  std::atomic<std::int64_t> position_{0};
  std::atomic<std::int64_t> fileStart_{0};
  std::atomic<std::int64_t> before_{0};
  std::atomic<long long> records_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

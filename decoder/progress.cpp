// The progress thread: samples the published position every quarter second and redraws the
// status line.
#include "decoder/progress.h"

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

// A short run would only flash the line: it first shows after this long.
constexpr auto firstShow = std::chrono::milliseconds(500);
constexpr auto interval = std::chrono::milliseconds(250);

std::string bytes(std::int64_t n) {
  char text[32];
  if (n >= 1'000'000'000)
    std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(n) / 1e9);
  else
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(n) / 1e6);
  return text;
}

std::string duration(double seconds) {
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

} // namespace

DecodeProgress::DecodeProgress(StatusLine &line, std::int64_t totalBytes)
    : line_(line), total_(totalBytes) {
  if (line_.enabled())
    thread_ = std::thread([this] { run(); });
}

DecodeProgress::~DecodeProgress() {
  if (thread_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  line_.clear();
}

void DecodeProgress::startFile(std::int64_t position, std::int64_t before) {
  // The position first: a sample taken in between must not count the new
  // file's start as done bytes of the file before it.
  position_.store(position, std::memory_order_relaxed);
  fileStart_.store(position, std::memory_order_relaxed);
  before_.store(before, std::memory_order_relaxed);
}

std::string DecodeProgress::text(std::int64_t done, std::int64_t total, long long records,
                                 double seconds) {
  std::string text = "vexfcbl-decode: " + bytes(done);
  if (total > 0) {
    char percent[16];
    std::snprintf(percent, sizeof percent, " (%d%%)",
                  static_cast<int>(static_cast<double>(done) * 100 / static_cast<double>(total)));
    text += " of " + bytes(total) + percent;
  }
  text += ", " + std::to_string(records) + " records";
  if (seconds > 0) {
    const double rate = static_cast<double>(done) / seconds;
    char speed[32];
    std::snprintf(speed, sizeof speed, ", %.1f MB/s", rate / 1e6);
    text += speed;
    if (total > 0 && rate > 0 && done <= total)
      text += ", " + duration(static_cast<double>(total - done) / rate) + " left";
  }
  return text;
}

void DecodeProgress::run() {
  const Clock::time_point start = Clock::now();
  std::unique_lock lock(mutex_);
  if (wake_.wait_for(lock, firstShow, [this] { return stopping_; }))
    return;
  do {
    const std::int64_t done = before_.load(std::memory_order_relaxed) +
                              position_.load(std::memory_order_relaxed) -
                              fileStart_.load(std::memory_order_relaxed);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    line_.show(text(done, total_, records_.load(std::memory_order_relaxed), seconds));
  } while (!wake_.wait_for(lock, interval, [this] { return stopping_; }));
}

// A lake writer's work off the decoding thread: the decoding thread trades each batch for
// an empty one and goes on decoding while the writer's thread writes the batch.
#include "lake/sink_thread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

class ThreadSink : public RecordSink {
public:
  ThreadSink(std::unique_ptr<RecordSink> inner, const DirectEncoder *encoder)
      : inner_(std::move(inner)), encoder_(encoder), thread_([this] { work(); }) {}
  ~ThreadSink() override {
    // What was handed over is written first, as it was when written at once (a run stopped
    // by a refusal or -strict keeps the records before it).
    stopThread();
  }
  ThreadSink(const ThreadSink &) = delete;
  ThreadSink &operator=(const ThreadSink &) = delete;

  bool takesValues() const override { return inner_->takesValues(); }
  bool takesLineShape() const override { return inner_->takesLineShape(); }
  bool write(std::string_view lines) override { return inner_->write(lines); }

  bool write(RecordValues &records) override {
    const long long call = calls_++; // counted as the run counts its calls
    if (records.records() == 0)
      return true;
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return queue_.size() < inFlight; });
    Batch batch;
    if (!spare_.empty()) {
      batch = std::move(spare_.back());
      spare_.pop_back();
    }
    batch.call = call;
    std::swap(batch.values, records);
    // The empty batch left to the decoding thread names the writer's direct encoder, as the
    // writer names itself in the batch it is handed (the first one of a run included): the
    // decoders then write the same records directly as before.
    if (encoder_ != nullptr)
      records.encodeWith(encoder_);
    queue_.push_back(std::move(batch));
    work_.notify_one();
    return true;
  }

  long long callsWritten() const override { return callsWritten_.load(); }

  bool awaitWrites() override {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return queue_.empty() && !busy_; });
    if (failedCall_ < 0)
      return true;
    if (!failure_.empty())
      throw SinkError{failure_};
    return false;
  }

  long long failedCall() const override {
    const std::lock_guard lock(mutex_);
    return failedCall_;
  }

  bool finish() override {
    stopThread();
    return failedCall_ < 0 && inner_->finish();
  }

private:
  struct Batch {
    long long call = 0;
    RecordValues values;
  };

  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      work_.wait(lock, [&] { return stop_ || !queue_.empty(); });
      if (queue_.empty())
        return;
      Batch batch = std::move(queue_.front());
      queue_.pop_front();
      busy_ = true;
      const bool skip = failedCall_ >= 0;
      lock.unlock();
      bool written = true;
      std::string failure;
      if (!skip) {
        try {
          written = inner_->write(batch.values);
        } catch (const SinkError &error) {
          written = false;
          failure = error.message;
        }
      }
      batch.values.clear();
      lock.lock();
      if (!written) {
        failedCall_ = batch.call;
        failure_ = std::move(failure);
      }
      // The run's account of a failed call is kept until it settles.
      if (failedCall_ < 0)
        callsWritten_.store(batch.call + 1);
      spare_.push_back(std::move(batch));
      busy_ = false;
      idle_.notify_all();
    }
  }

  void stopThread() {
    if (!thread_.joinable())
      return;
    {
      const std::lock_guard lock(mutex_);
      stop_ = true;
    }
    work_.notify_one();
    thread_.join();
  }

  // Batches handed over and not yet written, at most: each holds up to a batch of the run's
  // records (4096) as values.
  static constexpr std::size_t inFlight = 3;
  std::unique_ptr<RecordSink> inner_;
  const DirectEncoder *encoder_;
  long long calls_ = 0; // the decoding thread's own
  mutable std::mutex mutex_;
  std::condition_variable work_; // a batch was handed over, or stop_
  std::condition_variable idle_; // a batch was written
  std::deque<Batch> queue_;
  std::vector<Batch> spare_; // written batches, their room kept for the next
  bool busy_ = false;
  bool stop_ = false;
  long long failedCall_ = -1;
  std::string failure_;
  std::atomic<long long> callsWritten_{0};
  std::thread thread_; // last: it ends before what it uses goes
};

} // namespace

std::unique_ptr<RecordSink> onOwnThread(std::unique_ptr<RecordSink> inner,
                                        const DirectEncoder *encoder) {
  return std::make_unique<ThreadSink>(std::move(inner), encoder);
}

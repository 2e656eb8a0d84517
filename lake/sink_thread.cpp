// A lake writer's work off the decoding thread: the decoding thread trades each batch for
// an empty one and goes on decoding while the writer's thread writes the batch.
#include "lake/sink_thread.h"

#include "lake/writing_thread.h"

namespace {

class ThreadSink : public RecordSink {
public:
  ThreadSink(std::unique_ptr<RecordSink> inner, const DirectEncoder *encoder)
      : inner_(std::move(inner)), encoder_(encoder) {}
  ~ThreadSink() override {
    // What was handed over is written first, as it was when written at once (a run stopped
    // by a refusal or -strict keeps the records before it).
    thread_.stop();
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
    RecordValues next = thread_.hand(std::move(records), call, 1);
    records = std::move(next);
    // The empty batch left to the decoding thread names the writer's direct encoder, as the
    // writer names itself in the batch it is handed (the first one of a run included): the
    // decoders then write the same records directly as before.
    if (encoder_ != nullptr)
      records.encodeWith(encoder_);
    return true;
  }

  long long callsWritten() const override { return thread_.callsWritten(); }
  bool awaitWrites() override { return thread_.awaitWrites(); }
  long long failedCall() const override { return thread_.failedCall(); }

  bool finish() override {
    thread_.stop();
    return !thread_.failed() && inner_->finish();
  }

private:
  // The inner writer's write of a batch, its refusal's message kept for the run.
  bool writeBatch(RecordValues &values, std::string &failure) {
    try {
      return inner_->write(values);
    } catch (const SinkError &error) {
      failure = error.message;
      return false;
    }
  }

  // Batches handed over and not yet written, at most: each holds up to a batch of the run's
  // records (4096) as values. A batch is one call, written whole.
  static constexpr std::size_t inFlight = 3;
  std::unique_ptr<RecordSink> inner_;
  const DirectEncoder *encoder_;
  long long calls_ = 0; // the decoding thread's own
  WritingThread<RecordValues> thread_{
      Admit::items, inFlight, Written::through,
      [this](RecordValues &values, std::string &failure) { return writeBatch(values, failure); },
      [](RecordValues &values) { values.clear(); }}; // last: it ends before what it uses goes
};

} // namespace

std::unique_ptr<RecordSink> onOwnThread(std::unique_ptr<RecordSink> inner,
                                        const DirectEncoder *encoder) {
  return std::make_unique<ThreadSink>(std::move(inner), encoder);
}

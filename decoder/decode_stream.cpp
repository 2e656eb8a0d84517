// Decoding in memory: the record loop of vexfcbl-decode over streams that
// read from memory or a function and write whole lines to a sink.
#include "decoder/decode_stream.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "decoder/framing.h"
#include "decoder/run_parts.h"

namespace {

struct FileClose {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileClose>;

// Stdio's cookie callbacks pass results back as numbers; nothing may be
// thrown through them.
std::FILE *cookieFile(void *cookie, const char *mode, cookie_io_functions_t functions) {
  std::FILE *file = ::fopencookie(cookie, mode, functions);
  if (file == nullptr)
    throw DecodeSetupError{std::string("cannot make a stream: ") + std::strerror(errno)};
  // Reads and writes in large pieces: a reader that calls into another
  // language pays per call.
  std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
  return file;
}

// The bytes of a buffer, with seeking for -range.
struct MemorySource {
  std::string_view data;
  std::size_t at = 0;

  static ssize_t read(void *cookie, char *buffer, std::size_t size) {
    auto &self = *static_cast<MemorySource *>(cookie);
    const std::size_t count = std::min(size, self.data.size() - self.at);
    std::memcpy(buffer, self.data.data() + self.at, count);
    self.at += count;
    return static_cast<ssize_t>(count);
  }
  static int seek(void *cookie, off64_t *offset, int whence) {
    auto &self = *static_cast<MemorySource *>(cookie);
    const off64_t base = whence == SEEK_SET   ? 0
                         : whence == SEEK_CUR ? static_cast<off64_t>(self.at)
                                              : static_cast<off64_t>(self.data.size());
    const off64_t to = base + *offset;
    if (to < 0)
      return -1;
    self.at = std::min(static_cast<std::size_t>(to), self.data.size());
    *offset = to;
    return 0;
  }
};

struct ReaderSource {
  const ByteReader *read;

  static ssize_t readBytes(void *cookie, char *buffer, std::size_t size) {
    auto &self = *static_cast<ReaderSource *>(cookie);
    const std::ptrdiff_t got = (*self.read)(buffer, size);
    if (got < 0) {
      errno = EIO;
      return -1;
    }
    return static_cast<ssize_t>(got);
  }
};

// The run's output, handed to the sink as whole lines: the stream's
// buffer is written out in pieces that may end inside a line, whose start
// waits here for its end.
struct LineSink {
  DecodeSink *sink;
  std::string pending;
  bool stopped = false;

  static ssize_t write(void *cookie, const char *buffer, std::size_t size) {
    auto &self = *static_cast<LineSink *>(cookie);
    if (self.stopped)
      return -1;
    const std::string_view text(buffer, size);
    const std::size_t last = text.rfind('\n');
    if (last == std::string_view::npos) {
      self.pending.append(text);
      return static_cast<ssize_t>(size);
    }
    bool more = true;
    if (self.pending.empty()) {
      more = self.sink->lines(text.substr(0, last + 1));
    } else {
      self.pending.append(text.substr(0, last + 1));
      more = self.sink->lines(self.pending);
      self.pending.clear();
    }
    self.pending.append(text.substr(last + 1));
    if (!more) {
      self.stopped = true;
      return -1;
    }
    return static_cast<ssize_t>(size);
  }
  // What is left at the end: a line without its newline (a CSV header alone has one).
  bool finish() {
    if (stopped || pending.empty())
      return !stopped;
    stopped = !sink->lines(pending);
    pending.clear();
    return !stopped;
  }
};

// The records of a run handed to a sink that takes values.
class ValueSink : public RecordSink {
public:
  explicit ValueSink(DecodeSink &sink) : sink_(sink) {}
  bool takesValues() const override { return true; }
  bool write(std::string_view lines) override { return sink_.lines(lines); }
  bool write(RecordValues &records) override {
    if (stopped)
      return false;
    stopped = !sink_.values(records);
    return !stopped;
  }
  bool finish() override { return true; }
  bool stopped = false;

private:
  DecodeSink &sink_;
};

CodePage openPage(const std::string &name) {
  std::optional<CodePage> page = CodePage::open(name);
  if (!page)
    throw DecodeSetupError{"code page " + name + " is not known"};
  return std::move(*page);
}

// A message of the program without its name and newline.
std::string bare(std::string message) {
  const std::string program = "vexfcbl-decode: ";
  if (message.starts_with(program))
    message.erase(0, program.size());
  while (!message.empty() && message.back() == '\n')
    message.pop_back();
  return message;
}

} // namespace

StreamDecoder::StreamDecoder(const RecordModel &model, const DecodeOptions &options)
    : options_(options), page_(openPage(options.codePage)) {
  if (!options_.dbcs.empty() && !DbcsPage::open(options_.dbcs))
    throw DecodeSetupError{"code page " + options_.dbcs + " is not known"};
  // The program's own refusals, in its order: options that do not go
  // together, then what the copybook says of them.
  if (std::string refused = optionConflict(options_); !refused.empty())
    throw DecodeSetupError{std::move(refused)};
  if (const std::string refused = framingRefusal(options_, ""); !refused.empty())
    throw DecodeSetupError{bare(refused)};
  if (std::string refused = nestingConflict(options_); !refused.empty())
    throw DecodeSetupError{std::move(refused)};
  try {
    run_ = std::make_unique<const RunPlan>(model, options_, page_);
  } catch (const PlanError &error) {
    throw DecodeSetupError{bare(error.message)};
  }
  if (run_->recordLength <= 0)
    throw DecodeSetupError{"the record has no length"};
  if (options_.splitSize > 0)
    throw DecodeSetupError{"a split plan is not a decode"};
  if (options_.range)
    if (const std::string why = unsplittable(options_, {}); !why.empty())
      throw DecodeSetupError{"-range cannot be used: " + why};
}

StreamDecoder::~StreamDecoder() = default;

const DecodePlan &StreamDecoder::plan() const { return run_->plan; }

std::int64_t StreamDecoder::recordLength() const { return run_->recordLength; }

StreamResult StreamDecoder::decode(std::string_view data, DecodeSink &sink) const {
  MemorySource source{data};
  const FileHandle in(
      cookieFile(&source, "rb", {MemorySource::read, nullptr, MemorySource::seek, nullptr}));
  return run(in.get(), "-", sink);
}

StreamResult StreamDecoder::decode(const ByteReader &read, DecodeSink &sink) const {
  if (options_.range)
    throw DecodeSetupError{"a range needs a file or bytes, not a stream"};
  ReaderSource source{&read};
  const FileHandle in(
      cookieFile(&source, "rb", {ReaderSource::readBytes, nullptr, nullptr, nullptr}));
  return run(in.get(), "-", sink);
}

StreamResult StreamDecoder::decodeFile(const std::string &path, DecodeSink &sink) const {
  const FileHandle in(std::fopen(path.c_str(), "rb"));
  if (!in) {
    StreamResult result;
    result.counts.completed = false;
    result.counts.failed = true;
    result.error = "cannot read " + path + ": " + std::strerror(errno);
    return result;
  }
  std::setvbuf(in.get(), nullptr, _IONBF, 0); // the run reads in large pieces of its own
  return run(in.get(), path, sink);
}

StreamResult StreamDecoder::run(std::FILE *in, const std::string &name, DecodeSink &sink) const {
  LineSink lines{&sink, {}, false};
  const FileHandle out(cookieFile(&lines, "wb", {nullptr, LineSink::write, nullptr, nullptr}));
  char *messageText = nullptr;
  std::size_t messageSize = 0;
  FileHandle messages(::open_memstream(&messageText, &messageSize));
  if (!messages)
    throw DecodeSetupError{std::string("cannot make a stream: ") + std::strerror(errno)};
  DecodeWarning last;
  const std::function<void(const DecodeWarning &)> warned = [&](const DecodeWarning &warning) {
    if (options_.strict)
      last = warning;
    sink.warning(warning);
  };
  StreamResult result;
  ValueSink values(sink);
  result.counts = decodeRecordStream(*run_, options_, page_, in, name, out.get(), messages.get(),
                                     warned, sink.takesValues() ? &values : nullptr);
  if (std::fflush(out.get()) != 0 && !lines.stopped)
    result.counts.failed = true;
  if (!lines.finish())
    result.counts.completed = false;
  result.stopped = lines.stopped || values.stopped;
  messages.reset(); // open_memstream's text is complete once the stream is closed
  const std::string printed(messageText == nullptr ? "" : messageText, messageSize);
  std::free(messageText);
  if (!result.stopped && !result.counts.completed) {
    if (!printed.empty())
      result.error = bare(printed);
    else if (options_.strict && last.record > 0)
      result.error = "record " + std::to_string(last.record) + ", byte " +
                     std::to_string(last.offset) + ": " + last.path +
                     (last.path.empty() ? "" : ": ") + last.text;
  } else if (!printed.empty()) {
    result.error = bare(printed);
  }
  return result;
}

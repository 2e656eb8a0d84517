// Input batches over worker threads, record framing (F, V, VB, L), warnings and the summary.
#include "encoder/encode_run.h"

#include <unistd.h>

#include <algorithm>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "converter/conversion_messages.h"
#include "decoder/code_page.h"
#include "decoder/run_files.h"
#include "decoder/run_signals.h"
#include "encoder/csv_input.h"
#include "encoder/encode_plan.h"
#include "encoder/json_tape.h"
#include "encoder/record_encoder.h"
#include "encoder/text_bytes.h"
#include "record/model_builder.h"
#include "support/status_line.h"

namespace {

const char program[] = "vexfcbl-encode: ";

// The output and input checks are the decoder's: their lines carry its name.
std::string relabel(std::string message) {
  const std::string decoder = "vexfcbl-decode: ";
  for (std::size_t at = 0; (at = message.find(decoder, at)) != std::string::npos;) {
    message.replace(at, decoder.size(), program);
    at += sizeof program - 1;
  }
  return message;
}

struct FileClose {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileClose>;

// A record of the input: its text and the line it starts on.
struct Unit {
  char *text;
  std::size_t size;
  long long line;
};

// What one worker made of its share of a batch: the records framed (VB:
// each behind its RDW, blocked later), their sizes, the warnings.
struct Chunk {
  std::string bytes;
  std::vector<std::uint32_t> sizes;
  std::string warnings;
  long long read = 0;
  long long skipped = 0;
  bool stop = false; // -strict met a record that cannot be written
};

// The largest length a descriptor word gives, its own 4 bytes included.
constexpr std::int64_t largestDescriptor = 32767;

class Worker {
public:
  Worker(const EncodePlan &plan, const EncodeOptions &options, const TextBytes &text,
         const CodePage &page, std::int64_t fixedLength)
      : options_(options), encoder_(plan, options, text, page, fixedLength) {}

  void useCsv(const CsvShape &shape) { shape_.emplace(shape); }

  // A descriptor word: the length, big-endian unless -rdworder little, and two zero bytes.
  static void descriptor(std::int64_t length, bool little, char *out) {
    const char high = static_cast<char>(length >> 8);
    const char low = static_cast<char>(length & 0xFF);
    out[0] = little ? low : high;
    out[1] = little ? high : low;
    out[2] = out[3] = '\0';
  }

  void run(const std::vector<Unit> &units, std::size_t first, std::size_t last,
           const std::string &name, Chunk &chunk) {
    // Emptied, not freed: the next batch writes into the same pages.
    chunk.bytes.clear();
    chunk.sizes.clear();
    chunk.warnings.clear();
    chunk.read = chunk.skipped = 0;
    chunk.stop = false;
    const bool variable = options_.recordFormat == RecordFormat::variable ||
                          options_.recordFormat == RecordFormat::variableBlocked;
    const std::size_t reserve = variable ? 4 : 0;
    for (std::size_t u = first; u < last; ++u) {
      const Unit &unit = units[u];
      std::string_view text(unit.text, unit.size);
      if (text.find_first_not_of(" \t\r\n") == std::string_view::npos)
        continue;
      ++chunk.read;
      problems_.clear();
      const std::size_t before = chunk.bytes.size();
      bool written = false;
      if (shape_) {
        if (!splitCsvRow(text, buffer_, cells_)) {
          problems_.push_back({"", "a quoted cell is not closed"});
        } else {
          shape_->tape(cells_, tape_);
          written = append(encoder_.encode(tape_, problems_), chunk.bytes, reserve);
        }
      } else if (encoder_.encodeLine(text, chunk.bytes, reserve)) {
        written = true;
      } else if (!tape_.parse(unit.text, unit.size)) {
        problems_.push_back({"", "not JSON: " + tape_.error() + " at column " +
                                     std::to_string(tape_.column())});
      } else {
        written = append(encoder_.encode(tape_, problems_), chunk.bytes, reserve);
      }
      if (written)
        frame(chunk.bytes, before, reserve);
      if (!problems_.empty()) {
        chunk.bytes.resize(before);
        ++chunk.skipped;
        for (const EncodeProblem &p : problems_) {
          chunk.warnings += program;
          chunk.warnings += options_.strict ? "error: " : "";
          chunk.warnings += name + ": line " + std::to_string(unit.line) + ": ";
          chunk.warnings += p.path.empty() ? "" : p.path + ": ";
          chunk.warnings += p.what + "\n";
        }
        if (options_.strict) {
          chunk.stop = true;
          return;
        }
        continue;
      }
      if (options_.recordFormat == RecordFormat::variableBlocked)
        chunk.sizes.push_back(static_cast<std::uint32_t>(chunk.bytes.size() - before));
    }
  }

private:
  static bool append(std::optional<std::string_view> record, std::string &out,
                     std::size_t reserve) {
    if (!record)
      return false;
    out.append(reserve, '\0');
    out += *record;
    return true;
  }

  // Frames the record appended to `out` after `before` and `reserve` bytes
  // as the format writes it; a problem when it cannot be.
  void frame(std::string &out, std::size_t before, std::size_t reserve) {
    const std::string_view record(out.data() + before + reserve, out.size() - before - reserve);
    switch (options_.recordFormat) {
    case RecordFormat::fixed:
      return;
    case RecordFormat::lines:
      if (record.find('\n') != std::string_view::npos ||
          (!record.empty() && record.back() == '\r')) {
        problems_.push_back({"", "the record holds a line-end byte (X'0A', or X'0D' last): "
                                 "-recfm L cannot write it"});
        return;
      }
      out += '\n';
      return;
    case RecordFormat::variable:
    case RecordFormat::variableBlocked: {
      const auto length = static_cast<std::int64_t>(record.size()) + 4;
      const std::int64_t most = options_.recordFormat == RecordFormat::variableBlocked
                                    ? std::min<std::int64_t>(largestDescriptor, options_.blockSize - 4)
                                    : largestDescriptor;
      if (length > most) {
        problems_.push_back({"", "the record takes " + std::to_string(record.size()) +
                                     " bytes; with its RDW more than " + std::to_string(most) +
                                     (options_.recordFormat == RecordFormat::variableBlocked
                                          ? " (the block size less its BDW)"
                                          : "")});
        return;
      }
      descriptor(length, options_.littleEndianDescriptors, out.data() + before);
      return;
    }
    }
  }

  const EncodeOptions &options_;
  RecordEncoder encoder_;
  std::optional<CsvShape> shape_;
  JsonTape tape_;
  std::string buffer_;
  std::vector<std::string_view> cells_;
  std::vector<EncodeProblem> problems_;
};

struct Counts {
  long long read = 0;
  long long written = 0;
  long long skipped = 0;
};

class Run {
public:
  Run(const EncodePlan &plan, const EncodeOptions &options, std::vector<Worker> &workers,
      std::FILE *out, StatusLine &messages)
      : plan_(plan), options_(options), workers_(workers), out_(out), messages_(messages) {}

  // False when -strict stopped the run or reading or writing failed.
  bool file(std::FILE *in, const std::string &name) {
    name_ = name;
    line_ = 1;
    header_ = options_.format == InputFormat::csv;
    std::size_t have = 0;     // bytes in the buffer
    std::size_t consumed = 0; // of them, those of records handed on
    bool atEnd = false;
    while (!atEnd) {
      // The unread tail to the front, and a batch read after it.
      if (consumed != 0)
        std::memmove(buffer_.get(), buffer_.get() + consumed, have - consumed);
      have -= consumed;
      consumed = 0;
      if (capacity_ < have + batch()) {
        // Room that is not cleared first: every byte is read into.
        auto larger = std::make_unique_for_overwrite<char[]>(have + batch());
        if (have != 0)
          std::memcpy(larger.get(), buffer_.get(), have);
        buffer_ = std::move(larger);
        capacity_ = have + batch();
      }
      errno = 0;
      const std::size_t got = std::fread(buffer_.get() + have, 1, batch(), in);
      have += got;
      if (got < batch()) {
        if (std::ferror(in) != 0) {
          messages_.print(std::string(program) + "cannot read " + name + ": " +
                          std::strerror(errno != 0 ? errno : EIO) + "\n");
          return false;
        }
        atEnd = true;
      }
      if (!take(buffer_.get(), have, atEnd, consumed))
        return false;
    }
    return ended();
  }

  // Writes the last block of a VB file; false when writing failed.
  bool finish() {
    flushBlock();
    return !failed_;
  }

  Counts counts;

private:
  std::size_t batch() const { return (std::size_t{4} << 20) * workers_.size(); }

  // Hands on the whole records of data[consumed, have) (the last one not
  // ended waits for more unless `atEnd`), then encodes them. False when
  // -strict stopped the run or writing failed.
  bool take(char *data, std::size_t have, bool atEnd, std::size_t &consumed) {
    const bool csv = options_.format == InputFormat::csv;
    units_.clear();
    while (consumed < have) {
      char *text = data + consumed;
      const std::string_view rest(text, have - consumed);
      std::size_t size = csv ? csvRowEnd(rest, atEnd) : rest.find('\n');
      if (size == std::string_view::npos) {
        if (!atEnd)
          break;
        size = rest.size();
      } else if (!csv) {
        ++size;
      }
      const bool ended = text[size - 1] == '\n';
      const std::size_t length = ended ? size - 1 : size;
      if (header_) {
        if (!readHeader(std::string_view(text, length)))
          return false;
        header_ = false;
      } else {
        units_.push_back(Unit{text, length, line_});
      }
      // A CSV row may hold line ends inside quotes.
      line_ += csv ? std::count(text, text + size, '\n') : ended ? 1 : 0;
      consumed += size;
    }
    return encode(units_);
  }

  // The end of an input: a CSV file must have had its header.
  bool ended() {
    if (!header_)
      return true;
    messages_.print(std::string(program) + name_ + ": no header line (-format csv)\n");
    return false;
  }

  bool readHeader(std::string_view text) {
    std::string buffer;
    std::vector<std::string_view> cells;
    if (!text.empty() && text.back() == '\r')
      text.remove_suffix(1);
    try {
      if (!splitCsvRow(text, buffer, cells))
        throw CsvHeaderError{"a quoted cell is not closed"};
      const CsvShape shape(plan_, cells);
      for (Worker &worker : workers_)
        worker.useCsv(shape);
    } catch (const CsvHeaderError &error) {
      messages_.print(std::string(program) + (options_.strict ? "error: " : "") + name_ +
                      ": line 1: " + error.message + "\n");
      return false;
    }
    return true;
  }

  bool encode(const std::vector<Unit> &units) {
    const std::size_t jobs = std::min(workers_.size(), std::max<std::size_t>(1, units.size()));
    chunks_.resize(jobs);
    const std::size_t share = (units.size() + jobs - 1) / jobs;
    if (jobs == 1) {
      workers_.front().run(units, 0, units.size(), name_, chunks_.front());
    } else {
      std::vector<std::thread> threads;
      for (std::size_t j = 0; j < jobs; ++j) {
        const std::size_t first = std::min(units.size(), j * share);
        const std::size_t last = std::min(units.size(), first + share);
        threads.emplace_back([this, &units, j, first, last] {
          workers_[j].run(units, first, last, name_, chunks_[j]);
        });
      }
      for (std::thread &thread : threads)
        thread.join();
    }
    for (const Chunk &chunk : chunks_) {
      messages_.print(chunk.warnings);
      counts.read += chunk.read;
      counts.skipped += chunk.skipped;
      counts.written += chunk.read - chunk.skipped;
      if (options_.recordFormat == RecordFormat::variableBlocked)
        block(chunk);
      else
        write(chunk.bytes);
      if (chunk.stop) {
        stopped_ = true;
        return false;
      }
    }
    return !failed_;
  }

  // Gathers RDW-framed records into blocks of at most -blocksize bytes.
  void block(const Chunk &chunk) {
    std::size_t at = 0;
    for (const std::uint32_t size : chunk.sizes) {
      if (!block_.empty() && 4 + block_.size() + size > static_cast<std::size_t>(options_.blockSize))
        flushBlock();
      block_.append(chunk.bytes, at, size);
      at += size;
    }
  }

  void flushBlock() {
    if (block_.empty())
      return;
    char bdw[4];
    Worker::descriptor(static_cast<std::int64_t>(block_.size()) + 4,
                       options_.littleEndianDescriptors, bdw);
    write(std::string_view(bdw, 4));
    write(block_);
    block_.clear();
  }

  void write(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out_) != bytes.size())
      failed_ = true;
  }

  const EncodePlan &plan_;
  const EncodeOptions &options_;
  std::vector<Worker> &workers_;
  std::vector<Chunk> chunks_;
  std::FILE *out_;
  StatusLine &messages_;
  std::string name_;
  std::string block_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::vector<Unit> units_;
  long long line_ = 1;
  bool header_ = false; // the next row of a CSV file is its header
  bool failed_ = false;

public:
  bool stopped_ = false;
};

// Every file an output must not be: the inputs (or the standard input) and
// the copybooks the front end read.
std::vector<RunInput> inputsOf(const std::vector<RunInput> &inputs,
                               const std::vector<std::string> &copybooks) {
  std::vector<RunInput> all = inputs;
  if (inputs.empty())
    if (std::optional<RunInput> in = standardInput())
      all.push_back(std::move(*in));
  for (RunInput &copybook : copybookInputs(copybooks))
    all.push_back(std::move(copybook));
  for (RunInput &input : all)
    if (input.role == "the data file")
      input.role = "the input file";
  return all;
}

} // namespace

int encodeFiles(const std::string &copybook, const FrontEndOptions &frontEnd,
                const EncodeOptions &options, const std::vector<std::string> &inputs,
                const std::string &outputFile) {
  SignalStop stop("vexfcbl-encode");
  const std::optional<TextBytes> text = TextBytes::open(options.codePage);
  const std::optional<CodePage> page = CodePage::open(options.codePage);
  if (!text || !page) {
    std::fprintf(stderr, "%scode page %s is not known\n", program, options.codePage.c_str());
    return 1;
  }
  if (!options.dbcs.empty() && !DbcsBytes::open(options.dbcs)) {
    std::fprintf(stderr, "%scode page %s is not known\n", program, options.dbcs.c_str());
    return 1;
  }
  const bool toStandardOutput = outputFile == "-";
  if (toStandardOutput && ::isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "%s-o -: the standard output is a terminal: records are bytes, give a "
                         "file or a pipe\n",
                 program);
    return 1;
  }
  FrontEndResult parsed = ParseCopybook(copybook, frontEnd);
  RunState::Scope scope(parsed.run());
  if (parsed.errorCount() != 0) {
    std::fputs(vexCblMsg::sourceErrors, stderr);
    return 1;
  }
  VexCblConfig config;
  config.commaDecimalPoint = options.commaDecimalPoint;
  config.lenient = frontEnd.lenient;
  EncodePlan plan;
  try {
    plan = makeEncodePlan(buildRecordModel(parsed.entries(), config), options);
  } catch (const ModelError &) {
    return 1;
  } catch (const EncodePlanError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  }
  std::int64_t fixedLength = 0;
  if (options.recordFormat == RecordFormat::fixed || options.recordFormat == RecordFormat::lines)
    fixedLength = options.recordLength != 0 ? options.recordLength : plan.longest;
  if (options.recordFormat != RecordFormat::lines && fixedLength == 0 && plan.longest <= 0) {
    std::fprintf(stderr, "%sthe record has no length\n", program);
    return 1;
  }
  try {
    const std::vector<RunInput> files = checkDataFiles(inputs, 0);
    DecodeOutput output(toStandardOutput ? "" : outputFile,
                        inputsOf(files, parsed.filesRead()), &stop);
    std::FILE *out = output.stream();
    static char outputBuffer[1 << 20];
    std::setvbuf(out, outputBuffer, _IOFBF, sizeof outputBuffer);
    const int jobs = options.strict ? 1 : options.jobs;
    std::vector<Worker> workers;
    workers.reserve(static_cast<std::size_t>(jobs));
    for (int j = 0; j < jobs; ++j)
      workers.emplace_back(plan, options, *text, *page, fixedLength);
    StatusLine messages(stderr, false);
    Run run(plan, options, workers, out, messages);
    bool completed = true;
    if (inputs.empty()) {
      completed = run.file(stdin, "-");
    } else {
      for (const RunInput &file : files) {
        const FileHandle in(std::fopen(file.name.c_str(), "rb"));
        if (!in) {
          messages.print(std::string(program) + "cannot read " + file.name + ": " +
                         std::strerror(errno) + "\n");
          completed = false;
          break;
        }
        completed = run.file(in.get(), file.name);
        if (!completed)
          break;
      }
    }
    completed = run.finish() && completed;
    int status = completed ? 0 : 1;
    if (status == 0) {
      try {
        output.commit();
      } catch (const RunFileError &error) {
        std::fputs(relabel(error.message).c_str(), stderr);
        status = 1;
      }
    } else {
      std::fputs(relabel(output.failure()).c_str(), stderr);
      if (!toStandardOutput)
        std::fprintf(stderr, "%snothing written to %s\n", program, outputFile.c_str());
    }
    if (!options.quiet)
      std::fprintf(stderr, "%s%lld records read, %lld written, %lld skipped\n", program,
                   run.counts.read, run.counts.written, run.counts.skipped);
    return status;
  } catch (const RunFileError &error) {
    std::fputs(relabel(error.message).c_str(), stderr);
    return 1;
  }
}

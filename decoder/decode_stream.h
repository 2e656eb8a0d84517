#pragma once
// Decoding in memory: records from a byte buffer, a read function or one file, framed as
// vexfcbl-decode frames them, into a caller's sink of lines and warnings.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "decoder/code_page.h"
#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/decode_run.h"
#include "decoder/record_values.h"
#include "record/record_model.h"

// Where a decode in memory delivers what it makes.
class DecodeSink {
public:
  virtual ~DecodeSink() = default;
  // Whole lines (JSON Lines; CSV with its header first), a chunk of them at
  // a time, in input order. False stops the run.
  virtual bool lines(std::string_view text) = 0;
  // One warning; a record's warnings come before its line.
  virtual void warning(const DecodeWarning &warning) = 0;
  // True: the records come to values() as values (decoder/record_values.h),
  // not to lines() as text.
  virtual bool takesValues() const { return false; }
  // A batch of records in input order (a sink that takesValues()); it may
  // keep their contents. False stops the run.
  virtual bool values(RecordValues &records) {
    (void)records;
    return false;
  }
};

// Reads up to `size` bytes into `buffer`: returns the count read, 0 at the
// end of the data, -1 when reading failed (the reader keeps why).
using ByteReader = std::function<std::ptrdiff_t(char *buffer, std::size_t size)>;

// The options do not fit the copybook or each other; `message` says which
// option and why (no program name, no newline).
struct DecodeSetupError {
  std::string message;
};

// How one decode ended.
struct StreamResult {
  StreamCounts counts;
  // Why the run ended early: -strict's first warning (record, byte, field,
  // text), or a read that failed; empty when it completed or the sink stopped it.
  std::string error;
  bool stopped = false; // the sink stopped it
};

// The decoding of one copybook under one set of options, made once. The
// decodes of one StreamDecoder share nothing they change: several threads
// may decode with it at once.
class StreamDecoder {
public:
  // Plans `model`'s records under `options` (their -when rules, code page
  // and record length checked); DecodeSetupError when they do not fit.
  // The options go through vexfcbl-decode's checks: those that cannot go
  // together, then what the copybook says of them (-header, -trailer,
  // -length-field, -segment, -child, -select, -where); `model` may join the
  // records of several copybooks (appendCopybook).
  StreamDecoder(const RecordModel &model, const DecodeOptions &options);
  ~StreamDecoder();
  StreamDecoder(const StreamDecoder &) = delete;
  StreamDecoder &operator=(const StreamDecoder &) = delete;

  // The plan of the body's records (not those of -header and -trailer).
  const DecodePlan &plan() const;
  const DecodeOptions &options() const { return options_; }
  // The length of a record: -lrecl, or the longest record of the layout.
  std::int64_t recordLength() const;

  // Decodes the records of `data` (a -range counts in its bytes).
  StreamResult decode(std::string_view data, DecodeSink &sink) const;
  // Decodes the records `read` gives until it ends; no -range.
  StreamResult decode(const ByteReader &read, DecodeSink &sink) const;
  // Decodes the records of the file at `path`, which the messages name.
  StreamResult decodeFile(const std::string &path, DecodeSink &sink) const;

private:
  StreamResult run(std::FILE *in, const std::string &name, DecodeSink &sink) const;

  DecodeOptions options_;
  CodePage page_;
  std::unique_ptr<const RunPlan> run_;
};

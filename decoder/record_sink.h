#pragma once
// Where a run's decoded records go: the output stream as lines (JSON Lines, CSV), or a writer
// of another format that takes them as values (lake/, the Python columns). Made once the plan
// exists.
#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/record_values.h"
#include "decoder/run_files.h"
#include "record/record_model.h"

// A writer that cannot go on: `message` is the line(s) to print.
struct SinkError {
  std::string message;
};

class RecordSink {
public:
  virtual ~RecordSink() = default;
  // True: the run hands the body's records to write(RecordValues &), and
  // writes no text for them.
  virtual bool takesValues() const { return false; }
  // True (with takesValues): the values have the whole lines' shape, not
  // only the body's records: -ids keys first, -child trees, and the -header
  // and -trailer records beside the body's (their keys' plan fields moved
  // up by endFieldBases).
  virtual bool takesLineShape() const { return false; }
  // Takes whole lines of the decoder (one or more, each ending in "\n"), in
  // input order. False when the output cannot be written; SinkError when a
  // line cannot be put in the format.
  virtual bool write(std::string_view lines) = 0;
  // Takes a batch of records as values, in input order (a sink that
  // takesValues()); it may keep their contents, leaving `records` empty.
  // False and SinkError as for lines.
  virtual bool write(RecordValues &records);
  // Writes what is held back (the last block, the file's footer); called
  // once, after the last line, only for a run that completed.
  virtual bool finish() = 0;

  // A writer that writes on a thread of its own returns from write(RecordValues &) before the
  // records are written, so that the decoding goes on meanwhile. A run must still stop where
  // it would have stopped had they been written at once: before it prints anything or ends,
  // it settles, and a failure belongs to the call that handed the records over.
  // How many write(RecordValues &) calls are written by now; -1: each is written before it
  // returns (the run then keeps no account of them).
  virtual long long callsWritten() const { return -1; }
  // Waits until everything handed over is written: true when it all was. Otherwise
  // failedCall() is the number (from 0) of the write(RecordValues &) call that would have
  // returned false, or thrown the SinkError this throws.
  virtual bool awaitWrites() { return true; }
  virtual long long failedCall() const { return -1; }
};

// A writer of lines is never handed values: the run asks takesValues() first.
inline bool RecordSink::write(RecordValues &) {
  throw SinkError{"vexfcbl-decode: internal error: records as values for a writer of lines\n"};
}

// What a writer is made from: the run's layout, plan and options, and the
// stream of the output (spooled, put in place on success).
struct SinkRequest {
  const RecordModel &model;
  const DecodePlan &plan;
  const DecodeOptions &options;
  std::FILE *out;
  // The -header and -trailer plans whose records the output holds beside
  // the body's (none with -header-out).
  std::vector<const DecodePlan *> ends;
};

// The number added to the plan field of each key of `ends`' records, so
// that they name the fields the lines' shape gives them: an end record that
// the body decodes too (a -when names it) takes the body's fields, its
// lines looking the same; another one fields of its own, after the fields
// before it.
inline std::vector<int> endFieldBases(const DecodePlan &body,
                                      const std::vector<const DecodePlan *> &ends) {
  std::vector<int> bases;
  int base = static_cast<int>(body.fields.size());
  for (const DecodePlan *end : ends) {
    const PlanRecord &own = end->records.front();
    const auto same = std::find_if(body.records.begin(), body.records.end(), [&](const auto &r) {
      if (r.name != own.name || r.end - r.root != own.end - own.root)
        return false;
      for (int f = 0; f < own.end - own.root; ++f)
        if (body.fields[static_cast<std::size_t>(r.root + f)].name !=
            end->fields[static_cast<std::size_t>(own.root + f)].name)
          return false;
      return true;
    });
    if (same != body.records.end()) {
      bases.push_back(same->root - own.root);
      continue;
    }
    bases.push_back(base);
    base += static_cast<int>(end->fields.size());
  }
  return bases;
}

// The programs hand decodeFiles the writers of formats the decoder library
// does not hold (lake/): `sink` makes the writer of -format avro|parquet,
// `schema` writes -schema FILE, which must be none of `inputs` (SinkError when it
// cannot).
struct OutputWriters {
  std::function<std::unique_ptr<RecordSink>(const SinkRequest &)> sink;
  // `ends`: the plans of -header and -trailer records whose lines go to the
  // output beside the body's.
  std::function<void(const RecordModel &, const DecodePlan &,
                     const std::vector<const DecodePlan *> &ends, const DecodeOptions &,
                     const std::vector<RunInput> &inputs)>
      schema;
};

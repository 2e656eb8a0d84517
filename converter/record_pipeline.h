#pragma once
// A copybook's conversion on a thread of its own while the front end parses
// it: each record is converted as soon as the parse has left it.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "converter/convert.h"
#include "frontend/front_end.h"

class VexCblConversion;

// Writes "Starting conversion ..." to conv.options.messages, then ends the
// conversion `conv` as vexCblConvert ends its own: `convert` fills the rest
// of the repository, which is exported; its errors are reported and turned
// into the status as vexCblConvert turns them.
VexCvtStatus vexCblEndConversion(VexCblConversion &conv, VexDocumentOutcome *outcome,
                                 const std::function<void(VexCblConversion &)> &convert);

// The front end tells the pipeline of each top-level entry (RecordFeed); its
// thread converts every entry the parse has left into a conversion of its
// own, whose messages it keeps in a temporary file and whose document goes
// to the output's unnamed spool as always. Nothing reaches the user until
// finish: a copybook with errors is not converted at all, so everything the
// thread did is then dropped with the pipeline.
class VexRecordPipeline final : public RecordFeed {
public:
  // Whether a run of `input` under these options may convert while it
  // parses: a copybook (not a program, not -lenient), its document written
  // to a file that is not a device or a pipe, no trace, no messages kept as
  // values, and big enough to gain (VEXFCBL_PARSE_AND_CONVERT=1 makes every
  // input big enough, =0 none).
  static bool suits(const std::string &input, const FrontEndOptions &frontEnd,
                    const VexCblConfig &options);

  explicit VexRecordPipeline(const VexCblConfig &options);
  ~VexRecordPipeline() override;
  VexRecordPipeline(const VexRecordPipeline &) = delete;
  VexRecordPipeline &operator=(const VexRecordPipeline &) = delete;

  // False when the pipeline cannot keep its messages (no temporary file):
  // the run converts after the parse instead.
  bool ready() const { return ready_; }

  void opened(tree::decl *entry) override;
  void ended() noexcept override;
  void abandon() noexcept override;

  // After a parse without errors whose entries to convert are `entries`
  // (FrontEndResult::entries): when the thread converted exactly that list,
  // writes what vexCblConvert would have written from "Starting conversion
  // ..." on, puts the document in place, sets `status` and returns true.
  // Otherwise writes nothing and returns false: the caller converts afresh.
  bool finish(Tree_Node *entries, VexDocumentOutcome *outcome, VexCvtStatus &status);

private:
  void convertRecords();
  // The newest entry opened once it is not `current`; null once the parse
  // has ended with `current` the last.
  tree::decl *awaitAfter(const tree::decl *current);

  struct FileClose {
    void operator()(std::FILE *file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileClose> held_;
  std::unique_ptr<VexCblConversion> conv_;
  bool ready_ = false;

  // Set on the parsing thread before the converting thread starts.
  RunState *run_ = nullptr;
  tree::decl *first_ = nullptr;
  bool started_ = false;
  unsigned sinceWake_ = 0;
  std::thread thread_;

  std::atomic<tree::decl *> newest_{nullptr};
  std::atomic<bool> ended_{false};
  std::atomic<bool> waiting_{false};
  std::mutex mutex_;
  std::condition_variable wake_;

  // Set on the parsing thread once the thread is joined: its work is void.
  bool dropped_ = false;
  // Written by the converting thread, read after it is joined.
  bool abandoned_ = false;
  std::exception_ptr caught_;
};

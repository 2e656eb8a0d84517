// Converts a copybook's records on a thread of their own while the front end
// parses the ones after them; the messages wait in a temporary file.
#include "converter/record_pipeline.h"

#include <sys/resource.h>
#include <sys/sendfile.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <system_error>

#include "converter/conversion.h"
#include "converter/declaration_traversal.h"
#include "support/run_state.h"
#include "support/trace.h"

namespace {

// Below this size a copybook parses in a few milliseconds: a thread and a
// temporary file would cost more than they overlap.
constexpr off_t pipelineMinimum = off_t{1} << 20;

constexpr const char *switchName = "VEXFCBL_PARSE_AND_CONVERT";

// Records opened before a sleeping converting thread is woken.
constexpr unsigned recordsPerWake = 16;

// Copies the messages held in `held` (read from its start) to `out`: by the
// kernel where it can (tens of megabytes for a big copybook), else through
// a buffer.
void replay(std::FILE *held, std::FILE *out) {
  std::fflush(out);
  const int from = ::fileno(held), to = ::fileno(out);
  off_t offset = 0;
  struct stat heldStatus {};
  if (::fstat(from, &heldStatus) == 0) {
    while (offset < heldStatus.st_size) {
      const ssize_t sent = ::sendfile(to, from, &offset,
                                      static_cast<std::size_t>(heldStatus.st_size - offset));
      if (sent <= 0)
        break;
    }
  }
  if (::fseeko(held, offset, SEEK_SET) != 0)
    return;
  char piece[1 << 16];
  for (std::size_t got; (got = std::fread(piece, 1, sizeof piece, held)) > 0;)
    if (std::fwrite(piece, 1, got, out) != got)
      return;
}

} // namespace

bool VexRecordPipeline::suits(const std::string &input, const FrontEndOptions &frontEnd,
                              const VexCblConfig &options) {
  const char *choice = std::getenv(switchName);
  if (choice != nullptr && std::strcmp(choice, "0") == 0)
    return false;
  if (frontEnd.program || frontEnd.lenient || frontEnd.fileDescriptions || frontEnd.directives ||
      options.lenient || options.messageValues != nullptr || options.document != nullptr ||
      options.outputFileName.empty())
    return false;
  if (const char *trace = std::getenv(VexTrace::environmentName); trace != nullptr && *trace)
    return false;
  // Under a file size limit the held messages could meet it where the
  // messages themselves, written to a terminal or a pipe, would not.
  struct rlimit fileSize {};
  if (::getrlimit(RLIMIT_FSIZE, &fileSize) != 0 || fileSize.rlim_cur != RLIM_INFINITY)
    return false;
  // A device or a pipe gets the document as it is written, not at the end:
  // the parse's messages must come first there.
  struct stat output {};
  if (::stat(options.outputFileName.c_str(), &output) == 0 && !S_ISREG(output.st_mode))
    return false;
  if (choice != nullptr && std::strcmp(choice, "1") == 0)
    return true;
  struct stat source {};
  return ::stat(input.c_str(), &source) == 0 && S_ISREG(source.st_mode) &&
         source.st_size >= pipelineMinimum;
}

VexRecordPipeline::VexRecordPipeline(const VexCblConfig &options)
    : conv_(std::make_unique<VexCblConversion>(options, VexTrace())) {
  conv_->report.holdMessages();
  // The parse keeps the other core busy: a thread writing the spool's zeros
  // ahead of the document would only add its work to theirs, while the
  // kernel's writeback of the spool is best begun as it goes.
  conv_->repository.spoolPace(VexDocumentFile::Pace::writeBehind);
  if (options.messages != nullptr) {
    held_.reset(std::tmpfile());
    if (!held_)
      return;
    conv_->report.out = held_.get();
  }
  ready_ = true;
}

VexRecordPipeline::~VexRecordPipeline() {
  ended();
  // The conversion's report writes what it still holds as it goes: into the
  // temporary file, which must outlive it.
  conv_.reset();
}

void VexRecordPipeline::opened(tree::decl *entry) {
  if (!started_) {
    started_ = true;
    first_ = entry;
    run_ = &RunState::active();
    newest_.store(entry, std::memory_order_seq_cst);
    try {
      thread_ = std::thread([this] { convertRecords(); });
    } catch (const std::system_error &) {
      // No thread: nothing converted here, the run converts after the parse.
      abandoned_ = true;
    }
    return;
  }
  newest_.store(entry, std::memory_order_seq_cst);
  // The converting thread sleeps only after saying so; when it has, wake it
  // under the lock, so that the wake cannot fall between its last look and
  // its sleep. It is woken for a few records at a time: woken for each, the
  // two threads spent more time in the kernel's wake-ups than converting.
  if (waiting_.load(std::memory_order_seq_cst) && ++sinceWake_ >= recordsPerWake) {
    sinceWake_ = 0;
    const std::lock_guard<std::mutex> lock(mutex_);
    wake_.notify_one();
  }
}

void VexRecordPipeline::ended() noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    ended_.store(true, std::memory_order_seq_cst);
    wake_.notify_one();
  }
  if (thread_.joinable())
    thread_.join();
}

void VexRecordPipeline::abandon() noexcept {
  ended();
  dropped_ = true;
}

tree::decl *VexRecordPipeline::awaitAfter(const tree::decl *current) {
  for (;;) {
    if (tree::decl *newest = newest_.load(std::memory_order_seq_cst); newest != current)
      return newest;
    if (ended_.load(std::memory_order_seq_cst)) {
      tree::decl *newest = newest_.load(std::memory_order_seq_cst);
      return newest != current ? newest : nullptr;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    waiting_.store(true, std::memory_order_seq_cst);
    wake_.wait(lock, [&] {
      return newest_.load(std::memory_order_seq_cst) != current ||
             ended_.load(std::memory_order_seq_cst);
    });
    waiting_.store(false, std::memory_order_seq_cst);
  }
}

void VexRecordPipeline::convertRecords() {
  RunState::Scope scope(*run_);
  VexCblConversion &conv = *conv_;
  VexCblGrpContext topLevel = vexCbTopLevelContext(conv);
  tree::decl *current = first_;
  try {
    for (;;) {
      if (awaitAfter(current) == nullptr) {
        vexCbConvertTopLevel(conv, topLevel, *current);
        return;
      }
      // An entry opened after `current` that does not follow it belongs to
      // another list (entries below the root, then records): which list
      // converts is known only at the end, so this one stops here.
      auto *next = as_if<tree::decl>(current->next);
      if (next == nullptr) {
        abandoned_ = true;
        return;
      }
      vexCbConvertTopLevel(conv, topLevel, *current);
      current = next;
    }
  } catch (...) {
    // Reported, or ended, at finish: after the parse's messages.
    caught_ = std::current_exception();
  }
}

bool VexRecordPipeline::finish(Tree_Node *entries, VexDocumentOutcome *outcome,
                               VexCvtStatus &status) {
  ended();
  if (!started_ || dropped_ || abandoned_ || entries != first_)
    return false;
  // Messages the temporary file did not take (a full file system): the
  // conversion runs again after the parse, writing them where they go.
  if (held_) {
    conv_->report.flush();
    if (std::fflush(held_.get()) != 0 || std::ferror(held_.get()))
      return false;
  }
  std::FILE *out = conv_->options.messages;
  status = vexCblEndConversion(*conv_, outcome, [&](VexCblConversion &conv) {
    if (held_) {
      // Everything held was flushed into the file above.
      std::rewind(held_.get());
      replay(held_.get(), out);
      conv.report.out = out;
    }
    if (caught_)
      std::rethrow_exception(caught_);
  });
  return true;
}

// -batch: the files of a tree, their conversions on worker threads, the messages and counts in
// input order.
#include "cli/batch_run.h"

#include <fnmatch.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "converter/conversion_messages.h"
#include "converter/conversion_run.h"
#include "diagnostics/fatal_error.h"
#include "support/status_line.h"

namespace fs = std::filesystem;

namespace {

enum class End { converted, stopped, failed };

struct Job {
  std::string relative;
  std::string input;
  std::string output;
  std::string messages;
  End end = End::failed;
  bool done = false;
};

// The files to convert, sorted by relative path so that every run over the
// same tree reports in the same order.
bool collect(const VexBatchOptions &batch, std::vector<Job> &jobs) {
  std::error_code error;
  fs::recursive_directory_iterator it(batch.inputFolder, error), end;
  if (error)
    return false;
  for (; it != end; it.increment(error)) {
    if (error)
      return false;
    const fs::directory_entry &entry = *it;
    if (!entry.is_regular_file(error) ||
        ::fnmatch(batch.pattern.c_str(), entry.path().filename().c_str(), 0) != 0)
      continue;
    Job job;
    const fs::path relative = entry.path().lexically_relative(batch.inputFolder);
    job.relative = relative.generic_string();
    job.input = (fs::path(batch.inputFolder) / relative).string();
    job.output = (fs::path(batch.outputFolder) / relative).replace_extension(".gnv").string();
    jobs.push_back(std::move(job));
  }
  std::sort(jobs.begin(), jobs.end(),
            [](const Job &a, const Job &b) { return a.relative < b.relative; });
  return true;
}

// One conversion, its messages caught in memory instead of the shared
// standard error stream.
void convert(Job &job, FrontEndOptions frontEnd, VexCblConfig conversion) {
  char *buffer = nullptr;
  std::size_t size = 0;
  std::FILE *stream = ::open_memstream(&buffer, &size);
  if (stream == nullptr) {
    job.messages = "Error: Cannot keep the messages of this conversion.\n";
    return;
  }
  frontEnd.messages = stream;
  conversion.messages = stream;
  conversion.outputFileName = job.output;
  VexDocumentOutcome outcome;
  VexCvtStatus status = VexCvtStatus::failed;
  std::error_code error;
  fs::create_directories(fs::path(job.output).parent_path(), error);
  try {
    status = process(job.input, frontEnd, conversion, VexAfterConversion(), &outcome);
  } catch (const FatalError &) {
    std::fputs(vexCblMsg::sourceErrors, stream);
    outcome.end = VexDocumentEnd::sourceErrors;
  } catch (const std::exception &) {
    std::fputs("Error: the conversion failed.\n", stream);
  }
  if (status == VexCvtStatus::completed && outcome.end == VexDocumentEnd::written)
    job.end = End::converted;
  else if (outcome.end == VexDocumentEnd::sourceErrors)
    job.end = End::stopped;
  std::fclose(stream);
  job.messages.assign(buffer, size);
  std::free(buffer);
}

} // namespace

VexBatchCounts runBatch(const VexBatchOptions &batch, const FrontEndOptions &frontEnd,
                        const VexCblConfig &conversion, std::FILE *messages, std::FILE *summary) {
  VexBatchCounts counts;
  std::vector<Job> jobs;
  if (!collect(batch, jobs)) {
    std::fprintf(messages, "Error: Cannot read folder '%s'.\n", batch.inputFolder.c_str());
    counts.failed = 1;
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads =
      std::min<std::size_t>(batch.jobs == 0 ? cores : batch.jobs, jobs.size());

  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<std::size_t> next{0};
  std::size_t done = 0;     // jobs done, under `mutex`
  std::size_t unwritten = 0; // of them, those without a document
  std::vector<std::jthread> workers;
  for (std::size_t t = 0; t < threads; ++t)
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < jobs.size(); i = next++) {
        convert(jobs[i], frontEnd, conversion);
        const std::lock_guard lock(mutex);
        jobs[i].done = true;
        ++done;
        unwritten += jobs[i].end != End::converted;
        finished.notify_all();
      }
    });
  StatusLine line(messages, batch.progress);
  std::size_t shown = 0;
  const auto progress = [&](std::size_t count, std::size_t without) {
    line.show("vexfcbl: " + std::to_string(count) + " of " + std::to_string(jobs.size()) +
              " files done" + (without > 0 ? ", " + std::to_string(without) + " without a document" : ""));
  };
  if (!jobs.empty())
    progress(0, 0);
  // Each block is printed as soon as it and every block before it are done,
  // so a long batch shows its progress while keeping the input order.
  for (Job &job : jobs) {
    for (bool ready = false; !ready;) {
      std::size_t count = 0;
      std::size_t without = 0;
      {
        std::unique_lock lock(mutex);
        finished.wait(lock, [&] { return job.done || done != shown; });
        ready = job.done;
        count = done;
        without = unwritten;
      }
      if (count != shown) {
        shown = count;
        progress(count, without);
      }
    }
    line.print("=== " + job.relative + "\n" + job.messages);
    std::fflush(messages);
    switch (job.end) {
    case End::converted:
      ++counts.converted;
      break;
    case End::stopped:
      ++counts.stopped;
      break;
    case End::failed:
      ++counts.failed;
      break;
    }
  }
  line.clear();
  if (!batch.quiet) {
    std::fprintf(summary, "%u converted, %u stopped, %u failed\n", counts.converted,
                 counts.stopped, counts.failed);
    std::fflush(summary);
  }
  const auto without = static_cast<std::size_t>(std::count_if(
      jobs.begin(), jobs.end(), [](const Job &job) { return job.end != End::converted; }));
  if (batch.progress && without > 0) {
    std::fprintf(messages, "vexfcbl: no document for %zu of %zu files:\n", without, jobs.size());
    for (const Job &job : jobs)
      if (job.end != End::converted)
        std::fprintf(messages, "  %s (%s)\n", job.relative.c_str(),
                     job.end == End::stopped ? "the copybook has errors" : "no document written");
    std::fflush(messages);
  }
  return counts;
}

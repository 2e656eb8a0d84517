#pragma once
// -batch: every matching copybook of a folder tree converted on worker threads, reported in input
// order.
#include <cstdio>
#include <string>

#include "converter/conversion_options.h"
#include "frontend/front_end.h"

// The choices of -batch DIR -od OUTDIR -pattern GLOB -j N.
struct VexBatchOptions {
  std::string inputFolder;       // -batch
  std::string outputFolder;      // -od
  std::string pattern = "*.cpy"; // -pattern, matched against file names
  unsigned jobs = 0;             // -j; 0: one per core
  // Files done of the total on a status line of `messages`, and at the end
  // the files without a document (the caller decides: a terminal, no -q).
  bool progress = false;
  bool quiet = false; // -q: no summary line
};

// How the conversions of a batch ended.
struct VexBatchCounts {
  unsigned converted = 0; // document written
  unsigned stopped = 0;   // the copybook had errors
  unsigned failed = 0;    // no document for any other reason
};

// Converts every regular file under batch.inputFolder whose name matches
// batch.pattern, in the order of their paths, each as `vexfcbl -i
// INPUT/REL -o OUTPUT/REL.gnv` with the other options of `frontEnd` and
// `conversion` would, on batch.jobs threads. Each file's messages are
// written to `messages` as one block headed "=== REL", in input order, and
// the counts on `summary` as "N converted, N stopped, N failed" (not under
// batch.quiet); with batch.progress, a line of files done is kept on
// `messages` meanwhile and the files without a document listed there last. Returns the
// counts; an input folder that cannot be read is reported on `messages` and
// counts as one failure.
VexBatchCounts runBatch(const VexBatchOptions &batch, const FrontEndOptions &frontEnd,
                        const VexCblConfig &conversion, std::FILE *messages, std::FILE *summary);

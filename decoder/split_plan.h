#pragma once
// Split plans: byte ranges of one data file, each starting on a record (VB:
// block) start, that a cluster decodes one task each with -range.
#include <cstdint>
#include <string>
#include <vector>

#include "decoder/decode_options.h"

struct SplitRange {
  std::int64_t start;
  std::int64_t end;
  long long firstRecord; // the whole-file number of its first record; 0 when unknown (L)
};

// The data file could not be opened or read; `message` is the line to print.
struct SplitError {
  std::string message;
};

// Splits the file at `path` (read with `options`' -recfm, descriptor word
// settings and -skip-bytes/-skip-trailer-bytes) into ranges of about `size` bytes that together
// hold every record once; there is always at least one range, the last ending
// at the file's end. F: boundaries on multiples of `recordLength`. L:
// multiples of `size` as they are (a range skips to its first line start when
// decoded; the record numbers are not known). V and VB: only the descriptor
// words are read (4 bytes, then a seek past the record or block), so every
// range starts where the decoder's framing starts a record (VB: a block) and
// knows its first record's number; invalid and cut descriptor words are
// walked past as the decoder walks them, each reported on `warnings` in the
// decoder's wording.
std::vector<SplitRange> planSplits(const std::string &path, const DecodeOptions &options,
                                   std::int64_t recordLength, std::int64_t size,
                                   std::string &warnings);

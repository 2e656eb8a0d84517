#pragma once
// What a decoding run makes of its record model and options beyond the body's
// plan: the plans of -header and -trailer, the segment tree, the length field,
// and, for each pass over data, the readers and writers its framing keeps state
// in (the decoders of the ends, DEPENDING ON lengths, open parents, the tree
// being nested, the -where filter). vexfcbl-decode and the decoding in memory
// both build their runs here, so that they take the same options the same way.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "decoder/code_page.h"
#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/framing.h"
#include "decoder/record_decoder.h"
#include "decoder/record_filter.h"
#include "decoder/segments.h"
#include "record/record_model.h"

// The options that cannot go together whatever the copybook and the data:
// the reason, naming the options (no program name, no newline); empty when
// they can.
std::string optionConflict(const DecodeOptions &options);
// -child's nested trees where the output cannot hold them (CSV, -raw): the
// reason, or empty.
std::string nestingConflict(const DecodeOptions &options);

// What the framing of one pass needs beyond the options: the readers of
// -length-field and -variable-occurs, and the decoders of -header and -trailer.
struct FramingParts {
  const LengthField *lengthField = nullptr;
  const OccursLength *occurs = nullptr;
  RecordDecoder *header = nullptr;
  RecordDecoder *trailer = nullptr;
  std::FILE *headerOut = nullptr; // where their lines go; the output when null
  // -segment, -child, -ids: each record's segment, and its parent for -ids
  // (parents) or the nesting (hierarchy).
  const SegmentTree *segments = nullptr;
  ParentStack *parents = nullptr;
  HierarchyWriter *hierarchy = nullptr;
  RecordFilter *filter = nullptr; // -where
};

// The plans of a run, made once; they change nothing while records are
// decoded, so passes on several threads may share them. Parts of it refer to
// others: it stays where it was made.
class RunPlan {
public:
  // Plans `model`'s records under `options`: the body (without the -header
  // and -trailer records when no -record or -when picks it), the ends, the
  // segments and the length field. PlanError (its message as the program
  // prints it) when an option names no record or field, or does not fit them.
  RunPlan(const RecordModel &model, const DecodeOptions &options, const CodePage &page);
  RunPlan(const RunPlan &) = delete;
  RunPlan &operator=(const RunPlan &) = delete;

  DecodePlan plan;
  DecodePlan headerPlan;  // -header
  DecodePlan trailerPlan; // -trailer
  std::optional<SegmentTree> segments;
  std::optional<LengthField> lengthField;
  std::optional<OccursLength> occurs; // a pass takes a copy: it keeps a record's counts
  std::int64_t layoutLength = 0;      // the longest record of the body
  std::int64_t recordLength = 0;      // -lrecl, or layoutLength; 0: the record has no length
};

// The state of one pass over data (one file of the program, one decode in
// memory) under a RunPlan, which must outlive it. `out` is where nested trees
// are written; `headerOut`, when given, takes the -header and -trailer lines
// as JSON Lines whatever the run's format.
class RunParts {
public:
  RunParts(const RunPlan &plan, const DecodeOptions &options, const CodePage &page, std::FILE *out,
           std::FILE *headerOut = nullptr);
  RunParts(const RunParts &) = delete;
  RunParts &operator=(const RunParts &) = delete;

  const FramingParts &framing() const { return parts_; }

private:
  std::optional<RecordDecoder> header_;
  std::optional<RecordDecoder> trailer_;
  std::optional<OccursLength> occurs_;
  std::optional<ParentStack> parents_;
  std::optional<HierarchyWriter> hierarchy_;
  std::optional<RecordFilter> filter_;
  FramingParts parts_;
};

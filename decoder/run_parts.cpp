// The parts of a decoding run, built from its options and record model in one place.
#include "decoder/run_parts.h"

#include <algorithm>

std::string optionConflict(const DecodeOptions &d) {
  if (!d.lengthMap.empty() && d.lengthField.empty())
    return "-length-map needs -length-field NAME: the field whose value it maps";
  if ((!d.lengthField.empty() || d.variableOccurs) && d.recordFormat != RecordFormat::fixed &&
      !(d.variableOccurs && d.recordFormat == RecordFormat::lines))
    return std::string(d.lengthField.empty() ? "-variable-occurs" : "-length-field") +
           " frames records by their own content: use it with -recfm F" +
           (d.lengthField.empty() ? " or L" : "") + ", not with descriptor words";
  if (!d.lengthField.empty() && d.variableOccurs)
    return "-length-field and -variable-occurs cannot be combined: a record has one length";
  if (d.recordLength != 0 && (!d.lengthField.empty() || d.variableOccurs))
    return std::string("-lrecl cannot be combined with ") +
           (d.lengthField.empty() ? "-variable-occurs" : "-length-field") +
           ": each record's length is its own";
  return "";
}

std::string nestingConflict(const DecodeOptions &options) {
  if (options.children.empty() || options.ids ||
      (options.format != OutputFormat::csv && !options.raw))
    return "";
  return std::string("-child nests records, which ") +
         (options.raw ? "-raw cannot carry" : "CSV cannot hold") +
         ": give -ids for flat records that name their parents";
}

RunPlan::RunPlan(const RecordModel &model, const DecodeOptions &options, const CodePage &page)
    : plan(makeDecodePlan(model, options)) {
  leaveOutEnds(plan, options);
  if (!options.segmentField.empty() || !options.children.empty() || options.ids)
    segments.emplace(plan, options);
  if (!options.lengthField.empty())
    lengthField.emplace(model, plan, options, page);
  if (options.variableOccurs)
    occurs.emplace(plan, options, page);
  if (!options.headerRecord.empty())
    headerPlan = endPlan(model, options, options.headerRecord, "-header");
  if (!options.trailerRecord.empty())
    trailerPlan = endPlan(model, options, options.trailerRecord, "-trailer");
  for (const PlanRecord &record : plan.records)
    layoutLength = std::max(layoutLength, record.length);
  recordLength = options.recordLength != 0 ? options.recordLength : layoutLength;
}

RunParts::RunParts(const RunPlan &plan, const DecodeOptions &options, const CodePage &page,
                   std::FILE *out, std::FILE *headerOut) {
  // A -header-out file is JSON Lines whatever the output's format: its
  // header and trailer records have columns of their own.
  DecodeOptions endOptions = options;
  if (headerOut != nullptr)
    endOptions.format = OutputFormat::jsonLines;
  if (!options.headerRecord.empty())
    parts_.header = &header_.emplace(plan.headerPlan, endOptions, page);
  if (!options.trailerRecord.empty())
    parts_.trailer = &trailer_.emplace(plan.trailerPlan, endOptions, page);
  parts_.headerOut = headerOut;
  if (plan.lengthField)
    parts_.lengthField = &*plan.lengthField;
  if (plan.occurs)
    parts_.occurs = &occurs_.emplace(*plan.occurs);
  if (plan.segments) {
    parts_.segments = &*plan.segments;
    if (plan.segments->linked() && !options.ids)
      parts_.hierarchy = &hierarchy_.emplace(*plan.segments, out);
    else
      parts_.parents = &parents_.emplace(*plan.segments);
  }
  if (!plan.plan.filters.empty())
    parts_.filter = &filter_.emplace(plan.plan, options, page);
}

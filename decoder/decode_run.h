#pragma once
// One decoding run: copybook through the front end and the record model, then every data file.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "decoder/code_page.h"
#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/record_sink.h"
#include "frontend/front_end.h"

// Decodes `dataFiles` (standard input when empty) with the records of
// `copybook`, writing to `outputFile` (standard output when empty). Returns
// the exit status: 1 when the copybook has errors, a file cannot be read or
// written, or -strict met bad data.
int decodeFiles(const std::string &copybook, const FrontEndOptions &frontEnd,
                const DecodeOptions &options, const std::vector<std::string> &dataFiles,
                const std::string &outputFile);

// One warning of a record, as a value instead of a printed line.
struct DecodeWarning {
  long long record = 0;    // the record's number, from 1 (a range's FIRST when given)
  std::int64_t offset = 0; // the byte the problem is at, in the data
  std::string path;        // the field's path; empty for the record as a whole
  std::string text;        // what is wrong, with the bytes when they tell it
};

// What one stream of records gave.
struct StreamCounts {
  long long read = 0;
  long long written = 0;
  long long warned = 0;
  bool completed = true; // false: -strict stopped at a warning, or writing failed
  bool failed = false;   // reading or writing failed
};

class RunPlan;

// The record loop of decodeFiles over one stream: the records of `in`
// (framed by `options` and the parts of `plan`: -range, -j, length fields,
// DEPENDING ON lengths, header and trailer, segments and -where included)
// decoded by `plan`, their lines (the CSV header first) written to `out`,
// each warning given to `warned` instead of printed, a failed read printed
// on `messages` under `name`. The caller owns both streams. A `records`
// sink that takes values gets the records instead of `out`.
StreamCounts decodeRecordStream(const RunPlan &plan, const DecodeOptions &options,
                                const CodePage &page, std::FILE *in, const std::string &name,
                                std::FILE *out, std::FILE *messages,
                                const std::function<void(const DecodeWarning &)> &warned,
                                RecordSink *records = nullptr);
// The same with the records of several copybooks (-i repeated), all of them
// candidates for -record and -when, and the writers of -format avro|parquet
// and -schema (lake/).
int decodeFiles(const std::vector<std::string> &copybooks, const FrontEndOptions &frontEnd,
                const DecodeOptions &options, const std::vector<std::string> &dataFiles,
                const std::string &outputFile, const OutputWriters &writers);

#pragma once
// "Does this copybook fit this file?": framing, code page and record-type hypotheses scored on
// a sample of the data, and the report that names the options to decode it with.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "decoder/decode_options.h"
#include "frontend/front_end.h"
#include "record/record_model.h"

// Bytes of the data file, read at a few places: the first chunk starts at
// offset 0; later ones are spread over the file, the last at its end.
struct DataChunk {
  std::int64_t offset = 0;
  std::string bytes;
};

struct DataSample {
  std::int64_t fileSize = 0; // the whole file's size
  std::vector<DataChunk> chunks;
};

// How records are cut out of the file, as the decoder's framing options say it.
struct Framing {
  RecordFormat format = RecordFormat::fixed;
  std::int64_t recordLength = 0;     // F: -lrecl
  bool littleEndianWords = false;    // V, VB: -rdw little
  int descriptorAdjust = 0;          // V, VB: -rdw-adjust (4 when the length omits the word)
  std::int64_t skipBytes = 0;        // -skip-bytes
  std::int64_t skipTrailerBytes = 0; // -skip-trailer-bytes
};

// One way of reading the file, scored on the sample.
struct Hypothesis {
  Framing framing;
  std::string codePage = "IBM037";
  std::string record;               // -record, empty for none
  std::vector<SelectionRule> rules; // -when
  double validity = 0;              // share of the fields checked that hold valid values
  double coverage = 0;              // share of the sample's bytes inside framed records
  double consistency = 0;           // share of fields valid in nearly all records or in nearly none
  double score = 0;                 // coverage times the mean of validity and consistency
  long long records = 0;            // records framed in the sample
  long long warned = -1;            // of those, records the record decoder warned about
  std::string why;                  // why it loses to the best (runners-up only)

  // The decoder options that give this reading, in the order a user writes them.
  std::vector<std::string> options(std::int64_t layoutLength) const;
};

// A field of the best hypothesis whose values are often invalid.
struct WeakField {
  std::string path;
  std::string usage;
  std::int64_t offset = 0;
  std::int64_t length = 0;
  double validity = 0;
  long long checked = 0;
};

// Validity falls from one offset of the record on, and the bytes fit the
// layout moved by `shift` (positive: the data has more bytes before the field).
struct Shift {
  std::int64_t offset = 0;
  std::int64_t shift = 0;
  std::string field;
  double before = 0;  // validity of the fields before the offset
  double after = 0;   // of the fields from the offset on, as the layout places them
  double shifted = 0; // of the same fields moved by `shift`
};

// One record of the sample as the map page shows it.
struct SampleRecord {
  std::int64_t fileOffset = 0;
  std::string bytes;
  std::string recordName;
  std::vector<int> invalidItems;                   // model item indices whose value is invalid
  std::vector<std::pair<int, std::string>> values; // elementary item index -> decoded text
};

struct Diagnosis {
  std::vector<Hypothesis> hypotheses; // the best first
  std::int64_t layoutLength = 0;
  std::vector<WeakField> weakFields;
  std::optional<Shift> shift;
  std::vector<std::string> notes; // file size, header, trailer, code page remarks
  // The first records of the sample under each of the top hypotheses.
  std::vector<std::vector<SampleRecord>> samples;
  bool fits = false; // the best hypothesis fits well
};

struct DiagnoseSettings {
  std::int64_t sampleBytes = 4 << 20; // -sample MB
  int shown = 5;                      // hypotheses reported
  int mapRecords = 10;                // records of each top hypothesis kept for the map
};

// Reads the sample: the first quarter of `sampleBytes` from the start, the
// rest in three pieces spread over the file, the last ending at its end; the
// whole file when it is no larger. RunFileError-style failures are thrown as
// DiagnoseError.
DataSample readSample(const std::string &path, std::int64_t sampleBytes);

// Tries the framings, code pages and record choices that could give the
// sample and scores each by the validity of the values it decodes.
Diagnosis diagnose(const RecordModel &model, const DataSample &sample,
                   const DiagnoseSettings &settings);

// The report as text: the best hypothesis, its command line, the runners-up
// and why they lose, weak fields, a shift, notes on the file size.
std::string diagnosisText(const Diagnosis &diagnosis, const std::string &copybook,
                          const std::string &dataFile);
// The same as one JSON document.
std::string diagnosisJson(const Diagnosis &diagnosis, const std::string &copybook,
                          const std::string &dataFile);

// A failure that ends the run: the message names the file and the reason.
struct DiagnoseError {
  std::string message;
};

// What -diagnose was asked to write besides the report.
struct DiagnoseOutputs {
  std::string json; // -diagnose-json FILE
  std::string html; // -diagnose-html FILE
};

// vexfcbl-decode -diagnose: parses `copybook`, samples `dataFile`, writes the
// report on the standard output and the files `outputs` name. Returns 0 when a
// hypothesis fits well, 2 when none does, 1 on errors (copybook, files).
int diagnoseFile(const std::string &copybook, const FrontEndOptions &frontEnd,
                 const DecodeOptions &decode, const std::string &dataFile,
                 const DiagnoseSettings &settings, const DiagnoseOutputs &outputs);

#pragma once
// How records are found in a data file beyond the fixed length and the
// descriptor word of -recfm: descriptor words in either byte order, with
// adjusted lengths and extended block lengths; a record's length read from
// one of its fields (-length-field, -length-map); a record as long as its
// DEPENDING ON counts make it (-variable-occurs). The decoding loop
// (decode_run.cpp) and the split plan (split_plan.cpp) both read words
// through here, so a range starts exactly where the decoder would start a
// record.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/code_page.h"
#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/run_files.h"
#include "record/record_model.h"

// One record or block descriptor word as read.
struct DescriptorWord {
  // The bytes the record or block takes, its word included, after
  // -rdw-adjust; -1 when the word holds fewer bytes than its least (4 for a
  // record, 8 for a block) or fewer than 4 bytes were left.
  std::int64_t length = -1;
  // The two bytes after a 2-byte length are not zero (they are reserved, or
  // a spanned record's segment flags, which this decoder does not join).
  bool reservedSet = false;
};

// The 2-byte length of a short descriptor word and whether its other two
// bytes are set. Big-endian: the length first. Little-endian, two forms the
// same word tells apart (a length is never zero): the length's two bytes
// swapped in place, then the reserved bytes (as GnuCOBOL writes on x86), or
// the whole 4-byte word reversed, the reserved bytes first (as programs write
// that stored the word as a little-endian 32-bit number).
struct ShortWord {
  std::int64_t length = 0;
  bool reservedSet = false;
};
ShortWord readShortWord(std::string_view word, bool little);

// Reads the 4 bytes of `word` (fewer at the file's end give length -1).
// Record words: a 2-byte length, big-endian unless -rdw little, then two
// reserved bytes. Block words: the same, or, with the top bit of the
// length's high byte set, the extended form whose 31 low bits of the whole
// word are the length. -rdw-adjust is added to the length read.
DescriptorWord readRecordWord(std::string_view word, const DecodeOptions &options);
DescriptorWord readBlockWord(std::string_view word, const DecodeOptions &options);

// The text of a reserved-bytes warning for the word at hand.
std::string reservedBytesProblem(std::string_view word, bool block);

// -length-field NAME[+|-N] and -length-map: the record's length from a field.
class LengthField {
public:
  // Resolves the field in `model` and its kind in `plan`; PlanError when the
  // field does not exist, is not a binary, packed or zoned number, lies in
  // an OCCURS, or (with -length-map) a value is not a number of the field.
  LengthField(const RecordModel &model, const DecodePlan &plan, const DecodeOptions &options,
              CodePage page);

  // The bytes needed from the record's start before its length is known.
  std::size_t need() const { return static_cast<std::size_t>(offset_ + length_); }
  // The record's length from its first need() bytes; nothing, with `why`
  // set, when the field is not a valid number or gives no usable length.
  std::optional<std::int64_t> lengthOf(std::string_view head, std::string &why) const;

private:
  std::string name_;
  FieldKind kind_;
  bool isSigned_ = false;
  ZonedSign sign_ = ZonedSign::none;
  bool littleEndian_ = false;
  std::int64_t offset_ = 0;
  std::int64_t length_ = 0;
  std::int64_t adjust_ = 0;
  std::vector<std::pair<std::string, std::int64_t>> map_; // value (a number as digits), length
  CodePage page_;
};

// -variable-occurs: the bytes a record takes when each table with DEPENDING
// ON holds only the occurrences its count gives.
// One reader per thread: it keeps the counts of the record at hand.
class OccursLength {
public:
  OccursLength(const DecodePlan &plan, const DecodeOptions &options, CodePage page);
  // The bytes needed before the length can be known: the whole record at
  // its maximum (counts lie anywhere before their tables).
  std::size_t need() const { return static_cast<std::size_t>(maximum_); }
  // The record's length in `data` (which may be cut short by the file's
  // end); nothing, with `why` set, when a count is not a valid number or out
  // of its table's range.
  std::optional<std::int64_t> lengthOf(std::string_view data, std::string &why) const;

private:
  std::int64_t size(int index, std::int64_t at, std::string_view data,
                    std::vector<std::int64_t> &counts, std::string &why) const;
  const DecodePlan &plan_;
  bool littleEndian_;
  CodePage page_;
  std::int64_t maximum_ = 0;
  mutable std::vector<std::int64_t> counts_; // one record's counts, by field
};

// The framing options that do not go together (-header and -trailer with
// CSV and no -header-out, -header-out alone or the same file as
// `outputFile`): the message to print, or empty.
std::string framingRefusal(const DecodeOptions &options, const std::string &outputFile);

// Why -range or -splits cannot read `files` with `options` (records found
// only by reading from the file's start, a compressed file), or empty.
std::string unsplittable(const DecodeOptions &options, const std::vector<RunInput> &files);

// The files as the hints should judge them: the bytes between -skip-bytes
// and -skip-trailer-bytes; nothing of compressed files, nor sizes where the
// records have no fixed length.
std::vector<RunInput> hintedFiles(std::vector<RunInput> files, const DecodeOptions &options);

// The plan of -header or -trailer (`option`): the record `record` alone,
// without -when; PlanError when the copybook has no such record.
DecodePlan endPlan(const RecordModel &model, const DecodeOptions &options,
                   const std::string &record, const char *option);

// Without -record and -when, a copybook of a header, details and a trailer
// decodes its body as the records that are neither -header nor -trailer.
void leaveOutEnds(DecodePlan &plan, const DecodeOptions &options);

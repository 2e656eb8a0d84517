#pragma once
// One record's values (a tape of JSON tokens) written into its bytes by the plan.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decoder/code_page.h"
#include "encoder/encode_options.h"
#include "encoder/encode_plan.h"
#include "encoder/json_tape.h"
#include "encoder/number_text.h"
#include "encoder/text_bytes.h"

// Why a record was not written: the field (with subscripts, "REC.T[2].E")
// and the reason.
struct EncodeProblem {
  std::string path;
  std::string what;
};

class RecordEncoder {
public:
  // `fixedLength`: every record is written that long (F and L), 0 for V
  // and VB, where a record ends after its last occurrence.
  RecordEncoder(const EncodePlan &plan, const EncodeOptions &options, const TextBytes &text,
                const CodePage &page, std::int64_t fixedLength);

  // Writes the record of the JSON object `tape` holds. Returns its bytes
  // (valid until the next call), or nothing with `problems` saying why not.
  std::optional<std::string_view> encode(const JsonTape &tape,
                                         std::vector<EncodeProblem> &problems);

  // The record of a JSON line in exactly the shape the decoder writes (its
  // keys in order, no blanks or nulls), written straight from the text and
  // appended to `out` after `reserve` bytes kept for framing; returns its
  // length. Nothing, with `out` as it was, for any other line, which
  // encode() then reads: the two write the same bytes.
  std::optional<std::int64_t> encodeLine(std::string_view line, std::string &out,
                                         std::size_t reserve);

private:
  enum class Pass { write, compare };

  bool walk(int record, std::uint32_t value, bool fromRaw);
  std::optional<std::string_view> rawRecord();
  std::int64_t member(int index, std::uint32_t value, std::int64_t at);
  std::int64_t area(const std::vector<int> &children, std::size_t first, std::size_t last,
                    std::size_t slots, std::int64_t at, std::int64_t shift);
  std::int64_t occurrence(int index, std::uint32_t value, std::int64_t at);
  std::int64_t group(int index, std::uint32_t value, std::int64_t at);
  std::int64_t array(int index, std::uint32_t value, std::int64_t at);
  void leaf(int index, std::uint32_t value, std::int64_t at);
  bool writeNumber(const EncodeField &field, const NumberText &number, std::string_view written,
                   char *out);
  bool writeText(const EncodeField &field, std::string_view text, char *out);
  void writeCount(int counter, std::int64_t count);
  void nullValue(int index, std::int64_t at, std::int64_t count);
  void fill(int index, std::int64_t at, FillMode mode);
  bool unchanged(const EncodeField &field, const JsonToken &token, std::int64_t at);
  bool changes(int index, std::uint32_t value, std::int64_t at);
  bool ruleMatches(const EncodeRule &rule, std::uint32_t recordValue) const;
  std::uint32_t memberValue(std::uint32_t object, const std::string &key) const;
  bool fastOccurrence(int index, std::int64_t at, std::int64_t &used);
  bool fastGroup(int index, std::int64_t at, std::int64_t &used);
  bool fastArray(int index, std::int64_t at, std::int64_t &used);
  bool fastLeaf(int index, std::int64_t at);
  bool fastNumber(int index, const NumberText &number, std::string_view text, char *out);
  bool take(char c) {
    if (cursor_ == end_ || *cursor_ != c)
      return false;
    ++cursor_;
    return true;
  }
  // Takes `quoted` ("\"KEY\":", or with the comma before it) at the cursor.
  bool takeKey(const std::string &quoted) {
    const std::size_t size = quoted.size();
    if (static_cast<std::size_t>(end_ - cursor_) < size)
      return false;
    // Keys are short: eight bytes at a time beats a call to memcmp.
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      std::uint64_t a = 0;
      std::uint64_t b = 0;
      std::memcpy(&a, cursor_ + i, 8);
      std::memcpy(&b, quoted.data() + i, 8);
      if (a != b)
        return false;
    }
    for (; i < size; ++i)
      if (cursor_[i] != quoted[i])
        return false;
    cursor_ += size;
    return true;
  }
  void begin(std::int64_t room);
  bool finish(int root, std::int64_t used);
  void problem(std::string what);
  std::string pathText() const;
  const char *typeName(std::uint32_t value) const;

  const EncodePlan &plan_;
  const EncodeOptions &options_;
  const TextBytes &text_;
  const CodePage &page_;
  std::optional<DbcsBytes> dbcsOut_;
  std::optional<DbcsPage> dbcsIn_;
  std::int64_t fixedLength_;

  const JsonTape *tape_ = nullptr;
  std::vector<EncodeProblem> *problems_ = nullptr;
  std::string image_;
  char *base_ = nullptr; // where the record is written: image_, or the caller's buffer
  std::string raw_;
  bool hasRaw_ = false;
  bool fromRaw_ = false;   // the image starts as the input's _raw bytes
  bool changed_ = false;   // a value differs from what the _raw bytes hold
  Pass pass_ = Pass::write;
  bool differs_ = false;   // compare pass: some value differs
  std::uint32_t rawFields_ = noToken;
  std::uint32_t rootObject_ = noToken; // -record members given at the top: skip the _raw keys there
  std::vector<std::uint32_t> slots_;
  std::vector<std::uint32_t> recordValues_;
  std::vector<char> ruleMatched_;
  enum class Count : char { none, given, pending };
  std::vector<Count> counterState_;
  bool counters_ = false; // the plan has DEPENDING ON counts
  std::vector<std::int64_t> counterValue_;
  std::vector<std::int64_t> counterAt_;
  std::vector<std::pair<int, std::int64_t>> pathStack_; // field, occurrence (-1: none)
  std::string scratch_;
  bool fast_ = false;        // the plan has nothing the line-shaped reading cannot follow
  bool probing_ = false;     // reading a line's shape: a problem only ends the try
  bool probeFailed_ = false;
  const char *cursor_ = nullptr;
  const char *end_ = nullptr;
  std::vector<std::string> quotedKeys_; // per field: "\"KEY\":" as the decoder writes it
  std::vector<std::string> commaKeys_;  // the same after the comma of the member before
  // What the line-shaped reading needs of a field, packed close together:
  // the plan's fields are large and their reading was the cost.
  struct Compact {
    EncodeKind kind;
    ZonedSign sign;
    bool isArray;
    bool isCounter;
    bool hidden;
    bool isSigned;
    bool plainText; // DISPLAY text, not JUSTIFIED
    bool checkDigits;
    std::int32_t counter;
    std::int32_t digits;
    std::int32_t scale;
    std::uint32_t firstChild; // into children_
    std::uint32_t childCount;
    std::int64_t offset;
    std::int64_t length;
    std::int64_t slack;
    std::int64_t minCount;
    std::int64_t maxCount;
  };
  std::vector<Compact> compact_;
  std::vector<int> children_;
};

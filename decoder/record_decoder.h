#pragma once
// Decodes one record's bytes by the plan into a JSON Lines or CSV line, or into values
// (decoder/record_values.h) for writers that take them.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/code_page.h"
#include "decoder/decode_options.h"
#include "decoder/decode_plan.h"
#include "decoder/record_values.h"

// What went wrong in one record, for the warning line.
struct DecodeProblem {
  std::string path;
  std::string what;
  std::int64_t offset = 0; // in the record
  std::string bytes;
};

class RecordDecoder {
public:
  RecordDecoder(const DecodePlan &plan, const DecodeOptions &options, CodePage page);

  // The CSV header line; empty for JSON Lines.
  std::string header();
  // Appends the line for `data` to `out` and the problems found to
  // `problems`; `declared` is the length the record format announced (an RDW), or -1.
  void decode(std::string_view data, std::int64_t declared, std::string &out,
              std::vector<DecodeProblem> &problems);
  // The same record as values, appended to `out`: the tokens of the JSON
  // line decode() writes (whatever the options' format), with the same problems.
  void decode(std::string_view data, std::int64_t declared, RecordValues &out,
              std::vector<DecodeProblem> &problems);
  // The longest line decodeLine() writes; 0 when the layout is not one it
  // writes (see compileLine).
  std::size_t lineRoom() const { return lineCompiled_ ? lineRoom_ : 0; }
  // The line decode() appends, written at `to`, which has lineRoom() bytes
  // (the caller's buffer: no string grown and filled per record); returns
  // its end, or nullptr (nothing written) for a record shorter than the layout.
  char *decodeLine(std::string_view data, std::int64_t declared, char *to,
                   std::vector<DecodeProblem> &problems);

  // The -when rules `data` satisfies: the first that matches (-1: none),
  // whose segment it is, and the record the first matching record rule
  // picks (-1: none), as decode() will decode it.
  struct Match {
    int rule = -1;
    int record = -1;
  };
  Match match(std::string_view data);

private:
  // The walk of decode(), writing to out_ or values_.
  void record(std::string_view data, std::int64_t declared, std::vector<DecodeProblem> &problems);
  // Adds a null value (and closes its key, when there is one).
  void nullValue(std::uint32_t key);
  // A field -select leaves out whose size or counts later fields need:
  // decoded, then its text and problems dropped.
  void measure(int index, std::int64_t at, bool present, std::int64_t &size);
  // Returns the bytes the field takes in this record (all its occurrences).
  std::int64_t field(int index, std::int64_t at, bool present, bool first);
  std::int64_t occurrence(const PlanField &field, int index, std::int64_t at, bool present,
                          bool first);
  // An array written as values (its count and validity found by field()).
  std::int64_t values(const PlanField &field, int index, std::int64_t at, bool valid,
                      std::int64_t count);
  void elementary(const PlanField &field, int index, std::int64_t at, bool present, bool first);
  void elementaryValue(const PlanField &field, int index, std::int64_t at, bool present);
  bool read(const PlanField &field, int index, std::string_view bytes, std::string &value,
            std::size_t start, bool &text, const char *&what);
  WholeRead readWhole(const PlanField &field, std::string_view bytes, std::int64_t &whole) const;
  void headerColumns(int index);
  void beginValue(const PlanField &field, bool first);
  void problem(const PlanField &field, std::int64_t at, std::int64_t length, const char *what);
  bool ruleMatches(const DecodePlan::Rule &rule);
  bool chosen(int index) const;

  // A record of one fixed layout, written as lines, compiled once into a
  // flat list of steps: the text between two values (keys, braces, commas)
  // and the value's place and usage. The walk above stays for what the
  // steps do not hold (OCCURS DEPENDING ON, -when, several records, values,
  // usages other than text, zoned, packed, binary and floating point, a
  // record shorter than its layout).
  // How a step's value is written: the usages of most fields straight from
  // what the step holds, the others by writeValue.
  enum class StepKind : std::uint8_t { end, text, packed, zoned, binary, other };
  // A line step's kind tells also what its field's length, scale and sign
  // allow, checked once when compiled instead of for each value: packed
  // decimal of up to 4 bytes and 7 places (packedShort) or 8 bytes and 15,
  // zoned of up to 8 bytes and 7 places (15: zonedWide) with no sign or a
  // trailing one, big-endian binary of 2, 4 or 8 bytes.
  enum class LineKind : std::uint8_t {
    end,
    text,
    packedShort,
    packed,
    zoned,
    zonedWide,
    halfword,
    fullword,
    doubleword,
    other
  };
  struct LineStep {
    std::uint32_t literal = 0; // the text before the value, in lineText_
    std::uint32_t literalSize = 0;
    int field = -1;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::int32_t scale = 0;
    LineKind kind = LineKind::end;
    ZonedSign sign = ZonedSign::none;
    bool isSigned = false;
    bool readAhead = false; // 8 bytes may be read from the field's start
  };
  bool compileLine();
  bool compileGroup(const PlanField &field, std::int64_t at, bool &column);
  bool compileField(int index, std::int64_t at, bool first, bool &column);
  bool compileValue(int index, std::int64_t at);
  char *writeLine(std::string_view data, std::int64_t declared, char *to);
  char *writeValue(const LineStep &step, char *to);

  // The same for values: the record's tokens as a template (each value's
  // token typed as what its step writes when its bytes are good: a string,
  // a scaled number, or null for the others), and one step per value, its
  // usage and place held as a line step holds them.
  struct ValueStep {
    std::uint32_t token = 0; // in the template
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    int field = -1;
    StepKind kind = StepKind::other;
    ZonedSign sign = ZonedSign::none;
    bool isSigned = false;
    bool readAhead = false;
    std::uint32_t textRoom = 0; // the most text this step and those after it write
  };
  // Where a record's values are being written.
  struct ValueFill {
    RecordValues::Room room;
    char *textBase = nullptr; // the batch's text
    char *text = nullptr;     // the next text's place in it
    std::size_t wholes = 0;   // used of room.wholes
  };
  void compileValues();
  void compileValueGroup(const PlanField &field, std::int64_t at, RecordValues &shape);
  void compileValueField(int index, std::int64_t at, RecordValues &shape);
  bool writeValues(std::string_view data, std::int64_t declared, RecordValues &out);
  // The same record as a compact one (RecordValues::appendCompact), for a
  // batch that takes them; false (nothing added) when a value is one the
  // steps leave to writeValue (the record then goes as tokens), or as writeValues.
  bool writeCompact(std::string_view data, std::int64_t declared, RecordValues &out);
  void writeValue(const ValueStep &step, ValueFill &fill, RecordValues &out);
  void lengthProblem(std::int64_t declared, std::int64_t used);

  // The same records written straight in a writer's encoding (decoder/direct_values.h): the
  // writer's ops for the tokens of valueTokens_, compiled into steps whose kind names both the
  // field's reader and the writer's form, so that the loop switches once per value and asks
  // nothing of the field's length, sign or form at each record.
  enum class DirectKind : std::uint8_t {
    literal,   // the step's constant bytes alone
    text,      // a string after its length, written where a one-byte length leaves it
    textLong,  // the same, written after room for its longest length (`shift` bytes)
    plainText, // a string after its length as 4 bytes
    // A number's reader (packed, zoned, big-endian binary of 2, 4, 8 bytes) and its form: a
    // zigzag varint, the same only within 32 bits, a decimal's bytes, 8 bytes little-endian,
    // the same only within 32 bits.
    packedZigzag,
    packedZigzag32,
    packedDecimal,
    packedWord,
    packedWord32,
    zonedZigzag,
    zonedZigzag32,
    zonedDecimal,
    zonedWord,
    zonedWord32,
    halfZigzag,
    halfZigzag32,
    halfDecimal,
    halfWord,
    halfWord32,
    fullZigzag,
    fullZigzag32,
    fullDecimal,
    fullWord,
    fullWord32,
    doubleZigzag,
    doubleZigzag32,
    doubleDecimal,
    doubleWord,
    doubleWord32,
  };
  struct DirectStep {
    char literal[16] = {}; // written before the value: union branches, array counts
    std::uint8_t literalSize = 0;
    DirectKind kind = DirectKind::literal;
    // Packed and zoned: the field's bytes moved to the top of the 8 bytes read at `offset`
    // (shifted left by `shift`, the rest cleared by `keep`); textLong: its length's room.
    std::uint8_t shift = 0;
    bool isSigned = false; // packed, binary: may be negative; zoned: a trailing sign
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    std::uint64_t keep = 0;
    std::uint64_t zones = 0; // zoned: the zone bits every byte must have
    std::uint16_t lane = 0;  // by lanes: the value's lane
    std::uint8_t width = 8;  // by lanes: a word's bytes there
  };
  void compileDirect(const DirectEncoder &encoder);
  bool encodeValues(std::string_view data, std::int64_t declared, RecordValues &out);
  template <bool byLanes>
  bool encodeSteps(std::string_view data, std::int64_t declared, RecordValues &out);
  const DirectEncoder *directFor_ = nullptr; // whose encoding directSteps_ write
  std::vector<DirectStep> directSteps_;      // empty: tokens for that writer
  std::size_t directRoom_ = 0;               // the most bytes they write
  // By lanes (DirectOp::lane): the most bytes a record writes in each lane.
  std::vector<std::size_t> directLaneRoom_;

  std::vector<ValueStep> valueSteps_;
  std::vector<ValueToken> valueTokens_;
  std::size_t valueTextRoom_ = 0; // the most text the steps write straight
  std::size_t valueWholes_ = 0;   // the most whole numbers
  std::size_t valueTexts_ = 0;    // the text steps
  bool compactable_ = false;      // no step is StepKind::other

  std::vector<LineStep> lineSteps_;
  std::string lineText_;
  std::string linePending_; // the text before the next value, while compiling
  std::size_t lineRoom_ = 0;
  std::int64_t lineLength_ = 0;
  bool lineCompiled_ = false;

  const DecodePlan &plan_;
  DecodeOptions options_;
  CodePage page_;
  std::optional<DbcsPage> dbcs_;
  bool csv_;
  std::string_view data_;
  std::string *out_ = nullptr;
  RecordValues *values_ = nullptr; // values instead of text
  bool element_ = false;           // the value being written is an array's element: no key
  std::vector<DecodeProblem> *problems_ = nullptr;
  bool truncated_ = false;
  std::vector<std::int64_t> counters_;
  std::vector<char> counterValid_;
  std::vector<char> ruleMatched_;
  std::vector<char> pickedAlternative_; // per field: a matching rule picks it
  bool anyPicked_ = false;              // a rule picked a REDEFINES alternative
  std::int64_t decodedEnd_ = 0;         // the end of the furthest elementary field read
  std::vector<char> groupPicked_;       // per field: some alternative of its group is picked
  std::string scratch_;
  std::string headerPath_;
  bool columnFirst_ = true;
  bool multipleRecords_;
};

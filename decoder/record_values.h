#pragma once
// Decoded records as values: the shape of the JSON line (objects, arrays, keys, strings,
// numbers, nulls) as a flat tape of tokens the decoder fills directly, for writers that want
// values rather than text (lake/, the Python columns). Nothing is escaped and nothing is
// parsed back: a decimal field that fits 64 bits comes as its unscaled whole number and its
// scale, other numbers (floating point, edited, wider decimals) as their exact decimal text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "decoder/direct_values.h"
#include "decoder/field_values.h"

// `number`: decimal text. `scaled`: an exact decimal held as a whole number,
// RecordValues::unscaled(token) * 10^-RecordValues::scale(token).
enum class ValueType : std::uint8_t { object, array, key, string, number, null, scaled };

struct ValueToken {
  ValueType type = ValueType::null;
  // The token after this value: after its members or elements for an
  // object or array; for a key, the token after the key's value.
  std::uint32_t next = 0;
  // A string's or number's text: its place in the batch's text. A key:
  // `at` is the plan field whose key it is (DecodePlan::fields; negative for
  // the keys of -ids and -child trees, decoder/segments.h). A scaled
  // number: `at` is its place among the batch's whole numbers, `size` its
  // scale (an int, negative for P positions).
  std::uint32_t at = 0;
  std::uint32_t size = 0;
};

constexpr std::uint32_t noValue = UINT32_MAX;

// A batch of records, one after another. A record is the line's object:
// record(r) is its token, followed by the key of each record type written
// (its plan field is the record's root) and that record's object.
class RecordValues {
public:
  std::size_t records() const { return records_.size(); }
  std::uint32_t record(std::size_t r) const { return records_[r]; }
  // A record a decoder wrote straight in the encoding of encoder(), not as tokens: its bytes
  // (valid until the batch changes).
  bool encoded(std::size_t r) const { return (records_[r] & encodedBit) != 0; }
  std::string_view encodedBytes(std::size_t r) const {
    const std::uint32_t span = records_[r] & ~encodedBit;
    const std::uint32_t start = span == 0 ? 0 : encodedEnds_[span - 1];
    return std::string_view(encoded_.data() + start, encodedEnds_[span] - start);
  }
  // The writer whose encoding the decoders may write records of a fixed layout in (nullptr:
  // all records as tokens); kept when the batch is cleared.
  void encodeWith(const DirectEncoder *encoder) { encoder_ = encoder; }
  const DirectEncoder *encoder() const { return encoder_; }
  const ValueToken &operator[](std::uint32_t index) const { return tokens_[index]; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(tokens_.size()); }
  // A string's or number's text (valid until the batch changes).
  std::string_view text(const ValueToken &token) const {
    return std::string_view(text_.data() + token.at, token.size);
  }
  // A scaled number's whole number and scale.
  std::int64_t unscaled(const ValueToken &token) const { return wholes_[token.at]; }
  static int scale(const ValueToken &token) { return static_cast<int>(token.size); }
  // The exact decimal text of a number token of either kind (`scratch`
  // holds a scaled number's text: valid until it changes).
  std::string_view numberText(const ValueToken &token, std::string &scratch) const;
  // The plan field of a key token.
  int field(const ValueToken &key) const { return static_cast<int>(key.at); }
  bool empty() const { return records_.empty(); }

  // ---- compact records ----
  // A reader that takes them (the Python columns) saves the writing and
  // reading of a record's tokens: a record of a compiled layout whose every
  // value the steps read (decoder/record_decoder.h) is kept as its whole
  // numbers and texts only, in the order of the layout's value tokens
  // (compactShape(), the tokens' template: a string token for each text, a
  // scaled one, of its scale, for each whole). Other records of the batch
  // stay tokens. Asked for by the batch's owner; clear() keeps the choice.
  struct CompactRecord {
    std::uint32_t firstWhole = 0; // its wholes: wholes from here on
    std::uint32_t firstEnd = 0;   // its texts' ends in the text: ends from here on
    std::uint32_t textStart = 0;  // where its first text begins
  };
  void takeCompact(bool take) { takesCompact_ = take; }
  bool takesCompact() const { return takesCompact_; }
  bool compact(std::size_t r) const { return (records_[r] & compactBit) != 0; }
  const CompactRecord &compactRecord(std::size_t r) const {
    return compacts_[records_[r] & ~compactBit];
  }
  const std::vector<ValueToken> &compactShape() const { return compactShape_; }
  std::int64_t whole(std::uint32_t at) const { return wholes_[at]; }
  std::uint32_t textEnd(std::uint32_t at) const { return ends_[at]; }
  const char *textData() const { return text_.data(); }

  // Empties the batch, keeping its room: no allocation once the largest
  // batch has been made.
  void clear() {
    tokens_.clear();
    text_.clear();
    records_.clear();
    wholes_.clear();
    encodedSize_ = 0;
    encodedEnds_.clear();
    compacts_.clear();
    ends_.clear();
    // Compared again by the batch's first compact record: the decoder whose
    // template was copied may be gone.
    shapeFrom_ = nullptr;
    for (std::size_t l = 0; l < lanes_.size(); ++l)
      laneEnds_[l] = lanes_[l].get();
    laneRecordsLeft_ = 0;
  }

  // ---- an encoded record, filled by the decoder ----

  // Room for `count` bytes after the batch's encoded records (written there, then closed by
  // endEncoded with their end, or left: nothing added).
  char *encodedRoom(std::size_t count) {
    if (encoded_.size() < encodedSize_ + count) [[unlikely]]
      widenEncoded(count);
    return encoded_.data() + encodedSize_;
  }
  void endEncoded(const char *end) {
    encodedSize_ = static_cast<std::size_t>(end - encoded_.data());
    records_.push_back(encodedBit | static_cast<std::uint32_t>(encodedEnds_.size()));
    encodedEnds_.push_back(static_cast<std::uint32_t>(encodedSize_));
  }

  // ---- an encoded record written by columns (DirectOp::lane) ----
  // Each lane holds its column's values of the batch's encoded records one after another; a
  // record is begun (the lanes' ends, where each value is written and the end moved on, with
  // room for the record: `room[l]` bytes in lane l, `lanes` of them), then ended with the
  // bytes of its texts (their lengths' 4 not counted) or abandoned (the ends as they were).
  char **beginLanes(const std::size_t *room, std::size_t lanes) {
    // A batch moved from keeps its count but not its lanes.
    if (laneRecordsLeft_ == 0 || laneEnds_.size() < lanes) [[unlikely]]
      widenLanes(room, lanes);
    --laneRecordsLeft_;
    std::memcpy(before_.data(), laneEnds_.data(), before_.size() * sizeof(char *));
    return laneEnds_.data();
  }
  void endLanes(std::uint32_t textBytes) {
    records_.push_back(encodedBit | static_cast<std::uint32_t>(encodedEnds_.size()));
    const std::uint32_t last = encodedEnds_.empty() ? 0 : encodedEnds_.back();
    encodedEnds_.push_back(last + textBytes);
  }
  void abandonLanes() {
    std::memcpy(laneEnds_.data(), before_.data(), before_.size() * sizeof(char *));
  }
  // Lane `l`'s bytes (valid until the batch changes); the bytes of the texts of encoded record
  // `r` (RecordValues::encoded) of a batch written by lanes.
  std::string_view lane(std::size_t l) const {
    if (l >= lanes_.size())
      return {};
    return std::string_view(lanes_[l].get(),
                            static_cast<std::size_t>(laneEnds_[l] - lanes_[l].get()));
  }
  std::uint32_t laneTextBytes(std::size_t r) const {
    const std::uint32_t span = records_[r] & ~encodedBit;
    return encodedEnds_[span] - (span == 0 ? 0 : encodedEnds_[span - 1]);
  }

  // ---- filled by the decoder, one record at a time ----

  void beginRecord() { records_.push_back(open(ValueType::object)); }
  // An object or array, or the key of `field`: closed by close().
  [[gnu::always_inline]] std::uint32_t open(ValueType type, std::uint32_t field = 0) {
    tokens_.push_back(ValueToken{type, 0, field, 0});
    return static_cast<std::uint32_t>(tokens_.size() - 1);
  }
  void close(std::uint32_t index) { tokens_[index].next = size(); }
  void null() { tokens_.push_back(ValueToken{ValueType::null, size() + 1, 0, 0}); }

  // The batch's text, to which the decoder appends a value in place; then
  // appended(type, at) makes the text from `at` on a string or number.
  std::string &textBuffer() { return text_; }
  void appended(ValueType type, std::size_t at) {
    tokens_.push_back(ValueToken{type, size() + 1, static_cast<std::uint32_t>(at),
                                 static_cast<std::uint32_t>(text_.size() - at)});
  }

  // A decimal as its whole number and scale.
  void scaled(std::int64_t unscaled, int scale) {
    tokens_.push_back(ValueToken{ValueType::scaled, size() + 1,
                                 static_cast<std::uint32_t>(wholes_.size()),
                                 static_cast<std::uint32_t>(scale)});
    wholes_.push_back(unscaled);
  }

  // A record whose tokens are `tokens`, a template whose `next` counts from
  // its first token, made the batch's last record, with room after the
  // batch's whole numbers for `wholes` more: its values are then written in
  // place (wholes[i] is whole number firstWhole + i), the record closed by
  // endRecord() with the number of wholes used. Nothing else may be added
  // in between: the pointers stay valid until then.
  struct Room {
    ValueToken *tokens = nullptr;
    std::int64_t *wholes = nullptr;
    std::uint32_t base = 0;
    std::uint32_t firstWhole = 0;
  };
  Room appendRecord(const std::vector<ValueToken> &tokens, std::size_t wholes) {
    const std::uint32_t base = size();
    records_.push_back(base);
    // Each token written once, moved to its place as it is copied: its 16
    // bytes copied whole, then `next` moved. (An add over all four words
    // made the padding after `type` spill into it for memory checkers:
    // every later test of a type read as undefined.)
    static_assert(sizeof(ValueToken) == 16);
    tokens_.resize(base + tokens.size());
    ValueToken *const first = tokens_.data() + base;
    ValueToken *to = first;
    for (const ValueToken &token : tokens) {
      std::memcpy(static_cast<void *>(to), &token, sizeof token);
      to->next += base;
      ++to;
    }
    const auto firstWhole = static_cast<std::uint32_t>(wholes_.size());
    wholes_.resize(firstWhole + wholes);
    return Room{first, wholes_.data() + firstWhole, base, firstWhole};
  }
  void endRecord(const Room &room, std::size_t wholes) { wholes_.resize(room.firstWhole + wholes); }

  // A compact record of `shape` (the template's tokens) made the batch's
  // last record, with room for `wholes` whole numbers and `texts` text ends
  // (written in place, through the pointers, valid until anything else is
  // added); the text is appended to textBuffer() from its size now on.
  // Nothing made (null pointers) when the batch holds compact records of
  // another shape: the batch has one.
  struct CompactRoom {
    std::int64_t *wholes = nullptr;
    std::uint32_t *ends = nullptr;
  };
  CompactRoom appendCompact(const std::vector<ValueToken> &shape, std::size_t wholes,
                            std::size_t texts) {
    if (&shape != shapeFrom_) {
      const bool same = std::equal(
          compactShape_.begin(), compactShape_.end(), shape.begin(), shape.end(),
          [](const ValueToken &a, const ValueToken &b) {
            return a.type == b.type && a.next == b.next && a.at == b.at && a.size == b.size;
          });
      if (!same && !compacts_.empty())
        return CompactRoom{};
      if (!same)
        compactShape_ = shape;
      shapeFrom_ = &shape;
    }
    records_.push_back(static_cast<std::uint32_t>(compacts_.size()) | compactBit);
    compacts_.push_back(CompactRecord{static_cast<std::uint32_t>(wholes_.size()),
                                      static_cast<std::uint32_t>(ends_.size()),
                                      static_cast<std::uint32_t>(text_.size())});
    wholes_.resize(wholes_.size() + wholes);
    ends_.resize(ends_.size() + texts);
    return CompactRoom{wholes_.data() + wholes_.size() - wholes, ends_.data() + ends_.size() - texts};
  }
  // The last record, compact, taken back (its text as well): the record
  // is then written as tokens.
  void dropCompact() {
    const CompactRecord last = compacts_.back();
    compacts_.pop_back();
    records_.pop_back();
    wholes_.resize(last.firstWhole);
    ends_.resize(last.firstEnd);
    text_.resize(last.textStart);
  }
  // The placeholder at `index` made a string or number: the text from `at` on.
  void set(std::uint32_t index, ValueType type, std::size_t at) {
    ValueToken &token = tokens_[index];
    token.type = type;
    token.at = static_cast<std::uint32_t>(at);
    token.size = static_cast<std::uint32_t>(text_.size() - at);
  }
  // The placeholder at `index` made a scaled number.
  void set(std::uint32_t index, std::int64_t unscaled, int scale) {
    ValueToken &token = tokens_[index];
    token.type = ValueType::scaled;
    token.at = static_cast<std::uint32_t>(wholes_.size());
    token.size = static_cast<std::uint32_t>(scale);
    wholes_.push_back(unscaled);
  }

  // Where the batch is, to drop what follows (a field only measured, a
  // record -strict stops at).
  struct Mark {
    std::size_t tokens = 0;
    std::size_t text = 0;
    std::size_t records = 0;
    std::size_t wholes = 0;
    std::size_t encoded = 0;
    std::size_t encodedRecords = 0;
    std::size_t compacts = 0;
    std::size_t ends = 0;
  };
  Mark mark() const {
    return Mark{tokens_.size(), text_.size(), records_.size(),   wholes_.size(),
                encodedSize_,   encodedEnds_.size(), compacts_.size(), ends_.size()};
  }
  void truncate(const Mark &mark) {
    tokens_.resize(mark.tokens);
    text_.resize(mark.text);
    records_.resize(mark.records);
    wholes_.resize(mark.wholes);
    encodedSize_ = mark.encoded;
    // A record written by lanes can be taken back only as the last one (the run marks the batch
    // before each record): its lanes' ends are those it began at.
    if (!lanes_.empty() && encodedEnds_.size() > mark.encodedRecords) {
      if (encodedEnds_.size() - mark.encodedRecords != 1)
        throw std::logic_error("RecordValues::truncate: more than the last record by lanes");
      abandonLanes();
    }
    encodedEnds_.resize(mark.encodedRecords);
    compacts_.resize(mark.compacts);
    ends_.resize(mark.ends);
  }

private:
  // resize() leaves what it adds unwritten: appendRecord() writes it once.
  template <class T> struct Unwritten : std::allocator<T> {
    Unwritten() = default;
    template <class U> Unwritten(const Unwritten<U> &) noexcept {}
    template <class U> struct rebind { using other = Unwritten<U>; };
    template <class U> void construct(U *) noexcept {}
    template <class U, class... Args> void construct(U *at, Args &&...args) {
      std::construct_at(at, std::forward<Args>(args)...);
    }
  };

public:
  // Encoded records' bytes (the first `size` of `bytes`) and each one's end.
  struct Encoded {
    std::vector<char, Unwritten<char>> bytes;
    std::size_t size = 0;
    std::vector<std::uint32_t> ends;
  };
  // For a writer that keeps a batch's encoded records past it: when the batch holds nothing
  // else, its bytes and ends are traded for `into`'s, whose room the batch keeps, and the
  // batch is cleared; the bytes are not copied. False (nothing done) otherwise.
  bool tradeEncoded(Encoded &into) {
    if (records_.empty() || encodedEnds_.size() != records_.size())
      return false;
    std::swap(encoded_, into.bytes);
    into.size = encodedSize_;
    std::swap(encodedEnds_, into.ends);
    clear();
    return true;
  }

private:
  // Lanes for `lanes` columns with room for lanesAhead records of `room` bytes each, the
  // bytes so far copied over: once every lanesAhead records, not a check per lane per record.
  [[gnu::noinline]] void widenLanes(const std::size_t *room, std::size_t lanes) {
    if (lanes_.size() < lanes) {
      laneCapacity_.resize(lanes, 0);
      laneEnds_.resize(lanes, nullptr);
      lanes_.resize(lanes);
    }
    before_.resize(lanes_.size());
    for (std::size_t l = 0; l < lanes; ++l) {
      const std::size_t used =
          lanes_[l] ? static_cast<std::size_t>(laneEnds_[l] - lanes_[l].get()) : 0;
      const std::size_t need = used + room[l] * lanesAhead;
      if (laneCapacity_[l] >= need)
        continue;
      const std::size_t capacity = std::max(2 * laneCapacity_[l], need);
      auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
      if (used > 0)
        std::memcpy(bytes.get(), lanes_[l].get(), used);
      lanes_[l] = std::move(bytes);
      laneCapacity_[l] = capacity;
      laneEnds_[l] = lanes_[l].get() + used;
    }
    laneRecordsLeft_ = lanesAhead;
  }

  // The encoded bytes so far copied into wider room at once: the vector's own growth moved
  // them a byte at a time through the allocator (a Parquet run's 20 M instructions in 20 MB).
  [[gnu::noinline]] void widenEncoded(std::size_t count) {
    std::vector<char, Unwritten<char>> wider;
    wider.resize(std::max(2 * encoded_.size(), encodedSize_ + count));
    if (encodedSize_ > 0)
      std::memcpy(wider.data(), encoded_.data(), encodedSize_);
    encoded_.swap(wider);
  }

  std::vector<ValueToken, Unwritten<ValueToken>> tokens_;
  std::string text_;
  std::vector<std::uint32_t> records_;
  std::vector<std::int64_t, Unwritten<std::int64_t>> wholes_;
  // Encoded records: their bytes one after another (the first encodedSize_ of encoded_, which
  // keeps its room), each one's end; records_ holds encodedBit and its place in encodedEnds_.
  static constexpr std::uint32_t encodedBit = 0x80000000;
  std::vector<char, Unwritten<char>> encoded_;
  std::size_t encodedSize_ = 0;
  std::vector<std::uint32_t> encodedEnds_;
  const DirectEncoder *encoder_ = nullptr;
  // Records by lanes: each lane's bytes, room and end (kept when the batch is cleared), the
  // ends before the record begun last, and the records the lanes have room for yet. With
  // lanes, encodedEnds_ holds the records' texts' bytes, summed.
  static constexpr std::size_t lanesAhead = 64;
  std::vector<std::unique_ptr<char[]>> lanes_;
  std::vector<std::size_t> laneCapacity_;
  std::vector<char *> laneEnds_, before_;
  std::size_t laneRecordsLeft_ = 0;
  // A compact record's entry in records_: its place in compacts_, this bit set.
  static constexpr std::uint32_t compactBit = std::uint32_t{1} << 30; // not encodedBit
  std::vector<CompactRecord> compacts_;
  std::vector<std::uint32_t, Unwritten<std::uint32_t>> ends_;
  std::vector<ValueToken> compactShape_;
  const std::vector<ValueToken> *shapeFrom_ = nullptr; // whose copy compactShape_ is
  bool takesCompact_ = false;
};

inline std::string_view RecordValues::numberText(const ValueToken &token,
                                                 std::string &scratch) const {
  if (token.type != ValueType::scaled)
    return text(token);
  scratch.clear();
  appendScaled(unscaled(token), scale(token), scratch);
  return scratch;
}

// `unscaled` * 10^(to - from) (a whole number of scale `from` brought to
// scale `to`) into `out`; false when it leaves the int64 range or, for a
// smaller scale, would drop nonzero digits.
inline bool rescale(std::int64_t unscaled, int from, int to, std::int64_t &out) {
  for (; from < to; ++from)
    if (__builtin_mul_overflow(unscaled, 10, &unscaled))
      return false;
  for (; from > to; --from) {
    if (unscaled % 10 != 0)
      return false;
    unscaled /= 10;
  }
  out = unscaled;
  return true;
}

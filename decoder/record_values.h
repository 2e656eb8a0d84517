#pragma once
// Decoded records as values: the shape of the JSON line (objects, arrays, keys, strings,
// numbers, nulls) as a flat tape of tokens the decoder fills directly, for writers that want
// values rather than text (lake/, the Python columns). Nothing is escaped and nothing is
// parsed back: a decimal field that fits 64 bits comes as its unscaled whole number and its
// scale, other numbers (floating point, edited, wider decimals) as their exact decimal text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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

  // Empties the batch, keeping its room: no allocation once the largest
  // batch has been made.
  void clear() {
    tokens_.clear();
    text_.clear();
    records_.clear();
    wholes_.clear();
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
  // its first token (values placeholders, filled by set()); returns where it begins.
  std::uint32_t appendRecord(const std::vector<ValueToken> &tokens) {
    const std::uint32_t base = size();
    records_.push_back(base);
    // Copied as they are, then moved to their place: a resize would first
    // clear every token it makes, twice the writing of a record.
    tokens_.insert(tokens_.end(), tokens.begin(), tokens.end());
    for (ValueToken *to = tokens_.data() + base; to != tokens_.data() + tokens_.size(); ++to)
      to->next += base;
    return base;
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
  };
  Mark mark() const { return Mark{tokens_.size(), text_.size(), records_.size(), wholes_.size()}; }
  void truncate(const Mark &mark) {
    tokens_.resize(mark.tokens);
    text_.resize(mark.text);
    records_.resize(mark.records);
    wholes_.resize(mark.wholes);
  }

private:
  std::vector<ValueToken> tokens_;
  std::string text_;
  std::vector<std::uint32_t> records_;
  std::vector<std::int64_t> wholes_;
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

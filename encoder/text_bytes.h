#pragma once
// Text into the bytes of a data file: a code page's characters the other way round (the
// decoder's tables inverted), UTF-16BE for NATIONAL and the double-byte pages of DISPLAY-1.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

// How a text went into its item.
enum class TextFit {
  ok,
  tooLong,        // more characters than the item holds (and no -truncate)
  unmappable,     // a character the code page has no byte for: `codePoint`
  invalidUtf8,    // the input's bytes are no UTF-8
  notDoubleByte,  // DISPLAY-1: a character with no double-byte form
};

struct TextResult {
  TextFit fit = TextFit::ok;
  char32_t codePoint = 0;
  std::int64_t characters = 0; // the text's length in the item's units, for messages
};

// The next character of UTF-8 `text` from `at` (advanced past it); false when
// the bytes there are no UTF-8.
bool nextCodePoint(std::string_view text, std::size_t &at, char32_t &c);

// A single-byte code page (or UTF-8), from characters to bytes.
class TextBytes {
public:
  // By the name CodePage::open takes; nothing when iconv does not know it.
  static std::optional<TextBytes> open(const std::string &name);

  bool ebcdic() const { return ebcdic_; }
  bool utf8() const { return utf8_; }
  // The byte of an ASCII character the page has (digits, signs, space, the
  // edit symbols); the space's byte for one it lacks.
  char byte(char ascii) const { return static_cast<char>(ascii_[static_cast<unsigned char>(ascii)]); }
  // Whether the page has a byte for the ASCII character `c` (below 0x80).
  bool has(unsigned char c) const { return asciiKnown_[c]; }
  char space() const { return static_cast<char>(space_); }

  // Writes `text` into the `length` bytes at `out`, blank-padded on the
  // right (on the left when `justified`); a text too long is cut at the
  // right (left when `justified`) when `truncate`, else refused.
  TextResult write(std::string_view text, char *out, std::int64_t length, bool justified,
                   bool truncate) const;

private:
  // The bytes of `text` into `out` (at most `limit`); the characters counted
  // on past the limit.
  TextResult bytes(std::string_view text, std::string &out) const;

  bool ebcdic_ = false;
  bool utf8_ = false;
  unsigned char space_ = ' ';
  std::array<unsigned char, 128> ascii_{};
  std::array<bool, 128> asciiKnown_{};
  std::unordered_map<char32_t, unsigned char> others_;
};

// NATIONAL: UTF-16BE code units into `length` bytes, padded with U+0020.
TextResult writeNational(std::string_view text, char *out, std::int64_t length, bool justified,
                         bool truncate);

// DISPLAY-1: the pairs of a double-byte EBCDIC page, without shift-out and
// shift-in, padded with the double-byte space X'4040'. One per thread.
class DbcsBytes {
public:
  // IBM930, IBM939, IBM1390 or IBM1399; nothing when iconv does not know it.
  static std::optional<DbcsBytes> open(const std::string &name);
  TextResult write(std::string_view text, char *out, std::int64_t length, bool justified,
                   bool truncate) const;

private:
  struct Close {
    void operator()(void *cd) const;
  };
  std::unique_ptr<void, Close> handle_;
};

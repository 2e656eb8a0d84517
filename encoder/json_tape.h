#pragma once
// One JSON text read into a flat tape of tokens: numbers stay the text they are written as,
// strings are unescaped in place. Made for one record a line, read as fast as it comes.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

enum class JsonType : std::uint8_t { object, array, string, number, boolean, null, key };

struct JsonToken {
  JsonType type = JsonType::null;
  // The token after this value: after its members or elements for an
  // object or array; for a key, the token after its value.
  std::uint32_t next = 0;
  // A string's or key's unescaped UTF-8 text, a number's or literal's text.
  std::string_view text;
};

constexpr std::uint32_t noToken = UINT32_MAX;

// Reads the escapes of a JSON string from `at` (after its opening quote) to
// its closing quote, writing the text to `out` (which may be `at` itself:
// text never grows). Returns the position after the closing quote and sets
// `stop` to the end of the text written; nullptr with `why` when the string
// is not valid.
const char *unescapeJson(const char *at, const char *end, char *out, char *&stop,
                         const char *&why);

class JsonTape {
public:
  // Reads the one JSON value of `text` (which must stay alive and is
  // changed: escapes are replaced in place). False when it is no JSON:
  // error() says why and column() where (counted from 1).
  bool parse(char *text, std::size_t size);
  // Makes a tape by hand (CSV rows): tokens are appended as they come.
  void clear() { count_ = 0; }
  std::uint32_t add(JsonType type, std::string_view text = {}) {
    JsonToken &token = push();
    token.type = type;
    token.next = 0;
    token.text = text;
    return count_ - 1;
  }
  // Closes the container or key at `index`: what follows comes after it.
  void close(std::uint32_t index) { tokens_[index].next = count_; }

  const JsonToken &operator[](std::uint32_t index) const { return tokens_[index]; }
  std::uint32_t size() const { return count_; }
  const std::string &error() const { return error_; }
  std::size_t column() const { return column_; }

private:
  // The next token, in room kept from line to line: no allocation once
  // the longest line has been read.
  JsonToken &push() {
    if (count_ == tokens_.size())
      tokens_.resize(tokens_.empty() ? 256 : 2 * tokens_.size());
    return tokens_[count_++];
  }
  bool value(int depth);
  bool string(JsonType type);
  bool fail(const char *why);
  void skipBlanks() {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\r' || *at_ == '\n'))
      ++at_;
  }

  std::vector<JsonToken> tokens_;
  std::uint32_t count_ = 0;
  char *begin_ = nullptr;
  char *at_ = nullptr;
  char *end_ = nullptr;
  std::string error_;
  std::size_t column_ = 0;
};

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

class JsonTape {
public:
  // Reads the one JSON value of `text` (which must stay alive and is
  // changed: escapes are replaced in place). False when it is no JSON:
  // error() says why and column() where (counted from 1).
  bool parse(char *text, std::size_t size);
  // Makes a tape by hand (CSV rows): tokens are appended as they come.
  void clear() { tokens_.clear(); }
  std::uint32_t add(JsonType type, std::string_view text = {}) {
    tokens_.push_back(JsonToken{type, 0, text});
    return static_cast<std::uint32_t>(tokens_.size() - 1);
  }
  // Closes the container or key at `index`: what follows comes after it.
  void close(std::uint32_t index) { tokens_[index].next = size(); }

  const JsonToken &operator[](std::uint32_t index) const { return tokens_[index]; }
  std::uint32_t size() const { return static_cast<std::uint32_t>(tokens_.size()); }
  const std::string &error() const { return error_; }
  std::size_t column() const { return column_; }

private:
  bool value(int depth);
  bool string(JsonType type);
  bool fail(const char *why);
  void skipBlanks() {
    while (at_ < end_ && (*at_ == ' ' || *at_ == '\t' || *at_ == '\r' || *at_ == '\n'))
      ++at_;
  }

  std::vector<JsonToken> tokens_;
  char *begin_ = nullptr;
  char *at_ = nullptr;
  char *end_ = nullptr;
  std::string error_;
  std::size_t column_ = 0;
};

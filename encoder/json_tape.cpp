// The JSON reader: recursive descent over one text, strings unescaped in place.
#include "encoder/json_tape.h"

#include <cstring>

namespace {

// Nesting deeper than any record's levels and tables.
constexpr int deepest = 256;

int hexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

char *putUtf8(char32_t c, char *out) {
  if (c < 0x80) {
    *out++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *out++ = static_cast<char>(0xC0 | (c >> 6));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (c >> 12));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (c >> 18));
    *out++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

} // namespace

bool JsonTape::parse(char *text, std::size_t size) {
  count_ = 0;
  error_.clear();
  begin_ = at_ = text;
  end_ = text + size;
  skipBlanks();
  if (!value(0))
    return false;
  skipBlanks();
  if (at_ != end_)
    return fail("more after the JSON value");
  return true;
}

bool JsonTape::fail(const char *why) {
  error_ = why;
  column_ = static_cast<std::size_t>(at_ - begin_) + 1;
  return false;
}

const char *unescapeJson(const char *at, const char *end, char *out, char *&stop,
                         const char *&why) {
  while (true) {
    // The plain run up to a quote, a backslash or a control character.
    const char *p = at;
    while (p < end && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20)
      ++p;
    if (out != at)
      std::memmove(out, at, static_cast<std::size_t>(p - at));
    out += p - at;
    at = p;
    if (at == end) {
      why = "a string without its closing quote";
      return nullptr;
    }
    if (*at == '"')
      break;
    if (*at != '\\') {
      why = "a control character inside a string (write it as \\u00XX)";
      return nullptr;
    }
    if (at + 1 == end) {
      why = "a string without its closing quote";
      return nullptr;
    }
    const char escape = at[1];
    at += 2;
    switch (escape) {
    case '"':
    case '\\':
    case '/':
      *out++ = escape;
      break;
    case 'b':
      *out++ = '\b';
      break;
    case 'f':
      *out++ = '\f';
      break;
    case 'n':
      *out++ = '\n';
      break;
    case 'r':
      *out++ = '\r';
      break;
    case 't':
      *out++ = '\t';
      break;
    case 'u': {
      const auto unit = [&](char32_t &u) {
        if (end - at < 4)
          return false;
        u = 0;
        for (int i = 0; i < 4; ++i) {
          const int h = hexValue(at[i]);
          if (h < 0)
            return false;
          u = u << 4 | static_cast<char32_t>(h);
        }
        at += 4;
        return true;
      };
      char32_t c = 0;
      if (!unit(c)) {
        why = "\\u needs four hexadecimal digits";
        return nullptr;
      }
      if (c >= 0xD800 && c < 0xDC00) {
        char32_t low = 0;
        if (end - at < 6 || at[0] != '\\' || at[1] != 'u' || (at += 2, !unit(low)) ||
            low < 0xDC00 || low >= 0xE000) {
          why = "a \\u high surrogate without its low surrogate";
          return nullptr;
        }
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      } else if (c >= 0xDC00 && c < 0xE000) {
        why = "a \\u low surrogate without its high surrogate";
        return nullptr;
      }
      // Never longer than the escape it replaces.
      out = putUtf8(c, out);
      break;
    }
    default:
      why = "an unknown escape in a string";
      return nullptr;
    }
  }
  stop = out;
  return at + 1;
}

bool JsonTape::string(JsonType type) {
  // At the opening quote.
  char *start = at_ + 1;
  char *stop = nullptr;
  const char *why = nullptr;
  const char *after = unescapeJson(start, end_, start, stop, why);
  if (after == nullptr) {
    // Where the reading stopped is not kept: the string's start is shown.
    return fail(why);
  }
  JsonToken &token = push();
  token.type = type;
  token.next = count_;
  token.text = std::string_view(start, static_cast<std::size_t>(stop - start));
  at_ = const_cast<char *>(after);
  return true;
}

bool JsonTape::value(int depth) {
  if (at_ == end_)
    return fail("a value is missing");
  if (depth > deepest)
    return fail("nested too deeply");
  const char c = *at_;
  if (c == '{' || c == '[') {
    const bool object = c == '{';
    const std::uint32_t index = count_;
    JsonToken &container = push();
    container.type = object ? JsonType::object : JsonType::array;
    ++at_;
    skipBlanks();
    const char close = object ? '}' : ']';
    if (at_ < end_ && *at_ == close) {
      ++at_;
      tokens_[index].next = count_;
      return true;
    }
    while (true) {
      std::uint32_t key = noToken;
      if (object) {
        if (at_ == end_ || *at_ != '"')
          return fail("a key (a string) is expected");
        key = count_;
        if (!string(JsonType::key))
          return false;
        skipBlanks();
        if (at_ == end_ || *at_ != ':')
          return fail("':' is expected after a key");
        ++at_;
        skipBlanks();
      }
      if (!value(depth + 1))
        return false;
      if (key != noToken)
        tokens_[key].next = count_;
      skipBlanks();
      if (at_ < end_ && *at_ == ',') {
        ++at_;
        skipBlanks();
        continue;
      }
      if (at_ < end_ && *at_ == close) {
        ++at_;
        break;
      }
      return fail(object ? "',' or '}' is expected" : "',' or ']' is expected");
    }
    tokens_[index].next = count_;
    return true;
  }
  if (c == '"')
    return string(JsonType::string);
  JsonType type = JsonType::number;
  char *p = at_;
  const bool letters = c == '-' ? p + 1 < end_ && p[1] >= 'a' && p[1] <= 'z' : c >= 'a' && c <= 'z';
  if (!letters && (c == '-' || (c >= '0' && c <= '9'))) {
    while (p < end_ && ((*p >= '0' && *p <= '9') || *p == '.' || *p == 'e' || *p == 'E' ||
                        *p == '+' || *p == '-'))
      ++p;
  } else {
    p += c == '-' ? 1 : 0;
    while (p < end_ && *p >= 'a' && *p <= 'z')
      ++p;
    const std::string_view word(at_, static_cast<std::size_t>(p - at_));
    if (word == "true" || word == "false")
      type = JsonType::boolean;
    else if (word == "null")
      type = JsonType::null;
    // The decoder's words for floating-point values JSON has no number for:
    // read as numbers that only _raw bytes can give back.
    else if (word != "inf" && word != "-inf" && word != "nan" && word != "-nan")
      return fail("not a JSON value");
  }
  JsonToken &token = push();
  token.type = type;
  token.next = count_;
  token.text = std::string_view(at_, static_cast<std::size_t>(p - at_));
  at_ = p;
  return true;
}

#pragma once
// UTF-8 decoding/encoding, Latin-1 fallback and XML control-character test.
#include <cstddef>
#include <string>

// UTF-8 coding shared by the model texts and the XML helpers.

// Decodes the UTF-8 sequence at `pos` of the `size` bytes at `bytes` into
// `code`; returns its length, or 0 when the bytes there are not a valid
// shortest-form sequence of a scalar value (`code` is then meaningless).
inline std::size_t vexDecodeUtf8(const unsigned char *bytes, std::size_t size, std::size_t pos,
                                 char32_t &code) {
  unsigned char lead = bytes[pos];
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    code = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (pos + length > size)
    return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((bytes[pos + i] & 0xC0) != 0x80)
      return 0;
    code = (code << 6) | (bytes[pos + i] & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    return 0;
  return length;
}

// The character at `pos` of `text`, read as UTF-8 where the bytes form it and
// as a single Latin-1 character where they do not; advances `pos` past it.
inline char32_t vexNextChar(const std::string &text, std::size_t &pos) {
  const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
  char32_t code = 0;
  std::size_t used = vexDecodeUtf8(bytes, text.size(), pos, code);
  if (used == 0)
    code = bytes[pos], used = 1;
  pos += used;
  return code;
}

// Control characters that an XML 1.0 document cannot carry; they are written
// as "\hXX" instead.
inline bool vexIsXmlControl(char32_t code) {
  return code < 0x20 && code != '\t' && code != '\n' && code != '\r';
}

// Appends the UTF-8 encoding of the scalar value `code` to `out`.
inline void vexAppendUtf8(std::string &out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Appends the UTF-16 form of the scalar value `code` (a surrogate pair above
// the basic plane) to `out`.
inline void vexAppendUtf16(std::u16string &out, char32_t code) {
  if (code >= 0x10000) {
    code -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code >> 10));
    out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
  } else {
    out += static_cast<char16_t>(code);
  }
}

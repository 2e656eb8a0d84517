// Characters to code page bytes: the decoder's tables read backwards, UTF-16BE, double-byte pairs.
#include "encoder/text_bytes.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "decoder/code_page.h"

bool nextCodePoint(std::string_view text, std::size_t &at, char32_t &c) {
  const auto b0 = static_cast<unsigned char>(text[at]);
  if (b0 < 0x80) {
    c = b0;
    ++at;
    return true;
  }
  const std::size_t n = b0 >= 0xC2 && b0 < 0xE0 ? 2 : b0 >= 0xE0 && b0 < 0xF0 ? 3 : b0 >= 0xF0 && b0 < 0xF5 ? 4 : 0;
  if (n == 0 || at + n > text.size())
    return false;
  char32_t value = b0 & (0x7F >> n);
  for (std::size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(text[at + i]);
    if ((b & 0xC0) != 0x80)
      return false;
    value = value << 6 | (b & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are no characters.
  const char32_t least = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
  if (value < least || value > 0x10FFFF || (value >= 0xD800 && value < 0xE000))
    return false;
  c = value;
  at += n;
  return true;
}

std::optional<TextBytes> TextBytes::open(const std::string &name) {
  const std::optional<CodePage> page = CodePage::open(name);
  if (!page)
    return std::nullopt;
  TextBytes bytes;
  bytes.ebcdic_ = page->ebcdic();
  bytes.utf8_ = page->utf8();
  bytes.space_ = page->space();
  if (bytes.utf8_) {
    for (int c = 0; c < 128; ++c) {
      bytes.ascii_[static_cast<std::size_t>(c)] = static_cast<unsigned char>(c);
      bytes.asciiKnown_[static_cast<std::size_t>(c)] = true;
    }
    return bytes;
  }
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    std::string text;
    page->appendText(std::string_view(&byte, 1), text);
    std::size_t at = 0;
    char32_t c = 0;
    // A byte the page leaves undefined reads as U+FFFD: nothing to write it from.
    if (text.empty() || !nextCodePoint(text, at, c) || at != text.size() || c == 0xFFFD)
      continue;
    if (c < 128) {
      if (!bytes.asciiKnown_[c]) {
        bytes.ascii_[c] = static_cast<unsigned char>(b);
        bytes.asciiKnown_[c] = true;
      }
    } else {
      bytes.others_.emplace(c, static_cast<unsigned char>(b));
    }
  }
  for (std::size_t c = 0; c < 128; ++c)
    if (!bytes.asciiKnown_[c])
      bytes.ascii_[c] = bytes.space_;
  return bytes;
}

TextResult TextBytes::bytes(std::string_view text, std::string &out) const {
  TextResult result;
  for (std::size_t at = 0; at < text.size();) {
    const auto b = static_cast<unsigned char>(text[at]);
    if (b < 0x80) {
      if (!asciiKnown_[b])
        return {TextFit::unmappable, b, 0};
      out += static_cast<char>(ascii_[b]);
      ++at;
      continue;
    }
    const std::size_t start = at;
    char32_t c = 0;
    if (!nextCodePoint(text, at, c))
      return {TextFit::invalidUtf8, 0, 0};
    if (utf8_) {
      out.append(text.data() + start, at - start);
      continue;
    }
    const auto found = others_.find(c);
    if (found == others_.end())
      return {TextFit::unmappable, c, 0};
    out += static_cast<char>(found->second);
  }
  return result;
}

namespace {

// The number of characters of UTF-8 `bytes`.
std::int64_t characters(std::string_view bytes) {
  return std::count_if(bytes.begin(), bytes.end(),
                       [](char b) { return (static_cast<unsigned char>(b) & 0xC0) != 0x80; });
}

// Puts `bytes` into `length` bytes at `out` as JUSTIFIED or not says, padding
// with `pad` (of `unit` bytes); a longer text is cut when `truncate`, at a
// character start when `utf8`.
TextResult place(std::string_view bytes, char *out, std::int64_t length, bool justified,
                 bool truncate, std::string_view pad, bool utf8, std::int64_t count) {
  const auto size = static_cast<std::int64_t>(bytes.size());
  if (size > length) {
    if (!truncate)
      return {TextFit::tooLong, 0, count};
    std::size_t from = justified ? static_cast<std::size_t>(size - length) : 0;
    std::size_t to = from + static_cast<std::size_t>(length);
    if (utf8) {
      // A character cut in two is left out whole; blanks take its place.
      while (justified && from < bytes.size() && (static_cast<unsigned char>(bytes[from]) & 0xC0) == 0x80)
        ++from;
      while (!justified && to > 0 && to < bytes.size() &&
             (static_cast<unsigned char>(bytes[to]) & 0xC0) == 0x80)
        --to;
    }
    bytes = bytes.substr(from, to - from);
  }
  const auto used = static_cast<std::int64_t>(bytes.size());
  char *text = justified ? out + (length - used) : out;
  std::memcpy(text, bytes.data(), bytes.size());
  char *padding = justified ? out : out + used;
  for (std::int64_t i = 0; i + static_cast<std::int64_t>(pad.size()) <= length - used;
       i += static_cast<std::int64_t>(pad.size()))
    std::memcpy(padding + i, pad.data(), pad.size());
  return {TextFit::ok, 0, count};
}

} // namespace

TextResult TextBytes::write(std::string_view text, char *out, std::int64_t length, bool justified,
                            bool truncate) const {
  if (!justified && !utf8_) {
    // The usual case, straight into the record: one byte a character.
    std::int64_t n = 0;
    std::size_t at = 0;
    while (at < text.size()) {
      const auto b = static_cast<unsigned char>(text[at]);
      unsigned char byte = 0;
      if (b < 0x80) {
        if (!asciiKnown_[b])
          return {TextFit::unmappable, b, 0};
        byte = ascii_[b];
        ++at;
      } else {
        char32_t c = 0;
        if (!nextCodePoint(text, at, c))
          return {TextFit::invalidUtf8, 0, 0};
        const auto found = others_.find(c);
        if (found == others_.end())
          return {TextFit::unmappable, c, 0};
        byte = found->second;
      }
      if (n == length) {
        if (truncate)
          break;
        std::string rest;
        const TextResult all = bytes(text, rest);
        return {all.fit == TextFit::ok ? TextFit::tooLong : all.fit, all.codePoint,
                static_cast<std::int64_t>(rest.size())};
      }
      out[n++] = static_cast<char>(byte);
    }
    std::memset(out + n, space_, static_cast<std::size_t>(length - n));
    return {};
  }
  std::string encoded;
  const TextResult result = bytes(text, encoded);
  if (result.fit != TextFit::ok)
    return result;
  const char pad = static_cast<char>(space_);
  return place(encoded, out, length, justified, truncate, std::string_view(&pad, 1), utf8_,
               utf8_ ? characters(encoded) : static_cast<std::int64_t>(encoded.size()));
}

TextResult writeNational(std::string_view text, char *out, std::int64_t length, bool justified,
                         bool truncate) {
  std::string units;
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = 0;
    if (!nextCodePoint(text, at, c))
      return {TextFit::invalidUtf8, 0, 0};
    const auto unit = [&](char32_t u) {
      units += static_cast<char>(u >> 8);
      units += static_cast<char>(u & 0xFF);
    };
    if (c >= 0x10000) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return place(units, out, length, justified, truncate, std::string_view("\0 ", 2), false,
               static_cast<std::int64_t>(units.size() / 2));
}

void DbcsBytes::Close::operator()(void *cd) const { iconv_close(static_cast<iconv_t>(cd)); }

std::optional<DbcsBytes> DbcsBytes::open(const std::string &name) {
  iconv_t cd = iconv_open(name.c_str(), "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1))
    return std::nullopt;
  DbcsBytes bytes;
  bytes.handle_.reset(cd);
  return bytes;
}

TextResult DbcsBytes::write(std::string_view text, char *out, std::int64_t length, bool justified,
                            bool truncate) const {
  // Character by character: iconv wraps double-byte text in shift-out and
  // shift-in, and a character that comes out without them has no pair.
  std::string pairs;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    char32_t c = 0;
    if (!nextCodePoint(text, at, c))
      return {TextFit::invalidUtf8, 0, 0};
    iconv(static_cast<iconv_t>(handle_.get()), nullptr, nullptr, nullptr, nullptr);
    char *input = const_cast<char *>(text.data() + start);
    std::size_t inLeft = at - start;
    char buffer[16];
    char *output = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(static_cast<iconv_t>(handle_.get()), &input, &inLeft, &output, &outLeft) ==
        static_cast<std::size_t>(-1))
      return {TextFit::unmappable, c, 0};
    // Back to the single-byte state: the shift-in comes out here.
    iconv(static_cast<iconv_t>(handle_.get()), nullptr, nullptr, &output, &outLeft);
    const std::string_view made(buffer, static_cast<std::size_t>(output - buffer));
    if (made.size() != 4 || made[0] != '\x0E' || made[3] != '\x0F')
      return {TextFit::notDoubleByte, c, 0};
    pairs += made.substr(1, 2);
  }
  return place(pairs, out, length, justified, truncate, std::string_view("\x40\x40", 2), false,
               static_cast<std::int64_t>(pairs.size() / 2));
}

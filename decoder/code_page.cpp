// Code page tables made with iconv once per run, and UTF-8/UTF-16 text decoding.
#include "decoder/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <bit>
#include <cstring>
#include <memory>

namespace {

constexpr char replacement[] = "\xEF\xBF\xBD";

void appendCodePoint(std::uint32_t c, std::string &out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

struct IconvClose {
  void operator()(void *cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvClose>;

IconvHandle openIconv(const char *to, const char *from) {
  iconv_t cd = iconv_open(to, from);
  return IconvHandle(cd == reinterpret_cast<iconv_t>(-1) ? nullptr : cd);
}

// The bytes iconv makes of `in`; empty when it cannot convert it.
std::string convert(void *cd, const char *in, std::size_t length) {
  iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
  char buffer[16];
  char *input = const_cast<char *>(in);
  char *output = buffer;
  std::size_t inLeft = length;
  std::size_t outLeft = sizeof buffer;
  if (iconv(static_cast<iconv_t>(cd), &input, &inLeft, &output, &outLeft) ==
          static_cast<size_t>(-1) ||
      inLeft != 0)
    return "";
  return std::string(buffer, output);
}

// Length of the valid UTF-8 sequence at the start of `s`, 0 when invalid.
std::size_t utf8Sequence(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  std::size_t n = b0 < 0x80                 ? 1
                  : b0 >= 0xC2 && b0 < 0xE0 ? 2
                  : b0 >= 0xE0 && b0 < 0xF0 ? 3
                  : b0 >= 0xF0 && b0 < 0xF5 ? 4
                                            : 0;
  if (n == 0 || n > s.size())
    return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
      return 0;
  const auto b1 = static_cast<unsigned char>(s.size() > 1 ? s[1] : 0);
  if ((b0 == 0xE0 && b1 < 0xA0) || (b0 == 0xED && b1 >= 0xA0) || (b0 == 0xF0 && b1 < 0x90) ||
      (b0 == 0xF4 && b1 >= 0x90))
    return 0;
  return n;
}

// A code page name reduced to what tells pages apart: upper case without
// separators; for a numbered page only its number without leading zeros.
std::string pageKey(std::string_view name) {
  std::string key;
  for (const char c : name)
    if (c != '-' && c != '_' && c != ' ')
      key.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  for (const std::string_view prefix : {"IBM", "CCSID", "CP"})
    if (key.size() > prefix.size() && key.compare(0, prefix.size(), prefix) == 0 &&
        std::isdigit(static_cast<unsigned char>(key[prefix.size()]))) {
      key.erase(0, prefix.size());
      break;
    }
  if (!key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    key.erase(0, std::min(key.find_first_not_of('0'), key.size() - 1));
    return "#" + key;
  }
  return key == "USASCII" ? "ASCII" : key;
}

constexpr const char *singleBytePages[] = {
    "IBM037",  "IBM1047", "IBM273",  "IBM274",  "IBM275",  "IBM277",  "IBM278",   "IBM280",
    "IBM281",  "IBM284",  "IBM285",  "IBM290",  "IBM297",  "IBM420",  "IBM423",   "IBM424",
    "IBM500",  "IBM803",  "IBM838",  "IBM870",  "IBM871",  "IBM875",  "IBM880",   "IBM905",
    "IBM918",  "IBM1025", "IBM1026", "IBM1097", "IBM1112", "IBM1122", "IBM1123",  "IBM1130",
    "IBM1132", "IBM1137", "IBM1140", "IBM1141", "IBM1142", "IBM1143", "IBM1144",  "IBM1145",
    "IBM1146", "IBM1147", "IBM1148", "IBM1149", "IBM1153", "IBM1154", "IBM1155",  "IBM1156",
    "IBM1157", "IBM1158", "IBM1160", "IBM1164", "IBM1166", "IBM4971", "IBM12712", "IBM16804",
    "ASCII",   "UTF-8"};

constexpr const char *doubleBytePages[] = {"IBM930",  "IBM933",  "IBM935",  "IBM937",  "IBM939",
                                           "IBM1364", "IBM1371", "IBM1388", "IBM1390", "IBM1399"};

} // namespace

std::span<const char *const> singleByteCodePages() { return singleBytePages; }

std::span<const char *const> doubleByteCodePages() { return doubleBytePages; }

std::vector<std::string> availableCodePages(std::span<const char *const> names, bool singleByte) {
  std::vector<std::string> available;
  for (const char *name : names) {
    if (!singleByte) {
      if (DbcsPage::open(name))
        available.emplace_back(name);
      continue;
    }
    const std::optional<CodePage> page = CodePage::open(name);
    const bool ascii = std::string_view(name) == "ASCII" || std::string_view(name) == "UTF-8";
    if (page && (ascii || page->ebcdic()))
      available.emplace_back(name);
  }
  return available;
}

std::string knownCodePage(std::string_view given, std::span<const char *const> known) {
  const std::string key = pageKey(given);
  for (const char *name : known)
    if (!key.empty() && pageKey(name) == key)
      return name;
  return "";
}

std::optional<CodePage> CodePage::open(const std::string &name) {
  CodePage page;
  if (name == "UTF-8" || name == "UTF8") {
    page.utf8_ = true;
    for (int b = 0; b < 0x80; ++b)
      page.ascii_[b] = static_cast<char>(b);
    return page;
  }
  const IconvHandle toUtf8 = openIconv("UTF-8", name.c_str());
  if (!toUtf8)
    return std::nullopt;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    std::string text = convert(toUtf8.get(), &byte, 1);
    if (text.empty() || text.size() > 4)
      text = replacement;
    std::memcpy(page.text_[b].data(), text.data(), text.size());
    page.textLength_[b] = static_cast<std::uint8_t>(text.size());
    if (text.size() == 1)
      page.ascii_[b] = text[0];
    if (text == " ")
      page.space_ = static_cast<unsigned char>(b);
  }
  page.ebcdic_ = page.ascii_[0xF0] == '0';
  page.ebcdicDigits_ = true;
  for (int b = 0; b < 256; ++b) {
    const bool digit = page.ascii_[b] >= '0' && page.ascii_[b] <= '9';
    if (digit != (b >= 0xF0 && b <= 0xF9) || (digit && page.ascii_[b] != '0' + (b - 0xF0)))
      page.ebcdicDigits_ = false;
  }
  for (int b = 0; b < 256; ++b) {
    // The escapes JSON strings need, spelled as the decoder always wrote them.
    const std::string_view text(page.text_[b].data(), page.textLength_[b]);
    std::string json(text);
    if (text.size() == 1) {
      const auto c = static_cast<unsigned char>(text[0]);
      if (c == '"' || c == '\\') {
        json = std::string("\\") + text[0];
      } else if (c == '\n') {
        json = "\\n";
      } else if (c == '\r') {
        json = "\\r";
      } else if (c == '\t') {
        json = "\\t";
      } else if (c < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        json = escape;
      }
      page.csvQuoted_[b] = c == ',' || c == '"' || c == '\r' || c == '\n' ? 1 : 0;
    }
    std::memcpy(page.json_[b].data(), json.data(), json.size());
    page.jsonLength_[b] = static_cast<std::uint8_t>(json.size());
    if (json.size() == 1 && json[0] != '\0') {
      page.jsonPlain_[b] = json[0];
      if (page.csvQuoted_[b] == 0)
        page.csvPlain_[b] = json[0];
    }
  }
  if (std::endian::native == std::endian::little && page.space_ != 0 &&
      page.jsonPlain_[page.space_] == ' ' && page.csvPlain_[page.space_] == ' ')
    page.blankWord_ = 0x0101010101010101ULL * page.space_;
  return page;
}

namespace {

// The ASCII text of the 8 bytes at `from` by `plain` (0 for a byte that is
// not taken as it is): eight lookups that do not wait on one another, where
// a byte at a time waits on the length of the text before it. False when
// one of them is 0.
inline bool plainWord(const std::array<char, 256> &plain, const char *from, std::uint64_t &word) {
  const auto at = [&](int i) {
    return static_cast<std::uint64_t>(
               static_cast<unsigned char>(plain[static_cast<unsigned char>(from[i])]))
           << (8 * i);
  };
  word = at(0) | at(1) | at(2) | at(3) | at(4) | at(5) | at(6) | at(7);
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  return ((word - ones) & ~word & (ones << 7)) == 0;
}

// The length of `bytes` without its trailing blanks (`blanks`: the space
// byte in each byte of a word; a little-endian machine), a word at a time
// from the end: fixed-width text fields are mostly padding.
inline std::size_t beforeBlanks(std::string_view bytes, std::uint64_t blanks) {
  std::size_t n = bytes.size();
  while (n >= 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + n - 8, 8);
    // The last byte is the top one: the zero bytes above the top nonzero one are blanks.
    const std::uint64_t other = word ^ blanks;
    if (other != 0)
      return n - static_cast<std::size_t>(__builtin_clzll(other) / 8);
    n -= 8;
  }
  const auto blank = static_cast<char>(blanks);
  while (n > 0 && bytes[n - 1] == blank)
    --n;
  return n;
}

// `count` blanks at `out`, in 16-byte stores (the room goes past the text).
inline char *writeBlanks(std::size_t count, char *out) {
  static constexpr char sixteen[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                                       ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  for (std::size_t i = 0; i < count; i += 16)
    std::memcpy(out + i, sixteen, 16);
  return out + count;
}

} // namespace

char *CodePage::writeJson(std::string_view bytes, bool trim, char *out) const {
  char *const first = out;
  *out++ = '"';
  const char *from = bytes.data();
  const char *const end = from + bytes.size();
  // Eight bytes at once while none needs an escape or more than one byte.
  // The word costs about as many instructions as 8 bytes one at a time, but
  // its lookups do not wait on one another. After a byte that is not plain
  // (rare) and for the short tail, one byte at a time: checking 8 bytes again
  // there measured more instructions.
  // The trailing blanks are written at the end in 16-byte stores; a word
  // may read into them, its blanks written as any byte.
  const char *const content = blankWord_ != 0 && bytes.size() >= 8
                                  ? from + beforeBlanks(bytes, blankWord_)
                                  : end;
  std::uint64_t word;
  while (from < content && end - from >= 8 && plainWord(jsonPlain_, from, word)) {
    std::memcpy(out, &word, 8);
    out += 8;
    from += 8;
  }
  // Fixed 8-byte copies, each advancing by its text's length: no branch per byte.
  for (; from < content; ++from) {
    const auto b = static_cast<unsigned char>(*from);
    std::memcpy(out, json_[b].data(), 8);
    out += jsonLength_[b];
  }
  if (!trim)
    out = writeBlanks(static_cast<std::size_t>(end - from), out);
  // No escape and no UTF-8 sequence ends in a blank: the written text trims as the text would.
  else
    while (out > first + 1 && out[-1] == ' ')
      --out;
  *out++ = '"';
  return out;
}

char *CodePage::writeCsv(std::string_view bytes, bool trim, char *out) const {
  char *const first = out;
  unsigned quoted = 0;
  const char *from = bytes.data();
  const char *const last = from + bytes.size();
  // As writeJson: the trailing blanks last, in 16-byte stores.
  const char *const content = blankWord_ != 0 && bytes.size() >= 8
                                  ? from + beforeBlanks(bytes, blankWord_)
                                  : last;
  std::uint64_t word;
  while (from < content && last - from >= 8 && plainWord(csvPlain_, from, word)) {
    std::memcpy(out, &word, 8);
    out += 8;
    from += 8;
  }
  for (; from < content; ++from) {
    const auto b = static_cast<unsigned char>(*from);
    std::memcpy(out, text_[b].data(), 4);
    out += textLength_[b];
    quoted |= csvQuoted_[b];
  }
  if (!trim)
    out = writeBlanks(static_cast<std::size_t>(last - from), out);
  else
    while (out > first && out[-1] == ' ')
      --out;
  if (quoted == 0)
    return out;
  // Rare: quoted, its quotes doubled, written again from the end backwards.
  const auto quotes = static_cast<std::size_t>(std::count(first, out, '"'));
  char *const end = out + quotes + 2;
  char *to = end;
  *--to = '"';
  for (const char *from = out; from > first;) {
    const char c = *--from;
    *--to = c;
    if (c == '"')
      *--to = '"';
  }
  *--to = '"';
  return end;
}

bool CodePage::appendJson(std::string_view bytes, bool trim, std::string &out) const {
  if (utf8_)
    return false;
  const std::size_t start = out.size();
  out.resize(start + 8 * bytes.size() + 8);
  out.resize(static_cast<std::size_t>(writeJson(bytes, trim, out.data() + start) - out.data()));
  return true;
}

bool CodePage::appendCsv(std::string_view bytes, bool trim, std::string &out) const {
  if (utf8_)
    return false;
  const std::size_t start = out.size();
  out.resize(start + 8 * bytes.size() + 8);
  out.resize(static_cast<std::size_t>(writeCsv(bytes, trim, out.data() + start) - out.data()));
  return true;
}

void CodePage::appendText(std::string_view bytes, std::string &out) const {
  if (!utf8_) {
    // Room for the longest text first: no append per byte.
    const std::size_t start = out.size();
    out.resize(start + 4 * bytes.size() + 8);
    out.resize(static_cast<std::size_t>(writeText(bytes, out.data() + start) - out.data()));
    return;
  }
  while (!bytes.empty()) {
    const std::size_t n = utf8Sequence(bytes);
    if (n == 0) {
      out += replacement;
      bytes.remove_prefix(1);
    } else {
      out.append(bytes.data(), n);
      bytes.remove_prefix(n);
    }
  }
}

void appendUtf16(std::string_view bytes, std::string &out) {
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t c =
        static_cast<unsigned char>(bytes[i]) << 8 | static_cast<unsigned char>(bytes[i + 1]);
    if (c >= 0xD800 && c < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t low =
          static_cast<unsigned char>(bytes[i + 2]) << 8 | static_cast<unsigned char>(bytes[i + 3]);
      if (low >= 0xDC00 && low < 0xE000) {
        appendCodePoint(0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), out);
        i += 2;
        continue;
      }
    }
    if (c >= 0xD800 && c < 0xE000)
      out += replacement;
    else
      appendCodePoint(c, out);
  }
}

void DbcsPage::Close::operator()(void *cd) const { iconv_close(static_cast<iconv_t>(cd)); }

std::optional<DbcsPage> DbcsPage::open(const std::string &name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1))
    return std::nullopt;
  DbcsPage page;
  page.handle_.reset(cd);
  return page;
}

void DbcsPage::appendText(std::string_view bytes, std::string &out) const {
  // The mixed-byte code pages iconv knows read double-byte text between
  // shift-out (0x0E) and shift-in (0x0F): each pair is wrapped, so a bad pair
  // costs one replacement character and not the rest of the field.
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    if (i + 1 == bytes.size()) {
      out += replacement;
      break;
    }
    const char pair[4] = {'\x0E', bytes[i], bytes[i + 1], '\x0F'};
    const std::string text = convert(handle_.get(), pair, sizeof pair);
    out += text.empty() ? std::string(replacement) : text;
  }
}

void DbcsPage::appendMixedText(std::string_view bytes, const CodePage &page,
                               std::string &out) const {
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::size_t shiftOut = std::min(bytes.find('\x0E', at), bytes.size());
    page.appendText(bytes.substr(at, shiftOut - at), out);
    if (shiftOut == bytes.size())
      break;
    // A field may end inside its double-byte text: the pairs up to its end.
    const std::size_t shiftIn = std::min(bytes.find('\x0F', shiftOut + 1), bytes.size());
    appendText(bytes.substr(shiftOut + 1, shiftIn - shiftOut - 1), out);
    at = shiftIn + 1;
  }
}

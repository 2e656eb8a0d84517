#pragma once
// A single-byte code page (or UTF-8) as a 256-entry UTF-8 table built with iconv.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CodePage {
public:
  // The code page by one of the names -codepage accepts (IBM037, IBM1047,
  // ASCII, UTF-8, ...); nothing when iconv does not know it.
  static std::optional<CodePage> open(const std::string &name);

  bool ebcdic() const { return ebcdic_; }
  bool utf8() const { return utf8_; }
  // The digits are bytes F0 to F9 and no other byte is a digit: zoned
  // decimal is read by its nibbles.
  bool ebcdicDigits() const { return ebcdicDigits_; }
  // The ASCII character byte `b` stands for; 0 when it stands for none.
  char ascii(unsigned char b) const { return ascii_[b]; }
  // Appends the UTF-8 text of `bytes`; a byte or sequence the code page does
  // not define becomes U+FFFD, so the output is always valid UTF-8.
  void appendText(std::string_view bytes, std::string &out) const;
  // The same text written at `out`, which has room for 4 bytes a byte plus
  // 8 (not UTF-8 pages: ask utf8() first); returns its end. Inline: the
  // values of a record (decoder/record_values.h) are written through it.
  char *writeText(std::string_view bytes, char *out) const {
    const char *from = bytes.data();
    const char *const end = from + bytes.size();
    // Eight bytes at a time while each is one ASCII character (ascii_ is 0
    // for the others, and for NUL): eight lookups that do not wait on one
    // another and one store, where a byte at a time waits on the length of
    // the text before it.
    while (from < end) {
      const auto n = static_cast<std::size_t>(std::min<std::ptrdiff_t>(end - from, 8));
      const auto at = [&](std::size_t i) {
        return static_cast<std::uint64_t>(
                   static_cast<unsigned char>(ascii_[static_cast<unsigned char>(from[i])]))
               << (8 * i);
      };
      std::uint64_t word = 0;
      if (n == 8) // unrolled
        word = at(0) | at(1) | at(2) | at(3) | at(4) | at(5) | at(6) | at(7);
      else
        for (std::size_t i = 0; i < n; ++i)
          word |= at(i);
      const std::uint64_t filled = n == 8 ? word : word | ~std::uint64_t{0} << (8 * n);
      constexpr std::uint64_t ones = 0x0101010101010101ULL;
      if (((filled - ones) & ~filled & (ones << 7)) == 0) {
        std::memcpy(out, &word, 8);
        out += n;
      } else {
        // Fixed 4-byte copies, each advancing by its text's length.
        for (std::size_t i = 0; i < n; ++i) {
          const auto b = static_cast<unsigned char>(from[i]);
          std::memcpy(out, text_[b].data(), 4);
          out += textLength_[b];
        }
      }
      from += n;
    }
    return out;
  }
  // The same text as a JSON string, quotes included, written in one pass;
  // `trim` drops trailing blanks. False (nothing appended) for UTF-8, whose
  // text is checked as it is read: appendText then.
  bool appendJson(std::string_view bytes, bool trim, std::string &out) const;
  // The same text as a CSV field: quoted, quotes doubled, when it holds a
  // comma, quote, CR or LF. False as for appendJson.
  bool appendCsv(std::string_view bytes, bool trim, std::string &out) const;
  // The same, written at `out`, which has room for 8 bytes a byte plus 8
  // (not UTF-8 pages: ask utf8() first); returns the end of what was written.
  char *writeJson(std::string_view bytes, bool trim, char *out) const;
  char *writeCsv(std::string_view bytes, bool trim, char *out) const;
  // The code page's byte for an ASCII character; for padding short L lines.
  unsigned char space() const { return space_; }

private:
  bool ebcdic_ = false;
  bool utf8_ = false;
  bool ebcdicDigits_ = false;
  unsigned char space_ = ' ';
  std::array<char, 256> ascii_{};
  std::array<std::array<char, 4>, 256> text_{};
  std::array<std::uint8_t, 256> textLength_{};
  // Each byte's text escaped for a JSON string ("\\u001f" at most).
  std::array<std::array<char, 8>, 256> json_{};
  std::array<std::uint8_t, 256> jsonLength_{};
  std::array<std::uint8_t, 256> csvQuoted_{}; // 1: its text makes a CSV field quoted
  // The byte's one ASCII character when a JSON string (jsonPlain_) or an
  // unquoted CSV field (csvPlain_) takes it as it is; 0 otherwise.
  std::array<char, 256> jsonPlain_{};
  std::array<char, 256> csvPlain_{};
  // The space byte in each byte of a word, when its text is " " in JSON
  // and CSV alike (on a little-endian machine); 0 otherwise.
  std::uint64_t blankWord_ = 0;
};

// The code pages the decoder reads, by the names it lists (-codepage).
inline constexpr const char *decoderCodePages[] = {"IBM037", "IBM1047", "IBM273", "IBM277",
                                                   "IBM280", "IBM284",  "IBM285", "IBM297",
                                                   "IBM500", "IBM1140", "ASCII",  "UTF-8"};
// The double-byte code pages of DISPLAY-1 items (-dbcs).
inline constexpr const char *decoderDbcsPages[] = {"IBM930", "IBM939", "IBM1390", "IBM1399"};

// The entry of `known` that `given` names by one of its usual spellings, or
// empty: case, "-", "_" and blanks do not matter, an IBM page may be named
// by its number alone or with IBM, CP or CCSID before it ("ibm037",
// "IBM-037", "cp037", "037" and "37" are IBM037), US-ASCII is ASCII and
// UTF8 is UTF-8.
std::string knownCodePage(std::string_view given, std::span<const char *const> known);

// The names -codepage takes: the EBCDIC single-byte code pages this
// program knows by number (IBM037 ... IBM1148, the euro pages 1140-1149,
// 870, 875, 1025, ...), then ASCII and UTF-8. Whether iconv converts one is
// asked when it is opened.
std::span<const char *const> singleByteCodePages();
// The names -dbcs takes: the double-byte EBCDIC code pages (IBM930, 933,
// 935, 937, 939, 1364, 1371, 1388, 1390, 1399).
std::span<const char *const> doubleByteCodePages();
// Those of `names` that iconv converts here, and for single-byte pages whose
// digits are EBCDIC's (F0-F9): the list -codepage help and -dbcs help print.
std::vector<std::string> availableCodePages(std::span<const char *const> names, bool singleByte);

// Appends the UTF-8 text of UTF-16BE `bytes` (USAGE NATIONAL); unpaired
// surrogates become U+FFFD.
void appendUtf16(std::string_view bytes, std::string &out);

// A double-byte EBCDIC code page (DISPLAY-1 data: character pairs without
// shift-out/shift-in) converted with iconv. One per thread: iconv state.
class DbcsPage {
public:
  // One of doubleByteCodePages(); nothing when iconv does not know it.
  static std::optional<DbcsPage> open(const std::string &name);
  // Appends the UTF-8 text of `bytes`; a pair the code page does not define
  // becomes U+FFFD, as does an odd last byte.
  void appendText(std::string_view bytes, std::string &out) const;
  // Appends the UTF-8 text of mixed `bytes` (PIC X with -dbcs): single
  // bytes by `page`, pairs between shift-out (0x0E) and shift-in (0x0F) by
  // this page; the shift bytes themselves give no text.
  void appendMixedText(std::string_view bytes, const CodePage &page, std::string &out) const;

private:
  struct Close {
    void operator()(void *cd) const;
  };
  std::unique_ptr<void, Close> handle_;
};

// Known characters of every code page -codepage accepts, and the UTF-8 and UTF-16 text paths.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/code_page.h"

namespace {

struct Known {
  const char *page;
  unsigned char byte;
  const char *text;
};

TEST(CodePage, KnownCharactersOfEverySupportedPage) {
  const std::vector<Known> cases = {
      {"IBM037", 0xC1, "A"},  {"IBM037", 0x4A, "¢"},           {"IBM037", 0xBA, "["},
      {"IBM037", 0x5A, "!"},  {"IBM037", 0x40, " "},           {"IBM037", 0xF0, "0"},
      {"IBM1047", 0xAD, "["}, {"IBM1047", 0xBD, "]"},          {"IBM1047", 0x5F, "^"},
      {"IBM273", 0x4A, "Ä"},  {"IBM273", 0xC0, "ä"},           {"IBM273", 0x7C, "§"},
      {"IBM277", 0x7B, "Æ"},  {"IBM277", 0x7C, "Ø"},           {"IBM277", 0x5B, "Å"},
      {"IBM280", 0x7B, "£"},  {"IBM280", 0x5A, "é"},           {"IBM284", 0x7B, "Ñ"},
      {"IBM284", 0x4A, "["},  {"IBM285", 0x5B, "£"},           {"IBM285", 0x4A, "$"},
      {"IBM297", 0x7C, "à"},  {"IBM297", 0x4A, "°"},           {"IBM500", 0x4A, "["},
      {"IBM500", 0x5A, "]"},  {"IBM1140", 0x9F, "€"},          {"IBM1140", 0xC1, "A"},
      {"ASCII", 0x41, "A"},   {"ASCII", 0x80, "\xEF\xBF\xBD"},
  };
  for (const Known &c : cases) {
    SCOPED_TRACE(std::string(c.page) + " " + std::to_string(c.byte));
    const std::optional<CodePage> page = CodePage::open(c.page);
    ASSERT_TRUE(page.has_value());
    std::string out;
    page->appendText(std::string(1, static_cast<char>(c.byte)), out);
    EXPECT_EQ(out, c.text);
    const bool ebcdic = std::string(c.page) != "ASCII";
    EXPECT_EQ(page->ebcdic(), ebcdic);
    EXPECT_EQ(page->space(), ebcdic ? 0x40 : 0x20);
    EXPECT_EQ(page->ascii(ebcdic ? 0xF7 : '7'), '7');
  }
  EXPECT_FALSE(CodePage::open("NO-SUCH-PAGE").has_value());
}

TEST(CodePage, Utf8PassesValidSequencesAndReplacesInvalidOnes) {
  const std::optional<CodePage> page = CodePage::open("UTF-8");
  ASSERT_TRUE(page.has_value());
  EXPECT_FALSE(page->ebcdic());
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Aä€😀", "Aä€😀"},
      {"a\xFFz", "a\xEF\xBF\xBDz"},
      {"\xC3", "\xEF\xBF\xBD"},                                 // cut sequence
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                 // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // a surrogate
  };
  for (const auto &[in, want] : cases) {
    std::string out;
    page->appendText(in, out);
    EXPECT_EQ(out, want) << testing::PrintToString(in);
  }
}

TEST(CodePage, NationalIsUtf16BigEndian) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {std::string("\x00\x41\x00\xE4\x20\xAC", 6), "Aä€"},
      {std::string("\xD8\x3D\xDE\x00", 4), "😀"},
      {std::string("\xD8\x00\x00\x41", 4), "\xEF\xBF\xBD"
                                           "A"}, // unpaired high surrogate
      {std::string("\xDC\x00", 2), "\xEF\xBF\xBD"},
  };
  for (const auto &[in, want] : cases) {
    std::string out;
    appendUtf16(in, out);
    EXPECT_EQ(out, want) << testing::PrintToString(in);
  }
}

TEST(CodePage, DoubleByteDisplay1Pages) {
  for (const char *name : {"IBM930", "IBM939", "IBM1390", "IBM1399"}) {
    SCOPED_TRACE(name);
    const std::optional<DbcsPage> page = DbcsPage::open(name);
    ASSERT_TRUE(page.has_value());
    std::string out;
    // 日, the double-byte space, an undefined pair, an odd last byte.
    page->appendText("\x45\x62\x40\x40\xFF\xFF\x45", out);
    EXPECT_EQ(out, "日\u3000\uFFFD\uFFFD");
  }
  EXPECT_FALSE(DbcsPage::open("NO-SUCH-PAGE").has_value());
}

} // namespace

TEST(CodePage, NamesInTheirUsualSpellings) {
  const char *const known[] = {"IBM037", "IBM1047", "IBM1140", "ASCII", "UTF-8"};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"IBM037", "IBM037"},  {"ibm037", "IBM037"},    {"IBM-037", "IBM037"},
      {"cp037", "IBM037"},   {"CP-37", "IBM037"},     {"037", "IBM037"},
      {"37", "IBM037"},      {"ccsid 37", "IBM037"},  {"CP1047", "IBM1047"},
      {"ibm_1047", "IBM1047"}, {"1140", "IBM1140"},   {"ascii", "ASCII"},
      {"US-ASCII", "ASCII"}, {"utf8", "UTF-8"},       {"Utf-8", "UTF-8"},
      // Not among the pages: another number, a number inside a name, no number.
      {"IBM0370", ""},       {"IBM1252", ""},         {"EBCDIC-037", ""},
      {"IBM", ""},           {"CP", ""},              {"", ""},
      {"1047x", ""},         {"UTF-16", ""},
  };
  for (const auto &[given, want] : cases)
    EXPECT_EQ(knownCodePage(given, known), want) << given;
}

// JSON strings and CSV fields of IBM037 text, against an encoder written here
// from the IBM037 chart and the JSON and CSV rules: fields of every length
// up to 40 with the bytes that need escapes, quoting or several UTF-8 bytes at
// every position, so that runs of plain bytes begin, end and break at every
// offset of the 8-byte steps.
TEST(CodePage, JsonAndCsvTextAtEveryOffset) {
  struct Char {
    unsigned char byte;
    const char *text;
  };
  // Mostly plain characters, so that long plain runs occur.
  const std::vector<Char> chars = {
      {0x40, " "},  {0x40, " "},    {0xC1, "A"},        {0xC9, "I"},       {0xD1, "J"},
      {0xE2, "S"},  {0xE9, "Z"},    {0xF0, "0"},        {0xF9, "9"},       {0x81, "a"},
      {0x4B, "."},  {0xC3, "C"},    {0xD9, "R"},        {0xF5, "5"},       {0x7F, "\""},
      {0xE0, "\\"}, {0x6B, ","},    {0x25, "\n"},       {0x05, "\t"},      {0x0D, "\r"},
      {0x00, "\0"}, {0x01, "\x01"}, {0x4A, "\xC2\xA2"}, {0x9F, "\xC2\xA4"}};
  const auto json = [](const std::string &text, bool trim) {
    std::string t = text;
    if (trim)
      t.erase(t.find_last_not_of(' ') + 1);
    std::string out = "\"";
    for (const char c : t) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += c;
      } else if (c == '\n') {
        out += "\\n";
      } else if (c == '\r') {
        out += "\\r";
      } else if (c == '\t') {
        out += "\\t";
      } else if (static_cast<unsigned char>(c) < 0x20) {
        const char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[(c >> 4) & 0xF];
        out += hex[c & 0xF];
      } else {
        out += c;
      }
    }
    return out + "\"";
  };
  const auto csv = [](const std::string &text, bool trim) {
    std::string t = text;
    if (trim)
      t.erase(t.find_last_not_of(' ') + 1);
    if (t.find_first_of(",\"\r\n") == std::string::npos)
      return t;
    std::string out = "\"";
    for (const char c : t) {
      out += c;
      if (c == '"')
        out += '"';
    }
    return out + "\"";
  };
  const auto page = CodePage::open("IBM037");
  ASSERT_TRUE(page);
  std::uint32_t seed = 12345;
  const auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  for (int round = 0; round < 40; ++round)
    for (std::size_t length = 0; length <= 40; ++length) {
      std::string bytes;
      std::string text;
      // Half the fields plain but for one byte at `length % 9`, the rest
      // drawn from all characters.
      for (std::size_t i = 0; i < length; ++i) {
        const std::size_t pick =
            round % 2 == 0 && i != length % 9 ? next() % 14 : next() % chars.size();
        bytes += static_cast<char>(chars[pick].byte);
        text += chars[pick].byte == 0x00 ? std::string(1, '\0') : std::string(chars[pick].text);
      }
      for (const bool trim : {false, true}) {
        std::string gotJson = "<";
        std::string gotCsv = "<";
        ASSERT_TRUE(page->appendJson(bytes, trim, gotJson));
        ASSERT_TRUE(page->appendCsv(bytes, trim, gotCsv));
        EXPECT_EQ(gotJson, "<" + json(text, trim)) << "round " << round << " length " << length;
        EXPECT_EQ(gotCsv, "<" + csv(text, trim)) << "round " << round << " length " << length;
      }
    }
}

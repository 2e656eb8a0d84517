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

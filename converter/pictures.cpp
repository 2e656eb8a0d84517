// Picture symbol table and analysis: size, category, S/P/E counts, digits, digits after V.
#include "converter/pictures.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>

#include "converter/conversion_options.h"

namespace {

// Far above any limit, and low enough that adding a capped factor times a
// symbol width of 2 to a capped total stays inside 64 bits.
constexpr std::int64_t countCap = std::int64_t{1} << 40;

std::int32_t saturated(std::int64_t count) {
  return static_cast<std::int32_t>(std::min<std::int64_t>(count, INT32_MAX));
}

// Adds to a count that stays capped, so that no sum of huge factors wraps.
void accumulate(std::int64_t &total, std::int64_t add) { total = std::min(total + add, countCap); }

// What one occurrence of a picture symbol does to the analysis.
enum SymbolEffect : unsigned {
  NumericClass = 0x01,
  AlphabeticClass = 0x02,
  AlphanumericClass = 0x04,
  EditingSymbol = 0x08,
  DbcsSymbol = 0x10,
  ExponentSymbol = 0x20,
  SignSymbol = 0x40,
  PointSymbol = 0x80,    // V: the implied decimal point
  ScalingSymbol = 0x100, // P: a point ahead of the digits when none came yet
  DigitSymbol = 0x200,
};

struct PictureSymbol {
  const char *text; // one character, or two for CR and DB
  int width;        // character positions of one occurrence
  unsigned effects;
};

// Searched in order, so CR and DB are tried before a lone C or D (which,
// like any character not listed, has no effect).
constexpr std::array<PictureSymbol, 24> symbols = {{
    {"9", 1, NumericClass | DigitSymbol},
    // A boolean position (PIC 1): one character, of no class of its own;
    // see vexCblIsBooleanPicture.
    {"1", 1, 0},
    {"A", 1, AlphabeticClass},
    {"X", 1, AlphanumericClass},
    {"G", 1, AlphanumericClass | DbcsSymbol},
    {"N", 1, AlphanumericClass | DbcsSymbol},
    {"E", 1, NumericClass | ExponentSymbol},
    {"$", 1, NumericClass | EditingSymbol},
    {"*", 1, NumericClass | EditingSymbol},
    {"+", 1, NumericClass | EditingSymbol},
    {"-", 1, NumericClass | EditingSymbol},
    {"Z", 1, NumericClass | EditingSymbol},
    {",", 1, EditingSymbol},
    {".", 1, EditingSymbol},
    {"/", 1, EditingSymbol},
    {"0", 1, EditingSymbol},
    {"B", 1, EditingSymbol},
    {"CR", 2, EditingSymbol},
    {"DB", 2, EditingSymbol},
    {"S", 0, SignSymbol},
    {"V", 0, PointSymbol},
    {"P", 0, ScalingSymbol},
    {"C", 0, 0},
    {"D", 0, 0},
}};

constexpr PictureSymbol otherCharacter = {"", 0, 0};

// Compares characters rather than substrings: this runs for every symbol of
// every picture, and a picture string holds no NUL.
const PictureSymbol &symbolAt(const std::string &picture, std::size_t pos) {
  const char first = picture[pos];
  const char second = pos + 1 < picture.size() ? picture[pos + 1] : '\0';
  for (const PictureSymbol &symbol : symbols)
    if (symbol.text[0] == first && (symbol.text[1] == '\0' || symbol.text[1] == second))
      return symbol;
  return otherCharacter;
}

// The state of one left-to-right pass over a picture.
class PictureScan {
public:
  PictureScan(VexCblPicProps::PropMap &props, bool compat300)
      : m_props(props), m_compat300(compat300) {}

  void add(const PictureSymbol &symbol, std::int64_t count) {
    if (count > vexCblLargestSize)
      m_excess = VexCblPicProps::Excess::RepetitionFactor;
    const unsigned effects = symbol.effects;
    m_numeric |= (effects & NumericClass) != 0;
    m_alphabetic |= (effects & AlphabeticClass) != 0;
    m_alphanumeric |= (effects & AlphanumericClass) != 0;
    m_edited |= (effects & EditingSymbol) != 0;
    if (effects & DbcsSymbol)
      m_props[VexCblPicProps::DBCS] = 1;
    if (effects & ExponentSymbol)
      m_props[VexCblPicProps::E] = 1;
    if (effects & SignSymbol)
      ++m_props[VexCblPicProps::S];
    // Leading Ps stand for positions right of the decimal point.
    if ((effects & PointSymbol) || ((effects & ScalingSymbol) && !m_numeric))
      m_afterPoint = true;
    if (effects & ScalingSymbol) {
      accumulate(m_scaling, count);
      if (m_afterPoint && m_compat300)
        accumulate(m_digitsAfterPoint, count);
    }
    if (effects & DigitSymbol) {
      accumulate(m_digits, count);
      if (m_afterPoint)
        accumulate(m_digitsAfterPoint, count);
    }
    accumulate(m_size, symbol.width * count);
  }

  // Stores the totals and says which limit the picture exceeds, if any.
  VexCblPicProps::Excess finish() {
    VexCblType type = VexCblType::Alphanumeric;
    if (m_numeric && !m_alphabetic && !m_alphanumeric)
      type = VexCblType::Numeric;
    else if (m_alphabetic && !m_numeric && !m_alphanumeric)
      type = VexCblType::Alphabetic;
    if (m_edited)
      type = type | VexCblType::Edited;
    m_props[VexCblPicProps::TYPE] = static_cast<std::int32_t>(type);
    m_props[VexCblPicProps::SIZE] = saturated(m_size);
    m_props[VexCblPicProps::P] = saturated(m_scaling);
    m_props[VexCblPicProps::Digits] = saturated(m_digits);
    m_props[VexCblPicProps::DigitsAfterV] = saturated(m_digitsAfterPoint);
    if (m_excess == VexCblPicProps::Excess::None && m_size > vexCblLargestSize)
      m_excess = VexCblPicProps::Excess::Size;
    return m_excess;
  }

private:
  VexCblPicProps::PropMap &m_props;
  bool m_compat300;
  // Past 32 bits when the factors are huge; the table holds them capped at
  // INT32_MAX, and excess says the picture is too large.
  std::int64_t m_size = 0;
  std::int64_t m_scaling = 0;
  std::int64_t m_digits = 0;
  std::int64_t m_digitsAfterPoint = 0;
  VexCblPicProps::Excess m_excess = VexCblPicProps::Excess::None;
  bool m_numeric = false;
  bool m_alphabetic = false;
  bool m_alphanumeric = false;
  bool m_edited = false;
  bool m_afterPoint = false;
};

// Each byte as a picture string keeps it: the symbol letters in upper case,
// every other byte as it is. A table, since every character of every
// picture comes here (toupper and strchr took half of storing a picture);
// toupper changes no byte outside ASCII into one of these letters.
constexpr std::array<char, 256> pictureCharacters = [] {
  std::array<char, 256> table{};
  for (int byte = 0; byte < 256; ++byte)
    table[byte] = static_cast<char>(byte);
  for (const char *symbol = "ABPSVXZCRDEGN"; *symbol != '\0'; ++symbol)
    table[static_cast<unsigned char>(*symbol - 'A' + 'a')] = *symbol;
  return table;
}();

char normalised(char c, bool commaDecimalPoint) {
  if (commaDecimalPoint && (c == ',' || c == '.'))
    return c == ',' ? '.' : ',';
  return pictureCharacters[static_cast<unsigned char>(c)];
}

} // namespace

std::int64_t vexCblRepetitionAt(const std::string &picture, std::size_t &pos) {
  if (pos >= picture.size() || picture[pos] != '(')
    return 1;
  // Read as atoi did (blanks, a sign, digits), but capped instead of wrapping,
  // so that a factor past any limit stays past it.
  std::size_t at = pos + 1;
  while (at < picture.size() && std::isspace(static_cast<unsigned char>(picture[at])))
    ++at;
  const bool negative = at < picture.size() && picture[at] == '-';
  if (at < picture.size() && (picture[at] == '-' || picture[at] == '+'))
    ++at;
  std::int64_t count = 0;
  for (; at < picture.size() && picture[at] >= '0' && picture[at] <= '9'; ++at)
    count = std::min<std::int64_t>(count * 10 + (picture[at] - '0'), countCap);
  const std::size_t close = picture.find(')', pos);
  pos = close == std::string::npos ? picture.size() : close + 1;
  return negative ? -count : count;
}

VexCblPicture::VexCblPicture(const char *picture, const VexCblConfig &options)
    : m_commaDecimalPoint(options.commaDecimalPoint), m_compat300(options.compat300Output()) {
  setPictureVal(picture);
}

void VexCblPicture::setPictureVal(const char *picture) {
  m_picture.clear();
  for (const char *c = picture; c && *c; ++c)
    m_picture += normalised(*c, m_commaDecimalPoint);
  reset();
}

namespace {

// The analyses made so far on this thread, by picture string, one table for
// each reading (-compat 300 or not): a copybook spells a few pictures over
// and over (the mixed million 7 strings for 740 000 entries), and each
// analysis took some 600 instructions. An input of ever new pictures stops
// filling the table at its limit.
constexpr std::size_t keptAnalyses = 4096;
thread_local std::unordered_map<std::string, VexCblPicProps> analyses[2];

} // namespace

bool VexCblPicture::analyzeAnew() {
  if (m_picture.empty())
    return false;
  auto &known = analyses[m_compat300 ? 1 : 0];
  if (const auto found = known.find(m_picture); found != known.end()) {
    m_props = found->second;
    return true;
  }
  m_props.emplace();
  PictureScan scan(m_props->props(), m_compat300);
  std::size_t pos = 0;
  while (pos < m_picture.size()) {
    const PictureSymbol &symbol = symbolAt(m_picture, pos);
    pos += symbol.text[0] ? std::strlen(symbol.text) : 1;
    scan.add(symbol, vexCblRepetitionAt(m_picture, pos));
  }
  m_props->excess = scan.finish();
  if (known.size() < keptAnalyses)
    known.emplace(m_picture, *m_props);
  return true;
}

int VexCblPicture::size() { return analyze() ? m_props->props()[VexCblPicProps::SIZE] : 0; }

VexCblType VexCblPicture::type() {
  return analyze() ? static_cast<VexCblType>(m_props->props()[VexCblPicProps::TYPE])
                   : VexCblType::None;
}

VexCblPicProps::Excess VexCblPicture::excess() {
  return analyze() ? m_props->excess : VexCblPicProps::Excess::None;
}

void VexCblPicture::reset() { m_props.reset(); }

bool vexCblIsBooleanPicture(const std::string &picture) {
  // Most pictures hold no 1 at all, not even in a repetition factor.
  if (picture.find('1') == std::string::npos)
    return false;
  std::size_t pos = 0;
  while (pos < picture.size()) {
    if (picture[pos] == '1')
      return true;
    ++pos;
    vexCblRepetitionAt(picture, pos);
  }
  return false;
}

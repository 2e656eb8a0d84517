// VALUE literals: hex escapes, doubled delimiters, figurative constants, ALL repetition.
#include "converter/value_clauses.h"

#include <array>
#include <cctype>

#include "frontend/syntax_tree.h"

namespace {

// The figurative constants by the word code that the syntax tree stores in
// the keyword of a figurative_literal node.
struct FigConstEntry {
  int code;
  const char *value;
  bool expandable;
};

constexpr std::array<FigConstEntry, 12> figurativeConstants = {{
    {cwZero, "0", true},
    {cwZeros, "0", true},
    {cwZeroes, "0", true},
    {cwSpace, " ", true},
    {cwSpaces, " ", true},
    {cwHighValue, "\\hFF", true},
    {cwHighValues, "\\hFF", true},
    {cwLowValue, "\\h00", true},
    {cwLowValues, "\\h00", true},
    {cwQuote, "\"", true},
    {cwQuotes, "\"", true},
    // NULL is the null pointer: a single value, not a fill character.
    {cwNull, "0", false},
}};

constexpr std::uint32_t escapeLength = 4; // "\h" and two hexadecimal digits

// The content of a delimited literal from `text` on: a doubled delimiter
// stands for one, a single one ends the content.
std::string delimitedContent(std::string_view text, char delimiter) {
  std::string content;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == delimiter) {
      if (i + 1 == text.size() || text[i + 1] != delimiter)
        break;
      ++i;
    }
    content += text[i];
  }
  return content;
}

// The hexadecimal digits from `text` up to `delimiter`, as "\h" escapes of
// two digits each.
std::string hexEscapes(std::string_view text, char delimiter) {
  std::string escapes;
  for (std::size_t i = 0; i < text.size() && text[i] != delimiter; i += 2) {
    escapes += "\\h";
    escapes += text[i];
    // An odd digit count is completed on the right, as compilers do.
    const bool pairComplete = i + 1 < text.size() && text[i + 1] != delimiter;
    escapes += pairComplete ? text[i + 1] : '0';
    if (!pairComplete)
      break;
  }
  return escapes;
}

std::string doubledBackslashes(const std::string &text) {
  std::string doubled;
  for (char c : text) {
    doubled += c;
    if (c == '\\')
      doubled += '\\';
  }
  return doubled;
}

} // namespace

void VexCblValue::setStrValue(const char *literal) {
  if (literal)
    setStrValue(std::string_view(literal));
}

void VexCblValue::setStrValue(std::string_view literal) {
  const char kind = literal.empty()
                        ? '\0'
                        : static_cast<char>(std::toupper(static_cast<unsigned char>(literal[0])));
  const bool prefixed = literal.size() > 1 && literal[1] != '\0';
  if (kind == 'X' && prefixed) {
    m_type = Hexadecimal;
    m_value = hexEscapes(literal.substr(2), literal[1]);
    m_unitLength = escapeLength;
  } else if (kind == 'Z' && prefixed) {
    m_type = NullTerminated;
    m_value = delimitedContent(literal.substr(2), literal[1]);
    m_expandable = false;
    m_unitLength = 1;
  } else if ((kind == 'G' || kind == 'N') && prefixed) {
    m_type = Dbcs;
    m_value = literal.substr(1);
    m_unitLength = 1;
  } else {
    m_type = Alphanumeric;
    m_value = literal.empty() ? std::string() : delimitedContent(literal.substr(1), literal[0]);
    m_unitLength = 1;
  }
}

void VexCblValue::setNumValue(const char *literal) {
  if (!literal)
    return;
  m_type = Numeric;
  m_value = literal;
  m_expandable = false;
  m_unitLength = 1;
}

bool VexCblValue::setFigConst(int code) {
  for (const FigConstEntry &constant : figurativeConstants) {
    if (constant.code == code) {
      m_type = FigurativeConstant;
      m_value = constant.value;
      m_expandable = constant.expandable;
      m_unitLength = static_cast<std::uint32_t>(m_value.size());
      return true;
    }
  }
  m_type = NoValue;
  m_value.clear();
  return false;
}

std::string VexCblValue::getValueImage(int length) const {
  if (m_type == NoValue || m_value.empty())
    return {};
  std::string image = m_value;
  const long long units = static_cast<long long>(m_value.size() / m_unitLength);
  if (length != -1 && m_expandable && m_type != Numeric && m_type != NullTerminated &&
      units < length) {
    const std::size_t wanted = static_cast<std::size_t>(length) * m_unitLength;
    image.clear();
    while (image.size() + m_value.size() <= wanted)
      image += m_value;
    image += m_value.substr(0, wanted - image.size());
  }
  if (m_type == Alphanumeric || m_type == NullTerminated)
    image = doubledBackslashes(image);
  if (m_type == NullTerminated)
    image += "\\0";
  return image;
}

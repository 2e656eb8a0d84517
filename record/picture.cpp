// Picture strings: runs of symbols, category, size, digits, scale, sign and edit pattern.
#include "record/picture.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "converter/pictures.h"

namespace {

// Far above any limit, and low enough that no sum of capped counts times a
// width of 2 leaves 64 bits.
constexpr std::int64_t countCap = std::int64_t{1} << 40;

void accumulate(std::int64_t &total, std::int64_t add) { total = std::min(total + add, countCap); }

struct SymbolSpelling {
  const char *text; // upper case; CR and DB before any one-letter symbol
  PictureSymbol symbol;
  int width; // character positions of one occurrence
};

constexpr std::array<SymbolSpelling, 22> spellings = {{
    {"CR", PictureSymbol::credit, 2},      {"DB", PictureSymbol::debit, 2},
    {"9", PictureSymbol::nine, 1},         {"A", PictureSymbol::letter, 1},
    {"X", PictureSymbol::character, 1},    {"G", PictureSymbol::dbcs, 1},
    {"N", PictureSymbol::national, 1},     {"S", PictureSymbol::sign, 0},
    {"V", PictureSymbol::assumedPoint, 0}, {"P", PictureSymbol::scaling, 0},
    {"E", PictureSymbol::exponent, 1},     {"Z", PictureSymbol::zero, 1},
    {"*", PictureSymbol::asterisk, 1},     {"+", PictureSymbol::plus, 1},
    {"-", PictureSymbol::minus, 1},        {"$", PictureSymbol::currency, 1},
    {".", PictureSymbol::period, 1},       {",", PictureSymbol::comma, 1},
    {"/", PictureSymbol::slash, 1},        {"0", PictureSymbol::zeroInsert, 1},
    {"B", PictureSymbol::space, 1},        {"1", PictureSymbol::boolean, 1},
}};

int widthOf(PictureSymbol symbol) {
  for (const SymbolSpelling &spelling : spellings)
    if (spelling.symbol == symbol)
      return spelling.width;
  return 0;
}

bool sameLetters(std::string_view text, std::size_t at, const char *upper) {
  const std::size_t length = std::strlen(upper);
  if (at + length > text.size())
    return false;
  for (std::size_t i = 0; i < length; ++i)
    if (std::toupper(static_cast<unsigned char>(text[at + i])) != upper[i])
      return false;
  return true;
}

// The symbol at `at` and the characters it takes.
std::pair<PictureSymbol, std::size_t> symbolAt(std::string_view text, std::size_t at) {
  for (const SymbolSpelling &spelling : spellings)
    if (sameLetters(text, at, spelling.text))
      return {spelling.symbol, std::strlen(spelling.text)};
  return {PictureSymbol::other, 1};
}

// A repetition factor "(n)" from `at` (the "("): its value, read as the
// converter reads it (blanks, a sign, digits, capped), and the text up to
// and including the ")" (to the end when none closes it).
std::int64_t readFactor(std::string_view text, std::size_t at, std::string &written) {
  std::size_t i = at + 1;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
    ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+'))
    ++i;
  std::int64_t count = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    count = std::min<std::int64_t>(count * 10 + (text[i] - '0'), countCap);
  const std::size_t close = text.find(')', at);
  const std::size_t end = close == std::string_view::npos ? text.size() : close + 1;
  written = std::string(text.substr(at, end - at));
  return negative ? -count : count;
}

bool isInsertion(PictureSymbol symbol) {
  return symbol == PictureSymbol::space || symbol == PictureSymbol::zeroInsert ||
         symbol == PictureSymbol::slash || symbol == PictureSymbol::comma ||
         symbol == PictureSymbol::period;
}

// Which symbols a picture has, for its category.
class Presence {
public:
  explicit Presence(const std::vector<PictureRun> &runs) {
    for (const PictureRun &run : runs)
      seen_[static_cast<std::size_t>(run.symbol)] = true;
  }
  bool has(PictureSymbol symbol) const { return seen_[static_cast<std::size_t>(symbol)]; }
  bool hasAny(std::initializer_list<PictureSymbol> symbols) const {
    return std::any_of(symbols.begin(), symbols.end(), [&](PictureSymbol s) { return has(s); });
  }

private:
  std::array<bool, static_cast<std::size_t>(PictureSymbol::other) + 1> seen_{};
};

using S = PictureSymbol;

Category categoryOf(const Presence &p) {
  if (p.has(S::national))
    return Category::national;
  if (p.has(S::dbcs))
    return Category::dbcs;
  if (p.hasAny({S::letter, S::character, S::boolean})) {
    if (p.hasAny({S::space, S::zeroInsert, S::slash}))
      return Category::alphanumericEdited;
    return p.has(S::letter) && !p.hasAny({S::character, S::nine}) ? Category::alphabetic
                                                                  : Category::alphanumeric;
  }
  if (p.has(S::exponent))
    return Category::externalFloatingPoint;
  const bool numericEditing = p.hasAny({S::zero, S::asterisk, S::plus, S::minus, S::currency,
                                        S::credit, S::debit, S::period, S::comma});
  if (numericEditing)
    return Category::numericEdited;
  if (p.hasAny({S::space, S::zeroInsert, S::slash}))
    return p.has(S::nine) ? Category::numericEdited : Category::alphanumericEdited;
  return p.has(S::nine) ? Category::numeric : Category::alphanumeric;
}

// The edit kinds of the runs of an edited picture. A $, + or - is floating
// when the same symbol stands at least twice in a row, only insertion
// characters between; the string's first position shows the symbol only.
struct Labels {
  std::vector<EditKind> kinds;
  std::vector<bool> floatingStart; // the run holds a floating string's first position
};

Labels label(const std::vector<PictureRun> &runs, bool comma) {
  Labels labels;
  labels.kinds.resize(runs.size(), EditKind::character);
  labels.floatingStart.resize(runs.size(), false);
  std::vector<bool> taken(runs.size(), false);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const PictureSymbol symbol = runs[i].symbol;
    EditKind &kind = labels.kinds[i];
    switch (symbol) {
    case S::nine:
      kind = EditKind::digit;
      break;
    case S::zero:
    case S::asterisk:
      kind = EditKind::zeroSuppression;
      break;
    case S::period:
      kind = comma ? EditKind::simpleInsertion : EditKind::decimalPoint;
      break;
    case S::comma:
      kind = comma ? EditKind::decimalPoint : EditKind::simpleInsertion;
      break;
    case S::slash:
    case S::zeroInsert:
    case S::space:
      kind = EditKind::simpleInsertion;
      break;
    case S::credit:
    case S::debit:
      kind = EditKind::fixedInsertion;
      break;
    case S::assumedPoint:
      kind = EditKind::assumedPoint;
      break;
    case S::scaling:
      kind = EditKind::scaling;
      break;
    case S::sign:
      kind = EditKind::sign;
      break;
    case S::exponent:
      kind = EditKind::exponent;
      break;
    case S::currency:
    case S::plus:
    case S::minus: {
      // Part of a floating string that began further left.
      if (taken[i])
        break;
      std::int64_t count = 0;
      std::size_t last = i;
      for (std::size_t j = i; j < runs.size(); ++j) {
        if (runs[j].symbol == symbol) {
          count += runs[j].count;
          last = j;
        } else if (!isInsertion(runs[j].symbol)) {
          break;
        }
      }
      if (count < 2) {
        kind = EditKind::fixedInsertion;
        break;
      }
      labels.floatingStart[i] = true;
      for (std::size_t j = i; j <= last; ++j)
        if (runs[j].symbol == symbol) {
          labels.kinds[j] = EditKind::floatingInsertion;
          taken[j] = true;
        }
      break;
    }
    default:
      kind = EditKind::character;
      break;
    }
  }
  return labels;
}

bool holdsDigits(EditKind kind) {
  return kind == EditKind::digit || kind == EditKind::zeroSuppression ||
         kind == EditKind::floatingInsertion;
}

// Digits, scale and sign of an edited or external floating-point picture,
// and its edit pattern.
void describeEdited(ParsedPicture &picture) {
  const Labels labels = label(picture.runs, picture.decimalPointIsComma);
  bool afterPoint = false;
  bool beforeExponent = true;
  bool digitSeen = false;
  bool scalingTrails = false;
  std::int64_t afterPointDigits = 0;
  for (std::size_t i = 0; i < picture.runs.size(); ++i) {
    const PictureRun &run = picture.runs[i];
    const EditKind kind = labels.kinds[i];
    if (run.symbol == S::other)
      continue;
    if (!picture.edit.empty() && picture.edit.back().kind == kind &&
        picture.edit.back().symbol == run.symbol)
      accumulate(picture.edit.back().count, run.count);
    else
      picture.edit.push_back(EditElement{kind, run.symbol, run.count});
    if (kind == EditKind::exponent)
      beforeExponent = false;
    if (kind == EditKind::decimalPoint || kind == EditKind::assumedPoint)
      afterPoint = true;
    if (kind == EditKind::scaling) {
      scalingTrails = scalingTrails || digitSeen;
      afterPoint = afterPoint || !digitSeen;
    }
    // The sign is leading when it comes before the digits, a floating
    // sign string included.
    const bool editSign = run.symbol == S::plus || run.symbol == S::minus ||
                          run.symbol == S::credit || run.symbol == S::debit;
    if (editSign && picture.sign == PictureSign::none && beforeExponent) {
      picture.sign = run.symbol == S::plus     ? PictureSign::plus
                     : run.symbol == S::minus  ? PictureSign::minus
                     : run.symbol == S::credit ? PictureSign::credit
                                               : PictureSign::debit;
      picture.signLeading = !digitSeen;
    }
    if (holdsDigits(kind) && beforeExponent) {
      const std::int64_t digits = run.count - (labels.floatingStart[i] ? 1 : 0);
      accumulate(picture.digits, digits);
      if (afterPoint)
        accumulate(afterPointDigits, digits);
      digitSeen = digitSeen || digits > 0;
    }
  }
  if (picture.scalingPositions == 0)
    picture.scale = afterPointDigits;
  else
    picture.scale =
        scalingTrails ? -picture.scalingPositions : afterPointDigits + picture.scalingPositions;
}

// Digits and scale of a numeric picture (9, S, V, P): a P ahead of every 9
// stands right of the decimal point, as V does.
void describeNumeric(ParsedPicture &picture) {
  bool afterPoint = false;
  bool digitSeen = false;
  bool scalingTrails = false;
  std::int64_t afterPointDigits = 0;
  for (const PictureRun &run : picture.runs) {
    if (run.symbol == S::assumedPoint)
      afterPoint = true;
    if (run.symbol == S::scaling) {
      scalingTrails = scalingTrails || digitSeen;
      afterPoint = afterPoint || !digitSeen;
    }
    if (run.symbol == S::nine) {
      accumulate(picture.digits, run.count);
      if (afterPoint)
        accumulate(afterPointDigits, run.count);
      digitSeen = true;
    }
  }
  if (picture.scalingPositions == 0)
    picture.scale = afterPointDigits;
  else
    picture.scale =
        scalingTrails ? -picture.scalingPositions : afterPointDigits + picture.scalingPositions;
}

} // namespace

ParsedPicture parsePicture(std::string_view text, bool comma) {
  ParsedPicture picture;
  picture.decimalPointIsComma = comma;
  std::size_t at = 0;
  while (at < text.size()) {
    const auto [symbol, length] = symbolAt(text, at);
    const std::string spelling(text.substr(at, length));
    at += length;
    if (at < text.size() && text[at] == '(') {
      PictureRun run{symbol, spelling, 1, ""};
      run.count = readFactor(text, at, run.factor);
      at += run.factor.size();
      picture.runs.push_back(std::move(run));
    } else if (!picture.runs.empty() && picture.runs.back().factor.empty() &&
               picture.runs.back().spelling == spelling) {
      ++picture.runs.back().count;
    } else {
      picture.runs.push_back(PictureRun{symbol, spelling, 1, ""});
    }
  }
  for (const PictureRun &run : picture.runs) {
    if (run.count > vexCblLargestSize)
      picture.tooLarge = true;
    accumulate(picture.size, widthOf(run.symbol) * run.count);
    if (run.symbol == S::scaling)
      accumulate(picture.scalingPositions, run.count);
    if (run.symbol == S::sign)
      picture.sign = PictureSign::s;
  }
  if (picture.size > vexCblLargestSize)
    picture.tooLarge = true;
  const Presence presence(picture.runs);
  picture.category = categoryOf(presence);
  switch (picture.category) {
  case Category::numeric:
    describeNumeric(picture);
    break;
  case Category::numericEdited:
  case Category::alphanumericEdited:
  case Category::externalFloatingPoint:
    describeEdited(picture);
    break;
  case Category::dbcs:
  case Category::national:
    if (presence.hasAny({S::space, S::zeroInsert, S::slash}))
      describeEdited(picture);
    break;
  default:
    break;
  }
  return picture;
}

std::string pictureText(const ParsedPicture &picture) {
  std::string text;
  for (const PictureRun &run : picture.runs) {
    if (!run.factor.empty()) {
      text += run.spelling;
      text += run.factor;
      continue;
    }
    for (std::int64_t i = 0; i < run.count; ++i)
      text += run.spelling;
  }
  return text;
}

std::string pictureDisplayText(const ParsedPicture &picture) {
  std::string text = pictureText(picture);
  for (char &c : text) {
    if (picture.decimalPointIsComma && (c == ',' || c == '.')) {
      c = c == ',' ? '.' : ',';
      continue;
    }
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper != '\0' && std::strchr("ABPSVXZCRDEGN", upper) != nullptr)
      c = upper;
  }
  return text;
}

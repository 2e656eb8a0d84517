// Hypotheses about a data file (framing, code page, record type), scored by the validity of the
// values they decode, and the report that names the decoder options of the best one.
#include "decoder/diagnose.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "converter/conversion_messages.h"
#include "decoder/code_page.h"
#include "decoder/decode_plan.h"
#include "decoder/field_values.h"
#include "decoder/framing.h"
#include "decoder/record_decoder.h"
#include "decoder/run_files.h"
#include "layout/record_map_html.h"
#include "record/model_builder.h"
#include "record/storage.h"

namespace {

// ---------------------------------------------------------------------------
// The checks: every elementary item occurrence the validity is judged on.

enum class CheckKind : std::uint8_t {
  text,
  zoned,
  packed,
  unsignedPacked,
  binary,
  edited,
  national
};

struct Check {
  int item = -1;
  int record = -1; // index into model.records
  int slot = -1;   // the REDEFINES alternative it belongs to (index into Layout::slots), -1: none
  std::int64_t offset = 0;
  std::int64_t length = 0;
  CheckKind kind = CheckKind::text;
  int digits = 0;
  bool isSigned = false;
  SignForm sign = SignForm::none;
  int table = -1; // the DEPENDING ON table it stands in (index into Layout::tables)
  std::int64_t occurrence = 0;
  bool variable = false; // placed after a DEPENDING ON table
  int counts = -1;       // it is the counter of this table
  bool first = true;     // first occurrence of its item
  bool date = false;     // an unsigned 6- or 8-digit number named as a date: YYMMDD or YYYYMMDD
};

// A table whose count a field gives.
struct Table {
  std::int64_t offset = 0;
  std::int64_t length = 0; // one occurrence
  std::int64_t min = 0;
  std::int64_t max = 0;
};

// One alternative of a REDEFINES area.
struct Slot {
  int unit = 0; // the area (index into Layout::units)
  int item = -1;
};

struct Unit {
  int record = -1;
  int item = -1; // the area's first item
  std::vector<int> slots;
};

struct Layout {
  std::vector<Check> checks;
  std::vector<std::vector<int>> byRecord; // check indices per record
  std::vector<Table> tables;
  std::vector<Slot> slots;
  std::vector<Unit> units;
};

// Occurrences of one OCCURS looked at; the rest repeat what these show.
constexpr std::int64_t occurrencesChecked = 64;
// Checks per record at most: the time stays bounded for huge layouts.
constexpr std::size_t checksPerRecord = 6000;

// The check of an item's bytes follows the form the decoder reads them in,
// so that what -diagnose calls valid is what decodes.
std::optional<CheckKind> kindOf(const ModelItem &item) {
  const std::optional<DataForm> form = dataFormOf(item);
  if (!form)
    return std::nullopt;
  switch (*form) {
  case DataForm::text:
    return CheckKind::text;
  case DataForm::national:
    return CheckKind::national;
  case DataForm::edited:
  case DataForm::externalFloat:
    return CheckKind::edited;
  case DataForm::zoned:
    return CheckKind::zoned;
  case DataForm::packed:
    return CheckKind::packed;
  case DataForm::unsignedPacked:
    return CheckKind::unsignedPacked;
  case DataForm::binary:
    return item.length <= 8 ? std::optional(CheckKind::binary) : std::nullopt;
  case DataForm::group:
  case DataForm::dbcs:
  case DataForm::floating:
  case DataForm::decimalFloat:
    break;
  }
  return std::nullopt;
}

// Native binary holds any value its bytes can (COMP-5, and the dialects'
// COMP-X and COMP-N): its picture bounds nothing, so a value past it says
// nothing about where the field starts.
bool pictureBoundsBinary(Usage usage) {
  return usage != Usage::comp5 && usage != Usage::compX && usage != Usage::compN;
}

class LayoutBuilder {
public:
  LayoutBuilder(const RecordModel &model, Layout &layout) : model_(model), layout_(layout) {}

  void record(int r) {
    record_ = r;
    counterCheck_.clear();
    layout_.byRecord.emplace_back();
    walk(model_.records[static_cast<std::size_t>(r)].root, 0, -1, -1, 0, true);
  }

private:
  void walk(int index, std::int64_t delta, int slot, int table, std::int64_t occurrence,
            bool first) {
    const ModelItem &item = model_.items[static_cast<std::size_t>(index)];
    if (item.renames >= 0 || item.level == 66 || item.level == 88)
      return;
    if (layout_.byRecord.back().size() >= checksPerRecord)
      return;
    const std::int64_t count =
        item.occurs ? std::min<std::int64_t>(item.occurs->max, occurrencesChecked) : 1;
    int ownTable = table;
    if (item.occurs && item.occurs->dependingOn >= 0) {
      const auto counter = counterCheck_.find(item.occurs->dependingOn);
      if (counter != counterCheck_.end()) {
        ownTable = static_cast<int>(layout_.tables.size());
        layout_.tables.push_back(
            Table{item.offset + delta, item.length, item.occurs->min, item.occurs->max});
        layout_.checks[static_cast<std::size_t>(counter->second)].counts = ownTable;
      }
    }
    for (std::int64_t k = 0; k < count; ++k) {
      const std::int64_t at = delta + k * item.length;
      const int occurrenceTable = ownTable;
      const std::int64_t occ = ownTable != table ? k : occurrence;
      const bool isFirst = first && k == 0;
      if (item.isGroup()) {
        for (const int member : item.members) {
          const ModelItem &m = model_.items[static_cast<std::size_t>(member)];
          if (m.redefines >= 0)
            continue; // placed with the area's first item
          if (!m.alternatives.empty() && slot < 0) {
            area(member, at, occurrenceTable, occ, isFirst);
            continue;
          }
          walk(member, at, slot, occurrenceTable, occ, isFirst);
        }
        continue;
      }
      const std::optional<CheckKind> kind = kindOf(item);
      if (!kind)
        continue;
      Check check;
      check.item = index;
      check.record = record_;
      check.slot = slot;
      check.offset = item.offset + at;
      check.length = item.length;
      check.kind = *kind;
      check.digits = item.picture && (check.kind != CheckKind::binary || pictureBoundsBinary(item.usage))
                         ? static_cast<int>(item.picture->digits)
                         : 0;
      check.isSigned = item.isSigned.value_or(false);
      check.sign = item.sign;
      check.table = occurrenceTable;
      check.occurrence = occ;
      check.variable = item.variable;
      check.first = isFirst;
      check.date = (check.kind == CheckKind::zoned || check.kind == CheckKind::packed) &&
                   !check.isSigned && (check.digits == 6 || check.digits == 8) && item.picture &&
                   item.picture->scale == 0 &&
                   (item.key.find("DATE") != std::string::npos ||
                    (item.key.size() > 2 && item.key.compare(item.key.size() - 3, 3, "-DT") == 0));
      if (!item.occurs && table < 0)
        counterCheck_[index] = static_cast<int>(layout_.checks.size());
      layout_.byRecord.back().push_back(static_cast<int>(layout_.checks.size()));
      layout_.checks.push_back(check);
    }
  }

  // A REDEFINES area: the original and each alternative get a slot of one unit.
  void area(int original, std::int64_t delta, int table, std::int64_t occurrence, bool first) {
    const ModelItem &item = model_.items[static_cast<std::size_t>(original)];
    const int unit = static_cast<int>(layout_.units.size());
    layout_.units.push_back(Unit{record_, original, {}});
    std::vector<int> members{original};
    members.insert(members.end(), item.alternatives.begin(), item.alternatives.end());
    for (const int member : members) {
      const int slot = static_cast<int>(layout_.slots.size());
      layout_.slots.push_back(Slot{unit, member});
      layout_.units.back().slots.push_back(slot);
      walk(member, delta, slot, table, occurrence, first);
    }
  }

  const RecordModel &model_;
  Layout &layout_;
  int record_ = 0;
  std::map<int, int> counterCheck_; // item index of a counter -> its check
};

Layout buildLayout(const RecordModel &model) {
  Layout layout;
  LayoutBuilder builder(model, layout);
  for (std::size_t r = 0; r < model.records.size(); ++r)
    builder.record(static_cast<int>(r));
  return layout;
}

// ---------------------------------------------------------------------------
// Code pages: each byte's character class, for validity and plausibility.

enum class CharClass : std::uint8_t {
  invalid,
  control,
  space,
  digit,
  letter,
  punct,
  otherLetter,
  symbol
};

const char *const candidatePages[] = {"IBM037", "IBM1047", "IBM273", "IBM277",  "IBM280", "IBM284",
                                      "IBM285", "IBM297",  "IBM500", "IBM1140", "ASCII",  "UTF-8"};

struct PageTable {
  std::string name;
  CodePage page;
  std::array<CharClass, 256> classes{};
};

// The code point of one UTF-8 sequence.
std::uint32_t codePoint(const std::string &text) {
  if (text.empty())
    return 0xFFFD;
  const auto b0 = static_cast<unsigned char>(text[0]);
  if (b0 < 0x80)
    return b0;
  std::uint32_t cp = 0;
  std::size_t n = 0;
  if ((b0 & 0xE0) == 0xC0) {
    cp = b0 & 0x1F;
    n = 1;
  } else if ((b0 & 0xF0) == 0xE0) {
    cp = b0 & 0x0F;
    n = 2;
  } else {
    cp = b0 & 0x07;
    n = 3;
  }
  for (std::size_t i = 1; i <= n && i < text.size(); ++i)
    cp = cp << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
  return cp;
}

CharClass classOf(std::uint32_t cp) {
  if (cp == 0xFFFD)
    return CharClass::invalid;
  if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0))
    return CharClass::control;
  if (cp == ' ' || cp == 0xA0)
    return CharClass::space;
  if (cp >= '0' && cp <= '9')
    return CharClass::digit;
  if ((cp >= 'A' && cp <= 'Z') || (cp >= 'a' && cp <= 'z'))
    return CharClass::letter;
  if (cp < 0x80)
    return std::strchr(".,-/:;'()&*+%#@$\"!?=_", static_cast<int>(cp)) != nullptr
               ? CharClass::punct
               : CharClass::symbol;
  if ((cp >= 0xC0 && cp <= 0x24F && cp != 0xD7 && cp != 0xF7) || (cp >= 0x370 && cp <= 0x52F))
    return CharClass::otherLetter;
  return CharClass::symbol;
}

PageTable pageTable(const std::string &name) {
  std::optional<CodePage> page = CodePage::open(name);
  if (!page)
    throw DiagnoseError{"vexfcbl-decode: code page " + name + " is not known to iconv\n"};
  PageTable table{name, *page, {}};
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    std::string text;
    if (page->utf8() && b >= 0x80) {
      table.classes[static_cast<std::size_t>(b)] = CharClass::otherLetter; // judged in sequences
      continue;
    }
    page->appendText(std::string_view(&byte, 1), text);
    table.classes[static_cast<std::size_t>(b)] = classOf(codePoint(text));
  }
  return table;
}

bool utf8Valid(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    std::size_t n = b < 0x80             ? 1
                    : (b & 0xE0) == 0xC0 ? 2
                    : (b & 0xF0) == 0xE0 ? 3
                    : (b & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (n == 0 || (n == 2 && b < 0xC2) || i + n > bytes.size())
      return false;
    for (std::size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
        return false;
    i += n;
  }
  return true;
}

// How likely the characters are as text: letters, digits and blanks count
// fully, punctuation between letters hardly, control characters not at all.
double plausibility(std::string_view bytes, const PageTable &page, double &weight) {
  double sum = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const CharClass c = page.classes[static_cast<unsigned char>(bytes[i])];
    const bool letterBefore =
        i > 0 && page.classes[static_cast<unsigned char>(bytes[i - 1])] == CharClass::letter;
    const bool letterAfter =
        i + 1 < bytes.size() &&
        page.classes[static_cast<unsigned char>(bytes[i + 1])] == CharClass::letter;
    double w = 0;
    switch (c) {
    case CharClass::space:
    case CharClass::digit:
    case CharClass::letter:
      w = 1;
      break;
    case CharClass::punct:
      w = letterBefore && letterAfter ? 0.3 : 0.8;
      break;
    case CharClass::otherLetter:
      w = letterBefore || letterAfter ? 0.95 : 0.6;
      break;
    case CharClass::symbol:
      w = letterBefore && letterAfter ? 0.05 : 0.15;
      break;
    default:
      break;
    }
    sum += w;
  }
  weight += static_cast<double>(bytes.size());
  return sum;
}

// ---------------------------------------------------------------------------
// Validity of one field's bytes by its usage.

bool uniform(std::string_view bytes, unsigned char b) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [b](char c) { return static_cast<unsigned char>(c) == b; });
}

bool textValid(std::string_view bytes, const PageTable &page) {
  if (uniform(bytes, 0x00) || uniform(bytes, 0xFF))
    return true; // LOW-VALUES and HIGH-VALUES fill unused text
  if (page.page.utf8())
    if (!utf8Valid(bytes))
      return false;
  return std::none_of(bytes.begin(), bytes.end(), [&](char c) {
    const CharClass k = page.classes[static_cast<unsigned char>(c)];
    return k == CharClass::control || k == CharClass::invalid;
  });
}

bool zonedDigit(unsigned char b, const PageTable &page) {
  if (page.page.ebcdic())
    return b >= 0xF0 && b <= 0xF9;
  return b >= '0' && b <= '9';
}

bool zonedSignByte(unsigned char b, const PageTable &page) {
  if (page.page.ebcdic())
    return (b & 0xF) <= 9 && (b >> 4) >= 0xA;
  return (b >= '0' && b <= '9') || (b >= 0x70 && b <= 0x79) || b == '{' || b == '}' ||
         (b >= 'A' && b <= 'R');
}

bool zonedValid(std::string_view bytes, SignForm sign, const PageTable &page) {
  if (bytes.empty())
    return false;
  std::size_t from = 0;
  std::size_t to = bytes.size();
  if (sign == SignForm::leadingSeparate || sign == SignForm::trailingSeparate) {
    const char c = page.page.ascii(static_cast<unsigned char>(
        sign == SignForm::leadingSeparate ? bytes.front() : bytes.back()));
    if (c != '+' && c != '-')
      return false;
    (sign == SignForm::leadingSeparate ? from : to) += sign == SignForm::leadingSeparate ? 1 : -1;
  }
  for (std::size_t i = from; i < to; ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const bool signByte = (sign == SignForm::leading && i == 0) ||
                          (sign == SignForm::trailing && i + 1 == bytes.size());
    if (signByte ? !zonedSignByte(b, page) : !zonedDigit(b, page))
      return false;
  }
  return true;
}

bool packedValid(std::string_view bytes, bool isSigned, bool withSign) {
  if (bytes.empty())
    return false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if ((b >> 4) > 9)
      return false;
    if (i + 1 < bytes.size() || !withSign) {
      if ((b & 0xF) > 9)
        return false;
    } else {
      const int s = b & 0xF;
      if (isSigned ? s < 0xA : (s != 0xF && s != 0xC))
        return false;
    }
  }
  return true;
}

bool binaryValid(std::string_view bytes, int digits, bool isSigned) {
  if (digits <= 0 || digits > 18)
    return true; // no picture, or one the width holds whole
  unsigned __int128 magnitude = 0;
  for (const char c : bytes)
    magnitude = magnitude << 8 | static_cast<unsigned char>(c);
  const bool negative = isSigned && (static_cast<unsigned char>(bytes.front()) & 0x80) != 0;
  if (negative)
    magnitude = (static_cast<unsigned __int128>(1) << (8 * bytes.size())) - magnitude;
  unsigned __int128 limit = 1;
  for (int i = 0; i < digits; ++i)
    limit *= 10;
  return magnitude < limit;
}

bool editedValid(std::string_view bytes, const PageTable &page) {
  return std::all_of(bytes.begin(), bytes.end(), [&](char c) {
    const char a = page.page.ascii(static_cast<unsigned char>(c));
    return a != 0 && std::strchr("0123456789 +-.,*$/CRDBEcrdb", a) != nullptr;
  });
}

// UTF-16BE without control characters, surrogates in pairs.
bool nationalValid(std::string_view bytes) {
  if (uniform(bytes, 0x00))
    return true;
  auto unit = [&](std::size_t i) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[i]) << 8 |
                                 static_cast<unsigned char>(bytes[i + 1]));
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const unsigned u = unit(i);
    if (u < 0x20 || (u >= 0xDC00 && u <= 0xDFFF))
      return false;
    if (u >= 0xD800 && u <= 0xDBFF) {
      if (i + 3 >= bytes.size() || unit(i + 2) < 0xDC00 || unit(i + 2) > 0xDFFF)
        return false;
      i += 2;
    }
  }
  return true;
}

// The integer value of a counter's bytes; false when they are no number.
bool counterValue(const Check &check, std::string_view bytes, const PageTable &page,
                  std::int64_t &value) {
  value = 0;
  switch (check.kind) {
  case CheckKind::zoned:
    if (!zonedValid(bytes, check.sign, page))
      return false;
    for (const char c : bytes) {
      const auto b = static_cast<unsigned char>(c);
      const int digit = page.page.ebcdic() ? b & 0xF : (b >= '0' && b <= '9' ? b - '0' : b & 0xF);
      if (page.page.ascii(b) == '+' || page.page.ascii(b) == '-')
        continue;
      value = value * 10 + std::min(digit, 9);
    }
    return true;
  case CheckKind::packed:
  case CheckKind::unsignedPacked:
    if (!packedValid(bytes, check.isSigned, check.kind == CheckKind::packed))
      return false;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      const auto b = static_cast<unsigned char>(bytes[i]);
      value = value * 10 + (b >> 4);
      if (i + 1 < bytes.size() || check.kind == CheckKind::unsignedPacked)
        value = value * 10 + (b & 0xF);
    }
    return true;
  case CheckKind::binary:
    if (bytes.size() > 8)
      return false;
    for (const char c : bytes)
      value = value << 8 | static_cast<unsigned char>(c);
    return true;
  default:
    return false;
  }
}

// A date's digits: month 1 to 12, day 1 to 31 (YYYYMMDD with a year from
// 1900 to 2099); all zeros and all nines stand for "none" and "forever".
bool plausibleDate(std::int64_t value, int digits) {
  if (value == 0 || value == (digits == 8 ? 99999999 : 999999))
    return true;
  const std::int64_t year = value / 10000;
  const std::int64_t month = value / 100 % 100;
  const std::int64_t day = value % 100;
  return month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
         (digits == 6 || (year >= 1900 && year <= 2099));
}

bool valid(const Check &check, std::string_view bytes, const PageTable &page);

bool validDate(const Check &check, std::string_view bytes, const PageTable &page) {
  Check number = check;
  number.date = false;
  std::int64_t value = 0;
  return valid(number, bytes, page) && counterValue(number, bytes, page, value) &&
         plausibleDate(value, check.digits);
}

bool valid(const Check &check, std::string_view bytes, const PageTable &page) {
  if (check.date)
    return validDate(check, bytes, page);
  switch (check.kind) {
  case CheckKind::text:
    return textValid(bytes, page);
  case CheckKind::zoned:
    return zonedValid(bytes, check.sign, page);
  case CheckKind::packed:
    return packedValid(bytes, check.isSigned, true);
  case CheckKind::unsignedPacked:
    return packedValid(bytes, false, false);
  case CheckKind::binary:
    return binaryValid(bytes, check.digits, check.isSigned);
  case CheckKind::edited:
    return editedValid(bytes, page);
  case CheckKind::national:
    return nationalValid(bytes);
  }
  return false;
}

// Kinds whose bytes say much: text is valid almost anywhere.
bool telling(const Check &check) {
  return check.kind != CheckKind::text && check.kind != CheckKind::edited &&
         !(check.kind == CheckKind::binary && (check.digits <= 0 || check.digits > 18));
}

// ---------------------------------------------------------------------------
// Framing: records cut out of the sample.

struct Cut {
  std::int64_t offset = 0; // in the file
  std::string_view data;
  std::int64_t declared = -1;
};

struct Framed {
  std::vector<Cut> records;
  std::int64_t covered = 0; // bytes of the sample inside whole records
  std::int64_t sampled = 0;
  std::int64_t stoppedAt = -1; // V/VB: where the descriptor words stopped fitting
  std::string padded;          // L: storage for lines padded to the record length
  std::vector<std::string> lines;
};

// A descriptor word: its length (with the adjustment) and its zero reserved half.
bool descriptor(std::string_view bytes, std::size_t at, const Framing &f, std::size_t &length) {
  if (at + 4 > bytes.size())
    return false;
  const ShortWord word = readShortWord(bytes.substr(at, 4), f.littleEndianWords);
  if (word.reservedSet)
    return false;
  const long long n = static_cast<long long>(word.length) + f.descriptorAdjust;
  if (n < 5)
    return false;
  length = static_cast<std::size_t>(n);
  return true;
}

void frameVariable(const DataChunk &chunk, const Framing &f, std::int64_t fileSize,
                   std::size_t limit, Framed &out) {
  const std::string_view bytes = chunk.bytes;
  const bool whole = chunk.offset + static_cast<std::int64_t>(bytes.size()) == fileSize;
  std::size_t at = static_cast<std::size_t>(f.skipBytes);
  out.sampled += static_cast<std::int64_t>(bytes.size());
  out.covered += f.skipBytes;
  std::size_t blockEnd = 0;
  while (at < bytes.size() && out.records.size() < limit) {
    std::size_t length = 0;
    if (f.format == RecordFormat::variableBlocked && at >= blockEnd) {
      if (!descriptor(bytes, at, f, length) || length < 9) {
        out.stoppedAt = chunk.offset + static_cast<std::int64_t>(at);
        return;
      }
      blockEnd = at + length;
      at += 4;
      out.covered += 4;
      continue;
    }
    if (!descriptor(bytes, at, f, length) ||
        (f.format == RecordFormat::variableBlocked && at + length > blockEnd)) {
      out.stoppedAt = chunk.offset + static_cast<std::int64_t>(at);
      return;
    }
    if (at + length > bytes.size()) {
      if (whole)
        out.stoppedAt = chunk.offset + static_cast<std::int64_t>(at);
      else
        out.covered += static_cast<std::int64_t>(bytes.size() - at);
      return;
    }
    out.records.push_back(Cut{chunk.offset + static_cast<std::int64_t>(at + 4),
                              bytes.substr(at + 4, length - 4),
                              static_cast<std::int64_t>(length - 4)});
    out.covered += static_cast<std::int64_t>(length);
    at += length;
  }
  if (at < bytes.size())
    out.covered = out.sampled; // the record limit ended the walk, not the data
}

// Records of every chunk, at most `limit` spread evenly over the chunks.
Framed frame(const DataSample &sample, const Framing &f, std::int64_t layoutLength,
             unsigned char space, std::size_t limit) {
  Framed out;
  if (f.format == RecordFormat::variable || f.format == RecordFormat::variableBlocked) {
    // Descriptor words can only be followed from the file's start.
    frameVariable(sample.chunks.front(), f, sample.fileSize, limit, out);
    return out;
  }
  const std::size_t perChunk = std::max<std::size_t>(1, limit / sample.chunks.size());
  for (const DataChunk &chunk : sample.chunks) {
    const std::string_view bytes = chunk.bytes;
    const std::int64_t end = chunk.offset + static_cast<std::int64_t>(bytes.size());
    out.sampled += static_cast<std::int64_t>(bytes.size());
    std::size_t taken = 0;
    if (f.format == RecordFormat::fixed) {
      const std::int64_t L = f.recordLength;
      std::int64_t start = f.skipBytes;
      if (chunk.offset > start)
        start += (chunk.offset - start + L - 1) / L * L;
      out.covered += std::max<std::int64_t>(0, std::min(start, end) - chunk.offset);
      const std::int64_t fitting = std::max<std::int64_t>(0, (end - start) / L);
      const std::int64_t step =
          std::max<std::int64_t>(1, fitting / static_cast<std::int64_t>(perChunk));
      for (std::int64_t r = 0; r < fitting; ++r) {
        if (r % step == 0 && taken < perChunk) {
          out.records.push_back(
              Cut{start + r * L,
                  bytes.substr(static_cast<std::size_t>(start + r * L - chunk.offset),
                               static_cast<std::size_t>(L)),
                  -1});
          ++taken;
        }
        out.covered += L;
      }
      continue;
    }
    // Text lines, each padded to the layout's length as the decoder pads them.
    std::size_t at = 0;
    if (chunk.offset > 0) {
      const std::size_t newline = bytes.find('\n');
      at = newline == std::string_view::npos ? bytes.size() : newline + 1;
    }
    while (at < bytes.size()) {
      const std::size_t newline = bytes.find('\n', at);
      if (newline == std::string_view::npos && end != sample.fileSize)
        break;
      const std::size_t stop = newline == std::string_view::npos ? bytes.size() : newline;
      std::size_t length = stop - at;
      if (length > 0 && bytes[at + length - 1] == '\r')
        --length;
      const std::int64_t used =
          std::min<std::int64_t>(static_cast<std::int64_t>(length), layoutLength);
      out.covered += used + static_cast<std::int64_t>(stop - at - length) +
                     (newline != std::string_view::npos);
      if (taken < perChunk) {
        std::string line(bytes.substr(at, length));
        if (static_cast<std::int64_t>(line.size()) < layoutLength)
          line.append(static_cast<std::size_t>(layoutLength) - line.size(),
                      static_cast<char>(space));
        out.lines.push_back(std::move(line));
        out.records.push_back(Cut{chunk.offset + static_cast<std::int64_t>(at), {}, -1});
        ++taken;
      }
      at = stop + 1;
    }
  }
  for (std::size_t i = 0; i < out.lines.size(); ++i)
    out.records[i].data = out.lines[i];
  return out;
}

// ---------------------------------------------------------------------------
// Scoring a reading of the records.

// How one record fits one record type: the fields checked and those valid,
// REDEFINES areas counted by their best alternative.
struct Fit {
  int type = -1;
  long valid = 0;
  long total = 0;
  double ratio() const {
    return total == 0 ? 0 : static_cast<double>(valid) / static_cast<double>(total);
  }
};

class Scorer {
public:
  Scorer(const RecordModel &model, const Layout &layout) : model_(model), layout_(layout) {
    slotValid_.resize(layout.slots.size());
    slotTotal_.resize(layout.slots.size());
    counts_.resize(layout.tables.size());
  }

  // The fit of `data` to record type `r`; with `perCheck`, each check's
  // validity (1 valid, 0 not, -1 not looked at) at `shift` bytes from its place
  // for the checks from `shiftFrom` on.
  Fit fit(std::string_view data, int r, const PageTable &page,
          std::vector<signed char> *perCheck = nullptr, std::int64_t shiftFrom = INT64_MAX,
          std::int64_t shift = 0) {
    Fit result{r, 0, 0};
    std::fill(slotValid_.begin(), slotValid_.end(), 0);
    std::fill(slotTotal_.begin(), slotTotal_.end(), 0);
    for (std::size_t t = 0; t < counts_.size(); ++t)
      counts_[t] = layout_.tables[t].max;
    const std::vector<int> &checks = layout_.byRecord[static_cast<std::size_t>(r)];
    for (const int c : checks) {
      const Check &check = layout_.checks[static_cast<std::size_t>(c)];
      if (perCheck)
        (*perCheck)[static_cast<std::size_t>(c)] = -1;
      if (check.table >= 0 && check.occurrence >= counts_[static_cast<std::size_t>(check.table)])
        continue;
      std::int64_t at = check.offset;
      if (check.variable)
        for (std::size_t t = 0; t < layout_.tables.size(); ++t) {
          const Table &table = layout_.tables[t];
          if (table.offset + table.max * table.length <= check.offset)
            at -= (table.max - counts_[t]) * table.length;
        }
      if (at >= shiftFrom)
        at += shift;
      bool ok = at >= 0 && at + check.length <= static_cast<std::int64_t>(data.size());
      std::string_view bytes;
      if (ok) {
        bytes = data.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(check.length));
        ok = valid(check, bytes, page);
      }
      if (check.counts >= 0) {
        const Table &table = layout_.tables[static_cast<std::size_t>(check.counts)];
        std::int64_t n = 0;
        if (ok && counterValue(check, bytes, page, n) && n >= table.min && n <= table.max)
          counts_[static_cast<std::size_t>(check.counts)] = n;
        else
          ok = false;
      }
      if (perCheck)
        (*perCheck)[static_cast<std::size_t>(c)] = ok ? 1 : 0;
      if (check.slot >= 0) {
        slotValid_[static_cast<std::size_t>(check.slot)] += ok;
        ++slotTotal_[static_cast<std::size_t>(check.slot)];
        continue;
      }
      result.valid += ok;
      ++result.total;
    }
    for (const Unit &unit : layout_.units) {
      if (unit.record != r)
        continue;
      int best = -1;
      for (const int s : unit.slots) {
        const auto k = static_cast<std::size_t>(s);
        if (slotTotal_[k] == 0)
          continue;
        if (best < 0 || slotValid_[k] * slotTotal_[static_cast<std::size_t>(best)] >
                            slotValid_[static_cast<std::size_t>(best)] * slotTotal_[k])
          best = s;
      }
      if (best >= 0) {
        result.valid += slotValid_[static_cast<std::size_t>(best)];
        result.total += slotTotal_[static_cast<std::size_t>(best)];
      }
    }
    return result;
  }

  // The slot of each area `r` picks for the last fit, -1 where none.
  int bestSlot(const Unit &unit) const {
    int best = -1;
    for (const int s : unit.slots) {
      const auto k = static_cast<std::size_t>(s);
      if (slotTotal_[k] == 0)
        continue;
      if (best < 0 || slotValid_[k] * slotTotal_[static_cast<std::size_t>(best)] >
                          slotValid_[static_cast<std::size_t>(best)] * slotTotal_[k])
        best = s;
    }
    return best;
  }
  // The alternatives that fit the last record as well as the best one.
  std::vector<int> fittingSlots(const Unit &unit) const {
    std::vector<int> fitting;
    const int best = bestSlot(unit);
    if (best < 0)
      return fitting;
    const double top = static_cast<double>(slotValid_[static_cast<std::size_t>(best)]) /
                       static_cast<double>(slotTotal_[static_cast<std::size_t>(best)]);
    for (const int s : unit.slots) {
      const auto k = static_cast<std::size_t>(s);
      if (slotTotal_[k] != 0 &&
          static_cast<double>(slotValid_[k]) / static_cast<double>(slotTotal_[k]) >= top - 1e-9)
        fitting.push_back(s);
    }
    return fitting;
  }

  // The best record type for `data`.
  Fit best(std::string_view data, const PageTable &page, const std::string &record) {
    if (!record.empty())
      return fit(data, model_.findRecord(record), page);
    Fit top;
    for (std::size_t r = 0; r < model_.records.size(); ++r) {
      const Fit f = fit(data, static_cast<int>(r), page);
      if (top.type < 0 || f.valid * std::max(1L, top.total) > top.valid * std::max(1L, f.total))
        top = f;
    }
    return top;
  }

private:
  const RecordModel &model_;
  const Layout &layout_;
  std::vector<long> slotValid_;
  std::vector<long> slotTotal_;
  std::vector<std::int64_t> counts_;
};

// ---------------------------------------------------------------------------
// The search.

std::string formatName(RecordFormat format) {
  switch (format) {
  case RecordFormat::fixed:
    return "F";
  case RecordFormat::variable:
    return "V";
  case RecordFormat::variableBlocked:
    return "VB";
  case RecordFormat::lines:
    return "L";
  }
  return "";
}

std::string describe(const Hypothesis &h) {
  std::string text;
  const Framing &f = h.framing;
  switch (f.format) {
  case RecordFormat::fixed:
    text = "F records of " + std::to_string(f.recordLength) + " bytes";
    break;
  case RecordFormat::variable:
  case RecordFormat::variableBlocked:
    text = formatName(f.format) + " records, " + (f.littleEndianWords ? "little" : "big") +
           "-endian descriptor words" +
           (f.descriptorAdjust == 4 ? " that leave out their own 4 bytes" : "");
    break;
  case RecordFormat::lines:
    text = "text lines";
    break;
  }
  if (f.skipBytes > 0)
    text += " after a " + std::to_string(f.skipBytes) + "-byte header";
  text += ", " + h.codePage;
  if (!h.record.empty())
    text += ", record " + h.record;
  return text;
}

struct Candidate {
  Hypothesis hypothesis;
  Framed framed;
};

class Search {
public:
  Search(const RecordModel &model, const DataSample &sample, const DiagnoseSettings &settings)
      : model_(model), sample_(sample), settings_(settings), layout_(buildLayout(model)),
        scorer_(model, layout_) {
    for (const ModelRecord &record : model.records) {
      layoutLength_ = std::max(layoutLength_, record.length);
      lengths_.insert(record.length);
      if (record.minLength > 0)
        lengths_.insert(record.minLength);
    }
    for (const char *name : candidatePages)
      pages_.push_back(pageTable(name));
  }

  Diagnosis run();

private:
  const PageTable &page(const std::string &name) const {
    for (const PageTable &p : pages_)
      if (p.name == name)
        return p;
    return pages_.front();
  }
  std::vector<Framing> framings() const;
  std::vector<std::int64_t> periods() const;
  bool chainWalks(const Framing &f) const;
  void score(Hypothesis &h, const Framed &framed);
  void choosePage(Hypothesis &h, const Framed &framed, std::vector<std::string> &notes);
  void chooseRecords(Hypothesis &h, const Framed &framed, std::vector<std::string> &notes);
  void decoderWarnings(Hypothesis &h, const Framed &framed, bool best);
  void fieldReport(const Hypothesis &h, const Framed &framed, Diagnosis &d);
  void sizeNotes(Hypothesis &h, const Framed &framed, Diagnosis &d);
  bool leadingHeader(Hypothesis &h);
  std::vector<SampleRecord> mapSample(const Hypothesis &h, const Framed &framed);

  const RecordModel &model_;
  const DataSample &sample_;
  const DiagnoseSettings &settings_;
  Layout layout_;
  Scorer scorer_;
  std::int64_t layoutLength_ = 0;
  std::set<std::int64_t> lengths_;
  std::vector<PageTable> pages_;
};

// Records scored per hypothesis while ranking, and for the best.
constexpr std::size_t rankRecords = 1500;
constexpr std::size_t finalRecords = 6000;
// Fewer records of a layout with many fields: the field checks a pass makes stay bounded.
std::size_t recordsFor(std::size_t limit, std::size_t checks) {
  const std::size_t budget = limit == rankRecords ? 600000 : 2000000;
  return std::clamp<std::size_t>(budget / std::max<std::size_t>(1, checks), 100, limit);
}

bool Search::chainWalks(const Framing &f) const {
  Framed framed;
  frameVariable(sample_.chunks.front(), f, sample_.fileSize, 64, framed);
  const std::size_t wanted = std::min<std::size_t>(
      8, std::max<std::size_t>(1, sample_.chunks.front().bytes.size() / 65536 + 2));
  if (framed.records.size() >= 64)
    return true;
  return framed.stoppedAt < 0 && framed.records.size() >= std::min<std::size_t>(wanted, 2);
}

// Record lengths the bytes repeat at: fixed records put the same kind of
// byte (blanks, zones, sign nibbles) at the same place of every record.
std::vector<std::int64_t> Search::periods() const {
  const std::string &bytes = sample_.chunks.front().bytes;
  const std::int64_t low = std::max<std::int64_t>(2, layoutLength_ / 2);
  const std::int64_t high =
      std::min<std::int64_t>(layoutLength_ * 2, static_cast<std::int64_t>(bytes.size()) / 3);
  if (high <= low)
    return {};
  // About 20 million byte comparisons at most.
  const std::int64_t span =
      std::min<std::int64_t>(static_cast<std::int64_t>(bytes.size()) - high,
                             std::max<std::int64_t>(4096, 20000000 / (high - low + 1)));
  std::vector<std::pair<double, std::int64_t>> similar;
  for (std::int64_t lag = low; lag <= high; ++lag) {
    long same = 0;
    for (std::int64_t i = 0; i < span; ++i)
      same += bytes[static_cast<std::size_t>(i)] == bytes[static_cast<std::size_t>(i + lag)];
    similar.emplace_back(static_cast<double>(same) / static_cast<double>(span), lag);
  }
  std::sort(similar.begin(), similar.end(), [](const auto &a, const auto &b) {
    return a.first > b.first || (a.first == b.first && a.second < b.second);
  });
  std::vector<std::int64_t> out;
  for (const auto &[share, lag] : similar) {
    if (out.size() == 3)
      break;
    // A multiple of a period already taken repeats it.
    if (std::none_of(out.begin(), out.end(), [lag = lag](std::int64_t p) { return lag % p == 0; }))
      out.push_back(lag);
  }
  return out;
}

std::vector<Framing> Search::framings() const {
  std::vector<Framing> out;
  const std::int64_t size = sample_.fileSize;
  std::set<std::int64_t> fixed(lengths_.begin(), lengths_.end());
  // Lengths that divide the size, nearest the layout's first.
  std::vector<std::int64_t> divisors;
  for (std::int64_t n = std::max<std::int64_t>(1, layoutLength_ / 2);
       n <= layoutLength_ * 2 && n <= size; ++n)
    if (size % n == 0 && !fixed.count(n))
      divisors.push_back(n);
  std::sort(divisors.begin(), divisors.end(), [&](std::int64_t a, std::int64_t b) {
    return std::llabs(a - layoutLength_) < std::llabs(b - layoutLength_);
  });
  if (divisors.size() > 8)
    divisors.resize(8);
  fixed.insert(divisors.begin(), divisors.end());
  for (const std::int64_t n : periods())
    fixed.insert(n);
  for (const std::int64_t n : fixed) {
    if (n <= 0)
      continue;
    Framing f;
    f.recordLength = n;
    out.push_back(f);
    if (size % n != 0 && lengths_.count(n) && size % n < n) {
      f.skipBytes = size % n; // a header makes up the difference
      out.push_back(f);
    }
  }
  for (const RecordFormat format : {RecordFormat::variable, RecordFormat::variableBlocked})
    for (const bool little : {false, true})
      for (const int adjust : {0, 4}) {
        Framing f;
        f.format = format;
        f.littleEndianWords = little;
        f.descriptorAdjust = adjust;
        // A header before the first descriptor word: the first offset the words walk from.
        const std::size_t headerLimit =
            std::min<std::size_t>(sample_.chunks.front().bytes.size(), 4096);
        for (std::size_t h = 0; h < headerLimit; ++h) {
          f.skipBytes = static_cast<std::int64_t>(h);
          if (chainWalks(f)) {
            out.push_back(f);
            break;
          }
        }
      }
  const std::string &first = sample_.chunks.front().bytes;
  const std::size_t lines = static_cast<std::size_t>(std::count(first.begin(), first.end(), '\n'));
  if (lines > 0 && first.size() / lines <= static_cast<std::size_t>(layoutLength_) * 2 + 2) {
    Framing f;
    f.format = RecordFormat::lines;
    out.push_back(f);
  }
  return out;
}

void Search::score(Hypothesis &h, const Framed &framed) {
  const PageTable &p = page(h.codePage);
  long valid = 0;
  long total = 0;
  std::size_t lineEnds = 0;
  std::vector<signed char> perCheck(layout_.checks.size());
  std::vector<double> good(layout_.checks.size());
  std::vector<long> seen(layout_.checks.size());
  const int onlyType = !h.record.empty()            ? model_.findRecord(h.record)
                       : model_.records.size() == 1 ? 0
                                                    : -1;
  for (const Cut &cut : framed.records) {
    // One record type: one pass gives the fit and each field's validity.
    const Fit f = onlyType >= 0 ? scorer_.fit(cut.data, onlyType, p, &perCheck)
                                : scorer_.best(cut.data, p, h.record);
    valid += f.valid;
    total += f.total;
    if (onlyType < 0)
      scorer_.fit(cut.data, f.type, p, &perCheck);
    for (const int c : layout_.byRecord[static_cast<std::size_t>(f.type)]) {
      const auto k = static_cast<std::size_t>(c);
      if (perCheck[k] < 0)
        continue;
      // A field past the record's end is missing, neither valid nor invalid:
      // records too short for the layout are not consistent for it.
      const Check &check = layout_.checks[k];
      const bool missing = perCheck[k] == 0 && !check.variable &&
                           check.offset + check.length > static_cast<std::int64_t>(cut.data.size());
      good[k] += missing ? 0.5 : perCheck[k];
      ++seen[k];
    }
    // A record longer than the longest type leaves bytes no field reads.
    const auto size = static_cast<std::int64_t>(cut.data.size());
    if (h.framing.format != RecordFormat::lines && size > layoutLength_)
      total +=
          (size - layoutLength_) * std::max(1L, f.total) / std::max<std::int64_t>(1, layoutLength_);
    lineEnds += !cut.data.empty() && cut.data.back() == '\n';
  }
  h.records = static_cast<long long>(framed.records.size());
  h.validity = total == 0 ? 0 : static_cast<double>(valid) / static_cast<double>(total);
  h.coverage = framed.sampled == 0 ? 0
                                   : std::min(1.0, static_cast<double>(framed.covered) /
                                                       static_cast<double>(framed.sampled));
  // A field of the right framing is valid in almost every record or, when
  // the copybook differs from the data, in almost none; a wrong framing
  // mixes both. That consistency ranks framings even when no copybook fits.
  double consistent = 0;
  double weight = 0;
  for (std::size_t c = 0; c < layout_.checks.size(); ++c) {
    if (seen[c] == 0)
      continue;
    const double rate = good[c] / static_cast<double>(seen[c]);
    consistent += static_cast<double>(seen[c]) * std::max(rate, 1 - rate);
    weight += static_cast<double>(seen[c]);
  }
  h.consistency = weight == 0 ? 0 : consistent / weight;
  // A handful of records is always consistent: it counts in full from 20 on.
  const double trust = std::min(1.0, static_cast<double>(framed.records.size()) / 20);
  h.score = h.coverage * (h.validity + trust * h.consistency + (1 - trust) * h.validity) / 2;
  if (framed.records.empty())
    h.score = 0;
  // Among equals, the plainest reading: no header, a size that fits.
  if (h.framing.skipBytes > 0)
    h.score *= 0.995;
  if (h.framing.format == RecordFormat::fixed &&
      (sample_.fileSize - h.framing.skipBytes) % h.framing.recordLength != 0)
    h.score *= 0.99;
  // Fixed records that all end in a line end are text lines.
  if (h.framing.format == RecordFormat::fixed && lineEnds * 10 >= framed.records.size() * 9)
    h.score *= 0.9;
}

// The code page whose text is most plausible among those of the family the
// framing's text fits; the default IBM037 (or ASCII) when they tie.
void Search::choosePage(Hypothesis &h, const Framed &framed, std::vector<std::string> &notes) {
  const bool ebcdic = page(h.codePage).page.ebcdic();
  struct Judged {
    std::string name;
    double validity;
    double plausible;
    double characters;
  };
  // Only text fields valid in nearly every record judge the page: a text
  // field over other bytes (a copybook that does not fit) says nothing.
  const std::size_t n = std::min<std::size_t>(framed.records.size(), 800);
  std::vector<long> good(layout_.checks.size());
  std::vector<long> seen(layout_.checks.size());
  std::vector<signed char> perCheck(layout_.checks.size());
  for (std::size_t i = 0; i < n; ++i) {
    const PageTable &p = page(h.codePage);
    const Fit f = scorer_.best(framed.records[i].data, p, h.record);
    scorer_.fit(framed.records[i].data, f.type, p, &perCheck);
    for (const int c : layout_.byRecord[static_cast<std::size_t>(f.type)])
      if (perCheck[static_cast<std::size_t>(c)] >= 0) {
        good[static_cast<std::size_t>(c)] += perCheck[static_cast<std::size_t>(c)];
        ++seen[static_cast<std::size_t>(c)];
      }
  }
  std::vector<char> steady(layout_.checks.size());
  for (std::size_t c = 0; c < steady.size(); ++c)
    steady[c] =
        layout_.checks[c].kind == CheckKind::text && seen[c] > 0 && good[c] * 20 >= seen[c] * 19;
  std::vector<Judged> judged;
  for (const PageTable &p : pages_) {
    if (p.page.ebcdic() != ebcdic)
      continue;
    double sum = 0;
    double weight = 0;
    long valid = 0;
    long total = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const Fit f = scorer_.best(framed.records[i].data, p, h.record);
      valid += f.valid;
      total += f.total;
      scorer_.fit(framed.records[i].data, f.type, p, &perCheck);
      for (const int c : layout_.byRecord[static_cast<std::size_t>(f.type)]) {
        const Check &check = layout_.checks[static_cast<std::size_t>(c)];
        if (!steady[static_cast<std::size_t>(c)] || perCheck[static_cast<std::size_t>(c)] != 1)
          continue;
        const std::string_view bytes = framed.records[i].data.substr(
            static_cast<std::size_t>(check.offset), static_cast<std::size_t>(check.length));
        if (!uniform(bytes, 0) && !uniform(bytes, 0xFF))
          sum += plausibility(bytes, p, weight);
      }
    }
    judged.push_back({p.name,
                      total == 0 ? 0 : static_cast<double>(valid) / static_cast<double>(total),
                      weight == 0 ? 1 : sum / weight, weight});
  }
  if (judged.empty())
    return;
  double topValidity = 0;
  for (const Judged &j : judged)
    topValidity = std::max(topValidity, j.validity);
  // The most plausible text among the pages that leave no more fields invalid
  // than the best; the first listed (the most used) among equals.
  // A page other than the first must read clearly better: sign bytes of
  // zoned numbers read as text ("{" or "ä") must not decide.
  const Judged *best = nullptr;
  for (const Judged &j : judged)
    if (j.validity >= topValidity - 0.002 &&
        (!best || j.plausible > best->plausible + std::max(0.002, 2 / std::max(1.0, j.characters))))
      best = &j;
  h.codePage = best->name;
  std::vector<std::string> equal;
  for (const Judged &j : judged)
    if (j.name != best->name && j.validity >= topValidity - 0.002 &&
        std::fabs(j.plausible - best->plausible) <=
            std::max(0.002, 2 / std::max(1.0, j.characters)))
      equal.push_back(j.name);
  if (!equal.empty() && ebcdic) {
    std::string list;
    for (const std::string &name : equal)
      list += (list.empty() ? "" : ", ") + name;
    notes.push_back("code page " + best->name + ": " + list +
                    " read the text as well (it has no characters that tell them apart)");
  }
}

std::string quoted(const std::string &word) {
  if (!word.empty() &&
      word.find_first_not_of(
          "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.,:=/+@%") ==
          std::string::npos)
    return word;
  std::string out = "'";
  for (const char c : word)
    out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// The value a -when rule writes for the bytes of a key field.
std::optional<std::string> keyValue(const Check &check, std::string_view bytes,
                                    const PageTable &page) {
  if (check.kind == CheckKind::text) {
    std::string text;
    page.page.appendText(bytes, text);
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    if (text.empty() ||
        text.find_first_of("\x01\x02\x03\x04\x05\x06\x07\x08\x0a\x0d") != std::string::npos ||
        text.find("\xEF\xBF\xBD") != std::string::npos)
      return std::nullopt;
    return text;
  }
  std::int64_t value = 0;
  if (!valid(check, bytes, page) || !counterValue(check, bytes, page, value))
    return std::nullopt;
  if (check.kind == CheckKind::binary && check.isSigned && bytes.size() < 8 &&
      (static_cast<unsigned char>(bytes.front()) & 0x80))
    value -= static_cast<std::int64_t>(1) << (8 * bytes.size());
  bool negative = false;
  if (check.kind == CheckKind::zoned && page.page.ebcdic())
    negative = ((static_cast<unsigned char>(check.sign == SignForm::leading ? bytes.front()
                                                                            : bytes.back())) >>
                4) == 0xD;
  if ((check.kind == CheckKind::packed) && (bytes.back() & 0xF) == 0xD)
    negative = true;
  return std::to_string(negative ? -value : value);
}

// -record or -when: which record type (and which REDEFINES alternative)
// each record is, read from a key field when the types take turns.
void Search::chooseRecords(Hypothesis &h, const Framed &framed, std::vector<std::string> &notes) {
  const PageTable &p = page(h.codePage);
  const std::size_t n = std::min<std::size_t>(framed.records.size(), finalRecords);
  if (n == 0)
    return;
  // What fits each record: the types as good as the best, and per area the alternatives.
  std::vector<std::vector<int>> fittingTypes(n);
  std::vector<int> typeOf(n);
  std::vector<std::map<int, std::vector<int>>> fittingSlots(n); // unit -> slots
  std::map<int, long> typeCount;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string_view data = framed.records[i].data;
    const Fit top = scorer_.best(data, p, "");
    for (std::size_t r = 0; r < model_.records.size(); ++r) {
      const Fit f = scorer_.fit(data, static_cast<int>(r), p);
      if (f.valid * std::max(1L, top.total) >= top.valid * std::max(1L, f.total))
        fittingTypes[i].push_back(static_cast<int>(r));
    }
    typeOf[i] = top.type;
    ++typeCount[top.type];
    scorer_.fit(data, top.type, p);
    for (std::size_t u = 0; u < layout_.units.size(); ++u)
      if (layout_.units[u].record == top.type)
        fittingSlots[i][static_cast<int>(u)] = scorer_.fittingSlots(layout_.units[u]);
  }
  // A choice is needed when no one choice fits (almost) every record.
  auto keyFor = [&](const std::function<std::vector<int>(std::size_t)> &fits, int record,
                    std::vector<std::pair<std::string, int>> &mapping) -> int {
    // Candidates: short fields outside any area, of the record (or any record).
    int bestCheck = -1;
    double bestShare = 0;
    std::size_t bestValues = 0;
    for (std::size_t c = 0; c < layout_.checks.size(); ++c) {
      const Check &check = layout_.checks[c];
      const ModelItem &item = model_.items[static_cast<std::size_t>(check.item)];
      if (check.slot >= 0 || check.table >= 0 || item.occurs || check.length > 8 ||
          check.offset > 256 || item.isFiller() || (record >= 0 && check.record != record))
        continue;
      std::map<std::string, std::map<int, long>> votes;
      long considered = 0;
      for (std::size_t i = 0; i < n; ++i) {
        if (record >= 0 && typeOf[i] != record)
          continue;
        const std::string_view data = framed.records[i].data;
        if (check.offset + check.length > static_cast<std::int64_t>(data.size()))
          continue;
        const std::optional<std::string> value =
            keyValue(check,
                     data.substr(static_cast<std::size_t>(check.offset),
                                 static_cast<std::size_t>(check.length)),
                     p);
        if (!value)
          continue;
        ++considered;
        for (const int choice : fits(i))
          ++votes[*value][choice];
        if (votes.size() > 24)
          break;
      }
      if (votes.size() > 24 || considered == 0 || votes.size() < 2)
        continue;
      long agreed = 0;
      for (const auto &[value, counts] : votes) {
        long top = 0;
        for (const auto &[choice, count] : counts)
          top = std::max(top, count);
        agreed += top;
      }
      const double share = static_cast<double>(agreed) / static_cast<double>(n);
      if (share > bestShare + 1e-9 || (share > bestShare - 1e-9 && votes.size() < bestValues)) {
        bestShare = share;
        bestCheck = static_cast<int>(c);
        bestValues = votes.size();
        mapping.clear();
        for (const auto &[value, counts] : votes) {
          int choice = -1;
          long top = 0;
          for (const auto &[k, count] : counts)
            if (count > top) {
              top = count;
              choice = k;
            }
          mapping.emplace_back(value, choice);
        }
      }
    }
    return bestShare >= 0.95 ? bestCheck : -1;
  };
  auto nameOfCheck = [&](int c) {
    const ModelItem &item =
        model_.items[static_cast<std::size_t>(layout_.checks[static_cast<std::size_t>(c)].item)];
    return model_.findAll(item.key).size() == 1 ? item.key : item.path;
  };
  // Record types.
  if (model_.records.size() > 1) {
    std::map<int, long> fitsAll;
    for (std::size_t i = 0; i < n; ++i)
      for (const int r : fittingTypes[i])
        ++fitsAll[r];
    int common = -1;
    for (const auto &[r, count] : fitsAll)
      if (static_cast<double>(count) >= 0.97 * static_cast<double>(n) &&
          (common < 0 || count > fitsAll[common]))
        common = r;
    if (common >= 0) {
      h.record = model_.records[static_cast<std::size_t>(common)].name;
    } else {
      std::vector<std::pair<std::string, int>> mapping;
      const int key = keyFor([&](std::size_t i) { return fittingTypes[i]; }, -1, mapping);
      if (key >= 0) {
        for (const auto &[value, r] : mapping)
          h.rules.push_back(
              {nameOfCheck(key), value, model_.records[static_cast<std::size_t>(r)].name});
      } else {
        notes.push_back("the records are of several types and no short field tells them apart");
      }
    }
  }
  // REDEFINES alternatives, area by area.
  for (std::size_t u = 0; u < layout_.units.size(); ++u) {
    const Unit &unit = layout_.units[u];
    if (!h.record.empty() && model_.records[static_cast<std::size_t>(unit.record)].name != h.record)
      continue;
    std::map<int, long> fitsAll;
    long considered = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const auto found = fittingSlots[i].find(static_cast<int>(u));
      if (found == fittingSlots[i].end())
        continue;
      ++considered;
      for (const int s : found->second)
        ++fitsAll[s];
    }
    bool oneFits = considered == 0;
    for (const auto &[s, count] : fitsAll)
      oneFits = oneFits || static_cast<double>(count) >= 0.97 * static_cast<double>(considered);
    if (oneFits)
      continue;
    std::vector<std::pair<std::string, int>> mapping;
    const int key = keyFor(
        [&](std::size_t i) {
          const auto found = fittingSlots[i].find(static_cast<int>(u));
          return found == fittingSlots[i].end() ? std::vector<int>() : found->second;
        },
        unit.record, mapping);
    if (key < 0) {
      notes.push_back("no short field tells which alternative of " +
                      model_.items[static_cast<std::size_t>(unit.item)].path + " a record holds");
      continue;
    }
    for (const auto &[value, s] : mapping) {
      const ModelItem &alternative =
          model_.items[static_cast<std::size_t>(layout_.slots[static_cast<std::size_t>(s)].item)];
      if (!alternative.isFiller())
        h.rules.push_back({nameOfCheck(key), value, alternative.key});
    }
  }
}

DecodeOptions decodeOptionsOf(const Hypothesis &h) {
  DecodeOptions options;
  options.recordFormat = h.framing.format;
  options.recordLength = h.framing.recordLength;
  options.codePage = h.codePage;
  options.record = h.record;
  options.rules = h.rules;
  options.quiet = true;
  return options;
}

// The records the record decoder itself warns about under the hypothesis.
void Search::decoderWarnings(Hypothesis &h, const Framed &framed, bool best) {
  DecodePlan plan;
  try {
    plan = makeDecodePlan(model_, decodeOptionsOf(h));
  } catch (const PlanError &) {
    h.warned = -1;
    return;
  }
  RecordDecoder decoder(plan, decodeOptionsOf(h), page(h.codePage).page);
  std::string out;
  std::vector<DecodeProblem> problems;
  long long warned = 0;
  // The record decoder writes every value: fewer records of a wide layout,
  // fewer still for the runners-up, whose bad values cost a warning each.
  const std::size_t n = std::min<std::size_t>(
      framed.records.size(),
      std::clamp<std::size_t>((best ? 400000 : 100000) /
                                  std::max<std::size_t>(1, layout_.checks.size()),
                              100, finalRecords));
  for (std::size_t i = 0; i < n; ++i) {
    const Cut &cut = framed.records[i];
    out.clear();
    problems.clear();
    decoder.decode(cut.data, cut.declared, out, problems);
    if (h.framing.format == RecordFormat::fixed &&
        static_cast<std::int64_t>(cut.data.size()) < h.framing.recordLength && problems.empty())
      problems.push_back({});
    warned += !problems.empty();
  }
  h.warned = warned;
  h.records = static_cast<long long>(n);
}

std::string usageText(const ModelItem &item) {
  const std::string usage = usageName(item.usage);
  return usage.empty() ? "DISPLAY" : usage;
}

// The weak fields of the best hypothesis and, when validity falls from one
// offset on, the shift that makes the rest fit.
void Search::fieldReport(const Hypothesis &h, const Framed &framed, Diagnosis &d) {
  const PageTable &p = page(h.codePage);
  const std::size_t n = std::min<std::size_t>(framed.records.size(), finalRecords);
  std::map<int, long> typeCount;
  std::vector<int> typeOf(n);
  for (std::size_t i = 0; i < n; ++i) {
    typeOf[i] = scorer_.best(framed.records[i].data, p, h.record).type;
    ++typeCount[typeOf[i]];
  }
  if (typeCount.empty())
    return;
  const int type =
      std::max_element(typeCount.begin(), typeCount.end(), [](const auto &a, const auto &b) {
        return a.second < b.second;
      })->first;
  std::vector<signed char> perCheck(layout_.checks.size());
  std::vector<long> good(layout_.checks.size());
  std::vector<long> seen(layout_.checks.size());
  std::vector<std::size_t> records;
  for (std::size_t i = 0; i < n; ++i) {
    if (typeOf[i] != type)
      continue;
    records.push_back(i);
    scorer_.fit(framed.records[i].data, type, p, &perCheck);
    for (const int c : layout_.byRecord[static_cast<std::size_t>(type)]) {
      const signed char v = perCheck[static_cast<std::size_t>(c)];
      if (v < 0)
        continue;
      good[static_cast<std::size_t>(c)] += v;
      ++seen[static_cast<std::size_t>(c)];
    }
  }
  // Per item, over its occurrences; areas whose alternative is not the one chosen do not count.
  std::map<int, std::pair<long, long>> byItem;
  std::vector<int> order;
  for (const int c : layout_.byRecord[static_cast<std::size_t>(type)]) {
    const Check &check = layout_.checks[static_cast<std::size_t>(c)];
    if (check.slot >= 0 || seen[static_cast<std::size_t>(c)] == 0)
      continue;
    auto &[g, s] = byItem[check.item];
    if (s == 0)
      order.push_back(check.item);
    g += good[static_cast<std::size_t>(c)];
    s += seen[static_cast<std::size_t>(c)];
  }
  for (const int item : order) {
    const auto &[g, s] = byItem[item];
    const double v = static_cast<double>(g) / static_cast<double>(s);
    if (v < 0.9) {
      const ModelItem &m = model_.items[static_cast<std::size_t>(item)];
      d.weakFields.push_back(WeakField{m.path, usageText(m), m.offset, m.length, v, s});
    }
  }
  // A shift: the first offset from which the fields fail.
  std::vector<int> checks;
  for (const int c : layout_.byRecord[static_cast<std::size_t>(type)]) {
    const Check &check = layout_.checks[static_cast<std::size_t>(c)];
    if (check.slot < 0 && check.table < 0 && !check.variable &&
        seen[static_cast<std::size_t>(c)] > 0)
      checks.push_back(c);
  }
  std::stable_sort(checks.begin(), checks.end(), [&](int a, int b) {
    return layout_.checks[static_cast<std::size_t>(a)].offset <
           layout_.checks[static_cast<std::size_t>(b)].offset;
  });
  if (checks.size() < 3 || records.size() < 8)
    return;
  auto rate = [&](int c) {
    return static_cast<double>(good[static_cast<std::size_t>(c)]) /
           static_cast<double>(seen[static_cast<std::size_t>(c)]);
  };
  std::vector<double> prefix(checks.size() + 1);
  for (std::size_t i = 0; i < checks.size(); ++i)
    prefix[i + 1] = prefix[i] + rate(checks[i]);
  std::size_t split = 0;
  double bestGap = 0;
  for (std::size_t i = 1; i + 1 < checks.size(); ++i) {
    const double before = prefix[i] / static_cast<double>(i);
    const double after =
        (prefix[checks.size()] - prefix[i]) / static_cast<double>(checks.size() - i);
    std::size_t tellingAfter = 0;
    for (std::size_t k = i; k < checks.size(); ++k)
      tellingAfter += telling(layout_.checks[static_cast<std::size_t>(checks[k])]);
    if (before >= 0.9 && after <= 0.75 && tellingAfter >= 1 && before - after > bestGap &&
        rate(checks[i]) < 0.9) {
      bestGap = before - after;
      split = i;
    }
  }
  if (split == 0)
    return;
  const std::int64_t from = layout_.checks[static_cast<std::size_t>(checks[split])].offset;
  const std::size_t tried = std::min<std::size_t>(records.size(), 150);
  auto shiftedValidity = [&](std::int64_t shift) {
    long g = 0;
    long s = 0;
    for (std::size_t k = 0; k < tried; ++k) {
      scorer_.fit(framed.records[records[k]].data, type, p, &perCheck, from, shift);
      for (std::size_t i = split; i < checks.size(); ++i) {
        const Check &check = layout_.checks[static_cast<std::size_t>(checks[i])];
        if (!telling(check) && shift != 0)
          continue;
        const signed char v = perCheck[static_cast<std::size_t>(checks[i])];
        g += v > 0;
        ++s;
      }
    }
    return s == 0 ? 0.0 : static_cast<double>(g) / static_cast<double>(s);
  };
  double bestShifted = 0;
  std::int64_t bestShift = 0;
  for (std::int64_t shift = -std::min<std::int64_t>(from, 256); shift <= 256; ++shift) {
    if (shift == 0)
      continue;
    const double v = shiftedValidity(shift);
    if (v > bestShifted + 1e-9 ||
        (v > bestShifted - 1e-9 && std::llabs(shift) < std::llabs(bestShift))) {
      bestShifted = v;
      bestShift = shift;
    }
  }
  Shift s;
  s.offset = from;
  s.before = prefix[split] / static_cast<double>(split);
  s.after = (prefix[checks.size()] - prefix[split]) / static_cast<double>(checks.size() - split);
  s.shift = bestShifted >= 0.85 && bestShifted > s.after + 0.2 ? bestShift : 0;
  s.shifted = s.shift != 0 ? bestShifted : 0;
  s.field = model_
                .items[static_cast<std::size_t>(
                    layout_.checks[static_cast<std::size_t>(checks[split])].item)]
                .path;
  d.shift = s;
}

// A header as long as whole records (or longer than one) frames like
// records: the first few F records that fit far worse than the rest are
// taken into -skip-bytes. True when the header grew.
bool Search::leadingHeader(Hypothesis &h) {
  if (h.framing.format != RecordFormat::fixed || h.validity < 0.9)
    return false;
  const PageTable &p = page(h.codePage);
  const std::string &first = sample_.chunks.front().bytes;
  const std::int64_t L = h.framing.recordLength;
  int leading = 0;
  for (std::int64_t at = h.framing.skipBytes;
       leading < 16 && at + L <= static_cast<std::int64_t>(first.size()); at += L, ++leading) {
    const Fit f = scorer_.best(
        std::string_view(first).substr(static_cast<std::size_t>(at), static_cast<std::size_t>(L)),
        p, h.record);
    if (f.total == 0 || f.ratio() > 0.5)
      break;
  }
  if (leading == 0 || leading == 16)
    return false;
  h.framing.skipBytes += leading * L;
  return true;
}

void Search::sizeNotes(Hypothesis &h, const Framed &framed, Diagnosis &d) {
  const Framing &f = h.framing;
  const std::int64_t size = sample_.fileSize;
  if (f.skipBytes > 0)
    d.notes.push_back("the first " + std::to_string(f.skipBytes) +
                      " bytes are no record (a header): -skip-bytes " +
                      std::to_string(f.skipBytes) + " passes over them");
  if (f.format == RecordFormat::fixed) {
    const std::int64_t rest = (size - f.skipBytes) % f.recordLength;
    if (rest == 0)
      return;
    const std::int64_t records = (size - f.skipBytes) / f.recordLength;
    std::string text = "the file size " + std::to_string(size) +
                       (f.skipBytes ? " less the header" : "") + " is " + std::to_string(records) +
                       " records of " + std::to_string(f.recordLength) + " bytes and " +
                       std::to_string(rest) + " bytes more";
    // The tail: the first bytes of a cut record, or a trailer.
    const DataChunk &last = sample_.chunks.back();
    const std::string_view tail =
        std::string_view(last.bytes).substr(last.bytes.size() - static_cast<std::size_t>(rest));
    const PageTable &p = page(h.codePage);
    std::vector<signed char> perCheck(layout_.checks.size());
    const int type = h.record.empty() ? 0 : std::max(0, model_.findRecord(h.record));
    // The fields within the tail are compared with the same fields of the
    // whole records: a cut record is as valid as they are, even where the
    // copybook does not fit them.
    std::vector<long> good(layout_.checks.size());
    std::vector<long> seen(layout_.checks.size());
    const std::size_t n = std::min<std::size_t>(framed.records.size(), 400);
    for (std::size_t i = 0; i < n; ++i) {
      scorer_.fit(framed.records[i].data, type, p, &perCheck);
      for (const int c : layout_.byRecord[static_cast<std::size_t>(type)])
        if (perCheck[static_cast<std::size_t>(c)] >= 0) {
          good[static_cast<std::size_t>(c)] += perCheck[static_cast<std::size_t>(c)];
          ++seen[static_cast<std::size_t>(c)];
        }
    }
    scorer_.fit(tail, type, p, &perCheck);
    double g = 0;
    double expected = 0;
    long s = 0;
    for (const int c : layout_.byRecord[static_cast<std::size_t>(type)]) {
      const Check &check = layout_.checks[static_cast<std::size_t>(c)];
      const auto k = static_cast<std::size_t>(c);
      if (check.offset + check.length <= rest && perCheck[k] >= 0) {
        g += perCheck[k];
        expected += seen[k] == 0 ? 1 : static_cast<double>(good[k]) / static_cast<double>(seen[k]);
        ++s;
      }
    }
    if (s > 0 && g >= expected - 0.2 * static_cast<double>(s)) {
      text += ": the last record is cut short (its first " + std::to_string(rest) +
              " bytes look like the start of a record); the decoder warns \"truncated record\" "
              "for it";
    } else {
      text += ": they do not fit the layout, a trailer: -skip-trailer-bytes " +
              std::to_string(rest) + " leaves them out";
      h.framing.skipTrailerBytes = rest;
    }
    d.notes.push_back(text);
    return;
  }
  if (f.format != RecordFormat::lines && framed.stoppedAt >= 0)
    d.notes.push_back("the descriptor words stop fitting at byte " +
                      std::to_string(framed.stoppedAt) + " of " + std::to_string(size) +
                      (framed.stoppedAt + 4 > size ? ": the file ends inside a descriptor word"
                                                   : ": a trailer, or a record cut short"));
}

// The value the decoder's field readers give, for the map page.
std::string valueText(const ModelItem &item, const Check &check, std::string_view bytes,
                      const CodePage &page) {
  std::string out;
  const int scale = item.picture ? static_cast<int>(item.picture->scale) : 0;
  bool ok = true;
  switch (check.kind) {
  case CheckKind::text:
    page.appendText(bytes, out);
    break;
  case CheckKind::national:
    appendUtf16(bytes, out);
    break;
  case CheckKind::zoned: {
    const ZonedSign sign = check.sign == SignForm::leading            ? ZonedSign::leading
                           : check.sign == SignForm::trailing         ? ZonedSign::trailing
                           : check.sign == SignForm::leadingSeparate  ? ZonedSign::leadingSeparate
                           : check.sign == SignForm::trailingSeparate ? ZonedSign::trailingSeparate
                                                                      : ZonedSign::none;
    ok = decodeZoned(bytes, sign, scale, page, out);
    break;
  }
  case CheckKind::packed:
    ok = decodePacked(bytes, check.isSigned, scale, out);
    break;
  case CheckKind::unsignedPacked:
    ok = decodeUnsignedPacked(bytes, scale, out);
    break;
  case CheckKind::binary:
    decodeBinary(bytes, check.isSigned, false, scale, out);
    break;
  case CheckKind::edited:
    // Checked against the picture as the decoder checks it.
    ok = item.picture && decodeEdited(bytes, *item.picture, item.blankWhenZero, page, out);
    break;
  }
  return ok ? out : std::string();
}

std::vector<SampleRecord> Search::mapSample(const Hypothesis &h, const Framed &framed) {
  std::vector<SampleRecord> out;
  const PageTable &p = page(h.codePage);
  std::vector<signed char> perCheck(layout_.checks.size());
  for (std::size_t i = 0;
       i < framed.records.size() && out.size() < static_cast<std::size_t>(settings_.mapRecords);
       ++i) {
    const Cut &cut = framed.records[i];
    const Fit f = scorer_.best(cut.data, p, h.record);
    scorer_.fit(cut.data, f.type, p, &perCheck);
    SampleRecord record;
    record.fileOffset = cut.offset;
    record.bytes = std::string(cut.data);
    record.recordName = model_.records[static_cast<std::size_t>(f.type)].name;
    // Of each REDEFINES area, the alternative that fits the record best.
    std::set<int> chosen;
    for (const Unit &unit : layout_.units)
      if (unit.record == f.type)
        chosen.insert(scorer_.bestSlot(unit));
    auto shown = [&](const Check &check) {
      return check.slot < 0 || chosen.count(check.slot) != 0;
    };
    std::set<int> invalid;
    for (const int c : layout_.byRecord[static_cast<std::size_t>(f.type)])
      if (perCheck[static_cast<std::size_t>(c)] == 0 &&
          shown(layout_.checks[static_cast<std::size_t>(c)]))
        invalid.insert(layout_.checks[static_cast<std::size_t>(c)].item);
    record.invalidItems.assign(invalid.begin(), invalid.end());
    std::set<int> written;
    for (const int c : layout_.byRecord[static_cast<std::size_t>(f.type)]) {
      const Check &check = layout_.checks[static_cast<std::size_t>(c)];
      if (!check.first || !shown(check) || !written.insert(check.item).second ||
          check.offset + check.length > static_cast<std::int64_t>(cut.data.size()))
        continue;
      record.values.emplace_back(
          check.item, valueText(model_.items[static_cast<std::size_t>(check.item)], check,
                                cut.data.substr(static_cast<std::size_t>(check.offset),
                                                static_cast<std::size_t>(check.length)),
                                p.page));
    }
    out.push_back(std::move(record));
  }
  return out;
}

std::string percent(double share) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", 100 * share);
  return text;
}

// Why `loser` scores lower than `best`, in words.
std::string whyLoses(const Hypothesis &loser, const Hypothesis &best) {
  std::string why;
  if (loser.records == 0)
    return "no whole record in the sample";
  if (loser.coverage < best.coverage - 0.01)
    why = "frames only " + percent(loser.coverage) + " of the sample";
  if (loser.validity < best.validity - 0.005)
    why += (why.empty() ? "" : "; ") + std::string("fields valid ") + percent(loser.validity) +
           " against " + percent(best.validity);
  if (why.empty() && loser.consistency < best.consistency - 0.02)
    why = "fields valid in some records and invalid in others (consistency " +
          percent(loser.consistency) + " against " + percent(best.consistency) +
          "): records do not start where this reading cuts them";
  if (why.empty() && loser.warned > best.warned && loser.warned >= 0)
    why = std::to_string(loser.warned) + " records with decoder warnings against " +
          std::to_string(best.warned);
  if (why.empty())
    why = "as good, but a less likely reading (header, size that does not fit, or text lines)";
  return why;
}

Diagnosis Search::run() {
  Diagnosis d;
  d.layoutLength = layoutLength_;
  std::vector<Candidate> candidates;
  for (const Framing &f : framings()) {
    Candidate best;
    for (const char *name : {"IBM037", "ASCII"}) {
      Candidate c;
      c.hypothesis.framing = f;
      c.hypothesis.codePage = name;
      const unsigned char space = page(name).page.space();
      c.framed =
          frame(sample_, f, layoutLength_, space, recordsFor(rankRecords, layout_.checks.size()));
      score(c.hypothesis, c.framed);
      if (best.hypothesis.records == 0 || c.hypothesis.score > best.hypothesis.score)
        best = std::move(c);
    }
    candidates.push_back(std::move(best));
  }
  if (candidates.empty())
    throw DiagnoseError{"vexfcbl-decode: the data file is empty\n"};
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate &a, const Candidate &b) {
                     return a.hypothesis.score > b.hypothesis.score;
                   });
  if (candidates.size() > static_cast<std::size_t>(settings_.shown))
    candidates.resize(static_cast<std::size_t>(settings_.shown));
  // The best reading refined: its code page within the family, its record types.
  Candidate &top = candidates.front();
  top.framed = frame(sample_, top.hypothesis.framing, layoutLength_,
                     page(top.hypothesis.codePage).page.space(),
                     recordsFor(finalRecords, layout_.checks.size()));
  choosePage(top.hypothesis, top.framed, d.notes);
  if (top.hypothesis.framing.format == RecordFormat::lines)
    top.framed = frame(sample_, top.hypothesis.framing, layoutLength_,
                       page(top.hypothesis.codePage).page.space(),
                       recordsFor(finalRecords, layout_.checks.size()));
  chooseRecords(top.hypothesis, top.framed, d.notes);
  if (leadingHeader(top.hypothesis))
    top.framed = frame(sample_, top.hypothesis.framing, layoutLength_,
                       page(top.hypothesis.codePage).page.space(),
                       recordsFor(finalRecords, layout_.checks.size()));
  score(top.hypothesis, top.framed);
  for (Candidate &c : candidates) {
    if (&c != &top) {
      c.hypothesis.record = top.hypothesis.record;
      c.hypothesis.rules = top.hypothesis.rules;
    }
    decoderWarnings(c.hypothesis, c.framed, &c == &top);
  }
  // The decoder's own warnings settle near ties.
  std::stable_sort(candidates.begin() + 1, candidates.end(),
                   [](const Candidate &a, const Candidate &b) {
                     return a.hypothesis.score > b.hypothesis.score;
                   });
  for (std::size_t i = 1; i < candidates.size(); ++i)
    candidates[i].hypothesis.why = whyLoses(candidates[i].hypothesis, top.hypothesis);
  fieldReport(top.hypothesis, top.framed, d);
  sizeNotes(top.hypothesis, top.framed, d);
  for (const Candidate &c : candidates) {
    d.hypotheses.push_back(c.hypothesis);
    d.samples.push_back(mapSample(c.hypothesis, c.framed));
  }
  const Hypothesis &best = d.hypotheses.front();
  d.fits = best.validity >= 0.9 && best.coverage >= 0.95 &&
           (best.warned <= 0 ||
            static_cast<double>(best.warned) <= 0.1 * static_cast<double>(best.records));
  return d;
}

} // namespace

std::vector<std::string> Hypothesis::options(std::int64_t layoutLength) const {
  std::vector<std::string> out;
  if (framing.format != RecordFormat::fixed)
    out.insert(out.end(), {"-recfm", formatName(framing.format)});
  if (framing.format == RecordFormat::fixed && framing.recordLength != layoutLength)
    out.insert(out.end(), {"-lrecl", std::to_string(framing.recordLength)});
  if (framing.format == RecordFormat::variable || framing.format == RecordFormat::variableBlocked) {
    if (framing.littleEndianWords)
      out.insert(out.end(), {"-rdw", "little"});
    if (framing.descriptorAdjust != 0)
      out.insert(out.end(), {"-rdw-adjust", std::to_string(framing.descriptorAdjust)});
  }
  if (framing.skipBytes > 0)
    out.insert(out.end(), {"-skip-bytes", std::to_string(framing.skipBytes)});
  if (framing.skipTrailerBytes > 0)
    out.insert(out.end(), {"-skip-trailer-bytes", std::to_string(framing.skipTrailerBytes)});
  if (codePage != "IBM037")
    out.insert(out.end(), {"-codepage", codePage});
  if (!record.empty())
    out.insert(out.end(), {"-record", record});
  for (const SelectionRule &rule : rules)
    out.insert(out.end(), {"-when", rule.field + "=" + rule.value + ":" + rule.target});
  return out;
}

DataSample readSample(const std::string &path, std::int64_t sampleBytes) {
  struct Close {
    void operator()(std::FILE *f) const { std::fclose(f); }
  };
  const std::unique_ptr<std::FILE, Close> file(std::fopen(path.c_str(), "rb"));
  if (!file)
    throw DiagnoseError{"vexfcbl-decode: cannot read " + path + ": " + std::strerror(errno) + "\n"};
  DataSample sample;
  if (::fseeko(file.get(), 0, SEEK_END) != 0 || (sample.fileSize = ::ftello(file.get())) < 0)
    throw DiagnoseError{"vexfcbl-decode: cannot read " + path + ": " + std::strerror(errno) +
                        " (-diagnose needs a file it can seek in)\n"};
  auto read = [&](std::int64_t offset, std::int64_t count) {
    DataChunk chunk{offset, std::string(static_cast<std::size_t>(count), '\0')};
    errno = 0;
    if (::fseeko(file.get(), offset, SEEK_SET) != 0 ||
        std::fread(chunk.bytes.data(), 1, chunk.bytes.size(), file.get()) != chunk.bytes.size())
      throw DiagnoseError{
          "vexfcbl-decode: cannot read " + path + ": " +
          (errno != 0 ? std::strerror(errno) : "the file changed while it was read") + "\n"};
    sample.chunks.push_back(std::move(chunk));
  };
  if (sample.fileSize == 0)
    throw DiagnoseError{"vexfcbl-decode: " + path + " is empty: there is nothing to diagnose\n"};
  if (sample.fileSize <= sampleBytes) {
    read(0, sample.fileSize);
    return sample;
  }
  const std::int64_t piece = sampleBytes / 4;
  read(0, piece);
  // Three more pieces: two spread over the middle and one at the end.
  for (const std::int64_t at :
       {sample.fileSize / 3, 2 * sample.fileSize / 3, sample.fileSize - piece})
    if (at >= sample.chunks.back().offset + piece)
      read(at, std::min(piece, sample.fileSize - at));
  if (sample.chunks.back().offset + static_cast<std::int64_t>(sample.chunks.back().bytes.size()) !=
      sample.fileSize)
    read(sample.fileSize - piece, piece);
  return sample;
}

Diagnosis diagnose(const RecordModel &model, const DataSample &sample,
                   const DiagnoseSettings &settings) {
  if (model.records.empty())
    throw DiagnoseError{"vexfcbl-decode: the copybook has no record\n"};
  // A count the decoder cannot read fails every reading alike: say so, as
  // decoding would, instead of recommending a command that fails.
  for (const ModelItem &item : model.items)
    if (item.occurs && item.occurs->dependingOn >= 0)
      if (const auto why = notACount(model.items[static_cast<std::size_t>(item.occurs->dependingOn)]))
        throw DiagnoseError{countRefusal(item, *why)};
  Search search(model, sample, settings);
  return search.run();
}

std::string commandLine(const Hypothesis &h, std::int64_t layoutLength, const std::string &copybook,
                        const std::string &dataFile) {
  std::string text = "vexfcbl-decode -i " + quoted(copybook);
  for (const std::string &option : h.options(layoutLength))
    text += " " + quoted(option);
  return text + " " + quoted(dataFile);
}

std::string diagnosisText(const Diagnosis &d, const std::string &copybook,
                          const std::string &dataFile) {
  std::ostringstream out;
  const Hypothesis &best = d.hypotheses.front();
  auto line = [&](const Hypothesis &h) {
    std::string text = describe(h) + ": score " +
                       std::to_string(static_cast<int>(std::lround(h.score * 100))) +
                       " (fields valid " + percent(h.validity) + ", bytes framed " +
                       percent(h.coverage) + ", " + std::to_string(h.records) + " records";
    if (h.warned >= 0)
      text += ", " + std::to_string(h.warned) + " with decoder warnings";
    return text + ")";
  };
  out << (d.fits ? "Best fit: " : "No reading fits well; the best found: ") << line(best) << "\n";
  out << "  " << commandLine(best, d.layoutLength, copybook, dataFile) << "\n";
  if (d.hypotheses.size() > 1) {
    out << "Runners-up:\n";
    for (std::size_t i = 1; i < d.hypotheses.size(); ++i)
      out << "  " << line(d.hypotheses[i]) << "\n    loses: " << d.hypotheses[i].why << "\n";
  }
  if (d.shift) {
    const Shift &s = *d.shift;
    out << "From byte " << s.offset << " on (" << s.field << "), fields are valid "
        << percent(s.after) << " against " << percent(s.before) << " before";
    if (s.shift > 0)
      out << "; values fit " << s.shift << " bytes later (" << percent(s.shifted)
          << "): the copybook may lack a " << s.shift << "-byte item before " << s.field
          << ", or an OCCURS count differs";
    else if (s.shift < 0)
      out << "; values fit " << -s.shift << " bytes earlier (" << percent(s.shifted)
          << "): the copybook may have a " << -s.shift << "-byte item the data lacks before "
          << s.field << ", or an OCCURS count differs";
    out << "\n";
  }
  if (!d.weakFields.empty()) {
    out << "Fields with invalid values under the best reading:\n";
    for (std::size_t i = 0; i < d.weakFields.size() && i < 12; ++i) {
      const WeakField &w = d.weakFields[i];
      out << "  " << w.path << " (" << w.usage << ", offset " << w.offset << ", " << w.length
          << " bytes): valid " << percent(w.validity) << " of " << w.checked << "\n";
    }
    if (d.weakFields.size() > 12)
      out << "  ... and " << d.weakFields.size() - 12 << " more\n";
  }
  for (const std::string &note : d.notes)
    out << "Note: " << note << "\n";
  return out.str();
}

std::string diagnosisJson(const Diagnosis &d, const std::string &copybook,
                          const std::string &dataFile) {
  using nlohmann::ordered_json;
  ordered_json out;
  out["copybook"] = copybook;
  out["data"] = dataFile;
  out["fits"] = d.fits;
  out["hypotheses"] = ordered_json::array();
  for (const Hypothesis &h : d.hypotheses) {
    ordered_json j;
    j["recfm"] = formatName(h.framing.format);
    if (h.framing.format == RecordFormat::fixed)
      j["lrecl"] = h.framing.recordLength;
    if (h.framing.format == RecordFormat::variable ||
        h.framing.format == RecordFormat::variableBlocked) {
      j["rdw"] = h.framing.littleEndianWords ? "little" : "big";
      j["rdwAdjust"] = h.framing.descriptorAdjust;
    }
    j["skipBytes"] = h.framing.skipBytes;
    j["skipTrailerBytes"] = h.framing.skipTrailerBytes;
    j["codepage"] = h.codePage;
    if (!h.record.empty())
      j["record"] = h.record;
    j["when"] = ordered_json::array();
    for (const SelectionRule &rule : h.rules)
      j["when"].push_back(rule.field + "=" + rule.value + ":" + rule.target);
    j["score"] = std::round(h.score * 10000) / 10000;
    j["validity"] = std::round(h.validity * 10000) / 10000;
    j["coverage"] = std::round(h.coverage * 10000) / 10000;
    j["records"] = h.records;
    j["warned"] = h.warned;
    j["options"] = h.options(d.layoutLength);
    j["command"] = commandLine(h, d.layoutLength, copybook, dataFile);
    if (!h.why.empty())
      j["loses"] = h.why;
    out["hypotheses"].push_back(j);
  }
  out["weakFields"] = ordered_json::array();
  for (const WeakField &w : d.weakFields)
    out["weakFields"].push_back({{"path", w.path},
                                 {"usage", w.usage},
                                 {"offset", w.offset},
                                 {"length", w.length},
                                 {"validity", std::round(w.validity * 10000) / 10000},
                                 {"checked", w.checked}});
  if (d.shift)
    out["shift"] = {{"offset", d.shift->offset},
                    {"field", d.shift->field},
                    {"shift", d.shift->shift},
                    {"before", std::round(d.shift->before * 10000) / 10000},
                    {"after", std::round(d.shift->after * 10000) / 10000},
                    {"shifted", std::round(d.shift->shifted * 10000) / 10000}};
  out["notes"] = d.notes;
  return out.dump(2) + "\n";
}

namespace {

// Writes `text` to `path` through the decoder's output spool: the file
// appears whole or not at all.
void writeWhole(const std::string &path, const std::string &text,
                const std::vector<RunInput> &inputs) {
  DecodeOutput output(path, inputs);
  if (std::fwrite(text.data(), 1, text.size(), output.stream()) != text.size())
    throw RunFileError{output.failure()};
  output.commit();
}

RecordMapPage mapPage(const Diagnosis &d, const std::string &copybook,
                      const std::string &dataFile) {
  RecordMapPage page;
  page.title = copybook + " on " + dataFile;
  for (std::size_t i = 0; i < d.hypotheses.size(); ++i) {
    const Hypothesis &h = d.hypotheses[i];
    RecordMapReading reading;
    reading.label = describe(h);
    reading.command = commandLine(h, d.layoutLength, copybook, dataFile);
    reading.score = h.score;
    for (const SampleRecord &s : d.samples[i]) {
      RecordMapRecord r;
      r.fileOffset = s.fileOffset;
      r.bytes = s.bytes;
      r.record = s.recordName;
      r.invalidItems = s.invalidItems;
      r.values = s.values;
      reading.records.push_back(std::move(r));
    }
    reading.codePage = h.codePage;
    page.readings.push_back(std::move(reading));
  }
  return page;
}

} // namespace

int diagnoseFile(const std::string &copybook, const FrontEndOptions &frontEnd,
                 const DecodeOptions &decode, const std::string &dataFile,
                 const DiagnoseSettings &settings, const DiagnoseOutputs &outputs) {
  FrontEndResult parsed = ParseCopybook(copybook, frontEnd);
  RunState::Scope scope(parsed.run());
  if (parsed.errorCount() != 0) {
    std::fputs(vexCblMsg::sourceErrors, stderr);
    return 1;
  }
  VexCblConfig config;
  config.commaDecimalPoint = decode.commaDecimalPoint;
  config.lenient = frontEnd.lenient;
  try {
    const RecordModel model = buildRecordModel(parsed.entries(), config);
    const std::vector<RunInput> files = checkDataFiles({dataFile}, 0);
    const DataSample sample = readSample(dataFile, settings.sampleBytes);
    const Diagnosis d = diagnose(model, sample, settings);
    std::vector<RunInput> inputs = files;
    for (RunInput &input : copybookInputs(parsed.filesRead()))
      inputs.push_back(std::move(input));
    if (!outputs.json.empty())
      writeWhole(outputs.json, diagnosisJson(d, copybook, dataFile), inputs);
    if (!outputs.html.empty()) {
      std::ostringstream html;
      writeRecordMapHtml(html, model, mapPage(d, copybook, dataFile));
      writeWhole(outputs.html, html.str(), inputs);
    }
    const std::string text = diagnosisText(d, copybook, dataFile);
    std::fputs(text.c_str(), stdout);
    if (std::fflush(stdout) != 0)
      return 1;
    return d.fits ? 0 : 2;
  } catch (const ModelError &) {
    return 1;
  } catch (const DiagnoseError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  } catch (const RunFileError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  }
}

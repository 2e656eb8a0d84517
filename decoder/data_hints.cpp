// The hint's tests: descriptor-word chains, line ends, byte statistics of the two code page
// families, the file size.
#include "decoder/data_hints.h"

#include <string_view>

#include "decoder/framing.h"

namespace {

// How descriptor words hold their lengths: -rdw and -rdw-adjust.
struct WordForm {
  bool little = false;
  std::int64_t adjust = 0;
};

// A descriptor word: a length of at least `least` (the word included) in
// the byte order and with the adjustment of `form`, then two zero bytes.
bool descriptor(std::string_view head, std::size_t at, std::size_t least, std::size_t &length,
                WordForm form = {}) {
  if (at + 4 > head.size())
    return false;
  const ShortWord word = readShortWord(head.substr(at, 4), form.little);
  if (word.reservedSet)
    return false;
  const std::int64_t value = word.length + form.adjust;
  if (value < static_cast<std::int64_t>(least))
    return false;
  length = static_cast<std::size_t>(value);
  return true;
}

// Whether a chain of units that ended at `end` after `count` units fits a
// file of `size` bytes whose first bytes are `head`: it ends exactly at the
// end of a file read whole, or it ran on beyond the sample of a larger file
// with enough units that chance is ruled out.
bool chainFits(std::string_view head, std::int64_t size, std::size_t end, int count) {
  const auto sampled = static_cast<std::int64_t>(head.size());
  if (size >= 0 && static_cast<std::int64_t>(end) == size)
    return count >= 1;
  if (size >= 0 && static_cast<std::int64_t>(end) > size)
    return false;
  return sampled < size && count >= 3;
}

// Records that each start with a record descriptor word (RDW).
bool looksVariable(std::string_view head, std::int64_t size, WordForm form = {}) {
  std::size_t at = 0;
  int count = 0;
  for (std::size_t length = 0; at + 4 <= head.size(); at += length, ++count)
    if (!descriptor(head, at, 5, length, form))
      return false;
  if (at < head.size() && static_cast<std::int64_t>(head.size()) == size)
    return false; // bytes left at the end that are no record
  return chainFits(head, size, at, count);
}

// Blocks that start with a block descriptor word (BDW) and hold records
// with their RDWs that fill the block exactly.
bool looksBlocked(std::string_view head, std::int64_t size, WordForm form = {}) {
  std::size_t at = 0;
  int count = 0;
  for (std::size_t block = 0; at + 4 <= head.size(); at += block, ++count) {
    if (!descriptor(head, at, 9, block, form))
      return false;
    std::size_t record = at + 4;
    for (std::size_t length = 0; record < at + block && record + 4 <= head.size(); record += length)
      if (!descriptor(head, record, 5, length, form))
        return false;
    if (record < head.size() && record != at + block)
      return false;
  }
  return chainFits(head, size, at, count);
}

// Text lines: printable ASCII with line ends that are not simply the last
// byte of every fixed-length record.
bool looksLikeLines(std::string_view head, std::int64_t recordLength) {
  std::size_t printable = 0;
  std::size_t newlines = 0;
  bool everyRecordEnd = true;
  for (std::size_t i = 0; i < head.size(); ++i) {
    const auto b = static_cast<unsigned char>(head[i]);
    if ((b >= 0x20 && b < 0x7F) || b == '\t' || b == '\r')
      ++printable;
    if (b == '\n') {
      ++newlines;
      everyRecordEnd = everyRecordEnd && static_cast<std::int64_t>(i + 1) % recordLength == 0;
    }
  }
  return newlines >= 2 && !everyRecordEnd && (printable + newlines) * 20 >= head.size() * 19;
}

// Bytes that are letters, digits or blanks in ASCII, and in EBCDIC. The two
// sets do not meet, and neither holds the bytes of small binary numbers.
bool asciiText(unsigned char b) {
  return b == 0x20 || (b >= 0x30 && b <= 0x39) || (b >= 0x41 && b <= 0x5A) ||
         (b >= 0x61 && b <= 0x7A);
}
bool ebcdicText(unsigned char b) {
  return b == 0x40 || (b >= 0x81 && b <= 0x89) || (b >= 0x91 && b <= 0x99) ||
         (b >= 0xA2 && b <= 0xA9) || (b >= 0xC1 && b <= 0xC9) || (b >= 0xD1 && b <= 0xD9) ||
         (b >= 0xE2 && b <= 0xE9) || (b >= 0xF0 && b <= 0xF9);
}

enum class Family { unknown, ascii, ebcdic };

// The code page family the text looks written in: at least half of the
// bytes (EBCDIC: 3 in 10, its numbers often being packed) are text of one
// family and four times as many as of the other.
Family textFamily(std::string_view head) {
  if (head.size() < 16)
    return Family::unknown;
  std::size_t ascii = 0;
  std::size_t ebcdic = 0;
  for (const char c : head) {
    ascii += asciiText(static_cast<unsigned char>(c));
    ebcdic += ebcdicText(static_cast<unsigned char>(c));
  }
  if (ascii * 2 >= head.size() && ascii >= 4 * ebcdic)
    return Family::ascii;
  if (ebcdic * 10 >= head.size() * 3 && ebcdic >= 4 * ascii)
    return Family::ebcdic;
  return Family::unknown;
}

std::string number(std::int64_t n) { return std::to_string(n); }

// The hint one file gives, or empty.
std::string fileHint(const HintSettings &settings, const RunInput &file) {
  const std::string_view head = file.head;
  const std::string &name = file.name;
  const bool fixedOrLines =
      settings.format == RecordFormat::fixed || settings.format == RecordFormat::lines;
  if (settings.format != RecordFormat::variableBlocked && looksBlocked(head, file.size))
    return "hint: " + name +
           " looks like blocked records (block and record descriptor words): try -recfm VB";
  if (settings.format != RecordFormat::variable && looksVariable(head, file.size) &&
      (fixedOrLines || !looksBlocked(head, file.size)))
    return "hint: " + name + " looks like RDW records (record descriptor words): try -recfm V";
  // V or VB whose descriptor words do not chain as -rdw and -rdw-adjust
  // read them, but do in another byte order or counting their own bytes.
  if (!fixedOrLines) {
    const bool blocked = settings.format == RecordFormat::variableBlocked;
    const auto chains = [&](WordForm form) {
      return blocked ? looksBlocked(head, file.size, form) : looksVariable(head, file.size, form);
    };
    const WordForm given{settings.littleEndianWords, settings.descriptorAdjust};
    if (!chains(given))
      for (const WordForm form :
           {WordForm{false, 0}, WordForm{true, 0}, WordForm{false, 4}, WordForm{true, 4}})
        if (chains(form))
          return "hint: " + name + "'s descriptor words read as " +
                 (form.little ? "little" : "big") + "-endian lengths" +
                 (form.adjust != 0 ? " that leave out the word's 4 bytes" : "") + ": try -rdw " +
                 (form.little ? "little" : "big") + " -rdw-adjust " + number(form.adjust);
  }
  const Family family = textFamily(head);
  if (settings.format == RecordFormat::fixed && looksLikeLines(head, settings.recordLength))
    return "hint: " + name + " looks like text lines: try -recfm L" +
           (settings.ebcdic ? " -codepage ASCII" : "");
  if (settings.ebcdic && family == Family::ascii)
    return "hint: the text of " + name + " looks like ASCII, not " + settings.codePage +
           ": try -codepage ASCII";
  if (!settings.ebcdic && family == Family::ebcdic)
    return "hint: the text of " + name + " looks like EBCDIC, not " + settings.codePage +
           ": try -codepage IBM037 (or the code page the file was written in)";
  if (settings.format == RecordFormat::fixed && settings.wholeFiles && file.size >= 0 &&
      file.size % settings.recordLength != 0) {
    const std::string size = name + " is " + number(file.size) + " bytes, ";
    if (settings.lengthGiven && settings.layoutLength != settings.recordLength &&
        file.size % settings.layoutLength == 0)
      return "hint: " + size + "not a multiple of -lrecl " + number(settings.recordLength) +
             " but of the copybook's record length " + number(settings.layoutLength) +
             ": try without -lrecl";
    return "hint: " + size + "not a multiple of the record length " +
           number(settings.recordLength) +
           (settings.lengthGiven ? " (-lrecl): check -lrecl"
                                 : ": check that the copybook is the file's, or give -lrecl");
  }
  return "";
}

} // namespace

std::string dataHint(const HintSettings &settings, const std::vector<RunInput> &files,
                     long long read, long long warned) {
  for (const RunInput &file : files)
    if (std::string hint = fileHint(settings, file); !hint.empty())
      return hint;
  if (!settings.wholeFiles || read <= 0 || warned * 2 <= read)
    return "";
  const std::string counts =
      "hint: " + std::to_string(warned) + " of " + std::to_string(read) + " records have warnings";
  if (settings.format == RecordFormat::fixed && settings.lengthGiven &&
      settings.recordLength != settings.layoutLength)
    return counts + ", and -lrecl " + number(settings.recordLength) +
           " is not the copybook's record length " + number(settings.layoutLength) +
           ": check -lrecl";
  return counts + ": check that the copybook describes the data, and -recfm, -lrecl, " +
         "-codepage and -byteorder";
}

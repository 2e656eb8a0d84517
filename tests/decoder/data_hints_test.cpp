// The hint for data that does not fit the options: descriptor words under the wrong -recfm,
// text lines read as F, the code page family, the file size, mostly warned records; and
// silence on data that fits. The bytes are put together here, apart from any decoder code.
#include "decoder/data_hints.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// An EBCDIC record of 20 bytes as IBM037 writes "0001ALICE  " and friends:
// zoned digits F0-F9, letters C1-E9, blanks 40, a packed 12345C.
std::string ebcdicRecord(int i) {
  std::string r = {'\xF0', '\xF0', '\xF0', static_cast<char>('\xF0' + i % 10)};
  r += "\xC1\xD3\xC9\xC3\xC5\x40\x40\x40\x40\x40"; // ALICE
  r += std::string("\x00\x12\x34\x5C", 4);         // packed +123.45
  r += "\xF0\xF7";
  return r;
}

std::string half(std::size_t n) { return {static_cast<char>(n >> 8), static_cast<char>(n & 0xFF)}; }

// Record descriptor word + data.
std::string withRdw(const std::string &data) { return half(data.size() + 4) + '\0' + '\0' + data; }

RunInput file(const std::string &bytes, std::int64_t size = -2) {
  RunInput input;
  input.name = "d.dat";
  input.head = bytes;
  input.size = size == -2 ? static_cast<std::int64_t>(bytes.size()) : size;
  input.regular = true;
  return input;
}

HintSettings settings(RecordFormat format = RecordFormat::fixed, bool ebcdic = true) {
  HintSettings s;
  s.format = format;
  s.recordLength = 20;
  s.layoutLength = 20;
  s.ebcdic = ebcdic;
  s.codePage = ebcdic ? "IBM037" : "ASCII";
  return s;
}

std::string records(int count, const std::function<std::string(int)> &make) {
  std::string bytes;
  for (int i = 0; i < count; ++i)
    bytes += make(i);
  return bytes;
}

TEST(DataHints, DataThatFitsItsOptionsGetsNone) {
  const std::string fixed = records(50, ebcdicRecord);
  const std::string variable = records(50, [](int i) { return withRdw(ebcdicRecord(i)); });
  std::string blocked;
  for (int b = 0; b < 10; ++b) {
    const std::string block = records(5, [](int i) { return withRdw(ebcdicRecord(i)); });
    blocked += withRdw(block);
  }
  EXPECT_EQ(dataHint(settings(), {file(fixed)}, 50, 3), "");
  EXPECT_EQ(dataHint(settings(RecordFormat::variable), {file(variable)}, 50, 0), "");
  EXPECT_EQ(dataHint(settings(RecordFormat::variableBlocked), {file(blocked)}, 50, 0), "");
  // ASCII lines read as lines, in ASCII.
  const std::string lines = "000001 JOHN SMITH   BOSTON\n000002 MARY JONES   DENVER\n";
  EXPECT_EQ(dataHint(settings(RecordFormat::lines, false), {file(lines)}, 2, 0), "");
  // A fixed ASCII record whose last byte is a line end is still a fixed record.
  const std::string ended = records(10, [](int i) {
    return "00000" + std::to_string(i % 10) + "JOHN SMITH BO\n";
  });
  EXPECT_EQ(dataHint(settings(RecordFormat::fixed, false), {file(ended)}, 10, 0), "");
  // Half the records warned is not more than half.
  EXPECT_EQ(dataHint(settings(), {file(fixed)}, 50, 25), "");
}

TEST(DataHints, DescriptorWordsUnderAnotherRecordFormat) {
  const std::string variable = records(40, [](int i) { return withRdw(ebcdicRecord(i)); });
  const std::string rdw = "hint: d.dat looks like RDW records (record descriptor words): try -recfm V";
  EXPECT_EQ(dataHint(settings(), {file(variable)}, 40, 40), rdw);
  EXPECT_EQ(dataHint(settings(RecordFormat::lines), {file(variable)}, 1, 1), rdw);
  EXPECT_EQ(dataHint(settings(RecordFormat::variableBlocked), {file(variable)}, 3, 3), rdw);
  // A sample of a larger file: the chain runs on beyond the bytes looked at.
  EXPECT_EQ(dataHint(settings(), {file(variable.substr(0, 100), 1 << 20)}, -1, -1), rdw);
  // One record that fills the whole file exactly.
  EXPECT_EQ(dataHint(settings(), {file(withRdw(ebcdicRecord(1)))}, 2, 2), rdw);

  std::string blocked;
  for (int b = 0; b < 4; ++b)
    blocked += withRdw(records(3, [](int i) { return withRdw(ebcdicRecord(i)); }));
  const std::string vb =
      "hint: d.dat looks like blocked records (block and record descriptor words): try -recfm VB";
  EXPECT_EQ(dataHint(settings(), {file(blocked)}, 9, 9), vb);
  EXPECT_EQ(dataHint(settings(RecordFormat::variable), {file(blocked)}, 4, 4), vb);

  // Near misses (read as lines, which have no size to check): a length past
  // the file's end, nonzero bytes after the length, bytes left over at the
  // end, too short a chain in a big file.
  const HintSettings lines = settings(RecordFormat::lines);
  EXPECT_EQ(dataHint(lines, {file(variable.substr(0, 30))}, -1, -1), "");
  std::string flagged = variable;
  flagged[2] = '\x01';
  EXPECT_EQ(dataHint(lines, {file(flagged)}, -1, -1), "");
  EXPECT_EQ(dataHint(lines, {file(variable + "\x40\x40")}, -1, -1), "");
  EXPECT_EQ(dataHint(lines, {file(variable.substr(0, 48), 1 << 20)}, -1, -1), "");
}

TEST(DataHints, TextLinesReadAsFixedRecords) {
  const std::string lines = "000001 JOHN SMITH BOSTON\n000002 MARY JONES DENVER CO\r\n000003 X\n";
  EXPECT_EQ(dataHint(settings(), {file(lines)}, 3, 3),
            "hint: d.dat looks like text lines: try -recfm L -codepage ASCII");
  EXPECT_EQ(dataHint(settings(RecordFormat::fixed, false), {file(lines)}, 3, 0),
            "hint: d.dat looks like text lines: try -recfm L");
}

TEST(DataHints, TextOfTheOtherCodePageFamily) {
  const std::string ascii =
      records(30, [](int i) { return "00000" + std::to_string(i % 10) + "MARY JONES  DENVER"; });
  EXPECT_EQ(dataHint(settings(), {file(ascii)}, 30, 30),
            "hint: the text of d.dat looks like ASCII, not IBM037: try -codepage ASCII");
  HintSettings utf8 = settings(RecordFormat::fixed, false);
  utf8.codePage = "UTF-8";
  EXPECT_EQ(dataHint(utf8, {file(records(50, ebcdicRecord))}, 50, 0),
            "hint: the text of d.dat looks like EBCDIC, not UTF-8: try -codepage IBM037 (or the "
            "code page the file was written in)");
  // Mostly binary data says nothing of its code page.
  const std::string binary = records(40, [](int i) {
    return std::string("\x00\x00\x01", 3) + static_cast<char>(i) + std::string(16, '\x00');
  });
  EXPECT_EQ(dataHint(settings(), {file(binary)}, 40, 0), "");
  EXPECT_EQ(dataHint(settings(RecordFormat::fixed, false), {file(binary)}, 40, 0), "");
}

TEST(DataHints, FixedFileSizeAndRecordLength) {
  const std::string fixed = records(5, ebcdicRecord);
  EXPECT_EQ(dataHint(settings(), {file(fixed + "\xF0\xF1\xF2")}, 6, 1),
            "hint: d.dat is 103 bytes, not a multiple of the record length 20: check that the "
            "copybook is the file's, or give -lrecl");
  HintSettings given = settings();
  given.lengthGiven = true;
  given.recordLength = 30;
  EXPECT_EQ(dataHint(given, {file(fixed)}, 4, 2),
            "hint: d.dat is 100 bytes, not a multiple of -lrecl 30 but of the copybook's record "
            "length 20: try without -lrecl");
  given.recordLength = 40;
  EXPECT_EQ(dataHint(given, {file(fixed + "\xF0")}, 3, 1),
            "hint: d.dat is 101 bytes, not a multiple of the record length 40 (-lrecl): check "
            "-lrecl");
  // A range decodes part of the file: its size says nothing then.
  HintSettings range = settings();
  range.wholeFiles = false;
  EXPECT_EQ(dataHint(range, {file(fixed + "\xF0")}, 5, 5), "");
  // A pipe has no size.
  EXPECT_EQ(dataHint(settings(), {file(fixed + "\xF0", -1)}, 5, 0), "");
}

TEST(DataHints, MostRecordsWarnedNamesWhatToCheck) {
  const std::string fixed = records(10, ebcdicRecord);
  EXPECT_EQ(dataHint(settings(), {file(fixed)}, 10, 6),
            "hint: 6 of 10 records have warnings: check that the copybook describes the data, "
            "and -recfm, -lrecl, -codepage and -byteorder");
  HintSettings given = settings();
  given.lengthGiven = true;
  given.recordLength = 25;
  EXPECT_EQ(dataHint(given, {file(fixed)}, 8, 8),
            "hint: 8 of 8 records have warnings, and -lrecl 25 is not the copybook's record "
            "length 20: check -lrecl");
  // Counts of a part of a file, or nothing decoded: no hint from them.
  HintSettings range = settings();
  range.wholeFiles = false;
  EXPECT_EQ(dataHint(range, {file(fixed)}, 10, 10), "");
  EXPECT_EQ(dataHint(settings(), {file(fixed)}, -1, -1), "");
  EXPECT_EQ(dataHint(settings(), {}, 0, 0), "");
}

TEST(DataHints, TheFirstFileThatShowsACauseIsNamed) {
  RunInput good = file(records(10, ebcdicRecord));
  good.name = "good.dat";
  RunInput v = file(records(10, [](int i) { return withRdw(ebcdicRecord(i)); }));
  v.name = "v.dat";
  EXPECT_EQ(dataHint(settings(), {good, v}, 20, 15),
            "hint: v.dat looks like RDW records (record descriptor words): try -recfm V");
}

} // namespace

// Descriptor words in another byte order, or leaving out their own 4 bytes,
// than -rdw and -rdw-adjust say: the hint names the options that read them.
TEST(DataHints, DescriptorWordsOfAnotherFormNameTheirOptions) {
  const auto littleRdw = [](const std::string &data, std::size_t adjust) {
    const std::size_t n = data.size() + adjust;
    return std::string{static_cast<char>(n & 0xFF), static_cast<char>(n >> 8), '\0', '\0'} + data;
  };
  const std::string little = records(30, [&](int i) { return littleRdw(ebcdicRecord(i), 4); });
  const std::string omitting = records(30, [&](int i) { return littleRdw(ebcdicRecord(i), 0); });
  const std::string big = records(30, [](int i) { return withRdw(ebcdicRecord(i)); });
  EXPECT_EQ(dataHint(settings(RecordFormat::variable), {file(little)}, -1, -1),
            "hint: d.dat's descriptor words read as little-endian lengths: try -rdw little "
            "-rdw-adjust 0");
  EXPECT_EQ(dataHint(settings(RecordFormat::variable), {file(omitting)}, -1, -1),
            "hint: d.dat's descriptor words read as little-endian lengths that leave out the "
            "word's 4 bytes: try -rdw little -rdw-adjust 4");
  HintSettings given = settings(RecordFormat::variable);
  given.littleEndianWords = true;
  given.descriptorAdjust = 4;
  EXPECT_EQ(dataHint(given, {file(omitting)}, -1, -1), "");
  EXPECT_EQ(dataHint(given, {file(big)}, -1, -1),
            "hint: d.dat's descriptor words read as big-endian lengths: try -rdw big "
            "-rdw-adjust 0");
  // The whole word reversed (a big-endian word stored as a little-endian
  // 32-bit number): the reserved bytes first, then the length's low byte.
  const auto reversedRdw = [](const std::string &data) {
    const std::size_t n = data.size();
    return std::string{'\0', '\0', static_cast<char>(n & 0xFF), static_cast<char>(n >> 8)} + data;
  };
  const std::string reversed = records(30, [&](int i) { return reversedRdw(ebcdicRecord(i)); });
  EXPECT_EQ(dataHint(settings(RecordFormat::variable), {file(reversed)}, -1, -1),
            "hint: d.dat's descriptor words read as little-endian lengths that leave out the "
            "word's 4 bytes: try -rdw little -rdw-adjust 4");
  EXPECT_EQ(dataHint(given, {file(reversed)}, -1, -1), "");
}

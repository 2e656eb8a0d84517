// Compares the decoder's reading of a data file GnuCOBOL wrote with GnuCOBOL's own DISPLAY.
#include <gtest/gtest.h>
#include <iconv.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "converter/conversion_run.h"
#include "decoder/decode_run.h"
#include "record/model_builder.h"
#include "tests/cobc_support.h"

// A program compiled with `cobc -std=ibm -x` moves known values into a record
// of the copybook below, writes the record to a sequential file and DISPLAYs
// every field (a number through a MOVE to PIC -(19)9.9(9), since -std=ibm
// DISPLAYs a number's digits without its point). The decoder reads the file
// with -codepage ASCII and -format csv; every column must equal the DISPLAYed
// value. Numbers are compared after normalising the text only: GnuCOBOL
// shows "   12.500000000" where the decoder writes "12.50" (a leading "+",
// leading zeros, trailing zeros of the fraction and the sign of zero are
// dropped on both sides). COMP-1 and COMP-2 are compared as doubles.
//
// Runs: big-endian binary for BINARY/COMP/COMP-4 (which GnuCOBOL stores
// big-endian under -std=ibm); `-byteorder little -float ieee` for COMP-5 and
// COMP-1/COMP-2 (native order on this x86 host). A third run turns the
// DISPLAY bytes of the fields outside tables into IBM037 with iconv, sets the
// EBCDIC sign zones of embedded-sign zoned fields, and decodes with the
// default code page.
//
// A second copybook holds the usages that -lenient reads for GnuCOBOL; it is
// compiled in GnuCOBOL's default dialect and decoded with -lenient.
//
// Knowingly left out:
//  - P-scaled COMP-3: GnuCOBOL 3.1 stores it wrongly (see
//    tests/converter/cobc_crosscheck_test.cpp); P scaling is checked on zoned.
//  - Fields inside OCCURS in the EBCDIC run: converting their bytes would need
//    the occurrence walk the decoder itself does.

namespace {

namespace fs = std::filesystem;

const char ibmCopybook[] = "       01  CHK-REC.\n"
                           "           05  C-TEXT   PIC X(6).\n"
                           "           05  C-ALPHA  PIC A(3).\n"
                           "           05  C-ZU     PIC 9(5).\n"
                           "           05  C-ZS     PIC S9(4)V99.\n"
                           "           05  C-ZL     PIC S9(3) SIGN LEADING.\n"
                           "           05  C-ZLS    PIC S9(3)V9 SIGN LEADING SEPARATE.\n"
                           "           05  C-ZTS    PIC S9(4) SIGN TRAILING SEPARATE.\n"
                           "           05  C-ZP     PIC 99PPP.\n"
                           "           05  C-PS     PIC S9(7)V99 COMP-3.\n"
                           "           05  C-PU     PIC 9(4) COMP-3.\n"
                           "           05  C-PE     PIC S9(18) COMP-3.\n"
                           "           05  C-PD     PIC S9(3)V9(4) PACKED-DECIMAL.\n"
                           "           05  C-B2     PIC S9(4) COMP.\n"
                           "           05  C-B4     PIC 9(8) BINARY.\n"
                           "           05  C-B8     PIC S9(15)V99 COMP-4.\n"
                           "           05  C-N4     PIC S9(9) COMP-5.\n"
                           "           05  C-N2     PIC 9(4) COMP-5.\n"
                           "           05  C-F1     COMP-1.\n"
                           "           05  C-F2     COMP-2.\n"
                           "           05  C-TAB OCCURS 3.\n"
                           "               10  C-TK  PIC X(2).\n"
                           "               10  C-TV  PIC S9(3) COMP-3.\n"
                           "           05  C-CNT    PIC 9(2).\n"
                           "           05  C-ODO OCCURS 0 TO 4 DEPENDING ON C-CNT.\n"
                           "               10  C-OV  PIC S9(5) COMP.\n"
                           "               10  C-OT  PIC X(2).\n";

enum class Kind { text, number, floating };
enum class Run { big, little };

// One CSV column: the COBOL reference that DISPLAYs it and the value moved
// into it in each of the three records (nullptr: an ODO occurrence that is
// not there, empty in the CSV).
struct Column {
  const char *column;
  const char *reference;
  Kind kind;
  Run run;
  std::array<const char *, 3> values;
};

const std::vector<Column> &ibmColumns() {
  static const std::vector<Column> list = {
      {"C-TEXT", "C-TEXT", Kind::text, Run::big, {"\"ALICE\"", "\"B-O,B\"", "SPACES"}},
      {"C-ALPHA", "C-ALPHA", Kind::text, Run::big, {"\"ABC\"", "\"xyz\"", "\"Q\""}},
      {"C-ZU", "C-ZU", Kind::number, Run::big, {"12345", "7", "0"}},
      {"C-ZS", "C-ZS", Kind::number, Run::big, {"1234.56", "-0.07", "-9999.99"}},
      {"C-ZL", "C-ZL", Kind::number, Run::big, {"-123", "45", "0"}},
      {"C-ZLS", "C-ZLS", Kind::number, Run::big, {"-12.3", "99.9", "0"}},
      {"C-ZTS", "C-ZTS", Kind::number, Run::big, {"1234", "-1", "-9999"}},
      {"C-ZP", "C-ZP", Kind::number, Run::big, {"12000", "99000", "0"}},
      {"C-PS", "C-PS", Kind::number, Run::big, {"1234567.89", "-0.01", "-9999999.99"}},
      {"C-PU", "C-PU", Kind::number, Run::big, {"9999", "0", "42"}},
      {"C-PE", "C-PE", Kind::number, Run::big, {"999999999999999999", "-999999999999999999", "-1"}},
      {"C-PD", "C-PD", Kind::number, Run::big, {"-123.4567", "0.0001", "999.9999"}},
      {"C-B2", "C-B2", Kind::number, Run::big, {"-9999", "9999", "-1"}},
      {"C-B4", "C-B4", Kind::number, Run::big, {"99999999", "0", "16777216"}},
      {"C-B8", "C-B8", Kind::number, Run::big, {"-1234567890123.45", "999999999999999.99", "0.01"}},
      {"C-N4", "C-N4", Kind::number, Run::little, {"-123456789", "999999999", "256"}},
      {"C-N2", "C-N2", Kind::number, Run::little, {"9999", "1", "258"}},
      {"C-F1", "C-F1", Kind::floating, Run::little, {"1.5", "-0.25", "1024"}},
      {"C-F2", "C-F2", Kind::floating, Run::little, {"-123.125", "0.5", "10000000000"}},
      {"C-TAB[1].C-TK", "C-TK (1)", Kind::text, Run::big, {"\"T1\"", "\"U1\"", "\"V1\""}},
      {"C-TAB[1].C-TV", "C-TV (1)", Kind::number, Run::big, {"1", "-999", "0"}},
      {"C-TAB[2].C-TK", "C-TK (2)", Kind::text, Run::big, {"\"T2\"", "\"U2\"", "\"V2\""}},
      {"C-TAB[2].C-TV", "C-TV (2)", Kind::number, Run::big, {"-22", "999", "5"}},
      {"C-TAB[3].C-TK", "C-TK (3)", Kind::text, Run::big, {"\"T3\"", "\"U3\"", "\"V3\""}},
      {"C-TAB[3].C-TV", "C-TV (3)", Kind::number, Run::big, {"333", "0", "-7"}},
      {"C-CNT", "C-CNT", Kind::number, Run::big, {"2", "4", "0"}},
      {"C-ODO[1].C-OV", "C-OV (1)", Kind::number, Run::big, {"-32768", "1", nullptr}},
      {"C-ODO[1].C-OT", "C-OT (1)", Kind::text, Run::big, {"\"O1\"", "\"P1\"", nullptr}},
      {"C-ODO[2].C-OV", "C-OV (2)", Kind::number, Run::big, {"32767", "2", nullptr}},
      {"C-ODO[2].C-OT", "C-OT (2)", Kind::text, Run::big, {"\"O2\"", "\"P2\"", nullptr}},
      {"C-ODO[3].C-OV", "C-OV (3)", Kind::number, Run::big, {nullptr, "-3", nullptr}},
      {"C-ODO[3].C-OT", "C-OT (3)", Kind::text, Run::big, {nullptr, "\"P3\"", nullptr}},
      {"C-ODO[4].C-OV", "C-OV (4)", Kind::number, Run::big, {nullptr, "99999", nullptr}},
      {"C-ODO[4].C-OT", "C-OT (4)", Kind::text, Run::big, {nullptr, "\"P4\"", nullptr}},
  };
  return list;
}

// -lenient's GnuCOBOL usages: COMP-X and COMP-N big-endian (as BINARY),
// the C-sized binaries and the decimal floating point (BID) in the host's
// order, COMP-6 without sign nibble (and signed, which GnuCOBOL stores as
// COMP-3). PROGRAM-POINTER is left out: GnuCOBOL stores 8 bytes, the layout 4.
const char lenientCopybook[] = "       01  GNU-REC.\n"
                               "           05  L-TEXT   PIC X(4).\n"
                               "           05  L-CL     BINARY-C-LONG.\n"
                               "           05  L-CLU    BINARY-C-LONG UNSIGNED.\n"
                               "           05  L-SS     SIGNED-SHORT.\n"
                               "           05  L-SI     SIGNED-INT.\n"
                               "           05  L-SL     SIGNED-LONG.\n"
                               "           05  L-US     UNSIGNED-SHORT.\n"
                               "           05  L-UI     UNSIGNED-INT.\n"
                               "           05  L-UL     UNSIGNED-LONG.\n"
                               "           05  L-X1     PIC 99 COMP-X.\n"
                               "           05  L-X3     PIC 9(7) COMP-X.\n"
                               "           05  L-XS     PIC S9(9) COMP-X.\n"
                               "           05  L-XV     PIC 9(3)V99 COMP-X.\n"
                               "           05  L-X8     PIC 9(18) COMPUTATIONAL-X.\n"
                               "           05  L-XA     PIC X(3) COMP-X.\n"
                               "           05  L-N5     PIC 9(5) COMP-N.\n"
                               "           05  L-P6     PIC 9(5) COMP-6.\n"
                               "           05  L-P6V    PIC 9(3)V99 COMP-6.\n"
                               "           05  L-P6E    PIC 9(4) COMPUTATIONAL-6.\n"
                               "           05  L-P6S    PIC S9(5) COMP-6.\n"
                               "           05  L-D16    FLOAT-DECIMAL-16.\n"
                               "           05  L-D34    FLOAT-DECIMAL-34.\n"
                               "           05  L-TAB OCCURS 2.\n"
                               "               10  L-TX  PIC 9(3) COMP-X.\n";

const std::vector<Column> &lenientColumns() {
  static const std::vector<Column> list = {
      {"L-TEXT", "L-TEXT", Kind::text, Run::big, {"\"ABCD\"", "\"x\"", "SPACES"}},
      {"L-CL", "L-CL", Kind::number, Run::little, {"-1234567890123", "922337203685477580", "-1"}},
      {"L-CLU", "L-CLU", Kind::number, Run::little, {"1234567890123456789", "0", "4294967296"}},
      {"L-SS", "L-SS", Kind::number, Run::little, {"-32768", "32767", "-1"}},
      {"L-SI", "L-SI", Kind::number, Run::little, {"-2147483648", "2147483647", "258"}},
      {"L-SL", "L-SL", Kind::number, Run::little, {"-922337203685477580", "1", "-258"}},
      {"L-US", "L-US", Kind::number, Run::little, {"65535", "0", "258"}},
      {"L-UI", "L-UI", Kind::number, Run::little, {"4294967295", "1", "16777216"}},
      {"L-UL", "L-UL", Kind::number, Run::little, {"1000000000000000000", "0", "65536"}},
      {"L-X1", "L-X1", Kind::number, Run::big, {"99", "0", "42"}},
      {"L-X3", "L-X3", Kind::number, Run::big, {"9999999", "1", "65536"}},
      {"L-XS", "L-XS", Kind::number, Run::big, {"-999999999", "999999999", "-1"}},
      {"L-XV", "L-XV", Kind::number, Run::big, {"123.45", "0.01", "999.99"}},
      {"L-X8", "L-X8", Kind::number, Run::big, {"999999999999999999", "0", "72057594037927936"}},
      {"L-XA", "L-XA", Kind::number, Run::big, {"16777215", "258", "0"}},
      {"L-N5", "L-N5", Kind::number, Run::big, {"99999", "0", "256"}},
      {"L-P6", "L-P6", Kind::number, Run::big, {"12345", "0", "99999"}},
      {"L-P6V", "L-P6V", Kind::number, Run::big, {"1.5", "999.99", "0.01"}},
      {"L-P6E", "L-P6E", Kind::number, Run::big, {"1234", "9999", "7"}},
      {"L-P6S", "L-P6S", Kind::number, Run::big, {"-12345", "1", "0"}},
      {"L-D16", "L-D16", Kind::number, Run::little, {"1.5", "9999999999999999", "0"}},
      {"L-D34",
       "L-D34",
       Kind::number,
       Run::little,
       {"-123456789012345678.123456789", "0.000000001", "-1234567.89"}},
      {"L-TAB[1].L-TX", "L-TX (1)", Kind::number, Run::big, {"999", "1", "256"}},
      {"L-TAB[2].L-TX", "L-TX (2)", Kind::number, Run::big, {"0", "65", "300"}},
  };
  return list;
}

// A copybook, its columns, and how it is read.
struct Case {
  const char *copybook;
  const std::vector<Column> &columns;
  bool lenient;
  const char *std; // cobc's dialect option
};

// The record of the copybook: the word after its first level number.
std::string recordName(const Case &test) {
  std::istringstream words(test.copybook);
  std::string level;
  std::string name;
  words >> level >> name;
  return name.substr(0, name.find('.'));
}

std::string program(const Case &test, std::int64_t length) {
  std::ostringstream cob;
  cob << "       IDENTIFICATION DIVISION.\n"
         "       PROGRAM-ID. DECCHK.\n"
         "       ENVIRONMENT DIVISION.\n"
         "       INPUT-OUTPUT SECTION.\n"
         "       FILE-CONTROL.\n"
         "           SELECT CHK-FILE ASSIGN TO \"chk.dat\"\n"
         "               ORGANIZATION IS SEQUENTIAL.\n"
         "       DATA DIVISION.\n"
         "       FILE SECTION.\n"
         "       FD  CHK-FILE.\n"
         "       01  CHK-OUT PIC X("
      << length
      << ").\n"
         "       WORKING-STORAGE SECTION.\n"
         "       01  CHK-ED PIC -(19)9.9(9).\n"
         "       COPY \"chk.cpy\".\n"
         "       PROCEDURE DIVISION.\n"
         "           OPEN OUTPUT CHK-FILE\n";
  for (std::size_t r = 0; r < 3; ++r) {
    // The counter first: the table's length follows it.
    for (const Column &c : test.columns)
      if (std::string(c.column) == "C-CNT")
        cob << "           MOVE " << c.values[r] << " TO C-CNT\n";
    for (const Column &c : test.columns)
      if (c.values[r] != nullptr)
        cob << "           MOVE " << c.values[r] << " TO " << c.reference << "\n";
    cob << "           MOVE " << recordName(test)
        << " TO CHK-OUT\n"
           "           WRITE CHK-OUT\n";
    for (const Column &c : test.columns)
      if (c.values[r] != nullptr)
        // -std=ibm DISPLAYs a number's storage digits without the point;
        // an edited copy shows its value.
        cob << (c.kind == Kind::text
                    ? ""
                    : "           MOVE " + std::string(c.reference) + " TO CHK-ED\n")
            << "           DISPLAY " << (c.kind == Kind::text ? c.reference : "CHK-ED") << "\n";
  }
  cob << "           CLOSE CHK-FILE\n"
         "           STOP RUN.\n";
  return cob.str();
}

std::vector<std::string> splitCsv(const std::string &line) {
  std::vector<std::string> cells(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      cells.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      cells.emplace_back();
    } else {
      cells.back() += c;
    }
  }
  return cells;
}

std::vector<std::string> readLines(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The decoder's CSV rows of `data`, the header first.
std::vector<std::vector<std::string>> decode(const CobcScratch &dir, const std::string &data,
                                             DecodeOptions options, bool lenient) {
  options.format = OutputFormat::csv;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.lenient = lenient;
  const fs::path out = dir.path() / "decoded.csv";
  EXPECT_EQ(decodeFiles((dir.path() / "chk.cpy").string(), frontEnd, options,
                        {(dir.path() / data).string()}, out.string()),
            0);
  std::vector<std::vector<std::string>> rows;
  for (const std::string &line : readLines(out))
    rows.push_back(splitCsv(line));
  return rows;
}

// The file with the DISPLAY bytes of the fields outside tables in IBM037.
std::string toEbcdic(const std::string &ascii, const RecordModel &model) {
  const ModelRecord &record = model.records.front();
  iconv_t cd = iconv_open("IBM037", "ASCII");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 128; ++b) {
    char in = static_cast<char>(b);
    char out = 0;
    char *input = &in;
    char *output = &out;
    std::size_t inLeft = 1;
    std::size_t outLeft = 1;
    iconv(cd, &input, &inLeft, &output, &outLeft);
    table[static_cast<std::size_t>(b)] = static_cast<unsigned char>(out);
  }
  iconv_close(cd);
  std::string ebcdic = ascii;
  const auto length = static_cast<std::size_t>(record.length);
  for (int index = record.root; index < record.end; ++index) {
    const ModelItem &item = model.items[static_cast<std::size_t>(index)];
    if (item.usage != Usage::display || item.path.find("C-TAB") != std::string::npos ||
        item.path.find("C-ODO") != std::string::npos)
      continue;
    const bool embeddedSign = item.sign == SignForm::leading || item.sign == SignForm::trailing;
    const std::size_t signAt =
        item.sign == SignForm::leading ? 0 : static_cast<std::size_t>(item.length) - 1;
    for (std::size_t at = 0; at + length <= ebcdic.size(); at += length)
      for (std::size_t i = 0; i < static_cast<std::size_t>(item.length); ++i) {
        char &byte = ebcdic[at + static_cast<std::size_t>(item.offset) + i];
        const auto b = static_cast<unsigned char>(byte);
        // GnuCOBOL writes a negative embedded sign as 'p'..'y'.
        if (embeddedSign && i == signAt)
          byte = static_cast<char>(b >= 0x70 && b <= 0x79 ? 0xD0 | (b - 0x70) : 0xC0 | (b - '0'));
        else
          byte = static_cast<char>(table[b & 0x7F]);
      }
  }
  return ebcdic;
}

// Compiles the program of `test`, decodes its file in every pass and counts
// the values compared in `compared`.
void compareWithGnuCobol(const Case &test, int &compared) {
  CobcScratch dir;
  ASSERT_FALSE(dir.path().empty());
  std::ofstream(dir.path() / "chk.cpy", std::ios::binary) << test.copybook;

  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.lenient = test.lenient;
  VexCblConfig config;
  config.lenient = test.lenient;
  config.outputFileName = (dir.path() / "doc.gnv").string();
  RecordModel model;
  ASSERT_EQ(process((dir.path() / "chk.cpy").string(), frontEnd, config,
                    [&](const std::vector<VexProgramPart> &parts) {
                      model = buildRecordModel(parts.front().entries, config);
                      return VexCvtStatus::completed;
                    }),
            VexCvtStatus::completed);
  ASSERT_EQ(model.records.size(), 1u);

  const std::string source = program(test, model.records.front().length);
  const std::vector<std::string> shown = RunCobol(dir, "decchk", source, test.std, true);
  ASSERT_FALSE(::testing::Test::HasFailure());

  // What GnuCOBOL showed, per record and column.
  std::vector<std::map<std::string, std::string>> expected(3);
  std::size_t next = 0;
  for (std::size_t r = 0; r < 3; ++r)
    for (const Column &c : test.columns)
      if (c.values[r] != nullptr) {
        ASSERT_LT(next, shown.size());
        expected[r][c.column] = shown[next++];
      }
  ASSERT_EQ(next, shown.size());

  std::ifstream in(dir.path() / "chk.dat", std::ios::binary);
  const std::string ascii{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(ascii.size(), 3 * static_cast<std::size_t>(model.records.front().length));
  std::ofstream(dir.path() / "chk.ebc", std::ios::binary) << toEbcdic(ascii, model);

  struct Pass {
    const char *name;
    const char *data;
    bool ascii;
    bool little;
  };
  for (const Pass &pass : {Pass{"ascii big-endian", "chk.dat", true, false},
                           Pass{"ascii little-endian ieee", "chk.dat", true, true},
                           Pass{"IBM037", "chk.ebc", false, false}}) {
    SCOPED_TRACE(pass.name);
    DecodeOptions options;
    if (pass.ascii)
      options.codePage = "ASCII";
    options.littleEndian = pass.little;
    options.ieeeFloat = pass.little;
    const auto rows = decode(dir, pass.data, options, test.lenient);
    ASSERT_EQ(rows.size(), 4u);
    std::map<std::string, std::size_t> at;
    for (std::size_t i = 0; i < rows[0].size(); ++i)
      at[rows[0][i]] = i;
    for (std::size_t r = 0; r < 3; ++r) {
      ASSERT_EQ(rows[r + 1].size(), rows[0].size());
      for (const Column &c : test.columns) {
        if ((c.run == Run::little) != pass.little)
          continue;
        if (!pass.ascii && std::string(c.column).find('[') != std::string::npos)
          continue;
        ASSERT_TRUE(at.count(c.column)) << c.column;
        const std::string &got = rows[r + 1][at[c.column]];
        SCOPED_TRACE(std::string(c.column) + " record " + std::to_string(r + 1));
        if (c.values[r] == nullptr) {
          EXPECT_EQ(got, "");
          continue;
        }
        const std::string &want = expected[r][c.column];
        if (c.kind == Kind::text)
          EXPECT_EQ(got, want);
        else if (c.kind == Kind::number)
          EXPECT_EQ(normalNumber(got), normalNumber(want)) << got << " / " << want;
        else
          EXPECT_EQ(std::strtod(got.c_str(), nullptr), std::strtod(want.c_str(), nullptr))
              << got << " / " << want;
        ++compared;
      }
    }
  }
}

TEST(DecodeCobcCrossCheck, DecodedValuesMatchGnuCobolDisplay) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  int compared = 0;
  compareWithGnuCobol({ibmCopybook, ibmColumns(), false, "-std=ibm"}, compared);
  // 3 records of 34 columns over the two ASCII runs, less the absent ODO
  // occurrences, plus the untabled ones again in IBM037.
  EXPECT_GT(compared, 120);
  std::cout << compared << " values compared with GnuCOBOL\n";
}

TEST(DecodeCobcCrossCheck, LenientUsagesMatchGnuCobolDisplay) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  int compared = 0;
  compareWithGnuCobol({lenientCopybook, lenientColumns(), true, "-std=default"}, compared);
  // 3 records of 24 columns over the two ASCII runs, and the 12 big-endian
  // columns outside the table again in IBM037.
  EXPECT_EQ(compared, 3 * 24 + 3 * 12);
  std::cout << compared << " values compared with GnuCOBOL\n";
}

} // namespace

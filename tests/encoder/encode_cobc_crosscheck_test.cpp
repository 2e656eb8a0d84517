// Records written by the encoder, read by a GnuCOBOL program that DISPLAYs every field.
#include <gtest/gtest.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <iterator>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "converter/conversion_run.h"
#include "encoder/encode_run.h"
#include "record/model_builder.h"
#include "tests/cobc_support.h"

// vexfcbl-encode writes three records given as JSON into chk.dat; a program
// compiled with `cobc -x` READs them (the copybook is its FD record) and
// DISPLAYs every field, a number through a MOVE to PIC -(19)9.9(9) as in the
// decoder's cross-check. Every value shown must equal the JSON's (numbers
// compared as numbers: "+0012.50" and 12.5 alike; COMP-1 and COMP-2 as
// floats and doubles). A numeric-edited field is shown as it is and beside
// it the same value MOVEd by GnuCOBOL into an item of the same picture: the
// two must be the same characters.
//
// Runs: -std=ibm with -codepage ASCII for the DISPLAY, packed and
// big-endian binary items; the same records written with the default IBM037
// and turned back into ASCII field by field (the DISPLAY items outside
// tables: text through iconv, embedded signs C/D as GnuCOBOL's digit and
// 0x70 + digit); COMP-5, COMP-1 and COMP-2 with -byteorder little -float
// ieee, as GnuCOBOL stores them on this host; and the GnuCOBOL usages of
// -lenient in its default dialect.
//
// Knowingly left out: NATIONAL (GnuCOBOL 3.1 DISPLAYs its UTF-16 bytes),
// IBM hexadecimal floating point (GnuCOBOL has none: hand-worked words in
// field_encoding_test.cpp), the edited pictures where GnuCOBOL 3.1 departs
// from IBM (an insertion 0 or / in a suppressed area, a fixed sign before a
// floating currency string), P-scaled COMP-3 (GnuCOBOL stores it wrongly).

namespace {

namespace fs = std::filesystem;

enum class Kind { text, number, floating, edited };

// One field: its COBOL reference, how it is compared and its value in each
// record as COBOL writes the literal (nullptr: absent in that record).
struct Column {
  const char *reference;
  Kind kind;
  std::array<const char *, 3> values;
  const char *picture = ""; // edited: the item's picture, for GnuCOBOL's own MOVE
};

struct Case {
  const char *name;
  const char *copybook;
  std::vector<Column> columns;
  std::array<const char *, 3> json;
  const char *dialect;
  EncodeOptions options;
  bool lenient = false;
  bool ebcdicToo = false;
  const char *prepare = ""; // a statement before each MOVE into the record
};

const char ibmCopybook[] = "       01  ENC-REC.\n"
                           "           05  E-TEXT   PIC X(6).\n"
                           "           05  E-ALPHA  PIC A(3).\n"
                           "           05  E-JUST   PIC X(5) JUSTIFIED RIGHT.\n"
                           "           05  E-ZU     PIC 9(5).\n"
                           "           05  E-ZS     PIC S9(4)V99.\n"
                           "           05  E-ZL     PIC S9(3) SIGN LEADING.\n"
                           "           05  E-ZLS    PIC S9(3)V9 SIGN LEADING SEPARATE.\n"
                           "           05  E-ZTS    PIC S9(4) SIGN TRAILING SEPARATE.\n"
                           "           05  E-ZP     PIC 99PPP.\n"
                           "           05  E-PS     PIC S9(7)V99 COMP-3.\n"
                           "           05  E-PU     PIC 9(4) COMP-3.\n"
                           "           05  E-PE     PIC S9(18) COMP-3.\n"
                           "           05  E-B2     PIC S9(4) COMP.\n"
                           "           05  E-B4     PIC 9(8) BINARY.\n"
                           "           05  E-B8     PIC S9(15)V99 COMP-4.\n"
                           "           05  E-ED1    PIC Z,ZZ9.99CR.\n"
                           "           05  E-ED2    PIC $$$,$$9.99.\n"
                           "           05  E-ED3    PIC ++++9.99.\n"
                           "           05  E-ED4    PIC **,**9.99.\n"
                           "           05  E-ED5    PIC ZZ.ZZ BLANK WHEN ZERO.\n"
                           "           05  E-ED6    PIC ----.--.\n"
                           "           05  E-ED7    PIC 999.99DB.\n"
                           "           05  E-TAB OCCURS 3.\n"
                           "               10  E-TK  PIC X(2).\n"
                           "               10  E-TV  PIC S9(3) COMP-3.\n"
                           "           05  E-CNT    PIC 9(2).\n"
                           "           05  E-ODO OCCURS 0 TO 4 DEPENDING ON E-CNT.\n"
                           "               10  E-OV  PIC S9(5) COMP.\n"
                           "               10  E-OT  PIC X(2).\n";

Case ibmCase() {
  // The record's length follows E-CNT: at its maximum, the MOVE takes all.
  Case c{"ibm", ibmCopybook, {}, {}, "-std=ibm", {}, false, true, "MOVE 4 TO E-CNT"};
  c.options.codePage = "ASCII";
  c.columns = {
      {"E-TEXT", Kind::text, {"\"ALICE\"", "\"B-O,B\"", "SPACES"}},
      {"E-ALPHA", Kind::text, {"\"ABC\"", "\"xyz\"", "\"Q\""}},
      {"E-JUST", Kind::text, {"\"   AB\"", "\"VWXYZ\"", "\"    C\""}},
      {"E-ZU", Kind::number, {"12345", "7", "0"}},
      {"E-ZS", Kind::number, {"1234.56", "-0.07", "-9999.99"}},
      {"E-ZL", Kind::number, {"-123", "45", "0"}},
      {"E-ZLS", Kind::number, {"-12.3", "99.9", "0"}},
      {"E-ZTS", Kind::number, {"1234", "-1", "-9999"}},
      {"E-ZP", Kind::number, {"12000", "99000", "0"}},
      {"E-PS", Kind::number, {"1234567.89", "-0.01", "-9999999.99"}},
      {"E-PU", Kind::number, {"9999", "0", "42"}},
      {"E-PE", Kind::number, {"999999999999999999", "-999999999999999999", "-1"}},
      {"E-B2", Kind::number, {"-9999", "9999", "-1"}},
      {"E-B4", Kind::number, {"99999999", "0", "16777216"}},
      {"E-B8", Kind::number, {"-1234567890123.45", "999999999999999.99", "0.01"}},
      {"E-ED1", Kind::edited, {"-1.5", "1200", "0"}, "Z,ZZ9.99CR"},
      {"E-ED2", Kind::edited, {"7", "12345.67", "0"}, "$$$,$$9.99"},
      {"E-ED3", Kind::edited, {"-1.5", "1234.5", "0"}, "++++9.99"},
      {"E-ED4", Kind::edited, {"0.05", "12345.67", "0"}, "**,**9.99"},
      {"E-ED5", Kind::edited, {"0.05", "12.34", "0"}, "ZZ.ZZ"},
      {"E-ED6", Kind::edited, {"-0.05", "123.4", "0"}, "----.--"},
      {"E-ED7", Kind::edited, {"-12.25", "999.99", "0"}, "999.99DB"},
      {"E-TK (1)", Kind::text, {"\"T1\"", "\"U1\"", "\"V1\""}},
      {"E-TV (1)", Kind::number, {"1", "-999", "0"}},
      {"E-TK (2)", Kind::text, {"\"T2\"", "\"U2\"", "\"V2\""}},
      {"E-TV (2)", Kind::number, {"-22", "999", "5"}},
      {"E-TK (3)", Kind::text, {"\"T3\"", "\"U3\"", "\"V3\""}},
      {"E-TV (3)", Kind::number, {"333", "0", "-7"}},
      {"E-CNT", Kind::number, {"2", "4", "0"}},
      {"E-OV (1)", Kind::number, {"-32768", "1", nullptr}},
      {"E-OT (1)", Kind::text, {"\"O1\"", "\"P1\"", nullptr}},
      {"E-OV (2)", Kind::number, {"32767", "2", nullptr}},
      {"E-OT (2)", Kind::text, {"\"O2\"", "\"P2\"", nullptr}},
      {"E-OV (3)", Kind::number, {nullptr, "-3", nullptr}},
      {"E-OT (3)", Kind::text, {nullptr, "\"P3\"", nullptr}},
      {"E-OV (4)", Kind::number, {nullptr, "99999", nullptr}},
      {"E-OT (4)", Kind::text, {nullptr, "\"P4\"", nullptr}},
  };
  // E-CNT is left out of the second record: the table's length sets it.
  c.json = {
      R"({"ENC-REC":{"E-TEXT":"ALICE","E-ALPHA":"ABC","E-JUST":"AB","E-ZU":12345,"E-ZS":1234.56,)"
      R"("E-ZL":-123,"E-ZLS":-12.3,"E-ZTS":1234,"E-ZP":12000,"E-PS":1234567.89,"E-PU":9999,)"
      R"("E-PE":999999999999999999,"E-B2":-9999,"E-B4":99999999,"E-B8":-1234567890123.45,)"
      R"("E-ED1":-1.5,"E-ED2":7,"E-ED3":-1.5,"E-ED4":0.05,"E-ED5":0.05,"E-ED6":-0.05,"E-ED7":-12.25,)"
      R"("E-TAB":[{"E-TK":"T1","E-TV":1},{"E-TK":"T2","E-TV":-22},{"E-TK":"T3","E-TV":333}],)"
      R"("E-CNT":2,"E-ODO":[{"E-OV":-32768,"E-OT":"O1"},{"E-OV":32767,"E-OT":"O2"}]}})",
      R"({"ENC-REC":{"E-TEXT":"B-O,B","E-ALPHA":"xyz","E-JUST":"VWXYZ","E-ZU":7,"E-ZS":-0.07,)"
      R"("E-ZL":45,"E-ZLS":99.9,"E-ZTS":-1,"E-ZP":99000,"E-PS":-0.01,"E-PU":0,)"
      R"("E-PE":-999999999999999999,"E-B2":9999,"E-B4":0,"E-B8":999999999999999.99,)"
      R"("E-ED1":1200,"E-ED2":12345.67,"E-ED3":1234.5,"E-ED4":12345.67,"E-ED5":12.34,"E-ED6":123.4,)"
      R"("E-ED7":999.99,"E-TAB":[{"E-TK":"U1","E-TV":-999},{"E-TK":"U2","E-TV":999},)"
      R"({"E-TK":"U3","E-TV":0}],"E-ODO":[{"E-OV":1,"E-OT":"P1"},{"E-OV":2,"E-OT":"P2"},)"
      R"({"E-OV":-3,"E-OT":"P3"},{"E-OV":99999,"E-OT":"P4"}]}})",
      R"({"ENC-REC":{"E-TEXT":"","E-ALPHA":"Q","E-JUST":"C","E-ZU":0,"E-ZS":-9999.99,"E-ZL":0,)"
      R"("E-ZLS":0,"E-ZTS":-9999,"E-ZP":0,"E-PS":-9999999.99,"E-PU":42,"E-PE":-1,"E-B2":-1,)"
      R"("E-B4":16777216,"E-B8":0.01,"E-ED1":0,"E-ED2":0,"E-ED3":0,"E-ED4":0,"E-ED5":0,"E-ED6":0,)"
      R"("E-ED7":0,"E-TAB":[{"E-TK":"V1","E-TV":0},{"E-TK":"V2","E-TV":5},{"E-TK":"V3","E-TV":-7}],)"
      R"("E-CNT":0,"E-ODO":[]}})",
  };
  return c;
}

Case nativeCase() {
  Case c{"native",
         "       01  NAT-REC.\n"
         "           05  N-N4     PIC S9(9) COMP-5.\n"
         "           05  N-N2     PIC 9(4) COMP-5.\n"
         "           05  N-N8     PIC S9(18) COMP-5.\n"
         "           05  N-F1     COMP-1.\n"
         "           05  N-F2     COMP-2.\n",
         {},
         {},
         "-std=ibm",
         {}};
  c.options.codePage = "ASCII";
  c.options.littleEndian = true;
  c.options.ieeeFloat = true;
  c.columns = {
      {"N-N4", Kind::number, {"-123456789", "999999999", "-2147483648"}},
      {"N-N2", Kind::number, {"9999", "65535", "258"}},
      {"N-N8", Kind::number, {"-9223372036854775808", "1", "9223372036854775807"}},
      {"N-F1", Kind::floating, {"1.5", "-0.25", "1024"}},
      {"N-F2", Kind::floating, {"-123.125", "0.5", "10000000000"}},
  };
  c.json = {
      R"({"NAT-REC":{"N-N4":-123456789,"N-N2":9999,"N-N8":-9223372036854775808,"N-F1":1.5,"N-F2":-123.125}})",
      R"({"NAT-REC":{"N-N4":999999999,"N-N2":65535,"N-N8":1,"N-F1":-0.25,"N-F2":0.5}})",
      R"({"NAT-REC":{"N-N4":-2147483648,"N-N2":258,"N-N8":9223372036854775807,"N-F1":1024,"N-F2":1E+10}})",
  };
  return c;
}

// GnuCOBOL's own usages, in its default dialect: COMP-X and COMP-N
// big-endian, the C-sized binaries and decimal floating point in the host's order.
Case lenientCase() {
  Case c{"lenient",
         "       01  GNU-REC.\n"
         "           05  L-X1     PIC 99 COMP-X.\n"
         "           05  L-X3     PIC 9(7) COMP-X.\n"
         "           05  L-XS     PIC S9(9) COMP-X.\n"
         "           05  L-XV     PIC 9(3)V99 COMP-X.\n"
         "           05  L-N5     PIC 9(5) COMP-N.\n"
         "           05  L-P6     PIC 9(5) COMP-6.\n"
         "           05  L-P6V    PIC 9(3)V99 COMP-6.\n"
         "           05  L-P6S    PIC S9(5) COMP-6.\n",
         {},
         {},
         "-std=default",
         {},
         true};
  c.options.codePage = "ASCII";
  c.columns = {
      {"L-X1", Kind::number, {"99", "0", "42"}},
      {"L-X3", Kind::number, {"9999999", "1", "65536"}},
      {"L-XS", Kind::number, {"-999999999", "999999999", "-1"}},
      {"L-XV", Kind::number, {"123.45", "0.01", "999.99"}},
      {"L-N5", Kind::number, {"99999", "0", "256"}},
      {"L-P6", Kind::number, {"12345", "0", "99999"}},
      {"L-P6V", Kind::number, {"1.5", "999.99", "0.01"}},
      {"L-P6S", Kind::number, {"-12345", "1", "0"}},
  };
  c.json = {
      R"({"GNU-REC":{"L-X1":99,"L-X3":9999999,"L-XS":-999999999,"L-XV":123.45,"L-N5":99999,"L-P6":12345,"L-P6V":1.5,"L-P6S":-12345}})",
      R"({"GNU-REC":{"L-X1":0,"L-X3":1,"L-XS":999999999,"L-XV":0.01,"L-N5":0,"L-P6":0,"L-P6V":999.99,"L-P6S":1}})",
      R"({"GNU-REC":{"L-X1":42,"L-X3":65536,"L-XS":-1,"L-XV":999.99,"L-N5":256,"L-P6":99999,"L-P6V":0.01,"L-P6S":0}})",
  };
  return c;
}

std::string recordName(const Case &test) {
  std::istringstream words(test.copybook);
  std::string level;
  std::string name;
  words >> level >> name;
  return name.substr(0, name.find('.'));
}

// The program: READ each record of `length` bytes into the copybook's
// record, DISPLAY each field (an edited one with GnuCOBOL's own MOVE of the
// value beside it).
std::string program(const Case &test, std::int64_t length) {
  std::ostringstream cob;
  cob << "       IDENTIFICATION DIVISION.\n"
         "       PROGRAM-ID. ENCCHK.\n"
         "       ENVIRONMENT DIVISION.\n"
         "       INPUT-OUTPUT SECTION.\n"
         "       FILE-CONTROL.\n"
         "           SELECT CHK-FILE ASSIGN TO \"chk.dat\"\n"
         "               ORGANIZATION IS SEQUENTIAL.\n"
         "       DATA DIVISION.\n"
         "       FILE SECTION.\n"
         "       FD  CHK-FILE.\n"
         "       01  CHK-IN PIC X("
      << length
      << ").\n"
         "       WORKING-STORAGE SECTION.\n"
         "       01  CHK-ED PIC -(19)9.9(9).\n"
         "       COPY \"chk.cpy\".\n";
  for (std::size_t i = 0; i < test.columns.size(); ++i)
    if (test.columns[i].kind == Kind::edited)
      cob << "       01  CHK-W" << i << " PIC " << test.columns[i].picture << ".\n";
  cob << "       PROCEDURE DIVISION.\n"
         "           OPEN INPUT CHK-FILE\n";
  for (std::size_t r = 0; r < 3; ++r) {
    cob << "           READ CHK-FILE\n";
    if (*test.prepare != '\0')
      cob << "           " << test.prepare << "\n";
    cob << "           MOVE CHK-IN TO " << recordName(test) << "\n";
    for (std::size_t i = 0; i < test.columns.size(); ++i) {
      const Column &c = test.columns[i];
      if (c.values[r] == nullptr)
        continue;
      switch (c.kind) {
      case Kind::text:
        cob << "           DISPLAY " << c.reference << "\n";
        break;
      case Kind::edited:
        cob << "           DISPLAY " << c.reference << "\n"
            << "           MOVE " << c.values[r] << " TO CHK-W" << i << "\n"
            << "           DISPLAY CHK-W" << i << "\n";
        break;
      default:
        cob << "           MOVE " << c.reference << " TO CHK-ED\n"
            << "           DISPLAY CHK-ED\n";
      }
    }
  }
  cob << "           CLOSE CHK-FILE\n"
         "           STOP RUN.\n";
  return cob.str();
}

// What a text literal shows: its content (SPACES: nothing), trailing blanks dropped.
std::string shownText(const std::string &literal) {
  if (literal == "SPACES")
    return "";
  std::string text = literal.substr(1, literal.size() - 2);
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// The file with the DISPLAY bytes of the fields outside tables turned from
// IBM037 into what GnuCOBOL keeps in ASCII.
std::string toAscii(const std::string &ebcdic, const RecordModel &model) {
  const ModelRecord &record = model.records.front();
  iconv_t cd = iconv_open("ASCII", "IBM037");
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::array<unsigned char, 256> table{};
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char out = '?';
    char *input = &in;
    char *output = &out;
    std::size_t inLeft = 1;
    std::size_t outLeft = 1;
    iconv(cd, &input, &inLeft, &output, &outLeft);
    table[static_cast<std::size_t>(b)] = static_cast<unsigned char>(out);
  }
  iconv_close(cd);
  std::string ascii = ebcdic;
  const auto length = static_cast<std::size_t>(record.length);
  for (int index = record.root; index < record.end; ++index) {
    const ModelItem &item = model.items[static_cast<std::size_t>(index)];
    if (item.usage != Usage::display || item.isGroup() ||
        item.path.find("E-TAB") != std::string::npos || item.path.find("E-ODO") != std::string::npos)
      continue;
    const bool embeddedSign = item.sign == SignForm::leading || item.sign == SignForm::trailing;
    const std::size_t signAt =
        item.sign == SignForm::leading ? 0 : static_cast<std::size_t>(item.length) - 1;
    for (std::size_t at = 0; at + length <= ascii.size(); at += length)
      for (std::size_t i = 0; i < static_cast<std::size_t>(item.length); ++i) {
        char &byte = ascii[at + static_cast<std::size_t>(item.offset) + i];
        const auto b = static_cast<unsigned char>(byte);
        if (embeddedSign && i == signAt && (b >> 4) != 0xF)
          byte = static_cast<char>((b >> 4) == 0xD ? 0x70 + (b & 0xF) : '0' + (b & 0xF));
        else
          byte = static_cast<char>(table[b]);
      }
  }
  return ascii;
}

// Encodes the case's JSON with `options` into `data` in the scratch folder.
void encode(const CobcScratch &dir, const Case &test, const EncodeOptions &options,
            const std::string &data) {
  std::string lines;
  for (const char *line : test.json)
    lines += std::string(line) + "\n";
  std::ofstream(dir.path() / "chk.jsonl", std::ios::binary) << lines;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.lenient = test.lenient;
  EncodeOptions quiet = options;
  quiet.quiet = true;
  quiet.strict = true;
  ASSERT_EQ(encodeFiles((dir.path() / "chk.cpy").string(), frontEnd, quiet,
                        {(dir.path() / "chk.jsonl").string()}, (dir.path() / data).string()),
            0);
}

// Compares what the program shows with the JSON's values; counts them in `compared`.
void compare(const std::vector<std::string> &shown, const Case &test, int &compared) {
  std::size_t next = 0;
  for (std::size_t r = 0; r < 3; ++r)
    for (const Column &c : test.columns) {
      if (c.values[r] == nullptr)
        continue;
      SCOPED_TRACE(std::string(c.reference) + " record " + std::to_string(r + 1));
      ASSERT_LT(next, shown.size());
      const std::string &got = shown[next++];
      const std::string want = c.values[r];
      switch (c.kind) {
      case Kind::text: {
        std::string text = got;
        text.erase(text.find_last_not_of(' ') + 1);
        EXPECT_EQ(text, shownText(want));
        break;
      }
      case Kind::number:
        EXPECT_EQ(normalNumber(got), normalNumber(want)) << got;
        break;
      case Kind::floating:
        EXPECT_EQ(std::strtod(got.c_str(), nullptr), std::strtod(want.c_str(), nullptr)) << got;
        break;
      case Kind::edited:
        ASSERT_LT(next, shown.size());
        EXPECT_EQ(got, shown[next++]) << "the encoder's editing, then GnuCOBOL's";
        break;
      }
      ++compared;
    }
  EXPECT_EQ(next, shown.size());
}

void crossCheck(const Case &test, int &compared) {
  CobcScratch dir;
  ASSERT_FALSE(dir.path().empty());
  std::ofstream(dir.path() / "chk.cpy", std::ios::binary) << test.copybook;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.lenient = test.lenient;
  VexCblConfig config;
  config.lenient = test.lenient;
  config.messages = nullptr;
  config.outputFileName = (dir.path() / "doc.gnv").string();
  RecordModel model;
  ASSERT_EQ(process((dir.path() / "chk.cpy").string(), frontEnd, config,
                    [&](const std::vector<VexProgramPart> &parts) {
                      model = buildRecordModel(parts.front().entries, config);
                      return VexCvtStatus::completed;
                    }),
            VexCvtStatus::completed);
  encode(dir, test, test.options, "chk.dat");
  ASSERT_FALSE(::testing::Test::HasFailure());
  const std::string source = program(test, model.records.front().length);
  {
    SCOPED_TRACE(std::string(test.name) + ", " + test.options.codePage);
    compare(RunCobol(dir, "encchk", source, test.dialect, true), test, compared);
  }
  if (!test.ebcdicToo)
    return;
  // The same records in IBM037, turned into GnuCOBOL's ASCII field by field;
  // the tables' DISPLAY bytes stay EBCDIC, so their fields are not compared.
  EncodeOptions ebcdic = test.options;
  ebcdic.codePage = "IBM037";
  encode(dir, test, ebcdic, "chk.ebc");
  std::ifstream in(dir.path() / "chk.ebc", std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(in), {}};
  std::ofstream(dir.path() / "chk.dat", std::ios::binary) << toAscii(bytes, model);
  const std::vector<std::string> shown = RunCobol(dir, "encchk", source, test.dialect, true);
  const auto outsideTables = [](const Column &c) {
    return std::string(c.reference).find('(') == std::string::npos;
  };
  Case outside = test;
  outside.columns.clear();
  std::copy_if(test.columns.begin(), test.columns.end(), std::back_inserter(outside.columns),
               outsideTables);
  // The program shows every field: those outside the tables, in order.
  std::vector<std::string> kept;
  std::size_t next = 0;
  for (std::size_t r = 0; r < 3; ++r)
    for (const Column &c : test.columns) {
      if (c.values[r] == nullptr)
        continue;
      for (int line = 0; line < (c.kind == Kind::edited ? 2 : 1) && next < shown.size();
           ++line, ++next)
        if (outsideTables(c))
          kept.push_back(shown[next]);
    }
  SCOPED_TRACE(std::string(test.name) + ", IBM037");
  compare(kept, outside, compared);
}

TEST(EncodeCobcCrossCheck, GnuCobolReadsWhatTheEncoderWrites) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  int compared = 0;
  crossCheck(ibmCase(), compared);
  crossCheck(nativeCase(), compared);
  // 3 records of 37 fields less the 12 fields of absent ODO occurrences;
  // the 23 outside the tables again from IBM037; 3 records of 5 native ones.
  EXPECT_EQ(compared, 3 * 37 - 12 + 3 * 23 + 3 * 5);
  std::cout << compared << " values compared with GnuCOBOL\n";
}

TEST(EncodeCobcCrossCheck, LenientUsagesReadByGnuCobol) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  int compared = 0;
  crossCheck(lenientCase(), compared);
  EXPECT_EQ(compared, 3 * 8);
  std::cout << compared << " values compared with GnuCOBOL\n";
}

} // namespace

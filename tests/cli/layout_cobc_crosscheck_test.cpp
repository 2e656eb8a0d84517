// Compares the record layout with the addresses and lengths the installed GnuCOBOL gives.
#include <gtest/gtest.h>

#include <array>
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
#include "record/model_builder.h"
#include "tests/cobc_support.h"

// Each copybook is compiled with `cobc -std=ibm -x` inside a program that
// sets every DEPENDING ON counter to its maximum, then displays, for every
// item it can name, the distance of its address from its record's address
// and FUNCTION BYTE-LENGTH of it. Where GnuCOBOL knowingly differs from IBM
// Enterprise COBOL, the items are left out of the comparison:
//  - USAGE POINTER and PROCEDURE-POINTER: GnuCOBOL on a 64-bit host stores
//    8 and 16 bytes, IBM 4 and 8; everything after them in the record moves.
//  - External floating point (PICTURE with E): GnuCOBOL does not count the
//    "." of the mantissa as a position; IBM does (+9.9(3)E+99 is 10 bytes).
//  - FILLER and level-66 items cannot be named, so they are not displayed.
//  - USAGE FUNCTION-POINTER and PROGRAM-POINTER (-lenient): GnuCOBOL stores
//    8 bytes on a 64-bit host, the layout 4 (IBM's size of POINTER).
//  - SYNCHRONIZED BINARY, COMP, COMP-4 and COMP-5 of 10 to 18 digits: IBM
//    puts them on a fullword (4), GnuCOBOL on 8, so a record holding one is
//    left out; IBM's rule is checked by hand in
//    tests/record/model_builder_test.cpp and the layout-sync-fullword cases.
// Copybooks whose name begins with "lenient-" are read with -lenient; those
// beginning with "lenient-gnucobol" are compiled in GnuCOBOL's default
// dialect, where BINARY-INT and BINARY-LONG-LONG are usages.

namespace {

namespace fs = std::filesystem;

struct Book {
  const char *name;
  std::string text;   // inline copybook, or
  const char *corpus; // a file of the real-world corpus
};

const std::vector<Book> &books() {
  static const std::vector<Book> list = {
      {"order",
       "       01  ORDER-REC.\n"
       "           05  ORD-ID              PIC 9(8).\n"
       "           05  ORD-STATUS          PIC X.\n"
       "               88  ORD-OPEN        VALUE \"O\".\n"
       "           05  ORD-AMOUNT          PIC S9(7)V99 COMP-3.\n"
       "           05  ORD-LINES           PIC S9(4) COMP.\n"
       "           05  ORD-LINE OCCURS 1 TO 20 DEPENDING ON ORD-LINES.\n"
       "               10  LINE-ITEM       PIC X(12).\n"
       "               10  LINE-PRICE      PIC ZZ,ZZ9.99.\n",
       nullptr},
      {"binary",
       "       01  BIN-REC.\n"
       "           05  B1  PIC S9 COMP.\n"
       "           05  B4  PIC S9(4) BINARY.\n"
       "           05  B5  PIC 9(5) COMP-4.\n"
       "           05  B9  PIC S9(9) COMP-5.\n"
       "           05  B10 PIC S9(10) COMP.\n"
       "           05  B18 PIC 9(18) BINARY.\n"
       "           05  F1  COMP-1.\n"
       "           05  F2  COMP-2.\n"
       "           05  IX  INDEX.\n",
       nullptr},
      {"packed",
       "       01  PACK-REC.\n"
       "           05  P1  PIC S9 COMP-3.\n"
       "           05  P2  PIC 9(2) COMP-3.\n"
       "           05  P7  PIC S9(5)V99 PACKED-DECIMAL.\n"
       "           05  P18 PIC S9(18) COMP-3.\n"
       "           05  PP  PIC S9(3)PP COMP-3.\n",
       nullptr},
      {"display",
       "       01  DISP-REC.\n"
       "           05  D1  PIC S9(3) SIGN LEADING SEPARATE.\n"
       "           05  D2  PIC S9(3) SIGN TRAILING SEPARATE.\n"
       "           05  D3  PIC S9(3) SIGN LEADING.\n"
       "           05  D4  PIC S9(3)V9(2).\n"
       "           05  D5  PIC 99PPP.\n"
       "           05  D6  PIC VPP99.\n"
       "           05  E1  PIC $$,$$9.99CR.\n"
       "           05  E2  PIC ZZZ9 BLANK WHEN ZERO.\n"
       "           05  A1  PIC A(4).\n"
       "           05  X1  PIC X(7) JUSTIFIED RIGHT.\n"
       "           05  X2  PIC XXBXX/99.\n"
       "       01  FLOAT-REC.\n"
       "           05  E3  PIC +9.9(3)E+99.\n"
       "           05  E4  PIC X.\n",
       nullptr},
      {"nested-occurs",
       "       01  TAB-REC.\n"
       "           05  T-HEAD  PIC X(3).\n"
       "           05  T-ROW OCCURS 4.\n"
       "               10  T-KEY   PIC X(2).\n"
       "               10  T-CELL OCCURS 3.\n"
       "                   15  T-VAL  PIC S9(5) COMP-3.\n"
       "                   15  T-FLG  PIC X.\n"
       "               10  T-SUM   PIC S9(7) COMP.\n"
       "           05  T-TAIL  PIC X(5).\n",
       nullptr},
      {"redefines",
       "       01  RED-REC.\n"
       "           05  R-A     PIC X(10).\n"
       "           05  R-B REDEFINES R-A PIC 9(10).\n"
       "           05  R-C REDEFINES R-A.\n"
       "               10  R-C1 PIC X(4).\n"
       "               10  R-C2 PIC S9(5) COMP-3.\n"
       "           05  R-D     PIC X(2).\n"
       "       01  RED-ALT REDEFINES RED-REC.\n"
       "           05  RA-1    PIC X(6).\n"
       "           05  RA-2    PIC X(6).\n"
       "       01  RED-BIG REDEFINES RED-REC PIC X(40).\n",
       nullptr},
      // Redefinitions of redefinitions: every alternative starts where the
      // area does, and the area is as long as its longest alternative (a
      // redefinition longer than its object is IBM's error, GnuCOBOL's
      // -std=ibm lays it out so).
      {"chained-redefines",
       "       01  CR-REC.\n"
       "           05  CR-A        PIC X(10).\n"
       "           05  CR-B REDEFINES CR-A PIC X(4).\n"
       "           05  CR-C REDEFINES CR-B.\n"
       "               10  CR-C1   PIC X(2).\n"
       "               10  CR-C2   PIC S9(5) COMP-3.\n"
       "           05  CR-D REDEFINES CR-C PIC X(12).\n"
       "           05  CR-E        PIC X(3).\n"
       "           05  CR-G.\n"
       "               10  CR-G1   PIC X(4).\n"
       "               10  CR-G2 REDEFINES CR-G1 PIC 9(4).\n"
       "               10  CR-G3 REDEFINES CR-G2 PIC S9(7) COMP-3.\n"
       "               10  CR-G4   PIC X(2).\n"
       "           05  CR-T        PIC X.\n",
       nullptr},
      // SIGN ... SEPARATE of a group gives a byte to its signed numbers only.
      {"group-sign",
       "       01  SG-REC.\n"
       "           05  SG-G SIGN TRAILING SEPARATE.\n"
       "               10  SG-S    PIC S9(3).\n"
       "               10  SG-U    PIC 9(2).\n"
       "               10  SG-X    PIC X(3).\n"
       "               10  SG-E    PIC ZZ9.\n"
       "               10  SG-P    PIC S9(3) COMP-3.\n"
       "           05  SG-L SIGN LEADING SEPARATE.\n"
       "               10  SG-LS   PIC S9(2)V9.\n"
       "               10  SG-LU   PIC 99.\n"
       "           05  SG-END      PIC X.\n",
       nullptr},
      {"level-77",
       "       77  CNT-A   PIC S9(4) COMP.\n"
       "       77  CNT-B   PIC X(5).\n"
       "       01  AFTER-77.\n"
       "           05  AF-1  PIC 9(3).\n"
       "           05  AF-2  PIC X(3).\n",
       nullptr},
      {"level-05",
       "           05  L5-A.\n"
       "               10  L5-A1 PIC X(3).\n"
       "               10  L5-A2 PIC S9(7)V99 COMP-3.\n"
       "           05  L5-B  PIC 9(4) COMP.\n"
       "           05  L5-C OCCURS 2.\n"
       "               10  L5-C1 PIC X.\n"
       "               10  L5-C2 PIC 9(9) COMP.\n",
       nullptr},
      {"group-usage",
       "       01  GU-REC.\n"
       "           05  GU-BIN USAGE COMP.\n"
       "               10  GU-1  PIC S9(4).\n"
       "               10  GU-2  PIC S9(8).\n"
       "           05  GU-PACK COMP-3.\n"
       "               10  GU-3  PIC S9(6).\n"
       "           05  GU-NAT    PIC N(4).\n",
       nullptr},
      {"odo-middle",
       "       01  ODO-REC.\n"
       "           05  OD-CNT   PIC 9(2).\n"
       "           05  OD-HDR   PIC X(4).\n"
       "           05  OD-TAB OCCURS 0 TO 7 DEPENDING ON OD-CNT.\n"
       "               10  OD-K  PIC X(3).\n"
       "               10  OD-V  PIC S9(3) COMP-3.\n",
       nullptr},
      {"sync",
       "       01  SYNC-REC.\n"
       "           05  A   PIC X.\n"
       "           05  B   PIC S9(4) COMP SYNC.\n"
       "           05  C   PIC X(3).\n"
       "           05  D   PIC S9(9) BINARY SYNC.\n"
       "           05  E   COMP-2 SYNC.\n"
       "           05  F   PIC X.\n"
       "           05  G.\n"
       "               10  G1  PIC X(3).\n"
       "               10  G2  COMP-1 SYNCHRONIZED.\n"
       "               10  G4  INDEX SYNC.\n"
       "           05  H   PIC X.\n"
       "       01  SYNC-TAB.\n"
       "           05  S0  PIC X.\n"
       "           05  ST OCCURS 3.\n"
       "               10  S1  PIC X.\n"
       "               10  S2  PIC S9(9) COMP SYNC.\n"
       "               10  S3  PIC X.\n"
       "           05  S4  PIC X.\n",
       nullptr},
      {"lenient-dialect",
       "       01  MAX-ITEMS CONSTANT AS 3.\n"
       "       78  CELL-LEN VALUE MAX-ITEMS + 1.\n"
       "       01  DIA-REC.\n"
       "           05  B-CHAR          BINARY-CHAR.\n"
       "           05  B-CHAR-U        BINARY-CHAR UNSIGNED.\n"
       "           05  B-SHORT         BINARY-SHORT SIGNED.\n"
       "           05  B-SHORT-U       BINARY-SHORT UNSIGNED.\n"
       "           05  B-LONG          BINARY-LONG.\n"
       "           05  B-LONG-U        BINARY-LONG UNSIGNED.\n"
       "           05  B-DOUBLE        BINARY-DOUBLE.\n"
       "           05  B-DOUBLE-U      BINARY-DOUBLE UNSIGNED.\n"
       "           05  F-SHORT         FLOAT-SHORT.\n"
       "           05  F-LONG          FLOAT-LONG.\n"
       "           05  N-TEXT          PIC N(4) USAGE NATIONAL.\n"
       "           05  D-TAB OCCURS MAX-ITEMS TIMES.\n"
       "               10  D-CELL      PIC X(CELL-LEN).\n"
       "               10  D-NUM       BINARY-LONG.\n"
       "           05  D-END           PIC X.\n"
       "           05  D-FLAGS.\n"
       "               88  D-NONE      VALUE SPACES.\n"
       "               10  D-FLAG-1    PIC X.\n"
       "               10  D-FLAG-2    PIC X.\n",
       nullptr},
      {"lenient-gnucobol",
       "       01  GNU-REC.\n"
       "           05  C-LONG          BINARY-C-LONG.\n"
       "           05  C-LONG-U        BINARY-C-LONG UNSIGNED.\n"
       "           05  S-SHORT         SIGNED-SHORT.\n"
       "           05  S-INT           SIGNED-INT.\n"
       "           05  S-LONG          SIGNED-LONG.\n"
       "           05  U-SHORT         UNSIGNED-SHORT.\n"
       "           05  U-INT           UNSIGNED-INT.\n"
       "           05  U-LONG          UNSIGNED-LONG.\n"
       "           05  D-16            FLOAT-DECIMAL-16.\n"
       "           05  D-34            FLOAT-DECIMAL-34.\n"
       "           05  X-TAB OCCURS 2.\n"
       "               10  X-1         PIC 9 COMP-X.\n"
       "               10  X-2         PIC 99 COMP-X.\n"
       "               10  X-3         PIC 9(3) COMP-X.\n"
       "               10  X-4         PIC 9(4) COMP-X.\n"
       "               10  X-5         PIC 9(5) COMP-X.\n"
       "               10  X-7         PIC 9(7) COMP-X.\n"
       "               10  X-8         PIC 9(8) COMP-X.\n"
       "               10  X-9         PIC 9(9) COMP-X.\n"
       "               10  X-10        PIC 9(10) COMPUTATIONAL-X.\n"
       "               10  X-12        PIC 9(12) COMP-X.\n"
       "               10  X-13        PIC 9(13) COMP-X.\n"
       "               10  X-14        PIC 9(14) COMP-X.\n"
       "               10  X-15        PIC 9(15) COMP-X.\n"
       "               10  X-16        PIC 9(16) COMP-X.\n"
       "               10  X-17        PIC 9(17) COMP-X.\n"
       "               10  X-18        PIC 9(18) COMP-X.\n"
       "           05  X-S7            PIC S9(7) COMP-X.\n"
       "           05  X-V             PIC 9(3)V9 COMP-X.\n"
       "           05  X-P             PIC 9(3)PP COMP-X.\n"
       "           05  X-A1            PIC X COMP-X.\n"
       "           05  X-A3            PIC X(3) COMP-X.\n"
       "           05  X-A8            PIC X(8) COMP-X.\n"
       "           05  N-1             PIC 9 COMP-N.\n"
       "           05  N-5             PIC 9(5) COMPUTATIONAL-N.\n"
       "           05  N-A2            PIC XX COMP-N.\n"
       "           05  P6-1            PIC 9 COMP-6.\n"
       "           05  P6-2            PIC 99 COMP-6.\n"
       "           05  P6-7            PIC 9(5)V99 COMP-6.\n"
       "           05  P6-8            PIC 9(8) COMPUTATIONAL-6.\n"
       "           05  P6-P            PIC 9(3)PP COMP-6.\n"
       "           05  P6-S            PIC S9(5) COMP-6.\n"
       "           05  B-INT-U         BINARY-INT UNSIGNED.\n"
       "           05  B-LONG-LONG     BINARY-LONG-LONG.\n"
       "           05  G-END           PIC X.\n"
       "       01  GNU-SYNC-REC.\n"
       "           05  Y-A             PIC X.\n"
       "           05  Y-X3            PIC 9(5) COMP-X SYNC.\n"
       "           05  Y-B             PIC X.\n"
       "           05  Y-X4            PIC 9(9) COMP-X SYNC.\n"
       "           05  Y-C             PIC X.\n"
       "           05  Y-SI            SIGNED-INT SYNC.\n"
       "           05  Y-D             PIC X.\n"
       "           05  Y-P6            PIC 9(5) COMP-6 SYNC.\n"
       "           05  Y-E             PIC X.\n"
       "           05  Y-CL            BINARY-C-LONG SYNC.\n"
       "           05  Y-F             PIC X.\n"
       "           05  Y-US            UNSIGNED-SHORT SYNC.\n"
       "           05  Y-G             PIC X.\n"
       "           05  Y-X6            PIC 9(14) COMP-X SYNC.\n"
       "           05  Y-H             PIC X.\n"
       "           05  Y-X8            PIC 9(17) COMP-X SYNC.\n"
       "           05  Y-I             PIC X.\n"
       "           05  Y-A2            PIC XX COMP-N SYNC.\n"
       "       01  GNU-PTR-REC.\n"
       "           05  P-PTR           PROGRAM-POINTER.\n"
       "           05  P-END           PIC X.\n",
       nullptr},
      {"epsmortf", "", "IBM__dbb/zBuilder__MortgageApplication__copybook__epsmortf.cpy"},
      {"epsnbrpm", "", "IBM__dbb/zBuilder__MortgageApplication__copybook__epsnbrpm.cpy"},
      {"epspdata", "", "IBM__dbb/zBuilder__MortgageApplication__copybook__epspdata.cpy"},
      {"epsmtinp", "", "IBM__dbb/zBuilder__MortgageApplication__copybook__epsmtinp.cpy"},
      {"CIPAUSMY", "",
       "aws-samples__aws-mainframe-modernization-carddemo/"
       "app__app-authorization-ims-db2-mq__cpy__CIPAUSMY.cpy"},
      {"CIPAUDTY", "",
       "aws-samples__aws-mainframe-modernization-carddemo/"
       "app__app-authorization-ims-db2-mq__cpy__CIPAUDTY.cpy"},
      {"COSGN00", "",
       "aws-samples__aws-mainframe-modernization-carddemo/app__cpy-bms__COSGN00.CPY"},
      {"CVACT01Y", "", "aws-samples__aws-mainframe-modernization-carddemo/app__cpy__CVACT01Y.cpy"},
      {"CSDAT01Y", "", "aws-samples__aws-mainframe-modernization-carddemo/app__cpy__CSDAT01Y.cpy"},
      {"COCOM01Y", "", "aws-samples__aws-mainframe-modernization-carddemo/app__cpy__COCOM01Y.cpy"},
      {"CVCRD01Y", "", "aws-samples__aws-mainframe-modernization-carddemo/app__cpy__CVCRD01Y.cpy"},
      {"PADFLPCB", "",
       "aws-samples__aws-mainframe-modernization-carddemo/"
       "app__app-authorization-ims-db2-mq__cpy__PADFLPCB.CPY"},
  };
  return list;
}

fs::path corpusDir() {
  if (const char *dir = std::getenv("VEX_CORPUS_DIR"))
    return dir;
  return fs::path(VEX_SOURCE_DIR).parent_path() / "shared" / "corpus";
}

std::vector<std::string> split(const std::string &path) {
  std::vector<std::string> names;
  std::stringstream in(path);
  for (std::string name; std::getline(in, name, '.');)
    names.push_back(name);
  return names;
}

bool excluded(const RecordModel &model, const ModelRecord &record) {
  for (int i = record.root; i < record.end; ++i) {
    const ModelItem &item = model.items[static_cast<std::size_t>(i)];
    if (item.category == Category::pointer || item.category == Category::externalFloatingPoint)
      return true;
    const bool binary = item.usage == Usage::binary || item.usage == Usage::comp ||
                        item.usage == Usage::comp4 || item.usage == Usage::comp5;
    if (binary && item.synchronized && item.length == 8)
      return true;
  }
  return false;
}

// One item the program displays: where it is in the layout.
struct Probe {
  const ModelItem *item;
  std::string record;
};

// "C OF B OF A (1 1)": every name of the path from the item up, and the
// first occurrence of every table on the way. Empty for an item that cannot
// be named.
// `wrap`: the name of the 01 the program copies the copybook under, for the
// record the layout makes of a copybook without an 01 of its own.
std::string reference(const RecordModel &model, const ModelRecord &record, const ModelItem &item,
                      const std::string &wrap = "") {
  std::map<std::string, const ModelItem *> byPath;
  for (int i = record.root; i < record.end; ++i)
    byPath[model.items[static_cast<std::size_t>(i)].path] =
        &model.items[static_cast<std::size_t>(i)];
  std::vector<std::string> names = split(item.path);
  const std::vector<std::string> paths = names;
  if (!wrap.empty() && record.name == "RECORD")
    names.front() = wrap;
  std::string text;
  int subscripts = 0;
  std::string prefix;
  for (std::size_t i = 0; i < names.size(); ++i) {
    prefix += (i ? "." : "") + paths[i];
    const ModelItem *on = byPath[prefix];
    if (on != nullptr && on->occurs)
      ++subscripts;
  }
  for (std::size_t i = names.size(); i-- > 0;) {
    std::string name = names[i];
    if (name.rfind("FILLER", 0) == 0)
      return "";
    text += (text.empty() ? "" : "\n               OF ") + name;
  }
  if (subscripts > 0) {
    text += " (";
    for (int i = 0; i < subscripts; ++i)
      text += i ? " 1" : "1";
    text += ")";
  }
  return text;
}

std::string program(const std::string &copybook, bool wrap, const RecordModel &model,
                    std::vector<Probe> &probes) {
  std::ostringstream cob;
  cob << "       IDENTIFICATION DIVISION.\n"
         "       PROGRAM-ID. LAYCHK.\n"
         "       DATA DIVISION.\n"
         "       WORKING-STORAGE SECTION.\n"
         "       01 LAY-BASE USAGE POINTER.\n"
         "       01 LAY-BASE-N REDEFINES LAY-BASE PIC 9(18) COMP-5.\n"
         "       01 LAY-ITEM USAGE POINTER.\n"
         "       01 LAY-ITEM-N REDEFINES LAY-ITEM PIC 9(18) COMP-5.\n"
         "       01 LAY-OFF PIC 9(9).\n"
         "       01 LAY-LEN PIC 9(9).\n";
  if (wrap)
    cob << "       01 LAY-WRAP.\n";
  cob << "       COPY \"" << copybook << "\".\n"
      << "       PROCEDURE DIVISION.\n";
  for (const ModelItem &item : model.items)
    if (item.occurs && !item.occurs->dependingOnName.empty())
      cob << "           MOVE " << item.occurs->max << " TO " << item.occurs->dependingOnName
          << "\n";
  for (const ModelRecord &record : model.records) {
    const std::string wrapName = wrap ? "LAY-WRAP" : "";
    const std::string base =
        reference(model, record, model.items[static_cast<std::size_t>(record.root)], wrapName);
    if (excluded(model, record) || base.empty())
      continue;
    cob << "           SET LAY-BASE TO ADDRESS OF " << base << "\n";
    for (int i = record.root; i < record.end; ++i) {
      const ModelItem &item = model.items[static_cast<std::size_t>(i)];
      const std::string ref = item.level == 66 ? "" : reference(model, record, item, wrapName);
      if (ref.empty())
        continue;
      probes.push_back({&item, record.name});
      cob << "           SET LAY-ITEM TO ADDRESS OF " << ref << "\n"
          << "           COMPUTE LAY-OFF = LAY-ITEM-N - LAY-BASE-N\n"
          << "           MOVE FUNCTION BYTE-LENGTH (" << ref << ")\n"
          << "             TO LAY-LEN\n"
          << "           DISPLAY LAY-OFF \" \" LAY-LEN\n";
    }
  }
  cob << "           STOP RUN.\n";
  return cob.str();
}

bool startsAtLevel01(const std::string &text) {
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.size() < 8 || line[6] == '*' || line[6] == '/')
      continue;
    std::istringstream words(line.substr(7, 65));
    std::string level;
    if (words >> level)
      return level == "01" || level == "1" || level == "77";
  }
  return true;
}

// Compares the books written here (`fromCorpus` false) or those of the
// corpus; returns the number of items compared.
int crossCheck(bool fromCorpus) {
  int compared = 0;
  for (const Book &book : books()) {
    if ((book.corpus != nullptr) != fromCorpus)
      continue;
    SCOPED_TRACE(book.name);
    std::string text = book.text;
    if (book.corpus != nullptr) {
      std::ifstream in(corpusDir() / book.corpus, std::ios::binary);
      if (!in) {
        ADD_FAILURE() << "corpus copybook missing: " << book.corpus;
        continue;
      }
      text.assign(std::istreambuf_iterator<char>(in), {});
    }
    CobcScratch dir;
    EXPECT_FALSE(dir.path().empty());
    if (dir.path().empty())
      return compared;
    const std::string copybook = std::string(book.name) + ".cpy";
    std::ofstream(dir.path() / copybook, std::ios::binary) << text;

    FrontEndOptions frontEnd;
    frontEnd.messages = nullptr;
    VexCblConfig options;
    frontEnd.lenient = options.lenient = std::string(book.name).rfind("lenient-", 0) == 0;
    options.outputFileName = (dir.path() / "doc.gnv").string();
    RecordModel model;
    const VexCvtStatus status = process((dir.path() / copybook).string(), frontEnd, options,
                                        [&](const std::vector<VexProgramPart> &parts) {
                                          model = buildRecordModel(parts.front().entries, options);
                                          return VexCvtStatus::completed;
                                        });
    EXPECT_EQ(status, VexCvtStatus::completed);
    EXPECT_FALSE(model.records.empty());
    if (status != VexCvtStatus::completed || model.records.empty())
      continue;

    std::vector<Probe> probes;
    const std::string source = program(copybook, !startsAtLevel01(text), model, probes);
    const std::string dialect =
        std::string(book.name).rfind("lenient-gnucobol", 0) == 0 ? "-std=default" : "-std=ibm";
    const std::vector<std::string> lines = RunCobol(dir, "laychk", source, dialect + " -I .");
    EXPECT_EQ(lines.size(), probes.size()) << source;
    if (lines.size() != probes.size())
      continue;
    for (std::size_t i = 0; i < probes.size(); ++i) {
      const ModelItem &item = *probes[i].item;
      std::istringstream fields(lines[i]);
      long long offset = -1, length = -1;
      fields >> offset >> length;
      EXPECT_EQ(offset, item.offset) << probes[i].record << " " << item.path;
      EXPECT_EQ(length, item.length) << probes[i].record << " " << item.path;
      ++compared;
    }
  }
  return compared;
}

TEST(LayoutCobcCrossCheck, OffsetsAndLengthsMatchGnuCobol) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  const int compared = crossCheck(false);
  EXPECT_GT(compared, 150);
  std::cout << compared << " items compared\n";
}

TEST(LayoutCobcCrossCheck, CorpusCopybooksMatchGnuCobol) {
  if (!CobcInstalled())
    GTEST_SKIP() << "cobc is not installed";
  if (!fs::exists(corpusDir() / "MANIFEST.tsv"))
    GTEST_SKIP() << "no corpus at " << corpusDir().string()
                 << " (VEX_CORPUS_DIR names one): its copybooks are not compared";
  const int compared = crossCheck(true);
  EXPECT_GT(compared, 30);
  std::cout << compared << " items of corpus copybooks compared\n";
}

} // namespace

// Numeric mapping: binary/packed/zoned by USAGE, external float, edited picture to text pattern.
#include "converter/numeric_definitions.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include "converter/conversion.h"
#include "converter/conversion_messages.h"
#include "converter/item_contexts.h"
#include "frontend/syntax_tree.h"

namespace {

using Presentation = VexNumberDefScope::BinaryPresentation;

int property(VexCblPicture &picture, VexCblPicProps::Property key) {
  picture.analyze();
  return picture.picProps() ? picture.picProps()->props()[key] : 0;
}

bool isSeparateSign(int sign) { return sign == cwLeadingSeparate || sign == cwTrailingSeparate; }

// Character positions of the item's storage, counting a separate sign.
int itemLength(VexCblGrpContext &grp, VexCblObjContext &item) {
  if (!item.picture)
    return 0;
  return item.picture->size() + (isSeparateSign(vexCblGetSign(grp, item)) ? 1 : 0);
}

VexSyntax padSyntax(const char *pad) {
  return VexSyntax(pad);
}

VexDataDef makeBinary(long width) {
  auto binary = VexDefAccessor<VexBinaryDefImpl>::create();
  binary->setWidth(VexRange(width));
  return binary;
}

// The right-justified, blank-padded string that stands in for a number the
// model cannot express.
VexDataDef makeTextString(long width) {
  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(width));
  string->setPadCharacter(padSyntax(" "));
  string->setJustification(2);
  return string;
}

// Binary integer presentation by the number of 9 positions; none above 18.
bool integerPresentation(int size, bool isSigned, Presentation &presentation) {
  if (size >= 1 && size <= 4)
    presentation = isSigned ? Presentation::int16 : Presentation::uint16;
  else if (size >= 5 && size <= 9)
    presentation = isSigned ? Presentation::int32 : Presentation::uint32;
  else if (size >= 10 && size <= 18)
    presentation = isSigned ? Presentation::int64 : Presentation::uint64;
  else
    return false;
  return true;
}

bool isPackedUsage(int usage) { return usage == cwPackedDecimal || usage == cwComp3; }

bool isBinaryIntegerUsage(int usage) {
  return usage == cwBinary || usage == cwComputational || usage == cwComp0 + 4 ||
         usage == cwComp0 + 5;
}

// A one-byte integer, decimal floating point, a packed number without sign
// nibble: the model has no type for them, so their bytes are kept as they are.
VexDataDef bytesWithWarning(VexCblConversion &conv, int usage, long bytes) {
  conv.report.message(vexCblMsg::usageAsBytes(cobol_word[usage], bytes));
  return makeBinary(bytes);
}

// Presentations of the usages that need no picture; false for the others.
// The binary usages of COBOL 2002 take the presentation of their size;
// FLOAT-SHORT and FLOAT-LONG are COMP-1 and COMP-2 by another name, and
// FUNCTION-POINTER is stored as POINTER is.
bool fixedPresentation(int usage, Presentation &presentation) {
  switch (usage) {
  case cwIndex:
  case cwPointer:
  case cwObjectReference:
  case cwFunctionPointer:
  case cwProgramPointer:
  case cwBinaryLongUnsigned:
  case cwUnsignedInt:
    presentation = Presentation::uint32;
    return true;
  case cwSignedShort:
    presentation = Presentation::int16;
    return true;
  case cwUnsignedShort:
    presentation = Presentation::uint16;
    return true;
  case cwSignedInt:
    presentation = Presentation::int32;
    return true;
  // C long as GnuCOBOL stores it on a 64-bit host.
  case cwSignedLong:
  case cwBinaryCLong:
    presentation = Presentation::int64;
    return true;
  case cwUnsignedLong:
  case cwBinaryCLongUnsigned:
    presentation = Presentation::uint64;
    return true;
  case cwBinaryShort:
    presentation = Presentation::int16;
    return true;
  case cwBinaryShortUnsigned:
    presentation = Presentation::uint16;
    return true;
  case cwBinaryLong:
    presentation = Presentation::int32;
    return true;
  case cwBinaryDouble:
    presentation = Presentation::int64;
    return true;
  case cwBinaryDoubleUnsigned:
    presentation = Presentation::uint64;
    return true;
  case cwFloatShort:
    presentation = Presentation::float32;
    return true;
  case cwFloatLong:
    presentation = Presentation::float64;
    return true;
  case cwProcedurePointer:
    presentation = Presentation::uint64;
    return true;
  case cwComp0 + 1:
    presentation = Presentation::float32;
    return true;
  case cwComp0 + 2:
    presentation = Presentation::float64;
    return true;
  default:
    return false;
  }
}

// Sign position of a zoned number: the clause's position, trailing embedded
// for a signed item without clause, none otherwise.
int zonedSignPosition(int sign, bool isSigned) {
  switch (sign) {
  case cwLeading:
    return 1;
  case cwTrailing:
    return 2;
  case cwLeadingSeparate:
    return 3;
  case cwTrailingSeparate:
    return 4;
  case cwNone:
    return isSigned ? 2 : 0;
  default:
    return 0;
  }
}

const char *signPattern(int sign) {
  if (sign == cwLeadingSeparate)
    return "+0;-0";
  if (sign == cwTrailingSeparate)
    return "0+;0-";
  return "0;0";
}

// The positive and the negative sub-pattern of a numeric-edited picture,
// built side by side.
class VexCblPicToPattern {
public:
  // Appends `n` copies of `c` to both sub-patterns.
  void addSymb(char c, int n);
  // Appends `n` copies of `c` to the positive sub-pattern only.
  void addPosSymb(char c, int n);
  // Appends `n` copies of `c` to the negative sub-pattern only.
  void addNegSymb(char c, int n);
  // Appends `s` to the negative sub-pattern only.
  void addNegStr(const char *s);
  // The positive sub-pattern, ";", the negative sub-pattern.
  std::string getPattern() const;

private:
  std::string m_positive;
  std::string m_negative;
};

void VexCblPicToPattern::addSymb(char c, int n) {
  addPosSymb(c, n);
  addNegSymb(c, n);
}

void VexCblPicToPattern::addPosSymb(char c, int n) {
  if (n > 0)
    m_positive.append(static_cast<std::size_t>(n), c);
}

void VexCblPicToPattern::addNegSymb(char c, int n) {
  if (n > 0)
    m_negative.append(static_cast<std::size_t>(n), c);
}

void VexCblPicToPattern::addNegStr(const char *s) { m_negative += s; }

std::string VexCblPicToPattern::getPattern() const { return m_positive + ";" + m_negative; }

// One symbol of a numeric-edited picture together with its repetitions.
struct SymbolRun {
  char symbol;
  int count;
};

// Reads the run that starts at `pos`: the symbol, its repetition counts and
// directly repeated copies, so ZZZ, Z(3) and Z(2)Z are one run of 3.
SymbolRun readRun(const std::string &picture, std::size_t &pos) {
  SymbolRun run{picture[pos++], 1};
  while (pos < picture.size()) {
    if (picture[pos] == '(') {
      // Pictures past the size limit are refused before they come here, but
      // a run of P symbols takes no positions: cap the sum, never wrap it.
      const std::int64_t count = run.count + vexCblRepetitionAt(picture, pos) - 1;
      run.count = static_cast<int>(std::clamp<std::int64_t>(count, INT32_MIN, INT32_MAX));
    } else if (picture[pos] == run.symbol) {
      ++run.count;
      ++pos;
    } else {
      break;
    }
  }
  return run;
}

// Positions filled by `symbol` ahead of the first 9 symbol (in the whole
// picture when there is none), with repetition counts applied; a 9 inside a
// repetition count is not a digit.
int positionsBeforeDigits(const char *picture, char symbol) {
  const std::string text(picture);
  int positions = 0;
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] != '9') {
    const SymbolRun run = readRun(text, pos);
    if (run.symbol == symbol)
      positions += run.count;
  }
  return positions;
}

// The zero-suppression symbol of a picture: the first of "Z*" that stands
// ahead of the first 9 (the whole picture when it has none); 0 if neither
// does. Repetition counts are skipped, not taken for digits.
char vexCblGetZeroSupSymbol(const char *picture) {
  for (char symbol : {'Z', '*'})
    if (positionsBeforeDigits(picture, symbol) >= 1)
      return symbol;
  return 0;
}

// The floating-insertion symbol of a picture: the first of "+-$" that fills
// at least two positions ahead of the first 9, counting repetition counts
// (+(3)9 floats like +++9); 0 if none does.
char vexCblGetFloatSymbol(const char *picture) {
  for (char symbol : {'+', '-', '$'})
    if (positionsBeforeDigits(picture, symbol) >= 2)
      return symbol;
  return 0;
}

// True for the simple-insertion and fixed-insertion symbols "$+-/B0,".
bool vexCblIsInsertionSymbol(char c) { return c != '\0' && std::strchr("$+-/B0,", c) != nullptr; }

// What the pattern scan of a numeric-edited picture finds besides the
// pattern itself.
struct EditedLayout {
  VexCblPicToPattern pattern;
  char decimalPoint = 0;
  char groupSeparator = 0;
  char pad = 0;
  int pointLocation = 0;
};

// The left-to-right translation of a numeric-edited picture into a pattern.
class EditedScan {
public:
  EditedScan(VexCvtReport &report, const std::string &picture, int digits)
      : m_report(report), m_picture(picture), m_digits(digits),
        m_zeroSup(vexCblGetZeroSupSymbol(picture.c_str())),
        m_float(vexCblGetFloatSymbol(picture.c_str())) {}

  // Builds the layout; false after reporting the warning of a picture the
  // pattern cannot express.
  bool run(EditedLayout &layout);

private:
  bool step(const SymbolRun &run, EditedLayout &layout);
  void digits(int n, EditedLayout &layout);
  void sign(char symbol, int n, EditedLayout &layout);
  void currency(int n, EditedLayout &layout);
  bool separator(char symbol, int n, EditedLayout &layout);
  bool isGroupSeparatorPlace() const;

  VexCvtReport &m_report;
  const std::string &m_picture;
  std::size_t m_pos = 0;
  const int m_digits;
  int m_digitCount = 0;
  char m_zeroSup;
  char m_float;
  bool m_floatStarted = false;
  bool m_zeroSupSeen = false;
  bool m_afterV = false;
};

bool EditedScan::run(EditedLayout &layout) {
  while (m_pos < m_picture.size()) {
    const SymbolRun run = readRun(m_picture, m_pos);
    if (!step(run, layout))
      return false;
  }
  return true;
}

bool EditedScan::step(const SymbolRun &run, EditedLayout &layout) {
  const char symbol = run.symbol;
  const int n = run.count;
  if (symbol == '0') {
    m_report.message(vexCblMsg::zeroSymbols);
    return false;
  }
  if (m_zeroSup != 0 && !m_zeroSupSeen && vexCblIsInsertionSymbol(symbol)) {
    m_report.message(vexCblMsg::beforeZeroSup);
    return false;
  }
  switch (symbol) {
  case '9':
    digits(n, layout);
    break;
  case 'V':
    m_afterV = true;
    break;
  case '.':
    layout.pattern.addSymb('.', 1);
    layout.decimalPoint = '.';
    break;
  case 'Z':
  case '*':
    layout.pattern.addSymb('#', n);
    m_zeroSupSeen = true;
    layout.pad = symbol == 'Z' ? ' ' : '*';
    break;
  case '+':
  case '-':
    sign(symbol, n, layout);
    break;
  case '$':
    currency(n, layout);
    break;
  case 'C':
  case 'D':
    // CR and DB show only for negative values; the R or B is part of them.
    if (m_pos < m_picture.size() && m_picture[m_pos] == (symbol == 'C' ? 'R' : 'B')) {
      ++m_pos;
      layout.pattern.addPosSymb(' ', 2);
      layout.pattern.addNegStr(symbol == 'C' ? "CR" : "DB");
    }
    break;
  case ',':
  case '/':
  case 'B':
    return separator(symbol, n, layout);
  default:
    break;
  }
  return true;
}

void EditedScan::digits(int n, EditedLayout &layout) {
  m_digitCount += n;
  if (m_afterV)
    layout.pointLocation += n;
  else
    layout.pattern.addSymb('0', n);
  // Zero suppression and floating insertion end at the first digit shown.
  m_float = 0;
  m_zeroSup = 0;
}

void EditedScan::sign(char symbol, int n, EditedLayout &layout) {
  const char positive = symbol == '+' ? '+' : ' ';
  if (m_float != symbol) {
    layout.pattern.addPosSymb(positive, 1);
    layout.pattern.addNegSymb('-', 1);
    return;
  }
  if (m_floatStarted) {
    layout.pattern.addSymb('#', n);
    return;
  }
  layout.pattern.addPosSymb(positive, 1);
  layout.pattern.addNegSymb('-', 1);
  layout.pad = ' ';
  m_floatStarted = true;
  layout.pattern.addSymb('#', n - 1);
}

void EditedScan::currency(int n, EditedLayout &layout) {
  if (m_float != '$') {
    layout.pattern.addSymb('$', 1);
    return;
  }
  if (m_floatStarted) {
    layout.pattern.addSymb('#', n);
    return;
  }
  layout.pattern.addSymb('$', 1);
  layout.pad = ' ';
  m_floatStarted = true;
  layout.pattern.addSymb('#', n - 1);
}

bool EditedScan::isGroupSeparatorPlace() const {
  return (m_digitCount > 0 && m_digitCount < m_digits) || (m_floatStarted && m_float != 0) ||
         (m_zeroSupSeen && m_zeroSup != 0);
}

bool EditedScan::separator(char symbol, int n, EditedLayout &layout) {
  if (!isGroupSeparatorPlace()) {
    layout.pattern.addSymb(symbol == 'B' ? ' ' : symbol, n);
    return true;
  }
  if (n > 1) {
    m_report.message(vexCblMsg::separatorTooLong);
    return false;
  }
  if (layout.groupSeparator != 0 && layout.groupSeparator != symbol) {
    m_report.message(vexCblMsg::differentSeparators);
    return false;
  }
  layout.groupSeparator = symbol;
  layout.pattern.addSymb(',', 1);
  return true;
}

// The group separator as the user wrote it: B stands for a blank, and under
// a comma decimal point the stored "," was a "." in the source.
char userGroupSeparator(char stored, bool commaDecimalPoint) {
  if (stored == 'B')
    return ' ';
  if (stored == ',' && commaDecimalPoint)
    return '.';
  return stored;
}

VexDataDef makeEditedNumber(const EditedLayout &layout, int size, bool commaDecimalPoint) {
  auto number = VexDefAccessor<VexNumberDefImpl>::create();
  number->setJustification(2);
  number->setTextPattern(layout.pattern.getPattern());
  number->setWidth(VexRange(size));
  if (layout.decimalPoint != 0) {
    number->setTextPresentation(2);
    number->setDecimalPoint(commaDecimalPoint ? ',' : '.');
  } else if (layout.pointLocation > 0) {
    number->setTextPresentation(1);
    number->setPointLocation(layout.pointLocation);
  } else {
    number->setTextPresentation(0);
  }
  if (layout.groupSeparator != 0)
    number->setGroupSeparator(userGroupSeparator(layout.groupSeparator, commaDecimalPoint));
  if (layout.pad != 0) {
    const char pad[2] = {layout.pad, '\0'};
    number->setPadCharacter(padSyntax(pad));
  }
  return number;
}

// Sets the point location of `def` to the DigitsAfterV property when that is
// not 0; leaves it unset otherwise.
void vexCblCheckPointLoc(VexCblPicProps *props, VexDefAccessor<VexNumberDefImpl> def) {
  if (props == nullptr)
    return;
  const int after = props->props()[VexCblPicProps::DigitsAfterV];
  if (after != 0)
    def->setPointLocation(after);
}

// Maps an item whose effective USAGE is neither DISPLAY nor absent: binary
// integers by picture size, floating point, pointers, packed decimal (a
// binary definition under compatibility level 300). Reports the implicit-
// decimal and packed-decimal warnings; reports and throws VexCvtError for a
// missing picture where one is needed and for a usage without mapping.
VexDataDef vexCblCreateBinNum(VexCblConversion &conv, VexCblGrpContext &grp,
                              VexCblObjContext &item) {
  const bool compat300 = conv.options.compat300Output();
  VexCblPicture *picture = item.picture ? &*item.picture : nullptr;
  const int usage = vexCblPackedOrUsage(vexCblGetUsage(grp, item), picture, conv.options.lenient);
  // A packed number keeps its decimal point, except where it becomes bytes.
  if (picture && property(*picture, VexCblPicProps::DigitsAfterV) != 0 &&
      (compat300 || !isPackedUsage(usage)))
    conv.report.message(vexCblMsg::implicitDecimal);

  auto number = VexDefAccessor<VexNumberDefImpl>::create();
  Presentation presentation{};
  if (isBinaryIntegerUsage(usage)) {
    if (!picture)
      conv.report.error(vexCblMsg::pictureMissing);
    const bool isSigned = property(*picture, VexCblPicProps::S) > 0;
    if (integerPresentation(picture->size(), isSigned, presentation))
      number->setBinaryPresentation(presentation);
    return number;
  }
  if (isPackedUsage(usage)) {
    if (!picture)
      conv.report.error(vexCblMsg::pictureMissing);
    if (compat300) {
      conv.report.message(vexCblMsg::packed);
      return makeBinary(picture->size() / 2 + 1);
    }
    number->setBinaryPresentation(Presentation::packedDecimal);
    number->setNumberOfDigits(property(*picture, VexCblPicProps::Digits));
    vexCblCheckPointLoc(picture->picProps(), number);
    return number;
  }
  // The model has no one-byte integer: its bytes are kept as they are.
  if (usage == cwBinaryChar || usage == cwBinaryCharUnsigned) {
    conv.report.message(vexCblMsg::binaryChar);
    return makeBinary(1);
  }
  if (usage == cwFloatDecimal16)
    return bytesWithWarning(conv, usage, 8);
  if (usage == cwFloatDecimal34)
    return bytesWithWarning(conv, usage, 16);
  // Sized by the picture; the default reading has no mapping for them.
  if (conv.options.lenient && (vexCblIsBinaryByPicture(usage) || usage == cwComp6)) {
    if (!picture)
      conv.report.error(vexCblMsg::pictureMissing);
    const long bytes = vexCblStorageByPicture(usage, *picture);
    if (bytes == 0)
      conv.report.error(vexCblMsg::unknownUsage);
    const bool isSigned = property(*picture, VexCblPicProps::S) > 0;
    if (usage != cwComp6 && (bytes == 2 || bytes == 4 || bytes == 8)) {
      number->setBinaryPresentation(
          bytes == 2   ? isSigned ? Presentation::int16 : Presentation::uint16
          : bytes == 4 ? isSigned ? Presentation::int32 : Presentation::uint32
          : isSigned   ? Presentation::int64
                       : Presentation::uint64);
      return number;
    }
    return bytesWithWarning(conv, usage, bytes);
  }
  // -lenient: COMP-0 is a binary halfword whatever its picture's digits, as
  // the dialects that have it (Micro Focus, CA-Realia) store it; signed when
  // the picture is.
  if (conv.options.lenient && usage == cwComp0) {
    const bool isSigned = picture != nullptr && property(*picture, VexCblPicProps::S) > 0;
    number->setBinaryPresentation(isSigned ? Presentation::int16 : Presentation::uint16);
    return number;
  }
  if (!fixedPresentation(usage, presentation))
    conv.report.error(vexCblMsg::unknownUsage);
  number->setBinaryPresentation(presentation);
  return number;
}

// Maps a DISPLAY item with a plain numeric picture to a zoned-decimal number;
// under compatibility level 300 to a text number with a sign pattern, or to a
// binary definition with the inner-sign warning when the sign is embedded.
VexDataDef vexCblCreateTextNum(VexCblConversion &conv, VexCblGrpContext &grp,
                               VexCblObjContext &item) {
  VexCblPicture &picture = *item.picture;
  const int size = picture.size();
  const int sign = vexCblGetSign(grp, item);
  const bool isSigned = property(picture, VexCblPicProps::S) > 0;
  const int afterV = property(picture, VexCblPicProps::DigitsAfterV);

  if (conv.options.compat300Output()) {
    if (sign == cwTrailing || sign == cwLeading || (sign == cwNone && isSigned)) {
      conv.report.message(vexCblMsg::innerSign);
      return makeBinary(size);
    }
    auto number = VexDefAccessor<VexNumberDefImpl>::create();
    number->setJustification(2);
    number->setTextPattern(signPattern(sign));
    // The separate sign position is not counted: the pattern carries it.
    number->setWidth(VexRange(size));
    if (afterV != 0) {
      number->setTextPresentation(1);
      number->setPointLocation(afterV);
    } else {
      number->setTextPresentation(0);
    }
    return number;
  }

  auto number = VexDefAccessor<VexNumberDefImpl>::create();
  number->setTextPresentation(4);
  number->setNumberOfDigits(property(picture, VexCblPicProps::Digits));
  if (const int position = zonedSignPosition(sign, isSigned); position != 0)
    number->setSignPosition(position);
  if (item.blankWhenZero)
    number->setBlankWhenZero(1);
  vexCblCheckPointLoc(picture.picProps(), number);
  return number;
}

// Maps a DISPLAY item whose picture has E to an external floating-point
// number; a picture of fewer than 7 positions gives a string with a warning.
VexDataDef vexCblCreateTextExtrFloat(VexCblConversion &conv, VexCblObjContext &item) {
  const int size = item.picture->size();
  if (size < 7) {
    conv.report.message(vexCblMsg::shortFloat);
    return makeTextString(size);
  }
  auto number = VexDefAccessor<VexNumberDefImpl>::create();
  number->setJustification(2);
  number->setPadCharacter(padSyntax(" "));
  number->setWidth(VexRange(size));
  number->setTextPresentation(3);
  return number;
}

// Maps a numeric-edited DISPLAY item to a number with a text pattern, decimal
// point, group separator and pad character; a picture the pattern cannot
// express gives a right-justified string padded with "0" and a warning.
VexDataDef vexCblCreateTextNumEdited(VexCblConversion &conv, VexCblObjContext &item) {
  VexCblPicture &picture = *item.picture;
  const int size = picture.size();
  EditedLayout layout;
  EditedScan scan(conv.report, picture.getPictureVal(), property(picture, VexCblPicProps::Digits));
  if (!scan.run(layout)) {
    auto string = VexDefAccessor<VexStringDefImpl>::create();
    string->setWidth(VexRange(size));
    string->setPadCharacter(padSyntax("0"));
    string->setJustification(2);
    return string;
  }
  return makeEditedNumber(layout, size, conv.options.commaDecimalPoint);
}

} // namespace

bool vexCblIsDialectNumberUsage(int usage) {
  switch (usage) {
  case cwBinaryChar:
  case cwBinaryCharUnsigned:
  case cwBinaryShort:
  case cwBinaryShortUnsigned:
  case cwBinaryLong:
  case cwBinaryLongUnsigned:
  case cwBinaryDouble:
  case cwBinaryDoubleUnsigned:
  case cwFloatShort:
  case cwFloatLong:
  case cwFunctionPointer:
  case cwBinaryCLong:
  case cwBinaryCLongUnsigned:
  case cwSignedShort:
  case cwSignedInt:
  case cwSignedLong:
  case cwUnsignedShort:
  case cwUnsignedInt:
  case cwUnsignedLong:
  case cwFloatDecimal16:
  case cwFloatDecimal34:
  case cwProgramPointer:
    return true;
  default:
    return false;
  }
}

int vexCblPackedOrUsage(int usage, VexCblPicture *picture, bool lenient) {
  if (lenient && usage == cwComp6 && picture != nullptr &&
      property(*picture, VexCblPicProps::S) > 0)
    return cwComp3;
  return usage;
}

bool vexCblIsBinaryByPicture(int usage) { return usage == cwCompX || usage == cwCompN; }

long vexCblStorageByPicture(int usage, VexCblPicture &picture) {
  picture.analyze();
  const bool numeric = vexCblTypeHas(picture.type(), VexCblType::Numeric);
  const long digits = numeric ? property(picture, VexCblPicProps::Digits) : picture.size();
  if (usage == cwComp6)
    return numeric ? (digits + 1) / 2 : 0;
  if (!vexCblIsBinaryByPicture(usage))
    return 0;
  // Past 8 bytes no decoder reads it, and GnuCOBOL's sizes of PIC X(n)
  // COMP-X for n > 8 follow no rule.
  if (!numeric)
    return picture.size() <= 8 ? picture.size() : 0;
  // The most decimal digits an unsigned integer of 1 .. 8 bytes always holds.
  static constexpr int digitsHeld[] = {2, 4, 7, 9, 12, 14, 16, 19};
  for (long bytes = 1; bytes <= 8; ++bytes)
    if (digits <= digitsHeld[bytes - 1])
      return bytes;
  return 0;
}

VexDataDef vexCblCreateNumber(VexCblConversion &conv, VexCblGrpContext &grp,
                              VexCblObjContext &item) {
  const VexCblConfig &config = conv.options;
  VexCblPicture *picture = item.picture ? &*item.picture : nullptr;
  if (picture && config.compat300Output() && property(*picture, VexCblPicProps::P) != 0)
    conv.report.message(vexCblMsg::pSymbols);

  const int length = itemLength(grp, item);
  const int usage = vexCblGetUsage(grp, item);
  if (usage == cwDisplay1) {
    if (!picture)
      conv.report.error(vexCblMsg::pictureMissing);
    conv.report.message(vexCblMsg::display1);
    return makeBinary(2L * length);
  }
  // A national number has its digits as characters: a string of its length.
  if (usage == cwNational) {
    if (!picture)
      conv.report.error(vexCblMsg::pictureMissing);
    conv.report.message(vexCblMsg::nationalNumber);
    return makeTextString(length);
  }
  if (usage != cwDisplay && usage != cwNone)
    return vexCblCreateBinNum(conv, grp, item);
  if (!picture)
    conv.report.error(vexCblMsg::pictureMissing);
  if (config.textNumbersAsStrings)
    return makeTextString(length);
  if ((config.compat300Output() && item.blankWhenZero) ||
      property(*picture, VexCblPicProps::Digits) == 0) {
    conv.report.message(vexCblMsg::blankWhenZero);
    return makeTextString(length);
  }
  if (property(*picture, VexCblPicProps::E) != 0)
    return vexCblCreateTextExtrFloat(conv, item);
  if (vexCblTypeHas(picture->type(), VexCblType::Edited))
    return vexCblCreateTextNumEdited(conv, item);
  return vexCblCreateTextNum(conv, grp, item);
}

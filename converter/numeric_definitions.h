#pragma once
#include <string>

#include "converter/pictures.h"
#include "model/definition_model.h"

// Numeric definitions: the mapping of numeric items (binary, packed, zoned,
// external floating point and numeric-edited) to number definitions of the
// model, with the string and binary replacements, and their warnings, where
// a number cannot represent the item.

class VexCblConversion;
class VexCblGrpContext;
class VexCblObjContext;

// Maps a numeric item (numeric picture, edited or not, or a numeric USAGE
// without picture) by USAGE, the conversion options and picture to a number, binary
// or string definition. Reports the P-symbol, DISPLAY-1 and BLANK WHEN ZERO
// warnings; reports "Picture is not specified." and throws VexCvtError for a
// DISPLAY or DISPLAY-1 item without picture. Expects the picture, if any, to
// be analysed already.
VexDataDef vexCblCreateNumber(VexCblConversion &conv, VexCblGrpContext &grp,
                              VexCblObjContext &item);

// Maps an item whose effective USAGE is neither DISPLAY nor absent: binary
// integers by picture size, floating point, pointers, packed decimal (a
// binary definition under compatibility level 300). Reports the implicit-
// decimal and packed-decimal warnings; reports and throws VexCvtError for a
// missing picture where one is needed and for a usage without mapping.
VexDataDef vexCblCreateBinNum(VexCblConversion &conv, VexCblGrpContext &grp,
                              VexCblObjContext &item);

// Maps a DISPLAY item with a plain numeric picture to a zoned-decimal number;
// under compatibility level 300 to a text number with a sign pattern, or to a
// binary definition with the inner-sign warning when the sign is embedded.
VexDataDef vexCblCreateTextNum(VexCblConversion &conv, VexCblGrpContext &grp,
                               VexCblObjContext &item);

// Maps a DISPLAY item whose picture has E to an external floating-point
// number; a picture of fewer than 7 positions gives a string with a warning.
VexDataDef vexCblCreateTextExtrFloat(VexCblConversion &conv, VexCblObjContext &item);

// Maps a numeric-edited DISPLAY item to a number with a text pattern, decimal
// point, group separator and pad character; a picture the pattern cannot
// express gives a right-justified string padded with "0" and a warning.
VexDataDef vexCblCreateTextNumEdited(VexCblConversion &conv, VexCblObjContext &item);

// Sets the point location of `def` to the DigitsAfterV property when that is
// not 0; leaves it unset otherwise.
void vexCblCheckPointLoc(VexCblPicProps *props, VexDefAccessor<VexNumberDefImpl> def);

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

// The zero-suppression symbol of a picture: the first of "Z*" that stands
// ahead of the first 9 (the whole picture when it has none); 0 if neither
// does. Repetition counts are skipped, not taken for digits.
char vexCblGetZeroSupSymbol(const char *picture);

// The floating-insertion symbol of a picture: the first of "+-$" that fills
// at least two positions ahead of the first 9, counting repetition counts
// (+(3)9 floats like +++9); 0 if none does.
char vexCblGetFloatSymbol(const char *picture);

// True for the simple-insertion and fixed-insertion symbols "$+-/B0,".
bool vexCblIsInsertionSymbol(char c);

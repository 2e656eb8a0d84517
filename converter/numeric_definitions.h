#pragma once
// Numeric definitions: binary, packed, zoned, text and edited numbers mapped to the model.
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

// True for the numeric usages without picture that only -lenient reads:
// BINARY-CHAR/-SHORT/-LONG/-DOUBLE (SIGNED or UNSIGNED), FLOAT-SHORT,
// FLOAT-LONG and FUNCTION-POINTER.
bool vexCblIsDialectNumberUsage(int usage);

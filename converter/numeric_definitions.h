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
// FLOAT-LONG, FUNCTION-POINTER, BINARY-C-LONG, SIGNED-/UNSIGNED-SHORT, -INT,
// -LONG, FLOAT-DECIMAL-16/-34 and PROGRAM-POINTER.
bool vexCblIsDialectNumberUsage(int usage);

// COMP-3 for a signed COMP-6 item under -lenient (GnuCOBOL stores it so);
// `usage` otherwise.
int vexCblPackedOrUsage(int usage, VexCblPicture *picture, bool lenient);

// True for COMP-X and COMP-N, whose storage -lenient sizes by the picture,
// an alphanumeric picture included.
bool vexCblIsBinaryByPicture(int usage);

// The bytes that GnuCOBOL and Micro Focus give an item of `usage` with
// `picture` where the picture sets the size: COMP-X and COMP-N the fewest
// bytes whose unsigned range holds the digits (one byte a position for an
// alphanumeric picture of up to 8), COMP-6 one byte per two digits, rounded
// up. 0 for any other usage and past 8 bytes of COMP-X or COMP-N.
long vexCblStorageByPicture(int usage, VexCblPicture &picture);

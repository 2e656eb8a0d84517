#pragma once
// Switches of the source reader, the scanner and COPY handling, set by the
// driver before parsing. The name checks are the declaration table's own
// (NameCheck, NameCheckMsg in cobol/deftab.h, included here for the driver).

#include "cobol/deftab.h"

// 1: free reference format; 0: fixed reference format (the default).
extern bool free_format;
// Characters of a physical line that the source reader keeps: 72 by default,
// 256 in free format.
extern unsigned MaxColumn;
// 1: COPY statements are processed.
extern bool do_copy;

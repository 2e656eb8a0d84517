#pragma once
// Switches of the source reader, the scanner and COPY handling, set by the
// driver before parsing. The name checks are the declaration table's own
// (NameCheck, NameCheckMsg in cobol/deftab.h, included here for the driver).

#include "cobol/deftab.h"

// free_format and MaxColumn belong to the source reader.
#include "cobol/Source.h"
// 1: COPY statements are processed.
extern bool do_copy;

#pragma once
// Switches of the COBOL front end that the driver sets before parsing. They
// are read by the source reader, the scanner, COPY handling and the
// declaration table.

// free_format and MaxColumn belong to the source reader.
#include "cobol/Source.h"
// 1: COPY statements are processed.
extern bool do_copy;
// NameCheck and NameCheckMsg belong to the declaration table.
#include "cobol/deftab.h"

#pragma once
// Switches of the COBOL front end that the driver sets before parsing. They
// are read by the source reader, the scanner, COPY handling and the
// declaration table.

// 1: free reference format; 0: fixed reference format (the default).
extern bool free_format;
// Characters of a physical line that the source reader keeps: 72 by default,
// 256 in free format.
extern unsigned MaxColumn;
// 1: COPY statements are processed.
extern bool do_copy;
// 1: duplicate and unresolved data names are checked.
extern bool NameCheck;
// 1: the name checks report their messages.
extern bool NameCheckMsg;

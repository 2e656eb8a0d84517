#pragma once
// The copybook parser: reads the terminals of the scanner (GetToken), builds
// the syntax tree (TreeRoot), declares every entry in the declaration table
// as it reduces it, and reports syntax errors through the message store,
// recovering so that one run reports the errors of every broken entry.

// Parses a copybook: data description entries, RD and CD descriptions, COPY
// statements and EXEC blocks between entries; no headers; empty is an error.
// Starts with a fresh parser state, reads terminals through GetToken until
// end of input, and leaves a data_division node in TreeRoot also when the
// input was broken (its lists then hold what could be repaired). Each syntax
// error is reported at the offending terminal as "syntax error" (Error),
// "token found" (Information, the terminal's name) and "expected tokens"
// (Information, the names of every terminal acceptable there in code order,
// joined by blanks), and "restart point" (Information) where input had to be
// skipped. Returns the number of syntax errors. The scanner, the message
// store, the identifier table, the keyword table and the declaration table
// must have been begun. Start symbol 2 reads a copybook; start symbol 1 a
// DATA DIVISION: the optional header, then the sections in their fixed order
// (an FD or SD also without the FILE SECTION header); empty input is one.
// Start symbol 3 reads a copybook, or FD and SD descriptions with their
// records after an optional FILE SECTION header, each header and description
// with a warning that it was skipped.
int Parser2(int start = 2);

// How many entries the last Parser2 read whole from the scanner's bytes
// (the fast path for plain one-line entries) instead of terminal by
// terminal. The environment variable VEXFCBL_NO_FAST_ENTRIES turns that
// path off, for the tests that compare the two readings.
int FastEntriesRead();

// The printable name of terminal `code` ("_EOF_", "name", ".", "PICTURE",
// "name in area A" ...), as the grammar declares it; "_unknown_" for a code
// above MaxTerminal or without a name. The text lives as long as the active run.
const char *yyGetTokenName(int code);

#pragma once
// The data-division parser: reads the terminals of the scanner (GetToken),
// builds the syntax tree (TreeRoot), declares every entry in the declaration
// table as it reduces it, and reports syntax errors through the message
// store, recovering so that one run reports the errors of every broken entry.

// Start symbols of Parser2.
// A DATA DIVISION: optional header, sections in their fixed order.
inline constexpr int ParserStartDivision = 1;
// A copybook: data description entries, RD and CD descriptions, COPY
// statements and EXEC blocks between entries; no headers; empty is an error.
inline constexpr int ParserStartCopybook = 2;

// Parses the whole input from the start symbol `start` (1 or 2; any other
// value is taken as 2). Calls BeginParser, reads terminals through GetToken
// until end of input, and leaves a data_division node in TreeRoot also when
// the input was broken (its lists then hold what could be repaired). Each
// syntax error is reported at the offending terminal as "syntax error"
// (Error), "token found" (Information, the terminal's name) and "expected
// tokens" (Information, the names of every terminal acceptable there in code
// order, joined by blanks), and "restart point" (Information) where input had
// to be skipped. Returns the number of syntax errors. The scanner, the
// message store, the identifier table, the keyword table and the declaration
// table must have been begun.
int Parser2(int start);

// Parser2(ParserStartDivision).
int Parser();

// Resets the parser's semantic state (section, picture buffers, error
// count). Called by Parser2.
void BeginParser();

// Releases what the parser keeps between runs. Called by the driver at the
// end of a conversion; Parser2 may be called again afterwards.
void CloseParser();

// The printable name of terminal `code` ("_EOF_", "name", ".", "PICTURE",
// "name in area A" ...), as the grammar declares it; "_unknown_" for a code
// above 307 or without a name.
const char *yyGetTokenName(int code);

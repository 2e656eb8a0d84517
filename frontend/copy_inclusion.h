#pragma once
// COPY, INCLURE and the include directives: the copy-file levels that
// positions name, the statements open at each level, and the inclusion of the
// copybooks that the copybook search finds.

#include "diagnostics/position.h"
#include "frontend/syntax_tree.h"
#include "support/identifier_table.h"

// 1: COPY statements are processed (copybooks are searched and included).
bool &do_copy();

// Which repair text the parser wants when a copybook cannot be found: the
// parser sets it from the place of the COPY statement (0 none, 1 a period
// after an entry, 2 a level-01 head, 3 a level-77 head) and chooses
// copy_repair (frontend/source_reader.h) from it.
int &copy_context();

// Levels of the copy-file name stack: 0 is the state before the main file,
// the main file is level 1, nested copybooks take levels 2 to 31.
inline constexpr int MaxCopyLevels = 32;

// Resets the COPY machinery for a new conversion: empties the copy-file and
// statement stacks, the replacement state and the count of copybooks not
// found, and installs the scanner hooks (the replacement stage in
// GetToken_Hook and ScanMessage_Hook, `pop` in CloseSource_Hook, include
// lines in Include_Hook). Call before the main file is pushed.
void init_copy_pars();

// Enters a copy-file level for the file just opened with BeginFile (whose
// file stack keeps the including file's name, include prefix and level
// increment): makes `file` the file that positions name and resets the
// area-A limit. Entering level 32 or deeper reports "too many nested
// COPY's" (Fatal) and enters nothing. The driver enters the main file so.
void push(tIdent file);

// Leaves the innermost level after its file was closed (CloseFile has
// restored the including file's name, prefix and increment): ends the
// reading of replaced text that belongs to the level (stop_replacing). Does nothing
// at level 0. Installed as CloseSource_Hook.
void pop();

// The current copy-file level (0 before the main file is pushed).
int CopyLevel();

// Includes a copybook. When copying is enabled and `name` is not empty,
// looks `name` up with rFindFile. Not found: counts it, reports "cannot
// access include file" (Error, with the name) at `position`, runs CopyRepair
// and returns 0. Found: opens it with BeginFile, pushes its path, records the
// path in `statement` (an s_copy or s_inclure node, or NoTree for an include
// line) and, when `statement` is a COPY with replacing pairs, starts the
// replacement of the copybook's text; returns 1. `library` is recorded by the
// caller only; it plays no part in the search. A copybook that would be
// level 32 is reported as "too many nested COPY's" (Fatal) and not opened.
int Copy(tIdent name, tPosition position, tIdent library, tTree statement);

// When the parser asked for a repair text (copy_repair), switches the line
// reader to the one-line pseudo-file "dot" that serves it and pushes "dot".
void CopyRepair();

// Applies the prefix character and level increment of the INCLURE statement
// that opened the current level to the text of that level.
void start_prefix();

// Carries out a COPY statement: includes the copybook named by its text name
// (the spelling of a word; the content of a literal) and returns what Copy
// returns.
int CopyStatement(tree::s_copy *statement);

// Carries out an INCLURE statement: on success the member's text gets the
// statement's prefix character and level increment.
int InclureStatement(tree::s_inclure *statement);

// Called by the parser when it has reduced a COPY statement, before it reads
// the terminal after the period: CopyStatement. A statement that the
// COPY-statement parser already carried out while the replaced text was read
// (the parser gets it again with the replaced text) only gets its file name
// and returns 0.
int CopyStatementReduced(tree::s_copy *statement);

// The same for an INCLURE statement (InclureStatement).
int InclureStatementReduced(tree::s_inclure *statement);

// Called by the parser when it has reduced a REPLACE statement: with pairs,
// the text from here to the end of the main file (or to the next REPLACE) is
// replaced; REPLACE OFF (no pairs) needs nothing, because a replacement ends
// at the REPLACE word that begins it.
void ReplaceStatementReduced(tree::s_replace *statement);

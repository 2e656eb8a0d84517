#pragma once
// COPY, INCLURE and the include directives: the copy-file levels that
// positions name, the statements open at each level, and the inclusion of the
// copybooks that the copybook search finds.

#include "diagnostics/position.h"
#include "frontend/syntax_tree.h"
#include "support/copybook_search.h"
#include "support/identifier_table.h"

// Levels of the copy-file name stack: 0 is the state before the main file,
// the main file is level 1, nested copybooks take levels 2 to 31.
inline constexpr int MaxCopyLevels = 32;

// Resets the COPY machinery for a new conversion: empties the copy-file and
// statement stacks and the replacement state, and installs the scanner hooks (the replacement stage
// in GetToken_Hook and ScanMessage_Hook, `pop` in CloseSource_Hook, include lines in Include_Hook).
// Call before the main file is pushed.
void init_copy_pars();

// Copybooks the caller holds in memory: COPY asks `lookup` first and searches
// the directories only for a name it does not know. Empty: directories only.
void SetCopybookLookup(CopybookLookup lookup);

// Enters a copy-file level for the file just opened with BeginFile (whose
// file stack keeps the including file's name, include prefix and level
// increment): makes `file` the file that positions name and resets the
// area-A limit. Entering level 32 or deeper reports "too many nested
// COPY's" (Fatal) and enters nothing. The driver enters the main file so.
void push(tIdent file);

// The current copy-file level (0 before the main file is pushed).
int CopyLevel();
// The level the nesting limit counts: CopyLevel, plus the depth of the
// replaced text a copybook on the stack was opened from.
int EffectiveCopyLevel();

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

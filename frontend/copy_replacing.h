#pragma once
// COPY ... REPLACING and REPLACE: the token stage that replaces text in memory.
//
// When a replacement starts, the stage reads the tokens of the affected text
// (the copybook of a COPY; for a REPLACE everything up to the end of the main
// file or the next REPLACE), applies the pairs, and keeps the result as a list
// of pieces: source tokens and the texts of the replacements, laid out as the
// text would be written with the layout of its source. The parser then gets
// the source tokens as they are and the tokens of the replacement texts, each
// at the position it has in the source. Where the text around a replacement
// reads differently because of it (a replacement that ends in PIC, a level
// number, an open literal ...) the pieces are scanned again from memory until
// scanning comes back in step with the source tokens.

#include "diagnostics/position.h"
#include "frontend/syntax_tree.h"
#include "support/identifier_table.h"

// Starts replacing the text of copy-file `file` with `pairs` (a
// copy_replacing_l list): for a COPY (`copy` set) the text of the current
// level, for a REPLACE everything up to the end of the main file or the next
// REPLACE. While a replacement is active it reports "can not handle nested
// REPLACING" (Restriction) at `where`, changes nothing and returns false.
bool start_replacing(tIdent file, tTree pairs, bool copy, tPosition where);

// Called by `pop` before a level is left: when the reading of the affected
// text belongs to the level, that text ends there.
void stop_replacing();

// The stage: installed as GetToken_Hook by init_copy_pars. Without an active
// replacement it is Get_Token.
int ReplacingGetToken();
// True when the stage has nothing to do: no affected text being read, no
// replaced text being served or scanned, no terminal held back. Its
// terminals are then the scanner's.
bool ReplacingIdle();

// Installed as ScanMessage_Hook by init_copy_pars. Messages about the affected
// text are noted while it is read; when the stage scans text again from
// memory, a message is moved to the source position of its text, and dropped
// when the same message was reported there already.
bool ReplacingScanMessage(const char *text, tPosition &position);

// Suspend and restore what reading the affected text changes in the scanner
// while the COPY-statement parser reads a statement there: commas and
// semicolons separate like blanks again. The replacement stays active, so
// that a REPLACING in the statement is refused as nested.
void SuspendReplacing();
void ResumeReplacing();

// Forgets all replacement state (init_copy_pars).
void ResetReplacing();

// Operands of REPLACING and REPLACE are text to find and to put in its place,
// not data references: marks every identifier in `operand` so that reference
// resolution passes it by.
void keep_operand_unresolved(tTree operand);

// While replaced text is being served, the copy level it stands for (COPY
// statements in it nest on top of that level); 0 otherwise.
int ReplacedTextLevel();

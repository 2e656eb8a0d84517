#pragma once
// Tree transformations: the restructuring of entries that a COPY statement
// inside an entry brought in. (The text-replacement routines of COPY ...
// REPLACING and REPLACE belong to this module too and are declared with it.)

#include <string>
#include <vector>

#include "frontend/syntax_tree.h"

// Restructures a section's entry list (in source order) in place and returns
// it: a format_copy entry followed by a format_1 receives, as its
// data_description_entry_l, that format_1 and every following entry from the
// same source file (the file of the format_1's name), closed by a new
// nodata_description_entry; its `next` becomes the first entry after them.
// A node in the list that is no entry is a routine failure of
// "trafo_data_desc", a node that is neither entry nor end node after copied
// entries one of "get_end_of_copy": code 70 ("routine failed", Fatal, with
// "Trafo.<routine>") is reported, which ends the run with FatalError.
tTree trafo_data_desc(tTree list);

// ---- COPY ... REPLACING and REPLACE ----------------------------------------
// Replacement runs in two passes. The first reads the tokens of the affected
// text, applies the pairs and writes the result, keeping the layout, to a
// temporary file (mkstemp in TMPDIR, else /tmp) together with a table of
// position corrections; the second scans that file as a nested file and
// reports every token at the file, line and column it had in its source.

// One token of an operand to find.
struct tReplacingToken {
  enum tKind { Word, Integer, Real, Literal, Text } kind;
  tIdent word; // Word: the normalised word
  std::string
      text; // Word: normalised text; Integer, Real, Literal: as written; Text: its characters
  std::string written; // the text as written, for output
  tPosition begin;     // NoPosition when the operand does not say
  tPosition end;
  int white; // 1: preceded by white space, 0: not, -1: either
};

// Converts an operand (pseudo-text read as tokens, an identifier, a literal
// or a word) into the tokens to find, in source order: one per word,
// literal and operator. Qualifiers give "OF" or "IN" words, subscripts and
// reference modifiers their parentheses, ":" and contents, FUNCTION and
// LENGTH OF their words. Pseudo-text elements that hold a word become words,
// the others text. White-space marks are left at -1.
std::vector<tReplacingToken> ident_2_token_list(tTree operand);

// Marks the tokens from the second on: 1 when a token does not begin in the
// column right after the end of the previous one on the same line and file,
// else 0; -1 when a position is not known.
void compute_white_space(std::vector<tReplacingToken> &tokens);

// Starts replacing the text of copy-file `file` with `pairs` (a
// copy_replacing_l list): for a COPY (`copy` set) the text of the current
// level, for a REPLACE everything up to the end of the main file or the next
// REPLACE. While a replacement is active it reports "can not handle nested
// REPLACING" (Restriction) at `where`, changes nothing and returns false.
// A temporary file that cannot be created is Fatal.
bool start_replacing(tIdent file, tTree pairs, bool copy, tPosition where);

// Called by `pop` before a level is left: when the first pass belongs to the
// level it ends (the position table gets its sentinel); when the second
// pass's file is left it ends too (MaxColumn lowered again, table cleared,
// temporary file removed).
void stop_replacing();

// True while a replacement pass (first or second) is active.
bool replacing_active();

// The first pass and the second pass run in GetToken: installed as
// GetToken_Hook by init_copy_pars. Without an active replacement it is
// Get_Token. In the second pass, a token whose position maps onto the
// sentinel of the table is "Scanner: DeltaBuffer overrun" (Fatal).
int ReplacingGetToken();

// Installed as ScanMessage_Hook by init_copy_pars. In the second pass a
// scanner message is moved to the source position of its text, and dropped
// when the first pass reported the same message there already.
bool ReplacingScanMessage(const char *text, tPosition &position);

// Suspend and restore what the first pass changes in the scanner while the
// COPY-statement parser reads a statement there: commas and semicolons
// separate like blanks again. The pass itself stays active, so that a
// REPLACING in the statement is refused as nested.
void SuspendReplacing();
void ResumeReplacing();

// Forgets all replacement state and removes a temporary file that is still
// there (init_copy_pars, CloseScanner, and the end of the process).
void ResetReplacing();

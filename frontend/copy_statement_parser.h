#pragma once
// The COPY-statement parser: recognises COPY, REPLACE and INCLURE statements
// on its own while the replacement stage reads the text to replace, where the
// data-division parser does not see the tokens yet.

#include <vector>

#include "frontend/scanner.h"
#include "frontend/syntax_tree.h"

// A terminal as the scanner delivered it.
struct tCopyToken {
  int code;
  tScanAttribute attribute;
};

// Parses the statement whose first terminal (COPY, REPLACE or INCLURE) was
// just read and is still in Attribute, builds its node (s_copy, s_replace or
// s_inclure) and carries it out (Copy, or the start of a REPLACE). Terminals
// come from GetToken. Every terminal read, the first included, is appended to
// `tokens`. A statement that does not fit the forms
//   COPY text-name [OF|IN library | FROM DICTIONARY] [SUPPRESS]
//        [REPLACING pairs] .
//   REPLACE pairs .      REPLACE OFF .
//   INCLURE member [prefix] [increment] .
// is reported as a syntax error ("syntax error", "token found", "expected
// tokens") at the offending terminal, skipped up to its period and not
// carried out; the result is then NoTree.
tTree do_copy_pars(int first, std::vector<tCopyToken> &tokens);

// do_copy_pars for the replacement stage while it reads the text to replace:
// terminals come from `read` (the stage's reader of Get_Token) and the
// stage's scanner settings are suspended while the statement is read (commas
// separate like blanks), then restored. A COPY carried out here is
// remembered, so that the data-division parser does not include the copybook
// again when it gets the statement with the replaced text.
tTree call_copy_pars(int first, std::vector<tCopyToken> &tokens, int (*read)());

// True, once, when call_copy_pars carried out the statement that begins at
// `begin` (a position in its source); `fileName` then receives the path of
// the copybook it opened, or NoIdent when none was found.
bool TakeCarriedOut(const tPosition &begin, tIdent &fileName);

// Forgets the statements carried out (called by init_copy_pars).
void ForgetCarriedOut();

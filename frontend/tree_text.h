#pragma once
// The texts a syntax tree holds: identifiers, stored strings and names as the user wrote them.
#include <string>

#include "frontend/syntax_tree.h"

// The text of an identifier; empty for none.
std::string IdentText(tIdent ident);

// All bytes of a stored text (a literal may hold NUL bytes, which are data);
// empty for none.
std::string StoredText(tStringRef ref);

// A name as the user should see it: the normalised name when the scanner
// applied the include prefix (`replaced`), else the spelling as written.
std::string WrittenOrReplaced(tIdent name, tIdent spelling, bool replaced);

// The written-or-replaced first name of a data reference (a plain or
// qualified name); empty for any other expression and for none.
std::string ReferenceName(const Tree_Node *reference);

// The declaration a data reference resolved to; null when none.
const tree::decl *ReferencedDecl(const Tree_Node *reference);

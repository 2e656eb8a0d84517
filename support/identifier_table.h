#pragma once
// Identifiers (tIdent): interned texts with dense numbers, 1 the empty name.
#include <cstdint>

#include "support/string_memory.h"

// Dense numbers for interned texts, per run: 1 is the empty name, 2 is
// reserved, new texts get 3, 4, ... in order of first entry. Equal texts,
// equal numbers.
using tIdent = std::uint32_t;
constexpr tIdent NoIdent = 1;

// Start numbering afresh, as at the start of a run. Kept while the front end
// runs several conversions in one run; texts already handed out stay valid.
void InitIdents();
void CloseIdents();
// The identifier of the text of `length` characters, entered if new.
tIdent MakeIdent(const char *characters, unsigned long length);
// The same for a NUL-terminated text.
tIdent MakeIdent(const char *text);
// The text, NUL-terminated, valid until the run ends; "" for an unknown identifier.
const char *GetCStr(tIdent ident);
// Length of the text; 0 for an unknown identifier.
unsigned long LengthIdent(tIdent ident);
// Room for about `count` identifiers in all, made now: a big copybook's
// table then never rechains its identifiers as it grows. Numbers and texts
// are as without it.
void ReserveIdents(unsigned long count);
// The highest identifier handed out so far (2 in a fresh run).
tIdent MaxIdent();

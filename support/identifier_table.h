#pragma once
#include <cstdint>
#include <cstdio>

#include "support/string_memory.h"

// Dense numbers for interned texts: 1 is the empty name, 2 is reserved, new
// texts get 3, 4, ... in order of first entry. Equal texts, equal numbers.
using tIdent = std::uint32_t;
constexpr tIdent NoIdent = 1;

// The initial state: only the empty name (1) and the reserved number (2),
// without storage; the first new name creates the tables.
void InitIdents();
// Releases the tables, then InitIdents. Identifier texts stay in string memory.
void CloseIdents();
// The identifier of the text of `length` characters, entered if new.
tIdent MakeIdent(const char *characters, unsigned long length);
// The same for a NUL-terminated text.
tIdent MakeIdent(const char *text);
// Copies the NUL-terminated text into buffer (room for LengthIdent + 1).
void GetString(tIdent ident, char *buffer);
// The string record of the text; the empty record for an unknown identifier.
tStringRef GetStringRef(tIdent ident);
// The text, NUL-terminated, valid until CloseStringMemory; "" for an unknown identifier.
const char *GetCStr(tIdent ident);
// Length of the text.
unsigned long LengthIdent(tIdent ident);
// The highest identifier handed out so far (2 after InitIdents).
tIdent MaxIdent();
// Writes the text; an identifier out of range reports code 12 instead.
void WriteIdent(FILE *stream, tIdent ident);

// The hash of a text before it is reduced to a bucket; characters count as
// signed, so texts above 127 hash as they always have.
std::uint32_t HashText(const char *characters, unsigned long length);
// Entries and buckets of the current tables (0 and 1 before the first new
// name); the tables double together, one bucket per four entries.
unsigned long IdentTableSize();
unsigned long IdentBucketCount();

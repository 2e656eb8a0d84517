#pragma once
#include <cstdint>
#include <cstdio>

#include "reuse/StringM.h"

// Dense numbers for interned texts: 1 is the empty name, 2 is reserved, new
// texts get 3, 4, ... in order of first entry. Equal texts, equal numbers.
using tIdent = std::uint32_t;
constexpr tIdent NoIdent = 1;

void InitIdents();
void CloseIdents();
tIdent MakeIdent(const char *characters, unsigned long length);
tIdent MakeIdent(const char *text);
void GetString(tIdent ident, char *buffer);
tStringRef GetStringRef(tIdent ident);
// The text, NUL-terminated, valid until CloseStringMemory.
const char *GetCStr(tIdent ident);
// Length of the text.
unsigned long LengthIdent(tIdent ident);
tIdent MaxIdent();
// Writes the text; an identifier out of range reports code 12 instead.
void WriteIdent(FILE *stream, tIdent ident);

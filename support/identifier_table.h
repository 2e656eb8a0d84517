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

// The table's hash of a text: IdentHashStep over its characters in order,
// from 0. For a caller that reads the characters anyway (the scanner,
// normalising a word) and hands the hash to MakeIdentHashed.
inline std::uint32_t IdentHashStep(std::uint32_t h, char c) {
  // The characters count as signed, as the tables were always built.
  h = (h << 4) + static_cast<std::uint32_t>(static_cast<std::int32_t>(static_cast<signed char>(c)));
  const std::uint32_t g = h & 0xF0000000U;
  return g != 0 ? (h ^ (g >> 24)) & 0x0FFFFFFFU : h;
}
// MakeIdent with the text's hash already made by IdentHashStep.
tIdent MakeIdentHashed(const char *characters, unsigned long length, std::uint32_t hash);
// The text, NUL-terminated, valid until the run ends; "" for an unknown identifier.
const char *GetCStr(tIdent ident);
// Length of the text; 0 for an unknown identifier.
unsigned long LengthIdent(tIdent ident);
// Room for about `count` identifiers in all (at most some four million),
// made now: a big copybook's table then never rechains its identifiers as
// it grows. Numbers and texts are as without it.
void ReserveIdents(unsigned long count);
// The highest identifier handed out so far (2 in a fresh run).
tIdent MaxIdent();

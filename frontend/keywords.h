#pragma once
// Terminal constants tok::, reserved-word dialects and the keyword lookup of the scanner.
#include <cstdint>

#include "support/identifier_table.h"

// Terminal codes shared by the scanner and the parsers: tok::name,
// tok::PICTURE, tok::Period ... (see keywords.def for the full list).
namespace tok {
#define TERMINAL(code, id, name) constexpr int id = code;
#include "frontend/keywords.def"
// A reserved word without a terminal of its own.
constexpr int None = 0;
} // namespace tok

// The highest terminal code.
constexpr int MaxTerminal = 338;
// The terminals above this one are read only under -lenient.
constexpr int MaxDefaultTerminal = 307;

// The printable name of a terminal ("_EOF_", "name", ".", "PICTURE",
// "name in area A" ...), or "_unknown_" for a code outside 0 .. MaxTerminal.
const char *TerminalName(int code);

// Dialect bits of a keyword entry. Every built-in keyword carries
// StandardDialect; the few that stay reserved while COPY/REPLACE operands are
// read carry ReplacingDialect as well.
constexpr std::uint32_t StandardDialect = 1u;
constexpr std::uint32_t ReplacingDialect = 1u << 31;

// The dialect set of ordinary scanning. Besides the built-in keywords' own
// dialect it holds the two dialects that predefine the RMS-STS, RMS-STV and
// RMS-FILENAME names, which the declaration table consults.
constexpr std::uint32_t DefaultDialects = StandardDialect | 0x800000u | 0x1000000u;

// The dialects whose words are reserved now: DefaultDialects while ordinary
// text is scanned, only ReplacingDialect in replacing mode.
std::uint32_t &dialect();

// Enters every built-in keyword in its fixed order (so that they get the
// lowest identifier numbers after the identifier table was initialised),
// records max_keyword, applies the synonyms and sets `dialect` to
// DefaultDialects. `programPath` is the path the program was started by; the
// built-in table does not use it.
void init_keywords(const char *programPath);

// The terminal of a normalised, interned word: its token when the word is a
// keyword reserved in the current `dialect` and has a terminal, else 0 (the
// word is a user-defined name).
int KeywordToken(tIdent word);

// True when `word` is in the keyword table and reserved in the current
// `dialect`, whether or not it has a terminal (NOTE, EXEC, TITLE ...).
bool IsReserved(tIdent word);

#pragma once
// tPosition: file identifier, line and column of a source position; compare and print.
#include <cstdint>
#include <cstdio>
#include <string>

#include "support/identifier_table.h"

// A source position; Line 0 means "no position".
struct tPosition {
  std::uint32_t Line;
  std::uint16_t Column;
  tIdent File;
};

inline constexpr tPosition NoPosition{0, 0, NoIdent};

// -1, 0 or +1: by file identifier number, then line, then column.
int Compare(const tPosition &a, const tPosition &b);
// Prints "file":line,column as "%s":%4lu,%3hu.
void WritePosition(FILE *stream, const tPosition &position);
// The same text as a string.
std::string PositionText(const tPosition &position);

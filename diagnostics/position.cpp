// Orders positions by file, line, column and prints them as "file":line,col.
#include "diagnostics/position.h"

int Compare(const tPosition &a, const tPosition &b) {
  if (a.File != b.File)
    return a.File < b.File ? -1 : 1;
  if (a.Line != b.Line)
    return a.Line < b.Line ? -1 : 1;
  if (a.Column != b.Column)
    return a.Column < b.Column ? -1 : 1;
  return 0;
}

void WritePosition(FILE *stream, const tPosition &position) {
  const std::string text = PositionText(position);
  std::fwrite(text.data(), 1, text.size(), stream);
}

std::string PositionText(const tPosition &position) {
  char place[48];
  std::snprintf(place, sizeof place, "\":%4lu,%3hu", static_cast<unsigned long>(position.Line),
                static_cast<unsigned short>(position.Column));
  // As printf shows a missing file name.
  const char *file = GetCStr(position.File);
  return '"' + std::string(file != nullptr ? file : "(null)") + place;
}

#pragma once
// A message of a run as a value: the line a program prints, taken apart for
// callers that show messages their own way (a library, the Python module).
#include <string>

struct SourceMessage {
  // The class word without its padding: "Fatal", "Restriction", "Error",
  // "Warning", "Information"; the converter's export lines are "Info".
  std::string messageClass;
  // The file the position names, as the run named it; empty, with line and
  // column 0, for a message without a position.
  std::string file;
  unsigned line = 0;
  unsigned column = 0;
  // The item a converter message is about; empty for the front end's.
  std::string item;
  // What follows the class word, its datum included.
  std::string text;
};

#pragma once
// Runs the COPY machinery over small file trees, with a stand-in for the
// data-division parser that carries out COPY, REPLACE and INCLURE statements
// through the COPY-statement parser, and lists what the parser would see.
#include <string>
#include <utility>
#include <vector>

struct CopyFiles {
  // The main file first, then copybooks: file name (relative to the run's
  // directory, which is also the only copy directory) and text.
  std::vector<std::pair<std::string, std::string>> files;
  bool freeFormat = false;
  int repair = 0; // copy_repair for every COPY
};

struct CopyRun {
  // One line per terminal GetToken delivered, up to end of input: "FILE:"
  // and the scanner listing's line (tokens_support.h). A COPY or INCLURE
  // statement carried out by the stand-in parser is one line, its first
  // terminal's, with " -> PATH" of the file opened ("-> -" for none).
  std::string tokens;
  std::string messages;  // as WriteMessages prints them
  bool fatal = false;    // the run ended with FatalError
  int level = 0;         // CopyLevel() when the run ended
  std::string leftovers; // names of files left in TMPDIR
};

CopyRun RunCopy(const CopyFiles &input);

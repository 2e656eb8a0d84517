#pragma once
// Scanner behaviour as data: a source text goes in, a readable listing of the
// terminals, the comment list and the messages comes out.
#include <string>

struct ScanOptions {
  bool freeFormat = false;
  // The file name that positions and messages show.
  std::string fileName = "T.cpy";
  // Scan COPY/REPLACE operands: begin_replacing before the first terminal.
  bool replacing = false;
  // Read pseudo-text after every opening "==", as the COPY parser does.
  bool pseudoText = false;
  // Separators are terminals (replacing_match).
  bool replacingMatch = false;
  // List each include line the scanner passes to Include_Hook, in sequence
  // with the terminals, as "LINE,COL include MEMBER".
  bool listIncludes = false;
};

struct ScanListing {
  // One line per terminal up to and including end of input:
  //   LINE,COL[-[LINE,]COL] TERMINAL [DETAIL]
  // where the end position is left out for one-character tokens and DETAIL
  // is: names and keywords the normalised word, "(as written)" when that
  // differs; numbers, literals and pseudo-text their text, integers "=value";
  // EXECUTE the word and "[line|line|...]"; illegal_character the character;
  // a prefixed name "+prefix".
  std::string tokens;
  // One line per comment entry: "LINE: text".
  std::string comments;
  // The messages as the message store prints them, sorted.
  std::string messages;
};

// Starts the front-end modules the scanner needs (memory, strings,
// identifiers, messages in store mode, keywords). Called by Scan; tests that
// drive the scanner themselves call it first.
void StartFrontEnd(bool freeFormat);

// Writes `source` to a fresh temporary file and returns its path.
std::string WriteTempFile(const std::string &source, const std::string &name = "T.cpy");

// Scans `source` through GetToken until end of input.
ScanListing Scan(const std::string &source, const ScanOptions &options = {});

// The listing line of the current terminal (as in ScanListing::tokens).
std::string DescribeToken(int terminal);

// The stored messages as printed by WriteMessages.
std::string StoredMessages();

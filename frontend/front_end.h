#pragma once
// The front end's entry point: one copybook in; its syntax tree, declaration
// table and messages out, in a run of their own.
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/source_message.h"
#include "frontend/program_text.h"
#include "frontend/record_feed.h"
#include "frontend/syntax_tree.h"
#include "support/copybook_search.h"
#include "support/run_state.h"

// How the copybook is read and where COPY looks for copybooks.
struct FrontEndOptions {
  // Free format (lines up to 256 characters) instead of the fixed reference
  // format (program text in columns 8-72).
  bool freeFormat = false;
  // Directories COPY searches, in this order, before the current directory.
  std::vector<std::string> copyDirectories;
  // COPY searches the current directory after copyDirectories. A library
  // caller that names its folders turns it off.
  bool currentDirectory = true;
  // Copybooks held in memory, which COPY asks before any directory
  // (CopybookTable makes one from names and texts); empty: none.
  CopybookLookup copybooks;
  // Copybook extensions with their leading "." ("" for the bare name), in the
  // order given; later ones are tried first, after the bare name and ".cpy".
  std::vector<std::string> copyExtensions;
  // Names declared twice among siblings and unresolved references are
  // reported. Only tests of the bare grammar turn it off.
  bool nameCheck = true;
  // -lenient: read what compilers accept beyond the default rules (dialect
  // usages and words, constants, repeated sibling names, REDEFINES by
  // position, H and joined literals), each with a Warning where it is used.
  bool lenient = false;
  // Where the progress line and the sorted messages go; null: nowhere.
  std::FILE *messages = stderr;
  // Writes "Starting Cobol parsing ..." first; off for the later programs
  // of one program file, whose parses continue the first one's messages.
  bool startingLine = true;
  // -program: the input is a program file (see frontend/program_text.h).
  // The parse reads the DATA DIVISION of the program numbered `programUnit`
  // (OutlineProgram numbers them) and reads ">>" directives.
  bool program = false;
  int programUnit = 0;
  // A copybook may hold FD and SD descriptions (and a FILE SECTION header)
  // before its records; each is skipped with a warning. Set by -lenient.
  bool fileDescriptions = false;
  // A copybook's ">>" lines are read as directives, each honoured one with a
  // warning. Set by -lenient.
  bool directives = false;
  // Numeric literals take "," as their decimal point (VALUE 1,5), as
  // DECIMAL-POINT IS COMMA makes a compiler read them. process sets it for a
  // program whose SPECIAL-NAMES say so, and with -c under -program or
  // -lenient; the default reading of a copybook never does.
  bool decimalPointComma = false;
  // Told of each top-level entry as the parse closes the one before it, and
  // of the parse's end before references are resolved (a conversion that
  // runs while the parse reads on); null: nobody.
  RecordFeed *recordFeed = nullptr;
};

// A copybook or program the caller holds in memory: the name positions and
// messages give it, and its text (read as a file of that content would be).
struct SourceText {
  std::string name;
  std::string_view text;
};

// The programs of the program file `path`, in the order they begin, read
// with `options`' format; one program without a name when the file has no
// program header (or cannot be read: the parse then reports it).
std::vector<ProgramUnit> OutlineProgram(const std::string &path, const FrontEndOptions &options);
// The same for a program file held in memory.
std::vector<ProgramUnit> OutlineProgram(const SourceText &source, const FrontEndOptions &options);

// What one front-end run leaves: the state of the run (identifiers, strings,
// tree, declarations, messages), which the converter reads with the run made
// active (RunState::Scope over run()). A run the result made itself is
// released with the result; a run the caller lent stays the caller's.
class FrontEndResult {
public:
  ~FrontEndResult();
  FrontEndResult(FrontEndResult &&) noexcept;
  FrontEndResult &operator=(FrontEndResult &&) noexcept;

  RunState &run() { return *run_; }
  // The root of the tree (a data_division node).
  tTree root() const { return root_; }
  // The entries to convert: the top-level declarations in source order, or,
  // when the copybook has no top-level entry (it starts at level 05), the
  // entries below the root declaration; null when there is none.
  tTree entries() const { return entries_; }
  // Messages of class Error that the run stored.
  int errorCount() const { return errors_; }
  // Syntax errors the parser reported.
  int syntaxErrors() const { return syntaxErrors_; }
  // The files the parse read, as they were opened: the copybook first, then
  // every copybook COPY brought in, in the order they were opened (for
  // copybooks held in memory, their names).
  const std::vector<std::string> &filesRead() const { return filesRead_; }
  // The messages of the parse as values, in the order printed.
  const std::vector<SourceMessage> &messages() const { return messages_; }
  // The parse ended on a Fatal message (only ParseCopybookText returns such
  // a result): the tree is incomplete, root() and entries() are null.
  bool fatal() const { return fatal_; }

private:
  friend FrontEndResult ParseCopybook(const std::string &path, const FrontEndOptions &options,
                                      RunState *lent);
  friend FrontEndResult ParseCopybookText(const SourceText &source, const FrontEndOptions &options,
                                          RunState *lent);
  explicit FrontEndResult(RunState *lent);
  // The parse itself, with the result's run active; `text` null reads the
  // file `name`.
  void parse(const std::string &name, const std::string_view *text, const FrontEndOptions &options);
  std::unique_ptr<RunState> owned_;
  RunState *run_;
  int syntaxErrors_ = 0;
  tTree root_ = nullptr;
  tTree entries_ = nullptr;
  int errors_ = 0;
  bool fatal_ = false;
  std::vector<std::string> filesRead_;
  std::vector<SourceMessage> messages_;
};

// Reads `path` and every copybook it copies, parses and declares the entries,
// resolves the references, and writes "Starting Cobol parsing ..." before and
// the collected messages, sorted by position, after it to options.messages.
// A Fatal message ends the run with FatalError (diagnostics/fatal_error.h),
// after the messages collected so far were written.
// The run is a new one, owned by the result, unless `lent` names one (a test
// that inspects the tree with its own run active).
FrontEndResult ParseCopybook(const std::string &path, const FrontEndOptions &options,
                             RunState *lent = nullptr);

// ParseCopybook for a copybook (or, with options.program, a program file)
// held in memory; COPY asks options.copybooks, then searches the
// directories. Messages go to options.messages as ParseCopybook writes them
// (null: nowhere) and are kept as values in the result. A Fatal message ends
// the parse but not the call: the result says fatal() and holds the messages.
FrontEndResult ParseCopybookText(const SourceText &source, const FrontEndOptions &options,
                                 RunState *lent = nullptr);

// Starts the copybook search of the active run as ParseCopybook does: the
// option's directories in their order, then the current directory (unless
// options.currentDirectory is off); in each,
// the bare name, ".cpy", then the option's extensions from the last given to
// the first.
void BeginCopybookSearch(const FrontEndOptions &options);

// Scans `path` alone (COPY statements are delivered as tokens, not carried
// out) and hands every terminal with its attributes to `token`, up to the end
// of input. A run of its own, released on return; returns the number of
// Error messages. For tools and benchmarks that need the tokens only.
struct tScanAttribute;
int ScanCopybook(const std::string &path, const FrontEndOptions &options,
                 const std::function<void(int terminal, const tScanAttribute &attribute)> &token);

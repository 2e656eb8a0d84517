#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Copybook search of the run: an ordered list of directories and of
// extensions, with cached, sorted directory listings. Names compare without
// regard to case unless the search was started case sensitive. A run starts
// with an empty, case-insensitive search.

// Starts the search afresh: no directories, no extensions, with the given
// regard to case.
void Begin_rFsearch(bool caseSensitive);
// Starts the search afresh as a run does. Kept while its callers remain.
void Close_rFsearch();
// Adds a directory (path need not end in "/"); atEnd appends, else prepends.
// The mark groups directories for the caller; the search does not use it.
void rAddDir(const char *path, int mark, bool atEnd);
// Puts the extension (with its leading ".", or "" for the bare name) in front.
void rAddExtension(const char *extension);
// Reads and caches the sorted listings of the directories added so far; a
// directory that cannot be opened is skipped from then on.
void rReadAllDirs();
// The path of the first readable match, or nullptr: directories in list order
// (only "/" for an absolute name, "./" when the list is empty), in each the
// extensions in list order. A leading "./" is removed, a leading "//" becomes
// "/". The text is valid until the next call.
const char *rFindFile(const char *name);

// A copybook the caller holds in memory: the name positions and messages
// give it, and its text.
struct CopybookText {
  std::string name;
  std::string text;
};

// Where COPY finds copybooks held in memory: from the text name of a COPY
// statement (as written: a word's spelling, a literal's content) to the
// copybook; nothing when there is none of that name.
using CopybookLookup = std::function<std::optional<CopybookText>(const std::string &name)>;

// A lookup over `copybooks`: a copybook answers to its name compared without
// regard to case, tried as written, then with ".cpy", then with each of
// `extensions` (with their leading ".") from the last given to the first, as
// the directory search tries them. Safe to call from several runs at once.
CopybookLookup CopybookTable(std::vector<CopybookText> copybooks,
                             std::vector<std::string> extensions = {});

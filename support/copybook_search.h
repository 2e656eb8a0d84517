#pragma once
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

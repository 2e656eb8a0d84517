#pragma once
// Copybook search: an ordered list of directories and of extensions, with
// cached, sorted directory listings. Names compare without regard to case
// unless the search was started case sensitive.

// Starts the search once (later calls do nothing): no directories, no
// extensions, built-in entries "./" and "/". Every other operation needs it
// and aborts the program when called before.
void Begin_rFsearch(bool caseSensitive);
// Drops all lists and cached listings; Begin_rFsearch may start afresh.
void Close_rFsearch();
// Whether names are compared with regard to case.
bool rGetCaseSensitive();
// Adds a directory (path need not end in "/"); atEnd appends, else prepends.
void rAddDir(const char *path, int mark, bool atEnd);
// Removes the user directories with that mark.
void rDeleteDirs(int mark);
// Removes all user directories and the listings cached on the search's own account.
void rDeleteAllDirs();
// Puts the extension (with its leading ".", or "" for the bare name) in front.
void rAddExtension(const char *extension);
// Empties the extension list; the bare name alone is then searched.
void rDeleteExtensions();
// Reads and caches the sorted listings of the user directories with that mark
// (or of all); a directory that cannot be opened is skipped from then on.
void rReadDirs(int mark);
void rReadAllDirs();
// The path of the first readable match, or nullptr: directories in list order
// (only "/" for an absolute name, "./" when the list is empty), in each the
// extensions in list order. A leading "./" is removed, a leading "//" becomes
// "/". The text is valid until the next call.
const char *rFindFile(const char *name);
// True when the path opens for reading and is a regular file (or its status is unknown).
bool rFileIsReadable(const char *path);
// True when the path is a directory that can be listed.
bool rDirIsReadable(const char *path);
// True when anything exists at the path.
bool rDirOrFileExists(const char *path);

struct rFileSystemDir; // opaque directory iterator
// Opens a directory for iteration; nullptr when it cannot be opened.
rFileSystemDir *rOpenFileSystemDir(const char *path);
// The next entry's name ("." and ".." included), or nullptr at the end.
const char *rNextFileSystemEntry(rFileSystemDir *dir);
// Ends the iteration; a null iterator is ignored.
void rCloseFileSystemDir(rFileSystemDir *dir);

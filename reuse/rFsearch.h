#pragma once
// Copybook search: an ordered list of directories and of extensions, with
// cached, sorted directory listings. Names compare without regard to case
// unless the search was started case sensitive.

void Begin_rFsearch(bool caseSensitive);
void Close_rFsearch();
bool rGetCaseSensitive();
// Adds a directory (path need not end in "/"); atEnd appends, else prepends.
void rAddDir(const char *path, int mark, bool atEnd);
void rDeleteDirs(int mark);
void rDeleteAllDirs();
// Puts the extension (with its leading ".", or "" for the bare name) in front.
void rAddExtension(const char *extension);
void rDeleteExtensions();
void rReadDirs(int mark);
void rReadAllDirs();
// The path of the first readable match, or nullptr. The text is valid until the next call.
const char *rFindFile(const char *name);
bool rFileIsReadable(const char *path);
bool rDirIsReadable(const char *path);
bool rDirOrFileExists(const char *path);

struct rFileSystemDir; // opaque directory iterator
rFileSystemDir *rOpenFileSystemDir(const char *path);
// The next entry's name ("." and ".." included), or nullptr at the end.
const char *rNextFileSystemEntry(rFileSystemDir *dir);
void rCloseFileSystemDir(rFileSystemDir *dir);

// Copybook lookup over directories and extensions, with cached listings compared case-blind.
#include "support/copybook_search.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <list>
#include <memory>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support/path_names.h"
#include "support/run_state.h"

namespace {

constexpr std::size_t InitialListingSize = 100;

enum class Readability { Untested, Readable, NotReadable };

struct FileEntry {
  std::string Name;
  Readability State = Readability::Untested;
};

struct DirEntry {
  std::string Key;  // the path as it was asked for, ending in "/"
  std::string Path; // the path used, possibly with a name corrected for case
  bool Exists = true;
  bool HasListing = false;
  std::vector<FileEntry> Listing;
};

DirEntry MakeDirEntry(const std::string &path);

// A fresh search: no directories, no extensions, names compared without
// regard to case.
struct SearchState {
  bool CaseSensitive = false;
  std::list<DirEntry> UserDirs;
  std::list<DirEntry> CachedDirs;
  DirEntry CurrentDir = MakeDirEntry("./");
  DirEntry RootDir = MakeDirEntry("/");
  std::vector<std::string> Extensions; // in search order
  std::vector<std::string> BareName{std::string()};
  std::string Found;
};

constexpr RunSlot<SearchState> R{RunSlotId::copybookSearch};

int CompareNames(const char *a, const char *b) {
  return R().CaseSensitive ? std::strcmp(a, b) : strcasecmp(a, b);
}

DirEntry MakeDirEntry(const std::string &path) {
  DirEntry entry;
  entry.Path = rReplaceDirSeparator(path);
  if (entry.Path.empty())
    entry.Path = "./";
  if (entry.Path.back() != '/')
    entry.Path += '/';
  entry.Key = entry.Path;
  return entry;
}

bool ListDirectory(DirEntry &dir) {
  DIR *handle = opendir(dir.Path.c_str());
  if (handle == nullptr)
    return false;
  dir.Listing.clear();
  dir.Listing.reserve(InitialListingSize);
  while (const dirent *entry = readdir(handle))
    dir.Listing.push_back(FileEntry{entry->d_name, Readability::Untested});
  closedir(handle);
  std::sort(dir.Listing.begin(), dir.Listing.end(), [](const FileEntry &a, const FileEntry &b) {
    return CompareNames(a.Name.c_str(), b.Name.c_str()) < 0;
  });
  dir.HasListing = true;
  dir.Exists = true;
  return true;
}

const FileEntry *LookUp(const DirEntry &dir, const std::string &name) {
  auto found = std::lower_bound(dir.Listing.begin(), dir.Listing.end(), name,
                                [](const FileEntry &e, const std::string &n) {
                                  return CompareNames(e.Name.c_str(), n.c_str()) < 0;
                                });
  if (found == dir.Listing.end() || CompareNames(found->Name.c_str(), name.c_str()) != 0)
    return nullptr;
  return &*found;
}

DirEntry &CachedDir(const std::string &path);

void ReadDir(DirEntry &dir);

// A directory that cannot be opened may still exist with its name written in
// another case: the parent's listing tells the name as it is stored.
bool ReadWithParentsSpelling(DirEntry &dir) {
  std::string trimmed = dir.Path.substr(0, dir.Path.size() - 1);
  std::string base = rBaseName(trimmed);
  if (base.empty() || base == "." || base == "..")
    return false;
  std::string parentPath = rDirName(trimmed);
  DirEntry &parent = CachedDir(parentPath.empty() ? "./" : parentPath);
  if (!parent.Exists)
    return false;
  const FileEntry *match = LookUp(parent, base);
  if (match == nullptr)
    return false;
  dir.Path = parent.Path + match->Name + "/";
  return ListDirectory(dir);
}

void ReadDir(DirEntry &dir) {
  if (dir.HasListing)
    return;
  if (ListDirectory(dir))
    return;
  dir.Exists = !R().CaseSensitive && ReadWithParentsSpelling(dir);
}

DirEntry &CachedDir(const std::string &path) {
  for (DirEntry &dir : R().CachedDirs) {
    if (dir.Key == path)
      return dir;
  }
  R().CachedDirs.push_back(MakeDirEntry(path));
  DirEntry &dir = R().CachedDirs.back();
  ReadDir(dir);
  return dir;
}

// Opens for reading and is a regular file (or its status is unknown).
bool IsReadable(const std::string &name) {
  const char *path = name.c_str();
  int fd = open(path, O_RDONLY);
  if (fd < 0)
    return false;
  struct stat status;
  bool regular = fstat(fd, &status) != 0 || S_ISREG(status.st_mode);
  close(fd);
  return regular;
}

bool FindWithListing(DirEntry &dir, const std::string &name, std::string &path) {
  const std::vector<std::string> &extensions =
      R().Extensions.empty() ? R().BareName : R().Extensions;
  for (const std::string &extension : extensions) {
    FileEntry *entry = const_cast<FileEntry *>(LookUp(dir, name + extension));
    if (entry == nullptr)
      continue;
    std::string candidate = dir.Path + entry->Name;
    if (entry->State == Readability::Untested)
      entry->State = IsReadable(candidate) ? Readability::Readable : Readability::NotReadable;
    if (entry->State != Readability::Readable)
      return false;
    path = candidate;
    return true;
  }
  return false;
}

std::string Upper(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string Lower(std::string text) {
  for (char &c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

bool FindWithoutListing(const DirEntry &dir, const std::string &name, std::string &path) {
  const std::vector<std::string> &extensions =
      R().Extensions.empty() ? R().BareName : R().Extensions;
  for (const std::string &extension : extensions) {
    std::string file = name + extension;
    std::vector<std::string> forms{file};
    if (!R().CaseSensitive) {
      std::string capitalised = Lower(file);
      if (!capitalised.empty())
        capitalised[0] =
            static_cast<char>(std::toupper(static_cast<unsigned char>(capitalised[0])));
      forms.push_back(Upper(file));
      forms.push_back(Lower(file));
      forms.push_back(capitalised);
    }
    for (const std::string &form : forms) {
      if (IsReadable(dir.Path + form)) {
        path = dir.Path + form;
        return true;
      }
    }
  }
  return false;
}

bool FindInDir(DirEntry &dir, const std::string &name, std::string &path) {
  return dir.HasListing ? FindWithListing(dir, name, path) : FindWithoutListing(dir, name, path);
}

} // namespace

void Begin_rFsearch(bool caseSensitive) {
  R() = SearchState();
  R().CaseSensitive = caseSensitive;
}

void Close_rFsearch() { R() = SearchState(); }

void rAddDir(const char *path, int /*mark*/, bool atEnd) {
  if (atEnd)
    R().UserDirs.push_back(MakeDirEntry(path));
  else
    R().UserDirs.push_front(MakeDirEntry(path));
}

void rAddExtension(const char *extension) {
  R().Extensions.insert(R().Extensions.begin(), extension);
}

void rReadAllDirs() {
  for (DirEntry &dir : R().UserDirs)
    ReadDir(dir);
}

const char *rFindFile(const char *name) {
  std::string wanted = rReplaceDirSeparator(name);
  std::vector<DirEntry *> dirs;
  if (!wanted.empty() && wanted[0] == '/') {
    dirs.push_back(&R().RootDir);
  } else if (R().UserDirs.empty()) {
    dirs.push_back(&R().CurrentDir);
  } else {
    for (DirEntry &dir : R().UserDirs)
      dirs.push_back(&dir);
  }

  bool hasDirPart = wanted.find('/') != std::string::npos;
  std::string dirPart = rDirName(wanted);
  std::string baseName = rBaseName(wanted);
  std::string path;
  bool found = false;
  for (DirEntry *dir : dirs) {
    if (!dir->Exists)
      continue;
    if (!hasDirPart) {
      found = FindInDir(*dir, wanted, path);
    } else if (dir->HasListing) {
      DirEntry &sub = CachedDir(dir->Path + dirPart);
      found = sub.Exists && FindInDir(sub, baseName, path);
    } else {
      found = FindInDir(*dir, wanted, path);
    }
    if (found)
      break;
  }
  if (!found)
    return nullptr;

  // A name like "./rec" found in "./" starts with "././".
  while (path.compare(0, 2, "./") == 0)
    path.erase(0, 2);
  if (path.compare(0, 2, "//") == 0)
    path.erase(0, 1);
  R().Found = path;
  return R().Found.c_str();
}

CopybookLookup CopybookTable(std::vector<CopybookText> copybooks,
                             std::vector<std::string> extensions) {
  std::vector<std::string> suffixes{"", ".cpy"};
  suffixes.insert(suffixes.end(), extensions.rbegin(), extensions.rend());
  auto table = std::make_shared<const std::vector<CopybookText>>(std::move(copybooks));
  return [table, suffixes](const std::string &name) -> std::optional<CopybookText> {
    for (const std::string &suffix : suffixes) {
      const std::string wanted = name + suffix;
      for (const CopybookText &copybook : *table)
        if (strcasecmp(copybook.name.c_str(), wanted.c_str()) == 0)
          return copybook;
    }
    return std::nullopt;
  };
}

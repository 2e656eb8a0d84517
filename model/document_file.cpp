// The document spool: unnamed file beside the output, linked or copied into place on commit.
#include "model/document_file.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "support/library_error.h"

namespace {

[[noreturn]] void fail(const std::string &what) {
  throw VexError("XML write: " + what + ": " + std::strerror(errno));
}

std::string folderOf(const std::string &file) {
  std::filesystem::path folder = std::filesystem::path(file).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

void writeAll(int fd, const char *bytes, std::size_t size) {
  while (size > 0) {
    ssize_t done = ::write(fd, bytes, size);
    if (done < 0 && errno == EINTR)
      continue;
    if (done <= 0)
      fail("cannot write the document");
    bytes += done;
    size -= static_cast<std::size_t>(done);
  }
}

// A document this large starts the prefill; a smaller one never has it (the
// mixed 100 000 entries' 21 MB ran some 5% slower with it: the zeros cost
// more than the pages they find ahead save at that size).
constexpr std::size_t prefillFrom = std::size_t{32} << 20;
// Writing behind: the size of the pieces handed to the kernel's writeback.
constexpr std::size_t writeBehindPiece = std::size_t{8} << 20;
// How far past the document's end the spool's pages are made ready, and in
// what pieces.
constexpr off_t prefillAhead = off_t{8} << 20;
constexpr off_t prefillPiece = off_t{256} << 10;
// A prefill that has fallen behind the document starts again this far past
// its end, so the document's next writes do not wait for zeros they would
// overwrite (the file's lock is held for each piece).
constexpr off_t prefillLead = off_t{1} << 20;

const char zeros[prefillPiece] = {};

// The file size limit, which the prefill must not reach: past it the kernel
// would stop the whole process where the document itself still fits.
off_t fileSizeLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return std::numeric_limits<off_t>::max();
  return static_cast<off_t>(limit.rlim_cur);
}

} // namespace

// Writes zeros into the spool ahead of the document, never where the
// document has been or is being written: a write of the document waits only
// for a piece of zeros in its way. Any error (a full disk, a quota) ends the
// prefill quietly; the document's own write meets it as it did before.
class VexSpoolPrefill {
public:
  VexSpoolPrefill(int fd, off_t documentEnd)
      : fd_(fd), claimed_(documentEnd), filled_(documentEnd), limit_(fileSizeLimit()),
        thread_([this] { run(); }) {}
  ~VexSpoolPrefill() { stop(); }
  VexSpoolPrefill(const VexSpoolPrefill &) = delete;
  VexSpoolPrefill &operator=(const VexSpoolPrefill &) = delete;

  // Before the document's bytes go up to `end`.
  void claim(off_t end) {
    std::unique_lock lock(mutex_);
    claimed_ = std::max(claimed_, end);
    changed_.wait(lock, [&] { return !busy_ || busyFrom_ >= end; });
    lock.unlock();
    changed_.notify_all();
  }

  // Ends the thread; returns the end of the zeros written.
  off_t stop() {
    if (thread_.joinable()) {
      {
        std::lock_guard lock(mutex_);
        stopping_ = true;
      }
      changed_.notify_all();
      thread_.join();
    }
    return highest_;
  }

private:
  void run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stopping_ || next() < claimed_ + prefillAhead; });
      const off_t from = next();
      const off_t to = std::min(from + prefillPiece, limit_);
      if (stopping_ || from >= to)
        return;
      busy_ = true;
      busyFrom_ = from;
      lock.unlock();
      const ssize_t done = ::pwrite(fd_, zeros, static_cast<std::size_t>(to - from), from);
      lock.lock();
      busy_ = false;
      changed_.notify_all();
      if (done <= 0)
        return;
      filled_ = from + done;
      highest_ = std::max(highest_, filled_);
    }
  }

  off_t next() const { return filled_ >= claimed_ ? filled_ : claimed_ + prefillLead; }

  int fd_;
  std::mutex mutex_;
  std::condition_variable changed_;
  off_t claimed_;
  off_t filled_;
  off_t highest_ = 0;
  const off_t limit_;
  bool busy_ = false;
  off_t busyFrom_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

VexDocumentFile::VexDocumentFile(std::string outputFile, Pace pace)
    : outputFile_(std::move(outputFile)), pace_(pace) {
  if (outputFile_.empty()) {
    if (std::FILE *file = std::tmpfile()) {
      spool_ = ::dup(fileno(file));
      std::fclose(file);
    }
    return;
  }
  const std::string folder = folderOf(outputFile_);
  // An unnamed file can later be linked under the output's name, so a new
  // output appears complete at once and with the mode a new file gets.
  spool_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (spool_ >= 0) {
    linkable_ = true;
    return;
  }
  if (errno == ENOENT || errno == ENOTDIR) {
    noFolder_ = true;
    return;
  }
  // A file system without unnamed files: a named one, unlinked at once.
  std::string name = (std::filesystem::path(folder) / ".vexfcbl-XXXXXX").string();
  spool_ = ::mkostemp(name.data(), O_CLOEXEC);
  if (spool_ >= 0)
    ::unlink(name.c_str());
}

VexDocumentFile::VexDocumentFile(std::string *target) : target_(target) {}

VexDocumentFile::~VexDocumentFile() {
  prefill_.reset();
  if (spool_ >= 0)
    ::close(spool_);
}

void VexDocumentFile::write(std::string_view bytes) {
  if (noFolder_)
    return;
  if (spool_ < 0) {
    memory_ += bytes;
    return;
  }
  if (prefill_ == nullptr && pace_ == Pace::prefill && written_ + bytes.size() >= prefillFrom) {
    try {
      prefill_ = std::make_unique<VexSpoolPrefill>(spool_, static_cast<off_t>(written_));
    } catch (const std::system_error &) {
      // No thread to be had: the pages come as the document needs them.
    }
  }
  if (prefill_ != nullptr)
    prefill_->claim(static_cast<off_t>(written_ + bytes.size()));
  writeAll(spool_, bytes.data(), bytes.size());
  written_ += bytes.size();
  if (pace_ == Pace::writeBehind && written_ - writtenBehind_ >= writeBehindPiece) {
    // Only a start: the pages stay in the cache, and a file system that
    // cannot do it (or a failure, which a later read would meet anyway)
    // leaves the document as it is.
    ::sync_file_range(spool_, static_cast<off_t>(writtenBehind_),
                      static_cast<off_t>(written_ - writtenBehind_), SYNC_FILE_RANGE_WRITE);
    writtenBehind_ = written_;
  }
}

void VexDocumentFile::endPrefill() {
  if (prefill_ == nullptr)
    return;
  const off_t zerosEnd = prefill_->stop();
  prefill_.reset();
  if (zerosEnd > static_cast<off_t>(written_) &&
      ::ftruncate(spool_, static_cast<off_t>(written_)) != 0)
    fail("cannot write the document");
}

bool VexDocumentFile::openOutput(int &fd) const {
  fd = ::open(outputFile_.c_str(), O_WRONLY | O_CLOEXEC);
  return fd >= 0;
}

void VexDocumentFile::copyTo(const std::function<void(const char *, std::size_t)> &sink) {
  if (spool_ < 0) {
    sink(memory_.data(), memory_.size());
    return;
  }
  if (::lseek(spool_, 0, SEEK_SET) != 0)
    fail("cannot read the document back");
  char buffer[1 << 16];
  for (;;) {
    ssize_t got = ::read(spool_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      fail("cannot read the document back");
    if (got == 0)
      return;
    sink(buffer, static_cast<std::size_t>(got));
  }
}

namespace {

// Gives the unnamed file `fd` a private name in `folder` (".vexfcbl-PID-N",
// the first N free), for the rename that puts it in place; false, with
// errno telling why, when the folder does not take it.
bool linkPrivately(int fd, const std::string &folder, std::string &name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (unsigned attempt = 0;; ++attempt) {
    std::string candidate =
        (std::filesystem::path(folder) /
         (".vexfcbl-" + std::to_string(::getpid()) + "-" + std::to_string(attempt)))
            .string();
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      name = std::move(candidate);
      return true;
    }
    if (errno != EEXIST)
      return false;
  }
}

// The mode a new file gets: what an output stream would create.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// A file that appears in `folder` only under its final name: an unnamed
// file given a private name right before the rename, or, where unnamed files
// are not to be had, a named one from the start. Removed unless placed.
// Not opened, with errno telling why, in a folder that takes no new file.
class Replacement {
public:
  explicit Replacement(std::string folder) : folder_(std::move(folder)) {
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ >= 0)
      return;
    name_ = (std::filesystem::path(folder_) / ".vexfcbl-XXXXXX").string();
    fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
    if (fd_ < 0)
      name_.clear();
  }
  ~Replacement() {
    if (fd_ >= 0)
      ::close(fd_);
    if (!name_.empty())
      ::unlink(name_.c_str());
  }
  Replacement(const Replacement &) = delete;
  Replacement &operator=(const Replacement &) = delete;

  bool opened() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Gives the file `mode` (and, where allowed, the owner of the file it
  // replaces), then renames it over `target` in one step: a reader sees the
  // old complete document or the new complete one, never a mixture.
  void place(const std::string &target, mode_t mode, const struct stat *replaced) {
    if (::fchmod(fd_, mode & 07777) != 0)
      fail("cannot write the document");
    if (replaced != nullptr && ::fchown(fd_, replaced->st_uid, replaced->st_gid) != 0) {
      // Only the owner's own files can be given away; the mode is kept.
    }
    if (name_.empty() && !linkPrivately(fd_, folder_, name_))
      fail("cannot write the document");
    if (::rename(name_.c_str(), target.c_str()) != 0)
      fail("cannot write the document");
    name_.clear();
  }

private:
  std::string folder_;
  std::string name_;
  int fd_ = -1;
};

} // namespace

bool VexDocumentFile::commit() {
  if (target_ != nullptr) {
    *target_ = std::move(memory_);
    return true;
  }
  endPrefill();
  if (outputFile_.empty()) {
    copyTo([](const char *bytes, std::size_t size) {
      std::cout.write(bytes, static_cast<std::streamsize>(size));
    });
    std::cout.flush();
    return true;
  }
  if (noFolder_) {
    errno = ENOENT;
    return false;
  }
  struct stat old {};
  if (::stat(outputFile_.c_str(), &old) != 0) {
    // A new output: the unnamed spool is given its name, complete at once.
    if (linkable_) {
      const std::string self = "/proc/self/fd/" + std::to_string(spool_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, outputFile_.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return true;
    }
    // A folder that takes no new file: an output stream could not have
    // opened the output either.
    Replacement replacement(folderOf(outputFile_));
    if (!replacement.opened())
      return false;
    copyTo([&](const char *bytes, std::size_t size) { writeAll(replacement.fd(), bytes, size); });
    replacement.place(outputFile_, newFileMode(), nullptr);
    return true;
  }
  int probe = -1;
  // An output that cannot be opened for writing is left alone, as an output
  // stream would leave it (a folder, a file without write permission).
  if (!openOutput(probe))
    return false;
  std::string target;
  std::optional<Replacement> replacement;
  if (S_ISREG(old.st_mode)) {
    target = std::filesystem::canonical(outputFile_).string();
    replacement.emplace(folderOf(target));
  }
  if (!S_ISREG(old.st_mode) || !replacement->opened()) {
    // A device or a pipe (/dev/stdout, a FIFO) is written into, never
    // replaced; so is a file whose folder takes no new file, as an output
    // stream would write it.
    try {
      if (::ftruncate(probe, 0) != 0 && errno != EINVAL)
        fail("cannot write the document");
      copyTo([probe](const char *bytes, std::size_t size) { writeAll(probe, bytes, size); });
    } catch (...) {
      ::close(probe);
      throw;
    }
    if (::close(probe) != 0)
      fail("cannot write the document");
    return true;
  }
  ::close(probe);
  // A regular file is replaced whole, through a link to it when the output
  // is one, keeping its mode; so two runs writing the same output, or a full
  // disk, never leave a mixed or truncated document behind. The spool itself
  // takes the old file's place where it can be linked into the target's
  // folder: copying a big document took as long as a tenth of converting it.
  if (linkable_ && placeSpool(target, old))
    return true;
  copyTo([&](const char *bytes, std::size_t size) { writeAll(replacement->fd(), bytes, size); });
  replacement->place(target, old.st_mode, &old);
  return true;
}

bool VexDocumentFile::placeSpool(const std::string &target, const struct stat &old) {
  // The spool has no name yet: its mode and owner are the old file's before
  // any name shows it.
  if (::fchmod(spool_, old.st_mode & 07777) != 0)
    fail("cannot write the document");
  if (::fchown(spool_, old.st_uid, old.st_gid) != 0) {
    // Only the owner's own files can be given away; the mode is kept.
  }
  std::string name;
  if (!linkPrivately(spool_, folderOf(target), name))
    return false; // another file system: the document is copied there
  if (::rename(name.c_str(), target.c_str()) != 0) {
    ::unlink(name.c_str());
    fail("cannot write the document");
  }
  return true;
}

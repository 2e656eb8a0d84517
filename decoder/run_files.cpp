// Input checks and the output spool of a decoding run: an unnamed file beside the output,
// linked or renamed over it on commit.
#include "decoder/run_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "decoder/run_signals.h"

namespace fs = std::filesystem;

namespace {

constexpr std::string_view prefix = "vexfcbl-decode: ";

std::string reason(int error) { return std::strerror(error); }

std::string folderOf(const std::string &file) {
  const fs::path folder = fs::path(file).parent_path();
  return folder.empty() ? std::string(".") : folder.string();
}

// The mode a file created now gets: 0666 less the process's mask.
mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

bool sameFile(const struct stat &status, const RunInput &input) {
  return status.st_dev == input.device && status.st_ino == input.inode;
}

RunInput inputOf(const std::string &name, const char *role, const struct stat &status) {
  RunInput input;
  input.name = name;
  input.role = role;
  input.device = status.st_dev;
  input.inode = status.st_ino;
  input.regular = S_ISREG(status.st_mode);
  if (input.regular)
    input.size = status.st_size;
  return input;
}

// The first `count` bytes of `fd` (fewer in a shorter file); false on a read error.
bool readHead(int fd, std::size_t count, std::string &head) {
  head.resize(count);
  std::size_t have = 0;
  while (have < count) {
    const ssize_t got = ::pread(fd, head.data() + have, count - have, static_cast<off_t>(have));
    if (got < 0 && errno == EINTR)
      continue;
    if (got < 0)
      return false;
    if (got == 0)
      break;
    have += static_cast<std::size_t>(got);
  }
  head.resize(have);
  return true;
}

} // namespace

std::vector<RunInput> checkDataFiles(const std::vector<std::string> &names, std::size_t headBytes) {
  std::vector<RunInput> inputs;
  std::string refused;
  for (const std::string &name : names) {
    struct stat status {};
    int error = 0;
    if (::stat(name.c_str(), &status) != 0)
      error = errno;
    else if (S_ISDIR(status.st_mode))
      error = EISDIR;
    else if (!S_ISREG(status.st_mode) && ::access(name.c_str(), R_OK) != 0)
      error = errno;
    RunInput input = inputOf(name, "the data file", status);
    if (error == 0 && input.regular) {
      // Opened and read now, so a file that cannot be read is refused before
      // any output is written; a pipe is left for the decoding to read.
      const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 || !readHead(fd, headBytes, input.head))
        error = errno;
      if (fd >= 0)
        ::close(fd);
    }
    if (error != 0) {
      refused += std::string(prefix) + "cannot read " + name + ": " + reason(error) + "\n";
      continue;
    }
    inputs.push_back(std::move(input));
  }
  if (!refused.empty())
    throw RunFileError{refused};
  return inputs;
}

std::vector<RunInput> copybookInputs(const std::vector<std::string> &names) {
  std::vector<RunInput> inputs;
  for (const std::string &name : names) {
    struct stat status {};
    if (::stat(name.c_str(), &status) == 0)
      inputs.push_back(inputOf(name, "the copybook", status));
  }
  return inputs;
}

std::optional<RunInput> standardInput() {
  struct stat status {};
  if (::fstat(STDIN_FILENO, &status) != 0 || !S_ISREG(status.st_mode))
    return std::nullopt;
  return inputOf("", "the standard input", status);
}

// The file being written and how it will be put in place.
struct DecodeOutput::Spool {
  int fd = -1;
  // A device or a pipe, written into as it is.
  bool direct = false;
  // The output existed as a regular file: `old` is its status.
  bool replaces = false;
  struct stat old {};
  // The file the output names (a link's target), and its folder.
  std::string target;
  std::string folder;
  // Set when the spool has a name of its own (no unnamed files here).
  std::string name;
  // The first write that failed, as errno told it.
  int writeError = 0;

  ~Spool() {
    if (fd >= 0)
      ::close(fd);
    if (!name.empty())
      ::unlink(name.c_str());
  }

  static ssize_t write(void *cookie, const char *bytes, std::size_t size) {
    auto &spool = *static_cast<Spool *>(cookie);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = ::write(spool.fd, bytes + done, size - done);
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        if (spool.writeError == 0)
          spool.writeError = n < 0 ? errno : EIO;
        return 0;
      }
      done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(size);
  }
};

DecodeOutput::DecodeOutput(const std::string &path, const std::vector<RunInput> &inputs,
                           SignalStop *stop)
    : path_(path), stop_(stop) {
  if (path.empty()) {
    stream_ = stdout;
    return;
  }
  spool_ = std::make_unique<Spool>();
  Spool &spool = *spool_;
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0) {
    for (const RunInput &input : inputs)
      if (sameFile(status, input))
        throw RunFileError{std::string(prefix) + "-o " + path + " is " + input.role +
                           (input.name.empty() ? "" : " " + input.name) +
                           ": an input is never overwritten\n"};
    if (S_ISDIR(status.st_mode))
      fail(EISDIR);
    if (!S_ISREG(status.st_mode)) {
      spool.fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (spool.fd < 0)
        fail(errno);
      spool.direct = true;
    } else {
      // Refused now, as it would be refused at the end, rather than after
      // hours of decoding.
      const int probe = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
      if (probe < 0)
        fail(errno);
      ::close(probe);
      spool.replaces = true;
      spool.old = status;
      std::error_code error;
      spool.target = fs::canonical(path, error).string();
      if (error)
        fail(error.value());
    }
  } else {
    const int error = errno;
    if (error != ENOENT)
      fail(error);
    // A link to a missing file: where the output would go is not clear.
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0)
      fail(ENOENT);
    spool.target = path;
  }
  if (!spool.direct) {
    spool.folder = folderOf(spool.target);
    struct stat folder {};
    if (::stat(spool.folder.c_str(), &folder) != 0)
      fail(errno);
    if (!S_ISDIR(folder.st_mode))
      fail(ENOTDIR);
    // An unnamed file can be linked under a name only through /proc.
    if (::access("/proc/self/fd", X_OK) == 0)
      spool.fd = ::open(spool.folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (spool.fd < 0) {
      if (errno == EACCES || errno == EPERM || errno == EROFS) {
        if (!spool.replaces)
          fail(errno);
        // The file itself may be writable: say what is not, in the user's
        // words unless a link leads elsewhere.
        const int error = errno;
        struct stat link {};
        const bool linked = ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        throw RunFileError{std::string(prefix) + "cannot write " + path +
                           ": cannot create a file in " + (linked ? spool.folder : folderOf(path)) +
                           ": " + reason(error) + "\n"};
      }
      std::string name = (fs::path(spool.folder) / ".vexfcbl-decode-XXXXXX").string();
      spool.fd = ::mkostemp(name.data(), O_CLOEXEC);
      if (spool.fd < 0)
        fail(errno);
      spool.name = std::move(name);
      if (stop_ != nullptr)
        stop_->removeOnStop(spool.name);
    }
  }
  stream_ = ::fopencookie(&spool, "w", {nullptr, &Spool::write, nullptr, nullptr});
  if (stream_ == nullptr)
    fail(errno);
  if (stop_ != nullptr)
    stop_->protectOutput(path);
}

DecodeOutput::~DecodeOutput() {
  if (stream_ != nullptr && stream_ != stdout)
    std::fclose(stream_);
  if (stop_ != nullptr)
    stop_->keep();
}

std::string DecodeOutput::writeError(int error) const {
  return std::string(prefix) + "cannot write " +
         (path_.empty() ? std::string("the standard output") : path_) + ": " + reason(error) + "\n";
}

void DecodeOutput::fail(int error) const { throw RunFileError{writeError(error)}; }

std::string DecodeOutput::failure() const {
  const int error = spool_ ? spool_->writeError : std::ferror(stdout) != 0 ? EIO : 0;
  return error == 0 ? "" : writeError(error);
}

void DecodeOutput::commit() {
  if (!spool_) {
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0)
      fail(errno != 0 ? errno : EIO);
    return;
  }
  Spool &spool = *spool_;
  errno = 0;
  const bool flushed = std::fflush(stream_) == 0 && std::ferror(stream_) == 0;
  if (spool.writeError != 0 || !flushed)
    fail(spool.writeError != 0 ? spool.writeError : errno != 0 ? errno : EIO);
  if (spool.direct)
    return;
  // On disk before it has the output's name: a crash right after the rename
  // must not leave an empty output in place of the earlier one.
  if (::fdatasync(spool.fd) != 0 && errno != EINVAL)
    fail(errno);
  if (spool.replaces) {
    if (::fchmod(spool.fd, spool.old.st_mode & 07777) != 0)
      fail(errno);
    if (::fchown(spool.fd, spool.old.st_uid, spool.old.st_gid) != 0) {
      // Only the owner's own files can be given away; the mode is kept.
    }
  } else if (!spool.name.empty() && ::fchmod(spool.fd, newFileMode()) != 0) {
    fail(errno);
  }
  const std::string self = "/proc/self/fd/" + std::to_string(spool.fd);
  if (spool.name.empty()) {
    // A new output is linked in complete at once.
    if (!spool.replaces &&
        ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, spool.target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      if (stop_ != nullptr)
        stop_->outputPlaced();
      return;
    }
    if (!spool.replaces && errno != EEXIST)
      fail(errno);
    // An existing one is replaced by a rename, which needs a name first.
    for (unsigned attempt = 0; spool.name.empty(); ++attempt) {
      std::string name =
          (fs::path(spool.folder) /
           (".vexfcbl-decode-" + std::to_string(::getpid()) + "-" + std::to_string(attempt)))
              .string();
      if (stop_ != nullptr)
        stop_->removeOnStop(name);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        spool.name = std::move(name);
      else if (errno != EEXIST)
        fail(errno);
    }
  }
  if (::rename(spool.name.c_str(), spool.target.c_str()) != 0)
    fail(errno);
  spool.name.clear();
  if (stop_ != nullptr) {
    stop_->outputPlaced();
    stop_->keep();
  }
}

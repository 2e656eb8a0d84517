// The document spool: unnamed file beside the output, linked or copied into place on commit.
#include "model/document_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <sys/stat.h>
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

} // namespace

VexDocumentFile::VexDocumentFile(std::string outputFile) : outputFile_(std::move(outputFile)) {
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

VexDocumentFile::~VexDocumentFile() {
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
  writeAll(spool_, bytes.data(), bytes.size());
}

bool VexDocumentFile::openOutput(int &fd) const {
  // The flags an output file stream opened for writing uses.
  fd = ::open(outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

bool VexDocumentFile::commit() {
  if (outputFile_.empty()) {
    copyTo([](const char *bytes, std::size_t size) {
      std::cout.write(bytes, static_cast<std::streamsize>(size));
    });
    std::cout.flush();
    return true;
  }
  if (noFolder_)
    return false;
  if (linkable_) {
    const std::string self = "/proc/self/fd/" + std::to_string(spool_);
    // Fails when the output exists (or /proc is not there): then the output
    // is rewritten in place, keeping its mode, owner and links.
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, outputFile_.c_str(), AT_SYMLINK_FOLLOW) == 0)
      return true;
  }
  int fd = -1;
  if (!openOutput(fd))
    return false;
  try {
    copyTo([fd](const char *bytes, std::size_t size) { writeAll(fd, bytes, size); });
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0)
    fail("cannot write the document");
  return true;
}

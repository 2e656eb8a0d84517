// Split plans over F, L, V and VB files; V and VB walk the descriptor words only.
#include "decoder/split_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "decoder/framing.h"

namespace {

// A read-only descriptor that closes itself.
class DataFile {
public:
  explicit DataFile(const std::string &path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~DataFile() {
    if (fd_ >= 0)
      ::close(fd_);
  }
  DataFile(const DataFile &) = delete;
  DataFile &operator=(const DataFile &) = delete;
  int fd() const { return fd_; }

private:
  int fd_;
};

// Reads the 4-byte descriptor words at arbitrary offsets. One page around the
// last word is kept, so files of short records cost one read per page, as a
// buffered reader would, while long records cost one read per descriptor.
class DescriptorReader {
public:
  DescriptorReader(int fd, std::int64_t size, const std::string &path)
      : fd_(fd), size_(size), path_(path) {}

  // The bytes at `at`, up to 4; fewer only at the file's end.
  std::string_view word(std::int64_t at) {
    const std::int64_t want = std::min<std::int64_t>(4, size_ - at);
    if (at < pageStart_ || at + want > pageStart_ + pageLength_) {
      pageStart_ = at;
      pageLength_ = 0;
      while (pageLength_ < std::min<std::int64_t>(page_.size(), size_ - at)) {
        const ssize_t got =
            ::pread(fd_, page_.data() + pageLength_, page_.size() - pageLength_, at + pageLength_);
        if (got < 0)
          throw SplitError{"vexfcbl-decode: cannot read " + path_ + ": " + std::strerror(errno) +
                           "\n"};
        if (got == 0)
          break;
        pageLength_ += got;
      }
    }
    const std::int64_t have = std::min(want, pageStart_ + pageLength_ - at);
    return {page_.data() + (at - pageStart_),
            static_cast<std::size_t>(std::max<std::int64_t>(0, have))};
  }

private:
  int fd_;
  std::int64_t size_;
  const std::string &path_;
  std::array<char, 4096> page_{};
  std::int64_t pageStart_ = 0;
  std::int64_t pageLength_ = 0;
};

void warn(std::string &warnings, const std::string &path, long long record, std::int64_t byte,
          const char *what) {
  char head[64];
  std::snprintf(head, sizeof head, ": record %lld, byte %lld: ", record,
                static_cast<long long>(byte));
  warnings += "vexfcbl-decode: " + path + head + what + "\n";
}

// V and VB: the decoder's framing (decode_run.cpp) step by step, on the
// descriptor words alone. A range may start wherever the framing is about to
// read a record descriptor (V) or a block descriptor (VB).
std::vector<SplitRange> walkDescriptors(DescriptorReader &reader, const std::string &path,
                                        const DecodeOptions &options, std::int64_t from,
                                        std::int64_t fileEnd, std::int64_t size,
                                        std::string &warnings) {
  const bool blocked = options.recordFormat == RecordFormat::variableBlocked;
  std::vector<SplitRange> ranges;
  std::int64_t rangeStart = from;
  long long rangeFirst = 1;
  std::int64_t at = from;
  long long record = 1; // the number of the next record
  std::int64_t blockLeft = 0;
  while (at < fileEnd) {
    const bool boundary = !blocked || blockLeft == 0;
    if (boundary && at - rangeStart >= size) {
      ranges.push_back({rangeStart, at, rangeFirst});
      rangeStart = at;
      rangeFirst = record;
    }
    const std::string_view word = reader.word(at).substr(
        0, static_cast<std::size_t>(std::min<std::int64_t>(4, fileEnd - at)));
    if (blocked && blockLeft == 0) {
      const DescriptorWord block = readBlockWord(word, options);
      if (block.length < 0) {
        warn(warnings, path, record++, at, "invalid block descriptor word");
        at += static_cast<std::int64_t>(word.size());
        continue;
      }
      at += 4;
      blockLeft = block.length - 4;
      continue;
    }
    const DescriptorWord recordWord = readRecordWord(word, options);
    if (recordWord.length < 0) {
      warn(warnings, path, record++, at, "invalid record descriptor word");
      at += static_cast<std::int64_t>(word.size());
      blockLeft = 0;
      continue;
    }
    const std::int64_t have = std::min(recordWord.length, fileEnd - at);
    if (have < recordWord.length)
      warn(warnings, path, record, at + 4, "record shorter than its descriptor word says");
    ++record;
    at += have;
    blockLeft = blockLeft > have ? blockLeft - have : 0;
  }
  ranges.push_back({rangeStart, fileEnd, rangeFirst});
  return ranges;
}

} // namespace

std::vector<SplitRange> planSplits(const std::string &path, const DecodeOptions &options,
                                   std::int64_t recordLength, std::int64_t size,
                                   std::string &warnings) {
  const DataFile file(path);
  struct stat status {};
  if (file.fd() < 0 || ::fstat(file.fd(), &status) != 0)
    throw SplitError{"vexfcbl-decode: cannot read " + path + ": " + std::strerror(errno) + "\n"};
  if (!S_ISREG(status.st_mode))
    throw SplitError{"vexfcbl-decode: cannot split " + path + ": not a regular file\n"};
  // -skip-bytes and -skip-trailer-bytes: the ranges cover the bytes between.
  const std::int64_t from = std::min<std::int64_t>(options.skipBytes, status.st_size);
  const std::int64_t fileEnd = std::max(from, status.st_size - options.skipTrailerBytes);
  std::vector<SplitRange> ranges;
  switch (options.recordFormat) {
  case RecordFormat::fixed: {
    const std::int64_t step = std::max<std::int64_t>(1, size / recordLength) * recordLength;
    for (std::int64_t at = from; at == from || at < fileEnd; at += step)
      ranges.push_back({at, std::min(at + step, fileEnd), (at - from) / recordLength + 1});
    return ranges;
  }
  case RecordFormat::lines:
    for (std::int64_t at = from; at == from || at < fileEnd; at += size)
      ranges.push_back({at, std::min(at + size, fileEnd), 0});
    return ranges;
  case RecordFormat::variable:
  case RecordFormat::variableBlocked: {
    DescriptorReader reader(file.fd(), status.st_size, path);
    return walkDescriptors(reader, path, options, from, fileEnd, size, warnings);
  }
  }
  return ranges;
}

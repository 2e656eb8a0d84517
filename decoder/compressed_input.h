#pragma once
// Data files and standard input compressed with gzip, bzip2 or zstd, known by
// their first bytes (never by the name), read as the stream of their
// decompressed bytes through Debian's zlib, libbz2 and libzstd.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

enum class Compression { none, gzip, bzip2, zstd };

// The compression whose magic bytes `head` begins with.
Compression compressionOf(std::string_view head);
// "gzip", "bzip2", "zstd"; empty for none.
const char *compressionName(Compression compression);

// The bytes of one opened data file as the decoder reads them. A plain
// regular file is read as it is (it can seek); a compressed file, or a pipe
// such as the standard input, is read through a stream of its own whose
// first bytes are the ones looked at to tell the compression.
class DataStream {
public:
  // `file` stays the caller's and must outlive the stream; `name` is for messages.
  DataStream(std::FILE *file, std::string name);
  ~DataStream();
  DataStream(const DataStream &) = delete;
  DataStream &operator=(const DataStream &) = delete;

  // The stream to read with fread; seekable only when compression() is
  // none and the file was.
  std::FILE *stream() const;
  Compression compression() const { return compression_; }
  // Why reading failed beyond what errno says ("gzip data is corrupt: ...",
  // "the bzip2 data ends inside a stream"); empty when it did not.
  const std::string &failure() const;

  struct Source;

private:
  Compression compression_ = Compression::none;
  std::FILE *file_;
  std::unique_ptr<Source> source_;
  std::FILE *wrapped_ = nullptr;
};

// Decompression behind a stdio stream (fopencookie), so the framing reads
// every input through one fread loop.
#include "decoder/compressed_input.h"

#include <bzlib.h>
#include <zlib.h>
#include <zstd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr std::size_t magicBytes = 4;

} // namespace

Compression compressionOf(std::string_view head) {
  const auto starts = [&](std::string_view magic) { return head.substr(0, magic.size()) == magic; };
  if (starts("\x1F\x8B"))
    return Compression::gzip;
  // "BZh" and the block size digit
  if (head.size() >= 4 && starts("BZh") && head[3] >= '1' && head[3] <= '9')
    return Compression::bzip2;
  if (starts(std::string_view("\x28\xB5\x2F\xFD", 4)))
    return Compression::zstd;
  return Compression::none;
}

const char *compressionName(Compression compression) {
  switch (compression) {
  case Compression::gzip:
    return "gzip";
  case Compression::bzip2:
    return "bzip2";
  case Compression::zstd:
    return "zstd";
  case Compression::none:
    break;
  }
  return "";
}

// The bytes of the file (the ones already looked at first), and a decoder over them.
struct DataStream::Source {
  Source(std::FILE *file, std::string name, std::string prefix)
      : file(file), name(std::move(name)), prefix(std::move(prefix)), input(1 << 16) {}
  virtual ~Source() = default;
  Source(const Source &) = delete;
  Source &operator=(const Source &) = delete;

  // Up to `size` bytes of the stream; 0 at its end, -1 (errno set) when it fails.
  virtual ssize_t read(char *buffer, std::size_t size) = 0;

  // The next raw bytes into `input`; false at the end of the file or on an error.
  bool fill() {
    if (at < end)
      return true;
    at = 0;
    end = 0;
    if (prefixAt < prefix.size()) {
      end = prefix.copy(input.data(), input.size(), prefixAt);
      prefixAt += end;
      return true;
    }
    errno = 0;
    end = std::fread(input.data(), 1, input.size(), file);
    if (end == 0 && std::ferror(file) != 0)
      fail(std::strerror(errno != 0 ? errno : EIO));
    return end > 0;
  }

  ssize_t fail(const std::string &why) {
    if (failure.empty())
      failure = why;
    errno = EIO;
    return -1;
  }

  std::FILE *file;
  std::string name;
  std::string prefix;
  std::size_t prefixAt = 0;
  std::vector<char> input;
  std::size_t at = 0;
  std::size_t end = 0;
  std::string failure;
};

namespace {

// A pipe read on after its first bytes were taken to tell the compression.
struct PlainSource final : DataStream::Source {
  using Source::Source;
  ssize_t read(char *buffer, std::size_t size) override {
    if (!fill())
      return failure.empty() ? 0 : -1;
    const std::size_t n = std::min(size, end - at);
    std::memcpy(buffer, input.data() + at, n);
    at += n;
    return static_cast<ssize_t>(n);
  }
};

// gzip: every member of the file in turn, as gzip -d reads them.
struct GzipSource final : DataStream::Source {
  GzipSource(std::FILE *file, std::string name, std::string prefix)
      : Source(file, std::move(name), std::move(prefix)) {
    // 16: a gzip header and trailer around the deflate data
    if (inflateInit2(&zs, 15 + 16) != Z_OK)
      fail("zlib cannot start");
  }
  ~GzipSource() override { inflateEnd(&zs); }

  ssize_t read(char *buffer, std::size_t size) override {
    if (!failure.empty())
      return -1;
    zs.next_out = reinterpret_cast<Bytef *>(buffer);
    zs.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
    const uInt wanted = zs.avail_out;
    while (zs.avail_out == wanted) {
      if (!fill()) {
        if (!failure.empty())
          return -1;
        if (inMember)
          return fail("the gzip data ends inside a member");
        return 0;
      }
      zs.next_in = reinterpret_cast<Bytef *>(input.data() + at);
      zs.avail_in = static_cast<uInt>(end - at);
      if (!inMember) {
        inflateReset(&zs);
        inMember = true;
      }
      const int status = inflate(&zs, Z_NO_FLUSH);
      at = end - zs.avail_in;
      if (status == Z_STREAM_END)
        inMember = false;
      else if (status != Z_OK && status != Z_BUF_ERROR)
        return fail(std::string("the gzip data is corrupt: ") +
                    (zs.msg != nullptr ? zs.msg : "inflate failed"));
    }
    return static_cast<ssize_t>(wanted - zs.avail_out);
  }

  z_stream zs{};
  bool inMember = false;
};

// bzip2: every stream of the file in turn, as bzip2 -d reads them.
struct Bzip2Source final : DataStream::Source {
  using Source::Source;
  ~Bzip2Source() override {
    if (started)
      BZ2_bzDecompressEnd(&bz);
  }

  ssize_t read(char *buffer, std::size_t size) override {
    if (!failure.empty())
      return -1;
    bz.next_out = buffer;
    bz.avail_out = static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30));
    const unsigned wanted = bz.avail_out;
    while (bz.avail_out == wanted) {
      if (!fill()) {
        if (!failure.empty())
          return -1;
        if (started)
          return fail("the bzip2 data ends inside a stream");
        return 0;
      }
      if (!started) {
        if (BZ2_bzDecompressInit(&bz, 0, 0) != BZ_OK)
          return fail("libbz2 cannot start");
        started = true;
      }
      bz.next_in = input.data() + at;
      bz.avail_in = static_cast<unsigned>(end - at);
      const int status = BZ2_bzDecompress(&bz);
      at = end - bz.avail_in;
      if (status == BZ_STREAM_END) {
        BZ2_bzDecompressEnd(&bz);
        started = false;
      } else if (status != BZ_OK) {
        return fail("the bzip2 data is corrupt (libbz2 status " + std::to_string(status) + ")");
      }
    }
    return static_cast<ssize_t>(wanted - bz.avail_out);
  }

  bz_stream bz{};
  bool started = false;
};

// zstd: its frames in turn (one stream reads them all).
struct ZstdSource final : DataStream::Source {
  ZstdSource(std::FILE *file, std::string name, std::string prefix)
      : Source(file, std::move(name), std::move(prefix)), zs(ZSTD_createDStream()) {
    if (zs == nullptr)
      fail("libzstd cannot start");
  }
  ~ZstdSource() override { ZSTD_freeDStream(zs); }

  ssize_t read(char *buffer, std::size_t size) override {
    if (!failure.empty())
      return -1;
    ZSTD_outBuffer out{buffer, size, 0};
    while (out.pos == 0) {
      if (!fill()) {
        if (!failure.empty())
          return -1;
        if (pending != 0)
          return fail("the zstd data ends inside a frame");
        return 0;
      }
      ZSTD_inBuffer in{input.data() + at, end - at, 0};
      pending = ZSTD_decompressStream(zs, &out, &in);
      at += in.pos;
      if (ZSTD_isError(pending) != 0)
        return fail(std::string("the zstd data is corrupt: ") + ZSTD_getErrorName(pending));
    }
    return static_cast<ssize_t>(out.pos);
  }

  ZSTD_DStream *zs;
  std::size_t pending = 0; // nonzero inside a frame
};

ssize_t readCookie(void *cookie, char *buffer, std::size_t size) {
  return static_cast<DataStream::Source *>(cookie)->read(buffer, size);
}

int closeCookie(void *) { return 0; }

} // namespace

DataStream::DataStream(std::FILE *file, std::string name) : file_(file) {
  std::string head(magicBytes, '\0');
  head.resize(std::fread(head.data(), 1, head.size(), file));
  compression_ = compressionOf(head);
  // A plain file that can seek goes back to its start and is read as it is.
  if (compression_ == Compression::none && ::fseeko(file, 0, SEEK_SET) == 0)
    return;
  std::clearerr(file);
  switch (compression_) {
  case Compression::none:
    source_ = std::make_unique<PlainSource>(file, std::move(name), std::move(head));
    break;
  case Compression::gzip:
    source_ = std::make_unique<GzipSource>(file, std::move(name), std::move(head));
    break;
  case Compression::bzip2:
    source_ = std::make_unique<Bzip2Source>(file, std::move(name), std::move(head));
    break;
  case Compression::zstd:
    source_ = std::make_unique<ZstdSource>(file, std::move(name), std::move(head));
    break;
  }
  wrapped_ = ::fopencookie(source_.get(), "r",
                           cookie_io_functions_t{readCookie, nullptr, nullptr, closeCookie});
  if (wrapped_ == nullptr)
    throw std::bad_alloc();
}

DataStream::~DataStream() {
  if (wrapped_ != nullptr)
    std::fclose(wrapped_);
}

std::FILE *DataStream::stream() const { return source_ ? wrapped_ : file_; }

const std::string &DataStream::failure() const {
  static const std::string none;
  return source_ ? source_->failure : none;
}

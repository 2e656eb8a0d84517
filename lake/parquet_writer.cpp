// Parquet output: each decoded record's values shredded into its leaf columns
// (repetition and definition levels, plain values), cut into pages, compressed, and written
// one row group at a time; the page headers and the footer are the Thrift types of
// lake/parquet.thrift in the compact protocol.
#include "lake/parquet_writer.h"

#include <snappy-sinksource.h>
#include <snappy.h>
#include <thrift/protocol/TCompactProtocol.h>
#include <thrift/transport/TBufferTransports.h>
#include <zstd.h>

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/build_version.h"
#include "lake/byte_buffer.h"
#include "lake/decimal_text.h"
#include "lake/record_plan.h"
#include "lake/sink_thread.h"
#include "lake/value_walk.h"
#include "parquet_types.h"

namespace {

using apache::thrift::protocol::TCompactProtocolT;
using apache::thrift::transport::TMemoryBuffer;

constexpr std::size_t pageBytes = 1 << 20;
// The most bytes a data page's header takes in the compact protocol.
constexpr std::size_t headBound = 64;

// Bytes a two's complement decimal of `precision` digits needs.
int decimalBytes(int precision) {
  return static_cast<int>(std::ceil((precision * std::log2(10.0) + 1) / 8));
}

int bitWidth(int maxLevel) {
  int bits = 0;
  while ((1 << bits) <= maxLevel)
    ++bits;
  return bits;
}

template <class T> void appendPlain(std::string &out, T value) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T)); // the machine is little-endian, as Parquet is
  out.append(bytes, sizeof(T));
}

// A page's levels in the RLE/bit-packed hybrid, runs only, encoded as they
// come: the run being counted, and the bytes of those finished.
class LevelRuns {
public:
  explicit LevelRuns(int maxLevel = 0) : width_((bitWidth(maxLevel) + 7) / 8) {}

  [[gnu::always_inline]] void add(std::uint16_t level) {
    // No run has level_ noRun: one comparison finds the run to lengthen.
    if (level == level_ && length_ < (1u << 30)) {
      ++length_;
      return;
    }
    close();
    level_ = level;
    length_ = 1;
  }
  // `count` entries of `level`, as that many add() would make them.
  void add(std::uint16_t level, std::size_t count) {
    while (count > 0) {
      if (level == level_ && length_ < (1u << 30)) {
        const std::size_t taken = std::min<std::size_t>(count, (1u << 30) - length_);
        length_ += static_cast<std::uint32_t>(taken);
        count -= taken;
      } else {
        close();
        level_ = level;
        length_ = 1;
        --count;
      }
    }
  }
  // A record's levels, the same in every record: as add() would make them. Where the
  // record's first run cannot lengthen the last one before it, and that last run is the
  // pattern's own last, the bytes it adds are always the same: one copy.
  struct Pattern {
    std::vector<std::pair<std::uint16_t, std::uint32_t>> runs; // level, length
    std::string steady; // the runs closed by a record in the steady state
  };
  Pattern pattern(const std::vector<std::uint16_t> &levels) const {
    Pattern made;
    for (const std::uint16_t level : levels) {
      if (!made.runs.empty() && made.runs.back().first == level)
        ++made.runs.back().second;
      else
        made.runs.emplace_back(level, 1);
    }
    if (made.runs.size() >= 2 && made.runs.front().first != made.runs.back().first) {
      LevelRuns runs(0);
      runs.width_ = width_;
      runs.level_ = made.runs.back().first;
      runs.length_ = made.runs.back().second;
      // The record's last run is left open, as the one before it was.
      for (const auto &[level, length] : made.runs)
        runs.add(level, length);
      made.steady = std::string(runs.runs_.view());
    }
    return made;
  }
  void add(const Pattern &pattern) {
    if (!pattern.steady.empty() && level_ == pattern.runs.back().first &&
        length_ == pattern.runs.back().second) {
      runs_.append(pattern.steady);
      return;
    }
    for (const auto &[level, length] : pattern.runs)
      add(level, length);
  }
  // `count` records of `pattern`: after the first, each closes the steady bytes (the first
  // leaves its last run open as it found the one before), copied in one piece.
  void add(const Pattern &pattern, std::size_t count) {
    if (count == 0)
      return;
    // One level throughout (a list's entries all defined): one run, however many records.
    if (pattern.runs.size() == 1)
      return add(pattern.runs.front().first, pattern.runs.front().second * count);
    add(pattern);
    if (--count == 0)
      return;
    if (pattern.steady.empty()) {
      while (count-- > 0)
        add(pattern);
      return;
    }
    // The steady bytes once, then what is written so far copied after itself.
    const std::size_t size = pattern.steady.size();
    char *const first = runs_.room(size * count);
    std::memcpy(first, pattern.steady.data(), size);
    for (std::size_t done = size; done < size * count;) {
      const std::size_t more = std::min(done, size * count - done);
      std::memcpy(first + done, first, more);
      done += more;
    }
    runs_.grow(first + size * count);
  }
  // The page's levels, with their 4-byte length first; empties them.
  void moveTo(std::string &out) {
    close();
    appendPlain(out, static_cast<std::uint32_t>(runs_.size()));
    out += runs_.view();
    runs_.clear();
  }

private:
  [[gnu::noinline]] void close() {
    if (length_ == 0)
      return;
    // The run's length (shifted: a run, not bit-packed) as a varint, then
    // its level in `width_` bytes, little-endian.
    char *at = runs_.room(5 + 2);
    std::uint32_t header = length_ << 1;
    while (header >= 0x80) {
      *at++ = static_cast<char>((header & 0x7F) | 0x80);
      header >>= 7;
    }
    *at++ = static_cast<char>(header);
    at[0] = static_cast<char>(level_ & 0xFF);
    at[1] = static_cast<char>(level_ >> 8);
    runs_.grow(at + width_);
    length_ = 0;
    level_ = noRun;
  }

  int width_;
  static constexpr std::uint32_t noRun = 1 << 16; // beyond every level
  std::uint32_t level_ = noRun;
  std::uint32_t length_ = 0;
  ByteBuffer runs_;
};

// Two pieces of bytes read by snappy one after the other.
class Pieces : public snappy::Source {
public:
  Pieces(std::string_view first, std::string_view second) : pieces_{first, second} {}
  std::size_t Available() const override { return pieces_[0].size() + pieces_[1].size(); }
  const char *Peek(std::size_t *length) override {
    const std::string_view &piece = pieces_[0].empty() ? pieces_[1] : pieces_[0];
    *length = piece.size();
    return piece.data();
  }
  void Skip(std::size_t count) override {
    while (count > 0) {
      std::string_view &piece = pieces_[0].empty() ? pieces_[1] : pieces_[0];
      const std::size_t taken = std::min(count, piece.size());
      piece.remove_prefix(taken);
      count -= taken;
    }
  }

private:
  std::string_view pieces_[2];
};

// One leaf column and what its current row group holds.
struct Column {
  int node = -1;
  parquet::Type::type physical = parquet::Type::BYTE_ARRAY;
  int width = 0; // FIXED_LEN_BYTE_ARRAY
  // Bytes of values an entry may add besides a byte array's own bytes (its
  // length's 4), and the 4 an entry counts for in the row group's size: a
  // bound of what an entry adds, for the sink's checks of page and row group size.
  std::size_t entryBound = 4;
  int maxDef = 0;
  int maxRep = 0;
  std::vector<std::string> path;
  // The page being filled: its entries (values and nulls), their levels
  // where the column has any.
  std::size_t entries = 0;
  LevelRuns defs, reps;
  ByteBuffer values;
  // The row group's pages, compressed, with their headers, each as it was
  // packed (no copies of the chunk as it grows), their bytes; and the most
  // the pages cut but not packed yet may add to them.
  std::vector<std::string> pages;
  std::size_t pagesSize = 0;
  std::size_t pendingBound = 0;
  std::int64_t chunkValues = 0;
  std::int64_t chunkUncompressed = 0;
  std::int64_t nulls = 0;
  // Statistics of the row group: numbers as numbers (INT32, INT64, FLOAT,
  // DOUBLE), byte arrays as their bytes; plain encoded when written.
  bool haveStats = false;
  std::int64_t minWhole = 0, maxWhole = 0;
  double minReal = 0, maxReal = 0;
  std::string min, max;
  // The first 8 bytes of min and max as a number in the column's order
  // (zeros after a shorter value): most values are placed by them alone.
  std::uint64_t minKey = 0, maxKey = 0;
  std::string scratch;
};

// A page cut from a column: its levels and plain values, and once packed,
// its header and compressed bytes.
struct PageJob {
  Column *column = nullptr;
  std::size_t entries = 0;
  std::string levels;
  ByteBuffer values;
  // Bytes the packed page may take at most, counted in the row group's size
  // until the page is packed.
  std::size_t bound = 0;
  std::size_t pageSize = 0;
  std::size_t headSize = 0;
  std::string packed; // header, then the page compressed
  std::string error;
  bool done = false;
  // The page's statistics (whole numbers and byte arrays: floating point
  // keeps its own as values come), read from its plain values where they are
  // packed, off the decoding thread.
  bool haveStats = false;
  std::int64_t minWhole = 0, maxWhole = 0;
  std::string min, max;
};

void pageStatistics(PageJob &job);

// What packing a page needs, one for each thread that packs.
struct Packer {
  std::string page, packed;
  std::shared_ptr<TMemoryBuffer> buffer = std::make_shared<TMemoryBuffer>();
  TCompactProtocolT<TMemoryBuffer> protocol{buffer};
};

// The header and compressed bytes of `job`'s page into job.packed; a
// failure's text into job.error.
void pack(PageJob &job, parquet::CompressionCodec::type codec, Packer &packer) {
  pageStatistics(job);
  job.pageSize = job.levels.size() + job.values.size();
  std::string_view packed;
  switch (codec) {
  case parquet::CompressionCodec::SNAPPY: {
    // Snappy reads the levels and the values where they are (the same
    // 64 KiB fragments, so the same bytes, as from one copy of them).
    if (packer.packed.size() < snappy::MaxCompressedLength(job.pageSize))
      packer.packed.resize(snappy::MaxCompressedLength(job.pageSize));
    Pieces source(job.levels, job.values.view());
    snappy::UncheckedByteArraySink sink(packer.packed.data());
    packed = std::string_view(packer.packed.data(), snappy::Compress(&source, &sink));
    break;
  }
  case parquet::CompressionCodec::ZSTD: {
    std::string &page = packer.page;
    page.assign(job.levels);
    page += job.values.view();
    if (packer.packed.size() < ZSTD_compressBound(page.size()))
      packer.packed.resize(ZSTD_compressBound(page.size()));
    const std::size_t size = ZSTD_compress(packer.packed.data(), ZSTD_compressBound(page.size()),
                                           page.data(), page.size(), 3);
    if (ZSTD_isError(size)) {
      job.error = "vexfcbl-decode: -codec zstd: " + std::string(ZSTD_getErrorName(size)) + "\n";
      return;
    }
    packed = std::string_view(packer.packed.data(), size);
    break;
  }
  default:
    packer.page.assign(job.levels);
    packer.page += job.values.view();
    packed = packer.page;
    break;
  }
  parquet::DataPageHeader data;
  data.__set_num_values(static_cast<std::int32_t>(job.entries));
  data.__set_encoding(parquet::Encoding::PLAIN);
  data.__set_definition_level_encoding(parquet::Encoding::RLE);
  data.__set_repetition_level_encoding(parquet::Encoding::RLE);
  parquet::PageHeader header;
  header.__set_type(parquet::PageType::DATA_PAGE);
  header.__set_uncompressed_page_size(static_cast<std::int32_t>(job.pageSize));
  header.__set_compressed_page_size(static_cast<std::int32_t>(packed.size()));
  header.__set_data_page_header(data);
  packer.buffer->resetBuffer();
  header.write(&packer.protocol);
  std::uint8_t *head = nullptr;
  std::uint32_t headSize = 0;
  packer.buffer->getBuffer(&head, &headSize);
  job.headSize = headSize;
  job.packed.reserve(headSize + packed.size());
  job.packed.assign(reinterpret_cast<const char *>(head), headSize);
  job.packed += packed;
}

// Pages packed on a second thread while the decoding goes on: compression is
// a sixth of a snappy run, and on a second core it costs the decoding no time.
// Pages are taken and their results given back in the order they were cut,
// so a column's pages stay in order whichever thread packed them; at most
// `inFlight` pages wait, so memory stays that of a few pages.
class PagePipeline {
public:
  // `take` gets each packed page, in the order they were cut, on the thread that cut them.
  PagePipeline(parquet::CompressionCodec::type codec, std::function<void(PageJob &)> take)
      : codec_(codec), take_(std::move(take)) {}
  PagePipeline(const PagePipeline &) = delete;
  PagePipeline &operator=(const PagePipeline &) = delete;
  ~PagePipeline() {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
      worker_.join();
  }

  // A job to fill, its buffers kept from an earlier page.
  std::unique_ptr<PageJob> job() {
    if (spare_.empty())
      return std::make_unique<PageJob>();
    std::unique_ptr<PageJob> job = std::move(spare_.back());
    spare_.pop_back();
    return job;
  }

  void submit(std::unique_ptr<PageJob> job) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!worker_.joinable())
      worker_ = std::thread([this] { work(); });
    takeDone(lock);
    // Too many in flight: this thread packs the oldest not taken, or waits for it.
    while (jobs_.size() >= inFlight) {
      advance(lock);
      takeDone(lock);
    }
    jobs_.push_back(std::move(job));
    lock.unlock();
    wake_.notify_one();
  }

  // The packed pages at the front to take_; with `all`, every page, this
  // thread packing those the worker has not taken.
  void collect(bool all) {
    std::unique_lock<std::mutex> lock(mutex_);
    takeDone(lock);
    while (all && !jobs_.empty()) {
      advance(lock);
      takeDone(lock);
    }
  }

  bool pending() const { return !jobs_.empty(); }

private:
  static constexpr std::size_t inFlight = 4;

  void takeDone(std::unique_lock<std::mutex> &lock) {
    while (!jobs_.empty() && jobs_.front()->done) {
      std::unique_ptr<PageJob> job = std::move(jobs_.front());
      jobs_.pop_front();
      --taken_;
      lock.unlock();
      take_(*job);
      job->done = false;
      job->values.clear();
      job->error.clear();
      lock.lock();
      spare_.push_back(std::move(job));
    }
  }

  // The front nearer done: a job packed here, or the worker's awaited.
  void advance(std::unique_lock<std::mutex> &lock) {
    if (taken_ < jobs_.size())
      return packOne(lock, ownPacker_);
    done_.wait(lock, [this] { return jobs_.front()->done; });
  }

  // Packs the oldest job not yet taken, the lock released meanwhile.
  void packOne(std::unique_lock<std::mutex> &lock, Packer &packer) {
    PageJob &job = *jobs_[taken_++];
    lock.unlock();
    pack(job, codec_, packer);
    lock.lock();
    job.done = true;
    done_.notify_all();
  }

  void work() {
    Packer packer;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stop_ || taken_ < jobs_.size(); });
      if (stop_)
        return;
      packOne(lock, packer);
    }
  }

  parquet::CompressionCodec::type codec_;
  std::function<void(PageJob &)> take_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  // Jobs in the order they were cut: the first `taken_` are being or have been packed.
  std::deque<std::unique_ptr<PageJob>> jobs_;
  std::size_t taken_ = 0;
  bool stop_ = false;
  std::vector<std::unique_ptr<PageJob>> spare_;
  Packer ownPacker_;
  std::thread worker_;
};

template <class T> void widen(Column &column, T value, T &min, T &max) {
  if (!column.haveStats) {
    min = max = value;
    column.haveStats = true;
  } else if (value < min) {
    min = value;
  } else if (max < value) {
    max = value;
  }
}

// The statistics' min and max as the column's plain encoding.
void plainStatistics(const Column &column, std::string &min, std::string &max) {
  min.clear();
  max.clear();
  switch (column.physical) {
  case parquet::Type::INT32:
    appendPlain(min, static_cast<std::int32_t>(column.minWhole));
    appendPlain(max, static_cast<std::int32_t>(column.maxWhole));
    return;
  case parquet::Type::INT64:
    appendPlain(min, column.minWhole);
    appendPlain(max, column.maxWhole);
    return;
  case parquet::Type::FLOAT:
    appendPlain(min, static_cast<float>(column.minReal));
    appendPlain(max, static_cast<float>(column.maxReal));
    return;
  case parquet::Type::DOUBLE:
    appendPlain(min, column.minReal);
    appendPlain(max, column.maxReal);
    return;
  default:
    min = column.min;
    max = column.max;
  }
}

// The first 8 bytes of `bytes` (zeros after its end) as a big-endian
// number, read without a call: two loads that may overlap.
std::uint64_t prefix(std::string_view bytes) {
  const char *at = bytes.data();
  const std::size_t size = bytes.size();
  if (size >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, 8);
    return __builtin_bswap64(word);
  }
  if (size >= 4) {
    // Bytes 0-3 and size-4 to size-1: where they overlap they are the same bytes.
    std::uint32_t first = 0, last = 0;
    std::memcpy(&first, at, 4);
    std::memcpy(&last, at + size - 4, 4);
    return std::uint64_t{__builtin_bswap32(first)} << 32 | std::uint64_t{__builtin_bswap32(last)}
                                                               << (8 * (8 - size));
  }
  std::uint64_t key = 0;
  for (std::size_t b = 0; b < size; ++b)
    key |= std::uint64_t{static_cast<unsigned char>(at[b])} << (56 - 8 * b);
  return key;
}

// `bytes`' prefix as a number that sorts as the bytes do in the column's
// order: a value whose key is less than another's sorts before it, and
// equal keys leave it to after().
std::uint64_t orderKey(const Column &column, std::string_view bytes) {
  // Decimals: two's complement, so the first byte compares signed.
  const std::uint64_t key = prefix(bytes);
  return column.physical == parquet::Type::FIXED_LEN_BYTE_ARRAY ? key ^ (1ull << 63) : key;
}

// True when byte array `a` sorts after `b` in the column's order, their keys equal.
inline bool after(std::string_view a, std::string_view b) {
  // The first 8 bytes are equal (a decimal's signed first byte among them):
  // the rest compares as unsigned bytes, as memcmp does.
  if (a.size() > 8 && b.size() > 8) {
    const int order = std::memcmp(a.data() + 8, b.data() + 8, std::min(a.size(), b.size()) - 8);
    if (order != 0)
      return order > 0;
  }
  // Equal as far as the shorter goes (a key's zeros after a value of 8
  // bytes or fewer are the other's bytes): the shorter sorts first.
  return a.size() > b.size();
}

// The least and greatest of `count` (at least 1) plain values of `T` at `at`. A loop of
// compares the compiler makes vector instructions of (GCC's -O2 leaves it scalar), in AVX2's
// where the processor has them: a tenth of the packing thread's instructions were here.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define VEX_VECTOR_LOOP [[gnu::target_clones("avx2", "default"), gnu::optimize("tree-vectorize")]]
#else
#define VEX_VECTOR_LOOP
#endif
template <class T>
VEX_VECTOR_LOOP void leastAndGreatest(const char *at, std::size_t count, T &least, T &greatest) {
  T min = 0;
  std::memcpy(&min, at, sizeof(T));
  T max = min;
  for (std::size_t i = 1; i < count; ++i) {
    T value = 0;
    std::memcpy(&value, at + i * sizeof(T), sizeof(T));
    min = value < min ? value : min;
    max = max < value ? value : max;
  }
  least = min;
  greatest = max;
}
#undef VEX_VECTOR_LOOP

// Min and max of a page's plain values of fixed width `T`.
template <class T> void wholeStatistics(PageJob &job) {
  const std::size_t count = job.values.size() / sizeof(T);
  if (count == 0)
    return;
  T min = 0, max = 0;
  leastAndGreatest(job.values.data(), count, min, max);
  job.haveStats = true;
  job.minWhole = min;
  job.maxWhole = max;
}

// Min and max of a page's byte arrays, each by its 4-byte length (width 0)
// or of `width` bytes, in the column's order.
void bytesStatistics(PageJob &job, const Column &column, std::size_t width) {
  const char *at = job.values.data();
  const char *const end = at + job.values.size();
  std::string_view min, max;
  std::uint64_t minKey = 0, maxKey = 0;
  bool have = false;
  while (at < end) {
    std::uint32_t size = static_cast<std::uint32_t>(width);
    if (width == 0) {
      std::memcpy(&size, at, sizeof size);
      at += sizeof size;
    }
    const std::string_view plain(at, size);
    at += size;
    const std::uint64_t key = orderKey(column, plain);
    if (!have) {
      min = max = plain;
      minKey = maxKey = key;
      have = true;
    } else if (key < minKey || (key == minKey && after(min, plain))) {
      min = plain;
      minKey = key;
    } else if (key > maxKey || (key == maxKey && after(plain, max))) {
      max = plain;
      maxKey = key;
    }
  }
  if (!have)
    return;
  job.haveStats = true;
  job.min.assign(min);
  job.max.assign(max);
}

void pageStatistics(PageJob &job) {
  const Column &column = *job.column;
  switch (column.physical) {
  case parquet::Type::INT32:
    return wholeStatistics<std::int32_t>(job);
  case parquet::Type::INT64:
    return wholeStatistics<std::int64_t>(job);
  case parquet::Type::BYTE_ARRAY:
    return bytesStatistics(job, column, 0);
  case parquet::Type::FIXED_LEN_BYTE_ARRAY:
    return bytesStatistics(job, column, static_cast<std::size_t>(column.width));
  default:
    return;
  }
}

// The values a plan's entry writes without the whole of leaf(): whole
// numbers already at the column's scale, and strings into byte arrays.
// `fixed`: a whole number into a fixed-length decimal, which plans leave to leaf() and the
// decoder's direct records bring.
enum class Fast : std::uint8_t { none, int32, int64, text, fixed };

// A leaf's entry in a plan: the value at `token` (from the record's first
// token; noValue: a null entry, the record lacking the key or the group),
// `def` the definition level of its parent, `rep` its repetition level.
struct LeafOp {
  std::uint32_t token = noValue;
  Fast fast = Fast::none;
  bool optional = false;
  int scale = 0;
  int def = 0;
  int rep = 0;
  Column *column = nullptr;
  const LakeNode *node = nullptr;
  // direct(): the entry's level and count are added in bulk by settle(), its
  // column having this entry alone in each record and no repetition.
  bool bulk = false;
};

class ParquetSink : public RecordSink, public DirectEncoder {
public:
  explicit ParquetSink(const SinkRequest &request)
      : schema_(makeLineSchema(request.model, request.plan, request.ends, request.options)),
        out_(request.out), rowGroupBytes_(request.options.rowGroupBytes),
        buffer_(std::make_shared<TMemoryBuffer>()), protocol_(buffer_) {
    const std::string codec = request.options.codec.empty() ? "snappy" : request.options.codec;
    codec_ = codec == "zstd"   ? parquet::CompressionCodec::ZSTD
             : codec == "none" ? parquet::CompressionCodec::UNCOMPRESSED
                               : parquet::CompressionCodec::SNAPPY;
    pipeline_ = std::make_unique<PagePipeline>(codec_, [this](PageJob &job) { take(job); });
    columnOf_.assign(schema_.nodes.size(), -1);
    parquet::SchemaElement root;
    root.__set_name("schema");
    elements_.push_back(root);
    // One record alone is the row; several are each a group of it.
    top_ = rowNodeOf(schema_);
    const LakeNode &row = schema_.nodes[static_cast<std::size_t>(top_)];
    elements_.front().__set_num_children(static_cast<std::int32_t>(row.children.size()));
    for (const int child : row.children)
      declare(child, {}, 0, 0);
    if (!write("PAR1", 4))
      throw SinkError{
          "vexfcbl-decode: cannot write the output: " + std::string(std::strerror(errno)) + "\n"};
  }

  bool takesValues() const override { return true; }
  bool takesLineShape() const override { return true; }
  bool write(std::string_view) override {
    throw SinkError{"vexfcbl-decode: internal error: -format parquet takes records as values\n"};
  }

  bool write(RecordValues &records) override {
    // The decoder writes the records of a fixed layout as the plain values of their entries
    // from now on (decoder/direct_values.h): those come encoded, the others as values.
    if (records.encoder() == nullptr)
      records.encodeWith(this);
    laneAt_.assign(columns_.size(), 0);
    for (std::size_t r = 0; r < records.records(); ++r) {
      if (records.encoded(r) && byLanes()) {
        r = laneRecords(records, r) - 1;
        continue;
      }
      if (records.encoded(r)) {
        direct(records.encodedBytes(r));
      } else if (const auto *plan = plans_.find(records, records.record(r))) {
        settle();
        const std::uint32_t base = records.record(r);
        for (const LeafOp &op : plan->ops)
          run(op, records, base);
      } else {
        settle();
        const std::uint32_t base = records.record(r);
        const std::lock_guard<std::mutex> lock(walking_);
        learning_ = plans_.learns() ? &plans_.learning() : nullptr;
        walk(records, base);
        if (learning_ != nullptr)
          plans_.learned(records, base, [](const LeafOp &op) { return op.token; });
        learning_ = nullptr;
      }
      ++rows_;
      ++groupRows_;
      if (added_ >= slack_)
        checkSizes();
    }
    return !failed_;
  }

  // The entries of the walk of `sample`, as the decoder's direct steps take them: the first
  // decoder's are kept for direct(); none when an entry is one the plans write by leaf() alone
  // (floating point, decimals as text), when the walk refuses the sample, or when another
  // decoder's differ. Decoders call it from their threads: the walk writes nothing (dry_), and
  // the sink's own walks wait for it.
  std::vector<DirectOp> compile(const RecordValues &sample) const override {
    auto &self = const_cast<ParquetSink &>(*this);
    const std::lock_guard<std::mutex> lock(self.walking_);
    std::vector<LeafOp> ops;
    self.learning_ = &ops;
    self.dry_ = true;
    bool walked = true;
    try {
      self.walk(sample, sample.record(0));
    } catch (const SinkError &) {
      walked = false;
    }
    self.learning_ = nullptr;
    self.dry_ = false;
    if (!walked)
      return {};
    std::vector<DirectOp> direct;
    // A value's definition level is direct()'s to write: the decoder writes values alone.
    for (const LeafOp &op : ops) {
      if (op.token == noValue)
        continue;
      if (op.fast == Fast::none)
        return {};
      DirectOp to;
      to.token = op.token;
      to.scale = op.scale;
      if (lanesFor(ops))
        to.lane = static_cast<std::uint16_t>(op.column - columns_.data());
      to.form = op.fast == Fast::text    ? DirectForm::plainText
                : op.fast == Fast::int32 ? DirectForm::word32
                                         : DirectForm::word64;
      direct.push_back(to);
    }
    if (!self.directOps_.has_value())
      self.directOps_ = std::move(ops);
    else if (!sameOps(*self.directOps_, ops))
      return {};
    return direct;
  }

  bool finish() override {
    // No records: a file of the schema alone, without a row group.
    if (groupRows_ > 0)
      flushRowGroup();
    metadata_.__set_version(1);
    metadata_.__set_schema(elements_);
    metadata_.__set_num_rows(rows_);
    metadata_.__set_created_by("vexfcbl-decode version " + std::string(vexVersion));
    std::vector<parquet::ColumnOrder> orders(columns_.size());
    for (parquet::ColumnOrder &order : orders)
      order.__set_TYPE_ORDER(parquet::TypeDefinedOrder());
    metadata_.__set_column_orders(orders);
    const std::string footer = serialize(metadata_);
    std::string tail;
    appendPlain(tail, static_cast<std::uint32_t>(footer.size()));
    tail += "PAR1";
    return write(footer.data(), footer.size()) && write(tail.data(), tail.size());
  }

private:
  // The schema elements of `index` and its columns; `def` and `rep` are the
  // levels of its parent.
  void declare(int index, std::vector<std::string> path, int def, int rep) {
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    path.push_back(node.name);
    const bool optional = lakeNullable(node, false);
    parquet::SchemaElement element;
    element.__set_name(node.name);
    element.__set_repetition_type(optional ? parquet::FieldRepetitionType::OPTIONAL
                                           : parquet::FieldRepetitionType::REQUIRED);
    def += optional ? 1 : 0;
    if (node.isArray) {
      // The three levels of a LIST: the list, its repeated group, the element.
      element.__set_num_children(1);
      element.__set_converted_type(parquet::ConvertedType::LIST);
      parquet::LogicalType list;
      list.__set_LIST(parquet::ListType());
      element.__set_logicalType(list);
      elements_.push_back(element);
      parquet::SchemaElement repeated;
      repeated.__set_name("list");
      repeated.__set_repetition_type(parquet::FieldRepetitionType::REPEATED);
      repeated.__set_num_children(1);
      elements_.push_back(repeated);
      path.push_back("list");
      path.push_back("element");
      const bool elementOptional = lakeNullable(node, true);
      parquet::SchemaElement item;
      item.__set_name("element");
      item.__set_repetition_type(elementOptional ? parquet::FieldRepetitionType::OPTIONAL
                                                 : parquet::FieldRepetitionType::REQUIRED);
      return body(index, item, path, def + 1 + (elementOptional ? 1 : 0), rep + 1);
    }
    body(index, element, path, def, rep);
  }

  void body(int index, parquet::SchemaElement &element, const std::vector<std::string> &path,
            int def, int rep) {
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    if (node.type == LakeType::record) {
      element.__set_num_children(static_cast<std::int32_t>(node.children.size()));
      elements_.push_back(element);
      for (const int child : node.children)
        declare(child, path, def, rep);
      return;
    }
    Column column;
    column.node = index;
    column.maxDef = def;
    column.maxRep = rep;
    column.defs = LevelRuns(def);
    column.reps = LevelRuns(rep);
    column.path = path;
    parquet::LogicalType logical;
    switch (node.type) {
    case LakeType::text:
    case LakeType::numberText:
      column.physical = parquet::Type::BYTE_ARRAY;
      element.__set_converted_type(parquet::ConvertedType::UTF8);
      logical.__set_STRING(parquet::StringType());
      break;
    case LakeType::integer: {
      column.physical = node.bits <= 32 ? parquet::Type::INT32 : parquet::Type::INT64;
      element.__set_converted_type(node.bits == 16   ? parquet::ConvertedType::INT_16
                                   : node.bits == 32 ? parquet::ConvertedType::INT_32
                                                     : parquet::ConvertedType::INT_64);
      parquet::IntType integer;
      integer.__set_bitWidth(static_cast<std::int8_t>(node.bits));
      integer.__set_isSigned(true);
      logical.__set_INTEGER(integer);
      break;
    }
    case LakeType::decimal: {
      column.physical = node.precision <= 9    ? parquet::Type::INT32
                        : node.precision <= 18 ? parquet::Type::INT64
                                               : parquet::Type::FIXED_LEN_BYTE_ARRAY;
      if (column.physical == parquet::Type::FIXED_LEN_BYTE_ARRAY) {
        column.width = decimalBytes(node.precision);
        element.__set_type_length(column.width);
      }
      element.__set_converted_type(parquet::ConvertedType::DECIMAL);
      element.__set_scale(node.scale);
      element.__set_precision(node.precision);
      parquet::DecimalType decimal;
      decimal.__set_scale(node.scale);
      decimal.__set_precision(node.precision);
      logical.__set_DECIMAL(decimal);
      break;
    }
    case LakeType::float32:
      column.physical = parquet::Type::FLOAT;
      break;
    case LakeType::float64:
      column.physical = parquet::Type::DOUBLE;
      break;
    case LakeType::record:
      break;
    }
    column.entryBound =
        4 + (column.physical == parquet::Type::INT64 || column.physical == parquet::Type::DOUBLE ? 8
             : column.physical == parquet::Type::FIXED_LEN_BYTE_ARRAY
                 ? static_cast<std::size_t>(column.width)
                 : 4);
    element.__set_type(column.physical);
    if (logical.__isset.STRING || logical.__isset.INTEGER || logical.__isset.DECIMAL)
      element.__set_logicalType(logical);
    elements_.push_back(element);
    columnOf_[static_cast<std::size_t>(index)] = static_cast<int>(columns_.size());
    columns_.push_back(std::move(column));
  }

  // After each row: a page of a column that reached pageBytes is cut, and
  // the row group written once it holds -row-group-mb. Rows add at most
  // `added_` bytes to any of those sizes, so the sizes are summed again only
  // once the rows since the last sum may have reached the nearest limit.
  void checkSizes() {
    settle();
    pipeline_->collect(false);
    std::size_t held = 0;
    for (Column &column : columns_) {
      if (column.values.size() + column.entries * 2 >= pageBytes)
        flushPage(column);
      held += column.pagesSize + column.pendingBound + column.values.size() +
              column.entries * 4;
    }
    // Pages not packed yet count for the most they may take: near the row
    // group's end their packed sizes are waited for, so the row group ends
    // at the same row as when each page was packed as it was cut.
    if (static_cast<std::int64_t>(held) >= rowGroupBytes_ && pipeline_->pending()) {
      pipeline_->collect(true);
      held = 0;
      for (const Column &column : columns_)
        held += column.pagesSize + column.values.size() + column.entries * 4;
    }
    if (static_cast<std::int64_t>(held) >= rowGroupBytes_) {
      flushRowGroup();
      held = 0;
      for (const Column &column : columns_)
        held += column.pagesSize + column.values.size() + column.entries * 4;
    }
    const auto group = static_cast<std::size_t>(rowGroupBytes_);
    std::size_t slack = group > held ? group - held : 0;
    for (const Column &column : columns_)
      slack = std::min(slack, pageBytes - (column.values.size() + column.entries * 2));
    slack_ = slack;
    added_ = 0;
  }

  // The walk of the record at `base` (its entries to learning_ when not nullptr; written
  // unless dry_).
  void walk(const RecordValues &records, std::uint32_t base) {
    learningBase_ = base;
    const std::uint32_t object = base + (top_ == 0 ? 0 : 2);
    if (records[object].type != ValueType::object)
      throw SinkError{"vexfcbl-decode: internal error: a decoded record is no object\n"};
    forEachMember(schema_, schema_.nodes[static_cast<std::size_t>(top_)], records, object,
                  [&](int child, std::uint32_t value) { field(child, records, value, 0, 0, 0); });
  }

  static bool sameOps(const std::vector<LeafOp> &a, const std::vector<LeafOp> &b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const LeafOp &x, const LeafOp &y) {
      return x.token == y.token && x.fast == y.fast && x.optional == y.optional &&
             x.scale == y.scale && x.def == y.def && x.rep == y.rep && x.column == y.column;
    });
  }

  // A record the decoder wrote by the ops compile() gave it: each entry as run() writes it,
  // its value read in turn from the record's bytes.
  void direct(std::string_view record) {
    if (directSteps_.empty())
      prepareDirect();
    const char *at = record.data();
    for (const LeafOp &op : directSteps_) {
      Column &column = *op.column;
      if (op.token == noValue)
        continue;
      if (op.fast == Fast::text) {
        std::uint32_t size = 0;
        std::memcpy(&size, at, sizeof size);
        column.values.append(std::string_view(at, sizeof size + size));
        added_ += size;
        at += sizeof size + size;
      } else {
        std::int64_t whole = 0;
        std::memcpy(&whole, at, sizeof whole);
        at += sizeof whole;
        if (op.fast == Fast::fixed) {
          // As leaf() writes it, refusal included.
          if (!wholeBytes(whole, static_cast<std::size_t>(column.width), plainValue_)) {
            numberText_.clear();
            appendScaled(whole, op.scale, numberText_);
            refuse(*op.node, numberText_, "not a decimal of the column's precision and scale");
          }
          column.values.append(plainValue_);
          continue;
        }
        if (op.fast == Fast::int64)
          column.values.appendFixed(whole);
        else
          column.values.appendFixed(static_cast<std::int32_t>(whole));
      }
    }
    // A refusal above ends the run: levels added after the values lose nothing.
    for (const RecordLevels &levels : recordLevels_) {
      Column &column = *levels.column;
      column.entries += levels.entries;
      column.nulls += levels.nulls;
      if (column.maxDef > 0)
        column.defs.add(levels.defs);
      if (column.maxRep > 0)
        column.reps.add(levels.reps);
    }
    added_ += directBound_;
    ++directRows_;
  }

  // Whether direct records of `ops` come by lanes, one a column: not when a value needs a
  // check of its own (a whole number into a fixed-length decimal, refused at its record), or
  // the columns are more than a lane's number names.
  bool lanesFor(const std::vector<LeafOp> &ops) const {
    return columns_.size() < DirectOp::noLane &&
           std::none_of(ops.begin(), ops.end(), [](const LeafOp &op) {
             return op.token != noValue && op.fast == Fast::fixed;
           });
  }
  bool byLanes() {
    if (directSteps_.empty())
      prepareDirect();
    return !laneColumns_.empty();
  }

  // The run of direct records by lanes from record `first` of `records` on: each column's
  // values of as many records as come before the next check of sizes appended as one piece,
  // so that pages and row groups end at the same rows as direct() would end them. Returns the
  // record after the run.
  std::size_t laneRecords(const RecordValues &records, std::size_t first) {
    const std::size_t count = records.records();
    std::size_t end = first;
    while (end < count && records.encoded(end))
      ++end;
    // Whether encoded records follow the run in this batch: each lane's place after it is then
    // needed, not only its end.
    bool more = false;
    for (std::size_t r = end; r < count && !more; ++r)
      more = records.encoded(r);
    while (first < end) {
      std::size_t stop = first;
      bool check = false;
      while (stop < end) {
        added_ += directBound_ + records.laneTextBytes(stop);
        ++stop;
        if (added_ >= slack_) {
          check = true;
          break;
        }
      }
      const std::size_t rows = stop - first;
      const bool toEnd = stop == end && !more;
      for (const LaneColumn &lane : laneColumns_) {
        const std::string_view bytes = records.lane(lane.column);
        std::size_t &at = laneAt_[lane.column];
        std::size_t to = bytes.size();
        if (!toEnd) {
          if (lane.width != 0) {
            to = at + rows * lane.values * lane.width;
          } else {
            // Byte arrays: walked by their lengths.
            to = at;
            for (std::size_t v = rows * lane.values; v > 0; --v) {
              std::uint32_t size = 0;
              std::memcpy(&size, bytes.data() + to, sizeof size);
              to += sizeof size + size;
            }
          }
        }
        columns_[lane.column].values.append(bytes.substr(at, to - at));
        at = to;
      }
      for (const RecordLevels &levels : recordLevels_) {
        Column &column = *levels.column;
        column.entries += levels.entries * rows;
        column.nulls += levels.nulls * static_cast<std::int64_t>(rows);
        if (column.maxDef > 0)
          column.defs.add(levels.defs, rows);
        if (column.maxRep > 0)
          column.reps.add(levels.reps, rows);
      }
      directRows_ += rows;
      rows_ += static_cast<std::int64_t>(rows);
      groupRows_ += static_cast<std::int64_t>(rows);
      if (check)
        checkSizes();
      first = stop;
    }
    return end;
  }

  // The ops of direct records, those of a column of one entry a record and no repetition
  // marked bulk; the bytes a record adds at most besides its byte arrays' own.
  void prepareDirect() {
    directSteps_ = *directOps_;
    std::vector<int> count(columns_.size(), 0);
    for (const LeafOp &op : directSteps_)
      ++count[static_cast<std::size_t>(op.column - columns_.data())];
    directBound_ = 0;
    recordLevels_.clear();
    std::vector<std::vector<std::uint16_t>> defs(columns_.size()), reps(columns_.size());
    std::vector<std::int64_t> nulls(columns_.size(), 0);
    for (LeafOp &op : directSteps_) {
      const auto at = static_cast<std::size_t>(op.column - columns_.data());
      op.bulk = count[at] == 1 && op.column->maxRep == 0;
      directBound_ += op.column->entryBound;
      if (op.bulk)
        continue;
      const bool null = op.token == noValue;
      defs[at].push_back(static_cast<std::uint16_t>(op.def + (!null && op.optional ? 1 : 0)));
      reps[at].push_back(static_cast<std::uint16_t>(op.rep));
      nulls[at] += null ? 1 : 0;
    }
    // The columns of values by lanes: each one's values a record, and their width (0: byte
    // arrays, each after its length).
    laneColumns_.clear();
    if (lanesFor(directSteps_)) {
      std::vector<std::size_t> values(columns_.size(), 0);
      for (const LeafOp &op : directSteps_)
        if (op.token != noValue)
          ++values[static_cast<std::size_t>(op.column - columns_.data())];
      for (std::size_t at = 0; at < columns_.size(); ++at)
        if (values[at] > 0)
          laneColumns_.push_back(
              LaneColumn{at, values[at],
                         columns_[at].physical == parquet::Type::INT32   ? std::size_t{4}
                         : columns_[at].physical == parquet::Type::INT64 ? std::size_t{8}
                                                                         : std::size_t{0}});
    }
    // The other columns' levels are the same in every record: added whole by direct().
    for (std::size_t at = 0; at < columns_.size(); ++at) {
      if (defs[at].empty())
        continue;
      Column &column = columns_[at];
      recordLevels_.push_back(RecordLevels{&column, defs[at].size(), nulls[at],
                                           column.defs.pattern(defs[at]),
                                           column.reps.pattern(reps[at])});
    }
  }

  // The levels and counts of the bulk entries of the direct records since the last settle(),
  // before anything else reads or adds to them.
  void settle() {
    if (directRows_ == 0)
      return;
    for (const LeafOp &op : directSteps_) {
      if (!op.bulk)
        continue;
      Column &column = *op.column;
      column.entries += directRows_;
      const bool null = op.token == noValue;
      if (column.maxDef > 0)
        column.defs.add(static_cast<std::uint16_t>(op.def + (!null && op.optional ? 1 : 0)),
                        directRows_);
      if (null)
        column.nulls += static_cast<std::int64_t>(directRows_);
    }
    directRows_ = 0;
  }

  [[noreturn]] void refuse(const LakeNode &node, std::string_view value, const char *why) const {
    throw SinkError{"vexfcbl-decode: -format parquet: " + node.name + ": " + std::string(value) +
                    ": " + why + "\n"};
  }

  // An entry of no value at level `def` in every column below `index`.
  void nulls(int index, int def, int rep) {
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    if (node.type != LakeType::record) {
      const int at = columnOf_[static_cast<std::size_t>(index)];
      if (learning_ != nullptr)
        learn(noValue, index, at, def, rep, false);
      if (dry_)
        return;
      Column &column = columns_[static_cast<std::size_t>(at)];
      level(column, def, rep);
      ++column.nulls;
      return;
    }
    for (const int child : node.children)
      nulls(child, def, rep);
  }

  [[gnu::always_inline]] void level(Column &column, int def, int rep) {
    added_ += column.entryBound;
    entryLevel(column, def, rep);
  }
  // level() but for added_, which direct() adds for the whole record.
  [[gnu::always_inline]] void entryLevel(Column &column, int def, int rep) {
    ++column.entries;
    if (column.maxDef > 0)
      column.defs.add(static_cast<std::uint16_t>(def));
    if (column.maxRep > 0)
      column.reps.add(static_cast<std::uint16_t>(rep));
  }

  // A byte array's statistics.
  static void widenBytes(Column &column, std::string_view plain) {
    const std::uint64_t key = orderKey(column, plain);
    if (!column.haveStats) {
      column.min = column.max = plain;
      column.minKey = column.maxKey = key;
      column.haveStats = true;
    } else if (key < column.minKey || (key == column.minKey && after(column.min, plain))) {
      column.min = plain;
      column.minKey = key;
    } else if (key > column.maxKey || (key == column.maxKey && after(plain, column.max))) {
      column.max = plain;
      column.maxKey = key;
    }
  }

  // The value of member `index` at `token` (noValue: its key is missing);
  // `def`: the definition level of its parent, `rep` the repetition level
  // of its first entry, `depth` the repetition depth of the parent.
  void field(int index, const RecordValues &tape, std::uint32_t token, int def, int rep,
             int depth) {
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    if (!node.isArray)
      return value(index, tape, token, def, rep, depth, lakeNullable(node, false));
    const bool absent = token == noValue || tape[token].type == ValueType::null;
    const bool optional = lakeNullable(node, false);
    if (absent) {
      if (!optional)
        refuse(node, "null", "a value the schema does not let be null");
      return nulls(index, def, rep);
    }
    if (tape[token].type != ValueType::array)
      refuse(node, "", "not an array");
    const int listDef = def + (optional ? 1 : 0);
    if (tape[token].next == token + 1)
      return nulls(index, listDef, rep);
    for (std::uint32_t item = token + 1; item < tape[token].next; item = tape[item].next) {
      value(index, tape, item, listDef + 1, rep, depth + 1, lakeNullable(node, true));
      rep = depth + 1;
    }
  }

  void value(int index, const RecordValues &tape, std::uint32_t token, int def, int rep, int depth,
             bool optional) {
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    if (node.type != LakeType::record && token != noValue) {
      const int at = columnOf_[static_cast<std::size_t>(index)];
      if (learning_ != nullptr)
        learn(token - learningBase_, index, at, def, rep, optional);
      if (dry_)
        return;
      return leaf(columns_[static_cast<std::size_t>(at)], node, tape, token, def, rep, optional);
    }
    if (token == noValue || tape[token].type == ValueType::null) {
      if (!optional)
        refuse(node, "null", "a value the schema does not let be null");
      return nulls(index, def, rep);
    }
    def += optional ? 1 : 0;
    if (tape[token].type != ValueType::object)
      refuse(node, "", "not an object");
    forEachMember(schema_, node, tape, token, [&](int child, std::uint32_t member) {
      field(child, tape, member, def, rep, depth);
    });
  }

  // The walk's entry of leaf `index` (column `at`) as a plan's.
  void learn(std::uint32_t token, int index, int at, int def, int rep, bool optional) {
    Column &column = columns_[static_cast<std::size_t>(at)];
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    const bool whole = node.type == LakeType::integer || node.type == LakeType::decimal;
    const Fast fast = column.physical == parquet::Type::INT32 && whole   ? Fast::int32
                      : column.physical == parquet::Type::INT64 && whole ? Fast::int64
                      : column.physical == parquet::Type::BYTE_ARRAY     ? Fast::text
                      : column.physical == parquet::Type::FIXED_LEN_BYTE_ARRAY && whole
                          ? Fast::fixed
                          : Fast::none;
    learning_->push_back(LeafOp{token, fast, optional, node.scale, def, rep, &column, &node});
  }

  // A plan's entry: the common values here, the others by leaf().
  [[gnu::always_inline]] void run(const LeafOp &op, const RecordValues &tape, std::uint32_t base) {
    Column &column = *op.column;
    if (op.token == noValue) {
      level(column, op.def, op.rep);
      ++column.nulls;
      return;
    }
    const ValueToken &value = tape[base + op.token];
    const int def = op.def + (op.optional ? 1 : 0);
    if (op.fast == Fast::text && value.type == ValueType::string) {
      const std::string_view bytes = tape.text(value);
      column.values.appendFixed(static_cast<std::uint32_t>(bytes.size()));
      column.values.append(bytes);
      added_ += bytes.size();
      return level(column, def, op.rep);
    }
    if (value.type == ValueType::scaled && RecordValues::scale(value) == op.scale) {
      const std::int64_t whole = tape.unscaled(value);
      if (op.fast == Fast::int64) {
        column.values.appendFixed(whole);
        return level(column, def, op.rep);
      }
      if (op.fast == Fast::int32 && whole >= INT32_MIN && whole <= INT32_MAX) {
        column.values.appendFixed(static_cast<std::int32_t>(whole));
        return level(column, def, op.rep);
      }
    }
    leaf(column, *op.node, tape, base + op.token, op.def, op.rep, op.optional);
  }

  // The entry of leaf `node` in `column` from the value at `token`: the
  // walk's and the plans' alike.
  [[gnu::always_inline]] void leaf(Column &column, const LakeNode &node, const RecordValues &tape,
                                   std::uint32_t token, int def, int rep, bool optional) {
    if (tape[token].type == ValueType::null) {
      if (!optional)
        refuse(node, "null", "a value the schema does not let be null");
      level(column, def, rep);
      ++column.nulls;
      return;
    }
    def += optional ? 1 : 0;
    const ValueToken &value = tape[token];
    const bool number = value.type == ValueType::number || value.type == ValueType::scaled;
    const bool scalar = value.type == ValueType::string || number;
    // The value's text, made only where it is written or shown: a scaled
    // number has none until then.
    const auto text = [&] {
      return value.type == ValueType::string ? tape.text(value)
             : number                        ? tape.numberText(value, numberText_)
                                             : std::string_view();
    };
    // Each value goes straight into the page's plain values.
    switch (column.physical) {
    case parquet::Type::BYTE_ARRAY: {
      if (!scalar)
        refuse(node, text(), "not a string");
      const std::string_view bytes = text();
      column.values.appendFixed(static_cast<std::uint32_t>(bytes.size()));
      column.values.append(bytes);
      added_ += bytes.size();
      break;
    }
    case parquet::Type::INT32:
    case parquet::Type::INT64: {
      std::int64_t whole = 0;
      const bool read =
          value.type == ValueType::scaled
              ? rescale(tape.unscaled(value), RecordValues::scale(value), node.scale, whole)
              : value.type == ValueType::number && unscaledInt64(text(), node.scale, whole);
      if (!read)
        refuse(node, text(), "not a number of the column's range and scale");
      if (column.physical == parquet::Type::INT32) {
        if (whole < INT32_MIN || whole > INT32_MAX)
          refuse(node, text(), "out of the column's range");
        column.values.appendFixed(static_cast<std::int32_t>(whole));
      } else {
        column.values.appendFixed(whole);
      }
      break;
    }
    case parquet::Type::FIXED_LEN_BYTE_ARRAY: {
      std::string &plain = plainValue_;
      const auto width = static_cast<std::size_t>(column.width);
      std::int64_t whole = 0;
      const bool read =
          value.type == ValueType::scaled
              ? rescale(tape.unscaled(value), RecordValues::scale(value), node.scale, whole) &&
                    wholeBytes(whole, width, plain)
              : value.type == ValueType::number && unscaledBytes(text(), node.scale, width, plain);
      if (!read)
        refuse(node, text(), "not a decimal of the column's precision and scale");
      column.values.append(plain);
      break;
    }
    case parquet::Type::FLOAT:
    case parquet::Type::DOUBLE: {
      if (!number)
        refuse(node, text(), "not a number");
      column.scratch.assign(text());
      double real = 0;
      if (column.physical == parquet::Type::FLOAT) {
        const float single = std::strtof(column.scratch.c_str(), nullptr);
        column.values.appendFixed(single);
        real = single;
      } else {
        real = std::strtod(column.scratch.c_str(), nullptr);
        column.values.appendFixed(real);
      }
      widen(column, real, column.minReal, column.maxReal);
      break;
    }
    default:
      break;
    }
    level(column, def, rep);
  }

  std::string serialize(const parquet::FileMetaData &metadata) {
    buffer_->resetBuffer();
    metadata.write(&protocol_);
    return buffer_->getBufferAsString();
  }

  // The page of `column` cut, to be packed on the pipeline's thread.
  void flushPage(Column &column) {
    if (column.entries == 0)
      return;
    std::unique_ptr<PageJob> job = pipeline_->job();
    job->column = &column;
    job->entries = column.entries;
    job->levels.clear();
    if (column.maxRep > 0)
      column.reps.moveTo(job->levels);
    if (column.maxDef > 0)
      column.defs.moveTo(job->levels);
    std::swap(job->values, column.values); // the job's, empty, kept their room
    const std::size_t pageSize = job->levels.size() + job->values.size();
    const std::size_t packedBound = codec_ == parquet::CompressionCodec::SNAPPY
                                        ? snappy::MaxCompressedLength(pageSize)
                                    : codec_ == parquet::CompressionCodec::ZSTD
                                        ? ZSTD_compressBound(pageSize)
                                        : pageSize;
    job->bound = headBound + packedBound;
    column.pendingBound += job->bound;
    column.entries = 0;
    pipeline_->submit(std::move(job));
  }

  // A packed page, in the order its column's pages were cut.
  void take(PageJob &job) {
    if (!job.error.empty())
      throw SinkError{job.error};
    Column &column = *job.column;
    column.pagesSize += job.packed.size();
    column.pages.push_back(std::move(job.packed));
    job.packed = std::string();
    column.chunkUncompressed += static_cast<std::int64_t>(job.headSize + job.pageSize);
    column.chunkValues += static_cast<std::int64_t>(job.entries);
    column.pendingBound -= job.bound;
    // The page's least and greatest value widen the chunk's as each of its values would have.
    if (job.haveStats) {
      if (column.physical == parquet::Type::INT32 || column.physical == parquet::Type::INT64) {
        widen(column, job.minWhole, column.minWhole, column.maxWhole);
        widen(column, job.maxWhole, column.minWhole, column.maxWhole);
      } else {
        widenBytes(column, job.min);
        widenBytes(column, job.max);
      }
    }
    job.haveStats = false;
  }

  void flushRowGroup() {
    settle();
    for (Column &column : columns_)
      flushPage(column);
    pipeline_->collect(true);
    parquet::RowGroup group;
    std::int64_t uncompressed = 0;
    const std::int64_t start = position_;
    for (Column &column : columns_) {
      parquet::ColumnMetaData meta;
      meta.__set_type(column.physical);
      meta.__set_encodings({parquet::Encoding::PLAIN, parquet::Encoding::RLE});
      meta.__set_path_in_schema(column.path);
      meta.__set_codec(codec_);
      meta.__set_num_values(column.chunkValues);
      meta.__set_total_uncompressed_size(column.chunkUncompressed);
      meta.__set_total_compressed_size(static_cast<std::int64_t>(column.pagesSize));
      meta.__set_data_page_offset(position_);
      parquet::Statistics statistics;
      statistics.__set_null_count(column.nulls);
      if (column.haveStats) {
        std::string min, max;
        plainStatistics(column, min, max);
        statistics.__set_min_value(min);
        statistics.__set_max_value(max);
      }
      if (column.physical == parquet::Type::FLOAT || column.physical == parquet::Type::DOUBLE)
        statistics.__set_nan_count(0); // NaN is written as null
      meta.__set_statistics(statistics);
      parquet::ColumnChunk chunk;
      chunk.__set_file_offset(0);
      chunk.__set_meta_data(meta);
      group.columns.push_back(chunk);
      uncompressed += column.chunkUncompressed;
      for (const std::string &page : column.pages)
        if (!write(page.data(), page.size()))
          return;
      column.pages.clear();
      column.pagesSize = 0;
      column.chunkValues = column.chunkUncompressed = column.nulls = 0;
      column.haveStats = false;
    }
    group.__set_total_byte_size(uncompressed);
    group.__set_num_rows(groupRows_);
    group.__set_file_offset(start);
    group.__set_total_compressed_size(position_ - start);
    metadata_.row_groups.push_back(group);
    groupRows_ = 0;
  }

  bool write(const char *data, std::size_t size) {
    if (std::fwrite(data, 1, size, out_) != size)
      failed_ = true;
    position_ += static_cast<std::int64_t>(size);
    return !failed_;
  }

  LakeSchema schema_;
  std::FILE *out_;
  std::int64_t rowGroupBytes_;
  parquet::CompressionCodec::type codec_ = parquet::CompressionCodec::SNAPPY;
  std::shared_ptr<TMemoryBuffer> buffer_;
  TCompactProtocolT<TMemoryBuffer> protocol_;
  std::vector<parquet::SchemaElement> elements_;
  std::vector<Column> columns_;
  std::vector<int> columnOf_; // lake node to column, -1 for groups
  int top_ = 0;
  parquet::FileMetaData metadata_;
  std::int64_t rows_ = 0;
  std::int64_t groupRows_ = 0;
  std::int64_t position_ = 0;
  bool failed_ = false;
  std::string plainValue_;
  std::string numberText_; // a scaled number's text, for text columns and messages
  RecordPlans<LeafOp> plans_;
  // The walk's leaf entries go to `learning_` when a plan is being learned
  // from the record at `learningBase_`.
  std::vector<LeafOp> *learning_ = nullptr;
  std::uint32_t learningBase_ = 0;
  // A walk for compile(): entries learned, nothing written. Walks take turns.
  bool dry_ = false;
  std::mutex walking_;
  // The entries of the records the decoders write encoded.
  std::optional<std::vector<LeafOp>> directOps_;
  // directOps_ as direct() takes them (prepareDirect()), the records written since the
  // last settle(), and what a record adds to added_ besides its byte arrays' bytes.
  std::vector<LeafOp> directSteps_;
  // A direct record's levels of a column of several entries or of repetition.
  struct RecordLevels {
    Column *column;
    std::size_t entries;
    std::int64_t nulls;
    LevelRuns::Pattern defs, reps;
  };
  std::vector<RecordLevels> recordLevels_;
  std::size_t directRows_ = 0;
  std::size_t directBound_ = 0;
  // Direct records by lanes: the columns that have values, and where the batch's lanes have
  // been taken up to.
  struct LaneColumn {
    std::size_t column;
    std::size_t values; // a record's
    std::size_t width;  // of each value; 0: a byte array after its 4-byte length
  };
  std::vector<LaneColumn> laneColumns_;
  std::vector<std::size_t> laneAt_;
  // Bytes the rows since the last checkSizes() may have added to a page or
  // the row group, and the least room either had left then.
  std::size_t added_ = 0;
  std::size_t slack_ = 0;
  // Last: its thread ends before the columns it packs for go.
  std::unique_ptr<PagePipeline> pipeline_;
};

} // namespace

std::unique_ptr<RecordSink> makeParquetSink(const SinkRequest &request) {
  // The columns are built off the decoding thread (their pages packed on a third).
  auto sink = std::make_unique<ParquetSink>(request);
  const DirectEncoder *encoder = sink.get();
  return onOwnThread(std::move(sink), encoder);
}

// Record framing (F, V, VB, L) over large reads, the warnings and the summary of a run.
#include "decoder/decode_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "converter/conversion_messages.h"
#include "decoder/batch_pool.h"
#include "decoder/compressed_input.h"
#include "decoder/copybook_set.h"
#include "decoder/data_hints.h"
#include "decoder/decode_plan.h"
#include "decoder/framing.h"
#include "decoder/progress.h"
#include "decoder/raw_bytes.h"
#include "decoder/record_decoder.h"
#include "decoder/record_filter.h"
#include "decoder/record_sink.h"
#include "decoder/run_files.h"
#include "decoder/run_parts.h"
#include "decoder/run_signals.h"
#include "decoder/segments.h"
#include "decoder/split_plan.h"
#include "diagnostics/message_store.h"
#include "record/model_builder.h"
#include "support/status_line.h"

namespace {

namespace fs = std::filesystem;

struct FileClose {
  void operator()(std::FILE *file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileClose>;

// A window over a file that keeps at least the bytes asked for in memory.
// The last `hold` bytes of the file (-skip-trailer-bytes) are never shown:
// the window reads that far ahead, so it needs no file size and works on
// pipes and decompressed streams alike.
class InputWindow {
public:
  // `position`: the file offset the stream stands at.
  InputWindow(std::FILE *file, std::int64_t position, std::size_t hold = 0)
      : file_(file), hold_(hold), position_(position) {
    buffer_.resize(blockSize + hold);
  }
  // Makes `count` bytes from the cursor available; fewer only at the end of the file.
  std::size_t ensure(std::size_t count) {
    const std::size_t wanted = count + hold_;
    if (end_ - begin_ >= wanted || eof_)
      return std::min(count, visible());
    if (begin_ != 0) {
      std::copy(buffer_.begin() + static_cast<std::ptrdiff_t>(begin_),
                buffer_.begin() + static_cast<std::ptrdiff_t>(end_), buffer_.begin());
      end_ -= begin_;
      begin_ = 0;
    }
    if (buffer_.size() < wanted)
      buffer_.resize(wanted + blockSize);
    while (end_ < wanted && !eof_) {
      errno = 0;
      const std::size_t got = std::fread(buffer_.data() + end_, 1, buffer_.size() - end_, file_);
      end_ += got;
      if (got == 0) {
        eof_ = true;
        error_ = std::ferror(file_) != 0 ? (errno != 0 ? errno : EIO) : 0;
      }
    }
    return std::min(count, visible());
  }
  std::string_view peek(std::size_t count) const {
    return std::string_view(buffer_.data() + begin_, std::min(count, visible()));
  }
  void consume(std::size_t count) {
    begin_ += count;
    position_ += static_cast<std::int64_t>(count);
  }
  std::int64_t position() const { return position_; }
  // Moves the next `count` bytes (fewer only at the end of the file) to
  // `to` and past the cursor: those the window holds, then the rest read
  // from the file straight into `to`. For a window that holds no trailer.
  std::size_t readInto(char *to, std::size_t count) {
    std::size_t have = std::min(count, end_ - begin_);
    std::memcpy(to, buffer_.data() + begin_, have);
    begin_ += have;
    while (have < count && !eof_) {
      errno = 0;
      const std::size_t got = std::fread(to + have, 1, count - have, file_);
      have += got;
      if (got == 0) {
        eof_ = true;
        error_ = std::ferror(file_) != 0 ? (errno != 0 ? errno : EIO) : 0;
      }
    }
    position_ += static_cast<std::int64_t>(have);
    return have;
  }
  // The bytes read from the file past the cursor (the held ones too).
  std::size_t buffered() const { return end_ - begin_; }
  // The reason reading failed (errno), 0 when it did not.
  int error() const { return error_; }

private:
  std::size_t visible() const { return end_ - begin_ > hold_ ? end_ - begin_ - hold_ : 0; }

  static constexpr std::size_t blockSize = 1 << 20;
  std::FILE *file_;
  std::vector<char> buffer_;
  std::size_t hold_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  int error_ = 0;
  std::int64_t position_;
};

struct Counts {
  long long read = 0;
  long long written = 0;
  long long warned = 0;
};

void appendWarning(std::string &out, bool strict, const std::string &name, long long number,
                   std::int64_t offset, const DecodeProblem &p) {
  char head[64];
  std::snprintf(head, sizeof head, ": record %lld, byte %lld: ", number,
                static_cast<long long>(offset));
  out += "vexfcbl-decode: ";
  out += strict ? "error: " : "";
  out += name;
  out += head;
  out += p.path;
  out += p.path.empty() ? "" : ": ";
  out += p.what;
  out += p.bytes.empty() ? "" : ": ";
  out += p.bytes;
  out += '\n';
}

DecodeWarning warningOf(long long number, std::int64_t offset, const DecodeProblem &p) {
  return DecodeWarning{number, offset, p.path, p.bytes.empty() ? p.what : p.what + ": " + p.bytes};
}

// One record of a batch: where it starts in the file, its data in the batch's
// bytes, and what its framing announced and found wrong (the batch's
// framing problems from `problemsFrom` to `problemsTo`).
struct BatchRecord {
  std::int64_t start;
  std::size_t at;
  std::size_t size;
  std::int64_t declared;
  std::int64_t dataOffset; // a V record's data follows its RDW
  std::size_t problemsFrom;
  std::size_t problemsTo;
  bool unreadable;
};

// A batch of records, framed by the reading thread and decoded by a worker:
// it holds copies of its records' bytes, so that the input reads on.
struct Batch {
  std::string bytes;
  // Plain F records follow each other every -lrecl bytes from `start` (the
  // last one may be short): the worker finds them by arithmetic in the
  // first `size` bytes, and `records` stays empty. Other framings list each
  // record.
  bool sliced = false;
  // V and VB records the framing finds nothing wrong with: `bytes` holds
  // them as they are, descriptor words included, from input position
  // `start`, `blockLeft` bytes of a VB block left before its first word;
  // the worker walks the words again, and `records` stays empty.
  bool walked = false;
  std::size_t blockLeft = 0;
  std::int64_t start = 0;
  std::size_t size = 0;
  // A plain file: the worker reads the batch's `size` bytes from `start`
  // itself (they are not in `bytes` yet); a failure leaves errno in
  // readError and the batch ends before the bytes not read.
  int readFrom = -1;
  std::int64_t readShift = 0; // the file offset of input position 0
  int readError = 0;
  std::vector<BatchRecord> records;
  std::size_t count = 0; // its records
  std::vector<DecodeProblem> framing;
  long long firstNumber = 0; // the whole-file number of its first record
  std::int64_t end = 0;      // the input position after it
  // What the worker made of it: the lines are the first textSize bytes of
  // `text`, whose size is kept from batch to batch (not filled again for
  // each record the decoder writes into).
  std::string text;
  std::size_t textSize = 0;
  RecordValues recordValues; // instead of text, for a sink of values
  std::string warnings;
  std::vector<DecodeWarning> values; // the warnings, when the run gives them as values
  long long warned = 0;
  long long written = 0;
  std::vector<DecodeProblem> problems; // one record's, kept to keep its capacity
  std::string padded;                  // a short line padded to the record's length
};

// One record as the framing found it, before it is decoded.
struct Framed {
  std::int64_t start = 0;     // its first byte in the file (a V record: its RDW)
  std::size_t dataAt = 0;     // its data, from the window's cursor
  std::size_t dataSize = 0;   //
  bool ownLine = false;       // its data is the padded line, not window bytes
  std::int64_t declared = -1; // the length its framing announced, or -1
  std::size_t consumed = 0;   // the bytes it takes in the window
  bool unreadable = false;    // bytes that make no record (a bad descriptor word)
  bool pastEnd = false;       // begins after the range: read only for a hierarchy's children
};

class Run {
public:
  // Warnings go to `messages`; the position reached is published on `progress`.
  Run(const DecodeOptions &options, std::vector<RecordDecoder> &decoders, RecordSink &out,
      std::int64_t length, StatusLine &messages, DecodeProgress &progress,
      const FramingParts &parts)
      : options_(options), decoders_(decoders), decoder_(decoders.front()), out_(out),
        typed_(out.takesValues()), shaped_(typed_ && out.takesLineShape()),
        deferred_(out.callsWritten() >= 0), length_(length), messages_(messages),
        progress_(progress), parts_(parts),
        fixedLength_(options.recordFormat == RecordFormat::fixed && parts.lengthField == nullptr &&
                     parts.occurs == nullptr) {
    if (shaped_ && parts.hierarchy != nullptr)
      valueTree_.emplace(*parts.segments);
  }

  // Limits the next file() to the records that begin in `range`.
  void limit(const ByteRange &range) {
    range_ = range;
    const std::int64_t skip = options_.skipBytes;
    range_.start = std::max(range.start, skip);
    if (fixedLength_)
      range_.start = skip + (range_.start - skip + length_ - 1) / length_ * length_;
    numberBase_ = range.firstRecord > 0 ? range.firstRecord - 1
                  : fixedLength_        ? (range_.start - skip) / length_
                                        : 0;
    // A hierarchy's range holds whole trees: from its first root segment
    // on, to the next root segment after its end.
    treeRange_ = parts_.segments != nullptr && parts_.segments->linked();
  }

  // False when -strict stopped the run. `stream`, when given, tells why a
  // decompressed stream failed. The records decoded are all handed to the
  // sink when it returns (those before a -strict stop too).
  bool file(std::FILE *in, const std::string &name, const DataStream *stream = nullptr) {
    const bool went = readFile(in, name, stream);
    if (!values_.empty())
      writeValues(values_);
    return went;
  }

  // Waits for the records a sink writes on its own thread; false when writing them failed,
  // the run then standing where it stopped when they were written at once: the counts of
  // that moment, failed. The failure of the call numbered `current` (this moment's own) is
  // left to the caller, as write() returning false; a refusal is thrown.
  bool settle(long long current = -1) {
    if (unsettled_.empty())
      return true;
    bool written = false;
    try {
      written = out_.awaitWrites();
    } catch (const SinkError &) {
      restore(out_.failedCall(), false);
      throw;
    }
    if (written) {
      unsettled_.clear();
      return true;
    }
    const long long call = out_.failedCall();
    if (call == current) {
      unsettled_.clear();
      failed_ = true;
      return false;
    }
    restore(call, true);
    return false;
  }

  Counts counts;
  unsigned char page_space_ = ' ';
  // A sink that takes the lines' shape (takesLineShape): the plan field
  // numbers of the -header and -trailer records' keys start here.
  int headerFieldBase = 0;
  int trailerFieldBase = 0;
  const RawBytes *raw = nullptr; // -raw
  // Warnings given as values instead of printed (a run in memory).
  const std::function<void(const DecodeWarning &)> *warningValues = nullptr;

private:
  bool readFile(std::FILE *in, const std::string &name, const DataStream *stream) {
    name_ = name;
    stream_ = stream;
    blockLeft_ = 0;
    const std::int64_t first = std::max(range_.start, options_.skipBytes);
    // An L range that starts inside a line starts at the next line: one byte
    // earlier is read so that a line starting exactly at the range's start is kept.
    const bool skipLine = options_.recordFormat == RecordFormat::lines && range_.start > 0 &&
                          range_.start > options_.skipBytes;
    const std::int64_t seek = skipLine ? first - 1 : first;
    // -range seeks (its file is a plain regular file); -skip-bytes alone
    // reads past, so that pipes and decompressed streams skip too.
    if (range_.start > 0 && seek > 0 && ::fseeko(in, seek, SEEK_SET) != 0) {
      if (!settle())
        return false;
      messages_.print("vexfcbl-decode: cannot read " + name + ": cannot seek to byte " +
                      std::to_string(seek) + ": " + std::strerror(errno) + "\n");
      failed_ = true;
      return true;
    }
    InputWindow window(in, range_.start > 0 ? seek : 0,
                       static_cast<std::size_t>(options_.skipTrailerBytes));
    while (window.position() < seek) {
      const std::size_t got = window.ensure(
          static_cast<std::size_t>(std::min<std::int64_t>(seek - window.position(), 1 << 20)));
      if (got == 0)
        return finish(window);
      window.consume(got);
    }
    if (skipLine)
      while (const std::size_t got = window.ensure(1 << 16)) {
        const std::size_t newline = window.peek(got).find('\n');
        window.consume(newline == std::string_view::npos ? got : newline + 1);
        if (newline != std::string_view::npos)
          break;
      }
    atFirst_ = range_.start <= options_.skipBytes;
    seenRoot_ = atFirst_;
    beyondRange_ = false;
    if (parts_.parents != nullptr)
      parts_.parents->clear();
    if (decoders_.size() > 1 && !framed())
      return parallel(window);
    if (parts_.header != nullptr || parts_.trailer != nullptr)
      return records<true>(window);
    if (fixedLength_ && parts_.segments == nullptr && parts_.filter == nullptr)
      return fixedRecords(window);
    return records<false>(window);
  }

  // Options whose records are not plain slices or lines: one thread reads them.
  bool framed() const {
    return parts_.lengthField != nullptr || parts_.occurs != nullptr || parts_.header != nullptr ||
           parts_.trailer != nullptr || parts_.segments != nullptr || parts_.filter != nullptr;
  }

  // Plain F records, one thread: the loop of the hot path, nothing asked
  // per record beyond the range's end.
  bool fixedRecords(InputWindow &window) {
    const auto length = static_cast<std::size_t>(length_);
    if (!typed_ && raw == nullptr && decoder_.lineRoom() > 0)
      return fixedLines(window);
    while (true) {
      const std::int64_t start = window.position();
      if (start >= range_.end)
        break;
      const std::size_t got = window.ensure(length);
      if (got == 0)
        break;
      if (!record(start, window.peek(got), -1, false, decoder_))
        return false;
      window.consume(got);
      progress_.at(window.position(), counts.read);
    }
    return finish(window);
  }

  // fixedRecords for a layout the decoder writes as compiled lines: the
  // lines of many records gathered in one buffer, written out when it holds
  // `lineBatch` bytes (one write for thousands of records, no string grown
  // per record); a record shorter than the layout goes through record().
  bool fixedLines(InputWindow &window) {
    const auto length = static_cast<std::size_t>(length_);
    const std::size_t room = decoder_.lineRoom();
    lines_.resize(lineBatch + room);
    char *const first = lines_.data();
    char *at = first;
    const auto flush = [&] {
      const bool written =
          out_.write(std::string_view(first, static_cast<std::size_t>(at - first)));
      at = first;
      if (!written)
        failed_ = true;
      return written;
    };
    while (true) {
      const std::int64_t start = window.position();
      if (start >= range_.end)
        break;
      const std::size_t got = window.ensure(length);
      if (got == 0)
        break;
      ++counts.read;
      problems_.clear();
      char *const end = decoder_.decodeLine(window.peek(got), -1, at, problems_);
      if (end == nullptr) {
        --counts.read;
        if (!flush() || !record(start, window.peek(got), -1, false, decoder_))
          return false;
      } else {
        // A record -strict stops at is not written: its line is left behind.
        if (!problems_.empty() && !report(start)) {
          flush();
          return false;
        }
        at = end;
        ++counts.written;
      }
      window.consume(got);
      progress_.at(window.position(), counts.read);
      if (static_cast<std::size_t>(at - first) >= lineBatch && !flush())
        return false;
    }
    if (!flush())
      return false;
    return finish(window);
  }

  // `Ends`: -header or -trailer was given; without them the loop tests nothing for them.
  template <bool Ends> bool records(InputWindow &window) {
    Framed framed;
    while (next(window, framed)) {
      RecordDecoder *decoder = &decoder_;
      if constexpr (Ends) {
        const bool first = atFirst_;
        atFirst_ = false;
        if (!framed.unreadable) {
          if (parts_.header != nullptr && first)
            decoder = parts_.header;
          // The last record of the file: nothing follows it. Looking ahead
          // may move the window's bytes, so the data is taken after.
          else if (parts_.trailer != nullptr &&
                   window.ensure(framed.consumed + 1) <= framed.consumed)
            decoder = parts_.trailer;
        }
      }
      const std::string_view data =
          framed.ownLine ? std::string_view(line_)
                         : window.peek(framed.dataAt + framed.dataSize).substr(framed.dataAt);
      if (treeRange_) {
        const bool root = !framed.unreadable && decoder == &decoder_ && startsTree(data);
        if (framed.pastEnd && (root || framed.unreadable))
          break;
        if (!seenRoot_ && !root) {
          // Before the range's first root: the previous range's records.
          ++numberBase_;
          dataOffset_ = 0;
          rawLength_ = std::string_view::npos;
          window.consume(framed.consumed);
          continue;
        }
        seenRoot_ = true;
      }
      if (!record(framed.start, data, framed.declared, framed.unreadable, *decoder))
        return false;
      dataOffset_ = 0;
      rawLength_ = std::string_view::npos;
      window.consume(framed.consumed);
      progress_.at(window.position(), counts.read);
    }
    return finish(window);
  }

  // Frames the next record at the window's cursor; false at the end of the
  // file or of the range.
  bool next(InputWindow &window, Framed &framed) {
    framing_.clear();
    // Field by field: a temporary Framed copied in was built on the stack
    // and read back at once in wider words than written, a store the load
    // had to wait out on every record.
    framed.start = 0;
    framed.dataAt = 0;
    framed.dataSize = 0;
    framed.ownLine = false;
    framed.declared = -1;
    framed.consumed = 0;
    framed.unreadable = false;
    framed.pastEnd = false;
    while (true) {
      const std::int64_t start = window.position();
      framed.start = start;
      // A VB range ends at a block start: the records of a block that begins
      // in the range are the range's.
      if (start >= range_.end &&
          (options_.recordFormat != RecordFormat::variableBlocked || blockLeft_ == 0)) {
        if (!treeRange_)
          return false;
        beyondRange_ = true; // a VB block's later records are beyond it too
      }
      framed.pastEnd = beyondRange_;
      switch (options_.recordFormat) {
      case RecordFormat::fixed: {
        if (parts_.lengthField != nullptr)
          return byLengthField(window, framed);
        const std::size_t want =
            parts_.occurs != nullptr ? parts_.occurs->need() : static_cast<std::size_t>(length_);
        const std::size_t got = window.ensure(want);
        if (got == 0)
          return false;
        framed.dataSize = got;
        if (parts_.occurs != nullptr) {
          std::string why;
          // A count the decoder cannot read leaves the record at its
          // maximum; the decoder's warning says why.
          if (const std::optional<std::int64_t> length =
                  parts_.occurs->lengthOf(window.peek(got), why))
            framed.dataSize = std::min(got, static_cast<std::size_t>(*length));
        }
        framed.consumed = framed.dataSize;
        return true;
      }
      case RecordFormat::lines: {
        std::size_t want = static_cast<std::size_t>(length_) + 2;
        std::size_t got = 0;
        std::size_t newline = std::string_view::npos;
        while (true) {
          got = window.ensure(want);
          newline = window.peek(got).find('\n');
          if (newline != std::string_view::npos || got < want)
            break;
          want *= 2;
        }
        if (got == 0)
          return false;
        framed.consumed = newline == std::string_view::npos ? got : newline + 1;
        std::size_t length = newline == std::string_view::npos ? got : newline;
        if (length > 0 && window.peek(length)[length - 1] == '\r')
          --length;
        line_.assign(window.peek(length));
        rawLength_ = length; // -raw: the line as it is, not padded
        // -variable-occurs: the line must be as long as its counts make it.
        if (parts_.occurs != nullptr)
          framed.declared = static_cast<std::int64_t>(length);
        if (line_.size() < static_cast<std::size_t>(length_))
          line_.append(static_cast<std::size_t>(length_) - line_.size(),
                       static_cast<char>(page_space_));
        framed.ownLine = true;
        return true;
      }
      case RecordFormat::variable:
      case RecordFormat::variableBlocked: {
        if (options_.recordFormat == RecordFormat::variableBlocked && blockLeft_ == 0) {
          const std::size_t got = window.ensure(4);
          if (got == 0)
            return false;
          const std::string_view bdw = window.peek(4);
          const DescriptorWord block = readBlockWord(bdw, options_);
          if (block.length < 0) {
            framing_.push_back({"", "invalid block descriptor word", 0, ""});
            return unreadable(framed, got);
          }
          if (block.reservedSet)
            blockProblem_ = {"", reservedBytesProblem(bdw, true), start, ""};
          window.consume(4);
          blockLeft_ = static_cast<std::size_t>(block.length) - 4;
          continue;
        }
        const std::size_t got = window.ensure(4);
        if (got == 0)
          return false;
        const std::string_view rdw = window.peek(4);
        const DescriptorWord word = readRecordWord(rdw, options_);
        // A problem of the block's word goes with its first record, at the
        // word's offset (a readable record's offsets count from its data).
        if (!blockProblem_.what.empty()) {
          blockProblem_.offset -= start + (word.length < 0 ? 0 : 4);
          framing_.push_back(std::move(blockProblem_));
          blockProblem_ = {};
        }
        if (word.length < 0) {
          framing_.push_back({"", "invalid record descriptor word", 0, ""});
          blockLeft_ = 0;
          return unreadable(framed, got);
        }
        const auto length = static_cast<std::size_t>(word.length);
        const std::size_t have = window.ensure(length);
        framed.dataAt = 4;
        framed.dataSize = have - std::min<std::size_t>(have, 4);
        framed.declared = word.length - 4;
        framed.consumed = have;
        if (have < length)
          framing_.push_back({"", "record shorter than its descriptor word says", 0, ""});
        if (word.reservedSet)
          framing_.push_back({"", reservedBytesProblem(rdw, false), -4, ""});
        if (options_.recordFormat == RecordFormat::variableBlocked && have > blockLeft_)
          framing_.push_back({"",
                              "record of " + std::to_string(length) +
                                  " bytes runs past the end of its block (" +
                                  std::to_string(blockLeft_) + " bytes left)",
                              -4, ""});
        blockLeft_ = blockLeft_ > have ? blockLeft_ - have : 0;
        dataOffset_ = 4;
        return true;
      }
      }
    }
  }

  // Bytes that make no record: they are reported and walked past.
  bool unreadable(Framed &framed, std::size_t bytes) {
    framed.unreadable = true;
    framed.dataSize = bytes;
    framed.consumed = bytes;
    return true;
  }

  // -length-field: the record's first bytes up to its length field, then as
  // many as the field says.
  bool byLengthField(InputWindow &window, Framed &framed) {
    const LengthField &field = *parts_.lengthField;
    const std::size_t got = window.ensure(field.need());
    if (got == 0)
      return false;
    if (got < field.need()) {
      framing_.push_back({"", "record ends before its length field", 0, ""});
      return unreadable(framed, got);
    }
    std::string why;
    const std::optional<std::int64_t> length = field.lengthOf(window.peek(got), why);
    if (!length) {
      framing_.push_back({"", why, 0, ""});
      return unreadable(framed, got);
    }
    const std::size_t have = window.ensure(static_cast<std::size_t>(*length));
    framed.dataSize = have;
    framed.consumed = have;
    framed.declared = *length;
    if (have < static_cast<std::size_t>(*length))
      framing_.push_back({"", "record shorter than its length field says", 0, ""});
    return true;
  }

  // The record begins a tree: its segment is a root segment.
  bool startsTree(std::string_view data) {
    const int segment = parts_.segments->segmentOfRule(decoder_.match(data).rule);
    return segment >= 0 && parts_.segments->parentOf(segment) < 0;
  }

  bool finish(const InputWindow &window) {
    if (valueTree_)
      valueTree_->flush(values_);
    else if (parts_.hierarchy != nullptr && !parts_.hierarchy->flush())
      failed_ = true;
    if (window.error() != 0) {
      if (!settle())
        return false;
      const std::string why = stream_ != nullptr && !stream_->failure().empty()
                                  ? stream_->failure()
                                  : std::strerror(window.error());
      messages_.print("vexfcbl-decode: cannot read " + name_ + ": " + why + "\n");
      failed_ = true;
    }
    return true;
  }

  bool record(std::int64_t start, std::string_view data, std::int64_t declared, bool unreadable,
              RecordDecoder &decoder) {
    // The trailer ends the file: the tree still held is written before it,
    // so the output keeps the file's order.
    if (&decoder == parts_.trailer && parts_.headerOut == nullptr) {
      if (valueTree_)
        valueTree_->flush(values_);
      else if (parts_.hierarchy != nullptr && !parts_.hierarchy->flush())
        failed_ = true;
    }
    ++counts.read;
    problems_.clear();
    text_.clear();
    const bool body = &decoder == &decoder_ && !unreadable;
    int segment = -1;
    if (body && (parts_.segments != nullptr || parts_.filter != nullptr)) {
      const RecordDecoder::Match match = decoder.match(data);
      if (parts_.segments != nullptr)
        segment = parts_.segments->segmentOfRule(match.rule);
      if (parts_.filter != nullptr && !parts_.filter->keeps(data, match.record)) {
        // A record left out still parents the records after it (-ids);
        // what its framing found wrong is still said.
        bool orphan = false;
        if (parts_.parents != nullptr)
          parts_.parents->place(segment, numberBase_ + counts.read, orphan);
        problems_.assign(framing_.begin(), framing_.end());
        return report(start);
      }
    }
    // The body's records go to a sink of values as values; -raw's keys are
    // for lines only.
    const bool asValues = typed_ && &decoder == &decoder_ && !unreadable;
    // A sink of the lines' shape takes -ids keys, trees and the -header and
    // -trailer records as values too: the record is decoded apart first.
    const bool endAsValues =
        shaped_ && &decoder != &decoder_ && !unreadable && parts_.headerOut == nullptr;
    const bool apart = endAsValues || (asValues && shaped_ && parts_.segments != nullptr &&
                                       (options_.ids || valueTree_));
    const RecordValues::Mark mark = values_.mark();
    const char *lineEnd = nullptr; // the end of the record's line in lines_, when made there
    if (apart) {
      single_.clear();
      decoder.decode(data, declared, single_, problems_);
      if (fixedLength_ && static_cast<std::int64_t>(data.size()) < length_ && problems_.empty())
        problems_.push_back(DecodeProblem{"", "truncated record", 0, ""});
      if (endAsValues)
        appendRecord(single_, single_.record(0), values_,
                     &decoder == parts_.header ? headerFieldBase : trailerFieldBase);
    } else if (asValues) {
      decoder.decode(data, declared, values_, problems_);
      if (fixedLength_ && static_cast<std::int64_t>(data.size()) < length_ && problems_.empty())
        problems_.push_back(DecodeProblem{"", "truncated record", 0, ""});
    } else if (!unreadable) {
      // A line nothing adds to (no -raw, no segments) is written where it
      // is made, in room kept from record to record.
      if (raw == nullptr && parts_.segments == nullptr && decoder.lineRoom() != 0) {
        if (lines_.size() < decoder.lineRoom())
          lines_.resize(decoder.lineRoom());
        lineEnd = decoder.decodeLine(data, declared, lines_.data(), problems_);
      }
      if (lineEnd == nullptr)
        decoder.decode(data, declared, text_, problems_);
      if (raw != nullptr)
        raw->append(text_, 0, data.substr(0, std::min(rawLength_, data.size())), problems_);
      if (fixedLength_ && static_cast<std::int64_t>(data.size()) < length_ && problems_.empty())
        problems_.push_back(DecodeProblem{"", "truncated record", 0, ""});
    }
    if (!framing_.empty())
      problems_.insert(problems_.begin(), framing_.begin(), framing_.end());
    bool placed = false;
    if (body && parts_.segments != nullptr)
      placed = placeSegment(segment, numberBase_ + counts.read);
    if (!report(start)) {
      // A record in a tree stays in it, as the lines' tree keeps it.
      if (!valueTree_ && !rolledBack_)
        values_.truncate(mark);
      return false;
    }
    if (placed) {
      ++counts.written;
      if (values_.records() >= valueBatch && !writeValues(values_))
        return false;
    } else if (asValues || endAsValues) {
      ++counts.written;
      if (values_.records() >= valueBatch && !writeValues(values_))
        return false;
    } else if (!unreadable) {
      // Header and trailer lines go to -header-out when it is given.
      const bool toHeaderOut = &decoder != &decoder_ && parts_.headerOut != nullptr;
      const std::string_view line =
          lineEnd != nullptr
              ? std::string_view(lines_.data(), static_cast<std::size_t>(lineEnd - lines_.data()))
              : std::string_view(text_);
      const bool written =
          toHeaderOut ? std::fwrite(line.data(), 1, line.size(), parts_.headerOut) == line.size()
                      : out_.write(line);
      // A full disk ends the run: the output will not be put in place.
      if (!written) {
        failed_ = true;
        return false;
      }
      ++counts.written;
    }
    return true;
  }

  // Hands a batch of values to the sink, which may keep them; false (the
  // run failed) when the output cannot be written.
  bool writeValues(RecordValues &values) {
    const long long call = calls_++;
    if (deferred_) {
      const long long done = out_.callsWritten();
      while (!unsettled_.empty() && unsettled_.front().call < done)
        unsettled_.pop_front();
      unsettled_.push_back(Unsettled{call, counts, counts});
    }
    bool written = false;
    try {
      written = out_.write(values);
    } catch (const SinkError &) {
      values.clear();
      // The records handed over before the refused one come first: a write of them that
      // failed ends the run before the refusal would have.
      if (!settle(call))
        return false;
      throw;
    }
    values.clear();
    if (!written)
      failed_ = true;
    return written;
  }

  // Puts the run back where it stopped when call number `call` failed as it was made:
  // `after` the counts its batch added (-j N adds them after the write, even a failed one).
  void restore(long long call, bool after) {
    for (const Unsettled &at : unsettled_)
      if (at.call == call)
        counts = after ? at.after : at.before;
    unsettled_.clear();
    values_.clear();
    failed_ = true;
    rolledBack_ = true;
  }

  // Prints the record's problems; false when -strict stops the run.
  bool report(std::int64_t start) {
    if (problems_.empty())
      return true;
    if (!settle())
      return false;
    ++counts.warned;
    for (const DecodeProblem &p : problems_) {
      if (warningValues != nullptr) {
        (*warningValues)(warningOf(numberBase_ + counts.read, start + dataOffset_ + p.offset, p));
      } else {
        warning_.clear();
        appendWarning(warning_, options_.strict, name_, numberBase_ + counts.read,
                      start + dataOffset_ + p.offset, p);
        messages_.print(warning_);
      }
      if (options_.strict)
        return false;
    }
    return true;
  }

  // A record's segment and parent: its ids (-ids), or its place in the tree
  // being gathered, which then writes it (true). Records without a place
  // are warned of.
  bool placeSegment(int segment, long long number) {
    const SegmentTree &tree = *parts_.segments;
    if (segment < 0 && !options_.segmentField.empty())
      problems_.push_back({"", options_.segmentField + " holds a value no -when names", 0, ""});
    const int parentSegment = segment < 0 ? -1 : tree.parentOf(segment);
    bool orphan = false;
    bool placed = false;
    long long parent = -1;
    if (valueTree_) {
      orphan = !valueTree_->add(segment, single_, values_) && parentSegment >= 0;
      placed = true;
    } else if (parts_.hierarchy != nullptr) {
      orphan = !parts_.hierarchy->add(segment, text_) && parentSegment >= 0;
      placed = true;
    } else if (parts_.parents != nullptr) {
      parent = parts_.parents->place(segment, number, orphan);
    }
    if (orphan)
      problems_.push_back({"",
                           "segment " + tree.name(segment) + " has no " + tree.name(parentSegment) +
                               " record before it to belong to",
                           0, ""});
    if (options_.ids && shaped_)
      appendWithIds(single_, single_.record(0), values_, number,
                    segment < 0 ? nullptr : &tree.name(segment), parent);
    else if (options_.ids)
      addIds(text_, options_.format == OutputFormat::csv, number,
             segment < 0 ? nullptr : &tree.name(segment), parent);
    return placed;
  }

  // The bytes one batch takes from the input: small enough that its lines
  // (several times its bytes) stay in the cache between the thread that
  // decodes them and the writer, large enough that handing a batch over
  // costs nothing beside decoding it.
  static constexpr std::size_t batchBytes = 128 << 10;

  // -j N: this thread frames the records (walking V/VB descriptor words
  // ahead of the decoding) into batches of their own bytes, the pool's
  // threads decode them (and this one, when it has nothing else to do),
  // and this thread writes them in input order, so
  // the output and the warnings (record numbers and offsets) equal those of
  // one thread. Memory is the ring's few batches, whatever the input.
  bool parallel(InputWindow &window) {
    if (!pool_) {
      // -j N runs N threads: this one and N - 1 in the pool. A maker that
      // only waited cost a switch to and from it for about every batch.
      const std::size_t workers = decoders_.size();
      batches_.resize(2 * workers + 1);
      pool_.emplace(workers - 1, batches_.size(), [this](std::size_t slot, std::size_t worker) {
        decodeBatch(batches_[slot], decoders_[worker]);
      });
    }
    framedCount_ = counts.read;
    readDirectly(window);
    // Whatever ends the loop, no batch of this file outlives it.
    struct Settle {
      BatchPool &pool;
      ~Settle() { pool.discard(); }
    } settle{*pool_};
    bool more = true;
    while (true) {
      while (const std::optional<std::size_t> slot = pool_->done(false))
        if (!writeBatch(*slot))
          return false;
      if (more) {
        if (const std::optional<std::size_t> slot = pool_->slotToFill()) {
          more = fill(batches_[*slot], window);
          if (batches_[*slot].count != 0)
            pool_->submit();
          continue;
        }
      }
      if (pool_->workOne())
        continue;
      const std::optional<std::size_t> slot = pool_->done(true);
      if (!slot)
        break;
      if (!writeBatch(*slot))
        return false;
    }
    return finish(window);
  }

  // Frames the next batch's records into `batch`; false when the input (or
  // the range) ends with it.
  bool fill(Batch &batch, InputWindow &window) {
    // `bytes` is not emptied here: F batches are read into it as it is
    // (emptied, it would be filled with zeros first, a pass over the whole
    // input), the others assign it or empty it first.
    batch.records.clear();
    batch.framing.clear();
    batch.sliced = false;
    batch.walked = false;
    batch.readFrom = -1;
    batch.readError = 0;
    batch.firstNumber = numberBase_ + framedCount_ + 1;
    const bool more = options_.recordFormat == RecordFormat::variable ||
                              options_.recordFormat == RecordFormat::variableBlocked
                          ? fillWalking(batch, window)
                      : options_.recordFormat == RecordFormat::fixed ? fillFixed(batch, window)
                                                                     : fillSlices(batch, window);
    if (!batch.sliced && !batch.walked)
      batch.count = batch.records.size();
    batch.end = batch.readFrom >= 0 ? directAt_ : window.position();
    framedCount_ += static_cast<long long>(batch.count);
    return more;
  }

  // Plain F: as many whole records as fit in a batch, and those of them
  // that begin before the range's end.
  bool fillFixed(Batch &batch, InputWindow &window) {
    const auto length = static_cast<std::size_t>(length_);
    const std::size_t want = std::max<std::size_t>(1, batchBytes / length) * length;
    if (directEnd_ >= 0)
      return fillFixedDirect(batch, want);
    if (options_.skipTrailerBytes == 0)
      return fillFixedRead(batch, window, want);
    const std::size_t got = window.ensure(want);
    const std::int64_t base = window.position();
    const std::int64_t limit = std::max<std::int64_t>(0, range_.end - base);
    const std::size_t starts =
        static_cast<std::int64_t>(got) <= limit
            ? got
            : static_cast<std::size_t>((limit + length_ - 1) / length_) * length;
    const std::size_t take = std::min(got, starts);
    batch.sliced = true;
    batch.start = base;
    batch.size = take;
    batch.count = (take + length - 1) / length;
    batch.bytes.assign(window.peek(take));
    window.consume(take);
    // The input ends with this batch, or the range ends within it.
    return take == got && got == want;
  }

  // fillFixed of a pipe or a decompressed stream: the records are read
  // straight into the batch, not into the window and copied from there.
  bool fillFixedRead(Batch &batch, InputWindow &window, std::size_t want) {
    const std::int64_t base = window.position();
    const std::int64_t limit = std::max<std::int64_t>(0, range_.end - base);
    // Records that begin before the range's end are read whole.
    const std::size_t ask =
        static_cast<std::int64_t>(want) <= limit
            ? want
            : static_cast<std::size_t>((limit + length_ - 1) / length_ * length_);
    if (ask == 0)
      return false;
    if (batch.bytes.size() < ask)
      batch.bytes.resize(ask);
    const std::size_t take = window.readInto(batch.bytes.data(), ask);
    batch.sliced = true;
    batch.start = base;
    batch.size = take;
    batch.count =
        (take + static_cast<std::size_t>(length_) - 1) / static_cast<std::size_t>(length_);
    // The input ends with this batch, or the range ends within it.
    return take == want;
  }

  // fillFixed over a plain file: the batch is only its place in the file,
  // which the worker reads (the bytes come into its own cache, and this
  // thread, which all the others wait for, neither reads nor copies them).
  bool fillFixedDirect(Batch &batch, std::size_t want) {
    const std::int64_t base = directAt_;
    // Near the end the file may have grown since: one thread reads on
    // until a read finds nothing more, so this one looks again.
    if (base + static_cast<std::int64_t>(want) > directEnd_)
      directEnd_ = std::max(directEnd_, fileEnd());
    const std::int64_t limit = std::min(range_.end, directEnd_) - base;
    if (limit <= 0)
      return false;
    // Records that begin before the range's end are whole where the file
    // has their bytes; the file's end cuts the last one short.
    const std::int64_t starts = std::min(range_.end - base, static_cast<std::int64_t>(want));
    const std::int64_t take =
        std::min((starts + length_ - 1) / length_ * length_, directEnd_ - base);
    batch.sliced = true;
    batch.start = base;
    batch.size = static_cast<std::size_t>(take);
    batch.count = static_cast<std::size_t>((take + length_ - 1) / length_);
    batch.readFrom = directFile_;
    batch.readShift = directShift_;
    directAt_ += take;
    // A batch that ends where the file ended is not the last: the next one
    // looks at the file's size again, as one thread reads on past the
    // bytes it has.
    return take == static_cast<std::int64_t>(want);
  }

  // The input position the file ends at, less -skip-trailer-bytes.
  std::int64_t fileEnd() const {
    struct stat status {};
    if (::fstat(directFile_, &status) != 0)
      return -1;
    return status.st_size - directShift_ - options_.skipTrailerBytes;
  }

  // The batches of plain F records of a plain file are read by the
  // workers: from the window's position to the end of the file (less
  // -skip-trailer-bytes).
  void readDirectly(const InputWindow &window) {
    directEnd_ = -1;
    if (options_.recordFormat != RecordFormat::fixed || stream_ == nullptr ||
        stream_->compression() != Compression::none)
      return;
    std::FILE *const stream = stream_->stream();
    const int file = ::fileno(stream);
    struct stat status {};
    // A size of 0 says nothing of what the file holds: files of /proc and
    // the like are read until a read finds nothing.
    if (file < 0 || ::fstat(file, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0)
      return;
    // Where the cursor is in the file: a standard input may not have
    // started at the file's first byte.
    const off_t told = ::ftello(stream);
    if (told < 0)
      return;
    directFile_ = file;
    directShift_ = told - static_cast<std::int64_t>(window.buffered()) - window.position();
    directAt_ = window.position();
    directEnd_ = std::max(directAt_, fileEnd());
  }

  // On a worker: a direct batch's bytes from its file; fewer at an error
  // or at an end of the file come early (the file shrank).
  static void readBatch(Batch &batch) {
    if (batch.bytes.size() < batch.size)
      batch.bytes.resize(batch.size);
    std::size_t have = 0;
    while (have < batch.size) {
      const ssize_t n = ::pread(batch.readFrom, batch.bytes.data() + have, batch.size - have,
                                batch.readShift + batch.start + static_cast<std::int64_t>(have));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0) {
        batch.readError = n < 0 ? errno : 0;
        break;
      }
      have += static_cast<std::size_t>(n);
    }
    batch.size = have;
  }

  // L: the batch is a run of whole lines taken at once.
  bool fillSlices(Batch &batch, InputWindow &window) {
    std::size_t want = batchBytes;
    while (true) {
      const std::size_t got = window.ensure(want);
      if (got == 0)
        return false;
      const std::string_view bytes = window.peek(got);
      const bool atEnd = got < want;
      const std::int64_t base = window.position();
      std::size_t at = 0;
      bool rangeEnds = false;
      while (at < bytes.size()) {
        if (base + static_cast<std::int64_t>(at) >= range_.end) {
          rangeEnds = true;
          break;
        }
        const std::size_t newline = bytes.find('\n', at);
        if (newline == std::string_view::npos && !atEnd)
          break;
        const std::size_t end = newline == std::string_view::npos ? bytes.size() : newline;
        std::size_t size = end - at;
        if (size > 0 && bytes[end - 1] == '\r')
          --size;
        const std::size_t next = newline == std::string_view::npos ? bytes.size() : newline + 1;
        batch.records.push_back(
            {base + static_cast<std::int64_t>(at), at, size, -1, 0, 0, 0, false});
        at = next;
      }
      if (at == 0 && !rangeEnds) { // a line longer than the batch: read on until it ends
        want *= 2;
        continue;
      }
      batch.bytes.assign(bytes.substr(0, at));
      window.consume(at);
      return !rangeEnds && !(atEnd && at == bytes.size());
    }
  }

  // V and VB: the records one by one as next() frames them, with what it
  // found wrong, until the batch holds its bytes.
  bool fillWalking(Batch &batch, InputWindow &window) {
    // A batch of records with nothing to say costs this thread a look at
    // each descriptor word and one copy; a batch with something is framed
    // record by record. After a walked batch the next fill finds the end.
    if (walkClean(batch, window))
      return true;
    batch.bytes.clear();
    Framed framed;
    while (batch.bytes.size() < batchBytes) {
      if (!next(window, framed))
        return false;
      const std::string_view data =
          window.peek(framed.dataAt + framed.dataSize).substr(framed.dataAt);
      const std::size_t problems = batch.framing.size();
      if (!framing_.empty())
        batch.framing.insert(batch.framing.end(), framing_.begin(), framing_.end());
      // Field by field in place, for the reason next() resets `framed` so.
      BatchRecord &record = batch.records.emplace_back();
      record.start = framed.start;
      record.at = batch.bytes.size();
      record.size = data.size();
      record.declared = framed.declared;
      record.dataOffset = dataOffset_;
      record.problemsFrom = problems;
      record.problemsTo = batch.framing.size();
      record.unreadable = framed.unreadable;
      batch.bytes.append(data);
      dataOffset_ = 0;
      window.consume(framed.consumed);
    }
    return true;
  }

  // The bytes a walked batch may take past batchBytes: its last record,
  // whose word may say up to 64 KB (and -rdw-adjust).
  static constexpr std::size_t walkMargin = 128 << 10;

  // V and VB records from the window's cursor that next() would frame
  // with no problem, walked by their descriptor words into `batch` (see
  // Batch::walked). Stops before a record with something to say, before
  // one not wholly in the window and at the range's end, as next() would;
  // false when it walked none (next() then frames what stopped it).
  bool walkClean(Batch &batch, InputWindow &window) {
    if (!blockProblem_.what.empty())
      return false;
    const bool blocked = options_.recordFormat == RecordFormat::variableBlocked;
    const std::size_t got = window.ensure(batchBytes + walkMargin);
    const std::string_view bytes = window.peek(got);
    const std::int64_t base = window.position();
    std::size_t at = 0; // after the last record walked
    std::size_t left = blockLeft_;
    std::size_t count = 0;
    while (at < batchBytes) {
      std::size_t word = at;
      std::size_t inBlock = left;
      if (base + static_cast<std::int64_t>(at) >= range_.end && (!blocked || left == 0))
        break;
      if (blocked && left == 0) {
        if (got - word < 4)
          break;
        const DescriptorWord block = readBlockWord(bytes.substr(word, 4), options_);
        if (block.length < 0 || block.reservedSet)
          break;
        inBlock = static_cast<std::size_t>(block.length) - 4;
        word += 4;
      }
      if (got - word < 4)
        break;
      const DescriptorWord record = readRecordWord(bytes.substr(word, 4), options_);
      if (record.length < 0 || record.reservedSet)
        break;
      const auto length = static_cast<std::size_t>(record.length);
      if (got - word < length || (blocked && length > inBlock))
        break;
      left = blocked ? inBlock - length : 0;
      at = word + length;
      ++count;
    }
    if (count == 0)
      return false;
    batch.walked = true;
    batch.start = base;
    batch.blockLeft = blockLeft_;
    batch.count = count;
    batch.bytes.assign(bytes.substr(0, at));
    blockLeft_ = left;
    window.consume(at);
    return true;
  }

  // On a worker: the batch's lines, warnings and counts, as record() would make them.
  void decodeBatch(Batch &batch, RecordDecoder &decoder) const {
    std::size_t used = 0;
    const std::size_t room = typed_ || raw != nullptr ? 0 : decoder.lineRoom();
    batch.recordValues.clear();
    batch.warnings.clear();
    batch.values.clear();
    batch.warned = 0;
    batch.written = 0;
    std::vector<DecodeProblem> &problems = batch.problems;
    std::string &padded = batch.padded;
    long long number = batch.firstNumber;
    if (batch.readFrom >= 0) {
      readBatch(batch);
      batch.count =
          (batch.size + static_cast<std::size_t>(length_) - 1) / static_cast<std::size_t>(length_);
    }
    // The record's problems, as warnings of record `number` whose data begins at `at`.
    const auto warn = [&](std::int64_t at) {
      for (const DecodeProblem &p : problems)
        if (warningValues != nullptr)
          batch.values.push_back(warningOf(number, at + p.offset, p));
        else
          appendWarning(batch.warnings, false, name_, number, at + p.offset, p);
    };
    // One record: `at` is where its data begins in the file, `framing` what
    // its framing found wrong.
    const auto decodeOne = [&](std::string_view data, std::int64_t declared, std::int64_t at,
                               bool unreadable, const DecodeProblem *framingFrom,
                               const DecodeProblem *framingTo) {
      problems.clear();
      if (!unreadable) {
        std::string_view input = data;
        if (options_.recordFormat == RecordFormat::lines &&
            data.size() < static_cast<std::size_t>(length_)) {
          padded.assign(data);
          padded.append(static_cast<std::size_t>(length_) - data.size(),
                        static_cast<char>(page_space_));
          input = padded;
        }
        char *end = nullptr;
        if (room != 0) {
          if (batch.text.size() < used + room)
            batch.text.resize(std::max(2 * batch.text.size(), used + room));
          end = decoder.decodeLine(input, declared, batch.text.data() + used, problems);
        }
        if (end != nullptr) {
          used = static_cast<std::size_t>(end - batch.text.data());
        } else if (typed_) {
          decoder.decode(input, declared, batch.recordValues, problems);
        } else {
          batch.text.resize(used);
          decoder.decode(input, declared, batch.text, problems);
          if (raw != nullptr)
            raw->append(batch.text, used, data, problems);
          used = batch.text.size();
        }
        if (fixedLength_ && static_cast<std::int64_t>(input.size()) < length_ && problems.empty())
          problems.push_back(DecodeProblem{"", "truncated record", 0, ""});
        ++batch.written;
      }
      if (framingFrom != framingTo)
        problems.insert(problems.begin(), framingFrom, framingTo);
      if (!problems.empty())
        ++batch.warned;
      warn(at);
      ++number;
    };
    if (batch.walked) {
      const bool blocked = options_.recordFormat == RecordFormat::variableBlocked;
      const std::string_view bytes(batch.bytes);
      std::size_t left = batch.blockLeft;
      for (std::size_t at = 0; at < bytes.size();) {
        if (blocked && left == 0) {
          left = static_cast<std::size_t>(readBlockWord(bytes.substr(at, 4), options_).length) - 4;
          at += 4;
        }
        const auto length =
            static_cast<std::size_t>(readRecordWord(bytes.substr(at, 4), options_).length);
        decodeOne(bytes.substr(at + 4, length - 4), static_cast<std::int64_t>(length) - 4,
                  batch.start + static_cast<std::int64_t>(at) + 4, false, nullptr, nullptr);
        at += length;
        left = blocked ? left - length : 0;
      }
    } else if (batch.sliced) {
      const auto length = static_cast<std::size_t>(length_);
      const std::string_view bytes(batch.bytes.data(), batch.size);
      std::size_t at = 0;
      // Whole records as lines, in the loop one thread runs: decodeOne's
      // questions have one answer for them (no padding, no framing, never
      // truncated), and asked per record they cost -j 2 about 5 % of its
      // processor time.
      if (room != 0 && options_.recordFormat != RecordFormat::lines) {
        const std::size_t whole = bytes.size() / length * length;
        for (; at < whole; at += length) {
          if (batch.text.size() < used + room)
            batch.text.resize(std::max(2 * batch.text.size(), used + room));
          problems.clear();
          char *const end =
              decoder.decodeLine(bytes.substr(at, length), -1, batch.text.data() + used, problems);
          // Not a line: decodeOne takes this record the other way.
          if (end == nullptr)
            break;
          used = static_cast<std::size_t>(end - batch.text.data());
          ++batch.written;
          if (!problems.empty()) {
            ++batch.warned;
            warn(batch.start + static_cast<std::int64_t>(at));
          }
          ++number;
        }
      }
      for (; at < bytes.size(); at += length)
        decodeOne(bytes.substr(at, length), -1, batch.start + static_cast<std::int64_t>(at), false,
                  nullptr, nullptr);
    } else {
      const DecodeProblem *const framing = batch.framing.data();
      for (const BatchRecord &record : batch.records)
        decodeOne(std::string_view(batch.bytes.data() + record.at, record.size), record.declared,
                  record.start + record.dataOffset, record.unreadable,
                  framing + record.problemsFrom, framing + record.problemsTo);
    }
    batch.textSize = used;
  }

  // Writes a decoded batch and frees its slot; false when the output failed.
  bool writeBatch(std::size_t slot) {
    Batch &batch = batches_[slot];
    long long call = -1; // this batch's write, when it made one
    if (typed_) {
      if (batch.recordValues.records() != 0) {
        call = calls_;
        if (!writeValues(batch.recordValues))
          failed_ = true;
        if (rolledBack_)
          return false;
      }
    } else if (batch.textSize != 0 &&
               !out_.write(std::string_view(batch.text.data(), batch.textSize))) {
      failed_ = true;
    }
    // Printed only once the writes before them are known to have been made.
    if ((!batch.warnings.empty() || batch.readError != 0) && !settle(call) && rolledBack_)
      return false;
    if (!batch.warnings.empty())
      messages_.print(batch.warnings);
    if (warningValues != nullptr)
      for (const DecodeWarning &value : batch.values)
        (*warningValues)(value);
    if (batch.readError != 0) {
      messages_.print("vexfcbl-decode: cannot read " + name_ + ": " +
                      std::strerror(batch.readError) + "\n");
      failed_ = true;
    }
    counts.read += static_cast<long long>(batch.count);
    counts.written += batch.written;
    counts.warned += batch.warned;
    if (call >= 0 && !unsettled_.empty() && unsettled_.back().call == call)
      unsettled_.back().after = counts;
    progress_.at(batch.end, counts.read);
    pool_->release();
    return !failed_;
  }

  const DecodeOptions &options_;
  std::vector<RecordDecoder> &decoders_;
  RecordDecoder &decoder_;
  std::string warning_;
  RecordSink &out_;
  const bool typed_;    // the sink takes values
  const bool shaped_;   // ... and the lines' shape: ids, trees, header and trailer records
  const bool deferred_; // ... and writes them on a thread of its own
  // The counts before and after each write call not known to be written yet (deferred_).
  struct Unsettled {
    long long call;
    Counts before;
    Counts after;
  };
  std::deque<Unsettled> unsettled_;
  long long calls_ = 0;                     // write(RecordValues &) calls made
  bool rolledBack_ = false;                 // restore() put the run back to a failed call
  RecordValues single_;                     // one record decoded apart (shaped_)
  std::optional<ValueHierarchy> valueTree_; // -child's trees as values (shaped_)
  // The body's records waiting for the sink as values: handed over in
  // batches of `valueBatch`, and at the end of each file.
  static constexpr std::size_t valueBatch = 4096;
  RecordValues values_;
  std::int64_t length_;
  StatusLine &messages_;
  DecodeProgress &progress_;
  std::string name_;
  std::string text_;
  std::string lines_; // the lines decodeLine writes: fixedLines' many, record()'s one
  // Small enough that the lines and the input window stay in the core's L2
  // cache: a 4 MB buffer made every line's stores fetch their cache lines
  // from further out (JSON Lines took 7 % more processor time).
  static constexpr std::size_t lineBatch = 256 << 10;
  std::string line_;
  std::vector<DecodeProblem> problems_;
  const FramingParts &parts_;
  bool fixedLength_; // F records of -lrecl bytes, no other framing
  const DataStream *stream_ = nullptr;
  std::vector<DecodeProblem> framing_; // the framing's problems with the next record
  DecodeProblem blockProblem_;         // a block word's problem, for its first record
  bool atFirst_ = false;               // the next record is the file's first
  bool treeRange_ = false;             // -range over a hierarchy: whole trees
  bool seenRoot_ = true;               // a root segment began in the range
  bool beyondRange_ = false;           // the records read now begin after the range
  std::size_t blockLeft_ = 0;
  std::int64_t dataOffset_ = 0;
  std::size_t rawLength_ = std::string_view::npos;
  ByteRange range_;
  long long numberBase_ = 0;     // the whole-file number of the record before the first
  long long framedCount_ = 0;    // -j N: records framed so far, ahead of those written
  std::vector<Batch> batches_;   // -j N: the pool's ring, made with it
  int directFile_ = -1;          // -j N over plain F records of a plain file: the
  std::int64_t directAt_ = 0;    // file the workers read, the next batch's place,
  std::int64_t directEnd_ = -1;  // and where its records end (-1: not so read)
  std::int64_t directShift_ = 0; // the file offset of input position 0
  std::optional<BatchPool> pool_;

public:
  bool failed_ = false;
};

// JSON Lines and CSV: the lines are the output.
class StreamSink : public RecordSink {
public:
  explicit StreamSink(std::FILE *out) : out_(out), fd_(::fileno(out)) {}
  bool write(std::string_view lines) override {
    if (lines.size() >= directBytes && fd_ >= 0)
      return writeDirect(lines);
    return std::fwrite(lines.data(), 1, lines.size(), out_) == lines.size();
  }
  bool finish() override { return true; }

private:
  // Many records' lines at once (a batch of -j N, fixedLines' gathering)
  // go to the file descriptor whole: stdio would first copy most of them
  // into its buffer, a pass over the whole output that -j N paid on the
  // thread that also reads the input.
  static constexpr std::size_t directBytes = 64 << 10;

  bool writeDirect(std::string_view lines) {
    // What stdio holds goes first, so that the output keeps its order.
    if (std::fflush(out_) != 0)
      return false;
    while (!lines.empty()) {
      const ssize_t n = ::write(fd_, lines.data(), lines.size());
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        break;
      lines.remove_prefix(static_cast<std::size_t>(n));
    }
    if (lines.empty())
      return true;
    // A failed write: stdio writes the rest and meets the failure itself,
    // so that the stream's error state and the run's message are those of
    // a write through it.
    return std::fwrite(lines.data(), 1, lines.size(), out_) == lines.size() &&
           std::fflush(out_) == 0;
  }

  std::FILE *out_;
  int fd_; // -1 for a stream of no file descriptor (a spooled -o file)
};

// -splits: one line START:END:FIRST per range (START:END for L).
int writeSplits(const std::string &path, const DecodeOptions &options, std::int64_t length,
                std::FILE *out) {
  std::string warnings;
  std::vector<SplitRange> ranges;
  try {
    ranges = planSplits(path, options, length, options.splitSize, warnings);
  } catch (const SplitError &error) {
    std::fputs(warnings.c_str(), stderr);
    std::fputs(error.message.c_str(), stderr);
    return 1;
  }
  std::fputs(warnings.c_str(), stderr);
  for (const SplitRange &range : ranges) {
    if (range.firstRecord > 0)
      std::fprintf(out, "%lld:%lld:%lld\n", static_cast<long long>(range.start),
                   static_cast<long long>(range.end), range.firstRecord);
    else
      std::fprintf(out, "%lld:%lld\n", static_cast<long long>(range.start),
                   static_cast<long long>(range.end));
  }
  return 0;
}

// The first bytes of each data file that the hints look at.
constexpr std::size_t hintSample = 64 << 10;

// Every file an output must not be: the data files (or the standard input)
// and the copybooks the front end read.
std::vector<RunInput> inputsOf(const std::vector<RunInput> &dataFiles,
                               const std::vector<std::string> &copybooks) {
  std::vector<RunInput> inputs = dataFiles;
  if (dataFiles.empty())
    if (std::optional<RunInput> in = standardInput())
      inputs.push_back(std::move(*in));
  for (RunInput &copybook : copybookInputs(copybooks))
    inputs.push_back(std::move(copybook));
  return inputs;
}

// The bytes a run will read: -1 when a data file's size is not known.
std::int64_t bytesToRead(const std::vector<RunInput> &files, const DecodeOptions &options) {
  std::int64_t total = 0;
  for (const RunInput &file : files) {
    // A compressed file's size says nothing of the bytes read from it.
    if (file.size < 0 || compressionOf(file.head) != Compression::none)
      return -1;
    total += file.size;
  }
  if (options.range && !files.empty())
    total = std::min(total, options.range->end) - std::min(total, options.range->start);
  return total;
}

// The -header and -trailer records whose lines the output holds beside the
// body's (not those -header-out takes).
std::vector<const DecodePlan *> endsInOutput(const DecodeOptions &options, const DecodePlan &header,
                                             const DecodePlan &trailer) {
  std::vector<const DecodePlan *> ends;
  if (!options.headerOutput.empty())
    return ends;
  if (!options.headerRecord.empty())
    ends.push_back(&header);
  if (!options.trailerRecord.empty())
    ends.push_back(&trailer);
  return ends;
}

} // namespace

int decodeFiles(const std::string &copybook, const FrontEndOptions &frontEnd,
                const DecodeOptions &options, const std::vector<std::string> &dataFiles,
                const std::string &outputFile) {
  return decodeFiles(std::vector<std::string>{copybook}, frontEnd, options, dataFiles, outputFile,
                     OutputWriters{});
}

int decodeFiles(const std::vector<std::string> &copybooks, const FrontEndOptions &frontEnd,
                const DecodeOptions &options, const std::vector<std::string> &dataFiles,
                const std::string &outputFile, const OutputWriters &writers) {
  SignalStop stop("vexfcbl-decode");
  const bool lakeFormat =
      options.format == OutputFormat::avro || options.format == OutputFormat::parquet;
  if ((lakeFormat && !writers.sink) || (!options.schemaFile.empty() && !writers.schema)) {
    std::fputs("vexfcbl-decode: this program cannot write that format\n", stderr);
    return 1;
  }
  if (lakeFormat && outputFile.empty() && options.splitSize == 0 && ::isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "vexfcbl-decode: -format %s writes a binary file: give -o FILE\n",
                 options.format == OutputFormat::avro ? "avro" : "parquet");
    return 1;
  }
  if ((options.range || options.splitSize > 0) &&
      (dataFiles.size() != 1 || dataFiles.front() == "-")) {
    std::fprintf(stderr, "vexfcbl-decode: -%s needs exactly one data file, not standard input\n",
                 options.range ? "range" : "splits");
    return 1;
  }
  if (options.range && options.splitSize > 0) {
    std::fputs("vexfcbl-decode: -range and -splits cannot be combined\n", stderr);
    return 1;
  }
  if (const std::string refused = framingRefusal(options, outputFile); !refused.empty()) {
    std::fputs(refused.c_str(), stderr);
    return 1;
  }
  if (const std::string refused = nestingConflict(options); !refused.empty()) {
    std::fprintf(stderr, "vexfcbl-decode: %s\n", refused.c_str());
    return 1;
  }
  const std::optional<CodePage> page = CodePage::open(options.codePage);
  if (!page) {
    std::fprintf(stderr, "vexfcbl-decode: code page %s is not known\n", options.codePage.c_str());
    return 1;
  }
  if (!options.dbcs.empty() && !DbcsPage::open(options.dbcs)) {
    std::fprintf(stderr, "vexfcbl-decode: code page %s is not known\n", options.dbcs.c_str());
    return 1;
  }
  VexCblConfig config;
  config.commaDecimalPoint = options.commaDecimalPoint;
  config.lenient = frontEnd.lenient;
  std::vector<std::string> filesRead;
  std::optional<RecordModel> model;
  std::optional<RunPlan> runPlan;
  try {
    std::optional<CopybookSet> copybookSet = loadCopybooks(copybooks, frontEnd, config);
    if (!copybookSet)
      return 1;
    filesRead = std::move(copybookSet->filesRead);
    model.emplace(std::move(copybookSet->model));
    runPlan.emplace(*model, options, *page);
    // The schema file must not be any file the run reads.
    if (!options.schemaFile.empty())
      writers.schema(*model, runPlan->plan,
                     endsInOutput(options, runPlan->headerPlan, runPlan->trailerPlan), options,
                     inputsOf(checkDataFiles(dataFiles, 0), filesRead));
  } catch (const RunFileError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  } catch (const ModelError &) {
    return 1;
  } catch (const PlanError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  } catch (const SinkError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  }
  const DecodePlan &plan = runPlan->plan;
  // -schema alone: nothing to decode.
  if (!options.schemaFile.empty() && dataFiles.empty() && outputFile.empty())
    return 0;
  const std::int64_t layoutLength = runPlan->layoutLength;
  const std::int64_t length = runPlan->recordLength;
  if (length <= 0) {
    std::fputs("vexfcbl-decode: the record has no length\n", stderr);
    return 1;
  }
  try {
    // Every input is checked, and the output opened beside its place,
    // before a byte is written.
    const std::vector<RunInput> files = checkDataFiles(dataFiles, hintSample);
    if (options.range && files.front().size >= 0 && options.range->start > files.front().size) {
      std::fprintf(stderr,
                   "vexfcbl-decode: %s: the range starts at byte %lld, beyond the end of the "
                   "file (%lld bytes)\n",
                   dataFiles.front().c_str(), static_cast<long long>(options.range->start),
                   static_cast<long long>(files.front().size));
      return 1;
    }
    if (options.range || options.splitSize > 0)
      if (const std::string why = unsplittable(options, files); !why.empty()) {
        std::fprintf(stderr, "vexfcbl-decode: -%s cannot be used: %s\n",
                     options.range ? "range" : "splits", why.c_str());
        return 1;
      }
    const std::vector<RunInput> inputs = inputsOf(files, filesRead);
    DecodeOutput output(outputFile, inputs, &stop);
    std::optional<DecodeOutput> headerOutput;
    if (!options.headerOutput.empty() && options.splitSize == 0)
      headerOutput.emplace(options.headerOutput, inputs, &stop);
    std::FILE *out = output.stream();
    static char outputBuffer[1 << 20];
    std::setvbuf(out, outputBuffer, _IOFBF, sizeof outputBuffer);
    HintSettings hints;
    hints.format = options.recordFormat;
    hints.recordLength = length;
    hints.layoutLength = layoutLength;
    hints.lengthGiven = options.recordLength != 0;
    hints.ebcdic = page->ebcdic();
    hints.codePage = options.codePage;
    hints.wholeFiles = !options.range;
    hints.littleEndianWords = options.littleEndianWords;
    hints.descriptorAdjust = options.descriptorAdjust;
    if (options.splitSize > 0) {
      if (writeSplits(dataFiles.front(), options, length, out) != 0)
        return 1;
      output.commit();
      const std::string hint =
          options.quiet ? "" : dataHint(hints, hintedFiles(files, options), -1, -1);
      if (!hint.empty())
        std::fprintf(stderr, "vexfcbl-decode: %s\n", hint.c_str());
      return 0;
    }
    // -strict stops at the first bad record, which one thread finds in order.
    const int jobs = options.strict ? 1 : options.jobs;
    std::vector<RecordDecoder> decoders;
    for (int j = 0; j < jobs; ++j)
      decoders.emplace_back(plan, options, *page);
    RunParts runParts(*runPlan, options, *page, out,
                      headerOutput ? headerOutput->stream() : nullptr);
    const FramingParts &parts = runParts.framing();
    RecordDecoder &decoder = decoders.front();
    StatusLine messages(stderr,
                        !options.quiet && !dataFiles.empty() && StatusLine::isTerminal(stderr));
    bool completed = true;
    Counts counts;
    bool failed = false;
    {
      DecodeProgress progress(messages, bytesToRead(files, options));
      StreamSink stream(out);
      std::unique_ptr<RecordSink> lake;
      const std::vector<const DecodePlan *> ends =
          endsInOutput(options, runPlan->headerPlan, runPlan->trailerPlan);
      if (lakeFormat)
        lake = writers.sink(SinkRequest{*model, plan, options, out, ends});
      RecordSink &sink = lake ? *lake : stream;
      Run run(options, decoders, sink, length, messages, progress, parts);
      const std::vector<int> bases = endFieldBases(plan, ends);
      for (std::size_t e = 0; e < ends.size(); ++e)
        (ends[e] == &runPlan->headerPlan ? run.headerFieldBase : run.trailerFieldBase) = bases[e];
      run.page_space_ = page->space();
      const RawBytes rawBytes(plan, options.format == OutputFormat::csv);
      if (options.raw)
        run.raw = &rawBytes;
      if (options.range)
        run.limit(*options.range);
      std::string header = decoder.header();
      if (options.raw && !header.empty())
        rawBytes.header(header);
      if (options.ids && !header.empty())
        header.insert(0, idColumns());
      std::fwrite(header.data(), 1, header.size(), out);
      try {
        if (dataFiles.empty()) {
          const DataStream stream(stdin, "-");
          completed = run.file(stream.stream(), "-", &stream);
        } else {
          std::int64_t before = 0;
          for (const RunInput &file : files) {
            const FileHandle in(std::fopen(file.name.c_str(), "rb"));
            if (!in) {
              if (!run.settle()) {
                completed = false;
                break;
              }
              messages.print("vexfcbl-decode: cannot read " + file.name + ": " +
                             std::strerror(errno) + "\n");
              run.failed_ = true;
              break;
            }
            progress.startFile(options.range ? options.range->start : 0, before);
            const DataStream stream(in.get(), file.name);
            completed = run.file(stream.stream(), file.name, &stream);
            if (!completed || run.failed_)
              break;
            before += std::max<std::int64_t>(0, file.size);
          }
        }
        // A run stopped early too ends where its writes' failure would have ended it.
        if (!run.settle())
          completed = false;
        if (completed && !run.failed_ && !sink.finish())
          run.failed_ = true;
      } catch (const SinkError &error) {
        messages.print(error.message);
        run.failed_ = true;
      }
      counts = run.counts;
      failed = run.failed_;
    }
    int status = completed && !failed ? 0 : 1;
    if (status == 0) {
      try {
        if (headerOutput)
          headerOutput->commit();
        output.commit();
      } catch (const RunFileError &error) {
        std::fputs(error.message.c_str(), stderr);
        status = 1;
      }
    } else {
      std::fputs(output.failure().c_str(), stderr);
      if (!outputFile.empty())
        std::fprintf(stderr, "vexfcbl-decode: nothing written to %s\n", outputFile.c_str());
    }
    if (!options.quiet) {
      std::fprintf(stderr, "vexfcbl-decode: %lld records read, %lld written, %lld with warnings\n",
                   counts.read, counts.written, counts.warned);
      const std::string hint =
          dataHint(hints, hintedFiles(files, options), counts.read, counts.warned);
      if (!hint.empty())
        std::fprintf(stderr, "vexfcbl-decode: %s\n", hint.c_str());
    }
    return status;
  } catch (const RunFileError &error) {
    std::fputs(error.message.c_str(), stderr);
    return 1;
  } catch (const SinkError &error) {
    // The writer of -format refused before a record was written.
    std::fputs(error.message.c_str(), stderr);
    return 1;
  }
}

StreamCounts decodeRecordStream(const RunPlan &runPlan, const DecodeOptions &options,
                                const CodePage &page, std::FILE *in, const std::string &name,
                                std::FILE *out, std::FILE *messages,
                                const std::function<void(const DecodeWarning &)> &warned,
                                RecordSink *records) {
  const DecodePlan &plan = runPlan.plan;
  const int jobs = options.strict ? 1 : options.jobs;
  std::vector<RecordDecoder> decoders;
  for (int j = 0; j < jobs; ++j)
    decoders.emplace_back(plan, options, page);
  StatusLine lines(messages, false);
  DecodeProgress progress(lines, -1);
  RunParts parts(runPlan, options, page, out);
  StreamSink stream(out);
  RecordSink &sink = records != nullptr ? *records : stream;
  Run run(options, decoders, sink, runPlan.recordLength, lines, progress, parts.framing());
  run.page_space_ = page.space();
  run.warningValues = &warned;
  const RawBytes rawBytes(plan, options.format == OutputFormat::csv);
  if (options.raw)
    run.raw = &rawBytes;
  if (options.range)
    run.limit(*options.range);
  std::string header = decoders.front().header();
  if (options.raw && !header.empty())
    rawBytes.header(header);
  if (options.ids && !header.empty())
    header.insert(0, idColumns());
  StreamCounts counts;
  if (std::fwrite(header.data(), 1, header.size(), out) != header.size())
    run.failed_ = true;
  else {
    const DataStream stream(in, name);
    counts.completed = run.file(stream.stream(), name, &stream);
  }
  counts.read = run.counts.read;
  counts.written = run.counts.written;
  counts.warned = run.counts.warned;
  counts.failed = run.failed_;
  counts.completed = counts.completed && !run.failed_;
  return counts;
}

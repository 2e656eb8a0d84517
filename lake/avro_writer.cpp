// Avro output: each decoded record's values encoded as its Avro datum, which the library's file
// writer blocks and compresses.
#include "lake/avro_writer.h"

#include <avro.h>

#include <cstdlib>
#include <cstring>

#include "lake/byte_buffer.h"
#include "lake/decimal_text.h"
#include "lake/record_plan.h"
#include "lake/schema_writers.h"
#include "lake/value_walk.h"
#include "lake/writing_thread.h"

namespace {

void appendLong(std::string &out, std::int64_t value) {
  char bytes[10];
  out.append(bytes, static_cast<std::size_t>(putZigzag(bytes, value) - bytes));
}

// A record's datum as it grows, in Avro's binary encoding.
class Datum : public ByteBuffer {
public:
  void putLong(std::int64_t value) { grow(putZigzag(room(10), value)); }
  void putBytes(std::string_view bytes) {
    grow(putZigzag(room(10), static_cast<std::int64_t>(bytes.size())));
    append(bytes);
  }
  template <class T> void putFixed(T value) { appendFixed(value); }
  void putDecimal(std::int64_t whole) { grow(putDecimalBytes(room(9), whole)); }
};

// The values a plan's step writes without the whole of leaf(): whole
// numbers already at the field's scale, and strings.
enum class Fast : std::uint8_t { none, integer, decimal, text };

// A step of a plan: the leaf value at `token` (from the record's first
// token) with its union branch when `nullable`, or (token noValue) the
// bytes the record's structure alone makes (union branches, array counts),
// up to 16 of them.
struct AvroOp {
  std::uint32_t token = noValue;
  Fast fast = Fast::none;
  bool nullable = false;
  std::uint8_t size = 0;
  int scale = 0;
  int bits = 0;
  const LakeNode *node = nullptr;
  char bytes[16] = {};
};

// Reads a zigzag long at `at`; false when the bytes end first.
bool readLong(const std::string &in, std::size_t &at, std::int64_t &value) {
  std::uint64_t raw = 0;
  for (int shift = 0; shift < 64; shift += 7) {
    if (at >= in.size())
      return false;
    const auto byte = static_cast<unsigned char>(in[at++]);
    raw |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) {
      value = static_cast<std::int64_t>(raw >> 1) ^ -static_cast<std::int64_t>(raw & 1);
      return true;
    }
  }
  return false;
}

// The library writes the schema it parsed, which has lost the decimal
// logical type (it keeps no attributes it does not know). The stream it
// writes to passes through this filter, which puts the schema as written
// into the file's header and leaves every later byte as it is.
class HeaderFilter {
public:
  HeaderFilter(std::FILE *out, std::string schema) : out_(out), schema_(std::move(schema)) {}

  static ssize_t write(void *cookie, const char *data, std::size_t size) {
    auto &self = *static_cast<HeaderFilter *>(cookie);
    if (self.discarding_)
      return static_cast<ssize_t>(size);
    if (self.headerDone_)
      return self.pass(data, size) ? static_cast<ssize_t>(size) : 0;
    self.pending_.append(data, size);
    std::string header;
    std::size_t used = 0;
    if (!self.rewrite(header, used))
      return static_cast<ssize_t>(size); // the header is not complete yet
    self.headerDone_ = true;
    if (!self.pass(header.data(), header.size()) ||
        !self.pass(self.pending_.data() + used, self.pending_.size() - used))
      return 0;
    self.pending_.clear();
    return static_cast<ssize_t>(size);
  }
  bool failed() const { return failed_; }
  bool complete() const { return headerDone_; }
  // Every later byte taken and dropped: the library frees its writer only
  // when its last block is flushed, and an output that already failed
  // would otherwise keep it from ever doing so.
  void discard() { discarding_ = true; }

private:
  bool pass(const char *data, std::size_t size) {
    if (std::fwrite(data, 1, size, out_) != size)
      failed_ = true;
    return !failed_;
  }
  // The header with the schema replaced, once `pending_` holds all of it:
  // magic, metadata map, sync marker.
  bool rewrite(std::string &header, std::size_t &used) const {
    std::size_t at = 4;
    if (pending_.size() < at)
      return false;
    header = pending_.substr(0, 4);
    std::string entries;
    std::int64_t count = 0;
    std::int64_t total = 0;
    while (true) {
      if (!readLong(pending_, at, count))
        return false;
      if (count == 0)
        break;
      std::int64_t blockBytes = 0;
      if (count < 0 && !readLong(pending_, at, blockBytes))
        return false;
      for (std::int64_t i = 0; i < (count < 0 ? -count : count); ++i) {
        std::string parts[2];
        for (std::string &part : parts) {
          std::int64_t length = 0;
          if (!readLong(pending_, at, length) ||
              pending_.size() - at < static_cast<std::size_t>(length))
            return false;
          part = pending_.substr(at, static_cast<std::size_t>(length));
          at += static_cast<std::size_t>(length);
        }
        if (parts[0] == "avro.schema")
          parts[1] = schema_;
        for (const std::string &part : parts) {
          appendLong(entries, static_cast<std::int64_t>(part.size()));
          entries += part;
        }
        ++total;
      }
    }
    if (pending_.size() - at < 16)
      return false;
    appendLong(header, total);
    header += entries;
    appendLong(header, 0);
    header.append(pending_, at, 16);
    used = at + 16;
    return true;
  }

  std::FILE *out_;
  std::string schema_;
  std::string pending_;
  bool headerDone_ = false;
  bool failed_ = false;
  bool discarding_ = false;
};

// The walk of the schema over a record's values that encodes its datum (Avro's binary
// encoding: zigzag varints, length-prefixed bytes, union branches, array blocks), learning
// the plans of the shapes it meets; a sink's own, and one apart for each decoder that
// compiles a layout's direct steps (AvroSink::compile), so that those need no lock.
class AvroWalk {
public:
  explicit AvroWalk(const LakeSchema &schema) : schema_(schema) {}

  // The datum of the record at `object`, by the walk, its steps to `learning` (from the
  // record's first token) when not nullptr.
  void walk(const RecordValues &records, std::uint32_t object, std::vector<AvroOp> *learning) {
    learning_ = learning;
    learningBase_ = object;
    if (rowNodeOf(schema_) != 0)
      encode(rowNodeOf(schema_), records, object + 2, false);
    else
      encode(0, records, object, false);
    learning_ = nullptr;
  }

  [[noreturn]] void refuse(const LakeNode &node, std::string_view value, const char *why) const {
    throw SinkError{"vexfcbl-decode: -format avro: " + node.name + ": " + std::string(value) +
                    ": " + why + "\n"};
  }

  // Bytes the record's structure alone makes; learned as a plan's step.
  void constant(std::int64_t value) {
    const std::size_t at = datum_.size();
    datum_.putLong(value);
    if (learning_ != nullptr)
      learnBytes(datum_.data() + at, datum_.size() - at);
  }
  void learnBytes(const char *bytes, std::size_t size) {
    if (learning_->empty() || learning_->back().token != noValue ||
        learning_->back().size + size > sizeof(AvroOp::bytes))
      learning_->push_back(AvroOp{});
    AvroOp &op = learning_->back();
    std::memcpy(op.bytes + op.size, bytes, size);
    op.size = static_cast<std::uint8_t>(op.size + size);
  }

  // The datum of a record by its plan: the common values written here
  // through a pointer into room made once (the plan's bound, and a
  // string's length where one comes), the others by leaf().
  void encode(const RecordPlans<AvroOp>::Plan &plan, const RecordValues &records,
              std::uint32_t base) {
    char *at = datum_.room(plan.room);
    for (const AvroOp &op : plan.ops) {
      if (op.token == noValue) {
        std::memcpy(at, op.bytes, sizeof op.bytes);
        at += op.size;
        continue;
      }
      const ValueToken &value = records[base + op.token];
      switch (op.fast) {
      case Fast::text:
        if (value.type == ValueType::string) {
          const std::string_view text = records.text(value);
          datum_.grow(at);
          at = datum_.room(plan.room + text.size());
          if (op.nullable)
            *at++ = 2; // the union's branch 1, zigzag
          at = putZigzag(at, static_cast<std::int64_t>(text.size()));
          if (!text.empty())
            std::memcpy(at, text.data(), text.size());
          at += text.size();
          continue;
        }
        break;
      case Fast::integer:
        if (value.type == ValueType::scaled && RecordValues::scale(value) == 0) {
          const std::int64_t whole = records.unscaled(value);
          if (op.bits > 32 || (whole >= INT32_MIN && whole <= INT32_MAX)) {
            if (op.nullable)
              *at++ = 2;
            at = putZigzag(at, whole);
            continue;
          }
        }
        break;
      case Fast::decimal:
        if (value.type == ValueType::scaled && RecordValues::scale(value) == op.scale) {
          if (op.nullable)
            *at++ = 2;
          at = putDecimalBytes(at, records.unscaled(value));
          continue;
        }
        break;
      case Fast::none:
        break;
      }
      datum_.grow(at);
      leaf(*op.node, op.nullable, records, base + op.token);
      at = datum_.room(plan.room);
    }
    datum_.grow(at);
  }

  // The room a plan's steps take at most, strings' bytes aside.
  static std::size_t planRoom(const std::vector<AvroOp> &ops) {
    std::size_t room = 0;
    for (const AvroOp &op : ops)
      room += op.token == noValue ? sizeof op.bytes : 1 + 10; // branch, varint or decimal
    return room;
  }

  // The datum of lake node `index` from the value at `token` (noValue: its key is missing).
  void encode(int index, const RecordValues &records, std::uint32_t token, bool element) {
    const LakeNode &node = schema_.nodes[static_cast<std::size_t>(index)];
    const bool nullable = lakeNullable(node, element);
    if (node.type != LakeType::record && (!node.isArray || element)) {
      if (learning_ != nullptr && token == noValue) {
        const char branch = 0; // a missing key's: null
        if (nullable)
          learnBytes(&branch, 1);
      } else if (learning_ != nullptr) {
        const Fast fast = node.type == LakeType::integer   ? Fast::integer
                          : node.type == LakeType::decimal ? Fast::decimal
                          : node.type == LakeType::text || node.type == LakeType::numberText
                              ? Fast::text
                              : Fast::none;
        learning_->push_back(
            AvroOp{token - learningBase_, fast, nullable, 0, node.scale, node.bits, &node, {}});
      }
      return leaf(node, nullable, records, token);
    }
    // A group's or array's branch is the record structure's, a plan's constant.
    if (!present(node, nullable, records, token, true))
      return;
    const ValueToken &value = records[token];
    const auto text = [&] { return textOf(records, value); };
    if (node.isArray && !element) {
      if (value.type != ValueType::array)
        refuse(node, text(), "not an array");
      std::int64_t count = 0;
      for (std::uint32_t item = token + 1; item < value.next; item = records[item].next)
        ++count;
      // One block of all the items, then the empty block that ends the array.
      if (count > 0) {
        constant(count);
        for (std::uint32_t item = token + 1; item < value.next; item = records[item].next)
          encode(index, records, item, true);
      }
      constant(0);
      return;
    }
    if (value.type != ValueType::object)
      refuse(node, text(), "not an object");
    forEachMember(schema_, node, records, token,
                  [&](int child, std::uint32_t member) { encode(child, records, member, false); });
  }

  // Whether the value of `node` at `token` (noValue: its key is missing)
  // is there to write, after its union's branch when `nullable` (through
  // constant() when `structural`: a plan being learned keeps it); a null
  // the schema does not let be is refused.
  bool present(const LakeNode &node, bool nullable, const RecordValues &records,
               std::uint32_t token, bool structural) {
    const bool absent = token == noValue || records[token].type == ValueType::null;
    if (nullable) {
      // The union is ["null", type]: its branch first.
      if (structural)
        constant(absent ? 0 : 1);
      else
        datum_.putLong(absent ? 0 : 1);
      return !absent;
    }
    if (absent)
      refuse(node, "null", "a value the schema does not let be null");
    return true;
  }

  // A value's text, made only where it is written or shown: a scaled
  // number has none until then (its text is made in numberText_).
  std::string_view textOf(const RecordValues &records, const ValueToken &value) {
    return value.type == ValueType::string ? records.text(value)
           : value.type == ValueType::number || value.type == ValueType::scaled
               ? records.numberText(value, numberText_)
               : std::string_view();
  }

  // The datum of leaf `node` from the value at `token` (noValue: its key
  // is missing), after its union branch when `nullable`: the walk's and the plans' alike.
  void leaf(const LakeNode &node, bool nullable, const RecordValues &records, std::uint32_t token) {
    if (!present(node, nullable, records, token, false))
      return;
    const ValueToken &value = records[token];
    const auto text = [&] { return textOf(records, value); };
    switch (node.type) {
    case LakeType::record:
      return;
    case LakeType::text:
    case LakeType::numberText:
      return datum_.putBytes(text());
    case LakeType::integer: {
      std::int64_t whole = 0;
      const bool read = value.type == ValueType::scaled
                            ? rescale(records.unscaled(value), RecordValues::scale(value), 0, whole)
                            : value.type == ValueType::number && unscaledInt64(text(), 0, whole);
      if (!read || (node.bits <= 32 && (whole < INT32_MIN || whole > INT32_MAX)))
        refuse(node, text(), "not a whole number of the field's range");
      return datum_.putLong(whole); // int and long share the zigzag varint
    }
    case LakeType::decimal: {
      std::int64_t whole = 0;
      if (value.type == ValueType::scaled &&
          rescale(records.unscaled(value), RecordValues::scale(value), node.scale, whole))
        return datum_.putDecimal(whole);
      // Text numbers, and those beyond an int64 at the field's scale.
      if (value.type != ValueType::number || !unscaledBytes(text(), node.scale, 0, scratch_))
        refuse(node, text(), "not a decimal of the field's scale");
      return datum_.putBytes(scratch_);
    }
    case LakeType::float32:
    case LakeType::float64:
      if (value.type != ValueType::number && value.type != ValueType::scaled)
        refuse(node, text(), "not a number");
      scratch_.assign(text());
      if (node.type == LakeType::float32)
        return datum_.putFixed(std::strtof(scratch_.c_str(), nullptr));
      return datum_.putFixed(std::strtod(scratch_.c_str(), nullptr));
    }
  }

  Datum datum_;

private:
  const LakeSchema &schema_;
  std::string scratch_;
  std::string numberText_; // a scaled number's text, for text columns and messages
  // The walk's steps go to `learning_` when a plan is being learned from
  // the record at `learningBase_`.
  std::vector<AvroOp> *learning_ = nullptr;
  std::uint32_t learningBase_ = 0;
};

// Datums of a write() call, end to end, on their way to the writing thread.
struct DatumRun {
  RecordValues::Encoded datums;
  void add(std::string_view datum) {
    if (datums.bytes.size() < datums.size + datum.size())
      datums.bytes.resize(std::max(2 * datums.bytes.size(), datums.size + datum.size()));
    if (!datum.empty())
      std::memcpy(datums.bytes.data() + datums.size, datum.data(), datum.size());
    datums.size += datum.size();
    datums.ends.push_back(static_cast<std::uint32_t>(datums.size));
  }
};

// Each record's datum is encoded here, straight from the decoder's values
// (Avro's binary encoding: zigzag varints, length-prefixed bytes, union
// branches, array blocks); the library writes the container: header,
// blocks, codec, sync markers. It does so on a thread of its own, so that a
// block's compression (snappy and its CRC-32, deflate) goes on beside the
// decoding: the datums reach the library in the same order and through the
// same calls, so its blocks end where they ended, and a failure is handed
// back with the number of the write() call it would have failed.
class AvroSink : public RecordSink, public DirectEncoder {
public:
  explicit AvroSink(const SinkRequest &request)
      : schema_(makeLineSchema(request.model, request.plan, request.ends, request.options)),
        text_(avroSchemaText(schema_)), filter_(request.out, text_.substr(0, text_.size() - 1)) {
    if (avro_schema_from_json_length(text_.data(), text_.size(), &avroSchema_) != 0)
      throw SinkError{"vexfcbl-decode: -format avro: the schema is refused: " +
                      std::string(avro_strerror()) + "\n"};
    const std::string codec = request.options.codec.empty() ? "null" : request.options.codec;
    cookie_ = fopencookie(&filter_, "w",
                          cookie_io_functions_t{nullptr, &HeaderFilter::write, nullptr, nullptr});
    if (cookie_ == nullptr)
      throw SinkError{"vexfcbl-decode: -format avro: " + std::string(std::strerror(errno)) + "\n"};
    std::setvbuf(cookie_, nullptr, _IOFBF, 1 << 20);
    // A block holds whole records: room for the longest the layout allows.
    std::int64_t longest = 0;
    for (const PlanRecord &record : request.plan.records)
      longest = std::max(longest, record.length);
    // A tree of -child holds any number of records: its row gets room to
    // 64 MiB (memory the library reserves, used only as far as rows reach).
    const bool trees = !request.options.children.empty() && !request.options.ids;
    blockSize_ =
        static_cast<std::size_t>(std::max<std::int64_t>(trees ? 64 << 20 : 1 << 20, longest * 16));
    const std::size_t blockSize = blockSize_;
    if (avro_file_writer_create_with_codec_fp(cookie_, "output", 0, avroSchema_, &writer_,
                                              codec.c_str(), blockSize) != 0)
      throw SinkError{"vexfcbl-decode: -codec " + codec + ": " + std::string(avro_strerror()) +
                      "\n"};
  }
  ~AvroSink() override {
    // What was handed over is written first, as it was when written at once
    // (a run stopped by a refusal or -strict keeps the records before it).
    thread_.stop();
    if (filter_.failed() && cookie_ != nullptr) {
      filter_.discard();
      std::clearerr(cookie_);
    }
    if (writer_ != nullptr)
      avro_file_writer_close(writer_);
    if (cookie_ != nullptr)
      std::fclose(cookie_);
    if (avroSchema_ != nullptr)
      avro_schema_decref(avroSchema_);
  }
  AvroSink(const AvroSink &) = delete;
  AvroSink &operator=(const AvroSink &) = delete;

  bool takesValues() const override { return true; }
  bool takesLineShape() const override { return true; }
  bool write(std::string_view) override {
    throw SinkError{"vexfcbl-decode: internal error: -format avro takes records as values\n"};
  }

  bool write(RecordValues &records) override {
    // The decoder writes the records of a fixed layout straight in the datum's bytes from now
    // on (decoder/direct_values.h): those come encoded, the others as values.
    if (records.encoder() == nullptr)
      records.encodeWith(this);
    const long long call = calls_++;
    // A batch of encoded records alone is handed over as it is, not copied.
    if (filling_.datums.ends.empty() && records.tradeEncoded(filling_.datums)) {
      hand(call);
      return true;
    }
    try {
      encode(records, call);
    } catch (const SinkError &) {
      hand(call); // the records before the refused one are written, as they were
      throw;
    }
    hand(call);
    return true;
  }

  long long callsWritten() const override { return thread_.callsWritten(); }
  bool awaitWrites() override { return thread_.awaitWrites(); }
  long long failedCall() const override { return thread_.failedCall(); }

  // The datums of a batch, into the run filling_ holds (handed over on the way when it grows
  // past what may be in flight: rows of trees can be large).
  void encode(RecordValues &records, long long call) {
    Datum &datum = walk_.datum_;
    const auto add = [&](std::string_view bytes) {
      if (filling_.datums.size + bytes.size() > inFlightBytes)
        hand(call);
      filling_.add(bytes);
    };
    for (std::size_t r = 0; r < records.records(); ++r) {
      if (records.encoded(r)) {
        add(records.encodedBytes(r));
        continue;
      }
      datum.clear();
      const std::uint32_t object = records.record(r);
      if (const auto *plan = plans_.find(records, object)) {
        walk_.encode(*plan, records, object);
      } else {
        std::vector<AvroOp> *learning = plans_.learns() ? &plans_.learning() : nullptr;
        walk_.walk(records, object, learning);
        if (learning != nullptr) {
          auto &plan = plans_.learned(records, object, [](const AvroOp &op) { return op.token; });
          plan.room = AvroWalk::planRoom(plan.ops);
        }
      }
      add(datum.view());
    }
  }

  // The ops of the walk of `sample`, as the decoder's direct steps take them; none when a
  // value is one the plans write by leaf() alone (floating point), or the walk refuses it.
  std::vector<DirectOp> compile(const RecordValues &sample) const override {
    AvroWalk walk(schema_);
    std::vector<AvroOp> ops;
    try {
      walk.walk(sample, sample.record(0), &ops);
    } catch (const SinkError &) {
      return {};
    }
    std::vector<DirectOp> direct;
    for (const AvroOp &op : ops) {
      DirectOp to;
      to.token = op.token;
      to.nullable = op.nullable;
      to.scale = op.scale;
      if (op.token == noValue) {
        std::memcpy(to.bytes, op.bytes, sizeof to.bytes);
        to.size = op.size;
      } else if (op.fast == Fast::text) {
        to.form = DirectForm::text;
      } else if (op.fast == Fast::integer) {
        to.form = op.bits > 32 ? DirectForm::int64 : DirectForm::int32;
      } else if (op.fast == Fast::decimal) {
        to.form = DirectForm::decimal;
      } else {
        return {};
      }
      direct.push_back(to);
    }
    return direct;
  }

  bool finish() override {
    thread_.stop();
    if (thread_.failed())
      return false; // the run settles first: not reached
    const bool closed = avro_file_writer_close(writer_) == 0;
    writer_ = nullptr;
    const bool flushed = std::fclose(cookie_) == 0;
    cookie_ = nullptr;
    return closed && flushed && !filter_.failed() && filter_.complete();
  }

private:
  // The datums of call `call` to the writing thread; waits while the runs in flight hold
  // inFlightBytes, so that memory stays a few blocks whatever the input.
  void hand(long long call) {
    if (filling_.datums.ends.empty())
      return;
    const std::size_t size = filling_.datums.size;
    filling_ = thread_.hand(std::move(filling_), call, size);
  }

  // A run's datums to the library's block; false at the first that fails, `failure` then
  // the SinkError's message when the library refuses it, empty when the stream failed.
  bool appendAll(const DatumRun &run, std::string &failure) {
    std::size_t at = 0;
    for (const std::uint32_t end : run.datums.ends) {
      const std::string_view datum(run.datums.bytes.data() + at, end - at);
      at = end;
      // The library refuses a null pointer even for no bytes (a record of FILLER alone).
      if (avro_file_writer_append_encoded(writer_, datum.empty() ? "" : datum.data(),
                                          static_cast<std::int64_t>(datum.size())) == 0)
        continue;
      // The library says why (a record larger than a block); a write error of the
      // stream is the filter's to report.
      if (!filter_.failed() && datum.size() > blockSize_)
        failure = "vexfcbl-decode: -format avro: a row of " + std::to_string(datum.size()) +
                  " bytes is larger than an Avro block (" + std::to_string(blockSize_ >> 20) +
                  " MiB): write its tree with -format parquet, or as flat rows with -ids\n";
      else if (!filter_.failed())
        failure = "vexfcbl-decode: -format avro: " + std::string(avro_strerror()) + "\n";
      return false;
    }
    return true;
  }

  LakeSchema schema_;
  std::string text_;
  HeaderFilter filter_;
  avro_schema_t avroSchema_ = nullptr;
  std::FILE *cookie_ = nullptr;
  avro_file_writer_t writer_ = nullptr;
  std::size_t blockSize_ = 0;
  AvroWalk walk_{schema_};
  RecordPlans<AvroOp> plans_;

  // The runs for the writing thread: the one being filled, and the calls made (the decoding
  // thread's own). At most inFlightBytes of runs not yet written: a call's datums may span
  // several runs, so a run written says the calls before its own are.
  static constexpr std::size_t inFlightBytes = 4 << 20;
  DatumRun filling_;
  long long calls_ = 0;
  WritingThread<DatumRun> thread_{
      Admit::bytes, inFlightBytes, Written::before,
      [this](DatumRun &run, std::string &failure) { return appendAll(run, failure); },
      [](DatumRun &run) {
        run.datums.size = 0;
        run.datums.ends.clear();
      }}; // last: it ends before what it uses goes
};

} // namespace

std::unique_ptr<RecordSink> makeAvroSink(const SinkRequest &request) {
  return std::make_unique<AvroSink>(request);
}

// Decoding records from Python. A decode runs StreamDecoder on a thread of
// its own, which hands whole lines (decode()) or batches of records as
// values (decode_columns) to a bounded queue; the caller's thread takes the
// lines, or reads the values into columns with the GIL released. Memory
// holds a few pieces, never the whole input or output.
#include "python/stream_decoding.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "decoder/decode_stream.h"
#include "decoder/option_text.h"
#include "decoder/record_values.h"
#include "python/keywords.h"

namespace vexpy {

namespace {

// ---- keyword arguments of decoder() --------------------------------------

struct DecodeSettings {
  DecodeOptions options;
};

[[noreturn]] void refuse(const char *option, const std::string &value, const std::string &why) {
  throw py::value_error(std::string(option) + " " + value + ": " + why);
}

std::string listed(std::span<const char *const> names) {
  std::string list;
  for (const char *name : names)
    list += (list.empty() ? "" : ", ") + std::string(name);
  return list;
}

// One of `words` in any case: the word as listed.
std::string oneOf(py::handle value, const char *option, std::span<const char *const> words) {
  const std::string text = textOf(value, option);
  for (const char *word : words)
    if (::strcasecmp(text.c_str(), word) == 0)
      return word;
  refuse(option, "'" + text + "'", "one of " + listed(words));
}

long long wholeOf(py::handle value, const char *option, long long low, long long high) {
  if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value))
    wrongType(option, "an int", value);
  const py::int_ number = py::reinterpret_borrow<py::int_>(value);
  if (number < py::int_(low) || number > py::int_(high))
    refuse(option, py::str(value).cast<std::string>(),
           "give a whole number from " + std::to_string(low) + " to " + std::to_string(high));
  return number.cast<long long>();
}

std::string keywordNames(std::string message);

// An option's text read as vexfcbl-decode reads it (decoder/option_text.h),
// refused with the program's reason.
void readText(std::string (*read)(const std::string &, DecodeOptions &), DecodeSettings &s,
              py::handle value, const char *option) {
  const std::string text = textOf(value, option);
  if (const std::string why = read(text, s.options); !why.empty())
    refuse(option, "'" + text + "'", keywordNames(why));
}

// One text or a sequence of them, each read by `item`: a list option of
// the program, given once per value there.
template <typename Item>
void eachOf(py::handle value, const char *option, const char *wanted, Item item) {
  if (py::isinstance<py::str>(value) || py::isinstance<py::tuple>(value)) {
    item(value);
    return;
  }
  if (!py::isinstance<py::sequence>(value))
    wrongType(option, wanted, value);
  for (py::handle each : value)
    item(each);
}

// -when FIELD=VALUE:NAME (VALUE:NAME with segment), as that text or as a
// (field, value, name) or (value, name) tuple.
void addRule(DecodeSettings &s, py::handle value, const char *option) {
  if (py::isinstance<py::tuple>(value)) {
    const py::tuple parts = py::reinterpret_borrow<py::tuple>(value);
    if (parts.size() == 3)
      s.options.rules.push_back(
          {textOf(parts[0], option), textOf(parts[1], option), textOf(parts[2], option)});
    else if (parts.size() == 2)
      s.options.rules.push_back({"", textOf(parts[0], option), textOf(parts[1], option)});
    else
      refuse(option, py::repr(value).cast<std::string>(),
             "give (FIELD, VALUE, NAME), or (VALUE, NAME) with segment");
    return;
  }
  readText(readWhen, s, value, option);
}

// -where FIELD=VALUE,...: that text, or a (field, value or sequence of values) tuple.
void addWhere(DecodeSettings &s, py::handle value, const char *option) {
  if (!py::isinstance<py::tuple>(value)) {
    readText(readWhere, s, value, option);
    return;
  }
  const py::tuple parts = py::reinterpret_borrow<py::tuple>(value);
  if (parts.size() != 2)
    refuse(option, py::repr(value).cast<std::string>(), "give (FIELD, VALUE or [VALUE, ...])");
  WhereFilter filter{textOf(parts[0], option), {}};
  if (filter.field.empty())
    refuse(option, py::repr(value).cast<std::string>(), "give (FIELD, VALUE or [VALUE, ...])");
  // A value as the program's text: a str as it is, an int or Decimal as written.
  const auto valueText = [&](py::handle each) {
    if (py::isinstance<py::str>(each))
      return each.cast<std::string>();
    if ((py::isinstance<py::int_>(each) && !py::isinstance<py::bool_>(each)) ||
        py::isinstance(each, py::module_::import("decimal").attr("Decimal")))
      return py::str(each).cast<std::string>();
    wrongType(option, "(field, values) with str, int or Decimal values", each);
  };
  const py::handle values = parts[1];
  if (py::isinstance<py::str>(values) || !py::isinstance<py::sequence>(values))
    filter.values.push_back(valueText(values));
  else
    for (py::handle each : values)
      filter.values.push_back(valueText(each));
  s.options.where.push_back(std::move(filter));
}

const char *const recordFormats[] = {"F", "V", "VB", "L"};
const char *const byteOrders[] = {"big", "little"};
const char *const floatFormats[] = {"ibm", "ieee"};

const Keyword<DecodeSettings> decodeKeywords[] = {
    {"recfm", "str", "record format: 'F' (default), 'V' (RDW), 'VB' (blocked), 'L' (lines)",
     [](DecodeSettings &s, py::handle v, const char *n) {
       const std::string format = oneOf(v, n, recordFormats);
       s.options.recordFormat = format == "F"    ? RecordFormat::fixed
                                : format == "V"  ? RecordFormat::variable
                                : format == "VB" ? RecordFormat::variableBlocked
                                                 : RecordFormat::lines;
     }},
    {"lrecl", "int", "fixed record length in bytes; the record's length by default",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.recordLength = wholeOf(v, n, 1, INT64_MAX);
     }},
    {"codepage", "str",
     "code page of text: IBM037 (default), any EBCDIC page vexfcbl-decode -codepage help lists, "
     "ASCII, UTF-8; also as ibm037, IBM-037, CP037 or 037",
     [](DecodeSettings &s, py::handle v, const char *n) {
       const std::string given = textOf(v, n);
       s.options.codePage = knownCodePage(given, singleByteCodePages());
       if (s.options.codePage.empty())
         refuse(n, "'" + given + "'",
                "not a code page of this program; vexfcbl-decode -codepage help lists those "
                "it reads here");
     }},
    {"dbcs", "str",
     "DISPLAY-1 code page: IBM930, IBM933, IBM935, IBM937, IBM939, IBM1364, IBM1371, "
     "IBM1388, IBM1390, IBM1399 (as iconv has them)",
     [](DecodeSettings &s, py::handle v, const char *n) {
       const std::string given = textOf(v, n);
       s.options.dbcs = knownCodePage(given, doubleByteCodePages());
       if (s.options.dbcs.empty())
         refuse(n, "'" + given + "'",
                "not a DISPLAY-1 code page of this program; vexfcbl-decode -dbcs help lists "
                "those it reads here");
     }},
    {"byteorder", "str", "'big' (default) or 'little': binary and floating-point byte order",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.littleEndian = oneOf(v, n, byteOrders) == std::string("little");
     }},
    {"rdw", "str", "'big' (default) or 'little': byte order of RDW and BDW lengths",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.littleEndianWords = oneOf(v, n, byteOrders) == std::string("little");
     }},
    {"rdw_adjust", "int",
     "added to each RDW and BDW length (4 where the lengths omit the 4-byte header)",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.descriptorAdjust = wholeOf(v, n, -65536, 65536);
     }},
    {"skip_bytes", "int", "bytes before the first record of the data, skipped",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.skipBytes = wholeOf(v, n, 0, INT64_MAX);
     }},
    {"skip_trailer_bytes", "int", "bytes after the last record of the data, skipped",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.skipTrailerBytes = wholeOf(v, n, 0, INT64_MAX);
     }},
    {"float", "str", "'ibm' (default, hexadecimal) or 'ieee': the format of COMP-1 and COMP-2",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.ieeeFloat = oneOf(v, n, floatFormats) == std::string("ieee");
     }},
    {"record", "str", "decode every data record as this record",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.record = textOf(v, n); }},
    {"when", "sequence of str or (field, value, name)",
     "rules 'FIELD=VALUE:NAME': the record or REDEFINES alternative NAME when FIELD holds "
     "VALUE; 'VALUE:NAME' when the segment field holds VALUE",
     [](DecodeSettings &s, py::handle v, const char *n) {
       eachOf(v, n, "a sequence of str or (field, value, name)",
              [&](py::handle rule) { addRule(s, rule, n); });
     }},
    {"fillers", "bool", "include FILLER items",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.fillers = flagOf(v, n); }},
    {"trim", "bool", "drop trailing blanks of text",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.trim = flagOf(v, n); }},
    {"raw", "bool", "add each record's bytes under _raw (base64), and those of fields not decoded",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.raw = flagOf(v, n); }},
    {"strict", "bool", "stop with DecodeError at the first bad data",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.strict = flagOf(v, n); }},
    {"jobs", "int", "decode F and L records with this many threads (1 to 64)",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.jobs = static_cast<int>(wholeOf(v, n, 1, 64));
     }},
    {"range", "(int, int) or (int, int, int)",
     "only the records that begin in bytes START to END-1 (END None: to the end); the third, "
     "the first one's number in the file (from vexfcbl-decode -splits)",
     [](DecodeSettings &s, py::handle v, const char *n) {
       if (!py::isinstance<py::tuple>(v) && !py::isinstance<py::list>(v))
         wrongType(n, "a tuple (start, end) or (start, end, first)", v);
       const py::sequence parts = py::reinterpret_borrow<py::sequence>(v);
       if (parts.size() != 2 && parts.size() != 3)
         refuse(n, py::repr(v).cast<std::string>(), "give (start, end) or (start, end, first)");
       ByteRange range;
       range.start = wholeOf(parts[0], n, 0, INT64_MAX);
       range.end = parts[1].is_none() ? INT64_MAX : wholeOf(parts[1], n, 0, INT64_MAX);
       range.firstRecord = parts.size() == 3 ? wholeOf(parts[2], n, 1, INT64_MAX) : 0;
       if (range.end < range.start)
         refuse(n, py::repr(v).cast<std::string>(), "the start is beyond the end");
       s.options.range = range;
     }},
    {"length_field", "str",
     "'NAME', 'NAME+N' or 'NAME-N': each record is as long as its number field NAME, plus or "
     "minus N (F records)",
     [](DecodeSettings &s, py::handle v, const char *n) { readText(readLengthField, s, v, n); }},
    {"length_map", "str or dict",
     "'VALUE=LENGTH,...' or {VALUE: LENGTH}: with length_field, a record whose field holds "
     "VALUE is LENGTH bytes long",
     [](DecodeSettings &s, py::handle v, const char *n) {
       if (!py::isinstance<py::dict>(v)) {
         readText(readLengthMap, s, v, n);
         return;
       }
       for (auto [value, length] : py::reinterpret_borrow<py::dict>(v)) {
         const std::string key = py::isinstance<py::int_>(value)
                                     ? py::str(value).cast<std::string>()
                                     : textOf(value, n);
         s.options.lengthMap.push_back({key, wholeOf(length, n, 1, INT64_MAX)});
       }
     }},
    {"variable_occurs", "bool",
     "F and L records end after the occurrences their DEPENDING ON counts give",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.variableOccurs = flagOf(v, n);
     }},
    {"header", "str", "decode the data's first record as this record, under its own name",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.headerRecord = textOf(v, n); }},
    {"trailer", "str", "decode the data's last record as this record, under its own name",
     [](DecodeSettings &s, py::handle v, const char *n) {
       s.options.trailerRecord = textOf(v, n);
     }},
    {"segment", "str",
     "the field whose value names each record's segment (when 'VALUE:NAME'; a segment is a "
     "when rule's NAME)",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.segmentField = textOf(v, n); }},
    {"child", "sequence of str or (segment, parent)",
     "'SEGMENT:PARENT': records of SEGMENT belong to the PARENT record before them; each "
     "parent's record holds its children in lists named by segment",
     [](DecodeSettings &s, py::handle v, const char *n) {
       eachOf(v, n, "a sequence of str or (segment, parent)", [&](py::handle link) {
         if (!py::isinstance<py::tuple>(link)) {
           readText(readChild, s, link, n);
           return;
         }
         const py::tuple parts = py::reinterpret_borrow<py::tuple>(link);
         if (parts.size() != 2)
           refuse(n, py::repr(link).cast<std::string>(), "give (SEGMENT, PARENT)");
         readText(readChild, s, py::str(textOf(parts[0], n) + ":" + textOf(parts[1], n)), n);
       });
     }},
    {"ids", "bool",
     "flat records with _record (number), _segment and _parent (the parent's number) first",
     [](DecodeSettings &s, py::handle v, const char *n) { s.options.ids = flagOf(v, n); }},
    {"select", "sequence of str",
     "only these fields (names or paths; groups whole); the others are not decoded",
     [](DecodeSettings &s, py::handle v, const char *n) {
       eachOf(v, n, "a sequence of str",
              [&](py::handle name) { readText(readSelect, s, name, n); });
     }},
    {"where", "sequence of str or (field, values)",
     "'FIELD=VALUE,...': only records whose FIELD holds one of the values (text after the code "
     "page, numbers by value); several must all hold",
     [](DecodeSettings &s, py::handle v, const char *n) {
       eachOf(v, n, "a sequence of str or (field, values)",
              [&](py::handle filter) { addWhere(s, filter, n); });
     }},
};

// A message of the decoder with its options named as the keywords are
// ("-length-map needs -length-field" as "length_map needs length_field").
std::string keywordNames(std::string message) {
  const auto isNamePart = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
  };
  std::string out;
  std::size_t at = 0;
  while (at < message.size()) {
    const bool starts = message[at] == '-' && (at == 0 || message[at - 1] == ' ' ||
                                               message[at - 1] == '(' || message[at - 1] == '"');
    if (starts) {
      std::size_t end = at + 1;
      while (end < message.size() && isNamePart(message[end]))
        ++end;
      const std::string option = message.substr(at + 1, end - at - 1);
      const char *keyword = option == "j" ? "jobs" : nullptr;
      for (const Keyword<DecodeSettings> &k : decodeKeywords) {
        std::string spelt = k.name;
        std::replace(spelt.begin(), spelt.end(), '_', '-');
        if (spelt == option)
          keyword = k.name;
      }
      if (keyword != nullptr) {
        out += keyword;
        at = end;
        continue;
      }
    }
    out += message[at++];
  }
  return out;
}

// ---- a decode on a thread of its own ---------------------------------------

py::tuple warningTuple(const DecodeWarning &w) {
  return py::make_tuple(w.record, w.offset, w.path, w.text);
}

// A piece of the output: whole lines or records as values, and the
// warnings given before them.
struct Piece {
  std::string lines;
  RecordValues records;
  std::vector<DecodeWarning> warnings;
};

// Where the data comes from: bytes held by a Python object, a path, or a
// file object read in pieces.
struct BufferSource {
  py::object owner;
  std::string_view bytes;
};
struct PathSource {
  std::string path;
};
struct FileSource {
  py::object file;
};
using Source = std::variant<BufferSource, PathSource, FileSource>;

Source sourceOf(py::handle data) {
  if (py::isinstance<py::str>(data) || py::hasattr(data, "__fspath__"))
    return PathSource{pathOf(data, "data")};
  if (PyObject_CheckBuffer(data.ptr())) {
    py::buffer buffer = py::reinterpret_borrow<py::buffer>(data);
    const py::buffer_info info = buffer.request();
    if (info.ndim > 1 || (info.ndim == 1 && info.strides[0] != info.itemsize))
      wrongType("data", "contiguous bytes", data);
    return BufferSource{py::reinterpret_borrow<py::object>(data),
                        std::string_view(static_cast<const char *>(info.ptr),
                                         static_cast<std::size_t>(info.size * info.itemsize))};
  }
  if (py::hasattr(data, "read"))
    return FileSource{py::reinterpret_borrow<py::object>(data)};
  wrongType("data", "bytes, a binary file object or a path", data);
}

class DecodeTask : private DecodeSink {
public:
  // `values`: the records come as values (for columns), not as lines.
  DecodeTask(std::shared_ptr<const StreamDecoder> decoder, Source source, bool values)
      : decoder_(std::move(decoder)), source_(std::move(source)), values_(values) {
    if (decoder_->options().range && std::holds_alternative<FileSource>(source_))
      throw py::value_error("range needs a path or bytes, not a file object");
    thread_ = std::thread([this] { work(); });
  }
  ~DecodeTask() {
    {
      const std::lock_guard lock(mutex_);
      cancelled_ = true;
    }
    changed_.notify_all();
    // The thread may be waiting for the GIL to read a file object.
    py::gil_scoped_release unlocked;
    if (thread_.joinable())
      thread_.join();
  }
  DecodeTask(const DecodeTask &) = delete;
  DecodeTask &operator=(const DecodeTask &) = delete;

  // The next piece; nothing at the end. Called without the GIL.
  std::optional<Piece> next() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !queue_.empty() || done_; });
    if (queue_.empty())
      return std::nullopt;
    Piece piece = std::move(queue_.front());
    queue_.pop_front();
    changed_.notify_all();
    return piece;
  }

  // After the end: raises what the reader raised; else how the run ended.
  const StreamResult &result() {
    if (readerError_)
      throw *readerError_;
    if (setupError_)
      throw py::value_error(*setupError_);
    return result_;
  }

  const StreamDecoder &decoder() const { return *decoder_; }

  // The records the data holds when every one is as long as the layout's
  // record (F records of bytes or a file, all kept; a short last one
  // counted); 0 when not known.
  // A whole decode's columns are made this large at once instead of grown
  // by doubling, each step a copy into fresh memory.
  std::size_t recordsExpected() const {
    const DecodeOptions &o = decoder_->options();
    if (o.recordFormat != RecordFormat::fixed || !o.lengthField.empty() || o.variableOccurs ||
        !o.where.empty())
      return 0;
    std::int64_t size = 0;
    if (const auto *buffer = std::get_if<BufferSource>(&source_)) {
      size = static_cast<std::int64_t>(buffer->bytes.size());
    } else if (const auto *path = std::get_if<PathSource>(&source_)) {
      std::error_code failed;
      const std::uintmax_t bytes = std::filesystem::file_size(path->path, failed);
      if (failed || bytes > static_cast<std::uintmax_t>(INT64_MAX))
        return 0;
      size = static_cast<std::int64_t>(bytes);
    } else {
      return 0;
    }
    if (o.range)
      size = std::max<std::int64_t>(0, std::min(size, o.range->end) - o.range->start);
    else
      size -= o.skipBytes + o.skipTrailerBytes;
    const std::int64_t length = decoder_->recordLength();
    return size > 0 && length > 0 ? static_cast<std::size_t>((size + length - 1) / length) : 0;
  }

private:
  static constexpr std::size_t queued = 4;

  void work() {
    StreamResult result;
    try {
      if (const auto *buffer = std::get_if<BufferSource>(&source_))
        result = decoder_->decode(buffer->bytes, *this);
      else if (const auto *path = std::get_if<PathSource>(&source_))
        result = decoder_->decodeFile(path->path, *this);
      else
        result = decoder_->decode(
            ByteReader([this](char *to, std::size_t size) { return read(to, size); }), *this);
    } catch (const DecodeSetupError &error) {
      setupError_ = error.message;
    } catch (const std::exception &error) {
      setupError_ = error.what();
    }
    const std::lock_guard lock(mutex_);
    if (!warnings_.empty())
      queue_.push_back(Piece{{}, {}, std::move(warnings_)});
    result_ = std::move(result);
    done_ = true;
    changed_.notify_all();
  }

  std::ptrdiff_t read(char *to, std::size_t size) {
    {
      const std::lock_guard lock(mutex_);
      if (cancelled_)
        return -1;
    }
    py::gil_scoped_acquire locked;
    try {
      const py::object &file = std::get<FileSource>(source_).file;
      const py::object got = file.attr("read")(size);
      if (!py::isinstance<py::bytes>(got) && !py::isinstance<py::bytearray>(got))
        throw py::type_error("data must be a file opened in binary mode: its read() gave " +
                             typeName(got));
      const std::string_view bytes = got.cast<std::string_view>();
      const std::size_t count = std::min(size, bytes.size());
      std::memcpy(to, bytes.data(), count);
      return static_cast<std::ptrdiff_t>(count);
    } catch (py::error_already_set &error) {
      readerError_ = std::move(error);
    } catch (const py::builtin_exception &error) {
      error.set_error();
      readerError_ = py::error_already_set();
    }
    return -1;
  }

  bool lines(std::string_view text) override { return push(Piece{std::string(text), {}, {}}); }
  bool takesValues() const override { return values_; }
  bool values(RecordValues &records) override {
    RecordValues spare;
    {
      // The run gets back a batch the reader is done with: its room stays allocated.
      const std::lock_guard lock(mutex_);
      if (!spare_.empty()) {
        spare = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    spare.clear();
    // The columns read compact records: no tokens written and read again.
    spare.takeCompact(true);
    Piece piece;
    std::swap(piece.records, records);
    std::swap(records, spare);
    return push(std::move(piece));
  }

public:
  // Hands back a batch of values the reader is done with, for the run to fill again.
  void recycle(RecordValues &&records) {
    const std::lock_guard lock(mutex_);
    if (spare_.size() < queued)
      spare_.push_back(std::move(records));
  }

private:
  bool push(Piece piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < queued || cancelled_; });
    if (cancelled_)
      return false;
    piece.warnings = std::move(warnings_);
    queue_.push_back(std::move(piece));
    warnings_.clear();
    changed_.notify_all();
    return true;
  }
  void warning(const DecodeWarning &warning) override { warnings_.push_back(warning); }

  std::shared_ptr<const StreamDecoder> decoder_;
  Source source_;
  bool values_;
  std::vector<DecodeWarning> warnings_; // the thread's, until its next piece
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Piece> queue_;
  std::vector<RecordValues> spare_; // batches read, their room kept for the run
  bool done_ = false;
  bool cancelled_ = false;
  StreamResult result_;
  std::optional<py::error_already_set> readerError_;
  std::optional<std::string> setupError_;
  std::thread thread_;
};

// ---- columns ---------------------------------------------------------------

enum class ColumnKind { text, integer, decimal, floating, exact };

const char *kindName(ColumnKind kind) {
  switch (kind) {
  case ColumnKind::text:
    return "text";
  case ColumnKind::integer:
    return "integer";
  case ColumnKind::decimal:
    return "decimal";
  case ColumnKind::floating:
    return "float";
  case ColumnKind::exact:
    return "exact";
  }
  return "";
}

// One elementary field occurrence of a record: a column.
struct ColumnShape {
  std::string name; // the path below the record, subscripts from 1: GROUP.TABLE(2).FIELD
  ColumnKind kind;
  int scale;
  std::size_t chars = 0; // text: the field's length in characters
};

// The shape of a record's lines, made from the plan: a key, and its column,
// its members or its occurrences.
struct Node {
  std::string key;
  int field = -1; // the plan field whose key it is
  int column = -1;
  bool array = false;
  std::vector<Node> members;
  std::vector<Node> occurrences;
};

struct RecordShape {
  std::string name;
  Node root;
  std::vector<ColumnShape> columns;
};

ColumnKind kindOf(const PlanField &field) {
  switch (field.kind) {
  case FieldKind::text:
  case FieldKind::national:
  case FieldKind::dbcs:
    return ColumnKind::text;
  case FieldKind::zoned:
  case FieldKind::packed:
  case FieldKind::unsignedPacked:
  case FieldKind::binary:
    return field.scale > 0 ? ColumnKind::decimal : ColumnKind::integer;
  case FieldKind::floating:
    return ColumnKind::floating;
  case FieldKind::edited: // as many places as the edited value shows
  case FieldKind::decimalFloat:
  case FieldKind::group:
    return ColumnKind::exact;
  }
  return ColumnKind::exact;
}

std::string keyOf(const PlanField &field) {
  // The plan keeps the key as JSON writes it: "NAME":
  std::string key = field.name;
  if (key.size() >= 3 && key.front() == '"' && key.ends_with("\":"))
    key = key.substr(1, key.size() - 3);
  return key;
}

class ShapeBuilder {
public:
  ShapeBuilder(const DecodePlan &plan, RecordShape &shape) : plan_(plan), shape_(shape) {}

  Node field(int index, const std::string &parent) {
    const PlanField &f = plan_.fields[static_cast<std::size_t>(index)];
    const std::string key = keyOf(f);
    const std::string path = parent.empty() ? key : parent + "." + key;
    if (!f.isArray)
      return one(index, key, path);
    Node node;
    node.key = key;
    node.field = index;
    node.array = true;
    for (std::int64_t k = 0; k < f.maxCount; ++k)
      node.occurrences.push_back(one(index, key, path + "(" + std::to_string(k + 1) + ")"));
    return node;
  }

  Node one(int index, const std::string &key, const std::string &path) {
    const PlanField &f = plan_.fields[static_cast<std::size_t>(index)];
    Node node;
    node.key = key;
    node.field = index;
    if (f.kind == FieldKind::group) {
      // As the decoder writes the record: no FILLER without -fillers, nothing
      // -select leaves out.
      for (const int child : f.children) {
        const PlanField &member = plan_.fields[static_cast<std::size_t>(child)];
        if (!member.hidden && !member.skipped)
          node.members.push_back(field(child, path));
      }
      return node;
    }
    node.column = static_cast<int>(shape_.columns.size());
    // National and DBCS characters take two bytes; a single-byte code
    // page's, one; UTF-8 at least one: a value rarely needs more room.
    const bool wide = f.kind == FieldKind::national || f.kind == FieldKind::dbcs;
    const auto chars =
        static_cast<std::size_t>(std::max<std::int64_t>(1, wide ? f.length / 2 : f.length));
    shape_.columns.push_back({path, kindOf(f), std::max(0, f.scale), chars});
    return node;
  }

private:
  const DecodePlan &plan_;
  RecordShape &shape_;
};

std::vector<RecordShape> shapesOf(const DecodePlan &plan) {
  std::vector<RecordShape> shapes;
  for (const PlanRecord &record : plan.records) {
    RecordShape shape;
    shape.name = record.name;
    ShapeBuilder builder(plan, shape);
    // The record's own group is the line's one key; its columns are named
    // below it. A record that is one elementary item is its one column.
    const PlanField &top = plan.fields[static_cast<std::size_t>(record.root)];
    Node root = builder.one(record.root, record.name,
                            top.kind == FieldKind::group ? "" : keyOf(top));
    shape.root = std::move(root);
    shapes.push_back(std::move(shape));
  }
  // The record's name is the key of the line's one member.
  for (std::size_t r = 0; r < shapes.size(); ++r)
    shapes[r].root.key = keyOf(plan.fields[static_cast<std::size_t>(plan.records[r].root)]);
  return shapes;
}

// False once the kernel refused MADV_POPULATE_WRITE (before Linux 5.14).
std::atomic<bool> populateWorks{true};

// Bytes [begin, end) of the block at `base` made present and writable,
// whole pages, with nothing written: the kernel clears a run of pages in
// one call instead of one fault for each when they are first written.
void populatePages(char *base, std::size_t begin, std::size_t end) {
  if (begin >= end || !populateWorks.load(std::memory_order_relaxed))
    return;
  static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  // Pages that hold bytes of the block are its mapping's: whole ones.
  const std::uintptr_t low = reinterpret_cast<std::uintptr_t>(base + begin) & ~(page - 1);
  const std::uintptr_t high =
      (reinterpret_cast<std::uintptr_t>(base + end) + page - 1) & ~(page - 1);
  if (::madvise(reinterpret_cast<void *>(low), high - low, MADV_POPULATE_WRITE) != 0 &&
      errno == EINVAL)
    populateWorks.store(false, std::memory_order_relaxed);
}

// The memory of the columns' arrays, kept when an array is freed for the
// next batch's arrays of about its size: memory fresh from the system
// costs a page fault (and a page cleared) per page written, more than
// the writing itself. Holds at most `kept` bytes of freed blocks, or a
// batch's worth when a batch took more: a caller that holds one batch
// while it asks for the next has freed the one before, all of which the
// next one reuses.
class BlockPool {
public:
  static constexpr std::size_t kept = std::size_t{256} << 20;

  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    bool fresh = false; // new from the system: its pages not written yet
  };

  // A block of at least `size` bytes: a freed one of at most a quarter more, else a new one.
  Block take(std::size_t size) {
    {
      const std::lock_guard lock(mutex_);
      auto best = free_.end();
      for (auto b = free_.begin(); b != free_.end(); ++b)
        if (b->size >= size && b->size <= size + size / 4 &&
            (best == free_.end() || b->size < best->size))
          best = b;
      if (best != free_.end()) {
        Block block = std::move(*best);
        free_.erase(best);
        freeBytes_ -= block.size;
        return block;
      }
    }
    return Block{std::make_unique_for_overwrite<char[]>(std::max<std::size_t>(size, 1)), size,
                 true};
  }

  // A block back, the oldest dropped past what is kept.
  void give(Block block) {
    block.fresh = false;
    const std::lock_guard lock(mutex_);
    freeBytes_ += block.size;
    free_.push_back(std::move(block));
    while (freeBytes_ > std::max(kept, batch_)) {
      freeBytes_ -= free_.front().size;
      free_.erase(free_.begin());
    }
  }

  // A batch's arrays took `bytes`.
  void batchTook(std::size_t bytes) {
    const std::lock_guard lock(mutex_);
    batch_ = std::max(batch_, bytes);
  }

private:
  std::mutex mutex_;
  std::vector<Block> free_;
  std::size_t freeBytes_ = 0;
  std::size_t batch_ = 0; // the most a batch's arrays took
};

// Shared by every decode; each array's block holds it, so it outlives them.
std::shared_ptr<BlockPool> blockPool() {
  static const std::shared_ptr<BlockPool> pool = std::make_shared<BlockPool>();
  return pool;
}

// A one-dimensional array of `rows` items of `type` in `block` (of the
// pool), which goes back when numpy frees the array.
py::array arrayOf(const py::dtype &type, std::size_t rows, BlockPool::Block block) {
  struct Lease {
    std::shared_ptr<BlockPool> pool;
    BlockPool::Block block;
  };
  auto lease = std::make_unique<Lease>();
  lease->pool = blockPool();
  lease->block = std::move(block);
  char *data = lease->block.bytes.get();
  py::capsule owner(lease.get(), [](void *held) {
    std::unique_ptr<Lease> back(static_cast<Lease *>(held));
    back->pool->give(std::move(back->block));
  });
  lease.release(); // the capsule owns it now
  return py::array(type, std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows)}, data, owner);
}

// A new array of the pool, its contents unset.
py::array pooledArray(const py::dtype &type, std::size_t rows) {
  return arrayOf(type, rows, blockPool()->take(rows * static_cast<std::size_t>(type.itemsize())));
}

// A column's numbers, grown like a vector in blocks of the pool, so that
// the block becomes the batch's array as it is: no copy.
template <typename T> class PooledValues {
public:
  std::size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  T &operator[](std::size_t i) { return data()[i]; }
  const T &operator[](std::size_t i) const { return data()[i]; }
  void clear() { count_ = 0; }
  // Inline: a value per column per row.
  [[gnu::always_inline]] void push_back(T value) {
    if (count_ == capacity()) [[unlikely]]
      reserve(std::max<std::size_t>({count_ + 1, 2 * count_, 4096 / sizeof(T)}));
    data()[count_++] = value;
  }
  // `count` more values, unset, written by the caller.
  T *extend(std::size_t count) {
    if (count_ + count > capacity())
      reserve(std::max(count_ + count, 2 * count_));
    return data() + std::exchange(count_, count_ + count);
  }
  [[gnu::noinline]] void reserve(std::size_t count) {
    if (count <= capacity())
      return;
    BlockPool::Block bigger = blockPool()->take(count * sizeof(T));
    if (count_ > 0)
      std::memcpy(bigger.bytes.get(), block_.bytes.get(), count_ * sizeof(T));
    if (block_.bytes)
      blockPool()->give(std::move(block_));
    block_ = std::move(bigger);
  }
  std::size_t bytes() const { return block_.size; }
  // The pages of rows [from, to) when the block is fresh.
  void populate(std::size_t from, std::size_t to) const {
    if (block_.fresh)
      populatePages(block_.bytes.get(), from * sizeof(T), std::min(to * sizeof(T), block_.size));
  }
  // The values as an array of `type` (of T's size); the column is empty after.
  py::array release(const py::dtype &type) {
    const std::size_t count = std::exchange(count_, 0);
    if (!block_.bytes)
      return pooledArray(type, 0);
    return arrayOf(type, count, std::exchange(block_, BlockPool::Block{}));
  }

private:
  std::size_t capacity() const { return block_.size / sizeof(T); }
  T *data() { return reinterpret_cast<T *>(block_.bytes.get()); }
  const T *data() const { return reinterpret_cast<const T *>(block_.bytes.get()); }

  BlockPool::Block block_;
  std::size_t count_ = 0;
};

// The length of the UTF-8 sequence that `lead` begins.
int sequenceLength(unsigned char lead) {
  return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// A text column as numpy's fixed-width str array (UCS-4) in a block of the
// pool, each value decoded from the tape's UTF-8 straight into its row:
// no text kept between, no second pass. The rows are `width` characters
// apart, the field's length in characters to begin with, up to 64
// (widened when a value is longer); the array's width is the batch's
// longest value, as numpy makes it from the values, so the rows close up
// at the end when they are all shorter (trimmed text).
class TextValues {
public:
  void clear(std::size_t width) {
    rows_ = 0;
    widest_ = 0;
    // Not wider than 64 to begin with: every row's characters are written
    // (zeros after its value), and trimmed text of a wide field is mostly
    // far shorter than the field, whose rows would be memory written that
    // the array, as wide as its longest value, does not need. A value of
    // untrimmed text widens the rows at the batch's first row, with nothing
    // to move yet.
    width_ = std::clamp<std::size_t>(width, 1, 64);
  }
  void reserve(std::size_t rows) {
    if (rows > capacity())
      regrow(rows, width_);
  }

  void push_back(std::string_view text) {
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.data());
    const std::size_t size = text.size();
    // A character takes at least one byte: only a value of more bytes than
    // the width is counted first.
    if (size > width_)
      if (const std::size_t count = charactersOf(bytes, size); count > width_)
        regrow(capacity(), std::max(count, width_ + width_ / 2));
    char32_t *to = next();
    std::size_t count = size;
    // Mostly ASCII, and no longer than the row: widened as if it were,
    // then decoded again only when a byte was not.
    if (size > width_ || !widenAscii(bytes, size, to)) {
      count = 0;
      for (std::size_t i = 0; i < size; ++count) {
        const unsigned char c = bytes[i];
        const int length = sequenceLength(c);
        char32_t code = length == 1   ? c
                        : length == 2 ? c & 0x1F
                        : length == 3 ? c & 0x0F
                                      : c & 0x07;
        for (int k = 1; k < length && i + static_cast<std::size_t>(k) < size; ++k)
          code = code << 6 | (bytes[i + static_cast<std::size_t>(k)] & 0x3F);
        to[count] = code;
        i += static_cast<std::size_t>(length);
      }
    }
    std::fill(to + count, to + width_, U'\0');
    widest_ = std::max(widest_, count);
    ++rows_;
  }
  // `count` values, the kth get(k): those of ASCII that fit the rows
  // widened here, with no call and no check of room for each.
  template <typename Get> void pushRun(std::size_t count, Get get) {
    if (rows_ + count > capacity())
      regrow(std::max(rows_ + count, 2 * rows_), width_);
    for (std::size_t k = 0; k < count; ++k) {
      const std::string_view text = get(k);
      char32_t *to = reinterpret_cast<char32_t *>(block_.bytes.get()) + rows_ * width_;
      if (text.size() <= width_ &&
          widenAscii(reinterpret_cast<const unsigned char *>(text.data()), text.size(), to)) {
        std::fill(to + text.size(), to + width_, U'\0');
        widest_ = std::max(widest_, text.size());
        ++rows_;
      } else {
        push_back(text); // decoded, or wider than the rows
      }
    }
  }

  // A null value: the empty text.
  void push_empty() {
    char32_t *to = next();
    std::fill(to, to + width_, U'\0');
    ++rows_;
  }

  std::size_t bytes() const { return block_.size; }
  // The pages of rows [from, to) when the block is fresh.
  void populate(std::size_t from, std::size_t to) const {
    const std::size_t row = width_ * sizeof(char32_t);
    if (block_.fresh)
      populatePages(block_.bytes.get(), from * row, std::min(to * row, block_.size));
  }
  // The rows closed up to the longest value (at least one character),
  // without the GIL; no more values until clear().
  void close() {
    const std::size_t width = std::max<std::size_t>(widest_, 1);
    if (width < width_ && block_.bytes) {
      auto *data = reinterpret_cast<char32_t *>(block_.bytes.get());
      for (std::size_t r = 1; r < rows_; ++r)
        std::memmove(data + r * width, data + r * width_, width * sizeof(char32_t));
    }
    width_ = width;
  }

  // The rows as an array as wide as the longest value; the column is empty after.
  py::array release() {
    close();
    const py::dtype type("<U" + std::to_string(width_));
    const std::size_t rows = std::exchange(rows_, 0);
    if (!block_.bytes)
      return pooledArray(type, 0);
    return arrayOf(type, rows, std::exchange(block_, BlockPool::Block{}));
  }

private:
  // `size` bytes widened to characters at `to`; false when one is not ASCII.
  // Writes no more than `size` characters.
  static bool widenAscii(const unsigned char *bytes, std::size_t size, char32_t *to) {
    std::size_t i = 0;
    unsigned char any = 0;
#ifdef __SSE2__
    // 16 bytes at a time: zeros interleaved twice make 4 bytes of each.
    const __m128i zero = _mm_setzero_si128();
    __m128i high = zero;
    for (; i + 16 <= size; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + i));
      high = _mm_or_si128(high, v);
      const __m128i low8 = _mm_unpacklo_epi8(v, zero);
      const __m128i high8 = _mm_unpackhi_epi8(v, zero);
      auto *out = reinterpret_cast<__m128i *>(to + i);
      _mm_storeu_si128(out, _mm_unpacklo_epi16(low8, zero));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(low8, zero));
      _mm_storeu_si128(out + 2, _mm_unpacklo_epi16(high8, zero));
      _mm_storeu_si128(out + 3, _mm_unpackhi_epi16(high8, zero));
    }
    // The field's last bytes (most fields are not a multiple of 16 long):
    // 8 and then 4 at a time.
    if (i + 8 <= size) {
      const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(bytes + i));
      high = _mm_or_si128(high, v);
      const __m128i low8 = _mm_unpacklo_epi8(v, zero);
      auto *out = reinterpret_cast<__m128i *>(to + i);
      _mm_storeu_si128(out, _mm_unpacklo_epi16(low8, zero));
      _mm_storeu_si128(out + 1, _mm_unpackhi_epi16(low8, zero));
      i += 8;
    }
    if (i + 4 <= size) {
      std::int32_t four;
      std::memcpy(&four, bytes + i, 4);
      const __m128i v = _mm_cvtsi32_si128(four);
      high = _mm_or_si128(high, v);
      _mm_storeu_si128(reinterpret_cast<__m128i *>(to + i),
                       _mm_unpacklo_epi16(_mm_unpacklo_epi8(v, zero), zero));
      i += 4;
    }
    if (_mm_movemask_epi8(high) != 0)
      return false;
#endif
    for (; i < size; ++i) {
      any |= bytes[i];
      to[i] = bytes[i];
    }
    return any < 0x80;
  }

  static std::size_t charactersOf(const unsigned char *bytes, std::size_t size) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < size; ++count)
      i += static_cast<std::size_t>(sequenceLength(bytes[i]));
    return count;
  }

  std::size_t capacity() const { return block_.size / (width_ * sizeof(char32_t)); }

  char32_t *next() {
    if (rows_ == capacity())
      regrow(std::max<std::size_t>({rows_ + 1, 2 * rows_, 1024}), width_);
    return reinterpret_cast<char32_t *>(block_.bytes.get()) + rows_ * width_;
  }

  // Room for `rows` rows of `width` characters, the rows so far moved over.
  void regrow(std::size_t rows, std::size_t width) {
    BlockPool::Block bigger = blockPool()->take(rows * width * sizeof(char32_t));
    auto *to = reinterpret_cast<char32_t *>(bigger.bytes.get());
    const auto *from = reinterpret_cast<const char32_t *>(block_.bytes.get());
    for (std::size_t r = 0; r < rows_; ++r) {
      std::copy(from + r * width_, from + (r + 1) * width_, to + r * width);
      std::fill(to + r * width + width_, to + (r + 1) * width, U'\0');
    }
    if (block_.bytes)
      blockPool()->give(std::move(block_));
    block_ = std::move(bigger);
    width_ = width;
  }

  BlockPool::Block block_;
  std::size_t rows_ = 0;
  std::size_t width_ = 1;  // characters from one row to the next
  std::size_t widest_ = 0; // the longest value's characters
};

// The values of one column for a batch of rows.
struct ColumnValues {
  ColumnKind kind = ColumnKind::text;
  int scale = 0;
  PooledValues<std::int64_t> numbers;
  PooledValues<double> floats;
  TextValues texts;
  std::string text; // exact values, one after another
  std::vector<std::size_t> ends;
  // 1 where null: numpy's bool as it is. Only once a value is null
  // (anyNull), the rows before it set then.
  PooledValues<std::uint8_t> nulls;
  bool anyNull = false;
  std::size_t rows = 0;
};

// A decimal's text read as an integer of `scale` decimal places; nothing
// when it does not fit in 64 bits or has more places.
std::optional<std::int64_t> scaledOf(std::string_view text, int scale) {
  bool negative = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+'))
    negative = text[i++] == '-';
  unsigned __int128 value = 0;
  int places = -1;
  bool digits = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && places < 0) {
      places = 0;
      continue;
    }
    if (c < '0' || c > '9')
      return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
    digits = true;
    if (places >= 0)
      ++places;
    if (value > (static_cast<unsigned __int128>(1) << 64))
      return std::nullopt;
  }
  if (!digits)
    return std::nullopt;
  for (int p = std::max(places, 0); p < scale; ++p) {
    value *= 10;
    if (value > (static_cast<unsigned __int128>(1) << 64))
      return std::nullopt;
  }
  if (places > scale)
    return std::nullopt;
  const unsigned __int128 limit =
      static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  if (value > limit)
    return std::nullopt;
  return negative ? static_cast<std::int64_t>(-static_cast<__int128>(value))
                  : static_cast<std::int64_t>(value);
}

std::string scaledText(std::int64_t value, int scale) {
  const bool negative = value < 0;
  std::string digits = std::to_string(value);
  if (negative)
    digits.erase(0, 1);
  if (scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(scale))
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  }
  return negative ? "-" + digits : digits;
}

// The rows of one record type in a batch.
struct RecordBatch {
  std::size_t rows = 0;
  std::vector<ColumnValues> columns;
};

class ColumnReader {
public:
  explicit ColumnReader(const std::vector<RecordShape> &shapes)
      : shapes_(shapes), templates_(shapes.size()) {
    reset(0);
  }

  // Empties the columns for the next batch, keeping their room: a batch's
  // vectors grown afresh each time cost a page fault per page touched.
  // `expected`: the rows asked for (0: all that are left); `exact`: the
  // rows the data holds, counted from its length.
  void reset(std::size_t expected, bool exact = false) {
    batches_.resize(shapes_.size());
    rooms_.resize(shapes_.size());
    for (std::size_t r = 0; r < shapes_.size(); ++r) {
      RecordBatch &batch = batches_[r];
      // Room for the rows to come, made at once: grown step by step the
      // columns would be copied and fresh pages touched twice. One record
      // type takes every row asked for; of several, each as many as last time.
      std::size_t room = shapes_.size() == 1 && expected > 0 ? expected : batch.rows;
      // Not past 1 GiB: a batch size far above the records there are (or a
      // wide text field, whose rows are its characters' 4 bytes each) would
      // ask for more memory than the process has, for rows that never come.
      std::size_t rowBytes = 1;
      for (const ColumnShape &column : shapes_[r].columns)
        rowBytes += 1 + (column.kind == ColumnKind::text ? column.chars * sizeof(char32_t) : 8);
      // Rows counted from the data come: up to the machine's memory, which
      // the arrays would take however they grow.
      static const std::size_t memory = static_cast<std::size_t>(::sysconf(_SC_PHYS_PAGES)) *
                                        static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
      if (room > (exact && expected > 0 ? memory : std::size_t{1} << 30) / rowBytes)
        room = 0;
      batch.rows = 0;
      batch.columns.resize(shapes_[r].columns.size());
      for (std::size_t c = 0; c < batch.columns.size(); ++c) {
        ColumnValues &values = batch.columns[c];
        values.kind = shapes_[r].columns[c].kind;
        values.scale = shapes_[r].columns[c].scale;
        values.numbers.clear();
        values.floats.clear();
        values.texts.clear(shapes_[r].columns[c].chars);
        values.text.clear();
        values.ends.clear();
        values.nulls.clear();
        values.anyNull = false;
        values.rows = 0;
        if (values.kind == ColumnKind::floating)
          values.floats.reserve(room);
        else if (values.kind == ColumnKind::integer || values.kind == ColumnKind::decimal)
          values.numbers.reserve(room);
        else if (values.kind == ColumnKind::text)
          values.texts.reserve(room);
      }
      rooms_[r] = room;
    }
    rows_ = 0;
  }

  std::size_t rows() const { return rows_; }
  std::vector<RecordBatch> &batches() { return batches_; }

  // The pages of the next `rows` rows of the columns' fresh blocks, in one
  // call a column: rows about to be written (of records decoded), whose
  // pages would otherwise be taken one fault each.
  void populate(std::size_t rows) const {
    for (const RecordBatch &batch : batches_)
      for (const ColumnValues &column : batch.columns) {
        // Of several record types, a type's rows are fewer than the
        // records: at most its block's room is populated.
        const std::size_t from = column.rows;
        column.numbers.populate(from, from + rows);
        column.floats.populate(from, from + rows);
        column.texts.populate(from, from + rows);
        column.nulls.populate(from, from + rows);
      }
  }

  // Reads record `r` of `values`. False when it is no record of the
  // decoder's: `why` says so.
  bool record(const RecordValues &values, std::size_t r, std::string &why) {
    tape_ = &values;
    if (values.compact(r))
      return compactRecord(values, r, why);
    const std::uint32_t object = values.record(r);
    // The tape was written by the decoding thread on the other core: its
    // tokens are asked for a few records ahead, not waited for one by one.
    if (r + 5 < values.records() && !values.compact(r + 4) && !values.compact(r + 5)) {
      const auto *ahead = reinterpret_cast<const char *>(&values[values.record(r + 4)]);
      const auto *end = reinterpret_cast<const char *>(&values[values.record(r + 5)]);
      for (; ahead < end; ahead += 64)
        __builtin_prefetch(ahead);
    }
    if (values[object].next < object + 3 || values[object + 1].type != ValueType::key) {
      why = "not a record";
      return false;
    }
    if (!shapeOf(values.field(values[object + 1]), why))
      return false;
    batch_ = &batches_[last_];
    row_ = batch_->rows;
    fixed(last_, object);
    ++batch_->rows;
    ++rows_;
    return true;
  }

  // Every column as long as its record's rows.
  void complete() {
    for (RecordBatch &batch : batches_) {
      batch_ = &batch;
      for (ColumnValues &column : batch.columns) {
        fill(column, batch.rows);
        if (column.kind == ColumnKind::text)
          column.texts.close();
      }
    }
  }

private:
  // The shape of the record whose root is plan field `field` made last_.
  bool shapeOf(int field, std::string &why) {
    if (last_ < shapes_.size() && shapes_[last_].root.field == field)
      return true;
    last_ = shapes_.size();
    for (std::size_t s = 0; s < shapes_.size(); ++s)
      if (shapes_[s].root.field == field)
        last_ = s;
    if (last_ == shapes_.size()) {
      why = "no record of field " + std::to_string(field);
      return false;
    }
    return true;
  }

  // A column of compact records: its value is the `index`th text or whole
  // number of each (of scale `scale`).
  struct CompactSlot {
    std::size_t column;
    std::uint32_t index;
    bool text;
    int scale;
  };

  // The columns of compact records, found once by walking their template
  // as a record (no values read): each value token's column and its place
  // among the record's texts or wholes, which come in the tokens' order.
  bool makeCompactSlots(const std::vector<ValueToken> &shape, std::string &why) {
    RecordValues record;
    record.appendRecord(shape, 0);
    if (shape.size() < 3 || shape[1].type != ValueType::key) {
      why = "not a record";
      return false;
    }
    if (!shapeOf(record.field(record[1]), why))
      return false;
    compactShape_ = last_;
    std::vector<std::pair<std::uint32_t, std::size_t>> slots;
    tape_ = &record;
    slots_ = &slots;
    slotsBase_ = 0;
    dry_ = true;
    walkOne(shapes_[last_].root, 2);
    dry_ = false;
    slots_ = nullptr;
    std::vector<std::uint32_t> place(shape.size(), 0);
    std::uint32_t texts = 0;
    std::uint32_t wholes = 0;
    for (std::size_t t = 0; t < shape.size(); ++t)
      if (shape[t].type == ValueType::string)
        place[t] = texts++;
      else if (shape[t].type == ValueType::scaled)
        place[t] = wholes++;
    compactSlots_.clear();
    for (const auto &[token, column] : slots) {
      const ValueType type = shape[token].type;
      if (type != ValueType::string && type != ValueType::scaled) {
        why = "a compact record's value is neither text nor a whole number";
        return false;
      }
      compactSlots_.push_back(CompactSlot{column, place[token], type == ValueType::string,
                                          RecordValues::scale(shape[token])});
    }
    // A column twice among the slots keeps its first value: read one by one.
    std::vector<bool> seen(shapes_[last_].columns.size(), false);
    compactRunnable_ = true;
    for (const CompactSlot &slot : compactSlots_) {
      compactRunnable_ = compactRunnable_ && !seen[slot.column];
      seen[slot.column] = true;
    }
    compactMade_ = true;
    return true;
  }

public:
  // Compact records [r, r + count) of `values` read a column at a time: one
  // column's values in a row, written to one array after another, with
  // the checks of each value made once for the run. 0 when the columns are
  // not all level with their rows or not of the kind their values are
  // (then the records are read one by one).
  std::size_t compactRun(const RecordValues &values, std::size_t r, std::size_t count) {
    if (!compactMade_ || !compactRunnable_)
      return 0;
    RecordBatch &batch = batches_[compactShape_];
    for (const CompactSlot &slot : compactSlots_) {
      const ColumnValues &column = batch.columns[slot.column];
      if (column.rows != batch.rows ||
          (slot.text ? column.kind != ColumnKind::text
                     : (column.kind != ColumnKind::integer && column.kind != ColumnKind::decimal) ||
                           column.scale != slot.scale))
        return 0;
    }
    const char *const text = values.textData();
    for (const CompactSlot &slot : compactSlots_) {
      ColumnValues &column = batch.columns[slot.column];
      if (slot.text) {
        column.texts.pushRun(count, [&](std::size_t k) {
          const RecordValues::CompactRecord &record = values.compactRecord(r + k);
          const std::uint32_t begin = slot.index == 0
                                          ? record.textStart
                                          : values.textEnd(record.firstEnd + slot.index - 1);
          return std::string_view(text + begin,
                                  values.textEnd(record.firstEnd + slot.index) - begin);
        });
      } else {
        std::int64_t *to = column.numbers.extend(count);
        for (std::size_t k = 0; k < count; ++k)
          to[k] = values.whole(values.compactRecord(r + k).firstWhole + slot.index);
      }
      if (column.anyNull)
        std::fill_n(column.nulls.extend(count), count, std::uint8_t{0});
      column.rows += count;
    }
    last_ = compactShape_;
    batch.rows += count;
    rows_ += count;
    return count;
  }

private:
  bool compactRecord(const RecordValues &values, std::size_t r, std::string &why) {
    if (!compactMade_ && !makeCompactSlots(values.compactShape(), why))
      return false;
    last_ = compactShape_;
    batch_ = &batches_[last_];
    row_ = batch_->rows;
    const RecordValues::CompactRecord &record = values.compactRecord(r);
    const char *const text = values.textData();
    for (const CompactSlot &slot : compactSlots_) {
      ColumnValues &column = batch_->columns[slot.column];
      if (slot.text) {
        const std::uint32_t begin =
            slot.index == 0 ? record.textStart : values.textEnd(record.firstEnd + slot.index - 1);
        const std::string_view value(text + begin,
                                     values.textEnd(record.firstEnd + slot.index) - begin);
        if (column.rows == row_ && column.kind == ColumnKind::text) {
          column.texts.push_back(value);
          if (column.anyNull)
            column.nulls.push_back(0);
          ++column.rows;
          continue;
        }
        fill(column, row_);
        if (column.rows == row_)
          finish(column, ValueType::string, value);
        continue;
      }
      const std::int64_t whole = values.whole(record.firstWhole + slot.index);
      if (column.rows == row_ && slot.scale == column.scale &&
          (column.kind == ColumnKind::integer || column.kind == ColumnKind::decimal)) {
        column.numbers.push_back(whole);
        if (column.anyNull)
          column.nulls.push_back(0);
        ++column.rows;
        continue;
      }
      fill(column, row_);
      if (column.rows == row_)
        scaledValue(column, whole, slot.scale);
    }
    ++batch_->rows;
    ++rows_;
    return true;
  }

  static bool structural(ValueType type) {
    return type == ValueType::object || type == ValueType::array || type == ValueType::key;
  }

  // An object, array or key of a record's first token structure: its
  // place and what it holds there, `next` counted from the record's token.
  struct Check {
    std::uint32_t token;
    std::uint32_t next;
    std::uint32_t at; // a key's plan field
    ValueType type;
  };

  // The columns' tokens of the records of one shape whose structure is the
  // first one's: in a fixed layout every record's. Each is read at its
  // place, in the walk's order, without searching the keys.
  struct Template {
    std::uint32_t size = 0; // tokens
    std::vector<Check> checks;
    std::vector<std::pair<std::uint32_t, std::size_t>> slots; // (token, column)
    bool made = false;
    std::size_t hits = 0;
    std::size_t misses = 0;
  };

  // Whether the record at `object` has the template's structure. Only the
  // objects, arrays and keys are compared, and that the columns' tokens are
  // values: a key's plan field decides what its value is (an object for a
  // group, an array for an OCCURS, else one value token), so with every
  // key, object and array the same, in the same places and spanning the
  // same tokens, so is every value's place.
  bool sameStructure(const Template &plan, std::uint32_t object) const {
    const RecordValues &tape = *tape_;
    if (tape[object].next - object != plan.size)
      return false;
    for (const Check &check : plan.checks) {
      const ValueToken &token = tape[object + check.token];
      if (token.type != check.type || token.next - object != check.next || token.at != check.at)
        return false;
    }
    for (const auto &slot : plan.slots)
      if (structural(tape[object + slot.first].type))
        return false;
    return true;
  }

  void fixed(std::size_t shape, std::uint32_t object) {
    const RecordValues &tape = *tape_;
    Template &plan = templates_[shape];
    if (!plan.made) {
      plan.made = true;
      const std::uint32_t end = tape[object].next;
      plan.size = end - object;
      for (std::uint32_t t = object; t < end; ++t)
        if (structural(tape[t].type))
          plan.checks.push_back(Check{t - object, tape[t].next - object, tape[t].at, tape[t].type});
      slots_ = &plan.slots;
      slotsBase_ = object;
      walkOne(shapes_[shape].root, object + 2);
      slots_ = nullptr;
      return;
    }
    // Records of another structure (OCCURS DEPENDING ON, groups left
    // out) are walked; when most are, the comparison is dropped.
    if (plan.misses > plan.hits + 64 || !sameStructure(plan, object)) {
      ++plan.misses;
      walkOne(shapes_[shape].root, object + 2);
      return;
    }
    ++plan.hits;
    for (const auto &[token, column] : plan.slots) {
      ColumnValues &values = batch_->columns[column];
      const ValueToken &read = tape[object + token];
      // Most values: a whole number of the column's scale, the column's rows up to this one.
      if (read.type == ValueType::scaled && values.rows == row_ &&
          RecordValues::scale(read) == values.scale &&
          (values.kind == ColumnKind::integer || values.kind == ColumnKind::decimal)) {
        values.numbers.push_back(tape.unscaled(read));
        if (values.anyNull)
          values.nulls.push_back(0);
        ++values.rows;
        continue;
      }
      value(values, read);
    }
  }

  void walk(const Node &node, std::uint32_t token) {
    const RecordValues &tape = *tape_;
    if (!node.array)
      return walkOne(node, token);
    if (tape[token].type != ValueType::array)
      return;
    std::size_t k = 0;
    for (std::uint32_t e = token + 1; e < tape[token].next; e = tape[e].next, ++k)
      if (k < node.occurrences.size())
        walkOne(node.occurrences[k], e);
  }

  void walkOne(const Node &node, std::uint32_t token) {
    const RecordValues &tape = *tape_;
    if (node.column >= 0) {
      if (slots_)
        slots_->emplace_back(token - slotsBase_, static_cast<std::size_t>(node.column));
      if (dry_)
        return;
      return value(batch_->columns[static_cast<std::size_t>(node.column)], tape[token]);
    }
    if (tape[token].type != ValueType::object)
      return;
    // Keys come in the plan's order, some left out: the search goes on from the last found.
    std::size_t cursor = 0;
    const std::size_t count = node.members.size();
    for (std::uint32_t k = token + 1; k < tape[token].next; k = tape[k].next) {
      const int field = tape.field(tape[k]);
      for (std::size_t tried = 0; tried < count; ++tried) {
        const std::size_t m = (cursor + tried) % count;
        if (node.members[m].field == field) {
          walk(node.members[m], k + 1);
          cursor = m + 1;
          break;
        }
      }
    }
  }

  // Null values up to `rows`.
  void fill(ColumnValues &column, std::size_t rows) {
    if (column.rows >= rows)
      return;
    if (!column.anyNull) {
      // The first null: the rows before it were not.
      column.anyNull = true;
      column.nulls.reserve(
          std::max(rows, rooms_[static_cast<std::size_t>(batch_ - batches_.data())]));
      for (std::size_t r = 0; r < column.rows; ++r)
        column.nulls.push_back(0);
    }
    while (column.rows < rows) {
      switch (column.kind) {
      case ColumnKind::integer:
      case ColumnKind::decimal:
        column.numbers.push_back(0);
        break;
      case ColumnKind::floating:
        column.floats.push_back(std::numeric_limits<double>::quiet_NaN());
        break;
      case ColumnKind::text:
        column.texts.push_empty();
        break;
      case ColumnKind::exact:
        column.ends.push_back(column.text.size());
        break;
      }
      column.nulls.push_back(1);
      ++column.rows;
    }
  }

  // A number that does not fit 64 bits (or its scale): the column keeps
  // every value as its text from now on, for Decimal objects.
  static void widen(ColumnValues &column) {
    for (std::size_t i = 0; i < column.numbers.size(); ++i) {
      if (!column.anyNull || !column.nulls[i])
        column.text += scaledText(column.numbers[i], column.scale);
      column.ends.push_back(column.text.size());
    }
    column.numbers.clear();
    column.kind = ColumnKind::exact;
  }

  void value(ColumnValues &column, const ValueToken &token) {
    fill(column, row_);
    if (column.rows > row_)
      return; // the same column twice in one record: the first stays
    if (token.type == ValueType::null) {
      fill(column, row_ + 1);
      return;
    }
    if (token.type == ValueType::scaled)
      return scaledValue(column, tape_->unscaled(token), RecordValues::scale(token));
    finish(column, token.type, tape_->text(token));
  }

  // A whole number of scale `scale` (the decoder's), as the row's value.
  void scaledValue(ColumnValues &column, std::int64_t unscaled, int scale) {
    // A number the decoder handed over whole goes in as it is.
    std::int64_t whole = 0;
    if ((column.kind == ColumnKind::integer || column.kind == ColumnKind::decimal) &&
        rescale(unscaled, scale, column.scale, whole)) {
      column.numbers.push_back(whole);
      if (column.anyNull)
        column.nulls.push_back(0);
      ++column.rows;
      return;
    }
    numberText_.clear();
    appendScaled(unscaled, scale, numberText_);
    finish(column, ValueType::scaled, numberText_);
  }

  // A value of `type` as its text, as the row's value.
  void finish(ColumnValues &column, ValueType type, std::string_view text) {
    switch (column.kind) {
    case ColumnKind::integer:
    case ColumnKind::decimal:
      if (type == ValueType::number)
        if (const std::optional<std::int64_t> n = scaledOf(text, column.scale)) {
          column.numbers.push_back(*n);
          break;
        }
      widen(column);
      [[fallthrough]];
    case ColumnKind::exact:
      column.text += text;
      column.ends.push_back(column.text.size());
      break;
    case ColumnKind::text:
      column.texts.push_back(text);
      break;
    case ColumnKind::floating: {
      double d = std::numeric_limits<double>::quiet_NaN();
      std::from_chars(text.data(), text.data() + text.size(), d);
      column.floats.push_back(d);
      break;
    }
    }
    if (column.anyNull)
      column.nulls.push_back(0);
    ++column.rows;
  }

  const std::vector<RecordShape> &shapes_;
  std::vector<RecordBatch> batches_;
  std::vector<std::size_t> rooms_; // each record's rows expected, for a mask made late
  std::vector<Template> templates_;
  std::vector<std::pair<std::uint32_t, std::size_t>> *slots_ = nullptr; // while a template is made
  std::uint32_t slotsBase_ = 0;
  bool dry_ = false; // a walk that finds the columns' places, no values read
  std::vector<CompactSlot> compactSlots_;
  std::size_t compactShape_ = 0; // the shape of compact records
  bool compactMade_ = false;
  bool compactRunnable_ = false; // no column twice among compactSlots_
  const RecordValues *tape_ = nullptr;
  std::string numberText_; // a scaled number's text, for a column of text
  std::size_t last_ = 0;
  RecordBatch *batch_ = nullptr;
  std::size_t row_ = 0;
  std::size_t rows_ = 0;
};

py::array decimalObjects(const ColumnValues &column, const py::object &decimal) {
  py::array array(py::dtype("O"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(column.rows)});
  auto *out = static_cast<PyObject **>(array.mutable_data());
  std::size_t begin = 0;
  for (std::size_t i = 0; i < column.rows; ++i) {
    py::object value = py::none();
    if (!column.anyNull || !column.nulls[i]) {
      if (column.kind == ColumnKind::exact)
        value = decimal(py::str(column.text.data() + begin, column.ends[i] - begin));
      else
        value = decimal(py::str(scaledText(column.numbers[i], column.scale)));
    }
    if (column.kind == ColumnKind::exact)
      begin = column.ends[i];
    Py_XDECREF(out[i]);
    out[i] = value.release().ptr();
  }
  return array;
}

py::list batchColumns(const std::vector<RecordShape> &shapes, ColumnReader &reader,
                      bool decimalObjectsWanted) {
  const py::object decimal = py::module_::import("decimal").attr("Decimal");
  std::size_t took = 0;
  for (RecordBatch &batch : reader.batches())
    for (const ColumnValues &column : batch.columns)
      took += column.numbers.bytes() + column.floats.bytes() + column.texts.bytes() +
              column.nulls.bytes();
  blockPool()->batchTook(took);
  py::list records;
  for (std::size_t r = 0; r < shapes.size(); ++r) {
    RecordBatch &batch = reader.batches()[r];
    py::list columns;
    for (std::size_t c = 0; c < batch.columns.size(); ++c) {
      ColumnValues &column = batch.columns[c];
      py::object array;
      py::object scale = py::none();
      switch (column.kind) {
      case ColumnKind::text:
        array = column.texts.release();
        break;
      case ColumnKind::integer:
        array = column.numbers.release(py::dtype::of<std::int64_t>());
        break;
      case ColumnKind::decimal:
        if (decimalObjectsWanted) {
          array = decimalObjects(column, decimal);
        } else {
          array = column.numbers.release(py::dtype::of<std::int64_t>());
          scale = py::int_(column.scale);
        }
        break;
      case ColumnKind::floating:
        array = column.floats.release(py::dtype::of<double>());
        break;
      case ColumnKind::exact:
        array = decimalObjects(column, decimal);
        break;
      }
      py::object mask = py::none();
      if (column.anyNull) {
        mask = column.nulls.release(py::dtype::of<bool>());
      }
      const ColumnShape &described = shapes[r].columns[c];
      columns.append(py::make_tuple(described.name, kindName(column.kind), array, mask, scale));
    }
    records.append(py::make_tuple(shapes[r].name, batch.rows, columns));
  }
  return records;
}

// ---- the Python objects ----------------------------------------------------

class NativeDecoder {
public:
  NativeDecoder(std::shared_ptr<const StreamDecoder> decoder)
      : decoder_(std::move(decoder)), shapes_(shapesOf(decoder_->plan())) {}

  std::shared_ptr<const StreamDecoder> decoder() const { return decoder_; }
  const std::vector<RecordShape> &shapes() const { return shapes_; }

  // The layout of the columns: (record, [(column, kind, scale)]) each.
  py::list columnLayout() const {
    py::list records;
    for (const RecordShape &shape : shapes_) {
      py::list columns;
      for (const ColumnShape &described : shape.columns)
        columns.append(py::make_tuple(described.name, kindName(described.kind), described.scale));
      records.append(py::make_tuple(shape.name, columns));
    }
    return records;
  }

private:
  std::shared_ptr<const StreamDecoder> decoder_;
  std::vector<RecordShape> shapes_;
};

class NativeDecode {
public:
  // `columns`: the decode is read by nextColumns() (records as values), not by nextLines().
  NativeDecode(const NativeDecoder &decoder, py::handle data, bool columns)
      : shapes_(decoder.shapes()), reader_(shapes_), columns_(columns) {
    task_.emplace(decoder.decoder(), sourceOf(data), columns);
  }

  // (lines as bytes, warnings) of the next piece; None at the end.
  py::object nextLines() {
    if (columns_)
      throw py::value_error("this decode gives columns, not lines");
    if (!task_)
      return py::none();
    std::optional<Piece> piece;
    {
      py::gil_scoped_release unlocked;
      piece = task_->next();
    }
    if (!piece)
      return py::none();
    py::list warnings;
    for (const DecodeWarning &w : piece->warnings)
      warnings.append(warningTuple(w));
    return py::make_tuple(py::bytes(piece->lines), warnings);
  }

  // (records, warnings) of up to `rows` more records (all that are left
  // when 0); None at the end. Records: (name, rows, [(column, kind, array,
  // mask or None, scale or None)]) each.
  py::object nextColumns(std::size_t rows, bool decimalObjectsWanted) {
    if (!columns_)
      throw py::value_error("this decode gives lines, not columns");
    if (!task_)
      return py::none();
    std::vector<DecodeWarning> warnings;
    std::string bad;
    bool any = false;
    {
      py::gil_scoped_release unlocked;
      // The columns of a whole decode are made as large as the data's
      // records at once, when these are known.
      const std::size_t expected = task_->recordsExpected();
      if (rows != 0)
        reader_.reset(rows);
      else
        reader_.reset(expected > before_ + at_ ? expected - before_ - at_ : 0, true);
      // The rows of the piece read so far are decoded: their pages are
      // made before they are written, as each piece's are when it comes.
      // (A piece handed back at the end of the decode holds no records.)
      const std::size_t left =
          piece_.records.records() > at_ ? piece_.records.records() - at_ : 0;
      reader_.populate(rows == 0 ? left : std::min(rows, left));
      while (rows == 0 || reader_.rows() < rows) {
        if (at_ >= piece_.records.records()) {
          before_ += piece_.records.records();
          // The piece read goes back before the wait: the run, which may be
          // waiting for room in the queue, then fills it again, not fresh memory.
          task_->recycle(std::move(piece_.records));
          std::optional<Piece> next = task_->next();
          if (!next)
            break;
          piece_ = std::move(*next);
          at_ = 0;
          reader_.populate(rows == 0 ? piece_.records.records()
                                     : std::min(rows - reader_.rows(), piece_.records.records()));
          any = true;
          for (DecodeWarning &w : piece_.warnings)
            warnings.push_back(std::move(w));
          continue;
        }
        any = true;
        if (piece_.records.compact(at_)) {
          // The compact records that follow, up to the batch's rows.
          std::size_t end = at_ + 1;
          const std::size_t last =
              rows == 0 ? piece_.records.records()
                        : std::min(piece_.records.records(), at_ + (rows - reader_.rows()));
          while (end < last && piece_.records.compact(end))
            ++end;
          if (const std::size_t read = reader_.compactRun(piece_.records, at_, end - at_)) {
            at_ += read;
            continue;
          }
        }
        if (!reader_.record(piece_.records, at_, bad))
          break;
        ++at_;
      }
      reader_.complete();
    }
    if (!bad.empty())
      throw std::runtime_error("a decoded line could not be read into columns: " + bad);
    if (!any && reader_.rows() == 0)
      return py::none();
    py::list warningList;
    for (const DecodeWarning &w : warnings)
      warningList.append(warningTuple(w));
    return py::make_tuple(batchColumns(shapes_, reader_, decimalObjectsWanted), warningList);
  }

  // After the end: (read, written, warned, completed, error).
  py::tuple result() {
    if (!task_)
      throw py::value_error("the decode was closed");
    const StreamResult &r = task_->result();
    return py::make_tuple(r.counts.read, r.counts.written, r.counts.warned, r.counts.completed,
                          r.error);
  }

  // Stops the decode (the iterator was left early).
  void close() { task_.reset(); }

private:
  const std::vector<RecordShape> &shapes_;
  ColumnReader reader_;
  bool columns_;
  std::optional<DecodeTask> task_;
  Piece piece_;
  std::size_t at_ = 0;
  std::size_t before_ = 0; // the decode's records in the pieces before piece_
};

} // namespace

py::object makeDecoder(const std::shared_ptr<const RecordModel> &model, bool comma,
                       const py::kwargs &options) {
  DecodeSettings settings;
  settings.options.quiet = true;
  settings.options.commaDecimalPoint = comma;
  if (options.contains("header_out"))
    throw py::type_error("decoder() does not take header_out: a decode gives the header and "
                         "trailer records among the others, each under its own record name");
  applyKeywords(decodeKeywords, settings, options, "decoder");
  std::shared_ptr<const StreamDecoder> decoder;
  try {
    py::gil_scoped_release unlocked;
    decoder = std::make_shared<const StreamDecoder>(*model, settings.options);
  } catch (const DecodeSetupError &error) {
    throw py::value_error(keywordNames(error.message));
  }
  return py::cast(std::make_unique<NativeDecoder>(std::move(decoder)));
}

std::string decoderKeywordDoc() { return keywordDoc(decodeKeywords); }

void defineDecoding(py::module_ &module) {
  py::class_<NativeDecoder>(module, "NativeDecoder",
                            "A copybook's decoder; vexfcbl.Decoder wraps it.")
      .def("column_layout", &NativeDecoder::columnLayout,
           "column_layout() -> [(record, [(column, kind, scale)])]");
  py::class_<NativeDecode>(module, "NativeDecode",
                           "One decode running on a thread of its own; vexfcbl.Decoder reads it.")
      .def(py::init<const NativeDecoder &, py::handle, bool>(), py::arg("decoder"), py::arg("data"),
           py::arg("columns") = false, py::keep_alive<1, 2>())
      .def("next_lines", &NativeDecode::nextLines,
           "next_lines() -> (lines bytes, warnings) or None at the end")
      .def("next_columns", &NativeDecode::nextColumns, py::arg("rows"), py::arg("decimal_objects"),
           "next_columns(rows, decimal_objects) -> (records, warnings) or None at the end")
      .def("result", &NativeDecode::result,
           "result() -> (read, written, warned, completed, error), after the end")
      .def("close", &NativeDecode::close, "Stops the decode.");
  module.def(
      "decoder_keywords", [] { return keywordList(decodeKeywords); },
      "The keyword arguments of Copybook.decoder(): (name, type, help) each.");
}

} // namespace vexpy

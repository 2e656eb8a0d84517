#include "support/trace.h"

#include <cstdio>
#include <map>
#include <vector>

namespace {

// The library's control state. A block's cached mask is valid while its stamp
// equals `stamp`; every change of a level or of the output bumps it.
struct TraceState {
  unsigned long stamp = 1;
  unsigned defaultMask = 0;
  std::map<std::string, unsigned> masks;
  std::ostream *out = nullptr;
};

TraceState &state() {
  static TraceState s;
  return s;
}

const char *componentName(const TRC1_EPB &block) {
  return block.component != nullptr ? block.component : "?";
}

void writeLine(const TRC1_EPB &block, int line, const std::string &text) {
  std::ostream *out = state().out;
  if (out == nullptr)
    return;
  *out << componentName(block) << '(' << line << "): " << text << '\n';
  out->flush();
}

void writeDump(const std::vector<unsigned char> &bytes) {
  std::ostream *out = state().out;
  if (out == nullptr)
    return;
  constexpr std::size_t perRow = 16;
  for (std::size_t row = 0; row < bytes.size(); row += perRow) {
    char cell[24];
    std::snprintf(cell, sizeof cell, "%04zx:", row);
    std::string hex = cell;
    std::string chars;
    for (std::size_t i = row; i < row + perRow; ++i) {
      if (i < bytes.size()) {
        std::snprintf(cell, sizeof cell, " %02x", bytes[i]);
        hex += cell;
        chars += (bytes[i] >= 0x20 && bytes[i] < 0x7f) ? static_cast<char>(bytes[i]) : '.';
      } else {
        hex += "   ";
      }
    }
    *out << "    " << hex << "  |" << chars << "|\n";
  }
  out->flush();
}

// Collects what is written and hands it over on every flush: as one trace
// line of a block, or appended to a caller's string.
class LineBuffer : public std::streambuf {
public:
  void toTrace(TRC1_EPB &block, int line, const void *address, std::size_t size) {
    pubsync();
    block_ = &block;
    line_ = line;
    target_ = nullptr;
    const auto *first = static_cast<const unsigned char *>(address);
    dump_.assign(first, first + (first != nullptr ? size : 0));
  }
  void toString(std::string &target) {
    pubsync();
    block_ = nullptr;
    target_ = &target;
    dump_.clear();
  }

protected:
  int_type overflow(int_type ch) override {
    if (!traits_type::eq_int_type(ch, traits_type::eof()))
      pending_ += traits_type::to_char_type(ch);
    return traits_type::not_eof(ch);
  }
  std::streamsize xsputn(const char *text, std::streamsize count) override {
    pending_.append(text, static_cast<std::size_t>(count));
    return count;
  }
  int sync() override {
    if (target_ != nullptr) {
      *target_ += pending_;
    } else if (block_ != nullptr && !pending_.empty()) {
      writeLine(*block_, line_, pending_);
      if (!dump_.empty())
        writeDump(dump_);
      dump_.clear();
    }
    pending_.clear();
    return 0;
  }

private:
  std::string pending_;
  TRC1_EPB *block_ = nullptr;
  int line_ = 0;
  std::string *target_ = nullptr;
  std::vector<unsigned char> dump_;
};

} // namespace

struct VexTraceStream::Impl {
  LineBuffer buffer;
  vextraceos os{&buffer};
};

unsigned TRC1_Sync(TRC1_EPB &block) {
  TraceState &s = state();
  auto found = s.masks.find(componentName(block));
  block.mask = found != s.masks.end() ? found->second : s.defaultMask;
  block.stamp = s.stamp;
  return block.mask;
}

unsigned TRC1_Level(TRC1_EPB &block) {
  return block.stamp == state().stamp ? block.mask : TRC1_Sync(block);
}

void TRC1_Event(TRC1_EPB &block, int line, int kind) {
  writeLine(block, line, kind == 0 ? "Entry" : "Exit");
}

void TRC1_Event(TRC1_EPB &block, int line, int kind, const std::string &value) {
  if (kind == 1)
    writeLine(block, line, "Exit (" + value + ")");
  else
    TRC1_Event(block, line, kind);
}

VexTraceStream::VexTraceStream() : impl_(std::make_unique<Impl>()) {}

VexTraceStream::~VexTraceStream() { impl_->os.flush(); }

vextraceos &VexTraceStream::getOs(TRC1_EPB &block, int line) {
  return getOs(block, line, nullptr, 0);
}

vextraceos &VexTraceStream::getOs(TRC1_EPB &block, int line, const void *address,
                                  std::size_t size) {
  impl_->buffer.toTrace(block, line, address, size);
  // Without an output nothing is formatted at all: a failed stream skips the
  // conversions, which keeps the switched-off trace cheap.
  impl_->os.clear(state().out != nullptr ? std::ios_base::goodbit : std::ios_base::badbit);
  return impl_->os;
}

vextraceos &VexTraceStream::getOs(std::string &target) {
  impl_->buffer.toString(target);
  impl_->os.clear();
  return impl_->os;
}

VexTraceLine::VexTraceLine(TRC1_EPB &block, int line, const char *prefix)
    : os_(&stream_.getOs(block, line)) {
  *os_ << prefix;
}

VexTraceLine::~VexTraceLine() { os_->flush(); }

VexTraceFunc::VexTraceFunc(TRC1_EPB &block, int line, const char *function)
    : block_(block), level_(TRC1_Level(block)), entered_((level_ & TRC1_FLOW) != 0) {
  if (!entered_)
    return;
  TRC1_Event(block_, line, 0);
  VexTraceLine(block_, line, "Args - ").os() << function;
  line_ = line;
}

VexTraceFunc::~VexTraceFunc() {
  if (!entered_)
    return;
  if (hasResult_)
    TRC1_Event(block_, line_, 1, result_);
  else
    TRC1_Event(block_, line_, 2);
}

void VexTraceFunc::setResult(std::string text) {
  hasResult_ = true;
  result_ = std::move(text);
}

void vexTraceSetLevel(const char *component, unsigned mask) {
  TraceState &s = state();
  if (component == nullptr) {
    s.masks.clear();
    s.defaultMask = mask;
  } else {
    s.masks[component] = mask;
  }
  ++s.stamp;
}

void vexTraceSetOutput(std::ostream *out) {
  state().out = out;
  ++state().stamp;
}

vextraceos &operator<<(vextraceos &os, const char *text) {
  static_cast<std::ostream &>(os) << (text != nullptr ? text : "NULL");
  return os;
}

vextraceos &operator<<(vextraceos &os, char *text) { return os << static_cast<const char *>(text); }

vextraceos &operator<<(vextraceos &os, std::ostream &(*manipulator)(std::ostream &)) {
  manipulator(os);
  return os;
}

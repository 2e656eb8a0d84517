#pragma once
#include <concepts>
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

// Developer trace. Every converter module owns one control block; a traced
// function opens a VexTraceFunc at its top. The trace is off in the shipped
// program; only tests switch it on, and nothing the converter does may depend
// on the level mask.

// Level bits of a module's mask.
constexpr unsigned TRC1_DETAIL = 0x01; // "Detail - " lines
constexpr unsigned TRC1_FLOW = 0x40;   // entry/exit events, "Args - " and "Flow - " lines
constexpr unsigned TRC1_ERROR = 0x80;  // "!!! Error - " lines

// Per-module control block: the module's name and its cached level mask
// together with the library stamp at the time the mask was fetched.
struct TRC1_EPB {
  const char *component;
  unsigned mask = 0;
  unsigned long stamp = 0;
};

// Fetches (and caches) the block's current mask.
unsigned TRC1_Sync(TRC1_EPB &block);
// The block's mask: the cached one while the stamp is current, else TRC1_Sync.
unsigned TRC1_Level(TRC1_EPB &block);
// kind 0 entry, 1 exit with value, 2 exit without value.
void TRC1_Event(TRC1_EPB &block, int line, int kind);
void TRC1_Event(TRC1_EPB &block, int line, int kind, const std::string &value);

// The trace's output stream; writing std::flush ends a trace line.
class vextraceos : public std::ostream {
public:
  explicit vextraceos(std::streambuf *buffer) : std::ostream(buffer) {}
};

// Function-local access to trace lines.
class VexTraceStream {
public:
  VexTraceStream();
  ~VexTraceStream();
  VexTraceStream(const VexTraceStream &) = delete;
  VexTraceStream &operator=(const VexTraceStream &) = delete;
  // A trace line of the block at a source line.
  vextraceos &getOs(TRC1_EPB &block, int line);
  // A trace line followed by a hex dump of the memory block.
  vextraceos &getOs(TRC1_EPB &block, int line, const void *address, std::size_t size);
  // A stream that leaves what is written in `target` when flushed.
  vextraceos &getOs(std::string &target);

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Entry event and "Args - " line on construction, exit event on destruction,
// when the block's Flow bit is set.
class VexTraceFunc {
public:
  VexTraceFunc(TRC1_EPB &block, int line, const char *function);
  ~VexTraceFunc();
  VexTraceFunc(const VexTraceFunc &) = delete;
  VexTraceFunc &operator=(const VexTraceFunc &) = delete;
  unsigned level() const { return level_; }
  // Records the function's result for the exit event.
  template <typename T> const T &result(const T &value);

private:
  void setResult(std::string text);
  TRC1_EPB &block_;
  unsigned level_;
  bool entered_;
  bool hasResult_ = false;
  std::string result_;
  int line_ = 0;
};

// Test control: the mask for one component (nullptr: every component) and
// where trace lines go (nullptr: nowhere). Changing either bumps the stamp.
void vexTraceSetLevel(const char *component, unsigned mask);
void vexTraceSetOutput(std::ostream *out);

// Opens the function's trace scope: VEX_TRACE(block, "vexCblCreateDef");
#define VEX_TRACE(block, function) VexTraceFunc vexTraceScope_((block), __LINE__, (function))
// Writes a detail line when the Detail bit is set: VEX_TRACE_DETAIL(block) << "Picture" << "(" <<
// pic << ") ";
#define VEX_TRACE_DETAIL(block)                                                                    \
  for (bool vexOn_ = vexTraceScope_.level() & TRC1_DETAIL; vexOn_; vexOn_ = false)                 \
  VexTraceLine((block), __LINE__, "Detail - ").os()

// One trace line, ended on destruction.
class VexTraceLine {
public:
  VexTraceLine(TRC1_EPB &block, int line, const char *prefix);
  ~VexTraceLine();
  VexTraceLine(const VexTraceLine &) = delete;
  VexTraceLine &operator=(const VexTraceLine &) = delete;
  vextraceos &os() { return *os_; }

private:
  VexTraceStream stream_;
  vextraceos *os_;
};

#include <sstream>
template <typename T> const T &VexTraceFunc::result(const T &value) {
  if (entered_) {
    std::ostringstream text;
    text << value;
    setResult(text.str());
  }
  return value;
}

// A text pointer that may be null is written as "NULL"; every other value
// goes through std::ostream and the chain stays a vextraceos.
vextraceos &operator<<(vextraceos &os, const char *text);
vextraceos &operator<<(vextraceos &os, char *text);
vextraceos &operator<<(vextraceos &os, std::ostream &(*manipulator)(std::ostream &));
// The stream type is deduced and checked first, so that looking for an
// ostream printer of some other type never recurses into this template.
template <typename OS, typename T>
requires std::same_as<OS, vextraceos> && requires(std::ostream &out, const T &value) {
  out << value;
}
vextraceos &operator<<(OS &os, const T &value) {
  static_cast<std::ostream &>(os) << value;
  return os;
}

// Further trace lines of the function opened with VEX_TRACE, each written
// only when its level bit is set (a loop rather than if/else, so that the
// macros sit safely under an unbraced if): "Args - " and "Flow - " under Flow,
// "!!! Error - " under Error.
#define VEX_TRACE_ARGS(block)                                                                      \
  for (bool vexOn_ = vexTraceScope_.level() & TRC1_FLOW; vexOn_; vexOn_ = false)                   \
  VexTraceLine((block), __LINE__, "Args - ").os()
#define VEX_TRACE_FLOW(block)                                                                      \
  for (bool vexOn_ = vexTraceScope_.level() & TRC1_FLOW; vexOn_; vexOn_ = false)                   \
  VexTraceLine((block), __LINE__, "Flow - ").os()
#define VEX_TRACE_ERROR(block)                                                                     \
  for (bool vexOn_ = vexTraceScope_.level() & TRC1_ERROR; vexOn_; vexOn_ = false)                  \
  VexTraceLine((block), __LINE__, "!!! Error - ").os()
// The function's result, recorded for the exit event: return VEX_TRACE_RESULT(size);
#define VEX_TRACE_RESULT(value) vexTraceScope_.result(value)

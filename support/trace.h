#pragma once
// The developer trace of a conversion, switched on by VEXFCBL_TRACE=FILE.
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>

// The developer trace of one conversion: for each entry what was read from
// it, what it was mapped to and where the definition went, one line each,
// for whoever has to find out why a copybook converted the way it did.
//
// The trace belongs to the conversion that writes it: the conversion asks
// the environment once when it starts (VEXFCBL_TRACE=FILE appends the lines
// to FILE; unset or empty, the trace is off) and closes the file when it
// ends, so nothing of one conversion's trace outlives it or reaches the
// next. Switched off, a trace line costs the test of one pointer: the
// operands of VEX_TRACE are not even evaluated.
class VexTrace {
public:
  // The environment variable that names the trace file.
  static constexpr const char *environmentName = "VEXFCBL_TRACE";

  // Off.
  VexTrace() = default;
  // Appends to the file `path`; off when it cannot be opened.
  explicit VexTrace(const std::string &path);
  // Writes into `out`, which must outlive the trace.
  explicit VexTrace(std::ostream &out) : out_(&out) {}
  VexTrace(VexTrace &&other) noexcept;
  VexTrace &operator=(VexTrace &&other) noexcept;
  VexTrace(const VexTrace &) = delete;
  VexTrace &operator=(const VexTrace &) = delete;
  ~VexTrace();

  // The trace the environment asks for now: the file VEXFCBL_TRACE names, or off.
  static VexTrace fromEnvironment();

  bool on() const { return out_ != nullptr; }

  // One line of the trace, written with its line break when the object goes.
  class Line {
  public:
    explicit Line(std::ostream &out) : out_(out) {}
    ~Line();
    Line(const Line &) = delete;
    Line &operator=(const Line &) = delete;
    template <typename T> Line &operator<<(const T &value) {
      text_ << value;
      return *this;
    }

  private:
    std::ostream &out_;
    std::ostringstream text_;
  };
  // A new line; only while on().
  Line line() { return Line(*out_); }

private:
  std::unique_ptr<std::ofstream> file_;
  std::ostream *out_ = nullptr;
};

// Writes one trace line when the trace is on, else evaluates nothing:
// VEX_TRACE(conversion.trace) << "entry " << name;
#define VEX_TRACE(trace)                                                                           \
  for (bool vexTraceOn_ = (trace).on(); vexTraceOn_; vexTraceOn_ = false)                          \
  (trace).line()

// The terminal status line: carriage return and erase-to-end-of-line around every message.
#include "support/status_line.h"

#include <unistd.h>

namespace {

// Back to the start of the line and erase it (ECMA-48 EL), which every
// terminal emulator in use understands.
constexpr char erase[] = "\r\033[K";

} // namespace

StatusLine::StatusLine(std::FILE *stream, bool enabled) : stream_(stream), enabled_(enabled) {}

StatusLine::~StatusLine() { clear(); }

bool StatusLine::isTerminal(std::FILE *stream) { return ::isatty(fileno(stream)) == 1; }

void StatusLine::show(std::string_view text) {
  if (!enabled_)
    return;
  const std::lock_guard lock(mutex_);
  std::fputs(erase, stream_);
  std::fwrite(text.data(), 1, text.size(), stream_);
  std::fflush(stream_);
  shown_ = true;
}

void StatusLine::clear() {
  const std::lock_guard lock(mutex_);
  eraseLocked();
}

void StatusLine::print(std::string_view message) {
  if (message.empty())
    return;
  const std::lock_guard lock(mutex_);
  eraseLocked();
  std::fwrite(message.data(), 1, message.size(), stream_);
  if (enabled_)
    std::fflush(stream_);
}

void StatusLine::eraseLocked() {
  if (!shown_)
    return;
  std::fputs(erase, stream_);
  std::fflush(stream_);
  shown_ = false;
}

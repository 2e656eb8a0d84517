#pragma once
// StatusLine: one line of progress kept at the bottom of a terminal, out of the way of messages.
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

// A line redrawn in place on `stream` (standard error) while a long run
// works, erased before any message is written and at the end, so messages
// and the summary never mix with it. Every member may be called from any
// thread. A disabled line shows nothing: print() then writes the message as
// it is, so callers need not know whether progress is on.
class StatusLine {
public:
  StatusLine(std::FILE *stream, bool enabled);
  // Erases the line.
  ~StatusLine();
  StatusLine(const StatusLine &) = delete;
  StatusLine &operator=(const StatusLine &) = delete;

  // True when `stream` is a terminal: the only place a line can be redrawn.
  static bool isTerminal(std::FILE *stream);

  bool enabled() const { return enabled_; }
  // Replaces the line with `text` (one line, no newline).
  void show(std::string_view text);
  // Erases the line; it stays away until the next show().
  void clear();
  // Writes `message` (whole lines) with the line erased first.
  void print(std::string_view message);

private:
  void eraseLocked();

  std::FILE *stream_;
  bool enabled_;
  bool shown_ = false;
  std::mutex mutex_;
};

// The stop handler: everything it needs is prepared beforehand, so it runs on
// async-signal-safe calls alone (write, unlink, _exit).
#include "decoder/run_signals.h"

#include <algorithm>
#include <csignal>
#include <cstring>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr std::size_t lineSize = 1024;

struct StopState {
  bool terminal = false;
  char program[128] = {};
  char output[lineSize] = {};
  char removal[lineSize] = {};
  volatile sig_atomic_t placed = 0;
  volatile sig_atomic_t hasRemoval = 0;
  struct sigaction before[std::size(stopSignals)] = {};
  bool installed[std::size(stopSignals)] = {};
};

StopState state;

void put(const char *text) {
  std::size_t left = std::strlen(text);
  while (left > 0) {
    const ssize_t done = ::write(STDERR_FILENO, text, left);
    if (done <= 0)
      return;
    text += done;
    left -= static_cast<std::size_t>(done);
  }
}

void stop(int signal) {
  if (state.hasRemoval != 0)
    ::unlink(state.removal);
  if (state.terminal)
    put("\r\033[K");
  put(state.program);
  put(signal == SIGINT ? ": interrupted" : signal == SIGTERM ? ": terminated" : ": hung up");
  if (state.output[0] != '\0') {
    put(state.placed != 0 ? " after " : ": ");
    put(state.output);
    put(state.placed != 0 ? " was written" : " left as it was");
  }
  put("\n");
  ::_exit(128 + signal);
}

// Copies `text` into `into`, cut to fit: the handler must not allocate.
template <std::size_t N> void keepText(char (&into)[N], const std::string &text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::memcpy(into, text.data(), n);
  into[n] = '\0';
}

} // namespace

SignalStop::SignalStop(const std::string &program) {
  state.terminal = ::isatty(STDERR_FILENO) == 1;
  keepText(state.program, program);
  state.output[0] = '\0';
  state.placed = 0;
  state.hasRemoval = 0;
  struct sigaction action {};
  action.sa_handler = stop;
  sigemptyset(&action.sa_mask);
  for (const int signal : stopSignals)
    sigaddset(&action.sa_mask, signal);
  for (std::size_t i = 0; i < std::size(stopSignals); ++i) {
    struct sigaction &before = state.before[i];
    state.installed[i] = false;
    if (::sigaction(stopSignals[i], nullptr, &before) != 0 || before.sa_handler == SIG_IGN)
      continue;
    state.installed[i] = ::sigaction(stopSignals[i], &action, nullptr) == 0;
  }
}

SignalStop::~SignalStop() {
  for (std::size_t i = 0; i < std::size(stopSignals); ++i)
    if (state.installed[i])
      ::sigaction(stopSignals[i], &state.before[i], nullptr);
  state.hasRemoval = 0;
}

void SignalStop::protectOutput(const std::string &output) {
  keepText(state.output, output);
  state.placed = 0;
}

void SignalStop::outputPlaced() { state.placed = 1; }

void SignalStop::removeOnStop(const std::string &path) {
  state.hasRemoval = 0;
  keepText(state.removal, path);
  state.hasRemoval = 1;
}

void SignalStop::keep() { state.hasRemoval = 0; }

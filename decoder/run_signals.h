#pragma once
// SignalStop: Ctrl-C and kill end a decoding run at once, with a line that says what became of
// its output.
#include <string>

// While one is alive, SIGINT, SIGTERM and SIGHUP end the process at once
// with status 128 + the signal's number, after erasing a progress line (on a
// terminal) and writing one line on standard error: "PROGRAM: interrupted"
// (SIGINT), "terminated" (SIGTERM) or "hung up" (SIGHUP), and what became of
// the output. A file registered with removeOnStop() is removed first.
// Signals the process was started to ignore (nohup, a background job) stay
// ignored. The handlers before it come back when it goes. One at a time.
class SignalStop {
public:
  explicit SignalStop(const std::string &program);
  ~SignalStop();
  SignalStop(const SignalStop &) = delete;
  SignalStop &operator=(const SignalStop &) = delete;

  // The run writes `output` (a file name): a stop says it was left as it was.
  void protectOutput(const std::string &output);
  // The output is in place: a stop now says it was written.
  void outputPlaced();
  // A stop removes `path` (a file the run created under a name), until
  // keep() is called or a newer path is given.
  void removeOnStop(const std::string &path);
  void keep();
};

#pragma once
// The files of a decoding run: its inputs checked before anything is written, and its output
// put in place only when the run completes.
#include <sys/types.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class SignalStop;

// A file refused or failed: `message` is the line(s) to print, each with the
// program's prefix and a newline.
struct RunFileError {
  std::string message;
};

// A file the run reads, as the system knows it (links followed).
struct RunInput {
  std::string name; // as the user gave it; empty for the standard input
  std::string role; // "the data file", "the copybook", "the standard input"
  dev_t device = 0;
  ino_t inode = 0;
  bool regular = false;
  std::int64_t size = -1; // regular files only
  std::string head;       // the first bytes of a regular data file
};

// Checks every data file before the run decodes anything: each exists, is
// no folder and can be read. Returns them in order, each regular file with
// its size and its first `headBytes` bytes (other files, such as pipes, are
// not read here: their bytes would be lost). RunFileError naming every file
// that cannot be read and why ("cannot read acct.ebc: No such file or
// directory").
std::vector<RunInput> checkDataFiles(const std::vector<std::string> &names,
                                     std::size_t headBytes);

// The copybooks the front end read, as inputs an output must not be.
// Files that are gone since are left out.
std::vector<RunInput> copybookInputs(const std::vector<std::string> &names);

// The standard input when it is a file an output could be; nothing for a
// terminal or a pipe.
std::optional<RunInput> standardInput();

// Where the decoded records go. The standard output is written as the run
// goes. A file is written out of sight, beside it (an unnamed file where the
// file system has them), and put in place by one rename when commit() is
// called: a run that stops for any reason leaves the earlier file as it was
// and nothing else behind. A device or a pipe given as the output is written
// into.
class DecodeOutput {
public:
  // `path` empty: the standard output. Otherwise RunFileError, with nothing
  // touched, when `path` is one of `inputs` (the same file by device and
  // inode, through links), a folder, or cannot be written. `stop`, when
  // given, removes a named temporary file if the run is stopped by a signal.
  DecodeOutput(const std::string &path, const std::vector<RunInput> &inputs,
               SignalStop *stop = nullptr);
  // An output not committed vanishes.
  ~DecodeOutput();
  DecodeOutput(const DecodeOutput &) = delete;
  DecodeOutput &operator=(const DecodeOutput &) = delete;

  // The stream to write the records to.
  std::FILE *stream() const { return stream_; }
  // Flushes the stream and puts the file in place; RunFileError ("cannot
  // write out.jsonl: No space left on device") when writing failed at any
  // point, the earlier file then untouched.
  void commit();
  // The line saying why writing failed ("cannot write out.jsonl: No space
  // left on device"), or empty while every write succeeded.
  std::string failure() const;

private:
  struct Spool;
  std::string writeError(int error) const;
  [[noreturn]] void fail(int error) const;

  std::string path_;
  std::FILE *stream_ = nullptr;
  std::unique_ptr<Spool> spool_;
  SignalStop *stop_;
};

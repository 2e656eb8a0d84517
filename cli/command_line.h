#pragma once
// Command-line classes: argument cursor, option declarations, option errors and usage output.
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Command-line utility classes: a cursor over the arguments, option
// declarations that consume what they recognise, and the error and usage
// output shared by every program of the family.

// A cursor over argv[1] .. argv[argc - 1]; the program name is skipped.
class VexCmdLine {
public:
  // Copies the arguments; argv need not outlive the cursor.
  VexCmdLine(int argc, char **argv);
  // True when every argument has been consumed.
  bool atEnd() const;
  // The argument under the cursor, not consumed; nullptr at the end.
  const char *peek() const;
  // Consumes the argument under the cursor and returns it; nullptr at the end.
  const char *next();

private:
  std::vector<std::string> args_;
  std::size_t cursor_ = 0;
};

// Ends the reading of the options once an option error or the usage text has
// been written: the program ends with `status`.
struct VexCmdStop {
  int status;
};

// Error and usage output of a program with its usage text.
class VexCmdError {
public:
  // Kinds of error() about an option.
  static constexpr int missingValue = 1;
  static constexpr int invalidValue = 3;

  explicit VexCmdError(std::string usage) : usage_(std::move(usage)) {}
  // Writes "Error: " and the text for `kind` about option "-" + option, and a
  // newline, on the standard error stream; then printUsageAndStop(1).
  [[noreturn]] void error(const std::string &option, int kind) const;
  // Writes the usage text on the standard output and throws VexCmdStop with
  // `status`.
  [[noreturn]] void printUsageAndStop(int status) const;
  // Writes `text` on the standard output and throws VexCmdStop with status 0
  // (--help, --version).
  [[noreturn]] void printAndStop(const std::string &text) const;

private:
  std::string usage_;
};

// One option, named without its leading "-". An option that takes a value
// consumes the following argument as its value, whatever it looks like.
// Repeating an option is allowed for single options too: every occurrence is
// read, so the caller's later assignment wins.
class VexCmdArg {
public:
  VexCmdArg(const std::string &name, bool takesValue);
  // True when the argument under the cursor is "-" + name; the option (and
  // its value, stored in `value`) is then consumed. An option that takes a
  // value but stands last is reported through `errors` (missingValue).
  // False, with nothing consumed, for any other argument.
  bool read(VexCmdLine &line, std::string &value, const VexCmdError &errors) const;

private:
  std::string name_;
  bool takesValue_;
};

// The library's message texts, without the "Error: " prefix.
class VexUtilityErrorMsg {
public:
  // "unknown option '<arg>'." with the argument as given.
  static std::string optUnknownOption(const std::string &arg);
  // The text of an error() kind about "-" + option.
  static std::string optError(const std::string &option, int kind);
};

// The --version line of `program`: "PROGRAM VERSION", then " (git REVISION)"
// when built from a checkout, and a newline.
std::string vexVersionLine(const std::string &program);

#pragma once
#include <cstddef>
#include <string>
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

// One option, named without its leading "-". An option that takes a value
// consumes the following argument as its value, whatever it looks like.
// Repeating an option is allowed for single options too: every occurrence is
// read, so the caller's later assignment wins.
class VexCmdArg {
public:
  VexCmdArg(const std::string &name, bool takesValue, bool single);
  // True when the argument under the cursor is "-" + name; the option (and
  // its value, stored in `value`) is then consumed. An option that takes a
  // value but stands last reports kind VexCmdError::missingValue and ends the
  // process. False, with nothing consumed, for any other argument.
  bool read(VexCmdLine &line, std::string &value);
  const std::string &name() const { return name_; }
  bool takesValue() const { return takesValue_; }
  bool single() const { return single_; }

private:
  std::string name_;
  bool takesValue_;
  bool single_;
};

// Error and usage output. The usage text is stored once by the program.
class VexCmdError {
public:
  // Kinds of error() about an option.
  static constexpr int missingValue = 1;
  static constexpr int invalidValue = 3;

  static void setUsageText(const std::string &text);
  // Writes "Error: " and the text for `kind` about option "-" + option, and a
  // newline, on the standard error stream; then printUsageAndExit(1).
  [[noreturn]] static void error(const std::string &option, int kind);
  // Writes the usage text on the standard output and ends the process with
  // `status`.
  [[noreturn]] static void printUsageAndExit(int status);
};

// The library's message texts, without the "Error: " prefix.
class VexUtilityErrorMsg {
public:
  // "unknown option '<arg>'." with the argument as given.
  static std::string optUnknownOption(const std::string &arg);
  // The text of an error() kind about "-" + option.
  static std::string optError(const std::string &option, int kind);
};

// Argument cursor, option matching, and the option error and usage texts that stop the reading.
#include "cli/command_line.h"

#include <iostream>

#include "cli/build_version.h"

namespace {

// Texts of the error kinds: the option, with its "-", goes between the parts.
struct KindText {
  int kind;
  const char *before;
  const char *after;
};
constexpr KindText kindTexts[] = {
    {VexCmdError::missingValue, "option '", "' needs a value."},
    {VexCmdError::invalidValue, "invalid value for option '", "'."},
};

} // namespace

VexCmdLine::VexCmdLine(int argc, char **argv) {
  for (int i = 1; i < argc; ++i)
    args_.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

bool VexCmdLine::atEnd() const { return cursor_ >= args_.size(); }

const char *VexCmdLine::peek() const { return atEnd() ? nullptr : args_[cursor_].c_str(); }

const char *VexCmdLine::next() {
  const char *arg = peek();
  if (arg != nullptr)
    ++cursor_;
  return arg;
}

VexCmdArg::VexCmdArg(const std::string &name, bool takesValue)
    : name_(name), takesValue_(takesValue) {}

bool VexCmdArg::read(VexCmdLine &line, std::string &value, const VexCmdError &errors) const {
  const char *arg = line.peek();
  if (arg == nullptr || arg[0] != '-' || name_ != arg + 1)
    return false;
  line.next();
  if (!takesValue_)
    return true;
  const char *given = line.next();
  if (given == nullptr)
    errors.error(name_, VexCmdError::missingValue);
  value = given;
  return true;
}

void VexCmdError::error(const std::string &option, int kind) const {
  std::cout.flush();
  std::cerr << "Error: " << VexUtilityErrorMsg::optError(option, kind) << std::endl;
  printUsageAndStop(1);
}

void VexCmdError::printUsageAndStop(int status) const {
  std::cout << usage_;
  std::cout.flush();
  std::cerr.flush();
  throw VexCmdStop{status};
}

void VexCmdError::printAndStop(const std::string &text) const {
  std::cout << text;
  std::cout.flush();
  throw VexCmdStop{0};
}

std::string vexVersionLine(const std::string &program) {
  const std::string revision = vexRevision;
  return program + " " + vexVersion + (revision.empty() ? "" : " (git " + revision + ")") + "\n";
}

std::string VexUtilityErrorMsg::optUnknownOption(const std::string &arg) {
  return "unknown option '" + arg + "'.";
}

std::string VexUtilityErrorMsg::optError(const std::string &option, int kind) {
  for (const KindText &text : kindTexts)
    if (text.kind == kind)
      return text.before + ("-" + option) + text.after;
  return "invalid use of option '-" + option + "'.";
}

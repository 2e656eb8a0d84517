// Usage names, and finding items and records of the model by name.
#include "record/record_model.h"

#include <array>
#include <cctype>

namespace {

struct UsageText {
  Usage usage;
  const char *name;
};

constexpr std::array<UsageText, 47> usageTexts{{
    {Usage::none, ""},
    {Usage::display, "DISPLAY"},
    {Usage::national, "NATIONAL"},
    {Usage::display1, "DISPLAY-1"},
    {Usage::binary, "BINARY"},
    {Usage::comp, "COMP"},
    {Usage::comp4, "COMP-4"},
    {Usage::comp5, "COMP-5"},
    {Usage::comp1, "COMP-1"},
    {Usage::comp2, "COMP-2"},
    {Usage::comp3, "COMP-3"},
    {Usage::packedDecimal, "PACKED-DECIMAL"},
    {Usage::index, "INDEX"},
    {Usage::pointer, "POINTER"},
    {Usage::procedurePointer, "PROCEDURE-POINTER"},
    {Usage::objectReference, "OBJECT REFERENCE"},
    {Usage::binaryChar, "BINARY-CHAR"},
    {Usage::binaryCharUnsigned, "BINARY-CHAR"},
    {Usage::binaryShort, "BINARY-SHORT"},
    {Usage::binaryShortUnsigned, "BINARY-SHORT"},
    {Usage::binaryLong, "BINARY-LONG"},
    {Usage::binaryLongUnsigned, "BINARY-LONG"},
    {Usage::binaryDouble, "BINARY-DOUBLE"},
    {Usage::binaryDoubleUnsigned, "BINARY-DOUBLE"},
    {Usage::floatShort, "FLOAT-SHORT"},
    {Usage::floatLong, "FLOAT-LONG"},
    {Usage::functionPointer, "FUNCTION-POINTER"},
    {Usage::binaryCLong, "BINARY-C-LONG"},
    {Usage::binaryCLongUnsigned, "BINARY-C-LONG"},
    {Usage::signedShort, "SIGNED-SHORT"},
    {Usage::signedInt, "SIGNED-INT"},
    {Usage::signedLong, "SIGNED-LONG"},
    {Usage::unsignedShort, "UNSIGNED-SHORT"},
    {Usage::unsignedInt, "UNSIGNED-INT"},
    {Usage::unsignedLong, "UNSIGNED-LONG"},
    {Usage::floatDecimal16, "FLOAT-DECIMAL-16"},
    {Usage::floatDecimal34, "FLOAT-DECIMAL-34"},
    {Usage::programPointer, "PROGRAM-POINTER"},
    {Usage::compX, "COMP-X"},
    {Usage::compN, "COMP-N"},
    {Usage::comp6, "COMP-6"},
    {Usage::comp0, "COMP-0"},
    {Usage::comp7, ""},
    {Usage::comp8, ""},
    {Usage::comp11, ""},
    {Usage::comp12, ""},
    {Usage::dbKey, ""},
}};

// The key of the last name of a dotted path.
std::string lastKey(const std::string &path) { return modelKey(path.substr(path.rfind('.') + 1)); }

} // namespace

const char *usageName(Usage usage) {
  for (const UsageText &text : usageTexts)
    if (text.usage == usage)
      return text.name;
  return "";
}

std::string modelKey(std::string_view name) {
  std::string key(name);
  for (char &c : key)
    c = c == '_' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return key;
}

void RecordModel::index() {
  byKey_.clear();
  for (std::size_t i = 0; i < items.size(); ++i)
    byKey_[lastKey(items[i].path)].push_back(static_cast<int>(i));
}

std::vector<int> RecordModel::findAll(std::string_view name) const {
  const std::string wanted = modelKey(name);
  const std::size_t dot = wanted.rfind('.');
  const auto found = byKey_.find(wanted.substr(dot == std::string::npos ? 0 : dot + 1));
  if (found == byKey_.end())
    return {};
  if (dot == std::string::npos)
    return found->second;
  // A dotted name: the item's path must end in it, at a name boundary.
  std::vector<int> matches;
  for (const int index : found->second) {
    const std::string path = modelKey(items[static_cast<std::size_t>(index)].path);
    if (path == wanted || (path.size() > wanted.size() &&
                           path.compare(path.size() - wanted.size(), wanted.size(), wanted) == 0 &&
                           path[path.size() - wanted.size() - 1] == '.'))
      matches.push_back(index);
  }
  return matches;
}

int RecordModel::find(std::string_view name) const {
  const std::vector<int> matches = findAll(name);
  return matches.empty() ? -1 : matches.front();
}

int RecordModel::findRecord(std::string_view name) const {
  const std::string wanted = modelKey(name);
  for (std::size_t r = 0; r < records.size(); ++r)
    if (modelKey(records[r].name) == wanted)
      return static_cast<int>(r);
  return -1;
}

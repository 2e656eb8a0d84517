// Writes converter messages to the conversion's stream behind the innermost item context
// "file":line,col (name).
#include "converter/conversion_report.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "support/identifier_table.h"

namespace {

// Held messages are written once they pass this size, and at the end.
constexpr std::size_t HeldLimit = std::size_t{1} << 16;

} // namespace

void VexCvtReport::msg(const char *text, bool withContext) {
  if (silent || out == nullptr)
    return;
  if (!hold_) {
    if (withContext && !contexts_.empty())
      std::fputs(contexts_.back()->getUserText(), out);
    std::fputs(text, out);
    return;
  }
  if (withContext && !contexts_.empty())
    contexts_.back()->appendUserText(held_);
  held_ += text;
  if (held_.size() >= HeldLimit)
    flush();
}

void VexCvtReport::flush() {
  if (held_.empty() || out == nullptr)
    return;
  std::fwrite(held_.data(), 1, held_.size(), out);
  held_.clear();
}

void VexCvtReport::message(const std::string &text) {
  if (hold_ && !silent && out != nullptr) {
    // Straight into the held text, not through a copy with its line end
    // (each REDEFINES of a big copybook gives a message). As the text was
    // printed, it ends at its first NUL, which drops the line end too.
    if (!contexts_.empty())
      contexts_.back()->appendUserText(held_);
    const std::size_t printed = std::strlen(text.c_str());
    held_.append(text, 0, printed);
    if (printed == text.size())
      held_ += '\n';
    if (held_.size() >= HeldLimit)
      flush();
  } else {
    msg((text + "\n").c_str(), true);
  }
  if (!silent && values != nullptr)
    keep(text, true);
}

void VexCvtReport::keep(const std::string &text, bool withContext) {
  SourceMessage value;
  if (withContext && !contexts_.empty())
    value = contexts_.back()->place();
  // Texts are laid out for the terminal ("\n\tWarning: ... \n\tStandalone
  // ..."): one line of single spaces, the class word taken off the front.
  std::string flat;
  for (char c : text) {
    const bool blank = c == ' ' || c == '\n' || c == '\t';
    if (blank && (flat.empty() || flat.back() == ' '))
      continue;
    flat += blank ? ' ' : c;
  }
  while (!flat.empty() && flat.back() == ' ')
    flat.pop_back();
  for (const char *word : {"Error", "Warning", "Info"}) {
    const std::string prefix = std::string(word) + ": ";
    if (flat.compare(0, prefix.size(), prefix) == 0) {
      value.messageClass = word;
      flat.erase(0, prefix.size());
      break;
    }
  }
  value.text = std::move(flat);
  values->push_back(std::move(value));
}

void VexCvtReport::error(const std::string &text) {
  message(text);
  throw VexCvtError();
}

VexCvtRepContext::VexCvtRepContext(VexCvtReport &report) : report_(report) {
  report_.contexts_.push_back(this);
}

VexCvtRepContext::~VexCvtRepContext() { report_.contexts_.pop_back(); }

namespace {

// `value` in decimal at `at`, blanks before it up to `width` characters, as
// printf's "%4lu" writes it; returns the end. `at` has room for 20 digits
// and the blanks.
char *putRightAligned(char *at, unsigned long value, std::size_t width) {
  char digits[24];
  const char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  for (; width > length; --width)
    *at++ = ' ';
  std::memcpy(at, digits, length);
  return at + length;
}

const char *fileOf(const tPosition *pos) {
  const char *file = pos != nullptr ? GetCStr(pos->File) : nullptr;
  return file != nullptr && *file != '\0' ? file : nullptr;
}

} // namespace

std::string_view VexCvtReport::fileBase(tIdent file) {
  if (!fileKnown_ || file != fileIdent_) {
    fileKnown_ = true;
    const char *text = GetCStr(file);
    const char *slash = text != nullptr ? std::strrchr(text, '/') : nullptr;
    fileIdent_ = file;
    fileBase_ = text == nullptr || *text == '\0' ? std::string_view()
                : slash != nullptr               ? std::string_view(slash + 1)
                                                 : std::string_view(text);
  }
  return fileBase_;
}

void VexCblReportContext::compose() const {
  userText_.clear();
  appendUserText(userText_);
}

// Made in its room at once: piece by piece, with its numbers through
// strings, the prefix took some 1 000 instructions for each REDEFINES
// message.
void VexCblReportContext::appendUserText(std::string &to) const {
  const std::string_view fileBase =
      pos_ != nullptr ? report().fileBase(pos_->File) : std::string_view();
  const char *base = fileBase.data();
  const std::size_t baseSize = fileBase.size();
  const std::size_t nameSize = itemName_ != nullptr ? std::strlen(itemName_) : 0;
  // The numbers' room at its most: 20 digits each.
  const std::size_t start = to.size();
  to.resize(start + (base != nullptr ? baseSize + 4 + 20 + 1 + 20 : 0) +
            (itemName_ != nullptr ? nameSize + 4 : 0));
  char *at = to.data() + start;
  if (base != nullptr) {
    *at++ = '"';
    std::memcpy(at, base, baseSize);
    at += baseSize;
    *at++ = '"';
    *at++ = ':';
    at = putRightAligned(at, static_cast<unsigned long>(pos_->Line), 4);
    *at++ = ',';
    at = putRightAligned(at, static_cast<unsigned short>(pos_->Column), 3);
  }
  if (itemName_ != nullptr) {
    std::memcpy(at, " (", 2);
    std::memcpy(at + 2, itemName_, nameSize);
    std::memcpy(at + 2 + nameSize, ") ", 2);
    at += nameSize + 4;
  }
  to.resize(static_cast<std::size_t>(at - to.data()));
}

SourceMessage VexCblReportContext::place() const {
  SourceMessage place;
  if (const char *file = fileOf(pos_)) {
    place.file = file;
    place.line = pos_->Line;
    place.column = pos_->Column;
  }
  if (itemName_ != nullptr)
    place.item = itemName_;
  return place;
}

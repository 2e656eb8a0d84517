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
    held_ += contexts_.back()->getUserText();
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
      held_ += contexts_.back()->getUserText();
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
  if (withContext && !contexts_.empty()) {
    contexts_.back()->composeOnce();
    value = contexts_.back()->place_;
  }
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

// `value` in decimal, blanks before it up to `width` characters, as printf's
// "%4lu" writes it; by hand, because a message of every REDEFINES spent most
// of its making in vsnprintf.
void appendRightAligned(std::string &out, unsigned long value, std::size_t width) {
  char digits[24];
  const char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < width)
    out.append(width - length, ' ');
  out.append(digits, length);
}

} // namespace

void VexCblReportContext::compose() const {
  const char *file = pos_ != nullptr ? GetCStr(pos_->File) : nullptr;
  if (file != nullptr && *file != '\0') {
    const char *slash = std::strrchr(file, '/');
    const char *base = slash != nullptr ? slash + 1 : file;
    userText_ += '"';
    userText_ += base;
    userText_ += "\":";
    appendRightAligned(userText_, static_cast<unsigned long>(pos_->Line), 4);
    userText_ += ',';
    appendRightAligned(userText_, static_cast<unsigned short>(pos_->Column), 3);
    place_.file = file;
    place_.line = pos_->Line;
    place_.column = pos_->Column;
  }
  if (itemName_ != nullptr) {
    userText_ += " (";
    userText_ += itemName_;
    userText_ += ") ";
    place_.item = itemName_;
  }
}

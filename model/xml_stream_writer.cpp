// Pretty-printed XML written straight to a buffer: tags, escapes, line and indentation rules.
#include "model/xml_stream_writer.h"

#include <algorithm>
#include <array>

namespace {

bool isAllWhiteSpace(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

// The escape of `c` in an attribute value, or null when it is written as is.
const char *attributeEscape(char c) {
  switch (c) {
  case '&':
    return "&amp;";
  case '<':
    return "&lt;";
  case '"':
    return "&quot;";
  // Attribute value normalisation would turn these into blanks on reading.
  case '\n':
    return "&#xA;";
  case '\r':
    return "&#xD;";
  case '\t':
    return "&#x9;";
  default:
    return nullptr;
  }
}

// The escape of `c` in text content, or null when it is written as is.
const char *textEscape(char c) {
  switch (c) {
  case '&':
    return "&amp;";
  case '<':
    return "&lt;";
  case '>':
    return "&gt;";
  // Line-end normalisation would drop it on reading.
  case '\r':
    return "&#xD;";
  default:
    return nullptr;
  }
}

// Appends `text` with each character that `escape` names replaced, the runs
// between them in one piece each: most values have no such character, and
// appending them byte by byte costs a call per byte.
template <const char *(*escape)(char)> void appendEscaped(std::string &out, std::string_view text) {
  std::size_t run = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (const char *replacement = escape(text[at])) {
      out.append(text, run, at - run);
      out += replacement;
      run = at + 1;
    }
  }
  out.append(text, run);
}

// Attributes an element can have for their order to be sorted on the stack;
// an element with more (none of the converter's) sorts pointers on the heap.
constexpr std::size_t sortedInPlace = 16;

} // namespace

void VexXmlStreamWriter::declaration() {
  out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>";
}

void VexXmlStreamWriter::newLine() {
  ++line_;
  out_ += '\n';
}

void VexXmlStreamWriter::indent(std::size_t level) {
  if (textTrailingBlanks_ != 0) {
    const std::size_t written = textTrailingBlanks_ / 2;
    textTrailingBlanks_ = 0;
    level = written < level ? level - written : 0;
  }
  out_.append(2 * level, ' ');
}

void VexXmlStreamWriter::closeStartTag() {
  if (!open_.empty() && !open_.back().hasContent) {
    open_.back().hasContent = true;
    out_ += '>';
  }
}

void VexXmlStreamWriter::startElement(std::string_view name, Attributes attributes) {
  std::array<Attribute, sortedInPlace> onStack;
  std::vector<Attribute> onHeap;
  Attribute *views = onStack.data();
  if (attributes.size() > sortedInPlace) {
    onHeap.resize(attributes.size());
    views = onHeap.data();
  }
  for (std::size_t at = 0; at < attributes.size(); ++at)
    views[at] = {attributes[at].first, attributes[at].second};
  startElement(name, views, attributes.size());
}

void VexXmlStreamWriter::startElement(std::string_view name, const Attribute *attributes,
                                      std::size_t count) {
  closeStartTag();
  if (!textEndedLine_)
    newLine();
  else
    textEndedLine_ = false;
  indent(open_.size());
  // A stable insertion sort of pointers to the attributes: an element has a
  // handful of them, and std::stable_sort would ask the heap for a buffer on
  // every element.
  std::array<const Attribute *, sortedInPlace> onStack;
  std::vector<const Attribute *> onHeap;
  const Attribute **order = onStack.data();
  if (count > sortedInPlace) {
    onHeap.resize(count);
    order = onHeap.data();
  }
  const auto byName = [](const Attribute *a, const Attribute *b) { return a->name < b->name; };
  for (std::size_t next = 0; next < count; ++next) {
    order[next] = &attributes[next];
    std::rotate(std::upper_bound(order, order + next, order[next], byName), order + next,
                order + next + 1);
  }
  out_ += '<';
  out_ += name;
  for (std::size_t at = 0; at < count; ++at) {
    out_ += ' ';
    out_ += order[at]->name;
    out_ += "=\"";
    appendEscaped<attributeEscape>(out_, order[at]->value);
    out_ += '"';
  }
  open_.push_back(OpenElement{name, line_, false});
}

void VexXmlStreamWriter::text(std::string_view content) {
  closeStartTag();
  textEndedLine_ = false;
  textTrailingBlanks_ = 0;
  if (isAllWhiteSpace(content)) {
    std::size_t end = content.rfind('\n');
    if (end == std::string_view::npos)
      end = content.rfind('\r');
    if (end != std::string_view::npos) {
      textEndedLine_ = true;
      textTrailingBlanks_ = content.size() - end;
    }
  }
  appendEscaped<textEscape>(out_, content);
}

void VexXmlStreamWriter::endElement() {
  closeElement();
  if (drain_ && out_.size() >= drainSize_)
    drain_();
}

void VexXmlStreamWriter::closeElement() {
  OpenElement element = std::move(open_.back());
  open_.pop_back();
  if (!element.hasContent) {
    out_ += "/>";
    return;
  }
  if (element.line != line_) {
    if (!textEndedLine_)
      newLine();
    else
      textEndedLine_ = false;
    indent(open_.size());
  }
  out_ += "</";
  out_ += element.name;
  out_ += '>';
}

void VexXmlStreamWriter::endDocument() { newLine(); }

bool VexXmlStreamWriter::isXmlText(std::string_view utf8) {
  // U+FFFE and U+FFFF are EF BF BE and EF BF BF; no other character's
  // encoding holds that sequence.
  for (std::size_t pos = utf8.find("\xEF\xBF"); pos != std::string_view::npos;
       pos = utf8.find("\xEF\xBF", pos + 1))
    if (pos + 2 < utf8.size() && (utf8[pos + 2] == '\xBE' || utf8[pos + 2] == '\xBF'))
      return false;
  return true;
}

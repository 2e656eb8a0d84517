// Pretty-printed XML written straight to a buffer: tags, escapes, line and indentation rules.
#include "model/xml_stream_writer.h"

#include <algorithm>

namespace {

bool isAllWhiteSpace(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

void appendAttributeValue(std::string &out, std::string_view value) {
  for (char c : value) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '"':
      out += "&quot;";
      break;
    // Attribute value normalisation would turn these into blanks on reading.
    case '\n':
      out += "&#xA;";
      break;
    case '\r':
      out += "&#xD;";
      break;
    case '\t':
      out += "&#x9;";
      break;
    default:
      out += c;
    }
  }
}

void appendText(std::string &out, std::string_view text) {
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    // Line-end normalisation would drop it on reading.
    case '\r':
      out += "&#xD;";
      break;
    default:
      out += c;
    }
  }
}

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
  closeStartTag();
  if (!textEndedLine_)
    newLine();
  else
    textEndedLine_ = false;
  indent(open_.size());
  // A stable insertion sort: an element has a handful of attributes, and
  // std::stable_sort would ask the heap for a buffer on every element.
  const auto byName = [](const auto &a, const auto &b) { return a.first < b.first; };
  for (auto next = attributes.begin(); next != attributes.end(); ++next)
    std::rotate(std::upper_bound(attributes.begin(), next, *next, byName), next, next + 1);
  out_ += '<';
  out_ += name;
  for (const auto &[key, value] : attributes) {
    out_ += ' ';
    out_ += key;
    out_ += "=\"";
    appendAttributeValue(out_, value);
    out_ += '"';
  }
  open_.push_back(OpenElement{std::string(name), line_, false});
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
  appendText(out_, content);
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

#pragma once
// VexXmlStreamWriter: writes an indented XML document element by element, with no tree behind it.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Writes one XML document front to back into a byte buffer the caller drains
// as it likes, so that a document of any size needs no more memory than its
// open elements. The layout is the one the converter's documents have always
// had: a declaration, one element per line indented by two blanks per level,
// a text-only element on one line, an empty element as <X/>, attributes in
// the order of their names, and a line break at the end. Texts are UTF-8 and
// written as they are but for the escapes (see text and startElement).
class VexXmlStreamWriter {
public:
  using Attributes = std::vector<std::pair<std::string, std::string>>;
  // An attribute whose name and value are held by the caller until
  // startElement returns.
  struct Attribute {
    std::string_view name;
    std::string_view value;
    // The caller knows the value holds nothing to escape (a number, a word
    // of its own): it is not looked at again.
    bool verbatim = false;
  };

  // A writer appending to `out`, which must outlive it.
  explicit VexXmlStreamWriter(std::string &out) : out_(out) {}

  // The XML declaration; first, if at all.
  void declaration();
  // Opens element `name` with `attributes`, which are written sorted by name.
  // In a value & < " and the line end and tab characters are escaped. The
  // name itself must stay valid until the element closes (the converter's
  // are literals): a copy of each would cost an allocation per element.
  void startElement(std::string_view name, Attributes attributes);
  // The same for `count` attributes at `attributes`, which the caller keeps
  // in buffers of its own: no strings are made or moved for them.
  void startElement(std::string_view name, const Attribute *attributes, std::size_t count);
  // The same for attributes that are in the order of their names already
  // (no two of the same name): a caller whose attribute names are fixed
  // knows their order, which sorting took a tenth of the writing to find.
  void startElementInOrder(std::string_view name, const Attribute *attributes,
                           std::size_t count);
  // Text content of the open element; & < > and carriage returns are escaped.
  void text(std::string_view content);
  // Closes the innermost open element.
  void endElement();
  // Calls `drain` whenever an element closes with `size` bytes or more in the
  // buffer; `drain` may take any part of the buffer off its front. A large
  // definition (a record of 200 000 members writes 43 MB) then passes
  // through the buffer in pieces instead of being held whole.
  void drainAt(std::size_t size, std::function<void()> drain) {
    drainSize_ = size;
    drain_ = std::move(drain);
  }
  // Ends the document after its root element has been closed.
  void endDocument();
  // Number of elements open.
  std::size_t depth() const { return open_.size(); }

  // False when `utf8` holds a character that an XML 1.0 document cannot
  // carry at all (U+FFFE, U+FFFF). Control characters are not looked for:
  // the model writes them as "\hXX" before they get here.
  static bool isXmlText(std::string_view utf8);

private:
  struct OpenElement {
    std::string_view name;
    long line;
    bool hasContent;
  };
  void newLine();
  // The blanks that indent a tag at `level`, fewer by the trailing blanks
  // of a text that ended a line (which it then forgets).
  std::size_t indentation(std::size_t level);
  void closeStartTag();
  void closeElement();
  // Writes the start tag of `name` with the attributes `order` points to, in
  // that order.
  void startTag(std::string_view name, const Attribute *const *order, std::size_t count);

  std::string &out_;
  std::vector<OpenElement> open_;
  // Lines written so far: an element whose content went onto lines of its
  // own closes on a line of its own.
  long line_ = 0;
  // A text of white space only that held a line break stands in for the
  // line break before the next tag, and its trailing blanks for part of that
  // tag's indentation; this is how indented documents have always come out.
  bool textEndedLine_ = false;
  std::size_t textTrailingBlanks_ = 0;
  std::size_t drainSize_ = 0;
  std::function<void()> drain_;
};

#pragma once
// XML helpers: documents, nodes, parsing markup into a document and writing it out.
#include <cstddef>
#include <memory>
#include <ostream>
#include <string>

// XML document helpers over the DOM of the XML parser library. Texts passed in
// and out are UTF-8; a byte sequence that is not UTF-8 is taken as Latin-1
// characters, and a control character that XML cannot carry is written as
// "\hXX" (the model's notation for a byte). The parser library is initialised
// while a document lives and terminated with the last one; nothing of it
// shows here. Every helper takes a node of a living document.

// Options of vexParseDoc.
constexpr int VEX_PARSE_NAMESPACES = 2; // resolve namespace prefixes while parsing
constexpr int VEX_PARSE_APPEND = 8;     // append the parsed element to the parent

// Options of vexWriteNode.
constexpr int VEX_WRITE_DECLARATION = 1;    // XML declaration first
constexpr int VEX_WRITE_INDENT = 2;         // one element per line, two blanks per level
constexpr int VEX_WRITE_FINAL_NEWLINE = 32; // end the text with a newline

// Opaque node of a document; only the helpers look inside.
struct VexXmlDomNode;

// A node of a document: non-owning, valid while its document lives. A
// default-constructed node is null.
class VexXmlNode {
public:
  VexXmlNode() = default;
  explicit VexXmlNode(VexXmlDomNode *node) : node_(node) {}
  bool isNull() const { return node_ == nullptr; }
  VexXmlDomNode *dom() const { return node_; }
  // The node's name ("#document" for a document); empty for a null node.
  std::string getName() const;
  // Sets attribute `name` of this element to `value`; VexError if the node is
  // not an element or the name is not a valid XML name.
  void setAttribute(const char *name, const std::string &value) const;
  // The value of attribute `name`; empty when absent or not an element.
  std::string getAttribute(const char *name) const;
  // The last child that is an element, or a null node.
  VexXmlNode getLastChildElement() const;

private:
  VexXmlDomNode *node_ = nullptr;
};

// An owned, empty-at-first document.
class VexXmlDocument {
public:
  VexXmlDocument();
  ~VexXmlDocument();
  VexXmlDocument(VexXmlDocument &&) noexcept;
  VexXmlDocument &operator=(VexXmlDocument &&) noexcept;
  // The document node, parent of the root element.
  VexXmlNode node() const;

private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A new empty document.
VexXmlDocument vexCreateDoc();

// Parses `length` bytes of UTF-8 markup at `text`, which must be one
// well-formed element, and (with VEX_PARSE_APPEND) appends a copy of it to
// `parent`. Any parse error raises VexError naming the line, column and
// cause, and nothing is appended, so no part of the markup is silently lost.
// Returns the appended element, or the parsed element's copy when not
// appended.
VexXmlNode vexParseDoc(const char *text, std::size_t length, VexXmlNode parent, int options);

// Writes `node` (a document or an element) to `out` as XML text encoded in
// `encoding` (null: UTF-8). Options as above; `newLine` ends every line (empty:
// "\n"). VexError when the node cannot be written.
void vexWriteNode(VexXmlNode node, std::ostream &out, int options, const char *encoding,
                  const std::string &newLine);

// Appends a new element named `name` to `parent`; returns it.
VexXmlNode tpzAddElem(VexXmlNode parent, const char *name);

// Appends `text` as a text node to `parent`.
void tpzAddText(VexXmlNode parent, const std::string &text);

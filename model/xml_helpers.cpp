// Xerces-C DOM behind the helpers: UTF-8/UTF-16, parse into a parent, serialise, errors.
#include "model/xml_helpers.h"

#include <cstdio>

#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/MemBufInputSource.hpp>
#include <xercesc/framework/XMLFormatter.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/sax/ErrorHandler.hpp>
#include <xercesc/sax/SAXParseException.hpp>
#include <xercesc/util/OutOfMemoryException.hpp>
#include <xercesc/util/PlatformUtils.hpp>
#include <xercesc/util/XMLException.hpp>
#include <xercesc/util/XMLUni.hpp>

#include "support/library_error.h"
#include "support/utf8.h"

namespace xml = xercesc;

namespace {

// The parser library is initialised while a document lives: Xerces counts
// its initialisations, so documents of different conversions neither share
// nor end each other's session, and none of it outlives the last document.
// Every helper works on a node of a living document, so the library is up
// whenever one of them runs.
class XercesSession {
public:
  XercesSession() { xml::XMLPlatformUtils::Initialize(); }
  ~XercesSession() { xml::XMLPlatformUtils::Terminate(); }
  XercesSession(const XercesSession &) = delete;
  XercesSession &operator=(const XercesSession &) = delete;
};

xml::DOMNode *domOf(VexXmlNode node) { return reinterpret_cast<xml::DOMNode *>(node.dom()); }

VexXmlNode wrap(xml::DOMNode *node) { return VexXmlNode(reinterpret_cast<VexXmlDomNode *>(node)); }

// UTF-8 (Latin-1 where not UTF-8) to the parser's 16-bit text; control
// characters that XML 1.0 cannot carry become "\hXX".
std::u16string toXml(const std::string &text) {
  std::u16string result;
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code = vexNextChar(text, pos);
    if (vexIsXmlControl(code)) {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\h%02X", static_cast<unsigned>(code));
      for (const char *c = escape; *c; ++c)
        result += static_cast<char16_t>(*c);
    } else {
      vexAppendUtf16(result, code);
    }
  }
  return result;
}

std::string fromXml(const XMLCh *text) {
  std::string result;
  if (!text)
    return result;
  for (std::size_t i = 0; text[i]; ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    vexAppendUtf8(result, code);
  }
  return result;
}

std::u16string toXml(const char *text) { return toXml(std::string(text ? text : "")); }

// Runs a DOM operation and turns the library's exceptions into VexError.
template <typename Operation> auto guarded(const char *what, Operation operation) {
  try {
    return operation();
  } catch (const xml::DOMException &error) {
    throw VexError(std::string(what) + ": " + fromXml(error.getMessage()));
  } catch (const xml::XMLException &error) {
    throw VexError(std::string(what) + ": " + fromXml(error.getMessage()));
  } catch (const xml::OutOfMemoryException &) {
    throw VexError(std::string(what) + ": out of memory");
  }
}

xml::DOMDocument *ownerOf(xml::DOMNode *node) {
  return node->getNodeType() == xml::DOMNode::DOCUMENT_NODE ? static_cast<xml::DOMDocument *>(node)
                                                            : node->getOwnerDocument();
}

void requireNode(VexXmlNode node, const char *what) {
  if (node.isNull())
    throw VexError(std::string(what) + ": no node given");
}

// Keeps the first error of a parse. The parser stops at a fatal error and
// keeps what it had read, so the caller must check after every parse.
class ParseErrors : public xml::ErrorHandler {
public:
  void warning(const xml::SAXParseException &) override {}
  void error(const xml::SAXParseException &error) override { record(error); }
  void fatalError(const xml::SAXParseException &error) override { record(error); }
  void resetErrors() override { message_.clear(); }
  bool failed() const { return !message_.empty(); }
  const std::string &message() const { return message_; }

private:
  void record(const xml::SAXParseException &error) {
    if (failed())
      return;
    message_ = "line " + std::to_string(error.getLineNumber()) + ", column " +
               std::to_string(error.getColumnNumber()) + ": " + fromXml(error.getMessage());
  }
  std::string message_;
};

// Collects serialisation errors for the same reason.
class WriteErrors : public xml::DOMErrorHandler {
public:
  bool handleError(const xml::DOMError &error) override {
    if (message_.empty())
      message_ = fromXml(error.getMessage());
    return error.getSeverity() == xml::DOMError::DOM_SEVERITY_WARNING;
  }
  const std::string &message() const { return message_; }

private:
  std::string message_;
};

// Sends the serialiser's bytes to a standard stream.
class StreamTarget : public xml::XMLFormatTarget {
public:
  explicit StreamTarget(std::ostream &out) : out_(out) {}
  void writeChars(const XMLByte *const bytes, const XMLSize_t count,
                  xml::XMLFormatter *const) override {
    XMLSize_t skip = 0;
    // Pretty printing without a declaration starts with a line break.
    while (!started_ && skip < count && (bytes[skip] == '\n' || bytes[skip] == '\r'))
      ++skip;
    if (skip == count)
      return;
    started_ = true;
    out_.write(reinterpret_cast<const char *>(bytes + skip),
               static_cast<std::streamsize>(count - skip));
    last_ = static_cast<char>(bytes[count - 1]);
  }
  void flush() override { out_.flush(); }
  char last() const { return last_; }

private:
  std::ostream &out_;
  bool started_ = false;
  char last_ = 0;
};

xml::DOMImplementation *implementation() {
  static const XMLCh features[] = u"LS";
  xml::DOMImplementation *impl = xml::DOMImplementationRegistry::getDOMImplementation(features);
  if (!impl)
    throw VexError("XML document: no DOM implementation available");
  return impl;
}

} // namespace

// ---------------------------------------------------------------------------

struct VexXmlDocument::Impl {
  // Declared first: the session must outlast the document it serves.
  XercesSession session;
  xml::DOMDocument *document = nullptr;
  ~Impl() {
    if (document)
      document->release();
  }
};

VexXmlDocument::VexXmlDocument() : impl_(std::make_unique<Impl>()) {
  impl_->document = guarded("XML document", [] { return implementation()->createDocument(); });
}

VexXmlDocument::~VexXmlDocument() = default;
VexXmlDocument::VexXmlDocument(VexXmlDocument &&) noexcept = default;
VexXmlDocument &VexXmlDocument::operator=(VexXmlDocument &&) noexcept = default;

VexXmlNode VexXmlDocument::node() const { return wrap(impl_ ? impl_->document : nullptr); }

VexXmlDocument vexCreateDoc() { return VexXmlDocument(); }

std::string VexXmlNode::getName() const {
  return isNull() ? std::string() : fromXml(domOf(*this)->getNodeName());
}

void VexXmlNode::setAttribute(const char *name, const std::string &value) const {
  requireNode(*this, "XML attribute");
  auto *element = dynamic_cast<xml::DOMElement *>(domOf(*this));
  if (!element)
    throw VexError(std::string("XML attribute ") + name + ": node is not an element");
  guarded("XML attribute",
          [&] { element->setAttribute(toXml(name).c_str(), toXml(value).c_str()); });
}

std::string VexXmlNode::getAttribute(const char *name) const {
  auto *element = isNull() ? nullptr : dynamic_cast<xml::DOMElement *>(domOf(*this));
  return element ? fromXml(element->getAttribute(toXml(name).c_str())) : std::string();
}

VexXmlNode VexXmlNode::getLastChildElement() const {
  if (isNull())
    return VexXmlNode();
  for (xml::DOMNode *child = domOf(*this)->getLastChild(); child;
       child = child->getPreviousSibling())
    if (child->getNodeType() == xml::DOMNode::ELEMENT_NODE)
      return wrap(child);
  return VexXmlNode();
}

VexXmlNode vexParseDoc(const char *text, std::size_t length, VexXmlNode parent, int options) {
  requireNode(parent, "XML parse");
  return guarded("XML parse", [&] {
    xml::XercesDOMParser parser;
    ParseErrors errors;
    parser.setErrorHandler(&errors);
    parser.setValidationScheme(xml::XercesDOMParser::Val_Never);
    parser.setDoNamespaces((options & VEX_PARSE_NAMESPACES) != 0);
    parser.setLoadExternalDTD(false);
    parser.setDisableDefaultEntityResolution(true);
    parser.setCreateEntityReferenceNodes(false);
    xml::MemBufInputSource input(reinterpret_cast<const XMLByte *>(text ? text : ""),
                                 text ? length : 0, "fragment");
    parser.parse(input);
    xml::DOMDocument *parsed = parser.getDocument();
    if (errors.failed())
      throw VexError("XML parse error at " + errors.message());
    if (!parsed || !parsed->getDocumentElement())
      throw VexError("XML parse error: no element in the markup");
    xml::DOMNode *target = domOf(parent);
    xml::DOMNode *copy = ownerOf(target)->importNode(parsed->getDocumentElement(), true);
    if (options & VEX_PARSE_APPEND)
      target->appendChild(copy);
    return wrap(copy);
  });
}

void vexWriteNode(VexXmlNode node, std::ostream &out, int options, const char *encoding,
                  const std::string &newLine) {
  requireNode(node, "XML write");
  guarded("XML write", [&] {
    xml::DOMImplementation *impl = implementation();
    std::unique_ptr<xml::DOMLSSerializer, void (*)(xml::DOMLSSerializer *)> serializer(
        impl->createLSSerializer(), [](xml::DOMLSSerializer *s) { s->release(); });
    std::unique_ptr<xml::DOMLSOutput, void (*)(xml::DOMLSOutput *)> output(
        impl->createLSOutput(), [](xml::DOMLSOutput *o) { o->release(); });
    WriteErrors errors;
    xml::DOMConfiguration *config = serializer->getDomConfig();
    config->setParameter(xml::XMLUni::fgDOMErrorHandler, &errors);
    config->setParameter(xml::XMLUni::fgDOMXMLDeclaration, (options & VEX_WRITE_DECLARATION) != 0);
    config->setParameter(xml::XMLUni::fgDOMWRTFormatPrettyPrint, (options & VEX_WRITE_INDENT) != 0);
    // The library's own flavour puts blank lines around the root's children.
    config->setParameter(xml::XMLUni::fgDOMWRTXercesPrettyPrint, false);
    std::u16string lineEnd = toXml(newLine.empty() ? std::string("\n") : newLine);
    serializer->setNewLine(lineEnd.c_str());
    std::u16string encodingName = toXml(encoding ? encoding : "UTF-8");
    output->setEncoding(encodingName.c_str());
    StreamTarget target(out);
    output->setByteStream(&target);
    if (!serializer->write(domOf(node), output.get()))
      throw VexError("XML write: " +
                     (errors.message().empty() ? std::string("failed") : errors.message()));
    // The serialiser ends a pretty-printed document with a line break of its
    // own but not an element or a compact document.
    if ((options & VEX_WRITE_FINAL_NEWLINE) && target.last() != '\n')
      out << (newLine.empty() ? std::string("\n") : newLine);
    target.flush();
  });
}

VexXmlNode tpzAddElem(VexXmlNode parent, const char *name) {
  requireNode(parent, "XML element");
  xml::DOMDocument *document = ownerOf(domOf(parent));
  return guarded("XML element", [&] {
    xml::DOMElement *element = document->createElement(toXml(name).c_str());
    domOf(parent)->appendChild(element);
    return wrap(element);
  });
}

void tpzAddText(VexXmlNode parent, const std::string &text) {
  requireNode(parent, "XML text");
  xml::DOMDocument *document = ownerOf(domOf(parent));
  guarded("XML text",
          [&] { domOf(parent)->appendChild(document->createTextNode(toXml(text).c_str())); });
}

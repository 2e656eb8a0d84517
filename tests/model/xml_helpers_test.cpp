// Tests XML writing (declaration, indent, control chars), parsing, errors and documents.
#include "model/xml_helpers.h"

#include <gtest/gtest.h>
#include <sstream>

#include "support/library_error.h"

namespace {

constexpr int parseOptions = VEX_PARSE_NAMESPACES | VEX_PARSE_APPEND;
constexpr int writeOptions = VEX_WRITE_DECLARATION | VEX_WRITE_INDENT | VEX_WRITE_FINAL_NEWLINE;

std::string written(VexXmlNode node, int options, const std::string &newLine = "") {
  std::ostringstream out;
  vexWriteNode(node, out, options, nullptr, newLine);
  return out.str();
}

VexXmlNode parse(const std::string &markup, VexXmlNode parent, int options = parseOptions) {
  return vexParseDoc(markup.data(), markup.size(), parent, options);
}

// ---------------------------------------------------------------------------
// Serialisation

TEST(XmlWrite, DeclarationUtf8AndTwoBlankIndentation) {
  VexXmlDocument doc = vexCreateDoc();
  VexXmlNode root = tpzAddElem(doc.node(), "rdf:RDF");
  root.setAttribute("xmlns:rdf", "http://www.w3.org/TR/PR-rdf-syntax/");
  VexXmlNode ns = tpzAddElem(root, "Namespace");
  ns.setAttribute("name", "K\xC3\xA4se");
  VexXmlNode def = parse("<StringDefinition width=\"5\"><Restriction><Value>A</Value>"
                         "</Restriction></StringDefinition>",
                         ns);
  tpzAddText(tpzAddElem(def, "Description"), "05 A & <B>.");
  EXPECT_EQ(written(doc.node(), writeOptions),
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
            "<rdf:RDF xmlns:rdf=\"http://www.w3.org/TR/PR-rdf-syntax/\">\n"
            "  <Namespace name=\"K\xC3\xA4se\">\n"
            "    <StringDefinition width=\"5\">\n"
            "      <Restriction>\n"
            "        <Value>A</Value>\n"
            "      </Restriction>\n"
            "      <Description>05 A &amp; &lt;B&gt;.</Description>\n"
            "    </StringDefinition>\n"
            "  </Namespace>\n"
            "</rdf:RDF>\n");
}

TEST(XmlWrite, OptionsSwitchDeclarationIndentationAndLineEnd) {
  VexXmlDocument doc = vexCreateDoc();
  VexXmlNode root = tpzAddElem(doc.node(), "A");
  tpzAddElem(root, "B");
  EXPECT_EQ(written(doc.node(), VEX_WRITE_INDENT), "<A>\n  <B/>\n</A>\n");
  EXPECT_EQ(written(doc.node(), 0), "<A><B/></A>");
  EXPECT_EQ(written(doc.node(), VEX_WRITE_FINAL_NEWLINE), "<A><B/></A>\n");
  EXPECT_EQ(written(root, VEX_WRITE_INDENT | VEX_WRITE_FINAL_NEWLINE, "\r\n"),
            "<A>\r\n  <B/>\r\n</A>\r\n");
}

TEST(XmlWrite, TextThatXmlCannotCarryIsKeptReadable) {
  VexXmlDocument doc = vexCreateDoc();
  VexXmlNode root = tpzAddElem(doc.node(), "A");
  // A control character, a byte that is not UTF-8, and a UTF-8 character.
  root.setAttribute("v", std::string("x\x01y\xFF\xE2\x82\xAC"));
  tpzAddText(root, "t\x1F");
  EXPECT_EQ(root.getAttribute("v"), "x\\h01y\xC3\xBF\xE2\x82\xAC");
  EXPECT_EQ(written(doc.node(), 0), "<A v=\"x\\h01y\xC3\xBF\xE2\x82\xAC\">t\\h1F</A>");
}

// ---------------------------------------------------------------------------
// Parsing

TEST(XmlParse, AppendsTheParsedElementWithEverythingInIt) {
  VexXmlDocument doc = vexCreateDoc();
  VexXmlNode parent = tpzAddElem(doc.node(), "MessageFormat");
  tpzAddElem(parent, "First");
  VexXmlNode def = parse("<GroupDefinition groupType=\"1\"><Item name=\"A&amp;B\" ref=\"R\"/>"
                         "<Item name=\"&#xE4;\"/></GroupDefinition>",
                         parent);
  EXPECT_EQ(parent.getLastChildElement().dom(), def.dom());
  EXPECT_EQ(def.getLastChildElement().getAttribute("name"), "\xC3\xA4");
  EXPECT_EQ(written(parent, 0), "<MessageFormat><First/><GroupDefinition groupType=\"1\">"
                                "<Item name=\"A&amp;B\" ref=\"R\"/><Item name=\"\xC3\xA4\"/>"
                                "</GroupDefinition></MessageFormat>");
  // Without append the copy stays detached; without namespaces prefixes are free.
  VexXmlNode copy = parse("<p:X a=\"1\"/>", def, 0);
  EXPECT_EQ(copy.getName(), "p:X");
  EXPECT_EQ(def.getLastChildElement().getAttribute("name"), "\xC3\xA4");
}

// Xerces reports these only to its error handler and keeps what it read up to
// the fault; each must raise instead of losing the rest of the definition.
TEST(XmlParse, MalformedMarkupRaisesAndAppendsNothing) {
  const std::string malformed[] = {
      "<StringDefinition width=\"5\">",                       // never closed
      "<GroupDefinition><Item name=\"A\"></GroupDefinition>", // mismatched end tag
      "<A/><B/>",                                             // a second element
      "<A/>trailing text",                                    // text after the element
      "",                                                     // nothing
      "   ",                                                  // nothing but blanks
      "<A b=\"1\" b=\"2\"/>",                                 // attribute twice
      "<A b=\"&undefined;\"/>",                               // unknown entity
      "<A b=\"x<y\"/>",                                       // "<" in an attribute
      "<A>\xFF</A>",                                          // not UTF-8
      "<p:A/>",                                               // unbound prefix
      std::string("<A>\0</A>", 8),                            // NUL character
  };
  for (const std::string &markup : malformed) {
    SCOPED_TRACE(markup);
    VexXmlDocument doc = vexCreateDoc();
    VexXmlNode parent = tpzAddElem(doc.node(), "MessageFormat");
    EXPECT_THROW(parse(markup, parent), VexError);
    EXPECT_TRUE(parent.getLastChildElement().isNull());
  }
}

TEST(XmlParse, ErrorNamesWhereTheMarkupBroke) {
  VexXmlDocument doc = vexCreateDoc();
  try {
    parse("<A>\n<B></A>", tpzAddElem(doc.node(), "P"));
    FAIL() << "no error raised";
  } catch (const VexError &error) {
    EXPECT_NE(error.getErrorMessage().find("line 2"), std::string::npos) << error.getErrorMessage();
  }
}

// ---------------------------------------------------------------------------
// Documents and nodes

TEST(XmlDocument, MisuseRaisesVexError) {
  VexXmlDocument doc = vexCreateDoc();
  EXPECT_THROW(tpzAddElem(doc.node(), "1bad"), VexError);
  EXPECT_THROW(tpzAddElem(doc.node(), ""), VexError);
  EXPECT_THROW(doc.node().setAttribute("a", "b"), VexError);
  VexXmlNode root = tpzAddElem(doc.node(), "A");
  EXPECT_THROW(root.setAttribute("bad name", "b"), VexError);
  // A document has one root element.
  EXPECT_THROW(tpzAddElem(doc.node(), "B"), VexError);
  EXPECT_THROW(tpzAddElem(VexXmlNode(), "A"), VexError);
  EXPECT_THROW(tpzAddText(VexXmlNode(), "t"), VexError);
  EXPECT_THROW(parse("<A/>", VexXmlNode()), VexError);
  std::ostringstream out;
  EXPECT_THROW(vexWriteNode(VexXmlNode(), out, 0, nullptr, ""), VexError);
}

TEST(XmlDocument, DocumentsAreIndependentAndMovable) {
  VexXmlDocument first = vexCreateDoc();
  VexXmlDocument second = vexCreateDoc();
  tpzAddElem(first.node(), "One");
  VexXmlNode stranger = tpzAddElem(tpzAddElem(second.node(), "Two"), "X");
  VexXmlDocument moved = std::move(first);
  EXPECT_TRUE(first.node().isNull());
  EXPECT_EQ(written(moved.node(), 0), "<One/>");
  EXPECT_EQ(written(second.node(), 0), "<Two><X/></Two>");
  EXPECT_EQ(stranger.getName(), "X");
}

} // namespace

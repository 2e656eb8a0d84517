// Tests the streamed document layout, escapes and white-space texts against documents as they were.
#include "model/xml_stream_writer.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// The expectations below are what the document library this writer replaced
// made of the same elements, byte for byte.

TEST(XmlStreamWriter, IndentedLayoutWithSortedAttributes) {
  std::string out;
  VexXmlStreamWriter writer(out);
  writer.declaration();
  writer.startElement("rdf:RDF", {{"xmlns:rdf", "u"}});
  writer.startElement("Namespace", {{"name", "N"}});
  writer.startElement("G", {{"b", "2"}, {"a", "1"}, {"name", ""}});
  writer.startElement("E", {});
  writer.endElement();
  writer.startElement("T", {});
  writer.text("x");
  writer.endElement();
  EXPECT_EQ(writer.depth(), 3u);
  while (writer.depth() > 0)
    writer.endElement();
  writer.endDocument();
  EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
                 "<rdf:RDF xmlns:rdf=\"u\">\n"
                 "  <Namespace name=\"N\">\n"
                 "    <G a=\"1\" b=\"2\" name=\"\">\n"
                 "      <E/>\n"
                 "      <T>x</T>\n"
                 "    </G>\n"
                 "  </Namespace>\n"
                 "</rdf:RDF>\n");
}

// Twenty levels deep: each start and end tag indented by two blanks a
// level (40 at the deepest), element names of every length from 1 to 20,
// attributes from the caller in order.
TEST(XmlStreamWriter, DeepElementsIndentTwoBlanksALevel) {
  std::string out;
  VexXmlStreamWriter writer(out);
  std::string expected;
  const auto nameAt = [](std::size_t level) { return std::string(level + 1, 'a' + level % 26); };
  std::vector<std::string> names;
  for (std::size_t level = 0; level < 20; ++level)
    names.push_back(nameAt(level));
  for (std::size_t level = 0; level < 20; ++level) {
    const std::string value(level, 'v');
    const VexXmlStreamWriter::Attribute attributes[] = {{"k", value}, {"a", "1", true}};
    writer.startElementInOrder(names[level], attributes, 2);
    expected += "\n" + std::string(2 * level, ' ') + "<" + names[level] + " k=\"" + value +
                "\" a=\"1\"";
    expected += level == 19 ? "/>" : ">";
  }
  for (std::size_t level = 20; level-- > 0;) {
    writer.endElement();
    if (level < 19)
      expected += "\n" + std::string(2 * level, ' ') + "</" + names[level] + ">";
  }
  EXPECT_EQ(out, expected);
}

// Attributes of the same name keep their given order; an element with more
// attributes than are sorted on the stack (16) is sorted the same way.
TEST(XmlStreamWriter, AttributesSortStablyAtAnyCount) {
  std::string out;
  VexXmlStreamWriter writer(out);
  writer.startElement("A", {{"b", "1"}, {"a", "2"}, {"b", "3"}, {"a", "4"}, {"c", ""}});
  writer.endElement();
  VexXmlStreamWriter::Attributes many;
  for (char name = 't'; name >= 'a'; --name)
    many.emplace_back(std::string(1, name), std::string(1, static_cast<char>(name - 'a' + 'A')));
  many.emplace_back("k", "second");
  writer.startElement("B", std::move(many));
  writer.endElement();
  EXPECT_EQ(out, "\n<A a=\"2\" a=\"4\" b=\"1\" b=\"3\" c=\"\"/>"
                 "\n<B a=\"A\" b=\"B\" c=\"C\" d=\"D\" e=\"E\" f=\"F\" g=\"G\" h=\"H\" i=\"I\" "
                 "j=\"J\" k=\"K\" k=\"second\" l=\"L\" m=\"M\" n=\"N\" o=\"O\" p=\"P\" q=\"Q\" "
                 "r=\"R\" s=\"S\" t=\"T\"/>");
}

TEST(XmlStreamWriter, AttributesAndTextEscapeWhatReadingWouldChange) {
  const std::string value = "a&b<c>d\"e'f\tg\nh\ri K\xC3\xA4se\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::string out;
  VexXmlStreamWriter writer(out);
  writer.startElement("R", {{"v", value}});
  writer.startElement("T", {});
  writer.text(value + " ]]>");
  writer.endElement();
  writer.startElement("U", {});
  writer.endElement();
  writer.endElement();
  EXPECT_EQ(out, "\n<R v=\"a&amp;b&lt;c>d&quot;e'f&#x9;g&#xA;h&#xD;i "
                 "K\xC3\xA4se\xE2\x82\xAC\xF0\x9F\x98\x80\">\n"
                 "  <T>a&amp;b&lt;c&gt;d\"e'f\tg\nh&#xD;i "
                 "K\xC3\xA4se\xE2\x82\xAC\xF0\x9F\x98\x80 ]]&gt;</T>\n"
                 "  <U/>\n"
                 "</R>");
}

// Each character to escape at every place of a long value, before, on and
// after each boundary of sixteen bytes, among bytes above 127: the expected
// markup is spelt out here character by character.
TEST(XmlStreamWriter, EscapesAreFoundAtEveryPlaceOfALongValue) {
  const std::string specials = "&<>\"\t\n\r";
  const auto inAttribute = [](char c) -> std::string {
    switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '"':
      return "&quot;";
    case '\t':
      return "&#x9;";
    case '\n':
      return "&#xA;";
    case '\r':
      return "&#xD;";
    default:
      return std::string(1, c);
    }
  };
  const auto inText = [](char c) -> std::string {
    switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '\r':
      return "&#xD;";
    default:
      return std::string(1, c);
    }
  };
  // Every length up to 50: the escapes are looked for sixteen bytes at a
  // time, the last chunk overlapping or padded.
  for (char special : specials)
    for (std::size_t length = 1; length <= 50; ++length)
      for (std::size_t place = 0; place < length; ++place) {
        std::string value;
        for (std::size_t at = 0; at < length; ++at)
          value += at == place ? special : at % 7 == 3 ? '\xE9' : static_cast<char>('A' + at % 26);
        std::string attribute, text;
        for (char c : value) {
          attribute += inAttribute(c);
          text += inText(c);
        }
        std::string out;
        VexXmlStreamWriter writer(out);
        const VexXmlStreamWriter::Attribute attributes[] = {{"v", value}};
        writer.startElement("R", attributes, 1);
        writer.text(value);
        writer.endElement();
        ASSERT_EQ(out, "\n<R v=\"" + attribute + "\">" + text + "</R>")
            << "character " << int(special) << " at " << place << " of " << length;
      }
}

// A tag is either copied whole or written piece by piece with its escapes:
// an escape in any one attribute, first or last in name order, or none, and
// the same tag at depth (its indentation) must come out alike.
TEST(XmlStreamWriter, OneEscapedAttributeAmongPlainOnesIsEscapedAlone) {
  std::string out;
  VexXmlStreamWriter writer(out);
  writer.startElement("R", {});
  writer.startElement("A", {{"z", "a<b"}, {"m", "plain"}, {"a", "x"}});
  writer.startElement("B", {{"z", "plain"}, {"a", "q\"r"}});
  writer.startElement("C", {{"z", "1"}, {"a", "2"}});
  writer.endElement();
  writer.endElement();
  writer.endElement();
  writer.endElement();
  EXPECT_EQ(out, "\n<R>\n"
                 "  <A a=\"x\" m=\"plain\" z=\"a&lt;b\">\n"
                 "    <B a=\"q&quot;r\" z=\"plain\">\n"
                 "      <C a=\"2\" z=\"1\"/>\n"
                 "    </B>\n"
                 "  </A>\n"
                 "</R>");
}

// A text of white space only that ends with a line break takes the place of
// the next line break, and its trailing blanks count as indentation.
TEST(XmlStreamWriter, WhiteSpaceTextsWithLineBreaksShiftTheFollowingTags) {
  std::string out;
  VexXmlStreamWriter writer(out);
  const auto textElement = [&](const char *name, const char *content) {
    writer.startElement(name, {});
    writer.text(content);
    writer.endElement();
  };
  writer.startElement("R", {});
  writer.startElement("A", {});
  textElement("B", "  ");
  writer.startElement("C", {});
  writer.endElement();
  textElement("D", "\n    ");
  writer.startElement("E", {});
  writer.endElement();
  textElement("F", " \r\n\t ");
  writer.endElement();
  writer.startElement("G", {});
  textElement("H", "\n");
  writer.endElement();
  writer.endElement();
  writer.endDocument();
  EXPECT_EQ(out, "\n<R>\n"
                 "  <A>\n"
                 "    <B>  </B>\n"
                 "    <C/>\n"
                 "    <D>\n"
                 "    </D><E/>\n"
                 "    <F> &#xD;\n"
                 "\t </F></A>\n"
                 "  <G>\n"
                 "    <H>\n"
                 "</H>  </G>\n"
                 "</R>\n");
}

TEST(XmlStreamWriter, ADrainedBufferGivesTheSameDocumentInPieces) {
  // The layout of the first test, written through a buffer drained whenever
  // an element closes with 20 bytes or more in it: the pieces must join into
  // the same document, and each drain must come at an element's end with the
  // buffer at least that full.
  std::string out;
  std::string drained;
  std::vector<std::string> pieces;
  VexXmlStreamWriter writer(out);
  writer.drainAt(20, [&] {
    pieces.push_back(out);
    drained += out;
    out.clear();
  });
  writer.declaration();
  writer.startElement("rdf:RDF", {{"xmlns:rdf", "u"}});
  writer.startElement("Namespace", {{"name", "N"}});
  writer.startElement("G", {{"b", "2"}, {"a", "1"}, {"name", ""}});
  writer.startElement("E", {});
  writer.endElement();
  writer.startElement("T", {});
  writer.text("x");
  writer.endElement();
  writer.startElement("T", {});
  writer.text("y");
  writer.endElement();
  while (writer.depth() > 0)
    writer.endElement();
  writer.endDocument();
  drained += out;
  EXPECT_EQ(drained, "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n"
                     "<rdf:RDF xmlns:rdf=\"u\">\n"
                     "  <Namespace name=\"N\">\n"
                     "    <G a=\"1\" b=\"2\" name=\"\">\n"
                     "      <E/>\n"
                     "      <T>x</T>\n"
                     "      <T>y</T>\n"
                     "    </G>\n"
                     "  </Namespace>\n"
                     "</rdf:RDF>\n");
  // <E/> closes with the declaration and three start tags waiting; the
  // first <T> leaves 15 bytes, the second 30; </G> leaves 9, </Namespace> 24.
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0].substr(pieces[0].size() - 10), "      <E/>");
  EXPECT_EQ(pieces[1], "\n      <T>x</T>\n      <T>y</T>");
  EXPECT_EQ(pieces[2], "\n    </G>\n  </Namespace>");
  EXPECT_EQ(out, "\n</rdf:RDF>\n") << "what came after the last drain";
}

TEST(XmlStreamWriter, OnlyNonCharactersAreNoXmlText) {
  EXPECT_FALSE(VexXmlStreamWriter::isXmlText("a\xEF\xBF\xBF"));
  EXPECT_FALSE(VexXmlStreamWriter::isXmlText("\xEF\xBF\xBEz"));
  EXPECT_TRUE(VexXmlStreamWriter::isXmlText("\xEF\xBF\xBD\xEF\xBE\xBF\xEF\xBF"));
  EXPECT_TRUE(VexXmlStreamWriter::isXmlText(std::string("\t\n\r \x7F\xC2\x85\xF4\x8F\xBF\xBF")));
}

} // namespace

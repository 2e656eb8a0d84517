// Tests reference counts, groups, registries, kinds, texts, setters and schema-checked markup.
#include "model/definition_model.h"

#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>

#include "model/xml_stream_writer.h"
#include "support/library_error.h"
#include "tests/model/xmllint_support.h"

namespace {

// The registry that names no definition, for definitions without references.
const VexDataDefDomain noDefinitions;

std::string markupOf(const VexDataDefImpl &def,
                     const VexDataDefDomain &definitions = noDefinitions) {
  return VexMfRdfWriter::fillStanza(def, definitions).getAttrValue("definition");
}

// Renders `def` and checks the markup both literally and against the schema.
void expectRendering(const VexDataDefImpl &def, const std::string &expected,
                     const VexDataDefDomain &definitions = noDefinitions) {
  std::string markup = markupOf(def, definitions);
  EXPECT_EQ(markup, expected);
  VexSchemaCheck check = vexValidateText(markup);
  EXPECT_TRUE(check.valid) << markup << "\n" << check.output;
}

VexRestriction valuesOf(std::initializer_list<VexString> values) {
  VexRestriction restriction;
  for (const VexString &value : values)
    restriction.addValue(value);
  return restriction;
}

// An item of `def`, repeated `occurs` times when given.
template <class Def>
VexGroupItem itemOf(const char *name, const Def &def, std::optional<VexRange> occurs = {}) {
  VexGroupItem item = VexGroupItem::create();
  item->setName(VexString(name));
  item->setDefinition(def);
  if (occurs)
    item->setCardinality(*occurs);
  return item;
}

// A string definition that counts its destructions.
struct TrackedString : VexStringDefImpl {
  explicit TrackedString(int &destroyed) : destroyed_(destroyed) {}
  ~TrackedString() override { ++destroyed_; }
  int &destroyed_;
};

TEST(ModelRefCount, ObjectLivesExactlyAsLongAsItsHandles) {
  int destroyed = 0;
  {
    auto first = VexCountRef<TrackedString>::create(destroyed);
    {
      VexCountRef<TrackedString> copy = first;
      VexDataDef upcast = copy;
      EXPECT_EQ(first->refCount(), 3);
      VexDataDef moved = std::move(upcast);
      EXPECT_FALSE(upcast);
      EXPECT_EQ(first->refCount(), 3);
    }
    EXPECT_EQ(first->refCount(), 1);
    // Self-assignment keeps the reference (through an alias: clang refuses
    // a visible self-assignment under -Werror).
    const VexCountRef<TrackedString> &alias = first;
    first = alias;
    EXPECT_EQ(first->refCount(), 1);
    EXPECT_EQ(destroyed, 0);
    first = VexCountRef<TrackedString>();
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 1);
  VexStringDefImpl stack;
  EXPECT_THROW(stack.delRef(), VexError) << "over-release is refused";
}

TEST(ModelRefCount, GroupItemsKeepTheirDefinitionsAliveUntilReplacedOrReleased) {
  int destroyed = 0;
  {
    auto group = VexDefAccessor<VexGroupDefImpl>::create();
    for (const char *name : {"A", "B", "C"})
      group->addItem(itemOf(name, VexDefAccessor<TrackedString>::create(destroyed)));
    EXPECT_EQ(destroyed, 0);
    VexDataDefDomain domain;
    group->items()[0]->setDefinition(VexRef(domain.add(VexString("GONE"))));
    EXPECT_EQ(destroyed, 1) << "a reference replacing the definition drops the held one";
  }
  EXPECT_EQ(destroyed, 3);
}

// Handles convert only from a kind to its bases, never sideways or down.
static_assert(std::is_convertible_v<VexDefAccessor<VexNumberDefImpl>, VexDataDef>);
static_assert(std::is_convertible_v<VexCountRef<VexGroupDefImpl>, VexDataDef>);
static_assert(!std::is_convertible_v<VexDataDef, VexDefAccessor<VexNumberDefImpl>>);
static_assert(
    !std::is_convertible_v<VexDefAccessor<VexStringDefImpl>, VexDefAccessor<VexNumberDefImpl>>);

TEST(ModelGroup, FindItemIndexFindsTheFirstItemOfAName) {
  VexGroupDefImpl group;
  for (const char *name : {"A", "B", "A", "C"})
    group.addItem(itemOf(name, VexDefAccessor<VexStringDefImpl>::create()));
  EXPECT_EQ(group.findItemIndex(VexString("A")), 0);
  EXPECT_EQ(group.findItemIndex(VexString("C")), 3);
  EXPECT_EQ(group.findItemIndex(VexString("a")), -1);
  EXPECT_EQ(group.findItemIndex(VexString("")), -1);
  EXPECT_EQ(VexGroupDefImpl().findItemIndex(VexString("A")), -1);
  EXPECT_THROW(group.addItem(VexGroupItem()), VexError);
}

TEST(ModelGroup, TheFirstItemOfANameStaysFoundWhileTheGroupGrows) {
  // Each name twice, the second time after the index has been rebuilt
  // several times: the first item keeps the name; an empty name is a name.
  // Room reserved for none, for all, for fewer than come, and halfway for
  // more (the index made anew with its items in it) changes nothing.
  constexpr int names = 3000;
  const std::pair<int, std::size_t> reservations[] = {
      {-1, 0}, {0, 2 * names + 2}, {0, 5}, {1000, 4 * names}, {1000, 1001}, {2 * names, 1}};
  for (const auto &reservation : reservations) {
    // Named for the lambda below, which cannot take structured bindings
    // under every compiler CI builds with.
    const int after = reservation.first;
    const std::size_t count = reservation.second;
    VexGroupDefImpl group;
    int added = 0;
    const auto add = [&](const std::string &name) {
      if (added++ == after)
        group.reserveItems(count);
      group.addItem(itemOf(name.c_str(), VexDefAccessor<VexStringDefImpl>::create()));
    };
    add("");
    for (int round = 0; round < 2; ++round)
      for (int i = 0; i < names; ++i)
        add("F-" + std::to_string(i));
    add("");
    ASSERT_EQ(group.items().size(), 2u * names + 2);
    for (int i = 0; i < names; ++i)
      ASSERT_EQ(group.findItemIndex("F-" + std::to_string(i)), i + 1) << i << " " << after;
    EXPECT_EQ(group.findItemIndex(""), 0);
    EXPECT_EQ(group.findItemIndex("F-3000"), -1);
    EXPECT_EQ(group.findItemIndex("F-"), -1);
  }
}

// The index is made on the first lookup: items added before it, between
// lookups and after room was reserved are all found, the first of a name
// winning wherever the index was made.
TEST(ModelGroup, LookupsBetweenAdditionsFindTheFirstItemOfAName) {
  VexGroupDefImpl group;
  const auto add = [&group](const char *name) {
    group.addItem(itemOf(name, VexDefAccessor<VexStringDefImpl>::create()));
  };
  EXPECT_EQ(group.findItemIndex("A"), -1);
  add("A");
  add("B");
  add("A");
  EXPECT_EQ(group.findItemIndex("A"), 0);
  EXPECT_EQ(group.findItemIndex("B"), 1);
  EXPECT_EQ(group.findItemIndex("C"), -1);
  add("C");
  add("B");
  EXPECT_EQ(group.findItemIndex("C"), 3);
  EXPECT_EQ(group.findItemIndex("B"), 1);
  group.reserveItems(100);
  for (int i = 0; i < 40; ++i)
    add(i % 2 == 0 ? "A" : ("D" + std::to_string(i)).c_str());
  EXPECT_EQ(group.findItemIndex("A"), 0);
  EXPECT_EQ(group.findItemIndex("D1"), 6);
  EXPECT_EQ(group.findItemIndex("D39"), 44);
  // Made only after the reservation, with room for what was reserved.
  VexGroupDefImpl reserved;
  reserved.reserveItems(50);
  for (int i = 0; i < 30; ++i)
    reserved.addItem(
        itemOf(("E" + std::to_string(i % 10)).c_str(), VexDefAccessor<VexStringDefImpl>::create()));
  EXPECT_EQ(reserved.findItemIndex("E9"), 9);
  for (int i = 30; i < 50; ++i)
    reserved.addItem(
        itemOf(("E" + std::to_string(i)).c_str(), VexDefAccessor<VexStringDefImpl>::create()));
  EXPECT_EQ(reserved.findItemIndex("E0"), 0);
  EXPECT_EQ(reserved.findItemIndex("E49"), 49);
}

TEST(ModelGroup, CardinalityAndCountItem) {
  VexGroupItemImpl item;
  EXPECT_TRUE(item.cardinality().hasDefault());
  item.setCardinality(VexRange(1, 9), VexGroupItemRef(VexString("N")));
  EXPECT_FALSE(item.cardinality().hasDefault());
  EXPECT_EQ(item.cardinality().get(), VexRange(1, 9));
  EXPECT_EQ(item.countItem(), VexString("N"));
  item.setCardinality(VexRange(3));
  EXPECT_EQ(item.cardinality().get(), VexRange(3, 3));
  EXPECT_TRUE(item.countItem().empty()) << "a plain cardinality replaces the count item too";
  for (VexRange bad : {VexRange(5, 2), VexRange(-1, 2), VexRange(0, -2)})
    EXPECT_THROW(item.setCardinality(bad), VexError) << bad.lbound() << ".." << bad.ubound();
  EXPECT_THROW(item.setDefinition(VexRef()), VexError);
}

TEST(ModelRegistry, DefinitionsAreRegisteredByIdentifier) {
  VexDataDefDomain domain;
  VexDataDefId rec = domain.add(VexString("REG_REC"));
  EXPECT_EQ(rec, VexDataDefId(1));
  const VexDataDefId other = domain.add(VexString("REG_OTHER"));
  EXPECT_EQ(other, VexDataDefId(2));
  EXPECT_EQ(domain.add(VexString("REG_REC")), VexDataDefId(3)) << "each request its own";
  EXPECT_EQ(domain.getName(rec), VexString("REG_REC"));
  EXPECT_EQ(domain.getName(other), VexString("REG_OTHER"));
  EXPECT_EQ(domain.getName(VexDataDefId(3)), VexString("REG_REC"));
  EXPECT_TRUE(domain.getName(VexDataDefId(4)).empty());
  EXPECT_TRUE(domain.getName(VexDataDefId()).empty());
  VexBinaryDefImpl def;
  EXPECT_FALSE(def.id().isValid());
  domain.registerDef(rec, def);
  EXPECT_EQ(def.name(), VexString("REG_REC"));
  EXPECT_EQ(def.id(), rec);
  EXPECT_THROW(domain.registerDef(VexDataDefId(999999), def), VexError);
  EXPECT_THROW(domain.registerDef(VexDataDefId(), def), VexError);
  // With the name handed over: the same, the identifier still checked.
  VexStringDefImpl handed;
  domain.registerDef(other, handed, VexString("REG_OTHER"));
  EXPECT_EQ(handed.name(), VexString("REG_OTHER"));
  EXPECT_EQ(handed.id(), other);
  EXPECT_THROW(domain.registerDef(VexDataDefId(4), handed, VexString("REG_NONE")), VexError);
  EXPECT_EQ(handed.id(), other);
  EXPECT_EQ(handed.name(), VexString("REG_OTHER"));
  // Each conversion has its own registry: identifiers start afresh and the
  // names of another registry are unknown.
  VexDataDefDomain another;
  EXPECT_TRUE(another.getName(rec).empty());
  EXPECT_EQ(another.add(VexString("REG_OTHER")), VexDataDefId(1));
}

TEST(ModelRegistry, ManyNamesKeepTheirIdentifiersInOrderOfRequest) {
  // Enough names to fill several blocks of text; every name is read again
  // after all of them are in.
  VexDataDefDomain domain;
  const auto nameOf = [](int i) {
    return "REC-" + std::to_string(i) + "_G1-" + std::to_string(i) + "_NAMR-1";
  };
  constexpr int count = 50000;
  for (int i = 0; i < count; ++i)
    ASSERT_EQ(domain.add(nameOf(i)), VexDataDefId(static_cast<std::uint32_t>(i + 1)));
  for (int i = count - 1; i >= 0; --i)
    ASSERT_EQ(domain.getName(VexDataDefId(static_cast<std::uint32_t>(i + 1))), nameOf(i));
  EXPECT_TRUE(domain.getName(VexDataDefId(count + 1)).empty());
  // Names that are prefixes of each other, hold a NUL or bytes above 127,
  // are empty or are longer than a block of text are names like any other.
  const VexString prefix = VexString("REC-1");
  const VexString withNul("REC\0X", 5);
  const VexString wide = "REC-\xE2\x82\xAC";
  const VexString huge(70000, 'L');
  const VexString names[] = {prefix, withNul, wide, huge, huge + "M", "", "REC", nameOf(7)};
  for (std::uint32_t i = 0; i < std::size(names); ++i)
    EXPECT_EQ(domain.add(names[i]), VexDataDefId(count + 1 + i));
  for (std::uint32_t i = 0; i < std::size(names); ++i)
    EXPECT_EQ(domain.getName(VexDataDefId(count + 1 + i)), names[i]) << i;
  EXPECT_EQ(domain.getName(VexDataDefId(8)), nameOf(7));
}

// The document's form of a name: ASCII with tab and line ends as it is,
// the text's bytes read as UTF-8 where they form it, as Latin-1 where they
// do not, and the other C0 controls as "\hXX".
TEST(ModelText, DocumentTextDecodesBytesAndMarksControls) {
  EXPECT_EQ(vexDocumentText("REC-1\tA\r\n"), "REC-1\tA\r\n");
  EXPECT_EQ(vexDocumentText(""), "");
  EXPECT_EQ(vexDocumentText("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(vexDocumentText("caf\xE9"), "caf\xC3\xA9");
  EXPECT_EQ(vexDocumentText("A\x01Z\x1F"), "A\\h01Z\\h1F");
  EXPECT_EQ(vexDocumentText("A\x7F"), "A\x7F");
  EXPECT_EQ(vexDocumentText("\xE2\x82\xAC"), "\xE2\x82\xAC");
  EXPECT_EQ(vexDocumentText(std::string("A\0B", 3)), "A\\h00B");
}

TEST(ModelSetters, ValuesOutsideTheContractAreRefused) {
  using Binary = VexNumberDefScope::BinaryPresentation;
  VexNumberDefImpl number;
  const std::function<void()> refused[] = {
      [&] { number.setJustification(1); },
      [&] { number.setSignPosition(0); },
      [&] { number.setSignPosition(5); },
      [&] { number.setTextPresentation(5); },
      [&] { number.setTextPresentation(-1); },
      [&] { number.setBinaryPresentation(static_cast<Binary>(1)); },
      [&] { number.setBinaryPresentation(static_cast<Binary>(11)); },
      [&] { number.setNumberOfDigits(-1); },
      [&] { number.setPointLocation(-1); },
      [&] { number.setBlankWhenZero(2); },
      [&] { number.setWidth(VexRange(4, 3)); }};
  for (std::size_t i = 0; i < std::size(refused); ++i)
    EXPECT_THROW(refused[i](), VexError) << "setter " << i;
  EXPECT_EQ(markupOf(number), "<NumberDefinition/>") << "nothing refused is recorded";
}

// Builds the definitions named in data/rendering.txt and checks each against its recording.
TEST(ModelRendering, EveryDefinitionRendersAsRecordedAndValidates) {
  std::map<std::string, VexDataDef> defs = {
      {"group-bare", VexDefAccessor<VexGroupDefImpl>::create()},
      {"string-bare", VexDefAccessor<VexStringDefImpl>::create()},
      {"binary-bare", VexDefAccessor<VexBinaryDefImpl>::create()},
      {"number-bare", VexDefAccessor<VexNumberDefImpl>::create()}};

  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(5));
  string->setDefaultValue(std::string("a\tb\x7F\xC9\x00 z\\hFF", 12));
  string->setJustification(2);
  string->setPadCharacter(VexSyntax(VexString(" ")));
  string->setRestriction(valuesOf({VexString("Y"), VexString("N & <x>"), VexString("\"q\"\n"), VexString("")}));
  string->setDescription(VexString("05 FLAG PICTURE IS X(5)."));
  defs["string-every-property"] = string;
  auto open = VexDefAccessor<VexStringDefImpl>::create();
  open->setJustification(0);
  open->setWidth(VexRange(2, VexRange::unbounded));
  defs["string-open-width"] = open;

  auto binary = VexDefAccessor<VexBinaryDefImpl>::create();
  binary->setWidth(VexRange(3));
  // A packed decimal image: every byte is written in hex, printable or not.
  binary->setDefaultValue(std::string("\x12\x34\x5C", 3), true);
  binary->setRestriction(valuesOf({VexString("1")}));
  defs["binary-every-property"] = binary;
  auto ranged = VexDefAccessor<VexBinaryDefImpl>::create();
  ranged->setWidth(VexRange(2, 8));
  // A default that is plain text (a DISPLAY-1 number's digits) stays text.
  ranged->setDefaultValue(VexString("12"));
  defs["binary-width-range-plain-default"] = ranged;

  auto number = VexDefAccessor<VexNumberDefImpl>::create();
  number->setWidth(VexRange(10));
  number->setDefaultValue(VexString("12"));
  number->setJustification(2);
  number->setPadCharacter(VexSyntax(VexString("*")));
  number->setNumberOfDigits(7);
  number->setPointLocation(2);
  number->setSignPosition(3);
  number->setTextPresentation(2);
  number->setBinaryPresentation(VexNumberDefScope::BinaryPresentation::packedDecimal);
  number->setTextPattern(VexString("##,##0.00;##,##0.00"));
  number->setDecimalPoint(',');
  number->setGroupSeparator('.');
  number->setBlankWhenZero(1);
  number->setRestriction(valuesOf({VexString("0"), VexString("99")}));
  defs["number-every-property"] = number;

  VexDataDefDomain domain;
  auto redefined = VexDefAccessor<VexStringDefImpl>::create();
  domain.registerDef(domain.add(VexString("REC_A")), *redefined);
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  group->setType(1);
  group->setDescription(VexString("01 REC."));
  domain.registerDef(domain.add(VexString("REC")), *group);
  group->addItem(itemOf("A", VexRef(redefined->id())));
  auto count = VexDefAccessor<VexNumberDefImpl>::create();
  count->setNumberOfDigits(1);
  count->setTextPresentation(4);
  count->setDescription(VexString("05 N PICTURE IS 9."));
  group->addItem(itemOf("N", count));
  auto x = VexDefAccessor<VexStringDefImpl>::create();
  x->setWidth(VexRange(2));
  auto inner = VexDefAccessor<VexGroupDefImpl>::create();
  inner->setType(1);
  inner->addItem(itemOf("X", x, VexRange(3)));
  group->addItem(itemOf("T", inner));
  group->items()[2]->setCardinality(VexRange(1, 9), VexGroupItemRef(VexString("N")));
  group->addItem(
      itemOf("OPEN", VexDefAccessor<VexBinaryDefImpl>::create(), VexRange(0, VexRange::unbounded)));
  defs["group-referenced-inline-and-repeated-members"] = group;

  auto described = VexDefAccessor<VexStringDefImpl>::create();
  described->setDescription("05 \"Q\" & <\xE2\x82\xAC>");
  auto outside = VexDefAccessor<VexGroupDefImpl>::create();
  // UTF-8 in the copybook, then a byte that is not UTF-8, then a control.
  outside->addItem(itemOf("K\xC3\xA4SE\xFF\x01", described));
  defs["names-and-descriptions-outside-ascii"] = outside;

  std::ifstream data(std::string(VEX_SOURCE_DIR) + "/tests/model/data/rendering.txt");
  ASSERT_TRUE(data);
  std::map<std::string, std::string> expected;
  std::string line, name;
  while (std::getline(data, line))
    if (line.starts_with("== "))
      name = line.substr(3);
    else if (!name.empty())
      expected[name] += line;
  EXPECT_EQ(expected.size(), defs.size()) << "every definition has one recorded rendering";
  for (const auto &[caseName, markup] : expected) {
    SCOPED_TRACE(caseName);
    ASSERT_TRUE(defs.count(caseName));
    expectRendering(*defs[caseName], markup, domain);
  }
  // The top-level description travels in the stanza, not in the markup.
  EXPECT_EQ(VexMfRdfWriter::fillStanza(*string, domain).getAttrValue("description"),
            VexString("05 FLAG PICTURE IS X(5)."));
}

TEST(ModelRendering, EveryEnumeratedNumberPropertyValueIsValid) {
  const char *signs[] = {"leading", "trailing", "leadingSeparate", "trailingSeparate"};
  for (int sign = 1; sign <= 4; ++sign) {
    VexNumberDefImpl def;
    def.setSignPosition(sign);
    expectRendering(def,
                    std::string("<NumberDefinition signPosition=\"") + signs[sign - 1] + "\"/>");
  }
  const char *texts[] = {"digits", "impliedDecimal", "explicitDecimal", "externalFloat",
                         "zonedDecimal"};
  for (int text = 0; text <= 4; ++text) {
    VexNumberDefImpl def;
    def.setTextPresentation(text);
    expectRendering(def,
                    std::string("<NumberDefinition textPresentation=\"") + texts[text] + "\"/>");
  }
  const char *binaries[] = {"uint16", "int16",   "uint32",  "int32",        "uint64",
                            "int64",  "float32", "float64", "packedDecimal"};
  for (int binary = 2; binary <= 10; ++binary) {
    VexNumberDefImpl def;
    def.setBinaryPresentation(static_cast<VexNumberDefScope::BinaryPresentation>(binary));
    def.setBlankWhenZero(0);
    expectRendering(def, std::string("<NumberDefinition binaryPresentation=\"") +
                             binaries[binary - 2] + "\" blankWhenZero=\"false\"/>");
  }
}

TEST(ModelRendering, SchemaAcceptsTheVocabularyAndRejectsWhatTheModelNeverWrites) {
  std::string document = std::string("<") + vexRootElementName() + " xmlns:rdf=\"" +
                         vexRdfNamespace() + "\"><" + vexDomainNamespace() + " " + vexAttrName() +
                         "=\"corp\"><" + vexDomainMsgFmt() + ">" + markupOf(VexStringDefImpl()) +
                         "</" + vexDomainMsgFmt() + "></" + vexDomainNamespace() + "></" +
                         vexRootElementName() + ">";
  VexSchemaCheck check = vexValidateText(document);
  EXPECT_TRUE(check.valid) << document << "\n" << check.output;
  for (const char *bad :
       {"<StringDefinition width=\"-1\"/>", "<NumberDefinition signPosition=\"middle\"/>",
        "<StringDefinition default=\"\xC3\xA4\"/>",
        "<GroupDefinition><Description/><Item name=\"A\"/></GroupDefinition>", "<Item/>"})
    EXPECT_FALSE(vexValidateText(bad).valid) << bad;
}

// ---------------------------------------------------------------------------
// Writing stand-alone definitions into the document

std::string written(const VexDataDefImpl &def, bool *writable = nullptr,
                    const VexDataDefDomain &definitions = noDefinitions) {
  std::string out;
  VexXmlStreamWriter writer(out);
  const bool result = VexMfRdfWriter::writeDefinition(def, definitions, &writer);
  if (writable)
    *writable = result;
  return out;
}

TEST(ModelWriting, StandAloneElementAlwaysNamedAndDescribedLast) {
  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(1));
  string->setRestriction(valuesOf({VexString("Y"), VexString(" ")}));
  string->setDescription(VexString("05 A & <B>."));
  EXPECT_EQ(written(*string), "\n<StringDefinition name=\"\" width=\"1\">\n"
                              "  <Restriction>\n"
                              "    <Value>Y</Value>\n"
                              "    <Value> </Value>\n"
                              "  </Restriction>\n"
                              "  <Description>05 A &amp; &lt;B&gt;.</Description>\n"
                              "</StringDefinition>");
}

// A record with every kind of member, written once with plain names and once
// with a name outside ASCII: the document has the same layout either way.
TEST(ModelWriting, NestedMembersComeOutIndentedWithSortedAttributes) {
  // A byte that is no UTF-8 is read as Latin-1 and comes out as UTF-8.
  const std::pair<const char *, const char *> names[] = {
      {"KASE-OF-EVERY-MEMBER", "KASE-OF-EVERY-MEMBER"},
      {"KASE-OF-E\xE9VERY-MEMBER", "KASE-OF-E\xC3\xA9VERY-MEMBER"}};
  for (const auto &[memberName, writtenName] : names) {
    SCOPED_TRACE(memberName);
    VexDataDefDomain domain;
    auto earlier = VexDefAccessor<VexStringDefImpl>::create();
    domain.registerDef(domain.add(VexString("REC_A")), *earlier);
    auto group = VexDefAccessor<VexGroupDefImpl>::create();
    group->setType(1);
    group->setDescription(VexString("01 REC."));
    domain.registerDef(domain.add(VexString("REC")), *group);
    group->addItem(itemOf("A", VexRef(earlier->id())));
    auto count = VexDefAccessor<VexNumberDefImpl>::create();
    count->setNumberOfDigits(1);
    count->setTextPresentation(4);
    count->setDescription(VexString("05 \"N\" & <9> PICTURE IS 9 USAGE DISPLAY."));
    group->addItem(itemOf("N", count));
    auto number = VexDefAccessor<VexNumberDefImpl>::create();
    number->setWidth(VexRange(10));
    number->setDefaultValue(VexString("12"));
    number->setJustification(2);
    number->setPadCharacter(VexSyntax(VexString("*")));
    number->setNumberOfDigits(7);
    number->setPointLocation(2);
    number->setSignPosition(3);
    number->setTextPresentation(2);
    number->setBinaryPresentation(VexNumberDefScope::BinaryPresentation::packedDecimal);
    number->setTextPattern(VexString("##,##0.00;##,##0.00"));
    number->setDecimalPoint(',');
    number->setGroupSeparator('.');
    number->setBlankWhenZero(1);
    number->setRestriction(valuesOf({VexString("0"), VexString("99")}));
    auto inner = VexDefAccessor<VexGroupDefImpl>::create();
    inner->addItem(itemOf(memberName, number, VexRange(1, VexRange::unbounded)));
    group->addItem(itemOf("T", inner));
    group->items()[2]->setCardinality(VexRange(1, 9), VexGroupItemRef(VexString("N")));
    auto binary = VexDefAccessor<VexBinaryDefImpl>::create();
    binary->setWidth(VexRange(3));
    binary->setDefaultValue(std::string("\x12\x34\x5C", 3), true);
    binary->setRestriction(valuesOf({VexString(""), VexString("\x01 ")}));
    group->addItem(itemOf("B", binary));

    bool writable = false;
    EXPECT_EQ(written(*group, &writable, domain),
              std::string("\n<GroupDefinition groupType=\"1\" name=\"REC\">\n"
                          "  <Item name=\"A\" ref=\"REC_A\"/>\n"
                          "  <Item name=\"N\">\n"
                          "    <NumberDefinition digits=\"1\" textPresentation=\"zonedDecimal\">\n"
                          "      <Description>05 \"N\" &amp; &lt;9&gt; PICTURE IS 9 USAGE "
                          "DISPLAY.</Description>\n"
                          "    </NumberDefinition>\n"
                          "  </Item>\n"
                          "  <Item countItem=\"N\" maxOccurs=\"9\" minOccurs=\"1\" name=\"T\">\n"
                          "    <GroupDefinition>\n"
                          "      <Item maxOccurs=\"unbounded\" minOccurs=\"1\" name=\"") +
                  writtenName +
                  "\">\n"
                  "        <NumberDefinition binaryPresentation=\"packedDecimal\" "
                  "blankWhenZero=\"true\" decimalPoint=\",\" default=\"12\" digits=\"7\" "
                  "groupSeparator=\".\" justification=\"right\" padCharacter=\"*\" "
                  "pointLocation=\"2\" signPosition=\"leadingSeparate\" "
                  "textPattern=\"##,##0.00;##,##0.00\" textPresentation=\"explicitDecimal\" "
                  "width=\"10\">\n"
                  "          <Restriction>\n"
                  "            <Value>0</Value>\n"
                  "            <Value>99</Value>\n"
                  "          </Restriction>\n"
                  "        </NumberDefinition>\n"
                  "      </Item>\n"
                  "    </GroupDefinition>\n"
                  "  </Item>\n"
                  "  <Item name=\"B\">\n"
                  "    <BinaryDefinition default=\"\\h12\\h34\\h5C\" width=\"3\">\n"
                  "      <Restriction>\n"
                  "        <Value/>\n"
                  "        <Value>\\h01 </Value>\n"
                  "      </Restriction>\n"
                  "    </BinaryDefinition>\n"
                  "  </Item>\n"
                  "  <Description>01 REC.</Description>\n"
                  "</GroupDefinition>");
    EXPECT_TRUE(writable);
  }
}

// Attribute values written straight from the model are escaped as any
// other: a name, a count item, a default, a pad character and a pattern
// holding & < " and a tab; the numbers and words beside them need nothing.
TEST(ModelWriting, AttributeValuesFromTheModelAreEscaped) {
  auto number = VexDefAccessor<VexNumberDefImpl>::create();
  number->setWidth(VexRange(12));
  number->setDefaultValue("1&2");
  number->setTextPattern("<9\"9>;-\t9");
  number->setPadCharacter(VexSyntax("&"));
  number->setJustification(2);
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  VexGroupItem item = itemOf("A&<\"B", number);
  item->setCardinality(VexRange(1, 3), VexGroupItemRef("N&\"<"));
  group->addItem(item);
  EXPECT_EQ(written(*group),
            "\n<GroupDefinition name=\"\">\n"
            "  <Item countItem=\"N&amp;&quot;&lt;\" maxOccurs=\"3\" minOccurs=\"1\" "
            "name=\"A&amp;&lt;&quot;B\">\n"
            "    <NumberDefinition default=\"1&amp;2\" justification=\"right\" "
            "padCharacter=\"&amp;\" textPattern=\"&lt;9&quot;9>;-\\h099\" width=\"12\"/>\n"
            "  </Item>\n</GroupDefinition>");
}

// Member names and descriptions of every length up to 40 bytes with one byte
// that the document cannot take as it is, at every place: the name is written
// with the byte in its document form ("\h01", or the Latin-1 byte as UTF-8),
// the description likewise; the texts of printable ASCII as they are.
TEST(ModelWriting, EveryByteOfATextDecidesHowItIsWritten) {
  const std::pair<char, std::string> odd[] = {
      {'\x01', "\\h01"}, {'\x1F', "\\h1F"}, {'\xE9', "\xC3\xA9"}, {'\x80', "\xC2\x80"}};
  for (std::size_t length = 1; length <= 40; ++length)
    for (std::size_t place = 0; place < length; ++place)
      for (const auto &[byte, form] : odd) {
        std::string name(length, 'N');
        name[place] = byte;
        std::string expected(length - 1, 'N');
        expected.insert(place, form);
        auto member = VexDefAccessor<VexBinaryDefImpl>::create();
        member->setDescription(name);
        auto group = VexDefAccessor<VexGroupDefImpl>::create();
        group->addItem(itemOf(name.c_str(), member));
        ASSERT_EQ(written(*group),
                  "\n<GroupDefinition name=\"\">\n  <Item name=\"" + expected +
                      "\">\n    <BinaryDefinition>\n      <Description>" + expected +
                      "</Description>\n    </BinaryDefinition>\n  </Item>\n</GroupDefinition>")
            << "length " << length << ", place " << place << ", byte " << int(byte);
      }
}

// U+FFFF and U+FFFE cannot be in an XML document at all. In a name or a
// member's text the conversion has always failed where its markup held the
// character; in the definition's own description only at writing.
TEST(ModelWriting, CharacterXmlCannotCarryFailsAsItAlwaysHas) {
  auto member = VexDefAccessor<VexStringDefImpl>::create();
  member->setDescription("x\nyz\xEF\xBF\xBF");
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  group->addItem(itemOf("A", member));
  std::string out;
  VexXmlStreamWriter writer(out);
  try {
    VexMfRdfWriter::writeDefinition(*group, noDefinitions, &writer);
    ADD_FAILURE() << "no error raised";
  } catch (const VexError &error) {
    EXPECT_EQ(error.getErrorMessage(),
              "XML parse error at line 2, column 11: invalid character reference");
  }
  EXPECT_EQ(out, "");

  auto described = VexDefAccessor<VexBinaryDefImpl>::create();
  described->setDescription("ok\xEF\xBF\xBE");
  bool writable = true;
  EXPECT_EQ(written(*described, &writable), "");
  EXPECT_FALSE(writable);
  described->setDescription("ok\xEF\xBF\xBD");
  EXPECT_EQ(written(*described, &writable),
            "\n<BinaryDefinition name=\"\">\n  <Description>ok\xEF\xBF\xBD</Description>\n"
            "</BinaryDefinition>");
  EXPECT_TRUE(writable);
}

} // namespace

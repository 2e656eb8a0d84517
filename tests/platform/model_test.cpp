#include "platform/vexdef.h"

#include <gtest/gtest.h>
#include <type_traits>

#include "platform/vexerror.h"
#include "tests/platform/xmllint_support.h"

namespace {

VexString u(const char *text) { return vexToUnicode(text, false); }

std::string markupOf(const VexDataDefImpl &def) {
  return vexToMbcs(VexMfRdfWriter::fillStanza(def).getAttrValue("definition"));
}

// Renders `def` and checks the markup both literally and against the schema.
void expectRendering(const VexDataDefImpl &def, const std::string &expected) {
  std::string markup = markupOf(def);
  EXPECT_EQ(markup, expected);
  VexSchemaCheck check = vexValidateText(markup);
  EXPECT_TRUE(check.valid) << markup << "\n" << check.output;
}

// A string definition that counts its destructions.
struct TrackedString : VexStringDefImpl {
  explicit TrackedString(int &destroyed) : destroyed_(destroyed) {}
  ~TrackedString() override { ++destroyed_; }
  int &destroyed_;
};

// ---------------------------------------------------------------------------
// Reference counting

TEST(ModelRefCount, ObjectLivesExactlyAsLongAsItsHandles) {
  int destroyed = 0;
  {
    auto first = VexCountRef<TrackedString>::create(destroyed);
    EXPECT_EQ(first->refCount(), 1);
    {
      VexCountRef<TrackedString> copy = first;
      VexDataDef upcast = copy;
      EXPECT_EQ(first->refCount(), 3);
      VexDataDef moved = std::move(upcast);
      EXPECT_FALSE(upcast);
      EXPECT_EQ(first->refCount(), 3);
    }
    EXPECT_EQ(first->refCount(), 1);
    EXPECT_EQ(destroyed, 0);
    first = first; // self-assignment keeps the reference
    EXPECT_EQ(first->refCount(), 1);
    first = VexCountRef<TrackedString>();
    EXPECT_EQ(destroyed, 1);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST(ModelRefCount, GroupItemsKeepTheirDefinitionsAlive) {
  int destroyed = 0;
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  {
    VexDefAccessor<TrackedString> member = VexDefAccessor<TrackedString>::create(destroyed);
    VexGroupItem item = VexGroupItem::create();
    item->setName(u("A"));
    item->setDefinition(member);
    group->addItem(item);
    EXPECT_EQ(member->refCount(), 2);
  }
  EXPECT_EQ(destroyed, 0);
  // Replacing the definition by a reference drops the held one.
  group->items()[0]->setDefinition(VexRef(VexDataDefDomain::getInstance().getId(u("GONE"))));
  EXPECT_EQ(destroyed, 1);
}

TEST(ModelRefCount, ReleasingTheLastGroupHandleFreesTheTree) {
  int destroyed = 0;
  {
    auto group = VexDefAccessor<VexGroupDefImpl>::create();
    for (int i = 0; i < 3; ++i) {
      VexGroupItem item = VexGroupItem::create();
      item->setDefinition(VexDefAccessor<TrackedString>::create(destroyed));
      group->addItem(item);
    }
  }
  EXPECT_EQ(destroyed, 3);
}

// Handles convert only from a kind to its bases, never sideways or down.
static_assert(std::is_convertible_v<VexDefAccessor<VexNumberDefImpl>, VexDataDef>);
static_assert(std::is_convertible_v<VexCountRef<VexGroupDefImpl>, VexDataDef>);
static_assert(!std::is_convertible_v<VexDataDef, VexDefAccessor<VexNumberDefImpl>>);
static_assert(
    !std::is_convertible_v<VexDefAccessor<VexStringDefImpl>, VexDefAccessor<VexNumberDefImpl>>);

TEST(ModelRefCount, OverReleaseIsRefused) {
  VexStringDefImpl stack;
  EXPECT_THROW(stack.delRef(), VexError);
}

// ---------------------------------------------------------------------------
// Group items

TEST(ModelGroup, FindItemIndexFindsTheFirstItemOfAName) {
  VexGroupDefImpl group;
  for (const char *name : {"A", "B", "A", "C"}) {
    VexGroupItem item = VexGroupItem::create();
    item->setName(u(name));
    group.addItem(item);
  }
  EXPECT_EQ(group.findItemIndex(u("A")), 0);
  EXPECT_EQ(group.findItemIndex(u("C")), 3);
  EXPECT_EQ(group.findItemIndex(u("a")), -1);
  EXPECT_EQ(group.findItemIndex(u("")), -1);
  EXPECT_EQ(VexGroupDefImpl().findItemIndex(u("A")), -1);
  EXPECT_THROW(group.addItem(VexGroupItem()), VexError);
}

TEST(ModelGroup, CardinalityAndCountItem) {
  VexGroupItemImpl item;
  EXPECT_TRUE(item.cardinality().hasDefault());
  item.setCardinality(VexRange(1, 9), VexGroupItemRef(u("N")));
  EXPECT_TRUE(item.cardinality().isSet());
  EXPECT_EQ(item.cardinality().get(), VexRange(1, 9));
  EXPECT_EQ(item.countItem(), u("N"));
  // A plain cardinality replaces the count item too.
  item.setCardinality(VexRange(3));
  EXPECT_EQ(item.cardinality().get(), VexRange(3, 3));
  EXPECT_TRUE(item.countItem().empty());

  EXPECT_THROW(item.setCardinality(VexRange(5, 2)), VexError);
  EXPECT_THROW(item.setCardinality(VexRange(-1, 2)), VexError);
  EXPECT_THROW(item.setCardinality(VexRange(0, -2)), VexError);
  item.setCardinality(VexRange(4, VexRange::unbounded));
  EXPECT_EQ(item.cardinality().get().ubound(), VexRange::unbounded);
  EXPECT_THROW(item.setDefinition(VexRef()), VexError);
}

TEST(ModelGroup, HolderKeepsDefaultUntilSet) {
  VexHolder<VexRange> cardinality(VexRange(1));
  EXPECT_TRUE(cardinality.hasDefault());
  EXPECT_EQ(cardinality.get(), VexRange(1));
  cardinality = VexRange(2, 4);
  EXPECT_FALSE(cardinality.hasDefault());
  EXPECT_EQ(cardinality.get(), VexRange(2, 4));
}

// ---------------------------------------------------------------------------
// Registries

TEST(ModelRegistry, DataDefinitionNamesAndIdentifiers) {
  VexDataDefDomain &domain = VexDataDefDomain::getInstance();
  EXPECT_EQ(&domain, &VexDataDefDomain::getInstance());
  VexDataDefId rec = domain.getId(u("REG_REC"));
  VexDataDefId other = domain.getId(u("REG_OTHER"));
  EXPECT_TRUE(rec.isValid());
  EXPECT_NE(rec, other);
  EXPECT_EQ(domain.getId(u("REG_REC")), rec);
  EXPECT_EQ(domain.getName(other), u("REG_OTHER"));
  EXPECT_TRUE(domain.getName(VexDataDefId(999999)).empty());

  VexBinaryDefImpl def;
  EXPECT_FALSE(def.id().isValid());
  domain.registerDef(rec, def);
  EXPECT_EQ(def.id(), rec);
  EXPECT_EQ(def.name(), u("REG_REC"));
  EXPECT_THROW(domain.registerDef(VexDataDefId(999999), def), VexError);
  EXPECT_THROW(domain.registerDef(VexDataDefId(), def), VexError);
}

TEST(ModelRegistry, NamespacesAreDeclaredByIdentifier) {
  VexNamespaceDomain &domain = VexNamespaceDomain::getInstance();
  auto corp = domain.getId(u("corp"));
  auto empty = domain.getId(u(""));
  EXPECT_FALSE(domain.isDeclared(corp));
  domain.declare(corp, 0);
  domain.declare(empty, 0);
  EXPECT_TRUE(domain.isDeclared(corp));
  EXPECT_TRUE(domain.isDeclared(empty));
  EXPECT_THROW(domain.declare(VexDomainId<VexNamespaceDomain>(999999), 0), VexError);
  EXPECT_THROW(domain.declare(VexDomainId<VexNamespaceDomain>(), 0), VexError);
}

// ---------------------------------------------------------------------------
// Kind queries

TEST(ModelKinds, QueriesAndCastsOfEveryKind) {
  VexGroupDefImpl group;
  VexStringDefImpl string;
  VexBinaryDefImpl binary;
  VexNumberDefImpl number;
  struct Case {
    VexDataDefImpl *def;
    bool nonGroup, primitive;
    int primitiveKind;
    bool text;
  } cases[] = {
      {&group, false, false, 0, false},
      {&string, true, true, 1, true},
      {&number, true, true, 2, true},
      {&binary, true, true, 3, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(static_cast<int>(c.def->kind()));
    EXPECT_EQ(c.def->isNonGroupDef(), c.nonGroup);
    EXPECT_EQ(c.def->isPrimitiveDef(), c.primitive);
    EXPECT_EQ(c.def->primitiveKind(), c.primitiveKind);
    EXPECT_EQ(rttiCast<VexGroupDefImpl>(c.def) != nullptr, !c.nonGroup);
    EXPECT_EQ(rttiCast<VexPrimitiveDefImpl>(c.def) != nullptr, c.primitive);
    EXPECT_EQ(rttiCast<VexTextDefImpl>(c.def) != nullptr, c.text);
    EXPECT_EQ(rttiCast<VexDataDefImpl>(c.def), c.def);
  }
  EXPECT_EQ(rttiCast<VexBinaryDefImpl>(static_cast<VexDataDefImpl *>(&binary)), &binary);
  EXPECT_EQ(rttiCast<VexNumberDefImpl>(static_cast<VexDataDefImpl *>(&string)), nullptr);
  EXPECT_EQ(rttiCast<VexStringDefImpl>(static_cast<VexDataDefImpl *>(nullptr)), nullptr);
}

// ---------------------------------------------------------------------------
// Texts

TEST(ModelText, EveryByteSurvivesTheRoundTrip) {
  std::string bytes;
  for (int byte = 0; byte < 256; ++byte)
    bytes += static_cast<char>(byte);
  VexString text = vexToUnicode(bytes.data(), static_cast<long>(bytes.size()), false);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(text[0xC9], u'\u00C9');
  EXPECT_EQ(vexToMbcs(text), bytes);
  // Packed decimal bytes with a NUL inside need the explicit length.
  std::string packed("\x00\x12\x5C", 3);
  EXPECT_EQ(vexToMbcs(vexToUnicode(packed, false)), packed);
  EXPECT_EQ(vexToUnicode("\x12\x5C", -1, false).size(), 2u);
  EXPECT_TRUE(vexToUnicode(static_cast<const char *>(nullptr), false).empty());
}

TEST(ModelText, Utf8DecodingAndEncoding) {
  EXPECT_EQ(vexToUnicode("caf\xC3\xA9", true), u"caf\u00E9");
  EXPECT_EQ(vexToUnicode("caf\xC3\xA9", false), (VexString{u'c', u'a', u'f', 0xC3, 0xA9}));
  // Bytes of an invalid sequence are kept one by one.
  EXPECT_EQ(vexToUnicode("\xC3(\xFF", true), (VexString{0xC3, u'(', 0xFF}));
  EXPECT_EQ(vexToUnicode("\xE2\x82", true), (VexString{0xE2, 0x82}));
  EXPECT_EQ(vexToUnicode("\xF0\x9F\x98\x80", true), u"\U0001F600");
  EXPECT_EQ(vexToMbcs(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(vexToMbcs(u"\u20AC"), "\xE2\x82\xAC");
  EXPECT_EQ(vexToMbcs(VexString(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// ---------------------------------------------------------------------------
// Setters

TEST(ModelSetters, ValuesOutsideTheContractAreRefused) {
  VexNumberDefImpl number;
  EXPECT_THROW(number.setJustification(1), VexError);
  EXPECT_THROW(number.setSignPosition(0), VexError);
  EXPECT_THROW(number.setSignPosition(5), VexError);
  EXPECT_THROW(number.setTextPresentation(5), VexError);
  EXPECT_THROW(number.setTextPresentation(-1), VexError);
  EXPECT_THROW(number.setBinaryPresentation(static_cast<VexNumberDefScope::BinaryPresentation>(1)),
               VexError);
  EXPECT_THROW(number.setBinaryPresentation(static_cast<VexNumberDefScope::BinaryPresentation>(11)),
               VexError);
  EXPECT_THROW(number.setNumberOfDigits(-1), VexError);
  EXPECT_THROW(number.setPointLocation(-1), VexError);
  EXPECT_THROW(number.setBlankWhenZero(2), VexError);
  EXPECT_THROW(number.setWidth(VexRange(4, 3)), VexError);
  // Nothing refused is recorded.
  EXPECT_EQ(markupOf(number), "<NumberDefinition/>");
}

// ---------------------------------------------------------------------------
// Rendering

TEST(ModelRendering, NothingSetWritesTheBareElement) {
  expectRendering(VexGroupDefImpl(), "<GroupDefinition/>");
  expectRendering(VexStringDefImpl(), "<StringDefinition/>");
  expectRendering(VexBinaryDefImpl(), "<BinaryDefinition/>");
  expectRendering(VexNumberDefImpl(), "<NumberDefinition/>");
}

TEST(ModelRendering, StringWithEveryProperty) {
  VexStringDefImpl def;
  def.setWidth(VexRange(5));
  def.setDefaultValue(u("AB\\hFF"));
  def.setJustification(2);
  def.setPadCharacter(VexSyntax(u(" ")));
  VexRestriction values;
  values.addValue(u("Y"));
  values.addValue(u("N & <x>"));
  def.setRestriction(values);
  def.setDescription(u("05 FLAG PICTURE IS X(5)."));
  expectRendering(def, "<StringDefinition width=\"5\" default=\"AB\\hFF\" justification=\"right\" "
                       "padCharacter=\" \"><Restriction><Value>Y</Value><Value>N &amp; "
                       "&lt;x&gt;</Value></Restriction></StringDefinition>");
  // The top-level description travels in the stanza, not in the markup.
  EXPECT_EQ(VexMfRdfWriter::fillStanza(def).getAttrValue("description"),
            u("05 FLAG PICTURE IS X(5)."));

  VexStringDefImpl plain;
  plain.setJustification(0);
  plain.setWidth(VexRange(2, VexRange::unbounded));
  expectRendering(
      plain, "<StringDefinition minWidth=\"2\" maxWidth=\"unbounded\" justification=\"none\"/>");
}

TEST(ModelRendering, ValuesAreWrittenAsPlainAscii) {
  VexStringDefImpl def;
  def.setDefaultValue(vexToUnicode(std::string("a\tb\x7F\xC9\x00 z\\", 9), false));
  VexRestriction values;
  values.addValue(vexToUnicode("\"q\"\n", false));
  values.addValue(u(""));
  def.setRestriction(values);
  expectRendering(def, "<StringDefinition default=\"a\\h09b\\h7F\\hC9\\h00 z\\\"><Restriction>"
                       "<Value>\"q\"\\h0A</Value><Value/></Restriction></StringDefinition>");
}

TEST(ModelRendering, BinaryWithEveryProperty) {
  VexBinaryDefImpl def;
  def.setWidth(VexRange(3));
  // A packed decimal image: every byte is written in hex, printable or not.
  def.setDefaultValue(vexToUnicode("\x12\x34\x5C", 3, false), true);
  VexRestriction values;
  values.addValue(u("1"));
  def.setRestriction(values);
  expectRendering(def, "<BinaryDefinition width=\"3\" default=\"\\h12\\h34\\h5C\">"
                       "<Restriction><Value>1</Value></Restriction></BinaryDefinition>");
  VexBinaryDefImpl ranged;
  ranged.setWidth(VexRange(2, 8));
  // A default that is plain text (a DISPLAY-1 number's digits) stays text.
  ranged.setDefaultValue(u("12"));
  expectRendering(ranged, "<BinaryDefinition minWidth=\"2\" maxWidth=\"8\" default=\"12\"/>");
}

TEST(ModelRendering, NumberWithEveryProperty) {
  VexNumberDefImpl def;
  def.setWidth(VexRange(10));
  def.setDefaultValue(u("12"));
  def.setJustification(2);
  def.setPadCharacter(VexSyntax(u("*")));
  def.setNumberOfDigits(7);
  def.setPointLocation(2);
  def.setSignPosition(3);
  def.setTextPresentation(2);
  def.setBinaryPresentation(VexNumberDefScope::BinaryPresentation::packedDecimal);
  def.setTextPattern(u("##,##0.00;##,##0.00"));
  def.setDecimalPoint(u',');
  def.setGroupSeparator(u'.');
  def.setBlankWhenZero(1);
  VexRestriction values;
  values.addValue(u("0"));
  values.addValue(u("99"));
  def.setRestriction(values);
  expectRendering(def, "<NumberDefinition width=\"10\" default=\"12\" justification=\"right\" "
                       "padCharacter=\"*\" digits=\"7\" pointLocation=\"2\" "
                       "signPosition=\"leadingSeparate\" textPresentation=\"explicitDecimal\" "
                       "binaryPresentation=\"packedDecimal\" textPattern=\"##,##0.00;##,##0.00\" "
                       "decimalPoint=\",\" groupSeparator=\".\" blankWhenZero=\"true\">"
                       "<Restriction><Value>0</Value><Value>99</Value></Restriction>"
                       "</NumberDefinition>");
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

TEST(ModelRendering, GroupWithReferencedInlineAndRepeatedMembers) {
  VexDataDefDomain &domain = VexDataDefDomain::getInstance();
  auto redefined = VexDefAccessor<VexStringDefImpl>::create();
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  group->setType(1);
  group->setDescription(u("01 REC."));
  domain.registerDef(domain.getId(u("REC")), *group);
  domain.registerDef(domain.getId(u("REC_A")), *redefined);

  VexGroupItem a = VexGroupItem::create();
  a->setName(u("A"));
  a->setDefinition(VexRef(redefined->id()));
  group->addItem(a);

  auto count = VexDefAccessor<VexNumberDefImpl>::create();
  count->setNumberOfDigits(1);
  count->setTextPresentation(4);
  count->setDescription(u("05 N PICTURE IS 9."));
  VexGroupItem n = VexGroupItem::create();
  n->setName(u("N"));
  n->setDefinition(count);
  group->addItem(n);

  auto inner = VexDefAccessor<VexGroupDefImpl>::create();
  inner->setType(1);
  VexGroupItem x = VexGroupItem::create();
  x->setName(u("X"));
  auto string = VexDefAccessor<VexStringDefImpl>::create();
  string->setWidth(VexRange(2));
  x->setDefinition(string);
  x->setCardinality(VexRange(3));
  inner->addItem(x);
  VexGroupItem t = VexGroupItem::create();
  t->setName(u("T"));
  t->setDefinition(inner);
  t->setCardinality(VexRange(1, 9), VexGroupItemRef(u("N")));
  group->addItem(t);

  VexGroupItem open = VexGroupItem::create();
  open->setName(u("OPEN"));
  open->setCardinality(VexRange(0, VexRange::unbounded));
  open->setDefinition(VexDefAccessor<VexBinaryDefImpl>::create());
  group->addItem(open);

  expectRendering(
      *group,
      "<GroupDefinition name=\"REC\" groupType=\"1\">"
      "<Item name=\"A\" ref=\"REC_A\"/>"
      "<Item name=\"N\"><NumberDefinition digits=\"1\" textPresentation=\"zonedDecimal\">"
      "<Description>05 N PICTURE IS 9.</Description></NumberDefinition></Item>"
      "<Item name=\"T\" minOccurs=\"1\" maxOccurs=\"9\" countItem=\"N\">"
      "<GroupDefinition groupType=\"1\"><Item name=\"X\" minOccurs=\"3\" maxOccurs=\"3\">"
      "<StringDefinition width=\"2\"/></Item></GroupDefinition></Item>"
      "<Item name=\"OPEN\" minOccurs=\"0\" maxOccurs=\"unbounded\"><BinaryDefinition/></Item>"
      "</GroupDefinition>");
}

TEST(ModelRendering, NamesAndDescriptionsOutsideAsciiBecomeCharacterReferences) {
  VexGroupDefImpl group;
  VexGroupItem item = VexGroupItem::create();
  // UTF-8 in the copybook, then a byte that is not UTF-8, then a control.
  item->setName(vexToUnicode("K\xC3\xA4SE\xFF\x01", false));
  auto member = VexDefAccessor<VexStringDefImpl>::create();
  member->setDescription(vexToUnicode("05 \"Q\" & <\xE2\x82\xAC>", false));
  item->setDefinition(member);
  group.addItem(item);
  expectRendering(group, "<GroupDefinition><Item name=\"K&#xE4;SE&#xFF;\\h01\">"
                         "<StringDefinition><Description>05 \"Q\" &amp; &lt;&#x20AC;&gt;"
                         "</Description></StringDefinition></Item></GroupDefinition>");
}

TEST(ModelRendering, VocabularyMatchesTheSchemaSkeleton) {
  std::string document = std::string("<") + vexRootElementName() + " xmlns:rdf=\"" +
                         vexRdfNamespace() + "\"><" + vexDomainNamespace() + " " + vexAttrName() +
                         "=\"corp\"><" + vexDomainMsgFmt() + ">" + markupOf(VexStringDefImpl()) +
                         "</" + vexDomainMsgFmt() + "></" + vexDomainNamespace() + "></" +
                         vexRootElementName() + ">";
  VexSchemaCheck check = vexValidateText(document);
  EXPECT_TRUE(check.valid) << document << "\n" << check.output;
}

TEST(ModelRendering, SchemaRejectsWhatTheModelNeverWrites) {
  for (const char *bad :
       {"<StringDefinition width=\"-1\"/>", "<NumberDefinition signPosition=\"middle\"/>",
        "<StringDefinition default=\"\xC3\xA4\"/>",
        "<GroupDefinition><Description/><Item name=\"A\"/></GroupDefinition>", "<Item/>"}) {
    EXPECT_FALSE(vexValidateText(bad).valid) << bad;
  }
}

} // namespace

// Model texts, reference counts, registries, checked setters and the markup of each definition.
#include "model/definition_model.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "model/xml_stream_writer.h"
#include "support/library_error.h"
#include "support/utf8.h"

// ---------------------------------------------------------------------------
// Objects, registries and kinds

void VexObjectImpl::delRef() {
  if (refs_ <= 0)
    throw VexError("Model object released more often than it was referenced.");
  if (--refs_ == 0)
    delete this;
}

void VexDataDefDomain::registerDef(VexDomainId<VexDataDefDomain> id, VexDataDefImpl &def) {
  registerDef(id, def, getName(id));
}

void VexDataDefDomain::registerDef(VexDomainId<VexDataDefDomain> id, VexDataDefImpl &def,
                                   VexString name) {
  if (nameOf(id).empty())
    throw VexError("Unknown data definition identifier " + std::to_string(id.value()) + ".");
  def.id_ = id;
  def.setName(std::move(name));
}

namespace {

// Indexed by VexDefKind: group, string, binary, number.
constexpr int primitiveKinds[] = {0, 1, 3, 2};

constexpr VexRttiClassInfo dataDefInfo{{true, true, true, true}};
constexpr VexRttiClassInfo primitiveDefInfo{{false, true, true, true}};
constexpr VexRttiClassInfo textDefInfo{{false, true, false, true}};
constexpr VexRttiClassInfo groupDefInfo{{true, false, false, false}};
constexpr VexRttiClassInfo stringDefInfo{{false, true, false, false}};
constexpr VexRttiClassInfo binaryDefInfo{{false, false, true, false}};
constexpr VexRttiClassInfo numberDefInfo{{false, false, false, true}};

void checkRange(const VexRange &range, const char *what) {
  if (range.lbound() < 0 || range.ubound() < VexRange::unbounded ||
      (range.ubound() != VexRange::unbounded && range.lbound() > range.ubound()))
    throw VexError(std::string("Invalid ") + what + " range " + std::to_string(range.lbound()) +
                   ".." + std::to_string(range.ubound()) + ".");
}

void checkValue(bool valid, const char *property, long value) {
  if (!valid)
    throw VexError(std::string("Invalid ") + property + " " + std::to_string(value) + ".");
}

} // namespace

const VexRttiClassInfo &VexDataDefImpl::rttiClassInfo() { return dataDefInfo; }
const VexRttiClassInfo &VexPrimitiveDefImpl::rttiClassInfo() { return primitiveDefInfo; }
const VexRttiClassInfo &VexTextDefImpl::rttiClassInfo() { return textDefInfo; }
const VexRttiClassInfo &VexGroupDefImpl::rttiClassInfo() { return groupDefInfo; }
const VexRttiClassInfo &VexStringDefImpl::rttiClassInfo() { return stringDefInfo; }
const VexRttiClassInfo &VexBinaryDefImpl::rttiClassInfo() { return binaryDefInfo; }
const VexRttiClassInfo &VexNumberDefImpl::rttiClassInfo() { return numberDefInfo; }

bool VexDataDefImpl::isNonGroupDef() const { return kind() != VexDefKind::group; }

bool VexDataDefImpl::isPrimitiveDef() const { return primitiveKind() != 0; }

int VexDataDefImpl::primitiveKind() const { return primitiveKinds[static_cast<int>(kind())]; }

// ---------------------------------------------------------------------------
// Setters

void VexPrimitiveDefImpl::setWidth(const VexRange &width) {
  checkRange(width, "width");
  width_ = width;
}

void VexTextDefImpl::setJustification(int justification) {
  checkValue(justification == 0 || justification == 2, "justification", justification);
  justification_ = justification;
}

void VexNumberDefImpl::setNumberOfDigits(int digits) {
  checkValue(digits >= 0, "number of digits", digits);
  digits_ = digits;
}

void VexNumberDefImpl::setPointLocation(int location) {
  checkValue(location >= 0, "point location", location);
  pointLocation_ = location;
}

void VexNumberDefImpl::setSignPosition(int position) {
  checkValue(position >= 1 && position <= 4, "sign position", position);
  signPosition_ = position;
}

void VexNumberDefImpl::setTextPresentation(int presentation) {
  checkValue(presentation >= 0 && presentation <= 4, "text presentation", presentation);
  textPresentation_ = presentation;
}

void VexNumberDefImpl::setBinaryPresentation(VexNumberDefScope::BinaryPresentation presentation) {
  int value = static_cast<int>(presentation);
  checkValue(value >= 2 && value <= 10, "binary presentation", value);
  binaryPresentation_ = presentation;
}

void VexNumberDefImpl::setBlankWhenZero(int blank) {
  checkValue(blank == 0 || blank == 1, "blank when zero", blank);
  blankWhenZero_ = blank;
}

void VexGroupItemImpl::setCardinality(const VexRange &range) {
  checkRange(range, "cardinality");
  cardinality_ = range;
  countItem_.clear();
}

void VexGroupItemImpl::setCardinality(const VexRange &range, const VexGroupItemRef &countItem) {
  setCardinality(range);
  countItem_ = countItem.name();
}

void VexGroupItemImpl::setDefinition(const VexDataDef &def) {
  def_ = def;
  ref_ = VexDataDefId();
}

void VexGroupItemImpl::setDefinition(const VexRef &ref) {
  if (!ref.id().isValid())
    throw VexError("Reference to a data definition without identifier.");
  ref_ = ref.id();
  def_ = VexDataDef();
}

namespace {

constexpr std::uint64_t itemTagBits = ~std::uint64_t(0) << 32;

// The upper half of an item's slot: 32 bits of its name's hash.
std::uint64_t itemTag(std::string_view name) {
  const std::uint64_t hash = std::hash<std::string_view>()(name);
  return (hash ^ (hash << 32)) & itemTagBits;
}

} // namespace

// The slot of the first item named `name` (whose tag is `tag`), or the empty
// slot where it would go.
std::size_t VexGroupDefImpl::slotOf(std::string_view name, std::uint64_t tag) const {
  const std::size_t mask = firstIndex_.size() - 1;
  std::size_t at = static_cast<std::size_t>(tag >> 32) & mask;
  while (firstIndex_[at] != 0 &&
         ((firstIndex_[at] & itemTagBits) != tag ||
          items_[static_cast<std::uint32_t>(firstIndex_[at]) - 1]->name() != name))
    at = (at + 1) & mask;
  return at;
}

void VexGroupDefImpl::addItem(const VexGroupItem &item) {
  if (!item)
    throw VexError("Empty group item added to a group definition.");
  items_.push_back(item);
  if (indexed_)
    indexItem(items_.size());
}

void VexGroupDefImpl::indexItem(std::size_t position) const {
  if (2 * (named_ + 1) > firstIndex_.size())
    resizeIndex(std::max<std::size_t>(16, 2 * firstIndex_.size()));
  const VexString &name = items_[position - 1]->name();
  const std::uint64_t tag = itemTag(name);
  if (std::uint64_t &slot = firstIndex_[slotOf(name, tag)]; slot == 0) {
    slot = tag | position;
    ++named_;
  }
}

// Room for `count` items in a table at most half full.
static std::size_t indexSlots(std::size_t now, std::size_t count) {
  std::size_t slots = std::max<std::size_t>(16, now);
  while (slots < 2 * count)
    slots *= 2;
  return slots;
}

void VexGroupDefImpl::reserveItems(std::size_t count) {
  items_.reserve(count);
  if (!indexed_)
    return;
  if (const std::size_t slots = indexSlots(firstIndex_.size(), count); slots != firstIndex_.size())
    resizeIndex(slots);
}

// Each slot moved where its tag places it in a table of `slots` slots.
void VexGroupDefImpl::resizeIndex(std::size_t slots) const {
  std::vector<std::uint64_t> previous(slots, 0);
  previous.swap(firstIndex_);
  const std::size_t mask = firstIndex_.size() - 1;
  for (std::uint64_t slot : previous)
    if (slot != 0) {
      std::size_t at = static_cast<std::size_t>(slot >> 32) & mask;
      while (firstIndex_[at] != 0)
        at = (at + 1) & mask;
      firstIndex_[at] = slot;
    }
}

int VexGroupDefImpl::findItemIndex(std::string_view name) const {
  if (items_.empty())
    return -1;
  if (!indexed_) {
    // In order, so that the first item of a name takes its slot; room for
    // the items the group has reserved.
    indexed_ = true;
    resizeIndex(indexSlots(0, items_.capacity()));
    for (std::size_t position = 1; position <= items_.size(); ++position)
      indexItem(position);
  }
  const std::uint64_t slot = firstIndex_[slotOf(name, itemTag(name))];
  return slot == 0 ? -1 : static_cast<int>(static_cast<std::uint32_t>(slot) - 1);
}

VexString VexStanza::getAttrValue(const char *name) const {
  auto found = attrs_.find(name);
  return found == attrs_.end() ? VexString() : found->second;
}

// ---------------------------------------------------------------------------
// Rendering

const char *vexRootElementName() { return "rdf:RDF"; }
const char *vexRdfNamespace() { return "http://www.w3.org/TR/PR-rdf-syntax/"; }
const char *vexDomainNamespace() { return "Namespace"; }
const char *vexDomainMsgFmt() { return "MessageFormat"; }
const char *vexAttrName() { return "name"; }
const char *vexElementDescription() { return "Description"; }

namespace {

// Names of enumerated property values, indexed by value.
constexpr std::array<const char *, 3> justificationNames{"none", nullptr, "right"};
constexpr std::array<const char *, 5> signPositionNames{nullptr, "leading", "trailing",
                                                        "leadingSeparate", "trailingSeparate"};
constexpr std::array<const char *, 5> textPresentationNames{
    "digits", "impliedDecimal", "explicitDecimal", "externalFloat", "zonedDecimal"};
constexpr std::array<const char *, 11> binaryPresentationNames{
    nullptr,  nullptr, "uint16",  "int16",   "uint32",       "int32",
    "uint64", "int64", "float32", "float64", "packedDecimal"};

// Element names by VexDefKind.
constexpr std::array<const char *, 4> definitionElementNames{
    "GroupDefinition", "StringDefinition", "BinaryDefinition", "NumberDefinition"};
constexpr std::array<std::string_view, 4> definitionElementViews{
    definitionElementNames[0], definitionElementNames[1], definitionElementNames[2],
    definitionElementNames[3]};

// One element of the markup being built. Attribute values and text are UTF-8
// and unescaped; writing escapes them.
struct Element {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attrs;
  std::vector<Element> children;
  std::string text;

  void attr(const char *key, std::string value) { attrs.emplace_back(key, std::move(value)); }
};

void appendHexByte(std::string &out, unsigned char byte) {
  char buffer[5];
  std::snprintf(buffer, sizeof buffer, "\\h%02X", byte);
  out += buffer;
}

// A default or restriction value: printable ASCII as it is, every other byte
// in the "\hXX" notation the value images use for HIGH-VALUE, so that the
// document stays plain ASCII and no byte is lost.
void appendValueText(std::string &out, std::string_view value) {
  for (unsigned char byte : value) {
    if (byte >= 0x20 && byte <= 0x7E)
      out += static_cast<char>(byte);
    else
      appendHexByte(out, byte);
  }
}

std::string valueText(std::string_view value) {
  std::string result;
  appendValueText(result, value);
  return result;
}

// A default that is a byte image (a packed or zoned number under the old
// compatibility level) has every byte written in hex.
std::string byteImageText(const VexString &value) {
  std::string result;
  for (unsigned char byte : value)
    appendHexByte(result, byte);
  return result;
}

} // namespace

std::string vexDocumentText(const VexString &text) {
  // Names and descriptions are nearly always plain ASCII, which comes out
  // as it is; only the others need decoding and escaping.
  const bool plain = std::all_of(text.begin(), text.end(), [](char unit) {
    return (unit >= 0x20 && unit <= 0x7E) || unit == '\t' || unit == '\n' || unit == '\r';
  });
  if (plain)
    return text;
  const std::string &bytes = text;
  std::string result;
  for (std::size_t pos = 0; pos < bytes.size();) {
    char32_t code = vexNextChar(bytes, pos);
    if (vexIsXmlControl(code))
      appendHexByte(result, static_cast<unsigned char>(code));
    else
      vexAppendUtf8(result, code);
  }
  return result;
}

namespace {

std::string widthText(std::int64_t bound) {
  return bound == VexRange::unbounded ? "unbounded" : std::to_string(bound);
}

void addRange(Element &element, const VexRange &range, const char *exact, const char *low,
              const char *high) {
  if (exact && range.isExact()) {
    element.attr(exact, std::to_string(range.lbound()));
  } else {
    element.attr(low, std::to_string(range.lbound()));
    element.attr(high, widthText(range.ubound()));
  }
}

template <std::size_t N> const char *enumName(const std::array<const char *, N> &names, int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N && names[value] ? names[value] : "";
}

// The same names with their lengths, for the direct markup: measured once
// here instead of at every element.
template <std::size_t N>
constexpr std::array<std::string_view, N> enumViews(const std::array<const char *, N> &names) {
  std::array<std::string_view, N> views{};
  for (std::size_t at = 0; at < N; ++at)
    views[at] = names[at] != nullptr ? std::string_view(names[at]) : std::string_view("");
  return views;
}
template <std::size_t N>
std::string_view enumView(const std::array<std::string_view, N> &views, int value) {
  return value >= 0 && static_cast<std::size_t>(value) < N ? views[value] : std::string_view("");
}
constexpr auto justificationViews = enumViews(justificationNames);
constexpr auto signPositionViews = enumViews(signPositionNames);
constexpr auto textPresentationViews = enumViews(textPresentationNames);
constexpr auto binaryPresentationViews = enumViews(binaryPresentationNames);

void addTextLayout(Element &element, const VexTextDefImpl &def) {
  if (def.justification().isSet())
    element.attr("justification", enumName(justificationNames, def.justification().get()));
  if (def.padCharacter().isSet())
    element.attr("padCharacter", valueText(def.padCharacter().get()));
}

void addNumberProperties(Element &element, const VexNumberDefImpl &def) {
  if (def.numberOfDigits().isSet())
    element.attr("digits", std::to_string(def.numberOfDigits().get()));
  if (def.pointLocation().isSet())
    element.attr("pointLocation", std::to_string(def.pointLocation().get()));
  if (def.signPosition().isSet())
    element.attr("signPosition", enumName(signPositionNames, def.signPosition().get()));
  if (def.textPresentation().isSet())
    element.attr("textPresentation", enumName(textPresentationNames, def.textPresentation().get()));
  if (def.binaryPresentation().isSet())
    element.attr("binaryPresentation", enumName(binaryPresentationNames,
                                                static_cast<int>(def.binaryPresentation().get())));
  if (def.textPattern().isSet())
    element.attr("textPattern", valueText(def.textPattern().get()));
  if (def.decimalPoint().isSet())
    element.attr("decimalPoint", valueText(std::string_view(&def.decimalPoint().get(), 1)));
  if (def.groupSeparator().isSet())
    element.attr("groupSeparator", valueText(std::string_view(&def.groupSeparator().get(), 1)));
  if (def.blankWhenZero().isSet())
    element.attr("blankWhenZero", def.blankWhenZero().get() ? "true" : "false");
}

Element renderDefinition(const VexDataDefImpl &def, const VexDataDefDomain &definitions,
                         bool withDescription);

Element renderItem(const VexGroupItemImpl &item, const VexDataDefDomain &definitions) {
  Element element{"Item", {}, {}, {}};
  element.attr("name", vexDocumentText(item.name()));
  if (item.cardinality().isSet())
    addRange(element, item.cardinality().get(), nullptr, "minOccurs", "maxOccurs");
  if (!item.countItem().empty())
    element.attr("countItem", vexDocumentText(item.countItem()));
  if (item.definitionRef().isValid())
    element.attr("ref", vexDocumentText(definitions.getName(item.definitionRef())));
  else if (item.definition())
    element.children.push_back(renderDefinition(*item.definition(), definitions, true));
  return element;
}

Element renderDefinition(const VexDataDefImpl &def, const VexDataDefDomain &definitions,
                         bool withDescription) {
  Element element{definitionElementNames[static_cast<int>(def.kind())], {}, {}, {}};
  if (!def.name().empty())
    element.attr(vexAttrName(), vexDocumentText(def.name()));

  if (const auto *group = rttiCast<VexGroupDefImpl>(&def)) {
    if (group->type().isSet())
      element.attr("groupType", std::to_string(group->type().get()));
    for (const VexGroupItem &item : group->items())
      element.children.push_back(renderItem(*item, definitions));
  }
  if (const auto *primitive = rttiCast<VexPrimitiveDefImpl>(&def)) {
    if (primitive->width().isSet())
      addRange(element, primitive->width().get(), "width", "minWidth", "maxWidth");
    if (primitive->defaultValue().isSet())
      element.attr("default", primitive->defaultIsImage()
                                  ? byteImageText(primitive->defaultValue().get())
                                  : valueText(primitive->defaultValue().get()));
    if (const auto *text = rttiCast<VexTextDefImpl>(&def))
      addTextLayout(element, *text);
    if (const auto *number = rttiCast<VexNumberDefImpl>(&def))
      addNumberProperties(element, *number);
    if (!primitive->restriction().empty()) {
      Element restriction{"Restriction", {}, {}, {}};
      for (const VexString &value : primitive->restriction().values())
        restriction.children.push_back(Element{"Value", {}, {}, valueText(value)});
      element.children.push_back(std::move(restriction));
    }
  }
  if (withDescription && !def.description().empty())
    element.children.push_back(
        Element{vexElementDescription(), {}, {}, vexDocumentText(def.description())});
  return element;
}

// Escapes markup characters; every character outside ASCII becomes a
// character reference, so the markup is ASCII whatever the names hold.
void appendEscaped(std::string &out, const std::string &text, bool inAttribute) {
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t code = vexNextChar(text, pos);
    switch (code) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += inAttribute ? "&quot;" : "\"";
      break;
    // Attribute value normalisation would turn these into blanks.
    case '\t':
      out += inAttribute ? "&#9;" : "\t";
      break;
    case '\n':
      out += inAttribute ? "&#10;" : "\n";
      break;
    case '\r':
      out += "&#13;";
      break;
    default:
      if (code < 0x80) {
        out += static_cast<char>(code);
      } else {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "&#x%X;", static_cast<unsigned>(code));
        out += buffer;
      }
    }
  }
}

void writeElement(std::string &out, const Element &element) {
  out += '<';
  out += element.name;
  for (const auto &[key, value] : element.attrs) {
    out += ' ';
    out += key;
    out += "=\"";
    appendEscaped(out, value, true);
    out += '"';
  }
  if (element.children.empty() && element.text.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  appendEscaped(out, element.text, false);
  for (const Element &child : element.children)
    writeElement(out, child);
  out += "</";
  out += element.name;
  out += '>';
}

bool holdsOnlyXmlText(const Element &element) {
  if (!VexXmlStreamWriter::isXmlText(element.text))
    return false;
  for (const auto &attribute : element.attrs)
    if (!VexXmlStreamWriter::isXmlText(attribute.second))
      return false;
  return std::all_of(element.children.begin(), element.children.end(), holdsOnlyXmlText);
}

// Where reading the markup of `element` stops: at the end of the first
// reference to a character XML cannot carry, counted as an XML reader counts.
VexError markupFault(const Element &element) {
  std::string markup;
  writeElement(markup, element);
  std::size_t end = std::min(markup.find("&#xFFFE;"), markup.find("&#xFFFF;"));
  end = end == std::string::npos ? markup.size() : end + std::strlen("&#xFFFF;");
  const std::size_t lineStart = markup.rfind('\n', end == 0 ? 0 : end - 1);
  const std::size_t column = lineStart == std::string::npos ? end + 1 : end - lineStart;
  const auto line = 1 + std::count(markup.begin(), markup.begin() + end, '\n');
  return VexError("XML parse error at line " + std::to_string(line) + ", column " +
                  std::to_string(column) + ": invalid character reference");
}

// Consumes `element`: its attributes move into the writer, which sorts them.
void writeTo(VexXmlStreamWriter &writer, Element &&element) {
  writer.startElement(element.name, std::move(element.attrs));
  if (!element.text.empty())
    writer.text(element.text);
  for (Element &child : element.children)
    writeTo(writer, std::move(child));
  writer.endElement();
}

// Whether vexDocumentText keeps `unit` as it is: such a text is its own UTF-8
// and holds no character XML cannot carry.
inline bool isPlainUnit(unsigned char unit) {
  return (unit >= 0x20 && unit <= 0x7E) || unit == '\t' || unit == '\n' || unit == '\r';
}

// Whether each of the eight bytes of `word` is printable ASCII (0x20 to
// 0x7E). With no byte's top bit set, adding 0x60 to a byte sets it exactly
// for 0x20 and above, adding 0x01 exactly for 0x7F, and neither carries into
// the next byte; a byte with its top bit set fails the first test whatever
// the sums carry.
inline bool isPrintableWord(std::uint64_t word) {
  constexpr std::uint64_t ones = 0x0101010101010101, tops = 0x8080808080808080;
  return ((word | (word + ones)) & tops) == 0 && ((word + 0x60 * ones) & tops) == tops;
}

inline std::uint64_t wordAt(const char *at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

bool isPlain(std::string_view text) {
  // Eight bytes at a time, the last eight overlapping the ones before
  // (most names are 8 to 20 bytes long); a text with a byte that is not
  // printable ASCII, a tab or a line end among them, or shorter than eight
  // bytes is looked at byte by byte.
  if (text.size() >= 8) {
    std::size_t at = 0;
    bool printable = true;
    for (; printable && at + 8 <= text.size(); at += 8)
      printable = isPrintableWord(wordAt(text.data() + at));
    if (printable && isPrintableWord(wordAt(text.data() + text.size() - 8)))
      return true;
  }
  for (std::size_t at = 0; at < text.size(); ++at)
    if (!isPlainUnit(static_cast<unsigned char>(text[at])))
      return false;
  return true;
}

// True when every text of the markup of `def` that goes through
// vexDocumentText is plain, so that the markup can be written as it is made:
// then no character can make it unreadable, which otherwise is known only
// from the whole markup (see markupFault).
bool hasPlainTexts(const VexDataDefImpl &def, const VexDataDefDomain &definitions) {
  if (!isPlain(def.name()) || !isPlain(def.description()))
    return false;
  if (const auto *group = rttiCast<VexGroupDefImpl>(&def))
    for (const VexGroupItem &item : group->items()) {
      if (!isPlain(item->name()) || !isPlain(item->countItem()))
        return false;
      if (item->definitionRef().isValid()) {
        if (!isPlain(definitions.nameOf(item->definitionRef())))
          return false;
      } else if (item->definition() && !hasPlainTexts(*item->definition(), definitions)) {
        return false;
      }
    }
  return true;
}

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendHex(std::string &out, unsigned char byte) {
  out += "\\h";
  out += hexDigits[byte >> 4];
  out += hexDigits[byte & 0xF];
}

// The attribute names of the direct markup, in the order of their names:
// an attribute is kept in the slot of its name, and the slots in order are
// the order the document writes them in, without sorting them per element.
enum class Key : unsigned {
  binaryPresentation,
  blankWhenZero,
  countItem,
  decimalPoint,
  defaultValue,
  digits,
  groupSeparator,
  groupType,
  justification,
  maxOccurs,
  maxWidth,
  minOccurs,
  minWidth,
  name,
  padCharacter,
  pointLocation,
  ref,
  signPosition,
  textPattern,
  textPresentation,
  width,
  count
};
constexpr std::array<std::string_view, static_cast<std::size_t>(Key::count)> keyNames{
    "binaryPresentation", "blankWhenZero", "countItem",     "decimalPoint",     "default",
    "digits",             "groupSeparator", "groupType",    "justification",    "maxOccurs",
    "maxWidth",           "minOccurs",      "minWidth",     "name",             "padCharacter",
    "pointLocation",      "ref",            "signPosition", "textPattern",      "textPresentation",
    "width"};
static_assert(std::is_sorted(keyNames.begin(), keyNames.end()) &&
                  std::adjacent_find(keyNames.begin(), keyNames.end()) == keyNames.end(),
              "slots in the order of the names");
static_assert(keyNames[static_cast<std::size_t>(Key::name)] == "name" &&
                  keyNames[static_cast<std::size_t>(Key::defaultValue)] == "default" &&
                  keyNames[static_cast<std::size_t>(Key::width)] == "width",
              "each key at its name");

// Writes the markup of a definition straight into the document's writer:
// the same elements, attributes and texts as renderDefinition and writeTo,
// without a tree of strings made and taken apart for every definition (a
// fifth of a conversion's instructions went there). Only for definitions
// whose texts are plain (hasPlainTexts).
class DirectMarkup {
public:
  // The attribute values are written into `values` (one buffer per
  // attribute name), which the caller keeps from one definition to the next.
  using Values = std::array<std::string, static_cast<std::size_t>(Key::count)>;
  DirectMarkup(VexXmlStreamWriter &writer, const VexDataDefDomain &definitions, Values &values)
      : writer_(writer), definitions_(definitions), values_(values) {}

  void definition(const VexDataDefImpl &def, bool standAlone) {
    if (standAlone || !def.name().empty())
      plain(Key::name, def.name());
    const auto *group = rttiCast<VexGroupDefImpl>(&def);
    if (group != nullptr && group->type().isSet())
      number(Key::groupType, group->type().get());
    const auto *primitive = rttiCast<VexPrimitiveDefImpl>(&def);
    if (primitive != nullptr)
      primitiveAttributes(*primitive);
    start(definitionElementViews[static_cast<int>(def.kind())]);
    if (group != nullptr)
      for (const VexGroupItem &item : group->items())
        this->item(*item);
    if (primitive != nullptr && !primitive->restriction().empty()) {
      writer_.startElement("Restriction", nullptr, 0);
      for (const VexString &value : primitive->restriction().values()) {
        writer_.startElement("Value", nullptr, 0);
        std::string &text = values_[0];
        text.clear();
        appendValue(text, value);
        if (!text.empty())
          writer_.text(text);
        writer_.endElement();
      }
      writer_.endElement();
    }
    if (!def.description().empty()) {
      writer_.startElement(descriptionName, nullptr, 0);
      writer_.text(def.description());
      writer_.endElement();
    }
    writer_.endElement();
  }

private:
  void item(const VexGroupItemImpl &item) {
    plain(Key::name, item.name());
    if (item.cardinality().isSet()) {
      number(Key::minOccurs, item.cardinality().get().lbound());
      bound(Key::maxOccurs, item.cardinality().get().ubound());
    }
    if (!item.countItem().empty())
      plain(Key::countItem, item.countItem());
    if (item.definitionRef().isValid())
      plain(Key::ref, definitions_.nameOf(item.definitionRef()));
    start("Item");
    if (!item.definitionRef().isValid() && item.definition())
      definition(*item.definition(), false);
    writer_.endElement();
  }

  void primitiveAttributes(const VexPrimitiveDefImpl &def) {
    if (def.width().isSet()) {
      const VexRange &width = def.width().get();
      if (width.isExact()) {
        number(Key::width, width.lbound());
      } else {
        number(Key::minWidth, width.lbound());
        bound(Key::maxWidth, width.ubound());
      }
    }
    if (def.defaultValue().isSet()) {
      std::string &text = next(Key::defaultValue);
      if (def.defaultIsImage())
        for (unsigned char byte : def.defaultValue().get())
          appendHex(text, byte);
      else
        appendValue(text, def.defaultValue().get());
    }
    if (const auto *text = rttiCast<VexTextDefImpl>(&def)) {
      if (text->justification().isSet())
        literal(Key::justification, enumView(justificationViews, text->justification().get()));
      if (text->padCharacter().isSet())
        appendValue(next(Key::padCharacter), text->padCharacter().get());
    }
    if (const auto *number = rttiCast<VexNumberDefImpl>(&def))
      numberAttributes(*number);
  }

  void numberAttributes(const VexNumberDefImpl &def) {
    if (def.numberOfDigits().isSet())
      number(Key::digits, def.numberOfDigits().get());
    if (def.pointLocation().isSet())
      number(Key::pointLocation, def.pointLocation().get());
    if (def.signPosition().isSet())
      literal(Key::signPosition, enumView(signPositionViews, def.signPosition().get()));
    if (def.textPresentation().isSet())
      literal(Key::textPresentation, enumView(textPresentationViews, def.textPresentation().get()));
    if (def.binaryPresentation().isSet())
      literal(Key::binaryPresentation,
              enumView(binaryPresentationViews, static_cast<int>(def.binaryPresentation().get())));
    if (def.textPattern().isSet())
      appendValue(next(Key::textPattern), def.textPattern().get());
    if (def.decimalPoint().isSet())
      appendValue(next(Key::decimalPoint), std::string_view(&def.decimalPoint().get(), 1));
    if (def.groupSeparator().isSet())
      appendValue(next(Key::groupSeparator), std::string_view(&def.groupSeparator().get(), 1));
    if (def.blankWhenZero().isSet())
      literal(Key::blankWhenZero,
              def.blankWhenZero().get() ? std::string_view("true") : std::string_view("false"));
  }

  // Starts element `name` with the attributes gathered since the last
  // start; their buffers are free again once it returns.
  void start(std::string_view name) {
    std::size_t count = 0;
    // Field by field: made whole, the attribute was put together on the
    // stack from 8-byte halves and read back 16 bytes at a time, which the
    // processor cannot forward from the stores (a fifth of the markup's
    // samples sat on those reads).
    for (std::uint32_t rest = set_; rest != 0; rest &= rest - 1) {
      const auto key = static_cast<std::size_t>(__builtin_ctz(rest));
      VexXmlStreamWriter::Attribute &attribute = attributes_[count++];
      attribute.name = keyNames[key];
      if ((direct_ >> key & 1) != 0)
        attribute.value = std::string_view(viewData_[key], viewSize_[key]);
      else
        attribute.value = values_[key];
      attribute.verbatim = (verbatim_ >> key & 1) != 0;
    }
    set_ = direct_ = verbatim_ = 0;
    writer_.startElementInOrder(name, attributes_.data(), count);
  }
  // The names' lengths known where they are spelled: through a C string
  // each start tag measured its name.
  static constexpr std::string_view descriptionName = "Description";
  static std::uint32_t bit(Key key) { return std::uint32_t(1) << static_cast<unsigned>(key); }
  // The attribute `key`: its value is an empty buffer of its own, kept
  // (with its capacity) from one element to the next.
  std::string &next(Key key) {
    set_ |= bit(key);
    std::string &value = values_[static_cast<std::size_t>(key)];
    value.clear();
    return value;
  }
  // A word of the document's own, or a number, which needs no escape:
  // written from where it is, as a plain text is.
  void literal(Key key, std::string_view value) {
    plain(key, value);
    verbatim_ |= bit(key);
  }
  // A plain text is its own attribute value: written from where the model
  // keeps it, without a copy.
  void plain(Key key, std::string_view text) {
    set_ |= bit(key);
    direct_ |= bit(key);
    viewData_[static_cast<std::size_t>(key)] = text.data();
    viewSize_[static_cast<std::size_t>(key)] = text.size();
  }
  // A number, its digits in the key's own room: through a string each, the
  // numbers (four or five an element) took a tenth of the markup's making.
  void number(Key key, std::int64_t value) {
    std::array<char, 24> &digits = digits_[static_cast<std::size_t>(key)];
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    literal(key, std::string_view(digits.data(), static_cast<std::size_t>(end - digits.data())));
  }
  void bound(Key key, std::int64_t value) {
    if (value == VexRange::unbounded)
      literal(key, "unbounded");
    else
      number(key, value);
  }
  // valueText, appended to `out`.
  static void appendValue(std::string &out, std::string_view value) {
    for (unsigned char byte : value)
      if (byte >= 0x20 && byte <= 0x7E)
        out += static_cast<char>(byte);
      else
        appendHex(out, byte);
  }

  VexXmlStreamWriter &writer_;
  const VexDataDefDomain &definitions_;
  std::array<VexXmlStreamWriter::Attribute, static_cast<std::size_t>(Key::count)> attributes_;
  // The plain texts' views, their two halves apart: written a moment
  // before start() reads them, a view read whole from its two 8-byte
  // stores could not be forwarded either.
  std::array<const char *, static_cast<std::size_t>(Key::count)> viewData_;
  std::array<std::size_t, static_cast<std::size_t>(Key::count)> viewSize_;
  std::array<std::array<char, 24>, static_cast<std::size_t>(Key::count)> digits_;
  Values &values_;
  // The attributes (by bit of their key) given since the last start, and
  // those of them whose values are views (viewData_, viewSize_) rather than values_.
  std::uint32_t set_ = 0;
  std::uint32_t direct_ = 0;
  // Those of them that need no escape.
  std::uint32_t verbatim_ = 0;
};

} // namespace

bool VexMfRdfWriter::writeDefinition(const VexDataDefImpl &def, const VexDataDefDomain &definitions,
                                     VexXmlStreamWriter *writer) {
  if (hasPlainTexts(def, definitions)) {
    if (writer) {
      // Buffers kept with their room from one stand-alone definition to the
      // next: made afresh for each, every name and description longer than
      // a string holds in place took an allocation.
      thread_local DirectMarkup::Values values;
      DirectMarkup(*writer, definitions, values).definition(def, true);
    }
    return true;
  }
  Element element = renderDefinition(def, definitions, false);
  if (!holdsOnlyXmlText(element))
    throw markupFault(element);
  if (def.name().empty())
    element.attr(vexAttrName(), "");
  if (!def.description().empty()) {
    std::string description = vexDocumentText(def.description());
    if (!VexXmlStreamWriter::isXmlText(description))
      return false;
    element.children.push_back(Element{vexElementDescription(), {}, {}, std::move(description)});
  }
  if (writer)
    writeTo(*writer, std::move(element));
  return true;
}

VexStanza VexMfRdfWriter::fillStanza(const VexDataDefImpl &def,
                                     const VexDataDefDomain &definitions) {
  std::string markup;
  writeElement(markup, renderDefinition(def, definitions, false));
  VexStanza stanza;
  stanza.setAttrValue("definition", markup);
  stanza.setAttrValue("description", def.description());
  return stanza;
}

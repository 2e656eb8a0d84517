#pragma once
// Definition model: groups, items, string/binary/number definitions, handles, registries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

// The definition model: typed data definitions (groups of member items,
// strings, binary fields, numbers), reference-counted and held through counted
// handles, with the registries that name them and the writer that renders each
// one as an element of the output document. Model texts are bytes.

// A model text: the bytes of a name, picture or value as the copybook writes
// them, any byte allowed (NUL and bytes above 127 included, as packed decimal
// images hold them). The document reads a name's or description's bytes as
// UTF-8 where they form it and as Latin-1 where they do not (vexDocumentText).
// Kept as bytes rather than as 16-bit units: every name and description was
// widened for the model and narrowed back for the document, and a 16-bit
// name of eight or more characters took an allocation that a byte string of
// up to 15 does not.
using VexString = std::string;

// An optional value: a default value and a state (not set / set).
template <typename T> class VexHolder {
public:
  VexHolder() = default;
  // A holder whose default value is `value`, not set.
  explicit VexHolder(T value) : value_(std::move(value)) {}
  // Stores `value` and marks the holder set.
  void set(T value) {
    value_ = std::move(value);
    set_ = true;
  }
  VexHolder &operator=(T value) {
    set(std::move(value));
    return *this;
  }
  // True while nothing has been set: the value is still the default.
  bool hasDefault() const { return !set_; }
  bool isSet() const { return set_; }
  // The value: the last one set, else the default.
  const T &get() const { return value_; }

private:
  T value_{};
  bool set_ = false;
};

// A holder of a value of an enumeration type.
template <typename T> using VexTypeHolder = VexHolder<T>;

// A closed range of counts or widths; the upper bound may be unbounded.
class VexRange {
public:
  // The upper bound that stands for "no limit".
  static constexpr std::int64_t unbounded = -1;
  // Zero to unbounded.
  VexRange() = default;
  // Exactly `count`.
  explicit VexRange(std::int64_t count) : low_(count), high_(count) {}
  // From `low` to `high` (`unbounded` for no limit).
  VexRange(std::int64_t low, std::int64_t high) : low_(low), high_(high) {}
  std::int64_t lbound() const { return low_; }
  std::int64_t ubound() const { return high_; }
  // Lower and upper bound are the same count.
  bool isExact() const { return low_ == high_; }
  bool operator==(const VexRange &) const = default;

private:
  std::int64_t low_ = 0;
  std::int64_t high_ = unbounded;
};

// Base of every model object: a reference count, a name and a description.
// Objects start with no reference; the last delRef destroys the object, so a
// model object lives exactly as long as a counted handle holds it.
class VexObjectImpl {
public:
  VexObjectImpl() = default;
  VexObjectImpl(const VexObjectImpl &) = delete;
  VexObjectImpl &operator=(const VexObjectImpl &) = delete;
  // Adds one reference.
  void addRef() { ++refs_; }
  // Drops one reference and destroys the object when it was the last.
  void delRef();
  // Number of references held.
  long refCount() const { return refs_; }
  const VexString &name() const { return name_; }
  const VexString &description() const { return description_; }
  // Texts are taken by value: the converter makes a fresh one for each.
  void setDescription(VexString text) { description_ = std::move(text); }
  // The same made of `text` and `ending` in room of their exact size, made
  // in place: a member's description is kept until its record is written,
  // and a text made beside it and moved in was read back, just written, 16
  // bytes at a time, which the processor cannot forward from the stores.
  void setDescription(std::string_view text, std::string_view ending) {
    description_.clear();
    description_.reserve(text.size() + ending.size());
    description_.append(text);
    description_.append(ending);
  }

protected:
  virtual ~VexObjectImpl() = default;
  void setName(VexString text) { name_ = std::move(text); }

private:
  long refs_ = 0;
  VexString name_;
  VexString description_;
};

// A counted handle: holds one reference to a model object while it points to it.
template <typename T> class VexCountRef {
public:
  VexCountRef() = default;
  // Takes a reference to `object` (may be null).
  VexCountRef(T *object) : object_(object) { acquire(); }
  VexCountRef(const VexCountRef &other) : object_(other.object_) { acquire(); }
  VexCountRef(VexCountRef &&other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  // From a handle of a derived type.
  template <typename U>
  requires std::is_convertible_v<U *, T *> VexCountRef(const VexCountRef<U> &other)
      : object_(other.getPeer()) {
    acquire();
  }
  VexCountRef &operator=(VexCountRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~VexCountRef() { release(); }
  // A new object of type T with one reference, held by the returned handle.
  template <typename... Args> static VexCountRef create(Args &&...args) {
    return VexCountRef(new T(std::forward<Args>(args)...));
  }
  // The object, or null.
  T *getPeer() const { return object_; }
  T *operator->() const { return object_; }
  T &operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

private:
  void acquire() {
    if (object_)
      object_->addRef();
  }
  void release() {
    if (object_)
      std::exchange(object_, nullptr)->delRef();
  }
  T *object_ = nullptr;
};

// The identifier of a name in the registry `Domain`; 0 is no identifier.
template <typename Domain> class VexDomainId {
public:
  VexDomainId() = default;
  explicit VexDomainId(std::uint32_t value) : value_(value) {}
  std::uint32_t value() const { return value_; }
  bool isValid() const { return value_ != 0; }
  bool operator==(const VexDomainId &) const = default;

private:
  std::uint32_t value_ = 0;
};

// A counted handle to a model object of a registry's domain.
template <typename T, typename Id> class VexAccessor : public VexCountRef<T> {
public:
  using VexCountRef<T>::VexCountRef;
  VexAccessor() = default;
  VexAccessor(const VexCountRef<T> &other) : VexCountRef<T>(other) {}
  // From an accessor of a derived type.
  template <typename U>
  requires std::is_convertible_v<U *, T *> VexAccessor(const VexAccessor<U, Id> &other)
      : VexCountRef<T>(other.getPeer()) {}
  template <typename... Args> static VexAccessor create(Args &&...args) {
    return VexAccessor(VexCountRef<T>::create(std::forward<Args>(args)...));
  }
};

// Gives names identifiers, 1, 2, ... in order of request, and each
// identifier its name back. A name given twice gets two identifiers: the
// converter names each stand-alone definition once and uses an identifier
// only to write the name again, so looking for an earlier request of the
// same name served nothing, and took a hash of every name and, in a copybook
// of a million entries, a cache miss each in a table of megabytes.
// The texts lie end to end in blocks: 16 bytes beside each name's bytes,
// where a string object and a hash-map node took some 100.
template <typename Domain> class VexNameDomain {
public:
  VexNameDomain() = default;
  // The identifiers' texts point into the blocks, which must not be copied
  // from under them.
  VexNameDomain(const VexNameDomain &) = delete;
  VexNameDomain &operator=(const VexNameDomain &) = delete;
  // A new identifier for `name`.
  VexDomainId<Domain> add(std::string_view name) {
    texts_.push_back(keep(name));
    return VexDomainId<Domain>(static_cast<std::uint32_t>(texts_.size()));
  }
  // The name of `id`; empty for an identifier this registry did not make.
  VexString getName(VexDomainId<Domain> id) const { return VexString(nameOf(id)); }
  // The same without a copy; valid as long as the registry.
  std::string_view nameOf(VexDomainId<Domain> id) const {
    return id.isValid() && id.value() <= texts_.size() ? texts_[id.value() - 1]
                                                       : std::string_view();
  }

private:
  static constexpr std::size_t blockSize = 65536; // bytes
  // A copy of `name` in the blocks: in the newest block when it fits, else
  // in a new one (a name longer than a block gets a block of its own size).
  std::string_view keep(std::string_view name) {
    if (blocks_.empty() || blockUsed_ + name.size() > blockSize) {
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(std::max(blockSize, name.size())));
      blockUsed_ = 0;
    }
    char *at = blocks_.back().get() + blockUsed_;
    std::copy(name.begin(), name.end(), at);
    blockUsed_ += name.size();
    return {at, name.size()};
  }
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t blockUsed_ = 0;
  std::vector<std::string_view> texts_; // by identifier - 1
};

class VexDataDefImpl;
class VexXmlStreamWriter;

// The registry of data-definition names of one conversion. A definition
// registered under a name carries that name and can be referred to by its
// identifier; the writer turns such a reference back into the name.
class VexDataDefDomain : public VexNameDomain<VexDataDefDomain> {
public:
  VexDataDefDomain() = default;
  VexDataDefDomain(const VexDataDefDomain &) = delete;
  VexDataDefDomain &operator=(const VexDataDefDomain &) = delete;
  // Gives `def` the identifier `id` and the name it stands for. Throws
  // VexError for an identifier this registry did not make.
  void registerDef(VexDomainId<VexDataDefDomain> id, VexDataDefImpl &def);
  // The same with the name `id` stands for handed over, `name` (equal to
  // it), instead of a copy made of the registry's: a stand-alone
  // definition's name is made for it and then needed nowhere else.
  void registerDef(VexDomainId<VexDataDefDomain> id, VexDataDefImpl &def, VexString name);
};

using VexDataDefId = VexDomainId<VexDataDefDomain>;

// What an object's class is, for rttiCast: a class covers the kinds of its
// concrete subclasses.
enum class VexDefKind { group, string, binary, number };
struct VexRttiClassInfo {
  bool covers[4];
  bool matches(VexDefKind kind) const { return covers[static_cast<int>(kind)]; }
};

// A data definition: a group or a primitive definition.
class VexDataDefImpl : public VexObjectImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  virtual VexDefKind kind() const = 0;
  // False for group definitions, true for every other kind.
  bool isNonGroupDef() const;
  // True for string, binary and number definitions.
  bool isPrimitiveDef() const;
  // The primitive kind: 1 string, 2 number, 3 binary; 0 for a group.
  int primitiveKind() const;
  // The registry identifier given by VexDataDefDomain::registerDef, else none.
  VexDataDefId id() const { return id_; }

private:
  friend class VexDataDefDomain;
  VexDataDefId id_;
};

// The object `def` as a T when its class is T or derives from it, else null.
template <typename T> T *rttiCast(VexDataDefImpl *def) {
  return def && T::rttiClassInfo().matches(def->kind()) ? static_cast<T *>(def) : nullptr;
}
template <typename T> const T *rttiCast(const VexDataDefImpl *def) {
  return def && T::rttiClassInfo().matches(def->kind()) ? static_cast<const T *>(def) : nullptr;
}

// The counted handle through which the converter holds definitions.
using VexDataDef = VexAccessor<VexDataDefImpl, VexDataDefId>;
// The same for a definition of a known kind; converts to VexDataDef.
template <typename T> using VexDefAccessor = VexAccessor<T, VexDataDefId>;

// A reference to a registered definition by its identifier.
class VexRef {
public:
  VexRef() = default;
  explicit VexRef(VexDataDefId id) : id_(id) {}
  VexDataDefId id() const { return id_; }

private:
  VexDataDefId id_;
};

// A list of permitted values of a primitive definition, in order.
class VexRestriction {
public:
  // Appends `value`.
  void addValue(const VexString &value) { values_.push_back(value); }
  const std::vector<VexString> &values() const { return values_; }
  bool empty() const { return values_.empty(); }

private:
  std::vector<VexString> values_;
};

// A syntax object: a short text of the definition's syntax, such as the
// character a value is padded with.
class VexSyntax {
public:
  explicit VexSyntax(VexString text) : text_(std::move(text)) {}
  const VexString &text() const { return text_; }

private:
  VexString text_;
};

// A string, binary or number definition.
class VexPrimitiveDefImpl : public VexDataDefImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  // Width in character positions (strings, numbers) or bytes (binary);
  // VexError for a negative bound or a lower bound above the upper one.
  void setWidth(const VexRange &width);
  // The default value as the model text the converter made of it. A byte
  // image (a number in its packed or zoned storage form) is written byte by
  // byte in hex, since its printable bytes are no text either.
  void setDefaultValue(const VexString &value, bool byteImage = false) {
    default_ = value;
    defaultIsImage_ = byteImage;
  }
  bool defaultIsImage() const { return defaultIsImage_; }
  // Replaces the restriction list.
  void setRestriction(const VexRestriction &restriction) { restriction_ = restriction; }
  const VexHolder<VexRange> &width() const { return width_; }
  const VexHolder<VexString> &defaultValue() const { return default_; }
  const VexRestriction &restriction() const { return restriction_; }

private:
  VexHolder<VexRange> width_;
  VexHolder<VexString> default_;
  bool defaultIsImage_ = false;
  VexRestriction restriction_;
};

// Layout of a value shown as text: justification and pad character.
class VexTextDefImpl : public VexPrimitiveDefImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  // 0 not justified, 2 right-justified; VexError for any other value.
  void setJustification(int justification);
  void setPadCharacter(const VexSyntax &pad) { pad_ = pad.text(); }
  const VexTypeHolder<int> &justification() const { return justification_; }
  const VexHolder<VexString> &padCharacter() const { return pad_; }

private:
  VexTypeHolder<int> justification_;
  VexHolder<VexString> pad_;
};

class VexStringDefImpl : public VexTextDefImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  VexDefKind kind() const override { return VexDefKind::string; }
};

class VexBinaryDefImpl : public VexPrimitiveDefImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  VexDefKind kind() const override { return VexDefKind::binary; }
};

// Scope of the number definition's enumerations.
struct VexNumberDefScope {
  // Binary form of a number; the values are those of the model's contract.
  enum class BinaryPresentation : int {
    uint16 = 2,
    int16 = 3,
    uint32 = 4,
    int32 = 5,
    uint64 = 6,
    int64 = 7,
    float32 = 8,
    float64 = 9,
    packedDecimal = 10,
  };
};

class VexNumberDefImpl : public VexTextDefImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  VexDefKind kind() const override { return VexDefKind::number; }
  // Number of decimal digits; VexError when negative.
  void setNumberOfDigits(int digits);
  // Digits after the implied or explicit decimal point; VexError when negative.
  void setPointLocation(int location);
  // 1 leading, 2 trailing, 3 leading separate, 4 trailing separate; VexError otherwise.
  void setSignPosition(int position);
  // 0 digits, 1 implied decimal, 2 explicit decimal, 3 external float,
  // 4 zoned decimal; VexError otherwise.
  void setTextPresentation(int presentation);
  // VexError for a value outside the enumeration.
  void setBinaryPresentation(VexNumberDefScope::BinaryPresentation presentation);
  // The display pattern, positive and negative part separated by ";".
  void setTextPattern(const VexString &pattern) { pattern_ = pattern; }
  void setDecimalPoint(char point) { decimalPoint_ = point; }
  void setGroupSeparator(char separator) { groupSeparator_ = separator; }
  // 1 blank when zero, 0 not; VexError otherwise.
  void setBlankWhenZero(int blank);

  const VexHolder<int> &numberOfDigits() const { return digits_; }
  const VexHolder<int> &pointLocation() const { return pointLocation_; }
  const VexTypeHolder<int> &signPosition() const { return signPosition_; }
  const VexTypeHolder<int> &textPresentation() const { return textPresentation_; }
  const VexTypeHolder<VexNumberDefScope::BinaryPresentation> &binaryPresentation() const {
    return binaryPresentation_;
  }
  const VexHolder<VexString> &textPattern() const { return pattern_; }
  const VexHolder<char> &decimalPoint() const { return decimalPoint_; }
  const VexHolder<char> &groupSeparator() const { return groupSeparator_; }
  const VexHolder<int> &blankWhenZero() const { return blankWhenZero_; }

private:
  VexHolder<int> digits_;
  VexHolder<int> pointLocation_;
  VexTypeHolder<int> signPosition_;
  VexTypeHolder<int> textPresentation_;
  VexTypeHolder<VexNumberDefScope::BinaryPresentation> binaryPresentation_;
  VexHolder<VexString> pattern_;
  VexHolder<char> decimalPoint_;
  VexHolder<char> groupSeparator_;
  VexHolder<int> blankWhenZero_;
};

// A reference to a member item of the same group by its name.
class VexGroupItemRef {
public:
  explicit VexGroupItemRef(VexString name) : name_(std::move(name)) {}
  const VexString &name() const { return name_; }

private:
  VexString name_;
};

// A member item of a group: a name, an optional cardinality with an optional
// count item, and the member's definition, held directly or by identifier.
class VexGroupItemImpl : public VexObjectImpl {
public:
  void setName(VexString name) { VexObjectImpl::setName(std::move(name)); }
  // The item occurs a number of times in `range`; VexError for a negative
  // bound or a lower bound above the upper one.
  void setCardinality(const VexRange &range);
  // As above; the actual count is held by the earlier item `countItem`.
  void setCardinality(const VexRange &range, const VexGroupItemRef &countItem);
  // The member's definition, held by this item.
  void setDefinition(const VexDataDef &def);
  // The member's definition is the registered definition `ref` refers to;
  // VexError for a reference without identifier.
  void setDefinition(const VexRef &ref);

  const VexHolder<VexRange> &cardinality() const { return cardinality_; }
  // The count item's name; empty without one.
  const VexString &countItem() const { return countItem_; }
  // The definition held directly, or null.
  const VexDataDef &definition() const { return def_; }
  // The identifier of the referred definition, or none.
  VexDataDefId definitionRef() const { return ref_; }

private:
  VexHolder<VexRange> cardinality_;
  VexString countItem_;
  VexDataDef def_;
  VexDataDefId ref_;
};

// The counted handle a group's items are added through.
using VexGroupItem = VexCountRef<VexGroupItemImpl>;

class VexGroupDefImpl : public VexDataDefImpl {
public:
  static const VexRttiClassInfo &rttiClassInfo();
  VexDefKind kind() const override { return VexDefKind::group; }
  // The group's type (1: a record structure).
  void setType(int type) { type_ = type; }
  // Appends `item`, which has its name already; VexError for a null handle.
  void addItem(const VexGroupItem &item);
  // Makes room for `count` items in all, so that adding up to so many
  // grows nothing (a group of a handful of members grew its list and its
  // index four times).
  void reserveItems(std::size_t count);
  // Index of the first item named `name`, or -1; the same cost in a group of
  // any size.
  int findItemIndex(std::string_view name) const;
  const VexTypeHolder<int> &type() const { return type_; }
  const std::vector<VexGroupItem> &items() const { return items_; }

private:
  VexTypeHolder<int> type_;
  std::vector<VexGroupItem> items_;
  // The first item of each name, as its index + 1 (0: an empty slot), in an
  // open-addressed table at most half full that hashes the items' own names:
  // a record of 200 000 members took a copy of each name in a hash-map node
  // (13% of its conversion). The upper half of a slot holds 32 bits of the
  // name's hash, which place it and tell most other names from it without
  // reading their items; a doubling table moves its slots without reading
  // any name (reading them took a tenth of that record's conversion).
  // Made on the first lookup and kept up from then on: only a DEPENDING ON
  // looks an item up, and hashing every member's name for a table that is
  // never read took 3% of the converting thread on the mixed million.
  mutable std::vector<std::uint64_t> firstIndex_;
  mutable std::size_t named_ = 0;
  mutable bool indexed_ = false;
  std::size_t slotOf(std::string_view name, std::uint64_t tag) const;
  void resizeIndex(std::size_t slots) const;
  // Enters the item at `position` (1-based) into the index.
  void indexItem(std::size_t position) const;
};

// A rendered definition: named text attributes.
class VexStanza {
public:
  // The attribute's value; empty when absent.
  VexString getAttrValue(const char *name) const;
  void setAttrValue(const char *name, const VexString &value) { attrs_[name] = value; }

private:
  std::map<std::string, VexString> attrs_;
};

// Renders definitions for the output document.
class VexMfRdfWriter {
public:
  // The stanza of `def`: "definition" holds the definition's element as XML
  // markup, with every property that is set and its members; "description"
  // holds the description, which the markup leaves to the caller. A member
  // that refers to a registered definition is written with the name
  // `definitions` has for it.
  static VexStanza fillStanza(const VexDataDefImpl &def, const VexDataDefDomain &definitions);
  // Writes the element of the stand-alone definition `def` to `writer`: the
  // stanza's markup with the name attribute always there (empty for a
  // definition without name) and the description as the last child. When a
  // name or a member's text holds a character XML cannot carry (U+FFFE,
  // U+FFFF), raises VexError "XML parse error at line L, column C: invalid
  // character reference" placed in the stanza's markup, as documents have
  // always reported it. When only the description holds one, returns false.
  // Writes nothing unless it returns true; a null writer only checks.
  static bool writeDefinition(const VexDataDefImpl &def, const VexDataDefDomain &definitions,
                              VexXmlStreamWriter *writer);
};

// A name or description as UTF-8 for the document: the model text's bytes
// are read as UTF-8 where they form it and as single Latin-1 characters where
// they do not; control characters that XML cannot carry become "\hXX".
std::string vexDocumentText(const VexString &text);

// Vocabulary of the output document.
const char *vexRootElementName();    // the root element
const char *vexRdfNamespace();       // the RDF syntax namespace bound to prefix "rdf"
const char *vexDomainNamespace();    // a namespace element
const char *vexDomainMsgFmt();       // the element that holds the definitions
const char *vexAttrName();           // the name attribute
const char *vexElementDescription(); // the description element

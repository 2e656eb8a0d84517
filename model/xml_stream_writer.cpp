// Pretty-printed XML written straight to a buffer: tags, escapes, line and indentation rules.
#include "model/xml_stream_writer.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool isAllWhiteSpace(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

// The escape of `c` in an attribute value, or null when it is written as is.
constexpr const char *attributeEscape(char c) {
  switch (c) {
  case '&':
    return "&amp;";
  case '<':
    return "&lt;";
  case '"':
    return "&quot;";
  // Attribute value normalisation would turn these into blanks on reading.
  case '\n':
    return "&#xA;";
  case '\r':
    return "&#xD;";
  case '\t':
    return "&#x9;";
  default:
    return nullptr;
  }
}

// The escape of `c` in text content, or null when it is written as is.
constexpr const char *textEscape(char c) {
  switch (c) {
  case '&':
    return "&amp;";
  case '<':
    return "&lt;";
  case '>':
    return "&gt;";
  // Line-end normalisation would drop it on reading.
  case '\r':
    return "&#xD;";
  default:
    return nullptr;
  }
}

// The number of characters at the front of `text` that `escape` leaves as
// they are. Sixteen at a time where the processor compares so many at once:
// a byte at a time, the escapes took 3% of a conversion, while most names,
// values and descriptions hold no character to escape at all.
template <const char *(*escape)(char), char... special> constexpr bool namesEveryEscape() {
  int escaped = 0;
  for (int c = -128; c < 128; ++c)
    escaped += escape(static_cast<char>(c)) != nullptr ? 1 : 0;
  return escaped == sizeof...(special) && ((escape(special) != nullptr) && ...);
}

#if defined(__SSE2__)
// The bits of the bytes of `chunk` that are one of `special`.
template <char... special> unsigned specialBits(__m128i chunk) {
  const __m128i hits = (_mm_cmpeq_epi8(chunk, _mm_set1_epi8(special)) | ...);
  return static_cast<unsigned>(_mm_movemask_epi8(hits));
}
#endif

template <const char *(*escape)(char), char... special>
std::size_t plainPrefix(std::string_view text) {
  static_assert(namesEveryEscape<escape, special...>(), "the characters escape replaces");
  static_assert(((special != '\0') && ...), "a NUL pads the short chunks");
  std::size_t at = 0;
#if defined(__SSE2__)
  const std::size_t size = text.size();
  const char *data = text.data();
  for (; at + 16 <= size; at += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + at));
    if (const unsigned mask = specialBits<special...>(chunk); mask != 0)
      return at + static_cast<std::size_t>(__builtin_ctz(mask));
  }
  // The rest, fewer than sixteen bytes, in one chunk too: byte by byte, the
  // names and values of 4 to 15 bytes took 3% of a conversion. A long text
  // ends with the last sixteen bytes (those already looked at masked off);
  // a short one is copied into a chunk of NULs, which no escape names.
  if (const std::size_t rest = size - at; rest >= 4) {
    if (size >= 16) {
      const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + size - 16));
      const unsigned mask = specialBits<special...>(chunk) & (~0U << (16 - rest));
      return mask != 0 ? size - 16 + static_cast<std::size_t>(__builtin_ctz(mask)) : size;
    }
    alignas(16) char padded[16] = {};
    if (rest >= 8) {
      std::memcpy(padded, data, 8);
      std::memcpy(padded + rest - 8, data + rest - 8, 8);
    } else {
      std::memcpy(padded, data, 4);
      std::memcpy(padded + rest - 4, data + rest - 4, 4);
    }
    const unsigned mask =
        specialBits<special...>(_mm_load_si128(reinterpret_cast<const __m128i *>(padded)));
    return mask != 0 ? static_cast<std::size_t>(__builtin_ctz(mask)) : size;
  }
#endif
  while (at < text.size() && escape(text[at]) == nullptr)
    ++at;
  return at;
}

// Appends `text` with each character that `escape` names replaced, the runs
// between them in one piece each; `special` are those characters.
template <const char *(*escape)(char), char... special>
void appendEscaped(std::string &out, std::string_view text) {
  for (;;) {
    const std::size_t run = plainPrefix<escape, special...>(text);
    out.append(text.data(), run);
    if (run == text.size())
      return;
    out += escape(text[run]);
    text.remove_prefix(run + 1);
  }
}

// Copies `size` bytes to `to` with a few loads and stores when they are at
// most 16, as tag names, attribute names and most values are: a call of
// memcpy for each (some 180 000 for 20 000 entries) cost more than the copy.
// Both ends as one word each, overlapping in the middle: `size` is between
// one and two words.
template <class Word> void copyEnds(char *to, const char *from, std::size_t size) {
  Word head, tail;
  std::memcpy(&head, from, sizeof(Word));
  std::memcpy(&tail, from + size - sizeof(Word), sizeof(Word));
  std::memcpy(to, &head, sizeof(Word));
  std::memcpy(to + size - sizeof(Word), &tail, sizeof(Word));
}

inline void copyShort(char *to, const char *from, std::size_t size) {
  if (size > 16) {
    std::memcpy(to, from, size);
  } else if (size >= 8) {
    copyEnds<std::uint64_t>(to, from, size);
  } else if (size >= 4) {
    copyEnds<std::uint32_t>(to, from, size);
  } else {
    for (std::size_t at = 0; at < size; ++at)
      to[at] = from[at];
  }
}

// Writes `count` blanks at `to`, the indentation of a tag: a few levels deep
// at most, mostly.
inline void putBlanks(char *to, std::size_t count) {
  static constexpr char blanks[] = "                ";
  for (; count > 16; count -= 16, to += 16)
    std::memcpy(to, blanks, 16);
  copyShort(to, blanks, count);
}

// Attributes an element can have for their order to be sorted on the stack;
// an element with more (none of the converter's) sorts pointers on the heap.
constexpr std::size_t sortedInPlace = 16;

} // namespace

void VexXmlStreamWriter::declaration() {
  out_ += "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>";
}

void VexXmlStreamWriter::newLine() {
  ++line_;
  out_ += '\n';
}

std::size_t VexXmlStreamWriter::indentation(std::size_t level) {
  if (textTrailingBlanks_ != 0) {
    const std::size_t written = textTrailingBlanks_ / 2;
    textTrailingBlanks_ = 0;
    level = written < level ? level - written : 0;
  }
  return 2 * level;
}

void VexXmlStreamWriter::closeStartTag() {
  if (!open_.empty() && !open_.back().hasContent) {
    open_.back().hasContent = true;
    out_ += '>';
  }
}

void VexXmlStreamWriter::startElement(std::string_view name, Attributes attributes) {
  std::array<Attribute, sortedInPlace> onStack;
  std::vector<Attribute> onHeap;
  Attribute *views = onStack.data();
  if (attributes.size() > sortedInPlace) {
    onHeap.resize(attributes.size());
    views = onHeap.data();
  }
  for (std::size_t at = 0; at < attributes.size(); ++at)
    views[at] = {attributes[at].first, attributes[at].second};
  startElement(name, views, attributes.size());
}

namespace {

// Room for pointers to an element's attributes in the order they are
// written: on the stack for the handful most elements have.
struct AttributeOrder {
  using Attribute = VexXmlStreamWriter::Attribute;
  explicit AttributeOrder(std::size_t count) {
    if (count > onStack.size()) {
      onHeap.resize(count);
      order = onHeap.data();
    }
  }
  std::array<const Attribute *, sortedInPlace> onStack;
  std::vector<const Attribute *> onHeap;
  const Attribute **order = onStack.data();
};

} // namespace

void VexXmlStreamWriter::startElement(std::string_view name, const Attribute *attributes,
                                      std::size_t count) {
  // A stable insertion sort of pointers to the attributes: an element has a
  // handful of them, and std::stable_sort would ask the heap for a buffer on
  // every element.
  AttributeOrder room(count);
  const Attribute **order = room.order;
  const auto byName = [](const Attribute *a, const Attribute *b) { return a->name < b->name; };
  for (std::size_t next = 0; next < count; ++next) {
    order[next] = &attributes[next];
    std::rotate(std::upper_bound(order, order + next, order[next], byName), order + next,
                order + next + 1);
  }
  startTag(name, order, count);
}

void VexXmlStreamWriter::startElementInOrder(std::string_view name, const Attribute *attributes,
                                             std::size_t count) {
  AttributeOrder room(count);
  const Attribute **order = room.order;
  for (std::size_t at = 0; at < count; ++at)
    order[at] = &attributes[at];
  startTag(name, order, count);
}

void VexXmlStreamWriter::startTag(std::string_view name, const Attribute *const *order,
                                  std::size_t count) {
  closeStartTag();
  const bool breakLine = !textEndedLine_;
  if (breakLine)
    ++line_;
  textEndedLine_ = false;
  const std::size_t blanks = indentation(open_.size());
  std::size_t size = (breakLine ? 1 : 0) + blanks + 1 + name.size();
  bool plain = true;
  for (std::size_t at = 0; at < count; ++at) {
    const std::string_view value = order[at]->value;
    size += order[at]->name.size() + value.size() + 4;
    plain = plain && (order[at]->verbatim ||
                      plainPrefix<attributeEscape, '&', '<', '"', '\n', '\r', '\t'>(value) ==
                          value.size());
  }
  // Most tags hold nothing to escape: their size is known, and the line
  // break, indentation, name and attributes are copied into it in place (a
  // piece at a time, each append checking the room, the tags took half of
  // the writer's instructions).
  if (plain) {
    const std::size_t start = out_.size();
    out_.resize(start + size);
    char *at = out_.data() + start;
    const auto put = [&at](std::string_view text) {
      copyShort(at, text.data(), text.size());
      at += text.size();
    };
    if (breakLine)
      *at++ = '\n';
    putBlanks(at, blanks);
    at += blanks;
    *at++ = '<';
    put(name);
    for (std::size_t i = 0; i < count; ++i) {
      *at++ = ' ';
      put(order[i]->name);
      *at++ = '=';
      *at++ = '"';
      put(order[i]->value);
      *at++ = '"';
    }
  } else {
    if (breakLine)
      out_ += '\n';
    out_.append(blanks, ' ');
    out_ += '<';
    out_ += name;
    for (std::size_t i = 0; i < count; ++i) {
      out_ += ' ';
      out_ += order[i]->name;
      out_ += "=\"";
      appendEscaped<attributeEscape, '&', '<', '"', '\n', '\r', '\t'>(out_, order[i]->value);
      out_ += '"';
    }
  }
  open_.push_back(OpenElement{name, line_, false});
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
  appendEscaped<textEscape, '&', '<', '>', '\r'>(out_, content);
}

void VexXmlStreamWriter::endElement() {
  closeElement();
  if (drain_ && out_.size() >= drainSize_)
    drain_();
}

void VexXmlStreamWriter::closeElement() {
  // Field by field: copied whole, the element was read 16 bytes at a time
  // across the flag that closeStartTag had just stored as a byte, a load
  // the processor cannot forward from that store.
  const OpenElement &top = open_.back();
  const OpenElement element{top.name, top.line, top.hasContent};
  open_.pop_back();
  if (!element.hasContent) {
    out_.append("/>", 2);
    return;
  }
  // The end tag, with its line break and indentation when the content went
  // onto lines of its own, copied into its room in one go.
  bool breakLine = false;
  std::size_t blanks = 0;
  if (element.line != line_) {
    breakLine = !textEndedLine_;
    if (breakLine)
      ++line_;
    textEndedLine_ = false;
    blanks = indentation(open_.size());
  }
  const std::size_t start = out_.size();
  out_.resize(start + (breakLine ? 1 : 0) + blanks + element.name.size() + 3);
  char *at = out_.data() + start;
  if (breakLine)
    *at++ = '\n';
  putBlanks(at, blanks);
  at += blanks;
  *at++ = '<';
  *at++ = '/';
  copyShort(at, element.name.data(), element.name.size());
  at[element.name.size()] = '>';
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

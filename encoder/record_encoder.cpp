// The walk over the plan for one record: values matched to fields by key, written at their
// offsets, OCCURS DEPENDING ON counts set, REDEFINES alternatives chosen, _raw bytes kept.
#include "encoder/record_encoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "decoder/field_values.h"
#include "encoder/field_encoding.h"
#include "support/base64.h"

namespace {

bool isNumeric(EncodeKind kind) {
  return kind != EncodeKind::group && kind != EncodeKind::text && kind != EncodeKind::national &&
         kind != EncodeKind::dbcs;
}

// Two number texts of the same value ("1.50" and "1.5", "-0" and "0").
bool sameNumber(std::string_view a, std::string_view b) {
  NumberText x;
  NumberText y;
  if (!parseNumber(a, x) || !parseNumber(b, y))
    return false;
  const auto canonical = [](const NumberText &n, std::string &digits) {
    digits.assign(n.integer);
    digits.append(n.fraction);
    std::int64_t exponent = n.exponent - static_cast<std::int64_t>(n.fraction.size());
    digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size()));
    while (!digits.empty() && digits.back() == '0') {
      digits.pop_back();
      ++exponent;
    }
    return digits.empty() ? 0 : exponent;
  };
  std::string dx;
  std::string dy;
  const std::int64_t ex = canonical(x, dx);
  const std::int64_t ey = canonical(y, dy);
  return dx == dy && ex == ey && (dx.empty() || x.negative == y.negative);
}

std::string codePointText(char32_t c) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

// "12.5" as the message shows a value: at most 40 characters of it.
std::string shown(std::string_view text) {
  if (text.size() <= 40)
    return std::string(text);
  return std::string(text.substr(0, 37)) + "...";
}

} // namespace

RecordEncoder::RecordEncoder(const EncodePlan &plan, const EncodeOptions &options,
                             const TextBytes &text, const CodePage &page, std::int64_t fixedLength)
    : plan_(plan), options_(options), text_(text), page_(page), fixedLength_(fixedLength),
      recordValues_(plan.records.size()), ruleMatched_(plan.rules.size()),
      counterState_(plan.fields.size()), counterValue_(plan.fields.size()),
      counterAt_(plan.fields.size()) {
  if (!options.dbcs.empty()) {
    dbcsOut_ = DbcsBytes::open(options.dbcs);
    dbcsIn_ = DbcsPage::open(options.dbcs);
  }
  // Rules and REDEFINES choose among values, a counter in a FILLER is set
  // from its table: those records take the general reading.
  fast_ = plan.rules.empty();
  for (const EncodeField &field : plan.fields) {
    quotedKeys_.push_back("\"" + field.key + "\":");
    if ((!field.hidden && field.redefining) || (field.hidden && field.isCounter) ||
        field.digits > 38 || field.scale > 1000 || field.scale < -1000)
      fast_ = false;
    Compact &c = compact_.emplace_back();
    c.kind = field.kind;
    c.sign = field.sign;
    c.isArray = field.isArray;
    c.isCounter = field.isCounter;
    c.hidden = field.hidden;
    c.isSigned = field.isSigned;
    c.plainText = field.kind == EncodeKind::text && !field.justified;
    c.checkDigits = field.checkDigits;
    c.counter = field.counter;
    c.digits = static_cast<std::int32_t>(std::min<std::int64_t>(field.digits, 38));
    c.scale = static_cast<std::int32_t>(std::clamp<std::int64_t>(field.scale, -1000, 1000));
    c.firstChild = static_cast<std::uint32_t>(children_.size());
    c.childCount = static_cast<std::uint32_t>(field.children.size());
    children_.insert(children_.end(), field.children.begin(), field.children.end());
    c.offset = field.offset;
    c.length = field.length;
    c.slack = field.slack;
    c.minCount = field.minCount;
    c.maxCount = field.maxCount;
    counters_ = counters_ || field.isCounter;
    commaKeys_.push_back("," + quotedKeys_.back());
  }
}

void RecordEncoder::problem(std::string what) {
  if (probing_) {
    probeFailed_ = true;
    return;
  }
  if (pass_ == Pass::compare) {
    differs_ = true;
    return;
  }
  problems_->push_back(EncodeProblem{pathText(), std::move(what)});
}

std::string RecordEncoder::pathText() const {
  std::string path;
  for (const auto &[index, occurrence] : pathStack_) {
    if (!path.empty())
      path += '.';
    path += plan_.fields[static_cast<std::size_t>(index)].key;
    if (occurrence >= 0)
      path += "[" + std::to_string(occurrence + 1) + "]";
  }
  return path;
}

const char *RecordEncoder::typeName(std::uint32_t value) const {
  switch ((*tape_)[value].type) {
  case JsonType::object:
    return "an object";
  case JsonType::array:
    return "an array";
  case JsonType::string:
  case JsonType::key:
    return "a string";
  case JsonType::number:
    return "a number";
  case JsonType::boolean:
    return "true or false";
  case JsonType::null:
    return "null";
  }
  return "a value";
}

std::uint32_t RecordEncoder::memberValue(std::uint32_t object, const std::string &key) const {
  const JsonTape &tape = *tape_;
  if (tape[object].type != JsonType::object)
    return noToken;
  for (std::uint32_t t = object + 1; t < tape[object].next; t = tape[t].next)
    if (tape[t].text == key || modelKey(tape[t].text) == key)
      return t + 1;
  return noToken;
}

bool RecordEncoder::ruleMatches(const EncodeRule &rule, std::uint32_t recordValue) const {
  std::uint32_t value = recordValue;
  for (const int index : rule.chain) {
    value = memberValue(value, plan_.fields[static_cast<std::size_t>(index)].key);
    if (value == noToken)
      return false;
  }
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(rule.field)];
  const JsonToken &token = (*tape_)[value];
  if (field.kind == EncodeKind::text) {
    std::string_view text = token.text;
    while (!text.empty() && text.back() == ' ')
      text.remove_suffix(1);
    return token.type == JsonType::string && text == rule.value;
  }
  if (field.kind != EncodeKind::zoned && field.kind != EncodeKind::packed &&
      field.kind != EncodeKind::unsignedPacked && field.kind != EncodeKind::binary)
    return false;
  // Numbers compare by their stored digits, without the picture's point,
  // as the decoder compares them.
  NumberText number;
  NumberText wanted;
  std::string ruleDigits = rule.value;
  ruleDigits.erase(std::remove(ruleDigits.begin(), ruleDigits.end(), '.'), ruleDigits.end());
  char a[38];
  char b[38];
  return token.type == JsonType::number && parseNumber(token.text, number) &&
         parseNumber(ruleDigits, wanted) && scaledDigits(number, field.scale, 38, a) == Fit::ok &&
         scaledDigits(wanted, 0, 38, b) == Fit::ok && std::memcmp(a, b, 38) == 0 &&
         (number.negative == wanted.negative || isZero(number));
}

std::optional<std::string_view> RecordEncoder::encode(const JsonTape &tape,
                                                      std::vector<EncodeProblem> &problems) {
  tape_ = &tape;
  problems_ = &problems;
  pathStack_.clear();
  pass_ = Pass::write;
  if (tape.size() == 0 || tape[0].type != JsonType::object) {
    problem("a line holds one JSON object, not " + std::string(typeName(0)));
    return std::nullopt;
  }
  std::fill(recordValues_.begin(), recordValues_.end(), noToken);
  std::uint32_t rawValue = noToken;
  rawFields_ = noToken;
  rootObject_ = noToken;
  const bool single = !options_.record.empty();
  bool members = false;
  for (std::uint32_t t = 1; t < tape[0].next; t = tape[t].next) {
    const std::string_view key = tape[t].text;
    if (key == "_raw") {
      rawValue = t + 1;
      continue;
    }
    if (key == "_raw_fields") {
      rawFields_ = t + 1;
      continue;
    }
    bool found = false;
    for (std::size_t r = 0; r < plan_.records.size() && !found; ++r)
      if (key == plan_.records[r].key || modelKey(key) == plan_.records[r].key) {
        if (recordValues_[r] != noToken) {
          problem("the record " + plan_.records[r].key + " is given twice");
          return std::nullopt;
        }
        recordValues_[r] = t + 1;
        found = true;
      }
    if (!found && single) {
      members = true;
    } else if (!found) {
      std::string names;
      for (const EncodeRecord &record : plan_.records)
        names += (names.empty() ? "" : ", ") + record.key;
      problem("\"" + shown(key) + "\" names no record of the copybook (" + names + ")");
      return std::nullopt;
    }
  }
  // -record: the object is the record's members, unless it is the record's
  // own object under its name (as the decoder writes it).
  if (single && (members || recordValues_[0] == noToken ||
                 tape[recordValues_[0]].type != JsonType::object)) {
    recordValues_[0] = 0;
    rootObject_ = 0;
  }
  hasRaw_ = false;
  raw_.clear();
  if (rawValue != noToken) {
    if (tape[rawValue].type != JsonType::string || !appendFromBase64(tape[rawValue].text, raw_)) {
      problem("_raw: not the base64 text of the record's bytes");
      return std::nullopt;
    }
    hasRaw_ = true;
  }
  if (rawFields_ != noToken && tape[rawFields_].type != JsonType::object) {
    problem("_raw_fields: an object of base64 texts is expected, not " +
            std::string(typeName(rawFields_)));
    return std::nullopt;
  }

  // Which record: a -when rule, the one record given, or the one whose
  // values differ from the _raw bytes.
  int chosen = -1;
  for (const EncodeRule &rule : plan_.rules)
    if (rule.record >= 0 && rule.fieldRecord >= 0 &&
        recordValues_[static_cast<std::size_t>(rule.fieldRecord)] != noToken &&
        ruleMatches(rule, recordValues_[static_cast<std::size_t>(rule.fieldRecord)])) {
      chosen = rule.record;
      if (recordValues_[static_cast<std::size_t>(chosen)] == noToken) {
        problem("-when chooses the record " + plan_.records[static_cast<std::size_t>(chosen)].key +
                ", which the object does not hold");
        return std::nullopt;
      }
      break;
    }
  if (chosen < 0) {
    std::vector<int> given;
    for (std::size_t r = 0; r < plan_.records.size(); ++r)
      if (recordValues_[r] != noToken && tape[recordValues_[r]].type != JsonType::null)
        given.push_back(static_cast<int>(r));
    if (given.size() > 1 && hasRaw_) {
      std::vector<int> changed;
      for (const int r : given) {
        fromRaw_ = true;
        if (changes(plan_.records[static_cast<std::size_t>(r)].root,
                    recordValues_[static_cast<std::size_t>(r)], 0))
          changed.push_back(r);
      }
      if (changed.empty())
        return rawRecord();
      given = changed;
    }
    if (given.size() == 1) {
      chosen = given.front();
    } else {
      std::string names;
      for (const int r : given)
        names += (names.empty() ? "" : " and ") + plan_.records[static_cast<std::size_t>(r)].key;
      if (given.empty() && hasRaw_)
        return rawRecord();
      problem(given.empty() ? "the object holds no record's values"
                            : "the object holds the records " + names +
                                  ": give one, or -when rules that choose");
      return std::nullopt;
    }
  }
  for (std::size_t r = 0; r < plan_.rules.size(); ++r) {
    const EncodeRule &rule = plan_.rules[r];
    ruleMatched_[r] = rule.alternative >= 0 && rule.fieldRecord == chosen &&
                      ruleMatches(rule, recordValues_[static_cast<std::size_t>(chosen)]);
  }
  const std::uint32_t value = recordValues_[static_cast<std::size_t>(chosen)];
  if (!walk(chosen, value, hasRaw_))
    return std::nullopt;
  if (hasRaw_ && !changed_)
    return rawRecord();
  return std::string_view(image_);
}

std::optional<std::string_view> RecordEncoder::rawRecord() {
  const auto size = static_cast<std::int64_t>(raw_.size());
  if (fixedLength_ > 0 && size > fixedLength_) {
    pathStack_.clear();
    problem("_raw: " + std::to_string(size) + " bytes, more than the fixed length " +
            std::to_string(fixedLength_) + " (-lrecl)");
    return std::nullopt;
  }
  // Unchanged, but shorter than the records written here: padded as they are.
  if (fixedLength_ > 0)
    raw_.resize(static_cast<std::size_t>(fixedLength_),
                options_.fill == FillMode::lowValues ? '\0' : text_.space());
  return std::string_view(raw_);
}

bool RecordEncoder::walk(int record, std::uint32_t value, bool fromRaw) {
  const EncodeRecord &target = plan_.records[static_cast<std::size_t>(record)];
  const std::size_t before = problems_->size();
  fromRaw_ = fromRaw;
  begin(static_cast<std::int64_t>(raw_.size()));
  if (fromRaw_)
    image_.replace(0, raw_.size(), raw_);
  const std::int64_t used = member(target.root, value, 0);
  for (std::size_t i = 0; i < counterState_.size(); ++i)
    if (counterState_[i] == Count::pending) {
      pathStack_.clear();
      for (int at = static_cast<int>(i); at >= 0; at = plan_.fields[static_cast<std::size_t>(at)].parent)
        pathStack_.insert(pathStack_.begin(), {at, -1});
      problem("no value, and no table gives its count");
    }
  if (problems_->size() != before)
    return false;
  if (fromRaw_ && changed_ && used != static_cast<std::int64_t>(raw_.size())) {
    // A table grew or shrank: the _raw bytes no longer lie under the same
    // fields, so every value is written anew.
    return walk(record, value, false);
  }
  return finish(target.root, used);
}

void RecordEncoder::begin(std::int64_t room) {
  changed_ = false;
  pass_ = Pass::write;
  std::fill(counterState_.begin(), counterState_.end(), Count::none);
  image_.assign(static_cast<std::size_t>(std::max({fixedLength_, plan_.longest, room})),
                options_.fill == FillMode::lowValues ? '\0' : text_.space());
  base_ = image_.data();
  pathStack_.clear();
}

bool RecordEncoder::finish(int root, std::int64_t used) {
  if (fixedLength_ > 0) {
    if (used > fixedLength_) {
      pathStack_ = {{root, -1}};
      problem("the record takes " + std::to_string(used) + " bytes, more than the fixed length " +
              std::to_string(fixedLength_) + " (-lrecl)");
      return false;
    }
    image_.resize(static_cast<std::size_t>(fixedLength_));
  } else {
    image_.resize(static_cast<std::size_t>(used));
  }
  return true;
}

std::optional<std::int64_t> RecordEncoder::encodeLine(std::string_view line, std::string &out,
                                                      std::size_t reserve) {
  if (!fast_)
    return std::nullopt;
  cursor_ = line.data();
  end_ = cursor_ + line.size();
  while (end_ != cursor_ && (end_[-1] == ' ' || end_[-1] == '\r' || end_[-1] == '\t'))
    --end_;
  if (!take('{'))
    return std::nullopt;
  int record = -1;
  for (std::size_t r = 0; r < plan_.records.size() && record < 0; ++r)
    if (takeKey(quotedKeys_[static_cast<std::size_t>(plan_.records[r].root)]))
      record = static_cast<int>(r);
  // -record: the members may stand at the top.
  const bool members = record < 0 && !options_.record.empty();
  if (members) {
    record = 0;
    --cursor_;
  }
  if (record < 0)
    return std::nullopt;
  const int root = plan_.records[static_cast<std::size_t>(record)].root;
  fromRaw_ = false;
  hasRaw_ = false;
  changed_ = false;
  pass_ = Pass::write;
  if (counters_)
    std::fill(counterState_.begin(), counterState_.end(), Count::none);
  // Written in place after what `out` holds: no copy of the record.
  const std::size_t start = out.size();
  const std::int64_t room = std::max(fixedLength_, plan_.longest);
  out.append(reserve, '\0');
  out.append(static_cast<std::size_t>(room),
             options_.fill == FillMode::lowValues ? '\0' : text_.space());
  base_ = out.data() + start + reserve;
  probing_ = true;
  probeFailed_ = false;
  std::int64_t used = 0;
  bool ok = fastOccurrence(root, 0, used) && (members || take('}')) && cursor_ == end_;
  ok = ok && !probeFailed_ && (fixedLength_ == 0 || used <= fixedLength_);
  probing_ = false;
  if (!ok) {
    out.resize(start);
    return std::nullopt;
  }
  const std::int64_t length = fixedLength_ > 0 ? fixedLength_ : used;
  out.resize(start + reserve + static_cast<std::size_t>(length));
  return length;
}

bool RecordEncoder::fastOccurrence(int index, std::int64_t at, std::int64_t &used) {
  const Compact &field = compact_[static_cast<std::size_t>(index)];
  if (field.slack > 0)
    std::memset(base_ + at - field.slack, 0, static_cast<std::size_t>(field.slack));
  if (field.kind == EncodeKind::group)
    return fastGroup(index, at, used);
  used = field.length;
  return fastLeaf(index, at);
}

bool RecordEncoder::fastGroup(int index, std::int64_t at, std::int64_t &used) {
  const Compact &field = compact_[static_cast<std::size_t>(index)];
  if (!take('{'))
    return false;
  std::int64_t shift = 0;
  bool first = true;
  for (std::uint32_t c = 0; c < field.childCount; ++c) {
    const int child = children_[field.firstChild + c];
    const Compact &member = compact_[static_cast<std::size_t>(child)];
    if (member.hidden) {
      if (member.isCounter)
        return false;
      continue;
    }
    if (!takeKey((first ? quotedKeys_ : commaKeys_)[static_cast<std::size_t>(child)]))
      return false;
    first = false;
    std::int64_t size = 0;
    const std::int64_t where = at + member.offset + shift;
    if (!(member.isArray ? fastArray(child, where, size) : fastOccurrence(child, where, size)))
      return false;
    shift += size - member.length * member.maxCount;
  }
  used = field.length + shift;
  return take('}');
}

bool RecordEncoder::fastArray(int index, std::int64_t at, std::int64_t &used) {
  const Compact &field = compact_[static_cast<std::size_t>(index)];
  if (!take('['))
    return false;
  std::int64_t count = 0;
  if (!take(']')) {
    while (true) {
      std::int64_t size = 0;
      if (count == field.maxCount || !fastOccurrence(index, at + count * field.length, size))
        return false;
      ++count;
      if (take(','))
        continue;
      if (!take(']'))
        return false;
      break;
    }
  }
  if (field.counter >= 0) {
    const auto counter = static_cast<std::size_t>(field.counter);
    if (count < field.minCount || counterState_[counter] != Count::given ||
        counterValue_[counter] != count)
      return false;
  }
  for (std::int64_t rest = count; rest < field.maxCount; ++rest)
    fill(index, at + rest * field.length, options_.fill);
  used = field.length * (field.counter >= 0 ? count : field.maxCount);
  return true;
}

bool RecordEncoder::fastLeaf(int index, std::int64_t at) {
  const Compact &field = compact_[static_cast<std::size_t>(index)];
  char *out = base_ + at;
  const char *start = cursor_;
  if (!isNumeric(field.kind)) {
    if (!take('"'))
      return false;
    if (field.plainText) {
      // Plain ASCII text translated as it is read: one pass. Anything else
      // (an escape, a character past ASCII, a text too long) from the start
      // by the general writer below.
      std::int64_t n = 0;
      const char *p = cursor_;
      while (p != end_ && n < field.length) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '"' || c < 0x20 || c == '\\' || c >= 0x80 || !text_.has(c))
          break;
        out[n++] = text_.byte(static_cast<char>(c));
        ++p;
      }
      if (p != end_ && *p == '"') {
        std::memset(out + n, text_.space(), static_cast<std::size_t>(field.length - n));
        cursor_ = p + 1;
        return true;
      }
    }
    const char *p = cursor_;
    while (p != end_ && *p != '"' && *p != '\\' && static_cast<unsigned char>(*p) >= 0x20)
      ++p;
    if (p != end_ && *p == '"') {
      cursor_ = p + 1;
      const std::string_view text(start + 1, static_cast<std::size_t>(p - start - 1));
      if (field.plainText)
        return text_.write(text, out, field.length, false, options_.truncate).fit == TextFit::ok;
      return writeText(plan_.fields[static_cast<std::size_t>(index)], text, out);
    }
    // Escapes: the text unescaped aside, the line being the caller's.
    scratch_.resize(static_cast<std::size_t>(end_ - cursor_));
    char *stop = nullptr;
    const char *why = nullptr;
    const char *after = unescapeJson(cursor_, end_, scratch_.data(), stop, why);
    if (after == nullptr)
      return false;
    cursor_ = after;
    return writeText(plan_.fields[static_cast<std::size_t>(index)],
                     std::string_view(scratch_.data(), static_cast<std::size_t>(stop - scratch_.data())),
                     out);
  }
  // The usual number, -123.45, taken apart in one pass; anything else
  // (an exponent, a stray character) by parseNumber.
  NumberText number;
  const char *p = cursor_;
  if (p != end_ && *p == '-') {
    number.negative = true;
    ++p;
  }
  const char *digits = p;
  while (p != end_ && static_cast<unsigned>(*p - '0') < 10)
    ++p;
  number.integer = std::string_view(digits, static_cast<std::size_t>(p - digits));
  if (p != end_ && *p == '.') {
    const char *fraction = ++p;
    while (p != end_ && static_cast<unsigned>(*p - '0') < 10)
      ++p;
    number.fraction = std::string_view(fraction, static_cast<std::size_t>(p - fraction));
  }
  if (p != end_ && (*p == 'e' || *p == 'E' || *p == '+' || *p == '-' || *p == '.')) {
    while (p != end_ && ((*p >= '0' && *p <= '9') || *p == '-' || *p == '.' || *p == 'e' ||
                         *p == 'E' || *p == '+'))
      ++p;
    if (!parseNumber(std::string_view(start, static_cast<std::size_t>(p - start)), number))
      return false;
  } else if (number.integer.empty() || (number.fraction.empty() && p[-1] == '.')) {
    return false;
  } else if (number.negative && isZero(number)) {
    number.negative = false;
  }
  const std::string_view text(start, static_cast<std::size_t>(p - start));
  cursor_ = p;
  if (field.isCounter) {
    std::int64_t count = 0;
    if (!integerOf(text, count))
      return false;
    counterState_[static_cast<std::size_t>(index)] = Count::given;
    counterValue_[static_cast<std::size_t>(index)] = count;
  }
  return fastNumber(index, number, text, out);
}

bool RecordEncoder::fastNumber(int index, const NumberText &number, std::string_view text,
                               char *out) {
  const Compact &field = compact_[static_cast<std::size_t>(index)];
  char digits[40];
  switch (field.kind) {
  case EncodeKind::zoned:
    if (scaledDigits(number, field.scale, field.digits, digits) != Fit::ok ||
        (number.negative && !field.isSigned))
      return false;
    writeZoned(digits, field.digits, number.negative, field.isSigned, field.sign, text_, out);
    return true;
  case EncodeKind::packed:
    if (scaledDigits(number, field.scale, field.digits, digits) != Fit::ok ||
        (number.negative && !field.isSigned))
      return false;
    writePacked(digits, field.digits, number.negative, field.isSigned, options_.unsignedPackedC,
                field.length, out);
    return true;
  case EncodeKind::binary: {
    const std::int32_t count = field.checkDigits ? field.digits : 38;
    if (scaledDigits(number, field.scale, count, digits) != Fit::ok ||
        (number.negative && !field.isSigned))
      return false;
    const unsigned __int128 magnitude = digitsValue(digits, count);
    if (magnitude > binaryLimit(field.length, field.isSigned, number.negative))
      return false;
    writeBinary(magnitude, number.negative, field.length, options_.littleEndian, out);
    return true;
  }
  default:
    return writeNumber(plan_.fields[static_cast<std::size_t>(index)], number, text, out);
  }
}

bool RecordEncoder::changes(int index, std::uint32_t value, std::int64_t at) {
  const Pass pass = pass_;
  const bool differs = differs_;
  const std::size_t depth = pathStack_.size();
  pass_ = Pass::compare;
  differs_ = false;
  member(index, value, at);
  const bool result = differs_;
  pass_ = pass;
  differs_ = differs;
  pathStack_.resize(depth);
  return result;
}

std::int64_t RecordEncoder::member(int index, std::uint32_t value, std::int64_t at) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.hidden) {
    if (field.isCounter && pass_ == Pass::write) {
      counterState_[static_cast<std::size_t>(index)] = Count::pending;
      counterAt_[static_cast<std::size_t>(index)] = at;
    }
    return field.length * field.maxCount;
  }
  pathStack_.emplace_back(index, -1);
  std::int64_t size = field.length * field.maxCount;
  if (value == noToken) {
    if (field.isCounter) {
      if (pass_ == Pass::write) {
        counterState_[static_cast<std::size_t>(index)] = Count::pending;
        counterAt_[static_cast<std::size_t>(index)] = at;
      }
    } else if (!field.filler && !(fromRaw_ && pass_ == Pass::compare)) {
      problem("no value given");
    }
  } else if (field.isArray) {
    size = array(index, value, at);
  } else {
    size = occurrence(index, value, at);
  }
  pathStack_.pop_back();
  return size;
}

std::int64_t RecordEncoder::array(int index, std::uint32_t value, std::int64_t at) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  const JsonTape &tape = *tape_;
  const JsonToken &token = tape[value];
  const bool variable = field.counter >= 0;
  const auto counter = static_cast<std::size_t>(variable ? field.counter : 0);
  if (token.type == JsonType::null) {
    std::int64_t count = field.maxCount;
    if (variable) {
      if (counterState_[counter] != Count::given) {
        if (!fromRaw_)
          problem("null, and no count of its elements is given");
        return field.length * field.maxCount;
      }
      count = counterValue_[counter];
      if (count < field.minCount || count > field.maxCount) {
        if (!fromRaw_)
          problem("null, and " + plan_.fields[counter].key + " says " + std::to_string(count) +
                  ", outside OCCURS " + std::to_string(field.minCount) + " TO " +
                  std::to_string(field.maxCount));
        // As the decoder places what follows such a table.
        count = std::clamp(count, field.minCount, field.maxCount);
      }
    }
    nullValue(index, at, count);
    return field.length * count;
  }
  // The table's own problem says it all: no word on a count it would set.
  const auto settled = [&] {
    if (variable && pass_ == Pass::write && counterState_[counter] == Count::pending)
      counterState_[counter] = Count::none;
  };
  if (token.type != JsonType::array) {
    settled();
    problem("an array (OCCURS " + std::to_string(field.maxCount) + ") is expected, not " +
            typeName(value));
    return field.length * field.maxCount;
  }
  std::int64_t count = 0;
  for (std::uint32_t t = value + 1; t < token.next; t = tape[t].next)
    ++count;
  if (count > field.maxCount || (variable && count < field.minCount)) {
    settled();
    problem(std::to_string(count) + (count == 1 ? " element" : " elements") + ", OCCURS " +
            (variable ? std::to_string(field.minCount) + " TO " : "") +
            std::to_string(field.maxCount) + " allows " +
            (count > field.maxCount ? "at most " + std::to_string(field.maxCount)
                                    : "at least " + std::to_string(field.minCount)));
    return field.length * field.maxCount;
  }
  if (variable && pass_ == Pass::write) {
    if (counterState_[counter] == Count::given && counterValue_[counter] != count) {
      problem(std::to_string(count) + (count == 1 ? " element" : " elements") + ", but " +
              plan_.fields[counter].key + " says " + std::to_string(counterValue_[counter]));
    } else if (counterState_[counter] == Count::pending) {
      writeCount(field.counter, count);
      counterState_[counter] = Count::given;
      counterValue_[counter] = count;
    }
  }
  std::int64_t i = 0;
  for (std::uint32_t t = value + 1; t < token.next; t = tape[t].next, ++i) {
    pathStack_.back().second = i;
    occurrence(index, t, at + i * field.length);
  }
  pathStack_.back().second = -1;
  if (count < field.maxCount && pass_ == Pass::write && !fromRaw_)
    for (std::int64_t rest = count; rest < field.maxCount; ++rest)
      fill(index, at + rest * field.length, options_.fill);
  if (count < field.maxCount && fromRaw_ && !variable) {
    // Elements left out of a fixed table: the _raw bytes there are no value given.
    if (pass_ == Pass::compare)
      differs_ = true;
    else
      changed_ = true;
  }
  return field.length * (variable ? count : field.maxCount);
}

std::int64_t RecordEncoder::occurrence(int index, std::uint32_t value, std::int64_t at) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.slack > 0 && pass_ == Pass::write && !fromRaw_)
    std::memset(base_ + at - field.slack, 0, static_cast<std::size_t>(field.slack));
  if (field.kind == EncodeKind::group)
    return group(index, value, at);
  leaf(index, value, at);
  return field.length;
}

std::int64_t RecordEncoder::group(int index, std::uint32_t value, std::int64_t at) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  const JsonTape &tape = *tape_;
  const JsonToken &token = tape[value];
  if (token.type == JsonType::null) {
    nullValue(index, at, 1);
    return field.length;
  }
  if (token.type != JsonType::object) {
    problem("an object (a group) is expected, not " + std::string(typeName(value)));
    return field.length;
  }
  const std::vector<int> &children = field.children;
  const std::size_t slots = slots_.size();
  slots_.resize(slots + children.size(), noToken);
  std::size_t cursor = 0;
  for (std::uint32_t t = value + 1; t < token.next; t = tape[t].next) {
    const std::string_view key = tape[t].text;
    if (value == rootObject_ && (key == "_raw" || key == "_raw_fields"))
      continue;
    // Keys come in the plan's order as a rule: the next member is tried first.
    std::size_t found = children.size();
    for (std::size_t n = 0; n < children.size(); ++n) {
      const std::size_t c = cursor + n < children.size() ? cursor + n : cursor + n - children.size();
      const EncodeField &child = plan_.fields[static_cast<std::size_t>(children[c])];
      if (!child.hidden && child.key == key) {
        found = c;
        break;
      }
    }
    if (found == children.size()) {
      const std::string wanted = modelKey(key);
      for (std::size_t c = 0; c < children.size(); ++c)
        if (!plan_.fields[static_cast<std::size_t>(children[c])].hidden &&
            plan_.fields[static_cast<std::size_t>(children[c])].key == wanted)
          found = c;
    }
    if (found == children.size()) {
      problem("unknown key \"" + shown(key) + "\"" +
              (modelKey(key).rfind("FILLER", 0) == 0 && !options_.fillers
                   ? " (FILLER values are read with -fillers)"
                   : ""));
      continue;
    }
    if (slots_[slots + found] != noToken) {
      pathStack_.emplace_back(children[found], -1);
      problem("given twice");
      pathStack_.pop_back();
      continue;
    }
    slots_[slots + found] = t + 1;
    cursor = found + 1;
  }
  std::int64_t shift = 0;
  for (std::size_t c = 0; c < children.size(); ++c) {
    const int child = children[c];
    const EncodeField &member = plan_.fields[static_cast<std::size_t>(child)];
    if (member.alternatives == child) {
      std::size_t last = c;
      while (last + 1 < children.size() &&
             plan_.fields[static_cast<std::size_t>(children[last + 1])].alternatives == child)
        ++last;
      const std::int64_t used = area(children, c, last, slots, at, shift);
      shift += used - member.length * member.maxCount;
      c = last;
      continue;
    }
    // As the decoder reads them: a redefinition outside an area of this
    // group stands where the layout puts it.
    const std::int64_t where = at + member.offset + (member.redefining ? 0 : shift);
    const std::int64_t used = this->member(child, slots_[slots + c], where);
    if (!member.redefining)
      shift += used - member.length * member.maxCount;
  }
  slots_.resize(slots);
  return field.length + shift;
}

std::int64_t RecordEncoder::area(const std::vector<int> &children, std::size_t first,
                                 std::size_t last, std::size_t slots, std::int64_t at,
                                 std::int64_t shift) {
  const JsonTape &tape = *tape_;
  const int base = children[first];
  const EncodeField &baseField = plan_.fields[static_cast<std::size_t>(base)];
  const auto position = [&](std::size_t c) {
    const EncodeField &member = plan_.fields[static_cast<std::size_t>(children[c])];
    return at + member.offset + (member.redefining ? 0 : shift);
  };
  const auto fullSize = baseField.length * baseField.maxCount;
  // The alternatives a -when rule chooses, first.
  for (std::size_t r = 0; r < plan_.rules.size(); ++r) {
    if (!ruleMatched_[r])
      continue;
    for (std::size_t c = first; c <= last; ++c)
      if (children[c] == plan_.rules[r].alternative) {
        const std::int64_t used = member(children[c], slots_[slots + c], position(c));
        return c == first ? used : fullSize;
      }
  }
  std::vector<std::size_t> given;
  std::size_t null = last + 1;
  bool named = false;
  for (std::size_t c = first; c <= last; ++c) {
    const std::uint32_t value = slots_[slots + c];
    if (plan_.fields[static_cast<std::size_t>(children[c])].hidden || value == noToken)
      continue;
    named = true;
    if (tape[value].type == JsonType::null)
      null = std::min(null, c);
    else
      given.push_back(c);
  }
  if (pass_ == Pass::compare) {
    for (const std::size_t c : given)
      member(children[c], slots_[slots + c], position(c));
    return fullSize;
  }
  if (fromRaw_ && given.size() > 1) {
    std::vector<std::size_t> changed;
    for (const std::size_t c : given)
      if (changes(children[c], slots_[slots + c], position(c)))
        changed.push_back(c);
    if (changed.empty())
      return fullSize;
    given = changed;
  }
  if (given.size() > 1) {
    std::string names;
    for (const std::size_t c : given)
      names += (names.empty() ? "" : " and ") +
               plan_.fields[static_cast<std::size_t>(children[c])].key;
    pathStack_.emplace_back(base, -1);
    problem("the REDEFINES alternatives " + names +
            " share their bytes: give one, or -when rules that choose");
    pathStack_.pop_back();
    return fullSize;
  }
  std::size_t chosen = given.empty() ? null : given.front();
  if (chosen > last) {
    if (!named && !baseField.filler) {
      pathStack_.emplace_back(base, -1);
      problem(first == last ? "no value given" : "no value given for it or a REDEFINES alternative");
      pathStack_.pop_back();
    }
    return fullSize;
  }
  const std::int64_t used = member(children[chosen], slots_[slots + chosen], position(chosen));
  return chosen == first ? used : fullSize;
}

void RecordEncoder::leaf(int index, std::uint32_t value, std::int64_t at) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  const JsonToken &token = (*tape_)[value];
  if (token.type == JsonType::null) {
    nullValue(index, at, 1);
    return;
  }
  const bool numeric = isNumeric(field.kind);
  const JsonType wanted = numeric ? JsonType::number : JsonType::string;
  if (token.type != wanted) {
    problem(std::string(numeric ? "a number" : "a string") + " is expected, not " +
            typeName(value));
    return;
  }
  if (field.isCounter && pass_ == Pass::write) {
    std::int64_t count = 0;
    if (integerOf(token.text, count)) {
      counterState_[static_cast<std::size_t>(index)] = Count::given;
      counterValue_[static_cast<std::size_t>(index)] = count;
    }
  }
  // Before the number is read: _raw may give back what is no number here.
  if (fromRaw_ && unchanged(field, token, at))
    return;
  NumberText number;
  if (numeric && !parseNumber(token.text, number)) {
    problem("\"" + shown(token.text) + "\" is not a number");
    return;
  }
  if (pass_ == Pass::compare) {
    differs_ = true;
    return;
  }
  changed_ = true;
  char *out = base_ + at;
  if (numeric)
    writeNumber(field, number, token.text, out);
  else
    writeText(field, token.text, out);
}

bool RecordEncoder::writeText(const EncodeField &field, std::string_view text, char *out) {
  TextResult result;
  switch (field.kind) {
  case EncodeKind::national:
    result = writeNational(text, out, field.length, field.justified, options_.truncate);
    break;
  case EncodeKind::dbcs:
    result = dbcsOut_->write(text, out, field.length, field.justified, options_.truncate);
    break;
  default:
    result = text_.write(text, out, field.length, field.justified, options_.truncate);
    break;
  }
  switch (result.fit) {
  case TextFit::ok:
    return true;
  case TextFit::tooLong:
    problem("a text of " + std::to_string(result.characters) + " characters does not fit " +
            field.describe + " (-truncate cuts it)");
    break;
  case TextFit::unmappable:
    problem("the character " + codePointText(result.codePoint) + " has no byte in " +
            (field.kind == EncodeKind::dbcs ? options_.dbcs : options_.codePage));
    break;
  case TextFit::invalidUtf8:
    problem("the text is not valid UTF-8");
    break;
  case TextFit::notDoubleByte:
    problem("the character " + codePointText(result.codePoint) + " has no double-byte form in " +
            options_.dbcs);
    break;
  }
  return false;
}

bool RecordEncoder::writeNumber(const EncodeField &field, const NumberText &number,
                                std::string_view written, char *out) {
  char digits[40];
  NumberFit fit = NumberFit::ok;
  const bool negative = number.negative;
  switch (field.kind) {
  case EncodeKind::zoned:
  case EncodeKind::packed:
  case EncodeKind::unsignedPacked: {
    if (field.digits > 38) {
      fit = NumberFit::outOfRange;
      break;
    }
    fit = numberFit(scaledDigits(number, field.scale, field.digits, digits));
    const bool isSigned = field.isSigned && field.kind != EncodeKind::unsignedPacked;
    if (fit == NumberFit::ok && negative && !isSigned)
      fit = NumberFit::negative;
    if (fit != NumberFit::ok)
      break;
    if (field.kind == EncodeKind::zoned)
      writeZoned(digits, field.digits, negative, field.isSigned, field.sign, text_, out);
    else if (field.kind == EncodeKind::packed)
      writePacked(digits, field.digits, negative, field.isSigned, options_.unsignedPackedC,
                  field.length, out);
    else
      writeUnsignedPacked(digits, field.digits, field.length, out);
    break;
  }
  case EncodeKind::binary: {
    const std::int64_t count = field.checkDigits ? field.digits : 38;
    fit = numberFit(scaledDigits(number, field.scale, count, digits));
    if (fit == NumberFit::tooManyDigits && !field.checkDigits)
      fit = NumberFit::outOfRange;
    if (fit == NumberFit::ok && negative && !field.isSigned)
      fit = NumberFit::negative;
    if (fit != NumberFit::ok)
      break;
    const unsigned __int128 magnitude = digitsValue(digits, count);
    if (magnitude > binaryLimit(field.length, field.isSigned, negative)) {
      fit = NumberFit::outOfRange;
      break;
    }
    writeBinary(magnitude, negative, field.length, options_.littleEndian, out);
    break;
  }
  case EncodeKind::floating:
    fit = writeFloat(number, field.length, options_.ieeeFloat, options_.littleEndian, out);
    break;
  case EncodeKind::decimalFloat:
    fit = writeDecimalFloat(number, field.length, options_.littleEndian, out);
    break;
  case EncodeKind::edited:
    fit = writeEdited(number, *field.picture, field.blankWhenZero, text_, field.length, out);
    break;
  case EncodeKind::externalFloat:
    fit = writeExternalFloat(number, *field.picture, text_, field.length, out);
    break;
  default:
    break;
  }
  if (fit == NumberFit::ok)
    return true;
  const std::string value = shown(written);
  switch (fit) {
  case NumberFit::ok:
    return true;
  case NumberFit::tooManyDigits:
    problem(value + " does not fit " + field.describe + ": too many digits" +
            (field.kind == EncodeKind::binary ? " (TRUNC(STD): the picture's digits)" : ""));
    break;
  case NumberFit::tooManyDecimals:
    problem(value + " does not fit " + field.describe + ": more decimal places than " +
            std::to_string(std::max<std::int64_t>(field.scale, 0)));
    break;
  case NumberFit::negative:
    problem(value + " does not fit " + field.describe + ": the item is unsigned");
    break;
  case NumberFit::outOfRange:
    problem(value + " is out of the range of " + field.describe);
    break;
  }
  return false;
}

void RecordEncoder::writeCount(int counter, std::int64_t count) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(counter)];
  const std::int64_t at = counterAt_[static_cast<std::size_t>(counter)];
  const std::string text = std::to_string(count);
  NumberText number;
  parseNumber(text, number);
  if (fromRaw_) {
    JsonToken token{JsonType::number, 0, text};
    if (unchanged(field, token, at))
      return;
  }
  changed_ = true;
  pathStack_.emplace_back(counter, -1);
  writeNumber(field, number, text, base_ + at);
  pathStack_.pop_back();
}

void RecordEncoder::nullValue(int index, std::int64_t at, std::int64_t count) {
  if (fromRaw_ || pass_ == Pass::compare)
    return; // the _raw bytes stay as they are
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (rawFields_ != noToken && field.kind != EncodeKind::group) {
    const std::uint32_t bytes = memberValue(rawFields_, field.path + "@" + std::to_string(at));
    if (bytes != noToken) {
      scratch_.clear();
      if ((*tape_)[bytes].type != JsonType::string ||
          !appendFromBase64((*tape_)[bytes].text, scratch_) ||
          static_cast<std::int64_t>(scratch_.size()) != field.length) {
        problem("_raw_fields: not the base64 text of its " + std::to_string(field.length) +
                " bytes");
        return;
      }
      std::memcpy(base_ + at, scratch_.data(), scratch_.size());
      return;
    }
  }
  if (options_.null == FillMode::error) {
    problem("null (-null spaces, zeros or low-values writes it)");
    return;
  }
  for (std::int64_t i = 0; i < count; ++i)
    fill(index, at + i * field.length, options_.null);
}

void RecordEncoder::fill(int index, std::int64_t at, FillMode mode) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  char *out = base_ + at;
  if (mode == FillMode::lowValues) {
    std::memset(out, 0, static_cast<std::size_t>(field.length));
    return;
  }
  if (field.kind == EncodeKind::group) {
    std::memset(out, text_.space(), static_cast<std::size_t>(field.length));
    for (const int child : field.children) {
      const EncodeField &member = plan_.fields[static_cast<std::size_t>(child)];
      if (member.redefining)
        continue;
      for (std::int64_t i = 0; i < member.maxCount; ++i)
        fill(child, at + member.offset + i * member.length, mode);
    }
    return;
  }
  switch (field.kind) {
  case EncodeKind::national:
    for (std::int64_t i = 0; i + 1 < field.length; i += 2) {
      out[i] = 0;
      out[i + 1] = ' ';
    }
    return;
  case EncodeKind::dbcs:
    std::memset(out, 0x40, static_cast<std::size_t>(field.length));
    return;
  case EncodeKind::text:
    std::memset(out, text_.space(), static_cast<std::size_t>(field.length));
    return;
  default:
    break;
  }
  if (mode == FillMode::spaces) {
    std::memset(out, text_.space(), static_cast<std::size_t>(field.length));
    return;
  }
  NumberText zero;
  parseNumber("0", zero);
  const std::size_t depth = pathStack_.size();
  writeNumber(field, zero, "0", out);
  pathStack_.resize(depth);
}

bool RecordEncoder::unchanged(const EncodeField &field, const JsonToken &token, std::int64_t at) {
  // A field the record does not reach: the decoder shows it null, which
  // its CSV writes as an empty cell.
  if (at + field.length > static_cast<std::int64_t>(raw_.size()))
    return token.type == JsonType::string && token.text.empty();
  const std::string_view bytes(raw_.data() + at, static_cast<std::size_t>(field.length));
  std::string &value = scratch_;
  value.clear();
  bool ok = true;
  switch (field.kind) {
  case EncodeKind::text:
  case EncodeKind::national:
  case EncodeKind::dbcs: {
    if (field.kind == EncodeKind::text)
      page_.appendText(bytes, value);
    else if (field.kind == EncodeKind::national)
      appendUtf16(bytes, value);
    else
      dbcsIn_->appendText(bytes, value);
    if (token.text == value)
      return true;
    // Read with -trim: the same text less its trailing blanks.
    if (token.text.size() > value.size() || value.compare(0, token.text.size(), token.text) != 0)
      return false;
    return value.find_first_not_of(' ', token.text.size()) == std::string::npos;
  }
  case EncodeKind::zoned:
    ok = decodeZoned(bytes, field.sign, static_cast<int>(field.scale), page_, value);
    break;
  case EncodeKind::packed:
    ok = decodePacked(bytes, field.isSigned, static_cast<int>(field.scale), value);
    break;
  case EncodeKind::unsignedPacked:
    ok = decodeUnsignedPacked(bytes, static_cast<int>(field.scale), value);
    break;
  case EncodeKind::binary:
    decodeBinary(bytes, field.isSigned, options_.littleEndian, static_cast<int>(field.scale),
                 value);
    break;
  case EncodeKind::floating:
    ok = decodeFloat(bytes, options_.ieeeFloat, options_.littleEndian, value);
    break;
  case EncodeKind::decimalFloat:
    ok = decodeDecimalFloat(bytes, options_.littleEndian, value);
    break;
  case EncodeKind::edited:
  case EncodeKind::externalFloat:
    ok = decodeEdited(bytes, *field.picture, field.blankWhenZero, page_, value);
    break;
  case EncodeKind::group:
    return false;
  }
  return ok && (token.text == value || sameNumber(token.text, value));
}

// The walk over the plan for one record, writing JSON or CSV as it goes, or the same
// line's values.
#include "decoder/record_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "decoder/digit_text.h"

namespace {

void appendJsonString(std::string_view text, std::string &out) {
  out += '"';
  // Plain runs are appended whole: one character at a time was the hot spot.
  std::size_t plain = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\')
      continue;
    out.append(text.data() + plain, i - plain);
    plain = i + 1;
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\r':
      out += "\\r";
      break;
    case '\t':
      out += "\\t";
      break;
    default: {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      out += escape;
    }
    }
  }
  out.append(text.data() + plain, text.size() - plain);
  out += '"';
}

void appendCsvField(std::string_view text, std::string &out) {
  // One pass over the bytes: find_first_of with a set called memchr per byte.
  const bool quoted = std::any_of(text.begin(), text.end(), [](char c) {
    return c == ',' || c == '"' || c == '\r' || c == '\n';
  });
  if (!quoted) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"')
      out += '"';
    out += c;
  }
  out += '"';
}

std::string hexBytes(std::string_view bytes) {
  std::string text;
  const std::size_t shown = std::min<std::size_t>(bytes.size(), 32);
  for (std::size_t i = 0; i < shown; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%s%02X", i == 0 ? "" : " ",
                  static_cast<unsigned char>(bytes[i]));
    text += pair;
  }
  if (shown < bytes.size())
    text += " ...";
  return text;
}

// The end of the text from `first` to `end` without its trailing blanks:
// eight bytes compared at a time, the blanks of the last word that is not
// all blank counted from its top bytes.
char *trimmed(char *first, char *end) {
  constexpr std::uint64_t blanks = 0x2020202020202020ULL;
  while (end - first >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, end - 8, 8);
    if (word != blanks) {
      if constexpr (std::endian::native == std::endian::little)
        return end - __builtin_clzll(word ^ blanks) / 8;
      break;
    }
    end -= 8;
  }
  while (end > first && end[-1] == ' ')
    --end;
  return end;
}

// `length` bytes at `from` as the code page's text at `out`, when each is one ASCII
// character (CodePage::ascii, 0 for the others): eight lookups that do not wait on one another
// and one 8-byte store a word, the last bytes as the word that ends where they end (the same
// bytes again over the word before); nullptr when a byte is not one, for writeText. `out`
// has room for 8 bytes past the text.
[[gnu::always_inline]] inline char *asciiText(const CodePage &page, const char *from,
                                              std::size_t length, char *out) {
  constexpr std::uint64_t ones = 0x0101010101010101ULL;
  const auto at = [&](const char *p, std::size_t i) __attribute__((always_inline)) {
    return static_cast<std::uint64_t>(static_cast<unsigned char>(
               page.ascii(static_cast<unsigned char>(p[i]))))
           << (8 * i);
  };
  const auto word = [&](const char *p) __attribute__((always_inline)) {
    return at(p, 0) | at(p, 1) | at(p, 2) | at(p, 3) | at(p, 4) | at(p, 5) | at(p, 6) | at(p, 7);
  };
  const auto plain = [](std::uint64_t w) { return ((w - ones) & ~w & (ones << 7)) == 0; };
  if (length >= 8) {
    std::size_t i = 0;
    for (; i + 8 <= length; i += 8) {
      const std::uint64_t w = word(from + i);
      if (!plain(w))
        return nullptr;
      std::memcpy(out + i, &w, 8);
    }
    if (i < length) {
      const std::uint64_t w = word(from + length - 8);
      if (!plain(w))
        return nullptr;
      std::memcpy(out + length - 8, &w, 8);
    }
    return out + length;
  }
  std::uint64_t w = 0;
  for (std::size_t i = 0; i < length; ++i)
    w |= at(from, i);
  if (!plain(w | ~std::uint64_t{0} << (8 * length)))
    return nullptr;
  std::memcpy(out, &w, 8);
  return out + length;
}

} // namespace

// The whole number of a decimal field (zoned, packed, binary); `wide` for
// other kinds and for values an int64 cannot hold, which are read as text.
WholeRead RecordDecoder::readWhole(const PlanField &field, std::string_view bytes,
                                   std::int64_t &whole) const {
  switch (field.kind) {
  case FieldKind::zoned:
    return zonedWhole(bytes, field.sign, page_, whole);
  case FieldKind::packed:
    return packedWhole(bytes, field.isSigned, whole);
  case FieldKind::unsignedPacked:
    return unsignedPackedWhole(bytes, whole);
  case FieldKind::binary:
    return binaryWhole(bytes, field.isSigned, options_.littleEndian, whole);
  default:
    return WholeRead::wide;
  }
}

RecordDecoder::RecordDecoder(const DecodePlan &plan, const DecodeOptions &options, CodePage page)
    : plan_(plan), options_(options), page_(page), csv_(options.format == OutputFormat::csv),
      counters_(plan.fields.size()), counterValid_(plan.fields.size()),
      ruleMatched_(plan.rules.size()), pickedAlternative_(plan.fields.size()),
      groupPicked_(plan.fields.size()), multipleRecords_(plan.records.size() > 1) {
  if (!options.dbcs.empty())
    dbcs_ = DbcsPage::open(options.dbcs);
  lineCompiled_ = compileLine();
  if (lineCompiled_)
    compileValues();
}

// The tokens decode() makes of a record the line steps hold, as record()
// and field() open and close them, with a null in each value's place.
void RecordDecoder::compileValues() {
  RecordValues shape;
  const PlanRecord &record = plan_.records.front();
  shape.beginRecord();
  const std::uint32_t key = shape.open(ValueType::key, static_cast<std::uint32_t>(record.root));
  compileValueGroup(plan_.fields[static_cast<std::size_t>(record.root)], 0, shape);
  shape.close(key);
  shape.close(shape.record(0));
  valueTokens_.clear();
  for (std::uint32_t i = 0; i < shape.size(); ++i)
    valueTokens_.push_back(shape[i]);
  // What each value's token becomes when its step reads it (its place is
  // then all that is left to write), and the room the steps write into.
  std::size_t textAfter = 0;
  for (auto step = valueSteps_.rbegin(); step != valueSteps_.rend(); ++step) {
    ValueToken &token = valueTokens_[step->token];
    if (step->kind == StepKind::text) {
      token.type = ValueType::string;
      textAfter += 4 * static_cast<std::size_t>(step->length);
    } else {
      ++valueWholes_;
      if (step->kind != StepKind::other) {
        token.type = ValueType::scaled;
        token.size =
            static_cast<std::uint32_t>(plan_.fields[static_cast<std::size_t>(step->field)].scale);
      }
    }
    // writeText's 8 bytes past the end of the last text.
    step->textRoom = static_cast<std::uint32_t>(textAfter + 8);
  }
  valueTextRoom_ = textAfter + 8;
  valueTexts_ = static_cast<std::size_t>(
      std::count_if(valueSteps_.begin(), valueSteps_.end(),
                    [](const ValueStep &step) { return step.kind == StepKind::text; }));
  compactable_ = std::none_of(valueSteps_.begin(), valueSteps_.end(), [](const ValueStep &step) {
    return step.kind == StepKind::other;
  });
}

void RecordDecoder::compileValueGroup(const PlanField &field, std::int64_t at,
                                      RecordValues &shape) {
  const std::uint32_t object = shape.open(ValueType::object);
  for (const int child : field.children) {
    const PlanField &member = plan_.fields[static_cast<std::size_t>(child)];
    if (!member.hidden && !member.skipped)
      compileValueField(child, at + member.offset, shape);
  }
  shape.close(object);
}

void RecordDecoder::compileValueField(int index, std::int64_t at, RecordValues &shape) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  const std::uint32_t key = shape.open(ValueType::key, static_cast<std::uint32_t>(index));
  const std::uint32_t array = field.isArray ? shape.open(ValueType::array) : noValue;
  const std::int64_t count = field.isArray ? field.maxCount : 1;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::int64_t place = at + i * field.length;
    if (field.kind == FieldKind::group) {
      compileValueGroup(field, place, shape);
      continue;
    }
    ValueStep step{shape.size(),
                   static_cast<std::uint32_t>(place),
                   static_cast<std::uint32_t>(field.length),
                   index,
                   StepKind::other,
                   field.sign,
                   field.isSigned,
                   place + 8 <= lineLength_};
    // The usages the inline readers take (field_values.h); the others, and
    // what those readers refuse, are read by writeValue().
    const bool little = std::endian::native == std::endian::little;
    switch (field.kind) {
    case FieldKind::text:
      step.kind = StepKind::text;
      break;
    case FieldKind::packed:
      if (little && field.length <= 8)
        step.kind = StepKind::packed;
      break;
    case FieldKind::zoned:
      if (little && field.length <= 8 && page_.ebcdicDigits() &&
          (field.sign == ZonedSign::none || field.sign == ZonedSign::trailing))
        step.kind = StepKind::zoned;
      break;
    case FieldKind::binary:
      if (little && !options_.littleEndian &&
          (field.length == 2 || field.length == 4 || (field.length == 8 && field.isSigned)))
        step.kind = StepKind::binary;
      break;
    default:
      break;
    }
    valueSteps_.push_back(step);
    shape.null();
  }
  if (array != noValue)
    shape.close(array);
  shape.close(key);
}

// The values of a record the steps hold; false (nothing added) for a
// record shorter than the layout.
bool RecordDecoder::writeValues(std::string_view data, std::int64_t declared, RecordValues &out) {
  if (static_cast<std::int64_t>(data.size()) < lineLength_)
    return false;
  ValueFill fill{out.appendRecord(valueTokens_, valueWholes_)};
  // Room for the longest text of every text field at once: each is written
  // through a pointer, no size checked or string grown per value.
  std::string &text = out.textBuffer();
  const std::size_t textStart = text.size();
  text.resize(textStart + valueTextRoom_);
  fill.textBase = text.data();
  fill.text = fill.textBase + textStart;
  // The places kept in registers through the loop, fill updated only
  // around writeValue().
  ValueToken *const tokens = fill.room.tokens;
  std::int64_t *const wholes = fill.room.wholes;
  const std::uint32_t firstWhole = fill.room.firstWhole;
  std::uint32_t used = 0;
  char *textBase = fill.textBase;
  char *to = fill.text;
  const bool trim = options_.trim;
  for (const ValueStep &step : valueSteps_) {
    ValueToken &token = tokens[step.token];
    const char *const bytes = data.data() + step.offset;
    std::int64_t whole = 0;
    switch (step.kind) {
    case StepKind::text: {
      char *const written = page_.writeText(std::string_view(bytes, step.length), to);
      // No UTF-8 sequence ends in a blank: the text trims as its bytes would.
      char *const end = trim ? trimmed(to, written) : written;
      token.at = static_cast<std::uint32_t>(to - textBase);
      token.size = static_cast<std::uint32_t>(end - to);
      to = end;
      continue;
    }
    case StepKind::packed:
      if (!packedWord(bytes, step.length, step.isSigned, step.readAhead, whole))
        break;
      token.at = firstWhole + used;
      wholes[used++] = whole;
      continue;
    case StepKind::zoned:
      if (!zonedWord(bytes, step.length, step.sign == ZonedSign::trailing, step.readAhead, whole))
        break;
      token.at = firstWhole + used;
      wholes[used++] = whole;
      continue;
    case StepKind::binary:
      token.at = firstWhole + used;
      wholes[used++] = binaryWord(bytes, step.length, step.isSigned);
      continue;
    case StepKind::end:
    case StepKind::other:
      break;
    }
    fill.text = to;
    fill.wholes = used;
    writeValue(step, fill, out);
    textBase = fill.textBase;
    to = fill.text;
    used = static_cast<std::uint32_t>(fill.wholes);
  }
  fill.text = to;
  fill.wholes = used;
  text.resize(static_cast<std::size_t>(fill.text - fill.textBase));
  out.endRecord(fill.room, fill.wholes);
  lengthProblem(declared, lineLength_);
  return true;
}

bool RecordDecoder::writeCompact(std::string_view data, std::int64_t declared,
                                 RecordValues &out) {
  if (static_cast<std::int64_t>(data.size()) < lineLength_)
    return false;
  const RecordValues::CompactRoom room =
      out.appendCompact(valueTokens_, valueWholes_, valueTexts_);
  if (room.wholes == nullptr)
    return false;
  // As writeValues: room for every text at once, written through a pointer.
  std::string &text = out.textBuffer();
  const std::size_t textStart = text.size();
  text.resize(textStart + valueTextRoom_);
  char *const base = text.data();
  char *to = base + textStart;
  std::int64_t *wholes = room.wholes;
  std::uint32_t *ends = room.ends;
  const bool trim = options_.trim;
  for (const ValueStep &step : valueSteps_) {
    const char *const bytes = data.data() + step.offset;
    switch (step.kind) {
    case StepKind::text: {
      char *const written = page_.writeText(std::string_view(bytes, step.length), to);
      to = trim ? trimmed(to, written) : written;
      *ends++ = static_cast<std::uint32_t>(to - base);
      continue;
    }
    case StepKind::packed:
      if (!packedWord(bytes, step.length, step.isSigned, step.readAhead, *wholes))
        break;
      ++wholes;
      continue;
    case StepKind::zoned:
      if (!zonedWord(bytes, step.length, step.sign == ZonedSign::trailing, step.readAhead,
                     *wholes))
        break;
      ++wholes;
      continue;
    case StepKind::binary:
      *wholes++ = binaryWord(bytes, step.length, step.isSigned);
      continue;
    case StepKind::end:
    case StepKind::other:
      break;
    }
    // A value with a problem, or past the inline readers: the tokens say it.
    out.dropCompact();
    return false;
  }
  text.resize(static_cast<std::size_t>(to - base));
  lengthProblem(declared, lineLength_);
  return true;
}

// A value the inline readers leave (floating point, values past 64 bits,
// bad bytes: left null with their problem), read as the walk reads it.
[[gnu::noinline]] void RecordDecoder::writeValue(const ValueStep &step, ValueFill &fill,
                                                 RecordValues &out) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(step.field)];
  const std::string_view bytes = data_.substr(step.offset, step.length);
  ValueToken &token = fill.room.tokens[step.token];
  // The batch's text cut to what is written: this value's is appended.
  std::string &text = out.textBuffer();
  const auto start = static_cast<std::size_t>(fill.text - fill.textBase);
  text.resize(start);
  std::int64_t whole = 0;
  const WholeRead wholeRead = readWhole(field, bytes, whole);
  bool isText = false;
  const char *what = nullptr;
  if (wholeRead == WholeRead::ok) {
    token = ValueToken{ValueType::scaled, token.next,
                       fill.room.firstWhole + static_cast<std::uint32_t>(fill.wholes),
                       static_cast<std::uint32_t>(field.scale)};
    fill.room.wholes[fill.wholes++] = whole;
  } else if (wholeRead == WholeRead::wide &&
             read(field, step.field, bytes, text, start, isText, what)) {
    token = ValueToken{ValueType::number, token.next, static_cast<std::uint32_t>(start),
                       static_cast<std::uint32_t>(text.size() - start)};
  } else {
    text.resize(start);
    token = ValueToken{ValueType::null, token.next, 0, 0};
    problem(field, step.offset, field.length,
            wholeRead == WholeRead::wide     ? what
            : field.kind == FieldKind::zoned ? "invalid zoned decimal"
                                             : "invalid packed decimal");
  }
  // Room again for the texts of the steps after this one.
  const std::size_t end = text.size();
  text.resize(end + step.textRoom);
  fill.textBase = text.data();
  fill.text = fill.textBase + end;
}

// The steps of `encoder`'s ops for this layout's values, from its walk of a sample record;
// none (tokens for that writer) when a value is one the loop does not read, or the writer
// wants it in a form its step cannot give: then every record takes the tape.
void RecordDecoder::compileDirect(const DirectEncoder &encoder) {
  directFor_ = &encoder;
  directSteps_.clear();
  directRoom_ = 0;
  directLaneRoom_.clear();
  // Lengths and words are written as the machine holds them, which the formats want
  // little-endian; numbers are read as the 8 bytes around them, which a record of fewer has not.
  if constexpr (std::endian::native != std::endian::little)
    return;
  if (lineLength_ < 8)
    return;
  std::vector<const ValueStep *> stepOf(valueTokens_.size(), nullptr);
  RecordValues sample;
  RecordValues::Room room = sample.appendRecord(valueTokens_, valueWholes_);
  std::size_t wholes = 0;
  for (const ValueStep &step : valueSteps_) {
    if (step.kind == StepKind::other || step.kind == StepKind::end)
      return;
    stepOf[step.token] = &step;
    ValueToken &token = room.tokens[step.token];
    if (step.kind == StepKind::text) {
      token.at = 0;
      token.size = 0;
    } else {
      token.at = room.firstWhole + static_cast<std::uint32_t>(wholes);
      room.wholes[wholes++] = 0;
    }
  }
  sample.endRecord(room, wholes);
  const std::vector<DirectOp> ops = encoder.compile(sample);
  std::vector<DirectStep> steps;
  std::size_t bytes = 0;
  std::size_t values = 0;
  // The constant bytes not yet given to a step: the next value's step writes them before it,
  // in one 16-byte copy; more than that go to steps of their own.
  std::string pending;
  // Values by lanes: every one named a lane, no constant bytes (they have no column).
  std::vector<std::size_t> laneRoom;
  bool byLanes = false, byRecord = false;
  const auto literalFor = [&](DirectStep &step) {
    while (pending.size() > sizeof step.literal) {
      DirectStep alone;
      std::memcpy(alone.literal, pending.data(), sizeof alone.literal);
      alone.literalSize = sizeof alone.literal;
      steps.push_back(alone);
      bytes += sizeof alone.literal;
      pending.erase(0, sizeof alone.literal);
    }
    std::memcpy(step.literal, pending.data(), pending.size());
    step.literalSize = static_cast<std::uint8_t>(pending.size());
    pending.clear();
    bytes += sizeof step.literal;
  };
  for (const DirectOp &op : ops) {
    if (op.form == DirectForm::bytes) {
      pending.append(op.bytes, op.size);
      byRecord = true;
      continue;
    }
    (op.lane == DirectOp::noLane ? byRecord : byLanes) = true;
    const ValueStep *step = op.token < stepOf.size() ? stepOf[op.token] : nullptr;
    if (step == nullptr)
      return;
    const PlanField &field = plan_.fields[static_cast<std::size_t>(step->field)];
    const int scale = field.scale;
    const bool text = step->kind == StepKind::text;
    const bool textForm = op.form == DirectForm::text || op.form == DirectForm::plainText;
    const bool integer = op.form == DirectForm::int32 || op.form == DirectForm::int64;
    if (text != textForm || (integer && scale != 0) || (!text && !integer && op.scale != scale))
      return;
    DirectStep direct;
    direct.offset = step->offset;
    direct.length = step->length;
    const std::uint32_t n = step->length;
    if (op.lane != DirectOp::noLane) {
      if (op.form != DirectForm::plainText && op.form != DirectForm::word32 &&
          op.form != DirectForm::word64)
        return;
      direct.lane = op.lane;
      if (laneRoom.size() <= op.lane)
        laneRoom.resize(op.lane + std::size_t{1}, 0);
      // A text's longest (4 bytes a byte) after its length; a word's 8 bytes are all stored.
      laneRoom[op.lane] += text ? 4 + 4 * std::size_t{n} : 8;
      direct.width = op.form == DirectForm::word32 ? 4 : 8;
    }
    // The union's branch 1 (zigzag) before a nullable value; Parquet's words have none.
    const bool word = op.form == DirectForm::word32 || op.form == DirectForm::word64;
    if (op.nullable && !word)
      pending += '\x02';
    literalFor(direct);
    if (text) {
      // writeText's longest: 4 bytes a byte.
      const std::size_t longest = 4 * std::size_t{n};
      char scratch[10];
      const auto prefix = static_cast<std::size_t>(
          putZigzag(scratch, static_cast<std::int64_t>(longest)) - scratch);
      if (op.form == DirectForm::plainText) {
        direct.kind = DirectKind::plainText;
        bytes += 4 + longest;
      } else if (n < 64) {
        direct.kind = DirectKind::text;
        bytes += prefix + longest;
      } else {
        direct.kind = DirectKind::textLong;
        direct.shift = static_cast<std::uint8_t>(prefix);
        bytes += prefix + longest;
      }
      steps.push_back(direct);
      ++values;
      continue;
    }
    // Each value's room: a zigzag varint's 10 bytes, a decimal's 9, a word's 8.
    bytes += 10;
    // The form, with a check of 32 bits only where the field's values may pass them.
    int form = 0;
    switch (op.form) {
    case DirectForm::int32:
    case DirectForm::word32: {
      const bool fits = (step->kind == StepKind::packed && n <= 5) ||
                        step->kind == StepKind::zoned ||
                        (step->kind == StepKind::binary && (n == 2 || (n == 4 && step->isSigned)));
      form = op.form == DirectForm::int32 ? (fits ? 0 : 1) : (fits ? 3 : 4);
      break;
    }
    case DirectForm::int64:
      form = 0;
      break;
    case DirectForm::decimal:
      form = 2;
      break;
    case DirectForm::word64:
      form = 3;
      break;
    default:
      return;
    }
    int source = 0;
    switch (step->kind) {
    case StepKind::packed:
      source = 0;
      break;
    case StepKind::zoned:
      source = 1;
      break;
    case StepKind::binary:
      source = n == 2 ? 2 : n == 4 ? 3 : 4;
      break;
    default:
      return;
    }
    direct.kind = static_cast<DirectKind>(static_cast<int>(DirectKind::packedZigzag) + 5 * source +
                                          form);
    direct.isSigned = step->kind == StepKind::zoned ? step->sign == ZonedSign::trailing
                                                    : step->isSigned;
    if (step->kind != StepKind::binary) {
      // The 8 bytes from the field's start when the record has them, else the 8 that end
      // where it ends, or the record's first 8: within the record either way.
      const std::uint32_t end = step->offset + n;
      const std::uint32_t at = step->offset + 8 <= lineLength_ ? step->offset
                               : end >= 8                      ? end - 8
                                                               : 0;
      direct.offset = at;
      direct.shift = static_cast<std::uint8_t>(8 * (at + 8 - end));
      direct.keep = ~std::uint64_t{0} << (64 - 8 * n);
      direct.zones = 0xF0F0F0F0F0F0F0F0ULL & direct.keep &
                     (direct.isSigned ? ~(std::uint64_t{0xF0} << 56) : ~std::uint64_t{0});
    }
    steps.push_back(direct);
    ++values;
  }
  // Each value written once: a writer that left one out, or wrote one twice, keeps the tape.
  if (values != valueSteps_.size())
    return;
  if (byLanes && byRecord)
    return;
  if (byLanes) {
    // Each lane's room for the texts' 8-byte stores past their ends.
    for (std::size_t &room : laneRoom)
      room += 8;
    directLaneRoom_ = std::move(laneRoom);
  }
  if (!pending.empty()) {
    DirectStep last;
    literalFor(last);
    steps.push_back(last);
  }
  directSteps_ = std::move(steps);
  directRoom_ = bytes + 8; // the texts' 8-byte stores past their ends
}

// The record written straight in the encoding of out.encoder(); false (nothing added) for a
// record shorter than the layout, and for a value that is not good (bad bytes, a number
// past its int's range): the tape then holds the record, its problems said as ever.
bool RecordDecoder::encodeValues(std::string_view data, std::int64_t declared, RecordValues &out) {
  if (directFor_ != out.encoder())
    compileDirect(*out.encoder());
  if (directSteps_.empty() || static_cast<std::int64_t>(data.size()) < lineLength_)
    return false;
  return directLaneRoom_.empty() ? encodeSteps<false>(data, declared, out)
                                 : encodeSteps<true>(data, declared, out);
}

// encodeValues' loop: the record's values one after another, or each at the end of its lane.
template <bool byLanes>
bool RecordDecoder::encodeSteps(std::string_view data, std::int64_t declared, RecordValues &out) {
  char *at = nullptr;
  char **lanes = nullptr;
  if constexpr (byLanes)
    lanes = out.beginLanes(directLaneRoom_.data(), directLaneRoom_.size());
  else
    at = out.encodedRoom(directRoom_);
  // The record's texts' bytes, for a writer that bounds its pages by them.
  std::uint32_t textBytes = 0;
  const auto failed = [&]() {
    if constexpr (byLanes)
      out.abandonLanes();
    return false;
  };
  // Held in locals: the stores through `at` may alias the members. The readers and writers
  // below are inlined into each kind's case, which knows them all.
#define VEX_INLINE __attribute__((always_inline))
  const bool trim = options_.trim;
  const CodePage &page = page_;
  const char *const record = data.data();
  // The field's bytes at the top of a word, the others cleared (field_values.h's readers' word).
  const auto top = [record](const DirectStep &step) VEX_INLINE {
    std::uint64_t word = 0;
    std::memcpy(&word, record + step.offset, sizeof word);
    return (word << step.shift) & step.keep;
  };
  const auto packed = [&](const DirectStep &step, std::int64_t &whole) VEX_INLINE {
    return packedTop(top(step), step.isSigned, whole);
  };
  const auto zoned = [&](const DirectStep &step, std::int64_t &whole) VEX_INLINE {
    return zonedTop(top(step), step.zones, step.isSigned, whole);
  };
  const auto half = [record](const DirectStep &step, std::int64_t &whole) VEX_INLINE {
    std::uint16_t bits = 0;
    std::memcpy(&bits, record + step.offset, sizeof bits);
    bits = __builtin_bswap16(bits);
    whole = step.isSigned ? std::int64_t{static_cast<std::int16_t>(bits)} : std::int64_t{bits};
    return true;
  };
  const auto full = [record](const DirectStep &step, std::int64_t &whole) VEX_INLINE {
    std::uint32_t bits = 0;
    std::memcpy(&bits, record + step.offset, sizeof bits);
    bits = __builtin_bswap32(bits);
    whole = step.isSigned ? std::int64_t{static_cast<std::int32_t>(bits)} : std::int64_t{bits};
    return true;
  };
  const auto doubleword = [record](const DirectStep &step, std::int64_t &whole) VEX_INLINE {
    std::uint64_t bits = 0;
    std::memcpy(&bits, record + step.offset, sizeof bits);
    whole = static_cast<std::int64_t>(__builtin_bswap64(bits));
    return true;
  };
  const auto within32 = [](std::int64_t whole) VEX_INLINE { return whole >= INT32_MIN && whole <= INT32_MAX; };
  // All 8 bytes stored; in a lane of 4-byte words, the low 4 (little-endian) kept.
  const auto putWord = [](const DirectStep &step, char *to, std::int64_t whole) VEX_INLINE {
    std::memcpy(to, &whole, sizeof whole);
    if constexpr (byLanes)
      return to + step.width;
    else
      return to + sizeof whole;
  };
  // A text's end, trimmed when asked.
  const auto textAt = [&](const DirectStep &step, char *first) VEX_INLINE {
    const char *const bytes = record + step.offset;
    char *written = asciiText(page, bytes, step.length, first);
    if (written == nullptr)
      written = page.writeText(std::string_view(bytes, step.length), first);
    return trim ? trimmed(first, written) : written;
  };
  std::int64_t whole = 0;
  const DirectStep *const last = directSteps_.data() + directSteps_.size();
  for (const DirectStep *it = directSteps_.data(); it != last; ++it) {
    const DirectStep &step = *it;
    if constexpr (byLanes) {
      at = lanes[step.lane];
    } else {
      std::memcpy(at, step.literal, sizeof step.literal);
      at += step.literalSize;
    }
    switch (step.kind) {
    case DirectKind::literal:
      break;
    case DirectKind::text: {
      // Written after one byte of length, which holds any size under 64.
      char *const first = at + 1;
      char *const end = textAt(step, first);
      const auto size = static_cast<std::size_t>(end - first);
      if (size < 64) [[likely]] {
        *at = static_cast<char>(2 * size);
        at = end;
        break;
      }
      char length[10];
      const auto prefix = static_cast<std::size_t>(
          putZigzag(length, static_cast<std::int64_t>(size)) - length);
      std::memmove(at + prefix, first, size);
      std::memcpy(at, length, prefix);
      at += prefix + size;
      break;
    }
    case DirectKind::textLong: {
      // After room for its longest length, moved up to the length it has.
      char *const first = at + step.shift;
      char *const end = textAt(step, first);
      const auto size = static_cast<std::size_t>(end - first);
      char *const after = putZigzag(at, static_cast<std::int64_t>(size));
      if (after != first)
        std::memmove(after, first, size);
      at = after + size;
      break;
    }
    case DirectKind::plainText: {
      char *const end = textAt(step, at + 4);
      const auto length = static_cast<std::uint32_t>(end - (at + 4));
      std::memcpy(at, &length, sizeof length);
      at = end;
      if constexpr (byLanes)
        textBytes += length;
      break;
    }
#define VEX_DIRECT_NUMBER(source, read)                                                            \
  case DirectKind::source##Zigzag:                                                                 \
    if (!read(step, whole))                                                                        \
      return failed();                                                                             \
    at = putZigzag(at, whole);                                                                     \
    break;                                                                                         \
  case DirectKind::source##Zigzag32:                                                               \
    if (!read(step, whole) || !within32(whole))                                                    \
      return failed();                                                                             \
    at = putZigzag(at, whole);                                                                     \
    break;                                                                                         \
  case DirectKind::source##Decimal:                                                                \
    if (!read(step, whole))                                                                        \
      return failed();                                                                             \
    at = putDecimalBytes(at, whole);                                                               \
    break;                                                                                         \
  case DirectKind::source##Word:                                                                   \
    if (!read(step, whole))                                                                        \
      return failed();                                                                             \
    at = putWord(step, at, whole);                                                                 \
    break;                                                                                         \
  case DirectKind::source##Word32:                                                                 \
    if (!read(step, whole) || !within32(whole))                                                    \
      return failed();                                                                             \
    at = putWord(step, at, whole);                                                                 \
    break;
      VEX_DIRECT_NUMBER(packed, packed)
      VEX_DIRECT_NUMBER(zoned, zoned)
      VEX_DIRECT_NUMBER(half, half)
      VEX_DIRECT_NUMBER(full, full)
      VEX_DIRECT_NUMBER(double, doubleword)
#undef VEX_DIRECT_NUMBER
    default:
      // Every kind has its case: no check of the table's bounds per value.
      __builtin_unreachable();
    }
    if constexpr (byLanes)
      lanes[step.lane] = at;
  }
#undef VEX_INLINE
  if constexpr (byLanes)
    out.endLanes(textBytes);
  else
    out.endEncoded(at);
  // F records declare no length: no call for them.
  if (declared >= 0)
    lengthProblem(declared, lineLength_);
  return true;
}

void RecordDecoder::lengthProblem(std::int64_t declared, std::int64_t used) {
  if (declared >= 0 && declared != used)
    problems_->push_back(DecodeProblem{plan_.records.front().name,
                                       "record length " + std::to_string(declared) +
                                           " disagrees with the layout's " + std::to_string(used),
                                       0, ""});
}

bool RecordDecoder::compileLine() {
  if (plan_.records.size() != 1 || !plan_.rules.empty() || dbcs_ || page_.utf8())
    return false;
  // A DEPENDING ON anywhere (a FILLER's too) moves what follows it.
  if (std::any_of(plan_.fields.begin(), plan_.fields.end(),
                  [](const PlanField &field) { return field.counter >= 0; }))
    return false;
  const PlanRecord &record = plan_.records.front();
  const PlanField &root = plan_.fields[static_cast<std::size_t>(record.root)];
  // A record that is one elementary item (01 LINE PIC X(80)) is its value:
  // the general walk writes it.
  if (root.kind != FieldKind::group)
    return false;
  linePending_ = csv_ ? "" : "{" + root.name;
  bool column = true;
  if (!compileGroup(root, 0, column))
    return false;
  linePending_ += csv_ ? "\r\n" : "}\n";
  lineSteps_.push_back(LineStep{static_cast<std::uint32_t>(lineText_.size()),
                                static_cast<std::uint32_t>(linePending_.size())});
  lineText_ += linePending_;
  lineLength_ = root.length;
  for (LineStep &step : lineSteps_)
    step.readAhead = step.offset + 8 <= lineLength_;
  // writeLine copies each step's text as one 16-byte block, with no loop or
  // test of its length: longer texts are split, the leading parts given to
  // steps that write no value.
  std::vector<LineStep> steps;
  for (LineStep step : lineSteps_) {
    while (step.literalSize > 16) {
      steps.push_back(LineStep{step.literal, 16});
      step.literal += 16;
      step.literalSize -= 16;
    }
    steps.push_back(step);
  }
  lineSteps_ = std::move(steps);
  // The texts are copied 32 bytes at a time: room to read and write past their ends.
  lineRoom_ += lineText_.size() + 64 + 32 * lineSteps_.size();
  lineText_.append(32, ' ');
  return true;
}

// As occurrence() walks a group with no DEPENDING ON and no rule.
bool RecordDecoder::compileGroup(const PlanField &field, std::int64_t at, bool &column) {
  if (!csv_)
    linePending_ += '{';
  bool first = true;
  for (const int child : field.children) {
    const PlanField &member = plan_.fields[static_cast<std::size_t>(child)];
    // Walked past (or only measured, which matters only for DEPENDING ON).
    if (member.hidden || member.skipped)
      continue;
    if (!compileField(child, at + member.offset, first, column))
      return false;
    first = false;
  }
  if (!csv_)
    linePending_ += '}';
  return true;
}

// As field() writes a field and its occurrences: keys and separators into
// the pending text, each elementary occurrence a step.
bool RecordDecoder::compileField(int index, std::int64_t at, bool first, bool &column) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  const auto separate = [&] {
    if (csv_) {
      if (!column)
        linePending_ += ',';
      column = false;
    }
  };
  if (!csv_) {
    if (!first)
      linePending_ += ',';
    if (!field.name.empty())
      linePending_ += field.name;
  }
  if (field.isArray && !csv_)
    linePending_ += '[';
  const std::int64_t count = field.isArray ? field.maxCount : 1;
  for (std::int64_t i = 0; i < count; ++i) {
    if (i != 0 && !csv_)
      linePending_ += ',';
    const std::int64_t place = at + i * field.length;
    if (field.kind == FieldKind::group) {
      if (!compileGroup(field, place, column))
        return false;
      continue;
    }
    separate();
    if (!compileValue(index, place))
      return false;
  }
  if (field.isArray && !csv_)
    linePending_ += ']';
  return true;
}

bool RecordDecoder::compileValue(int index, std::int64_t at) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  std::size_t room = 0;
  switch (field.kind) {
  case FieldKind::text:
    room = 8 * static_cast<std::size_t>(field.length) + 8;
    break;
  case FieldKind::zoned:
  case FieldKind::packed:
  case FieldKind::unsignedPacked:
  case FieldKind::binary:
    room = 64 + 2 * static_cast<std::size_t>(field.length) +
           static_cast<std::size_t>(field.scale < 0 ? -field.scale : field.scale);
    break;
  case FieldKind::floating:
    room = 64;
    break;
  default:
    return false;
  }
  if (field.isCounter)
    return false;
  LineStep step{static_cast<std::uint32_t>(lineText_.size()),
                static_cast<std::uint32_t>(linePending_.size()),
                index,
                static_cast<std::uint32_t>(at),
                static_cast<std::uint32_t>(field.length),
                field.scale,
                LineKind::other,
                field.sign,
                field.isSigned};
  const bool little = std::endian::native == std::endian::little;
  const std::int64_t length = field.length;
  switch (field.kind) {
  case FieldKind::text:
    step.kind = LineKind::text;
    break;
  case FieldKind::packed:
    if (little && length >= 1 && length <= 8 && field.scale >= 0 && field.scale <= 15)
      step.kind = length <= 4 && field.scale <= 7 ? LineKind::packedShort : LineKind::packed;
    break;
  case FieldKind::zoned:
    if (digit_text::zonedFits(static_cast<std::size_t>(length), field.sign, field.scale, page_))
      step.kind = field.scale <= 7 ? LineKind::zoned : LineKind::zonedWide;
    break;
  case FieldKind::binary:
    // Big-endian halfwords, fullwords and doublewords as a whole number.
    if (little && !options_.littleEndian)
      step.kind = length == 2                    ? LineKind::halfword
                  : length == 4                  ? LineKind::fullword
                  : length == 8 && field.isSigned ? LineKind::doubleword
                                                  : LineKind::other;
    break;
  default:
    break;
  }
  lineSteps_.push_back(step);
  lineText_ += linePending_;
  linePending_.clear();
  lineRoom_ += room;
  return true;
}

namespace {

// writeScaled of a whole number, its magnitude taken without a branch on
// its sign: in data the signs are as good as random, and a branch on each
// was mispredicted about every other time.
[[gnu::always_inline]] inline char *spellWhole(std::int64_t whole, int scale, char *out) {
  const auto sign = static_cast<std::uint64_t>(whole >> 63); // 0 or all ones
  return writeScaled((static_cast<std::uint64_t>(whole) ^ sign) - sign, sign != 0, scale, out);
}

// spellWhole by binaryText: a halfword's or fullword's value, a scale of 0 to 7.
template <bool Fullword>
[[gnu::always_inline]] inline char *spellBinary(std::int64_t whole, int scale, char *out) {
  const auto sign = static_cast<std::uint64_t>(whole >> 63);
  return digit_text::binaryText<Fullword>((static_cast<std::uint64_t>(whole) ^ sign) - sign,
                                          sign != 0, scale, out);
}

} // namespace

// The line of a record the steps hold, written at `to`, which has room for
// the longest line; nullptr (nothing written) for a record shorter than the layout.
char *RecordDecoder::writeLine(std::string_view data, std::int64_t declared, char *to) {
  if (static_cast<std::int64_t>(data.size()) < lineLength_)
    return nullptr;
  const char *const text = lineText_.data();
  // Held in locals: every store through `to` may alias the members, which
  // the loop would otherwise load again after each value.
  const CodePage &page = page_;
  const bool csv = csv_;
  const bool trim = options_.trim;
  const LineStep *const last = lineSteps_.data() + lineSteps_.size();
  for (const LineStep *it = lineSteps_.data(); it != last; ++it) {
    const LineStep &step = *it;
    // One fixed 16-byte copy (the texts and the room go past their ends): no
    // call and no branch on the length for the keys between two values.
    std::memcpy(to, text + step.literal, 16);
    to += step.literalSize;
    const char *const bytes = data.data() + step.offset;
    char *end = nullptr;
    switch (step.kind) {
    case LineKind::end:
      continue;
    case LineKind::text: {
      const std::string_view text(bytes, step.length);
      to = csv ? page.writeCsv(text, trim, to) : page.writeJson(text, trim, to);
      continue;
    }
    case LineKind::packedShort:
      end = digit_text::packedFitted<true>(bytes, step.length, step.isSigned, step.scale, to,
                                           step.readAhead);
      break;
    case LineKind::packed:
      end = digit_text::packedFitted<false>(bytes, step.length, step.isSigned, step.scale, to,
                                            step.readAhead);
      break;
    case LineKind::zoned:
      end = digit_text::zonedFitted<false>(bytes, step.length, step.sign == ZonedSign::trailing,
                                           step.scale, to, step.readAhead);
      break;
    case LineKind::zonedWide:
      end = digit_text::zonedFitted<true>(bytes, step.length, step.sign == ZonedSign::trailing,
                                          step.scale, to, step.readAhead);
      break;
    case LineKind::halfword: {
      std::uint16_t half = 0;
      std::memcpy(&half, bytes, 2);
      half = __builtin_bswap16(half);
      const std::int64_t whole =
          step.isSigned ? std::int64_t{static_cast<std::int16_t>(half)} : std::int64_t{half};
      end = step.scale >= 0 && step.scale <= 7
                ? spellBinary<false>(whole, step.scale, to)
                : spellWhole(whole, step.scale, to);
      break;
    }
    case LineKind::fullword: {
      std::uint32_t full = 0;
      std::memcpy(&full, bytes, 4);
      full = __builtin_bswap32(full);
      const std::int64_t whole =
          step.isSigned ? std::int64_t{static_cast<std::int32_t>(full)} : std::int64_t{full};
      end = step.scale >= 0 && step.scale <= 7
                ? spellBinary<true>(whole, step.scale, to)
                : spellWhole(whole, step.scale, to);
      break;
    }
    case LineKind::doubleword: {
      std::uint64_t word = 0;
      std::memcpy(&word, bytes, 8);
      end = spellWhole(static_cast<std::int64_t>(__builtin_bswap64(word)), step.scale, to);
      break;
    }
    case LineKind::other:
      break;
    }
    to = end != nullptr ? end : writeValue(*it, to);
  }
  // F records declare no length: no call for them.
  if (declared >= 0)
    lengthProblem(declared, lineLength_);
  return to;
}

char *RecordDecoder::decodeLine(std::string_view data, std::int64_t declared, char *to,
                                std::vector<DecodeProblem> &problems) {
  data_ = data;
  problems_ = &problems;
  return writeLine(data, declared, to);
}

char *RecordDecoder::writeValue(const LineStep &step, char *to) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(step.field)];
  const std::string_view bytes = data_.substr(step.offset, static_cast<std::size_t>(field.length));
  std::int64_t whole = 0;
  if (field.kind == FieldKind::text)
    return csv_ ? page_.writeCsv(bytes, options_.trim, to)
                : page_.writeJson(bytes, options_.trim, to);
  if (field.kind == FieldKind::packed)
    if (char *const end = writePacked(bytes, field.isSigned, field.scale, to))
      return end;
  if (readWhole(field, bytes, whole) == WholeRead::ok) {
    const bool negative = whole < 0;
    return writeScaled(negative ? ~static_cast<std::uint64_t>(whole) + 1
                                : static_cast<std::uint64_t>(whole),
                       negative, field.scale, to);
  }
  // Floating point, values past 64 bits and bad bytes: as the walk reads them.
  std::string &value = scratch_;
  value.clear();
  bool text = false;
  const char *what = nullptr;
  if (!read(field, step.field, bytes, value, 0, text, what)) {
    problem(field, step.offset, field.length, what);
    if (!csv_) {
      std::memcpy(to, "null", 4);
      to += 4;
    }
    return to;
  }
  std::memcpy(to, value.data(), value.size());
  return to + value.size();
}

std::string RecordDecoder::header() {
  if (!csv_)
    return "";
  std::string line;
  out_ = &line;
  columnFirst_ = true;
  for (const PlanRecord &record : plan_.records) {
    const PlanField &root = plan_.fields[static_cast<std::size_t>(record.root)];
    headerPath_ = multipleRecords_ && root.kind == FieldKind::group ? record.name : "";
    if (root.kind != FieldKind::group)
      headerColumns(record.root);
    for (const int child : root.children)
      headerColumns(child);
  }
  line += "\r\n";
  return line;
}

void RecordDecoder::beginValue(const PlanField &field, bool first) {
  if (csv_) {
    if (!columnFirst_)
      *out_ += ',';
    columnFirst_ = false;
  } else {
    if (!first)
      *out_ += ',';
    if (!field.name.empty())
      *out_ += field.name;
  }
}

// The CSV column names of a field, OCCURS expanded to their maximum.
void RecordDecoder::headerColumns(int index) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.hidden)
    return;
  if (field.skipped)
    return;
  const std::string saved = headerPath_;
  const std::string name = field.name.substr(1, field.name.size() - 3);
  for (std::int64_t i = 0; i < field.maxCount; ++i) {
    headerPath_ = saved.empty() ? name : saved + "." + name;
    if (field.isArray)
      headerPath_ += "[" + std::to_string(i + 1) + "]";
    if (field.kind == FieldKind::group) {
      for (const int child : field.children)
        headerColumns(child);
    } else {
      if (!columnFirst_)
        *out_ += ',';
      columnFirst_ = false;
      appendCsvField(headerPath_, *out_);
    }
  }
  headerPath_ = saved;
}

void RecordDecoder::problem(const PlanField &field, std::int64_t at, std::int64_t length,
                            const char *what) {
  const std::int64_t end =
      std::min<std::int64_t>(at + length, static_cast<std::int64_t>(data_.size()));
  const std::string_view bytes =
      at < end ? data_.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(end - at))
               : std::string_view();
  problems_->push_back(DecodeProblem{field.path, what, at, hexBytes(bytes)});
}

bool RecordDecoder::ruleMatches(const DecodePlan::Rule &rule) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(rule.field)];
  if (rule.offset + field.length > static_cast<std::int64_t>(data_.size()))
    return false;
  const std::string_view bytes =
      data_.substr(static_cast<std::size_t>(rule.offset), static_cast<std::size_t>(field.length));
  std::string value;
  bool ok = true;
  switch (field.kind) {
  case FieldKind::text:
    page_.appendText(bytes, value);
    while (!value.empty() && value.back() == ' ')
      value.pop_back();
    return value == rule.value;
  case FieldKind::zoned:
    ok = decodeZoned(bytes, field.sign, 0, page_, value);
    break;
  case FieldKind::packed:
    ok = decodePacked(bytes, field.isSigned, 0, value);
    break;
  case FieldKind::unsignedPacked:
    ok = decodeUnsignedPacked(bytes, 0, value);
    break;
  case FieldKind::binary:
    decodeBinary(bytes, field.isSigned, options_.littleEndian, 0, value);
    break;
  default:
    return false;
  }
  // Numbers compare by value, without the picture's scale: digits only.
  std::string wanted = rule.value;
  const std::size_t point = wanted.find('.');
  std::int64_t a = 0;
  std::int64_t b = 0;
  if (point != std::string::npos)
    wanted.erase(point, 1);
  if (!wanted.empty() && wanted[0] == '+')
    wanted.erase(0, 1);
  return ok && integerOf(value, a) && integerOf(wanted, b) && a == b;
}

bool RecordDecoder::chosen(int index) const {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.alternatives < 0)
    return true;
  return !groupPicked_[static_cast<std::size_t>(field.alternatives)] ||
         pickedAlternative_[static_cast<std::size_t>(index)];
}

// The bytes of a field as text appended to `value` (from `start`): its
// usage's reading, the count it holds, -trim. False with `what` when the
// bytes hold no value of the usage.
// Inlined in both callers: the walk's hot path.
[[gnu::always_inline]] inline bool RecordDecoder::read(const PlanField &field, int index,
                                                       std::string_view bytes, std::string &value,
                                                       std::size_t start, bool &text,
                                                       const char *&what) {
  bool ok = true;
  text = false;
  what = "invalid value";
  switch (field.kind) {
  case FieldKind::text:
    // -dbcs: text may hold double-byte runs between shift-out and shift-in.
    if (dbcs_ && bytes.find('\x0E') != std::string_view::npos)
      dbcs_->appendMixedText(bytes, page_, value);
    else
      page_.appendText(bytes, value);
    text = true;
    break;
  case FieldKind::national:
    appendUtf16(bytes, value);
    text = true;
    break;
  case FieldKind::dbcs:
    dbcs_->appendText(bytes, value);
    text = true;
    break;
  case FieldKind::zoned:
    ok = decodeZoned(bytes, field.sign, field.scale, page_, value);
    what = "invalid zoned decimal";
    break;
  case FieldKind::packed:
    ok = decodePacked(bytes, field.isSigned, field.scale, value);
    what = "invalid packed decimal";
    break;
  case FieldKind::unsignedPacked:
    ok = decodeUnsignedPacked(bytes, field.scale, value);
    what = "invalid packed decimal";
    break;
  case FieldKind::binary:
    decodeBinary(bytes, field.isSigned, options_.littleEndian, field.scale, value);
    break;
  case FieldKind::floating:
    ok = decodeFloat(bytes, options_.ieeeFloat, options_.littleEndian, value);
    what = "floating-point value not finite";
    break;
  case FieldKind::decimalFloat:
    ok = decodeDecimalFloat(bytes, options_.littleEndian, value);
    what = "floating-point value not finite";
    break;
  case FieldKind::edited:
    ok = decodeEdited(bytes, *field.picture, field.blankWhenZero, page_, value);
    what = field.picture->category == Category::externalFloatingPoint
               ? "invalid external floating-point value"
               : "invalid numeric-edited value";
    break;
  case FieldKind::group:
    break;
  }
  if (!ok)
    return false;
  if (field.isCounter)
    counterValid_[static_cast<std::size_t>(index)] =
        integerOf(std::string_view(value).substr(start), counters_[static_cast<std::size_t>(index)])
            ? 1
            : 0;
  if (text && options_.trim)
    while (value.size() > start && value.back() == ' ')
      value.pop_back();
  return true;
}

void RecordDecoder::elementary(const PlanField &field, int index, std::int64_t at, bool present,
                               bool first) {
  if (values_ != nullptr)
    return elementaryValue(field, index, at, present);
  beginValue(field, first);
  if (!present)
    return void(*out_ += csv_ ? "" : "null");
  if (at + field.length > static_cast<std::int64_t>(data_.size())) {
    if (!truncated_)
      problem(field, at, field.length, "record too short for the field");
    truncated_ = true;
    return void(*out_ += csv_ ? "" : "null");
  }
  const std::string_view bytes =
      data_.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(field.length));
  bool text = false;
  const char *what = nullptr;
  std::string &line = *out_;
  if (field.kind != FieldKind::text && field.kind != FieldKind::national &&
      field.kind != FieldKind::dbcs) {
    // A number needs no escape: written straight into the line.
    const std::size_t start = line.size();
    if (!read(field, index, bytes, line, start, text, what)) {
      line.resize(start);
      problem(field, at, field.length, what);
      line += csv_ ? "" : "null";
    }
    return;
  }
  // Text of the code page: decoded, escaped and trimmed in one pass.
  if (field.kind == FieldKind::text && !field.isCounter &&
      !(dbcs_ && bytes.find('\x0E') != std::string_view::npos) &&
      (csv_ ? page_.appendCsv(bytes, options_.trim, line)
            : page_.appendJson(bytes, options_.trim, line)))
    return;
  std::string &value = scratch_;
  value.clear();
  if (!read(field, index, bytes, value, 0, text, what)) {
    problem(field, at, field.length, what);
    *out_ += csv_ ? "" : "null";
    return;
  }
  if (csv_ && text)
    appendCsvField(value, *out_);
  else if (text)
    appendJsonString(value, *out_);
  else
    *out_ += value;
}

void RecordDecoder::elementaryValue(const PlanField &field, int index, std::int64_t at,
                                    bool present) {
  const std::uint32_t key =
      element_ ? noValue : values_->open(ValueType::key, static_cast<std::uint32_t>(index));
  if (!present)
    return nullValue(key);
  if (at + field.length > static_cast<std::int64_t>(data_.size())) {
    if (!truncated_)
      problem(field, at, field.length, "record too short for the field");
    truncated_ = true;
    return nullValue(key);
  }
  const std::string_view bytes =
      data_.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(field.length));
  // A decimal that fits 64 bits goes over as its whole number: no text to
  // write here or to read back in the writer.
  std::int64_t whole = 0;
  const WholeRead wholeRead = readWhole(field, bytes, whole);
  if (wholeRead == WholeRead::invalid) {
    problem(field, at, field.length,
            field.kind == FieldKind::zoned    ? "invalid zoned decimal"
            : field.kind == FieldKind::binary ? "invalid value"
                                              : "invalid packed decimal");
    return nullValue(key);
  }
  if (wholeRead == WholeRead::ok) {
    if (field.isCounter) {
      std::int64_t count = 0;
      counterValid_[static_cast<std::size_t>(index)] =
          rescale(whole, field.scale, 0, count) ? 1 : 0;
      counters_[static_cast<std::size_t>(index)] = count;
    }
    values_->scaled(whole, field.scale);
    if (key != noValue)
      values_->close(key);
    return;
  }
  // Decoded straight into the batch's text: no copy, no escapes.
  std::string &value = values_->textBuffer();
  const std::size_t start = value.size();
  bool text = false;
  const char *what = nullptr;
  if (!read(field, index, bytes, value, start, text, what)) {
    value.resize(start);
    problem(field, at, field.length, what);
    return nullValue(key);
  }
  values_->appended(text ? ValueType::string : ValueType::number, start);
  if (key != noValue)
    values_->close(key);
}

void RecordDecoder::nullValue(std::uint32_t key) {
  values_->null();
  if (key != noValue)
    values_->close(key);
}

std::int64_t RecordDecoder::occurrence(const PlanField &field, int index, std::int64_t at,
                                       bool present, bool first) {
  if (field.kind != FieldKind::group) {
    elementary(field, index, at, present, first);
    if (present)
      decodedEnd_ = std::max(decodedEnd_, at + field.length);
    return field.length;
  }
  const std::uint32_t object = values_ != nullptr ? values_->open(ValueType::object) : noValue;
  if (values_ == nullptr && !csv_)
    *out_ += '{';
  std::int64_t shift = 0;
  bool firstChild = csv_ ? first : true;
  for (const int child : field.children) {
    const PlanField &member = plan_.fields[static_cast<std::size_t>(child)];
    // A FILLER, or a field -select leaves out: walked past, or only measured.
    if ((member.hidden || member.skipped) && !member.measured)
      continue;
    const bool picked = chosen(child);
    if (!picked && !csv_)
      continue;
    const std::int64_t place = at + member.offset + (member.redefining ? 0 : shift);
    std::int64_t size;
    if (member.measured && (member.hidden || member.skipped)) {
      measure(child, place, present && picked, size);
    } else {
      size = this->field(child, place, present && picked, firstChild);
      firstChild = false;
    }
    if (!member.redefining)
      shift += size - member.length * member.maxCount;
  }
  if (values_ != nullptr)
    values_->close(object);
  else if (!csv_)
    *out_ += '}';
  return field.length + shift;
}

void RecordDecoder::measure(int index, std::int64_t at, bool present, std::int64_t &size) {
  const RecordValues::Mark values = values_ != nullptr ? values_->mark() : RecordValues::Mark{};
  const std::size_t text = values_ != nullptr ? 0 : out_->size();
  const std::size_t problems = problems_->size();
  const bool columnFirst = columnFirst_;
  const bool truncated = truncated_;
  size = field(index, at, present, true);
  if (values_ != nullptr)
    values_->truncate(values);
  else
    out_->resize(text);
  problems_->resize(problems);
  columnFirst_ = columnFirst;
  truncated_ = truncated;
}

RecordDecoder::Match RecordDecoder::match(std::string_view data) {
  data_ = data;
  Match found;
  for (std::size_t r = 0; r < plan_.rules.size(); ++r) {
    const DecodePlan::Rule &rule = plan_.rules[r];
    if ((found.rule >= 0 && (rule.record < 0 || found.record >= 0)) || !ruleMatches(rule))
      continue;
    if (found.rule < 0)
      found.rule = static_cast<int>(r);
    if (rule.record >= 0 && found.record < 0)
      found.record = rule.record;
  }
  return found;
}

std::int64_t RecordDecoder::field(int index, std::int64_t at, bool present, bool first) {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (!field.isArray) {
    if (field.kind == FieldKind::group && values_ != nullptr) {
      const std::uint32_t key = values_->open(ValueType::key, static_cast<std::uint32_t>(index));
      const std::int64_t size = occurrence(field, index, at, present, first);
      values_->close(key);
      return size;
    }
    if (field.kind == FieldKind::group && !csv_)
      beginValue(field, first);
    return occurrence(field, index, at, present, first);
  }
  std::int64_t count = field.maxCount;
  bool valid = present;
  if (field.counter >= 0 && present) {
    const auto counter = static_cast<std::size_t>(field.counter);
    if (!counterValid_[counter] || counters_[counter] < field.minCount ||
        counters_[counter] > field.maxCount) {
      problem(field, at, 0, "DEPENDING ON count out of range");
      problems_->back().what +=
          " (" +
          (counterValid_[counter] ? std::to_string(counters_[counter]) : std::string("invalid")) +
          ")";
      valid = false;
      if (counterValid_[counter])
        count = std::clamp(counters_[counter], field.minCount, field.maxCount);
    } else {
      count = counters_[counter];
    }
  }
  if (csv_) {
    for (std::int64_t i = 0; i < field.maxCount; ++i)
      occurrence(field, index, at + i * field.length, valid && i < count, first && i == 0);
    return count * field.length;
  }
  if (values_ != nullptr)
    return values(field, index, at, valid, count);
  if (!valid) {
    beginValue(field, first);
    *out_ += "null";
    return count * field.length;
  }
  beginValue(field, first);
  *out_ += '[';
  for (std::int64_t i = 0; i < count; ++i) {
    if (i != 0)
      *out_ += ',';
    if (field.kind == FieldKind::group) {
      occurrence(field, index, at + i * field.length, true, true);
    } else {
      const std::size_t before = out_->size();
      elementary(field, index, at + i * field.length, true, true);
      // elementary wrote the key; an array element has none.
      out_->erase(before, field.name.size());
    }
  }
  *out_ += ']';
  return count * field.length;
}

// An array as values: its key, then null or its elements.
std::int64_t RecordDecoder::values(const PlanField &field, int index, std::int64_t at, bool valid,
                                   std::int64_t count) {
  const std::uint32_t key = values_->open(ValueType::key, static_cast<std::uint32_t>(index));
  if (!valid) {
    nullValue(key);
    return count * field.length;
  }
  const std::uint32_t array = values_->open(ValueType::array);
  for (std::int64_t i = 0; i < count; ++i) {
    if (field.kind == FieldKind::group) {
      occurrence(field, index, at + i * field.length, true, true);
    } else {
      element_ = true;
      elementary(field, index, at + i * field.length, true, true);
      element_ = false;
    }
  }
  values_->close(array);
  values_->close(key);
  return count * field.length;
}

void RecordDecoder::decode(std::string_view data, std::int64_t declared, std::string &out,
                           std::vector<DecodeProblem> &problems) {
  out_ = &out;
  values_ = nullptr;
  data_ = data;
  problems_ = &problems;
  if (lineCompiled_ && static_cast<std::int64_t>(data.size()) >= lineLength_) {
    const std::size_t start = out.size();
    out.resize(start + lineRoom_);
    char *const end = writeLine(data, declared, out.data() + start);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return;
  }
  record(data, declared, problems);
}

void RecordDecoder::decode(std::string_view data, std::int64_t declared, RecordValues &out,
                           std::vector<DecodeProblem> &problems) {
  // Values have the JSON line's shape, whatever the text format would be.
  data_ = data;
  problems_ = &problems;
  if (lineCompiled_ && out.encoder() != nullptr && encodeValues(data, declared, out))
    return;
  if (lineCompiled_ && compactable_ && out.takesCompact() && writeCompact(data, declared, out))
    return;
  if (lineCompiled_ && writeValues(data, declared, out))
    return;
  const bool csv = csv_;
  csv_ = false;
  values_ = &out;
  out_ = nullptr;
  record(data, declared, problems);
  values_ = nullptr;
  csv_ = csv;
}

void RecordDecoder::record(std::string_view data, std::int64_t declared,
                           std::vector<DecodeProblem> &problems) {
  data_ = data;
  problems_ = &problems;
  truncated_ = false;
  columnFirst_ = true;
  std::fill(counterValid_.begin(), counterValid_.end(), 0);
  std::fill(groupPicked_.begin(), groupPicked_.end(), 0);
  std::fill(pickedAlternative_.begin(), pickedAlternative_.end(), 0);
  anyPicked_ = false;
  decodedEnd_ = 0;
  int pickedRecord = -1;
  for (std::size_t r = 0; r < plan_.rules.size(); ++r) {
    const DecodePlan::Rule &rule = plan_.rules[r];
    if (!ruleMatches(rule))
      continue;
    if (rule.record >= 0) {
      if (pickedRecord < 0)
        pickedRecord = rule.record;
    } else {
      const auto alternative = static_cast<std::size_t>(rule.alternative);
      pickedAlternative_[alternative] = 1;
      groupPicked_[static_cast<std::size_t>(plan_.fields[alternative].alternatives)] = 1;
      anyPicked_ = true;
    }
  }
  if (values_ != nullptr)
    values_->beginRecord();
  else if (!csv_)
    *out_ += '{';
  bool first = true;
  std::int64_t used = -1;
  for (std::size_t r = 0; r < plan_.records.size(); ++r) {
    const PlanRecord &record = plan_.records[r];
    const bool picked = pickedRecord < 0 || pickedRecord == static_cast<int>(r);
    if (!picked && !csv_)
      continue;
    const PlanField &root = plan_.fields[static_cast<std::size_t>(record.root)];
    // An elementary record writes its own key, as any item does.
    const bool group = root.kind == FieldKind::group;
    if (values_ != nullptr) {
      const std::uint32_t key =
          group ? values_->open(ValueType::key, static_cast<std::uint32_t>(record.root)) : noValue;
      used = occurrence(root, record.root, 0, true, true);
      if (group)
        values_->close(key);
      continue;
    }
    if (!csv_) {
      if (!first && group)
        *out_ += ',';
      if (group)
        *out_ += root.name;
      used = occurrence(root, record.root, 0, true, first);
      first = false;
      continue;
    }
    occurrence(root, record.root, 0, picked, true);
  }
  if (values_ != nullptr)
    values_->close(values_->record(values_->records() - 1));
  else
    *out_ += csv_ ? "\r\n" : "}\n";
  // A segment chosen by -when may be shorter than the area's largest
  // alternative: a record that ends where its chosen fields end fits.
  if (declared >= 0 && used >= 0 && !truncated_ && declared != used &&
      !(anyPicked_ && declared == decodedEnd_)) {
    problems.push_back(DecodeProblem{plan_.records.front().name,
                                     "record length " + std::to_string(declared) +
                                         " disagrees with the layout's " + std::to_string(used),
                                     0, ""});
  }
}

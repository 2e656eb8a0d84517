// Descriptor words, lengths from a field and lengths from DEPENDING ON counts.
#include "decoder/framing.h"

#include <algorithm>
#include <cstdio>

#include "decoder/compressed_input.h"
#include "decoder/field_values.h"

namespace {

unsigned byteAt(std::string_view bytes, std::size_t at) {
  return static_cast<unsigned char>(bytes[at]);
}


} // namespace

ShortWord readShortWord(std::string_view word, bool little) {
  ShortWord read;
  if (word.size() < 4)
    return read;
  if (!little) {
    read.length = byteAt(word, 0) << 8 | byteAt(word, 1);
    read.reservedSet = byteAt(word, 2) != 0 || byteAt(word, 3) != 0;
  } else if (byteAt(word, 0) == 0 && byteAt(word, 1) == 0) {
    read.length = byteAt(word, 3) << 8 | byteAt(word, 2);
  } else {
    read.length = byteAt(word, 1) << 8 | byteAt(word, 0);
    read.reservedSet = byteAt(word, 2) != 0 || byteAt(word, 3) != 0;
  }
  return read;
}

namespace {

DescriptorWord readWord(std::string_view word, const DecodeOptions &options, bool block) {
  DescriptorWord read;
  if (word.size() < 4)
    return read;
  const bool little = options.littleEndianWords;
  std::int64_t length = 0;
  // The extended block length: bit 31 of the word set, the other 31 bits the
  // length; the two bytes that are reserved in the short form hold its low part.
  const bool extended = block && (byteAt(word, little ? 3 : 0) & 0x80) != 0;
  if (extended) {
    for (int i = 0; i < 4; ++i)
      length = length << 8 | byteAt(word, static_cast<std::size_t>(little ? 3 - i : i));
    length &= 0x7FFFFFFF;
  } else {
    const ShortWord shortWord = readShortWord(word, little);
    length = shortWord.length;
    // A short block word's top bit is not part of its length.
    if (block)
      length &= 0x7FFF;
    read.reservedSet = shortWord.reservedSet;
  }
  length += options.descriptorAdjust;
  read.length = length < (block ? 8 : 4) ? -1 : length;
  return read;
}

bool numberOf(FieldKind kind, std::string_view bytes, bool isSigned, ZonedSign sign,
              bool littleEndian, const CodePage &page, std::int64_t &value) {
  std::string text;
  bool ok = true;
  switch (kind) {
  case FieldKind::binary:
    decodeBinary(bytes, isSigned, littleEndian, 0, text);
    break;
  case FieldKind::packed:
    ok = decodePacked(bytes, isSigned, 0, text);
    break;
  case FieldKind::unsignedPacked:
    ok = decodeUnsignedPacked(bytes, 0, text);
    break;
  case FieldKind::zoned:
    ok = decodeZoned(bytes, sign, 0, page, text);
    break;
  default:
    return false;
  }
  return ok && integerOf(text, value);
}

bool isNumber(FieldKind kind) {
  return kind == FieldKind::binary || kind == FieldKind::packed ||
         kind == FieldKind::unsignedPacked || kind == FieldKind::zoned;
}

std::string hex(std::string_view bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%s%02X", i == 0 ? "" : " ", byteAt(bytes, i));
    text += pair;
  }
  return text;
}

} // namespace

DescriptorWord readRecordWord(std::string_view word, const DecodeOptions &options) {
  return readWord(word, options, false);
}

DescriptorWord readBlockWord(std::string_view word, const DecodeOptions &options) {
  return readWord(word, options, true);
}

std::string reservedBytesProblem(std::string_view word, bool block) {
  return std::string(block ? "block" : "record") +
         " descriptor word's reserved bytes are not zero: " + hex(word.substr(0, 4));
}

LengthField::LengthField(const RecordModel &model, const DecodePlan &plan,
                         const DecodeOptions &options, CodePage page)
    : name_(options.lengthField), littleEndian_(options.littleEndian),
      adjust_(options.lengthAdjust), page_(page) {
  const std::string option = "vexfcbl-decode: -length-field " + name_ + ": ";
  const int item = model.find(name_);
  if (item < 0)
    throw PlanError{option + "no such field\n"};
  const ModelItem &found = model.items[static_cast<std::size_t>(item)];
  const PlanField *field = nullptr;
  for (const PlanField &candidate : plan.fields)
    if (candidate.path == found.path)
      field = &candidate;
  if (field == nullptr)
    throw PlanError{option + "not a field of the record decoded\n"};
  kind_ = field->kind;
  const bool mapped = !options.lengthMap.empty();
  if (!isNumber(kind_) && !(mapped && kind_ == FieldKind::text))
    throw PlanError{option + (mapped ? "not a binary, packed, zoned or text field\n"
                                     : "not a binary, packed or zoned number\n")};
  if (field->insideArray)
    throw PlanError{option + "lies inside an OCCURS table\n"};
  isSigned_ = field->isSigned;
  sign_ = field->sign;
  offset_ = found.offset;
  length_ = found.length;
  for (const LengthMapEntry &entry : options.lengthMap) {
    std::string key = entry.value;
    if (isNumber(kind_)) {
      std::int64_t number = 0;
      if (!integerOf(key, number))
        throw PlanError{"vexfcbl-decode: -length-map " + entry.value + ": " + name_ +
                        " is a number, and this is not a whole number\n"};
      key = std::to_string(number);
    }
    map_.emplace_back(std::move(key), entry.length);
  }
}

std::optional<std::int64_t> LengthField::lengthOf(std::string_view head, std::string &why) const {
  const std::string_view bytes =
      head.substr(static_cast<std::size_t>(offset_), static_cast<std::size_t>(length_));
  std::int64_t length = 0;
  if (map_.empty() || isNumber(kind_)) {
    std::int64_t value = 0;
    if (!numberOf(kind_, bytes, isSigned_, sign_, littleEndian_, page_, value)) {
      why = "length field " + name_ + " is not a valid number: " + hex(bytes);
      return std::nullopt;
    }
    if (map_.empty()) {
      length = value + adjust_;
    } else {
      const std::string key = std::to_string(value);
      const auto entry = std::find_if(map_.begin(), map_.end(),
                                      [&](const auto &pair) { return pair.first == key; });
      if (entry == map_.end()) {
        why = "length field " + name_ + " holds " + key + ", which -length-map does not name";
        return std::nullopt;
      }
      length = entry->second + adjust_;
    }
  } else {
    std::string text;
    page_.appendText(bytes, text);
    while (!text.empty() && text.back() == ' ')
      text.pop_back();
    const auto entry = std::find_if(map_.begin(), map_.end(),
                                    [&](const auto &pair) { return pair.first == text; });
    if (entry == map_.end()) {
      why = "length field " + name_ + " holds \"" + text + "\", which -length-map does not name";
      return std::nullopt;
    }
    length = entry->second + adjust_;
  }
  if (length < static_cast<std::int64_t>(need())) {
    why = "length field " + name_ + " gives " + std::to_string(length) + " bytes, fewer than the " +
          std::to_string(need()) + " up to the field's end";
    return std::nullopt;
  }
  return length;
}

OccursLength::OccursLength(const DecodePlan &plan, const DecodeOptions &options, CodePage page)
    : plan_(plan), littleEndian_(options.littleEndian), page_(page) {
  if (plan.records.size() != 1)
    throw PlanError{"vexfcbl-decode: -variable-occurs: the copybook has several records; "
                    "name the one to decode with -record\n"};
  maximum_ = plan.records.front().length;
}

std::int64_t OccursLength::size(int index, std::int64_t at, std::string_view data,
                                std::vector<std::int64_t> &counts, std::string &why) const {
  const PlanField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.isCounter && !field.isArray) {
    const auto end = at + field.length;
    std::int64_t value = 0;
    if (end > static_cast<std::int64_t>(data.size()) ||
        !numberOf(field.kind,
                  data.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(field.length)),
                  field.isSigned, field.sign, littleEndian_, page_, value)) {
      why = field.path + ": DEPENDING ON count is not a valid number";
      return -1;
    }
    counts[static_cast<std::size_t>(index)] = value;
  }
  std::int64_t count = field.maxCount;
  if (field.counter >= 0) {
    count = counts[static_cast<std::size_t>(field.counter)];
    if (count < field.minCount || count > field.maxCount) {
      why = field.path + ": DEPENDING ON count out of range (" + std::to_string(count) + ")";
      return -1;
    }
  }
  // Tables hold no counts of their own tables (a DEPENDING ON object lies
  // outside every OCCURS), so an occurrence's size is its layout length.
  if (field.isArray || field.kind != FieldKind::group)
    return count * field.length;
  std::int64_t shift = 0;
  for (const int child : field.children) {
    const PlanField &member = plan_.fields[static_cast<std::size_t>(child)];
    const std::int64_t taken =
        size(child, at + member.offset + (member.redefining ? 0 : shift), data, counts, why);
    if (taken < 0)
      return -1;
    if (!member.redefining)
      shift += taken - member.length * member.maxCount;
  }
  return field.length + shift;
}

std::optional<std::int64_t> OccursLength::lengthOf(std::string_view data, std::string &why) const {
  // Counts are read before their tables, so no stale count is ever read.
  counts_.resize(plan_.fields.size());
  const std::int64_t length = size(plan_.records.front().root, 0, data, counts_, why);
  if (length < 0)
    return std::nullopt;
  return length;
}

std::string framingRefusal(const DecodeOptions &options, const std::string &outputFile) {
  if (options.format == OutputFormat::csv && options.headerOutput.empty() &&
      (!options.headerRecord.empty() || !options.trailerRecord.empty()))
    return std::string("vexfcbl-decode: -") +
           (options.headerRecord.empty() ? "trailer" : "header") +
           " with -format csv needs -header-out FILE: its record has columns of its own\n";
  if (!options.headerOutput.empty() && options.headerRecord.empty() &&
      options.trailerRecord.empty())
    return "vexfcbl-decode: -header-out needs -header or -trailer\n";
  if (!options.headerOutput.empty() && options.headerOutput == outputFile)
    return "vexfcbl-decode: -header-out " + options.headerOutput + ": the same file as -o\n";
  return "";
}

std::string unsplittable(const DecodeOptions &options, const std::vector<RunInput> &files) {
  if (!options.lengthField.empty())
    return "-length-field records are found only by reading each one's length from the start "
           "of the file";
  if (options.variableOccurs)
    return "-variable-occurs records are found only by reading each one's counts from the start "
           "of the file";
  for (const RunInput &file : files)
    if (const Compression compression = compressionOf(file.head); compression != Compression::none)
      return file.name + " is " + compressionName(compression) +
             "-compressed, and compressed data can only be read from its start; decompress it "
             "first to split it";
  return "";
}

std::vector<RunInput> hintedFiles(std::vector<RunInput> files, const DecodeOptions &options) {
  for (RunInput &file : files) {
    if (compressionOf(file.head) != Compression::none) {
      file.head.clear();
      file.size = -1;
      continue;
    }
    file.head.erase(
        0, std::min<std::size_t>(file.head.size(), static_cast<std::size_t>(options.skipBytes)));
    if (file.size >= 0)
      file.size =
          std::max<std::int64_t>(0, file.size - options.skipBytes - options.skipTrailerBytes);
    if (!options.lengthField.empty() || options.variableOccurs)
      file.size = -1;
  }
  return files;
}

DecodePlan endPlan(const RecordModel &model, const DecodeOptions &options,
                   const std::string &record, const char *option) {
  DecodeOptions alone = options;
  alone.record = record;
  alone.rules.clear();
  if (model.findRecord(record) < 0)
    throw PlanError{std::string("vexfcbl-decode: ") + option + " " + record + ": no such record\n"};
  return makeDecodePlan(model, alone);
}

void leaveOutEnds(DecodePlan &plan, const DecodeOptions &options) {
  if (!options.record.empty() || !options.rules.empty())
    return;
  std::vector<PlanRecord> body;
  for (const PlanRecord &record : plan.records)
    if (modelKey(record.name) != modelKey(options.headerRecord) &&
        modelKey(record.name) != modelKey(options.trailerRecord))
      body.push_back(record);
  if (!body.empty())
    plan.records = std::move(body);
}

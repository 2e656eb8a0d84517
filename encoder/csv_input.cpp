// CSV rows to token tapes, by the columns the decoder's header names.
#include "encoder/csv_input.h"

#include <algorithm>
#include <unordered_map>

std::size_t csvRowEnd(std::string_view data, bool atEnd) {
  bool quoted = false;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '"')
      quoted = !quoted;
    else if (c == '\n' && !quoted)
      return i + 1;
  }
  return atEnd ? data.size() : std::string_view::npos;
}

bool splitCsvRow(std::string_view row, std::string &buffer, std::vector<std::string_view> &cells) {
  if (!row.empty() && row.back() == '\n')
    row.remove_suffix(1);
  if (!row.empty() && row.back() == '\r')
    row.remove_suffix(1);
  // Quoted cells are unquoted into `buffer`, which never grows past the
  // row's size here: the views into it stay valid. Other cells are views
  // into the row itself.
  buffer.clear();
  buffer.reserve(row.size());
  cells.clear();
  std::size_t at = 0;
  while (true) {
    std::size_t comma = 0;
    if (at < row.size() && row[at] == '"') {
      const std::size_t start = buffer.size();
      ++at;
      while (true) {
        const std::size_t quote = row.find('"', at);
        if (quote == std::string_view::npos)
          return false;
        buffer.append(row.data() + at, quote - at);
        at = quote + 1;
        if (at < row.size() && row[at] == '"') {
          buffer += '"';
          ++at;
          continue;
        }
        break;
      }
      comma = std::min(row.find(',', at), row.size());
      buffer.append(row.data() + at, comma - at);
      cells.emplace_back(buffer.data() + start, buffer.size() - start);
    } else {
      comma = std::min(row.find(',', at), row.size());
      cells.push_back(row.substr(at, comma - at));
    }
    if (comma == row.size())
      return true;
    at = comma + 1;
  }
}

namespace {

bool isText(EncodeKind kind) {
  return kind == EncodeKind::text || kind == EncodeKind::national || kind == EncodeKind::dbcs;
}

} // namespace

CsvShape::CsvShape(const EncodePlan &plan, const std::vector<std::string_view> &header)
    : plan_(plan), withRecordNames_(plan.records.size() > 1), slots_(plan.fields.size()),
      counterCells_(plan.fields.size()) {
  // Leaf columns per occurrence, members before their groups' sums.
  for (std::size_t i = plan.fields.size(); i-- > 0;) {
    const EncodeField &field = plan.fields[i];
    if (field.hidden)
      continue;
    if (field.kind != EncodeKind::group) {
      slots_[i] = 1;
      continue;
    }
    for (const int child : field.children)
      if (!plan.fields[static_cast<std::size_t>(child)].hidden)
        slots_[i] += slots_[static_cast<std::size_t>(child)] *
                     plan.fields[static_cast<std::size_t>(child)].maxCount;
  }
  for (const EncodeRecord &record : plan.records) {
    firstSlot_.push_back(static_cast<std::int64_t>(names_.size()));
    const EncodeField &root = plan.fields[static_cast<std::size_t>(record.root)];
    const std::string prefix = withRecordNames_ ? record.name : "";
    if (root.kind != EncodeKind::group) {
      names_.push_back(modelKey(prefix.empty() ? root.key : prefix));
      continue;
    }
    for (const int child : root.children)
      collect(child, prefix);
  }
  std::unordered_map<std::string, std::size_t> slotOf;
  for (std::size_t s = 0; s < names_.size(); ++s)
    slotOf.emplace(names_[s], s);
  columnOf_.assign(names_.size(), -1);
  for (std::size_t c = 0; c < header.size(); ++c) {
    if (header[c] == "_raw") {
      rawColumn_ = static_cast<int>(c);
      continue;
    }
    if (header[c] == "_raw_fields") {
      rawFieldsColumn_ = static_cast<int>(c);
      continue;
    }
    const auto found = slotOf.find(modelKey(header[c]));
    if (found == slotOf.end())
      throw CsvHeaderError{"column " + std::to_string(c + 1) + " \"" + std::string(header[c]) +
                           "\" names no field of the copybook"};
    if (columnOf_[found->second] >= 0)
      throw CsvHeaderError{"column " + std::to_string(c + 1) + " \"" + std::string(header[c]) +
                           "\" repeats column " + std::to_string(columnOf_[found->second] + 1)};
    columnOf_[found->second] = static_cast<int>(c);
  }
}

// The column names of a field, OCCURS expanded to their maximum, as the decoder's header has them.
void CsvShape::collect(int index, std::string name) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.hidden)
    return;
  const std::string base = name.empty() ? field.key : name + "." + field.key;
  for (std::int64_t i = 0; i < field.maxCount; ++i) {
    const std::string path = field.isArray ? base + "[" + std::to_string(i + 1) + "]" : base;
    if (field.kind == EncodeKind::group)
      for (const int child : field.children)
        collect(child, path);
    else
      names_.push_back(modelKey(path));
  }
}

std::string_view CsvShape::cell(std::int64_t slot, const std::vector<std::string_view> &cells) const {
  const int column = columnOf_[static_cast<std::size_t>(slot)];
  return column >= 0 && static_cast<std::size_t>(column) < cells.size()
             ? cells[static_cast<std::size_t>(column)]
             : std::string_view();
}

bool CsvShape::anyCell(std::int64_t first, std::int64_t count,
                       const std::vector<std::string_view> &cells) const {
  for (std::int64_t s = first; s < first + count; ++s)
    if (!cell(s, cells).empty())
      return true;
  return false;
}

void CsvShape::tape(const std::vector<std::string_view> &cells, JsonTape &tape) {
  tape.clear();
  // A row with _raw is the decoder's: an empty count is one it could not read.
  decoderRow_ = rawColumn_ >= 0 && static_cast<std::size_t>(rawColumn_) < cells.size() &&
                !cells[static_cast<std::size_t>(rawColumn_)].empty();
  const std::uint32_t object = tape.add(JsonType::object);
  std::vector<std::size_t> given;
  for (std::size_t r = 0; r < plan_.records.size(); ++r) {
    const int root = plan_.records[r].root;
    if (anyCell(firstSlot_[r], slots_[static_cast<std::size_t>(root)], cells))
      given.push_back(r);
  }
  // A row of empty cells is the first record's: its values say what is missing.
  if (given.empty())
    given.push_back(0);
  for (const std::size_t r : given) {
    const EncodeRecord &record = plan_.records[r];
    const std::uint32_t key = tape.add(JsonType::key, record.key);
    occurrence(record.root, firstSlot_[r], cells, tape);
    tape.close(key);
  }
  const auto column = [&](int c) {
    return c >= 0 && static_cast<std::size_t>(c) < cells.size() ? cells[static_cast<std::size_t>(c)]
                                                                : std::string_view();
  };
  if (!column(rawColumn_).empty()) {
    const std::uint32_t key = tape.add(JsonType::key, "_raw");
    tape.close(tape.add(JsonType::string, column(rawColumn_)));
    tape.close(key);
  }
  if (!column(rawFieldsColumn_).empty()) {
    // PATH@OFFSET=BASE64, blank-separated.
    const std::uint32_t key = tape.add(JsonType::key, "_raw_fields");
    const std::uint32_t fields = tape.add(JsonType::object);
    const std::string_view text = column(rawFieldsColumn_);
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = std::min(text.find(' ', at), text.size());
      const std::string_view item = text.substr(at, end - at);
      const std::size_t equals = item.find('=');
      if (!item.empty()) {
        const std::uint32_t name = tape.add(JsonType::key, item.substr(0, equals));
        tape.close(tape.add(JsonType::string,
                            equals == std::string_view::npos ? std::string_view()
                                                             : item.substr(equals + 1)));
        tape.close(name);
      }
      at = end + 1;
    }
    tape.close(fields);
    tape.close(key);
  }
  tape.close(object);
}

void CsvShape::occurrence(int index, std::int64_t slot, const std::vector<std::string_view> &cells,
                          JsonTape &tape) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  if (field.kind != EncodeKind::group) {
    const std::string_view text = cell(slot, cells);
    if (field.isCounter)
      counterCells_[static_cast<std::size_t>(index)] = text;
    // An empty cell is an empty text, but no number: the decoder's null.
    tape.close(isText(field.kind) ? tape.add(JsonType::string, text)
               : text.empty()     ? tape.add(JsonType::null)
                                  : tape.add(JsonType::number, text));
    return;
  }
  const std::uint32_t object = tape.add(JsonType::object);
  std::int64_t at = slot;
  const std::vector<int> &children = field.children;
  for (std::size_t c = 0; c < children.size(); ++c) {
    const int child = children[c];
    const EncodeField &member = plan_.fields[static_cast<std::size_t>(child)];
    if (member.alternatives != child) {
      at = this->emit(child, at, cells, tape);
      continue;
    }
    // Of REDEFINES alternatives, those with a value; the first when none has one.
    std::size_t last = c;
    while (last + 1 < children.size() &&
           plan_.fields[static_cast<std::size_t>(children[last + 1])].alternatives == child)
      ++last;
    std::int64_t end = at;
    bool any = false;
    for (std::size_t d = c; d <= last; ++d) {
      const EncodeField &alternative = plan_.fields[static_cast<std::size_t>(children[d])];
      if (alternative.hidden)
        continue;
      const std::int64_t size = slots_[static_cast<std::size_t>(children[d])] * alternative.maxCount;
      any = any || anyCell(end, size, cells);
      end += size;
    }
    std::int64_t first = at;
    for (std::size_t d = c; d <= last; ++d) {
      const EncodeField &alternative = plan_.fields[static_cast<std::size_t>(children[d])];
      if (alternative.hidden)
        continue;
      const std::int64_t size = slots_[static_cast<std::size_t>(children[d])] * alternative.maxCount;
      if (anyCell(first, size, cells) || (!any && d == c))
        this->emit(children[d], first, cells, tape);
      first += size;
    }
    at = end;
    c = last;
  }
  tape.close(object);
}

std::int64_t CsvShape::emit(int index, std::int64_t slot, const std::vector<std::string_view> &cells,
                            JsonTape &tape) {
  const EncodeField &item = plan_.fields[static_cast<std::size_t>(index)];
  const std::int64_t next = slot + slots_[static_cast<std::size_t>(index)] * item.maxCount;
  if (item.hidden)
    return next;
  // An empty count is no value: the table's elements give it.
  if (item.isCounter && !item.isArray && cell(slot, cells).empty() && !decoderRow_) {
    counterCells_[static_cast<std::size_t>(index)] = {};
    return next;
  }
  const std::uint32_t key = tape.add(JsonType::key, item.key);
  member(index, slot, cells, tape);
  tape.close(key);
  return next;
}

std::int64_t CsvShape::member(int index, std::int64_t slot, const std::vector<std::string_view> &cells,
                              JsonTape &tape) {
  const EncodeField &field = plan_.fields[static_cast<std::size_t>(index)];
  const std::int64_t each = slots_[static_cast<std::size_t>(index)];
  if (!field.isArray) {
    occurrence(index, slot, cells, tape);
    return slot + each;
  }
  // The elements: as many as the count says when it is a valid one, else up
  // to the last with a value.
  std::int64_t count = -1;
  if (field.counter >= 0) {
    const std::string_view counter = counterCells_[static_cast<std::size_t>(field.counter)];
    std::int64_t n = 0;
    if (!counter.empty() && counter.find_first_not_of("0123456789") == std::string_view::npos &&
        counter.size() < 18) {
      for (const char c : counter)
        n = n * 10 + (c - '0');
      if (n >= field.minCount && n <= field.maxCount)
        count = n;
    }
  }
  if (count < 0 && field.counter >= 0 && decoderRow_) {
    // The decoder shows no elements of a table whose count it cannot use.
    tape.close(tape.add(JsonType::null));
    return slot + each * field.maxCount;
  }
  if (count < 0) {
    count = field.maxCount;
    while (count > 0 && !anyCell(slot + (count - 1) * each, each, cells))
      --count;
  }
  const std::uint32_t array = tape.add(JsonType::array);
  for (std::int64_t i = 0; i < count; ++i)
    occurrence(index, slot + i * each, cells, tape);
  tape.close(array);
  return slot + each * field.maxCount;
}

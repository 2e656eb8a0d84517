// The layout as JSON (nlohmann-json) and as a listing-style text table, from the record model.
#include "layout/layout_output.h"
#include "layout/record_map_html.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::ordered_json;

const char *const signPositions[] = {"", "trailing", "leading", "trailing", "leading"};

std::string pathOf(const RecordModel &model, int index) {
  return model.items[static_cast<std::size_t>(index)].path;
}

std::string pictureOf(const ModelItem &item) {
  return item.picture ? pictureDisplayText(*item.picture) : std::string();
}

// The digits and scale of a number are shown for a numeric picture only: an
// edited picture's 9s and "." are print positions.
bool showsDigits(const ModelItem &item) {
  return item.picture && item.picture->category == Category::numeric;
}

std::string literalText(const ConditionValue &value) {
  return value.through ? value.value.text + " THRU " + value.through->text : value.value.text;
}

ordered_json itemJson(const RecordModel &model, const ModelItem &item) {
  ordered_json out;
  out["path"] = item.path;
  out["level"] = item.level;
  out["offset"] = item.offset;
  out["length"] = item.length;
  if (item.slackBefore != 0)
    out["slackBefore"] = item.slackBefore;
  if (*usageName(item.usage) != '\0')
    out["usage"] = usageName(item.usage);
  if (const std::string picture = pictureOf(item); !picture.empty())
    out["picture"] = picture;
  if (showsDigits(item)) {
    out["digits"] = item.picture->digits;
    out["scale"] = item.picture->scale;
  }
  if (item.isSigned)
    out["signed"] = *item.isSigned;
  if (item.sign != SignForm::none) {
    out["signPosition"] = signPositions[static_cast<int>(item.sign)];
    out["signSeparate"] =
        item.sign == SignForm::leadingSeparate || item.sign == SignForm::trailingSeparate;
  }
  if (item.occurs) {
    ordered_json occurs;
    occurs["min"] = item.occurs->min;
    occurs["max"] = item.occurs->max;
    if (!item.occurs->dependingOnName.empty())
      occurs["dependingOn"] = item.occurs->dependingOnName;
    out["occurs"] = occurs;
  }
  if (item.redefines >= 0)
    out["redefines"] = pathOf(model, item.redefines);
  if (item.renames >= 0)
    out["renames"] = pathOf(model, item.renames);
  if (item.renamesThru >= 0 && item.renamesThru != item.renames)
    out["renamesThru"] = pathOf(model, item.renamesThru);
  if (item.synchronized)
    out["sync"] = true;
  if (item.justified)
    out["justified"] = true;
  if (item.blankWhenZero)
    out["blankWhenZero"] = true;
  if (item.variable)
    out["variable"] = true;
  if (!item.conditions.empty()) {
    ordered_json conditions = ordered_json::array();
    for (const Condition &condition : item.conditions) {
      std::vector<std::string> values;
      for (const ConditionValue &value : condition.values)
        values.push_back(literalText(value));
      conditions.push_back({{"name", condition.name}, {"values", values}});
    }
    out["conditions"] = conditions;
  }
  return out;
}

std::string occursText(const ModelItem &item) {
  if (!item.occurs)
    return "";
  const Occurs &occurs = *item.occurs;
  return occurs.dependingOnName.empty()
             ? std::to_string(occurs.max)
             : std::to_string(occurs.min) + " TO " + std::to_string(occurs.max) + " DEPENDING ON " +
                   occurs.dependingOnName;
}

// The last name of a path, for the indented name column.
std::string lastName(const std::string &path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

// The name column: indented by depth, "05 NAME" as a listing writes it.
std::string levelAndName(const ModelItem &item) {
  return std::string(2 * static_cast<std::size_t>(item.depth), ' ') + (item.level < 10 ? "0" : "") +
         std::to_string(item.level) + " " + lastName(item.path);
}

} // namespace

void writeLayoutJson(std::ostream &out, const RecordModel &model) {
  ordered_json document;
  ordered_json list = ordered_json::array();
  for (const ModelRecord &record : model.records) {
    ordered_json entry;
    entry["name"] = record.name;
    entry["length"] = record.length;
    entry["minLength"] = record.minLength;
    entry["maxLength"] = record.length;
    ordered_json items = ordered_json::array();
    for (int i = record.root; i < record.end; ++i)
      items.push_back(itemJson(model, model.items[static_cast<std::size_t>(i)]));
    entry["items"] = items;
    list.push_back(entry);
  }
  document["records"] = list;
  out << document.dump(2) << "\n";
}

void writeLayoutTable(std::ostream &out, const RecordModel &model) {
  for (const ModelRecord &record : model.records) {
    const auto first = model.items.begin() + record.root;
    const auto last = model.items.begin() + record.end;
    std::size_t nameWidth = 4;
    std::size_t pictureWidth = 7;
    std::size_t usageWidth = 5;
    for (auto item = first; item != last; ++item) {
      nameWidth = std::max(nameWidth, levelAndName(*item).size());
      pictureWidth = std::max(pictureWidth, pictureOf(*item).size());
      usageWidth = std::max(usageWidth, std::strlen(usageName(item->usage)));
    }
    out << std::right << std::setw(9) << "START" << std::setw(10) << "END" << std::setw(10)
        << "OFFSET" << std::setw(10) << "LENGTH"
        << "  " << std::left << std::setw(nameWidth) << "NAME"
        << "  " << std::setw(pictureWidth) << "PICTURE"
        << "  " << std::setw(usageWidth) << "USAGE"
        << "  OCCURS\n";
    for (auto item = first; item != last; ++item) {
      std::ostringstream row;
      row << std::right << std::setw(9) << item->offset + 1 << std::setw(10)
          << item->offset + item->length << std::setw(10) << item->offset << std::setw(10)
          << item->length << "  " << std::left << std::setw(nameWidth) << levelAndName(*item)
          << "  " << std::setw(pictureWidth) << pictureOf(*item) << "  " << std::setw(usageWidth)
          << usageName(item->usage) << "  " << occursText(*item);
      std::string line = row.str();
      line.erase(line.find_last_not_of(' ') + 1);
      out << line << "\n";
    }
    out << "Record " << record.name << ": length " << record.length;
    if (record.minLength != record.length)
      out << " (" << record.minLength << " to " << record.length << ")";
    out << "\n\n";
  }
}

namespace {

std::string recordMapTitle(const RecordModel &model) {
  std::string title = "Record map:";
  for (const ModelRecord &record : model.records)
    title += (&record == &model.records.front() ? " " : ", ") + record.name;
  return title;
}

} // namespace

bool writeLayoutFile(const std::string &fileName, const RecordModel &model) {
  if (fileName == "-") {
    writeLayoutTable(std::cout, model);
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (file) {
    auto endsWith = [&](const char *suffix) {
      const std::size_t n = std::strlen(suffix);
      return fileName.size() >= n && fileName.compare(fileName.size() - n, n, suffix) == 0;
    };
    if (endsWith(".json"))
      writeLayoutJson(file, model);
    else if (endsWith(".html"))
      writeRecordMapHtml(file, model, RecordMapPage{recordMapTitle(model), {}});
    else
      writeLayoutTable(file, model);
    file.close();
  }
  if (!file) {
    std::cerr << "Error: Cannot write the layout file '" << fileName << "'.\n";
    return false;
  }
  return true;
}

// The layout as JSON (nlohmann-json) and as a listing-style text table.
#include "layout/layout_output.h"

#include <algorithm>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace {

using nlohmann::ordered_json;

ordered_json itemJson(const LayoutItem &item) {
  ordered_json out;
  out["path"] = item.path;
  out["level"] = item.level;
  out["offset"] = item.offset;
  out["length"] = item.length;
  if (item.slackBefore != 0)
    out["slackBefore"] = item.slackBefore;
  if (!item.usage.empty())
    out["usage"] = item.usage;
  if (!item.picture.empty())
    out["picture"] = item.picture;
  if (item.digits)
    out["digits"] = *item.digits;
  if (item.scale)
    out["scale"] = *item.scale;
  if (item.isSigned)
    out["signed"] = *item.isSigned;
  if (!item.signPosition.empty()) {
    out["signPosition"] = item.signPosition;
    out["signSeparate"] = item.signSeparate;
  }
  if (item.occurs) {
    ordered_json occurs;
    occurs["min"] = item.occurs->min;
    occurs["max"] = item.occurs->max;
    if (!item.occurs->dependingOn.empty())
      occurs["dependingOn"] = item.occurs->dependingOn;
    out["occurs"] = occurs;
  }
  if (!item.redefines.empty())
    out["redefines"] = item.redefines;
  if (!item.renames.empty())
    out["renames"] = item.renames;
  if (!item.renamesThru.empty())
    out["renamesThru"] = item.renamesThru;
  if (item.sync)
    out["sync"] = true;
  if (item.justified)
    out["justified"] = true;
  if (item.blankWhenZero)
    out["blankWhenZero"] = true;
  if (item.variable)
    out["variable"] = true;
  if (!item.conditions.empty()) {
    ordered_json conditions = ordered_json::array();
    for (const LayoutCondition &condition : item.conditions)
      conditions.push_back({{"name", condition.name}, {"values", condition.values}});
    out["conditions"] = conditions;
  }
  return out;
}

std::string occursText(const LayoutItem &item) {
  if (!item.occurs)
    return "";
  const LayoutOccurs &occurs = *item.occurs;
  std::string text = occurs.dependingOn.empty()
                         ? std::to_string(occurs.max)
                         : std::to_string(occurs.min) + " TO " + std::to_string(occurs.max) +
                               " DEPENDING ON " + occurs.dependingOn;
  return text;
}

// The last name of a path, for the indented name column.
std::string lastName(const std::string &path) {
  const std::size_t dot = path.rfind('.');
  return dot == std::string::npos ? path : path.substr(dot + 1);
}

// The name column: indented by depth, "05 NAME" as a listing writes it.
std::string levelAndName(const LayoutItem &item) {
  return std::string(2 * static_cast<std::size_t>(item.depth), ' ') + (item.level < 10 ? "0" : "") +
         std::to_string(item.level) + " " + lastName(item.path);
}

} // namespace

void writeLayoutJson(std::ostream &out, const std::vector<RecordLayout> &records) {
  ordered_json document;
  ordered_json list = ordered_json::array();
  for (const RecordLayout &record : records) {
    ordered_json entry;
    entry["name"] = record.name;
    entry["length"] = record.length;
    entry["minLength"] = record.minLength;
    entry["maxLength"] = record.maxLength;
    ordered_json items = ordered_json::array();
    for (const LayoutItem &item : record.items)
      items.push_back(itemJson(item));
    entry["items"] = items;
    list.push_back(entry);
  }
  document["records"] = list;
  out << document.dump(2) << "\n";
}

void writeLayoutTable(std::ostream &out, const std::vector<RecordLayout> &records) {
  for (const RecordLayout &record : records) {
    std::size_t nameWidth = 4;
    std::size_t pictureWidth = 7;
    std::size_t usageWidth = 5;
    for (const LayoutItem &item : record.items) {
      nameWidth = std::max(nameWidth, levelAndName(item).size());
      pictureWidth = std::max(pictureWidth, item.picture.size());
      usageWidth = std::max(usageWidth, item.usage.size());
    }
    out << std::right << std::setw(9) << "START" << std::setw(10) << "END" << std::setw(10)
        << "OFFSET" << std::setw(10) << "LENGTH"
        << "  " << std::left << std::setw(nameWidth) << "NAME"
        << "  " << std::setw(pictureWidth) << "PICTURE"
        << "  " << std::setw(usageWidth) << "USAGE"
        << "  OCCURS\n";
    for (const LayoutItem &item : record.items) {
      const std::string name = std::string(2 * item.depth, ' ') + (item.level < 10 ? "0" : "") +
                               std::to_string(item.level) + " " + lastName(item.path);
      std::string line;
      std::ostringstream row;
      row << std::right << std::setw(9) << item.offset + 1 << std::setw(10)
          << item.offset + item.length << std::setw(10) << item.offset << std::setw(10)
          << item.length << "  " << std::left << std::setw(nameWidth) << name << "  "
          << std::setw(pictureWidth) << item.picture << "  " << std::setw(usageWidth) << item.usage
          << "  " << occursText(item);
      line = row.str();
      line.erase(line.find_last_not_of(' ') + 1);
      out << line << "\n";
    }
    out << "Record " << record.name << ": length " << record.length;
    if (record.minLength != record.maxLength)
      out << " (" << record.minLength << " to " << record.maxLength << ")";
    out << "\n\n";
  }
}

bool writeLayoutFile(const std::string &fileName, const std::vector<RecordLayout> &records) {
  if (fileName == "-") {
    writeLayoutTable(std::cout, records);
    std::cout.flush();
    return static_cast<bool>(std::cout);
  }
  std::ofstream file(fileName, std::ios::binary | std::ios::trunc);
  if (file) {
    const bool json =
        fileName.size() >= 5 && fileName.compare(fileName.size() - 5, 5, ".json") == 0;
    if (json)
      writeLayoutJson(file, records);
    else
      writeLayoutTable(file, records);
    file.close();
  }
  if (!file) {
    std::cerr << "Error: Cannot write the layout file '" << fileName << "'.\n";
    return false;
  }
  return true;
}

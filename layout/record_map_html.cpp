// The record map page: items placed on rows by offset, drawn with absolute positions scaled by a
// CSS variable (the byte width), so that a 2,000-byte record stays one scrollable strip.
#include "layout/record_map_html.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

namespace {

std::string escaped(const std::string &text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
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
      out += "&quot;";
      break;
    default:
      // Control characters of undecodable bytes would break the page's text.
      if (static_cast<unsigned char>(c) < 0x20 && c != '\n')
        out += "\xC2\xB7";
      else
        out += c;
    }
  }
  return out;
}

std::string pictureOf(const ModelItem &item) {
  return item.picture ? pictureDisplayText(*item.picture) : std::string();
}

std::string usageOf(const ModelItem &item) {
  const std::string usage = usageName(item.usage);
  return usage.empty() && !item.isGroup() ? "DISPLAY" : usage;
}

// The hover text: name, offset, length, picture, usage, OCCURS and REDEFINES.
std::string hoverText(const RecordModel &model, const ModelItem &item) {
  std::string text = item.path + "\noffset " + std::to_string(item.offset) + ", length " +
                     std::to_string(item.length);
  if (const std::string picture = pictureOf(item); !picture.empty())
    text += "\nPIC " + picture;
  if (const std::string usage = usageOf(item); !usage.empty())
    text += "\nUSAGE " + usage;
  if (item.occurs) {
    text += "\nOCCURS ";
    if (item.occurs->dependingOn >= 0)
      text += std::to_string(item.occurs->min) + " TO ";
    text += std::to_string(item.occurs->max) + " TIMES";
    if (item.occurs->dependingOn >= 0)
      text += " DEPENDING ON " + item.occurs->dependingOnName;
  }
  if (item.redefines >= 0)
    text += "\nREDEFINES " + model.items[static_cast<std::size_t>(item.redefines)].name;
  return text;
}

// A colour per usage family, light enough for dark text.
const char *colourClass(const ModelItem &item) {
  if (item.isGroup())
    return "g";
  switch (item.category) {
  case Category::alphabetic:
  case Category::alphanumeric:
  case Category::alphanumericEdited:
    return "x";
  case Category::national:
  case Category::dbcs:
    return "n";
  case Category::numericEdited:
  case Category::externalFloatingPoint:
    return "e";
  default:
    break;
  }
  switch (item.usage) {
  case Usage::comp3:
  case Usage::packedDecimal:
  case Usage::comp6:
    return "p";
  case Usage::none:
  case Usage::display:
    return "z";
  case Usage::comp1:
  case Usage::comp2:
  case Usage::floatShort:
  case Usage::floatLong:
    return "f";
  default:
    return "b";
  }
}

// Rows: an item sits below its group, on the first row where it overlaps no
// item already placed (REDEFINES alternatives go one below the other).
std::vector<int> placeRows(const RecordModel &model, const ModelRecord &record, int &rows) {
  std::vector<int> row(static_cast<std::size_t>(record.end - record.root), -1);
  std::vector<std::vector<std::pair<std::int64_t, std::int64_t>>> taken;
  rows = 0;
  for (int i = record.root; i < record.end; ++i) {
    const ModelItem &item = model.items[static_cast<std::size_t>(i)];
    if (item.renames >= 0 || item.level == 66)
      continue;
    const int parentRow = item.parent >= record.root && item.parent < record.end
                              ? row[static_cast<std::size_t>(item.parent - record.root)]
                              : -1;
    const std::int64_t begin = item.offset;
    const std::int64_t end =
        item.offset + item.length * (item.occurs ? std::max<std::int64_t>(1, item.occurs->max) : 1);
    int r = parentRow + 1;
    for (;; ++r) {
      if (static_cast<std::size_t>(r) >= taken.size())
        taken.resize(static_cast<std::size_t>(r) + 1);
      const auto &spans = taken[static_cast<std::size_t>(r)];
      if (std::none_of(spans.begin(), spans.end(),
                       [&](const auto &s) { return begin < s.second && s.first < end; }))
        break;
    }
    taken[static_cast<std::size_t>(r)].emplace_back(begin, std::max(end, begin + 1));
    row[static_cast<std::size_t>(i - record.root)] = r;
    rows = std::max(rows, r + 1);
  }
  return row;
}

const char style[] = R"(
:root { --bw: 14px; --rh: 22px; }
body { font: 13px/1.4 system-ui, sans-serif; margin: 1em; color: #222; }
h1 { font-size: 1.3em; } h2 { font-size: 1.1em; margin-top: 1.5em; }
.controls { position: sticky; top: 0; background: #fff; padding: .3em 0; z-index: 5; border-bottom: 1px solid #ddd; }
.strip { overflow-x: auto; border: 1px solid #ccc; padding-bottom: 4px; }
.bar { position: relative; }
.ruler { position: relative; height: 16px; font: 10px monospace; color: #777; }
.ruler span { position: absolute; border-left: 1px solid #bbb; padding-left: 2px; }
.item { position: absolute; height: calc(var(--rh) - 3px); box-sizing: border-box; border: 1px solid #666;
        overflow: hidden; white-space: nowrap; font-size: 11px; padding: 1px 2px; cursor: default; }
.item.g { background: #eef; border-color: #99b; }
.item.x { background: #cfe8ff; } .item.z { background: #d8f5c8; } .item.p { background: #ffe1b3; }
.item.b { background: #f5d0f0; } .item.f { background: #e8e0ff; } .item.e { background: #fff3b0; }
.item.n { background: #d0f0ee; }
.item.occ { background-image: repeating-linear-gradient(45deg, transparent 0 6px, rgba(0,0,0,.07) 6px 12px); }
.item.redef { border-style: dashed; }
.item:hover, .item.hl { outline: 2px solid #d00; z-index: 3; }
.tip { position: fixed; background: #222; color: #fff; padding: 4px 8px; border-radius: 4px; white-space: pre;
       font: 12px monospace; pointer-events: none; display: none; z-index: 10; }
.rec { position: relative; margin-top: 4px; }
.hex { font-family: monospace; font-size: calc(var(--bw) / 1.2); letter-spacing: 0; white-space: pre;
       height: 1.3em; color: #444; }
.vals { position: relative; height: var(--rh); }
.val { position: absolute; height: calc(var(--rh) - 3px); box-sizing: border-box; border: 1px solid #bbb;
       overflow: hidden; white-space: nowrap; font: 11px monospace; padding: 1px 2px; background: #f8f8f8; }
.val.bad { background: #ffd4d4; border-color: #d33; }
.reading { display: none; } .reading.on { display: block; }
.meta { font-size: 11px; color: #666; margin-top: .6em; }
table.items { border-collapse: collapse; font-size: 12px; margin-top: 1em; }
table.items td, table.items th { border: 1px solid #ddd; padding: 1px 6px; text-align: left; }
table.items td.num { text-align: right; }
code { background: #f3f3f3; padding: 1px 4px; }
)";

const char script[] = R"(
(function () {
  var tip = document.getElementById('tip');
  document.addEventListener('mouseover', function (e) {
    var t = e.target.closest('[data-tip]');
    if (!t) { tip.style.display = 'none'; return; }
    tip.textContent = t.getAttribute('data-tip');
    tip.style.display = 'block';
  });
  document.addEventListener('mousemove', function (e) {
    tip.style.left = (e.clientX + 12) + 'px'; tip.style.top = (e.clientY + 12) + 'px';
  });
  var zoom = document.getElementById('zoom');
  zoom.addEventListener('input', function () {
    document.documentElement.style.setProperty('--bw', zoom.value + 'px');
  });
  var choice = document.getElementById('reading');
  if (choice) choice.addEventListener('change', function () {
    document.querySelectorAll('.reading').forEach(function (r) {
      r.classList.toggle('on', r.id === choice.value);
    });
  });
  // The strips scroll together, so records stay aligned with the map.
  var syncing = false;
  document.querySelectorAll('.strip').forEach(function (strip) {
    strip.addEventListener('scroll', function () {
      if (syncing) return;
      syncing = true;
      document.querySelectorAll('.strip').forEach(function (other) {
        if (other !== strip) other.scrollLeft = strip.scrollLeft;
      });
      syncing = false;
    });
  });
  document.addEventListener('click', function (e) {
    var t = e.target.closest('[data-item]');
    document.querySelectorAll('.hl').forEach(function (h) { h.classList.remove('hl'); });
    if (!t) return;
    document.querySelectorAll('[data-item="' + t.getAttribute('data-item') + '"]').forEach(function (h) {
      h.classList.add('hl');
    });
  });
})();
)";

std::string position(std::int64_t offset, std::int64_t length) {
  return "left:calc(var(--bw)*" + std::to_string(offset) + ");width:calc(var(--bw)*" +
         std::to_string(std::max<std::int64_t>(1, length)) + ")";
}

void writeRecordBar(std::ostream &out, const RecordModel &model, const ModelRecord &record) {
  int rows = 0;
  const std::vector<int> row = placeRows(model, record, rows);
  out << "<h2>" << escaped(record.name) << " <span class=\"meta\">" << record.length << " bytes";
  if (record.minLength != record.length)
    out << " (" << record.minLength << " at the fewest DEPENDING ON occurrences)";
  out << "</span></h2>\n<div class=\"strip\"><div class=\"bar\" style=\"width:calc(var(--bw)*"
      << std::max<std::int64_t>(1, record.length) << ");height:calc(var(--rh)*" << rows
      << " + 16px)\">\n<div class=\"ruler\">";
  const std::int64_t step = record.length > 400 ? 50 : 10;
  for (std::int64_t at = 0; at < record.length; at += step)
    out << "<span style=\"left:calc(var(--bw)*" << at << ")\">" << at << "</span>";
  out << "</div>\n";
  for (int i = record.root; i < record.end; ++i) {
    const ModelItem &item = model.items[static_cast<std::size_t>(i)];
    const int r = row[static_cast<std::size_t>(i - record.root)];
    if (r < 0)
      continue;
    const std::int64_t count = item.occurs ? std::max<std::int64_t>(1, item.occurs->max) : 1;
    std::string classes = std::string("item ") + colourClass(item);
    if (item.occurs)
      classes += " occ";
    if (item.redefines >= 0)
      classes += " redef";
    std::string label = item.isFiller() ? "FILLER" : item.name;
    if (item.occurs)
      label += " \xC3\x97" + std::to_string(count);
    out << "<div class=\"" << classes << "\" data-item=\"" << i << "\" data-path=\""
        << escaped(item.path) << "\" data-offset=\"" << item.offset << "\" data-length=\""
        << item.length << "\" data-tip=\"" << escaped(hoverText(model, item)) << "\" style=\""
        << position(item.offset, item.length * count) << ";top:calc(var(--rh)*" << r
        << " + 16px)\">" << escaped(label) << "</div>\n";
  }
  out << "</div></div>\n";
}

void writeItemTable(std::ostream &out, const RecordModel &model, const ModelRecord &record) {
  out << "<details><summary>Items of " << escaped(record.name)
      << "</summary><table class=\"items\"><tr><th>offset</th><th>length</th><th>level</th>"
         "<th>name</th><th>picture</th><th>usage</th><th>occurs</th><th>redefines</th></tr>\n";
  for (int i = record.root; i < record.end; ++i) {
    const ModelItem &item = model.items[static_cast<std::size_t>(i)];
    out << "<tr class=\"field\" data-item=\"" << i << "\" data-path=\"" << escaped(item.path)
        << "\" data-offset=\"" << item.offset << "\"><td class=\"num\">" << item.offset
        << "</td><td class=\"num\">" << item.length << "</td><td>" << item.level
        << "</td><td style=\"padding-left:" << item.depth << "em\">"
        << escaped(item.isFiller() ? "FILLER" : item.name) << "</td><td>"
        << escaped(pictureOf(item)) << "</td><td>" << escaped(usageOf(item)) << "</td><td>";
    if (item.occurs)
      out << (item.occurs->dependingOn >= 0 ? std::to_string(item.occurs->min) + " TO " : "")
          << item.occurs->max;
    out << "</td><td>"
        << (item.redefines >= 0
                ? escaped(model.items[static_cast<std::size_t>(item.redefines)].name)
                : "")
        << "</td></tr>\n";
  }
  out << "</table></details>\n";
}

std::string hexOf(const std::string &bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
    text += pair;
  }
  return text;
}

void writeReading(std::ostream &out, const RecordModel &model, const RecordMapReading &reading,
                  std::size_t index) {
  out << "<div class=\"reading" << (index == 0 ? " on" : "") << "\" id=\"reading" << index
      << "\">\n<p><b>" << escaped(reading.label) << "</b> &middot; score "
      << static_cast<int>(reading.score * 100 + 0.5) << "<br><code>" << escaped(reading.command)
      << "</code></p>\n";
  for (const RecordMapRecord &record : reading.records) {
    const int r = model.findRecord(record.record);
    if (r < 0)
      continue;
    const ModelRecord &layout = model.records[static_cast<std::size_t>(r)];
    const std::set<int> invalid(record.invalidItems.begin(), record.invalidItems.end());
    out << "<div class=\"meta\">byte " << record.fileOffset << " of the file, "
        << record.bytes.size() << " bytes, as " << escaped(record.record) << "</div>\n"
        << "<div class=\"strip\"><div class=\"rec\" style=\"width:calc(var(--bw)*"
        << std::max<std::int64_t>(layout.length, static_cast<std::int64_t>(record.bytes.size()))
        << ")\"><div class=\"hex\">" << hexOf(record.bytes) << "</div><div class=\"vals\">";
    for (const auto &[item, value] : record.values) {
      const ModelItem &m = model.items[static_cast<std::size_t>(item)];
      const bool bad = invalid.count(item) != 0;
      out << "<div class=\"val" << (bad ? " bad" : "") << "\" data-item=\"" << item
          << "\" data-tip=\"" << escaped(m.path + (bad ? " (invalid)" : "") + "\n" + value)
          << "\" style=\"" << position(m.offset, m.length) << "\">" << escaped(value) << "</div>";
    }
    out << "</div></div></div>\n";
  }
  out << "</div>\n";
}

} // namespace

void writeRecordMapHtml(std::ostream &out, const RecordModel &model, const RecordMapPage &page) {
  out << "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>"
      << escaped(page.title) << "</title>\n<style>" << style << "</style></head>\n<body>\n<h1>"
      << escaped(page.title) << "</h1>\n<div class=\"controls\">byte width "
      << "<input id=\"zoom\" type=\"range\" min=\"2\" max=\"30\" value=\"14\">";
  if (!page.readings.empty()) {
    out << " &nbsp; reading <select id=\"reading\">";
    for (std::size_t i = 0; i < page.readings.size(); ++i)
      out << "<option value=\"reading" << i << "\">" << i + 1 << ". "
          << escaped(page.readings[i].label) << "</option>";
    out << "</select>";
  }
  out << " &nbsp; <span class=\"meta\">text <span class=\"item x\" "
         "style=\"position:static\">X</span>"
         " zoned <span class=\"item z\" style=\"position:static\">9</span>"
         " packed <span class=\"item p\" style=\"position:static\">COMP-3</span>"
         " binary <span class=\"item b\" style=\"position:static\">COMP</span>"
         " group <span class=\"item g\" style=\"position:static\">G</span>"
         "; hatched: OCCURS, dashed: REDEFINES; click an item to mark it everywhere</span></div>\n";
  for (const ModelRecord &record : model.records) {
    writeRecordBar(out, model, record);
    writeItemTable(out, model, record);
  }
  if (!page.readings.empty()) {
    out << "<h2>Records of the file</h2>\n";
    for (std::size_t i = 0; i < page.readings.size(); ++i)
      writeReading(out, model, page.readings[i], i);
  }
  out << "<div id=\"tip\" class=\"tip\"></div>\n<script>" << script
      << "</script>\n</body></html>\n";
}

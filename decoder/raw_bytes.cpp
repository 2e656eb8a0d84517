// The _raw and _raw_fields of -raw, added to a record's JSON object or CSV row.
#include "decoder/raw_bytes.h"

#include "support/base64.h"

RawBytes::RawBytes(const DecodePlan &plan, bool csv) : csv_(csv) {
  for (const PlanField &field : plan.fields)
    if (field.kind != FieldKind::group)
      lengths_.emplace(field.path, field.length);
}

void RawBytes::header(std::string &line) const {
  const std::size_t end = line.size() >= 2 ? line.size() - 2 : line.size();
  line.insert(end, ",_raw,_raw_fields");
}

void RawBytes::append(std::string &text, std::size_t start, std::string_view data,
                      const std::vector<DecodeProblem> &problems) const {
  // The line ends "}\n" (JSON) or "\r\n" (CSV): what is added goes before.
  const std::size_t end = text.size() - 2;
  if (end < start)
    return;
  std::string added = csv_ ? "," : ",\"_raw\":\"";
  appendBase64(data, added);
  added += csv_ ? "," : "\"";
  bool first = true;
  for (const DecodeProblem &problem : problems) {
    // A field's own bytes, whole: not a table whose count is bad, nor a
    // field the record stops inside.
    const auto found = lengths_.find(problem.path);
    if (found == lengths_.end() || problem.what.rfind("DEPENDING ON", 0) == 0 ||
        problem.offset < 0 ||
        problem.offset + found->second > static_cast<std::int64_t>(data.size()))
      continue;
    const std::string key = problem.path + "@" + std::to_string(problem.offset);
    if (csv_) {
      added += first ? "" : " ";
      added += key + "=";
    } else {
      added += first ? ",\"_raw_fields\":{\"" : ",\"";
      added += key + "\":\"";
    }
    appendBase64(data.substr(static_cast<std::size_t>(problem.offset),
                             static_cast<std::size_t>(found->second)),
                 added);
    added += csv_ ? "" : "\"";
    first = false;
  }
  if (!csv_ && !first)
    added += "}";
  text.insert(end, added);
}

// JSON Schema, Avro schema and SQL DDL text from the lake schema.
#include "lake/schema_writers.h"

#include <algorithm>
#include <cstdio>

namespace {

const LakeNode &at(const LakeSchema &schema, int index) {
  return schema.nodes[static_cast<std::size_t>(index)];
}

std::string indent(int depth) { return std::string(static_cast<std::size_t>(depth) * 2, ' '); }

// The JSON Schema of one value (an array's element when `element`).
void jsonValue(const LakeSchema &schema, int index, int depth, bool element, std::string &out);

void jsonObject(const LakeSchema &schema, const LakeNode &node, int depth, std::string &out) {
  const std::string in = indent(depth + 1);
  out += "{\n" + in + "\"type\": \"object\",\n" + in + "\"properties\": {";
  std::string required;
  bool first = true;
  for (const int child : node.children) {
    const LakeNode &member = at(schema, child);
    out += first ? "\n" : ",\n";
    out += indent(depth + 2) + jsonQuoted(member.name) + ": ";
    jsonValue(schema, child, depth + 2, false, out);
    if (!member.optional)
      required += (required.empty() ? "" : ", ") + jsonQuoted(member.name);
    first = false;
  }
  out += "\n" + in + "},\n";
  out += in + "\"required\": [" + required + "],\n";
  out += in + "\"additionalProperties\": false";
  // Exactly one of the sets of REDEFINES alternatives -when can write:
  // each names the alternatives it holds and forbids the others.
  std::vector<std::string> choices;
  for (const LakeNode::Choice &choice : node.choices) {
    std::string oneOf = "\"oneOf\": [";
    for (std::size_t s = 0; s < choice.shapes.size(); ++s) {
      const std::vector<int> &shape = choice.shapes[s];
      std::string names, others;
      for (const int position : choice.alternatives) {
        const std::string name =
            jsonQuoted(at(schema, node.children[static_cast<std::size_t>(position)]).name);
        if (std::find(shape.begin(), shape.end(), position) != shape.end())
          names += (names.empty() ? "" : ", ") + name;
        else
          others += (others.empty() ? "" : ", ") + name + ": false";
      }
      oneOf += std::string(s == 0 ? "" : ", ") + "{\"required\": [" + names + "]";
      if (!others.empty())
        oneOf += ", \"properties\": {" + others + "}";
      oneOf += "}";
    }
    choices.push_back(oneOf + "]");
  }
  if (choices.size() == 1)
    out += ",\n" + in + choices.front();
  else if (choices.size() > 1) {
    out += ",\n" + in + "\"allOf\": [";
    for (std::size_t c = 0; c < choices.size(); ++c)
      out += (c == 0 ? "{" : ", {") + choices[c] + "}";
    out += "]";
  }
  out += "\n" + indent(depth) + "}";
}

void jsonValue(const LakeSchema &schema, int index, int depth, bool element, std::string &out) {
  const LakeNode &node = at(schema, index);
  const std::string in = indent(depth + 1);
  if (node.isArray && !element) {
    out += "{\n" + in + "\"type\": " + (node.arrayNullable ? "[\"array\", \"null\"]" : "\"array\"");
    out += ",\n" + in + "\"minItems\": " + std::to_string(node.minItems);
    if (node.maxItems >= 0)
      out += ",\n" + in + "\"maxItems\": " + std::to_string(node.maxItems);
    out += ",\n" + in + "\"items\": ";
    jsonValue(schema, index, depth + 1, true, out);
    out += "\n" + indent(depth) + "}";
    return;
  }
  if (node.type == LakeType::record)
    return jsonObject(schema, node, depth, out);
  const char *type = node.type == LakeType::text      ? "string"
                     : node.type == LakeType::integer ? "integer"
                                                      : "number";
  out += "{\"type\": ";
  out +=
      node.nullable ? "[\"" + std::string(type) + "\", \"null\"]" : "\"" + std::string(type) + "\"";
  if (node.type == LakeType::text)
    out += ", \"maxLength\": " + std::to_string(node.maxLength);
  if (node.type == LakeType::decimal && node.scale > 0)
    out +=
        ", \"multipleOf\": 0." + std::string(static_cast<std::size_t>(node.scale - 1), '0') + "1";
  if (node.type == LakeType::integer || node.type == LakeType::decimal)
    out += ", \"minimum\": " + node.minimum + ", \"maximum\": " + node.maximum;
  out += "}";
}

std::string avroType(const LakeSchema &schema, int index, bool element, const std::string &scope);

std::string avroRecord(const LakeSchema &schema, const LakeNode &node, const std::string &name) {
  std::string out = "{\"type\": \"record\", \"name\": " + jsonQuoted(name) + ", \"fields\": [";
  bool first = true;
  for (const int child : node.children) {
    const LakeNode &member = at(schema, child);
    out += first ? "" : ", ";
    out += "{\"name\": " + jsonQuoted(avroName(member.name)) +
           ", \"type\": " + avroType(schema, child, false, name + "_" + avroName(member.name)) +
           "}";
    first = false;
  }
  return out + "]}";
}

// `scope`: the unique name a record type takes here (Avro names are global in a schema).
std::string avroType(const LakeSchema &schema, int index, bool element, const std::string &scope) {
  const LakeNode &node = at(schema, index);
  std::string type;
  bool nullable = node.nullable;
  if (node.isArray && !element) {
    type = "{\"type\": \"array\", \"items\": " + avroType(schema, index, true, scope) + "}";
    nullable = node.arrayNullable;
  } else {
    switch (node.type) {
    case LakeType::record:
      type = avroRecord(schema, node, scope);
      break;
    case LakeType::text:
    case LakeType::numberText:
      type = "\"string\"";
      break;
    case LakeType::integer:
      type = node.bits <= 32 ? "\"int\"" : "\"long\"";
      break;
    case LakeType::decimal:
      type = "{\"type\": \"bytes\", \"logicalType\": \"decimal\", \"precision\": " +
             std::to_string(node.precision) + ", \"scale\": " + std::to_string(node.scale) + "}";
      break;
    case LakeType::float32:
      type = "\"float\"";
      break;
    case LakeType::float64:
      type = "\"double\"";
      break;
    }
  }
  if (!element && node.optional)
    nullable = true;
  return nullable ? "[\"null\", " + type + "]" : type;
}

std::string sqlName(std::string_view name) {
  std::string out = "\"";
  for (const char c : name) {
    if (c == '"')
      out += '"';
    out += c;
  }
  return out + "\"";
}

std::string sqlType(const LakeNode &node, bool postgres) {
  switch (node.type) {
  case LakeType::text:
    return (node.fixedWidth ? "CHAR(" : "VARCHAR(") + std::to_string(node.maxLength) + ")";
  case LakeType::integer:
    return node.bits == 16 ? "SMALLINT" : node.bits == 32 ? "INTEGER" : "BIGINT";
  case LakeType::decimal:
    return std::string(postgres ? "NUMERIC(" : "DECIMAL(") + std::to_string(node.precision) + "," +
           std::to_string(node.scale) + ")";
  case LakeType::float32:
    return "REAL";
  case LakeType::float64:
  case LakeType::numberText:
    return "DOUBLE PRECISION";
  case LakeType::record:
    break;
  }
  return postgres ? "JSONB" : "JSON";
}

class SqlWriter {
public:
  SqlWriter(const LakeSchema &schema, bool postgres, SqlArrays arrays)
      : schema_(schema), postgres_(postgres), arrays_(arrays) {}

  std::string write() {
    // -ids' keys are the tables' own columns (record_number, _segment, _parent).
    for (const int record : at(schema_, 0).children)
      if (at(schema_, record).field >= -1)
        table(at(schema_, record).name, record, {}, "");
    return out_;
  }

private:
  // One table: the key columns, then the leaves of `node` below `prefix`.
  void table(const std::string &name, int node, const std::vector<std::string> &parentKeys,
             const std::string &parentTable) {
    const bool top = parentKeys.empty();
    std::vector<std::string> keys = parentKeys;
    keys.push_back(top ? "record_number" : "occurrence" + std::to_string(keys.size()));
    std::string columns;
    for (const std::string &key : keys)
      columns +=
          "  " + sqlName(key) + (key == "record_number" ? " BIGINT" : " INTEGER") + " NOT NULL,\n";
    std::vector<std::pair<std::string, int>> children;
    const LakeNode &start = at(schema_, node);
    // A segment's records name their parent's record_number (-ids, -child).
    if (top && start.segmentColumns)
      columns += "  \"_segment\" VARCHAR(" + std::to_string(start.segmentLength) +
                 "),\n  \"_parent\" BIGINT,\n";
    // An array of elementary items is a child table of one value column.
    const std::vector<int> leaves =
        start.type == LakeType::record ? lakeLeaves(schema_, node, false) : std::vector<int>{node};
    const std::size_t strip = top || start.type != LakeType::record ? 0 : start.column.size() + 1;
    for (const int leaf : leaves) {
      const LakeNode &column = at(schema_, leaf);
      // A tree's arrays of child records are the child segments' own tables.
      if (column.field < -1)
        continue;
      const std::string columnName =
          start.type == LakeType::record ? column.column.substr(strip) : column.name;
      const bool array = column.isArray && leaf != node;
      if (array && arrays_ == SqlArrays::tables) {
        children.emplace_back(name + "." + columnName, leaf);
        continue;
      }
      const bool nullable = array ? column.arrayNullable
                                  : column.nullable || column.optional || optionalAbove(leaf, node);
      columns += "  " + sqlName(columnName) + " " +
                 (array ? std::string(postgres_ ? "JSONB" : "JSON") : sqlType(column, postgres_)) +
                 (nullable ? "" : " NOT NULL") + ",\n";
    }
    std::string keyList;
    for (const std::string &key : keys)
      keyList += (keyList.empty() ? "" : ", ") + sqlName(key);
    out_ += "CREATE TABLE " + sqlName(name) + " (\n" + columns + "  PRIMARY KEY (" + keyList + ")";
    if (top && !start.parentTable.empty())
      out_ += ",\n  FOREIGN KEY (\"_parent\") REFERENCES " + sqlName(start.parentTable) +
              " (\"record_number\")";
    if (!top) {
      std::string parentList;
      for (const std::string &key : parentKeys)
        parentList += (parentList.empty() ? "" : ", ") + sqlName(key);
      out_ += ",\n  FOREIGN KEY (" + parentList + ") REFERENCES " + sqlName(parentTable) + " (" +
              parentList + ")";
    }
    out_ += "\n);\n";
    for (const auto &[childName, child] : children)
      table(childName, child, keys, name);
  }

  // A REDEFINES alternative that may be absent makes every column below it nullable.
  bool optionalAbove(int leaf, int top) const {
    for (int index = parentOf(leaf); index >= 0 && index != top; index = parentOf(index))
      if (at(schema_, index).optional)
        return true;
    return false;
  }
  int parentOf(int index) const {
    for (std::size_t i = 0; i < schema_.nodes.size(); ++i)
      for (const int child : schema_.nodes[i].children)
        if (child == index)
          return static_cast<int>(i);
    return -1;
  }

  const LakeSchema &schema_;
  bool postgres_;
  SqlArrays arrays_;
  std::string out_;
};

} // namespace

std::string jsonQuoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string avroName(std::string_view key) {
  std::string out;
  for (const char c : key)
    out += (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
  if (out.empty() || (out[0] >= '0' && out[0] <= '9'))
    out.insert(0, "_");
  return out;
}

std::string jsonSchemaText(const LakeSchema &schema) {
  std::string out = "{\n  \"$schema\": \"https://json-schema.org/draft/2020-12/schema\",\n";
  out += "  \"title\": " + jsonQuoted(schema.name) + ",\n";
  const LakeNode &line = schema.nodes.front();
  std::string body;
  jsonObject(schema, line, 0, body);
  // The line's own object: its members follow the title.
  out += body.substr(2);
  return out + "\n";
}

std::string avroSchemaText(const LakeSchema &schema) {
  const LakeNode &line = schema.nodes.front();
  if (rowNodeOf(schema) != 0)
    return avroType(schema, rowNodeOf(schema), false, avroName(schema.name)) + "\n";
  LakeNode top = line;
  return avroRecord(schema, top, avroName(schema.name) + "_LINE") + "\n";
}

std::string sqlSchemaText(const LakeSchema &schema, bool postgres, SqlArrays arrays) {
  return SqlWriter(schema, postgres, arrays).write();
}

bool schemaFormatOf(const std::string &fileName, SchemaFormat &format) {
  const auto ends = [&](std::string_view suffix) {
    return fileName.size() >= suffix.size() &&
           fileName.compare(fileName.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (ends(".json"))
    format = SchemaFormat::jsonSchema;
  else if (ends(".avsc"))
    format = SchemaFormat::avro;
  else if (ends(".sql"))
    format = SchemaFormat::sql;
  else
    return false;
  return true;
}

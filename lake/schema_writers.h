#pragma once
// The lake schema written as JSON Schema, as an Avro schema and as SQL DDL.
#include <string>

#include "lake/lake_schema.h"

enum class SchemaFormat { jsonSchema, avro, sql, sqlPostgres };
enum class SqlArrays { tables, json };

// A JSON string literal of `text`, quotes included.
std::string jsonQuoted(std::string_view text);

// JSON Schema (draft 2020-12) of one JSON Lines line: every key the decoder
// writes, required unless a -when rule may leave it out, bounds and scale
// of every number as exact decimal text, null where bad data gives null.
std::string jsonSchemaText(const LakeSchema &schema);

// An Avro name from a COBOL key: "-" becomes "_", a leading digit gets "_".
std::string avroName(std::string_view key);

// The Avro schema of the records as the Avro writer writes them: one record
// alone is the top record; several are each a nullable field of a record
// named after the first. Decimals are bytes with the decimal logical type.
std::string avroSchemaText(const LakeSchema &schema);

// CREATE TABLE statements: one table per record with a "record_number"
// key; each OCCURS a child table keyed by the record number and one
// "occurrenceN" per array level (SqlArrays::tables), or a JSON column.
std::string sqlSchemaText(const LakeSchema &schema, bool postgres, SqlArrays arrays);

// The format a schema file's name asks for: .json, .avsc, .sql; false when
// the extension says nothing.
bool schemaFormatOf(const std::string &fileName, SchemaFormat &format);

// -schema FILE and the choice of the lake writer by -format.
#include "lake/lake_output.h"

#include "decoder/run_files.h"
#include "lake/avro_writer.h"
#include "lake/parquet_writer.h"
#include "lake/schema_writers.h"

namespace {

void writeSchema(const RecordModel &model, const DecodePlan &plan,
                 const std::vector<const DecodePlan *> &ends, const DecodeOptions &options,
                 const std::vector<RunInput> &inputs) {
  SchemaFormat format = SchemaFormat::jsonSchema;
  if (options.schemaFormat == "json-schema")
    format = SchemaFormat::jsonSchema;
  else if (options.schemaFormat == "avro")
    format = SchemaFormat::avro;
  else if (options.schemaFormat == "sql")
    format = SchemaFormat::sql;
  else if (options.schemaFormat == "sql-postgres")
    format = SchemaFormat::sqlPostgres;
  else if (!schemaFormatOf(options.schemaFile, format))
    throw SinkError{"vexfcbl-decode: -schema " + options.schemaFile +
                    ": give -schema-format json-schema|avro|sql|sql-postgres, or a name "
                    "ending in .json, .avsc or .sql\n"};
  const LakeSchema schema = makeLineSchema(model, plan, ends, options);
  const SqlArrays arrays = options.sqlArraysJson ? SqlArrays::json : SqlArrays::tables;
  const std::string text = format == SchemaFormat::jsonSchema ? jsonSchemaText(schema)
                           : format == SchemaFormat::avro
                               ? avroSchemaText(schema)
                               : sqlSchemaText(schema, format == SchemaFormat::sqlPostgres, arrays);
  try {
    DecodeOutput output(options.schemaFile, inputs);
    std::fwrite(text.data(), 1, text.size(), output.stream());
    output.commit();
  } catch (const RunFileError &error) {
    // The spool names the output option it was made for: here it is -schema.
    std::string message = error.message;
    const std::string asOutput = "vexfcbl-decode: -o ";
    if (message.compare(0, asOutput.size(), asOutput) == 0)
      message.replace(0, asOutput.size(), "vexfcbl-decode: -schema ");
    throw SinkError{message};
  }
}

} // namespace

OutputWriters lakeWriters() {
  OutputWriters writers;
  writers.schema = writeSchema;
  writers.sink = [](const SinkRequest &request) {
    return request.options.format == OutputFormat::avro ? makeAvroSink(request)
                                                        : makeParquetSink(request);
  };
  return writers;
}

#pragma once
// The lake library's face to vexfcbl-decode: the writers of -schema and -format avro|parquet.
#include "decoder/record_sink.h"

// The writers decodeFiles calls: `schema` writes -schema FILE in the format
// of -schema-format or of the file's extension, put in place only whole
// (SinkError naming the file and the reason); `sink` makes the Avro or
// Parquet writer of -format.
OutputWriters lakeWriters();

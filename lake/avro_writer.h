#pragma once
// -format avro: Avro object container files written by the Avro C library.
#include <memory>

#include "decoder/record_sink.h"

// The writer of one Avro file on `request.out` with the schema of
// avroSchemaText; -codec null, deflate or snappy (null by default).
// SinkError when the library refuses the schema or the codec.
std::unique_ptr<RecordSink> makeAvroSink(const SinkRequest &request);

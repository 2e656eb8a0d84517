#pragma once
// -format parquet: Parquet files written by a small writer of this project.
#include <memory>

#include "decoder/record_sink.h"

// The writer of one Parquet file on `request.out`: row groups of about
// -row-group-mb, -codec snappy (default), zstd or none.
std::unique_ptr<RecordSink> makeParquetSink(const SinkRequest &request);

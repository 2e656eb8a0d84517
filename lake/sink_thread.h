#pragma once
// A writer of records as values run on a thread of its own, beside the decoding.
#include <memory>

#include "decoder/record_sink.h"

// `inner`'s write(RecordValues &) on a thread of its own: each batch's contents are handed
// over (the batch left empty), at most a few at a time, and written in order; a failure is
// handed back by the number of the call it belongs to (RecordSink::awaitWrites). `encoder`,
// when not nullptr, is the direct encoder `inner` names itself on its first batch: the
// batches the decoding thread fills next are given it at once.
std::unique_ptr<RecordSink> onOwnThread(std::unique_ptr<RecordSink> inner,
                                        const DirectEncoder *encoder);

#pragma once
// Decoding records from Python: Copybook.decoder(**options), its decodes run
// on a thread of their own into a bounded queue, and columns made from the
// decoded lines without a Python object per field.
#include <pybind11/pybind11.h>

#include <memory>

#include "record/record_model.h"

namespace vexpy {

namespace py = pybind11;

// The decoder of `model`'s records under the keyword arguments of
// Copybook.decoder() (TypeError for an unknown name or a wrong type,
// ValueError naming the option for a value it refuses or that does not fit
// the copybook). `comma`: the copybook was read with DECIMAL-POINT IS COMMA.
py::object makeDecoder(const std::shared_ptr<const RecordModel> &model, bool comma,
                       const py::kwargs &options);

// The docstring list of decoder()'s keyword arguments.
std::string decoderKeywordDoc();

// Adds NativeDecoder, NativeDecode and decoder_keywords() to the module.
void defineDecoding(py::module_ &module);

} // namespace vexpy

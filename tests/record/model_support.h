#pragma once
// Support of the record model tests: copybook text through the front end into the model.
#include <string>

#include "record/record_model.h"

struct BuiltModel {
  RecordModel model;
  std::string messages; // what the build wrote
  bool failed = false;  // the build ended with ModelError
  int sourceErrors = 0;
};

// Writes the fixed-format `lines` (each gets seven leading blanks) to a
// copybook in a scratch folder, parses it and builds its record model,
// -lenient when `lenient`.
BuiltModel BuildModel(const std::string &lines, bool lenient = false);

// The index of the item whose path is `path`; fails the test and gives -1
// when there is none.
int ItemAt(const RecordModel &model, const std::string &path);
// That item; an empty item, after failing the test, when there is none.
const ModelItem &Item(const RecordModel &model, const std::string &path);

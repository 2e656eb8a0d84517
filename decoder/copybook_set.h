#pragma once
// The records of one or more copybooks, joined into one record model for one decoding run.
#include <optional>
#include <string>
#include <vector>

#include "converter/conversion_options.h"
#include "frontend/front_end.h"
#include "record/record_model.h"

struct CopybookSet {
  RecordModel model;
  std::vector<std::string> filesRead; // every file the front end read, COPY members included
};

// Parses each of `copybooks` and joins their records, in the order given,
// into one model whose records are all candidates for -record and -when.
// Returns nothing when a copybook has errors (the front end and the record
// model have printed them). Throws PlanError when two copybooks declare a
// record of the same name: the message names both files.
std::optional<CopybookSet> loadCopybooks(const std::vector<std::string> &copybooks,
                                         const FrontEndOptions &frontEnd,
                                         const VexCblConfig &config);

// Appends the items and records of `from` to `into`, every index shifted; the
// caller calls into.index() when done.
void appendModel(RecordModel &into, RecordModel &&from);

// Appends the records of the copybook `name` to `into` as appendModel does,
// after checking that none has the name of a record already there;
// `recordFiles` names the copybook of each record of `into` and grows with
// it. Throws PlanError naming both copybooks when a name is taken.
void appendCopybook(RecordModel &into, std::vector<std::string> &recordFiles, RecordModel &&from,
                    const std::string &name);

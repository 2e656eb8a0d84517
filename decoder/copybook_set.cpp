// Several copybooks as one record model: each parsed in a run of its own, the models joined.
#include "decoder/copybook_set.h"

#include <cstdio>

#include "converter/conversion_messages.h"
#include "decoder/decode_plan.h"
#include "record/model_builder.h"

void appendModel(RecordModel &into, RecordModel &&from) {
  const int base = static_cast<int>(into.items.size());
  const auto shift = [base](int &index) {
    if (index >= 0)
      index += base;
  };
  for (ModelItem &item : from.items) {
    shift(item.parent);
    for (int &member : item.members)
      shift(member);
    if (item.occurs)
      shift(item.occurs->dependingOn);
    shift(item.redefines);
    shift(item.area);
    for (int &alternative : item.alternatives)
      shift(alternative);
    shift(item.renames);
    shift(item.renamesThru);
    into.items.push_back(std::move(item));
  }
  for (ModelRecord &record : from.records) {
    shift(record.root);
    shift(record.end);
    into.records.push_back(std::move(record));
  }
}

void appendCopybook(RecordModel &into, std::vector<std::string> &recordFiles, RecordModel &&from,
                    const std::string &name) {
  for (const ModelRecord &record : from.records) {
    for (std::size_t r = 0; r < into.records.size(); ++r)
      if (modelKey(into.records[r].name) == modelKey(record.name))
        throw PlanError{"vexfcbl-decode: record " + record.name + " is declared in " +
                        recordFiles[r] + " and in " + name +
                        ": records of several copybooks need names of their own\n"};
    recordFiles.push_back(name);
  }
  appendModel(into, std::move(from));
}

std::optional<CopybookSet> loadCopybooks(const std::vector<std::string> &copybooks,
                                         const FrontEndOptions &frontEnd,
                                         const VexCblConfig &config) {
  CopybookSet set;
  std::vector<std::string> recordFile; // the copybook of each record of set.model
  for (const std::string &copybook : copybooks) {
    FrontEndResult parsed = ParseCopybook(copybook, frontEnd);
    RunState::Scope scope(parsed.run());
    if (parsed.errorCount() != 0) {
      std::fputs(vexCblMsg::sourceErrors, stderr);
      return std::nullopt;
    }
    RecordModel model;
    try {
      model = buildRecordModel(parsed.entries(), config);
    } catch (const ModelError &) {
      return std::nullopt;
    }
    for (const std::string &file : parsed.filesRead())
      set.filesRead.push_back(file);
    appendCopybook(set.model, recordFile, std::move(model), copybook);
  }
  set.model.index();
  return set;
}

// Runs the record model over the converted entries and writes its layout where -layout says.
#include "cli/layout_run.h"

#include "layout/layout_output.h"
#include "record/model_builder.h"

VexAfterConversion layoutWriter(const std::string &fileName, const VexCblConfig &options,
                                bool program) {
  return [fileName, options, program](const std::vector<VexProgramPart> &parts) {
    try {
      const RecordModel model = program ? buildProgramRecordModel(parts, options)
                                        : buildRecordModel(parts.front().entries, options);
      return writeLayoutFile(fileName, model) ? VexCvtStatus::completed : VexCvtStatus::failed;
    } catch (const ModelError &) {
      return VexCvtStatus::failed;
    }
  };
}

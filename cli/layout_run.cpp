// Runs the record layout over the converted entries and writes it where -layout says.
#include "cli/layout_run.h"

#include "layout/layout_output.h"
#include "layout/record_layout.h"

VexAfterConversion layoutWriter(const std::string &fileName, const VexCblConfig &options,
                                bool program) {
  return [fileName, options, program](const std::vector<VexProgramPart> &parts) {
    try {
      const std::vector<RecordLayout> records =
          program ? computeProgramLayouts(parts, options)
                  : computeRecordLayouts(parts.front().entries, options);
      return writeLayoutFile(fileName, records) ? VexCvtStatus::completed : VexCvtStatus::failed;
    } catch (const LayoutError &) {
      return VexCvtStatus::failed;
    }
  };
}

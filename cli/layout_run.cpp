// Runs the record layout over the converted entries and writes it where -layout says.
#include "cli/layout_run.h"

#include "layout/layout_output.h"
#include "layout/record_layout.h"

VexAfterConversion layoutWriter(const std::string &fileName, const VexCblConfig &options) {
  return [fileName, options](Tree_Node *entries) {
    try {
      const std::vector<RecordLayout> records = computeRecordLayouts(entries, options);
      return writeLayoutFile(fileName, records) ? VexCvtStatus::completed : VexCvtStatus::failed;
    } catch (const LayoutError &) {
      return VexCvtStatus::failed;
    }
  };
}

#pragma once
// CSV in the decoder's shape read back: the header's columns matched to the fields they
// name ("T[2].E", "REC-A.KEY" for several records), each row made into the token tape the
// record encoder reads, as the row's JSON object would be.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "encoder/encode_plan.h"
#include "encoder/json_tape.h"

// The end of the CSV row that starts `data` (past its line end), quotes
// respected; npos when the row goes on past `data` and `atEnd` is false.
std::size_t csvRowEnd(std::string_view data, bool atEnd);

// The cells of one row (without its line end); false when a quote is not closed.
bool splitCsvRow(std::string_view row, std::string &buffer, std::vector<std::string_view> &cells);

// A header line that does not fit the copybook.
struct CsvHeaderError {
  std::string message;
};

class CsvShape {
public:
  // The columns of `header` (its cells) matched to the plan's fields;
  // CsvHeaderError naming the first column that matches no field.
  CsvShape(const EncodePlan &plan, const std::vector<std::string_view> &header);

  // The tape of one row's cells, which must stay alive while it is read.
  // One per thread: it keeps the row's DEPENDING ON counts.
  void tape(const std::vector<std::string_view> &cells, JsonTape &tape);

private:
  void collect(int index, std::string name);
  // The key and value of one member at `slot`; returns the slot after it.
  std::int64_t emit(int index, std::int64_t slot, const std::vector<std::string_view> &cells,
                    JsonTape &tape);
  std::int64_t member(int index, std::int64_t slot, const std::vector<std::string_view> &cells,
                      JsonTape &tape);
  void occurrence(int index, std::int64_t slot, const std::vector<std::string_view> &cells,
                  JsonTape &tape);
  bool anyCell(std::int64_t first, std::int64_t count,
               const std::vector<std::string_view> &cells) const;
  std::string_view cell(std::int64_t slot, const std::vector<std::string_view> &cells) const;

  const EncodePlan &plan_;
  bool withRecordNames_;
  std::vector<std::string> names_;    // the leaf columns in the decoder's order
  std::vector<int> columnOf_;         // per leaf slot: its column, -1 when the header lacks it
  std::vector<std::int64_t> slots_;   // per field: leaf columns of one occurrence
  std::vector<std::int64_t> firstSlot_; // per record: its first leaf column
  int rawColumn_ = -1;
  int rawFieldsColumn_ = -1;
  std::vector<std::string_view> counterCells_; // per field: the row's cell of a counter
  bool decoderRow_ = false; // the row has _raw: written by the decoder as it is
};

// Runs on several threads at once share no state: each parse, conversion and
// record model made on a thread among others equals the one made alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "converter/conversion_run.h"
#include "layout/layout_output.h"
#include "record/model_builder.h"
#include "tests/cli/file_support.h"

namespace fs = std::filesystem;

namespace {

// One input and what the pipeline makes of it.
struct Input {
  std::string name;
  std::string text;
  std::vector<CopybookText> copybooks;
  bool program = false;
  bool lenient = false;
};

struct Outcome {
  std::string document;
  std::string layout;
  std::vector<std::string> messages;
  bool operator==(const Outcome &) const = default;
};

Outcome runPipeline(const Input &input) {
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.currentDirectory = false;
  frontEnd.program = input.program;
  frontEnd.lenient = input.lenient;
  frontEnd.copybooks = CopybookTable(input.copybooks);
  VexCblConfig config;
  config.messages = nullptr;
  config.lenient = input.lenient;
  Outcome outcome;
  std::vector<SourceMessage> values;
  config.document = &outcome.document;
  config.messageValues = &values;
  ParsedInput parsed = parseInputText({input.name, input.text}, frontEnd, false);
  values = parsed.messages();
  if (parsed.errorCount() == 0 && convertInput(parsed, config) == VexCvtStatus::completed) {
    RunState::Scope scope(parsed.parts.front().run());
    const RecordModel model = input.program
                                  ? buildProgramRecordModel(parsed.programParts(), config)
                                  : buildRecordModel(parsed.parts.front().entries(), config);
    std::ostringstream layout;
    writeLayoutJson(layout, model);
    outcome.layout = layout.str();
  }
  for (const SourceMessage &value : values)
    outcome.messages.push_back(value.messageClass + " " + value.file + ":" +
                               std::to_string(value.line) + "," + std::to_string(value.column) +
                               " " + value.item + " " + value.text);
  return outcome;
}

std::vector<Input> inputs() {
  const fs::path golden = fs::path(VEX_SOURCE_DIR) / "tests" / "golden";
  const fs::path nested = golden / "copy-nested-replacing" / "files";
  const fs::path lenient = golden / "lenient-mixed" / "files";
  return {
      {"STORAGE.cpy", readFile(golden / "layout-storage-json" / "files" / "STORAGE.cpy"), {}},
      {"main.cbl",
       readFile(nested / "main.cbl"),
       {{"INNER.cpy", readFile(nested / "INNER.cpy")},
        {"OUTER.cpy", readFile(nested / "OUTER.cpy")}}},
      {"custrpt.cbl", readFile(golden / "program-layout" / "files" / "custrpt.cbl"), {}, true},
      {"rec.cpy", readFile(lenient / "rec.cpy"), {}, false, true},
      // Errors and their messages too.
      {"bad.cpy", "       01  REC.\n           05  A PIC Q.\n           COPY NONE.\n", {}},
  };
}

TEST(ParallelRuns, EachThreadGetsWhatOneRunAloneGets) {
  const std::vector<Input> all = inputs();
  std::vector<Outcome> alone;
  for (const Input &input : all) {
    alone.push_back(runPipeline(input));
    EXPECT_FALSE(alone.back().messages.empty() && alone.back().document.empty()) << input.name;
  }
  ASSERT_FALSE(alone[0].layout.empty());
  ASSERT_FALSE(alone[2].layout.empty());
  ASSERT_FALSE(alone[4].messages.empty());

  constexpr int threads = 6;
  constexpr int rounds = 30;
  std::vector<int> mismatches(threads, 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      for (int round = 0; round < rounds; ++round) {
        // Threads take the inputs in different orders, so different
        // copybooks are parsed at the same moment.
        const std::size_t which = static_cast<std::size_t>(t + round) % all.size();
        if (!(runPipeline(all[which]) == alone[which]))
          ++mismatches[static_cast<std::size_t>(t)];
      }
    });
  for (std::thread &worker : workers)
    worker.join();
  for (int t = 0; t < threads; ++t)
    EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << "thread " << t;
}

} // namespace

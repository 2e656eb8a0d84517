// Copybook text through the front end and the model builder, messages captured.
#include "tests/record/model_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "frontend/front_end.h"
#include "record/model_builder.h"

namespace {

std::string fixed(const std::string &lines) {
  std::istringstream in(lines);
  std::string out;
  for (std::string line; std::getline(in, line);)
    out += "       " + line + "\n";
  return out;
}

} // namespace

BuiltModel BuildModel(const std::string &lines, bool lenient) {
  static int serial = 0;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("vexmodel" + std::to_string(getpid()) + "_" + std::to_string(++serial));
  std::filesystem::create_directories(dir);
  const std::filesystem::path copybook = dir / "T.cpy";
  std::ofstream(copybook, std::ios::binary) << fixed(lines);

  BuiltModel built;
  FrontEndOptions frontEnd;
  frontEnd.messages = nullptr;
  frontEnd.lenient = lenient;
  FrontEndResult parsed = ParseCopybook(copybook.string(), frontEnd);
  RunState::Scope scope(parsed.run());
  built.sourceErrors = parsed.errorCount();
  EXPECT_EQ(built.sourceErrors, 0) << "the copybook has syntax errors";
  VexCblConfig options;
  options.lenient = lenient;
  char *buffer = nullptr;
  std::size_t size = 0;
  options.messages = open_memstream(&buffer, &size);
  try {
    built.model = buildRecordModel(parsed.entries(), options);
  } catch (const ModelError &) {
    built.failed = true;
  }
  std::fclose(options.messages);
  built.messages.assign(buffer, size);
  std::free(buffer);
  std::filesystem::remove_all(dir);
  return built;
}

int ItemAt(const RecordModel &model, const std::string &path) {
  for (std::size_t i = 0; i < model.items.size(); ++i)
    if (model.items[i].path == path)
      return static_cast<int>(i);
  ADD_FAILURE() << "no item " << path;
  return -1;
}

const ModelItem &Item(const RecordModel &model, const std::string &path) {
  static const ModelItem none;
  const int index = ItemAt(model, path);
  return index < 0 ? none : model.items[static_cast<std::size_t>(index)];
}

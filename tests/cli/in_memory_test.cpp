// The entry points that take text in memory: every golden conversion run
// again from memory gives the reviewed document and messages; copybooks held
// in memory; messages as values; a fatal end as a result.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "cli/driver.h"
#include "converter/conversion_run.h"
#include "tests/cli/file_support.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> lines(const fs::path &path) {
  std::vector<std::string> result;
  std::ifstream in(path, std::ios::binary);
  for (std::string line; std::getline(in, line);)
    result.push_back(line);
  return result;
}

// A stream whose bytes the test reads back.
class MemoryStream {
public:
  MemoryStream() : stream_(open_memstream(&buffer_, &size_)) {}
  ~MemoryStream() {
    std::fclose(stream_);
    std::free(buffer_);
  }
  std::FILE *get() const { return stream_; }
  std::string text() {
    std::fflush(stream_);
    return std::string(buffer_, size_);
  }

private:
  char *buffer_ = nullptr;
  std::size_t size_ = 0;
  std::FILE *stream_;
};

// Changes the current directory for the scope.
struct InDirectory {
  explicit InDirectory(const fs::path &to) : from(fs::current_path()) { fs::current_path(to); }
  ~InDirectory() { fs::current_path(from); }
  fs::path from;
};

// Every golden case of one conversion that ends with a document: its
// copybook parsed from memory, the copybooks of its folder held in memory
// (a case with -d keeps its directories), the document kept in memory.
TEST(InMemory, EveryGoldenConversionGivesItsDocumentAndMessages) {
  const fs::path golden = fs::path(VEX_SOURCE_DIR) / "tests" / "golden";
  int compared = 0;
  for (const fs::directory_entry &entry : fs::directory_iterator(golden)) {
    const fs::path dir = entry.path();
    if (!fs::exists(dir / "args") || fs::exists(dir / "program") ||
        readFile(dir / "status") != "0\n" || !fs::is_directory(dir / "out"))
      continue;
    std::vector<fs::path> documents;
    for (const fs::directory_entry &out : fs::directory_iterator(dir / "out"))
      if (out.path().extension() == ".gnv")
        documents.push_back(out.path());
    if (documents.size() != 1)
      continue;
    std::vector<std::string> args = lines(dir / "args");
    std::vector<char *> argv{const_cast<char *>("vexfcbl")};
    for (std::string &arg : args)
      argv.push_back(arg.data());
    VexCmdLine line(static_cast<int>(argv.size()), argv.data());
    VexFcblOptions options;
    try {
      options = vexFcblReadOptions(line, VexCmdError(""));
    } catch (const VexCmdStop &) {
      continue;
    }
    if (!options.batch.inputFolder.empty())
      continue;
    SCOPED_TRACE(dir.filename().string());
    InDirectory here(dir / "files");
    if (options.frontEnd.copyDirectories.empty()) {
      // The case's folder is the current directory the program searches.
      std::vector<CopybookText> copybooks;
      for (const fs::directory_entry &file : fs::directory_iterator("."))
        if (file.is_regular_file())
          copybooks.push_back({file.path().filename().string(), readFile(file.path())});
      options.frontEnd.copybooks = CopybookTable(copybooks, options.frontEnd.copyExtensions);
      options.frontEnd.currentDirectory = false;
    }
    MemoryStream messages;
    options.frontEnd.messages = messages.get();
    options.conversion.messages = messages.get();
    std::string document;
    options.conversion.document = &document;
    const std::string text = readFile(options.inputFile);
    ParsedInput input = parseInputText({options.inputFile, text}, options.frontEnd,
                                       options.conversion.commaDecimalPoint);
    ASSERT_FALSE(input.fatal());
    ASSERT_EQ(input.errorCount(), 0);
    EXPECT_EQ(convertInput(input, options.conversion), VexCvtStatus::completed);
    EXPECT_EQ(document, readFile(documents.front()));
    // A layout's own messages follow the conversion's.
    if (options.layoutFile.empty()) {
      EXPECT_EQ(messages.text(), readFile(dir / "stderr"));
    }
    ++compared;
  }
  EXPECT_GT(compared, 60);
}

FrontEndOptions quiet() {
  FrontEndOptions options;
  options.messages = nullptr;
  options.currentDirectory = false;
  return options;
}

// Positions worked out by hand: the column of the word a message is about.
TEST(InMemory, MessagesComeAsValuesWithTheirPositions) {
  FrontEndOptions options = quiet();
  options.copybooks = CopybookTable({{"Inner.cpy", "           05  B PIC 9(3).\n"
                                                   "           05  C PIC X(3) XYZ.\n"}});
  const std::string text = "       01  REC.\n"
                           "           05  A PIC X(4).\n"
                           "           COPY INNER.\n"
                           "           COPY MISSING.\n";
  const FrontEndResult result = ParseCopybookText({"main.cpy", text}, options);
  ASSERT_FALSE(result.fatal());
  ASSERT_EQ(result.filesRead(), (std::vector<std::string>{"main.cpy", "Inner.cpy"}));
  const std::vector<SourceMessage> &messages = result.messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].messageClass, "Error");
  EXPECT_EQ(messages[0].file, "main.cpy");
  EXPECT_EQ(messages[0].line, 4u);
  EXPECT_EQ(messages[0].column, 17u);
  EXPECT_EQ(messages[0].text, "cannot access include file: MISSING");
  EXPECT_EQ(messages[1].messageClass, "Error");
  EXPECT_EQ(messages[1].file, "Inner.cpy");
  EXPECT_EQ(messages[1].line, 2u);
  EXPECT_EQ(messages[1].column, 27u);
  EXPECT_EQ(messages[1].text.rfind("found/expected : name/. ", 0), 0u) << messages[1].text;
  EXPECT_EQ(result.errorCount(), 2);
}

TEST(InMemory, CopybooksHeldInMemoryAnswerAsTheDirectorySearchWould) {
  const CopybookLookup lookup = CopybookTable(
      {{"ONE", "1"}, {"two.cpy", "2"}, {"THREE.txt", "3"}, {"one.cpy", "4"}}, {".txt"});
  EXPECT_EQ(lookup("one")->text, "1");
  EXPECT_EQ(lookup("TWO")->name, "two.cpy");
  EXPECT_EQ(lookup("three")->text, "3");
  EXPECT_FALSE(lookup("four"));
}

TEST(InMemory, AFatalEndIsAResultWithItsMessages) {
  FrontEndOptions options = quiet();
  options.copybooks = CopybookTable({{"LOOPER", "           COPY LOOPER.\n"}});
  const FrontEndResult result =
      ParseCopybookText({"loop.cpy", "       01  REC.\n           COPY LOOPER.\n"}, options);
  EXPECT_TRUE(result.fatal());
  EXPECT_EQ(result.entries(), nullptr);
  ASSERT_FALSE(result.messages().empty());
  EXPECT_EQ(result.messages().back().messageClass, "Fatal");
  EXPECT_EQ(result.messages().back().text, "too many nested COPY's");
}

TEST(InMemory, ConverterMessagesNameTheirItem) {
  FrontEndOptions frontEnd = quiet();
  const std::string text = "       01  REC.\n"
                           "           05  A PIC X(4).\n"
                           "           05  B REDEFINES A PIC 9(4).\n";
  ParsedInput input = parseInputText({"r.cpy", text}, frontEnd, false);
  ASSERT_EQ(input.errorCount(), 0);
  VexCblConfig config;
  config.messages = nullptr;
  std::string document;
  std::vector<SourceMessage> values;
  config.document = &document;
  config.messageValues = &values;
  ASSERT_EQ(convertInput(input, config), VexCvtStatus::completed);
  EXPECT_EQ(document.rfind("<?xml", 0), 0u);
  // The redefined item, then the redefining one; then one line per definition.
  ASSERT_EQ(values.size(), 5u);
  const SourceMessage &redefining = values[1];
  EXPECT_EQ(redefining.messageClass, "Warning");
  EXPECT_EQ(redefining.file, "r.cpy");
  EXPECT_EQ(redefining.line, 3u);
  EXPECT_EQ(redefining.column, 16u);
  EXPECT_EQ(redefining.item, "B");
  EXPECT_EQ(redefining.text,
            "REDEFINES keyword. Standalone definition 'REC_B' was generated for redefining item.");
  EXPECT_EQ(values[0].item, "A");
  EXPECT_EQ(values.back().messageClass, "Info");
  EXPECT_EQ(values.back().text, "Definition exported 'REC'.");
}

} // namespace

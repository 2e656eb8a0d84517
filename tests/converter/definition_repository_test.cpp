// Tests export: nothing to export, the output only on success, outputs that cannot be opened,
// names.
#include "converter/definition_repository.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "converter/conversion_report.h"
#include "support/library_error.h"
#include "support/trace.h"
#include "tests/converter/converter_support.h"
#include "tests/model/xmllint_support.h"

namespace {

namespace fs = std::filesystem;

VexStreams exported(VexCvtRepository &repository) {
  VexCvtReport report;
  VexTrace trace;
  return vexCaptured([&] { repository.doExport(report, trace); });
}

// A registered string definition as the declaration walk makes one.
VexDefAccessor<VexStringDefImpl> stringDef(VexDataDefDomain &definitions, const char *name,
                                           int width) {
  auto def = VexDefAccessor<VexStringDefImpl>::create();
  def->setWidth(VexRange(width));
  definitions.registerDef(definitions.add(name), *def);
  return def;
}

// The names in the scratch folder, to see that nothing else was left there.
std::vector<std::string> folderNames(const fs::path &folder) {
  std::vector<std::string> names;
  for (const auto &entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Repository, NothingCollectedWarnsAndLeavesFilesAlone) {
  const VexScratchDir dir;
  dir.write("old.gnv", "previous document");
  const VexDataDefDomain definitions;
  for (const char *path : {"old.gnv", "new.gnv", static_cast<const char *>(nullptr)}) {
    VexCvtRepository repository(path, "corp.payroll", definitions);
    const VexStreams streams = exported(repository);
    EXPECT_EQ(streams.err, "Warning: Nothing to export. No converted definitions exist.\n");
    EXPECT_EQ(streams.out, "");
  }
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"old.gnv"});
  EXPECT_EQ(vexReadFile(dir.path() / "old.gnv"), "previous document");
}

TEST(Repository, FileIsTruncatedAndTheStandardOutputLeftEmpty) {
  const VexScratchDir dir;
  dir.write("out.gnv", std::string(5000, '#'));
  VexDataDefDomain definitions;
  VexCvtRepository repository("out.gnv", nullptr, definitions);
  repository.addDef(*stringDef(definitions, "TRUNC", 2));
  EXPECT_EQ(exported(repository).out, "");
  const std::string document = vexReadFile(dir.path() / "out.gnv");
  EXPECT_EQ(document.find('#'), std::string::npos);
  EXPECT_EQ(document.rfind("</rdf:RDF>\n"), document.size() - 11);
  const VexSchemaCheck check = vexValidateText(document);
  EXPECT_TRUE(check.valid) << check.output;
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"out.gnv"});
}

// A run that fails after definitions were written drops the repository
// without exporting: the old output stays as it was and nothing is left.
TEST(Repository, NoExportNoOutputAndNothingLeftBehind) {
  const VexScratchDir dir;
  dir.write("old.gnv", "previous document");
  VexDataDefDomain definitions;
  for (const char *path : {"old.gnv", "new.gnv"}) {
    VexCvtRepository repository(path, "a.b", definitions);
    for (int i = 0; i < 3000; ++i)
      repository.addDef(*stringDef(definitions, ("D" + std::to_string(i)).c_str(), 9));
  }
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"old.gnv"});
  EXPECT_EQ(vexReadFile(dir.path() / "old.gnv"), "previous document");
}

// The output is written as an output file stream would write it: through a
// link to its target, into the existing file, or not at all.
TEST(Repository, OutputIsWrittenWhereAnOpenedFileWouldBe) {
  const VexScratchDir dir;
  dir.write("target.gnv", "previous document");
  fs::create_symlink("target.gnv", dir.path() / "link.gnv");
  fs::create_directory(dir.path() / "folder.gnv");
  VexDataDefDomain definitions;
  const auto def = stringDef(definitions, "REC", 3);
  const auto exportTo = [&](const char *path) {
    VexCvtRepository repository(path, nullptr, definitions);
    repository.addDef(*def);
    return exported(repository);
  };
  EXPECT_EQ(exportTo("link.gnv").err, "Info: Definition exported 'REC'.\n");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.gnv"));
  EXPECT_NE(vexReadFile(dir.path() / "target.gnv").find("<StringDefinition name=\"REC\""),
            std::string::npos);
  for (const char *unopenable : {"missing/x.gnv", "folder.gnv"}) {
    SCOPED_TRACE(unopenable);
    EXPECT_EQ(exportTo(unopenable).err, "Info: Definition exported 'REC'.\n");
  }
  EXPECT_TRUE(fs::is_empty(dir.path() / "folder.gnv"));
  // A new output gets the mode any new file gets.
  const mode_t mask = umask(022);
  exportTo("new.gnv");
  umask(mask);
  EXPECT_EQ(fs::status(dir.path() / "new.gnv").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  EXPECT_EQ(folderNames(dir.path()),
            (std::vector<std::string>{"folder.gnv", "link.gnv", "new.gnv", "target.gnv"}));
}

TEST(Repository, UnregisteredDefinitionGetsAnEmptyName) {
  const VexDataDefDomain definitions;
  VexCvtRepository repository(nullptr, nullptr, definitions);
  repository.addDef(*VexDefAccessor<VexBinaryDefImpl>::create());
  const VexStreams streams = exported(repository);
  EXPECT_EQ(streams.err, "Info: Definition exported ''.\n");
  EXPECT_NE(streams.out.find("<BinaryDefinition name=\"\"/>"), std::string::npos) << streams.out;
}

// The Info lines name the definitions in the order they were added, a
// registered one by its registry's name (the same name twice for two
// definitions of one name), an unregistered one by its own empty name.
TEST(Repository, InfoLinesNameEachDefinitionInOrder) {
  VexDataDefDomain definitions;
  VexCvtRepository repository(nullptr, nullptr, definitions);
  repository.addDef(*stringDef(definitions, "A1", 1));
  repository.addDef(*VexDefAccessor<VexBinaryDefImpl>::create());
  repository.addDef(*stringDef(definitions, "B-22", 2));
  repository.addDef(*stringDef(definitions, "A1", 3));
  repository.addDef(*VexDefAccessor<VexBinaryDefImpl>::create());
  repository.addDef(*stringDef(definitions, "C_333", 4));
  EXPECT_EQ(exported(repository).err, "Info: Definition exported 'A1'.\n"
                                      "Info: Definition exported ''.\n"
                                      "Info: Definition exported 'B-22'.\n"
                                      "Info: Definition exported 'A1'.\n"
                                      "Info: Definition exported ''.\n"
                                      "Info: Definition exported 'C_333'.\n");
}

TEST(Repository, DefinitionsAreLetGoOnceWritten) {
  int destroyed = 0;
  struct Tracked : VexStringDefImpl {
    explicit Tracked(int &count) : count_(count) {}
    ~Tracked() override { ++count_; }
    int &count_;
  };
  const VexDataDefDomain definitions;
  VexCvtRepository repository(nullptr, nullptr, definitions);
  repository.addDef(*VexDefAccessor<Tracked>::create(destroyed));
  EXPECT_EQ(destroyed, 1);
  EXPECT_NE(exported(repository).out.find("<StringDefinition name=\"\"/>"), std::string::npos);
}

// A reference is written with the name the conversion's own registry gives.
TEST(Repository, ReferencesAreNamedByTheGivenRegistry) {
  VexDataDefDomain definitions;
  VexDataDefDomain other;
  other.add("ELSEWHERE");
  const auto target = stringDef(definitions, "REC_A", 1);
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  VexGroupItem member = VexGroupItem::create();
  member->setName("A");
  member->setDefinition(VexRef(target->id()));
  group->addItem(member);
  definitions.registerDef(definitions.add("REC"), *group);
  for (const auto &[registry, name] : {std::pair{&definitions, "REC_A"}, {&other, "ELSEWHERE"}}) {
    VexCvtRepository repository(nullptr, nullptr, *registry);
    repository.addDef(*group);
    EXPECT_NE(exported(repository).out.find(std::string("<Item name=\"A\" ref=\"") + name + "\"/>"),
              std::string::npos);
  }
}

// U+FFFF cannot be written in an XML document. In a definition's name the
// export stops at that definition; in a namespace or a description after
// every Info line. Either way the old output stays as it was.
TEST(Repository, CharacterXmlCannotCarryFailsTheExportAndKeepsTheOldOutput) {
  const VexScratchDir dir;
  dir.write("out.gnv", "previous document");
  VexDataDefDomain definitions;
  const auto first = stringDef(definitions, "FIRST", 1);
  const auto bad = stringDef(definitions, "B\xEF\xBF\xBF", 1);
  const auto last = stringDef(definitions, "LAST", 1);
  const auto failure = [&](const char *namespaceName, const VexDataDef &middle) {
    VexCvtRepository repository("out.gnv", namespaceName, definitions);
    for (const VexDataDef &def : {VexDataDef(first), middle, VexDataDef(last)})
      repository.addDef(*def);
    VexCvtReport report;
    VexTrace trace;
    std::string message = "(none)";
    VexStreams streams = vexCaptured([&] {
      try {
        repository.doExport(report, trace);
      } catch (const VexError &error) {
        message = error.getErrorMessage();
      }
    });
    return streams.err + message;
  };
  EXPECT_EQ(failure(nullptr, bad),
            "Info: Definition exported 'FIRST'.\n"
            "XML parse error at line 1, column 34: invalid character reference");
  EXPECT_EQ(failure("ok.n\xEF\xBF\xBE", last), "Info: Namespace exported 'ok'.\n"
                                               "Info: Namespace exported 'n\xEF\xBF\xBE'.\n"
                                               "Info: Definition exported 'FIRST'.\n"
                                               "Info: Definition exported 'LAST'.\n"
                                               "Info: Definition exported 'LAST'.\n"
                                               "XML write: invalid or illegal XML character");
  auto described = stringDef(definitions, "DESCRIBED", 1);
  described->setDescription("\xEF\xBF\xBF");
  EXPECT_EQ(failure(nullptr, described), "Info: Definition exported 'FIRST'.\n"
                                         "Info: Definition exported 'DESCRIBED'.\n"
                                         "Info: Definition exported 'LAST'.\n"
                                         "XML write: invalid or illegal XML character");
  EXPECT_EQ(vexReadFile(dir.path() / "out.gnv"), "previous document");
  EXPECT_EQ(folderNames(dir.path()), std::vector<std::string>{"out.gnv"});
}

} // namespace

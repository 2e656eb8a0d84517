// Tests export: nothing to export, file truncation, unregistered names, current repository.
#include "converter/definition_repository.h"

#include <gtest/gtest.h>

#include "converter/conversion_report.h"
#include "support/trace.h"
#include "tests/converter/converter_support.h"
#include "tests/model/xmllint_support.h"

namespace {

VexStreams exported(VexCvtRepository &repository, const VexDataDefDomain &definitions = {}) {
  VexCvtReport report;
  VexTrace trace;
  return vexCaptured([&] { repository.doExport(report, definitions, trace); });
}

// A registered string definition as the declaration walk makes one.
VexDefAccessor<VexStringDefImpl> stringDef(VexDataDefDomain &definitions, const char *name,
                                           int width) {
  auto def = VexDefAccessor<VexStringDefImpl>::create();
  def->setWidth(VexRange(width));
  definitions.registerDef(definitions.getId(vexToUnicode(name, false)), *def);
  return def;
}

TEST(Repository, NothingCollectedWarnsAndLeavesFilesAlone) {
  const VexScratchDir dir;
  dir.write("old.gnv", "previous document");
  for (const char *path : {"old.gnv", "new.gnv", static_cast<const char *>(nullptr)}) {
    VexCvtRepository repository(path, "corp.payroll");
    const VexStreams streams = exported(repository);
    EXPECT_EQ(streams.err, "Warning: Nothing to export. No converted definitions exist.\n");
    EXPECT_EQ(streams.out, "");
  }
  EXPECT_EQ(vexReadFile(dir.path() / "old.gnv"), "previous document");
  EXPECT_FALSE(std::filesystem::exists("new.gnv"));
}

TEST(Repository, FileIsTruncatedAndTheStandardOutputLeftEmpty) {
  const VexScratchDir dir;
  dir.write("out.gnv", std::string(5000, '#'));
  VexCvtRepository repository("out.gnv", nullptr);
  VexDataDefDomain definitions;
  repository.addDef(*stringDef(definitions, "TRUNC", 2));
  EXPECT_EQ(exported(repository, definitions).out, "");
  const std::string document = vexReadFile(dir.path() / "out.gnv");
  EXPECT_EQ(document.find('#'), std::string::npos);
  EXPECT_EQ(document.rfind("</rdf:RDF>\n"), document.size() - 11);
  const VexSchemaCheck check = vexValidateText(document);
  EXPECT_TRUE(check.valid) << check.output;
}

TEST(Repository, UnregisteredDefinitionGetsAnEmptyName) {
  VexCvtRepository repository(nullptr, nullptr);
  repository.addDef(*VexDefAccessor<VexBinaryDefImpl>::create());
  const VexStreams streams = exported(repository);
  EXPECT_EQ(streams.err, "Info: Definition exported ''.\n");
  EXPECT_NE(streams.out.find("<BinaryDefinition name=\"\"/>"), std::string::npos) << streams.out;
}

TEST(Repository, RepositoryHoldsItsDefinitions) {
  int destroyed = 0;
  struct Tracked : VexStringDefImpl {
    explicit Tracked(int &count) : count_(count) {}
    ~Tracked() override { ++count_; }
    int &count_;
  };
  {
    VexCvtRepository repository(nullptr, nullptr);
    // The repository's handle keeps the definition after the walk drops its own.
    repository.addDef(*VexDefAccessor<Tracked>::create(destroyed));
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

// A reference is written with the name the conversion's own registry gives.
TEST(Repository, ReferencesAreNamedByTheGivenRegistry) {
  VexDataDefDomain definitions;
  VexDataDefDomain other;
  other.getId(vexToUnicode("ELSEWHERE", false));
  const auto target = stringDef(definitions, "REC_A", 1);
  auto group = VexDefAccessor<VexGroupDefImpl>::create();
  VexGroupItem member = VexGroupItem::create();
  member->setName(vexToUnicode("A", false));
  member->setDefinition(VexRef(target->id()));
  group->addItem(member);
  definitions.registerDef(definitions.getId(vexToUnicode("REC", false)), *group);
  VexCvtRepository repository(nullptr, nullptr);
  repository.addDef(*group);
  EXPECT_NE(exported(repository, definitions).out.find("<Item name=\"A\" ref=\"REC_A\"/>"),
            std::string::npos);
  EXPECT_NE(exported(repository, other).out.find("<Item name=\"A\" ref=\"ELSEWHERE\"/>"),
            std::string::npos);
}

} // namespace

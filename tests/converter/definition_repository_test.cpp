#include "converter/definition_repository.h"

#include <gtest/gtest.h>

#include "tests/model/xmllint_support.h"
#include "tests/converter/converter_support.h"

namespace {

VexStreams exported(VexCvtRepository &repository) {
  return vexCaptured([&] { repository.doExport(); });
}

// A registered string definition as the declaration walk makes one.
VexDefAccessor<VexStringDefImpl> stringDef(const char *name, int width) {
  auto def = VexDefAccessor<VexStringDefImpl>::create();
  def->setWidth(VexRange(width));
  VexDataDefDomain &domain = VexDataDefDomain::getInstance();
  domain.registerDef(domain.getId(vexToUnicode(name, false)), *def);
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
  repository.addDef(stringDef("TRUNC", 2).getPeer());
  EXPECT_EQ(exported(repository).out, "");
  const std::string document = vexReadFile(dir.path() / "out.gnv");
  EXPECT_EQ(document.find('#'), std::string::npos);
  EXPECT_EQ(document.rfind("</rdf:RDF>\n"), document.size() - 11);
  const VexSchemaCheck check = vexValidateText(document);
  EXPECT_TRUE(check.valid) << check.output;
}

TEST(Repository, UnregisteredDefinitionGetsAnEmptyName) {
  VexCvtRepository repository(nullptr, nullptr);
  repository.addDef(VexDefAccessor<VexBinaryDefImpl>::create().getPeer());
  const VexStreams streams = exported(repository);
  EXPECT_EQ(streams.err, "Info: Definition exported ''.\n");
  EXPECT_NE(streams.out.find("<BinaryDefinition name=\"\"/>"), std::string::npos) << streams.out;
}

TEST(Repository, CurrentRepositoryHoldsItsDefinitions) {
  int destroyed = 0;
  struct Tracked : VexStringDefImpl {
    explicit Tracked(int &count) : count_(count) {}
    ~Tracked() override { ++count_; }
    int &count_;
  };
  {
    VexCvtRepository outer(nullptr, nullptr);
    EXPECT_EQ(VexCvtRepository::getInstance(), &outer);
    {
      VexCvtRepository inner(nullptr, nullptr);
      EXPECT_EQ(VexCvtRepository::getInstance(), &inner);
      // The repository's handle keeps the definition after the walk drops its own.
      inner.addDef(VexDefAccessor<Tracked>::create(destroyed).getPeer());
      EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(VexCvtRepository::getInstance(), nullptr);
  }
}

} // namespace

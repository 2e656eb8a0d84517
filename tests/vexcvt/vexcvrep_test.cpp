#include "vexcvt/vexcvrep.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>
#include <unistd.h>

#include "platform/vexerror.h"
#include "platform/vextrace.h"
#include "tests/platform/xmllint_support.h"

namespace {

namespace fs = std::filesystem;

VexString u(const char *text) { return vexToUnicode(text, false); }

// A scratch directory, removed with everything in it.
class ScratchDir {
public:
  ScratchDir() {
    char pattern[] = "/tmp/vexcvrepXXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  std::string file(const char *name) const { return (path_ / name).string(); }

private:
  fs::path path_;
};

std::string readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// What one export wrote to the standard error and output streams.
struct ExportRun {
  std::string err;
  std::string out;
};

ExportRun runExport(VexCvtRepository &repository) {
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  repository.doExport();
  std::cout.flush();
  std::cerr.flush();
  ExportRun run;
  run.out = testing::internal::GetCapturedStdout();
  run.err = testing::internal::GetCapturedStderr();
  return run;
}

// A registered string definition as the declaration walk makes one.
VexDefAccessor<VexStringDefImpl> stringDef(const char *name, int width, const char *description) {
  auto def = VexDefAccessor<VexStringDefImpl>::create();
  def->setWidth(VexRange(width));
  def->setDescription(u(description));
  VexDataDefDomain &domain = VexDataDefDomain::getInstance();
  domain.registerDef(domain.getId(u(name)), *def);
  return def;
}

void expectValid(const std::string &document) {
  VexSchemaCheck check = vexValidateText(document);
  EXPECT_TRUE(check.valid) << document << "\n" << check.output;
}

const char *const declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>\n";

// ---------------------------------------------------------------------------

TEST(RepositoryExport, NothingCollectedWarnsAndLeavesFilesAlone) {
  ScratchDir dir;
  std::string existing = dir.file("old.gnv");
  std::ofstream(existing) << "previous document";
  std::string absent = dir.file("new.gnv");
  for (const std::string &path : {existing, absent}) {
    VexCvtRepository repository(path.c_str(), "corp.payroll");
    ExportRun run = runExport(repository);
    EXPECT_EQ(run.err, "Warning: Nothing to export. No converted definitions exist.\n");
    EXPECT_EQ(run.out, "");
  }
  EXPECT_EQ(readFile(existing), "previous document");
  EXPECT_FALSE(fs::exists(absent));

  VexCvtRepository toStdout(nullptr, nullptr);
  ExportRun run = runExport(toStdout);
  EXPECT_EQ(run.err, "Warning: Nothing to export. No converted definitions exist.\n");
  EXPECT_EQ(run.out, "");
}

TEST(RepositoryExport, NestedNamespacesComeBeforeTheDefinitions) {
  ScratchDir dir;
  std::string path = dir.file("out.gnv");
  VexCvtRepository repository(path.c_str(), "corp.payroll.batch");
  repository.addDef(stringDef("NS_A", 3, "01 NS-A PICTURE IS X(3).").getPeer());
  ExportRun run = runExport(repository);
  EXPECT_EQ(run.err, "Info: Namespace exported 'corp'.\n"
                     "Info: Namespace exported 'payroll'.\n"
                     "Info: Namespace exported 'batch'.\n"
                     "Info: Definition exported 'NS_A'.\n");
  EXPECT_EQ(run.out, "");
  std::string document = readFile(path);
  EXPECT_EQ(document, std::string(declaration) +
                          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/TR/PR-rdf-syntax/\">\n"
                          "  <Namespace name=\"corp\">\n"
                          "    <Namespace name=\"payroll\">\n"
                          "      <Namespace name=\"batch\">\n"
                          "        <MessageFormat>\n"
                          "          <StringDefinition name=\"NS_A\" width=\"3\">\n"
                          "            <Description>01 NS-A PICTURE IS X(3).</Description>\n"
                          "          </StringDefinition>\n"
                          "        </MessageFormat>\n"
                          "      </Namespace>\n"
                          "    </Namespace>\n"
                          "  </Namespace>\n"
                          "</rdf:RDF>\n");
  expectValid(document);
  VexNamespaceDomain &domain = VexNamespaceDomain::getInstance();
  for (const char *component : {"corp", "payroll", "batch"})
    EXPECT_TRUE(domain.isDeclared(domain.getId(u(component)))) << component;
}

TEST(RepositoryExport, NamespaceComponentsSplitAtEveryDot) {
  struct Case {
    const char *name;
    std::vector<std::string> components;
  } cases[] = {{"payroll", {"payroll"}}, {"a..b", {"a", "", "b"}}, {".x", {"", "x"}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    VexCvtRepository repository(nullptr, c.name);
    repository.addDef(stringDef("SPLIT", 1, "").getPeer());
    ExportRun run = runExport(repository);
    std::string lines, nesting;
    for (const std::string &component : c.components) {
      lines += "Info: Namespace exported '" + component + "'.\n";
      nesting += "<Namespace name=\"" + component + "\">";
    }
    EXPECT_EQ(run.err, lines + "Info: Definition exported 'SPLIT'.\n");
    std::string compact = run.out;
    std::erase(compact, '\n');
    std::string::size_type start = compact.find("<Namespace");
    ASSERT_NE(start, std::string::npos);
    std::string inner = compact.substr(start);
    std::string::size_type last = 0;
    for (const std::string &component : c.components) {
      std::string tag = "<Namespace name=\"" + component + "\">";
      std::string::size_type at = inner.find(tag, last);
      ASSERT_NE(at, std::string::npos) << tag;
      last = at + tag.size();
    }
    expectValid(run.out);
  }
}

TEST(RepositoryExport, DefinitionsInOrderWithNamesAndDescriptions) {
  VexCvtRepository repository(nullptr, nullptr);
  auto redefined = stringDef("REC_A", 4, "05 A PICTURE IS X(4).");
  auto redefining = VexDefAccessor<VexNumberDefImpl>::create();
  redefining->setNumberOfDigits(4);
  redefining->setTextPresentation(4);
  VexDataDefDomain &domain = VexDataDefDomain::getInstance();
  domain.registerDef(domain.getId(u("REC_B")), *redefining);
  auto record = VexDefAccessor<VexGroupDefImpl>::create();
  record->setType(1);
  record->setDescription(u("01 REC."));
  VexGroupItem a = VexGroupItem::create();
  a->setName(u("A"));
  a->setDefinition(VexRef(redefined->id()));
  record->addItem(a);
  domain.registerDef(domain.getId(u("REC")), *record);

  EXPECT_TRUE(repository.addDef(redefined.getPeer()));
  EXPECT_TRUE(repository.addDef(redefining.getPeer()));
  EXPECT_TRUE(repository.addDef(record.getPeer()));
  ExportRun run = runExport(repository);
  EXPECT_EQ(run.err, "Info: Definition exported 'REC_A'.\n"
                     "Info: Definition exported 'REC_B'.\n"
                     "Info: Definition exported 'REC'.\n");
  EXPECT_EQ(
      run.out,
      std::string(declaration) +
          "<rdf:RDF xmlns:rdf=\"http://www.w3.org/TR/PR-rdf-syntax/\">\n"
          "  <MessageFormat>\n"
          "    <StringDefinition name=\"REC_A\" width=\"4\">\n"
          "      <Description>05 A PICTURE IS X(4).</Description>\n"
          "    </StringDefinition>\n"
          // An empty description gives no description element.
          "    <NumberDefinition digits=\"4\" name=\"REC_B\" textPresentation=\"zonedDecimal\"/>\n"
          "    <GroupDefinition groupType=\"1\" name=\"REC\">\n"
          "      <Item name=\"A\" ref=\"REC_A\"/>\n"
          "      <Description>01 REC.</Description>\n"
          "    </GroupDefinition>\n"
          "  </MessageFormat>\n"
          "</rdf:RDF>\n");
  expectValid(run.out);
}

TEST(RepositoryExport, UnregisteredDefinitionGetsAnEmptyName) {
  VexCvtRepository repository(nullptr, nullptr);
  auto anonymous = VexDefAccessor<VexBinaryDefImpl>::create();
  repository.addDef(anonymous.getPeer());
  ExportRun run = runExport(repository);
  EXPECT_EQ(run.err, "Info: Definition exported ''.\n");
  EXPECT_NE(run.out.find("<BinaryDefinition name=\"\"/>"), std::string::npos) << run.out;
}

TEST(RepositoryExport, FileIsTruncatedAndTheStandardOutputLeftEmpty) {
  ScratchDir dir;
  std::string path = dir.file("out.gnv");
  std::ofstream(path) << std::string(5000, '#');
  VexCvtRepository repository(path.c_str(), nullptr);
  repository.addDef(stringDef("TRUNC", 2, "").getPeer());
  ExportRun run = runExport(repository);
  EXPECT_EQ(run.out, "");
  std::string document = readFile(path);
  EXPECT_EQ(document.find('#'), std::string::npos);
  EXPECT_EQ(document.rfind("</rdf:RDF>\n"), document.size() - 11);
  expectValid(document);
}

TEST(RepositoryExport, MissingDirectoryEndsNormallyWithoutDocument) {
  ScratchDir dir;
  std::string path = dir.file("missing/out.gnv");
  VexCvtRepository repository(path.c_str(), "corp");
  repository.addDef(stringDef("LOST", 2, "").getPeer());
  ExportRun run;
  EXPECT_NO_THROW(run = runExport(repository));
  EXPECT_EQ(run.err, "Info: Namespace exported 'corp'.\nInfo: Definition exported 'LOST'.\n");
  EXPECT_EQ(run.out, "");
  EXPECT_FALSE(fs::exists(path));
}

TEST(RepositoryExport, TracingChangesNothingWritten) {
  auto exportOnce = [] {
    VexCvtRepository repository(nullptr, "corp");
    repository.addDef(stringDef("TRACED", 2, "01 TRACED PICTURE IS X(2).").getPeer());
    return runExport(repository);
  };
  ExportRun quiet = exportOnce();
  std::ostringstream traceLines;
  vexTraceSetOutput(&traceLines);
  vexTraceSetLevel("VEXCVREP", TRC1_FLOW | TRC1_DETAIL);
  ExportRun traced = exportOnce();
  vexTraceSetLevel("VEXCVREP", 0);
  vexTraceSetOutput(nullptr);
  EXPECT_EQ(traced.err, quiet.err);
  EXPECT_EQ(traced.out, quiet.out);
  EXPECT_NE(traceLines.str().find("namespaceName(corp)"), std::string::npos) << traceLines.str();
  EXPECT_NE(traceLines.str().find("<StringDefinition name=\"TRACED\" width=\"2\"/>"),
            std::string::npos)
      << traceLines.str();
}

// ---------------------------------------------------------------------------

TEST(RepositoryLifetime, CurrentRepositoryAndHeldDefinitions) {
  int destroyedBefore = 0;
  struct Tracked : VexStringDefImpl {
    explicit Tracked(int &count) : count_(count) {}
    ~Tracked() override { ++count_; }
    int &count_;
  };
  {
    VexCvtRepository outer(nullptr, nullptr);
    EXPECT_TRUE(VexCvtRepository::getInstance() == &outer);
    {
      VexCvtRepository inner(nullptr, nullptr);
      EXPECT_TRUE(VexCvtRepository::getInstance() == &inner);
      // The repository's handle keeps the definition after the walk drops its own.
      inner.addDef(VexDefAccessor<Tracked>::create(destroyedBefore).getPeer());
      EXPECT_EQ(destroyedBefore, 0);
    }
    EXPECT_EQ(destroyedBefore, 1);
    EXPECT_TRUE(VexCvtRepository::getInstance() == nullptr);
  }
}

} // namespace

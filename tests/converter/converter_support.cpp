#include "tests/converter/converter_support.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "frontend/reference_resolution.h"
#include "frontend/parser.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "frontend/keywords.h"
#include "diagnostics/message_store.h"
#include "support/trace.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"
#include "support/memory_pools.h"
#include "converter/conversion_report.h"
#include "converter/definition_creation.h"
#include "converter/entry_extraction.h"

namespace fs = std::filesystem;

VexScopedOptions::VexScopedOptions(const std::string &options) : saved_(VexCblConfig::inst()) {
  VexCblConfig &c = VexCblConfig::inst();
  c.commaDecimalPoint = c.noDescription = c.textNumbersAsStrings = false;
  c.packedDefaultAsText = c.levelRestrictions = false;
  c.namespaceName.clear();
  c.outputFileName.clear();
  c.compatLevel = 0;
  std::istringstream words(options);
  for (std::string word; words >> word;) {
    if (word == "-c")
      c.commaDecimalPoint = true;
    else if (word == "-tn")
      c.textNumbersAsStrings = true;
    else if (word == "-ta")
      c.packedDefaultAsText = true;
    else if (word == "-r")
      c.levelRestrictions = true;
    else if (word == "-dnd")
      c.noDescription = true;
    else if (word == "-compat")
      words >> c.compatLevel;
    else if (word == "-ns")
      words >> c.namespaceName;
    else
      ADD_FAILURE() << "unknown option " << word;
  }
}

VexScopedOptions::~VexScopedOptions() { VexCblConfig::inst() = saved_; }

VexScratchDir::VexScratchDir() : previous_(fs::current_path()) {
  std::string pattern = (fs::temp_directory_path() / "vexcvtXXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    ADD_FAILURE() << "cannot create a scratch folder";
  path_ = pattern;
  fs::current_path(path_);
}

VexScratchDir::~VexScratchDir() {
  fs::current_path(previous_);
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

void VexScratchDir::write(const std::string &name, const std::string &text) const {
  std::ofstream(path_ / name, std::ios::binary) << text;
}

std::string vexFixed(const std::string &lines) {
  std::istringstream in(lines);
  std::string out;
  for (std::string line; std::getline(in, line);)
    out += "       " + line + "\n";
  return out;
}

VexFrontEnd::VexFrontEnd(const std::string &source) {
  dir_.write("T.cpy", source);
  ReleaseTreeModule();
  InitrMemory();
  InitStringMemory();
  InitIdents();
  BeginErrors();
  StoreMessages(true);
  init_keywords("");
  free_format = false;
  MaxColumn = 72;
  file_input = 1;
  copy_repair = 0;
  BeginDeftab();
  NameCheck() = NameCheckMsg() = true;
  init_copy_pars();
  BeginFile("T.cpy");
  BeginScanner();
  push(MakeIdent("T.cpy"));
  Parser2(ParserStartCopybook);
  as<tree::data_division>(TreeRoot())->deftab = deftab_decls();
  Eval(TreeRoot());
  errors = GetCount(xxError) + GetCount(xxFatal);
  std::FILE *out = std::tmpfile();
  WriteMessages(out);
  std::rewind(out);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
    messages.append(buffer, n);
  std::fclose(out);
}

VexFrontEnd::~VexFrontEnd() {
  CloseParser();
  ResetScanner();
  ReleaseTreeModule();
  StoreMessages(false);
  CloseIdents();
  CloseStringMemory();
  CloserMemory();
}

tree::decl *VexFrontEnd::decl(const char *name) const {
  auto *found = as_if<tree::decl>(Identify(MakeIdent(name)));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

namespace {

// The item context of the entry `decl` declares, read as the walk reads it.
void extract(tree::decl *decl, VexCblObjContext &obj) {
  vexCblAheadObjExtr(decl->object, obj);
  vexCblExtractObj(decl->object, obj);
  obj.isGroup = is<tree::decl>(decl->fields) ? 1 : 0;
}

} // namespace

VexItemResult vexConvertItem(const std::string &entries) {
  VexFrontEnd frontEnd(vexFixed(entries));
  if (frontEnd.errors != 0)
    return {"syntax error", frontEnd.messages};
  tree::decl *item = frontEnd.decl("ITEM");
  if (item == nullptr)
    return {"no ITEM", ""};
  // The enclosing groups, innermost first; the root declaration has level 0.
  std::vector<tree::decl *> groups;
  for (auto *up = as_if<tree::decl>(item->lower); up != nullptr && up->level != 0;
       up = as_if<tree::decl>(up->lower))
    groups.push_back(up);
  std::vector<VexCblGrpContext> contexts(groups.size() + 1);
  for (std::size_t i = groups.size(); i-- > 0;) {
    VexCblObjContext group;
    extract(groups[i], group);
    const std::size_t depth = groups.size() - i;
    contexts[depth].populate(contexts[depth - 1], group);
  }
  VexCblObjContext obj;
  extract(item, obj);
  VexItemResult result;
  const VexCblReportContext context("ITEM", nullptr);
  testing::internal::CaptureStderr();
  try {
    const VexDataDef def = vexCblCreateDef(contexts.back(), obj);
    result.markup = vexToMbcs(VexMfRdfWriter::fillStanza(*def).getAttrValue("definition"));
  } catch (const VexCvtError &) {
    result.markup = "throws";
  }
  result.messages = testing::internal::GetCapturedStderr();
  return result;
}

std::string vexReadFile(const fs::path &path) {
  std::ifstream in(path.is_relative() ? fs::path(VEX_SOURCE_DIR) / path : path, std::ios::binary);
  EXPECT_TRUE(in.good()) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<VexCase> vexReadCases(const char *fileName) {
  std::istringstream in(vexReadFile(fs::path("tests/converter/data") / fileName));
  std::vector<VexCase> cases;
  std::string line, section;
  for (int number = 1; std::getline(in, line); ++number) {
    if (line.rfind("===", 0) == 0) {
      VexCase next;
      const auto bar = line.find('|');
      const auto trimmed = [](std::string text) {
        text.erase(0, text.find_first_not_of(' '));
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
      };
      next.title = trimmed(line.substr(3, bar == std::string::npos ? bar : bar - 3));
      next.options = bar == std::string::npos ? "" : trimmed(line.substr(bar + 1));
      next.line = number;
      cases.push_back(next);
      section.clear();
    } else if (line.rfind("---", 0) == 0 && !cases.empty()) {
      section = line.substr(4);
      cases.back().section[section];
    } else if (!cases.empty() && !line.empty() && line[0] != '#') {
      cases.back().section[section] += line + "\n";
    }
  }
  return cases;
}

VexTraceCapture::VexTraceCapture() {
  vexTraceSetOutput(&out_);
  vexTraceSetLevel(nullptr, TRC1_DETAIL | TRC1_FLOW | TRC1_ERROR);
}

VexTraceCapture::~VexTraceCapture() {
  vexTraceSetLevel(nullptr, 0);
  vexTraceSetOutput(nullptr);
}

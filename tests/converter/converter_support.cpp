// Converter test support: scoped options, scratch folder, front-end run, case files.
#include "tests/converter/converter_support.h"

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "cli/driver.h"
#include "converter/conversion.h"
#include "converter/conversion_run.h"
#include "converter/definition_creation.h"
#include "converter/entry_extraction.h"
#include "frontend/declaration_table.h"
#include "support/copybook_search.h"
#include "support/identifier_table.h"
#include "support/run_state.h"

namespace fs = std::filesystem;

VexCblConfig vexOptions(const std::string &options) {
  VexCblConfig c;
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
    else if (word == "-lenient")
      c.lenient = true;
    else
      ADD_FAILURE() << "unknown option " << word;
  }
  return c;
}

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

VexFrontEnd::VexFrontEnd(const std::string &source, bool lenient) {
  dir_.write("T.cpy", source);
  std::FILE *out = std::tmpfile();
  FrontEndOptions options;
  options.messages = out;
  options.lenient = lenient;
  // The test's run keeps the declarations for the test to convert.
  errors = ParseCopybook("T.cpy", options, &RunState::active()).errorCount();
  std::rewind(out);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
    messages.append(buffer, n);
  std::fclose(out);
}

VexFrontEnd::~VexFrontEnd() = default;

tree::decl *VexFrontEnd::decl(const char *name) const {
  auto *found = as_if<tree::decl>(Identify(MakeIdent(name)));
  EXPECT_NE(found, nullptr) << name;
  return found;
}

namespace {

// The item context of the entry `decl` declares, read as the walk reads it.
void extract(VexCblConversion &conv, tree::decl *decl, VexCblObjContext &obj) {
  vexCblAheadObjExtr(decl->object, obj);
  vexCblExtractObj(conv, decl->object, obj);
  obj.isGroup = is<tree::decl>(decl->fields) ? 1 : 0;
}

} // namespace

VexItemResult vexConvertItem(const std::string &entries, const VexCblConfig &options) {
  VexFrontEnd frontEnd(vexFixed(entries), options.lenient);
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
  VexCblConversion conv(options);
  std::vector<VexCblGrpContext> contexts(groups.size() + 1);
  for (std::size_t i = groups.size(); i-- > 0;) {
    VexCblObjContext group;
    extract(conv, groups[i], group);
    const std::size_t depth = groups.size() - i;
    contexts[depth].populate(contexts[depth - 1], group);
  }
  VexCblObjContext obj;
  extract(conv, item, obj);
  VexItemResult result;
  const VexCblReportContext context(conv.report, "ITEM", nullptr);
  testing::internal::CaptureStderr();
  try {
    const VexDataDef def = vexCblCreateDef(conv, contexts.back(), obj);
    result.markup =
        VexMfRdfWriter::fillStanza(*def, conv.definitions).getAttrValue("definition");
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

VexProgramRun vexRunProgram(const std::string &copybook, const std::string &options,
                            const std::string &name) {
  const VexScratchDir dir;
  dir.write(name, copybook);
  std::vector<std::string> args{"vexfcbl"};
  std::istringstream words(options + " -i " + name);
  for (std::string word; words >> word;)
    args.push_back(word);
  std::vector<char *> argv;
  for (std::string &arg : args)
    argv.push_back(arg.data());
  VexProgramRun run;
  run.streams = vexCaptured([&] { run.status = vexFcblMain(int(argv.size()), argv.data()); });
  const fs::path document = dir.path() / (name.substr(0, name.rfind('.')) + ".gnv");
  run.document = fs::exists(document) ? vexReadFile(document) : "(none)";
  return run;
}

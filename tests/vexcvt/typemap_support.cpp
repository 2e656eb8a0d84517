#include "tests/vexcvt/typemap_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <unistd.h>
#include <vector>

#include "cobol/Eval.h"
#include "cobol/Parser.h"
#include "cobol/Scanner.h"
#include "cobol/Source.h"
#include "cobol/Tree.h"
#include "cobol/copy.h"
#include "cobol/deftab.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "platform/vexdef.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "reuse/rMemory.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexcbcfg.h"
#include "vexcvt/vexfcbl/vexcbcrt.h"
#include "vexcvt/vexfcbl/vexcbctx.h"
#include "vexcvt/vexfcbl/vexcbprs.h"

namespace {

// Sets the configuration for one conversion and restores it afterwards.
class ScopedConfig {
public:
  explicit ScopedConfig(const VexTmConfig &config) : m_saved(current()) { apply(config); }
  ~ScopedConfig() { apply(m_saved); }
  ScopedConfig(const ScopedConfig &) = delete;
  ScopedConfig &operator=(const ScopedConfig &) = delete;

private:
  static VexTmConfig current() {
    const VexCblConfig &c = VexCblConfig::inst();
    return {c.commaDecimalPoint, c.textNumbersAsStrings, c.packedDefaultAsText, c.compatLevel};
  }
  static void apply(const VexTmConfig &config) {
    VexCblConfig &c = VexCblConfig::inst();
    c.commaDecimalPoint = config.commaDecimalPoint;
    c.textNumbersAsStrings = config.textNumbersAsStrings;
    c.packedDefaultAsText = config.packedDefaultAsText;
    c.compatLevel = config.compatLevel;
  }
  VexTmConfig m_saved;
};

std::unique_ptr<VexCblValue> makeValue(const VexTmItem &item) {
  auto value = std::make_unique<VexCblValue>();
  value->setExpandable(item.all);
  switch (item.valueKind) {
  case VexTmValueKind::none:
    return nullptr;
  case VexTmValueKind::string:
    value->setStrValue(item.value);
    break;
  case VexTmValueKind::number:
    value->setNumValue(item.value);
    break;
  case VexTmValueKind::figurative:
    value->setFigConst(item.figurative);
    break;
  }
  return value;
}

// Converts `obj` inside `grp` as the declaration walk does, with the item's
// report context alive and the standard error stream captured.
VexTmResult convertItem(VexCblGrpContext &grp, VexCblObjContext &obj) {
  VexTmResult result;
  VexCblReportContext context(vexTmItemName, nullptr);
  testing::internal::CaptureStderr();
  try {
    const VexDataDef def = vexCblCreateDef(grp, obj);
    result.markup = vexToMbcs(VexMfRdfWriter::fillStanza(*def).getAttrValue("definition"));
  } catch (const VexCvtError &) {
    result.threw = true;
  }
  result.messages = testing::internal::GetCapturedStderr();
  return result;
}

std::string storedMessages() {
  std::FILE *out = std::tmpfile();
  if (out == nullptr)
    return "cannot create a temporary file";
  WriteMessages(out);
  std::rewind(out);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0)
    text.append(buffer, n);
  std::fclose(out);
  return text;
}

// The front end of one conversion over a copybook in a fresh folder, torn
// down (tree, pools, identifiers, working folder) when it goes.
class ScopedFrontEnd {
public:
  explicit ScopedFrontEnd(const std::string &source) : m_previous(std::filesystem::current_path()) {
    static int counter = 0;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("vextm-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "T.cpy", std::ios::binary) << source;
    std::filesystem::current_path(dir);
    m_dir = dir;
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
    NameCheck = true;
    NameCheckMsg = true;
    init_copy_pars();
    BeginFile("T.cpy");
    BeginScanner();
    push(MakeIdent("T.cpy"));
  }
  ~ScopedFrontEnd() {
    CloseParser();
    ResetScanner();
    ReleaseTreeModule();
    StoreMessages(false);
    CloseIdents();
    CloseStringMemory();
    CloserMemory();
    std::filesystem::current_path(m_previous);
    std::filesystem::remove_all(m_dir);
  }
  ScopedFrontEnd(const ScopedFrontEnd &) = delete;
  ScopedFrontEnd &operator=(const ScopedFrontEnd &) = delete;

  // Parses the copybook and resolves its references as the driver does;
  // false when the front end recorded errors.
  bool parse() {
    Parser2(ParserStartCopybook);
    as<tree::data_division>(TreeRoot)->deftab = deftab_decls;
    Eval(TreeRoot);
    return GetCount(xxError) == 0 && GetCount(xxFatal) == 0;
  }

private:
  std::filesystem::path m_previous;
  std::filesystem::path m_dir;
};

// The item context of the entry that `decl` declares, read as the walk reads
// it: the name first, then the clauses.
void extract(tree::decl *decl, VexCblObjContext &obj) {
  vexCblAheadObjExtr(decl->object, obj);
  vexCblExtractObj(decl->object, obj);
  obj.isGroup = is<tree::decl>(decl->fields) ? 1 : 0;
}

std::string fixedLines(const std::string &lines) {
  std::istringstream in(lines);
  std::string line, out;
  while (std::getline(in, line))
    out += "       " + line + "\n";
  return out;
}

} // namespace

VexTmResult vexTmConvertSource(const std::string &entries, const VexTmConfig &config) {
  ScopedConfig scoped(config);
  ScopedFrontEnd frontEnd(fixedLines(entries));
  VexTmResult result;
  if (!frontEnd.parse()) {
    result.markup = "syntax error";
    result.messages = storedMessages();
    return result;
  }
  tree::decl *item = as_if<tree::decl>(Identify(MakeIdent(vexTmItemName)));
  if (item == nullptr) {
    result.markup = "no entry named ITEM";
    return result;
  }
  // The enclosing groups, innermost first; the root declaration has level 0.
  std::vector<tree::decl *> groups;
  for (tree::decl *up = as_if<tree::decl>(item->lower); up != nullptr && up->level != 0;
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
  return convertItem(contexts.back(), obj);
}

VexTmResult vexTmConvert(const VexTmItem &item, const VexTmConfig &config) {
  ScopedConfig scoped(config);
  VexCblGrpContext grp;
  grp.usage = item.groupUsage;
  grp.sign = item.groupSign;
  VexCblObjContext obj;
  obj.name = vexTmItemName;
  obj.usage = item.usage;
  obj.sign = item.sign;
  obj.isGroup = item.isGroup ? 1 : 0;
  obj.blankWhenZero = item.blankWhenZero;
  obj.justified = item.justified;
  // The picture is stored under the configuration, as the extraction does.
  if (item.picture != nullptr)
    obj.picture = std::make_unique<VexCblPicture>(item.picture);
  obj.value = makeValue(item);
  return convertItem(grp, obj);
}

std::string vexTmMessage(const char *text) {
  return std::string(" (") + vexTmItemName + ") " + text + "\n";
}

std::string vexTmSchemaErrors(const std::string &markup) {
  char path[] = "/tmp/vextmXXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0)
    return "cannot create a temporary file";
  close(fd);
  std::ofstream(path) << markup;
  const std::string command = std::string("xmllint --noout --schema ") + VEX_SOURCE_DIR +
                              "/schema/vexfcbl.xsd " + path + " 2>&1";
  std::string output;
  if (FILE *pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe))
      output += buffer;
    const int status = pclose(pipe);
    // xmllint names the file "validates" on success; only failures matter.
    if (status == 0)
      output.clear();
  } else {
    output = "cannot run xmllint";
  }
  std::remove(path);
  return output;
}

#include "parse_support.h"

#include <filesystem>
#include <sstream>

#include "cobol/Eval.h"
#include "cobol/Parser.h"
#include "cobol/Scanner.h"
#include "cobol/copy.h"
#include "common/Errors.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "reuse/rFsearch.h"
#include "reuse/rMemory.h"
#include "tokens_support.h"

ParseResult ParseCopybook(const std::string &source, bool resolve) {
  ReleaseTreeModule();
  StartFrontEnd(false);
  BeginDeftab();
  NameCheck = true;
  NameCheckMsg = true;
  init_copy_pars();
  const std::string path = WriteTempFile(source, "T.cpy");
  // Positions name the file as the test calls it, not its temporary folder.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(path).parent_path());
  // COPY statements search the test's folder, as the driver's search would.
  Close_rFsearch();
  Begin_rFsearch(false);
  rAddDir("./", 0, true);
  rAddExtension(".cpy");
  rAddExtension("");
  rReadAllDirs();
  BeginFile("T.cpy");
  BeginScanner();
  push(MakeIdent("T.cpy"));

  ParseResult result;
  result.syntaxErrors = Parser2(ParserStartCopybook);
  result.root = as<tree::data_division>(TreeRoot);
  if (resolve) {
    result.root->deftab = deftab_decls;
    Eval(TreeRoot);
  }
  result.messages = StoredMessages();
  CloseParser();
  CloseScanner();
  Close_rFsearch();
  std::filesystem::current_path(previous);
  return result;
}

tree::decl *DeclOf(const char *name) { return as_if<tree::decl>(Identify(MakeIdent(name))); }

tree::format *EntryOf(const char *name) {
  tree::decl *decl = DeclOf(name);
  return decl == nullptr ? nullptr : as_if<tree::format>(decl->object);
}

std::string ClauseKinds(const tree::format_1 *entry) {
  std::string kinds;
  for (tTree clause = entry->data_clause_l; is<tree::data_clause>(clause);
       clause = as<tree::data_clause>(clause)->next)
    kinds += std::string(kinds.empty() ? "" : " ") + Tree_KindName(clause->Kind);
  return kinds;
}

std::string Text(tStringRef ref) { return ref == nullptr ? std::string() : StGetCStr(ref); }

std::string Fixed(const std::string &lines) {
  std::istringstream in(lines);
  std::string line, out;
  while (std::getline(in, line))
    out += "       " + line + "\n";
  return out;
}

void ParseTest::TearDown() {
  ReleaseTreeModule();
  StoreMessages(false);
  CloseIdents();
  CloseStringMemory();
  CloserMemory();
}

// Runs ParseCopybook on test text in the test's run; tree and declaration dumps.
#include "parse_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "diagnostics/message_store.h"
#include "frontend/copy_inclusion.h"
#include "frontend/front_end.h"
#include "frontend/parser.h"
#include "frontend/reference_resolution.h"
#include "frontend/scanner.h"
#include "support/copybook_search.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"
#include "tokens_support.h"

namespace {

// Runs the front end's entry point on `path` in the test's folder, in the
// test's own run, so that the test can inspect the tree. Positions name the
// file as the test calls it, not its temporary folder; COPY statements search
// the test's folder, as the program's search would.
ParseResult parseInFolder(const std::string &path, FrontEndOptions options) {
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(path).parent_path());
  options.messages = nullptr;
  FrontEndResult parsed = ::ParseCopybook("T.cpy", options, &RunState::active());
  std::filesystem::current_path(previous);
  ParseResult result;
  result.syntaxErrors = parsed.syntaxErrors();
  result.root = as<tree::data_division>(parsed.root());
  result.messages = StoredMessages();
  return result;
}

} // namespace

ParseResult ParseWith(const std::string &source, FrontEndOptions options) {
  return parseInFolder(WriteTempFile(source, "T.cpy"), options);
}

ParseResult ParseCopybook(const std::string &source,
                          const std::vector<std::pair<std::string, std::string>> &copybooks,
                          bool lenient) {
  const std::string path = WriteTempFile(source, "T.cpy");
  const auto folder = std::filesystem::path(path).parent_path();
  for (const auto &[name, text] : copybooks) {
    std::filesystem::create_directories((folder / name).parent_path());
    std::ofstream(folder / name, std::ios::binary) << text;
  }
  FrontEndOptions options;
  options.lenient = lenient;
  return parseInFolder(path, options);
}

tree::decl *DeclOf(const char *name) { return as_if<tree::decl>(Identify(MakeIdent(name))); }

tree::format *EntryOf(const char *name) {
  tree::decl *decl = DeclOf(name);
  return decl == nullptr ? nullptr : as_if<tree::format>(decl->object);
}

std::string ClauseKinds(const tree::format_1 *entry) {
  std::string kinds;
  for (tTree clause = entry->data_clause_l; is<tree::data_clause_c>(clause);
       clause = *Tree_Next(clause))
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
}

namespace {

std::string positionText(const tPosition &at) {
  std::string text = std::to_string(at.Line) + "," + std::to_string(at.Column);
  if (at.File != NoIdent && std::string(GetCStr(at.File)) != "T.cpy")
    text = std::string(GetCStr(at.File)) + ":" + text;
  return text;
}

std::string referenceText(tTree node) {
  if (node == TreeNoReference)
    return "none";
  if (const auto *decl = as_if<tree::decl>(node))
    return std::string(decl->name == NoIdent ? "-" : GetCStr(decl->name)) + "@" +
           positionText(decl->position);
  return Tree_KindName(node->Kind);
}

bool isEndNode(tTree node) {
  return std::string(Tree_KindName(node->Kind)).rfind("no", 0) == 0 && node->Kind != knominal_key;
}

struct Dumper {
  std::string out;
  std::string line;                            // the fields of the node being printed
  std::vector<std::pair<tTree, int>> children; // printed after the node's line
  tIdent lastIdent = NoIdent;

  void field(const char *name, const std::string &value) {
    line += std::string(" ") + name + "=" + value;
  }
  void dump(tTree node, int depth);
};

#define DUMP_link(name)
#define DUMP_own_link(name)
#define DUMP_base_link(name)
#define DUMP_child(name)                                                                           \
  if (n->name != NoTree && !isEndNode(n->name))                                                    \
    d.children.emplace_back(n->name, 0);
#define DUMP_ref(name)                                                                             \
  if (n->name != NoTree)                                                                           \
    d.field(#name, "->" + referenceText(n->name));
#define DUMP_later(name) DUMP_ref(name)
#define DUMP_ident(name)                                                                           \
  if (n->name != NoIdent &&                                                                        \
      !(std::string(#name).rfind("spelling", 0) == 0 && n->name == d.lastIdent))                   \
    d.field(#name, GetCStr(n->name));                                                              \
  d.lastIdent = n->name;
#define DUMP_str(name)                                                                             \
  if (n->name != nullptr)                                                                          \
    d.field(#name, "\"" + Text(n->name) + "\"");
#define DUMP_pos(name)                                                                             \
  if (n->name.Line != 0)                                                                           \
    d.field(#name, positionText(n->name));
#define DUMP_flag(name)                                                                            \
  if (n->name)                                                                                     \
    d.line += " " #name;
#define DUMP_chr(name) d.field(#name, std::string(1, n->name));
#define DUMP_shrt(name) d.field(#name, std::to_string(n->name));
#define DUMP_int32(name) d.field(#name, std::to_string(n->name));
#define DUMP_word(name)                                                                            \
  if (n->name != 0)                                                                                \
    d.field(#name, std::to_string(n->name));
#define DUMP_dkind(name) d.field(#name, std::to_string(n->name));
#define DUMP_tflags(name) d.field(#name, std::to_string(n->name));
#define DUMP_unkept_pos(name)
#define DUMP_unkept_str(name)
#define DUMP_FIELD(type, name) DUMP_##type(name)

void dumpFields(Dumper &d, tTree node) {
  switch (node->Kind) {
#define TREE_KIND(num, kind, base)                                                                 \
  case num: {                                                                                      \
    [[maybe_unused]] auto *n = static_cast<tree::kind *>(node);                                    \
    TREE_FIELDS_##kind(DUMP_FIELD, DUMP_FIELD) break;                                              \
  }
#include "frontend/syntax_tree.def"
  }
}

void Dumper::dump(tTree node, int depth) {
  for (; node != NoTree && !isEndNode(node); node = Tree_Next(node) ? *Tree_Next(node) : NoTree) {
    line = std::string(2 * depth, ' ') + Tree_KindName(node->Kind);
    children.clear();
    lastIdent = NoIdent;
    dumpFields(*this, node);
    out += line + "\n";
    const auto own = children;
    for (const auto &child : own)
      dump(child.first, depth + 1);
  }
}

void dumpDecls(std::string &out, tTree list, int depth) {
  for (tTree node = list; node != NoTree; node = as<tree::decl>(node)->next) {
    const auto *decl = as<tree::decl>(node);
    std::string line = std::string(2 * depth, ' ');
    if (decl->level == 0 && decl->name == NoIdent && depth == 0)
      line += "(top)";
    else {
      char level[8];
      std::snprintf(level, sizeof level, "%02d", decl->level);
      line += std::string(level) + " " + referenceText(node);
      if (decl->kind != 0)
        line += " kind=" + std::to_string(decl->kind);
    }
    out += line + "\n";
    dumpDecls(out, decl->fields, depth + 1);
  }
}

} // namespace

std::string DumpTree(tTree node) {
  Dumper d;
  d.dump(node, 0);
  return d.out;
}

std::string DumpDeclarations() {
  std::string out;
  dumpDecls(out, deftab_decls(), 0);
  return out;
}

#pragma once
// Parser behaviour through real source text: a copybook goes in, the tree,
// the declarations, the syntax-error count and the printed messages come out.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "frontend/declaration_table.h"
#include "frontend/syntax_tree.h"

struct ParseResult {
  int syntaxErrors = 0;
  // The messages as the message store prints them, sorted, for "T.cpy".
  std::string messages;
  tree::data_division *root = nullptr;
};

// Writes `source` to T.cpy in a fresh folder, with `copybooks` (path relative
// to the folder, text) beside it, and runs the front end's entry point on it
// in the test's run, without writing messages. The tree and the declarations
// stay valid until the test ends. `lenient` parses as -lenient does.
ParseResult ParseCopybook(const std::string &source,
                          const std::vector<std::pair<std::string, std::string>> &copybooks = {},
                          bool lenient = false);

// The same with the front end's options (`messages` is set to none).
struct FrontEndOptions;
ParseResult ParseWith(const std::string &source, FrontEndOptions options);

// The newest declaration of `name` made by the last ParseCopybook, or null.
tree::decl *DeclOf(const char *name);

// The entry node that declared `name`.
tree::format *EntryOf(const char *name);

// The clauses of a format_1 entry in source order (as kind numbers).
std::string ClauseKinds(const tree::format_1 *entry);

// The text of a string reference ("" for null).
std::string Text(tStringRef ref);

// Fixed-format source lines: each line gets seven leading blanks, so that
// level numbers start in column 8.
std::string Fixed(const std::string &lines);

// The subtree of `node` (with the lists that follow it), one node per line
// indented by depth: the kind name and every field that is set, as
// "field=value"; positions as LINE,COL (with the file when it is not T.cpy),
// references as "->NAME@LINE,COL" of their declaration, true flags by name.
// End nodes of lists and unset fields are left out.
std::string DumpTree(tTree node);

// The declaration table of the last ParseCopybook in list order, indented by
// depth: "LEVEL NAME @LINE,COL" ("-" for no name; the top-level list marker
// as "(top)"), with "kind=K" when the kind is set.
std::string DumpDeclarations();

// Releases the tree and the memory pools after each test, so that the next
// test (of any module) starts from fresh pools.
class ParseTest : public ::testing::Test {
protected:
  void TearDown() override;
};

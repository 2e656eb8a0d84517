#pragma once
// Shared set-up for the tests of the syntax tree, the declaration table, the
// resolver and the restructuring pass: fresh front-end state per test and
// small builders for entries and references.

#include <gtest/gtest.h>

#include <string>

#include "frontend/syntax_tree.h"
#include "frontend/declaration_table.h"

// Memory pools, string memory, identifiers, message store (in store mode) and
// declaration table begun afresh; NameCheck on.
class FrontEndTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Prints the stored messages (sorted) and returns the text.
  static std::string Messages();
  // A position in the file `file` (interned).
  static tPosition At(unsigned line, unsigned column, const char *file = "MAIN.cpy");
  // The identifier of a text.
  static tIdent Id(const char *text);
  // A format_1 entry with no clauses, its name at `at` (name NoIdent when
  // `name` is empty), not declared.
  static tree::format_1 *Entry(int level, const char *name, const tPosition &at,
                               tTree clauses = NoTree);
  // Makes an entry like Entry and declares it; returns the declaration.
  static tree::decl *DeclareEntry(int level, const char *name, const tPosition &at);
  // An unqualified reference written at `at`.
  static tree::name *Ref(const char *name, const tPosition &at);
  // The qualified reference `name` OF `qualifier`, written at `at`.
  static tree::qualification *RefOf(const char *name, tTree qualifier, const tPosition &at);
};

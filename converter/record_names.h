#pragma once
// The names of the records of a program file (-program), one rule for the document and the layout.
#include <cstddef>
#include <set>
#include <string>

#include "frontend/syntax_tree.h"

// The records of a program file (-program): a record's name begins with
// `prefix` (its program's name and "_" when the file holds more than one
// program), and a name an earlier record of the same program took is
// qualified by the record's file or section. Off for a copybook.
struct VexProgramRecordNames {
  bool on = false;
  std::string prefix;
  std::set<std::string> taken;

  // Names the records of the program `program` of a file of `programs`.
  void begin(std::size_t programs, const std::string &program);
  // The name of the record `decl`, written `name`: the program's prefix,
  // and "_" and the record's file or section (WORKING-STORAGE,
  // LOCAL-STORAGE, LINKAGE, COMMUNICATION, REPORT, FILE) after a name an
  // earlier record of the program already took. An unnamed record or a
  // FILLER keeps its name.
  std::string name(const tree::decl &decl, const std::string &name);
};

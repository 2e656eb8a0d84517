#include <cstdio>

#include "frontend/reference_resolution.h"
#include "frontend/parser.h"
#include "frontend/scanner.h"
#include "frontend/syntax_tree.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "frontend/keywords.h"
#include "diagnostics/message_store.h"
#include "support/library_error.h"
#include "support/trace.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"
#include "converter/conversion_report.h"
#include "converter/declaration_traversal.h"
#include "cli/driver.h"

namespace {

TRC1_EPB trcBlock{"VEXFCBL"};

// The entries to convert, from the head of the declaration list: normally
// the root declaration (level 0) followed by the top-level entries. When no
// top-level entry was declared, as in a copybook that starts at level 05,
// the entries hang below the root instead.
Tree_Node *vexFcblConversionList(tree::decl *head) {
  VEX_TRACE(trcBlock, "vexFcblConversionList");
  if (head == nullptr)
    return nullptr;
  if (head->next == nullptr)
    return head->fields;
  if (head->level != 0)
    return head;
  return head->next;
}

void vexFcblCloseFrontEnd() {
  VEX_TRACE(trcBlock, "vexFcblCloseFrontEnd");
  CloseParser();
  CloseScanner();
  CloseIdents();
  CloseStringMemory();
  ReleaseTreeModule();
}

// Converts the declarations; a converter error leaves the front end closed
// behind it, so that its memory goes back before the driver reports.
void vexFcblConvert() {
  VEX_TRACE(trcBlock, "vexFcblConvert");
  std::fputs("Starting conversion ...\n", stderr);
  try {
    vexCbDeftabDrv(vexFcblConversionList(deftab_decls()));
  } catch (const VexCvtError &) {
    vexFcblCloseFrontEnd();
    throw;
  } catch (const VexError &) {
    vexFcblCloseFrontEnd();
    throw;
  }
}

} // namespace

void process(const char *fileName) {
  VEX_TRACE(trcBlock, "process");
  VEX_TRACE_ARGS(trcBlock) << "fileName"
                           << "(" << fileName << ") ";
  InitStringMemory();
  InitIdents();
  BeginErrors();
  // Front-end messages are collected and printed sorted once the source has
  // been read and resolved.
  StoreMessages(true);
  init_keywords("");
  BeginDeftab();
  init_copy_pars();

  std::fputs("Starting Cobol parsing ...\n", stderr);
  const tIdent file = MakeIdent(fileName);
  BeginFile(fileName);
  BeginScanner();
  push(file);

  Parser2(start);

  as<tree::data_division>(TreeRoot())->deftab = deftab_decls();
  Eval(TreeRoot());

  WriteMessages(stderr);
  if (GetCount(xxError) != 0) {
    VexCvtReport::inst().msg("Error: Cobol source contains errors. Conversion stopped.\n", true);
  } else {
    vexFcblConvert();
  }
  vexFcblCloseFrontEnd();
}

#include "converter/conversion_run.h"

#include "converter/conversion_messages.h"
#include "diagnostics/message_store.h"
#include "frontend/copy_inclusion.h"
#include "frontend/declaration_table.h"
#include "frontend/keywords.h"
#include "frontend/parser.h"
#include "frontend/reference_resolution.h"
#include "frontend/scanner.h"
#include "frontend/syntax_tree.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

// ---------------------------------------------------------------------------
// The front end's part of a run

int vexFcblReadSource(const char *fileName, std::FILE *messages) {
  InitStringMemory();
  InitIdents();
  BeginErrors();
  // Front-end messages are collected and printed sorted once the source has
  // been read and resolved.
  StoreMessages(true);
  init_keywords("");
  BeginDeftab();
  init_copy_pars();

  std::fputs(vexCblMsg::startingParsing, stderr);
  const tIdent file = MakeIdent(fileName);
  BeginFile(fileName);
  BeginScanner();
  push(file);

  Parser2(ParserStartCopybook);

  as<tree::data_division>(TreeRoot)->deftab = deftab_decls;
  Eval(TreeRoot);

  WriteMessages(messages);
  return GetCount(xxError);
}

// The entries to convert, from the head of the declaration list: normally
// the root declaration (level 0) followed by the top-level entries. When no
// top-level entry was declared, as in a copybook that starts at level 05,
// the entries hang below the root instead.
Tree_Node *vexFcblDeclarations() {
  tree::decl *head = deftab_decls;
  if (head == nullptr)
    return nullptr;
  if (head->next == nullptr)
    return head->fields;
  if (head->level != 0)
    return head;
  return head->next;
}

void vexFcblCloseFrontEnd() {
  CloseParser();
  CloseScanner();
  CloseIdents();
  CloseStringMemory();
  ReleaseTreeModule();
}

// ---------------------------------------------------------------------------
// The run

VexCvtStatus process(const char *fileName, const VexCblConfig &options) {
  // The front end: a fatal error leaves through its exception from here.
  const int errors = vexFcblReadSource(fileName, stderr);

  // The converter, only on a source without errors.
  VexCvtStatus status = VexCvtStatus::completed;
  try {
    if (errors != 0)
      std::fputs(vexCblMsg::sourceErrors, stderr);
    else
      status = vexCblConvert(vexFcblDeclarations(), options);
  } catch (...) {
    // The front end's memory goes back before the caller reports.
    vexFcblCloseFrontEnd();
    throw;
  }
  vexFcblCloseFrontEnd();
  return status;
}

#include <cstdio>

#include "cobol/Eval.h"
#include "cobol/Parser.h"
#include "cobol/Scanner.h"
#include "cobol/Tree.h"
#include "cobol/copy.h"
#include "cobol/deftab.h"
#include "cobol/keywords.h"
#include "common/Errors.h"
#include "reuse/Idents.h"
#include "reuse/StringM.h"
#include "vexcvt/vexcvst.h"
#include "vexcvt/vexfcbl/vexfcbl.h"

void process(const char *fileName) {
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

  as<tree::data_division>(TreeRoot)->deftab = deftab_decls;
  Eval(TreeRoot);

  WriteMessages(stderr);
  if (GetCount(xxError) != 0) {
    VexCvtReport::inst().msg("Error: Cobol source contains errors. Conversion stopped.\n", true);
  } else {
    // The declaration driver is not part of this build: say so rather than
    // write an empty or partial document.
    std::fputs("Conversion of declarations is not available in this build.\n", stderr);
  }

  CloseParser();
  CloseScanner();
  CloseIdents();
  CloseStringMemory();
  ReleaseTreeModule();
}

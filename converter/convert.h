#pragma once
// The converter's entry point: a declaration list of the front end in, a
// document out. This header is all a caller of the converter needs.
#include <string>
#include <vector>

#include "converter/conversion_options.h"

struct Tree_Node;
class RunState;

// How a conversion ended.
enum class VexCvtStatus {
  // Converted and exported (also when there was nothing to export, or the
  // output file could not be opened, as the messages and trace say).
  completed,
  // An item could not be converted, or the model or the document failed;
  // the message has been written and no document.
  failed,
};

// What became of the document of a run, for a caller that must tell apart
// the ways a run ends without one (-strict).
enum class VexDocumentEnd {
  written,
  // The front end found errors: "Conversion stopped".
  sourceErrors,
  // Converted, but the output file could not be opened for writing.
  notWritten,
  // Converted, but no definition to export.
  nothingToExport,
  // The conversion failed or never started.
  notConverted,
};
struct VexDocumentOutcome {
  VexDocumentEnd end = VexDocumentEnd::notConverted;
  // notWritten: the system's reason (strerror).
  std::string reason;
};

// Converts the declarations from `declList` on (the front end's top-level
// entries, each with its members; null for none) under `options` and writes
// the document to options.outputFileName (the standard output when empty)
// under options.namespaceName. Writes "Starting conversion ..." and every
// message of the conversion to options.messages (the standard error stream
// by default), a model or document
// error as "Error: " and its text. The conversion owns everything it makes,
// its trace included (VEXFCBL_TRACE, read when it starts), so conversions in
// one process never see each other. Other exceptions propagate.
// `outcome`, when given, receives what became of the document.
VexCvtStatus vexCblConvert(Tree_Node *declList, const VexCblConfig &options,
                           VexDocumentOutcome *outcome = nullptr);

// One program of a program file (-program): the front end's run that holds
// its declarations, its top-level entries (as for vexCblConvert) and its
// PROGRAM-ID (empty for a DATA DIVISION without one).
struct VexProgramPart {
  RunState *run;
  Tree_Node *entries;
  std::string name;
  // The program's SPECIAL-NAMES say DECIMAL-POINT IS COMMA: its pictures
  // and literals are read as -c reads them.
  bool decimalPointComma = false;
};

// Converts the records of every program of a program file, in order, into
// one document, as vexCblConvert does for one declaration list; each part is
// converted with its run active. The records of a file or sort-file
// description convert as records. With more than one part a record's name
// begins with its program's name and "_"; a record whose name an earlier
// record of the same program already has is named NAME_QUALIFIER, where
// QUALIFIER is its file's name or its section (WORKING-STORAGE,
// LOCAL-STORAGE, LINKAGE, REPORT, COMMUNICATION).
VexCvtStatus vexCblConvertProgram(const std::vector<VexProgramPart> &parts,
                                  const VexCblConfig &options,
                                  VexDocumentOutcome *outcome = nullptr);

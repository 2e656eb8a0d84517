#pragma once
// One run of the program on one input file: the front end reads the
// copybook, then the converter turns its declarations into the document.
#include <cstdio>

#include "converter/convert.h"

// Runs one conversion of `fileName` under `options`: the front end (its
// switches already applied), its messages on the standard error stream, then,
// when it found no error, the conversion (convert.h). A copybook with errors
// ends with "Error: Cobol source contains errors. Conversion stopped." and
// counts as completed. A fatal front-end error propagates as the front end's
// exception, the front end left as it was.
VexCvtStatus process(const char *fileName, const VexCblConfig &options);

// The front end's part of a run, until the front end has an entry point of
// its own. vexFcblReadSource starts the front end (string memory,
// identifiers, messages, keywords, declaration table, COPY), reads
// `fileName` as a copybook, resolves its references and writes the collected
// messages to `messages`; it returns the number of messages of the error
// class. The declarations (vexFcblDeclarations) stay valid until
// vexFcblCloseFrontEnd releases the front end.
int vexFcblReadSource(const char *fileName, std::FILE *messages);
Tree_Node *vexFcblDeclarations();
void vexFcblCloseFrontEnd();

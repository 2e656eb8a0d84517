#pragma once
// COPY statements: the switch that enables them, the copy-file levels, and
// what happens when the parser has read a COPY statement.

#include "cobol/Tree.h"
#include "reuse/Idents.h"

// 1: COPY statements are processed (copybooks are searched and included).
extern bool do_copy;

// Resets the COPY-statement machinery for a new conversion.
void init_copy_pars();

// Enters a copy-file level: `file` becomes the file that positions name.
// The driver enters the main source file this way.
void push(tIdent file);

// Leaves the innermost copy-file level and restores the file before it.
void pop();

// Called by the parser when it has reduced a COPY statement (`statement` is
// its s_copy node), at the statement's period and before the next terminal
// is read, so that a copybook opened here is scanned next. Returns 1 when a
// file was opened, 0 otherwise; nothing is reported or included here yet.
int CopyStatementReduced(tree::s_copy *statement);

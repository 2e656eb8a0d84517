#pragma once
#include <string>

#include "cli/command_line.h"
#include "diagnostics/fatal_error.h"

// The program vexfcbl: command line, run of one conversion, exit status.

// The parser's start selector handed to Parser2; the driver sets it to 2
// (a copybook: data description entries without division headers).
extern int start;

// What OurExit throws; vexFcblMain catches it with every other FatalError.
struct VexFcblFatalExit : FatalError {};

// The whole program: reads the options, converts the input file, and returns
// the exit status (0 on completion and when the front end recorded errors,
// 1 on a fatal front-end error or an exception). `-?`, an unknown option, a
// bad option value and a missing input file end the process from inside.
int vexFcblMain(int argc, char **argv);

// Reads the options under the cursor into VexCblConfig, the front-end
// switches and the copybook search (which must have been started), then
// appends "./", ".cpy" and the bare name, checks that an input file was
// given, derives the output name when -o was absent and turns the name
// checks on. Returns the input file name.
std::string vexFcblReadOptions(VexCmdLine &line);

// Leaves the front end after a fatal message: unwinds to vexFcblMain, which
// writes the stop message and returns 1. Never returns.
[[noreturn]] void OurExit();

// `name` up to (not including) its last "." -- the whole of `name` when it
// holds none, directories included in the search -- followed by `ext`.
std::string vexReplaceExt(const char *name, const char *ext);

// Runs one conversion of fileName: front end, messages, conversion, export.
void process(const char *fileName);

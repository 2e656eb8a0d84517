#pragma once
// The program vexfcbl: command line, run of one conversion, exit status.
#include <string>

#include "cli/batch_run.h"
#include "cli/command_line.h"
#include "converter/conversion_options.h"
#include "frontend/front_end.h"

// Everything the command line chooses for one run.
struct VexFcblOptions {
  std::string inputFile;    // -i
  VexCblConfig conversion;  // -c -dnd -tn -ta -ns -o -compat -r
  FrontEndOptions frontEnd; // -f -d -e
  std::string layoutFile;   // -layout; empty: no layout
  bool strict = false;      // -strict (-lenient sets frontEnd.lenient and conversion.lenient)
  VexBatchOptions batch;    // -batch -od -pattern -j; inputFolder empty: one file
};

// The whole program: reads the options, converts the input file, and returns
// the exit status: 0 on completion, when the front end recorded errors and
// for -?; 1 for an option error (written with the usage text), a fatal
// front-end error, an error while converting and any other exception.
// With -batch, 1 when a file failed, else 0 (cli/batch_run.h).
// With -strict, a run that converted but wrote no document ends with a status
// of its own instead of 0 (a fatal front-end error with
// vexStrictSourceErrors too).
int vexFcblMain(int argc, char **argv);

// -strict: the source has errors, the conversion stopped.
inline constexpr int vexStrictSourceErrors = 2;
// -strict: converted, but the output file could not be written.
inline constexpr int vexStrictNotWritten = 3;
// -strict: converted, but nothing to export.
inline constexpr int vexStrictNothingToExport = 4;

// Reads the options under the cursor, checks that an input file was given and
// derives the output name when -o was absent. An option error, a missing
// input file and -? write their message and the usage text through `errors`
// and end the reading with VexCmdStop.
VexFcblOptions vexFcblReadOptions(VexCmdLine &line, const VexCmdError &errors);

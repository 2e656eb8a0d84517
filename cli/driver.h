#pragma once
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "converter/conversion_options.h"

// The program vexfcbl: command line, run of one conversion, exit status.

// What OurExit throws; only vexFcblMain catches it.
struct VexFcblFatalExit {};

// The front end's switches of the command line, applied to the front end by
// vexFcblApplySwitches right before the run.
struct FrontEndSwitches {
  bool freeFormat = false;                  // -f
  std::vector<std::string> copyDirectories; // -d, in the order given
  std::vector<std::string> extensions;      // -e, each with its leading "."
};

// Everything the command line chooses for one run.
struct VexFcblOptions {
  std::string inputFile;     // -i
  VexCblConfig conversion;   // -c -dnd -tn -ta -ns -o -compat -r
  FrontEndSwitches frontEnd; // -f -d -e
};

// The whole program: reads the options, converts the input file, and returns
// the exit status: 0 on completion, when the front end recorded errors and
// for -?; 1 for an option error (written with the usage text), a fatal
// front-end error, an error while converting and any other exception.
int vexFcblMain(int argc, char **argv);

// Reads the options under the cursor, checks that an input file was given and
// derives the output name when -o was absent. An option error, a missing
// input file and -? write their message and the usage text through `errors`
// and end the reading with VexCmdStop.
VexFcblOptions vexFcblReadOptions(VexCmdLine &line, const VexCmdError &errors);

// Sets the front end's globals for one run from `switches`: source format and
// line length, the copybook search (the given directories, then the current
// one; ".cpy", the given extensions from the last to the first, then the bare
// name; listings read), name checks on, COPY on. The copybook search must
// have been started.
void vexFcblApplySwitches(const FrontEndSwitches &switches);

// Routes the front end's fatal exit hooks to OurExit.
void vexFcblInstallExits();

// Leaves the front end after a fatal message: unwinds to vexFcblMain, which
// writes the stop message and returns 1. Never returns.
[[noreturn]] void OurExit();

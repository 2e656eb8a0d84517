#pragma once
// One run of the whole pipeline on one copybook: the front end reads it, then
// the converter turns its declarations into the document.
#include <functional>
#include <string>
#include <vector>

#include "converter/convert.h"
#include "frontend/front_end.h"

// Converts `fileName`: the front end under `frontEnd` (its progress line and
// sorted messages on the standard error stream), then, when it found no
// error, the conversion under `options` (convert.h). A copybook with errors
// ends with "Error: Cobol source contains errors. Conversion stopped." and
// counts as completed. An output file (options.outputFileName) that is the
// input file, or a copybook the front end read, is refused with an error on
// the standard error stream before anything is written: failed. A fatal
// front-end message, or memory exhaustion anywhere, ends the run with
// FatalError after the messages were written. Everything the run made is
// released on every way out.
VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options);

// What a caller does with the converted declarations while their runs are
// still alive (the record layout reads the same trees); its status becomes
// the run's. Called only after a completed conversion of a source without
// errors, with one part per program of a program file (-program), or one
// part without a name for a copybook, whose run is the active one.
using VexAfterConversion = std::function<VexCvtStatus(const std::vector<VexProgramPart> &parts)>;

// process, then `after` on the entries converted. `outcome`, when given,
// receives what became of the document (sourceErrors for a copybook with
// errors).
VexCvtStatus process(const std::string &fileName, const FrontEndOptions &frontEnd,
                     const VexCblConfig &options, const VexAfterConversion &after,
                     VexDocumentOutcome *outcome = nullptr);

// The front end's runs of one input: one for a copybook; for a program file
// one per program, each program's DATA DIVISION parsed on its own so that
// the names of one program never meet those of another.
struct ParsedInput {
  std::vector<FrontEndResult> parts;
  // The programs of a program file; one without a name for a copybook.
  std::vector<ProgramUnit> units;
  bool program = false;

  // Error messages of every part (a Fatal end counts as one).
  int errorCount() const;
  // A part ended on a Fatal message; the parts after it were not parsed.
  bool fatal() const;
  // The messages of every part as values, in the order printed.
  std::vector<SourceMessage> messages() const;
  // The parts as vexCblConvertProgram and the record model take them.
  std::vector<VexProgramPart> programParts();
};

// Parses a copybook (or, with frontEnd.program, a program file) held in
// memory as process parses a file, with the same reading of a comma decimal
// point (`commaOption`: -c). Never ends with FatalError: see fatal().
ParsedInput parseInputText(const SourceText &source, const FrontEndOptions &frontEnd,
                           bool commaOption);

// Converts input parsed without errors under `options` into its document
// (options.document keeps it in memory), as process does after the parse.
VexCvtStatus convertInput(ParsedInput &input, const VexCblConfig &options,
                          VexDocumentOutcome *outcome = nullptr);

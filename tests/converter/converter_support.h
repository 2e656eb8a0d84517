#pragma once
// Support of the converter tests: copybook text through the front end, the
// conversion options from option words, case files under data/, whole runs of
// the program, and the capture of standard streams.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "converter/conversion_options.h"
#include "frontend/syntax_tree.h"

// The conversion options of option words as the command line writes them
// (-c -tn -ta -r -dnd -compat N -ns NAME; anything else fails the test) on
// top of the defaults.
VexCblConfig vexOptions(const std::string &words);

// A scratch folder that is the current directory while the object lives.
class VexScratchDir {
public:
  VexScratchDir();
  ~VexScratchDir();
  VexScratchDir(const VexScratchDir &) = delete;
  VexScratchDir &operator=(const VexScratchDir &) = delete;
  const std::filesystem::path &path() const { return path_; }
  // Writes `text` to the file `name` of the folder.
  void write(const std::string &name, const std::string &text) const;

private:
  std::filesystem::path path_, previous_;
};

// Fixed-format lines: seven blanks in front of every line put level numbers
// in column 8.
std::string vexFixed(const std::string &lines);

// Copybook text (written as given to T.cpy in a scratch folder) through the
// front end's part of a run (conversion_run.h) with the default switches
// (-lenient when `lenient`).
// Front-end memory, identifiers included, is released when the object goes,
// so that names and nodes live as long as it.
class VexFrontEnd {
public:
  explicit VexFrontEnd(const std::string &source, bool lenient = false);
  ~VexFrontEnd();
  VexFrontEnd(const VexFrontEnd &) = delete;
  VexFrontEnd &operator=(const VexFrontEnd &) = delete;

  int errors = 0;       // messages of the error class
  std::string messages; // the front end's messages as printed
  // The newest declaration of the normalised `name`; fails the test when
  // there is none.
  tree::decl *decl(const char *name) const;

private:
  VexScratchDir dir_;
};

// Converts the entry named ITEM of `entries` (fixed-format lines written from
// column 8) under `options` with vexCblCreateDef in a conversion of its own,
// its enclosing groups read first as the declaration walk reads them. Returns
// the definition's element and the standard error stream of the conversion;
// "syntax error" and the front-end messages when the source has errors;
// "throws" as the element when the conversion ended with VexCvtError.
struct VexItemResult {
  std::string markup, messages;
};
VexItemResult vexConvertItem(const std::string &entries, const VexCblConfig &options);

// One case of a case file. A case begins with a line "=== TITLE | OPTIONS";
// the lines up to the first "--- NAME" line form the section "", each later
// section runs to the next "---" or "===" line. Empty lines and lines
// starting with "#" are left out.
struct VexCase {
  std::string title, options;
  int line = 0;                               // where the case begins
  std::map<std::string, std::string> section; // name -> text, every line ended by "\n"
  // The section `name`, or `absent` when the case has none.
  std::string get(const std::string &name, const std::string &absent = "") const {
    const auto found = section.find(name);
    return found == section.end() ? absent : found->second;
  }
};
std::vector<VexCase> vexReadCases(const char *fileName);

// The text of `path` (relative to the source tree when it is relative).
std::string vexReadFile(const std::filesystem::path &path);

// Runs `body` with the standard output and error streams captured.
struct VexStreams {
  std::string out, err;
};
template <class Body> VexStreams vexCaptured(Body &&body) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  body();
  std::cout.flush();
  std::fflush(stdout);
  VexStreams streams;
  streams.out = testing::internal::GetCapturedStdout();
  streams.err = testing::internal::GetCapturedStderr();
  return streams;
}

// One run of the program's entry function (vexFcblMain) in a scratch folder:
// `copybook` written as `name`, the arguments `options` (split at blanks)
// and "-i NAME". What it wrote, its status, and the document NAME with ".gnv"
// in place of its extension ("(none)" when none was written).
struct VexProgramRun {
  VexStreams streams;
  int status = 0;
  std::string document;
};
VexProgramRun vexRunProgram(const std::string &copybook, const std::string &options,
                            const std::string &name = "T.cpy");

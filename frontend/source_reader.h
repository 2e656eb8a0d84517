#pragma once
// The source line reader: delivers a COBOL source one physical line at a time,
// normalised for the reference format, to the scanner.

#include <string>
#include <string_view>
#include <vector>

#include "frontend/program_text.h"

// Characters of a physical line that are kept: 72 in the fixed reference
// format (columns 73 onwards are the identification area), 256 in free
// format.
unsigned &MaxColumn();
// false: fixed reference format; true: free format.
bool &free_format();
// 1 while lines come from a real file; 0 while a repair line is served.
int &file_input();
// The repair line to serve next while file_input is 0: 1 "         .",
// 2 "       01.", 3 "       77."; 0 for none.
int &copy_repair();

// Size of the line buffer that callers of GetLine provide.
constexpr unsigned SourceBufferSize = 8448;

// Opens `path` for reading and returns its handle (the stream's descriptor
// number), or -1 when it cannot be opened. While file_input is 0 it opens
// nothing and returns 0. Handles 0, 1 and 2 are the standard streams.
int BeginSource(const char *path);

// Opens `text` (copied) as the source `name`, read as a file of that
// content would be, and returns its handle; `name` is what positions and
// SourcesOpened give. While file_input is 0 it opens nothing and returns 0.
int BeginSourceText(const char *name, std::string_view text);

// The paths BeginSource and BeginSourceText opened in the run, in the order
// opened.
const std::vector<std::string> &SourcesOpened();

// Reads the next line of `handle` into `buffer` (SourceBufferSize bytes) and
// returns the number of characters written, newline included; 0 at the end of
// input. The line is at most MaxColumn characters plus its newline. In fixed
// format the sequence area is blanked and the indicator moved to column 1;
// debugging lines come back as a single newline so that line numbers stay
// right; PROCESS/CBL lines come back unchanged; "-INC "/"-INCLUDE " lines come
// back with "+" in column 1. While file_input is 0 the pending repair line is
// returned once (length 10), then end of input.
int GetLine(int handle, char *buffer);

// What GetLine does to a line it has read (`line` holds it with its newline):
// PROCESS/CBL lines and include lines as described there, else the fixed or
// free format normalisation. For text that stands in for source lines.
void NormaliseLine(std::string &line);

// Reads lines that begin with ">>" as compiler directives, in every file
// (see frontend/program_text.h); a directive line is delivered empty. With
// `announce` every honoured directive is also noted as a warning.
void ReadDirectives(bool on, bool announce = false);

// The literal, as written, that a directive of the run (>>DEFINE CONSTANT,
// >>SET CONSTANT, $SET CONSTANT) made the constant `name` (upper case) stand
// for so far; null for none.
const std::string *DirectiveConstant(const std::string &name);

// Directives of lines GetLine delivered defined constants that are not yet
// in force; AdoptDirectiveConstants puts them in force. The scanner adopts
// them once it has scanned the lines before.
bool DirectiveConstantsPending();
void AdoptDirectiveConstants();

// The next file BeginSource opens is a program file: of its lines only those
// of the DATA DIVISION of the program numbered `unit` (from 0, in the order
// the programs begin) are delivered, the others come back empty. -1 delivers
// none and only outlines the programs.
void ReadProgram(int unit);

// The programs of the program file, as far as it has been read.
std::vector<ProgramUnit> ProgramUnits();

// Warnings about the lines GetLine delivered since the last call, with the
// line numbers of their files; the caller reports them.
std::vector<SourceNote> TakeSourceNotes();
// Whether TakeSourceNotes has any to give (seldom: asked after every line).
bool SourceNotesPending();

// Closes the stream of `handle`, or, while file_input is 0, sets it back to 1.
// Either way it then calls CloseSource_Hook.
void CloseSource(int handle);

// Called by CloseSource after the source is closed. The COPY machinery
// installs its `pop` here so that positions return to the including file.
// Null (the default): nothing is called.
using tCloseSourceHook = void (*)();
tCloseSourceHook &CloseSource_Hook();

#pragma once
// The COBOL scanner: turns the lines of the source reader into the terminals
// of the parsers (codes in frontend/keywords.def), with a stack of open files for
// COPY, and collects comment lines.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/position.h"
#include "frontend/keywords.h"
#include "support/identifier_table.h"
#include "support/string_memory.h"

// One line of collected text: a comment line, a line of a NOTE, or a line of
// an EXEC block. Lists are in source order and live in the run's arena.
struct tTextLine {
  tTextLine *next;
  tIdent filename; // the file the line came from
  int Line;
  tStringRef Value; // the text; EXEC lines keep their newline, others do not
};

// The attributes of the terminal just delivered.
struct tScanAttribute {
  tPosition Position;    // first character
  tPosition EndPosition; // last character; NoPosition for inserted terminals
  // name, paragraph_name, name in area A, keywords: the normalised word
  // (letters upper case, "_" as "-"; with the include prefix in front when
  // Prefixed); EXECUTE: the normalised word after EXEC (SQL, CICS ...).
  tIdent Word;
  // name, name in area A and keywords: the word as written.
  tIdent Spelling;
  // Numbers, literals (delimiters and prefix letter included), pseudo-text and
  // "66", "77", "78", "88": the token text as written.
  tStringRef Text;
  long Value;             // integers: the numeric value
  const tTextLine *Lines; // EXECUTE: the block's text, its first line "%line,column%"
  std::int16_t Increment; // level_number: the include increment in force
  bool Prefixed;          // Word got the include prefix character
  char Character;         // illegal_character, INCLURE prefix: the character
  std::uint16_t AreaA;    // the area-A limit in force on the token's line
};

tScanAttribute &Attribute();

// Numeric literals are read with "," as their decimal point, as in a
// program whose SPECIAL-NAMES say DECIMAL-POINT IS COMMA: 1,5 is one real
// literal (its text as written), while a comma before a blank still
// separates. Off unless the front end sets it after BeginScanner.
bool &DecimalPointComma();

// Start states that other modules select.
enum class tScanState {
  Normal,
  ReplacingOperands, // COPY/REPLACE operands: only replacing keywords reserved
  PseudoText,        // raw text up to the next "==" becomes one pseudo_text
};

// Resets the scanner state for a new run: start state, flags, collected
// comments, include prefix and increment; copies free_format and MaxColumn
// (frontend/source_reader.h) and sets the area-A limit (11 fixed, 4 free). Files opened
// with BeginFile before it stay open, so a driver may open the main file first.
void BeginScanner();
// Closes every open file and releases the scanner's buffers.
void ResetScanner();
// The scanner's part of ending a run: ResetScanner.
void CloseScanner();

// Saves the state of the current file, opens `name` through BeginSource and
// makes it the current file: positions name it (the identifier of `name`)
// until SetScanContext says otherwise. A file that cannot be opened, or a
// buffer that cannot be had, is Fatal ("cannot open input file" or
// "out of memory", with "Scanner"), which ends the run with FatalError.
void BeginFile(const char *name);
// The same for a source the caller holds as text (copied), named `name`.
void BeginFileText(const char *name, std::string_view text);
// Closes the current file (CloseSource, which runs CloseSource_Hook) and
// resumes the one that included it. With no file open it is Fatal ("file
// stack underflow (too many calls of CloseFile)").
void CloseFile();
// Number of files open.
int FileDepth();

// The next terminal with Attribute filled: from GetToken_Hook when the COPY
// machinery installed one, else from Get_Token; then a name, paragraph_name
// or unsigned_integer starting at a column not beyond Attribute.AreaA becomes
// name in area A (an unsigned_integer gets the identifier of its text as Word
// and Spelling). Returns 0 (end of input) at the end of the main file.
// An "*INCLURE member [prefix] [increment]" line (indicator "*", INCLURE in
// column 8) arrives as INCLURE, name (the member), illegal_character carrying
// a one-character prefix in Character, an integer for the increment, and "."
// at the end of the line, which ends the directive.
int GetToken();
// The inner scanner. At the end of a nested file it closes the file and goes
// on in the including one (or returns 0 when stop_at_copy_end is set); at the
// end of the main file it returns 0 and resets the start state.
int Get_Token();

// When set, GetToken takes its terminals from here instead of Get_Token: the
// replacement stage of COPY ... REPLACING and REPLACE, which reads Get_Token
// itself. Null (the default): Get_Token.
using tGetTokenHook = int (*)();
tGetTokenHook &GetToken_Hook();

// Consulted before the scanner reports a message about the text (illegal
// character, literal, real number, EXEC block) at `position`: false drops the
// message, and the hook may move the position. The replacement stage uses it
// to report text that it scans in memory at its source position, once. Null
// (the default): every message is reported where the scanner found it.
using tScanMessageHook = bool (*)(const char *text, tPosition &position);
tScanMessageHook &ScanMessage_Hook();

// Called for an include line ("-INC member" or "-INCLUDE member") with the
// member name as written and the position of the name; the COPY machinery
// opens the member here. Null (the default): the line is ignored. The line
// yields no tokens either way.
using tIncludeHook = void (*)(tIdent member, tPosition position);
tIncludeHook &Include_Hook();

// Start-state stack. yyPush enters `state` and remembers the current one;
// yyPop returns to it. Popping an empty stack is Fatal ("start stack
// underflow (too many calls of yyPop)").
void yyPush(tScanState state);
void yyPop();

// Replacing mode for COPY/REPLACE operands: only the words of the replacing
// dialect stay reserved (ALL, BY, FUNCTION, IN, LEADING, LENGTH, OF,
// TRAILING), INCLUDE and PICTURE are names. end_replacing restores the
// dialect and start state that begin_replacing saved (the start state only
// when the end of the main file has not reset it already).
void begin_replacing();
void end_replacing();
// Called after an opening "==": the characters up to the next "==" (line
// ends included) arrive as one pseudo_text token positioned where they begin;
// the closing "==" then arrives as its own terminal and the previous start
// state is resumed. "====" gives an empty pseudo_text.
void start_pseudo_text();

// While true, "," and ";" are delivered as terminals (the REPLACING matching
// pass); otherwise they separate like blanks (a comma is also a terminal
// inside a picture string).
bool &replacing_match();
// While true, Get_Token returns 0 at the end of every nested file (after
// closing it) instead of going on in the including file.
bool &stop_at_copy_end();

// How the scanner will read the next characters, as far as the text before
// them decides it: the start-state stack (the current state last), whether a
// comma is a terminal, whether the next name is a data name (include
// prefix), the words read so far on an *INCLURE line, and the reserved
// dialects. Taken between two terminals.
struct tScanMode {
  std::vector<int> starts{0};
  bool commaIsToken = false;
  bool prefixNext = false;
  int inclureArgument = 0;
  std::uint32_t dialect = DefaultDialects;
  bool operator==(const tScanMode &) const = default;
};
tScanMode GetScanMode();
void SetScanMode(const tScanMode &mode);
// True when the end of the text changes nothing in `mode` (no picture,
// literal, pseudo-text or other construct is open).
bool ScanModeAtRest(const tScanMode &mode);
// The start states as they are after the end of the main file.
void ResetScanMode();

// What a copy level saves and restores: the file that positions name, the
// include prefix character (blank: none) and the level increment.
struct tScanContext {
  tIdent File;
  char Prefix;
  std::int16_t Increment;
};
tScanContext GetScanContext();
// Restores a saved context and the area-A limit of the format.
void SetScanContext(const tScanContext &context);
// Applies the parameters of an INCLURE directive: a non-blank `prefix`
// becomes the prefix character put in front of data names (the name after a
// level number or REDEFINES); `increment` is added to the level increment.
void set_inclure_params(char prefix, int increment);

// Hands over the comment lines collected since the last call, in source
// order (comment lines, "*>" comments, NOTE text), and starts a new list.
tTextLine *TakeComments();
// ---- text held in memory ----------------------------------------------------
// Replaced text whose terminals depend on the text around them is scanned
// from memory, apart from the files and without disturbing their state; the
// scan mode is shared with them, as it is for a nested file.
//
// BeginTextScan starts a scan whose first character stands at `origin` (the
// coordinates are the caller's; a column other than 1 is the middle of a
// line), with `context` in force. `more` is called whenever everything given
// so far has been read: it appends the next characters (whole lines, as the
// source reader would deliver them) and returns false at the end.
void BeginTextScan(tPosition origin, const tScanContext &context,
                   std::function<bool(std::string &)> more);
// The next terminal of the text, with Attribute filled as Get_Token fills it
// (positions in the caller's coordinates); 0 at the end of the text, where
// what is still open is closed or reported as at the end of a file.
int TextScanToken();
// A file opened while the text is scanned (a COPY that the text spells out)
// is read first, as a nested file: its terminals carry its own positions.
// True while it is being read.
bool TextScanInFile();
// Where the text scan stands: the position after the last terminal.
tPosition TextScanPosition();
// Ends the text scan (what it read ahead is dropped) and gives the files
// their state back.
void EndTextScan();
bool TextScanActive();

// ---- entries read straight from the bytes ----------------------------------
// Most entries of a copybook sit on one line with nothing unusual in them.
// PeekEntryLine reads such a line from where the scanner stands, as the
// scanner's rules would, without moving it: the terminals the scanner would
// deliver, each with the attribute it would carry, up to and including the
// entry's period. It gives up (false, nothing consumed) on anything its
// rules do not cover: other start states, a prefix or increment in force, a
// comment, a tab, a literal continued or a line the buffer does not hold in
// full, any character the rules below would read differently. Words are
// interned as the scanner interns them, in the same order. With true,
// ConsumeEntryLine(length) then moves the scanner over the `length` bytes
// as if it had delivered the terminals, the period last.
struct tFastToken {
  int code;
  tScanAttribute attribute;
};
bool PeekEntryLine(std::vector<tFastToken> &tokens, std::size_t &length);
void ConsumeEntryLine(std::size_t length, const tScanAttribute &period);

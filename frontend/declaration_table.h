#pragma once
// Declaration table: decl nodes linked by level, lookup by name and by qualification.
#include <array>
// The declaration table: every declared name as a `decl` node of the syntax
// tree, linked into the hierarchy that the level numbers define (`lower` the
// parent, `fields` the first subordinate, `next` the next sibling), plus a
// hash table for lookup by name. The parser declares each entry when it
// reduces it; the resolver (Eval) and the parser's semantic conditions look
// names up; the converter walks the hierarchy from deftab_decls.

#include <cstdint>

#include "frontend/record_feed.h"
#include "frontend/syntax_tree.h"

// Declaration kinds: the kind of description a name was declared in (`kind`
// of `decl`); a copybook's data description entries have none. The numbers
// are the ones the declaration dumps of the tests show.
inline constexpr std::int16_t dkUndefined = 0;
inline constexpr std::int16_t dkFile = 4;
inline constexpr std::int16_t dkWorkingStorage = 5;
inline constexpr std::int16_t dkLocalStorage = 7;
inline constexpr std::int16_t dkLinkage = 8;
inline constexpr std::int16_t dkCommunication = 9;
inline constexpr std::int16_t dkReport = 10;

// A name to declare: its identifier (NoIdent for an unnamed entry) and where
// it begins and ends.
struct tDeclName {
  tIdent Ident;
  tPosition Pos;
  tPosition EndPos;
};

// Head of the top-level list: the newest implicit (level-0) declaration, or
// the root declaration that BeginDeftab made, followed by the top-level
// entries in source order. The driver stores it in `deftab` of the root.
tree::decl *&deftab_decls();

// Check for names declared twice among siblings and let Eval declare and
// report unresolved names. Off until the driver turns it on.
bool &NameCheck();
// Report the messages of those checks. On initially.
bool &NameCheckMsg();
// -lenient: the front end reads the dialects compilers accept (the parser's
// token filter, constants, REDEFINES by position), and a name that repeats a
// sibling's is a warning, not an error. Off until the driver turns it on.
bool &Lenient();

// The declaration kind of the section being parsed (dk...); every new
// declaration takes it as its `kind`. Set by the parser at each section
// header; 0 until then. BeginDeftab resets it.
std::int16_t &Section();

// Lookup results of the last Identify: search_result[1 .. search_count], up
// to MaxSearch declarations of the name, newest first.
inline constexpr int MaxSearch = 16;
std::array<tree::decl *, MaxSearch + 1> &search_result();
int &search_count();

// The implicit names of a communication description, collected by the parser
// before it calls Declare_CD: cd_names[0] is declared at level 1, then
// cd_names[1 .. count] at level 2.
inline constexpr int MaxCdNames = 16;
std::array<tDeclName, MaxCdNames> &cd_names();

// Empties the hash table, makes the root declaration (empty name, level 0,
// kind 0, no positions), points deftab_decls at it, resets the level stack
// and Section, and enters the identifiers RMS-STS, RMS-STV, RMS-FILENAME and
// FILLER. Call once per conversion after InitIdents and before parsing.
// Who is told of each top-level entry as it is declared (the run's
// FrontEndOptions::recordFeed); BeginDeftab keeps it. Null: nobody.
RecordFeed *&DeftabRecordFeed();
void BeginDeftab();

// Declares `name` at `level` with `object` as the declaring node and `end` as
// the end of the declaring entry, enters it into the hash table and links it
// into the hierarchy: level 0 in front of the top-level list; 01 at the top
// (under the file or communication description in those sections); 66 after
// the current record's last direct subordinate; 77 and 78 at the top (with
// Lenient on, 78 as the next sibling of the last data entry, leaving the
// levels open: a constant inside a group does not end it); 90 to 99 (file,
// sort-file, communication and schema descriptions) at the top;
// any other level under, beside or above the entries before it by comparing
// level numbers, so an 88 entry becomes a subordinate of the entry before it.
// With NameCheck on, a named, non-FILLER entry whose name a sibling already
// has is reported ("name multiply declared", Error, and "previous
// declaration", Information, at the new name) and still declared.
// Returns the new declaration (null only if the tree is out of memory).
tree::decl *Declare(int level, const tDeclName &name, tTree object, const tPosition &end);

// The entry that a REDEFINES in an entry of `level` (not yet declared) has
// for its object by COBOL's rule: the immediately preceding entry of the same
// level number that the new entry would follow as a sibling (for level 01
// the record before it in its section or file). Null when there is none (the
// entry would open a new level).
tree::decl *PrecedingEntryOfLevel(int level);

// Declares the implicit items of a communication description: cd_names[0] at
// level 1, then cd_names[1 .. count] at level 2, all with `object` and `end`.
void Declare_CD(int count, tTree object, const tPosition &end);

// Declares `name` at level 0 as the first subordinate of `parent` (kind of
// the parent), for a qualified reference whose field is missing. Entered into
// the hash table; returns the new declaration.
tree::decl *DeclareSubordinate(const tDeclName &name, tTree object, tree::decl *parent);

// The most recent declaration of `name`, or null (also for the empty name).
// Fills search_result and search_count.
tree::decl *Identify(tIdent name);

// The declaration of `name` inside the subtree of `qualifier`: first among its
// direct subordinates, then among all descendants in preorder; in the dialects
// that predefine them, RMS-STS, RMS-STV and RMS-FILENAME are found anywhere.
// Null when not found, when `qualifier` is null or `name` is empty.
tree::decl *IdentifyField(tIdent name, tTree qualifier);

// Resolves a qualified reference (a `qualification` chain A OF B OF C ending
// in a `name`) by searching the whole hierarchy for C, then B within C, then
// A within B. On success stores each declaration found in the `decl` of its
// name node and returns A's declaration; otherwise changes nothing and
// returns null.
tree::decl *IdentifyField2(tTree reference);

// Reports an ambiguous reference at `position`: "ambiguous data name" (Error,
// with the name) and one "possible declaration" (Information, with the
// declaration's position) for each declaration in search_result, newest first.
void report_ambiguity(tIdent name, const tPosition &position);

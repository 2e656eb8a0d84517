// COPY/INCLURE/-INC inclusion: copy-file levels, copybook lookup, the COPY stage's scanner hooks.
#include "frontend/copy_inclusion.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "diagnostics/message_store.h"
#include "frontend/copy_replacing.h"
#include "frontend/copy_statement_parser.h"
#include "frontend/scanner.h"
#include "frontend/source_reader.h"
#include "support/copybook_search.h"
#include "support/run_state.h"
#include "support/string_memory.h"

namespace {

// A copy-file level: the file that positions name there and the statement
// that opened it. The context of the including file is kept by the scanner's
// file stack, which restores it when the level's file is closed.
struct Level {
  tIdent file;
  tTree statement;
  // How much deeper than its place on the stack the level counts: a
  // copybook opened from replaced text nests on top of the level that text
  // stands for, though the files the text was read from may be closed.
  int offset = 0;
};

struct CopyState {
  // levels[i] belongs to level i + 1.
  std::vector<Level> levels;
  // Copybooks the caller holds in memory, looked up before the directories.
  CopybookLookup lookup;
};
constexpr RunSlot<CopyState> state{RunSlotId::copyInclusion};

tTree currentStatement() {
  return state().levels.empty() ? NoTree : state().levels.back().statement;
}

// The text of a copybook name: a word as written, a literal without its
// delimiters.
tIdent textName(tTree node, tPosition &position) {
  tIdent spelling = NoIdent;
  if (auto *name = as_if<tree::name>(node)) {
    spelling = name->spelling != NoIdent ? name->spelling : name->name;
    position = name->bpos;
  } else if (auto *qualified = as_if<tree::qualification>(node)) {
    spelling = qualified->spelling != NoIdent ? qualified->spelling : qualified->name;
    position = qualified->bpos;
  } else if (auto *literal = as_if<tree::string>(node)) {
    spelling = literal->String != nullptr
                   ? MakeIdent(StGetCStr(literal->String), LengthSt(literal->String))
                   : MakeIdent("");
    position = literal->bpos;
  }
  if (spelling == NoIdent)
    return NoIdent;
  std::string text(GetCStr(spelling), LengthIdent(spelling));
  if (text.size() >= 2 && (text[0] == '"' || text[0] == '\'')) {
    char quote = text[0];
    text.erase(0, 1);
    if (text.back() == quote)
      text.pop_back();
    return MakeIdent(text.data(), text.size());
  }
  return spelling;
}

tIdent libraryName(tTree node) {
  auto *qualified = as_if<tree::qualification>(node);
  if (qualified == nullptr)
    return NoIdent;
  if (auto *library = as_if<tree::name>(qualified->qualification))
    return library->spelling != NoIdent ? library->spelling : library->name;
  return NoIdent;
}

// When the parser asked for a repair text (copy_repair), switches the line
// reader to the one-line pseudo-file "dot" that serves it and pushes "dot".
void CopyRepair() {
  if (copy_repair() == 0)
    return;
  file_input() = 0;
  BeginFile("dot");
  push(MakeIdent("dot"));
}

// `name` with each NUL byte written "\h00".
tIdent shownName(tIdent name) {
  std::string shown;
  const char *text = GetCStr(name);
  for (unsigned long i = 0; i < LengthIdent(name); ++i)
    shown += text[i] == '\0' ? std::string("\\h00") : std::string(1, text[i]);
  return MakeIdent(shown.data(), shown.size());
}

// Includes a copybook. When `name` is not empty, looks it up among the
// copybooks held in memory, then with rFindFile. Not found: reports "cannot
// access include file" (Error, with the name) at `position`, runs CopyRepair
// and returns 0. Found: opens it (BeginFileText or BeginFile), pushes its
// name or path, records the
// path in `statement` (an s_copy or s_inclure node, or NoTree for an include
// line) and, when `statement` is a COPY with replacing pairs, starts the
// replacement of the copybook's text; returns 1. `library` is recorded by the
// caller only; it plays no part in the search. A copybook that would be
// level 32 is reported as "too many nested COPY's" (Fatal) and not opened.
int Copy(tIdent name, tPosition position, tIdent library, tTree statement) {
  (void)library;
  if (name == NoIdent || LengthIdent(name) == 0)
    return 0;
  // No file name holds a NUL byte; cut there, the name would be another
  // file's. Reported with the byte shown as values show it.
  const bool holdsNul = std::memchr(GetCStr(name), '\0', LengthIdent(name)) != nullptr;
  std::optional<CopybookText> held;
  if (!holdsNul && state().lookup)
    held = state().lookup(std::string(GetCStr(name), LengthIdent(name)));
  const char *found = held ? held->name.c_str() : holdsNul ? nullptr : rFindFile(GetCStr(name));
  if (found == nullptr) {
    tIdent shown = holdsNul ? shownName(name) : name;
    MessageI("cannot access include file", xxError, position, xxIdent, &shown);
    CopyRepair();
    return 0;
  }
  const int including = std::max(EffectiveCopyLevel(), ReplacedTextLevel());
  if (including + 1 >= MaxCopyLevels) {
    Message("too many nested COPY's", xxFatal, position);
    return 0;
  }
  copy_repair() = 0;
  const std::string path = found;
  if (held)
    BeginFileText(path.c_str(), held->text);
  else
    BeginFile(path.c_str());
  const tIdent file = MakeIdent(path.c_str());
  const int stackLevel = CopyLevel();
  push(file);
  state().levels.back().offset = including - stackLevel;
  state().levels.back().statement = statement;
  if (auto *copy = as_if<tree::s_copy>(statement)) {
    copy->FileName = file;
    if (is<tree::copy_replacing>(copy->copy_replacing_l))
      start_replacing(file, copy->copy_replacing_l, true, copy->bpos);
  } else if (auto *inclure = as_if<tree::s_inclure>(statement)) {
    inclure->FileName = file;
  }
  return 1;
}

void includeLine(tIdent member, tPosition position) { Copy(member, position, NoIdent, NoTree); }

// Applies the prefix character and level increment of the INCLURE statement
// that opened the current level to the text of that level.
void start_prefix() {
  if (auto *inclure = as_if<tree::s_inclure>(currentStatement()))
    set_inclure_params(inclure->prefix, inclure->increment);
}

// Leaves the innermost level after its file was closed (CloseFile has
// restored the including file's name, prefix and increment): ends the
// reading of replaced text that belongs to the level (stop_replacing). Does nothing
// at level 0. Installed as CloseSource_Hook.
void pop() {
  if (state().levels.empty())
    return;
  stop_replacing();
  state().levels.pop_back();
}

} // namespace

void SetCopybookLookup(CopybookLookup lookup) { state().lookup = std::move(lookup); }

void init_copy_pars() {
  state().levels.clear();
  ForgetCarriedOut();
  ResetReplacing();
  GetToken_Hook() = ReplacingGetToken;
  CloseSource_Hook() = pop;
  Include_Hook() = includeLine;
  ScanMessage_Hook() = ReplacingScanMessage;
}

void push(tIdent file) {
  if (CopyLevel() + 1 >= MaxCopyLevels) {
    Message("too many nested COPY's", xxFatal, Attribute().Position);
    return;
  }
  tScanContext context = GetScanContext();
  state().levels.push_back(
      Level{file, currentStatement(), state().levels.empty() ? 0 : state().levels.back().offset});
  context.File = file;
  SetScanContext(context);
}

int CopyLevel() { return static_cast<int>(state().levels.size()); }

int EffectiveCopyLevel() {
  return CopyLevel() + (state().levels.empty() ? 0 : state().levels.back().offset);
}

int CopyStatement(tree::s_copy *statement) {
  if (statement == nullptr)
    return 0;
  statement->ContainedInCopy = currentStatement();
  tPosition position = statement->bpos;
  tIdent name = textName(statement->qualification, position);
  return Copy(name, position, libraryName(statement->qualification), statement);
}

int CopyStatementReduced(tree::s_copy *statement) {
  tIdent carried = NoIdent;
  if (statement != nullptr && TakeCarriedOut(statement->bpos, carried)) {
    statement->FileName = carried;
    return 0;
  }
  return CopyStatement(statement);
}

int InclureStatement(tree::s_inclure *statement) {
  if (statement == nullptr)
    return 0;
  statement->ContainedInCopy = currentStatement();
  tPosition position = statement->bpos;
  tIdent name = textName(statement->name, position);
  if (Copy(name, position, NoIdent, statement) == 0)
    return 0;
  start_prefix();
  return 1;
}

int InclureStatementReduced(tree::s_inclure *statement) {
  tIdent carried = NoIdent;
  if (statement != nullptr && TakeCarriedOut(statement->bpos, carried)) {
    statement->FileName = carried;
    return 0;
  }
  return InclureStatement(statement);
}

void ReplaceStatementReduced(tree::s_replace *statement) {
  if (statement == nullptr || !is<tree::copy_replacing>(statement->copy_replacing_l))
    return;
  statement->ContainedInCopy = currentStatement();
  if (!state().levels.empty())
    state().levels.back().statement = statement;
  start_replacing(GetScanContext().File, statement->copy_replacing_l, false, statement->bpos);
}

// Keyword table in the run: reserved words by dialect, their terminals, terminal names.
#include "frontend/keywords.h"

#include <vector>

#include "support/run_state.h"

namespace {

struct tKeyword {
  std::uint32_t Dialects = 0;
  std::int16_t Token = 0;
};

struct KeywordState {
  // Indexed by identifier number; identifiers above max_keyword have no entry.
  std::vector<tKeyword> entries;
  std::uint32_t dialect = DefaultDialects;
  std::int32_t max_keyword = 0;
};
constexpr RunSlot<KeywordState> state{RunSlotId::keywords};

constexpr const char *terminalNames[MaxTerminal + 1] = {
#define TERMINAL(code, id, name) name,
#include "frontend/keywords.def"
};

tKeyword &entryOf(tIdent ident) {
  if (ident >= state().entries.size())
    state().entries.resize(ident + 1);
  return state().entries[ident];
}

// The highest identifier number that belongs to the keyword table.
std::int32_t &max_keyword() { return state().max_keyword; }

// Interns `word` (upper case) and sets its entry to `dialects` and `token`.
void keyword(const char *word, std::uint32_t dialects, int token) {
  tKeyword &entry = entryOf(MakeIdent(word));
  entry.Dialects = dialects;
  entry.Token = static_cast<std::int16_t>(token);
}

// Interns `word`, which must already be in the table, and sets only its token,
// so that it yields the terminal of another word.
void synonym(const char *word, int token) {
  entryOf(MakeIdent(word)).Token = static_cast<std::int16_t>(token);
}

} // namespace

std::uint32_t &dialect() { return state().dialect; }

const char *TerminalName(int code) {
  if (code < 0 || code > MaxTerminal)
    return "_unknown_";
  return terminalNames[code];
}

void init_keywords(const char *) {
  state() = KeywordState{};
#define KEYWORD(word, id, replacing)                                                               \
  keyword(word, (replacing) ? (StandardDialect | ReplacingDialect) : StandardDialect, tok::id);
#include "frontend/keywords.def"
  max_keyword() = static_cast<std::int32_t>(MaxIdent());
  state().entries.resize(static_cast<std::size_t>(max_keyword()) + 1);
#define SYNONYM(word, id) synonym(word, tok::id);
#include "frontend/keywords.def"
  dialect() = DefaultDialects;
}

int KeywordToken(tIdent word) {
  if (static_cast<std::int64_t>(word) > max_keyword())
    return 0;
  const tKeyword &entry = state().entries[word];
  return (entry.Dialects & dialect()) != 0 && entry.Token >= 1 ? entry.Token : 0;
}

bool IsReserved(tIdent word) {
  if (static_cast<std::int64_t>(word) > max_keyword())
    return false;
  return (state().entries[word].Dialects & dialect()) != 0;
}

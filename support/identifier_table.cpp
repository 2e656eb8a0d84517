// Identifier hash table: dense numbers for texts, growing tables, writing identifiers.
#include "support/identifier_table.h"

#include <cstring>
#include <vector>

#include "support/run_state.h"

namespace {

constexpr std::size_t InitialTableSize = 1024;
constexpr std::size_t InitialBucketCount = 1024;
constexpr tIdent ReservedIdent = 2;

struct IdentEntry {
  tStringRef String = nullptr; // null reads as the empty text
  std::uint32_t Length = 0;
  // Of all `Length` characters: a record keeps at most 65535 of them, and
  // growing must chain an entry where a lookup of its text will search.
  std::uint32_t Hash = 0;
  tIdent Collision = 0; // next identifier of the same hash chain, 0 ends it
};

// Until the first new name the table holds just the empty name and the
// reserved number, with one bucket; then room for 1024 entries and as many
// buckets (always a power of two, so a hash picks its bucket by its low
// bits), both doubling together, so that a chain holds about one identifier
// and a lookup seldom leaves its bucket. Numbers are given in order of
// entry, whatever the chains. The table holds exactly the identifiers made
// (its room beyond them is reserved, never written): a table doubled for
// the last few names of a big copybook left tens of megabytes of zeroed
// entries, each page cleared by the kernel for nothing.
struct IdentState {
  std::vector<IdentEntry> Table = std::vector<IdentEntry>(ReservedIdent + 1);
  std::vector<tIdent> Buckets{NoIdent};
  tIdent Highest = ReservedIdent;
};

constexpr RunSlot<IdentState> state{RunSlotId::identifiers};

// The characters count as signed, as the tables were always built.
std::uint32_t HashText(const char *characters, unsigned long length) {
  std::uint32_t h = 0;
  for (unsigned long i = 0; i < length; ++i) {
    h = (h << 4) + static_cast<std::uint32_t>(
                       static_cast<std::int32_t>(static_cast<signed char>(characters[i])));
    std::uint32_t g = h & 0xF0000000U;
    if (g != 0)
      h = (h ^ (g >> 24)) & 0x0FFFFFFFU;
  }
  return h;
}

bool IsValid(const IdentState &s, tIdent ident) { return ident >= NoIdent && ident <= s.Highest; }

void Chain(IdentState &s, tIdent ident) {
  IdentEntry &entry = s.Table[ident];
  std::uint32_t bucket = entry.Hash & (s.Buckets.size() - 1);
  entry.Collision = s.Buckets[bucket];
  s.Buckets[bucket] = ident;
}

// Every identifier is rechained in ascending order. The reserved identifier
// stays out of the chains so that the empty text keeps finding NoIdent.
void Grow(IdentState &s) {
  bool first = s.Buckets.size() == 1;
  s.Table.reserve(first ? InitialTableSize : s.Buckets.size() * 2);
  s.Buckets.assign(first ? InitialBucketCount : s.Buckets.size() * 2, 0);
  for (tIdent ident = NoIdent; ident <= s.Highest; ++ident) {
    if (ident != ReservedIdent)
      Chain(s, ident);
  }
}

// The record holds at most 65535 characters; only those are compared, as
// they always were.
bool IsEqual(const IdentEntry &entry, std::uint32_t hash, const char *characters,
             unsigned long length) {
  return entry.Hash == hash && entry.Length == length &&
         std::memcmp(StGetCStr(entry.String), characters, LengthSt(entry.String)) == 0;
}

} // namespace

void InitIdents() { state() = IdentState(); }

void CloseIdents() { state() = IdentState(); }

tIdent MakeIdent(const char *characters, unsigned long length) {
  IdentState &s = state();
  const std::uint32_t hash = HashText(characters, length);
  std::uint32_t bucket = hash & (s.Buckets.size() - 1);
  for (tIdent ident = s.Buckets[bucket]; ident != 0; ident = s.Table[ident].Collision) {
    if (IsEqual(s.Table[ident], hash, characters, length))
      return ident;
  }

  tIdent ident = s.Highest + 1;
  if (ident >= s.Buckets.size() || s.Buckets.size() == 1)
    Grow(s);
  IdentEntry &entry = s.Table.emplace_back();
  entry.String = PutString(characters, length);
  entry.Length = static_cast<std::uint32_t>(length);
  entry.Hash = hash;
  s.Highest = ident;
  Chain(s, ident);
  return ident;
}

tIdent MakeIdent(const char *text) { return MakeIdent(text, std::strlen(text)); }

const char *GetCStr(tIdent ident) {
  const IdentState &s = state();
  return StGetCStr(IsValid(s, ident) ? s.Table[ident].String : nullptr);
}

unsigned long LengthIdent(tIdent ident) {
  const IdentState &s = state();
  return IsValid(s, ident) ? s.Table[ident].Length : 0;
}

tIdent MaxIdent() { return state().Highest; }

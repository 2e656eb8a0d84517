// Identifier hash table: dense numbers for texts, growing tables, writing identifiers.
#include "support/identifier_table.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <utility>
#include <vector>

#include "support/run_state.h"

namespace {

constexpr std::size_t InitialBucketCount = 1024;
constexpr tIdent ReservedIdent = 2;

struct IdentEntry {
  tStringRef String = nullptr; // null reads as the empty text
  std::uint32_t Length = 0;
  // Of all `Length` characters: a record keeps at most 65535 of them, and
  // growing must chain an entry where a lookup of its text will search.
  std::uint32_t Hash = 0;
};

// What a lookup reads of each identifier on its chain, apart from the
// entries: the bucket's hash keeps only a name's last seven characters, so
// the generated names of a big copybook (ID-1-000001, ID-2-000001, ...)
// share a hash by the handful, and comparing their texts cost a cache miss
// for the entry and another for the string on every step of a chain. The
// tag, a hash of all the compared characters and the length, tells nearly
// every other text apart from these 8 bytes alone.
struct IdentLink {
  tIdent Collision = 0; // next identifier of the same bucket, 0 ends it
  std::uint32_t Tag = 0;
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
//
// The entries stand in segments of 1024, 1024, 2048, 4096, ... that never
// move once made: a conversion reading the records already parsed (on
// another thread, while the parse goes on) reads their identifiers' texts
// while new identifiers are entered, and a table that moved its entries on
// growing would pull them from under it.
class IdentEntries {
public:
  IdentEntries() { emplace(); }
  IdentEntry &operator[](tIdent ident) { return at(ident); }
  const IdentEntry &operator[](tIdent ident) const {
    return const_cast<IdentEntries *>(this)->at(ident);
  }
  std::size_t size() const { return size_; }
  IdentEntry &emplace() {
    const auto [segment, offset] = place(static_cast<tIdent>(size_));
    std::vector<IdentEntry> &entries = segments_[segment];
    if (offset == 0)
      entries.reserve(segmentSize(segment));
    ++size_;
    return entries.emplace_back();
  }

private:
  static constexpr unsigned firstBits = 10;
  static constexpr std::size_t segmentCount = 32 - firstBits + 1;
  static std::size_t segmentSize(unsigned segment) {
    return std::size_t{1} << (firstBits + (segment == 0 ? 0 : segment - 1));
  }
  // Segment 0 holds 0..1023, segment s >= 1 holds [1024 << (s-1), 1024 << s).
  static std::pair<unsigned, std::size_t> place(tIdent ident) {
    const std::uint32_t high = ident >> firstBits;
    if (high == 0)
      return {0, ident};
    const unsigned segment = static_cast<unsigned>(std::bit_width(high));
    return {segment, ident - (std::size_t{1} << (firstBits + segment - 1))};
  }
  IdentEntry &at(tIdent ident) {
    const auto [segment, offset] = place(ident);
    return segments_[segment].data()[offset];
  }
  std::array<std::vector<IdentEntry>, segmentCount> segments_;
  std::size_t size_ = 0;
};

// The compared characters (at most 65535, as a record keeps them) eight at a
// time, each word mixed in by a multiplication; the high half of the
// product is folded in so that every input bit reaches the tag's 32 bits.
// The last word is read as the eight characters that end the text (they
// overlap the word before) rather than copied by a call of variable length,
// which took a third of the tag's instructions; the length mixed in first
// keeps texts that differ only by that overlap apart.
inline std::uint32_t TagText(const char *characters, unsigned long length) {
  const unsigned long compared = length < 65535 ? length : 65535;
  std::uint64_t h = 0x9E3779B97F4A7C15ULL ^ length;
  auto mix = [&h](std::uint64_t word) {
    h = (h ^ word) * 0xBF58476D1CE4E5B9ULL;
    h ^= h >> 29;
  };
  if (compared >= 8) {
    unsigned long i = 0;
    for (; i + 8 < compared; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, characters + i, 8);
      mix(word);
    }
    std::uint64_t word;
    std::memcpy(&word, characters + compared - 8, 8);
    mix(word);
  } else {
    std::uint64_t word = 0;
    for (unsigned long i = 0; i < compared; ++i)
      word |= std::uint64_t{static_cast<unsigned char>(characters[i])} << (8 * i);
    mix(word);
  }
  h *= 0x94D049BB133111EBULL;
  return static_cast<std::uint32_t>(h >> 32);
}

struct IdentState {
  IdentState() {
    for (tIdent ident = NoIdent; ident <= ReservedIdent; ++ident)
      Table.emplace();
    Links.resize(ReservedIdent + 1);
    Links[NoIdent].Tag = TagText("", 0);
  }
  IdentEntries Table;
  // Indexed by identifier like Table; only the parsing thread reads it, so
  // it may move when it grows.
  std::vector<IdentLink> Links;
  std::vector<tIdent> Buckets{NoIdent};
  // Read by a conversion on another thread to tell a known identifier; only
  // the parsing thread writes it.
  std::atomic<tIdent> Highest = ReservedIdent;
  IdentState &operator=(IdentState &&other) noexcept {
    Table = std::move(other.Table);
    Links = std::move(other.Links);
    Buckets = std::move(other.Buckets);
    Highest.store(other.Highest.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return *this;
  }
};

constexpr RunSlot<IdentState> state{RunSlotId::identifiers};

std::uint32_t HashText(const char *characters, unsigned long length) {
  std::uint32_t h = 0;
  for (unsigned long i = 0; i < length; ++i)
    h = IdentHashStep(h, characters[i]);
  return h;
}

bool IsValid(const IdentState &s, tIdent ident) {
  return ident >= NoIdent && ident <= s.Highest.load(std::memory_order_relaxed);
}

void Chain(IdentState &s, tIdent ident, std::uint32_t hash) {
  std::uint32_t bucket = hash & (s.Buckets.size() - 1);
  s.Links[ident].Collision = s.Buckets[bucket];
  s.Buckets[bucket] = ident;
}

// Every identifier is rechained in ascending order. The reserved identifier
// stays out of the chains so that the empty text keeps finding NoIdent.
void Rechain(IdentState &s, std::size_t bucketCount) {
  s.Buckets.assign(bucketCount, 0);
  for (tIdent ident = NoIdent, highest = s.Highest.load(std::memory_order_relaxed);
       ident <= highest; ++ident) {
    if (ident != ReservedIdent)
      Chain(s, ident, s.Table[ident].Hash);
  }
}

void Grow(IdentState &s) {
  Rechain(s, s.Buckets.size() == 1 ? InitialBucketCount : s.Buckets.size() * 2);
}

// The record holds at most 65535 characters; only those are compared, as
// they always were. Equal texts have equal tags, so a tag that differs
// decides without touching the entry.
bool IsEqual(const IdentEntry &entry, std::uint32_t hash, const char *characters,
             unsigned long length) {
  return entry.Hash == hash && entry.Length == length &&
         std::memcmp(StGetCStr(entry.String), characters, LengthSt(entry.String)) == 0;
}

} // namespace

void InitIdents() { state() = IdentState(); }

void CloseIdents() { state() = IdentState(); }

tIdent MakeIdent(const char *characters, unsigned long length) {
  return MakeIdentHashed(characters, length, HashText(characters, length));
}

tIdent MakeIdentHashed(const char *characters, unsigned long length, std::uint32_t hash) {
  IdentState &s = state();
  const std::uint32_t tag = TagText(characters, length);
  std::uint32_t bucket = hash & (s.Buckets.size() - 1);
  for (tIdent ident = s.Buckets[bucket]; ident != 0;) {
    const IdentLink link = s.Links[ident];
    if (link.Tag == tag && IsEqual(s.Table[ident], hash, characters, length))
      return ident;
    ident = link.Collision;
  }

  tIdent ident = s.Highest.load(std::memory_order_relaxed) + 1;
  if (ident >= s.Buckets.size() || s.Buckets.size() == 1)
    Grow(s);
  IdentEntry &entry = s.Table.emplace();
  entry.String = PutString(characters, length);
  entry.Length = static_cast<std::uint32_t>(length);
  entry.Hash = hash;
  s.Links.push_back(IdentLink{0, tag});
  s.Highest.store(ident, std::memory_order_relaxed);
  Chain(s, ident, hash);
  return ident;
}

// The most a size hint reserves: a source of gigabytes (a data file given
// by mistake, a huge program) would otherwise have its buckets, zeroed, and
// the links' room made before a line is read; beyond this the table grows
// by doubling as it always did.
constexpr unsigned long ReserveLimit = 1UL << 22;

void ReserveIdents(unsigned long count) {
  IdentState &s = state();
  count = std::min(count, ReserveLimit);
  const std::size_t buckets = std::bit_ceil(std::max<std::size_t>(count, InitialBucketCount));
  if (buckets > s.Buckets.size())
    Rechain(s, buckets);
  s.Links.reserve(count);
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

tIdent MaxIdent() { return state().Highest.load(std::memory_order_relaxed); }

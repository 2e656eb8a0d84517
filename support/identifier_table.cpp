#include "support/identifier_table.h"

#include <cstring>

#include "diagnostics/message_store.h"
#include "support/dynamic_array.h"

namespace {

constexpr unsigned long InitialTableSize = 1024;
constexpr unsigned long InitialBucketCount = 256;
constexpr tIdent ReservedIdent = 2;

struct IdentEntry {
  tStringRef String;
  std::uint32_t Length;
  tIdent Collision; // next identifier of the same hash chain, 0 ends it
};

const unsigned char EmptyRecord[4] = {0, 0, 0, 0};

// Before the first new name the module works on these fixed tables, so the
// empty name exists without any allocation.
struct InitialTables {
  IdentEntry Entries[3] = {{EmptyRecord, 0, 0}, {EmptyRecord, 0, 0}, {EmptyRecord, 0, 0}};
  tIdent Buckets[1] = {NoIdent};
};

struct IdentState {
  InitialTables Initial;
  IdentEntry *Table = Initial.Entries;
  unsigned long TableSize = 0; // 0 while the fixed tables are in use
  tIdent *Buckets = Initial.Buckets;
  unsigned long BucketCount = 1;
  tIdent Highest = ReservedIdent;

  IdentState() = default;
  IdentState(const IdentState &) = delete;
  IdentState &operator=(const IdentState &) = delete;
};

IdentState I;

void ResetState() {
  I.Initial = InitialTables();
  I.Table = I.Initial.Entries;
  I.TableSize = 0;
  I.Buckets = I.Initial.Buckets;
  I.BucketCount = 1;
  I.Highest = ReservedIdent;
}

bool IsValid(tIdent ident) { return ident >= NoIdent && ident <= I.Highest; }

void Chain(tIdent ident) {
  std::uint32_t bucket =
      HashText(StGetCStr(I.Table[ident].String), I.Table[ident].Length) % I.BucketCount;
  I.Table[ident].Collision = I.Buckets[bucket];
  I.Buckets[bucket] = ident;
}

void CreateTables() {
  IdentEntry *table = nullptr;
  unsigned long tableSize = InitialTableSize;
  MakeArray(table, tableSize);
  tIdent *buckets = nullptr;
  unsigned long bucketCount = InitialBucketCount;
  MakeArray(buckets, bucketCount);
  table[NoIdent] = I.Initial.Entries[NoIdent];
  table[ReservedIdent] = I.Initial.Entries[ReservedIdent];
  std::memset(buckets, 0, bucketCount * sizeof(tIdent));
  buckets[0] = NoIdent;
  I.Table = table;
  I.TableSize = tableSize;
  I.Buckets = buckets;
  I.BucketCount = bucketCount;
}

// One bucket per four entries; every identifier is rechained in ascending
// order. The reserved identifier stays out of the chains so that the empty
// text keeps finding NoIdent.
void GrowTables() {
  ExtendArray(I.Table, I.TableSize);
  ExtendArray(I.Buckets, I.BucketCount);
  std::memset(I.Buckets, 0, I.BucketCount * sizeof(tIdent));
  for (tIdent ident = NoIdent; ident <= I.Highest; ++ident) {
    if (ident != ReservedIdent)
      Chain(ident);
  }
}

} // namespace

std::uint32_t HashText(const char *characters, unsigned long length) {
  std::uint32_t h = 0;
  for (unsigned long i = 0; i < length; ++i) {
    // The characters count as signed, as the tables were always built.
    h = (h << 4) + static_cast<std::uint32_t>(
                       static_cast<std::int32_t>(static_cast<signed char>(characters[i])));
    std::uint32_t g = h & 0xF0000000U;
    if (g != 0)
      h = (h ^ (g >> 24)) & 0x0FFFFFFFU;
  }
  return h;
}

void InitIdents() { ResetState(); }

void CloseIdents() {
  if (I.TableSize != 0) {
    ReleaseArray(I.Table, I.TableSize);
    ReleaseArray(I.Buckets, I.BucketCount);
  }
  ResetState();
}

tIdent MakeIdent(const char *characters, unsigned long length) {
  std::uint32_t bucket = HashText(characters, length) % I.BucketCount;
  for (tIdent ident = I.Buckets[bucket]; ident != 0; ident = I.Table[ident].Collision) {
    if (I.Table[ident].Length == length && IsEqualSt(I.Table[ident].String, characters))
      return ident;
  }

  if (I.TableSize == 0)
    CreateTables();
  tIdent ident = I.Highest + 1;
  if (ident >= I.TableSize) {
    GrowTables();
    if (ident >= I.TableSize)
      return NoIdent; // memory exhausted and the exit hooks returned
  }
  tStringRef string = PutString(characters, length);
  if (string == nullptr)
    return NoIdent;
  I.Highest = ident;
  I.Table[ident].String = string;
  I.Table[ident].Length = static_cast<std::uint32_t>(length);
  Chain(ident);
  return ident;
}

tIdent MakeIdent(const char *text) { return MakeIdent(text, std::strlen(text)); }

void GetString(tIdent ident, char *buffer) { StGetString(GetStringRef(ident), buffer); }

tStringRef GetStringRef(tIdent ident) {
  return IsValid(ident) ? I.Table[ident].String : EmptyRecord;
}

const char *GetCStr(tIdent ident) { return StGetCStr(GetStringRef(ident)); }

unsigned long LengthIdent(tIdent ident) { return IsValid(ident) ? I.Table[ident].Length : 0; }

tIdent MaxIdent() { return I.Highest; }

unsigned long IdentTableSize() { return I.TableSize; }

unsigned long IdentBucketCount() { return I.BucketCount; }

void WriteIdent(FILE *stream, tIdent ident) {
  if (!IsValid(ident)) {
    ErrorMessage(xxIdentOutOfBounds, xxError, NoPosition);
    return;
  }
  std::fwrite(GetCStr(ident), 1, LengthSt(I.Table[ident].String), stream);
}

// String records (length, text, NUL) in the run's arena.
#include "support/string_memory.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "support/run_memory.h"
#include "support/run_state.h"

namespace {

constexpr unsigned long MaxLength = 0xFFFF;
constexpr unsigned LengthSize = 2;

// The empty text, for null references handed to the readers.
const unsigned char EmptyRecord[4] = {0, 0, 0, 0};

// Records keep an even size, as they always had, so that the length field of
// the next one stays 2-byte aligned.
unsigned long RecordSize(unsigned long length) { return (LengthSize + length + 1 + 1) & ~1UL; }

tStringRef Valid(tStringRef ref) { return ref == nullptr ? EmptyRecord : ref; }

} // namespace

tStringRef PutString(const char *characters, unsigned long length) {
  if (length > MaxLength)
    length = MaxLength;
  auto *record =
      static_cast<unsigned char *>(RunAllocate(RecordSize(length), alignof(std::uint16_t)));
  std::uint16_t stored = static_cast<std::uint16_t>(length);
  std::memcpy(record, &stored, LengthSize);
  if (length > 0)
    std::memcpy(record + LengthSize, characters, length);
  record[LengthSize + length] = '\0';
  return record;
}

unsigned LengthSt(tStringRef ref) {
  std::uint16_t length;
  std::memcpy(&length, Valid(ref), LengthSize);
  return length;
}

const char *StGetCStr(tStringRef ref) {
  return reinterpret_cast<const char *>(Valid(ref) + LengthSize);
}

namespace {

// The shared records of a run: an open-addressed table of records with
// linear probing, a power of two in size and at most half full, so that a
// miss ends at an empty slot after a probe or two.
struct SharedStrings {
  std::vector<tStringRef> slots;
  unsigned long count = 0;
};

constexpr RunSlot<SharedStrings> shared{RunSlotId::sharedStrings};

// FNV-1a over the bytes.
std::uint64_t HashBytes(const char *characters, unsigned long length) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (unsigned long i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(characters[i]);
    hash *= 1099511628211ULL;
  }
  return hash;
}

bool SameText(tStringRef record, const char *characters, unsigned long length) {
  return LengthSt(record) == length && std::memcmp(StGetCStr(record), characters, length) == 0;
}

void Grow(SharedStrings &table) {
  std::vector<tStringRef> old = std::move(table.slots);
  table.slots.assign(old.empty() ? 64 : 2 * old.size(), nullptr);
  const std::size_t mask = table.slots.size() - 1;
  for (tStringRef record : old) {
    if (record == nullptr)
      continue;
    std::size_t at = HashBytes(StGetCStr(record), LengthSt(record)) & mask;
    while (table.slots[at] != nullptr)
      at = (at + 1) & mask;
    table.slots[at] = record;
  }
}

} // namespace

tStringRef PutSharedString(const char *characters, unsigned long length) {
  if (length > MaxLength)
    length = MaxLength;
  SharedStrings &table = shared();
  if (2 * (table.count + 1) > table.slots.size())
    Grow(table);
  const std::size_t mask = table.slots.size() - 1;
  std::size_t at = HashBytes(characters, length) & mask;
  for (; table.slots[at] != nullptr; at = (at + 1) & mask)
    if (SameText(table.slots[at], characters, length))
      return table.slots[at];
  ++table.count;
  return table.slots[at] = PutString(characters, length);
}

unsigned long SharedStringCount() { return shared().count; }

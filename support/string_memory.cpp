// String records (length, text, NUL) in the run's arena.
#include "support/string_memory.h"

#include <cstdint>
#include <cstring>

#include "support/run_memory.h"

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

#include "support/string_memory.h"

#include <cstdint>
#include <cstring>

#include "diagnostics/message_store.h"
#include "support/memory_pools.h"

namespace {

constexpr unsigned long BlockSize = 20480;
constexpr unsigned long MaxLength = 0xFFFF;
constexpr unsigned LengthSize = 2;

struct BlockHeader {
  BlockHeader *Previous;
  unsigned char *FillPtr; // saved when the next block is started
  unsigned long Size;     // characters' room behind the header
};

struct StringMemory {
  BlockHeader *Current = nullptr;
  unsigned char *FreePtr = nullptr;
  unsigned char *EndPtr = nullptr;
};

StringMemory S;

// The empty text, for null references handed to the readers.
const unsigned char EmptyRecord[4] = {0, 0, 0, 0};

unsigned long RecordSize(unsigned long length) { return (LengthSize + length + 1 + 1) & ~1UL; }

bool StartBlock(unsigned long size) {
  void *raw = Alloc(size + sizeof(BlockHeader));
  if (raw == nullptr)
    return false;
  BlockHeader *block = static_cast<BlockHeader *>(raw);
  if (S.Current != nullptr)
    S.Current->FillPtr = S.FreePtr;
  block->Previous = S.Current;
  block->FillPtr = nullptr;
  block->Size = size;
  S.Current = block;
  S.FreePtr = reinterpret_cast<unsigned char *>(block + 1);
  S.EndPtr = S.FreePtr + size;
  return true;
}

tStringRef Valid(tStringRef ref) { return ref == nullptr ? EmptyRecord : ref; }

} // namespace

tStringRef PutString(const char *characters, unsigned long length) {
  if (length > MaxLength)
    length = MaxLength;
  unsigned long size = RecordSize(length);
  if (S.Current == nullptr || static_cast<unsigned long>(S.EndPtr - S.FreePtr) < size) {
    if (!StartBlock(size > BlockSize ? size : BlockSize))
      return nullptr;
  }
  unsigned char *record = S.FreePtr;
  std::uint16_t stored = static_cast<std::uint16_t>(length);
  std::memcpy(record, &stored, LengthSize);
  if (length > 0)
    std::memcpy(record + LengthSize, characters, length);
  record[LengthSize + length] = '\0';
  S.FreePtr += size;
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

void StGetString(tStringRef ref, char *buffer) {
  std::memcpy(buffer, StGetCStr(ref), LengthSt(ref) + 1);
}

bool IsEqualSt(tStringRef ref, const char *characters) {
  if (LengthSt(ref) == 0)
    return true;
  return std::memcmp(StGetCStr(ref), characters, LengthSt(ref)) == 0;
}

void WriteString(FILE *stream, tStringRef ref) {
  if (ref == nullptr) {
    ErrorMessage(xxStringRefUndefined, xxError, NoPosition);
    return;
  }
  std::fwrite(StGetCStr(ref), 1, LengthSt(ref), stream);
}

void InitStringMemory() { S = StringMemory(); }

void CloseStringMemory() {
  BlockHeader *block = S.Current;
  while (block != nullptr) {
    BlockHeader *previous = block->Previous;
    Free(block->Size + sizeof(BlockHeader), block);
    block = previous;
  }
  InitStringMemory();
}

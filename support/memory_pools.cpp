#include "support/memory_pools.h"

#include "diagnostics/message_store.h"
#include "support/integer_math.h"
#include "support/system_calls.h"

unsigned long MemoryUsed = 0;

namespace {

constexpr unsigned long MinSizeSmallBlock = 8;
constexpr unsigned long MaxSizeSmallBlock = 56;
constexpr unsigned long MinSizeLargeBlock = 64;
constexpr unsigned long PoolSize = 16384;
constexpr unsigned long Alignment = 8;
// Room in front of every system block for the link of the block list; it
// keeps the returned address 8-byte aligned.
constexpr unsigned long SystemHeader = 8;
constexpr unsigned NoOfSmallLists = 64;
constexpr unsigned MaxLargeList = 32;

// A free block keeps its list link in its first word and, on the large
// lists, its size in the second.
struct FreeBlock {
  FreeBlock *Next;
  unsigned long Size;
};

struct SystemBlock {
  SystemBlock *Next;
};

struct MemoryState {
  FreeBlock *SmallChain[NoOfSmallLists] = {};
  FreeBlock *LargeChain[MaxLargeList + 1] = {};
  char *PoolFreePtr = nullptr;
  char *PoolEndPtr = nullptr;
  SystemBlock *BlockList = nullptr;
};

MemoryState M;

unsigned LargeList(unsigned long size) {
  unsigned i = Log2(size);
  return i > MaxLargeList ? MaxLargeList : i;
}

// Best fit inside the size class, else the first block of a bigger class.
void *TakeLargeBlock(unsigned long size) {
  unsigned list = LargeList(size);
  FreeBlock **bestLink = nullptr;
  unsigned long bestSize = 1000000000UL;
  for (FreeBlock **link = &M.LargeChain[list]; *link != nullptr; link = &(*link)->Next) {
    unsigned long blockSize = (*link)->Size;
    if (blockSize == size) {
      FreeBlock *block = *link;
      *link = block->Next;
      return block;
    }
    if (blockSize > size && blockSize < bestSize) {
      bestSize = blockSize;
      bestLink = link;
    }
  }
  if (bestLink == nullptr) {
    for (unsigned i = list + 1; i <= MaxLargeList; ++i) {
      if (M.LargeChain[i] != nullptr) {
        bestLink = &M.LargeChain[i];
        break;
      }
    }
    if (bestLink == nullptr)
      return nullptr;
  }
  FreeBlock *block = *bestLink;
  unsigned long blockSize = block->Size;
  *bestLink = block->Next;
  unsigned long rest = blockSize - size;
  if (rest >= MinSizeSmallBlock)
    Free(rest, reinterpret_cast<char *>(block) + size);
  return block;
}

void *SystemAlloc(unsigned long size) {
  void *raw = rAlloc(size + SystemHeader);
  if (raw == nullptr) {
    unsigned long used = MemoryUsed;
    ErrorMessageI(xxOutOfMemoryAlloc, xxFatal, NoPosition, xxUnsignedLong, &used);
    Reuse_Exit();
    return nullptr;
  }
  SystemBlock *block = static_cast<SystemBlock *>(raw);
  block->Next = M.BlockList;
  M.BlockList = block;
  MemoryUsed += size + SystemHeader;
  return static_cast<char *>(raw) + SystemHeader;
}

} // namespace

void *Alloc(unsigned long size) {
  size = (size + Alignment - 1) & ~(Alignment - 1);
  if (size <= MaxSizeSmallBlock) {
    if (size < MinSizeSmallBlock)
      size = MinSizeSmallBlock;
    if (FreeBlock *block = M.SmallChain[size]) {
      M.SmallChain[size] = block->Next;
      return block;
    }
  } else if (void *block = TakeLargeBlock(size)) {
    return block;
  }

  if (size >= PoolSize)
    return SystemAlloc(size);

  if (static_cast<unsigned long>(M.PoolEndPtr - M.PoolFreePtr) < size) {
    unsigned long rest = static_cast<unsigned long>(M.PoolEndPtr - M.PoolFreePtr);
    if (rest >= MinSizeSmallBlock)
      Free(rest, M.PoolFreePtr);
    M.PoolFreePtr = M.PoolEndPtr = nullptr;
    char *pool = static_cast<char *>(Alloc(PoolSize));
    if (pool == nullptr)
      return nullptr;
    M.PoolFreePtr = pool;
    M.PoolEndPtr = pool + PoolSize;
  }
  void *block = M.PoolFreePtr;
  M.PoolFreePtr += size;
  return block;
}

void Free(unsigned long size, void *address) {
  if (address == nullptr)
    return;
  size = (size + Alignment - 1) & ~(Alignment - 1);
  FreeBlock *block = static_cast<FreeBlock *>(address);
  if (size >= MinSizeLargeBlock) {
    unsigned list = LargeList(size);
    block->Next = M.LargeChain[list];
    block->Size = size;
    M.LargeChain[list] = block;
  } else {
    if (size < MinSizeSmallBlock)
      size = MinSizeSmallBlock;
    block->Next = M.SmallChain[size];
    M.SmallChain[size] = block;
  }
}

void InitrMemory() {
  // The list of system blocks survives, so that CloserMemory can still
  // return blocks obtained before a repeated initialisation.
  SystemBlock *blocks = M.BlockList;
  M = MemoryState();
  M.BlockList = blocks;
  MemoryUsed = 0;
}

void CloserMemory() {
  while (M.BlockList != nullptr) {
    SystemBlock *next = M.BlockList->Next;
    rFree(M.BlockList);
    M.BlockList = next;
  }
  InitrMemory();
}

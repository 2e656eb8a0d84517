#include "support/dynamic_array.h"

#include <cstring>

#include "support/memory_pools.h"

unsigned long AlignedSize(unsigned long elementSize) {
  if (elementSize <= 2)
    return elementSize;
  if (elementSize <= 4)
    return 4;
  return (elementSize + 7) & ~7UL;
}

void MakeArray(void *&array, unsigned long &count, unsigned long elementSize) {
  unsigned long size = AlignedSize(elementSize);
  // Keep the area a whole number of 32-bit words.
  if (size == 1)
    count = (count + 3) & ~3UL;
  else if (size == 2)
    count = (count + 1) & ~1UL;
  array = Alloc(count * size);
}

void ExtendArray(void *&array, unsigned long &count, unsigned long elementSize) {
  unsigned long size = AlignedSize(elementSize);
  unsigned long newCount = count * 2;
  void *newArray = Alloc(newCount * size);
  if (newArray == nullptr)
    return;
  if (array != nullptr && count > 0)
    std::memcpy(newArray, array, count * size);
  Free(count * size, array);
  array = newArray;
  count = newCount;
}

void ReleaseArray(void *&array, unsigned long &count, unsigned long elementSize) {
  Free(count * AlignedSize(elementSize), array);
  array = nullptr;
  count = 0;
}

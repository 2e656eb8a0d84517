#pragma once
#include <cstdint>

// Bit sets over 0 .. MaxElmt, with cached cardinality and element bounds.
struct tSet {
  unsigned long MaxElmt = 0;
  unsigned long LastBitset = 0;   // index of the last 32-bit word used
  std::uint32_t *BitsetPtr = nullptr;
  long Card = 0;                  // -1 when not known
  unsigned long FirstElmt = 0;    // lower bound of the elements present
  unsigned long LastElmt = 0;     // upper bound of the elements present
};

void MakeSet(tSet &set, unsigned long maxElement);
void ReleaseSet(tSet &set);
void AssignEmpty(tSet &set);
void Include(tSet &set, unsigned long element);
void Exclude(tSet &set, unsigned long element);
bool IsElement(unsigned long element, const tSet &set);
void Union(tSet &target, const tSet &source);
void Assign(tSet &target, const tSet &source);
bool IsEmpty(const tSet &set);
long Card(tSet &set);
// Removes and returns the smallest element; 0 when the set is empty.
unsigned long Extract(tSet &set);

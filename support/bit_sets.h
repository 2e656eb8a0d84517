#pragma once
#include <cstdint>

// Bit sets over 0 .. MaxElmt, with cached cardinality and element bounds.
struct tSet {
  unsigned long MaxElmt = 0;
  unsigned long LastBitset = 0; // index of the last 32-bit word used
  std::uint32_t *BitsetPtr = nullptr;
  long Card = 0;               // -1 when not known
  unsigned long FirstElmt = 0; // lower bound of the elements present
  unsigned long LastElmt = 0;  // upper bound of the elements present
};

// Allocates (maxElement + 32) / 32 words from the memory pools; the set is empty.
void MakeSet(tSet &set, unsigned long maxElement);
// Gives the words back to the pools.
void ReleaseSet(tSet &set);
// Removes every element.
void AssignEmpty(tSet &set);
// Adds / removes one element; elements above MaxElmt are ignored.
void Include(tSet &set, unsigned long element);
void Exclude(tSet &set, unsigned long element);
// True when the element is in the set (false above MaxElmt).
bool IsElement(unsigned long element, const tSet &set);
// target := target + source; both made with the same MaxElmt.
void Union(tSet &target, const tSet &source);
// target := source; both made with the same MaxElmt.
void Assign(tSet &target, const tSet &source);
// True when the set has no element.
bool IsEmpty(const tSet &set);
// The number of elements, counted when not known.
long Card(tSet &set);
// Removes and returns the smallest element; 0 when the set is empty.
unsigned long Extract(tSet &set);

#include "support/bit_sets.h"

#include <bit>
#include <cstring>

#include "support/dynamic_array.h"

namespace {

constexpr unsigned long BitsPerWord = 32;

std::uint32_t Bit(unsigned long element) { return std::uint32_t{1} << (element % BitsPerWord); }

unsigned long WordCount(const tSet &set) { return set.LastBitset + 1; }

} // namespace

void MakeSet(tSet &set, unsigned long maxElement) {
  unsigned long words = (maxElement + BitsPerWord) / BitsPerWord;
  set.MaxElmt = maxElement;
  set.LastBitset = words - 1;
  set.BitsetPtr = nullptr;
  MakeArray(set.BitsetPtr, words);
  AssignEmpty(set);
}

void ReleaseSet(tSet &set) {
  unsigned long words = WordCount(set);
  ReleaseArray(set.BitsetPtr, words);
}

void AssignEmpty(tSet &set) {
  std::memset(set.BitsetPtr, 0, WordCount(set) * sizeof(std::uint32_t));
  set.Card = 0;
  set.FirstElmt = set.MaxElmt;
  set.LastElmt = 0;
}

void Include(tSet &set, unsigned long element) {
  if (element > set.MaxElmt)
    return;
  set.BitsetPtr[element / BitsPerWord] |= Bit(element);
  set.Card = -1;
  if (element < set.FirstElmt)
    set.FirstElmt = element;
  if (element > set.LastElmt)
    set.LastElmt = element;
}

void Exclude(tSet &set, unsigned long element) {
  if (element > set.MaxElmt)
    return;
  set.BitsetPtr[element / BitsPerWord] &= ~Bit(element);
  set.Card = -1;
  if (element == set.FirstElmt && element < set.MaxElmt)
    ++set.FirstElmt;
  if (element == set.LastElmt && element > 0)
    --set.LastElmt;
}

bool IsElement(unsigned long element, const tSet &set) {
  return element <= set.MaxElmt && (set.BitsetPtr[element / BitsPerWord] & Bit(element)) != 0;
}

void Union(tSet &target, const tSet &source) {
  for (unsigned long i = 0; i < WordCount(target); ++i)
    target.BitsetPtr[i] |= source.BitsetPtr[i];
  target.Card = -1;
  if (source.FirstElmt < target.FirstElmt)
    target.FirstElmt = source.FirstElmt;
  if (source.LastElmt > target.LastElmt)
    target.LastElmt = source.LastElmt;
}

void Assign(tSet &target, const tSet &source) {
  std::memcpy(target.BitsetPtr, source.BitsetPtr, WordCount(target) * sizeof(std::uint32_t));
  target.Card = source.Card;
  target.FirstElmt = source.FirstElmt;
  target.LastElmt = source.LastElmt;
}

bool IsEmpty(const tSet &set) {
  if (set.FirstElmt > set.LastElmt)
    return true;
  for (unsigned long i = set.FirstElmt / BitsPerWord; i <= set.LastElmt / BitsPerWord; ++i) {
    if (set.BitsetPtr[i] != 0)
      return false;
  }
  return true;
}

long Card(tSet &set) {
  if (set.Card < 0) {
    long count = 0;
    for (unsigned long i = 0; i < WordCount(set); ++i)
      count += std::popcount(set.BitsetPtr[i]);
    set.Card = count;
  }
  return set.Card;
}

unsigned long Extract(tSet &set) {
  for (unsigned long element = set.FirstElmt; element <= set.LastElmt; ++element) {
    if (IsElement(element, set)) {
      set.FirstElmt = element;
      Exclude(set, element);
      return element;
    }
  }
  // Nothing between the bounds: record that the set is empty.
  set.Card = 0;
  set.FirstElmt = set.MaxElmt;
  set.LastElmt = 0;
  return 0;
}

#pragma once
// Arrays held by the caller as a pointer plus an element count; growth doubles.

// Element size rounded up to its alignment: 1, 2, 4, then multiples of 8.
unsigned long AlignedSize(unsigned long elementSize);
// Rounds count so that count * aligned size is a multiple of 4, then allocates.
void MakeArray(void *&array, unsigned long &count, unsigned long elementSize);
// Doubles count, copying the old contents into the new area.
void ExtendArray(void *&array, unsigned long &count, unsigned long elementSize);
// Frees count * aligned size bytes; array becomes null and count 0.
void ReleaseArray(void *&array, unsigned long &count, unsigned long elementSize);

// Typed forms of the three operations.
template <typename T> void MakeArray(T *&array, unsigned long &count) {
  void *a = array;
  MakeArray(a, count, sizeof(T));
  array = static_cast<T *>(a);
}
template <typename T> void ExtendArray(T *&array, unsigned long &count) {
  void *a = array;
  ExtendArray(a, count, sizeof(T));
  array = static_cast<T *>(a);
}
template <typename T> void ReleaseArray(T *&array, unsigned long &count) {
  void *a = array;
  ReleaseArray(a, count, sizeof(T));
  array = static_cast<T *>(a);
}

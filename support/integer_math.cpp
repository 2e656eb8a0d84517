#include "support/integer_math.h"

unsigned Log2(unsigned long x) {
  unsigned n = 0;
  while (x > 1) {
    x >>= 1;
    ++n;
  }
  return n;
}

unsigned long Exp2(unsigned n) { return 1UL << (n % 32); }

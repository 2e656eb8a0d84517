#pragma once
// Integer helpers shared by the memory pools and the sets.

// floor(log2 x) for x >= 1; 0 for x == 0.
unsigned Log2(unsigned long x);
// 2 to the power n, n taken modulo 32.
unsigned long Exp2(unsigned n);

#pragma once
// Size-class allocator under the front end. Blocks carry no header: callers
// pass the size back to Free. Everything goes back to the system in CloserMemory.

extern unsigned long MemoryUsed; // bytes obtained from the operating system so far

// At least `size` bytes, 8-byte aligned, not initialised. Out of memory is Fatal (code 10).
void *Alloc(unsigned long size);
// Gives back a block obtained with Alloc(size).
void Free(unsigned long size, void *address);
// Empties the free lists and the pool and sets MemoryUsed to 0; must run
// before the first Alloc. Blocks already obtained from the system are still
// returned by the next CloserMemory.
void InitrMemory();
// Returns every system block, then InitrMemory.
void CloserMemory();

#pragma once
// The run's arena: storage for objects that live as long as the run (syntax
// tree nodes, string records, collected text lines). Nothing is given back
// before the run ends; then everything goes at once.
#include <cstddef>
#include <memory_resource>

// The arena of the active run. Exhaustion throws std::bad_alloc.
std::pmr::memory_resource &RunArena();
// `size` bytes aligned to `alignment`, from the active run's arena.
void *RunAllocate(std::size_t size, std::size_t alignment);
// Bytes the active run's arena has obtained from the system so far.
std::size_t RunArenaBytes();

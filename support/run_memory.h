#pragma once
// The run's arena: storage for objects that live as long as the run (syntax
// tree nodes, string records, collected text lines). Nothing is given back
// before the run ends; then everything goes at once. A large run's fresh
// pages are made resident by a thread of its own, a few megabytes ahead of
// use, so the kernel's clearing of them leaves the converting thread.
#include <cstddef>
#include <memory_resource>

// The arena of the active run. Exhaustion throws std::bad_alloc.
std::pmr::memory_resource &RunArena();
// `size` bytes aligned to `alignment`, from the active run's arena.
void *RunAllocate(std::size_t size, std::size_t alignment);
// Bytes the active run's arena has obtained from the system so far.
std::size_t RunArenaBytes();
// Returns once the pages the active run's arena asked to have ready ahead of
// its allocation point are resident (or refused): for tests that look at
// what it made resident.
void RunArenaSettle();

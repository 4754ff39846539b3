// The library's one allocator.  Every block the library owns comes from
// mem_alloc and goes back through mem_release, so tests can count live
// blocks and make the Nth allocation fail.
#pragma once

#include <cstddef>

// Returns an uninitialised block of `size` bytes, or null when none is
// available.  Callers handle null.
void *mem_alloc(size_t size);

// Returns a block to the allocator; null is ignored.
void mem_release(void *block);

// Allocations this thread has been refused so far.  A caller that failed
// compares it before and after, to tell lack of memory from other causes.
unsigned long mem_failures();

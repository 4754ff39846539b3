// The allocator of the shipped library: the C heap, nothing added.
// Test builds link their own definition instead (tests/support/test_memory.cpp).
#include "common/memory.h"

#include <cstdlib>

void *mem_alloc(size_t size) { return std::malloc(size); }

void mem_release(void *block) { std::free(block); }

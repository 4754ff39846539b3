// The allocator of the shipped library: the C heap, with a small cache of
// large blocks per thread.  A search builds and frees a Position (a block
// of a few hundred kilobytes and its Order chunks) for every trial; handed
// straight back to the C heap, that memory is returned to the kernel and
// faulted in again on the next trial.  Kept per thread, it is reused at
// once.  Under AddressSanitizer no block is kept: a kept block would still
// read as the record it was, and hide every use after free from the
// sanitizer.  Test builds link their own definition instead
// (tests/support/doubles.cpp).
#include "common/memory.h"

#include <cstdint>
#include <cstdlib>

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool KEEP_BLOCKS = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool KEEP_BLOCKS = false;
#else
constexpr bool KEEP_BLOCKS = true;
#endif
#else
constexpr bool KEEP_BLOCKS = true;
#endif

// Every block carries its size in front of it, so that a release knows
// whether the block may be kept.  16 bytes keep the C heap's alignment.
constexpr size_t HEADER_SIZE = 16;

// Only blocks this large are kept: smaller ones are cheap for the C heap.
constexpr size_t CACHED_MIN_SIZE = 16 * 1024;
// What one thread may keep: enough for the blocks of a few Positions.
constexpr int CACHED_MAX_BLOCKS = 32;
constexpr size_t CACHED_MAX_BYTES = 8 * 1024 * 1024;

size_t &size_of(void *header) { return *static_cast<size_t *>(header); }

// The blocks one thread has released and may reuse, the most recently
// released found first.  Trivially destructible, so that it stays usable
// while the thread's other destructors run; the closer below frees the
// blocks when the thread ends, and later releases go to the C heap.
struct BlockCache {
    void *blocks[CACHED_MAX_BLOCKS];  // headers of kept blocks
    int count;
    size_t bytes;
    bool closed;
};

thread_local BlockCache cache;

void *cache_take(size_t size) {
    for (int b = cache.count - 1; b >= 0; b--) {
        void *header = cache.blocks[b];
        if (size_of(header) != size) continue;
        cache.blocks[b] = cache.blocks[--cache.count];
        cache.bytes -= size;
        return header;
    }
    return nullptr;
}

struct CacheCloser {
    ~CacheCloser() {
        while (cache.count > 0) std::free(cache.blocks[--cache.count]);
        cache.bytes = 0;
        cache.closed = true;
    }
};

bool cache_keep(void *header) {
    size_t size = size_of(header);
    if (cache.closed || cache.count == CACHED_MAX_BLOCKS || cache.bytes + size > CACHED_MAX_BYTES)
        return false;
    // The first block a thread keeps registers the closer for that thread.
    static thread_local CacheCloser closer;
    (void)closer;
    cache.blocks[cache.count++] = header;
    cache.bytes += size;
    return true;
}

thread_local unsigned long refused_allocations;

}  // namespace

void *mem_alloc(size_t size) {
    if (KEEP_BLOCKS && size >= CACHED_MIN_SIZE) {
        if (void *header = cache_take(size)) return static_cast<char *>(header) + HEADER_SIZE;
    }
    void *header = size <= SIZE_MAX - HEADER_SIZE ? std::malloc(size + HEADER_SIZE) : nullptr;
    if (!header) {
        refused_allocations++;
        return nullptr;
    }
    size_of(header) = size;
    return static_cast<char *>(header) + HEADER_SIZE;
}

void mem_release(void *block) {
    if (!block) return;
    void *header = static_cast<char *>(block) - HEADER_SIZE;
    if (KEEP_BLOCKS && size_of(header) >= CACHED_MIN_SIZE && cache_keep(header)) return;
    std::free(header);
}

unsigned long mem_failures() { return refused_allocations; }

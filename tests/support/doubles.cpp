// The notice and the allocator as test doubles: notices are captured, and
// the allocator counts live blocks, can fail the Nth allocation and can
// log the order in which blocks are released.
#include <atomic>
#include <cstdlib>

#include "client/notice.h"
#include "common/memory.h"
#include "doubles.h"

// ---------------------------------------------------------------------------
// Notice
// ---------------------------------------------------------------------------

namespace {
std::vector<std::string> notices;
}  // namespace

namespace fake_notice {
std::vector<std::string> &shown() { return notices; }
}  // namespace fake_notice

void notice_show(const char *text) { notices.emplace_back(text); }

// ---------------------------------------------------------------------------
// Allocator: counts live blocks, fails on request
// ---------------------------------------------------------------------------

namespace {
std::atomic<long> live{0};
std::atomic<long> call_count{0};
std::atomic<long> fail_countdown{0};
std::atomic<bool> failure_happened{false};
bool logging_releases = false;
std::vector<const void *> release_log;
}  // namespace

namespace test_memory {
long live_blocks() { return live.load(); }
long calls() { return call_count.load(); }
void reset_calls() { call_count = 0; }
void fail_at(long n) {
    fail_countdown = n;
    failure_happened = false;
}
bool failed() { return failure_happened.load(); }
void log_releases(bool on) {
    logging_releases = on;
    release_log.clear();
}
const std::vector<const void *> &released() { return release_log; }
}  // namespace test_memory

namespace {
thread_local unsigned long refused_allocations;
}

void *mem_alloc(size_t size) {
    call_count++;
    if (fail_countdown > 0 && --fail_countdown == 0) {
        failure_happened = true;
        refused_allocations++;
        return nullptr;
    }
    void *block = std::malloc(size);
    if (block) live++;
    else refused_allocations++;
    return block;
}

unsigned long mem_failures() { return refused_allocations; }

void mem_release(void *block) {
    if (!block) return;
    live--;
    if (logging_releases) release_log.push_back(block);
    std::free(block);
}

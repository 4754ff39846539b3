// Definitions of the doubles declared in doubles.h.
#include "doubles.h"

#include <atomic>
#include <cstdlib>
#include <mutex>

#include "client/client.h"
#include "client/notice.h"
#include "common/memory.h"

// ---------------------------------------------------------------------------
// Client library connection calls
// ---------------------------------------------------------------------------

namespace {
std::vector<std::vector<uint8_t>> sent_records;
int send_countdown = 0;
bool all_sends_fail = false;
int connects = 0;
std::vector<std::string> notices;
}  // namespace

namespace fake_client {
std::vector<std::vector<uint8_t>> &sent() { return sent_records; }
void reset() {
    sent_records.clear();
    send_countdown = 0;
    all_sends_fail = false;
    connects = 0;
}
void fail_send_at(int n) { send_countdown = n; }
void fail_all_sends(bool fail) { all_sends_fail = fail; }
int connect_calls() { return connects; }
}  // namespace fake_client

extern "C" int vorn_client_connect(void) {
    connects++;
    return 1;
}

extern "C" int vorn_client_send_message(const uint8_t *record, size_t size) {
    if (all_sends_fail) return 0;
    if (send_countdown > 0 && --send_countdown == 0) return 0;
    sent_records.emplace_back(record, record + size);
    return 1;
}

// ---------------------------------------------------------------------------
// Notice
// ---------------------------------------------------------------------------

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
}  // namespace test_memory

void *mem_alloc(size_t size) {
    call_count++;
    if (fail_countdown > 0 && --fail_countdown == 0) {
        failure_happened = true;
        return nullptr;
    }
    void *block = std::malloc(size);
    if (block) live++;
    return block;
}

void mem_release(void *block) {
    if (!block) return;
    live--;
    std::free(block);
}

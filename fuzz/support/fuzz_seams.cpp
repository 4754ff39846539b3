// The client library and the notice as the fuzz targets link them: sends
// are counted, fail on request and may be captured; notices are dropped.
#include "fuzz_seams.h"

#include <cstddef>
#include <cstdint>

#include "client/client.h"
#include "client/notice.h"
#include "common/record.h"

namespace {
uint32_t failing_period = 0;
uint32_t send_count = 0;
std::vector<std::vector<uint8_t>> *captured = nullptr;
}  // namespace

namespace fuzz_seams {
void fail_sends_every(uint32_t period) {
    failing_period = period;
    send_count = 0;
}
uint32_t sends() { return send_count; }
void capture_sends(std::vector<std::vector<uint8_t>> *records) { captured = records; }
}  // namespace fuzz_seams

extern "C" int vorn_client_connect(void) { return 1; }

// A record is taken whole, so every byte of its declared size is read: a
// sender that announces more than it holds is caught by the sanitizer.  The
// library sends only message records of exactly length + 1 bytes.
extern "C" int vorn_client_send_message(const uint8_t *record, size_t size) {
    send_count++;
    if (!record || size < RECORD_MIN_MESSAGE_SIZE || record_kind(record) != KIND_MESSAGE ||
        record_size(record) != size)
        __builtin_trap();
    volatile uint8_t sum = 0;
    for (size_t i = 0; i < size; i++) sum = static_cast<uint8_t>(sum + record[i]);
    (void)sum;
    if (failing_period && send_count % failing_period == 0) return 0;
    if (captured) captured->emplace_back(record, record + size);
    return 1;
}

void notice_show(const char *) {}

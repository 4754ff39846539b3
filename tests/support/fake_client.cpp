// The client library's connection calls as a test double: sends are
// captured (or made to fail) instead of reaching a server.  Kept apart from
// the other doubles so that a test program can link the real client.
#include <functional>

#include "brox.h"
#include "client/client.h"
#include "common/record.h"
#include "doubles.h"

namespace {
std::vector<std::vector<uint8_t>> sent_records;
int send_countdown = 0;
bool all_sends_fail = false;
int connects = 0;
std::function<void(const std::vector<uint8_t> &)> send_hook;
}  // namespace

namespace fake_client {
std::vector<std::vector<uint8_t>> &sent() { return sent_records; }
void reset() {
    sent_records.clear();
    send_countdown = 0;
    all_sends_fail = false;
    connects = 0;
    send_hook = nullptr;
}
void fail_send_at(int n) { send_countdown = n; }
void fail_all_sends(bool fail) { all_sends_fail = fail; }
int connect_calls() { return connects; }
void on_send(std::function<void(const std::vector<uint8_t> &)> hook) { send_hook = std::move(hook); }
std::vector<uint8_t> orders_message_sent(Position *position, uint16_t power) {
    reset();
    brox_order_submit(nullptr, position, static_cast<uint16_t>(power << 8));
    if (sent_records.size() != 1) return {};
    return std::vector<uint8_t>(sent_records.front().begin() + RECORD_MESSAGE_AT, sent_records.front().end());
}
}  // namespace fake_client

extern "C" int vorn_client_connect(void) {
    connects++;
    return 1;
}

extern "C" int vorn_client_send_message(const uint8_t *record, size_t size) {
    if (all_sends_fail) return 0;
    if (send_countdown > 0 && --send_countdown == 0) return 0;
    sent_records.emplace_back(record, record + size);
    if (send_hook) send_hook(sent_records.back());
    return 1;
}

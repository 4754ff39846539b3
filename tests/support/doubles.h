// Test doubles for the library's three link seams: the client library's
// connection calls (fake_client.cpp), the modal notice and the allocator
// (doubles.cpp).  Test programs link these instead of the platform's
// definitions; one that talks to a real server links only the latter two.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Position;

namespace fake_client {

// Every record the system has sent, bytes as sent (kind byte first).
std::vector<std::vector<uint8_t>> &sent();
// Forgets what was sent and every failure setting.
void reset();
// Makes the nth send from now fail (1 = the next one); 0 turns it off.
void fail_send_at(int n);
// Makes every send fail while set.
void fail_all_sends(bool fail);
// Number of vorn_client_connect calls since reset.
int connect_calls();
// Called with each record right after it has been captured (a scripted
// server's view of the moment of sending); reset removes it.
void on_send(std::function<void(const std::vector<uint8_t> &)> hook);
// Forgets what was sent, submits `position`'s orders for `power` (an index)
// and returns the orders message sent, from its type word; empty unless
// exactly one record was sent.
std::vector<uint8_t> orders_message_sent(Position *position, uint16_t power);

}  // namespace fake_client

namespace fake_notice {

// Every text shown, in order.
std::vector<std::string> &shown();

}  // namespace fake_notice

namespace test_memory {

// Blocks handed out and not yet returned.
long live_blocks();
// Allocations made since the last reset of the counter.
long calls();
void reset_calls();
// Makes the nth allocation from now fail (1 = the next one); 0 turns it off.
void fail_at(long n);
// Whether an injected failure has happened since fail_at.
bool failed();
// Starts (or stops) logging released blocks, forgetting earlier ones.
void log_releases(bool on);
// Blocks released since logging started, in release order.
const std::vector<const void *> &released();

}  // namespace test_memory

// Keeping one phase's orders and refusals.
#include "game/phase_orders.h"

#include <cstring>

#include "common/memory.h"

namespace {

// Room for one more entry; false when memory runs out.
bool store_reserve(RefusalStore *store) {
    if (store->count < store->capacity) return true;
    uint32_t capacity = store->capacity ? 2 * store->capacity : 64;
    auto *entries = static_cast<RefusalEntry *>(mem_alloc(sizeof(RefusalEntry) * size_t{capacity}));
    if (!entries) return false;
    if (store->count) std::memcpy(entries, store->entries, sizeof(RefusalEntry) * size_t{store->count});
    mem_release(store->entries);
    store->entries = entries;
    store->capacity = capacity;
    return true;
}

}  // namespace

void phase_orders_clear(PhaseOrders *orders) {
    std::memset(orders->from_bot, 0, sizeof orders->from_bot);
    std::memset(orders->powers, 0, sizeof orders->powers);
    orders->refusals.count = 0;
}

void phase_orders_release(PhaseOrders *orders) {
    mem_release(orders->refusals.entries);
    orders->refusals = RefusalStore{};
}

void phase_orders_drop_refusals(PhaseOrders *orders, uint16_t power, bool late) {
    RefusalStore &store = orders->refusals;
    uint32_t kept = 0;
    for (uint32_t r = 0; r < store.count; r++) {
        const RefusalEntry &entry = store.entries[r];
        if (entry.power == power && (entry.late != 0) == late) continue;
        if (kept != r) store.entries[kept] = entry;
        kept++;
    }
    orders->powers[power].kept = static_cast<uint16_t>(orders->powers[power].kept - (store.count - kept));
    store.count = kept;
}

void phase_orders_refuse(PhaseOrders *orders, uint16_t power, uint16_t entry, uint16_t reason, bool late,
                         const uint8_t *bytes) {
    PowerTally &tally = orders->powers[power];
    if (late)
        tally.late_refused++;
    else
        tally.refused++;
    if (tally.kept >= REFUSALS_KEPT || !store_reserve(&orders->refusals)) return;
    RefusalEntry &kept = orders->refusals.entries[orders->refusals.count++];
    kept.power = power;
    kept.entry = entry;
    kept.reason = reason;
    kept.late = late ? 1 : 0;
    std::memcpy(kept.bytes, bytes, ORDER_ENTRY_SIZE);
    tally.kept++;
}

const RefusalEntry *phase_orders_refusal(const PhaseOrders *orders, uint16_t power, uint16_t index) {
    const RefusalStore &store = orders->refusals;
    for (int late = 1; late >= 0; late--)
        for (uint32_t r = 0; r < store.count; r++) {
            const RefusalEntry &entry = store.entries[r];
            if (entry.power != power || entry.late != late) continue;
            if (index-- == 0) return &entry;
        }
    return nullptr;
}

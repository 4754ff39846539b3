// The orders of one phase as the referee keeps them: the order each unit
// was given (a copy of one of its candidates) and by whom, and per power
// what came and what was refused, with each refused entry's bytes for the
// game record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "orders/orders_message.h"

// Refusals kept per power and phase: a late message and a current one of
// MAX_UNITS entries each.  Further refusals are counted only.
constexpr uint16_t REFUSALS_KEPT = 2 * MAX_UNITS;

struct RefusalEntry {
    uint16_t power;
    uint16_t entry;   // place in its message from 1, or the count of orders given one by one
    uint16_t reason;  // REFUSAL_ code
    uint8_t late;     // 1: of orders for an earlier phase
    uint8_t bytes[ORDER_ENTRY_SIZE];
};

// Refused entries of every power, in the order they came.  The block grows
// to the largest phase seen and is kept from phase to phase.
struct RefusalStore {
    RefusalEntry *entries;
    uint32_t count;
    uint32_t capacity;
};

// What one power did in the phase.
struct PowerTally {
    uint8_t received;      // orders for this phase came
    uint16_t entries;      // entries of its orders message, or orders given one by one
    uint16_t refused;      // of those, refused
    uint16_t late_refused; // entries of its latest orders for an earlier phase
    uint16_t kept;         // refusals kept in the store
};

struct PhaseOrders {
    Order chosen[MAX_UNITS];     // by unit index: the order given, while from_bot is set
    uint8_t from_bot[MAX_UNITS]; // 1: the unit's power gave it an order
    PowerTally powers[MAX_POWERS];
    RefusalStore refusals;
};

// Empties the orders for a new phase; the store keeps its block.
void phase_orders_clear(PhaseOrders *orders);
// Frees the store's block.
void phase_orders_release(PhaseOrders *orders);

// Forgets the power's kept refusals of one kind (late or not).
void phase_orders_drop_refusals(PhaseOrders *orders, uint16_t power, bool late);
// Counts a refusal and keeps it (its entry's bytes copied) while the power
// has fewer than REFUSALS_KEPT and memory allows.
void phase_orders_refuse(PhaseOrders *orders, uint16_t power, uint16_t entry, uint16_t reason, bool late,
                         const uint8_t *bytes);
// The power's kept refusal `index`: its late ones first, then the others,
// each in the order they came; null past the last.
const RefusalEntry *phase_orders_refusal(const PhaseOrders *orders, uint16_t power, uint16_t index);

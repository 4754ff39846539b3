// Taking orders: finding the ordered unit from its unit block and the
// order among that unit's candidates, and the winter's counts.
#include "game/take_orders.h"

#include <cstring>

#include "world/arguments.h"
#include "orders/order_entry.h"
#include "world/position.h"
#include "world/season.h"

namespace {

uint16_t province_token(const LocationState *location) { return location->province->province->token; }

// Whether a unit block describes `unit` (power, type, province token,
// coast).
bool block_names(const UnitBlock &block, const Unit *unit) {
    return unit->location && block.power == unit->power && block.unit_type == unit->unit_type &&
           block.province_token == province_token(unit->location) && block.coast == unit->location->coast;
}

// Whether an entry's token, target, other unit and route are those of the
// candidate.  Supports travel without a target coast; builds carry their
// place in the unit block, which the caller compares.
bool entry_names(const OrderEntry &entry, const Order *candidate) {
    uint16_t token = entry.token;
    if (token != candidate->token) return false;
    if (!candidate->target) {
        if (token != ORD_BUILD && entry.target_province != TARGET_NONE) return false;
    } else if (token != ORD_BUILD) {
        if (entry.target_province != province_token(candidate->target)) return false;
        if (token != ORD_SUPPORT && entry.target_coast != candidate->target->coast) return false;
    }
    if (candidate->other_unit && !block_names(entry.other, candidate->other_unit)) return false;
    uint16_t route_length = entry.route_length;
    if (route_length != candidate->route_length || route_length > MAX_ROUTE) return false;
    for (uint16_t r = 0; r < route_length; r++)
        if (!candidate->route[r] || entry.route[r] != candidate->route[r]->province->token) return false;
    return true;
}

template <typename Visit>
const Order *find_in(Unit *unit, Visit matches) {
    LumAvlTree *set = &unit->candidates;
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (matches(order)) return order;
    return nullptr;
}

// The power's unit that a unit block names, standing or dislodged as the
// season wants it; NO_UNIT when there is none.
uint16_t find_unit(const Position *position, uint16_t power, const UnitBlock &block, bool dislodged) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power == power && (unit->dislodged != 0) == dislodged && block_names(block, unit)) return u;
    }
    return NO_UNIT;
}

void choose(PhaseOrders *orders, uint16_t unit, const Order &order) {
    orders->chosen[unit] = order;
    orders->from_bot[unit] = 1;
}

// Orders of the power with `token` taken so far, leaving out unit `except`.
uint16_t chosen_with(const Position *position, const PhaseOrders *orders, uint16_t power, uint16_t token,
                     uint16_t except = NO_UNIT) {
    uint16_t count = 0;
    for (uint16_t u = 0; u < position->unit_count; u++)
        count += u != except && orders->from_bot[u] && position->units[u]->power == power &&
                 orders->chosen[u].token == token;
    return count;
}

uint16_t removals_due(const Position *position, uint16_t power) {
    int16_t adjustment = position->adjustment[power];
    return adjustment < 0 ? static_cast<uint16_t>(-adjustment) : 0;
}

// Whether another slot of the power already builds in the build's province.
bool province_built(const Position *position, const PhaseOrders *orders, uint16_t power, const Order *build,
                    uint16_t except = NO_UNIT) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Order &chosen = orders->chosen[u];
        if (u != except && orders->from_bot[u] && position->units[u]->power == power && chosen.token == ORD_BUILD &&
            chosen.target->province == build->target->province)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// An orders message
// ---------------------------------------------------------------------------

struct Decoding {
    Position *position;
    uint16_t power;
    PhaseOrders *orders;
};

uint16_t decode_unit_order(const Decoding &at, const OrderEntry &entry) {
    bool retreats = season_phase(at.position->season) == Phase::RETREATS;
    uint16_t u = find_unit(at.position, at.power, entry.unit, retreats);
    if (u == NO_UNIT) return REFUSAL_NO_UNIT;
    if (at.orders->from_bot[u]) return REFUSAL_SECOND_ORDER;
    const Order *candidate = find_in(at.position->units[u], [&](const Order *o) { return entry_names(entry, o); });
    if (!candidate) return REFUSAL_NOT_LEGAL;
    choose(at.orders, u, *candidate);
    return REFUSAL_NONE;
}

uint16_t decode_removal(const Decoding &at, const OrderEntry &entry) {
    if (chosen_with(at.position, at.orders, at.power, ORD_REMOVE) >= removals_due(at.position, at.power))
        return REFUSAL_TOO_MANY_REMOVALS;
    return decode_unit_order(at, entry);
}

// The power's first build slot not given an order yet, or NO_UNIT.
uint16_t free_build_slot(const Decoding &at) {
    for (uint16_t u = 0; u < at.position->unit_count; u++) {
        const Unit *unit = at.position->units[u];
        if (unit->power == at.power && !unit->location && !at.orders->from_bot[u]) return u;
    }
    return NO_UNIT;
}

uint16_t decode_build(const Decoding &at, const OrderEntry &entry) {
    uint16_t slot = free_build_slot(at);
    if (slot == NO_UNIT) return REFUSAL_NO_SLOT;
    if (entry.token == ORD_WAIVE) {
        Order waive = at.position->units[slot]->order;
        waive.token = ORD_WAIVE;
        choose(at.orders, slot, waive);
        return REFUSAL_NONE;
    }
    const UnitBlock &block = entry.unit;
    const Order *build = find_in(at.position->units[first_build_slot(at.position, at.power)], [&](const Order *o) {
        return o->token == ORD_BUILD && o->target && block.province_token == province_token(o->target) &&
               block.coast == o->target->coast;
    });
    if (!build) return REFUSAL_NOT_A_HOME;
    if (province_built(at.position, at.orders, at.power, build)) return REFUSAL_SECOND_BUILD;
    choose(at.orders, slot, *build);
    return REFUSAL_NONE;
}

uint16_t decode_entry(const Decoding &at, const OrderEntry &entry) {
    if (entry.unit.power != at.power) return REFUSAL_OTHER_POWER;
    if (at.position->season != SEASON_WINTER) return decode_unit_order(at, entry);
    if (entry.token == ORD_BUILD || entry.token == ORD_WAIVE) return decode_build(at, entry);
    if (entry.token == ORD_REMOVE) return decode_removal(at, entry);
    return REFUSAL_NOT_ADJUSTMENT;
}

// ---------------------------------------------------------------------------
// One candidate
// ---------------------------------------------------------------------------

// The winter's rules for an order of unit u (an order given to u before
// does not count against it).
uint16_t winter_refusal(const Position *position, const PhaseOrders *orders, uint16_t u, const Order *order) {
    uint16_t power = position->units[u]->power;
    if (order->token == ORD_REMOVE && chosen_with(position, orders, power, ORD_REMOVE, u) >= removals_due(position, power))
        return REFUSAL_TOO_MANY_REMOVALS;
    if (order->token == ORD_BUILD && province_built(position, orders, power, order, u)) return REFUSAL_SECOND_BUILD;
    return REFUSAL_NONE;
}

// Whether `order` is a candidate unit u may be given.
bool may_give(Position *position, uint16_t u, const Order *order) {
    Unit *unit = position->units[u];
    if (unit->location) return unit_has_candidate(unit, order);
    uint16_t first = first_build_slot(position, unit->power);
    return first != NO_UNIT && unit_has_candidate(position->units[first], order) &&
           (order->token == ORD_BUILD || order->token == ORD_WAIVE);
}

}  // namespace

uint16_t first_build_slot(const Position *position, uint16_t power) {
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u]->power == power && !position->units[u]->location) return u;
    return NO_UNIT;
}

void take_orders_message(Position *position, uint16_t power, const uint8_t *message, PhaseOrders *orders) {
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u]->power == power) orders->from_bot[u] = 0;
    phase_orders_drop_refusals(orders, power, false);
    PowerTally &tally = orders->powers[power];
    uint16_t count = orders_message_count(message);
    tally.received = 1;
    tally.entries = count;
    tally.refused = 0;
    Decoding at{position, power, orders};
    for (uint16_t e = 0; e < count; e++) {
        const uint8_t *bytes = orders_message_entry(message, e);
        uint16_t refusal = decode_entry(at, order_entry_read(bytes));
        if (refusal != REFUSAL_NONE) phase_orders_refuse(orders, power, static_cast<uint16_t>(e + 1), refusal, false, bytes);
    }
}

void take_late_orders(uint16_t power, const uint8_t *message, PhaseOrders *orders) {
    phase_orders_drop_refusals(orders, power, true);
    orders->powers[power].late_refused = 0;
    uint16_t count = orders_message_count(message);
    for (uint16_t e = 0; e < count; e++)
        phase_orders_refuse(orders, power, static_cast<uint16_t>(e + 1), REFUSAL_EARLIER_PHASE, true,
                            orders_message_entry(message, e));
}

uint16_t take_order(Position *position, uint16_t u, const Order *order, PhaseOrders *orders) {
    if (u >= position->unit_count) return REFUSAL_NO_UNIT;
    if (!may_give(position, u, order)) return REFUSAL_NOT_LEGAL;
    Unit *unit = position->units[u];
    PowerTally &tally = orders->powers[unit->power];
    tally.received = 1;
    tally.entries++;
    uint16_t refusal = season_phase(position->season) == Phase::MOVEMENT || season_phase(position->season) == Phase::RETREATS
                           ? REFUSAL_NONE
                           : winter_refusal(position, orders, u, order);
    if (refusal != REFUSAL_NONE) {
        uint8_t bytes[ORDER_ENTRY_SIZE] = {};
        OrderEntry entry;
        if (order_entry_of(unit, *order, &entry)) {
            // A build slot's type is whatever the caller left there: the
            // record names the unit the build's place takes.
            if (order->token == ORD_BUILD && order->target)
                entry.unit.unit_type = order->target->coast == COAST_ARMY ? UNIT_ARMY : UNIT_FLEET;
            order_entry_write(bytes, entry);
        }
        phase_orders_refuse(orders, unit->power, tally.entries, refusal, false, bytes);
        return refusal;
    }
    choose(orders, u, *order);
    return REFUSAL_NONE;
}

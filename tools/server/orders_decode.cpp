// Decoding orders messages: finding the ordered unit from its unit block
// and the order among that unit's candidates.
#include "tools/server/orders_decode.h"

#include <string>

#include "orders/orders_message.h"
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

// The first candidate of `unit` that the entry names, or null.
const Order *find_candidate(Unit *unit, const OrderEntry &entry) {
    LumAvlTree *set = &unit->candidates;
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (entry_names(entry, order)) return order;
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

bool already_chosen(const PowerOrders *out, uint16_t unit) {
    for (const ChosenOrder &chosen : out->chosen)
        if (chosen.unit == unit) return true;
    return false;
}

void refuse(PowerOrders *out, const uint8_t *entry, uint16_t e, const char *why) {
    out->refused++;
    out->refusals.push_back({static_cast<uint16_t>(e + 1), why, {entry, entry + ORDER_ENTRY_SIZE}});
}

// ---------------------------------------------------------------------------
// Spring, summer, fall and autumn; removals in winter
// ---------------------------------------------------------------------------

// `entry` is the entry's bytes, which a refusal keeps, and `order` the
// entry as read.
void decode_unit_order(Position *position, uint16_t power, const uint8_t *entry, const OrderEntry &order,
                       uint16_t e, PowerOrders *out) {
    bool retreats = season_phase(position->season) == Phase::RETREATS;
    uint16_t u = find_unit(position, power, order.unit, retreats);
    if (u == NO_UNIT) return refuse(out, entry, e, "names no unit of this power that may be ordered");
    if (already_chosen(out, u)) return refuse(out, entry, e, "a second order for one unit");
    const Order *candidate = find_candidate(position->units[u], order);
    if (!candidate) return refuse(out, entry, e, "not a legal order for this unit");
    out->chosen.push_back({u, *candidate});
}

uint16_t removals_due(const Position *position, uint16_t power) {
    int16_t adjustment = position->adjustment[power];
    return adjustment < 0 ? static_cast<uint16_t>(-adjustment) : 0;
}

uint16_t chosen_with(const PowerOrders *out, uint16_t token) {
    uint16_t count = 0;
    for (const ChosenOrder &chosen : out->chosen) count += chosen.order.token == token;
    return count;
}

void decode_removal(Position *position, uint16_t power, const uint8_t *entry, const OrderEntry &order,
                    uint16_t e, PowerOrders *out) {
    if (chosen_with(out, ORD_REMOVE) >= removals_due(position, power))
        return refuse(out, entry, e, "more removals than are due");
    decode_unit_order(position, power, entry, order, e, out);
}

// ---------------------------------------------------------------------------
// Builds and waives
// ---------------------------------------------------------------------------

// The power's build slots (Units without a location), in unit order.
std::vector<uint16_t> build_slots(const Position *position, uint16_t power) {
    std::vector<uint16_t> slots;
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u]->power == power && !position->units[u]->location) slots.push_back(u);
    return slots;
}

// The build candidate whose place the unit block names.
const Order *find_build(Position *position, uint16_t first_slot, const UnitBlock &block) {
    LumAvlTree *set = &position->units[first_slot]->candidates;
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (order->token == ORD_BUILD && order->target && block.province_token == province_token(order->target) &&
            block.coast == order->target->coast)
            return order;
    return nullptr;
}

bool province_built(const PowerOrders *out, const Order *build) {
    for (const ChosenOrder &chosen : out->chosen)
        if (chosen.order.token == ORD_BUILD && chosen.order.target->province == build->target->province)
            return true;
    return false;
}

void decode_build(Position *position, uint16_t power, const uint8_t *entry, const OrderEntry &order,
                  uint16_t e, PowerOrders *out) {
    std::vector<uint16_t> slots = build_slots(position, power);
    size_t used = chosen_with(out, ORD_BUILD) + chosen_with(out, ORD_WAIVE);
    if (used >= slots.size()) return refuse(out, entry, e, "no build slot left");
    if (order.token == ORD_WAIVE) {
        Order waive = position->units[slots[used]]->order;
        waive.token = ORD_WAIVE;
        out->chosen.push_back({slots[used], waive});
        return;
    }
    const Order *build = find_build(position, slots[0], order.unit);
    if (!build) return refuse(out, entry, e, "not a place this power may build in");
    if (province_built(out, build)) return refuse(out, entry, e, "a second build in one province");
    out->chosen.push_back({slots[used], *build});
}

}  // namespace

bool orders_message_readable(const uint8_t *message, size_t length) {
    if (length < ORDERS_ENTRIES_AT) return false;
    uint16_t count = orders_message_count(message);
    return count <= MAX_UNITS && length == orders_message_size(count);
}

bool orders_decode(Position *position, uint16_t power, const uint8_t *message, size_t length,
                   PowerOrders *out) {
    *out = PowerOrders{};
    if (!orders_message_readable(message, length)) return false;
    uint16_t count = orders_message_count(message);
    out->received = true;
    out->entries = count;
    for (uint16_t e = 0; e < count; e++) {
        const uint8_t *entry = orders_message_entry(message, e);
        OrderEntry order = order_entry_read(entry);
        if (order.unit.power != power) {
            refuse(out, entry, e, "a unit of another power");
            continue;
        }
        uint16_t token = order.token;
        if (position->season != SEASON_WINTER)
            decode_unit_order(position, power, entry, order, e, out);
        else if (token == ORD_BUILD || token == ORD_WAIVE)
            decode_build(position, power, entry, order, e, out);
        else if (token == ORD_REMOVE)
            decode_removal(position, power, entry, order, e, out);
        else
            refuse(out, entry, e, "not an adjustment");
    }
    return true;
}

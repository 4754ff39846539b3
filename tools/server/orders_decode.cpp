// Decoding orders messages: finding the ordered unit from its unit block
// and the order among that unit's candidates.
#include "tools/server/orders_decode.h"

#include <string>

#include "common/bytes.h"
#include "orders/submit.h"
#include "world/position.h"

namespace {

uint16_t province_token(const LocationState *location) { return location->province->province->token; }

// Whether a 12-byte unit block describes `unit` (power, type, province
// token, coast).
bool block_names(const uint8_t *block, const Unit *unit) {
    return unit->location && get_u16(block, UNIT_POWER_AT) == unit->power &&
           get_u16(block, UNIT_TYPE_AT) == unit->unit_type &&
           get_u16(block, UNIT_PROVINCE_AT) == province_token(unit->location) &&
           get_u16(block, UNIT_COAST_AT) == unit->location->coast;
}

// Whether an entry's token, target, other unit and route are those of the
// candidate.  Supports travel without a target coast; builds carry their
// place in the unit block, which the caller compares.
bool entry_names(const uint8_t *entry, const Order *candidate) {
    uint16_t token = get_u16(entry, ENTRY_TOKEN_AT);
    if (token != candidate->token) return false;
    uint16_t target_province = get_u16(entry, ENTRY_TARGET_PROVINCE_AT);
    if (!candidate->target) {
        if (token != ORD_BUILD && target_province != TARGET_NONE) return false;
    } else if (token != ORD_BUILD) {
        if (target_province != province_token(candidate->target)) return false;
        if (token != ORD_SUPPORT && get_u16(entry, ENTRY_TARGET_COAST_AT) != candidate->target->coast)
            return false;
    }
    if (candidate->other_unit && !block_names(entry + ENTRY_OTHER_AT, candidate->other_unit)) return false;
    uint16_t route_length = get_u16(entry, ENTRY_ROUTE_LENGTH_AT);
    if (route_length != candidate->route_length || route_length > MAX_ROUTE) return false;
    for (uint16_t r = 0; r < route_length; r++)
        if (!candidate->route[r] ||
            get_u16(entry, ENTRY_ROUTE_AT + 2 * r) != candidate->route[r]->province->token)
            return false;
    return true;
}

// The first candidate of `unit` that the entry names, or null.
const Order *find_candidate(Unit *unit, const uint8_t *entry) {
    LumAvlTree *set = &unit->candidates;
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (entry_names(entry, order)) return order;
    return nullptr;
}

// The power's unit that a unit block names, standing or dislodged as the
// season wants it; NO_UNIT when there is none.
uint16_t find_unit(const Position *position, uint16_t power, const uint8_t *block, bool dislodged) {
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

void decode_unit_order(Position *position, uint16_t power, const uint8_t *entry, uint16_t e,
                       PowerOrders *out) {
    bool retreats = position->season == SEASON_SUMMER || position->season == SEASON_AUTUMN;
    uint16_t u = find_unit(position, power, entry + ENTRY_UNIT_AT, retreats);
    if (u == NO_UNIT) return refuse(out, entry, e, "names no unit of this power that may be ordered");
    if (already_chosen(out, u)) return refuse(out, entry, e, "a second order for one unit");
    const Order *candidate = find_candidate(position->units[u], entry);
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

void decode_removal(Position *position, uint16_t power, const uint8_t *entry, uint16_t e,
                    PowerOrders *out) {
    if (chosen_with(out, ORD_REMOVE) >= removals_due(position, power))
        return refuse(out, entry, e, "more removals than are due");
    decode_unit_order(position, power, entry, e, out);
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

// The build candidate whose place the entry's unit block names.
const Order *find_build(Position *position, uint16_t first_slot, const uint8_t *entry) {
    const uint8_t *block = entry + ENTRY_UNIT_AT;
    LumAvlTree *set = &position->units[first_slot]->candidates;
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (order->token == ORD_BUILD && order->target &&
            get_u16(block, UNIT_PROVINCE_AT) == province_token(order->target) &&
            get_u16(block, UNIT_COAST_AT) == order->target->coast)
            return order;
    return nullptr;
}

bool province_built(const PowerOrders *out, const Order *build) {
    for (const ChosenOrder &chosen : out->chosen)
        if (chosen.order.token == ORD_BUILD && chosen.order.target->province == build->target->province)
            return true;
    return false;
}

void decode_build(Position *position, uint16_t power, const uint8_t *entry, uint16_t e,
                  PowerOrders *out) {
    std::vector<uint16_t> slots = build_slots(position, power);
    size_t used = chosen_with(out, ORD_BUILD) + chosen_with(out, ORD_WAIVE);
    if (used >= slots.size()) return refuse(out, entry, e, "no build slot left");
    uint16_t token = get_u16(entry, ENTRY_TOKEN_AT);
    if (token == ORD_WAIVE) {
        Order waive = position->units[slots[used]]->order;
        waive.token = ORD_WAIVE;
        out->chosen.push_back({slots[used], waive});
        return;
    }
    const Order *build = find_build(position, slots[0], entry);
    if (!build) return refuse(out, entry, e, "not a place this power may build in");
    if (province_built(out, build)) return refuse(out, entry, e, "a second build in one province");
    out->chosen.push_back({slots[used], *build});
}

}  // namespace

bool orders_message_readable(const uint8_t *message, size_t length) {
    if (length < ORDERS_ENTRIES_AT) return false;
    uint16_t count = get_u16(message, ORDERS_COUNT_AT);
    return count <= MAX_UNITS && length == ORDERS_ENTRIES_AT + ORDER_ENTRY_SIZE * size_t{count};
}

bool orders_decode(Position *position, uint16_t power, const uint8_t *message, size_t length,
                   PowerOrders *out) {
    *out = PowerOrders{};
    if (!orders_message_readable(message, length)) return false;
    uint16_t count = get_u16(message, ORDERS_COUNT_AT);
    out->received = true;
    out->entries = count;
    for (uint16_t e = 0; e < count; e++) {
        const uint8_t *entry = message + ORDERS_ENTRIES_AT + ORDER_ENTRY_SIZE * e;
        if (get_u16(entry, ENTRY_UNIT_AT + UNIT_POWER_AT) != power) {
            refuse(out, entry, e, "a unit of another power");
            continue;
        }
        uint16_t token = get_u16(entry, ENTRY_TOKEN_AT);
        if (position->season != SEASON_WINTER)
            decode_unit_order(position, power, entry, e, out);
        else if (token == ORD_BUILD || token == ORD_WAIVE)
            decode_build(position, power, entry, e, out);
        else if (token == ORD_REMOVE)
            decode_removal(position, power, entry, e, out);
        else
            refuse(out, entry, e, "not an adjustment");
    }
    return true;
}

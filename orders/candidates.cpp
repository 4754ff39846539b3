// Generating candidate orders: movement (hold, move, support), retreat
// (retreat, disband), removal (remove, hold) and build (waive, build).
#include "orders/candidates.h"

#include <algorithm>
#include <functional>

#include "common/bytes.h"
#include "orders/convoy.h"
#include "orders/order.h"
#include "world/map.h"
#include "world/position.h"

int add_candidate(Position *position, LumAvlTree *set, uint16_t token, LocationState *target,
                  Unit *other_unit, const ConvoyRoute *route) {
    Order *order = position_new_order(position);
    if (!order) return 0;
    order_set(order, token, target, other_unit);
    if (route) {
        uint16_t length = route->fleet_count <= MAX_ROUTE ? route->fleet_count : MAX_ROUTE;
        order->route_length = length;
        for (uint16_t r = 0; r < length; r++) order->route[r] = route->fleets[r];
    }
    // A record sorting after the set's last one cannot be in the set; any
    // other is looked up first so that the record added first stays.
    const Order *last = static_cast<const Order *>(LUM_AVL_ITEM(set, set->last));
    if ((!last || order_compare(order, last) <= 0) && lum_avl_find(set, order)) {
        position_drop_order(position, order);
        return 1;
    }
    order->node.left = order->node.right = order->node.parent = nullptr;
    order->node.height = order->node.spare = -1;
    lum_avl_insert(set, &order->node);
    return 1;
}

namespace {

// A movement candidate before it becomes an Order: movement orders have no
// route, so token, target and other unit order them as order_compare does.
struct Draft {
    uint16_t token;
    LocationState *target;
    Unit *other_unit;
};

bool drafted_before(const Draft &a, const Draft &b) {
    if (a.token != b.token) return a.token < b.token;
    if (a.target != b.target) return std::less<LocationState *>()(a.target, b.target);
    return std::less<Unit *>()(a.other_unit, b.other_unit);
}

// Hold, moves, supports to hold and supports to move: 1 + 20 + 20 + 20 x 99.
constexpr int MAX_MOVEMENT_DRAFTS = 1 + 2 * MAX_ADJACENT + MAX_ADJACENT * (MAX_UNITS - 1);

}  // namespace

// Support to move is offered once per run of consecutive adjacency entries
// into the same province, with the first entry of the run as target; a
// province that comes back later in the list is offered again.  The drafts
// are sorted first so that the set is filled in ascending order.
int add_movement_candidates(Position *position, Unit *unit) {
    Draft drafts[MAX_MOVEMENT_DRAFTS];
    int count = 0;
    drafts[count++] = {ORD_HOLD, nullptr, nullptr};
    const Location *here = unit->location->location;
    const ProvinceState *previous = nullptr;
    for (uint16_t a = 0; a < here->adjacent_count; a++) {
        LocationState *target = &position->locations[here->adjacent[a]->index];
        ProvinceState *province = target->province;
        drafts[count++] = {ORD_MOVE, target, nullptr};
        if (province->unit) drafts[count++] = {ORD_SUPPORT, nullptr, province->unit};
        if (province != previous) {
            for (uint16_t r = 0; r < province->reach_count; r++)
                if (province->reach[r] != unit) drafts[count++] = {ORD_SUPPORT, target, province->reach[r]};
        }
        previous = province;
    }
    std::sort(drafts, drafts + count, drafted_before);
    LumAvlTree *set = &unit->candidates;
    for (int d = 0; d < count; d++)
        if (!add_candidate(position, set, drafts[d].token, drafts[d].target, drafts[d].other_unit, nullptr))
            return 0;
    return 1;
}

// An option whose coast is left open takes the coast a unit of this type
// would take there (position_open_coast); an option that names no known
// location still gives a retreat, with no target.
int add_retreat_candidates(Position *position, uint8_t *unit_entry, uint16_t retreat_count,
                           LumAvlTree *set) {
    uint16_t unit_type = get_u16(unit_entry, UNIT_TYPE_AT);
    for (uint16_t r = 0; r < retreat_count && r < MAX_RETREATS; r++) {
        uint8_t *option = unit_entry + UNIT_RETREATS_AT + UNIT_RETREAT_SIZE * r;
        uint16_t province = get_u16(option, 0);
        uint16_t coast = get_u16(option, 2);
        if (coast & COAST_ANY) {
            coast = position_open_coast(position->map, province, unit_type);
            put_u16(option, 2, coast);
        }
        LocationState *target = position_find_location(position, province, coast);
        if (!add_candidate(position, set, ORD_RETREAT, target, nullptr, nullptr)) return 0;
    }
    return add_candidate(position, set, ORD_DISBAND, nullptr, nullptr, nullptr);
}

int add_removal_candidates(Position *position, uint16_t power) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (unit->power != power) continue;
        if (!add_candidate(position, &unit->candidates, ORD_REMOVE, nullptr, nullptr, nullptr) ||
            !add_candidate(position, &unit->candidates, ORD_HOLD, nullptr, nullptr, nullptr))
            return 0;
    }
    return 1;
}

// Every location of an empty home centre that the power owns is offered,
// its army location and its fleet locations alike.
int add_build_candidates(Position *position, LumAvlTree *set, uint16_t power) {
    if (!add_candidate(position, set, ORD_WAIVE, nullptr, nullptr, nullptr)) return 0;
    uint16_t location_count = position->map->location_count;
    for (uint16_t l = 0; l < location_count; l++) {
        LocationState *location = &position->locations[l];
        const ProvinceState *province = location->province;
        if (province->unit || province->owner != power) continue;
        if (province->province->home_power != power) continue;
        if (!add_candidate(position, set, ORD_BUILD, location, nullptr, nullptr)) return 0;
    }
    return 1;
}

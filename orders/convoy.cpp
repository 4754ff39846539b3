// Convoy routes: a depth-first walk over chains of fleets at sea from each
// fleet at sea, then reach entries or candidates for the armies on the
// coasts next to the starting fleet.
#include "orders/convoy.h"

#include "orders/candidates.h"
#include "world/map.h"
#include "world/position.h"

namespace {

bool is_coastal(const ProvinceState *province) {
    return province->province->terrain == (TERRAIN_LAND | TERRAIN_WATER);
}

bool is_sea(const ProvinceState *province) { return province->province->terrain == TERRAIN_WATER; }

// A route as the walk stores it: province and location indices, which keeps
// the whole route list of one walk small enough for the stack.
struct RouteSlot {
    uint16_t fleet_count;
    uint16_t landing;
    uint16_t fleets[MAX_ROUTE];
};

// A walk explores every simple chain of fleets, which grows quickly with
// the number of connected fleets at sea; past this many steps it stops
// extending chains, so a hostile position cannot make a build hang.
constexpr uint32_t MAX_WALK_STEPS = 100000;

struct Walk {
    Position *position;
    uint16_t route_count;  // finished routes; slot route_count is the working route
    uint32_t steps;
    RouteSlot slots[MAX_ROUTE_SLOTS];
};

RouteSlot &working_route(Walk &walk) { return walk.slots[walk.route_count]; }

// Stores the working route as finished, landing at `landing`, and carries a
// copy on as the working route.  Once the list is full, routes are no
// longer finished.
void finish_route(Walk &walk, uint16_t landing) {
    if (walk.route_count >= MAX_ROUTE_SLOTS - 1) return;
    RouteSlot &finished = working_route(walk);
    RouteSlot &next = walk.slots[walk.route_count + 1];
    next.fleet_count = finished.fleet_count;
    for (uint16_t f = 0; f < finished.fleet_count; f++) next.fleets[f] = finished.fleets[f];
    finished.landing = landing;
    walk.route_count++;
}

bool can_extend(const Walk &walk) {
    return walk.slots[walk.route_count].fleet_count < MAX_ROUTE &&
           walk.route_count < MAX_ROUTE_SLOTS - 1 && walk.steps < MAX_WALK_STEPS;
}

// Every coastal neighbour of a fleet on the path finishes a route; every
// unmarked fleet in a neighbouring province that is not coastal extends the
// path.  A fleet is unmarked when its call returns, so a fleet appears in
// many routes but never twice in one.  Chains stop at 20 fleets.
void walk_fleets(Walk &walk, Unit *fleet) {
    Position *position = walk.position;
    walk.steps++;
    fleet->result = 1;
    {
        RouteSlot &route = working_route(walk);
        route.fleets[route.fleet_count++] = position_province_index(position, fleet->location->province);
    }
    const Location *here = fleet->location->location;
    for (uint16_t a = 0; a < here->adjacent_count; a++) {
        uint16_t l = here->adjacent[a]->index;
        const ProvinceState *province = position->locations[l].province;
        if (is_coastal(province)) {
            finish_route(walk, l);
        } else {
            Unit *next = province->unit;
            if (next && next->unit_type == UNIT_FLEET && !next->result && can_extend(walk))
                walk_fleets(walk, next);
        }
    }
    working_route(walk).fleet_count--;
    fleet->result = 0;
}

ConvoyRoute route_of(Position *position, const RouteSlot &slot) {
    ConvoyRoute route;
    route.fleet_count = slot.fleet_count;
    for (uint16_t f = 0; f < slot.fleet_count; f++) route.fleets[f] = &position->provinces[slot.fleets[f]];
    route.landing = &position->locations[slot.landing];
    return route;
}

// Gives the army its convoyed move and every fleet of the route its convoy
// order.  A route province with no unit standing in it (possible when the
// walk started from a dislodged fleet) gets nothing.
int add_route_candidates(Position *position, Unit *army, const RouteSlot &slot) {
    ConvoyRoute route = route_of(position, slot);
    if (!add_candidate(position, &army->candidates, ORD_CONVOY_MOVE, route.landing, nullptr, &route)) return 0;
    for (uint16_t f = 0; f < route.fleet_count; f++) {
        Unit *fleet = route.fleets[f]->unit;
        if (fleet && !add_candidate(position, &fleet->candidates, ORD_CONVOY, route.landing, army, nullptr))
            return 0;
    }
    return 1;
}

// The armies on coasts next to the starting fleet take every route that
// lands outside their own province.
int use_routes(Walk &walk, const Unit *start, int passes) {
    Position *position = walk.position;
    const Location *here = start->location->location;
    for (uint16_t a = 0; a < here->adjacent_count; a++) {
        ProvinceState *coast = position->locations[here->adjacent[a]->index].province;
        Unit *army = coast->unit;
        if (!is_coastal(coast) || !army || army->unit_type != UNIT_ARMY) continue;
        for (uint16_t r = 0; r < walk.route_count; r++) {
            const RouteSlot &slot = walk.slots[r];
            LocationState *landing = &position->locations[slot.landing];
            if (landing->province == coast) continue;
            if (passes & CONVOY_PASS_REACH) add_reach(landing->province, army);
            if ((passes & CONVOY_PASS_CANDIDATES) && !add_route_candidates(position, army, slot)) return 0;
        }
    }
    return 1;
}

}  // namespace

void add_reach(ProvinceState *province, Unit *unit) {
    for (uint16_t r = 0; r < province->reach_count; r++)
        if (province->reach[r] == unit) return;
    if (province->reach_count >= MAX_UNITS) return;
    province->reach[province->reach_count++] = unit;
}

int find_convoy_routes(Position *position, int passes) {
    Walk walk;
    walk.position = position;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *start = position->units[u];
        if (start->unit_type != UNIT_FLEET || !start->location || !is_sea(start->location->province))
            continue;
        for (uint16_t v = 0; v < position->unit_count; v++) position->units[v]->result = 0;
        walk.route_count = 0;
        walk.steps = 0;
        walk.slots[0].fleet_count = 0;
        walk_fleets(walk, start);
        if (!use_routes(walk, start, passes)) return 0;
    }
    return 1;
}

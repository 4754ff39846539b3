// Convoy routes: a depth-first walk over chains of fleets at sea from each
// fleet at sea, then reach entries and candidate drafts for the armies on
// the coasts next to the starting fleet.
#include "orders/convoy.h"

#include <algorithm>
#include <cstring>

#include "common/memory.h"
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

// A convoy whose route province has no fleet standing in it: sorts last
// and is dropped.
constexpr uint32_t NO_DRAFT = (1u << 25) - 1;

// Appends `count` elements to a growing array of the build's scratch;
// returns where they start, or null when memory runs out.
template <typename T>
T *grow(T **items, uint32_t *used, uint32_t *capacity, uint32_t count, uint32_t first_capacity) {
    if (*used + count > *capacity) {
        uint32_t wanted = *capacity ? *capacity * 2 : first_capacity;
        while (wanted < *used + count) wanted *= 2;
        T *larger = static_cast<T *>(mem_alloc(sizeof(T) * wanted));
        if (!larger) return nullptr;
        if (*used) std::memcpy(larger, *items, sizeof(T) * *used);
        mem_release(*items);
        *items = larger;
        *capacity = wanted;
    }
    T *start = *items + *used;
    *used += count;
    return start;
}

// Records, for one army, every route of the walk that lands outside its
// own province: the army's convoyed move and each fleet's convoy order.  A
// route province with no unit standing in it (possible when the walk
// started from a dislodged fleet) gets nothing.
bool record_routes(Walk &walk, ConvoyDrafts *drafts, const Unit *army) {
    Position *position = walk.position;
    const ProvinceState *home = army->location->province;
    uint16_t army_index = position_unit_index(position, army);
    uint32_t draft_count = 0, route_entries = 0;
    for (uint16_t r = 0; r < walk.route_count; r++) {
        const RouteSlot &slot = walk.slots[r];
        if (position->locations[slot.landing].province == home) continue;
        draft_count += 1u + slot.fleet_count;
        route_entries += slot.fleet_count;
    }
    uint32_t route_at = drafts->route_count;
    ConvoyDraft *draft = grow(&drafts->drafts, &drafts->count, &drafts->capacity, draft_count, 1024);
    uint16_t *route = grow(&drafts->routes, &drafts->route_count, &drafts->route_capacity, route_entries, 4096);
    if (!draft || !route) return false;
    for (uint16_t r = 0; r < walk.route_count; r++) {
        const RouteSlot &slot = walk.slots[r];
        ProvinceState *landing = position->locations[slot.landing].province;
        if (landing == home) continue;
        add_reach(landing, const_cast<Unit *>(army));
        *draft++ = {convoy_draft_key(army_index, false, slot.landing, slot.fleet_count), route_at};
        for (uint16_t f = 0; f < slot.fleet_count; f++) {
            route[f] = slot.fleets[f];
            const Unit *fleet = position->provinces[slot.fleets[f]].unit;
            uint16_t fleet_index = fleet ? position_own_unit_index(position, fleet) : NO_UNIT;
            *draft++ = {fleet ? convoy_draft_key(fleet_index, true, slot.landing, army_index) : NO_DRAFT, 0};
        }
        route += slot.fleet_count;
        route_at += slot.fleet_count;
    }
    return true;
}

// The armies on coasts next to the starting fleet take every route that
// lands outside their own province.
bool use_routes(Walk &walk, const Unit *start, ConvoyDrafts *drafts) {
    Position *position = walk.position;
    const Location *here = start->location->location;
    for (uint16_t a = 0; a < here->adjacent_count; a++) {
        const ProvinceState *coast = position->locations[here->adjacent[a]->index].province;
        const Unit *army = coast->unit;
        if (!is_coastal(coast) || !army || army->unit_type != UNIT_ARMY) continue;
        if (!record_routes(walk, drafts, army)) return false;
    }
    return true;
}

}  // namespace

void add_reach(ProvinceState *province, Unit *unit) {
    for (uint16_t r = 0; r < province->reach_count; r++)
        if (province->reach[r] == unit) return;
    if (province->reach_count >= MAX_UNITS) return;
    province->reach[province->reach_count++] = unit;
}

int find_convoy_routes(Position *position, ConvoyDrafts *drafts) {
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
        if (!use_routes(walk, start, drafts)) return 0;
    }
    return 1;
}

namespace {

// Convoyed moves with equal keys differ in their routes: ordered by their
// province indices, first to last.
int compare_routes(const uint16_t *routes, const ConvoyDraft &a, const ConvoyDraft &b) {
    const uint16_t *x = routes + a.route_at;
    const uint16_t *y = routes + b.route_at;
    for (uint16_t r = 0, length = convoy_draft_second(a); r < length; r++)
        if (x[r] != y[r]) return x[r] < y[r] ? -1 : 1;
    return 0;
}

// Orders each run of convoyed moves with equal keys by route (runs are
// short: routes of one length from one army to one landing).
void sort_routes_in_runs(ConvoyDraft *drafts, uint32_t count, const uint16_t *routes) {
    for (uint32_t start = 0, end; start < count; start = end) {
        end = start + 1;
        while (end < count && drafts[end].key == drafts[start].key) end++;
        if (end - start < 2 || convoy_draft_is_convoy(drafts[start])) continue;
        for (uint32_t i = start + 1; i < end; i++) {
            ConvoyDraft moving = drafts[i];
            uint32_t j = i;
            for (; j > start && compare_routes(routes, moving, drafts[j - 1]) < 0; j--) drafts[j] = drafts[j - 1];
            drafts[j] = moving;
        }
    }
}

}  // namespace

// A counting sort by unit into scratch space at the end of the same array,
// then each unit's drafts (a few dozen) sorted by key.
int convoy_drafts_sort(ConvoyDrafts *drafts) {
    uint32_t count = drafts->count;
    if (!count) return 1;
    if (!grow(&drafts->drafts, &drafts->count, &drafts->capacity, count, 1024)) return 0;
    drafts->count = count;
    ConvoyDraft *items = drafts->drafts;
    ConvoyDraft *scratch = items + count;
    constexpr uint32_t BUCKETS = 1u << (25 - DRAFT_UNIT_SHIFT);
    uint32_t starts[BUCKETS + 1] = {};
    for (uint32_t d = 0; d < count; d++) starts[(items[d].key >> DRAFT_UNIT_SHIFT) + 1]++;
    for (uint32_t b = 1; b <= BUCKETS; b++) starts[b] += starts[b - 1];
    uint32_t ends[BUCKETS];
    for (uint32_t b = 0; b < BUCKETS; b++) ends[b] = starts[b];
    for (uint32_t d = 0; d < count; d++) scratch[ends[items[d].key >> DRAFT_UNIT_SHIFT]++] = items[d];
    auto by_key = [](const ConvoyDraft &a, const ConvoyDraft &b) { return a.key < b.key; };
    for (uint32_t b = 0; b < BUCKETS; b++)
        if (ends[b] - starts[b] > 1) std::sort(scratch + starts[b], scratch + ends[b], by_key);
    sort_routes_in_runs(scratch, count, drafts->routes);
    // Each draft once; those for a route province without a fleet sort last.
    uint32_t kept = 0;
    for (uint32_t d = 0; d < count && scratch[d].key != NO_DRAFT; d++) {
        if (kept && scratch[d].key == items[kept - 1].key &&
            (convoy_draft_is_convoy(scratch[d]) || !compare_routes(drafts->routes, scratch[d], items[kept - 1])))
            continue;
        items[kept++] = scratch[d];
    }
    drafts->count = kept;
    return 1;
}

void convoy_drafts_release(ConvoyDrafts *drafts) {
    mem_release(drafts->drafts);
    mem_release(drafts->routes);
    *drafts = ConvoyDrafts{};
}

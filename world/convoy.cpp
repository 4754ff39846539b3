// Convoy routes: a depth-first walk over chains of fleets at sea from each
// fleet at sea, then reach entries and candidate drafts for the armies on
// the coasts next to the starting fleet.
#include "world/convoy.h"

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

// One route of a walk: the fleets' province indices, army side first, and
// the location index where the army lands (the location the last fleet's
// adjacency names).  Indices keep the whole route list of one walk small
// enough for the stack.
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
    bool on_path[MAX_UNITS];  // by unit index: the fleets of the path being walked
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
    uint16_t fleet_index = position_own_unit_index(position, fleet);
    walk.on_path[fleet_index] = true;
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
            if (next && next->unit_type == UNIT_FLEET && !walk.on_path[position_own_unit_index(position, next)] &&
                can_extend(walk))
                walk_fleets(walk, next);
        }
    }
    working_route(walk).fleet_count--;
    walk.on_path[fleet_index] = false;
}

// Appends `count` elements to a growing array of the build's scratch;
// returns where they start, or null when memory runs out.  The first call
// allocates even for no elements, so that null always means no memory.
template <typename T>
T *grow(T **items, uint32_t *used, uint32_t *capacity, uint32_t count, uint32_t first_capacity) {
    if (!*items || *used + count > *capacity) {
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

// The index of the pair of a fleet and an army, made when new; NO_PAIR
// when memory runs out.  The pairs may move when one is made.
uint32_t pair_of(ConvoyDrafts *drafts, uint16_t fleet, uint16_t army) {
    uint32_t *link = &drafts->first_pair[fleet];
    while (*link != NO_PAIR && drafts->pairs[*link].army < army) link = &drafts->pairs[*link].next;
    if (*link != NO_PAIR && drafts->pairs[*link].army == army) return *link;
    uint32_t next = *link;  // read before the array may move
    uint32_t at = drafts->pair_count;
    ConvoyPair *pair = grow(&drafts->pairs, &drafts->pair_count, &drafts->pair_capacity, 1, 16);
    if (!pair) return NO_PAIR;
    pair->army = army;
    pair->next = next;
    for (uint64_t &word : pair->landings) word = 0;
    // The link may have been inside the old array: find it again.
    link = &drafts->first_pair[fleet];
    while (*link != next) link = &drafts->pairs[*link].next;
    *link = at;
    return at;
}

// Records, for one army, every route of the walk that lands outside its
// own province: the army's convoyed move and each fleet's convoy order.  A
// route province with no unit standing in it (possible when the walk
// started from a dislodged fleet) gets nothing.
bool record_routes(Walk &walk, ConvoyDrafts *drafts, Unit *army) {
    Position *position = walk.position;
    const ProvinceState *home = army->location->province;
    uint16_t army_index = position_own_unit_index(position, army);
    uint32_t draft_count = 0, route_entries = 0;
    for (uint16_t r = 0; r < walk.route_count; r++) {
        const RouteSlot &slot = walk.slots[r];
        if (position->locations[slot.landing].province == home) continue;
        draft_count++;
        route_entries += slot.fleet_count;
    }
    uint32_t route_at = drafts->route_count;
    uint32_t first_draft = drafts->count;
    ConvoyDraft *draft = grow(&drafts->drafts, &drafts->count, &drafts->capacity, draft_count, 512);
    uint16_t *route = grow(&drafts->routes, &drafts->route_count, &drafts->route_capacity, route_entries, 2048);
    ConvoyBlock *block = grow(&drafts->blocks, &drafts->block_count, &drafts->block_capacity, 1, 64);
    if (!draft || !route || !block) return false;
    *block = {army_index, first_draft, draft_count};
    // Each fleet's pair with this army, by the fleet's unit index, and the
    // provinces whose reach list has the army already.
    uint32_t pairs[MAX_UNITS];
    for (uint32_t &pair : pairs) pair = NO_PAIR;
    uint64_t reached[(MAX_PROVINCES + 63) / 64] = {};
    for (uint16_t r = 0; r < walk.route_count; r++) {
        const RouteSlot &slot = walk.slots[r];
        ProvinceState *landing = position->locations[slot.landing].province;
        if (landing == home) continue;
        uint16_t landing_province = position_province_index(position, landing);
        uint64_t province_bit = uint64_t{1} << (landing_province % 64);
        if (!(reached[landing_province / 64] & province_bit)) {
            reached[landing_province / 64] |= province_bit;
            add_reach(landing, army);
        }
        *draft++ = {convoy_draft_key(army_index, slot.landing, slot.fleet_count), route_at};
        uint64_t bit = uint64_t{1} << (slot.landing % 64);
        for (uint16_t f = 0; f < slot.fleet_count; f++) {
            uint16_t sea = slot.fleets[f];
            route[f] = sea;
            const Unit *fleet = position->provinces[sea].unit;
            if (!fleet) continue;
            uint16_t fleet_index = position_own_unit_index(position, fleet);
            if (pairs[fleet_index] == NO_PAIR &&
                (pairs[fleet_index] = pair_of(drafts, fleet_index, army_index)) == NO_PAIR)
                return false;
            drafts->pairs[pairs[fleet_index]].landings[slot.landing / 64] |= bit;
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
        Unit *army = coast->unit;
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
        for (uint16_t v = 0; v < position->unit_count; v++) walk.on_path[v] = false;
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
    for (uint16_t r = 0, length = convoy_draft_route_length(a); r < length; r++)
        if (x[r] != y[r]) return x[r] < y[r] ? -1 : 1;
    return 0;
}

}  // namespace

void convoy_drafts_init(ConvoyDrafts *drafts) {
    *drafts = ConvoyDrafts{};
    for (uint32_t &first : drafts->first_pair) first = NO_PAIR;
}

namespace {

// Puts the blocks in army order, keeping the walks' order within an army.
// Blocks are one per army and walk, a few dozen on real boards, so an
// insertion sort does.
void order_blocks(ConvoyBlock *blocks, uint32_t count) {
    for (uint32_t i = 1; i < count; i++) {
        ConvoyBlock block = blocks[i];
        uint32_t j = i;
        for (; j > 0 && block.army < blocks[j - 1].army; j--) blocks[j] = blocks[j - 1];
        blocks[j] = block;
    }
}

}  // namespace

// By key, then by route among equal keys; each move once.  The walks made
// the drafts in blocks of one army each: the blocks are gathered in army
// order and each army's drafts are sorted on their own, as plain 64-bit
// numbers (key above the route's place, so keys compare first); drafts
// with equal keys are then put in route order as they are copied back.
int convoy_drafts_sort(ConvoyDrafts *drafts) {
    uint32_t count = drafts->count;
    if (count < 2) return 1;
    auto *packed = static_cast<uint64_t *>(mem_alloc(sizeof(uint64_t) * count));
    if (!packed) return 0;
    ConvoyDraft *items = drafts->drafts;
    order_blocks(drafts->blocks, drafts->block_count);
    uint32_t filled = 0, army_start = 0;
    for (uint32_t b = 0; b < drafts->block_count; b++) {
        const ConvoyBlock &block = drafts->blocks[b];
        if (b > 0 && block.army != drafts->blocks[b - 1].army) {
            std::sort(packed + army_start, packed + filled);
            army_start = filled;
        }
        for (uint32_t d = block.first; d < block.first + block.count; d++)
            packed[filled++] = uint64_t{items[d].key} << 32 | items[d].route_at;
    }
    std::sort(packed + army_start, packed + filled);
    // Back into the drafts, each once; a draft whose key equals the last
    // one's (rare on real boards) goes to its place by route within the
    // run of that key.
    const uint16_t *routes = drafts->routes;
    uint32_t kept = 0, run_start = 0;
    for (uint32_t d = 0; d < count; d++) {
        ConvoyDraft item = {static_cast<uint32_t>(packed[d] >> 32), static_cast<uint32_t>(packed[d])};
        if (kept == 0 || item.key != items[kept - 1].key) {
            run_start = kept;
            items[kept++] = item;
            continue;
        }
        // Bisected, so that the long runs a hostile board can make stay cheap.
        ConvoyDraft *place = std::upper_bound(items + run_start, items + kept, item,
                                              [routes](const ConvoyDraft &a, const ConvoyDraft &b) {
                                                  return compare_routes(routes, a, b) < 0;
                                              });
        if (place > items + run_start && compare_routes(routes, item, place[-1]) == 0) continue;
        std::copy_backward(place, items + kept, items + kept + 1);
        *place = item;
        kept++;
    }
    mem_release(packed);
    drafts->count = kept;
    return 1;
}

void convoy_drafts_release(ConvoyDrafts *drafts) {
    mem_release(drafts->drafts);
    mem_release(drafts->routes);
    mem_release(drafts->pairs);
    mem_release(drafts->blocks);
    convoy_drafts_init(drafts);
}

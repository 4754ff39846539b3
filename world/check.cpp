// Checking the invariants of Maps and Positions.  Each check walks the
// record once; the first broken invariant is described in a per-thread
// buffer.
#include "world/check.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include "world/map.h"
#include "world/position.h"
#include "world/season.h"

namespace {

thread_local char failure[200];

__attribute__((format(printf, 1, 2))) const char *broken(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(failure, sizeof failure, format, arguments);
    va_end(arguments);
    return failure;
}

// ---------------------------------------------------------------------------
// Map
// ---------------------------------------------------------------------------

const char *check_province(const Map *map, uint16_t i) {
    const Province &province = map->provinces[i];
    if (province.terrain > (TERRAIN_LAND | TERRAIN_WATER)) return broken("province %u: terrain %u", i, province.terrain);
    if (province.neighbour_count > MAX_ADJACENT) return broken("province %u: %u neighbours", i, province.neighbour_count);
    for (uint16_t n = 0; n < province.neighbour_count; n++) {
        const Province *other = province.neighbours[n].province;
        if (other < map->provinces || other >= map->provinces + map->province_count)
            return broken("province %u: neighbour %u outside the Map", i, n);
    }
    switch (province.centre_kind) {
    case CENTRE_NONE:
        return nullptr;
    case CENTRE_NEUTRAL:
        if (province.home_power != map->power_count) return broken("province %u: neutral centre with a home power", i);
        return nullptr;
    case CENTRE_HOME:
        if (province.home_power >= map->power_count) return broken("province %u: home of no power", i);
        return nullptr;
    default:
        return broken("province %u: centre kind %u", i, province.centre_kind);
    }
}

const char *check_location(const Map *map, uint16_t l) {
    const Location &location = map->locations[l];
    if (location.index != l) return broken("location %u: index %u", l, location.index);
    if (location.province < map->provinces || location.province >= map->provinces + map->province_count)
        return broken("location %u: province outside the Map", l);
    uint16_t province = map_province_index(map, location.province);
    if (map_find_location(map, province, location.coast) != &location)
        return broken("location %u: (province %u, coast %u) finds another Location", l, province, location.coast);
    if (location.adjacent_count > MAX_ADJACENT) return broken("location %u: %u adjacent", l, location.adjacent_count);
    for (uint16_t a = 0; a < location.adjacent_count; a++) {
        const Location *adjacent = location.adjacent[a];
        if (adjacent < map->locations || adjacent >= map->locations + map->location_count)
            return broken("location %u: adjacent %u outside the Map", l, a);
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// Position
// ---------------------------------------------------------------------------

// The owner the CentreTable gives a province: the last power, in power
// order, whose list names it; power_count when none does.
uint16_t listed_owner(const Position *position, uint16_t province) {
    const Map *map = position->map;
    uint16_t owner = map->power_count;
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        for (uint16_t c = 0; list && c < list->count; c++)
            if (list->provinces[c] == province) owner = p;
    }
    return owner;
}

const char *check_province_state(const Position *position, uint16_t i) {
    const Map *map = position->map;
    const ProvinceState &province = position->provinces[i];
    if (province.province != &map->provinces[i]) return broken("province %u: not the Map's province", i);
    if (province.reach_count > MAX_UNITS || province.direct_reach_count > province.reach_count)
        return broken("province %u: reach counts %u and %u", i, province.reach_count, province.direct_reach_count);
    for (uint16_t r = 0; r < province.reach_count; r++) {
        if (!position_owns_unit(position, province.reach[r])) return broken("province %u: reach %u not a Unit here", i, r);
        for (uint16_t s = 0; s < r; s++)
            if (province.reach[s] == province.reach[r]) return broken("province %u: unit in reach twice", i);
    }
    const Unit *standing = province.unit;
    if (standing && (!position_owns_unit(position, standing) || standing->dislodged || !standing->location ||
                     standing->location->province != &province))
        return broken("province %u: its unit does not stand there", i);
    const Unit *dislodged = province.dislodged_unit;
    if (dislodged && (!position_owns_unit(position, dislodged) || !dislodged->dislodged || !dislodged->location ||
                      dislodged->location->province != &province))
        return broken("province %u: its dislodged unit is not dislodged there", i);
    if (province.owner != listed_owner(position, i))
        return broken("province %u: owner %u, the centre lists say %u", i, province.owner, listed_owner(position, i));
    return nullptr;
}

const char *check_location_state(const Position *position, uint16_t l) {
    const Map *map = position->map;
    const LocationState &location = position->locations[l];
    const Location &source = map->locations[l];
    if (location.location != &source) return broken("location %u: not the Map's Location", l);
    if (location.province != &position->provinces[map_province_index(map, source.province)])
        return broken("location %u: in the wrong province", l);
    if (location.coast != source.coast) return broken("location %u: coast %u, the Map's %u", l, location.coast, source.coast);
    return nullptr;
}

const char *check_order(const Position *position, uint16_t u, const Order *order) {
    if (order->target && !position_owns_location(position, order->target))
        return broken("unit %u: a candidate's target is not a location here", u);
    if (order->other_unit && !position_owns_unit(position, order->other_unit))
        return broken("unit %u: a candidate's other unit is not a Unit here", u);
    if (order->route_length > MAX_ROUTE) return broken("unit %u: a route of %u fleets", u, order->route_length);
    for (uint16_t r = 0; r < order->route_length; r++)
        if (!position_owns_province(position, order->route[r]))
            return broken("unit %u: a route entry is not a province here", u);
    return nullptr;
}

// Sorted, counted right, linked from first to last, every reference inside.
const char *check_candidates(const Position *position, uint16_t u) {
    const LumAvlTree &set = position->units[u]->candidates;
    if (set.node_offset != offsetof(Order, node)) return broken("unit %u: candidate set with node offset %u", u, set.node_offset);
    if (!set.root) {
        if (set.first || set.last || set.count) return broken("unit %u: empty candidate set with items", u);
        return nullptr;
    }
    auto *tree = const_cast<LumAvlTree *>(&set);
    const Order *previous = nullptr;
    uint32_t walked = 0;
    for (void *item = LUM_AVL_ITEM(tree, tree->first); item; item = lum_avl_next(tree, &static_cast<Order *>(item)->node)) {
        const Order *order = static_cast<const Order *>(item);
        if (++walked > set.count) return broken("unit %u: more candidates than counted (%u)", u, set.count);
        if (previous && set.compare(previous, order) >= 0) return broken("unit %u: candidates out of order", u);
        if (const char *why = check_order(position, u, order)) return why;
        previous = order;
    }
    if (walked != set.count) return broken("unit %u: %u candidates, counted %u", u, walked, set.count);
    if (previous != LUM_AVL_ITEM(tree, tree->last)) return broken("unit %u: the last candidate is not the set's last", u);
    return nullptr;
}

// A build slot has no location; slots follow every unit that stands
// somewhere, and only a Position built as winter has them.
const char *check_unit(const Position *position, uint16_t u, bool winter, bool *slots_seen) {
    const Unit *unit = position->units[u];
    if (!unit || position_unit_index(position, unit) != u) return broken("unit %u: not the Position's Unit %u", u, u);
    if (unit->power >= position->map->power_count) return broken("unit %u: power %u", u, unit->power);
    if (!unit->location) {
        if (!winter) return broken("unit %u: a build slot outside winter", u);
        if (unit->dislodged) return broken("unit %u: a dislodged build slot", u);
        *slots_seen = true;
        return check_candidates(position, u);
    }
    if (*slots_seen) return broken("unit %u: stands somewhere after a build slot", u);
    if (!position_owns_location(position, unit->location)) return broken("unit %u: location not here", u);
    const ProvinceState *province = unit->location->province;
    if (!(unit->dislodged ? province->dislodged_unit : province->unit))
        return broken("unit %u: its province records no unit", u);
    return check_candidates(position, u);
}

// Slots that did not all fit were dealt one at a time in power order: a
// power left short has at least as many as any power after it, and at
// most one fewer than any power before it.
const char *check_dealt_slots(const Position *position, const uint16_t slots[MAX_POWERS]) {
    const Map *map = position->map;
    for (uint16_t p = 0; p < map->power_count; p++) {
        if (position->adjustment[p] <= 0 || slots[p] >= position->adjustment[p]) continue;
        for (uint16_t q = 0; q < map->power_count; q++) {
            int most = q < p ? slots[p] + 1 : slots[p];
            if (slots[q] > most)
                return broken("power %u: %u build slots while power %u, %d builds due, has %u", q, slots[q], p,
                              position->adjustment[p], slots[p]);
        }
    }
    return nullptr;
}

// Units per power, and in winter each power's adjustment and build slots.
const char *check_counts(const Position *position, bool winter) {
    const Map *map = position->map;
    uint16_t standing[MAX_POWERS] = {};
    uint16_t slots[MAX_POWERS] = {};
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        (unit->location ? standing : slots)[unit->power]++;
    }
    for (uint16_t p = 0; p < map->power_count; p++) {
        if (position->unit_counts[p] != standing[p])
            return broken("power %u: %u units counted, %u stand", p, position->unit_counts[p], standing[p]);
        if (!winter) continue;
        const CentreList *list = position->centres->lists[p];
        int due = (list ? list->count : 0) - standing[p];
        if (position->adjustment[p] != static_cast<int16_t>(due))
            return broken("power %u: adjustment %d, %d due", p, position->adjustment[p], due);
        int wanted = due > 0 ? due : 0;
        bool full = position->unit_count == MAX_UNITS;
        if (slots[p] > wanted || (!full && slots[p] != wanted))
            return broken("power %u: %u build slots, %d builds due", p, slots[p], due);
    }
    return winter ? check_dealt_slots(position, slots) : nullptr;
}

}  // namespace

const char *map_check(const Map *map) {
    if (!map) return "no Map";
    if (map->province_count > MAX_PROVINCES || map->power_count > MAX_POWERS || map->location_count > MAX_LOCATIONS)
        return broken("counts %u provinces, %u powers, %u locations", map->province_count, map->power_count,
                      map->location_count);
    uint16_t centres = 0;
    for (uint16_t i = 0; i < map->province_count; i++) {
        if (const char *why = check_province(map, i)) return why;
        centres += map->provinces[i].centre_kind != CENTRE_NONE;
        if ((map->provinces[i].terrain & TERRAIN_LAND) && !map_find_location(map, i, COAST_ARMY))
            return broken("province %u: land without an army location", i);
    }
    if (centres != map->centre_count) return broken("%u centres counted, %u marked", map->centre_count, centres);
    for (uint16_t l = 0; l < map->location_count; l++)
        if (const char *why = check_location(map, l)) return why;
    return nullptr;
}

const char *position_check(const Position *position) {
    if (!position || !position->map || !position->centres) return "no Position, Map or CentreTable";
    if (position->unit_count > MAX_UNITS) return broken("%u units", position->unit_count);
    const Map *map = position->map;
    // Units first: the province checks follow their locations.  A season
    // word that is no season builds as winter.
    Phase phase = season_phase(position->season);
    bool winter = phase == Phase::ADJUSTMENTS || phase == Phase::NONE;
    bool slots_seen = false;
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (const char *why = check_unit(position, u, winter, &slots_seen)) return why;
    for (uint16_t i = 0; i < map->province_count; i++)
        if (const char *why = check_province_state(position, i)) return why;
    for (uint16_t l = 0; l < map->location_count; l++)
        if (const char *why = check_location_state(position, l)) return why;
    return check_counts(position, winter);
}

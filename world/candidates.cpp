// Generating candidate orders: movement (hold, move, support), retreat
// (retreat, disband), removal (remove, hold) and build (waive, build).
#include "world/candidates.h"

#include <functional>

#include "common/memory.h"
#include "world/convoy.h"
#include "world/map.h"
#include "world/order.h"
#include "world/position.h"

namespace {

// Links a filled Order into a set.  The tree requires the node's links
// cleared and its two 16-bit fields at -1 before insertion.
void link_order(LumAvlTree *set, Order *order) {
    order->node.left = order->node.right = order->node.parent = nullptr;
    order->node.height = order->node.spare = -1;
    lum_avl_insert(set, &order->node);
}

}  // namespace

int add_candidate(Position *position, LumAvlTree *set, uint16_t token, LocationState *target,
                  Unit *other_unit, uint16_t route_length, ProvinceState *const *route) {
    Order *order = position_new_orders(position, 1);
    if (!order) return 0;
    order_set(order, token, target, other_unit);
    if (route_length > MAX_ROUTE) route_length = MAX_ROUTE;
    order->route_length = route_length;
    for (uint16_t r = 0; r < route_length; r++) order->route[r] = route[r];
    // A record sorting after the set's last one cannot be in the set; any
    // other is looked up first so that the record added first stays.
    const Order *last = static_cast<const Order *>(LUM_AVL_ITEM(set, set->last));
    if ((!last || order_compare(order, last) <= 0) && lum_avl_find(set, order)) {
        position_return_orders(position, 1);
        return 1;
    }
    link_order(set, order);
    return 1;
}

namespace {

// Each province's reach list sorted by unit (the order supports to move
// take in a set): the list itself when convoys added nothing to it, since
// its direct entries are in unit order, else a sorted copy.
struct SortedReach {
    Unit *const *units[MAX_PROVINCES];
    Unit **copies;  // the build's scratch for the copies
};

// Inserts a reference into a short array kept sorted by address, unless it
// is there already.  References into one array order like their indices.
template <typename T>
void insert_unique(T **items, int *count, T *item) {
    for (int i = 0; i < *count; i++)
        if (items[i] == item) return;
    int at = (*count)++;
    for (; at > 0 && std::less<T *>()(item, items[at - 1]); at--) items[at] = items[at - 1];
    items[at] = item;
}

int sorted_reach_build(Position *position, SortedReach *sorted) {
    uint16_t province_count = position->map->province_count;
    uint32_t extra = 0;
    for (uint16_t i = 0; i < province_count; i++) {
        const ProvinceState &province = position->provinces[i];
        sorted->units[i] = province.reach;
        if (province.reach_count > province.direct_reach_count) extra += province.reach_count;
    }
    sorted->copies = nullptr;
    if (!extra) return 1;
    sorted->copies = static_cast<Unit **>(mem_alloc(sizeof(Unit *) * extra));
    if (!sorted->copies) return 0;
    Unit **next = sorted->copies;
    for (uint16_t i = 0; i < province_count; i++) {
        ProvinceState &province = position->provinces[i];
        if (province.reach_count == province.direct_reach_count) continue;
        int count = 0;
        for (uint16_t r = 0; r < province.reach_count; r++) insert_unique(next, &count, province.reach[r]);
        sorted->units[i] = next;
        next += count;
    }
    return 1;
}

// Hold, moves, supports to hold, supports to move: the token order, and
// each group is built in ascending order, so every candidate goes straight
// to the end of the set (every convoy candidate sorts before them).
// Support to move is offered once per run of consecutive adjacency entries
// into the same province, with the first entry of the run as target; a
// province that comes back later in the list is offered again (the same
// location twice gives the same supports once).
int add_movement_candidates(Position *position, Unit *unit, const SortedReach &reach) {
    LocationState *moves[MAX_ADJACENT];
    Unit *held[MAX_ADJACENT];
    LocationState *support_targets[MAX_ADJACENT];
    int move_count = 0, held_count = 0, target_count = 0;
    const Location *here = unit->location->location;
    const ProvinceState *previous = nullptr;
    for (uint16_t a = 0; a < here->adjacent_count; a++) {
        LocationState *target = &position->locations[here->adjacent[a]->index];
        ProvinceState *province = target->province;
        insert_unique(moves, &move_count, target);
        if (province->unit) insert_unique(held, &held_count, province->unit);
        if (province != previous) insert_unique(support_targets, &target_count, target);
        previous = province;
    }
    uint32_t total = 1u + move_count + held_count;
    for (int t = 0; t < target_count; t++) total += support_targets[t]->province->reach_count;
    Order *orders = position_new_orders(position, total);
    if (!orders) return 0;
    Order *next = orders;
    LumAvlTree *set = &unit->candidates;
    auto append = [set, &next](uint16_t token, LocationState *target, Unit *other) {
        order_set(next, token, target, other);
        link_order(set, next++);
    };
    append(ORD_HOLD, nullptr, nullptr);
    for (int m = 0; m < move_count; m++) append(ORD_MOVE, moves[m], nullptr);
    for (int h = 0; h < held_count; h++) append(ORD_SUPPORT, nullptr, held[h]);
    for (int t = 0; t < target_count; t++) {
        LocationState *target = support_targets[t];
        const ProvinceState *province = target->province;
        Unit *const *others = reach.units[position_province_index(position, province)];
        for (uint16_t r = 0; r < province->reach_count; r++)
            if (others[r] != unit) append(ORD_SUPPORT, target, others[r]);
    }
    position_return_orders(position, total - static_cast<uint32_t>(next - orders));
    return 1;
}

// An army's convoyed moves, sorted and unique; `next` is the first draft
// not yet used and moves past them.
int add_convoyed_moves(Position *position, uint16_t unit_index, const ConvoyDrafts &drafts, uint32_t *next) {
    uint32_t first = *next;
    while (*next < drafts.count && convoy_draft_unit(drafts.drafts[*next]) == unit_index) ++*next;
    if (*next == first) return 1;
    Order *order = position_new_orders(position, *next - first);
    if (!order) return 0;
    Unit *army = position->units[unit_index];
    for (uint32_t d = first; d < *next; d++, order++) {
        const ConvoyDraft &draft = drafts.drafts[d];
        uint16_t length = convoy_draft_route_length(draft);
        order_set(order, ORD_CONVOY_MOVE, &position->locations[convoy_draft_landing(draft)], nullptr);
        order->route_length = length;
        const uint16_t *route = drafts.routes + draft.route_at;
        for (uint16_t r = 0; r < length; r++) order->route[r] = &position->provinces[route[r]];
        link_order(&army->candidates, order);
    }
    return 1;
}

// A fleet's convoy orders, by landing and then by army: its pairs are
// chained in army order, so each landing's bit is looked up in every pair.
int add_convoys(Position *position, uint16_t unit_index, const ConvoyDrafts &drafts) {
    uint32_t first = drafts.first_pair[unit_index];
    if (first == NO_PAIR) return 1;
    uint32_t total = 0;
    uint64_t any[LANDING_WORDS] = {};
    for (uint32_t p = first; p != NO_PAIR; p = drafts.pairs[p].next) {
        for (int w = 0; w < LANDING_WORDS; w++) {
            any[w] |= drafts.pairs[p].landings[w];
            for (uint64_t bits = drafts.pairs[p].landings[w]; bits; bits &= bits - 1) total++;
        }
    }
    Order *order = position_new_orders(position, total);
    if (!order) return 0;
    Unit *fleet = position->units[unit_index];
    for (int w = 0; w < LANDING_WORDS; w++) {
        for (uint64_t bits = any[w]; bits; bits &= bits - 1) {
            int bit = __builtin_ctzll(bits);
            LocationState *landing = &position->locations[w * 64 + bit];
            for (uint32_t p = first; p != NO_PAIR; p = drafts.pairs[p].next) {
                if (!((drafts.pairs[p].landings[w] >> bit) & 1)) continue;
                order_set(order, ORD_CONVOY, landing, position->units[drafts.pairs[p].army]);
                link_order(&fleet->candidates, order++);
            }
        }
    }
    return 1;
}

}  // namespace

// One walk finds the convoy routes and extends the reach lists before any
// support is offered; the convoy drafts, sorted, then go to each unit ahead
// of its movement candidates.
int add_movement_phase_candidates(Position *position) {
    ConvoyDrafts drafts;
    convoy_drafts_init(&drafts);
    SortedReach reach;
    reach.copies = nullptr;
    int ok = find_convoy_routes(position, &drafts) && convoy_drafts_sort(&drafts) &&
             sorted_reach_build(position, &reach);
    uint32_t next = 0;
    for (uint16_t u = 0; ok && u < position->unit_count; u++)
        ok = add_convoyed_moves(position, u, drafts, &next) && add_convoys(position, u, drafts) &&
             add_movement_candidates(position, position->units[u], reach);
    convoy_drafts_release(&drafts);
    mem_release(reach.copies);
    return ok;
}

int add_retreat_candidates(Position *position, LocationState *const *targets, uint16_t target_count,
                           LumAvlTree *set) {
    for (uint16_t t = 0; t < target_count; t++)
        if (!add_candidate(position, set, ORD_RETREAT, targets[t], nullptr)) return 0;
    return add_candidate(position, set, ORD_DISBAND, nullptr, nullptr);
}

int add_removal_candidates(Position *position, uint16_t power) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        if (unit->power != power) continue;
        if (!add_candidate(position, &unit->candidates, ORD_REMOVE, nullptr, nullptr) ||
            !add_candidate(position, &unit->candidates, ORD_HOLD, nullptr, nullptr))
            return 0;
    }
    return 1;
}

// Every location of an empty home centre that the power owns is offered,
// its army location and its fleet locations alike.
int add_build_candidates(Position *position, LumAvlTree *set, uint16_t power) {
    if (!add_candidate(position, set, ORD_WAIVE, nullptr, nullptr)) return 0;
    uint16_t location_count = position->map->location_count;
    for (uint16_t l = 0; l < location_count; l++) {
        LocationState *location = &position->locations[l];
        const ProvinceState *province = location->province;
        if (province->unit || province->owner != power) continue;
        if (province->province->home_power != power) continue;
        if (!add_candidate(position, set, ORD_BUILD, location, nullptr)) return 0;
    }
    return 1;
}

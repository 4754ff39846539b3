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

// What one unit's hold, move and support candidates are made from, each
// list sorted and unique: the locations it moves to, the units standing
// next to it (supports to hold) and the locations it supports moves into.
// Support to move is offered once per run of consecutive adjacency entries
// into the same province, with the first entry of the run as target; a
// province that comes back later in the list is offered again (the same
// location twice gives the same supports once).
struct MovementPlan {
    LocationState *moves[MAX_ADJACENT];
    Unit *held[MAX_ADJACENT];
    LocationState *support_targets[MAX_ADJACENT];
    int move_count = 0, held_count = 0, target_count = 0;
    uint32_t most = 0;  // the candidates it can give at most
};

// A set of indices below 64 * WORDS as bits, read back in ascending order.
template <int WORDS>
struct IndexBits {
    uint64_t words[WORDS] = {};
    void add(uint16_t index) { words[index / 64] |= uint64_t{1} << (index % 64); }
    // Writes base + index for every index, ascending; returns how many.
    template <typename T>
    int write(T *base, T **out) const {
        int count = 0;
        for (int w = 0; w < WORDS; w++)
            for (uint64_t bits = words[w]; bits; bits &= bits - 1) out[count++] = base + (w * 64 + __builtin_ctzll(bits));
        return count;
    }
};

// Locations and Units are gathered as index bits: references into one
// array order like their indices, so reading the bits back gives each list
// sorted and unique.
void plan_movement(Position *position, const Unit *unit, MovementPlan *plan) {
    const Location *here = unit->location->location;
    const ProvinceState *previous = nullptr;
    IndexBits<(MAX_LOCATIONS + 63) / 64> moves, targets;
    IndexBits<(MAX_UNITS + 63) / 64> held;
    Unit *first_unit = position->units[0];
    for (uint16_t a = 0; a < here->adjacent_count; a++) {
        uint16_t index = here->adjacent[a]->index;
        ProvinceState *province = position->locations[index].province;
        moves.add(index);
        if (province->unit) held.add(static_cast<uint16_t>(province->unit - first_unit));
        if (province != previous) targets.add(index);
        previous = province;
    }
    plan->move_count = moves.write(position->locations, plan->moves);
    plan->held_count = held.write(first_unit, plan->held);
    plan->target_count = targets.write(position->locations, plan->support_targets);
    plan->most = 1u + plan->move_count + plan->held_count;
    for (int t = 0; t < plan->target_count; t++) plan->most += plan->support_targets[t]->province->reach_count;
}

// Hold, moves, supports to hold, supports to move: the token order, and
// each group in ascending order, so the Orders come out sorted.  Returns
// the number written at `out`.
uint32_t write_movement(Position *position, Unit *unit, const MovementPlan &plan, const SortedReach &reach,
                        Order *out) {
    Order *next = out;
    order_set(next++, ORD_HOLD, nullptr, nullptr);
    for (int m = 0; m < plan.move_count; m++) order_set(next++, ORD_MOVE, plan.moves[m], nullptr);
    for (int h = 0; h < plan.held_count; h++) order_set(next++, ORD_SUPPORT, nullptr, plan.held[h]);
    for (int t = 0; t < plan.target_count; t++) {
        LocationState *target = plan.support_targets[t];
        const ProvinceState *province = target->province;
        Unit *const *others = reach.units[position_province_index(position, province)];
        for (uint16_t r = 0; r < province->reach_count; r++)
            if (others[r] != unit) order_set(next++, ORD_SUPPORT, target, others[r]);
    }
    return static_cast<uint32_t>(next - out);
}

// An army's convoyed moves, sorted and unique: the drafts from `first`
// that belong to the unit; `*end` is set past them.
uint32_t convoyed_move_count(uint16_t unit_index, const ConvoyDrafts &drafts, uint32_t first, uint32_t *end) {
    uint32_t next = first;
    while (next < drafts.count && convoy_draft_unit(drafts.drafts[next]) == unit_index) next++;
    *end = next;
    return next - first;
}

uint32_t write_convoyed_moves(Position *position, const ConvoyDrafts &drafts, uint32_t first, uint32_t end,
                              Order *out) {
    for (uint32_t d = first; d < end; d++, out++) {
        const ConvoyDraft &draft = drafts.drafts[d];
        uint16_t length = convoy_draft_route_length(draft);
        order_set(out, ORD_CONVOY_MOVE, &position->locations[convoy_draft_landing(draft)], nullptr);
        out->route_length = length;
        const uint16_t *route = drafts.routes + draft.route_at;
        for (uint16_t r = 0; r < length; r++) out->route[r] = &position->provinces[route[r]];
    }
    return end - first;
}

// A fleet's convoy orders: one per pair and landing.
uint32_t convoy_count(uint16_t unit_index, const ConvoyDrafts &drafts) {
    uint32_t total = 0;
    for (uint32_t p = drafts.first_pair[unit_index]; p != NO_PAIR; p = drafts.pairs[p].next)
        for (int w = 0; w < LANDING_WORDS; w++)
            for (uint64_t bits = drafts.pairs[p].landings[w]; bits; bits &= bits - 1) total++;
    return total;
}

// A fleet's convoy orders, by landing and then by army: its pairs are
// chained in army order, so each landing's bit is looked up in every pair.
uint32_t write_convoys(Position *position, uint16_t unit_index, const ConvoyDrafts &drafts, Order *out) {
    uint32_t first = drafts.first_pair[unit_index];
    if (first == NO_PAIR) return 0;
    uint64_t any[LANDING_WORDS] = {};
    for (uint32_t p = first; p != NO_PAIR; p = drafts.pairs[p].next)
        for (int w = 0; w < LANDING_WORDS; w++) any[w] |= drafts.pairs[p].landings[w];
    Order *next = out;
    for (int w = 0; w < LANDING_WORDS; w++) {
        for (uint64_t bits = any[w]; bits; bits &= bits - 1) {
            int bit = __builtin_ctzll(bits);
            LocationState *landing = &position->locations[w * 64 + bit];
            for (uint32_t p = first; p != NO_PAIR; p = drafts.pairs[p].next) {
                if (!((drafts.pairs[p].landings[w] >> bit) & 1)) continue;
                order_set(next++, ORD_CONVOY, landing, position->units[drafts.pairs[p].army]);
            }
        }
    }
    return static_cast<uint32_t>(next - out);
}

static_assert(ORD_CONVOY_MOVE < ORD_CONVOY && ORD_CONVOY < ORD_HOLD && ORD_HOLD < ORD_MOVE && ORD_MOVE < ORD_SUPPORT,
              "a unit's candidates are written in token order");

// One unit's whole set in one array, written in ascending order (convoyed
// moves, convoys, then hold, moves and supports) and linked at once.
// `next_draft` is the first convoyed move not yet used and moves past the
// unit's own.
int add_unit_movement_candidates(Position *position, uint16_t unit_index, const ConvoyDrafts &drafts,
                                 const SortedReach &reach, uint32_t *next_draft) {
    Unit *unit = position->units[unit_index];
    MovementPlan plan;
    plan_movement(position, unit, &plan);
    uint32_t drafts_end;
    uint32_t most = convoyed_move_count(unit_index, drafts, *next_draft, &drafts_end) +
                    convoy_count(unit_index, drafts) + plan.most;
    Order *orders = position_new_orders(position, most);
    if (!orders) return 0;
    uint32_t written = write_convoyed_moves(position, drafts, *next_draft, drafts_end, orders);
    *next_draft = drafts_end;
    written += write_convoys(position, unit_index, drafts, orders + written);
    written += write_movement(position, unit, plan, reach, orders + written);
    position_return_orders(position, most - written);
    order_set_link_sorted(&unit->candidates, orders, written);
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
        ok = add_unit_movement_candidates(position, u, drafts, reach, &next);
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

// Convoy routes: chains of fleets at sea that can carry an army from one
// coast to another, turned into reach entries and into drafts of the
// convoyed-move and convoy candidates.
#pragma once

#include <cstdint>

#include "brox.h"

// Finished routes kept per starting fleet; the next slot is the working route.
constexpr int MAX_ROUTE_SLOTS = 1024;

// A convoyed move found by a walk, before it becomes an Order.  Its key
// packs, from the highest bits down, the army's unit index, the landing's
// location index and the route length.  References are indices into the
// Position, so keys sort as the Orders will (Orders compare references by
// their place in the Position); moves with equal keys are then ordered by
// their routes.
struct ConvoyDraft {
    uint32_t key;
    uint32_t route_at;  // where its province indices start in the route pool
};

// Unit indices are below 128 (MAX_UNITS), location indices below 1024
// (MAX_LOCATIONS) and route lengths at most MAX_ROUTE.
constexpr uint32_t DRAFT_UNIT_SHIFT = 17;
constexpr uint32_t DRAFT_LANDING_SHIFT = 7;
static_assert(MAX_UNITS < 128 && MAX_LOCATIONS <= 1024 && MAX_ROUTE < 128, "convoy draft keys");

inline uint32_t convoy_draft_key(uint16_t army, uint16_t landing, uint16_t route_length) {
    return uint32_t{army} << DRAFT_UNIT_SHIFT | uint32_t{landing} << DRAFT_LANDING_SHIFT | route_length;
}
inline uint16_t convoy_draft_unit(const ConvoyDraft &draft) {
    return static_cast<uint16_t>(draft.key >> DRAFT_UNIT_SHIFT);
}
inline uint16_t convoy_draft_landing(const ConvoyDraft &draft) {
    return static_cast<uint16_t>((draft.key >> DRAFT_LANDING_SHIFT) & 0x3FF);
}
inline uint16_t convoy_draft_route_length(const ConvoyDraft &draft) {
    return static_cast<uint16_t>(draft.key & 0x7F);
}

// The convoy orders found for one fleet and one army: a bit per landing
// location.  A fleet's pairs are chained in army order.
constexpr int LANDING_WORDS = (MAX_LOCATIONS + 63) / 64;
constexpr uint32_t NO_PAIR = 0xFFFFFFFF;
struct ConvoyPair {
    uint16_t army;
    uint32_t next;  // the fleet's next pair, NO_PAIR after the last
    uint64_t landings[LANDING_WORDS];
};

// The drafts one walk made for one army: `count` drafts from `first` on.
struct ConvoyBlock {
    uint16_t army;
    uint32_t first;
    uint32_t count;
};

// What the walks of one Position build found: the convoyed moves with the
// route pool their routes lie in, and the convoy orders.  The arrays grow
// as needed; their memory is the build's scratch.
struct ConvoyDrafts {
    ConvoyDraft *drafts;
    uint32_t count;
    uint32_t capacity;
    uint16_t *routes;
    uint32_t route_count;
    uint32_t route_capacity;
    ConvoyPair *pairs;
    uint32_t pair_count;
    uint32_t pair_capacity;
    ConvoyBlock *blocks;  // in the order the walks made them
    uint32_t block_count;
    uint32_t block_capacity;
    uint32_t first_pair[MAX_UNITS];  // per fleet's unit index, NO_PAIR when none
};

// An empty record of drafts.
void convoy_drafts_init(ConvoyDrafts *drafts);

// Walks from every fleet at sea: adds the armies a route can land to the
// reach lists of their landing provinces, and records every convoyed move
// (unsorted, possibly repeated) and convoy order in `drafts`.  Returns 0
// when memory for the drafts runs out.
int find_convoy_routes(Position *position, ConvoyDrafts *drafts);

// Sorts the convoyed moves into candidate order (army first, then as
// Orders compare) and leaves each once.  Returns 0 when memory runs out.
int convoy_drafts_sort(ConvoyDrafts *drafts);

// Releases the drafts' memory.
void convoy_drafts_release(ConvoyDrafts *drafts);

// Appends a unit to a province's reach list unless it is already there.
void add_reach(ProvinceState *province, Unit *unit);

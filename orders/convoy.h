// Convoy routes: chains of fleets at sea that can carry an army from one
// coast to another, turned into reach entries and into drafts of the
// convoyed-move and convoy candidates.
#pragma once

#include <cstdint>

#include "brox.h"

// One route of a walk: the fleets' provinces, army side first, and where
// the army lands (the location the last fleet's adjacency names).
struct ConvoyRoute {
    uint16_t fleet_count;
    ProvinceState *fleets[MAX_ROUTE];
    LocationState *landing;
};

// Finished routes kept per starting fleet; the next slot is the working route.
constexpr int MAX_ROUTE_SLOTS = 1024;

// A convoy candidate found by a walk, before it becomes an Order.  Its key
// packs, from the highest bits down, the index of the unit it is for, its
// kind (0 convoyed move, 1 convoy), the landing's location index and the
// convoyed army's unit index (a convoy) or the route length (a convoyed
// move).  References are indices into the Position, so keys sort as the
// Orders will (Orders compare references by their place in the Position);
// convoyed moves with equal keys are then ordered by their routes.
struct ConvoyDraft {
    uint32_t key;
    uint32_t route_at;  // a convoyed move: where its province indices start in the route pool
};

// Unit indices are below 128 (MAX_UNITS), location indices below 1024
// (MAX_LOCATIONS) and route lengths at most MAX_ROUTE.
constexpr uint32_t DRAFT_UNIT_SHIFT = 18;
constexpr uint32_t DRAFT_KIND_SHIFT = 17;
constexpr uint32_t DRAFT_LANDING_SHIFT = 7;
static_assert(MAX_UNITS < 128 && MAX_LOCATIONS <= 1024 && MAX_ROUTE < 128, "convoy draft keys");

inline uint32_t convoy_draft_key(uint16_t unit, bool convoy, uint16_t landing, uint16_t army_or_length) {
    return uint32_t{unit} << DRAFT_UNIT_SHIFT | uint32_t{convoy} << DRAFT_KIND_SHIFT |
           uint32_t{landing} << DRAFT_LANDING_SHIFT | army_or_length;
}
inline uint16_t convoy_draft_unit(const ConvoyDraft &draft) {
    return static_cast<uint16_t>(draft.key >> DRAFT_UNIT_SHIFT);
}
inline bool convoy_draft_is_convoy(const ConvoyDraft &draft) { return (draft.key >> DRAFT_KIND_SHIFT) & 1; }
inline uint16_t convoy_draft_landing(const ConvoyDraft &draft) {
    return static_cast<uint16_t>((draft.key >> DRAFT_LANDING_SHIFT) & 0x3FF);
}
inline uint16_t convoy_draft_second(const ConvoyDraft &draft) { return static_cast<uint16_t>(draft.key & 0x7F); }

// The drafts of one Position build, with the route pool their routes lie
// in.  Both arrays grow as needed; their memory is the build's scratch.
struct ConvoyDrafts {
    ConvoyDraft *drafts;
    uint32_t count;
    uint32_t capacity;
    uint16_t *routes;
    uint32_t route_count;
    uint32_t route_capacity;
};

// Walks from every fleet at sea: adds the armies a route can land to the
// reach lists of their landing provinces, and records every convoyed move
// and convoy order in `drafts`, unsorted and possibly repeated.  Returns 0
// when memory for the drafts runs out.
int find_convoy_routes(Position *position, ConvoyDrafts *drafts);

// Sorts the drafts into candidate order (unit first, then as Orders
// compare) and leaves each draft once.  Returns 0 when memory runs out.
int convoy_drafts_sort(ConvoyDrafts *drafts);

// Releases the drafts' memory.
void convoy_drafts_release(ConvoyDrafts *drafts);

// Appends a unit to a province's reach list unless it is already there.
void add_reach(ProvinceState *province, Unit *unit);

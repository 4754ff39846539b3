// The Position: one phase of the game, built from a position message
// against a Map and a CentreTable, with every Unit placed and given its
// candidate orders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "world/map.h"
#include "world/position_message.h"

// Builds a Position from a MSG_POSITION message (world/position_message.h;
// the address of its type word; the message holds `length` bytes and may
// be written: open coasts are replaced by the coast chosen).  Requires a Map and a CentreTable
// built for it; retains the table.  Returns null when either is missing,
// when the message is too short for its header, or when memory runs out.
Position *position_build(Map *map, CentreTable *centres, uint8_t *message);

// The units per power that position_build would count in `unit_counts`
// for this message, without building anything.
void position_message_unit_counts(Map *map, const uint8_t *message, uint16_t counts[MAX_POWERS]);

// The coast chosen for a unit of `unit_type` whose coast (or retreat
// option's coast) is left open in province `province`.
uint16_t position_open_coast(const Map *map, uint16_t province, uint16_t unit_type);

// The index of the first LocationState in index order in province
// `province` whose coast equals `coast` in all 16 bits; NO_LOCATION if none.
uint16_t position_find_location_index(const Position *position, uint16_t province, uint16_t coast);

// That LocationState, or null: read-only in a const Position, writable in
// one being built or ordered.
inline const LocationState *position_find_location(const Position *position, uint16_t province, uint16_t coast) {
    uint16_t l = position_find_location_index(position, province, coast);
    return l == NO_LOCATION ? nullptr : &position->locations[l];
}
inline LocationState *position_find_location(Position *position, uint16_t province, uint16_t coast) {
    uint16_t l = position_find_location_index(position, province, coast);
    return l == NO_LOCATION ? nullptr : &position->locations[l];
}

// Fills every ProvinceState's reach list with the units that reach it by
// adjacency, in unit order, and sets direct_reach_count.
void position_build_reach(Position *position);

// `count` new Order records, one after the other, from the Position's own
// storage, uninitialised; null when memory runs out.  Orders are kept in
// chunks that go with the Position, so a build costs one allocation per
// chunk, not per candidate.
Order *position_new_orders(Position *position, uint32_t count);

// Gives back the last `count` Orders of the most recent request (those a
// caller did not need).
void position_return_orders(Position *position, uint32_t count);

// Empties one candidate set.  Its Orders stay in the Position's storage
// until the Position is freed.
void unit_candidates_clear(LumAvlTree *candidates);

// The index of a Unit in `position->units`, or NO_UNIT when the address is
// not one of the Position's own Units.
constexpr uint16_t NO_UNIT = 0xFFFF;
uint16_t position_unit_index(const Position *position, const Unit *unit);

// Whether a reference points at one of the Position's own records (a
// LocationState or ProvinceState the Map uses, a Unit): orders come from
// the bot, so only such references are followed.  Null is not owned.
bool position_owns_location(const Position *position, const LocationState *location);
bool position_owns_province(const Position *position, const ProvinceState *province);
bool position_owns_unit(const Position *position, const Unit *unit);

// The index of one of the Position's own Units: Units lie in the
// Position's block right after the record, in unit order.
inline uint16_t position_own_unit_index(const Position *position, const Unit *unit) {
    return static_cast<uint16_t>(unit - reinterpret_cast<const Unit *>(position + 1));
}

// The index of a ProvinceState or LocationState in its Position.
inline uint16_t position_province_index(const Position *position, const ProvinceState *state) {
    return static_cast<uint16_t>(state - position->provinces);
}
inline uint16_t position_location_index(const Position *position, const LocationState *state) {
    return static_cast<uint16_t>(state - position->locations);
}

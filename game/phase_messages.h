// The messages of a phase as the referee hands them out (the server sends
// them to bots): the position, with the retreat options of dislodged
// units, and the centre ownership.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"
#include "game/placement.h"
#include "game/retreat_options.h"
#include "world/centres_message.h"
#include "world/position_message.h"

constexpr size_t PHASE_POSITION_CAPACITY = position_message_size(MAX_UNITS);
constexpr size_t PHASE_CENTRES_CAPACITY = centres_message_size(MAX_PROVINCES);

// Writes the position message of a phase (from the type word) into `out`
// (PHASE_POSITION_CAPACITY bytes) and returns its size: one entry per unit
// that stands somewhere (winter build slots are left out), a dislodged one
// with places[u] as its retreat options (places may be null: none).  A
// unit's type follows its place: an army stands at COAST_ARMY, anything
// else is a fleet (a unit built at a fleet coast is a fleet).
size_t phase_position_message(const Map *map, const Placement *placement, const RetreatPlaces *places,
                              uint8_t *out);

// Writes the centre-ownership message (from the type word) into `out`
// (PHASE_CENTRES_CAPACITY bytes) and returns its size: one entry per
// supply centre of the Map, in province order, with its owner; an unowned
// centre under POWER_UNOWNED where the game has at most eleven powers, and
// left out where 11 is a power of the game.
size_t phase_centres_message(const Map *map, const CentreTable *centres, uint8_t *out);

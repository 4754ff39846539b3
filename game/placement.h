// Where the units of a phase stand, read from a Position or straight from
// the adjudicator's position message, so that the referee works out the
// retreats offered and the message bots receive before it builds the next
// Position, and builds it once.
#pragma once

#include <cstdint>

#include "brox.h"

struct PlacedUnit {
    uint16_t location;  // Map location index; NO_LOCATION for a winter build slot
    uint16_t power;
    uint32_t dislodged;  // as the Unit or the entry has it: non-zero when dislodged
};

// The units in unit order: those the Position holds, or those a Position
// built from the message would hold (entries naming a power or location
// the Map does not have left out, open coasts chosen, at most MAX_UNITS).
struct Placement {
    uint16_t season;
    uint16_t year;
    uint16_t count;
    PlacedUnit units[MAX_UNITS];
};

void placement_of_position(const Position *position, Placement *out);
// `message` is a position message of at least its header.
void placement_of_message(const Map *map, const uint8_t *message, Placement *out);

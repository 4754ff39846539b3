// The adjudicator: resolves one phase of a Position into the Position of
// the next phase, through a position message in the server's own format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// The working record of one unit during a call.  Each Unit's `result`
// holds the index of its record in the call's array.
struct UnitResult {
    uint16_t outcome;        // RES_ token, RES_SUCCESS at the start
    uint8_t support_count;   // valid supports received, less those cut
    uint32_t dislodged_flag; // 1 once a successful move dislodges the unit
};

// Each phase stores the next Position in *out, or null when memory ran out.
void adjudicate_movement(Position *position, Position **out);
void adjudicate_retreats(Position *position, Position **out);
void adjudicate_adjustments(Position *position, Position **out);

// The working records of every unit after resolving the phase's orders,
// without composing the next Position: `results` holds one record per unit
// of `position`.  The movement steps, and the retreat collisions.
void movement_results(Position *position, UnitResult *results);
void retreat_results(Position *position, UnitResult *results);

// The winter step: with *out built from `message` (whose season is
// winter), works out the new centre ownership from where the units of
// `position` stand, skips to spring of the next year when no power has
// anything to adjust, and rebuilds *out on the new table.  *out becomes null
// when memory runs out.
void prepare_winter(Position *position, uint8_t *message, Position **out);

// ---------------------------------------------------------------------------
// The next-position message
// ---------------------------------------------------------------------------

// A position message for up to `capacity` units, header and unset bytes
// cleared, type, flag, season and year set, no units yet.  Null when memory
// runs out; release with next_message_release.
uint8_t *next_message_create(uint16_t capacity, uint16_t season, uint16_t year);
void next_message_release(uint8_t *message);

// Appends one unit entry (no retreat options) and updates length and count.
void next_message_add_unit(uint8_t *message, const Position *position, const Unit *unit,
                           const LocationState *where, uint32_t dislodged);

// Builds the next Position from the message on the adjudicated Position's
// Map and CentreTable, runs the winter step when the message is a winter
// one, and releases the message.  Stores the result (or null) in *out.
void next_message_finish(Position *position, uint8_t *message, Position **out);

// Whether a LocationState / Unit belongs to `position`: orders come from the
// bot, so the adjudicator follows only references into its own Position.
bool position_owns_location(const Position *position, const LocationState *location);
bool position_owns_unit(const Position *position, const Unit *unit);

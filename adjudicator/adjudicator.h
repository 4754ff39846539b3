// The adjudicator: resolves one phase of a Position into the Position of
// the next phase, through a position message in the server's own format.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brox.h"

// The working record of one unit during a call, in an array that belongs
// to the call and is indexed like the Position's units.
struct UnitResult {
    uint16_t outcome;        // RES_ token, RES_SUCCESS at the start
    uint8_t support_count;   // valid supports received, less those cut
    uint32_t dislodged_flag; // 1 once a successful move dislodges the unit
};

// Each phase resolves the Units' chosen orders and returns the message of
// the next phase's position (release it with next_message_release), or
// null when memory runs out.
uint8_t *movement_next_message(const Position *position);
uint8_t *retreats_next_message(const Position *position);
uint8_t *adjustments_next_message(const Position *position);

// Whether every province of the army's convoyed-move route holds a fleet
// ordered to convoy that army to its very landing.  A convoyed move whose
// route fails this matches no order: it never leaves.
bool convoy_route_holds(const Position *position, const Unit *army);

// The working records of every unit after resolving the phase's orders,
// without composing the next Position: `results` holds one record per unit
// of `position`.  The movement steps, and the retreat collisions.
void movement_results(const Position *position, UnitResult *results);
void retreat_results(const Position *position, UnitResult *results);
// movement_next_message and movement_results from one resolution.
uint8_t *movement_next_message_results(const Position *position, UnitResult *results);

// The phase a season word starts, and its next-position message: null for
// a word that is not a season, or when memory runs out.
uint8_t *adjudicate_next_message(const Position *position);

// The next Position: built from `message` on the adjudicated Position's Map
// and CentreTable, then, for a winter message, the winter step.  Within one
// adjudicated Position, equal messages give equal Positions.  The message
// stays the caller's (the winter step may change its season and year).
// Null when memory runs out.
Position *next_position_build(const Position *position, uint8_t *message);

// The winter step, for a message whose season is winter: works out the new
// centre ownership from where the units of `position` stand, turns the
// message into spring of the next year when no power has anything to
// adjust, and returns the Position built from it on the new table (null
// when memory runs out).
Position *prepare_winter(const Position *position, uint8_t *message);

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


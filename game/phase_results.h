// What became of each order of one phase, as the game record words it:
// the adjudicator's outcome of every order, whether each unit was
// dislodged and by whom, and the retreats it is offered.
#pragma once

#include <cstdint>

#include "brox.h"
#include "game/retreat_options.h"

// The outcome of every order the Position's Units carry, before the
// Position is adjudicated: results[u].outcome (an OUTCOME_ word) and
// .resolution (the adjudicator's RES_ token); dislodged 0, dislodged_by
// REFEREE_NO_UNIT, no retreats; from_bot is left as it is.  Returns the
// number of units filled: all of them, or 0 for a season outside the five.
uint16_t phase_results_find(const Position *position, BroxOrderResult results[MAX_UNITS]);
// The same from the RES_ tokens the adjudicator already worked out
// (`resolutions`, `count` of them, by unit index); returns count.
uint16_t phase_results_word(const Position *position, const uint16_t *resolutions, uint16_t count,
                            BroxOrderResult results[MAX_UNITS]);

// Adds what the next Position tells after a movement phase (it lists the
// same units in the same order): who was dislodged, by whom, and the
// places offered to it (`places`, by unit index).  Nothing for any other
// phase, or when the two Positions do not list the same units.
void phase_results_add_next(BroxOrderResult results[MAX_UNITS], const Position *position, const Position *next,
                            const RetreatPlaces places[MAX_UNITS]);

// The OUTCOME_ word of unit u's order, given the RES_ tokens of every unit
// of the phase (`resolutions`, `count` of them):
// - spring and fall: hold HELD; move and convoyed move MOVED, BOUNCED or
//   NO_SUCH_ORDER; support SUPPORTED, CUT, NO_SUCH_ORDER or DISLODGED;
//   convoy CARRIED or NOT_CARRIED; a hold whose unit was dislodged
//   DISLODGED;
// - summer and autumn: RETREATED, BOUNCED (retreats into one province),
//   DISBANDED; a unit that was not dislodged HELD;
// - winter: BUILT, REMOVED, WAIVED, HELD.
uint16_t order_outcome(const Position *position, uint16_t unit, const uint16_t *resolutions, uint16_t count);

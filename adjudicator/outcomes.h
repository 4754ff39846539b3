// The outcome of every order of one phase as the adjudicator resolves it,
// for callers that report what happened (the local game server's record)
// rather than build the next Position.
#pragma once

#include <cstdint>

#include "brox.h"

// Writes the RES_ token of each unit's chosen order to outcomes[u], for the
// units of `position` in unit order (at most `capacity` of them), and
// returns how many were written:
// - spring and fall: RES_SUCCESS, RES_BOUNCE (a move that failed),
//   RES_CUT (a support cut), RES_NO_SUCH_ORDER (a support that matches
//   nothing, a convoyed move its route does not carry) or RES_DISLODGED (a
//   supporter overpowered, or a unit dislodged whose order otherwise
//   stood);
// - summer and autumn: RES_BOUNCE for retreats into one province,
//   RES_SUCCESS for everything else;
// - winter: RES_SUCCESS for every unit.
// A season outside the five writes nothing and returns 0.  Whether a unit
// was dislodged is read from the next Position (its `dislodged`), since a
// move that bounced keeps RES_BOUNCE when it is dislodged too.  The
// Position is only read.
uint16_t adjudicate_outcomes(const Position *position, uint16_t *outcomes, uint16_t capacity);

// The next-position message brox_adjudicate builds its Position from
// (release it with next_message_release; next_position_build turns it into
// the Position) and the outcomes adjudicate_outcomes writes, from one
// resolution of the phase: outcomes has room for MAX_UNITS, *count gets how
// many were written.  Null, with *count 0, for a season outside the five,
// too many units, or when memory runs out.
uint8_t *adjudicate_message_and_outcomes(const Position *position, uint16_t *outcomes, uint16_t *count);

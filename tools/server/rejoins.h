// Rejoins under the rejoin limits (limits.h): a rejoin request is held
// until the gates of the power it names and of the address it comes from
// are open, then weighed: accepted, it gives the bot its power back;
// refused, it is answered and the connection let go.  An accepted rejoin
// may complete the bots the game waits for: the caller then tries to start
// it (game_try_start).
#pragma once

#include <cstdint>

#include "tools/server/game_state.h"

// Weighs at once a rejoin naming a seat that has a secret
// (seat_secrets.h), outside the rejoin limits: the passcode alone never
// opens such a seat, so nothing can be found by trial, and the bot that
// carries the secret is taken back whatever others have sent.  Refused,
// it is answered and the connection let go.  False, with nothing done,
// when the seat it names has no secret (rejoin_take weighs it).
bool rejoin_by_secret(Game *game, uint32_t link, const uint8_t *record);
// Takes a rejoin request (a whole record of REJOIN_LENGTH message bytes)
// from a link without a power.  Holds it, and weighs it at once when its
// gates are open; when another rejoin for the same power is already held,
// the link is dropped without an answer ("rejoin-limit").
void rejoin_take(Game *game, uint32_t link, const uint8_t *record);
// Weighs every held rejoin whose gates are open at game->now_ms, oldest
// first.
void rejoin_release_due(Game *game);
// The earliest time at which a held rejoin's gates open, or -1.
int64_t rejoin_next_ms(const Game *game);
// Forgets every held rejoin, leaving their links CONNECTED (the game is
// over and they get its end messages).
void rejoin_forget_all(Game *game);

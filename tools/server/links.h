// The ends of bot links: dropping a link (with its line in the game record
// and the log), letting a bot go after telling it so, and the handshake
// time within which a new connection must come to play a power.
#pragma once

#include <cstdint>

#include "tools/server/game.h"

// Drops every link whose time is over: one that has not come to play a
// power within the handshake timeout, or one that was let go and has not
// closed its connection since.
void links_expire(Game *game);
// The earliest time at which a link's time is over, or -1.
int64_t links_next_expiry(const Game *game);

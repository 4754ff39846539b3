// The local game server's connections: a listening socket on loopback and
// a single-threaded poll loop that frames records in and out of every bot
// connection and hands each received record to the game.
#pragma once

#include <csignal>
#include <cstdint>
#include <string>

#include "tools/server/game_state.h"

// A listening TCP socket on 127.0.0.1; port 0 picks a free one.  Returns
// the socket and the port in *bound, or -1 with a reason in *error.
int net_listen(uint16_t port, uint16_t *bound, std::string *error);

// Raises the open-file limit so that `connections` connections fit, when
// the system allows it; false, with a reason in *error, when it does not.
bool net_reserve_descriptors(int connections, std::string *error);

// Serves the game until it is over and every bot that plays a power has
// gone (or has had a few seconds to go).  A non-zero *stop ends the game early.
void net_serve(Game *game, int listener, volatile std::sig_atomic_t *stop);

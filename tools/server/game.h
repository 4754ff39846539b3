// The course of one game on the local server: setting it up on the
// referee, opening each phase to the bots, resolving it when the orders
// are in or the deadline has passed, and ending it.  The links, rejoins,
// record and report below it are called from here, never the other way
// round.
#pragma once

#include <cstdint>
#include <string>

#include "tools/server/game_state.h"

// Sets up the game: the map (default, from the seed or from a folder), the
// referee on it, the seats, the output folder and the game record.
// Returns false, with a reason in *error, when any of these fails;
// game_release is still the caller's.
bool game_init(Game *game, const ServerOptions &options, std::string *error);
// game_init on a map generated beforehand, named `map_name`; the options'
// map choice is not read.  Lets a caller that sets up many games (the
// fuzz target) generate the map once.
bool game_init_on_map(Game *game, const ServerOptions &options, GeneratedMap generated,
                      const std::string &map_name, std::string *error);
// Frees the referee and closes the game record.
void game_release(Game *game);

// A new bot connection from `peer` ("address:port"); returns its link id,
// which may be that of a link closed before.  It must play a power within
// the handshake timeout; after the end it is told so and let go.
uint32_t game_link_open(Game *game, const std::string &peer = std::string());
// The connection of a link is gone: its power, if any, waits for a rejoin,
// and the phase is resolved if it waited for that bot alone.
void game_link_closed(Game *game, uint32_t link);
// Drops a link (link_drop: its line in the record and the log), then as
// game_link_closed.
void game_link_drop(Game *game, uint32_t link, const char *reason, const std::string &detail);

// Sets the clock; drops links whose handshake time is over, weighs held
// rejoins whose turn has come and resolves the phase when its deadline has
// passed.
void game_tick(Game *game, int64_t now_ms);
// Milliseconds until the game next needs a tick (a deadline, a link's
// handshake time, a held rejoin's turn), or -1.
int64_t game_wait_ms(const Game *game);

// Starts the first phase once enough bots are ready.
void game_try_start(Game *game);
// Resolves the phase when every power whose orders are awaited has sent
// them.  A power is awaited while its bot is connected; when no bot is
// connected at all, the phase waits for its deadline.
void game_resolve_when_complete(Game *game);
// Ends the game at once, as when the server is told to stop.
void game_stop(Game *game);

// Sends the current phase's centre ownership and position to one link.
void link_send_phase(Game *game, uint32_t link);

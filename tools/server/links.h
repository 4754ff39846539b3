// The bots' links: opening one for a new connection, the records waiting
// to go out to it, closing and dropping it (with its line in the game
// record and the log), letting a bot go after telling it so, and the
// handshake time within which a new connection must come to play a power.
// Closing a link never resolves a phase: the course of the game (game.h)
// does that after calling these.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/server/game_state.h"

// A new link from `peer` ("address:port"); returns its id, which may be
// that of a link closed before.  It must play a power within the
// handshake timeout.
uint32_t link_open(Game *game, const std::string &peer);

// Closes a link whose connection is gone and forgets its held rejoin.
// Returns the power whose bot it was, now without one (its seat is freed
// for a newcomer while the game has not started), or -1.
int link_close(Game *game, uint32_t link);

// Closes a link for `reason` (a short code: "closed", "malformed",
// "output-limit", ...), `detail` saying more: its line in the game record
// (while the game is on), a log line, then link_close.  Returns what
// link_close returns.
int link_drop(Game *game, uint32_t link, const char *reason, const std::string &detail);

// Appends a record to a link's outbox (nothing for a closed link).
void link_send(Game *game, uint32_t link, Record record);

// Tells the bot that its session is over (MSG_SESSION_END) and closes the
// link once that has gone out; `reason` and `detail` go to the record then.
void link_let_go(Game *game, uint32_t link, const char *reason, const std::string &detail);
// Closes the link once its outbox has gone out, without MSG_SESSION_END;
// `reason` and `detail` go to the record then.
void link_close_when_sent(Game *game, uint32_t link, const char *reason, const std::string &detail);

// Drops every link whose time is over: one that has not come to play a
// power within the handshake timeout, or one that was let go and has not
// closed its connection since.  Returns whether a power lost its bot.
bool links_expire(Game *game);
// The earliest time at which a link's time is over, or -1.
int64_t links_next_expiry(const Game *game);

// The address of a peer ("address:port", "[v6]:port").
std::string peer_address(const std::string &peer);

// The connection that makes room when every place is taken, among
// `waiting` (links that have not joined, oldest first): the oldest of the
// address with the most of them, so that a flood from one address evicts
// its own connections before anyone else's.  -1 when `waiting` is empty.
int64_t link_to_make_room(const Game *game, const std::vector<uint32_t> &waiting);

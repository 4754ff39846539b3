// Seat secrets: what a bot must carry (platform/seat_secret.h) to take or
// take back a seat.  A tournament gives the server one secret per power in
// a file (--seat-secrets); without that file, a seat is bound to the secret
// its first bot joined with, if any.  Secrets never go to the log or the
// record.
#pragma once

#include <string>
#include <vector>

#include "tools/server/game_state.h"

// Reads a --seat-secrets file: one secret per line, line p for power p,
// each 16 to 64 printable characters without spaces, no two alike, 1 to
// MAX_POWERS lines; lines past the map's `powers` are left out.  False,
// with a reason in *error, otherwise.
bool seat_secrets_read(const std::string &path, size_t powers, std::vector<std::string> *secrets,
                       std::string *error);

// Whether two secrets are equal, in a time that does not depend on where
// they differ.
bool seat_secret_equal(const std::string &a, const std::string &b);

// The power whose seat `secret` opens, or -1.
int seat_of_secret(const Game *game, const std::string &secret);

// Whether a seat is only ever played with a secret: a preset one, or the
// one its bot joined with.
inline bool seat_has_secret(const Seat &seat) { return !seat.secret.empty(); }

// The seat of `power` as before any bot came: its preset secret stays.
void seat_reset(Game *game, size_t power);

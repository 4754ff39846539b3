// One game of a tournament, as one job line runs it: a server on a free
// loopback port, one bot per power started in turn (each in a folder of
// its own), a wall-clock limit, and at the end every process stopped and
// the result written beside the game record.
#pragma once

#include <string>
#include <vector>

#include "tools/tournament/tournament.h"

struct GameJob {
    int game = 0;                 // its number in the tournament
    std::string folder;           // where the server writes and the bots live
    int rotation = 0;             // power p is played by bot (p + rotation) mod B
    int limit_s = 0;              // wall-clock limit of the whole game
    std::string server;           // brox-server
    std::vector<BotEntry> bots;
    std::vector<std::string> server_args;  // years, deadline, map: passed as they are
};

// Plays the game, writes <folder>/result.json and prints one line saying
// how it went.  Returns 0 when the game was played to its end, 1 when it
// failed (the reason is in the result), 2 when no result could be written.
int game_job_run(const GameJob &job);

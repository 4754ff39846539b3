// brox-tournament's command lines: the tournament a user asks for, the
// `run` and `merge` steps on an existing tournament folder, and the `game`
// command that each job line runs.
#pragma once

#include <string>

#include "tools/tournament/game_job.h"
#include "tools/tournament/tournament.h"

struct TournamentOptions {
    Tournament tournament;
    int jobs = 0;            // games at once; 0: one per core
    bool plan_only = false;  // write the plan and show how to run it
};

// The results of parsing: go on, the help was shown, or a complaint was
// printed to standard error.
enum ParseStatus { PARSE_OK = 0, PARSE_HELP = -1, PARSE_ERROR = 2 };

// brox-tournament [options]: the tournament's bots and settings.  Fills in
// absolute paths (the folder, the server, bot programs named by a relative
// path) and checks that the folder is new and the server is there.
int tournament_options_parse(int argc, char **argv, const std::string &program, TournamentOptions *options);

// brox-tournament run DIR [--jobs N] and brox-tournament merge DIR.
int folder_options_parse(int argc, char **argv, bool with_jobs, std::string *folder, int *jobs);

// brox-tournament game ...: one game, as a job line gives it.
int game_options_parse(int argc, char **argv, GameJob *job);

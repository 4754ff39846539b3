// A tournament as planned: the bots, how many games on which maps, and the
// folder that holds its job list, one folder per game and the tables.
// Written once by the planner (tournament.json, jobs.txt) and read back by
// the runner and the merge step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr const char *PLAN_FILE = "tournament.json";  // the plan, for the merge step
constexpr const char *JOBS_FILE = "jobs.txt";         // one shell command per game
constexpr const char *GAMES_FOLDER = "games";         // games/0001, games/0002, ...

// A bot taking part: its short name and the shell command that starts it.
// The command is run in a folder of its own with "-i 127.0.0.1 -p PORT"
// appended.
struct BotEntry {
    std::string name;
    std::string command;
};

enum class MapChoice {
    GENERATED,  // a generated map per rotation, from consecutive seeds
    STANDARD,   // the server's built-in map in every game
    FOLDER,     // the map files of one folder in every game
};

struct Tournament {
    std::vector<BotEntry> bots;
    int games = 10;
    int years = 5;                   // game years per game
    double deadline_s = 20;          // the server's wait for a phase's orders
    int game_limit_s = 0;            // wall-clock limit of one game; 0: from years and deadline
    MapChoice map = MapChoice::GENERATED;
    std::string map_folder;          // absolute, for MapChoice::FOLDER
    uint64_t first_seed = 1;         // map seed of the first rotation
    int provinces = 0;               // generated maps' size; 0: the server's default
    int powers = 0;
    int homes = 0;                   // home centres per power
    std::vector<std::string> server_args;  // passed to every server as they are
    std::string folder;              // the tournament's folder, absolute
    std::string server;              // brox-server, absolute
    std::string program;             // brox-tournament itself, absolute
    std::string maps;                // how the maps were chosen, as read back from the plan
};

// Games are numbered from 1, as the job lines and Slurm's array tasks are.
// In game g power p is played by bot (p + g - 1) mod B, so that over B
// games every bot plays every power once; the B games of one rotation play
// the same map.
int game_rotation(const Tournament &tournament, int game);
uint64_t game_seed(const Tournament &tournament, int game);
// The game's folder: <folder>/games/0007.
std::string game_folder(const std::string &tournament_folder, int game);
// The wall-clock limit of one game: every phase waiting its whole deadline,
// plus a minute to start and stop.
int game_limit_seconds(const Tournament &tournament);
// How the maps are chosen, in words.
std::string map_description(const Tournament &tournament);

// `word` quoted for the POSIX shell.
std::string shell_quote(const std::string &word);
// The job line of one game: the command that plays it.
std::string job_line(const Tournament &tournament, int game);

// Creates the folder, one folder per game, the plan and the job list.
// Returns false with a reason when a file cannot be written.
bool tournament_write(const Tournament &tournament, std::string *error);
// Reads the plan of the tournament in `folder` (bots and game count).
bool tournament_read(const std::string &folder, Tournament *tournament, std::string *error);

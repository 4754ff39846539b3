// The tournament table: per bot, the games it played, its seats, solo
// wins, survivals and supply centres at the end with 95% confidence
// intervals, the phases it missed and the orders refused to it; each bot's
// difference in centres from the first bot, paired by rotation; the games
// that repeat an earlier one, left out of every count; and the games that
// failed.  As text and as CSV files.
#pragma once

#include <string>
#include <vector>

#include "tools/tournament/game_result.h"
#include "tools/tournament/stats.h"
#include "tools/tournament/tournament.h"

constexpr const char *TABLE_FILE = "table.txt";
constexpr const char *SUMMARY_CSV = "summary.csv";  // one row per bot
constexpr const char *GAMES_CSV = "games.csv";      // one row per game
constexpr const char *SEATS_CSV = "seats.csv";      // one row per seat of a played game

struct BotSummary {
    std::string name;
    int games = 0;               // played games it had a seat in
    int seats = 0;               // powers it played in them
    int solo_wins = 0;
    int survivals = 0;
    int faults = 0;              // failed games in which its process failed
    std::vector<double> centres; // per seat, at the end
    Interval solo_interval;
    Interval survival_interval;
    double mean_centres = 0;
    Interval centres_interval;
    int orders_due = 0;          // phases in which its seats had something to order
    int missed = 0;              // of those, phases for which no orders came
    int refused = 0;             // entries of its orders refused by the server
    // Against the first bot: per complete rotation, this bot's mean centres
    // per seat minus the first bot's; their mean and its 95% interval.
    std::vector<double> paired;
    double paired_mean = 0;
    Interval paired_interval;
};

struct TournamentTable {
    std::vector<BotSummary> bots;   // in the order of the plan
    std::vector<GameResult> games;  // by game number
    int played = 0;              // repeats included
    int failed = 0;
    int missing = 0;
    std::vector<int> repeat_of;  // by game number (index 0 unused): the earlier game it repeats, 0 for none
    int repeats = 0;             // played games that repeat an earlier one
    std::vector<int> alike_of;   // by game number: an earlier game with the same record, the bots on
                                 // other powers (the bots chose alike); 0 for none
    int rotations = 0;           // complete rotations in the paired comparison
};

// Counts the played games per bot and works out the intervals.  A played
// game whose record and seating equal an earlier game's is a repeat: it is
// left out of every count.  A rotation (the B games that play one map with
// the B bots' seats rotated) counts in the paired comparison when all its
// games were played and none is a repeat.
TournamentTable table_build(const Tournament &tournament, std::vector<GameResult> games);

// The table as a person reads it, with its notes, the failed games and
// where the games' folders are.
std::string table_text(const Tournament &tournament, const TournamentTable &table);

// Writes summary.csv, games.csv and seats.csv into `folder`.
bool table_write_csv(const std::string &folder, const TournamentTable &table, std::string *error);

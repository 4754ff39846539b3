// The tournament table: per bot, the games it played, its seats, solo
// wins, survivals and supply centres at the end with 95% confidence
// intervals, and the games that failed; as text and as CSV files.
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
};

struct TournamentTable {
    std::vector<BotSummary> bots;   // in the order of the plan
    std::vector<GameResult> games;  // by game number
    int played = 0;
    int failed = 0;
    int missing = 0;
};

// Counts the played games per bot and works out the intervals.
TournamentTable table_build(const Tournament &tournament, std::vector<GameResult> games);

// The table as a person reads it, with its notes, the failed games and
// where the games' folders are.
std::string table_text(const Tournament &tournament, const TournamentTable &table);

// Writes summary.csv, games.csv and seats.csv into `folder`.
bool table_write_csv(const std::string &folder, const TournamentTable &table, std::string *error);

// The result of one game of a tournament: result.json, written by the game's
// job when it ends, and read back with the game record by the merge step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr const char *RESULT_FILE = "result.json";

enum class GameStatus {
    PLAYED,   // the game ran to its end and every bot behaved
    FAILED,   // it did not: `error` says why, and it is left out of the table
    MISSING,  // no result: not played yet, or its job was killed
};

// One bot playing one power in one game.
struct Seat {
    int power = 0;
    std::string bot;
    int centres = 0;     // at the end
    int units = 0;       // at the end
    bool solo = false;   // owns more than half the supply centres
    bool survived = false;
    int orders_due = 0;  // phases in which it had something to order
    int missed = 0;      // of those, phases for which no orders came
    int refused = 0;     // entries of its orders that the server refused
};

struct GameResult {
    int game = 0;
    std::string folder;
    GameStatus status = GameStatus::MISSING;
    std::string error;                 // why it failed, one line
    std::string culprit;               // the bot whose process failed, if one did
    std::vector<std::string> warnings; // things to know that leave the result standing
    std::vector<std::string> bots;     // bot name by power, as far as they were seated
    std::string map;                   // the map it played
    std::string end;                   // "1903 spring": the phase it ended in
    std::string reason;                // why it ended, from the record
    double seconds = 0;                // wall-clock time
    std::vector<Seat> seats;           // by power, for a played game (read with the record)
    uint64_t fingerprint = 0;          // of the record and the seating: equal for a game played again
    uint64_t record_fingerprint = 0;   // of the record alone: equal when the bots chose alike
};

// Writes <folder>/result.json (through a temporary file, so that a reader
// sees the whole file or none).  Returns false with a reason on failure.
bool game_result_write(const GameResult &result, std::string *error);

// The result of game `game` in `folder`: result.json, and for a played
// game the seats' ends from the record.  A played game whose record has
// no readable final line, or whose powers do not match its seats, is
// turned into a failed one.
GameResult game_result_read(const std::string &folder, int game);

// "played", "failed", "missing".
const char *game_status_name(GameStatus status);

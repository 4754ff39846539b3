// What the tournament reads from a game record (game.jsonl): the last
// phase played and the final line.  Lines it does not know (a dropped
// connection, anything newer) are skipped.
#pragma once

#include <string>
#include <vector>

constexpr const char *RECORD_FILE = "game.jsonl";

// One power at the end of a game.
struct PowerEnd {
    int power = 0;
    int centres = 0;
    int units = 0;
};

struct RecordSummary {
    bool readable = false;       // the file could be opened
    std::string last_phase;      // "1902 fall": the last phase line, "" when none
    bool finished = false;       // a final line was found
    std::string reason;          // the final line's reason
    std::string end;             // the final line's year and season
    std::vector<PowerEnd> powers;// by power index, from the final line
    int centre_total = 0;        // supply centres on the map: owned and unowned
};

// Reads the record in `folder`.
RecordSummary record_read(const std::string &folder);

// Whether a power's centres make a solo win: more than half of all.
bool record_solo(const RecordSummary &record, const PowerEnd &power);
// Whether a power is still in the game: a centre or a unit left.
bool record_survived(const PowerEnd &power);

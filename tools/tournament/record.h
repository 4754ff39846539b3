// What the tournament reads from a game record (game.jsonl): the last
// phase played, the final line, what each power was due to order and did,
// and a fingerprint of the game that finds the games played twice.  Lines
// it does not know (the map, a dropped connection, anything newer) and
// fields it does not know are skipped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr const char *RECORD_FILE = "game.jsonl";

// One power at the end of a game.
struct PowerEnd {
    int power = 0;
    int centres = 0;
    int units = 0;
};

// A power's orders over the phase lines.
struct PowerOrders {
    int due = 0;      // phases in which it had something to order
    int missed = 0;   // of those, phases in which no orders came from it
    int refused = 0;  // entries of its orders messages that were refused
};

struct RecordSummary {
    bool readable = false;       // the file could be opened
    std::string last_phase;      // "1902 fall": the last phase line, "" when none
    bool finished = false;       // a final line was found
    std::string reason;          // the final line's reason
    std::string end;             // the final line's year and season
    std::vector<PowerEnd> powers;// by power index, from the final line
    int centre_total = 0;        // supply centres on the map: owned and unowned
    std::vector<PowerOrders> orders; // by power index
    uint64_t fingerprint = 0;    // of every line but the dropped connections' (their ports differ)
};

// Reads the record in `folder`.
RecordSummary record_read(const std::string &folder);

// Whether a power's centres make a solo win: more than half of all.
bool record_solo(const RecordSummary &record, const PowerEnd &power);
// Whether a power is still in the game: a centre or a unit left.
bool record_survived(const PowerEnd &power);

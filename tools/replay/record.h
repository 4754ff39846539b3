// A game record (game.jsonl) read back for the replay: the map line with
// the layout, and the board, orders and outcomes of every phase line and
// of the final line.  Lines of other kinds (a dropped connection, a kind
// added later) are skipped, as are fields the replay does not use.
#pragma once

#include <string>
#include <vector>

#include "tools/board/layout.h"

struct JsonValue;

struct RecordUnit {
    int power = 0;
    std::string name;        // "A STA", "F NOR/north"
    bool dislodged = false;  // must retreat in this phase
};

struct RecordOrder {
    int power = 0;
    std::string text;        // "A STA - NOR", "build F NOR/north", "waive"
    std::string unit;        // the unit ordered; "" for a build slot
    std::string outcome;     // "moved", "bounced", ...
    bool dislodged = false;  // movement phases: this phase's moves dislodged the unit
};

struct RecordPower {
    int power = 0;
    std::string name;
    int centres = 0;
};

// A phase line or the final line.
struct RecordPhase {
    int year = 0;
    std::string season;      // "spring", "summer", "fall", "autumn", "winter"
    bool final = false;
    std::vector<RecordUnit> units;
    std::vector<RecordOrder> orders;  // none on the final line
    std::vector<RecordPower> powers;
    std::vector<std::vector<std::string>> ownership;  // per power, the centres it owns
    std::string picture;     // as the record names it, relative to its folder
};

struct GameRecordRead {
    bool has_map = false;    // a map line was found
    std::string map_name;
    Layout layout;
    std::vector<RecordPhase> phases;  // in playing order, the final line last
};

// The phase of a phase line or the final line; false for a line of another
// kind or one whose year or season is missing.  Fields of the wrong kind
// read as missing.
bool record_phase_read(const JsonValue &line, RecordPhase *phase);

// The map line's name and layout; false with what is wrong in *error.
bool record_map_read(const JsonValue &line, std::string *name, Layout *layout, std::string *error);
// Whether a line is the map line.
bool record_is_map_line(const JsonValue &line);

// Reads a whole record.  False with a reason when the file cannot be read,
// a line is not JSON, its map line is malformed, or it holds no phase.
bool record_load(const std::string &path, GameRecordRead *record, std::string *error);

// "Spring 1901".
std::string record_phase_title(const RecordPhase &phase);

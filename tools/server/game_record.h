// The game record: one line of JSON per phase (season, year, units, the
// orders as used with what became of each, the dislodgements with the
// retreats offered, what each power sent and what was refused, centre
// ownership), a last line for the final position, a picture of every
// phase, the final board and the replay page.
#pragma once

#include <string>

#include "tools/server/game.h"
#include "tools/replay/replay.h"
#include "tools/server/phase_results.h"

constexpr const char *GAME_RECORD_FILE = "game.jsonl";
constexpr const char *FINAL_BOARD_FILE = REPLAY_FINAL_PICTURE;
constexpr const char *PHASE_PICTURE_FOLDER = REPLAY_PICTURE_FOLDER;

const char *season_name(uint16_t season);
// "STA", "NOR/north" (a named coast), from the generated layout.
std::string location_name(const Game *game, const LocationState *location);
// "A STA", "F NOR/north".
std::string unit_name(const Game *game, const Unit *unit);
// The unit's chosen order in short notation: "A STA H", "A STA - NOR",
// "F SEA S A STA - NOR", "F SEA C A STA - NOR", "A STA - NOR via SEA",
// "A STA R NOR", "A STA D", "build F NOR/north", "remove A STA", "waive".
std::string order_text(const Game *game, const Unit *unit);
// An entry of an orders message (ORDER_ENTRY_SIZE bytes) in the same
// notation, as far as its tokens name things of this map ("?" elsewhere).
std::string refused_order_text(const Game *game, const std::vector<uint8_t> &entry);

// Writes the map line, first in the record: the map's name and its layout,
// so that the record alone can be replayed.
void game_record_map(Game *game);
// Writes the line of the phase being resolved, its orders applied and
// `results` worked out, and the picture of the phase.
void game_record_phase(Game *game, const PhaseResults &results);
// Writes the final line, the picture of the final board and the replay
// page, read from the record as brox-replay reads it; before the final line, one line per seat and reason of the dropped
// connections that were only counted.
void game_record_final(Game *game, const char *reason);

// Writes the line of a dropped connection, between the phase lines:
//   {"dropped":true,"year":1901,"season":"spring","seat":3,
//    "peer":"127.0.0.1:40512","reason":"rejoin-refused","detail":"wrong passcode"}
// `seat` is the power the link played or its rejoin named, null for none.
// Past RECORD_DROPS_PER_SEAT lines for a power's connections, or
// RECORD_DROPS_WITHOUT_SEAT for connections without a power, the drop is
// only counted.
void game_record_dropped(Game *game, const Link &link, const char *reason, const std::string &detail);

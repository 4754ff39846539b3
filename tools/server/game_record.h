// The lines of the game record (docs/game-record.md), written from what a
// referee holds: the map line that opens the record, a phase line for the
// phase it last resolved, the final line, and the line of a dropped
// connection.  The same lines whoever
// plays the game: the server, or a program that plays it in-process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "brox.h"
#include "tools/board/layout.h"

// Who plays which power, for the record's "bot" fields: by power index,
// "" for none.
using BotNames = std::vector<std::string>;

// The map line, first in the record: the map's name and its layout, so
// that the record alone can be replayed.
std::string game_record_map_line(const std::string &map_name, const Layout &layout);

// The line of the phase `referee` resolved last (brox_referee_last_*):
// the board as it was, every order as used with what became of it, the
// dislodgements with the retreats offered, what each power sent and what
// was refused, and the centre ownership; `picture` names its picture.
// "" before the first step.
std::string game_record_phase_line(const BroxReferee *referee, const Layout &layout, const BotNames &bots,
                                   const std::string &picture);

// The final line: why the game ended and the board of the current phase.
std::string game_record_final_line(const BroxReferee *referee, const Layout &layout, const BotNames &bots,
                                   const std::string &reason, const std::string &picture);

// The line of a dropped connection during the phase `season`, `year`:
//   {"dropped":true,"year":1901,"season":"spring","seat":3,
//    "peer":"127.0.0.1:40512","reason":"rejoin-refused","detail":"wrong passcode"}
// `seat` is the power the link played or its rejoin named, -1 (null) for
// none.
std::string game_record_dropped_line(uint16_t season, uint16_t year, int seat, const std::string &peer,
                                     const std::string &reason, const std::string &detail);

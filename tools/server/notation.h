// How the game record, the report and the replay write the things of a
// game: seasons, phases, powers, places, units and orders, in the short
// notation of docs/game-record.md ("A STA - NOR", "build F NOR/north"),
// with the abbreviations of the map's layout.
#pragma once

#include <cstdint>
#include <string>

#include "brox.h"
#include "tools/board/layout.h"
#include "world/season.h"  // season_name

// The map whose things are named: its layout and its Map.
struct Notation {
    const Layout &layout;
    const Map *map;
};

// "Spring 1901".
std::string phase_title(uint16_t season, uint16_t year);
// The layout's name of a power, or "Power N".
std::string power_name(const Layout &layout, uint16_t power);

// "STA", "NOR/north" (a named coast).
std::string location_name(const Notation &names, const LocationState *location);
// The same for a Location of the Map, by index.
std::string location_name(const Notation &names, uint16_t location);
// "A STA", "F NOR/north": the type follows the place (an army stands at
// the army location); "slot" for a winter build slot.
std::string unit_name(const Notation &names, const Unit *unit);
// The unit's order in short notation: "A STA H", "A STA - NOR",
// "F SEA S A STA - NOR", "F SEA C A STA - NOR", "A STA - NOR via SEA",
// "A STA R NOR", "A STA D", "build F NOR/north", "remove A STA", "waive".
std::string order_text(const Notation &names, const Unit *unit, const Order &order);
// An entry of an orders message (244 bytes) in the same notation, as far
// as its tokens name things of this map ("?" elsewhere).
std::string entry_text(const Notation &names, const uint8_t *entry);

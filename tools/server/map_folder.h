// A map folder as brox-mapgen writes it (map.bin, centres.bin,
// position.bin, layout.json), read for the game server with every count
// and length checked: the files come from users.
#pragma once

#include <string>

#include "brox.h"
#include "tools/mapgen/mapgen.h"

// Reads the folder into *out.  Returns false with a message naming the
// file and what is wrong with it in *error.
bool map_folder_read(const std::string &folder, GeneratedMap *out, std::string *error);

// Whether the server plays a game on `map`: at most MAX_UNITS supply
// centres, so that every build due can have its slot in a position.
// False, with why in *error, for a larger map (the library builds it, and
// an in-process game may play it).
bool map_centres_playable(const Map *map, std::string *error);

// A short name for the map of a folder, from its last path component:
// letters, digits, '.', '_' and '-' only, at most 32 of them ("map" when
// none is left).
std::string map_folder_name(const std::string &folder);

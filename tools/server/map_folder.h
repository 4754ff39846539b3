// A map folder as brox-mapgen writes it (map.bin, centres.bin,
// position.bin, layout.json), read for the game server with every count
// and length checked: the files come from users.
#pragma once

#include <string>

#include "tools/mapgen/mapgen.h"

// Reads the folder into *out.  Returns false with a message naming the
// file and what is wrong with it in *error.
bool map_folder_read(const std::string &folder, GeneratedMap *out, std::string *error);

// A short name for the map of a folder, from its last path component:
// letters, digits, '.', '_' and '-' only, at most 32 of them ("map" when
// none is left).
std::string map_folder_name(const std::string &folder);

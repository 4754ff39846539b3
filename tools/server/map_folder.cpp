// Reading and checking a map folder: each message against its own header
// and the library's builders, the opening position unit by unit, and the
// layout against the Map.
#include "tools/server/map_folder.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/record.h"
#include "game/opening.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"

namespace {

namespace fs = std::filesystem;

constexpr uintmax_t MAX_MESSAGE_FILE = 0xFFFF;
constexpr uintmax_t MAX_LAYOUT_FILE = 64u << 20;

using Bytes = std::vector<uint8_t>;

std::string hex(uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", word);
    return text;
}

bool refuse(std::string *error, const std::string &what) {
    *error = what;
    return false;
}

bool read_file(const fs::path &path, uintmax_t largest, std::string *bytes, std::string *error) {
    std::error_code failure;
    if (!fs::exists(path, failure)) {
        *error = "missing";
        return false;
    }
    if (!fs::is_regular_file(path, failure)) {
        *error = "not a file";
        return false;
    }
    uintmax_t size = fs::file_size(path, failure);
    if (failure || size > largest) {
        *error = failure ? "cannot be read" : std::to_string(size) + " bytes, more than " + std::to_string(largest);
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file && !file.eof()) {
        *error = "cannot be read";
        return false;
    }
    return true;
}

// One message from its type word: the whole file, as long as its header
// says, of the expected type.
bool read_message(const fs::path &path, uint16_t type, const char *what, Bytes *message, std::string *error) {
    std::string bytes;
    if (!read_file(path, MAX_MESSAGE_FILE, &bytes, error)) return false;
    if (bytes.size() < MSG_HEADER_SIZE) {
        *error = std::to_string(bytes.size()) + " bytes, too short for a message header";
        return false;
    }
    message->assign(bytes.begin(), bytes.end());
    uint16_t found = msg_type(message->data());
    if (found != type) {
        *error = std::string("not a ") + what + " message (type " + hex(found) + ", expected " + hex(type) + ")";
        return false;
    }
    uint16_t length = msg_length(message->data());
    if (length != message->size()) {
        *error = std::to_string(message->size()) + " bytes, but its header gives a length of " +
                 std::to_string(length);
        return false;
    }
    return true;
}

bool check_layout(const Map *map, const Layout &layout, std::string *error) {
    if (layout.provinces.size() != map->province_count)
        return refuse(error, std::to_string(layout.provinces.size()) + " provinces, but map.bin has " +
                        std::to_string(map->province_count));
    if (layout.powers.size() != map->power_count)
        return refuse(error, std::to_string(layout.powers.size()) + " powers, but map.bin has " +
                        std::to_string(map->power_count));
    return true;
}

// The three messages through the game's checks and the library's
// builders, which must take them.
bool build_check(Bytes map_message, Bytes centres_message, Bytes position_message, std::string *file,
                 std::string *error) {
    Map *map = map_build(map_message.data());
    if (!map) {
        *file = "map.bin";
        *error = "the library refused the map definition (more than 300 provinces or 20 powers, counts that "
                 "overrun the message, an adjacency to a province out of range, or more locations or "
                 "adjacencies than a Map holds)";
        return false;
    }
    char why[256];
    bool ok = true;
    if (!map_centres_playable(map, error)) {
        *file = "map.bin";
        ok = false;
    } else if (!opening_check_centres(map, centres_message.data(), why, sizeof why)) {
        *file = "centres.bin";
        *error = why;
        ok = false;
    } else if (!opening_check_position(map, position_message.data(), why, sizeof why)) {
        *file = "position.bin";
        *error = why;
        ok = false;
    } else {
        CentreTable *centres = centre_table_build(map, centres_message.data());
        Position *position = centres ? position_build(map, centre_table_retain(centres), position_message.data())
                                     : nullptr;
        if (!position) {
            *file = "position.bin";
            *error = "the library could not build the position";
            ok = false;
        }
        if (position) brox_position_free(position);
        if (centres) centre_table_release(map, centres);
    }
    map_release(map);
    return ok;
}

}  // namespace

bool map_folder_read(const std::string &folder, GeneratedMap *out, std::string *error) {
    fs::path dir(folder);
    std::error_code failure;
    if (!fs::is_directory(dir, failure)) {
        *error = "map folder " + folder + ": not a folder (brox-mapgen --out " + folder + " makes one)";
        return false;
    }
    std::string problem;
    auto in_file = [&](const char *name) {
        *error = "map folder " + folder + ": " + name + ": " + problem;
        return false;
    };
    GeneratedMap map;
    if (!read_message(dir / "map.bin", MSG_MAP_DEFINITION, "map-definition", &map.map_message, &problem))
        return in_file("map.bin");
    if (!read_message(dir / "centres.bin", MSG_CENTRE_OWNERSHIP, "centre-ownership", &map.centres_message, &problem))
        return in_file("centres.bin");
    if (!read_message(dir / "position.bin", MSG_POSITION, "position", &map.position_message, &problem))
        return in_file("position.bin");
    std::string file;
    if (!build_check(map.map_message, map.centres_message, map.position_message, &file, &problem))
        return in_file(file.c_str());
    std::string text;
    if (!read_file(dir / "layout.json", MAX_LAYOUT_FILE, &text, &problem) || !layout_parse(text, &map.layout, &problem))
        return in_file("layout.json");
    Map *built = map_build(map.map_message.data());
    bool fits = built && check_layout(built, map.layout, &problem);
    if (built) map_release(built);
    if (!fits) return in_file("layout.json");
    *out = std::move(map);
    return true;
}

bool map_centres_playable(const Map *map, std::string *error) {
    if (map->centre_count <= MAX_UNITS) return true;
    *error = std::to_string(map->centre_count) + " supply centres, but a position holds at most " +
             std::to_string(MAX_UNITS) + " units, so the server plays maps of at most " + std::to_string(MAX_UNITS) +
             " supply centres (brox-mapgen makes none larger)";
    return false;
}

std::string map_folder_name(const std::string &folder) {
    std::string last = fs::path(folder).lexically_normal().filename().string();
    if (last.empty() || last == "." || last == "..")
        last = fs::path(folder).lexically_normal().parent_path().filename().string();
    std::string name;
    for (char c : last)
        if (name.size() < 32 && (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-'))
            name += c;
    return name.empty() ? "map" : name;
}

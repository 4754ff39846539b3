// brox-mapgen: makes a map from a seed and a size (or the built-in default
// map) and writes its messages and layout to files, optionally with a
// picture of the position as SVG.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "mapgen.h"
#include "picture.h"
#include "tools/common/option_value.h"

namespace {

const char HELP[] = R"(Usage: brox-mapgen [options]

Makes a playable map for the Brox library and writes into the output
directory:
  map.bin       the map-definition message
  centres.bin   the centre-ownership message (each home centre owned by its
                power, every other centre unowned)
  position.bin  the opening position: spring 1901, one unit on each home
                centre (an army, or a fleet on some coastal homes)
  layout.json   names, terrain, label points and outlines for drawing
Each .bin file holds one message from its type word on, exactly as the
library's builders read it.  The same options give the same files on every
build.

Options:
  --default        the built-in standard map: 7 powers, 75 provinces,
                   34 supply centres (22 home centres), 22 units;
                   --seed, --provinces, --powers and --homes do not apply
  --seed N         seed of the map (default 1)
  --provinces N    number of provinces, 8 to 300 (default 75); about a
                   quarter are sea
  --powers N       number of powers, 1 to 20 (default 7)
  --homes N        home centres per power, 1 to 5 (default 3)
  --out DIR        directory for the files (default: the current one;
                   created when missing)
  --midgame        with --default: write a midgame position instead of the
                   opening (34 units, every centre owned)
  --svg FILE       also draw the written position on the map as SVG
  --help           show this text

Example: draw the default opening
  brox-mapgen --default --out default-map --svg default-map/opening.svg
)";

struct Command {
    MapgenOptions options;
    bool use_default = false;
    bool midgame = false;
    std::string out = ".";
    std::string svg;
};

// The numeric options and their ranges.
struct NumberOption {
    const char *name;
    long long lo, hi;
};
const NumberOption NUMBER_OPTIONS[] = {
    {"--seed", 0, INT64_MAX},
    {"--provinces", MAPGEN_MIN_PROVINCES, MAX_PROVINCES},
    {"--powers", 1, MAX_POWERS},
    {"--homes", MAPGEN_MIN_HOMES, MAPGEN_MAX_HOMES},
};

void set_number(Command *command, const std::string &option, long long number) {
    if (option == "--seed") command->options.seed = static_cast<uint64_t>(number);
    if (option == "--provinces") command->options.provinces = static_cast<int>(number);
    if (option == "--powers") command->options.powers = static_cast<int>(number);
    if (option == "--homes") command->options.homes = static_cast<int>(number);
}

// Parses the arguments; returns 0 to go on, otherwise the exit status.
int parse(int argc, char **argv, Command *command) {
    for (int i = 1; i < argc; i++) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(HELP, stdout);
            return -1;
        }
        if (option == "--default") {
            command->use_default = true;
            continue;
        }
        if (option == "--midgame") {
            command->midgame = true;
            continue;
        }
        const NumberOption *number_option = nullptr;
        for (const NumberOption &known : NUMBER_OPTIONS)
            if (option == known.name) number_option = &known;
        if (!number_option && option != "--out" && option != "--svg") {
            std::fprintf(stderr, "brox-mapgen: unknown option %s (see --help)\n", option.c_str());
            return 2;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "brox-mapgen: %s needs a value (see --help)\n", option.c_str());
            return 2;
        }
        const char *value = argv[++i];
        if (option == "--out") {
            command->out = value;
        } else if (option == "--svg") {
            command->svg = value;
        } else {
            long long number = 0;
            if (!integer_option("brox-mapgen", option.c_str(), value, number_option->lo, number_option->hi, &number))
                return 2;
            set_number(command, option, number);
        }
    }
    if (command->midgame && !command->use_default) {
        std::fprintf(stderr, "brox-mapgen: --midgame needs --default\n");
        return 2;
    }
    return 0;
}

bool write_file(const std::filesystem::path &path, const std::string &bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "brox-mapgen: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

bool write_file(const std::filesystem::path &path, const std::vector<uint8_t> &bytes) {
    return write_file(path, std::string(bytes.begin(), bytes.end()));
}

void print_summary(const GeneratedMap &map, const std::vector<uint8_t> &position) {
    int sea = 0, coastal = 0, inland = 0, two_coasts = 0, centres = 0, homes = 0;
    for (const LayoutProvince &province : map.layout.provinces) {
        sea += province.terrain == TERRAIN_WATER;
        coastal += province.terrain == (TERRAIN_LAND | TERRAIN_WATER);
        inland += province.terrain == TERRAIN_LAND;
        two_coasts += !province.coasts.empty();
        centres += province.centre;
        homes += province.centre && province.home_power < map.layout.powers.size();
    }
    unsigned units = position.size() >= 12 ? position[10] | (position[11] << 8) : 0;
    std::printf("%zu provinces (%d sea, %d coastal of which %d with two coasts, %d inland), "
                "%zu powers, %d supply centres (%d home), %u units; seed %llu\n",
                map.layout.provinces.size(), sea, coastal, two_coasts, inland, map.layout.powers.size(),
                centres, homes, units, static_cast<unsigned long long>(map.seed_used));
}

}  // namespace

int main(int argc, char **argv) {
    Command command;
    int status = parse(argc, argv, &command);
    if (status != 0) return status < 0 ? 0 : status;
    if (command.use_default) command.options = mapgen_default_options();
    std::string problem = mapgen_check_options(command.options);
    if (!problem.empty()) {
        std::fprintf(stderr, "brox-mapgen: %s\n", problem.c_str());
        return 2;
    }
    GeneratedMap map = mapgen_generate(command.options);
    if (map.map_message.empty()) {
        std::fprintf(stderr, "brox-mapgen: no draw of this seed fits the Map's capacities\n");
        return 1;
    }
    std::vector<uint8_t> centres = map.centres_message, position = map.position_message;
    if (command.midgame) {
        GeneratedPosition midgame = mapgen_midgame_position();
        centres = midgame.centres_message;
        position = midgame.position_message;
    }

    std::filesystem::path out(command.out);
    std::error_code error;
    std::filesystem::create_directories(out, error);
    if (error) {
        std::fprintf(stderr, "brox-mapgen: cannot create %s: %s\n", command.out.c_str(), error.message().c_str());
        return 1;
    }
    if (!write_file(out / "map.bin", map.map_message) || !write_file(out / "centres.bin", centres) ||
        !write_file(out / "position.bin", position) || !write_file(out / "layout.json", layout_json(map.layout)))
        return 1;
    print_summary(map, position);

    if (!command.svg.empty()) {
        std::string svg;
        if (!draw_position(map.layout, map.map_message, centres, position, &svg)) {
            std::fprintf(stderr, "brox-mapgen: the library did not build this board\n");
            return 1;
        }
        if (!write_file(command.svg, svg)) return 1;
        std::printf("picture: %s\n", command.svg.c_str());
    }
    return 0;
}

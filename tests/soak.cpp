// The many-map soak: random playouts on generated maps of every size (8 to
// 300 provinces, 1 to 20 powers, 1 to 5 homes), from the opening or from a
// position crowded with fleets at sea beside armies on coasts, each played
// for years with orders drawn from the candidates.  Every phase must build
// and keep the Position's invariants, adjudication must give a next phase,
// every supply centre must read as owned by the power that took it, and a
// playout must leave no memory behind.
//
//   brox_soak [--seconds N | --playouts N] [--seed N] [--years N]
//   brox_soak --replay SEED:PROVINCES:POWERS:HOMES:START [--write DIR]
//
// A failing playout prints the --replay argument that plays it again.
// --write keeps the replayed playout's map, centre ownership and starting
// position in DIR as map.bin, centres.bin and position.bin (each one
// message from its type word).
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "doubles.h"
#include "random_play.h"
#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/check.h"
#include "world/map.h"
#include "world/position.h"
#include "world/position_message.h"
#include "world/season.h"

namespace {

using random_play::Random;

enum class Start { OPENING, CONVOYS };

struct Playout {
    uint64_t seed = 1;
    int provinces = 75;
    int powers = 7;
    int homes = 3;
    Start start = Start::OPENING;
};

std::string describe(const Playout &playout) {
    return std::to_string(playout.seed) + ":" + std::to_string(playout.provinces) + ":" +
           std::to_string(playout.powers) + ":" + std::to_string(playout.homes) + ":" +
           (playout.start == Start::OPENING ? "opening" : "convoys");
}

bool parse_playout(const char *text, Playout *playout) {
    char start[16] = {};
    unsigned long long seed = 0;
    if (std::sscanf(text, "%llu:%d:%d:%d:%15s", &seed, &playout->provinces, &playout->powers,
                    &playout->homes, start) != 5)
        return false;
    playout->seed = seed;
    if (std::strcmp(start, "opening") == 0) playout->start = Start::OPENING;
    else if (std::strcmp(start, "convoys") == 0) playout->start = Start::CONVOYS;
    else return false;
    return true;
}

// Sizes drawn across the whole range, small maps as often as large ones; a
// size the generator refuses (too many homes for its land) is drawn again.
Playout draw_playout(Random &random) {
    for (;;) {
        Playout playout;
        playout.seed = random.next();
        int band = static_cast<int>(random.below(3));
        playout.provinces = band == 0 ? random.between(8, 40) : band == 1 ? random.between(41, 150)
                                                                          : random.between(151, 300);
        playout.powers = random.between(1, 20);
        playout.homes = random.between(1, 5);
        playout.start = random.one_in(3) ? Start::CONVOYS : Start::OPENING;
        MapgenOptions options;
        options.provinces = playout.provinces;
        options.powers = playout.powers;
        options.homes = playout.homes;
        if (mapgen_check_options(options).empty()) return playout;
    }
}

// A spring position with a fleet in most seas and an army on most coasts,
// powers drawn at random: long chains of fleets around armies, so that
// convoy routes are many.
std::vector<uint8_t> crowded_position(const Map *map, Random &random) {
    std::vector<PositionUnitEntry> units;
    for (uint16_t l = 0; l < map->location_count && units.size() < MAX_UNITS; l++) {
        const Location &location = map->locations[l];
        uint16_t province = static_cast<uint16_t>(location.province - map->provinces);
        bool taken = false;
        for (const PositionUnitEntry &unit : units) taken |= unit.province == province;
        if (taken) continue;
        uint8_t terrain = location.province->terrain;
        bool fleet = location.coast != COAST_ARMY;
        // Three seas in four hold a fleet; half the coasts and a sixth of
        // the inland provinces an army.
        bool place = fleet ? terrain == TERRAIN_WATER && random.below(4) != 0
                           : random.below(terrain & TERRAIN_WATER ? 2 : 6) == 0;
        if (!place) continue;
        PositionUnitEntry unit{};
        unit.power = static_cast<uint16_t>(random.below(map->power_count));
        unit.unit_type = fleet ? UNIT_FLEET : UNIT_ARMY;
        unit.province = province;
        unit.coast = location.coast;
        units.push_back(unit);
    }
    std::vector<uint8_t> message(position_message_size(units.size()), 0);
    position_message_init(message.data(), {SEASON_SPRING, MAPGEN_OPENING_YEAR}, static_cast<uint16_t>(units.size()));
    for (uint16_t u = 0; u < units.size(); u++) position_unit_write(position_message_unit(message.data(), u), units[u]);
    return message;
}

// Who should own each supply centre, worked out from the game as played:
// the home powers at the opening; after each fall (or autumn), the power of
// the unit standing in the centre in the adjudicated Position, else the
// owner before.
class Ownership {
  public:
    explicit Ownership(const Map *map) : map_(map), owner_(map->province_count, map->power_count) {
        for (uint16_t p = 0; p < map->province_count; p++)
            if (map->provinces[p].centre_kind == CENTRE_HOME) owner_[p] = map->provinces[p].home_power;
    }

    void year_ends(const Position *adjudicated) {
        for (uint16_t p = 0; p < map_->province_count; p++) {
            if (map_->provinces[p].centre_kind == CENTRE_NONE) continue;
            const Unit *unit = adjudicated->provinces[p].unit;
            if (unit) owner_[p] = unit->power;
        }
    }

    // The first centre whose owner differs, as text, or "".
    std::string compare(const Position *position) const {
        std::vector<int> held(map_->power_count, 0);
        for (uint16_t p = 0; p < map_->province_count; p++) {
            if (map_->provinces[p].centre_kind == CENTRE_NONE) continue;
            if (owner_[p] < map_->power_count) held[owner_[p]]++;
            if (position->provinces[p].owner != owner_[p])
                return "centre " + std::to_string(p) + " reads as owned by " +
                       std::to_string(position->provinces[p].owner) + ", expected " + std::to_string(owner_[p]);
        }
        for (uint16_t power = 0; power < map_->power_count; power++) {
            const CentreList *list = position->centres->lists[power];
            if (held[power] > 0 && (!list || list->count == 0))
                return "power " + std::to_string(power) + " owns " + std::to_string(held[power]) +
                       " centres but its list is empty";
        }
        return "";
    }

  private:
    const Map *map_;
    std::vector<uint16_t> owner_;
};

bool year_ended(const Position *before, const Position *after) {
    bool fall = before->season == SEASON_FALL || before->season == SEASON_AUTUMN;
    return fall && (after->season == SEASON_WINTER || after->season == SEASON_SPRING);
}

struct Tally {
    long phases = 0;
    long convoyed_moves = 0;
};

bool write_file(const std::string &path, const std::vector<uint8_t> &bytes) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

// Plays one playout; "" when every phase kept every rule, else what broke
// and where.  With `keep` set, the map, centre and starting position
// messages are written there first.
std::string play(const Playout &playout, int years, Tally *tally, const char *keep = nullptr) {
    MapgenOptions options;
    options.seed = playout.seed;
    options.provinces = playout.provinces;
    options.powers = playout.powers;
    options.homes = playout.homes;
    GeneratedMap generated = mapgen_generate(options);
    if (generated.map_message.empty()) return "the generator made no map";
    long live_start = test_memory::live_blocks();
    Map *map = map_build(generated.map_message.data());
    if (!map) return "map_build refused the generated map";
    std::string problem;
    if (const char *broken = map_check(map)) problem = std::string("map_check: ") + broken;
    CentreTable *opening = centre_table_retain(centre_table_build(map, generated.centres_message.data()));
    Random random(mapgen::derive_seed(playout.seed, 1));
    std::vector<uint8_t> message = playout.start == Start::OPENING ? generated.position_message
                                                                     : crowded_position(map, random);
    if (keep) {
        std::string folder(keep);
        if (!write_file(folder + "/map.bin", generated.map_message) ||
            !write_file(folder + "/centres.bin", generated.centres_message) ||
            !write_file(folder + "/position.bin", message))
            problem = "cannot write the messages to " + folder;
    }
    Position *now = problem.empty() ? position_build(map, opening, message.data()) : nullptr;
    if (problem.empty() && !now) problem = "the opening Position did not build";
    Ownership ownership(map);
    uint16_t last_year = static_cast<uint16_t>(MAPGEN_OPENING_YEAR + years);
    while (now && problem.empty() && now->year < last_year) {
        std::string where = std::string(" in ") + season_name(now->season) + " " + std::to_string(now->year);
        tally->phases++;
        if (const char *broken = position_check(now)) {
            problem = std::string("position_check: ") + broken + where;
            break;
        }
        if (std::string owners = ownership.compare(now); !owners.empty()) {
            problem = owners + where;
            break;
        }
        if (!random_play::choose_orders(now, random)) {
            problem = "a winter candidate the adjustment promises is missing" + where;
            break;
        }
        for (uint16_t u = 0; u < now->unit_count; u++) tally->convoyed_moves += now->units[u]->order.token == ORD_CONVOY_MOVE;
        Position *next = brox_adjudicate(now);
        if (!next) {
            problem = "brox_adjudicate built no next position" + where;
            break;
        }
        if (year_ended(now, next)) ownership.year_ends(now);
        brox_position_free(now);
        now = next;
    }
    if (now) brox_position_free(now);
    centre_table_release(map, opening);
    map_release(map);
    if (problem.empty() && test_memory::live_blocks() != live_start)
        problem = std::to_string(test_memory::live_blocks() - live_start) + " blocks left behind";
    return problem;
}

long number(const char *option, const char *text) {
    char *end = nullptr;
    long value = std::strtol(text ? text : "", &end, 10);
    if (!text || *end || value < 0) {
        std::fprintf(stderr, "brox_soak: %s needs a number, not \"%s\"\n", option, text ? text : "");
        std::exit(2);
    }
    return value;
}

}  // namespace

int main(int argc, char **argv) {
    long seconds = 0, playouts = 0, years = 10;
    uint64_t seed = 20261208;
    const char *replay = nullptr;
    const char *keep = nullptr;
    for (int a = 1; a < argc; a++) {
        const char *value = a + 1 < argc ? argv[a + 1] : nullptr;
        if (!std::strcmp(argv[a], "--seconds")) seconds = number(argv[a], value), a++;
        else if (!std::strcmp(argv[a], "--playouts")) playouts = number(argv[a], value), a++;
        else if (!std::strcmp(argv[a], "--years")) years = number(argv[a], value), a++;
        else if (!std::strcmp(argv[a], "--seed")) seed = static_cast<uint64_t>(number(argv[a], value)), a++;
        else if (!std::strcmp(argv[a], "--replay")) replay = value, a++;
        else if (!std::strcmp(argv[a], "--write") && value) keep = value, a++;
        else {
            std::fprintf(stderr,
                         "Usage: brox_soak [--seconds N | --playouts N] [--seed N] [--years N]\n"
                         "       brox_soak --replay SEED:PROVINCES:POWERS:HOMES:opening|convoys [--write DIR]\n");
            return 2;
        }
    }
    Tally tally;
    if (replay) {
        Playout playout;
        if (!parse_playout(replay, &playout)) {
            std::fprintf(stderr, "brox_soak: --replay wants SEED:PROVINCES:POWERS:HOMES:opening|convoys\n");
            return 2;
        }
        std::string problem = play(playout, static_cast<int>(years), &tally, keep);
        std::printf("soak: %s: %s (%ld phases)\n", describe(playout).c_str(), problem.empty() ? "passed" : problem.c_str(), tally.phases);
        return problem.empty() ? 0 : 1;
    }
    if (seconds == 0 && playouts == 0) playouts = 20;
    std::printf("soak: seed %" PRIu64 ", %ld years per playout, %s %ld\n", seed, years,
                playouts ? "playouts" : "seconds", playouts ? playouts : seconds);
    std::fflush(stdout);
    Random random(seed);
    auto begin = std::chrono::steady_clock::now();
    auto elapsed = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    };
    long played = 0, convoy_starts = 0, large = 0;
    double next_report = 15;
    while (playouts ? played < playouts : elapsed() < static_cast<double>(seconds)) {
        Playout playout = draw_playout(random);
        std::string problem = play(playout, static_cast<int>(years), &tally);
        if (!problem.empty()) {
            std::printf("soak: FAILED: %s\n  replay: brox_soak --years %ld --replay %s\n", problem.c_str(), years,
                        describe(playout).c_str());
            return 1;
        }
        played++;
        convoy_starts += playout.start == Start::CONVOYS;
        large += playout.provinces > 150;
        if (elapsed() >= next_report) {
            std::printf("soak: %ld playouts, %ld phases, %.0f s\n", played, tally.phases, elapsed());
            std::fflush(stdout);
            next_report += 15;
        }
    }
    std::printf("soak: %ld playouts passed (%ld from crowded seas, %ld of more than 150 provinces), "
                "%ld phases, %ld convoyed moves, %.1f s\n",
                played, convoy_starts, large, tally.phases, tally.convoyed_moves, elapsed());
    return 0;
}

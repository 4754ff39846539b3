// Generated maps over many seeds and sizes: the map definition read back
// byte by byte against the rules of terrain, coasts and capacities, every
// map built by the library and connected, the opening position placed by
// the position builder, the default map's fixed counts and stability, and
// the midgame position.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "common/bytes.h"
#include "common/record.h"
#include "tools/mapgen/mapgen.h"
#include "world/centres.h"
#include "world/centres_message.h"
#include "world/map.h"
#include "world/map_message.h"
#include "world/position.h"
#include "world/position_message.h"

namespace {

// ---------------------------------------------------------------------------
// Reading the messages back through the library's readers
// ---------------------------------------------------------------------------

using ProvinceEntry = MapProvinceEntry;

using Adjacency = std::tuple<uint16_t, uint16_t, uint16_t, uint16_t>;  // from, coast, to, coast
using Place = std::pair<uint16_t, uint16_t>;                            // province, coast

struct Definition {
    uint16_t powers = 0;
    std::vector<ProvinceEntry> provinces;
    std::vector<Adjacency> adjacencies;

    bool land(uint16_t p) const { return provinces[p].terrain & TERRAIN_LAND; }
    bool sea(uint16_t p) const { return provinces[p].terrain == TERRAIN_WATER; }
    bool coastal(uint16_t p) const { return provinces[p].terrain == (TERRAIN_LAND | TERRAIN_WATER); }
};

// Reads a map definition; "" or the reason it cannot be read.
std::string read_definition(const std::vector<uint8_t> &message, Definition *definition) {
    if (message.size() < MAPDEF_PROVINCES_AT) return "shorter than its header";
    if (message.size() > MSG_MAX_LENGTH) return "longer than 65,535 bytes";
    if (msg_type(message.data()) != MSG_MAP_DEFINITION) return "wrong type";
    if (msg_length(message.data()) != message.size()) return "length word differs from the size";
    if (msg_flag(message.data()) != FLAG_PLAIN) return "flag is not 1";
    MapCounts counts = map_message_counts(message.data());
    definition->powers = counts.power_count;
    if (message.size() != map_message_size(counts.province_count, counts.adjacency_count))
        return "counts do not fit the size";
    for (uint16_t i = 0; i < counts.province_count; i++)
        definition->provinces.push_back(map_message_province(message.data(), i));
    for (uint32_t a = 0; a < counts.adjacency_count; a++) {
        MapAdjacencyEntry entry = map_message_adjacency(message.data(), counts.province_count, a);
        definition->adjacencies.emplace_back(entry.from_province, entry.from_coast, entry.to_province, entry.to_coast);
    }
    return "";
}

struct UnitEntry {
    uint16_t power, type, province, coast;
    uint32_t dislodged;
    uint16_t retreats;  // the retreat count field as written, whether or not the unit is dislodged
};

std::vector<UnitEntry> read_units(const std::vector<uint8_t> &message) {
    std::vector<UnitEntry> units;
    uint16_t count = position_message_unit_count(message.data());
    for (uint16_t u = 0; u < count && position_message_size(u + 1) <= message.size(); u++) {
        const uint8_t *bytes = position_message_unit(message.data(), u);
        PositionUnitEntry entry;
        position_unit_read(bytes, &entry);
        units.push_back({entry.power, entry.unit_type, entry.province, entry.coast, entry.dislodged,
                         get_u16(bytes, UNIT_RETREAT_COUNT_AT)});
    }
    return units;
}

// Owner per province from a centre-ownership message (11 = unowned).
std::map<uint16_t, uint16_t> read_owners(const std::vector<uint8_t> &message) {
    std::map<uint16_t, uint16_t> owners;
    uint16_t count = centres_message_count(message.data());
    for (uint16_t e = 0; e < count && centres_message_size(e + 1) <= message.size(); e++) {
        CentreOwnership entry = centres_message_entry(message.data(), e);
        owners[entry.province] = entry.power;
    }
    return owners;
}

// Fleet coasts of each province and the places each place reaches.
struct Geography {
    std::map<uint16_t, std::set<uint16_t>> fleet_coasts;
    std::map<Place, std::vector<Place>> reach;
};

Geography geography_of(const Definition &definition) {
    Geography geography;
    for (const auto &[from, from_coast, to, to_coast] : definition.adjacencies) {
        geography.reach[{from, from_coast}].push_back({to, to_coast});
        geography.reach[{to, to_coast}];
        if (from_coast != COAST_ARMY) geography.fleet_coasts[from].insert(from_coast);
        if (to_coast != COAST_ARMY) geography.fleet_coasts[to].insert(to_coast);
    }
    return geography;
}

bool is_special_coast(uint16_t coast) {
    return coast != COAST_ARMY && coast != COAST_SEA && coast != COAST_SHORE && !(coast & COAST_ANY);
}

// ---------------------------------------------------------------------------
// The rules every generated map keeps
// ---------------------------------------------------------------------------

int expected_homes(const MapgenOptions &options) {
    return options.powers * options.homes + options.extra_homes;
}

// Terrain, tokens, centres and home centres of the province entries.
std::string province_problem(const Definition &definition, const MapgenOptions &options) {
    if (definition.powers != options.powers) return "power count";
    if (definition.provinces.size() != static_cast<size_t>(options.provinces)) return "province count";
    std::vector<int> homes(options.powers, 0);
    int seas = 0;
    for (uint16_t p = 0; p < definition.provinces.size(); p++) {
        const ProvinceEntry &entry = definition.provinces[p];
        std::string at = " at province " + std::to_string(p);
        if (entry.token != (((p & 0xFF) << 8) | MAPGEN_PROVINCE_CATEGORY)) return "token" + at;
        if (entry.terrain < 1 || entry.terrain > 3) return "terrain" + at;
        seas += definition.sea(p);
        if (!entry.is_centre) continue;
        if (!definition.land(p)) return "supply centre at sea" + at;
        if (entry.home_power > options.powers) return "home power out of range" + at;
        if (entry.home_power < options.powers) homes[entry.home_power]++;
    }
    for (int power = 0; power < options.powers; power++)
        if (homes[power] != options.homes + (power < options.extra_homes ? 1 : 0))
            return "home centres of power " + std::to_string(power);
    int n = options.provinces;
    if (seas < 1 || seas * 5 < n || seas * 3 > n + 3) return "sea share " + std::to_string(seas);
    return "";
}

// Every entry listed both ways, once; armies between land provinces only,
// fleets only between fleet places, and each province's fleet coasts: 2 at
// sea, 4 or two codes of their own on a coastal province, none inland.
std::string adjacency_problem(const Definition &definition, const Geography &geography) {
    std::set<Adjacency> entries(definition.adjacencies.begin(), definition.adjacencies.end());
    if (entries.size() != definition.adjacencies.size()) return "an entry listed twice";
    uint16_t n = static_cast<uint16_t>(definition.provinces.size());
    for (const auto &[from, from_coast, to, to_coast] : definition.adjacencies) {
        std::string at = " in " + std::to_string(from) + "/" + std::to_string(from_coast) + " -> " +
                         std::to_string(to) + "/" + std::to_string(to_coast);
        if (from >= n || to >= n || from == to) return "province index" + at;
        if (!entries.count({to, to_coast, from, from_coast})) return "no reverse entry" + at;
        if ((from_coast == COAST_ARMY) != (to_coast == COAST_ARMY)) return "army and fleet coasts mixed" + at;
        for (auto [p, coast] : {Place{from, from_coast}, Place{to, to_coast}}) {
            if (coast == COAST_ARMY && !definition.land(p)) return "army place at sea" + at;
            if (coast != COAST_ARMY && definition.sea(p) != (coast == COAST_SEA)) return "sea coast" + at;
            if (coast != COAST_ARMY && !definition.sea(p) && !definition.coastal(p)) return "fleet inland" + at;
            if (coast & COAST_ANY) return "open coast" + at;
        }
    }
    for (uint16_t p = 0; p < n; p++) {
        if (!definition.coastal(p)) continue;
        auto found = geography.fleet_coasts.find(p);
        if (found == geography.fleet_coasts.end()) return "coastal province without a fleet coast: " + std::to_string(p);
        const std::set<uint16_t> &coasts = found->second;
        bool single = coasts == std::set<uint16_t>{COAST_SHORE};
        bool two = coasts.size() == 2 && std::all_of(coasts.begin(), coasts.end(), is_special_coast);
        if (!single && !two) return "fleet coasts of coastal province " + std::to_string(p);
    }
    return "";
}

// Two coasts face separate waters (no sea on both, no sea of one beside a
// sea of the other), and a fleet moving along a coast between two coastal
// provinces has a sea that both of its ends touch.
std::string coast_problem(const Definition &definition, const Geography &geography) {
    auto seas_of = [&](Place place) {
        std::set<uint16_t> seas;
        for (Place next : geography.reach.at(place))
            if (definition.sea(next.first)) seas.insert(next.first);
        return seas;
    };
    std::set<std::pair<uint16_t, uint16_t>> sea_pairs;
    for (const auto &[from, from_coast, to, to_coast] : definition.adjacencies)
        if (definition.sea(from) && definition.sea(to)) sea_pairs.insert({from, to});
    for (const auto &[p, coasts] : geography.fleet_coasts) {
        if (coasts.size() != 2) continue;
        std::set<uint16_t> first = seas_of({p, *coasts.begin()}), second = seas_of({p, *coasts.rbegin()});
        if (first.empty() || second.empty()) return "a coast without a sea at " + std::to_string(p);
        for (uint16_t s : first)
            for (uint16_t t : second)
                if (s == t || sea_pairs.count({s, t}))
                    return "the two coasts of " + std::to_string(p) + " share water";
    }
    for (const auto &[from, from_coast, to, to_coast] : definition.adjacencies) {
        if (from_coast == COAST_ARMY || definition.sea(from) || definition.sea(to)) continue;
        std::set<uint16_t> a = seas_of({from, from_coast}), b = seas_of({to, to_coast});
        if (std::none_of(a.begin(), a.end(), [&](uint16_t s) { return b.count(s) > 0; }))
            return "coastal fleet move without shared water: " + std::to_string(from) + " -> " + std::to_string(to);
    }
    return "";
}

// The Map's capacities, counted from the message itself.
std::string capacity_problem(const Definition &definition, const Geography &geography) {
    std::set<Place> places;
    for (const auto &[place, next] : geography.reach) {
        places.insert(place);
        if (next.size() > MAX_ADJACENT) return "more than 20 adjacent locations";
    }
    std::map<uint16_t, std::set<uint16_t>> neighbours;
    for (const auto &[from, from_coast, to, to_coast] : definition.adjacencies) neighbours[from].insert(to);
    for (const auto &[p, set] : neighbours)
        if (set.size() > MAX_ADJACENT) return "more than 20 neighbours";
    for (uint16_t p = 0; p < definition.provinces.size(); p++)
        if (definition.land(p)) places.insert({p, COAST_ARMY});
    if (places.size() > MAX_LOCATIONS) return "more than 600 locations";
    return "";
}

struct MapRelease {
    void operator()(Map *map) const { map_release(map); }
};
using MapPtr = std::unique_ptr<Map, MapRelease>;

// The library builds the Map, with as many Locations as the message names
// and a path between every two provinces.
std::string build_problem(const GeneratedMap &generated, const Definition &definition, const Geography &geography) {
    MapPtr map(map_build(generated.map_message.data()));
    if (!map) return "map_build refused the map";
    std::set<Place> places;
    for (const auto &[place, next] : geography.reach) places.insert(place);
    for (uint16_t p = 0; p < definition.provinces.size(); p++)
        if (definition.land(p)) places.insert({p, COAST_ARMY});
    if (map->location_count != places.size()) return "location count";
    for (int i = 0; i < map->province_count; i++)
        for (int j = 0; j < map->province_count; j++)
            if (i != j && map->distance[i][j] == DISTANCE_UNREACHABLE)
                return "province " + std::to_string(j) + " unreachable from " + std::to_string(i);
    return "";
}

// Even-odd test of a point against a province's outline loops.
bool inside(const LayoutProvince &province, LayoutPoint point) {
    bool in = false;
    double px = point.x + 0.25, py = point.y + 0.25;  // off every vertex and edge
    for (const std::vector<LayoutPoint> &loop : province.outline)
        for (size_t i = 0, j = loop.size() - 1; i < loop.size(); j = i++) {
            double xi = loop[i].x, yi = loop[i].y, xj = loop[j].x, yj = loop[j].y;
            if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
        }
    return in;
}

// The layout agrees with the map and every drawing point lies in its own
// province.
std::string layout_problem(const GeneratedMap &generated, const Definition &definition,
                           const Geography &geography) {
    const Layout &layout = generated.layout;
    if (layout.provinces.size() != definition.provinces.size()) return "layout province count";
    if (layout.powers.size() != definition.powers) return "layout power count";
    std::set<std::string> abbreviations;
    for (uint16_t p = 0; p < layout.provinces.size(); p++) {
        const LayoutProvince &province = layout.provinces[p];
        const ProvinceEntry &entry = definition.provinces[p];
        std::string at = " of province " + std::to_string(p);
        if (province.terrain != entry.terrain || province.centre != (entry.is_centre != 0) ||
            (entry.is_centre && province.home_power != entry.home_power))
            return "layout terrain or centre" + at;
        if (province.abbreviation.size() != 3 ||
            !std::all_of(province.abbreviation.begin(), province.abbreviation.end(), ::isupper) ||
            !abbreviations.insert(province.abbreviation).second)
            return "abbreviation" + at;
        if (province.outline.empty() || province.outline[0].size() < 6) return "outline" + at;
        for (const auto &loop : province.outline)
            for (LayoutPoint point : loop)
                if (point.x < 0 || point.y < 0 || point.x > layout.width || point.y > layout.height)
                    return "outline point off the plane" + at;
        if (!inside(province, province.label)) return "label outside" + at;
        if (entry.is_centre && !inside(province, province.centre_mark)) return "centre mark outside" + at;
        std::set<uint16_t> special;
        auto coasts = geography.fleet_coasts.find(p);
        if (coasts != geography.fleet_coasts.end())
            for (uint16_t coast : coasts->second)
                if (is_special_coast(coast)) special.insert(coast);
        std::set<uint16_t> drawn;
        for (const LayoutCoast &coast : province.coasts) {
            drawn.insert(coast.code);
            if (!inside(province, coast.at)) return "coast point outside" + at;
        }
        if (drawn != special) return "layout coasts" + at;
    }
    return "";
}

std::string map_problem(const GeneratedMap &generated, const MapgenOptions &options) {
    Definition definition;
    std::string problem = read_definition(generated.map_message, &definition);
    if (!problem.empty()) return problem;
    Geography geography = geography_of(definition);
    for (auto check : {province_problem(definition, options), adjacency_problem(definition, geography),
                       coast_problem(definition, geography), capacity_problem(definition, geography),
                       build_problem(generated, definition, geography),
                       layout_problem(generated, definition, geography)})
        if (!check.empty()) return check;
    return "";
}

// The opening: one unit on each home centre, of a type that can stand
// there, at a real coast; owners as the homes; every unit placed by the
// position builder where the message says.
std::string opening_problem(const GeneratedMap &generated, const MapgenOptions &options) {
    Definition definition;
    read_definition(generated.map_message, &definition);
    Geography geography = geography_of(definition);
    const std::vector<uint8_t> &message = generated.position_message;
    if (msg_type(message.data()) != MSG_POSITION || msg_length(message.data()) != message.size())
        return "position header";
    PositionPhase phase = position_message_phase(message.data());
    if (phase.season != SEASON_SPRING || phase.year != MAPGEN_OPENING_YEAR) return "season or year";
    std::vector<UnitEntry> units = read_units(message);
    if (units.size() != static_cast<size_t>(expected_homes(options)) || units.size() > MAX_UNITS) return "unit count";
    std::set<uint16_t> occupied;
    for (const UnitEntry &unit : units) {
        std::string at = " at province " + std::to_string(unit.province);
        if (unit.province >= definition.provinces.size()) return "province index" + at;
        const ProvinceEntry &home = definition.provinces[unit.province];
        if (!home.is_centre || home.home_power != unit.power) return "unit not on its power's home" + at;
        if (!occupied.insert(unit.province).second) return "two units" + at;
        if (unit.dislodged || unit.retreats) return "dislodged" + at;
        if (unit.type == UNIT_ARMY && unit.coast != COAST_ARMY) return "army coast" + at;
        if (unit.type == UNIT_FLEET) {
            auto coasts = geography.fleet_coasts.find(unit.province);
            if (!definition.coastal(unit.province) || coasts == geography.fleet_coasts.end() ||
                !coasts->second.count(unit.coast))
                return "fleet coast" + at;
        }
        if (unit.type != UNIT_ARMY && unit.type != UNIT_FLEET) return "unit type" + at;
    }
    std::map<uint16_t, uint16_t> owners = read_owners(generated.centres_message);
    for (uint16_t p = 0; p < definition.provinces.size(); p++) {
        const ProvinceEntry &entry = definition.provinces[p];
        if (!entry.is_centre) {
            if (owners.count(p)) return "ownership of a province that is no centre";
            continue;
        }
        if (entry.home_power >= definition.powers) {
            // An unowned centre: marked in games of at most eleven powers,
            // left out in larger ones, where 11 is a power.
            bool marked = owners.count(p) && owners[p] == POWER_UNOWNED;
            if (definition.powers <= POWER_UNOWNED ? !marked : owners.count(p) != 0)
                return "unowned centre " + std::to_string(p);
            continue;
        }
        if (!owners.count(p) || owners[p] != entry.home_power) return "owner of centre " + std::to_string(p);
    }

    MapPtr map(map_build(generated.map_message.data()));
    if (!map) return "map_build refused the map";
    CentreTable *centres = centre_table_retain(centre_table_build(map.get(), generated.centres_message.data()));
    std::vector<uint8_t> copy = message;
    Position *position = position_build(map.get(), centres, copy.data());
    std::string problem;
    if (!position || position->unit_count != units.size()) problem = "position_build left units out";
    for (size_t u = 0; problem.empty() && u < units.size(); u++) {
        const Unit *unit = position->units[u];
        const LocationState *location = unit->location;
        if (!location) {
            problem = "unit " + std::to_string(u) + " has no location";
            break;
        }
        uint16_t p = map_province_index(map.get(), location->location->province);
        bool army_place = location->coast == COAST_ARMY;
        if (p != units[u].province || location->coast != units[u].coast ||
            army_place != (unit->unit_type == UNIT_ARMY))
            problem = "unit " + std::to_string(u) + " placed elsewhere";
    }
    if (position) brox_position_free(position);
    centre_table_release(map.get(), centres);
    return problem;
}

// ---------------------------------------------------------------------------
// Many seeds and sizes
// ---------------------------------------------------------------------------

MapgenOptions options_of(uint64_t seed, int provinces, int powers, int homes = 3, int extra = 0) {
    MapgenOptions options;
    options.seed = seed;
    options.provinces = provinces;
    options.powers = powers;
    options.homes = homes;
    options.extra_homes = extra;
    return options;
}

// From the smallest board to the largest the library takes, with the most
// home centres (100 starting units) among them.
const std::vector<MapgenOptions> &sizes() {
    static const std::vector<MapgenOptions> all = {
        options_of(0, 8, 1, 1),   options_of(0, 8, 1, 3),   options_of(0, 12, 2),
        options_of(0, 20, 3, 2, 1), options_of(0, 40, 5),   options_of(0, 75, 7, 3, 1),
        options_of(0, 110, 10),   options_of(0, 160, 14, 4), options_of(0, 230, 17),
        options_of(0, 300, 20),   options_of(0, 300, 20, 5), options_of(0, 300, 1, 1)};
    return all;
}

TEST(MapgenMaps, EveryMapKeepsTheRulesAndIsBuiltConnected) {
    int two_coast_maps = 0;
    for (MapgenOptions options : sizes())
        for (uint64_t seed : {1u, 2u, 3u, 17u, 1234567u}) {
            options.seed = seed;
            SCOPED_TRACE("seed " + std::to_string(seed) + ", " + std::to_string(options.provinces) +
                         " provinces, " + std::to_string(options.powers) + " powers");
            ASSERT_EQ(mapgen_check_options(options), "");
            GeneratedMap generated = mapgen_generate(options);
            ASSERT_FALSE(generated.map_message.empty());
            EXPECT_EQ(map_problem(generated, options), "");
            EXPECT_EQ(opening_problem(generated, options), "");
            for (const LayoutProvince &province : generated.layout.provinces)
                if (!province.coasts.empty()) {
                    two_coast_maps++;
                    break;
                }
        }
    // Two-coast provinces are drawn where the shore allows: most maps of
    // 40 provinces or more have some.
    EXPECT_GE(two_coast_maps, 30);
}

// A winter owes one build per centre beyond a power's units: a map of more
// centres than a Position holds units could owe builds with no room for
// them.
TEST(MapgenMaps, NoMapHasMoreSupplyCentresThanAPositionHoldsUnits) {
    for (MapgenOptions options : {options_of(0, 300, 20), options_of(0, 300, 20, 5), options_of(0, 300, 1, 1),
                                  options_of(0, 230, 17)})
        for (uint64_t seed : {1u, 2u, 3u}) {
            options.seed = seed;
            GeneratedMap generated = mapgen_generate(options);
            std::unique_ptr<Map, void (*)(Map *)> map(map_build(generated.map_message.data()), map_release);
            ASSERT_NE(map, nullptr);
            EXPECT_LE(map->centre_count, MAX_UNITS) << options.provinces << " provinces, seed " << seed;
            // The large maps get as many as fit.
            if (options.provinces == 300) {
                EXPECT_EQ(map->centre_count, MAX_UNITS);
            }
        }
}

TEST(MapgenMaps, SameOptionsGiveTheSameBytesAndSeedsDiffer) {
    MapgenOptions options = options_of(99, 120, 9);
    GeneratedMap first = mapgen_generate(options), second = mapgen_generate(options);
    EXPECT_EQ(first.map_message, second.map_message);
    EXPECT_EQ(first.centres_message, second.centres_message);
    EXPECT_EQ(first.position_message, second.position_message);
    EXPECT_EQ(layout_json(first.layout), layout_json(second.layout));
    options.seed = 100;
    EXPECT_NE(mapgen_generate(options).map_message, first.map_message);
}

TEST(MapgenMaps, OptionsOutsideTheLimitsAreRefusedWithNothingGenerated) {
    const std::vector<MapgenOptions> refused = {
        options_of(1, 7, 1),         options_of(1, 301, 7),     options_of(1, 75, 0),
        options_of(1, 75, 21),       options_of(1, 75, 7, 0),   options_of(1, 75, 7, 6),
        options_of(1, 75, 7, 3, 8),  options_of(1, 75, 7, 3, -1),
        options_of(1, 8, 2, 3),      // six homes on six land provinces
        options_of(1, 300, 20, 5, 1) // 101 starting units
    };
    for (const MapgenOptions &options : refused) {
        SCOPED_TRACE(std::to_string(options.provinces) + " provinces, " + std::to_string(options.powers) +
                     " powers, " + std::to_string(options.homes) + " homes");
        EXPECT_NE(mapgen_check_options(options), "");
        GeneratedMap generated = mapgen_generate(options);
        EXPECT_TRUE(generated.map_message.empty());
        EXPECT_TRUE(generated.position_message.empty());
    }
}

// ---------------------------------------------------------------------------
// The default map
// ---------------------------------------------------------------------------

uint64_t fnv1a(const std::vector<uint8_t> &bytes, uint64_t hash = 0xcbf29ce484222325ull) {
    for (uint8_t byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
    return hash;
}

TEST(MapgenDefault, HasTheStandardCounts) {
    GeneratedMap generated = mapgen_default();
    Definition definition;
    ASSERT_EQ(read_definition(generated.map_message, &definition), "");
    Geography geography = geography_of(definition);
    int sea = 0, inland = 0, coastal = 0, two_coasts = 0, centres = 0, homes = 0;
    std::map<uint16_t, int> homes_of;
    for (uint16_t p = 0; p < definition.provinces.size(); p++) {
        sea += definition.sea(p);
        inland += definition.provinces[p].terrain == TERRAIN_LAND;
        coastal += definition.coastal(p);
        two_coasts += definition.coastal(p) && geography.fleet_coasts[p].size() == 2;
        if (!definition.provinces[p].is_centre) continue;
        centres++;
        if (definition.provinces[p].home_power < definition.powers) {
            homes++;
            homes_of[definition.provinces[p].home_power]++;
        }
    }
    EXPECT_EQ(definition.powers, 7);
    EXPECT_EQ(definition.provinces.size(), 75u);
    EXPECT_EQ(sea, 19);
    EXPECT_EQ(inland, 14);
    EXPECT_EQ(coastal, 42);
    EXPECT_EQ(two_coasts, 3);
    EXPECT_EQ(centres, 34);
    EXPECT_EQ(homes, 22);
    std::vector<int> per_power;
    for (auto [power, count] : homes_of) per_power.push_back(count);
    std::sort(per_power.begin(), per_power.end());
    EXPECT_EQ(per_power, (std::vector<int>{3, 3, 3, 3, 3, 3, 4}));
    EXPECT_EQ(read_units(generated.position_message).size(), 22u);
    EXPECT_EQ(map_problem(generated, mapgen_default_options()), "");
    EXPECT_EQ(opening_problem(generated, mapgen_default_options()), "");
}

// The default map is the same on every build: a change of these hashes is
// a change of the map that every benchmark and the local game stand on.
TEST(MapgenDefault, MessagesAndLayoutNeverChange) {
    GeneratedMap generated = mapgen_default();
    std::string json = layout_json(generated.layout);
    EXPECT_EQ(fnv1a(generated.map_message), 0xa4228b146a49bef2ull);
    EXPECT_EQ(fnv1a(generated.centres_message), 0xe0b4069f03437650ull);
    EXPECT_EQ(fnv1a(generated.position_message), 0x0d99b3aad1d3f34cull);
    EXPECT_EQ(fnv1a(std::vector<uint8_t>(json.begin(), json.end())), 0x78e2690c6c84347full);
    EXPECT_EQ(generated.seed_used, mapgen_default_options().seed);
}

// ---------------------------------------------------------------------------
// The midgame position on the default map
// ---------------------------------------------------------------------------

TEST(MapgenMidgame, EveryCentreOwnedAndAUnitPerCentreWithFleetsReadyToConvoy) {
    GeneratedMap generated = mapgen_default();
    GeneratedPosition midgame = mapgen_midgame_position();
    EXPECT_EQ(midgame.position_message, mapgen_midgame_position().position_message);
    Definition definition;
    ASSERT_EQ(read_definition(generated.map_message, &definition), "");
    Geography geography = geography_of(definition);

    std::map<uint16_t, uint16_t> owners = read_owners(midgame.centres_message);
    std::map<uint16_t, int> owned;
    int centres = 0;
    for (uint16_t p = 0; p < definition.provinces.size(); p++) {
        if (!definition.provinces[p].is_centre) continue;
        centres++;
        ASSERT_TRUE(owners.count(p)) << "centre " << p;
        ASSERT_LT(owners[p], definition.powers) << "centre " << p;
        owned[owners[p]]++;
    }
    EXPECT_EQ(owners.size(), static_cast<size_t>(centres));

    const std::vector<uint8_t> &message = midgame.position_message;
    EXPECT_EQ(position_message_phase(message.data()).season, SEASON_SPRING);
    std::vector<UnitEntry> units = read_units(message);
    ASSERT_EQ(units.size(), 34u);
    std::map<uint16_t, int> unit_count;
    std::set<uint16_t> occupied;
    for (const UnitEntry &unit : units) {
        unit_count[unit.power]++;
        EXPECT_TRUE(occupied.insert(unit.province).second) << "two units in " << unit.province;
        if (unit.type == UNIT_ARMY) {
            EXPECT_TRUE(definition.land(unit.province));
            EXPECT_EQ(unit.coast, COAST_ARMY);
        } else {
            EXPECT_TRUE(geography.fleet_coasts[unit.province].count(unit.coast)) << "fleet in " << unit.province;
        }
    }
    for (uint16_t power = 0; power < definition.powers; power++)
        EXPECT_EQ(unit_count[power], owned[power]) << "power " << power;

    // A fleet at sea beside an army of its power on a coast, the sea
    // touching some other coast the army could land on.
    int convoys = 0;
    for (const UnitEntry &fleet : units) {
        if (fleet.type != UNIT_FLEET || !definition.sea(fleet.province)) continue;
        const std::vector<Place> &reach = geography.reach[{fleet.province, COAST_SEA}];
        for (const UnitEntry &army : units) {
            if (army.type != UNIT_ARMY || army.power != fleet.power || !definition.coastal(army.province)) continue;
            bool beside = std::any_of(reach.begin(), reach.end(), [&](Place at) { return at.first == army.province; });
            bool landing = std::any_of(reach.begin(), reach.end(), [&](Place at) {
                return at.first != army.province && definition.coastal(at.first);
            });
            if (beside && landing) {
                convoys++;
                break;
            }
        }
    }
    EXPECT_GE(convoys, 5);

    MapPtr map(map_build(generated.map_message.data()));
    ASSERT_NE(map, nullptr);
    CentreTable *table = centre_table_retain(centre_table_build(map.get(), midgame.centres_message.data()));
    std::vector<uint8_t> copy = message;
    Position *position = position_build(map.get(), table, copy.data());
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->unit_count, 34);
    for (int u = 0; u < position->unit_count; u++) {
        ASSERT_NE(position->units[u]->location, nullptr);
        EXPECT_EQ(position->units[u]->location->coast == COAST_ARMY, position->units[u]->unit_type == UNIT_ARMY);
    }
    for (uint16_t p = 0; p < definition.provinces.size(); p++) {
        if (!definition.provinces[p].is_centre) continue;
        EXPECT_LT(position->provinces[p].owner, definition.powers);
    }
    brox_position_free(position);
    centre_table_release(map.get(), table);
}

}  // namespace

// Building the Map: Location numbering, adjacency and neighbour flags,
// distance tables, and definitions the Map must refuse.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <vector>

#include "board.h"
#include "common/bytes.h"
#include "common/record.h"
#include "doubles.h"
#include "world/map.h"
#include "world/map_message.h"

namespace {

using board::AdjacencyEntry;
using board::Board;
using board::MapDefinition;
using board::ProvinceEntry;

struct MapRelease {
    void operator()(Map *map) const { map_release(map); }
};
using MapPtr = std::unique_ptr<Map, MapRelease>;

MapPtr build(const std::vector<uint8_t> &message) { return MapPtr(map_build(message.data())); }
MapPtr build(const Board &board) { return build(board.map_message()); }

// A definition of n provinces of one terrain, no centres.
MapDefinition plain_definition(int provinces, uint16_t terrain, uint16_t powers = 1) {
    MapDefinition definition;
    definition.power_count = powers;
    for (int i = 0; i < provinces; i++) {
        ProvinceEntry entry;
        entry.token = static_cast<uint16_t>(((i & 0xFF) << 8) | 0x50);
        entry.terrain = terrain;
        definition.provinces.push_back(entry);
    }
    return definition;
}

TEST(Map, LimitsOfProvincesAndPowers) {
    EXPECT_NE(build(plain_definition(300, 1, 20).bytes()), nullptr);
    long before = test_memory::live_blocks();
    EXPECT_EQ(build(plain_definition(301, 1, 20).bytes()), nullptr);
    EXPECT_EQ(build(plain_definition(300, 1, 21).bytes()), nullptr);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

TEST(Map, ProvincesKeepTokenTerrainAndCentreKind) {
    Board board(R"(
        powers 2
        land  PAR*0 BUR MUN*
        coast BRE*1
        sea   MAO
    )");
    MapDefinition definition = board.definition;
    definition.provinces[1].terrain = 0x8001;  // land with a high water bit
    definition.provinces[4].token = 0x1234;
    MapPtr map = build(definition.bytes());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->province_count, 5);
    EXPECT_EQ(map->power_count, 2);
    EXPECT_EQ(map->centre_count, 3);
    EXPECT_EQ(map->provinces[0].centre_kind, CENTRE_HOME);
    EXPECT_EQ(map->provinces[0].home_power, 0);
    EXPECT_EQ(map->provinces[0].terrain, TERRAIN_LAND);
    EXPECT_EQ(map->provinces[1].centre_kind, CENTRE_NONE);
    EXPECT_EQ(map->provinces[1].home_power, 2);  // a non-centre names nobody
    EXPECT_EQ(map->provinces[1].terrain, TERRAIN_LAND | TERRAIN_WATER);
    EXPECT_EQ(map->provinces[2].centre_kind, CENTRE_NEUTRAL);
    EXPECT_EQ(map->provinces[2].home_power, 2);
    EXPECT_EQ(map->provinces[3].centre_kind, CENTRE_HOME);
    EXPECT_EQ(map->provinces[3].home_power, 1);
    EXPECT_EQ(map->provinces[3].terrain, 3);
    EXPECT_EQ(map->provinces[4].terrain, TERRAIN_WATER);
    EXPECT_EQ(map->provinces[4].token, 0x1234);
}

TEST(Map, WithoutAdjacenciesEveryLandProvinceHasOneArmyLocation) {
    Board board(R"(
        powers 1
        sea   S1
        land  A
        coast B
        sea   S2
        land  C
    )");
    MapPtr map = build(board);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->location_count, 3);
    const uint16_t expected_provinces[] = {1, 2, 4};
    for (int l = 0; l < 3; l++) {
        EXPECT_EQ(map->locations[l].index, l);
        EXPECT_EQ(map_province_index(map.get(), map->locations[l].province), expected_provinces[l]);
        EXPECT_EQ(map->locations[l].coast, COAST_ARMY);
        EXPECT_EQ(map->locations[l].adjacent_count, 0);
    }
    for (int i = 0; i < 5; i++)
        for (int j = 0; j < 5; j++) EXPECT_EQ(map->distance[i][j], 255) << i << "," << j;
}

TEST(Map, LocationsAreNumberedInFirstMentionOrder) {
    Board board(R"(
        powers 1
        land  X
        coast A B
        sea   S
        fleet S-B A>S
        army  A-B
    )");
    // Entries: S/2>B/4, B/4>S/2, A/4>S/2, A/1>B/1, B/1>A/1; X has no entry.
    MapPtr map = build(board);
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->location_count, 6);
    struct Expected { const char *province; uint16_t coast; } expected[] = {
        {"S", 2}, {"B", 4}, {"A", 4}, {"A", 1}, {"B", 1}, {"X", 1}};
    for (int l = 0; l < 6; l++) {
        EXPECT_EQ(map_province_index(map.get(), map->locations[l].province),
                  board.index(expected[l].province)) << "location " << l;
        EXPECT_EQ(map->locations[l].coast, expected[l].coast) << "location " << l;
    }
    // The adjacency of S/2 is B/4; of A/4 it is S/2.
    ASSERT_EQ(map->locations[0].adjacent_count, 1);
    EXPECT_EQ(map->locations[0].adjacent[0], &map->locations[1]);
    EXPECT_EQ(map->locations[2].adjacent[0], &map->locations[0]);
    EXPECT_EQ(map_find_location(map.get(), board.index("A"), 1), &map->locations[3]);
    EXPECT_EQ(map_find_location(map.get(), board.index("A"), 2), nullptr);
    EXPECT_EQ(map_find_location(map.get(), board.index("A"), 0x8004), nullptr);
}

TEST(Map, DuplicateAdjacencyIsKeptInTheLocationButNotInNeighbours) {
    Board board(R"(
        powers 1
        land  A B
        army  A>B A>B
    )");
    MapPtr map = build(board);
    ASSERT_NE(map, nullptr);
    const Location *a = &map->locations[0];
    ASSERT_EQ(a->adjacent_count, 2);
    EXPECT_EQ(a->adjacent[0], a->adjacent[1]);
    EXPECT_EQ(map->provinces[board.index("A")].neighbour_count, 1);
}

TEST(Map, NeighbourFlagsFollowTheCoastsOfEveryAdjacency) {
    Board board(R"(
        powers 1
        coast A B C D
        sea   S T
        army  A-B
        fleet S-T C-D
        army  C/4>A/1
    )");
    MapPtr map = build(board);
    ASSERT_NE(map, nullptr);
    auto flags = [&](const char *from, const char *to) -> int {
        const Province &province = map->provinces[board.index(from)];
        for (int n = 0; n < province.neighbour_count; n++)
            if (province.neighbours[n].province == &map->provinces[board.index(to)])
                return province.neighbours[n].flags;
        return -1;
    };
    EXPECT_EQ(flags("A", "B"), ADJ_LAND);
    EXPECT_EQ(flags("S", "T"), ADJ_WATER);
    EXPECT_EQ(flags("C", "D"), ADJ_LAND | ADJ_WATER);
    EXPECT_EQ(flags("C", "A"), ADJ_LAND);  // 4 to 1: no coast 2, but a coast 1
    EXPECT_EQ(flags("A", "C"), -1);        // the list is directed

    // Flags accumulate over later adjacencies between the same provinces.
    Board mixed(R"(
        powers 1
        coast A B
        army  A>B
        fleet A>B
    )");
    MapPtr mixed_map = build(mixed);
    ASSERT_NE(mixed_map, nullptr);
    EXPECT_EQ(mixed_map->provinces[0].neighbour_count, 1);
    EXPECT_EQ(mixed_map->provinces[0].neighbours[0].flags, ADJ_LAND | ADJ_WATER);
}

TEST(Map, DistancesCountMovesWithANonZeroDiagonal) {
    Board board(R"(
        powers 1
        land A B C D
        army A-B B>C
    )");
    MapPtr map = build(board);
    ASSERT_NE(map, nullptr);
    uint16_t a = board.index("A"), b = board.index("B"), c = board.index("C"), d = board.index("D");
    EXPECT_EQ(map->distance[a][b], 1);
    EXPECT_EQ(map->distance[b][a], 1);
    EXPECT_EQ(map->distance[a][a], 2);
    EXPECT_EQ(map->distance[b][b], 2);
    EXPECT_EQ(map->distance[a][c], 2);
    EXPECT_EQ(map->distance[b][c], 1);
    EXPECT_EQ(map->distance[c][b], 255);  // one-way move
    EXPECT_EQ(map->distance[c][c], 255);
    EXPECT_EQ(map->distance[a][d], 255);
    EXPECT_EQ(map->provinces[c].neighbour_count, 0);
    EXPECT_EQ(map->provinces[b].neighbour_count, 2);
}

TEST(Map, PathsOf255MovesOrMoreStayUnreachable) {
    // A one-way chain 0 > 1 > ... > 299.
    MapDefinition definition = plain_definition(300, 1);
    for (uint16_t i = 0; i + 1 < 300; i++) definition.adjacencies.push_back({i, 1, uint16_t(i + 1), 1});
    MapPtr map = build(definition.bytes());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->distance[0][1], 1);
    EXPECT_EQ(map->distance[0][254], 254);
    EXPECT_EQ(map->distance[0][255], 255);
    EXPECT_EQ(map->distance[0][299], 255);
    EXPECT_EQ(map->distance[10][264], 254);
    EXPECT_EQ(map->distance[10][265], 255);
    EXPECT_EQ(map->distance[299][0], 255);
}

// The relaxation exactly as written: k, then i, then j, full-width sums.
std::vector<std::vector<int>> reference_distances(const MapDefinition &definition) {
    size_t n = definition.provinces.size();
    std::vector<std::vector<int>> d(n, std::vector<int>(n, 255));
    for (const AdjacencyEntry &a : definition.adjacencies) d[a.from_province][a.to_province] = 1;
    for (size_t k = 0; k < n; k++)
        for (size_t i = 0; i < n; i++)
            for (size_t j = 0; j < n; j++)
                if (d[i][k] + d[k][j] < d[i][j]) d[i][j] = d[i][k] + d[k][j];
    return d;
}

TEST(Map, DistancesMatchTheLiteralRelaxationOnRandomMaps) {
    std::mt19937 random(11);
    for (int round = 0; round < 12; round++) {
        int n = 2 + static_cast<int>(random() % 120);
        MapDefinition definition = plain_definition(n, 1, 3);
        int adjacencies = static_cast<int>(random() % (3 * n));
        for (int a = 0; a < adjacencies; a++) {
            uint16_t from = static_cast<uint16_t>(random() % n);
            uint16_t to = static_cast<uint16_t>(random() % n);
            definition.adjacencies.push_back({from, uint16_t(1 + random() % 3), to, uint16_t(1 + random() % 3)});
        }
        MapPtr map = build(definition.bytes());
        if (!map) continue;  // over a capacity: refused, nothing to compare
        auto expected = reference_distances(definition);
        for (int i = 0; i < n; i++)
            for (int j = 0; j < n; j++)
                ASSERT_EQ(map->distance[i][j], expected[i][j]) << "round " << round << " " << i << "," << j;
    }
}

TEST(Map, HomeDistancesUseTheNearestHomeCentre) {
    Board single(R"(
        powers 2
        land H*0 N
        army H-N
    )");
    MapPtr map = build(single);
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->home_distance[0][0], 2);
    EXPECT_EQ(map->home_distance[0][1], 1);
    EXPECT_EQ(map->home_distance[1][0], 255);  // a power without home centres
    EXPECT_EQ(map->home_distance[1][1], 255);

    Board pair(R"(
        powers 1
        land H*0 K*0 Z* F
        army H-K K-Z Z-F
    )");
    MapPtr paired = build(pair);
    ASSERT_NE(paired, nullptr);
    EXPECT_EQ(paired->home_distance[0][0], 1);
    EXPECT_EQ(paired->home_distance[0][1], 1);
    EXPECT_EQ(paired->home_distance[0][2], 1);
    EXPECT_EQ(paired->home_distance[0][3], 2);
    EXPECT_EQ(paired->centre_count, 3);
    EXPECT_EQ(paired->provinces[2].centre_kind, CENTRE_NEUTRAL);
}

TEST(Map, ProvincesBeyondIndex255KeepTheirOwnLocations) {
    // Tokens of provinces 256 to 299 repeat the high bytes 0 to 43.
    MapDefinition definition = plain_definition(300, 1, 20);
    MapPtr map = build(definition.bytes());
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->location_count, 300);
    for (int i = 0; i < 300; i++) {
        EXPECT_EQ(map_province_index(map.get(), map->locations[i].province), i);
        EXPECT_EQ(map->locations[i].coast, COAST_ARMY);
    }
    definition.adjacencies.push_back({299, 1, 43, 1});
    MapPtr linked = build(definition.bytes());
    ASSERT_NE(linked, nullptr);
    EXPECT_EQ(map_province_index(linked.get(), linked->locations[0].province), 299);
    EXPECT_EQ(map_province_index(linked.get(), linked->locations[1].province), 43);
    EXPECT_EQ(linked->distance[299][43], 1);
    EXPECT_EQ(linked->distance[43][299], 255);
}

TEST(Map, RefusesDefinitionsThatOverrunTheMessageOrTheRecord) {
    long before = test_memory::live_blocks();
    Board board(R"(
        powers 1
        land A B
        army A-B
    )");
    std::vector<uint8_t> message = board.map_message();
    ASSERT_NE(build(message), nullptr);

    std::vector<uint8_t> short_length = message;
    msg_set_length(short_length.data(), static_cast<uint16_t>(message.size() - 1));
    EXPECT_EQ(build(short_length), nullptr);

    std::vector<uint8_t> many_adjacencies = message;
    put_u32(many_adjacencies.data(), MAPDEF_ADJACENCY_COUNT_AT, 0x40000000u);
    EXPECT_EQ(build(many_adjacencies), nullptr);

    std::vector<uint8_t> header_only(MSG_HEADER_SIZE);
    msg_header_init(header_only.data(), MSG_MAP_DEFINITION, MSG_HEADER_SIZE);
    EXPECT_EQ(build(header_only), nullptr);

    MapDefinition outside = board.definition;
    outside.adjacencies.push_back({0, 1, 2, 1});
    EXPECT_EQ(build(outside.bytes()), nullptr);

    // 21 adjacent Locations for one Location.
    MapDefinition crowded = plain_definition(22, 1);
    for (uint16_t i = 1; i < 22; i++) crowded.adjacencies.push_back({0, 1, i, 1});
    EXPECT_EQ(build(crowded.bytes()), nullptr);
    crowded.adjacencies.pop_back();
    EXPECT_NE(build(crowded.bytes()), nullptr);

    // 21 neighbours of one province through different Locations.
    MapDefinition neighbours = plain_definition(22, 1);
    for (uint16_t i = 1; i < 22; i++) neighbours.adjacencies.push_back({0, uint16_t(i % 2 ? 1 : 4), i, 1});
    EXPECT_EQ(build(neighbours.bytes()), nullptr);

    // More than 600 Locations: 300 provinces with three coasts each.
    MapDefinition locations = plain_definition(300, 3);
    for (uint16_t i = 0; i < 300; i++)
        for (uint16_t coast = 5; coast < 7; coast++) locations.adjacencies.push_back({i, coast, i, 1});
    EXPECT_EQ(build(locations.bytes()), nullptr);
    EXPECT_EQ(test_memory::live_blocks(), before);
}

TEST(Map, AHomePowerBeyondThePowersMakesANeutralCentre) {
    MapDefinition definition = plain_definition(2, 1, 2);
    definition.provinces[0].is_centre = 1;
    definition.provinces[0].home_power = 7;
    MapPtr map = build(definition.bytes());
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->provinces[0].centre_kind, CENTRE_NEUTRAL);
    EXPECT_EQ(map->provinces[0].home_power, 2);
    EXPECT_EQ(map->centre_count, 1);
}

TEST(Map, AFailedAllocationBuildsNothing) {
    Board board(R"(
        powers 1
        land A B
        army A-B
    )");
    test_memory::fail_at(1);
    EXPECT_EQ(build(board), nullptr);
    EXPECT_TRUE(test_memory::failed());
    test_memory::fail_at(0);
    EXPECT_NE(build(board), nullptr);
}

}  // namespace

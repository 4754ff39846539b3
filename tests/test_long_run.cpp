// A long game on the default map: many years of orders drawn at random
// (from a fixed seed) from the candidates, adjudicated phase by phase, with
// the game's invariants checked at every phase and the allocator's live
// blocks accounted for after every free: only the current Position's own.  Its own program, so that CI can
// run it alone under valgrind.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "doubles.h"
#include "tools/mapgen/mapgen.h"
#include "random_play.h"
#include "tools/mapgen/random.h"
#include "world/centres.h"
#include "world/check.h"
#include "world/map.h"
#include "world/position.h"

namespace {

constexpr int YEARS = 50;
constexpr uint64_t SEED = 0x5eed2024;

using random_play::candidates_of;
using random_play::choose_orders;
using random_play::province_of;
using random_play::Random;

// ---------------------------------------------------------------------------
// Invariants
// ---------------------------------------------------------------------------

// The library's own invariants (world/check.h) hold for every Position;
// those of a game played by the rules as well: every unit stands on a
// Location of its type, no two units that are not dislodged share a
// province, so each ProvinceState records its very unit; centre lists hold
// supply centres only, each once.
void check_placement(const Position *position) {
    const char *broken = position_check(position);
    EXPECT_EQ(broken, nullptr) << broken;
    std::set<uint16_t> occupied;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (!unit->location) continue;
        const Province *province = unit->location->province->province;
        uint16_t coast = unit->location->coast;
        if (unit->unit_type == UNIT_ARMY) {
            EXPECT_EQ(coast, COAST_ARMY) << "army " << u;
            EXPECT_TRUE(province->terrain & TERRAIN_LAND) << "army " << u;
        } else {
            EXPECT_EQ(unit->unit_type, UNIT_FLEET);
            EXPECT_NE(coast, COAST_ARMY) << "fleet " << u;
            EXPECT_TRUE(province->terrain & TERRAIN_WATER) << "fleet " << u;
        }
        if (unit->dislodged) {
            EXPECT_EQ(unit->location->province->dislodged_unit, unit);
            continue;
        }
        uint16_t index = province_of(position, unit->location);
        EXPECT_TRUE(occupied.insert(index).second) << "two units in province " << index;
        EXPECT_EQ(unit->location->province->unit, unit);
    }
}

void check_centres(const Position *position) {
    const Map *map = position->map;
    std::set<uint16_t> owned;
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        for (uint16_t c = 0; c < list->count; c++) {
            uint16_t province = list->provinces[c];
            EXPECT_NE(map->provinces[province].centre_kind, CENTRE_NONE) << "province " << province;
            EXPECT_TRUE(owned.insert(province).second) << "province " << province << " owned twice";
        }
    }
}

bool has_dislodged(const Position *position) {
    for (uint16_t u = 0; u < position->unit_count; u++)
        if (position->units[u]->dislodged) return true;
    return false;
}

bool has_adjustment(const Position *position) {
    for (uint16_t p = 0; p < position->map->power_count; p++)
        if (position->adjustment[p] != 0) return true;
    return false;
}

// The season sequence: spring to summer when units were dislodged, else to
// fall; summer to fall; fall to autumn when units were dislodged, else to
// winter when some power has something to adjust, else to the next spring;
// autumn to winter or the next spring likewise; winter to the next spring.
void check_season(const Position *before, const Position *after) {
    uint16_t year = before->year;
    bool dislodged = has_dislodged(after);
    bool next_year = after->season == SEASON_SPRING;
    EXPECT_EQ(after->year, next_year ? year + 1 : year);
    switch (before->season) {
    case SEASON_SPRING:
        EXPECT_EQ(after->season, dislodged ? SEASON_SUMMER : SEASON_FALL);
        break;
    case SEASON_SUMMER:
        EXPECT_EQ(after->season, SEASON_FALL);
        EXPECT_FALSE(dislodged);
        break;
    case SEASON_FALL:
        if (dislodged)
            EXPECT_EQ(after->season, SEASON_AUTUMN);
        else
            EXPECT_EQ(after->season, has_adjustment(after) ? SEASON_WINTER : SEASON_SPRING);
        break;
    case SEASON_AUTUMN:
        EXPECT_FALSE(dislodged);
        EXPECT_EQ(after->season, has_adjustment(after) ? SEASON_WINTER : SEASON_SPRING);
        break;
    case SEASON_WINTER:
        EXPECT_EQ(after->season, SEASON_SPRING);
        break;
    default:
        ADD_FAILURE() << "season " << before->season;
    }
}

// Units carry over: a movement phase keeps every unit; a retreat phase
// keeps the units that were not dislodged; an adjustment phase keeps the
// held units and adds the builds.  Counted per power.
void check_carried(const Position *before, const Position *after) {
    uint16_t powers = before->map->power_count;
    std::vector<int> expected(powers, 0);
    for (uint16_t u = 0; u < before->unit_count; u++) {
        const Unit *unit = before->units[u];
        switch (before->season) {
        case SEASON_SPRING:
        case SEASON_FALL:
            expected[unit->power]++;
            break;
        case SEASON_SUMMER:
        case SEASON_AUTUMN:
            // Adjudicated positions list no retreat options: every
            // dislodged unit disbands.
            if (!unit->dislodged) expected[unit->power]++;
            break;
        default:
            if ((unit->location && unit->order.token == ORD_HOLD) || unit->order.token == ORD_BUILD)
                expected[unit->power]++;
            break;
        }
    }
    for (uint16_t p = 0; p < powers; p++) EXPECT_EQ(after->unit_counts[p], expected[p]) << "power " << p;
}

// Blocks of a CentreTable: the table and one list per power.
long table_blocks(const Map *map) { return 1 + map->power_count; }

// ---------------------------------------------------------------------------
// The game
// ---------------------------------------------------------------------------

// "<season> <year>:" and each unit as power, type, province and coast.
std::string describe(const Position *position) {
    std::string text = std::to_string(position->season) + " " + std::to_string(position->year) + ":";
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        text += " " + std::to_string(unit->power) + (unit->unit_type == UNIT_ARMY ? "A" : "F");
        if (unit->location)
            text += std::to_string(province_of(position, unit->location)) + "/" +
                    std::to_string(unit->location->coast);
    }
    return text;
}

struct GameSummary {
    std::vector<std::string> phases;  // each phase described
    std::map<uint16_t, int> seasons;  // phases seen per season
    int convoyed_moves = 0;           // convoyed moves chosen
    int builds = 0;                   // builds chosen
};

class LongRun : public ::testing::Test {
  protected:
    GeneratedMap generated = mapgen_default();
    Map *map = nullptr;
    CentreTable *opening = nullptr;
    long live_start = 0;

    void SetUp() override {
        live_start = test_memory::live_blocks();
        map = map_build(generated.map_message.data());
        ASSERT_NE(map, nullptr);
        opening = centre_table_retain(centre_table_build(map, generated.centres_message.data()));
    }

    void TearDown() override {
        centre_table_release(map, opening);
        map_release(map);
        EXPECT_EQ(test_memory::live_blocks(), live_start);
    }

    // Plays from the opening until `years` have passed, checking every
    // phase; stops at the first phase that breaks an invariant.
    // Blocks that a Position holds beyond the opening table: its own (counted
    // when it was built) and, when it is not the opening table, its
    // CentreTable.  After every free the live blocks must be exactly these.
    long held_by(const Position *position, long own) const {
        return own + (position->centres != opening ? table_blocks(map) : 0);
    }

    // Plays from the opening until `years` have passed, checking every
    // phase; stops at the first phase that breaks an invariant.
    GameSummary play(int years, uint64_t seed) {
        GameSummary summary;
        Random random(seed);
        long live_base = test_memory::live_blocks();
        Position *now = position_build(map, opening, generated.position_message.data());
        EXPECT_NE(now, nullptr);
        long own = test_memory::live_blocks() - live_base;
        uint16_t last_year = static_cast<uint16_t>(now->year + years);
        while (now && now->year < last_year && !::testing::Test::HasFailure()) {
            SCOPED_TRACE("season " + std::to_string(now->season) + " of " + std::to_string(now->year));
            check_placement(now);
            check_centres(now);
            summary.seasons[now->season]++;
            summary.phases.push_back(describe(now));
            EXPECT_TRUE(choose_orders(now, random)) << "a promised candidate is missing";
            for (uint16_t u = 0; u < now->unit_count; u++) {
                summary.convoyed_moves += now->units[u]->order.token == ORD_CONVOY_MOVE;
                summary.builds += now->units[u]->order.token == ORD_BUILD;
            }
            long before = test_memory::live_blocks();
            Position *next = brox_adjudicate(now);
            EXPECT_NE(next, nullptr);
            if (next) {
                check_season(now, next);
                check_carried(now, next);
                // A new CentreTable (made by the winter step) is the next
                // Position's; the rest of what was allocated is its own.
                own = test_memory::live_blocks() - before -
                      (next->centres != now->centres ? table_blocks(map) : 0);
            }
            brox_position_free(now);
            now = next;
            if (now) {
                EXPECT_EQ(test_memory::live_blocks(), live_base + held_by(now, own));
            }
        }
        if (now) brox_position_free(now);
        EXPECT_EQ(test_memory::live_blocks(), live_base);
        return summary;
    }
};

TEST_F(LongRun, FiftyYearsOfRandomOrdersKeepEveryInvariant) {
    for (uint64_t seed = SEED; seed < SEED + 3; seed++) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        GameSummary summary = play(YEARS, seed);
        ASSERT_FALSE(HasFailure());
        // The game went the whole way and met every kind of phase and order.
        EXPECT_GE(summary.seasons[SEASON_SPRING], YEARS);
        EXPECT_GE(summary.seasons[SEASON_FALL], YEARS);
        EXPECT_GT(summary.seasons[SEASON_SUMMER], 0);
        EXPECT_GT(summary.seasons[SEASON_AUTUMN], 0);
        EXPECT_GT(summary.seasons[SEASON_WINTER], 0);
        EXPECT_GT(summary.convoyed_moves, 0);
        EXPECT_GT(summary.builds, 0);
    }
}

TEST_F(LongRun, TheSameSeedPlaysTheSameGame) {
    GameSummary first = play(3, SEED);
    GameSummary second = play(3, SEED);
    EXPECT_EQ(first.phases, second.phases);
    GameSummary other = play(3, SEED + 1);
    EXPECT_NE(first.phases, other.phases);
}

}  // namespace

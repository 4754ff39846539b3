// The invariant checks themselves: silent on what the library builds, and
// each one speaks up when the record is broken the way it guards against.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "boards.h"
#include "world.h"
#include "world/check.h"

namespace {

struct Breakage {
    const char *what;  // a word the complaint must contain
    std::function<void()> damage;
    std::function<void()> repair;
};

template <typename Record>
void expect_each_caught(Record *record, const char *(*check)(const Record *), std::vector<Breakage> breakages) {
    ASSERT_EQ(check(record), nullptr);
    for (Breakage &breakage : breakages) {
        breakage.damage();
        const char *why = check(record);
        ASSERT_NE(why, nullptr) << breakage.what;
        EXPECT_NE(std::string(why).find(breakage.what), std::string::npos) << why;
        breakage.repair();
        ASSERT_EQ(check(record), nullptr) << breakage.what;
    }
}

TEST(Checks, MapDamageIsNamed) {
    World world(iberia_board(), "");
    Map *map = world.map;
    Location saved_location = map->locations[3];
    uint16_t saved_count = map->provinces[2].neighbour_count;
    expect_each_caught<Map>(map, map_check, {
        {"index", [&] { map->locations[3].index = 4; }, [&] { map->locations[3] = saved_location; }},
        {"finds another",
         [&] {
             map->locations[3].province = map->locations[2].province;
             map->locations[3].coast = map->locations[2].coast;
         },
         [&] { map->locations[3] = saved_location; }},
        {"neighbours", [&] { map->provinces[2].neighbour_count = MAX_ADJACENT + 1; },
         [&] { map->provinces[2].neighbour_count = saved_count; }},
        {"centres", [&] { map->centre_count++; }, [&] { map->centre_count--; }},
    });
}

TEST(Checks, PositionDamageIsNamed) {
    World world(iberia_board(), "0: SPA; 1: MAR");
    Position *spring = world.position(SEASON_SPRING, "0 A GAS; 0 F MAO; 1 F WES; 1 A MAR");
    Unit *army = spring->units[0];
    auto *first = static_cast<Order *>(LUM_AVL_ITEM(&army->candidates, army->candidates.first));
    auto *second = static_cast<Order *>(lum_avl_next(&army->candidates, &first->node));
    ProvinceState &gascony = *army->location->province;
    ASSERT_GE(gascony.reach_count, 2);
    uint16_t saved_token = first->token;
    LocationState *saved_target = second->target;
    Unit *saved_reach = gascony.reach[1];
    expect_each_caught<Position>(spring, position_check, {
        {"out of order", [&] { first->token = ORD_WAIVE; }, [&] { first->token = saved_token; }},
        {"counted", [&] { army->candidates.count++; }, [&] { army->candidates.count--; }},
        {"target", [&] { second->target = spring->locations + MAX_LOCATIONS - 1; }, [&] { second->target = saved_target; }},
        {"units counted", [&] { spring->unit_counts[1]++; }, [&] { spring->unit_counts[1]--; }},
        {"owner", [&] { gascony.owner = 0; }, [&] { gascony.owner = spring->map->power_count; }},
        {"twice", [&] { gascony.reach[1] = gascony.reach[0]; }, [&] { gascony.reach[1] = saved_reach; }},
        {"does not stand", [&] { gascony.unit = spring->units[1]; }, [&] { gascony.unit = army; }},
    });
}

}  // namespace

// A position in the middle of a game on the default map: every supply
// centre owned (neutral ones by the nearest power), as many units as
// centres, armies on coasts with fleets at sea beside them for convoys.
#include <algorithm>
#include <climits>

#include "model.h"

namespace mapgen {

namespace {

constexpr uint16_t MIDGAME_YEAR = 1905;

struct Placement {
    const World &world;
    std::vector<std::vector<int>> distance;  // per power, moves from its home centres
    std::vector<int> occupied;               // per province, 1 once a unit stands there
    std::vector<UnitPlan> units;

    // The free province with the lowest (cost, distance from the power's
    // homes, index) among those `allowed`; -1 if none.
    template <typename Allowed, typename Cost>
    int nearest(int power, Allowed allowed, Cost cost) const {
        int best = -1;
        long best_key[2] = {LONG_MAX, LONG_MAX};
        for (int p = 0; p < world.province_count(); p++) {
            if (occupied[static_cast<size_t>(p)] || !allowed(p)) continue;
            long key[2] = {cost(p), distance[static_cast<size_t>(power)][static_cast<size_t>(p)]};
            if (best < 0 || key[0] < best_key[0] || (key[0] == best_key[0] && key[1] < best_key[1])) {
                best = p;
                best_key[0] = key[0];
                best_key[1] = key[1];
            }
        }
        return best;
    }

    void place(int power, uint16_t unit_type, int province) {
        occupied[static_cast<size_t>(province)] = 1;
        UnitPlan unit;
        unit.power = power;
        unit.unit_type = unit_type;
        unit.province = province;
        unit.coast = unit_type == UNIT_FLEET ? world.fleet_coast(province) : COAST_ARMY;
        units.push_back(unit);
    }

    bool has_coastal_army_beside(int power, int sea) const {
        for (const UnitPlan &unit : units)
            if (unit.power == power && unit.unit_type == UNIT_ARMY && world.is_coastal(unit.province)) {
                const std::vector<int> &around = world.neighbours(unit.province);
                if (std::binary_search(around.begin(), around.end(), sea)) return true;
            }
        return false;
    }

    // Coastal provinces a sea touches: two or more let it carry an army.
    int shores(int sea) const {
        int count = 0;
        for (int q : world.neighbours(sea)) count += world.is_coastal(q);
        return count;
    }
};

}  // namespace

}  // namespace mapgen

using namespace mapgen;

GeneratedPosition mapgen_midgame_position() {
    GeneratedPosition generated;
    World world;
    uint64_t seed = 0;
    if (!make_world(mapgen_default_options(), world, &seed)) return generated;
    int powers = world.powers;

    Placement placement{world, {}, std::vector<int>(static_cast<size_t>(world.province_count()), 0), {}};
    for (int power = 0; power < powers; power++)
        placement.distance.push_back(province_distances(world, homes_of(world, power), false));

    // Home centres stay with their powers; a neutral centre goes to the
    // power whose homes are nearest, the one owning fewer among equals.
    std::vector<int> owner_of(static_cast<size_t>(world.province_count()), NO_POWER);
    std::vector<int> owned(static_cast<size_t>(powers), 0);
    for (int p = 0; p < world.province_count(); p++) {
        const ProvincePlan &plan = world.provinces[static_cast<size_t>(p)];
        if (plan.home_power == NO_POWER) continue;
        owner_of[static_cast<size_t>(p)] = plan.home_power;
        owned[static_cast<size_t>(plan.home_power)]++;
    }
    for (int p = 0; p < world.province_count(); p++) {
        if (!world.provinces[static_cast<size_t>(p)].centre || owner_of[static_cast<size_t>(p)] != NO_POWER) continue;
        int best = 0;
        for (int power = 1; power < powers; power++) {
            int d = placement.distance[static_cast<size_t>(power)][static_cast<size_t>(p)];
            int b = placement.distance[static_cast<size_t>(best)][static_cast<size_t>(p)];
            if (d < b || (d == b && owned[static_cast<size_t>(power)] < owned[static_cast<size_t>(best)])) best = power;
        }
        owner_of[static_cast<size_t>(p)] = best;
        owned[static_cast<size_t>(best)]++;
    }

    // A third of each power's units are fleets (at least one).  Armies are
    // placed first, in turns, near home and on the coast where possible.
    std::vector<int> fleets(static_cast<size_t>(powers)), armies(static_cast<size_t>(powers));
    for (int power = 0; power < powers; power++) {
        fleets[static_cast<size_t>(power)] = std::max(1, owned[static_cast<size_t>(power)] / 3);
        armies[static_cast<size_t>(power)] = owned[static_cast<size_t>(power)] - fleets[static_cast<size_t>(power)];
    }
    auto is_land = [&](int p) { return world.is_land(p); };
    for (bool more = true; more;) {
        more = false;
        for (int power = 0; power < powers; power++) {
            if (armies[static_cast<size_t>(power)] == 0) continue;
            int p = placement.nearest(power, is_land, [&](int q) {
                return 2L * placement.distance[static_cast<size_t>(power)][static_cast<size_t>(q)] +
                       (world.is_coastal(q) ? 0 : 1);
            });
            armies[static_cast<size_t>(power)]--;
            if (p < 0) continue;
            placement.place(power, UNIT_ARMY, p);
            more = true;
        }
    }
    // Fleets: at sea beside one of the power's coastal armies where a sea
    // with another shore is free, else the nearest sea, else a coast.
    for (bool more = true; more;) {
        more = false;
        for (int power = 0; power < powers; power++) {
            if (fleets[static_cast<size_t>(power)] == 0) continue;
            fleets[static_cast<size_t>(power)]--;
            more = true;
            int p = placement.nearest(
                power, [&](int q) { return world.is_sea(q); },
                [&](int q) {
                    return placement.has_coastal_army_beside(power, q) && placement.shores(q) >= 2 ? 0L : 1L;
                });
            if (p < 0) p = placement.nearest(power, [&](int q) { return world.is_coastal(q); }, [](int) { return 0L; });
            if (p >= 0) placement.place(power, UNIT_FLEET, p);
        }
    }
    std::stable_sort(placement.units.begin(), placement.units.end(),
                     [](const UnitPlan &a, const UnitPlan &b) { return a.power < b.power; });
    generated.centres_message = encode_centres(world, owner_of);
    generated.position_message = encode_position(SEASON_SPRING, MIDGAME_YEAR, placement.units);
    return generated;
}

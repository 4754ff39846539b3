// Powers on the map: capitals spread apart, home centres claimed around
// them in turn, neutral centres in the gaps, and the opening units (one on
// each home centre).
#include <algorithm>
#include <climits>

#include "model.h"

namespace mapgen {

namespace {

// Random tie-breaking keys, one per province, drawn once per step.
std::vector<uint32_t> tie_keys(Random &random, int count) {
    std::vector<uint32_t> keys(static_cast<size_t>(count));
    for (uint32_t &key : keys) key = static_cast<uint32_t>(random.next());
    return keys;
}

// The free land province with the lowest cost (ties by key, then index);
// -1 when none is free.
template <typename Cost>
int cheapest_free_land(const World &world, const std::vector<uint32_t> &keys, Cost cost) {
    int best = -1;
    long best_cost = LONG_MAX;
    for (int p = 0; p < world.province_count(); p++) {
        if (!world.is_land(p) || world.provinces[static_cast<size_t>(p)].centre) continue;
        long c = cost(p);
        if (best < 0 || c < best_cost ||
            (c == best_cost && keys[static_cast<size_t>(p)] < keys[static_cast<size_t>(best)])) {
            best = p;
            best_cost = c;
        }
    }
    return best;
}

void claim_home(World &world, int province, int power) {
    ProvincePlan &plan = world.provinces[static_cast<size_t>(province)];
    plan.centre = true;
    plan.home_power = power;
    world.home_order.push_back(province);
}

}  // namespace

std::vector<int> homes_of(const World &world, int power) {
    std::vector<int> homes;
    for (int p : world.home_order)
        if (world.provinces[static_cast<size_t>(p)].home_power == power) homes.push_back(p);
    return homes;
}

// Capitals are spread by furthest-point choice over the province graph;
// then the powers take turns claiming the free land nearest their homes
// (by land where they can), avoiding land beside another power's home.
void place_homes(World &world, Random &random, const MapgenOptions &options) {
    std::vector<uint32_t> keys = tie_keys(random, world.province_count());
    std::vector<int> capitals;
    for (int power = 0; power < world.powers; power++) {
        std::vector<int> gap = province_distances(world, capitals, false);
        int capital = cheapest_free_land(world, keys, [&](int p) {
            return capitals.empty() ? 0L : -static_cast<long>(gap[static_cast<size_t>(p)]);
        });
        capitals.push_back(capital);
        claim_home(world, capital, power);
    }
    int most = options.homes + (options.extra_homes > 0 ? 1 : 0);
    for (int round = 1; round < most; round++)
        for (int power = 0; power < world.powers; power++) {
            int wanted = options.homes + (power < options.extra_homes ? 1 : 0);
            if (round >= wanted) continue;
            std::vector<int> own = homes_of(world, power);
            std::vector<int> by_land = province_distances(world, own, true);
            std::vector<int> by_any = province_distances(world, own, false);
            int home = cheapest_free_land(world, keys, [&](int p) {
                long cost = by_land[static_cast<size_t>(p)] >= 0 ? by_land[static_cast<size_t>(p)]
                                                                 : 1000L + by_any[static_cast<size_t>(p)];
                for (int q : world.neighbours(p)) {
                    int owner = world.provinces[static_cast<size_t>(q)].home_power;
                    if (owner != NO_POWER && owner != power) cost += 50;
                }
                return cost;
            });
            claim_home(world, home, power);
        }
}

// 34 centres in 75 provinces, at least one per home and at most one per
// land province, and never more than the MAX_UNITS units a position holds
// (a game of more centres could owe more builds than there is room for);
// the neutral ones go furthest from the centres so far.
void place_neutral_centres(World &world, Random &random) {
    int n = world.province_count();
    int land = 0;
    for (int p = 0; p < n; p++) land += world.is_land(p);
    int homes = static_cast<int>(world.home_order.size());
    int total = std::min(std::clamp((n * 34 + 37) / 75, homes, land), static_cast<int>(MAX_UNITS));
    std::vector<uint32_t> keys = tie_keys(random, n);
    for (int placed = homes; placed < total; placed++) {
        std::vector<int> centres;
        for (int p = 0; p < n; p++)
            if (world.provinces[static_cast<size_t>(p)].centre) centres.push_back(p);
        std::vector<int> gap = province_distances(world, centres, false);
        int neutral = cheapest_free_land(world, keys, [&](int p) {
            return -static_cast<long>(gap[static_cast<size_t>(p)]);
        });
        if (neutral < 0) return;
        world.provinces[static_cast<size_t>(neutral)].centre = true;
    }
}

// An army on each home centre, except that one or two coastal homes other
// than the capital hold fleets.
void place_opening_units(World &world, Random &random) {
    world.units.clear();
    for (int power = 0; power < world.powers; power++) {
        std::vector<int> homes = homes_of(world, power);
        int fleets = 1 + (random.one_in(3) ? 1 : 0);
        for (size_t h = 0; h < homes.size(); h++) {
            int p = homes[h];
            UnitPlan unit;
            unit.power = power;
            unit.province = p;
            if (h > 0 && fleets > 0 && world.is_coastal(p)) {
                unit.unit_type = UNIT_FLEET;
                unit.coast = world.fleet_coast(p);
                fleets--;
            }
            world.units.push_back(unit);
        }
    }
}

}  // namespace mapgen

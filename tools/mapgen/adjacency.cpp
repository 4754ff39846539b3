// The adjacency entries of a generated map: armies between land provinces,
// fleets between seas, from seas to the coast that faces them, and between
// two coastal provinces where their border meets a sea.  Every entry is
// listed in both directions.
#include <algorithm>
#include <map>

#include "model.h"

namespace mapgen {

namespace {

// For province p: each coastal neighbour q with the seas at which the
// border of p and q reaches the water (a sea cell at one end of a border
// edge, where the three cells meet).
std::map<int, std::vector<int>> shorelines(const World &world, int p) {
    std::map<int, std::vector<int>> seas_by_neighbour;
    for (int cell : world.plane.regions[static_cast<size_t>(p)].cells)
        for (int d = 0; d < DIRECTIONS; d++) {
            int q = world.plane.neighbour_region(cell, d);
            if (q < 0 || q == p || !world.is_coastal(q)) continue;
            for (int side : {(d + DIRECTIONS - 1) % DIRECTIONS, (d + 1) % DIRECTIONS}) {
                int s = world.plane.neighbour_region(cell, side);
                if (s >= 0 && world.is_sea(s)) seas_by_neighbour[q].push_back(s);
            }
        }
    for (auto &[q, seas] : seas_by_neighbour) {
        std::sort(seas.begin(), seas.end());
        seas.erase(std::unique(seas.begin(), seas.end()), seas.end());
    }
    return seas_by_neighbour;
}

void add(World &world, int from, uint16_t from_coast, int to, uint16_t to_coast) {
    AdjacencyPlan entry{static_cast<uint16_t>(from), from_coast, static_cast<uint16_t>(to), to_coast};
    // Entries of one pair of provinces are added together: a repeat can
    // only be among the last ones.
    for (auto it = world.adjacencies.rbegin(); it != world.adjacencies.rend(); ++it) {
        if (it->from_province != entry.from_province || it->to_province != entry.to_province) break;
        if (*it == entry) return;
    }
    world.adjacencies.push_back(entry);
}

}  // namespace

// Entries by from-province, then to-province, ascending: the army move
// first, then the fleet moves.
void link_adjacencies(World &world) {
    world.adjacencies.clear();
    for (int p = 0; p < world.province_count(); p++) {
        std::map<int, std::vector<int>> shore =
            world.is_coastal(p) ? shorelines(world, p) : std::map<int, std::vector<int>>{};
        for (int q : world.neighbours(p)) {
            if (world.is_land(p) && world.is_land(q)) add(world, p, COAST_ARMY, q, COAST_ARMY);
            if (world.is_sea(p) && world.is_sea(q)) add(world, p, COAST_SEA, q, COAST_SEA);
            if (world.is_sea(p) && world.is_coastal(q)) add(world, p, COAST_SEA, q, world.coast_facing(q, p));
            if (world.is_coastal(p) && world.is_sea(q)) add(world, p, world.coast_facing(p, q), q, COAST_SEA);
            if (world.is_coastal(p) && world.is_coastal(q)) {
                auto found = shore.find(q);
                if (found == shore.end()) continue;
                for (int s : found->second)
                    add(world, p, world.coast_facing(p, s), q, world.coast_facing(q, s));
            }
        }
    }
}

}  // namespace mapgen

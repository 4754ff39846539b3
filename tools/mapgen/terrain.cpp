// Land and sea: which provinces are sea (an ocean on one side and inner
// seas grown into the land), which land provinces are coastal, and which
// coastal provinces have two separate fleet coasts.
#include <algorithm>
#include <numeric>

#include "model.h"

namespace mapgen {

namespace {

// The provinces in the order the ocean takes them: furthest towards a
// random side of the plane first, judged from their centroids with some
// noise so that the coast is ragged.
std::vector<int> ocean_order(World &world, Random &random) {
    int n = world.province_count();
    int32_t dx = 0, dy = 0;
    while (dx * dx + dy * dy < 32 * 32) {
        dx = random.between(-64, 64);
        dy = random.between(-64, 64);
    }
    int32_t spacing = integer_sqrt(int64_t{world.plane.width()} * world.plane.height() / n);
    int64_t jitter = int64_t{spacing} * 40;
    std::vector<int64_t> score(static_cast<size_t>(n));
    for (int p = 0; p < n; p++) {
        LayoutPoint c = world.plane.regions[static_cast<size_t>(p)].centroid;
        score[static_cast<size_t>(p)] = int64_t{c.x - world.plane.width() / 2} * dx +
                                        int64_t{c.y - world.plane.height() / 2} * dy +
                                        random.between(static_cast<int32_t>(-jitter), static_cast<int32_t>(jitter));
    }
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return score[static_cast<size_t>(a)] > score[static_cast<size_t>(b)];
    });
    return order;
}

// The number of separate pieces of land, with province `skip` (if any)
// taken as sea.
int land_pieces(const World &world, int skip) {
    int n = world.province_count();
    std::vector<char> seen(static_cast<size_t>(n), 0);
    int count = 0;
    std::vector<int> stack;
    for (int p = 0; p < n; p++) {
        if (p == skip || seen[static_cast<size_t>(p)] || !world.is_land(p)) continue;
        count++;
        stack.assign(1, p);
        seen[static_cast<size_t>(p)] = 1;
        while (!stack.empty()) {
            int q = stack.back();
            stack.pop_back();
            for (int r : world.neighbours(q))
                if (r != skip && !seen[static_cast<size_t>(r)] && world.is_land(r)) {
                    seen[static_cast<size_t>(r)] = 1;
                    stack.push_back(r);
                }
        }
    }
    return count;
}

bool beside_sea(const World &world, int p) {
    for (int q : world.neighbours(p))
        if (world.is_sea(q)) return true;
    return false;
}

// Coastal provinces gained when land province p becomes sea: its land
// neighbours that no sea touches yet, less p itself if it was coastal.
int shore_gain(const World &world, int p) {
    int gain = beside_sea(world, p) ? -1 : 0;
    for (int q : world.neighbours(p)) gain += world.is_land(q) && !beside_sea(world, q);
    return gain;
}

// The land province, among `candidates`, whose flooding gains most shore
// without cutting the land in two; away from the plane's edge where
// possible.  -1 when there is none.
int best_to_flood(const World &world, const std::vector<int> &candidates, const std::vector<uint32_t> &keys) {
    int best = -1;
    long best_score = 0;
    int pieces = land_pieces(world, -1);
    for (int p : candidates) {
        if (!world.is_land(p)) continue;
        long score = 4L * shore_gain(world, p) - (world.plane.regions[static_cast<size_t>(p)].at_edge ? 8 : 0);
        bool better = best < 0 || score > best_score ||
                      (score == best_score && keys[static_cast<size_t>(p)] < keys[static_cast<size_t>(best)]);
        // The costly test last, only for a province that would win.
        if (better && land_pieces(world, p) <= pieces) {
            best = p;
            best_score = score;
        }
    }
    return best;
}

// Grows one inner sea of `size` provinces into the land, each province
// the one that gives the most new shore, so the seas reach into the land
// and spread their coasts.
void grow_inner_sea(World &world, Random &random, int size) {
    std::vector<uint32_t> keys(static_cast<size_t>(world.province_count()));
    for (uint32_t &key : keys) key = static_cast<uint32_t>(random.next());
    std::vector<int> everywhere(static_cast<size_t>(world.province_count()));
    std::iota(everywhere.begin(), everywhere.end(), 0);
    std::vector<int> body;
    while (static_cast<int>(body.size()) < size) {
        std::vector<int> frontier;
        for (int s : body)
            for (int q : world.neighbours(s)) frontier.push_back(q);
        int next = best_to_flood(world, body.empty() ? everywhere : frontier, keys);
        if (next < 0) return;
        world.provinces[static_cast<size_t>(next)].terrain = TERRAIN_WATER;
        body.push_back(next);
    }
}

// The sea-facing stretches of a province's outline, merged where they face
// a common sea: each group lists its seas and counts its edges and their
// summed start points.
struct CoastGroup {
    std::vector<int> seas;
    int edges = 0;
    int64_t sum_x = 0, sum_y = 0;
};

std::vector<CoastGroup> coast_groups(const World &world, int p) {
    std::vector<CoastGroup> runs;
    for (const std::vector<BoundaryEdge> &loop : world.plane.boundary(p)) {
        size_t count = loop.size();
        auto sea_at = [&](size_t i) {
            int q = world.plane.neighbour_region(loop[i % count].cell, loop[i % count].direction);
            return q >= 0 && world.is_sea(q) ? q : -1;
        };
        // Start just after an edge that faces no sea, so that no stretch is
        // cut in two by the loop's starting point.
        size_t start = 0;
        while (start < count && sea_at(start) >= 0) start++;
        if (start == count) start = 0;  // the whole loop faces sea
        CoastGroup *run = nullptr;
        for (size_t i = start + 1; i <= start + count; i++) {
            int sea = sea_at(i);
            if (sea < 0) {
                run = nullptr;
                continue;
            }
            if (!run) {
                runs.emplace_back();
                run = &runs.back();
            }
            if (std::find(run->seas.begin(), run->seas.end(), sea) == run->seas.end())
                run->seas.push_back(sea);
            run->edges++;
            run->sum_x += loop[i % count].from.x;
            run->sum_y += loop[i % count].from.y;
        }
    }
    // Merge stretches that share a sea.
    std::vector<CoastGroup> groups;
    for (CoastGroup &run : runs) {
        CoastGroup merged = run;
        for (size_t g = 0; g < groups.size();) {
            bool shared = false;
            for (int sea : groups[g].seas)
                shared = shared || std::find(merged.seas.begin(), merged.seas.end(), sea) != merged.seas.end();
            if (!shared) {
                g++;
                continue;
            }
            for (int sea : groups[g].seas)
                if (std::find(merged.seas.begin(), merged.seas.end(), sea) == merged.seas.end())
                    merged.seas.push_back(sea);
            merged.edges += groups[g].edges;
            merged.sum_x += groups[g].sum_x;
            merged.sum_y += groups[g].sum_y;
            groups.erase(groups.begin() + static_cast<long>(g));
        }
        groups.push_back(merged);
    }
    return groups;
}

// Two stretches make two coasts only when they face different waters:
// no sea of one touches a sea of the other, and each is more than a corner.
bool separate_waters(const World &world, const CoastGroup &a, const CoastGroup &b) {
    if (a.edges < 2 || b.edges < 2) return false;
    for (int s : a.seas)
        for (int t : b.seas) {
            const std::vector<int> &around = world.neighbours(s);
            if (std::binary_search(around.begin(), around.end(), t)) return false;
        }
    return true;
}

// The cell of province p nearest to `target`.
int cell_near(const World &world, int p, LayoutPoint target) {
    int best = -1;
    int64_t best_distance = INT64_MAX;
    for (int cell : world.plane.regions[static_cast<size_t>(p)].cells) {
        LayoutPoint at = world.plane.centre(cell);
        int64_t dx = at.x - target.x, dy = at.y - target.y;
        if (dx * dx + dy * dy < best_distance) {
            best_distance = dx * dx + dy * dy;
            best = cell;
        }
    }
    return best;
}

// Gives province p its two coasts, the longer one first, each named by the
// side of the province it lies on.
void make_two_coasts(World &world, int p, std::vector<CoastGroup> groups) {
    if (groups[1].edges > groups[0].edges) std::swap(groups[0], groups[1]);
    LayoutPoint mean[2];
    for (int g = 0; g < 2; g++)
        mean[g] = {static_cast<int32_t>(groups[static_cast<size_t>(g)].sum_x / groups[static_cast<size_t>(g)].edges),
                   static_cast<int32_t>(groups[static_cast<size_t>(g)].sum_y / groups[static_cast<size_t>(g)].edges)};
    int32_t dx = mean[1].x - mean[0].x, dy = mean[1].y - mean[0].y;
    bool vertical = (dy < 0 ? -dy : dy) >= (dx < 0 ? -dx : dx);
    ProvincePlan &plan = world.provinces[static_cast<size_t>(p)];
    LayoutPoint label = world.plane.centre(world.plane.regions[static_cast<size_t>(p)].label_cell);
    // The first coast is north (or west) of the second, or the other way
    // round; the two never share a side.
    bool first_is_north_or_west = vertical ? mean[0].y <= mean[1].y : mean[0].x <= mean[1].x;
    for (int g = 0; g < 2; g++) {
        bool first_side = (g == 0) == first_is_north_or_west;
        LayoutCoast coast;
        if (vertical) {
            coast.code = first_side ? MAPGEN_COAST_NORTH : MAPGEN_COAST_SOUTH;
            coast.name = first_side ? "north" : "south";
        } else {
            coast.code = first_side ? MAPGEN_COAST_WEST : MAPGEN_COAST_EAST;
            coast.name = first_side ? "west" : "east";
        }
        // Fleets on this coast are drawn two thirds of the way from the
        // label towards the coast, on a cell of the province.
        LayoutPoint toward{label.x + (mean[g].x - label.x) * 2 / 3, label.y + (mean[g].y - label.y) * 2 / 3};
        coast.at = world.plane.centre(cell_near(world, p, toward));
        plan.coasts.push_back(coast);
        plan.coast_seas[g] = groups[static_cast<size_t>(g)].seas;
        std::sort(plan.coast_seas[g].begin(), plan.coast_seas[g].end());
    }
}

}  // namespace

uint16_t World::coast_facing(int p, int sea) const {
    const ProvincePlan &plan = provinces[static_cast<size_t>(p)];
    if (plan.coasts.empty()) return COAST_SHORE;
    bool first = std::binary_search(plan.coast_seas[0].begin(), plan.coast_seas[0].end(), sea);
    return plan.coasts[first ? 0 : 1].code;
}

uint16_t World::fleet_coast(int p) const {
    const ProvincePlan &plan = provinces[static_cast<size_t>(p)];
    if (is_sea(p)) return COAST_SEA;
    return plan.coasts.empty() ? COAST_SHORE : plan.coasts[0].code;
}

std::vector<int> province_distances(const World &world, const std::vector<int> &sources,
                                    bool land_only) {
    std::vector<int> distance(static_cast<size_t>(world.province_count()), -1);
    std::vector<int> queue;
    for (int s : sources) {
        if (distance[static_cast<size_t>(s)] == 0) continue;
        distance[static_cast<size_t>(s)] = 0;
        queue.push_back(s);
    }
    for (size_t head = 0; head < queue.size(); head++) {
        int p = queue[head];
        for (int q : world.neighbours(p)) {
            if (distance[static_cast<size_t>(q)] >= 0 || (land_only && !world.is_land(q))) continue;
            distance[static_cast<size_t>(q)] = distance[static_cast<size_t>(p)] + 1;
            queue.push_back(q);
        }
    }
    return distance;
}

// About a quarter of the provinces are sea: half of them an ocean on one
// side of the plane, the rest inner seas of about two provinces grown into
// the land.  Land beside a sea is coastal, the rest inland.
void choose_seas(World &world, Random &random) {
    int n = world.province_count();
    int seas = std::max(1, (n + 2) / 4);
    int inner = n >= 16 ? seas / 2 : 0;
    for (ProvincePlan &plan : world.provinces) plan.terrain = TERRAIN_LAND;
    std::vector<int> order = ocean_order(world, random);
    for (int i = 0; i < seas - inner; i++) world.provinces[static_cast<size_t>(order[static_cast<size_t>(i)])].terrain = TERRAIN_WATER;
    int inner_seas = inner > 0 ? std::max(1, inner / 2) : 0;
    for (int s = 0; s < inner_seas; s++) grow_inner_sea(world, random, inner / inner_seas + (s < inner % inner_seas ? 1 : 0));
    // Inner seas that could not grow to their size are made up from the ocean.
    int count = 0;
    for (int p = 0; p < n; p++) count += world.is_sea(p);
    for (size_t i = 0; count < seas && i < order.size(); i++)
        if (!world.is_sea(order[i])) {
            world.provinces[static_cast<size_t>(order[i])].terrain = TERRAIN_WATER;
            count++;
        }
    for (int p = 0; p < n; p++) {
        if (world.is_sea(p)) continue;
        for (int q : world.neighbours(p))
            if (world.is_sea(q)) world.provinces[static_cast<size_t>(p)].terrain = TERRAIN_LAND | TERRAIN_WATER;
    }
}

// One province in 25 gets two coasts, chosen among the coastal provinces
// whose shore is split by land between two waters that do not touch.
void choose_two_coasts(World &world, Random &random) {
    int wanted = world.province_count() / 25;
    std::vector<int> coastal;
    for (int p = 0; p < world.province_count(); p++)
        if (world.is_coastal(p)) coastal.push_back(p);
    random.shuffle(coastal);
    for (int p : coastal) {
        if (wanted == 0) break;
        std::vector<CoastGroup> groups = coast_groups(world, p);
        if (groups.size() != 2 || !separate_waters(world, groups[0], groups[1])) continue;
        make_two_coasts(world, p, std::move(groups));
        wanted--;
    }
}

}  // namespace mapgen

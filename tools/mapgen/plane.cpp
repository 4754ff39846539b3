// Cutting the plane into regions: seeds spread by best-candidate sampling,
// regions grown from them over a warped distance (so that borders wander),
// a few rounds of re-centring, then the outline of each region traced.
#include "plane.h"

#include <algorithm>
#include <functional>
#include <numeric>
#include <queue>
#include <tuple>
#include <unordered_map>

namespace mapgen {

namespace {

constexpr LayoutPoint VERTEX_OFFSET[DIRECTIONS] = {{0, -8}, {7, -4}, {7, 4},
                                                   {0, 8},  {-7, 4}, {-7, -4}};
constexpr int CELLS_PER_REGION = 48;
constexpr int GROWTH_PASSES = 3;
constexpr int SEED_CANDIDATES = 12;

int64_t squared_distance(LayoutPoint a, LayoutPoint b) {
    int64_t dx = a.x - b.x, dy = a.y - b.y;
    return dx * dx + dy * dy;
}

// Value noise: random values on a square lattice, interpolated linearly in
// between, in [-amplitude, amplitude].
class Noise {
  public:
    Noise(Random &random, int32_t width, int32_t height, int spacing, int amplitude)
        : spacing_(spacing), columns_(width / spacing + 2) {
        int lattice_rows = height / spacing + 2;
        values_.resize(static_cast<size_t>(columns_ * lattice_rows));
        for (int &value : values_) value = random.between(-amplitude, amplitude);
    }

    int at(int32_t x, int32_t y) const {
        int gx = x / spacing_, gy = y / spacing_;
        int fx = x % spacing_, fy = y % spacing_;
        int64_t top = int64_t{value(gx, gy)} * (spacing_ - fx) + int64_t{value(gx + 1, gy)} * fx;
        int64_t bottom =
            int64_t{value(gx, gy + 1)} * (spacing_ - fx) + int64_t{value(gx + 1, gy + 1)} * fx;
        return static_cast<int>((top * (spacing_ - fy) + bottom * fy) / (spacing_ * spacing_));
    }

  private:
    int value(int gx, int gy) const { return values_[static_cast<size_t>(gy * columns_ + gx)]; }
    int spacing_;
    int columns_;
    std::vector<int> values_;
};

// Seeds spread over the grid: each new one is the candidate furthest from
// the seeds already placed.
std::vector<int> spread_seeds(Random &random, const Plane &plane, int count) {
    std::vector<int> seeds;
    std::vector<char> taken(static_cast<size_t>(plane.cell_count()), 0);
    while (static_cast<int>(seeds.size()) < count) {
        int best = -1;
        int64_t best_gap = -1;
        for (int c = 0; c < SEED_CANDIDATES; c++) {
            int cell = static_cast<int>(random.below(static_cast<uint32_t>(plane.cell_count())));
            if (taken[static_cast<size_t>(cell)]) continue;
            int64_t gap = INT64_MAX;
            for (int seed : seeds)
                gap = std::min(gap, squared_distance(plane.centre(seed), plane.centre(cell)));
            if (gap > best_gap) {
                best_gap = gap;
                best = cell;
            }
        }
        if (best < 0) continue;
        taken[static_cast<size_t>(best)] = 1;
        seeds.push_back(best);
    }
    return seeds;
}

// Grows every region from its seed, cell by cell, always taking the
// unclaimed cell nearest (by warped distance) to the seed of a region that
// touches it.  Each region stays connected.
void grow_regions(Plane &plane, const std::vector<int> &seeds,
                  const std::vector<LayoutPoint> &warped) {
    using Entry = std::tuple<int64_t, int, int>;  // distance, region, cell
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> frontier;
    std::fill(plane.region_of.begin(), plane.region_of.end(), -1);
    auto offer = [&](int region, int cell) {
        for (int d = 0; d < DIRECTIONS; d++) {
            int next = plane.neighbour(cell, d);
            if (next < 0 || plane.region_of[static_cast<size_t>(next)] >= 0) continue;
            LayoutPoint seed = plane.centre(seeds[static_cast<size_t>(region)]);
            frontier.emplace(squared_distance(warped[static_cast<size_t>(next)], seed), region, next);
        }
    };
    for (size_t r = 0; r < seeds.size(); r++) plane.region_of[static_cast<size_t>(seeds[r])] = static_cast<int>(r);
    for (size_t r = 0; r < seeds.size(); r++) offer(static_cast<int>(r), seeds[r]);
    while (!frontier.empty()) {
        auto [distance, region, cell] = frontier.top();
        frontier.pop();
        if (plane.region_of[static_cast<size_t>(cell)] >= 0) continue;
        plane.region_of[static_cast<size_t>(cell)] = region;
        offer(region, cell);
    }
}

// Moves every seed to the cell of its region nearest the region's centroid.
std::vector<int> recentre_seeds(const Plane &plane, int count) {
    std::vector<int64_t> sum_x(static_cast<size_t>(count)), sum_y(static_cast<size_t>(count)),
        cells(static_cast<size_t>(count));
    for (int cell = 0; cell < plane.cell_count(); cell++) {
        size_t r = static_cast<size_t>(plane.region_of[static_cast<size_t>(cell)]);
        sum_x[r] += plane.centre(cell).x;
        sum_y[r] += plane.centre(cell).y;
        cells[r]++;
    }
    std::vector<int> seeds(static_cast<size_t>(count), -1);
    std::vector<int64_t> best(static_cast<size_t>(count), INT64_MAX);
    for (int cell = 0; cell < plane.cell_count(); cell++) {
        size_t r = static_cast<size_t>(plane.region_of[static_cast<size_t>(cell)]);
        LayoutPoint mean{static_cast<int32_t>(sum_x[r] / cells[r]),
                         static_cast<int32_t>(sum_y[r] / cells[r])};
        int64_t distance = squared_distance(plane.centre(cell), mean);
        if (distance < best[r]) {
            best[r] = distance;
            seeds[r] = cell;
        }
    }
    return seeds;
}

// Fills cells, centroid, neighbours, edge flag and label cell of every region.
void describe_regions(Plane &plane, int count) {
    plane.regions.assign(static_cast<size_t>(count), Region{});
    for (int cell = 0; cell < plane.cell_count(); cell++)
        plane.regions[static_cast<size_t>(plane.region_of[static_cast<size_t>(cell)])].cells.push_back(cell);

    // Depth of each cell: moves to the nearest cell on its region's border.
    std::vector<int> depth(static_cast<size_t>(plane.cell_count()), -1);
    std::vector<int> queue;
    for (int cell = 0; cell < plane.cell_count(); cell++) {
        int region = plane.region_of[static_cast<size_t>(cell)];
        for (int d = 0; d < DIRECTIONS; d++) {
            int other = plane.neighbour_region(cell, d);
            if (other == region) continue;
            Region &owner = plane.regions[static_cast<size_t>(region)];
            if (other < 0)
                owner.at_edge = true;
            else
                owner.neighbours.push_back(other);
            if (depth[static_cast<size_t>(cell)] < 0) {
                depth[static_cast<size_t>(cell)] = 0;
                queue.push_back(cell);
            }
        }
    }
    for (size_t head = 0; head < queue.size(); head++) {
        int cell = queue[head];
        for (int d = 0; d < DIRECTIONS; d++) {
            int next = plane.neighbour(cell, d);
            if (next < 0 || depth[static_cast<size_t>(next)] >= 0) continue;
            depth[static_cast<size_t>(next)] = depth[static_cast<size_t>(cell)] + 1;
            queue.push_back(next);
        }
    }

    for (Region &region : plane.regions) {
        std::sort(region.neighbours.begin(), region.neighbours.end());
        region.neighbours.erase(std::unique(region.neighbours.begin(), region.neighbours.end()),
                                region.neighbours.end());
        int64_t sum_x = 0, sum_y = 0;
        for (int cell : region.cells) {
            sum_x += plane.centre(cell).x;
            sum_y += plane.centre(cell).y;
        }
        int64_t n = static_cast<int64_t>(region.cells.size());
        region.centroid = {static_cast<int32_t>(sum_x / n), static_cast<int32_t>(sum_y / n)};
        // Deepest cell, the one nearest the centroid among equals.
        int best = region.cells.front();
        for (int cell : region.cells) {
            int d = depth[static_cast<size_t>(cell)], b = depth[static_cast<size_t>(best)];
            if (d > b || (d == b && squared_distance(plane.centre(cell), region.centroid) <
                                        squared_distance(plane.centre(best), region.centroid)))
                best = cell;
        }
        region.label_cell = best;
    }
}

// Renumbers the regions in reading order of their label cells: bands of a
// few rows from the top, left to right inside a band.
void renumber_regions(Plane &plane) {
    const int band = 6 * ROW_HEIGHT;
    std::vector<int> order(plane.regions.size());
    std::iota(order.begin(), order.end(), 0);
    auto key = [&](int r) {
        LayoutPoint at = plane.centre(plane.regions[static_cast<size_t>(r)].label_cell);
        return std::make_tuple(at.y / band, at.x, at.y);
    };
    std::sort(order.begin(), order.end(), [&](int a, int b) { return key(a) < key(b); });
    std::vector<int> new_index(order.size());
    for (size_t i = 0; i < order.size(); i++) new_index[static_cast<size_t>(order[i])] = static_cast<int>(i);
    std::vector<Region> regions(plane.regions.size());
    for (size_t r = 0; r < plane.regions.size(); r++) {
        Region region = std::move(plane.regions[r]);
        for (int &neighbour : region.neighbours) neighbour = new_index[static_cast<size_t>(neighbour)];
        std::sort(region.neighbours.begin(), region.neighbours.end());
        regions[static_cast<size_t>(new_index[r])] = std::move(region);
    }
    plane.regions = std::move(regions);
    for (int &region : plane.region_of) region = new_index[static_cast<size_t>(region)];
}

}  // namespace

LayoutPoint Plane::centre(int cell) const {
    int c = cell % cols, r = cell / cols;
    return {PLANE_MARGIN + CELL_WIDTH / 2 + CELL_WIDTH * c + (CELL_WIDTH / 2) * (r & 1),
            PLANE_MARGIN + 8 + ROW_HEIGHT * r};
}

LayoutPoint Plane::vertex(int cell, int k) const {
    LayoutPoint at = centre(cell);
    const LayoutPoint &offset = VERTEX_OFFSET[k % DIRECTIONS];
    return {at.x + offset.x, at.y + offset.y};
}

int Plane::neighbour(int cell, int direction) const {
    int c = cell % cols, r = cell / cols, odd = r & 1;
    static constexpr int DC_EVEN[DIRECTIONS] = {0, 1, 0, -1, -1, -1};
    static constexpr int DR[DIRECTIONS] = {-1, 0, 1, 1, 0, -1};
    int dc = DC_EVEN[direction] + (DR[direction] != 0 ? odd : 0);
    int nc = c + dc, nr = r + DR[direction];
    if (nc < 0 || nc >= cols || nr < 0 || nr >= rows) return -1;
    return nr * cols + nc;
}

int Plane::neighbour_region(int cell, int direction) const {
    int next = neighbour(cell, direction);
    return next < 0 ? -1 : region_of[static_cast<size_t>(next)];
}

// In a hexagonal grid three cells meet at a vertex, so a region's outline
// leaves every vertex it passes at most once: each edge has exactly one
// successor and the loops follow without ambiguity.
std::vector<std::vector<BoundaryEdge>> Plane::boundary(int region) const {
    auto key = [](LayoutPoint p) { return (int64_t{p.y} << 32) | static_cast<uint32_t>(p.x); };
    std::vector<BoundaryEdge> edges;
    std::vector<LayoutPoint> ends;
    std::unordered_map<int64_t, size_t> starting_at;
    for (int cell : regions[static_cast<size_t>(region)].cells)
        for (int d = 0; d < DIRECTIONS; d++) {
            if (neighbour_region(cell, d) == region) continue;
            starting_at[key(vertex(cell, d))] = edges.size();
            edges.push_back({vertex(cell, d), cell, d});
            ends.push_back(vertex(cell, d + 1));
        }
    // Loops are started from their topmost, then leftmost, vertex.
    std::vector<size_t> order(edges.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::make_pair(edges[a].from.y, edges[a].from.x) <
               std::make_pair(edges[b].from.y, edges[b].from.x);
    });
    std::vector<char> used(edges.size(), 0);
    std::vector<std::vector<BoundaryEdge>> loops;
    for (size_t start : order) {
        if (used[start]) continue;
        std::vector<BoundaryEdge> loop;
        for (size_t e = start; !used[e];) {
            used[e] = 1;
            loop.push_back(edges[e]);
            auto next = starting_at.find(key(ends[e]));
            if (next == starting_at.end()) break;
            e = next->second;
        }
        loops.push_back(std::move(loop));
    }
    return loops;
}

Plane plane_partition(Random &random, int region_count) {
    Plane plane;
    plane.rows = std::max(4, integer_sqrt(int64_t{42} * region_count));
    plane.cols = std::max(4, (CELLS_PER_REGION * region_count + plane.rows - 1) / plane.rows);
    plane.region_of.assign(static_cast<size_t>(plane.cell_count()), -1);

    // Borders follow a warped distance: every cell is judged from a point
    // displaced by two layers of smooth noise.
    Noise coarse_x(random, plane.width(), plane.height(), 84, 22);
    Noise coarse_y(random, plane.width(), plane.height(), 84, 22);
    Noise fine_x(random, plane.width(), plane.height(), 30, 9);
    Noise fine_y(random, plane.width(), plane.height(), 30, 9);
    std::vector<LayoutPoint> warped(static_cast<size_t>(plane.cell_count()));
    for (int cell = 0; cell < plane.cell_count(); cell++) {
        LayoutPoint at = plane.centre(cell);
        warped[static_cast<size_t>(cell)] = {
            at.x + coarse_x.at(at.x, at.y) + fine_x.at(at.x, at.y),
            at.y + coarse_y.at(at.x, at.y) + fine_y.at(at.x, at.y)};
    }

    std::vector<int> seeds = spread_seeds(random, plane, region_count);
    for (int pass = 0; pass < GROWTH_PASSES; pass++) {
        grow_regions(plane, seeds, warped);
        if (pass + 1 < GROWTH_PASSES) seeds = recentre_seeds(plane, region_count);
    }
    describe_regions(plane, region_count);
    renumber_regions(plane);
    return plane;
}

}  // namespace mapgen

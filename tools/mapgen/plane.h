// The drawing plane of the generator: a grid of small hexagonal cells cut
// into connected regions (the future provinces), with the outline of each
// region traced along cell edges.
#pragma once

#include <cstdint>
#include <vector>

#include "mapgen.h"
#include "random.h"

namespace mapgen {

// Cell geometry in drawing units: pointed-top hexagons in rows, odd rows
// shifted half a cell to the right.  Vertex k of a cell runs clockwise from
// the top one; edge k joins vertex k to vertex k + 1 and faces the
// neighbour in direction k (0 north-east, 1 east, 2 south-east, 3
// south-west, 4 west, 5 north-west).
constexpr int CELL_WIDTH = 14;
constexpr int ROW_HEIGHT = 12;
constexpr int PLANE_MARGIN = 8;
constexpr int DIRECTIONS = 6;

// The largest integer whose square is at most `value` (value >= 0).
inline int integer_sqrt(int64_t value) {
    int64_t root = 0;
    while ((root + 1) * (root + 1) <= value) root++;
    return static_cast<int>(root);
}

struct Region {
    std::vector<int> cells;       // ascending cell indices
    LayoutPoint centroid;         // mean of the cell centres
    int label_cell = 0;           // the cell deepest inside the region
    std::vector<int> neighbours;  // regions sharing an edge, ascending
    bool at_edge = false;         // has a cell on the border of the grid
};

// One edge of a region's outline, walked clockwise: it starts at `from`,
// belongs to `cell` of the region and faces the cell's neighbour in
// `direction` (outside the region, or off the grid).
struct BoundaryEdge {
    LayoutPoint from;
    int cell;
    int direction;
};

class Plane {
  public:
    int cols = 0;
    int rows = 0;
    std::vector<int> region_of;   // per cell
    std::vector<Region> regions;

    int cell_count() const { return cols * rows; }
    int32_t width() const { return cols * CELL_WIDTH + CELL_WIDTH / 2 + 2 * PLANE_MARGIN; }
    int32_t height() const { return (rows - 1) * ROW_HEIGHT + 16 + 2 * PLANE_MARGIN; }
    LayoutPoint centre(int cell) const;
    LayoutPoint vertex(int cell, int k) const;
    // The neighbouring cell in a direction, or -1 off the grid.
    int neighbour(int cell, int direction) const;
    // Region of the neighbouring cell, or -1 off the grid.
    int neighbour_region(int cell, int direction) const;

    // The closed loops of a region's outline (the first is the one that
    // reaches furthest up, i.e. the outer one).
    std::vector<std::vector<BoundaryEdge>> boundary(int region) const;
};

// Cuts a plane sized for `region_count` regions into that many connected
// regions of similar size with irregular borders.  Regions are numbered in
// reading order of their label cells (top to bottom, left to right).
Plane plane_partition(Random &random, int region_count);

}  // namespace mapgen

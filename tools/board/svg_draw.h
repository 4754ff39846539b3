// Small pieces shared by the parts of a board picture: numbers and text
// for SVG, the colours and names of powers, and where a place is drawn.
#pragma once

#include <string>
#include <vector>

#include "tools/board/board.h"

namespace svg_draw {

std::string escaped(const std::string &text);
std::string number(int32_t value);
// A colour of the layout's powers, grey for an index it does not name.
std::string colour_of(const Layout &layout, int power);
std::string name_of(const Layout &layout, int power);
// Whether the layout covers the place's province.
bool covered(const Layout &layout, const BoardPlace &place);
// Where a unit at this place is drawn: the province's label point, or its
// coast's point for a named coast; false when the layout does not cover
// the province.
bool place_point(const Layout &layout, const BoardPlace &place, LayoutPoint *at);
// A dislodged unit is drawn this far right of and below its place.
constexpr int32_t DISLODGED_SHIFT = 10;
// Where a unit is drawn, dislodged ones shifted; false for a unit that is
// not there or not covered.
bool unit_point(const Layout &layout, const BoardState &state, int unit, LayoutPoint *at);

// The orders of a phase with their outcomes, arrows and marks (one <g> per
// drawn order, class "order <kind> <outcome>"), and a mark on every unit the
// phase dislodged (class "mark dislodged").
std::string phase_orders(const Layout &layout, const BoardState &state);
// The marks, also drawn in the legend's key: a cross, the dashed ring
// with a plus of a build, the red ring of a dislodged unit.
std::string board_cross(LayoutPoint at, int32_t size, const char *colour);
std::string board_build_mark(LayoutPoint at, const std::string &colour);
std::string board_dislodged_mark(LayoutPoint at);
// The colour of the cross of a disband or a removal.
constexpr const char *REMOVED_COLOUR = "#202020";
// The <defs> the order arrows use.
std::string order_defs();

}  // namespace svg_draw

// Small pieces shared by the parts of a board picture: numbers and text
// for SVG, the colours of powers, and where a location is drawn.
#pragma once

#include <string>
#include <vector>

#include "mapgen.h"

namespace svg_draw {

std::string escaped(const std::string &text);
std::string number(int32_t value);
// A colour of the layout's powers, grey for an index it does not name.
std::string colour_of(const Layout &layout, int power);
std::string name_of(const Layout &layout, int power);
// Where a unit at this location is drawn: the province's label point, or
// its coast's point for a named coast; false when the layout does not
// cover the province.
bool location_point(const Layout &layout, const Position *position, const LocationState *location,
                    LayoutPoint *at);
// A dislodged unit is drawn this far right of and below its place.
constexpr int32_t DISLODGED_SHIFT = 10;

// The orders of a phase with their outcomes, arrows and marks (one <g> per
// drawn order, class "order <kind> <outcome>"), and a mark on every unit the
// phase dislodged (class "mark dislodged").
std::string phase_orders(const Layout &layout, const Position *position, const BoardPhase &phase);
// The <defs> the order arrows use.
std::string order_defs();

}  // namespace svg_draw

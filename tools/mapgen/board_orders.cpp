// The orders of one phase drawn on a board: arrows for moves and retreats,
// dashed lines for supports, dotted ones for convoys, crosses for
// disbands and removals, rings for builds; a red cross on each order that
// failed and a red ring on each unit the phase dislodged.
#include <cmath>
#include <string>
#include <vector>

#include "svg_draw.h"
#include "world/position.h"

namespace svg_draw {

namespace {

constexpr const char *FAILED = "#e00000";
constexpr double UNIT_RADIUS = 9;  // arrows start and end this far from a unit's centre

std::string point_text(LayoutPoint p) { return number(p.x) + "," + number(p.y); }

bool failed(const std::string &outcome) {
    return outcome == "bounced" || outcome == "cut" || outcome == "no-such-order" || outcome == "not-carried" ||
           outcome == "dislodged";
}

// The point `distance` short of `to` on the way from `from`.
LayoutPoint short_of(LayoutPoint from, LayoutPoint to, double distance) {
    double dx = to.x - from.x, dy = to.y - from.y, length = std::hypot(dx, dy);
    if (length <= 2 * distance) return to;
    return {static_cast<int32_t>(std::lround(to.x - dx * distance / length)),
            static_cast<int32_t>(std::lround(to.y - dy * distance / length))};
}

LayoutPoint middle(LayoutPoint a, LayoutPoint b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// A cross of the failed colour centred on `at`.
std::string cross(LayoutPoint at, int32_t size) {
    std::string a = number(at.x - size) + " " + number(at.y - size), b = number(at.x + size) + " " + number(at.y + size);
    std::string c = number(at.x - size) + " " + number(at.y + size), d = number(at.x + size) + " " + number(at.y - size);
    return "<path class=\"cross\" d=\"M" + a + "L" + b + "M" + c + "L" + d + "\" stroke=\"" + FAILED +
           "\" stroke-width=\"3\" stroke-linecap=\"round\"/>";
}

// A line through `points` in the power's colour; `style` adds dashes, an
// arrow head or both.
std::string polyline(const std::vector<LayoutPoint> &points, const std::string &colour, const std::string &style) {
    std::string list;
    for (const LayoutPoint &p : points) list += (list.empty() ? "" : " ") + point_text(p);
    return "<polyline points=\"" + list + "\" fill=\"none\" stroke=\"" + colour +
           "\" stroke-width=\"2.5\" stroke-linejoin=\"round\" " + style + "/>";
}

struct Drawing {
    const Layout &layout;
    const Position *position;
    std::string out;

    bool point_of(const LocationState *location, LayoutPoint *at) const {
        return location_point(layout, position, location, at);
    }
    bool unit_point(const Unit *unit, LayoutPoint *at) const {
        if (!unit || !point_of(unit->location, at)) return false;
        if (unit->dislodged) *at = {at->x + DISLODGED_SHIFT, at->y + DISLODGED_SHIFT};
        return true;
    }
    void open(const char *kind, const std::string &outcome) {
        out += "<g class=\"order " + std::string(kind) + " " + escaped(outcome) + "\">";
    }
    void close() { out += "</g>\n"; }

    // From the unit to the target; an arrow that failed ends in a cross.
    void arrow(const char *kind, const Unit *unit, const std::vector<LayoutPoint> &via, const LocationState *target,
               const std::string &outcome, const std::string &dash) {
        LayoutPoint from, to;
        if (!unit_point(unit, &from) || !point_of(target, &to)) return;
        std::vector<LayoutPoint> points = {from};
        points.insert(points.end(), via.begin(), via.end());
        points.push_back(to);
        points.front() = short_of(points[1], points.front(), UNIT_RADIUS);
        points.back() = short_of(points[points.size() - 2], points.back(), UNIT_RADIUS);
        open(kind, outcome);
        out += polyline(points, colour_of(layout, unit->power), dash + " marker-end=\"url(#order-arrow)\"");
        if (failed(outcome)) out += cross(points.back(), 5);
        close();
    }

    void support(const Unit *unit, const std::string &outcome) {
        const Order &order = unit->order;
        LayoutPoint from, helped, to;
        if (!unit_point(unit, &from) || !unit_point(order.other_unit, &helped)) return;
        std::vector<LayoutPoint> points = {from};
        if (order.target && point_of(order.target, &to)) {
            points.push_back(middle(helped, to));
            points.push_back(short_of(points.back(), to, UNIT_RADIUS));
        } else {
            points.push_back(short_of(from, helped, UNIT_RADIUS + 2));
        }
        points.front() = short_of(points[1], from, UNIT_RADIUS);
        open("support", outcome);
        out += polyline(points, colour_of(layout, unit->power),
                        "stroke-dasharray=\"6 3\"" + std::string(order.target ? " marker-end=\"url(#order-arrow)\"" : ""));
        if (!order.target)
            out += "<circle cx=\"" + number(points.back().x) + "\" cy=\"" + number(points.back().y) +
                   "\" r=\"3\" fill=\"" + colour_of(layout, unit->power) + "\"/>";
        if (failed(outcome)) out += cross(middle(points[0], points[1]), 5);
        close();
    }

    // Army, fleet, landing: the fleet's part of the army's way.
    void convoy(const Unit *unit, const std::string &outcome) {
        const Order &order = unit->order;
        LayoutPoint army, fleet, landing;
        if (!unit_point(unit, &fleet) || !unit_point(order.other_unit, &army) || !point_of(order.target, &landing))
            return;
        open("convoy", outcome);
        out += polyline({short_of(fleet, army, UNIT_RADIUS), fleet, short_of(fleet, landing, UNIT_RADIUS)},
                        colour_of(layout, unit->power), "stroke-dasharray=\"1 4\" stroke-linecap=\"round\"");
        if (failed(outcome)) out += cross(fleet, 6);
        close();
    }

    void convoy_move(const Unit *unit, const std::string &outcome) {
        const Order &order = unit->order;
        std::vector<LayoutPoint> via;
        for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++) {
            const ProvinceState *sea = order.route[r];
            uint16_t p = sea ? position_province_index(position, sea) : MAX_PROVINCES;
            if (p >= layout.provinces.size() || p >= position->map->province_count) return;
            via.push_back(layout.provinces[p].label);
        }
        arrow("convoy-move", unit, via, order.target, outcome, "stroke-dasharray=\"8 3\"");
    }

    void crossed_out(const char *kind, const Unit *unit, const std::string &outcome) {
        LayoutPoint at;
        if (!unit_point(unit, &at)) return;
        open(kind, outcome);
        out += cross(at, 9);
        close();
    }

    void build(const Unit *unit, const std::string &outcome) {
        LayoutPoint at;
        if (!point_of(unit->order.target, &at)) return;
        open("build", outcome);
        out += "<circle cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) + "\" r=\"11\" fill=\"none\" stroke=\"" +
               colour_of(layout, unit->power) + "\" stroke-width=\"3\"/>";
        close();
    }

    void order(const Unit *unit, const std::string &outcome) {
        const Order &order = unit->order;
        switch (order.token) {
        case ORD_MOVE: return arrow("move", unit, {}, order.target, outcome, "");
        case ORD_RETREAT: return arrow("retreat", unit, {}, order.target, outcome, "");
        case ORD_CONVOY_MOVE: return convoy_move(unit, outcome);
        case ORD_SUPPORT: return support(unit, outcome);
        case ORD_CONVOY: return convoy(unit, outcome);
        case ORD_DISBAND: return crossed_out("disband", unit, outcome);
        case ORD_REMOVE: return crossed_out("remove", unit, outcome);
        case ORD_BUILD: return build(unit, outcome);
        default: return;  // holds and waives are not drawn
        }
    }

    void dislodged_mark(const Unit *unit) {
        LayoutPoint at;
        if (!unit_point(unit, &at)) return;
        out += "<g class=\"mark dislodged\"><circle cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) +
               "\" r=\"12\" fill=\"none\" stroke=\"" + FAILED + "\" stroke-width=\"3\"/></g>\n";
    }
};

}  // namespace

std::string order_defs() {
    return "<defs><marker id=\"order-arrow\" viewBox=\"0 0 10 10\" refX=\"8\" refY=\"5\" markerWidth=\"4\" "
           "markerHeight=\"4\" orient=\"auto-start-reverse\"><path d=\"M0 0L10 5L0 10z\" fill=\"#202020\"/>"
           "</marker></defs>\n";
}

std::string phase_orders(const Layout &layout, const Position *position, const BoardPhase &phase) {
    Drawing drawing{layout, position, ""};
    for (uint16_t u = 0; u < position->unit_count && u < MAX_UNITS; u++) {
        const Unit *unit = position->units[u];
        if (u < phase.outcomes.size()) drawing.order(unit, phase.outcomes[u]);
    }
    for (uint16_t u = 0; u < position->unit_count && u < MAX_UNITS; u++)
        if (u < phase.dislodged.size() && phase.dislodged[u]) drawing.dislodged_mark(position->units[u]);
    return drawing.out;
}

}  // namespace svg_draw

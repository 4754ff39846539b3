// The orders of one phase drawn on a board: arrows for moves and retreats,
// dashed lines for supports, dotted ones for convoys, a dark cross for a
// disband or a removal, a dashed ring with a plus for a build; a red cross
// on each order that failed and a red ring on each unit the phase
// dislodged.
#include <cmath>
#include <string>
#include <vector>

#include "tools/board/svg_draw.h"

namespace svg_draw {

namespace {

constexpr double UNIT_RADIUS = 9;  // arrows start and end this far from a unit's centre

std::string point_text(LayoutPoint p) { return number(p.x) + "," + number(p.y); }

// The point `distance` short of `to` on the way from `from`.
LayoutPoint short_of(LayoutPoint from, LayoutPoint to, double distance) {
    double dx = to.x - from.x, dy = to.y - from.y, length = std::hypot(dx, dy);
    if (length <= 2 * distance) return to;
    return {static_cast<int32_t>(std::lround(to.x - dx * distance / length)),
            static_cast<int32_t>(std::lround(to.y - dy * distance / length))};
}

LayoutPoint middle(LayoutPoint a, LayoutPoint b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

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
    const BoardState &state;
    std::string out;

    bool point_of(const BoardPlace &place, LayoutPoint *at) const { return place_point(layout, place, at); }
    bool unit_at(int unit, LayoutPoint *at) const { return unit_point(layout, state, unit, at); }
    void open(const char *kind, const std::string &outcome) {
        out += "<g class=\"order " + std::string(kind) + " " + escaped(outcome) + "\">";
    }
    void close() { out += "</g>\n"; }

    // From the unit to the target; an arrow that failed ends in a cross.
    void arrow(const char *kind, const BoardOrder &order, const std::vector<LayoutPoint> &via,
               const std::string &dash) {
        LayoutPoint from, to;
        if (!unit_at(order.unit, &from) || !point_of(order.target, &to)) return;
        std::vector<LayoutPoint> points = {from};
        points.insert(points.end(), via.begin(), via.end());
        points.push_back(to);
        points.front() = short_of(points[1], points.front(), UNIT_RADIUS);
        points.back() = short_of(points[points.size() - 2], points.back(), UNIT_RADIUS);
        open(kind, order.outcome);
        out += polyline(points, colour_of(layout, order.power), dash + " marker-end=\"url(#order-arrow)\"");
        if (board_outcome_failed(order.outcome)) out += board_cross(points.back(), 5, BOARD_FAILED);
        close();
    }

    void support(const BoardOrder &order) {
        LayoutPoint from, helped, to;
        if (!unit_at(order.unit, &from) || !unit_at(order.other, &helped)) return;
        bool to_move = point_of(order.target, &to);
        std::vector<LayoutPoint> points = {from};
        if (to_move) {
            points.push_back(middle(helped, to));
            points.push_back(short_of(points.back(), to, UNIT_RADIUS));
        } else {
            points.push_back(short_of(from, helped, UNIT_RADIUS + 2));
        }
        points.front() = short_of(points[1], from, UNIT_RADIUS);
        open("support", order.outcome);
        out += polyline(points, colour_of(layout, order.power),
                        "stroke-dasharray=\"6 3\"" + std::string(to_move ? " marker-end=\"url(#order-arrow)\"" : ""));
        if (!to_move)
            out += "<circle cx=\"" + number(points.back().x) + "\" cy=\"" + number(points.back().y) +
                   "\" r=\"3\" fill=\"" + colour_of(layout, order.power) + "\"/>";
        if (board_outcome_failed(order.outcome)) out += board_cross(middle(points[0], points[1]), 5, BOARD_FAILED);
        close();
    }

    // Army, fleet, landing: the fleet's part of the army's way.
    void convoy(const BoardOrder &order) {
        LayoutPoint army, fleet, landing;
        if (!unit_at(order.unit, &fleet) || !unit_at(order.other, &army) || !point_of(order.target, &landing))
            return;
        open("convoy", order.outcome);
        out += polyline({short_of(fleet, army, UNIT_RADIUS), fleet, short_of(fleet, landing, UNIT_RADIUS)},
                        colour_of(layout, order.power), "stroke-dasharray=\"1 4\" stroke-linecap=\"round\"");
        if (board_outcome_failed(order.outcome)) out += board_cross(fleet, 6, BOARD_FAILED);
        close();
    }

    void convoy_move(const BoardOrder &order) {
        std::vector<LayoutPoint> via;
        for (size_t sea : order.via) {
            if (sea >= layout.provinces.size()) return;
            via.push_back(layout.provinces[sea].label);
        }
        arrow("convoy-move", order, via, "stroke-dasharray=\"8 3\"");
    }

    void crossed_out(const char *kind, const BoardOrder &order) {
        LayoutPoint at;
        if (!unit_at(order.unit, &at)) return;
        open(kind, order.outcome);
        out += board_cross(at, 9, REMOVED_COLOUR);
        close();
    }

    void build(const BoardOrder &order) {
        LayoutPoint at;
        if (!point_of(order.target, &at)) return;
        open("build", order.outcome);
        out += board_build_mark(at, colour_of(layout, order.power));
        close();
    }

    void order(const BoardOrder &order) {
        switch (order.kind) {
        case BoardOrderKind::MOVE: return arrow("move", order, {}, "");
        case BoardOrderKind::RETREAT: return arrow("retreat", order, {}, "");
        case BoardOrderKind::CONVOY_MOVE: return convoy_move(order);
        case BoardOrderKind::SUPPORT: return support(order);
        case BoardOrderKind::CONVOY: return convoy(order);
        case BoardOrderKind::DISBAND: return crossed_out("disband", order);
        case BoardOrderKind::REMOVE: return crossed_out("remove", order);
        case BoardOrderKind::BUILD: return build(order);
        case BoardOrderKind::HOLD:
        case BoardOrderKind::WAIVE: return;  // not drawn
        }
    }

    void dislodged_mark(int unit) {
        LayoutPoint at;
        if (!unit_at(unit, &at)) return;
        out += "<g class=\"mark dislodged\">" + board_dislodged_mark(at) + "</g>\n";
    }
};

}  // namespace

std::string board_cross(LayoutPoint at, int32_t size, const char *colour) {
    std::string a = number(at.x - size) + " " + number(at.y - size), b = number(at.x + size) + " " + number(at.y + size);
    std::string c = number(at.x - size) + " " + number(at.y + size), d = number(at.x + size) + " " + number(at.y - size);
    return "<path class=\"cross\" d=\"M" + a + "L" + b + "M" + c + "L" + d + "\" stroke=\"" + colour +
           "\" stroke-width=\"3\" stroke-linecap=\"round\"/>";
}

std::string board_build_mark(LayoutPoint at, const std::string &colour) {
    return "<circle cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) + "\" r=\"11\" fill=\"none\" stroke=\"" +
           colour + "\" stroke-width=\"2.5\" stroke-dasharray=\"4 2\"/><path d=\"M" + number(at.x + 12) + " " +
           number(at.y) + "h8M" + number(at.x + 16) + " " + number(at.y - 4) + "v8\" stroke=\"" + colour +
           "\" stroke-width=\"2.5\"/>";
}

std::string board_dislodged_mark(LayoutPoint at) {
    return "<circle cx=\"" + number(at.x) + "\" cy=\"" + number(at.y) + "\" r=\"12\" fill=\"none\" stroke=\"" +
           BOARD_FAILED + "\" stroke-width=\"3\"/>";
}

std::string order_defs() {
    return "<defs><marker id=\"order-arrow\" viewBox=\"0 0 10 10\" refX=\"8\" refY=\"5\" markerWidth=\"4\" "
           "markerHeight=\"4\" orient=\"auto-start-reverse\"><path d=\"M0 0L10 5L0 10z\" fill=\"#202020\"/>"
           "</marker></defs>\n";
}

std::string phase_orders(const Layout &layout, const BoardState &state) {
    Drawing drawing{layout, state, ""};
    for (const BoardOrder &order : state.orders) drawing.order(order);
    for (int unit : state.dislodged) drawing.dislodged_mark(unit);
    return drawing.out;
}

}  // namespace svg_draw

// Pictures of boards: the default opening drawn through the library's own
// records is well-formed SVG with one mark per unit and the centres in
// their owners' colours; two-coast fleets, dislodged units, missing
// records, odd names and a layout that does not cover the Map; the
// palette; every order's mark, with labels above them all.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tools/mapgen/mapgen.h"
#include "tools/mapgen/picture.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/position.h"
#include "world/position_message.h"

namespace {

// ---------------------------------------------------------------------------
// A small well-formedness check: one root element, balanced tags, quoted
// attributes named once per element, and no '&' but the five named
// entities and character references.
// ---------------------------------------------------------------------------

bool name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':' || c == '.';
}

std::string entity_problem(const std::string &text) {
    for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
        size_t end = text.find(';', at);
        if (end == std::string::npos) return "unterminated entity";
        std::string entity = text.substr(at + 1, end - at - 1);
        static const std::set<std::string> named = {"amp", "lt", "gt", "quot", "apos"};
        bool reference = entity.size() > 1 && entity[0] == '#' &&
                         entity.find_first_not_of("0123456789", 1) == std::string::npos;
        if (!named.count(entity) && !reference) return "unknown entity &" + entity + ";";
    }
    return "";
}

std::string xml_problem(const std::string &xml) {
    size_t i = 0, n = xml.size();
    if (xml.compare(0, 5, "<?xml") == 0) {
        i = xml.find("?>");
        if (i == std::string::npos) return "unterminated declaration";
        i += 2;
    }
    std::vector<std::string> open;
    int roots = 0;
    auto read_name = [&]() {
        size_t start = i;
        while (i < n && name_char(xml[i])) i++;
        return xml.substr(start, i - start);
    };
    auto skip_space = [&]() {
        while (i < n && std::isspace(static_cast<unsigned char>(xml[i]))) i++;
    };
    while (i < n) {
        if (xml[i] != '<') {
            size_t next = xml.find('<', i);
            std::string text = xml.substr(i, (next == std::string::npos ? n : next) - i);
            if (text.find('>') != std::string::npos && open.empty()) return "stray '>'";
            if (open.empty() && text.find_first_not_of(" \t\r\n") != std::string::npos) return "text outside the root";
            std::string problem = entity_problem(text);
            if (!problem.empty()) return problem;
            i = next == std::string::npos ? n : next;
            continue;
        }
        i++;
        if (xml.compare(i, 3, "!--") == 0) {
            size_t end = xml.find("-->", i);
            if (end == std::string::npos) return "unterminated comment";
            i = end + 3;
            continue;
        }
        if (i < n && xml[i] == '/') {
            i++;
            std::string name = read_name();
            skip_space();
            if (i >= n || xml[i] != '>') return "malformed end tag " + name;
            i++;
            if (open.empty() || open.back() != name) return "end tag " + name + " does not match";
            open.pop_back();
            if (open.empty()) roots++;
            continue;
        }
        std::string name = read_name();
        if (name.empty()) return "element without a name";
        if (open.empty() && roots > 0) return "second root element " + name;
        std::set<std::string> attributes;
        for (;;) {
            skip_space();
            if (i >= n) return "unterminated tag " + name;
            if (xml.compare(i, 2, "/>") == 0) {
                i += 2;
                if (open.empty()) roots++;
                break;
            }
            if (xml[i] == '>') {
                i++;
                open.push_back(name);
                break;
            }
            std::string attribute = read_name();
            if (attribute.empty()) return "malformed attribute in " + name;
            if (!attributes.insert(attribute).second) return "attribute " + attribute + " twice in " + name;
            skip_space();
            if (i >= n || xml[i] != '=') return "attribute " + attribute + " without value";
            i++;
            skip_space();
            if (i >= n || (xml[i] != '"' && xml[i] != '\'')) return "unquoted attribute " + attribute;
            char quote = xml[i++];
            size_t end = xml.find(quote, i);
            if (end == std::string::npos) return "unterminated attribute " + attribute;
            std::string value = xml.substr(i, end - i);
            if (value.find('<') != std::string::npos) return "'<' in attribute " + attribute;
            std::string problem = entity_problem(value);
            if (!problem.empty()) return problem;
            i = end + 1;
        }
    }
    if (!open.empty()) return "element " + open.back() + " left open";
    return roots == 1 ? "" : "no root element";
}

size_t count_of(const std::string &text, const std::string &part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) count++;
    return count;
}

TEST(SvgChecker, RefusesBrokenDocuments) {
    EXPECT_EQ(xml_problem("<svg a=\"1\"><g/><text>A &amp; B</text></svg>"), "");
    EXPECT_NE(xml_problem("<svg><g></svg>"), "");
    EXPECT_NE(xml_problem("<svg a=1></svg>"), "");
    EXPECT_NE(xml_problem("<svg a=\"1\" a=\"2\"></svg>"), "");
    EXPECT_NE(xml_problem("<svg><text>A & B</text></svg>"), "");
    EXPECT_NE(xml_problem("<svg></svg><svg></svg>"), "");
    EXPECT_NE(xml_problem("<svg><title>x</svg></title>"), "");
}

// ---------------------------------------------------------------------------
// Boards
// ---------------------------------------------------------------------------

std::vector<uint8_t> position_message(uint16_t season, uint16_t year,
                                      const std::vector<std::vector<uint16_t>> &units) {
    std::vector<uint8_t> message(position_message_size(units.size()), 0);
    position_message_init(message.data(), {season, year}, static_cast<uint16_t>(units.size()));
    for (size_t u = 0; u < units.size(); u++) {  // power, type, province, coast, dislodged
        PositionUnitEntry entry{};
        entry.power = units[u][0];
        entry.unit_type = units[u][1];
        entry.province = units[u][2];
        entry.coast = units[u][3];
        entry.dislodged = units[u].size() > 4 ? units[u][4] : 0;
        position_unit_write(position_message_unit(message.data(), static_cast<uint16_t>(u)), entry);
    }
    return message;
}

std::string point_text(LayoutPoint at, int dx, int dy) {
    return std::to_string(at.x + dx) + "," + std::to_string(at.y + dy);
}

TEST(BoardSvg, DefaultOpeningHasAMarkPerUnitAndCentresInTheirOwnersColours) {
    GeneratedMap generated = mapgen_default();
    std::string svg;
    ASSERT_TRUE(draw_position(generated.layout, generated.map_message, generated.centres_message,
                              generated.position_message, &svg));
    EXPECT_EQ(xml_problem(svg), "");
    size_t units = position_message_unit_count(generated.position_message.data());
    size_t fleets = 0;
    for (uint16_t u = 0; u < units; u++) {
        PositionUnitEntry entry;
        position_unit_read(position_message_unit(generated.position_message.data(), u), &entry);
        fleets += entry.unit_type == UNIT_FLEET;
    }
    EXPECT_EQ(count_of(svg, "<g class=\"unit "), units);
    EXPECT_EQ(count_of(svg, "<g class=\"unit fleet"), fleets);
    EXPECT_EQ(count_of(svg, "<g class=\"unit army"), units - fleets);
    EXPECT_EQ(count_of(svg, " dislodged\""), 0u);
    EXPECT_EQ(count_of(svg, "<path class=\"province "), 75u);
    EXPECT_EQ(count_of(svg, "<path class=\"province sea"), 19u);
    EXPECT_EQ(count_of(svg, "<circle class=\"centre\""), 34u);
    EXPECT_EQ(count_of(svg, "Spring 1901"), 1u);
    // At the opening each power owns its home centres; the rest are unowned.
    std::map<uint16_t, size_t> homes;
    for (const LayoutProvince &province : generated.layout.provinces)
        if (province.centre && province.home_power < generated.layout.powers.size()) homes[province.home_power]++;
    for (auto [power, count] : homes)
        EXPECT_EQ(count_of(svg, "r=\"4\" fill=\"" + generated.layout.powers[power].colour), count)
            << "power " << power;
    EXPECT_EQ(count_of(svg, "r=\"4\" fill=\"#f5f5f5\""), 12u);
}

TEST(BoardSvg, FleetOnASecondCoastIsDrawnAtThatCoast) {
    GeneratedMap generated = mapgen_default();
    uint16_t province = 0;
    while (province < generated.layout.provinces.size() && generated.layout.provinces[province].coasts.empty())
        province++;
    ASSERT_LT(province, generated.layout.provinces.size());
    const LayoutCoast &coast = generated.layout.provinces[province].coasts[1];
    std::vector<uint8_t> message = position_message(SEASON_SPRING, 1903, {{0, UNIT_FLEET, province, coast.code}});
    std::string svg;
    ASSERT_TRUE(draw_position(generated.layout, generated.map_message, generated.centres_message, message, &svg));
    EXPECT_EQ(xml_problem(svg), "");
    EXPECT_EQ(count_of(svg, "<g class=\"unit fleet\">"), 1u);
    EXPECT_EQ(count_of(svg, "(" + coast.name + " coast)"), 1u);
    EXPECT_EQ(count_of(svg, "<polygon points=\"" + point_text(coast.at, -9, -3) + " "), 1u);
}

TEST(BoardSvg, DislodgedUnitIsMarkedBesideTheUnitThatTookItsPlace) {
    GeneratedMap generated = mapgen_default();
    uint16_t land = 0;
    while (!(generated.layout.provinces[land].terrain & TERRAIN_LAND)) land++;
    LayoutPoint label = generated.layout.provinces[land].label;
    std::vector<uint8_t> message = position_message(
        SEASON_SUMMER, 1901, {{1, UNIT_ARMY, land, COAST_ARMY}, {0, UNIT_ARMY, land, COAST_ARMY, 1}});
    std::string svg;
    ASSERT_TRUE(draw_position(generated.layout, generated.map_message, generated.centres_message, message, &svg));
    EXPECT_EQ(xml_problem(svg), "");
    EXPECT_EQ(count_of(svg, "<g class=\"unit "), 2u);
    EXPECT_EQ(count_of(svg, "<g class=\"unit army dislodged\">"), 1u);
    EXPECT_EQ(count_of(svg, "<circle cx=\"" + std::to_string(label.x) + "\" cy=\"" + std::to_string(label.y)), 1u);
    EXPECT_EQ(count_of(svg, "<circle cx=\"" + std::to_string(label.x + 10) + "\" cy=\"" +
                                std::to_string(label.y + 10) + "\" r=\"7\" fill=\"" +
                                generated.layout.powers[0].colour + "\" stroke=\"#e00000\""),
              1u);
    EXPECT_EQ(count_of(svg, "Summer 1901"), 1u);
}

struct MapRelease {
    void operator()(Map *map) const { map_release(map); }
};

// ---------------------------------------------------------------------------
// Colours
// ---------------------------------------------------------------------------

// CIE76 colour difference of two "#rrggbb" colours, through CIE Lab (D65).
double colour_difference(const std::string &a, const std::string &b) {
    auto lab = [](const std::string &hex) {
        double rgb[3];
        for (int i = 0; i < 3; i++) {
            double c = std::strtol(hex.substr(static_cast<size_t>(1 + 2 * i), 2).c_str(), nullptr, 16) / 255.0;
            rgb[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
        double xyz[3] = {(0.4124 * rgb[0] + 0.3576 * rgb[1] + 0.1805 * rgb[2]) / 0.95047,
                         0.2126 * rgb[0] + 0.7152 * rgb[1] + 0.0722 * rgb[2],
                         (0.0193 * rgb[0] + 0.1192 * rgb[1] + 0.9505 * rgb[2]) / 1.08883};
        for (double &t : xyz) t = t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116;
        return std::array<double, 3>{116 * xyz[1] - 16, 500 * (xyz[0] - xyz[1]), 200 * (xyz[1] - xyz[2])};
    };
    std::array<double, 3> x = lab(a), y = lab(b);
    return std::sqrt(std::pow(x[0] - y[0], 2) + std::pow(x[1] - y[1], 2) + std::pow(x[2] - y[2], 2));
}

TEST(BoardColours, TwentyPowersStayApartAsUnitsAndAsLandTintsAndFromTheBoardAndTheRedOfFailures) {
    MapgenOptions options;
    options.provinces = 300;
    options.powers = 20;
    Layout layout = mapgen_generate(options).layout;
    ASSERT_EQ(layout.powers.size(), 20u);
    // A difference of 15 is plain to see side by side; a unit or a tint
    // sits on the board, so it keeps twice that from the sea and from the
    // red that marks failures.
    constexpr double APART = 15;
    for (int p = 0; p < 20; p++) {
        std::string colour = layout.powers[p].colour, tint = board_owner_tint(layout, p);
        for (const char *board : {BOARD_SEA_FILL, BOARD_LAND_FILL, BOARD_UNOWNED_CENTRE})
            EXPECT_GE(colour_difference(tint, board), APART) << "power " << p << " against " << board;
        EXPECT_GE(colour_difference(colour, BOARD_SEA_FILL), 2 * APART) << "power " << p;
        EXPECT_GE(colour_difference(colour, BOARD_FAILED), 2 * APART) << "power " << p;
        for (int q = 0; q < p; q++) {
            EXPECT_GE(colour_difference(colour, layout.powers[q].colour), APART) << p << ", " << q;
            EXPECT_GE(colour_difference(tint, board_owner_tint(layout, q)), APART) << p << ", " << q;
        }
    }
}

TEST(BoardColours, OwnedLandTakesTheTintOfItsOwnersLegendSwatch) {
    GeneratedMap generated = mapgen_default();
    std::string svg;
    ASSERT_TRUE(draw_position(generated.layout, generated.map_message, generated.centres_message,
                              generated.position_message, &svg));
    for (size_t p = 0; p < generated.layout.powers.size(); p++) {
        std::string tint = board_owner_tint(generated.layout, static_cast<int>(p));
        EXPECT_EQ(count_of(svg, "fill=\"" + tint + "\" stroke=\"" + generated.layout.powers[p].colour + "\""), 1u)
            << "legend swatch of power " << p;
        for (size_t i = 0; i < generated.layout.provinces.size(); i++) {
            const LayoutProvince &province = generated.layout.provinces[i];
            if (!province.centre || province.home_power != p) continue;
            EXPECT_NE(svg.find("id=\"province-" + std::to_string(i) + "\" d=\""), std::string::npos);
            size_t path = svg.find("id=\"province-" + std::to_string(i) + "\" d=\"");
            EXPECT_EQ(svg.substr(svg.find("fill=\"", path) + 6, 7), tint) << province.name;
        }
    }
}

// ---------------------------------------------------------------------------
// Orders
// ---------------------------------------------------------------------------

const Order *first_candidate(const Unit *unit, uint16_t token) {
    LumAvlTree *set = const_cast<LumAvlTree *>(&unit->candidates);
    for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
         order = static_cast<Order *>(lum_avl_next(set, &order->node)))
        if (order->token == token) return order;
    return nullptr;
}

// The board's order for a candidate of unit `u` of a spring Position
// (whose units are drawn in the Position's order).
BoardOrder board_order_of(const Layout &layout, const Position *position, uint16_t u, const Order &order,
                          const char *outcome) {
    auto place = [&](const LocationState *location) {
        BoardPlace at;
        if (!location) return at;
        at.province = position_province_index(position, location->province);
        for (const LayoutCoast &coast : layout.provinces[at.province].coasts)
            if (coast.code == location->coast) at.coast = coast.name;
        return at;
    };
    BoardOrder drawn;
    drawn.kind = order.token == ORD_MOVE      ? BoardOrderKind::MOVE
                 : order.token == ORD_SUPPORT ? BoardOrderKind::SUPPORT
                 : order.token == ORD_CONVOY  ? BoardOrderKind::CONVOY
                                              : BoardOrderKind::HOLD;
    drawn.power = position->units[u]->power;
    drawn.unit = u;
    drawn.target = place(order.target);
    for (uint16_t v = 0; v < position->unit_count; v++)
        if (position->units[v] == order.other_unit) drawn.other = v;
    drawn.outcome = outcome;
    return drawn;
}

TEST(BoardSvg, EachOrderIsDrawnWithItsOutcomeAndFailuresAreMarked) {
    GeneratedMap generated = mapgen_default();
    GeneratedPosition midgame = mapgen_midgame_position();
    std::unique_ptr<Map, MapRelease> map(map_build(generated.map_message.data()));
    CentreTable *centres = centre_table_retain(centre_table_build(map.get(), midgame.centres_message.data()));
    std::vector<uint8_t> message = midgame.position_message;
    Position *position = position_build(map.get(), centres, message.data());
    ASSERT_NE(position, nullptr);
    BoardState state = board_state_of(generated.layout, map.get(), centres, position);
    ASSERT_EQ(state.units.size(), position->unit_count);
    // Three moves (one bounced), a support cut, a convoy that carried
    // nothing, the rest holding; one holder dislodged.
    std::vector<std::pair<uint16_t, const char *>> wanted = {
        {ORD_MOVE, "moved"}, {ORD_MOVE, "moved"}, {ORD_MOVE, "bounced"}, {ORD_SUPPORT, "cut"}, {ORD_CONVOY, "not-carried"}};
    size_t given = 0;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Order *order = given < wanted.size() ? first_candidate(position->units[u], wanted[given].first) : nullptr;
        if (!order) {
            state.orders.push_back(board_order_of(generated.layout, position, u, position->units[u]->order, "held"));
            continue;
        }
        state.orders.push_back(board_order_of(generated.layout, position, u, *order, wanted[given++].second));
    }
    ASSERT_EQ(given, wanted.size());
    state.dislodged.push_back(position->unit_count - 1);
    std::string svg = board_svg(generated.layout, state);
    EXPECT_EQ(xml_problem(svg), "");
    EXPECT_EQ(count_of(svg, "<g class=\"order "), wanted.size());
    EXPECT_EQ(count_of(svg, "<g class=\"order move moved\">"), 2u);
    EXPECT_EQ(count_of(svg, "<g class=\"order move bounced\">"), 1u);
    EXPECT_EQ(count_of(svg, "<g class=\"order support cut\">"), 1u);
    EXPECT_EQ(count_of(svg, "<g class=\"order convoy not-carried\">"), 1u);
    // Three failures on the board, and the key's sample.
    EXPECT_EQ(count_of(svg, "class=\"cross\" d=\"M"), 3u + 2u);
    EXPECT_EQ(count_of(svg, "<g class=\"mark dislodged\">"), 1u);
    // The legend gives every power's centre count.
    for (uint16_t p = 0; p < map->power_count; p++)
        EXPECT_NE(svg.find(generated.layout.powers[p].name + " (" + std::to_string(centres->lists[p]->count) + ")"),
                  std::string::npos);
    brox_position_free(position);
    centre_table_release(map.get(), centres);
}

// Builds, removals and disbands each have a mark of their own, unlike a
// failure's red cross and a dislodgement's red ring, and the key under the
// map explains all of them; every label comes after every mark, so that
// none is hidden.
TEST(BoardSvg, AdjustmentMarksDifferFromFailuresAndTheKeyNamesThemAboveLabelsStayOnTop) {
    GeneratedMap generated = mapgen_default();
    const Layout &layout = generated.layout;
    size_t land = 0;
    while (!(layout.provinces[land].terrain & TERRAIN_LAND)) land++;
    BoardState state;
    state.phase = "Winter 1901";
    state.units = {{0, false, {land, ""}, false}, {1, false, {land + 1, ""}, true}};
    BoardOrder build;
    build.kind = BoardOrderKind::BUILD;
    build.power = 2;
    build.target = {land + 2, ""};
    build.outcome = "built";
    BoardOrder removal;
    removal.kind = BoardOrderKind::REMOVE;
    removal.unit = 0;
    removal.outcome = "removed";
    BoardOrder disband;
    disband.kind = BoardOrderKind::DISBAND;
    disband.unit = 1;
    disband.outcome = "disbanded";
    state.orders = {build, removal, disband};
    std::string svg = board_svg(layout, state);
    EXPECT_EQ(xml_problem(svg), "");
    auto group = [&svg](const std::string &head) {
        size_t at = svg.find(head);
        return at == std::string::npos ? std::string() : svg.substr(at, svg.find("</g>", at) - at);
    };
    std::string built = group("<g class=\"order build built\">");
    std::string removed = group("<g class=\"order remove removed\">");
    std::string disbanded = group("<g class=\"order disband disbanded\">");
    ASSERT_FALSE(built.empty());
    ASSERT_FALSE(removed.empty());
    ASSERT_FALSE(disbanded.empty());
    // Neither the red of failures nor a plain ring: a dashed ring with a plus.
    EXPECT_EQ(built.find(BOARD_FAILED), std::string::npos) << built;
    EXPECT_NE(built.find("stroke-dasharray"), std::string::npos) << built;
    EXPECT_NE(built.find(layout.powers[2].colour), std::string::npos) << built;
    EXPECT_EQ(removed.find(BOARD_FAILED), std::string::npos) << removed;
    EXPECT_EQ(disbanded.find(BOARD_FAILED), std::string::npos) << disbanded;
    for (const char *words : {"order failed", "unit dislodged", "unit built", "unit removed or disbanded", "support",
                              "convoy"})
        EXPECT_EQ(count_of(svg, ">" + std::string(words)), 1u) << words;
    size_t last_mark = svg.rfind("<g class=\"order ");
    size_t first_label = svg.find("<text class=\"label\"");
    ASSERT_NE(first_label, std::string::npos);
    EXPECT_LT(last_mark, first_label);
    EXPECT_LT(svg.rfind("<g class=\"unit "), first_label);
}

TEST(BoardSvg, WithoutOwnersOrUnitsAndWithAShortLayoutStillWellFormed) {
    GeneratedMap generated = mapgen_default();
    std::unique_ptr<Map, MapRelease> map(map_build(generated.map_message.data()));
    ASSERT_NE(map, nullptr);
    std::string bare = board_svg(generated.layout, board_state_of(generated.layout, map.get(), nullptr, nullptr));
    EXPECT_EQ(xml_problem(bare), "");
    EXPECT_EQ(count_of(bare, "<g class=\"unit "), 0u);
    EXPECT_EQ(count_of(bare, "r=\"4\" fill=\"#f5f5f5\""), 34u);

    // A layout that covers only the first 30 provinces, with names that
    // need escaping: the rest of the Map and its units are left out.
    Layout shorter = generated.layout;
    shorter.provinces.resize(30);
    shorter.powers[0].name = "Tom & \"Jerry\" <1>";
    CentreTable *centres = centre_table_retain(centre_table_build(map.get(), generated.centres_message.data()));
    std::vector<uint8_t> message = generated.position_message;
    Position *position = position_build(map.get(), centres, message.data());
    ASSERT_NE(position, nullptr);
    std::string svg = board_svg(shorter, board_state_of(shorter, map.get(), centres, position));
    EXPECT_EQ(xml_problem(svg), "");
    EXPECT_EQ(count_of(svg, "<path class=\"province "), 30u);
    size_t drawn = 0;
    for (int u = 0; u < position->unit_count; u++)
        drawn += map_province_index(map.get(), position->units[u]->location->location->province) < 30;
    EXPECT_EQ(count_of(svg, "<g class=\"unit "), drawn);
    EXPECT_GE(count_of(svg, "Tom &amp; &quot;Jerry&quot; &lt;1&gt;"), 1u);
    EXPECT_EQ(count_of(svg, "Tom & "), 0u);
    brox_position_free(position);
    centre_table_release(map.get(), centres);
}

}  // namespace

// Writing the generator's model out: the map-definition, centre-ownership
// and position messages in the byte layouts the library reads, and the
// layout used for drawing.
#include "model.h"
#include "world/centres_message.h"
#include "world/map_message.h"
#include "world/position_message.h"

namespace mapgen {

namespace {

uint16_t province_token(int index) {
    return static_cast<uint16_t>(((index & 0xFF) << 8) | MAPGEN_PROVINCE_CATEGORY);
}

// The cell of province p nearest to `target`, other than `avoid`.
LayoutPoint cell_point_near(const Plane &plane, int p, LayoutPoint target, int avoid) {
    LayoutPoint best = plane.centre(plane.regions[static_cast<size_t>(p)].label_cell);
    int64_t best_distance = INT64_MAX;
    for (int cell : plane.regions[static_cast<size_t>(p)].cells) {
        if (cell == avoid) continue;
        LayoutPoint at = plane.centre(cell);
        int64_t dx = at.x - target.x, dy = at.y - target.y;
        if (dx * dx + dy * dy < best_distance) {
            best_distance = dx * dx + dy * dy;
            best = at;
        }
    }
    return best;
}

}  // namespace

std::vector<uint8_t> encode_map(const World &world) {
    std::vector<MapProvinceEntry> provinces;
    for (size_t p = 0; p < world.provinces.size(); p++) {
        const ProvincePlan &plan = world.provinces[p];
        provinces.push_back({province_token(static_cast<int>(p)), plan.centre ? 1u : 0u,
                             static_cast<uint16_t>(plan.home_power == NO_POWER ? world.powers : plan.home_power),
                             plan.terrain});
    }
    std::vector<MapAdjacencyEntry> adjacencies;
    for (const AdjacencyPlan &entry : world.adjacencies)
        adjacencies.push_back({entry.from_province, entry.from_coast, entry.to_province, entry.to_coast});
    std::vector<uint8_t> message(map_message_size(provinces.size(), adjacencies.size()), 0);
    map_message_write(message.data(), static_cast<uint16_t>(world.powers), provinces.data(),
                      static_cast<uint16_t>(provinces.size()), adjacencies.data(),
                      static_cast<uint32_t>(adjacencies.size()));
    return message;
}

// One entry per supply centre in province order: its owner, or the
// unowned marker in games of at most eleven powers (larger games leave
// unowned centres out, since 11 is one of their powers).
std::vector<uint8_t> encode_centres(const World &world, const std::vector<int> &owner_of) {
    bool list_unowned = centres_lists_unowned(static_cast<uint16_t>(world.powers));
    std::vector<CentreOwnership> entries;
    for (int p = 0; p < world.province_count(); p++) {
        if (!world.provinces[static_cast<size_t>(p)].centre) continue;
        int owner = owner_of[static_cast<size_t>(p)];
        if (owner != NO_POWER)
            entries.push_back({static_cast<uint16_t>(owner), static_cast<uint16_t>(p)});
        else if (list_unowned)
            entries.push_back({POWER_UNOWNED, static_cast<uint16_t>(p)});
    }
    std::vector<uint8_t> message(centres_message_size(entries.size()), 0);
    centres_message_write(message.data(), entries.data(), static_cast<uint16_t>(entries.size()));
    return message;
}

// Units as placed: every coast given, nobody dislodged, no retreats.
std::vector<uint8_t> encode_position(uint16_t season, uint16_t year,
                                     const std::vector<UnitPlan> &units) {
    std::vector<uint8_t> message(position_message_size(units.size()), 0);
    position_message_init(message.data(), {season, year}, static_cast<uint16_t>(units.size()));
    for (uint16_t u = 0; u < units.size(); u++) {
        PositionUnitEntry entry{};
        entry.power = static_cast<uint16_t>(units[u].power);
        entry.unit_type = units[u].unit_type;
        entry.province = static_cast<uint16_t>(units[u].province);
        entry.coast = units[u].coast;
        position_unit_write(position_message_unit(message.data(), u), entry);
    }
    return message;
}

Layout build_layout(const World &world, Random &random) {
    Layout layout;
    layout.width = world.plane.width();
    layout.height = world.plane.height();
    std::vector<ProvinceName> names = province_names(random, world.province_count());
    std::vector<std::string> powers = power_names(random, world.powers);
    for (int power = 0; power < world.powers; power++)
        layout.powers.push_back({powers[static_cast<size_t>(power)], power_colour(power)});
    for (int p = 0; p < world.province_count(); p++) {
        const ProvincePlan &plan = world.provinces[static_cast<size_t>(p)];
        const Region &region = world.plane.regions[static_cast<size_t>(p)];
        LayoutProvince province;
        province.name = names[static_cast<size_t>(p)].name + (world.is_sea(p) ? " Sea" : "");
        province.abbreviation = names[static_cast<size_t>(p)].abbreviation;
        province.terrain = plan.terrain;
        province.centre = plan.centre;
        province.home_power = static_cast<uint16_t>(plan.home_power == NO_POWER ? world.powers : plan.home_power);
        province.label = world.plane.centre(region.label_cell);
        // The centre mark sits below and to the left of the label, where
        // it does not cover a unit.
        province.centre_mark = cell_point_near(
            world.plane, p, {province.label.x - 14, province.label.y + 14}, region.label_cell);
        province.coasts = plan.coasts;
        for (const std::vector<BoundaryEdge> &loop : world.plane.boundary(p)) {
            std::vector<LayoutPoint> points;
            for (const BoundaryEdge &edge : loop) points.push_back(edge.from);
            province.outline.push_back(std::move(points));
        }
        layout.provinces.push_back(std::move(province));
    }
    return layout;
}

}  // namespace mapgen

// World: boards turned into built Maps, CentreTables and Positions.
#include "world.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "world/centres.h"
#include "world/check.h"
#include "world/map.h"
#include "world/position.h"

namespace {

// A board province's index from its token, so that names work for records
// built on any Map made from the board (a referee builds its own).
uint16_t index_of(const Province *province) { return static_cast<uint16_t>(province->token >> 8); }

}  // namespace

World::World(const board::Board &board_, const std::string &owners) : board(board_) {
    map = map_build(board.map_message().data());
    if (!map) ADD_FAILURE() << "the board's map was refused";
    if (const char *why = map ? map_check(map) : nullptr) ADD_FAILURE() << "the board's map: " << why;
    own(owners);
}

World::~World() {
    for (Position *position : positions_) brox_position_free(position);
    if (centres) centre_table_release(map, centres);
    if (map) map_release(map);
}

void World::own(const std::string &owners) {
    if (!map) return;
    std::vector<uint8_t> message = board.centres(owners);
    CentreTable *table = centre_table_build(map, message.data());
    centre_table_retain(table);
    if (centres) centre_table_release(map, centres);
    centres = table;
}

Position *World::position(uint16_t season, const std::string &units, uint16_t year) {
    std::vector<uint8_t> message = board.position(season, year, units);
    return position(message);
}

// Every Position a test builds or adjudicates keeps the invariants.
Position *World::position(std::vector<uint8_t> &message) {
    Position *built = position_build(map, centres, message.data());
    if (built) positions_.push_back(built);
    if (const char *why = built ? position_check(built) : nullptr) ADD_FAILURE() << "built Position: " << why;
    return built;
}

void World::forget(Position *position) {
    positions_.erase(std::remove(positions_.begin(), positions_.end(), position), positions_.end());
}

Unit *World::unit(const Position *position, const std::string &province) const {
    const ProvinceState &state = position->provinces[board.index(province)];
    return state.unit ? state.unit : state.dislodged_unit;
}

LocationState *World::location(Position *position, const std::string &name_text) const {
    size_t slash = name_text.find('/');
    std::string province = name_text.substr(0, slash);
    uint16_t index = board.index(province);
    uint16_t coast;
    if (slash == std::string::npos) {
        coast = board.definition.provinces[index].terrain == 2 ? COAST_SEA : COAST_ARMY;
    } else {
        std::string suffix = name_text.substr(slash + 1);
        coast = suffix == "f" ? uint16_t{COAST_SHORE} : board.coast(suffix);
    }
    return position_find_location(position, index, coast);
}

std::string World::name(const LocationState *location) const {
    if (!location) return "-";
    const Province *province = location->location->province;
    std::string text = board.definition.provinces[index_of(province)].name;
    uint16_t coast = location->coast;
    if (coast == COAST_ARMY || coast == COAST_SEA) return text;
    if (coast == COAST_SHORE) return text + "/f";
    return text + "/" + board.coast_name(coast);
}

std::string World::name(const Unit *unit) const {
    if (!unit) return "-";
    std::string type = unit->unit_type == UNIT_FLEET ? "F " : "A ";
    if (!unit->location) return type + "(slot)";
    std::string place = name(unit->location);
    if (unit->unit_type == UNIT_FLEET && place.size() > 2 && place.substr(place.size() - 2) == "/f")
        place = place.substr(0, place.size() - 2);
    return type + place;
}

std::string World::name(const Order &order) const {
    switch (order.token) {
    case ORD_HOLD: return "HOLD";
    case ORD_MOVE: return "MOVE " + name(order.target);
    case ORD_SUPPORT:
        return "SUPPORT " + name(order.other_unit) + (order.target ? " -> " + name(order.target) : "");
    case ORD_CONVOY: return "CONVOY " + name(order.other_unit) + " -> " + name(order.target);
    case ORD_CONVOY_MOVE: {
        std::string text = "CONVOY_MOVE " + name(order.target) + " via";
        for (uint16_t r = 0; r < order.route_length; r++) {
            uint16_t index = index_of(order.route[r]->province);
            text += (r ? "," : " ") + board.definition.provinces[index].name;
        }
        return text;
    }
    case ORD_RETREAT: return "RETREAT " + name(order.target);
    case ORD_DISBAND: return "DISBAND";
    case ORD_BUILD: return "BUILD " + name(order.target);
    case ORD_REMOVE: return "REMOVE";
    case ORD_WAIVE: return "WAIVE";
    default: return "TOKEN " + std::to_string(order.token);
    }
}

Texts World::candidates(const Unit *unit) const {
    Texts texts;
    LumAvlTree *set = const_cast<LumAvlTree *>(&unit->candidates);
    for (void *item = LUM_AVL_ITEM(set, set->first); item;
         item = lum_avl_next(set, &static_cast<Order *>(item)->node))
        texts.push_back(name(*static_cast<Order *>(item)));
    return texts;
}

const Order *World::candidate(const Unit *unit, const std::string &order) const {
    LumAvlTree *set = const_cast<LumAvlTree *>(&unit->candidates);
    for (void *item = LUM_AVL_ITEM(set, set->first); item;
         item = lum_avl_next(set, &static_cast<Order *>(item)->node))
        if (name(*static_cast<Order *>(item)) == order) return static_cast<Order *>(item);
    return nullptr;
}

void World::choose(Unit *unit, const std::string &order) const {
    const Order *found = candidate(unit, order);
    if (!found) {
        ADD_FAILURE() << name(unit) << " has no candidate " << order;
        return;
    }
    unit->order = *found;
}

std::string World::describe(const Position *position) const {
    if (!position) return "(none)";
    std::string text;
    switch (position->season) {
    case SEASON_SPRING: text = "spring"; break;
    case SEASON_SUMMER: text = "summer"; break;
    case SEASON_FALL: text = "fall"; break;
    case SEASON_AUTUMN: text = "autumn"; break;
    case SEASON_WINTER: text = "winter"; break;
    default: text = "season " + std::to_string(position->season);
    }
    text += " " + std::to_string(position->year) + ":";
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        text += (u ? "; " : " ") + std::to_string(unit->power) + " " + name(unit);
        if (unit->dislodged) text += " dislodged";
    }
    return text;
}

std::string World::owners(const Position *position) const {
    std::string text;
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        if (!list->count) continue;
        text += (text.empty() ? "" : "; ") + std::to_string(p) + ":";
        for (uint16_t c = 0; c < list->count; c++)
            text += " " + board.definition.provinces[list->provinces[c]].name;
    }
    return text;
}

void World::order(Position *position, const std::string &province, const std::string &text) const {
    Unit *target = unit(position, province);
    if (!target) {
        ADD_FAILURE() << "no unit in " << province;
        return;
    }
    choose(target, text);
}

Position *World::next(Position *position) {
    Position *result = brox_adjudicate(position);
    if (result) positions_.push_back(result);
    if (const char *why = result ? position_check(result) : nullptr) ADD_FAILURE() << "next Position: " << why;
    return result;
}

Position *World::play(Position *position, const Orders &orders) {
    for (const auto &[province, text] : orders) order(position, province, text);
    return next(position);
}

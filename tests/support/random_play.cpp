// Random players for whole games: every order is one of the unit's
// candidates, drawn from a seeded sequence.
#include "random_play.h"

#include <map>
#include <utility>

#include "world/position.h"

namespace random_play {

std::vector<const Order *> candidates_of(const Unit *unit) {
    std::vector<const Order *> out;
    LumAvlTree *set = const_cast<LumAvlTree *>(&unit->candidates);
    for (void *item = LUM_AVL_ITEM(set, set->first); item;
         item = lum_avl_next(set, &static_cast<Order *>(item)->node))
        out.push_back(static_cast<const Order *>(item));
    return out;
}

uint16_t province_of(const Position *position, const LocationState *location) {
    return position_province_index(position, location->province);
}

namespace {

const Order *with_token(const Unit *unit, uint16_t token) {
    for (const Order *order : candidates_of(unit))
        if (order->token == token) return order;
    return nullptr;
}

// A token first, then a candidate with that token, so that the many
// supports do not crowd out moves and convoys.  Supports are chosen last
// and back, where they can, what the supported unit was ordered to do, so
// that attacks succeed and units are dislodged now and then.
bool backs(const Order *support, const Order &supported) {
    bool moving = supported.token == ORD_MOVE || supported.token == ORD_CONVOY_MOVE;
    if (!support->target) return !moving;
    return moving && supported.target && supported.target->province == support->target->province;
}

void choose_movement(Position *position, Random &random) {
    std::vector<Unit *> supporters;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        std::vector<const Order *> all = candidates_of(unit);
        if (all.empty()) continue;
        std::vector<uint16_t> tokens;
        for (const Order *order : all)
            if (tokens.empty() || tokens.back() != order->token) tokens.push_back(order->token);
        uint16_t token = tokens[random.below(tokens.size())];
        if (token == ORD_SUPPORT) {
            supporters.push_back(unit);
            continue;
        }
        std::vector<const Order *> same;
        for (const Order *order : all)
            if (order->token == token) same.push_back(order);
        unit->order = *same[random.below(same.size())];
    }
    for (Unit *unit : supporters) {
        std::vector<const Order *> supports;
        std::vector<const Order *> backing;
        for (const Order *order : candidates_of(unit)) {
            if (order->token != ORD_SUPPORT) continue;
            supports.push_back(order);
            if (backs(order, order->other_unit->order)) backing.push_back(order);
        }
        const std::vector<const Order *> &from = backing.empty() ? supports : backing;
        unit->order = *from[random.below(from.size())];
    }
}

void choose_retreats(Position *position, Random &random) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        std::vector<const Order *> all = candidates_of(unit);
        if (!all.empty()) unit->order = *all[random.below(all.size())];
    }
}

// A power with too many units removes exactly as many as it must, chosen
// at random.  A power owed builds fills its slots with the first slot's
// build candidates, one province per slot, now and then waiving one; a
// build at a fleet location makes a fleet.
bool choose_adjustments(Position *position, Random &random) {
    for (uint16_t p = 0; p < position->map->power_count; p++) {
        std::vector<Unit *> units;
        std::vector<Unit *> slots;
        for (uint16_t u = 0; u < position->unit_count; u++) {
            Unit *unit = position->units[u];
            if (unit->power != p) continue;
            (unit->location ? units : slots).push_back(unit);
        }
        if (position->adjustment[p] < 0) {
            size_t removals = static_cast<size_t>(-position->adjustment[p]);
            for (size_t i = 0; i < units.size(); i++) std::swap(units[i], units[i + random.below(units.size() - i)]);
            for (size_t i = 0; i < units.size(); i++) {
                const Order *order = with_token(units[i], i < removals ? ORD_REMOVE : ORD_HOLD);
                if (!order) return false;
                units[i]->order = *order;
            }
        }
        if (slots.empty()) continue;
        std::map<uint16_t, std::vector<const Order *>> builds;
        for (const Order *order : candidates_of(slots[0]))
            if (order->token == ORD_BUILD) builds[province_of(position, order->target)].push_back(order);
        std::vector<std::vector<const Order *>> provinces;
        for (auto &entry : builds) provinces.push_back(entry.second);
        for (size_t i = 0; i < provinces.size(); i++)
            std::swap(provinces[i], provinces[i + random.below(provinces.size() - i)]);
        for (size_t s = 0; s < slots.size() && s < provinces.size(); s++) {
            if (random.below(8) == 0) continue;  // waived
            const Order *build = provinces[s][random.below(provinces[s].size())];
            slots[s]->order = *build;
            slots[s]->unit_type = build->target->coast == COAST_ARMY ? UNIT_ARMY : UNIT_FLEET;
        }
    }
    return true;
}

}  // namespace

bool choose_orders(Position *position, Random &random) {
    switch (position->season) {
    case SEASON_SPRING:
    case SEASON_FALL:
        choose_movement(position, random);
        return true;
    case SEASON_SUMMER:
    case SEASON_AUTUMN:
        choose_retreats(position, random);
        return true;
    default:
        return choose_adjustments(position, random);
    }
}

}  // namespace random_play

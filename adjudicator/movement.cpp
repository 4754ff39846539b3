// The movement phase: supports and convoyed moves checked, supports cut and
// overpowered, bounces resolved in repeated passes, dislodgements, and the
// next-position message.  Every step walks the units in unit order and every
// change it makes is seen at once by the units examined after it.
#include "adjudicator/adjudicator.h"
#include "world/position.h"

namespace {

// A unit's working record with the parts of its order the steps need.
// Orders come from the bot, so only references into this Position are
// followed: a move whose target is elsewhere holds, and a support whose
// unit or target is elsewhere matches nothing.
struct Mover {
    UnitResult result;
    uint16_t token;                    // the order token, or ORD_HOLD when it cannot be followed
    const ProvinceState *here;         // where the unit stands
    const ProvinceState *destination;  // a move's destination province
    const ProvinceState *support_into; // a support to move: the province supported into
    uint16_t other;                    // a support's unit, NO_UNIT when none or foreign
};

struct Movement {
    const Position *position;
    uint16_t count;
    uint16_t dislodgements;
    Mover units[MAX_UNITS];
};

bool is_move(const Mover &unit) { return unit.token == ORD_MOVE || unit.token == ORD_CONVOY_MOVE; }

bool moved_away(const Mover &unit) { return is_move(unit) && unit.result.outcome == RES_SUCCESS; }

bool supports_hold(const Mover &unit) { return unit.support_into == nullptr; }

const Unit *unit_at(const Movement &movement, uint16_t index) { return movement.position->units[index]; }

// The index of the unit standing in a province, NO_UNIT when none: Units
// lie in their Position's block in unit order.
uint16_t standing_in(const Movement &movement, const ProvinceState *province) {
    return province->unit ? position_own_unit_index(movement.position, province->unit) : NO_UNIT;
}

void prepare(Movement &movement, uint16_t index) {
    const Position *position = movement.position;
    const Unit *unit = unit_at(movement, index);
    Mover &mover = movement.units[index];
    mover.result = {RES_SUCCESS, 0, 0};
    mover.token = unit->location ? unit->order.token : uint16_t{ORD_HOLD};
    mover.here = unit->location ? unit->location->province : nullptr;
    mover.destination = nullptr;
    mover.support_into = nullptr;
    mover.other = NO_UNIT;
    const Order &order = unit->order;
    if (mover.token == ORD_MOVE || mover.token == ORD_CONVOY_MOVE) {
        if (position_owns_location(position, order.target))
            mover.destination = order.target->province;
        else
            mover.token = ORD_HOLD;
    } else if (mover.token == ORD_SUPPORT) {
        bool target_ok = !order.target || position_owns_location(position, order.target);
        mover.other = target_ok ? position_unit_index(position, order.other_unit) : NO_UNIT;
        mover.support_into = order.target && target_ok ? order.target->province : nullptr;
    }
}

// Support to hold counts for a unit that is not moving; support to move for
// a move into the supported province.
void check_support(Movement &movement, Mover &supporter) {
    if (supporter.other == NO_UNIT) {
        supporter.result.outcome = RES_NO_SUCH_ORDER;
        return;
    }
    Mover &supported = movement.units[supporter.other];
    bool matches = supports_hold(supporter)
                       ? !is_move(supported)
                       : is_move(supported) && supported.destination == supporter.support_into;
    if (matches)
        supported.result.support_count++;
    else
        supporter.result.outcome = RES_NO_SUCH_ORDER;
}

void check_convoyed_move(Movement &movement, uint16_t index) {
    if (!convoy_route_holds(movement.position, unit_at(movement, index)))
        movement.units[index].result.outcome = RES_NO_SUCH_ORDER;
}

// The supports of `power` that `index` receives and that still stand.
int supports_from(const Movement &movement, uint16_t index, uint16_t power) {
    int count = 0;
    for (uint16_t s = 0; s < movement.count; s++) {
        const Mover &supporter = movement.units[s];
        if (supporter.token == ORD_SUPPORT && supporter.result.outcome == RES_SUCCESS &&
            supporter.other == index && unit_at(movement, s)->power == power)
            count++;
    }
    return count;
}

// Whether the supporter standing where `mover` goes gives a support that an
// attack from the mover's own province does not touch.
bool support_exposed(const Mover &supporter, const Mover &mover) {
    return supporter.token == ORD_SUPPORT && supporter.result.outcome == RES_SUCCESS &&
           (supports_hold(supporter) || supporter.support_into != mover.here);
}

void withdraw_support(Movement &movement, Mover &supporter, uint16_t outcome) {
    supporter.result.outcome = outcome;
    movement.units[supporter.other].result.support_count--;
}

// A convoyed army does not cut a support given to a fleet of its route.
bool supports_own_route(const Movement &movement, const Mover &supporter, uint16_t army) {
    const Order &order = unit_at(movement, army)->order;
    for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++) {
        const Unit *fleet = order.route[r]->unit;
        if (fleet && position_own_unit_index(movement.position, fleet) == supporter.other) return true;
    }
    return false;
}

void cut_supports(Movement &movement, uint16_t token) {
    for (uint16_t u = 0; u < movement.count; u++) {
        const Mover &mover = movement.units[u];
        if (mover.token != token || mover.result.outcome != RES_SUCCESS) continue;
        uint16_t s = standing_in(movement, mover.destination);
        if (s == NO_UNIT) continue;
        Mover &supporter = movement.units[s];
        if (!support_exposed(supporter, mover)) continue;
        if (unit_at(movement, s)->power == unit_at(movement, u)->power) continue;
        if (token == ORD_CONVOY_MOVE && supports_own_route(movement, supporter, u)) continue;
        withdraw_support(movement, supporter, RES_CUT);
    }
}

// A supporter attacked by a move stronger than its own support, counting
// only the attacker's supports from other powers than the supporter's.
void overpower_supporters(Movement &movement) {
    for (uint16_t u = 0; u < movement.count; u++) {
        const Mover &mover = movement.units[u];
        if (!is_move(mover) || mover.result.outcome != RES_SUCCESS) continue;
        uint16_t s = standing_in(movement, mover.destination);
        if (s == NO_UNIT) continue;
        Mover &supporter = movement.units[s];
        if (!support_exposed(supporter, mover)) continue;
        int excluded = supports_from(movement, u, unit_at(movement, s)->power);
        if (mover.result.support_count - excluded > supporter.result.support_count)
            withdraw_support(movement, supporter, RES_DISLODGED);
    }
}

// Whether a move bounces off the unit standing in its destination.
bool bounces_off_occupant(const Movement &movement, uint16_t u, uint16_t d) {
    const Mover &mover = movement.units[u];
    const Mover &occupant = movement.units[d];
    int excluded = moved_away(occupant) ? 0 : supports_from(movement, u, unit_at(movement, d)->power);
    int strength = mover.result.support_count - excluded;
    bool other_power = unit_at(movement, u)->power != unit_at(movement, d)->power;
    bool head_on = occupant.token == ORD_MOVE && occupant.destination == mover.here;
    if (!is_move(occupant) || head_on) return !(strength > occupant.result.support_count && other_power);
    if (occupant.result.outcome == RES_SUCCESS) return false;  // it is leaving
    return !(strength >= 1 && other_power);                    // it tried to leave and stays
}

// Whether a move bounces against the other moves into its destination.  A
// competitor that is itself swapping places with the leaving occupant does
// not count.
bool bounces_off_competitors(const Movement &movement, uint16_t u, uint16_t d) {
    const Mover &mover = movement.units[u];
    bool bounced = false;
    for (uint16_t j = 0; j < movement.count; j++) {
        const Mover &rival = movement.units[j];
        if (j == u || !is_move(rival) || rival.destination != mover.destination) continue;
        if (rival.result.outcome != RES_SUCCESS && rival.result.outcome != RES_BOUNCE) continue;
        if (mover.result.support_count > rival.result.support_count) continue;
        bool excepted = d != NO_UNIT && movement.units[d].token == ORD_MOVE &&
                        movement.units[d].result.outcome == RES_SUCCESS &&
                        movement.units[d].destination == rival.here && rival.token == ORD_MOVE;
        if (!excepted) bounced = true;
    }
    return bounced;
}

// Passes over the moves until one makes no unit bounce.  An outcome only
// changes from success to bounce, so the passes end.
void resolve_bounces(Movement &movement) {
    bool changed = true;
    while (changed) {
        changed = false;
        for (uint16_t u = 0; u < movement.count; u++) {
            Mover &mover = movement.units[u];
            if (!is_move(mover) || mover.result.outcome != RES_SUCCESS) continue;
            uint16_t d = standing_in(movement, mover.destination);
            bool bounced = (d != NO_UNIT && bounces_off_occupant(movement, u, d)) ||
                           bounces_off_competitors(movement, u, d);
            if (bounced) {
                mover.result.outcome = RES_BOUNCE;
                changed = true;
            }
        }
    }
}

void dislodge(Movement &movement) {
    for (uint16_t u = 0; u < movement.count; u++) {
        if (!moved_away(movement.units[u])) continue;
        uint16_t d = standing_in(movement, movement.units[u].destination);
        if (d == NO_UNIT || moved_away(movement.units[d])) continue;
        Mover &occupant = movement.units[d];
        occupant.result.dislodged_flag = 1;
        if (occupant.result.outcome == RES_SUCCESS) occupant.result.outcome = RES_DISLODGED;
        movement.dislodgements++;
    }
}

uint16_t next_season(const Movement &movement) {
    bool dislodged = movement.dislodgements > 0;
    if (movement.position->season == SEASON_SPRING) return dislodged ? SEASON_SUMMER : SEASON_FALL;
    return dislodged ? SEASON_AUTUMN : SEASON_WINTER;
}

// Where a unit that moved away stands: its target, except that an army
// stands at its province's army Location.  A convoy lands the army at the
// location the last fleet's adjacency names, often a fleet coast; placed
// there, the army would take fleet moves in the next phase.
const LocationState *arrival(const Position *position, const Unit *unit) {
    const LocationState *target = unit->order.target;
    if (unit->unit_type != UNIT_ARMY || target->coast == COAST_ARMY) return target;
    const LocationState *army =
        position_find_location(position, position_province_index(position, target->province), COAST_ARMY);
    return army ? army : target;
}

// A unit that moved away stands where it arrived, not dislodged; every
// other unit stays where it is with its dislodged flag.
uint8_t *compose_next_message(const Movement &movement) {
    const Position *position = movement.position;
    uint8_t *message = next_message_create(movement.count, next_season(movement), position->year);
    if (!message) return nullptr;
    for (uint16_t u = 0; u < movement.count; u++) {
        const Unit *unit = unit_at(movement, u);
        const Mover &mover = movement.units[u];
        if (!unit->location) continue;
        if (moved_away(mover))
            next_message_add_unit(message, position, unit, arrival(position, unit), 0);
        else
            next_message_add_unit(message, position, unit, unit->location, mover.result.dislodged_flag);
    }
    return message;
}

// Every step but the message, on a Movement set up for `position`.
void resolve(Movement &movement, const Position *position) {
    movement.position = position;
    movement.count = position->unit_count;
    movement.dislodgements = 0;
    for (uint16_t u = 0; u < movement.count; u++) prepare(movement, u);
    for (uint16_t u = 0; u < movement.count; u++) {
        Mover &mover = movement.units[u];
        if (mover.token == ORD_SUPPORT)
            check_support(movement, mover);
        else if (mover.token == ORD_CONVOY_MOVE)
            check_convoyed_move(movement, u);
    }
    cut_supports(movement, ORD_MOVE);
    cut_supports(movement, ORD_CONVOY_MOVE);
    overpower_supporters(movement);
    resolve_bounces(movement);
    dislodge(movement);
}

}  // namespace

// Every province of the route must hold a fleet ordered to convoy this army
// to this very landing location; a route of length 0 passes.
bool convoy_route_holds(const Position *position, const Unit *army) {
    const Order &order = army->order;
    uint16_t length = order.route_length <= MAX_ROUTE ? order.route_length : MAX_ROUTE;
    for (uint16_t r = 0; r < length; r++) {
        const ProvinceState *province = order.route[r];
        const Unit *fleet = position_owns_province(position, province) ? province->unit : nullptr;
        if (!fleet || !fleet->location || fleet->order.token != ORD_CONVOY || fleet->order.other_unit != army ||
            fleet->order.target != order.target)
            return false;
    }
    return true;
}

uint8_t *movement_next_message(const Position *position) {
    Movement movement;
    resolve(movement, position);
    return compose_next_message(movement);
}

void movement_results(const Position *position, UnitResult *results) {
    Movement movement;
    resolve(movement, position);
    for (uint16_t u = 0; u < movement.count; u++) results[u] = movement.units[u].result;
}

uint8_t *movement_next_message_results(const Position *position, UnitResult *results) {
    Movement movement;
    resolve(movement, position);
    for (uint16_t u = 0; u < movement.count; u++) results[u] = movement.units[u].result;
    return compose_next_message(movement);
}

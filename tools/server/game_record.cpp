// Writing the lines of the game record from a referee, with the JSON
// writer and the game's notation.
#include "tools/server/game_record.h"

#include "tools/common/json_writer.h"
#include "tools/server/notation.h"
#include "world/season.h"

namespace {

// The phase a line describes: its Position (every unit's order as used
// when it was resolved) and whether its orders are written too.
struct Board {
    Notation names;
    Position *position;
    const BroxReferee *referee;  // for the orders of a resolved phase; null on the final line
    const BotNames &bots;
};

bool is_movement(const Position *position) { return season_phase(position->season) == Phase::MOVEMENT; }

uint16_t units_of(const Position *position, uint16_t power) {
    uint16_t count = 0;
    for (uint16_t u = 0; u < position->unit_count; u++)
        count += position->units[u]->power == power && position->units[u]->location;
    return count;
}

void write_phase_head(JsonWriter &out, const Position *position) {
    out.key("year").number(position->year);
    out.key("season").string(season_name(position->season));
}

// Every unit standing on the board; a dislodged one with the places its
// retreat candidates offer.
void write_units(JsonWriter &out, const Board &board) {
    out.key("units").begin_array();
    for (uint16_t u = 0; u < board.position->unit_count; u++) {
        Unit *unit = board.position->units[u];
        if (!unit->location) continue;
        out.begin_object();
        out.key("power").number(unit->power);
        out.key("unit").string(unit_name(board.names, unit));
        if (unit->dislodged) {
            out.key("dislodged").boolean(true);
            out.key("retreats").begin_array();
            for (Order *order = brox_candidate_first(unit); order; order = brox_candidate_next(unit, order))
                if (order->token == ORD_RETREAT && order->target) out.string(location_name(board.names, order->target));
            out.end_array();
        }
        out.end_object();
    }
    out.end_array();
}

// Each unit's order as used, who gave it, and what became of it; in a
// movement phase also whether the unit was dislodged.
void write_orders(JsonWriter &out, const Board &board) {
    bool movement = is_movement(board.position);
    out.key("orders").begin_array();
    for (uint16_t u = 0; u < board.position->unit_count; u++) {
        const Unit *unit = board.position->units[u];
        BroxOrderResult result{};
        bool resolved = brox_referee_last_result(board.referee, u, &result);
        out.begin_object();
        out.key("power").number(unit->power);
        out.key("order").string(order_text(board.names, unit, unit->order));
        out.key("from").string(result.from_bot ? "bot" : "default");
        out.key("unit");
        if (unit->location)
            out.string(unit_name(board.names, unit));
        else
            out.null();
        if (resolved) {
            out.key("outcome").string(brox_outcome_text(result.outcome));
            if (movement) out.key("dislodged").boolean(result.dislodged);
        }
        out.end_object();
    }
    out.end_array();
}

// Each unit this phase dislodged: by whom, and where it may retreat.
void write_dislodgements(JsonWriter &out, const Board &board) {
    out.key("dislodgements").begin_array();
    for (uint16_t u = 0; u < board.position->unit_count; u++) {
        BroxOrderResult result{};
        if (!brox_referee_last_result(board.referee, u, &result) || !result.dislodged) continue;
        const Unit *unit = board.position->units[u];
        out.begin_object();
        out.key("power").number(unit->power);
        out.key("unit").string(unit_name(board.names, unit));
        out.key("by");
        if (result.dislodged_by < board.position->unit_count)
            out.string(unit_name(board.names, board.position->units[result.dislodged_by]));
        else
            out.null();
        out.key("retreats").begin_array();
        for (uint16_t r = 0; r < result.retreat_count; r++) out.string(location_name(board.names, result.retreats[r]));
        out.end_array();
        out.end_object();
    }
    out.end_array();
}

void write_refusals(JsonWriter &out, const Board &board, uint16_t power, uint16_t count) {
    out.key("refusals").begin_array();
    for (uint16_t r = 0; r < count; r++) {
        BroxRefusal refusal{};
        if (!brox_referee_last_refusal(board.referee, power, r, &refusal)) break;
        out.begin_object();
        out.key("entry").number(refusal.entry);
        out.key("order").string(entry_text(board.names, refusal.bytes));
        out.key("reason").string(brox_refusal_text(refusal.refusal));
        out.end_object();
    }
    out.end_array();
}

void write_powers(JsonWriter &out, const Board &board) {
    const Position *position = board.position;
    out.key("powers").begin_array();
    for (uint16_t p = 0; p < board.names.map->power_count; p++) {
        const CentreList *list = position->centres->lists[p];
        out.begin_object();
        out.key("power").number(p);
        out.key("name").string(power_name(board.names.layout, p));
        out.key("bot").string(p < board.bots.size() ? board.bots[p] : "");
        out.key("units").number(units_of(position, p));
        out.key("centres").number(list ? list->count : 0);
        BroxPowerOrders orders{};
        if (board.referee && brox_referee_last_orders(board.referee, p, &orders)) {
            out.key("orders_due").boolean(orders.due);
            out.key("orders_received").boolean(orders.received);
            out.key("entries").number(orders.entries);
            out.key("refused").number(orders.refused);
            write_refusals(out, board, p, orders.refusals);
            if (position->season == SEASON_WINTER) {
                out.key("adjustment").number(position->adjustment[p]);
                out.key("builds").number(orders.builds);
                out.key("removals").number(orders.removals);
            }
        }
        out.end_object();
    }
    out.end_array();
}

// Ownership as one list of centres per power, and the unowned ones.
void write_ownership(JsonWriter &out, const Board &board) {
    const Map *map = board.names.map;
    const Layout &layout = board.names.layout;
    std::vector<int> owner(map->province_count, -1);
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = board.position->centres->lists[p];
        for (uint16_t c = 0; list && c < list->count; c++)
            if (list->provinces[c] < map->province_count) owner[list->provinces[c]] = p;
    }
    auto abbreviation = [&](uint16_t i) {
        return i < layout.provinces.size() ? layout.provinces[i].abbreviation : "?" + std::to_string(i);
    };
    out.key("ownership").begin_array();
    for (int p = 0; p < map->power_count; p++) {
        out.begin_array();
        for (uint16_t i = 0; i < map->province_count; i++)
            if (owner[i] == p && map->provinces[i].centre_kind != CENTRE_NONE) out.string(abbreviation(i));
        out.end_array();
    }
    out.end_array();
    out.key("unowned").begin_array();
    for (uint16_t i = 0; i < map->province_count; i++)
        if (owner[i] < 0 && map->provinces[i].centre_kind != CENTRE_NONE) out.string(abbreviation(i));
    out.end_array();
}

}  // namespace

std::string game_record_map_line(const std::string &map_name, const Layout &layout) {
    JsonWriter out;
    out.begin_object();
    out.key("map").boolean(true);
    out.key("name").string(map_name);
    out.key("layout").raw(layout_json(layout, LayoutText::ONE_LINE));
    out.end_object();
    return out.text();
}

std::string game_record_phase_line(const BroxReferee *referee, const Layout &layout, const BotNames &bots,
                                   const std::string &picture) {
    Position *position = brox_referee_last_position(referee);
    if (!position) return "";
    Board board{{layout, position->map}, position, referee, bots};
    JsonWriter out;
    out.begin_object();
    write_phase_head(out, position);
    write_units(out, board);
    write_orders(out, board);
    if (is_movement(position)) write_dislodgements(out, board);
    write_powers(out, board);
    write_ownership(out, board);
    out.key("picture").string(picture);
    out.end_object();
    return out.text();
}

std::string game_record_final_line(const BroxReferee *referee, const Layout &layout, const BotNames &bots,
                                   const std::string &reason, const std::string &picture) {
    Position *position = brox_referee_position(const_cast<BroxReferee *>(referee));
    if (!position) return "";
    Board board{{layout, position->map}, position, nullptr, bots};
    JsonWriter out;
    out.begin_object();
    out.key("final").boolean(true);
    out.key("reason").string(reason);
    write_phase_head(out, position);
    write_units(out, board);
    write_powers(out, board);
    write_ownership(out, board);
    out.key("picture").string(picture);
    out.end_object();
    return out.text();
}

std::string game_record_dropped_line(uint16_t season, uint16_t year, int seat, const std::string &peer,
                                     const std::string &reason, const std::string &detail) {
    JsonWriter out;
    out.begin_object();
    out.key("dropped").boolean(true);
    out.key("year").number(year);
    out.key("season").string(season_name(season));
    out.key("seat");
    if (seat >= 0)
        out.number(seat);
    else
        out.null();
    out.key("peer").string(peer);
    out.key("reason").string(reason);
    out.key("detail").string(detail);
    out.end_object();
    return out.text();
}

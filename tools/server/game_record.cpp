// Writing the game record, the pictures of the phases and the final board.
#include "tools/server/game_record.h"

#include <filesystem>
#include <fstream>

#include "orders/orders_message.h"
#include "tools/common/json_quote.h"
#include "tools/common/json_value.h"
#include "tools/server/report.h"
#include "world/map.h"
#include "world/position.h"
#include "world/season.h"

namespace {

std::string boolean(bool value) { return value ? "true" : "false"; }

uint16_t unit_type_at(const LocationState *location) {
    return location->coast == COAST_ARMY ? UNIT_ARMY : UNIT_FLEET;
}

std::string type_letter(uint16_t unit_type) { return unit_type == UNIT_FLEET ? "F" : "A"; }

bool from_bot(const PowerOrders &orders, uint16_t unit) {
    for (const ChosenOrder &chosen : orders.chosen)
        if (chosen.unit == unit) return true;
    return false;
}

uint16_t chosen_count(const PowerOrders &orders, uint16_t token) {
    uint16_t count = 0;
    for (const ChosenOrder &chosen : orders.chosen) count += chosen.order.token == token;
    return count;
}

uint16_t units_of(const Position *position, uint16_t power) {
    uint16_t count = 0;
    for (uint16_t u = 0; u < position->unit_count; u++)
        count += position->units[u]->power == power && position->units[u]->location;
    return count;
}

std::string units_json(const Game *game) {
    const Position *position = game->position;
    std::string out = "[";
    for (uint16_t u = 0, placed = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (!unit->location) continue;
        if (placed++) out += ",";
        out += "{\"power\":" + std::to_string(unit->power) + ",\"unit\":" + json_quote(unit_name(game, unit));
        if (unit->dislodged) {
            out += ",\"dislodged\":true,\"retreats\":[";
            LumAvlTree *set = const_cast<LumAvlTree *>(&unit->candidates);
            bool first = true;
            for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
                 order = static_cast<Order *>(lum_avl_next(set, &order->node))) {
                if (order->token != ORD_RETREAT || !order->target) continue;
                out += (first ? "" : ",") + json_quote(location_name(game, order->target));
                first = false;
            }
            out += "]";
        }
        out += "}";
    }
    return out + "]";
}

bool movement_season(uint16_t season) { return season_phase(season) == Phase::MOVEMENT; }

// Each unit's order as used, who gave it, and what became of it; in a
// movement phase also whether the unit was dislodged.
std::string orders_json(const Game *game, const PhaseResults &results) {
    const Position *position = game->position;
    bool movement = movement_season(position->season);
    std::string out = "[";
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (u) out += ",";
        bool sent = from_bot(game->orders[unit->power], u);
        out += "{\"power\":" + std::to_string(unit->power) + ",\"order\":" + json_quote(order_text(game, unit)) +
               ",\"from\":\"" + (sent ? "bot" : "default") + "\",\"unit\":" +
               (unit->location ? json_quote(unit_name(game, unit)) : "null");
        if (u < results.units.size()) {
            out += ",\"outcome\":" + json_quote(results.units[u].word);
            if (movement) out += ",\"dislodged\":" + boolean(results.units[u].dislodged);
        }
        out += "}";
    }
    return out + "]";
}

std::string retreat_names(const Game *game, const std::vector<RetreatOption> &options) {
    std::string out = "[";
    for (const RetreatOption &option : options) {
        const LocationState *location = position_find_location(game->position, option.province, option.coast);
        out += (out.size() > 1 ? "," : "") + json_quote(location ? location_name(game, location) : "?");
    }
    return out + "]";
}

// Each unit this phase dislodged: by whom, and where it may retreat.
std::string dislodgements_json(const Game *game, const PhaseResults &results) {
    const Position *position = game->position;
    std::string out = ",\"dislodgements\":[";
    bool first = true;
    for (uint16_t u = 0; u < results.units.size() && u < position->unit_count; u++) {
        const OrderResult &result = results.units[u];
        if (!result.dislodged) continue;
        const Unit *unit = position->units[u];
        const Unit *attacker = result.dislodged_by < position->unit_count ? position->units[result.dislodged_by] : nullptr;
        out += (first ? "{" : ",{") + std::string("\"power\":") + std::to_string(unit->power) +
               ",\"unit\":" + json_quote(unit_name(game, unit)) +
               ",\"by\":" + (attacker ? json_quote(unit_name(game, attacker)) : "null") +
               ",\"retreats\":" + retreat_names(game, result.retreats) + "}";
        first = false;
    }
    return out + "]";
}

std::string refusals_json(const Game *game, const PowerOrders &orders) {
    std::string out = ",\"refusals\":[";
    for (size_t r = 0; r < orders.refusals.size(); r++) {
        const Refusal &refusal = orders.refusals[r];
        out += (r ? ",{" : "{") + std::string("\"entry\":") + std::to_string(refusal.entry) +
               ",\"order\":" + json_quote(refused_order_text(game, refusal.bytes)) +
               ",\"reason\":" + json_quote(refusal.reason) + "}";
    }
    return out + "]";
}

std::string powers_json(const Game *game, bool with_orders) {
    const Position *position = game->position;
    std::string out = "[";
    for (uint16_t p = 0; p < game->map->power_count; p++) {
        const PowerOrders &orders = game->orders[p];
        const CentreList *list = game->centres->lists[p];
        if (p) out += ",";
        out += "{\"power\":" + std::to_string(p) + ",\"name\":" + json_quote(power_name(game, p)) +
               ",\"bot\":" + json_quote(game->seats[p].bot_name) +
               ",\"units\":" + std::to_string(units_of(position, p)) +
               ",\"centres\":" + std::to_string(list ? list->count : 0);
        if (with_orders) {
            out += ",\"orders_due\":" + std::string(game_power_must_order(game, p) ? "true" : "false") +
                   ",\"orders_received\":" + (orders.received ? "true" : "false") +
                   ",\"entries\":" + std::to_string(orders.entries) +
                   ",\"refused\":" + std::to_string(orders.refused) + refusals_json(game, orders);
            if (position->season == SEASON_WINTER)
                out += ",\"adjustment\":" + std::to_string(position->adjustment[p]) +
                       ",\"builds\":" + std::to_string(chosen_count(orders, ORD_BUILD)) +
                       ",\"removals\":" + std::to_string(chosen_count(orders, ORD_REMOVE));
        }
        out += "}";
    }
    return out + "]";
}

// Ownership as one list of centres per power, and the unowned ones.
std::string ownership_json(const Game *game) {
    const Map *map = game->map;
    std::vector<int> owner(map->province_count, -1);
    for (uint16_t p = 0; p < map->power_count; p++) {
        const CentreList *list = game->centres->lists[p];
        for (uint16_t c = 0; list && c < list->count; c++)
            if (list->provinces[c] < map->province_count) owner[list->provinces[c]] = p;
    }
    std::string out = "\"ownership\":[";
    for (int p = 0; p < map->power_count; p++) {
        out += p ? ",[" : "[";
        bool first = true;
        for (uint16_t i = 0; i < map->province_count; i++) {
            if (owner[i] != p || map->provinces[i].centre_kind == CENTRE_NONE) continue;
            out += (first ? "" : ",") + json_quote(game->generated.layout.provinces[i].abbreviation);
            first = false;
        }
        out += "]";
    }
    out += "],\"unowned\":[";
    bool first = true;
    for (uint16_t i = 0; i < map->province_count; i++) {
        if (owner[i] >= 0 || map->provinces[i].centre_kind == CENTRE_NONE) continue;
        out += (first ? "" : ",") + json_quote(game->generated.layout.provinces[i].abbreviation);
        first = false;
    }
    return out + "]";
}

void write_line(Game *game, const std::string &line) {
    if (!game->record_file) return;
    std::fputs(line.c_str(), game->record_file);
    std::fputc('\n', game->record_file);
    std::fflush(game->record_file);
}

std::string phase_head(const Game *game) {
    return "\"year\":" + std::to_string(game->position->year) + ",\"season\":\"" +
           season_name(game->position->season) + "\"";
}

// ---------------------------------------------------------------------------
// Dropped connections
// ---------------------------------------------------------------------------

std::string dropped_line(const Game *game, int seat, const std::string &peer, const std::string &reason,
                         const std::string &detail) {
    return "{\"dropped\":true," + phase_head(game) +
           ",\"seat\":" + (seat >= 0 ? std::to_string(seat) : "null") + ",\"peer\":" + json_quote(peer) +
           ",\"reason\":" + json_quote(reason) + ",\"detail\":" + json_quote(detail) + "}";
}

void write_unrecorded_drops(Game *game) {
    for (const auto &[key, count] : game->unrecorded_drops)
        write_line(game, dropped_line(game, key.first, "", key.second,
                                      std::to_string(count) + " more connections dropped for this reason" +
                                          " were counted, not recorded one by one"));
    game->unrecorded_drops.clear();
}

}  // namespace

const char *season_name(uint16_t season) {
    switch (season) {
    case SEASON_SPRING: return "spring";
    case SEASON_SUMMER: return "summer";
    case SEASON_FALL: return "fall";
    case SEASON_AUTUMN: return "autumn";
    case SEASON_WINTER: return "winter";
    default: return "unknown";
    }
}

std::string location_name(const Game *game, const LocationState *location) {
    const Position *position = game->position;
    uint16_t index = position_province_index(position, location->province);
    const Layout &layout = game->generated.layout;
    if (index >= layout.provinces.size()) return "?" + std::to_string(index);
    const LayoutProvince &province = layout.provinces[index];
    for (const LayoutCoast &coast : province.coasts)
        if (coast.code == location->coast) return province.abbreviation + "/" + coast.name;
    return province.abbreviation;
}

std::string unit_name(const Game *game, const Unit *unit) {
    if (!unit->location) return "slot";
    return type_letter(unit_type_at(unit->location)) + " " + location_name(game, unit->location);
}

std::string order_text(const Game *game, const Unit *unit) {
    const Order &order = unit->order;
    std::string target = order.target ? location_name(game, order.target) : "?";
    std::string other = order.other_unit ? unit_name(game, order.other_unit) : "?";
    std::string self = unit_name(game, unit);
    switch (order.token) {
    case ORD_HOLD: return self + " H";
    case ORD_MOVE: return self + " - " + target;
    case ORD_SUPPORT: return self + " S " + other + (order.target ? " - " + target : "");
    case ORD_CONVOY: return self + " C " + other + " - " + target;
    case ORD_CONVOY_MOVE: {
        std::string text = self + " - " + target + " via";
        for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++) {
            uint16_t sea = position_province_index(game->position, order.route[r]);
            text += " " + (sea < game->generated.layout.provinces.size()
                               ? game->generated.layout.provinces[sea].abbreviation
                               : std::to_string(sea));
        }
        return text;
    }
    case ORD_RETREAT: return self + " R " + target;
    case ORD_DISBAND: return self + " D";
    case ORD_BUILD:
        return order.target ? "build " + type_letter(unit_type_at(order.target)) + " " + target : "waive";
    case ORD_REMOVE: return "remove " + self;
    case ORD_WAIVE: return "waive";
    default: return self + " ?";
    }
}

// ---------------------------------------------------------------------------
// Refused entries, read from their bytes
// ---------------------------------------------------------------------------

namespace {

// The name of the place a province token and a coast give, "?" when the
// token names no province of the map.
std::string place_name(const Game *game, uint16_t province_token, uint16_t coast) {
    const Map *map = game->map;
    const Layout &layout = game->generated.layout;
    for (uint16_t p = 0; p < map->province_count && p < layout.provinces.size(); p++) {
        if (map->provinces[p].token != province_token) continue;
        for (const LayoutCoast &named : layout.provinces[p].coasts)
            if (named.code == coast) return layout.provinces[p].abbreviation + "/" + named.name;
        return layout.provinces[p].abbreviation;
    }
    return "?";
}

// "A STA" from a unit block.
std::string block_name(const Game *game, const UnitBlock &block) {
    std::string letter = block.unit_type == UNIT_ARMY ? "A" : block.unit_type == UNIT_FLEET ? "F" : "?";
    return letter + " " + place_name(game, block.province_token, block.coast);
}

}  // namespace

std::string refused_order_text(const Game *game, const std::vector<uint8_t> &entry) {
    if (entry.size() < ORDER_ENTRY_SIZE) return "?";
    OrderEntry order = order_entry_read(entry.data());
    std::string self = block_name(game, order.unit);
    std::string target = place_name(game, order.target_province, order.target_coast);
    bool has_target = order.target_province != TARGET_NONE;
    std::string other = block_name(game, order.other);
    uint16_t token = order.token;
    switch (token) {
    case ORD_HOLD: return self + " H";
    case ORD_MOVE: return self + " - " + target;
    case ORD_SUPPORT: return self + " S " + other + (has_target ? " - " + target : "");
    case ORD_CONVOY: return self + " C " + other + " - " + target;
    case ORD_CONVOY_MOVE: {
        std::string text = self + " - " + target + " via";
        for (uint16_t r = 0; r < order.route_length && r < MAX_ROUTE; r++)
            text += " " + place_name(game, order.route[r], COAST_SEA);
        return text;
    }
    case ORD_RETREAT: return self + " R " + target;
    case ORD_DISBAND: return self + " D";
    case ORD_BUILD: return "build " + self;
    case ORD_REMOVE: return "remove " + self;
    case ORD_WAIVE: return "waive";
    default: {
        char word[8];
        std::snprintf(word, sizeof word, "%04X", token);
        return self + " (order token 0x" + word + ")";
    }
    }
}

// ---------------------------------------------------------------------------
// Lines and pictures
// ---------------------------------------------------------------------------

namespace {

// "phases/0003-1901-fall.svg": numbered in playing order.
std::string phase_picture_name(const Game *game) {
    char number[16];
    std::snprintf(number, sizeof number, "%04zu", game->recorded_phases + 1);
    return std::string(PHASE_PICTURE_FOLDER) + "/" + number + "-" + std::to_string(game->position->year) + "-" +
           season_name(game->position->season) + ".svg";
}

// Writes a phase line or the final line and draws its picture from the
// line itself, as brox-replay would.
void write_phase_line(Game *game, const std::string &line) {
    write_line(game, line);
    game->recorded_phases++;
    JsonValue value;
    RecordPhase phase;
    std::string error;
    if (!json_parse(line, &value, &error) || !record_phase_read(value, &phase) ||
        !replay_picture_write(game->generated.layout, phase, game->recorded_phases, game->options.out, &error))
        std::fprintf(stderr, "brox-server: %s\n", error.empty() ? "a record line cannot be read back" : error.c_str());
}

}  // namespace

void game_record_dropped(Game *game, const Link &link, const char *reason, const std::string &detail) {
    if (!game->position) return;
    int seat = link.power >= 0 ? link.power : link.claimed_seat;
    size_t group = link.power >= 0 ? static_cast<size_t>(link.power) : game->seats.size();
    int allowed = link.power >= 0 ? RECORD_DROPS_PER_SEAT : RECORD_DROPS_WITHOUT_SEAT;
    if (group >= game->recorded_drops.size()) return;
    if (game->recorded_drops[group] >= allowed) {
        game->unrecorded_drops[{seat, reason}]++;
        return;
    }
    game->recorded_drops[group]++;
    write_line(game, dropped_line(game, seat, link.peer, reason, detail));
}

void game_record_map(Game *game) {
    write_line(game, "{\"map\":true,\"name\":" + json_quote(game->map_name) + ",\"layout\":" +
                         layout_json(game->generated.layout, LayoutText::ONE_LINE) + "}");
}

void game_record_phase(Game *game, const PhaseResults &results) {
    if (!game->position) return;
    const Position *position = game->position;
    std::string picture = phase_picture_name(game);
    std::string dislodgements = movement_season(position->season) ? dislodgements_json(game, results) : "";
    write_phase_line(game, "{" + phase_head(game) + ",\"units\":" + units_json(game) + ",\"orders\":" +
                               orders_json(game, results) + dislodgements + ",\"powers\":" + powers_json(game, true) +
                               "," + ownership_json(game) + ",\"picture\":" + json_quote(picture) + "}");
}

void game_record_final(Game *game, const char *reason) {
    if (!game->position) return;
    write_unrecorded_drops(game);
    write_phase_line(game, "{\"final\":true,\"reason\":" + json_quote(reason) + "," + phase_head(game) +
                               ",\"units\":" + units_json(game) + ",\"powers\":" + powers_json(game, false) + "," +
                               ownership_json(game) + ",\"picture\":" + json_quote(FINAL_BOARD_FILE) + "}");
    // The page from the record as written, so that it shows what any
    // reader of the record sees.
    std::filesystem::path out(game->options.out);
    GameRecordRead record;
    std::string error;
    if (!record_load((out / GAME_RECORD_FILE).string(), &record, &error) ||
        !replay_write(record, out.string(), false, &error))
        std::fprintf(stderr, "brox-server: the replay page: %s\n", error.c_str());
}

// The game's course: setting it up, opening each phase to the bots,
// resolving it with the library's adjudicator when the orders are in or the
// deadline has passed, and ending it.
#include "tools/server/game.h"

#include <filesystem>
#include <utility>

#include "common/bytes.h"
#include "tools/server/game_record.h"
#include "tools/server/map_folder.h"
#include "tools/server/links.h"
#include "tools/server/messages.h"
#include "tools/server/rejoins.h"
#include "tools/server/report.h"
#include "tools/server/retreat_options.h"
#include "world/centres.h"
#include "world/map.h"
#include "world/order.h"
#include "world/position.h"
#include "world/season.h"

namespace {

// ---------------------------------------------------------------------------
// Setting up
// ---------------------------------------------------------------------------

// The map the options ask for, and its name: a map folder, a generated
// map (the same as brox-mapgen's for the same seed and sizes), or the
// built-in one.
bool choose_map(const ServerOptions &options, GeneratedMap *generated, std::string *name, std::string *error) {
    if (!options.map_dir.empty()) {
        *name = map_folder_name(options.map_dir);
        return map_folder_read(options.map_dir, generated, error);
    }
    if (!options.use_seed && !options.sized) {
        *generated = mapgen_default();
        *name = "standard";
        return true;
    }
    MapgenOptions mapgen = options.sized ? MapgenOptions{} : mapgen_default_options();
    mapgen.seed = options.use_seed ? options.seed : 1;
    *name = "seed-" + std::to_string(mapgen.seed);
    if (options.sized) {
        mapgen.provinces = options.provinces;
        mapgen.powers = options.powers;
        mapgen.homes = options.homes;
        *name += "-provinces-" + std::to_string(mapgen.provinces) + "-powers-" + std::to_string(mapgen.powers) +
                 "-homes-" + std::to_string(mapgen.homes);
    }
    std::string problem = mapgen_check_options(mapgen);
    if (!problem.empty()) {
        *error = problem;
        return false;
    }
    *generated = mapgen_generate(mapgen);
    return true;
}

// Builds the Map, the opening CentreTable and Position from game->generated.
bool load_map(Game *game, std::string *error) {
    if (game->generated.map_message.empty()) {
        *error = "no map could be generated from this seed";
        return false;
    }
    game->map = map_build(game->generated.map_message.data());
    if (!game->map) {
        *error = "the library refused the map";
        return false;
    }
    CentreTable *centres = centre_table_build(game->map, game->generated.centres_message.data());
    if (!centres) {
        *error = "out of memory";
        return false;
    }
    game->centres = centre_table_retain(centres);
    game->position_message = game->generated.position_message;
    game->position = position_build(game->map, game->centres, game->position_message.data());
    if (!game->position) {
        *error = "the library refused the opening position";
        return false;
    }
    game->first_year = game->position->year;
    return true;
}

bool open_outputs(Game *game, std::string *error) {
    std::error_code failure;
    std::filesystem::create_directories(game->options.out, failure);
    if (failure) {
        *error = "cannot create " + game->options.out + ": " + failure.message();
        return false;
    }
    std::string path = (std::filesystem::path(game->options.out) / GAME_RECORD_FILE).string();
    game->record_file = std::fopen(path.c_str(), "w");
    if (!game->record_file) {
        *error = "cannot write " + path;
        return false;
    }
    game_record_map(game);
    return true;
}

// ---------------------------------------------------------------------------
// Phases
// ---------------------------------------------------------------------------

bool retreat_season(uint16_t season) { return season_phase(season) == Phase::RETREATS; }

// Every power that has something to order and whose bot is connected has
// sent its orders.  Powers that never had a bot, or whose bot has gone, are
// not waited for (they get their defaults until the bot rejoins); but with
// no bot connected at all the phase runs to its deadline, so that the game
// does not race to its end while every bot is restarting.
bool phase_complete(const Game *game) {
    bool anyone = false;
    for (uint16_t p = 0; p < game->map->power_count; p++) {
        const Seat &seat = game->seats[p];
        if (!seat.assigned || seat.link < 0) continue;
        anyone = true;
        if (!game->orders[p].received && game_power_must_order(game, p)) return false;
    }
    return anyone;
}

void open_phase(Game *game) {
    for (PowerOrders &orders : game->orders) orders = PowerOrders{};
    game->deadline_ms = game->now_ms + game->options.deadline_ms;
    for (uint32_t l = 0; l < game->links.size(); l++)
        if (game->links[l].state == LinkState::READY) link_send_phase(game, l);
}

// The orders of the phase: defaults first (hold; a dislodged unit
// disbands; a build slot waives), then what each power sent.
void apply_orders(Game *game) {
    Position *position = game->position;
    for (uint16_t u = 0; u < position->unit_count; u++) {
        Unit *unit = position->units[u];
        uint16_t token = !unit->location ? ORD_WAIVE : unit->dislodged ? ORD_DISBAND : ORD_HOLD;
        order_set(&unit->order, token, nullptr, nullptr);
    }
    for (const PowerOrders &orders : game->orders)
        for (const ChosenOrder &chosen : orders.chosen)
            if (chosen.unit < position->unit_count) position->units[chosen.unit]->order = chosen.order;
}

std::vector<uint16_t> centre_counts(const Game *game) {
    std::vector<uint16_t> counts(game->map->power_count, 0);
    for (uint16_t p = 0; p < game->map->power_count; p++)
        if (game->centres->lists[p]) counts[p] = game->centres->lists[p]->count;
    return counts;
}

void fail(Game *game, const char *why) {
    std::fprintf(stderr, "brox-server: %s; the game ends\n", why);
    game->exit_status = 1;
    game_stop(game);
}

// Replaces the game's Position (and CentreTable) by the one that follows
// `next`, composed as a message with the retreat options the server works
// out.  Returns false when memory ran out.
bool take_next_position(Game *game, Position *next, const RetreatOptions &retreats) {
    game->position_message = position_message_compose(next, retreats);
    CentreTable *centres = centre_table_retain(next->centres);
    brox_position_free(next);
    brox_position_free(game->position);
    centre_table_release(game->map, game->centres);
    game->centres = centres;
    game->position = position_build(game->map, game->centres, game->position_message.data());
    return game->position != nullptr;
}

const char *winner_reason(const Game *game) {
    std::vector<uint16_t> counts = centre_counts(game);
    for (uint16_t count : counts)
        if (2 * count > game->map->centre_count) return "one power owns more than half the supply centres";
    return nullptr;
}

void end_game(Game *game, const char *reason) {
    game->stage = GameStage::OVER;
    rejoin_forget_all(game);  // held rejoins get the end messages below
    game_record_final(game, reason);
    game_report_end(game, reason);
    for (uint32_t l = 0; l < game->links.size(); l++) {
        link_send(game, l, end_record(MSG_GAME_END));
        link_send(game, l, end_record(MSG_SESSION_END));
        game->links[l].close_when_sent = true;
    }
}

// The phase is recorded once its outcome is known: what became of each
// order, who was dislodged and where it may retreat.
void resolve_phase(Game *game) {
    apply_orders(game);
    game_report_phase(game);
    PhaseResults results = phase_results_find(game->position);
    uint16_t year = game->position->year;
    CentreTable *before = game->centres;
    Position *next = brox_adjudicate(game->position);
    if (!next) {
        game_record_phase(game, results);
        return fail(game, "the adjudicator built no next position");
    }
    RetreatOptions retreats;
    if (retreat_season(next->season)) retreats = retreat_options_find(game->position, next);
    phase_results_add_next(&results, game->position, next, retreats);
    game_record_phase(game, results);
    bool new_ownership = next->centres != before;
    if (!take_next_position(game, next, retreats)) return fail(game, "out of memory");
    if (new_ownership) game->centre_history.push_back({std::to_string(year), centre_counts(game)});

    if (const char *reason = winner_reason(game)) return end_game(game, reason);
    if (game->position->season == SEASON_SPRING &&
        game->position->year >= game->first_year + game->options.years)
        return end_game(game, "the last year has been played");
    open_phase(game);
}

int ready_count(const Game *game) {
    int ready = 0;
    for (const Link &link : game->links) ready += link.state == LinkState::READY;
    return ready;
}

}  // namespace

// ---------------------------------------------------------------------------
// Setting up and releasing
// ---------------------------------------------------------------------------

bool game_init(Game *game, const ServerOptions &options, std::string *error) {
    GeneratedMap generated;
    std::string name;
    if (!choose_map(options, &generated, &name, error)) return false;
    return game_init_on_map(game, options, std::move(generated), name, error);
}

bool game_init_on_map(Game *game, const ServerOptions &options, GeneratedMap generated,
                      const std::string &map_name, std::string *error) {
    game->options = options;
    game->generated = std::move(generated);
    game->map_name = map_name;
    game->log = options.verbosity == Verbosity::QUIET ? nullptr : stdout;
    if (!load_map(game, error)) return false;
    // Years are 16-bit words: the last one must still fit.
    if (game->first_year + game->options.years > 0xFFFF) {
        *error = "the game starts in " + std::to_string(game->first_year) + ": --years must be 1 to " +
                 std::to_string(0xFFFF - game->first_year);
        return false;
    }
    uint16_t powers = game->map->power_count;
    if (game->options.players == 0) game->options.players = powers;
    if (game->options.players > powers) {
        *error = "the map has only " + std::to_string(powers) + " powers";
        return false;
    }
    if (game->options.limits.max_connections < game->options.players) {
        *error = "--max-connections " + std::to_string(game->options.limits.max_connections) +
                 " leaves no room for the " + std::to_string(game->options.players) + " bots the game waits for";
        return false;
    }
    game->seats.assign(powers, Seat{});
    game->orders.assign(powers, PowerOrders{});
    // The limits' groups: one per power and one for connections without.
    game->seat_gates.assign(powers + 1u, RejoinGate{});
    game->log_budgets.assign(powers + 1u, LineBudget{});
    game->recorded_drops.assign(powers + 1u, 0);
    game->centre_history.push_back({"start", centre_counts(game)});
    return open_outputs(game, error);
}

void game_release(Game *game) {
    if (game->position) brox_position_free(game->position);
    game->position = nullptr;
    if (game->centres) centre_table_release(game->map, game->centres);
    game->centres = nullptr;
    if (game->map) map_release(game->map);
    game->map = nullptr;
    if (game->record_file) std::fclose(game->record_file);
    game->record_file = nullptr;
}

// ---------------------------------------------------------------------------
// Links
// ---------------------------------------------------------------------------

uint32_t game_link_open(Game *game, const std::string &peer) {
    uint32_t link;
    if (!game->free_links.empty()) {
        link = game->free_links.back();
        game->free_links.pop_back();
        game->links[link] = Link{};
    } else {
        link = static_cast<uint32_t>(game->links.size());
        game->links.push_back(Link{});
    }
    game->links[link].peer = peer;
    game->links[link].expires_ms = game->now_ms + game->options.limits.handshake_timeout_ms;
    if (game->stage == GameStage::OVER) {
        // Too late to play: tell the bot and let it go.
        link_send(game, link, end_record(MSG_SESSION_END));
        game->links[link].close_when_sent = true;
    }
    return link;
}

void game_link_closed(Game *game, uint32_t link_id) {
    if (link_id >= game->links.size()) return;
    Link &link = game->links[link_id];
    if (link.state == LinkState::CLOSED) return;
    if (link.state == LinkState::HELD) rejoin_forget(game, link_id);
    int power = link.power;
    link = Link{};
    link.state = LinkState::CLOSED;
    game->free_links.push_back(link_id);
    if (power < 0) return;
    Seat &seat = game->seats[static_cast<size_t>(power)];
    if (seat.link != static_cast<int>(link_id)) return;
    seat.link = -1;
    // Before the start a seat whose bot has gone is free for a newcomer.
    if (game->stage == GameStage::WAITING) seat = Seat{};
    game_resolve_when_complete(game);
}

void link_send(Game *game, uint32_t link_id, Record record) {
    if (link_id >= game->links.size() || game->links[link_id].state == LinkState::CLOSED) return;
    game->links[link_id].outbox_bytes += record.size();
    game->links[link_id].outbox.push_back(std::move(record));
}

void link_send_phase(Game *game, uint32_t link_id) {
    if (game->stage != GameStage::PLAYING) return;
    link_send(game, link_id, centres_record(game->map, game->centres));
    link_send(game, link_id, record_of_message(game->position_message));
}

namespace {

// Whether one of the power's build slots has a place to build in: with
// every home centre taken there is nothing to order, and a bot sends
// nothing.
bool power_may_build(const Position *position, uint16_t power) {
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *slot = position->units[u];
        if (slot->power != power || slot->location) continue;
        LumAvlTree *set = const_cast<LumAvlTree *>(&slot->candidates);
        for (auto *order = static_cast<Order *>(LUM_AVL_ITEM(set, set->first)); order;
             order = static_cast<Order *>(lum_avl_next(set, &order->node)))
            if (order->token == ORD_BUILD) return true;
    }
    return false;
}

}  // namespace

bool game_power_must_order(const Game *game, uint16_t power) {
    const Position *position = game->position;
    if (!position || power >= game->map->power_count) return false;
    if (position->season == SEASON_WINTER)
        return position->adjustment[power] < 0 || (position->adjustment[power] > 0 && power_may_build(position, power));
    for (uint16_t u = 0; u < position->unit_count; u++) {
        const Unit *unit = position->units[u];
        if (unit->power != power || !unit->location) continue;
        if (!retreat_season(position->season) || unit->dislodged) return true;
    }
    return false;
}

uint16_t game_power_token(uint16_t power) {
    return static_cast<uint16_t>((power << 8) | POWER_CATEGORY);
}

// ---------------------------------------------------------------------------
// The course of the game
// ---------------------------------------------------------------------------

void game_try_start(Game *game) {
    if (game->stage != GameStage::WAITING || ready_count(game) < game->options.players) return;
    game->stage = GameStage::PLAYING;
    game_report_start(game);
    open_phase(game);
    game_resolve_when_complete(game);
}

void game_resolve_when_complete(Game *game) {
    while (game->stage == GameStage::PLAYING && phase_complete(game)) resolve_phase(game);
}

void game_tick(Game *game, int64_t now_ms) {
    game->now_ms = now_ms;
    links_expire(game);
    rejoin_release_due(game);
    if (game->stage != GameStage::PLAYING || now_ms < game->deadline_ms) return;
    resolve_phase(game);
    game_resolve_when_complete(game);
}

int64_t game_wait_ms(const Game *game) {
    int64_t next = links_next_expiry(game);
    int64_t rejoin = rejoin_next_ms(game);
    if (rejoin >= 0 && (next < 0 || rejoin < next)) next = rejoin;
    if (game->stage == GameStage::PLAYING && (next < 0 || game->deadline_ms < next)) next = game->deadline_ms;
    if (next < 0) return -1;
    return next > game->now_ms ? next - game->now_ms : 0;
}

void game_stop(Game *game) {
    if (game->stage != GameStage::OVER) end_game(game, "the server was stopped");
}
